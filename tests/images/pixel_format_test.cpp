// Pixel format presets and formats found from channel masks.
#include "images/pixel_format.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tessel {
namespace {

PixelFormatDesc Blank() {
    PixelFormatDesc f;
    std::memset(&f, 0xAB, sizeof(f));  // presets must overwrite what they own
    return f;
}

struct PresetCase {
    const char* name;
    void (*apply)(PixelFormatDesc*);
    int bits, bytes;
    int widths[4], shifts[4];
    uint32_t masks[4], unused;
};

TEST(PixelFormat, PresetsSetTheirFields) {
    const PresetCase cases[] = {
        {"Pal8",
         SetPixelFormatPal8,
         8,
         1,
         {8, 8, 8, 0},
         {16, 8, 0, 0},
         {0xFF0000, 0xFF00, 0xFF, 0},
         0xFF000000},
        {"Gray8",
         SetPixelFormatGray8,
         8,
         1,
         {8, 8, 8, 0},
         {16, 8, 0, 0},
         {0xFF0000, 0xFF00, 0xFF, 0},
         0xFF000000},
        {"Rgb24",
         SetPixelFormatRgb24,
         24,
         3,
         {8, 8, 8, 0},
         {16, 8, 0, 0},
         {0xFF0000, 0xFF00, 0xFF, 0},
         0},
        {"Xrgb32",
         SetPixelFormatXrgb32,
         32,
         4,
         {8, 8, 8, 0},
         {16, 8, 0, 0},
         {0xFF0000, 0xFF00, 0xFF, 0},
         0xFF000000},
        {"Argb32",
         SetPixelFormatArgb32,
         32,
         4,
         {8, 8, 8, 8},
         {16, 8, 0, 24},
         {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
         0},
    };
    for (const PresetCase& c : cases) {
        SCOPED_TRACE(c.name);
        PixelFormatDesc f = Blank();
        c.apply(&f);
        EXPECT_EQ(f.bits, c.bits);
        EXPECT_EQ(f.bytes, c.bytes);
        EXPECT_EQ(f.redWidth, c.widths[0]);
        EXPECT_EQ(f.greenWidth, c.widths[1]);
        EXPECT_EQ(f.blueWidth, c.widths[2]);
        EXPECT_EQ(f.alphaWidth, c.widths[3]);
        EXPECT_EQ(f.redShift, c.shifts[0]);
        EXPECT_EQ(f.greenShift, c.shifts[1]);
        EXPECT_EQ(f.blueShift, c.shifts[2]);
        EXPECT_EQ(f.alphaShift, c.shifts[3]);
        EXPECT_EQ(f.redMask, c.masks[0]);
        EXPECT_EQ(f.greenMask, c.masks[1]);
        EXPECT_EQ(f.blueMask, c.masks[2]);
        EXPECT_EQ(f.alphaMask, c.masks[3]);
        EXPECT_EQ(f.unusedMask, c.unused);
        EXPECT_EQ(f.compressedKind, 0u);
    }
}

TEST(PixelFormat, PresetsLeaveThePaletteExceptGray) {
    PixelFormatDesc f = Blank();
    SetPixelFormatPal8(&f);
    EXPECT_EQ(f.palette[7].red, 0xAB);
    SetPixelFormatGray8(&f);
    for (int i : {0, 1, 128, 255}) {
        EXPECT_EQ(f.palette[i].red, i);
        EXPECT_EQ(f.palette[i].green, i);
        EXPECT_EQ(f.palette[i].blue, i);
        EXPECT_EQ(f.palette[i].alpha, 0);
    }
    SetPixelFormatXrgb32(&f);
    EXPECT_EQ(f.unusedShift, 24);
    EXPECT_EQ(f.unusedWidth, 8);
    f.unusedShift = 3;
    SetPixelFormatArgb32(&f);
    EXPECT_EQ(f.unusedShift, 3);  // left as it was
}

TEST(PixelFormat, FromMasksFindsRunsAndTheUnusedBits) {
    struct Case {
        int bits;
        uint32_t r, g, b, a;
        int widths[4], shifts[4];
        uint32_t unused;
        int unusedShift, unusedWidth;
    };
    const Case cases[] = {
        {16, 0xF800, 0x7E0, 0x1F, 0, {5, 6, 5, 0}, {11, 5, 0, 0}, 0, 0, 0},
        {16, 0x7C00, 0x3E0, 0x1F, 0, {5, 5, 5, 0}, {10, 5, 0, 0}, 0x8000, 15, 1},
        {16, 0x7C00, 0x3E0, 0x1F, 0x8000, {5, 5, 5, 1}, {10, 5, 0, 15}, 0, 0, 0},
        {16, 0xF00, 0xF0, 0xF, 0xF000, {4, 4, 4, 4}, {8, 4, 0, 12}, 0, 0, 0},
        {32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000, {10, 10, 10, 2}, {0, 10, 20, 30}, 0, 0, 0},
        {32, 0xFF0000, 0xFF00, 0xFF, 0, {8, 8, 8, 0}, {16, 8, 0, 0}, 0xFF000000, 24, 8},
        {8, 0xE0, 0x1C, 0x3, 0, {3, 3, 2, 0}, {5, 2, 0, 0}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.r);
        PixelFormatDesc f = Blank();
        SetPixelFormatFromMasks(&f, c.bits, c.r, c.g, c.b, c.a);
        EXPECT_EQ(f.bits, c.bits);
        EXPECT_EQ(f.bytes, c.bits / 8);
        EXPECT_EQ(f.compressedKind, 0u);
        const int widths[4] = {f.redWidth, f.greenWidth, f.blueWidth, f.alphaWidth};
        const int shifts[4] = {f.redShift, f.greenShift, f.blueShift, f.alphaShift};
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(widths[k], c.widths[k]) << k;
            EXPECT_EQ(shifts[k], c.shifts[k]) << k;
        }
        EXPECT_EQ(f.alphaMask, c.a);
        EXPECT_EQ(f.unusedMask, c.unused);
        EXPECT_EQ(f.unusedShift, c.unusedShift);
        EXPECT_EQ(f.unusedWidth, c.unusedWidth);
    }
}

TEST(PixelFormat, ComputeUnusedBitMaskKeepsShiftAndWidth) {
    PixelFormatDesc f = Blank();
    SetPixelFormatFromMasks(&f, 16, 0x7C00, 0x3E0, 0x1F, 0);
    f.unusedMask = 0;
    f.unusedShift = 9;
    ComputeUnusedBitMask(&f);
    EXPECT_EQ(f.unusedMask, 0x8000u);
    EXPECT_EQ(f.unusedShift, 9);
    SetPixelFormatArgb32(&f);
    f.unusedMask = 123;
    ComputeUnusedBitMask(&f);
    EXPECT_EQ(f.unusedMask, 0u);
}

TEST(PixelFormat, EncodeCutsChannelsToTheirWidths) {
    PixelFormatDesc f;
    SetPixelFormatFromMasks(&f, 16, 0xF800, 0x7E0, 0x1F, 0);
    EXPECT_EQ(EncodePixelColor(&f, 255, 255, 255, 255), 0xFFFFu);
    EXPECT_EQ(EncodePixelColor(&f, 0x87, 0x87, 0x87, 0), (0x10u << 11) | (0x21u << 5) | 0x10u);
    SetPixelFormatFromMasks(&f, 16, 0x7C00, 0x3E0, 0x1F, 0x8000);
    EXPECT_EQ(EncodePixelColor(&f, 0, 0, 0, 128), 0x8000u);
    EXPECT_EQ(EncodePixelColor(&f, 0, 0, 0, 127), 0u);
    // Only the low byte of each channel counts; unused bits stay 0.
    SetPixelFormatXrgb32(&f);
    EXPECT_EQ(EncodePixelColor(&f, 0x112, 0x34, 0x56, 0xFF), 0x123456u);
    SetPixelFormatFromMasks(&f, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000);
    EXPECT_EQ(EncodePixelColor(&f, 255, 0, 1, 255), (0x3FCu << 20) | 4u | 0xC0000000u);
}

TEST(PixelFormat, PaletteMatchKeepsTheFirstOfEqualEntries) {
    PixelFormatDesc f;
    std::memset(&f, 0, sizeof(f));
    SetPixelFormatPal8(&f);
    for (int i = 0; i < 256; ++i) {
        f.palette[i] = PaletteEntry{200, 200, 200, 0};
    }
    f.palette[5] = PaletteEntry{10, 20, 30, 7};
    f.palette[9] = PaletteEntry{10, 20, 30, 99};
    f.palette[12] = PaletteEntry{12, 20, 30, 0};
    EXPECT_EQ(EncodePixelColor(&f, 30, 20, 10, 0), 5u);
    EXPECT_EQ(EncodePixelColor(&f, 30, 20, 12, 0), 12u);
    EXPECT_EQ(EncodePixelColor(&f, 30, 20, 11, 255), 5u);  // alpha is ignored
    EXPECT_EQ(EncodePixelColor(&f, 190, 190, 190, 0), 0u);
}

TEST(PixelFormat, DecodeScalesNarrowChannels) {
    PixelFormatDesc f;
    SetPixelFormatFromMasks(&f, 16, 0xF800, 0x7E0, 0x1F, 0);
    int r, g, b, a;
    DecodePixelColor(&f, (31u << 11) | (32u << 5) | 16u, &r, &g, &b, &a);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 32 * 255 / 63);
    EXPECT_EQ(b, 131);
    EXPECT_EQ(a, 0);
    SetPixelFormatFromMasks(&f, 16, 0xF00, 0xF0, 0xF, 0xF000);
    DecodePixelColor(&f, 0x8F17, &r, &g, &b, &a);
    EXPECT_EQ(a, 136);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 17);
    EXPECT_EQ(b, 119);
    // 8-bit colour bytes come out raw; a 2-bit alpha is still scaled.
    SetPixelFormatFromMasks(&f, 32, 0xFF0000, 0xFF00, 0xFF, 0xC0000000);
    DecodePixelColor(&f, 0x40123456, &r, &g, &b, &a);
    EXPECT_EQ(r, 0x12);
    EXPECT_EQ(g, 0x34);
    EXPECT_EQ(b, 0x56);
    EXPECT_EQ(a, 85);
    SetPixelFormatXrgb32(&f);
    DecodePixelColor(&f, 0xFF123456, nullptr, nullptr, nullptr, &a);
    EXPECT_EQ(a, 0);
}

}  // namespace
}  // namespace tessel
