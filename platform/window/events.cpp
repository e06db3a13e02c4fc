// What the screen reports, turned into messages: each WindowEvent the backend
// delivers is shown to the observers (input, text input) and then becomes the
// messages Windows would post for it: geometry and activation changes, mouse
// and key messages, characters, and (through the input method, ime/) the
// composition messages. The last cursor position and the mouse
// buttons held are kept here for the calls that read them.
#include <algorithm>
#include <atomic>
#include <vector>

#include "platform/ime/ime_internal.h"
#include "platform/kernel.h"
#include "platform/window/backend_internal.h"

namespace platform {
namespace {

struct Observer {
    WindowEventObserver observer;
    void* context;
};

std::mutex& ObserverLock() {
    static auto* lock = new std::mutex();
    return *lock;
}

std::vector<Observer>& Observers() {
    static auto* observers = new std::vector<Observer>();
    return *observers;
}

std::atomic<int> cursorX{0};
std::atomic<int> cursorY{0};
std::atomic<uint32_t> mouseButtons{0};

// Keys and the mouse go to the window the event names, else to the active one.
HWND TargetWindow(const WindowEvent& event) {
    if (event.window != nullptr) {
        return event.window;
    }
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    return ActiveWindowUnlocked();
}

LPARAM PackPoint(int x, int y) {
    return MAKELONG(static_cast<SHORT>(x), static_cast<SHORT>(y));
}

void TranslateWindowEvent(const WindowEvent& event) {
    WindowRecord* window = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        window = FindWindowRecord(event.window);
    }
    if (window == nullptr) {
        return;
    }
    HWND handle = window->handle;
    // In full screen the window's place is the display mode's, whatever size
    // the screen's window took to cover the screen.
    bool placed = event.kind == WindowEventKind::Moved || event.kind == WindowEventKind::Resized;
    if (placed && window->fullScreen) {
        return;
    }
    switch (event.kind) {
        case WindowEventKind::Exposed: {
            {
                std::lock_guard<std::recursive_mutex> guard(WindowLock());
                InvalidateWhole(window);
            }
            // Show the last frame again; skipped when a frame is being drawn.
            if (window->pixelLock.try_lock()) {
                PresentFramebuffer(window);
                window->pixelLock.unlock();
            }
            break;
        }
        case WindowEventKind::Moved: {
            int x = 0;
            int y = 0;
            {
                std::lock_guard<std::recursive_mutex> guard(WindowLock());
                ClientOrigin(window, &x, &y);
                if (x == event.x && y == event.y) {
                    break;  // where we put it
                }
                int dx = event.x - x;
                int dy = event.y - y;
                RECT& r = window->windowRect;
                r = RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
            }
            PostToWindow(handle, WM_MOVE, 0, PackPoint(event.x, event.y));
            break;
        }
        case WindowEventKind::Resized: {
            {
                std::lock_guard<std::recursive_mutex> guard(WindowLock());
                if (window->clientWidth == event.width && window->clientHeight == event.height) {
                    break;
                }
                RECT& r = window->windowRect;
                r.right += event.width - window->clientWidth;
                r.bottom += event.height - window->clientHeight;
                window->clientWidth = event.width;
                window->clientHeight = event.height;
                InvalidateWhole(window);
            }
            {
                std::lock_guard<std::mutex> pixels(window->pixelLock);
                ResizeFramebuffer(window);
            }
            PostToWindow(handle, WM_SIZE, window->maximized ? SIZE_MAXIMIZED : SIZE_RESTORED,
                         PackPoint(event.width, event.height));
            break;
        }
        case WindowEventKind::Minimized:
            if (!window->minimized) {
                window->minimized = true;
                PostToWindow(handle, WM_SIZE, SIZE_MINIMIZED, 0);
            }
            break;
        case WindowEventKind::Maximized:
            window->maximized = true;
            window->minimized = false;
            break;
        case WindowEventKind::Restored:
            if (window->minimized || window->maximized) {
                window->minimized = false;
                window->maximized = false;
                PostToWindow(handle, WM_SIZE, SIZE_RESTORED,
                             PackPoint(window->clientWidth, window->clientHeight));
            }
            break;
        case WindowEventKind::FocusGained:
            ChangeActivation(handle, true, WA_ACTIVE);
            break;
        case WindowEventKind::FocusLost: {
            bool active = false;
            {
                std::lock_guard<std::recursive_mutex> guard(WindowLock());
                active = ActiveWindowUnlocked() == handle;
            }
            if (active) {
                ChangeActivation(nullptr, true, WA_INACTIVE);
            }
            break;
        }
        case WindowEventKind::CloseAsked:
            PostToWindow(handle, WM_CLOSE, 0, 0);
            break;
        case WindowEventKind::MouseEntered:
            PostToWindow(handle, WM_SETCURSOR, reinterpret_cast<WPARAM>(handle),
                         MAKELONG(HTCLIENT, WM_MOUSEMOVE));
            break;
        default:
            break;
    }
}

void NoteClientPoint(HWND window, int x, int y) {
    int originX = 0;
    int originY = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        if (const WindowRecord* record = FindWindowRecord(window)) {
            ClientOrigin(record, &originX, &originY);
        }
    }
    NoteCursorPosition(originX + x, originY + y);
}

UINT ButtonMessage(MouseButton button, bool down, bool doubleClick) {
    UINT base = 0;
    switch (button) {
        case MouseButton::Left:
            base = WM_LBUTTONDOWN;
            break;
        case MouseButton::Right:
            base = WM_RBUTTONDOWN;
            break;
        case MouseButton::Middle:
            base = WM_MBUTTONDOWN;
            break;
        default:
            return 0;
    }
    if (!down) {
        return base + 1;
    }
    return doubleClick ? base + 2 : base;
}

uint32_t ButtonFlag(MouseButton button) {
    switch (button) {
        case MouseButton::Left:
            return MK_LBUTTON;
        case MouseButton::Right:
            return MK_RBUTTON;
        case MouseButton::Middle:
            return MK_MBUTTON;
        default:
            return 0;
    }
}

void TranslateMouse(const WindowEvent& event) {
    HWND window = TargetWindow(event);
    switch (event.kind) {
        case WindowEventKind::MouseMove: {
            if (window == nullptr) {
                return;
            }
            NoteClientPoint(window, event.x, event.y);
            PostToWindow(window, WM_MOUSEMOVE, MouseKeyFlags(), PackPoint(event.x, event.y));
            break;
        }
        case WindowEventKind::MouseButtonDown:
        case WindowEventKind::MouseButtonUp: {
            bool down = event.kind == WindowEventKind::MouseButtonDown;
            if (down) {
                mouseButtons |= ButtonFlag(event.button);
            } else {
                mouseButtons &= ~ButtonFlag(event.button);
            }
            if (window == nullptr) {
                return;
            }
            bool doubleClick = false;
            if (down && event.clicks == 2) {
                std::lock_guard<std::recursive_mutex> guard(WindowLock());
                const WindowRecord* record = FindWindowRecord(window);
                doubleClick = record != nullptr && record->windowClass &&
                              (record->windowClass->style & CS_DBLCLKS) != 0;
            }
            UINT message = ButtonMessage(event.button, down, doubleClick);
            if (message == 0) {
                return;
            }
            NoteClientPoint(window, event.x, event.y);
            if (down) {
                PostToWindow(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                             MAKELONG(HTCLIENT, message));
            }
            PostToWindow(window, message, MouseKeyFlags(), PackPoint(event.x, event.y));
            break;
        }
        case WindowEventKind::MouseWheel: {
            if (window == nullptr) {
                return;
            }
            int delta = event.wheel * WHEEL_DELTA;
            // The wheel reports the cursor in screen coordinates.
            POINT at = {};
            GetCursorPos(&at);
            PostToWindow(window, WM_MOUSEWHEEL,
                         MAKELONG(MouseKeyFlags(), static_cast<SHORT>(delta)),
                         PackPoint(at.x, at.y));
            break;
        }
        default:
            break;
    }
}

// Observers first (they read the devices as the event left them), then the
// messages.
void Deliver(const WindowEvent& event) {
    std::vector<Observer> observers;
    {
        std::lock_guard<std::mutex> guard(ObserverLock());
        observers = Observers();
    }
    for (const Observer& o : observers) {
        o.observer(event, o.context);
    }
    switch (event.kind) {
        case WindowEventKind::KeyDown:
        case WindowEventKind::KeyUp:
            TranslateKeyEvent(event, TargetWindow(event));
            break;
        case WindowEventKind::Text:
        case WindowEventKind::Editing: {
            HWND window = TargetWindow(event);
            if (!InputMethodTakes(event, window)) {
                TranslateTextEvent(event, window);
            }
            break;
        }
        case WindowEventKind::MouseMove:
        case WindowEventKind::MouseButtonDown:
        case WindowEventKind::MouseButtonUp:
        case WindowEventKind::MouseWheel:
            TranslateMouse(event);
            break;
        case WindowEventKind::Other:
            break;
        default:
            TranslateWindowEvent(event);
            break;
    }
}

}  // namespace

void PumpWindowEvents() {
    if (IsVideoThread()) {
        BackendPumpEvents(Deliver);
    }
}

void NoteCursorPosition(int x, int y) {
    cursorX = x;
    cursorY = y;
}

DWORD MouseKeyFlags() {
    DWORD flags = mouseButtons.load();
    if (GetKeyState(VK_SHIFT) < 0) {
        flags |= MK_SHIFT;
    }
    if (GetKeyState(VK_CONTROL) < 0) {
        flags |= MK_CONTROL;
    }
    return flags;
}

void AddWindowEventObserver(WindowEventObserver observer, void* context) {
    std::lock_guard<std::mutex> guard(ObserverLock());
    Observers().push_back(Observer{observer, context});
}

void RemoveWindowEventObserver(WindowEventObserver observer, void* context) {
    std::lock_guard<std::mutex> guard(ObserverLock());
    auto& list = Observers();
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const Observer& o) {
                                  return o.observer == observer && o.context == context;
                              }),
               list.end());
}

}  // namespace platform

BOOL GetCursorPos(POINT* point) {
    if (point == nullptr) {
        return FALSE;
    }
    point->x = platform::cursorX.load();
    point->y = platform::cursorY.load();
    return TRUE;
}
