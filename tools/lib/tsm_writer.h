// Our own TSM writer: a loaded model base written back as a TSM file, each
// record where the reader's layout expects it and the body packed with the
// library's LZ encoder. Tests, tools and the fuzz seeds make their TSM files
// with it. The packing choices (position, weight and normal widths, mesh and
// list index widths, key counts, times and values) are the caller's.
#pragma once

#include <cstdint>
#include <vector>

#include "models/core/model_records.h"
#include "models/tsm/tsm_body.h"
#include "models/tsm/tsm_layout.h"

namespace tessel {

struct TsmWriteOptions {
    // Frame packing flags: positions packed, no weights, wide bone indices,
    // wide weights, and the normal kind in the low two bits.
    uint16_t frameFlags = 3 | kTsmWideBoneIndex | kTsmWideWeight;
    // Mesh packing flags: index width (1 to 3), shared colours, packed
    // texture coordinates, flag bits.
    uint32_t meshFlags = 3 | kTsmMeshFlagBits;
    // List packing flags: mesh vertex index width (0 to 2), index width.
    uint16_t listFlags = 2 | 1 << 2;
    // Key sets: the count width (kTsmKeyCountByte, kTsmKeyCount16 or 0), a
    // set of one key written without count and times, even sets' 16-bit or
    // zero start and 16-bit step, quantised times, packed values (with the
    // angle bits or the value quantiser).
    uint16_t keyFlags = 0;
    bool singleKeyShort = false;
    uint8_t timeQuantiser[2] = {0x80, 0x11};
    uint8_t valueQuantiser[2] = {0x80, 0x11};
    // The word that makes the reader recompute each frame's normals.
    bool recomputeNormals = false;
};

// The TSM file of a base. 0, or -1 when the body does not pack.
int WriteTsmModel(const ModelBase* base, const TsmWriteOptions& options,
                  std::vector<uint8_t>* file);

// The bytes a TSM file holds after its magic, expanded; the body with its
// four leading bytes, indexed by file offset. -1 when it does not expand.
int ExpandTsmFile(const std::vector<uint8_t>& file, std::vector<uint8_t>* body);
// A TSM file of a body indexed by file offset (its first four bytes unused),
// packed at the LZ level given (the lowest packs fastest).
int PackTsmBody(const std::vector<uint8_t>& body, std::vector<uint8_t>* file, int level = 6);

}  // namespace tessel
