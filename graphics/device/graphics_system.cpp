// Bringing graphics up and down, and repairing a lost device in place.
#include "foundation/math/matrix.h"
#include "foundation/memory/log.h"
#include "foundation/runtime/input.h"
#include "foundation/runtime/system_state.h"
#include "graphics/camera/camera.h"
#include "graphics/device/device_internal.h"
#include "graphics/device/device_state.h"
#include "graphics/device/display_modes.h"
#include "graphics/device/graphics_device.h"
#include "graphics/device/shader_pack.h"
#include "graphics/fonts/font_handles.h"
#include "graphics/images/image_records.h"
#include "graphics/mask/mask_screen.h"
#include "graphics/memimg/blend_tables.h"
#include "graphics/memimg/memimg.h"
#include "graphics/restore/image_restore.h"
#include "graphics/state/render_state_cache.h"
#include "graphics/targets/draw_targets.h"
#include "graphics/textures/image_textures.h"
#include "models/core/model_system.h"
#include "models/textures/model_textures.h"
#include "platform/kernel.h"
#include "platform/types.h"
#include "softrender/draw_state.h"

namespace tessel {

namespace {

bool IsFullScreen() {
    return g_system.windowMode == 0;
}

// Tries the Direct3D objects, the device and the Z buffer in turn; on any
// failure releases what was made. true when the hardware path is ready.
bool TryHardwarePath() {
    if (IsFullScreen() && g_system.info.osCode >= kOsWindowsVista && IsScreenHalfSize() != 0 &&
        SetFullScreenDisplayMode() != 0) {
        return false;
    }
    if (CreateDirect3DObject() == 0 && CreateDirect3DDevice() == 0 && CreateZBuffer() == 0) {
        return true;
    }
    ReleaseDeviceObjects();
    ReleaseComObject(&g_graphics.direct3D);
    return false;
}

void StartHardwareObjects() {
    CreateBuiltInShaders();
    if (ShaderPathOn != 0) {
        CreateVertexDeclarations();
        CreateMaxBrightnessVolume();
    }
}

// Everything that hangs on the device comes back in the order the image
// textures, the mask screen, the states and the refill rely on.
void RecreateHardwareObjects() {
    RecreateAllTileTextures();
    MaskScreenRestore();
    KeepCameraMatrices();
    SelectCurrentDrawTarget();
    ReapplyAllDeviceStates();
    for (int i = 0; i < 2; ++i) {
        EraseAndPresentScreens();
    }
    RunRestore();
    MarkLightsForResend();
    RebuildAllModelBuffers();
    RestoreModelTextures();
    ReapplyCameraMatrices();
}

// A trial present after the window comes back finds out whether the device
// was lost meanwhile.
bool TrialPresentFails() {
    EnsureSceneEnded();
    HRESULT result = g_graphics.device->Present(nullptr, nullptr, nullptr, nullptr);
    NotePresentResult(result);
    return FAILED(result);
}

}  // namespace

int InitGraphicsSystem() {
    if (g_graphics.started != 0) {
        return 0;
    }
    ClearImageTableCounts();
    if (g_screen.width == 0) {
        g_screen.width = kDefaultScreenWidth;
    }
    if (g_screen.height == 0) {
        g_screen.height = kDefaultScreenHeight;
    }
    if (g_screen.colorBits == 0) {
        g_screen.colorBits = kDefaultScreenBits;
    }
    if (IsFullScreen() && g_screen.width == 320 && g_screen.height == 240) {
        SetScreenHalfSize();
    }
    if (SetupDirect3D() != 0) {
        // A set-up that failed after DirectDraw was made (the software path's
        // display mode) would otherwise keep it and the module loaded.
        ReleaseDirect3D();
        TerminateGraphicsSystem();
        return -1;
    }
    g_graphics.started = 1;
    g_graphics.deviceLost = 0;
    if (g_graphics.hardwareInUse != 0) {
        SetupDefaultDeviceStates();
    } else {
        CreateSoftwareScreens();
    }
    ResetDrawState();
    MemImgBuildBlendTables();
    ResetFontState();
    return 0;
}

int SetupDirect3D() {
    g_graphics.d3d9Module = LoadLibraryA("d3d9.dll");
    if (g_graphics.d3d9Module == nullptr) {
        return WriteLog("d3d9.dll の読み込みに失敗しました\n");
    }
    if (CreateDirectDrawObject() != 0) {
        FreeLibrary(g_graphics.d3d9Module);
        g_graphics.d3d9Module = nullptr;
        return -1;
    }
    g_graphics.hardwareInUse = 0;
    if (g_graphics.softwareOnlyOption == 0 && TryHardwarePath()) {
        g_graphics.hardwareInUse = 1;
        StartHardwareObjects();
        return 0;
    }
    if (IsFullScreen() && SetFullScreenDisplayMode() != 0) {
        return -1;
    }
    MeasureFrameInterval();
    return 0;
}

int TerminateGraphicsSystem() {
    RebuildFontState();
    if (g_graphics.started == 0) {
        return 0;
    }
    ForgetLastFrameImage();
    DeleteAllImages();
    EndMaskScreen();
    DeleteAllMaskData();
    DeleteAllLights();
    ReleaseDefaultLight();
    ReleaseDirect3D();
    ReleaseSoftwareScreens();
    CloseShaderPack();
    // The next start makes a new device with its own defaults: a cache that
    // kept this device's values (the material, the fog density) would
    // hold back the first sends of the same values to it.
    g_stateCache = {};
    g_graphics.started = 0;
    g_graphics.deviceLost = 0;
    return 0;
}

// The result of the set-up is checked: when the hardware path was in use and
// does not come back, nothing of the half-made set-up stays, graphics stay
// lost (the image textures are gone, so nothing may be drawn through them)
// and the next activation tries again.
int RestoreGraphicsDevice() {
    bool wasHardware = g_graphics.hardwareInUse != 0;
    if (wasHardware) {
        MaskScreenTeardown();
        ReleaseAllTileTextures();
    }
    ReleaseDirect3D();
    EndInputSystem();
    StartInputSystem();
    int result = SetupDirect3D();
    if (wasHardware && (result != 0 || g_graphics.hardwareInUse == 0)) {
        ReleaseDirect3D();
        g_graphics.hardwareInUse = 1;
        g_graphics.deviceLost = 1;
        WriteLog("グラフィックデバイスを復帰できませんでした、次のアクティブ化で再試行します\n");
        return 0;
    }
    if (g_graphics.hardwareInUse != 0) {
        RecreateHardwareObjects();
    }
    g_graphics.deviceLost = 0;
    NoOpReturnZero();
    return 0;
}

void RestoreGraphicsOnActivation(int minimised) {
    if (g_graphics.started == 0) {
        return;
    }
    if (IsFullScreen()) {
        if (minimised == 0) {
            RestoreGraphicsDevice();
        }
        return;
    }
    if (g_graphics.hardwareInUse == 0) {
        return;
    }
    if (g_graphics.deviceLost != 0 || g_graphics.device == nullptr || TrialPresentFails()) {
        RestoreGraphicsDevice();
    }
}

}  // namespace tessel
