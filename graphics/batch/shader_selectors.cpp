// The lighting switch and the two shader selectors that the model drawing
// adds its own variant to when it picks a built-in shader.
#include "foundation/math/matrix.h"
#include "graphics/batch/vertex_batch.h"
#include "graphics/device/device_state.h"
#include "graphics/device/shader_pack.h"
#include "graphics/memimg/memimg.h"
#include "graphics/state/render_state_cache.h"
#include "platform/types.h"
#include "softrender/draw_state.h"

namespace tessel {

int32_t VertexShaderSelector = 0;
int32_t PixelShaderSelector = 0;

void UpdateShaderSelectors() {
    if (ShaderPathOn == 0) {
        return;
    }
    const DeviceStateCache& c = g_stateCache;
    int type[3] = {0, 0, 0};
    int anyLight = 0;
    if (c.lighting != 0) {
        for (int i = 0; i < 3; ++i) {
            if (c.lightEnabled[i] != 0) {
                type[i] = static_cast<int>(c.lights[i].Type);
                anyLight = 1;
            }
        }
    }
    int lighting = c.lighting != 0 ? 1 : 0;
    int fog = c.fogEnable != 0 ? c.fogMode : 0;
    VertexShaderSelector =
        8 * (type[2] + 4 * (type[1] + 4 * (type[0] + 4 * (fog + 8 * (anyLight + 6 * lighting)))));
    // Directional lights and the two lights with a position shade apart in
    // the pixel shader; point and spot share one kind there.
    int kind[3] = {};
    for (int i = 0; i < 3; ++i) {
        kind[i] = type[i] == D3DLIGHT_DIRECTIONAL ? 2 : type[i] != 0 ? 1 : 0;
    }
    PixelShaderSelector =
        8 * (kind[2] + 3 * (kind[1] + 3 * (kind[0] + 6 * (anyLight + 4 * lighting))));
}

int SetLightingSwitch(int on) {
    if (g_graphics.device == nullptr) {
        return 0;
    }
    if (on == g_stateCache.lighting && g_stateCache.force == 0) {
        return 0;
    }
    g_stateCache.lighting = on;
    UpdateShaderSelectors();
    HRESULT result = g_graphics.device->SetRenderState(D3DRS_LIGHTING, static_cast<DWORD>(on));
    return SUCCEEDED(result) ? 0 : -1;
}

}  // namespace tessel
