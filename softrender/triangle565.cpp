// Textured triangles onto RGB565 targets, from RGB565 direct sources (two
// bytes a texel, or four with alpha) and from paletted sources with RGB565
// entries. The variant is chosen once per call: the white, unmasked copy and
// alpha blend where they apply, else the rule engine for mode, mask and the use of alpha
// (mode 11's finer green where white and unmasked alpha ask for it), with the
// fetch and transparent test the source kind needs. The blit's white-only
// variants of mode 1 (halving, 6-bit mix) and its pair loops are not the
// triangle's rules and are not used here.
#include "softrender/texel565_internal.h"
#include "softrender/triangle_internal.h"

namespace tessel::soft {

namespace {

template <AlphaUse A, class Fetch, class Skip>
void ByRule565(const TriDraw& t, const Consts565& k, Fetch fetch, Skip skip) {
    WithMode(t.mode, [&]<uint32_t Mode>() {
        auto run = [&]<bool Mask, bool FineGreen>() {
            RunTextured<2, Mask>(t, fetch, skip, [&k](uint8_t* dp, const Texel& texel, uint32_t f) {
                PutTexel565<Mode, Mask, A, FineGreen>(dp, texel, f, k);
            });
        };
        if (t.source.mask != nullptr) {
            return run.template operator()<true, false>();
        }
        if constexpr (Mode == kBlendMultiplyAlpha && A != AlphaUse::kNone) {
            if (k.white) {
                return run.template operator()<false, true>();
            }
        }
        run.template operator()<false, false>();
    });
}

// Mode 1, white, unmasked: each field moves toward the texel's by the
// parameter's difference row. The rule engine's result without its
// brightness look-ups.
inline uint32_t AlphaMixWhite565(uint32_t d, uint32_t s, const int32_t* delta) {
    uint32_t out = 0;
    for (int i = 0; i < 3; ++i) {
        const int32_t dx = static_cast<int32_t>(Field565(d, i));
        const int32_t sx = static_cast<int32_t>(Field565(s, i));
        out |= static_cast<uint32_t>(dx + delta[sx - dx]) << kFieldShift[i];
    }
    return out;
}

// A source without alpha: a white, unmasked copy stores the texel (or
// palette entry) as it is, and a white, unmasked mode 1 skips the brightness
// rows; everything else goes through the rule engine.
template <class Fetch, class Skip>
void WithoutAlpha565(const TriDraw& t, const Consts565& k, Fetch fetch, Skip skip) {
    if (k.white && t.source.mask == nullptr && t.mode == kBlendCopy) {
        return RunTextured<2, false>(t, fetch, skip, [](uint8_t* dp, const Texel& texel, uint32_t) {
            Store16(dp, texel.colour);
        });
    }
    if (k.white && t.source.mask == nullptr && t.mode == kBlendAlpha) {
        const int32_t* delta = k.delta;
        return RunTextured<2, false>(
            t, fetch, skip, [delta](uint8_t* dp, const Texel& texel, uint32_t) {
                Store16(dp, AlphaMixWhite565(Load16(dp), texel.colour, delta));
            });
    }
    ByRule565<AlphaUse::kNone>(t, k, fetch, skip);
}

}  // namespace

void TexturedTriangle565(const TriDraw& t) {
    const Consts565 k = MakeConsts565(*t.tables, t.p, t.brightness);
    if (t.palette != nullptr) {
        // The index is compared; a transparent value above 255 matches none.
        const FetchPalette<2> fetch{t.palette};
        if (t.trans && t.key <= 255) {
            return WithoutAlpha565(t, k, fetch, Key{t.key});
        }
        return WithoutAlpha565(t, k, fetch, NoKey{});
    }
    if (t.alphaSource) {
        // Four bytes a texel; the alpha decides and the transparent value is
        // not consulted.
        if (t.trans) {
            return ByRule565<AlphaUse::kKeyed>(t, k, Fetch565<4>{}, NoKey{});
        }
        return ByRule565<AlphaUse::kAlways>(t, k, Fetch565<4>{}, NoKey{});
    }
    // The key compares the colour widened with zeros: above 0xFFFF none matches.
    if (t.trans) {
        return WithoutAlpha565(t, k, Fetch565<2>{}, Key{t.key});
    }
    WithoutAlpha565(t, k, Fetch565<2>{}, NoKey{});
}

}  // namespace tessel::soft
