// Copies between surfaces, colour fills and clears, checked pixel for pixel
// against the conversion formulas written out here once more.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "d3d9_fixture.h"

using d3d9test::DeviceTest;
using d3d9test::FillBytes;
using d3d9test::ReadBytes;

namespace {

// A plain colour format as masks; `ones` holds the bits a format keeps set
// (the X bits).
struct Layout {
    D3DFORMAT format;
    int bytes;
    uint32_t a, r, g, b, ones;
};

const Layout kLayouts[] = {
    {D3DFMT_A8R8G8B8, 4, 0xFF000000u, 0xFF0000, 0xFF00, 0xFF, 0},
    {D3DFMT_X8R8G8B8, 4, 0, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u},
    {D3DFMT_R5G6B5, 2, 0, 0xF800, 0x07E0, 0x001F, 0},
    {D3DFMT_X1R5G5B5, 2, 0, 0x7C00, 0x03E0, 0x001F, 0x8000},
    {D3DFMT_A1R5G5B5, 2, 0x8000, 0x7C00, 0x03E0, 0x001F, 0},
    {D3DFMT_A4R4G4B4, 2, 0xF000, 0x0F00, 0x00F0, 0x000F, 0},
};

int Shift(uint32_t mask) {
    return mask == 0 ? 0 : __builtin_ctz(mask);
}
int Width(uint32_t mask) {
    return __builtin_popcount(mask);
}

// An n-bit value repeated until it fills 8 bits.
uint32_t Replicate(uint32_t value, int width) {
    uint32_t result = 0;
    int bits = 0;
    while (bits < 8) {
        result = (result << width) | value;
        bits += width;
    }
    return result >> (bits - 8);
}

uint32_t Channel(uint32_t pixel, uint32_t mask, uint32_t missing) {
    if (mask == 0) {
        return missing;
    }
    return Replicate((pixel & mask) >> Shift(mask), Width(mask));
}

uint32_t RefDecode(const Layout& l, uint32_t pixel) {
    return Channel(pixel, l.a, 255) << 24 | Channel(pixel, l.r, 0) << 16 |
           Channel(pixel, l.g, 0) << 8 | Channel(pixel, l.b, 0);
}

uint32_t Put(uint32_t value8, uint32_t mask) {
    if (mask == 0) {
        return 0;
    }
    return ((value8 >> (8 - Width(mask))) << Shift(mask)) & mask;
}

uint32_t RefEncode(const Layout& l, uint32_t argb) {
    return Put(argb >> 24, l.a) | Put((argb >> 16) & 0xFF, l.r) | Put((argb >> 8) & 0xFF, l.g) |
           Put(argb & 0xFF, l.b) | l.ones;
}

uint32_t Load(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
}

// Bytes that reach every bit of a surface of `count` pixels.
std::vector<uint8_t> PatternBytes(size_t count) {
    std::vector<uint8_t> bytes(count);
    uint32_t seed = 0x9E3779B9u;
    for (uint8_t& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(seed >> 24);
    }
    return bytes;
}

// DXT blocks with the texels they hold, worked out by hand.
struct DxtCase {
    D3DFORMAT format;
    std::vector<uint8_t> block;
    uint32_t texels[4];  // texels 0..3 of the first row
};

std::vector<uint8_t> AlphaBlock(uint8_t a0, uint8_t a1, uint64_t rowIndices) {
    uint64_t bits = rowIndices | rowIndices << 12 | rowIndices << 24 | rowIndices << 36;
    std::vector<uint8_t> block = {a0, a1};
    for (int i = 0; i < 6; ++i) {
        block.push_back(static_cast<uint8_t>(bits >> (8 * i)));
    }
    return block;
}

std::vector<DxtCase> DxtCases() {
    // Colour block: red F800 and blue 001F, indices 0, 1, 2, 3 along each row.
    const uint8_t fourColours[8] = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0xE4, 0xE4, 0xE4};
    // DXT1 with the first end point below the second: three colours and
    // transparent black.
    const uint8_t threeColours[8] = {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0xE4, 0xE4, 0xE4};
    std::vector<DxtCase> cases;
    cases.push_back({D3DFMT_DXT1,
                     {fourColours, fourColours + 8},
                     {0xFFFF0000u, 0xFF0000FFu, 0xFFAA0055u, 0xFF5500AAu}});
    cases.push_back({D3DFMT_DXT1,
                     {threeColours, threeColours + 8},
                     {0xFF0000FFu, 0xFFFF0000u, 0xFF7F007Fu, 0x00000000u}});
    // Explicit alpha: nibbles 0, 5, 10, 15 in every row.
    std::vector<uint8_t> dxt3 = {0x50, 0xFA, 0x50, 0xFA, 0x50, 0xFA, 0x50, 0xFA};
    dxt3.insert(dxt3.end(), fourColours, fourColours + 8);
    cases.push_back({D3DFMT_DXT3, dxt3, {0x00FF0000u, 0x550000FFu, 0xAAAA0055u, 0xFF5500AAu}});
    cases.push_back({D3DFMT_DXT2, dxt3, {0x00FF0000u, 0x550000FFu, 0xAAAA0055u, 0xFF5500AAu}});
    // Interpolated alpha 255 and 0 (eight values), indices 0, 1, 2, 7 in
    // every row: 3-bit indices packed little-endian, 12 bits a row.
    std::vector<uint8_t> dxt5 = AlphaBlock(255, 0, 0 | (1 << 3) | (2 << 6) | (7 << 9));
    dxt5.insert(dxt5.end(), fourColours, fourColours + 8);
    uint32_t a2 = (6 * 255) / 7;
    uint32_t a7 = (1 * 255) / 7;
    cases.push_back({D3DFMT_DXT5,
                     dxt5,
                     {0xFFFF0000u, 0x000000FFu, a2 << 24 | 0xAA0055u, a7 << 24 | 0x5500AAu}});
    // Alpha 0 and 255 (six values, then 0 and 255): indices 6 and 7 give 0 and 255,
    // index 2 gives (4 * 0 + 255) / 5.
    std::vector<uint8_t> dxt4 = AlphaBlock(0, 255, 2 | (6 << 3) | (7 << 6) | (1 << 9));
    dxt4.insert(dxt4.end(), fourColours, fourColours + 8);
    cases.push_back(
        {D3DFMT_DXT4, dxt4, {51u << 24 | 0xFF0000u, 0x000000FFu, 0xFFAA0055u, 0xFF5500AAu}});
    return cases;
}

TEST_F(DeviceTest, StretchRectConvertsBetweenEveryPlainFormat) {
    const int w = 16;
    const int h = 4;
    for (const Layout& from : kLayouts) {
        IDirect3DSurface9* source = Plain(w, h, from.format);
        std::vector<uint8_t> raw = PatternBytes(static_cast<size_t>(w) * h * from.bytes);
        FillBytes(source, raw, w * from.bytes, h);
        for (const Layout& to : kLayouts) {
            IDirect3DSurface9* dest = Plain(w, h, to.format);
            ASSERT_EQ(device_->StretchRect(source, nullptr, dest, nullptr, D3DTEXF_NONE), D3D_OK);
            std::vector<uint8_t> out = ReadBytes(dest, w * to.bytes, h);
            for (int i = 0; i < w * h; ++i) {
                uint32_t pixel = Load(&raw[static_cast<size_t>(i) * from.bytes], from.bytes);
                // One format is copied as it is stored, X bits included.
                uint32_t expected =
                    from.format == to.format ? pixel : RefEncode(to, RefDecode(from, pixel));
                ASSERT_EQ(Load(&out[static_cast<size_t>(i) * to.bytes], to.bytes), expected)
                    << "from " << from.format << " to " << to.format << " pixel " << i;
            }
            dest->Release();
        }
        source->Release();
    }
}

TEST_F(DeviceTest, StretchRectDecodesDxtIntoEveryPlainFormat) {
    for (const DxtCase& c : DxtCases()) {
        IDirect3DSurface9* source = Plain(4, 4, c.format);
        FillBytes(source, c.block, static_cast<int>(c.block.size()), 1);
        for (const Layout& to : kLayouts) {
            IDirect3DSurface9* dest = Plain(4, 4, to.format);
            ASSERT_EQ(device_->StretchRect(source, nullptr, dest, nullptr, D3DTEXF_POINT), D3D_OK);
            std::vector<uint8_t> out = ReadBytes(dest, 4 * to.bytes, 4);
            for (int row = 0; row < 4; ++row) {
                for (int x = 0; x < 4; ++x) {
                    uint32_t got = Load(&out[(row * 4 + x) * to.bytes], to.bytes);
                    ASSERT_EQ(got, RefEncode(to, c.texels[x]))
                        << "format " << c.format << " into " << to.format << " texel " << x;
                }
            }
            EXPECT_EQ(platform::ReadD3D9SurfacePixel(source, 3, 2), c.texels[3]);
            dest->Release();
        }
        // Into the same DXT format the blocks are copied as they are.
        IDirect3DSurface9* same = Plain(8, 4, c.format);
        RECT right = {4, 0, 8, 4};
        ASSERT_EQ(device_->StretchRect(source, nullptr, same, &right, D3DTEXF_NONE), D3D_OK);
        std::vector<uint8_t> blocks = ReadBytes(same, static_cast<int>(c.block.size()) * 2, 1);
        EXPECT_TRUE(std::equal(c.block.begin(), c.block.end(), blocks.begin() + c.block.size()));
        // Converting into a DXT format is not a copy the device makes.
        IDirect3DSurface9* plain = Plain(4, 4, D3DFMT_A8R8G8B8);
        EXPECT_REFUSED(FormatMismatch,
                       device_->StretchRect(plain, nullptr, same, &right, D3DTEXF_NONE));
        plain->Release();
        same->Release();
        source->Release();
    }
}

TEST_F(DeviceTest, StretchRectSamplesTheNearestSourcePixel) {
    IDirect3DSurface9* source = Plain(6, 3, D3DFMT_A8R8G8B8);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 6; ++x) {
            platform::WriteD3D9SurfacePixel(source, x, y, static_cast<uint32_t>(y * 16 + x));
        }
    }
    IDirect3DSurface9* dest = Plain(12, 6, D3DFMT_A8R8G8B8);
    // Shrinking 6x3 to 4x2: pixel centres fall on source columns 0, 2, 3, 5 and rows 0, 2.
    RECT shrunk = {1, 1, 5, 3};
    ASSERT_EQ(device_->StretchRect(source, nullptr, dest, &shrunk, D3DTEXF_LINEAR), D3D_OK);
    const int columns[4] = {0, 2, 3, 5};
    const int rows[2] = {0, 2};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(platform::ReadD3D9SurfacePixel(dest, 1 + x, 1 + y),
                      static_cast<uint32_t>(rows[y] * 16 + columns[x]));
        }
    }
    // Doubling: every source pixel covers two by two.
    RECT part = {1, 0, 4, 2};
    ASSERT_EQ(device_->StretchRect(source, &part, dest, &shrunk, D3DTEXF_NONE), D3D_OK);
    ASSERT_EQ(device_->StretchRect(source, &part, dest, nullptr, D3DTEXF_NONE), D3D_OK);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 12; ++x) {
            ASSERT_EQ(platform::ReadD3D9SurfacePixel(dest, x, y),
                      static_cast<uint32_t>((y * 2 / 6) * 16 + 1 + x * 3 / 12));
        }
    }
    // Rules: both in the default pool, inside the surfaces, no overlap with itself.
    IDirect3DSurface9* system = Plain(6, 3, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM);
    EXPECT_REFUSED(BadPool, device_->StretchRect(system, nullptr, dest, nullptr, D3DTEXF_NONE));
    RECT outside = {0, 0, 7, 3};
    EXPECT_REFUSED(RectOutsideSurface,
                   device_->StretchRect(source, &outside, dest, nullptr, D3DTEXF_NONE));
    RECT left = {0, 0, 4, 3};
    RECT overlapping = {2, 0, 6, 3};
    RECT apart = {4, 0, 6, 3};
    EXPECT_REFUSED(OverlappingCopy,
                   device_->StretchRect(source, &left, source, &overlapping, D3DTEXF_NONE));
    RECT first = {0, 0, 2, 3};
    EXPECT_EQ(device_->StretchRect(source, &first, source, &apart, D3DTEXF_NONE), D3D_OK);
    EXPECT_EQ(platform::ReadD3D9SurfacePixel(source, 5, 2), 0x21u);
    system->Release();
    dest->Release();
    source->Release();
}

// UpdateSurface, UpdateTexture and GetRenderTargetData copy the stored bytes
// of one format; a different format is refused.
TEST_F(DeviceTest, SameFormatCopiesKeepEveryByte) {
    std::vector<D3DFORMAT> formats = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5,
                                      D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4,
                                      D3DFMT_DXT1,     D3DFMT_DXT2,     D3DFMT_DXT3,
                                      D3DFMT_DXT4,     D3DFMT_DXT5};
    for (D3DFORMAT format : formats) {
        bool dxt = format >= D3DFMT_DXT1;
        int unitBytes = format == D3DFMT_DXT1 ? 8 : dxt ? 16 : (format <= D3DFMT_X8R8G8B8 ? 4 : 2);
        int w = 16;
        int h = 8;
        int rowBytes = dxt ? (w / 4) * unitBytes : w * unitBytes;
        int rows = dxt ? h / 4 : h;
        std::vector<uint8_t> raw = PatternBytes(static_cast<size_t>(rowBytes) * rows);

        // UpdateTexture of all levels, from system memory to the default pool.
        IDirect3DTexture9* system = nullptr;
        IDirect3DTexture9* device = nullptr;
        ASSERT_EQ(device_->CreateTexture(w, h, 2, 0, format, D3DPOOL_SYSTEMMEM, &system, nullptr),
                  D3D_OK);
        ASSERT_EQ(device_->CreateTexture(w, h, 2, dxt ? 0 : D3DUSAGE_DYNAMIC, format,
                                         D3DPOOL_DEFAULT, &device, nullptr),
                  D3D_OK);
        IDirect3DSurface9* systemLevel = nullptr;
        system->GetSurfaceLevel(0, &systemLevel);
        FillBytes(systemLevel, raw, rowBytes, rows);
        ASSERT_EQ(device_->UpdateTexture(system, device), D3D_OK) << format;
        IDirect3DSurface9* deviceLevel = nullptr;
        device->GetSurfaceLevel(0, &deviceLevel);
        if (!dxt) {
            EXPECT_EQ(ReadBytes(deviceLevel, rowBytes, rows), raw) << format;
        }
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                ASSERT_EQ(platform::ReadD3D9SurfacePixel(deviceLevel, x, y),
                          platform::ReadD3D9SurfacePixel(systemLevel, x, y))
                    << format;
            }
        }

        // UpdateSurface of a part at a point.
        IDirect3DSurface9* plain = Plain(w, h, format);
        RECT part = {4, 4, 12, 8};
        POINT at = {8, 0};
        ASSERT_EQ(device_->UpdateSurface(systemLevel, &part, plain, &at), D3D_OK) << format;
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 8; ++x) {
                ASSERT_EQ(platform::ReadD3D9SurfacePixel(plain, 8 + x, y),
                          platform::ReadD3D9SurfacePixel(systemLevel, 4 + x, 4 + y))
                    << format;
            }
        }
        // The source must be in system memory.
        EXPECT_REFUSED(BadPool, device_->UpdateSurface(plain, nullptr, deviceLevel, nullptr));
        if (dxt) {
            RECT unaligned = {2, 0, 6, 4};
            EXPECT_REFUSED(RectOffBlocks,
                           device_->UpdateSurface(systemLevel, &unaligned, plain, nullptr));
        }
        plain->Release();
        deviceLevel->Release();
        systemLevel->Release();
        device->Release();
        system->Release();

        // GetRenderTargetData from a render target into system memory.
        if (!dxt) {
            IDirect3DSurface9* target = nullptr;
            ASSERT_EQ(device_->CreateRenderTarget(w, h, format, D3DMULTISAMPLE_NONE, 0, FALSE,
                                                  &target, nullptr),
                      D3D_OK);
            IDirect3DSurface9* source = Plain(w, h, format);
            FillBytes(source, raw, rowBytes, rows);
            ASSERT_EQ(device_->StretchRect(source, nullptr, target, nullptr, D3DTEXF_NONE), D3D_OK);
            IDirect3DSurface9* copy = Plain(w, h, format, D3DPOOL_SYSTEMMEM);
            ASSERT_EQ(device_->GetRenderTargetData(target, copy), D3D_OK) << format;
            EXPECT_EQ(ReadBytes(copy, rowBytes, rows), raw) << format;
            // The source must be a render target.
            EXPECT_REFUSED(NotARenderTarget, device_->GetRenderTargetData(source, copy));
            copy->Release();
            source->Release();
            target->Release();
        }
    }
    IDirect3DSurface9* a = Plain(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM);
    IDirect3DSurface9* b = Plain(4, 4, D3DFMT_X8R8G8B8);
    EXPECT_REFUSED(FormatMismatch, device_->UpdateSurface(a, nullptr, b, nullptr));
    a->Release();
    b->Release();
}

TEST_F(DeviceTest, UpdateTextureMatchesLevelsBySizeAndCopiesVolumes) {
    IDirect3DTexture9* system = nullptr;
    IDirect3DTexture9* device = nullptr;
    ASSERT_EQ(
        device_->CreateTexture(16, 16, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &system, nullptr),
        D3D_OK);
    ASSERT_EQ(
        device_->CreateTexture(4, 4, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &device, nullptr),
        D3D_OK);
    for (UINT level = 0; level < system->GetLevelCount(); ++level) {
        IDirect3DSurface9* s = nullptr;
        system->GetSurfaceLevel(level, &s);
        platform::WriteD3D9SurfacePixel(s, 0, 0, 0xAB000000u + level);
        s->Release();
    }
    ASSERT_EQ(device_->UpdateTexture(system, device), D3D_OK);
    IDirect3DSurface9* d = nullptr;
    device->GetSurfaceLevel(1, &d);
    EXPECT_EQ(platform::ReadD3D9SurfacePixel(d, 0, 0), 0xAB000003u);  // the 2x2 level
    d->Release();
    EXPECT_REFUSED(BadPool, device_->UpdateTexture(device, system));
    device->Release();
    system->Release();

    IDirect3DVolumeTexture9* source = nullptr;
    IDirect3DVolumeTexture9* dest = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM,
                                           &source, nullptr),
              D3D_OK);
    ASSERT_EQ(device_->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &dest,
                                           nullptr),
              D3D_OK);
    D3DLOCKED_BOX box;
    ASSERT_EQ(source->LockBox(0, &box, nullptr, 0), D3D_OK);
    for (int i = 0; i < 64; ++i) {
        static_cast<uint32_t*>(box.pBits)[i] = 0xFF000000u | static_cast<uint32_t>(i * 3);
    }
    source->UnlockBox(0);
    ASSERT_EQ(device_->UpdateTexture(source, dest), D3D_OK);
    IDirect3DVolumeTexture9* check = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM,
                                           &check, nullptr),
              D3D_OK);
    EXPECT_REFUSED(BadPool, device_->UpdateTexture(dest, check));
    check->Release();
    dest->Release();
    source->Release();
}

TEST_F(DeviceTest, ColorFillConvertsTheColourToTheFormat) {
    const D3DCOLOR colour = 0x80C06030u;
    for (const Layout& l : kLayouts) {
        IDirect3DSurface9* surface = Plain(8, 4, l.format);
        RECT part = {2, 1, 6, 3};
        ASSERT_EQ(device_->ColorFill(surface, nullptr, 0), D3D_OK);
        ASSERT_EQ(device_->ColorFill(surface, &part, colour), D3D_OK);
        std::vector<uint8_t> out = ReadBytes(surface, 8 * l.bytes, 4);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 8; ++x) {
                bool inside = x >= 2 && x < 6 && y >= 1 && y < 3;
                uint32_t expected = RefEncode(l, inside ? colour : 0u);
                ASSERT_EQ(Load(&out[(y * 8 + x) * l.bytes], l.bytes), expected) << l.format;
            }
        }
        surface->Release();
    }
    IDirect3DSurface9* system = Plain(4, 4, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM);
    EXPECT_REFUSED(BadPool, device_->ColorFill(system, nullptr, colour));
    system->Release();
    IDirect3DSurface9* dxt = Plain(4, 4, D3DFMT_DXT1);
    EXPECT_REFUSED(NotAColourSurface, device_->ColorFill(dxt, nullptr, colour));
    dxt->Release();
}

TEST_F(DeviceTest, ClearIsClippedToTheViewportAndTheScissor) {
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(16, 8, D3DFMT_R5G6B5, D3DMULTISAMPLE_NONE, 0, FALSE,
                                          &target, nullptr),
              D3D_OK);
    IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(device_->CreateDepthStencilSurface(32, 32, D3DFMT_D16, D3DMULTISAMPLE_NONE, 0, TRUE,
                                                 &depth, nullptr),
              D3D_OK);
    EXPECT_REFUSED(NoDepthSurface, device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0));
    device_->SetRenderTarget(0, target);
    device_->SetDepthStencilSurface(depth);
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 1.0f, 0),
              D3D_OK);
    D3DVIEWPORT9 viewport = {2, 2, 10, 4, 0.0f, 1.0f};
    device_->SetViewport(&viewport);
    D3DRECT rects[2] = {{0, 0, 4, 4}, {10, 5, 20, 20}};
    ASSERT_EQ(device_->Clear(2, rects, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFFFFFF, 0.5f, 0),
              D3D_OK);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 16; ++x) {
            bool first = x >= 2 && x < 4 && y >= 2 && y < 4;
            bool second = x >= 10 && x < 12 && y >= 5 && y < 6;
            bool cleared = first || second;
            ASSERT_EQ(platform::ReadD3D9SurfacePixel(target, x, y),
                      cleared ? 0xFFFFFFFFu : 0xFF0000FFu)
                << x << ", " << y;
            ASSERT_EQ(platform::ReadD3D9SurfacePixel(depth, x, y), cleared ? 32768u : 65535u);
        }
    }
    // The depth surface is larger than the target; its other part is left as
    // it was made (poisoned under tests).
    const uint32_t untouched = platform::D3D9PoisonFill() ? 0xCDCDu : 0u;
    EXPECT_EQ(platform::ReadD3D9SurfacePixel(depth, 20, 20), untouched);

    // The scissor cuts clears only while its test is on.
    RECT scissor = {0, 0, 3, 8};
    device_->SetScissorRect(&scissor);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0);
    EXPECT_EQ(platform::ReadD3D9SurfacePixel(target, 6, 3), 0xFF00FF00u);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    device_->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0);
    EXPECT_EQ(platform::ReadD3D9SurfacePixel(target, 2, 3), 0xFF00FF00u);
    EXPECT_EQ(platform::ReadD3D9SurfacePixel(target, 3, 3), 0xFF0000FFu);

    // Depth values of the three formats.
    struct DepthCase {
        D3DFORMAT format;
        float z;
        uint32_t stored;
    };
    const DepthCase depths[] = {{D3DFMT_D16, 0.25f, 16384u},
                                {D3DFMT_D24X8, 1.0f, 0xFFFFFFu},
                                {D3DFMT_D24X8, 0.5f, 8388608u},
                                {D3DFMT_D32, 1.0f, 0xFFFFFFFFu},
                                {D3DFMT_D32, 0.0f, 0u}};
    for (const DepthCase& c : depths) {
        IDirect3DSurface9* z = nullptr;
        ASSERT_EQ(device_->CreateDepthStencilSurface(16, 8, c.format, D3DMULTISAMPLE_NONE, 0, TRUE,
                                                     &z, nullptr),
                  D3D_OK);
        device_->SetDepthStencilSurface(z);
        ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, c.z, 0), D3D_OK);
        EXPECT_EQ(platform::ReadD3D9SurfacePixel(z, 2, 3), c.stored) << c.format;
        z->Release();
    }
    device_->SetDepthStencilSurface(nullptr);
    depth->Release();
    target->Release();
}

}  // namespace
