// The model system's life: start and end, the release of a base with all it
// owns, the deletion of a model, and the device-reset hooks.
#include "models/core/model_system.h"

#include "foundation/memory/memory.h"
#include "graphics/device/device_state.h"
#include "graphics/images/image_records.h"
#include "models/buffers/model_buffers.h"
#include "models/instances/model_instances.h"

namespace tessel {

ModelSystemState g_models = {0, 0.0f, -1, -1, -1, 0, 0, nullptr, {}, {}};

namespace {

constexpr float kDefaultSmoothingAngle = 1.5620697f;

void FreeTrackedAndClear(void** block) {
    FreeTracked(*block);
    *block = nullptr;
}

template <typename T>
void FreeOwned(T** block, int32_t* owned) {
    if (*owned != 0) {
        FreeTracked(*block);
        *owned = 0;
    }
    *block = nullptr;
}

void ReleaseTextureFiles(ModelTexture* texture) {
    FreeOwned(&texture->name, &texture->nameOwned);
    if (texture->imageHandle != -1) {
        ReleaseImageHandle(texture->imageHandle);
        texture->imageHandle = -1;
    }
    FreeOwned(&texture->alphaFile, &texture->alphaFileOwned);
    FreeOwned(&texture->colourFile, &texture->colourFileOwned);
    FreeTrackedAndClear(&texture->alphaImage);
    FreeTrackedAndClear(&texture->colourImage);
}

void FreeExtraBlocks(ModelBase* base) {
    void* block = base->extraBlocks;
    while (block != nullptr) {
        void* next = static_cast<void**>(block)[1];
        FreeTracked(block);
        block = next;
    }
    base->extraBlocks = nullptr;
}

enum class SlotFound { kNone, kReservedNowFree, kRecord };

// The slot a handle of `kind` names, its number in the bits `slotMask`
// keeps. A slot only reserved, its record never made, is freed on the spot.
SlotFound FindSlotToRelease(ModelSlotTable& table, int handle, int32_t kind, int32_t slotMask,
                            int32_t* slot) {
    if (g_models.initialised == 0 || (handle & kModelKindMask) != kind) {
        return SlotFound::kNone;
    }
    *slot = handle & slotMask;
    if (*slot >= table.capacity || table.slots[*slot] == 0) {
        return SlotFound::kNone;
    }
    if (table.slots[*slot] == kModelSlotReserved) {
        table.slots[*slot] = 0;
        --table.count;
        return SlotFound::kReservedNowFree;
    }
    return SlotFound::kRecord;
}

// Everything a base owns, then the base block itself.
void FreeBase(ModelBase* base) {
    ReleaseModelBaseBuffers(base->handle);
    FreeTrackedAndClear(&base->vertexBlock.block);
    base->vertexBlock = {};
    for (int32_t i = 0; i < base->textureCount; ++i) {
        ReleaseTextureFiles(&base->textures[i]);
    }
    if (base->texturesSeparate != 0) {
        FreeTracked(base->textures);
        base->textures = nullptr;
    }
    for (int32_t i = 0; i < base->shapeMeshCount; ++i) {
        ModelShapeMesh& shapeMesh = base->shapeMeshes[i];
        FreeOwned(&shapeMesh.data, &shapeMesh.dataOwned);
    }
    for (int32_t i = 0; i < base->frameCount; ++i) {
        ModelFrame& frame = base->frames[i];
        FreeOwned(&frame.normals, &frame.normalsOwned);
    }
    for (int32_t i = 0; i < base->meshCount; ++i) {
        ModelMesh& mesh = base->meshes[i];
        FreeOwned(&mesh.vertices, &mesh.verticesOwned);
    }
    for (int32_t i = 0; i < base->triangleListCount; ++i) {
        ModelTriangleList& list = base->triangleLists[i];
        FreeOwned(&list.meshVertexIndices, &list.meshVertexIndicesOwned);
        if (list.gatheredOwned != 0) {
            FreeTracked(list.positions);
            FreeTracked(list.normals);
            list.gatheredOwned = 0;
        }
        list.positions = nullptr;
        list.normals = nullptr;
        FreeOwned(&list.vertices, &list.verticesOwned);
        FreeTracked(list.copyVertices);
        list.copyVertices = nullptr;
        FreeTracked(list.outlineVertices);
        list.outlineVertices = nullptr;
    }
    FreeExtraBlocks(base);
    FreeTracked(base);
}

void ReleaseOwnTexture(ModelInstanceTexture* texture) {
    if (texture->modelOwn == 0) {
        return;
    }
    FreeTrackedAndClear(&texture->ownColourImage);
    FreeTrackedAndClear(&texture->ownAlphaImage);
    FreeTracked(texture->ownColourFile);
    FreeTracked(texture->ownAlphaFile);
    texture->ownColourFile = nullptr;
    texture->ownAlphaFile = nullptr;
    if (texture->imageHandle != -1) {
        ReleaseImageHandle(texture->imageHandle);
    }
    texture->imageHandle = -1;
    texture->modelOwn = 0;
}

void UnlinkFromBase(ModelInstance* record) {
    ModelBase* base = record->base;
    if (record->nextNewer != nullptr) {
        record->nextNewer->nextOlder = record->nextOlder;
    } else {
        base->newestInstance = record->nextOlder;
    }
    if (record->nextOlder != nullptr) {
        record->nextOlder->nextNewer = record->nextNewer;
    } else {
        base->oldestInstance = record->nextNewer;
    }
    record->nextOlder = nullptr;
    record->nextNewer = nullptr;
    --base->instanceCount;
}

void ReleaseDetachedParts(int modelHandle, ModelInstance* record) {
    for (int32_t i = 0; i < record->attachSlotCapacity; ++i) {
        DetachModelAnim(modelHandle, i);
    }
    ReleaseModelBuffers(modelHandle);
    FreeTracked(record->attachSlots);
    record->attachSlots = nullptr;
    FreeTracked(record->attachTable);
    record->attachTable = nullptr;
    int32_t frameCount = record->base->frameCount;
    for (int32_t frame = -1; frame < frameCount; ++frame) {
        FreeModelWorkBuffer(modelHandle, frame, 0);
        FreeModelWorkBuffer(modelHandle, frame, 1);
    }
    for (int32_t frame = -1; frame < frameCount; ++frame) {
        FreeModelFrameBlock(modelHandle, frame);
    }
}

void FreeTable(ModelSlotTable* table) {
    FreeTracked(table->slots);
    *table = {};
}

}  // namespace

int InitModelSystem() {
    if (g_models.initialised != 0 || g_graphics.hardwareInUse == 0) {
        return 0;
    }
    FillSineTable();
    g_models.defaultSmoothingAngle = kDefaultSmoothingAngle;
    g_models.bases = {};
    g_models.models = {};
    g_models.whiteTexture = -1;
    g_models.rampTexture = -1;
    g_models.greyRampTexture = -1;
    g_models.initialised = 1;
    return 0;
}

int EndModelSystem() {
    if (g_models.initialised == 0) {
        return 0;
    }
    for (int32_t slot = 0; slot < g_models.models.capacity; ++slot) {
        uintptr_t word = g_models.models.slots[slot];
        if (word == 0) {
            continue;
        }
        const auto* record =
            word == kModelSlotReserved ? nullptr : reinterpret_cast<const ModelInstance*>(word);
        DeleteModelInstance(ModelHandleOfSlot(slot, record));
    }
    for (int32_t slot = 0; slot < g_models.bases.capacity; ++slot) {
        if (g_models.bases.slots[slot] != 0) {
            ReleaseModelBase(slot | kModelBaseHandleKind);
        }
    }
    FreeTable(&g_models.models);
    FreeTable(&g_models.bases);
    if (g_models.spare != nullptr) {
        FreeTrackedAndClear(&g_models.spare);
    }
    g_models.spareCount = 0;
    g_models.spareCapacity = 0;
    g_models.whiteTexture = -1;
    g_models.rampTexture = -1;
    g_models.greyRampTexture = -1;
    g_models.initialised = 0;
    return 0;
}

int ReleaseModelBase(int baseHandle) {
    ModelSlotTable& table = g_models.bases;
    int32_t slot = 0;
    SlotFound found = FindSlotToRelease(table, baseHandle, kModelBaseHandleKind, 0x1FFFF, &slot);
    if (found != SlotFound::kRecord) {
        return found == SlotFound::kNone ? -1 : 0;
    }
    auto* base = reinterpret_cast<ModelBase*>(table.slots[slot]);
    --base->referenceCount;
    if (base->referenceCount > 0) {
        return 0;
    }
    FreeBase(base);
    table.slots[slot] = 0;
    --table.count;
    return 0;
}

int DeleteModelInstance(int modelHandle) {
    ModelSlotTable& table = g_models.models;
    int32_t slot = 0;
    SlotFound found = FindSlotToRelease(table, modelHandle, kModelHandleKind, 0xFFFF, &slot);
    if (found != SlotFound::kRecord) {
        return found == SlotFound::kNone ? -1 : 0;
    }
    ModelInstance* record = GetModelInstance(modelHandle);
    if (record == nullptr) {
        return -1;
    }
    ReleaseDetachedParts(modelHandle, record);
    for (int32_t i = 0; i < record->base->textureCount; ++i) {
        ReleaseOwnTexture(&record->textures[i]);
    }
    if (record->texturesSeparate != 0) {
        FreeTracked(record->textures);
        record->textures = nullptr;
    }
    UnlinkFromBase(record);
    int32_t baseHandle = record->baseHandle;
    ReleaseModelBase(baseHandle);
    FreeTracked(record);
    table.slots[slot] = 0;
    --table.count;
    return 0;
}

int ReleaseAllModelBuffers() {
    if (g_models.initialised == 0) {
        return 0;
    }
    for (int32_t slot = 0; slot < g_models.bases.capacity; ++slot) {
        if (g_models.bases.slots[slot] > kModelSlotReserved) {
            ReleaseModelBaseBuffers(slot | kModelBaseHandleKind);
        }
    }
    for (int32_t slot = 0; slot < g_models.models.capacity; ++slot) {
        uintptr_t word = g_models.models.slots[slot];
        if (word > kModelSlotReserved) {
            auto* record = reinterpret_cast<const ModelInstance*>(word);
            ReleaseModelBuffers(ModelHandleOfSlot(slot, record));
        }
    }
    return 0;
}

int RebuildAllModelBuffers() {
    if (g_models.initialised == 0) {
        return 0;
    }
    for (int32_t slot = 0; slot < g_models.bases.capacity; ++slot) {
        if (g_models.bases.slots[slot] > kModelSlotReserved) {
            BuildModelBaseBuffers(slot | kModelBaseHandleKind, 1);
        }
    }
    return 0;
}

}  // namespace tessel
