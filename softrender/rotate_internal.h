// The rotated blit's geometry in 14.18 fixed point and its walk: where the
// turned source lies on the destination, the box that is walked, the source
// position of each walked pixel, and what the entry hands to the span
// families. Nothing here knows about blending.
#pragma once

#include <cstdint>

#include "graphics/memimg/blend_tables.h"
#include "platform/types.h"
#include "softrender/triangle_walk.h"

namespace tessel::soft {

// Sources and centres stay below 8192 pixels so that 14.18 positions do not
// wrap; the row tables hold 4096 rows.
constexpr int32_t kRotateReach = 8192;
constexpr int32_t kRotateRows = 4096;

// The turned and scaled source rectangle on the destination. sn, cn are the
// sine and cosine of -angle in 14.18, sp, cp those of +angle. Corners
// (14.18 destination positions): 0 top-left, 1 bottom-left, 2 bottom-right,
// 3 top-right of the source. fits is false when a corner lies 8192 or more
// pixels from the centre or outside 14.18 altogether.
struct RotateFrame {
    int32_t sn, cn, sp, cp;
    int32_t x[4], y[4];
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
    const uint8_t* const* maskRows;    // the mask at the same rows; null without a mask
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
};

void RotateSpans32(const RotateDraw& draw);
void RotateSpans565(const RotateDraw& draw);

// Every pixel of the box row by row: texel(destination, texel address, mask
// factor) for each pixel whose source position lies inside the source; the
// others are left. Positions step per pixel, also over skipped pixels, and
// each row starts from its own closed form.
template <int SrcBytes, int DstBytes, bool Mask, class TexelFn>
void WalkRotation(const RotateDraw& r, TexelFn&& texel) {
    const RotateWalk& w = r.walk;
    uint8_t* row = r.dest;
    uint32_t rowU = w.ua;
    uint32_t rowV = w.va;
    for (int32_t j = 0; j < w.rows; ++j, row += r.destPitch, rowU += w.uy, rowV += w.vy) {
        uint8_t* d = row;
        uint32_t u = rowU;
        uint32_t v = rowV;
        for (int32_t i = 0; i < w.columns; ++i, d += DstBytes, u += w.ux, v += w.vx) {
            if (u >= w.uLimit || v >= w.vLimit) {
                continue;
            }
            const uint32_t column = u >> kFixBits;
            const uint32_t line = v >> kFixBits;
            uint32_t factor = 0;
            if constexpr (Mask) {
                factor = r.maskFactor[r.maskRows[line][column]];
            }
            texel(d, r.sourceRows[line] + ptrdiff_t{SrcBytes} * column, factor);
        }
    }
}

}  // namespace tessel::soft
