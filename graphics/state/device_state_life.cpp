// The cache's life with the device: the known values it starts from when a
// device is made, the forced re-send of the draw state, and the re-send of
// everything after the device was made again.
#include <cstring>

#include "foundation/math/matrix.h"
#include "graphics/camera/camera.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/device/shader_pack.h"
#include "graphics/drawstate/draw_state.h"
#include "graphics/memimg/memimg.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "graphics/state/state_cache_internal.h"
#include "platform/types.h"
#include "softrender/draw_state.h"

namespace tessel {

using namespace state_cache;

namespace {

DWORD FilterFor(int mode, DWORD keep) {
    switch (mode) {
        case kFilterNearest:
            return D3DTEXF_POINT;
        case kFilterBilinear:
            return D3DTEXF_LINEAR;
        case kFilterAnisotropic:
            return D3DTEXF_ANISOTROPIC;
        default:
            return keep;
    }
}

// Address modes from the draw settings (0 becomes clamp), filters from the
// cached filter mode; both sent. The anisotropy is noted as 1 unsent.
void SendDefaultSamplers() {
    IDirect3DDevice9* device = g_graphics.device;
    for (int stage = 0; stage < kSamplerStageCount; ++stage) {
        int32_t* sampler = g_stateCache.sampler[stage];
        for (int which = kSamplerAddressU; which <= kSamplerAddressW; ++which) {
            int32_t& address = g_drawSettings.samplerAddress[stage][which];
            if (address == 0) {
                address = D3DTADDRESS_CLAMP;
            }
            device->SetSamplerState(static_cast<DWORD>(stage),
                                    static_cast<D3DSAMPLERSTATETYPE>(D3DSAMP_ADDRESSU + which),
                                    static_cast<DWORD>(address));
            sampler[which] = address;
        }
        for (int which = kSamplerMagFilter; which <= kSamplerMipFilter; ++which) {
            DWORD filter = FilterFor(g_stateCache.filterMode, static_cast<DWORD>(sampler[which]));
            device->SetSamplerState(
                static_cast<DWORD>(stage),
                static_cast<D3DSAMPLERSTATETYPE>(D3DSAMP_MAGFILTER + which - kSamplerMagFilter),
                filter);
            sampler[which] = static_cast<int32_t>(filter);
        }
        sampler[kSamplerMaxAnisotropy] = 1;
    }
}

void SendDefaultRenderStates() {
    IDirect3DDevice9* device = g_graphics.device;
    const struct {
        D3DRENDERSTATETYPE state;
        DWORD value;
    } defaults[] = {
        {D3DRS_CULLMODE, D3DCULL_NONE},     {D3DRS_LIGHTING, TRUE},
        {D3DRS_SHADEMODE, D3DSHADE_FLAT},   {D3DRS_DITHERENABLE, FALSE},
        {D3DRS_SPECULARENABLE, TRUE},       {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL},
        {D3DRS_NORMALIZENORMALS, TRUE},     {D3DRS_FOGENABLE, FALSE},
        {D3DRS_FOGVERTEXMODE, D3DFOG_NONE}, {D3DRS_FOGCOLOR, 0},
        {D3DRS_FOGSTART, FloatBits(0.0f)},  {D3DRS_FOGEND, FloatBits(1.0f)},
    };
    for (const auto& entry : defaults) {
        device->SetRenderState(entry.state, entry.value);
    }
}

void ClearCachedProgram() {
    std::memset(&g_stateCache.program, 0, sizeof(StageProgram));
    for (StageProgramEntry& stage : g_stateCache.program.stages) {
        stage.alphaArg1 = D3DTA_TEXTURE;
        stage.alphaArg2 = D3DTA_DIFFUSE;
        stage.alphaOp = D3DTOP_DISABLE;
        stage.colorArg1 = D3DTA_TEXTURE;
        stage.colorArg2 = D3DTA_DIFFUSE;
        stage.colorOp = D3DTOP_DISABLE;
    }
}

void StoreDefaults() {
    DeviceStateCache& c = g_stateCache;
    c.zEnable = 1;
    c.zWrite = 0;
    c.zFunc = D3DCMP_LESSEQUAL;
    c.depthBias = 0;
    c.fillMode = D3DFILL_SOLID;
    c.shadeMode = D3DSHADE_FLAT;
    c.cullMode = 0;
    c.lighting = 1;
    c.specular = 1;
    c.fogEnable = 0;
    c.fogMode = D3DFOG_NONE;
    c.fogColor = 0;
    c.fogStart = 0.0f;
    c.fogEnd = 1.0f;
    c.lastFvf = 0;
    c.filterMode = kFilterModePerStage;
    c.maxAnisotropy = 1;
    c.viewport = {
        0, 0, static_cast<DWORD>(g_screen.width), static_cast<DWORD>(g_screen.height), 0.0f, 1.0f};
    // As the device has it: a set-up that sends the cached scissor must not
    // send an empty one.
    c.scissor = {0, 0, g_screen.width, g_screen.height};
    c.renderTarget = g_graphics.backBuffer;
    c.blendMode = 0;
    c.imageAlpha = 0;
    c.colorKey = 0;
    c.colorModulation = 0;
    c.alphaModulation = 0;
    c.drawTexture = nullptr;
    c.maskTexture = nullptr;
    c.maskThreshold = -1;
    c.programDirty = 1;
    c.textureDirty = 0;
    g_batch.skip = 0;
    g_graphics.sceneOpen = 0;
    g_drawSettings.combinedDrawColor = 0xFFFFFFFFu;
}

bool DeviceUsable() {
    return g_graphics.device != nullptr && g_graphics.deviceLost == 0;
}

}  // namespace

void ResetShaderCacheEntries() {
    g_stateCache.vertexShader = nullptr;
    g_stateCache.pixelShader = nullptr;
    g_stateCache.declaration = nullptr;
    ClearPerSceneCache();
}

void ForgetCachedDeviceObjects() {
    g_stateCache.renderTarget = nullptr;
    g_stateCache.drawTexture = nullptr;
    g_stateCache.maskTexture = nullptr;
    for (StageProgramEntry& stage : g_stateCache.program.stages) {
        stage.texture = nullptr;
    }
}

void ClearPerSceneCache() {
    g_stateCache.streamSource = nullptr;
    g_stateCache.streamStride = 0;
    g_stateCache.indexBuffer = nullptr;
}

int SetupDefaultDeviceStates() {
    if (!HasDevice()) {
        return 0;
    }
    SetupVertexBatch();
    SendDefaultSamplers();
    SendDefaultRenderStates();
    ClearCachedProgram();
    StoreDefaults();
    ReapplyDrawStateForced();
    if (DeviceUsable()) {
        EnsureSceneBegun();
    }
    ApplyDrawSettings(nullptr, nullptr, 0);
    if (g_stateCache.programDirty != 0 || g_stateCache.textureDirty != 0) {
        SetupDrawTextureState(1, nullptr, 0);
    }
    // One point, so that the first flush has something in the chosen format;
    // its colour stays as the zeroed array has it.
    auto* point = reinterpret_cast<float*>(ReserveBatchVertices(D3DPT_POINTLIST, 1));
    if (point != nullptr) {
        point[0] = 0.0f;
        point[1] = 0.0f;
        point[2] = 0.0f;
    }
    return 0;
}

void ReapplyDrawStateForced() {
    if (!HasDevice()) {
        return;
    }
    DeviceStateCache& c = g_stateCache;
    c.force = 1;
    D3DVIEWPORT9 viewport = c.viewport;
    SetViewportState(&viewport);
    RECT scissor = c.scissor;
    SetScissorState(&scissor);
    ResetStageDefaults2D();
    SetFilterModeState(c.filterMode);
    SetupDrawTextureState(1, nullptr, 0);
    SetZEnableState(c.zEnable);
    SetZWriteState(c.zWrite);
    SetZFuncState(c.zFunc);
    SetDepthBiasState(static_cast<int>(c.depthBias));
    SetFillModeState(c.fillMode);
    SetCullModeState(c.cullMode);
    SetShadeModeState(c.shadeMode);
    c.force = 0;
}

namespace {

void ReapplySamplersAndTransforms() {
    DeviceStateCache& c = g_stateCache;
    for (int stage = 0; stage < kSamplerStageCount; ++stage) {
        SetTexAddressU(c.sampler[stage][kSamplerAddressU], stage);
        SetTexAddressV(c.sampler[stage][kSamplerAddressV], stage);
        SetTexAddressW(c.sampler[stage][kSamplerAddressW], stage);
    }
    for (int stage = 0; stage < kSamplerStageCount; ++stage) {
        Mat4 matrix = c.texTransform[stage];
        ApplyTextureTransform(stage, c.texTransformOn[stage], &matrix);
    }
}

void ReapplyFogAndDepth() {
    DeviceStateCache& c = g_stateCache;
    SetFogEnableState(c.fogEnable);
    SetFogModeState(c.fogMode);
    SetFogColorState(c.fogColor);
    SetFogRangeState(c.fogStart, c.fogEnd);
    SetFogDensityState(c.fogDensity);
    SetZEnableState(c.zEnable);
    SetZWriteState(c.zWrite);
    SetZFuncState(c.zFunc);
    SetDepthBiasState(static_cast<int>(c.depthBias));
    SetFillModeState(c.fillMode);
}

void ReapplyTransforms() {
    FlushVertexBatch();
    UpdateViewProjectionCache();
    if (g_graphics.hardwareInUse != 0) {
        Mat4 world = g_drawSettings.world;
        g_graphics.device->SetTransform(D3DTS_WORLD, reinterpret_cast<const D3DMATRIX*>(&world));
        g_drawSettings.worldSet = 1;
    }
    FlushVertexBatch();
    UpdateViewProjectionCache();
    if (g_graphics.hardwareInUse != 0) {
        Mat4 view = g_drawSettings.view;
        SetViewTransformState(&view);
        g_drawSettings.viewSet = 1;
    }
    ReapplyProjectionTransforms();
    D3DMATERIAL9 material = g_stateCache.material;
    SetMaterialState(&material);
}

uint32_t CachedAmbientColour() {
    uint32_t argb = 0;
    const int shifts[4] = {16, 8, 0, 24};
    for (int i = 0; i < 4; ++i) {
        argb |= (static_cast<uint32_t>(g_stateCache.ambient[i] * 255.0f) & 0xFFu) << shifts[i];
    }
    return argb;
}

void ReapplyLighting() {
    DeviceStateCache& c = g_stateCache;
    SetSpecularState(c.specular);
    SetDiffuseFromVertexColor(c.diffuseFromVertex);
    SetSpecularFromVertexColor(c.specularFromVertex);
    SetAmbientColorState(CachedAmbientColour());
    SetLightingSwitch(c.lighting);
    for (int i = 0; i < kLightSlotCount; ++i) {
        if (c.lights[i].Type == 0) {
            continue;
        }
        D3DLIGHT9 light = c.lights[i];
        SetLightState(i, &light);
        EnableLightState(i, c.lightEnabled[i]);
    }
}

}  // namespace

int ReapplyAllDeviceStates() {
    if (!HasDevice()) {
        return -1;
    }
    DeviceStateCache& c = g_stateCache;
    g_graphics.device->SetRenderState(D3DRS_DITHERENABLE, FALSE);
    c.drawTexture = nullptr;
    EmptyVertexBatch();
    c.force = 1;

    SetBlendState(c.blendMode, c.imageAlpha, c.colorKey);
    SetCullModeState(c.cullMode);
    SetFilterModeState(c.filterMode);
    SetBlendState(c.blendMode, c.imageAlpha, c.colorKey);
    SetShadeModeState(c.shadeMode);
    SetMaxAnisotropyState(c.maxAnisotropy);
    SetCullModeState(c.cullMode);
    ReapplySamplersAndTransforms();
    ReapplyFogAndDepth();
    ReapplyTransforms();
    ReapplyLighting();

    RECT area = DrawArea();
    SetViewportRect(area.left, area.top, area.right, area.bottom);
    SetScissorState(&area);

    ResetTexCoordIndices();
    SetupDrawTextureState(1, nullptr, 0);
    ReapplyDrawStateForced();
    c.force = 0;
    return 0;
}

}  // namespace tessel
