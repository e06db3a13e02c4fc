// The contract between the window service and its backend: the one place
// that puts windows on a screen and reads the keyboard and the mouse. The
// service decides everything Windows defines (messages, activation, sizes,
// what headless means); the backend only carries it out and reports back.
//
// A backend fills in every function below and nothing else, in files named
// for it: sdl_*.cpp is the one we build (SDL2). No type of a backend reaches
// the rest of the service: a window's backend state hangs off the opaque
// WindowRecord::backend, and events arrive as WindowEvent records.
//
// Every function runs on the thread that started video (IsVideoThread()),
// except where it says otherwise.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/window/window_internal.h"

namespace platform {

// ------------------------------------------------------------------ video
// Starts video, once, on the calling thread; false when no driver can start.
// `real` tells a driver that shows windows from one that keeps them in memory
// (dummy, offscreen); `named` that the driver running is one the environment
// asked for by name (SDL_VIDEODRIVER), not one fallen back to.
bool BackendStartVideo(bool* real, bool* named);

// ----------------------------------------------------------------- events
// Takes every event waiting now, each turned into a WindowEvent for `sink`.
// Keys arrive with their Windows codes filled in.
void BackendPumpEvents(void (*sink)(const WindowEvent& event));
// True while the desktop's keyboard layout spells typed characters (text
// input is on); the service then takes printable characters from Text events.
bool BackendSpellsText();
// Makes the desktop's input method drop the composition under way.
void BackendResetComposition();

// ---------------------------------------------------------------- windows
// What a top-level window should look like on the screen.
struct ScreenWindowState {
    int x;  // the client area's screen position
    int y;
    int width;  // the client area's size, at least 1
    int height;
    bool visible;
    bool minimized;
    bool maximized;
    bool framed;
    bool resizable;
    bool fullScreen;  // the size and place then are the backend's own
    std::string titleUtf8;
};
// Makes the screen's window on first use and brings its title, frame, size
// and place to `state`; false when none can be made (the record then stays
// without a screen).
bool BackendSyncWindow(WindowRecord* window, const ScreenWindowState& state);
// Then shows, hides, minimises, maximises or restores it as `state` says.
void BackendShowState(WindowRecord* window, const ScreenWindowState& state);
// Covers the whole desktop with the window, or gives it back its own place.
void BackendSetFullScreen(WindowRecord* window, bool on);
void BackendDestroyWindow(WindowRecord* window);
// Shows the client-area pixels, stretched over a window larger than them.
// The caller holds the window's pixelLock.
void BackendPresent(WindowRecord* window);
// The picture of the window's icon (A8R8G8B8 rows, top first).
void BackendSetIcon(WindowRecord* window, const uint32_t* pixels, int width, int height);

// ----------------------------------------------------------------- cursor
void BackendShowCursor(bool shown);
void BackendWarpCursor(int x, int y);  // screen coordinates; any thread

// ---------------------------------------------------------------- display
// The desktop's mode and the sizes the display can take (bitsPerPixel 0);
// false and an empty list when it cannot tell. Any thread, once video started.
bool BackendDesktopMode(DisplayMode* mode);
std::vector<DisplayMode> BackendDisplaySizes();
void BackendAllowScreenSaver(bool allow);

// -------------------------------------------------------------- clipboard
// The desktop's clipboard text; false when it holds none. Any thread.
bool BackendClipboardText(std::string* utf8);
void BackendSetClipboardText(const std::string& utf8);

// ---------------------------------------------------------- message boxes
enum class BoxIcon { Information, Warning, Error };
struct BoxButton {
    int id;
    const char* label;
};
// Shows a modal box; the id of the button pressed, `escape` when it was
// closed, -1 when no box could be shown. Any thread.
int BackendMessageBox(WindowRecord* owner, const std::string& textUtf8,
                      const std::string& captionUtf8, BoxIcon icon, const BoxButton* buttons,
                      int count, int escape);

}  // namespace platform
