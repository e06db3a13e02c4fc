// Records and helpers shared by the window service's sources. Internal to
// the platform layer.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/window.h"
#include "platform/window_testing.h"

namespace platform {

// A window's state in the backend (backend_internal.h); opaque here.
struct BackendWindow;

struct WindowClass {
    std::string name;
    UINT style = 0;
    WNDPROC procedure = nullptr;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
};

struct ThreadQueue;

// A message sent to a window of another thread: the sender waits until the
// owner's thread has run the procedure.
struct SentMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;
    std::shared_ptr<ThreadQueue> sender;
};

struct Timer {
    HWND window;
    UINT_PTR id;
    UINT elapse;
    TIMERPROC procedure;
    uint64_t due;  // milliseconds of the steady clock
};

// One per thread that uses windows or messages. Guarded by its own lock, so
// that other threads can post while the owner waits.
struct ThreadQueue {
    DWORD threadId = 0;
    bool alive = true;
    std::mutex lock;
    std::condition_variable wake;
    std::deque<MSG> posted;
    std::deque<SentMessage*> sent;
    bool quitPosted = false;
    int quitCode = 0;
    std::vector<Timer> timers;
    BYTE keyState[256] = {};  // as of the key messages this thread took
};

std::shared_ptr<ThreadQueue> CurrentQueue();
std::shared_ptr<ThreadQueue> QueueOfThread(DWORD threadId);
uint64_t NowMilliseconds();
DWORD MessageTime();

// Everything about windows (the registry, classes, activation) is guarded
// by one recursive lock; window procedures are never called while it is held.
std::recursive_mutex& WindowLock();

// What the layer keeps of a window. An HWND is a checked id of one (see
// handle_table_internal.h), found through FindWindowRecord.
struct WindowRecord {
    HWND handle = nullptr;  // the id it was given; dead once the window is destroyed
    std::shared_ptr<WindowClass> windowClass;  // null for a procedure-only window
    WNDPROC procedure = nullptr;
    HWND parent = nullptr;
    int controlId = 0;
    void* userData = nullptr;
    LONG_PTR userLong = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT windowRect = {};  // screen coordinates (parent client for children), frame included
    int clientWidth = 0;
    int clientHeight = 0;
    std::string title;
    BackendWindow* backend = nullptr;  // null until (unless) the screen shows it
    std::shared_ptr<ThreadQueue> queue;
    bool procOnly = false;
    bool proxy = false;  // a window of another process, found by FindWindowA
    bool destroying = false;
    bool destroyed = false;
    int busy = 0;  // window procedure calls under way
    bool needsPaint = false;
    bool eraseOnPaint = false;
    RECT dirty = {};
    bool minimized = false;
    bool maximized = false;
    bool fullScreen = false;
    bool imeEnabled = true;
    HICON icon = nullptr;
    HICON shownIcon = nullptr;  // the icon the screen was last given
    int shownIconVersion = 0;
    // The client-area pixels.
    std::mutex pixelLock;
    std::vector<uint32_t> pixels;
    int pixelWidth = 0;
    int pixelHeight = 0;
    // The single-instance registration of a top-level window.
    std::string instanceFile;
    int instanceFd = -1;
};

// Registry queries; callers hold WindowLock().
// The record of a live window of this process; null for a destroyed, made-up
// or foreign HWND (a stale one too, whatever window now has its slot).
WindowRecord* FindWindowRecord(HWND window);
bool IsLiveWindow(HWND window);
// A live window's record, or a destroyed one's that a use still keeps.
WindowRecord* FindUsedRecord(HWND window);
std::vector<WindowRecord*> TopLevelWindows();  // shown on the screen or not, in creation order
bool IsTopLevel(const WindowRecord* window);
// Gives a record its HWND; a proxy record is not listed among this process's
// windows. Null when no id is left.
HWND AddWindowHandle(WindowRecord* record);
WindowRecord* FindProxyRecord(HWND window);
// The desktop window's handle, made on first use (desktop.cpp).
HWND DesktopWindowHandle();
bool IsDesktopWindow(HWND window);

// Ends one use of a record that was kept alive by raising `busy`; the last
// use of a destroyed window frees it. Callers do not hold WindowLock().
void EndBusyUse(WindowRecord* window);

// Runs a window procedure with the record kept alive across the call.
LRESULT CallProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Posts into the owner's queue; false for a bad window.
bool PostToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Sends or posts, as the caller chooses: activation caused by a call is sent,
// activation that the screen reports is posted.
void Deliver(bool post, HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The frame around a client area that AdjustWindowRectEx adds.
RECT FrameInsets(DWORD style, DWORD exStyle, bool menu);
void ClientOrigin(const WindowRecord* window, int* x, int* y);

// Activation: `how` is WA_ACTIVE or WA_CLICKACTIVE; `post` as for Deliver.
void ChangeActivation(HWND window, bool post, int how);
HWND ActiveWindowUnlocked();

// The screen (screen.cpp): the one place that knows whether there is one.
// Video starts on first use; false when no driver can start.
bool EnsureVideo();
// False, with one line on stderr the first time, when top-level windows could
// only be kept in memory although no memory-only driver was asked for.
bool ScreenForWindows();
bool IsVideoThread();
// Follows the style and the rectangle; true when the window went in or out.
bool ApplyFullScreen(WindowRecord* window, bool announce = true);
// Brings a top-level window's screen window to its record (made on first use).
void SyncScreenWindow(WindowRecord* window);
void DestroyScreenWindow(WindowRecord* window);
// True when typed characters come as text events in the desktop's layout.
bool ScreenSpellsText();
// The desktop's input method drops its composition.
void ResetScreenComposition();
// The desktop's clipboard text; false without a screen or without text.
bool DesktopClipboardText(std::string* utf8);
void SetDesktopClipboardText(const std::string& utf8);
// Shows a message box on the screen; -1 when there is none to show it on.
int ScreenMessageBox(HWND owner, const char* text, const char* caption, UINT type, int escape,
                     const int* ids, const char* const* labels, int count);
// The desktop's mode and the sizes the display can take; false (and no
// sizes) without video.
bool ScreenModes(DisplayMode* desktop, std::vector<DisplayMode>* sizes);
void AllowScreenSaver(bool allow);
// Code page 932 text as UTF-8, what the screen shows.
std::string ToUtf8(const char* text);

// Keyboard: key and text events become key messages and key state.
void TranslateKeyEvent(const WindowEvent& event, HWND window);
void TranslateTextEvent(const WindowEvent& event, HWND window);
void UpdateThreadKeyState(ThreadQueue& queue, const MSG& msg);
DWORD MouseKeyFlags();

// The framebuffer follows the client size; callers hold the window's pixelLock.
void ResizeFramebuffer(WindowRecord* window);
void PresentFramebuffer(WindowRecord* window);

// Display.
void PostDisplayChange();

// Single instance.
void RegisterInstanceWindow(WindowRecord* window);
void UnregisterInstanceWindow(WindowRecord* window);
bool IsLiveProxy(HWND window);

// Paint bookkeeping.
void InvalidateWhole(WindowRecord* window);

DWORD& ForegroundLockTimeout();
// The last cursor position the screen reported, in screen coordinates.
void NoteCursorPosition(int x, int y);

}  // namespace platform
