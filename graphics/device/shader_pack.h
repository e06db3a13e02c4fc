// The built-in shaders: the pack the library carries in its data (made by the build's shader
// generator), the code pointers into it, the shader objects made from them on first use, the
// 54 vertex declarations the vertex shaders read through, and the decision at device creation
// whether the shader path runs at all.
#pragma once

#include <cstdint>

#include "platform/d3d9.h"

namespace tessel {

constexpr int kVertexShaderSlots = 16384 * 6;
constexpr int kPixelShaderSlots = 6912 * 6;
constexpr uint32_t kShaderSizeTableBytes = (16384 + 6912) * 6 * 2;
// Declarations: (layout x 3 + skin) x 9 + texture-coordinate sets.
constexpr int kVertexDeclarationCount = 54;
// The longest element list: ten base elements (tangent frame, eight weights), eight sets and
// the end marker.
constexpr int kMaxDeclarationElements = 19;
constexpr const char* kShaderPackEntryName = "TesselShaderPack.bin";

// 1 while the built-in shaders are used.
extern int32_t ShaderPathOn;

inline int ShaderPathIsOn() {
    return ShaderPathOn;
}

// 1 when the shader data is in memory (unpacked now or before), else 0.
int LoadShaderPack();
// Device creation: releases the shaders, then switches the path on when the device runs
// shaders 2.0 and the pack and the two test shaders can be made. 0.
int CreateBuiltInShaders();
int CreateVertexDeclarations();
// 1 when the shader of that index is now current; 0 with the path off, an index without a
// shader or a creation that failed (the current shader is left as it is).
int SelectBuiltInVertexShader(int index);
int SelectBuiltInPixelShader(int index);
int ReleaseBuiltInShaders();
int ReleaseVertexDeclarations();
// Uploads the whole built-in constant set again when mode differs from the last mode used. 0.
int FlushShaderConstants(int mode);
// Graphics shutdown: closes the pack's archive and frees its two blocks.
void CloseShaderPack();

// The element list of declaration (layout, skin, sets), end marker included; the count of
// elements before the marker.
int BuildVertexDeclarationElements(int layout, int skin, int sets,
                                   D3DVERTEXELEMENT9 out[kMaxDeclarationElements]);

// Test hooks: the pack LoadShaderPack reads (null: the embedded one), the code pointer of a
// slot, and the declaration of a table slot.
void SetShaderPackSourceForTesting(const uint8_t* pack, uint32_t size);
const uint8_t* VertexShaderCode(int index);
const uint8_t* PixelShaderCode(int index);
const uint8_t* ShaderDataForTesting();
IDirect3DVertexDeclaration9* VertexDeclarationAt(int slot);

}  // namespace tessel
