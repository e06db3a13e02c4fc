// The shaded-span route (raster_shaded_spans.cpp): what it reads from a draw's states, once a
// draw, and its entry points. Private to platform/d3d9.
#pragma once

#include "platform/d3d9/raster_draw_internal.h"
#include "platform/d3d9/shaders/shader_program.h"

namespace platform::raster_internal {

// An address mode along one axis of a level: WRAP on a power-of-two size is a mask.
struct AxisWrap {
    uint32_t mode = kAddressWrap;
    int32_t mask = 0;  // size - 1, or 0: the mode's rule
};

// One 32-bit level as the sampler reads it; invalid levels sample white, as SampleLevel does.
struct Level32 {
    const uint8_t* bits = nullptr;
    int32_t width = 0, height = 0, pitch = 0;
    uint32_t alphaOr = 0;  // X8R8G8B8 reads alpha 255
    bool valid = false;
    AxisWrap wrapU, wrapV;
};

// A stage's texture as the route samples it.
struct Sampler32 {
    const RasterSampler* sampler = nullptr;
    bool none = true;  // no texture: opaque white
    int32_t levelCount = 0;
    Level32 levels[kRasterMaxLevels];
};

// A sampler's levels as the route reads them; false when a level is not 32-bit.
bool CompileSampler32(const RasterSampler& sm, Sampler32* t);
// SampleRaster's texels at the lanes in `active` of lanes 0 .. lanes - 1, the same bits.
void SampleLanes32(const Sampler32& t, const float* u, const float* v, const float* lod, int lanes,
                   uint32_t active, uint32_t* out);

// What the route reads from the states, once a draw.
struct ShadedPlan {
    // The stage program: texture times diffuse (alpha from the texture, the diffuse colour or
    // their product), or the general combiner.
    enum class Combine { kGeneral, kModulate };
    enum class AlphaFrom { kTexture, kDiffuse, kProduct };
    Combine combine = Combine::kGeneral;
    AlphaFrom alphaFrom = AlphaFrom::kTexture;
    Sampler32 samplers[kRasterStageCount];
    bool lodStage[kRasterStageCount] = {};
    int lodSet[kRasterStageCount] = {};
    bool anyLod = false;
};

// What the pixel-shader route's vector blocks read from a draw's samplers, once a band: the
// samplers whose levels are all 32-bit, which it samples as the shaded spans do.
struct ShaderBlockPlan {
    bool fast[kRasterSamplerCount] = {};
    Sampler32 samplers[kRasterSamplerCount];
    // Programs of the form the library's shader pack writes run without the machine, its
    // steps lane by lane in the same order: t0's texel of s0 into r0, then a chain of steps on
    // r0 or its colour (times v0, times a second texel of t0 from s1, times a constant; v1
    // added to the colour), the last into oC0.
    struct PackForm {
        enum class Step : uint8_t { kDiffuse, kSecondTexel, kSpecular, kConstant };
        static constexpr int kMaxSteps = 8;
        bool matched = false;
        bool second = false;  // s1 is sampled
        int stepCount = 0;
        Step steps[kMaxSteps] = {};
        int constants[kMaxSteps] = {};    // of kConstant steps
        bool colourOnly[kMaxSteps] = {};  // the step writes r0.xyz (sums always do)
    } pack;
};
void CompileShaderBlockPlan(const DrawSetup& s, ShaderBlockPlan* plan);
ShaderBlockPlan::PackForm MatchPackForm(const shader::ShaderProgram& program);
// A triangle of a draw with a pixel shader through the vector blocks when it is a perspective
// one (the general blocks otherwise); plan null: the general blocks alone.
void RasterTriangleShaded(const DrawSetup& s, const Triangle& t, int32_t bandTop,
                          int32_t bandBottom, const ShaderBlockPlan* plan);

// False when the draw does not fit the route: a target the write mode does not reach in place,
// or a stage texture with levels other than 32-bit ones.
bool CompileShadedPlan(const DrawSetup& s, ShadedPlan* plan);
// The rows bandTop .. bandBottom - 1 of a triangle of a draw that fits.
void RasterShadedSpans(const DrawSetup& s, const ShadedPlan& plan, const Triangle& t,
                       int32_t bandTop, int32_t bandBottom);

}  // namespace platform::raster_internal
