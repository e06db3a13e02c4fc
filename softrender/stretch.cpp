// The stretch entry: corner order and mirroring, the hand-over of same-size
// draws to the blit, the refusals, the 16.16 ratios, clipping without
// shifting the image, where source, mask and destination start, the
// parameter short-cuts and the choice of kernel family.
#include "softrender/stretch.h"

#include "softrender/blit.h"
#include "softrender/pixel_math.h"
#include "softrender/stretch_internal.h"

namespace tessel {

namespace {

constexpr int64_t kLargestSide = 32767;  // every 16.16 value then fits in 32 bits

// One axis of the ordered rectangle.
struct Axis {
    LONG start, end;
    int direction;  // +1, or -1 where the corners came in reverse order
};

Axis OrderAxis(LONG from, LONG to) {
    return from <= to ? Axis{from, to, 1} : Axis{to, from, -1};
}

// The ratio of destination to source pixels, 16.16, or 0 where the walk
// cannot run: the side is too long, the ratio truncates to 0, or (for sources
// over 65536 pixels) the last destination pixel would show a source pixel
// past the edge.
int32_t RatioOf(int64_t destSide, int32_t sourceSide) {
    if (destSide > kLargestSide || sourceSide < 1) {
        return 0;
    }
    const int64_t ratio = (destSide << 16) / sourceSide;
    if (ratio == 0 || (((destSide - 1) << 16) / ratio) >= sourceSide) {
        return 0;
    }
    return static_cast<int32_t>(ratio);
}

}  // namespace

void MemImgStretchBlit(const SoftDrawState& state, MEMIMG* dest, const MEMIMG* src,
                       const RECT* rect, int trans, const MEMIMG* mask) {
    if (rect == nullptr || !MemImgIsValid(src)) {
        return;
    }
    const Axis ax = OrderAxis(rect->left, rect->right);
    const Axis ay = OrderAxis(rect->top, rect->bottom);
    const int64_t dw = int64_t{ax.end} - ax.start;
    const int64_t dh = int64_t{ay.end} - ay.start;
    if (dw == 0 || dh == 0) {
        return;
    }
    if (dw == src->width && dh == src->height && ax.direction > 0 && ay.direction > 0) {
        MemImgBlit(state, dest, src, ax.start, ay.start, trans, mask);
        return;
    }
    soft::StretchSetup setup{};
    if (!soft::ImagesMeet(dest, src, mask) || !soft::RuleOf(state, src, trans, &setup)) {
        return;
    }
    const int32_t rx = RatioOf(dw, src->width);
    const int32_t ry = RatioOf(dh, src->height);
    if (rx == 0 || ry == 0) {
        return;
    }

    RECT r{ax.start, ay.start, ax.end, ay.end};
    if (!soft::ClipToDrawArea(state, dest, &r)) {
        return;
    }

    setup.strict = soft::WalksStrictly(setup.mode, setup.p, mask != nullptr,
                                       soft::IsWhite(setup.brightness), setup.alphaSource);
    const soft::AxisStart sx = soft::StartOfAxis(r.left - ax.start, rx, setup.strict);
    const soft::AxisStart sy = soft::StartOfAxis(r.top - ay.start, ry, setup.strict);
    const int column = ax.direction > 0 ? sx.index : src->width - 1 - sx.index;
    const int row = ay.direction > 0 ? sy.index : src->height - 1 - sy.index;
    const int dstBytes = soft::DestBytes(dest);
    soft::StretchCall& c = setup.call;
    c.width = r.right - r.left;
    c.height = r.bottom - r.top;
    c.src = soft::PixelAt(src, column, row, setup.srcBytes);
    c.srcStep = ptrdiff_t{setup.srcBytes} * ax.direction;
    c.srcRowStep = ptrdiff_t{src->base->pitch} * ay.direction;
    c.dst = soft::PixelAt(dest, r.left, r.top, dstBytes);
    c.dstSkip = dest->base->pitch - ptrdiff_t{dstBytes} * c.width;
    if (mask != nullptr) {
        c.mask = soft::PixelAt(mask, column, row, 1);
        c.maskStep = ax.direction;
        c.maskRowStep = ptrdiff_t{mask->base->pitch} * ay.direction;
        c.maskFactor = setup.tables->maskFactor;
    }
    c.rx = rx;
    c.ry = ry;
    c.ax0 = sx.acc;
    c.ay0 = sy.acc;
    if (dstBytes == 4) {
        soft::Stretch32(setup);
    } else {
        soft::Stretch565(setup);
    }
}

}  // namespace tessel
