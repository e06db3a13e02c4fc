// The rotated and scaled blit: a whole memory image drawn onto another turned
// by an angle and scaled about a centre point, clipped to the draw area, in
// every blend mode, with brightness, an optional transparent value and an
// optional blend mask.
#pragma once

#include <cstdint>

#include "graphics/memimg/memimg.h"
#include "softrender/draw_state.h"

namespace tessel {

// Draws src with its centre pixel (column width / 2, row height / 2, rounded
// down) on pixel (centreX, centreY) of dest, turned by angle radians
// (clockwise on screen) and scaled by scale. Each covered pixel shows the
// texel under its top-left corner. trans not 0 skips source pixels equal to
// the source's transparent value (or, for a source with alpha, lets the alpha
// decide); mask, when given, is read one byte per source pixel at the texel's
// column and row, through the fade table. turn not 0 draws the source
// mirrored left to right, as a textured quad through the turned corners.
// Draws nothing when the colour types differ or are not 0 or 1, the
// destination is paletted or has alpha, the clip is empty, the mode has no
// kernel or a parameter short-cut says so, the scale is 0 or not a number,
// the source has 8192 or more pixels a side or more than 4096 rows, the mask
// is smaller than the source, the centre lies outside -8192..8191, or the
// turned image reaches 8192 or more pixels from its centre.
void MemImgRotateBlit(const SoftDrawState& state, MEMIMG* dest, const MEMIMG* src, int32_t centreX,
                      int32_t centreY, float angle, float scale, int trans, int turn,
                      const MEMIMG* mask);

}  // namespace tessel
