// The software path's glyph pixels for every cache form, checked against the rules worked out
// independently in floating point, on targets with and without alpha.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "graphics/fonts/fonts_internal.h"
#include "graphics/memimg/memimg.h"

using namespace tessel;

namespace {

constexpr uint32_t kColour = 0x204080;
constexpr uint32_t kEdge = 0xF0A010;
constexpr uint32_t kUntouched = 0x5A3C1E0Fu;

// A software-cache font of one 16 x 16 cell, filled by the caller.
struct OneCellFont {
    std::unique_ptr<FontRecord> font = std::make_unique<FontRecord>();
    std::unique_ptr<uint8_t[]> cell = std::make_unique<uint8_t[]>(16 * 16);
    GlyphSlot slot = {};
    explicit OneCellFont(int type) {
        std::memset(font.get(), 0, sizeof(FontRecord));
        std::memset(cell.get(), 0, 16 * 16);
        font->type = type;
        font->cellSize = 16;
        font->cellsPerColumn = 1;
        font->slotCount = 1;
        font->softBits = type == 0 ? 1 : 8;
        font->softPitch = type == 0 ? 2 : 16;
        font->softCache = cell.get();
        slot.width = 16;
        slot.height = 16;
    }
};

struct Target {
    MEMIMG image = {};
    Target(int colorType, int alpha) {
        MemImgCreate(&image, 16, 16, -1, 0, colorType, 0, alpha, 0, nullptr);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                std::memcpy(Pixel(x, y), &kUntouched, Bytes());
            }
        }
    }
    ~Target() { MemImgRelease(&image); }
    int Bytes() const {
        return MemImgBytesPerPixel(image.base->colorType, image.base->alphaFlag == 1, 0);
    }
    uint8_t* Pixel(int x, int y) { return image.pixels + y * image.base->pitch + x * Bytes(); }
    uint32_t Read32(int x, int y) {
        uint32_t v;
        std::memcpy(&v, Pixel(x, y), 4);
        return v;
    }
};

uint32_t Byte(uint32_t rgb, int shift) {
    return (rgb >> shift) & 0xFF;
}

// The anti-aliased edged rule as written: alpha and colour, or false.
bool Expected3(int g, int e, uint32_t* argb) {
    if (g == 0 && e == 0) {
        return false;
    }
    if (g == 0) {
        *argb = (uint32_t(e * 16) << 24) | kEdge;
        return true;
    }
    if (g == 15) {
        *argb = 0xFF000000u | kColour;
        return true;
    }
    const double a = 16.0 * g + (15.0 - g) * e;
    const double weight = std::floor(g * 4096.0 / a);
    uint32_t rgb = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double c = Byte(kColour, shift);
        const double d = Byte(kEdge, shift);
        rgb |= uint32_t(d + std::floor((c - d) * weight / 256.0)) << shift;
    }
    *argb = (uint32_t(a) << 24) | rgb;
    return true;
}

TEST(SoftGlyphs, TheAntialiasedEdgedFormMixesEveryLevelPairByItsRule) {
    OneCellFont f(3);
    for (int e = 0; e < 16; ++e) {
        for (int g = 0; g < 16; ++g) {
            f.cell[e * 16 + g] = uint8_t(e << 4 | g);
        }
    }
    Target target(kMemImgRgb32, 1);
    DrawSoftGlyph(*f.font, f.slot, {0, 0, false}, {kColour, kEdge}, &target.image,
                  RECT{0, 0, 16, 16});
    for (int e = 0; e < 16; ++e) {
        for (int g = 0; g < 16; ++g) {
            uint32_t want = kUntouched;
            Expected3(g, e, &want);
            ASSERT_EQ(target.Read32(g, e), want) << "g " << g << " e " << e;
        }
    }
}

TEST(SoftGlyphs, ThePlainEdgedAndAntialiasedFormsWriteTheirColours) {
    struct Case {
        int type;
        uint8_t stored;
        bool drawn;
        uint32_t argb;
    };
    const Case cases[] = {
        {1, 1, true, 0xFF000000u | kColour},
        {1, 2, true, 0xFF000000u | kEdge},
        {1, 0, false, 0},
        {2, 0, false, 0},
        {2, 1, true, 0x10000000u | kColour},
        {2, 15, true, 0xF0000000u | kColour},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.type << ": " << int(c.stored));
        OneCellFont f(c.type);
        f.cell[3 * 16 + 5] = c.stored;
        Target target(kMemImgRgb32, 1);
        DrawSoftGlyph(*f.font, f.slot, {0, 0, false}, {kColour, kEdge}, &target.image,
                      RECT{0, 0, 16, 16});
        EXPECT_EQ(target.Read32(5, 3), c.drawn ? c.argb : kUntouched);
    }
    // Type 0 keeps a bit a pixel, the leftmost in the top bit.
    OneCellFont bits(0);
    bits.cell[2 * 2 + 1] = 0x20;  // row 2, column 10
    Target target(kMemImgRgb32, 0);
    DrawSoftGlyph(*bits.font, bits.slot, {0, 0, false}, {kColour, kEdge}, &target.image,
                  RECT{0, 0, 16, 16});
    EXPECT_EQ(target.Read32(10, 2), kColour);
    EXPECT_EQ(target.Read32(9, 2), kUntouched);
}

TEST(SoftGlyphs, TargetsWithoutAlphaBlendAndTheClipAndTurnHold) {
    OneCellFont f(2);
    f.cell[0 * 16 + 1] = 8;  // alpha 128 at (1, 0)
    f.cell[2 * 16 + 3] = 15;
    Target target(kMemImgRgb32, 0);
    DrawSoftGlyph(*f.font, f.slot, {0, 0, false}, {kColour, kEdge}, &target.image,
                  RECT{0, 0, 16, 2});
    const uint32_t under = kUntouched & 0xFFFFFF;
    uint32_t want = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        want |= ((Byte(kColour, shift) * 128 + Byte(under, shift) * 127 + 127) / 255) << shift;
    }
    EXPECT_EQ(target.Read32(1, 0), want);
    EXPECT_EQ(target.Read32(3, 2), kUntouched) << "outside the clip";
    // Turned: the cell's top row goes down the column x, the next rows left of it.
    Target turned(kMemImgRgb32, 1);
    DrawSoftGlyph(*f.font, f.slot, {10, 0, true}, {kColour, kEdge}, &turned.image,
                  RECT{0, 0, 16, 16});
    EXPECT_EQ(turned.Read32(10, 1), 0x80000000u | kColour);
    EXPECT_EQ(turned.Read32(8, 3), 0xF0000000u | kColour);
    // RGB565 with alpha: the colour's top bits, the alpha in the third byte.
    Target sixteen(kMemImgRgb565, 1);
    DrawSoftGlyph(*f.font, f.slot, {0, 0, false}, {kColour, kEdge}, &sixteen.image,
                  RECT{0, 0, 16, 16});
    uint16_t colour;
    std::memcpy(&colour, sixteen.Pixel(3, 2), 2);
    EXPECT_EQ(colour, ((0x20 >> 3) << 11) | ((0x40 >> 2) << 5) | (0x80 >> 3));
    EXPECT_EQ(sixteen.Pixel(3, 2)[2], 0xF0);
}

}  // namespace
