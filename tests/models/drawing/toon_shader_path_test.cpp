// Toon materials on the shader path: kinds 1 and 2 on rigid, 4-bone and 8-bone lists drawn
// through the built-in shaders draw what the processor's toon evaluation draws on the fixed-
// function path, within one step per channel, under a coloured directional light and a point
// light; kind 1 with its specular ramp reads the diffuse ramp from stage 3 at the largest lit
// channel and the specular ramp from stage 4 at the largest specular channel, with pixel
// registers 6 to 8 set; the outline pass goes through the outline vertex shader for rigid and
// skinned lists and looks as the fixed path's; toon selector 2 (a ramp image of the material's
// own) takes the same shaders; a toon mesh whose shaders are not made (the 3D lighting off) or
// whose ramp has no image is drawn on the fixed-function path.
#include <cstring>

#include "models/core/model_system.h"
#include "tests/models/drawing/drawing_test_support.h"
#include "tests/models/drawing/mesh_shader_path_fixture.h"

namespace tessel_test {
namespace {

class ToonShaderPathTest : public MeshShaderPathTest {
  protected:
    void SetUp() override {
        MeshShaderPathTest::SetUp();
        for (int32_t i = 0; i < tessel::g_lights.end; ++i) {
            if (tessel::g_lights.slots[i] != nullptr) {
                tessel::g_lights.slots[i]->enabled = 0;
                tessel::g_lights.slots[i]->changed = 1;
            }
        }
        const float ambient[4] = {0.0625f, 0.125f, 0.03125f, 1.0f};
        std::memcpy(tessel::g_stateCache.ambient, ambient, sizeof ambient);
    }

    // A light of the given colours; the record for further settings.
    tessel::LightRecord* AddLight(D3DCOLORVALUE diffuse, D3DCOLORVALUE ambient,
                                  D3DCOLORVALUE specular) {
        const int handle = tessel::CreateDirectionalLight(0.25f, -0.375f, 1.0f);
        tessel::LightRecord* record = tessel::GetLightRecord(handle);
        EXPECT_NE(record, nullptr);
        record->light.Diffuse = diffuse;
        record->light.Ambient = ambient;
        record->light.Specular = specular;
        tessel::g_lights.changed = 1;
        return record;
    }

    void TwoLights() {
        AddLight({0.5f, 0.75f, 1.0f, 1}, {0.125f, 0.0625f, 0.25f, 0}, {0, 0, 0, 0});
        tessel::LightRecord* point =
            AddLight({0.9f, 0.3f, 0.2f, 1}, {0.03125f, 0.09375f, 0.0f, 0}, {0, 0, 0, 0});
        point->light.Type = D3DLIGHT_POINT;
        point->light.Position = {260.0f, 150.0f, -120.0f};
        point->light.Range = 10000.0f;
        point->light.Attenuation0 = 0.75f;
        point->light.Attenuation1 = 0.001f;
    }

    // Every mesh of the model takes the material's colours and the toon kind (kind 0 for mesh
    // `ordinary`), with no outline.
    void MakeToon(int kind, int32_t ordinary = -1) {
        for (int32_t m = 0; m < record_->base->meshCount; ++m) {
            tessel::ModelInstanceMaterial& material = record_->materials[m];
            material.base->kind = static_cast<uint8_t>(m == ordinary ? 0 : kind);
            const float diffuse[4] = {0.6f, 0.3f, 0.9f, 1.0f};
            const float ambient[4] = {0.1f, 0.2f, 0.05f, 0.0f};
            std::memcpy(material.diffuse, diffuse, sizeof diffuse);
            std::memcpy(material.ambient, ambient, sizeof ambient);
            std::memset(material.specular, 0, sizeof material.specular);
            material.toonTextures[0] = -2;  // the grey ramp: a texel off is one step off
            material.toonTextures[1] = -2;
            material.toonSelectors[0] = 0;
            material.toonSelectors[1] = 0;
        }
    }

    void SetOutline(float width) {
        for (int32_t m = 0; m < record_->base->meshCount; ++m) {
            tessel::ModelInstanceMaterial& material = record_->materials[m];
            std::memcpy(&material.base->words[1], &width, 4);
            material.toonWords[0] = width;
            material.toonWords[1] = 0.0f;
            const float colour[4] = {0.25f, 0.5f, 1.0f, 1.0f};
            std::memcpy(material.outlineColour, colour, sizeof colour);
        }
    }

    struct Calls {
        int indexed;
        int fromMemory;
    };
    static Calls Count() {
        return {platform::D3D9CallCount("DrawIndexedPrimitive"),
                platform::D3D9CallCount("DrawIndexedPrimitiveUP")};
    }

    // Draws through the shaders (expecting that many draws from the device buffers and that many
    // from memory) and on the fixed-function path, and compares.
    void ExpectToonBothWays(int shaderDraws, int memoryDraws) {
        const Calls before = Count();
        const std::vector<uint32_t> shaded = Draw(true);
        const Calls after = Count();
        EXPECT_EQ(after.indexed - before.indexed, shaderDraws);
        EXPECT_EQ(after.fromMemory - before.fromMemory, memoryDraws);
        const std::vector<uint32_t> fixed = Draw(false);
        const DrawingComparison c = CompareDrawings(shaded, fixed, kBackground);
        EXPECT_GT(c.drawn, 500);
        EXPECT_EQ(c.off, 0) << "worst " << c.worst << " of " << c.drawn;
    }
};

TEST_F(ToonShaderPathTest, BothToonKindsDrawWhatTheProcessorsToonEvaluationDraws) {
    TwoLights();
    base_.lists = {{0, 0, 10, 8, 1}, {0, 1, 10, 8, 1}, {0, 2, 10, 8, 1}};
    Create();
    for (const int kind : {1, 2}) {
        SCOPED_TRACE(kind);
        MakeToon(kind);
        ExpectToonBothWays(3, 0);
    }
    MakeToon(1);
    for (int32_t m = 0; m < record_->base->meshCount; ++m) {
        record_->materials[m].toonSelectors[0] = 2;
    }
    ExpectToonBothWays(3, 0);
}

// An ordinary mesh drawn after a toon mesh runs none of the toon blocks: it draws as it does
// first thing.
TEST_F(ToonShaderPathTest, AnOrdinaryMeshAfterAToonMeshDrawsAsBefore) {
    TwoLights();
    base_.lists = {{0, 0, 10, 8, 1}, {0, 1, 10, 8, 1}};
    Create();
    MakeToon(1, 0);
    const std::vector<uint32_t> first = Draw(true);
    const std::vector<uint32_t> again = Draw(true);
    int differing = 0;
    for (size_t i = 0; i < first.size(); ++i) {
        differing += first[i] != again[i];
    }
    EXPECT_EQ(differing, 0);
}

TEST_F(ToonShaderPathTest, AToonMeshWhoseShadersAreNotMadeTakesTheFixedPath) {
    TwoLights();
    base_.lists = {{0, 0, 10, 8, 1}, {0, 1, 10, 8, 1}};
    Create();
    // A diffuse ramp without its image, and the specular ramp's with the specular ramp in use.
    MakeToon(1);
    record_->materials[0].toonTextures[0] = 999;
    record_->materials[1].toonTextures[0] = 999;
    ExpectToonBothWays(0, 2);
    MakeToon(1);
    for (int32_t m = 0; m < 2; ++m) {
        record_->materials[m].toonTextures[1] = 999;
        record_->materials[m].toonSelectors[1] = 1;
        record_->materials[m].specular[0] = 0.5f;
    }
    ExpectToonBothWays(0, 2);
    MakeToon(2);
    tessel::EnableLighting3D(0);
    ExpectToonBothWays(0, 2);
}

// Every triangle of every list is an outline triangle, turned (the outline pass culls the
// mesh's own winding).
void OutlineEveryTriangle(TestBase& base, std::vector<std::vector<uint16_t>>* storage) {
    storage->resize(static_cast<size_t>(base.base()->triangleListCount));
    for (int32_t l = 0; l < base.base()->triangleListCount; ++l) {
        tessel::ModelTriangleList& list = base.base()->triangleLists[l];
        std::vector<uint16_t>& turned = (*storage)[static_cast<size_t>(l)];
        for (int t = 0; t + 2 < list.indexCount; t += 3) {
            turned.insert(turned.end(),
                          {list.indices[t + 2], list.indices[t + 1], list.indices[t]});
        }
        list.filteredIndices = turned.data();
        list.filteredIndexCount = static_cast<uint16_t>(turned.size());
    }
}

TEST_F(ToonShaderPathTest, TheOutlinePassGoesThroughTheOutlineVertexShader) {
    TwoLights();
    base_.lists = {{0, 0, 10, 8, 1}, {0, 1, 10, 8, 1}, {0, 2, 10, 8, 1}};
    base_.frames[0].translation.x = 10.0f;  // the rigid list wholly on the target
    std::vector<std::vector<uint16_t>> outlines;
    Create([&](TestBase& base) { OutlineEveryTriangle(base, &outlines); });
    MakeToon(1);
    SetOutline(0.125f);
    ExpectToonBothWays(6, 0);
    // The shells show in the outline colour (0.25, 0.5, 1).
    int outlined = 0;
    for (const uint32_t p : Draw(true)) {
        outlined += std::abs(static_cast<int>(p >> 16) - 64) <= 1 &&
                    std::abs(static_cast<int>(p >> 8 & 255) - 128) <= 1 && (p & 255) == 255;
    }
    EXPECT_GT(outlined, 3000);
}

// The specular ramp's columns differ from the diffuse ramp's (DistinctRamp) in every channel.
int SpecularRamp(int t, int c) {
    return c == 0 ? (t * 91 + 40) & 0xFF : (c == 1 ? t / 2 : 255 - t / 3);
}

// Each factor of the colour over its largest channel.
void OverLargest(const float* v, float* out) {
    const float m = std::max(v[0], std::max(v[1], v[2]));
    for (int c = 0; c < 3; ++c) {
        out[c] = v[c] / m;
    }
}

TEST_F(ToonShaderPathTest, KindOneReadsItsDistinctRampOnStageThreeAndItsSpecularRampOnStageFour) {
    // A flat quad facing the light at the cosine c and a highlight of power 0, so that every
    // vertex carries the same toon values; c puts the largest lit channel (blue, c + 0.25 +
    // 0.03125) at the middle of a texel, as the largest specular channel (green) is.
    const float cosine = 112.5f / 256;
    const float normal[3] = {0.0f, std::sqrt(1.0f - cosine * cosine), -cosine};
    const D3DCOLORVALUE lightDiffuse = {0.5f, 0.75f, 1.0f, 1};
    const D3DCOLORVALUE lightAmbient = {0.125f, 0.0625f, 0.25f, 0};
    const D3DCOLORVALUE lightSpecular = {0.3f, 100.5f / 256, 0.15f, 0};
    tessel::LightRecord* light = AddLight(lightDiffuse, lightAmbient, lightSpecular);
    light->light.Direction = {0.0f, 0.0f, 1.0f};
    base_.lists = {{0, 0, 4, 2, 1}};
    Create([&](TestBase& base) {
        tessel::ModelTriangleList& list = base.base()->triangleLists[0];
        for (int i = 0; i < list.vertexCount; ++i) {
            list.normals[i] = {normal[0], normal[1], normal[2]};
            std::memcpy(reinterpret_cast<float*>(list.vertices + 32 * i) + 4, normal, 12);
        }
    });
    MakeToon(1);
    tessel::ModelInstanceMaterial& material = record_->materials[0];
    material.toonTextures[0] = -1;
    material.toonTextures[1] = -2;
    material.toonSelectors[1] = 1;
    const float specular[4] = {0.5f, 0.25f, 1.0f, 1.0f};
    std::memcpy(material.specular, specular, sizeof specular);
    material.power = 0.0f;
    const float outline[4] = {0.25f, 0.5f, 0.75f, 1.0f};
    std::memcpy(material.outlineColour, outline, sizeof outline);
    material.toonWords[0] = 0.375f;
    tessel::g_models.rampTexture = MakeRamp(DistinctRamp);
    tessel::g_models.greyRampTexture = MakeRamp(SpecularRamp);
    ASSERT_NE(tessel::g_models.rampTexture, -1);
    ASSERT_NE(tessel::g_models.greyRampTexture, -1);

    const std::vector<uint32_t> pixels = Draw(true);

    // The toon values as the processor works them out.
    const float* ambient = tessel::g_stateCache.ambient;
    const float lit[3] = {cosine * lightDiffuse.r, cosine * lightDiffuse.g,
                          cosine * lightDiffuse.b};
    const float sum[3] = {lit[0] + lightAmbient.r + ambient[0],
                          lit[1] + lightAmbient.g + ambient[1],
                          lit[2] + lightAmbient.b + ambient[2]};
    const float shine[3] = {lightSpecular.r, lightSpecular.g, lightSpecular.b};
    const float m = std::max(sum[0], std::max(sum[1], sum[2]));
    const float s = std::max(shine[0], std::max(shine[1], shine[2]));
    const int diffuseTexel = std::min(255, static_cast<int>(m * 256.0f));
    const int specularTexel = std::min(255, static_cast<int>(s * 256.0f));
    float fd[3];
    float fs[3];
    OverLargest(lit, fd);
    OverLargest(shine, fs);
    int expected[3];
    for (int c = 0; c < 3; ++c) {
        const float value = material.diffuse[c] * fd[c] * DistinctRamp(diffuseTexel, c) +
                            specular[c] * fs[c] * SpecularRamp(specularTexel, c);
        expected[c] = std::min(255, static_cast<int>(value + 0.5f));
    }
    int checked = 0;
    int wrong = 0;
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (pixels[i] == kBackground) {
            continue;
        }
        ++checked;
        for (int c = 0; c < 3; ++c) {
            const int got = static_cast<int>(pixels[i] >> (16 - 8 * c) & 255);
            if (std::abs(got - expected[c]) > 1 && wrong++ < 3) {
                ADD_FAILURE() << "pixel " << i % 640 << "," << i / 640 << " channel " << c << ": "
                              << got << ", expected " << expected[c];
            }
        }
    }
    EXPECT_GT(checked, 500);
    EXPECT_EQ(wrong, 0) << "diffuse texel " << diffuseTexel << ", specular texel " << specularTexel;
    // Pixel registers 6 to 8: the outline colour, 1 / the outline width, -1.
    const float(*registers)[4] = tessel::g_stateCache.pixelConstants;
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(registers[6][c], outline[c]);
        EXPECT_EQ(registers[7][c], 1.0f / 0.375f);
        EXPECT_EQ(registers[8][c], -1.0f);
    }
}

}  // namespace
}  // namespace tessel_test
