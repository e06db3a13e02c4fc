#include "platform/d3d9/raster_texel.h"

#include <cmath>
#include <cstring>

namespace platform {
namespace {

uint32_t Widen5(uint32_t v) {
    return (v << 3) | (v >> 2);
}
uint32_t Widen6(uint32_t v) {
    return (v << 2) | (v >> 4);
}
uint32_t Narrow(uint32_t c, uint32_t maxValue) {
    return (c * maxValue + 127) / 255;
}

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

uint32_t Load16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] | (p[1] << 8));
}
uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// The four colours of a DXT colour block.
void DxtPalette(const uint8_t* block, bool allowThreeColour, uint32_t palette[4]) {
    uint32_t c0 = Load16(block);
    uint32_t c1 = Load16(block + 2);
    uint32_t e0[3] = {Widen5(c0 >> 11), Widen6((c0 >> 5) & 63), Widen5(c0 & 31)};
    uint32_t e1[3] = {Widen5(c1 >> 11), Widen6((c1 >> 5) & 63), Widen5(c1 & 31)};
    palette[0] = Argb(255, e0[0], e0[1], e0[2]);
    palette[1] = Argb(255, e1[0], e1[1], e1[2]);
    if (c0 > c1 || !allowThreeColour) {
        uint32_t m[2][3];
        for (int i = 0; i < 3; ++i) {
            m[0][i] = (2 * e0[i] + e1[i] + 1) / 3;
            m[1][i] = (e0[i] + 2 * e1[i] + 1) / 3;
        }
        palette[2] = Argb(255, m[0][0], m[0][1], m[0][2]);
        palette[3] = Argb(255, m[1][0], m[1][1], m[1][2]);
    } else {
        palette[2] =
            Argb(255, (e0[0] + e1[0] + 1) / 2, (e0[1] + e1[1] + 1) / 2, (e0[2] + e1[2] + 1) / 2);
        palette[3] = 0;
    }
}

uint32_t DxtInterpolatedAlpha(const uint8_t* block, int index) {
    uint32_t a0 = block[0];
    uint32_t a1 = block[1];
    if (index == 0)
        return a0;
    if (index == 1)
        return a1;
    uint32_t i = static_cast<uint32_t>(index - 1);
    if (a0 > a1)
        return ((7 - i) * a0 + i * a1 + 3) / 7;
    if (index == 6)
        return 0;
    if (index == 7)
        return 255;
    return ((5 - i) * a0 + i * a1 + 2) / 5;
}

uint32_t DxtAlpha(uint32_t format, const uint8_t* block, int texel) {
    if (format == kFmtDxt2 || format == kFmtDxt3) {
        uint32_t nibble = (block[texel / 2] >> ((texel & 1) * 4)) & 15;
        return nibble * 17;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i)
        bits |= static_cast<uint64_t>(block[2 + i]) << (8 * i);
    int index = static_cast<int>((bits >> (3 * texel)) & 7);
    return DxtInterpolatedAlpha(block, index);
}

}  // namespace

int RasterBytesPerPixel(uint32_t format) {
    switch (format) {
        case kFmtA8R8G8B8:
        case kFmtX8R8G8B8:
        case kFmtD32:
        case kFmtD24X8:
            return 4;
        case kFmtR5G6B5:
        case kFmtX1R5G5B5:
        case kFmtA1R5G5B5:
        case kFmtA4R4G4B4:
        case kFmtD16:
            return 2;
        default:
            return 0;
    }
}

bool IsDxtFormat(uint32_t format) {
    return format >= kFmtDxt1 && format <= kFmtDxt5;
}

int DxtBlockBytes(uint32_t format) {
    return format == kFmtDxt1 ? 8 : 16;
}

uint32_t DecodeRasterPixel(uint32_t format, uint32_t p) {
    switch (format) {
        case kFmtA8R8G8B8:
            return p;
        case kFmtX8R8G8B8:
            return p | 0xFF000000u;
        case kFmtR5G6B5:
            return Argb(255, Widen5((p >> 11) & 31), Widen6((p >> 5) & 63), Widen5(p & 31));
        case kFmtX1R5G5B5:
            return Argb(255, Widen5((p >> 10) & 31), Widen5((p >> 5) & 31), Widen5(p & 31));
        case kFmtA1R5G5B5:
            return Argb((p & 0x8000) ? 255 : 0, Widen5((p >> 10) & 31), Widen5((p >> 5) & 31),
                        Widen5(p & 31));
        case kFmtA4R4G4B4:
            return Argb(((p >> 12) & 15) * 17, ((p >> 8) & 15) * 17, ((p >> 4) & 15) * 17,
                        (p & 15) * 17);
        default:
            return 0xFF000000u;
    }
}

uint32_t EncodeRasterPixel(uint32_t format, uint32_t argb) {
    uint32_t a = argb >> 24;
    uint32_t r = (argb >> 16) & 255;
    uint32_t g = (argb >> 8) & 255;
    uint32_t b = argb & 255;
    switch (format) {
        case kFmtA8R8G8B8:
            return argb;
        case kFmtX8R8G8B8:
            return argb | 0xFF000000u;
        case kFmtR5G6B5:
            return (Narrow(r, 31) << 11) | (Narrow(g, 63) << 5) | Narrow(b, 31);
        case kFmtX1R5G5B5:
            return 0x8000u | (Narrow(r, 31) << 10) | (Narrow(g, 31) << 5) | Narrow(b, 31);
        case kFmtA1R5G5B5:
            return (a >= 128 ? 0x8000u : 0u) | (Narrow(r, 31) << 10) | (Narrow(g, 31) << 5) |
                   Narrow(b, 31);
        case kFmtA4R4G4B4:
            return (Narrow(a, 15) << 12) | (Narrow(r, 15) << 8) | (Narrow(g, 15) << 4) |
                   Narrow(b, 15);
        default:
            return 0;
    }
}

void DecodeDxtBlock(uint32_t format, const uint8_t* block, uint32_t out[16]) {
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x)
            out[y * 4 + x] = DecodeDxtTexel(format, block, x, y);
    }
}

uint32_t DecodeDxtTexel(uint32_t format, const uint8_t* block, int x, int y) {
    int texel = y * 4 + x;
    const uint8_t* colourBlock = format == kFmtDxt1 ? block : block + 8;
    uint32_t palette[4];
    DxtPalette(colourBlock, format == kFmtDxt1, palette);
    uint32_t index = (Load32(colourBlock + 4) >> (2 * texel)) & 3;
    uint32_t colour = palette[index];
    if (format == kFmtDxt1)
        return colour;
    return (colour & 0x00FFFFFFu) | (DxtAlpha(format, block, texel) << 24);
}

uint32_t ReadRasterTexel(const RasterSurface& s, int32_t x, int32_t y) {
    if (IsDxtFormat(s.format)) {
        const uint8_t* block = s.bits + static_cast<intptr_t>(y >> 2) * s.pitch +
                               static_cast<intptr_t>(x >> 2) * DxtBlockBytes(s.format);
        return DecodeDxtTexel(s.format, block, x & 3, y & 3);
    }
    const uint8_t* row = s.bits + static_cast<intptr_t>(y) * s.pitch;
    switch (RasterBytesPerPixel(s.format)) {
        case 4:
            return DecodeRasterPixel(s.format, Load32(row + 4 * x));
        case 2:
            return DecodeRasterPixel(s.format, Load16(row + 2 * x));
        default:
            return 0xFF000000u;
    }
}

void WriteRasterPixel(const RasterSurface& s, int32_t x, int32_t y, uint32_t argb) {
    uint8_t* row = s.bits + static_cast<intptr_t>(y) * s.pitch;
    uint32_t stored = EncodeRasterPixel(s.format, argb);
    switch (RasterBytesPerPixel(s.format)) {
        case 4:
            std::memcpy(row + 4 * x, &stored, 4);
            break;
        case 2: {
            uint16_t v = static_cast<uint16_t>(stored);
            std::memcpy(row + 2 * x, &v, 2);
            break;
        }
        default:
            break;
    }
}

uint32_t QuantizeRasterDepth(uint32_t format, float z) {
    double d = z;
    if (!(d > 0.0))
        d = 0.0;  // NaN too
    if (d > 1.0)
        d = 1.0;
    switch (format) {
        case kFmtD16:
            return static_cast<uint32_t>(std::floor(d * 65535.0 + 0.5));
        case kFmtD24X8:
            return static_cast<uint32_t>(std::floor(d * 16777215.0 + 0.5));
        default:
            return static_cast<uint32_t>(std::floor(d * 4294967295.0 + 0.5));
    }
}

uint32_t ReadRasterDepth(const RasterSurface& depth, int32_t x, int32_t y) {
    const uint8_t* row = depth.bits + static_cast<intptr_t>(y) * depth.pitch;
    if (depth.format == kFmtD16)
        return Load16(row + 2 * x);
    uint32_t v = Load32(row + 4 * x);
    return depth.format == kFmtD24X8 ? (v & 0x00FFFFFFu) : v;
}

void WriteRasterDepth(const RasterSurface& depth, int32_t x, int32_t y, uint32_t value) {
    uint8_t* row = depth.bits + static_cast<intptr_t>(y) * depth.pitch;
    if (depth.format == kFmtD16) {
        uint16_t v = static_cast<uint16_t>(value);
        std::memcpy(row + 2 * x, &v, 2);
        return;
    }
    std::memcpy(row + 4 * x, &value, 4);
}

}  // namespace platform
