// The pixel-shader route (pixel_route.h): set-up, the sampler the machine calls for texld, and
// the walk of a triangle in blocks of pixels.
//
// Routes: the general blocks (ShadeTriangleLanes) work out each lane's inputs one by one as the
// rules say and run the machine; they take every triangle with the fast routes off, and the
// affine ones always. The vector blocks (ShadeTriangleVectors) take perspective triangles with
// the fast routes on and give the same bits: inputs four lanes at a time, D16 and D24X8 depths
// quantised in lanes, the levels of detail once per 2x2 block (four blocks a step along a row),
// 32-bit levels sampled as the shaded spans sample them, the colours, vertex fog and writes of
// a block together, and the programs of the pack's form (MatchPackForm) run without the
// machine, their steps in its order.
#include "platform/d3d9/shaders/pixel_route.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/d3d9/raster_draw_internal.h"
#include "platform/d3d9/raster_lanes_internal.h"
#include "platform/d3d9/raster_projective_internal.h"
#include "platform/d3d9/raster_shaded_spans_internal.h"

namespace platform::raster_internal {
namespace {

using shader::kShaderLanes;
using shader::Lanes4;
using Step = ShaderBlockPlan::PackForm::Step;

struct BlockLod {
    float lod[kRasterTexCoordSets][kRasterSamplerCount][kShaderLanes];
    bool has[kRasterTexCoordSets] = {};
};

// The texel of a lane in 0..1 per channel.
void SetTexel(Lanes4* out, int l, uint32_t texel) {
    out->c[0][l] = static_cast<float>((texel >> 16) & 255) / 255.0f;
    out->c[1][l] = static_cast<float>((texel >> 8) & 255) / 255.0f;
    out->c[2][l] = static_cast<float>(texel & 255) / 255.0f;
    out->c[3][l] = static_cast<float>(texel >> 24) / 255.0f;
}

// The texels of a sampler at the active lanes' coordinates and levels of detail: with a plan,
// a sampler whose levels are all 32-bit samples them together as the shaded spans do (the
// same bits); the others lane by lane. A sampler without a texture reads opaque black.
void SampleTexels(const DrawSetup& s, const ShaderBlockPlan* plan, int sampler, const float* u,
                  const float* v, const float* lod, uint32_t active, uint32_t* texels) {
    const bool known =
        sampler >= 0 && sampler < kRasterSamplerCount && s.samplers[sampler].texture != nullptr;
    if (known && plan != nullptr && plan->fast[sampler]) {
        SampleLanes32(plan->samplers[sampler], u, v, lod, kShaderLanes, active, texels);
        return;
    }
    for (int l = 0; l < kShaderLanes; ++l) {
        if (active & (1u << l))
            texels[l] = known ? SampleRaster(s.samplers[sampler], u[l], v[l], lod[l]) : 0xFF000000u;
    }
}

// texld's sampler.
class RouteSampler final : public shader::ShaderSampler {
  public:
    RouteSampler(const DrawSetup& s, const BlockLod& lod, const ShaderBlockPlan* plan = nullptr)
        : s_(s), lod_(lod), plan_(plan) {}

    void Sample(int sampler, const shader::Operand& source, const Lanes4& coordinates,
                uint32_t control, uint32_t activeMask, Lanes4* out) const override {
        // A t# read as it is (no swizzle, no modifier) has its derivatives at hand.
        int set = -1;
        if (sampler >= 0 && sampler < kRasterSamplerCount &&
            source.file == shader::File::kTexCoord && source.index < kRasterTexCoordSets &&
            source.modifier == shader::kSrcNone && source.swizzle[0] == 0 &&
            source.swizzle[1] == 1 && lod_.has[source.index] && !(control & shader::kTexProject)) {
            set = source.index;
        }
        float u[kShaderLanes], v[kShaderLanes], lod[kShaderLanes];
        for (int l = 0; l < kShaderLanes; ++l) {
            u[l] = coordinates.c[0][l], v[l] = coordinates.c[1][l];
            if (control & shader::kTexProject) {
                float q = coordinates.c[3][l];
                u[l] = q != 0.0f ? u[l] / q : 0.0f;
                v[l] = q != 0.0f ? v[l] / q : 0.0f;
            }
            lod[l] = set >= 0 ? lod_.lod[set][sampler][l] : -64.0f;
            if (control & shader::kTexBias)
                lod[l] += coordinates.c[3][l];
        }
        uint32_t texels[kShaderLanes];
        SampleTexels(s_, plan_, sampler, u, v, lod, activeMask, texels);
        for (int l = 0; l < kShaderLanes; ++l) {
            if (activeMask & (1u << l))
                SetTexel(out, l, texels[l]);
        }
    }

  private:
    const DrawSetup& s_;
    const BlockLod& lod_;
    const ShaderBlockPlan* plan_;
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

namespace {

// The sets whose level of detail a sampler wants (with derivatives at hand); true when any.
bool WantLod(const DrawSetup& s, const shader::ShaderProgram& program, BlockLod* lod,
             bool* lodWanted) {
    bool any = false;
    for (int set = 0; set < kRasterTexCoordSets; ++set) {
        lodWanted[set] = false;
        for (int i = 0; i < kRasterSamplerCount; ++i) {
            if (program.readsTexCoord[set] && s.samplers[i].texture != nullptr &&
                s.samplers[i].needsLod) {
                lodWanted[set] = true;
                any = true;
            }
        }
        lod->has[set] = lodWanted[set];
    }
    return any;
}

// The registers at a triangle's start: what its pixels never change (the flat colours, and
// t# a lane beyond) and the outputs read even when unwritten.
void StartTriangle(const Triangle& t, const shader::ShaderProgram& program,
                   shader::ShaderRegisters* regs) {
    SetColour(&regs->inputs[0], 0, t.flatDiffuse);
    SetColour(&regs->inputs[1], 0, t.flatSpecular);
    for (int input = 0; input < 2; ++input) {
        for (int c = 0; c < 4; ++c) {
            float* lanes = regs->inputs[input].c[c];
            std::fill(lanes + 1, lanes + kShaderLanes, lanes[0]);
        }
    }
    for (int set = 0; set < shader::kMaxTexCoords; ++set) {
        if (program.readsTexCoord[set])
            std::memset(&regs->texCoords[set], 0, sizeof regs->texCoords[set]);
    }
    std::memset(&regs->outPixel[0], 0, sizeof regs->outPixel[0]);
    std::memset(&regs->outDepth, 0, sizeof regs->outDepth);
    std::memset(regs->killed, 0, sizeof regs->killed);
}

// Every triangle lane by lane in double and single precision as the rules say: the general
// blocks, which the vector blocks below must match.
void ShadeTriangleLanes(const DrawSetup& s, const Triangle& t, int32_t bandTop,
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
    bool lodWanted[kRasterTexCoordSets];
    bool anyLod = WantLod(s, program, &lod, lodWanted);
    StartTriangle(t, program, &regs);
    float z[kShaderLanes], w[kShaderLanes];
    uint32_t depth[kShaderLanes];
    int32_t fogAlpha[kShaderLanes];
    for (int32_t py = top; py <= bottom; ++py) {
        int64_t left, right;
        if (!ClippedTriangleSpan(t, s.clip, py, &left, &right))
            continue;
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

#if defined(__SSE2__)
// The levels of detail of the 2x2 blocks of a pair of rows, worked out at the first live
// pixel of a block and kept for its other three: every (set, sampler) pair a block column.
struct BlockLodRows {
    static constexpr int kPairs = kRasterTexCoordSets * kRasterSamplerCount;
    std::vector<uint32_t> stamps;
    std::vector<float> values;  // pairCount a column
    uint32_t current = 0;
    int32_t origin = 0;  // the block column of the clip's left edge
    // The (set, sampler) pairs whose levels of detail the triangle's pixels read.
    int pairCount = 0;
    int sets[kPairs] = {}, samplers[kPairs] = {};

    void StartTriangle(const DrawSetup& s, const bool* lodWanted) {
        pairCount = 0;
        for (int set = 0; set < kRasterTexCoordSets; ++set) {
            for (int i = 0; i < kRasterSamplerCount && lodWanted[set]; ++i) {
                if (s.samplers[i].texture != nullptr && s.samplers[i].needsLod) {
                    sets[pairCount] = set;
                    samplers[pairCount++] = i;
                }
            }
        }
        origin = s.clip.left >> 1;
        size_t columns = static_cast<size_t>(((s.clip.right - 1) >> 1) - origin + 1);
        if (stamps.size() < columns || values.size() < columns * kPairs) {
            stamps.assign(columns, 0);
            values.resize(columns * kPairs);
            current = 0;
        }
        NextPair();
    }
    void NextPair() {
        if (++current == 0) {
            std::fill(stamps.begin(), stamps.end(), 0);
            current = 1;
        }
    }
};

// A colour channel's plane at four pixels, rounded to 8 bits, as the shader reads it (0..1).
inline __m128 ColourLanes(const FloatPlane& p, float row, __m128 x, __m128 w) {
    __m128i c = RoundChannels(_mm_mul_ps(PlaneLanes(p, x, row), w));
    return _mm_div_ps(_mm_cvtepi32_ps(c), _mm_set1_ps(255.0f));
}

// b y + c of every plane a perspective triangle's pixels read, once a row.
struct RowTerms {
    float rhw;
    float diffuse[4], specular[4];
    float u[kRasterTexCoordSets], v[kRasterTexCoordSets], q[kRasterTexCoordSets];
};

RowTerms TermsOf(const Triangle& t, float y) {
    RowTerms r;
    r.rhw = RowOf(t.fplanes[kAttrRhw], y);
    for (int c = 0; c < 4; ++c) {
        r.diffuse[c] = RowOf(t.fplanes[kAttrDiffuse + c], y);
        r.specular[c] = RowOf(t.fplanes[kAttrSpecular + c], y);
    }
    for (int set = 0; set < kRasterTexCoordSets; ++set) {
        r.u[set] = RowOf(t.fplanes[kAttrTex + 2 * set], y);
        r.v[set] = RowOf(t.fplanes[kAttrTex + 2 * set + 1], y);
        r.q[set] = RowOf(t.fplanes[kAttrTexQ + set], y);
    }
    return r;
}

// The inputs of four lanes from lane `first` of a block at x0: PerspectiveLane's values.
void InterpolateLanes(const DrawSetup& s, const Triangle& t, const shader::ShaderProgram& program,
                      const RowTerms& row, int64_t x0, int first, shader::ShaderRegisters* regs,
                      int32_t* fogAlpha) {
    const __m128 x = _mm_cvtepi32_ps(
        _mm_add_epi32(_mm_set1_epi32(static_cast<int32_t>(x0 + first)), _mm_set_epi32(3, 2, 1, 0)));
    const __m128 q = PlaneLanes(t.fplanes[kAttrRhw], x, row.rhw);
    const __m128 w =
        _mm_and_ps(_mm_div_ps(_mm_set1_ps(1.0f), q), _mm_cmpneq_ps(q, _mm_setzero_ps()));
    if (!s.flat) {
        for (int c = 0; c < 4; ++c) {
            if (program.readsInput[0]) {
                _mm_store_ps(&regs->inputs[0].c[c][first],
                             ColourLanes(t.fplanes[kAttrDiffuse + c], row.diffuse[c], x, w));
            }
            if (program.readsInput[1]) {
                _mm_store_ps(&regs->inputs[1].c[c][first],
                             ColourLanes(t.fplanes[kAttrSpecular + c], row.specular[c], x, w));
            }
        }
    }
    __m128i fog = _mm_set1_epi32(255);
    if (s.fog == FogSource::kVertex) {
        fog = s.flat ? _mm_set1_epi32(t.flatSpecular.a)
                     : RoundChannels(_mm_mul_ps(
                           PlaneLanes(t.fplanes[kAttrSpecular + 3], x, row.specular[3]), w));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(fogAlpha + first), fog);
    for (int set = 0; set < kRasterTexCoordSets; ++set) {
        if (!program.readsTexCoord[set])
            continue;
        Lanes4& r = regs->texCoords[set];
        _mm_store_ps(&r.c[0][first],
                     _mm_mul_ps(PlaneLanes(t.fplanes[kAttrTex + 2 * set], x, row.u[set]), w));
        _mm_store_ps(&r.c[1][first],
                     _mm_mul_ps(PlaneLanes(t.fplanes[kAttrTex + 2 * set + 1], x, row.v[set]), w));
        _mm_store_ps(&r.c[3][first],
                     _mm_mul_ps(PlaneLanes(t.fplanes[kAttrTexQ + set], x, row.q[set]), w));
    }
}

// The levels of detail of the 2x2 blocks that row py's pixels left..right fall in and that the
// pair of rows has not met yet, four blocks a step (PerspectiveLod's values).
void FillBlockLods(const DrawSetup& s, const Triangle& t, int32_t py, int64_t left, int64_t right,
                   BlockLodRows* rows) {
    const float by = static_cast<float>(py & ~1);
    const int64_t first = (left >> 1) - rows->origin, last = (right >> 1) - rows->origin;
    const size_t pairs = static_cast<size_t>(rows->pairCount);
    alignas(16) float lods[4];
    for (int64_t c0 = first; c0 <= last; c0 += 4) {
        const int64_t end = std::min(c0 + 3, last);
        bool fresh = false;
        for (int64_t c = c0; c <= end; ++c)
            fresh = fresh || rows->stamps[static_cast<size_t>(c)] != rows->current;
        if (!fresh)
            continue;
        const float column = static_cast<float>(c0 + rows->origin);
        const __m128 x = _mm_mul_ps(
            _mm_add_ps(_mm_set1_ps(column), _mm_set_ps(3.0f, 2.0f, 1.0f, 0.0f)), _mm_set1_ps(2.0f));
        for (size_t k = 0; k < pairs; ++k) {
            const int set = rows->sets[k], i = rows->samplers[k];
            _mm_store_ps(lods, PerspectiveLodLanes(t, set, *s.samplers[i].texture, x, by));
            for (int64_t c = c0; c <= end; ++c)
                rows->values[static_cast<size_t>(c) * pairs + k] = lods[c - c0];
        }
        for (int64_t c = c0; c <= end; ++c)
            rows->stamps[static_cast<size_t>(c)] = rows->current;
    }
}

// The live lanes' levels of detail, their blocks'.
void BlockLods(int64_t x0, uint32_t active, const BlockLodRows& rows, BlockLod* lod) {
    const size_t pairs = static_cast<size_t>(rows.pairCount);
    for (int l = 0; l < kShaderLanes; ++l) {
        if (!(active & (1u << l)))
            continue;
        const int64_t column = ((x0 + l) >> 1) - rows.origin;
        const float* kept = &rows.values[static_cast<size_t>(column) * pairs];
        for (size_t k = 0; k < pairs; ++k)
            lod->lod[rows.sets[k]][rows.samplers[k]][l] = kept[k];
    }
}

// ToChannel of four lanes: NaN and v <= 0 give 0, v >= 1 gives 255, the rest v 255 + 0.5
// truncated.
inline __m128i ChannelLanes(const float* v) {
    const __m128 x = _mm_load_ps(v);
    const __m128i live = _mm_castps_si128(_mm_cmpgt_ps(x, _mm_setzero_ps()));
    const __m128i full = _mm_castps_si128(_mm_cmpge_ps(x, _mm_set1_ps(1.0f)));
    const __m128 scaled = _mm_add_ps(_mm_mul_ps(x, _mm_set1_ps(255.0f)), _mm_set1_ps(0.5f));
    const __m128i r = _mm_and_si128(_mm_cvttps_epi32(scaled), live);
    return _mm_or_si128(_mm_andnot_si128(full, r), _mm_and_si128(full, _mm_set1_epi32(255)));
}

// oC0 of lanes first .. first + 3 as A8R8G8B8, and with the vertex fog factors applied (FogMix
// channel by channel, the alpha kept).
void ColoursOf(const DrawSetup& s, const Lanes4& o, int first, const int32_t* fogAlpha,
               uint32_t* plain, uint32_t* fogged) {
    const __m128i r = ChannelLanes(&o.c[0][first]), g = ChannelLanes(&o.c[1][first]);
    const __m128i b = ChannelLanes(&o.c[2][first]), a = ChannelLanes(&o.c[3][first]);
    auto pack = [&](__m128i pr, __m128i pg, __m128i pb) {
        return _mm_or_si128(_mm_or_si128(_mm_slli_epi32(a, 24), _mm_slli_epi32(pr, 16)),
                            _mm_or_si128(_mm_slli_epi32(pg, 8), pb));
    };
    _mm_storeu_si128(reinterpret_cast<__m128i*>(plain + first), pack(r, g, b));
    if (s.fog != FogSource::kVertex)
        return;
    const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fogAlpha + first));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(fogged + first),
                     pack(FogMixLanes(r, f, s.fogColor.r), FogMixLanes(g, f, s.fogColor.g),
                          FogMixLanes(b, f, s.fogColor.b)));
}

// FinishLane for the live lanes of a block whose depth was tested before the shader: the
// colours worked out four lanes at a time, then the alpha test, depth write, table fog and
// the write lane by lane.
[[gnu::flatten]] void FinishBlock(const DrawSetup& s, const shader::ShaderRegisters& regs,
                                  uint32_t active, int64_t x0, int32_t py, const uint32_t* depth,
                                  const float* z, const float* w, const int32_t* fogAlpha) {
    alignas(16) uint32_t plain[kShaderLanes], fogged[kShaderLanes];
    ColoursOf(s, regs.outPixel[0], 0, fogAlpha, plain, fogged);
    if (active >> 4)
        ColoursOf(s, regs.outPixel[0], 4, fogAlpha, plain, fogged);
    const uint32_t* colours = s.fog == FogSource::kVertex ? fogged : plain;
    const RasterSurface& target = s.target.color;
    const RasterSurface& depths = s.target.depth;
    uint32_t* out =
        reinterpret_cast<uint32_t*>(target.bits + static_cast<intptr_t>(py) * target.pitch);
    uint8_t* depthRow =
        s.depthWrite ? depths.bits + static_cast<intptr_t>(py) * depths.pitch : nullptr;
    const intptr_t depthBytes = RasterBytesPerPixel(depths.format);
    const WriteMode& mode = s.write;
    for (int l = 0; l < kShaderLanes; ++l) {
        if (!(active & (1u << l)) || regs.killed[l])
            continue;
        const int32_t px = static_cast<int32_t>(x0 + l);
        uint32_t c = colours[l];
        if (s.alphaTest && !RasterCompare(s.alphaFunc, c >> 24, s.alphaRef))
            continue;
        if (s.depthWrite)
            StoreDepth(depths.format, depthRow + depthBytes * px, depth[l]);
        if (s.fog == FogSource::kTable) {
            RasterColor fogged =
                ApplyFog(ColorFromArgb(c), s.fogColor, TableFogAlpha(s, s.fogFromW ? w[l] : z[l]));
            c = ArgbFromColor(fogged);
        }
        if (!mode.direct) {
            WriteColour(s, mode, px, py, c);
        } else if (mode.blendOff) {
            out[px] = c | mode.targetOr;
        } else {
            out[px] = BlendQuadPixel(mode.blend, c, out[px] | mode.targetOr) | mode.targetOr;
        }
    }
}

// A texel channel in 0..1, as the machine's texld gives it.
inline __m128 TexelChannel(__m128i texels, int shift) {
    const __m128i c = _mm_and_si128(_mm_srli_epi32(texels, shift), _mm_set1_epi32(255));
    return _mm_div_ps(_mm_cvtepi32_ps(c), _mm_set1_ps(255.0f));
}

// A program of the pack's forms over the block's active lanes into oC0: the machine's
// instructions channel by channel, four lanes a step.
void RunPackForm(const DrawSetup& s, const ShaderBlockPlan& plan, const BlockLod& lod,
                 const shader::ShaderConstants& constants, uint32_t active,
                 shader::ShaderRegisters* regs) {
    static const float kNoLod[kShaderLanes] = {-64.0f, -64.0f, -64.0f, -64.0f,
                                               -64.0f, -64.0f, -64.0f, -64.0f};
    const ShaderBlockPlan::PackForm& form = plan.pack;
    const Lanes4& t0 = regs->texCoords[0];
    alignas(16) uint32_t first[kShaderLanes] = {}, second[kShaderLanes] = {};
    SampleTexels(s, &plan, 0, t0.c[0], t0.c[1], lod.has[0] ? lod.lod[0][0] : kNoLod, active, first);
    if (form.second) {
        SampleTexels(s, &plan, 1, t0.c[0], t0.c[1], lod.has[0] ? lod.lod[0][1] : kNoLod, active,
                     second);
    }
    constexpr int kShifts[4] = {16, 8, 0, 24};  // r, g, b, a of A8R8G8B8
    for (int h = 0; h < kShaderLanes; h += 4) {
        if (!((active >> h) & 15))
            continue;
        const __m128i a = _mm_load_si128(reinterpret_cast<const __m128i*>(first + h));
        const __m128i b = _mm_load_si128(reinterpret_cast<const __m128i*>(second + h));
        // Step by step over the four channels: each channel sees the machine's order.
        __m128 r[4];
        for (int c = 0; c < 4; ++c)
            r[c] = TexelChannel(a, kShifts[c]);
        for (int i = 0; i < form.stepCount; ++i) {
            const int channels = form.colourOnly[i] ? 3 : 4;
            switch (form.steps[i]) {
                case Step::kDiffuse:
                    for (int c = 0; c < channels; ++c)
                        r[c] = _mm_mul_ps(r[c], _mm_load_ps(&regs->inputs[0].c[c][h]));
                    break;
                case Step::kSecondTexel:
                    for (int c = 0; c < channels; ++c)
                        r[c] = _mm_mul_ps(r[c], TexelChannel(b, kShifts[c]));
                    break;
                case Step::kSpecular:
                    for (int c = 0; c < channels; ++c)
                        r[c] = _mm_add_ps(r[c], _mm_load_ps(&regs->inputs[1].c[c][h]));
                    break;
                case Step::kConstant: {
                    const float* k = constants.f[form.constants[i]];
                    for (int c = 0; c < channels; ++c)
                        r[c] = _mm_mul_ps(r[c], _mm_set1_ps(k[c]));
                    break;
                }
            }
        }
        for (int c = 0; c < 4; ++c)
            _mm_store_ps(&regs->outPixel[0].c[c][h], r[c]);
    }
}

// A perspective triangle's blocks with their inputs worked out four lanes at a time, the
// levels of detail once per 2x2 block and the texels of 32-bit levels as the shaded spans
// sample them: the general blocks' pixels, bit for bit.
void ShadeTriangleVectors(const DrawSetup& s, const Triangle& t, const ShaderBlockPlan& plan,
                          int32_t bandTop, int32_t bandBottom) {
    const shader::ShaderProgram& program = *s.pixelShader->program;
    const shader::ShaderConstants& constants = *s.pixelShader->constants;
    thread_local shader::ShaderRegisters regs;
    thread_local BlockLod lod;
    thread_local BlockLodRows lodRows;
    RouteSampler sampler(s, lod, &plan);
    const int32_t top = std::max(t.top, bandTop);
    const int32_t bottom = std::min(t.bottom, bandBottom - 1);
    const bool lateDepth = program.writesDepth;
    const bool earlyDepth = s.depthTest && !lateDepth;
    const bool wantW = s.fog == FogSource::kTable && s.fogFromW;
    bool lodWanted[kRasterTexCoordSets];
    const bool anyLod = WantLod(s, program, &lod, lodWanted);
    StartTriangle(t, program, &regs);
    if (anyLod)
        lodRows.StartTriangle(s, lodWanted);
    alignas(16) float z[kShaderLanes], w[kShaderLanes];
    alignas(16) int32_t fogAlpha[kShaderLanes];
    uint32_t depth[kShaderLanes] = {};
    for (int l = 0; l < kShaderLanes; ++l)
        z[l] = 0.0f, w[l] = 1.0f;
    const bool wantZ = s.fog == FogSource::kTable && !s.fogFromW;
    const uint32_t depthFormat = s.target.depth.format;
    const intptr_t depthBytes = RasterBytesPerPixel(depthFormat);
    // D16 and D24X8 depths are quantised four at a time.
    double depthScale = 0.0;
    if (earlyDepth && depthFormat == kFmtD16)
        depthScale = 65535.0;
    else if (earlyDepth && depthFormat == kFmtD24X8)
        depthScale = 16777215.0;
    for (int32_t py = top; py <= bottom; ++py) {
        if (anyLod && py != top && (py & 1) == 0)
            lodRows.NextPair();
        int64_t left, right;
        if (!ClippedTriangleSpan(t, s.clip, py, &left, &right))
            continue;
        const double y = py;
        const RowTerms row = TermsOf(t, static_cast<float>(py));
        const RowPlane zRow = OnRow(t.planes[kAttrZ], y);
        if (anyLod)
            FillBlockLods(s, t, py, left, right, &lodRows);
        const uint8_t* depthRow =
            earlyDepth ? s.target.depth.bits + static_cast<intptr_t>(py) * s.target.depth.pitch
                       : nullptr;
        for (int64_t x0 = left; x0 <= right; x0 += kShaderLanes) {
            const int lanes = static_cast<int>(std::min<int64_t>(kShaderLanes, right - x0 + 1));
            if (depthScale != 0.0) {
                DepthLanes(zRow, x0, s.depthBias, t.slopeBias, depthScale, depth);
                if (lanes > 4)
                    DepthLanes(zRow, x0 + 4, s.depthBias, t.slopeBias, depthScale, depth + 4);
            }
            uint32_t active = 0;
            for (int l = 0; l < lanes; ++l) {
                const int64_t px = x0 + l;
                const double x = static_cast<double>(px);
                if (wantZ)
                    z[l] = static_cast<float>(zRow.At(x));
                if (wantW) {
                    double q = t.planes[kAttrRhw].At(x, y);
                    w[l] = static_cast<float>(q != 0.0 ? 1.0 / q : 0.0);
                }
                if (earlyDepth) {
                    if (depthScale == 0.0) {
                        const float zl = static_cast<float>(zRow.At(x));
                        depth[l] = QuantizeDepth(depthFormat, zl + s.depthBias + t.slopeBias);
                    }
                    if (!RasterCompare(s.zFunc, depth[l],
                                       LoadDepth(depthFormat, depthRow + depthBytes * px)))
                        continue;
                }
                active |= 1u << l;
            }
            if (active == 0)
                continue;
            InterpolateLanes(s, t, program, row, x0, 0, &regs, fogAlpha);
            if (lanes > 4)
                InterpolateLanes(s, t, program, row, x0, 4, &regs, fogAlpha);
            if (anyLod)
                BlockLods(x0, active, lodRows, &lod);
            if (plan.pack.matched) {
                RunPackForm(s, plan, lod, constants, active, &regs);
            } else {
                shader::ResetBlock(program, &regs);
                shader::RunShader(program, constants, &regs, active, &sampler);
            }
            if (!lateDepth) {
                FinishBlock(s, regs, active, x0, py, depth, z, w, fogAlpha);
                continue;
            }
            for (int l = 0; l < lanes; ++l) {
                if (active & (1u << l)) {
                    FinishLane(s, regs, l, static_cast<int32_t>(x0 + l), py,
                               {depth[l], z[l], w[l], t.slopeBias, fogAlpha[l]}, lateDepth);
                }
            }
        }
    }
}
#endif

}  // namespace

namespace {

using shader::File;

bool IsPlain(const shader::Operand& o, File file, int index) {
    return o.file == file && o.index == index && o.modifier == shader::kSrcNone &&
           o.relative == File::kNone && o.swizzle[0] == 0 && o.swizzle[1] == 1 &&
           o.swizzle[2] == 2 && o.swizzle[3] == 3;
}

bool Writes(const shader::Instruction& in, File file, int index, uint8_t mask) {
    return in.dst.file == file && in.dst.index == index && in.dst.mask == mask &&
           !in.dst.saturate && in.dst.shift == 0;
}

bool PlainTexld(const shader::Instruction& in, int temp, int sampler) {
    return in.op == shader::kOpTex && in.control == 0 && Writes(in, File::kTemp, temp, 0xF) &&
           IsPlain(in.src[0], File::kTexCoord, 0) && in.src[1].file == File::kSampler &&
           in.src[1].index == sampler;
}

}  // namespace

namespace {

// A step of the chain: r0 (or r0.xyz) = r0 x (either order) with x v0, r1 (once s1 is sampled)
// or a constant, or r0.xyz = r0 + v1; the last step writes the whole of oC0 and is a product.
bool ChainStep(const shader::Instruction& in, bool last, bool second, Step* step, int* constant,
               bool* colourOnly) {
    if (in.sourceCount != 2)
        return false;
    const bool product = in.op == shader::kOpMul;
    if (!product && (in.op != shader::kOpAdd || last))
        return false;
    *colourOnly = !last && Writes(in, File::kTemp, 0, 0x7);
    const bool intoR0 = *colourOnly || (product && Writes(in, File::kTemp, 0, 0xF));
    if (last ? !Writes(in, File::kOutPixel, 0, 0xF) : !intoR0)
        return false;
    int other;
    if (IsPlain(in.src[0], File::kTemp, 0))
        other = 1;
    else if (IsPlain(in.src[1], File::kTemp, 0))
        other = 0;
    else
        return false;
    const shader::Operand& x = in.src[other];
    if (!product) {
        *step = Step::kSpecular;
        return IsPlain(x, File::kInput, 1);
    }
    if (IsPlain(x, File::kInput, 0)) {
        *step = Step::kDiffuse;
        return true;
    }
    if (second && IsPlain(x, File::kTemp, 1)) {
        *step = Step::kSecondTexel;
        return true;
    }
    *step = Step::kConstant;
    *constant = x.index;
    return IsPlain(x, File::kConst, x.index) && x.index < shader::kPixelFloatConstants;
}

}  // namespace

ShaderBlockPlan::PackForm MatchPackForm(const shader::ShaderProgram& p) {
    ShaderBlockPlan::PackForm form;
    const std::vector<shader::Instruction>& code = p.code;
    if (p.writesDepth || p.usesTexKill || p.mainEnd != static_cast<int32_t>(code.size()) ||
        code.size() < 2 || !PlainTexld(code[0], 0, 0)) {
        return form;
    }
    for (size_t at = 1; at < code.size(); ++at) {
        if (!form.second && PlainTexld(code[at], 1, 1)) {
            form.second = true;
            continue;
        }
        const bool last = at + 1 == code.size();
        int& count = form.stepCount;
        if (count == ShaderBlockPlan::PackForm::kMaxSteps ||
            !ChainStep(code[at], last, form.second, &form.steps[count], &form.constants[count],
                       &form.colourOnly[count])) {
            return ShaderBlockPlan::PackForm();
        }
        ++count;
        form.matched = last;
    }
    return form;
}

void CompileShaderBlockPlan(const DrawSetup& s, ShaderBlockPlan* plan) {
    for (int i = 0; i < kRasterSamplerCount; ++i) {
        plan->fast[i] =
            s.samplers[i].texture != nullptr && CompileSampler32(s.samplers[i], &plan->samplers[i]);
    }
    plan->pack = MatchPackForm(*s.pixelShader->program);
}

void RasterTriangleShaded(const DrawSetup& s, const Triangle& t, int32_t bandTop,
                          int32_t bandBottom, const ShaderBlockPlan* plan) {
#if defined(__SSE2__)
    if (plan != nullptr && t.perspective) {
        ShadeTriangleVectors(s, t, *plan, bandTop, bandBottom);
        return;
    }
#endif
    ShadeTriangleLanes(s, t, bandTop, bandBottom);
}

}  // namespace platform::raster_internal
