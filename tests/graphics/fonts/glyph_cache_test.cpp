// The glyph cache: first-in first-out eviction, the edge masks, the GRAY4 composition of the
// texture cache and the splitting of strings into characters.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "graphics/textures/texture_formats.h"
#include "tests/graphics/fonts/font_test_support.h"

using namespace tessel;

namespace {

const char* const kMask3[] = {"0001000", "0111110", "0111110", "1111111",
                              "0111110", "0111110", "0001000"};

class GlyphCacheTest : public tessel_test::FontTest {};

TEST_F(GlyphCacheTest, MoreDistinctCharactersThanCellsEvictTheFirstOneFirst) {
    StartOn(false);
    const int handle = CreateFontToHandle(nullptr, 140, -1, 0, -1, -1, 0);
    ASSERT_NE(handle, -1);
    FontRecord* font = GetFontRecord(handle);
    ASSERT_EQ(font->slotCount, SoftwareCacheSlots(font->cellSize));
    ASSERT_LE(font->slotCount, 80);
    std::string text;
    for (int i = 0; i < font->slotCount; ++i) {
        text += static_cast<char>('0' + i);
    }
    ASSERT_EQ(PrepareStringGlyphs(text.c_str(), handle, -1, nullptr, nullptr), 0);
    EXPECT_EQ(font->nextSlot, 0) << "the ring is full and starts over";
    text = static_cast<char>('0' + font->slotCount);
    ASSERT_EQ(PrepareStringGlyphs(text.c_str(), handle, -1, nullptr, nullptr), 0);
    const int first = '0';
    const int second = '1';
    EXPECT_EQ(font->codeMap[first].cached, 0u) << "the oldest glyph left the cache";
    EXPECT_NE(font->codeMap[second].cached, 0u);
    EXPECT_EQ(font->codeMap[static_cast<uint8_t>(text.back())].slot, 0) << "it took cell 0";
    EXPECT_EQ(font->nextSlot, 1);
    // Asking for the first character renders it again into the next cell,
    // which evicts the second.
    ASSERT_EQ(PrepareStringGlyphs("0", handle, -1, nullptr, nullptr), 0);
    EXPECT_NE(font->codeMap[first].cached, 0u);
    EXPECT_EQ(font->codeMap[first].slot, 1);
    EXPECT_EQ(font->codeMap[second].cached, 0u);
    EXPECT_EQ(font->nextSlot, 2);
}

// A glyph of one covered pixel, 1-bit or of grey level 16.
struct OnePixel {
    uint8_t bits[4] = {0x80, 0, 0, 0};
    uint8_t gray[4] = {16, 0, 0, 0};
    GlyphBitmap Bitmap(bool isGray) const { return {isGray ? gray : bits, 1, 1, 4, isGray}; }
};

TEST(GlyphCompose, TheEdgeMaskOfSize3AroundOneCoveredPixelInEachCacheForm) {
    const OnePixel pixel;
    constexpr int kCell = 16;
    for (int type : {1, 3}) {
        SCOPED_TRACE(type);
        uint8_t cell[kCell * kCell] = {};
        ComposeSoftGlyph(pixel.Bitmap(type == 3), type, 3, cell, kCell, kCell);
        for (int y = 0; y < kCell; ++y) {
            for (int x = 0; x < kCell; ++x) {
                const int dx = x - 3;
                const int dy = y - 3;
                const bool inMask =
                    dx >= -3 && dx <= 3 && dy >= -3 && dy <= 3 && kMask3[dy + 3][dx + 3] == '1';
                int expected = 0;
                if (type == 1) {
                    expected = dx == 0 && dy == 0 ? 1 : (inMask ? 2 : 0);
                } else {
                    expected = (inMask ? 0xF0 : 0) | (dx == 0 && dy == 0 ? 0x0F : 0);
                }
                ASSERT_EQ(cell[y * kCell + x], expected) << x << "," << y;
            }
        }
    }
    // The texture cache marks the same pixels opaque white in its edge half.
    TextureFormatRequest request = {};
    request.hardware = 1;
    request.colorKey = 1;
    request.colorBits = 16;
    BASEIMAGE cache = {};
    cache.format = *TextureFormatDescriptor(PickTextureFormatIndex(request));
    cache.width = 64;
    cache.height = 32;
    cache.pitch = 128;
    std::vector<uint8_t> pixels(128 * 32);
    cache.pixels = pixels.data();
    ComposeHardGlyph(pixel.Bitmap(false), 1, 3, &cache, 1, 1, kCell, 32);
    const uint16_t white = static_cast<uint16_t>(cache.format.redMask | cache.format.greenMask |
                                                 cache.format.blueMask | cache.format.alphaMask);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 64; ++x) {
            uint16_t value;
            std::memcpy(&value, cache.pixels + y * 128 + x * 2, 2);
            const int dx = x - 32 - 4;
            const int dy = y - 4;
            const bool edge = x >= 32 && dx >= -3 && dx <= 3 && dy >= -3 && dy <= 3 &&
                              kMask3[dy + 3][dx + 3] == '1';
            const bool glyph = x == 4 && y == 4;
            ASSERT_EQ(value, edge || glyph ? white : 0) << x << "," << y;
        }
    }
}

TEST(GlyphCompose, EdgeMasksOfEverySizeMarkTheirShapes) {
    struct Case {
        int size;
        int dx;
        int dy;
        bool marked;
    };
    const Case cases[] = {
        {1, 1, 0, true},  {1, 1, 1, false}, {1, 0, 0, false}, {2, 2, 1, true},
        {2, 2, 2, false}, {2, 0, 0, true},  {3, 3, 0, true},  {3, 3, 1, false},
        {3, 2, 2, true},  {3, 0, -3, true}, {4, 4, 2, true},  {4, 4, 3, false},
        {4, -3, 3, true}, {5, 5, 5, true},  {5, 6, 0, false}, {0, 0, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << ": " << c.dx << "," << c.dy);
        EXPECT_EQ(EdgeMaskCovers(c.size, c.dx, c.dy), c.marked);
    }
}

TEST(GlyphCompose, Gray4LevelsBecomeWhiteWithTheirAlphaAndEdgesCombineCoverage) {
    TextureFormatRequest request = {};
    request.hardware = 1;
    request.alpha = 1;
    request.colorBits = 16;
    const PixelFormatDesc& format = *TextureFormatDescriptor(PickTextureFormatIndex(request));
    ASSERT_EQ(format.alphaWidth, 4);
    ASSERT_EQ(format.alphaShift, 12);
    EXPECT_EQ(GrayLevelPixel(format, 16), 0xFFFF);
    EXPECT_EQ(GrayLevelPixel(format, 8), 0x7FFF);
    EXPECT_EQ(GrayLevelPixel(format, 1), 0x0FFF);
    EXPECT_EQ(GrayLevelPixel(format, 0), 0);

    // Two glyph pixels of level 8 with one empty pixel between them: edge
    // size 1 spreads 8 onto each neighbour and (256 - 8 x 8) >> 4 = 12 onto
    // the pixel both reach.
    const uint8_t gray[4] = {8, 0, 8, 0};
    const GlyphBitmap glyph = {gray, 3, 1, 4, true};
    BASEIMAGE cache = {};
    cache.format = format;
    cache.width = 32;
    cache.height = 16;
    cache.pitch = 64;
    std::vector<uint8_t> pixels(64 * 16);
    cache.pixels = pixels.data();
    ComposeHardGlyph(glyph, 3, 1, &cache, 0, 0, 8, 16);
    auto at = [&](int x, int y) {
        uint16_t value;
        std::memcpy(&value, cache.pixels + y * 64 + x * 2, 2);
        return value;
    };
    EXPECT_EQ(at(1, 1), 0x7FFF) << "the glyph pixel, offset by the edge";
    EXPECT_EQ(at(2, 1), 0) << "level 0 stays transparent";
    EXPECT_EQ(at(16 + 2, 1), GrayLevelPixel(format, 12));
    EXPECT_EQ(at(16 + 0, 1), GrayLevelPixel(format, 8));
    EXPECT_EQ(at(16 + 1, 0), GrayLevelPixel(format, 8));
    EXPECT_EQ(at(16 + 1, 1), 0) << "size 1 leaves the centre";
}

TEST_F(GlyphCacheTest, StringsSplitIntoSingleAndDoubleByteCharacters) {
    StartOn(false);
    const int handle = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0);
    ASSERT_NE(handle, -1);
    FontRecord* font = GetFontRecord(handle);
    const char* text =
        "Aあ\x81\x40"
        "B";
    CharEntry entries[8] = {};
    int count = 0;
    ASSERT_EQ(PrepareStringGlyphs(text, handle, -1, entries, &count), 0);
    ASSERT_EQ(count, 4);
    const char* a = "あ";
    EXPECT_EQ(entries[1].bytes[0], static_cast<uint8_t>(a[0]));
    EXPECT_EQ(entries[1].bytes[1], static_cast<uint8_t>(a[1]));
    EXPECT_EQ(entries[1].bytes[2], 0);
    EXPECT_EQ(entries[3].bytes[1], 0);
    const CodeMapEntry& wide = font->codeMap[CodeMapIndex(entries[1])];
    ASSERT_NE(wide.cached, 0u);
    EXPECT_GT(font->slots[wide.slot].width, 0);
    // The full-width space has metrics only.
    const CodeMapEntry& space = font->codeMap[0x4081];
    ASSERT_NE(space.cached, 0u);
    EXPECT_EQ(font->slots[space.slot].width, 0);
    EXPECT_GT(font->slots[space.slot].advance, 0);
    // A length that cuts a double-byte character keeps its lead byte alone.
    ASSERT_EQ(PrepareStringGlyphs(text, handle, 2, entries, &count), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(entries[1].bytes[1], 0);
    // Every character is rendered once.
    const int next = font->nextSlot;
    ASSERT_EQ(PrepareStringGlyphs("AAAB", handle, -1, nullptr, &count), 0);
    EXPECT_EQ(font->nextSlot, next);
}

// A long string of many distinct uncached characters: every character may be
// missing from the cache, so the list of glyphs still to render needs room
// for one entry per character. 157 single-byte characters (printable ASCII
// and half-width kana) and 71 double-byte ones make 299 bytes, 228 entries.
TEST_F(GlyphCacheTest, ALongStringOfDistinctUncachedCharactersRendersEveryOne) {
    StartOn(false);
    const int handle = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0);
    ASSERT_NE(handle, -1);
    FontRecord* font = GetFontRecord(handle);
    ASSERT_GE(font->slotCount, 228) << "every character fits the ring";
    std::string text;
    for (int c = 0x21; c <= 0x7E; ++c) {
        text += static_cast<char>(c);
    }
    for (int c = 0xA1; c <= 0xDF; ++c) {
        text += static_cast<char>(c);
    }
    for (int i = 0; i < 71; ++i) {
        text += static_cast<char>(0x82);
        text += static_cast<char>(0x9F + i);
    }
    ASSERT_EQ(text.size(), 299u);
    std::vector<CharEntry> entries(text.size());
    int count = 0;
    ASSERT_EQ(PrepareStringGlyphs(text.c_str(), handle, -1, entries.data(), &count), 0);
    ASSERT_EQ(count, 228);
    EXPECT_EQ(font->nextSlot, 228) << "each character took one cell";
    for (int i = 0; i < count; ++i) {
        ASSERT_NE(font->codeMap[CodeMapIndex(entries[i])].cached, 0u) << i;
    }
    EXPECT_EQ(CheckTrackedBlocks(), 0);
    // The library's own buffer (no entries given) takes the same string.
    ResetGlyphCache(handle);
    ASSERT_EQ(PrepareStringGlyphs(text.c_str(), handle, -1, nullptr, &count), 0);
    EXPECT_EQ(count, 228);
    EXPECT_EQ(font->nextSlot, 228);
    EXPECT_EQ(CheckTrackedBlocks(), 0);
}

}  // namespace
