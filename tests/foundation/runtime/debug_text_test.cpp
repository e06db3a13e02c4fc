// The debug text's console: its font slot from start-up to shutdown and its lines drawn over
// the frame by the presentation while it has lines to show.
#include <gtest/gtest.h>

#include <cstring>

#include "foundation/runtime/debug_text.h"
#include "foundation/runtime/system_state.h"
#include "tests/graphics/fonts/font_test_support.h"

using namespace tessel;

namespace {

class DebugTextTest : public tessel_test::FontTest {};

TEST_F(DebugTextTest, EndingTheLibraryReleasesTheDebugTextsFontAndMarksItLost) {
    StartOn(false);
    const int handle = g_system.debugText.fontHandle;
    ASSERT_EQ(g_system.debugText.fontLost, 0);
    const FontRecord* font = GetFontRecord(handle);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->size, 16);
    EXPECT_EQ(font->thickness, 4);
    EXPECT_EQ(font->type, kFontEdge);
    EXPECT_EQ(StartDebugText(), 0);
    EXPECT_EQ(g_system.debugText.fontHandle, handle) << "a second start made another font";
    EndDebugText();
    EXPECT_EQ(IsFontHandleValid(handle), 0);
    EXPECT_EQ(g_system.debugText.fontLost, 1);
    EXPECT_EQ(g_system.debugText.fontHandle, -1);
    EXPECT_EQ(g_system.debugText.setUp, 0);
}

TEST_F(DebugTextTest, ThePresentationDrawsTheLinesOverTheFrameAndKeepsTheSettings) {
    StartOn(false);
    ClearScreen();
    SetClipRegion(10, 10, 20, 20);
    SetImageBlendMode(2, 77);
    SetImageBrightness(10, 20, 30);
    const DrawSettings before = g_drawSettings;
    std::strcpy(g_system.debugText.lines[1], "DEBUG");
    PresentScreen(nullptr);
    EXPECT_EQ(Screen(40, 16 + 8), 0u) << "nothing is drawn while it is not shown";
    g_system.debugText.shown = 1;
    PresentScreen(nullptr);
    g_system.debugText.shown = 0;
    int white = 0;
    for (int y = 16; y < 32; ++y) {
        for (int x = 0; x < 80; ++x) {
            white += Screen(x, y) == 0xFFFFFFu ? 1 : 0;
        }
    }
    EXPECT_GT(white, 20) << "the second line, white, untinted and unblended";
    EXPECT_EQ(Screen(40, 4), 0u) << "the first line is empty";
    EXPECT_EQ(g_drawSettings.drawArea.left, before.drawArea.left);
    EXPECT_EQ(g_drawSettings.drawArea.right, before.drawArea.right);
    EXPECT_EQ(g_drawSettings.blendMode, 2);
    EXPECT_EQ(g_drawSettings.blendParam, 77);
    EXPECT_EQ(g_drawSettings.brightness, before.brightness);
}

}  // namespace
