// One source texel drawn onto an RGB565 pixel, as the RGB565 families with
// direct and paletted sources draw it: the use of alpha that the transparent
// flag picks, then the rule engine.
#pragma once

#include <cstdint>

#include "softrender/blit_internal.h"
#include "softrender/rules565.h"

namespace tessel::soft {

// With alpha deciding per pixel, alpha 0 skips in every mode but 4 (in mode
// 11 a zero weight would leave the pixel as it was anyway) and alpha 255
// drops the factor. FineGreen: mode 11's white, unmasked rule with alpha.
template <uint32_t Mode, bool Mask, AlphaUse A, bool FineGreen>
inline void PutTexel565(uint8_t* dp, const Texel& t, uint32_t f, const Consts565& k) {
    const uint32_t d = Load16(dp);
    if constexpr (A == AlphaUse::kKeyed) {
        if (t.alpha == 0 && Mode != kBlendMultiply) {
            return;
        }
        if (t.alpha == 255) {
            Store16(dp, Blend565<Mode, Mask, false>(d, t.colour, 0, f, k));
            return;
        }
    }
    Store16(dp, Blend565<Mode, Mask, A != AlphaUse::kNone, FineGreen>(d, t.colour, t.alpha, f, k));
}

}  // namespace tessel::soft
