// Toon materials on the fixed-function path: the colours the processor's
// lighting leaves in a list's copy for both toon kinds under one directional
// light (worked out here from the light and material values), the renormal-
// ised normals under a scaled world, the colour normalisation, and the
// outline pass: its thickness, its vertices and when it is drawn at all; and
// kind 1 drawn pixel by pixel through its ramp.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "graphics/camera/camera.h"
#include "graphics/images/image_create.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "models/anim/model_animation.h"
#include "models/core/model_system.h"
#include "models/drawing/model_drawing.h"
#include "models/instances/model_instances.h"
#include "platform/d3d9_testing.h"
#include "tests/graphics/targets/target_test_support.h"
#include "tests/models/drawing/drawing_test_support.h"
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
  public:  // the shading check below works on the fixture
    void SetUp() override {
        ModelSystemTest::SetUp();
        ASSERT_EQ(tessel::SelectDrawTarget(tessel::kBackScreen), 0);
        // One light along +z, the only one on.
        tessel::LightRecord* record = OnlyDirectionalLight(0.0f, 0.0f, 1.0f);
        ASSERT_NE(record, nullptr);
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

int Modulate(int a, int b) {
    return (2 * a * b + 255) / 510;
}

// A toon kind 1 quad facing the light at the angle whose cosine is c draws
// every pixel in its normalised vertex colour times the ramp's texel at the
// largest lit channel (point sampled, clamped at the last texel). The ramp
// is the material's toon slot; rampColour gives a texel's channels.
template <typename RampColour>
void ExpectKindOneShading(ToonTest& test, float c, int32_t slot, RampColour rampColour) {
    SCOPED_TRACE(c);
    tessel::ModelInstance* record = test.Make(1, 1.0f);
    ASSERT_NE(record, nullptr);
    record->materials[0].toonTextures[0] = slot;
    const float corners[4][3] = {{16, 16, 0}, {48, 16, 0}, {16, 40, 0}, {48, 40, 0}};
    const float normal[3] = {0.0f, std::sqrt(1.0f - c * c), -c};
    tessel::ModelTriangleList& list = test.Last().base()->triangleLists[0];
    for (int i = 0; i < 4; ++i) {
        float* v = reinterpret_cast<float*>(list.vertices + 32 * i);
        std::memcpy(v, corners[i], 12);
        std::memcpy(v + 4, normal, 12);
    }
    Paint(RECT{0, 0, 640, 480}, 0x102030);
    tessel::DrawModelMesh(&record->meshes[0]);
    // The same float steps as the processor's lighting.
    const float intensity = normal[2] * -1.0f;
    float lit[3];
    float largest = 0.0f;
    for (int k = 0; k < 3; ++k) {
        lit[k] = intensity * kLightDiffuse[k];
        const float all = lit[k] + kLightAmbient[k] + kGlobalAmbient[k];
        largest = all > largest ? all : largest;
    }
    float factors[3];
    tessel::NormaliseColorToMax(lit[0], lit[1], lit[2], factors);
    int texel = static_cast<int>(largest * 256.0f);
    texel = texel > 255 ? 255 : texel;
    uint32_t expected = 0;
    for (int k = 0; k < 3; ++k) {
        const int vertex = static_cast<int>(kDiffuse[k] * 255.0f * factors[k]);
        expected |= static_cast<uint32_t>(Modulate(vertex, rampColour(texel, k))) << (16 - 8 * k);
    }
    int wrong = 0;
    for (int y = 440; y < 464; ++y) {
        for (int x = 16; x < 48; ++x) {
            const uint32_t pixel = TargetPixel(x, y);
            if (pixel != expected && wrong++ < 3) {
                ADD_FAILURE() << "pixel " << x << "," << y << " " << std::hex << pixel
                              << " expected " << expected << " (texel " << std::dec << texel << ")";
            }
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(TargetPixel(14, 450), 0x102030u);
}

// The largest lit channel is blue: c + 0.25 + 0.03125; each c puts it at the
// middle of a texel, the last one past the ramp's end.
constexpr float kRampCosines[] = {80.5f / 256 - 0.28125f, 150.5f / 256 - 0.28125f,
                                  230.5f / 256 - 0.28125f, 1.0f};

TEST_F(ToonTest, KindOneShadesWithTheRampTexelOfItsBrightness) {
    const int ramp = MakeRamp(DistinctRamp);
    ASSERT_NE(ramp, -1);
    tessel::g_models.rampTexture = ramp;
    tessel::UpdateViewProjectionCache();
    for (const float c : kRampCosines) {
        ExpectKindOneShading(*this, c, -1, DistinctRamp);
    }
}

// Slot -2 is the grey ramp, made on first use: texel x is grey level x.
TEST_F(ToonTest, SlotMinusTwoShadesWithTheGreyRampMadeOnFirstUse) {
    tessel::g_models.greyRampTexture = -1;
    tessel::UpdateViewProjectionCache();
    for (const float c : kRampCosines) {
        ExpectKindOneShading(*this, c, -2, [](int texel, int) { return texel; });
    }
    EXPECT_NE(tessel::g_models.greyRampTexture, -1);
}

}  // namespace
}  // namespace tessel_test
