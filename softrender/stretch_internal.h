// What the stretch entry hands to its kernels once it has refused, ordered,
// clipped and placed the walk.
#pragma once

#include <cstdint>

#include "softrender/blit_internal.h"
#include "softrender/draw_state.h"
#include "softrender/stretch_walk.h"

namespace tessel::soft {

struct StretchSetup : DrawRule {
    StretchCall call;
    bool strict;  // the walk advances by the strict rule
};

// The kernels that walk by the strict rule: the white, unmasked copies and
// the subtract at parameter 255, from sources without alpha.
constexpr bool WalksStrictly(uint32_t mode, uint32_t p, bool mask, bool white, bool alphaSource) {
    return !mask && white && !alphaSource &&
           (mode == kBlendCopy || (mode == kBlendSubtract && p == 255));
}

void Stretch32(const StretchSetup& setup);
void Stretch565(const StretchSetup& setup);

// Draws and returns true when a fast path covers the call (white, unmasked
// draws of the game's common kinds); false leaves it to the general kernels.
bool StretchFastPath(const StretchSetup& setup, int dstBytes);

// For tests: 0 turns the fast paths off so that the general kernels draw.
extern int g_stretchUseFastPaths;

}  // namespace tessel::soft
