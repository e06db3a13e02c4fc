// Drawing strings on both paths: glyphs against GDI's own bitmaps, spaces, spacing, edges,
// vertical text, the draw area's right edge and the software path's single blend.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "foundation/memory/memory.h"
#include "graphics/draw/draw_calls.h"
#include "tests/graphics/fonts/font_test_support.h"

using namespace tessel;

namespace {

class StringDrawingTest : public tessel_test::BothPathsFontTest {
  protected:
    int MakeFont(int size, int type, int edge = -1) {
        const int handle = CreateFontToHandle(nullptr, size, -1, type, -1, edge, 0);
        EXPECT_NE(handle, -1);
        return handle;
    }
    // Pixels of a rectangle of the frame, row by row.
    static std::vector<uint32_t> Grab(int left, int top, int width, int height) {
        std::vector<uint32_t> out;
        for (int y = top; y < top + height; ++y) {
            for (int x = left; x < left + width; ++x) {
                out.push_back(Screen(x, y));
            }
        }
        return out;
    }
    static int Measure(const char* text, int handle, SIZE* size = nullptr) {
        return DrawStringCore(kStringMeasure, 0, 0, text, White(), nullptr, nullptr, handle, 0, -1,
                              0, size);
    }
};

TEST_P(StringDrawingTest, AGlyphDrawsAsTheBitmapGdiGivesAtItsOrigin) {
    const int handle = MakeFont(24, 0);
    ClearScreen();
    ASSERT_EQ(DrawStringToScreen(40, 30, "g", White(), handle, 0, 0), 0);
    const Glyph g = GdiGlyph(handle, 'g', false);
    const int left = 40 + g.metrics.gmptGlyphOrigin.x;
    const int top = 30 + g.ascent - g.metrics.gmptGlyphOrigin.y;
    int inked = 0;
    for (int y = -2; y < static_cast<int>(g.metrics.gmBlackBoxY) + 2; ++y) {
        for (int x = -2; x < static_cast<int>(g.metrics.gmBlackBoxX) + 2; ++x) {
            const bool inside = x >= 0 && y >= 0 && x < static_cast<int>(g.metrics.gmBlackBoxX) &&
                                y < static_cast<int>(g.metrics.gmBlackBoxY);
            const bool covered = inside && g.At(x, y) != 0;
            inked += covered ? 1 : 0;
            ASSERT_EQ(Screen(left + x, top + y), covered ? 0xFFFFFFu : 0u) << x << "," << y;
        }
    }
    EXPECT_GT(inked, 20);
}

TEST_P(StringDrawingTest, AnEdgedGlyphHasTheEdgeColourRightBesideItsInk) {
    const int handle = MakeFont(24, kFontEdge, 1);
    ClearScreen();
    ASSERT_EQ(DrawStringToScreen(40, 30, "I", White(), handle, Red(), 0), 0);
    const Glyph g = GdiGlyph(handle, 'I', false);
    // With an edge the bitmap sits one pixel further right and down.
    const int left = 40 + g.metrics.gmptGlyphOrigin.x + 1;
    const int top = 30 + g.ascent - g.metrics.gmptGlyphOrigin.y + 1;
    const int row = static_cast<int>(g.metrics.gmBlackBoxY) / 2;
    int firstInk = 0;
    while (g.At(firstInk, row) == 0) {
        ++firstInk;
    }
    EXPECT_EQ(Screen(left + firstInk, top + row), 0xFFFFFFu);
    EXPECT_EQ(Screen(left + firstInk - 1, top + row), 0xFF0000u) << "the edge is drawn first";
    EXPECT_EQ(Screen(left + firstInk - 2, top + row), 0u);
}

TEST_P(StringDrawingTest, AnEmptyOrNullStringDrawsNothing) {
    const int handle = MakeFont(16, 0);
    const FontRecord* font = GetFontRecord(handle);
    ClearScreen();
    EXPECT_EQ(DrawStringToScreen(10, 10, "", White(), handle, 0, 0), 0);
    EXPECT_EQ(DrawStringToScreen(10, 10, nullptr, White(), handle, 0, 0), 0);
    EXPECT_EQ(font->nextSlot, 0) << "nothing was rendered";
    for (uint32_t pixel : Grab(0, 0, 64, 48)) {
        ASSERT_EQ(pixel, 0u);
    }
    SIZE size = {1, 1};
    EXPECT_EQ(Measure("", handle, &size), 0);
    EXPECT_EQ(size.cx, 0);
}

TEST_P(StringDrawingTest, ASpaceBetweenTwoLettersAdvancesTheirPenAndDrawsNothing) {
    const int handle = MakeFont(20, 0);
    ASSERT_EQ(PrepareStringGlyphs("A B", handle, -1, nullptr, nullptr), 0);
    const FontRecord* font = GetFontRecord(handle);
    const auto advance = [&](int code) { return font->slots[font->codeMap[code].slot].advance; };
    EXPECT_GT(advance(' '), 0);
    EXPECT_EQ(Measure("A B", handle), advance('A') + advance(' ') + advance('B'));
    ClearScreen();
    ASSERT_EQ(DrawStringToScreen(20, 20, "A B", White(), handle, 0, 0), 0);
    const std::vector<uint32_t> together = Grab(0, 0, 120, 60);
    ClearScreen();
    DrawStringToScreen(20, 20, "A", White(), handle, 0, 0);
    DrawStringToScreen(20 + advance('A') + advance(' '), 20, "B", White(), handle, 0, 0);
    EXPECT_EQ(Grab(0, 0, 120, 60), together);
}

TEST_P(StringDrawingTest, SpacingTwoWidensTwoCharactersByFourPixels) {
    const int handle = MakeFont(20, 0);
    SIZE plain = {};
    const int width = Measure("AB", handle, &plain);
    SetFontCharSpacing(2, handle);
    SIZE spaced = {};
    EXPECT_EQ(Measure("AB", handle, &spaced), width + 4);
    EXPECT_EQ(spaced.cx, plain.cx + 4);
    EXPECT_EQ(spaced.cy, GetFontRecord(handle)->textHeight);
    SIZE turned = {};
    DrawStringCore(kStringMeasure, 0, 0, "AB", White(), nullptr, nullptr, handle, 0, -1, 1,
                   &turned);
    EXPECT_EQ(turned.cx, spaced.cy);
    EXPECT_EQ(turned.cy, spaced.cx);
}

TEST_P(StringDrawingTest, AStringLongerThanTheStaticBuffersIsMeasuredWhole) {
    const int handle = MakeFont(12, 0);
    const std::string text(300, 'A');
    SetFontCharSpacing(1, handle);
    const int one = Measure("A", handle);
    EXPECT_EQ(Measure(text.c_str(), handle), 300 * one);
    EXPECT_EQ(DrawStringCore(kStringMeasure, 0, 0, text.c_str(), White(), nullptr, nullptr, handle,
                             0, 257, 0, nullptr),
              257 * one);
    const uint32_t blocks = TrackedBlockCount();
    ASSERT_EQ(DrawStringToScreen(0, 0, text.c_str(), White(), handle, 0, 0), 0);
    EXPECT_EQ(TrackedBlockCount(), blocks) << "the long string's buffers were freed";
}

TEST_P(StringDrawingTest, AStringStartingRightOfTheDrawAreaIsNotEvenRendered) {
    const int handle = MakeFont(16, 0);
    const FontRecord* font = GetFontRecord(handle);
    ASSERT_EQ(g_drawSettings.drawTarget, kFrontScreen);
    SetClipRegion(0, 0, 200, 200);
    EXPECT_EQ(DrawStringToScreen(200, 10, "Q", White(), handle, 0, 0), 0);
    EXPECT_EQ(font->codeMap['Q'].cached, 0u);
    EXPECT_EQ(DrawStringToScreen(199, 10, "Q", White(), handle, 0, 0), 0);
    EXPECT_NE(font->codeMap['Q'].cached, 0u);
}

TEST_P(StringDrawingTest, VerticalTextIsTheHorizontalTextTurnedAQuarterClockwise) {
    const int handle = MakeFont(20, 0);
    SIZE size = {};
    Measure("Fj", handle, &size);
    ClearScreen();
    DrawStringToScreen(20, 20, "Fj", White(), handle, 0, 0);
    const std::vector<uint32_t> flat = Grab(20, 20, size.cx, size.cy);
    ClearScreen();
    DrawStringToScreen(300, 20, "Fj", White(), handle, 0, 1);
    int inked = 0;
    for (int y = 0; y < size.cy; ++y) {
        for (int x = 0; x < size.cx; ++x) {
            const uint32_t expected = flat[static_cast<size_t>(y) * size.cx + x];
            inked += expected != 0 ? 1 : 0;
            ASSERT_EQ(Screen(300 + size.cy - 1 - y, 20 + x), expected) << x << "," << y;
        }
    }
    EXPECT_GT(inked, 20);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, StringDrawingTest, ::testing::Bool(), tessel_test::PathName);

class SoftwareStringTest : public tessel_test::FontTest {};

// Two full-width blocks pushed into each other by a negative spacing: where
// they overlap, the blend still applies once.
TEST_F(SoftwareStringTest, AnAntialiasedStringBlendsOverlappingGlyphsOnce) {
    StartOn(false);
    const int handle = CreateFontToHandle(nullptr, 32, -1, kFontAntialiased, -1, -1, 0);
    ASSERT_NE(handle, -1);
    const char* blocks = "■■";
    const Glyph g = GdiGlyph(
        handle, static_cast<uint8_t>(blocks[0]) * 256u + static_cast<uint8_t>(blocks[1]), true);
    const int width = static_cast<int>(g.metrics.gmBlackBoxX);
    const int advance = g.metrics.gmCellIncX;
    ASSERT_GT(width, 12);
    const int overlap = width / 2;
    SetFontCharSpacing(-(advance - width + overlap), handle);
    ClearScreen();
    SetImageBlendMode(1, 128);
    ASSERT_EQ(DrawStringToScreen(40, 40, blocks, White(), handle, 0, 0), 0);
    const int left = 40 + g.metrics.gmptGlyphOrigin.x;
    const int row = 40 + g.ascent - g.metrics.gmptGlyphOrigin.y + g.metrics.gmBlackBoxY / 2;
    const int alone = left + 2;
    const int shared = left + width - overlap / 2;
    ASSERT_EQ(g.At(2, g.metrics.gmBlackBoxY / 2), 16);
    const uint32_t once = Screen(alone, row);
    EXPECT_GT(once & 0xFF, 60u);
    EXPECT_LT(once & 0xFF, 200u) << "the blend applied";
    EXPECT_EQ(Screen(shared, row), once) << "the overlap blended a second time";
}

TEST_F(SoftwareStringTest, ABlendedPlainStringLeavesItsBackgroundBetweenTheGlyphs) {
    StartOn(false);
    const int handle = CreateFontToHandle(nullptr, 24, -1, 0, -1, -1, 0);
    ASSERT_NE(handle, -1);
    FillBoxArea(0, 0, 640, 480, ColorToScreenPixel(0, 0, 200));
    SetImageBlendMode(1, 128);
    ASSERT_EQ(DrawStringToScreen(20, 20, "H H", ColorToScreenPixel(200, 0, 0), handle, 0, 0), 0);
    int blended = 0;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 120; ++x) {
            const uint32_t pixel = Screen(x, y);
            ASSERT_TRUE(pixel == 200u || (pixel >> 16) > 90) << x << "," << y << " " << pixel;
            blended += pixel != 200u ? 1 : 0;
        }
    }
    EXPECT_GT(blended, 20);
}

}  // namespace
