// The pixel-shader route of the rasteriser: what a draw with a pixel shader hands it.
//
// The route walks a triangle's rows in blocks of kShaderLanes pixels. For each block it tests
// depth first (unless the shader writes oDepth), gathers the inputs of the live pixels (v0 and
// v1 as the interpolated colours rounded to 8 bits, in 0..1; t# as (u, v, 0, q) of the set,
// perspective-correct), runs the shader once for the block, then for each pixel not killed by
// texkill: oC0 clamped to 0..1 and rounded to 8 bits, alpha test, depth write, fog (the vertex
// factor or the table's), blend and write as the fixed path does. texld samples with the
// sampler states of its sampler (s0..s3); its level of detail comes from the set's
// derivatives when it reads a t# register directly, else level MAXMIPLEVEL's magnification.
#pragma once

#include "platform/d3d9/shaders/shader_machine.h"

namespace platform {

struct RasterPixelShader {
    const shader::ShaderProgram* program = nullptr;
    const shader::ShaderConstants* constants = nullptr;
};

}  // namespace platform
