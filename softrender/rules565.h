// The RGB565 rule engine: one pure function per (mode, mask, alpha) over the
// three fields of a pixel, and the white-only variants (whole copies, the
// halving and the 6-bit mix of mode 1, mode 11's finer green). Every RGB565
// kernel family draws through these; the two-pixel add and subtract are in
// pixel_math.h.
#pragma once

#include <cstdint>

#include "softrender/draw_state.h"
#include "softrender/pixel_math.h"

namespace tessel::soft {

// The parameter with its scale and delta rows and mix block, and the
// brightness rows of blue, green and red (identity rows when white).
struct Consts565 {
    uint32_t p;
    const int32_t* scaleP;
    const int32_t* delta;  // indexed -255..255
    const uint8_t (*mix)[64];
    const int32_t* bright[3];
    bool white;
};

// The constant block of a draw: the parameter's rows and block, and the
// brightness rows (the identity row where white).
inline Consts565 MakeConsts565(const BlendTables& t, uint32_t p, uint32_t brightness) {
    Consts565 k{};
    k.p = p;
    k.scaleP = ScaleRow(t, p);
    k.delta = DeltaRow(t, p);
    k.mix = MixBlock(t, p);
    k.white = IsWhite(brightness);
    for (int i = 0; i < 3; ++i) {
        k.bright[i] = ScaleRow(t, k.white ? 255 : (brightness >> (8 * i)) & 0xFF);
    }
    return k;
}

// Field i: 0 blue (bits 0-4), 1 green (5-10), 2 red (11-15).
constexpr int kFieldShift[3] = {0, 5, 11};
constexpr int kFieldBits[3] = {5, 6, 5};

inline uint32_t Field565(uint32_t v, int i) {
    return (v >> kFieldShift[i]) & ((1u << kFieldBits[i]) - 1);
}

// The rules tables of the RGB565 kernels. Alpha means the rule with alpha;
// FineGreen is mode 11's white, unmasked rule with alpha, whose green keeps
// five more bits of the product.
template <uint32_t Mode, bool Mask, bool Alpha, bool FineGreen = false>
inline uint32_t Blend565(uint32_t d, uint32_t s, uint32_t a, uint32_t f, const Consts565& k) {
    constexpr int n = int{Mask} + int{Alpha};
    const uint32_t w = (Mask ? f : 1u) * (Alpha ? a : 1u);
    uint32_t out = 0;
    if constexpr (Mode == kBlendAdd || Mode == kBlendSubtract) {
        for (int i = 0; i < 3; ++i) {
            const uint32_t sx = Field565(s, i);
            uint32_t x = 0;  // the source field scaled by every factor, before p
            if constexpr (!Mask && Alpha) {
                x = static_cast<uint32_t>(k.bright[i][(sx * a) >> 8]);  // alpha before brightness
            } else {
                x = ScaleDown(static_cast<uint32_t>(k.bright[i][sx]), w, 8 * n);
            }
            out |= static_cast<uint32_t>(k.scaleP[x]) << kFieldShift[i];
        }
        return Mode == kBlendAdd ? PackedAdd565(d, out) : PackedSub565(d, out);
    }
    for (int i = 0; i < 3; ++i) {
        const int bits = kFieldBits[i];
        const uint32_t dx = Field565(d, i);
        const uint32_t sx = Field565(s, i);
        const uint32_t c = static_cast<uint32_t>(k.bright[i][sx]);
        uint32_t r = 0;
        if constexpr (Mode == kBlendCopy) {
            r = n == 0 ? c : Interpolate(dx, c, w, 8 * n);
        } else if constexpr (Mode == kBlendMultiply) {
            r = ScaleDown(dx * c, w, bits + 8 * n);
        } else {
            uint32_t t = c;  // kBlendAlpha
            if constexpr (Mode == kBlendInvert) {
                t = static_cast<uint32_t>(k.bright[i][((1u << bits) - 1) - sx]);
            } else if constexpr (Mode == kBlendMultiplyAlpha) {
                t = (c * dx) >> bits;
            }
            if constexpr (n == 0) {
                r = static_cast<uint32_t>(
                    static_cast<int32_t>(dx) +
                    k.delta[static_cast<int32_t>(t) - static_cast<int32_t>(dx)]);
            } else if (FineGreen && i == 1) {
                const int64_t m = (sx * dx) >> 1;  // the product at 32 times the target's scale
                r = static_cast<uint32_t>(int64_t{dx} + (((m - 32 * int64_t{dx}) * a * k.p) >> 21));
            } else {
                r = Interpolate(dx, t, k.p * w, 8 * (1 + n));
            }
        }
        out |= r << kFieldShift[i];
    }
    return out;
}

// White-only variants, chosen at dispatch.
inline uint32_t CopyWhole565(uint32_t /*d*/, uint32_t s) {
    return s & 0xFFFFu;
}
// Mode 1 at parameter 128: (s >> 1) + (d >> 1) per field.
inline uint32_t Halve565(uint32_t d, uint32_t s) {
    return ((s >> 1) & 0x7BEFu) + ((d >> 1) & 0x7BEFu);
}
// Mode 1 at any other parameter: Mix[p / 4][s][d] per field.
inline uint32_t MixWhite565(uint32_t d, uint32_t s, const uint8_t (*mix)[64]) {
    uint32_t out = 0;
    for (int i = 0; i < 3; ++i) {
        out |= uint32_t{mix[Field565(s, i)][Field565(d, i)]} << kFieldShift[i];
    }
    return out;
}

}  // namespace tessel::soft
