// Steps of the model layers that are not part of the library yet: the
// measuring of a new model's bounds and the drawing code's grey ramp. Each
// does nothing until its layer lands (nothing can have made what it would
// release); the layer then replaces the call with its own function of the
// same name and the entry here goes.
#pragma once

namespace tessel::pending {

// ---- drawing
// Measures the model's boxes once per base; a new model runs it once.
inline int MeasureModelBounds(int /*modelHandle*/) {
    return 0;
}
inline void RebuildGreyRampTexture() {}

}  // namespace tessel::pending
