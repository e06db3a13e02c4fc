// The stored formats: their table, sizes in 64 bits, conversions of single pixels and rows to
// and from A8R8G8B8, DXT1 to DXT5 block decoding, and depth encoding.
//
// Routes: DecodeRow and EncodeRow loop over DecodePixel and EncodePixel (one switch a row);
// ReadPixel decodes the one DXT block a pixel lies in.
//
// Not here: DXT encoding (the device never writes blocks pixel by pixel), stencil bits, any
// format the device does not store.
#include "platform/d3d9/format.h"

#include "platform/d3d9/yuv_surface.h"

#include <cmath>
#include <cstring>

namespace platform::d3d9 {

namespace {

const FormatInfo kFormats[] = {
    {D3DFMT_A8R8G8B8, "A8R8G8B8", 4, false, false, true},
    {D3DFMT_X8R8G8B8, "X8R8G8B8", 4, false, false, false},
    {D3DFMT_R5G6B5, "R5G6B5", 2, false, false, false},
    {D3DFMT_X1R5G5B5, "X1R5G5B5", 2, false, false, false},
    {D3DFMT_A1R5G5B5, "A1R5G5B5", 2, false, false, true},
    {D3DFMT_A4R4G4B4, "A4R4G4B4", 2, false, false, true},
    {D3DFMT_DXT1, "DXT1", 8, true, false, true},
    {D3DFMT_DXT2, "DXT2", 16, true, false, true},
    {D3DFMT_DXT3, "DXT3", 16, true, false, true},
    {D3DFMT_DXT4, "DXT4", 16, true, false, true},
    {D3DFMT_DXT5, "DXT5", 16, true, false, true},
    {D3DFMT_D16, "D16", 2, false, true, false},
    {D3DFMT_D24X8, "D24X8", 4, false, true, false},
    {D3DFMT_D32, "D32", 4, false, true, false},
};

inline uint32_t Widen5(uint32_t v) {
    return (v << 3) | (v >> 2);
}
inline uint32_t Widen6(uint32_t v) {
    return (v << 2) | (v >> 4);
}
inline uint32_t Widen4(uint32_t v) {
    return v * 17;
}

inline uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

inline uint16_t Load16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Load32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void Store16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Store32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t Decode565(uint32_t v) {
    return Argb(255, Widen5((v >> 11) & 31), Widen6((v >> 5) & 63), Widen5(v & 31));
}

// One pixel; inlined with a constant format, the switch folds away.
inline uint32_t DecodeAs(D3DFORMAT format, const uint8_t* p) {
    switch (format) {
        case D3DFMT_A8R8G8B8:
            return Load32(p);
        case D3DFMT_X8R8G8B8:
            return Load32(p) | 0xFF000000u;
        case D3DFMT_R5G6B5:
            return Decode565(Load16(p));
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5: {
            uint32_t v = Load16(p);
            uint32_t a = (format == D3DFMT_X1R5G5B5 || (v & 0x8000)) ? 255 : 0;
            return Argb(a, Widen5((v >> 10) & 31), Widen5((v >> 5) & 31), Widen5(v & 31));
        }
        case D3DFMT_A4R4G4B4: {
            uint32_t v = Load16(p);
            return Argb(Widen4(v >> 12), Widen4((v >> 8) & 15), Widen4((v >> 4) & 15),
                        Widen4(v & 15));
        }
        default:
            return 0;
    }
}

// The colour palette of a DXT block: two 5-6-5 end points and the two or
// three colours between them (1/3 and 2/3, or the midpoint and transparent
// black when the first end point is not above the second in DXT1).
void DxtColours(const uint8_t* block, bool dxt1, uint32_t palette[4]) {
    uint32_t c0 = Load16(block);
    uint32_t c1 = Load16(block + 2);
    uint32_t e0 = Decode565(c0);
    uint32_t e1 = Decode565(c1);
    palette[0] = e0;
    palette[1] = e1;
    auto channel = [](uint32_t c, int shift) { return (c >> shift) & 0xFF; };
    if (!dxt1 || c0 > c1) {
        uint32_t mix1 = 0xFF000000u;
        uint32_t mix2 = 0xFF000000u;
        for (int shift = 0; shift <= 16; shift += 8) {
            uint32_t a = channel(e0, shift);
            uint32_t b = channel(e1, shift);
            mix1 |= ((2 * a + b) / 3) << shift;
            mix2 |= ((a + 2 * b) / 3) << shift;
        }
        palette[2] = mix1;
        palette[3] = mix2;
    } else {
        uint32_t mid = 0xFF000000u;
        for (int shift = 0; shift <= 16; shift += 8) {
            mid |= ((channel(e0, shift) + channel(e1, shift)) / 2) << shift;
        }
        palette[2] = mid;
        palette[3] = 0;
    }
}

void DecodeColourBlock(const uint8_t* block, bool dxt1, uint32_t texels[16]) {
    uint32_t palette[4];
    DxtColours(block, dxt1, palette);
    uint32_t indices = Load32(block + 4);
    for (int i = 0; i < 16; ++i) {
        texels[i] = palette[(indices >> (2 * i)) & 3];
    }
}

void ApplyExplicitAlpha(const uint8_t* alpha, uint32_t texels[16]) {
    for (int i = 0; i < 16; ++i) {
        uint32_t nibble = (alpha[i / 2] >> ((i & 1) * 4)) & 15;
        texels[i] = (texels[i] & 0x00FFFFFFu) | (Widen4(nibble) << 24);
    }
}

void ApplyInterpolatedAlpha(const uint8_t* alpha, uint32_t texels[16]) {
    uint32_t a0 = alpha[0];
    uint32_t a1 = alpha[1];
    uint32_t values[8] = {a0, a1};
    if (a0 > a1) {
        for (uint32_t i = 1; i <= 6; ++i) {
            values[i + 1] = ((7 - i) * a0 + i * a1) / 7;
        }
    } else {
        for (uint32_t i = 1; i <= 4; ++i) {
            values[i + 1] = ((5 - i) * a0 + i * a1) / 5;
        }
        values[6] = 0;
        values[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) {
        bits |= static_cast<uint64_t>(alpha[2 + i]) << (8 * i);
    }
    for (int i = 0; i < 16; ++i) {
        uint32_t index = static_cast<uint32_t>((bits >> (3 * i)) & 7);
        texels[i] = (texels[i] & 0x00FFFFFFu) | (values[index] << 24);
    }
}

}  // namespace

const FormatInfo* FindFormat(D3DFORMAT format) {
    for (const FormatInfo& info : kFormats) {
        if (info.format == format) {
            return &info;
        }
    }
    return nullptr;
}

bool IsDxtFormat(D3DFORMAT format) {
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 ||
           format == D3DFMT_DXT4 || format == D3DFMT_DXT5;
}

bool IsDepthFormat(D3DFORMAT format) {
    return format == D3DFMT_D16 || format == D3DFMT_D24X8 || format == D3DFMT_D32;
}

int RowPitch(D3DFORMAT format, int width) {
    if (IsYuvFormat(format)) {
        return YuvRowPitch(format, width);
    }
    const FormatInfo* info = FindFormat(format);
    if (info == nullptr) {
        return 0;
    }
    if (info->blockCompressed) {
        return ((width + 3) / 4) * info->bytesPerUnit;
    }
    return width * info->bytesPerUnit;
}

int StorageRows(D3DFORMAT format, int height) {
    if (IsYuvFormat(format)) {
        return YuvStorageRows(format, height);
    }
    return IsDxtFormat(format) ? (height + 3) / 4 : height;
}

uint64_t StorageBytes(D3DFORMAT format, uint64_t width, uint64_t height) {
    if (IsYuvFormat(format)) {
        // Two bytes a pixel bound both layouts (YV12 takes one and a half).
        return width > UINT32_MAX || height > UINT32_MAX ? UINT64_MAX : 2 * width * height;
    }
    const FormatInfo* info = FindFormat(format);
    if (info == nullptr) {
        return 0;
    }
    uint64_t unit = static_cast<uint64_t>(info->bytesPerUnit);
    if (info->blockCompressed) {
        width = width / 4 + (width % 4 != 0);
        height = height / 4 + (height % 4 != 0);
    }
    uint64_t pixels = 0;
    uint64_t bytes = 0;
    if (__builtin_mul_overflow(width, height, &pixels) ||
        __builtin_mul_overflow(pixels, unit, &bytes)) {
        return UINT64_MAX;  // more than any budget
    }
    return bytes;
}

uint32_t DecodePixel(D3DFORMAT format, const uint8_t* p) {
    return DecodeAs(format, p);
}

void EncodePixel(D3DFORMAT format, uint32_t argb, uint8_t* p) {
    uint32_t a = argb >> 24;
    uint32_t r = (argb >> 16) & 0xFF;
    uint32_t g = (argb >> 8) & 0xFF;
    uint32_t b = argb & 0xFF;
    switch (format) {
        case D3DFMT_A8R8G8B8:
            Store32(p, argb);
            break;
        case D3DFMT_X8R8G8B8:
            Store32(p, argb | 0xFF000000u);
            break;
        case D3DFMT_R5G6B5:
            Store16(p, ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
            break;
        case D3DFMT_X1R5G5B5:
            Store16(p, 0x8000 | ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
            break;
        case D3DFMT_A1R5G5B5:
            Store16(p, ((a >> 7) << 15) | ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
            break;
        case D3DFMT_A4R4G4B4:
            Store16(p, ((a >> 4) << 12) | ((r >> 4) << 8) | ((g >> 4) << 4) | (b >> 4));
            break;
        default:
            break;
    }
}

namespace {

// How far apart a row's pixels stand; an unknown format counts as four bytes.
int PixelStep(D3DFORMAT format) {
    const FormatInfo* info = FindFormat(format);
    return info != nullptr ? info->bytesPerUnit : 4;
}

}  // namespace

namespace {

template <D3DFORMAT kFormat, int kStep>
void DecodeRowAs(const uint8_t* source, uint32_t* dest, int count) {
    for (int i = 0; i < count; ++i) {
        dest[i] = DecodeAs(kFormat, source + i * kStep);
    }
}

}  // namespace

void DecodeRow(D3DFORMAT format, const uint8_t* source, uint32_t* dest, int count) {
    switch (format) {
        case D3DFMT_A8R8G8B8:
            std::memcpy(dest, source, static_cast<size_t>(count) * 4);
            return;
        case D3DFMT_X8R8G8B8:
            return DecodeRowAs<D3DFMT_X8R8G8B8, 4>(source, dest, count);
        case D3DFMT_R5G6B5:
            return DecodeRowAs<D3DFMT_R5G6B5, 2>(source, dest, count);
        case D3DFMT_X1R5G5B5:
            return DecodeRowAs<D3DFMT_X1R5G5B5, 2>(source, dest, count);
        case D3DFMT_A1R5G5B5:
            return DecodeRowAs<D3DFMT_A1R5G5B5, 2>(source, dest, count);
        case D3DFMT_A4R4G4B4:
            return DecodeRowAs<D3DFMT_A4R4G4B4, 2>(source, dest, count);
        default:
            break;
    }
    int step = PixelStep(format);
    for (int i = 0; i < count; ++i) {
        dest[i] = DecodePixel(format, source + i * step);
    }
}

void EncodeRow(D3DFORMAT format, const uint32_t* source, uint8_t* dest, int count) {
    if (format == D3DFMT_A8R8G8B8) {
        std::memcpy(dest, source, static_cast<size_t>(count) * 4);
        return;
    }
    int step = PixelStep(format);
    for (int i = 0; i < count; ++i) {
        EncodePixel(format, source[i], dest + i * step);
    }
}

void DecodeDxtBlock(D3DFORMAT format, const uint8_t* block, uint32_t texels[16]) {
    switch (format) {
        case D3DFMT_DXT1:
            DecodeColourBlock(block, true, texels);
            break;
        case D3DFMT_DXT2:
        case D3DFMT_DXT3:
            DecodeColourBlock(block + 8, false, texels);
            ApplyExplicitAlpha(block, texels);
            break;
        case D3DFMT_DXT4:
        case D3DFMT_DXT5:
            DecodeColourBlock(block + 8, false, texels);
            ApplyInterpolatedAlpha(block, texels);
            break;
        default:
            std::memset(texels, 0, 16 * sizeof(uint32_t));
            break;
    }
}

uint32_t ReadPixel(D3DFORMAT format, const uint8_t* bits, int pitch, int x, int y) {
    if (IsDxtFormat(format)) {
        const FormatInfo* info = FindFormat(format);
        uint32_t texels[16];
        DecodeDxtBlock(format, bits + (y / 4) * pitch + (x / 4) * info->bytesPerUnit, texels);
        return texels[(y % 4) * 4 + (x % 4)];
    }
    const FormatInfo* info = FindFormat(format);
    if (info == nullptr || info->depth) {
        return 0;
    }
    return DecodePixel(format, bits + y * pitch + x * info->bytesPerUnit);
}

uint32_t EncodeDepth(D3DFORMAT format, float z) {
    double clamped = z < 0.0f ? 0.0 : (z > 1.0f ? 1.0 : static_cast<double>(z));
    switch (format) {
        case D3DFMT_D16:
            return static_cast<uint32_t>(std::lround(clamped * 65535.0));
        case D3DFMT_D24X8:
            return static_cast<uint32_t>(std::lround(clamped * 16777215.0));
        case D3DFMT_D32:
            return static_cast<uint32_t>(std::llround(clamped * 4294967295.0));
        default:
            return 0;
    }
}

float DecodeDepth(D3DFORMAT format, const uint8_t* p) {
    switch (format) {
        case D3DFMT_D16:
            return static_cast<float>(Load16(p) / 65535.0);
        case D3DFMT_D24X8:
            return static_cast<float>((Load32(p) & 0xFFFFFFu) / 16777215.0);
        case D3DFMT_D32:
            return static_cast<float>(Load32(p) / 4294967295.0);
        default:
            return 0.0f;
    }
}

void WriteDepth(D3DFORMAT format, uint8_t* p, uint32_t value) {
    if (format == D3DFMT_D16) {
        Store16(p, value);
    } else {
        Store32(p, value);
    }
}

}  // namespace platform::d3d9
