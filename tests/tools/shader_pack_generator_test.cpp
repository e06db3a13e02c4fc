// The shader generator: the pack is the same every time it is made (and the library carries
// exactly that pack), every shader it writes is one the device compiles, and the indices the
// drawing code forms have shaders while the ones it never forms have none.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/d3d9/raster_shaded_spans_internal.h"
#include "platform/d3d9/shaders/shader_program.h"
#include "tools/shadergen/shader_generator.h"

namespace tessel {
extern const uint32_t kBuiltInShaderPackSize;
extern const unsigned char kBuiltInShaderPack[];
}  // namespace tessel

using namespace tessel::shadergen;
namespace shader = platform::shader;

namespace {

TEST(ShaderPackGenerator, ThePackMadeTwiceIsByteIdenticalAndIsTheOneTheLibraryCarries) {
    std::vector<uint8_t> first;
    std::vector<uint8_t> second;
    ASSERT_EQ(BuildShaderPack(&first), 0);
    ASSERT_EQ(BuildShaderPack(&second), 0);
    EXPECT_EQ(first, second);
    ASSERT_EQ(first.size(), tessel::kBuiltInShaderPackSize);
    EXPECT_EQ(std::memcmp(first.data(), tessel::kBuiltInShaderPack, first.size()), 0);
}

TEST(ShaderPackGenerator, TheSizeTableHoldsEachShadersBytesInTableOrder) {
    std::vector<uint8_t> data;
    ASSERT_EQ(BuildShaderData(&data), 0);
    const size_t table = (16384 + 6912) * 6 * 2;
    ASSERT_GT(data.size(), table);
    size_t running = table;
    std::vector<uint32_t> tokens;
    for (int slot = 0; slot < kVertexShaderCount + kPixelShaderCount; ++slot) {
        const uint32_t size = data[2 * slot] | (data[2 * slot + 1] << 8);
        const bool vertex = slot < kVertexShaderCount;
        const bool present = vertex ? BuildVertexShader(slot, &tokens)
                                    : BuildPixelShader(slot - kVertexShaderCount, &tokens);
        ASSERT_EQ(size, present ? tokens.size() * 4 : 0u) << slot;
        if (present) {
            ASSERT_EQ(std::memcmp(data.data() + running, tokens.data(), size), 0) << slot;
        }
        running += size;
    }
    EXPECT_EQ(running, data.size());
}

TEST(ShaderPackGenerator, EveryShaderItWritesCompilesOnTheDevice) {
    std::vector<uint32_t> tokens;
    int vertexCount = 0;
    for (int i = 0; i < kVertexShaderCount; ++i) {
        if (!BuildVertexShader(i, &tokens)) {
            continue;
        }
        ++vertexCount;
        shader::ShaderProgram program;
        shader::ShaderCompileResult r = shader::CompileShader(
            tokens.data(), tokens.size(), shader::ShaderKind::kVertex, &program);
        ASSERT_EQ(r.error, shader::ShaderError::kNone)
            << "vertex " << i << ": " << shader::ShaderErrorName(r.error) << " at " << r.tokenIndex;
    }
    int pixelCount = 0;
    for (int i = 0; i < kPixelShaderCount; ++i) {
        if (!BuildPixelShader(i, &tokens)) {
            continue;
        }
        ++pixelCount;
        shader::ShaderProgram program;
        shader::ShaderCompileResult r = shader::CompileShader(tokens.data(), tokens.size(),
                                                              shader::ShaderKind::kPixel, &program);
        ASSERT_EQ(r.error, shader::ShaderError::kNone)
            << "pixel " << i << ": " << shader::ShaderErrorName(r.error) << " at " << r.tokenIndex;
    }
    EXPECT_GT(vertexCount, 6000);
    EXPECT_GT(pixelCount, 200);
}

// The device runs the pack's pixel shaders without its machine when it knows their form
// (texel times diffuse, times a second texel, specular added, times the factor in c5): every
// one of them that samples s0 and s1 alone (not the normal map's or the toon ramps') must be
// of that form, or the shader path pays for interpreting.
TEST(ShaderPackGenerator, EveryPlainPixelShaderIsOfAFormTheDeviceRunsWithoutItsMachine) {
    std::vector<uint32_t> tokens;
    int forms[4] = {};
    for (int i = 0; i < kPixelShaderCount; ++i) {
        if (!BuildPixelShader(i, &tokens)) {
            continue;
        }
        shader::ShaderProgram program;
        ASSERT_EQ(shader::CompileShader(tokens.data(), tokens.size(), shader::ShaderKind::kPixel,
                                        &program)
                      .error,
                  shader::ShaderError::kNone);
        bool beyondTwo = false;  // the normal map (s2) and the toon ramps (s3, s4)
        for (int k = 2; k < shader::kMaxPixelSamplers; ++k)
            beyondTwo = beyondTwo || program.samplerTypes[k] != 0;
        if (beyondTwo) {
            continue;
        }
        const platform::raster_internal::ShaderBlockPlan::PackForm form =
            platform::raster_internal::MatchPackForm(program);
        ASSERT_TRUE(form.matched) << "pixel " << i;
        using Step = platform::raster_internal::ShaderBlockPlan::PackForm::Step;
        bool specular = false;
        for (int k = 0; k < form.stepCount; ++k)
            specular = specular || form.steps[k] == Step::kSpecular;
        ++forms[(form.second ? 2 : 0) + (specular ? 1 : 0)];
    }
    for (int f = 0; f < 4; ++f) {
        EXPECT_GT(forms[f], 0) << "form " << f;
    }
}

// Vertex index: 8 x (t2 + 4 x (t1 + 4 x (t0 + 4 x (fog + 8 x (lights + 6 x lighting))))) plus
// the mesh's terms (4 and 8 bones: + 8192 and + 16384).
int VertexIndex(int lighting, int types[3], int fog, int low) {
    const int any = lighting != 0 && (types[0] | types[1] | types[2]) != 0 ? 1 : 0;
    return 8 * (types[2] + 4 * (types[1] + 4 * (types[0] + 4 * (fog + 8 * (any + 6 * lighting))))) +
           low;
}

TEST(ShaderPackGenerator, IndicesTheDrawingFormsHaveShadersAndOthersNone) {
    std::vector<uint32_t> tokens;
    struct Case {
        int index;
        bool present;
    };
    int dirPoint[3] = {3, 1, 0};
    int spots[3] = {2, 2, 2};
    int none[3] = {0, 0, 0};
    const Case cases[] = {
        {32774, true},                                  // the test shader: lit, 4 bones, colours
        {VertexIndex(1, dirPoint, 0, 0), true},         // 29088
        {VertexIndex(1, spots, 3, 7) + 16384, true},    // 8 bones, linear fog
        {VertexIndex(0, none, 2, 5), true},             // unlit, exp2 fog
        {VertexIndex(1, none, 1, 0), true},             // lit without lights
        {8, false},                                     // a light type with lighting off
        {VertexIndex(1, none, 0, 0) + 4096, false},     // "lights on" with none
        {VertexIndex(1, dirPoint, 0, 0) + 2048, true},  // tangent frame, lit per pixel
        {VertexIndex(0, none, 1, 4) + 2048, true},      // tangent frame, unlit
        {VertexIndex(1, spots, 0, 1) + 2048 + 16384, true},
        {kOutlineVertexBase + 2048, false},    // outlines have no tangent frame
        {kOutlineVertexBase + 3 * 512, true},  // outline, linear fog
        {kOutlineVertexBase + 8192, true},     // outline of a 4-bone list
        {kOutlineVertexBase + 1, false},       // outlines have no colour bits
        {kOutlineVertexBase + 3 * 8192, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BuildVertexShader(c.index, &tokens), c.present) << c.index;
    }
    EXPECT_TRUE(BuildPixelShader(2454, &tokens));
    EXPECT_TRUE(BuildPixelShader(2328, &tokens));
    EXPECT_TRUE(BuildPixelShader(0, &tokens));
    EXPECT_FALSE(BuildPixelShader(8, &tokens));                // a light kind unlit
    EXPECT_TRUE(BuildPixelShader(2328 + 864, &tokens));        // normal map, lit
    EXPECT_TRUE(BuildPixelShader(2328 + 864 + 216, &tokens));  // and a second texture
    EXPECT_TRUE(BuildPixelShader(864 + 1, &tokens));           // unlit: the map does nothing
    EXPECT_FALSE(BuildPixelShader(2328 + 864 + 4, &tokens));   // diffuse from the vertices
    EXPECT_TRUE(BuildPixelShader(2328 + 4, &tokens));
    // Toon: lit fields only, kind 1 (with its specular ramp when specular is on) and kind 2;
    // toon selector 2 takes the same shaders.
    const Case toon[] = {
        {13824, false},                   // lighting off
        {13824 + 2328, true},             // kind 1, lit, lights
        {13824 + 1728, true},             // kind 1, lit without lights
        {13824 + 3456 + 2328 + 1, true},  // kind 1 with the specular ramp
        {13824 + 3456 + 2328, false},     // ... which needs specular on
        {13824 + 6912 + 2328, true},      // toon selector 2
        {13824 + 6912 + 3456 + 2328 + 1, true},
        {13824 + 2328 + 864, false},      // with a normal map
        {13824 + 1728 + 864, false},      // ... even without lights
        {27648 + 2328 + 216 + 1, true},   // kind 2, second texture, specular
        {27648 + 3456 + 2328, false},
    };
    for (const Case& c : toon) {
        EXPECT_EQ(BuildPixelShader(c.index, &tokens), c.present) << c.index;
    }
}

}  // namespace
