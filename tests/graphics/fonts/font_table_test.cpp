// The font table: its limit of 40 with the debug text's and the default font's slots, the
// cache sizes, handles kept across a lost device and a screen-mode change.
#include <gtest/gtest.h>

#include <set>

#include "foundation/runtime/debug_text.h"
#include "foundation/runtime/system_state.h"
#include "graphics/device/graphics_device.h"
#include "tests/graphics/fonts/font_test_support.h"

using namespace tessel;

namespace {

class FontTableTest : public tessel_test::FontTest {};

TEST_F(FontTableTest, AfterStartUpTheProgramHas39FontsAndTheNextIsRefusedWithTheLimitLine) {
    StartOn(true);
    // The default font and the debug text's font are there from start-up.
    ASSERT_EQ(g_system.debugText.setUp, 1);
    ASSERT_EQ(IsFontHandleValid(g_system.debugText.fontHandle), 1);
    ASSERT_EQ(IsFontHandleValid(QueryDefaultFontHandle()), 1);
    std::set<int> handles = {g_system.debugText.fontHandle, QueryDefaultFontHandle()};
    for (int i = 0; i < 38; ++i) {
        const int handle = CreateFontToHandle(nullptr, 12, -1, -1, -1, -1, 0);
        ASSERT_NE(handle, -1) << i;
        handles.insert(handle);
    }
    EXPECT_EQ(handles.size(), 40u);
    EXPECT_EQ(CreateFontToHandle(nullptr, 12, -1, -1, -1, -1, 0), -1);
    EXPECT_NE(Log().find("作成できるフォントハンドル数 40 の限界を超えました"), std::string::npos);
    // The default font is the program's 39th: releasing it makes room for one.
    ASSERT_EQ(ReleaseFontHandle(QueryDefaultFontHandle()), 0);
    EXPECT_NE(CreateFontToHandle(nullptr, 12, -1, -1, -1, -1, 0), -1);
    EXPECT_EQ(CreateFontToHandle(nullptr, 12, -1, -1, -1, -1, 0), -1);
}

TEST_F(FontTableTest, WithoutTheDirectDrawObjectTheDebugTextTakesNoSlotAndAll40AreFree) {
    EXPECT_EQ(StartDebugText(), -1);
    EXPECT_EQ(g_system.debugText.setUp, 0);
    std::vector<int> handles;
    for (int i = 0; i < 40; ++i) {
        handles.push_back(CreateFontToHandle(nullptr, 8, -1, -1, -1, -1, 0));
        ASSERT_NE(handles.back(), -1) << i;
    }
    EXPECT_EQ(CreateFontToHandle(nullptr, 8, -1, -1, -1, -1, 0), -1);
    for (int handle : handles) {
        EXPECT_EQ(ReleaseFontHandle(handle), 0);
    }
}

TEST(FontCacheLayout, TheHardwareCacheGrowsUntilTenCellsFitAndTheSoftwareOneKeepsItsBounds) {
    struct Case {
        int cell;
        CacheLayout expected;
    };
    const Case cases[] = {
        {32, {512, 512, 256}},
        {200, {1024, 512, 10}},
        {300, {2048, 1024, 18}},
        {8, {512, 512, kMaxGlyphSlots}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cell);
        const CacheLayout got = HardwareCacheLayout(c.cell);
        EXPECT_EQ(got.width, c.expected.width);
        EXPECT_EQ(got.height, c.expected.height);
        EXPECT_EQ(got.slots, c.expected.slots);
    }
    EXPECT_EQ(SoftwareCacheSlots(16), 1280);
    EXPECT_EQ(SoftwareCacheSlots(200), 20);
    EXPECT_EQ(SoftwareCacheSlots(144), 20);
    EXPECT_EQ(SoftwareCacheSlots(136), 20);
    EXPECT_EQ(SoftwareCacheSlots(120), 22);
    EXPECT_EQ(SoftwareCacheSlots(8), kMaxGlyphSlots);
}

TEST_F(FontTableTest, AFontsCacheFollowsItsCellSizeOnEachPath) {
    for (bool hardware : {true, false}) {
        SCOPED_TRACE(hardware ? "hardware" : "software");
        StartOn(hardware);
        // An edge of 2 with type 0 makes an edged font.
        const int handle = CreateFontToHandle(nullptr, 40, -1, 0, -1, 2, 0);
        ASSERT_NE(handle, -1);
        const FontRecord* font = GetFontRecord(handle);
        EXPECT_EQ(font->type, kFontEdge);
        EXPECT_EQ(font->cellSize % 8, 0);
        EXPECT_GE(font->cellSize, font->textHeight);
        EXPECT_EQ(font->textHeight % 2, 0);
        EXPECT_EQ(font->hardware, hardware ? 1 : 0);
        if (hardware) {
            const CacheLayout layout = HardwareCacheLayout(font->cellSize);
            EXPECT_EQ(font->cacheWidth, layout.width);
            EXPECT_EQ(font->cacheHeight, layout.height);
            EXPECT_EQ(font->slotCount, layout.slots);
            EXPECT_EQ(font->cellsPerColumn, layout.height / font->cellSize);
            const ImageRecord* image = GetImageRecord(font->cacheImage);
            ASSERT_NE(image, nullptr);
            EXPECT_EQ(image->width, 2 * layout.width) << "the edge half sits beside the glyphs";
            EXPECT_EQ(GetImageRecord(font->edgeCacheImage)->width, layout.width);
            EXPECT_EQ(font->cacheBase.width, 2 * layout.width);
        } else {
            EXPECT_EQ(font->slotCount, SoftwareCacheSlots(font->cellSize));
            EXPECT_EQ(font->softBits, 8);
            EXPECT_EQ(font->softPitch, font->cellSize);
        }
        EndLibrary();
    }
}

TEST_F(FontTableTest, FontsSurviveALostDeviceWithTheirHandlesSpacingAndLostFlags) {
    StartOn(true);
    int lost = -1;
    const int handle = CreateFontToHandle(nullptr, 24, -1, kFontAntialiased, -1, -1, 0);
    ASSERT_NE(handle, -1);
    SetFontCharSpacing(3, handle);
    SetFontLostFlagPointer(handle, &lost);
    const int debugFont = g_system.debugText.fontHandle;
    const int defaultFont = QueryDefaultFontHandle();
    ClearScreen();
    ASSERT_EQ(DrawStringToScreen(10, 10, "W", White(), handle, 0, 0), 0);
    const uint32_t before = Screen(10 + 8, 10 + 12);

    platform::LoseD3D9Devices();
    Activate();
    ASSERT_EQ(IsGraphicsDeviceLost(), 0);

    EXPECT_EQ(IsFontHandleValid(handle), 1);
    EXPECT_EQ(IsFontHandleValid(debugFont), 1);
    EXPECT_EQ(QueryDefaultFontHandle(), defaultFont);
    EXPECT_EQ(GetFontRecord(handle)->spacing, 3);
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(g_system.debugText.fontLost, 0);
    ClearScreen();
    ASSERT_EQ(DrawStringToScreen(10, 10, "W", White(), handle, 0, 0), 0);
    EXPECT_EQ(Screen(10 + 8, 10 + 12), before);
    int drawn = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            drawn += Screen(10 + x, 10 + y) != 0 ? 1 : 0;
        }
    }
    EXPECT_GT(drawn, 20) << "the glyph came back";
}

TEST_F(FontTableTest, ALostCacheImageIsMadeAgainByTheNextDrawWithAnEmptyCache) {
    StartOn(true);
    const int handle = CreateFontToHandle(nullptr, 24, -1, kFontEdge, -1, 1, 0);
    ASSERT_NE(handle, -1);
    FontRecord* font = GetFontRecord(handle);
    ASSERT_EQ(DrawStringToScreen(10, 10, "W", White(), handle, Red(), 0), 0);
    ASSERT_NE(font->codeMap['W'].cached, 0u);
    const int edgeImage = font->edgeCacheImage;
    ASSERT_EQ(ReleaseImageHandle(font->cacheImage), 0);
    EXPECT_EQ(font->rebuild, 1) << "the cache image's lost flag";
    ClearScreen();
    ASSERT_EQ(DrawStringToScreen(10, 10, "W", White(), handle, Red(), 0), 0);
    EXPECT_EQ(font->rebuild, 0);
    EXPECT_EQ(IsImageHandleValid(font->cacheImage), 1);
    EXPECT_EQ(IsImageHandleValid(edgeImage), 0) << "the old edge half went with it";
    EXPECT_EQ(IsImageHandleValid(font->edgeCacheImage), 1);
    int white = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            white += Screen(10 + x, 10 + y) == 0xFFFFFFu ? 1 : 0;
        }
    }
    EXPECT_GT(white, 20) << "the glyph was rendered again into the new cache";
}

TEST_F(FontTableTest, AScreenModeChangeBringsTheDefaultFontBackWithItsSize) {
    StartOn(false);
    SetDefaultFontSize(nullptr, 20, 3);
    const FontRecord* font = GetFontRecord(QueryDefaultFontHandle());
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->size, 20);
    ASSERT_EQ(ChangeScreenModeCore(800, 600, 32, 0, -1), 0);
    char face[kFontFaceSize] = "x";
    int size = 0;
    int thickness = 0;
    ASSERT_EQ(QueryFontInfo(face, &size, &thickness, QueryDefaultFontHandle()), 0);
    EXPECT_EQ(size, 20);
    EXPECT_EQ(thickness, 3);
    EXPECT_STREQ(face, "");
}

TEST_F(FontTableTest, BadValuesAndStaleHandlesAreRefused) {
    StartOn(false);
    EXPECT_EQ(CreateFontToHandle(nullptr, 16, -1, 7, -1, -1, 0), -1);
    EXPECT_EQ(CreateFontToHandle(nullptr, 16, -1, 0, 9, -1, 0), -1);
    EXPECT_EQ(CreateFontToHandle(nullptr, 16, -1, 0, -1, -3, 0), -1);
    EXPECT_EQ(CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0, 40), -1);
    EXPECT_EQ(CreateFontToHandle(nullptr, 4000, -1, 0, -1, -1, 0), -1) << "a cell past the limit";
    const int handle = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0);
    ASSERT_NE(handle, -1);
    EXPECT_EQ(CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0, handle & 0xFFFF), -1)
        << "a wanted slot in use";
    ASSERT_EQ(ReleaseFontHandle(handle), 0);
    EXPECT_EQ(ReleaseFontHandle(handle), -1);
    EXPECT_EQ(IsFontHandleValid(handle), 0);
    EXPECT_EQ(QueryFontSize(handle), -1);
    EXPECT_EQ(DrawStringToScreen(0, 0, "A", White(), handle, 0, 0), -1);
    EXPECT_NE(Log().find("フォントハンドル値が異常です"), std::string::npos);
    // The slot comes back with a new check number: the old handle stays stale.
    const int again = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0);
    EXPECT_EQ(again & 0xFFFF, handle & 0xFFFF);
    EXPECT_NE(again, handle);
}

// The text height is the font's tmHeight made even (one more when odd); the
// sizes below reach both parities.
TEST_F(FontTableTest, TheTextHeightIsTheFontsHeightMadeEven) {
    StartOn(false);
    int odd = 0;
    for (int size = 9; size <= 24; ++size) {
        SCOPED_TRACE(size);
        const int handle = CreateFontToHandle(nullptr, size, -1, 0, -1, -1, 0);
        ASSERT_NE(handle, -1);
        const FontRecord* font = GetFontRecord(handle);
        HDC dc = CreateCompatibleDC(nullptr);
        ASSERT_NE(dc, nullptr);
        HGDIOBJ previous = SelectObject(dc, font->gdiFont);
        TEXTMETRICA metrics = {};
        ASSERT_NE(GetTextMetricsA(dc, &metrics), 0);
        SelectObject(dc, previous);
        DeleteDC(dc);
        const int height = static_cast<int>(metrics.tmHeight);
        odd += height % 2;
        EXPECT_EQ(font->textHeight, height % 2 != 0 ? height + 1 : height);
        ReleaseFontHandle(handle);
    }
    EXPECT_GT(odd, 0) << "no size gave an odd height";
}

}  // namespace
