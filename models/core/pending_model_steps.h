// Steps of the model layers that are not part of the library yet: device
// buffers, animation attachments, per-model work buffers and the drawing
// code's grey ramp. Each does nothing until its layer lands (nothing can have
// made what it would release); the layer then replaces the call with its own
// function of the same name and the entry here goes.
#pragma once

namespace tessel::pending {

// ---- device buffers of bases and models
inline int BuildModelBaseBuffers(int /*baseHandle*/, int /*rebuild*/) {
    return 0;
}
inline int ReleaseModelBaseBuffers(int /*baseHandle*/) {
    return 0;
}
inline int ReleaseModelBuffers(int /*modelHandle*/) {
    return 0;
}

// ---- per-model animation and work blocks
inline int DetachModelAnim(int /*modelHandle*/, int /*slot*/) {
    return 0;
}
inline int FreeModelWorkBuffer(int /*modelHandle*/, int /*frame*/, int /*kind*/) {
    return 0;
}
inline int FreeModelFrameBlock(int /*modelHandle*/, int /*frame*/) {
    return 0;
}

// ---- drawing
inline void RebuildGreyRampTexture() {}

}  // namespace tessel::pending
