// Appending to the vertex batch as the primitives do it: room made with an
// in-line draw of what is pending, tile textures selected, the draw state
// rebuilt when the cache marks it changed.
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/draw/hw_batch_internal.h"
#include "graphics/drawstate/draw_state.h"
#include "graphics/state/render_state_cache.h"

namespace tessel::hwdraw {

bool DeviceUsable() {
    return g_graphics.device != nullptr && g_graphics.deviceLost == 0;
}

// Draws what is pending right away; unlike the batch's own flush this one
// ignores the quit request and the skip flag.
void DrawPendingInline() {
    const int format = g_batch.format;
    SetCachedFvf(kVertexFvf[format]);
    g_graphics.device->DrawPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(g_batch.primitiveKind),
                                       PrimitiveCountFor(g_batch.primitiveKind, g_batch.count),
                                       g_batch.buffers[format],
                                       static_cast<UINT>(kVertexStride[format]));
    g_batch.count = 0;
    g_batch.writePointer = g_batch.buffers[format];
}

void SetupStateIfDirty() {
    if (g_stateCache.programDirty != 0 || g_stateCache.textureDirty != 0) {
        SetupDrawTextureState(1, nullptr, 0);
    }
}

// Makes room for `count` triangle-list vertices and returns where they go.
uint8_t* ReserveTriangles(int count, bool flushAtLimit) {
    const int limit = kVertexLimit[g_batch.format];
    const bool full = flushAtLimit ? g_batch.count + count >= limit : g_batch.count + count > limit;
    if (g_batch.count != 0 && (g_batch.primitiveKind != D3DPT_TRIANGLELIST || full)) {
        DrawPendingInline();
    }
    g_batch.primitiveKind = D3DPT_TRIANGLELIST;
    uint8_t* at = g_batch.writePointer;
    g_batch.writePointer += count * kVertexStride[g_batch.format];
    g_batch.count += count;
    return at;
}

void SelectTileTexture(IDirect3DTexture9* texture) {
    if (g_stateCache.drawTexture != texture) {
        SetDrawTexture(texture);
    }
    SetupStateIfDirty();
}

}  // namespace tessel::hwdraw
