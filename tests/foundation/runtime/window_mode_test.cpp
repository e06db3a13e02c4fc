#include <gtest/gtest.h>

#include <string>

#include "foundation/runtime/main_window.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/startup.h"
#include "foundation/runtime/system_state.h"
#include "foundation/runtime/window_mode.h"
#include "platform/window.h"
#include "tests/foundation/runtime/library_test_support.h"

using namespace tessel;
using tessel_test::LibraryTest;

namespace {

const platform::DisplayMode kModes[] = {{640, 480, 32, 60}, {1024, 768, 32, 60}};
const platform::DisplayMode kDesktop = {1024, 768, 32, 60};

struct ChangerCalls {
    int count = 0;
    int args[5] = {};
    bool changeDisplay = true;
};
ChangerCalls changerCalls;

// What the graphics layer does to the display when it re-creates the screen:
// full screen takes the screen's mode, window mode gives the desktop its own.
int ChangeDisplayForMode(int width, int height, int bits, int force, int refresh) {
    ++changerCalls.count;
    int args[5] = {width, height, bits, force, refresh};
    std::copy(args, args + 5, changerCalls.args);
    if (!changerCalls.changeDisplay) {
        return 0;
    }
    if (IsWindowMode() != 0) {
        ChangeDisplaySettingsA(nullptr, 0);
        return 0;
    }
    return tessel_test::SwitchDisplayTo640By480() == DISP_CHANGE_SUCCESSFUL ? 0 : -1;
}

class WindowMode : public LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        platform::SetDisplayModes(kModes, 2, &kDesktop);
        changerCalls = ChangerCalls{};
        SetScreenModeChanger(ChangeDisplayForMode);
    }
    void TearDown() override {
        SetScreenModeChanger(nullptr);
        SetWindowStyleIndex(0);
        LibraryTest::TearDown();
    }
    static DWORD Style() { return static_cast<DWORD>(GetWindowLongA(GetMainWindow(), GWL_STYLE)); }
    static DWORD ExStyle() {
        return static_cast<DWORD>(GetWindowLongA(GetMainWindow(), GWL_EXSTYLE));
    }
    static RECT Client() {
        RECT rect;
        GetClientScreenRect(&rect);
        return rect;
    }
};

TEST_F(WindowMode, StyleIndexAboveTenIsRefusedAndTenHasNoStyleBits) {
    ASSERT_EQ(StartLibrary(), 0);
    ASSERT_EQ(SetWindowStyleIndex(9), 0);
    EXPECT_EQ(Style() & ~WS_VISIBLE, 0x80CA0000u);
    EXPECT_EQ(ExStyle(), 0x100u);
    EXPECT_EQ(SetWindowStyleIndex(11), -1);
    EXPECT_EQ(SetWindowStyleIndex(-1), -1);
    EXPECT_EQ(g_system.styleIndex, 9);
    EXPECT_EQ(Style() & ~WS_VISIBLE, 0x80CA0000u);
    ASSERT_EQ(SetWindowStyleIndex(10), 0);
    EXPECT_EQ(Style() & ~WS_VISIBLE, 0u);
    EXPECT_EQ(ExStyle(), 0u);
    // Whatever the frame, the client area keeps the screen size.
    RECT client = Client();
    EXPECT_EQ(client.right - client.left, 640);
    EXPECT_EQ(client.bottom - client.top, 480);
}

TEST_F(WindowMode, SameModeChangesNothingAndBeforeStartUpOnlyTheFlag) {
    ASSERT_EQ(ChangeWindowMode(1), 0);  // already window mode
    EXPECT_EQ(g_system.windowMode, 1);
    ASSERT_EQ(ChangeWindowMode(0), 0);
    EXPECT_EQ(g_system.windowMode, 0);
    EXPECT_EQ(changerCalls.count, 0);
    ASSERT_EQ(ChangeWindowMode(1), 0);
    ASSERT_EQ(StartLibrary(), 0);
    ASSERT_EQ(ChangeWindowMode(1), 0);
    EXPECT_EQ(changerCalls.count, 0);
    std::string log = Log();
    size_t call = log.rfind("ChangeWindowMode実行 ");
    ASSERT_NE(call, std::string::npos);
    EXPECT_EQ(log.find("ウインドウモードフラグ", call), std::string::npos);
}

TEST_F(WindowMode, SwitchRestylesTheWindowWaitsForTheDisplayChangeAndReturns) {
    ASSERT_EQ(StartLibrary(), 0);
    ASSERT_EQ(ChangeWindowMode(0), 0);
    EXPECT_EQ(changerCalls.count, 1);
    const int keep[5] = {-1, -1, -1, 1, -1};
    EXPECT_TRUE(std::equal(keep, keep + 5, changerCalls.args));
    EXPECT_EQ(g_system.displayChanged, 1);
    EXPECT_EQ(g_system.modeChanging, 0);
    EXPECT_EQ(platform::CurrentDisplayMode().width, 640);
    EXPECT_EQ(Style(), 0x80000000u | WS_VISIBLE);
    EXPECT_EQ(ExStyle() & WS_EX_TOPMOST, WS_EX_TOPMOST);
    RECT rect;
    GetWindowRect(GetMainWindow(), &rect);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, 640);
    EXPECT_EQ(rect.bottom, 480);
    EXPECT_EQ(g_system.cursorShown, 0);
    EXPECT_NE(Log().find("ウインドウスタイルをフルスクリーンモード用に変更します... 完了\r\n"),
              std::string::npos);

    ASSERT_EQ(ChangeWindowMode(1), 0);
    EXPECT_EQ(changerCalls.count, 2);
    EXPECT_EQ(g_system.displayChanged, 1);
    EXPECT_EQ(platform::CurrentDisplayMode().width, 1024);
    EXPECT_EQ(Style(), 0x80CA0000u | WS_VISIBLE);
    EXPECT_EQ(ExStyle() & WS_EX_TOPMOST, 0u);
    RECT client = Client();
    EXPECT_EQ(client.right - client.left, 640);
    EXPECT_EQ(client.bottom - client.top, 480);
    // Centred on the desktop as it was at creation.
    GetWindowRect(GetMainWindow(), &rect);
    EXPECT_EQ((rect.left + rect.right) / 2, 1024 / 2);
    EXPECT_EQ(g_system.cursorShown, 1);
}

TEST_F(WindowMode, SwitchWithoutADisplayChangeWaitsAtMostTwoSeconds) {
    changerCalls.changeDisplay = false;
    ASSERT_EQ(StartLibrary(), 0);
    int start = ReadMillisecondClock();
    ASSERT_EQ(ChangeWindowMode(0), 0);
    int waited = ReadMillisecondClock() - start;
    EXPECT_EQ(g_system.displayChanged, 0);
    EXPECT_GE(waited, 2000);
    EXPECT_LT(waited, 10000);
    EXPECT_EQ(g_system.modeChanging, 0);
}

TEST_F(WindowMode, ClientRectFollowsMovesIncludingLeftOfAndAboveTheDesktop) {
    ASSERT_EQ(StartLibrary(), 0);
    RECT before = Client();
    TrackClientRectOnMove(MAKELONG(-20, -30));
    RECT after = Client();
    EXPECT_EQ(after.left, -20);
    EXPECT_EQ(after.top, -30);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);

    // A real move reaches it through the window procedure.
    SetWindowPos(GetMainWindow(), nullptr, -100, -50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    POINT origin = {0, 0};
    ClientToScreen(GetMainWindow(), &origin);
    after = Client();
    EXPECT_EQ(after.left, origin.x);
    EXPECT_EQ(after.top, origin.y);
    EXPECT_LT(after.left, 0);

    // A size the program did not ask for is put back.
    RECT rect;
    GetWindowRect(GetMainWindow(), &rect);
    MoveWindow(GetMainWindow(), rect.left, rect.top, 300, 200, TRUE);
    RECT client;
    GetClientRect(GetMainWindow(), &client);
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
}

TEST_F(WindowMode, ScaleMetricsCursorAndFront) {
    g_system.windowScaleX = 0.0;
    double x = 0;
    double y = 0;
    GetWindowScale(&x, &y);
    EXPECT_EQ(x, 1.0);
    EXPECT_EQ(y, 1.0);
    EXPECT_EQ(g_system.windowScaleX, 1.0);

    int width = 0;
    int height = 0;
    int bits = 0;
    GetDesktopMetrics(&width, &height, &bits);
    EXPECT_EQ(width, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_GT(bits, 0);
    ASSERT_EQ(StartLibrary(), 0);
    GetDesktopMetrics(&width, nullptr, nullptr);
    EXPECT_EQ(width, g_system.desktopWidth);

    RECT client = Client();
    SetCursorPos(client.left + 33, client.top + 44);
    int mouseX = 0;
    int mouseY = 0;
    QueryMouseClientPos(&mouseX, &mouseY);
    EXPECT_EQ(mouseX, 33);
    EXPECT_EQ(mouseY, 44);

    DWORD timeout = 1234;
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                          reinterpret_cast<LPVOID>(static_cast<uintptr_t>(timeout)), 0);
    BringWindowToFront(GetMainWindow(), 1);
    EXPECT_EQ(GetForegroundWindow(), GetMainWindow());
    DWORD after = 0;
    SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &after, 0);
    EXPECT_EQ(after, timeout);

    ASSERT_EQ(ApplyCursorVisibility(0), 0);
    EXPECT_EQ(ShowCursor(TRUE), 0);  // hidden: the count was below 0
    ShowCursor(FALSE);
    ASSERT_EQ(ApplyCursorVisibility(1), 0);

    EXPECT_EQ(EnableDesktopComposition(0), 0);
    EXPECT_EQ(g_system.compositionOff, 1);
    EXPECT_EQ(EnableDesktopComposition(1), 0);
    EXPECT_EQ(g_system.compositionOff, 0);
}

}  // namespace
