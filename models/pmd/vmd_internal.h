// The motion reader's own records: the name tables' entries and the keys of
// a motion, each entry's keys in a list sorted by frame.
#pragma once

#include <cstdint>

#include "models/pmd/pmd_work.h"

namespace tessel {

constexpr uint32_t kVmdHeaderBytes = 54;  // magic, model name, bone key count
constexpr uint32_t kVmdBoneKeyBytes = 111;
constexpr uint32_t kVmdMorphKeyBytes = 23;
constexpr int kVmdNameBytes = 15;

struct VmdBoneKey {
    uint32_t frame;
    Vec3 position;
    PmdQuat rotation;
    uint8_t linear[4];   // X, Y, Z, rotation: the curve is the straight line
    float curve[16];     // per channel x1, y1, x2, y2, already times 3 / 127
    int32_t firstBaked;  // the key's first entry in its bone's baked arrays
    VmdBoneKey* prev;
    VmdBoneKey* next;
};

struct VmdMorphKey {
    uint32_t frame;
    float weight;
    VmdMorphKey* prev;
    VmdMorphKey* next;
};

struct VmdNameEntry {
    uint32_t keyCount;
    uint32_t largest;
    uint32_t smallest;
    char name[kVmdNameBytes + 1];
    void* firstKey;  // VmdBoneKey or VmdMorphKey, by table
    void* lastKey;
};

// Baked values: translation = the bone's rest translation + the key
// position, rotation made unit length. The key's own value, and the value at
// frame g of the segment from key a to key b along a's curves.
void VmdKeyValue(const VmdBoneKey* key, const Vec3* rest, Vec3* translation, PmdQuat* rotation);
void VmdSegmentValue(const VmdBoneKey* a, const VmdBoneKey* b, uint32_t g, const Vec3* rest,
                     Vec3* translation, PmdQuat* rotation);
// The curve of channel values x1, y1, x2, y2 at t.
float VmdCurveValue(const float* curve, float t);
// Fills the bone's baked arrays from its entry's keys; a chain bone from
// frame 0 to lastFrame, any other from its first key to its last.
void BakeVmdBoneKeys(PmdBoneWork* bone, const VmdNameEntry* entry, uint32_t lastFrame);
// Keys 0 to lastFrame of every chain bone with baked arrays: each frame posed
// from the baked keys, then solved. A long bake runs on several threads, with
// the bits of a bake on one.
void BakeVmdIk(PmdBoneWork* bones, int boneCount, PmdIkChain* chains, uint32_t lastFrame);
// For tests and benchmarks: later bakes that can be cut into parts run on
// `workers` threads, the calling thread among them (at most 8, at most one a
// frame; 0: as many as the work and the processors call for), starting at
// most `threadStarts` threads each (-1: no limit); the threads that start
// take the parts of those that do not.
void ForceVmdIkBakeWorkers(int workers, int threadStarts = -1);
// The threads the last bake was cut into parts for; 1: it ran on the calling
// thread alone.
int VmdIkBakeWorkersOfLastBake();

}  // namespace tessel
