// Sampler and texture-stage states: the filters with their summary mode, the
// anisotropy, the address modes, the texture-coordinate indices and the
// texture-coordinate transforms.
#include "graphics/state/state_cache_internal.h"

namespace tessel {

using namespace state_cache;

namespace {

bool IsStage(int stage) {
    return stage >= 0 && stage < kSamplerStageCount;
}

// Stage -1 stands for all eight.
bool IsStageOrAll(int stage) {
    return stage == -1 || IsStage(stage);
}

int FirstStage(int stage) {
    return stage == -1 ? 0 : stage;
}

int EndStage(int stage) {
    return stage == -1 ? kSamplerStageCount : stage + 1;
}

// The stages the cached program uses.
int StagesInUse() {
    int count = g_stateCache.program.stageCount;
    return count < 0 ? 0 : count > kSamplerStageCount ? kSamplerStageCount : count;
}

int32_t& Sampler(int stage, int which) {
    return g_stateCache.sampler[stage][which];
}

HRESULT SendSampler(int stage, int which, DWORD value) {
    static constexpr D3DSAMPLERSTATETYPE kDeviceState[kCachedSamplerStateCount] = {
        D3DSAMP_ADDRESSU,  D3DSAMP_ADDRESSV,  D3DSAMP_ADDRESSW,     D3DSAMP_MAGFILTER,
        D3DSAMP_MINFILTER, D3DSAMP_MIPFILTER, D3DSAMP_MAXANISOTROPY};
    return g_graphics.device->SetSamplerState(static_cast<DWORD>(stage), kDeviceState[which],
                                              value);
}

// Sends one stage's state when it differs from the cache (or even when it
// does not) and stores it.
void UpdateSampler(int stage, int which, int32_t value, bool evenIfEqual) {
    if (Sampler(stage, which) == value && !evenIfEqual) {
        return;
    }
    SendSampler(stage, which, static_cast<DWORD>(value));
    Sampler(stage, which) = value;
}

// One or several address states of one stage or of all eight, compared over
// all of them and sent together.
int SetAddressStates(int value, int stage, int firstState, int endState) {
    if (!HasDevice()) {
        return 0;
    }
    if (!IsStageOrAll(stage)) {
        return -1;
    }
    bool equal = true;
    for (int i = FirstStage(stage); i < EndStage(stage); ++i) {
        for (int which = firstState; which < endState; ++which) {
            equal = equal && Sampler(i, which) == value;
        }
    }
    if (HoldBack(equal)) {
        return 0;
    }
    FlushVertexBatch();
    HRESULT result = D3D_OK;
    for (int i = FirstStage(stage); i < EndStage(stage); ++i) {
        for (int which = firstState; which < endState; ++which) {
            result = SendSampler(i, which, static_cast<DWORD>(value));
            Sampler(i, which) = value;
        }
    }
    return ResultOf(result);
}

int MapFilterKind(int kind) {
    switch (kind) {
        case kFilterKindMag:
            return kSamplerMagFilter;
        case kFilterKindMin:
            return kSamplerMinFilter;
        case kFilterKindMip:
            return kSamplerMipFilter;
        default:
            return -1;
    }
}

HRESULT SendTextureTransform(int stage, const Mat4* matrix) {
    auto state = static_cast<D3DTRANSFORMSTATETYPE>(D3DTS_TEXTURE0 + stage);
    return g_graphics.device->SetTransform(state, reinterpret_cast<const D3DMATRIX*>(matrix));
}

HRESULT SendTextureTransformFlags(int stage, DWORD flags) {
    return g_graphics.device->SetTextureStageState(static_cast<DWORD>(stage),
                                                   D3DTSS_TEXTURETRANSFORMFLAGS, flags);
}

void ApplyOneTextureTransform(int stage, int on, const Mat4* matrix) {
    int32_t& cachedOn = g_stateCache.texTransformOn[stage];
    if (cachedOn == 0 && on == 0) {
        return;
    }
    FlushVertexBatch();
    if (on == 1) {
        // A forced re-send reaches a device that holds nothing yet, so the
        // flags go too even when the cache says they are on.
        if (cachedOn == 0 || g_stateCache.force != 0) {
            SendTextureTransformFlags(stage, D3DTTFF_COUNT3);
        }
        SendTextureTransform(stage, matrix);
    } else {
        SendTextureTransformFlags(stage, D3DTTFF_DISABLE);
    }
    cachedOn = on;
    g_stateCache.texTransform[stage] = *matrix;
}

}  // namespace

int SetSamplerFilterState(int stage, int kind, int value) {
    if (!HasDevice()) {
        return 0;
    }
    int which = MapFilterKind(kind);
    if (!IsStage(stage) || which < 0) {
        return 0;
    }
    g_stateCache.filterMode = kFilterModePerStage;
    UpdateSampler(stage, which, value, false);
    return 0;
}

int SetSamplerMaxAnisotropy(int stage, int value) {
    if (!HasDevice()) {
        return 0;
    }
    if (!IsStage(stage)) {
        return 0;
    }
    g_stateCache.maxAnisotropy = -1;
    UpdateSampler(stage, kSamplerMaxAnisotropy, value, false);
    return 0;
}

int SetFilterModeState(int mode) {
    if (!HasDevice()) {
        return -1;
    }
    if (HoldBack(g_stateCache.filterMode == mode)) {
        return 0;
    }
    static constexpr int32_t kFilters[3][3] = {
        {D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE},
        {D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_NONE},
        {D3DTEXF_LINEAR, D3DTEXF_ANISOTROPIC, D3DTEXF_LINEAR},
    };
    if (mode < kFilterNearest || mode > kFilterAnisotropic) {
        return -1;
    }
    FlushVertexBatch();
    for (int stage = 0; stage < StagesInUse(); ++stage) {
        for (int i = 0; i < 3; ++i) {
            UpdateSampler(stage, kSamplerMagFilter + i, kFilters[mode][i], g_stateCache.force != 0);
        }
    }
    g_stateCache.filterMode = mode;
    return 0;
}

int SetMaxAnisotropyState(int value) {
    if (!HasDevice()) {
        return -1;
    }
    if (HoldBack(g_stateCache.maxAnisotropy == value)) {
        return 0;
    }
    int sent = value < 1 ? 1 : value;
    FlushVertexBatch();
    for (int stage = 0; stage < StagesInUse(); ++stage) {
        // Per stage only what differs, even when forced.
        UpdateSampler(stage, kSamplerMaxAnisotropy, sent, false);
    }
    g_stateCache.maxAnisotropy = sent;
    return 0;
}

int SetTexAddressAll(int value, int stage) {
    return SetAddressStates(value, stage, kSamplerAddressU, kSamplerAddressW + 1);
}

int SetTexAddressU(int value, int stage) {
    return SetAddressStates(value, stage, kSamplerAddressU, kSamplerAddressU + 1);
}

int SetTexAddressV(int value, int stage) {
    return SetAddressStates(value, stage, kSamplerAddressV, kSamplerAddressV + 1);
}

int SetTexAddressW(int value, int stage) {
    return SetAddressStates(value, stage, kSamplerAddressW, kSamplerAddressW + 1);
}

int SetTexAddressingUVW(int u, int v, int w, int stage) {
    SetTexAddressU(u, stage);
    SetTexAddressV(v, stage);
    return SetTexAddressW(w, stage);
}

int ResetTexCoordIndices() {
    if (!HasDevice()) {
        return 0;
    }
    for (int stage = 0; stage < kSamplerStageCount; ++stage) {
        int32_t& index = g_stateCache.program.stages[stage].texCoordIndex;
        if (HoldBack(index == stage)) {
            continue;
        }
        FlushVertexBatch();
        g_graphics.device->SetTextureStageState(static_cast<DWORD>(stage), D3DTSS_TEXCOORDINDEX,
                                                static_cast<DWORD>(stage));
        index = stage;
    }
    return 0;
}

int ApplyTextureTransform(int stage, int on, const Mat4* matrix) {
    if (!HasDevice() || matrix == nullptr) {
        return 0;
    }
    if (stage == -1) {
        FlushVertexBatch();
        for (int i = 0; i < 4; ++i) {
            if (on == 1) {
                SendTextureTransformFlags(i, D3DTTFF_COUNT3);
                SendTextureTransform(i, matrix);
            } else {
                SendTextureTransformFlags(i, D3DTTFF_DISABLE);
            }
            g_stateCache.texTransformOn[i] = on;
            g_stateCache.texTransform[i] = *matrix;
        }
        return 0;
    }
    if (IsStage(stage)) {
        ApplyOneTextureTransform(stage, on, matrix);
    }
    return 0;
}

int SetTextureTransformState(int on, const Mat4* matrix, int stage) {
    g_stateCache.directTexTransform = on;
    return ApplyTextureTransform(stage, on, matrix);
}

}  // namespace tessel
