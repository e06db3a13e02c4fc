// The programmable vertex stage (vertex_shading.h).
#include "platform/d3d9/shaders/vertex_shading.h"

#include <algorithm>
#include <cstring>

#include "platform/d3d9/vertex_pipeline.h"

namespace platform::d3d9 {
namespace {

using shader::kShaderLanes;
using shader::Lanes4;

int ElementSize(int type) {
    switch (type) {
        case D3DDECLTYPE_FLOAT1:
            return 4;
        case D3DDECLTYPE_FLOAT2:
            return 8;
        case D3DDECLTYPE_FLOAT3:
            return 12;
        case D3DDECLTYPE_FLOAT4:
            return 16;
        default:
            return 4;  // D3DCOLOR, UBYTE4
    }
}

struct Element {
    int usage, usageIndex, offset, type;
};

// The FVF's fields as declaration elements.
int ElementsOfFvf(DWORD fvf, Element* out) {
    VertexLayout layout;
    if (!LayoutFor(fvf, &layout))
        return -1;
    int n = 0;
    out[n++] = {shader::kUsagePosition, 0, 0,
                static_cast<int>(layout.transformed ? D3DDECLTYPE_FLOAT4 : D3DDECLTYPE_FLOAT3)};
    if (layout.normal >= 0)
        out[n++] = {shader::kUsageNormal, 0, layout.normal, D3DDECLTYPE_FLOAT3};
    if (layout.diffuse >= 0)
        out[n++] = {shader::kUsageColor, 0, layout.diffuse, D3DDECLTYPE_D3DCOLOR};
    if (layout.specular >= 0)
        out[n++] = {shader::kUsageColor, 1, layout.specular, D3DDECLTYPE_D3DCOLOR};
    for (int i = 0; i < layout.texSets; ++i) {
        out[n++] = {shader::kUsageTexCoord, i, layout.tex[i],
                    static_cast<int>(D3DDECLTYPE_FLOAT1) + layout.texFloats[i] - 1};
    }
    return n;
}

float LoadFloat(const uint8_t* p) {
    float f;
    std::memcpy(&f, p, 4);
    return f;
}

void Fetch(const ShaderFetch& f, const uint8_t* v, int lane, Lanes4* reg) {
    float value[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const uint8_t* p = v + f.offset;
    switch (f.type) {
        case D3DDECLTYPE_D3DCOLOR:
            value[0] = p[2] / 255.0f;
            value[1] = p[1] / 255.0f;
            value[2] = p[0] / 255.0f;
            value[3] = p[3] / 255.0f;
            break;
        case D3DDECLTYPE_UBYTE4:
            for (int c = 0; c < 4; ++c)
                value[c] = p[c];
            break;
        default:
            for (int c = 0; c <= f.type - static_cast<int>(D3DDECLTYPE_FLOAT1); ++c)
                value[c] = LoadFloat(p + 4 * c);
            break;
    }
    for (int c = 0; c < 4; ++c)
        reg->c[c][lane] = value[c];
}

uint32_t Channel(float v) {
    if (!(v > 0.0f))
        return 0;
    if (v >= 1.0f)
        return 255;
    return static_cast<uint32_t>(v * 255.0f + 0.5f);
}

uint32_t Pack(const Lanes4& r, int lane) {
    return (Channel(r.c[3][lane]) << 24) | (Channel(r.c[0][lane]) << 16) |
           (Channel(r.c[1][lane]) << 8) | Channel(r.c[2][lane]);
}

}  // namespace

bool ShaderLayoutFor(const DeviceState& state, const shader::ShaderProgram& program,
                     ShaderVertexLayout* layout) {
    Element elements[64];
    int count = 0;
    if (state.vertexDeclaration != nullptr) {
        for (const D3DVERTEXELEMENT9& e : state.vertexDeclaration->Items()) {
            if (count == 64)
                break;
            elements[count++] = {e.Usage, e.UsageIndex, e.Offset, e.Type};
        }
    } else {
        count = ElementsOfFvf(state.fvf, elements);
        if (count < 0)
            return false;
    }
    *layout = ShaderVertexLayout{};
    for (int i = 0; i < count; ++i)
        layout->size = std::max(layout->size, elements[i].offset + ElementSize(elements[i].type));
    for (const shader::InputDeclaration& d : program.inputs) {
        for (int i = 0; i < count; ++i) {
            if (elements[i].usage != d.usage || elements[i].usageIndex != d.usageIndex ||
                layout->present[d.reg]) {
                continue;
            }
            layout->fetches[layout->fetchCount++] = {d.reg, elements[i].offset, elements[i].type};
            layout->present[d.reg] = true;
            break;
        }
    }
    return true;
}

void ShadeVertices(const DeviceState& state, const shader::ShaderProgram& program,
                   const ShaderVertexLayout& layout, const uint8_t* data, uint32_t count,
                   uint32_t stride, bool pixelShader, RasterVertex* out, RasterStates* states) {
    thread_local shader::ShaderConstants constants;
    shader::MergeConstants(program, state.vertexShaderFloats, kVertexShaderFloatCount,
                           state.vertexShaderInts, state.vertexShaderBools, &constants);
    thread_local shader::ShaderRegisters regs;
    shader::ResetOutputs(&regs);
    for (int r = 0; r < shader::kMaxVertexInputs; ++r) {
        if (layout.present[r])
            continue;
        for (int l = 0; l < kShaderLanes; ++l) {
            regs.inputs[r].c[0][l] = regs.inputs[r].c[1][l] = regs.inputs[r].c[2][l] = 0.0f;
            regs.inputs[r].c[3][l] = 1.0f;
        }
    }

    const DWORD* rs = state.renderStates;
    DWORD table = rs[D3DRS_FOGTABLEMODE];
    bool tableFog = table == D3DFOG_EXP || table == D3DFOG_EXP2 || table == D3DFOG_LINEAR;
    bool fogFactor = program.writesFog && !tableFog;
    const D3DMATRIX& projection = state.transforms[D3DTS_PROJECTION];
    states->vertexFogInSpecular = fogFactor;
    states->fogFromW = !(projection._14 == 0.0f && projection._24 == 0.0f &&
                         projection._34 == 0.0f && projection._44 == 1.0f);
    int setOfStage[kRasterTexCoordSets];
    for (int i = 0; i < kRasterTexCoordSets; ++i) {
        DWORD set = state.stageStates[i][D3DTSS_TEXCOORDINDEX] & 0xFFFFu;
        setOfStage[i] = pixelShader ? i : static_cast<int>(std::min<DWORD>(set, 7));
        states->stage[i][kTssTexCoordIndex] = static_cast<uint32_t>(i);
        states->texProjected[i] = false;
    }

    for (uint32_t first = 0; first < count; first += kShaderLanes) {
        int lanes = static_cast<int>(std::min<uint32_t>(kShaderLanes, count - first));
        for (int l = 0; l < lanes; ++l) {
            const uint8_t* v = data + static_cast<size_t>(first + l) * stride;
            for (int f = 0; f < layout.fetchCount; ++f)
                Fetch(layout.fetches[f], v, l, &regs.inputs[layout.fetches[f].reg]);
        }
        shader::ResetBlock(program, &regs);
        shader::RunShader(program, constants, &regs, (1u << lanes) - 1, nullptr);
        for (int l = 0; l < lanes; ++l) {
            RasterVertex& o = out[first + l];
            o.x = regs.outPos.c[0][l];
            o.y = regs.outPos.c[1][l];
            o.z = regs.outPos.c[2][l];
            o.rhw = regs.outPos.c[3][l];  // clip-space w
            o.diffuse = Pack(regs.outColor[0], l);
            o.specular = Pack(regs.outColor[1], l);
            if (fogFactor)
                o.specular = (o.specular & 0x00FFFFFFu) | (Channel(regs.outFog.c[0][l]) << 24);
            for (int i = 0; i < kRasterTexCoordSets; ++i) {
                const Lanes4& t = regs.outTex[setOfStage[i]];
                o.tex[i][0] = t.c[0][l];
                o.tex[i][1] = t.c[1][l];
                o.texQ[i] = t.c[3][l];
            }
        }
    }
}

}  // namespace platform::d3d9
