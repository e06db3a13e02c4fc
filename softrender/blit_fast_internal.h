// Fast paths of the blit for the draws the game makes most: 32-bit direct
// sources, no mask, white brightness (copies, keyed copies, modes 1 and 2
// without alpha; mode 0 from an alpha source). Each gives the bits of the
// general kernel it stands in for.
#pragma once

#include "softrender/blit_internal.h"
#include "softrender/draw_state.h"

namespace tessel::soft {

// Draws and returns true when a fast path covers the call; false leaves it to
// the general kernels. Expects a white, unmasked draw of a direct 32-bit
// source.
bool FastPath32(const BlitSetup& setup);
// The same for RGB565 direct sources without alpha: copies, keyed copies and
// mode 1.
bool FastPath565(const BlitSetup& setup);

// For tests: 0 turns the fast paths off so that the general kernels draw.
extern int g_blitUseFastPaths;

}  // namespace tessel::soft
