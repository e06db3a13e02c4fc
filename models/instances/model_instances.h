// Models: placed copies of a base, made for a handle that the loader
// reserved, with their own matrices, shapes, materials and textures in one
// tracked block. Also the placement the game sets every frame, the shape
// (morph) update that runs before a model is drawn, and the per-model blocks
// that the deletion of a model frees.
#pragma once

#include <cstdint>

#include "models/core/model_records.h"

namespace tessel {

// Fills the reserved slot of modelHandle with a new model of the base. 0, or
// -1 (bad handles, a slot not reserved, a base whose change bits reach past
// its bit arrays, out of memory); nothing is linked then and the base keeps
// its reference count.
int CreateModelFromBase(int modelHandle, int baseHandle);
// 0, or -1 when the system is down or the handle is bad. Setting the
// position the model already has costs nothing.
int PlaceModel(int modelHandle, float x, float y, float z);
// Brings the model's shape-deformed vertices up to date with its shape
// weights, and its own vertex buffers with them. Always 0.
int UpdateModelShapes(int modelHandle);
// Frees the animation attached in a slot; its frames fall back to what the
// remaining animations give. 0, or -1 for a bad handle or slot.
int DetachModelAnim(int modelHandle, int slot);
// The block attached to the model (frame -1) or to one frame, with the chain
// of blocks it holds. 0, or -1 for a bad handle or frame.
int FreeModelFrameBlock(int modelHandle, int frame);
// The work buffer of a kind (0 or 1) of the model (frame -1) or of a frame.
int FreeModelWorkBuffer(int modelHandle, int frame, int kind);

}  // namespace tessel
