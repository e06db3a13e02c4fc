// The batch itself: its four fixed arrays, appending under the draw state the
// cache holds, and the flush that draws a run of one format and one
// primitive kind with a single device call.
#include "graphics/batch/vertex_batch.h"

#include <cstring>

#include "foundation/math/matrix.h"
#include "foundation/runtime/main_window.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/device/shader_pack.h"
#include "graphics/drawstate/draw_state.h"
#include "graphics/memimg/memimg.h"
#include "graphics/state/render_state_cache.h"
#include "platform/types.h"
#include "softrender/draw_state.h"

namespace tessel {

VertexBatch g_batch = {};

namespace {

alignas(16) uint8_t g_buffers[kVertexFormatCount][kBatchBufferBytes];

static_assert(sizeof(VertexColor2D) == 20 && sizeof(VertexTex2D) == 28 &&
              sizeof(VertexTex2D2) == 40 && sizeof(VertexTex3D) == 24);
static_assert(kVertexLimit[0] * 20 <= kBatchBufferBytes &&
              kVertexLimit[1] * 28 <= kBatchBufferBytes &&
              kVertexLimit[2] * 40 <= kBatchBufferBytes &&
              kVertexLimit[3] * 24 <= kBatchBufferBytes);

void Prefill(int format) {
    uint8_t* slot = g_buffers[format];
    for (int i = 0; i < kVertexLimit[format]; ++i, slot += kVertexStride[format]) {
        const float depthAndRhw[2] = {0.0f, 1.0f};
        std::memcpy(slot + 8, depthAndRhw, sizeof(depthAndRhw));
        if (format == kVertexTex2D2) {
            const uint32_t white = 0xFFFFFFFFu;
            std::memcpy(slot + offsetof(VertexTex2D2, specular), &white, sizeof(white));
        }
    }
}

}  // namespace

UINT PrimitiveCountFor(int kind, int vertices) {
    int count = 0;
    switch (static_cast<D3DPRIMITIVETYPE>(kind)) {
        case D3DPT_POINTLIST:
            count = vertices;
            break;
        case D3DPT_LINELIST:
            count = vertices / 2;
            break;
        case D3DPT_LINESTRIP:
            count = vertices - 1;
            break;
        case D3DPT_TRIANGLELIST:
            count = vertices / 3;
            break;
        default:
            count = vertices - 2;
            break;
    }
    return count > 0 ? static_cast<UINT>(count) : 0u;
}

void SetCachedFvf(DWORD fvf) {
    if (g_stateCache.lastFvf != fvf) {
        g_graphics.device->SetFVF(fvf);
        g_stateCache.lastFvf = fvf;
    }
}

void SetupVertexBatch() {
    // Zeroed first: the set-up appends one point whose colour it never
    // writes, and it must not carry whatever the memory held.
    std::memset(g_buffers, 0, sizeof(g_buffers));
    for (int format = 0; format < kVertexFormatCount; ++format) {
        g_batch.buffers[format] = g_buffers[format];
        if (format != kVertexTex3D) {
            Prefill(format);
        }
    }
    g_batch.format = kVertexTex2D;
    g_batch.primitiveKind = D3DPT_POINTLIST;
    g_batch.skip = 0;
    EmptyVertexBatch();
}

void EmptyVertexBatch() {
    g_batch.count = 0;
    g_batch.writePointer = g_batch.buffers[g_batch.format];
}

int FlushVertexBatch() {
    if (g_graphics.device == nullptr) {
        return -1;
    }
    if (g_batch.count != 0 && IsQuitRequested() == 0) {
        EnsureSceneBegun();
        if (g_batch.skip == 0) {
            int format = g_batch.format;
            SetCachedFvf(kVertexFvf[format]);
            g_graphics.device->DrawPrimitiveUP(
                static_cast<D3DPRIMITIVETYPE>(g_batch.primitiveKind),
                PrimitiveCountFor(g_batch.primitiveKind, g_batch.count), g_batch.buffers[format],
                static_cast<UINT>(kVertexStride[format]));
        }
    }
    EmptyVertexBatch();
    return 0;
}

int FlushVertexBatchPublic() {
    FlushVertexBatch();
    return 0;
}

int SelectVertexFormat(int format) {
    if (format < 0 || format >= kVertexFormatCount) {
        return -1;
    }
    if (format == g_batch.format) {
        return 0;
    }
    if (g_batch.count != 0) {
        FlushVertexBatch();
    }
    g_batch.format = format;
    EmptyVertexBatch();
    return 0;
}

uint8_t* ReserveBatchVertices(int kind, int count) {
    if (g_graphics.device == nullptr || g_batch.buffers[0] == nullptr ||
        kind < static_cast<int>(D3DPT_POINTLIST) || kind > static_cast<int>(D3DPT_TRIANGLEFAN)) {
        return nullptr;
    }
    if (g_stateCache.programDirty != 0 || g_stateCache.textureDirty != 0) {
        SetupDrawTextureState(1, nullptr, 0);
    }
    int limit = kVertexLimit[g_batch.format];
    if (count <= 0 || count > limit) {
        return nullptr;
    }
    if (g_batch.count != 0 && (g_batch.primitiveKind != kind || g_batch.count + count > limit)) {
        FlushVertexBatch();
    }
    g_batch.primitiveKind = kind;
    uint8_t* vertices = g_batch.writePointer;
    g_batch.writePointer += count * kVertexStride[g_batch.format];
    g_batch.count += count;
    return vertices;
}

}  // namespace tessel
