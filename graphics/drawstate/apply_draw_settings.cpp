// ApplyDrawSettings: the draw settings and one draw's flags turned into the
// cached device states (shaders, lighting, Z, fog, texture flags, shading,
// filters, addressing) before the draw appends its vertices.
#include "graphics/batch/vertex_batch.h"
#include "graphics/camera/camera.h"
#include "graphics/device/device_state.h"
#include "graphics/drawstate/draw_state.h"
#include "graphics/settings/draw_settings.h"

namespace tessel {

namespace {

void DropShaders(uint32_t flags) {
    DeviceStateCache& c = g_stateCache;
    IDirect3DDevice9* device = g_graphics.device;
    if ((flags & kDrawKeepShaders) == 0 && device != nullptr) {
        if (c.vertexShader != nullptr) {
            device->SetVertexShader(nullptr);
            c.vertexShader = nullptr;
            c.declaration = nullptr;
            c.lastFvf = 0;
        }
        if (c.pixelShader != nullptr) {
            device->SetPixelShader(nullptr);
            c.pixelShader = nullptr;
        }
    }
    c.streamSource = nullptr;
    c.indexBuffer = nullptr;
}

void ApplyLighting(uint32_t flags) {
    DeviceStateCache& c = g_stateCache;
    if ((flags & kDrawLighting3D) != 0 && g_lights.lightingOff == 0) {
        if (g_lights.changed != 0 || g_lights.resendAll != 0) {
            ApplyLightsToDevice();
        } else if (c.lighting == 0) {
            SetLightingSwitch(1);
        }
        if (g_lights.materialChanged != 0) {
            g_lights.materialChanged = 0;
            SetMaterialState(&g_lights.material);
        }
        SetDiffuseFromVertexColor(g_lights.diffuseSource == 0 ? 1 : 0);
        SetSpecularFromVertexColor(g_lights.specularSource == 0 ? 1 : 0);
        return;
    }
    if (c.lighting != 0 && g_graphics.device != nullptr) {
        SetLightingSwitch(0);
    }
}

void ApplyZ(uint32_t flags) {
    const ZStateSet& set = g_drawSettings.zSets[(flags & kDrawZSet2) != 0 ? 1 : 0];
    ApplyZStateSet(set);
    SetFillModeState(g_drawSettings.fillMode);
}

void ApplyTextureFlags(const TextureFormatRequest* info, IDirect3DBaseTexture9* texture,
                       uint32_t flags) {
    const DrawSettings& s = g_drawSettings;
    DeviceStateCache& c = g_stateCache;
    int alpha = 0;
    int key = 0;
    if ((flags & kDrawUseTextureFlags) != 0 && texture != nullptr && info != nullptr &&
        (info->alpha != 0 || info->colorKey != 0)) {
        if (s.blendMode != 0 && s.blendMode != 8) {
            alpha = 1;
        } else if (s.filterMode == kFilterBilinear && (flags & kDrawKeepFlagsBilinear) == 0) {
            alpha = 1;
        } else {
            alpha = info->alpha != 0 ? 1 : 0;
            key = info->colorKey != 0 ? 1 : 0;
        }
    }
    const int colorMod =
        ((flags & kDrawModulateColor) == 0 && (s.combinedDrawColor & 0xFFFFFF) == 0xFFFFFF) ? 0 : 1;
    const int alphaMod = ((flags & kDrawModulateAlpha) != 0 || s.blendMode != 0) ? 1 : 0;
    if (c.colorModulation != colorMod) {
        FlushVertexBatch();
        c.colorModulation = colorMod;
        c.programDirty = 1;
    }
    if (c.alphaModulation != alphaMod) {
        FlushVertexBatch();
        c.alphaModulation = alphaMod;
        c.programDirty = 1;
    }
    SetDrawTexture(texture);
    SetBlendState(s.blendMode, alpha, key);
    if (c.programDirty != 0 || c.textureDirty != 0) {
        SetupDrawTextureState(1, nullptr, 0);
    }
}

void ApplyAddressing(uint32_t flags) {
    const DeviceStateCache& c = g_stateCache;
    if ((flags & kDrawSamplerAddressing) != 0) {
        for (int stage = 0; stage < kSamplerStageCount; ++stage) {
            SetTexAddressU(g_drawSettings.samplerAddress[stage][0], stage);
            SetTexAddressV(g_drawSettings.samplerAddress[stage][1], stage);
        }
        return;
    }
    for (int stage = 0; stage < 4; ++stage) {
        if (c.sampler[stage][kSamplerAddressU] != D3DTADDRESS_CLAMP ||
            c.sampler[stage][kSamplerAddressV] != D3DTADDRESS_CLAMP) {
            SetTexAddressAll(D3DTADDRESS_CLAMP, stage);
        }
    }
}

}  // namespace

void ApplyDrawSettings(const TextureFormatRequest* info, IDirect3DBaseTexture9* texture,
                       uint32_t flags) {
    if (g_graphics.device == nullptr) {
        return;
    }
    DeviceStateCache& c = g_stateCache;
    DropShaders(flags);
    ApplyLighting(flags);
    SetSpecularState((flags & kDrawSpecular) != 0 ? 1 : 0);
    ApplyZ(flags);
    SetFogEnableState((flags & kDrawFog) != 0 ? g_drawSettings.fogSwitch : 0);
    if ((flags & kDrawSkipTextureSetup) == 0) {
        ApplyTextureFlags(info, texture, flags);
    }
    SetShadeModeState((flags & kDrawGouraud) != 0 ? D3DSHADE_GOURAUD : D3DSHADE_FLAT);
    if (g_drawSettings.filterMode >= kFilterNearest &&
        g_drawSettings.filterMode <= kFilterAnisotropic) {
        SetFilterModeState(g_drawSettings.filterMode);
    }
    SetMaxAnisotropyState(g_drawSettings.maxAnisotropy);
    SetCullModeState(0);
    if (c.directTexTransform != 0) {
        Mat4 identity = {};
        MatIdentity(&identity);
        ApplyTextureTransform(-1, 0, &identity);
        c.directTexTransform = 0;
    }
    ApplyAddressing(flags);
}

}  // namespace tessel
