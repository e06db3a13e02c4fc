// Tangent frames and the gathering of source vertices of each vertex type.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "foundation/memory/memory.h"
#include "models/util/mesh_utilities.h"
#include "tests/models/mesh_fixture.h"

namespace tessel_test {
namespace {

MeshFixture UnitQuad() {
    return MeshFixture({{{0, 0, 0}, 0, 0, {}},
                        {{1, 0, 0}, 1, 0, {}},
                        {{1, 1, 0}, 1, 1, {}},
                        {{0, 1, 0}, 0, 1, {}}},
                       {0, 1, 2, 0, 2, 3});
}

void ExpectVec(const tessel::Vec3& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-6);
    EXPECT_NEAR(v.y, y, 1e-6);
    EXPECT_NEAR(v.z, z, 1e-6);
}

bool Finite(const tessel::Vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

TEST(TangentFramesTest, AUnitQuadHasTangentPlusXAndBinormalPlusY) {
    MeshFixture quad = UnitQuad();
    const uint32_t before = tessel::TrackedBlockCount();
    ASSERT_EQ(tessel::RebuildTangentFrames(&quad.mesh), 0);
    EXPECT_EQ(tessel::TrackedBlockCount(), before) << "the marks are freed";
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        ExpectVec(quad.frame.normals[i].tangent, 1, 0, 0);
        ExpectVec(quad.frame.normals[i].binormal, 0, 1, 0);
        ExpectVec(quad.frame.normals[i].normal, 0, 0, 1);
    }
}

TEST(TangentFramesTest, ATurnedMappingTurnsTheFrame) {
    // u runs along +y and v along -x.
    MeshFixture quad({{{0, 0, 0}, 0, 0, {}},
                      {{0, 1, 0}, 1, 0, {}},
                      {{-1, 1, 0}, 1, 1, {}},
                      {{-1, 0, 0}, 0, 1, {}}},
                     {0, 1, 2, 0, 2, 3});
    ASSERT_EQ(tessel::RebuildTangentFrames(&quad.mesh), 0);
    ExpectVec(quad.frame.normals[0].tangent, 0, 1, 0);
    ExpectVec(quad.frame.normals[0].binormal, -1, 0, 0);
}

// A mapping without area: every corner at one texture point makes the sums
// vanish; corners on one texture line leave a division by zero.
TEST(TangentFramesTest, DegenerateMappingsGiveFiniteVectorsNeverNaN) {
    const struct {
        const char* what;
        float u[3];
        float v[3];
    } cases[] = {
        {"one texture point", {0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}},
        {"one texture line", {0.0f, 1.0f, 2.0f}, {0.0f, 0.0f, 0.0f}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MeshFixture triangle({{{0, 0, 0}, c.u[0], c.v[0], {}},
                              {{1, 0, 0}, c.u[1], c.v[1], {}},
                              {{0, 1, 0}, c.u[2], c.v[2], {}}},
                             {0, 1, 2});
        ASSERT_EQ(tessel::RebuildTangentFrames(&triangle.mesh), 0);
        for (int i = 0; i < 3; ++i) {
            const tessel::ModelNormal& n = triangle.frame.normals[i];
            EXPECT_TRUE(Finite(n.tangent)) << i;
            EXPECT_TRUE(Finite(n.binormal)) << i;
            // Every axis degenerate: tangent (1, 1, 1), no binormal.
            const float k = 1.0f / std::sqrt(3.0f);
            ExpectVec(n.tangent, k, k, k);
            ExpectVec(n.binormal, 0, 0, 0);
        }
    }
}

TEST(TangentFramesTest, RecordsNoVertexUsesAreLeftAlone) {
    MeshFixture quad = UnitQuad();
    quad.mesh.vertexCount = 3;  // the fourth record is no vertex's
    quad.list.indexCount = 3;
    quad.frame.normals[3].tangent = tessel::Vec3{7, 8, 9};
    ASSERT_EQ(tessel::RebuildTangentFrames(&quad.mesh), 0);
    ExpectVec(quad.frame.normals[3].tangent, 7, 8, 9);
    ExpectVec(quad.frame.normals[0].tangent, 1, 0, 0);
}

TEST(TangentFramesTest, NoMemoryForTheMarksFailsWithoutChanges) {
    MeshFixture quad = UnitQuad();
    tessel::SetTrackedHeapFailing(true);
    EXPECT_EQ(tessel::RebuildTangentFrames(&quad.mesh), -1);
    tessel::SetTrackedHeapFailing(false);
    ExpectVec(quad.frame.normals[0].tangent, 0, 0, 0);
}

// ------------------------------------------------------------- gathering

template <typename T>
T At(const uint8_t* p, int offset) {
    T value;
    std::memcpy(&value, p + offset, sizeof value);
    return value;
}

MeshFixture WeightedCorners(int maxWeights) {
    std::vector<std::pair<uint32_t, float>> many;
    for (uint32_t k = 0; k < 9; ++k) {
        many.push_back({10 + k, 0.1f + 0.01f * k});
    }
    return MeshFixture({{{1, 2, 3}, 0, 0, {{5, 0.75f}, {9, 0.25f}}},
                        {{4, 5, 6}, 0, 0, many},
                        {{7, 8, 9}, 0, 0, {}}},
                       {0, 1, 2}, maxWeights);
}

TEST(GatherVerticesTest, RigidVerticesArePositionOneNormalZero) {
    MeshFixture mesh = WeightedCorners(0);
    mesh.PrepareList(0, 32, {});
    ASSERT_EQ(tessel::GatherMeshVertices(&mesh.list), 0);
    const float expected[8] = {4, 5, 6, 1, 0, 0, 1, 0};
    EXPECT_EQ(std::memcmp(mesh.ListVertex(1), expected, 32), 0);
}

TEST(GatherVerticesTest, FourBoneVerticesTakeTheFirstFourPairsAndTheirSlots) {
    MeshFixture mesh = WeightedCorners(9);
    mesh.PrepareList(1, 48, {10, 5, 11, 9, 12});
    ASSERT_EQ(tessel::GatherMeshVertices(&mesh.list), 0);
    const uint8_t* v0 = mesh.ListVertex(0);
    EXPECT_EQ(At<float>(v0, 0), 0.75f);
    EXPECT_EQ(At<float>(v0, 4), 0.25f);
    EXPECT_EQ(At<float>(v0, 8), 0.0f);
    EXPECT_EQ(At<float>(v0, 16), 1.0f);
    EXPECT_EQ(At<float>(v0, 28), 1.0f) << "w of the position";
    EXPECT_EQ(At<float>(v0, 40), 1.0f) << "normal z";
    EXPECT_EQ(At<uint32_t>(v0, 44), 0x00000301u) << "slots 1, 3, 0, 0";
    const uint8_t* v1 = mesh.ListVertex(1);
    EXPECT_EQ(At<float>(v1, 12), 0.1f + 0.01f * 3);
    EXPECT_EQ(At<uint32_t>(v1, 44), 0x05040200u) << "bone 13 is not listed: the table's length";
}

TEST(GatherVerticesTest, EightBoneVerticesSplitTheirSlotsAroundThePosition) {
    MeshFixture mesh = WeightedCorners(9);
    mesh.PrepareList(2, 64, {10, 11, 12, 13, 14, 15, 16, 17});
    ASSERT_EQ(tessel::GatherMeshVertices(&mesh.list), 0);
    const uint8_t* v1 = mesh.ListVertex(1);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(At<float>(v1, 4 * k), 0.1f + 0.01f * k) << k;
    }
    EXPECT_EQ(At<float>(v1, 40), 1.0f) << "normal z";
    EXPECT_EQ(At<uint32_t>(v1, 44), 0x03020100u);
    EXPECT_EQ(At<float>(v1, 48), 4.0f);
    EXPECT_EQ(At<float>(v1, 56), 6.0f);
    EXPECT_EQ(At<uint32_t>(v1, 60), 0x07060504u);
}

TEST(GatherVerticesTest, FreeFormVerticesCopyThePairsAndPadTheRest) {
    MeshFixture mesh = WeightedCorners(9);
    mesh.PrepareList(3, 32 + 8 * 3, {}, 3);
    ASSERT_EQ(tessel::GatherMeshVertices(&mesh.list), 0);
    const uint8_t* v0 = mesh.ListVertex(0);
    EXPECT_EQ(At<float>(v0, 0), 1.0f);
    EXPECT_EQ(At<float>(v0, 12), 1.0f);
    EXPECT_EQ(At<float>(v0, 28), 0.0f);
    EXPECT_EQ(At<uint32_t>(v0, 32), 5u);
    EXPECT_EQ(At<float>(v0, 36), 0.75f);
    EXPECT_EQ(At<uint32_t>(v0, 40), 9u);
    EXPECT_EQ(At<uint32_t>(v0, 48), 0xFFFFFFFFu);
    EXPECT_EQ(At<float>(v0, 52), 0.0f);
    const uint8_t* v1 = mesh.ListVertex(1);
    EXPECT_EQ(At<uint32_t>(v1, 48), 12u) << "the third pair of nine";
}

TEST(GatherVerticesTest, AModelsOwnCopyFeedsItsOwnSourceVertices) {
    MeshFixture mesh = WeightedCorners(2);
    mesh.PrepareList(1, 48, {9, 5});
    std::vector<float> copies = {10, 20, 30, 0, 1, 0, 40, 50, 60, 1, 0, 0, 70, 80, 90, 0, 0, -1};
    tessel::ModelInstanceMesh modelMesh = {};
    modelMesh.base = &mesh.mesh;
    modelMesh.shapeVertices = copies.data();
    std::vector<uint8_t> own(48 * 3, 0xCD);
    tessel::ModelInstanceTriangleList modelList = {};
    modelList.mesh = &modelMesh;
    modelList.base = &mesh.list;
    modelList.vertices = own.data();
    ASSERT_EQ(tessel::GatherInstanceListVertices(&modelList), 0);
    EXPECT_EQ(At<float>(own.data(), 16), 10.0f);
    EXPECT_EQ(At<float>(own.data(), 36), 1.0f) << "normal y from the copy";
    EXPECT_EQ(At<uint32_t>(own.data(), 44), 0x00000001u) << "bone 5 slot 1, bone 9 slot 0";
    EXPECT_EQ(At<float>(own.data() + 96, 40), -1.0f);
}

}  // namespace
}  // namespace tessel_test
