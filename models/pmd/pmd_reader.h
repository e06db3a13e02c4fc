// The PMD reader: a PMD model image and the motion files beside it into a
// read model (one "Mesh" frame with the mesh and the morph mesh, one frame
// per bone, skin weights, "Mat_%d" materials with toon textures, one shape
// per morph and one animation set per motion), which the loading chain's
// entry converts into a model base.
#pragma once

#include "models/loading/model_loading.h"
#include "models/read/read_model.h"

namespace tessel {

// More bones than this that move vertices refuse the file.
constexpr int kPmdMaxSkinBones = kReadModelMeshBones;

struct PmdIkChain;

// Links the chains into the order their IK is solved in: by first chain bone,
// ascending, and among equal first bones the later record first (as
// inserting each record in file order before the first with a key not
// smaller leaves them). 0, or -1 when the work array cannot be had.
int LinkPmdIkChains(PmdIkChain* chains, int count, PmdIkChain** first);

// Fills `model` (cleared by the caller) from the file image and its
// motions. 0; -1 after one log line; -2 without a log line when the image
// is not a PMD file. The read model is left for the caller to release.
int ReadPmdIntoModel(const ModelLoadParams* params, ReadModel* model);

}  // namespace tessel
