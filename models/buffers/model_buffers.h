// Device buffers of model bases and models. The triangle lists of a base are
// packed into shared vertex and index buffers, one chain of blocks per buffer
// kind; a list remembers its block, its first vertex (the base vertex of its
// draws) and its first index there. A model whose shapes deform a list gets
// its own dynamic vertex buffer for that list. Everything here is released
// before a device reset and built again after it.
#pragma once

#include <cstdint>

#include "models/core/model_records.h"

namespace tessel {

// A block takes no further list once it holds this many indices or vertices.
constexpr int32_t kModelBlockIndexLimit = 0xC0000;
constexpr int32_t kModelBlockVertexLimit = 0x60000;
constexpr int32_t kModelMaxTexCoordSets = 8;

// (vertex type x 2 + normal-map flag) x 9 + texture-coordinate sets, or -1
// for a list that goes into no buffer (free-form, or more than 8 sets).
int ModelBufferKind(const ModelTriangleList* list);

// Where each part of a buffer vertex lies, in bytes from its start; -1 for a
// part the kind does not have. Every kind has position at 0, then (skinned)
// weights and bone indices, the normal, (normal map) tangent and binormal,
// the diffuse and specular words and the coordinate sets of four floats.
struct ModelBufferLayout {
    int32_t stride;
    int32_t boneCount;  // weights and one byte of bone slot per bone
    int32_t weights;
    int32_t boneSlots;
    int32_t normal;
    int32_t tangent;
    int32_t binormal;
    int32_t diffuse;
    int32_t specular;
    int32_t texCoords;
    int32_t texCoordSets;
    uint32_t fvf;  // rigid kinds without normal map; 0 for the others
};
ModelBufferLayout ModelBufferLayoutOf(int kind);

// Writes the list's vertices in the kind's layout, positions and normals
// taken from `positions` and `normals` (one per list vertex).
void WriteModelBufferVertices(const ModelTriangleList* list, const ModelBufferLayout& layout,
                              const Vec3* positions, const Vec3* normals, uint8_t* out);

// 0 (also without a device, or when built already), or -1 for a handle that
// names no base, or (with a log line) when memory or a device call failed:
// then every block is released again.
int BuildModelBaseBuffers(int baseHandle, int rebuild);
// 0, or -1 for a handle that is not a base's. The base's models lose their
// own buffers too.
int ReleaseModelBaseBuffers(int baseHandle);
// The model's own dynamic buffers of its shape-deformed lists. 0, or -1 when
// the system is down or the handle is bad.
int BuildModelInstanceBuffers(int modelHandle);
int ReleaseModelBuffers(int modelHandle);

}  // namespace tessel
