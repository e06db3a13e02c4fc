// Frame matrices of a base and the filtered index lists of its triangles.
#include "models/base/base_processing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "models/read/read_model.h"
#include "tests/models/mesh_fixture.h"

namespace tessel_test {
namespace {

struct FrameParts {
    tessel::Vec3 rotation{0.0f, 0.0f, 0.0f};
    tessel::Vec3 scale{1.0f, 1.0f, 1.0f};
    tessel::Vec3 translation{0.0f, 0.0f, 0.0f};
    int order = 0;
    int parent = -1;
};

class FrameMatricesTest : public ::testing::Test {
  protected:
    void Build(const std::vector<FrameParts>& parts) {
        frames_.assign(parts.size(), tessel::ModelFrame{});
        for (size_t i = 0; i < parts.size(); ++i) {
            tessel::ModelFrame& f = frames_[i];
            f.rotation = parts[i].rotation;
            f.scale = parts[i].scale;
            f.translation = parts[i].translation;
            f.rotationOrder = parts[i].order;
            f.parent = parts[i].parent < 0 ? nullptr : &frames_[parts[i].parent];
            f.matrixKind = -1;
        }
        base_.frameCount = static_cast<int32_t>(frames_.size());
        base_.frames = frames_.data();
        tessel::ComputeFrameMatrices(&base_);
    }
    static tessel::Mat4 Wide(const tessel::Mat3x4& m) {
        tessel::Mat4 out;
        tessel::Transpose3x4To4x4(&out, &m);
        return out;
    }
    static void ExpectNear(const tessel::Mat4& a, const tessel::Mat4& b, double tolerance) {
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
                EXPECT_NEAR(a.m[r][c], b.m[r][c], tolerance) << r << "," << c;
            }
        }
    }

    tessel::ModelBase base_ = {};
    std::vector<tessel::ModelFrame> frames_;
};

TEST_F(FrameMatricesTest, TheKindFollowsRotationScaleAndTranslation) {
    const struct {
        const char* what;
        FrameParts parts;
        int kind;
    } cases[] = {
        {"negative zero rotation", {{-0.0f, 0.0f, -0.0f}, {1, 1, 1}, {0, 0, 0}}, 0},
        {"negative zero translation", {{0, 0, 0}, {1, 1, 1}, {-0.0f, 0, 0}}, 0},
        {"translation only", {{0, 0, 0}, {1, 1, 1}, {1.5f, -2, 3}}, 1},
        {"scale z 1.0001", {{0, 0, 0}, {1, 1, 1.0001f}, {0, 0, 0}}, 2},
        {"a rotation", {{0, 1e-30f, 0}, {1, 1, 1}, {0, 0, 0}}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Build({c.parts});
        EXPECT_EQ(frames_[0].matrixKind, c.kind);
        tessel::Mat4 expected;
        tessel::ComposeFrameMatrix(&c.parts.rotation, &c.parts.scale, &c.parts.translation, nullptr,
                                   &expected, 0);
        tessel::Mat4 local = Wide(frames_[0].local);
        EXPECT_EQ(std::memcmp(&local, &expected, sizeof local), 0);
        if (c.kind == 0) {
            tessel::Mat4 identity;
            tessel::MatIdentity(&identity);
            EXPECT_EQ(std::memcmp(&local, &identity, sizeof local), 0);
        }
        tessel::Mat4 world = Wide(frames_[0].world);
        EXPECT_EQ(std::memcmp(&world, &local, sizeof world), 0) << "a root's world is its local";
    }
}

TEST_F(FrameMatricesTest, AChildsWorldIsItsLocalTimesItsParentsWorld) {
    Build({
        {{0.3f, -0.2f, 1.1f}, {2.0f, 1.0f, 0.5f}, {1, 2, 3}, 4, -1},
        {{-0.7f, 0.4f, 0.0f}, {1.0f, 1.5f, 1.0f}, {-1, 0.5f, 2}, 2, 0},
        {{0, 0, 0}, {1, 1, 1}, {0, 0, 4}, 0, 1},
    });
    EXPECT_EQ(frames_[1].matrixKind, 2);
    EXPECT_EQ(frames_[2].matrixKind, 1);
    for (int i = 1; i < 3; ++i) {
        SCOPED_TRACE(i);
        tessel::Mat4 local = Wide(frames_[i].local);
        tessel::Mat4 parentWorld = Wide(frames_[i - 1].world);
        tessel::Mat4 expected;
        tessel::MatMul(&expected, &local, &parentWorld);
        ExpectNear(Wide(frames_[i].world), expected, 1e-6);
    }
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        tessel::Mat4 inverse = Wide(frames_[i].inverseWorld);
        tessel::Mat4 world = Wide(frames_[i].world);
        tessel::Mat4 product;
        tessel::MatMul(&product, &inverse, &world);
        tessel::Mat4 identity;
        tessel::MatIdentity(&identity);
        ExpectNear(product, identity, 1e-6);
    }
}

TEST_F(FrameMatricesTest, AWorldWithoutInverseKeepsTheIdentityThere) {
    Build({{{0, 0, 0}, {0.0f, 1.0f, 1.0f}, {0, 0, 0}}});
    tessel::Mat4 inverse = Wide(frames_[0].inverseWorld);
    tessel::Mat4 identity;
    tessel::MatIdentity(&identity);
    EXPECT_EQ(std::memcmp(&inverse, &identity, sizeof inverse), 0);
}

MeshFixture FlaggedStrip(std::vector<uint32_t> flags) {
    std::vector<MeshCorner> corners;
    for (size_t i = 0; i < flags.size(); ++i) {
        corners.push_back({{static_cast<float>(i), 0, 0}, 0, 0, {}, flags[i]});
    }
    return MeshFixture(corners, {0, 1, 2, 2, 1, 3, 3, 4, 5, 4, 5, 0});
}

TEST(FilterFlaggedTrianglesTest, TrianglesTouchingAFlaggedVertexAreLeftOut) {
    const struct {
        const char* what;
        std::vector<uint32_t> flags;
        std::vector<uint16_t> kept;
    } cases[] = {
        {"none flagged", {0, 0, 0, 0, 0, 0}, {0, 1, 2, 2, 1, 3, 3, 4, 5, 4, 5, 0}},
        {"vertex 3 flagged", {0, 0, 0, 0x80000000u, 0, 0}, {0, 1, 2, 4, 5, 0}},
        {"vertex 0 and 4", {1, 0, 0, 0, 2, 0}, {2, 1, 3}},
        {"all flagged", {1, 1, 1, 1, 1, 1}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MeshFixture mesh = FlaggedStrip(c.flags);
        mesh.list.filteredIndexCount = 999;
        tessel::FilterFlaggedTriangles(&mesh.list);
        ASSERT_EQ(mesh.list.filteredIndexCount, c.kept.size());
        EXPECT_EQ(std::vector<uint16_t>(mesh.list.filteredIndices,
                                        mesh.list.filteredIndices + c.kept.size()),
                  c.kept);
    }
}

TEST(FilterFlaggedTrianglesTest, AnEmptyListFiltersToNothing) {
    MeshFixture mesh = FlaggedStrip({0, 0, 0, 0, 0, 0});
    mesh.list.indexCount = 0;
    mesh.list.filteredIndexCount = 5;
    tessel::FilterFlaggedTriangles(&mesh.list);
    EXPECT_EQ(mesh.list.filteredIndexCount, 0);
}

}  // namespace
}  // namespace tessel_test
