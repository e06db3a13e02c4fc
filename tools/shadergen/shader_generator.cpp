// The built-in shaders (shader_generator.h).
//
// The vertex shaders light in camera space as the fixed-function stage does: N is the world
// and view transform of the normal, renormalised; the half-way vector takes the direction to
// the eye; point and spot lights fade by 1 / (a0 + a1 d + a2 d^2) and add nothing past their
// range; the spot factor is the clamped ((rho - cos(phi / 2)) / (cos(theta / 2) - cos(phi /
// 2)))^falloff. Constant registers (the graphics layer fills them): c0 (0, 1, 0, 0), c1 scene
// ambient, c2-c5 projection and c6-c9 view (transposed), c10 fog, c11-c13 material, seven per
// light from c14, c42 the outline thickness, c88-c89 the texture transform's rows, three rows a
// bone (or the world) from c94. c90 is defined here. The toon blocks of the lit shaders and
// their registers: toon_shaders.h.
#include "tools/shadergen/shader_generator.h"

#include <cstdio>
#include <cstring>

#include "platform/d3d9/shaders/shader_builder.h"
#include "tools/lib/archive_pack.h"
#include "tools/lib/lz_compress.h"
#include "tools/shadergen/toon_shaders.h"

namespace tessel::shadergen {
namespace {

using namespace platform::shader;

constexpr uint32_t kBoneBase = 94;
constexpr uint32_t kOwnConstants = 90;  // (3, 0, 0, 0): bone index to register offset

// Vertex inputs.
const Reg kPosition = V(0);
const Reg kNormal = V(1);
const Reg kColour0 = V(2);
const Reg kColour1 = V(3);
const Reg kTexCoord = V(4);
const Reg kIndices0 = V(5);
const Reg kWeights0 = V(6);
const Reg kIndices1 = V(7);
const Reg kWeights1 = V(8);

// Temporaries of the vertex shaders.
const Reg kWorldPos = R(4);
const Reg kViewPos = R(5);
const Reg kViewNormal = R(6);
const Reg kToEye = R(7);
const Reg kDiffuseSum = R(8);
const Reg kSpecularSum = R(9);
const Reg kToLight = R(10);
const Reg kScalars = R(11);  // x N.L or 1/d, y d^2, z the light's scale, w spot

struct VertexBits {
    bool specular = false;
    bool specularFromVertex = false;
    bool diffuseFromVertex = false;
    int lightType[3] = {0, 0, 0};
    int fog = 0;
    int skin = 0;  // 0 rigid, 1 four bones, 2 eight bones
    bool lighting = false;
    bool outline = false;
};

// False for an index the drawing code never forms or this generator does not make.
bool DecodeVertex(int index, VertexBits* bits) {
    if (index < 0 || index >= kVertexShaderCount) {
        return false;
    }
    const int field = index / 4096;
    const int low = index % 4096;
    bits->specular = (low & 1) != 0;
    bits->specularFromVertex = (low & 2) != 0;
    bits->diffuseFromVertex = (low & 4) != 0;
    bits->lightType[2] = (low >> 3) & 3;
    bits->lightType[1] = (low >> 5) & 3;
    bits->lightType[0] = (low >> 7) & 3;
    bits->fog = (low >> 9) & 3;
    const bool tangentFrame = (low & 0x800) != 0;
    const bool anyLight = bits->lightType[0] + bits->lightType[1] + bits->lightType[2] != 0;
    if (tangentFrame) {
        return false;
    }
    if (field >= 12) {
        // Outlines: only the fog formula and the skin vary.
        bits->outline = true;
        bits->skin = (field - 12) / 2;
        return field <= 16 && field % 2 == 0 && (low & ~0x600) == 0;
    }
    bits->skin = (field / 2) % 3;
    bits->lighting = field >= 6;
    const bool lightsOn = bits->lighting && field % 2 == 1;
    return lightsOn == anyLight;
}

void DeclareVertexInputs(ShaderBuilder& b, const VertexBits& bits) {
    b.DclInput(kUsagePosition, 0, kPosition);
    b.DclInput(kUsageNormal, 0, kNormal);
    b.DclInput(kUsageColor, 0, kColour0);
    b.DclInput(kUsageColor, 1, kColour1);
    b.DclInput(kUsageTexCoord, 0, kTexCoord);
    if (bits.skin >= 1) {
        b.DclInput(kUsageBlendIndices, 0, kIndices0);
        b.DclInput(kUsageBlendWeight, 0, kWeights0);
    }
    if (bits.skin == 2) {
        b.DclInput(kUsageBlendIndices, 1, kIndices1);
        b.DclInput(kUsageBlendWeight, 1, kWeights1);
    }
}

// Adds weights.c x the bone that indices.c names to the rows r1-r3 (set them when first).
void AddBones(ShaderBuilder& b, const Reg& indices, const Reg& weights, bool first) {
    b.Emit(kOpMul, R(0), {indices, C(kOwnConstants).Swz("x")});
    b.Emit(kOpMova, A0(), {R(0)});
    static const char* kComponent[4] = {"x", "y", "z", "w"};
    for (int k = 0; k < 4; ++k) {
        const Src w = weights.Swz(kComponent[k]);
        for (uint32_t row = 0; row < 3; ++row) {
            const Src bone = C(kBoneBase + row).RelA0(k);
            if (first && k == 0) {
                b.Emit(kOpMul, R(1 + row), {w, bone});
            } else {
                b.Emit(kOpMad, R(1 + row), {w, bone, R(1 + row)});
            }
        }
    }
}

// World position (w 1) into kWorldPos and the world normal (not renormalised) into r0.
void EmitWorldTransform(ShaderBuilder& b, const VertexBits& bits) {
    Reg rows[3] = {C(kBoneBase), C(kBoneBase + 1), C(kBoneBase + 2)};
    if (bits.skin >= 1) {
        AddBones(b, kIndices0, kWeights0, true);
        if (bits.skin == 2) {
            AddBones(b, kIndices1, kWeights1, false);
        }
        rows[0] = R(1);
        rows[1] = R(2);
        rows[2] = R(3);
    }
    static const char* kAxis[3] = {"x", "y", "z"};
    for (int r = 0; r < 3; ++r) {
        b.Emit(kOpDp4, kWorldPos.Mask(kAxis[r]), {kPosition, rows[r]});
    }
    b.Emit(kOpMov, kWorldPos.Mask("w"), {C(0).Swz("y")});
    for (int r = 0; r < 3; ++r) {
        b.Emit(kOpDp3, R(0).Mask(kAxis[r]), {kNormal, rows[r]});
    }
    b.Emit(kOpMov, R(0).Mask("w"), {C(0).Swz("x")});
}

void EmitViewAndClip(ShaderBuilder& b) {
    static const char* kAxis[4] = {"x", "y", "z", "w"};
    for (uint32_t r = 0; r < 3; ++r) {
        b.Emit(kOpDp4, kViewPos.Mask(kAxis[r]), {kWorldPos, C(6 + r)});
    }
    b.Emit(kOpMov, kViewPos.Mask("w"), {C(0).Swz("y")});
    for (uint32_t r = 0; r < 4; ++r) {
        b.Emit(kOpDp4, OPos().Mask(kAxis[r]), {kViewPos, C(2 + r)});
    }
}

// Fog factor of the camera-space depth: linear (end - z) / (end - start), exp e^-(density z),
// exp2 e^-((density z)^2).
void EmitFog(ShaderBuilder& b, int fog) {
    if (fog == 0) {
        return;
    }
    if (fog == 3) {
        b.Emit(kOpMad, R(0).Mask("x"), {kViewPos.Swz("z"), C(10).Swz("y"), C(10).Swz("x")});
    } else {
        b.Emit(kOpMul, R(0).Mask("x"), {kViewPos.Swz("z"), C(10).Swz("z")});
        if (fog == 2) {
            b.Emit(kOpMul, R(0).Mask("x"), {R(0).Swz("x"), R(0).Swz("x")});
        }
        b.Emit(kOpPow, R(0).Mask("x"), {C(10).Swz("w"), -R(0).Swz("x")});
    }
    b.Emit(kOpMov, OFog().Mask("x"), {R(0).Swz("x")});
}

void EmitHighlight(ShaderBuilder& b, int light, bool directional, const Src& specularColour);

// One light's share of the diffuse and specular sums.
void EmitLight(ShaderBuilder& b, const VertexBits& bits, int light, const Src& diffuseColour,
               const Src& specularColour) {
    const int type = bits.lightType[light];
    const uint32_t base = 14 + 7 * static_cast<uint32_t>(light);
    const Reg position = C(base), direction = C(base + 1), diffuse = C(base + 2);
    const Reg ambient = C(base + 4), falloff = C(base + 5);
    const Reg cone = C(base + 6);
    const bool directional = type == 3;
    if (directional) {
        b.Emit(kOpNrm, kToLight.Mask("xyz"), {direction});
        b.Emit(kOpMov, kToLight.Mask("xyz"), {-kToLight});
    } else {
        b.Emit(kOpAdd, kToLight.Mask("xyz"), {position, -kViewPos});
        b.Emit(kOpDp3, kScalars.Mask("y"), {kToLight, kToLight});
        b.Emit(kOpRsq, kScalars.Mask("x"), {kScalars.Swz("y")});
        b.Emit(kOpMul, kToLight.Mask("xyz"), {kToLight, kScalars.Swz("x")});
        b.Emit(kOpMul, kScalars.Mask("x"), {kScalars.Swz("y"), kScalars.Swz("x")});  // d
        b.Emit(kOpMad, kScalars.Mask("z"), {falloff.Swz("w"), kScalars.Swz("x"), falloff.Swz("z")});
        b.Emit(kOpMad, kScalars.Mask("z"), {cone.Swz("x"), kScalars.Swz("y"), kScalars.Swz("z")});
        b.Emit(kOpRcp, kScalars.Mask("z"), {kScalars.Swz("z")});
        b.Emit(kOpSge, kScalars.Mask("w"), {falloff.Swz("x"), kScalars.Swz("y")});
        b.Emit(kOpMul, kScalars.Mask("z"), {kScalars.Swz("z"), kScalars.Swz("w")});
        if (type == 2) {
            b.Emit(kOpNrm, R(0).Mask("xyz"), {direction});
            b.Emit(kOpDp3, kScalars.Mask("w"), {-kToLight, R(0)});
            b.Emit(kOpAdd, kScalars.Mask("w"), {kScalars.Swz("w"), -cone.Swz("y")});
            b.Emit(kOpMul, kScalars.Mask("w").Sat(), {kScalars.Swz("w"), cone.Swz("z")});
            b.Emit(kOpPow, kScalars.Mask("w"), {kScalars.Swz("w"), falloff.Swz("y")});
            b.Emit(kOpMul, kScalars.Mask("z"), {kScalars.Swz("z"), kScalars.Swz("w")});
        }
    }
    b.Emit(kOpDp3, kScalars.Mask("x"), {kViewNormal, kToLight});
    b.Emit(kOpMax, kScalars.Mask("x"), {kScalars.Swz("x"), C(0).Swz("x")});
    b.Emit(kOpMul, R(0).Mask("xyz"), {diffuseColour, diffuse});
    b.Emit(kOpMad, R(0).Mask("xyz"), {R(0), kScalars.Swz("x"), ambient});
    if (directional) {
        b.Emit(kOpAdd, kDiffuseSum.Mask("xyz"), {kDiffuseSum, R(0)});
    } else {
        b.Emit(kOpMad, kDiffuseSum.Mask("xyz"), {R(0), kScalars.Swz("z"), kDiffuseSum});
    }
    if (bits.specular) {
        EmitHighlight(b, light, directional, specularColour);
    }
    EmitToonLight(b, ToonLightTerms{light, directional, bits.specular});
}

// The light's highlight added to the specular sum; r1.w keeps the term before the fade.
void EmitHighlight(ShaderBuilder& b, int light, bool directional, const Src& specularColour) {
    const Reg specular = C(14 + 7 * static_cast<uint32_t>(light) + 3);
    b.Emit(kOpAdd, R(1).Mask("xyz"), {kToLight, kToEye});
    b.Emit(kOpNrm, R(1).Mask("xyz"), {R(1)});
    b.Emit(kOpDp3, R(1).Mask("w"), {kViewNormal, R(1)});
    b.Emit(kOpMax, R(1).Mask("w"), {R(1).Swz("w"), C(0).Swz("x")});
    b.Emit(kOpPow, R(1).Mask("w"), {R(1).Swz("w"), C(13).Swz("x")});
    b.Emit(kOpMul, R(0).Mask("xyz"), {specularColour, specular});
    b.Emit(kOpMul, R(0).Mask("xyz"), {R(0), R(1).Swz("w")});
    if (directional) {
        b.Emit(kOpAdd, kSpecularSum.Mask("xyz"), {kSpecularSum, R(0)});
    } else {
        b.Emit(kOpMad, kSpecularSum.Mask("xyz"), {R(0), kScalars.Swz("z"), kSpecularSum});
    }
}

void EmitLighting(ShaderBuilder& b, const VertexBits& bits) {
    const Src diffuseColour = bits.diffuseFromVertex ? Src(kColour0) : Src(C(11));
    const Src specularColour = bits.specularFromVertex ? Src(kColour1) : Src(C(12));
    // The world normal (r0) into camera space, renormalised.
    static const char* kAxis[3] = {"x", "y", "z"};
    for (uint32_t r = 0; r < 3; ++r) {
        b.Emit(kOpDp3, kViewNormal.Mask(kAxis[r]), {R(0), C(6 + r)});
    }
    b.Emit(kOpNrm, kViewNormal.Mask("xyz"), {kViewNormal});
    b.Emit(kOpNrm, kToEye.Mask("xyz"), {-kViewPos});
    b.Emit(kOpMov, kDiffuseSum.Mask("xyz"), {C(1)});
    b.Emit(kOpMov, kSpecularSum.Mask("xyz"), {C(0).Swz("x")});
    EmitToonStart(b);
    for (int light = 0; light < 3; ++light) {
        if (bits.lightType[light] != 0) {
            EmitLight(b, bits, light, diffuseColour, specularColour);
        }
    }
    b.Emit(kOpMov, OD(0).Mask("xyz"), {kDiffuseSum});
    b.Emit(kOpMov, OD(0).Mask("w"), {diffuseColour.Swz("w")});
    if (bits.specular) {
        b.Emit(kOpMov, OD(1).Mask("xyz"), {kSpecularSum});
    } else {
        b.Emit(kOpMov, OD(1).Mask("xyz"), {C(0).Swz("x")});
    }
    b.Emit(kOpMov, OD(1).Mask("w"), {specularColour.Swz("w")});
    EmitToonFinish(b, bits.specular, diffuseColour, specularColour);
}

void EmitTexCoords(ShaderBuilder& b) {
    b.Emit(kOpDp4, OT(0).Mask("x"), {kTexCoord, C(88)});
    b.Emit(kOpDp4, OT(0).Mask("y"), {kTexCoord, C(89)});
    b.Emit(kOpMov, OT(0).Mask("zw"), {kTexCoord});
}

std::vector<uint32_t> VertexShader(const VertexBits& bits) {
    ShaderBuilder b = ShaderBuilder::Vertex();
    b.Def(kOwnConstants, 3.0f, 0.0f, 0.0f, 0.0f);
    DeclareVertexInputs(b, bits);
    EmitWorldTransform(b, bits);
    if (bits.outline) {
        // Pushed out along the normal in world space, in the material's colour.
        b.Emit(kOpMad, kWorldPos.Mask("xyz"), {R(0), C(42), kWorldPos});
    }
    EmitViewAndClip(b);
    if (bits.outline) {
        b.Emit(kOpMov, OD(0).Mask("xyz"), {C(11)});
        b.Emit(kOpMov, OD(0).Mask("w"), {C(0).Swz("y")});
        b.Emit(kOpMov, OD(1), {C(0).Swz("x")});
    } else if (bits.lighting) {
        EmitLighting(b, bits);
    } else {
        b.Emit(kOpMov, OD(0), {kColour0});
        b.Emit(kOpMov, OD(1), {kColour1});
    }
    EmitTexCoords(b);
    EmitFog(b, bits.fog);
    return b.Finish();
}

struct PixelBits {
    bool specular = false;
    bool secondTexture = false;
    ToonPixelBits toon;
};

bool DecodePixel(int index, PixelBits* bits) {
    if (index < 0 || index >= kPixelShaderCount) {
        return false;
    }
    bits->specular = (index & 1) != 0;
    const int kinds[3] = {(index / 72) % 3, (index / 24) % 3, (index / 8) % 3};
    bits->secondTexture = (index / 216) % 2 != 0;
    const int lightField = (index / 432) % 8;
    if (!DecodeToonPixel(index, &bits->toon)) {
        return false;
    }
    const bool anyKind = kinds[0] + kinds[1] + kinds[2] != 0;
    // Toon meshes are lit by the vertex shader's toon blocks, which only the lit ones carry.
    if (bits->toon.kind != 0 && lightField == 0) {
        return false;
    }
    // 0 unlit, 4 lit without lights, 5 lit with lights; the others carry a normal map.
    if (lightField == 5) {
        return anyKind;
    }
    return (lightField == 0 || lightField == 4) && !anyKind;
}

// The vertex shader has lit the vertex: the texel times the diffuse colour (times the second
// texture's texel), the specular colour added, times the texture factor (the opacity).
std::vector<uint32_t> PixelShader(const PixelBits& bits) {
    ShaderBuilder b = ShaderBuilder::Pixel();
    b.DclPixelInput(T(0));
    b.DclPixelInput(V(0));
    if (bits.specular) {
        b.DclPixelInput(V(1).Mask("xyz"));
    }
    b.DclSampler(0);
    if (bits.secondTexture) {
        b.DclSampler(1);
    }
    DeclareToonPixel(b, bits.toon);
    b.Emit(kOpTex, R(0), {T(0), S(0)});
    b.Emit(kOpMul, R(0), {R(0), V(0)});
    if (bits.secondTexture) {
        b.Emit(kOpTex, R(1), {T(0), S(1)});
        b.Emit(kOpMul, R(0), {R(0), R(1)});
    }
    if (bits.toon.kind != 0) {
        EmitToonPixel(b, bits.toon, bits.specular);
    } else if (bits.specular) {
        b.Emit(kOpAdd, R(0).Mask("xyz"), {R(0), V(1)});
    }
    // c5 is the texture factor, white with the opacity in its alpha in every draw of a mesh:
    // one product scales the alpha alone.
    b.Emit(kOpMul, OC(0), {R(0), C(5)});
    return b.Finish();
}

void PutU16(std::vector<uint8_t>* out, size_t at, uint32_t value) {
    (*out)[at] = static_cast<uint8_t>(value & 0xFF);
    (*out)[at + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

// Appends one shader's tokens (little-endian) and records its size; false when it would not
// fit a 16-bit size.
bool AppendShader(const std::vector<uint32_t>& tokens, size_t slot, std::vector<uint8_t>* out) {
    const size_t bytes = tokens.size() * 4;
    if (bytes > 0xFFFF) {
        return false;
    }
    PutU16(out, slot * 2, static_cast<uint32_t>(bytes));
    for (uint32_t t : tokens) {
        for (int k = 0; k < 4; ++k) {
            out->push_back(static_cast<uint8_t>((t >> (8 * k)) & 0xFF));
        }
    }
    return true;
}

}  // namespace

bool BuildVertexShader(int index, std::vector<uint32_t>* tokens) {
    VertexBits bits;
    if (!DecodeVertex(index, &bits)) {
        return false;
    }
    *tokens = VertexShader(bits);
    return true;
}

bool BuildPixelShader(int index, std::vector<uint32_t>* tokens) {
    PixelBits bits;
    if (!DecodePixel(index, &bits)) {
        return false;
    }
    *tokens = PixelShader(bits);
    return true;
}

int BuildShaderData(std::vector<uint8_t>* out) {
    const size_t slots = static_cast<size_t>(kVertexShaderCount) + kPixelShaderCount;
    out->assign(slots * 2, 0);
    std::vector<uint32_t> tokens;
    for (int i = 0; i < kVertexShaderCount; ++i) {
        if (BuildVertexShader(i, &tokens) && !AppendShader(tokens, static_cast<size_t>(i), out)) {
            std::fprintf(stderr, "vertex shader %d is too long\n", i);
            return -1;
        }
    }
    for (int i = 0; i < kPixelShaderCount; ++i) {
        const size_t slot = static_cast<size_t>(kVertexShaderCount) + static_cast<size_t>(i);
        if (BuildPixelShader(i, &tokens) && !AppendShader(tokens, slot, out)) {
            std::fprintf(stderr, "pixel shader %d is too long\n", i);
            return -1;
        }
    }
    return 0;
}

int BuildShaderPack(std::vector<uint8_t>* out) {
    std::vector<uint8_t> data;
    if (BuildShaderData(&data) != 0) {
        return -1;
    }
    std::vector<uint8_t> packedData;
    if (LzCompress(data.data(), data.size(), &packedData) != 0) {
        std::fprintf(stderr, "the shader data is too large for an LZ block\n");
        return -1;
    }
    // The file is an LZ block already: the archive stores it as it is, so that the library
    // finds the block at the entry's offset.
    ArchiveBuilder archive;
    if (archive.AddFile(kShaderPackFileName, packedData.data(), packedData.size()) != 0) {
        std::fprintf(stderr, "the shader pack's archive refused its file\n");
        return -1;
    }
    ArchivePackOptions options;
    options.compress = false;
    std::vector<uint8_t> image;
    if (archive.Build(options, &image) != 0) {
        std::fprintf(stderr, "the shader pack's archive could not be built\n");
        return -1;
    }
    if (LzCompress(image.data(), image.size(), out) != 0) {
        std::fprintf(stderr, "the shader pack is too large for an LZ block\n");
        return -1;
    }
    return 0;
}

}  // namespace tessel::shadergen
