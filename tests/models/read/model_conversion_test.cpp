// The read-model conversion on a started model system: frame matrices taken
// apart, the directory, meshes per material, rigid and skinned lists and
// their limits, shared vertex records, vertex colours, textures (lost and
// unused), the exact vertex block with every pointer inside it, and failures
// at every allocation leaving nothing behind.
#include "models/read/read_model_conversion.h"

#include <array>
#include <cmath>
#include <cstring>
#include <set>
#include <string>

#include "foundation/memory/memory.h"
#include "graphics/device/graphics_device.h"
#include "models/buffers/model_buffers.h"
#include "models/core/model_system.h"
#include "tests/foundation/files/files_test_support.h"
#include "tests/models/model_test_support.h"
#include "tests/models/read/conversion_fixture.h"

namespace tessel_test {
namespace {

// The base table is made once and kept; the counts below start after it.
void WarmBaseTable() {
    tessel::ReleaseModelBase(tessel::NewModelBaseHandle());
}

class ConversionTest : public ModelSystemTest {
  protected:
    void TearDown() override {
        if (handle_ != -1) {
            tessel::ReleaseModelBase(handle_);
        }
        ModelSystemTest::TearDown();
    }

    // Converts and keeps the handle for the tear-down; the base or null.
    tessel::ModelBase* Convert(ConversionModel& m, const char* directory = nullptr) {
        handle_ = tessel::ConvertReadModel(&m.model, directory, nullptr);
        return handle_ == -1 ? nullptr : tessel::GetModelBase(handle_);
    }

    int handle_ = -1;
};

// ------------------------------------------------------------------ frames

struct DecomposeCase {
    const char* name;
    tessel::Mat4 transform;
    int order;
    tessel::Vec3 rotation;
    tessel::Vec3 scale;
    tessel::Vec3 translation;
};

tessel::Mat4 Rotated(float y, float sx, float sy, float sz, float tx) {
    tessel::Mat4 r, s, out;
    tessel::MatRotY(&r, y);
    tessel::MatScale(&s, sx, sy, sz);
    tessel::MatMul(&out, &s, &r);
    out.m[3][0] = tx;
    return out;
}

TEST_F(ConversionTest, AFrameMatrixIsTakenApartIntoOrderAnglesScaleAndTranslation) {
    const DecomposeCase cases[] = {
        {"rotation about y",
         Rotated(0.7f, 1.0f, 1.0f, 1.0f, 0.0f),
         0,
         {0.0f, 0.7f, 0.0f},
         {1.0f, 1.0f, 1.0f},
         {0.0f, 0.0f, 0.0f}},
        {"uniform scale 2",
         Rotated(0.0f, 2.0f, 2.0f, 2.0f, 0.0f),
         0,
         {0.0f, 0.0f, 0.0f},
         {2.0f, 2.0f, 2.0f},
         {0.0f, 0.0f, 0.0f}},
        {"scale, turn and move",
         Rotated(-1.25f, 1.5f, 0.5f, 3.0f, 4.5f),
         0,
         {0.0f, -1.25f, 0.0f},
         {1.5f, 0.5f, 3.0f},
         {4.5f, 0.0f, 0.0f}},
    };
    for (const DecomposeCase& c : cases) {
        ConversionModel m;
        tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
        frame->transform = c.transform;
        tessel::ModelBase* base = Convert(m);
        ASSERT_NE(base, nullptr) << c.name;
        const tessel::ModelFrame& f = base->frames[0];
        EXPECT_EQ(f.rotationOrder, c.order) << c.name;
        EXPECT_NEAR(f.rotation.x, c.rotation.x, 1e-5f) << c.name;
        EXPECT_NEAR(f.rotation.y, c.rotation.y, 1e-5f) << c.name;
        EXPECT_NEAR(f.rotation.z, c.rotation.z, 1e-5f) << c.name;
        EXPECT_NEAR(f.scale.x, c.scale.x, 1e-5f) << c.name;
        EXPECT_NEAR(f.scale.y, c.scale.y, 1e-5f) << c.name;
        EXPECT_NEAR(f.scale.z, c.scale.z, 1e-5f) << c.name;
        EXPECT_EQ(f.translation.x, c.translation.x) << c.name;
        if (c.scale.x == 1.0f) {
            EXPECT_EQ(f.scale.x, 1.0f) << c.name << ": a scale within 1e-5 of 1 stays exactly 1";
        }
        // The runtime composes the parts back into the file's matrix.
        for (int r = 0; r < 3; ++r) {
            for (int k = 0; k < 4; ++k) {
                EXPECT_NEAR(f.local.m[r][k], c.transform.m[k][r], 1e-5f) << c.name << r << k;
            }
        }
        tessel::ReleaseModelBase(handle_);
        handle_ = -1;
    }
}

TEST_F(ConversionTest, AnyRotationIsTakenInTheFirstOrderThatRebuildsIt) {
    // XYZ comes first and rebuilds every rotation, whatever order made it.
    int (*const builders[])(tessel::Mat4*, float, float, float) = {
        tessel::MatFromEulerXYZ, tessel::MatFromEulerXZY, tessel::MatFromEulerYZX,
        tessel::MatFromEulerYXZ, tessel::MatFromEulerZXY, tessel::MatFromEulerZYX};
    for (auto build : builders) {
        for (float middle : {-0.4f, 1.5707964f}) {
            ConversionModel m;
            tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
            build(&frame->transform, 0.3f, middle, 0.9f);
            tessel::ModelBase* base = Convert(m);
            ASSERT_NE(base, nullptr);
            EXPECT_EQ(base->frames[0].rotationOrder, 0);
            EXPECT_EQ(base->frames[0].scale.x, 1.0f);
            for (int r = 0; r < 3; ++r) {
                for (int k = 0; k < 3; ++k) {
                    EXPECT_NEAR(base->frames[0].local.m[r][k], frame->transform.m[k][r], 2e-5f)
                        << middle << " " << r << k;
                }
            }
            tessel::ReleaseModelBase(handle_);
            handle_ = -1;
        }
    }
}

TEST_F(ConversionTest, TheDirectoryEndsInOneSeparator) {
    const struct {
        const char* given;
        const char* stored;
    } cases[] = {{"models/", "models/"}, {"models", "models/"}, {"a\\b\\", "a\\b\\"}, {"", "/"}};
    for (const auto& c : cases) {
        ConversionModel m;
        tessel::ReadModelNewFrame(&m.model, "f", nullptr);
        tessel::ModelBase* base = Convert(m, c.given);
        ASSERT_NE(base, nullptr);
        EXPECT_STREQ(base->directory, c.stored) << c.given;
        tessel::ReleaseModelBase(handle_);
        handle_ = -1;
    }
    ConversionModel m;
    tessel::ReadModelNewFrame(&m.model, "f", nullptr);
    tessel::ModelBase* base = Convert(m, nullptr);
    ASSERT_NE(base, nullptr);
    EXPECT_STREQ(base->directory, "");
}

// ------------------------------------------------------------------ meshes

TEST_F(ConversionTest, TwoMaterialsGiveTwoMeshesOfTheFrameAndNoneGivesOne) {
    for (int materials : {0, 2}) {
        ConversionModel m;
        tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
        std::vector<TriangleCorners> triangles = StripTriangles(3);
        triangles[1].material = materials == 2 ? 1 : 0;
        tessel::ReadModelMesh* mesh = m.AddMesh(frame, StripPositions(3), triangles);
        for (int i = 0; i < materials; ++i) {
            mesh->materials[mesh->materialCount++] = tessel::ReadModelNewMaterial(&m.model, "m");
        }
        tessel::ModelBase* base = Convert(m);
        ASSERT_NE(base, nullptr);
        const int want = materials == 0 ? 1 : 2;
        ASSERT_EQ(base->meshCount, want);
        EXPECT_EQ(base->frames[0].meshCount, want);
        EXPECT_EQ(base->frames[0].meshes, &base->meshes[0]);
        for (int i = 0; i < want; ++i) {
            EXPECT_EQ(base->meshes[i].frame, &base->frames[0]);
            EXPECT_EQ(base->meshes[i].material, materials == 0 ? nullptr : &base->materials[i]);
            EXPECT_EQ(base->meshes[i].cullMode, 1);
            EXPECT_EQ(base->meshes[i].initiallyVisible, 1);
        }
        EXPECT_EQ(base->meshes[0].triangleCount, materials == 0 ? 3 : 2);
        tessel::ReleaseModelBase(handle_);
        handle_ = -1;
    }
}

TEST_F(ConversionTest, ThirtyThousandRigidTrianglesMakeListsOf21845And8155) {
    ConversionModel m;
    tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
    m.AddMesh(frame, StripPositions(30000), StripTriangles(30000));
    tessel::ModelBase* base = Convert(m);
    ASSERT_NE(base, nullptr);
    ASSERT_EQ(base->triangleListCount, 2);
    EXPECT_EQ(base->triangleLists[0].indexCount, 3 * 21845);
    EXPECT_EQ(base->triangleLists[1].indexCount, 3 * 8155);
    for (int l = 0; l < 2; ++l) {
        EXPECT_EQ(base->triangleLists[l].vertexType, 0);
        EXPECT_EQ(base->triangleLists[l].vertexSize, 32);
        EXPECT_EQ(base->triangleLists[l].filteredIndexCount, base->triangleLists[l].indexCount);
    }
    // Vertex numbers restart in the second list: its first triangle's corners
    // are its vertices 0, 1, 2.
    EXPECT_EQ(base->triangleLists[1].indices[0], 0);
    EXPECT_EQ(base->triangleLists[1].indices[1], 1);
    EXPECT_EQ(base->triangleLists[1].indices[2], 2);
    EXPECT_EQ(base->triangleLists[0].vertexCount, 21847);
}

// Positions 0..3 of a quad, each moved by `bones` bones of its own weights.
void SkinQuad(ConversionModel& m, tessel::ReadModelMesh* mesh, int bones, int cornerWithMore = -1,
              int more = 0) {
    for (int b = 0; b < (bones > more ? bones : more); ++b) {
        std::vector<tessel::ReadModelSkinWeightPair> pairs;
        for (int p = 0; p < 4; ++p) {
            const int count = p == cornerWithMore ? more : bones;
            if (b < count) {
                pairs.push_back({p, 1.0f / static_cast<float>(count) + 0.001f * p});
            }
        }
        m.AddBone(mesh, 0, pairs, 0.25f * b);
    }
}

std::vector<tessel::Vec3> Quad() {
    return {{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {1.0f, 1.0f, 0.0f}};
}
std::vector<TriangleCorners> QuadTriangles() {
    TriangleCorners a{}, b{};
    a.p[0] = 0, a.p[1] = 1, a.p[2] = 2;
    b.p[0] = 2, b.p[1] = 1, b.p[2] = 3;
    return {a, b};
}

TEST_F(ConversionTest, ASkinnedQuadWithThreeBonesACornerIsOneFourBoneList) {
    ConversionModel m;
    tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
    tessel::ReadModelMesh* mesh = m.AddMesh(frame, Quad(), QuadTriangles());
    SkinQuad(m, mesh, 3);
    tessel::ModelBase* base = Convert(m);
    ASSERT_NE(base, nullptr);
    ASSERT_EQ(base->triangleListCount, 1);
    const tessel::ModelTriangleList& list = base->triangleLists[0];
    EXPECT_EQ(list.vertexType, 1);
    EXPECT_EQ(list.vertexSize, 48);
    ASSERT_EQ(list.boneCount, 3);
    EXPECT_EQ(list.bones[0], 0);
    EXPECT_EQ(list.bones[1], 1);
    EXPECT_EQ(list.bones[2], 2);
    EXPECT_EQ(list.bones[3], -1);
    EXPECT_EQ(list.bones[53], -1);
    EXPECT_EQ(base->frames[0].maxWeights, 4);
    EXPECT_EQ(base->frames[0].positionStride, 12 + 8 * 4);
    EXPECT_EQ(base->frames[0].skinBoneRefCount, 3);
    // Position 3's record: three pairs in bone order, then the end marker.
    const uint8_t* record = base->frames[0].positions + 3 * base->frames[0].positionStride;
    int32_t bone = 0;
    float weight = 0.0f;
    for (int k = 0; k < 3; ++k) {
        std::memcpy(&bone, record + 12 + 8 * k, 4);
        std::memcpy(&weight, record + 16 + 8 * k, 4);
        EXPECT_EQ(bone, k);
        EXPECT_EQ(weight, 1.0f / 3.0f + 0.003f);
    }
    std::memcpy(&bone, record + 12 + 24, 4);
    EXPECT_EQ(bone, -1);
    // Equal bind matrices would have merged; each bone keeps its own.
    EXPECT_EQ(base->skinBoneCount, 3);
    EXPECT_EQ(base->skinBones[1].translationOnly, 1);
    EXPECT_EQ(base->skinBones[1].bind.m[0][3], 0.25f);
    EXPECT_EQ(base->skinBones[2].uses[0].refPosition, 2);
    // The gathered source vertex 0 holds its weights and bone slots.
    float weights[4];
    std::memcpy(weights, list.vertices, 16);
    EXPECT_EQ(weights[0], 1.0f / 3.0f);
    EXPECT_EQ(weights[3], 0.0f);
    EXPECT_EQ(list.vertices[44 + 2], 2);
}

TEST_F(ConversionTest, ACornerWithTenBonesIsDrawnThroughASoftwareListOfStride112) {
    ConversionModel m;
    tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
    tessel::ReadModelMesh* mesh = m.AddMesh(frame, Quad(), QuadTriangles());
    SkinQuad(m, mesh, 2, 3, 10);
    tessel::ModelBase* base = Convert(m);
    ASSERT_NE(base, nullptr);
    ASSERT_EQ(base->triangleListCount, 2);
    EXPECT_EQ(base->triangleLists[0].vertexType, 1) << "the first triangle has 2 bones a corner";
    const tessel::ModelTriangleList& soft = base->triangleLists[1];
    EXPECT_EQ(soft.vertexType, 3);
    EXPECT_EQ(soft.vertexSize, 112);
    EXPECT_EQ(soft.freeBoneCount, 10);
    EXPECT_EQ(soft.indexCount, 3);
    EXPECT_EQ(base->frames[0].maxWeights, 10);
    // The source vertex of position 3 lists its ten pairs.
    const uint32_t* maps = soft.meshVertexIndices;
    for (int i = 0; i < soft.vertexCount; ++i) {
        const auto* v = reinterpret_cast<const tessel::ModelMeshVertex*>(
            soft.mesh->vertices + static_cast<size_t>(maps[i]) * soft.mesh->vertexStride);
        if (v->positionIndex != 3) {
            continue;
        }
        uint32_t lastBone = 0;
        std::memcpy(&lastBone, soft.vertices + 112 * i + 32 + 8 * 9, 4);
        EXPECT_EQ(lastBone, 9u);
    }
}

TEST_F(ConversionTest, UnweightedFacesOfASkinnedMeshGoIntoTheRigidListAndTheDevice) {
    ConversionModel m;
    tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
    std::vector<tessel::Vec3> positions = Quad();
    positions.push_back({3.0f, 3.0f, 0.0f});
    positions.push_back({4.0f, 3.0f, 0.0f});
    positions.push_back({3.0f, 4.0f, 0.0f});
    std::vector<TriangleCorners> triangles = QuadTriangles();
    TriangleCorners loose{};
    loose.p[0] = 4, loose.p[1] = 5, loose.p[2] = 6;
    triangles.push_back(loose);
    tessel::ReadModelMesh* mesh = m.AddMesh(frame, positions, triangles);
    SkinQuad(m, mesh, 2);
    tessel::ModelBase* base = Convert(m);
    ASSERT_NE(base, nullptr);
    ASSERT_EQ(base->triangleListCount, 2);
    const tessel::ModelTriangleList& rigid = base->triangleLists[0];
    EXPECT_EQ(rigid.vertexType, 0);
    ASSERT_EQ(rigid.indexCount, 3);
    EXPECT_EQ(base->triangleLists[1].vertexType, 1);
    EXPECT_EQ(base->triangleLists[1].indexCount, 6);
    EXPECT_EQ(rigid.positions[rigid.indices[0]].x, 3.0f);
    EXPECT_EQ(rigid.positions[rigid.indices[1]].x, 4.0f);
    // The device's buffers hold the loose triangle too.
    ASSERT_EQ(tessel::BuildModelBaseBuffers(handle_, 0), 0);
    ASSERT_NE(rigid.bufferBlock, nullptr);
    void* data = nullptr;
    ASSERT_EQ(rigid.bufferBlock->indexBuffer->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
    const auto* words = static_cast<const uint16_t*>(data) + rigid.firstIndex;
    EXPECT_EQ(words[0], rigid.indices[0]);
    EXPECT_EQ(words[2], rigid.indices[2]);
    rigid.bufferBlock->indexBuffer->Unlock();
}

TEST_F(ConversionTest, EqualCornersShareOneVertexRecord) {
    ConversionModel m;
    tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
    std::vector<TriangleCorners> triangles = QuadTriangles();
    for (TriangleCorners& t : triangles) {
        for (int k = 0; k < 3; ++k) {
            t.uv[k] = t.p[k];
        }
    }
    triangles[1].uv[1] = 4;  // position 1 again, with other coordinates
    tessel::ReadModelMesh* mesh = m.AddMesh(frame, Quad(), triangles);
    mesh->texCoordCounts[0] = 5;
    mesh->texCoords[0] = reinterpret_cast<float(*)[3]>(m.Chain(std::vector<std::array<float, 3>>{
        {0.0f, 0.0f, 0.0f},
        {1.0f, 0.0f, 0.0f},
        {0.0f, 1.0f, 0.0f},
        {1.0f, 1.0f, 0.0f},
        {1.0f, 0.25f, 0.0f}}));  // only v differs from position 1's
    tessel::ModelBase* base = Convert(m);
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(base->meshes[0].vertexCount, 5) << "2 shared corners, one differing in u, v";
    EXPECT_EQ(base->meshes[0].vertexStride, 28);
    const tessel::ModelMeshTriangle* tris = base->meshes[0].triangles;
    EXPECT_EQ(tris[1].words[0], tris[0].words[2]) << "position 2 is shared";
    EXPECT_NE(tris[1].words[1], tris[0].words[1]) << "position 1 differs in v";
}

TEST_F(ConversionTest, VertexColoursSaturateAndAreStoredBlueGreenRedAlpha) {
    const struct {
        float rgba[4];
        uint32_t want;
    } cases[] = {
        {{1.0f, 1.5f, -0.5f, 1.0f}, 0xFFFFFF00u},
        {{0.2f, 0.5f, 0.999f, 1.0f}, 0xFF337FFEu},
        {{-0.0f, 0.0f, 0.0f, 0.5f}, 0x7F000000u},
    };
    for (const auto& c : cases) {
        ConversionModel m;
        tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
        tessel::ReadModelMesh* mesh = m.AddMesh(frame, StripPositions(1), StripTriangles(1));
        std::vector<std::array<float, 4>> colours = {{c.rgba[0], c.rgba[1], c.rgba[2], c.rgba[3]}};
        mesh->colourCount = 1;
        mesh->colours = reinterpret_cast<float(*)[4]>(m.Chain(colours));
        tessel::ModelBase* base = Convert(m);
        ASSERT_NE(base, nullptr);
        const auto* v = reinterpret_cast<const tessel::ModelMeshVertex*>(base->meshes[0].vertices);
        EXPECT_EQ(v->diffuse, c.want) << std::hex << c.want;
        EXPECT_EQ(v->specular, 0u);
        EXPECT_EQ(base->meshes[0].translucentColours, (c.want >> 24) != 0xFF ? 1 : 0);
        tessel::ReleaseModelBase(handle_);
        handle_ = -1;
    }
    ConversionModel m;
    tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
    m.AddMesh(frame, StripPositions(1), StripTriangles(1));
    tessel::ModelBase* base = Convert(m);
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(reinterpret_cast<const tessel::ModelMeshVertex*>(base->meshes[0].vertices)->diffuse,
              0xFFFFFFFFu)
        << "no colours: white";
}

TEST_F(ConversionTest, TranslucentMaterialsLoseCullingOnlyWhenTheReaderAsks) {
    for (int noCull : {0, 1}) {
        ConversionModel m;
        m.model.noCullTranslucent = noCull;
        tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
        std::vector<TriangleCorners> triangles = StripTriangles(2);
        triangles[1].material = 1;
        tessel::ReadModelMesh* mesh = m.AddMesh(frame, StripPositions(2), triangles);
        for (float alpha : {0.999f, 1.0f}) {
            tessel::ReadModelMaterial* material = tessel::ReadModelNewMaterial(&m.model, "m");
            material->diffuse[3] = alpha;
            mesh->materials[mesh->materialCount++] = material;
        }
        tessel::ModelBase* base = Convert(m);
        ASSERT_NE(base, nullptr);
        EXPECT_EQ(base->meshes[0].cullMode, noCull ? 0 : 1);
        EXPECT_EQ(base->meshes[1].cullMode, 1);
        tessel::ReleaseModelBase(handle_);
        handle_ = -1;
    }
}

// ---------------------------------------------------------------- textures

TEST_F(ConversionTest, ALostTextureIsWhiteAndATextureOfNoMaterialIsNotLoaded) {
    ConversionModel m;
    tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
    tessel::ReadModelMesh* mesh = m.AddMesh(frame, StripPositions(1), StripTriangles(1));
    tessel::ReadModelMaterial* used = tessel::ReadModelNewMaterial(&m.model, "used");
    tessel::ReadModelMaterial* unused = tessel::ReadModelNewMaterial(&m.model, "unused");
    tessel::ReadModelTexture* lost =
        tessel::ReadModelNewTexture(&m.model, "lost", "lost.png", nullptr, 0, 0.1f, 1, 0);
    tessel::ReadModelTexture* idle =
        tessel::ReadModelNewTexture(&m.model, "idle", "idle.png", nullptr, 0, 0.1f, 1, 0);
    used->layers[0].count = 1;
    used->layers[0].textures[0] = lost;
    unused->layers[0].count = 0;  // the reader cleared it: no face uses the material
    unused->layers[0].textures[0] = idle;
    mesh->materials[mesh->materialCount++] = used;
    tessel::ModelBase* base = Convert(m, dir().Windows().c_str());
    ASSERT_NE(base, nullptr) << Log();
    ASSERT_EQ(base->textureCount, 2);
    const tessel::ModelTexture& t = base->textures[0];
    EXPECT_NE(t.imageHandle, -1);
    EXPECT_EQ(t.width, 8);
    EXPECT_EQ(t.height, 8);
    EXPECT_STREQ(t.name, "lost");
    EXPECT_STREQ(t.colourFile, "lost.png");
    EXPECT_NE(Log().find("lost.png"), std::string::npos) << Log();
    EXPECT_EQ(base->textures[1].imageHandle, -1);
    EXPECT_EQ(Log().find("idle.png"), std::string::npos) << Log();
    EXPECT_EQ(base->materials[0].diffuseLayerCount, 1);
    EXPECT_EQ(base->materials[0].diffuseLayers[0].texture, 0);
}

TEST_F(ConversionTest, TexturesAreReadBesideTheModelAndABrokenOneFailsWithItsName) {
    const std::vector<uint8_t> white(tessel::WhiteTextureTga(),
                                     tessel::WhiteTextureTga() + tessel::kWhiteTextureTgaSize);
    WriteWholeFile(dir().Linux("white.tga"), white);
    WriteWholeFile(dir().Linux("broken.tga"), std::vector<uint8_t>{'n', 'o', 't', ' ', 'a', 'n',
                                                                   ' ', 'i', 'm', 'a', 'g', 'e'});
    for (const char* file : {"white.tga", "broken.tga"}) {
        const bool broken = std::string(file) == "broken.tga";
        WarmBaseTable();
        const uint32_t before = tessel::TrackedBlockCount();
        {
            ConversionModel m;
            tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
            tessel::ReadModelMesh* mesh = m.AddMesh(frame, StripPositions(1), StripTriangles(1));
            tessel::ReadModelMaterial* material = tessel::ReadModelNewMaterial(&m.model, "m");
            material->layers[0].count = 1;
            material->layers[0].textures[0] =
                tessel::ReadModelNewTexture(&m.model, "skin", file, nullptr, 0, 0.1f, 1, 0);
            mesh->materials[mesh->materialCount++] = material;
            const int handle = tessel::ConvertReadModel(&m.model, dir().Windows().c_str(), nullptr);
            if (broken) {
                EXPECT_EQ(handle, -1);
            } else {
                ASSERT_NE(handle, -1) << Log();
                const tessel::ModelTexture& t = tessel::GetModelBase(handle)->textures[0];
                EXPECT_EQ(t.colourImageSize, tessel::kWhiteTextureTgaSize);
                EXPECT_EQ(t.width, 8);
                EXPECT_STREQ(t.colourFile, "white.tga");
                EXPECT_EQ(t.filterMode, 2);
                EXPECT_EQ(Log().find("white.tga"), std::string::npos) << "found, no log line";
                tessel::ReleaseModelBase(handle);
            }
        }
        EXPECT_EQ(tessel::TrackedBlockCount(), before) << file;
    }
    EXPECT_NE(Log().find("Read Model Convert Error : テクスチャ skin の読み込みに失敗しました"),
              std::string::npos)
        << Log();
}

// ------------------------------------------------- the whole base, failures

// Two frames (the second a child with a shape and a skinned mesh of two
// materials, the first rigid) and an animation set.
void FillRichModel(ConversionModel& m) {
    tessel::ReadModelFrame* root = tessel::ReadModelNewFrame(&m.model, "root", nullptr);
    tessel::ReadModelFrame* child = tessel::ReadModelNewFrame(&m.model, "child", root);
    m.AddMesh(root, StripPositions(5), StripTriangles(5));
    std::vector<TriangleCorners> triangles = StripTriangles(6);
    triangles[2].material = 1;
    triangles[5].material = 1;
    tessel::ReadModelMesh* mesh = m.AddMesh(child, StripPositions(6), triangles);
    for (int i = 0; i < 2; ++i) {
        mesh->materials[mesh->materialCount++] = tessel::ReadModelNewMaterial(&m.model, "mat");
    }
    m.AddBone(mesh, 0, {{0, 0.5f}, {1, 1.0f}, {2, 0.25f}, {7, 1.0f}}, 1.0f);
    m.AddBone(mesh, 1, {{0, 0.5f}, {2, 0.75f}, {3, 1.0f}}, 2.0f);
    tessel::ReadModelShape* shape = tessel::ReadModelNewShape(&m.model, "smile", child);
    shape->mesh = mesh;
    shape->hasNormals = 1;
    std::vector<tessel::ReadModelShapeVertex> moved = {
        {2, {0.5f, 0.0f, 0.0f}, {0.0f, 0.1f, 0.0f}}, {6, {0.0f, 0.25f, 0.0f}, {0.0f, 0.0f, 0.2f}}};
    shape->vertexCount = 2;
    shape->vertices = m.Chain(moved);
    tessel::ReadModelAnimSet* set = tessel::ReadModelNewAnimSet(&m.model, "walk");
    tessel::ReadModelAnim* anim = tessel::ReadModelNewAnim(&m.model, set);
    anim->targetIndex = 1;
    anim->length = 2.0f;
    tessel::ReadModelKeySet* keys = tessel::ReadModelNewKeySet(&m.model, anim);
    keys->kind = 1;
    keys->target = 10;
    keys->keyCount = 2;
    keys->hasTimeTable = 1;
    keys->times = m.Chain(std::vector<float>{0.0f, 2.0f});
    keys->values = m.Chain(std::vector<float>{0.0f, 0.0f, 0.0f, 1.0f, 2.0f, 3.0f});
    m.model.keyDataBytes += 2 * 16;
}

template <typename T>
void ExpectInside(const tessel::ModelVertexBlock& block, const T* p, int64_t bytes,
                  const char* what) {
    if (p == nullptr) {
        EXPECT_EQ(bytes, 0) << what;
        return;
    }
    const auto* start = static_cast<const uint8_t*>(block.block);
    const auto* at = reinterpret_cast<const uint8_t*>(p);
    EXPECT_GE(at, start) << what;
    EXPECT_LE(at + bytes, start + block.size) << what;
}

TEST_F(ConversionTest, EveryPointerOfTheVertexDataLiesInsideTheExactBlock) {
    ConversionModel m;
    FillRichModel(m);
    tessel::ModelBase* base = Convert(m);
    ASSERT_NE(base, nullptr) << Log();
    const tessel::ModelVertexBlock& block = base->vertexBlock;
    ASSERT_NE(block.block, nullptr);
    int64_t used = 0;
    for (int i = 0; i < base->frameCount; ++i) {
        const tessel::ModelFrame& f = base->frames[i];
        ExpectInside(block, f.positions, int64_t{f.positionCount} * f.positionStride, "positions");
        ExpectInside(block, f.normals, int64_t{f.normalCount} * 36, "normals");
        used += int64_t{f.positionCount} * f.positionStride + int64_t{f.normalCount} * 36;
    }
    for (int i = 0; i < base->meshCount; ++i) {
        const tessel::ModelMesh& mesh = base->meshes[i];
        ExpectInside(block, mesh.vertices, int64_t{mesh.vertexCount} * mesh.vertexStride, "mesh");
        ExpectInside(block, mesh.triangles, int64_t{mesh.triangleCount} * 16, "triangles");
        used += int64_t{mesh.vertexCount} * mesh.vertexStride + int64_t{mesh.triangleCount} * 16;
    }
    for (int i = 0; i < base->shapeMeshCount; ++i) {
        const tessel::ModelShapeMesh& s = base->shapeMeshes[i];
        ExpectInside(block, s.data, int64_t{s.vertexCount} * 28, "shape");
        used += int64_t{s.vertexCount} * 28;
    }
    for (int i = 0; i < base->triangleListCount; ++i) {
        const tessel::ModelTriangleList& l = base->triangleLists[i];
        ExpectInside(block, l.vertices, int64_t{l.vertexCount} * l.vertexSize, "list");
        ExpectInside(block, l.meshVertexIndices, int64_t{l.vertexCount} * 4, "map");
        ExpectInside(block, l.positions, int64_t{l.vertexCount} * 12, "gathered");
        ExpectInside(block, l.normals, int64_t{l.vertexCount} * 12, "gathered normals");
        used += int64_t{l.vertexCount} * (l.vertexSize + 28);
        // The relocated records still describe the same vertices.
        for (int v = 0; v < l.vertexCount; ++v) {
            const auto* mv = reinterpret_cast<const tessel::ModelMeshVertex*>(
                l.mesh->vertices +
                static_cast<size_t>(l.meshVertexIndices[v]) * l.mesh->vertexStride);
            float x = 0.0f;
            std::memcpy(&x,
                        l.mesh->frame->positions +
                            static_cast<size_t>(mv->positionIndex) * l.mesh->frame->positionStride,
                        4);
            EXPECT_EQ(l.positions[v].x, x);
        }
    }
    EXPECT_LE(block.size, used + 16 * 16 + 16) << "the block is cut to what the base uses";
    // The rest of the base.
    EXPECT_EQ(base->frames[1].parent, &base->frames[0]);
    EXPECT_EQ(base->firstTopFrame, &base->frames[0]);
    EXPECT_EQ(base->topFrameCount, 1);
    EXPECT_EQ(base->frames[0].firstChild, &base->frames[1]);
    EXPECT_STREQ(base->frames[1].name, "child");
    ASSERT_EQ(base->meshCount, 3);
    EXPECT_EQ(base->frames[1].meshCount, 2);
    ASSERT_EQ(base->shapeCount, 1);
    EXPECT_STREQ(base->shapes[0].name, "smile");
    EXPECT_EQ(base->shapes[0].shapeMeshCount, 2);
    EXPECT_EQ(base->shapeMeshes[0].vertexCount, 2) << "positions 2 and 6, in both materials";
    EXPECT_EQ(base->shapeMeshes[1].vertexCount, 2);
    EXPECT_EQ(base->shapeMeshes[1].mesh, &base->meshes[2]);
    EXPECT_EQ(base->shapeMeshes[0].data[0].position.x, 0.5f);
    EXPECT_EQ(base->shapeMeshes[0].data[0].normal.y, 0.1f);
    EXPECT_EQ(base->meshes[1].hasShape, 1);
    EXPECT_GT(base->shapeEntryBytes, 0);
    ASSERT_EQ(base->animSetCount, 1);
    EXPECT_STREQ(base->animSets[0].name, "walk");
    ASSERT_EQ(base->animTable[1], &base->anims[0]);
    EXPECT_EQ(base->animTable[0], nullptr);
    EXPECT_EQ(base->anims[0].keySets[0].times[1], 2.0f);
    EXPECT_EQ(static_cast<const float*>(base->anims[0].keySets[0].values)[5], 3.0f);
    // Draw-change bits: frame 0 covers itself, its mesh, frame 1 and its two.
    EXPECT_EQ(base->frames[0].drawChange.wordIndex, 0);
    EXPECT_EQ(base->frames[0].drawChange.singleMask, 1u << 1);
    EXPECT_EQ(base->frames[0].drawChange.maskWords[0], 0x3Eu);
    EXPECT_EQ(base->meshes[0].drawChange.singleMask, 1u << 2);
    EXPECT_EQ(base->frames[1].drawChange.maskWords[0], 0x38u);
    EXPECT_EQ(base->frames[1].change.maskWords[0], 0x4u);
    EXPECT_EQ(base->frames[0].change.maskWords[0], 0x6u);
}

TEST_F(ConversionTest, AFailureAtAnyAllocationLeavesNothingBehind) {
    WarmBaseTable();
    bool converted = false;
    int attempts = 0;
    for (int successes = 0; !converted && successes < 400; ++successes) {
        ++attempts;
        const uint32_t before = tessel::TrackedBlockCount();
        const int32_t slots = tessel::g_models.bases.count;
        {
            ConversionModel m;
            FillRichModel(m);
            tessel::SetTrackedHeapFailingAfter(successes);
            const int handle = tessel::ConvertReadModel(&m.model, nullptr, nullptr);
            tessel::SetTrackedHeapFailing(false);
            if (handle != -1) {
                converted = true;
                tessel::ReleaseModelBase(handle);
            }
        }
        EXPECT_EQ(tessel::TrackedBlockCount(), before) << successes;
        EXPECT_EQ(tessel::g_models.bases.count, slots) << successes;
    }
    EXPECT_TRUE(converted);
    EXPECT_GT(attempts, 20) << "every allocation of the conversion was made to fail once";
}

TEST_F(ConversionTest, ABoneOfNoFrameFailsWithTheFrameName) {
    WarmBaseTable();
    const uint32_t before = tessel::TrackedBlockCount();
    {
        ConversionModel m;
        tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "arm", nullptr);
        tessel::ReadModelMesh* mesh = m.AddMesh(frame, Quad(), QuadTriangles());
        m.AddBone(mesh, -1, {{0, 1.0f}});
        EXPECT_EQ(tessel::ConvertReadModel(&m.model, nullptr, nullptr), -1);
    }
    EXPECT_EQ(tessel::TrackedBlockCount(), before);
    EXPECT_EQ(tessel::g_models.bases.count, 0);
    EXPECT_NE(
        Log().find("フレーム arm のスキニングメッシュのスキンウエイト情報で一致するノードの無い"
                   "リンク情報がありました"),
        std::string::npos)
        << Log();
}

// Faces of 24 bones each, drawn from 200 by a fixed sequence: no list of 54
// holds two faces' bones for long, so the lists multiply.
void FillManyListModel(ConversionModel& m, int faces) {
    tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
    std::vector<tessel::Vec3> positions;
    std::vector<TriangleCorners> triangles;
    for (int f = 0; f < faces; ++f) {
        TriangleCorners t{};
        for (int k = 0; k < 3; ++k) {
            t.p[k] = 3 * f + k;
            positions.push_back({static_cast<float>(f), static_cast<float>(k), 0.0f});
        }
        triangles.push_back(t);
    }
    tessel::ReadModelMesh* mesh = m.AddMesh(frame, positions, triangles);
    std::vector<std::vector<tessel::ReadModelSkinWeightPair>> pairs(200);
    uint32_t seed = 12345;
    for (int p = 0; p < 3 * faces; ++p) {
        std::set<int> bones;
        while (bones.size() < 8) {
            seed = seed * 1103515245u + 12345u;
            bones.insert(static_cast<int>((seed >> 8) % 200));
        }
        for (int b : bones) {
            pairs[b].push_back({p, 0.125f});
        }
    }
    for (int b = 0; b < 200; ++b) {
        m.AddBone(mesh, 0, pairs[b], static_cast<float>(b));
    }
}

TEST_F(ConversionTest, MoreThan128ListsOfAKindFailTheConversion) {
    {
        ConversionModel m;
        FillManyListModel(m, 120);
        tessel::ModelBase* base = Convert(m);
        ASSERT_NE(base, nullptr) << Log();
        EXPECT_GT(base->triangleListCount, 40);
        EXPECT_LE(base->triangleListCount, 128);
        for (int l = 0; l < base->triangleListCount; ++l) {
            EXPECT_EQ(base->triangleLists[l].vertexType, 2);
            EXPECT_LE(base->triangleLists[l].boneCount, 54);
        }
        tessel::ReleaseModelBase(handle_);
        handle_ = -1;
    }
    const uint32_t before = tessel::TrackedBlockCount();
    {
        ConversionModel m;
        FillManyListModel(m, 600);
        EXPECT_EQ(tessel::ConvertReadModel(&m.model, nullptr, nullptr), -1);
    }
    EXPECT_EQ(tessel::TrackedBlockCount(), before);
    EXPECT_NE(Log().find("トライアングルリストが 128 を超えました"), std::string::npos) << Log();
}

}  // namespace
}  // namespace tessel_test
