// The data of each template we know, read into its node. A count must fit in
// the bytes still unread before anything is allocated for it, so a broken
// file cannot ask for more memory than its own size warrants. Binary files
// name their list-token faults; text files fail on the first word that is no
// number, and the object loop names the object.
//
// Routes: materials and texture names; faces (shared by "Mesh", "MeshFace"
// and "MeshNormals"); mesh parts; frame matrices; animation keys; skinning.
#include <cstring>

#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "models/xfile/x_parse_internal.h"

namespace tessel {

namespace {

// A float run whose binary faults are named by the template; text faults are
// left to the object loop's line.
bool ReadFloats(XTokens& in, float* out, int32_t count, const char* notListLine,
                const char* wrongCountFormat) {
    int32_t listCount = 0;
    const XFloatRun run = in.Floats(out, count, &listCount);
    if (run == XFloatRun::kOk) {
        return true;
    }
    if (!in.binary()) {
        return false;
    }
    if (run == XFloatRun::kNotList) {
        if (notListLine != nullptr) {
            WriteLogFormat("%s", notListLine);
        }
    } else if (wrongCountFormat != nullptr) {
        WriteLogFormat(wrongCountFormat, count, listCount);
    }
    return false;
}

bool ReadCount(XTokens& in, int32_t* count, int64_t itemsPerCount) {
    return in.Int(count) && *count >= 0 && in.Fits(*count * itemsPerCount);
}

template <typename T>
T* ChainArrayOrLog(XObjectTree* tree, int64_t count, const char* line) {
    auto* array = static_cast<T*>(XChainArray(tree, count, sizeof(T)));
    if (array == nullptr) {
        WriteLogFormat("%s", line);
    }
    return array;
}

bool FaceCornersFit(int32_t corners) {
    if (corners >= 0 && corners <= kXMaxFaceCorners) {
        return true;
    }
    WriteLogFormat(
        "Load XFile : 一つの面で使用できる頂点数の最大数 %d を超えた面がありました( %d 個の頂点 )",
        kXMaxFaceCorners, corners);
    return false;
}

// Grows a tracked scratch array of words; the faces are copied into the
// chain once their size is known.
class WordScratch {
  public:
    ~WordScratch() { FreeTracked(words_); }
    bool Push(int32_t word) {
        if (count_ == capacity_) {
            const int32_t capacity = capacity_ == 0 ? 256 : capacity_ * 2;
            void* grown = ReallocTracked(words_, static_cast<uint32_t>(capacity) * 4u, "", 0);
            if (grown == nullptr) {
                return false;
            }
            words_ = static_cast<int32_t*>(grown);
            capacity_ = capacity;
        }
        words_[count_++] = word;
        return true;
    }
    int32_t count() const { return count_; }
    const int32_t* words() const { return words_; }

  private:
    int32_t* words_ = nullptr;
    int32_t count_ = 0;
    int32_t capacity_ = 0;
};

bool ReadFaces(XTokens& in, XObjectTree* tree, XFaceList* faces, const char* arrayLine) {
    if (!ReadCount(in, &faces->faceCount, 1)) {
        return false;
    }
    WordScratch scratch;
    for (int32_t f = 0; f < faces->faceCount; ++f) {
        int32_t corners = 0;
        if (!in.Int(&corners)) {
            return false;
        }
        if (!FaceCornersFit(corners)) {
            return false;
        }
        bool stored = scratch.Push(corners);
        for (int32_t k = 0; k < corners && stored; ++k) {
            int32_t index = 0;
            if (!in.Int(&index)) {
                return false;
            }
            stored = scratch.Push(index);
        }
        if (!stored) {
            WriteLogFormat("%s", arrayLine);
            return false;
        }
    }
    faces->wordCount = scratch.count();
    faces->words = ChainArrayOrLog<int32_t>(tree, scratch.count(), arrayLine);
    if (faces->words == nullptr) {
        return false;
    }
    if (scratch.count() > 0) {
        std::memcpy(faces->words, scratch.words(), static_cast<size_t>(scratch.count()) * 4u);
    }
    return true;
}

bool ParseMaterial(XTokens& in, XObjectTree*, XObject* object) {
    float v[11];
    int32_t listCount = 0;
    const XFloatRun run = in.Floats(v, 11, &listCount);
    if (run != XFloatRun::kOk) {
        if (in.binary()) {
            WriteLogFormat("%s", run == XFloatRun::kNotList ? "Load XFile : Material FloadList"
                                                            : "Load XFile : Material Not 11");
        }
        return false;
    }
    auto* material = XPayload<XMaterialData>(object);
    std::memcpy(material->faceColour, v, sizeof material->faceColour);
    material->power = v[4];
    std::memcpy(material->specular, v + 5, sizeof material->specular);
    std::memcpy(material->emissive, v + 8, sizeof material->emissive);
    return true;
}

bool ParseTextureFilename(XTokens& in, XObjectTree* tree, XObject* object) {
    XSpan text;
    if (!in.String(&text)) {
        return false;
    }
    char* copy = XChainText(tree, text);
    if (copy == nullptr) {
        WriteLogFormat("Load XFile : 文字列 %.*s を格納するメモリ領域の確保に失敗しました",
                       text.length, text.text);
        WriteLogFormat(
            "Load XFile : テクスチャファイルネームリストオブジェクトを格納するメモリ領域の確保に失敗"
            "しました");
        return false;
    }
    XPayload<XTextureFilenameData>(object)->fileName = copy;
    return true;
}

bool ParseMeshFace(XTokens& in, XObjectTree*, XObject* object) {
    auto* face = XPayload<XMeshFaceData>(object);
    if (!in.Int(&face->count) || !FaceCornersFit(face->count)) {
        return false;
    }
    for (int32_t k = 0; k < face->count; ++k) {
        if (!in.Int(&face->indices[k])) {
            return false;
        }
    }
    return true;
}

bool ParseTextureCoords(XTokens& in, XObjectTree* tree, XObject* object) {
    auto* coords = XPayload<XTextureCoordsData>(object);
    if (!ReadCount(in, &coords->count, 2)) {
        return false;
    }
    coords->uv =
        ChainArrayOrLog<float>(tree, 2 * static_cast<int64_t>(coords->count),
                               "Load XFile : UV座標を格納するメモリ領域の確保に失敗しました");
    return coords->uv != nullptr &&
           ReadFloats(in, coords->uv, 2 * coords->count, "Load XFile : MeshTextureCorrds FloadList",
                      "Load XFile : MeshTextureCorrds Not %d ( %d )");
}

bool ParseNormals(XTokens& in, XObjectTree* tree, XObject* object) {
    auto* normals = XPayload<XNormalsData>(object);
    if (!ReadCount(in, &normals->normalCount, 3)) {
        return false;
    }
    normals->normals =
        ChainArrayOrLog<float>(tree, 3 * static_cast<int64_t>(normals->normalCount),
                               "Load XFile : 法線を格納するメモリ領域の確保に失敗しました");
    return normals->normals != nullptr &&
           ReadFloats(in, normals->normals, 3 * normals->normalCount,
                      "Load XFile : MeshNormals FloadList",
                      "Load XFile : MeshNormals Not %d ( %d )") &&
           ReadFaces(in, tree, &normals->faces,
                     "Load XFile : 法線面情報を格納するメモリ領域の確保に失敗しました");
}

bool ParseMaterialList(XTokens& in, XObjectTree* tree, XObject* object) {
    auto* list = XPayload<XMaterialListData>(object);
    if (!in.Int(&list->materialCount) || !in.Int(&list->faceCount)) {
        if (in.binary()) {
            WriteLogFormat("Load XFile : MeshMaterialList IntergerList");
        }
        return false;
    }
    if (list->materialCount < 0 || !in.Fits(list->faceCount)) {
        return false;
    }
    list->faceMaterials = ChainArrayOrLog<int32_t>(
        tree, list->faceCount,
        "Load XFile : マテリアルと面の関係情報を格納するメモリ領域の確保に失敗しました");
    if (list->faceMaterials == nullptr) {
        return false;
    }
    for (int32_t f = 0; f < list->faceCount; ++f) {
        int32_t index = 0;
        if (!in.Int(&index)) {
            if (in.binary()) {
                WriteLogFormat("Load XFile : MeshMaterialList IntergerList");
            }
            return false;
        }
        // A negative index would reach before the mesh's materials just as a
        // too large one reaches past them.
        if (index < 0 || index >= list->materialCount) {
            WriteLogFormat("Load XFile : nMaterials より大きいマテリアルインデックスがありました");
            return false;
        }
        list->faceMaterials[f] = index;
    }
    return true;
}

bool ReadIndexedColour(XTokens& in, XIndexedColour* colour) {
    return in.Int(&colour->index) &&
           ReadFloats(in, colour->rgba, 4, "Load XFile : IndexedColor FloadList", nullptr);
}

bool ParseIndexedColor(XTokens& in, XObjectTree*, XObject* object) {
    return ReadIndexedColour(in, &XPayload<XIndexedColorData>(object)->colour);
}

bool ParseVertexColours(XTokens& in, XObjectTree* tree, XObject* object) {
    auto* colours = XPayload<XVertexColoursData>(object);
    if (!ReadCount(in, &colours->count, 1)) {
        return false;
    }
    colours->colours = ChainArrayOrLog<XIndexedColour>(
        tree, colours->count, "Load XFile : 頂点カラーを格納するメモリ領域の確保に失敗しました");
    if (colours->colours == nullptr) {
        return false;
    }
    for (int32_t i = 0; i < colours->count; ++i) {
        if (!ReadIndexedColour(in, &colours->colours[i])) {
            return false;
        }
    }
    return true;
}

bool ParseMesh(XTokens& in, XObjectTree* tree, XObject* object) {
    auto* mesh = XPayload<XMeshData>(object);
    if (!ReadCount(in, &mesh->vertexCount, 3)) {
        return false;
    }
    mesh->positions =
        ChainArrayOrLog<float>(tree, 3 * static_cast<int64_t>(mesh->vertexCount),
                               "Load XFile : 頂点座標を格納するメモリ領域の確保に失敗しました");
    return mesh->positions != nullptr &&
           ReadFloats(in, mesh->positions, 3 * mesh->vertexCount, "Load XFile : Mesh FloadList",
                      "Load XFile : Mesh Not %d ( %d )") &&
           ReadFaces(in, tree, &mesh->faces,
                     "Load XFile : 頂点面情報を格納するメモリ領域の確保に失敗しました");
}

// Binary files give the matrix as one list of 16 or as four rows of 4.
bool ParseBinaryMatrix(XTokens& in, float* m) {
    int32_t count = 0;
    const uint8_t* values = nullptr;
    if (!in.FloatList(&count, &values)) {
        WriteLogFormat("Load XFile : FrameTransformMatrix FloadList");
        return false;
    }
    if (count != 16 && count != 4) {
        WriteLogFormat("Load XFile : FrameTransformMatrix Not 16 ( %d )", count);
        return false;
    }
    for (int row = 0; row < 16 / count; ++row) {
        if (row > 0 && !in.FloatList(&count, &values)) {
            WriteLogFormat("Load XFile : FrameTransformMatrix MatrixLine No.%d FloadList", row);
            return false;
        }
        if (row > 0 && count != 4) {
            WriteLogFormat("Load XFile : FrameTransformMatrix MatrixLine No.%d Not 4 ( %d )", row,
                           count);
            return false;
        }
        for (int i = 0; i < count; ++i) {
            m[row * 4 + i] = in.FloatAt(values, i);
        }
    }
    return true;
}

bool ParseFrameMatrix(XTokens& in, XObjectTree*, XObject* object) {
    float* m = XPayload<XMatrixData>(object)->m;
    if (in.binary()) {
        return ParseBinaryMatrix(in, m);
    }
    int32_t listCount = 0;
    return in.Floats(m, 16, &listCount) == XFloatRun::kOk;
}

bool ReadFloatKeys(XTokens& in, XObjectTree* tree, int32_t* count, float** values,
                   const char* arrayLine) {
    if (!ReadCount(in, count, 1)) {
        return false;
    }
    *values = ChainArrayOrLog<float>(tree, *count, arrayLine);
    return *values != nullptr && ReadFloats(in, *values, *count, nullptr, nullptr);
}

bool ParseFloatKeys(XTokens& in, XObjectTree* tree, XObject* object) {
    auto* keys = XPayload<XFloatKeysData>(object);
    return ReadFloatKeys(in, tree, &keys->count, &keys->values,
                         "Load XFile : 浮動小数点リストを格納するメモリ領域の確保に失敗しました");
}

bool ParseTimedFloatKeys(XTokens& in, XObjectTree* tree, XObject* object) {
    auto* keys = XPayload<XTimedFloatKeysData>(object);
    return in.Int(&keys->time) &&
           ReadFloatKeys(
               in, tree, &keys->count, &keys->values,
               "Load XFile : 浮動小数点キーデータを格納するメモリ領域の確保に失敗しました");
}

// Floats each key of the type needs: a quaternion, a vector, a 4x4 matrix.
int32_t ValuesNeeded(int32_t keyType) {
    switch (keyType) {
        case 0:
            return 4;
        case 1:
        case 2:
            return 3;
        case 3:
        case 4:
            return 16;
        default:
            return 0;
    }
}

bool ParseAnimationKey(XTokens& in, XObjectTree* tree, XObject* object) {
    auto* key = XPayload<XAnimationKeyData>(object);
    if (!in.Int(&key->keyType) || !ReadCount(in, &key->keyCount, 1)) {
        return false;
    }
    key->keys = ChainArrayOrLog<XTimedKey>(
        tree, key->keyCount,
        "Load XFile : アニメーションキーリストを格納するメモリ領域の確保に失敗しました");
    if (key->keys == nullptr) {
        return false;
    }
    for (int32_t i = 0; i < key->keyCount; ++i) {
        XTimedKey& timed = key->keys[i];
        if (!in.Int(&timed.time) ||
            !ReadFloatKeys(in, tree, &timed.valueCount, &timed.values,
                           "Load XFile : アニメーションキーの浮動小数点値を格納するメモリ領域の確"
                           "保に失敗しました")) {
            return false;
        }
        // The conversion reads this many values of every key.
        if (timed.valueCount < ValuesNeeded(key->keyType)) {
            WriteLogFormat(
                "Load XFile : アニメーションキーの値の数( %d )が種類 %d のキーに足りません",
                timed.valueCount, key->keyType);
            return false;
        }
        tree->keyBytes += timed.valueCount * 4 + 4;
        key->length = static_cast<float>(timed.time);
    }
    return true;
}

bool ParseAnimationOption(XTokens& in, XObjectTree*, XObject* object) {
    auto* option = XPayload<XAnimationOptionData>(object);
    return in.Int(&option->openClosed) && in.Int(&option->positionQuality);
}

bool ParseSkinHeader(XTokens& in, XObjectTree*, XObject* object) {
    int32_t v[3];
    for (int32_t& value : v) {
        if (!in.Int(&value)) {
            if (in.binary()) {
                WriteLogFormat("Load XFile : XSkinMeshHeader IntergerList");
            }
            return false;
        }
    }
    auto* header = XPayload<XSkinHeaderData>(object);
    header->maxWeightsPerVertex = static_cast<uint16_t>(v[0]);
    header->maxWeightsPerFace = static_cast<uint16_t>(v[1]);
    header->boneCount = static_cast<uint16_t>(v[2]);
    return true;
}

bool AllocWeights(XObjectTree* tree, XSkinWeightsData* skin) {
    skin->vertices = ChainArrayOrLog<int32_t>(
        tree, skin->weightCount,
        "Load XFile : スキンメッシュのウエイト値情報のターゲット頂点インデックスを格納するための"
        "メモリ領域の確保に失敗しました");
    skin->weights = skin->vertices == nullptr
                        ? nullptr
                        : ChainArrayOrLog<float>(tree, skin->weightCount,
                                                 "Load XFile : スキンメッシュのウエイト値情報のウエ"
                                                 "イト値を格納するためのメモリ領域の確保に失敗しま"
                                                 "した");
    return skin->weights != nullptr;
}

// The binary lists are checked as whole tokens: the indices' list must hold
// the count and exactly that many indices, compared on all 32 bits.
bool ParseBinaryWeights(XTokens& in, XObjectTree* tree, XSkinWeightsData* skin) {
    int32_t listCount = 0;
    const uint8_t* values = nullptr;
    if (!in.IntList(&listCount, &values) || listCount < 1) {
        WriteLogFormat("Load XFile : SkinWeights TargetVertex IntegerList");
        return false;
    }
    std::memcpy(&skin->weightCount, values, 4);
    if (skin->weightCount < 0 || skin->weightCount != listCount - 1) {
        WriteLogFormat("Load XFile : SkinWeights TargetVertex Not %d ( %d )",
                       static_cast<int32_t>(static_cast<uint32_t>(skin->weightCount) + 1u),
                       listCount);
        return false;
    }
    if (!AllocWeights(tree, skin)) {
        return false;
    }
    std::memcpy(skin->vertices, values + 4, static_cast<size_t>(skin->weightCount) * 4u);
    const uint8_t* floats = nullptr;
    if (!in.FloatList(&listCount, &floats)) {
        WriteLogFormat("Load XFile : SkinWeights WeightValue FloatList");
        return false;
    }
    if (listCount != skin->weightCount + 16) {
        WriteLogFormat("Load XFile : SkinWeights WeightValue Not %d ( %d )", skin->weightCount + 16,
                       listCount);
        return false;
    }
    for (int32_t i = 0; i < skin->weightCount; ++i) {
        skin->weights[i] = in.FloatAt(floats, i);
    }
    for (int32_t i = 0; i < 16; ++i) {
        skin->offset[i] = in.FloatAt(floats, skin->weightCount + i);
    }
    return true;
}

bool ParseSkinWeights(XTokens& in, XObjectTree* tree, XObject* object) {
    auto* skin = XPayload<XSkinWeightsData>(object);
    XSpan name;
    if (!in.String(&name)) {
        return false;
    }
    skin->frameName = XChainText(tree, name);
    if (skin->frameName == nullptr) {
        WriteLogFormat("Load XFile : 文字列 %.*s を格納するメモリ領域の確保に失敗しました",
                       name.length, name.text);
        return false;
    }
    if (in.binary()) {
        return ParseBinaryWeights(in, tree, skin);
    }
    if (!ReadCount(in, &skin->weightCount, 1) || !AllocWeights(tree, skin)) {
        return false;
    }
    for (int32_t i = 0; i < skin->weightCount; ++i) {
        if (!in.Int(&skin->vertices[i])) {
            return false;
        }
    }
    int32_t listCount = 0;
    return in.Floats(skin->weights, skin->weightCount, &listCount) == XFloatRun::kOk &&
           in.Floats(skin->offset, 16, &listCount) == XFloatRun::kOk;
}

}  // namespace

XTemplateParser XParserFor(int type) {
    switch (type) {
        case kXMaterial:
            return ParseMaterial;
        case kXTextureFilename:
            return ParseTextureFilename;
        case kXMeshFace:
            return ParseMeshFace;
        case kXMeshTextureCoords:
            return ParseTextureCoords;
        case kXMeshNormals:
            return ParseNormals;
        case kXMeshMaterialList:
            return ParseMaterialList;
        case kXIndexedColor:
            return ParseIndexedColor;
        case kXMeshVertexColors:
            return ParseVertexColours;
        case kXMesh:
            return ParseMesh;
        case kXFrameTransformMatrix:
            return ParseFrameMatrix;
        case kXFloatKeys:
            return ParseFloatKeys;
        case kXTimedFloatKeys:
            return ParseTimedFloatKeys;
        case kXAnimationKey:
            return ParseAnimationKey;
        case kXAnimationOption:
            return ParseAnimationOption;
        case kXSkinMeshHeader:
            return ParseSkinHeader;
        case kXSkinWeights:
            return ParseSkinWeights;
        default:
            return nullptr;
    }
}

}  // namespace tessel
