// The last presented frame: its pixels copied at every whole-screen
// presentation, an image made from them on first use, and the repaint of an
// inactive window, which shows that image without disturbing the back screen
// the program is drawing on.
#include "foundation/runtime/main_window.h"
#include "foundation/runtime/system_state.h"
#include "graphics/batch/vertex_batch.h"
#include "graphics/draw/draw_calls.h"
#include "graphics/images/image_create.h"
#include "graphics/images/image_records.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/targets/draw_targets.h"

namespace tessel {

namespace {

struct LastFrame {
    BASEIMAGE pixels;
    int32_t image = -1;
    // The repaint presents the kept frame itself; that is no new frame.
    bool repainting = false;
};
LastFrame g_lastFrame;

// The settings that would change how the frame is drawn: the draw area,
// blend mode and brightness are set plain for the repaint and put back.
struct PlainDrawing {
    RECT area;
    int32_t blendMode;
    int32_t blendParam;
    uint32_t brightness;

    static PlainDrawing Keep() {
        const DrawSettings& s = g_drawSettings;
        return PlainDrawing{s.requestedArea, s.blendMode, s.blendParam, s.brightness};
    }
    static void Apply() {
        SetClipRegionWhole();
        SetImageBlendMode(0, 0);
        SetImageBrightness(255, 255, 255);
    }
    void Restore() const {
        SetClipRegion(area.left, area.top, area.right, area.bottom);
        SetImageBlendMode(blendMode, blendParam);
        SetImageBrightness(brightness >> 16, (brightness >> 8) & 0xFF, brightness & 0xFF);
    }
};

int MakeLastFrameImage() {
    if (IsImageHandleValid(g_lastFrame.image) == 0) {
        g_lastFrame.image = CreateImageFromBaseImage(&g_lastFrame.pixels);
    }
    return g_lastFrame.image;
}

// The kept frame over the back screen, shown, and the back screen put back.
void ShowOverBackScreen(int width, int height) {
    const int backScreen = CreateBlankImage(width, height);
    if (backScreen != -1) {
        CaptureScreenToImage(0, 0, width, height, backScreen);
    }
    const BASEIMAGE& frame = g_lastFrame.pixels;
    if (frame.width == width && frame.height == height) {
        DrawImageAt(0, 0, g_lastFrame.image, 0);
    } else {
        DrawImageStretched(0, 0, width, height, g_lastFrame.image, 0);
    }
    g_lastFrame.repainting = true;
    PresentScreen(nullptr);
    g_lastFrame.repainting = false;
    if (backScreen != -1) {
        DrawImageAt(0, 0, backScreen, 0);
        FlushVertexBatch();
        ReleaseImageHandle(backScreen);
    }
}

}  // namespace

void KeepLastFrame() {
    if (g_lastFrame.repainting || g_targets.lockHeld != 0) {
        return;
    }
    if (CopyScreenPixels(&g_lastFrame.pixels) == 0) {
        ForgetLastFrameImage();
    }
}

int LastFrameKept() {
    return g_lastFrame.pixels.pixels != nullptr ? 1 : 0;
}

void ForgetLastFrameImage() {
    if (IsImageHandleValid(g_lastFrame.image) != 0) {
        FlushVertexBatch();
        ReleaseImageHandle(g_lastFrame.image);
    }
    g_lastFrame.image = -1;
}

void ReleaseLastFrame() {
    ForgetLastFrameImage();
    ReleaseImageBuffer(&g_lastFrame.pixels);
}

int RepaintLastFrame() {
    if (g_system.ending != 0) {
        return 0;
    }
    if (LastFrameKept() == 0) {
        return -1;
    }
    // Forced on so that selecting the back screen does not wait for the
    // window to become active again.
    const int32_t runWhenInactive = g_system.runWhenInactive;
    g_system.runWhenInactive = 1;
    if (MakeLastFrameImage() == -1) {
        g_system.runWhenInactive = runWhenInactive;
        return -1;
    }
    const int target = g_drawSettings.drawTarget;
    const int filter = QueryImageFilterMode();
    const int32_t waitOff = g_drawSettings.verticalBlankWaitOff;
    const PlainDrawing kept = PlainDrawing::Keep();
    SelectDrawTarget(kBackScreen);
    SetImageFilterMode(1);
    g_drawSettings.verticalBlankWaitOff = 1;
    PlainDrawing::Apply();
    int width = 0;
    int height = 0;
    QueryImageSize(kBackScreen, &width, &height);
    ShowOverBackScreen(width, height);
    SelectDrawTarget(target);
    kept.Restore();
    SetImageFilterMode(filter);
    g_drawSettings.verticalBlankWaitOff = waitOff;
    g_system.runWhenInactive = runWhenInactive;
    return 0;
}

}  // namespace tessel
