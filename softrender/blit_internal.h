// What the blit entry hands to its kernel families once it has refused,
// clipped and taken the parameter short-cuts.
#pragma once

#include <cstdint>

#include "graphics/memimg/blend_tables.h"
#include "graphics/memimg/memimg.h"
#include "softrender/blit_walk.h"
#include "softrender/draw_state.h"

namespace tessel::soft {

// What every pixel of a draw shares, after the refusals and the parameter
// short-cuts; the blit and the stretch hand it to their kernels.
struct DrawRule {
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

struct BlitSetup : DrawRule {
    BlitCall call;
};

// The refusals of a pair of images (and a mask): invalid records, colour
// types that cannot meet or have no kernels, a paletted destination or one
// with alpha, a paletted source without a palette, a mask smaller than the
// source. False draws nothing.
bool ImagesMeet(const MEMIMG* dest, const MEMIMG* src, const MEMIMG* mask);

// Clips r to the draw area and to the destination view; false when nothing
// is left.
bool ClipToDrawArea(const SoftDrawState& state, const MEMIMG* dest, RECT* r);

// The first byte of pixel (x, y) of a view, `bytes` bytes a pixel, rows its
// base's pitch apart.
inline uint8_t* PixelAt(const MEMIMG* image, int x, int y, int bytes) {
    return image->pixels + int64_t{y} * image->base->pitch + int64_t{x} * bytes;
}

// Bytes a destination pixel takes.
inline int DestBytes(const MEMIMG* dest) {
    return dest->base->colorType == kMemImgRgb32 ? 4 : 2;
}

// The draw's rule from the draw settings, the source and trans, after the
// parameter short-cuts; false when the mode has no kernel or the short-cuts
// draw nothing.
bool RuleOf(const SoftDrawState& state, const MEMIMG* src, int trans, DrawRule* rule);

// How a direct source's alpha takes part: not at all; as a factor of every
// pixel (transparent flag off); or deciding per pixel (flag on): 0 skips,
// 255 drops the factor, anything else is a factor.
enum class AlphaUse { kNone, kAlways, kKeyed };

// Calls fn.template operator()<Mode>() for a mode with a kernel; other modes
// call nothing.
template <class Fn>
void WithMode(uint32_t mode, Fn&& fn) {
    switch (mode) {
        case kBlendCopy:
            return fn.template operator()<kBlendCopy>();
        case kBlendAlpha:
            return fn.template operator()<kBlendAlpha>();
        case kBlendAdd:
            return fn.template operator()<kBlendAdd>();
        case kBlendSubtract:
            return fn.template operator()<kBlendSubtract>();
        case kBlendMultiply:
            return fn.template operator()<kBlendMultiply>();
        case kBlendInvert:
            return fn.template operator()<kBlendInvert>();
        case kBlendMultiplyAlpha:
            return fn.template operator()<kBlendMultiplyAlpha>();
        default:
            return;
    }
}

// Calls fn.template operator()<Mode, Mask, Alpha>() for the call's mode, mask
// and use of alpha: one instantiation per combination, chosen once per call.
// Modes without a kernel call nothing.
template <class Fn>
void WithRule(uint32_t mode, bool mask, AlphaUse alpha, Fn&& fn) {
    auto withAlpha = [&]<uint32_t M, bool K>() {
        switch (alpha) {
            case AlphaUse::kNone:
                return fn.template operator()<M, K, AlphaUse::kNone>();
            case AlphaUse::kAlways:
                return fn.template operator()<M, K, AlphaUse::kAlways>();
            case AlphaUse::kKeyed:
                return fn.template operator()<M, K, AlphaUse::kKeyed>();
        }
    };
    auto withMask = [&]<uint32_t M>() {
        return mask ? withAlpha.template operator()<M, true>()
                    : withAlpha.template operator()<M, false>();
    };
    WithMode(mode, withMask);
}

void Blit32(const BlitSetup& setup);
void Blit565(const BlitSetup& setup);

// The run-table path draws correctly only when the source view is its whole
// base image, drawn unclipped with trans exactly 1 and a valid table.
bool TakesRunTablePath(const MEMIMG* src, int clippedWidth, int clippedHeight, int trans);

}  // namespace tessel::soft
