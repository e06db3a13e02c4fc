// The 32-bit rule engine: one pure function per (mode, mask, alpha) that turns
// a destination pixel, a source colour, its alpha and a mask factor into the
// new pixel, and the white-only variants that differ from it. Every 32-bit
// kernel family draws through these.
#pragma once

#include <cstdint>

#include "softrender/draw_state.h"
#include "softrender/pixel_math.h"

namespace tessel::soft {

// What a rule needs besides the pixel: the parameter, its scale row and the
// brightness rows (blue, green, red; all three the identity row when white).
struct Consts32 {
    uint32_t p;
    const int32_t* scaleP;
    const int32_t* bright[3];
    bool white;
};

// The constant block of a draw: the parameter's row, and the brightness rows
// (the identity row where white).
inline Consts32 MakeConsts32(const BlendTables& t, uint32_t p, uint32_t brightness) {
    Consts32 k{};
    k.p = p;
    k.scaleP = ScaleRow(t, p);
    k.white = IsWhite(brightness);
    for (int ch = 0; ch < 3; ++ch) {
        k.bright[ch] = ScaleRow(t, k.white ? 255 : (brightness >> (8 * ch)) & 0xFF);
    }
    return k;
}

inline uint32_t Channel(uint32_t v, int ch) {
    return (v >> (8 * ch)) & 0xFF;
}

// The rules table of the 32-bit kernels. Mask and Alpha say which factors are
// present; n of them make k = 8 x (1 + n) (8 x n in mode 0). Modes 2 and 3
// write the whole pixel; the others keep the destination's top byte.
template <uint32_t Mode, bool Mask, bool Alpha>
inline uint32_t Blend32(uint32_t d, uint32_t s, uint32_t a, uint32_t f, const Consts32& k) {
    constexpr int n = int{Mask} + int{Alpha};
    const uint32_t w = (Mask ? f : 1u) * (Alpha ? a : 1u);
    if constexpr (Mode == kBlendAdd || Mode == kBlendSubtract) {
        uint32_t v = 0;
        for (int ch = 0; ch < 3; ++ch) {
            const uint32_t c = static_cast<uint32_t>(k.bright[ch][Channel(s, ch)]);
            const uint32_t vk =
                n == 0 ? static_cast<uint32_t>(k.scaleP[c]) : ScaleDown(c * w, k.p, 8 * (1 + n));
            v |= vk << (8 * ch);
        }
        return Mode == kBlendAdd ? PackedAdd32(d, v) : PackedSub32(d, v);
    }
    uint32_t out = d & 0xFF000000u;
    for (int ch = 0; ch < 3; ++ch) {
        const uint32_t dk = Channel(d, ch);
        const uint32_t sk = Channel(s, ch);
        const uint32_t c = static_cast<uint32_t>(k.bright[ch][sk]);
        uint32_t r = 0;
        if constexpr (Mode == kBlendCopy) {
            r = n == 0 ? c : Interpolate(dk, c, w, 8 * n);
        } else if constexpr (Mode == kBlendAlpha) {
            r = Interpolate(dk, c, k.p * w, 8 * (1 + n));
        } else if constexpr (Mode == kBlendMultiply) {
            r = ScaleDown(dk * c, w, 8 * (1 + n));
        } else if constexpr (Mode == kBlendInvert) {
            const uint32_t t = static_cast<uint32_t>(k.bright[ch][255 - sk]);
            r = Interpolate(dk, t, k.p * w, 8 * (1 + n));
        } else {  // kBlendMultiplyAlpha
            r = Interpolate(dk, (dk * c) >> 8, k.p * w, 8 * (1 + n));
        }
        out |= r << (8 * ch);
    }
    return out;
}

// White-only variants, chosen at dispatch.
// Mode 0 without mask: the whole source pixel, top byte included.
inline uint32_t CopyWhole32(uint32_t /*d*/, uint32_t s) {
    return s;
}
// Mode 1 at parameter 128: floor(d / 2) + floor(s / 2) per channel, top byte 0.
inline uint32_t Halve32(uint32_t d, uint32_t s) {
    return ((d >> 1) & 0x7F7F7Fu) + ((s >> 1) & 0x7F7F7Fu);
}
// Mode 2 at parameter 255: the source itself added without the low bits.
inline uint32_t AddWhole32(uint32_t d, uint32_t s) {
    return PackedAddDropLow32(d, s);
}

}  // namespace tessel::soft
