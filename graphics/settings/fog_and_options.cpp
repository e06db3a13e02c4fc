// The fog, the Z write switch, the transparent colour and the presentation
// options of the draw settings: plain stores, handed to the render-state
// cache on the hardware path.
#include "foundation/math/matrix.h"
#include "graphics/batch/vertex_batch.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/device/shader_pack.h"
#include "graphics/memimg/memimg.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/settings/settings_internal.h"
#include "graphics/state/render_state_cache.h"
#include "platform/types.h"
#include "softrender/draw_state.h"

namespace tessel {

using namespace settings;

int SetFogSwitch(int on) {
    if (g_drawSettings.fogSwitch == on) {
        return 0;
    }
    g_drawSettings.fogSwitch = on;
    if (OnHardware()) {
        SetFogEnableState(on);
    }
    return 0;
}

int SetFogFormula(int mode) {
    if (g_drawSettings.fogFormula == mode) {
        return 0;
    }
    g_drawSettings.fogFormula = mode;
    if (!OnHardware()) {
        return 0;
    }
    SetFogModeState(mode);
    if (ShaderPathOn != 0) {
        const int flags[4] = {mode == 3, mode == 1, mode == 2, mode != 0};
        for (int i = 0; i < 4; ++i) {
            const BOOL value = flags[i];
            g_graphics.device->SetVertexShaderConstantB(static_cast<UINT>(i), &value, 1);
        }
    }
    return 0;
}

int SetFogTint(int red, int green, int blue) {
    const uint32_t color = 0xFF000000u | (static_cast<uint32_t>(red & 0xFF) << 16) |
                           (static_cast<uint32_t>(green & 0xFF) << 8) |
                           static_cast<uint32_t>(blue & 0xFF);
    if (g_drawSettings.fogColor == color) {
        return 0;
    }
    g_drawSettings.fogColor = color;
    if (OnHardware()) {
        SetFogColorState(color);
    }
    return 0;
}

int SetFogRange(float start, float end) {
    if (g_drawSettings.fogStart == start && g_drawSettings.fogEnd == end) {
        return 0;
    }
    g_drawSettings.fogStart = start;
    g_drawSettings.fogEnd = end;
    if (OnHardware()) {
        SetFogRangeState(start, end);
    }
    return 0;
}

int SetZBufferWrite(int on) {
    FlushVertexBatch();
    g_drawSettings.zSets[0].write = on;
    g_drawSettings.zSets[1].write = on;
    return 0;
}

int SetTransparentColor(uint8_t red, uint8_t green, uint8_t blue) {
    if (QueryScreenColorDepth() == 8) {
        return 0;
    }
    g_drawSettings.transparentColor = PackBrightness(red, green, blue);
    return 0;
}

int SetVerticalBlankWait(int on) {
    g_drawSettings.verticalBlankWaitOff = on == 0 ? 1 : 0;
    return 0;
}

int QueryVerticalBlankWait() {
    return g_drawSettings.verticalBlankWaitOff == 0 ? 1 : 0;
}

int SetEmulation320x240(int on) {
    g_drawSettings.emulation320x240 = on;
    return 0;
}

int IsRestoreCallbackSet() {
    return g_drawSettings.restoreCallback != nullptr ? 1 : 0;
}

int QueryDrawTarget() {
    return g_drawSettings.drawTarget;
}

float* MakeFloat4(float* out, float a, float b, float c, float d) {
    out[0] = a;
    out[1] = b;
    out[2] = c;
    out[3] = d;
    return out;
}

}  // namespace tessel
