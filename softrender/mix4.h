// Four 32-bit pixels moved toward four others by one weight in SSE2, the
// white alpha blend of the blit's fast paths and of its run-table walk.
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

}  // namespace tessel::soft
