// The library's raw BGRA format: a 16-byte header, then rows of blue, green,
// red, alpha with 8 or 16 bits a channel.
#include <cstring>

#include "foundation/memory/memory.h"
#include "images/image_loader.h"
#include "images/stream_reading.h"

namespace tessel {

namespace {

constexpr uint32_t kEightBitChannels = 0x08080808;
constexpr uint32_t kSixteenBitChannels = 0x10101010;

// 16-bit channels keep their high bytes.
bool ReadWideRows(InputStream* stream, uint32_t width, uint32_t height, uint8_t* pixels) {
    uint64_t rowBytes = uint64_t{width} * 8;
    auto* row =
        static_cast<uint8_t*>(AllocTracked(static_cast<uint32_t>(rowBytes), __FILE__, __LINE__));
    if (row == nullptr) {
        return false;
    }
    bool ok = true;
    for (uint32_t y = 0; y < height && ok; ++y) {
        ok = ReadExactly(stream, row, static_cast<uint32_t>(rowBytes));
        uint8_t* out = pixels + uint64_t{y} * width * 4;
        for (uint32_t i = 0; ok && i < width * 4; ++i) {
            out[i] = row[i * 2 + 1];
        }
    }
    FreeTracked(row);
    return ok;
}

}  // namespace

int ReadBgraImage(InputStream* stream, BASEIMAGE* image) {
    uint8_t header[16];
    if (!ReadExactly(stream, header, sizeof header) || std::memcmp(header, "BGRA", 4) != 0) {
        return -1;
    }
    uint32_t layout = LoadLe32(header + 4);
    uint32_t width = LoadLe32(header + 8);
    uint32_t height = LoadLe32(header + 12);
    if (layout != kEightBitChannels && layout != kSixteenBitChannels) {
        return -1;
    }
    // The pixels must be in the stream before they are allocated for.
    uint64_t size = uint64_t{width} * height * 4;
    uint64_t stored = layout == kEightBitChannels ? size : size * 2;
    int32_t left = StreamLength(stream) - StreamPosition(stream);
    if (!IsTakeableSize(width, height) || uint64_t{width} * 8 > 0x7FFFFFFF || left < 0 ||
        stored > static_cast<uint64_t>(left) || !IsWithinImageBudget(width, height)) {
        return -1;
    }
    auto* pixels =
        static_cast<uint8_t*>(AllocTracked(static_cast<uint32_t>(size), __FILE__, __LINE__));
    if (pixels == nullptr) {
        return -1;
    }
    bool ok = layout == kEightBitChannels ? ReadExactly(stream, pixels, static_cast<uint32_t>(size))
                                          : ReadWideRows(stream, width, height, pixels);
    if (!ok) {
        FreeTracked(pixels);
        return -1;
    }
    SetPixelFormatArgb32(&image->format);
    image->format.unusedMask = 0;
    image->width = static_cast<int32_t>(width);
    image->height = static_cast<int32_t>(height);
    image->pitch = static_cast<int32_t>(width * 4);
    image->pixels = pixels;
    return 0;
}

}  // namespace tessel
