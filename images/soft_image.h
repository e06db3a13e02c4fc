// The soft-image handle table. Nothing in this system creates soft images; the
// table exists so that library end can free whatever it holds.
#pragma once

#include <cstdint>

#include "images/base_image.h"

namespace tessel {

constexpr uint32_t kSoftImageHandleKind = 0x58000000u;
constexpr int kSoftImageSlots = 8192;

struct SoftImageRecord {
    BASEIMAGE image;
    uint32_t check;  // check number of the record's handle
};

struct SoftImageTable {
    SoftImageRecord* slots[kSoftImageSlots];
    int liveCount;
    int endIndex;  // one past the highest slot in use
};

extern SoftImageTable g_softImages;

// Deletes every soft image; 0.
int DeleteAllSoftImages();
// Library end step.
int EndSoftImageSystem();

}  // namespace tessel
