// Steps that the device's life and the render-state cache call in graphics
// layers that are not part of the library yet: the drawing calls, the
// built-in shaders and movies.
// Each does nothing (or keeps the one value its caller needs) until its layer
// lands; the layer then replaces the call with its own function of the same
// name and the entry here goes.
#pragma once

#include <cstdint>

#include "foundation/math/matrix.h"
#include "graphics/device/device_state.h"
#include "graphics/memimg/memimg.h"
#include "graphics/state/render_state_cache.h"
#include "platform/types.h"
#include "softrender/draw_state.h"

namespace tessel::pending {

// ---- movies: none can be opened yet
inline int OpenMovie(const char* /*fileName*/, int* /*width*/, int* /*height*/, int /*option*/) {
    return -1;
}
inline void MovieDispose(int /*movieHandle*/) {}
inline int MovieAdvanceFrame(int /*movieHandle*/, int /*option*/) {
    return 0;
}

// ---- built-in shaders
inline int32_t shaderPathOn = 0;
inline int ShaderPathOn() {
    return shaderPathOn;
}
inline void CreateBuiltInShaders() {}
inline void CreateVertexDeclarations() {}
inline void ReleaseVertexDeclarations() {}
inline void ReleaseBuiltInShaders() {}
inline void CloseShaderPack() {}

}  // namespace tessel::pending
