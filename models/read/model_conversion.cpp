// ConvertReadModel: the read model is prepared and analysed, everything is
// counted, the base is laid out in one block and its vertex data in a second
// block of estimated size; the records are filled, and the vertex data then
// closes up into a block of its exact size, every pointer into it following.
// Routes: PrepareMeshes (steps per mesh), CountFrames, LayOutBase,
// FillAnimations, LoadTextures, FillMaterials, FillFrames, ShrinkVertexBlock,
// FindUseReferences, then the finishing steps.
#include <cstring>

#include "foundation/base/charset.h"
#include "foundation/files/paths.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "graphics/images/image_records.h"
#include "models/base/base_processing.h"
#include "models/core/model_system.h"
#include "models/read/conversion_internal.h"
#include "models/read/read_model_conversion.h"
#include "models/read/read_model_preparation.h"
#include "platform/kernel/codepage.h"

namespace tessel {

int64_t AlignUp16(int64_t bytes) {
    return (bytes + 15) & ~int64_t{15};
}

uint8_t* TakeRegion(BuildState* state, int region, int64_t bytes) {
    if (state->regionStart[region] == nullptr || bytes <= 0) {
        return nullptr;
    }
    const int64_t at = state->regionFill[region];
    state->regionFill[region] = at + bytes;
    return state->regionStart[region] + at;
}

namespace {

constexpr int kDirectoryCapacity = 262;
constexpr uint32_t kTextCodePage = 932;

int64_t TextBytes(const char* text) {
    return text == nullptr ? 0 : ((static_cast<int64_t>(std::strlen(text)) + 1 + 3) & ~int64_t{3});
}

// Where each part of the base block lies, in bytes from its start.
struct BaseLayout {
    int64_t name, filePath, directory, drawBits, changeBits, frames, skinRefs, materials, textures,
        skinBones, skinUses, shapes, shapeMeshes, meshes, lists, listBones, indices, texts,
        animSets, anims, keySets, keyData, animTable, size;
    int64_t drawBitWords, changeBitWords;
};

struct Conversion {
    ReadModel* model;
    const ModelFileCallbacks* callbacks;
    char directory[kDirectoryCapacity + 2];
    WCHAR wideDirectory[kDirectoryCapacity + 2];
    bool hasDirectory;
    ConversionTotals totals;
    BaseLayout layout;
    int64_t textBytes;
    int64_t keyBytes;
    int32_t animCount;
    int32_t keySetCount;
    int handle;
    ModelBase* base;
    char* textCursor;
    uint8_t* keyCursor;
    BuildState build;
    void* vertexBlock;
    int64_t regionCapacity[kRegionCount];
};

char* CopyText(Conversion* cv, const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    char* at = cv->textCursor;
    const size_t bytes = std::strlen(text) + 1;
    std::memcpy(at, text, bytes);
    cv->textCursor += (bytes + 3) & ~size_t{3};
    return at;
}

bool SetDirectory(Conversion* cv, const char* directory) {
    cv->hasDirectory = directory != nullptr;
    if (directory == nullptr) {
        cv->directory[0] = 0;
        return true;
    }
    const size_t length = std::strlen(directory);
    if (length > kDirectoryCapacity - 1) {
        return WriteLogFormat("Read Model Convert Error : ディレクトリパスが長すぎます") == 0;
    }
    std::memcpy(cv->directory, directory, length + 1);
    if (length == 0 || (directory[length - 1] != '\\' && directory[length - 1] != '/')) {
        cv->directory[length] = '/';
        cv->directory[length + 1] = 0;
    }
    if (MultiByteToWideChar(LibraryCodePage(), 0, cv->directory, -1, cv->wideDirectory,
                            kDirectoryCapacity + 1) == 0) {
        return WriteLogFormat("Read Model Convert Error : ディレクトリパスの変換に失敗しました") ==
               0;
    }
    return true;
}

bool MapShapes(ReadModel* model) {
    for (ReadModelShape* shape = model->firstShape; shape != nullptr; shape = shape->next) {
        ReadModelMesh* mesh = shape->mesh;
        if (mesh == nullptr) {
            continue;
        }
        mesh->hasShapes = 1;
        const int64_t bytes =
            4 * static_cast<int64_t>(mesh->positionCount > 0 ? mesh->positionCount : 1);
        shape->vertexMap =
            static_cast<int32_t*>(AllocChainedBlock(static_cast<uint32_t>(bytes), &model->blocks));
        if (shape->vertexMap == nullptr) {
            return WriteLogFormat(
                       "Read Model Convert Error : "
                       "シェイプ対象頂点テーブル用メモリの確保に失敗しました") == 0;
        }
        std::memset(shape->vertexMap, 0xFF, static_cast<size_t>(bytes));
        for (int i = 0; i < shape->vertexCount; ++i) {
            const int p = shape->vertices[i].positionIndex;
            if (p < 0 || p >= mesh->positionCount) {
                return WriteLogFormat(
                           "Read Model Convert Error : シェイプ %s が範囲外の頂点 %d "
                           "を指しています",
                           shape->name != nullptr ? shape->name : "", p) == 0;
            }
            shape->vertexMap[p] = i;
        }
    }
    return true;
}

bool PrepareNormals(ReadModel* model, ReadModelMesh* mesh) {
    if (mesh->normals == nullptr) {
        if (model->ownSmoothing == 0 && mesh->frame != nullptr) {
            mesh->frame->smoothingAngle = g_models.defaultSmoothingAngle;
        }
        return GenerateReadModelNormals(model, mesh);
    }
    return model->ownSmoothing == 0 || GenerateReadModelNormals(model, mesh);
}

bool PrepareMeshes(Conversion* cv) {
    ReadModel* model = cv->model;
    for (ReadModelMesh* mesh = model->firstMesh; mesh != nullptr; mesh = mesh->next) {
        if (!TriangulateReadModel(model, mesh) || !PrepareNormals(model, mesh)) {
            return false;
        }
        mesh->triangleTotal = 0;
        for (int f = 0; f < mesh->faceCount; ++f) {
            mesh->faces[f].triangleCount = mesh->faces[f].cornerCount - 2;
            mesh->triangleTotal += mesh->faces[f].triangleCount;
        }
        if (!AnalyseReadModelMesh(model, mesh, &cv->totals)) {
            return false;
        }
    }
    // Positions are sized once every frame knows its most bones a vertex.
    for (ReadModelFrame* frame = model->firstFrame; frame != nullptr; frame = frame->next) {
        frame->maxBonesPerVertex = 0;
        int64_t positions = 0;
        for (ReadModelMesh* mesh = frame->firstMesh; mesh != nullptr; mesh = mesh->nextInFrame) {
            const auto* work = static_cast<const MeshWork*>(mesh->groupTables);
            if (work != nullptr && work->bonesPerVertex > frame->maxBonesPerVertex) {
                frame->maxBonesPerVertex = work->bonesPerVertex;
            }
            positions += mesh->positionCount;
        }
        cv->totals.region[kRegionPositions] += positions * (12 + 8 * frame->maxBonesPerVertex);
    }
    return true;
}

int MeshGroupsOf(const ReadModelFrame* frame) {
    int groups = 0;
    for (const ReadModelMesh* mesh = frame->firstMesh; mesh != nullptr; mesh = mesh->nextInFrame) {
        const auto* work = static_cast<const MeshWork*>(mesh->groupTables);
        groups += work != nullptr ? work->meshCount : 0;
    }
    return groups;
}

int64_t BitWords(int64_t bits) {
    return (bits + 32) / 32 + 1;
}

void CountFrames(Conversion* cv) {
    ReadModel* model = cv->model;
    model->meshGroupTotal = 0;
    for (ReadModelFrame* frame = model->firstFrame; frame != nullptr; frame = frame->next) {
        frame->meshGroupTotal = 0;
        frame->descendantCount = 0;
    }
    for (ReadModelFrame* frame = model->firstFrame; frame != nullptr; frame = frame->next) {
        const int groups = MeshGroupsOf(frame);
        frame->meshGroupTotal += groups;
        for (ReadModelFrame* up = frame->parent; up != nullptr; up = up->parent) {
            up->meshGroupTotal += groups;
            ++up->descendantCount;
        }
        model->meshGroupTotal += groups;
    }
    int64_t draw = 0;
    int64_t change = 0;
    for (ReadModelFrame* frame = model->firstFrame; frame != nullptr; frame = frame->next) {
        draw += BitWords(model->frameCount + frame->descendantCount + frame->meshGroupTotal);
        change += BitWords(model->frameCount + frame->descendantCount);
    }
    cv->layout.drawBitWords = draw;
    cv->layout.changeBitWords = change;
}

void CountTextsAndKeys(Conversion* cv) {
    ReadModel* model = cv->model;
    int64_t texts = 0;
    for (ReadModelFrame* f = model->firstFrame; f != nullptr; f = f->next) {
        texts += TextBytes(f->name);
    }
    for (ReadModelMaterial* m = model->firstMaterial; m != nullptr; m = m->next) {
        texts += TextBytes(m->name);
    }
    for (ReadModelTexture* t = model->firstTexture; t != nullptr; t = t->next) {
        texts += TextBytes(t->name) + TextBytes(t->colourFile) + TextBytes(t->alphaFile);
    }
    for (ReadModelShape* s = model->firstShape; s != nullptr; s = s->next) {
        texts += TextBytes(s->name);
        const auto* work =
            s->mesh != nullptr ? static_cast<const MeshWork*>(s->mesh->groupTables) : nullptr;
        cv->totals.shapeMeshes += work != nullptr ? work->meshCount : 0;
        cv->totals.region[kRegionShapeData] +=
            work != nullptr
                ? static_cast<int64_t>(sizeof(ModelShapeDelta)) * 3 * s->mesh->triangleTotal
                : 0;
    }
    int64_t keys = 0;
    for (ReadModelAnimSet* set = model->firstAnimSet; set != nullptr; set = set->next) {
        texts += TextBytes(set->name);
        for (ReadModelAnim* a = set->firstAnim; a != nullptr; a = a->nextInSet) {
            ++cv->animCount;
            for (ReadModelKeySet* k = a->firstKeySet; k != nullptr; k = k->nextInAnim) {
                ++cv->keySetCount;
                const int64_t count = k->keyCount > 0 ? k->keyCount : 0;
                keys += count * ReadModelKeyValueBytes(k->kind) + (k->hasTimeTable ? 4 * count : 0);
            }
        }
    }
    cv->textBytes = texts;
    cv->keyBytes = keys;
}

void LayOutBase(Conversion* cv) {
    ReadModel* model = cv->model;
    BaseLayout& l = cv->layout;
    int64_t at = AlignUp16(sizeof(ModelBase));
    auto take = [&at](int64_t bytes) {
        const int64_t start = at;
        at += AlignUp16(bytes);
        return start;
    };
    l.name = take(TextBytes(model->baseName != nullptr ? model->baseName : ""));
    l.filePath = take(TextBytes(model->filePath != nullptr ? model->filePath : ""));
    l.directory = take(TextBytes(cv->directory));
    l.drawBits = take(4 * l.drawBitWords);
    l.changeBits = take(4 * l.changeBitWords);
    l.frames = take(static_cast<int64_t>(sizeof(ModelFrame)) * model->frameCount);
    l.skinRefs = take(static_cast<int64_t>(sizeof(ModelSkinBone*)) * cv->totals.skinWeights);
    l.materials = take(static_cast<int64_t>(sizeof(ModelMaterial)) * model->materialCount);
    l.textures = take(static_cast<int64_t>(sizeof(ModelTexture)) * model->textureCount);
    l.skinBones = take(static_cast<int64_t>(sizeof(ModelSkinBone)) * cv->totals.skinWeights);
    l.skinUses = take(static_cast<int64_t>(sizeof(ModelSkinBoneUse)) * cv->totals.skinWeights);
    l.shapes = take(static_cast<int64_t>(sizeof(ModelShape)) * model->shapeCount);
    l.shapeMeshes = take(static_cast<int64_t>(sizeof(ModelShapeMesh)) * cv->totals.shapeMeshes);
    l.meshes = take(static_cast<int64_t>(sizeof(ModelMesh)) * cv->totals.meshes);
    l.lists = take(static_cast<int64_t>(sizeof(ModelTriangleList)) * cv->totals.lists);
    l.listBones = take(4 * kListBoneLimit * cv->totals.skinnedLists);
    l.indices = take(4 * cv->totals.indices);
    l.texts = take(cv->textBytes);
    l.animSets = take(static_cast<int64_t>(sizeof(ModelAnimSet)) * model->animSetCount);
    l.anims = take(static_cast<int64_t>(sizeof(ModelAnim)) * cv->animCount);
    l.keySets = take(static_cast<int64_t>(sizeof(ModelKeySet)) * cv->keySetCount);
    l.keyData = take(cv->keyBytes);
    l.animTable =
        take(static_cast<int64_t>(sizeof(ModelAnim*)) * model->animSetCount * model->frameCount);
    l.size = at;
}

template <typename T>
T* At(Conversion* cv, int64_t offset) {
    return reinterpret_cast<T*>(reinterpret_cast<uint8_t*>(cv->base) + offset);
}

// The vertex block of estimated size, carved into its regions.
bool AllocateVertexBlock(Conversion* cv) {
    int64_t total = 0;
    for (int r = 0; r < kRegionCount; ++r) {
        cv->regionCapacity[r] = AlignUp16(cv->totals.region[r]);
        total += cv->regionCapacity[r];
    }
    if (total == 0) {
        return true;
    }
    void* block = total + 16 > UINT32_MAX / 2
                      ? nullptr
                      : AllocTracked(static_cast<uint32_t>(total + 16), "", 0);
    if (block == nullptr) {
        WriteLog(
            "Read Model Convert Error : "
            "頂点座標と頂点法線を一時的に格納するメモリ領域の確保に失敗しました\n");
        return false;
    }
    cv->base->vertexBlock.block = block;
    cv->base->vertexBlock.size = static_cast<int32_t>(total + 16);
    auto* at = reinterpret_cast<uint8_t*>(AlignUp16(reinterpret_cast<intptr_t>(block)));
    for (int r = 0; r < kRegionCount; ++r) {
        cv->build.regionStart[r] = cv->regionCapacity[r] > 0 ? at : nullptr;
        at += cv->regionCapacity[r];
    }
    return true;
}

bool AllocateBase(Conversion* cv) {
    cv->handle = NewModelBaseHandle();
    if (cv->handle == -1) {
        return WriteLogFormat(
                   "Read Model Convert Error : モデル基本データハンドルの取得に失敗しました") == 0;
    }
    const int64_t size = cv->layout.size;
    cv->base =
        size > UINT32_MAX / 2
            ? nullptr
            : static_cast<ModelBase*>(AllocTrackedZeroed(static_cast<uint32_t>(size), "", 0));
    if (cv->base == nullptr) {
        WriteLog("Read Model Convert Error : モデル基本データ保存用のメモリの確保に失敗しました\n");
        return false;
    }
    StoreModelBase(cv->handle, cv->base);
    const int64_t temp =
        4 * (static_cast<int64_t>(cv->totals.largestPositions) + 9 * cv->totals.largestTriangles);
    cv->build.temp = static_cast<int32_t*>(
        temp > UINT32_MAX / 2 ? nullptr : AllocTracked(static_cast<uint32_t>(temp + 16), "", 0));
    if (cv->build.temp == nullptr) {
        WriteLog(
            "Read Model Convert Error : "
            "モデル基本データ構築に使用するテンポラリバッファの確保に失敗しました\n");
        return false;
    }
    return AllocateVertexBlock(cv);
}

void PointBaseArrays(Conversion* cv) {
    ReadModel* model = cv->model;
    ModelBase* base = cv->base;
    const BaseLayout& l = cv->layout;
    cv->textCursor = At<char>(cv, l.texts);
    cv->keyCursor = At<uint8_t>(cv, l.keyData);
    base->name = At<char>(cv, l.name);
    std::strcpy(base->name, model->baseName != nullptr ? model->baseName : "");
    base->filePath = At<char>(cv, l.filePath);
    std::strcpy(base->filePath, model->filePath != nullptr ? model->filePath : "");
    base->directory = At<char>(cv, l.directory);
    std::strcpy(base->directory, cv->directory);
    base->frameCount = model->frameCount;
    base->frames = At<ModelFrame>(cv, l.frames);
    base->frameSkinBoneRefs = At<ModelSkinBone*>(cv, l.skinRefs);
    base->materialCount = model->materialCount;
    base->materials = At<ModelMaterial>(cv, l.materials);
    base->textureCount = model->textureCount;
    base->textures = At<ModelTexture>(cv, l.textures);
    for (int i = 0; i < base->textureCount; ++i) {
        base->textures[i].imageHandle = -1;
    }
    base->skinBones = At<ModelSkinBone>(cv, l.skinBones);
    base->skinBoneUses = At<ModelSkinBoneUse>(cv, l.skinUses);
    base->shapeCount = model->shapeCount;
    base->shapes = At<ModelShape>(cv, l.shapes);
    base->shapeMeshes = At<ModelShapeMesh>(cv, l.shapeMeshes);
    base->meshes = At<ModelMesh>(cv, l.meshes);
    base->triangleLists = At<ModelTriangleList>(cv, l.lists);
    base->indexArea = At<uint16_t>(cv, l.indices);
    base->keyData = cv->keyCursor;
    base->animSets = At<ModelAnimSet>(cv, l.animSets);
    base->anims = At<ModelAnim>(cv, l.anims);
    base->keySets = At<ModelKeySet>(cv, l.keySets);
    base->animTable = At<ModelAnim*>(cv, l.animTable);
    cv->build.model = model;
    cv->build.base = base;
    cv->build.listBones = At<int32_t>(cv, l.listBones);
    cv->build.changeCounter = 1;
}

void FillKeySet(Conversion* cv, const ReadModelKeySet* from, ModelKeySet* to) {
    to->kind = from->kind;
    to->target = from->target;
    to->hasTimeTable = from->hasTimeTable;
    to->shapeIndex = static_cast<int16_t>(from->sourceWord);
    to->keyCount = from->keyCount > 0 ? from->keyCount : 0;
    if (from->hasTimeTable == 0) {
        to->timeStep = from->timeStep;
        to->startTime = from->startTime;
    }
    const size_t valueBytes =
        static_cast<size_t>(to->keyCount) * ReadModelKeyValueBytes(from->kind);
    to->values = cv->keyCursor;
    if (valueBytes > 0 && from->values != nullptr) {
        std::memcpy(cv->keyCursor, from->values, valueBytes);
    }
    cv->keyCursor += valueBytes;
    if (from->hasTimeTable != 0) {
        to->times = reinterpret_cast<float*>(cv->keyCursor);
        const size_t timeBytes = 4 * static_cast<size_t>(to->keyCount);
        if (timeBytes > 0 && from->times != nullptr) {
            std::memcpy(cv->keyCursor, from->times, timeBytes);
        }
        cv->keyCursor += timeBytes;
    }
}

void FillAnimations(Conversion* cv) {
    ModelBase* base = cv->base;
    int setIndex = 0;
    for (ReadModelAnimSet* set = cv->model->firstAnimSet; set != nullptr; set = set->next) {
        ModelAnimSet& to = base->animSets[setIndex];
        to.name = CopyText(cv, set->name);
        to.additive = set->word;
        to.matrixMode = set->keepVectorKeys;
        to.anims = base->anims + base->animCount;
        for (ReadModelAnim* a = set->firstAnim; a != nullptr; a = a->nextInSet) {
            ModelAnim& anim = base->anims[base->animCount++];
            ++to.animCount;
            to.length = a->length > to.length ? a->length : to.length;
            anim.frame = a->targetIndex;
            anim.flag = a->animFlag;
            anim.keySets = base->keySets + base->keySetCount;
            if (a->targetIndex >= 0 && a->targetIndex < base->frameCount) {
                base->animTable[static_cast<int64_t>(setIndex) * base->frameCount +
                                a->targetIndex] = &anim;
            }
            for (ReadModelKeySet* k = a->firstKeySet; k != nullptr; k = k->nextInAnim) {
                FillKeySet(cv, k, &base->keySets[base->keySetCount++]);
                ++anim.keySetCount;
            }
        }
        ++setIndex;
    }
    base->animSetCount = setIndex;
    base->keyDataUsed = static_cast<int32_t>(cv->keyCursor - static_cast<uint8_t*>(base->keyData));
}

// A texture that no material names (the reader cleared the layers of the
// materials no face uses) has nothing to load.
void MarkUsedTextures(const ReadModel* model, uint8_t* used) {
    for (const ReadModelMaterial* m = model->firstMaterial; m != nullptr; m = m->next) {
        for (const ReadModelTextureLayer& layer : m->layers) {
            for (int i = 0; i < layer.count && i < kReadModelLayerTextures; ++i) {
                if (layer.textures[i] != nullptr) {
                    used[layer.textures[i]->index] = 1;
                }
            }
        }
        const int toon = m->toonTexture != nullptr ? m->toonTexture->index : m->toonTextureIndex;
        const int sphere =
            m->sphereTexture != nullptr ? m->sphereTexture->index : m->sphereTextureIndex;
        for (int index : {toon, sphere}) {
            if (index >= 0 && index < model->textureCount) {
                used[index] = 1;
            }
        }
    }
}

// The file's wide path, joined with the model's directory; false when it
// does not fit.
bool WidePath(const Conversion* cv, const char* file, WCHAR* out) {
    WCHAR relative[kPathCapacity + 1];
    if (MultiByteToWideChar(kTextCodePage, 0, file, -1, relative, kPathCapacity + 1) == 0) {
        return false;
    }
    if (!cv->hasDirectory) {
        std::memcpy(out, relative, sizeof relative);
        return true;
    }
    return MakeFullPathW(relative, out, cv->wideDirectory) == 0;
}

bool LoadOneTexture(Conversion* cv, const ReadModelTexture* from, ModelTexture* to) {
    WCHAR colour[kPathCapacity + 1];
    WCHAR alpha[kPathCapacity + 1];
    const bool hasColour = from->colourFile != nullptr && from->colourFile[0] != 0;
    const bool hasAlpha = from->alphaFile != nullptr && from->alphaFile[0] != 0;
    bool ok = (!hasColour || WidePath(cv, from->colourFile, colour)) &&
              (!hasAlpha || WidePath(cv, from->alphaFile, alpha));
    ok = ok && LoadModelTexture(&to->colourImage, &to->colourImageSize, &to->alphaImage,
                                &to->alphaImageSize, &to->imageHandle, &to->semiTransparent,
                                nullptr, nullptr, hasColour ? colour : nullptr,
                                hasAlpha ? alpha : nullptr, nullptr, from->conversionFlags,
                                from->conversionValue, from->reverseFlag, cv->callbacks) == 0;
    if (!ok) {
        to->imageHandle = -1;
        return WriteLogFormat("Read Model Convert Error : テクスチャ %s の読み込みに失敗しました",
                              from->name != nullptr ? from->name : "") == 0;
    }
    if (to->colourImage != nullptr) {
        to->colourFile = CopyText(cv, from->colourFile);
    }
    if (to->alphaImage != nullptr) {
        to->alphaFile = CopyText(cv, from->alphaFile);
    }
    QueryImageSize(to->imageHandle, &to->width, &to->height);
    return true;
}

bool LoadTextures(Conversion* cv) {
    const ReadModel* model = cv->model;
    if (model->textureCount <= 0) {
        return true;
    }
    auto* used = static_cast<uint8_t*>(
        AllocTrackedZeroed(static_cast<uint32_t>(model->textureCount), "", 0));
    if (used == nullptr) {
        return WriteLogFormat(
                   "Read Model Convert Error : "
                   "テクスチャの使用状況を格納するメモリの確保に失敗しました") == 0;
    }
    MarkUsedTextures(model, used);
    bool ok = true;
    for (const ReadModelTexture* t = model->firstTexture; ok && t != nullptr; t = t->next) {
        ModelTexture* to = &cv->base->textures[t->index];
        to->name = CopyText(cv, t->name);
        to->addressU = t->addressU;
        to->addressV = t->addressV;
        to->filterMode = t->filterMode;
        to->conversionFlags = t->conversionFlags;
        to->conversionValue = t->conversionValue;
        to->flagByte = t->reverseFlag;
        if (used[t->index] != 0) {
            ok = LoadOneTexture(cv, t, to);
        }
    }
    FreeTracked(used);
    return ok;
}

void FillLayer(const ReadModelTextureLayer& from, int32_t* count, ModelMaterialLayer* to) {
    *count = from.count < kModelMaterialLayers ? from.count : kModelMaterialLayers;
    for (int i = 0; i < *count; ++i) {
        const ReadModelTexture* texture = from.textures[i];
        to[i].texture = texture != nullptr ? texture->index : -1;
        to[i].layerWord = texture != nullptr ? texture->layerWord : 0;
    }
}

void FillMaterials(Conversion* cv) {
    for (const ReadModelMaterial* m = cv->model->firstMaterial; m != nullptr; m = m->next) {
        ModelMaterial& to = cv->base->materials[m->index];
        to.name = CopyText(cv, m->name);
        to.word = m->userWord;
        std::memcpy(to.diffuse, m->diffuse, sizeof to.diffuse);
        std::memcpy(to.ambient, m->ambient, sizeof to.ambient);
        std::memcpy(to.specular, m->specular, sizeof to.specular);
        std::memcpy(to.emissive, m->emissive, sizeof to.emissive);
        to.power = m->power;
        FillLayer(m->layers[0], &to.diffuseLayerCount, to.diffuseLayers);
        FillLayer(m->layers[1], &to.specularLayerCount, to.specularLayers);
        FillLayer(m->layers[2], &to.normalLayerCount, to.normalLayers);
        to.toonDiffuseTexture =
            m->toonTexture != nullptr ? m->toonTexture->index : m->toonTextureIndex;
        to.toonSpecularTexture =
            m->sphereTexture != nullptr ? m->sphereTexture->index : m->sphereTextureIndex;
        // The eight words: toon selectors, toon words, then the material's own.
        to.toonSelectors[0] = m->words[0];
        to.toonSelectors[1] = m->words[1];
        to.toonWords[0] = m->words[2];
        to.toonWords[1] = m->words[3];
        to.words[0] = m->tailWords[0];
        to.words[1] = m->tailWords[1];
        to.words[2] = m->words[4];
        to.words[3] = m->words[5];
        to.words[4] = m->words[6];
        to.outlineColour[3] = 1.0f;
    }
}

void LinkFrame(ModelBase* base, ModelFrame* frame, ModelFrame* parent) {
    frame->parent = parent;
    if (parent == nullptr) {
        if (base->topFrameCount++ == 0) {
            base->firstTopFrame = frame;
        } else {
            base->lastTopFrame->nextSibling = frame;
            frame->prevSibling = base->lastTopFrame;
        }
        base->lastTopFrame = frame;
        return;
    }
    if (parent->firstChild == nullptr) {
        parent->firstChild = frame;
    } else {
        parent->lastChild->nextSibling = frame;
        frame->prevSibling = parent->lastChild;
    }
    parent->lastChild = frame;
}

bool FillFrame(Conversion* cv, ReadModelFrame* from, uint32_t** drawWords, uint32_t** changeWords) {
    ModelBase* base = cv->base;
    BuildState* s = &cv->build;
    ModelFrame* frame = &base->frames[from->index];
    from->base = frame;
    frame->base = base;
    frame->name = CopyText(cv, from->name);
    frame->index = from->index;
    frame->smoothingAngle = from->smoothingAngle;
    frame->recomputeNormals = cv->model->ownSmoothing;
    LinkFrame(base, frame, from->parent != nullptr ? &base->frames[from->parent->index] : nullptr);
    frame->translation = from->translation;
    frame->scale = from->scale;
    frame->rotationOrder = from->rotationOrder;
    frame->rotation = from->rotation;
    std::memcpy(frame->quaternion, from->preRotation, sizeof frame->quaternion);
    DecomposeFrameTransform(from, frame);
    const int frames = cv->model->frameCount;
    InitFrameChangeDescriptor(&frame->drawChange, *drawWords, s->changeCounter++,
                              1 + from->descendantCount + from->meshGroupTotal);
    *drawWords += BitWords(frames + from->descendantCount + from->meshGroupTotal);
    InitFrameChangeDescriptor(&frame->change, *changeWords, from->index + 1,
                              1 + from->descendantCount);
    *changeWords += BitWords(frames + from->descendantCount);
    frame->maxWeights = from->maxBonesPerVertex;
    frame->positionStride = 12 + 8 * from->maxBonesPerVertex;
    frame->flags = from->flag != 0 ? 1 : 0;
    frame->shapeCount = from->shapeCount;
    frame->firstShape =
        from->firstShape != nullptr ? &base->shapes[from->firstShape->index] : nullptr;
    for (ReadModelShape* shape = from->firstShape; shape != nullptr; shape = shape->nextInFrame) {
        ModelShape& to = base->shapes[shape->index];
        to.frame = frame;
        to.name = CopyText(cv, shape->name);
    }
    frame->positions = s->regionStart[kRegionPositions] == nullptr
                           ? nullptr
                           : s->regionStart[kRegionPositions] + s->regionFill[kRegionPositions];
    frame->normals = s->regionStart[kRegionNormals] == nullptr
                         ? nullptr
                         : reinterpret_cast<ModelNormal*>(s->regionStart[kRegionNormals] +
                                                          s->regionFill[kRegionNormals]);
    frame->firstSkinBoneRef = base->frameSkinBoneRefCount;
    for (ReadModelMesh* mesh = from->firstMesh; mesh != nullptr; mesh = mesh->nextInFrame) {
        if (!BuildReadModelMesh(s, from, frame, mesh)) {
            return false;
        }
    }
    if (frame->positionCount == 0) {
        frame->positions = nullptr;
    }
    if (frame->normalCount == 0) {
        frame->normals = nullptr;
    }
    return true;
}

bool FillFrames(Conversion* cv) {
    auto* drawWords = At<uint32_t>(cv, cv->layout.drawBits);
    auto* changeWords = At<uint32_t>(cv, cv->layout.changeBits);
    for (ReadModelFrame* f = cv->model->firstFrame; f != nullptr; f = f->next) {
        if (!FillFrame(cv, f, &drawWords, &changeWords)) {
            return false;
        }
    }
    return true;
}

// Moves a pointer into the estimated block to the same place of the exact
// one.
template <typename T>
void Relocate(const Conversion* cv, uint8_t* const* newStart, T** pointer) {
    if (*pointer == nullptr) {
        return;
    }
    auto* p = reinterpret_cast<uint8_t*>(*pointer);
    for (int r = 0; r < kRegionCount; ++r) {
        uint8_t* start = cv->build.regionStart[r];
        if (start != nullptr && p >= start && p < start + cv->regionCapacity[r]) {
            *pointer = reinterpret_cast<T*>(newStart[r] + (p - start));
            return;
        }
    }
}

// The regions close up inside the estimated block, which then shrinks to
// their exact size; only the bytes written were ever touched, so nothing is
// copied twice and no second block is faulted in.
bool ShrinkVertexBlock(Conversion* cv) {
    ModelBase* base = cv->base;
    if (base->vertexBlock.block == nullptr) {
        return true;
    }
    auto* old = static_cast<uint8_t*>(base->vertexBlock.block);
    auto* oldStart = reinterpret_cast<uint8_t*>(AlignUp16(reinterpret_cast<intptr_t>(old)));
    int64_t newOffset[kRegionCount];
    int64_t total = 0;
    for (int r = 0; r < kRegionCount; ++r) {
        newOffset[r] = total;
        if (cv->build.regionFill[r] > 0) {
            std::memmove(oldStart + total, cv->build.regionStart[r],
                         static_cast<size_t>(cv->build.regionFill[r]));
        }
        total += AlignUp16(cv->build.regionFill[r]);
    }
    const int64_t size = (oldStart - old) + total;
    auto* block = static_cast<uint8_t*>(ReallocTracked(old, static_cast<uint32_t>(size), "", 0));
    if (block == nullptr) {
        // Shrinking in place cannot lose data; the larger block stays.
        block = old;
    } else {
        base->vertexBlock.size = static_cast<int32_t>(size);
    }
    base->vertexBlock.block = block;
    uint8_t* newStart[kRegionCount];
    for (int r = 0; r < kRegionCount; ++r) {
        newStart[r] = block + (oldStart - old) + newOffset[r];
    }
    for (int i = 0; i < base->frameCount; ++i) {
        Relocate(cv, newStart, &base->frames[i].positions);
        Relocate(cv, newStart, &base->frames[i].normals);
    }
    for (int i = 0; i < base->meshCount; ++i) {
        Relocate(cv, newStart, &base->meshes[i].vertices);
        Relocate(cv, newStart, &base->meshes[i].triangles);
    }
    for (int i = 0; i < base->shapeMeshCount; ++i) {
        Relocate(cv, newStart, &base->shapeMeshes[i].data);
    }
    for (int i = 0; i < base->triangleListCount; ++i) {
        ModelTriangleList& list = base->triangleLists[i];
        Relocate(cv, newStart, &list.vertices);
        Relocate(cv, newStart, &list.meshVertexIndices);
        Relocate(cv, newStart, &list.positions);
        Relocate(cv, newStart, &list.normals);
    }
    ModelVertexBlock& v = base->vertexBlock;
    v.positions = newStart[kRegionPositions];
    v.normals = reinterpret_cast<ModelNormal*>(newStart[kRegionNormals]);
    v.meshVertices = newStart[kRegionMeshVertices];
    v.listVertices = newStart[kRegionRigid];
    v.positionFill = static_cast<int32_t>(cv->build.regionFill[kRegionPositions]);
    v.normalFill = static_cast<int32_t>(cv->build.regionFill[kRegionNormals] / sizeof(ModelNormal));
    v.meshVertexFill = static_cast<int32_t>(cv->build.regionFill[kRegionMeshVertices]);
    v.listVertexFill = static_cast<int32_t>(
        cv->build.regionFill[kRegionRigid] + cv->build.regionFill[kRegionFourBones] +
        cv->build.regionFill[kRegionEightBones] + cv->build.regionFill[kRegionSoftware]);
    return true;
}

void CountFrameTotals(ModelBase* base) {
    for (int i = 0; i < base->frameCount; ++i) {
        ModelFrame& frame = base->frames[i];
        frame.words6[0] = 0;
        frame.words6[1] = 0;
        for (int m = 0; m < frame.meshCount; ++m) {
            const ModelMesh& mesh = frame.meshes[m];
            for (int l = 0; l < mesh.triangleListCount; ++l) {
                frame.words6[0] += mesh.triangleLists[l].indexCount / 3;
                frame.words6[1] += mesh.triangleLists[l].vertexCount;
            }
        }
    }
}

bool FindUseReferences(ModelBase* base) {
    for (int b = 0; b < base->skinBoneCount; ++b) {
        ModelSkinBone& bone = base->skinBones[b];
        for (int u = 0; u < bone.useCount; ++u) {
            ModelSkinBoneUse& use = bone.uses[u];
            const ModelFrame& frame = base->frames[use.frame];
            use.refPosition = -1;
            for (int k = 0; k < frame.skinBoneRefCount; ++k) {
                if (base->frameSkinBoneRefs[frame.firstSkinBoneRef + k] == &bone) {
                    use.refPosition = k;
                    break;
                }
            }
            if (use.refPosition == -1) {
                return WriteLogFormat("エラー０") == 0;
            }
        }
    }
    return true;
}

void TurnOffTranslucentCulling(ModelBase* base) {
    for (int i = 0; i < base->meshCount; ++i) {
        ModelMesh& mesh = base->meshes[i];
        if (mesh.material != nullptr && mesh.material->diffuse[3] < 1.0f) {
            mesh.cullMode = 0;
        }
    }
}

bool Build(Conversion* cv) {
    PointBaseArrays(cv);
    FillAnimations(cv);
    if (!LoadTextures(cv)) {
        return false;
    }
    FillMaterials(cv);
    if (!FillFrames(cv)) {
        return false;
    }
    cv->base->triangleListCount = cv->build.listFill;
    if (!ShrinkVertexBlock(cv)) {
        return false;
    }
    CountFrameTotals(cv->base);
    if (!FindUseReferences(cv->base) || OptimiseSkinningMeshes(cv->base) == 0) {
        return false;
    }
    if (cv->model->noCullTranslucent != 0) {
        TurnOffTranslucentCulling(cv->base);
    }
    ComputeFrameMatrices(cv->base);
    return true;
}

}  // namespace

int ConvertReadModel(ReadModel* model, const char* directory, const ModelFileCallbacks* callbacks) {
    auto* cv = static_cast<Conversion*>(AllocTrackedZeroed(sizeof(Conversion), "", 0));
    if (cv == nullptr) {
        return WriteLog("Read Model Convert Error : 変換作業用メモリの確保に失敗しました\n");
    }
    cv->model = model;
    cv->callbacks = callbacks;
    cv->handle = -1;
    bool ok = SetDirectory(cv, directory);
    if (ok) {
        SplitMatrixAnimKeys(model);
        ok = MapShapes(model) && PrepareMeshes(cv);
    }
    if (ok) {
        CountFrames(cv);
        CountTextsAndKeys(cv);
        LayOutBase(cv);
        ok = AllocateBase(cv) && Build(cv);
    }
    const int handle = cv->handle;
    FreeTracked(cv->build.temp);
    if (!ok && handle != -1) {
        ReleaseModelBase(handle);
    }
    FreeTracked(cv);
    return ok ? handle : -1;
}

}  // namespace tessel
