// The toon parts of the built-in shaders (toon_shaders.h).
//
// Vertex temporaries while the toon blocks run: r2 the diffuse light, r3 the ambient (then the
// lit sum), r4 the specular light; r0, r1 and r10 are scratch. The lit vertex shader no longer
// needs r2 to r4 once it has its world position in camera space.
#include "tools/shadergen/toon_shaders.h"

namespace tessel::shadergen {
namespace {

using namespace platform::shader;

const Reg kToonDiffuse = R(2);
const Reg kToonAmbient = R(3);
const Reg kToonSpecular = R(4);
const Reg kScalars = R(11);
const Reg kScratch = R(10);

// Integer registers whose count runs a block: all toon, kind 1, kind 2.
constexpr uint32_t kAnyToon = 0;
constexpr uint32_t kKindOne = 1;
constexpr uint32_t kKindTwo = 2;

const Src One() {
    return C(kToonConstants).Swz("y");
}

// Each channel over the largest, in the processor's form 1 - ((max - min) / max)(1 - (v -
// min) / (max - min)), into kScratch.xyz; all 1 when the channels sum below 1e-5 or max - min is
// below 1e-5 (the divisions are kept finite for those, whose result is dropped).
void EmitNormaliseToMax(ShaderBuilder& b, const Reg& v) {
    const Src tiny = C(kToonConstants).Swz("x");
    b.Emit(kOpMax, R(0).Mask("x"), {v.Swz("x"), v.Swz("y")});
    b.Emit(kOpMax, R(0).Mask("x"), {R(0).Swz("x"), v.Swz("z")});
    b.Emit(kOpMin, R(0).Mask("y"), {v.Swz("x"), v.Swz("y")});
    b.Emit(kOpMin, R(0).Mask("y"), {R(0).Swz("y"), v.Swz("z")});
    b.Emit(kOpAdd, R(0).Mask("z"), {R(0).Swz("x"), -R(0).Swz("y")});
    b.Emit(kOpDp3, R(1).Mask("x"), {v, One()});
    b.Emit(kOpSlt, R(1).Mask("y"), {R(1).Swz("x"), tiny});
    b.Emit(kOpSlt, R(1).Mask("z"), {R(0).Swz("z"), tiny});
    b.Emit(kOpMax, R(1).Mask("y"), {R(1).Swz("y"), R(1).Swz("z")});
    b.Emit(kOpMax, R(1).Mask("z"), {R(0).Swz("z"), tiny});
    b.Emit(kOpRcp, R(1).Mask("z"), {R(1).Swz("z")});
    b.Emit(kOpMax, R(1).Mask("w"), {R(0).Swz("x"), tiny});
    b.Emit(kOpRcp, R(1).Mask("w"), {R(1).Swz("w")});
    b.Emit(kOpAdd, kScratch.Mask("xyz"), {v, -R(0).Swz("y")});
    b.Emit(kOpMul, kScratch.Mask("xyz"), {kScratch, R(1).Swz("z")});
    b.Emit(kOpAdd, kScratch.Mask("xyz"), {One(), -kScratch});
    b.Emit(kOpMul, R(0).Mask("w"), {R(0).Swz("z"), R(1).Swz("w")});
    b.Emit(kOpMul, kScratch.Mask("xyz"), {kScratch, R(0).Swz("w")});
    b.Emit(kOpAdd, kScratch.Mask("xyz"), {One(), -kScratch});
    // Flat: factor x 0 + 1 exactly; else factor x 1 + 0.
    b.Emit(kOpAdd, R(1).Mask("z"), {One(), -R(1).Swz("y")});
    b.Emit(kOpMad, kScratch.Mask("xyz"), {kScratch, R(1).Swz("z"), R(1).Swz("y")});
}

// The largest of the three channels of v into dst.
void EmitLargest(ShaderBuilder& b, const Dst& dst, const Reg& v) {
    b.Emit(kOpMax, R(0).Mask("w"), {v.Swz("x"), v.Swz("y")});
    b.Emit(kOpMax, R(0).Mask("w"), {R(0).Swz("w"), v.Swz("z")});
    b.Emit(kOpMov, dst, {R(0).Swz("w")});
}

}  // namespace

void EmitToonStart(ShaderBuilder& b) {
    b.Def(kToonConstants, 1e-5f, 1.0f, 0.0f, 0.0f);
    b.Emit(kOpRep, {I(kAnyToon)});
    b.Emit(kOpMov, kToonDiffuse.Mask("xyz"), {C(0).Swz("x")});
    b.Emit(kOpMov, kToonAmbient.Mask("xyz"), {C(kToonSceneAmbient)});
    b.Emit(kOpMov, kToonSpecular.Mask("xyz"), {C(0).Swz("x")});
    b.Emit(kOpEndRep);
}

void EmitToonLight(ShaderBuilder& b, const ToonLightTerms& t) {
    const uint32_t base = 14 + 7 * static_cast<uint32_t>(t.light);
    const Reg diffuse = C(base + 2);
    const Reg specular = C(base + 3);
    const Reg ambient = C(kToonLightAmbient + static_cast<uint32_t>(t.light));
    b.Emit(kOpRep, {I(kAnyToon)});
    if (t.directional) {
        b.Emit(kOpMad, kToonDiffuse.Mask("xyz"), {diffuse, kScalars.Swz("x"), kToonDiffuse});
        b.Emit(kOpAdd, kToonAmbient.Mask("xyz"), {kToonAmbient, ambient});
    } else {
        b.Emit(kOpMul, R(0).Mask("x"), {kScalars.Swz("x"), kScalars.Swz("z")});
        b.Emit(kOpMad, kToonDiffuse.Mask("xyz"), {diffuse, R(0).Swz("x"), kToonDiffuse});
        b.Emit(kOpMad, kToonAmbient.Mask("xyz"), {ambient, kScalars.Swz("z"), kToonAmbient});
    }
    if (t.specular) {
        if (t.directional) {
            b.Emit(kOpMad, kToonSpecular.Mask("xyz"), {specular, R(1).Swz("w"), kToonSpecular});
        } else {
            b.Emit(kOpMul, R(0).Mask("x"), {R(1).Swz("w"), kScalars.Swz("z")});
            b.Emit(kOpMad, kToonSpecular.Mask("xyz"), {specular, R(0).Swz("x"), kToonSpecular});
        }
    }
    b.Emit(kOpEndRep);
}

void EmitToonFinish(ShaderBuilder& b, bool specular, const Src& diffuseColour,
                    const Src& specularColour) {
    b.Emit(kOpRep, {I(kAnyToon)});
    b.Emit(kOpAdd, kToonAmbient.Mask("xyz"), {kToonAmbient, kToonDiffuse});
    b.Emit(kOpEndRep);
    // Kind 1: the colours scaled by the normalised sums; t1 the largest lit and specular.
    b.Emit(kOpRep, {I(kKindOne)});
    EmitLargest(b, OT(1).Mask("x"), kToonAmbient);
    EmitLargest(b, OT(1).Mask("y"), kToonSpecular);
    EmitNormaliseToMax(b, kToonDiffuse);
    b.Emit(kOpMul, OD(0).Mask("xyz").Sat(), {diffuseColour, kScratch});
    EmitNormaliseToMax(b, kToonSpecular);
    b.Emit(kOpMul, OD(1).Mask("xyz").Sat(), {specularColour, kScratch});
    b.Emit(kOpEndRep);
    // Kind 2: the material lit by the sum, plus its ambient; the material's highlight.
    b.Emit(kOpRep, {I(kKindTwo)});
    b.Emit(kOpMad, OD(0).Mask("xyz").Sat(), {C(11), kToonAmbient, C(kToonMaterialAmbient)});
    if (specular) {
        b.Emit(kOpMul, OD(1).Mask("xyz").Sat(), {C(12), kToonSpecular});
    }
    b.Emit(kOpEndRep);
}

bool DecodeToonPixel(int index, ToonPixelBits* bits) {
    const int variant = index / 3456;
    *bits = ToonPixelBits{};
    switch (variant) {
        case 0:
            return true;
        case 4:
        case 6:
            bits->kind = 1;
            return true;
        case 5:
        case 7:
            bits->kind = 1;
            bits->specularRamp = true;
            return (index & 1) != 0;
        case 8:
            bits->kind = 2;
            return true;
        default:
            return false;
    }
}

void DeclareToonPixel(ShaderBuilder& b, const ToonPixelBits& bits) {
    if (bits.kind != 1) {
        return;
    }
    b.DclPixelInput(T(1).Mask("xy"));
    b.DclSampler(3);
    if (bits.specularRamp) {
        b.DclSampler(4);
    }
}

void EmitToonPixel(ShaderBuilder& b, const ToonPixelBits& bits, bool specular) {
    if (bits.kind == 2) {
        if (specular) {
            b.Emit(kOpAdd, R(0).Mask("xyz"), {R(0), V(1)});
        }
        return;
    }
    // The ramps are read at (m, m) and (s, s), as the fixed path's spare sets carry them.
    b.Emit(kOpMov, R(1).Mask("xy"), {T(1).Swz("x")});
    b.Emit(kOpTex, R(1), {R(1), S(3)});
    b.Emit(kOpMul, R(0).Mask("xyz"), {R(0), R(1)});
    if (bits.specularRamp) {
        b.Emit(kOpMov, R(2).Mask("xy"), {T(1).Swz("y")});
        b.Emit(kOpTex, R(2), {R(2), S(4)});
        b.Emit(kOpMad, R(0).Mask("xyz"), {V(1), R(2), R(0)});
    }
}

}  // namespace tessel::shadergen
