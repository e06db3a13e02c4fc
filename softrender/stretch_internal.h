// What the stretch entry hands to its kernels once it has refused, ordered,
// clipped and placed the walk.
#pragma once

#include <cstdint>

#include "graphics/memimg/blend_tables.h"
#include "softrender/draw_state.h"
#include "softrender/stretch_walk.h"

namespace tessel::soft {

struct StretchSetup {
    StretchCall call;
    uint32_t mode;  // 0 to 4, 10 or 11, after the short-cuts (mode 1 at 255 is 0)
    uint32_t p;
    uint32_t brightness;
    bool trans;
    uint32_t key;            // the source's transparent value
    bool alphaSource;        // the source base's alpha flag is exactly 1 (direct sources)
    int srcBytes;            // bytes a direct source pixel takes
    const uint8_t* palette;  // the source's own palette, or null for direct sources
    const BlendTables* tables;
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
