// The rules that blend one colour into a destination pixel, shared by the
// blended fill and the line: the colour's brightness (x x b) >> 8, the
// parameter short-cuts, and one pixel rule per blend mode and depth, handed to
// the caller's walk as a function of the old pixel.
#pragma once

#include <algorithm>
#include <cstdint>

#include "graphics/memimg/blend_tables.h"
#include "graphics/memimg/memimg.h"
#include "softrender/draw_state.h"
#include "softrender/pixel_math.h"

namespace tessel::soft {

// A destination the colour draws accept: a valid view of an RGB565 or
// 32-bit image without a palette (one byte a pixel) or an alpha plane.
inline bool TakesColourDraws(const MEMIMG* dest) {
    if (!MemImgIsValid(dest)) {
        return false;
    }
    const MemImgBase* base = dest->base;
    return base->paletted != 1 && base->alphaFlag != 1 &&
           (base->colorType == kMemImgRgb565 || base->colorType == kMemImgRgb32);
}

// The brightness scales the colour by (x x b) >> 8; white leaves it.
inline uint32_t DimColour32(uint32_t c, uint32_t brightness) {
    if (IsWhite(brightness)) {
        return c;
    }
    return Pack32(Dim(Red32(c), Red32(brightness)), Dim(Green32(c), Green32(brightness)),
                  Dim(Blue32(c), Blue32(brightness)), Top32(c));
}

inline uint32_t DimColour565(uint32_t c, uint32_t brightness) {
    if (IsWhite(brightness)) {
        return c;
    }
    return Pack565(Dim(Red565(c), Red32(brightness)), Dim(Green565(c), Green32(brightness)),
                   Dim(Blue565(c), Blue32(brightness)));
}

// The rule a draw runs: its mode after the parameter short-cuts (-1: nothing
// drawn) and its parameter, clamped to the setter's 0..255 so that no table
// row outside the tables is read.
struct ColourRule {
    int64_t mode;
    uint32_t p;
};

inline ColourRule ColourRuleOf(const SoftDrawState& state) {
    const uint32_t p = static_cast<uint32_t>(std::clamp(state.blendParam, 0, 255));
    return {ModeAfterShortCuts(state.blendMode, p), p};
}

// Rule 1 on the three channels at once: (d x (256 - p) + c x p) >> 8 each,
// red and blue sharing one word (no sum reaches 2^16), the top byte kept.
struct ColourAlpha32 {
    uint32_t q, redBlue, green;
    ColourAlpha32(uint32_t c, uint32_t p)
        : q(256 - p), redBlue((c & 0xFF00FFu) * p), green((c & 0xFF00u) * p) {}
    uint32_t operator()(uint32_t d) const {
        return (d & 0xFF000000u) | ((((d & 0xFF00FFu) * q + redBlue) >> 8) & 0xFF00FFu) |
               ((((d & 0xFF00u) * q + green) >> 8) & 0xFF00u);
    }
};

// Calls fn(rule) with rule(d) the new 32-bit pixel for the old one d, for the
// colour c (after brightness) in mode (after the short-cuts).
template <class Fn>
void WithColourRule32(uint32_t mode, uint32_t p, uint32_t c, const BlendTables& t, Fn&& fn) {
    const int32_t* scale = ScaleRow(t, p);
    const uint32_t scaled = Pack32(scale[Red32(c)], scale[Green32(c)], scale[Blue32(c)]);
    switch (mode) {
        case kBlendCopy:
            return fn([c](uint32_t) { return c; });
        case kBlendAlpha:
            return fn(ColourAlpha32(c, p));
        case kBlendInvert:
            return fn(ColourAlpha32(~c & 0xFFFFFFu, p));
        case kBlendAdd:
            return fn([scaled](uint32_t d) { return PackedAdd32(d, scaled); });
        case kBlendSubtract:
            return fn([scaled](uint32_t d) { return PackedSub32(d, scaled); });
        case kBlendMultiply:
            return fn([c](uint32_t d) {
                return Pack32((Red32(d) * Red32(c)) >> 8, (Green32(d) * Green32(c)) >> 8,
                              (Blue32(d) * Blue32(c)) >> 8, Top32(d));
            });
        case kBlendMultiplyAlpha:
            return fn([c, p](uint32_t d) {
                auto channel = [p](uint32_t dk, uint32_t ck) {
                    return Interpolate(dk, (dk * ck) >> 8, p, 8);
                };
                return Pack32(channel(Red32(d), Red32(c)), channel(Green32(d), Green32(c)),
                              channel(Blue32(d), Blue32(c)), Top32(d));
            });
        default:
            return;
    }
}

// The RGB565 field rule of modes 1, 4, 10 and 11 for a field of `bits` bits
// whose colour value is c: the new field for an old field d.
inline int32_t FieldRule565(uint32_t mode, int32_t d, int32_t c, int bits, const int32_t* delta) {
    const int32_t top = (1 << bits) - 1;
    switch (mode) {
        case kBlendAlpha:
            return d + delta[c - d];
        case kBlendMultiply:
            return (d * c) >> bits;
        case kBlendInvert:
            return d + delta[(top - c) - d];
        default:  // kBlendMultiplyAlpha
            return d + delta[((d * c) >> bits) - d];
    }
}

// As WithColourRule32 for an RGB565 destination; the rule works field by
// field (modes 1, 4, 10 and 11) or on the packed pixel.
template <class Fn>
void WithColourRule565(uint32_t mode, uint32_t p, uint32_t c, const BlendTables& t, Fn&& fn) {
    switch (mode) {
        case kBlendCopy:
            return fn([c](uint32_t) { return c; });
        case kBlendAdd:
        case kBlendSubtract: {
            const int32_t* scale = ScaleRow(t, p);
            const uint32_t s = Pack565(scale[Red565(c)], scale[Green565(c)], scale[Blue565(c)]);
            if (mode == kBlendAdd) {
                return fn([s](uint32_t d) { return PackedAdd565(d, s); });
            }
            return fn([s](uint32_t d) { return PackedSub565(d, s); });
        }
        case kBlendAlpha:
        case kBlendMultiply:
        case kBlendInvert:
        case kBlendMultiplyAlpha: {
            const int32_t* delta = DeltaRow(t, p);
            return fn([mode, c, delta](uint32_t d) {
                auto field = [&](uint32_t dx, uint32_t cx, int bits) {
                    return static_cast<uint32_t>(FieldRule565(
                        mode, static_cast<int32_t>(dx), static_cast<int32_t>(cx), bits, delta));
                };
                return Pack565(field(Red565(d), Red565(c), 5), field(Green565(d), Green565(c), 6),
                               field(Blue565(d), Blue565(c), 5));
            });
        }
        default:
            return;
    }
}

}  // namespace tessel::soft
