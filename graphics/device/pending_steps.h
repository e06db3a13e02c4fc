// Steps that the device's life and the render-state cache call in graphics
// layers that are not part of the library yet: the built-in shaders.
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
