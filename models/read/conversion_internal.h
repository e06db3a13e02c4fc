// What the read-model conversion's steps share: the per-mesh work records of
// the analysis (face kinds, bone bit tables, material groups with their list
// slots), the size totals that lay out the two blocks, the vertex block's
// regions and the running state of the building pass.
#pragma once

#include <cstdint>

#include "models/core/model_records.h"
#include "models/read/read_model.h"
#include "models/util/model_containers.h"

namespace tessel {

// Skinning kinds of a face, by the most bones on one of its corners.
constexpr uint8_t kFaceRigid = 0;
constexpr uint8_t kFaceFourBones = 1;
constexpr uint8_t kFaceEightBones = 2;
constexpr uint8_t kFaceSoftware = 3;

constexpr int kListBoneLimit = 54;
constexpr int kListSlotLimit = 128;
// Index arrays are 16-bit: 21845 triangles fill a list to 65535 indices.
constexpr int kListTriangleLimit = 21845;

// A 4- or 8-bone list of a material group while faces are placed.
struct ListSlot {
    int32_t triangles;
    int32_t boneCount;
    uint16_t bones[kListBoneLimit];  // skin weights of the mesh
    uint64_t* members;               // one bit per skin weight, for quick membership
};

struct MaterialGroup {
    int32_t triangles[4];  // by face kind
    int32_t softwareBones;
    int32_t bonesPerVertex;  // the most a vertex of the group needs
    int32_t texSets;
    int32_t slotCount[2];  // 4-bone, 8-bone
    ListSlot* slots[2];
    int32_t rigidLists;
    int32_t softwareLists;
};

struct MeshWork {
    int32_t groupCount;
    MaterialGroup* groups;
    int32_t meshCount;  // groups with triangles: one base mesh each
    uint8_t* faceKind;  // null: every face is rigid
    uint16_t* faceBoneCount;
    uint16_t* faceList;
    BitRowArray positionBones;
    BitRowArray faceBones;
    int32_t bonesPerVertex;
    int32_t vertexRecordBytes;  // room for three records a face in every group
};

// Regions of the vertex block, each 16-byte aligned. Those whose estimate
// is exact come first: when the block closes up, they stay where they are
// and only the regions estimated at three vertices a triangle move.
enum VertexRegion {
    kRegionNormals,
    kRegionPositions,
    kRegionTriangles,
    kRegionMeshVertices,
    kRegionRigid,  // the four list kinds follow one another
    kRegionFourBones,
    kRegionEightBones,
    kRegionSoftware,
    kRegionMaps,
    kRegionGathered,
    kRegionShapeData,
    kRegionCount
};

// Counts of everything, first estimated by the analysis, then filled.
struct ConversionTotals {
    int64_t region[kRegionCount];
    int64_t meshes;
    int64_t lists;
    int64_t skinnedLists;
    int64_t indices;
    int64_t skinWeights;
    int64_t shapeMeshes;
    int32_t largestPositions;
    int32_t largestTriangles;
};

// The running state of the building pass.
struct BuildState {
    ReadModel* model;
    ModelBase* base;
    uint8_t* regionStart[kRegionCount];
    int64_t regionFill[kRegionCount];
    int32_t meshFill;
    int32_t listFill;
    int32_t skinnedListFill;
    int32_t indexFill;
    int32_t skinBoneFill;
    int32_t shapeMeshFill;
    int32_t changeCounter;  // frames and mesh groups, from 1
    int32_t* listBones;     // 54 per skinned list
    int32_t* temp;          // largest positions + 9 x largest triangles
};

int64_t AlignUp16(int64_t bytes);
// The next bytes of a region (no alignment: every element size is a
// multiple of 4, list vertices of 16), or null past the estimate.
uint8_t* TakeRegion(BuildState* state, int region, int64_t bytes);

// Analysis of one mesh: work records in the read model's chain, and the
// mesh's share of the totals. False after a log line.
bool AnalyseReadModelMesh(ReadModel* model, ReadModelMesh* mesh, ConversionTotals* totals);
// Normals, positions, skin bones, meshes, lists and shape meshes of one
// mesh of a frame. False after a log line.
bool BuildReadModelMesh(BuildState* state, ReadModelFrame* readFrame, ModelFrame* frame,
                        ReadModelMesh* mesh);
// Converts a frame's transform matrix into translation, rotation order and
// angles, and scale.
void DecomposeFrameTransform(const ReadModelFrame* readFrame, ModelFrame* frame);

}  // namespace tessel
