// Rows of one repeated pixel value, written 16 bytes at a time: the copy
// fills and the plain row copies run at the speed of the stores.
#pragma once

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

namespace tessel::soft {

// Stores `count` copies of the 16-byte pattern's pixels from p on, `bytes`
// bytes a pixel; the pattern holds 16 / bytes pixels.
inline void FillRowPattern(uint8_t* p, int count, int bytes, __m128i pattern) {
    const int perStore = 16 / bytes;
    int x = 0;
    for (; x + 4 * perStore <= count; x += 4 * perStore, p += 64) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), pattern);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), pattern);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 32), pattern);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 48), pattern);
    }
    for (; x + perStore <= count; x += perStore, p += 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), pattern);
    }
    alignas(16) uint8_t tail[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(tail), pattern);
    std::memcpy(p, tail, static_cast<size_t>((count - x) * bytes));
}

inline void FillRow32(uint8_t* p, int count, uint32_t value) {
    FillRowPattern(p, count, 4, _mm_set1_epi32(static_cast<int>(value)));
}

inline void FillRow16(uint8_t* p, int count, uint16_t value) {
    FillRowPattern(p, count, 2, _mm_set1_epi16(static_cast<short>(value)));
}

}  // namespace tessel::soft
