// Toon materials on the fixed-function path: the lighting worked out on the
// processor for every vertex of a list's copy (lighting stays off on the
// device, which takes the vertex colours as they come), and the outline pass
// that draws each list again, pushed out along its normals, in the outline
// colour with the faces turned the other way.
#include <cmath>
#include <cstring>

#include "foundation/base/numbers.h"
#include "foundation/memory/memory.h"
#include "graphics/camera/camera.h"
#include "graphics/device/device_state.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "models/drawing/model_drawing.h"

namespace tessel {

namespace {

struct Lit {
    float diffuse[3];   // diffuse intensity times the light's diffuse colour
    float lit[3];       // that plus the lights' ambient and the global ambient
    float specular[3];  // specular term times the light's specular colour
    float intensity;    // the diffuse intensities summed
};

float Dot(const float* a, const float* b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Scales to unit length; a zero vector stays zero.
void Normalise(float* v) {
    const float length = std::sqrt(Dot(v, v));
    if (length > 0.0f) {
        v[0] /= length;
        v[1] /= length;
        v[2] /= length;
    }
}

// N.H raised to the power; a result that is negative or not a number (a
// negative base under a fractional power) counts as no highlight.
float SpecularTerm(float nDotH, float power) {
    const double result = PowF(nDotH, power);
    return std::isnan(result) || result < 0.0 ? 0.0f : static_cast<float>(result);
}

// How much of a spot light reaches a point whose direction from the light is
// `toPoint` (unit): 1 inside the inner cone, 0 outside the outer one, and in
// between linearly in the cosine.
float SpotFactor(const D3DLIGHT9& light, const float* toPoint) {
    float axis[3] = {light.Direction.x, light.Direction.y, light.Direction.z};
    Normalise(axis);
    const float rho = Dot(axis, toPoint);
    float sine;
    float cosInner;
    float cosOuter;
    SinCos(light.Theta * 0.5f, &sine, &cosInner);
    SinCos(light.Phi * 0.5f, &sine, &cosOuter);
    if (rho > cosInner) {
        return 1.0f;
    }
    if (rho <= cosOuter || cosInner <= cosOuter) {
        return 0.0f;
    }
    return (rho - cosOuter) / (cosInner - cosOuter);
}

void LightVertex(const float* position, const float* normal, float power, Lit* out) {
    std::memset(out, 0, sizeof *out);
    const Vec3& eye = g_drawSettings.camera.position;
    float toEye[3] = {eye.x - position[0], eye.y - position[1], eye.z - position[2]};
    Normalise(toEye);
    for (int32_t i = 0; i < g_lights.end && i < kLightTableSize; ++i) {
        const LightRecord* record = g_lights.slots[i];
        if (record == nullptr || record->enabled == 0) {
            continue;
        }
        const D3DLIGHT9& light = record->light;
        float toLight[3];
        float factor = 1.0f;
        if (light.Type == D3DLIGHT_DIRECTIONAL) {
            toLight[0] = -light.Direction.x;
            toLight[1] = -light.Direction.y;
            toLight[2] = -light.Direction.z;
            Normalise(toLight);
        } else {
            float away[3] = {position[0] - light.Position.x, position[1] - light.Position.y,
                             position[2] - light.Position.z};
            const float d = std::sqrt(Dot(away, away));
            Normalise(away);
            toLight[0] = -away[0];
            toLight[1] = -away[1];
            toLight[2] = -away[2];
            const float fall =
                light.Attenuation0 + light.Attenuation1 * d + light.Attenuation2 * d * d;
            factor = fall > 0.0f ? 1.0f / fall : 0.0f;
            if (light.Type == D3DLIGHT_SPOT) {
                factor *= SpotFactor(light, away);
            }
        }
        const float nDotL = Dot(normal, toLight);
        const float intensity = (nDotL > 0.0f ? nDotL : 0.0f) * factor;
        float half[3] = {toEye[0] + toLight[0], toEye[1] + toLight[1], toEye[2] + toLight[2]};
        Normalise(half);
        const float shine = SpecularTerm(Dot(normal, half), power) * factor;
        const float diffuse[3] = {light.Diffuse.r, light.Diffuse.g, light.Diffuse.b};
        const float ambient[3] = {light.Ambient.r, light.Ambient.g, light.Ambient.b};
        const float specular[3] = {light.Specular.r, light.Specular.g, light.Specular.b};
        for (int c = 0; c < 3; ++c) {
            out->diffuse[c] += intensity * diffuse[c];
            out->lit[c] += intensity * diffuse[c] + ambient[c] * factor;
            out->specular[c] += shine * specular[c];
        }
        out->intensity += intensity;
    }
    for (int c = 0; c < 3; ++c) {
        out->lit[c] += g_stateCache.ambient[c];
    }
}

float Largest(const float* v) {
    float m = v[0] > v[1] ? v[0] : v[1];
    return m > v[2] ? m : v[2];
}

uint32_t PackColour(const float* rgb, float alpha) {
    auto channel = [](float v) {
        v = v < 0.0f ? 0.0f : (v > 254.9999f ? 254.9999f : v);
        return static_cast<uint32_t>(v);
    };
    return channel(alpha) << 24 | channel(rgb[0]) << 16 | channel(rgb[1]) << 8 | channel(rgb[2]);
}

// The 8-bit channels of a colour word as 0..255 floats, red first.
void UnpackColour(uint32_t argb, float* rgb, float* alpha) {
    rgb[0] = static_cast<float>(argb >> 16 & 0xFFu);
    rgb[1] = static_cast<float>(argb >> 8 & 0xFFu);
    rgb[2] = static_cast<float>(argb & 0xFFu);
    *alpha = static_cast<float>(argb >> 24);
}

// The material colours a toon mesh lights: the model's copy scaled by the
// combined colour factors, as the device material gets them.
void ToonColours(const ModelInstanceMesh* mesh, float colours[3][4]) {
    static constexpr float kWhite[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    static constexpr float kZero[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    const ModelInstanceMaterial* m = mesh->material;
    const float* sources[3] = {m != nullptr ? m->diffuse : kWhite,
                               m != nullptr ? m->ambient : kZero,
                               m != nullptr ? m->specular : kZero};
    const bool scaled = mesh->effective.hasFactors != 0;
    const int factorAt[3] = {0, 4, 8};
    for (int k = 0; k < 3; ++k) {
        for (int c = 0; c < 4; ++c) {
            const float f = scaled ? mesh->effective.colourFactors[factorAt[k] + c] : 1.0f;
            colours[k][c] = sources[k][c] * f;
        }
    }
}

void PutExtraSet(uint8_t* record, int sets, int which, float value) {
    auto* set = reinterpret_cast<float*>(record + 32 + 16 * (sets + which));
    set[0] = value;
    set[1] = value;
}

}  // namespace

void NormaliseColorToMax(float r, float g, float b, float out[3]) {
    out[0] = out[1] = out[2] = 1.0f;
    const float v[3] = {r, g, b};
    int hi = 0;
    int lo = 0;
    for (int c = 1; c < 3; ++c) {
        hi = v[c] > v[hi] ? c : hi;
        lo = v[c] < v[lo] ? c : lo;
    }
    if (hi == lo) {
        lo = hi == 0 ? 1 : 0;
    }
    const int mid = 3 - hi - lo;
    const float max = v[hi];
    const float min = v[lo];
    if (r + g + b < 1e-5f || max - min < 1e-5f) {
        return;
    }
    out[lo] = 1.0f - (max - min) / max;
    out[mid] = 1.0f - ((max - min) / max) * (1.0f - (v[mid] - min) / (max - min));
}

void EvaluateToonVertices(const ModelInstanceMesh* mesh, const ModelTriangleList* list,
                          uint8_t* copy, int normalise, const Mat3x4* world) {
    const ModelMesh* base = mesh->base;
    const int kind = mesh->material != nullptr ? mesh->material->base->kind : 0;
    const int sets = base->texCoordSetCount;
    float colours[3][4];
    ToonColours(mesh, colours);
    const float power = mesh->material != nullptr ? mesh->material->power : 0.0f;
    const bool fromVertexDiffuse = (base->flags & kMeshDiffuseFromVertex) != 0;
    const bool fromVertexSpecular = (base->flags & kMeshSpecularFromVertex) != 0;
    for (int32_t i = 0; i < list->vertexCount; ++i) {
        uint8_t* record = copy + static_cast<size_t>(i) * list->copyStride;
        const auto* v = reinterpret_cast<const float*>(record);
        float position[3] = {v[0], v[1], v[2]};
        float normal[3] = {v[3], v[4], v[5]};
        if (world != nullptr) {
            for (int r = 0; r < 3; ++r) {
                const float* m = world->m[r];
                position[r] = m[0] * v[0] + m[1] * v[1] + m[2] * v[2] + m[3];
                normal[r] = m[0] * v[3] + m[1] * v[4] + m[2] * v[5];
            }
        }
        if (normalise != 0) {
            Normalise(normal);
        }
        Lit lit;
        LightVertex(position, normal, power, &lit);
        // The colours to scale: the material's, or the mesh vertex's own.
        float diffuse[3] = {colours[0][0] * 255.0f, colours[0][1] * 255.0f, colours[0][2] * 255.0f};
        float alpha = colours[0][3] * 255.0f;
        float specular[3] = {colours[2][0] * 255.0f, colours[2][1] * 255.0f,
                             colours[2][2] * 255.0f};
        const uint32_t mv = list->meshVertexIndices != nullptr ? list->meshVertexIndices[i] : 0;
        if (base->vertices != nullptr && mv < static_cast<uint32_t>(base->vertexCount)) {
            const auto* head = reinterpret_cast<const ModelMeshVertex*>(
                base->vertices + static_cast<size_t>(mv) * base->vertexStride);
            float unused;
            if (fromVertexDiffuse) {
                UnpackColour(head->diffuse, diffuse, &alpha);
            }
            if (fromVertexSpecular) {
                UnpackColour(head->specular, specular, &unused);
            }
        }
        auto* out = reinterpret_cast<uint32_t*>(record + 24);
        if (kind == 1) {
            float fd[3];
            float fs[3];
            NormaliseColorToMax(lit.diffuse[0], lit.diffuse[1], lit.diffuse[2], fd);
            NormaliseColorToMax(lit.specular[0], lit.specular[1], lit.specular[2], fs);
            const float d[3] = {diffuse[0] * fd[0], diffuse[1] * fd[1], diffuse[2] * fd[2]};
            const float s[3] = {specular[0] * fs[0], specular[1] * fs[1], specular[2] * fs[2]};
            out[0] = PackColour(d, alpha);
            out[1] = PackColour(s, 255.0f);
            PutExtraSet(record, sets, 0, Largest(lit.lit));
            PutExtraSet(record, sets, 1, Largest(lit.specular));
        } else {
            float d[3];
            float s[3];
            for (int c = 0; c < 3; ++c) {
                d[c] = (colours[0][c] * lit.lit[c] + colours[1][c]) * 255.0f;
                s[c] = colours[2][c] * lit.specular[c] * 255.0f;
            }
            out[0] = PackColour(d, alpha);
            out[1] = PackColour(s, 255.0f);
            PutExtraSet(record, sets, 0, lit.intensity);
        }
    }
}

float MaterialOutlineWidth(const ModelMaterial* material, int which) {
    if (material == nullptr) {
        return 0.0f;
    }
    float width;
    std::memcpy(&width, &material->words[which == 0 ? 1 : 2], sizeof width);
    return width;
}

bool HasOutline(const ModelInstanceMesh* mesh) {
    const ModelInstanceMaterial* material = mesh->material;
    if (material == nullptr || material->base == nullptr || material->base->kind == 0) {
        return false;
    }
    return MaterialOutlineWidth(material->base, 0) > 1e-6f ||
           MaterialOutlineWidth(material->base, 1) > 1e-6f;
}

float OutlineThickness(const ModelInstanceMesh* mesh) {
    const ModelInstanceMaterial* material = mesh->material;
    float w = material->toonWords[0];
    const Mat3x4& world = mesh->frame->world;
    const Vec3 origin = {world.m[0][3], world.m[1][3], world.m[2][3]};
    const float* right = g_drawSettings.camera.rightAxis;
    const Vec3 moved = {origin.x + right[0] * w, origin.y + right[1] * w, origin.z + right[2] * w};
    Vec3 a = {};
    Vec3 b = {};
    WorldToScreenPoint(&a, origin);
    WorldToScreenPoint(&b, moved);
    const float d = std::fabs(b.x - a.x);
    float minimum = material->toonWords[1];
    if (minimum < 1e-7f) {
        minimum = 1.125f;
    }
    if (d < minimum) {
        w = d < 1e-8f ? w * 1e7f : w * minimum / d;
    }
    return w;
}

void ApplyOutlineMaterial(MeshBlendBlock* blend, const ModelInstanceMesh* mesh, float thickness) {
    const ModelInstanceMaterial* material = mesh->material;
    D3DMATERIAL9 block = {};
    const float* c = material->outlineColour;
    block.Diffuse = D3DCOLORVALUE{c[0], c[1], c[2], c[3]};
    block.Ambient = block.Diffuse;
    ApplyMaterialBlock(&block);
    SetCullModeState(2);
    BlendFor(MaterialBlendMode(material->base), blend);
    blend->opacity = mesh->effective.opacity;
    const float registers[4] = {thickness, thickness, thickness, thickness};
    SetVertexShaderConstF(42, registers, 1);
    SetSpecularState(0);
    SetLightingSwitch(0);
}

uint8_t* BuildOutlineBuffer(ModelTriangleList* list) {
    if (list->outlineVertices != nullptr) {
        return list->outlineVertices;
    }
    const size_t count = list->vertexCount > 0 ? static_cast<size_t>(list->vertexCount) : 0;
    list->outlineVertices =
        static_cast<uint8_t*>(AllocTrackedZeroed((count + 1) * 16, __FILE__, __LINE__));
    return list->outlineVertices;
}

void WriteOutlineVertices(const ModelInstanceMesh* mesh, const ModelTriangleList* list,
                          const uint8_t* copy, uint8_t* out, float thickness) {
    const float* c = mesh->material->outlineColour;
    auto channel = [](float v) {
        const float scaled = v * 255.0f;
        return scaled <= 0.0f ? 0u : (scaled >= 255.0f ? 255u : static_cast<uint32_t>(scaled));
    };
    const uint32_t colour = 0xFF000000u | channel(c[0]) << 16 | channel(c[1]) << 8 | channel(c[2]);
    for (int32_t i = 0; i < list->vertexCount; ++i) {
        const auto* v =
            reinterpret_cast<const float*>(copy + static_cast<size_t>(i) * list->copyStride);
        auto* o = reinterpret_cast<float*>(out + 16 * static_cast<size_t>(i));
        for (int r = 0; r < 3; ++r) {
            o[r] = v[r] + v[3 + r] * thickness;
        }
        std::memcpy(o + 3, &colour, 4);
    }
}

}  // namespace tessel
