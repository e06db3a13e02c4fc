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
const Reg kTangent = V(9);
const Reg kBinormal = V(10);

// Temporaries of the vertex shaders.
const Reg kWorldPos = R(4);
const Reg kViewPos = R(5);
const Reg kViewNormal = R(6);
const Reg kToEye = R(7);
const Reg kDiffuseSum = R(8);
const Reg kSpecularSum = R(9);
const Reg kToLight = R(10);
const Reg kScalars = R(11);  // x N.L or 1/d, y d^2, z the light's scale, w spot
// Per-pixel lighting: the tangent frame in camera space (the bone rows' registers, free once
// the vertex is in world space), and in world space before that.
const Reg kViewTangent = R(2);
const Reg kViewBinormal = R(3);
const Reg kWorldTangent = R(8);
const Reg kWorldBinormal = R(9);

struct VertexBits {
    bool specular = false;
    bool specularFromVertex = false;
    bool diffuseFromVertex = false;
    int lightType[3] = {0, 0, 0};
    int fog = 0;
    int skin = 0;  // 0 rigid, 1 four bones, 2 eight bones
    bool lighting = false;
    bool outline = false;
    // The tangent-frame layout; with lights the vertex hands each light's direction in the
    // tangent frame to the pixel shader, which lights by the normal map.
    bool tangentFrame = false;
    bool perPixel = false;
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
    bits->tangentFrame = (low & 0x800) != 0;
    const bool anyLight = bits->lightType[0] + bits->lightType[1] + bits->lightType[2] != 0;
    if (field >= 12) {
        // Outlines: only the fog formula and the skin vary.
        bits->outline = true;
        bits->skin = (field - 12) / 2;
        return field <= 16 && field % 2 == 0 && (low & ~0x600) == 0;
    }
    bits->skin = (field / 2) % 3;
    bits->lighting = field >= 6;
    const bool lightsOn = bits->lighting && field % 2 == 1;
    bits->perPixel = bits->tangentFrame && lightsOn;
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
    if (bits.perPixel) {
        b.DclInput(kUsageNormal, 1, kTangent);
        b.DclInput(kUsageNormal, 2, kBinormal);
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
    if (bits.perPixel) {
        // The tangent and binormal in world space while the rows are at hand.
        for (int r = 0; r < 3; ++r) {
            b.Emit(kOpDp3, kWorldTangent.Mask(kAxis[r]), {kTangent, rows[r]});
            b.Emit(kOpDp3, kWorldBinormal.Mask(kAxis[r]), {kBinormal, rows[r]});
        }
    }
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

// Per-pixel lighting: the unit direction to the light in the tangent frame (tangent r2,
// binormal r3, normal), times the light's attenuation and spot factor, goes to t(1 + light) as
// x, y and w, so that the pixel shader's N.L of the normal map's normal is already faded; the
// vertex colour keeps only the light's ambient share.
void EmitTangentLight(ShaderBuilder& b, int light, bool directional, const Reg& ambient) {
    b.Emit(kOpDp3, R(0).Mask("x"), {kViewTangent, kToLight});
    b.Emit(kOpDp3, R(0).Mask("y"), {kViewBinormal, kToLight});
    b.Emit(kOpDp3, R(0).Mask("z"), {kViewNormal, kToLight});
    const Reg out = OT(1 + static_cast<uint32_t>(light));
    if (directional) {
        b.Emit(kOpMov, out.Mask("xy"), {R(0)});
        b.Emit(kOpMov, out.Mask("w"), {R(0).Swz("z")});
        b.Emit(kOpAdd, kDiffuseSum.Mask("xyz"), {kDiffuseSum, ambient});
        return;
    }
    b.Emit(kOpMul, out.Mask("xy"), {R(0), kScalars.Swz("z")});
    b.Emit(kOpMul, out.Mask("w"), {R(0).Swz("z"), kScalars.Swz("z")});
    b.Emit(kOpMad, kDiffuseSum.Mask("xyz"), {ambient, kScalars.Swz("z"), kDiffuseSum});
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
    if (bits.perPixel) {
        EmitTangentLight(b, light, directional, ambient);
    } else {
        b.Emit(kOpDp3, kScalars.Mask("x"), {kViewNormal, kToLight});
        b.Emit(kOpMax, kScalars.Mask("x"), {kScalars.Swz("x"), C(0).Swz("x")});
        b.Emit(kOpMul, R(0).Mask("xyz"), {diffuseColour, diffuse});
        b.Emit(kOpMad, R(0).Mask("xyz"), {R(0), kScalars.Swz("x"), ambient});
        if (directional) {
            b.Emit(kOpAdd, kDiffuseSum.Mask("xyz"), {kDiffuseSum, R(0)});
        } else {
            b.Emit(kOpMad, kDiffuseSum.Mask("xyz"), {R(0), kScalars.Swz("z"), kDiffuseSum});
        }
    }
    if (bits.specular) {
        EmitHighlight(b, light, directional, specularColour);
    }
    // A toon mesh never takes the normal map's per-pixel lighting: its blocks would only cost.
    if (!bits.perPixel) {
        EmitToonLight(b, ToonLightTerms{light, directional, bits.specular});
    }
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
    if (bits.perPixel) {
        for (uint32_t r = 0; r < 3; ++r) {
            b.Emit(kOpDp3, kViewTangent.Mask(kAxis[r]), {kWorldTangent, C(6 + r)});
            b.Emit(kOpDp3, kViewBinormal.Mask(kAxis[r]), {kWorldBinormal, C(6 + r)});
        }
        b.Emit(kOpNrm, kViewTangent.Mask("xyz"), {kViewTangent});
        b.Emit(kOpNrm, kViewBinormal.Mask("xyz"), {kViewBinormal});
    }
    b.Emit(kOpNrm, kToEye.Mask("xyz"), {-kViewPos});
    b.Emit(kOpMov, kDiffuseSum.Mask("xyz"), {C(1)});
    b.Emit(kOpMov, kSpecularSum.Mask("xyz"), {C(0).Swz("x")});
    if (!bits.perPixel) {
        EmitToonStart(b);
    }
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
    if (!bits.perPixel) {
        EmitToonFinish(b, bits.specular, diffuseColour, specularColour);
    }
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
    // Lit by the normal map (stage 2) from the directions the vertex shader hands over; the
    // lights on are those with a shading kind.
    bool normalMap = false;
    bool lightOn[3] = {false, false, false};
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
    // 0 unlit, 4 lit without lights, 5 lit with lights; + 2 with a normal map, which changes
    // nothing without lights. The normal map's lighting takes the material's diffuse colour:
    // with the diffuse colour from the vertices there is no shader.
    const bool normalMap = (lightField & 2) != 0;
    const int lighting = lightField & ~2;
    // Toon meshes are lit by the vertex shader's toon blocks, which only the lit ones carry,
    // and take no normal map.
    if (bits->toon.kind != 0 && (lighting == 0 || normalMap)) {
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        bits->lightOn[i] = kinds[i] != 0;
    }
    if (lighting == 5) {
        bits->normalMap = normalMap;
        return anyKind && !(normalMap && (index & 4) != 0);
    }
    return (lighting == 0 || lighting == 4) && !anyKind;
}

// The lit colour by the normal map into r3: the vertex colour (the ambient shares) plus, per
// light on, max(0, N.L) x light diffuse x material diffuse (c9 + 3i, c2), N the texel of
// stage 2 as 2 x texel - 1 renormalised, clamped to 0..1 as the vertex colours are.
void EmitNormalMapLighting(ShaderBuilder& b, const PixelBits& bits) {
    b.Emit(kOpTex, R(1), {T(0), S(2)});
    b.Emit(kOpMad, R(1).Mask("xyz"), {R(1), C(0).Swz("w"), -C(0).Swz("z")});
    b.Emit(kOpNrm, R(2).Mask("xyz"), {R(1)});
    b.Emit(kOpMov, R(3), {V(0)});
    for (uint32_t i = 0; i < 3; ++i) {
        if (!bits.lightOn[i]) {
            continue;
        }
        b.Emit(kOpMov, R(4).Mask("xy"), {T(1 + i)});
        b.Emit(kOpMov, R(4).Mask("z"), {T(1 + i).Swz("w")});
        b.Emit(kOpDp3, R(4).Mask("x"), {R(2), R(4)});
        b.Emit(kOpMax, R(4).Mask("x"), {R(4).Swz("x"), C(0).Swz("x")});
        b.Emit(kOpMul, R(5).Mask("xyz"), {C(9 + 3 * i), C(2)});
        b.Emit(kOpMad, R(3).Mask("xyz"), {R(5), R(4).Swz("x"), R(3)});
    }
    b.Emit(kOpMov, R(3).Mask("xyz").Sat(), {R(3)});
}

// The vertex shader has lit the vertex (or handed the lights over to the normal map): the
// texel times the lit colour, times the second texture's colour (the fixed path's stage 1:
// its alpha is not used), the specular colour added, times the texture factor (the opacity).
// Both textures read the first coordinate set.
std::vector<uint32_t> PixelShader(const PixelBits& bits) {
    ShaderBuilder b = ShaderBuilder::Pixel();
    b.DclPixelInput(T(0));
    for (uint32_t i = 0; i < 3; ++i) {
        if (bits.normalMap && bits.lightOn[i]) {
            b.DclPixelInput(T(1 + i));
        }
    }
    b.DclPixelInput(V(0));
    if (bits.specular) {
        b.DclPixelInput(V(1).Mask("xyz"));
    }
    b.DclSampler(0);
    if (bits.secondTexture) {
        b.DclSampler(1);
    }
    DeclareToonPixel(b, bits.toon);
    if (bits.normalMap) {
        b.DclSampler(2);
        EmitNormalMapLighting(b, bits);
    }
    const Reg lit = bits.normalMap ? R(3) : V(0);
    b.Emit(kOpTex, R(0), {T(0), S(0)});
    b.Emit(kOpMul, R(0), {R(0), lit});
    if (bits.secondTexture) {
        b.Emit(kOpTex, R(1), {T(0), S(1)});
        b.Emit(kOpMul, R(0).Mask("xyz"), {R(0), R(1)});
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
