// The generator of the library's built-in shaders: a vertex and a pixel shader for every index
// of the scheme the drawing code selects by (lighting, the kinds of lights 0 to 2, fog, vertex
// colours, specular, skinning, outlines), written through the shader assembler with the
// arithmetic of the device's fixed-function pipeline, and the pack that the library embeds.
//
// Vertex index e (0 .. 98303): bit 0 specular on, bit 1 specular from vertex colour, bit 2
// diffuse from vertex colour; bits 3-4, 5-6, 7-8 the types of lights 2, 1, 0 (0 off, 1 point,
// 2 spot, 3 directional); bits 9-10 the fog formula; bit 11 the tangent-frame layout;
// f = e / 4096: below 12, skin (f / 2) mod 3, lighting f >= 6, some light on f odd; 12, 14 and
// 16 the outline of a rigid, 4-bone and 8-bone list.
// Pixel index p (0 .. 41471): bit 0 specular on; (p / 8) mod 3, (p / 24) mod 3, (p / 72) mod 3
// the shading kinds of lights 2, 1, 0; (p / 216) mod 2 a second texture; (p / 432) mod 8
// lighting and lights, + 2 with a normal map; p / 3456 the toon variants (toon_shaders.h),
// made for lit fields without a normal map only.
// The normal map (stage 2) and the second texture (stage 1) read the first coordinate set.
// With lights, a tangent-frame vertex shader hands light i's direction in the tangent frame,
// faded by its attenuation and spot factor, to t(1 + i) (x, y and w) and keeps only the
// ambient shares in its colour; the pixel shader adds N.L x light diffuse x material diffuse
// per light by the map's normal. Specular stays per vertex.
// An index the drawing code never forms, or a variant not generated, has no shader (size 0)
// and the drawing code takes the fixed-function path for it.
#pragma once

#include <cstdint>
#include <vector>

namespace tessel::shadergen {

constexpr int kVertexShaderCount = 16384 * 6;
constexpr int kPixelShaderCount = 6912 * 6;
constexpr int kOutlineVertexBase = 96 * 512;
constexpr const char* kShaderPackFileName = "TesselShaderPack.bin";

// False when the index has no shader; else the token stream with its end token.
bool BuildVertexShader(int index, std::vector<uint32_t>* tokens);
bool BuildPixelShader(int index, std::vector<uint32_t>* tokens);

// The shader data: the size table ((16384 + 6912) x 6 unsigned 16-bit sizes in bytes, vertex
// shaders first) and then every present shader's tokens back to back in table order.
int BuildShaderData(std::vector<uint8_t>* out);
// The embedded pack: an LZ block of an archive (default key) holding kShaderPackFileName, which
// is the LZ block of the shader data. 0, or -1 with a message on stderr.
int BuildShaderPack(std::vector<uint8_t>* out);

}  // namespace tessel::shadergen
