// The blit's fast paths for 32-bit direct sources without alpha, no mask and
// white brightness: row copies, keyed copies, the alpha blend of mode 1 (and
// its halving at 128) and the add of mode 2 at 255. Four pixels go through
// SSE2 at a time; a keyed draw selects the destination wherever the source
// equals the key, which is the per-pixel skip done four at a time. Row tails
// take the scalar rules of rules32.h.
#include "softrender/blit_fast.h"

#include <emmintrin.h>

#include <cstring>

#include "softrender/rules32.h"

namespace tessel::soft {

int g_blitUseFastPaths = 1;

namespace {

inline __m128i Load4(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store4(uint8_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

template <bool Keyed, class Vector, class Scalar>
void FastRows(const BlitCall& c, uint32_t key, Vector vector, Scalar scalar) {
    const __m128i vkey = _mm_set1_epi32(static_cast<int>(key));
    const uint8_t* src = c.src;
    uint8_t* dst = c.dst;
    for (int y = 0; y < c.height; ++y) {
        int x = 0;
        for (; x + 4 <= c.width; x += 4, src += 16, dst += 16) {
            const __m128i s = Load4(src);
            const __m128i d = Load4(dst);
            __m128i r = vector(d, s);
            if constexpr (Keyed) {
                const __m128i keep = _mm_cmpeq_epi32(s, vkey);
                r = _mm_or_si128(_mm_and_si128(keep, d), _mm_andnot_si128(keep, r));
            }
            Store4(dst, r);
        }
        for (; x < c.width; ++x, src += 4, dst += 4) {
            const uint32_t s = Load32(src);
            if (!Keyed || s != key) {
                Store32(dst, scalar(Load32(dst), s));
            }
        }
        src += c.srcSkip;
        dst += c.dstSkip;
    }
}

template <class Vector, class Scalar>
void Run(const BlitSetup& s, Vector vector, Scalar scalar) {
    if (s.trans) {
        FastRows<true>(s.call, s.key, vector, scalar);
    } else {
        FastRows<false>(s.call, s.key, vector, scalar);
    }
}

// d + floor((s - d) x p / 256) = (d x (256 - p) + s x p) >> 8 per channel,
// exact in 16-bit lanes (the sum stays below 2^16); the top byte is d's.
struct AlphaBlend4 {
    __m128i p, q;
    __m128i operator()(__m128i d, __m128i s) const {
        const __m128i zero = _mm_setzero_si128();
        auto half = [&](__m128i dh, __m128i sh) {
            return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(dh, q), _mm_mullo_epi16(sh, p)), 8);
        };
        const __m128i lo = half(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi8(s, zero));
        const __m128i hi = half(_mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi8(s, zero));
        const __m128i top = _mm_set1_epi32(static_cast<int>(0xFF000000u));
        return _mm_or_si128(_mm_andnot_si128(top, _mm_packus_epi16(lo, hi)), _mm_and_si128(top, d));
    }
};

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

// Mode 0 from an alpha source with the transparent flag on: each pixel moves
// toward the source by its own alpha, (d x (256 - a) + s x a) >> 8, which
// leaves alpha-0 pixels as they were; alpha-255 pixels take the whole source
// pixel.
__m128i AlphaSprite4(__m128i d, __m128i s) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i a32 = _mm_srli_epi32(s, 24);
    const __m128i a16 = _mm_or_si128(a32, _mm_slli_epi32(a32, 16));
    const __m128i full = _mm_set1_epi16(256);
    auto half = [&](__m128i dh, __m128i sh, __m128i ah) {
        return _mm_srli_epi16(
            _mm_add_epi16(_mm_mullo_epi16(dh, _mm_sub_epi16(full, ah)), _mm_mullo_epi16(sh, ah)),
            8);
    };
    const __m128i lo =
        half(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi32(a16, a16));
    const __m128i hi =
        half(_mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi32(a16, a16));
    const __m128i top = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i blended =
        _mm_or_si128(_mm_andnot_si128(top, _mm_packus_epi16(lo, hi)), _mm_and_si128(top, d));
    const __m128i opaque = _mm_cmpeq_epi32(a32, _mm_set1_epi32(255));
    return _mm_or_si128(_mm_and_si128(opaque, s), _mm_andnot_si128(opaque, blended));
}

void CopyRows(const BlitCall& c) {
    const uint8_t* src = c.src;
    uint8_t* dst = c.dst;
    const size_t row = size_t(c.width) * 4;
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
        CopyRows(s.call);  // the alpha is not applied
        return true;
    }
    const int32_t* identity = s.tables->scale[255];
    const Consts32 white{s.p, identity, {identity, identity, identity}, true};
    FastRows<false>(s.call, 0, AlphaSprite4, [white](uint32_t d, uint32_t v) {
        const uint32_t a = v >> 24;
        return a == 255 ? v : Blend32<kBlendCopy, false, true>(d, v, a, 0, white);
    });
    return true;
}

}  // namespace

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
                CopyRows(s.call);
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
