// The .x reader on files made by our own writer: the header, both token
// forms, references, skipping, nesting, every template's checks and the read
// model that the conversion builds from the tree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/files/files_test_support.h"
#include "models/read/read_model.h"
#include "models/xfile/x_reader.h"
#include "tests/models/xfile/x_model_recipes.h"
#include "tests/models/xfile/x_writer.h"

namespace tessel_test {
namespace {

std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> TextFile(const std::string& body) {
    return Bytes("xof 0303txt 0032\n" + body);
}

// A one-triangle mesh, optionally named, as text.
std::string Triangle(const std::string& name = "") {
    return "Mesh " + name + " { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n";
}

const XForm kForms[] = {XForm::kText, XForm::kBinary, XForm::kBinary64};

TEST(XReaderTest, TheHeaderDecidesTheFormOrRefusesQuietly) {
    struct Case {
        std::string bytes;
        bool logged;
    };
    const Case cases[] = {
        {"xof 0303tzip0032", true},
        {"xof 0303bzip0064", true},
        {"xof ", true},
        {"xoff0303txt 0032", false},
        {"XOF 0303txt 0032", false},
        {"xo", false},
        {"", false},
    };
    for (const Case& c : cases) {
        LogScope log;
        XLoad load(Bytes(c.bytes));
        EXPECT_EQ(load.parsed, -1) << c.bytes;
        const bool logged = log.Text().find(
                                "対応している xファイル形式はテキスト形式と非圧縮バイナリ形式の"
                                "みです") != std::string::npos;
        EXPECT_EQ(logged, c.logged) << c.bytes << "\n" << log.Text();
        if (!c.logged) {
            EXPECT_EQ(log.Text(), "") << c.bytes;
        }
    }
}

TEST(XReaderTest, TheSameModelInEveryFormGivesTheSameReadModel) {
    XLoad text(FullModel(XForm::kText));
    ASSERT_EQ(text.parsed, 0);
    ASSERT_EQ(text.converted, 0);
    const std::string expected = DescribeReadModel(text.model);
    for (XForm form : {XForm::kBinary, XForm::kBinary64}) {
        LogScope log;
        XLoad binary(FullModel(form));
        ASSERT_EQ(binary.parsed, 0) << log.Text();
        ASSERT_EQ(binary.converted, 0);
        EXPECT_EQ(DescribeReadModel(binary.model), expected);
    }
}

TEST(XReaderTest, TheFullModelConvertsAsTheFileSays) {
    for (XForm form : kForms) {
        XLoad load(FullModel(form));
        ASSERT_EQ(load.converted, 0);
        const tessel::ReadModel& m = load.model;
        // Frames: Body, its named mesh's frame, then Arm.
        ASSERT_EQ(m.frameCount, 3);
        tessel::ReadModelFrame* body = load.Frame("Body");
        tessel::ReadModelFrame* bodyMesh = load.Frame("BodyMesh");
        tessel::ReadModelFrame* arm = load.Frame("Arm");
        ASSERT_TRUE(body && bodyMesh && arm);
        EXPECT_EQ(bodyMesh->parent, body);
        EXPECT_EQ(arm->parent, body);
        EXPECT_EQ(body->meshCount, 0);
        EXPECT_EQ(body->transform.m[1][1], 2.0f);
        EXPECT_EQ(body->transform.m[3][1], -5.25f);
        EXPECT_EQ(arm->transform.m[0][0], 1.0f);  // identity without a matrix
        EXPECT_EQ(arm->transform.m[3][0], 0.0f);
        ASSERT_EQ(bodyMesh->meshCount, 1);
        ASSERT_EQ(arm->meshCount, 1);
        const tessel::ReadModelMesh* mesh = bodyMesh->firstMesh;
        // Materials: the top-level one, then the list's child; the list
        // names the child first, then the reference.
        ASSERT_EQ(m.materialCount, 3);  // Shared, Skin and the arm's "Normal"
        ASSERT_EQ(mesh->materialCount, 2);
        EXPECT_STREQ(mesh->materials[0]->name, "Skin");
        EXPECT_STREQ(mesh->materials[1]->name, "Shared");
        const tessel::ReadModelMaterial* skin = mesh->materials[0];
        EXPECT_EQ(skin->diffuse[0], 1.0f);
        EXPECT_EQ(skin->diffuse[2], 0.25f);
        EXPECT_EQ(skin->diffuse[3], 1.0f);  // not the file's 0.5
        EXPECT_EQ(skin->power, 16.0f);
        EXPECT_EQ(skin->specular[1], 0.25f);
        EXPECT_EQ(skin->specular[3], 0.0f);
        ASSERT_EQ(skin->layers[0].count, 1);
        EXPECT_STREQ(skin->layers[0].textures[0]->colourFile, "skin.png");
        EXPECT_EQ(skin->layers[0].textures[0]->conversionValue, 0.1f);
        EXPECT_EQ(mesh->materials[1]->emissive[2], 0.375f);
        EXPECT_EQ(mesh->materials[1]->layers[0].count, 0);
        // Faces, with normals of the same face and the list's materials.
        ASSERT_EQ(mesh->faceCount, 3);
        EXPECT_EQ(mesh->faces[0].cornerCount, 4);
        EXPECT_EQ(mesh->faces[0].materialIndex, 1);
        EXPECT_EQ(mesh->faces[1].materialIndex, 0);
        EXPECT_EQ(mesh->faces[1].corners[2].position, 4);
        EXPECT_EQ(mesh->faces[1].corners[2].texCoord[0], 4);
        EXPECT_EQ(mesh->faces[1].corners[0].normal, 1);
        EXPECT_EQ(mesh->faces[2].corners[1].normal, 1);
        EXPECT_EQ(mesh->positions[4].z, 1.5f);
        ASSERT_EQ(mesh->texCoordCounts[0], 5);
        EXPECT_EQ(mesh->texCoords[0][4][1], 0.25f);
        EXPECT_EQ(mesh->texCoords[0][4][2], 0.0f);
        // Colours: two given and white behind them.
        ASSERT_EQ(mesh->colourCount, 3);
        EXPECT_EQ(mesh->colours[1][3], 0.25f);
        EXPECT_EQ(mesh->colours[2][0], 1.0f);
        EXPECT_EQ(mesh->faces[0].corners[0].colour, 2);  // position 0: none given
        EXPECT_EQ(mesh->faces[0].corners[1].colour, 0);  // position 1
        EXPECT_EQ(mesh->faces[0].corners[3].colour, 1);  // position 3
        // Skin weights name the arm's frame.
        ASSERT_EQ(mesh->skinWeightCount, 1);
        EXPECT_EQ(mesh->skinWeights[0]->boneFrameIndex, arm->index);
        ASSERT_EQ(mesh->skinWeights[0]->weightCount, 2);
        EXPECT_EQ(mesh->skinWeights[0]->weights[1].positionIndex, 4);
        EXPECT_EQ(mesh->skinWeights[0]->weights[1].weight, 0.75f);
        EXPECT_EQ(mesh->skinWeights[0]->offsetMatrix.m[3][2], -3.0f);
        // The arm's unnamed mesh lies in the arm's frame with "Normal".
        EXPECT_STREQ(arm->firstMesh->materials[0]->name, "Normal");
    }
}

TEST(XReaderTest, AnimationKeysBecomeKeySetsOfTheirKind) {
    XLoad load(FullModel(XForm::kBinary));
    ASSERT_EQ(load.converted, 0);
    const tessel::ReadModel& m = load.model;
    ASSERT_EQ(m.animSetCount, 1);
    const tessel::ReadModelAnimSet* set = m.firstAnimSet;
    EXPECT_STREQ(set->name, "Walk");
    EXPECT_EQ(set->start, 0.0f);
    EXPECT_EQ(set->timeBase, 20.0f);
    ASSERT_EQ(set->animCount, 1);
    const tessel::ReadModelAnim* anim = set->firstAnim;
    EXPECT_STREQ(anim->targetName, "Arm");
    EXPECT_EQ(anim->targetIndex, load.Frame("Arm")->index);
    EXPECT_EQ(anim->length, 20.0f);
    ASSERT_EQ(anim->keySetCount, 4);
    struct Expected {
        int kind;
        int target;
        float length;
        std::vector<float> times;
        std::vector<float> values;
    };
    const Expected expected[] = {
        {0, 0, 10.0f, {0, 10}, {0.25f, 0.125f, 1, 0.5f, 0, 0, 0, 1}},
        {1, 5, 5.0f, {5}, {2, 3, 4}},
        {1, 10, 20.0f, {0, 20}, {1, 2, 3, 4, 5, 6}},
        {2, 15, 7.0f, {7}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
    };
    const tessel::ReadModelKeySet* keys = anim->firstKeySet;
    int bytes = 0;
    for (const Expected& e : expected) {
        ASSERT_NE(keys, nullptr);
        EXPECT_EQ(keys->kind, e.kind);
        EXPECT_EQ(keys->target, e.target);
        EXPECT_EQ(keys->length, e.length);
        EXPECT_EQ(keys->hasTimeTable, 1);
        ASSERT_EQ(keys->keyCount, static_cast<int>(e.times.size()));
        EXPECT_EQ(std::vector<float>(keys->times, keys->times + keys->keyCount), e.times);
        const auto* values = static_cast<const float*>(keys->values);
        EXPECT_EQ(std::vector<float>(values, values + e.values.size()), e.values);
        bytes += keys->keyCount * (tessel::ReadModelKeyValueBytes(e.kind) + 4);
        keys = keys->nextInAnim;
    }
    EXPECT_EQ(m.keyDataBytes, bytes);
}

TEST(XReaderTest, TemplateNamesMatchWithoutLetterCase) {
    XLoad load(TextFile("frame Box { mesh Cube { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } }"));
    ASSERT_EQ(load.converted, 0);
    ASSERT_NE(load.Frame("Box"), nullptr);
    ASSERT_NE(load.Frame("Cube"), nullptr);
    EXPECT_EQ(load.Frame("Cube")->parent, load.Frame("Box"));
    EXPECT_EQ(load.Frame("Cube")->meshCount, 1);
}

TEST(XReaderTest, MeshesFindTheirFrames) {
    // A named mesh in a frame gets a child frame of its name; an unnamed one
    // lies in the frame; at the top, a mesh gets a frame of its own, named
    // by the mesh or "Mesh".
    XLoad load(TextFile(Triangle() + Triangle("Top") + "Frame Holder {" + Triangle("Inner") +
                        Triangle() + "}"));
    ASSERT_EQ(load.converted, 0);
    const tessel::ReadModel& m = load.model;
    std::vector<std::string> names;
    for (const tessel::ReadModelFrame* f = m.firstFrame; f != nullptr; f = f->next) {
        names.push_back(std::string(f->name) + "/" + std::to_string(f->meshCount) + "/" +
                        (f->parent != nullptr ? f->parent->name : "-"));
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"Holder/1/-", "Inner/1/Holder", "Mesh/1/-", "Top/1/-"}));
    EXPECT_EQ(m.meshCount, 4);
    for (const tessel::ReadModelMesh* mesh = m.firstMesh; mesh != nullptr; mesh = mesh->next) {
        ASSERT_EQ(mesh->materialCount, 1);
        EXPECT_STREQ(mesh->materials[0]->name, "Normal");
    }
}

TEST(XReaderTest, AReferenceInBracesActsLikeAChild) {
    const std::string material = "Material %s { 0.5;0.25;0.125;1;; 2; 0;0;0;; 0;0;0;; }\n";
    auto Material = [&](const std::string& name) {
        std::string text = material;
        return text.replace(text.find("%s"), 2, name);
    };
    for (const char* reference :
         {"{Red}", "{ Red }", "{\tRed\n}", "{Red <01234567-89ab-cdef-0123-456789abcdef>}"}) {
        XLoad load(TextFile(Material("Red") +
                            "Mesh M { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
                            "MeshMaterialList { 3; 1; 1;; " +
                            Material("Blue") + reference + Material("Green") + "} }"));
        ASSERT_EQ(load.converted, 0) << reference;
        const tessel::ReadModelMesh* mesh = load.model.firstMesh;
        ASSERT_EQ(mesh->materialCount, 3) << reference;
        EXPECT_STREQ(mesh->materials[0]->name, "Blue");
        EXPECT_STREQ(mesh->materials[1]->name, "Red");
        EXPECT_STREQ(mesh->materials[2]->name, "Green");
        EXPECT_EQ(mesh->faces[0].materialIndex, 1);
    }
}

TEST(XReaderTest, UnknownObjectsAndTemplateDeclarationsAreSkipped) {
    XLoad load(
        TextFile("template Mesh { <3D82AB44-62DA-11cf-AB39-0020AF71E433> DWORD nVertices; [...] }\n"
                 "Header { 1; 0; 1; }\n"
                 "Unknown Thing { // a brace in a comment }\n"
                 " # and } another\n"
                 " Nested { { Inner } \"a } in a string\" } 1; }\n"
                 "Glued { word\"a { in a string glued to a word\" }\n" +
                 Triangle("Kept")));
    ASSERT_EQ(load.parsed, 0);
    ASSERT_EQ(load.converted, 0);
    EXPECT_EQ(load.model.frameCount, 1);
    EXPECT_NE(load.Frame("Kept"), nullptr);
}

TEST(XReaderTest, CommentsHideBracesAndValues) {
    XLoad load(
        TextFile("Frame Outer { // a } in a comment\n"
                 " # and { here\n"
                 " Unknown { // }\n"
                 " } Frame Inner { } }\n"
                 "Mesh { 3; // 7;\n 0;0;0;, # 1;\n 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }"));
    ASSERT_EQ(load.converted, 0);
    ASSERT_NE(load.Frame("Inner"), nullptr);
    EXPECT_EQ(load.Frame("Inner")->parent, load.Frame("Outer"));
    ASSERT_EQ(load.model.meshCount, 1);
    EXPECT_EQ(load.model.firstMesh->positionCount, 3);
    EXPECT_EQ(load.model.firstMesh->positions[1].x, 1.0f);
}

TEST(XReaderTest, ACornerTakesTheLastColourGivenForItsPosition) {
    XLoad load(
        TextFile("Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
                 "MeshVertexColors { 3; 1; 1;0;0;1;;, 2; 0;0;1;1;;, 1; 0;1;0;1;;; } }"));
    ASSERT_EQ(load.converted, 0);
    const tessel::ReadModelMesh* mesh = load.model.firstMesh;
    ASSERT_EQ(mesh->colourCount, 4);
    EXPECT_EQ(mesh->faces[0].corners[0].colour, 3);
    EXPECT_EQ(mesh->faces[0].corners[1].colour, 2);
    EXPECT_EQ(mesh->faces[0].corners[2].colour, 1);
    EXPECT_EQ(mesh->colours[2][1], 1.0f);
}

TEST(XReaderTest, BinaryTemplateDeclarationsAreSkipped) {
    XWriter w(XForm::kBinary);
    w.Kind(31).Name("Mesh").Kind(10).Kind(5).U32(1).U32(2).U32(3).U32(4).Kind(40).Name("n").Kind(
        20);
    w.Kind(11);
    w.Begin("Frame", "After").End();
    XLoad load(w.data());
    ASSERT_EQ(load.converted, 0);
    EXPECT_EQ(load.model.frameCount, 1);
    EXPECT_EQ(load.model.meshCount, 0);
    EXPECT_NE(load.Frame("After"), nullptr);
}

// depth objects, each inside the one before.
std::string Nested(int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) {
        text += "Frame F" + std::to_string(i) + " {\n";
    }
    for (int i = 0; i < depth; ++i) {
        text += "}\n";
    }
    return text;
}

TEST(XReaderTest, NestingStopsAtSixtyFourIncludingTheRoot) {
    {
        XLoad load(TextFile(Nested(63)));
        EXPECT_EQ(load.parsed, 0);
        EXPECT_EQ(load.converted, 0);
        EXPECT_EQ(load.model.frameCount, 63);
    }
    LogScope log;
    XLoad load(TextFile(Nested(64)));
    EXPECT_EQ(load.parsed, -1);
    EXPECT_NE(log.Text().find("階層構造の限界数 64 を超えました"), std::string::npos) << log.Text();
    EXPECT_NE(log.Text().find("Load XFile : オブジェクト Frame ( F63 ) のネストが深すぎます"),
              std::string::npos)
        << log.Text();
}

TEST(XReaderTest, DoubleByteNamesKeepTheirSecondBytes) {
    // "マボ" in code page 932: the second bytes are "}" and "{".
    const std::string name = "\x83\x7D\x83\x7B";
    XLoad load(TextFile("Frame " + name + " { }\nFrame After { }"));
    ASSERT_EQ(load.converted, 0);
    ASSERT_EQ(load.model.frameCount, 2);
    EXPECT_NE(load.Frame(name), nullptr);
    EXPECT_NE(load.Frame("After"), nullptr);
}

TEST(XReaderTest, BrokenFilesFailWithTheirLine) {
    struct Case {
        const char* what;
        std::string body;
        const char* line;
    };
    const Case cases[] = {
        {"unclosed", "Frame A { Frame B { }", "予期しない EOF です"},
        {"face of 33", "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 33;0,1,2;; }",
         "Load XFile : 一つの面で使用できる頂点数の最大数 32 を超えた面がありました( 33 個の頂点 "
         ")"},
        {"not a number", "Mesh M { 3; 0;0;0;, 1;x;0;, 0;1;0;; 1; 3;0,1,2;; }",
         "Load XFile : オブジェクト Mesh ( M ) 解析中にエラーが発生しました"},
        {"count past the end", "Mesh M { 99999; 0;0;0; }",
         "Load XFile : オブジェクト Mesh ( M ) 解析中にエラーが発生しました"},
        {"material index",
         "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 1; 1; 1;; } }",
         "Load XFile : nMaterials より大きいマテリアルインデックスがありました"},
        {"negative material index",
         "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 1; 1; -1;; } }",
         "Load XFile : nMaterials より大きいマテリアルインデックスがありました"},
        {"material count",
         "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshMaterialList { 2; 1; 1;; "
         "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } } }",
         "Load XFile : マテリアルリストのマテリアル数( 2 )と実際のマテリアルの数( 1 )が違いました"},
        {"uv count",
         "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshTextureCoords { 2; 0;0;, 1;1;; } }",
         "Load XFile : テクスチャ座標の数( 2 )と頂点座標の数( 3 )が違いました"},
        {"normal faces",
         "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshNormals { 1; 0;0;1;; 0; } }",
         "Load XFile : メッシュリストの面の数( 1 )と法線の面の数( 0 )が違いました"},
        {"position index", "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,3;; }",
         "Load XFile : 頂点のインデックス 3 が頂点の数( 3 )を超えています"},
        {"normal index",
         "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshNormals { 1; 0;0;1;; 1; 3;0,0,1;; } }",
         "Load XFile : 法線のインデックス 1 が法線の数( 1 )を超えています"},
        {"skin vertex",
         "Frame B { } Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; SkinWeights { \"B\"; 1; 3; "
         "1; 1;0;0;0;0;1;0;0;0;0;1;0;0;0;0;1;; } }",
         "Load XFile : スキンウエイトの頂点インデックス 3 が頂点の数( 3 )を超えています"},
        {"short key", "AnimationSet { Animation { AnimationKey { 0; 1; 0; 3; 1,0,0;;; } } }",
         "Load XFile : アニメーションキーの値の数( 3 )が種類 0 のキーに足りません"},
    };
    for (const Case& c : cases) {
        LogScope log;
        XLoad load(TextFile(c.body));
        EXPECT_TRUE(load.parsed == -1 || load.converted == -1) << c.what;
        EXPECT_NE(log.Text().find(c.line), std::string::npos) << c.what << "\n" << log.Text();
    }
}

TEST(XReaderTest, AnUnresolvedReferenceIsOnlyLogged) {
    LogScope log;
    XLoad load(TextFile("Frame A { {Nowhere} }"));
    EXPECT_EQ(load.parsed, 0);
    EXPECT_EQ(load.converted, 0);
    EXPECT_NE(log.Text().find("Load XFile : 間接参照が失敗しました"), std::string::npos);
}

TEST(XReaderTest, BinaryFloatListsMayHoldEightByteFloats) {
    // 1/3 survives only when read as a double and narrowed once.
    const double third = 1.0 / 3.0;
    for (XForm form : {XForm::kBinary, XForm::kBinary64}) {
        XWriter w(form);
        w.Begin("Mesh").Ints({3}).Floats({third, 0, 0, 1e10, 0, 0, 0, -2.5, 0});
        w.Ints({1, 3, 0, 1, 2}).End();
        XLoad load(w.data());
        ASSERT_EQ(load.converted, 0);
        const tessel::ReadModelMesh* mesh = load.model.firstMesh;
        EXPECT_EQ(mesh->positions[0].x, static_cast<float>(third));
        EXPECT_EQ(mesh->positions[1].x, 1e10f);
        EXPECT_EQ(mesh->positions[2].y, -2.5f);
    }
    // A 32-bit header reading 8-byte data sees twice the values: refused.
    XWriter w(XForm::kBinary64);
    w.Begin("Mesh").Ints({3}).Floats({0, 0, 0, 1, 0, 0, 0, 1, 0}).Ints({1, 3, 0, 1, 2}).End();
    std::vector<uint8_t> bytes = w.data();
    std::memcpy(bytes.data() + 12, "0032", 4);
    LogScope log;
    XLoad load(bytes);
    EXPECT_EQ(load.parsed, -1);
    EXPECT_NE(log.Text().find("Load XFile : オブジェクト Mesh (  ) 解析中にエラーが発生しました"),
              std::string::npos)
        << log.Text();
}

TEST(XReaderTest, BinaryListFaultsAreNamed) {
    struct Case {
        const char* what;
        void (*write)(XWriter&);
        const char* line;
    };
    const Case cases[] = {
        {"material not a list", [](XWriter& w) { w.Begin("Material").Ints({1}).End(); },
         "Load XFile : Material FloadList"},
        {"material of 10",
         [](XWriter& w) {
             w.Begin("Material").Floats({1, 1, 1, 1, 0, 0, 0, 0, 0, 0}).End();
         },
         "Load XFile : Material Not 11"},
        {"mesh positions",
         [](XWriter& w) {
             w.Begin("Mesh").Ints({2}).Floats({0, 0, 0, 1, 0}).End();
         },
         "Load XFile : Mesh Not 6 ( 5 )"},
        {"mesh no floats",
         [](XWriter& w) {
             w.Begin("Mesh").Ints({2}).Ints({0, 0, 0, 0, 0, 0}).End();
         },
         "Load XFile : Mesh FloadList"},
        {"normals",
         [](XWriter& w) {
             w.Begin("MeshNormals").Ints({1}).Floats({0, 1}).End();
         },
         "Load XFile : MeshNormals Not 3 ( 2 )"},
        {"uv",
         [](XWriter& w) {
             w.Begin("MeshTextureCoords").Ints({2}).Floats({0, 1}).End();
         },
         "Load XFile : MeshTextureCorrds Not 4 ( 2 )"},
        {"matrix 15",
         [](XWriter& w) {
             w.Begin("FrameTransformMatrix").Floats(std::vector<double>(15, 1.0)).End();
         },
         "Load XFile : FrameTransformMatrix Not 16 ( 15 )"},
        {"matrix row",
         [](XWriter& w) {
             w.Begin("FrameTransformMatrix").Floats({1, 0, 0, 0}).Floats({0, 1, 0}).End();
         },
         "Load XFile : FrameTransformMatrix MatrixLine No.1 Not 4 ( 3 )"},
        {"material list", [](XWriter& w) { w.Begin("MeshMaterialList").Floats({1}).End(); },
         "Load XFile : MeshMaterialList IntergerList"},
        {"skin header",
         [](XWriter& w) {
             w.Begin("XSkinMeshHeader").Ints({1, 1}).End();
         },
         "Load XFile : XSkinMeshHeader IntergerList"},
        {"face of 33",
         [](XWriter& w) {
             std::vector<int32_t> face = {1, 33};
             face.resize(35, 0);
             w.Begin("Mesh").Ints({3}).Floats({0, 0, 0, 1, 0, 0, 0, 1, 0}).Ints(face).End();
         },
         "Load XFile : 一つの面で使用できる頂点数の最大数 32 を超えた面がありました( 33 個の頂点 "
         ")"},
        {"skin weights count off by 65536",
         [](XWriter& w) {
             w.Begin("SkinWeights").String("B").Ints({65536 + 2, 0, 1}).End();
         },
         "Load XFile : SkinWeights TargetVertex Not 65539 ( 3 )"},
        {"skin weights floats",
         [](XWriter& w) {
             w.Begin("SkinWeights").String("B").Ints({1, 0}).Floats({1, 0}).End();
         },
         "Load XFile : SkinWeights WeightValue Not 17 ( 2 )"},
        {"skin weights no list",
         [](XWriter& w) { w.Begin("SkinWeights").String("B").Floats({1}).End(); },
         "Load XFile : SkinWeights TargetVertex IntegerList"},
    };
    for (const Case& c : cases) {
        LogScope log;
        XWriter w(XForm::kBinary);
        c.write(w);
        XLoad load(w.data());
        EXPECT_EQ(load.parsed, -1) << c.what;
        EXPECT_NE(log.Text().find(c.line), std::string::npos) << c.what << "\n" << log.Text();
    }
}

TEST(XReaderTest, BinaryMatricesMayComeAsFourRows) {
    XWriter w(XForm::kBinary);
    w.Begin("Frame", "Rows").Begin("FrameTransformMatrix");
    w.Floats({1, 2, 3, 4}).Floats({5, 6, 7, 8}).Floats({9, 10, 11, 12}).Floats({13, 14, 15, 16});
    w.End().End();
    XLoad load(w.data());
    ASSERT_EQ(load.converted, 0);
    const tessel::ReadModelFrame* frame = load.Frame("Rows");
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->transform.m[1][2], 7.0f);
    EXPECT_EQ(frame->transform.m[3][3], 16.0f);
}

TEST(XReaderTest, BinaryIntegersStreamAcrossListTokens) {
    // The face data split at arbitrary places reads as one stream.
    XWriter w(XForm::kBinary);
    w.Begin("Mesh").Ints({4}).Floats({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0});
    w.Ints({2, 3}).Ints({0, 1}).Ints({2, 3, 0}).Ints({2, 3}).End();
    XLoad load(w.data());
    ASSERT_EQ(load.converted, 0);
    const tessel::ReadModelMesh* mesh = load.model.firstMesh;
    ASSERT_EQ(mesh->faceCount, 2);
    EXPECT_EQ(mesh->faces[1].corners[0].position, 0);
    EXPECT_EQ(mesh->faces[1].corners[2].position, 3);
}

TEST(XReaderTest, ANodeThatCannotBeHadIsNamed) {
    LogScope log;
    tessel::XObjectTree tree;
    ASSERT_EQ(tessel::StartXObjectTree(&tree), 0);
    const std::vector<uint8_t> file = TextFile("Frame Alpha { }");
    tessel::SetTrackedHeapFailingAfter(1);  // the name's copy, not the node
    EXPECT_EQ(tessel::ParseXImage(file.data(), static_cast<int>(file.size()), &tree), -1);
    tessel::SetTrackedHeapFailing(false);
    tessel::FreeXObjectTree(&tree);
    EXPECT_NE(log.Text().find("Load XFile : オブジェクトのメモリ領域の確保に失敗しました"),
              std::string::npos)
        << log.Text();
    EXPECT_NE(log.Text().find("Load XFile : オブジェクト Frame ( Alpha ) の追加に失敗しました"),
              std::string::npos)
        << log.Text();
}

TEST(XReaderTest, ATextureNameThatCannotBeKeptIsNamed) {
    LogScope log;
    tessel::XObjectTree tree;
    ASSERT_EQ(tessel::StartXObjectTree(&tree), 0);
    const std::vector<uint8_t> file = TextFile("TextureFilename { \"wall.png\"; }");
    tessel::SetTrackedHeapFailingAfter(2);  // the object's name and node, not the file name
    EXPECT_EQ(tessel::ParseXImage(file.data(), static_cast<int>(file.size()), &tree), -1);
    tessel::SetTrackedHeapFailing(false);
    tessel::FreeXObjectTree(&tree);
    for (const char* line :
         {"Load XFile : 文字列 wall.png を格納するメモリ領域の確保に失敗しました",
          "Load XFile : "
          "テクスチャファイルネームリストオブジェクトを格納するメモリ領域の確保に失敗し"
          "ました",
          "Load XFile : オブジェクト TextureFilename (  ) 解析中にエラーが発生しました"}) {
        EXPECT_NE(log.Text().find(line), std::string::npos) << line << "\n" << log.Text();
    }
}

TEST(XReaderTest, EveryShortOfMemoryFailsCleanly) {
    // The heap gives out after each number of requests in turn: the load
    // either fails or succeeds, and leaves no block behind either way.
    for (XForm form : {XForm::kText, XForm::kBinary}) {
        const std::vector<uint8_t> file = FullModel(form);
        bool succeeded = false;
        for (int successes = 0; successes < 400 && !succeeded; ++successes) {
            tessel::SetTrackedHeapFailingAfter(successes);
            XLoad load(file);
            tessel::SetTrackedHeapFailing(false);
            succeeded = load.converted == 0;
        }
        EXPECT_TRUE(succeeded);
    }
}

TEST(XReaderTest, ObjectsCountTheirNamesAndKinds) {
    XLoad load(TextFile("Frame Ab { Frame Abcd { } }" + Triangle("M") +
                        "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }"),
               false);
    ASSERT_EQ(load.parsed, 0);
    EXPECT_EQ(load.tree.frameCount, 3);  // the root too
    EXPECT_EQ(load.tree.meshCount, 1);
    EXPECT_EQ(load.tree.materialCount, 1);
    // "XTopFrame" 12, "Ab" 4, "Abcd" 8, "M" 4, "" 4.
    EXPECT_EQ(load.tree.nameBytes, 12 + 4 + 8 + 4 + 4);
}

TEST(XReaderTest, ReferencesAreLinkedBothWays) {
    XLoad load(TextFile("Frame Target { } Animation A { { Target } }"), false);
    ASSERT_EQ(load.parsed, 0);
    tessel::XObject* target = load.tree.firstObject->firstChild;
    tessel::XObject* animation = target->nextSibling;
    ASSERT_EQ(animation->referenceCount, 1);
    EXPECT_EQ(animation->references[0].object, target);
    ASSERT_EQ(target->referenceCount, 1);
    EXPECT_EQ(target->references[0].object, animation);
    EXPECT_EQ(target->references[0].name, nullptr);
}

}  // namespace
}  // namespace tessel_test
