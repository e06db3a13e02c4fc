// A draw's states compiled once: clipping rectangle, stage program, samplers, depth and the
// way finished colours reach the target (the write mode, which also says whether the kernels
// compute the blend). Also the state defaults, the test switches and the route counts.
#include "platform/d3d9/raster_draw_internal.h"

#include <algorithm>
#include <cmath>

namespace platform {
namespace raster_internal {

std::atomic<int> g_threadSetting{0};
std::atomic<bool> g_fastQuads{true};
std::atomic<uint64_t> g_routeCounts[static_cast<int>(RasterRoute::kCount)];

RasterRect Intersect(RasterRect a, RasterRect b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

bool IsEmpty(const RasterRect& r) {
    return r.left >= r.right || r.top >= r.bottom;
}

DrawSetup::Write WriteModeFor(const DrawSetup& s);

float StateFloat(const RasterStates& states, uint32_t state) {
    float f;
    std::memcpy(&f, &states.render[state], 4);
    return std::isfinite(f) ? f : 0.0f;
}

// Table fog when a table mode is set, else the factor the vertices carry, if they carry one.
void CompileFog(const RasterStates& states, DrawSetup* s) {
    s->fog = FogSource::kNone;
    if (!states.render[kRsFogEnable])
        return;
    uint32_t table = states.render[kRsFogTableMode];
    if (table == kFogExp || table == kFogExp2 || table == kFogLinear) {
        s->fog = FogSource::kTable;
        s->fogTableMode = table;
    } else if (states.vertexFogInSpecular) {
        s->fog = FogSource::kVertex;
    } else {
        return;
    }
    s->fogFromW = states.fogFromW;
    s->fogStart = StateFloat(states, kRsFogStart);
    s->fogEnd = StateFloat(states, kRsFogEnd);
    s->fogDensity = StateFloat(states, kRsFogDensity);
    s->fogColor = ColorFromArgb(states.render[kRsFogColor]);
}

void CompileSetup(const RasterTarget& target, const RasterStates& states, DrawSetup* s) {
    s->target = target;
    const RasterViewport& vp = states.viewport;
    s->viewport = vp;
    RasterRect clip{0, 0, target.color.width, target.color.height};
    int64_t vpRight = static_cast<int64_t>(vp.x) + vp.width;
    int64_t vpBottom = static_cast<int64_t>(vp.y) + vp.height;
    clip = Intersect(clip, {vp.x, vp.y, static_cast<int32_t>(std::min<int64_t>(vpRight, INT32_MAX)),
                            static_cast<int32_t>(std::min<int64_t>(vpBottom, INT32_MAX))});
    if (states.render[kRsScissorTestEnable])
        clip = Intersect(clip, states.scissor);
    CompileStageProgram(states, &s->program);
    CompileBlendSetup(states, &s->blend);
    for (int i = 0; i < s->program.stageCount; ++i) {
        if (!s->program.stages[i].usesTexture)
            continue;
        s->needTexture[i] = true;
        s->texSet[i] = s->program.stages[i].texCoordIndex;
        s->anyTexture = true;
        CompileRasterSampler(states, i, &s->samplers[i]);
        if (s->texSet[i] < kRasterTexCoordSets)
            s->texSetUsed[s->texSet[i]] = true;
        const RasterSampler& sm = s->samplers[i];
        const RasterTexture* t = sm.texture;
        if (t != nullptr && t->levelCount > 0 && !sm.needsLod && !IsLinearFilter(sm.magFilter)) {
            const RasterSurface& level = t->levels[std::clamp(sm.baseLevel, 0, t->levelCount - 1)];
            bool argb = level.format == kFmtA8R8G8B8 || level.format == kFmtX8R8G8B8;
            if (argb && level.bits != nullptr && level.width > 0 && level.height > 0)
                s->pointLevel[i] = &level;
        }
    }
    s->alphaTest = states.render[kRsAlphaTestEnable] != 0;
    s->alphaFunc = states.render[kRsAlphaFunc];
    s->alphaRef = states.render[kRsAlphaRef] & 0xFF;
    bool hasDepth = target.depth.bits != nullptr && RasterBytesPerPixel(target.depth.format) > 0;
    s->depthTest = hasDepth && states.render[kRsZEnable] != 0;
    s->depthWrite = s->depthTest && states.render[kRsZWriteEnable] != 0;
    if (s->depthTest)
        clip = Intersect(clip, {0, 0, target.depth.width, target.depth.height});
    s->zFunc = states.render[kRsZFunc];
    std::memcpy(&s->depthBias, &states.render[kRsDepthBias], 4);
    if (!std::isfinite(s->depthBias))
        s->depthBias = 0.0f;
    std::memcpy(&s->slopeScaleBias, &states.render[kRsSlopeScaleDepthBias], 4);
    if (!std::isfinite(s->slopeScaleBias))
        s->slopeScaleBias = 0.0f;
    CompileFog(states, s);
    for (int set = 0; set < kRasterTexCoordSets; ++set)
        s->texProjected[set] = states.texProjected[set];
    s->fillMode = states.render[kRsFillMode];
    s->flat = states.render[kRsShadeMode] == kShadeFlat;
    s->cull = states.render[kRsCullMode];
    s->lastPixel = states.render[kRsLastPixel] != 0;
    s->clip = clip;
    s->write = WriteModeFor(*s);
    s->planeUsed[kAttrZ] = s->planeUsed[kAttrRhw] = true;
    for (int c = 0; c < 4; ++c) {
        s->planeUsed[kAttrDiffuse + c] = !s->flat;
        s->planeUsed[kAttrSpecular + c] = !s->flat && s->program.usesSpecular;
    }
    for (int i = 0; i < s->program.stageCount; ++i) {
        // A stage reading a set beyond the vertex's takes its level of detail from set 0.
        if (s->needTexture[i] && s->texSet[i] >= kRasterTexCoordSets)
            s->planeUsed[kAttrTex] = s->planeUsed[kAttrTex + 1] = true;
    }
    for (int set = 0; set < kRasterTexCoordSets; ++set) {
        if (s->texSetUsed[set])
            s->planeUsed[kAttrTex + 2 * set] = s->planeUsed[kAttrTex + 2 * set + 1] = true;
        if (s->texSetUsed[set] && s->texProjected[set])
            s->planeUsed[kAttrTexQ + set] = true;
    }
    if (s->fog == FogSource::kVertex && !s->flat)
        s->planeUsed[kAttrSpecular + 3] = true;
    if (states.pixelShader != nullptr)
        CompileShadedSetup(states, s);
}

uint32_t ReadTargetPixel(const RasterSurface& color, int32_t x, int32_t y) {
    return ReadRasterTexel(color, x, y);
}

bool IsArgb32(uint32_t format) {
    return format == kFmtA8R8G8B8 || format == kFmtX8R8G8B8;
}

// The kernels' name for the blend of a draw; false when they do not compute it.
bool KernelBlendFor(const RasterBlendSetup& b, QuadBlend* blend) {
    if (b.writeMask != 0xF)
        return false;
    if (!b.enabled) {
        *blend = QuadBlend::kCopy;
        return true;
    }
    if (b.op == kBlendOpAdd) {
        bool multiply = (b.srcBlend == kBlendZero && b.destBlend == kBlendSrcColor) ||
                        (b.srcBlend == kBlendDestColor && b.destBlend == kBlendZero);
        if (multiply || (b.srcBlend == kBlendInvDestColor && b.destBlend == kBlendZero)) {
            *blend = multiply ? QuadBlend::kMultiply : QuadBlend::kInvert;
            return true;
        }
    }
    if (b.srcBlend != kBlendSrcAlpha)
        return false;
    if (b.destBlend == kBlendInvSrcAlpha && b.op == kBlendOpAdd) {
        *blend = QuadBlend::kSrcAlpha;
        return true;
    }
    if (b.destBlend == kBlendOne && (b.op == kBlendOpAdd || b.op == kBlendOpRevSubtract)) {
        *blend = b.op == kBlendOpAdd ? QuadBlend::kAdd : QuadBlend::kRevSubtract;
        return true;
    }
    return false;
}

WriteMode WriteModeFor(const DrawSetup& s) {
    WriteMode w;
    bool plain = s.blend.writeMask == 0xF;
    w.blendOff = !s.blend.enabled && plain;
    w.blend = QuadBlend::kCopy;
    w.kernelBlend = KernelBlendFor(s.blend, &w.blend);
    w.argbTarget = IsArgb32(s.target.color.format);
    // Formats whose widened pixels narrow back to the same bits, so that a row widened,
    // drawn by the kernels and narrowed again changes no pixel they leave alone.
    uint32_t f = s.target.color.format;
    w.rowTarget = f == kFmtR5G6B5 || f == kFmtA1R5G5B5 || f == kFmtA4R4G4B4;
    // With the fast routes off, every pixel goes through the reference blend.
    w.direct = w.argbTarget && w.kernelBlend && g_fastQuads.load();
    w.targetOr = s.target.color.format == kFmtX8R8G8B8 ? 0xFF000000u : 0u;
    return w;
}

}  // namespace raster_internal

using namespace raster_internal;

uint64_t RasterVertexCountFor(uint32_t type, uint32_t primitiveCount) {
    uint64_t count = primitiveCount;
    switch (type) {
        case kPrimPointList:
            return count;
        case kPrimLineList:
            return 2 * count;
        case kPrimLineStrip:
            return count == 0 ? 0 : count + 1;
        case kPrimTriangleList:
            return 3 * count;
        case kPrimTriangleStrip:
        case kPrimTriangleFan:
            return count == 0 ? 0 : count + 2;
        default:
            return 0;
    }
}

// The switches change how draws run: the kept ones run first, as they would have at once.
void SetRasterThreadCount(int count) {
    SettleRasterBatches();
    g_threadSetting.store(count);
}

void SetRasterFastQuadsEnabled(bool enabled) {
    SettleRasterBatches();
    g_fastQuads.store(enabled);
}

const char* RasterRouteName(RasterRoute route) {
    switch (route) {
        case RasterRoute::kQuadKernel:
            return "quad kernel";
        case RasterRoute::kLinearKernels:
            return "linear kernels";
        case RasterRoute::kLinearCentred:
            return "linear kernels, taps on texel centres";
        case RasterRoute::kQuadRows:
            return "quad rows";
        case RasterRoute::kTriangleSpans:
            return "triangle spans";
        case RasterRoute::kLinearSpans:
            return "triangle spans, linear and fused";
        case RasterRoute::kTriangleRows:
            return "triangle rows";
        case RasterRoute::kShadedSpans:
            return "shaded spans";
        case RasterRoute::kShaderBlocks:
            return "shader blocks";
        case RasterRoute::kShaderVectors:
            return "shader blocks in vector lanes";
        default:
            return "?";
    }
}

uint64_t RasterRouteCount(RasterRoute route) {
    SettleRasterBatches();  // the routes of kept draws are taken when they run
    int index = static_cast<int>(route);
    return index >= 0 && index < static_cast<int>(RasterRoute::kCount) ? g_routeCounts[index].load()
                                                                       : 0;
}

void ResetRasterRouteCounts() {
    SettleRasterBatches();
    for (std::atomic<uint64_t>& count : g_routeCounts)
        count.store(0);
}

void SetDefaultRasterStates(RasterStates* states) {
    *states = RasterStates();
    uint32_t* rs = states->render;
    auto floatBits = [](float f) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        return bits;
    };
    rs[kRsFillMode] = 3;
    rs[kRsShadeMode] = kShadeGouraud;
    rs[kRsZWriteEnable] = 1;
    rs[kRsLastPixel] = 1;
    rs[kRsSrcBlend] = kBlendOne;
    rs[kRsDestBlend] = kBlendZero;
    rs[kRsCullMode] = kCullCcw;
    rs[kRsZFunc] = kCmpLessEqual;
    rs[kRsAlphaFunc] = kCmpAlways;
    rs[kRsTextureFactor] = 0xFFFFFFFFu;
    rs[kRsLighting] = 1;
    rs[kRsColorWriteEnable] = 0xF;
    rs[kRsBlendOp] = kBlendOpAdd;
    rs[37] = floatBits(1.0f);  // FOGEND
    rs[38] = floatBits(1.0f);  // FOGDENSITY
    for (int i = 0; i < kRasterStateStages; ++i) {
        uint32_t* tss = states->stage[i];
        tss[kTssColorOp] = i == 0 ? kTopModulate : kTopDisable;
        tss[kTssColorArg1] = kTaTexture;
        tss[kTssColorArg2] = kTaCurrent;
        tss[kTssAlphaOp] = i == 0 ? kTopSelectArg1 : kTopDisable;
        tss[kTssAlphaArg1] = kTaTexture;
        tss[kTssAlphaArg2] = kTaCurrent;
        tss[kTssTexCoordIndex] = static_cast<uint32_t>(i);
        tss[kTssResultArg] = kTaCurrent;
    }
    for (int i = 0; i < kRasterSamplerCount; ++i) {
        uint32_t* ss = states->sampler[i];
        ss[kSampAddressU] = kAddressWrap;
        ss[kSampAddressV] = kAddressWrap;
        ss[kSampAddressW] = kAddressWrap;
        ss[kSampMagFilter] = kFilterPoint;
        ss[kSampMinFilter] = kFilterPoint;
        ss[kSampMipFilter] = kFilterNone;
        ss[10] = 1;  // MAXANISOTROPY
    }
}

}  // namespace platform
