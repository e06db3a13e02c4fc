// Textured triangles from 32-bit direct sources onto 32-bit targets. The
// variant is chosen once per call: the white, unmasked copy and alpha blend
// where they apply, else the rule engine for mode, mask and the use of alpha, with the
// transparent test the source kind needs. Every variant runs the same walk.
#include "softrender/texel32.h"
#include "softrender/triangle_internal.h"

namespace tessel::soft {

namespace {

template <bool Mask, class Skip, class Put>
void Run32(const TriDraw& t, Skip skip, Put put) {
    const Fetch32 fetch;
    WalkTriangle(t.geometry, t.area, [&](int32_t y, int32_t x, int32_t count) {
        TexturedSpan<4, 4, Mask>(t.geometry.plane, t.source, DestPixel(t, x, y, 4), x, y, count,
                                 [&](uint8_t* dp, const uint8_t* sp, uint32_t f) {
                                     const Texel texel = fetch(sp);
                                     if (!skip(texel)) {
                                         put(dp, texel, f);
                                     }
                                 });
    });
}

template <AlphaUse A, class Skip>
void ByRule32(const TriDraw& t, const Consts32& k, Skip skip) {
    WithMode(t.mode, [&]<uint32_t Mode>() {
        if (t.source.mask != nullptr) {
            Run32<true>(t, skip, [&k](uint8_t* dp, const Texel& texel, uint32_t f) {
                PutTexel32<Mode, true, A>(dp, texel, f, k);
            });
        } else {
            Run32<false>(t, skip, [&k](uint8_t* dp, const Texel& texel, uint32_t f) {
                PutTexel32<Mode, false, A>(dp, texel, f, k);
            });
        }
    });
}

// A white, unmasked copy from a source without alpha stores the whole texel,
// its top byte included.
template <class Skip>
void WholeCopy32(const TriDraw& t, Skip skip) {
    Run32<false>(t, skip,
                 [](uint8_t* dp, const Texel& texel, uint32_t) { Store32(dp, texel.colour); });
}

// Mode 1, white, with p the only factor: (d x (256 - p) + s x p) >> 8 per
// channel, red and blue sharing one product (no lane passes 2^16); the top
// byte stays. The rule engine's result, in fewer steps.
template <class Skip>
void AlphaBlendWhite32(const TriDraw& t, Skip skip) {
    const uint32_t p = t.p, q = 256 - t.p;
    Run32<false>(t, skip, [p, q](uint8_t* dp, const Texel& texel, uint32_t) {
        const uint32_t d = Load32(dp), s = texel.colour;
        const uint32_t redBlue = (((d & 0xFF00FFu) * q + (s & 0xFF00FFu) * p) >> 8) & 0xFF00FFu;
        const uint32_t green = (((d & 0xFF00u) * q + (s & 0xFF00u) * p) >> 8) & 0xFF00u;
        Store32(dp, (d & 0xFF000000u) | redBlue | green);
    });
}

// The white, unmasked variants for a source without alpha, or false.
template <class Skip>
bool WhiteVariant32(const TriDraw& t, Skip skip) {
    if (t.mode == kBlendCopy) {
        WholeCopy32(t, skip);
        return true;
    }
    if (t.mode == kBlendAlpha) {
        AlphaBlendWhite32(t, skip);
        return true;
    }
    return false;
}

}  // namespace

void TexturedTriangle32(const TriDraw& t) {
    const Consts32 k = MakeConsts32(*t.tables, t.p, t.brightness);
    if (t.alphaSource) {
        // The alpha decides; the transparent value is not consulted.
        if (t.trans) {
            return ByRule32<AlphaUse::kKeyed>(t, k, NoKey{});
        }
        return ByRule32<AlphaUse::kAlways>(t, k, NoKey{});
    }
    const bool white = k.white && t.source.mask == nullptr;
    if (t.trans) {
        const Key key{t.key};
        if (!white || !WhiteVariant32(t, key)) {
            ByRule32<AlphaUse::kNone>(t, k, key);
        }
        return;
    }
    if (!white || !WhiteVariant32(t, NoKey{})) {
        ByRule32<AlphaUse::kNone>(t, k, NoKey{});
    }
}

}  // namespace tessel::soft
