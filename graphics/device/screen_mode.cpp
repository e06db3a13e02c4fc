// Changing the screen mode: before start-up the settings are only stored;
// while running, graphics are ended and started again in the new mode, with
// fall-backs down to 640x480 at 16 bits.
#include "foundation/memory/log.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/startup.h"
#include "foundation/runtime/system_state.h"
#include "foundation/runtime/window_mode.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/fonts/font_handles.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/targets/draw_targets.h"

namespace tessel {

namespace {

struct ModeRequest {
    int width;
    int height;
    int bits;
    int refresh;
};

ModeRequest CurrentMode() {
    return {g_screen.width, g_screen.height, g_screen.colorBits, g_screen.refreshRate};
}

bool SameMode(const ModeRequest& a, const ModeRequest& b) {
    return a.width == b.width && a.height == b.height && a.bits == b.bits && a.refresh == b.refresh;
}

bool StartWith(const ModeRequest& mode) {
    g_screen.width = mode.width;
    g_screen.height = mode.height;
    g_screen.colorBits = mode.bits;
    g_screen.refreshRate = mode.refresh;
    return InitGraphicsSystem() == 0;
}

// The mode in force answers a request of 320x240 also when it is served as
// 640x480 with either 320x240 flag.
// The default font's face, size and thickness, noted before graphics end so
// that the default font comes back as it was.
struct NotedFont {
    char face[kFontFaceSize] = "";
    int size = 0;
    int thickness = 0;
    bool noted = false;

    void Note() {
        noted = g_graphics.started != 0 &&
                QueryFontInfo(face, &size, &thickness, QueryDefaultFontHandle()) == 0;
    }
};

bool ServesRequest(const ModeRequest& request) {
    ModeRequest now = CurrentMode();
    if (SameMode(now, request)) {
        return true;
    }
    int width = 0;
    int height = 0;
    QueryScreenState(&width, &height, nullptr);
    return request.width == 320 && request.height == 240 && width == 320 && height == 240 &&
           now.bits == request.bits && now.refresh == request.refresh;
}

}  // namespace

int ChangeScreenModeCore(int width, int height, int bits, int force, int refresh) {
    if (g_system.windowMode == 0) {
        g_screen.lowResolutionMode = width == 320 && height == 240 ? 1 : 0;
        if (g_screen.lowResolutionMode != 0) {
            width = 640;
            height = 480;
        }
    } else {
        if (force == 1 && g_screen.lowResolutionMode != 0 && g_screen.width == 640 &&
            g_screen.height == 480) {
            width = 320;
            height = 240;
        }
        g_screen.lowResolutionMode = 0;
    }
    const ModeRequest kept = CurrentMode();
    ModeRequest wanted = {width != -1 ? width : kept.width, height != -1 ? height : kept.height,
                          bits != -1 ? bits : kept.bits, refresh != -1 ? refresh : kept.refresh};
    if (SameMode(wanted, kept) && force == 0) {
        return 0;
    }
    WriteLog("画面モード変更処理を開始します\n");
    IndentLog();
    NotedFont font;
    font.Note();
    if (g_system.started == 0 && g_system.starting == 0) {
        OutdentLog();
        return 0;
    }
    if (g_graphics.started != 0) {
        TerminateGraphicsSystem();
    }
    if (!StartWith(wanted)) {
        bool served = false;
        if (wanted.width == 320 && wanted.height == 240) {
            SetEmulation320x240(1);
            served = StartWith({640, 480, wanted.bits, wanted.refresh});
        }
        served = served || StartWith(kept) || StartWith({640, 480, 16, 0});
        if (!served) {
            AbortWithLog("予期せぬ画面モード変更不能現象が起きました2\n");
        }
    }
    if (g_system.windowMode != 0) {
        ApplyWindowStyle();
    }
    if (font.noted) {
        SetDefaultFontSize(font.face, font.size, font.thickness);
    }
    OutdentLog();
    WriteLog("画面モード変更処理は正常に終了しました\n");
    PumpMessagesInner();
    SelectCurrentDrawTarget();
    return 0;
}

int SetScreenMode(int width, int height, int bits, int refresh) {
    if (width == 0 || height == 0 || (bits != 8 && bits != 16 && bits != 32)) {
        return -1;
    }
    const ModeRequest request = {width, height, bits, refresh};
    if (g_system.started == 0) {
        g_screen.width = width;
        g_screen.height = height;
        g_screen.colorBits = bits;
        g_screen.refreshRate = refresh;
        return 0;
    }
    const ModeRequest before = CurrentMode();
    ChangeScreenModeCore(width, height, bits, 0, refresh);
    if (ServesRequest(request)) {
        return 0;
    }
    if (SameMode(CurrentMode(), before)) {
        return -1;
    }
    if (SameMode(CurrentMode(), {640, 480, 16, 0})) {
        return -2;
    }
    return -1;
}

}  // namespace tessel
