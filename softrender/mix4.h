// Four 32-bit pixels moved toward four others in SSE2, by one weight (the
// white alpha blend of the blit's fast paths and of its run-table walk) or by
// each source pixel's own alpha (the keyed copy of alpha sources, in the blit
// and in the rotated blit).
#pragma once

#include <emmintrin.h>

namespace tessel::soft {

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

// Mode 0 from an alpha source with the transparent flag on: each pixel moves
// toward the source by its own alpha, (d x (256 - a) + s x a) >> 8, which
// leaves alpha-0 pixels as they were; alpha-255 pixels take the whole source
// pixel.
inline __m128i AlphaSprite4(__m128i d, __m128i s) {
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

}  // namespace tessel::soft
