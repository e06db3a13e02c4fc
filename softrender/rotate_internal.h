// The rotated blit's geometry in 14.18 fixed point and its walk: where the
// turned source lies on the destination, the box that is walked, the source
// position of each walked pixel, and what the entry hands to the span
// families. Nothing here knows about blending.
#pragma once

#include <algorithm>
#include <cstdint>

#include "graphics/memimg/blend_tables.h"
#include "platform/types.h"
#include "softrender/blit_walk.h"
#include "softrender/triangle_walk.h"

namespace tessel::soft {

// Sources and centres stay below 8192 pixels so that 14.18 positions do not
// wrap; the row tables hold 4096 rows.
constexpr int32_t kRotateReach = 8192;
constexpr int32_t kRotateRows = 4096;

// The turned and scaled source rectangle on the destination. sn, cn are the
// sine and cosine of -angle in 14.18, sp, cp those of +angle. Corners
// (14.18 destination positions, held wide so that a corner past 8191 pixels
// does not wrap): 0 top-left, 1 bottom-left, 2 bottom-right, 3 top-right of
// the source. fits is false when a corner lies 8192 or more pixels from the
// centre.
struct RotateFrame {
    int32_t sn, cn, sp, cp;
    int64_t x[4], y[4];
    bool fits;
};

RotateFrame TurnSource(int32_t width, int32_t height, int32_t centreX, int32_t centreY, float angle,
                       float scale);

// The corners' box in whole pixels with a margin of 2 before and 4 after
// (right and bottom exclusive), before any clipping.
RECT RotateBox(const RotateFrame& frame);

// The walk over a clipped box: destination pixel (left + i, top + j) shows
// the source position u = ua + j uy + i ux, v = va + j vy + i vx, modulo
// 2^32, drawn only when u < uLimit and v < vLimit read unsigned.
struct RotateWalk {
    int32_t left, top, columns, rows;
    uint32_t ua, va, ux, vx, uy, vy;
    uint32_t uLimit, vLimit;
};

// The start positions and steps for the clipped box; false when a start
// position's product leaves 32 bits (a box corner too far from the centre).
bool StartWalk(const RotateFrame& frame, const RECT& clipped, int32_t width, int32_t height,
               int32_t centreX, int32_t centreY, float scale, RotateWalk* out);

// What the entry hands to the span families once it has refused, clipped,
// set up the walk and taken the parameter short-cuts.
struct RotateDraw {
    RotateWalk walk;
    uint8_t* dest;  // the box's top-left pixel
    int32_t destPitch;
    const uint8_t* const* sourceRows;  // row r of the source, r < its height
    const uint8_t* sourcePixels;       // row 0, which the others follow a pitch apart
    int32_t sourcePitch;
    const uint8_t* const* maskRows;  // the mask at the same rows; null without a mask
    const uint8_t* maskFactor;
    uint32_t mode;  // 0 to 4, 10 or 11, after the short-cuts (mode 1 at 255 is 0)
    uint32_t p;
    uint32_t brightness;
    const BlendTables* tables;
    bool trans;
    uint32_t key;            // the source's transparent value
    bool alphaSource;        // the source base's alpha flag is exactly 1 (direct sources)
    int srcBytes;            // bytes a direct source pixel takes
    const uint8_t* palette;  // the source's own palette, or null for direct sources
    bool sharesStore;        // source and destination are views of one store
};

// For tests: 0 makes every row test each pixel, so that the narrowed rows
// can be compared with the plain walk.
extern int g_rotateNarrowRows;
// For tests: 0 turns off the white, unmasked 32-bit blends that stand in for
// the rule engine.
extern int g_rotateWhiteVariants;

void RotateSpans32(const RotateDraw& draw);
void RotateSpans565(const RotateDraw& draw);

// The smallest i in [0, n] with a + i x s >= target (s > 0; n when none):
// a floating-point estimate from the step's inverse, then exact steps to
// the answer, so the estimate's rounding never shows.
[[gnu::always_inline]] inline int64_t FirstReaching(int64_t a, int64_t s, double inverse,
                                                    int64_t target, int64_t n) {
    const double estimate = static_cast<double>(target - a) * inverse;
    int64_t i = estimate <= 0 ? 0 : (estimate >= static_cast<double>(n) ? n : int64_t(estimate));
    while (i > 0 && a + (i - 1) * s >= target) {
        --i;
    }
    while (i < n && a + i * s < target) {
        ++i;
    }
    return i;
}

// Narrows [first, last) to the columns i of a row whose position a + i x s
// lies in [0, limit), a and s read as signed (inverse = 1 / s). False when
// the row's positions leave the signed 32-bit range, where the wrapping sum
// and the unsigned test no longer follow the line; the row is then tested
// pixel by pixel.
[[gnu::always_inline]] inline bool NarrowToSource(uint32_t a, uint32_t s, double inverse,
                                                  uint32_t limit, int32_t columns, int32_t* first,
                                                  int32_t* last) {
    const int64_t start = static_cast<int32_t>(a);
    const int64_t step = static_cast<int32_t>(s);
    const int64_t end = start + step * (columns - 1);
    if (end < INT32_MIN || end > INT32_MAX) {
        return false;
    }
    // The line is monotone: its columns in [0, limit) are one run.
    int64_t lo = 0, hi = columns;
    if (step == 0) {
        hi = (start >= 0 && start < limit) ? columns : 0;
    } else if (step > 0) {
        lo = FirstReaching(start, step, inverse, 0, columns);
        hi = FirstReaching(start, step, inverse, limit, columns);
    } else {
        lo = FirstReaching(-start, -step, -inverse, 1 - int64_t{limit}, columns);
        hi = FirstReaching(-start, -step, -inverse, 1, columns);
    }
    *first = std::max(*first, static_cast<int32_t>(lo));
    *last = std::min(*last, static_cast<int32_t>(hi));
    return true;
}

// A run's leading pixels drawn several at a time: none here, so the whole run
// goes pixel by pixel.
struct NoBlocks {
    int32_t operator()(uint8_t*, uint32_t, uint32_t, uint32_t, uint32_t, const uint8_t* const*,
                       int32_t) const {
        return 0;
    }
};

// Every pixel of the box row by row: texel(destination, texel address, mask
// factor) for each pixel whose source position lies inside the source; the
// others are left. Each row starts from its own closed form. Where the row's
// positions follow their line the run inside the source is found first and
// walked without a test; otherwise every pixel is tested as it is stepped.
// blocks(destination, u, v, ux, vx, source rows, n) may draw a run's first
// pixels itself, all of them inside the source, and returns how many it drew;
// texel draws the rest.
template <int SrcBytes, int DstBytes, bool Mask, class TexelFn, class BlockFn = NoBlocks>
void WalkRotation(const RotateDraw& r, TexelFn&& texel, BlockFn&& blocks = NoBlocks{}) {
    // Copies: a store through a pixel pointer could alias the draw record, so
    // its fields would be read again after every pixel.
    const RotateWalk w = r.walk;
    const uint8_t* const* const sourceRows = r.sourceRows;
    const uint8_t* const* const maskRows = r.maskRows;
    const uint8_t* const maskFactor = r.maskFactor;
    const bool narrow = g_rotateNarrowRows != 0;
    const int32_t destPitch = r.destPitch;
    uint8_t* row = r.dest;
    uint32_t rowU = w.ua;
    uint32_t rowV = w.va;
    auto put = [&](uint8_t* d, uint32_t u, uint32_t v) {
        const uint32_t column = u >> kFixBits;
        const uint32_t line = v >> kFixBits;
        uint32_t factor = 0;
        if constexpr (Mask) {
            factor = maskFactor[maskRows[line][column]];
        }
        texel(d, sourceRows[line] + ptrdiff_t{SrcBytes} * column, factor);
    };
    auto inverse = [](uint32_t step) {
        return step == 0 ? 0.0 : 1.0 / static_cast<double>(static_cast<int32_t>(step));
    };
    const double inverseU = inverse(w.ux), inverseV = inverse(w.vx);
    for (int32_t j = 0; j < w.rows; ++j, row += destPitch, rowU += w.uy, rowV += w.vy) {
        int32_t first = 0, last = w.columns;
        if (narrow && NarrowToSource(rowU, w.ux, inverseU, w.uLimit, w.columns, &first, &last) &&
            NarrowToSource(rowV, w.vx, inverseV, w.vLimit, w.columns, &first, &last)) {
            uint8_t* d = row + ptrdiff_t{DstBytes} * first;
            uint32_t u = rowU + static_cast<uint32_t>(first) * w.ux;
            uint32_t v = rowV + static_cast<uint32_t>(first) * w.vx;
            const int32_t drawn = blocks(d, u, v, w.ux, w.vx, sourceRows, last - first);
            d += ptrdiff_t{DstBytes} * drawn;
            u += static_cast<uint32_t>(drawn) * w.ux;
            v += static_cast<uint32_t>(drawn) * w.vx;
            for (int32_t i = first + drawn; i < last; ++i, d += DstBytes, u += w.ux, v += w.vx) {
                put(d, u, v);
            }
            continue;
        }
        uint8_t* d = row;
        uint32_t u = rowU;
        uint32_t v = rowV;
        for (int32_t i = 0; i < w.columns; ++i, d += DstBytes, u += w.ux, v += w.vx) {
            if (u < w.uLimit && v < w.vLimit) {
                put(d, u, v);
            }
        }
    }
}

// The walk with a source fetch and a transparent test: put(destination,
// texel, mask factor) for each texel inside the source that is not skipped.
template <int DstBytes, bool Mask, class Fetch, class Skip, class Put>
void WalkTexels(const RotateDraw& r, Fetch fetch, Skip skip, Put put) {
    WalkRotation<Fetch::kStep, DstBytes, Mask>(r, [&](uint8_t* dp, const uint8_t* sp, uint32_t f) {
        const Texel texel = fetch(sp);
        if (!skip(texel)) {
            put(dp, texel, f);
        }
    });
}

}  // namespace tessel::soft
