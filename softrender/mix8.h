// Eight 32-bit pixels at a time in AVX2, for the kernels' widest form: the
// per-pixel alpha blend of alpha sources and the division by 255 of the tinted
// rules. Every function carries its own target, so this header builds into
// any file and only runs where the processor was found to have AVX2. Lanes of
// 16 bits hold one channel each; the byte unpacks and packs work within each
// 128-bit half, which every per-pixel rule is indifferent to.
#pragma once

#include <immintrin.h>

#define TESSEL_AVX2 [[gnu::target("avx2")]]

namespace tessel::soft {

// floor(x / 255) on 16-bit lanes, exact for every x below 2^16: (x x 0x8081) >> 23.
TESSEL_AVX2 inline __m256i DivideBy255x8(__m256i x) {
    return _mm256_srli_epi16(_mm256_mulhi_epu16(x, _mm256_set1_epi16(static_cast<short>(0x8081))),
                             7);
}

// Each pixel's alpha in the four 16-bit lanes of its channels, for the pixels
// that lanes16 (an unpack of d's or s's bytes) holds: the top word of each
// pixel spread over its four.
TESSEL_AVX2 inline __m256i SpreadAlpha16(__m256i lanes16) {
    return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(lanes16, 0xFF), 0xFF);
}

// (d x (256 - a) + s x a) >> 8 on the channels of one unpacked half.
TESSEL_AVX2 inline __m256i MixByAlpha16(__m256i dh, __m256i sh, __m256i ah) {
    const __m256i full = _mm256_set1_epi16(256);
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(dh, _mm256_sub_epi16(full, ah)),
                                              _mm256_mullo_epi16(sh, ah)),
                             8);
}

// Mode 0 from an alpha source with the transparent flag on, as AlphaSprite4:
// each pixel moves toward the source by its own alpha, alpha-0 pixels stay,
// alpha-255 pixels take the whole source pixel; the top byte is d's below 255.
TESSEL_AVX2 inline __m256i AlphaSprite8(__m256i d, __m256i s) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i sLo = _mm256_unpacklo_epi8(s, zero);
    const __m256i sHi = _mm256_unpackhi_epi8(s, zero);
    const __m256i lo = MixByAlpha16(_mm256_unpacklo_epi8(d, zero), sLo, SpreadAlpha16(sLo));
    const __m256i hi = MixByAlpha16(_mm256_unpackhi_epi8(d, zero), sHi, SpreadAlpha16(sHi));
    const __m256i top = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const __m256i blended = _mm256_or_si256(_mm256_andnot_si256(top, _mm256_packus_epi16(lo, hi)),
                                            _mm256_and_si256(top, d));
    const __m256i opaque = _mm256_cmpeq_epi32(_mm256_srli_epi32(s, 24), _mm256_set1_epi32(255));
    return _mm256_blendv_epi8(blended, s, opaque);
}

}  // namespace tessel::soft
