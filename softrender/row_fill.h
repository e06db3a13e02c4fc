// Rows of one repeated pixel value for the copy fills: through the C
// library's wide fill (32-bit units, at memset speed) where the row is aligned
// for it, else 16 bytes a store.
#pragma once

#include <emmintrin.h>

#include <cstdint>
#include <cstring>
#include <cwchar>

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

static_assert(sizeof(wchar_t) == 4, "the wide fill stores 32-bit units");

inline bool WideAligned(const uint8_t* p) {
    return reinterpret_cast<uintptr_t>(p) % alignof(wchar_t) == 0;
}

inline void FillRow32(uint8_t* p, int count, uint32_t value) {
    if (WideAligned(p)) {
        wmemset(reinterpret_cast<wchar_t*>(p), static_cast<wchar_t>(value),
                static_cast<size_t>(count));
        return;
    }
    FillRowPattern(p, count, 4, _mm_set1_epi32(static_cast<int>(value)));
}

// Two pixels per 32-bit unit, with a lone pixel before or after as needed.
inline void FillRow16(uint8_t* p, int count, uint16_t value) {
    if (count > 0 && !WideAligned(p) && WideAligned(p + 2)) {
        std::memcpy(p, &value, 2);
        p += 2;
        --count;
    }
    if (!WideAligned(p)) {
        FillRowPattern(p, count, 2, _mm_set1_epi16(static_cast<short>(value)));
        return;
    }
    const uint32_t pair = value | (uint32_t{value} << 16);
    wmemset(reinterpret_cast<wchar_t*>(p), static_cast<wchar_t>(pair),
            static_cast<size_t>(count / 2));
    if (count % 2 != 0) {
        std::memcpy(p + 2 * (count - 1), &value, 2);
    }
}

}  // namespace tessel::soft
