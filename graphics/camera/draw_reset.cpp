// The start-up reset of the whole draw-settings record: everything cleared
// and given its default, except what must survive a graphics restart (the
// restore callback, the presentation options and the lights).
#include <cstring>

#include "graphics/camera/camera.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/settings/settings_internal.h"

namespace tessel {

int ResetDrawState() {
    DrawSettings& s = g_drawSettings;
    const auto callback = s.restoreCallback;
    void* const callbackData = s.restoreCallbackData;
    const int32_t waitOff = s.verticalBlankWaitOff;
    const int32_t emulation = s.emulation320x240;
    std::memset(&s, 0, sizeof(s));
    s.restoreCallback = callback;
    s.restoreCallbackData = callbackData;
    s.verticalBlankWaitOff = waitOff;
    s.emulation320x240 = emulation;
    SetDrawSettingsDefaults();
    g_lights.changed = 1;

    s.maskEnabled = 1;
    s.camera.adjustScale = 1.0f;
    s.camera.aspectFactor = 1.0f;
    s.drawTarget = kDrawTargetFront;
    ResetCameraForTarget();
    SetClipRegionWhole();

    if (GetLightRecord(g_lights.defaultLight) == nullptr) {
        g_lights.defaultLight = CreateDirectionalLight(1.0f, -1.0f, 1.0f);
    }

    CameraSettings& c = s.camera;
    c.nearZ = 10.0f;
    c.farZ = 10000.0f;
    c.projectionMode = 0;
    c.fieldOfView = 1.0471975803375244f;
    c.orthoHeight = 1.0f;
    MatIdentity(&c.projectionSource);

    D3DMATERIAL9& m = g_lights.material;
    g_lights.materialChanged = 1;
    m.Diffuse = {0.8f, 0.8f, 0.8f, 1.0f};
    m.Ambient = {0.0f, 0.0f, 0.0f, 0.0f};
    m.Specular = {0.8f, 0.8f, 0.8f, 0.0f};
    m.Emissive = {0.0f, 0.0f, 0.0f, 0.0f};
    m.Power = 20.0f;
    return 0;
}

}  // namespace tessel
