// The rotated blit's spans on 32-bit targets, direct and paletted sources.
// The variant is chosen once per call: the white, unmasked copy of a source
// without alpha stores whole texels; everything else is the rule engine for
// mode, mask and the use of alpha, behind the transparent test the source
// kind needs. Every variant runs the same walk.
#include "softrender/rotate_internal.h"
#include "softrender/texel32.h"

namespace tessel::soft {

namespace {

template <AlphaUse A, class Fetch, class Skip>
void ByRule32(const RotateDraw& r, const Consts32& k, Fetch fetch, Skip skip) {
    WithMode(r.mode, [&]<uint32_t Mode>() {
        if (r.maskRows != nullptr) {
            WalkTexels<4, true>(r, fetch, skip, [&k](uint8_t* dp, const Texel& t, uint32_t f) {
                PutTexel32<Mode, true, A>(dp, t, f, k);
            });
        } else {
            WalkTexels<4, false>(r, fetch, skip, [&k](uint8_t* dp, const Texel& t, uint32_t f) {
                PutTexel32<Mode, false, A>(dp, t, f, k);
            });
        }
    });
}

// Every texel through rule(d, texel); a skipped texel stores the pixel as it
// was. Storing unconditionally keeps the sprite's edges free of branches.
template <class Fetch, class Skip, class Rule>
void Select32(const RotateDraw& r, Fetch fetch, Skip skip, Rule rule) {
    WalkRotation<Fetch::kStep, 4, false>(r, [&](uint8_t* dp, const uint8_t* sp, uint32_t) {
        const Texel t = fetch(sp);
        const uint32_t d = Load32(dp);
        const uint32_t drawn = rule(d, t);
        Store32(dp, skip(t) ? d : drawn);
    });
}

// The white, unmasked variants, the rule engine's results in fewer steps:
// the copy stores the whole texel, top byte included; a single factor w
// (p in mode 1, the alpha in mode 0) is the three-channel floor blend, which
// leaves the pixel as it is at w = 0. False when none applies.
template <class Fetch, class Skip>
bool WhiteVariant32(const RotateDraw& r, Fetch fetch, Skip skip, AlphaUse alpha) {
    if (alpha == AlphaUse::kNone && r.mode == kBlendCopy) {
        Select32(r, fetch, skip, [](uint32_t, const Texel& t) { return t.colour; });
        return true;
    }
    if (alpha == AlphaUse::kNone && r.mode == kBlendAlpha) {
        const uint32_t p = r.p;
        Select32(r, fetch, skip,
                 [p](uint32_t d, const Texel& t) { return MixChannels32(d, t.colour, p); });
        return true;
    }
    if (alpha == AlphaUse::kKeyed && r.mode == kBlendCopy) {
        Select32(r, fetch, skip, [](uint32_t d, const Texel& t) {
            const uint32_t mixed = MixChannels32(d, t.colour, t.alpha);
            return t.alpha == 255 ? t.colour : mixed;
        });
        return true;
    }
    if (alpha == AlphaUse::kAlways && r.mode == kBlendCopy) {
        Select32(r, fetch, skip,
                 [](uint32_t d, const Texel& t) { return MixChannels32(d, t.colour, t.alpha); });
        return true;
    }
    return false;
}

template <class Fetch, class Skip>
void Choose32(const RotateDraw& r, const Consts32& k, Fetch fetch, Skip skip, AlphaUse alpha) {
    const bool whiteUnmasked = k.white && r.maskRows == nullptr;
    if (whiteUnmasked && g_rotateWhiteVariants != 0 && WhiteVariant32(r, fetch, skip, alpha)) {
        return;
    }
    switch (alpha) {
        case AlphaUse::kKeyed:
            return ByRule32<AlphaUse::kKeyed>(r, k, fetch, skip);
        case AlphaUse::kAlways:
            return ByRule32<AlphaUse::kAlways>(r, k, fetch, skip);
        case AlphaUse::kNone:
            break;
    }
    // The white, unmasked copy stores the whole texel, top byte included.
    if (r.mode == kBlendCopy && whiteUnmasked) {
        return WalkTexels<4, false>(
            r, fetch, skip, [](uint8_t* dp, const Texel& t, uint32_t) { Store32(dp, t.colour); });
    }
    ByRule32<AlphaUse::kNone>(r, k, fetch, skip);
}

}  // namespace

void RotateSpans32(const RotateDraw& r) {
    const Consts32 k = MakeConsts32(*r.tables, r.p, r.brightness);
    if (r.palette != nullptr) {
        const FetchPalette<4> fetch{r.palette};
        // A transparent value above 255 matches no index.
        if (r.trans && r.key <= 255) {
            return Choose32(r, k, fetch, Key{r.key}, AlphaUse::kNone);
        }
        return Choose32(r, k, fetch, NoKey{}, AlphaUse::kNone);
    }
    if (r.alphaSource) {
        // The alpha decides; the transparent value is not consulted.
        return Choose32(r, k, Fetch32{}, NoKey{}, r.trans ? AlphaUse::kKeyed : AlphaUse::kAlways);
    }
    if (r.trans) {
        return Choose32(r, k, Fetch32{}, Key{r.key}, AlphaUse::kNone);
    }
    Choose32(r, k, Fetch32{}, NoKey{}, AlphaUse::kNone);
}

}  // namespace tessel::soft
