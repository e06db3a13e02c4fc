// ParseTsmModel: the envelope is checked and the body expanded, the base is
// laid out in one block from the header's counts and its vertex data in a
// second from the header's sizes, then every record is converted and every
// offset made a pointer. Unlike the format's own trust in its bodies, every
// count, offset and index is checked against the expanded bytes and the
// arrays it lands in; a damaged body gives one log line and -1.
// Routes: ReadHeader, LayOutBase, AllocateVertexBlock, FillFrames (with
// DecodePositions), LoadTextures, TsmFillRecords, TsmFillAnimations,
// FinishLists.
#include <cstring>

#include "foundation/base/charset.h"
#include "foundation/files/paths.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "graphics/images/image_records.h"
#include "models/base/base_processing.h"
#include "models/core/model_system.h"
#include "models/tsm/tsm_reader_internal.h"
#include "models/util/mesh_utilities.h"
#include "platform/kernel/codepage.h"

namespace tessel {

bool TsmBad(const char* what) {
    WriteLogFormat("TSM LoadModel Error : %s のデータが壊れています", what);
    return false;
}

uint32_t TsmGetWord(TsmReader* r, uint32_t offset) {
    return TsmWord(r->body, offset, &r->ok);
}

uint16_t TsmGetHalf(TsmReader* r, uint32_t offset) {
    if (!TsmRecordInside(r, offset, 2)) {
        r->ok = 0;
        return 0;
    }
    return static_cast<uint16_t>(r->body.block[offset] | r->body.block[offset + 1] << 8);
}

uint8_t TsmGetByte(TsmReader* r, uint32_t offset) {
    if (!TsmRecordInside(r, offset, 1)) {
        r->ok = 0;
        return 0;
    }
    return r->body.block[offset];
}

float TsmGetFloat(TsmReader* r, uint32_t offset) {
    const uint32_t bits = TsmGetWord(r, offset);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

bool TsmRecordInside(const TsmReader* r, uint32_t offset, uint32_t size) {
    return TsmRangeInside(r->body, offset, 1, size) != 0;
}

int32_t TsmIndexOf(TsmReader* r, uint32_t offset, uint32_t indexAt, uint32_t recordSize,
                   int32_t count) {
    if (offset == 0) {
        return -1;
    }
    if (!TsmRecordInside(r, offset, recordSize)) {
        return -2;
    }
    const uint32_t index = TsmGetWord(r, offset + indexAt);
    return index < static_cast<uint32_t>(count) ? static_cast<int32_t>(index) : -2;
}

int32_t TsmPositionOf(uint32_t offset, uint32_t first, uint32_t stride, int32_t count) {
    if (offset == 0) {
        return -1;
    }
    if (offset < first || stride == 0 || (offset - first) % stride != 0) {
        return -2;
    }
    const uint32_t position = (offset - first) / stride;
    return position < static_cast<uint32_t>(count) ? static_cast<int32_t>(position) : -2;
}

bool TsmName(TsmReader* r, uint32_t nameOffset, char** out) {
    *out = nullptr;
    if (nameOffset >= r->nameSize ||
        std::memchr(r->names + nameOffset, 0, r->nameSize - nameOffset) == nullptr) {
        return false;
    }
    *out = r->names + nameOffset;
    return true;
}

bool TsmRunInside(int32_t first, uint32_t count, int32_t total) {
    if (count == 0) {
        return true;
    }
    return first >= 0 && count <= static_cast<uint32_t>(total - first);
}

uint8_t* TsmTakeArea(TsmReader* r, int area, int64_t bytes) {
    if (bytes <= 0) {
        return nullptr;
    }
    if (r->areaStart[area] == nullptr || r->areaFill[area] + bytes > r->areaCapacity[area]) {
        r->ok = 0;
        return nullptr;
    }
    uint8_t* at = r->areaStart[area] + r->areaFill[area];
    r->areaFill[area] += bytes;
    return at;
}

namespace {

using namespace tsm_header;

constexpr uint32_t kTextCodePage = 932;

int64_t Align16(int64_t bytes) {
    return (bytes + 15) & ~int64_t{15};
}

int64_t TextBytes(const char* text) {
    return text == nullptr ? 4 : ((static_cast<int64_t>(std::strlen(text)) + 4) & ~int64_t{3});
}

bool SetDirectory(TsmReader* r, const char* directory) {
    r->hasDirectory = directory != nullptr;
    if (directory == nullptr) {
        return true;
    }
    const size_t length = std::strlen(directory);
    if (length > kTsmDirectoryCapacity - 2) {
        WriteLogFormat("TSM LoadModel Error : ディレクトリパスが長すぎます");
        return false;
    }
    std::memcpy(r->directory, directory, length + 1);
    if (length == 0 || (directory[length - 1] != '\\' && directory[length - 1] != '/')) {
        r->directory[length] = '/';
        r->directory[length + 1] = 0;
    }
    if (MultiByteToWideChar(LibraryCodePage(), 0, r->directory, -1, r->wideDirectory,
                            kTsmDirectoryCapacity + 1) == 0) {
        WriteLogFormat("TSM LoadModel Error : ディレクトリパスの変換に失敗しました");
        return false;
    }
    return true;
}

int32_t Count(const TsmReader* r, uint32_t word) {
    return static_cast<int32_t>(HeaderWord(r, word));
}

// A count of records that each take at least `size` bytes of the body.
bool CountFits(const TsmReader* r, uint32_t word, uint32_t size) {
    return HeaderWord(r, word) <= r->body.end / size;
}

bool ReadHeader(TsmReader* r) {
    if (r->body.end < kSize) {
        return TsmBad("ヘッダ");
    }
    for (uint32_t at = 4; at < kSize; at += 4) {
        r->header[at / 4] = TsmGetWord(r, at);
    }
    const uint32_t section = HeaderWord(r, kShapeSection);
    if (section != 0) {
        if (!TsmRecordInside(r, section, tsm_shapes::kSize)) {
            return TsmBad("シェイプ");
        }
        for (uint32_t at = 0; at < tsm_shapes::kSize; at += 4) {
            r->shapes[at / 4] = TsmGetWord(r, section + at);
        }
    }
    const struct {
        uint32_t word;
        uint32_t size;
    } counts[] = {
        {kFrameCount, kTsmFrameSize},
        {kTopFrameCount, kTsmFrameSize},
        {kSkinRefCount, 4},
        {kMaterialCount, kTsmMaterialSize},
        {kTextureCount, kTsmTextureSize},
        {kMeshCount, kTsmMeshSize},
        {kFurtherCount, kTsmFurtherSize},
        {kSkinBoneCount, kTsmSkinBoneSize},
        {kUseCount, 8},
        {kListCount, kTsmListSize},
        {kIndexCount, 1},
        {kIndexEntryCount, 1},
        {kTriangleCount, 1},
        {kNormalCount, 1},
        {kKeySetCount, kTsmKeySetSize},
        {kAnimCount, kTsmAnimSize},
        {kAnimSetCount, kTsmAnimSetSize},
    };
    for (const auto& c : counts) {
        if (!CountFits(r, c.word, c.size)) {
            return TsmBad("ヘッダ");
        }
    }
    const uint32_t shapeCount = ShapeWord(r, tsm_shapes::kShapeCount);
    const uint32_t shapeMeshCount = ShapeWord(r, tsm_shapes::kShapeMeshCount);
    if (shapeCount > r->body.end / kTsmShapeSize ||
        shapeMeshCount > r->body.end / kTsmShapeMeshSize ||
        ShapeWord(r, tsm_shapes::kDeltaCount) > r->body.end / kTsmDeltaSize ||
        (section != 0 && ShapeWord(r, tsm_shapes::kDeltaStride) < kTsmDeltaSize)) {
        return TsmBad("シェイプ");
    }
    if (HeaderWord(r, kKeySetStride) < kTsmKeySetSize ||
        HeaderWord(r, kAnimStride) < kTsmAnimSize) {
        return TsmBad("アニメーション");
    }
    return r->ok != 0 || TsmBad("ヘッダ");
}

// Where each part of the base block lies, from its start.
struct BaseLayout {
    int64_t name, path, directory, frames, refs, materials, further, textures, meshes, skinBones,
        uses, lists, listBones, indices, names, data[2], keyData, keySets, anims, animSets,
        animTable, shapes, shapeMeshes, size;
};

BaseLayout LayOutBase(const TsmReader* r) {
    BaseLayout l = {};
    int64_t at = Align16(sizeof(ModelBase));
    auto take = [&at](int64_t bytes) {
        const int64_t start = at;
        at += Align16(bytes);
        return start;
    };
    auto n = [r](uint32_t word) { return static_cast<int64_t>(HeaderWord(r, word)); };
    l.name = take(TextBytes(r->params->baseName));
    l.path = take(TextBytes(r->params->path));
    l.directory = take(TextBytes(r->directory));
    l.frames = take(n(kFrameCount) * int64_t{sizeof(ModelFrame)});
    l.refs = take(n(kSkinRefCount) * int64_t{sizeof(ModelSkinBone*)});
    l.materials = take(n(kMaterialCount) * int64_t{sizeof(ModelMaterial)});
    l.further = take(n(kFurtherCount) * int64_t{sizeof(ModelFurtherRecord)});
    l.textures = take(n(kTextureCount) * int64_t{sizeof(ModelTexture)});
    l.meshes = take(n(kMeshCount) * int64_t{sizeof(ModelMesh)});
    l.skinBones = take(n(kSkinBoneCount) * int64_t{sizeof(ModelSkinBone)});
    l.uses = take(n(kUseCount) * int64_t{sizeof(ModelSkinBoneUse)});
    l.lists = take(n(kListCount) * int64_t{sizeof(ModelTriangleList)});
    l.listBones = take(n(kListCount) * 4 * kTsmListBones);
    l.indices = take(n(kIndexCount) * 4);
    l.names = take(n(kNameBlockSize));
    l.data[0] = take(n(kDataBlockSize));
    l.data[1] = take(n(kDataBlockSize + 4));
    l.keyData = take(n(kKeyDataBytes));
    l.keySets = take(n(kKeySetCount) * int64_t{sizeof(ModelKeySet)});
    l.anims = take(n(kAnimCount) * int64_t{sizeof(ModelAnim)});
    l.animSets = take(n(kAnimSetCount) * int64_t{sizeof(ModelAnimSet)});
    l.animTable = take(n(kAnimSetCount) * n(kFrameCount) * int64_t{sizeof(ModelAnim*)});
    l.shapes = take(int64_t{ShapeWord(r, tsm_shapes::kShapeCount)} * int64_t{sizeof(ModelShape)});
    l.shapeMeshes =
        take(int64_t{ShapeWord(r, tsm_shapes::kShapeMeshCount)} * int64_t{sizeof(ModelShapeMesh)});
    l.size = at;
    return l;
}

// No honest body asks for more memory than this many times its own size:
// the bound keeps a lying header from making the reader allocate what it
// claims.
constexpr int64_t kMostBytesPerBodyByte = 256;
constexpr int64_t kBytesAlwaysAllowed = int64_t{1} << 20;

bool WithinBound(const TsmReader* r, int64_t bytes) {
    return bytes <= kMostBytesPerBodyByte * r->body.end + kBytesAlwaysAllowed &&
           bytes <= int64_t{INT32_MAX} / 2;
}

bool CopyBlock(TsmReader* r, uint32_t offset, uint32_t size, uint8_t* to, const char* what) {
    if (size == 0) {
        return true;
    }
    if (TsmRangeInside(r->body, offset, size, 1) == 0) {
        return TsmBad(what);
    }
    std::memcpy(to, r->body.block + offset, size);
    return true;
}

template <typename T>
T* At(ModelBase* base, int64_t offset) {
    return reinterpret_cast<T*>(reinterpret_cast<uint8_t*>(base) + offset);
}

char* PutText(ModelBase* base, int64_t offset, const char* text) {
    char* at = At<char>(base, offset);
    std::strcpy(at, text != nullptr ? text : "");
    return at;
}

bool PointBaseArrays(TsmReader* r, const BaseLayout& l) {
    ModelBase* base = r->base;
    base->name = PutText(base, l.name, r->params->baseName);
    base->filePath = PutText(base, l.path, r->params->path);
    base->directory = PutText(base, l.directory, r->directory);
    base->flags = HeaderWord(r, kFlags);
    base->frameCount = Count(r, kFrameCount);
    base->frames = At<ModelFrame>(base, l.frames);
    base->topFrameCount = Count(r, kTopFrameCount);
    base->frameSkinBoneRefCount = Count(r, kSkinRefCount);
    base->frameSkinBoneRefs = At<ModelSkinBone*>(base, l.refs);
    base->materialCount = Count(r, kMaterialCount);
    base->materials = At<ModelMaterial>(base, l.materials);
    base->readerRecordCount = Count(r, kFurtherCount);
    base->readerRecords = At<ModelFurtherRecord>(base, l.further);
    base->textureCount = Count(r, kTextureCount);
    base->textures = At<ModelTexture>(base, l.textures);
    for (int32_t i = 0; i < base->textureCount; ++i) {
        base->textures[i].imageHandle = -1;
    }
    base->meshCount = Count(r, kMeshCount);
    base->meshes = At<ModelMesh>(base, l.meshes);
    base->skinBoneCount = Count(r, kSkinBoneCount);
    base->skinBones = At<ModelSkinBone>(base, l.skinBones);
    base->skinBoneUseCount = Count(r, kUseCount);
    base->skinBoneUses = At<ModelSkinBoneUse>(base, l.uses);
    base->triangleListCount = Count(r, kListCount);
    base->triangleLists = At<ModelTriangleList>(base, l.lists);
    r->listBones = At<int32_t>(base, l.listBones);
    base->indexArea = At<uint16_t>(base, l.indices);
    base->fileWords[0] = static_cast<int32_t>(HeaderWord(r, kFileWords));
    base->fileWords[1] = static_cast<int32_t>(HeaderWord(r, kFileWords + 4));
    base->nameBlockSize = Count(r, kNameBlockSize);
    base->nameBlock = At<char>(base, l.names);
    r->names = static_cast<char*>(base->nameBlock);
    r->nameSize = HeaderWord(r, kNameBlockSize);
    base->keyData = At<uint8_t>(base, l.keyData);
    r->keyCursor = static_cast<uint8_t*>(base->keyData);
    r->keyEnd = r->keyCursor + HeaderWord(r, kKeyDataBytes);
    base->keySets = At<ModelKeySet>(base, l.keySets);
    base->anims = At<ModelAnim>(base, l.anims);
    base->animSets = At<ModelAnimSet>(base, l.animSets);
    base->animTable = At<ModelAnim*>(base, l.animTable);
    base->shapeCount = static_cast<int32_t>(ShapeWord(r, tsm_shapes::kShapeCount));
    base->shapes = At<ModelShape>(base, l.shapes);
    base->shapeMeshCount = static_cast<int32_t>(ShapeWord(r, tsm_shapes::kShapeMeshCount));
    base->shapeMeshes = At<ModelShapeMesh>(base, l.shapeMeshes);
    const uint32_t entries = ShapeWord(r, tsm_shapes::kEntryCount);
    const int64_t copyBytes[4] = {int64_t{ShapeWord(r, tsm_shapes::kCopyCounts)} * 32,
                                  int64_t{ShapeWord(r, tsm_shapes::kCopyCounts + 4)} * 48,
                                  int64_t{ShapeWord(r, tsm_shapes::kCopyCounts + 8)} * 64,
                                  int64_t{ShapeWord(r, tsm_shapes::kCopyCounts + 12)}};
    int64_t shapeBytes = int64_t{entries} * 24;
    for (int k = 0; k < 4; ++k) {
        base->shapeVertexBytes[k] = static_cast<int32_t>(copyBytes[k]);
        shapeBytes += copyBytes[k];
    }
    base->shapeEntryBytes = static_cast<int32_t>(int64_t{entries} * 24);
    if (!WithinBound(r, shapeBytes)) {
        return TsmBad("シェイプ");
    }
    for (int b = 0; b < 2; ++b) {
        const uint32_t size = HeaderWord(r, kDataBlockSize + 4 * b);
        base->byteBlockSizes[b] = static_cast<int32_t>(size);
        r->dataBlocks[b] = At<uint8_t>(base, l.data[b]);
        base->byteBlocks[b] = size != 0 ? r->dataBlocks[b] : nullptr;
        if (!CopyBlock(r, HeaderWord(r, kDataBlockOffset + 4 * b), size, r->dataBlocks[b],
                       "データブロック")) {
            return false;
        }
    }
    if (!CopyBlock(r, HeaderWord(r, kNameBlock), r->nameSize, At<uint8_t>(base, l.names), "名前")) {
        return false;
    }
    return CopyBlock(r, HeaderWord(r, kUses), 8 * HeaderWord(r, kUseCount),
                     At<uint8_t>(base, l.uses), "スキンボーン");
}

bool ConvertSkinRefs(TsmReader* r) {
    ModelBase* base = r->base;
    const uint32_t refs = HeaderWord(r, kSkinRefs);
    for (int32_t i = 0; i < base->frameSkinBoneRefCount; ++i) {
        const int32_t bone = TsmPositionOf(TsmGetWord(r, refs + 4 * i), HeaderWord(r, kSkinBones),
                                           kTsmSkinBoneSize, base->skinBoneCount);
        if (bone < 0 || r->ok == 0) {
            return TsmBad("スキンボーン参照");
        }
        base->frameSkinBoneRefs[i] = &base->skinBones[bone];
    }
    for (int32_t i = 0; i < base->skinBoneUseCount; ++i) {
        const ModelSkinBoneUse& use = base->skinBoneUses[i];
        if (use.frame < 0 || use.frame >= base->frameCount) {
            return TsmBad("スキンボーン");
        }
    }
    return true;
}

// Sums the vertex counts of all lists for their gathered positions.
bool CountListVertices(TsmReader* r, int64_t* total) {
    *total = 0;
    uint32_t at = HeaderWord(r, kFirstList);
    for (int32_t i = 0; i < Count(r, kListCount); ++i) {
        if (!TsmRecordInside(r, at, kTsmListSize)) {
            return TsmBad("トライアングルリスト");
        }
        *total += TsmGetHalf(r, at + 0x14);
        at = TsmGetWord(r, at + 4);
    }
    return true;
}

bool AllocateVertexBlock(TsmReader* r) {
    int64_t listVertices = 0;
    if (!CountListVertices(r, &listVertices)) {
        return false;
    }
    auto n = [r](uint32_t word) { return static_cast<int64_t>(HeaderWord(r, word)); };
    const int64_t sizes[kTsmAreaCount] = {
        n(kRigidVertices) * 32,
        n(kFourBoneVertices) * 48,
        n(kEightBoneVertices) * 64,
        n(kFreeFormBytes),
        n(kIndexEntryCount) * 4,
        n(kTriangleCount) * 16,
        n(kNormalCount) * int64_t{sizeof(ModelNormal)},
        n(kPositionBytes),
        n(kMeshVertexBytes),
        int64_t{ShapeWord(r, tsm_shapes::kDeltaCount)} * int64_t{sizeof(ModelShapeDelta)},
        listVertices * 24,
    };
    int64_t total = 16;
    for (int a = 0; a < kTsmAreaCount; ++a) {
        r->areaCapacity[a] = sizes[a];
        total += Align16(sizes[a]);
    }
    if (!WithinBound(r, total)) {
        return TsmBad("頂点");
    }
    void* block = AllocTrackedZeroed(static_cast<uint32_t>(total), __FILE__, __LINE__);
    if (block == nullptr) {
        WriteLogFormat("TSM LoadModel Error : 頂点データを格納するメモリ領域の確保に失敗しました");
        return false;
    }
    ModelVertexBlock& v = r->base->vertexBlock;
    v.block = block;
    v.size = static_cast<int32_t>(total);
    auto* at = reinterpret_cast<uint8_t*>(Align16(reinterpret_cast<intptr_t>(block)));
    for (int a = 0; a < kTsmAreaCount; ++a) {
        r->areaStart[a] = sizes[a] > 0 ? at : nullptr;
        at += Align16(sizes[a]);
    }
    v.positions = r->areaStart[kTsmAreaPositions];
    v.normals = reinterpret_cast<ModelNormal*>(r->areaStart[kTsmAreaNormals]);
    v.meshVertices = r->areaStart[kTsmAreaMeshVertices];
    v.listVertices = r->areaStart[kTsmAreaRigid];
    return true;
}

// A frame reference by the index the frame record holds; false when it
// does not name a frame.
bool FrameRef(TsmReader* r, uint32_t offset, ModelFrame** out) {
    const int32_t index = TsmIndexOf(r, offset, 0x0c, kTsmFrameSize, r->base->frameCount);
    *out = index >= 0 ? &r->base->frames[index] : nullptr;
    return index != -2;
}

// A frame's change bit: its number, the offset of its mask words in one of
// the data blocks (0: a single bit), the run of words they span.
bool ChangeDescriptor(TsmReader* r, uint32_t at, int block, FrameChangeDescriptor* out) {
    const uint32_t bit = TsmGetWord(r, at);
    const uint32_t masks = TsmGetWord(r, at + 4);
    const uint32_t run = TsmGetWord(r, at + 8);
    out->wordIndex = static_cast<int32_t>(bit / 32);
    out->singleMask = 1u << (bit % 32);
    out->runWords = static_cast<int32_t>(run);
    out->maskWords = nullptr;
    if (bit > 0x7FFFFFFFu || run > 0x10000u) {
        return false;
    }
    if (masks == 0) {
        return true;
    }
    const uint32_t start = HeaderWord(r, kDataBlockOffset + 4 * block);
    const uint32_t size = HeaderWord(r, kDataBlockSize + 4 * block);
    if (run == 0 || masks < start || (masks - start) % 4 != 0 ||
        uint64_t{masks - start} + 4 * uint64_t{run} > size) {
        return false;
    }
    out->maskWords = reinterpret_cast<uint32_t*>(r->dataBlocks[block] + (masks - start));
    return true;
}

bool FrameLinks(TsmReader* r, uint32_t at, ModelFrame* f) {
    return FrameRef(r, TsmGetWord(r, at + 0x38), &f->parent) &&
           FrameRef(r, TsmGetWord(r, at + 0x3c), &f->firstChild) &&
           FrameRef(r, TsmGetWord(r, at + 0x40), &f->lastChild) &&
           FrameRef(r, TsmGetWord(r, at + 0x44), &f->nextSibling) &&
           FrameRef(r, TsmGetWord(r, at + 0x48), &f->prevSibling);
}

void FrameTransform(TsmReader* r, uint32_t at, ModelFrame* f) {
    float* parts[3] = {&f->translation.x, &f->scale.x, &f->rotation.x};
    for (int p = 0; p < 3; ++p) {
        for (int k = 0; k < 3; ++k) {
            parts[p][k] = TsmGetFloat(r, at + 0x4c + 12 * p + 4 * k);
        }
    }
    f->rotationOrder = static_cast<int32_t>(TsmGetWord(r, at + 0x70));
    for (int k = 0; k < 4; ++k) {
        f->quaternion[k] = TsmGetFloat(r, at + 0x74 + 4 * k);
    }
    f->flags = TsmGetWord(r, at + 0x84);
    for (int k = 0; k < 3; ++k) {
        f->fileWords[k] = static_cast<int32_t>(TsmGetWord(r, at + 0x88 + 4 * k));
    }
}

// The frame's meshes, skin bones, skin-bone references, further record and
// shapes, each a run inside its array.
bool FrameRuns(TsmReader* r, uint32_t at, ModelFrame* f) {
    ModelBase* base = r->base;
    const uint32_t meshCount = TsmGetWord(r, at + 0x94);
    const int32_t mesh =
        TsmIndexOf(r, TsmGetWord(r, at + 0x98), 0x08, kTsmMeshSize, base->meshCount);
    const uint32_t boneCount = TsmGetWord(r, at + 0x9c);
    const int32_t bone = TsmPositionOf(TsmGetWord(r, at + 0xa0), HeaderWord(r, kSkinBones),
                                       kTsmSkinBoneSize, base->skinBoneCount);
    const uint32_t refCount = TsmGetWord(r, at + 0xa4);
    const uint32_t refs = TsmGetWord(r, at + 0xa8);
    const int32_t ref = refCount == 0 ? 0
                                      : TsmPositionOf(refs, HeaderWord(r, kSkinRefs), 4,
                                                      base->frameSkinBoneRefCount);
    const int32_t further =
        TsmIndexOf(r, TsmGetWord(r, at + 0xac), 0x0c, kTsmFurtherSize, base->readerRecordCount);
    if (!TsmRunInside(mesh, meshCount, base->meshCount) ||
        !TsmRunInside(bone, boneCount, base->skinBoneCount) ||
        !TsmRunInside(ref, refCount, base->frameSkinBoneRefCount) || further == -2) {
        return false;
    }
    f->meshCount = static_cast<int32_t>(meshCount);
    f->meshes = meshCount > 0 ? &base->meshes[mesh] : nullptr;
    f->skinBoneCount = static_cast<int32_t>(boneCount);
    f->firstSkinBone = boneCount > 0 ? &base->skinBones[bone] : nullptr;
    f->skinBoneRefCount = static_cast<int32_t>(refCount);
    f->firstSkinBoneRef = ref;
    f->further =
        further >= 0 ? &static_cast<ModelFurtherRecord*>(base->readerRecords)[further] : nullptr;
    const uint32_t shapeList = TsmGetWord(r, at + 0xd8);
    if (shapeList == 0) {
        return true;
    }
    const uint32_t shapeCount = TsmGetWord(r, shapeList);
    const int32_t shape =
        TsmIndexOf(r, TsmGetWord(r, shapeList + 4), 0x0c, kTsmShapeSize, base->shapeCount);
    if (!TsmRunInside(shape, shapeCount, base->shapeCount)) {
        return false;
    }
    f->shapeCount = static_cast<int32_t>(shapeCount);
    f->firstShape = shapeCount > 0 ? &base->shapes[shape] : nullptr;
    return true;
}

// The frame's positions with their weight pairs, then its normals.
bool DecodePositions(TsmReader* r, uint32_t at, ModelFrame* f) {
    const uint16_t flags = TsmGetHalf(r, at + 0xb0);
    const int maxWeights = TsmGetHalf(r, at + 0xb2);
    const uint32_t positions = TsmGetWord(r, at + 0xbc);
    const uint32_t normals = TsmGetWord(r, at + 0xc0);
    // The gathering carries at most 256 weights a vertex.
    if (maxWeights > 256 || positions > r->body.end || normals > r->body.end) {
        return false;
    }
    f->maxWeights = maxWeights;
    f->positionStride = 12 + 8 * maxWeights;
    f->positionCount = static_cast<int32_t>(positions);
    f->normalCount = static_cast<int32_t>(normals);
    f->positions = TsmTakeArea(r, kTsmAreaPositions, int64_t{f->positionStride} * f->positionCount);
    f->normals = reinterpret_cast<ModelNormal*>(
        TsmTakeArea(r, kTsmAreaNormals, int64_t{sizeof(ModelNormal)} * f->normalCount));
    if (r->ok == 0 || (positions == 0 && normals == 0)) {
        return r->ok != 0;
    }
    TsmCursor in = TsmCursorAt(r->body, TsmGetWord(r, at + 0xc4));
    float ranges[6] = {};
    const bool packed = (flags & kTsmPackedPositions) != 0;
    for (int k = 0; packed && k < 6; ++k) {
        ranges[k] = TsmReadFloat(&in);
    }
    for (uint32_t p = 0; p < positions; ++p) {
        float xyz[3];
        for (int k = 0; k < 3; ++k) {
            xyz[k] = packed ? DecodeTsmPackedCoordinate(TsmReadU16(&in), ranges[2 * k],
                                                        ranges[2 * k + 1])
                            : TsmReadFloat(&in);
        }
        std::memcpy(f->positions + size_t{p} * f->positionStride, xyz, 12);
    }
    int32_t bones[256];
    float weights[256];
    for (uint32_t p = 0; p < positions && maxWeights > 0; ++p) {
        uint8_t* pairs = f->positions + size_t{p} * f->positionStride + 12;
        if ((flags & kTsmNoWeights) != 0) {
            const int32_t end = -1;
            std::memcpy(pairs, &end, 4);
            continue;
        }
        const int count = DecodeTsmWeights(&in, flags, maxWeights, bones, weights);
        for (int i = 0; i < count; ++i) {
            if (bones[i] >= f->skinBoneRefCount) {
                return false;
            }
            std::memcpy(pairs + 8 * i, &bones[i], 4);
            std::memcpy(pairs + 8 * i + 4, &weights[i], 4);
        }
        if (count < maxWeights) {
            const int32_t end = -1;
            std::memcpy(pairs + 8 * count, &end, 4);
        }
    }
    for (uint32_t i = 0; i < normals; ++i) {
        DecodeTsmNormal(&in, flags, &f->normals[i].normal.x);
    }
    return in.ok != 0;
}

bool FillFrame(TsmReader* r, uint32_t at, int32_t index) {
    ModelFrame* f = &r->base->frames[index];
    f->base = r->base;
    f->index = index;
    f->word4 = static_cast<int32_t>(TsmGetWord(r, at + 0x1c));
    f->word5 = static_cast<int32_t>(TsmGetWord(r, at + 0x2c));
    f->words1[0] = static_cast<int32_t>(TsmGetWord(r, at + 0x30));
    f->words1[1] = static_cast<int32_t>(TsmGetWord(r, at + 0x34));
    f->smoothingAngle = TsmGetFloat(r, at + 0xb4);
    f->recomputeNormals = static_cast<int32_t>(TsmGetWord(r, at + 0xb8));
    FrameTransform(r, at, f);
    return TsmName(r, TsmGetWord(r, at + 0x08), &f->name) &&
           ChangeDescriptor(r, at + 0x10, 0, &f->drawChange) &&
           ChangeDescriptor(r, at + 0x20, 1, &f->change) && FrameLinks(r, at, f) &&
           f->rotationOrder >= 0 && f->rotationOrder <= 5 && FrameRuns(r, at, f);
}

// A chain of siblings: each names the one before it back, shares its
// parent and comes later in the array, so every walk down the tree ends.
bool SiblingsHold(const ModelFrame* first, const ModelFrame* parent, const ModelFrame* last) {
    if (first == nullptr) {
        return last == nullptr;
    }
    if (first->prevSibling != nullptr) {
        return false;
    }
    const ModelFrame* f = first;
    for (; f->nextSibling != nullptr; f = f->nextSibling) {
        const ModelFrame* next = f->nextSibling;
        if (f->parent != parent || next->prevSibling != f || next->index <= f->index) {
            return false;
        }
    }
    return f->parent == parent && f == last;
}

bool TreeHolds(TsmReader* r) {
    ModelBase* base = r->base;
    ModelFrame* top[2];
    if (!FrameRef(r, HeaderWord(r, kFirstTopFrame), &top[0]) ||
        !FrameRef(r, HeaderWord(r, kLastTopFrame), &top[1]) ||
        !SiblingsHold(top[0], nullptr, top[1])) {
        return false;
    }
    base->firstTopFrame = top[0];
    base->lastTopFrame = top[1];
    int32_t roots = 0;
    for (int32_t i = 0; i < base->frameCount; ++i) {
        const ModelFrame& f = base->frames[i];
        roots += f.parent == nullptr ? 1 : 0;
        if ((f.parent != nullptr && f.parent->index >= f.index) ||
            !SiblingsHold(f.firstChild, &f, f.lastChild)) {
            return false;
        }
    }
    return roots == base->topFrameCount;
}

bool FillFrames(TsmReader* r) {
    const bool filled = TsmWalkChain(
        r, HeaderWord(r, kFirstFrame), r->base->frameCount, kTsmFrameSize, 0x0c, "フレーム",
        [r](uint32_t at, int32_t index) { return FillFrame(r, at, index); });
    if (!filled || !TreeHolds(r)) {
        return filled && TsmBad("フレーム");
    }
    // Positions land after every frame knows its skin-bone references.
    return TsmWalkChain(r, HeaderWord(r, kFirstFrame), r->base->frameCount, kTsmFrameSize, 0x0c,
                        "頂点", [r](uint32_t at, int32_t index) {
                            return DecodePositions(r, at, &r->base->frames[index]);
                        });
}

// The file's wide name joined to the model's directory, so that textures
// are read beside the model as the other readers read them.
bool WideName(const TsmReader* r, const char* text, WCHAR* out) {
    WCHAR relative[kPathCapacity + 1];
    if (MultiByteToWideChar(kTextCodePage, 0, text, -1, relative, kPathCapacity + 1) == 0) {
        return false;
    }
    if (!r->hasDirectory) {
        std::memcpy(out, relative, sizeof relative);
        return true;
    }
    return MakeFullPathW(relative, out, r->wideDirectory) == 0;
}

bool LoadTexture(TsmReader* r, uint32_t at, ModelTexture* t) {
    t->nameOwned = 0;
    t->colourFileOwned = 0;
    t->alphaFileOwned = 0;
    char* colour = nullptr;
    char* alpha = nullptr;
    const uint32_t colourAt = TsmGetWord(r, at + 0x10);
    const uint32_t alphaAt = TsmGetWord(r, at + 0x14);
    if (!TsmName(r, TsmGetWord(r, at + 0x08), &t->name) ||
        (colourAt != 0 && !TsmName(r, colourAt, &colour)) ||
        (alphaAt != 0 && !TsmName(r, alphaAt, &alpha))) {
        return false;
    }
    t->conversionFlags = static_cast<int32_t>(TsmGetWord(r, at + 0x18));
    t->conversionValue = TsmGetFloat(r, at + 0x1c);
    t->addressU = static_cast<int32_t>(TsmGetWord(r, at + 0x20));
    t->addressV = static_cast<int32_t>(TsmGetWord(r, at + 0x24));
    t->filterMode = static_cast<int32_t>(TsmGetWord(r, at + 0x28));
    t->flagByte = TsmGetByte(r, at + 0x34);
    WCHAR wideColour[kPathCapacity + 1];
    WCHAR wideAlpha[kPathCapacity + 1];
    const bool hasColour = colour != nullptr && colour[0] != 0;
    const bool hasAlpha = alpha != nullptr && alpha[0] != 0;
    bool ok = (!hasColour || WideName(r, colour, wideColour)) &&
              (!hasAlpha || WideName(r, alpha, wideAlpha));
    ok = ok && LoadModelTexture(&t->colourImage, &t->colourImageSize, &t->alphaImage,
                                &t->alphaImageSize, &t->imageHandle, &t->semiTransparent, nullptr,
                                nullptr, hasColour ? wideColour : nullptr,
                                hasAlpha ? wideAlpha : nullptr, nullptr, t->conversionFlags,
                                t->conversionValue, t->flagByte, r->params->callbacks) == 0;
    if (!ok) {
        t->imageHandle = -1;
        r->logged = 1;
        WriteLogFormat("TSM LoadModel Error : テクスチャ %s の読み込みに失敗しました\n", t->name);
        return false;
    }
    t->colourFile = colour;
    t->alphaFile = alpha;
    QueryImageSize(t->imageHandle, &t->width, &t->height);
    return true;
}

bool LoadTextures(TsmReader* r) {
    return TsmWalkChain(
        r, HeaderWord(r, kFirstTexture), r->base->textureCount, kTsmTextureSize, 0, "テクスチャ",
        [r](uint32_t at, int32_t index) { return LoadTexture(r, at, &r->base->textures[index]); });
}

void CountFrameTotals(ModelBase* base) {
    for (int32_t i = 0; i < base->frameCount; ++i) {
        ModelFrame& frame = base->frames[i];
        for (int32_t m = 0; m < frame.meshCount; ++m) {
            const ModelMesh& mesh = frame.meshes[m];
            for (int32_t l = 0; l < mesh.triangleListCount; ++l) {
                frame.words6[0] += mesh.triangleLists[l].indexCount / 3;
                frame.words6[1] += mesh.triangleLists[l].vertexCount;
            }
        }
    }
}

void FinishLists(ModelBase* base) {
    for (int32_t i = 0; i < base->triangleListCount; ++i) {
        ModelTriangleList& list = base->triangleLists[i];
        const ModelFrame* frame = list.mesh->frame;
        for (int32_t v = 0; v < list.vertexCount; ++v) {
            const auto* vertex = reinterpret_cast<const ModelMeshVertex*>(
                list.mesh->vertices + size_t{list.meshVertexIndices[v]} * list.mesh->vertexStride);
            std::memcpy(&list.positions[v],
                        frame->positions + size_t(vertex->positionIndex) * frame->positionStride,
                        12);
            list.normals[v] = frame->normals[vertex->normalIndex].normal;
        }
        GatherMeshVertices(&list);
        FilterFlaggedTriangles(&list);
    }
}

bool AllocateBase(TsmReader* r, const BaseLayout& layout) {
    if (!WithinBound(r, layout.size)) {
        return TsmBad("ヘッダ");
    }
    r->handle = NewModelBaseHandle();
    if (r->handle == -1) {
        WriteLogFormat("TSM LoadModel Error : モデル基本データハンドルの取得に失敗しました");
        return false;
    }
    r->base = static_cast<ModelBase*>(
        AllocTrackedZeroed(static_cast<uint32_t>(layout.size), __FILE__, __LINE__));
    if (r->base == nullptr) {
        WriteLogFormat(
            "TSM LoadModel Error : モデル基本データを格納するメモリ領域の確保に失敗しました");
        return false;
    }
    StoreModelBase(r->handle, r->base);
    // One byte per record of the longest chain.
    uint32_t longest = 1;
    for (uint32_t word : {kFrameCount, kMaterialCount, kTextureCount, kMeshCount, kFurtherCount,
                          kListCount, kAnimSetCount}) {
        longest = HeaderWord(r, word) > longest ? HeaderWord(r, word) : longest;
    }
    for (uint32_t word : {tsm_shapes::kShapeCount, tsm_shapes::kShapeMeshCount}) {
        longest = ShapeWord(r, word) > longest ? ShapeWord(r, word) : longest;
    }
    r->seen = static_cast<uint8_t*>(AllocTracked(longest, __FILE__, __LINE__));
    if (r->seen == nullptr) {
        WriteLogFormat("TSM LoadModel Error : 作業用メモリの確保に失敗しました");
        return false;
    }
    return true;
}

bool Build(TsmReader* r) {
    const BaseLayout layout = LayOutBase(r);
    if (!AllocateBase(r, layout) || !PointBaseArrays(r, layout) || !ConvertSkinRefs(r) ||
        !AllocateVertexBlock(r) || !FillFrames(r) || !LoadTextures(r) || !TsmFillRecords(r) ||
        !TsmFillAnimations(r)) {
        return false;
    }
    ModelVertexBlock& v = r->base->vertexBlock;
    v.positionFill = static_cast<int32_t>(r->areaFill[kTsmAreaPositions]);
    v.normalFill = static_cast<int32_t>(r->areaFill[kTsmAreaNormals] / sizeof(ModelNormal));
    v.meshVertexFill = static_cast<int32_t>(r->areaFill[kTsmAreaMeshVertices]);
    v.listVertexFill =
        static_cast<int32_t>(r->areaFill[kTsmAreaRigid] + r->areaFill[kTsmAreaFourBones] +
                             r->areaFill[kTsmAreaEightBones] + r->areaFill[kTsmAreaFreeForm]);
    CountFrameTotals(r->base);
    ComputeFrameMatrices(r->base);
    FinishLists(r->base);
    return true;
}

}  // namespace

int ParseTsmModel(const ModelLoadParams* params) {
    if (params == nullptr || IsTsmImage(params->image, params->size) == 0) {
        return -1;
    }
    TsmReader r = {};
    r.params = params;
    r.ok = 1;
    r.handle = -1;
    if (!SetDirectory(&r, params->directory) ||
        ExpandTsmBody(params->image, params->size, &r.body) != 0) {
        return -1;
    }
    const bool ok = ReadHeader(&r) && Build(&r);
    FreeTsmBody(&r.body);
    FreeTracked(r.seen);
    if (!ok) {
        if (r.handle != -1) {
            ReleaseModelBase(r.handle);
        }
        return -1;
    }
    return r.handle;
}

}  // namespace tessel
