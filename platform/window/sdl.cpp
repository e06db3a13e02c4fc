// SDL2 behind the windows: video start, the SDL window of each top-level
// window, and SDL's events turned into Windows messages.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "platform/kernel.h"
#include "platform/window/window_internal.h"

namespace platform {
namespace {

struct VideoState {
    std::once_flag started;
    bool available = false;
    bool real = false;
    std::thread::id thread;
};

VideoState& Video() {
    static auto* video = new VideoState();
    return *video;
}

struct Observer {
    SdlEventObserver observer;
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

std::string ToUtf8(const std::string& text) {
    if (text.empty()) {
        return text;
    }
    int units =
        MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string wide(static_cast<size_t>(std::max(units, 0)), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), wide.data(), units);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(std::max(bytes, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, utf8.data(), bytes, nullptr, nullptr);
    return utf8;
}

HWND TargetWindow(uint32_t sdlId) {
    std::lock_guard<std::recursive_mutex> guard(WindowLock());
    WindowRecord* window = WindowOfSdlId(sdlId);
    return window != nullptr ? window->handle : ActiveWindowUnlocked();
}

LPARAM PackPoint(int x, int y) {
    return MAKELONG(static_cast<SHORT>(x), static_cast<SHORT>(y));
}

void TranslateWindowEvent(const SDL_WindowEvent& event) {
    WindowRecord* window = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        window = WindowOfSdlId(event.windowID);
    }
    if (window == nullptr) {
        return;
    }
    HWND handle = window->handle;
    // In full screen the window's place is the display mode's, whatever size
    // SDL's window took to cover the screen.
    bool placed =
        event.event == SDL_WINDOWEVENT_MOVED || event.event == SDL_WINDOWEVENT_SIZE_CHANGED;
    if (placed && window->fullScreen) {
        return;
    }
    switch (event.event) {
        case SDL_WINDOWEVENT_EXPOSED: {
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
        case SDL_WINDOWEVENT_MOVED: {
            int x = 0;
            int y = 0;
            {
                std::lock_guard<std::recursive_mutex> guard(WindowLock());
                ClientOrigin(window, &x, &y);
                if (x == event.data1 && y == event.data2) {
                    break;  // where we put it
                }
                int dx = event.data1 - x;
                int dy = event.data2 - y;
                RECT& r = window->windowRect;
                r = RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
            }
            PostToWindow(handle, WM_MOVE, 0, PackPoint(event.data1, event.data2));
            break;
        }
        case SDL_WINDOWEVENT_SIZE_CHANGED: {
            {
                std::lock_guard<std::recursive_mutex> guard(WindowLock());
                if (window->clientWidth == event.data1 && window->clientHeight == event.data2) {
                    break;
                }
                RECT& r = window->windowRect;
                r.right += event.data1 - window->clientWidth;
                r.bottom += event.data2 - window->clientHeight;
                window->clientWidth = event.data1;
                window->clientHeight = event.data2;
                InvalidateWhole(window);
            }
            {
                std::lock_guard<std::mutex> pixels(window->pixelLock);
                ResizeFramebuffer(window);
            }
            PostToWindow(handle, WM_SIZE, window->maximized ? SIZE_MAXIMIZED : SIZE_RESTORED,
                         PackPoint(event.data1, event.data2));
            break;
        }
        case SDL_WINDOWEVENT_MINIMIZED:
            if (!window->minimized) {
                window->minimized = true;
                PostToWindow(handle, WM_SIZE, SIZE_MINIMIZED, 0);
            }
            break;
        case SDL_WINDOWEVENT_MAXIMIZED:
            window->maximized = true;
            window->minimized = false;
            break;
        case SDL_WINDOWEVENT_RESTORED:
            if (window->minimized || window->maximized) {
                window->minimized = false;
                window->maximized = false;
                PostToWindow(handle, WM_SIZE, SIZE_RESTORED,
                             PackPoint(window->clientWidth, window->clientHeight));
            }
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            ChangeActivation(handle, true, WA_ACTIVE);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST: {
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
        case SDL_WINDOWEVENT_CLOSE:
            PostToWindow(handle, WM_CLOSE, 0, 0);
            break;
        case SDL_WINDOWEVENT_ENTER:
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

UINT ButtonMessage(uint8_t button, bool down, bool doubleClick) {
    UINT base = 0;
    switch (button) {
        case SDL_BUTTON_LEFT:
            base = WM_LBUTTONDOWN;
            break;
        case SDL_BUTTON_RIGHT:
            base = WM_RBUTTONDOWN;
            break;
        case SDL_BUTTON_MIDDLE:
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

uint32_t ButtonFlag(uint8_t button) {
    switch (button) {
        case SDL_BUTTON_LEFT:
            return MK_LBUTTON;
        case SDL_BUTTON_RIGHT:
            return MK_RBUTTON;
        case SDL_BUTTON_MIDDLE:
            return MK_MBUTTON;
        default:
            return 0;
    }
}

void TranslateMouse(const SDL_Event& event) {
    switch (event.type) {
        case SDL_MOUSEMOTION: {
            HWND window = TargetWindow(event.motion.windowID);
            if (window == nullptr) {
                return;
            }
            NoteClientPoint(window, event.motion.x, event.motion.y);
            PostToWindow(window, WM_MOUSEMOVE, MouseKeyFlags(),
                         PackPoint(event.motion.x, event.motion.y));
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            HWND window = TargetWindow(event.button.windowID);
            bool down = event.type == SDL_MOUSEBUTTONDOWN;
            if (down) {
                mouseButtons |= ButtonFlag(event.button.button);
            } else {
                mouseButtons &= ~ButtonFlag(event.button.button);
            }
            if (window == nullptr) {
                return;
            }
            bool doubleClick = false;
            if (down && event.button.clicks == 2) {
                std::lock_guard<std::recursive_mutex> guard(WindowLock());
                const WindowRecord* record = FindWindowRecord(window);
                doubleClick = record != nullptr && record->windowClass &&
                              (record->windowClass->style & CS_DBLCLKS) != 0;
            }
            UINT message = ButtonMessage(event.button.button, down, doubleClick);
            if (message == 0) {
                return;
            }
            NoteClientPoint(window, event.button.x, event.button.y);
            if (down) {
                PostToWindow(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                             MAKELONG(HTCLIENT, message));
            }
            PostToWindow(window, message, MouseKeyFlags(),
                         PackPoint(event.button.x, event.button.y));
            break;
        }
        case SDL_MOUSEWHEEL: {
            HWND window = TargetWindow(event.wheel.windowID);
            if (window == nullptr) {
                return;
            }
            int delta = event.wheel.y * WHEEL_DELTA;
            if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) {
                delta = -delta;
            }
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

void Translate(const SDL_Event& event) {
    switch (event.type) {
        case SDL_WINDOWEVENT:
            TranslateWindowEvent(event.window);
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            TranslateSdlKey(event, TargetWindow(event.key.windowID));
            break;
        case SDL_TEXTINPUT:
            TranslateSdlText(event, TargetWindow(event.text.windowID));
            break;
        case SDL_MOUSEMOTION:
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
        case SDL_MOUSEWHEEL:
            TranslateMouse(event);
            break;
        default:
            break;
    }
}

bool IsRealDriver(const char* name) {
    return name != nullptr && std::strcmp(name, "dummy") != 0 &&
           std::strcmp(name, "offscreen") != 0 && std::strcmp(name, "evdev") != 0;
}

Uint32 WindowFlags(const WindowRecord* window) {
    Uint32 flags = SDL_WINDOW_HIDDEN;
    bool framed = (window->style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_DLGFRAME)) != 0;
    if (!framed) {
        flags |= SDL_WINDOW_BORDERLESS;
    }
    if ((window->style & WS_THICKFRAME) != 0) {
        flags |= SDL_WINDOW_RESIZABLE;
    }
    return flags;
}

}  // namespace

bool EnsureVideo() {
    VideoState& video = Video();
    std::call_once(video.started, [&video] {
        // Ctrl+C should end the program as it does any other; the screen
        // saver stays as the desktop has it until asked otherwise.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
        SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
            return;  // no video: windows are records without a screen
        }
        video.available = true;
        video.real = IsRealDriver(SDL_GetCurrentVideoDriver());
        video.thread = std::this_thread::get_id();
    });
    return video.available;
}

bool IsVideoThread() {
    VideoState& video = Video();
    return video.available && video.thread == std::this_thread::get_id();
}

bool HasRealVideoDriver() {
    return EnsureVideo() && Video().real;
}

void PumpSdlEvents() {
    if (!IsVideoThread()) {
        return;
    }
    SDL_PumpEvents();
    SDL_Event events[64];
    for (;;) {
        int count = SDL_PeepEvents(events, 64, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
        if (count <= 0) {
            return;
        }
        for (int i = 0; i < count; ++i) {
            std::vector<Observer> observers;
            {
                std::lock_guard<std::mutex> guard(ObserverLock());
                observers = Observers();
            }
            for (const Observer& o : observers) {
                o.observer(&events[i], o.context);
            }
            Translate(events[i]);
        }
    }
}

void ApplyIcon(WindowRecord* window);

void SyncSdlGeometry(WindowRecord* window) {
    if (window->procOnly || window->parent != nullptr || !EnsureVideo()) {
        return;
    }
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool visible = false;
    bool minimized = false;
    bool maximized = false;
    std::string title;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        if (window->destroyed) {
            return;
        }
        ClientOrigin(window, &x, &y);
        width = std::max(window->clientWidth, 1);
        height = std::max(window->clientHeight, 1);
        visible = (window->style & WS_VISIBLE) != 0;
        minimized = window->minimized;
        maximized = window->maximized;
        title = window->title;
    }
    if (window->sdl == nullptr) {
        window->sdl =
            SDL_CreateWindow(ToUtf8(title).c_str(), x, y, width, height, WindowFlags(window));
        if (window->sdl == nullptr) {
            return;  // a record without a screen, as under no video at all
        }
        window->sdlId = SDL_GetWindowID(window->sdl);
        RegisterSdlWindowId(window, window->sdlId);
    }
    SDL_Window* sdl = window->sdl;
    SDL_SetWindowTitle(sdl, ToUtf8(title).c_str());
    bool framed = (WindowFlags(window) & SDL_WINDOW_BORDERLESS) == 0;
    SDL_SetWindowBordered(sdl, framed ? SDL_TRUE : SDL_FALSE);
    SDL_SetWindowResizable(sdl, (window->style & WS_THICKFRAME) != 0 ? SDL_TRUE : SDL_FALSE);
    if (!window->fullScreen) {
        int oldX = 0;
        int oldY = 0;
        int oldWidth = 0;
        int oldHeight = 0;
        SDL_GetWindowPosition(sdl, &oldX, &oldY);
        SDL_GetWindowSize(sdl, &oldWidth, &oldHeight);
        if (oldWidth != width || oldHeight != height) {
            SDL_SetWindowSize(sdl, width, height);
        }
        if (oldX != x || oldY != y) {
            SDL_SetWindowPosition(sdl, x, y);
        }
    }
    ApplyIcon(window);
    Uint32 flags = SDL_GetWindowFlags(sdl);
    bool shown = (flags & SDL_WINDOW_SHOWN) != 0;
    if (visible && !shown) {
        SDL_ShowWindow(sdl);
    } else if (!visible && shown) {
        SDL_HideWindow(sdl);
    }
    if (visible && minimized && (flags & SDL_WINDOW_MINIMIZED) == 0) {
        SDL_MinimizeWindow(sdl);
    } else if (visible && maximized && (flags & SDL_WINDOW_MAXIMIZED) == 0) {
        SDL_MaximizeWindow(sdl);
    } else if (visible && !minimized && !maximized &&
               (flags & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_MAXIMIZED)) != 0) {
        SDL_RestoreWindow(sdl);
    }
}

bool ApplyFullScreen(WindowRecord* window, bool announce) {
    if (window->procOnly || window->parent != nullptr) {
        return false;
    }
    DisplayMode mode = CurrentDisplayMode();
    bool wanted = false;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        if (window->destroyed) {
            return false;
        }
        // A pop-up without a frame that covers the whole screen is what a
        // full-screen program makes; SDL shows it in its full-screen mode.
        const RECT& r = window->windowRect;
        bool frameless = (window->style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER)) == 0;
        wanted = (window->style & WS_POPUP) != 0 && frameless && r.left == 0 && r.top == 0 &&
                 r.right == mode.width && r.bottom == mode.height;
        if (wanted == window->fullScreen) {
            return false;
        }
        window->fullScreen = wanted;
    }
    if (window->sdl != nullptr && Video().real) {
        if (wanted) {
            // The desktop keeps its own mode; the window covers it and the
            // picture is stretched over it (PresentFramebuffer), which shows
            // what the mode would without touching the desktop's resolution.
            // Without a window manager to honour the full-screen request the
            // window is put over the desktop by hand first.
            SDL_DisplayMode desktop = {};
            if (SDL_GetDesktopDisplayMode(0, &desktop) == 0) {
                SDL_SetWindowBordered(window->sdl, SDL_FALSE);
                SDL_SetWindowPosition(window->sdl, 0, 0);
                SDL_SetWindowSize(window->sdl, desktop.w, desktop.h);
            }
            SDL_SetWindowFullscreen(window->sdl, SDL_WINDOW_FULLSCREEN_DESKTOP);
        } else {
            SDL_SetWindowFullscreen(window->sdl, 0);
            SyncSdlGeometry(window);
        }
    }
    // Going in or out of full screen is a display change for the programs.
    if (announce) {
        PostDisplayChange();
    }
    return true;
}

void DestroySdlWindow(WindowRecord* window) {
    RegisterSdlWindowId(window, 0);
    if (window->sdl != nullptr) {
        SDL_DestroyWindow(window->sdl);
        window->sdl = nullptr;
        window->sdlId = 0;
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

void AddSdlEventObserver(SdlEventObserver observer, void* context) {
    std::lock_guard<std::mutex> guard(ObserverLock());
    Observers().push_back(Observer{observer, context});
}

void RemoveSdlEventObserver(SdlEventObserver observer, void* context) {
    std::lock_guard<std::mutex> guard(ObserverLock());
    auto& list = Observers();
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const Observer& o) {
                                  return o.observer == observer && o.context == context;
                              }),
               list.end());
}

}  // namespace platform

using namespace platform;

BOOL GetCursorPos(POINT* point) {
    if (point == nullptr) {
        return FALSE;
    }
    point->x = cursorX.load();
    point->y = cursorY.load();
    return TRUE;
}

BOOL SetCursorPos(int x, int y) {
    NoteCursorPosition(x, y);
    if (HasRealVideoDriver()) {
        SDL_WarpMouseGlobal(x, y);
    }
    return TRUE;
}

// Icons and cursors are records that name what they stand for; the arrow is
// the one cursor SDL shows here, and an icon carries no image of its own.
struct PlatformIcon {
    int id;
    bool cursor;
};

namespace {

PlatformIcon arrowCursor = {IDC_ARROW, true};
std::atomic<int> cursorCount{0};
std::atomic<HCURSOR> currentCursor{&arrowCursor};

void ApplyCursor() {
    if (!IsVideoThread()) {
        return;
    }
    bool shown = cursorCount.load() >= 0 && currentCursor.load() != nullptr;
    SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

}  // namespace

namespace {

struct IconImages {
    std::mutex lock;
    std::vector<std::unique_ptr<PlatformIcon>> icons;
    std::map<int, std::vector<uint32_t>> pixels;
    std::map<int, std::pair<int, int>> sizes;
    int version = 0;
};

IconImages& Icons() {
    static auto* icons = new IconImages();
    return *icons;
}

}  // namespace

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
    static PlatformIcon application = {IDI_APPLICATION, false};
    auto id = static_cast<int>(reinterpret_cast<ULONG_PTR>(name));
    if (id == IDI_APPLICATION || instance == nullptr) {
        return &application;
    }
    // A program's own icon resource: one record per id, kept for the process.
    IconImages& images = Icons();
    std::lock_guard<std::mutex> guard(images.lock);
    for (auto& icon : images.icons) {
        if (icon->id == id) {
            return icon.get();
        }
    }
    images.icons.push_back(std::make_unique<PlatformIcon>(PlatformIcon{id, false}));
    return images.icons.back().get();
}

namespace platform {

void RegisterIconImage(int id, const uint32_t* pixels, int width, int height) {
    if (pixels == nullptr || width <= 0 || height <= 0) {
        return;
    }
    IconImages& images = Icons();
    std::lock_guard<std::mutex> guard(images.lock);
    images.pixels[id].assign(pixels, pixels + static_cast<size_t>(width) * height);
    images.sizes[id] = {width, height};
    ++images.version;
}

void ApplyIcon(WindowRecord* window) {
    if (window->sdl == nullptr || window->icon == nullptr) {
        return;
    }
    IconImages& images = Icons();
    std::lock_guard<std::mutex> guard(images.lock);
    if (window->shownIcon == window->icon && window->shownIconVersion == images.version) {
        return;
    }
    window->shownIcon = window->icon;
    window->shownIconVersion = images.version;
    auto found = images.pixels.find(window->icon->id);
    if (found == images.pixels.end()) {
        return;  // the desktop's own icon stays
    }
    auto [width, height] = images.sizes[window->icon->id];
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
        found->second.data(), width, height, 32, width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (surface != nullptr) {
        SDL_SetWindowIcon(window->sdl, surface);
        SDL_FreeSurface(surface);
    }
}

}  // namespace platform

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    return &arrowCursor;
}

HCURSOR SetCursor(HCURSOR cursor) {
    HCURSOR previous = currentCursor.exchange(cursor);
    ApplyCursor();
    return previous;
}

int ShowCursor(BOOL show) {
    int count = show ? ++cursorCount : --cursorCount;
    ApplyCursor();
    return count;
}
