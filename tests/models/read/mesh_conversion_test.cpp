// How the read-model conversion cuts a skinned mesh into triangle lists: a
// face's kind by the most bones on one of its corners, the order of a
// group's lists, 54 bones a list (a list that fills up keeps the bones it
// took), 16-bit indices per list, at most 128 lists of each kind, and faces
// whose corners carry no weight drawn rigid, down to the device's pixels.
#include <array>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "graphics/device/graphics_device.h"
#include "models/buffers/model_buffers.h"
#include "models/core/model_system.h"
#include "models/read/read_model_conversion.h"
#include "platform/d3d9_testing.h"
#include "tests/models/model_test_support.h"
#include "tests/models/read/conversion_fixture.h"
#include "tests/models/unlit_block_draw.h"

namespace tessel_test {
namespace {

class MeshConversionTest : public ModelSystemTest {
  protected:
    void TearDown() override {
        Release();
        ModelSystemTest::TearDown();
    }

    tessel::ModelBase* Convert(ConversionModel& m) {
        handle_ = tessel::ConvertReadModel(&m.model, nullptr, nullptr);
        return handle_ == -1 ? nullptr : tessel::GetModelBase(handle_);
    }

    void Release() {
        if (handle_ != -1) {
            tessel::ReleaseModelBase(handle_);
            handle_ = -1;
        }
    }

    int handle_ = -1;
};

// A triangle on three positions of its own; each corner is moved by its
// bones in equal shares.
struct SkinnedTriangle {
    std::vector<int> corners[3];
};

// Disjoint bones: corner k takes counts[k] bones numbered on from `first`.
SkinnedTriangle Disjoint(int first, int a, int b, int c) {
    SkinnedTriangle t;
    const int counts[3] = {a, b, c};
    for (int k = 0; k < 3; ++k) {
        for (int i = 0; i < counts[k]; ++i) {
            t.corners[k].push_back(first++);
        }
    }
    return t;
}

// One mesh of the triangles on frame 0, with `bones` skin weights (binds
// apart, so that none merge) whatever the triangles use.
tessel::ReadModelMesh* AddSkinnedTriangles(ConversionModel& m, tessel::ReadModelFrame* frame,
                                           const std::vector<SkinnedTriangle>& triangles,
                                           int bones) {
    std::vector<tessel::Vec3> positions;
    std::vector<TriangleCorners> recipes;
    std::vector<std::vector<tessel::ReadModelSkinWeightPair>> pairs(bones);
    for (size_t t = 0; t < triangles.size(); ++t) {
        TriangleCorners recipe{};
        for (int k = 0; k < 3; ++k) {
            const int p = static_cast<int>(3 * t) + k;
            recipe.p[k] = p;
            positions.push_back({static_cast<float>(t) + 0.5f * k, 0.25f * (k == 1), 0.0f});
            const std::vector<int>& corner = triangles[t].corners[k];
            for (int b : corner) {
                pairs[b].push_back({p, 1.0f / static_cast<float>(corner.size())});
            }
        }
        recipes.push_back(recipe);
    }
    tessel::ReadModelMesh* mesh = m.AddMesh(frame, positions, recipes);
    for (int b = 0; b < bones; ++b) {
        m.AddBone(mesh, 0, pairs[b], 0.125f * static_cast<float>(b + 1));
    }
    return mesh;
}

// ------------------------------------------------------------- face kinds

TEST_F(MeshConversionTest, AFaceIsDrawnByTheMostBonesOnOneOfItsCorners) {
    const struct {
        int corners[3];
        int vertexType;
        int stride;
        int maxWeights;
    } cases[] = {
        {{0, 0, 0}, 0, 32, 0},     // a skinned mesh's face without weight
        {{1, 1, 1}, 1, 48, 4},     // three bones, one a corner
        {{3, 3, 3}, 1, 48, 4},     // nine bones on the face, three a corner
        {{4, 1, 0}, 1, 48, 4},     // the top of the 4-bone kind
        {{5, 0, 1}, 2, 64, 8},     // the foot of the 8-bone kind
        {{8, 8, 8}, 2, 64, 8},     // 24 bones on the face
        {{1, 9, 1}, 3, 128, 11},   // (11 + 4) x 8 = 120, rounded up to 16
        {{0, 0, 10}, 3, 112, 10},  // (10 + 4) x 8 = 112
    };
    for (const auto& c : cases) {
        const std::string name = std::to_string(c.corners[0]) + "," + std::to_string(c.corners[1]) +
                                 "," + std::to_string(c.corners[2]);
        ConversionModel m;
        tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
        const int bones = c.corners[0] + c.corners[1] + c.corners[2];
        AddSkinnedTriangles(m, frame, {Disjoint(0, c.corners[0], c.corners[1], c.corners[2])},
                            bones > 0 ? bones : 1);
        tessel::ModelBase* base = Convert(m);
        ASSERT_NE(base, nullptr) << name << Log();
        ASSERT_EQ(base->triangleListCount, 1) << name;
        const tessel::ModelTriangleList& list = base->triangleLists[0];
        EXPECT_EQ(list.vertexType, c.vertexType) << name;
        EXPECT_EQ(list.vertexSize, c.stride) << name;
        EXPECT_EQ(list.indexCount, 3) << name;
        EXPECT_EQ(base->frames[0].maxWeights, c.maxWeights) << name;
        EXPECT_EQ(base->frames[0].positionStride, 12 + 8 * c.maxWeights) << name;
        if (c.vertexType == 1 || c.vertexType == 2) {
            ASSERT_EQ(list.boneCount, bones) << name;
            for (int i = 0; i < 54; ++i) {
                EXPECT_EQ(list.bones[i], i < bones ? i : -1) << name << " slot " << i;
            }
        }
        EXPECT_EQ(list.freeBoneCount, c.vertexType == 3 ? bones : 0) << name;
        Release();
    }
}

TEST_F(MeshConversionTest, AGroupsListsComeRigidThenFourThenEightBonesThenSoftware) {
    ConversionModel m;
    tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
    // In face order: software, 8-bone, rigid, 4-bone, software again.
    AddSkinnedTriangles(m, frame,
                        {Disjoint(0, 9, 0, 0), Disjoint(0, 6, 0, 0), Disjoint(0, 0, 0, 0),
                         Disjoint(0, 2, 2, 0), Disjoint(0, 1, 9, 0)},
                        10);
    tessel::ModelBase* base = Convert(m);
    ASSERT_NE(base, nullptr) << Log();
    ASSERT_EQ(base->meshCount, 1);
    ASSERT_EQ(base->meshes[0].triangleListCount, 4);
    EXPECT_EQ(base->meshes[0].triangleLists, &base->triangleLists[0]);
    const int types[] = {0, 1, 2, 3};
    const int indices[] = {3, 3, 3, 6};
    for (int l = 0; l < 4; ++l) {
        EXPECT_EQ(base->triangleLists[l].vertexType, types[l]) << l;
        EXPECT_EQ(base->triangleLists[l].indexCount, indices[l]) << l;
        EXPECT_EQ(base->triangleLists[l].mesh, &base->meshes[0]) << l;
    }
    // The software list's corners are numbered in order of first use.
    const tessel::ModelTriangleList& soft = base->triangleLists[3];
    const uint16_t want[] = {0, 1, 2, 3, 4, 5};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(soft.indices[i], want[i]) << i;
    }
    EXPECT_EQ(soft.freeBoneCount, 10) << "bones 0..9 over its two faces, the most of one face";
}

// -------------------------------------------------------------- 54 bones

TEST_F(MeshConversionTest, FiftyFourBonesFillAListWhichKeepsTheBonesItTook) {
    ConversionModel m;
    tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
    // Five faces of twelve bones apart: four fill 48 slots of the first list,
    // the fifth adds six more before the list is full and goes on. The sixth
    // needs bones 54..59, which only the second list holds, and 0..5.
    std::vector<SkinnedTriangle> faces;
    for (int f = 0; f < 5; ++f) {
        faces.push_back(Disjoint(12 * f, 4, 4, 4));
    }
    SkinnedTriangle sixth;
    sixth.corners[0] = {54, 55, 56, 57};
    sixth.corners[1] = {58, 59, 0, 1};
    sixth.corners[2] = {2, 3, 4, 5};
    faces.push_back(sixth);
    AddSkinnedTriangles(m, frame, faces, 60);
    tessel::ModelBase* base = Convert(m);
    ASSERT_NE(base, nullptr) << Log();
    ASSERT_EQ(base->triangleListCount, 2);
    const tessel::ModelTriangleList& first = base->triangleLists[0];
    const tessel::ModelTriangleList& second = base->triangleLists[1];
    ASSERT_EQ(first.boneCount, 54);
    for (int i = 0; i < 54; ++i) {
        EXPECT_EQ(first.bones[i], i) << "slot " << i;
    }
    EXPECT_EQ(first.indexCount, 3 * 4) << "bones 48..53 stay without a face of theirs";
    ASSERT_EQ(second.boneCount, 18);
    for (int i = 0; i < 18; ++i) {
        EXPECT_EQ(second.bones[i], i < 12 ? 48 + i : i - 12) << "slot " << i;
    }
    EXPECT_EQ(second.bones[18], -1);
    EXPECT_EQ(second.indexCount, 3 * 2);
    // Each list's vertices name bones by their slot in that list.
    for (const tessel::ModelTriangleList* list : {&first, &second}) {
        for (int v = 0; v < list->vertexCount; ++v) {
            const uint8_t* slots = list->vertices + 48 * v + 44;
            for (int k = 0; k < 4; ++k) {
                EXPECT_LT(slots[k], list->boneCount) << v << " " << k;
            }
        }
    }
}

// ------------------------------------------------------ 16-bit indices

// A strip whose every position is moved by the same `bones` bones.
void FillSkinnedStrip(ConversionModel& m, int triangles, int bones) {
    tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
    const std::vector<tessel::Vec3> positions = StripPositions(triangles);
    tessel::ReadModelMesh* mesh = m.AddMesh(frame, positions, StripTriangles(triangles));
    for (int b = 0; b < bones; ++b) {
        std::vector<tessel::ReadModelSkinWeightPair> pairs;
        for (int p = 0; p < static_cast<int>(positions.size()); ++p) {
            pairs.push_back({p, 1.0f / static_cast<float>(bones)});
        }
        m.AddBone(mesh, 0, pairs, 0.5f * static_cast<float>(b + 1));
    }
}

TEST_F(MeshConversionTest, ListsStopBeforeTheirIndicesPass65535) {
    const struct {
        const char* name;
        int bones;
        int triangles;
        int vertexType;
        int firstTriangles;  // the second list takes the rest
    } cases[] = {
        // A skinned list stays below 65535 indices: 21844 triangles.
        {"4-bone", 1, 21845, 1, 21844},
        {"8-bone", 6, 21846, 2, 21844},
        // Rigid and software lists take a triangle while at most 65534
        // indices are used: 21845 triangles, 65535 indices.
        {"software", 9, 21846, 3, 21845},
        {"rigid", 0, 21846, 0, 21845},
    };
    for (const auto& c : cases) {
        ConversionModel m;
        FillSkinnedStrip(m, c.triangles, c.bones);
        tessel::ModelBase* base = Convert(m);
        ASSERT_NE(base, nullptr) << c.name << Log();
        ASSERT_EQ(base->triangleListCount, 2) << c.name;
        for (int l = 0; l < 2; ++l) {
            EXPECT_EQ(base->triangleLists[l].vertexType, c.vertexType) << c.name;
        }
        EXPECT_EQ(base->triangleLists[0].indexCount, 3 * c.firstTriangles) << c.name;
        EXPECT_EQ(base->triangleLists[1].indexCount, 3 * (c.triangles - c.firstTriangles))
            << c.name;
        // The second list starts its vertices afresh at the next triangle.
        EXPECT_EQ(base->triangleLists[1].indices[0], 0) << c.name;
        EXPECT_EQ(base->triangleLists[1].vertexCount, c.triangles - c.firstTriangles + 2)
            << c.name << ": the rest of the strip";
        Release();
    }
}

// ----------------------------------------------------- 128 lists a kind

// 8-bone faces of 24 bones each drawn from 4096 by a fixed sequence: two
// fill 48 slots of a list and the third finds six too few, so every list
// holds two faces. One 4-bone face opens a list of the other kind.
void FillTwoFacesAList(ConversionModel& m, int eightBoneFaces) {
    tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
    std::vector<SkinnedTriangle> faces;
    uint32_t seed = 2463534242u;
    for (int f = 0; f < eightBoneFaces; ++f) {
        std::set<int> bones;
        while (bones.size() < 24) {
            seed ^= seed << 13;
            seed ^= seed >> 17;
            seed ^= seed << 5;
            bones.insert(static_cast<int>(seed % 4096));
        }
        SkinnedTriangle t;
        int k = 0;
        for (int b : bones) {
            t.corners[k++ / 8].push_back(b);
        }
        faces.push_back(t);
    }
    faces.push_back(Disjoint(0, 2, 2, 2));
    AddSkinnedTriangles(m, frame, faces, 4096);
}

TEST_F(MeshConversionTest, AGroupHoldsUpTo128ListsOfEachKind) {
    {
        ConversionModel m;
        FillTwoFacesAList(m, 256);
        tessel::ModelBase* base = Convert(m);
        ASSERT_NE(base, nullptr) << Log();
        ASSERT_EQ(base->triangleListCount, 1 + 128) << "one 4-bone list, 128 of 8 bones";
        EXPECT_EQ(base->triangleLists[0].vertexType, 1);
        for (int l = 1; l <= 128; ++l) {
            EXPECT_EQ(base->triangleLists[l].vertexType, 2) << l;
            EXPECT_EQ(base->triangleLists[l].indexCount, 6) << l;
            EXPECT_LE(base->triangleLists[l].boneCount, 54) << l;
        }
        Release();
    }
    tessel::ReleaseModelBase(tessel::NewModelBaseHandle());
    const uint32_t before = tessel::TrackedBlockCount();
    {
        ConversionModel m;
        FillTwoFacesAList(m, 257);
        EXPECT_EQ(tessel::ConvertReadModel(&m.model, nullptr, nullptr), -1);
    }
    EXPECT_EQ(tessel::TrackedBlockCount(), before);
    EXPECT_EQ(tessel::g_models.bases.count, 0);
    EXPECT_NE(Log().find("マテリアル 0 のトライアングルリストが 128 を超えました"),
              std::string::npos)
        << Log();
}

// ------------------------------------------- unweighted faces, on screen

// The window of the target read back around the triangle drawn below.
constexpr int kLeft = 420, kTop = 100, kWidth = 80, kHeight = 70;

// Draws one list from its device buffers, unlit in its vertex colour, over
// a black target seen through x and y times 1/8; the window read back.
std::vector<uint32_t> DrawList(const tessel::ModelTriangleList& list) {
    IDirect3DDevice9* device = BeginUnlitBlockDraw(list.bufferBlock, 0xFF000000u);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, list.firstVertex, 0,
                                           list.vertexCount, list.firstIndex, list.indexCount / 3),
              D3D_OK);
    IDirect3DSurface9* target = EndUnlitBlockDraw(device);
    std::vector<uint32_t> pixels;
    for (int y = kTop; y < kTop + kHeight; ++y) {
        for (int x = kLeft; x < kLeft + kWidth; ++x) {
            pixels.push_back(platform::ReadD3D9SurfacePixel(target, x, y) & 0xFFFFFFu);
        }
    }
    target->Release();
    return pixels;
}

TEST_F(MeshConversionTest, FacesOfASkinnedMeshWithoutWeightAreDrawn) {
    ConversionModel m;
    tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
    // A weighted triangle far off screen, and one without weight at x, y in
    // 3..4: on a 640 x 480 target, pixels 440..480 across, 120..150 down.
    const std::vector<tessel::Vec3> positions = {{20.0f, 20.0f, 0.0f}, {21.0f, 20.0f, 0.0f},
                                                 {20.0f, 21.0f, 0.0f}, {3.0f, 3.0f, 0.5f},
                                                 {4.0f, 3.0f, 0.5f},   {3.0f, 4.0f, 0.5f}};
    std::vector<TriangleCorners> triangles(2);
    for (int k = 0; k < 3; ++k) {
        triangles[0].p[k] = k;
        triangles[1].p[k] = 3 + k;
        triangles[1].colour[k] = 1;
    }
    tessel::ReadModelMesh* mesh = m.AddMesh(frame, positions, triangles);
    const std::vector<std::array<float, 4>> colours = {{1.0f, 1.0f, 1.0f, 1.0f},
                                                       {0.25f, 0.5f, 1.0f, 1.0f}};
    mesh->colourCount = 2;
    mesh->colours = reinterpret_cast<float(*)[4]>(m.Chain(colours));
    m.AddBone(mesh, 0, {{0, 1.0f}, {1, 1.0f}, {2, 1.0f}});
    tessel::ModelBase* base = Convert(m);
    ASSERT_NE(base, nullptr) << Log();
    ASSERT_EQ(tessel::BuildModelBaseBuffers(handle_, 0), 0);
    const tessel::ModelTriangleList* rigid = nullptr;
    for (int l = 0; l < base->triangleListCount; ++l) {
        if (base->triangleLists[l].vertexType == 0) {
            rigid = &base->triangleLists[l];
        }
    }
    ASSERT_NE(rigid, nullptr) << "the unweighted face has a list to be drawn through";
    ASSERT_NE(rigid->bufferBlock, nullptr);
    const std::vector<uint32_t> pixels = DrawList(*rigid);
    // The oracle: the triangle's pixel centres by its edges, the colour by
    // the stored byte rule (0.25 x 255 = 63.75, 0.5 x 255 = 127.5, both cut).
    const uint32_t colour = (63u << 16) | (127u << 8) | 255u;
    int inside = 0;
    for (int y = kTop; y < kTop + kHeight; ++y) {
        for (int x = kLeft; x < kLeft + kWidth; ++x) {
            const double u = (x + 0.5 - 440.0) / 40.0;
            const double v = (150.0 - (y + 0.5)) / 30.0;
            const double margin = 0.05;
            const uint32_t got = pixels[static_cast<size_t>(y - kTop) * kWidth + (x - kLeft)];
            if (u > margin && v > margin && u + v < 1.0 - margin) {
                EXPECT_EQ(got, colour) << x << "," << y;
                ++inside;
            } else if (u < -margin || v < -margin || u + v > 1.0 + margin) {
                EXPECT_EQ(got, 0u) << x << "," << y;
            }
        }
    }
    EXPECT_GT(inside, 400);
}

// Each index of the second face one past its array (texture coordinates on
// the first layer and on a third one with none on the second), or at -1:
// the conversion refuses the face by its number; all in range, it converts.
TEST_F(MeshConversionTest, AFaceIndexPastItsArrayFailsTheConversionWithItsNumber) {
    struct Case {
        const char* name;
        void (*spoil)(tessel::ReadModelCorner* corner);
    };
    const Case cases[] = {
        {"in range", [](tessel::ReadModelCorner*) {}},
        {"position", [](tessel::ReadModelCorner* c) { c->position = 4; }},
        {"normal", [](tessel::ReadModelCorner* c) { c->normal = -1; }},
        {"colour", [](tessel::ReadModelCorner* c) { c->colour = 2; }},
        {"first layer", [](tessel::ReadModelCorner* c) { c->texCoord[0] = 3; }},
        {"third layer", [](tessel::ReadModelCorner* c) { c->texCoord[2] = 5; }},
    };
    for (const Case& c : cases) {
        const size_t logLength = Log().size();
        ConversionModel m;
        tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "frame", nullptr);
        tessel::ReadModelMesh* mesh =
            m.AddMesh(frame, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}},
                      {TriangleCorners{{0, 1, 2}}, TriangleCorners{{1, 3, 2}}});
        mesh->colours = reinterpret_cast<float(*)[4]>(
            m.Chain(std::vector<std::array<float, 4>>{{1, 1, 1, 1}, {1, 0, 0, 1}}));
        mesh->colourCount = 2;
        const std::vector<std::array<float, 3>> uv = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
        for (int layer : {0, 2}) {
            mesh->texCoords[layer] = reinterpret_cast<float(*)[3]>(m.Chain(uv));
            mesh->texCoordCounts[layer] = layer == 0 ? 3 : 5;
        }
        c.spoil(&mesh->faces[1].corners[2]);
        const bool converted = Convert(m) != nullptr;
        Release();
        const std::string lines = Log().substr(logLength);
        EXPECT_EQ(converted, std::strcmp(c.name, "in range") == 0) << c.name << lines;
        EXPECT_EQ(
            lines.find("Read Model Convert Error : 面 1 が範囲外の頂点データを指しています") !=
                std::string::npos,
            !converted)
            << c.name << lines;
    }
}

}  // namespace
}  // namespace tessel_test
