// The library's one top-level window, created on the thread that starts the
// library (the window thread), its window procedure, the options that shape
// it, and the clipboard.
#pragma once

#include "platform/types.h"

namespace tessel {

// The class name used when neither a class name nor a title was set.
inline constexpr char kDefaultClassName[] = "Q123987P";
inline constexpr char kDefaultTitle[] = "Tessel";

HWND GetMainWindow();
int IsWindowMode();
int IsQuitRequested();
int IsMainWindowActive();
int IsMmxSupported();
// 1 when the library itself posted a close to the window.
int IsCloseRequested();

// Options, before or after start-up; each returns 0.
int SetWindowTitle(const char* title);
int SetWindowIcon(int iconId);
int SetBackgroundRgb(int red, int green, int blue);
int SetRunWhenInactive(int on);

// Plain text (code page 932). With a buffer of bufferBytes, copies the
// clipboard's text into it (cut to bufferBytes - 1 bytes and a NUL) and
// returns 0; with null, returns the size of the clipboard's block plus one.
// -1 when the clipboard cannot be opened or holds no text.
int ReadClipboardText(char* buffer, int bufferBytes);
// 0, or -1 when the text cannot be stored (the clipboard busy elsewhere).
int WriteClipboardText(const char* text);

// Resets the global state, measures the machine, refuses a second instance
// and creates the window. 0, or -1 (and the quit flag) on failure.
int CreateMainWindow();
// Closes the window, waits until it is gone and undoes what creation did
// to the process. 0.
int DestroyMainWindow();
// Shows the last presented frame again while the window is inactive.
int RepaintLastFrame();
LRESULT MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace tessel
