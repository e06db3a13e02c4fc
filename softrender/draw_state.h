// The draw settings a software kernel runs with, read once by the caller and
// passed down as one constant block, so that the kernels hold no globals.
#pragma once

#include <cstdint>

#include "graphics/memimg/blend_tables.h"
#include "platform/types.h"

namespace tessel {

// Blend modes the kernels draw; every other value (5 to 9, above 11, and so
// any negative value read unsigned) draws nothing.
enum : uint32_t {
    kBlendCopy = 0,
    kBlendAlpha = 1,
    kBlendAdd = 2,
    kBlendSubtract = 3,
    kBlendMultiply = 4,
    kBlendInvert = 10,
    kBlendMultiplyAlpha = 11,
};

struct SoftDrawState {
    uint32_t blendMode;
    int32_t blendParam;   // 0..255; kernels clamp what the setter did not
    uint32_t brightness;  // low byte blue, then green, then red; the top byte is ignored
    RECT drawArea;        // the only clip; right and bottom exclusive
    const BlendTables* tables;
};

// Copy mode, white brightness, the given area, the global tables.
inline SoftDrawState DefaultSoftDrawState(const RECT& area) {
    return SoftDrawState{kBlendCopy, 255, 0xFFFFFFu, area, &g_blendTables};
}

// The mode a fill or triangle draw runs at parameter p, or -1 for nothing
// drawn: modes without a kernel draw nothing, mode 1 at 255 is the copy, and
// modes 1, 2 and 3 at 0 draw nothing.
constexpr int64_t ModeAfterShortCuts(uint32_t mode, uint32_t p) {
    if (mode > kBlendMultiplyAlpha || (mode > kBlendMultiply && mode < kBlendInvert)) {
        return -1;
    }
    if (mode == kBlendAlpha && p == 255) {
        return kBlendCopy;
    }
    if ((mode == kBlendAlpha || mode == kBlendAdd || mode == kBlendSubtract) && p == 0) {
        return -1;
    }
    return mode;
}

// Brightness packed from red, green and blue bytes.
constexpr uint32_t PackBrightness(uint32_t red, uint32_t green, uint32_t blue) {
    return (red << 16) | (green << 8) | blue;
}

}  // namespace tessel
