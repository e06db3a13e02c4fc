// The PMD reader's steps over the located sections: bone frames in passes,
// parents first, posed at rest; the mesh with its skin weights, faces and materials; the
// morph mesh that takes every face touching a morphed vertex, and one shape
// per morph; then the motions found beside the file.
//
// Routes: ReadPmdIntoModel -> Read (AddBoneFrames -> FindPass, PlaceBone;
//         AddMesh -> AddSkinWeights; AddIkChains -> LinkPmdIkChains;
//         AddMaterials -> AddMaterial; AddMorphs -> MoveMorphFaces,
//         SplitSkinWeights, AddShapes; AddMotions -> ReadMotionFile,
//         LoadVmdMotion).
// The layout has bounded every count and index, so the steps index the
// records freely; what remains to refuse are parent cycles and tables of
// the read model that would overflow.
#include "models/pmd/pmd_reader.h"

#include <algorithm>
#include <cstring>

#include "foundation/base/text.h"
#include "foundation/files/file_ops.h"
#include "foundation/math/matrix.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "models/pmd/pmd_layout.h"
#include "models/pmd/pmd_work.h"
#include "models/util/model_containers.h"

namespace tessel {

namespace {

// No array of the read model grows beyond this many bytes.
constexpr uint64_t kPmdArrayLimit = uint64_t{1} << 30;
constexpr float kEdgeWidth = 0.01f;
constexpr float kEdgeScale = 1.25f;

constexpr float kPi = 3.1415927410125732f;
constexpr uint32_t kNoPass = 0xFFFFFFFFu;
constexpr int kMotionPathBytes = kModelDirectoryBytes + kModelFileNameBytes + 16;

int32_t FloatWord(float f) {
    int32_t word = 0;
    std::memcpy(&word, &f, 4);
    return word;
}

Vec3 ReadVec3(const uint8_t* p) {
    return Vec3{PmdF32(p), PmdF32(p + 4), PmdF32(p + 8)};
}

// A chain's place in the list: its first chain bone; a chain without bones
// sorts last.
int ChainKey(const PmdIkChain* chain) {
    return chain->chainLength > 0 ? PmdChainBone(chain, 0) : kPmdNoBone + 1;
}

class PmdReader {
  public:
    PmdReader(const ModelLoadParams* params, ReadModel* model) : params_(params), model_(model) {}
    ~PmdReader() {
        if (bones_ != nullptr) {
            ReleasePmdBoneKeys(bones_, static_cast<int>(layout_.boneCount));
        }
        FreeTracked(bones_);
        FreeTracked(chains_);
        FreeTracked(newIndex_);
        FreeTracked(isBase_);
        FreeTracked(newToOld_);
    }

    int Read() {
        model_->noCullTranslucent = 1;
        const int located =
            LocatePmdSections(static_cast<const uint8_t*>(params_->image), params_->size, &layout_);
        if (located != 0) {
            return located;
        }
        if (CopyNames() != 0 || AddMeshFrame() != 0 || AddBoneFrames() != 0) {
            return -1;
        }
        if (AddMesh() != 0 || AddIkChains() != 0 || AddMaterials() != 0 || AddMorphs() != 0) {
            return -1;
        }
        AddMotions();
        return 0;
    }

  private:
    static int Fail(const char* text) {
        WriteLogFormat("%s", text);
        return -1;
    }

    // A zeroed array of the read model's block chain; null when it would
    // pass the size limit or the chain cannot grow.
    void* ChainArray(uint64_t count, uint64_t bytes) {
        const uint64_t total = (count > 0 ? count : 1) * bytes;
        if (total > kPmdArrayLimit) {
            return nullptr;
        }
        return AllocChainedBlock(static_cast<uint32_t>(total), &model_->blocks);
    }

    // A tracked array, zeroed, of at least one element.
    template <typename T>
    static T* TrackedArray(uint64_t count) {
        const uint64_t total = (count > 0 ? count : 1) * sizeof(T);
        if (total > kPmdArrayLimit) {
            return nullptr;
        }
        return static_cast<T*>(
            AllocTrackedZeroed(static_cast<uint32_t>(total), __FILE__, __LINE__));
    }

    static char* CopyTracked(const char* text) {
        const char* source = text != nullptr ? text : "";
        const size_t n = std::strlen(source);
        auto* copy =
            static_cast<char*>(AllocTracked(static_cast<uint32_t>(n + 1), __FILE__, __LINE__));
        if (copy != nullptr) {
            std::memcpy(copy, source, n + 1);
        }
        return copy;
    }

    const uint8_t* Image() const { return static_cast<const uint8_t*>(params_->image); }
    const uint8_t* Vertex(uint32_t v) const {
        return layout_.vertices + static_cast<size_t>(kPmdVertexBytes) * v;
    }
    const uint8_t* Bone(uint32_t b) const {
        return layout_.bones + static_cast<size_t>(kPmdBoneBytes) * b;
    }
    uint16_t Corner(uint32_t face, int k) const {
        return PmdU16(layout_.indices + 2 * (3 * static_cast<size_t>(face) + k));
    }

    int CopyNames() {
        model_->filePath = CopyTracked(params_->path);
        model_->baseName = CopyTracked(params_->baseName);
        if (model_->filePath == nullptr || model_->baseName == nullptr) {
            return Fail("PMD Load Error : ファイル名を保存するメモリ領域の確保に失敗しました");
        }
        return 0;
    }

    int AddMeshFrame() {
        meshFrame_ = ReadModelNewFrame(model_, "Mesh", nullptr);
        if (meshFrame_ == nullptr) {
            return Fail("PMD Load Error : フレームオブジェクトの追加に失敗しました");
        }
        bones_ = TrackedArray<PmdBoneWork>(layout_.boneCount);
        if (bones_ == nullptr) {
            return Fail(
                "PMD Load Error : "
                "読み込み処理用ボーン情報を格納するメモリ領域の確保に失敗しました");
        }
        return 0;
    }

    // ---- bone frames

    // The frames are made in the order of passes over the bones in file
    // order, each pass giving a frame to every bone whose parent has one, until
    // a pass adds none. A bone then gets its frame in its parent's pass when
    // it comes after its parent in the file, else in the pass after; the
    // passes are worked out along the parent links and the bones taken by
    // pass, then file order, so a long chain listed child first costs no
    // pass per bone. Bones on a parent cycle never get a pass and refuse the
    // file.
    int AddBoneFrames() {
        const uint32_t count = layout_.boneCount;
        auto* pass = TrackedArray<uint32_t>(count);
        auto* order = TrackedArray<uint32_t>(count);
        int result = pass != nullptr && order != nullptr
                         ? 0
                         : Fail(
                               "PMD Load Error : "
                               "読み込み処理用ボーン情報を格納するメモリ領域の確保に失敗しました");
        uint32_t cycled = 0;
        for (uint32_t b = 0; b < count && result == 0; ++b) {
            cycled += FindPass(b, pass, order);
        }
        if (result == 0 && cycled != 0) {
            WriteLogFormat("PMD Load Error : 親子関係が循環しているボーンがあります ( %u 個 )",
                           cycled);
            result = -1;
        }
        if (result == 0) {
            for (uint32_t b = 0; b < count; ++b) {
                order[b] = b;
            }
            std::sort(order, order + count, [pass](uint32_t a, uint32_t b) {
                return pass[a] != pass[b] ? pass[a] < pass[b] : a < b;
            });
            for (uint32_t k = 0; k < count && result == 0; ++k) {
                result = PlaceBone(order[k]);
            }
            // The rest pose's world matrices, parents before children even
            // where the file lists a child first.
            for (uint32_t k = 0; k < count && result == 0; ++k) {
                UpdatePmdBoneMatrix(&bones_[order[k]]);
            }
        }
        FreeTracked(pass);
        FreeTracked(order);
        return result;
    }

    // The pass of bone b and of the bones on its way up that have none yet
    // (pass 0: not known; kNoPass: on a cycle). `stack` holds the way up.
    // The number of bones newly found on a cycle.
    uint32_t FindPass(uint32_t b, uint32_t* pass, uint32_t* stack) const {
        constexpr uint32_t kOnWay = 0xFFFFFFFEu;
        uint32_t depth = 0;
        uint32_t at = b;
        uint32_t above = 0;  // the pass the way up ends on; 0: none (a root)
        while (pass[at] == 0) {
            pass[at] = kOnWay;
            stack[depth++] = at;
            const uint16_t parent = PmdU16(Bone(at) + 20);
            if (parent == kPmdNoBone) {
                break;
            }
            at = parent;
        }
        if (pass[at] != kOnWay || PmdU16(Bone(at) + 20) != kPmdNoBone) {
            above = pass[at];
        }
        const bool cycle = above == kOnWay || above == kNoPass;
        uint32_t cycled = 0;
        while (depth > 0) {
            const uint32_t bone = stack[--depth];
            if (cycle) {
                pass[bone] = kNoPass;
                ++cycled;
                continue;
            }
            const uint16_t parent = PmdU16(Bone(bone) + 20);
            pass[bone] = parent == kPmdNoBone ? 1 : pass[parent] + (parent > bone ? 1 : 0);
        }
        return cycled;
    }

    // The bone's frame under its parent's (made before it); 0 or -1.
    int PlaceBone(uint32_t b) {
        PmdBoneWork& bone = bones_[b];
        const uint16_t parent = PmdU16(Bone(b) + 20);
        char name[kPmdNameBytes + 1];
        CopyPmdName(Bone(b), kPmdNameBytes, name);
        ReadModelFrame* parentFrame = parent != kPmdNoBone ? bones_[parent].frame : nullptr;
        bone.frame = ReadModelNewFrame(model_, name, parentFrame);
        if (bone.frame == nullptr) {
            return Fail("PMD Load Error : フレームオブジェクトの追加に失敗しました");
        }
        bone.knee = FindText(name, "ひざ") != nullptr ? 1 : 0;
        bone.head = ReadVec3(Bone(b) + 27);
        Vec3 translation = bone.head;
        if (parent != kPmdNoBone) {
            Vec3Minus(&translation, &bone.head, &bones_[parent].head);
        }
        bone.frame->translation = translation;
        bone.record = Bone(b);
        bone.recordOffset = static_cast<uint32_t>(Bone(b) - Image());
        bone.parent = parent != kPmdNoBone ? &bones_[parent] : nullptr;
        bone.boneType = Bone(b)[24];
        bone.poseTranslation = translation;
        bone.poseRotation = PmdQuat{0.0f, 0.0f, 0.0f, 1.0f};
        return 0;
    }

    // ---- the mesh

    int AddMesh() {
        mesh_ = ReadModelNewMesh(model_, meshFrame_);
        if (mesh_ == nullptr) {
            return Fail("PMD Load Error : メッシュオブジェクトの追加に失敗しました");
        }
        const uint32_t vertices = layout_.vertexCount;
        mesh_->faceCount = static_cast<int32_t>(layout_.indexCount / 3);
        mesh_->faces =
            static_cast<ReadModelFace*>(ChainArray(mesh_->faceCount, sizeof(ReadModelFace)));
        ReadModelCorner* corners = static_cast<ReadModelCorner*>(ChainArray(
            uint64_t{3} * static_cast<uint32_t>(mesh_->faceCount), sizeof(ReadModelCorner)));
        if (mesh_->faces == nullptr || corners == nullptr) {
            return Fail("PMD Load Error : 面情報を保存するメモリ領域の確保に失敗しました");
        }
        if (AllocVertices(mesh_, vertices) != 0) {
            return Fail("PMD Load Error : 頂点座標を保存するメモリ領域の確保に失敗しました");
        }
        mesh_->normals = static_cast<Vec3*>(ChainArray(vertices, sizeof(Vec3)));
        if (mesh_->normals == nullptr) {
            return Fail("PMD Load Error : 頂点法線を保存するメモリ領域の確保に失敗しました");
        }
        mesh_->normalCount = static_cast<int32_t>(vertices);
        if (AllocTexCoords(mesh_, vertices) != 0) {
            return Fail(
                "PMD Load Error : 頂点テクスチャ座標を保存するメモリ領域の確保に失敗しました");
        }
        if (AddSkinWeights() != 0) {
            return -1;
        }
        FillVertices();
        FillFaces(corners);
        return 0;
    }

    int AllocVertices(ReadModelMesh* mesh, uint32_t count) {
        mesh->positions = static_cast<Vec3*>(ChainArray(count, sizeof(Vec3)));
        mesh->positionFlags = static_cast<uint8_t*>(ChainArray(count, 1));
        if (mesh->positions == nullptr || mesh->positionFlags == nullptr) {
            return -1;
        }
        mesh->positionCount = static_cast<int32_t>(count);
        return 0;
    }

    int AllocTexCoords(ReadModelMesh* mesh, uint32_t count) {
        mesh->texCoords[0] = static_cast<float(*)[3]>(ChainArray(count, sizeof(float[3])));
        if (mesh->texCoords[0] == nullptr) {
            return -1;
        }
        mesh->texCoordCounts[0] = static_cast<int32_t>(count);
        return 0;
    }

    // One record per bone that moves vertices, in bone order; each lists
    // its vertices in vertex order.
    int AddSkinWeights() {
        auto* counts = TrackedArray<uint32_t>(layout_.boneCount);
        auto* records = TrackedArray<ReadModelSkinWeight*>(layout_.boneCount);
        const int result = counts != nullptr && records != nullptr
                               ? FillSkinWeights(counts, records)
                               : Fail(
                                     "PMD Load Error : "
                                     "スキニングメッシュウエイト値を格納するメモリ領域の確保に"
                                     "失敗しました");
        FreeTracked(counts);
        FreeTracked(records);
        return result;
    }

    int FillSkinWeights(uint32_t* counts, ReadModelSkinWeight** records) {
        for (uint32_t v = 0; v < layout_.vertexCount && layout_.boneCount != 0; ++v) {
            const uint16_t b0 = PmdU16(Vertex(v) + 32);
            const uint16_t b1 = PmdU16(Vertex(v) + 34);
            ++counts[b0];
            if (b1 != b0) {
                ++counts[b1];
            }
        }
        int moving = 0;
        for (uint32_t b = 0; b < layout_.boneCount; ++b) {
            moving += counts[b] != 0 ? 1 : 0;
        }
        if (moving > kPmdMaxSkinBones) {
            WriteLogFormat("PMD Load Error : 頂点を動かすボーンが %d 個を超えています ( %d 個 )",
                           kPmdMaxSkinBones, moving);
            return -1;
        }
        for (uint32_t b = 0; b < layout_.boneCount; ++b) {
            if (counts[b] != 0 && NewSkinWeight(b, counts[b], &records[b]) != 0) {
                return -1;
            }
        }
        for (uint32_t v = 0; v < layout_.vertexCount && layout_.boneCount != 0; ++v) {
            const uint16_t b0 = PmdU16(Vertex(v) + 32);
            const uint16_t b1 = PmdU16(Vertex(v) + 34);
            const float weight = static_cast<float>(Vertex(v)[36]) / 100.0f;
            if (b0 == b1) {
                AppendPair(records[b0], v, 1.0f);
                continue;
            }
            AppendPair(records[b0], v, weight);
            AppendPair(records[b1], v,
                       static_cast<float>(100 - static_cast<int>(Vertex(v)[36])) / 100.0f);
        }
        return 0;
    }

    static void AppendPair(ReadModelSkinWeight* record, uint32_t vertex, float weight) {
        ReadModelSkinWeightPair& pair = record->weights[record->weightCount++];
        pair.positionIndex = static_cast<int32_t>(vertex);
        pair.weight = weight;
    }

    int NewSkinWeight(uint32_t b, uint32_t count, ReadModelSkinWeight** out) {
        ReadModelSkinWeight* record = ReadModelNewSkinWeight(model_);
        if (record != nullptr) {
            record->weights = static_cast<ReadModelSkinWeightPair*>(
                ChainArray(count, sizeof(ReadModelSkinWeightPair)));
        }
        if (record == nullptr || record->weights == nullptr) {
            return Fail(
                "PMD Load Error : "
                "スキニングメッシュウエイト値を格納するメモリ領域の確保に失敗しました");
        }
        record->boneFrameIndex = bones_[b].frame->index;
        const Vec3& head = bones_[b].head;
        MatTranslate(&record->offsetMatrix, -head.x, -head.y, -head.z);
        mesh_->skinWeights[mesh_->skinWeightCount++] = record;
        *out = record;
        return 0;
    }

    void FillVertices() {
        for (uint32_t v = 0; v < layout_.vertexCount; ++v) {
            const uint8_t* record = Vertex(v);
            mesh_->positions[v] = ReadVec3(record);
            mesh_->positionFlags[v] = record[37];
            mesh_->normals[v] = ReadVec3(record + 12);
            mesh_->texCoords[0][v][0] = PmdF32(record + 24);
            mesh_->texCoords[0][v][1] = PmdF32(record + 28);
        }
    }

    // Each triangle's three corners name one vertex in every array.
    static void SetCorners(ReadModelCorner* corners, int k, int32_t vertex) {
        corners[k].position = vertex;
        corners[k].normal = vertex;
        corners[k].texCoord[0] = vertex;
    }

    void FillFaces(ReadModelCorner* corners) {
        for (int32_t f = 0; f < mesh_->faceCount; ++f) {
            ReadModelFace& face = mesh_->faces[f];
            face.cornerCount = 3;
            face.corners = corners + int64_t{3} * f;
            for (int k = 0; k < 3; ++k) {
                SetCorners(face.corners, k, Corner(static_cast<uint32_t>(f), k));
            }
        }
    }

    // ---- IK chains

    int AddIkChains() {
        if (layout_.ikCount == 0) {
            return 0;
        }
        chains_ = TrackedArray<PmdIkChain>(layout_.ikCount);
        if (chains_ == nullptr) {
            return Fail(
                "PMD Load Error : "
                "読み込み処理用ＩＫ情報を格納するメモリ領域の確保に失敗しました");
        }
        const uint8_t* record = layout_.iks;
        for (uint32_t k = 0; k < layout_.ikCount; ++k) {
            FillIkChain(record, &chains_[k]);
            record = NextPmdIk(record);
        }
        return LinkChains();
    }

    void FillIkChain(const uint8_t* record, PmdIkChain* chain) {
        chain->record = record;
        chain->target = &bones_[PmdU16(record)];
        chain->effector = &bones_[PmdU16(record + 2)];
        chain->chainLength = record[4];
        chain->iterations = PmdU16(record + 5);
        chain->angleLimit = PmdF32(record + 7) * kPi;
        chain->chainBones = record + kPmdIkHeadBytes;
        int knee = chain->target->knee | chain->effector->knee;
        chain->effector->inChain = 1;
        for (int j = 0; j < chain->chainLength; ++j) {
            PmdBoneWork& bone = bones_[PmdChainBone(chain, j)];
            bone.inChain = 1;
            knee |= bone.knee;
        }
        chain->knee = static_cast<uint16_t>(knee);
    }

    int LinkChains() {
        if (LinkPmdIkChains(chains_, static_cast<int>(layout_.ikCount), &firstChain_) != 0) {
            return Fail(
                "PMD Load Error : "
                "読み込み処理用ＩＫ情報を格納するメモリ領域の確保に失敗しました");
        }
        return 0;
    }

    // ---- materials

    int AddMaterials() {
        int32_t nextFace = 0;
        for (uint32_t i = 0; i < layout_.materialCount; ++i) {
            if (AddMaterial(static_cast<int>(i), &nextFace) != 0) {
                return -1;
            }
        }
        return 0;
    }

    int AddMaterial(int i, int32_t* nextFace) {
        const uint8_t* record = layout_.materials + static_cast<size_t>(kPmdMaterialBytes) * i;
        char name[32];
        FormatText(name, "Mat_%d", i);
        ReadModelMaterial* material = ReadModelNewMaterial(model_, name);
        if (material == nullptr) {
            WriteLogFormat("PMD Load Error : No.%d の Material オブジェクトの追加に失敗しました",
                           i);
            return -1;
        }
        FillMaterialColours(material, record);
        if (record[44] != kPmdNoToon && AddToonTexture(i, material, record[44]) != 0) {
            return -1;
        }
        material->sphereTextureIndex = -1;
        material->words[1] = 1;
        if (record[45] != 0) {
            material->words[2] = FloatWord(kEdgeWidth);
            material->words[3] = FloatWord(kEdgeScale);
        }
        const uint32_t n = PmdU32(record + 46);
        if (n != 0) {
            const int32_t mine = static_cast<int32_t>((n - 1) / 3 + 1);
            for (int32_t f = 0; f < mine; ++f) {
                mesh_->faces[*nextFace + f].materialIndex = mesh_->materialCount;
            }
            *nextFace += mine;
        }
        if (AddDiffuseTexture(i, material, record + 50) != 0) {
            return -1;
        }
        if (n == 0) {
            return 0;
        }
        if (mesh_->materialCount >= kReadModelMeshMaterials) {
            WriteLogFormat("PMD Load Error : 面を持つマテリアルが %d 個を超えています",
                           kReadModelMeshMaterials);
            return -1;
        }
        mesh_->materials[mesh_->materialCount++] = material;
        return 0;
    }

    static void FillMaterialColours(ReadModelMaterial* material, const uint8_t* record) {
        material->userWord = 2;
        for (int k = 0; k < 4; ++k) {
            material->diffuse[k] = PmdF32(record + 4 * k);
        }
        material->power = PmdF32(record + 16);
        for (int k = 0; k < 3; ++k) {
            material->specular[k] = PmdF32(record + 20 + 4 * k);
            material->ambient[k] = PmdF32(record + 32 + 4 * k);
        }
        material->specular[3] = 0.0f;
        material->ambient[3] = 0.0f;
    }

    // Without a toon-name table, or with an empty name there, the material
    // has no toon texture.
    int AddToonTexture(int i, ReadModelMaterial* material, uint8_t toon) {
        if (layout_.toonNames == nullptr) {
            return 0;
        }
        char file[kPmdToonNameBytes + 1];
        CopyPmdName(layout_.toonNames + static_cast<size_t>(kPmdToonNameBytes) * toon,
                    kPmdToonNameBytes, file);
        if (file[0] == 0) {
            return 0;
        }
        ReadModelTexture* texture = ReadModelNewTexture(model_, file, file, nullptr, 0, 0.1f, 1, 1);
        if (texture == nullptr) {
            WriteLogFormat(
                "PMD Load Error : No.%d の トゥーン用テクスチャオブジェクトの作成に失敗しました",
                i);
            return -1;
        }
        texture->addressU = 3;
        texture->addressV = 3;
        material->toonTexture = texture;
        material->words[0] = 2;
        return 0;
    }

    int AddDiffuseTexture(int i, ReadModelMaterial* material, const uint8_t* field) {
        char file[kPmdNameBytes + 1];
        CopyPmdName(field, kPmdNameBytes, file);
        if (file[0] == 0) {
            return 0;
        }
        ReadModelTexture* texture = ReadModelNewTexture(model_, file, file, nullptr, 0, 0.1f, 1, 0);
        if (texture == nullptr) {
            WriteLogFormat("PMD Load Error : No.%d の テクスチャオブジェクトの作成に失敗しました",
                           i);
            return -1;
        }
        material->layers[0].count = 1;
        material->layers[0].textures[0] = texture;
        return 0;
    }

    // ---- morphs

    const uint8_t* Morph(uint32_t s) const {
        const uint8_t* morph = layout_.morphs;
        for (uint32_t k = 0; k < s; ++k) {
            morph = NextPmdMorph(morph);
        }
        return morph;
    }
    static const uint8_t* Entry(const uint8_t* morph, uint32_t e) {
        return morph + kPmdMorphHeadBytes + static_cast<size_t>(kPmdMorphEntryBytes) * e;
    }

    int AddMorphs() {
        if (layout_.morphCount < 2) {
            return 0;
        }
        morphMesh_ = ReadModelNewMesh(model_, meshFrame_);
        if (morphMesh_ == nullptr) {
            return Fail("PMD Load Error : スキンメッシュオブジェクトの追加に失敗しました");
        }
        const uint8_t* base = Morph(0);
        baseEntries_ = PmdU32(base + 20);
        const uint64_t most = uint64_t{layout_.vertexCount} + baseEntries_;
        newIndex_ = TrackedArray<int32_t>(layout_.vertexCount);
        isBase_ = TrackedArray<uint8_t>(layout_.vertexCount);
        newToOld_ = TrackedArray<uint32_t>(most);
        if (newIndex_ == nullptr || isBase_ == nullptr || newToOld_ == nullptr) {
            return Fail(
                "PMD Load Error : "
                "一時保存用の頂点データを格納するメモリ領域の確保に失敗しました");
        }
        for (uint32_t v = 0; v < layout_.vertexCount; ++v) {
            newIndex_[v] = -1;
        }
        for (uint32_t k = 0; k < baseEntries_; ++k) {
            const uint32_t old = PmdU32(Entry(base, k));
            newIndex_[old] = static_cast<int32_t>(k);
            isBase_[old] = 1;
            newToOld_[k] = old;
        }
        newCount_ = baseEntries_;
        if (MoveMorphFaces() != 0 || SplitSkinWeights() != 0 || AddShapes(base) != 0) {
            return -1;
        }
        return 0;
    }

    bool TouchesBase(const ReadModelFace& face) const {
        for (int k = 0; k < 3; ++k) {
            if (isBase_[face.corners[k].position] != 0) {
                return true;
            }
        }
        return false;
    }

    // The second mesh's slot of a first-mesh material, entered on first use.
    int32_t MorphMaterial(int32_t index, int32_t* slots) {
        if (mesh_->materialCount == 0) {
            return 0;
        }
        if (slots[index] < 0) {
            slots[index] = morphMesh_->materialCount;
            morphMesh_->materials[morphMesh_->materialCount++] = mesh_->materials[index];
        }
        return slots[index];
    }

    int MoveMorphFaces() {
        int32_t moved = 0;
        for (int32_t f = 0; f < mesh_->faceCount; ++f) {
            moved += TouchesBase(mesh_->faces[f]) ? 1 : 0;
        }
        morphMesh_->faces = static_cast<ReadModelFace*>(ChainArray(moved, sizeof(ReadModelFace)));
        ReadModelCorner* corners = static_cast<ReadModelCorner*>(
            ChainArray(uint64_t{3} * static_cast<uint32_t>(moved), sizeof(ReadModelCorner)));
        if (morphMesh_->faces == nullptr || corners == nullptr) {
            return Fail(
                "PMD Load Error : 表情データの面情報を保存するメモリ領域の確保に失敗しました");
        }
        int32_t slots[kReadModelMeshMaterials];
        for (int32_t& slot : slots) {
            slot = -1;
        }
        int32_t kept = 0;
        for (int32_t f = 0; f < mesh_->faceCount; ++f) {
            const ReadModelFace& face = mesh_->faces[f];
            if (!TouchesBase(face)) {
                mesh_->faces[kept++] = face;
                continue;
            }
            ReadModelFace& to = morphMesh_->faces[morphMesh_->faceCount++];
            to.cornerCount = 3;
            to.corners = corners + int64_t{3} * (morphMesh_->faceCount - 1);
            to.materialIndex = MorphMaterial(face.materialIndex, slots);
            for (int k = 0; k < 3; ++k) {
                SetCorners(to.corners, k, NewVertex(face.corners[k].position));
            }
        }
        mesh_->faceCount = kept;
        return CopyMorphVertices();
    }

    int32_t NewVertex(int32_t old) {
        if (newIndex_[old] < 0) {
            newIndex_[old] = static_cast<int32_t>(newCount_);
            newToOld_[newCount_++] = static_cast<uint32_t>(old);
        }
        return newIndex_[old];
    }

    int CopyMorphVertices() {
        if (AllocVertices(morphMesh_, newCount_) != 0) {
            return Fail(
                "PMD Load Error : 表情データの頂点座標を保存するメモリ領域の確保に失敗しました");
        }
        morphMesh_->normals = static_cast<Vec3*>(ChainArray(newCount_, sizeof(Vec3)));
        if (morphMesh_->normals == nullptr) {
            return Fail(
                "PMD Load Error : 表情データの頂点法線を保存するメモリ領域の確保に失敗しました");
        }
        morphMesh_->normalCount = static_cast<int32_t>(newCount_);
        if (AllocTexCoords(morphMesh_, newCount_) != 0) {
            return Fail(
                "PMD Load Error : "
                "表情データの頂点テクスチャ座標を保存するメモリ領域の確保に失敗しました");
        }
        for (uint32_t n = 0; n < newCount_; ++n) {
            const uint32_t old = newToOld_[n];
            morphMesh_->positions[n] = mesh_->positions[old];
            morphMesh_->positionFlags[n] = mesh_->positionFlags[old];
            morphMesh_->normals[n] = mesh_->normals[old];
            std::memcpy(morphMesh_->texCoords[0][n], mesh_->texCoords[0][old], sizeof(float[3]));
        }
        return 0;
    }

    // The morph mesh's records take the pairs of its vertices; the first
    // mesh's keep those of vertices no morph moves, never fewer than one.
    int SplitSkinWeights() {
        for (int32_t r = 0; r < mesh_->skinWeightCount; ++r) {
            ReadModelSkinWeight* from = mesh_->skinWeights[r];
            if (CopyMorphPairs(from) != 0) {
                return -1;
            }
            int32_t kept = 0;
            for (int32_t p = 0; p < from->weightCount; ++p) {
                if (isBase_[from->weights[p].positionIndex] == 0) {
                    from->weights[kept++] = from->weights[p];
                }
            }
            if (kept == 0) {
                from->weights[0] = from->weights[from->weightCount - 1];
                kept = 1;
            }
            from->weightCount = kept;
        }
        return 0;
    }

    int CopyMorphPairs(const ReadModelSkinWeight* from) {
        int32_t count = 0;
        for (int32_t p = 0; p < from->weightCount; ++p) {
            count += newIndex_[from->weights[p].positionIndex] >= 0 ? 1 : 0;
        }
        if (count == 0) {
            return 0;
        }
        ReadModelSkinWeight* to = ReadModelNewSkinWeight(model_);
        if (to != nullptr) {
            to->weights = static_cast<ReadModelSkinWeightPair*>(
                ChainArray(count, sizeof(ReadModelSkinWeightPair)));
        }
        if (to == nullptr || to->weights == nullptr) {
            return Fail(
                "PMD Load Error : "
                "表情データ用スキニングメッシュウエイト値を格納するメモリ領域の確保に失敗しました");
        }
        to->offsetMatrix = from->offsetMatrix;
        to->boneFrameIndex = from->boneFrameIndex;
        for (int32_t p = 0; p < from->weightCount; ++p) {
            const int32_t index = newIndex_[from->weights[p].positionIndex];
            if (index >= 0) {
                to->weights[to->weightCount++] = {index, from->weights[p].weight};
            }
        }
        morphMesh_->skinWeights[morphMesh_->skinWeightCount++] = to;
        return 0;
    }

    int AddShapes(const uint8_t* base) {
        const uint8_t* morph = base;
        for (uint32_t s = 1; s < layout_.morphCount; ++s) {
            morph = NextPmdMorph(morph);
            char name[kPmdNameBytes + 1];
            CopyPmdName(morph, kPmdNameBytes, name);
            ReadModelShape* shape = ReadModelNewShape(model_, name, meshFrame_);
            if (shape == nullptr) {
                return Fail("PMD Load Error : シェイプオブジェクトの追加に失敗しました");
            }
            shape->mesh = morphMesh_;
            shape->hasNormals = 0;
            const uint32_t entries = PmdU32(morph + 20);
            shape->vertices = static_cast<ReadModelShapeVertex*>(
                ChainArray(entries, sizeof(ReadModelShapeVertex)));
            if (shape->vertices == nullptr) {
                return Fail(
                    "PMD Load Error : シェイプ頂点データを格納するメモリ領域の確保に失敗しました");
            }
            shape->vertexCount = static_cast<int32_t>(entries);
            for (uint32_t e = 0; e < entries; ++e) {
                FillShapeVertex(base, Entry(morph, e), &shape->vertices[e]);
            }
        }
        return 0;
    }

    // The offset from the morph mesh's vertex to the base entry's position,
    // plus the entry's own offset.
    void FillShapeVertex(const uint8_t* base, const uint8_t* entry, ReadModelShapeVertex* out) {
        const uint32_t k = PmdU32(entry);
        const Vec3 basePosition = ReadVec3(Entry(base, k) + 4);
        const Vec3 offset = ReadVec3(entry + 4);
        const Vec3& vertex = morphMesh_->positions[k];
        out->positionIndex = static_cast<int32_t>(k);
        out->position =
            Vec3{basePosition.x - vertex.x + offset.x, basePosition.y - vertex.y + offset.y,
                 basePosition.z - vertex.z + offset.z};
        out->normal = Vec3{0.0f, 0.0f, 0.0f};
    }

    // ---- motions beside the file: base name and 000, 001, ... until one is
    // missing or refused; the model keeps the motions added before.

    void AddMotions() {
        for (int i = 0;; ++i) {
            void* image = nullptr;
            int size = 0;
            if (ReadMotionFile(i, &image, &size) != 0) {
                return;
            }
            char setName[32];
            FormatText(setName, "Anim%03d", i);
            const int result = LoadVmdMotion(model_, setName, static_cast<const uint8_t*>(image),
                                             static_cast<uint32_t>(size), bones_,
                                             static_cast<int>(layout_.boneCount), firstChain_);
            ReleaseMotionFile(image);
            if (result != 0) {
                return;
            }
        }
    }

    int ReadMotionFile(int i, void** image, int* size) {
        char path[kMotionPathBytes];
        if (params_->directory == nullptr) {
            FormatText(path, "%s%03d.vmd", params_->baseName, i);
            const ModelFileCallbacks* callbacks = params_->callbacks;
            if (callbacks == nullptr || callbacks->load == nullptr) {
                return -1;
            }
            return callbacks->load(path, image, size, callbacks->context) == -1 ? -1 : 0;
        }
        FormatText(path, "%s\\%s%03d.vmd", params_->directory, params_->baseName, i);
        const FileHandle file = FsOpen(path, 0, 1, 0);
        if (file == 0) {
            return -1;
        }
        FsSeek(file, 0, 2);
        const int32_t bytes = FsTell(file);
        FsSeek(file, 0, 0);
        void* block = bytes >= 0
                          ? AllocTracked(static_cast<uint32_t>(bytes) + 1, __FILE__, __LINE__)
                          : nullptr;
        if (block == nullptr) {
            FsClose(file);
            return -1;
        }
        if (bytes > 0 && FsRead(block, static_cast<uint32_t>(bytes), 1, file) != 1) {
            FreeTracked(block);
            FsClose(file);
            return -1;
        }
        FsClose(file);
        static_cast<uint8_t*>(block)[bytes] = 0;
        *image = block;
        *size = bytes;
        return 0;
    }

    void ReleaseMotionFile(void* image) {
        if (params_->directory != nullptr) {
            FreeTracked(image);
            return;
        }
        const ModelFileCallbacks* callbacks = params_->callbacks;
        if (callbacks->release != nullptr) {
            callbacks->release(image, callbacks->context);
        }
    }

    const ModelLoadParams* params_;
    ReadModel* model_;
    PmdLayout layout_ = {};
    ReadModelFrame* meshFrame_ = nullptr;
    ReadModelMesh* mesh_ = nullptr;
    ReadModelMesh* morphMesh_ = nullptr;
    PmdBoneWork* bones_ = nullptr;
    PmdIkChain* chains_ = nullptr;
    PmdIkChain* firstChain_ = nullptr;
    // The morph split's tables: each old vertex's index in the morph mesh
    // (-1: none) and whether a base entry names it, and each new vertex's
    // old one.
    int32_t* newIndex_ = nullptr;
    uint8_t* isBase_ = nullptr;
    uint32_t* newToOld_ = nullptr;
    uint32_t baseEntries_ = 0;
    uint32_t newCount_ = 0;
};

}  // namespace

int LinkPmdIkChains(PmdIkChain* chains, int count, PmdIkChain** first) {
    *first = nullptr;
    if (count <= 0) {
        return 0;
    }
    auto* order = static_cast<int32_t*>(
        AllocTracked(static_cast<uint32_t>(sizeof(int32_t) * count), __FILE__, __LINE__));
    if (order == nullptr) {
        return -1;
    }
    for (int k = 0; k < count; ++k) {
        order[k] = k;
    }
    std::sort(order, order + count, [chains](int32_t a, int32_t b) {
        const int ka = ChainKey(&chains[a]);
        const int kb = ChainKey(&chains[b]);
        return ka != kb ? ka < kb : a > b;
    });
    for (int k = 0; k < count; ++k) {
        PmdIkChain* chain = &chains[order[k]];
        chain->prev = k > 0 ? &chains[order[k - 1]] : nullptr;
        chain->next = k + 1 < count ? &chains[order[k + 1]] : nullptr;
    }
    *first = &chains[order[0]];
    FreeTracked(order);
    return 0;
}

int ReadPmdIntoModel(const ModelLoadParams* params, ReadModel* model) {
    PmdReader reader(params, model);
    return reader.Read();
}

}  // namespace tessel
