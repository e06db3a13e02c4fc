// The plain blit: a whole memory image drawn at a point of another, clipped to
// the draw area, in every blend mode, with brightness, an optional
// transparent value and an optional blend mask.
#pragma once

#include <cstdint>

#include "graphics/memimg/memimg.h"
#include "softrender/draw_state.h"

namespace tessel {

// Draws src with its top-left pixel at (x, y) of dest. trans not 0 skips
// source pixels equal to the source's transparent value (or, for a source
// with alpha, lets the alpha decide). mask, when given, is read one byte per
// source pixel at the source pixel's column and row, through the fade table.
// Draws nothing when the colour types differ or are not 0 or 1, the
// destination is paletted or has alpha, the clip is empty, the mode has no
// kernel, a parameter short-cut says so, or the mask is smaller than the
// source. With trans exactly 1, a valid run table and a view that is its
// whole store drawn unclipped, the table decides which pixels are skipped,
// drawn opaque or drawn with their alpha, and the white special parameter
// values of the general kernels do not apply.
void MemImgBlit(const SoftDrawState& state, MEMIMG* dest, const MEMIMG* src, int x, int y,
                int trans, const MEMIMG* mask);

}  // namespace tessel
