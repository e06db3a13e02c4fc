// Making a model from a base: the size of the one block that holds the
// record and every per-model array, its layout, and the filling of textures,
// materials, triangle lists, meshes and frames from the base.
//
// Layout of the block: record | frames | root list and child lists |
// triangle lists | meshes | materials | textures | draw-change bits |
// changeBits | (16) bone matrices | frame skin-bone pointers | shape weights |
// (16) shape entries | (16) rigid | (16) 4-bone | (16) 8-bone copies | raw.
#include <cstring>

#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "models/anim/model_animation.h"
#include "models/buffers/model_buffers.h"
#include "models/core/model_system.h"
#include "models/drawing/model_drawing.h"
#include "models/instances/model_instances.h"
#include "models/util/mesh_utilities.h"

namespace tessel {

namespace {

constexpr int32_t kBaseSlotLimit = 0x100000;

uint64_t Align16(uint64_t at) {
    return (at + 15) & ~uint64_t{15};
}

struct InstanceLayout {
    uint64_t frames, childLists, lists, meshes, materials, textures;
    uint64_t drawBits, changeBits, boneMatrices, skinRefs, shapeWeights;
    uint64_t shapeEntries, copies[4], size;
    int32_t drawBitWords, changeBitWords;
};

InstanceLayout LayOut(const ModelBase* base) {
    InstanceLayout l = {};
    uint64_t at = Align16(sizeof(ModelInstance));
    auto take = [&at](uint64_t bytes) {
        uint64_t start = at;
        at += bytes;
        return start;
    };
    auto n = [](int32_t count) { return static_cast<uint64_t>(count > 0 ? count : 0); };
    l.drawBitWords = (base->frameCount + base->meshCount + 32) / 32;
    l.changeBitWords = (base->frameCount + 32) / 32;
    l.frames = take(n(base->frameCount) * sizeof(ModelInstanceFrame));
    l.childLists = take(n(base->frameCount) * sizeof(ModelInstanceFrame*));
    l.lists = take(n(base->triangleListCount) * sizeof(ModelInstanceTriangleList));
    l.meshes = take(n(base->meshCount) * sizeof(ModelInstanceMesh));
    l.materials = take(n(base->materialCount) * sizeof(ModelInstanceMaterial));
    l.textures = take(n(base->textureCount) * sizeof(ModelInstanceTexture));
    l.drawBits = take(n(l.drawBitWords) * 4);
    l.changeBits = take(n(l.changeBitWords) * 4);
    at = Align16(at);
    l.boneMatrices = take(n(base->skinBoneCount) * sizeof(Mat3x4));
    l.skinRefs = take(n(base->frameSkinBoneRefCount) * sizeof(Mat3x4*));
    l.shapeWeights = take(n(base->shapeCount) * sizeof(ModelShapeWeight));
    at = Align16(at);
    l.shapeEntries = take(n(base->shapeEntryBytes));
    for (int kind = 0; kind < 4; ++kind) {
        if (kind < 3) {
            at = Align16(at);
        }
        l.copies[kind] = take(n(base->shapeVertexBytes[kind]));
    }
    l.size = at;
    return l;
}

bool DescriptorFits(const FrameChangeDescriptor& d, int32_t words) {
    const int32_t run = d.maskWords != nullptr ? d.runWords : 1;
    return d.wordIndex >= 0 && run >= 0 && d.wordIndex + run <= words;
}

// Change bits named by the base's frames and meshes must lie inside the
// model's bit arrays, or marking a frame would write past them.
bool ChangeBitsFit(const ModelBase* base, const InstanceLayout& l) {
    for (int32_t i = 0; i < base->frameCount; ++i) {
        const ModelFrame& frame = base->frames[i];
        if (!DescriptorFits(frame.change, l.changeBitWords) ||
            !DescriptorFits(frame.drawChange, l.drawBitWords)) {
            return false;
        }
    }
    for (int32_t i = 0; i < base->meshCount; ++i) {
        if (!DescriptorFits(base->meshes[i].drawChange, l.drawBitWords)) {
            return false;
        }
    }
    return true;
}

template <typename T>
T* At(uint8_t* block, uint64_t offset) {
    return reinterpret_cast<T*>(block + offset);
}

void InitDrawSettings(ModelDrawSettings* draw, uint8_t visible) {
    draw->visible = visible;
    draw->hasFactors = 0;
    for (float& factor : draw->colourFactors) {
        factor = 1.0f;
    }
    draw->opacity = 1.0f;
}

void PlaceArrays(ModelInstance* record, uint8_t* block, const InstanceLayout& l) {
    record->frames = At<ModelInstanceFrame>(block, l.frames);
    record->roots = At<ModelInstanceFrame*>(block, l.childLists);
    record->triangleLists = At<ModelInstanceTriangleList>(block, l.lists);
    record->meshes = At<ModelInstanceMesh>(block, l.meshes);
    record->materials = At<ModelInstanceMaterial>(block, l.materials);
    record->textures = At<ModelInstanceTexture>(block, l.textures);
    record->drawChangeBits = At<uint32_t>(block, l.drawBits);
    record->changeBits = At<uint32_t>(block, l.changeBits);
    record->boneMatrices = At<Mat3x4>(block, l.boneMatrices);
    record->frameSkinBoneRefs = At<Mat3x4*>(block, l.skinRefs);
    record->shapeWeights = At<ModelShapeWeight>(block, l.shapeWeights);
    record->shapeEntries = At<float>(block, l.shapeEntries);
    for (int kind = 0; kind < 4; ++kind) {
        record->shapeVertexCopies[kind] = block + l.copies[kind];
    }
}

void InitModelState(ModelInstance* record, int baseHandle, ModelBase* base,
                    const InstanceLayout& l) {
    record->scale = Vec3{1.0f, 1.0f, 1.0f};
    record->shapesChanged = 1;
    record->animationsEvaluated = 1;
    InitDrawSettings(&record->draw, 1);
    record->baseHandle = baseHandle;
    record->base = base;
    record->drawChangeBytes = l.drawBitWords * 4;
    record->changeBytes = l.changeBitWords * 4;
    record->animWordFour = 4;
    record->animWordZero = 0;
    record->animWordTwo = 2;
    record->animByte = 0;
    record->animWordsOne[0] = 1;
    record->animWordsOne[1] = 1;
    std::memset(record->drawChangeBits, 0xFF, static_cast<size_t>(record->drawChangeBytes));
    std::memset(record->changeBits, 0xFF, static_cast<size_t>(record->changeBytes));
    for (int r = 0; r < 3; ++r) {
        record->placement.m[r][r] = 1.0f;
    }
}

void FillTextures(ModelInstance* record, ModelBase* base) {
    for (int32_t i = 0; i < base->textureCount; ++i) {
        ModelTexture& from = base->textures[i];
        ModelInstanceTexture& to = record->textures[i];
        to.base = &from;
        to.colourFile = from.colourFile;
        to.alphaFile = from.alphaFile;
        to.conversionFlags = from.conversionFlags;
        to.conversionValue = from.conversionValue;
        to.imageHandle = -1;
        to.words20To21[0] = from.words20To23[0];
        to.words20To21[1] = from.words20To23[1];
        to.word24 = from.word24;
        to.addressU = from.addressU;
        to.addressV = from.addressV;
        to.filterMode = from.filterMode;
    }
}

int32_t LayerCount(int32_t count) {
    return count < 0 ? 0 : (count > kModelMaterialLayers ? kModelMaterialLayers : count);
}

void FillMaterials(ModelInstance* record, ModelBase* base) {
    for (int32_t i = 0; i < base->materialCount; ++i) {
        ModelMaterial& from = base->materials[i];
        ModelInstanceMaterial& to = record->materials[i];
        to.base = &from;
        std::memcpy(to.diffuse, from.diffuse, sizeof to.diffuse);
        std::memcpy(to.ambient, from.ambient, sizeof to.ambient);
        std::memcpy(to.specular, from.specular, sizeof to.specular);
        std::memcpy(to.emissive, from.emissive, sizeof to.emissive);
        to.power = from.power;
        to.diffuseLayerCount = from.diffuseLayerCount;
        std::memcpy(to.diffuseLayers, from.diffuseLayers,
                    sizeof(ModelMaterialLayer) * LayerCount(from.diffuseLayerCount));
        to.specularLayerCount = from.specularLayerCount;
        std::memcpy(to.specularLayers, from.specularLayers,
                    sizeof(ModelMaterialLayer) * LayerCount(from.specularLayerCount));
        to.toonTextures[0] = from.toonDiffuseTexture;
        to.toonTextures[1] = from.toonSpecularTexture;
        to.toonSelectors[0] = from.toonSelectors[0];
        to.toonSelectors[1] = from.toonSelectors[1];
        to.toonWords[0] = static_cast<float>(from.toonWords[0]);
        to.toonWords[1] = static_cast<float>(from.toonWords[1]);
        std::memcpy(to.outlineColour, from.outlineColour, sizeof to.outlineColour);
        std::memcpy(to.words, from.words, sizeof to.words);
    }
}

void FillLists(ModelInstance* record, ModelBase* base) {
    for (int32_t i = 0; i < base->triangleListCount; ++i) {
        ModelTriangleList& from = base->triangleLists[i];
        ModelInstanceTriangleList& to = record->triangleLists[i];
        to.mesh = from.mesh != nullptr ? &record->meshes[from.mesh - base->meshes] : nullptr;
        to.base = &from;
        to.deviceBuffer = nullptr;
        to.deviceWord = 0;
    }
}

// Running positions in the model's shape-vertex areas while meshes are laid.
struct ShapeCursor {
    uint64_t entries;
    uint64_t copies[4];
};

// The model's own source vertices of a shape-deformed list, a copy of the
// base's; null when the base's stated sizes leave no room for them.
void GiveListItsCopy(ModelInstance* record, ModelInstanceTriangleList* list, ShapeCursor* cursor) {
    const ModelTriangleList* base = list->base;
    const int kind = base->vertexType < 3 ? base->vertexType : 3;
    const uint64_t bytes =
        static_cast<uint64_t>(SourceVertexBytes(base)) * static_cast<uint64_t>(base->vertexCount);
    const int32_t room = record->base->shapeVertexBytes[kind];
    if (cursor->copies[kind] + bytes > static_cast<uint64_t>(room > 0 ? room : 0)) {
        list->vertices = nullptr;
        return;
    }
    list->vertices = static_cast<uint8_t*>(record->shapeVertexCopies[kind]) + cursor->copies[kind];
    cursor->copies[kind] += bytes;
    if (base->vertices != nullptr) {
        std::memcpy(list->vertices, base->vertices, static_cast<size_t>(bytes));
    }
}

void FillMeshes(ModelInstance* record, ModelBase* base) {
    ShapeCursor cursor = {};
    const uint64_t entryRoom =
        static_cast<uint64_t>(base->shapeEntryBytes > 0 ? base->shapeEntryBytes : 0);
    for (int32_t i = 0; i < base->meshCount; ++i) {
        ModelMesh& from = base->meshes[i];
        ModelInstanceMesh& to = record->meshes[i];
        to.frame = &record->frames[from.frame - base->frames];
        to.base = &from;
        to.material = from.material != nullptr ? &record->materials[from.material - base->materials]
                                               : nullptr;
        to.drawChange = &from.drawChange;
        to.drawBitWord = &record->drawChangeBits[from.drawChange.wordIndex];
        InitDrawSettings(&to.draw, from.initiallyVisible);
        to.effective = to.draw;
        to.words[0] = -1;
        to.words[1] = -1;
        to.byte = 0;
        to.triangleLists = from.triangleListCount > 0
                               ? &record->triangleLists[from.triangleLists - base->triangleLists]
                               : nullptr;
        if (from.triangleListCount <= 0 || from.hasShape == 0) {
            continue;
        }
        const uint64_t bytes =
            24 * static_cast<uint64_t>(from.vertexCount > 0 ? from.vertexCount : 0);
        if (cursor.entries + bytes <= entryRoom) {
            to.shapeVertices = record->shapeEntries + cursor.entries / 4;
            cursor.entries += bytes;
        }
        for (int32_t n = 0; n < from.triangleListCount; ++n) {
            GiveListItsCopy(record, &to.triangleLists[n], &cursor);
        }
    }
}

ModelInstanceFrame* ModelFrameOf(ModelInstance* record, const ModelFrame* frame) {
    return frame != nullptr ? &record->frames[frame - record->base->frames] : nullptr;
}

void FillFrames(ModelInstance* record, int modelHandle, ModelBase* base) {
    for (int32_t i = 0; i < base->frameCount; ++i) {
        ModelFrame& from = base->frames[i];
        ModelInstanceFrame& to = record->frames[i];
        to.tag = kModelFrameTag;
        to.modelHandle = modelHandle;
        to.model = record;
        to.base = &from;
        to.parent = ModelFrameOf(record, from.parent);
        to.firstChild = ModelFrameOf(record, from.firstChild);
        to.nextSibling = ModelFrameOf(record, from.nextSibling);
        to.prevSibling = ModelFrameOf(record, from.prevSibling);
        to.childCount = 0;
        MatIdentity(&to.matrix);
        for (int r = 0; r < 3; ++r) {
            to.world.m[r][r] = 1.0f;
        }
        to.change = &from.change;
        to.changeBitWord = &record->changeBits[from.change.wordIndex];
        to.drawChange = &from.drawChange;
        to.drawBitWord = &record->drawChangeBits[from.drawChange.wordIndex];
        InitDrawSettings(&to.draw, static_cast<uint8_t>(from.flags & 1u));
        to.effective = to.draw;
        to.firstMesh = from.meshCount > 0 ? &record->meshes[from.meshes - base->meshes] : nullptr;
        to.indexInParent = to.parent != nullptr ? to.parent->childCount++ : record->rootCount++;
        to.skinBoneRefs = record->frameSkinBoneRefs + from.firstSkinBoneRef;
        for (int32_t k = 0; k < from.skinBoneRefCount; ++k) {
            const ModelSkinBone* bone = base->frameSkinBoneRefs[from.firstSkinBoneRef + k];
            to.skinBoneRefs[k] = &record->boneMatrices[bone - base->skinBones];
        }
        if (from.shapeCount > 0) {
            const int32_t first = static_cast<int32_t>(from.firstShape - base->shapes);
            to.shapeWeights = &record->shapeWeights[first];
            for (int32_t k = 0; k < from.shapeCount; ++k) {
                to.shapeWeights[k] = ModelShapeWeight{first + k, 0.0f};
            }
            to.hasShapes = 1;
        }
    }
}

// The root list first, then each parent's list of its children in frame
// order, every child at its index.
void FillChildLists(ModelInstance* record, ModelBase* base) {
    ModelInstanceFrame** next = record->roots + record->rootCount;
    for (int32_t i = 0; i < base->frameCount; ++i) {
        ModelInstanceFrame& frame = record->frames[i];
        if (frame.childCount > 0) {
            frame.children = next;
            next += frame.childCount;
        }
    }
    for (int32_t i = 0; i < base->frameCount; ++i) {
        ModelInstanceFrame& frame = record->frames[i];
        ModelInstanceFrame** list =
            frame.parent != nullptr ? frame.parent->children : record->roots;
        list[frame.indexInParent] = &frame;
    }
}

}  // namespace

int CreateModelFromBase(int modelHandle, int baseHandle) {
    ModelBase* base = GetModelBase(baseHandle);
    if (g_models.initialised == 0 || base == nullptr || (baseHandle & 0x1FFFF) >= kBaseSlotLimit) {
        return -1;
    }
    const int32_t slot = modelHandle & 0xFFFF;
    if ((modelHandle & kModelKindMask) != kModelHandleKind || slot >= g_models.models.capacity ||
        g_models.models.slots[slot] != kModelSlotReserved) {
        return -1;
    }
    const InstanceLayout layout = LayOut(base);
    if (!ChangeBitsFit(base, layout)) {
        WriteLogFormat("Model create error : the base's change bits reach past its bit arrays");
        return -1;
    }
    if (layout.size > UINT32_MAX) {
        WriteLogFormat("Model create error : a model of %llu bytes is too large",
                       static_cast<unsigned long long>(layout.size));
        return -1;
    }
    auto* block = static_cast<uint8_t*>(
        AllocTrackedZeroed(static_cast<uint32_t>(layout.size), "create_model", __LINE__));
    if (block == nullptr) {
        WriteLogFormat("Model create error : out of memory for a model of %llu bytes",
                       static_cast<unsigned long long>(layout.size));
        return -1;
    }
    auto* record = reinterpret_cast<ModelInstance*>(block);
    PlaceArrays(record, block, layout);
    record->base = base;
    record->baseHandle = baseHandle;
    if (AttachModelRecord(modelHandle, record) != 0) {
        FreeTracked(block);
        return -1;
    }
    // The handle names the record from here on: its check is the one stored.
    const int handle = ModelHandleOfSlot(slot, record);
    InitModelState(record, baseHandle, base, layout);
    FillTextures(record, base);
    FillMaterials(record, base);
    FillLists(record, base);
    FillMeshes(record, base);
    FillFrames(record, handle, base);
    FillChildLists(record, base);
    ++base->referenceCount;
    MeasureModelBounds(handle, nullptr, nullptr);
    BuildModelInstanceBuffers(handle);
    return 0;
}

}  // namespace tessel
