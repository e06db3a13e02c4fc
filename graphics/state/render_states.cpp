// The cache record and its single render states: Z, fill, shading, culling,
// specular, the material sources and fog; the Z-set rule of the draw
// settings.
#include "foundation/math/matrix.h"
#include "graphics/device/device_state.h"
#include "graphics/device/shader_pack.h"
#include "graphics/memimg/memimg.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "graphics/state/state_cache_internal.h"
#include "platform/types.h"
#include "softrender/draw_state.h"

namespace tessel {

using namespace state_cache;

DeviceStateCache g_stateCache = {};

namespace {

// What a setter answers: always 0, or whether the device took the value.
enum class Answer { kZero, kResult };

// A single render state under the rule, with what the setter answers
// without a device and with one.
int SetSingleState(int withoutDevice, Answer answer, int32_t* field, int32_t value,
                   D3DRENDERSTATETYPE state, DWORD deviceValue) {
    if (!HasDevice()) {
        return withoutDevice;
    }
    int result = SetCachedRenderState(field, value, state, deviceValue);
    return answer == Answer::kResult ? result : 0;
}

}  // namespace

int SetZEnableState(int value) {
    // Only 1 enables; the value is kept as given so that it compares again.
    return SetSingleState(-1, Answer::kZero, &g_stateCache.zEnable, value, D3DRS_ZENABLE,
                          value == 1 ? D3DZB_TRUE : D3DZB_FALSE);
}

int SetZWriteState(int value) {
    return SetSingleState(-1, Answer::kZero, &g_stateCache.zWrite, value, D3DRS_ZWRITEENABLE,
                          static_cast<DWORD>(value));
}

int SetZFuncState(int value) {
    return SetSingleState(-1, Answer::kZero, &g_stateCache.zFunc, value, D3DRS_ZFUNC,
                          static_cast<DWORD>(value));
}

int SetDepthBiasState(int value) {
    return SetSingleState(-1, Answer::kZero, reinterpret_cast<int32_t*>(&g_stateCache.depthBias),
                          value, D3DRS_DEPTHBIAS, static_cast<DWORD>(value));
}

int SetFillModeState(int value) {
    return SetSingleState(-1, Answer::kZero, &g_stateCache.fillMode, value, D3DRS_FILLMODE,
                          static_cast<DWORD>(value));
}

int SetShadeModeState(int value) {
    return SetSingleState(0, Answer::kResult, &g_stateCache.shadeMode, value, D3DRS_SHADEMODE,
                          static_cast<DWORD>(value));
}

int SetCullModeState(int value) {
    DWORD cull = value == 0 ? D3DCULL_NONE : value == 2 ? D3DCULL_CW : D3DCULL_CCW;
    return SetSingleState(0, Answer::kZero, &g_stateCache.cullMode, value, D3DRS_CULLMODE, cull);
}

int SetSpecularState(int value) {
    return SetSingleState(0, Answer::kResult, &g_stateCache.specular, value, D3DRS_SPECULARENABLE,
                          static_cast<DWORD>(value));
}

int SetDiffuseFromVertexColor(int value) {
    return SetSingleState(0, Answer::kResult, &g_stateCache.diffuseFromVertex, value,
                          D3DRS_DIFFUSEMATERIALSOURCE,
                          value != 0 ? D3DMCS_COLOR1 : D3DMCS_MATERIAL);
}

int SetSpecularFromVertexColor(int value) {
    return SetSingleState(0, Answer::kResult, &g_stateCache.specularFromVertex, value,
                          D3DRS_SPECULARMATERIALSOURCE,
                          value != 0 ? D3DMCS_COLOR2 : D3DMCS_MATERIAL);
}

void SetCachedMaterialSources(int value) {
    g_stateCache.diffuseFromVertex = value;
    g_stateCache.specularFromVertex = value;
}

int SetFogEnableState(int value) {
    if (!HasDevice()) {
        return 0;
    }
    int result = SetSingleState(0, Answer::kResult, &g_stateCache.fogEnable, value, D3DRS_FOGENABLE,
                                static_cast<DWORD>(value));
    UpdateShaderSelectors();
    return result;
}

void ApplyFogEnableState() {
    if (!HasDevice()) {
        return;
    }
    int value = g_drawSettings.fogSwitch;
    if (g_stateCache.fogEnable != value) {
        FlushVertexBatch();
        g_graphics.device->SetRenderState(D3DRS_FOGENABLE, static_cast<DWORD>(value));
        g_stateCache.fogEnable = value;
    }
    UpdateShaderSelectors();
}

int SetFogModeState(int formula) {
    if (!HasDevice()) {
        return 0;
    }
    int result = SetCachedRenderState(&g_stateCache.fogMode, formula, D3DRS_FOGVERTEXMODE,
                                      static_cast<DWORD>(formula));
    if (ShaderPathOn != 0) {
        const BOOL flags[4] = {formula == D3DFOG_LINEAR, formula == D3DFOG_EXP,
                               formula == D3DFOG_EXP2, formula != D3DFOG_NONE};
        g_graphics.device->SetVertexShaderConstantB(0, flags, 4);
    }
    UpdateShaderSelectors();
    return result;
}

int SetFogColorState(uint32_t color) {
    return SetSingleState(0, Answer::kResult, reinterpret_cast<int32_t*>(&g_stateCache.fogColor),
                          static_cast<int32_t>(color), D3DRS_FOGCOLOR, color);
}

namespace state_cache {

void RefreshFogConstant() {
    float span = g_stateCache.fogEnd - g_stateCache.fogStart;
    const float fog[4] = {g_stateCache.fogEnd / span, -1.0f / span, g_stateCache.fogDensity,
                          2.7182817f};
    SetVertexShaderConstF(10, fog, 1);
}

}  // namespace state_cache

int SetFogRangeState(float start, float end) {
    if (!HasDevice()) {
        return 0;
    }
    FlushVertexBatch();
    if (!HoldBack(FloatBits(g_stateCache.fogStart) == FloatBits(start))) {
        g_graphics.device->SetRenderState(D3DRS_FOGSTART, FloatBits(start));
        g_stateCache.fogStart = start;
        RefreshFogConstant();
    }
    if (!HoldBack(FloatBits(g_stateCache.fogEnd) == FloatBits(end))) {
        g_graphics.device->SetRenderState(D3DRS_FOGEND, FloatBits(end));
        g_stateCache.fogEnd = end;
        RefreshFogConstant();
    }
    return 0;
}

int SetFogDensityState(float density) {
    if (!HasDevice()) {
        return 0;
    }
    if (HoldBack(FloatBits(g_stateCache.fogDensity) == FloatBits(density))) {
        return 0;
    }
    FlushVertexBatch();
    g_stateCache.fogDensity = density;
    RefreshFogConstant();
    return ResultOf(g_graphics.device->SetRenderState(D3DRS_FOGDENSITY, FloatBits(density)));
}

void ApplyZStateSet(const ZStateSet& set) {
    if (set.enable == 0) {
        SetZEnableState(0);
        return;
    }
    SetZEnableState(set.enable);
    SetZWriteState(set.write);
    SetZFuncState(set.func);
    SetDepthBiasState(static_cast<int>(set.bias));
}

}  // namespace tessel
