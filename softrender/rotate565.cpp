// The rotated blit's spans on RGB565 targets, direct (2-byte, or 4-byte with
// alpha) and paletted sources. The variant is chosen once per call: the
// white, unmasked copy of a source without alpha stores whole texels;
// everything else is the rule engine for mode, mask and the use of alpha
// (mode 11's finer green where its white, unmasked rule has alpha), behind
// the transparent test the source kind needs. Every variant runs the same
// walk. The white, unmasked copy and mode 1 of a 2-byte source draw each
// row's run inside the source eight pixels at a time.
#include <emmintrin.h>

#include <type_traits>

#include "softrender/kernel_width.h"
#include "softrender/rotate_internal.h"
#include "softrender/texel565_internal.h"

namespace tessel::soft {

namespace {

// Eight 2-byte texels gathered along the run, paired in registers: eight
// stores read back as one vector would stall on the store buffer.
[[gnu::always_inline]] inline __m128i Gather8(uint32_t& u, uint32_t& v, uint32_t ux, uint32_t vx,
                                              const uint8_t* const* rows) {
    auto pair = [&]() {
        const uint32_t a = Load16(rows[v >> kFixBits] + ptrdiff_t{2} * (u >> kFixBits));
        u += ux;
        v += vx;
        const uint32_t b = Load16(rows[v >> kFixBits] + ptrdiff_t{2} * (u >> kFixBits));
        u += ux;
        v += vx;
        return _mm_cvtsi32_si128(static_cast<int>(a | (b << 16)));
    };
    const __m128i p0 = pair();
    const __m128i p1 = pair();
    const __m128i p2 = pair();
    const __m128i p3 = pair();
    return _mm_unpacklo_epi64(_mm_unpacklo_epi32(p0, p1), _mm_unpacklo_epi32(p2, p3));
}

// Mode 1's white rule on eight pixels: each field d + trunc((s - d) x p / 255).
// |s - d| x p stays below 2^14, where (x + 1 + (x >> 8)) >> 8 is x / 255.
struct MixAlpha8 {
    __m128i p;
    __m128i Field(__m128i d, __m128i s, int shift, int mask) const {
        const __m128i m = _mm_set1_epi16(static_cast<short>(mask));
        const __m128i df = _mm_and_si128(_mm_srli_epi16(d, shift), m);
        const __m128i sf = _mm_and_si128(_mm_srli_epi16(s, shift), m);
        const __m128i x = _mm_mullo_epi16(_mm_sub_epi16(sf, df), p);
        const __m128i sign = _mm_srai_epi16(x, 15);
        const __m128i a = _mm_sub_epi16(_mm_xor_si128(x, sign), sign);
        const __m128i q = _mm_srli_epi16(
            _mm_add_epi16(_mm_add_epi16(a, _mm_set1_epi16(1)), _mm_srli_epi16(a, 8)), 8);
        return _mm_slli_epi16(_mm_add_epi16(df, _mm_sub_epi16(_mm_xor_si128(q, sign), sign)),
                              shift);
    }
    __m128i operator()(__m128i d, __m128i s) const {
        return _mm_or_si128(_mm_or_si128(Field(d, s, 0, 0x1F), Field(d, s, 5, 0x3F)),
                            Field(d, s, 11, 0x1F));
    }
};

// Eight pixels at a time of a 2-byte source: rule(destination, texels), then
// the keyed texels keep the destination. Only for distinct stores: the eight
// texels are read before any pixel is written.
template <bool Keyed, class Rule>
struct Blocks565 {
    Rule rule;
    uint32_t key;
    int32_t operator()(uint8_t* d, uint32_t u, uint32_t v, uint32_t ux, uint32_t vx,
                       const uint8_t* const* rows, int32_t n) const {
        const __m128i keys = _mm_set1_epi16(static_cast<short>(key));
        int32_t i = 0;
        for (; i + 8 <= n; i += 8, d += 16) {
            const __m128i s = Gather8(u, v, ux, vx, rows);
            const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
            __m128i out = rule(dv, s);
            if constexpr (Keyed) {
                const __m128i skip = _mm_cmpeq_epi16(s, keys);
                out = _mm_or_si128(_mm_and_si128(skip, dv), _mm_andnot_si128(skip, out));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), out);
        }
        return i;
    }
};

// The white, unmasked copy and mode 1 of a 2-byte source without alpha,
// eight pixels at a time, the run's tail and the tested rows pixel by pixel.
// False when none applies.
template <class Fetch, class Skip>
bool Vector565(const RotateDraw& r, const Consts565& k, Fetch fetch, Skip skip, AlphaUse alpha) {
    constexpr bool kTwoByte = std::is_same_v<Fetch, Fetch565<2>>;
    constexpr bool kKeyed = std::is_same_v<Skip, Key>;
    if constexpr (!kTwoByte) {
        return false;
    }
    if (alpha != AlphaUse::kNone || !k.white || r.maskRows != nullptr || r.sharesStore ||
        CurrentKernelWidth() == KernelWidth::kPortable) {
        return false;
    }
    const auto walk = [&](auto blocks, auto texel) {
        WalkRotation<2, 2, false>(
            r,
            [&](uint8_t* dp, const uint8_t* sp, uint32_t) {
                const Texel t = fetch(sp);
                if (!skip(t)) {
                    texel(dp, t);
                }
            },
            blocks);
    };
    uint32_t key = 0;
    if constexpr (kKeyed) {
        key = skip.value;
    }
    if (r.mode == kBlendCopy) {
        const auto copy = [](__m128i, __m128i s) { return s; };
        walk(Blocks565<kKeyed, decltype(copy)>{copy, key},
             [](uint8_t* dp, const Texel& t) { Store16(dp, t.colour); });
        return true;
    }
    if (r.mode == kBlendAlpha) {
        const MixAlpha8 mix{_mm_set1_epi16(static_cast<short>(r.p))};
        walk(Blocks565<kKeyed, MixAlpha8>{mix, key}, [&k](uint8_t* dp, const Texel& t) {
            PutTexel565<kBlendAlpha, false, AlphaUse::kNone, false>(dp, t, 0, k);
        });
        return true;
    }
    return false;
}

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
    if (Vector565(r, k, fetch, skip, alpha)) {
        return;
    }
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
