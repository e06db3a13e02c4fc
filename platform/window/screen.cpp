// The screen: the one place of the window service that knows whether there
// is one. Video starts here on first use; every call into the backend that
// shows something (windows, pixels, icons, the cursor, the clipboard, message
// boxes) goes through here, and here alone a missing screen or one that only
// keeps windows in memory (SDL's dummy driver, which the tests run with)
// turns the call into what a screen-less machine does: nothing, or a record.
//
// Routes: top-level windows get a screen window (SyncScreenWindow); child and
// procedure-only windows never do. Full screen is a frameless pop-up that
// covers the display's mode exactly (ApplyFullScreen).
//
// Not here: the messages the screen's events become (events.cpp) and what a
// backend does with each call (backend_internal.h).
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <thread>

#include "platform/kernel.h"
#include "platform/window/backend_internal.h"

namespace platform {
namespace {

struct VideoState {
    std::once_flag started;
    bool available = false;
    bool real = false;
    bool named = false;  // the driver is the one SDL_VIDEODRIVER names
    std::atomic<bool> refusalReported{false};
    std::thread::id thread;
};

VideoState& Video() {
    static auto* video = new VideoState();
    return *video;
}

bool IsFramed(DWORD style) {
    return (style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_DLGFRAME)) != 0;
}

void ApplyIcon(WindowRecord* window);

}  // namespace

bool EnsureVideo() {
    VideoState& video = Video();
    std::call_once(video.started, [&video] {
        bool real = false;
        bool named = false;
        if (!BackendStartVideo(&real, &named)) {
            return;  // no video: no window can be shown
        }
        video.available = true;
        video.real = real;
        video.named = named;
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

// A window that nobody can see is only what a program wants when it asked for
// a memory-only driver by name (tests, benchmarks, tools); one that fell back
// to it, because there is no display, would run unseen for ever.
bool ScreenForWindows() {
    VideoState& video = Video();
    if (EnsureVideo() && (video.real || video.named)) {
        return true;
    }
    if (!video.refusalReported.exchange(true)) {
        std::fprintf(stderr,
                     "no display to open a window on (DISPLAY and WAYLAND_DISPLAY are unset or "
                     "unusable); set SDL_VIDEODRIVER=dummy to run without one\n");
    }
    return false;
}

bool ScreenModes(DisplayMode* desktop, std::vector<DisplayMode>* sizes) {
    if (!EnsureVideo()) {
        return false;
    }
    *sizes = BackendDisplaySizes();
    return BackendDesktopMode(desktop);
}

void AllowScreenSaver(bool allow) {
    if (EnsureVideo()) {
        BackendAllowScreenSaver(allow);
    }
}

bool ScreenSpellsText() {
    return HasRealVideoDriver() && BackendSpellsText();
}

void ResetScreenComposition() {
    if (HasRealVideoDriver()) {
        BackendResetComposition();
    }
}

bool DesktopClipboardText(std::string* utf8) {
    return HasRealVideoDriver() && BackendClipboardText(utf8);
}

void SetDesktopClipboardText(const std::string& utf8) {
    if (HasRealVideoDriver()) {
        BackendSetClipboardText(utf8);
    }
}

int ScreenMessageBox(HWND owner, const char* text, const char* caption, UINT type, int escape,
                     const int* ids, const char* const* labels, int count) {
    if (!HasRealVideoDriver()) {
        return -1;
    }
    BoxButton buttons[3] = {};
    count = std::min(count, 3);
    for (int i = 0; i < count; ++i) {
        buttons[i] = BoxButton{ids[i], labels[i]};
    }
    BoxIcon icon = BoxIcon::Information;
    if ((type & 0xF0u) == MB_ICONERROR) {
        icon = BoxIcon::Error;
    } else if ((type & 0xF0u) == MB_ICONWARNING) {
        icon = BoxIcon::Warning;
    }
    WindowRecord* record = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        record = FindWindowRecord(owner);
    }
    return BackendMessageBox(record, ToUtf8(text), ToUtf8(caption), icon, buttons, count, escape);
}

std::string ToUtf8(const char* text) {
    if (text == nullptr || text[0] == '\0') {
        return std::string();
    }
    int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::u16string wide(static_cast<size_t>(std::max(units, 1)), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), units);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(std::max(bytes, 1)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, utf8.data(), bytes, nullptr, nullptr);
    utf8.resize(std::strlen(utf8.c_str()));
    return utf8;
}

void PresentFramebuffer(WindowRecord* window) {
    if (window->backend == nullptr || !HasRealVideoDriver() || !IsVideoThread() ||
        window->pixelWidth == 0 || window->pixelHeight == 0) {
        return;
    }
    BackendPresent(window);
}

void SyncScreenWindow(WindowRecord* window) {
    if (window->procOnly || window->parent != nullptr || !EnsureVideo()) {
        return;
    }
    ScreenWindowState state;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        if (window->destroyed) {
            return;
        }
        ClientOrigin(window, &state.x, &state.y);
        state.width = std::max(window->clientWidth, 1);
        state.height = std::max(window->clientHeight, 1);
        state.visible = (window->style & WS_VISIBLE) != 0;
        state.minimized = window->minimized;
        state.maximized = window->maximized;
        state.framed = IsFramed(window->style);
        state.resizable = (window->style & WS_THICKFRAME) != 0;
        state.fullScreen = window->fullScreen;
        state.titleUtf8 = ToUtf8(window->title.c_str());
    }
    if (!BackendSyncWindow(window, state)) {
        return;  // a record without a screen, as under no video at all
    }
    ApplyIcon(window);
    BackendShowState(window, state);
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
        // full-screen program makes; the screen shows it in its full-screen mode.
        const RECT& r = window->windowRect;
        bool frameless = (window->style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER)) == 0;
        wanted = (window->style & WS_POPUP) != 0 && frameless && r.left == 0 && r.top == 0 &&
                 r.right == mode.width && r.bottom == mode.height;
        if (wanted == window->fullScreen) {
            return false;
        }
        window->fullScreen = wanted;
    }
    if (window->backend != nullptr && Video().real) {
        BackendSetFullScreen(window, wanted);
        if (!wanted) {
            SyncScreenWindow(window);
        }
    }
    // Going in or out of full screen is a display change for the programs.
    if (announce) {
        PostDisplayChange();
    }
    return true;
}

void DestroyScreenWindow(WindowRecord* window) {
    BackendDestroyWindow(window);
}

}  // namespace platform

using namespace platform;

// Icons and cursors are records that name what they stand for; the arrow is
// the one cursor the screen shows here, and an icon carries no image of its own.
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
    BackendShowCursor(cursorCount.load() >= 0 && currentCursor.load() != nullptr);
}

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

BOOL SetCursorPos(int x, int y) {
    NoteCursorPosition(x, y);
    if (HasRealVideoDriver()) {
        BackendWarpCursor(x, y);
    }
    return TRUE;
}

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

namespace {

void ApplyIcon(WindowRecord* window) {
    if (window->backend == nullptr || window->icon == nullptr) {
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
    BackendSetIcon(window, found->second.data(), width, height);
}

}  // namespace
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
