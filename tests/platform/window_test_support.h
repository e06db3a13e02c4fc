// Helpers shared by the window service's tests: a window procedure that
// records what it receives, and a pump.
#pragma once

#include <SDL.h>

#include <vector>

#include "platform/window.h"
#include "platform/window/sdl_backend_internal.h"
#include "platform/window/window_internal.h"

namespace windowtest {

struct Received {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

inline std::vector<Received>& Log() {
    static std::vector<Received> log;
    return log;
}

inline LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Log().push_back({window, message, wParam, lParam});
    return DefWindowProcA(window, message, wParam, lParam);
}

// The messages of the log with the given numbers, in order.
inline std::vector<Received> Only(std::initializer_list<UINT> messages) {
    std::vector<Received> out;
    for (const Received& r : Log()) {
        for (UINT m : messages) {
            if (r.message == m) {
                out.push_back(r);
            }
        }
    }
    return out;
}

inline void RegisterTestClass(const char* name, UINT style = CS_HREDRAW | CS_VREDRAW) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = RecordingProc;
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(IDC_ARROW));
    wc.lpszClassName = name;
    RegisterClassExA(&wc);  // a second registration of the same class fails harmlessly
}

// Takes, translates and dispatches every message that is there now.
inline int PumpAll() {
    MSG msg;
    int count = 0;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        ++count;
    }
    return count;
}

// The SDL window behind a window, to address events as a driver would.
inline platform::WindowRecord* RecordOf(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(platform::WindowLock());
    return platform::FindWindowRecord(window);
}

inline uint32_t SdlIdOf(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(platform::WindowLock());
    return platform::SdlWindowIdOf(platform::FindWindowRecord(window));
}

// Pushes an SDL event as a driver would report it.
inline void PushKey(HWND window, SDL_Scancode code, bool down, Uint16 mod = 0) {
    SDL_Event event = {};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.windowID = SdlIdOf(window);
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.scancode = code;
    event.key.keysym.sym = SDL_GetKeyFromScancode(code);
    event.key.keysym.mod = mod;
    SDL_PushEvent(&event);
}

// The input method's composition (UTF-8, cursor in characters) and typed
// text, as a driver reports them.
inline void PushEditing(HWND window, const char* utf8, int start) {
    SDL_Event event = {};
    event.type = SDL_TEXTEDITING;
    event.edit.windowID = SdlIdOf(window);
    SDL_strlcpy(event.edit.text, utf8, sizeof event.edit.text);
    event.edit.start = start;
    SDL_PushEvent(&event);
}

inline void PushText(HWND window, const char* utf8) {
    SDL_Event event = {};
    event.type = SDL_TEXTINPUT;
    event.text.windowID = SdlIdOf(window);
    SDL_strlcpy(event.text.text, utf8, sizeof event.text.text);
    SDL_PushEvent(&event);
}

inline void PushWindowEvent(HWND window, Uint8 kind, int data1 = 0, int data2 = 0) {
    SDL_Event event = {};
    event.type = SDL_WINDOWEVENT;
    event.window.windowID = SdlIdOf(window);
    event.window.event = kind;
    event.window.data1 = data1;
    event.window.data2 = data2;
    SDL_PushEvent(&event);
}

}  // namespace windowtest
