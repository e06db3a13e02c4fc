// The rotated blit's spans on 32-bit targets, direct and paletted sources.
// The variant is chosen once per call: the white, unmasked copy of a source
// without alpha stores whole texels; everything else is the rule engine for
// mode, mask and the use of alpha, behind the transparent test the source
// kind needs. Every variant runs the same walk.
#include "softrender/rotate_internal.h"
#include "softrender/texel32.h"

namespace tessel::soft {

namespace {

template <bool Mask, class Fetch, class Skip, class Put>
void Run32(const RotateDraw& r, Fetch fetch, Skip skip, Put put) {
    WalkRotation<Fetch::kStep, 4, Mask>(r, [&](uint8_t* dp, const uint8_t* sp, uint32_t f) {
        const Texel texel = fetch(sp);
        if (!skip(texel)) {
            put(dp, texel, f);
        }
    });
}

template <AlphaUse A, class Fetch, class Skip>
void ByRule32(const RotateDraw& r, const Consts32& k, Fetch fetch, Skip skip) {
    WithMode(r.mode, [&]<uint32_t Mode>() {
        if (r.maskRows != nullptr) {
            Run32<true>(r, fetch, skip, [&k](uint8_t* dp, const Texel& t, uint32_t f) {
                PutTexel32<Mode, true, A>(dp, t, f, k);
            });
        } else {
            Run32<false>(r, fetch, skip, [&k](uint8_t* dp, const Texel& t, uint32_t f) {
                PutTexel32<Mode, false, A>(dp, t, f, k);
            });
        }
    });
}

template <class Fetch, class Skip>
void Choose32(const RotateDraw& r, const Consts32& k, Fetch fetch, Skip skip, AlphaUse alpha) {
    switch (alpha) {
        case AlphaUse::kKeyed:
            return ByRule32<AlphaUse::kKeyed>(r, k, fetch, skip);
        case AlphaUse::kAlways:
            return ByRule32<AlphaUse::kAlways>(r, k, fetch, skip);
        case AlphaUse::kNone:
            break;
    }
    // The white, unmasked copy stores the whole texel, top byte included.
    if (r.mode == kBlendCopy && k.white && r.maskRows == nullptr) {
        return Run32<false>(r, fetch, skip,
                            [](uint8_t* dp, const Texel& t, uint32_t) { Store32(dp, t.colour); });
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
