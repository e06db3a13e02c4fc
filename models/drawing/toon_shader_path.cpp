// Toon materials through the built-in shaders: the registers their shaders read (the toon
// blocks of the lit vertex shaders run while integer registers i0 to i2 count 1; the scene's,
// the material's and the lights' ambient as they were set), and the outline pass drawn from the
// model's device buffers through the outline vertex shader.
#include <cstring>

#include "graphics/device/device_state.h"
#include "graphics/device/shader_pack.h"
#include "graphics/state/render_state_cache.h"
#include "models/drawing/model_drawing.h"

namespace tessel {

namespace {

// The registers of the toon blocks (the generator's toon_shaders.h holds the same numbers).
constexpr int kToonSceneAmbient = 43;
constexpr int kToonMaterialAmbient = 44;
constexpr int kToonLightAmbient = 45;  // lights 0 to 2
constexpr int kToonLightCount = 3;
// Pixel registers 6 to 8: the outline colour, 1 / the outline width, -1.
constexpr int kToonPixelRegisters = 6;

int ToonKind(const ModelInstanceMesh* mesh) {
    const ModelInstanceMaterial* m = mesh->material;
    return m != nullptr && m->base != nullptr ? m->base->kind : 0;
}

// Counts for i0 (any toon), i1 (kind 1) and i2 (kind 2).
void SetToonBlockCounts(int kind) {
    const int counts[3][4] = {
        {kind != 0 ? 1 : 0, 0, 0, 0}, {kind == 1 ? 1 : 0, 0, 0, 0}, {kind == 2 ? 1 : 0, 0, 0, 0}};
    g_graphics.device->SetVertexShaderConstantI(0, &counts[0][0], 3);
}

}  // namespace

void ApplyToonShaderConstants(const ModelInstanceMesh* mesh) {
    const int kind = ToonKind(mesh);
    if (kind != 1 && kind != 2) {
        return;
    }
    const DeviceStateCache& c = g_stateCache;
    const float scene[4] = {c.ambient[0], c.ambient[1], c.ambient[2], 0.0f};
    SetVertexShaderConstF(kToonSceneAmbient, scene, 1);
    const D3DCOLORVALUE& a = c.material.Ambient;
    const float material[4] = {a.r, a.g, a.b, a.a};
    SetVertexShaderConstF(kToonMaterialAmbient, material, 1);
    float lights[kToonLightCount][4] = {};
    for (int i = 0; i < kToonLightCount; ++i) {
        const D3DCOLORVALUE& l = c.lights[i].Ambient;
        lights[i][0] = l.r;
        lights[i][1] = l.g;
        lights[i][2] = l.b;
    }
    SetVertexShaderConstF(kToonLightAmbient, &lights[0][0], kToonLightCount);
    const ModelInstanceMaterial* m = mesh->material;
    const float inverse = 1.0f / m->toonWords[0];
    const float pixel[3][4] = {
        {m->outlineColour[0], m->outlineColour[1], m->outlineColour[2], m->outlineColour[3]},
        {inverse, inverse, inverse, inverse},
        {-1.0f, -1.0f, -1.0f, -1.0f}};
    SetPixelShaderConstF(kToonPixelRegisters, &pixel[0][0], 3);
    SetToonBlockCounts(kind);
}

void EndToonShaderDraw() {
    SetToonBlockCounts(0);
}

int OutlineVertexShaderIndex() {
    const DeviceStateCache& c = g_stateCache;
    const int fog = c.fogEnable != 0 ? c.fogMode : 0;
    return (96 + fog) * 512;
}

}  // namespace tessel
