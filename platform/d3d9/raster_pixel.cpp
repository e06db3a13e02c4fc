// The per-pixel arithmetic of the rasteriser, as raster_pixel.h states it: texture stage
// operations and arguments, the alpha and depth compares, blending with every factor and
// operation, the write mask, and depth quantisation. These are the reference forms; the
// whole-quad kernels (raster_kernels.cpp) must give the same bytes.
//
// Routes: CompileStageProgram reduces the stage states to a program once per draw;
// RunStageProgram runs it per pixel; BlendRasterPixel works channel by channel.
//
// Not here: fog, lighting (the specular colour is added as the vertices give it), dithering.
#include "platform/d3d9/raster_pixel.h"

#include <algorithm>

namespace platform {
namespace {

constexpr uint32_t kBlendBothSrcAlpha = 12;
constexpr uint32_t kBlendBothInvSrcAlpha = 13;

int32_t Clamp255(int32_t v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

bool ArgReadsTexture(uint32_t arg) {
    return (arg & kTaSelectMask) == kTaTexture;
}
bool ArgReadsSpecular(uint32_t arg) {
    return (arg & kTaSelectMask) == kTaSpecular;
}

bool OpUsesArg1(uint32_t op) {
    return op != kTopSelectArg2;
}
bool OpUsesArg2(uint32_t op) {
    return op != kTopSelectArg1;
}

struct StageRegisters {
    RasterColor diffuse;
    RasterColor specular;
    RasterColor current;
    RasterColor temp;
    RasterColor texture;
    RasterColor factor;
};

RasterColor SelectArg(uint32_t arg, const StageRegisters& regs) {
    RasterColor c;
    switch (arg & kTaSelectMask) {
        case kTaCurrent:
            c = regs.current;
            break;
        case kTaTexture:
            c = regs.texture;
            break;
        case kTaTFactor:
            c = regs.factor;
            break;
        case kTaSpecular:
            c = regs.specular;
            break;
        case kTaTemp:
            c = regs.temp;
            break;
        default:
            c = regs.diffuse;
            break;
    }
    if (arg & kTaAlphaReplicate)
        c.r = c.g = c.b = c.a;
    if (arg & kTaComplement) {
        c.r = 255 - c.r;
        c.g = 255 - c.g;
        c.b = 255 - c.b;
        c.a = 255 - c.a;
    }
    return c;
}

// The alpha that the BLENDxxxALPHA operations weigh with.
int32_t BlendAlphaOf(uint32_t op, const StageRegisters& regs) {
    switch (op) {
        case kTopBlendDiffuseAlpha:
            return regs.diffuse.a;
        case kTopBlendTextureAlpha:
            return regs.texture.a;
        case kTopBlendFactorAlpha:
            return regs.factor.a;
        case kTopBlendCurrentAlpha:
            return regs.current.a;
        default:
            return 0;
    }
}

int32_t BlendFactor(uint32_t factor, bool alphaChannel, int32_t s, int32_t sa, int32_t d,
                    int32_t da, bool isSource) {
    switch (factor) {
        case kBlendZero:
            return 0;
        case kBlendOne:
            return 255;
        case kBlendSrcColor:
            return s;
        case kBlendInvSrcColor:
            return 255 - s;
        case kBlendSrcAlpha:
            return sa;
        case kBlendInvSrcAlpha:
            return 255 - sa;
        case kBlendDestAlpha:
            return da;
        case kBlendInvDestAlpha:
            return 255 - da;
        case kBlendDestColor:
            return d;
        case kBlendInvDestColor:
            return 255 - d;
        case kBlendSrcAlphaSat:
            return alphaChannel ? 255 : std::min(sa, 255 - da);
        default:
            return isSource ? 255 : 0;
    }
}

int32_t BlendChannel(const RasterBlendSetup& blend, bool alphaChannel, int32_t s, int32_t sa,
                     int32_t d, int32_t da) {
    if (blend.op == kBlendOpMin)
        return std::min(s, d);
    if (blend.op == kBlendOpMax)
        return std::max(s, d);
    int32_t fs = BlendFactor(blend.srcBlend, alphaChannel, s, sa, d, da, true);
    int32_t fd = BlendFactor(blend.destBlend, alphaChannel, s, sa, d, da, false);
    int32_t sum;
    switch (blend.op) {
        case kBlendOpSubtract:
            sum = std::max(0, s * fs - d * fd);
            break;
        case kBlendOpRevSubtract:
            sum = std::max(0, d * fd - s * fs);
            break;
        default:
            sum = s * fs + d * fd;
            break;
    }
    return std::min(255, DivRound255(sum));
}

}  // namespace

int32_t StageOpChannel(uint32_t op, int32_t a1, int32_t a2, int32_t s) {
    switch (op) {
        case kTopSelectArg2:
            return a2;
        case kTopModulate:
            return DivRound255(a1 * a2);
        case kTopModulate2x:
            return std::min(255, DivRound255(2 * a1 * a2));
        case kTopModulate4x:
            return std::min(255, DivRound255(4 * a1 * a2));
        case kTopAdd:
            return std::min(255, a1 + a2);
        case kTopAddSigned:
            return Clamp255(a1 + a2 - 128);
        case kTopSubtract:
            return std::max(0, a1 - a2);
        case kTopBlendDiffuseAlpha:
        case kTopBlendTextureAlpha:
        case kTopBlendFactorAlpha:
        case kTopBlendCurrentAlpha:
            return DivRound255(a1 * s + a2 * (255 - s));
        default:
            return a1;
    }
}

void CompileStageProgram(const RasterStates& states, RasterStageProgram* program) {
    *program = RasterStageProgram();
    program->textureFactor = states.render[kRsTextureFactor];
    program->specularAdd = states.render[kRsSpecularEnable] != 0;
    program->usesSpecular = program->specularAdd;
    int count = 0;
    for (int i = 0; i < kRasterStageCount; ++i) {
        const uint32_t* tss = states.stage[i];
        if (tss[kTssColorOp] == kTopDisable)
            break;
        RasterStageProgram::Stage& st = program->stages[i];
        st.colorOp = tss[kTssColorOp];
        st.colorArg1 = tss[kTssColorArg1];
        st.colorArg2 = tss[kTssColorArg2];
        st.alphaOp = tss[kTssAlphaOp];
        st.alphaArg1 = tss[kTssAlphaArg1];
        st.alphaArg2 = tss[kTssAlphaArg2];
        st.resultToTemp = states.argTempCap && tss[kTssResultArg] == kTaTemp;
        st.texCoordIndex = tss[kTssTexCoordIndex] & 0xFFFF;
        bool colourTex = (OpUsesArg1(st.colorOp) && ArgReadsTexture(st.colorArg1)) ||
                         (OpUsesArg2(st.colorOp) && ArgReadsTexture(st.colorArg2)) ||
                         st.colorOp == kTopBlendTextureAlpha;
        bool alphaTex = st.alphaOp != kTopDisable &&
                        ((OpUsesArg1(st.alphaOp) && ArgReadsTexture(st.alphaArg1)) ||
                         (OpUsesArg2(st.alphaOp) && ArgReadsTexture(st.alphaArg2)) ||
                         st.alphaOp == kTopBlendTextureAlpha);
        st.usesTexture = colourTex || alphaTex;
        if (ArgReadsSpecular(st.colorArg1) || ArgReadsSpecular(st.colorArg2) ||
            ArgReadsSpecular(st.alphaArg1) || ArgReadsSpecular(st.alphaArg2)) {
            program->usesSpecular = true;
        }
        ++count;
    }
    program->stageCount = count;
}

namespace {

// The three colour channels of one operation: one dispatch for all three.
void ColourOp(uint32_t op, const RasterColor& a1, const RasterColor& a2, int32_t s,
              RasterColor* out) {
    switch (op) {
        case kTopSelectArg2:
            out->r = a2.r, out->g = a2.g, out->b = a2.b;
            return;
        case kTopModulate:
            out->r = DivRound255(a1.r * a2.r);
            out->g = DivRound255(a1.g * a2.g);
            out->b = DivRound255(a1.b * a2.b);
            return;
        case kTopSelectArg1:
            out->r = a1.r, out->g = a1.g, out->b = a1.b;
            return;
        default:
            out->r = StageOpChannel(op, a1.r, a2.r, s);
            out->g = StageOpChannel(op, a1.g, a2.g, s);
            out->b = StageOpChannel(op, a1.b, a2.b, s);
            return;
    }
}

// One argument's alpha: SelectArg(arg, regs).a without building the colour.
int32_t SelectAlpha(uint32_t arg, const StageRegisters& regs) {
    int32_t a;
    switch (arg & kTaSelectMask) {
        case kTaCurrent:
            a = regs.current.a;
            break;
        case kTaTexture:
            a = regs.texture.a;
            break;
        case kTaTFactor:
            a = regs.factor.a;
            break;
        case kTaSpecular:
            a = regs.specular.a;
            break;
        case kTaTemp:
            a = regs.temp.a;
            break;
        default:
            a = regs.diffuse.a;
            break;
    }
    return (arg & kTaComplement) ? 255 - a : a;
}

}  // namespace

RasterColor RunStageProgram(const RasterStageProgram& program, const RasterColor* textures,
                            RasterColor diffuse, RasterColor specular) {
    StageRegisters regs;
    regs.diffuse = diffuse;
    regs.specular = specular;
    regs.current = diffuse;
    regs.factor = ColorFromArgb(program.textureFactor);
    for (int i = 0; i < program.stageCount; ++i) {
        const RasterStageProgram::Stage& st = program.stages[i];
        if (st.usesTexture)
            regs.texture = textures[i];
        RasterColor out;
        RasterColor c1 = SelectArg(st.colorArg1, regs);
        RasterColor c2 = SelectArg(st.colorArg2, regs);
        ColourOp(st.colorOp, c1, c2, BlendAlphaOf(st.colorOp, regs), &out);
        if (st.alphaOp == kTopDisable) {
            out.a = regs.current.a;
        } else {
            int32_t a1 = SelectAlpha(st.alphaArg1, regs);
            int32_t a2 = SelectAlpha(st.alphaArg2, regs);
            switch (st.alphaOp) {
                case kTopSelectArg1:
                    out.a = a1;
                    break;
                case kTopModulate:
                    out.a = DivRound255(a1 * a2);
                    break;
                default:
                    out.a = StageOpChannel(st.alphaOp, a1, a2, BlendAlphaOf(st.alphaOp, regs));
                    break;
            }
        }
        if (st.resultToTemp) {
            regs.temp = out;
        } else {
            regs.current = out;
        }
    }
    RasterColor result = regs.current;
    if (program.specularAdd) {
        result.r = std::min(255, result.r + specular.r);
        result.g = std::min(255, result.g + specular.g);
        result.b = std::min(255, result.b + specular.b);
    }
    return result;
}

void CompileBlendSetup(const RasterStates& states, RasterBlendSetup* blend) {
    *blend = RasterBlendSetup();
    blend->enabled = states.render[kRsAlphaBlendEnable] != 0;
    blend->srcBlend = states.render[kRsSrcBlend];
    blend->destBlend = states.render[kRsDestBlend];
    if (blend->srcBlend == kBlendBothSrcAlpha) {
        blend->srcBlend = kBlendSrcAlpha;
        blend->destBlend = kBlendInvSrcAlpha;
    } else if (blend->srcBlend == kBlendBothInvSrcAlpha) {
        blend->srcBlend = kBlendInvSrcAlpha;
        blend->destBlend = kBlendSrcAlpha;
    }
    blend->op = states.blendOpCap ? states.render[kRsBlendOp] : kBlendOpAdd;
    blend->writeMask = states.render[kRsColorWriteEnable] & 0xF;
}

uint32_t BlendRasterPixel(const RasterBlendSetup& blend, uint32_t src, uint32_t dest) {
    RasterColor s = ColorFromArgb(src);
    RasterColor d = ColorFromArgb(dest);
    RasterColor out = s;
    if (blend.enabled) {
        out.r = BlendChannel(blend, false, s.r, s.a, d.r, d.a);
        out.g = BlendChannel(blend, false, s.g, s.a, d.g, d.a);
        out.b = BlendChannel(blend, false, s.b, s.a, d.b, d.a);
        out.a = BlendChannel(blend, true, s.a, s.a, d.a, d.a);
    }
    if (blend.writeMask != 0xF) {
        if (!(blend.writeMask & 1))
            out.r = d.r;
        if (!(blend.writeMask & 2))
            out.g = d.g;
        if (!(blend.writeMask & 4))
            out.b = d.b;
        if (!(blend.writeMask & 8))
            out.a = d.a;
    }
    return ArgbFromColor(out);
}

}  // namespace platform
