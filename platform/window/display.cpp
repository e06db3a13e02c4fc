// Displays: the mode list, display settings, system metrics, the screen's
// device context and its capabilities, system parameters. The mode list is
// the test's when one is set, else the screen's sizes, each at 16 and 32
// bits. A display change is recorded and announced (full-screen windows
// follow it, every top-level window gets WM_DISPLAYCHANGE), but the
// desktop's resolution never changes: a full-screen window covers it.
// Not here: more than one monitor, colour depths other than 16 and 32.
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "platform/kernel.h"
#include "platform/window/dc_internal.h"
#include "platform/window/window_internal.h"

namespace platform {
namespace {

constexpr DisplayMode kFallbackMode = {1024, 768, 32, 60};

struct DisplayState {
    std::mutex lock;
    bool loaded = false;
    bool fromTest = false;
    std::vector<DisplayMode> modes;
    DisplayMode desktop = kFallbackMode;
    DisplayMode current = kFallbackMode;
    bool screenSaverActive = true;
};

DisplayState& Display() {
    static auto* state = new DisplayState();
    return *state;
}

bool SameMode(const DisplayMode& a, const DisplayMode& b) {
    return a.width == b.width && a.height == b.height && a.bitsPerPixel == b.bitsPerPixel &&
           a.refreshRate == b.refreshRate;
}

// The screen lists each size once, in the desktop's format. Windows lists every size
// in each depth it can show; a 16-bit screen is ours to make, so each size
// comes at 16 and at 32 bits, smallest first within each depth.
void LoadScreenModes(DisplayState& state) {
    state.modes.clear();
    std::vector<DisplayMode> sizes;
    DisplayMode desktop = {};
    if (ScreenModes(&desktop, &sizes)) {
        state.desktop = desktop;
    }
    if (state.desktop.bitsPerPixel < 16) {
        state.desktop.bitsPerPixel = 32;
    }
    if (sizes.empty()) {
        sizes.push_back({state.desktop.width, state.desktop.height, 0, state.desktop.refreshRate});
    }
    std::sort(sizes.begin(), sizes.end(), [](const DisplayMode& a, const DisplayMode& b) {
        if (a.width != b.width)
            return a.width < b.width;
        if (a.height != b.height)
            return a.height < b.height;
        return a.refreshRate < b.refreshRate;
    });
    for (int bits : {16, 32}) {
        for (const DisplayMode& size : sizes) {
            DisplayMode mode = {size.width, size.height, bits, size.refreshRate};
            if (std::none_of(state.modes.begin(), state.modes.end(),
                             [&](const DisplayMode& m) { return SameMode(m, mode); })) {
                state.modes.push_back(mode);
            }
        }
    }
    state.current = state.desktop;
}

DisplayState& LoadedDisplay() {
    DisplayState& state = Display();
    std::lock_guard<std::mutex> guard(state.lock);
    if (!state.loaded) {
        LoadScreenModes(state);
        state.loaded = true;
    }
    return state;
}

void FillDevMode(const DisplayMode& mode, DEVMODEA* out) {
    std::memset(out, 0, sizeof(DEVMODEA));
    std::memcpy(out->dmDeviceName, "Tessel Display", 15);
    out->dmSize = sizeof(DEVMODEA);
    out->dmSpecVersion = 0x0401;
    out->dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;
    out->dmBitsPerPel = static_cast<DWORD>(mode.bitsPerPixel);
    out->dmPelsWidth = static_cast<DWORD>(mode.width);
    out->dmPelsHeight = static_cast<DWORD>(mode.height);
    out->dmDisplayFrequency = static_cast<DWORD>(mode.refreshRate);
    out->dmLogPixels = 96;
}

// The mode that a request names: the fields it leaves out keep the current
// values, a frequency of 0 or 1 means the display's default.
bool FindRequested(const DisplayState& state, const DEVMODEA& request, DisplayMode* found) {
    DisplayMode wanted = state.current;
    if (request.dmFields & DM_PELSWIDTH)
        wanted.width = static_cast<int>(request.dmPelsWidth);
    if (request.dmFields & DM_PELSHEIGHT)
        wanted.height = static_cast<int>(request.dmPelsHeight);
    if (request.dmFields & DM_BITSPERPEL) {
        wanted.bitsPerPixel = static_cast<int>(request.dmBitsPerPel);
    }
    bool anyRate = (request.dmFields & DM_DISPLAYFREQUENCY) == 0 || request.dmDisplayFrequency <= 1;
    for (const DisplayMode& mode : state.modes) {
        if (mode.width == wanted.width && mode.height == wanted.height &&
            mode.bitsPerPixel == wanted.bitsPerPixel &&
            (anyRate || mode.refreshRate == static_cast<int>(request.dmDisplayFrequency))) {
            *found = mode;
            return true;
        }
    }
    return false;
}

std::mutex& DCLock() {
    static auto* lock = new std::mutex();
    return *lock;
}

std::unordered_set<HDC>& LiveDCs() {
    static auto* set = new std::unordered_set<HDC>();
    return *set;
}

}  // namespace

void SetDisplayModes(const DisplayMode* modes, int count, const DisplayMode* desktop) {
    DisplayState& state = Display();
    std::lock_guard<std::mutex> guard(state.lock);
    if (modes == nullptr || count < 0) {
        LoadScreenModes(state);
        state.loaded = true;
        state.fromTest = false;
        return;
    }
    state.modes.assign(modes, modes + count);
    state.desktop = desktop != nullptr ? *desktop : (count > 0 ? modes[0] : kFallbackMode);
    state.current = state.desktop;
    state.loaded = true;
    state.fromTest = true;
}

DisplayMode CurrentDisplayMode() {
    DisplayState& state = LoadedDisplay();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.current;
}

void PostDisplayChange() {
    DisplayMode mode = CurrentDisplayMode();
    std::vector<HWND> windows;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        for (WindowRecord* record : TopLevelWindows()) {
            windows.push_back(record->handle);
        }
    }
    for (HWND window : windows) {
        PostToWindow(window, WM_DISPLAYCHANGE, static_cast<WPARAM>(mode.bitsPerPixel),
                     MAKELONG(mode.width, mode.height));
    }
}

HDC CreateDCRecord(HWND window, bool memory) {
    auto dc = new PlatformDC();
    dc->window = window;
    dc->memory = memory;
    std::lock_guard<std::mutex> guard(DCLock());
    LiveDCs().insert(dc);
    return dc;
}

void DestroyDCRecord(HDC dc) {
    {
        std::lock_guard<std::mutex> guard(DCLock());
        if (LiveDCs().erase(dc) == 0) {
            return;
        }
    }
    if (dc->releaseGdi != nullptr) {
        dc->releaseGdi(dc);
    }
    delete dc;
}

bool IsLiveDC(HDC dc) {
    std::lock_guard<std::mutex> guard(DCLock());
    return LiveDCs().count(dc) != 0;
}

}  // namespace platform

using namespace platform;

BOOL EnumDisplaySettingsA(LPCSTR deviceName, DWORD modeNumber, DEVMODEA* mode) {
    if (mode == nullptr) {
        return FALSE;
    }
    DisplayState& state = LoadedDisplay();
    std::lock_guard<std::mutex> guard(state.lock);
    if (modeNumber == ENUM_CURRENT_SETTINGS) {
        FillDevMode(state.current, mode);
        return TRUE;
    }
    if (modeNumber == ENUM_REGISTRY_SETTINGS) {
        FillDevMode(state.desktop, mode);
        return TRUE;
    }
    if (modeNumber >= state.modes.size()) {
        return FALSE;
    }
    FillDevMode(state.modes[modeNumber], mode);
    return TRUE;
}

LONG ChangeDisplaySettingsA(DEVMODEA* request, DWORD flags) {
    DisplayState& state = LoadedDisplay();
    DisplayMode target;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (request == nullptr) {
            target = state.desktop;
        } else if (!FindRequested(state, *request, &target)) {
            return DISP_CHANGE_BADMODE;
        }
        if ((flags & CDS_TEST) != 0) {
            return DISP_CHANGE_SUCCESSFUL;
        }
        if (SameMode(target, state.current)) {
            return DISP_CHANGE_SUCCESSFUL;  // nothing to change, nothing to announce
        }
        state.current = target;
    }
    // Full-screen windows follow the new size; then every window hears of it.
    {
        std::lock_guard<std::recursive_mutex> guard(WindowLock());
        for (WindowRecord* window : TopLevelWindows()) {
            ApplyFullScreen(window, false);
        }
    }
    PostDisplayChange();
    return DISP_CHANGE_SUCCESSFUL;
}

int GetSystemMetrics(int index) {
    switch (index) {
        case SM_CXSCREEN:
            return CurrentDisplayMode().width;
        case SM_CYSCREEN:
            return CurrentDisplayMode().height;
        case SM_CYCAPTION:
            return FrameInsets(WS_CAPTION, 0, false).top - FrameInsets(WS_DLGFRAME, 0, false).top;
        case SM_CXBORDER:
        case SM_CYBORDER:
            return FrameInsets(WS_BORDER, 0, false).left;
        case SM_CXFIXEDFRAME:
        case SM_CYFIXEDFRAME:
            return FrameInsets(WS_DLGFRAME, 0, false).left;
        case SM_CXSIZEFRAME:
        case SM_CYSIZEFRAME:
            return FrameInsets(WS_THICKFRAME, 0, false).left;
        case SM_CXEDGE:
        case SM_CYEDGE:
            return FrameInsets(0, WS_EX_CLIENTEDGE, false).left;
        case SM_CMONITORS:
            return 1;
        default:
            return 0;
    }
}

HDC GetDC(HWND window) {
    if (window != nullptr && !IsWindow(window)) {
        return nullptr;
    }
    return CreateDCRecord(window, false);
}

int ReleaseDC(HWND window, HDC dc) {
    if (!IsLiveDC(dc) || dc->memory) {
        return 0;
    }
    DestroyDCRecord(dc);
    return 1;
}

HWND WindowFromDC(HDC dc) {
    return IsLiveDC(dc) ? dc->window : nullptr;
}

int GetDeviceCaps(HDC dc, int index) {
    DisplayMode mode = CurrentDisplayMode();
    switch (index) {
        case HORZRES:
            return mode.width;
        case VERTRES:
            return mode.height;
        case BITSPIXEL:
            return mode.bitsPerPixel;
        case PLANES:
            return 1;
        case LOGPIXELSX:
        case LOGPIXELSY:
            return 96;
        case VREFRESH:
            return mode.refreshRate;
        default:
            return 0;
    }
}

BOOL SystemParametersInfoA(UINT action, UINT uiParam, LPVOID pvParam, UINT winIni) {
    DisplayState& state = Display();
    switch (action) {
        case SPI_GETSCREENSAVEACTIVE: {
            if (pvParam == nullptr) {
                return FALSE;
            }
            std::lock_guard<std::mutex> guard(state.lock);
            *static_cast<BOOL*>(pvParam) = state.screenSaverActive ? TRUE : FALSE;
            return TRUE;
        }
        case SPI_SETSCREENSAVEACTIVE: {
            {
                std::lock_guard<std::mutex> guard(state.lock);
                state.screenSaverActive = uiParam != 0;
            }
            AllowScreenSaver(uiParam != 0);
            return TRUE;
        }
        case SPI_GETFOREGROUNDLOCKTIMEOUT: {
            if (pvParam == nullptr) {
                return FALSE;
            }
            std::lock_guard<std::recursive_mutex> guard(WindowLock());
            *static_cast<DWORD*>(pvParam) = ForegroundLockTimeout();
            return TRUE;
        }
        case SPI_SETFOREGROUNDLOCKTIMEOUT: {
            // The value travels in the pointer argument, as on Windows.
            std::lock_guard<std::recursive_mutex> guard(WindowLock());
            ForegroundLockTimeout() = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(pvParam));
            return TRUE;
        }
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
    }
}
