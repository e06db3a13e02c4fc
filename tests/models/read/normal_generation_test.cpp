// Normal generation: hard and smooth edges by the smoothing angle, smooth
// fans against normals summed here, the choice among faces sharing one edge,
// winding, a corner shared by more faces than one fan holds, and malformed
// meshes and short memory.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "models/read/read_model_preparation.h"
#include "tests/foundation/files/files_test_support.h"
#include "tests/models/read_model_fixture.h"

namespace tessel_test {
namespace {

using tessel::Vec3;
using Faces = std::vector<std::vector<int>>;

constexpr double kPi = 3.141592653589793;

struct DVec {
    double x = 0, y = 0, z = 0;
};

DVec FaceNormal(const std::vector<Vec3>& p, const std::vector<int>& face, bool reverse = false) {
    const Vec3 &a = p[face[0]], &b = p[face[1]], &c = p[face[2]];
    DVec u{b.x - a.x, b.y - a.y, b.z - a.z}, v{c.x - a.x, c.y - a.y, c.z - a.z};
    if (reverse) {
        std::swap(u, v);
    }
    DVec n{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
    const double length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    return DVec{n.x / length, n.y / length, n.z / length};
}

DVec Normalised(DVec v) {
    const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return DVec{v.x / length, v.y / length, v.z / length};
}

void ExpectNormal(const Vec3& got, const DVec& want, double tolerance, const std::string& where) {
    EXPECT_NEAR(got.x, want.x, tolerance) << where;
    EXPECT_NEAR(got.y, want.y, tolerance) << where;
    EXPECT_NEAR(got.z, want.z, tolerance) << where;
}

const Vec3& CornerNormal(const tessel::ReadModelMesh* mesh, int face, int corner) {
    const int index = mesh->faces[face].corners[corner].normal;
    EXPECT_GE(index, 0);
    EXPECT_LT(index, mesh->normalCount);
    return mesh->normals[index];
}

// The faces as the mesh holds them after triangulation.
Faces FacesOf(const tessel::ReadModelMesh* mesh) {
    Faces faces;
    for (int f = 0; f < mesh->faceCount; ++f) {
        const tessel::ReadModelFace& face = mesh->faces[f];
        std::vector<int> corners;
        for (int k = 0; k < face.cornerCount; ++k) {
            corners.push_back(face.corners[k].position);
        }
        faces.push_back(corners);
    }
    return faces;
}

// A cube of eight shared corners, each side a quad wound outward.
std::vector<Vec3> CubePositions() {
    std::vector<Vec3> p;
    for (int i = 0; i < 8; ++i) {
        p.push_back(Vec3{i & 1 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 4 ? 1.0f : -1.0f});
    }
    return p;
}

const Faces kCubeQuads = {{0, 4, 6, 2}, {1, 3, 7, 5}, {0, 1, 5, 4},
                          {2, 6, 7, 3}, {0, 2, 3, 1}, {4, 5, 7, 6}};

TEST(NormalGenerationTest, ACubeKeepsHardEdgesBelowItsSmoothingAngle) {
    for (int reverse : {0, 1}) {
        ReadModelFixture f;
        f.model.reverseWinding = reverse;
        const std::vector<Vec3> p = CubePositions();
        tessel::ReadModelMesh* mesh =
            f.AddMesh(p, kCubeQuads, static_cast<float>(89.0 * kPi / 180));
        ASSERT_TRUE(tessel::TriangulateReadModel(&f.model, mesh));
        ASSERT_TRUE(tessel::GenerateReadModelNormals(&f.model, mesh));
        const Faces faces = FacesOf(mesh);
        EXPECT_EQ(mesh->normalCount, 24) << "three sides meet at each of eight corners";
        for (int t = 0; t < mesh->faceCount; ++t) {
            const DVec n = FaceNormal(p, faces[t], reverse != 0);
            ExpectNormal(mesh->faces[t].faceNormal, n, 0, "face " + std::to_string(t));
            for (int k = 0; k < 3; ++k) {
                ExpectNormal(CornerNormal(mesh, t, k), n, 0, "triangle " + std::to_string(t));
            }
        }
    }
}

// Every corner of a position whose faces all join gets the normalised sum of
// their normals.
void ExpectSmoothAtEveryPosition(const tessel::ReadModelMesh* mesh, const std::vector<Vec3>& p,
                                 double tolerance) {
    const Faces faces = FacesOf(mesh);
    std::vector<DVec> sums(p.size());
    for (const auto& face : faces) {
        const DVec n = FaceNormal(p, face);
        for (int position : face) {
            sums[position].x += n.x;
            sums[position].y += n.y;
            sums[position].z += n.z;
        }
    }
    std::map<int, int> normalOfPosition;
    for (int t = 0; t < mesh->faceCount; ++t) {
        for (int k = 0; k < 3; ++k) {
            const int position = faces[t][k];
            ExpectNormal(CornerNormal(mesh, t, k), Normalised(sums[position]), tolerance,
                         "position " + std::to_string(position));
            auto [at, added] = normalOfPosition.emplace(position, mesh->faces[t].corners[k].normal);
            EXPECT_EQ(at->second, mesh->faces[t].corners[k].normal) << "one fan, one normal";
        }
    }
    EXPECT_EQ(mesh->normalCount, static_cast<int32_t>(normalOfPosition.size()));
}

TEST(NormalGenerationTest, ACubeSmoothsAboveItsSmoothingAngle) {
    ReadModelFixture f;
    const std::vector<Vec3> p = CubePositions();
    tessel::ReadModelMesh* mesh = f.AddMesh(p, kCubeQuads, static_cast<float>(91.0 * kPi / 180));
    ASSERT_TRUE(tessel::TriangulateReadModel(&f.model, mesh));
    ASSERT_TRUE(tessel::GenerateReadModelNormals(&f.model, mesh));
    EXPECT_EQ(mesh->normalCount, 8);
    ExpectSmoothAtEveryPosition(mesh, p, 1e-6);
}

// Rings of quads between two poles, wound outward; the poles are fans.
std::vector<Vec3> SpherePositions(int rings, int segments) {
    std::vector<Vec3> p = {Vec3{0, 1, 0}};
    for (int i = 1; i < rings; ++i) {
        const double theta = kPi * i / rings;
        for (int j = 0; j < segments; ++j) {
            const double phi = 2 * kPi * j / segments;
            p.push_back(Vec3{static_cast<float>(std::sin(theta) * std::cos(phi)),
                             static_cast<float>(std::cos(theta)),
                             static_cast<float>(std::sin(theta) * std::sin(phi))});
        }
    }
    p.push_back(Vec3{0, -1, 0});
    return p;
}

Faces SphereFaces(int rings, int segments) {
    auto at = [&](int ring, int j) { return 1 + (ring - 1) * segments + (j % segments); };
    const int south = 1 + (rings - 1) * segments;
    Faces faces;
    for (int j = 0; j < segments; ++j) {
        faces.push_back({0, at(1, j + 1), at(1, j)});
    }
    for (int i = 1; i + 1 < rings; ++i) {
        for (int j = 0; j < segments; ++j) {
            faces.push_back({at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j)});
        }
    }
    for (int j = 0; j < segments; ++j) {
        faces.push_back({south, at(rings - 1, j), at(rings - 1, j + 1)});
    }
    return faces;
}

TEST(NormalGenerationTest, ASphereGetsSmoothNormalsAtEveryPosition) {
    ReadModelFixture f;
    const std::vector<Vec3> p = SpherePositions(8, 12);
    tessel::ReadModelMesh* mesh = f.AddMesh(p, SphereFaces(8, 12));
    ASSERT_TRUE(tessel::TriangulateReadModel(&f.model, mesh));
    ASSERT_TRUE(tessel::GenerateReadModelNormals(&f.model, mesh));
    EXPECT_EQ(mesh->normalCount, static_cast<int32_t>(p.size()));
    ExpectSmoothAtEveryPosition(mesh, p, 2e-6);
    // And they point outward, near the sphere's own normal.
    for (int t = 0; t < mesh->faceCount; ++t) {
        const Vec3& corner = p[mesh->faces[t].corners[0].position];
        const Vec3& n = CornerNormal(mesh, t, 0);
        EXPECT_GT(n.x * corner.x + n.y * corner.y + n.z * corner.z, 0.99f) << t;
    }
}

TEST(NormalGenerationTest, NormalsAreNumberedInOrderOfFirstUse) {
    ReadModelFixture f;
    // Two flat triangles sharing an edge, and one standing on the first's
    // other edge, too steep to join.
    const std::vector<Vec3> p = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {1.5f, 0.5f, 1}};
    tessel::ReadModelMesh* mesh = f.AddMesh(p, {{0, 1, 2}, {0, 2, 3}, {2, 1, 4}}, 0.5f);
    ASSERT_TRUE(tessel::GenerateReadModelNormals(&f.model, mesh));
    std::vector<int> order;
    for (int t = 0; t < 3; ++t) {
        for (int k = 0; k < 3; ++k) {
            order.push_back(mesh->faces[t].corners[k].normal);
        }
    }
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 0, 2, 3, 4, 5, 6}));
    EXPECT_EQ(mesh->normalCount, 7);
}

// Faces on one edge like the pages of a book: the walk takes the page met
// first when the current face turns toward its normal, whatever the order
// the pages were listed in.
TEST(NormalGenerationTest, OnASharedEdgeTheFirstPageTurnedTowardTheNormalJoins) {
    ReadModelFixture f;
    const std::vector<Vec3> p = {{0, 0, 0},  {0, 0, 1},  {1, 0, 0},
                                 {0, -1, 0}, {-1, 0, 0}, {0, 1, 0}};
    // The first face's normal is +Y; the pages lie at 270, 180 and 90 degrees.
    tessel::ReadModelMesh* mesh =
        f.AddMesh(p, {{0, 1, 2}, {1, 0, 3}, {1, 0, 4}, {1, 0, 5}}, static_cast<float>(kPi));
    ASSERT_TRUE(tessel::GenerateReadModelNormals(&f.model, mesh));
    const Faces faces = FacesOf(mesh);
    const DVec a = FaceNormal(p, faces[0]), b = FaceNormal(p, faces[3]);
    ExpectNormal(CornerNormal(mesh, 0, 0), Normalised(DVec{a.x + b.x, a.y + b.y, a.z + b.z}), 1e-6,
                 "the first face with the 90 degree page");
    EXPECT_EQ(mesh->faces[0].corners[0].normal, mesh->faces[3].corners[1].normal);
}

TEST(NormalGenerationTest, AFaceWoundTheOtherWayStopsTheWalk) {
    for (bool flipped : {false, true}) {
        ReadModelFixture f;
        const std::vector<Vec3> p = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
        const Faces faces = {{0, 1, 2},
                             flipped ? std::vector<int>{0, 3, 2} : std::vector<int>{0, 2, 3}};
        tessel::ReadModelMesh* mesh = f.AddMesh(p, faces, static_cast<float>(kPi));
        ASSERT_TRUE(tessel::GenerateReadModelNormals(&f.model, mesh));
        ExpectNormal(CornerNormal(mesh, 0, 0), FaceNormal(p, faces[0]), 0, "first");
        ExpectNormal(CornerNormal(mesh, 1, 0), FaceNormal(p, faces[1]), 0, "second");
        EXPECT_EQ(mesh->faces[0].corners[0].normal == mesh->faces[1].corners[0].normal, !flipped);
    }
}

// A double-sided face: its back lies on the same edge at the same angle, and
// the side wound to match wins even when listed after the back.
TEST(NormalGenerationTest, OfATwoSidedNeighbourTheMatchingSideJoins) {
    ReadModelFixture f;
    const std::vector<Vec3> p = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    tessel::ReadModelMesh* mesh = f.AddMesh(p, {{0, 1, 2}, {0, 3, 2}, {0, 2, 3}});
    ASSERT_TRUE(tessel::GenerateReadModelNormals(&f.model, mesh));
    EXPECT_EQ(mesh->faces[0].corners[0].normal, mesh->faces[2].corners[0].normal);
    EXPECT_NE(mesh->faces[0].corners[0].normal, mesh->faces[1].corners[0].normal);
    ExpectNormal(CornerNormal(mesh, 0, 0), DVec{0, 0, 1}, 0, "front");
    ExpectNormal(CornerNormal(mesh, 1, 0), DVec{0, 0, -1}, 0, "back");
}

// 1,500 faces around one corner: the first walk closes at 1,024 faces, the
// rest make a fan of their own; each fan's normal is its own faces' sum.
TEST(NormalGenerationTest, ACornerOfFifteenHundredFacesMakesTwoFans) {
    constexpr int kRim = 1500;
    for (float height : {0.0f, 0.3f}) {
        ReadModelFixture f;
        std::vector<Vec3> p = {Vec3{0, 0, height}};
        Faces faces;
        for (int i = 0; i < kRim; ++i) {
            const double a = 2 * kPi * i / kRim;
            p.push_back(Vec3{static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)), 0});
            faces.push_back({0, 1 + i, 1 + (i + 1) % kRim});
        }
        tessel::ReadModelMesh* mesh = f.AddMesh(p, faces);
        ASSERT_TRUE(tessel::GenerateReadModelNormals(&f.model, mesh));
        std::map<int, std::vector<int>> facesOfNormal;
        for (int t = 0; t < kRim; ++t) {
            facesOfNormal[mesh->faces[t].corners[0].normal].push_back(t);
        }
        ASSERT_EQ(facesOfNormal.size(), 2u) << height;
        std::multiset<size_t> sizes;
        for (const auto& [normal, members] : facesOfNormal) {
            sizes.insert(members.size());
            DVec sum;
            for (int t : members) {
                const DVec n = FaceNormal(p, faces[t]);
                sum = DVec{sum.x + n.x, sum.y + n.y, sum.z + n.z};
            }
            ExpectNormal(mesh->normals[normal], Normalised(sum), 1e-5, "centre fan");
        }
        EXPECT_EQ(sizes, (std::multiset<size_t>{476, 1024}));
        EXPECT_EQ(mesh->normalCount, kRim + 2) << "one fan at each rim corner, two at the centre";
    }
}

TEST(NormalGenerationTest, ADegenerateFaceGetsAZeroNormalAndNoNaN) {
    ReadModelFixture f;
    const std::vector<Vec3> p = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}};
    tessel::ReadModelMesh* mesh = f.AddMesh(p, {{0, 1, 2}, {0, 1, 3}, {0, 0, 0}});
    ASSERT_TRUE(tessel::GenerateReadModelNormals(&f.model, mesh));
    for (int k = 0; k < 3; ++k) {
        ExpectNormal(CornerNormal(mesh, 0, k), DVec{}, 0, "collinear");
        ExpectNormal(CornerNormal(mesh, 1, k), DVec{0, 0, 1}, 0, "flat");
        ExpectNormal(CornerNormal(mesh, 2, k), DVec{}, 0, "one point");
    }
}

TEST(NormalGenerationTest, AnEmptyMeshIsLeftAsItIs) {
    ReadModelFixture f;
    tessel::ReadModelMesh* mesh = f.AddMesh({}, {});
    EXPECT_TRUE(tessel::GenerateReadModelNormals(&f.model, mesh));
    EXPECT_EQ(mesh->normals, nullptr);
    EXPECT_EQ(mesh->normalCount, 0);
}

TEST(NormalGenerationTest, MalformedFacesFailWithALogLine) {
    struct Case {
        Faces faces;
        const char* line;
    };
    const Case cases[] = {
        {{{0, 1, 2}, {0, 1, -1}},
         "Read Model Convert Error : 面 1 の頂点座標番号 -1 が頂点数 3 の範囲外です"},
        {{{0, 1, 3}}, "Read Model Convert Error : 面 0 の頂点座標番号 3 が頂点数 3 の範囲外です"},
        {{{0, 1, 2}, {0, 1}},
         "Read Model Convert Error : 面 1 の頂点数 2 が扱える範囲 (3 から 32) の外です"},
    };
    for (const Case& c : cases) {
        LogScope log;
        ReadModelFixture f;
        tessel::ReadModelMesh* mesh = f.AddMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, c.faces);
        EXPECT_FALSE(tessel::GenerateReadModelNormals(&f.model, mesh));
        EXPECT_EQ(mesh->normals, nullptr);
        EXPECT_NE(log.Text().find(c.line), std::string::npos) << log.Text();
    }
}

TEST(NormalGenerationTest, ShortMemoryFailsWithTheStepsLogLine) {
    const char* lines[] = {
        "Read Model Convert Error : 法線自動作成処理で格納する法線のメモリの確保に失敗しました\r\n",
        "Read Model Convert Error : 関係する面の情報を格納するメモリの確保に失敗しました\r\n",
        "Read Model Convert Error : 法線自動作成処理で格納する法線のメモリの確保に失敗しました _ "
        "2\r\n",
    };
    for (int successes = 0; successes < 3; ++successes) {
        LogScope log;
        ReadModelFixture f;
        tessel::ReadModelMesh* mesh = f.AddMesh(CubePositions(), kCubeQuads);
        ASSERT_TRUE(tessel::TriangulateReadModel(&f.model, mesh));
        tessel::SetTrackedHeapFailingAfter(successes);
        EXPECT_FALSE(tessel::GenerateReadModelNormals(&f.model, mesh));
        tessel::SetTrackedHeapFailing(false);
        EXPECT_EQ(mesh->normals, nullptr);
        EXPECT_NE(log.Text().find(lines[successes]), std::string::npos) << log.Text();
    }
}

}  // namespace
}  // namespace tessel_test
