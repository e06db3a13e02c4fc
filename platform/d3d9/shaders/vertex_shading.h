// The programmable vertex stage: a draw's vertices read by the vertex declaration (or, without
// one, by the FVF), run through the vertex shader a block at a time, and handed to the
// rasteriser in clip space.
//
// - Inputs: each register the shader declares takes the element of the same usage and usage
//   index: FLOAT1..FLOAT4 as floats, D3DCOLOR as (r, g, b, a) in 0..1, UBYTE4 as four bytes
//   0..255; missing components read (0, 0, 0, 1), a missing element (0, 0, 0, 1).
// - Outputs: oPos is the clip-space position; oD0 and oD1 become the diffuse and specular
//   colours, clamped to 0..1 and rounded to 8 bits; oT# the texture coordinates (x, y, and w
//   as the set's q) of the set each texture stage reads (set i with a pixel shader); oFog.x,
//   clamped and in 1/255, the fog factor when the shader writes it and no table fog is set.
#pragma once

#include <cstdint>

#include "platform/d3d9/device.h"
#include "platform/d3d9/raster_types.h"
#include "platform/d3d9/shaders/shader_machine.h"

namespace platform::d3d9 {

struct ShaderFetch {
    int reg;
    int offset;
    int type;  // D3DDECLTYPE
};

// How a draw's vertices reach the shader's inputs.
struct ShaderVertexLayout {
    ShaderFetch fetches[shader::kMaxVertexInputs];
    int fetchCount = 0;
    bool present[shader::kMaxVertexInputs] = {};
    int size = 0;  // bytes a vertex needs
};

// From the declaration (when set) or the FVF; false when neither gives a layout.
bool ShaderLayoutFor(const DeviceState& state, const shader::ShaderProgram& program,
                     ShaderVertexLayout* layout);

// Runs the shader over count vertices at stride and fills out (clip-space positions) and the
// states the rasteriser reads of them (texture sets, fog in the specular alpha).
void ShadeVertices(const DeviceState& state, const shader::ShaderProgram& program,
                   const ShaderVertexLayout& layout, const uint8_t* data, uint32_t count,
                   uint32_t stride, bool pixelShader, RasterVertex* out, RasterStates* states);

}  // namespace platform::d3d9
