// What the blit entry hands to its kernel families once it has refused,
// clipped and taken the parameter short-cuts.
#pragma once

#include <cstdint>

#include "graphics/memimg/blend_tables.h"
#include "graphics/memimg/memimg.h"
#include "softrender/blit_walk.h"

namespace tessel::soft {

struct BlitSetup {
    BlitCall call;
    uint32_t mode;  // 0 to 4, 10 or 11, after the short-cuts (mode 1 at 255 is 0)
    uint32_t p;
    uint32_t brightness;
    bool trans;
    uint32_t key;            // the source's transparent value
    bool alphaSource;        // the source base's alpha flag is exactly 1 (direct sources)
    int srcBytes;            // bytes a direct source pixel takes
    const uint8_t* palette;  // the source's own palette, or null for direct sources
    const BlendTables* tables;
};

void Blit32(const BlitSetup& setup);
void Blit565(const BlitSetup& setup);

// The run-table path draws correctly only when the source view is its whole
// base image, drawn unclipped with trans exactly 1 and a valid table.
bool TakesRunTablePath(const MEMIMG* src, int clippedWidth, int clippedHeight, int trans);

}  // namespace tessel::soft
