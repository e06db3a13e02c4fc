// The arithmetic of the fixed-function pixel path, written down once: the texture-stage
// combiner, the alpha and depth compares, and blending. Every channel is an integer 0..255
// standing for channel / 255, and every rounding is to nearest, so that a caller can state
// exact pixel expectations. round(x / 255) for x >= 0 is (x + 127) / 255 (255 is odd, so no
// quotient ends in exactly one half).
//
// Stage operations, per channel, with a1 and a2 the two arguments after their modifiers:
//   SELECTARG1          a1
//   SELECTARG2          a2
//   MODULATE            round(a1 a2 / 255)
//   MODULATE2X          min(255, round(2 a1 a2 / 255))
//   MODULATE4X          min(255, round(4 a1 a2 / 255))
//   ADD                 min(255, a1 + a2)
//   ADDSIGNED           clamp(a1 + a2 - 128, 0, 255)
//   SUBTRACT            max(0, a1 - a2)
//   BLENDxxxALPHA       round((a1 s + a2 (255 - s)) / 255), s the alpha of DIFFUSE, of this
//                       stage's TEXTURE, of TFACTOR or of CURRENT
// Arguments: DIFFUSE, CURRENT (DIFFUSE at stage 0), TEXTURE (this stage's sample; opaque white
// without a texture, so the default MODULATE stage shows the vertex colour), TFACTOR, SPECULAR,
// TEMP (0 until written; only with the TEMP cap, else it reads 0 and RESULTARG is ignored).
// COMPLEMENT gives 255 - x, ALPHAREPLICATE copies the alpha into the colour channels. A stage whose
// COLOROP is DISABLE ends the cascade (at stage 0 the result is DIFFUSE); an ALPHAOP of DISABLE
// under a live COLOROP keeps the current alpha. Unknown operations select ARG1; unknown arguments
// read DIFFUSE. With SPECULARENABLE the specular colour is added to the result: min(255, c + s) on
// red, green and blue.
//
// Blending, per channel, with s the source (the stage result), d the destination read back
// from the target (widened), fs and fd the factors 0..255:
//   ADD          min(255, round((s fs + d fd) / 255))
//   SUBTRACT     round(max(0, s fs - d fd) / 255)
//   REVSUBTRACT  round(max(0, d fd - s fs) / 255)
//   MIN, MAX     min(s, d), max(s, d), factors unused
// Factors (colour channels; the alpha channel takes the alpha of the same source):
//   ZERO 0, ONE 255, SRCCOLOR s, INVSRCCOLOR 255 - s, SRCALPHA sa, INVSRCALPHA 255 - sa,
//   DESTALPHA da, INVDESTALPHA 255 - da, DESTCOLOR d, INVDESTCOLOR 255 - d,
//   SRCALPHASAT min(sa, 255 - da) (255 on alpha), BOTHSRCALPHA / BOTHINVSRCALPHA as source
//   factor: SRCALPHA / INVSRCALPHA and the opposite as destination factor. An unknown source
//   factor is ONE, an unknown destination factor ZERO. Without the BLENDOP cap the operation
//   is ADD. Targets without alpha read da = 255. COLORWRITEENABLE masks the written channels.
//
// Alpha test: pass when (alpha FUNC (ALPHAREF & 0xFF)). Depth test: pass when
// (new depth FUNC stored depth), both quantised to the depth format. Unknown functions pass.
#pragma once

#include <cstdint>

#include "platform/d3d9/raster_types.h"

namespace platform {

struct RasterColor {
    int32_t r = 0;
    int32_t g = 0;
    int32_t b = 0;
    int32_t a = 0;
};

inline RasterColor ColorFromArgb(uint32_t argb) {
    return {static_cast<int32_t>((argb >> 16) & 255), static_cast<int32_t>((argb >> 8) & 255),
            static_cast<int32_t>(argb & 255), static_cast<int32_t>(argb >> 24)};
}
inline uint32_t ArgbFromColor(RasterColor c) {
    return (static_cast<uint32_t>(c.a) << 24) | (static_cast<uint32_t>(c.r) << 16) |
           (static_cast<uint32_t>(c.g) << 8) | static_cast<uint32_t>(c.b);
}

// round(x / 255) for 0 <= x <= 255 * 255 * 4.
inline int32_t DivRound255(int32_t x) {
    return (x + 127) / 255;
}

// One channel of one stage operation. s is the blending alpha of the BLENDxxxALPHA operations.
int32_t StageOpChannel(uint32_t op, int32_t a1, int32_t a2, int32_t s);

// The stage program of a draw, read once from the states.
struct RasterStageProgram {
    struct Stage {
        uint32_t colorOp, colorArg1, colorArg2;
        uint32_t alphaOp, alphaArg1, alphaArg2;
        bool resultToTemp;
        uint32_t texCoordIndex;
        bool usesTexture;
    };
    Stage stages[kRasterStageCount];
    int stageCount = 0;  // stages before the first disabled COLOROP
    uint32_t textureFactor = 0xFFFFFFFFu;
    bool specularAdd = false;
    bool usesDiffuse = true;
    bool usesSpecular = false;
};

void CompileStageProgram(const RasterStates& states, RasterStageProgram* program);

// Runs the stages: textures[i] is stage i's sample (ignored where the stage reads no texture).
RasterColor RunStageProgram(const RasterStageProgram& program, const RasterColor* textures,
                            RasterColor diffuse, RasterColor specular);

// a FUNC b; inline, as the depth test runs it at every pixel.
[[gnu::always_inline]] inline bool RasterCompare(uint32_t func, uint32_t a, uint32_t b) {
    switch (func) {
        case kCmpNever:
            return false;
        case kCmpLess:
            return a < b;
        case kCmpEqual:
            return a == b;
        case kCmpLessEqual:
            return a <= b;
        case kCmpGreater:
            return a > b;
        case kCmpNotEqual:
            return a != b;
        case kCmpGreaterEqual:
            return a >= b;
        default:
            return true;
    }
}

struct RasterBlendSetup {
    bool enabled = false;
    uint32_t srcBlend = kBlendOne;
    uint32_t destBlend = kBlendZero;
    uint32_t op = kBlendOpAdd;
    uint32_t writeMask = 0xF;  // COLORWRITEENABLE: 1 red, 2 green, 4 blue, 8 alpha
};

void CompileBlendSetup(const RasterStates& states, RasterBlendSetup* blend);

// The colour written over dest (both 0xAARRGGBB, dest already widened).
uint32_t BlendRasterPixel(const RasterBlendSetup& blend, uint32_t src, uint32_t dest);

}  // namespace platform
