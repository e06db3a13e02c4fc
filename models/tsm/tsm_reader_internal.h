// What the steps of the TSM reader share: the expanded body with its header
// words, the base being filled, the areas of its vertex block with their
// fill, and the checked reads that turn a body offset into a record, an
// index or a name of the base.
#pragma once

#include <cstdint>

#include "models/core/model_records.h"
#include "models/loading/model_loading.h"
#include "models/tsm/tsm_body.h"
#include "models/tsm/tsm_layout.h"
#include "platform/types.h"

namespace tessel {

// Areas of the vertex block, each 16-byte aligned, in the block's order.
enum TsmArea {
    kTsmAreaRigid,
    kTsmAreaFourBones,
    kTsmAreaEightBones,
    kTsmAreaFreeForm,
    kTsmAreaIndexEntries,
    kTsmAreaTriangles,
    kTsmAreaNormals,
    kTsmAreaPositions,
    kTsmAreaMeshVertices,
    kTsmAreaShapeDeltas,
    kTsmAreaGathered,  // each list's gathered positions and normals
    kTsmAreaCount
};

constexpr int kTsmDirectoryCapacity = 262;
constexpr int kTsmListBones = 54;  // bone table entries of a list

struct TsmReader {
    const ModelLoadParams* params;
    TsmBody body;
    int ok;      // cleared by the first read outside the body
    int logged;  // the failure has its own log line already
    char directory[kTsmDirectoryCapacity + 2];
    WCHAR wideDirectory[kTsmDirectoryCapacity + 2];
    bool hasDirectory;
    uint32_t header[tsm_header::kSize / 4];
    uint32_t shapes[tsm_shapes::kSize / 4];  // all 0 without a shape section
    int handle;
    ModelBase* base;
    char* names;  // the base's copy of the name block
    uint32_t nameSize;
    uint8_t* dataBlocks[2];
    uint8_t* keyCursor;
    uint8_t* keyEnd;
    int32_t* listBones;  // kTsmListBones per list
    int32_t indexFill;
    uint8_t* seen;  // one byte per record of the chain being walked
    uint8_t* areaStart[kTsmAreaCount];
    int64_t areaCapacity[kTsmAreaCount];
    int64_t areaFill[kTsmAreaCount];
};

inline uint32_t HeaderWord(const TsmReader* r, uint32_t offset) {
    return r->header[offset / 4];
}
inline uint32_t ShapeWord(const TsmReader* r, uint32_t offset) {
    return r->shapes[offset / 4];
}

// Logs which part of the body is damaged; false.
bool TsmBad(const char* what);

uint32_t TsmGetWord(TsmReader* r, uint32_t offset);
uint16_t TsmGetHalf(TsmReader* r, uint32_t offset);
uint8_t TsmGetByte(TsmReader* r, uint32_t offset);
float TsmGetFloat(TsmReader* r, uint32_t offset);
// 1 when size bytes from offset lie inside the body.
bool TsmRecordInside(const TsmReader* r, uint32_t offset, uint32_t size);

// The index a referenced record holds at indexAt: -1 for offset 0 (none),
// -2 when the record or its index lies outside or the index is not below
// count.
int32_t TsmIndexOf(TsmReader* r, uint32_t offset, uint32_t indexAt, uint32_t recordSize,
                   int32_t count);
// The place of a record in a contiguous array: -1 for offset 0, -2 when it
// is not a record start of the array.
int32_t TsmPositionOf(uint32_t offset, uint32_t first, uint32_t stride, int32_t count);
// A name of the base's name block; null (and false) when it does not start
// and end inside the block.
bool TsmName(TsmReader* r, uint32_t nameOffset, char** out);
// A run of count records from first inside an array of total: false when it
// reaches past it.
bool TsmRunInside(int32_t first, uint32_t count, int32_t total);

// Walks a chain of count records of recordSize from the offset `first`,
// following the word at 0x04; each record's index is the word at indexAt
// (0: its place in the chain) and must be below count and new. fill gets
// the record's offset and index; a failure is logged as damage to `what`
// unless fill logged its own cause.
template <typename Fill>
bool TsmWalkChain(TsmReader* r, uint32_t first, int32_t count, uint32_t recordSize,
                  uint32_t indexAt, const char* what, Fill fill) {
    for (int32_t i = 0; i < count; ++i) {
        r->seen[i] = 0;
    }
    uint32_t at = first;
    for (int32_t i = 0; i < count; ++i) {
        if (!TsmRecordInside(r, at, recordSize)) {
            return TsmBad(what);
        }
        const uint32_t index =
            indexAt == 0 ? static_cast<uint32_t>(i) : TsmGetWord(r, at + indexAt);
        if (index >= static_cast<uint32_t>(count) || r->seen[index] != 0) {
            return TsmBad(what);
        }
        r->seen[index] = 1;
        if (!fill(at, static_cast<int32_t>(index)) || r->ok == 0) {
            return r->logged != 0 ? false : TsmBad(what);
        }
        at = TsmGetWord(r, at + 4);
    }
    return true;
}

// The next bytes of an area, or null when they do not fit its size.
uint8_t* TsmTakeArea(TsmReader* r, int area, int64_t bytes);

// The record kinds after the frames and textures (materials, further
// records, meshes, shapes, shape meshes, skin bones, triangle lists) and
// the meshes' triangle records, recomputed normals and tangent frames.
bool TsmFillRecords(TsmReader* r);
// Key sets, animation sets and animations.
bool TsmFillAnimations(TsmReader* r);

}  // namespace tessel
