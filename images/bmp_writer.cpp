// The BMP writer: 8-bit images with their palette, everything else as 24-bit
// pixels, rows bottom-up and padded to 4 bytes.
#include <cstring>

#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "images/image_writer.h"
#include "platform/kernel.h"

namespace tessel {

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kPaletteSize = 256 * 4;

void StoreLe16(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

void StoreLe32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// A channel of `width` bits moved to 8 bits without bit replication.
uint8_t ChannelByte(uint32_t pixel, uint32_t mask, int shift, int width) {
    uint32_t value = (pixel & mask) >> shift;
    return static_cast<uint8_t>(width <= 8 ? value << (8 - width) : value >> (width - 8));
}

void FillRow(const BASEIMAGE* image, int y, uint8_t* out) {
    const uint8_t* in = image->pixels + static_cast<ptrdiff_t>(y) * image->pitch;
    const PixelFormatDesc& f = image->format;
    switch (f.bits) {
        case 8:
            std::memcpy(out, in, static_cast<size_t>(image->width));
            break;
        case 16:
            for (int x = 0; x < image->width; ++x, in += 2, out += 3) {
                uint32_t pixel = in[0] | (uint32_t{in[1]} << 8);
                out[0] = ChannelByte(pixel, f.blueMask, f.blueShift, f.blueWidth);
                out[1] = ChannelByte(pixel, f.greenMask, f.greenShift, f.greenWidth);
                out[2] = ChannelByte(pixel, f.redMask, f.redShift, f.redWidth);
            }
            break;
        case 24:
            std::memcpy(out, in, static_cast<size_t>(image->width) * 3);
            break;
        default:  // 32: blue, green, red kept, the fourth byte dropped
            for (int x = 0; x < image->width; ++x, in += 4, out += 3) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
            }
            break;
    }
}

bool WriteAll(HANDLE file, const void* data, uint32_t size) {
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

}  // namespace

int SaveImageAsBmp(const char* path, BASEIMAGE* image) {
    if (image == nullptr || image->pixels == nullptr || image->width <= 0 || image->height <= 0 ||
        image->format.compressedKind != kPixelsPlain) {
        return -1;
    }
    int bits = image->format.bits;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        return -1;  // a depth this writer does not write
    }
    bool paletted = bits == 8;
    uint64_t rowBytes = paletted ? (uint64_t(image->width) + 3) & ~uint64_t{3}
                                 : (uint64_t(image->width) * 3 + 3) & ~uint64_t{3};
    uint64_t pixelBytes = rowBytes * image->height;
    if (pixelBytes > 0x7FFFFFFF) {
        return -1;
    }
    uint32_t infoBytes = kInfoHeaderSize + (paletted ? kPaletteSize : 0);
    auto* info = static_cast<uint8_t*>(AllocTrackedZeroed(infoBytes, __FILE__, __LINE__));
    if (info == nullptr) {
        return WriteLog("BITMAPINFO構造体用メモリの確保に失敗しました\n");
    }
    auto* pixels = static_cast<uint8_t*>(
        AllocTrackedZeroed(static_cast<uint32_t>(pixelBytes), __FILE__, __LINE__));
    if (pixels == nullptr) {
        FreeTracked(info);
        return WriteLog("グラフィック保存用メモリの確保に失敗しました\n");
    }

    uint32_t offset = kFileHeaderSize + infoBytes;
    uint8_t fileHeader[kFileHeaderSize] = {'B', 'M'};
    StoreLe32(fileHeader + 2, offset + static_cast<uint32_t>(pixelBytes));
    StoreLe32(fileHeader + 10, offset);
    StoreLe32(info, kInfoHeaderSize);
    StoreLe32(info + 4, static_cast<uint32_t>(image->width));
    StoreLe32(info + 8, static_cast<uint32_t>(image->height));
    StoreLe16(info + 12, 1);
    StoreLe16(info + 14, paletted ? 8 : 24);
    if (paletted) {
        for (int i = 0; i < 256; ++i) {
            const PaletteEntry& entry = image->format.palette[i];
            uint8_t* p = info + kInfoHeaderSize + i * 4;
            p[0] = entry.blue;
            p[1] = entry.green;
            p[2] = entry.red;
        }
    }
    for (int y = 0; y < image->height; ++y) {
        FillRow(image, y, pixels + rowBytes * (image->height - 1 - y));
    }

    DeleteFileA(path);
    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    int result = 0;
    if (file == INVALID_HANDLE_VALUE) {
        result = WriteLog("ＢＭＰセーブ用ファイルのオープンに失敗しました\n");
    } else {
        bool written = WriteAll(file, fileHeader, kFileHeaderSize) &&
                       WriteAll(file, info, infoBytes) &&
                       WriteAll(file, pixels, static_cast<uint32_t>(pixelBytes));
        CloseHandle(file);
        if (!written) {
            result = WriteLog("ＢＭＰファイルの書き込みに失敗しました\n");
        }
    }
    FreeTracked(pixels);
    FreeTracked(info);
    return result;
}

}  // namespace tessel
