// Toon materials on the fixed-function path: the colours the processor's
// lighting leaves in a list's copy for both toon kinds under one directional
// light (worked out here from the light and material values), the renormal-
// ised normals under a scaled world, the colour normalisation, and the
// outline pass: its thickness, its vertices and when it is drawn at all.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "graphics/camera/camera.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "models/anim/model_animation.h"
#include "models/drawing/model_drawing.h"
#include "models/instances/model_instances.h"
#include "platform/d3d9_testing.h"
#include "tests/graphics/targets/target_test_support.h"
#include "tests/models/model_base_builder.h"
#include "tests/models/model_test_support.h"

namespace tessel_test {
namespace {

TEST(NormaliseColorToMax, EachChannelOverTheLargest) {
    struct Case {
        float rgb[3];
        float factors[3];
    };
    const Case cases[] = {
        {{0.8f, 0.4f, 0.2f}, {1.0f, 0.5f, 0.25f}},
        {{0.1f, 0.9f, 0.3f}, {0.1f / 0.9f, 1.0f, 0.3f / 0.9f}},
        {{0.25f, 0.75f, 1.5f}, {0.25f / 1.5f, 0.5f, 1.0f}},
        {{0.6f, 0.6f, 0.2f}, {1.0f, 1.0f, 0.2f / 0.6f}},  // two at the top
        {{0.5f, 0.5f, 0.5f}, {1.0f, 1.0f, 1.0f}},         // grey
        {{0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 1.0f}},         // black
        {{3e-6f, 0.0f, 1e-6f}, {1.0f, 1.0f, 1.0f}},       // below 1e-5 in all
        {{0.5f, 0.499995f, 0.5f}, {1.0f, 1.0f, 1.0f}},    // spread below 1e-5
    };
    for (const Case& c : cases) {
        float out[3] = {-1.0f, -1.0f, -1.0f};
        tessel::NormaliseColorToMax(c.rgb[0], c.rgb[1], c.rgb[2], out);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(out[k], c.factors[k], 2e-6f)
                << c.rgb[0] << " " << c.rgb[1] << " " << c.rgb[2] << " channel " << k;
        }
    }
}

constexpr float kLightDiffuse[3] = {0.5f, 0.75f, 1.0f};
constexpr float kLightAmbient[3] = {0.125f, 0.0625f, 0.25f};
constexpr float kGlobalAmbient[3] = {0.0625f, 0.125f, 0.03125f};
constexpr float kDiffuse[4] = {0.6f, 0.3f, 0.9f, 0.8f};
constexpr float kAmbient[4] = {0.1f, 0.2f, 0.05f, 0.0f};

class ToonTest : public ModelSystemTest {
  protected:
    void SetUp() override {
        ModelSystemTest::SetUp();
        ASSERT_EQ(tessel::SelectDrawTarget(tessel::kBackScreen), 0);
        // One light along +z, the only one on.
        const int light = tessel::CreateDirectionalLight(0.0f, 0.0f, 1.0f);
        ASSERT_NE(light, -1);
        for (int32_t i = 0; i < tessel::g_lights.end; ++i) {
            if (tessel::g_lights.slots[i] != nullptr) {
                tessel::g_lights.slots[i]->enabled = 0;
            }
        }
        tessel::LightRecord* record = tessel::GetLightRecord(light);
        ASSERT_NE(record, nullptr);
        record->enabled = 1;
        record->light.Diffuse =
            D3DCOLORVALUE{kLightDiffuse[0], kLightDiffuse[1], kLightDiffuse[2], 1};
        record->light.Ambient =
            D3DCOLORVALUE{kLightAmbient[0], kLightAmbient[1], kLightAmbient[2], 0};
        record->light.Specular = D3DCOLORVALUE{0, 0, 0, 0};
        std::memcpy(tessel::g_stateCache.ambient, kGlobalAmbient, sizeof kGlobalAmbient);
    }

    // A one-quad model of the given toon kind; frame 0 scaled by `scale`.
    tessel::ModelInstance* Make(int kind, float scale) {
        bases_.push_back(std::make_unique<TestBase>());
        TestBase& base = *bases_.back();
        base.frames[0].scale = {scale, scale, scale};
        base.lists = {TestList{0}};
        if (base.Store() == -1) {
            return nullptr;
        }
        base.base()->materials[0].kind = kind;
        const int handle = tessel::NewModelHandle();
        if (tessel::CreateModelFromBase(handle, base.handle()) != 0) {
            return nullptr;
        }
        tessel::ModelInstance* record = tessel::GetModelInstance(handle);
        tessel::UpdateModelMatrices(record);
        tessel::ModelInstanceMaterial& material = record->materials[0];
        std::memcpy(material.diffuse, kDiffuse, sizeof kDiffuse);
        std::memcpy(material.ambient, kAmbient, sizeof kAmbient);
        return record;
    }

    TestBase& Last() const { return *bases_.back(); }

    const uint8_t* CopyOf(int i) const {
        const tessel::ModelTriangleList& list = Last().base()->triangleLists[0];
        return list.copyVertices + static_cast<size_t>(i) * list.copyStride;
    }

    // Every base outlives the test: the models made on them stay until the
    // library ends.
    std::vector<std::unique_ptr<TestBase>> bases_;
};

int Channel(uint32_t argb, int c) {
    return static_cast<int>(argb >> (16 - 8 * c) & 0xFF);
}

// The diffuse intensity of vertex i under the light: the normal against the
// direction to the light (0, 0, -1), the normal made unit when the world
// scales it.
double Intensity(int i, bool unit) {
    const tessel::Vec3 n = TestNormal(0, i);
    const double length =
        unit ? std::sqrt(double{n.x} * n.x + double{n.y} * n.y + double{n.z} * n.z) : 1.0;
    return -n.z / length;
}

struct KindCase {
    int kind;
    float scale;
};

TEST_F(ToonTest, KindTwoColoursAreTheLitMaterialPlusAmbient) {
    for (const KindCase& c : {KindCase{2, 1.0f}, KindCase{2, 2.0f}}) {
        SCOPED_TRACE(c.scale);
        tessel::ModelInstance* record = Make(c.kind, c.scale);
        ASSERT_NE(record, nullptr);
        tessel::DrawModelMesh(&record->meshes[0]);
        for (int i = 0; i < 4; ++i) {
            const double intensity = Intensity(i, c.scale != 1.0f);
            uint32_t colour;
            std::memcpy(&colour, CopyOf(i) + 24, 4);
            for (int k = 0; k < 3; ++k) {
                const double lit =
                    intensity * kLightDiffuse[k] + kLightAmbient[k] + kGlobalAmbient[k];
                double want = (kDiffuse[k] * lit + kAmbient[k]) * 255.0;
                want = want > 254.9999 ? 254.9999 : want;
                EXPECT_NEAR(Channel(colour, k), std::floor(want), 1)
                    << "vertex " << i << " channel " << k;
            }
            EXPECT_EQ(colour >> 24, static_cast<uint32_t>(kDiffuse[3] * 255.0f));
            float set[2];
            std::memcpy(set, CopyOf(i) + 48, 8);
            EXPECT_NEAR(set[0], intensity, 1e-5) << "vertex " << i;
            EXPECT_NEAR(set[1], intensity, 1e-5) << "vertex " << i;
        }
        // Lit on the processor: the device's lighting is off for the draw.
        EXPECT_EQ(tessel::g_stateCache.specularFromVertex, 1);
    }
}

TEST_F(ToonTest, KindOneColoursAreNormalisedAndTheLightGoesToTheSpareSets) {
    tessel::ModelInstance* record = Make(1, 1.0f);
    ASSERT_NE(record, nullptr);
    tessel::DrawModelMesh(&record->meshes[0]);
    // The light's diffuse (0.5, 0.75, 1) over its largest channel.
    const double factors[3] = {0.5, 0.75, 1.0};
    for (int i = 0; i < 4; ++i) {
        uint32_t colour;
        std::memcpy(&colour, CopyOf(i) + 24, 4);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(Channel(colour, k), std::floor(kDiffuse[k] * 255.0 * factors[k]), 1)
                << "vertex " << i << " channel " << k;
        }
        const double intensity = Intensity(i, false);
        double largest = 0.0;
        for (int k = 0; k < 3; ++k) {
            const double lit = intensity * kLightDiffuse[k] + kLightAmbient[k] + kGlobalAmbient[k];
            largest = lit > largest ? lit : largest;
        }
        float sets[2][2];
        std::memcpy(sets[0], CopyOf(i) + 48, 8);
        std::memcpy(sets[1], CopyOf(i) + 64, 8);
        EXPECT_NEAR(sets[0][0], largest, 1e-5) << "vertex " << i;
        EXPECT_FLOAT_EQ(sets[1][0], 0.0f) << "no specular light";
    }
}

// The outline: drawn only when a base width exceeds 1e-6; its thickness the
// model's width, widened to the least pixel width at the frame's origin (the
// target's camera shows one unit as one pixel).
TEST_F(ToonTest, OutlinesAreDrawnAlongTheNormalsAtTheirThickness) {
    struct Case {
        float baseWidth;
        float width;
        float leastPixels;
        float thickness;  // 0: no outline
    };
    const Case cases[] = {
        {0.5f, 3.0f, 0.0f, 3.0f},
        {0.5f, 0.5f, 0.0f, 1.125f},  // narrower than the default 1.125 pixels
        {0.5f, 0.5f, 2.5f, 2.5f},
        {1e-6f, 3.0f, 0.0f, 0.0f},
    };
    tessel::UpdateViewProjectionCache();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        tessel::ModelInstance* record = Make(1, 1.0f);
        ASSERT_NE(record, nullptr);
        std::memcpy(&Last().base()->materials[0].words[1], &c.baseWidth, 4);
        tessel::ModelInstanceMaterial& material = record->materials[0];
        material.toonWords[0] = c.width;
        material.toonWords[1] = c.leastPixels;
        const float outline[4] = {0.25f, 0.5f, 1.0f, 1.0f};
        std::memcpy(material.outlineColour, outline, sizeof outline);
        const int before = platform::D3D9CallCount("DrawIndexedPrimitiveUP");
        tessel::DrawModelMesh(&record->meshes[0]);
        const int draws = platform::D3D9CallCount("DrawIndexedPrimitiveUP") - before;
        const tessel::ModelTriangleList& list = Last().base()->triangleLists[0];
        if (c.thickness == 0.0f) {
            EXPECT_EQ(draws, 1);
            EXPECT_EQ(list.outlineVertices, nullptr);
            continue;
        }
        EXPECT_EQ(draws, 2);
        EXPECT_NEAR(tessel::OutlineThickness(&record->meshes[0]), c.thickness, 1e-4f);
        ASSERT_NE(list.outlineVertices, nullptr);
        for (int i = 0; i < 4; ++i) {
            const auto* copy = reinterpret_cast<const float*>(CopyOf(i));
            const auto* out = reinterpret_cast<const float*>(list.outlineVertices + 16 * i);
            for (int r = 0; r < 3; ++r) {
                EXPECT_NEAR(out[r], copy[r] + copy[3 + r] * c.thickness, 1e-4f) << i << " " << r;
            }
            uint32_t colour;
            std::memcpy(&colour, out + 3, 4);
            EXPECT_EQ(colour, 0xFF3F7FFFu);
        }
    }
}

}  // namespace
}  // namespace tessel_test
