// The MQO reader into a read model: the header rule, material lines, objects
// and their depths, faces (kept, dropped, their materials, texture
// coordinates and colours), mesh removal, mirrors and the refusals of
// numbers past the reader's tables. Files are written here with CR LF line
// ends unless a case is about LF.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/memory/memory.h"
#include "models/readers/mqo_reader.h"
#include "models/readers/mqo_tokens.h"
#include "tests/foundation/files/files_test_support.h"

namespace {

using tessel::ReadModel;
using tessel::ReadModelFace;
using tessel::ReadModelFrame;
using tessel::ReadModelMaterial;
using tessel::ReadModelMesh;

const std::string kHead = "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\n";

// Lines joined with CR LF.
std::string Lines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += line + "\r\n";
    }
    return out;
}

std::string Object(const std::string& name, const std::vector<std::string>& body) {
    std::string out = "Object \"" + name + "\" {\r\n";
    for (const std::string& line : body) {
        out += "\t" + line + "\r\n";
    }
    return out + "}\r\n";
}

// One quad over four vertices at the given z, faces as given.
std::vector<std::string> QuadBody(const std::vector<std::string>& faces,
                                  const std::string& first = "depth 0") {
    std::vector<std::string> body = {first,           "visible 15",     "facet 59.5",
                                     "vertex 4 {",    "\t-1.5 0 2.25",  "\t1.5 0 2.25",
                                     "\t1.5 0 -2.25", "\t-1.5 0 -2.25", "}"};
    body.push_back("face " + std::to_string(faces.size()) + " {");
    for (const std::string& f : faces) {
        body.push_back("\t" + f);
    }
    body.push_back("}");
    return body;
}

class MqoRead : public ::testing::Test {
  protected:
    MqoRead() { before_ = tessel::TrackedBlockCount(); }
    ~MqoRead() override {
        tessel::ReadModelRelease(&model_);
        EXPECT_EQ(tessel::TrackedBlockCount(), before_);
    }

    int Read(const std::string& text) {
        tessel::ReadModelRelease(&model_);
        tessel::ReadModelClear(&model_);
        text_ = text;
        const tessel::ModelLoadParams params = {
            text_.c_str(), static_cast<int32_t>(text_.size()), "dir\\floor.mqo", "floor", "/base",
            nullptr};
        return tessel::ReadMqoIntoModel(&params, &model_);
    }
    std::string Log() const { return log_.Text(); }

    ReadModelMaterial* Material(int n) { return tessel::ReadModelNthMaterial(&model_, n); }
    ReadModelFrame* Frame(int n) {
        ReadModelFrame* f = model_.firstFrame;
        for (int i = 0; i < n && f != nullptr; ++i) {
            f = f->next;
        }
        return f;
    }

    ReadModel model_ = {};
    tessel_test::LogScope log_;

  private:
    std::string text_;
    size_t before_ = 0;
};

TEST_F(MqoRead, FirstLineDecidesTheFormatSilently) {
    EXPECT_EQ(Read("Metasequoia Document\nFormat Text Ver 1.0\n"), -2);
    EXPECT_EQ(Read("Metasequoia Documen"), -2);
    EXPECT_EQ(Read("metasequoia Document\r\nFormat Text Ver 1.0\r\n"), -2);
    EXPECT_EQ(Log().find("MQO"), std::string::npos);
    // The second line is not looked at; the body starts at byte 43.
    EXPECT_EQ(Read("Metasequoia Document\r\nAnything at all here!\r\nEof\r\n"), 0);
    EXPECT_STREQ(model_.baseName, "floor");
    EXPECT_STREQ(model_.filePath, "dir\\floor.mqo");
    EXPECT_EQ(model_.ownSmoothing, 1);
    EXPECT_EQ(model_.reverseWinding, 0);
    // A file shorter than both lines reads nothing past its end.
    EXPECT_EQ(Read("Metasequoia Document\r\nF"), 0);
}

TEST_F(MqoRead, MaterialLineValues) {
    const std::string text =
        kHead + Lines({"Material 3 {",
                       "\t\"a\" dif(0.500) emi(0.250) col(0.2 0.4 0.6 0.8) amb(0.125) spc(0.75) "
                       "power(5.00)",
                       "\t\"b\" shader(3) col(0.2 0.4 0.6 0.8) dif(0.500) emi(0.250) vcol(1)",
                       "\t\"c\" col(1 1 1 0) dif(1) tex(\"wood.png\") bump(\"maps\\bump.bmp\")",
                       "}", "Eof"});
    ASSERT_EQ(Read(text), 0) << Log();
    ASSERT_EQ(model_.materialCount, 4);
    ReadModelMaterial* a = Material(0);
    // dif and emi before col take the white line colour; the diffuse alpha
    // is col's alpha whatever the order.
    EXPECT_FLOAT_EQ(a->diffuse[0], 0.5f);
    EXPECT_FLOAT_EQ(a->diffuse[1], 0.5f);
    EXPECT_FLOAT_EQ(a->diffuse[3], 0.8f);
    EXPECT_FLOAT_EQ(a->emissive[0], 0.25f);
    EXPECT_FLOAT_EQ(a->emissive[3], 0.0f);
    EXPECT_FLOAT_EQ(a->ambient[2], 0.125f);
    EXPECT_FLOAT_EQ(a->specular[1], 0.75f);
    EXPECT_FLOAT_EQ(a->power, 20.0f);
    ReadModelMaterial* b = Material(1);
    EXPECT_FLOAT_EQ(b->diffuse[0], 0.5f * 0.2f);
    EXPECT_FLOAT_EQ(b->diffuse[1], 0.5f * 0.4f);
    EXPECT_FLOAT_EQ(b->diffuse[2], 0.5f * 0.6f);
    EXPECT_FLOAT_EQ(b->diffuse[3], 0.8f);
    EXPECT_FLOAT_EQ(b->emissive[2], 0.25f * 0.6f);
    ReadModelMaterial* c = Material(2);
    EXPECT_FLOAT_EQ(c->diffuse[3], 0.0f);
    // No face uses "c": its diffuse texture is dropped, the bump layer kept.
    EXPECT_EQ(c->layers[0].count, 0);
    ASSERT_EQ(c->layers[2].count, 1);
    EXPECT_STREQ(c->layers[2].textures[0]->name, "bump.bmp");
    EXPECT_EQ(c->layers[2].textures[0]->conversionFlags, 1);
    ReadModelMaterial* none = Material(3);
    EXPECT_STREQ(none->name, "NoMaterial");
    EXPECT_FLOAT_EQ(none->diffuse[3], 1.0f);
}

TEST_F(MqoRead, TextureOfAUsedMaterialStays) {
    const std::string text =
        kHead +
        Lines({"Material 1 {", "\t\"m\" col(1 1 1 1) aplane(\"a.png\") tex(\"t.png\")", "}"}) +
        Object("o", QuadBody({"4 V(0 1 2 3) M(0)"})) + "Eof\r\n";
    ASSERT_EQ(Read(text), 0) << Log();
    ReadModelMaterial* m = Material(0);
    ASSERT_EQ(m->layers[0].count, 1);
    // aplane before tex made the texture with an empty colour file; tex then
    // made a second one and took the layer.
    EXPECT_STREQ(m->layers[0].textures[0]->name, "t.png");
    EXPECT_EQ(model_.textureCount, 2);
    EXPECT_STREQ(model_.firstTexture->alphaFile, "a.png");
}

TEST_F(MqoRead, LfMaterialLinesFailWithTheMaterialMessage) {
    const std::string text =
        "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\nMaterial 1 {\n"
        "\t\"a\" col(1 1 1 1)\n}\nEof\n";
    EXPECT_EQ(Read(text), -1);
    EXPECT_NE(Log().find("No.0 の Material の読み込み中にエラーが発生しました"), std::string::npos)
        << Log();
}

TEST_F(MqoRead, MaterialRefusals) {
    struct Case {
        std::string material;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"Material -2 {", "マテリアルの数( -2 )が不正です"},
        {"Material 1024 {", "マテリアルの数( 1024 )が不正です"},
        {"Material 1 (", "Material 数の後に { がありません"},
        {"Material 1 {\r\n\tname col(1 1 1 1)", "No.0 の Material 名の取得に失敗しました"},
        {"Material 1 {\r\n\t\"a\" col 1 1 1 1",
         "No.0 の Material の col の後に ( がありませんでした"},
        {"Material 1 {\r\n\t\"a\" dif(1 2)",
         "No.0 の Material の dif の数値の後に ) がありませんでした"},
        {"Material 1 {\r\n\t\"a\" tex(name)", "No.0 の tex の文字列読み込みに失敗しました"},
        {"Material 1 {\r\n\t\"a\" dif(1)\r\n{", "Material チャンクの終端に } がありません"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Read(kHead + c.material + "\r\n}\r\nEof\r\n"), -1) << c.material;
        EXPECT_NE(Log().find(c.message), std::string::npos) << c.material << "\n" << Log();
    }
}

TEST_F(MqoRead, NoMaterialChunkPutsEveryFaceOnNoMaterial) {
    const std::string text = kHead +
                             Lines({"Scene {", "\tpos 0 0 1500", "\tdirlights 1 {", "\t\tlight {",
                                    "\t\t}", "\t}", "}"}) +
                             Object("o", QuadBody({"4 V(0 1 2 3)", "3 V(0 1 2) M(0)"})) + "Eof\r\n";
    ASSERT_EQ(Read(text), 0) << Log();
    ASSERT_EQ(model_.materialCount, 1);
    EXPECT_STREQ(Material(0)->name, "NoMaterial");
    ReadModelMesh* mesh = model_.firstMesh;
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->materialCount, 1);
    EXPECT_EQ(mesh->materials[0], Material(0));
    EXPECT_EQ(mesh->faces[0].materialIndex, 0);
    EXPECT_EQ(mesh->faces[1].materialIndex, 0);
}

TEST_F(MqoRead, ObjectFrameValues) {
    const std::string text =
        kHead +
        Object("top", {"depth 0", "visible 15", "scale 1.5 2 2.5", "rotation 10 20 30",
                       "translation 1 2 3", "facet 90", "color 0.1 0.2 0.3"}) +
        Object("child", {"depth 1", "visible 0"}) + Object("lost", {"visible 0", "depth 1"}) +
        Object("orphan", {"depth 3"}) + "Eof\r\n";
    ASSERT_EQ(Read(text), 0) << Log();
    ASSERT_EQ(model_.frameCount, 4);
    ReadModelFrame* top = model_.firstFrame;
    EXPECT_STREQ(top->name, "top");
    EXPECT_EQ(top->flag, 1);
    EXPECT_FLOAT_EQ(top->scale.z, 2.5f);
    EXPECT_FLOAT_EQ(top->rotation.y, 20.0f);
    EXPECT_FLOAT_EQ(top->translation.z, 3.0f);
    EXPECT_FLOAT_EQ(top->smoothingAngle, static_cast<float>(90 * 3.141592653589793 / 180.0));
    // An object without a face block keeps its (empty) mesh.
    EXPECT_NE(top->firstMesh, nullptr);
    ReadModelFrame* child = top->firstChild;
    ASSERT_NE(child, nullptr);
    EXPECT_STREQ(child->name, "child");
    EXPECT_EQ(child->flag, 0);
    // A first body line other than depth is lost: the object goes to the
    // top, and its visible value with it.
    ReadModelFrame* lost = nullptr;
    ReadModelFrame* orphan = nullptr;
    for (ReadModelFrame* f = model_.firstFrame; f != nullptr; f = f->next) {
        if (std::string(f->name) == "lost") {
            lost = f;
        }
        if (std::string(f->name) == "orphan") {
            orphan = f;
        }
    }
    ASSERT_NE(lost, nullptr);
    EXPECT_EQ(lost->parent, nullptr);
    EXPECT_EQ(lost->flag, 1);  // a new frame's own
    // Nothing at depth 2: the object hangs at the top.
    ASSERT_NE(orphan, nullptr);
    EXPECT_EQ(orphan->parent, nullptr);
}

TEST_F(MqoRead, FacesKeptAndDropped) {
    const std::string text =
        kHead +
        Lines({"Material 2 {", "\t\"a\" col(0.5 0.25 1 0.75) dif(1)",
               "\t\"b\" col(1 1 1 1) dif(0.5)", "}"}) +
        Object("o", QuadBody({
                        "2 V(0 1) M(0)",
                        "3 V(0 1 2) M(1) UV(0.1 0.2 0.3 0.4 0.5 0.6)",
                        "5 V(0 1 2 3 0) M(0) UV(1 1 1 1 1 1 1 1 1 1) COL(1 2 3 4 5)",
                        "4 V(3 2 1 0) M(0) UV(0.5 0.5 0.5 0.5 0.5 0.5 0.5 0.5) "
                        "COL(4294967295 255 65280 2147483648)",
                        "33 V(0 1 2 3 0 1 2 3 0 1 2 3 0 1 2 3 0 1 2 3 0 1 2 3 0 1 2 3 0 1 2 3 0)",
                        "3 V(0 2 3)",
                    })) +
        "Eof\r\n";
    ASSERT_EQ(Read(text), 0) << Log();
    ReadModelMesh* mesh = model_.firstMesh;
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->faceCount, 3);
    EXPECT_EQ(mesh->positionCount, 4);
    EXPECT_FLOAT_EQ(mesh->positions[0].x, -1.5f);
    EXPECT_FLOAT_EQ(mesh->positions[0].z, -2.25f);  // z is negated
    // The list of materials in order of first use: a (by the dropped
    // 2-corner face), b, then NoMaterial.
    ASSERT_EQ(mesh->materialCount, 3);
    EXPECT_EQ(mesh->materials[0], Material(0));
    EXPECT_EQ(mesh->materials[1], Material(1));
    EXPECT_EQ(mesh->materials[2], Material(2));
    const ReadModelFace& tri = mesh->faces[0];
    EXPECT_EQ(tri.cornerCount, 3);
    EXPECT_EQ(tri.materialIndex, 1);
    EXPECT_EQ(tri.corners[2].texCoord[0], 2);
    EXPECT_FLOAT_EQ(mesh->texCoords[0][2][0], 0.5f);
    EXPECT_FLOAT_EQ(mesh->texCoords[0][2][1], 0.6f);
    // With M and no COL every corner takes a copy of the material diffuse.
    EXPECT_EQ(tri.corners[1].colour, 1);
    EXPECT_FLOAT_EQ(mesh->colours[1][0], 0.5f);
    EXPECT_FLOAT_EQ(mesh->colours[1][3], 1.0f);
    const ReadModelFace& quad = mesh->faces[1];
    EXPECT_EQ(quad.cornerCount, 4);
    // The dropped 5-corner face before it took no texture coordinates.
    EXPECT_EQ(quad.corners[0].texCoord[0], 3);
    EXPECT_EQ(quad.corners[3].texCoord[0], 6);
    EXPECT_EQ(quad.corners[0].position, 3);
    EXPECT_EQ(quad.materialIndex, 0);
    // COL bytes are red, green, blue, alpha from the low end, scaled by the
    // material's diffuse.
    const int c0 = quad.corners[0].colour;
    EXPECT_EQ(c0, 3);
    EXPECT_FLOAT_EQ(mesh->colours[c0][0], static_cast<float>(255 * 0.5 / 255.0));
    EXPECT_FLOAT_EQ(mesh->colours[c0][1], static_cast<float>(255 * 0.25 / 255.0));
    EXPECT_FLOAT_EQ(mesh->colours[c0][3], static_cast<float>(255 * 0.75 / 255.0));
    EXPECT_FLOAT_EQ(mesh->colours[quad.corners[2].colour][1],
                    static_cast<float>(255 * 0.25 / 255.0));
    EXPECT_FLOAT_EQ(mesh->colours[quad.corners[2].colour][0], 0.0f);
    EXPECT_FLOAT_EQ(mesh->colours[quad.corners[3].colour][3],
                    static_cast<float>(128 * 0.75 / 255.0));
    const ReadModelFace& plain = mesh->faces[2];
    EXPECT_EQ(plain.materialIndex, 2);
    EXPECT_EQ(plain.corners[2].position, 3);
    // Dropped faces take no texture-coordinate or colour entries.
    EXPECT_EQ(mesh->texCoordCounts[0], 4 * 6);
    EXPECT_EQ(mesh->colourCount, 4 * 6);
}

TEST_F(MqoRead, MaterialNumberPastTheListGivesNoMaterial) {
    const std::string text = kHead + Lines({"Material 1 {", "\t\"a\" col(1 0 0 1)", "}"}) +
                             Object("o", QuadBody({"3 V(0 1 2) M(7) COL(4294967295 0 0)"})) +
                             "Eof\r\n";
    ASSERT_EQ(Read(text), 0) << Log();
    ReadModelMesh* mesh = model_.firstMesh;
    ASSERT_EQ(mesh->materialCount, 1);
    EXPECT_STREQ(mesh->materials[0]->name, "NoMaterial");
    // The COL base colour is white, not the red of a material it never had.
    EXPECT_FLOAT_EQ(mesh->colours[0][1], 1.0f);
}

TEST_F(MqoRead, MeshesRemoved) {
    const std::string text = kHead +
                             Lines({"Material 2 {", "\t\"clear\" col(1 1 1 0) dif(1)",
                                    "\t\"solid\" col(1 1 1 1)", "}"}) +
                             Object("allDropped", QuadBody({"2 V(0 1) M(1)", "5 V(0 1 2 3 0)"})) +
                             Object("clear", QuadBody({"4 V(0 1 2 3) M(0)", "3 V(0 1 2) M(0)"})) +
                             Object("mixed", QuadBody({"4 V(0 1 2 3) M(0)", "3 V(0 1 2) M(1)"})) +
                             "Eof\r\n";
    ASSERT_EQ(Read(text), 0) << Log();
    ASSERT_EQ(model_.frameCount, 3);
    EXPECT_EQ(Frame(0)->firstMesh, nullptr);
    EXPECT_EQ(Frame(1)->firstMesh, nullptr);
    ASSERT_NE(Frame(2)->firstMesh, nullptr);
    EXPECT_EQ(model_.firstMesh, Frame(2)->firstMesh);
    EXPECT_EQ(model_.firstMesh->next, nullptr);
}

TEST_F(MqoRead, MirrorAlongXDoublesAndReversesWinding) {
    // Vertex 0 lies on x = 0 and is shared; the others are copied.
    std::vector<std::string> body = {"depth 0",        "mirror 1",
                                     "mirror_axis 1",  "vertex 3 {",
                                     "\t0 1 2",        "\t4 5 6",
                                     "\t7 0 9",        "}",
                                     "face 2 {",       "\t3 V(0 1 2) UV(0 0 1 0 1 1)",
                                     "\t4 V(0 1 2 1)", "}"};
    ASSERT_EQ(Read(kHead + Object("m", body) + "Eof\r\n"), 0) << Log();
    ReadModelMesh* mesh = model_.firstMesh;
    ASSERT_EQ(mesh->positionCount, 6);
    ASSERT_EQ(mesh->faceCount, 4);
    EXPECT_FLOAT_EQ(mesh->positions[4].x, -4.0f);
    EXPECT_FLOAT_EQ(mesh->positions[4].y, 5.0f);
    EXPECT_FLOAT_EQ(mesh->positions[4].z, -6.0f);
    EXPECT_FLOAT_EQ(mesh->positions[3].x, 0.0f);
    const ReadModelFace& copy = mesh->faces[2];
    EXPECT_EQ(copy.corners[0].position, 0);
    EXPECT_EQ(copy.corners[1].position, 2 + 3);
    EXPECT_EQ(copy.corners[2].position, 1 + 3);
    EXPECT_EQ(copy.corners[1].texCoord[0], 2);
    EXPECT_EQ(copy.corners[2].texCoord[0], 1);
    const ReadModelFace& quad = mesh->faces[3];
    EXPECT_EQ(quad.corners[0].position, 1 + 3);
    EXPECT_EQ(quad.corners[1].position, 2 + 3);
    EXPECT_EQ(quad.corners[2].position, 1 + 3);
    EXPECT_EQ(quad.corners[3].position, 0);
    // The originals are untouched.
    EXPECT_EQ(mesh->faces[0].corners[1].position, 1);
    EXPECT_FLOAT_EQ(mesh->positions[1].x, 4.0f);
}

TEST_F(MqoRead, AMirroredObjectWithoutFacesCopiesItsVerticesOnly) {
    std::vector<std::string> body = {
        "depth 0", "mirror 1", "mirror_axis 1", "vertex 2 {", "\t0 1 2", "\t4 5 6", "}"};
    ASSERT_EQ(Read(kHead + Object("m", body) + "Eof\r\n"), 0) << Log();
    ReadModelMesh* mesh = model_.firstMesh;
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->positionCount, 4);
    EXPECT_EQ(mesh->faceCount, 0);
    EXPECT_FLOAT_EQ(mesh->positions[3].x, -4.0f);
}

TEST_F(MqoRead, MirrorOnTwoAxesMakesFourCopies) {
    std::vector<std::string> body = {
        "depth 0", "mirror 1", "mirror_axis 11", "vertex 3 {",   "\t0 0 1", "\t1 2 3",
        "\t0 4 5", "}",        "face 1 {",       "\t3 V(0 1 2)", "}"};
    ASSERT_EQ(Read(kHead + Object("m", body) + "Eof\r\n"), 0) << Log();
    ReadModelMesh* mesh = model_.firstMesh;
    ASSERT_EQ(mesh->positionCount, 12);  // bit 8 of the axes is ignored
    ASSERT_EQ(mesh->faceCount, 4);
    // Copy 3 mirrors x and y: vertex 0 lies on both planes and is shared;
    // vertex 2 lies on x = 0 only and is not. The even count of mirrors
    // keeps the winding.
    EXPECT_EQ(mesh->faces[3].corners[0].position, 0);
    EXPECT_EQ(mesh->faces[3].corners[1].position, 1 + 9);
    EXPECT_EQ(mesh->faces[3].corners[2].position, 2 + 9);
    EXPECT_FLOAT_EQ(mesh->positions[10].x, -1.0f);
    EXPECT_FLOAT_EQ(mesh->positions[10].y, -2.0f);
    EXPECT_FLOAT_EQ(mesh->positions[11].y, -4.0f);
    // Copy 1 (x only) shares vertices 0 and 2 and reverses the winding.
    EXPECT_EQ(mesh->faces[1].corners[0].position, 0);
    EXPECT_EQ(mesh->faces[1].corners[1].position, 2);
    EXPECT_EQ(mesh->faces[1].corners[2].position, 1 + 3);
}

TEST_F(MqoRead, MirrorModeTwoIsNotExpanded) {
    std::vector<std::string> body = {
        "depth 0", "mirror 2", "mirror_axis 1", "vertex 3 {",   "\t0 1 2", "\t4 5 6",
        "\t7 8 9", "}",        "face 1 {",      "\t3 V(0 1 2)", "}"};
    ASSERT_EQ(Read(kHead + Object("m", body) + "Eof\r\n"), 0) << Log();
    EXPECT_EQ(model_.firstMesh->positionCount, 3);
    EXPECT_EQ(model_.firstMesh->faceCount, 1);
}

TEST_F(MqoRead, Refusals) {
    struct Case {
        std::string body;
        const char* message;
    };
    const std::string quad = "vertex 4 {\r\n0 0 0\r\n1 0 0\r\n1 1 0\r\n0 1 0\r\n}\r\n";
    const std::vector<Case> cases = {
        {"depth 1024", "depth の値( 1024 )が不正です"},
        {"depth -3", "depth の値( -3 )が不正です"},
        {"depth", "depth の値( -1 )が不正です"},
        {quad + "face 1 {\r\n3 V(0 1 2) M(1024)\r\n}", "M の値( 1024 )が不正です"},
        {quad + "face 1 {\r\n3 V(0 1 2) M(-1)\r\n}", "M の値( -1 )が不正です"},
        {quad + "face 1 {\r\n3 V(0 -1 2)\r\n}", "1番目の V の頂点インデックスが不正です"},
        {quad + "face 1 {\r\n3 (0 1 2)\r\n}", "face の頂点数の数の後に V がありません"},
        {quad + "face 1 {\r\n3 V(0 1 2) COL(1 2 3 4)\r\n}", "face の COL の ) がありません"},
        {quad + "face 1 {\r\n3 V(0 1 2) UV(1 2 3 4 5 6 7)\r\n}", "face の UV の ) がありません"},
        {quad + "face 1 {\r\n3 V(0 1 2)\r\nx", "face の終端に } がありません"},
        {"vertex 3 (", "vertex 後に { がありません"},
        {"vertex 99999999 {", "頂点座標を保存するメモリ領域の確保に失敗しました"},
        {"face -1 {", "面情報を保存するメモリ領域の確保に失敗しました"},
        {"name " + std::string(1100, 'x'), "長すぎる文字列があります"},
    };
    for (const Case& c : cases) {
        const std::string depth = c.body.rfind("depth", 0) == 0 ? "" : "depth 0\r\n";
        EXPECT_EQ(Read(kHead + "Object \"o\" {\r\n" + depth + c.body + "\r\n}\r\nEof\r\n"), -1)
            << c.body.substr(0, 60);
        EXPECT_NE(Log().find(c.message), std::string::npos) << c.message << "\n" << Log();
    }
}

TEST_F(MqoRead, UnreadChunksAreSkippedOverStrayBytes) {
    const std::string text = kHead +
                             Lines({"Scene {", "\tamb 0.25 0.25 0.25", "\tweird ; # @ {",
                                    "\t\t\"a } b\" }", "}", "BackImage {", "}"}) +
                             Object("o", QuadBody({"4 V(0 1 2 3)"})) + "Eof\r\n";
    ASSERT_EQ(Read(text), 0) << Log();
    ASSERT_EQ(model_.frameCount, 1);
    EXPECT_NE(model_.firstMesh, nullptr);
    // A chunk that never closes ends the object pass with the chunk message.
    EXPECT_EQ(Read(kHead + "Scene {\r\n\tamb 1 1 1\r\n"), -1);
    EXPECT_NE(Log().find("チャンク解析中に文字列解析エラーが発生しました"), std::string::npos);
}

TEST(MqoTokens, TokenKinds) {
    const std::string text =
        " \t\r\n\"a\x81"
        "\x22"
        "b\" ( -1.5e 12ab_3 } ; x";
    tessel::MqoCursor c = {text.c_str(), static_cast<int32_t>(text.size()), text.c_str(), 0};
    char token[tessel::kMqoTokenBytes];
    ASSERT_EQ(tessel::NextMqoToken(&c, token), 0);
    // The second byte of a double-byte character does not end the string.
    EXPECT_EQ(std::string(token),
              "\"a\x81"
              "\x22"
              "b\"");
    ASSERT_EQ(tessel::NextMqoToken(&c, token), 0);
    EXPECT_STREQ(token, "(");
    ASSERT_EQ(tessel::NextMqoToken(&c, token), 0);
    EXPECT_STREQ(token, "-1.5");
    ASSERT_EQ(tessel::NextMqoToken(&c, token), 0);
    EXPECT_STREQ(token, "e");
    ASSERT_EQ(tessel::NextMqoToken(&c, token), 0);
    EXPECT_STREQ(token, "12");
    ASSERT_EQ(tessel::NextMqoToken(&c, token), 0);
    EXPECT_STREQ(token, "ab_3");
    ASSERT_EQ(tessel::NextMqoToken(&c, token), 0);
    EXPECT_STREQ(token, "}");
    const char* before = c.position;
    EXPECT_EQ(tessel::NextMqoToken(&c, token), -1);
    EXPECT_EQ(c.position, before + 1);  // blanks skipped, the ';' not taken
    EXPECT_EQ(*c.position, ';');
    ++c.position;
    ASSERT_EQ(tessel::NextMqoToken(&c, token), 0);
    EXPECT_EQ(tessel::NextMqoToken(&c, token), 1);
    EXPECT_FLOAT_EQ(tessel::ReadMqoFloat(&c), -1.0f);
    EXPECT_EQ(tessel::ReadMqoInt(&c), -1);
}

TEST(MqoTokens, UnclosedQuoteAndLongTokens) {
    const std::string open = "\"abc";
    tessel::MqoCursor c = {open.c_str(), static_cast<int32_t>(open.size()), open.c_str(), 0};
    char token[tessel::kMqoTokenBytes];
    EXPECT_EQ(tessel::NextMqoToken(&c, token), -1);
    EXPECT_EQ(c.position, open.c_str());
    // 1023 bytes fit, 1024 do not, and every later read then fails.
    for (int length : {1023, 1024}) {
        const std::string word(length, 'w');
        tessel::MqoCursor w = {word.c_str(), length, word.c_str(), 0};
        EXPECT_EQ(tessel::NextMqoToken(&w, token), length == 1023 ? 0 : -1) << length;
        EXPECT_EQ(w.overflowed, length == 1023 ? 0 : 1);
    }
}

}  // namespace
