// Textured triangles onto 32-bit targets, from 32-bit direct sources and from
// paletted sources with 4-byte entries. The variant is chosen once per call:
// the white, unmasked copy and alpha blend where they apply, else the rule
// engine for mode, mask and the use of alpha, with the fetch and transparent
// test the source kind needs. Every variant runs the same walk.
#include "softrender/texel32_internal.h"
#include "softrender/triangle_internal.h"

namespace tessel::soft {

namespace {

template <AlphaUse A, class Fetch, class Skip>
void ByRule32(const TriDraw& t, const Consts32& k, Fetch fetch, Skip skip) {
    WithMode(t.mode, [&]<uint32_t Mode>() {
        if (t.source.mask != nullptr) {
            RunTextured<4, true>(t, fetch, skip, [&k](uint8_t* dp, const Texel& texel, uint32_t f) {
                PutTexel32<Mode, true, A>(dp, texel, f, k);
            });
        } else {
            RunTextured<4, false>(t, fetch, skip,
                                  [&k](uint8_t* dp, const Texel& texel, uint32_t f) {
                                      PutTexel32<Mode, false, A>(dp, texel, f, k);
                                  });
        }
    });
}

// A white, unmasked copy from a source without alpha stores the whole texel
// (or palette entry), its top byte included.
template <class Fetch, class Skip>
void WholeCopy32(const TriDraw& t, Fetch fetch, Skip skip) {
    RunTextured<4, false>(t, fetch, skip, [](uint8_t* dp, const Texel& texel, uint32_t) {
        Store32(dp, texel.colour);
    });
}

// Mode 1, white, with p the only factor: (d x (256 - p) + s x p) >> 8 per
// channel, red and blue sharing one product (no lane passes 2^16); the top
// byte stays. The rule engine's result, in fewer steps.
template <class Fetch, class Skip>
void AlphaBlendWhite32(const TriDraw& t, Fetch fetch, Skip skip) {
    const uint32_t p = t.p, q = 256 - t.p;
    RunTextured<4, false>(t, fetch, skip, [p, q](uint8_t* dp, const Texel& texel, uint32_t) {
        const uint32_t d = Load32(dp), s = texel.colour;
        const uint32_t redBlue = (((d & 0xFF00FFu) * q + (s & 0xFF00FFu) * p) >> 8) & 0xFF00FFu;
        const uint32_t green = (((d & 0xFF00u) * q + (s & 0xFF00u) * p) >> 8) & 0xFF00u;
        Store32(dp, (d & 0xFF000000u) | redBlue | green);
    });
}

// A source without alpha: the white, unmasked variants where they apply,
// else the rule engine.
template <class Fetch, class Skip>
void WithoutAlpha32(const TriDraw& t, const Consts32& k, Fetch fetch, Skip skip) {
    if (k.white && t.source.mask == nullptr) {
        if (t.mode == kBlendCopy) {
            return WholeCopy32(t, fetch, skip);
        }
        if (t.mode == kBlendAlpha) {
            return AlphaBlendWhite32(t, fetch, skip);
        }
    }
    ByRule32<AlphaUse::kNone>(t, k, fetch, skip);
}

}  // namespace

void TexturedTriangle32(const TriDraw& t) {
    const Consts32 k = MakeConsts32(*t.tables, t.p, t.brightness);
    if (t.palette != nullptr) {
        // The index is compared; a transparent value above 255 matches none.
        const FetchPalette<4> fetch{t.palette};
        if (t.trans && t.key <= 255) {
            return WithoutAlpha32(t, k, fetch, Key{t.key});
        }
        return WithoutAlpha32(t, k, fetch, NoKey{});
    }
    if (t.alphaSource) {
        // The alpha decides; the transparent value is not consulted.
        if (t.trans) {
            return ByRule32<AlphaUse::kKeyed>(t, k, Fetch32{}, NoKey{});
        }
        return ByRule32<AlphaUse::kAlways>(t, k, Fetch32{}, NoKey{});
    }
    if (t.trans) {
        return WithoutAlpha32(t, k, Fetch32{}, Key{t.key});
    }
    WithoutAlpha32(t, k, Fetch32{}, NoKey{});
}

}  // namespace tessel::soft
