// The processor's skinning on the fixed-function path: the 4- and 8-bone
// lists and the free-form lists, each vertex moved by the blend of its bones
// into the list's copy before the draw, checked against a blend worked out
// here in double precision. The cases reach the single-bone shortcut (a first
// weight of exactly 1 ignores the rest), the skipped zero weights (a zero
// weight naming a bone the list lacks does not stop the vertex) and the end
// marker of the free-form pairs.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graphics/settings/draw_settings.h"
#include "models/anim/model_animation.h"
#include "models/drawing/model_drawing.h"
#include "models/instances/model_instances.h"
#include "tests/graphics/targets/target_test_support.h"
#include "tests/models/model_base_builder.h"
#include "tests/models/model_test_support.h"

namespace tessel_test {
namespace {

// Two bone matrices with nothing round in them.
const tessel::Mat3x4 kBones[2] = {
    {{{0.875f, -0.25f, 0.125f, 1.5f},
      {0.375f, 1.125f, -0.0625f, -2.25f},
      {-0.5f, 0.1875f, 0.9375f, 3.125f}}},
    {{{2.0625f, 0.3125f, 0.0f, -7.75f},
      {-0.4375f, 1.75f, 0.25f, 0.625f},
      {0.0f, -0.6875f, 1.3125f, 11.5f}}},
};

struct Weights {
    float w[8];
    uint8_t slot[8];
};

// What the copy should hold: the blend of the weighted bones (double
// precision), applied to the position with translation and to the normal
// without.
void Expected(const std::vector<std::pair<int, double>>& blend, const float* p, const float* n,
              double position[3], double normal[3]) {
    double m[3][4] = {};
    for (const auto& [bone, weight] : blend) {
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 4; ++c) {
                m[r][c] += kBones[bone].m[r][c] * weight;
            }
        }
    }
    for (int r = 0; r < 3; ++r) {
        position[r] = m[r][0] * p[0] + m[r][1] * p[1] + m[r][2] * p[2] + m[r][3];
        normal[r] = m[r][0] * n[0] + m[r][1] * n[1] + m[r][2] * n[2];
    }
}

class MeshSkinningTest : public ModelSystemTest {
  protected:
    void SetUp() override {
        ModelSystemTest::SetUp();
        ASSERT_EQ(tessel::SelectDrawTarget(tessel::kBackScreen), 0);
        base_.skinBones = {{0, 0, {}, 0}, {0, 0, {}, 0}};
    }

    // Creates the model, fixes its two bone matrices and draws the mesh of
    // list `li` once.
    void CreateAndDraw(int li) {
        const int handle = tessel::NewModelHandle();
        ASSERT_EQ(tessel::CreateModelFromBase(handle, base_.handle()), 0);
        record_ = tessel::GetModelInstance(handle);
        tessel::UpdateModelMatrices(record_);
        record_->boneMatrices[0] = kBones[0];
        record_->boneMatrices[1] = kBones[1];
        tessel::ModelInstanceMesh* mesh = &record_->meshes[li];
        tessel::DrawModelMesh(mesh);
        list_ = &base_.base()->triangleLists[li];
        ASSERT_NE(list_->copyVertices, nullptr);
    }

    void ExpectCopy(int i, const std::vector<std::pair<int, double>>& blend, const float* p,
                    const float* n) {
        double position[3];
        double normal[3];
        Expected(blend, p, n, position, normal);
        const auto* copy = reinterpret_cast<const float*>(
            list_->copyVertices + static_cast<size_t>(i) * list_->copyStride);
        for (int r = 0; r < 3; ++r) {
            EXPECT_NEAR(copy[r], position[r], 2e-5) << "vertex " << i << " position " << r;
            EXPECT_NEAR(copy[3 + r], normal[r], 2e-5) << "vertex " << i << " normal " << r;
        }
    }

    TestBase base_;
    tessel::ModelInstance* record_ = nullptr;
    tessel::ModelTriangleList* list_ = nullptr;
};

struct SkinCase {
    const char* name;
    Weights weights;
    std::vector<std::pair<int, double>> blend;
};

// Slots 5 and 9 name no bone of the list: a vertex reaching them would be
// left out of the copy.
const SkinCase kFourBoneCases[] = {
    {"bone 0 alone", {{1.0f, 0.0f, 0.0f, 0.0f}, {0, 1, 0, 0}}, {{0, 1.0}}},
    {"halves", {{0.5f, 0.5f, 0.0f, 0.0f}, {0, 1, 0, 0}}, {{0, 0.5}, {1, 0.5}}},
    {"first weight 1 ignores the rest", {{1.0f, 0.5f, 0.25f, 0.0f}, {1, 0, 0, 0}}, {{1, 1.0}}},
    {"zero weights skipped",
     {{0.3125f, 0.0f, 0.6875f, 0.0f}, {0, 5, 1, 9}},
     {{0, 0.3125}, {1, 0.6875}}},
};

const SkinCase kEightBoneCases[] = {
    {"bone 1 alone", {{1.0f, 0, 0, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0, 0, 0}}, {{1, 1.0}}},
    {"weights past the fourth",
     {{0.125f, 0, 0, 0, 0, 0.5f, 0, 0.375f}, {0, 9, 9, 9, 9, 1, 9, 0}},
     {{0, 0.5}, {1, 0.5}}},
    {"first weight 1 ignores the rest",
     {{1.0f, 0, 0, 0, 0, 0, 0, 0.75f}, {0, 0, 0, 0, 0, 0, 0, 1}},
     {{0, 1.0}}},
    {"halves", {{0.5f, 0.5f, 0, 0, 0, 0, 0, 0}, {1, 0, 9, 9, 9, 9, 9, 9}}, {{0, 0.5}, {1, 0.5}}},
};

TEST_F(MeshSkinningTest, FourBoneVerticesAreBlendedByTheirWeights) {
    base_.lists = {TestList{0, 1, 4, 2}};
    ASSERT_NE(base_.Store(), -1);
    tessel::ModelTriangleList& list = base_.base()->triangleLists[0];
    for (int i = 0; i < 4; ++i) {
        uint8_t* v = list.vertices + 48 * i;
        std::memcpy(v, kFourBoneCases[i].weights.w, 16);
        std::memcpy(v + 44, kFourBoneCases[i].weights.slot, 4);
    }
    CreateAndDraw(0);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(kFourBoneCases[i].name);
        const uint8_t* v = list.vertices + 48 * i;
        ExpectCopy(i, kFourBoneCases[i].blend, reinterpret_cast<const float*>(v + 16),
                   reinterpret_cast<const float*>(v + 32));
    }
    // Skinned lists draw under the identity world transform.
    EXPECT_EQ(tessel::g_modelWorldIsIdentity, 1);
}

TEST_F(MeshSkinningTest, EightBoneVerticesAreBlendedByTheirWeights) {
    base_.lists = {TestList{0, 2, 4, 2}};
    ASSERT_NE(base_.Store(), -1);
    tessel::ModelTriangleList& list = base_.base()->triangleLists[0];
    for (int i = 0; i < 4; ++i) {
        uint8_t* v = list.vertices + 64 * i;
        std::memcpy(v, kEightBoneCases[i].weights.w, 32);
        std::memcpy(v + 44, kEightBoneCases[i].weights.slot, 4);
        std::memcpy(v + 60, kEightBoneCases[i].weights.slot + 4, 4);
    }
    CreateAndDraw(0);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(kEightBoneCases[i].name);
        const uint8_t* v = list.vertices + 64 * i;
        ExpectCopy(i, kEightBoneCases[i].blend, reinterpret_cast<const float*>(v + 48),
                   reinterpret_cast<const float*>(v + 32));
    }
}

// Free-form pairs name a bone by its place in the frame's whole run.
TEST_F(MeshSkinningTest, FreeFormVerticesFollowTheirPairsToTheEndMarker) {
    base_.lists = {TestList{0, 1, 4, 2}};
    ASSERT_NE(base_.Store(), -1);
    tessel::ModelTriangleList& list = base_.base()->triangleLists[0];
    constexpr uint32_t kEnd = 0xFFFFFFFFu;
    struct Pair {
        uint32_t bone;
        float weight;
    };
    struct FreeCase {
        const char* name;
        Pair pairs[3];
        std::vector<std::pair<int, double>> blend;
    };
    const FreeCase cases[] = {
        {"first weight 1 ignores the rest", {{1, 1.0f}, {0, 0.5f}, {kEnd, 0.0f}}, {{1, 1.0}}},
        {"halves", {{0, 0.5f}, {1, 0.5f}, {kEnd, 0.0f}}, {{0, 0.5}, {1, 0.5}}},
        {"a zero weight past the run skipped",
         {{0, 0.25f}, {7, 0.0f}, {1, 0.75f}},
         {{0, 0.25}, {1, 0.75}}},
        {"the end marker stops", {{1, 0.625f}, {kEnd, 0.0f}, {0, 1.0f}}, {{1, 0.625}}},
    };
    list.vertexType = 3;
    list.freeBoneCount = 3;
    list.vertexSize = 64;
    std::vector<uint8_t> source(64 * 4 + 16, 0);
    for (int i = 0; i < 4; ++i) {
        const tessel::Vec3 p = TestPosition(0, i);
        const tessel::Vec3 n = TestNormal(0, i);
        const float head[8] = {p.x, p.y, p.z, 1.0f, n.x, n.y, n.z, 0.0f};
        std::memcpy(source.data() + 64 * i, head, sizeof head);
        std::memcpy(source.data() + 64 * i + 32, cases[i].pairs, sizeof cases[i].pairs);
    }
    list.vertices = source.data();
    CreateAndDraw(0);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(cases[i].name);
        const auto* head = reinterpret_cast<const float*>(source.data() + 64 * i);
        ExpectCopy(i, cases[i].blend, head, head + 4);
    }
}

}  // namespace
}  // namespace tessel_test
