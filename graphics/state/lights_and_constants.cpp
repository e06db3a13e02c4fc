// The 3D states: the world, view and projection transforms, the material,
// the ambient colour, the 256 light slots, and the shader registers that
// mirror them (shadowed always, sent only while the shader path runs).
//
// Register map (float4 each). Vertex: c1 scene ambient, c2-c5 projection and
// c6-c9 view (transposed), c10 fog, c11-c13 material, from c14 seven per
// light 0..3. Pixel: c1 scene ambient, c2-c4 material, from c9 three per
// light 0..3. Vertex booleans: b0-b3 fog formula, from b4 three per light.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "foundation/math/matrix.h"
#include "foundation/memory/log.h"
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

namespace {

void Colour(float* out, const D3DCOLORVALUE& c) {
    out[0] = c.r;
    out[1] = c.g;
    out[2] = c.b;
    out[3] = c.a;
}

void Product(float* out, const D3DCOLORVALUE& a, const D3DCOLORVALUE& b) {
    out[0] = a.r * b.r;
    out[1] = a.g * b.g;
    out[2] = a.b * b.b;
    out[3] = a.a * b.a;
}

bool ShaderPath() {
    return ShaderPathOn != 0;
}

void SendVertexBool(int index, bool value) {
    if (ShaderPath()) {
        const BOOL flag = value ? TRUE : FALSE;
        g_graphics.device->SetVertexShaderConstantB(static_cast<UINT>(index), &flag, 1);
    }
}

// Rows of the matrix become the columns of four registers.
void WriteTransposed(int first, const Mat4* matrix) {
    Mat4 transposed = {};
    MatTransposed(&transposed, matrix);
    SetVertexShaderConstF(first, &transposed.m[0][0], 4);
}

// The position (w 1) and direction (w 0) of a light in view space.
void WriteLightPlacement(int index) {
    const D3DLIGHT9& light = g_stateCache.lights[index];
    const Mat4& view = g_stateCache.view;
    Vec3 position = {light.Position.x, light.Position.y, light.Position.z};
    Vec3 placed = {};
    Vec3TransformAffine(&placed, &position, &view);
    const D3DVECTOR& d = light.Direction;
    float registers[2][4] = {
        {placed.x, placed.y, placed.z, 1.0f},
        {d.x * view.m[0][0] + d.y * view.m[1][0] + d.z * view.m[2][0],
         d.x * view.m[0][1] + d.y * view.m[1][1] + d.z * view.m[2][1],
         d.x * view.m[0][2] + d.y * view.m[1][2] + d.z * view.m[2][2], 0.0f},
    };
    SetVertexShaderConstF(14 + 7 * index, &registers[0][0], 2);
}

void WriteLightRegisters(int index) {
    const D3DLIGHT9& light = g_stateCache.lights[index];
    const D3DCOLORVALUE& materialAmbient = g_stateCache.material.Ambient;
    WriteLightPlacement(index);
    float vertex[5][4] = {};
    Colour(vertex[0], light.Diffuse);
    Colour(vertex[1], light.Specular);
    Product(vertex[2], light.Ambient, materialAmbient);
    vertex[3][0] = light.Range * light.Range;
    vertex[3][1] = light.Falloff;
    vertex[3][2] = light.Attenuation0;
    vertex[3][3] = light.Attenuation1;
    float cosPhi = std::cos(light.Phi / 2.0f);
    vertex[4][0] = light.Attenuation2;
    vertex[4][1] = cosPhi;
    vertex[4][2] = 1.0f / (std::cos(light.Theta / 2.0f) - cosPhi);
    SetVertexShaderConstF(16 + 7 * index, &vertex[0][0], 5);
    float pixel[3][4] = {};
    Colour(pixel[0], light.Diffuse);
    Colour(pixel[1], light.Specular);
    Product(pixel[2], light.Ambient, materialAmbient);
    SetPixelShaderConstF(9 + 3 * index, &pixel[0][0], 3);
}

int WriteConstants(float (*shadow)[4], int registers, int first, const float* data, int count,
                   bool vertex) {
    if (data == nullptr || first < 0 || count < 0 || first > registers - count) {
        return -1;
    }
    if (ShaderPath() && HasDevice()) {
        if (g_stateCache.wholeUpload != 0) {
            g_stateCache.wholeUpload = 0;
            g_graphics.device->SetVertexShaderConstantF(0, &g_stateCache.vertexConstants[0][0],
                                                        kVertexConstantCount);
            g_graphics.device->SetPixelShaderConstantF(0, &g_stateCache.pixelConstants[0][0],
                                                       kPixelConstantCount);
        }
        if (vertex) {
            g_graphics.device->SetVertexShaderConstantF(static_cast<UINT>(first), data,
                                                        static_cast<UINT>(count));
        } else {
            g_graphics.device->SetPixelShaderConstantF(static_cast<UINT>(first), data,
                                                       static_cast<UINT>(count));
        }
    }
    std::memcpy(shadow[first], data, sizeof(float) * 4 * static_cast<size_t>(count));
    return 0;
}

}  // namespace

int SetVertexShaderConstF(int first, const float* data, int count) {
    return WriteConstants(g_stateCache.vertexConstants, kVertexConstantCount, first, data, count,
                          true);
}

int SetPixelShaderConstF(int first, const float* data, int count) {
    return WriteConstants(g_stateCache.pixelConstants, kPixelConstantCount, first, data, count,
                          false);
}

int SetWorldTransformDirect(const Mat4* matrix) {
    if (HasDevice() && matrix != nullptr) {
        g_graphics.device->SetTransform(D3DTS_WORLD, reinterpret_cast<const D3DMATRIX*>(matrix));
    }
    g_drawSettings.worldSet = 0;
    return 0;
}

int SetViewTransformState(const Mat4* matrix) {
    if (!HasDevice() || matrix == nullptr) {
        return 0;
    }
    g_graphics.device->SetTransform(D3DTS_VIEW, reinterpret_cast<const D3DMATRIX*>(matrix));
    g_stateCache.view = *matrix;
    WriteTransposed(6, matrix);
    for (int i = 0; i < kShaderLightCount; ++i) {
        WriteLightPlacement(i);
    }
    return 0;
}

int SetProjectionTransformState(const Mat4* matrix) {
    if (!HasDevice() || matrix == nullptr) {
        return 0;
    }
    g_graphics.device->SetTransform(D3DTS_PROJECTION, reinterpret_cast<const D3DMATRIX*>(matrix));
    WriteTransposed(2, matrix);
    return 0;
}

void UpdateLightMaterialConstants() {
    const D3DCOLORVALUE& materialAmbient = g_stateCache.material.Ambient;
    int last = std::min(g_stateCache.highestLight, kShaderLightCount - 1);
    for (int i = 0; i <= last; ++i) {
        if (g_stateCache.lightEnabled[i] == 0) {
            continue;
        }
        float ambient[4] = {};
        Product(ambient, g_stateCache.lights[i].Ambient, materialAmbient);
        SetVertexShaderConstF(18 + 7 * i, ambient, 1);
        SetPixelShaderConstF(11 + 3 * i, ambient, 1);
    }
    const float* global = g_stateCache.ambient;
    const D3DCOLORVALUE& emissive = g_stateCache.material.Emissive;
    const float scene[4] = {
        global[0] * materialAmbient.r + emissive.r, global[1] * materialAmbient.g + emissive.g,
        global[2] * materialAmbient.b + emissive.b, global[3] * materialAmbient.a + emissive.a};
    SetVertexShaderConstF(1, scene, 1);
    SetPixelShaderConstF(1, scene, 1);
}

int SetLightState(int index, const D3DLIGHT9* light) {
    if (!HasDevice() || light == nullptr) {
        return 0;
    }
    FlushVertexBatch();
    if (index >= 0 && index < kLightSlotCount) {
        g_stateCache.lights[index] = *light;
    }
    if (index >= 0 && index < kShaderLightCount) {
        WriteLightRegisters(index);
        UpdateLightMaterialConstants();
        SendVertexBool(5 + 3 * index,
                       light->Type == D3DLIGHT_POINT || light->Type == D3DLIGHT_SPOT);
        SendVertexBool(6 + 3 * index, light->Type == D3DLIGHT_SPOT);
    }
    UpdateShaderSelectors();
    return ResultOf(g_graphics.device->SetLight(static_cast<DWORD>(index), light));
}

int EnableLightState(int index, int on) {
    if (!HasDevice()) {
        return 0;
    }
    FlushVertexBatch();
    if (index >= 0 && index < kLightSlotCount) {
        g_stateCache.lightEnabled[index] = on;
        if (on == 1 && g_stateCache.highestLight < index) {
            g_stateCache.highestLight = index;
        } else if (on != 1 && g_stateCache.highestLight == index) {
            int below = index - 1;
            while (below > 0 && g_stateCache.lightEnabled[below] == 0) {
                --below;
            }
            g_stateCache.highestLight = below > 0 ? below : 0;
        }
    }
    UpdateLightMaterialConstants();
    if (index >= 0 && index < kShaderLightCount) {
        SendVertexBool(4 + 3 * index, on != 0);
    }
    UpdateShaderSelectors();
    return ResultOf(g_graphics.device->LightEnable(static_cast<DWORD>(index), on));
}

int SetMaterialState(const D3DMATERIAL9* material) {
    if (!HasDevice() || material == nullptr) {
        return 0;
    }
    if (HoldBack(std::memcmp(&g_stateCache.material, material, sizeof(D3DMATERIAL9)) == 0)) {
        return 0;
    }
    FlushVertexBatch();
    g_stateCache.material = *material;
    float registers[3][4] = {};
    Colour(registers[0], material->Diffuse);
    Colour(registers[1], material->Specular);
    registers[2][0] = material->Power;
    SetVertexShaderConstF(11, &registers[0][0], 3);
    SetPixelShaderConstF(2, &registers[0][0], 3);
    UpdateLightMaterialConstants();
    return ResultOf(g_graphics.device->SetMaterial(material));
}

int SetAmbientColorState(uint32_t argb) {
    if (!HasDevice()) {
        return 0;
    }
    FlushVertexBatch();
    g_stateCache.ambient[0] = static_cast<float>((argb >> 16) & 0xFFu) / 255.0f;
    g_stateCache.ambient[1] = static_cast<float>((argb >> 8) & 0xFFu) / 255.0f;
    g_stateCache.ambient[2] = static_cast<float>(argb & 0xFFu) / 255.0f;
    g_stateCache.ambient[3] = static_cast<float>(argb >> 24) / 255.0f;
    UpdateLightMaterialConstants();
    return ResultOf(g_graphics.device->SetRenderState(D3DRS_AMBIENT, argb));
}

int ApplyLightBlock(int index, int set, const D3DLIGHT9* light) {
    if (!HasDevice()) {
        return 0;
    }
    if (set == 1) {
        SetLightState(index, light);
    }
    EnableLightState(index, set);
    return 0;
}

int ApplyMaterialBlock(const D3DMATERIAL9* material) {
    return SetMaterialState(material);
}

}  // namespace tessel
