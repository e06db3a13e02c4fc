// The 16.16 walk of the stretch blit: which source pixel (and mask byte) each
// destination pixel of a clipped rectangle shows. Two advance rules exist, the
// standard one and the strict one, which lags one source pixel wherever a
// shrinking walk lands exactly on a whole source position. The walk tests a
// source pixel's transparency once, when it arrives at it, and hands every
// destination pixel the pixel covers to an operation; it knows nothing of
// blending.
#pragma once

#include <cstddef>
#include <cstdint>

#include "softrender/blit_walk.h"

namespace tessel::soft {

constexpr int32_t kStretchOne = 65536;  // one pixel in 16.16

// Where one axis of a clipped walk starts: the source index counted from the
// start edge and the accumulator, exactly as the unclipped walk has them at
// the first drawn pixel.
struct AxisStart {
    int32_t index;
    int32_t acc;
};

// The walk's state at destination pixel `skipped` (0 or more) of an axis whose
// ratio is `ratio` destination pixels per source pixel (16.16, at least 1).
// The strict walk shows N - 1 where a shrinking walk's exact position is a
// whole N of 1 or more, its accumulator then 0; so does its clipped start.
inline AxisStart StartOfAxis(int32_t skipped, int32_t ratio, bool strict) {
    const int64_t position = int64_t{skipped} << 16;
    const int32_t index = static_cast<int32_t>(position / ratio);
    const int32_t rest = static_cast<int32_t>(position % ratio);
    if (strict && ratio < kStretchOne && skipped > 0 && rest == 0) {
        return {index - 1, 0};
    }
    return {index, ratio - rest};
}

// One clipped stretch: w x h destination pixels, the source pixel (and mask
// byte) the first of them shows, signed steps (negative on a mirrored axis),
// the ratios and the start accumulators.
struct StretchCall {
    int width;
    int height;
    const uint8_t* src;
    ptrdiff_t srcStep;
    ptrdiff_t srcRowStep;
    uint8_t* dst;
    ptrdiff_t dstSkip;          // from a row's end to the next row's start
    const uint8_t* mask;        // null without a blend mask
    ptrdiff_t maskStep;         // +1 or -1
    ptrdiff_t maskRowStep;      // plus or minus the mask's pitch
    const uint8_t* maskFactor;  // blend-mask byte -> factor
    int32_t rx, ry;             // destination pixels per source pixel, 16.16
    int32_t ax0, ay0;           // start accumulators
};

// Steps a source (and mask) position forward until the accumulator allows:
// the standard rule while it is 0 or below, the strict rule while below 0.
// Either steps at least once. Pos is a pointer or a byte offset.
template <bool Strict, bool UseMask, class Pos>
inline void AdvanceAxis(int32_t& acc, int32_t ratio, Pos& s, ptrdiff_t step, const uint8_t*& m,
                        ptrdiff_t maskStep) {
    do {
        s += step;
        if constexpr (UseMask) {
            m += maskStep;
        }
        acc += ratio;
    } while (Strict ? acc < 0 : acc <= 0);
}

// Rows top to bottom, pixels left to right; op(destination, texel, mask
// factor) writes or leaves a destination pixel. skip(texel) is asked once per
// source pixel; the pixels it covers are all drawn or all left.
template <int DstBytes, bool Strict, bool UseMask, class Fetch, class Skip, class Op>
void WalkStretch(const StretchCall& c, Fetch fetch, Skip skip, Op op) {
    const uint8_t* srcRow = c.src;
    const uint8_t* maskRow = c.mask;
    uint8_t* d = c.dst;
    int32_t ay = c.ay0;
    for (int y = 0; y < c.height; ++y) {
        const uint8_t* s = srcRow;
        const uint8_t* m = maskRow;
        int32_t ax = c.ax0;
        int left = c.width;
        for (;;) {
            const Texel t = fetch(s);
            const bool drawn = !skip(t);
            const uint32_t f = UseMask ? uint32_t{c.maskFactor[*m]} : 0u;
            do {
                if (drawn) {
                    op(d, t, f);
                }
                d += DstBytes;
                if (--left == 0) {
                    break;
                }
                ax -= kStretchOne;
            } while (ax > 0);
            if (left == 0) {
                break;
            }
            AdvanceAxis<Strict, UseMask>(ax, c.rx, s, c.srcStep, m, c.maskStep);
        }
        d += c.dstSkip;
        // The walk past the last row would read nothing; it is left out so
        // that no position points outside the source.
        if (y + 1 < c.height) {
            ay -= kStretchOne;
            if (ay <= 0) {
                AdvanceAxis<Strict, UseMask>(ay, c.ry, srcRow, c.srcRowStep, maskRow,
                                             c.maskRowStep);
            }
        }
    }
}

// The source offsets, from a row's first shown pixel, of each destination
// pixel of a row (width entries), by the same walk.
template <bool Strict>
void ColumnOffsets(const StretchCall& c, ptrdiff_t* out) {
    const uint8_t* noMask = nullptr;
    ptrdiff_t at = 0;
    int32_t ax = c.ax0;
    for (int x = 0; x < c.width; ++x) {
        out[x] = at;
        if (x + 1 == c.width) {
            break;
        }
        ax -= kStretchOne;
        if (ax <= 0) {
            AdvanceAxis<Strict, false>(ax, c.rx, at, c.srcStep, noMask, 0);
        }
    }
}

}  // namespace tessel::soft
