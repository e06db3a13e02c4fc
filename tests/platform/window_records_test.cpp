// Window records: procedure-only windows, geometry, painting, icons and message boxes.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/kernel.h"
#include "platform/window.h"
#include "platform/window_testing.h"
#include "tests/platform/window_test_support.h"

using namespace windowtest;

namespace {

void DrainQueue() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&msg);
    }
}

// ------------------------------------------------------- procedure windows

struct ControlLog {
    std::vector<std::pair<int, UINT>> seen;  // control id, message
};

LRESULT ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto log = static_cast<ControlLog*>(platform::ProcWindowUserData(window));
    if (log != nullptr) {
        log->seen.push_back({platform::ProcWindowControlId(window), message});
    }
    return message == WM_USER ? static_cast<LRESULT>(wParam + 1) : 0;
}

TEST(ProcWindows, SendPostAndDestroyReachTheProcedure) {
    ControlLog log;
    HWND dialog = platform::CreateProcWindow(ControlProc, nullptr, 0, &log);
    HWND button = platform::CreateProcWindow(ControlProc, dialog, 31, &log);
    HWND other = platform::CreateProcWindow(ControlProc, dialog, 32, &log);
    ASSERT_NE(dialog, nullptr);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(platform::ProcWindowControlId(button), 31);
    EXPECT_EQ(platform::ProcWindowUserData(button), &log);
    EXPECT_EQ(platform::CreateProcWindow(ControlProc, reinterpret_cast<HWND>(8), 1, nullptr),
              nullptr);

    EXPECT_EQ(SendMessageA(button, WM_USER, 41, 0), 42);
    PostMessageA(other, WM_COMMAND, 1, 0);
    MSG msg;
    ASSERT_GT(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.hwnd, other);
    EXPECT_FALSE(TranslateMessage(&msg));
    DispatchMessageA(&msg);

    log.seen.clear();
    ASSERT_TRUE(DestroyWindow(dialog));
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(IsWindow(button));
    EXPECT_FALSE(IsWindow(other));
    EXPECT_EQ(platform::ProcWindowUserData(button), nullptr);
    // The dialog hears of it first, then each control, then the last word.
    std::vector<std::pair<int, UINT>> expected = {{0, WM_DESTROY},    {31, WM_DESTROY},
                                                  {31, WM_NCDESTROY}, {32, WM_DESTROY},
                                                  {32, WM_NCDESTROY}, {0, WM_NCDESTROY}};
    EXPECT_EQ(log.seen, expected);
    EXPECT_FALSE(DestroyWindow(dialog));
}

TEST(ProcWindows, DestroyFromInsideItsOwnProcedureIsSafe) {
    HWND window = platform::CreateProcWindow(
        [](HWND w, UINT m, WPARAM, LPARAM) -> LRESULT {
            if (m == WM_CLOSE) {
                DestroyWindow(w);
                return 7;
            }
            return 0;
        },
        nullptr, 0, nullptr);
    EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 7);
    EXPECT_FALSE(IsWindow(window));
}

// -------------------------------------------------------------- geometry

TEST(WindowGeometry, StylesFrameTheClientAreaAndMovesAreSigned) {
    RegisterTestClass("GeometryTest");
    const DWORD captioned = 0x80CA0000u;  // caption with fixed frame
    RECT rect = {0, 0, 640, 480};
    ASSERT_TRUE(AdjustWindowRectEx(&rect, captioned, FALSE, WS_EX_WINDOWEDGE));
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    EXPECT_GT(width, 640);
    EXPECT_GT(height - 480, width - 640);  // the caption is at the top only
    HWND window = CreateWindowExA(WS_EX_WINDOWEDGE, "GeometryTest", "geometry", captioned, 100, 50,
                                  width, height, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    EXPECT_EQ(origin.x, 100 - rect.left);
    EXPECT_EQ(origin.y, 50 - rect.top);

    // A frameless pop-up has its client area on its window rectangle.
    RECT bare = {0, 0, 320, 240};
    AdjustWindowRectEx(&bare, WS_POPUP, FALSE, WS_EX_TOPMOST);
    EXPECT_EQ(bare.left, 0);
    EXPECT_EQ(bare.bottom, 240);

    Log().clear();
    ASSERT_TRUE(MoveWindow(window, -30, -20, width, height, TRUE));
    auto moves = Only({WM_MOVE});
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(static_cast<SHORT>(LOWORD(moves[0].lParam)), -30 - rect.left);
    EXPECT_EQ(static_cast<SHORT>(HIWORD(moves[0].lParam)), -20 - rect.top);
    EXPECT_TRUE(Only({WM_SIZE}).empty());

    Log().clear();
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOREDRAW);
    EXPECT_TRUE(Only({WM_MOVE, WM_SIZE}).empty());
    RECT now;
    GetWindowRect(window, &now);
    EXPECT_EQ(now.left, -30);

    // A new style keeps the window rectangle; the client area takes what is left.
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(WS_POPUP));
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)), WS_POPUP);
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, width);
    EXPECT_EQ(client.bottom, height);
    DestroyWindow(window);
    DrainQueue();
}

TEST(WindowGeometry, CreationSendsCreateSizeMoveAndAFailedCreateGivesNull) {
    RegisterTestClass("CreationTest");
    Log().clear();
    HWND window = CreateWindowExA(0, "CreationTest", "creation", WS_POPUP | WS_VISIBLE, 5, 6, 64,
                                  48, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindowVisible(window));
    std::vector<UINT> order;
    for (const Received& r : Log()) {
        if (r.message == WM_NCCREATE || r.message == WM_CREATE || r.message == WM_SIZE ||
            r.message == WM_MOVE || r.message == WM_SHOWWINDOW) {
            order.push_back(r.message);
        }
    }
    std::vector<UINT> expected = {WM_NCCREATE, WM_CREATE, WM_MOVE, WM_SIZE, WM_SHOWWINDOW};
    EXPECT_EQ(order, expected);
    auto sizes = Only({WM_SIZE});
    EXPECT_EQ(sizes[0].lParam, MAKELONG(64, 48));
    DestroyWindow(window);

    EXPECT_EQ(
        CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);

    WNDCLASSEXA refusing = {};
    refusing.cbSize = sizeof refusing;
    refusing.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        return m == WM_CREATE ? -1 : DefWindowProcA(w, m, wp, lp);
    };
    refusing.lpszClassName = "RefusingTest";
    ASSERT_NE(RegisterClassExA(&refusing), 0);
    EXPECT_EQ(RegisterClassExA(&refusing), 0);  // a class registers once
    EXPECT_EQ(
        CreateWindowExA(0, "RefusingTest", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_TRUE(UnregisterClassA("RefusingTest", nullptr));
    EXPECT_FALSE(UnregisterClassA("RefusingTest", nullptr));
    DrainQueue();
}

// ------------------------------------------------------------ framebuffer

TEST(DesktopWindow, IsAlwaysAWindowCoveringTheScreenThatNoSearchFinds) {
    const HWND desktop = GetDesktopWindow();
    ASSERT_NE(desktop, nullptr);
    EXPECT_EQ(GetDesktopWindow(), desktop) << "one desktop for the process";
    EXPECT_TRUE(IsWindow(desktop));
    const platform::DisplayMode screen = platform::CurrentDisplayMode();
    RECT rect = {1, 1, 1, 1};
    ASSERT_TRUE(GetWindowRect(desktop, &rect));
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, screen.width);
    EXPECT_EQ(rect.bottom, screen.height);
    ASSERT_TRUE(GetClientRect(desktop, &rect));
    EXPECT_EQ(rect.right, screen.width);
    EXPECT_FALSE(GetWindowRect(desktop, nullptr));
    // A window of this process is not the desktop, and the desktop is not
    // among this process's windows.
    HWND window = platform::CreateProcWindow(DefWindowProcA, nullptr, 0, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_NE(window, desktop);
    EXPECT_NE(FindWindowA(nullptr, nullptr), desktop);
    EXPECT_NE(GetActiveWindow(), desktop);
    DestroyWindow(window);
    EXPECT_FALSE(DestroyWindow(desktop)) << "the desktop is not this program's to destroy";
    EXPECT_TRUE(IsWindow(desktop));
}

TEST(WindowFramebuffer, FollowsTheClientSizeAndKeepsWhatWasDrawn) {
    RegisterTestClass("FramebufferTest");
    HWND window = CreateWindowExA(0, "FramebufferTest", "fb", WS_POPUP, 0, 0, 8, 4, nullptr,
                                  nullptr, nullptr, nullptr);
    platform::WindowFramebuffer fb = {};
    ASSERT_TRUE(platform::LockWindowFramebuffer(window, &fb));
    EXPECT_EQ(fb.width, 8);
    EXPECT_EQ(fb.height, 4);
    EXPECT_EQ(fb.pitch, 32);
    for (int y = 0; y < fb.height; ++y) {
        for (int x = 0; x < fb.width; ++x) {
            EXPECT_EQ(fb.pixels[y * fb.pitch / 4 + x], 0u);  // starts black
            fb.pixels[y * fb.pitch / 4 + x] =
                0x00010000u * static_cast<uint32_t>(y) + static_cast<uint32_t>(x);
        }
    }
    platform::UnlockWindowFramebuffer(window, true);

    SetWindowPos(window, nullptr, 0, 0, 5, 6, SWP_NOMOVE | SWP_NOZORDER);
    ASSERT_TRUE(platform::LockWindowFramebuffer(window, &fb));
    EXPECT_EQ(fb.width, 5);
    EXPECT_EQ(fb.height, 6);
    EXPECT_EQ(fb.pitch, 20);
    EXPECT_EQ(fb.pixels[3 * 5 + 4], 0x00030004u);  // kept
    EXPECT_EQ(fb.pixels[5 * 5 + 0], 0u);           // new rows are black
    platform::UnlockWindowFramebuffer(window, false);

    // A record locked across DestroyWindow stays until the unlock.
    ASSERT_TRUE(platform::LockWindowFramebuffer(window, &fb));
    DestroyWindow(window);
    fb.pixels[0] = 1;
    platform::UnlockWindowFramebuffer(window, true);
    EXPECT_FALSE(platform::LockWindowFramebuffer(window, &fb));
    DrainQueue();
}

// -------------------------------------------------------------- clipboard

TEST(Clipboard, JapaneseTextRoundTripsAndNeedsTheClipboardOpen) {
    const char* text = "クリップ\r\nボード";  // code page 932 bytes in this program
    size_t length = std::strlen(text);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, length + 1);
    std::memcpy(GlobalLock(block), text, length + 1);
    GlobalUnlock(block);

    EXPECT_EQ(SetClipboardData(CF_TEXT, block), nullptr);  // not open
    ASSERT_TRUE(OpenClipboard(nullptr));
    ASSERT_TRUE(EmptyClipboard());
    EXPECT_EQ(SetClipboardData(CF_TEXT, block), block);
    ASSERT_TRUE(CloseClipboard());
    EXPECT_FALSE(CloseClipboard());

    EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));
    EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);  // not open
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE data = GetClipboardData(CF_TEXT);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(GlobalSize(data), length + 1);
    EXPECT_STREQ(static_cast<const char*>(GlobalLock(data)), text);
    GlobalUnlock(data);
    EXPECT_EQ(GetClipboardData(2), nullptr);  // only text is held
    EmptyClipboard();
    EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);
    CloseClipboard();
}

// ----------------------------------------------------------- message boxes

TEST(MessageBoxes, HeadlessAnswersAreTheSetOneOrTheCancelAnswer) {
    struct Case {
        UINT type;
        int set;
        int expected;
    };
    const Case cases[] = {
        {MB_OK, 0, IDOK},           {MB_YESNO, 0, IDNO},           {MB_YESNO, IDYES, IDYES},
        {MB_OKCANCEL, 0, IDCANCEL}, {MB_YESNOCANCEL, 0, IDCANCEL}, {MB_OK | MB_ICONERROR, 0, IDOK},
    };
    int before = platform::MessageBoxCount();
    for (const Case& c : cases) {
        platform::SetMessageBoxAnswer(c.set, true);
        EXPECT_EQ(MessageBoxA(nullptr, "本文", "題名", c.type), c.expected);
    }
    EXPECT_EQ(platform::MessageBoxCount(), before + 6);
    EXPECT_STREQ(platform::LastMessageBoxText(), "本文");
    EXPECT_STREQ(platform::LastMessageBoxCaption(), "題名");
    MessageBoxA(nullptr, "x", nullptr, MB_OK);
    EXPECT_STREQ(platform::LastMessageBoxCaption(), "Error");
    platform::SetMessageBoxAnswer(0, false);
}

// -------------------------------------------------------- system parameters

TEST(SystemParameters, ScreenSaverAndForegroundLockTimeout) {
    BOOL active = FALSE;
    ASSERT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_SENDCHANGE));
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0));
    EXPECT_FALSE(active);
    ASSERT_TRUE(SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDCHANGE));
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    EXPECT_TRUE(active);

    DWORD timeout = 1;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0));
    DWORD old = timeout;
    ASSERT_TRUE(SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                                      reinterpret_cast<LPVOID>(static_cast<ULONG_PTR>(0)), 0));
    SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
    EXPECT_EQ(timeout, 0u);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                          reinterpret_cast<LPVOID>(static_cast<ULONG_PTR>(old)), 0);
    EXPECT_FALSE(SystemParametersInfoA(0x9999, 0, nullptr, 0));
}

// ---------------------------------------------------------------- cursor

TEST(Cursor, ShowCursorCountsAndSetCursorSwaps) {
    int start = ShowCursor(TRUE) - 1;
    EXPECT_EQ(ShowCursor(FALSE), start);
    EXPECT_EQ(ShowCursor(FALSE), start - 1);
    EXPECT_EQ(ShowCursor(TRUE), start);
    HCURSOR arrow = LoadCursorA(nullptr, MAKEINTRESOURCEA(IDC_ARROW));
    ASSERT_NE(arrow, nullptr);
    HCURSOR previous = SetCursor(nullptr);
    EXPECT_EQ(SetCursor(previous), nullptr);
}

}  // namespace

namespace {

// ------------------------------------------------------------ pump hook

TEST(MessagePumpHook, AnotherLoopRunsWhileGetMessageWaits) {
    static int calls = 0;
    calls = 0;
    platform::SetMessagePumpHook(
        [](void* context) {
            // The other loop turns its own event into a message on its third turn.
            if (++calls == 3) {
                PostThreadMessageA(GetCurrentThreadId(), WM_USER + 9,
                                   reinterpret_cast<WPARAM>(context), 0);
            }
        },
        &calls);
    MSG msg;
    ASSERT_GT(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, WM_USER + 9);
    EXPECT_EQ(msg.wParam, reinterpret_cast<WPARAM>(&calls));
    EXPECT_GE(calls, 3);
    platform::SetMessagePumpHook(nullptr, nullptr);
    int before = calls;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    EXPECT_EQ(calls, before);
}

}  // namespace

namespace {

TEST(Icons, ProgramIconsAreOneRecordPerIdAndTheClassIconCanChange) {
    auto program = reinterpret_cast<HINSTANCE>(GetModuleHandleA(nullptr));
    auto instance = program != nullptr ? program : reinterpret_cast<HINSTANCE>(1);
    HICON first = LoadIconA(instance, MAKEINTRESOURCEA(101));
    EXPECT_EQ(LoadIconA(instance, MAKEINTRESOURCEA(101)), first);
    EXPECT_NE(LoadIconA(instance, MAKEINTRESOURCEA(102)), first);
    HICON standard = LoadIconA(nullptr, MAKEINTRESOURCEA(IDI_APPLICATION));
    EXPECT_NE(standard, first);
    const uint32_t pixels[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0x00000000u};
    platform::RegisterIconImage(101, pixels, 2, 2);

    RegisterTestClass("IconTest");
    HWND window = CreateWindowExA(0, "IconTest", "icon", WS_POPUP, 0, 0, 8, 8, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(SetClassLongPtrA(window, GCLP_HICON, reinterpret_cast<LONG_PTR>(first)), 0u);
    EXPECT_EQ(SetClassLongPtrA(window, GCLP_HICON, reinterpret_cast<LONG_PTR>(standard)),
              reinterpret_cast<ULONG_PTR>(first));
    DestroyWindow(window);
    DrainQueue();
}

}  // namespace
