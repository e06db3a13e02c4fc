// Turning a filled read model into one model base: the last step of every
// text-format reader. The read model is prepared in place (keys, polygons,
// normals), every mesh is cut into one mesh per material and into triangle
// lists by how many bones move their vertices, and the base is laid out in
// one block plus one block of vertex data.
#pragma once

#include "models/textures/model_textures.h"

namespace tessel {

struct ReadModel;

// The new base's handle (reference count 0), or -1 after a log line with
// nothing left behind. The directory (narrow, may be null) is the model
// file's; texture files are read relative to it, through the callbacks when
// given. The caller still releases the read model.
int ConvertReadModel(ReadModel* model, const char* directory, const ModelFileCallbacks* callbacks);

}  // namespace tessel
