// Bounded reads for the loaders: a short read is a failure, never garbage.
#pragma once

#include <cstdint>
#include <cstring>

#include "images/input_stream.h"

namespace tessel {

// Images past this many pixels are taken for damage: a few bytes of header
// must never make a loader take gigabytes.
constexpr int64_t kMaxImagePixels = int64_t{16384} * 16384;

// Divided rather than multiplied: two 32-bit sides overflow the product.
inline bool IsTakeableSize(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= kMaxImagePixels / height;
}

// Inside the pixel limit and inside the memory budget of a decoded image
// (image_loader.h); an image past the budget is refused with one log line.
bool IsWithinImageBudget(int64_t width, int64_t height);

// The stream's length; the position is restored.
inline int32_t StreamLength(InputStream* stream) {
    int32_t position = stream->ops.tell(stream->handle);
    stream->ops.seek(stream->handle, 0, 2);
    int32_t length = stream->ops.tell(stream->handle);
    stream->ops.seek(stream->handle, position, 0);
    return length;
}

inline int32_t StreamPosition(InputStream* stream) {
    return stream->ops.tell(stream->handle);
}

// True when all n bytes arrived.
inline bool ReadExactly(InputStream* stream, void* buffer, uint32_t n) {
    if (n == 0) {
        return true;
    }
    return stream->ops.read(buffer, 1, n, stream->handle) == n;
}

inline uint16_t LoadLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t LoadLe32(const uint8_t* p) {
    return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

}  // namespace tessel
