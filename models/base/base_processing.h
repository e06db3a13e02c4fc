// Preparing a filled base for drawing: the matrices of every frame from its
// transform parts, and each triangle list's second index list without the
// triangles that touch a flagged vertex.
#pragma once

#include "models/core/model_records.h"

namespace tessel {

// Frames lie parents first; each gets its local, world and inverse world
// matrices and its matrix kind (0 identity, 1 translation, 2 general).
void ComputeFrameMatrices(ModelBase* base);
void FilterFlaggedTriangles(ModelTriangleList* list);

}  // namespace tessel
