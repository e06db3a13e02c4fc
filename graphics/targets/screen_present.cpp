// Presenting the finished frame: through the swap chain on the device path,
// through device-independent bitmap blits into the window on the software
// path. Both stretch the screen by the window scale in window mode and show
// the top-left 320x240 over the whole 640x480 screen while a 320x240 flag is
// set. The area of the last full presentation maps a partial presentation;
// each full presentation keeps its frame for an inactive window.
#include "foundation/runtime/debug_text.h"
#include "foundation/runtime/main_window.h"
#include "foundation/runtime/system_state.h"
#include "foundation/runtime/window_mode.h"
#include "graphics/batch/vertex_batch.h"
#include "graphics/device/device_state.h"
#include "graphics/device/display_modes.h"
#include "graphics/device/graphics_device.h"
#include "graphics/images/image_records.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/targets/draw_targets.h"
#include "platform/gdi.h"

namespace tessel {

namespace {

struct PresentPlan {
    RECT source;
    RECT dest;
    bool halfSize;  // the top-left quarter over the whole 640x480 screen
};

PresentPlan PlanPresentation(int width, int height) {
    PresentPlan plan = {};
    plan.source = RECT{0, 0, width, height};
    plan.dest = plan.source;
    if (IsFullScreenMode() == 0) {
        double scaleX = 1.0;
        double scaleY = 1.0;
        GetWindowScale(&scaleX, &scaleY);
        plan.dest.right = static_cast<int>(width * scaleX);
        plan.dest.bottom = static_cast<int>(height * scaleY);
    }
    if (IsScreenHalfSize() != 0 && width == 640 && height == 480) {
        plan.source = RECT{0, 0, 320, 240};
        plan.dest = RECT{0, 0, 640, 480};
        plan.halfSize = true;
    }
    return plan;
}

RECT MapThroughPresentArea(const RECT& rect, int width, int height) {
    const RECT& area = g_targets.presentArea;
    const int areaWidth = area.right - area.left;
    const int areaHeight = area.bottom - area.top;
    return RECT{
        rect.left * areaWidth / width + area.left, rect.top * areaHeight / height + area.top,
        rect.right * areaWidth / width + area.left, rect.bottom * areaHeight / height + area.top};
}

int PresentOnDevice(const RECT* rect, const RECT& mapped, const PresentPlan& plan) {
    FlushVertexBatch();
    EnsureSceneEnded();
    if (g_graphics.device == nullptr) {
        return -1;
    }
    if (g_graphics.subBackBuffer != nullptr &&
        FAILED(g_graphics.device->StretchRect(g_graphics.subBackBuffer, nullptr,
                                              g_graphics.backBuffer, nullptr, D3DTEXF_NONE))) {
        return -1;
    }
    if (g_graphics.swapChain == nullptr) {
        return 0;
    }
    const RECT* source = nullptr;
    const RECT* dest = nullptr;
    if (IsFullScreenMode() == 0) {
        if (rect == nullptr) {
            g_targets.presentArea = plan.source;
            source = &plan.source;
            dest = &plan.dest;
        } else {
            source = &mapped;
            dest = rect;
        }
    } else if (plan.halfSize) {
        source = &plan.source;
        dest = &plan.dest;
    }
    if (rect == nullptr) {
        KeepLastFrame();
    }
    HRESULT result = g_graphics.swapChain->Present(source, dest, GetMainWindow(), nullptr, 0);
    NotePresentResult(result);
    return FAILED(result) ? -1 : 0;
}

struct ScreenBitmapInfo {
    BITMAPINFOHEADER header;
    DWORD masks[3];
};

// The screen's memory image described top-down with its own bit fields.
ScreenBitmapInfo DescribeScreen(const MEMIMG& screen, int width, int height) {
    const PixelFormatDesc* format = screen.base->format;
    ScreenBitmapInfo info = {};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = -height;
    info.header.biPlanes = 1;
    info.header.biBitCount = format->bits;
    info.header.biCompression = BI_BITFIELDS;
    info.masks[0] = format->redMask;
    info.masks[1] = format->greenMask;
    info.masks[2] = format->blueMask;
    return info;
}

// The console goes over the whole frame, copied and untinted; the
// program's area, blend and brightness come back afterwards.
void DrawDebugTextOverFrame(int width, int height) {
    DrawSettings& s = g_drawSettings;
    const RECT area = s.drawArea;
    const int mode = s.blendMode;
    const int param = s.blendParam;
    const uint32_t brightness = s.brightness;
    SetClipRegion(0, 0, width, height);
    SetImageBlendMode(0, 0);
    SetImageBrightness(255, 255, 255);
    DrawDebugText();
    SetClipRegion(area.left, area.top, area.right, area.bottom);
    SetImageBlendMode(mode, param);
    SetImageBrightnessPacked(brightness);
}

// The source y of StretchDIBits counts from the bottom of the image.
int PresentBySoftware(const RECT* rect, const RECT& mapped, const PresentPlan& plan, int width,
                      int height) {
    const MEMIMG& screen = g_targets.primarySoftScreen;
    if (MemImgIsValid(&screen) == 0) {
        return 0;
    }
    if (g_drawSettings.verticalBlankWaitOff == 0) {
        WaitVerticalBlank();
    }
    const ScreenBitmapInfo info = DescribeScreen(screen, width, height);
    const BITMAPINFO* bitmap = reinterpret_cast<const BITMAPINFO*>(&info);
    HWND window = GetMainWindow();
    HDC dc = GetDC(window);
    if (dc == nullptr) {
        return 0;
    }
    const void* bits = screen.pixels;
    if (plan.halfSize) {
        g_targets.presentArea = RECT{0, 0, 640, 480};
        StretchDIBits(dc, 0, 0, 640, 480, 0, 240, 320, 240, bits, bitmap, DIB_RGB_COLORS, SRCCOPY);
    } else if (rect != nullptr) {
        StretchDIBits(dc, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top,
                      mapped.left, height - mapped.bottom, mapped.right - mapped.left,
                      mapped.bottom - mapped.top, bits, bitmap, DIB_RGB_COLORS, SRCCOPY);
    } else {
        const int destWidth = plan.dest.right - plan.dest.left;
        const int destHeight = plan.dest.bottom - plan.dest.top;
        g_targets.presentArea = RECT{0, 0, destWidth, destHeight};
        if (destWidth == width && destHeight == height) {
            SetDIBitsToDevice(dc, 0, 0, width, height, 0, 0, 0, height, bits, bitmap,
                              DIB_RGB_COLORS);
        } else {
            StretchDIBits(dc, 0, 0, destWidth, destHeight, 0, 0, width, height, bits, bitmap,
                          DIB_RGB_COLORS, SRCCOPY);
        }
    }
    ReleaseDC(window, dc);
    if (rect == nullptr) {
        KeepLastFrame();
    }
    return 0;
}

}  // namespace

int PresentScreen(const RECT* rect) {
    if (g_system.started == 0 || IsQuitRequested() != 0) {
        return -1;
    }
    const int width = g_screen.width != 0 ? g_screen.width : kDefaultScreenWidth;
    const int height = g_screen.height != 0 ? g_screen.height : kDefaultScreenHeight;
    RECT mapped = {};
    if (rect != nullptr) {
        mapped = MapThroughPresentArea(*rect, width, height);
        if (mapped.left == mapped.right || mapped.top == mapped.bottom) {
            return -1;
        }
    }
    if (IsDebugTextActive() != 0) {
        DrawDebugTextOverFrame(width, height);
    }
    const PresentPlan plan = PlanPresentation(width, height);
    if (g_graphics.hardwareInUse != 0) {
        return PresentOnDevice(rect, mapped, plan);
    }
    return PresentBySoftware(rect, mapped, plan, width, height);
}

int PresentScreenPublic() {
    return PresentScreen(nullptr);
}

// From its first use the screens are drawn on the sub back buffer, and every
// presentation copies it to the back buffer first.
int EnsureSubBackBuffer() {
    if (g_graphics.subBackBuffer != nullptr) {
        return 0;
    }
    FlushVertexBatch();
    EnsureSceneEnded();
    if (CreateSubBackBuffer() != 0) {
        return -1;
    }
    g_graphics.device->StretchRect(g_graphics.backBuffer, nullptr, g_graphics.subBackBuffer,
                                   nullptr, D3DTEXF_NONE);
    SelectCurrentDrawTarget();
    return 0;
}

int PresentBackScreen() {
    if (g_graphics.hardwareInUse != 0 && IsFullScreenMode() != 0) {
        EnsureSubBackBuffer();
    }
    return PresentScreen(nullptr);
}

// While the front screen is the target, what was drawn reaches the window
// without the program presenting.
void FrontScreenRefreshTimer(HWND window, UINT /*message*/, UINT_PTR id, DWORD /*time*/) {
    KillTimer(window, id);
    if (g_drawSettings.drawTarget != kFrontScreen) {
        return;
    }
    PresentBackScreen();
    SetTimer(window, kFrontScreenTimerId, kFrontScreenTimerPeriod, FrontScreenRefreshTimer);
}

void EraseAndPresentScreens() {
    EraseDrawTarget(nullptr);
    PresentScreen(nullptr);
}

}  // namespace tessel
