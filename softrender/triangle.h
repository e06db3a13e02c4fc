// Triangles and quads drawn into memory images: a solid colour, or a source
// image mapped affinely from per-vertex texel positions, clipped to the draw
// area and blended by the draw state like every software kernel.
#pragma once

#include <cstdint>

#include "graphics/memimg/memimg.h"
#include "softrender/draw_state.h"

namespace tessel {

// x, y: destination pixel; u, v: source texel (whole texels).
struct MemImgTriVertex {
    int32_t x;
    int32_t y;
    int32_t u;
    int32_t v;
};

struct MemImgQuadCorner {
    int32_t x;
    int32_t y;
};

// Draws the triangle of three vertices (any order, either winding). With a
// source the source is mapped onto it: trans not 0 skips the source's
// transparent value (or, for a source with alpha, lets the alpha decide) and
// mask, when given, weighs each pixel by the mask byte at the texel's column
// and row. Without a source the triangle is filled with colour, a pixel value
// in the destination's format, and trans and mask are ignored.
// Draws nothing when the colour types differ or are not 0 or 1, the
// destination is paletted or has alpha, the vertices are collinear, a
// coordinate or a difference of two lies outside -8192..8191, the mode has no
// kernel or a parameter short-cut says so (a paletted source subtracts at
// parameter 0 too); a textured draw also refuses a source of 8192 or more
// texels a side, a paletted source without its palette, a mask smaller than
// the source and a texel step per pixel too large for 14.18 fixed point.
void MemImgTexturedTriangle(const SoftDrawState& state, MEMIMG* dest, const MEMIMG* src,
                            const MemImgTriVertex* vertices, int trans, const MEMIMG* mask,
                            uint32_t colour);

// Draws the whole source onto the four corners (they receive its top-left,
// top-right, bottom-left and bottom-right) as two triangles that share the
// edge from corner 1 to corner 2. Draws nothing when the corners' box, with a
// margin of 2 before and 4 after, misses the draw area, or without a source.
void MemImgTexturedQuad(const SoftDrawState& state, MEMIMG* dest, const MEMIMG* src,
                        const MemImgQuadCorner* corners, int trans, const MEMIMG* mask);

}  // namespace tessel
