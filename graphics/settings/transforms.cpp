// The transform chain of the draw settings: world, view, projection and the
// projection adjustment. The device's projection is projection x adjustment x
// inverse draw-area matrix, so that a projection made for the whole target
// still maps onto it when the viewport shrinks to the draw area.
#include "foundation/math/matrix.h"
#include "graphics/batch/vertex_batch.h"
#include "graphics/camera/camera.h"
#include "graphics/device/device_state.h"
#include "graphics/device/shader_pack.h"
#include "graphics/memimg/memimg.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/settings/settings_internal.h"
#include "graphics/state/render_state_cache.h"
#include "platform/types.h"
#include "softrender/draw_state.h"

namespace tessel {

using namespace settings;

namespace {

void MarkCacheStale() {
    g_drawSettings.camera.cacheValid = 0;
    UpdateViewProjectionCache();
}

}  // namespace

int SetWorldTransform(const Mat4* matrix) {
    FlushVertexBatch();
    g_drawSettings.world = *matrix;
    MarkCacheStale();
    if (OnHardware()) {
        SetWorldTransformDirect(matrix);
    }
    g_drawSettings.worldSet = 1;
    return 0;
}

int SetViewTransform(const Mat4* matrix) {
    FlushVertexBatch();
    g_drawSettings.view = *matrix;
    MarkCacheStale();
    if (OnHardware()) {
        SetViewTransformState(matrix);
    }
    g_drawSettings.viewSet = 1;
    return 0;
}

void ReapplyProjectionTransforms() {
    DrawSettings& s = g_drawSettings;
    if (OnHardware()) {
        Mat4 device = {};
        MatMul(&device, &s.projection, &s.projectionAdjust);
        MatMul(&device, &device, &s.drawAreaInverse);
        SetProjectionTransformState(&device);
        Mat4 transposed = {};
        MatTransposed(&transposed, &device);
        SetVertexShaderConstF(2, &transposed.m[0][0], 4);
    }
    s.projectionChanged = 1;
}

int SetProjectionTransform(const Mat4* matrix) {
    FlushVertexBatch();
    g_drawSettings.projection = *matrix;
    MarkCacheStale();
    ReapplyProjectionTransforms();
    return 0;
}

int SetProjectionAdjustTransform(const Mat4* matrix) {
    FlushVertexBatch();
    g_drawSettings.projectionAdjust = *matrix;
    MarkCacheStale();
    ReapplyProjectionTransforms();
    return 0;
}

}  // namespace tessel
