// Triangulation: the fan order of each polygon, the index arrays that follow
// every corner choice, the appended faces' place, and malformed faces.
#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <vector>

#include "models/read/read_model_preparation.h"
#include "tests/foundation/files/files_test_support.h"
#include "tests/models/read_model_fixture.h"

namespace tessel_test {
namespace {

using Triangle = std::array<int, 3>;
using Triangles = std::vector<Triangle>;

std::vector<int> Corners(int n) {
    std::vector<int> corners;
    for (int k = 0; k < n; ++k) {
        corners.push_back(k);
    }
    return corners;
}

// Every index array of corner k holds its own value, so a corner copied from
// the wrong array or place shows.
void MarkCorners(tessel::ReadModelFace* face, int faceNumber) {
    for (int k = 0; k < face->cornerCount; ++k) {
        face->corners[k].position = k;
        face->corners[k].normal = 100 + k;
        face->corners[k].colour = 200 + k;
        for (int layer = 0; layer < tessel::kReadModelTexLayers; ++layer) {
            face->corners[k].texCoord[layer] = 1000 * (layer + 1) + k;
        }
    }
    face->materialIndex = 7 + faceNumber;
}

// The corner each triangle corner came from, checked through every array.
Triangle CornersOf(const tessel::ReadModelFace& face) {
    Triangle t{};
    for (int k = 0; k < 3; ++k) {
        t[k] = face.corners[k].position;
        EXPECT_EQ(face.corners[k].normal, 100 + t[k]);
        EXPECT_EQ(face.corners[k].colour, 200 + t[k]);
        for (int layer = 0; layer < tessel::kReadModelTexLayers; ++layer) {
            EXPECT_EQ(face.corners[k].texCoord[layer], 1000 * (layer + 1) + t[k]) << layer;
        }
    }
    EXPECT_EQ(face.cornerCount, 3);
    EXPECT_EQ(face.triangleCount, 1);
    return t;
}

struct FanCase {
    int corners;
    Triangles triangles;  // the face's own place first, then the appended ones
};

void PrintTo(const FanCase& c, std::ostream* out) {
    *out << c.corners << " corners";
}

class TriangulationFans : public ::testing::TestWithParam<FanCase> {};

TEST_P(TriangulationFans, APolygonBecomesItsFan) {
    const FanCase& c = GetParam();
    ReadModelFixture f;
    tessel::ReadModelMesh* mesh = f.AddMesh({}, {Corners(c.corners)});
    MarkCorners(&mesh->faces[0], 0);
    ASSERT_TRUE(tessel::TriangulateReadModel(&f.model, mesh));
    ASSERT_EQ(mesh->faceCount, c.corners - 2);
    Triangles got;
    for (int i = 0; i < mesh->faceCount; ++i) {
        got.push_back(CornersOf(mesh->faces[i]));
        EXPECT_EQ(mesh->faces[i].materialIndex, 7);
    }
    EXPECT_EQ(got, c.triangles);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TriangulationFans,
    ::testing::Values(FanCase{4, {{0, 1, 3}, {3, 1, 2}}},
                      FanCase{5, {{0, 1, 4}, {4, 1, 2}, {4, 2, 3}}},
                      FanCase{6, {{0, 1, 5}, {5, 1, 2}, {5, 2, 4}, {4, 2, 3}}},
                      FanCase{7, {{0, 1, 6}, {6, 1, 2}, {6, 2, 5}, {5, 2, 3}, {5, 3, 4}}}));

TEST(TriangulationTest, AppendedTrianglesFollowAllFacesInFaceOrder) {
    ReadModelFixture f;
    tessel::ReadModelMesh* mesh = f.AddMesh({}, {Corners(4), Corners(3), Corners(5)});
    for (int i = 0; i < 3; ++i) {
        MarkCorners(&mesh->faces[i], i);
    }
    mesh->faces[1].triangleCount = 9;  // a triangle keeps what the reader gave it
    ASSERT_TRUE(tessel::TriangulateReadModel(&f.model, mesh));
    ASSERT_EQ(mesh->faceCount, 6);
    const std::vector<int> materials = {7, 8, 9, 7, 9, 9};
    const Triangles expected = {{0, 1, 3}, {0, 1, 2}, {0, 1, 4}, {3, 1, 2}, {4, 1, 2}, {4, 2, 3}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(mesh->faces[i].materialIndex, materials[i]) << i;
        if (i == 1) {
            EXPECT_EQ(mesh->faces[i].triangleCount, 9);
            continue;
        }
        EXPECT_EQ(CornersOf(mesh->faces[i]), expected[i]) << i;
    }
}

TEST(TriangulationTest, ATrianglesOnlyMeshKeepsItsArray) {
    ReadModelFixture f;
    tessel::ReadModelMesh* mesh = f.AddMesh({}, {Corners(3), Corners(3)});
    tessel::ReadModelFace* faces = mesh->faces;
    ASSERT_TRUE(tessel::TriangulateReadModel(&f.model, mesh));
    EXPECT_EQ(mesh->faces, faces);
    EXPECT_EQ(mesh->faceCount, 2);

    tessel::ReadModelMesh* empty = f.AddMesh({}, {});
    EXPECT_TRUE(tessel::TriangulateReadModel(&f.model, empty));
    EXPECT_EQ(empty->faceCount, 0);
}

TEST(TriangulationTest, MalformedFacesAndShortMemoryFailWithALogLine) {
    struct Case {
        int corners;
        bool failingHeap;
        const char* line;
    };
    const Case cases[] = {
        {2, false, "Read Model Error : 面 1 の頂点数 2 が扱える範囲 (3 から 32) の外です"},
        {33, false, "Read Model Error : 面 1 の頂点数 33 が扱える範囲 (3 から 32) の外です"},
        {5, true,
         "Read Model Error : ３ポリ変換後のデータを格納するメモリ領域の確保に失敗しました"},
    };
    for (const Case& c : cases) {
        LogScope log;
        ReadModelFixture f;
        tessel::ReadModelMesh* mesh = f.AddMesh({}, {Corners(4), Corners(3)});
        mesh->faces[1].cornerCount = c.corners;
        tessel::ReadModelFace* faces = mesh->faces;
        tessel::SetTrackedHeapFailing(c.failingHeap);
        EXPECT_FALSE(tessel::TriangulateReadModel(&f.model, mesh)) << c.corners;
        tessel::SetTrackedHeapFailing(false);
        EXPECT_EQ(mesh->faces, faces);
        EXPECT_EQ(mesh->faceCount, 2);
        EXPECT_NE(log.Text().find(c.line), std::string::npos) << log.Text();
    }
}

}  // namespace
}  // namespace tessel_test
