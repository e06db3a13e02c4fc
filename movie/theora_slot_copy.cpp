// Copying decoded pictures into the frame stock. The frame the thread decodes
// for the stock is copied stripe by stripe from the decoder's own callback,
// each stripe right after the decoder finished it and while its rows are
// still in the cache; a frame the stripes did not cover whole (a repeated
// frame, which the decoder hands no stripes, or a decoder that cannot call
// back) is copied whole from the decoder's picture afterwards.
//
// The stock's planes go round a ring of slots far larger than the decoding
// core's cache, so every row lands on lines no cache holds: the rows are
// written with streaming stores, which neither fetch those lines first nor
// push the decoder's own reference frames out of the cache.
#include <theora/theoradec.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "foundation/memory/memory.h"
#include "movie/theora_internal.h"

// The race detector does not see streaming stores: under it the rows go
// through memcpy, so that it checks the hand-over of every byte.
#if defined(__SSE2__) && !defined(__SANITIZE_THREAD__)
#define TESSEL_STREAM_ROWS 1
#include <emmintrin.h>
#else
#define TESSEL_STREAM_ROWS 0
#endif

namespace tessel {

namespace {

// One plane as the decoder gives it: rows top first, `stride` bytes apart
// (negative when the picture is stored bottom up).
struct PlaneView {
    const uint8_t* data;
    int width;
    int height;
    int stride;
};

// Makes a plane buffer fit `bytes`, keeping it when its layout is unchanged.
bool FitPlane(uint8_t** plane, bool changed, size_t bytes) {
    if (changed) {
        FreeTracked(*plane);
        *plane = nullptr;
    }
    if (*plane == nullptr) {
        *plane = static_cast<uint8_t*>(AllocTracked(static_cast<uint32_t>(bytes), "", 0));
    }
    return *plane != nullptr;
}

// Gives the slot planes of the picture's layout, rows packed at their
// widths. False when memory ran out.
bool FitSlot(TheoraFrameSlot& slot, const PlaneView& y, const PlaneView& uv) {
    const bool yChanged =
        slot.yStride != y.width || slot.yWidth != y.width || slot.yHeight != y.height;
    const bool uvChanged =
        slot.uvStride != uv.width || slot.uvWidth != uv.width || slot.uvHeight != uv.height;
    const size_t yBytes = static_cast<size_t>(y.width) * y.height;
    const size_t uvBytes = static_cast<size_t>(uv.width) * uv.height;
    if (!FitPlane(&slot.y, yChanged, yBytes) || !FitPlane(&slot.u, uvChanged, uvBytes) ||
        !FitPlane(&slot.v, uvChanged, uvBytes)) {
        // Sizes stay unknown, so the next copy allocates again.
        slot.yStride = slot.uvStride = 0;
        return false;
    }
    slot.yWidth = y.width;
    slot.yHeight = y.height;
    slot.yStride = y.width;
    slot.uvWidth = uv.width;
    slot.uvHeight = uv.height;
    slot.uvStride = uv.width;
    return true;
}

// One row of n bytes: the part up to the first 16-byte boundary and the
// part after the last whole block plainly, the blocks between streamed.
void CopyRow(uint8_t* to, const uint8_t* from, size_t n) {
#if TESSEL_STREAM_ROWS
    const size_t head = std::min(n, (16 - (reinterpret_cast<uintptr_t>(to) & 15)) & 15);
    std::memcpy(to, from, head);
    size_t i = head;
    for (; i + 16 <= n; i += 16) {
        _mm_stream_si128(reinterpret_cast<__m128i*>(to + i),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
    }
    std::memcpy(to + i, from + i, n - i);
#else
    std::memcpy(to, from, n);
#endif
}

// Streaming stores are not ordered with the stores after them: the rows must
// be in memory before the slot's release store publishes them.
void FenceRows() {
#if TESSEL_STREAM_ROWS
    _mm_sfence();
#endif
}

// Rows first..end-1 of the plane into the packed slot plane.
void CopyRows(uint8_t* to, const PlaneView& from, int first, int end) {
    for (int row = first; row < end; ++row) {
        CopyRow(to + static_cast<size_t>(row) * from.width,
                from.data + static_cast<intptr_t>(row) * from.stride,
                static_cast<size_t>(from.width));
    }
}

// The decoder's picture lies within the frame size its headers gave, with
// rows no longer than their strides; a damaged stream can leave it otherwise.
bool PictureFits(const PlaneView planes[3], const theora_info& info) {
    const auto fits = [](int size, uint32_t limit) {
        return size > 0 && static_cast<uint32_t>(size) <= limit;
    };
    const PlaneView& y = planes[0];
    for (int p = 0; p < 3; ++p) {
        if (planes[p].data == nullptr || std::abs(planes[p].stride) < planes[p].width) {
            return false;
        }
    }
    return fits(y.width, info.width) && fits(y.height, info.height) &&
           planes[1].width == planes[2].width && planes[1].height == planes[2].height &&
           fits(planes[1].width, static_cast<uint32_t>(y.width)) &&
           fits(planes[1].height, static_cast<uint32_t>(y.height));
}

void Publish(TheoraDecoder* d, TheoraFrameSlot& slot) {
    FenceRows();
    slot.frame.store(d->decodedFrame, std::memory_order_relaxed);
    slot.used.store(1, std::memory_order_release);
    TheoraAnnounce(d);
}

// The decoder's callback for a finished stripe: fragment rows
// yfrag0..yfragEnd-1 of the luma plane (8 pixel rows each), finished from
// the bottom of the picture up. The stripes must join up to the top, or the
// copy gives up and the whole-frame copy takes over.
void CopyStripe(void* context, th_ycbcr_buffer buffer, int yfrag0, int yfragEnd) {
    auto* d = static_cast<TheoraDecoder*>(context);
    TheoraFrameSlot* slot = d->stripeSlot;
    if (slot == nullptr || d->stripeTop == kStripeFailed) {
        return;
    }
    PlaneView planes[3];
    for (int p = 0; p < 3; ++p) {
        planes[p] = {buffer[p].data, buffer[p].width, buffer[p].height, buffer[p].stride};
    }
    if (d->stripeTop == kStripeNone) {
        if (!PictureFits(planes, d->info) || !FitSlot(*slot, planes[0], planes[1])) {
            d->stripeTop = kStripeFailed;
            return;
        }
        d->stripeTop = planes[0].height;
    }
    const int top = yfrag0 * 8;
    const int end = std::min(yfragEnd * 8, planes[0].height);
    if (top < 0 || top >= end || end < d->stripeTop) {
        d->stripeTop = kStripeFailed;
        return;
    }
    // 4:2:0 halves the chroma rows; 4:2:2 and 4:4:4 keep them.
    const int shift = planes[1].height < planes[0].height ? 1 : 0;
    CopyRows(slot->y, planes[0], top, end);
    const int chromaEnd = std::min(end >> shift, planes[1].height);
    CopyRows(slot->u, planes[1], top >> shift, chromaEnd);
    CopyRows(slot->v, planes[2], top >> shift, chromaEnd);
    d->stripeTop = top;
}

}  // namespace

void TheoraEnableStripeCopy(TheoraDecoder* decoder) {
    th_stripe_callback callback{decoder, &CopyStripe};
    theora_control(&decoder->state, TH_DECCTL_SET_STRIPE_CB, &callback, sizeof callback);
}

void TheoraArmStripeCopy(TheoraDecoder* decoder, TheoraFrameSlot* slot) {
    decoder->stripeSlot = slot;
    decoder->stripeTop = kStripeNone;
    decoder->stripeFrame = -1;
}

void TheoraEndStripeCopy(TheoraDecoder* decoder, int64_t frame) {
    const bool whole = decoder->stripeSlot != nullptr && decoder->stripeTop == 0;
    decoder->stripeFrame = whole ? frame : -1;
    decoder->stripeFilled = whole ? decoder->stripeSlot : nullptr;
    decoder->stripeSlot = nullptr;
}

bool TheoraStockDecodedFrame(TheoraDecoder* decoder, TheoraFrameSlot& slot) {
    TheoraDecoder* d = decoder;
    const bool copiedByStripes =
        d->stripeFrame == d->decodedFrame && d->stripeFrame >= 0 && d->stripeFilled == &slot;
    d->stripeFrame = -1;
    d->stripeFilled = nullptr;
    if (copiedByStripes) {
        Publish(d, slot);
        return true;
    }
    yuv_buffer yuv{};
    if (theora_decode_YUVout(&d->state, &yuv) != 0) {
        return false;
    }
    const PlaneView planes[3] = {{yuv.y, yuv.y_width, yuv.y_height, yuv.y_stride},
                                 {yuv.u, yuv.uv_width, yuv.uv_height, yuv.uv_stride},
                                 {yuv.v, yuv.uv_width, yuv.uv_height, yuv.uv_stride}};
    if (!PictureFits(planes, d->info) || !FitSlot(slot, planes[0], planes[1])) {
        return false;
    }
    CopyRows(slot.y, planes[0], 0, planes[0].height);
    CopyRows(slot.u, planes[1], 0, planes[1].height);
    CopyRows(slot.v, planes[2], 0, planes[2].height);
    Publish(d, slot);
    return true;
}

}  // namespace tessel
