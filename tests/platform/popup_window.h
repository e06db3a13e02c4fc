// A bare popup window for the tests and benchmarks that draw into a window's
// framebuffer and need nothing of its messages.
#pragma once

#include "platform/window.h"

namespace windowtest {

// The class takes the default procedure; registering it again on a later
// call fails harmlessly.
inline HWND MakePopupWindow(const char* className, const char* title, int width, int height) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = className;
    RegisterClassExA(&wc);
    return CreateWindowExA(0, className, title, WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                           nullptr, nullptr);
}

}  // namespace windowtest
