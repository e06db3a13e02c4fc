// The two slot tables: reservation with growth and a wrapping search, handle
// checks, and registration of a finished base or model.
#include "foundation/memory/memory.h"
#include "models/core/model_system.h"

namespace tessel {

namespace {

// Grows a full table by 1024 slots (at most to limit); false when the table
// cannot grow, unchanged.
bool GrowWhenFull(ModelSlotTable* table, int32_t limit) {
    if (table->count < table->capacity) {
        return true;
    }
    int64_t wanted = static_cast<int64_t>(table->capacity) + kModelTableGrowth;
    int32_t capacity = static_cast<int32_t>(wanted < limit ? wanted : limit);
    if (capacity <= table->capacity) {
        return false;
    }
    auto* slots = static_cast<uintptr_t*>(
        ReallocTracked(table->slots, static_cast<uint32_t>(capacity) * sizeof(uintptr_t), "", 0));
    if (slots == nullptr) {
        return false;
    }
    for (int32_t i = table->capacity; i < capacity; ++i) {
        slots[i] = 0;
    }
    table->slots = slots;
    table->capacity = capacity;
    return true;
}

// The next free slot from the search start on, wrapping after the last one,
// marked reserved; -1 when the table is full and cannot grow.
int32_t ReserveSlot(ModelSlotTable* table, int32_t limit) {
    if (!GrowWhenFull(table, limit)) {
        return -1;
    }
    int32_t slot = table->searchStart;
    if (slot < 0 || slot >= table->capacity) {
        slot = 0;
    }
    while (table->slots[slot] != 0) {
        slot = slot + 1 == table->capacity ? 0 : slot + 1;
    }
    table->slots[slot] = kModelSlotReserved;
    ++table->count;
    table->searchStart = slot;
    return slot;
}

int32_t ModelHandleFor(int32_t slot, int32_t check) {
    return static_cast<int32_t>((static_cast<uint32_t>(check) | 0x5000u) << 16) | slot;
}

}  // namespace

int NewModelBaseHandle() {
    if (g_models.initialised == 0) {
        return -1;
    }
    int32_t slot = ReserveSlot(&g_models.bases, INT32_MAX);
    return slot < 0 ? -1 : (slot | kModelBaseHandleKind);
}

int NewModelHandle() {
    if (g_models.initialised == 0) {
        return -1;
    }
    int32_t slot = ReserveSlot(&g_models.models, kModelSlotLimit);
    return slot < 0 ? -1 : ModelHandleFor(slot, g_models.models.checkCounter);
}

ModelBase* GetModelBase(int baseHandle) {
    if ((baseHandle & kModelKindMask) != kModelBaseHandleKind) {
        return nullptr;
    }
    int32_t slot = baseHandle & 0x1FFFF;
    if (slot >= g_models.bases.capacity) {
        return nullptr;
    }
    uintptr_t word = g_models.bases.slots[slot];
    return word > kModelSlotReserved ? reinterpret_cast<ModelBase*>(word) : nullptr;
}

ModelInstance* GetModelInstance(int modelHandle) {
    if ((modelHandle & kModelKindMask) != kModelHandleKind) {
        return nullptr;
    }
    int32_t slot = modelHandle & 0xFFFF;
    if (slot >= g_models.models.capacity) {
        return nullptr;
    }
    uintptr_t word = g_models.models.slots[slot];
    if (word <= kModelSlotReserved) {
        return nullptr;
    }
    auto* record = reinterpret_cast<ModelInstance*>(word);
    if ((record->check << 16) != (modelHandle & 0x07FF0000)) {
        return nullptr;
    }
    return record;
}

int ModelHandleOfSlot(int slot, const ModelInstance* record) {
    return ModelHandleFor(slot, record == nullptr ? 0 : record->check);
}

int StoreModelBase(int baseHandle, ModelBase* base) {
    if ((baseHandle & kModelKindMask) != kModelBaseHandleKind || base == nullptr) {
        return -1;
    }
    int32_t slot = baseHandle & 0x1FFFF;
    if (slot >= g_models.bases.capacity || g_models.bases.slots[slot] != kModelSlotReserved) {
        return -1;
    }
    base->handle = baseHandle;
    g_models.bases.slots[slot] = reinterpret_cast<uintptr_t>(base);
    return 0;
}

int AttachModelRecord(int modelHandle, ModelInstance* record) {
    if ((modelHandle & kModelKindMask) != kModelHandleKind || record == nullptr ||
        record->base == nullptr) {
        return -1;
    }
    int32_t slot = modelHandle & 0xFFFF;
    if (slot >= g_models.models.capacity || g_models.models.slots[slot] != kModelSlotReserved) {
        return -1;
    }
    ModelSlotTable& table = g_models.models;
    record->check = table.checkCounter;
    table.checkCounter = table.checkCounter + 1 == kModelCheckLimit ? 0 : table.checkCounter + 1;
    ModelBase* base = record->base;
    record->nextOlder = base->newestInstance;
    record->nextNewer = nullptr;
    if (base->newestInstance != nullptr) {
        base->newestInstance->nextNewer = record;
    } else {
        base->oldestInstance = record;
    }
    base->newestInstance = record;
    ++base->instanceCount;
    table.slots[slot] = reinterpret_cast<uintptr_t>(record);
    return 0;
}

}  // namespace tessel
