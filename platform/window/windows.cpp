// Window classes and windows: creation and destruction, geometry, showing,
// activation and focus, painting bookkeeping and window texts; and the
// registry behind them, where each HWND is a checked id of a WindowRecord.
// Routes: a top-level window of a class also gets a screen window (through
// screen.cpp); a child or a procedure-only record (dialogs' controls) lives
// in the registry alone. Activation that a call causes is sent; activation
// the screen reports is posted. A destroyed window's id dies at once, but its
// record stays while a use under way (a procedure call, a framebuffer lock)
// still holds it.
// Not here: z-order (topmost is accepted and changes nothing), menus, the
// non-client area's hit testing, the message queue (queue.cpp), the screen.
#include <strings.h>

#include <algorithm>
#include <unordered_map>

#include "platform/handle_table_internal.h"
#include "platform/ime/ime_internal.h"
#include "platform/kernel.h"
#include "platform/window/dc_internal.h"
#include "platform/window/window_internal.h"

namespace platform {
namespace {

// Frame metrics of our own: a caption, a fixed dialog frame, a sizing frame,
// a thin border, client and static edges, a menu bar.
constexpr int kCaptionHeight = 19;
constexpr int kToolCaptionHeight = 16;
constexpr int kBorder = 1;
constexpr int kFixedFrame = 3;
constexpr int kSizeFrame = 4;
constexpr int kEdge = 2;
constexpr int kMenuHeight = 19;

struct Registry {
    HandleTable<WindowRecord> handles{HandleKind::Window};
    std::vector<WindowRecord*> windows;    // this process's live windows, in creation order
    std::vector<WindowRecord*> lingering;  // destroyed, kept by a use under way
    std::vector<std::shared_ptr<WindowClass>> classes;
    HWND active = nullptr;
    HWND focus = nullptr;
    DWORD foregroundLockTimeout = 200000;
};

Registry& Windows() {
    static auto* registry = new Registry();
    return *registry;
}

std::shared_ptr<WindowClass> FindClass(LPCSTR name) {
    if (name == nullptr) {
        return nullptr;
    }
    for (auto& windowClass : Windows().classes) {
        if (strcasecmp(windowClass->name.c_str(), name) == 0) {
            return windowClass;
        }
    }
    return nullptr;
}

void ComputeClientSize(WindowRecord* window) {
    RECT insets = FrameInsets(window->style, window->exStyle, false);
    window->clientWidth = std::max<LONG>(
        0, window->windowRect.right - window->windowRect.left - insets.left - insets.right);
    window->clientHeight = std::max<LONG>(
        0, window->windowRect.bottom - window->windowRect.top - insets.top - insets.bottom);
}

LPARAM PackPoint(int x, int y) {
    return MAKELONG(static_cast<SHORT>(x), static_cast<SHORT>(y));
}

// Sends WM_MOVE and WM_SIZE for what changed, as Windows' default handling of
// a position change does.
void NotifyGeometry(WindowRecord* window, bool moved, bool sized) {
    if (moved) {
        int x = 0;
        int y = 0;
        ClientOrigin(window, &x, &y);
        SendMessageA(window->handle, WM_MOVE, 0, PackPoint(x, y));
    }
    if (sized) {
        WPARAM kind = window->minimized   ? SIZE_MINIMIZED
                      : window->maximized ? SIZE_MAXIMIZED
                                          : SIZE_RESTORED;
        SendMessageA(window->handle, WM_SIZE, kind,
                     PackPoint(window->clientWidth, window->clientHeight));
    }
}

void ShowState(WindowRecord* window, bool visible) {
    bool wasVisible = (window->style & WS_VISIBLE) != 0;
    if (wasVisible == visible) {
        return;
    }
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        if (visible) {
            window->style |= WS_VISIBLE;
            InvalidateWhole(window);
        } else {
            window->style &= ~WS_VISIBLE;
        }
    }
    SendMessageA(window->handle, WM_SHOWWINDOW, visible ? TRUE : FALSE, 0);
    SyncScreenWindow(window);
}

}  // namespace

std::recursive_mutex& WindowLock() {
    static auto* lock = new std::recursive_mutex();
    return *lock;
}

WindowRecord* FindWindowRecord(HWND window) {
    WindowRecord* record = Windows().handles.Find(reinterpret_cast<uintptr_t>(window));
    return record != nullptr && !record->proxy ? record : nullptr;
}

bool IsLiveWindow(HWND window) {
    return FindWindowRecord(window) != nullptr;
}

WindowRecord* FindUsedRecord(HWND window) {
    if (WindowRecord* live = FindWindowRecord(window)) {
        return live;
    }
    for (WindowRecord* record : Windows().lingering) {
        if (record->handle == window) {
            return record;
        }
    }
    return nullptr;
}

WindowRecord* FindProxyRecord(HWND window) {
    WindowRecord* record = Windows().handles.Find(reinterpret_cast<uintptr_t>(window));
    return record != nullptr && record->proxy ? record : nullptr;
}

HWND AddWindowHandle(WindowRecord* record) {
    uintptr_t id = Windows().handles.Add(record);
    if (id == 0) {
        return nullptr;
    }
    record->handle = reinterpret_cast<HWND>(id);
    if (!record->proxy) {
        Windows().windows.push_back(record);
    }
    return record->handle;
}

void EndBusyUse(WindowRecord* window) {
    bool release = false;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        --window->busy;
        release = window->destroyed && window->busy == 0;
        if (release) {
            std::erase(Windows().lingering, window);
        }
    }
    if (release) {
        delete window;
    }
}

std::vector<WindowRecord*> TopLevelWindows() {
    std::vector<WindowRecord*> result;
    for (WindowRecord* window : Windows().windows) {
        if (window->parent == nullptr) {
            result.push_back(window);
        }
    }
    return result;
}

bool IsTopLevel(const WindowRecord* window) {
    return window->parent == nullptr;
}

RECT FrameInsets(DWORD style, DWORD exStyle, bool menu) {
    int frame = 0;
    if ((style & WS_THICKFRAME) != 0) {
        frame = kSizeFrame;
    } else if ((style & WS_DLGFRAME) != 0 || (exStyle & WS_EX_DLGMODALFRAME) != 0) {
        frame = kFixedFrame;
    } else if ((style & WS_BORDER) != 0) {
        frame = kBorder;
    }
    if ((exStyle & WS_EX_CLIENTEDGE) != 0) {
        frame += kEdge;
    }
    if ((exStyle & WS_EX_STATICEDGE) != 0) {
        frame += kBorder;
    }
    int caption = 0;
    if ((style & WS_CAPTION) == WS_CAPTION) {
        caption = (exStyle & WS_EX_TOOLWINDOW) != 0 ? kToolCaptionHeight : kCaptionHeight;
    }
    RECT insets = {frame, frame + caption + (menu ? kMenuHeight : 0), frame, frame};
    return insets;
}

void ClientOrigin(const WindowRecord* window, int* x, int* y) {
    RECT insets = FrameInsets(window->style, window->exStyle, false);
    *x = window->windowRect.left + insets.left;
    *y = window->windowRect.top + insets.top;
}

void InvalidateWhole(WindowRecord* window) {
    window->needsPaint = true;
    window->dirty = RECT{0, 0, window->clientWidth, window->clientHeight};
}

HWND ActiveWindowUnlocked() {
    return Windows().active;
}

void ChangeActivation(HWND window, bool post, int how) {
    HWND old = nullptr;
    bool oldMinimized = false;
    bool minimized = false;
    std::vector<HWND> topLevel;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        WindowRecord* record = FindWindowRecord(window);
        if (window != nullptr && (record == nullptr || record->procOnly)) {
            return;
        }
        old = Windows().active;
        if (old == window) {
            return;
        }
        WindowRecord* oldRecord = FindWindowRecord(old);
        if (oldRecord == nullptr) {
            old = nullptr;
        }
        oldMinimized = oldRecord != nullptr && oldRecord->minimized;
        minimized = record != nullptr && record->minimized;
        Windows().active = window;
        Windows().focus = window;
        for (WindowRecord* w : TopLevelWindows()) {
            if (!w->procOnly && !w->destroying) {
                topLevel.push_back(w->handle);
            }
        }
    }
    if (old != nullptr) {
        Deliver(post, old, WM_ACTIVATE, MAKELONG(WA_INACTIVE, oldMinimized ? 1 : 0),
                reinterpret_cast<LPARAM>(window));
        if (window == nullptr) {
            for (HWND w : topLevel) {
                Deliver(post, w, WM_ACTIVATEAPP, FALSE, 0);
            }
        }
        Deliver(post, old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
    }
    if (window != nullptr) {
        if (old == nullptr) {
            for (HWND w : topLevel) {
                Deliver(post, w, WM_ACTIVATEAPP, TRUE, GetCurrentThreadId());
            }
        }
        Deliver(post, window, WM_ACTIVATE, MAKELONG(how, minimized ? 1 : 0),
                reinterpret_cast<LPARAM>(old));
        Deliver(post, window, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    }
}

}  // namespace platform

using namespace platform;

ATOM RegisterClassExA(const WNDCLASSEXA* windowClass) {
    if (windowClass == nullptr || windowClass->cbSize != sizeof(WNDCLASSEXA) ||
        windowClass->lpszClassName == nullptr || windowClass->lpszClassName[0] == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    if (FindClass(windowClass->lpszClassName) != nullptr) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto record = std::make_shared<WindowClass>();
    record->name = windowClass->lpszClassName;
    record->style = windowClass->style;
    record->procedure = windowClass->lpfnWndProc;
    record->instance = windowClass->hInstance;
    record->icon = windowClass->hIcon;
    record->cursor = windowClass->hCursor;
    record->background = windowClass->hbrBackground;
    Windows().classes.push_back(record);
    static ATOM nextAtom = 0xC000;
    return nextAtom++;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance) {
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    std::shared_ptr<WindowClass> record = FindClass(className);
    if (record == nullptr) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    for (WindowRecord* window : Windows().windows) {
        if (window->windowClass == record) {
            SetLastError(ERROR_ACCESS_DENIED);  // windows of the class still exist
            return FALSE;
        }
    }
    auto& classes = Windows().classes;
    classes.erase(std::remove(classes.begin(), classes.end(), record), classes.end());
    return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID parameter) {
    if (parent == nullptr && !ScreenForWindows()) {
        return nullptr;
    }
    auto window = new WindowRecord();
    HWND handle = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        window->windowClass = FindClass(className);
        if (window->windowClass == nullptr) {
            delete window;
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        if (parent != nullptr && !IsLiveWindow(parent)) {
            delete window;
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        window->procedure = window->windowClass->procedure;
        window->parent = parent;
        window->style = style & ~WS_VISIBLE;  // ShowWindow below makes it visible
        window->exStyle = exStyle;
        window->title = windowName != nullptr ? windowName : "";
        window->icon = window->windowClass->icon;
        if (x == CW_USEDEFAULT) {
            x = 0;
            y = 0;
        }
        if (width == CW_USEDEFAULT) {
            width = 640;
            height = 480;
        }
        window->windowRect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
        ComputeClientSize(window);
        window->queue = CurrentQueue();
        handle = AddWindowHandle(window);
        if (handle == nullptr) {
            delete window;
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    {
        std::lock_guard<std::mutex> pixels(window->pixelLock);
        ResizeFramebuffer(window);
    }
    SyncScreenWindow(window);
    CREATESTRUCTA create = {
        parameter,  instance,  menu,   parent, height, width, y, x, static_cast<LONG>(style),
        windowName, className, exStyle};
    if (SendMessageA(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create)) == 0 ||
        SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    if (!IsWindow(handle)) {
        return nullptr;  // the procedure destroyed it during creation
    }
    NotifyGeometry(window, true, true);
    if (parent == nullptr) {
        RegisterInstanceWindow(window);
    }
    if ((style & WS_VISIBLE) != 0) {
        ShowWindow(handle, SW_SHOW);
    }
    return handle;
}

BOOL DestroyWindow(HWND handle) {
    std::vector<HWND> children;
    WindowRecord* window = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        window = FindWindowRecord(handle);
        if (window == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (window->destroying) {
            return TRUE;
        }
        window->destroying = true;
        ++window->busy;  // the record outlives what the procedure does below
    }
    // Hiding the active window deactivates it before it is destroyed.
    if (!window->procOnly) {
        bool active = false;
        {
            std::lock_guard<std::recursive_mutex> guard(WindowLock());
            active = Windows().active == handle;
        }
        if (active) {
            ChangeActivation(nullptr, false, WA_INACTIVE);
        }
        if ((window->style & WS_VISIBLE) != 0) {
            std::lock_guard<std::recursive_mutex> guard(WindowLock());
            window->style &= ~WS_VISIBLE;
        }
        SyncScreenWindow(window);
    }
    SendMessageA(handle, WM_DESTROY, 0, 0);
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        for (WindowRecord* w : Windows().windows) {
            if (w->parent == handle) {
                children.push_back(w->handle);
            }
        }
    }
    for (HWND child : children) {
        DestroyWindow(child);
    }
    SendMessageA(handle, WM_NCDESTROY, 0, 0);
    UnregisterInstanceWindow(window);
    DestroyScreenWindow(window);
    ForgetInputContext(handle);
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        // From here the HWND is refused everywhere, even once its slot holds
        // a new window.
        Windows().handles.Remove(reinterpret_cast<uintptr_t>(handle));
        std::erase(Windows().windows, window);
        Windows().lingering.push_back(window);
        if (Windows().focus == handle) {
            Windows().focus = nullptr;
        }
        if (Windows().active == handle) {
            Windows().active = nullptr;
        }
        std::lock_guard<std::mutex> queueGuard(window->queue->lock);
        auto& posted = window->queue->posted;
        posted.erase(std::remove_if(posted.begin(), posted.end(),
                                    [handle](const MSG& m) { return m.hwnd == handle; }),
                     posted.end());
        auto& timers = window->queue->timers;
        timers.erase(std::remove_if(timers.begin(), timers.end(),
                                    [handle](const Timer& t) { return t.window == handle; }),
                     timers.end());
        window->destroyed = true;
    }
    EndBusyUse(window);
    return TRUE;
}

BOOL IsWindow(HWND window) {
    if (IsDesktopWindow(window)) {
        return TRUE;
    }
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        if (IsLiveWindow(window)) {
            return TRUE;
        }
    }
    return IsLiveProxy(window) ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND handle) {
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    WindowRecord* window = FindWindowRecord(handle);
    return window != nullptr && (window->style & WS_VISIBLE) != 0 ? TRUE : FALSE;
}

BOOL IsIconic(HWND handle) {
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    WindowRecord* window = FindWindowRecord(handle);
    return window != nullptr && window->minimized ? TRUE : FALSE;
}

DWORD GetWindowThreadProcessId(HWND handle, LPDWORD processId) {
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    WindowRecord* window = FindWindowRecord(handle);
    if (window == nullptr) {
        return 0;
    }
    if (processId != nullptr) {
        *processId = GetCurrentProcessId();
    }
    return window->queue->threadId;
}

LONG GetWindowLongA(HWND window, int index) {
    return static_cast<LONG>(GetWindowLongPtrA(window, index));
}

LONG SetWindowLongA(HWND window, int index, LONG value) {
    return static_cast<LONG>(SetWindowLongPtrA(window, index, value));
}

LONG_PTR GetWindowLongPtrA(HWND handle, int index) {
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    WindowRecord* window = FindWindowRecord(handle);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (index) {
        case GWL_STYLE:
            return static_cast<LONG>(window->style);
        case GWL_EXSTYLE:
            return static_cast<LONG>(window->exStyle);
        case GWLP_USERDATA:
            return window->userLong;
        case GWLP_WNDPROC:
            return reinterpret_cast<LONG_PTR>(window->procedure);
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
    }
}

LONG_PTR SetWindowLongPtrA(HWND handle, int index, LONG_PTR value) {
    LONG_PTR previous = 0;
    bool styleChanged = false;
    WindowRecord* window = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        window = FindWindowRecord(handle);
        if (window == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        switch (index) {
            case GWL_STYLE:
                previous = static_cast<LONG>(window->style);
                // Visibility changes only through ShowWindow and SetWindowPos here.
                window->style =
                    (static_cast<DWORD>(value) & ~WS_VISIBLE) | (window->style & WS_VISIBLE);
                styleChanged = true;
                break;
            case GWL_EXSTYLE:
                previous = static_cast<LONG>(window->exStyle);
                window->exStyle = static_cast<DWORD>(value);
                styleChanged = true;
                break;
            case GWLP_USERDATA:
                previous = window->userLong;
                window->userLong = value;
                break;
            case GWLP_WNDPROC:
                previous = reinterpret_cast<LONG_PTR>(window->procedure);
                window->procedure = reinterpret_cast<WNDPROC>(value);
                break;
            default:
                SetLastError(ERROR_INVALID_PARAMETER);
                return 0;
        }
        if (styleChanged) {
            // The window rectangle stays; the client area takes what the new frame leaves.
            ComputeClientSize(window);
        }
    }
    if (styleChanged) {
        {
            std::lock_guard<std::mutex> pixels(window->pixelLock);
            ResizeFramebuffer(window);
        }
        SyncScreenWindow(window);
        ApplyFullScreen(window);
    }
    return previous;
}

BOOL SetWindowPos(HWND handle, HWND insertAfter, int x, int y, int width, int height, UINT flags) {
    bool moved = false;
    bool sized = false;
    WindowRecord* window = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        window = FindWindowRecord(handle);
        if (window == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        RECT& r = window->windowRect;
        if ((flags & SWP_NOMOVE) == 0 && (r.left != x || r.top != y)) {
            LONG w = r.right - r.left;
            LONG h = r.bottom - r.top;
            r = RECT{x, y, x + w, y + h};
            moved = true;
        }
        if ((flags & SWP_NOSIZE) == 0) {
            width = std::max(width, 0);
            height = std::max(height, 0);
            if (r.right - r.left != width || r.bottom - r.top != height) {
                r.right = r.left + width;
                r.bottom = r.top + height;
                sized = true;
            }
        }
        if ((flags & SWP_FRAMECHANGED) != 0) {
            sized = true;
        }
        int oldWidth = window->clientWidth;
        int oldHeight = window->clientHeight;
        ComputeClientSize(window);
        sized = sized && (oldWidth != window->clientWidth || oldHeight != window->clientHeight ||
                          (flags & SWP_FRAMECHANGED) != 0);
        // Topmost has no counterpart here; it is accepted and changes nothing.
        (void)insertAfter;
        if (sized && (flags & SWP_NOREDRAW) == 0) {
            InvalidateWhole(window);
        }
    }
    if (sized) {
        std::lock_guard<std::mutex> pixels(window->pixelLock);
        ResizeFramebuffer(window);
    }
    if ((flags & SWP_SHOWWINDOW) != 0) {
        ShowState(window, true);
    }
    if ((flags & SWP_HIDEWINDOW) != 0) {
        ShowState(window, false);
    }
    SyncScreenWindow(window);
    NotifyGeometry(window, moved, sized);
    ApplyFullScreen(window);
    if ((flags & SWP_NOACTIVATE) == 0 && IsTopLevel(window) && !window->procOnly &&
        IsWindowVisible(handle)) {
        ChangeActivation(handle, false, WA_ACTIVE);
    }
    return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0u : SWP_NOREDRAW);
    return SetWindowPos(window, nullptr, x, y, width, height, flags);
}

namespace {

// One of a live window's rectangles, read under the window lock.
template <class Read>
BOOL ReadWindowRect(HWND handle, LPRECT rect, Read read) {
    if (rect != nullptr && IsDesktopWindow(handle)) {
        DisplayMode screen = CurrentDisplayMode();
        *rect = RECT{0, 0, screen.width, screen.height};
        return TRUE;
    }
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    const WindowRecord* window = FindWindowRecord(handle);
    if (window == nullptr || rect == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = read(window);
    return TRUE;
}

}  // namespace

BOOL GetWindowRect(HWND window, LPRECT rect) {
    return ReadWindowRect(window, rect, [](const WindowRecord* w) { return w->windowRect; });
}

BOOL GetClientRect(HWND window, LPRECT rect) {
    return ReadWindowRect(window, rect, [](const WindowRecord* w) {
        return RECT{0, 0, w->clientWidth, w->clientHeight};
    });
}

BOOL ClientToScreen(HWND window, POINT* point) {
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    if (!IsLiveWindow(window) || point == nullptr) {
        return FALSE;
    }
    for (const WindowRecord* w = FindWindowRecord(window); w != nullptr;
         w = FindWindowRecord(w->parent)) {
        int x = 0;
        int y = 0;
        ClientOrigin(w, &x, &y);
        point->x += x;
        point->y += y;
    }
    return TRUE;
}

BOOL ScreenToClient(HWND window, POINT* point) {
    POINT origin = {0, 0};
    if (point == nullptr || !ClientToScreen(window, &origin)) {
        return FALSE;
    }
    point->x -= origin.x;
    point->y -= origin.y;
    return TRUE;
}

BOOL AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD exStyle) {
    if (rect == nullptr) {
        return FALSE;
    }
    RECT insets = FrameInsets(style, exStyle, menu != FALSE);
    rect->left -= insets.left;
    rect->top -= insets.top;
    rect->right += insets.right;
    rect->bottom += insets.bottom;
    return TRUE;
}

BOOL ShowWindow(HWND handle, int command) {
    WindowRecord* window = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        window = FindWindowRecord(handle);
    }
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;  // a window of another process is not shown from here either
    }
    bool wasVisible = IsWindowVisible(handle) != FALSE;
    bool activate = false;
    switch (command) {
        case SW_HIDE:
            ShowState(window, false);
            if (GetActiveWindow() == handle) {
                ChangeActivation(nullptr, false, WA_INACTIVE);
            }
            return wasVisible;
        case SW_MINIMIZE:
        case SW_SHOWMINIMIZED:
        case SW_SHOWMINNOACTIVE: {
            bool changed = !window->minimized;
            window->minimized = true;
            window->maximized = false;
            ShowState(window, true);
            SyncScreenWindow(window);
            if (changed) {
                SendMessageA(handle, WM_SIZE, SIZE_MINIMIZED, 0);
            }
            if (command != SW_SHOWMINIMIZED && GetActiveWindow() == handle) {
                ChangeActivation(nullptr, false, WA_INACTIVE);
            }
            return wasVisible;
        }
        case SW_MAXIMIZE:
            window->maximized = true;
            activate = true;
            break;
        case SW_SHOWNOACTIVATE:
        case SW_SHOWNA:
            break;
        case SW_RESTORE:
        case SW_SHOWNORMAL:
        case SW_SHOW:
        default:
            activate = true;
            break;
    }
    bool wasMinimized = window->minimized;
    if (command == SW_RESTORE || command == SW_SHOWNORMAL) {
        window->minimized = false;
        window->maximized = false;
    }
    ShowState(window, true);
    SyncScreenWindow(window);
    if (wasMinimized && !window->minimized) {
        NotifyGeometry(window, false, true);
    }
    if (activate && IsTopLevel(window) && !window->procOnly) {
        ChangeActivation(handle, false, WA_ACTIVE);
    }
    return wasVisible;
}

BOOL UpdateWindow(HWND window) {
    bool paint = false;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        WindowRecord* record = FindWindowRecord(window);
        if (record == nullptr) {
            return FALSE;
        }
        paint = record->needsPaint && (record->style & WS_VISIBLE) != 0;
    }
    if (paint) {
        SendMessageA(window, WM_PAINT, 0, 0);
    }
    return TRUE;
}

BOOL InvalidateRect(HWND handle, const RECT* rect, BOOL erase) {
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    if (handle == nullptr) {
        for (WindowRecord* w : TopLevelWindows()) {
            InvalidateWhole(w);
        }
        return TRUE;
    }
    WindowRecord* window = FindWindowRecord(handle);
    if (window == nullptr) {
        return FALSE;
    }
    RECT area = rect != nullptr ? *rect : RECT{0, 0, window->clientWidth, window->clientHeight};
    if (window->needsPaint) {
        RECT& d = window->dirty;
        d = RECT{std::min(d.left, area.left), std::min(d.top, area.top),
                 std::max(d.right, area.right), std::max(d.bottom, area.bottom)};
    } else {
        window->dirty = area;
    }
    window->needsPaint = true;
    window->eraseOnPaint = window->eraseOnPaint || erase != FALSE;
    window->queue->wake.notify_all();
    return TRUE;
}

BOOL ValidateRect(HWND handle, const RECT* rect) {
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    WindowRecord* window = FindWindowRecord(handle);
    if (window == nullptr) {
        return FALSE;
    }
    // Partial validation keeps the whole area pending: our update region is one rectangle.
    if (rect == nullptr ||
        (rect->left <= window->dirty.left && rect->top <= window->dirty.top &&
         rect->right >= window->dirty.right && rect->bottom >= window->dirty.bottom)) {
        window->needsPaint = false;
        window->eraseOnPaint = false;
    }
    return TRUE;
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
    if (paint == nullptr) {
        return nullptr;
    }
    *paint = PAINTSTRUCT{};
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        WindowRecord* record = FindWindowRecord(window);
        if (record == nullptr) {
            return nullptr;
        }
        paint->fErase = record->eraseOnPaint ? TRUE : FALSE;
        paint->rcPaint = record->needsPaint ? record->dirty : RECT{0, 0, 0, 0};
        record->needsPaint = false;
        record->eraseOnPaint = false;
    }
    paint->hdc = CreateDCRecord(window, false);
    return paint->hdc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
    if (paint != nullptr && paint->hdc != nullptr) {
        DestroyDCRecord(paint->hdc);
    }
    return TRUE;
}

BOOL SetWindowTextA(HWND handle, LPCSTR text) {
    WindowRecord* window = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        window = FindWindowRecord(handle);
        if (window == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        window->title = text != nullptr ? text : "";
    }
    SyncScreenWindow(window);
    return TRUE;
}

int GetWindowTextA(HWND handle, LPSTR text, int size) {
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    const WindowRecord* window = FindWindowRecord(handle);
    if (window == nullptr || text == nullptr || size <= 0) {
        return 0;
    }
    int n = std::min<int>(static_cast<int>(window->title.size()), size - 1);
    window->title.copy(text, static_cast<size_t>(n));
    text[n] = '\0';
    return n;
}

HWND GetActiveWindow() {
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    return Windows().active;
}

HWND SetActiveWindow(HWND window) {
    HWND previous = GetActiveWindow();
    ChangeActivation(window, false, WA_ACTIVE);
    return previous;
}

HWND GetForegroundWindow() {
    return GetActiveWindow();
}

BOOL SetForegroundWindow(HWND window) {
    if (!IsWindow(window)) {
        return FALSE;
    }
    ChangeActivation(window, false, WA_ACTIVE);
    return TRUE;
}

HWND GetFocus() {
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    return Windows().focus;
}

HWND SetFocus(HWND window) {
    HWND previous = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        previous = Windows().focus;
        if (window != nullptr && !IsLiveWindow(window)) {
            return nullptr;
        }
        if (previous == window) {
            return previous;
        }
        Windows().focus = window;
    }
    if (previous != nullptr && IsWindow(previous)) {
        SendMessageA(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
    }
    if (window != nullptr) {
        SendMessageA(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    }
    return previous;
}

BOOL BringWindowToTop(HWND window) {
    return SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

BOOL AttachThreadInput(DWORD attachFrom, DWORD attachTo, BOOL attach) {
    return TRUE;
}

BOOL WINNLSEnableIME(HWND handle, BOOL enable) {
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    WindowRecord* window = FindWindowRecord(handle);
    if (window == nullptr) {
        return FALSE;
    }
    BOOL previous = window->imeEnabled ? TRUE : FALSE;
    window->imeEnabled = enable != FALSE;
    return previous;
}

ULONG_PTR SetClassLongPtrA(HWND handle, int index, LONG_PTR value) {
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    WindowRecord* window = FindWindowRecord(handle);
    if (window == nullptr || window->windowClass == nullptr || index != GCLP_HICON) {
        return 0;
    }
    auto previous = reinterpret_cast<ULONG_PTR>(window->windowClass->icon);
    window->windowClass->icon = reinterpret_cast<HICON>(value);
    for (WindowRecord* w : Windows().windows) {
        if (w->windowClass == window->windowClass) {
            w->icon = window->windowClass->icon;
            SyncScreenWindow(w);
        }
    }
    return previous;
}

namespace platform {

HWND CreateProcWindow(WNDPROC procedure, HWND parent, int controlId, void* userData) {
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    if (parent != nullptr && !IsLiveWindow(parent)) {
        return nullptr;
    }
    auto window = new WindowRecord();
    window->procedure = procedure;
    window->parent = parent;
    window->controlId = controlId;
    window->userData = userData;
    window->procOnly = true;
    window->queue = CurrentQueue();
    HWND handle = AddWindowHandle(window);
    if (handle == nullptr) {
        delete window;
    }
    return handle;
}

void* ProcWindowUserData(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    WindowRecord* record = FindWindowRecord(window);
    return record != nullptr ? record->userData : nullptr;
}

int ProcWindowControlId(HWND window) {
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    WindowRecord* record = FindWindowRecord(window);
    return record != nullptr ? record->controlId : 0;
}

DWORD& ForegroundLockTimeout() {
    return Windows().foregroundLockTimeout;
}

}  // namespace platform
