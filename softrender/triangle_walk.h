// The triangle's geometry in 14.18 fixed point and its row walk: the two
// sides with their segments, the texture plane, the walk that hands each
// clipped span to an operation, and the texel addressing of a textured span.
// Nothing here knows about blending.
#pragma once

#include <algorithm>
#include <cstdint>

#include "platform/types.h"
#include "softrender/triangle.h"

namespace tessel::soft {

constexpr int kFixBits = 18;
constexpr int32_t kFixOne = int32_t{1} << kFixBits;

// A 14.18 value to the pixel or texel that holds it. Flooring (not rounding
// toward zero) keeps negative positions on their own pixel: no row is walked
// twice, a triangle left of the area reaches no pixel of it, and the two
// halves of a quad at negative coordinates meet without a seam.
constexpr int32_t FixFloor(int32_t v) {
    return v >> kFixBits;
}

// Sums of 14.18 values wrap by design.
constexpr int32_t WrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// One side of the triangle: its current segment and, for a side of two, the
// second segment with the row it starts on.
struct TriSide {
    int32_t x;  // 14.18
    int32_t step;
    int32_t rows;
    bool last;
    int32_t nextX;
    int32_t nextStep;
    int32_t nextRows;
    int32_t nextRow;
};

// u and v as planes over the destination, based at the first vertex in x
// order. fits is false when a gradient does not fit in 32 bits.
struct TriPlane {
    int32_t x0;
    int32_t y0;
    uint32_t u0;
    uint32_t v0;
    uint32_t ux;
    uint32_t uy;
    uint32_t vx;
    uint32_t vy;
    bool fits;
};

struct TriGeometry {
    TriSide left;
    TriSide right;
    int32_t firstRow;
    TriPlane plane;
};

// Orders, converts and sets up the three vertices; false when nothing is drawn
// (collinear vertices, a coordinate or a difference outside -8192..8191).
bool SetUpTriangle(const MemImgTriVertex* vertices, TriGeometry* out);

// Every row from the first to the last: span(y, x, count) for each row that
// reaches the area, x being the first pixel after the left clip and count
// the pixels up to the right end (inclusive) or the area's right. Both end
// pixels of a span are drawn.
template <class SpanFn>
void WalkTriangle(const TriGeometry& g, const RECT& area, SpanFn&& span) {
    TriSide left = g.left;
    TriSide right = g.right;
    int32_t y = g.firstRow;
    auto takeNext = [](TriSide& s) {
        s = TriSide{s.nextX, s.nextStep, s.nextRows, true, 0, 0, 0, s.nextRow};
    };
    // y never goes back (a second segment starts on the row the first one
    // reached), so the rows below the area are not walked.
    while (y < area.bottom) {
        if (y >= area.top) {
            int64_t xl = FixFloor(left.x);
            int64_t n = int64_t{FixFloor(right.x)} - xl;
            if (xl < area.left) {
                n -= area.left - xl;
                xl = area.left;
            }
            n += 1;
            if (xl < area.right && n > 0) {
                span(y, static_cast<int32_t>(xl),
                     static_cast<int32_t>(std::min<int64_t>(n, area.right - xl)));
            }
        }
        left.x = WrapAdd(left.x, left.step);
        right.x = WrapAdd(right.x, right.step);
        --left.rows;
        --right.rows;
        ++y;
        if (left.rows == 0) {
            if (left.last) {
                return;
            }
            takeNext(left);
            y = left.nextRow;
        }
        if (right.rows == 0) {
            if (right.last) {
                return;
            }
            takeNext(right);
        }
    }
}

// Where a textured span reads: the source's pixels and size in 14.18, and
// the blend mask with its factor table (mask null without one).
struct TexSource {
    const uint8_t* pixels;
    int32_t pitch;
    uint32_t uLimit;
    uint32_t vLimit;
    const uint8_t* mask;
    int32_t maskPitch;
    const uint8_t* maskFactor;
};

// The position of pixel (x, y) on the plane, wrapping as 32-bit sums do.
inline uint32_t PlaneAt(uint32_t base, uint32_t dx, uint32_t dy, const TriPlane& p, int32_t x,
                        int32_t y) {
    return (static_cast<uint32_t>(x) - static_cast<uint32_t>(p.x0)) * dx +
           (static_cast<uint32_t>(y) - static_cast<uint32_t>(p.y0)) * dy + base;
}

// One span of count pixels from destination pixel dst (at x, y): each pixel
// whose texel lies inside the source gets texel(dst, texel address, mask
// factor); the others are left. u and v start from the plane at the span's
// first pixel and step per pixel, also over skipped pixels.
template <int SrcBytes, int DstBytes, bool Mask, class TexelFn>
inline void TexturedSpan(const TriPlane& plane, const TexSource& s, uint8_t* dst, int32_t x,
                         int32_t y, int32_t count, TexelFn&& texel) {
    uint32_t u = PlaneAt(plane.u0, plane.ux, plane.uy, plane, x, y);
    uint32_t v = PlaneAt(plane.v0, plane.vx, plane.vy, plane, x, y);
    for (int32_t i = 0; i < count; ++i, dst += DstBytes, u += plane.ux, v += plane.vx) {
        if (u >= s.uLimit || v >= s.vLimit) {
            continue;
        }
        const uint32_t column = u >> kFixBits;
        const uint32_t row = v >> kFixBits;
        const uint8_t* t = s.pixels + ptrdiff_t{s.pitch} * row + ptrdiff_t{SrcBytes} * column;
        uint32_t factor = 0;
        if constexpr (Mask) {
            factor = s.maskFactor[s.mask[ptrdiff_t{s.maskPitch} * row + column]];
        }
        texel(dst, t, factor);
    }
}

}  // namespace tessel::soft
