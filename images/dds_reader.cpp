// The DDS loader: DXT1 to DXT5 blocks kept compressed, and plain pixels
// described by a Direct3D format code or by the file's channel masks, with
// every mip level the file holds.
#include <cstring>

#include "foundation/memory/memory.h"
#include "images/image_loader.h"
#include "images/stream_reading.h"

namespace tessel {

namespace {

struct DdsFormatEntry {
    uint32_t code;
    int bits;
    uint32_t red;
    uint32_t green;
    uint32_t blue;
    uint32_t alpha;
};

// Direct3D format codes a FourCC field may hold instead of characters.
const DdsFormatEntry kDdsFormats[] = {
    {20, 24, 0xFF0000, 0xFF00, 0xFF, 0},
    {21, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {22, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {23, 16, 0xF800, 0x7E0, 0x1F, 0},
    {24, 16, 0x7C00, 0x3E0, 0x1F, 0},
    {25, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
    {26, 16, 0xF00, 0xF0, 0xF, 0xF000},
    {27, 8, 0xE0, 0x1C, 0x3, 0},
    {29, 16, 0xE0, 0x1C, 0x3, 0xFF00},
    {30, 16, 0xF00, 0xF0, 0xF, 0},
    {31, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000},
    {32, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},
    {33, 32, 0xFF, 0xFF00, 0xFF0000, 0},
    {35, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},
    {0xFFFFFFFF, 0, 0, 0, 0, 0},
};

constexpr uint32_t kFlagPitch = 0x8;
constexpr uint32_t kFlagMipCount = 0x20000;
constexpr uint32_t kPixelAlpha = 0x1;
constexpr uint32_t kPixelFourCc = 0x4;
constexpr uint32_t kPixelRgb = 0x40;
constexpr uint32_t kCapsComplex = 0x8;
constexpr uint32_t kCapsMipMap = 0x400000;

struct DdsHeader {
    uint32_t flags;
    uint32_t height;
    uint32_t width;
    uint32_t pitchOrLinearSize;
    uint32_t mipCount;
    uint32_t pixelFlags;
    uint32_t fourCc;
    uint32_t rgbBits;
    uint32_t masks[4];
    uint32_t caps;
};

DdsHeader ParseHeader(const uint8_t* h) {
    DdsHeader header;
    header.flags = LoadLe32(h + 4);
    header.height = LoadLe32(h + 8);
    header.width = LoadLe32(h + 12);
    header.pitchOrLinearSize = LoadLe32(h + 16);
    header.mipCount = LoadLe32(h + 24);
    header.pixelFlags = LoadLe32(h + 76);
    header.fourCc = LoadLe32(h + 80);
    header.rgbBits = LoadLe32(h + 84);
    for (int i = 0; i < 4; ++i) {
        header.masks[i] = LoadLe32(h + 88 + i * 4);
    }
    header.caps = LoadLe32(h + 104);
    return header;
}

const DdsFormatEntry* FindFormatCode(uint32_t code) {
    for (const DdsFormatEntry* entry = kDdsFormats; entry->code != 0xFFFFFFFF; ++entry) {
        if (entry->code == code) {
            return entry;
        }
    }
    return nullptr;
}

uint32_t FourCc(const char* text) {
    return LoadLe32(reinterpret_cast<const uint8_t*>(text));
}

// The format; false for one the loader does not take. blockBytes is 0 for
// plain pixels.
bool ChooseFormat(const DdsHeader& header, PixelFormatDesc* format, int* blockBytes) {
    *blockBytes = 0;
    if (header.pixelFlags == kPixelFourCc) {
        if (const DdsFormatEntry* entry = FindFormatCode(header.fourCc)) {
            SetPixelFormatFromMasks(format, entry->bits, entry->red, entry->green, entry->blue,
                                    entry->alpha);
            return true;
        }
    }
    if (header.pixelFlags & kPixelFourCc) {
        static const char* const kDxtNames[] = {"DXT1", "DXT2", "DXT3", "DXT4", "DXT5"};
        for (uint32_t kind = 1; kind <= 5; ++kind) {
            if (header.fourCc != FourCc(kDxtNames[kind - 1])) {
                continue;
            }
            std::memset(format, 0, sizeof *format);
            SetPixelFormatArgb32(format);
            format->bits = kind == kPixelsDxt1 ? 4 : 8;
            format->bytes = 4;
            format->unusedMask = 0;
            format->unusedShift = 0;
            format->unusedWidth = 0;
            format->compressedKind = kind;
            *blockBytes = kind == kPixelsDxt1 ? 8 : 16;
            return true;
        }
        return false;
    }
    // Masks: a colour image without the alpha flag has no alpha channel,
    // whatever its alpha mask field holds.
    uint32_t bits = header.rgbBits;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        return false;
    }
    bool alpha = (header.pixelFlags & kPixelAlpha) != 0 || (header.pixelFlags & kPixelRgb) == 0;
    SetPixelFormatFromMasks(format, static_cast<int>(bits), header.masks[0], header.masks[1],
                            header.masks[2], alpha ? header.masks[3] : 0);
    return true;
}

uint64_t LevelSide(uint32_t side, uint32_t level) {
    uint64_t value = level < 32 ? side >> level : 0;
    return value > 0 ? value : 1;
}

// The bytes of every level, each sized from its own dimensions; 0 when the
// total cannot be in a stream of `available` bytes.
uint64_t TotalSize(const DdsHeader& header, const PixelFormatDesc& format, int blockBytes,
                   uint32_t levels, uint64_t pitch, uint64_t available) {
    uint64_t total = 0;
    for (uint32_t level = 0; level < levels; ++level) {
        uint64_t w = LevelSide(header.width, level);
        uint64_t h = LevelSide(header.height, level);
        uint64_t size = 0;
        if (blockBytes != 0) {
            size = ((w + 3) / 4) * ((h + 3) / 4) * blockBytes;
        } else if (level == 0) {
            size = pitch * h;
        } else {
            size = w * format.bytes * h;
        }
        total += size;
        if (total > available) {
            return 0;
        }
    }
    return total;
}

}  // namespace

int ReadDdsImage(InputStream* stream, BASEIMAGE* image) {
    uint8_t magic[4];
    uint8_t raw[124];
    if (!ReadExactly(stream, magic, 4) || std::memcmp(magic, "DDS", 3) != 0 ||
        !ReadExactly(stream, raw, sizeof raw)) {
        return -1;
    }
    DdsHeader header = ParseHeader(raw);
    int blockBytes = 0;
    if (header.width == 0 || header.height == 0 || header.width > 0x7FFF * 4 ||
        header.height > 0x7FFF * 4 || !IsTakeableSize(header.width, header.height) ||
        !ChooseFormat(header, &image->format, &blockBytes)) {
        return -1;
    }
    uint32_t mipCount = 0;
    if ((header.flags & kFlagMipCount) && (header.caps & kCapsMipMap) &&
        (header.caps & kCapsComplex)) {
        mipCount = header.mipCount;
    }
    uint64_t pitch = 0;
    if (blockBytes == 0) {
        uint64_t rowBytes = uint64_t{header.width} * image->format.bytes;
        pitch = (header.flags & kFlagPitch) ? header.pitchOrLinearSize : rowBytes;
        if (pitch < rowBytes || pitch > 0x7FFFFFFF) {
            return -1;
        }
    }
    int32_t left = StreamLength(stream) - StreamPosition(stream);
    uint64_t total = TotalSize(header, image->format, blockBytes, mipCount > 0 ? mipCount : 1,
                               pitch, left > 0 ? static_cast<uint64_t>(left) : 0);
    if (total == 0 || !IsWithinImageBudget(header.width, header.height)) {
        return -1;
    }
    auto* pixels =
        static_cast<uint8_t*>(AllocTracked(static_cast<uint32_t>(total), __FILE__, __LINE__));
    if (pixels == nullptr) {
        return -1;
    }
    if (!ReadExactly(stream, pixels, static_cast<uint32_t>(total))) {
        FreeTracked(pixels);
        return -1;
    }
    image->pixels = pixels;
    image->pitch = static_cast<int32_t>(pitch);
    image->mipCount = static_cast<int32_t>(mipCount);
    image->width = static_cast<int32_t>(header.width);
    image->height = static_cast<int32_t>(header.height);
    return 0;
}

}  // namespace tessel
