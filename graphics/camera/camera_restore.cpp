// The camera across a device re-creation: the view, projection and
// projection adjustment are kept before the draw target is selected again
// (which would put the target camera in their place) and set back once the
// new device holds every other state.
#include "graphics/camera/camera.h"
#include "graphics/settings/draw_settings.h"

namespace tessel {

namespace {

struct KeptCamera {
    Mat4 view;
    Mat4 projection;
    Mat4 projectionAdjust;
};
KeptCamera g_keptCamera;

}  // namespace

void KeepCameraMatrices() {
    g_keptCamera.view = g_drawSettings.view;
    g_keptCamera.projection = g_drawSettings.projection;
    g_keptCamera.projectionAdjust = g_drawSettings.projectionAdjust;
}

void ReapplyCameraMatrices() {
    const Mat4 world = g_drawSettings.world;
    SetWorldTransform(&world);
    SetViewTransform(&g_keptCamera.view);
    // As a user matrix: the mode stays 2 until the program sets another.
    SetProjectionMatrix(&g_keptCamera.projection);
    SetProjectionAdjustTransform(&g_keptCamera.projectionAdjust);
}

}  // namespace tessel
