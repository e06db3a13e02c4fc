// Window mode or full screen, the window styles of each, the window scale and
// the cursor's visibility: what the main window needs to be created and shown.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace tessel {

struct WindowStyleEntry {
    DWORD style;
    DWORD exStyle;
    DWORD fullScreenStyle;
    DWORD fullScreenExStyle;
};

constexpr int kWindowStyleCount = 11;
extern const WindowStyleEntry kWindowStyles[kWindowStyleCount];

// The entry of the current style index (index 0 for an index out of range).
const WindowStyleEntry& CurrentWindowStyle();

// 1 window mode, 0 full screen. Before start-up it only chooses the mode the
// window is created in; switching a running window is not possible yet
// (the screen is re-created by the graphics layer, which does not exist), so
// that returns -1 and logs why.
int ChangeWindowMode(int mode);
void StoreWindowModeFlag(int mode);

// Shows or hides the cursor (wanted 1 or 0; -1 re-applies the wanted state).
int ApplyCursorVisibility(int wanted);

}  // namespace tessel
