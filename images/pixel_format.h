// Colour formats: one record describes screens, textures, memory images and
// decoded images alike.
#pragma once

#include <cstdint>

namespace tessel {

// Palette entries are stored as blue, green, red, alpha bytes.
struct PaletteEntry {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
    uint8_t alpha;
};

// Compressed kinds: 0 plain pixels, 1 to 5 DXT1 to DXT5 blocks.
enum : uint32_t {
    kPixelsPlain = 0,
    kPixelsDxt1 = 1,
    kPixelsDxt2 = 2,
    kPixelsDxt3 = 3,
    kPixelsDxt4 = 4,
    kPixelsDxt5 = 5,
};

// A pixel value is the little-endian integer of `bytes` bytes at the pixel's
// address; a channel's value is (pixel & mask) >> shift and has width bits.
struct PixelFormatDesc {
    uint16_t bits;
    uint16_t bytes;
    uint8_t redWidth;
    uint8_t greenWidth;
    uint8_t blueWidth;
    uint8_t alphaWidth;
    uint8_t redShift;
    uint8_t greenShift;
    uint8_t blueShift;
    uint8_t alphaShift;
    uint32_t redMask;
    uint32_t greenMask;
    uint32_t blueMask;
    uint32_t alphaMask;
    uint32_t unusedMask;
    PaletteEntry palette[256];  // meaningful for 1-byte pixels
    uint8_t unusedShift;
    uint8_t unusedWidth;
    uint32_t compressedKind;
};

// The presets set the compressed kind to 0 and leave the palette alone, except
// the grey ramp that Gray8 writes.
void SetPixelFormatPal8(PixelFormatDesc* format);
void SetPixelFormatGray8(PixelFormatDesc* format);
void SetPixelFormatRgb24(PixelFormatDesc* format);
void SetPixelFormatXrgb32(PixelFormatDesc* format);
void SetPixelFormatArgb32(PixelFormatDesc* format);
// Shifts and widths from the lowest run of set bits of each mask; the unused
// mask is what the channels leave of the low `bits` bits.
void SetPixelFormatFromMasks(PixelFormatDesc* format, int bits, uint32_t redMask,
                             uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask);
// Recomputes the unused mask only (shift and width stay).
void ComputeUnusedBitMask(PixelFormatDesc* format);

// The pixel value of a colour given as 0..255 channels: the nearest palette
// entry for 1-byte formats, else each channel cut to its width.
uint32_t EncodePixelColor(const PixelFormatDesc* format, int red, int green, int blue, int alpha);
// Splits a pixel value into 0..255 channels; any output may be null.
void DecodePixelColor(const PixelFormatDesc* format, uint32_t pixel, int* red, int* green,
                      int* blue, int* alpha);

// The little-endian pixel value of `bytes` bytes at p; any other count reads 4.
inline uint32_t LoadPixelValue(const uint8_t* p, int bytes) {
    switch (bytes) {
        case 1:
            return p[0];
        case 2:
            return p[0] | (uint32_t{p[1]} << 8);
        case 3:
            return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
        default:
            return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
    }
}

// Stores the low `bytes` bytes of value at p, little-endian; never more than 4.
inline void StorePixelValue(uint8_t* p, int bytes, uint32_t value) {
    switch (bytes >= 4 ? 4 : bytes) {
        case 4:
            p[3] = static_cast<uint8_t>(value >> 24);
            [[fallthrough]];
        case 3:
            p[2] = static_cast<uint8_t>(value >> 16);
            [[fallthrough]];
        case 2:
            p[1] = static_cast<uint8_t>(value >> 8);
            [[fallthrough]];
        case 1:
            p[0] = static_cast<uint8_t>(value);
            break;
        default:
            break;
    }
}

// The mask of the low `bits` bits (all 32 for 32 and beyond).
inline uint32_t LowBitsMask(int bits) {
    return bits >= 32 ? 0xFFFFFFFFu : (bits <= 0 ? 0u : (1u << bits) - 1u);
}

}  // namespace tessel
