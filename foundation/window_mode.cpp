#include "foundation/window_mode.h"

#include "foundation/log.h"
#include "foundation/system_state.h"
#include "platform/window.h"

namespace tessel {

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

int ChangeWindowMode(int mode) {
    WriteLog("ChangeWindowMode実行 \n");
    int wanted = mode != 0 ? 1 : 0;
    if (wanted == g_system.windowMode) {
        return 0;
    }
    if (g_system.mainWindow != nullptr) {
        WriteLog("起動後のウインドウモードの変更には対応していません\n");
        return -1;
    }
    g_system.visibleStyle = 1;
    g_system.displayChanged = 0;
    StoreWindowModeFlag(wanted);
    return 0;
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

}  // namespace tessel
