// The read model's construction calls: entries allocated from the model's
// block chain and appended to their lists, frames kept in depth-first order,
// textures probed under their relative path or bare name and optionally
// shared, and the frame-matrix and whole-file services beside them.
#include "models/read/read_model.h"

#include <cstring>

#include "foundation/base/charset.h"
#include "foundation/base/text.h"
#include "foundation/files/file_ops.h"
#include "foundation/files/paths.h"
#include "foundation/memory/memory.h"
#include "models/util/model_containers.h"
#include "platform/kernel.h"

namespace tessel {

namespace {

constexpr float kDefaultFrameSmoothing = 1.5207964f;
constexpr int kCurrentDirectoryBytes = 1024;
constexpr int kFileNameBytes = 512;

template <typename T>
T* NewEntry(ReadModel* model) {
    return static_cast<T*>(AllocChainedBlock(sizeof(T), &model->blocks));
}

// Appends an entry with prev/next links to a list of count, first and last.
template <typename T>
void Append(T* entry, int32_t* count, T** first, T** last) {
    entry->prev = *last;
    entry->next = nullptr;
    if (*last != nullptr) {
        (*last)->next = entry;
    } else {
        *first = entry;
    }
    *last = entry;
    ++*count;
}

// A name copy; true when there was nothing to copy or the copy was made.
bool CopyName(ReadModel* model, const char* text, char** out) {
    if (text == nullptr) {
        return true;
    }
    *out = ReadModelCopyString(model, text);
    return *out != nullptr;
}

// The frames before a newly linked one keep their numbers; it and those
// after it take theirs from its predecessor, so appending costs one step.
void RenumberFramesFrom(ReadModelFrame* frame) {
    int32_t index = frame->prev != nullptr ? frame->prev->index + 1 : 0;
    for (ReadModelFrame* f = frame; f != nullptr; f = f->next) {
        f->index = index++;
    }
}

// Links the frame into the model-wide list directly after another, or first.
void LinkFrameAfter(ReadModel* model, ReadModelFrame* frame, ReadModelFrame* after) {
    frame->prev = after;
    frame->next = after == nullptr ? model->firstFrame : after->next;
    if (frame->next != nullptr) {
        frame->next->prev = frame;
    } else {
        model->lastFrame = frame;
    }
    if (after != nullptr) {
        after->next = frame;
    } else {
        model->firstFrame = frame;
    }
}

ReadModelFrame* LastDescendant(ReadModelFrame* frame) {
    while (frame->lastChild != nullptr) {
        frame = frame->lastChild;
    }
    return frame;
}

void SetFrameDefaults(ReadModelFrame* frame) {
    frame->flag = 1;
    MatIdentity(&frame->transform);
    frame->scale = Vec3{1.0f, 1.0f, 1.0f};
    frame->preRotation[3] = 1.0f;
    frame->smoothingAngle = kDefaultFrameSmoothing;
}

void SetMaterialDefaults(ReadModelMaterial* material) {
    for (int i = 0; i < 4; ++i) {
        material->diffuse[i] = 1.0f;
    }
    material->toonTextureIndex = -1;
    material->sphereTextureIndex = -1;
    material->words[0] = 2;
    material->words[1] = 1;
    material->words[2] = 0;
    material->tailWords[0] = 1;
    material->tailWords[1] = 255;
}

bool FileOpens(const char* path) {
    FileHandle file = FsOpen(path, 0, 1, 0);
    if (file == 0) {
        return false;
    }
    FsClose(file);
    return true;
}

// The file's path relative to the directory; when that does not open but the
// bare file name does, the bare name.
void ResolveTextureFile(const char* file, const char* directory, char* out) {
    char relative[kCurrentDirectoryBytes] = "";
    if (MakeRelativePath(file, directory, relative) != 0) {
        CopyTextN(relative, file, kCurrentDirectoryBytes - 1);
    }
    CopyText(out, relative);
    if (FileOpens(relative)) {
        return;
    }
    char bare[kCurrentDirectoryBytes] = "";
    SplitPath(relative, bare, nullptr);
    if (FileOpens(bare)) {
        CopyText(out, bare);
    }
}

// A given file matches only an equal text, an absent one only an absent one.
bool SameFile(const char* wanted, const char* held) {
    if (wanted == nullptr || held == nullptr) {
        return wanted == held;
    }
    return CompareText(wanted, held) == 0;
}

ReadModelTexture* FindTexture(ReadModel* model, const char* colour, const char* alpha) {
    for (ReadModelTexture* t = model->firstTexture; t != nullptr; t = t->next) {
        if (SameFile(colour, t->colourFile) && SameFile(alpha, t->alphaFile)) {
            return t;
        }
    }
    return nullptr;
}

using RotationBuilder = int (*)(Mat4*, float);

int MultiplyOnto(Mat4* out, const Mat4& m) {
    return MatMul(out, out, &m);
}

FileHandle OpenWidePath(const WCHAR* path) {
    char narrow[kFileNameBytes] = "";
    if (WideCharToMultiByte(LibraryCodePage(), 0, path, -1, narrow, kFileNameBytes, nullptr,
                            nullptr) <= 0) {
        return 0;
    }
    return FsOpen(narrow, 0, 1, 0);
}

}  // namespace

int32_t ReadModelKeyValueBytes(int kind) {
    switch (kind) {
        case 0:
        case 7:
            return 16;
        case 1:
            return 12;
        case 2:
            return 48;
        case 3:
            return 36;
        default:
            return 4;
    }
}

int ReadModelClear(ReadModel* model) {
    std::memset(model, 0, sizeof *model);
    return 0;
}

int ReadModelRelease(ReadModel* model) {
    FreeChainedBlocks(&model->blocks);
    FreeTracked(model->filePath);
    FreeTracked(model->baseName);
    model->filePath = nullptr;
    model->baseName = nullptr;
    return 0;
}

char* ReadModelCopyString(ReadModel* model, const char* text) {
    uint32_t bytes = static_cast<uint32_t>(std::strlen(text)) + 1;
    auto* copy = static_cast<char*>(AllocChainedBlock(bytes, &model->blocks));
    if (copy == nullptr) {
        return nullptr;
    }
    std::memcpy(copy, text, bytes);
    model->stringBytes += static_cast<int32_t>((bytes + 3) & ~3u);
    return copy;
}

ReadModelFrame* ReadModelNewFrame(ReadModel* model, const char* name, ReadModelFrame* parent) {
    auto* frame = NewEntry<ReadModelFrame>(model);
    if (frame == nullptr) {
        return nullptr;
    }
    ReadModelFrame* after = model->lastFrame;
    if (parent != nullptr) {
        after = LastDescendant(parent);
    }
    LinkFrameAfter(model, frame, after);
    if (parent != nullptr) {
        frame->parent = parent;
        frame->prevSibling = parent->lastChild;
        if (parent->lastChild != nullptr) {
            parent->lastChild->nextSibling = frame;
        } else {
            parent->firstChild = frame;
        }
        parent->lastChild = frame;
    }
    RenumberFramesFrom(frame);
    ++model->frameCount;
    SetFrameDefaults(frame);
    return CopyName(model, name, &frame->name) ? frame : nullptr;
}

ReadModelMesh* ReadModelNewMesh(ReadModel* model, ReadModelFrame* frame) {
    auto* mesh = NewEntry<ReadModelMesh>(model);
    if (mesh == nullptr) {
        return nullptr;
    }
    mesh->index = model->meshCount;
    Append(mesh, &model->meshCount, &model->firstMesh, &model->lastMesh);
    if (frame != nullptr) {
        mesh->frame = frame;
        mesh->prevInFrame = frame->lastMesh;
        if (frame->lastMesh != nullptr) {
            frame->lastMesh->nextInFrame = mesh;
        } else {
            frame->firstMesh = mesh;
        }
        frame->lastMesh = mesh;
        ++frame->meshCount;
    }
    return mesh;
}

ReadModelShape* ReadModelNewShape(ReadModel* model, const char* name, ReadModelFrame* frame) {
    auto* shape = NewEntry<ReadModelShape>(model);
    if (shape == nullptr || !CopyName(model, name, &shape->name)) {
        return nullptr;
    }
    shape->index = model->shapeCount;
    Append(shape, &model->shapeCount, &model->firstShape, &model->lastShape);
    if (frame != nullptr) {
        shape->frame = frame;
        shape->prevInFrame = frame->lastShape;
        if (frame->lastShape != nullptr) {
            frame->lastShape->nextInFrame = shape;
        } else {
            frame->firstShape = shape;
        }
        frame->lastShape = shape;
        ++frame->shapeCount;
    }
    return shape;
}

int ReadModelRemoveMesh(ReadModel* model, ReadModelFrame* frame, ReadModelMesh* mesh) {
    (mesh->prev != nullptr ? mesh->prev->next : model->firstMesh) = mesh->next;
    (mesh->next != nullptr ? mesh->next->prev : model->lastMesh) = mesh->prev;
    --model->meshCount;
    (mesh->prevInFrame != nullptr ? mesh->prevInFrame->nextInFrame : frame->firstMesh) =
        mesh->nextInFrame;
    (mesh->nextInFrame != nullptr ? mesh->nextInFrame->prevInFrame : frame->lastMesh) =
        mesh->prevInFrame;
    --frame->meshCount;
    mesh->prev = mesh->next = nullptr;
    mesh->prevInFrame = mesh->nextInFrame = nullptr;
    return 0;
}

ReadModelMaterial* ReadModelNewMaterial(ReadModel* model, const char* name) {
    auto* material = NewEntry<ReadModelMaterial>(model);
    if (material == nullptr) {
        return nullptr;
    }
    material->index = model->materialCount;
    Append(material, &model->materialCount, &model->firstMaterial, &model->lastMaterial);
    SetMaterialDefaults(material);
    return CopyName(model, name, &material->name) ? material : nullptr;
}

ReadModelMaterial* ReadModelNthMaterial(ReadModel* model, int n) {
    if (n >= model->materialCount) {
        return nullptr;
    }
    ReadModelMaterial* material = model->firstMaterial;
    for (int i = 0; i < n && material != nullptr; ++i) {
        material = material->next;
    }
    return material;
}

ReadModelTexture* ReadModelNewTexture(ReadModel* model, const char* name, const char* colourFile,
                                      const char* alphaFile, int conversionFlags,
                                      float conversionValue, int reuse, int reverseFlag) {
    char directory[kCurrentDirectoryBytes] = "";
    GetCurrentDirectoryA(kCurrentDirectoryBytes, directory);
    char colour[kCurrentDirectoryBytes] = "";
    char alpha[kCurrentDirectoryBytes] = "";
    if (colourFile != nullptr) {
        ResolveTextureFile(colourFile, directory, colour);
    }
    if (alphaFile != nullptr) {
        ResolveTextureFile(alphaFile, directory, alpha);
    }
    const char* colourText = colourFile != nullptr ? colour : nullptr;
    const char* alphaText = alphaFile != nullptr ? alpha : nullptr;
    if (reuse != 0) {
        if (ReadModelTexture* found = FindTexture(model, colourText, alphaText)) {
            return found;
        }
    }
    auto* texture = NewEntry<ReadModelTexture>(model);
    if (texture == nullptr) {
        return nullptr;
    }
    texture->index = model->textureCount;
    Append(texture, &model->textureCount, &model->firstTexture, &model->lastTexture);
    texture->addressU = 1;
    texture->addressV = 1;
    texture->filterMode = 2;
    texture->conversionFlags = conversionFlags;
    texture->conversionValue = conversionValue;
    texture->reverseFlag = reverseFlag != 0 ? 1 : 0;
    bool copied = CopyName(model, name, &texture->name) &&
                  CopyName(model, colourText, &texture->colourFile) &&
                  CopyName(model, alphaText, &texture->alphaFile);
    return copied ? texture : nullptr;
}

ReadModelSkinWeight* ReadModelNewSkinWeight(ReadModel* model) {
    auto* weight = NewEntry<ReadModelSkinWeight>(model);
    if (weight != nullptr) {
        ++model->skinWeightCount;
    }
    return weight;
}

void* ReadModelChainArray(ReadModel* model, int64_t count, size_t itemBytes) {
    const int64_t items = count > 0 ? count : 1;
    if (itemBytes == 0 || items > static_cast<int64_t>(UINT32_MAX / itemBytes)) {
        return nullptr;
    }
    return AllocChainedBlock(static_cast<uint32_t>(items * static_cast<int64_t>(itemBytes)),
                             &model->blocks);
}

ReadModelCorner* ReadModelNewCorners(ReadModel* model, int64_t count) {
    return static_cast<ReadModelCorner*>(
        ReadModelChainArray(model, count, sizeof(ReadModelCorner)));
}

ReadModelAnimSet* ReadModelNewAnimSet(ReadModel* model, const char* name) {
    auto* set = NewEntry<ReadModelAnimSet>(model);
    if (set == nullptr) {
        return nullptr;
    }
    set->index = model->animSetCount;
    Append(set, &model->animSetCount, &model->firstAnimSet, &model->lastAnimSet);
    return CopyName(model, name, &set->name) ? set : nullptr;
}

ReadModelAnim* ReadModelNewAnim(ReadModel* model, ReadModelAnimSet* animSet) {
    auto* anim = NewEntry<ReadModelAnim>(model);
    if (anim == nullptr) {
        return nullptr;
    }
    anim->index = model->animCount;
    Append(anim, &model->animCount, &model->firstAnim, &model->lastAnim);
    anim->animSet = animSet;
    anim->prevInSet = animSet->lastAnim;
    if (animSet->lastAnim != nullptr) {
        animSet->lastAnim->nextInSet = anim;
    } else {
        animSet->firstAnim = anim;
    }
    animSet->lastAnim = anim;
    ++animSet->animCount;
    return anim;
}

ReadModelKeySet* ReadModelNewKeySet(ReadModel* model, ReadModelAnim* anim) {
    auto* keys = NewEntry<ReadModelKeySet>(model);
    if (keys == nullptr) {
        return nullptr;
    }
    keys->index = model->keySetCount;
    Append(keys, &model->keySetCount, &model->firstKeySet, &model->lastKeySet);
    keys->hasTimeTable = 1;
    keys->prevInAnim = anim->lastKeySet;
    if (anim->lastKeySet != nullptr) {
        anim->lastKeySet->nextInAnim = keys;
    } else {
        anim->firstKeySet = keys;
    }
    anim->lastKeySet = keys;
    ++anim->keySetCount;
    return keys;
}

int ComposeFrameMatrix(const Vec3* rotation, const Vec3* scale, const Vec3* translation,
                       const float* preRotation, Mat4* out, int rotationOrder) {
    // The axes of each order, first applied first: 0 X, 1 Y, 2 Z.
    static const int kAxes[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0},
                                    {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};
    static const RotationBuilder kBuilders[3] = {MatRotX, MatRotY, MatRotZ};
    MatScale(out, scale->x, scale->y, scale->z);
    if (rotationOrder < 0 || rotationOrder > 5) {
        return -1;
    }
    const float angles[3] = {rotation->x, rotation->y, rotation->z};
    for (int axis : kAxes[rotationOrder]) {
        Mat4 turn;
        kBuilders[axis](&turn, angles[axis]);
        MultiplyOnto(out, turn);
    }
    if (preRotation != nullptr) {
        Mat4 pre;
        MatFromEulerXYZ(&pre, preRotation[0], preRotation[1], preRotation[2]);
        MultiplyOnto(out, pre);
    }
    Mat4 move;
    MatTranslate(&move, translation->x, translation->y, translation->z);
    MultiplyOnto(out, move);
    return 0;
}

int ReadModelFileWhole(const WCHAR* path, void** outImage, int* outSize) {
    FileHandle file = OpenWidePath(path);
    if (file == 0) {
        WCHAR name[kFileNameBytes] = {};
        SplitPathW(path, name, nullptr);
        file = OpenWidePath(name);
    }
    if (file == 0) {
        return -1;
    }
    FsSeek(file, 0, 2);
    int32_t size = FsTell(file);
    FsSeek(file, 0, 0);
    void* image = size < 0 ? nullptr : AllocTracked(static_cast<uint32_t>(size), "", 0);
    if (image == nullptr) {
        FsClose(file);
        return -1;
    }
    if (size > 0 && FsRead(image, static_cast<uint32_t>(size), 1, file) != 1) {
        FreeTracked(image);
        FsClose(file);
        return -1;
    }
    FsClose(file);
    if (outImage != nullptr) {
        *outImage = image;
    } else {
        FreeTracked(image);
    }
    if (outSize != nullptr) {
        *outSize = size;
    }
    return 0;
}

}  // namespace tessel
