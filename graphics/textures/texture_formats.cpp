// The texture format table, the choice of a format for a request, and the
// descriptors of the Direct3D formats.
#include "graphics/textures/texture_formats.h"

#include <cstring>

namespace tessel {

TextureOptions g_textureOptions = {0, 1, 1};

namespace {

PixelFormatDesc MakeFormat(int bits, uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha,
                           uint32_t compressedKind = kPixelsPlain) {
    PixelFormatDesc f;
    std::memset(&f, 0, sizeof f);
    SetPixelFormatFromMasks(&f, bits, red, green, blue, alpha);
    f.compressedKind = compressedKind;
    return f;
}

struct TextureFormatTable {
    PixelFormatDesc entries[14];
};

const TextureFormatTable& Table() {
    static const TextureFormatTable table = [] {
        TextureFormatTable t;
        const uint32_t r = 0xFF0000, g = 0xFF00, b = 0xFF, a = 0xFF000000u;
        t.entries[0] = MakeFormat(16, 0xF800, 0x07E0, 0x001F, 0);
        t.entries[1] = MakeFormat(32, r, g, b, 0);
        t.entries[2] = MakeFormat(16, 0x0F00, 0x00F0, 0x000F, 0xF000);
        t.entries[3] = MakeFormat(32, r, g, b, a);
        t.entries[4] = MakeFormat(16, 0x7C00, 0x03E0, 0x001F, 0x8000);
        t.entries[5] = MakeFormat(32, r, g, b, a);
        // The compressed entries differ from 32-bit ARGB only in their bit
        // count and kind; the bytes per pixel stay those of the layout.
        t.entries[6] = MakeFormat(32, r, g, b, a, kPixelsDxt1);
        t.entries[6].bits = 4;
        for (uint32_t kind = kPixelsDxt2; kind <= kPixelsDxt5; ++kind) {
            t.entries[5 + kind] = MakeFormat(32, r, g, b, a, kind);
            t.entries[5 + kind].bits = 8;
        }
        t.entries[11] = MakeFormat(16, 0xF800, 0x07E0, 0x001F, 0);
        t.entries[12] = MakeFormat(32, r, g, b, 0);
        t.entries[13] = MakeFormat(32, r, g, b, a);
        return t;
    }();
    return table;
}

struct D3DFormatEntry {
    D3DFORMAT format;
    PixelFormatDesc desc;
};

const D3DFormatEntry* D3DFormats(int* count) {
    static const D3DFormatEntry entries[] = {
        {D3DFMT_R8G8B8, MakeFormat(24, 0xFF0000, 0xFF00, 0xFF, 0)},
        {D3DFMT_A8R8G8B8, MakeFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u)},
        {D3DFMT_X8R8G8B8, MakeFormat(32, 0xFF0000, 0xFF00, 0xFF, 0)},
        {D3DFMT_R5G6B5, MakeFormat(16, 0xF800, 0x07E0, 0x001F, 0)},
        {D3DFMT_X1R5G5B5, MakeFormat(16, 0x7C00, 0x03E0, 0x001F, 0)},
        {D3DFMT_A1R5G5B5, MakeFormat(16, 0x7C00, 0x03E0, 0x001F, 0x8000)},
        {D3DFMT_A4R4G4B4, MakeFormat(16, 0x0F00, 0x00F0, 0x000F, 0xF000)},
        {D3DFMT_R3G3B2, MakeFormat(8, 0xE0, 0x1C, 0x03, 0)},
        {D3DFMT_A8R3G3B2, MakeFormat(16, 0xE0, 0x1C, 0x03, 0xFF00)},
        {D3DFMT_X4R4G4B4, MakeFormat(16, 0x0F00, 0x00F0, 0x000F, 0)},
        {D3DFMT_A2B10G10R10, MakeFormat(32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000u)},
        {D3DFMT_A8B8G8R8, MakeFormat(32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000u)},
        {D3DFMT_X8B8G8R8, MakeFormat(32, 0xFF, 0xFF00, 0xFF0000, 0)},
        {D3DFMT_A2R10G10B10, MakeFormat(32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000u)},
    };
    *count = static_cast<int>(sizeof entries / sizeof entries[0]);
    return entries;
}

}  // namespace

const PixelFormatDesc* TextureFormatDescriptor(int index) {
    if (index < 0 || index >= 14) {
        return nullptr;
    }
    return &Table().entries[index];
}

int PickTextureFormatIndex(const TextureFormatRequest& request) {
    if (request.compressedKind >= kPixelsDxt1 && request.compressedKind <= kPixelsDxt5) {
        return 5 + request.compressedKind;
    }
    const int wide = request.colorBits == 16 ? 0 : 1;
    if (request.drawable != 0) {
        return request.alpha != 0 || request.colorKey != 0 ? 13 : 11 + wide;
    }
    if (request.alpha != 0) {
        return 2 + wide;
    }
    if (request.colorKey != 0) {
        return 4 + wide;
    }
    return wide;
}

const PixelFormatDesc* PickTextureFormat(const TextureFormatRequest& request) {
    return TextureFormatDescriptor(PickTextureFormatIndex(request));
}

const PixelFormatDesc* TextureFormatFor(int alpha, int colorKey, int use32, int drawable) {
    TextureFormatRequest request = {};
    request.alpha = alpha != 0;
    request.colorKey = colorKey != 0;
    request.colorBits = use32 != 0 ? 32 : 16;
    request.drawable = drawable != 0;
    return PickTextureFormat(request);
}

const PixelFormatDesc* PixelFormatForD3DFormat(D3DFORMAT format) {
    int count = 0;
    const D3DFormatEntry* entries = D3DFormats(&count);
    for (int i = 0; i < count; ++i) {
        if (entries[i].format == format) {
            return &entries[i].desc;
        }
    }
    return nullptr;
}

uint32_t DxtKindOfFormat(D3DFORMAT format) {
    const D3DFORMAT kinds[] = {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5};
    for (uint32_t i = 0; i < 5; ++i) {
        if (kinds[i] == format) {
            return i + 1;
        }
    }
    return 0;
}

int SetNewTextureMipLevels(int flag, int count) {
    if (flag == 1) {
        g_textureOptions.mipLevelsOn = 1;
        g_textureOptions.mipLevelCount = count;
    } else {
        g_textureOptions.mipLevelsOn = 0;
        g_textureOptions.mipLevelCount = 1;
    }
    return 0;
}

int SetPowerOfTwoTextures(int on) {
    g_textureOptions.powerOfTwoOn = on;
    return 0;
}

}  // namespace tessel
