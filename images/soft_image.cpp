#include "images/soft_image.h"

#include "foundation/memory/memory.h"

namespace tessel {

SoftImageTable g_softImages;

namespace {

constexpr uint32_t kHandleKindMask = 0x78000000u;
constexpr uint32_t kHandleCheckMask = 0x07FF0000u;
constexpr uint32_t kHandleSlotMask = 0x0000FFFFu;

uint32_t MakeSoftImageHandle(int slot, uint32_t check) {
    return kSoftImageHandleKind | ((check << 16) & kHandleCheckMask) |
           (static_cast<uint32_t>(slot) & kHandleSlotMask);
}

// The typed-handle check: bit 31 clear, our kind, a slot in range that holds a
// record whose check number matches.
SoftImageRecord* FindSoftImage(uint32_t handle) {
    if ((handle & 0x80000000u) != 0 || (handle & kHandleKindMask) != kSoftImageHandleKind) {
        return nullptr;
    }
    uint32_t slot = handle & kHandleSlotMask;
    if (slot >= static_cast<uint32_t>(kSoftImageSlots)) {
        return nullptr;
    }
    SoftImageRecord* record = g_softImages.slots[slot];
    if (record == nullptr ||
        ((record->check << 16) & kHandleCheckMask) != (handle & kHandleCheckMask)) {
        return nullptr;
    }
    return record;
}

void DeleteSoftImageSlot(int slot) {
    SoftImageRecord* record =
        FindSoftImage(MakeSoftImageHandle(slot, g_softImages.slots[slot]->check));
    if (record == nullptr) {
        return;
    }
    ReleaseImageBuffer(&record->image);
    --g_softImages.liveCount;
    g_softImages.slots[slot] = nullptr;
    if (slot == g_softImages.endIndex - 1) {
        int end = slot;
        while (end > 0 && g_softImages.slots[end - 1] == nullptr) {
            --end;
        }
        g_softImages.endIndex = g_softImages.liveCount == 0 ? 0 : end;
    }
    FreeTracked(record);
}

}  // namespace

int DeleteAllSoftImages() {
    int end = g_softImages.endIndex;
    if (end > kSoftImageSlots) {
        end = kSoftImageSlots;
    }
    for (int slot = 0; slot < end; ++slot) {
        if (g_softImages.slots[slot] != nullptr) {
            DeleteSoftImageSlot(slot);
        }
    }
    return 0;
}

int EndSoftImageSystem() {
    return DeleteAllSoftImages();
}

}  // namespace tessel
