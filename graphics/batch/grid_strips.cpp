// A grid of textured vertices drawn as joined triangle strips with 16-bit
// indices; the deformed-image draw hands its mesh here.
#include <cstdint>

#include "foundation/memory/log.h"
#include "graphics/batch/vertex_batch.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/state/render_state_cache.h"

namespace tessel {

namespace {

constexpr int kMaxGridIndices = 1000;

struct GridList {
    uint16_t indices[kMaxGridIndices];
    int count;
};

void DrawList(GridList* list, int vertexCount, const VertexTex2D* vertices) {
    if (list->count > 2) {
        if (g_stateCache.lastFvf != kVertexFvf[kVertexTex2D]) {
            g_graphics.device->SetFVF(kVertexFvf[kVertexTex2D]);
            g_stateCache.lastFvf = kVertexFvf[kVertexTex2D];
        }
        g_graphics.device->DrawIndexedPrimitiveUP(
            D3DPT_TRIANGLESTRIP, 0, static_cast<UINT>(vertexCount),
            static_cast<UINT>(list->count - 2), list->indices, D3DFMT_INDEX16, vertices,
            static_cast<UINT>(kVertexStride[kVertexTex2D]));
    }
    list->count = 0;
}

}  // namespace

int DrawGridStrips(int columns, const VertexTex2D* vertices, int rows) {
    if (columns < 2 || rows < 2 || vertices == nullptr) {
        return -1;
    }
    // A strip must fit in one list, and every vertex must be reachable by a
    // 16-bit index.
    if (2 * columns > kMaxGridIndices || static_cast<int64_t>(columns) * rows > 65536) {
        WriteLog("格子の頂点数が多すぎます\n");
        return -1;
    }
    if (g_graphics.device == nullptr) {
        return -1;
    }
    FlushVertexBatch();
    EnsureSceneBegun();
    GridList list = {};
    const int vertexCount = columns * rows;
    for (int row = 0; row + 1 < rows; ++row) {
        int join = list.count != 0 ? 2 : 0;
        if (list.count + join + 2 * columns > kMaxGridIndices) {
            DrawList(&list, vertexCount, vertices);
            join = 0;
        }
        const int above = row * columns;
        const int below = above + columns;
        if (join != 0) {
            // Two repeated indices make empty triangles that carry the strip
            // over to the next row.
            list.indices[list.count] = list.indices[list.count - 1];
            list.indices[list.count + 1] = static_cast<uint16_t>(below);
            list.count += 2;
        }
        for (int column = 0; column < columns; ++column) {
            list.indices[list.count++] = static_cast<uint16_t>(below + column);
            list.indices[list.count++] = static_cast<uint16_t>(above + column);
        }
    }
    DrawList(&list, vertexCount, vertices);
    return 0;
}

}  // namespace tessel
