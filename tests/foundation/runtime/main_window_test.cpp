// The window procedure's own answers, the options and the clipboard.
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "foundation/runtime/system_state.h"
#include "platform/kernel.h"
#include "platform/window.h"
#include "platform/winmm.h"
#include "sound/sound_testing.h"
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

TEST_F(LibraryTest, MciNotifyReplaysLoopingMusicAndClosesTheRest) {
    ASSERT_EQ(StartLibrary(), 0);
    HWND window = GetMainWindow();
    struct Case {
        int loop;
        int playing;
        int playingAfter;
    };
    // Looping music starts again; music that is not to loop closes.
    const Case cases[] = {{1, 0, 1}, {1, 1, 1}, {0, 1, 0}, {0, 0, 0}};
    for (const Case& c : cases) {
        SetMciMusicForTest(c.loop, c.playing);
        SendMessageA(window, MM_MCINOTIFY, 1, 0);  // the play finished
        EXPECT_EQ(MciMusicPlayingForTest(), c.playingAfter) << c.loop << c.playing;
    }
    SetMciMusicForTest(0, 0);
}

TEST_F(LibraryTest, EveryFramePollsTheMusicState) {
    ASSERT_EQ(StartLibrary(), 0);
    for (int frame = 0; frame < 3; ++frame) {
        const long before = MusicPollsForTest();
        EXPECT_EQ(PumpMessages(), 0);
        EXPECT_EQ(MusicPollsForTest(), before + 1) << frame;
    }
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
    EndLibrary();

    // Without a title either: the default class, and the default title.
    g_system.className[0] = '\0';
    SetWindowTitle("");
    ASSERT_EQ(StartLibrary(), 0);
    EXPECT_STREQ(g_system.className, "Q123987P");
    EXPECT_NE(FindWindowA("Q123987P", nullptr), nullptr);
    GetWindowTextA(GetMainWindow(), title, sizeof(title));
    EXPECT_STREQ(title, "Tessel");
    EndLibrary();
    g_system.className[0] = '\0';
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
    EXPECT_EQ(ReadClipboardText(nullptr, 0), static_cast<int>(sizeof(text)) + 1);
    char back[64] = "";
    EXPECT_EQ(ReadClipboardText(back, sizeof(back)), 0);
    EXPECT_STREQ(back, text);
    EXPECT_EQ(WriteClipboardText(nullptr), -1);
}

// Puts bytes on the clipboard as another program may: no NUL at the end.
void PutUnterminatedText(const std::string& bytes) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    ASSERT_NE(block, nullptr);
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    EXPECT_NE(SetClipboardData(CF_TEXT, block), nullptr);
    CloseClipboard();
}

TEST(Clipboard, ACopyStopsAtTheBufferAndAtTheBlocksEnd) {
    // The clipboard grows between the size and the copy: the copy keeps to
    // the buffer that the size made, the bytes behind it stay.
    ASSERT_EQ(WriteClipboardText("short"), 0);
    int size = ReadClipboardText(nullptr, 0);
    ASSERT_EQ(size, 7);
    const std::string longer = "a text another program put there since";
    ASSERT_EQ(WriteClipboardText(longer.c_str()), 0);
    std::vector<char> buffer(static_cast<size_t>(size) + 16, '#');
    EXPECT_EQ(ReadClipboardText(buffer.data(), size), 0);
    EXPECT_EQ(std::string(buffer.data()), longer.substr(0, static_cast<size_t>(size) - 1));
    EXPECT_EQ(std::string(buffer.begin() + size, buffer.end()), std::string(16, '#'));

    // A block without a NUL ends where the block does.
    PutUnterminatedText("abcd");
    char out[64];
    std::memset(out, '#', sizeof(out));
    EXPECT_EQ(ReadClipboardText(out, sizeof(out)), 0);
    EXPECT_STREQ(out, "abcd");
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
    EXPECT_EQ(ReadClipboardText(nullptr, 0), -1);
    done = true;
    holder.join();
    EXPECT_EQ(WriteClipboardText("now"), 0);
}

// The lParam of a display change: width in the low word, height in the high.
LPARAM ScreenSize(int width, int height) {
    return static_cast<LPARAM>(MAKELONG(width, height));
}

int Occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

TEST_F(LibraryTest, CreationEndsByFittingTheWindowToTheScreen) {
    g_system.visibleStyle = 0;  // as a program that never switched modes
    ASSERT_EQ(StartLibrary(), 0);
    // The fit marks the window style as shown, so window mode keeps the
    // visible bit from now on.
    EXPECT_EQ(g_system.visibleStyle, 1);
    RECT client;
    GetClientRect(GetMainWindow(), &client);
    EXPECT_EQ(client.right - client.left, 640);
    EXPECT_EQ(client.bottom - client.top, 480);
}

TEST_F(LibraryTest, ADisplayChangeTheWindowCannotFollowEndsTheProgramOnce) {
    ASSERT_EQ(StartLibrary(), 0);
    HWND window = GetMainWindow();
    const int bits = g_system.desktopBits;
    const char* kFirstLine =
        "復元関数が登録されていないためか画面が２４ビットカラーに変更されたため終了します\r\n";
    const char* kSecondLine =
        "またはスクリーンが小さすぎるためか色ビット数の違いが大きいためか終了します\r\n";
    // The same depth and screen size changes nothing.
    SendMessageA(window, WM_DISPLAYCHANGE, static_cast<WPARAM>(bits), ScreenSize(640, 480));
    EXPECT_EQ(g_system.displayChanged, 1);
    EXPECT_EQ(g_system.closePosted, 0);
    EXPECT_EQ(Log().find(kFirstLine), std::string::npos);
    // Twenty-four bits: both lines, one close.
    SendMessageA(window, WM_DISPLAYCHANGE, 24, ScreenSize(640, 480));
    SendMessageA(window, WM_DISPLAYCHANGE, 8, ScreenSize(320, 240));
    EXPECT_EQ(g_system.closePosted, 1);
    DrainMessages();
    EXPECT_EQ(IsQuitRequested(), 1);
    const std::string log = Log();
    EXPECT_EQ(Occurrences(log, kFirstLine), 2) << "written at each change";
    EXPECT_EQ(Occurrences(log, kSecondLine), 2);
    EXPECT_EQ(Occurrences(log, "ウインドウを閉じようとしています\r\n"), 1) << "closed once";
}

TEST_F(LibraryTest, DisplayChangesAreOnlyNotedInFullScreenOrDuringAModeChange) {
    OfferFullScreenModes();
    for (int fullScreen : {1, 0}) {
        SCOPED_TRACE(fullScreen);
        ChangeWindowMode(fullScreen != 0 ? 0 : 1);
        ASSERT_EQ(StartLibrary(), 0);
        g_system.modeChanging = fullScreen != 0 ? 0 : 1;
        SendMessageA(GetMainWindow(), WM_DISPLAYCHANGE, 24, ScreenSize(320, 240));
        g_system.modeChanging = 0;
        EXPECT_EQ(g_system.displayChanged, 1);
        EXPECT_EQ(g_system.closePosted, 0);
        EndLibrary();
    }
}

// Each text follows the one before it in the log.
void ExpectInOrder(const std::string& log, const std::vector<std::string>& texts) {
    size_t at = 0;
    for (const std::string& text : texts) {
        const size_t found = log.find(text, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << text << "\n" << log;
        at = found + text.size();
    }
}

TEST_F(LibraryTest, CreationAndClosingWriteTheirLogLines) {
    OfferFullScreenModes();
    for (int windowMode : {1, 0}) {
        SCOPED_TRACE(windowMode);
        ChangeWindowMode(windowMode);
        ASSERT_EQ(StartLibrary(), 0);
        const std::string created = Log();
        if (windowMode != 0) {
            // The timer test's lines end with a blank that opens the next line.
            ExpectInOrder(
                created,
                {"T:メモリ総量:", "MB  空きメモリ領域:", "MB \r\n",
                 "T:タイマーの精度を検査します\r\n", "T:精度結果 更新回数 マルチメディアタイマー：",
                 "T: ソフトの二重起動検査... 二重起動はされていませんでした\r\n",
                 "T:ウインドウクラスを登録します... 登録に成功しました\r\n",
                 "T:ウインドウモード起動用のウインドウを作成します\r\n",
                 "T:ウインドウの作成に成功しました\r\n", "T:ＩＭＥを無効にしました\r\n"});
        } else {
            ExpectInOrder(created,
                          {"T:フルスクリーンモード用のウインドウを作成します\r\n",
                           "T:ウインドウの作成に成功しました\r\n",
                           "T:カーソルを不可視にしました\r\n", "T:ＩＭＥを無効にしました\r\n"});
        }
        SendMessageA(GetMainWindow(), WM_CLOSE, 0, 0);
        ExpectInOrder(Log(), {"T:ウインドウを閉じようとしています\r\n",
                              "T:ウインドウが破棄されようとしています\r\n",
                              "T:ソフトを終了する準備が整いました\r\n"});
        EndLibrary();
    }
    ChangeWindowMode(1);
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
    const platform::DisplayMode desktopModes[] = {{640, 480, 32, 60}, {1024, 768, 32, 60}};
    platform::SetDisplayModes(desktopModes, 2, &desktopModes[1]);
    ASSERT_EQ(tessel_test::SwitchDisplayTo640By480(), DISP_CHANGE_SUCCESSFUL);
    ASSERT_EQ(platform::CurrentDisplayMode().width, 640);
    SendMessageA(window, WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_EQ(platform::CurrentDisplayMode().width, 1024);
    EXPECT_EQ(platform::CurrentDisplayMode().height, 768);
    EXPECT_TRUE(IsIconic(window));
    EXPECT_EQ(IsMainWindowActive(), 0);

    EXPECT_EQ(EndLibrary(), 0);
    EXPECT_EQ(ShowCursor(FALSE), -1) << "shown again at shutdown";
    ShowCursor(TRUE);
    ChangeWindowMode(1);
}
