// The rotated blit's spans on RGB565 targets, direct (2-byte, or 4-byte with
// alpha) and paletted sources. The variant is chosen once per call: the
// white, unmasked copy of a source without alpha stores whole texels;
// everything else is the rule engine for mode, mask and the use of alpha
// (mode 11's finer green where its white, unmasked rule has alpha), behind
// the transparent test the source kind needs. Every variant runs the same
// walk.
#include "softrender/rotate_internal.h"
#include "softrender/texel565.h"

namespace tessel::soft {

namespace {

template <uint32_t Mode, bool Mask, AlphaUse A, bool FineGreen, class Fetch, class Skip>
void Rule565(const RotateDraw& r, const Consts565& k, Fetch fetch, Skip skip) {
    WalkTexels<2, Mask>(r, fetch, skip, [&k](uint8_t* dp, const Texel& t, uint32_t f) {
        PutTexel565<Mode, Mask, A, FineGreen>(dp, t, f, k);
    });
}

template <class Fetch, class Skip>
void ByRule565(const RotateDraw& r, const Consts565& k, Fetch fetch, Skip skip, AlphaUse alpha) {
    WithRule(r.mode, r.maskRows != nullptr, alpha, [&]<uint32_t Mode, bool Mask, AlphaUse A>() {
        if constexpr (Mode == kBlendMultiplyAlpha && !Mask && A != AlphaUse::kNone) {
            if (k.white) {
                return Rule565<Mode, Mask, A, true>(r, k, fetch, skip);
            }
        }
        Rule565<Mode, Mask, A, false>(r, k, fetch, skip);
    });
}

template <class Fetch, class Skip>
void Choose565(const RotateDraw& r, const Consts565& k, Fetch fetch, Skip skip, AlphaUse alpha) {
    if (alpha == AlphaUse::kNone && r.mode == kBlendCopy && k.white && r.maskRows == nullptr) {
        return WalkTexels<2, false>(
            r, fetch, skip, [](uint8_t* dp, const Texel& t, uint32_t) { Store16(dp, t.colour); });
    }
    ByRule565(r, k, fetch, skip, alpha);
}

// A key above 0xFFFF matches no 16-bit pixel.
template <class Fetch>
void Keyed565(const RotateDraw& r, const Consts565& k, Fetch fetch) {
    if (r.trans && r.key <= 0xFFFF) {
        return Choose565(r, k, fetch, Key{r.key}, AlphaUse::kNone);
    }
    Choose565(r, k, fetch, NoKey{}, AlphaUse::kNone);
}

}  // namespace

void RotateSpans565(const RotateDraw& r) {
    const Consts565 k = MakeConsts565(*r.tables, r.p, r.brightness);
    if (r.palette != nullptr) {
        return Keyed565(r, k, FetchPalette<2>{r.palette});
    }
    if (r.alphaSource) {
        // The alpha decides; the transparent value is not consulted.
        return Choose565(r, k, Fetch565<4>{}, NoKey{},
                         r.trans ? AlphaUse::kKeyed : AlphaUse::kAlways);
    }
    if (r.srcBytes == 4) {
        return Keyed565(r, k, Fetch565<4>{});
    }
    Keyed565(r, k, Fetch565<2>{});
}

}  // namespace tessel::soft
