// The PMD reader into a read model: the header rules, bone frames placed in
// passes (a child before its parent, cycles refused), skin weights, the
// material list, toon names found past the English names, the morph mesh
// and its shapes, and the refusals of counts and indices past the file.
// Files are made with our own writer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/memory/memory.h"
#include "models/pmd/pmd_reader.h"
#include "models/pmd/pmd_work.h"
#include "tests/foundation/files/files_test_support.h"
#include "tools/lib/pmd_character.h"

namespace {

using tessel::PmdBoneDesc;
using tessel::PmdMaterialDesc;
using tessel::PmdModelDesc;
using tessel::PmdVertexDesc;
using tessel::ReadModel;
using tessel::ReadModelFrame;
using tessel::ReadModelMesh;

PmdVertexDesc Vertex(float x, float y, float z, uint16_t bone0 = 0, uint16_t bone1 = 0,
                     uint8_t weight = 100) {
    PmdVertexDesc v = {};
    v.position[0] = x;
    v.position[1] = y;
    v.position[2] = z;
    v.normal[2] = -1.0f;
    v.uv[0] = x * 0.25f;
    v.uv[1] = y * 0.5f;
    v.bones[0] = bone0;
    v.bones[1] = bone1;
    v.weight = weight;
    v.edge = 1;
    return v;
}

PmdMaterialDesc Material(uint32_t indices, uint8_t toon = 0xFF, uint8_t edge = 0) {
    return PmdMaterialDesc{{0.5f, 0.25f, 0.75f, 0.875f},
                           6.5f,
                           {0.1f, 0.2f, 0.3f},
                           {0.4f, 0.5f, 0.6f},
                           toon,
                           edge,
                           indices,
                           ""};
}

PmdBoneDesc Bone(const char* name, uint16_t parent, float x, float y, float z) {
    return PmdBoneDesc{name, parent, 0, 0, 0, {x, y, z}};
}

// Two triangles over four vertices on one bone, one material.
PmdModelDesc Square() {
    PmdModelDesc m;
    m.vertices = {Vertex(0, 0, 0), Vertex(1, 0, 0), Vertex(0, 1, 0), Vertex(1, 1, 0)};
    m.indices = {0, 1, 2, 2, 1, 3};
    m.materials = {Material(6)};
    m.bones = {Bone("root", 0xFFFF, 0, 0, 0)};
    m.toonNames = {"toon01.bmp", "toon02.bmp"};
    return m;
}

class PmdRead : public ::testing::Test {
  protected:
    PmdRead() { before_ = tessel::TrackedBlockCount(); }
    ~PmdRead() override {
        tessel::ReadModelRelease(&model_);
        EXPECT_EQ(tessel::TrackedBlockCount(), before_);
    }

    int Read(const std::vector<uint8_t>& bytes) {
        tessel::ReadModelRelease(&model_);
        tessel::ReadModelClear(&model_);
        image_ = bytes;
        image_.push_back(0);
        const tessel::ModelLoadParams params = {
            image_.data(), static_cast<int32_t>(bytes.size()), "dir\\walker.pmd", "walker", nullptr,
            nullptr};
        return tessel::ReadPmdIntoModel(&params, &model_);
    }
    int Read(const PmdModelDesc& m) { return Read(tessel::WritePmd(m)); }
    std::string Log() const { return log_.Text(); }

    ReadModelFrame* Frame(const char* name) {
        for (ReadModelFrame* f = model_.firstFrame; f != nullptr; f = f->next) {
            if (std::strcmp(f->name, name) == 0) {
                return f;
            }
        }
        return nullptr;
    }

    ReadModel model_ = {};
    tessel_test::LogScope log_;

  private:
    std::vector<uint8_t> image_;
    size_t before_ = 0;
};

TEST_F(PmdRead, TheHeaderDecides) {
    // Not "Pmd": passed on without a word.
    std::vector<uint8_t> bytes = tessel::WritePmd(Square());
    bytes[0] = 'p';
    EXPECT_EQ(Read(bytes), -2);
    EXPECT_EQ(Read(std::vector<uint8_t>{'P', 'm'}), -2);
    EXPECT_EQ(Log().find("PMD"), std::string::npos) << Log();
    PmdModelDesc two = Square();
    two.version = 2.0f;
    EXPECT_EQ(Read(two), -1);
    EXPECT_NE(Log().find("PMD Load Error : バージョン１．０以外は読み込めません"),
              std::string::npos)
        << Log();
    ASSERT_EQ(Read(Square()), 0) << Log();
    EXPECT_EQ(model_.noCullTranslucent, 1);
    EXPECT_EQ(model_.reverseWinding, 0);
    EXPECT_EQ(model_.ownSmoothing, 0);
    EXPECT_STREQ(model_.filePath, "dir\\walker.pmd");
    EXPECT_STREQ(model_.baseName, "walker");
}

TEST_F(PmdRead, ABoneListedBeforeItsParentLandsUnderIt) {
    PmdModelDesc m = Square();
    m.bones = {Bone("hand", 2, 3.0f, 5.5f, 0.25f), Bone("root", 0xFFFF, 1.0f, 2.0f, 0.0f),
               Bone("arm", 1, 2.0f, 4.0f, 0.5f)};
    ASSERT_EQ(Read(m), 0) << Log();
    ASSERT_EQ(model_.frameCount, 4);
    ReadModelFrame* mesh = model_.firstFrame;
    EXPECT_STREQ(mesh->name, "Mesh");
    ReadModelFrame* root = Frame("root");
    ReadModelFrame* arm = Frame("arm");
    ReadModelFrame* hand = Frame("hand");
    ASSERT_TRUE(root != nullptr && arm != nullptr && hand != nullptr);
    EXPECT_EQ(root->parent, nullptr);
    EXPECT_EQ(arm->parent, root);
    EXPECT_EQ(hand->parent, arm);
    // Frames are made pass by pass: a later sibling made in the first pass
    // comes before an earlier one that waited for its parent.
    PmdModelDesc siblings = Square();
    siblings.bones = {Bone("late", 1, 0, 0, 0), Bone("root", 0xFFFF, 0, 0, 0),
                      Bone("early", 1, 0, 0, 0), Bone("under", 0, 0, 0, 0)};
    ASSERT_EQ(Read(siblings), 0) << Log();
    std::string order;
    for (ReadModelFrame* f = model_.firstFrame; f != nullptr; f = f->next) {
        order += std::string(f->name) + " ";
    }
    EXPECT_EQ(order, "Mesh root early late under ");
    ASSERT_EQ(Read(m), 0) << Log();
    root = Frame("root");
    hand = Frame("hand");
    // Translations are heads less the parent's head.
    EXPECT_FLOAT_EQ(root->translation.y, 2.0f);
    EXPECT_FLOAT_EQ(hand->translation.x, 1.0f);
    EXPECT_FLOAT_EQ(hand->translation.y, 1.5f);
    EXPECT_FLOAT_EQ(hand->translation.z, -0.25f);
}

TEST_F(PmdRead, ParentCyclesAndStrayParentsAreRefused) {
    PmdModelDesc cycle = Square();
    cycle.bones = {Bone("root", 0xFFFF, 0, 0, 0), Bone("a", 2, 0, 1, 0), Bone("b", 1, 0, 2, 0)};
    EXPECT_EQ(Read(cycle), -1);
    EXPECT_NE(Log().find("PMD Load Error : 親子関係が循環しているボーンがあります ( 2 個 )"),
              std::string::npos)
        << Log();
    PmdModelDesc self = Square();
    self.bones = {Bone("self", 0, 0, 0, 0)};
    EXPECT_EQ(Read(self), -1);
    PmdModelDesc stray = Square();
    stray.bones = {Bone("root", 0xFFFF, 0, 0, 0), Bone("lost", 2, 0, 1, 0)};
    EXPECT_EQ(Read(stray), -1);
    EXPECT_NE(Log().find("No.1 のボーンの親が範囲外の番号 2 を指しています"), std::string::npos)
        << Log();
}

TEST_F(PmdRead, WeightsOfOneOrTwoBones) {
    PmdModelDesc m = Square();
    m.bones = {Bone("a", 0xFFFF, 0, 0, 0), Bone("b", 0, 0.5f, 1.5f, -2.0f),
               Bone("unused", 0, 0, 0, 0)};
    m.vertices = {Vertex(0, 0, 0, 0, 1, 100), Vertex(1, 0, 0, 1, 0, 37), Vertex(0, 1, 0, 1, 1, 0),
                  Vertex(1, 1, 0, 0, 0, 12)};
    ASSERT_EQ(Read(m), 0) << Log();
    ReadModelMesh* mesh = model_.firstMesh;
    ASSERT_EQ(mesh->skinWeightCount, 2);  // the unused bone gets no record
    const tessel::ReadModelSkinWeight* a = mesh->skinWeights[0];
    const tessel::ReadModelSkinWeight* b = mesh->skinWeights[1];
    EXPECT_EQ(a->boneFrameIndex, Frame("a")->index);
    EXPECT_EQ(b->boneFrameIndex, Frame("b")->index);
    ASSERT_EQ(a->weightCount, 3);
    EXPECT_EQ(a->weights[0].positionIndex, 0);
    EXPECT_FLOAT_EQ(a->weights[0].weight, 1.0f);
    EXPECT_EQ(a->weights[1].positionIndex, 1);
    EXPECT_FLOAT_EQ(a->weights[1].weight, 0.63f);
    EXPECT_EQ(a->weights[2].positionIndex, 3);
    EXPECT_FLOAT_EQ(a->weights[2].weight, 1.0f);
    ASSERT_EQ(b->weightCount, 3);
    EXPECT_FLOAT_EQ(b->weights[0].weight, 0.0f);
    EXPECT_FLOAT_EQ(b->weights[1].weight, 0.37f);
    EXPECT_EQ(b->weights[2].positionIndex, 2);
    EXPECT_FLOAT_EQ(b->weights[2].weight, 1.0f);
    // The offset moves the bone's head to the origin.
    EXPECT_FLOAT_EQ(b->offsetMatrix.m[3][0], -0.5f);
    EXPECT_FLOAT_EQ(b->offsetMatrix.m[3][1], -1.5f);
    EXPECT_FLOAT_EQ(b->offsetMatrix.m[3][2], 2.0f);
    EXPECT_FLOAT_EQ(b->offsetMatrix.m[0][0], 1.0f);
}

TEST_F(PmdRead, VerticesAndFacesAsStored) {
    ASSERT_EQ(Read(Square()), 0) << Log();
    ASSERT_EQ(model_.meshCount, 1);
    ReadModelMesh* mesh = model_.firstMesh;
    EXPECT_EQ(mesh->frame, model_.firstFrame);
    ASSERT_EQ(mesh->positionCount, 4);
    EXPECT_FLOAT_EQ(mesh->positions[3].x, 1.0f);
    EXPECT_FLOAT_EQ(mesh->positions[3].y, 1.0f);
    EXPECT_EQ(mesh->positionFlags[2], 1);
    EXPECT_FLOAT_EQ(mesh->normals[1].z, -1.0f);
    EXPECT_FLOAT_EQ(mesh->texCoords[0][1][0], 0.25f);
    EXPECT_FLOAT_EQ(mesh->texCoords[0][2][1], 0.5f);
    ASSERT_EQ(mesh->faceCount, 2);
    EXPECT_EQ(mesh->faces[1].cornerCount, 3);
    EXPECT_EQ(mesh->faces[1].corners[0].position, 2);
    EXPECT_EQ(mesh->faces[1].corners[1].normal, 1);
    EXPECT_EQ(mesh->faces[1].corners[2].texCoord[0], 3);
}

TEST_F(PmdRead, AMaterialWithoutIndicesIsNotInTheMeshList) {
    PmdModelDesc m = Square();
    m.materials = {Material(3), Material(0, 1, 1), Material(3)};
    ASSERT_EQ(Read(m), 0) << Log();
    ASSERT_EQ(model_.materialCount, 3);
    ReadModelMesh* mesh = model_.firstMesh;
    ASSERT_EQ(mesh->materialCount, 2);
    EXPECT_STREQ(mesh->materials[0]->name, "Mat_0");
    EXPECT_STREQ(mesh->materials[1]->name, "Mat_2");
    EXPECT_EQ(mesh->faces[0].materialIndex, 0);
    EXPECT_EQ(mesh->faces[1].materialIndex, 1);
    const tessel::ReadModelMaterial* idle = tessel::ReadModelNthMaterial(&model_, 1);
    EXPECT_STREQ(idle->name, "Mat_1");
    EXPECT_EQ(idle->userWord, 2);
    EXPECT_FLOAT_EQ(idle->diffuse[3], 0.875f);
    EXPECT_FLOAT_EQ(idle->power, 6.5f);
    EXPECT_FLOAT_EQ(idle->specular[2], 0.3f);
    EXPECT_FLOAT_EQ(idle->specular[3], 0.0f);
    EXPECT_FLOAT_EQ(idle->ambient[0], 0.4f);
    EXPECT_FLOAT_EQ(idle->ambient[3], 0.0f);
    // Toon index 1 names the second toon file; the edge flag sets the edge
    // width and scale as floats.
    ASSERT_NE(idle->toonTexture, nullptr);
    EXPECT_STREQ(idle->toonTexture->name, "toon02.bmp");
    EXPECT_STREQ(idle->toonTexture->colourFile, "toon02.bmp");
    EXPECT_EQ(idle->toonTexture->addressU, 3);
    EXPECT_EQ(idle->toonTexture->addressV, 3);
    EXPECT_EQ(idle->toonTexture->reverseFlag, 1);
    EXPECT_EQ(idle->words[0], 2);
    EXPECT_EQ(idle->words[1], 1);
    float edge[2];
    std::memcpy(edge, &idle->words[2], 8);
    EXPECT_FLOAT_EQ(edge[0], 0.01f);
    EXPECT_FLOAT_EQ(edge[1], 1.25f);
    const tessel::ReadModelMaterial* plain = tessel::ReadModelNthMaterial(&model_, 0);
    EXPECT_EQ(plain->toonTexture, nullptr);
    EXPECT_EQ(plain->words[2], 0);
    EXPECT_EQ(plain->sphereTextureIndex, -1);
}

TEST_F(PmdRead, ADiffuseTextureNamedByTheMaterial) {
    PmdModelDesc m = Square();
    m.materials[0].texture = "skin.bmp";
    ASSERT_EQ(Read(m), 0) << Log();
    const tessel::ReadModelMaterial* material = tessel::ReadModelNthMaterial(&model_, 0);
    ASSERT_EQ(material->layers[0].count, 1);
    EXPECT_STREQ(material->layers[0].textures[0]->name, "skin.bmp");
    EXPECT_EQ(material->layers[0].textures[0]->reverseFlag, 0);
}

// The toon names lie behind the English names, whose size depends on the
// bone, morph and display-name counts; with no morphs there are no morph
// names at all.
TEST_F(PmdRead, ToonNamesAreFoundBehindTheEnglishNames) {
    struct Case {
        int morphs;
        uint8_t english;
        bool toonTable;
        bool found;
    };
    const Case cases[] = {{0, 1, true, true},  {1, 1, true, true}, {3, 1, true, true},
                          {0, 0, true, true},  {2, 0, true, true}, {0, 1, false, false},
                          {3, 1, false, false}};
    for (const Case& c : cases) {
        PmdModelDesc m = Square();
        m.materials = {Material(6, 1)};
        m.boneDisplayNames = {"a", "b"};
        m.englishFlag = c.english;
        m.writeToonTable = c.toonTable;
        for (int s = 0; s < c.morphs; ++s) {
            m.morphs.push_back({s == 0 ? "base" : "morph", 0, {{0, {0.0f, 0.0f, 0.0f}}}});
        }
        ASSERT_EQ(Read(m), 0) << Log();
        const tessel::ReadModelTexture* toon = model_.firstMaterial->toonTexture;
        EXPECT_EQ(toon != nullptr, c.found) << c.morphs << " " << int{c.english};
        if (toon != nullptr) {
            EXPECT_STREQ(toon->name, "toon02.bmp");
        }
    }
}

TEST_F(PmdRead, AMorphlessModelHasOneMeshAndNoShapes) {
    for (int morphs = 0; morphs < 2; ++morphs) {
        PmdModelDesc m = Square();
        if (morphs == 1) {
            m.morphs = {{"base", 0, {{1, {1.0f, 0.0f, 0.0f}}}}};
        }
        ASSERT_EQ(Read(m), 0) << Log();
        EXPECT_EQ(model_.meshCount, 1) << morphs;
        EXPECT_EQ(model_.shapeCount, 0) << morphs;
        EXPECT_EQ(model_.firstMesh->faceCount, 2);
    }
}

// Three squares side by side on three materials, the middle one's right
// edge morphed: the faces touching base vertices move to the morph mesh.
TEST_F(PmdRead, MorphsMoveTheirFacesIntoASecondMesh) {
    PmdModelDesc m;
    for (int column = 0; column < 4; ++column) {
        m.vertices.push_back(Vertex(static_cast<float>(column), 0, 0, 0, 1, 60));
        m.vertices.push_back(Vertex(static_cast<float>(column), 1, 0, 1, 1, 100));
    }
    for (uint16_t s = 0; s < 3; ++s) {
        const uint16_t a = static_cast<uint16_t>(2 * s);
        const uint16_t quad[6] = {a,
                                  static_cast<uint16_t>(a + 2),
                                  static_cast<uint16_t>(a + 1),
                                  static_cast<uint16_t>(a + 1),
                                  static_cast<uint16_t>(a + 2),
                                  static_cast<uint16_t>(a + 3)};
        m.indices.insert(m.indices.end(), quad, quad + 6);
        m.materials.push_back(Material(6));
    }
    m.bones = {Bone("root", 0xFFFF, 0, 0, 0), Bone("top", 0, 0, 1, 0)};
    // Base: vertices 5 and 4 (column 2), stored a little off their mesh
    // positions; the morph moves base entry 1 (vertex 4).
    m.morphs = {{"base", 0, {{5, {2.0f, 1.25f, 0.0f}}, {4, {2.0f, 0.0f, 0.0f}}}},
                {"open", 1, {{1, {0.0f, -0.5f, 0.25f}}}},
                {"wide", 2, {{0, {0.75f, 0.0f, 0.0f}}, {1, {0.75f, 0.0f, 0.0f}}}}};
    ASSERT_EQ(Read(m), 0) << Log();
    ASSERT_EQ(model_.meshCount, 2);
    ReadModelMesh* first = model_.firstMesh;
    ReadModelMesh* second = first->next;
    EXPECT_EQ(second->frame, model_.firstFrame);
    // Squares 1 and 2 touch column 2; square 0 stays.
    ASSERT_EQ(first->faceCount, 2);
    EXPECT_EQ(first->faces[1].corners[2].position, 3);
    ASSERT_EQ(second->faceCount, 4);
    // The base vertices come first, then the others in order of first use:
    // 2, 3 (square 1), then 6, 7 (square 2).
    ASSERT_EQ(second->positionCount, 6);
    const int expectedOld[6] = {5, 4, 2, 3, 6, 7};
    for (int n = 0; n < 6; ++n) {
        EXPECT_FLOAT_EQ(second->positions[n].x, first->positions[expectedOld[n]].x) << n;
        EXPECT_FLOAT_EQ(second->positions[n].y, first->positions[expectedOld[n]].y) << n;
    }
    // Square 1's first face (2, 4, 3) in new indices.
    EXPECT_EQ(second->faces[0].corners[0].position, 2);
    EXPECT_EQ(second->faces[0].corners[1].position, 1);
    EXPECT_EQ(second->faces[0].corners[2].position, 3);
    EXPECT_EQ(second->faces[0].corners[1].texCoord[0], 1);
    ASSERT_EQ(second->materialCount, 2);
    EXPECT_STREQ(second->materials[0]->name, "Mat_1");
    EXPECT_STREQ(second->materials[1]->name, "Mat_2");
    EXPECT_EQ(second->faces[0].materialIndex, 0);
    EXPECT_EQ(second->faces[3].materialIndex, 1);
    // Shapes: one per morph after the base, on the morph mesh; positions are
    // the base entry's position less the vertex's, plus the offset.
    ASSERT_EQ(model_.shapeCount, 2);
    const tessel::ReadModelShape* open = model_.firstShape;
    EXPECT_STREQ(open->name, "open");
    EXPECT_EQ(open->mesh, second);
    EXPECT_EQ(open->hasNormals, 0);
    EXPECT_EQ(open->frame, model_.firstFrame);
    ASSERT_EQ(open->vertexCount, 1);
    EXPECT_EQ(open->vertices[0].positionIndex, 1);
    EXPECT_FLOAT_EQ(open->vertices[0].position.y, -0.5f);
    EXPECT_FLOAT_EQ(open->vertices[0].position.z, 0.25f);
    const tessel::ReadModelShape* wide = open->next;
    EXPECT_EQ(wide->vertices[0].positionIndex, 0);
    EXPECT_FLOAT_EQ(wide->vertices[0].position.x, 0.75f);
    EXPECT_FLOAT_EQ(wide->vertices[0].position.y, 0.25f);  // 1.25 stored, 1 in the mesh
    // Skin weights: bone 0 weighs the bottom row (0, 2, 4, 6), bone 1 all.
    // The morph mesh's records hold its vertices with new indices; the first
    // mesh's lose the base vertices 4 and 5.
    ASSERT_EQ(second->skinWeightCount, 2);
    const tessel::ReadModelSkinWeight* low = second->skinWeights[0];
    ASSERT_EQ(low->weightCount, 3);  // old 2, 4, 6
    EXPECT_EQ(low->weights[0].positionIndex, 2);
    EXPECT_EQ(low->weights[1].positionIndex, 1);
    EXPECT_FLOAT_EQ(low->weights[1].weight, 0.6f);
    EXPECT_EQ(low->weights[2].positionIndex, 4);
    EXPECT_EQ(second->skinWeights[1]->weightCount, 6);
    EXPECT_EQ(second->skinWeights[1]->boneFrameIndex, first->skinWeights[1]->boneFrameIndex);
    ASSERT_EQ(first->skinWeights[0]->weightCount, 3);  // 0, 2, 6
    EXPECT_EQ(first->skinWeights[0]->weights[2].positionIndex, 6);
    EXPECT_EQ(first->skinWeights[1]->weightCount, 6);
}

TEST_F(PmdRead, ARecordOfOnlyBaseVerticesKeepsItsLastPair) {
    PmdModelDesc m = Square();
    m.bones.push_back(Bone("tip", 0, 1, 1, 0));
    m.vertices[2].bones[0] = m.vertices[2].bones[1] = 1;
    m.vertices[3].bones[0] = m.vertices[3].bones[1] = 1;
    m.morphs = {{"base", 0, {{2, {0, 1, 0}}, {3, {1, 1, 0}}}}, {"m", 0, {{0, {0, 1, 0}}}}};
    ASSERT_EQ(Read(m), 0) << Log();
    const tessel::ReadModelSkinWeight* tip = model_.firstMesh->skinWeights[1];
    ASSERT_EQ(tip->weightCount, 1);
    EXPECT_EQ(tip->weights[0].positionIndex, 3);
}

TEST_F(PmdRead, MoreThan4096MovingBonesAreRefused) {
    for (int extra = 0; extra < 2; ++extra) {
        PmdModelDesc m;
        const int bones = tessel::kPmdMaxSkinBones + extra;
        for (int b = 0; b < bones; ++b) {
            m.bones.push_back(Bone("b", 0xFFFF, 0, 0, 0));
            m.vertices.push_back(
                Vertex(0, 0, 0, static_cast<uint16_t>(b), static_cast<uint16_t>(b)));
        }
        m.indices = {0, 1, 2};
        m.materials = {Material(3)};
        EXPECT_EQ(Read(m), extra == 0 ? 0 : -1) << bones;
    }
    EXPECT_NE(Log().find("頂点を動かすボーンが 4096 個を超えています ( 4097 個 )"),
              std::string::npos)
        << Log();
}

// Every cut of the file inside a counted section refuses it with a line;
// cuts behind the morphs leave a model without toon names.
TEST_F(PmdRead, EveryCutOfTheFileIsRefusedOrReadSafely) {
    const std::vector<uint8_t> whole = tessel::WritePmd(tessel::WalkerModel());
    ASSERT_EQ(Read(whole), 0) << Log();
    ASSERT_NE(model_.firstMaterial->toonTexture, nullptr);
    size_t morphsEnd = 0;
    for (size_t cut = 3; cut < whole.size(); ++cut) {
        const int result = Read(std::vector<uint8_t>(whole.begin(), whole.begin() + cut));
        ASSERT_NE(result, -2) << cut;
        if (result == 0 && morphsEnd == 0) {
            morphsEnd = cut;
        }
        if (result == 0) {
            EXPECT_EQ(model_.firstMaterial->toonTexture, nullptr) << cut;
        }
        ASSERT_EQ(result == 0, morphsEnd != 0) << cut;
    }
    EXPECT_NE(Log().find("PMD Load Error : 表情 がファイルの終わりを越えています"),
              std::string::npos);
    EXPECT_NE(Log().find("PMD Load Error : 頂点データ がファイルの終わりを越えています"),
              std::string::npos);
}

TEST_F(PmdRead, IndicesPastTheirTablesAreRefused) {
    struct Case {
        const char* what;
        void (*spoil)(PmdModelDesc*);
        const char* line;
    };
    const Case cases[] = {
        {"face corner", [](PmdModelDesc* m) { m->indices[4] = 4; },
         "No.4 の頂点インデックスが範囲外の番号 4 を指しています"},
        {"vertex bone", [](PmdModelDesc* m) { m->vertices[1].bones[1] = 1; },
         "No.1 の頂点のボーンが範囲外の番号 1 を指しています"},
        {"material faces", [](PmdModelDesc* m) { m->materials[0].indexCount = 7; },
         "No.0 のマテリアルの面が範囲外の番号 3 を指しています"},
        {"toon", [](PmdModelDesc* m) { m->materials[0].toon = 10; },
         "No.0 のマテリアルのトゥーンが範囲外の番号 10 を指しています"},
        {"ik target",
         [](PmdModelDesc* m) {
             m->iks = {{1, 0, 4, 1.0f, {}}};
         },
         "No.0 のＩＫのボーンが範囲外の番号 1 を指しています"},
        {"ik chain",
         [](PmdModelDesc* m) {
             m->iks = {{0, 0, 4, 1.0f, {0, 3}}};
         },
         "No.0 のＩＫのボーンが範囲外の番号 3 を指しています"},
        {"base entry",
         [](PmdModelDesc* m) {
             m->morphs = {{"base", 0, {{4, {0, 0, 0}}}}};
         },
         "No.0 の表情の頂点が範囲外の番号 4 を指しています"},
        {"morph entry",
         [](PmdModelDesc* m) {
             m->morphs = {{"base", 0, {{3, {0, 0, 0}}}}, {"m", 0, {{1, {0, 0, 0}}}}};
         },
         "No.1 の表情の頂点が範囲外の番号 1 を指しています"},
    };
    for (const Case& c : cases) {
        PmdModelDesc m = Square();
        c.spoil(&m);
        EXPECT_EQ(Read(m), -1) << c.what;
        EXPECT_NE(Log().find(c.line), std::string::npos) << c.what << "\n" << Log();
    }
    // The largest counts of each section, against a short file.
    std::vector<uint8_t> huge = tessel::WritePmd(Square());
    huge[283] = huge[284] = huge[285] = huge[286] = 0xFF;
    EXPECT_EQ(Read(huge), -1);
}

}  // namespace

namespace {

// Chains keyed by their first chain bone: ascending, equal keys later record
// first, chains without bones last.
TEST(PmdIkChainOrder, ByFirstChainBoneThenLaterRecordsFirst) {
    const uint8_t bones[6][2] = {{7, 0}, {2, 0}, {7, 0}, {0, 1}, {2, 0}, {0, 0}};
    const int lengths[6] = {1, 1, 1, 1, 1, 0};
    tessel::PmdIkChain chains[6] = {};
    for (int k = 0; k < 6; ++k) {
        chains[k].chainBones = bones[k];
        chains[k].chainLength = lengths[k];
    }
    tessel::PmdIkChain* first = nullptr;
    ASSERT_EQ(tessel::LinkPmdIkChains(chains, 6, &first), 0);
    std::vector<int> order;
    const tessel::PmdIkChain* last = nullptr;
    for (const tessel::PmdIkChain* c = first; c != nullptr; c = c->next) {
        EXPECT_EQ(c->prev, last);
        last = c;
        order.push_back(static_cast<int>(c - chains));
    }
    // Keys: 7, 2, 7, 256, 2, none.
    EXPECT_EQ(order, (std::vector<int>{4, 1, 2, 0, 3, 5}));
    EXPECT_EQ(tessel::LinkPmdIkChains(chains, 0, &first), 0);
    EXPECT_EQ(first, nullptr);
}

}  // namespace
