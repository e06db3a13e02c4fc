// Building the software path's blend tables and the blend-mask fade table.
#include "graphics/memimg/blend_tables.h"

#include <algorithm>

namespace tessel {

BlendTables g_blendTables;

int MemImgBuildBlendTables() {
    BlendTables& t = g_blendTables;
    for (int r = 0; r < 256; ++r) {
        for (int i = 0; i < 256; ++i) {
            t.scale[r][i] = i * r / 255;
        }
    }
    for (int p = 0; p < 256; ++p) {
        t.delta[p][0] = 0;
        for (int i = 1; i < 512; ++i) {
            t.delta[p][i] = (i - 256) * p / 255;  // C++ division truncates toward zero
        }
    }
    for (int q = 0; q < 64; ++q) {
        for (int a = 0; a < 64; ++a) {
            for (int b = 0; b < 64; ++b) {
                t.mix6[q][a][b] = static_cast<uint8_t>((a * q + b * (63 - q)) / 63);
            }
        }
    }
    return 0;
}

void MemImgBuildFadeTable(int level, int range) {
    level = std::clamp(level, 0, 255);
    range = std::clamp(range, 0, 255);
    const int d = range + 1;
    const int b = 256 - ((65536 / d + 256) * level) / 256;
    for (int m = 0; m < 256; ++m) {
        g_blendTables.maskFactor[m] = static_cast<uint8_t>(std::clamp(m * 256 / d + b, 0, 255));
    }
}

}  // namespace tessel
