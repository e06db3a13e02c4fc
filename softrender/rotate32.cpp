// The rotated blit's spans on 32-bit targets, direct and paletted sources.
// The variant is chosen once per call: the white, unmasked copy of a source
// without alpha stores whole texels, that of a 32-bit alpha source blends
// four texels at a time; everything else is the rule engine for
// mode, mask and the use of alpha, behind the transparent test the source
// kind needs. Every variant runs the same walk.
#include <type_traits>

#include "softrender/mix4.h"
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
template <class Fetch, class Skip, class Rule, class BlockFn = NoBlocks>
void Select32(const RotateDraw& r, Fetch fetch, Skip skip, Rule rule, BlockFn blocks = NoBlocks{}) {
    WalkRotation<Fetch::kStep, 4, false>(
        r,
        [&](uint8_t* dp, const uint8_t* sp, uint32_t) {
            const Texel t = fetch(sp);
            const uint32_t d = Load32(dp);
            const uint32_t drawn = rule(d, t);
            Store32(dp, skip(t) ? d : drawn);
        },
        blocks);
}

// The keyed copy of a 32-bit alpha source four pixels at a time: four texels
// gathered along the run, then the per-pixel alpha blend in SSE2, which
// gives the rule's bits (alpha 0 keeps the pixel, 255 stores the texel).
// Only for distinct stores: the four texels are read before any pixel is
// written.
struct AlphaSpriteBlocks {
    int32_t operator()(uint8_t* d, uint32_t u, uint32_t v, uint32_t ux, uint32_t vx,
                       const uint8_t* const* rows, int32_t n) const {
        int32_t i = 0;
        // Each texel goes straight into a register: four stores read back as
        // one vector would stall on the store buffer.
        auto next = [&]() {
            const uint32_t texel = Load32(rows[v >> kFixBits] + ptrdiff_t{4} * (u >> kFixBits));
            u += ux;
            v += vx;
            return _mm_cvtsi32_si128(static_cast<int>(texel));
        };
        for (; i + 4 <= n; i += 4, d += 16) {
            const __m128i t0 = next();
            const __m128i t1 = next();
            const __m128i t2 = next();
            const __m128i t3 = next();
            const __m128i s =
                _mm_unpacklo_epi64(_mm_unpacklo_epi32(t0, t1), _mm_unpacklo_epi32(t2, t3));
            const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), AlphaSprite4(dv, s));
        }
        return i;
    }
};

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
        const auto rule = [](uint32_t d, const Texel& t) {
            const uint32_t mixed = MixChannels32(d, t.colour, t.alpha);
            return t.alpha == 255 ? t.colour : mixed;
        };
        constexpr bool kDirect = std::is_same_v<Fetch, Fetch32> && std::is_same_v<Skip, NoKey>;
        if (kDirect && g_rotateVectorSpans != 0 && !r.sharesStore) {
            Select32(r, fetch, skip, rule, AlphaSpriteBlocks{});
        } else {
            Select32(r, fetch, skip, rule);
        }
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
