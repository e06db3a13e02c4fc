// Steps of the model layers that are not part of the library yet: the
// drawing code's grey ramp and the conversion of a read model into base
// data. Each answers as its layer does when it cannot help (nothing can have
// made what it would release); the layer then replaces the call with its own
// function of the same name and the entry here goes.
#pragma once

#include "foundation/memory/log.h"
#include "models/read/read_model.h"
#include "models/textures/model_textures.h"

namespace tessel::pending {

inline void RebuildGreyRampTexture() {}

// ---- read model conversion: no base can be made from a read model yet.
inline int ConvertReadModel(ReadModel* /*model*/, const char* /*directory*/,
                            const ModelFileCallbacks* /*callbacks*/) {
    WriteLogFormat("Read Model Convert Error : read models cannot be converted yet");
    return -1;
}

}  // namespace tessel::pending
