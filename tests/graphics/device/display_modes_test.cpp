// The display-mode list and the full-screen mode the program sets itself,
// with its fall-backs.
#include <gtest/gtest.h>

#include "foundation/math/matrix.h"
#include "graphics/device/device_state.h"
#include "graphics/device/display_modes.h"
#include "graphics/device/graphics_device.h"
#include "graphics/device/shader_pack.h"
#include "graphics/memimg/memimg.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "platform/types.h"
#include "softrender/draw_state.h"
#include "tests/graphics/device/graphics_test_support.h"

using namespace tessel;
using tessel_test::GraphicsTest;

namespace {

void ExpectNoEntry(const DisplayModeEntry& entry) {
    EXPECT_EQ(entry.width, -1);
    EXPECT_EQ(entry.height, -1);
    EXPECT_EQ(entry.bits, -1);
    EXPECT_EQ(entry.refreshRate, -1);
}

TEST_F(GraphicsTest, ADisplayOfOnlyEightBitModesListsNone) {
    const platform::DisplayMode modes[] = {{640, 480, 8, 60}, {800, 600, 8, 60}};
    platform::SetDisplayModes(modes, 2, &modes[0]);
    FreeDisplayModeList();
    EXPECT_EQ(QueryDisplayModeCount(), 0);
    ExpectNoEntry(QueryDisplayMode(0));
    EXPECT_EQ(IsDisplayModeAvailable(640, 480, 8), 0);
}

TEST_F(GraphicsTest, TheListKeepsTheDisplaysOrderFromSixteenBitsUp) {
    FreeDisplayModeList();
    ASSERT_EQ(QueryDisplayModeCount(), 7);  // all but the 8-bit mode
    DisplayModeEntry first = QueryDisplayMode(0);
    EXPECT_EQ(first.width, 640);
    EXPECT_EQ(first.bits, 16);
    DisplayModeEntry last = QueryDisplayMode(6);
    EXPECT_EQ(last.width, 1024);
    EXPECT_EQ(last.bits, 32);
    EXPECT_EQ(last.refreshRate, 75);
    ExpectNoEntry(QueryDisplayMode(-1));
    ExpectNoEntry(QueryDisplayMode(7));
    EXPECT_EQ(IsDisplayModeAvailable(1024, 768, 32), 1);
    EXPECT_EQ(IsDisplayModeAvailable(800, 600, 16), 1);
    EXPECT_EQ(IsDisplayModeAvailable(320, 240, 8), 0);
    EXPECT_EQ(IsDisplayModeAvailable(800, 600, 24), 0);
    // The list is built once and outlives a change of the display until the
    // device part is released.
    const platform::DisplayMode one = {640, 480, 16, 60};
    platform::SetDisplayModes(&one, 1, &one);
    EXPECT_EQ(QueryDisplayModeCount(), 7);
    FreeDisplayModeList();
    EXPECT_EQ(QueryDisplayModeCount(), 1);
}

TEST_F(GraphicsTest, TheProgramsFullScreenModeFallsBackStepByStep) {
    struct Case {
        const char* name;
        int width, height, bits, refresh;
        int result;
        int widthAfter, refreshAfter, emulation;
        int displayWidth, displayRefresh;
        const char* line;
    };
    const Case cases[] = {
        {"served as asked", 1024, 768, 32, 75, 0, 1024, 75, 0, 1024, 75, "成功しました\r\n"},
        {"refresh rate refused", 800, 600, 16, 85, 0, 800, 0, 0, 800, 60, "成功しました\r\n"},
        {"320x240 refused", 320, 240, 16, 0, 0, 640, 0, 1, 640, 60, "成功しました\r\n"},
        {"24 bits", 640, 480, 24, 0, -1, 640, 0, 0, 1024, 60, nullptr},
        {"nothing served", 1280, 1024, 16, 60, -1, 1280, 0, 0, 1024, 60,
         "画面モードの変更に失敗しました\r\n"},
    };
    ASSERT_EQ(StartLibrary(), 0);
    ScreenSettings running = g_screen;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_screen = {c.width, c.height, c.bits, c.refresh, 0};
        g_drawSettings.emulation320x240 = 0;
        EXPECT_EQ(SetFullScreenDisplayMode(), c.result);
        EXPECT_EQ(g_screen.width, c.widthAfter);
        EXPECT_EQ(g_screen.refreshRate, c.refreshAfter);
        EXPECT_EQ(g_drawSettings.emulation320x240, c.emulation);
        platform::DisplayMode display = platform::CurrentDisplayMode();
        EXPECT_EQ(display.width, c.displayWidth);
        EXPECT_EQ(display.refreshRate, c.displayRefresh);
        // Every exit gives the log its indent back.
        WriteLog("after the change\n");
        std::string log = Log();
        size_t after = log.rfind("after the change\r\n");
        ASSERT_NE(after, std::string::npos);
        EXPECT_EQ(log.substr(after - 2, 2), "T:");
        if (c.line != nullptr) {
            EXPECT_NE(log.find(c.line), std::string::npos);
        }
        ChangeDisplaySettingsA(nullptr, 0);
    }
    g_screen = running;
    g_drawSettings.emulation320x240 = 0;
}

}  // namespace
