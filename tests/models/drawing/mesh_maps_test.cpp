// A material's second texture and normal map on both drawing paths, on one lit quad:
// - the second texture multiplies the colour alone (not the alpha), read at the first
//   coordinate set: a white texture with a second texture T draws what T alone draws as the
//   diffuse texture, bit for bit on the fixed path and within one step through the shaders;
// - the normal map lights per pixel through the shaders, each pixel worked out here from its
//   texel, the light and the tangent frame; the fixed path holds it on stage 2 and lights per
//   vertex, as without it;
// - a toon material without a normal map holds the white texture on stage 2.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "graphics/camera/camera.h"
#include "graphics/device/shader_pack.h"
#include "graphics/images/image_create.h"
#include "graphics/images/image_records.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "images/base_image.h"
#include "models/anim/model_animation.h"
#include "models/buffers/model_buffers.h"
#include "models/drawing/model_drawing.h"
#include "models/instances/model_instances.h"
#include "models/util/mesh_utilities.h"
#include "platform/d3d9_testing.h"
#include "tests/models/drawing/drawing_test_support.h"
#include "tests/models/drawing/mesh_shader_path_fixture.h"

namespace tessel_test {
namespace {

constexpr float kLightDirection[3] = {0.3f, -0.2f, 1.0f};
// Red past 1, so that the lit colour saturates where a normal faces the light.
constexpr float kLightDiffuse[3] = {1.3f, 0.7f, 0.6f};
constexpr float kLightAmbient[3] = {0.1f, 0.125f, 0.075f};
constexpr uint32_t kGlobalAmbientArgb = 0xFF1A0D26;
constexpr float kGlobalAmbient[3] = {0x1A / 255.0f, 0x0D / 255.0f, 0x26 / 255.0f};
constexpr float kDiffuse[4] = {0.9f, 0.8f, 0.7f, 0.75f};
constexpr float kAmbient[4] = {0.2f, 0.3f, 0.4f, 1.0f};

// Texture slots of the quad's model.
enum Slot { kWhite, kGrey, kPattern, kSeeThroughPattern, kNormalMap, kSlots };
constexpr uint32_t kGreyLevel = 0x90;

// The pattern's texel (x, y) of 8 x 8; the see-through copy has the same colours.
uint32_t PatternTexel(int x, int y, uint32_t alpha) {
    return alpha << 24 | static_cast<uint32_t>(250 - 27 * x) << 16 |
           static_cast<uint32_t>(90 + 20 * y) << 8 | static_cast<uint32_t>(60 + 29 * ((x + y) % 4));
}

// The normal map's four normals, one per quarter of the quad; the last is stored short, as
// a filtered map's may be, and lights as its direction does.
constexpr float kShortening[4] = {1.0f, 1.0f, 1.0f, 0.55f};
constexpr float kNormals[4][3] = {
    {-0.5f, 0.5f, 0.71f}, {0.5f, -0.5f, 0.71f}, {0.3f, 0.0f, 0.95f}, {-0.2f, 0.3f, 0.93f}};

uint32_t EncodedNormal(int k) {
    const float* n = kNormals[k];
    const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]) / kShortening[k];
    uint32_t texel = 0xFF000000u;
    for (int c = 0; c < 3; ++c) {
        const auto v = static_cast<uint32_t>(std::lround((n[c] / length + 1.0) * 127.5));
        texel |= v << (16 - 8 * c);
    }
    return texel;
}

using V3 = std::array<double, 3>;

double Dot(const V3& a, const V3& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
V3 Unit(const V3& v) {
    const double l = std::sqrt(Dot(v, v));
    return {v[0] / l, v[1] / l, v[2] / l};
}

int Channel(uint32_t rgb, int c) {
    return static_cast<int>(rgb >> (16 - 8 * c) & 0xFF);
}

class MeshMapsTest : public ShaderModelTest {
  protected:
    void SetUp() override {
        ShaderModelTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        tessel::LightRecord* record =
            OnlyDirectionalLight(kLightDirection[0], kLightDirection[1], kLightDirection[2]);
        ASSERT_NE(record, nullptr);
        record->light.Diffuse = {kLightDiffuse[0], kLightDiffuse[1], kLightDiffuse[2], 1.0f};
        record->light.Ambient = {kLightAmbient[0], kLightAmbient[1], kLightAmbient[2], 0.0f};
        record->light.Specular = {0.0f, 0.0f, 0.0f, 0.0f};
        tessel::MarkLightsForResend();
        tessel::SetAmbientColorState(kGlobalAmbientArgb);
        // 8 x 8 each: the smallest texture, so that a picture fills its texture.
        images_[kWhite] = MakeImage(8, 8, [](int, int) { return 0xFFFFFFFFu; });
        images_[kGrey] =
            MakeImage(8, 8, [](int, int) { return 0xFF000000u | kGreyLevel * 0x010101u; });
        images_[kPattern] = MakeImage(8, 8, [](int x, int y) { return PatternTexel(x, y, 255); });
        images_[kSeeThroughPattern] =
            MakeImage(8, 8, [](int x, int y) { return PatternTexel(x, y, 0x40); });
        images_[kNormalMap] =
            MakeImage(8, 8, [](int x, int y) { return EncodedNormal(x / 4 + 2 * (y / 4)); });
    }
    template <typename F>
    int MakeImage(int width, int height, F colour) {
        tessel::BASEIMAGE picture = MakeArgb(width, height, colour);
        const int handle = tessel::CreateImageFromBaseImage(&picture);
        tessel::ReleaseImageBuffer(&picture);
        EXPECT_NE(handle, -1);
        return handle;
    }

    // The quad (0, 0) to (1, 1) facing the camera, its coordinates (u, v) = (x, y) in the
    // first set and another set beside them; placed large and turned a little on screen.
    // vertexType 1 and 2: skinned by two bones, the frame's placement and that placement tilted,
    // weighing 0.75 and 0.25.
    void Create(int diffuseSlot, int secondSlot, int normalSlot, int kind = 0, int blendMode = 0,
                int vertexType = 0) {
        // Every base and its textures outlive the test: the models on them stay until the
        // library ends.
        bases_.push_back(std::make_unique<TestBase>());
        TestBase& testBase = *bases_.back();
        testBase.frames = {
            {-1, {210.0f, 140.0f, 0.0f}, {180.0f, 180.0f, 180.0f}, {0.0f, 0.0f, 0.2f}}};
        testBase.lists = {{0, vertexType, 4, 2, 2, normalSlot != -1}};
        if (vertexType != 0) {
            testBase.frames.push_back({0});
            testBase.skinBones = {{0, 0, {}, 0}, {0, 1, {}, 0}};
        }
        ASSERT_NE(testBase.Store(), -1);
        tessel::ModelBase* base = testBase.base();
        textures_.push_back(std::make_unique<tessel::ModelTexture[]>(kSlots));
        tessel::ModelTexture* textures = textures_.back().get();
        for (int i = 0; i < kSlots; ++i) {
            textures[i] = tessel::ModelTexture{};
            textures[i].imageHandle = images_[i];
        }
        base->textures = textures;
        base->textureCount = kSlots;
        tessel::ModelMaterial& material = base->materials[0];
        material.kind = kind;
        material.words[0] = blendMode;
        material.diffuseLayerCount = secondSlot != -1 ? 2 : 1;
        material.diffuseLayers[0].texture = diffuseSlot;
        material.diffuseLayers[1].texture = secondSlot;
        material.normalLayers[0].texture = normalSlot;
        LayQuad(&base->triangleLists[0]);
        ASSERT_EQ(tessel::BuildModelBaseBuffers(testBase.handle(), 1), 0);
        const int handle = tessel::NewModelHandle();
        ASSERT_EQ(tessel::CreateModelFromBase(handle, testBase.handle()), 0);
        record_ = tessel::GetModelInstance(handle);
        tessel::UpdateModelMatrices(record_);
        if (vertexType != 0) {
            record_->boneMatrices[0] = record_->frames[0].world;
            record_->boneMatrices[1] = Tilted(record_->frames[0].world, 0.5f);
        }
        tessel::ModelInstanceMaterial& m = record_->materials[0];
        std::memcpy(m.diffuse, kDiffuse, sizeof kDiffuse);
        std::memcpy(m.ambient, kAmbient, sizeof kAmbient);
        std::memset(m.specular, 0, sizeof m.specular);
        std::memset(m.emissive, 0, sizeof m.emissive);
    }

    static void LayQuad(tessel::ModelTriangleList* list) {
        tessel::ModelMesh* mesh = list->mesh;
        for (int i = 0; i < 4; ++i) {
            const float x = static_cast<float>(i % 2), y = static_cast<float>(i / 2);
            list->positions[i] = {x, y, 0.0f};
            list->normals[i] = {0.0f, 0.0f, -1.0f};
            uint8_t* vertex = mesh->vertices + static_cast<size_t>(mesh->vertexStride) * i;
            const float uv[2][2] = {{x, y}, {0.9f - 0.8f * y, 0.1f + 0.7f * x}};
            std::memcpy(vertex + 20, uv, 8 * mesh->texCoordSetCount);
            tessel::ModelMeshVertex head;
            std::memcpy(&head, vertex, sizeof head);
            const tessel::ModelFrame* frame = mesh->frame;
            const float position[3] = {x, y, 0.0f};
            std::memcpy(
                frame->positions + static_cast<size_t>(head.positionIndex) * frame->positionStride,
                position, sizeof position);
            tessel::ModelNormal& normal = frame->normals[head.normalIndex];
            normal.normal = {0.0f, 0.0f, -1.0f};
            normal.tangent = {1.0f, 0.0f, 0.0f};
            normal.binormal = {0.0f, 1.0f, 0.0f};
        }
        ASSERT_EQ(tessel::GatherMeshVertices(list), 0);
    }

    // `throughShaders`: whether the list is drawn through the shaders when the path is on.
    std::vector<uint32_t> Draw(bool shaders, bool throughShaders = true) {
        tessel::ShaderPathOn = shaders ? 1 : 0;
        // The constants set while the path was off are in the shadows only.
        tessel::g_stateCache.wholeUpload = shaders ? 1 : 0;
        Paint(RECT{0, 0, 640, 480}, kBackground);
        tessel::g_graphics.device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        const int indexed = platform::D3D9CallCount("DrawIndexedPrimitive");
        tessel::BeginModelDrawState(record_);
        tessel::DrawModelMesh(&record_->meshes[0]);
        tessel::FlushVertexBatchPublic();
        EXPECT_EQ(platform::D3D9CallCount("DrawIndexedPrimitive") - indexed,
                  shaders && throughShaders ? 1 : 0)
            << "the shader path did not draw the list";
        return ReadTargetPixels();
    }

    void ExpectLitByTheNormalMap(int vertexType);

    IDirect3DBaseTexture9* StageTexture(int stage) const {
        IDirect3DBaseTexture9* texture = nullptr;
        tessel::g_graphics.device->GetTexture(static_cast<DWORD>(stage), &texture);
        if (texture != nullptr) {
            texture->Release();
        }
        return texture;
    }
    static IDirect3DBaseTexture9* TextureOf(int image) {
        return tessel::GetImageRecord(image)->source->tiles[0].texture;
    }

    // The lit colour's channels times the texel level: the vertex's ambient share rounded to
    // eight bits, plus max(0, n.L) x light diffuse x material diffuse, clamped; n.L is the
    // normal against the direction to the light in camera space.
    static uint32_t LitColour(double nDotL, bool ambientRounded, uint32_t texel = 255) {
        uint32_t rgb = 0;
        for (int c = 0; c < 3; ++c) {
            double ambient = kGlobalAmbient[c] * kAmbient[c] + kLightAmbient[c] * kAmbient[c];
            if (ambientRounded) {
                ambient = std::floor(ambient * 255.0 + 0.5) / 255.0;
            }
            const double v = ambient + std::max(0.0, nDotL) * kLightDiffuse[c] * kDiffuse[c];
            const double clamped = std::min(1.0, std::max(0.0, v));
            rgb |= static_cast<uint32_t>(std::lround(clamped * texel)) << (16 - 8 * c);
        }
        return rgb;
    }

    // The direction to the light and the quad's tangent frame, in camera space.
    struct Frame {
        V3 toLight, tangent, binormal, normal;
    };
    // m turned about its x and then its y axis by the angle.
    static tessel::Mat3x4 Tilted(const tessel::Mat3x4& m, float angle) {
        const float c = std::cos(angle), s = std::sin(angle);
        tessel::Mat3x4 x = m;
        for (int r = 0; r < 3; ++r) {
            x.m[r][1] = m.m[r][1] * c + m.m[r][2] * s;
            x.m[r][2] = m.m[r][2] * c - m.m[r][1] * s;
        }
        tessel::Mat3x4 out = x;
        for (int r = 0; r < 3; ++r) {
            out.m[r][0] = x.m[r][0] * c - x.m[r][2] * s;
            out.m[r][2] = x.m[r][2] * c + x.m[r][0] * s;
        }
        return out;
    }
    // The matrix the list's vertices are moved by: the frame's, or the bones' blend.
    tessel::Mat3x4 ListMatrix() const {
        if (record_->base->triangleLists[0].vertexType == 0) {
            return record_->frames[0].world;
        }
        tessel::Mat3x4 m = {};
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 4; ++c) {
                m.m[r][c] = 0.75f * record_->boneMatrices[0].m[r][c] +
                            0.25f * record_->boneMatrices[1].m[r][c];
            }
        }
        return m;
    }
    Frame CameraFrame() const {
        const tessel::Mat4& view = tessel::g_stateCache.view;
        auto byView = [&view](const V3& v) {
            V3 out;
            for (int c = 0; c < 3; ++c) {
                out[c] = v[0] * view.m[0][c] + v[1] * view.m[1][c] + v[2] * view.m[2][c];
            }
            return out;
        };
        const tessel::Mat3x4 world = ListMatrix();
        auto byWorld = [&world](const V3& v) {
            V3 out;
            for (int r = 0; r < 3; ++r) {
                out[r] = world.m[r][0] * v[0] + world.m[r][1] * v[1] + world.m[r][2] * v[2];
            }
            return out;
        };
        Frame f;
        const V3 d = Unit(byView({kLightDirection[0], kLightDirection[1], kLightDirection[2]}));
        f.toLight = {-d[0], -d[1], -d[2]};
        f.tangent = Unit(byView(byWorld({1.0, 0.0, 0.0})));
        f.binormal = Unit(byView(byWorld({0.0, 1.0, 0.0})));
        f.normal = Unit(byView(byWorld({0.0, 0.0, -1.0})));
        return f;
    }

    std::vector<std::unique_ptr<TestBase>> bases_;
    std::vector<std::unique_ptr<tessel::ModelTexture[]>> textures_;
    int images_[kSlots] = {};
    tessel::ModelInstance* record_ = nullptr;
};

TEST_F(MeshMapsTest, TheSecondTextureMultipliesTheColourAtTheFirstSetOnBothPaths) {
    // What the pattern draws as the diffuse texture alone, on the fixed path.
    // Alpha blending, so that a wrong alpha shows.
    Create(kPattern, -1, -1, 0, 1);
    const std::vector<uint32_t> alone = Draw(false);
    // A white diffuse texture and the see-through pattern as the second texture: its colours
    // at the first set's coordinates, its alpha unused.
    Create(kWhite, kSeeThroughPattern, -1, 0, 1);
    const std::vector<uint32_t> fixed = Draw(false);
    EXPECT_EQ(StageTexture(1), TextureOf(images_[kSeeThroughPattern]));
    int drawn = 0;
    int unequal = 0;
    for (size_t i = 0; i < alone.size(); ++i) {
        drawn += alone[i] != kBackground ? 1 : 0;
        unequal += alone[i] != fixed[i] ? 1 : 0;
    }
    EXPECT_GT(drawn, 10000);
    EXPECT_EQ(unequal, 0);
    const std::vector<uint32_t> shaded = Draw(true);
    EXPECT_EQ(StageTexture(1), TextureOf(images_[kSeeThroughPattern]));
    const DrawingComparison a = CompareDrawings(alone, shaded, kBackground);
    EXPECT_GT(a.drawn, 10000);
    EXPECT_EQ(a.off, 0) << "worst " << a.worst << " of " << a.drawn;
}

TEST_F(MeshMapsTest, ASecondTextureWithoutAnImageChangesNothingOnEitherPath) {
    Create(kPattern, -1, -1);
    const std::vector<uint32_t> alone = Draw(false);
    Create(kPattern, kSlots + 3, -1);
    EXPECT_EQ(Draw(false), alone);
    const DrawingComparison a = CompareDrawings(alone, Draw(true), kBackground);
    EXPECT_GT(a.drawn, 10000);
    EXPECT_EQ(a.off, 0) << "worst " << a.worst << " of " << a.drawn;
}

// The shaders would light by an empty stage; the fixed path draws the mesh as it does any
// normal-mapped mesh.
TEST_F(MeshMapsTest, ANormalMapWithoutAnImageTakesTheFixedPath) {
    Create(kWhite, -1, kSlots + 3);
    const std::vector<uint32_t> fixed = Draw(false);
    EXPECT_EQ(Draw(true, false), fixed);
}

TEST_F(MeshMapsTest, TheShadersLightEachPixelByItsNormalMapTexel) {
    // Rigid, and skinned with four and with eight bones.
    for (int vertexType = 0; vertexType < 3; ++vertexType) {
        SCOPED_TRACE(vertexType);
        ExpectLitByTheNormalMap(vertexType);
    }
}

void MeshMapsTest::ExpectLitByTheNormalMap(int vertexType) {
    // Grey, so that a lit colour past white shows whether it was clamped before the texel.
    Create(kGrey, -1, kNormalMap, 0, 0, vertexType);
    const std::vector<uint32_t> shaded = Draw(true);
    EXPECT_EQ(StageTexture(2), TextureOf(images_[kNormalMap]));
    // Each pixel is lit by one of the map's four normals, in the tangent frame.
    const Frame f = CameraFrame();
    const V3 toLight = {Dot(f.tangent, f.toLight), Dot(f.binormal, f.toLight),
                        Dot(f.normal, f.toLight)};
    uint32_t expected[4];
    for (int k = 0; k < 4; ++k) {
        const uint32_t texel = EncodedNormal(k);
        V3 n;
        for (int c = 0; c < 3; ++c) {
            n[c] = Channel(texel, c) / 255.0 * 2.0 - 1.0;
        }
        expected[k] = LitColour(Dot(Unit(n), toLight), true, kGreyLevel);
        for (int j = 0; j < k; ++j) {
            ASSERT_GT(ChannelGap(expected[j], expected[k]), 4) << "normals " << j << " " << k;
        }
    }
    int seen[4] = {};
    int unexplained = 0;
    for (uint32_t pixel : shaded) {
        if (pixel == kBackground) {
            continue;
        }
        int match = -1;
        for (int k = 0; k < 4; ++k) {
            match = ChannelGap(pixel, expected[k]) <= 1 ? k : match;
        }
        if (match == -1) {
            ++unexplained;
            continue;
        }
        ++seen[match];
    }
    for (int k = 0; k < 4; ++k) {
        EXPECT_GT(seen[k], 4000) << "normal " << k;
    }
    // Pixels on the edges between quarters may sample either side; none is lit otherwise.
    EXPECT_EQ(unexplained, 0);
}

TEST_F(MeshMapsTest, TheFixedPathHoldsTheNormalMapOnStageTwoAndLightsPerVertex) {
    Create(kWhite, -1, kNormalMap);
    const std::vector<uint32_t> fixed = Draw(false);
    EXPECT_EQ(StageTexture(2), TextureOf(images_[kNormalMap]));
    DWORD op = 0;
    tessel::g_graphics.device->GetTextureStageState(2, D3DTSS_COLOROP, &op);
    EXPECT_EQ(op, D3DTOP_DISABLE);
    const Frame f = CameraFrame();
    const uint32_t expected = LitColour(Dot(f.normal, f.toLight), false);
    int drawn = 0;
    int off = 0;
    for (uint32_t pixel : fixed) {
        if (pixel == kBackground) {
            continue;
        }
        ++drawn;
        off += ChannelGap(pixel, expected) > 1 ? 1 : 0;
    }
    EXPECT_GT(drawn, 10000);
    EXPECT_EQ(off, 0) << std::hex << expected;
}

TEST_F(MeshMapsTest, AToonMaterialWithoutANormalMapHoldsTheWhiteTextureOnStageTwo) {
    Create(kPattern, -1, -1, 2);
    Draw(false);
    EXPECT_EQ(StageTexture(2), TextureOf(tessel::DefaultWhiteTexture()));
    // An ordinary material leaves stage 2 empty.
    Create(kPattern, -1, -1, 0);
    Draw(false);
    EXPECT_EQ(StageTexture(2), nullptr);
}

}  // namespace
}  // namespace tessel_test
