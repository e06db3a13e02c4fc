// The blit's fast paths for direct sources, no mask and white brightness:
// row copies, keyed copies, the alpha blend of mode 1 (its halving at 128,
// and on RGB565 the 6-bit mix) and on 32-bit the add of mode 2 at 255 and the
// copy mode of sources with alpha. Sixteen bytes of pixels go through SSE2 at
// a time; a keyed draw selects the destination wherever the source equals the
// key, which is the per-pixel skip done for the whole vector. Row tails take
// the scalar rules of rules32.h and rules565.h.
#include "softrender/blit_fast_internal.h"

#include <emmintrin.h>

#include <cstring>

#include "softrender/mix4.h"
#include "softrender/rules32.h"
#include "softrender/rules565.h"

namespace tessel::soft {

int g_blitUseFastPaths = 1;

namespace {

inline __m128i Load4(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store4(uint8_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// Rows of Bytes-byte pixels (4 or 2), 16 bytes of them a step.
template <int Bytes, bool Keyed, class Vector, class Scalar>
void FastRows(const BlitCall& c, uint32_t key, Vector vector, Scalar scalar) {
    constexpr int kPerStep = 16 / Bytes;
    const __m128i vkey = Bytes == 4 ? _mm_set1_epi32(static_cast<int>(key))
                                    : _mm_set1_epi16(static_cast<short>(key));
    const uint8_t* src = c.src;
    uint8_t* dst = c.dst;
    for (int y = 0; y < c.height; ++y) {
        int x = 0;
        for (; x + kPerStep <= c.width; x += kPerStep, src += 16, dst += 16) {
            const __m128i s = Load4(src);
            const __m128i d = Load4(dst);
            __m128i r = vector(d, s);
            if constexpr (Keyed) {
                const __m128i keep =
                    Bytes == 4 ? _mm_cmpeq_epi32(s, vkey) : _mm_cmpeq_epi16(s, vkey);
                r = _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, r));
            }
            Store4(dst, r);
        }
        for (; x < c.width; ++x, src += Bytes, dst += Bytes) {
            const uint32_t s = Bytes == 4 ? Load32(src) : Load16(src);
            if (Keyed && s == key) {
                continue;
            }
            if constexpr (Bytes == 4) {
                Store32(dst, scalar(Load32(dst), s));
            } else {
                Store16(dst, scalar(Load16(dst), s));
            }
        }
        src += c.srcSkip;
        dst += c.dstSkip;
    }
}

// A key that no stored pixel can equal (an RGB565 key above 0xFFFF) draws
// as no key at all.
template <int Bytes = 4, class Vector, class Scalar>
void Run(const BlitSetup& s, Vector vector, Scalar scalar) {
    const bool keyed = s.trans && (Bytes == 4 || s.key <= 0xFFFF);
    if (keyed) {
        FastRows<Bytes, true>(s.call, s.key, vector, scalar);
    } else {
        FastRows<Bytes, false>(s.call, s.key, vector, scalar);
    }
}

__m128i Halve4(__m128i d, __m128i s) {
    const __m128i low7 = _mm_set1_epi32(0x7F7F7F);
    return _mm_add_epi32(_mm_and_si128(_mm_srli_epi32(d, 1), low7),
                         _mm_and_si128(_mm_srli_epi32(s, 1), low7));
}

// PackedAddDropLow32 on four pixels.
__m128i AddWhole4(__m128i d, __m128i s) {
    const __m128i operand = _mm_set1_epi32(0x00FEFEFF);
    const __m128i sum = _mm_add_epi32(_mm_and_si128(d, operand), _mm_and_si128(s, operand));
    const __m128i carries = _mm_and_si128(sum, _mm_set1_epi32(0x01010100));
    return _mm_or_si128(_mm_sub_epi32(carries, _mm_srli_epi32(carries, 8)), sum);
}

void CopyRows(const BlitCall& c, int bytes) {
    const uint8_t* src = c.src;
    uint8_t* dst = c.dst;
    const size_t row = size_t(c.width) * bytes;
    for (int y = 0; y < c.height; ++y) {
        std::memmove(dst, src, row);
        src += row + c.srcSkip;
        dst += row + c.dstSkip;
    }
}

bool AlphaSourcePath(const BlitSetup& s) {
    if (s.mode != kBlendCopy) {
        return false;
    }
    if (!s.trans) {
        CopyRows(s.call, 4);  // the alpha is not applied
        return true;
    }
    const int32_t* identity = s.tables->scale[255];
    const Consts32 white{s.p, identity, {identity, identity, identity}, true};
    // A lambda, not the function's address, so that the vector step is inlined.
    FastRows<4, false>(
        s.call, 0, [](__m128i d, __m128i v) { return AlphaSprite4(d, v); },
        [white](uint32_t d, uint32_t v) {
            const uint32_t a = v >> 24;
            return a == 255 ? v : Blend32<kBlendCopy, false, true>(d, v, a, 0, white);
        });
    return true;
}

// RGB565, eight pixels a step: (s >> 1) + (d >> 1) per field.
__m128i Halve8(__m128i d, __m128i s) {
    const __m128i low = _mm_set1_epi16(0x7BEF);
    return _mm_add_epi16(_mm_and_si128(_mm_srli_epi16(s, 1), low),
                         _mm_and_si128(_mm_srli_epi16(d, 1), low));
}

// RGB565, eight pixels a step: floor((s x q + d x (63 - q)) / 63) per field,
// the division by 63 as a multiply by 2081 keeping bits 17 and up, exact for
// every sum up to 63 x 63.
struct Mix8 {
    __m128i q, rest;
    __m128i Field(__m128i sx, __m128i dx) const {
        const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(sx, q), _mm_mullo_epi16(dx, rest));
        return _mm_srli_epi16(_mm_mulhi_epu16(sum, _mm_set1_epi16(2081)), 1);
    }
    __m128i operator()(__m128i d, __m128i s) const {
        const __m128i five = _mm_set1_epi16(31);
        const __m128i six = _mm_set1_epi16(63);
        const __m128i blue = Field(_mm_and_si128(s, five), _mm_and_si128(d, five));
        const __m128i green = Field(_mm_and_si128(_mm_srli_epi16(s, 5), six),
                                    _mm_and_si128(_mm_srli_epi16(d, 5), six));
        const __m128i red = Field(_mm_srli_epi16(s, 11), _mm_srli_epi16(d, 11));
        return _mm_or_si128(_mm_or_si128(blue, _mm_slli_epi16(green, 5)), _mm_slli_epi16(red, 11));
    }
};

}  // namespace

bool FastPath565(const BlitSetup& s) {
    if (g_blitUseFastPaths == 0 || s.alphaSource || s.srcBytes != 2) {
        return false;
    }
    if (s.mode == kBlendCopy) {
        if (!s.trans) {
            CopyRows(s.call, 2);
            return true;
        }
        Run<2>(
            s, [](__m128i, __m128i v) { return v; }, CopyWhole565);
        return true;
    }
    if (s.mode != kBlendAlpha) {
        return false;
    }
    if (s.p == 128) {
        Run<2>(s, Halve8, Halve565);
        return true;
    }
    const uint32_t q = s.p >> 2;
    const uint8_t(*mix)[64] = MixBlock(*s.tables, s.p);
    Run<2>(s,
           Mix8{_mm_set1_epi16(static_cast<short>(q)), _mm_set1_epi16(static_cast<short>(63 - q))},
           [mix](uint32_t d, uint32_t v) { return MixWhite565(d, v, mix); });
    return true;
}

bool FastPath32(const BlitSetup& s) {
    if (g_blitUseFastPaths == 0) {
        return false;
    }
    if (s.alphaSource) {
        return AlphaSourcePath(s);
    }
    switch (s.mode) {
        case kBlendCopy:
            if (!s.trans) {
                CopyRows(s.call, 4);
                return true;
            }
            Run(
                s, [](__m128i, __m128i v) { return v; }, CopyWhole32);
            return true;
        case kBlendAlpha:
            if (s.p == 128) {
                Run(s, Halve4, Halve32);
                return true;
            }
            {
                const int32_t* identity = s.tables->scale[255];
                const Consts32 white{
                    s.p, s.tables->scale[s.p], {identity, identity, identity}, true};
                const AlphaBlend4 blend{_mm_set1_epi16(static_cast<short>(s.p)),
                                        _mm_set1_epi16(static_cast<short>(256 - s.p))};
                Run(s, blend, [white](uint32_t d, uint32_t v) {
                    return Blend32<kBlendAlpha, false, false>(d, v, 0, 0, white);
                });
            }
            return true;
        case kBlendAdd:
            if (s.p == 255) {
                Run(s, AddWhole4, AddWhole32);
                return true;
            }
            return false;
        default:
            return false;
    }
}

}  // namespace tessel::soft
