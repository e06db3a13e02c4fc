// One source texel drawn onto a 32-bit pixel, as the 32-bit families with
// direct and paletted sources draw it: the use of alpha that the transparent
// flag picks, then the rule engine.
#pragma once

#include <cstdint>

#include "softrender/blit_internal.h"
#include "softrender/rules32.h"

namespace tessel::soft {

// With alpha deciding per pixel, alpha 0 skips in modes 0 to 3 and alpha 255
// drops the factor (a white, unmasked copy then stores the whole texel).
template <uint32_t Mode, bool Mask, AlphaUse A>
inline void PutTexel32(uint8_t* dp, const Texel& t, uint32_t f, const Consts32& k) {
    const uint32_t d = Load32(dp);
    if constexpr (A == AlphaUse::kKeyed) {
        if (t.alpha == 0 && Mode <= kBlendSubtract) {
            return;
        }
        if (t.alpha == 255) {
            const bool whole = Mode == kBlendCopy && !Mask && k.white;
            Store32(dp, whole ? t.colour : Blend32<Mode, Mask, false>(d, t.colour, 0, f, k));
            return;
        }
    }
    Store32(dp, Blend32<Mode, Mask, A != AlphaUse::kNone>(d, t.colour, t.alpha, f, k));
}

}  // namespace tessel::soft
