// Pixel loads and stores that need no alignment: a caller's buffer may place
// rows anywhere, and these compile to plain moves.
#pragma once

#include <cstdint>

namespace tessel::soft {

typedef uint32_t Pixel32 __attribute__((aligned(1), may_alias));
typedef uint16_t Pixel16 __attribute__((aligned(1), may_alias));

inline Pixel32* Row32(uint8_t* p) {
    return reinterpret_cast<Pixel32*>(p);
}
inline Pixel16* Row16(uint8_t* p) {
    return reinterpret_cast<Pixel16*>(p);
}
inline const Pixel32* Row32(const uint8_t* p) {
    return reinterpret_cast<const Pixel32*>(p);
}
inline const Pixel16* Row16(const uint8_t* p) {
    return reinterpret_cast<const Pixel16*>(p);
}

}  // namespace tessel::soft
