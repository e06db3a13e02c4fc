// Preparing a filled read model for its conversion, in place: animation keys
// brought to the few kinds the runtime plays and thinned, polygons cut into
// triangles, normals generated with the frame's smoothing angle; and, once the
// base is built, equal skin bones merged and sorted by their frame. New arrays
// come from the read model's block chain; work buffers are tracked blocks.
#pragma once

#include <cstdint>

namespace tessel {

struct ReadModel;
struct ReadModelKeySet;
struct ReadModelMesh;
struct ModelBase;

// Matrix keys become translation and rotation (plus scale when any key
// scales), vectors split into components where one stays constant, every set
// is thinned and constant components merge back. A failed allocation leaves
// the key set it was meant for as it was.
void SplitMatrixAnimKeys(ReadModel* model);

// Drops the keys that linear interpolation between their neighbours
// reproduces within 1e-5 (kinds 0, 1, 3, 5 and 7). With onlyToSingle set the
// result is taken only when one key is left. keyDataBytes follows every
// change.
void ThinKeySet(ReadModel* model, ReadModelKeySet* keySet, uint8_t onlyToSingle);

// Every polygon becomes a fan of triangles, the new ones behind the existing
// faces. A mesh of triangles keeps its array. False after a log line when a
// face has fewer than 3 or more than 32 corners or memory is short.
bool TriangulateReadModel(ReadModel* model, ReadModelMesh* mesh);

// Face normals, then one normal per smooth fan around each corner: faces that
// share an edge join while their normals lie within the frame's smoothing
// angle. False after a log line when a face is malformed or names a missing
// position, or memory is short.
bool GenerateReadModelNormals(ReadModel* model, ReadModelMesh* mesh);

// Skin bones equal to an earlier one (same frame, same bind matrix) go, the
// rest are sorted by frame, their uses and the frames' references follow, and
// every frame learns the run of bones that name it. 1, or 0 after a log line.
int OptimiseSkinningMeshes(ModelBase* base);

}  // namespace tessel
