// The graphics layer's global state and its small calls: the options a
// program sets before start-up, the getters, the scene pair, the dialog-box
// mode and the device buffers the model code asks for.
#include <cstring>

#include "foundation/math/matrix.h"
#include "foundation/runtime/system_state.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/device/shader_pack.h"
#include "graphics/memimg/memimg.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "platform/types.h"
#include "softrender/draw_state.h"

namespace tessel {

ScreenSettings g_screen = {};
GraphicsDevice g_graphics = {};

int IsScreenHalfSize() {
    return g_screen.lowResolutionMode != 0 || g_drawSettings.emulation320x240 != 0 ? 1 : 0;
}

int SetUseHardwareOption(int use) {
    if (g_system.started != 0 || g_system.starting != 0) {
        return -1;
    }
    g_graphics.softwareOnlyOption = use == 0 ? 1 : 0;
    return 0;
}

int QueryUseHardwareOption() {
    return g_graphics.softwareOnlyOption == 0 ? 1 : 0;
}

int SetDesktopCompositionOff(int off) {
    g_graphics.desktopCompositionOffOption = off;
    return 0;
}

void EnsureSceneBegun() {
    if (g_graphics.device == nullptr || g_graphics.sceneOpen != 0) {
        return;
    }
    g_graphics.device->BeginScene();
    g_graphics.sceneOpen = 1;
    ClearPerSceneCache();
}

void EnsureSceneEnded() {
    if (g_graphics.device == nullptr || g_graphics.sceneOpen == 0) {
        return;
    }
    g_graphics.device->EndScene();
    g_graphics.sceneOpen = 0;
}

int SetDeviceDialogBoxMode(int on) {
    if (g_graphics.hardwareInUse == 0 || g_graphics.device == nullptr) {
        return 0;
    }
    g_graphics.device->SetDialogBoxMode(FALSE);
    if (on != 0) {
        g_graphics.device->SetDialogBoxMode(TRUE);
    }
    return 0;
}

int SetDialogBoxModeWithSceneEnd(int on) {
    if (g_graphics.device == nullptr) {
        return 0;
    }
    EnsureSceneEnded();
    g_graphics.device->SetDialogBoxMode(on != 0 ? TRUE : FALSE);
    return 0;
}

IDirect3DVertexBuffer9* CreateDeviceVertexBuffer(UINT length, DWORD usage, DWORD fvf,
                                                 D3DPOOL pool) {
    IDirect3DVertexBuffer9* buffer = nullptr;
    if (g_graphics.device == nullptr ||
        FAILED(g_graphics.device->CreateVertexBuffer(length, usage, fvf, pool, &buffer, nullptr))) {
        return nullptr;
    }
    return buffer;
}

IDirect3DIndexBuffer9* CreateDeviceIndexBuffer(UINT length, DWORD usage, D3DFORMAT format,
                                               D3DPOOL pool) {
    IDirect3DIndexBuffer9* buffer = nullptr;
    if (g_graphics.device == nullptr || FAILED(g_graphics.device->CreateIndexBuffer(
                                            length, usage, format, pool, &buffer, nullptr))) {
        return nullptr;
    }
    return buffer;
}

IDirectDraw7* QueryDirectDrawObject() {
    return g_graphics.directDraw;
}

int QueryScreenSize(int* width, int* height) {
    if (width != nullptr) {
        *width = g_screen.width != 0 ? g_screen.width : kDefaultScreenWidth;
    }
    if (height != nullptr) {
        *height = g_screen.height != 0 ? g_screen.height : kDefaultScreenHeight;
    }
    return 0;
}

int QueryScreenColorDepth() {
    return g_screen.colorBits != 0 ? g_screen.colorBits : kDefaultScreenBits;
}

int QueryScreenState(int* width, int* height, int* bits) {
    if (IsScreenHalfSize() != 0) {
        if (width != nullptr) {
            *width = 320;
        }
        if (height != nullptr) {
            *height = 240;
        }
    } else {
        if (width != nullptr) {
            *width = g_screen.width;
        }
        if (height != nullptr) {
            *height = g_screen.height;
        }
    }
    if (bits != nullptr) {
        *bits = g_screen.colorBits;
    }
    return 0;
}

int IsFullScreenMode() {
    return g_system.windowMode == 0 ? 1 : 0;
}

void SetScreenHalfSize() {
    g_screen.lowResolutionMode = 1;
    g_screen.width = 640;
    g_screen.height = 480;
}

DDCAPS* ClearDirectDrawCaps(DDCAPS* caps) {
    std::memset(caps, 0, sizeof(DDCAPS));
    return caps;
}

int NoOpReturnZero() {
    return 0;
}

void NotePresentResult(HRESULT result) {
    if (result == D3DERR_DEVICELOST) {
        g_graphics.deviceLost = 1;
    }
}

int IsGraphicsDeviceLost() {
    return g_graphics.deviceLost;
}

}  // namespace tessel
