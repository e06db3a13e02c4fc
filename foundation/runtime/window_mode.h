// Window mode or full screen: the window styles of each, the switch between
// the two while running, the placement of the window and its client
// rectangle, the window scale, the desktop metrics, the cursor's visibility,
// bringing the window to the front and desktop composition.
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

// 0, or -1 for an index above 10; in window mode the style applies at once.
int SetWindowStyleIndex(int index);

// 1 window mode, 0 full screen. Before start-up it only chooses the mode the
// window is created in; while running it restyles the window, has the screen
// re-created for the new mode and waits (at most 2 s) for the display change.
// Returns the screen-mode change's result, or 0.
int ChangeWindowMode(int mode);
void StoreWindowModeFlag(int mode);

// The screen-mode change (width, height, colour bits, force, refresh rate; -1
// keeps a value) that re-creates the screen for the current window mode: the
// graphics layer's ChangeScreenModeCore. Tests put another in its place; null
// goes back to it.
using ScreenModeChanger = int (*)(int width, int height, int bits, int force, int refresh);
void SetScreenModeChanger(ScreenModeChanger changer);

// Style, size and position for the current mode and style index.
void ApplyWindowStyle();
// Resizes the window so that its client area is the screen size times the
// window scale.
void FitWindowToClientSize();
// Reads the main window's client rectangle, in screen coordinates, into the
// system state.
void ReadClientRect();
// The client rectangle follows a move (lParam of the move message).
void TrackClientRectOnMove(LPARAM position);

// Shows or hides the cursor (wanted 1 or 0; -1 re-applies the wanted state).
int ApplyCursorVisibility(int wanted);
// Makes the window the foreground window; topmost 1 also keeps it on top.
void BringWindowToFront(HWND window, int topmost);

// Each output may be null. 0.
int GetDesktopMetrics(int* width, int* height, int* colorBits);
int GetWindowScale(double* x, double* y);
int GetClientScreenRect(RECT* rect);
int QueryMouseClientPos(int* x, int* y);

// Switches desktop composition on or off where the desktop offers the switch. 0.
int EnableDesktopComposition(int on);

}  // namespace tessel
