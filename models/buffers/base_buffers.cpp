// Building and releasing a base's shared buffer blocks. Building runs in
// three passes: group the lists into blocks by kind (a block full past its
// limits starts the next one), create and lock the device buffers, fill them;
// a failure on the way releases every block.
#include <cstring>

#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "models/buffers/model_buffers.h"
#include "models/core/model_system.h"

namespace tessel {

namespace {

bool DeviceInUse() {
    return g_graphics.hardwareInUse != 0 && g_graphics.device != nullptr;
}

void ClearTables(ModelBase* base) {
    for (int kind = 0; kind < kModelBufferKinds; ++kind) {
        base->kindBlockCount[kind] = 0;
        base->kindFirstBlock[kind] = nullptr;
        base->kindLastBlock[kind] = nullptr;
    }
    base->bufferBlockCount = 0;
}

void ClearListPlaces(ModelBase* base) {
    for (int32_t i = 0; i < base->triangleListCount; ++i) {
        ModelTriangleList& list = base->triangleLists[i];
        list.bufferBlock = nullptr;
        list.firstVertex = 0;
        list.firstIndex = 0;
    }
}

// Unlocks and releases a block's buffers and frees the record.
void FreeBlock(ModelBufferBlock* block) {
    if (block->vertexBuffer != nullptr) {
        if (block->lockedVertices != nullptr) {
            block->vertexBuffer->Unlock();
        }
        block->vertexBuffer->Release();
    }
    if (block->indexBuffer != nullptr) {
        if (block->lockedIndices != nullptr) {
            block->indexBuffer->Unlock();
        }
        block->indexBuffer->Release();
    }
    FreeTracked(block);
}

void FreeAllBlocks(ModelBase* base) {
    for (int kind = 0; kind < kModelBufferKinds; ++kind) {
        ModelBufferBlock* block = base->kindFirstBlock[kind];
        while (block != nullptr) {
            ModelBufferBlock* next = block->next;
            FreeBlock(block);
            block = next;
        }
    }
    ClearTables(base);
    ClearListPlaces(base);
}

// A new empty block chained behind the kind's last one; null when memory ran
// out.
ModelBufferBlock* AppendBlock(ModelBase* base, int kind) {
    auto* block = static_cast<ModelBufferBlock*>(
        AllocTrackedZeroed(sizeof(ModelBufferBlock), "model_buffers", __LINE__));
    if (block == nullptr) {
        return nullptr;
    }
    block->prev = base->kindLastBlock[kind];
    if (block->prev != nullptr) {
        block->prev->next = block;
    } else {
        base->kindFirstBlock[kind] = block;
    }
    base->kindLastBlock[kind] = block;
    ++base->kindBlockCount[kind];
    ++base->bufferBlockCount;
    return block;
}

void PutListInBlock(ModelTriangleList* list, ModelBufferBlock* block) {
    list->bufferBlock = block;
    list->firstVertex = block->vertexCount;
    list->firstIndex = block->indexCount;
    block->vertexCount += list->vertexCount;
    block->indexCount += list->indexCount + list->filteredIndexCount;
}

void TakeListOut(ModelTriangleList* list, ModelBufferBlock* block) {
    block->vertexCount -= list->vertexCount;
    block->indexCount -= list->indexCount + list->filteredIndexCount;
    list->bufferBlock = nullptr;
    list->firstVertex = 0;
    list->firstIndex = 0;
}

bool GroupLists(ModelBase* base) {
    for (int32_t i = 0; i < base->triangleListCount; ++i) {
        ModelTriangleList* list = &base->triangleLists[i];
        const int kind = ModelBufferKind(list);
        // A list without vertices or indices draws nothing and would only
        // ask the device for an empty buffer.
        if (kind < 0 || list->vertexCount <= 0 ||
            list->indexCount + list->filteredIndexCount == 0) {
            continue;
        }
        ModelBufferBlock* block = base->kindLastBlock[kind];
        if (block == nullptr && (block = AppendBlock(base, kind)) == nullptr) {
            return false;
        }
        PutListInBlock(list, block);
        if (block->indexCount < kModelBlockIndexLimit &&
            block->vertexCount < kModelBlockVertexLimit) {
            continue;
        }
        TakeListOut(list, block);
        if ((block = AppendBlock(base, kind)) == nullptr) {
            return false;
        }
        PutListInBlock(list, block);
    }
    return true;
}

// A first block left empty when its only list moved on to a block of its own.
void DropEmptyFirstBlocks(ModelBase* base) {
    for (int kind = 0; kind < kModelBufferKinds; ++kind) {
        ModelBufferBlock* block = base->kindFirstBlock[kind];
        if (block == nullptr || block->indexCount != 0) {
            continue;
        }
        base->kindFirstBlock[kind] = block->next;
        if (block->next != nullptr) {
            block->next->prev = nullptr;
        } else {
            base->kindLastBlock[kind] = nullptr;
        }
        --base->kindBlockCount[kind];
        --base->bufferBlockCount;
        FreeTracked(block);
    }
}

bool KindNeedsShaders(int kind) {
    // Every kind but rigid without normal map is drawn through shaders.
    return kind >= kModelMaxTexCoordSets + 1;
}

bool CreateBlockBuffers(ModelBufferBlock* block, const ModelBufferLayout& layout) {
    const uint32_t vertexBytes = static_cast<uint32_t>(block->vertexCount) * layout.stride;
    const uint32_t indexBytes = static_cast<uint32_t>(block->indexCount) * 2;
    block->stride = layout.stride;
    block->fvf = layout.fvf;
    block->vertexBuffer =
        CreateDeviceVertexBuffer(vertexBytes, D3DUSAGE_WRITEONLY, layout.fvf, D3DPOOL_DEFAULT);
    if (block->vertexBuffer == nullptr) {
        WriteLogFormat("Model buffer error : a vertex buffer of %u bytes could not be created",
                       vertexBytes);
        return false;
    }
    block->indexBuffer =
        CreateDeviceIndexBuffer(indexBytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT);
    if (block->indexBuffer == nullptr) {
        WriteLogFormat("Model buffer error : an index buffer of %u bytes could not be created",
                       indexBytes);
        return false;
    }
    void* vertices = nullptr;
    if (FAILED(block->vertexBuffer->Lock(0, vertexBytes, &vertices, 0))) {
        WriteLogFormat("Model buffer error : a vertex buffer could not be locked");
        return false;
    }
    block->lockedVertices = static_cast<uint8_t*>(vertices);
    void* indices = nullptr;
    if (FAILED(block->indexBuffer->Lock(0, indexBytes, &indices, 0))) {
        WriteLogFormat("Model buffer error : an index buffer could not be locked");
        return false;
    }
    block->lockedIndices = static_cast<uint16_t*>(indices);
    return true;
}

bool CreateAllBuffers(ModelBase* base) {
    const bool shaders = g_graphics.vertexShader20 != 0;
    for (int kind = 0; kind < kModelBufferKinds; ++kind) {
        if (KindNeedsShaders(kind) && !shaders) {
            continue;
        }
        const ModelBufferLayout layout = ModelBufferLayoutOf(kind);
        for (ModelBufferBlock* block = base->kindFirstBlock[kind]; block != nullptr;
             block = block->next) {
            if (!CreateBlockBuffers(block, layout)) {
                return false;
            }
        }
    }
    return true;
}

// Indices stay relative to the list: its draws pass its first vertex as the
// base vertex, and a model's own buffer of the list starts at its vertex 0.
void FillList(const ModelTriangleList* list) {
    const ModelBufferBlock* block = list->bufferBlock;
    const ModelBufferLayout layout = ModelBufferLayoutOf(ModelBufferKind(list));
    uint8_t* vertices =
        block->lockedVertices + static_cast<size_t>(list->firstVertex) * block->stride;
    WriteModelBufferVertices(list, layout, list->positions, list->normals, vertices);
    uint16_t* indices = block->lockedIndices + list->firstIndex;
    std::memcpy(indices, list->indices, 2 * static_cast<size_t>(list->indexCount));
    std::memcpy(indices + list->indexCount, list->filteredIndices,
                2 * static_cast<size_t>(list->filteredIndexCount));
}

// Blocks that got no buffers go; their lists lose their place.
void FinishBlocks(ModelBase* base) {
    for (int32_t i = 0; i < base->triangleListCount; ++i) {
        ModelTriangleList& list = base->triangleLists[i];
        if (list.bufferBlock != nullptr && list.bufferBlock->vertexBuffer == nullptr) {
            list.bufferBlock = nullptr;
            list.firstVertex = 0;
            list.firstIndex = 0;
        }
    }
    for (int kind = 0; kind < kModelBufferKinds; ++kind) {
        ModelBufferBlock* block = base->kindFirstBlock[kind];
        if (block != nullptr && block->vertexBuffer == nullptr) {
            // A kind either has buffers in every block or in none.
            while (block != nullptr) {
                ModelBufferBlock* next = block->next;
                FreeTracked(block);
                --base->bufferBlockCount;
                block = next;
            }
            base->kindBlockCount[kind] = 0;
            base->kindFirstBlock[kind] = nullptr;
            base->kindLastBlock[kind] = nullptr;
            continue;
        }
        for (; block != nullptr; block = block->next) {
            block->vertexBuffer->Unlock();
            block->indexBuffer->Unlock();
            block->lockedVertices = nullptr;
            block->lockedIndices = nullptr;
        }
    }
}

void ForEachModelOf(const ModelBase* base, int (*call)(int)) {
    const ModelSlotTable& table = g_models.models;
    for (int32_t slot = 0; slot < table.capacity; ++slot) {
        const uintptr_t word = table.slots[slot];
        if (word <= kModelSlotReserved) {
            continue;
        }
        const auto* record = reinterpret_cast<const ModelInstance*>(word);
        if (record->base == base) {
            call(ModelHandleOfSlot(slot, record));
        }
    }
}

}  // namespace

int BuildModelBaseBuffers(int baseHandle, int rebuild) {
    if (!DeviceInUse()) {
        return 0;
    }
    ModelBase* base = GetModelBase(baseHandle);
    if (base == nullptr) {
        return -1;
    }
    if (base->buffersBuilt != 0) {
        return 0;
    }
    base->rebuildFlag = rebuild;
    ClearTables(base);
    if (!GroupLists(base)) {
        WriteLogFormat("Model buffer error : out of memory for the buffer blocks");
        FreeAllBlocks(base);
        return -1;
    }
    DropEmptyFirstBlocks(base);
    if (!CreateAllBuffers(base)) {
        FreeAllBlocks(base);
        return -1;
    }
    for (int32_t i = 0; i < base->triangleListCount; ++i) {
        const ModelTriangleList& list = base->triangleLists[i];
        if (list.bufferBlock != nullptr && list.bufferBlock->vertexBuffer != nullptr) {
            FillList(&list);
        }
    }
    FinishBlocks(base);
    base->buffersBuilt = 1;
    ForEachModelOf(base, BuildModelInstanceBuffers);
    return 0;
}

int ReleaseModelBaseBuffers(int baseHandle) {
    ModelBase* base = GetModelBase(baseHandle);
    if (base == nullptr) {
        return -1;
    }
    if (base->buffersBuilt == 0) {
        return 0;
    }
    FreeAllBlocks(base);
    base->buffersBuilt = 0;
    ForEachModelOf(base, ReleaseModelBuffers);
    return 0;
}

}  // namespace tessel
