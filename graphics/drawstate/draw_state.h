// The per-draw set-up of the hardware path: the draw settings and a draw's
// flags turned into cached device states, and the blend mode, texture flags,
// brightness and blend mask turned into one texture-stage program, of which
// only what differs from the cache is sent.
#pragma once

#include <cstdint>

#include "graphics/state/render_state_cache.h"
#include "graphics/textures/texture_formats.h"
#include "platform/d3d9.h"

namespace tessel {

// ApplyDrawSettings flags.
enum DrawSetupFlag : uint32_t {
    kDrawUseTextureFlags = 0x1,
    kDrawKeepFlagsBilinear = 0x2,
    kDrawGouraud = 0x8,
    kDrawModulateColor = 0x20,
    kDrawModulateAlpha = 0x40,
    kDrawFog = 0x80,
    kDrawSkipTextureSetup = 0x100,
    kDrawLighting3D = 0x200,
    kDrawSpecular = 0x400,
    kDrawZSet2 = 0x800,
    kDrawSamplerAddressing = 0x1000,
    kDrawKeepShaders = 0x2000,
};

constexpr int kBlendModeCount = 13;

// One row of the blend table; -1 leaves the device's factor as it is.
struct BlendTableRow {
    int32_t srcBlend;
    int32_t destBlend;
    int32_t blendOp;
    int32_t colorKind;  // 0 plain, 1 faded to white, 2 inverted
    int32_t blendOn;
};
const BlendTableRow& BlendRowFor(int mode);

// The built-in textured program for alpha variant v (0 opaque, 1 image
// alpha, 2 colour key), alpha modulation a and colour selector c; null for
// the selectors that are never used.
const StageProgram* BuiltInTexturedProgram(int v, int a, int c);

// The blend mask's fade set-up for a range above 1: stage 0's alpha
// operation, stage 1's and the texture factor's alpha.
struct MaskRangeSetup {
    int32_t stage0AlphaOp;
    int32_t stage1AlphaOp;
    int32_t factorAlpha;
};
MaskRangeSetup MaskRangeFor(int range, int threshold);

void ApplyDrawSettings(const TextureFormatRequest* info, IDirect3DBaseTexture9* texture,
                       uint32_t flags);
// -1 without a device, or without a program when nothing is dirty.
int SetupDrawTextureState(int resolveHandles, const StageProgram* program, int texturesOnly);
int ResetStageDefaults2D();
int SetUserStageProgram(const StageProgram* program, int texturesOnly);

}  // namespace tessel
