// The pixel-shader route's vector blocks against its general blocks: random perspective scenes
// (every filter, mip chain, address mode, fog, depth format and compare, blend and alpha test of
// the random 3D scenes) drawn through pixel shaders, the ones the library's shader pack writes
// and others that reach the route's other branches (projected and biased texld, swizzled
// coordinates, texkill, oDepth, a second set, an unbound sampler): the fast routes on, on one
// thread and in four bands, must give the general blocks' colour and depth bytes, bit for bit.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "../d3d9_random_scene.h"
#include "modulate_shader.h"
#include "platform/d3d9/raster_shaded_spans_internal.h"
#include "platform/d3d9/shaders/pixel_route.h"
#include "platform/d3d9/shaders/shader_builder.h"

namespace {

using namespace raster_test;
using namespace platform::shader;

// The forms of the library's pack: texel times diffuse (its colour times a second texel's),
// specular added, times the texture factor in c5.
std::vector<uint32_t> PackShader(bool secondTexture, bool specular) {
    ShaderBuilder b = ShaderBuilder::Pixel();
    b.DclPixelInput(T(0));
    b.DclPixelInput(V(0));
    if (specular)
        b.DclPixelInput(V(1).Mask("xyz"));
    b.DclSampler(0);
    if (secondTexture)
        b.DclSampler(1);
    b.Emit(kOpTex, R(0), {T(0), S(0)});
    b.Emit(kOpMul, R(0), {R(0), V(0)});
    if (secondTexture) {
        b.Emit(kOpTex, R(1), {T(0), S(1)});
        b.Emit(kOpMul, R(0).Mask("xyz"), {R(0), R(1)});
    }
    if (specular)
        b.Emit(kOpAdd, R(0).Mask("xyz"), {R(0), V(1)});
    b.Emit(kOpMul, OC(0), {R(0), C(5)});
    return b.Finish();
}

// The texel times the diffuse colour straight into oC0.
std::vector<uint32_t> Modulate() {
    return shadertest::ModulatePixelShader();
}

// Programs one step away from the pack's forms, which the machine must run: the sum into
// the alpha too, a saturated sum, a swizzled constant, a negated colour, a sum into oC0.
std::vector<uint32_t> NearPackShader(int variant) {
    ShaderBuilder b = ShaderBuilder::Pixel();
    b.DclPixelInput(T(0));
    b.DclPixelInput(V(0));
    b.DclPixelInput(V(1));
    b.DclSampler(0);
    b.Emit(kOpTex, R(0), {T(0), S(0)});
    if (variant == 3)
        b.Emit(kOpMul, R(0), {R(0), -V(0)});
    else
        b.Emit(kOpMul, R(0), {V(0), R(0)});
    if (variant == 0)
        b.Emit(kOpAdd, R(0), {R(0), V(1)});
    else if (variant == 1)
        b.Emit(kOpAdd, R(0).Mask("xyz").Sat(), {V(1), R(0)});
    else
        b.Emit(kOpAdd, R(0).Mask("xyz"), {V(1), R(0)});
    // c6 is random in every channel, unlike the pack's white factor.
    if (variant == 2)
        b.Emit(kOpMul, OC(0), {C(6).Swz("yyzw"), R(0)});
    else if (variant == 4)
        b.Emit(kOpAdd, OC(0), {R(0), V(1)});
    else
        b.Emit(kOpMul, OC(0), {C(6), R(0)});
    return b.Finish();
}

// texldp of the second set, texldb of the first, and a swizzled read that has no derivatives.
std::vector<uint32_t> ProjectedAndBiased() {
    ShaderBuilder b = ShaderBuilder::Pixel();
    b.DclPixelInput(T(0));
    b.DclPixelInput(T(1));
    b.DclSampler(0);
    b.DclSampler(1);
    b.Emit(kOpTex, R(0), {T(1), S(1)}, kTexProject);
    b.Emit(kOpMad, R(1), {T(0), C(2), C(3)});
    b.Emit(kOpTex, R(1), {R(1), S(0)}, kTexBias);
    b.Emit(kOpTex, R(2), {T(0).Swz("yxzw"), S(0)});
    b.Emit(kOpLrp, R(0), {C(4), R(0), R(1)});
    b.Emit(kOpMul, OC(0), {R(0), R(2)});
    return b.Finish();
}

// texkill on a coordinate, the colour from v0 and v1 with a sampler that has no texture.
std::vector<uint32_t> Killing() {
    ShaderBuilder b = ShaderBuilder::Pixel();
    b.DclPixelInput(T(0));
    b.DclPixelInput(V(0));
    b.DclPixelInput(V(1));
    b.DclSampler(0);
    b.DclSampler(2);
    b.Emit(kOpAdd, R(0), {T(0), C(1)});
    b.Emit(kOpTexKill, R(0), {});
    b.Emit(kOpTex, R(1), {T(0), S(2)});
    b.Emit(kOpMad, R(1), {V(0), R(1), V(1)});
    b.Emit(kOpMov, OC(0), {R(1)});
    return b.Finish();
}

// oDepth from the coordinates: the depth is tested after the shader.
std::vector<uint32_t> WritingDepth() {
    ShaderBuilder b = shadertest::ModulateBuilder();
    b.Emit(kOpMad, ODepth(), {T(0).Swz("x"), C(2), C(3)});
    return b.Finish();
}

struct Shader {
    ShaderProgram program;
    ShaderConstants constants;
    RasterPixelShader shading;
};

void CompileInto(const std::vector<uint32_t>& tokens, Shader* out) {
    ShaderCompileResult r =
        CompileShader(tokens.data(), tokens.size(), ShaderKind::kPixel, &out->program);
    ASSERT_EQ(r.error, ShaderError::kNone);
}

void RandomConstants(Rng& rng, Shader* s) {
    float f[kPixelFloatConstants][4];
    for (auto& reg : f) {
        for (float& c : reg)
            c = Uniform(rng, -0.5f, 1.5f);
    }
    f[5][0] = f[5][1] = f[5][2] = 1.0f;  // the pack's texture factor: white, some opacity
    f[5][3] = rng() % 2 ? 1.0f : Uniform(rng, 0.0f, 1.0f);
    f[1][0] = Uniform(rng, -0.3f, 0.1f);  // texkill's offset: now and then a pixel dies
    f[1][1] = f[1][2] = 0.5f;
    MergeConstants(s->program, f, kPixelFloatConstants, nullptr, nullptr, &s->constants);
    s->shading = {&s->program, &s->constants};
}

TEST(ShaderBlocks, VectorBlocksGiveTheGeneralBlocksPixelsOverRandomScenes) {
    RouteSwitches switches;
    const std::vector<std::function<std::vector<uint32_t>()>> programs = {
        [] { return PackShader(false, false); },
        [] { return PackShader(false, true); },
        [] { return PackShader(true, false); },
        [] { return PackShader(true, true); },
        Modulate,
        [] { return NearPackShader(0); },
        [] { return NearPackShader(1); },
        [] { return NearPackShader(2); },
        [] { return NearPackShader(3); },
        [] { return NearPackShader(4); },
        ProjectedAndBiased,
        Killing,
        WritingDepth,
    };
    Rng rng(5707);
    uint64_t vectors = 0, blocks = 0;
    for (int scene = 0; scene < 1020; ++scene) {
        SCOPED_TRACE(testing::Message() << "scene " << scene);
        RandomScene r(rng);
        Shader shader;
        const size_t which = static_cast<size_t>(scene) % programs.size();
        ASSERT_NO_FATAL_FAILURE(CompileInto(programs[which](), &shader));
        RandomConstants(rng, &shader);
        r.st.pixelShader = &shader.shading;
        const EachWay drawn = DrawEachWay(r, [&] {
            vectors += RasterRouteCount(RasterRoute::kShaderVectors);
            blocks += RasterRouteCount(RasterRoute::kShaderBlocks);
        });
        ASSERT_TRUE(drawn.general == drawn.fast)
            << "program " << which << ": the vector blocks differ";
        ASSERT_TRUE(drawn.general == drawn.banded)
            << "program " << which << ": they differ in bands";
    }
    // Every triangle of these scenes is a perspective one: all took the vector blocks.
    EXPECT_GT(vectors, 2000u);
    EXPECT_EQ(vectors, blocks);
}

// The shaders' pixels follow one rule whatever the build: the same scenes through every
// program, on the vector blocks and the general ones, hash the same in an optimised build and
// in an unoptimised sanitizer build.
TEST(ShaderBlocks, PixelsAreTheSameInEveryBuild) {
    RouteSwitches switches;
    std::vector<uint32_t> (*const programs[])() = {[] { return PackShader(true, true); }, Modulate,
                                                   ProjectedAndBiased, Killing, WritingDepth};
    Rng rng(5708);
    uint64_t hash = 1469598103934665603u;
    for (int scene = 0; scene < 150; ++scene) {
        RandomScene r(rng);
        Shader shader;
        ASSERT_NO_FATAL_FAILURE(CompileInto(programs[scene % 5](), &shader));
        RandomConstants(rng, &shader);
        r.st.pixelShader = &shader.shading;
        SetRasterThreadCount(1);
        SetRasterFastQuadsEnabled(scene % 2 == 0);
        HashPixels(r.Draw(), &hash);
    }
    EXPECT_EQ(hash, 10827998764730154463u);
}

// The pack's four forms, and the plain texel times diffuse, run without the machine, with
// their steps; the programs one step away from them do not.
TEST(ShaderBlocks, KnowThePacksFormsAndNothingNearThem) {
    using platform::raster_internal::MatchPackForm;
    using Step = platform::raster_internal::ShaderBlockPlan::PackForm::Step;
    for (int form = 0; form < 4; ++form) {
        const bool second = (form & 2) != 0, specular = (form & 1) != 0;
        Shader shader;
        ASSERT_NO_FATAL_FAILURE(CompileInto(PackShader(second, specular), &shader));
        platform::raster_internal::ShaderBlockPlan::PackForm f = MatchPackForm(shader.program);
        std::vector<Step> want = {Step::kDiffuse};
        if (second)
            want.push_back(Step::kSecondTexel);
        if (specular)
            want.push_back(Step::kSpecular);
        want.push_back(Step::kConstant);
        EXPECT_TRUE(f.matched) << form;
        EXPECT_EQ(f.second, second) << form;
        EXPECT_EQ(std::vector<Step>(f.steps, f.steps + f.stepCount), want) << form;
        EXPECT_EQ(f.constants[f.stepCount - 1], 5) << form;
        EXPECT_EQ(f.colourOnly[1], second || specular) << form;
        EXPECT_FALSE(f.colourOnly[0] || f.colourOnly[f.stepCount - 1]) << form;
    }
    Shader modulate;
    ASSERT_NO_FATAL_FAILURE(CompileInto(Modulate(), &modulate));
    EXPECT_TRUE(MatchPackForm(modulate.program).matched);
    EXPECT_EQ(MatchPackForm(modulate.program).stepCount, 1);
    for (int variant = 0; variant < 5; ++variant) {
        Shader shader;
        ASSERT_NO_FATAL_FAILURE(CompileInto(NearPackShader(variant), &shader));
        EXPECT_FALSE(MatchPackForm(shader.program).matched) << variant;
    }
    for (auto make : {ProjectedAndBiased, Killing, WritingDepth}) {
        Shader shader;
        ASSERT_NO_FATAL_FAILURE(CompileInto(make(), &shader));
        EXPECT_FALSE(MatchPackForm(shader.program).matched);
    }
}

}  // namespace
