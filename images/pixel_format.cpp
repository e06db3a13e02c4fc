#include "images/pixel_format.h"

namespace tessel {

namespace {

struct MaskRun {
    uint8_t shift;
    uint8_t width;
};

// The lowest run of consecutive set bits; a zero mask has no run.
MaskRun FindMaskRun(uint32_t mask) {
    MaskRun run{0, 0};
    if (mask == 0) {
        return run;
    }
    while (((mask >> run.shift) & 1u) == 0) {
        ++run.shift;
    }
    while (run.shift + run.width < 32 && ((mask >> (run.shift + run.width)) & 1u) != 0) {
        ++run.width;
    }
    return run;
}

void SetChannels(PixelFormatDesc* format, int bits, const uint8_t widths[4],
                 const uint8_t shifts[4], const uint32_t masks[4], uint32_t unusedMask) {
    format->bits = static_cast<uint16_t>(bits);
    format->bytes = static_cast<uint16_t>(bits / 8);
    format->redWidth = widths[0];
    format->greenWidth = widths[1];
    format->blueWidth = widths[2];
    format->alphaWidth = widths[3];
    format->redShift = shifts[0];
    format->greenShift = shifts[1];
    format->blueShift = shifts[2];
    format->alphaShift = shifts[3];
    format->redMask = masks[0];
    format->greenMask = masks[1];
    format->blueMask = masks[2];
    format->alphaMask = masks[3];
    format->unusedMask = unusedMask;
    format->compressedKind = kPixelsPlain;
}

constexpr uint8_t kRgbWidths[4] = {8, 8, 8, 0};
constexpr uint8_t kArgbWidths[4] = {8, 8, 8, 8};
constexpr uint8_t kArgbShifts[4] = {16, 8, 0, 24};
constexpr uint32_t kRgbMasks[4] = {0xFF0000u, 0xFF00u, 0xFFu, 0u};
constexpr uint32_t kArgbMasks[4] = {0xFF0000u, 0xFF00u, 0xFFu, 0xFF000000u};
constexpr uint8_t kRgbShifts[4] = {16, 8, 0, 0};

// A channel cut (or, past 8 bits, shifted up) to its width and put in place.
uint32_t EncodeChannel(int value, int width, int shift) {
    if (width == 0) {
        return 0;
    }
    uint32_t v = static_cast<uint32_t>(value) & 255u;
    v = width <= 8 ? v >> (8 - width) : v << (width - 8);
    return v << shift;
}

// A width-bit value scaled to 0..255 with integer division.
int ScaleTo255(uint32_t value, int width) {
    if (width == 0) {
        return 0;
    }
    return static_cast<int>(static_cast<uint64_t>(value) * 255u / LowBitsMask(width));
}

int NearestPaletteIndex(const PixelFormatDesc* format, int red, int green, int blue) {
    int best = 0;
    int bestDistance = 0xFFFFFF;
    for (int i = 0; i < 256; ++i) {
        const PaletteEntry& entry = format->palette[i];
        int dr = entry.red - red;
        int dg = entry.green - green;
        int db = entry.blue - blue;
        int distance = dr * dr + dg * dg + db * db;
        // Strictly smaller only: the first of equal entries wins.
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

}  // namespace

void SetPixelFormatPal8(PixelFormatDesc* format) {
    SetChannels(format, 8, kRgbWidths, kRgbShifts, kRgbMasks, 0xFF000000u);
}

void SetPixelFormatGray8(PixelFormatDesc* format) {
    SetPixelFormatPal8(format);
    for (int i = 0; i < 256; ++i) {
        uint8_t level = static_cast<uint8_t>(i);
        format->palette[i] = PaletteEntry{level, level, level, 0};
    }
}

void SetPixelFormatRgb24(PixelFormatDesc* format) {
    SetChannels(format, 24, kRgbWidths, kRgbShifts, kRgbMasks, 0);
}

void SetPixelFormatXrgb32(PixelFormatDesc* format) {
    SetChannels(format, 32, kRgbWidths, kRgbShifts, kRgbMasks, 0xFF000000u);
    format->unusedShift = 24;
    format->unusedWidth = 8;
}

void SetPixelFormatArgb32(PixelFormatDesc* format) {
    SetChannels(format, 32, kArgbWidths, kArgbShifts, kArgbMasks, 0);
}

void SetPixelFormatFromMasks(PixelFormatDesc* format, int bits, uint32_t redMask,
                             uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask) {
    const uint32_t masks[4] = {redMask, greenMask, blueMask, alphaMask};
    uint8_t widths[4];
    uint8_t shifts[4];
    for (int i = 0; i < 4; ++i) {
        MaskRun run = FindMaskRun(masks[i]);
        shifts[i] = run.shift;
        widths[i] = run.width;
    }
    uint32_t unused = LowBitsMask(bits) & ~(redMask | greenMask | blueMask | alphaMask);
    SetChannels(format, bits, widths, shifts, masks, unused);
    MaskRun unusedRun = FindMaskRun(unused);
    format->unusedShift = unusedRun.shift;
    format->unusedWidth = unusedRun.width;
}

void ComputeUnusedBitMask(PixelFormatDesc* format) {
    int covered = format->redWidth + format->greenWidth + format->blueWidth + format->alphaWidth;
    if (covered == format->bits) {
        format->unusedMask = 0;
        return;
    }
    format->unusedMask = LowBitsMask(format->bits) & ~(format->redMask | format->greenMask |
                                                       format->blueMask | format->alphaMask);
}

uint32_t EncodePixelColor(const PixelFormatDesc* format, int red, int green, int blue, int alpha) {
    if (format->bytes == 1) {
        return static_cast<uint32_t>(NearestPaletteIndex(format, red, green, blue));
    }
    return EncodeChannel(red, format->redWidth, format->redShift) +
           EncodeChannel(green, format->greenWidth, format->greenShift) +
           EncodeChannel(blue, format->blueWidth, format->blueShift) +
           EncodeChannel(alpha, format->alphaWidth, format->alphaShift);
}

void DecodePixelColor(const PixelFormatDesc* format, uint32_t pixel, int* red, int* green,
                      int* blue, int* alpha) {
    uint32_t r = (pixel & format->redMask) >> format->redShift;
    uint32_t g = (pixel & format->greenMask) >> format->greenShift;
    uint32_t b = (pixel & format->blueMask) >> format->blueShift;
    uint32_t a = (pixel & format->alphaMask) >> format->alphaShift;
    bool plainBytes = format->redWidth == 8 && format->greenWidth == 8 && format->blueWidth == 8;
    if (red != nullptr) {
        *red = plainBytes ? static_cast<int>(r) : ScaleTo255(r, format->redWidth);
    }
    if (green != nullptr) {
        *green = plainBytes ? static_cast<int>(g) : ScaleTo255(g, format->greenWidth);
    }
    if (blue != nullptr) {
        *blue = plainBytes ? static_cast<int>(b) : ScaleTo255(b, format->blueWidth);
    }
    if (alpha != nullptr) {
        *alpha = (plainBytes && format->alphaWidth == 8) ? static_cast<int>(a)
                                                         : ScaleTo255(a, format->alphaWidth);
    }
}

}  // namespace tessel
