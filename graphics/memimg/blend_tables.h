// The lookup tables the software kernels blend with: every division by 255 or
// by 63 of a blend rule is a table entry, built once when graphics start.
#pragma once

#include <cstdint>

namespace tessel {

struct BlendTables {
    // scale[r][i] = floor(i x r / 255): row 255 is the identity, row 0 all zero.
    int32_t scale[256][256];
    // delta[p][256 + d] = d x p / 255 truncated toward zero, d = -255..255;
    // entry 0 of each row stays 0.
    int32_t delta[256][512];
    // mix6[q][a][b] = floor((a x q + b x (63 - q)) / 63): 6-bit fields mixed
    // with weight q / 63.
    uint8_t mix6[64][64][64];
    // Blend-mask byte -> factor 0..255, rebuilt at each blend-mask change.
    uint8_t maskFactor[256];
};

extern BlendTables g_blendTables;

// Fills scale, delta and mix6; 0.
int MemImgBuildBlendTables();
// Fills the mask factors: with d = range + 1 and
// b = 256 - ((65536 / d + 256) x level) / 256, entry m = clamp(m x 256 / d + b, 0, 255).
// Level and range are clamped to 0..255 first.
void MemImgBuildFadeTable(int level, int range);

}  // namespace tessel
