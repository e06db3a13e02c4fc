// The model system's state and its two tables. Bases (shared data of a loaded
// file) live in a table that grows by 1024 slots without bound; models
// (placed copies of a base) in one that grows by 1024 up to 65536 slots. A
// slot word is 0 when free, 1 while reserved by a loader that has not
// finished, else the record. Model handles carry an 11-bit check number that
// must equal the record's; base handles carry none and never leave the model
// code. Also the hooks that start-up, shutdown and device resets call.
#pragma once

#include <cstdint>

#include "models/core/model_records.h"

namespace tessel {

constexpr int32_t kModelBaseHandleKind = 0x08000000;
constexpr int32_t kModelHandleKind = 0x50000000;
constexpr int32_t kModelKindMask = 0x78000000;
constexpr int32_t kModelTableGrowth = 1024;
constexpr int32_t kModelSlotLimit = 65536;
constexpr int32_t kModelCheckLimit = 2048;
constexpr uintptr_t kModelSlotReserved = 1;

struct ModelSlotTable {
    int32_t count;         // slots reserved or holding a record
    int32_t capacity;      // slots allocated
    int32_t searchStart;   // the slot taken last
    int32_t checkCounter;  // the model table's next check number
    uintptr_t* slots;
};

struct ModelSystemState {
    uint8_t initialised;
    float defaultSmoothingAngle;
    // Made by the drawing code, refilled after a device reset; -1: none.
    int32_t whiteTexture;
    int32_t rampTexture;
    int32_t greyRampTexture;
    int32_t spareCount;
    int32_t spareCapacity;
    void* spare;
    ModelSlotTable bases;
    ModelSlotTable models;
};

extern ModelSystemState g_models;

// Start-up calls it after graphics, text input and the draw targets; it does
// nothing when already started or without Direct3D. Always 0.
int InitModelSystem();
// Deletes every model, frees every base and both tables. Always 0.
int EndModelSystem();

// A reserved slot for a loader; the handle or -1.
int NewModelBaseHandle();
int NewModelHandle();
// A loader's finished base goes into its reserved slot; 0 or -1.
int StoreModelBase(int baseHandle, ModelBase* base);
// Drops one reference; frees the base when none is left. A reserved slot is
// freed. 0 or -1.
int ReleaseModelBase(int baseHandle);
// Deletes a model and drops its base reference; a reserved slot is freed.
int DeleteModelInstance(int modelHandle);

// The record a handle names, or null.
ModelBase* GetModelBase(int baseHandle);
ModelInstance* GetModelInstance(int modelHandle);
// The handle of a model slot, with the check number its record holds.
int ModelHandleOfSlot(int slot, const ModelInstance* record);
// Registers a new model record in its reserved slot: stores the check counter
// in it (then advances the counter), links it as its base's newest instance
// and counts it. The record's base must be set. 0 or -1.
int AttachModelRecord(int modelHandle, ModelInstance* record);

// Graphics calls these around the re-creation of its device objects.
int ReleaseAllModelBuffers();
int RebuildAllModelBuffers();

}  // namespace tessel
