// Message queues: posting, sending, filters, quitting, timers, keys and bad windows.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/kernel.h"
#include "platform/window.h"
#include "tests/platform/window_test_support.h"

using namespace windowtest;

namespace {

constexpr DWORD kCaptioned = 0x80CA0000u;  // pop-up, caption, system menu, minimise box

class WindowMessages : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterTestClass("MessagesTest");
        window = CreateWindowExA(0, "MessagesTest", "messages", kCaptioned, 10, 20, 200, 150,
                                 nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        PumpAll();
        Log().clear();
    }
    void TearDown() override {
        if (IsWindow(window)) {
            DestroyWindow(window);
        }
        PumpAll();
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        Log().clear();
    }
    HWND window = nullptr;
};

TEST_F(WindowMessages, PostedMessagesArriveInOrderThreadMessagesWithoutWindow) {
    for (UINT i = 0; i < 6; ++i) {
        ASSERT_TRUE(PostMessageA(window, WM_USER + i, i, -static_cast<LPARAM>(i)));
    }
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 100, 1, 2));  // a thread message
    std::vector<UINT> taken;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_USER, WM_USER + 200, PM_REMOVE)) {
        taken.push_back(msg.message);
        if (msg.message == WM_USER + 100) {
            EXPECT_EQ(msg.hwnd, nullptr);
        }
        DispatchMessageA(&msg);
    }
    std::vector<UINT> expected = {WM_USER,     WM_USER + 1, WM_USER + 2,  WM_USER + 3,
                                  WM_USER + 4, WM_USER + 5, WM_USER + 100};
    EXPECT_EQ(taken, expected);
    auto dispatched =
        Only({WM_USER, WM_USER + 1, WM_USER + 2, WM_USER + 3, WM_USER + 4, WM_USER + 5});
    ASSERT_EQ(dispatched.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(dispatched[i].window, window);
        EXPECT_EQ(dispatched[i].wParam, i);
        EXPECT_EQ(dispatched[i].lParam, -static_cast<LPARAM>(i));
    }
}

TEST_F(WindowMessages, PeekFiltersAndNoRemoveLeavesTheMessage) {
    PostMessageA(window, WM_USER + 1, 0, 0);
    PostMessageA(window, WM_USER + 2, 0, 0);
    MSG msg;
    // A filter that skips the first takes the second.
    ASSERT_TRUE(PeekMessageA(&msg, window, WM_USER + 2, WM_USER + 2, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_USER + 2);
    ASSERT_TRUE(PeekMessageA(&msg, window, WM_USER + 2, WM_USER + 2, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&msg, window, WM_USER + 2, WM_USER + 2, PM_REMOVE));
    // Thread messages only (-1): the window's message is not one.
    EXPECT_FALSE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_USER + 1);
}

TEST_F(WindowMessages, QuitComesAfterPostedMessagesAndEndsGetMessage) {
    PostMessageA(window, WM_USER, 0, 0);
    PostQuitMessage(3);
    PostMessageA(window, WM_USER + 1, 0, 0);
    MSG msg;
    std::vector<UINT> taken;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        taken.push_back(msg.message);
    }
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 3u);
    std::vector<UINT> expected = {WM_USER, WM_USER + 1};
    EXPECT_EQ(taken, expected);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

TEST_F(WindowMessages, BadWindowsAreRefused) {
    auto bogus = reinterpret_cast<HWND>(0x1234);
    EXPECT_FALSE(PostMessageA(bogus, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(SendMessageA(bogus, WM_USER, 0, 0), 0);
    MSG msg;
    EXPECT_EQ(GetMessageA(&msg, bogus, 0, 0), -1);
    EXPECT_FALSE(IsWindow(bogus));
    platform::WindowFramebuffer fb;
    EXPECT_FALSE(platform::LockWindowFramebuffer(bogus, &fb));
    EXPECT_FALSE(platform::LockWindowFramebuffer(nullptr, &fb));
    EXPECT_EQ(SetTimer(bogus, 1, 10, nullptr), 0u);
    // A kernel handle is no window, whatever its value.
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(event)));
    CloseHandle(event);
}

// A destroyed window's HWND stays refused once a new window has taken its
// slot: nothing reaches the new window through it.
TEST_F(WindowMessages, StaleWindowsAreRefusedAndLeaveTheNewWindowAlone) {
    HWND stale = CreateWindowExA(0, "MessagesTest", "first", kCaptioned, 0, 0, 100, 80, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(stale, nullptr);
    ASSERT_TRUE(DestroyWindow(stale));
    HWND fresh = CreateWindowExA(0, "MessagesTest", "second", kCaptioned, 0, 0, 100, 80, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(fresh, nullptr);
    EXPECT_NE(fresh, stale);
    PumpAll();
    Log().clear();

    EXPECT_FALSE(IsWindow(stale));
    char title[32] = "untouched";
    EXPECT_EQ(GetWindowTextA(stale, title, sizeof title), 0);
    EXPECT_FALSE(SetWindowTextA(stale, "changed"));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FALSE(PostMessageA(stale, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(SendMessageA(stale, WM_USER, 0, 0), 0);
    MSG msg;
    EXPECT_EQ(GetMessageA(&msg, stale, 0, 0), -1);
    EXPECT_FALSE(SetWindowPos(stale, nullptr, 5, 5, 50, 50, SWP_NOZORDER));
    EXPECT_FALSE(ShowWindow(stale, SW_SHOW));
    platform::WindowFramebuffer fb;
    EXPECT_FALSE(platform::LockWindowFramebuffer(stale, &fb));
    EXPECT_EQ(SetTimer(stale, 1, 10, nullptr), 0u);
    EXPECT_FALSE(DestroyWindow(stale));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);

    EXPECT_TRUE(IsWindow(fresh));
    EXPECT_EQ(GetWindowTextA(fresh, title, sizeof title), 6);
    EXPECT_STREQ(title, "second");
    RECT rect;
    ASSERT_TRUE(GetWindowRect(fresh, &rect));
    EXPECT_EQ(rect.right - rect.left, 100);
    PumpAll();
    EXPECT_TRUE(Only({WM_USER}).empty());
    EXPECT_TRUE(DestroyWindow(fresh));
}

TEST_F(WindowMessages, SendFromAnotherThreadRunsOnTheOwnersThread) {
    static std::atomic<DWORD> ranOn{0};
    ranOn = 0;
    HWND target = platform::CreateProcWindow(
        [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m == WM_USER) {
                ranOn = GetCurrentThreadId();
                return static_cast<LRESULT>(wp * 2);
            }
            return 0;
        },
        nullptr, 0, nullptr);
    std::atomic<LRESULT> result{0};
    std::atomic<bool> done{false};
    std::thread sender([&] {
        result = SendMessageA(target, WM_USER, 21, 0);
        done = true;
    });
    DWORD start = GetTickCount();
    while (!done && GetTickCount() - start < 5000) {
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // answers sent messages
        Sleep(1);
    }
    sender.join();
    EXPECT_EQ(result.load(), 42);
    EXPECT_EQ(ranOn.load(), GetCurrentThreadId());
    DestroyWindow(target);
}

TEST_F(WindowMessages, APostFromAnotherThreadWakesAWaitingGetMessage) {
    DWORD owner = GetCurrentThreadId();
    std::thread poster([&] {
        Sleep(30);
        PostMessageA(window, WM_USER + 1, 5, 0);
        PostThreadMessageA(owner, WM_USER + 2, 6, 0);
    });
    MSG msg;
    ASSERT_GT(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, WM_USER + 1);
    EXPECT_EQ(msg.hwnd, window);
    ASSERT_GT(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, WM_USER + 2);
    EXPECT_EQ(msg.hwnd, nullptr);
    poster.join();
    EXPECT_FALSE(PostThreadMessageA(0x7FFFFFF0u, WM_USER, 0, 0));  // no such thread
}

TEST_F(WindowMessages, TimerFiresInsideThePumpAndStopsWhenKilled) {
    ASSERT_EQ(SetTimer(window, 7, 15, nullptr), 7u);
    MSG msg;
    DWORD start = GetTickCount();
    int timers = 0;
    while (timers < 3 && GetTickCount() - start < 3000) {
        ASSERT_GT(GetMessageA(&msg, nullptr, 0, 0), 0);
        if (msg.message == WM_TIMER) {
            EXPECT_EQ(msg.hwnd, window);
            EXPECT_EQ(msg.wParam, 7u);
            ++timers;
        }
        DispatchMessageA(&msg);
    }
    EXPECT_EQ(timers, 3);
    EXPECT_GE(GetTickCount() - start, 30u);  // three periods of 15 ms, less the first wait
    EXPECT_EQ(Only({WM_TIMER}).size(), 3u);

    EXPECT_TRUE(KillTimer(window, 7));
    EXPECT_FALSE(KillTimer(window, 7));
    Sleep(40);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
}

TEST_F(WindowMessages, ThreadTimerCallsItsProcedureThroughDispatch) {
    static std::atomic<int> calls{0};
    calls = 0;
    UINT_PTR id = SetTimer(nullptr, 0, 10, [](HWND, UINT message, UINT_PTR, DWORD) {
        if (message == WM_TIMER) {
            ++calls;
        }
    });
    ASSERT_NE(id, 0u);
    DWORD start = GetTickCount();
    while (calls < 2 && GetTickCount() - start < 3000) {
        MSG msg;
        if (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            DispatchMessageA(&msg);
        }
    }
    EXPECT_EQ(calls.load(), 2);
    EXPECT_TRUE(KillTimer(nullptr, id));
}

TEST_F(WindowMessages, KeyPressArrivesAsKeyDownThenCharThenKeyUp) {
    PushKey(window, SDL_SCANCODE_A, true);
    PushKey(window, SDL_SCANCODE_A, false);
    PumpAll();
    auto keys = Only({WM_KEYDOWN, WM_CHAR, WM_KEYUP});
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].message, WM_KEYDOWN);
    EXPECT_EQ(keys[0].wParam, static_cast<WPARAM>('A'));
    EXPECT_EQ(static_cast<DWORD>(keys[0].lParam), 0x001E0001u);  // scan code 0x1E, once
    EXPECT_EQ(keys[1].message, WM_CHAR);
    EXPECT_EQ(keys[1].wParam, static_cast<WPARAM>('a'));
    EXPECT_EQ(keys[2].message, WM_KEYUP);
    EXPECT_EQ(static_cast<DWORD>(keys[2].lParam), 0xC01E0001u);  // previous state, released
}

TEST_F(WindowMessages, KeyTranslationTable) {
    struct Case {
        std::vector<SDL_Scancode> held;  // pressed before, released after
        SDL_Scancode key;
        UINT downMessage;
        WPARAM virtualKey;
        DWORD lParam;
        int character;  // -1: none
    };
    const Case cases[] = {
        {{SDL_SCANCODE_LSHIFT}, SDL_SCANCODE_A, WM_KEYDOWN, 'A', 0x001E0001u, 'A'},
        {{}, SDL_SCANCODE_1, WM_KEYDOWN, '1', 0x00020001u, '1'},
        {{SDL_SCANCODE_RSHIFT}, SDL_SCANCODE_1, WM_KEYDOWN, '1', 0x00020001u, '!'},
        {{}, SDL_SCANCODE_RIGHT, WM_KEYDOWN, VK_RIGHT, 0x014D0001u, -1},  // extended
        {{}, SDL_SCANCODE_DELETE, WM_KEYDOWN, VK_DELETE, 0x01530001u, -1},
        {{}, SDL_SCANCODE_KP_ENTER, WM_KEYDOWN, VK_RETURN, 0x011C0001u, 13},
        {{}, SDL_SCANCODE_RETURN, WM_KEYDOWN, VK_RETURN, 0x001C0001u, 13},
        {{SDL_SCANCODE_LCTRL}, SDL_SCANCODE_RETURN, WM_KEYDOWN, VK_RETURN, 0x001C0001u, 10},
        {{}, SDL_SCANCODE_BACKSPACE, WM_KEYDOWN, VK_BACK, 0x000E0001u, 8},
        {{}, SDL_SCANCODE_TAB, WM_KEYDOWN, VK_TAB, 0x000F0001u, 9},
        {{}, SDL_SCANCODE_ESCAPE, WM_KEYDOWN, VK_ESCAPE, 0x00010001u, 27},
        {{SDL_SCANCODE_LCTRL}, SDL_SCANCODE_C, WM_KEYDOWN, 'C', 0x002E0001u, 3},
        {{SDL_SCANCODE_LALT}, SDL_SCANCODE_X, WM_SYSKEYDOWN, 'X', 0x202D0001u, 'x'},
        {{}, SDL_SCANCODE_F10, WM_SYSKEYDOWN, VK_F10, 0x00440001u, -1},
        {{}, SDL_SCANCODE_F1, WM_KEYDOWN, VK_F1, 0x003B0001u, -1},
    };
    for (const Case& c : cases) {
        for (SDL_Scancode h : c.held) {
            PushKey(window, h, true);
        }
        PushKey(window, c.key, true);
        PushKey(window, c.key, false);
        for (SDL_Scancode h : c.held) {
            PushKey(window, h, false);
        }
        Log().clear();
        PumpAll();
        SCOPED_TRACE(SDL_GetScancodeName(c.key));
        Received down = {};
        int character = -1;
        bool found = false;
        for (const Received& r : Log()) {
            if ((r.message == WM_KEYDOWN || r.message == WM_SYSKEYDOWN) &&
                r.wParam == c.virtualKey && !found) {
                down = r;
                found = true;
            }
            if ((r.message == WM_CHAR || r.message == WM_SYSCHAR) && found && character < 0) {
                character = static_cast<int>(r.wParam);
            }
        }
        ASSERT_TRUE(found);
        EXPECT_EQ(down.message, c.downMessage);
        EXPECT_EQ(static_cast<DWORD>(down.lParam), c.lParam);
        EXPECT_EQ(character, c.character);
    }
}

TEST_F(WindowMessages, KeyStateFollowsTakenMessages) {
    PushKey(window, SDL_SCANCODE_LSHIFT, true);
    PushKey(window, SDL_SCANCODE_Z, true);
    PumpAll();
    BYTE state[256];
    ASSERT_TRUE(GetKeyboardState(state));
    EXPECT_EQ(state['Z'] & 0x80, 0x80);
    EXPECT_EQ(state[VK_SHIFT] & 0x80, 0x80);
    EXPECT_EQ(state[VK_LSHIFT] & 0x80, 0x80);
    EXPECT_EQ(state[VK_RSHIFT] & 0x80, 0);
    EXPECT_LT(GetKeyState('Z'), 0);
    EXPECT_LT(GetAsyncKeyState(VK_SHIFT), 0);
    PushKey(window, SDL_SCANCODE_Z, false);
    PushKey(window, SDL_SCANCODE_LSHIFT, false);
    PumpAll();
    EXPECT_GE(GetKeyState('Z'), 0);
    EXPECT_GE(GetKeyState(VK_SHIFT), 0);
    EXPECT_EQ(GetAsyncKeyState(VK_SHIFT) & 0x8000, 0);
}

TEST_F(WindowMessages, JapaneseTextArrivesAsCodePage932Bytes) {
    SDL_Event event = {};
    event.type = SDL_TEXTINPUT;
    event.text.windowID = windowtest::SdlIdOf(window);
    SDL_strlcpy(event.text.text, "x\xE3\x81\x82", sizeof event.text.text);  // "x" and HIRAGANA A
    SDL_PushEvent(&event);
    PumpAll();
    auto chars = Only({WM_CHAR});
    ASSERT_EQ(chars.size(), 2u);  // the ASCII letter comes from its key, not from the text
    EXPECT_EQ(chars[0].wParam, 0x82u);
    EXPECT_EQ(chars[1].wParam, 0xA0u);
}

TEST_F(WindowMessages, MouseMessagesCarryClientPointAndButtons) {
    SDL_Event event = {};
    event.type = SDL_MOUSEBUTTONDOWN;
    event.button.windowID = windowtest::SdlIdOf(window);
    event.button.button = SDL_BUTTON_LEFT;
    event.button.state = SDL_PRESSED;
    event.button.clicks = 1;
    event.button.x = 30;
    event.button.y = 40;
    SDL_PushEvent(&event);
    SDL_Event motion = {};
    motion.type = SDL_MOUSEMOTION;
    motion.motion.windowID = windowtest::SdlIdOf(window);
    motion.motion.x = 31;
    motion.motion.y = 41;
    SDL_PushEvent(&motion);
    SDL_Event wheel = {};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.windowID = windowtest::SdlIdOf(window);
    wheel.wheel.y = -1;
    SDL_PushEvent(&wheel);
    event.type = SDL_MOUSEBUTTONUP;
    event.button.state = SDL_RELEASED;
    SDL_PushEvent(&event);
    PumpAll();
    auto mouse = Only({WM_LBUTTONDOWN, WM_MOUSEMOVE, WM_MOUSEWHEEL, WM_LBUTTONUP});
    ASSERT_EQ(mouse.size(), 4u);
    EXPECT_EQ(mouse[0].message, WM_LBUTTONDOWN);
    EXPECT_EQ(mouse[0].lParam, MAKELONG(30, 40));
    EXPECT_EQ(mouse[0].wParam & MK_LBUTTON, MK_LBUTTON);
    EXPECT_EQ(mouse[1].message, WM_MOUSEMOVE);
    EXPECT_EQ(mouse[1].lParam, MAKELONG(31, 41));
    EXPECT_EQ(mouse[2].message, WM_MOUSEWHEEL);
    EXPECT_EQ(static_cast<SHORT>(HIWORD(mouse[2].wParam)), -WHEEL_DELTA);
    EXPECT_EQ(mouse[3].message, WM_LBUTTONUP);
    EXPECT_EQ(mouse[3].wParam & MK_LBUTTON, 0u);
    // The cursor's screen position is the last client point (the release at
    // 30, 40) moved by the client origin.
    POINT at;
    GetCursorPos(&at);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    EXPECT_EQ(at.x, origin.x + 30);
    EXPECT_EQ(at.y, origin.y + 40);
}

TEST_F(WindowMessages, CloseButtonDestroysThroughDefaultHandlingAndQuitFollows) {
    static std::atomic<bool> sawDestroy{false};
    sawDestroy = false;
    SetWindowLongPtrA(
        window, GWLP_WNDPROC,
        reinterpret_cast<LONG_PTR>(+[](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m == WM_DESTROY) {
                sawDestroy = true;
                PostQuitMessage(0);
                return 0;
            }
            return DefWindowProcA(w, m, wp, lp);
        }));
    PushWindowEvent(window, SDL_WINDOWEVENT_CLOSE);
    MSG msg;
    int got = 0;
    DWORD start = GetTickCount();
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0 && GetTickCount() - start < 3000) {
        DispatchMessageA(&msg);
    }
    EXPECT_EQ(got, 0);
    EXPECT_TRUE(sawDestroy.load());
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(WindowMessages, ActivationIsSentOnShowAndPostedOnFocusChanges) {
    ShowWindow(window, SW_SHOW);
    auto activation = Only({WM_ACTIVATEAPP, WM_ACTIVATE});
    ASSERT_EQ(activation.size(), 2u);
    EXPECT_EQ(activation[0].message, WM_ACTIVATEAPP);
    EXPECT_EQ(activation[0].wParam, 1u);
    EXPECT_EQ(activation[1].message, WM_ACTIVATE);
    EXPECT_EQ(LOWORD(activation[1].wParam), WA_ACTIVE);
    EXPECT_EQ(GetActiveWindow(), window);

    Log().clear();
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_LOST);
    MSG msg;
    std::vector<UINT> queued;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        queued.push_back(msg.message);
        DispatchMessageA(&msg);
    }
    // The pump sees activation as queued messages.
    ASSERT_GE(queued.size(), 2u);
    EXPECT_EQ(queued[0], WM_ACTIVATE);
    EXPECT_EQ(queued[1], WM_ACTIVATEAPP);
    activation = Only({WM_ACTIVATEAPP, WM_ACTIVATE});
    ASSERT_EQ(activation.size(), 2u);
    EXPECT_EQ(LOWORD(activation[0].wParam), WA_INACTIVE);
    EXPECT_EQ(activation[1].wParam, 0u);
    EXPECT_EQ(GetActiveWindow(), nullptr);

    Log().clear();
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_GAINED);
    PumpAll();
    activation = Only({WM_ACTIVATEAPP, WM_ACTIVATE});
    ASSERT_EQ(activation.size(), 2u);
    EXPECT_EQ(activation[0].wParam, 1u);
    EXPECT_EQ(LOWORD(activation[1].wParam), WA_ACTIVE);
    // A second report of the same focus changes nothing.
    Log().clear();
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_GAINED);
    PumpAll();
    EXPECT_TRUE(Only({WM_ACTIVATEAPP, WM_ACTIVATE}).empty());
}

TEST_F(WindowMessages, PaintComesUntilValidatedAndUpdateWindowSendsIt) {
    ShowWindow(window, SW_SHOW);  // showing leaves the whole client area to paint
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, window);
    // Taking it does not validate; only painting does.
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE));
    DispatchMessageA(&msg);  // the default handling paints
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE));

    Log().clear();
    RECT part = {5, 5, 20, 20};
    InvalidateRect(window, &part, FALSE);
    UpdateWindow(window);
    EXPECT_EQ(Only({WM_PAINT}).size(), 1u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE));

    InvalidateRect(window, &part, TRUE);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(WindowFromDC(dc), window);
    EXPECT_EQ(paint.rcPaint.left, 5);
    EXPECT_EQ(paint.rcPaint.bottom, 20);
    EXPECT_TRUE(paint.fErase);
    EndPaint(window, &paint);
}

}  // namespace
