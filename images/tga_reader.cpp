// The TGA loader: true-colour and colour-mapped images, plain and run-length,
// of 16, 24 and 32 bits, always returned top-down and left to right.
#include <cstddef>
#include <cstring>

#include "foundation/memory/memory.h"
#include "images/image_loader.h"
#include "images/stream_reading.h"

namespace tessel {

namespace {

constexpr int kFooterSize = 26;
constexpr int kMaxTgaSide = 8192;

struct TgaLayout {
    int type;
    int width;
    int height;
    int bytes;  // per pixel of the result
    bool mapped;
    bool runLength;
    bool bottomUp;
    bool rightToLeft;
};

bool HasFooter(InputStream* stream, int32_t length) {
    if (length < kFooterSize) {
        return false;
    }
    uint8_t footer[kFooterSize];
    stream->ops.seek(stream->handle, length - kFooterSize, 0);
    if (!ReadExactly(stream, footer, sizeof footer)) {
        return false;
    }
    return std::memcmp(footer + 8, "TRUEVISION-XFILE", 16) == 0 && LoadLe32(footer) == 0;
}

bool ParseLayout(const uint8_t* header, TgaLayout* layout) {
    layout->type = header[2];
    layout->mapped = layout->type == 1 || layout->type == 9;
    layout->runLength = layout->type == 9 || layout->type == 10;
    if (!layout->mapped && layout->type != 2 && layout->type != 10) {
        return false;
    }
    int pixelBits = layout->mapped ? header[7] : header[16];
    layout->width = LoadLe16(header + 12);
    layout->height = LoadLe16(header + 14);
    if (LoadLe16(header + 8) != 0 || LoadLe16(header + 10) != 0 || layout->width == 0 ||
        layout->height == 0 || layout->width > kMaxTgaSide || layout->height > kMaxTgaSide ||
        !IsTakeableSize(layout->width, layout->height)) {
        return false;
    }
    if ((pixelBits != 16 && pixelBits != 24 && pixelBits != 32) ||
        !IsWithinImageBudget(layout->width, layout->height)) {
        return false;
    }
    layout->bytes = pixelBits / 8;
    layout->bottomUp = (header[17] & 0x20) == 0;
    layout->rightToLeft = (header[17] & 0x10) != 0;
    return true;
}

void SetFormat(int bytes, PixelFormatDesc* format) {
    if (bytes == 2) {
        SetPixelFormatFromMasks(format, 16, 0x7C00, 0x3E0, 0x1F, 0);
    } else if (bytes == 3) {
        SetPixelFormatRgb24(format);
    } else {
        SetPixelFormatArgb32(format);
    }
}

// Reads value after value (`valueBytes` each) from a packet stream until
// `count` values are out. Packets are clipped at the end of the image; data
// that ends first is a failure.
bool DecodeRunLength(const uint8_t* data, uint32_t size, int valueBytes, uint8_t* out,
                     uint32_t count) {
    uint32_t pos = 0;
    uint32_t produced = 0;
    while (produced < count) {
        if (pos >= size) {
            return false;
        }
        uint8_t header = data[pos++];
        uint32_t run = (header & 0x7Fu) + 1;
        if (run > count - produced) {
            run = count - produced;
        }
        if (header & 0x80) {
            if (size - pos < static_cast<uint32_t>(valueBytes)) {
                return false;
            }
            for (uint32_t i = 0; i < run; ++i) {
                std::memcpy(out + (produced + i) * valueBytes, data + pos, valueBytes);
            }
            pos += valueBytes;
        } else {
            uint32_t bytes = run * valueBytes;
            if (size - pos < bytes) {
                return false;
            }
            std::memcpy(out + produced * valueBytes, data + pos, bytes);
            pos += bytes;
        }
        produced += run;
    }
    return true;
}

// Pixel values (or palette indices) as stored: plain, or run-length data from
// here up to the footer or the end of the stream.
uint8_t* ReadStoredValues(InputStream* stream, const TgaLayout& layout, int valueBytes,
                          int32_t dataEnd) {
    uint32_t count = static_cast<uint32_t>(layout.width) * static_cast<uint32_t>(layout.height);
    // The data must be able to hold the image before the image is allocated
    // for: plain values whole, packets at 128 values each at best.
    int32_t position = StreamPosition(stream);
    uint64_t available = dataEnd > position ? static_cast<uint64_t>(dataEnd - position) : 0;
    uint64_t needed = layout.runLength ? uint64_t{(count + 127) / 128} * (1 + valueBytes)
                                       : uint64_t{count} * valueBytes;
    if (needed > available) {
        return nullptr;
    }
    auto* values = static_cast<uint8_t*>(AllocTracked(count * valueBytes, __FILE__, __LINE__));
    if (values == nullptr) {
        return nullptr;
    }
    if (!layout.runLength) {
        if (ReadExactly(stream, values, count * valueBytes)) {
            return values;
        }
        FreeTracked(values);
        return nullptr;
    }
    auto size = static_cast<uint32_t>(available);
    auto* packets = static_cast<uint8_t*>(AllocTracked(size + 1, __FILE__, __LINE__));
    bool ok = packets != nullptr && ReadExactly(stream, packets, size) &&
              DecodeRunLength(packets, size, valueBytes, values, count);
    if (packets != nullptr) {
        FreeTracked(packets);
    }
    if (!ok) {
        FreeTracked(values);
        return nullptr;
    }
    return values;
}

// Indices replaced by their palette entries.
uint8_t* ApplyPalette(const uint8_t* indices, const uint8_t* palette, const TgaLayout& layout) {
    uint32_t count = static_cast<uint32_t>(layout.width) * static_cast<uint32_t>(layout.height);
    auto* pixels = static_cast<uint8_t*>(AllocTracked(count * layout.bytes, __FILE__, __LINE__));
    if (pixels == nullptr) {
        return nullptr;
    }
    for (uint32_t i = 0; i < count; ++i) {
        std::memcpy(pixels + i * layout.bytes, palette + indices[i] * layout.bytes, layout.bytes);
    }
    return pixels;
}

// Rows turned top-down and left to right, into a new block when they are not.
uint8_t* Orient(uint8_t* pixels, const TgaLayout& layout) {
    if (!layout.bottomUp && !layout.rightToLeft) {
        return pixels;
    }
    size_t pitch = static_cast<size_t>(layout.width) * layout.bytes;
    auto* out = static_cast<uint8_t*>(
        AllocTracked(static_cast<uint32_t>(pitch * layout.height), __FILE__, __LINE__));
    if (out == nullptr) {
        FreeTracked(pixels);
        return nullptr;
    }
    for (int y = 0; y < layout.height; ++y) {
        const uint8_t* source = pixels + pitch * (layout.bottomUp ? layout.height - 1 - y : y);
        uint8_t* row = out + pitch * y;
        if (!layout.rightToLeft) {
            std::memcpy(row, source, pitch);
            continue;
        }
        for (int x = 0; x < layout.width; ++x) {
            std::memcpy(row + x * layout.bytes, source + (layout.width - 1 - x) * layout.bytes,
                        layout.bytes);
        }
    }
    FreeTracked(pixels);
    return out;
}

// The colour map of a mapped image, as 256 entries of the pixel size; a map
// that reaches past entry 255 cannot be indexed by 8-bit pixels and is refused.
uint8_t* ReadColourMap(InputStream* stream, const uint8_t* header, const TgaLayout& layout) {
    uint32_t first = LoadLe16(header + 3);
    uint32_t length = LoadLe16(header + 5);
    if (first + length > 256) {
        return nullptr;
    }
    auto* palette =
        static_cast<uint8_t*>(AllocTrackedZeroed(256 * layout.bytes, __FILE__, __LINE__));
    if (palette == nullptr) {
        return nullptr;
    }
    if (!ReadExactly(stream, palette + first * layout.bytes, length * layout.bytes)) {
        FreeTracked(palette);
        return nullptr;
    }
    return palette;
}

// A true-colour file may still carry a colour map; its bytes are stepped over.
void SkipColourMap(InputStream* stream, const uint8_t* header) {
    if (header[1] == 0) {
        return;
    }
    int32_t entryBytes = (header[7] + 7) / 8;
    stream->ops.seek(stream->handle, LoadLe16(header + 5) * entryBytes, 1);
}

uint8_t* ReadPixels(InputStream* stream, const uint8_t* header, const TgaLayout& layout,
                    int32_t dataEnd) {
    if (!layout.mapped) {
        SkipColourMap(stream, header);
        return ReadStoredValues(stream, layout, layout.bytes, dataEnd);
    }
    uint8_t* palette = ReadColourMap(stream, header, layout);
    if (palette == nullptr) {
        return nullptr;
    }
    uint8_t* indices = ReadStoredValues(stream, layout, 1, dataEnd);
    uint8_t* pixels = indices != nullptr ? ApplyPalette(indices, palette, layout) : nullptr;
    if (indices != nullptr) {
        FreeTracked(indices);
    }
    FreeTracked(palette);
    return pixels;
}

}  // namespace

int ReadTgaImage(InputStream* stream, BASEIMAGE* image) {
    int32_t length = StreamLength(stream);
    bool footer = HasFooter(stream, length);
    uint8_t header[18];
    TgaLayout layout;
    stream->ops.seek(stream->handle, 0, 0);
    if (!ReadExactly(stream, header, sizeof header) || !ParseLayout(header, &layout)) {
        return -1;
    }
    stream->ops.seek(stream->handle, header[0], 1);
    int32_t dataEnd = footer ? length - kFooterSize : length;
    uint8_t* pixels = ReadPixels(stream, header, layout, dataEnd);
    if (pixels == nullptr || (pixels = Orient(pixels, layout)) == nullptr) {
        return -1;
    }
    SetFormat(layout.bytes, &image->format);
    image->width = layout.width;
    image->height = layout.height;
    image->pitch = layout.width * layout.bytes;
    image->pixels = pixels;
    return 0;
}

}  // namespace tessel
