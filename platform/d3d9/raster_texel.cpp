// Texel and target pixel access of the rasteriser in every stored format.
#include "platform/d3d9/raster_texel.h"

#include "platform/d3d9/format.h"

#include <cstring>

namespace platform {
namespace {

uint32_t Load16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] | (p[1] << 8));
}
uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
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
    return d3d9::IsDxtFormat(format);
}

int DxtBlockBytes(uint32_t format) {
    return format == kFmtDxt1 ? 8 : 16;
}

uint32_t DecodeRasterPixel(uint32_t format, uint32_t stored) {
    if (RasterBytesPerPixel(format) == 0)
        return 0xFF000000u;
    uint8_t bytes[4];
    std::memcpy(bytes, &stored, 4);
    return d3d9::DecodePixel(format, bytes);
}

uint32_t EncodeRasterPixel(uint32_t format, uint32_t argb) {
    uint8_t bytes[4] = {};
    d3d9::EncodePixel(format, argb, bytes);
    uint32_t stored;
    std::memcpy(&stored, bytes, 4);
    return RasterBytesPerPixel(format) == 2 ? (stored & 0xFFFFu) : stored;
}

void DecodeDxtBlock(uint32_t format, const uint8_t* block, uint32_t out[16]) {
    d3d9::DecodeDxtBlock(format, block, out);
}

uint32_t DecodeDxtTexel(uint32_t format, const uint8_t* block, int x, int y) {
    uint32_t texels[16];
    d3d9::DecodeDxtBlock(format, block, texels);
    return texels[y * 4 + x];
}

uint32_t ReadRasterTexel(const RasterSurface& s, int32_t x, int32_t y) {
    if (IsDxtFormat(s.format)) {
        const uint8_t* block = s.bits + static_cast<intptr_t>(y >> 2) * s.pitch +
                               static_cast<intptr_t>(x >> 2) * DxtBlockBytes(s.format);
        return DecodeDxtTexel(s.format, block, x & 3, y & 3);
    }
    const uint8_t* row = s.bits + static_cast<intptr_t>(y) * s.pitch;
    switch (s.format) {
        case kFmtA8R8G8B8:
            return Load32(row + 4 * x);
        case kFmtX8R8G8B8:
            return Load32(row + 4 * x) | 0xFF000000u;
        default:
            break;
    }
    int bpp = RasterBytesPerPixel(s.format);
    if (bpp == 0)
        return 0xFF000000u;
    return d3d9::DecodePixel(s.format, row + bpp * x);
}

void WriteRasterPixel(const RasterSurface& s, int32_t x, int32_t y, uint32_t argb) {
    uint8_t* row = s.bits + static_cast<intptr_t>(y) * s.pitch;
    switch (s.format) {
        case kFmtA8R8G8B8:
            std::memcpy(row + 4 * x, &argb, 4);
            return;
        case kFmtX8R8G8B8: {
            uint32_t v = argb | 0xFF000000u;
            std::memcpy(row + 4 * x, &v, 4);
            return;
        }
        default:
            break;
    }
    int bpp = RasterBytesPerPixel(s.format);
    if (bpp == 0)
        return;
    d3d9::EncodePixel(s.format, argb, row + bpp * x);
}

uint32_t QuantizeRasterDepth(uint32_t format, float z) {
    if (!(z > 0.0f))
        z = 0.0f;  // NaN too
    return d3d9::EncodeDepth(format, z);
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
    d3d9::WriteDepth(depth.format, row + RasterBytesPerPixel(depth.format) * x, value);
}

}  // namespace platform
