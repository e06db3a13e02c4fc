// The pixel-shader route (pixel_route.h): set-up, the sampler the machine calls for texld, and
// the walk of a triangle in blocks of pixels.
#include "platform/d3d9/shaders/pixel_route.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/d3d9/raster_draw_internal.h"
#include "platform/d3d9/raster_projective_internal.h"

namespace platform::raster_internal {
namespace {

using shader::kShaderLanes;
using shader::Lanes4;

struct BlockLod {
    float lod[kRasterTexCoordSets][kRasterSamplerCount][kShaderLanes];
    bool has[kRasterTexCoordSets] = {};
};

class RouteSampler final : public shader::ShaderSampler {
  public:
    RouteSampler(const DrawSetup& s, const BlockLod& lod) : s_(s), lod_(lod) {}

    void Sample(int sampler, const shader::Operand& source, const Lanes4& coordinates,
                uint32_t control, uint32_t activeMask, Lanes4* out) const override {
        bool known = sampler >= 0 && sampler < kRasterSamplerCount &&
                     s_.samplers[sampler].texture != nullptr;
        // A t# read as it is (no swizzle, no modifier) has its derivatives at hand.
        int set = -1;
        if (source.file == shader::File::kTexCoord && source.index < kRasterTexCoordSets &&
            source.modifier == shader::kSrcNone && source.swizzle[0] == 0 &&
            source.swizzle[1] == 1 && lod_.has[source.index] && !(control & shader::kTexProject)) {
            set = source.index;
        }
        for (int l = 0; l < kShaderLanes; ++l) {
            if (!(activeMask & (1u << l)))
                continue;
            uint32_t texel = 0xFF000000u;
            if (known) {
                float u = coordinates.c[0][l], v = coordinates.c[1][l];
                if (control & shader::kTexProject) {
                    float q = coordinates.c[3][l];
                    u = q != 0.0f ? u / q : 0.0f;
                    v = q != 0.0f ? v / q : 0.0f;
                }
                float lod = set >= 0 ? lod_.lod[set][sampler][l] : -64.0f;
                if (control & shader::kTexBias)
                    lod += coordinates.c[3][l];
                texel = SampleRaster(s_.samplers[sampler], u, v, lod);
            }
            out->c[0][l] = static_cast<float>((texel >> 16) & 255) / 255.0f;
            out->c[1][l] = static_cast<float>((texel >> 8) & 255) / 255.0f;
            out->c[2][l] = static_cast<float>(texel & 255) / 255.0f;
            out->c[3][l] = static_cast<float>(texel >> 24) / 255.0f;
        }
    }

  private:
    const DrawSetup& s_;
    const BlockLod& lod_;
};

int32_t ToChannel(float v) {
    if (!(v > 0.0f))
        return 0;
    if (v >= 1.0f)
        return 255;
    return static_cast<int32_t>(v * 255.0f + 0.5f);
}

// The plane's value at a pixel, perspective-correct (w = 1 / interpolated rhw, or 1).
inline double At(const Triangle& t, int attr, double x, double y, double w) {
    return t.planes[attr].At(x, y) * w;
}

void SetColour(Lanes4* reg, int lane, const RasterColor& c) {
    reg->c[0][lane] = static_cast<float>(c.r) / 255.0f;
    reg->c[1][lane] = static_cast<float>(c.g) / 255.0f;
    reg->c[2][lane] = static_cast<float>(c.b) / 255.0f;
    reg->c[3][lane] = static_cast<float>(c.a) / 255.0f;
}

struct LaneDepth {
    uint32_t depth;  // the interpolated depth quantised, when tested before the shader
    float z, w, slopeBias;
    int32_t fogAlpha;
};

// After the shader: texkill, oDepth's test, oC0 to 8 bits, alpha test, depth write, fog and
// the write, as the fixed path finishes a pixel.
void FinishLane(const DrawSetup& s, const shader::ShaderRegisters& regs, int l, int32_t px,
                int32_t py, LaneDepth d, bool lateDepth) {
    if (regs.killed[l])
        return;
    if (lateDepth && s.depthTest &&
        !DepthPasses(s, px, py, regs.outDepth.c[0][l], d.slopeBias, &d.depth)) {
        return;
    }
    const Lanes4& o = regs.outPixel[0];
    RasterColor c{ToChannel(o.c[0][l]), ToChannel(o.c[1][l]), ToChannel(o.c[2][l]),
                  ToChannel(o.c[3][l])};
    if (s.alphaTest && !RasterCompare(s.alphaFunc, static_cast<uint32_t>(c.a), s.alphaRef))
        return;
    if (s.depthWrite)
        WriteRasterDepth(s.target.depth, px, py, d.depth);
    if (s.fog == FogSource::kVertex)
        c = ApplyFog(c, s.fogColor, d.fogAlpha);
    else if (s.fog == FogSource::kTable)
        c = ApplyFog(c, s.fogColor, TableFogAlpha(s, s.fogFromW ? d.w : d.z));
    WriteColour(s, s.write, px, py, ArgbFromColor(c));
}

}  // namespace

void ShadeOnePixel(const DrawSetup& s, int32_t x, int32_t y, const PixelInputs& in) {
    const shader::ShaderProgram& program = *s.pixelShader->program;
    bool lateDepth = program.writesDepth;
    LaneDepth d{0, in.z, in.w, in.slopeBias, in.fogAlpha};
    if (s.depthTest && !lateDepth && !DepthPasses(s, x, y, in.z, in.slopeBias, &d.depth))
        return;
    thread_local shader::ShaderRegisters regs;
    thread_local BlockLod lod;  // no derivatives here: level MAXMIPLEVEL's magnification
    RouteSampler sampler(s, lod);
    shader::ResetOutputs(&regs);
    SetColour(&regs.inputs[0], 0, in.diffuse);
    SetColour(&regs.inputs[1], 0, in.specular);
    for (int set = 0; set < shader::kMaxTexCoords; ++set) {
        bool carried = set < kRasterTexCoordSets;
        regs.texCoords[set].c[0][0] = carried ? in.u[set] : 0.0f;
        regs.texCoords[set].c[1][0] = carried ? in.v[set] : 0.0f;
        regs.texCoords[set].c[2][0] = 0.0f;
        regs.texCoords[set].c[3][0] = 1.0f;
    }
    shader::RunShader(program, *s.pixelShader->constants, &regs, 1u, &sampler);
    FinishLane(s, regs, 0, x, y, d, lateDepth);
}

void CompileShadedSetup(const RasterStates& states, DrawSetup* s) {
    s->pixelShader = states.pixelShader;
    const shader::ShaderProgram& p = *states.pixelShader->program;
    s->anyTexture = false;
    for (int i = 0; i < kRasterStageCount; ++i) {
        s->needTexture[i] = false;
        s->pointLevel[i] = nullptr;
    }
    for (int i = 0; i < kRasterSamplerCount; ++i) {
        s->samplers[i] = RasterSampler{};
        if (p.samplerTypes[i] != 0)
            CompileRasterSampler(states, i, &s->samplers[i]);
    }
    for (int k = 0; k < kAttrCount; ++k)
        s->planeUsed[k] = false;
    s->planeUsed[kAttrZ] = s->planeUsed[kAttrRhw] = true;
    for (int c = 0; c < 4; ++c) {
        s->planeUsed[kAttrDiffuse + c] = !s->flat && p.readsInput[0];
        s->planeUsed[kAttrSpecular + c] = !s->flat && p.readsInput[1];
    }
    if (s->fog == FogSource::kVertex && !s->flat)
        s->planeUsed[kAttrSpecular + 3] = true;
    for (int set = 0; set < kRasterTexCoordSets; ++set) {
        s->texSetUsed[set] = p.readsTexCoord[set];
        s->texProjected[set] = false;
        if (!p.readsTexCoord[set])
            continue;
        s->planeUsed[kAttrTex + 2 * set] = s->planeUsed[kAttrTex + 2 * set + 1] = true;
        s->planeUsed[kAttrTexQ + set] = true;
    }
}

namespace {

// A lane's inputs at a pixel of a perspective triangle, by the single-precision rule that the
// fixed pipeline's paths follow (raster_projective_internal.h).
void PerspectiveLane(const DrawSetup& s, const Triangle& t, const shader::ShaderProgram& program,
                     const bool* lodWanted, int64_t px, int32_t py, int l,
                     shader::ShaderRegisters* regs, BlockLod* lod, int32_t* fogAlpha) {
    const float x = static_cast<float>(px), y = static_cast<float>(py);
    const float w = PerspectiveW(t, x, y);
    if (!s.flat) {
        if (program.readsInput[0])
            SetColour(&regs->inputs[0], l, PerspectiveColour(t, kAttrDiffuse, x, y, w));
        if (program.readsInput[1])
            SetColour(&regs->inputs[1], l, PerspectiveColour(t, kAttrSpecular, x, y, w));
    }
    *fogAlpha = s.fog != FogSource::kVertex
                    ? 255
                    : (s.flat ? t.flatSpecular.a
                              : RoundChannelF(FloatAt(t.fplanes[kAttrSpecular + 3], x, y) * w));
    for (int set = 0; set < kRasterTexCoordSets; ++set) {
        if (!program.readsTexCoord[set])
            continue;
        regs->texCoords[set].c[0][l] = FloatAt(t.fplanes[kAttrTex + 2 * set], x, y) * w;
        regs->texCoords[set].c[1][l] = FloatAt(t.fplanes[kAttrTex + 2 * set + 1], x, y) * w;
        regs->texCoords[set].c[3][l] = FloatAt(t.fplanes[kAttrTexQ + set], x, y) * w;
        if (!lodWanted[set])
            continue;
        for (int i = 0; i < kRasterSamplerCount; ++i) {
            if (s.samplers[i].texture == nullptr || !s.samplers[i].needsLod)
                continue;
            lod->lod[set][i][l] =
                PerspectiveLod(s, t, set, *s.samplers[i].texture, static_cast<int32_t>(px), py);
        }
    }
}

}  // namespace

void RasterTriangleShaded(const DrawSetup& s, const Triangle& t, int32_t bandTop,
                          int32_t bandBottom) {
    const shader::ShaderProgram& program = *s.pixelShader->program;
    const shader::ShaderConstants& constants = *s.pixelShader->constants;
    thread_local shader::ShaderRegisters regs;
    thread_local BlockLod lod;
    RouteSampler sampler(s, lod);
    int32_t top = std::max(t.top, bandTop);
    int32_t bottom = std::min(t.bottom, bandBottom - 1);
    bool gouraud = !s.flat;
    bool lateDepth = program.writesDepth;
    bool vertexFog = s.fog == FogSource::kVertex;
    bool lodWanted[kRasterTexCoordSets] = {};
    bool anyLod = false;
    for (int set = 0; set < kRasterTexCoordSets; ++set) {
        for (int i = 0; i < kRasterSamplerCount; ++i) {
            if (program.readsTexCoord[set] && s.samplers[i].texture != nullptr &&
                s.samplers[i].needsLod) {
                lodWanted[set] = true;
                anyLod = true;
            }
        }
        lod.has[set] = lodWanted[set];
    }
    // Pixels the colours and sets never change in: the flat colours, and t# a lane beyond.
    for (int l = 0; l < kShaderLanes; ++l) {
        SetColour(&regs.inputs[0], l, t.flatDiffuse);
        SetColour(&regs.inputs[1], l, t.flatSpecular);
        for (int set = 0; set < shader::kMaxTexCoords; ++set) {
            for (int c = 0; c < 4; ++c)
                regs.texCoords[set].c[c][l] = 0.0f;
        }
    }
    std::memset(&regs.outPixel[0], 0, sizeof regs.outPixel[0]);  // read even when unwritten
    std::memset(&regs.outDepth, 0, sizeof regs.outDepth);
    float z[kShaderLanes], w[kShaderLanes];
    uint32_t depth[kShaderLanes];
    int32_t fogAlpha[kShaderLanes];
    for (int32_t py = top; py <= bottom; ++py) {
        int64_t left, right;
        if (!TriangleSpan(t, py, &left, &right))
            continue;
        left = std::max<int64_t>(left, s.clip.left);
        right = std::min<int64_t>(right, s.clip.right - 1);
        double y = py;
        for (int64_t x0 = left; x0 <= right; x0 += kShaderLanes) {
            int lanes = static_cast<int>(std::min<int64_t>(kShaderLanes, right - x0 + 1));
            uint32_t active = 0;
            for (int l = 0; l < lanes; ++l) {
                double x = static_cast<double>(x0 + l);
                double pw = 1.0;
                if (t.perspective) {
                    double q = t.planes[kAttrRhw].At(x, y);
                    pw = q != 0.0 ? 1.0 / q : 0.0;
                }
                w[l] = static_cast<float>(pw);
                z[l] = static_cast<float>(t.planes[kAttrZ].At(x, y));
                if (s.depthTest && !lateDepth &&
                    !DepthPasses(s, static_cast<int32_t>(x0 + l), py, z[l], t.slopeBias,
                                 &depth[l])) {
                    continue;
                }
                active |= 1u << l;
                if (t.perspective) {
                    PerspectiveLane(s, t, program, lodWanted, x0 + l, py, l, &regs, &lod,
                                    &fogAlpha[l]);
                    continue;
                }
                if (gouraud) {
                    RasterColor d{RoundChannel(At(t, kAttrDiffuse + 0, x, y, pw)),
                                  RoundChannel(At(t, kAttrDiffuse + 1, x, y, pw)),
                                  RoundChannel(At(t, kAttrDiffuse + 2, x, y, pw)),
                                  RoundChannel(At(t, kAttrDiffuse + 3, x, y, pw))};
                    if (program.readsInput[0])
                        SetColour(&regs.inputs[0], l, d);
                    if (program.readsInput[1]) {
                        RasterColor sp{RoundChannel(At(t, kAttrSpecular + 0, x, y, pw)),
                                       RoundChannel(At(t, kAttrSpecular + 1, x, y, pw)),
                                       RoundChannel(At(t, kAttrSpecular + 2, x, y, pw)),
                                       RoundChannel(At(t, kAttrSpecular + 3, x, y, pw))};
                        SetColour(&regs.inputs[1], l, sp);
                    }
                }
                fogAlpha[l] = vertexFog
                                  ? (gouraud ? RoundChannel(At(t, kAttrSpecular + 3, x, y, pw))
                                             : t.flatSpecular.a)
                                  : 255;
                for (int set = 0; set < kRasterTexCoordSets; ++set) {
                    if (!program.readsTexCoord[set])
                        continue;
                    regs.texCoords[set].c[0][l] =
                        static_cast<float>(At(t, kAttrTex + 2 * set, x, y, pw));
                    regs.texCoords[set].c[1][l] =
                        static_cast<float>(At(t, kAttrTex + 2 * set + 1, x, y, pw));
                    regs.texCoords[set].c[3][l] =
                        static_cast<float>(At(t, kAttrTexQ + set, x, y, pw));
                    if (!anyLod || !lodWanted[set])
                        continue;
                    SetAtPixel c = CoordinatesAt(s, t, set, x, y, pw, true);
                    for (int i = 0; i < kRasterSamplerCount; ++i) {
                        if (s.samplers[i].texture == nullptr || !s.samplers[i].needsLod)
                            continue;
                        lod.lod[set][i][l] = static_cast<float>(
                            LodFor(c.dudx, c.dvdx, c.dudy, c.dvdy, *s.samplers[i].texture));
                    }
                }
            }
            if (active == 0)
                continue;
            shader::ResetBlock(program, &regs);
            shader::RunShader(program, constants, &regs, active, &sampler);
            for (int l = 0; l < lanes; ++l) {
                if (active & (1u << l)) {
                    FinishLane(s, regs, l, static_cast<int32_t>(x0 + l), py,
                               {depth[l], z[l], w[l], t.slopeBias, fogAlpha[l]}, lateDepth);
                }
            }
        }
    }
}

}  // namespace platform::raster_internal
