// The display-mode list and the program's own full-screen mode change.
#include "graphics/device/display_modes.h"

#include <cstdlib>

#include "foundation/math/matrix.h"
#include "foundation/memory/log.h"
#include "foundation/runtime/window_mode.h"
#include "graphics/device/device_state.h"
#include "graphics/device/shader_pack.h"
#include "graphics/memimg/memimg.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "platform/types.h"
#include "platform/window.h"
#include "softrender/draw_state.h"

namespace tessel {

namespace {

constexpr int kListedMinimumBits = 16;

int displayModeCount = 0;
DisplayModeEntry* displayModes = nullptr;
bool displayModesBuilt = false;

// Each enumeration gets a freshly cleared record.
bool EnumerateMode(DWORD index, DEVMODEA* mode) {
    *mode = DEVMODEA{};
    mode->dmSize = sizeof(DEVMODEA);
    return EnumDisplaySettingsA(nullptr, index, mode) != FALSE;
}

void EnsureDisplayModeList() {
    if (!displayModesBuilt) {
        BuildDisplayModeList(&displayModeCount, &displayModes);
    }
}

bool TryDisplayMode(DEVMODEA* mode, DWORD flags) {
    return ChangeDisplaySettingsA(mode, flags) == DISP_CHANGE_SUCCESSFUL;
}

int SucceedModeChange() {
    WriteLog("成功しました\n");
    OutdentLog();
    return 0;
}

}  // namespace

void BuildDisplayModeList(int* count, DisplayModeEntry** list) {
    std::free(*list);
    *list = nullptr;
    *count = 0;
    DEVMODEA mode;
    int listed = 0;
    for (DWORD index = 0; EnumerateMode(index, &mode); ++index) {
        if (mode.dmBitsPerPel >= kListedMinimumBits) {
            ++listed;
        }
    }
    auto* entries =
        static_cast<DisplayModeEntry*>(std::malloc(sizeof(DisplayModeEntry) * (listed + 1)));
    displayModesBuilt = true;
    if (entries == nullptr) {
        return;
    }
    int stored = 0;
    for (DWORD index = 0; stored < listed && EnumerateMode(index, &mode); ++index) {
        if (mode.dmBitsPerPel >= kListedMinimumBits) {
            entries[stored++] = {static_cast<int32_t>(mode.dmPelsWidth),
                                 static_cast<int32_t>(mode.dmPelsHeight),
                                 static_cast<int32_t>(mode.dmBitsPerPel),
                                 static_cast<int32_t>(mode.dmDisplayFrequency)};
        }
    }
    *list = entries;
    *count = stored;
}

void FreeDisplayModeList() {
    std::free(displayModes);
    displayModes = nullptr;
    displayModeCount = 0;
    displayModesBuilt = false;
}

int QueryDisplayModeCount() {
    EnsureDisplayModeList();
    return displayModeCount;
}

DisplayModeEntry QueryDisplayMode(int index) {
    EnsureDisplayModeList();
    if (index < 0 || index >= displayModeCount) {
        return {-1, -1, -1, -1};
    }
    return displayModes[index];
}

int IsDisplayModeAvailable(int width, int height, int bits) {
    EnsureDisplayModeList();
    for (int i = 0; i < displayModeCount; ++i) {
        const DisplayModeEntry& mode = displayModes[i];
        if (mode.width == width && mode.height == height && mode.bits == bits) {
            return 1;
        }
    }
    return 0;
}

// Every exit lowers the log indent again, so that the lines after a mode
// change keep their level whether it worked or not.
int SetFullScreenDisplayMode() {
    WriteLogFormat("画面モードの変更処理を開始します %u x %u  %u bit ",
                   static_cast<unsigned>(g_screen.width), static_cast<unsigned>(g_screen.height),
                   static_cast<unsigned>(g_screen.colorBits));
    IndentLog();
    if (g_screen.colorBits != 16 && g_screen.colorBits != 32) {
        OutdentLog();
        return -1;
    }
    WriteLog("画面解像度を変更します... ");
    DEVMODEA mode = {};
    mode.dmSize = sizeof(DEVMODEA);
    mode.dmBitsPerPel = static_cast<DWORD>(g_screen.colorBits);
    mode.dmPelsWidth = static_cast<DWORD>(g_screen.width);
    mode.dmPelsHeight = static_cast<DWORD>(g_screen.height);
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    if (g_screen.refreshRate != 0) {
        mode.dmDisplayFrequency = static_cast<DWORD>(g_screen.refreshRate);
        mode.dmFields |= DM_DISPLAYFREQUENCY;
    }
    if (TryDisplayMode(&mode, CDS_FULLSCREEN)) {
        return SucceedModeChange();
    }
    // A refresh rate the display refuses is dropped silently.
    mode.dmFields &= ~DM_DISPLAYFREQUENCY;
    mode.dmDisplayFrequency = 0;
    g_screen.refreshRate = 0;
    if (TryDisplayMode(&mode, 0)) {
        return SucceedModeChange();
    }
    if (g_screen.width == 320 && g_screen.height == 240) {
        g_screen.width = 640;
        g_screen.height = 480;
        SetEmulation320x240(1);
        mode.dmPelsWidth = 640;
        mode.dmPelsHeight = 480;
        if (TryDisplayMode(&mode, 0)) {
            ApplyWindowStyle();
            return SucceedModeChange();
        }
    }
    WriteLog("画面モードの変更に失敗しました\n");
    OutdentLog();
    return -1;
}

}  // namespace tessel
