// What the window service asks of the input method: the screen's editing and
// text events, before they become characters, and the characters of a result
// that a window procedure leaves to DefWindowProcA.
#pragma once

#include "platform/ime.h"

namespace platform {

// Offered every editing and text event of a window. True when the event is
// the input method's (it became IME messages, or is dropped while the
// window's input method is off or closed); false for text to post as
// characters.
bool InputMethodTakes(const WindowEvent& event, HWND window);

// DefWindowProcA of WM_IME_COMPOSITION: a result (GCS_RESULTSTR in `flags`)
// is posted to the window as WM_CHAR bytes, as typed text would be.
void PostResultAsCharacters(HWND window, LPARAM flags);

// A destroyed window's context goes with it.
void ForgetInputContext(HWND window);

}  // namespace platform
