#include "foundation/base/bytes.h"

#include <cstdint>
#include <cstring>

namespace tessel {

namespace {

bool Overlap(const void* a, const void* b, size_t n) {
    auto pa = reinterpret_cast<uintptr_t>(a);
    auto pb = reinterpret_cast<uintptr_t>(b);
    return pa < pb ? pb - pa < n : pa - pb < n;
}

}  // namespace

int FillBytes(void* dst, int value, size_t n) {
    if (n != 0) {
        std::memset(dst, value, n);
    }
    return value;
}

void CopyBytes(void* dst, const void* src, size_t n) {
    if (n == 0) {
        return;
    }
    if (!Overlap(dst, src, n)) {
        std::memcpy(dst, src, n);
        return;
    }
    // Overlapping: byte by byte, first byte first, so that a copy onto the
    // bytes just behind the source repeats them, as a forward copy does.
    auto* d = static_cast<unsigned char*>(dst);
    const auto* s = static_cast<const unsigned char*>(src);
    for (size_t i = 0; i < n; ++i) {
        d[i] = s[i];
    }
}

void MoveBytes(void* dst, const void* src, size_t n) {
    if (n == 0 || dst == src) {
        return;
    }
    std::memmove(dst, src, n);
}

int CompareMemory(const void* a, const void* b, size_t n) {
    if (n == 0) {
        return 0;
    }
    return std::memcmp(a, b, n) == 0 ? 0 : 1;
}

}  // namespace tessel
