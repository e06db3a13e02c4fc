// The stretch blit: a whole memory image drawn scaled, nearest sample, into a
// rectangle of another, mirrored on an axis whose corners come in reverse
// order, clipped to the draw area, in every blend mode.
#pragma once

#include "graphics/memimg/memimg.h"
#include "platform/types.h"
#include "softrender/draw_state.h"

namespace tessel {

// Draws src into rect (x1, y1, x2, y2) of dest; x1 > x2 (y1 > y2) mirrors that
// axis. A rectangle of the source's size, not mirrored, is the plain blit at
// (x1, y1). trans, mask and the refusals are the blit's; also draws nothing
// for an empty rectangle, one 32768 or more wide or high, or a source so much
// larger than the rectangle that the 16.16 ratio would be 0.
void MemImgStretchBlit(const SoftDrawState& state, MEMIMG* dest, const MEMIMG* src,
                       const RECT* rect, int trans, const MEMIMG* mask);

}  // namespace tessel
