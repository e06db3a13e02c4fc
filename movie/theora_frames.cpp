// The window thread's side of a Theora movie: choosing the frame to show,
// and converting it, once the thread has stocked it, into the RGB image and
// the device's YUV surface.
//
// Routes: TheoraUpdateImage -> WaitForFrame -> CopyToSurface (YV12, YUY2 or
// UYVY layout) and ConvertToRgb (the 4:2:0 tables or the general path).
#include <algorithm>
#include <cstring>

#include "graphics/device/device_state.h"
#include "movie/theora_internal.h"
#include "movie/yuv_convert.h"
#include "platform/kernel.h"

namespace tessel {

namespace {

constexpr D3DFORMAT kFourCcYv12 = MAKEFOURCC('Y', 'V', '1', '2');
constexpr D3DFORMAT kFourCcYuy2 = MAKEFOURCC('Y', 'U', 'Y', '2');
constexpr D3DFORMAT kFourCcUyvy = MAKEFOURCC('U', 'Y', 'V', 'Y');
constexpr int kSurfaceLockAttempts = 3;

// The slot holding frame c, once the thread has published it; -1 when no
// frame can come. The wait sleeps until the thread announces news, so that
// the thread keeps the processor while it decodes.
int WaitForFrame(TheoraDecoder* d) {
    while (true) {
        const uint32_t seen = d->news.load(std::memory_order_acquire);
        const int32_t status = d->status.load(std::memory_order_acquire);
        if (status == kTheoraExited) {
            return -1;
        }
        // A posted seek clears the stock before anything is read from it.
        const bool seeking =
            status == kTheoraSeeking || d->seekRequest.load(std::memory_order_acquire) != 0;
        if (!seeking) {
            const int64_t c = d->currentFrame.load(std::memory_order_relaxed);
            for (int i = 0; i < d->stockSize; ++i) {
                const TheoraFrameSlot& slot = d->stock[i];
                if (slot.used.load(std::memory_order_acquire) != 0 &&
                    slot.frame.load(std::memory_order_relaxed) == c) {
                    return i;
                }
            }
            if (d->endFlag.load(std::memory_order_acquire) != 0) {
                return -1;
            }
        }
        TheoraAwaitNews(d, seen);
    }
}

YuvPlanes PlanesOf(const TheoraFrameSlot& slot) {
    return {slot.y,       slot.u,       slot.v,        slot.yWidth,  slot.yHeight,
            slot.yStride, slot.uvWidth, slot.uvHeight, slot.uvStride};
}

void CopyYv12(const YuvPlanes& p, uint8_t* bits, int pitch, int width, int height) {
    for (int row = 0; row < height; ++row) {
        std::memcpy(bits + static_cast<size_t>(row) * pitch,
                    p.y + static_cast<size_t>(row) * p.yStride, static_cast<size_t>(width));
    }
    const int half = pitch / 2;
    uint8_t* vPlane = bits + static_cast<size_t>(pitch) * height;
    uint8_t* uPlane = vPlane + static_cast<size_t>(half) * (height / 2);
    for (int row = 0; row < height / 2; ++row) {
        std::memcpy(vPlane + static_cast<size_t>(row) * half,
                    p.v + static_cast<size_t>(row) * p.uvStride, static_cast<size_t>(width / 2));
        std::memcpy(uPlane + static_cast<size_t>(row) * half,
                    p.u + static_cast<size_t>(row) * p.uvStride, static_cast<size_t>(width / 2));
    }
}

// Packed 4:2:2: every pair of pixels as four bytes, both rows of a 2x2 block
// with the block's chroma; `lumaFirst` gives Y0 U Y1 V, else U Y0 V Y1.
void CopyPacked(const YuvPlanes& p, uint8_t* bits, int pitch, int width, int height,
                bool lumaFirst) {
    const int yAt = lumaFirst ? 0 : 1;
    const int cAt = lumaFirst ? 1 : 0;
    for (int row = 0; row < height; ++row) {
        const uint8_t* y = p.y + static_cast<size_t>(row) * p.yStride;
        const uint8_t* u = p.u + static_cast<size_t>(row / 2) * p.uvStride;
        const uint8_t* v = p.v + static_cast<size_t>(row / 2) * p.uvStride;
        uint8_t* out = bits + static_cast<size_t>(row) * pitch;
        for (int x = 0; x + 1 < width; x += 2) {
            uint8_t* pair = out + 2 * x;
            pair[yAt] = y[x];
            pair[cAt] = u[x / 2];
            pair[yAt + 2] = y[x + 1];
            pair[cAt + 2] = v[x / 2];
        }
    }
}

// Copies the frame into the surface in its layout; other chroma layouts than
// 4:2:0 leave the surface as it was.
void CopyToSurface(TheoraDecoder* d, const TheoraFrameSlot& slot) {
    D3DLOCKED_RECT locked;
    int attempt = 0;
    while (d->yuvSurface == nullptr || FAILED(d->yuvSurface->LockRect(&locked, nullptr, 0))) {
        if (++attempt >= kSurfaceLockAttempts) {
            return;
        }
        TheoraCreateYuvSurface(d);
    }
    const YuvPlanes planes = PlanesOf(slot);
    if (IsYuv420(planes)) {
        uint8_t* bits = static_cast<uint8_t*>(locked.pBits);
        const int width = std::min<int>(planes.yWidth, static_cast<int>(d->info.width)) & ~1;
        const int height = std::min<int>(planes.yHeight, static_cast<int>(d->info.height)) & ~1;
        if (d->yuvFourCc == kFourCcYv12) {
            CopyYv12(planes, bits, locked.Pitch, width, height);
        } else {
            CopyPacked(planes, bits, locked.Pitch, width, height, d->yuvFourCc == kFourCcYuy2);
        }
    }
    d->yuvSurface->UnlockRect();
    d->surfaceValid = 1;
}

void ConvertToRgb(TheoraDecoder* d, const TheoraFrameSlot& slot) {
    const YuvPlanes planes = PlanesOf(slot);
    BASEIMAGE& image = d->rgbImage;
    const int width = std::min(planes.yWidth, image.width);
    const int height = std::min(planes.yHeight, image.height);
    if (IsYuv420(planes)) {
        ConvertYuv420ToBgrx(planes, width & ~1, height & ~1, image.pixels, image.pitch);
    } else {
        ConvertYuvToBgrxFloat(planes, width, height, image.pixels, image.pitch);
    }
    d->rgbValid = 1;
}

}  // namespace

void TheoraReleaseYuvSurface(TheoraDecoder* decoder) {
    if (decoder->yuvSurface != nullptr) {
        decoder->yuvSurface->Release();
        decoder->yuvSurface = nullptr;
    }
    decoder->yuvFourCc = 0;
}

void TheoraCreateYuvSurface(TheoraDecoder* decoder) {
    TheoraReleaseYuvSurface(decoder);
    if (g_graphics.hardwareInUse == 0 || g_graphics.device == nullptr) {
        return;
    }
    for (D3DFORMAT fourCc : {kFourCcYv12, kFourCcYuy2, kFourCcUyvy}) {
        IDirect3DSurface9* surface = nullptr;
        if (SUCCEEDED(g_graphics.device->CreateOffscreenPlainSurface(
                decoder->info.width, decoder->info.height, fourCc, D3DPOOL_DEFAULT, &surface,
                nullptr))) {
            decoder->yuvSurface = surface;
            decoder->yuvFourCc = fourCc;
            return;
        }
    }
}

void TheoraSeek(TheoraDecoder* decoder, int64_t frame) {
    if (frame == decoder->currentFrame.load(std::memory_order_relaxed)) {
        return;
    }
    decoder->rgbValid = 0;
    decoder->surfaceValid = 0;
    decoder->pauseRequest.store(1, std::memory_order_release);
    while (true) {
        const int32_t status = decoder->status.load(std::memory_order_acquire);
        if (status == kTheoraPaused || status == kTheoraExited) {
            break;
        }
        Sleep(0);
    }
    frame = std::clamp<int64_t>(frame, 0, decoder->frameCount - 1);
    decoder->currentFrame.store(frame, std::memory_order_release);
    decoder->seekTarget.store(frame, std::memory_order_release);
    decoder->seekRequest.store(1, std::memory_order_release);
    decoder->pauseRequest.store(0, std::memory_order_release);
}

void TheoraAdvance(TheoraDecoder* decoder, int64_t n) {
    if (n < 1) {
        return;
    }
    // Wrapped as often as it takes: a frame past the end would never come.
    const int64_t frame =
        (decoder->currentFrame.load(std::memory_order_relaxed) + n % decoder->frameCount) %
        decoder->frameCount;
    decoder->currentFrame.store(frame, std::memory_order_release);
    decoder->rgbValid = 0;
    decoder->surfaceValid = 0;
}

int64_t TheoraCurrentFrame(const TheoraDecoder* decoder) {
    return decoder->currentFrame.load(std::memory_order_relaxed);
}

int TheoraUpdateImage(TheoraDecoder* decoder, int wantRgb, int wantSurface) {
    TheoraDecoder* d = decoder;
    const bool surfaceWork = wantSurface != 0 && d->surfaceValid == 0 && d->yuvSurface != nullptr;
    const bool rgbWork = wantRgb != 0 && d->rgbValid == 0;
    if (!surfaceWork && !rgbWork) {
        return 0;
    }
    const int index = WaitForFrame(d);
    if (index < 0) {
        return 0;
    }
    const TheoraFrameSlot& slot = d->stock[index];
    if (surfaceWork) {
        CopyToSurface(d, slot);
    }
    if (rgbWork) {
        ConvertToRgb(d, slot);
    }
    return 1;
}

BASEIMAGE* TheoraRgbImage(TheoraDecoder* decoder) {
    return &decoder->rgbImage;
}

IDirect3DSurface9* TheoraYuvSurface(TheoraDecoder* decoder) {
    return decoder->yuvSurface;
}

D3DFORMAT TheoraYuvSurfaceFormat(const TheoraDecoder* decoder) {
    return decoder->yuvFourCc;
}

}  // namespace tessel
