// Screen modes: what SetScreenMode takes before and after start-up, the
// full-screen 320x240 mode served on a 640x480 display, and the fall-backs of
// a change the display cannot serve.
#include <gtest/gtest.h>

#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "tests/graphics/device/graphics_test_support.h"

using namespace tessel;
using tessel_test::GraphicsTest;

namespace {

struct Mode {
    int width, height, bits, refresh;
    bool operator==(const Mode&) const = default;
};

Mode Settings() {
    return {g_screen.width, g_screen.height, g_screen.colorBits, g_screen.refreshRate};
}

class ScreenMode : public GraphicsTest {
  protected:
    void TearDown() override {
        GraphicsTest::TearDown();
        ChangeWindowMode(1);
    }
    static void StartFullScreen(Mode mode) {
        ChangeWindowMode(0);
        ASSERT_EQ(SetScreenMode(mode.width, mode.height, mode.bits, mode.refresh), 0);
        ASSERT_EQ(StartLibrary(), 0);
        ASSERT_EQ(IsFullScreenMode(), 1);
    }
};

TEST_F(ScreenMode, BadRequestsAreRefusedWithNothingChanged) {
    const Mode bad[] = {{0, 480, 16, 0}, {640, 0, 16, 0}, {640, 480, 24, 60}, {640, 480, 15, 0}};
    ASSERT_EQ(SetScreenMode(800, 600, 16, 0), 0);
    for (const Mode& m : bad) {
        SCOPED_TRACE(testing::Message() << m.width << "x" << m.height << "x" << m.bits);
        EXPECT_EQ(SetScreenMode(m.width, m.height, m.bits, m.refresh), -1);
        EXPECT_EQ(Settings(), (Mode{800, 600, 16, 0}));
    }
    ASSERT_EQ(StartLibrary(), 0);
    IDirect3DDevice9* device = g_graphics.device;
    Mode running = Settings();
    for (const Mode& m : bad) {
        SCOPED_TRACE(testing::Message() << "running, " << m.width << "x" << m.bits);
        EXPECT_EQ(SetScreenMode(m.width, m.height, m.bits, m.refresh), -1);
        EXPECT_EQ(Settings(), running);
        EXPECT_EQ(g_graphics.device, device);
    }
}

TEST_F(ScreenMode, BeforeStartUpTheModeIsOnlyStored) {
    ASSERT_EQ(SetScreenMode(800, 600, 32, 75), 0);
    EXPECT_EQ(Settings(), (Mode{800, 600, 32, 75}));
    EXPECT_EQ(GetMainWindow(), nullptr);
    EXPECT_EQ(g_graphics.started, 0);
}

TEST_F(ScreenMode, WhileRunningTheScreenIsMadeAgainInTheNewMode) {
    ASSERT_EQ(StartLibrary(), 0);
    EXPECT_EQ(SetScreenMode(800, 600, 32, 0), 0);
    EXPECT_EQ(Settings(), (Mode{800, 600, 32, 0}));
    EXPECT_EQ(g_graphics.started, 1);
    EXPECT_EQ(Desc(g_graphics.backBuffer).Width, 800u);
    EXPECT_EQ(g_graphics.device, platform::CurrentD3D9Device());
    RECT client;
    GetClientRect(GetMainWindow(), &client);
    EXPECT_EQ(client.right, 800);
    EXPECT_EQ(client.bottom, 600);
    std::string log = Log();
    size_t begin = log.find("T:画面モード変更処理を開始します\r\n");
    ASSERT_NE(begin, std::string::npos);
    EXPECT_NE(log.find("T:画面モード変更処理は正常に終了しました\r\n", begin), std::string::npos)
        << "the closing line is back at the outer indent";
}

TEST_F(ScreenMode, FullScreen320x240IsServedOnA640x480Device) {
    StartFullScreen({320, 240, 16, 0});
    EXPECT_EQ(g_screen.lowResolutionMode, 1);
    EXPECT_EQ(g_graphics.hardwareInUse, 1);
    int width = 0;
    int height = 0;
    int bits = 0;
    QueryScreenState(&width, &height, &bits);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    EXPECT_EQ(bits, 16);
    QueryScreenSize(&width, &height);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    D3DSURFACE_DESC back = Desc(g_graphics.backBuffer);
    EXPECT_EQ(back.Width, 640u);
    EXPECT_EQ(back.Height, 480u);
    EXPECT_EQ(back.Format, static_cast<D3DFORMAT>(D3DFMT_R5G6B5));
    // The program set the display itself, and gives it back with the device.
    platform::DisplayMode display = platform::CurrentDisplayMode();
    EXPECT_EQ(display.width, 640);
    EXPECT_EQ(display.bitsPerPixel, 16);
    ReleaseDirect3D();
    EXPECT_EQ(platform::CurrentDisplayMode().width, 1024);
}

TEST_F(ScreenMode, AskingFor320x240WhileRunningInFullScreenIsServedAndSaysSo) {
    StartFullScreen({640, 480, 16, 0});
    EXPECT_EQ(SetScreenMode(320, 240, 16, 0), 0);
    EXPECT_EQ(g_screen.lowResolutionMode, 1);
    int width = 0;
    int height = 0;
    QueryScreenState(&width, &height, nullptr);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    EXPECT_EQ(Desc(g_graphics.backBuffer).Width, 640u);
}

TEST_F(ScreenMode, AFullScreenModeTheDisplayLacksIsRefusedAndTheOldOneKept) {
    StartFullScreen({640, 480, 16, 0});
    EXPECT_EQ(SetScreenMode(1280, 1024, 16, 0), -1);
    EXPECT_EQ(Settings(), (Mode{640, 480, 16, 0}));
    EXPECT_EQ(g_graphics.hardwareInUse, 1);
    EXPECT_EQ(Desc(g_graphics.backBuffer).Width, 640u);
}

TEST_F(ScreenMode, WhenNeitherTheNewNorTheOldModeWorksItFallsBackTo640x480At16Bits) {
    StartFullScreen({800, 600, 32, 0});
    // The display loses every mode but 640x480 at 16 bits meanwhile.
    const platform::DisplayMode only = {640, 480, 16, 60};
    platform::SetDisplayModes(&only, 1, &only);
    EXPECT_EQ(SetScreenMode(1024, 768, 32, 0), -2);
    EXPECT_EQ(Settings(), (Mode{640, 480, 16, 0}));
    EXPECT_EQ(g_graphics.started, 1);
    EXPECT_EQ(Desc(g_graphics.backBuffer).Width, 640u);
}

TEST_F(ScreenMode, ASoftwareFullScreenDropsARefreshRateTheDisplayRefuses) {
    struct Case {
        int refresh;
        int kept;
        int shown;
    };
    const Case cases[] = {{75, 75, 75}, {85, 0, 60}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refresh);
        ASSERT_EQ(SetUseHardwareOption(0), 0);
        StartFullScreen({1024, 768, 32, c.refresh});
        EXPECT_EQ(g_graphics.hardwareInUse, 0);
        EXPECT_EQ(g_screen.refreshRate, c.kept);
        platform::DisplayMode display = platform::CurrentDisplayMode();
        EXPECT_EQ(display.width, 1024);
        EXPECT_EQ(display.refreshRate, c.shown);
        ASSERT_EQ(EndLibrary(), 0);
        ChangeWindowMode(1);
    }
}

TEST_F(ScreenMode, AFullScreenSizeNoModeOffersStartsInWindowModeExceptHardware320x240) {
    struct Case {
        const char* name;
        Mode mode;
        int useHardware;
        int windowMode;
    };
    const Case cases[] = {
        {"800x600", {800, 600, 16, 0}, 1, 1},
        {"320x240 in hardware", {320, 240, 16, 0}, 1, 0},
        {"320x240 in software", {320, 240, 16, 0}, 0, 1},
    };
    const platform::DisplayMode modes[] = {{640, 480, 16, 60}, {1024, 768, 32, 60}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::SetDisplayModes(modes, 2, &modes[1]);
        ChangeWindowMode(0);
        ASSERT_EQ(SetUseHardwareOption(c.useHardware), 0);
        ASSERT_EQ(SetScreenMode(c.mode.width, c.mode.height, c.mode.bits, 0), 0);
        ASSERT_EQ(StartLibrary(), 0);
        EXPECT_EQ(IsWindowMode(), c.windowMode);
        ASSERT_EQ(EndLibrary(), 0);
        ChangeWindowMode(1);
        g_screen = {};
    }
}

}  // namespace
