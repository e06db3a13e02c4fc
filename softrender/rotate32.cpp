// The rotated blit's spans on 32-bit targets, direct and paletted sources.
// The variant is chosen once per call: the white, unmasked copy of a source
// without alpha stores whole texels, that of a 32-bit alpha source blends
// four texels at a time in SSE2 or eight in AVX2 (as wide as the kernels may
// go), as do its keyed modes 0 and 2 without mask under any brightness (the
// game's tinted and glowing sprites); everything else is
// the rule engine for mode, mask and the use of alpha, behind the transparent
// test the source kind needs. Every variant runs the same walk.
#include <atomic>
#include <climits>
#include <cstdint>
#include <type_traits>

#include "softrender/kernel_width.h"
#include "softrender/mix4.h"
#include "softrender/mix8.h"
#include "softrender/rotate_internal.h"
#include "softrender/texel32_internal.h"

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

// A run's pixels four at a time: four texels gathered along the run, then
// rule(destination, texels) on the four pixels in SSE2. Only for distinct
// stores: the four texels are read before any pixel is written.
template <class Rule>
struct FourTexelBlocks {
    Rule rule;
    int32_t operator()(uint8_t* d, uint32_t u, uint32_t v, uint32_t ux, uint32_t vx,
                       const uint8_t* const* rows, int32_t n) const {
        const __m128i top = _mm_set1_epi32(static_cast<int>(0xFF000000u));
        const __m128i zero = _mm_setzero_si128();
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
            // Both rules keep the pixel under an alpha-0 texel, so a block wholly
            // clear (a round sprite's corners) is left untouched.
            if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(s, top), zero)) == 0xFFFF) {
                continue;
            }
            const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), rule(dv, s));
        }
        return i;
    }
};

// The rotation's walk eight pixels a step in AVX2, for the rules that draw
// eight pixels at once: rule(destination, texels) on eight pixels, their
// texels gathered by byte offset from the source's first pixel (row x pitch
// + 4 x column, from the 14.18 positions). Each row's run inside the source
// is found as WalkRotation finds it and drawn step by step, its last pixels
// (under eight) a step of their own through a lane mask; a row whose
// positions leave their line, or every row when the narrowing is off, is
// stepped whole with each lane tested against the source, which is the plain
// walk's test. Steps whose texels are all clear are left untouched (the rules
// keep the pixel under alpha 0). Only for distinct stores, and for sources
// whose offsets fit 31 bits (EightFit).
template <class Rule>
class EightTexelWalk {
  public:
    EightTexelWalk(const RotateDraw& r, Rule rule) : r_(r), rule_(rule) {}

    TESSEL_AVX2 void Run() const {
        const RotateWalk w = r_.walk;
        const Rule rule = rule_;
        const Steps k = MakeSteps(w);
        const bool narrow = g_rotateNarrowRows != 0;
        const int* const base = reinterpret_cast<const int*>(r_.sourcePixels);
        const __m256i pitches = _mm256_set1_epi32(r_.sourcePitch);
        const double inverseU = Inverse(w.ux), inverseV = Inverse(w.vx);
        uint8_t* row = r_.dest;
        uint32_t rowU = w.ua, rowV = w.va;
        for (int32_t j = 0; j < w.rows; ++j, row += r_.destPitch, rowU += w.uy, rowV += w.vy) {
            int32_t first = 0, last = w.columns;
            if (narrow &&
                NarrowToSource(rowU, w.ux, inverseU, w.uLimit, w.columns, &first, &last) &&
                NarrowToSource(rowV, w.vx, inverseV, w.vLimit, w.columns, &first, &last)) {
                if (first < last) {
                    const uint32_t u = rowU + static_cast<uint32_t>(first) * w.ux;
                    const uint32_t v = rowV + static_cast<uint32_t>(first) * w.vx;
                    DrawRun<false>(rule, k, base, pitches, row + ptrdiff_t{4} * first, u, v,
                                   last - first);
                }
                continue;
            }
            DrawRun<true>(rule, k, base, pitches, row, rowU, rowV, w.columns);
        }
    }

  private:
    struct Steps {
        __m256i uFirst, vFirst;  // lane i's offset from the step's first position
        __m256i uStep, vStep;    // eight pixels on
        __m256i uLimit, vLimit;  // the limits with the sign bit flipped
    };

    static double Inverse(uint32_t step) {
        return step == 0 ? 0.0 : 1.0 / static_cast<double>(static_cast<int32_t>(step));
    }

    TESSEL_AVX2 static Steps MakeSteps(const RotateWalk& w) {
        const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
        const __m256i sign = _mm256_set1_epi32(INT32_MIN);
        auto broadcast = [](uint32_t x) { return static_cast<int>(x); };
        Steps k;
        k.uFirst = _mm256_mullo_epi32(lanes, _mm256_set1_epi32(broadcast(w.ux)));
        k.vFirst = _mm256_mullo_epi32(lanes, _mm256_set1_epi32(broadcast(w.vx)));
        k.uStep = _mm256_set1_epi32(broadcast(w.ux * 8));
        k.vStep = _mm256_set1_epi32(broadcast(w.vx * 8));
        k.uLimit = _mm256_xor_si256(_mm256_set1_epi32(broadcast(w.uLimit)), sign);
        k.vLimit = _mm256_xor_si256(_mm256_set1_epi32(broadcast(w.vLimit)), sign);
        return k;
    }

    TESSEL_AVX2 static __m256i Offsets(__m256i us, __m256i vs, __m256i pitches) {
        return _mm256_add_epi32(_mm256_mullo_epi32(_mm256_srli_epi32(vs, kFixBits), pitches),
                                _mm256_slli_epi32(_mm256_srli_epi32(us, kFixBits), 2));
    }

    // The lanes whose positions lie inside the source, read unsigned.
    TESSEL_AVX2 static __m256i Inside(const Steps& k, __m256i us, __m256i vs) {
        const __m256i sign = _mm256_set1_epi32(INT32_MIN);
        return _mm256_and_si256(_mm256_cmpgt_epi32(k.uLimit, _mm256_xor_si256(us, sign)),
                                _mm256_cmpgt_epi32(k.vLimit, _mm256_xor_si256(vs, sign)));
    }

    // n pixels from d, the first showing (u, v). Tested: each lane drawn
    // only where its position lies inside the source.
    template <bool Tested>
    TESSEL_AVX2 static void DrawRun(const Rule& rule, const Steps& k, const int* base,
                                    __m256i pitches, uint8_t* d, uint32_t u, uint32_t v,
                                    int32_t n) {
        __m256i us = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(u)), k.uFirst);
        __m256i vs = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(v)), k.vFirst);
        const __m256i top = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
        int32_t i = 0;
        for (; i + 8 <= n; i += 8, d += 32) {
            __m256i s;
            if constexpr (Tested) {
                s = _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), base,
                                                Offsets(us, vs, pitches), Inside(k, us, vs), 1);
            } else {
                s = _mm256_i32gather_epi32(base, Offsets(us, vs, pitches), 1);
            }
            us = _mm256_add_epi32(us, k.uStep);
            vs = _mm256_add_epi32(vs, k.vStep);
            if (_mm256_testz_si256(s, top)) {
                continue;
            }
            __m256i* at = reinterpret_cast<__m256i*>(d);
            _mm256_storeu_si256(at, rule(_mm256_loadu_si256(at), s));
        }
        if (i == n) {
            return;
        }
        // Lanes past the run read and write nothing; their texels are clear.
        const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
        __m256i live = _mm256_cmpgt_epi32(_mm256_set1_epi32(n - i), lanes);
        if constexpr (Tested) {
            live = _mm256_and_si256(live, Inside(k, us, vs));
        }
        const __m256i s = _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), base,
                                                      Offsets(us, vs, pitches), live, 1);
        if (!_mm256_testz_si256(s, top)) {
            int* at = reinterpret_cast<int*>(d);
            _mm256_maskstore_epi32(at, live, rule(_mm256_maskload_epi32(at, live), s));
        }
    }

    const RotateDraw& r_;
    Rule rule_;
};

// The keyed copy of a 32-bit alpha source: the per-pixel alpha blend, which
// gives the rule's bits (alpha 0 keeps the pixel, 255 stores the texel).
struct AlphaSpriteRule {
    __m128i operator()(__m128i d, __m128i s) const { return AlphaSprite4(d, s); }
};

struct AlphaSpriteRule8 {
    TESSEL_AVX2 __m256i operator()(__m256i d, __m256i s) const { return AlphaSprite8(d, s); }
};

// Whether the eight-pixel blocks draw: the processor runs them, nothing asked
// for less, and every texel's byte offset from the source's first pixel fits
// the gathers' signed 32-bit lanes.
bool EightFit(const RotateDraw& r) {
    if (CurrentKernelWidth() != KernelWidth::kAvx2 || r.sourcePitch < 0) {
        return false;
    }
    const int64_t lastRow = int64_t{r.walk.vLimit >> kFixBits} - 1;
    const int64_t lastColumn = int64_t{r.walk.uLimit >> kFixBits} - 1;
    return lastRow * r.sourcePitch + 4 * lastColumn <= INT32_MAX;
}

template <class Rule>
void WalkEight(const RotateDraw& r, Rule rule) {
    EightTexelWalk<Rule>(r, rule).Run();
}

// floor(x / 255) on 16-bit lanes, exact for every x below 2^16: (x x 0x8081) >> 23.
inline __m128i DivideBy255(__m128i x) {
    return _mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16(static_cast<short>(0x8081))), 7);
}

// Is every scale row the formula floor(i x r / 255)? Asked once the tables are filled; the
// lane rules below compute the rows instead of reading them.
bool ScaleTableIsExact(const BlendTables& t) {
    static std::atomic<bool> exact{false};  // a table once found filled stays as it is
    if (&t != &g_blendTables) {
        return false;
    }
    if (!exact.load()) {
        bool all = true;
        for (uint32_t r = 0; r < 256 && all; ++r) {
            for (uint32_t i = 0; i < 256 && all; ++i) {
                all = t.scale[r][i] == static_cast<int32_t>(i * r / 255);
            }
        }
        exact.store(all);
    }
    return exact.load();
}

// The rule engine's keyed alpha-source rules for modes 0 and 2 without mask, four pixels at a
// time in SSE2, any brightness and parameter. With c = floor(s x b / 255) the brightened
// source channel and a the texel's alpha: alpha 0 keeps the pixel; mode 2 adds
// floor(c x p / 255) at alpha 255 and (c x a x p) >> 16 below it (PackedAdd32, the top byte
// its own); mode 0 stores c at alpha 255 and d + floor((c - d) x a / 256) below it, the top
// byte d's.
//
// In mode 2, White (every brightness 255) makes c the source channel, and Full (p = 255) makes
// the alpha-255 term c: both skip a division the general lanes would make to the same result.
// c's alpha lanes then hold the texel's alpha instead of 0, which the add leaves out.
template <uint32_t Mode, bool White = false, bool Full = false>
struct KeyedAlphaRule {
    uint32_t p;
    uint32_t bright[3];  // blue, green, red

    __m128i Channels(__m128i d, __m128i s) const {
        const __m128i zero = _mm_setzero_si128();
        const __m128i factors =
            _mm_setr_epi16(static_cast<short>(bright[0]), static_cast<short>(bright[1]),
                           static_cast<short>(bright[2]), 0, static_cast<short>(bright[0]),
                           static_cast<short>(bright[1]), static_cast<short>(bright[2]), 0);
        const __m128i pv = _mm_set1_epi16(static_cast<short>(p));
        const __m128i full = _mm_set1_epi16(255);
        auto half = [&](__m128i sh, __m128i dh) {
            const __m128i c = White ? sh : DivideBy255(_mm_mullo_epi16(sh, factors));
            const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(sh, 0xFF), 0xFF);
            const __m128i opaque = _mm_cmpeq_epi16(a, full);
            __m128i whole, part;
            if constexpr (Mode == kBlendAdd) {
                whole = Full ? c : DivideBy255(_mm_mullo_epi16(c, pv));
                part = _mm_mulhi_epu16(_mm_mullo_epi16(c, a), pv);
            } else {
                // d x 256 + (c - d) x a lies in [0, 2^16): exact in wrapping 16-bit lanes.
                whole = c;
                part = _mm_srli_epi16(
                    _mm_add_epi16(_mm_slli_epi16(dh, 8), _mm_mullo_epi16(_mm_sub_epi16(c, dh), a)),
                    8);
            }
            return _mm_or_si128(_mm_and_si128(opaque, whole), _mm_andnot_si128(opaque, part));
        };
        const __m128i lo = half(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
        const __m128i hi = half(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero));
        return _mm_packus_epi16(lo, hi);
    }

    __m128i operator()(__m128i d, __m128i s) const {
        const __m128i v = Channels(d, s);
        const __m128i top = _mm_set1_epi32(static_cast<int>(0xFF000000u));
        __m128i out;
        if constexpr (Mode == kBlendAdd) {
            // PackedAdd32 on each lane; v's top byte is 0 (its factor is).
            const __m128i operand = _mm_set1_epi32(0x00FEFEFF);
            const __m128i sum = _mm_add_epi32(_mm_and_si128(d, operand), _mm_and_si128(v, operand));
            const __m128i carries = _mm_and_si128(sum, _mm_set1_epi32(0x01010100));
            const __m128i saturate = _mm_sub_epi32(carries, _mm_srli_epi32(carries, 8));
            out = _mm_or_si128(_mm_or_si128(saturate, _mm_and_si128(_mm_or_si128(d, v),
                                                                    _mm_set1_epi32(0x00010100))),
                               sum);
        } else {
            out = _mm_or_si128(_mm_andnot_si128(top, v), _mm_and_si128(top, d));
        }
        const __m128i clear = _mm_cmpeq_epi32(_mm_and_si128(s, top), _mm_setzero_si128());
        return _mm_or_si128(_mm_and_si128(clear, d), _mm_andnot_si128(clear, out));
    }
};

// KeyedAlphaRule eight pixels at a time in AVX2, lane for lane the same steps.
template <uint32_t Mode, bool White = false, bool Full = false>
struct KeyedAlphaRule8 {
    uint32_t p;
    uint32_t bright[3];  // blue, green, red

    TESSEL_AVX2 __m256i Half(__m256i sh, __m256i dh) const {
        const short b = static_cast<short>(bright[0]), g = static_cast<short>(bright[1]),
                    r = static_cast<short>(bright[2]);
        const __m256i factors = _mm256_setr_epi16(b, g, r, 0, b, g, r, 0, b, g, r, 0, b, g, r, 0);
        const __m256i pv = _mm256_set1_epi16(static_cast<short>(p));
        const __m256i c = White ? sh : DivideBy255x8(_mm256_mullo_epi16(sh, factors));
        const __m256i a = SpreadAlpha16(sh);
        const __m256i opaque = _mm256_cmpeq_epi16(a, _mm256_set1_epi16(255));
        __m256i whole, part;
        if constexpr (Mode == kBlendAdd) {
            whole = Full ? c : DivideBy255x8(_mm256_mullo_epi16(c, pv));
            part = _mm256_mulhi_epu16(_mm256_mullo_epi16(c, a), pv);
        } else {
            whole = c;
            part =
                _mm256_srli_epi16(_mm256_add_epi16(_mm256_slli_epi16(dh, 8),
                                                   _mm256_mullo_epi16(_mm256_sub_epi16(c, dh), a)),
                                  8);
        }
        return _mm256_blendv_epi8(part, whole, opaque);
    }

    TESSEL_AVX2 __m256i operator()(__m256i d, __m256i s) const {
        const __m256i zero = _mm256_setzero_si256();
        const __m256i v =
            _mm256_packus_epi16(Half(_mm256_unpacklo_epi8(s, zero), _mm256_unpacklo_epi8(d, zero)),
                                Half(_mm256_unpackhi_epi8(s, zero), _mm256_unpackhi_epi8(d, zero)));
        const __m256i top = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
        __m256i out;
        if constexpr (Mode == kBlendAdd) {
            // PackedAdd32 on each lane; v's top byte is 0 (its factor is).
            const __m256i operand = _mm256_set1_epi32(0x00FEFEFF);
            const __m256i sum =
                _mm256_add_epi32(_mm256_and_si256(d, operand), _mm256_and_si256(v, operand));
            const __m256i carries = _mm256_and_si256(sum, _mm256_set1_epi32(0x01010100));
            const __m256i saturate = _mm256_sub_epi32(carries, _mm256_srli_epi32(carries, 8));
            const __m256i low =
                _mm256_and_si256(_mm256_or_si256(d, v), _mm256_set1_epi32(0x00010100));
            out = _mm256_or_si256(_mm256_or_si256(saturate, low), sum);
        } else {
            out = _mm256_or_si256(_mm256_andnot_si256(top, v), _mm256_and_si256(top, d));
        }
        const __m256i clear = _mm256_cmpeq_epi32(_mm256_and_si256(s, top), zero);
        return _mm256_blendv_epi8(out, d, clear);
    }
};

// Modes 0 and 2 of a keyed 32-bit alpha source without mask four pixels at a time, the
// run's tail and the tested rows by the rule engine. False when they do not apply.
template <class Fetch, class Skip>
bool KeyedAlphaSpans(const RotateDraw& r, const Consts32& k, Fetch fetch, Skip skip,
                     AlphaUse alpha) {
    constexpr bool kDirect = std::is_same_v<Fetch, Fetch32> && std::is_same_v<Skip, NoKey>;
    if (!kDirect || alpha != AlphaUse::kKeyed || r.maskRows != nullptr || r.sharesStore ||
        CurrentKernelWidth() == KernelWidth::kPortable || !ScaleTableIsExact(*r.tables)) {
        return false;
    }
    const auto spans = [&]<uint32_t Mode, bool White, bool Full>() {
        const uint32_t p = r.p;
        const uint32_t b = static_cast<uint32_t>(k.bright[0][255]);
        const uint32_t g = static_cast<uint32_t>(k.bright[1][255]);
        const uint32_t red = static_cast<uint32_t>(k.bright[2][255]);
        const auto texel = [&](uint8_t* dp, const uint8_t* sp, uint32_t) {
            PutTexel32<Mode, false, AlphaUse::kKeyed>(dp, fetch(sp), 0, k);
        };
        if (EightFit(r)) {
            const KeyedAlphaRule8<Mode, White, Full> rule{p, {b, g, red}};
            WalkEight(r, rule);
        } else {
            const KeyedAlphaRule<Mode, White, Full> rule{p, {b, g, red}};
            WalkRotation<Fetch::kStep, 4, false>(r, texel, FourTexelBlocks<decltype(rule)>{rule});
        }
    };
    // The game's glows and cores: mode 2 at p = 255, tinted or white.
    const bool full = r.p == 255;
    if (r.mode == kBlendAdd) {
        if (full && k.white) {
            spans.template operator()<kBlendAdd, true, true>();
        } else if (full) {
            spans.template operator()<kBlendAdd, false, true>();
        } else {
            spans.template operator()<kBlendAdd, false, false>();
        }
        return true;
    }
    // Under white brightness an opaque texel is stored whole, top byte
    // included, which the white variants' alpha sprite rule draws and this
    // one does not.
    if (r.mode == kBlendCopy && !k.white) {
        spans.template operator()<kBlendCopy, false, false>();
        return true;
    }
    return false;
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
        const auto rule = [](uint32_t d, const Texel& t) {
            const uint32_t mixed = MixChannels32(d, t.colour, t.alpha);
            return t.alpha == 255 ? t.colour : mixed;
        };
        constexpr bool kDirect = std::is_same_v<Fetch, Fetch32> && std::is_same_v<Skip, NoKey>;
        const bool vector = CurrentKernelWidth() != KernelWidth::kPortable && !r.sharesStore;
        if (kDirect && vector && EightFit(r)) {
            WalkEight(r, AlphaSpriteRule8{});
        } else if (kDirect && vector) {
            Select32(r, fetch, skip, rule, FourTexelBlocks<AlphaSpriteRule>{});
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
    if (KeyedAlphaSpans(r, k, fetch, skip, alpha)) {
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
