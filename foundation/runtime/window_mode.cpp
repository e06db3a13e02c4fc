// Window mode and full screen: the window styles of each, the switch while
// running (restyling and resizing the one window, never a second one), the
// client rectangle kept as the window moves, the scale between the screen
// size and the client area, the desktop metrics, the cursor's visibility,
// bringing the window to the front and desktop composition.
// Not here: changing the display's resolution (full screen covers the
// desktop instead), making the window (main_window.cpp).
#include "foundation/runtime/window_mode.h"

#include "foundation/memory/log.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/system_state.h"
#include "graphics/device/graphics_device.h"
#include "platform/kernel.h"
#include "platform/window.h"

namespace tessel {

void ReadClientRect() {
    RECT client = {};
    GetClientRect(g_system.mainWindow, &client);
    POINT topLeft = {client.left, client.top};
    POINT bottomRight = {client.right, client.bottom};
    ClientToScreen(g_system.mainWindow, &topLeft);
    ClientToScreen(g_system.mainWindow, &bottomRight);
    g_system.clientRect = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

const WindowStyleEntry kWindowStyles[kWindowStyleCount] = {
    {0x80CA0000u, 0x00000300u, 0x80000000u, 0x00000008u},
    {0x80080000u, 0x00000300u, 0x80000000u, 0x00000008u},
    {0x80080000u, 0x00000000u, 0x80000000u, 0x00000008u},
    {0x80CA0000u, 0x00000080u, 0x80000000u, 0x00000008u},
    {0x80080000u, 0x00000080u, 0x80000000u, 0x00000008u},
    {0x80C80000u, 0x00000100u, 0x80000000u, 0x00000008u},
    {0x80CA0000u, 0x00000300u, 0x80000000u, 0x00000008u},
    {0x80CB0000u, 0x00000300u, 0x80000000u, 0x00000008u},
    {0x81CB0000u, 0x00000300u, 0x80000000u, 0x00000008u},
    {0x80CA0000u, 0x00000100u, 0x80000000u, 0x00000008u},
    {0, 0, 0, 0},
};

const WindowStyleEntry& CurrentWindowStyle() {
    auto index = static_cast<uint32_t>(g_system.styleIndex);
    return kWindowStyles[index < kWindowStyleCount ? index : 0];
}

void StoreWindowModeFlag(int mode) {
    g_system.windowMode = mode;
    WriteLog(mode != 0 ? "ウインドウモードフラグが立てられました\n"
                       : "ウインドウモードフラグが倒されました\n");
}

int ApplyCursorVisibility(int wanted) {
    if (wanted != -1) {
        g_system.cursorWanted = wanted;
        if (wanted == g_system.cursorShown) {
            return 0;
        }
    }
    if (g_system.cursorWanted != 0) {
        while (ShowCursor(TRUE) < 0) {
        }
    } else {
        while (ShowCursor(FALSE) >= 0) {
        }
    }
    if (g_system.mainWindow != nullptr) {
        PostMessageA(g_system.mainWindow, WM_SETCURSOR,
                     reinterpret_cast<WPARAM>(g_system.mainWindow),
                     MAKELONG(HTCLIENT, WM_MOUSEMOVE));
    }
    g_system.cursorShown = g_system.cursorWanted;
    return 0;
}

namespace {

constexpr int kDisplayChangeWaitMs = 2000;

ScreenModeChanger screenModeChanger = ChangeScreenModeCore;

// The window scale as the window uses it; a factor not above 0 reads as 1.
void ScaleFactors(double* x, double* y) {
    if (g_system.windowScaleX <= 0.0) {
        g_system.windowScaleX = 1.0;
    }
    if (g_system.windowScaleY <= 0.0) {
        g_system.windowScaleY = 1.0;
    }
    *x = g_system.windowScaleX;
    *y = g_system.windowScaleY;
}

void ScaledScreenSize(int* width, int* height) {
    int screenWidth = 0;
    int screenHeight = 0;
    QueryScreenSize(&screenWidth, &screenHeight);
    double x = 1.0;
    double y = 1.0;
    ScaleFactors(&x, &y);
    *width = static_cast<int>(screenWidth * x);
    *height = static_cast<int>(screenHeight * y);
}

void StyleForFullScreen(const WindowStyleEntry& styles) {
    WriteLog("ウインドウスタイルをフルスクリーンモード用に変更します... ");
    HWND window = g_system.mainWindow;
    SetWindowLongA(window, GWL_EXSTYLE, static_cast<LONG>(styles.fullScreenExStyle));
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(styles.fullScreenStyle));
    int width = 0;
    int height = 0;
    QueryScreenSize(&width, &height);
    g_system.clientRect = {0, 0, width, height};
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    SetWindowPos(window, HWND_TOPMOST, 0, 0, width, height, 0);
    ApplyCursorVisibility(0);
}

void StyleForWindow(const WindowStyleEntry& styles) {
    WriteLog("ウインドウスタイルをウインドウモード用に変更します... ");
    HWND window = g_system.mainWindow;
    DWORD style = styles.style | (g_system.visibleStyle != 0 ? WS_VISIBLE : 0u);
    SetWindowLongA(window, GWL_EXSTYLE, static_cast<LONG>(styles.exStyle));
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(style));
    int clientWidth = 0;
    int clientHeight = 0;
    ScaledScreenSize(&clientWidth, &clientHeight);
    RECT rect = {0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&rect, style, FALSE, styles.exStyle);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int x = (g_system.desktopWidth - width) / 2;
    int y = (g_system.desktopHeight - height) / 2;
    SetWindowPos(window, HWND_NOTOPMOST, x, y, width, height, 0);
    SetWindowPos(window, HWND_NOTOPMOST, x, y, width, height, 0);
    // A frame wider than the desktop would push the client area off its
    // top-left corner; the window moves back so that it starts on screen.
    ReadClientRect();
    int right = g_system.clientRect.left < 0 ? -g_system.clientRect.left : 0;
    int down = g_system.clientRect.top < 0 ? -g_system.clientRect.top : 0;
    if (right != 0 || down != 0) {
        SetWindowPos(window, nullptr, x + right, y + down, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ReadClientRect();
    }
    ApplyCursorVisibility(1);
}

}  // namespace

void SetScreenModeChanger(ScreenModeChanger changer) {
    screenModeChanger = changer != nullptr ? changer : ChangeScreenModeCore;
}

int SetWindowStyleIndex(int index) {
    if (static_cast<uint32_t>(index) >= kWindowStyleCount) {
        return -1;
    }
    g_system.styleIndex = index;
    if (g_system.mainWindow == nullptr) {
        return 0;
    }
    if (g_system.windowMode != 0) {
        ApplyWindowStyle();
    }
    UpdateWindow(g_system.mainWindow);
    return 0;
}

void ApplyWindowStyle() {
    if (g_system.mainWindow == nullptr) {
        return;
    }
    const WindowStyleEntry& styles = CurrentWindowStyle();
    if (g_system.windowMode == 0) {
        StyleForFullScreen(styles);
    } else {
        StyleForWindow(styles);
    }
    WriteLog("完了\n");
    SetActiveWindow(g_system.mainWindow);
    PostMessageA(g_system.mainWindow, WM_SETCURSOR, reinterpret_cast<WPARAM>(g_system.mainWindow),
                 MAKELONG(HTCLIENT, WM_MOUSEMOVE));
}

void FitWindowToClientSize() {
    HWND window = g_system.mainWindow;
    if (window == nullptr) {
        return;
    }
    int width = 0;
    int height = 0;
    ScaledScreenSize(&width, &height);
    RECT windowRect = {};
    RECT client = {};
    GetWindowRect(window, &windowRect);
    GetClientRect(window, &client);
    POINT topLeft = {0, 0};
    ClientToScreen(window, &topLeft);
    g_system.clientRect = {topLeft.x, topLeft.y, topLeft.x + width, topLeft.y + height};
    int frameWidth = (windowRect.right - windowRect.left) - (client.right - client.left);
    int frameHeight = (windowRect.bottom - windowRect.top) - (client.bottom - client.top);
    MoveWindow(window, windowRect.left, windowRect.top, width + frameWidth, height + frameHeight,
               TRUE);
    if (g_system.windowMode != 0 && g_system.visibleStyle == 0) {
        g_system.visibleStyle = 1;
        ApplyWindowStyle();
    }
}

void TrackClientRectOnMove(LPARAM position) {
    int x = static_cast<SHORT>(LOWORD(position));
    int y = static_cast<SHORT>(HIWORD(position));
    RECT& client = g_system.clientRect;
    int width = client.right - client.left;
    int height = client.bottom - client.top;
    client = {x, y, x + width, y + height};
    // The mask screen and the drawing area follow the move here once the
    // graphics layer is part of the library.
}

int ChangeWindowMode(int mode) {
    WriteLog("ChangeWindowMode実行 \n");
    int wanted = mode != 0 ? 1 : 0;
    if (wanted == g_system.windowMode) {
        return 0;
    }
    g_system.visibleStyle = 1;
    g_system.displayChanged = 0;
    StoreWindowModeFlag(wanted);
    if (g_system.mainWindow == nullptr) {
        return 0;  // the window is created in the new mode
    }
    g_system.modeChanging = 1;
    ApplyWindowStyle();
    int result = screenModeChanger(-1, -1, -1, 1, -1);
    // The new screen mode comes with a display change; a switch that causes
    // none must not keep the program here for ever.
    int start = ReadMillisecondClock();
    while (PumpMessagesInner() == 0 && g_system.displayChanged == 0 &&
           ((ReadMillisecondClock() - start) & 0x7FFFFFFF) < kDisplayChangeWaitMs) {
        Sleep(1);
    }
    g_system.modeChanging = 0;
    return result;
}

void BringWindowToFront(HWND window, int topmost) {
    DWORD ownThread = GetWindowThreadProcessId(window, nullptr);
    DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    AttachThreadInput(ownThread, foregroundThread, TRUE);
    DWORD timeout = 0;
    SystemParametersInfoA(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    SetForegroundWindow(window);
    SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                          reinterpret_cast<LPVOID>(static_cast<uintptr_t>(timeout)), 0);
    AttachThreadInput(ownThread, foregroundThread, FALSE);
    if (topmost == 1) {
        SetWindowPos(g_system.mainWindow, HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOREDRAW);
    }
}

int GetDesktopMetrics(int* width, int* height, int* colorBits) {
    int w = g_system.desktopWidth;
    int h = g_system.desktopHeight;
    int bits = g_system.desktopBits;
    if (g_system.started == 0 && g_system.mainWindow == nullptr) {
        w = GetSystemMetrics(SM_CXSCREEN);
        h = GetSystemMetrics(SM_CYSCREEN);
        HDC screen = GetDC(nullptr);
        bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
        ReleaseDC(nullptr, screen);
    }
    if (width != nullptr) {
        *width = w;
    }
    if (height != nullptr) {
        *height = h;
    }
    if (colorBits != nullptr) {
        *colorBits = bits;
    }
    return 0;
}

int GetWindowScale(double* x, double* y) {
    double scaleX = 1.0;
    double scaleY = 1.0;
    ScaleFactors(&scaleX, &scaleY);
    if (g_system.windowMode == 0) {
        scaleX = 1.0;
        scaleY = 1.0;
    }
    if (x != nullptr) {
        *x = scaleX;
    }
    if (y != nullptr) {
        *y = scaleY;
    }
    return 0;
}

int GetClientScreenRect(RECT* rect) {
    *rect = g_system.clientRect;
    return 0;
}

int QueryMouseClientPos(int* x, int* y) {
    POINT cursor = {};
    GetCursorPos(&cursor);
    if (g_system.windowMode == 0) {
        *x = cursor.x;
        *y = cursor.y;
        return 0;
    }
    double scaleX = 1.0;
    double scaleY = 1.0;
    ScaleFactors(&scaleX, &scaleY);
    *x = static_cast<int>((cursor.x - g_system.clientRect.left) / scaleX);
    *y = static_cast<int>((cursor.y - g_system.clientRect.top) / scaleY);
    return 0;
}

int EnableDesktopComposition(int on) {
    int off = on == 0 ? 1 : 0;
    if (off == g_system.compositionOff) {
        return 0;
    }
    if (g_system.enableComposition != nullptr) {
        auto enable = reinterpret_cast<HRESULT (*)(UINT)>(g_system.enableComposition);
        enable(on != 0 ? 1u : 0u);
    }
    g_system.compositionOff = off;
    return 0;
}

}  // namespace tessel
