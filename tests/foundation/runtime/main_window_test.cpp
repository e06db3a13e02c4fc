// The window procedure's own answers, the options and the clipboard.
#include <atomic>
#include <thread>

#include "foundation/runtime/system_state.h"
#include "platform/kernel.h"
#include "platform/window.h"
#include "tests/foundation/runtime/library_test_support.h"

using namespace tessel;
using tessel_test::LibraryTest;

TEST_F(LibraryTest, WindowRefusesScreenSaverAndMonitorPowerOff) {
    ASSERT_EQ(StartLibrary(), 0);
    HWND window = GetMainWindow();
    EXPECT_EQ(SendMessageA(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0), 1);
    EXPECT_EQ(SendMessageA(window, WM_SYSCOMMAND, SC_MONITORPOWER, 2), 1);
    EXPECT_TRUE(IsWindow(window));
}

TEST_F(LibraryTest, ClassNameIsTheTitleOrTheDefault) {
    ASSERT_EQ(StartLibrary(), 0);
    EXPECT_NE(FindWindowA("LibraryTest", nullptr), nullptr);
    // The class name stays what the first start made it.
    EXPECT_STREQ(g_system.className, "LibraryTest");
    SetWindowTitle("Renamed");
    char title[64] = "";
    GetWindowTextA(GetMainWindow(), title, sizeof(title));
    EXPECT_STREQ(title, "Renamed");
    SetWindowTitle("LibraryTest");
}

TEST_F(LibraryTest, RepaintOfALastFrameFailsWhileNothingKeepsOne) {
    ASSERT_EQ(StartLibrary(), 0);
    EXPECT_EQ(RepaintLastFrame(), -1);
    g_system.ending = 1;
    EXPECT_EQ(RepaintLastFrame(), 0) << "nothing to do while the library ends";
    g_system.ending = 0;
}

TEST(Clipboard, TextGoesInAndComesBack) {
    const char text[] = "クリップボード text";
    EXPECT_EQ(WriteClipboardText(text), 0);
    EXPECT_EQ(ReadClipboardText(nullptr), static_cast<int>(sizeof(text)) + 1);
    char back[64] = "";
    EXPECT_EQ(ReadClipboardText(back), 0);
    EXPECT_STREQ(back, text);
    EXPECT_EQ(WriteClipboardText(nullptr), -1);
}

TEST(Clipboard, BusyClipboardIsAFailure) {
    std::atomic<bool> opened{false};
    std::atomic<bool> done{false};
    std::thread holder([&opened, &done] {
        OpenClipboard(nullptr);
        opened = true;
        while (!done.load()) {
            Sleep(1);
        }
        CloseClipboard();
    });
    while (!opened.load()) {
        Sleep(1);
    }
    EXPECT_EQ(WriteClipboardText("kept out"), -1);
    EXPECT_EQ(ReadClipboardText(nullptr), -1);
    done = true;
    holder.join();
    EXPECT_EQ(WriteClipboardText("now"), 0);
}

TEST_F(LibraryTest, BeforeStartUpThePaintShowsTheBackgroundColour) {
    SetBackgroundRgb(10, 20, 30);
    ASSERT_EQ(StartLibrary(), 0);
    platform::WindowFramebuffer frame;
    ASSERT_TRUE(platform::LockWindowFramebuffer(GetMainWindow(), &frame));
    ASSERT_GT(frame.width, 0);
    uint32_t corner = frame.pixels[0] & 0xFFFFFFu;
    uint32_t last =
        frame.pixels[(frame.height - 1) * (frame.pitch / 4) + frame.width - 1] & 0xFFFFFFu;
    platform::UnlockWindowFramebuffer(GetMainWindow(), false);
    EXPECT_EQ(corner, 0x0A141Eu);
    EXPECT_EQ(last, 0x0A141Eu);
    g_system.backgroundSet = 0;
}

TEST_F(LibraryTest, FullScreenWindowCoversTheScreenWithoutACursor) {
    // Full screen needs a display mode of the screen's size.
    const platform::DisplayMode modes[] = {{640, 480, 16, 60}, {1024, 768, 32, 60}};
    platform::SetDisplayModes(modes, 2, &modes[1]);
    ChangeWindowMode(0);
    ASSERT_EQ(StartLibrary(), 0);
    HWND window = GetMainWindow();
    EXPECT_EQ(IsWindowMode(), 0);
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, 640);
    EXPECT_EQ(rect.bottom, 480);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)) & WS_POPUP, WS_POPUP);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)) & WS_EX_TOPMOST,
              WS_EX_TOPMOST);
    // The pointer over the window hides the cursor: one show brings the
    // count back to 0 only.
    SendMessageA(window, WM_MOUSEMOVE, 0, 0);
    EXPECT_EQ(ShowCursor(TRUE), 0);
    ShowCursor(FALSE);

    // Losing the activation gives the desktop its own mode back and
    // minimises the window.
    SendMessageA(window, WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_TRUE(IsIconic(window));
    EXPECT_EQ(IsMainWindowActive(), 0);

    EXPECT_EQ(EndLibrary(), 0);
    EXPECT_EQ(ShowCursor(FALSE), -1) << "shown again at shutdown";
    ShowCursor(TRUE);
    ChangeWindowMode(1);
}
