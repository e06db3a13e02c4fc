// The run-table kernels of the blit, entered once the blit has refused,
// taken its short-cuts and found that the table describes the whole source.
#pragma once

#include <cstdint>

#include "softrender/blit_internal.h"

namespace tessel::soft {

// Draws the unclipped source of setup through its run table: skip runs
// untouched, opaque runs by the rule without alpha, alpha runs (of sources
// with alpha) by the rule with each pixel's alpha.
void RunTableBlit32(const BlitSetup& setup, const uint8_t* table);
void RunTableBlit565(const BlitSetup& setup, const uint8_t* table);

}  // namespace tessel::soft
