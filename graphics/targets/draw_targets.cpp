// Choosing the draw target and erasing it, and the software path's screens.
// The target is a screen (-2, -4, and -3, -5 taken as screens) or a drawable
// image; the device path sends it to the device as its render target, the
// software path points the kernels at its memory image.
#include "graphics/targets/draw_targets.h"

#include "foundation/memory/log.h"
#include "foundation/runtime/main_window.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/startup.h"
#include "foundation/runtime/system_state.h"
#include "graphics/batch/vertex_batch.h"
#include "graphics/camera/camera.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/images/image_records.h"
#include "graphics/mask/mask_screen.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "platform/window.h"

namespace tessel {

DrawTargetState g_targets = {};

namespace {

bool IsScreenTarget(int target) {
    return target == -2 || target == -3 || target == -4 || target == -5;
}

bool OnDevice() {
    return g_graphics.hardwareInUse != 0 && g_graphics.device != nullptr;
}

// The drawable image behind a target; null for a screen.
ImageRecord* DrawableImage(int target) {
    if (IsScreenTarget(target)) {
        return nullptr;
    }
    return GetImageRecord(target);
}

IDirect3DSurface9* ImageSurface(const ImageRecord* record) {
    const ImageSourceRecord* source = record->source;
    if (source == nullptr || source->tiles == nullptr || source->tileCount == 0) {
        return nullptr;
    }
    return source->tiles[0].surface;
}

IDirect3DSurface9* ScreenSurface() {
    return g_graphics.subBackBuffer != nullptr ? g_graphics.subBackBuffer : g_graphics.backBuffer;
}

uint32_t BackgroundRgb() {
    return static_cast<uint32_t>(g_system.backgroundRed) << 16 |
           static_cast<uint32_t>(g_system.backgroundGreen) << 8 | g_system.backgroundBlue;
}

uint32_t BackgroundPixel(const MEMIMG* image) {
    return EncodePixelColor(image->base->format, g_system.backgroundRed, g_system.backgroundGreen,
                            g_system.backgroundBlue, 255);
}

void PointKernelsAtTarget(int target) {
    ImageRecord* record = DrawableImage(target);
    g_targets.currentSoftTarget = record != nullptr ? &record->view : &g_targets.primarySoftScreen;
}

void SendTargetToDevice(int target) {
    FlushVertexBatch();
    EnsureSceneEnded();
    SetDrawTexture(nullptr);
    ImageRecord* record = DrawableImage(target);
    IDirect3DSurface9* surface = record != nullptr ? ImageSurface(record) : ScreenSurface();
    SetDeviceRenderTarget(surface);
}

}  // namespace

int CreateSoftwareScreens() {
    int width = 0;
    int height = 0;
    QueryImageSize(kBackScreen, &width, &height);
    const int colorType = g_screen.colorBits == 16 ? kMemImgRgb565 : kMemImgRgb32;
    if (MemImgCreateDefault(&g_targets.primarySoftScreen, width, height, colorType) != 0) {
        AbortWithLog("プライマリサーフェス用の MEMIMG の作成に失敗しました\n");
    }
    g_targets.workImage = {};
    g_targets.workImageAlpha = {};
    MemImgCreate(&g_targets.workImage, width, height, -1, 0, colorType, 0, 0, 0, nullptr);
    MemImgCreate(&g_targets.workImageAlpha, width, height, -1, 0, colorType, 0, 1, 0, nullptr);
    MemImgFillRect(&g_targets.primarySoftScreen, nullptr,
                   BackgroundPixel(&g_targets.primarySoftScreen));
    g_targets.currentSoftTarget = &g_targets.primarySoftScreen;
    return 0;
}

void ReleaseSoftwareScreens() {
    MemImgRelease(&g_targets.workImageAlpha);
    MemImgRelease(&g_targets.workImage);
    MemImgRelease(&g_targets.primarySoftScreen);
    g_targets.workImage = {};
    g_targets.workImageAlpha = {};
    g_targets.primarySoftScreen = {};
    g_targets.currentSoftTarget = nullptr;
}

MEMIMG* CurrentSoftTarget() {
    return g_targets.currentSoftTarget;
}

void CurrentTargetSize(int* width, int* height) {
    *width = 0;
    *height = 0;
    const int target = g_drawSettings.drawTarget;
    QueryImageSize(IsScreenTarget(target) ? kBackScreen : target, width, height);
}

int SelectDrawTarget(int target) {
    if (g_graphics.started == 0) {
        return -1;
    }
    WaitWhileInactive();
    if (!IsScreenTarget(target)) {
        const ImageRecord* record = GetImageRecord(target);
        if (record == nullptr) {
            return WriteLog("描画先に指定されたハンドルが画像ではありません\n");
        }
        if (record->source == nullptr || record->source->request.drawable == 0) {
            return WriteLog("描画先に指定された画像は描画可能ではありません\n");
        }
    }
    int oldWidth = 0;
    int oldHeight = 0;
    CurrentTargetSize(&oldWidth, &oldHeight);
    const int maskWasOn = MaskScreenIsEnabled();
    MaskScreenEnable(0);
    if (OnDevice()) {
        SendTargetToDevice(target);
    } else if (g_graphics.hardwareInUse == 0) {
        PointKernelsAtTarget(target);
    }
    DrawSettings& s = g_drawSettings;
    s.drawTarget = target;
    if (target == kFrontScreen) {
        SetTimer(GetMainWindow(), kFrontScreenTimerId, kFrontScreenTimerPeriod,
                 FrontScreenRefreshTimer);
    }
    int width = 0;
    int height = 0;
    CurrentTargetSize(&width, &height);
    if (width == oldWidth && height == oldHeight) {
        const RECT area = s.drawArea;
        SetClipRegion(area.left, area.top, area.right, area.bottom);
    } else {
        SetClipRegion(0, 0, width, height);
    }
    ResetCameraForTarget();
    MaskScreenEnable(maskWasOn);
    return 0;
}

void SelectCurrentDrawTarget() {
    const int target = g_drawSettings.drawTarget;
    if (g_graphics.hardwareInUse == 0) {
        PointKernelsAtTarget(target);
        return;
    }
    if (g_graphics.device != nullptr) {
        SendTargetToDevice(target);
    }
}

int EraseDrawTarget(const RECT* rect) {
    if (rect != nullptr && (rect->left < 0 || rect->top < 0)) {
        rect = nullptr;
    }
    if (g_graphics.hardwareInUse == 0) {
        MEMIMG* target = g_targets.currentSoftTarget;
        if (target != nullptr && MemImgIsValid(target) != 0) {
            MemImgFillRect(target, rect, BackgroundPixel(target));
        }
        return 0;
    }
    if (g_graphics.device == nullptr) {
        return 0;
    }
    FlushVertexBatch();
    EnsureSceneEnded();
    int width = 0;
    int height = 0;
    CurrentTargetSize(&width, &height);
    const D3DVIEWPORT9 whole = {0,    0,   static_cast<DWORD>(width), static_cast<DWORD>(height),
                                0.0f, 1.0f};
    SetViewportState(&whole);
    D3DRECT area = {};
    if (rect != nullptr) {
        area = D3DRECT{rect->left, rect->top, rect->right, rect->bottom};
    }
    const DWORD count = rect != nullptr ? 1 : 0;
    const D3DRECT* areas = rect != nullptr ? &area : nullptr;
    g_graphics.device->Clear(count, areas, D3DCLEAR_TARGET, BackgroundRgb(), 1.0f, 0);
    if (g_graphics.depthSurface != nullptr) {
        g_graphics.device->Clear(count, areas, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    }
    const RECT& drawArea = g_drawSettings.drawArea;
    SetViewportRect(drawArea.left, drawArea.top, drawArea.right, drawArea.bottom);
    return 0;
}

}  // namespace tessel
