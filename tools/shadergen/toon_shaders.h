// The toon parts of the built-in shaders (toon_shaders.cpp). A toon mesh draws with the lit
// vertex shader of its lights, as any lit mesh does: the lit vertex shaders carry the toon work
// in blocks that run only while integer register i0 (all toon), i1 (kind 1) or i2 (kind 2)
// counts 1, and that the drawing code leaves at 0 for every other mesh. Those blocks light as
// the processor's toon evaluation does: the sums of the diffuse light, the lights' ambient with
// the scene's and the specular light, without the material; kind 1 scales its colours by those
// sums normalised to their largest channel and passes the largest lit and specular components
// in t1 for the ramps; kind 2 takes the material times the lit sum plus the material's ambient.
//
// Registers the drawing code fills for a toon draw: c43 the scene's ambient, c44 the material's
// ambient (both as 0..1), c45 to c47 the ambient colour of lights 0 to 2 as they were set.
#pragma once

#include <vector>

#include "platform/d3d9/shaders/shader_builder.h"

namespace tessel::shadergen {

constexpr uint32_t kToonSceneAmbient = 43;
constexpr uint32_t kToonMaterialAmbient = 44;
constexpr uint32_t kToonLightAmbient = 45;  // light i at 45 + i
constexpr uint32_t kToonConstants = 91;     // (1e-5, 1, 0, 0), defined by the shader

// Where a light's share sits when the lit vertex shader has added it to its own sums.
struct ToonLightTerms {
    int light;
    bool directional;
    bool specular;  // the shader works out the highlight (r1.w the term before the fade)
};

// The toon sums start: before the first light.
void EmitToonStart(platform::shader::ShaderBuilder& b);
// One light's share of the toon sums (kScalars .x N.L clamped, .z the fade).
void EmitToonLight(platform::shader::ShaderBuilder& b, const ToonLightTerms& terms);
// After the lights and the shader's own colour outputs: the kinds' outputs.
void EmitToonFinish(platform::shader::ShaderBuilder& b, bool specular,
                    const platform::shader::Src& diffuseColour,
                    const platform::shader::Src& specularColour);

// Toon pixel shaders: p / 3456 is 4 (kind 1), 5 (kind 1 with its specular ramp) or 8 (kind 2);
// 6 and 7 (kind 1 with toon selector 2, the word a material with a ramp image of its own
// carries) are 4 and 5 again: the ramp is read at (m, m), which serves a ramp laid out along
// either axis, as the fixed-function path reads it whatever the selector.
struct ToonPixelBits {
    int kind = 0;  // 0: not toon
    bool specularRamp = false;
};
// False for a toon variant without a shader.
bool DecodeToonPixel(int index, ToonPixelBits* bits);
// The toon inputs and samplers, before any instruction.
void DeclareToonPixel(platform::shader::ShaderBuilder& b, const ToonPixelBits& bits);
// After the texel (times the second texel) in r0: the ramps or the kind-2 highlight; the
// caller ends with the texture factor. specular: the index's specular bit.
void EmitToonPixel(platform::shader::ShaderBuilder& b, const ToonPixelBits& bits, bool specular);

}  // namespace tessel::shadergen
