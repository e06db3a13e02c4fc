// The blit's run-table kernels for 32-bit and RGB565 images, direct and
// paletted sources. The table walk hands each opaque and alpha run to an
// operation; a skip run only moves the pointers. The rules are the rule
// engines' own, without the general kernels' special parameter values: the
// kind of a run, not the pixel, says whether the alpha takes part. The white
// unmasked copy writes whole source pixels (whole palette entries), a run at
// a time for direct sources.
#include <emmintrin.h>

#include <cstring>

#include "softrender/mix4.h"
#include "softrender/rules32.h"
#include "softrender/rules565.h"
#include "softrender/run_table_internal.h"

namespace tessel::soft {

namespace {

// Rows of runs until the call's rows are done; pointers move only by whole
// runs and by the row skips at each row end.
template <int DstBytes, int SrcBytes, bool UseMask, class Opaque, class Partial>
void WalkRuns(const BlitCall& c, const uint8_t* table, Opaque opaque, Partial partial) {
    const uint8_t* s = c.src;
    uint8_t* d = c.dst;
    const uint8_t* m = c.mask;
    for (int rows = c.height; rows > 0;) {
        const uint32_t run = *table++;
        const uint32_t kind = run >> 6;
        if (kind == 3) {
            s += c.srcSkip;
            d += c.dstSkip;
            if constexpr (UseMask) {
                m += c.maskSkip;
            }
            --rows;
            continue;
        }
        const int n = static_cast<int>(run & 0x3F) + 1;
        if (kind == 1) {
            opaque(d, s, m, n);
        } else if (kind == 2) {
            partial(d, s, m, n);
        }
        s += n * SrcBytes;
        d += n * DstBytes;
        if constexpr (UseMask) {
            m += n;
        }
    }
}

// A run operation that applies rule(d, texel, mask factor) to each pixel.
template <int DstBytes, bool UseMask, class Fetch, class Rule>
auto EachPixel(const BlitCall& c, Fetch fetch, Rule rule) {
    const uint8_t* factor = c.maskFactor;
    return [factor, fetch, rule](uint8_t* d, const uint8_t* s, const uint8_t* m, int n) {
        for (int i = 0; i < n; ++i, d += DstBytes, s += Fetch::kStep) {
            const uint32_t f = UseMask ? uint32_t{factor[m[i]]} : 0u;
            if constexpr (DstBytes == 4) {
                Store32(d, rule(Load32(d), fetch(s), f));
            } else {
                Store16(d, rule(Load16(d), fetch(s), f));
            }
        }
    };
}

// A run's bytes (an even count up to 256): short runs copied inline, where a
// library call would cost more than the copy.
template <int Bytes>
inline void CopyRun(uint8_t* d, const uint8_t* s, size_t n) {
    if (Bytes == 4 && n > 128) {  // long enough for the library's wide copy to pay
        std::memcpy(d, s, n);
        return;
    }
    for (; n >= 16; n -= 16, d += 16, s += 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(s)));
    }
    if (n >= 8) {
        std::memcpy(d, s, 8);
        d += 8, s += 8, n -= 8;
    }
    if (n >= 4) {
        std::memcpy(d, s, 4);
        d += 4, s += 4, n -= 4;
    }
    if (n >= 2) {
        std::memcpy(d, s, 2);
    }
}

// Opaque runs of the white unmasked copy: the source's own pixels.
template <int DstBytes, class Fetch>
auto WholeRuns(Fetch fetch) {
    return [fetch](uint8_t* d, const uint8_t* s, const uint8_t*, int n) {
        if constexpr (Fetch::kStep == DstBytes) {  // a direct source of the destination's size
            CopyRun<DstBytes>(d, s, static_cast<size_t>(n) * DstBytes);
        } else {
            for (int i = 0; i < n; ++i, d += DstBytes, s += Fetch::kStep) {
                if constexpr (DstBytes == 4) {
                    Store32(d, fetch(s).colour);
                } else {
                    Store16(d, fetch(s).colour);
                }
            }
        }
    };
}

// Alpha runs count only for sources with alpha (A is kKeyed then); any other
// source draws them as opaque runs.
template <int DstBytes, bool Mask, AlphaUse A, class Fetch, class Opaque, class Partial>
void Walk(const BlitCall& c, const uint8_t* table, Opaque opaque, Partial partial) {
    if constexpr (A == AlphaUse::kKeyed) {
        WalkRuns<DstBytes, Fetch::kStep, Mask>(c, table, opaque, partial);
    } else {
        WalkRuns<DstBytes, Fetch::kStep, Mask>(c, table, opaque, opaque);
    }
}

// White and unmasked, modes 0 and 1 mix three channels at once: mode 0
// copies opaque runs whole and moves alpha runs toward the source by their
// alpha, mode 1 moves opaque runs by p. The rule engine's bits.
template <uint32_t Mode, AlphaUse A, class Fetch>
void WhiteRuns32(const BlitSetup& s, const Consts32& k, const uint8_t* table, Fetch fetch) {
    if constexpr (Mode == kBlendCopy) {
        const auto byAlpha = EachPixel<4, false>(s.call, fetch, [](uint32_t d, Texel t, uint32_t) {
            return MixChannels32(d, t.colour, t.alpha);
        });
        Walk<4, false, A, Fetch>(s.call, table, WholeRuns<4>(fetch), byAlpha);
    } else {
        const uint32_t p = k.p;
        const AlphaBlend4 blend4{_mm_set1_epi16(static_cast<short>(p)),
                                 _mm_set1_epi16(static_cast<short>(256 - p))};
        const auto byP = [fetch, p, blend4](uint8_t* d, const uint8_t* s, const uint8_t*, int n) {
            if constexpr (Fetch::kStep == 4) {  // direct sources four pixels at a time
                for (; n >= 4; n -= 4, d += 16, s += 16) {
                    const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
                    const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), blend4(dv, sv));
                }
            }
            for (; n > 0; --n, d += 4, s += Fetch::kStep) {
                Store32(d, MixChannels32(Load32(d), fetch(s).colour, p));
            }
        };
        const auto partial =
            EachPixel<4, false>(s.call, fetch, [&k](uint32_t d, Texel t, uint32_t) {
                return Blend32<Mode, false, true>(d, t.colour, t.alpha, 0, k);
            });
        Walk<4, false, A, Fetch>(s.call, table, byP, partial);
    }
}

template <uint32_t Mode, bool Mask, AlphaUse A, class Fetch>
void Runs32(const BlitSetup& s, const Consts32& k, const uint8_t* table, Fetch fetch) {
    const auto partial = EachPixel<4, Mask>(s.call, fetch, [&k](uint32_t d, Texel t, uint32_t f) {
        return Blend32<Mode, Mask, true>(d, t.colour, t.alpha, f, k);
    });
    if constexpr ((Mode == kBlendCopy || Mode == kBlendAlpha) && !Mask) {
        if (k.white) {
            return WhiteRuns32<Mode, A>(s, k, table, fetch);
        }
    }
    const auto opaque = EachPixel<4, Mask>(s.call, fetch, [&k](uint32_t d, Texel t, uint32_t f) {
        return Blend32<Mode, Mask, false>(d, t.colour, 0, f, k);
    });
    Walk<4, Mask, A, Fetch>(s.call, table, opaque, partial);
}

// Mode 11's white, unmasked rule with alpha keeps a finer green.
template <uint32_t Mode, bool Mask, AlphaUse A, bool FineGreen, class Fetch>
void Runs565(const BlitSetup& s, const Consts565& k, const uint8_t* table, Fetch fetch) {
    const auto partial = EachPixel<2, Mask>(s.call, fetch, [&k](uint32_t d, Texel t, uint32_t f) {
        return Blend565<Mode, Mask, true, FineGreen>(d, t.colour, t.alpha, f, k);
    });
    if constexpr (Mode == kBlendCopy && !Mask) {
        if (k.white) {
            return Walk<2, Mask, A, Fetch>(s.call, table, WholeRuns<2>(fetch), partial);
        }
    }
    const auto opaque = EachPixel<2, Mask>(s.call, fetch, [&k](uint32_t d, Texel t, uint32_t f) {
        return Blend565<Mode, Mask, false>(d, t.colour, 0, f, k);
    });
    Walk<2, Mask, A, Fetch>(s.call, table, opaque, partial);
}

}  // namespace

void RunTableBlit32(const BlitSetup& s, const uint8_t* table) {
    const Consts32 k = MakeConsts32(*s.tables, s.p, s.brightness);
    auto draw = [&](auto fetch, AlphaUse alpha) {
        WithRule(s.mode, s.call.mask != nullptr, alpha,
                 [&]<uint32_t Mode, bool Mask, AlphaUse A>() {
                     if constexpr (A != AlphaUse::kAlways) {
                         Runs32<Mode, Mask, A>(s, k, table, fetch);
                     }
                 });
    };
    if (s.palette != nullptr) {
        return draw(FetchPalette<4>{s.palette}, AlphaUse::kNone);
    }
    draw(Fetch32{}, s.alphaSource ? AlphaUse::kKeyed : AlphaUse::kNone);
}

void RunTableBlit565(const BlitSetup& s, const uint8_t* table) {
    const Consts565 k = MakeConsts565(*s.tables, s.p, s.brightness);
    auto draw = [&](auto fetch, AlphaUse alpha) {
        WithRule(s.mode, s.call.mask != nullptr, alpha,
                 [&]<uint32_t Mode, bool Mask, AlphaUse A>() {
                     if constexpr (A == AlphaUse::kKeyed && Mode == kBlendMultiplyAlpha && !Mask) {
                         if (k.white) {
                             return Runs565<Mode, Mask, A, true>(s, k, table, fetch);
                         }
                     }
                     if constexpr (A != AlphaUse::kAlways) {
                         Runs565<Mode, Mask, A, false>(s, k, table, fetch);
                     }
                 });
    };
    if (s.palette != nullptr) {
        return draw(FetchPalette<2>{s.palette}, AlphaUse::kNone);
    }
    if (s.alphaSource) {
        return draw(Fetch565<4>{}, AlphaUse::kKeyed);
    }
    if (s.srcBytes == 4) {
        return draw(Fetch565<4>{}, AlphaUse::kNone);
    }
    draw(Fetch565<2>{}, AlphaUse::kNone);
}

}  // namespace tessel::soft
