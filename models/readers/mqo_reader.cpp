// The MQO reader. Two passes over the text: the first finds and reads the
// Material chunk, the second reads every Object chunk into one frame with
// one mesh. Only faces of three or four corners stay; mirrored objects are
// expanded into real geometry; faces without a material use a last material
// named "NoMaterial".
//
// Routes: ReadMqoIntoModel -> ReadMaterials (MaterialLine per material)
//         -> ReadObjects -> ReadObject (ReadVertices, ReadFaces -> FaceLine,
//         ExpandMirror) -> DropUnusedTextures.
// Every table is indexed by a number of the file, so numbers past the tables
// refuse the file instead of writing beyond them.
#include "models/readers/mqo_reader.h"

#include <bit>
#include <cstring>
#include <memory>

#include "foundation/base/text.h"
#include "foundation/files/paths.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "models/readers/mqo_tokens.h"
#include "models/util/model_containers.h"

namespace tessel {

namespace {

constexpr char kMqoFirstLine[] = "Metasequoia Document\r\n";
constexpr int kMqoFirstLineBytes = 22;
constexpr int kMqoBodyStart = 43;
constexpr int kObjectNameBytes = kMqoTokenBytes;

struct FaceTables {
    uint8_t seen[kMqoTableSize];
    int32_t localIndex[kMqoTableSize];
    int32_t list[kMqoTableSize];
    int32_t listLength;
};

class MqoReader {
  public:
    MqoReader(const ModelLoadParams* params, ReadModel* model) : params_(params), model_(model) {}

    int Read() {
        if (params_->size < kMqoFirstLineBytes ||
            CompareTextN(params_->image, kMqoFirstLine, kMqoFirstLineBytes) != 0) {
            return -2;
        }
        if (CopyNames() != 0) {
            return -1;
        }
        model_->ownSmoothing = 1;
        Rewind();
        if (FindMaterials() != 0 || AddNoMaterial() != 0) {
            return -1;
        }
        Rewind();
        if (ReadObjects() != 0) {
            return -1;
        }
        DropUnusedTextures();
        return 0;
    }

  private:
    // ---- helpers
    int Fail(const char* text) {
        WriteLogFormat("%s", text);
        return -1;
    }

    void Rewind() {
        cursor_.start = static_cast<const char*>(params_->image);
        cursor_.length = params_->size;
        cursor_.position =
            cursor_.start + (params_->size < kMqoBodyStart ? params_->size : kMqoBodyStart);
        cursor_.overflowed = 0;
    }

    // A token that must be `text`.
    bool Expect(const char* text) {
        return NextMqoToken(&cursor_, token_) == 0 && CompareText(token_, text) == 0;
    }

    int CopyNames() {
        model_->filePath = CopyTracked(params_->path);
        model_->baseName = CopyTracked(params_->baseName);
        if (model_->filePath == nullptr || model_->baseName == nullptr) {
            return Fail("MQO Load Error : ファイル名を保存するメモリ領域の確保に失敗しました");
        }
        return 0;
    }

    static char* CopyTracked(const char* text) {
        const char* source = text != nullptr ? text : "";
        const size_t n = std::strlen(source);
        auto* copy = static_cast<char*>(AllocTracked(n + 1, __FILE__, __LINE__));
        if (copy != nullptr) {
            std::memcpy(copy, source, n + 1);
        }
        return copy;
    }

    // ---- first pass: the Material chunk
    int FindMaterials() {
        for (;;) {
            if (SkipMqoBlanks(&cursor_, 0) != 0) {
                return 0;
            }
            if (NextMqoToken(&cursor_, token_) != 0) {
                return Fail("MQO Load Error : 予期せぬ EOF です");
            }
            if (CompareText(token_, "Material") == 0) {
                return ReadMaterials();
            }
            // A file that ends inside an unread chunk simply has no Material
            // chunk; the object pass reports what is broken about it.
            if (SkipMqoChunk(&cursor_) != 0) {
                return cursor_.overflowed != 0 ? Fail(kTooLong) : 0;
            }
        }
    }

    int ReadMaterials() {
        if (NextMqoToken(&cursor_, token_) != 0) {
            WriteLogFormat("MQO Load Error : マテリアルの数( %d )が不正です", -1);
            return -1;
        }
        const int32_t count = TextToInt(token_);
        // The NoMaterial entry takes the number after the last, which must
        // still fit the tables.
        if (count < 0 || count >= kMqoTableSize) {
            WriteLogFormat("MQO Load Error : マテリアルの数( %d )が不正です", count);
            return -1;
        }
        fileMaterialCount_ = count;
        if (!Expect("{")) {
            return Fail("MQO Load Error : Material 数の後に { がありません");
        }
        SkipMqoBlanks(&cursor_, 0);
        for (int i = 0; i < count; ++i) {
            if (MaterialLine(i) != 0) {
                return -1;
            }
        }
        if (!Expect("}")) {
            return Fail("MQO Load Error : Material チャンクの終端に } がありません");
        }
        return 0;
    }

    int MaterialLine(int i) {
        if (ReadMqoQuoted(&cursor_, token_) != 0) {
            WriteLogFormat("MQO Load Error : No.%d の Material 名の取得に失敗しました", i);
            return -1;
        }
        ReadModelMaterial* material = ReadModelNewMaterial(model_, token_);
        if (material == nullptr) {
            WriteLogFormat("MQO Load Error : No.%d の Material オブジェクトの追加に失敗しました",
                           i);
            return -1;
        }
        materials_[i] = material;
        float colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
        SkipMqoBlanks(&cursor_, 1);
        while (MqoByte(&cursor_) != '\r') {
            if (NextMqoToken(&cursor_, token_) != 0) {
                WriteLogFormat(
                    "MQO Load Error : No.%d の Material の読み込み中にエラーが発生しました", i);
                return -1;
            }
            if (MaterialAttribute(i, material, colour) != 0) {
                return -1;
            }
            SkipMqoBlanks(&cursor_, 1);
        }
        material->diffuse[3] = colour[3];
        return 0;
    }

    // The values of one attribute between its parentheses; 1 when the token
    // is no attribute of ours.
    int MaterialAttribute(int i, ReadModelMaterial* material, float* colour) {
        static constexpr const char* kKeywords[] = {"col",   "dif", "amb",    "emi", "spc",
                                                    "power", "tex", "aplane", "bump"};
        int which = -1;
        for (int k = 0; k < 9; ++k) {
            if (CompareText(token_, kKeywords[k]) == 0) {
                which = k;
            }
        }
        if (which < 0) {
            return 0;
        }
        const char* keyword = kKeywords[which];
        if (!Expect("(")) {
            WriteLogFormat("MQO Load Error : No.%d の Material の %s の後に ( がありませんでした",
                           i, keyword);
            return -1;
        }
        if (which >= 6) {
            if (TextureAttribute(i, which, material) != 0) {
                return -1;
            }
        } else {
            ColourAttribute(which, material, colour);
        }
        if (!Expect(")")) {
            WriteLogFormat(
                "MQO Load Error : No.%d の Material の %s の数値の後に ) がありませんでした", i,
                keyword);
            return -1;
        }
        return 0;
    }

    void ColourAttribute(int which, ReadModelMaterial* material, float* colour) {
        if (which == 0) {
            for (int k = 0; k < 4; ++k) {
                colour[k] = ReadMqoFloat(&cursor_);
            }
            return;
        }
        const float v = ReadMqoFloat(&cursor_);
        switch (which) {
            case 1:
                Set4(material->diffuse, v * colour[0], v * colour[1], v * colour[2], 1.0f);
                break;
            case 2:
                Set4(material->ambient, v, v, v, 0.0f);
                break;
            case 3:
                Set4(material->emissive, v * colour[0], v * colour[1], v * colour[2], 0.0f);
                break;
            case 4:
                Set4(material->specular, v, v, v, 0.0f);
                break;
            default:
                material->power = v * 4.0f;
                break;
        }
    }

    static void Set4(float* out, float a, float b, float c, float d) {
        out[0] = a;
        out[1] = b;
        out[2] = c;
        out[3] = d;
    }

    int TextureAttribute(int i, int which, ReadModelMaterial* material) {
        static constexpr const char* kNames[] = {"tex", "aplane", "bump"};
        if (ReadMqoQuoted(&cursor_, name_) != 0) {
            WriteLogFormat("MQO Load Error : No.%d の %s の文字列読み込みに失敗しました", i,
                           kNames[which - 6]);
            return -1;
        }
        ReadModelTextureLayer& diffuse = material->layers[0];
        ReadModelTexture* texture = nullptr;
        if (which == 6) {
            texture = ReadModelNewTexture(model_, name_, name_, nullptr, 0, 0.1f, 1, 0);
        } else if (which == 7) {
            texture = diffuse.count != 0
                          ? diffuse.textures[0]
                          : ReadModelNewTexture(model_, name_, "", nullptr, 0, 0.1f, 1, 0);
        } else {
            char filePart[kPathCapacity * 4] = "";
            if (std::strlen(name_) < sizeof(filePart)) {
                SplitPath(name_, filePart, nullptr);
            }
            texture = ReadModelNewTexture(model_, filePart, name_, nullptr, 1, 0.1f, 1, 0);
        }
        if (texture == nullptr) {
            WriteLogFormat("MQO Load Error : No.%d の テクスチャオブジェクトの作成に失敗しました",
                           i);
            return -1;
        }
        if (which == 7) {
            texture->alphaFile = ReadModelCopyString(model_, name_);
            if (texture->alphaFile == nullptr) {
                WriteLogFormat("MQO Load Error : No.%d の aplane の文字列の保存に失敗しました", i);
                return -1;
            }
        }
        ReadModelTextureLayer& layer = material->layers[which == 8 ? 2 : 0];
        layer.count = 1;
        layer.textures[0] = texture;
        return 0;
    }

    int AddNoMaterial() {
        ReadModelMaterial* material = ReadModelNewMaterial(model_, "NoMaterial");
        if (material == nullptr) {
            return Fail("MQO Load Error : Material オブジェクトの追加に失敗しました");
        }
        Set4(material->diffuse, 1.0f, 1.0f, 1.0f, 1.0f);
        noMaterial_ = fileMaterialCount_;
        materials_[noMaterial_] = material;
        std::memset(usedByFace_, 0, sizeof(usedByFace_));
        return 0;
    }

    // ---- second pass: the Object chunks
    int ReadObjects() {
        std::memset(frameStack_, 0, sizeof(frameStack_));
        for (;;) {
            if (SkipMqoBlanks(&cursor_, 0) != 0) {
                return 0;
            }
            if (NextMqoToken(&cursor_, token_) != 0) {
                return Fail("MQO Load Error : チャンク解析中に文字列解析エラーが発生しました");
            }
            if (CompareText(token_, "Eof") == 0) {
                return 0;
            }
            if (CompareText(token_, "Object") == 0) {
                if (ReadObject() != 0) {
                    return -1;
                }
            } else if (SkipMqoChunk(&cursor_) != 0) {
                return Fail(
                    cursor_.overflowed != 0
                        ? kTooLong
                        : "MQO Load Error : チャンク解析中に文字列解析エラーが発生しました");
            }
        }
    }

    int ObjectFail(const char* format) {
        WriteLogFormat(format, object_);
        return -1;
    }

    int ReadObject() {
        if (ReadMqoQuoted(&cursor_, object_) != 0) {
            object_[0] = '\0';
            return Fail("MQO Load Error : Object チャンクの名前の取得に失敗しました");
        }
        if (!Expect("{")) {
            return Fail("MQO Load Error : Object チャンク名の後に { がありません");
        }
        if (NextMqoToken(&cursor_, token_) != 0) {
            return ObjectFail("MQO Load Error : Object %s チャンクの解析中にエラーが発生しました");
        }
        int32_t depth = 0;
        if (CompareText(token_, "depth") == 0) {
            depth = ReadMqoInt(&cursor_);
            if (depth < 0 || depth >= kMqoTableSize) {
                WriteLogFormat("MQO Load Error : Object %s チャンクの depth の値( %d )が不正です",
                               object_, depth);
                return -1;
            }
        }
        // A depth with no object one level up hangs at the top.
        ReadModelFrame* parent = depth > 0 ? frameStack_[depth - 1] : nullptr;
        frame_ = ReadModelNewFrame(model_, object_, parent);
        if (frame_ == nullptr) {
            return Fail("MQO Load Error : フレームオブジェクトの追加に失敗しました");
        }
        frameStack_[depth] = frame_;
        mesh_ = ReadModelNewMesh(model_, frame_);
        if (mesh_ == nullptr) {
            return Fail("MQO Load Error : メッシュオブジェクトの追加に失敗しました");
        }
        mirrorMode_ = 0;
        mirrorAxes_ = 0;
        for (;;) {
            if (NextMqoToken(&cursor_, token_) != 0) {
                return ObjectFail(cursor_.overflowed != 0
                                      ? kTooLongInObject
                                      : "MQO Load Error : Object %s "
                                        "チャンクの解析中にエラーが発生しました");
            }
            if (CompareText(token_, "}") == 0) {
                return mirrorMode_ == 1 && mesh_ != nullptr ? ExpandMirror() : 0;
            }
            if (ObjectAttribute() != 0) {
                return -1;
            }
        }
    }

    int ObjectAttribute() {
        if (CompareText(token_, "visible") == 0) {
            frame_->flag = ReadMqoInt(&cursor_) == 15 ? 1 : 0;
        } else if (CompareText(token_, "scale") == 0) {
            ReadVec3(&frame_->scale);
        } else if (CompareText(token_, "rotation") == 0) {
            ReadVec3(&frame_->rotation);
        } else if (CompareText(token_, "translation") == 0) {
            ReadVec3(&frame_->translation);
        } else if (CompareText(token_, "facet") == 0) {
            frame_->smoothingAngle =
                static_cast<float>(ReadMqoFloat(&cursor_) * 3.141592653589793 / 180.0);
        } else if (CompareText(token_, "mirror") == 0) {
            mirrorMode_ = ReadMqoInt(&cursor_);
        } else if (CompareText(token_, "mirror_axis") == 0) {
            mirrorAxes_ = ReadMqoInt(&cursor_);
        } else if (CompareText(token_, "vertex") == 0) {
            return ReadVertices();
        } else if (CompareText(token_, "face") == 0) {
            return ReadFaces();
        }
        return 0;
    }

    void ReadVec3(Vec3* out) {
        out->x = ReadMqoFloat(&cursor_);
        out->y = ReadMqoFloat(&cursor_);
        out->z = ReadMqoFloat(&cursor_);
    }

    // A count no larger than the text itself: every entry takes bytes of it,
    // so a larger count is a broken file, not a reason to allocate.
    bool CountFits(int32_t count) const { return count >= 0 && count <= cursor_.length; }

    // A removed mesh comes back when the object goes on with more geometry.
    bool EnsureMesh() {
        if (mesh_ == nullptr) {
            mesh_ = ReadModelNewMesh(model_, frame_);
        }
        return mesh_ != nullptr;
    }

    int ReadVertices() {
        const int32_t n = ReadMqoInt(&cursor_);
        if (!CountFits(n) || !EnsureMesh()) {
            return ObjectFail(
                "MQO Load Error : Object %s "
                "チャンクの頂点座標を保存するメモリ領域の確保に失敗しました");
        }
        mesh_->positionCount = n;
        mesh_->positions = static_cast<Vec3*>(
            AllocChainedBlock(static_cast<size_t>(n) * sizeof(Vec3) + 1, &model_->blocks));
        if (mesh_->positions == nullptr) {
            return ObjectFail(
                "MQO Load Error : Object %s "
                "チャンクの頂点座標を保存するメモリ領域の確保に失敗しました");
        }
        if (!Expect("{")) {
            return ObjectFail("MQO Load Error : Object %s チャンクの vertex 後に { がありません");
        }
        for (int32_t i = 0; i < n; ++i) {
            Vec3& p = mesh_->positions[i];
            p.x = ReadMqoFloat(&cursor_);
            p.y = ReadMqoFloat(&cursor_);
            p.z = -ReadMqoFloat(&cursor_);
        }
        if (!Expect("}")) {
            return ObjectFail(
                "MQO Load Error : Object %s チャンクの vertex の終端に } がありません");
        }
        return 0;
    }

    template <typename T>
    T* Chained(int64_t count) {
        return static_cast<T*>(
            AllocChainedBlock(static_cast<size_t>(count) * sizeof(T) + 1, &model_->blocks));
    }

    int ReadFaces() {
        const int32_t count = ReadMqoInt(&cursor_);
        if (!CountFits(count) || !EnsureMesh()) {
            return ObjectFail(
                "MQO Load Error : Object %s "
                "チャンクの面情報を保存するメモリ領域の確保に失敗しました");
        }
        mesh_->faceCount = count;
        mesh_->faces = Chained<ReadModelFace>(count);
        ReadModelCorner* corners =
            mesh_->faces != nullptr ? ReadModelNewCorners(model_, int64_t{4} * count) : nullptr;
        if (corners == nullptr) {
            return ObjectFail(
                "MQO Load Error : Object %s "
                "チャンクの面情報を保存するメモリ領域の確保に失敗しました");
        }
        mesh_->texCoords[0] = Chained<float[3]>(int64_t{4} * count);
        if (mesh_->texCoords[0] == nullptr) {
            return ObjectFail(
                "MQO Load Error : Object %s チャンクの "
                "uv座標を保存するメモリ領域の確保に失敗しました");
        }
        mesh_->colours = Chained<float[4]>(int64_t{4} * count);
        if (mesh_->colours == nullptr) {
            return ObjectFail(
                "MQO Load Error : Object %s チャンクの "
                "頂点カラーを保存するメモリ領域の確保に失敗しました");
        }
        for (int64_t i = 0; i < int64_t{4} * count; ++i) {
            Set4(mesh_->colours[i], 1.0f, 1.0f, 1.0f, 1.0f);
        }
        mesh_->texCoordCounts[0] = 4 * count;
        mesh_->colourCount = 4 * count;
        if (!Expect("{")) {
            return ObjectFail("MQO Load Error : Object %s チャンクの face 後に { がありません");
        }
        tables_->listLength = 0;
        std::memset(tables_->seen, 0, sizeof(tables_->seen));
        uvCounter_ = 0;
        colourCounter_ = 0;
        int32_t kept = 0;
        for (int32_t line = 0; line < count; ++line) {
            ReadModelFace* face = &mesh_->faces[kept];
            face->corners = corners;
            const int result = FaceLine(face);
            if (result < 0) {
                return -1;
            }
            if (result == 1) {
                ++kept;
                corners += face->cornerCount;
            } else {
                // The next line reuses the record; clear what this one left.
                std::memset(face, 0, sizeof(*face));
            }
        }
        mesh_->faceCount = kept;
        if (!Expect("}")) {
            return ObjectFail("MQO Load Error : Object %s チャンクの face の終端に } がありません");
        }
        return FinishMesh();
    }

    int FinishMesh() {
        if (mesh_->faceCount == 0) {
            ReadModelRemoveMesh(model_, frame_, mesh_);
            mesh_ = nullptr;
            return 0;
        }
        if (tables_->listLength > kReadModelMeshMaterials) {
            return ObjectFail("MQO Load Error : Object %s チャンクの材質の数が多すぎます");
        }
        mesh_->materialCount = tables_->listLength;
        for (int i = 0; i < tables_->listLength; ++i) {
            mesh_->materials[i] = materials_[tables_->list[i]];
        }
        if (mesh_->materialCount == 1 && mesh_->materials[0]->diffuse[3] == 0.0f) {
            ReadModelRemoveMesh(model_, frame_, mesh_);
            mesh_ = nullptr;
        }
        return 0;
    }

    // The mesh-local index of material number m, entered on first use.
    int32_t UseMaterial(int32_t m) {
        if (tables_->seen[m] == 0) {
            tables_->seen[m] = 1;
            tables_->localIndex[m] = tables_->listLength;
            tables_->list[tables_->listLength++] = m;
            usedByFace_[m] = 1;
        }
        return tables_->localIndex[m];
    }

    // 1 when the face stays, 0 when it is dropped, -1 on failure. Faces that
    // are dropped take no corners, texture-coordinate or colour entries, so
    // the four entries a face has room for are never exceeded.
    int FaceLine(ReadModelFace* face) {
        const int32_t n = ReadMqoInt(&cursor_);
        const bool keep = n == 3 || n == 4;
        face->cornerCount = n;
        if (!Expect("V")) {
            return ObjectFail(
                "MQO Load Error : Object %s チャンクの face の頂点数の数の後に V がありません");
        }
        if (!Expect("(")) {
            return ObjectFail("MQO Load Error : Object %s チャンクの face の V の ( がありません");
        }
        for (int32_t k = 0; k < n; ++k) {
            const int32_t index = ReadMqoInt(&cursor_);
            if (index == -1) {
                WriteLogFormat(
                    "MQO Load Error : Object %s チャンクの face の %d番目の V "
                    "の頂点インデックスが不正です",
                    object_, k);
                return -1;
            }
            if (keep) {
                face->corners[k].position = index;
            }
        }
        if (!Expect(")")) {
            return ObjectFail("MQO Load Error : Object %s チャンクの face の V の ) がありません");
        }
        int32_t material = -1;
        SkipMqoBlanks(&cursor_, 1);
        if (MqoByte(&cursor_) == 'M') {
            if (FaceMaterial(&material) != 0) {
                return -1;
            }
        }
        SkipMqoBlanks(&cursor_, 1);
        if (MqoLooksAt(&cursor_, "UV") != 0 && FaceTexCoords(face, n, keep) != 0) {
            return -1;
        }
        SkipMqoBlanks(&cursor_, 1);
        const bool hasColours = MqoLooksAt(&cursor_, "COL") != 0;
        if (hasColours && FaceColours(face, n, keep, material) != 0) {
            return -1;
        }
        if (!hasColours && material >= 0 && keep) {
            for (int32_t k = 0; k < n; ++k) {
                face->corners[k].colour = colourCounter_;
                std::memcpy(mesh_->colours[colourCounter_++], materials_[material]->diffuse,
                            sizeof(float[4]));
            }
        }
        face->materialIndex = UseMaterial(material >= 0 ? material : noMaterial_);
        return keep ? 1 : 0;
    }

    // Reads M(m); `material` stays -1 when m names no material of the file
    // (the face then uses NoMaterial).
    int FaceMaterial(int32_t* material) {
        NextMqoToken(&cursor_, token_);
        if (!Expect("(")) {
            return ObjectFail("MQO Load Error : Object %s チャンクの face の M の ( がありません");
        }
        const int32_t m = ReadMqoInt(&cursor_);
        if (m < 0 || m >= kMqoTableSize) {
            WriteLogFormat("MQO Load Error : Object %s チャンクの face の M の値( %d )が不正です",
                           object_, m);
            return -1;
        }
        if (!Expect(")")) {
            return ObjectFail("MQO Load Error : Object %s チャンクの face の M の ) がありません");
        }
        if (m < fileMaterialCount_) {
            *material = m;
        }
        return 0;
    }

    int FaceTexCoords(ReadModelFace* face, int32_t n, bool keep) {
        NextMqoToken(&cursor_, token_);
        if (!Expect("(")) {
            return ObjectFail("MQO Load Error : Object %s チャンクの face の UV の ( がありません");
        }
        for (int32_t k = 0; k < n; ++k) {
            const float u = ReadMqoFloat(&cursor_);
            const float v = ReadMqoFloat(&cursor_);
            if (keep) {
                face->corners[k].texCoord[0] = uvCounter_;
                float* entry = mesh_->texCoords[0][uvCounter_++];
                entry[0] = u;
                entry[1] = v;
            }
        }
        if (!Expect(")")) {
            return ObjectFail("MQO Load Error : Object %s チャンクの face の UV の ) がありません");
        }
        return 0;
    }

    int FaceColours(ReadModelFace* face, int32_t n, bool keep, int32_t material) {
        NextMqoToken(&cursor_, token_);
        if (!Expect("(")) {
            return ObjectFail(
                "MQO Load Error : Object %s チャンクの face の COL の ( がありません");
        }
        static constexpr float kWhite[4] = {1.0f, 1.0f, 1.0f, 1.0f};
        const float* base = material >= 0 ? materials_[material]->diffuse : kWhite;
        for (int32_t k = 0; k < n; ++k) {
            const auto c = static_cast<uint32_t>(ReadMqoInt(&cursor_));
            if (!keep) {
                continue;
            }
            face->corners[k].colour = colourCounter_;
            float* out = mesh_->colours[colourCounter_++];
            out[0] = static_cast<float>((c & 0xFF) * base[0] / 255.0);
            out[1] = static_cast<float>(((c >> 8) & 0xFF) * base[1] / 255.0);
            out[2] = static_cast<float>(((c >> 16) & 0xFF) * base[2] / 255.0);
            out[3] = static_cast<float>((c >> 24) * base[3] / 255.0);
        }
        if (!Expect(")")) {
            return ObjectFail(
                "MQO Load Error : Object %s チャンクの face の COL の ) がありません");
        }
        return 0;
    }

    // ---- mirrors
    int ExpandMirror() {
        const int axes = mirrorAxes_ & 7;
        const int copies = 1 << std::popcount(static_cast<unsigned>(axes));
        const int32_t vertexCount = mesh_->positionCount;
        const int32_t faceCount = mesh_->faceCount;
        auto* flags = static_cast<uint8_t*>(AllocTracked(vertexCount + 1, __FILE__, __LINE__));
        if (flags == nullptr) {
            return ObjectFail(
                "MQO Load Error : Object %s "
                "チャンクのミラーリング頂点データ情報フラグ格納用メモリの確保に失敗しました");
        }
        Vec3* positions = Chained<Vec3>(int64_t{vertexCount} * copies);
        if (positions == nullptr) {
            FreeTracked(flags);
            return ObjectFail(
                "MQO Load Error : Object %s "
                "チャンクのミラーリング頂点データ格納用メモリの確保に失敗しました");
        }
        int64_t cornerCount = 0;
        for (int32_t f = 0; f < faceCount; ++f) {
            cornerCount += mesh_->faces[f].cornerCount;
        }
        ReadModelFace* faces = Chained<ReadModelFace>(int64_t{faceCount} * copies);
        ReadModelCorner* corners =
            faces != nullptr ? ReadModelNewCorners(model_, cornerCount * copies) : nullptr;
        if (corners == nullptr) {
            FreeTracked(flags);
            return ObjectFail(
                "MQO Load Error : Object %s "
                "チャンクのミラーリング面データ格納用メモリの確保に失敗しました");
        }
        for (int c = 0; c < copies; ++c) {
            if (vertexCount > 0 && mesh_->positions != nullptr) {
                std::memcpy(positions + int64_t{vertexCount} * c, mesh_->positions,
                            sizeof(Vec3) * vertexCount);
            }
            if (faceCount > 0) {
                std::memcpy(faces + int64_t{faceCount} * c, mesh_->faces,
                            sizeof(ReadModelFace) * faceCount);
                corners = CopyCorners(faces + int64_t{faceCount} * c, faceCount, corners);
            }
        }
        int copy = 1;
        for (int m = 1; m <= 7; ++m) {
            if ((m & ~axes) != 0) {
                continue;
            }
            MirrorCopy(m, copy, flags, positions + int64_t{vertexCount} * copy,
                       faces + int64_t{faceCount} * copy, vertexCount, faceCount);
            ++copy;
        }
        mesh_->positions = positions;
        mesh_->faces = faces;
        mesh_->positionCount = vertexCount * copies;
        mesh_->faceCount = faceCount * copies;
        FreeTracked(flags);
        return 0;
    }

    // Gives the faces copies of their corners from `to` on; the end of the
    // copies.
    static ReadModelCorner* CopyCorners(ReadModelFace* faces, int32_t faceCount,
                                        ReadModelCorner* to) {
        for (int32_t f = 0; f < faceCount; ++f) {
            const int32_t n = faces[f].cornerCount;
            std::memcpy(to, faces[f].corners, sizeof(ReadModelCorner) * static_cast<size_t>(n));
            faces[f].corners = to;
            to += n;
        }
        return to;
    }

    static void MirrorCopy(int m, int copy, uint8_t* flags, Vec3* positions, ReadModelFace* faces,
                           int32_t vertexCount, int32_t faceCount) {
        const int k = std::popcount(static_cast<unsigned>(m));
        std::memset(flags, 0, vertexCount + 1);
        for (int axis = 0; axis < 3; ++axis) {
            if ((m & (1 << axis)) == 0) {
                continue;
            }
            for (int32_t v = 0; v < vertexCount; ++v) {
                float& value =
                    axis == 0 ? positions[v].x : (axis == 1 ? positions[v].y : positions[v].z);
                if (value == 0.0f) {
                    ++flags[v];
                } else {
                    value = -value;
                }
            }
        }
        for (int32_t f = 0; f < faceCount; ++f) {
            ReadModelFace& face = faces[f];
            const int corners = face.cornerCount;
            for (int c = 0; c < corners; ++c) {
                const int32_t v = face.corners[c].position;
                // An index past the vertices is left for the conversion to
                // refuse; it is never used to read the flags.
                const bool shared = v >= 0 && v < vertexCount && flags[v] == k;
                if (!shared) {
                    face.corners[c].position = v + vertexCount * copy;
                }
            }
            if (k % 2 == 1) {
                ReverseCorners(&face);
            }
        }
    }

    // 0 1 2 becomes 0 2 1, 0 1 2 3 becomes 3 2 1 0; every index moves with
    // its corner.
    static void ReverseCorners(ReadModelFace* face) {
        auto swap = [face](int a, int b) { std::swap(face->corners[a], face->corners[b]); };
        if (face->cornerCount == 3) {
            swap(1, 2);
        } else {
            swap(0, 3);
            swap(1, 2);
        }
    }

    void DropUnusedTextures() {
        ReadModelMaterial* material = model_->firstMaterial;
        for (int i = 0; material != nullptr; ++i, material = material->next) {
            if (i >= kMqoTableSize || usedByFace_[i] == 0) {
                material->layers[0].count = 0;
            }
        }
    }

    static constexpr const char* kTooLong = "MQO Load Error : 長すぎる文字列があります";
    static constexpr const char* kTooLongInObject =
        "MQO Load Error : Object %s チャンクに長すぎる文字列があります";

    const ModelLoadParams* params_;
    ReadModel* model_;
    MqoCursor cursor_{};
    char token_[kMqoTokenBytes];
    char name_[kMqoTokenBytes];
    char object_[kObjectNameBytes] = "";
    int32_t fileMaterialCount_ = 0;
    int32_t noMaterial_ = 0;
    ReadModelMaterial* materials_[kMqoTableSize] = {};
    uint8_t usedByFace_[kMqoTableSize] = {};
    ReadModelFrame* frameStack_[kMqoTableSize] = {};
    std::unique_ptr<FaceTables> tables_ = std::make_unique<FaceTables>();
    ReadModelFrame* frame_ = nullptr;
    ReadModelMesh* mesh_ = nullptr;
    int32_t mirrorMode_ = 0;
    int32_t mirrorAxes_ = 0;
    int32_t uvCounter_ = 0;
    int32_t colourCounter_ = 0;
};

}  // namespace

int ReadMqoIntoModel(const ModelLoadParams* params, ReadModel* model) {
    auto reader = std::make_unique<MqoReader>(params, model);
    return reader->Read();
}

}  // namespace tessel
