// The draw targets (viewport, scissor, render target) and the per-draw state
// that the draw set-up rebuilds when a dirty flag says so: blend mode, draw
// texture and blend mask.
#include "foundation/math/matrix.h"
#include "foundation/memory/log.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/device/shader_pack.h"
#include "graphics/drawstate/draw_state.h"
#include "graphics/memimg/memimg.h"
#include "graphics/state/render_state_cache.h"
#include "graphics/state/state_cache_internal.h"
#include "platform/types.h"
#include "softrender/draw_state.h"

namespace tessel {

using namespace state_cache;

namespace {

// A new viewport or scissor rectangle draws what is pending first and closes
// the scene. false when the value is held back.
bool BeginAreaChange(bool equal) {
    if (HoldBack(equal)) {
        return false;
    }
    FlushVertexBatch();
    EnsureSceneEnded();
    return true;
}

}  // namespace

int SetViewportState(const D3DVIEWPORT9* viewport) {
    if (!HasDevice() || viewport == nullptr) {
        return -1;
    }
    const D3DVIEWPORT9& cached = g_stateCache.viewport;
    bool equal = cached.X == viewport->X && cached.Y == viewport->Y &&
                 cached.Width == viewport->Width && cached.Height == viewport->Height;
    if (!BeginAreaChange(equal)) {
        return 0;
    }
    HRESULT result = g_graphics.device->SetViewport(viewport);
    if (FAILED(result)) {
        WriteLogFormat("ビューポートのセットに失敗しました ErrorCode %x\n",
                       static_cast<unsigned>(result));
        return -1;
    }
    g_stateCache.viewport = *viewport;
    return 0;
}

int SetViewportRect(int left, int top, int right, int bottom) {
    D3DVIEWPORT9 viewport = {static_cast<DWORD>(left),
                             static_cast<DWORD>(top),
                             static_cast<DWORD>(right - left),
                             static_cast<DWORD>(bottom - top),
                             0.0f,
                             1.0f};
    return SetViewportState(&viewport);
}

int SetScissorState(const RECT* rect) {
    if (!HasDevice() || rect == nullptr) {
        return -1;
    }
    const RECT& cached = g_stateCache.scissor;
    bool equal = cached.left == rect->left && cached.top == rect->top &&
                 cached.right == rect->right && cached.bottom == rect->bottom;
    if (!BeginAreaChange(equal)) {
        return 0;
    }
    g_graphics.device->SetScissorRect(rect);
    g_stateCache.scissor = *rect;
    return 0;
}

int SetDeviceRenderTarget(IDirect3DSurface9* surface) {
    if (!HasDevice() || surface == nullptr) {
        return -1;
    }
    if (HoldBack(g_stateCache.renderTarget == surface)) {
        return 0;
    }
    FlushVertexBatch();
    g_graphics.device->SetRenderTarget(0, surface);
    g_stateCache.renderTarget = surface;
    // The device puts viewport and scissor over the whole new target; the
    // cache follows, or a later equal value would be held back wrongly.
    D3DSURFACE_DESC desc = {};
    surface->GetDesc(&desc);
    g_stateCache.viewport = {0, 0, desc.Width, desc.Height, 0.0f, 1.0f};
    g_stateCache.scissor = {0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
    return 0;
}

int SetBlendState(int blendMode, int imageAlpha, int colorKey) {
    if (!HasDevice()) {
        return -1;
    }
    bool equal = g_stateCache.blendMode == blendMode && g_stateCache.imageAlpha == imageAlpha &&
                 g_stateCache.colorKey == colorKey;
    if (HoldBack(equal)) {
        return 0;
    }
    FlushVertexBatch();
    g_stateCache.blendMode = blendMode;
    g_stateCache.imageAlpha = imageAlpha;
    g_stateCache.colorKey = colorKey;
    g_stateCache.programDirty = 1;
    return 0;
}

int SetDrawTexture(IDirect3DBaseTexture9* texture) {
    if (!HasDevice()) {
        return -1;
    }
    if (HoldBack(g_stateCache.drawTexture == texture)) {
        return 0;
    }
    FlushVertexBatch();
    g_stateCache.textureDirty = 1;
    if ((g_stateCache.drawTexture == nullptr) != (texture == nullptr)) {
        g_stateCache.programDirty = 1;
    }
    g_stateCache.drawTexture = texture;
    return 0;
}

int SetBlendMaskState(IDirect3DBaseTexture9* mask, int threshold, int range) {
    if (!HasDevice()) {
        return -1;
    }
    int newThreshold = threshold == -1 ? g_stateCache.maskThreshold : threshold;
    int newRange = range == -1 ? g_stateCache.maskRange : range;
    if (mask != nullptr) {
        bool equal = g_stateCache.maskTexture == mask &&
                     g_stateCache.maskThreshold == newThreshold &&
                     g_stateCache.maskRange == newRange;
        if (HoldBack(equal)) {
            return 0;
        }
    } else if (g_stateCache.maskTexture == nullptr) {
        return 0;
    }
    FlushVertexBatch();
    g_stateCache.maskTexture = mask;
    g_stateCache.maskThreshold = newThreshold;
    g_stateCache.maskRange = newRange;
    g_stateCache.programDirty = 1;
    return 0;
}

int ApplyImageTextureState(const StageProgram* program, int texturesOnly, int resolveHandles) {
    FlushVertexBatch();
    SetupDrawTextureState(resolveHandles, program, texturesOnly);
    // The program that came in is not the 2D draws' own; the next 2D draw
    // builds that again.
    g_stateCache.programDirty = 1;
    g_stateCache.textureDirty = 1;
    return 0;
}

}  // namespace tessel
