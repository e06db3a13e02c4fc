// The fast routes and the choice among them. The rules are in raster_draw.h; every route
// gives the pixels the per-pixel path (raster_pipeline.cpp) gives.
//
// Routes, chosen per draw and per primitive:
// - DrawRasterPrimitives compiles the states once (CompileSetup, with the write mode) and
//   sends points, lines and triangles to their assemblers.
// - DrawTriangles pairs list triangles into axis-aligned quads (MakeQuad) when the fast routes
//   are on, the vertices are in screen space and the program reads at most stage 0's texture
//   point sampled or linear without mipmaps (QuadProgramFits); other triangles are set up as
//   edge functions and attribute planes, clip-space ones after clipping.
// - RasterItems runs the quads and triangles of a band of rows (all rows, or one band per
//   thread when the draw is large; each pixel stays with one thread, in primitive order):
//   - a quad: RasterQuadRows. When the kernels fit (KernelsFit: a 32-bit target, or a 16-bit
//     one whose pixels survive widening, reached a widened row at a time (KernelOnTarget); no
//     depth test; blending off, SRCALPHA/INVSRCALPHA, SRCALPHA/ONE with ADD or REVSUBTRACT,
//     or the multiply and invert blends (raster_kernels.h); a program that is a tint of the
//     texel; any alpha test), point-sampled quads of 32-bit
//     texels go to the whole-quad kernel (QuadWithKernel, raster_kernels.h), other formats
//     and border texels to it a sampled row at a time (SampledRowWithKernel), untextured
//     quads with a row of their colour (FlatWithKernel), linear ones of 32-bit texels to the
//     two-pass bilinear kernels (LinearQuadWithKernels; fused with the blend on 32-bit
//     targets, DrawBilinearQuad); the rest row by row through a
//     per-channel texel table (TexelMap) and the per-pixel write;
//   - an affine, one-colour triangle reading one texture without mipmaps, or none:
//     RasterTriangleSpans. Where the kernels fit, each span goes through the quad kernel:
//     32-bit point-sampled texels by their offsets (SpanTexelOffsets), anything else sampled
//     into a row first (32-bit linear texels by LinearSpanSamples, or onto a 32-bit target
//     all the triangle's spans in one call of the fused kernel, DrawLinearSpans); otherwise
//     pixel by pixel;
//   - any other triangle on a 32-bit target whose blend the write mode computes in place, with
//     32-bit texels or none: RasterShadedSpans (raster_shaded_spans.cpp);
//   - any other triangle: RasterTriangleRows, the general per-pixel path (ShadeAndWrite).
// - SetRasterFastQuadsEnabled(false) sends everything down the general path with the reference
//   blend of raster_pixel.h; tests compare the two, and check by the route counts
//   (RasterRouteCount) that the route they meant to compare ran.
//
#include "platform/d3d9/raster_shaded_spans_internal.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace platform::raster_internal {

bool SameColours(const RasterVertex* v[], int count, bool specular) {
    for (int i = 1; i < count; ++i) {
        if (v[i]->diffuse != v[0]->diffuse)
            return false;
        if (specular && v[i]->specular != v[0]->specular)
            return false;
    }
    return true;
}

bool Culled(const DrawSetup& s, const RasterVertex* a, const RasterVertex* b,
            const RasterVertex* c) {
    double area = (static_cast<double>(b->x) - a->x) * (static_cast<double>(c->y) - a->y) -
                  (static_cast<double>(c->x) - a->x) * (static_cast<double>(b->y) - a->y);
    if (area == 0.0)
        return true;
    if (s.cull == kCullCw && area > 0)
        return true;
    if (s.cull == kCullCcw && area < 0)
        return true;
    return false;
}

// Does the program read the texture of stage 0 only, through set 0 or 1, point sampled?
bool QuadProgramFits(const DrawSetup& s) {
    if (s.pixelShader != nullptr)
        return false;
    // Fog and projected coordinates are the per-pixel path's alone.
    if (s.fog != FogSource::kNone)
        return false;
    for (int set = 0; set < kRasterTexCoordSets; ++set) {
        if (s.texProjected[set] && s.texSetUsed[set])
            return false;
    }
    for (int i = 1; i < s.program.stageCount; ++i) {
        if (s.needTexture[i])
            return false;
    }
    if (!s.needTexture[0])
        return true;
    const RasterSampler& sm = s.samplers[0];
    // Without a mip chain and with both filters alike, the magnification filter is the filter.
    if (sm.texture == nullptr || sm.needsLod)
        return false;
    if (sm.texture->levelCount <= 0)
        return false;
    return s.texSet[0] < kRasterTexCoordSets;
}

// The u and v planes of a list triangle as SetupTriangle makes them (snapped positions, the
// same vertex order); false when it is degenerate.
bool TexturePlanes(const RasterVertex* const* v, uint32_t set, Plane* pu, Plane* pv) {
    int64_t X[3], Y[3];
    double tu[3], tv[3];
    for (int i = 0; i < 3; ++i) {
        X[i] = Snap(v[i]->x);
        Y[i] = Snap(v[i]->y);
        tu[i] = v[i]->tex[set][0];
        tv[i] = v[i]->tex[set][1];
    }
    int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
    if (area == 0)
        return false;
    if (area < 0) {
        std::swap(X[1], X[2]);
        std::swap(Y[1], Y[2]);
        std::swap(tu[1], tu[2]);
        std::swap(tv[1], tv[2]);
    }
    double xs[3], ys[3];
    for (int i = 0; i < 3; ++i) {
        xs[i] = static_cast<double>(X[i]) / kSubPixel;
        ys[i] = static_cast<double>(Y[i]) / kSubPixel;
    }
    *pu = MakePlane(xs, ys, tu[0], tu[1], tu[2]);
    *pv = MakePlane(xs, ys, tv[0], tv[1], tv[2]);
    return true;
}

// A texture coordinate along one axis of a quad: float(step i + at0) at pixel i.
struct AxisMap {
    double step, at0;
    float At(int32_t i) const { return static_cast<float>(step * i + at0); }
};

// Do the two maps give the same samples at pixels first .. last - 1? Mostly they give the same
// coordinates; where rounding parts them, the texels (or the linear taps and weight) decide.
bool SameSamples(const AxisMap maps[2], int32_t first, int32_t last, int32_t size, uint32_t mode,
                 bool linear) {
    if (maps[0].step == maps[1].step && maps[0].at0 == maps[1].at0)
        return true;
    for (int32_t i = first; i < last; ++i) {
        float a = maps[0].At(i), b = maps[1].At(i);
        if (a == b)
            continue;
        if (linear) {
            LinearTaps ta = LinearTapsFor(a, size, mode), tb = LinearTapsFor(b, size, mode);
            if (ta.first != tb.first || ta.second != tb.second || ta.weight != tb.weight)
                return false;
        } else if (AddressRasterTexel(RasterTexelIndex(a, size), size, mode) !=
                   AddressRasterTexel(RasterTexelIndex(b, size), size, mode)) {
            return false;
        }
    }
    return true;
}

// Two list triangles whose union is an axis-aligned rectangle with an axis-following texture
// mapping, one colour and one depth become a Quad.
bool MakeQuad(const DrawSetup& s, const RasterVertex* v[6], Quad* q) {
    if (Culled(s, v[0], v[1], v[2]) || Culled(s, v[3], v[4], v[5]))
        return false;
    float xs[2] = {v[0]->x, v[0]->x};
    float ys[2] = {v[0]->y, v[0]->y};
    for (int i = 1; i < 6; ++i) {
        xs[0] = std::min(xs[0], v[i]->x);
        xs[1] = std::max(xs[1], v[i]->x);
        ys[0] = std::min(ys[0], v[i]->y);
        ys[1] = std::max(ys[1], v[i]->y);
    }
    if (!(xs[0] < xs[1] && ys[0] < ys[1]))
        return false;
    // Every vertex must be a corner; each triangle must hold three different corners and the
    // two shared corners must be diagonal.
    int corner[6];
    for (int i = 0; i < 6; ++i) {
        int cx = v[i]->x == xs[0] ? 0 : (v[i]->x == xs[1] ? 1 : -1);
        int cy = v[i]->y == ys[0] ? 0 : (v[i]->y == ys[1] ? 1 : -1);
        if (cx < 0 || cy < 0)
            return false;
        corner[i] = cx + 2 * cy;
    }
    for (int t = 0; t < 2; ++t) {
        int a = corner[3 * t], b = corner[3 * t + 1], c = corner[3 * t + 2];
        if (a == b || b == c || a == c)
            return false;
    }
    int missing0 = 6 - corner[0] - corner[1] - corner[2];  // the corner triangle 0 lacks
    int missing1 = 6 - corner[3] - corner[4] - corner[5];
    if (missing0 + missing1 != 3)
        return false;  // they must lack opposite corners
    float rhw = v[0]->rhw;
    float z = v[0]->z;
    for (int i = 1; i < 6; ++i) {
        if (v[i]->rhw != rhw)
            return false;
        if (s.depthTest && v[i]->z != z)
            return false;
    }
    bool specular = s.program.usesSpecular;
    if (s.flat) {
        const RasterVertex* firsts[2] = {v[0], v[3]};
        if (!SameColours(firsts, 2, specular))
            return false;
    } else if (!SameColours(v, 6, specular)) {
        return false;
    }
    if (s.needTexture[0]) {
        uint32_t set = s.texSet[0];
        float u[2] = {}, vv[2] = {};
        bool seenU[2] = {}, seenV[2] = {};
        for (int i = 0; i < 6; ++i) {
            int cx = corner[i] & 1, cy = corner[i] >> 1;
            float tu = v[i]->tex[set][0], tv = v[i]->tex[set][1];
            if (seenU[cx] && u[cx] != tu)
                return false;
            if (seenV[cy] && vv[cy] != tv)
                return false;
            u[cx] = tu;
            vv[cy] = tv;
            seenU[cx] = seenV[cy] = true;
        }
    }
    if (std::fabs(xs[0]) >= kGuardBand || std::fabs(xs[1]) >= kGuardBand ||
        std::fabs(ys[0]) >= kGuardBand || std::fabs(ys[1]) >= kGuardBand) {
        return false;
    }
    // Top-left rule on a rectangle: centres on the left and top edges count, right and bottom
    // do not, so the pixels are ceil(x0) .. ceil(x1) - 1 on the snapped grid.
    q->left = static_cast<int32_t>(CeilDiv(Snap(xs[0]), kSubPixel));
    q->right = static_cast<int32_t>(CeilDiv(Snap(xs[1]), kSubPixel));
    q->top = static_cast<int32_t>(CeilDiv(Snap(ys[0]), kSubPixel));
    q->bottom = static_cast<int32_t>(CeilDiv(Snap(ys[1]), kSubPixel));
    if (s.needTexture[0]) {
        // The general path interpolates each triangle's own planes, in which u follows x alone
        // and v y alone (the other coefficient is zero to the bit), so its u at column px is
        // float(a px + c) with its triangle's a and c. The two triangles' planes agree but
        // for rounding; the quad takes the first's where both give the same samples on every
        // visible column and row.
        Plane pu[2], pv[2];
        uint32_t set = s.texSet[0];
        if (!TexturePlanes(v, set, &pu[0], &pv[0]) || !TexturePlanes(v + 3, set, &pu[1], &pv[1]))
            return false;
        if (!(pu[0].b == 0.0 && pu[1].b == 0.0 && pv[0].a == 0.0 && pv[1].a == 0.0))
            return false;
        const RasterSampler& sm = s.samplers[0];
        const RasterSurface& level =
            sm.texture->levels[std::clamp(sm.baseLevel, 0, sm.texture->levelCount - 1)];
        bool linear = IsLinearFilter(sm.magFilter);
        AxisMap columns[2] = {{pu[0].a, pu[0].c}, {pu[1].a, pu[1].c}};
        AxisMap rows[2] = {{pv[0].b, pv[0].c}, {pv[1].b, pv[1].c}};
        if (!SameSamples(columns, std::max(q->left, s.clip.left), std::min(q->right, s.clip.right),
                         level.width, sm.addressU, linear) ||
            !SameSamples(rows, std::max(q->top, s.clip.top), std::min(q->bottom, s.clip.bottom),
                         level.height, sm.addressV, linear)) {
            return false;
        }
        q->dudx = pu[0].a;
        q->u0 = pu[0].c;
        q->dvdy = pv[0].b;
        q->v0 = pv[0].c;
    }
    q->diffuse = ColorFromArgb(v[0]->diffuse);
    q->specular = ColorFromArgb(v[0]->specular);
    q->z = z;
    return true;
}

// How the colour of a quad pixel follows from its texel.
struct TexelMap {
    bool identity = false;  // the texel itself
    bool table = false;     // each channel through its own table
    uint8_t lut[4][256];    // r, g, b, a
    // The kernels' form of the tables, when every channel is round(t k / 255) or a constant:
    // TintTexel(texel, tint) | constant (raster_kernels.h).
    bool tinted = false;
    uint32_t tint = 0xFFFFFFFFu;
    uint32_t constant = 0;
};

// Finds the tint form of the tables; false when some channel has none.
bool FindTint(TexelMap* m) {
    uint32_t tint = 0, constant = 0;
    const int shifts[4] = {16, 8, 0, 24};
    for (int c = 0; c < 4; ++c) {
        const uint8_t* lut = m->lut[c];
        bool flat = true;
        bool scaled = true;
        int32_t k = lut[255];
        for (int i = 0; i < 256; ++i) {
            flat = flat && lut[i] == lut[0];
            scaled = scaled && lut[i] == DivRound255(i * k);
        }
        if (scaled) {
            tint |= static_cast<uint32_t>(k) << shifts[c];
        } else if (flat) {
            constant |= static_cast<uint32_t>(lut[0]) << shifts[c];
        } else {
            return false;
        }
    }
    m->tint = tint;
    m->constant = constant;
    return true;
}

// True when every output channel depends on the same channel of the texel alone.
bool ProgramIsSeparable(const DrawSetup& s) {
    if (s.program.stageCount != 1)
        return false;
    const RasterStageProgram::Stage& st = s.program.stages[0];
    if (st.resultToTemp)
        return false;
    if (st.colorOp == kTopBlendTextureAlpha)
        return false;
    auto replicatesTexture = [](uint32_t arg) {
        return (arg & kTaSelectMask) == kTaTexture && (arg & kTaAlphaReplicate);
    };
    return !replicatesTexture(st.colorArg1) && !replicatesTexture(st.colorArg2);
}

void BuildTexelMap(const DrawSetup& s, RasterColor diffuse, RasterColor specular, TexelMap* m) {
    m->identity = false;
    m->table = false;
    m->tinted = false;
    m->tint = 0xFFFFFFFFu;
    m->constant = 0;
    if (!s.needTexture[0] || !ProgramIsSeparable(s))
        return;
    bool identity = true;
    for (int i = 0; i < 256; ++i) {
        RasterColor t{i, i, i, i};
        RasterColor c = RunStageProgram(s.program, &t, diffuse, specular);
        m->lut[0][i] = static_cast<uint8_t>(c.r);
        m->lut[1][i] = static_cast<uint8_t>(c.g);
        m->lut[2][i] = static_cast<uint8_t>(c.b);
        m->lut[3][i] = static_cast<uint8_t>(c.a);
        identity = identity && c.r == i && c.g == i && c.b == i && c.a == i;
    }
    m->identity = identity;
    m->table = !identity;
    m->tinted = identity || FindTint(m);
}

inline uint32_t MapTexel(const DrawSetup& s, const TexelMap& m, RasterColor diffuse,
                         RasterColor specular, uint32_t texel) {
    if (m.identity)
        return texel;
    if (m.table) {
        return (static_cast<uint32_t>(m.lut[3][texel >> 24]) << 24) |
               (static_cast<uint32_t>(m.lut[0][(texel >> 16) & 255]) << 16) |
               (static_cast<uint32_t>(m.lut[1][(texel >> 8) & 255]) << 8) | m.lut[2][texel & 255];
    }
    RasterColor t = ColorFromArgb(texel);
    RasterColor textures[kRasterStageCount] = {t, t, t, t};
    return ArgbFromColor(RunStageProgram(s.program, textures, diffuse, specular));
}

// What the rows of one band keep from primitive to primitive; one a thread, kept from draw to
// draw so that its rows are allocated once rather than for every small draw.
struct RowScratch {
    std::vector<int32_t> columns;
    std::vector<int32_t> rows;
    std::vector<const uint32_t*> rowPointers;
    std::vector<uint32_t> colourRow;  // one colour, or sampled texels, for the quad kernel
    std::vector<LinearSpanRow> spanRows;
    // The texel map of the primitive's colours, in the thread's known maps (valid until the
    // next lookup, which alone replaces a known map), and the colours it was made for. Reset
    // at the start of every draw: the map depends on the draw's program too.
    const TexelMap* map = nullptr;
    RasterColor mapDiffuse;
    RasterColor mapSpecular;
    bool mapValid = false;
    // Primitives by route, added to the counts once a band is done.
    uint64_t routes[static_cast<int>(RasterRoute::kCount)] = {};
    void Took(RasterRoute route) { ++routes[static_cast<int>(route)]; }
};

bool SameColour(const RasterColor& a, const RasterColor& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

bool SameStage(const RasterStageProgram::Stage& a, const RasterStageProgram::Stage& b) {
    return a.colorOp == b.colorOp && a.colorArg1 == b.colorArg1 && a.colorArg2 == b.colorArg2 &&
           a.alphaOp == b.alphaOp && a.alphaArg1 == b.alphaArg1 && a.alphaArg2 == b.alphaArg2 &&
           a.resultToTemp == b.resultToTemp && a.texCoordIndex == b.texCoordIndex &&
           a.usesTexture == b.usesTexture;
}

bool SameProgram(const RasterStageProgram& a, const RasterStageProgram& b) {
    if (a.stageCount != b.stageCount || a.textureFactor != b.textureFactor ||
        a.specularAdd != b.specularAdd || a.usesDiffuse != b.usesDiffuse ||
        a.usesSpecular != b.usesSpecular) {
        return false;
    }
    for (int i = 0; i < a.stageCount; ++i) {
        if (!SameStage(a.stages[i], b.stages[i]))
            return false;
    }
    return true;
}

// The texel maps a thread built, as a map depends only on the program, the texture's presence
// and the two colours: a frame of many small draws in a few dozen colours and programs builds
// each once (a map runs the program 256 times, more than a small sprite's pixels). They are
// kept in sets of a few by a hash of that key; a full set gives up its oldest.
struct KnownTexelMap {
    bool filled = false;
    RasterStageProgram program;
    bool textured = false;
    RasterColor diffuse;
    RasterColor specular;
    TexelMap map;
};
constexpr int kKnownTexelMapSetBits = 5;
constexpr int kKnownTexelMapWays = 4;
struct KnownTexelMaps {
    KnownTexelMap sets[1 << kKnownTexelMapSetBits][kKnownTexelMapWays];
    int oldest[1 << kKnownTexelMapSetBits] = {};
};

uint32_t ColourKey(const RasterColor& c) {
    return static_cast<uint32_t>(c.r) ^ (static_cast<uint32_t>(c.g) << 8) ^
           (static_cast<uint32_t>(c.b) << 16) ^ (static_cast<uint32_t>(c.a) << 24);
}

// Equal keys (as FindOrBuildTexelMap compares them) give equal sets.
int KnownTexelMapSet(const DrawSetup& s, RasterColor diffuse, RasterColor specular) {
    uint32_t h = ColourKey(diffuse) * 0x9E3779B1u;
    h = (h ^ ColourKey(specular)) * 0x85EBCA77u;
    h = (h ^ s.program.textureFactor ^ static_cast<uint32_t>(s.program.stageCount) ^
         (s.needTexture[0] ? 0x100u : 0u)) *
        0xC2B2AE3Du;
    if (s.program.stageCount > 0) {
        const RasterStageProgram::Stage& st = s.program.stages[0];
        h = (h ^ st.colorOp ^ (st.colorArg1 << 5) ^ (st.colorArg2 << 10) ^ (st.alphaOp << 15) ^
             (st.alphaArg1 << 20) ^ (st.alphaArg2 << 25)) *
            0x27D4EB2Fu;
    }
    return static_cast<int>(h >> (32 - kKnownTexelMapSetBits));
}

// The known map of the key, built in place of the set's oldest when it is missing.
const TexelMap* FindOrBuildTexelMap(const DrawSetup& s, RasterColor diffuse, RasterColor specular) {
    // On the heap: a thread that never builds a map does not carry them.
    thread_local std::unique_ptr<KnownTexelMaps> known;
    if (known == nullptr)
        known = std::make_unique<KnownTexelMaps>();
    const int set = KnownTexelMapSet(s, diffuse, specular);
    KnownTexelMap* ways = known->sets[set];
    for (int i = 0; i < kKnownTexelMapWays; ++i) {
        const KnownTexelMap& k = ways[i];
        if (k.filled && k.textured == s.needTexture[0] && SameColour(k.diffuse, diffuse) &&
            SameColour(k.specular, specular) && SameProgram(k.program, s.program)) {
            return &k.map;
        }
    }
    int& oldest = known->oldest[set];
    KnownTexelMap& slot = ways[oldest];
    BuildTexelMap(s, diffuse, specular, &slot.map);
    slot.filled = true;
    slot.program = s.program;
    slot.textured = s.needTexture[0];
    slot.diffuse = diffuse;
    slot.specular = specular;
    oldest = (oldest + 1) % kKnownTexelMapWays;
    return &slot.map;
}

const TexelMap& MapFor(const DrawSetup& s, RowScratch* scratch, RasterColor diffuse,
                       RasterColor specular) {
    if (!scratch->mapValid || !SameColour(scratch->mapDiffuse, diffuse) ||
        !SameColour(scratch->mapSpecular, specular)) {
        scratch->map = FindOrBuildTexelMap(s, diffuse, specular);
        scratch->mapDiffuse = diffuse;
        scratch->mapSpecular = specular;
        scratch->mapValid = true;
    }
    return *scratch->map;
}

// The kernel settings of a draw: how a texel (ORed with alphaOr) becomes the colour, the alpha
// test and the blend. The caller fills in the pixels.
QuadTexels KernelSettings(const DrawSetup& s, const TexelMap* map, uint32_t alphaOr) {
    QuadTexels k;
    k.alphaOr = alphaOr;
    if (map != nullptr && !map->identity) {
        k.tint = map->tint;
        k.constant = map->constant;
    }
    k.targetOr = s.write.targetOr;
    k.blend = s.write.blend;
    if (s.alphaTest) {
        k.alphaFunc = s.alphaFunc;
        k.alphaRef = s.alphaRef;
    }
    return k;
}

// Does a draw suit the kernels: a 32-bit target, no depth test, a blend they compute, and
// (when textured: map not null) a program they can express as a tint?
bool KernelsFit(const DrawSetup& s, const TexelMap* map) {
    if (s.depthTest || !(s.write.argbTarget || s.write.rowTarget) || !s.write.kernelBlend)
        return false;
    return map == nullptr || map->tinted;
}

// Runs a kernel whose pixels k holds on the rectangle of the target at (left, top), k.width
// by k.height. A 16-bit target goes a row at a time through a widened copy: read as the
// per-pixel path reads it, drawn, and written back as it writes (every pixel: those the kernel
// left narrow back to their own bits).
void KernelOnTarget(const DrawSetup& s, QuadTexels k, int32_t left, int32_t top) {
    const RasterSurface& target = s.target.color;
    if (s.write.argbTarget) {
        k.out =
            reinterpret_cast<uint32_t*>(target.bits + static_cast<intptr_t>(top) * target.pitch) +
            left;
        k.outPitch = target.pitch / 4;
        DrawQuadTexels(k);
        return;
    }
    thread_local std::vector<uint32_t> wide;
    wide.resize(static_cast<size_t>(k.width));
    const uint32_t* const* texRows = k.texRows;
    int32_t height = k.height;
    k.out = wide.data();
    k.height = 1;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t i = 0; i < k.width; ++i)
            wide[i] = ReadRasterTexel(target, left + i, top + y);
        k.texRows = texRows + y;
        DrawQuadTexels(k);
        for (int32_t i = 0; i < k.width; ++i)
            WriteRasterPixel(target, left + i, top + y, wide[i]);
    }
}

// A row of sampled texels (alpha already widened) through the quad kernel onto row y of the
// target from column x.
void SampledRowWithKernel(const DrawSetup& s, const TexelMap& map, const uint32_t* texels,
                          int32_t x, int32_t y, int32_t n) {
    QuadTexels k = KernelSettings(s, &map, 0);
    k.texRows = &texels;
    k.width = n;
    k.height = 1;
    k.rowLength = n;
    KernelOnTarget(s, k, x, y);
}

// One colour over a rectangle of the target by the kernel: every row reads a row of it.
void FlatWithKernel(const DrawSetup& s, uint32_t colour, int32_t left, int32_t top, int32_t width,
                    int32_t height, RowScratch* scratch) {
    scratch->colourRow.assign(static_cast<size_t>(width), colour);
    const uint32_t* row = scratch->colourRow.data();
    scratch->rowPointers.assign(static_cast<size_t>(height), row);
    QuadTexels k = KernelSettings(s, nullptr, 0);
    k.texRows = scratch->rowPointers.data();
    k.width = width;
    k.height = height;
    k.rowLength = width;
    KernelOnTarget(s, k, left, top);
}

// out[i] = AddressRasterTexel(RasterTexelIndex(float(a0 + step * (first + i)), size), size, mode)
// for i < count; true when they run out[0], out[0] + 1, ... The coordinate is linear in i and the
// conversions keep its order, so when both ends are in range every index is, and the checks of
// the general functions can be skipped. One texel a pixel (step * size == 1), the indices are
// out[0] + i as long as no coordinate comes near a texel edge: the float rounding moves a
// scaled coordinate x by at most |x| 2^-24, far inside the margin kept below.
bool TexelIndices(double a0, double step, int32_t first, int32_t count, int32_t size, uint32_t mode,
                  int32_t* out) {
    auto scaled = [&](int32_t i) {
        return static_cast<double>(static_cast<float>(a0 + step * (first + i))) * size;
    };
    double e0 = scaled(0), e1 = scaled(count - 1);
    bool inRange = e0 >= 0.0 && e1 >= 0.0 && e0 < size && e1 < size;
    if (inRange && step * size == 1.0) {
        double whole = std::floor(e0);
        double margin = (std::fabs(e0) + count + 1.0) * 0x1p-20;
        double fraction = e0 - whole;
        auto start = static_cast<int32_t>(whole);
        if (fraction > margin && fraction < 1.0 - margin &&
            static_cast<int32_t>(e1) == start + count - 1) {
            for (int32_t i = 0; i < count; ++i) {
                out[i] = start + i;
            }
            return true;
        }
    }
    if (!inRange) {
        for (int32_t i = 0; i < count; ++i) {
            float u = static_cast<float>(a0 + step * (first + i));
            out[i] = AddressRasterTexel(RasterTexelIndex(u, size), size, mode);
        }
    } else {
        for (int32_t i = 0; i < count; ++i) {
            // Non-negative here, so truncation is floor.
            out[i] = static_cast<int32_t>(scaled(i));
        }
    }
    for (int32_t i = 1; i < count; ++i) {
        if (out[i] != out[0] + i) {
            return false;
        }
    }
    return true;
}

// For a span of n pixels from column left: the offset in texels of the texel each pixel reads,
// computed as RasterTriangleRows computes it. When the two ends lie inside the texture every
// pixel does (the coordinates are linear along the span and every conversion keeps their
// order) and the address modes have nothing to do; otherwise each pixel goes through them.
// False when some pixel reads the border colour.
bool SpanTexelOffsets(const Plane& pu, const Plane& pv, double uy, double vy, int64_t left,
                      int32_t n, const RasterSurface& level, const RasterSampler& sm,
                      std::vector<int32_t>* offsets) {
    const double w = level.width, h = level.height;
    auto su = [&](int64_t px) {
        return static_cast<double>(static_cast<float>(pu.a * static_cast<double>(px) + uy + pu.c)) *
               w;
    };
    auto sv = [&](int64_t px) {
        return static_cast<double>(static_cast<float>(pv.a * static_cast<double>(px) + vy + pv.c)) *
               h;
    };
    int32_t pitch = level.pitch / 4;
    offsets->resize(static_cast<size_t>(n));
    int32_t* out = offsets->data();
    double u0 = su(left), u1 = su(left + n - 1), v0 = sv(left), v1 = sv(left + n - 1);
    if (u0 >= 0.0 && u1 >= 0.0 && u0 < w && u1 < w && v0 >= 0.0 && v1 >= 0.0 && v0 < h && v1 < h) {
        SpanMapping m = {pu.a, uy, pu.c, pv.a, vy, pv.c, w, h, pitch};
        SpanTexelOffsetsInside(out, left, n, m);
        return true;
    }
    for (int32_t i = 0; i < n; ++i) {
        double x = static_cast<double>(left + i);
        float u = static_cast<float>(pu.a * x + uy + pu.c);
        float v = static_cast<float>(pv.a * x + vy + pv.c);
        int32_t tx = AddressRasterTexel(RasterTexelIndex(u, level.width), level.width, sm.addressU);
        int32_t ty =
            AddressRasterTexel(RasterTexelIndex(v, level.height), level.height, sm.addressV);
        if (tx < 0 || ty < 0)
            return false;
        out[i] = ty * pitch + tx;
    }
    return true;
}

// A triangle's spans of linear samples of 32-bit texels onto a 32-bit target, all its rows
// in one call of the fused kernel: the pixels of the spans' own loop (RasterTriangleSpans)
// sampling each span into a row and handing it to the quad kernel.
void LinearTriangleSpans(const DrawSetup& s, const Triangle& t, const TexelMap& map,
                         const RasterSurface& level, uint32_t alphaOr, int32_t top, int32_t bottom,
                         RowScratch* scratch) {
    const RasterSampler& sm = s.samplers[0];
    const Plane& pu = t.planes[kAttrTex + 2 * s.texSet[0]];
    const Plane& pv = t.planes[kAttrTex + 2 * s.texSet[0] + 1];
    std::vector<LinearSpanRow>& rows = scratch->spanRows;
    rows.clear();
    for (int32_t py = top; py <= bottom; ++py) {
        int64_t left, right;
        if (!ClippedTriangleSpan(t, s.clip, py, &left, &right))
            continue;
        if (right < left)
            continue;
        double y = py;
        rows.push_back({py, static_cast<int32_t>(left), static_cast<int32_t>(right - left + 1),
                        pu.b * y, pv.b * y});
    }
    const RasterSurface& target = s.target.color;
    LinearSpans spans;
    spans.writer = KernelSettings(s, &map, 0);
    spans.writer.out = reinterpret_cast<uint32_t*>(target.bits);
    spans.writer.outPitch = target.pitch / 4;
    spans.sampling = {pu.a,        0.0,           pu.c,        pv.a,
                      0.0,         pv.c,          level.bits,  level.pitch / 4,
                      level.width, level.height,  sm.addressU, sm.addressV,
                      alphaOr,     sm.borderColor};
    spans.rows = rows.data();
    spans.rowCount = static_cast<int32_t>(rows.size());
    DrawLinearSpans(spans);
    scratch->Took(RasterRoute::kLinearSpans);
}

// An affine triangle of one colour whose program reads one point-sampled texture (or none):
// the pixels of RasterTriangleRows, computed with the same expressions, without its general
// per-pixel machinery.
void RasterTriangleSpans(const DrawSetup& s, const Triangle& t, int32_t bandTop, int32_t bandBottom,
                         RowScratch* scratch) {
    int32_t top = std::max(t.top, bandTop);
    int32_t bottom = std::min(t.bottom, bandBottom - 1);
    bool textured = s.needTexture[0];
    const RasterSampler& sm = s.samplers[0];
    const RasterSurface* level = nullptr;
    const TexelMap* map = nullptr;
    uint32_t flatColour = 0;
    const Plane* pu = nullptr;
    const Plane* pv = nullptr;
    if (textured) {
        int32_t l = std::clamp(sm.baseLevel, 0, sm.texture->levelCount - 1);
        level = &sm.texture->levels[l];
        if (level->bits == nullptr || level->width <= 0 || level->height <= 0)
            return;
        map = &MapFor(s, scratch, t.flatDiffuse, t.flatSpecular);
        pu = &t.planes[kAttrTex + 2 * s.texSet[0]];
        pv = &t.planes[kAttrTex + 2 * s.texSet[0] + 1];
    } else {
        flatColour =
            ArgbFromColor(RunStageProgram(s.program, nullptr, t.flatDiffuse, t.flatSpecular));
    }
    bool argbTexel = textured && IsArgb32(level->format);
    uint32_t alphaOr = (argbTexel && level->format == kFmtX8R8G8B8) ? 0xFF000000u : 0u;
    const WriteMode& w = s.write;
    const Plane& pz = t.planes[kAttrZ];
    // Whole spans at once through the quad kernel, one row high: the one colour, 32-bit texels
    // by their offsets, or texels sampled one by one into a row.
    bool runs = KernelsFit(s, map);
    bool linear = textured && IsLinearFilter(sm.magFilter);
    bool offsets = argbTexel && !linear && level->pitch % 4 == 0;
    // Linear samples of 32-bit texels a span at a time (the level of detail plays no part
    // here, as the spans' programs are checked to read no mip chain).
    bool linearSpans = argbTexel && linear && level->pitch % 4 == 0;
    if (runs && linearSpans && w.argbTarget) {
        LinearTriangleSpans(s, t, *map, *level, alphaOr, top, bottom, scratch);
        return;
    }
    for (int32_t py = top; py <= bottom; ++py) {
        int64_t left, right;
        if (!ClippedTriangleSpan(t, s.clip, py, &left, &right))
            continue;
        double y = py;
        // Plane::At is (a x + b y) + c; the b y terms are the same along the row.
        double uy = textured ? pu->b * y : 0.0;
        double vy = textured ? pv->b * y : 0.0;
        double zy = pz.b * y;
        int32_t n = static_cast<int32_t>(right - left + 1);
        if (runs && n > 0 && !textured) {
            FlatWithKernel(s, flatColour, static_cast<int32_t>(left), py, n, 1, scratch);
            continue;
        }
        if (runs && n > 0 &&
            !(offsets &&
              SpanTexelOffsets(*pu, *pv, uy, vy, left, n, *level, sm, &scratch->columns))) {
            scratch->colourRow.resize(static_cast<size_t>(n));
            uint32_t* texels = scratch->colourRow.data();
            if (linearSpans) {
                LinearSpan span = {pu->a,        uy,
                                   pu->c,        pv->a,
                                   vy,           pv->c,
                                   level->bits,  level->pitch / 4,
                                   level->width, level->height,
                                   sm.addressU,  sm.addressV,
                                   alphaOr,      sm.borderColor};
                LinearSpanSamples(texels, left, n, span);
                SampledRowWithKernel(s, *map, texels, static_cast<int32_t>(left), py, n);
                continue;
            }
            for (int32_t i = 0; i < n; ++i) {
                double x = static_cast<double>(left + i);
                float u = static_cast<float>(pu->a * x + uy + pu->c);
                float v = static_cast<float>(pv->a * x + vy + pv->c);
                texels[i] = SampleRaster(sm, u, v, 0.0f);
            }
            SampledRowWithKernel(s, *map, texels, static_cast<int32_t>(left), py, n);
            continue;
        }
        if (runs && n > 0) {
            const uint32_t* texels = reinterpret_cast<const uint32_t*>(level->bits);
            const int32_t* offsets = scratch->columns.data();
            QuadTexels span = KernelSettings(s, map, alphaOr);
            span.texRows = &texels;
            span.cols = offsets;
            span.width = n;
            span.height = 1;
            // The offsets count from the level's first texel: its rows are one long row.
            span.rowLength = level->pitch / 4 * level->height;
            KernelOnTarget(s, span, static_cast<int32_t>(left), py);
            continue;
        }
        for (int64_t px = left; px <= right; ++px) {
            double x = static_cast<double>(px);
            int32_t ix = static_cast<int32_t>(px);
            uint32_t depth = 0;
            if (s.depthTest) {
                float z = static_cast<float>(pz.a * x + zy + pz.c);
                depth = QuantizeRasterDepth(s.target.depth.format, z + s.depthBias + t.slopeBias);
                if (!RasterCompare(s.zFunc, depth, ReadRasterDepth(s.target.depth, ix, py)))
                    continue;
            }
            uint32_t colour = flatColour;
            if (textured) {
                float u = static_cast<float>(pu->a * x + uy + pu->c);
                float v = static_cast<float>(pv->a * x + vy + pv->c);
                int32_t tx = AddressRasterTexel(RasterTexelIndex(u, level->width), level->width,
                                                sm.addressU);
                int32_t ty = AddressRasterTexel(RasterTexelIndex(v, level->height), level->height,
                                                sm.addressV);
                uint32_t texel;
                if (linear) {
                    texel = SampleRaster(sm, u, v, 0.0f);
                } else if (tx < 0 || ty < 0) {
                    texel = sm.borderColor;
                } else if (argbTexel) {
                    const uint8_t* row = level->bits + static_cast<intptr_t>(ty) * level->pitch;
                    std::memcpy(&texel, row + 4 * static_cast<intptr_t>(tx), 4);
                    texel |= alphaOr;
                } else {
                    texel = ReadRasterTexel(*level, tx, ty);
                }
                colour = MapTexel(s, *map, t.flatDiffuse, t.flatSpecular, texel);
            }
            if (s.alphaTest && !RasterCompare(s.alphaFunc, colour >> 24, s.alphaRef))
                continue;
            if (s.depthWrite)
                WriteRasterDepth(s.target.depth, ix, py, depth);
            WriteColour(s, w, ix, py, colour);
        }
    }
}

// A quad's texels, row pointers and either listed columns or a run from col0, through the
// whole-quad kernel onto the target at (left, top).
void TexelsThroughKernel(const DrawSetup& s, const TexelMap& map, uint32_t alphaOr,
                         const uint32_t* const* texRows, const int32_t* cols, int32_t col0,
                         int32_t left, int32_t top, int32_t width, int32_t height,
                         int32_t rowLength) {
    QuadTexels k = KernelSettings(s, &map, alphaOr);
    k.texRows = texRows;
    k.cols = cols;
    k.col0 = col0;
    k.width = width;
    k.height = height;
    k.rowLength = rowLength;
    KernelOnTarget(s, k, left, top);
}

// Does every tap of a linear quad fall on a texel's centre (no weight on either axis)?
bool TapsOnTexelCentres(const std::vector<LinearTaps>& columns, const std::vector<LinearTaps>& rows,
                        int32_t width, int32_t height) {
    for (int32_t i = 0; i < width; ++i) {
        if (columns[i].weight != 0)
            return false;
    }
    for (int32_t y = 0; y < height; ++y) {
        if (rows[y].weight != 0)
            return false;
    }
    return true;
}

// A linear quad whose taps all fall on texel centres, as an image drawn at its own size on the
// pixel grid. With no weight the two passes give each pixel its first texel ORed with alphaOr
// (256 t, weighed by 256 and 0, rounded down from t 65536 + 32768), so the texels go to the
// quad kernel as they stand: a run from the first column when the columns step by one, else by
// the column table.
void CentredQuadThroughKernel(const DrawSetup& s, int32_t left, int32_t top, int32_t width,
                              int32_t height, const RasterSurface& level, const int32_t* columns,
                              const std::vector<LinearTaps>& rows, const TexelMap& map,
                              uint32_t alphaOr) {
    thread_local std::vector<const uint32_t*> texRows;
    texRows.resize(static_cast<size_t>(height));
    for (int32_t y = 0; y < height; ++y) {
        texRows[y] = reinterpret_cast<const uint32_t*>(
            level.bits + static_cast<intptr_t>(rows[y].first) * level.pitch);
    }
    bool stepByOne = true;
    for (int32_t i = 1; i < width && stepByOne; ++i)
        stepByOne = columns[i] == columns[0] + i;
    TexelsThroughKernel(s, map, alphaOr, texRows.data(), stepByOne ? nullptr : columns, columns[0],
                        left, top, width, height, level.width);
}

// A linearly sampled quad of 32-bit texels through the two-pass bilinear kernels: each texel
// row weighed horizontally once (two rows kept), each target row one vertical pass, straight
// onto the target for a plain copy; on a 32-bit target anything else goes through the fused
// kernel (DrawBilinearQuad), on a 16-bit one into a row that the quad kernel then tints, tests
// and blends. False when a tap falls on the border, which the per-pixel rows handle.
bool LinearQuadWithKernels(const DrawSetup& s, const Quad& q, int32_t left, int32_t top,
                           int32_t width, int32_t height, const RasterSurface& level,
                           const std::vector<LinearTaps>& columns, const TexelMap& map,
                           bool* centred) {
    const RasterSampler& sm = s.samplers[0];
    // The weighed and filtered rows are worked out to a whole number of eight-pixel steps (the
    // columns past the quad repeat its last one), so that no row ends in a pixel-by-pixel tail;
    // only the quad's own pixels are written to the target.
    const int32_t padded = (width + 7) & ~7;
    // Blended, tested or tinted onto a 32-bit target, the rows go through the fused kernel,
    // whose columns come in its steps (raster_kernels.h).
    bool straight = s.write.blendOff && !s.alphaTest && map.identity && s.write.argbTarget;
    bool fused = s.write.argbTarget && !straight;
    thread_local std::vector<int32_t> first, second;
    thread_local std::vector<uint16_t> weights;
    first.resize(static_cast<size_t>(padded));
    second.resize(static_cast<size_t>(padded));
    weights.resize(static_cast<size_t>(padded) * 4);
    // Through plain pointers: the build lets any store alias the vectors' own, which would
    // have them read again for every entry.
    const LinearTaps* taps = columns.data();
    int32_t* firstOut = first.data();
    int32_t* secondOut = second.data();
    uint16_t* weightsOut = weights.data();
    for (int32_t k = 0; k < padded / 8; ++k) {
        const int32_t x0 = fused ? BilinearStepColumn(k, width) : 8 * k;
        for (int32_t j = 0; j < 8; ++j) {
            const int32_t i = 8 * k + j;
            const LinearTaps& c = taps[std::min(x0 + j, width - 1)];
            if (c.first < 0 || c.second < 0)
                return false;
            firstOut[i] = c.first;
            secondOut[i] = c.second;
            // The weight once a channel.
            const uint64_t each = c.weight * 0x0001000100010001ull;
            std::memcpy(weightsOut + 4 * i, &each, 8);
        }
    }
    thread_local std::vector<LinearTaps> rows;
    rows.resize(static_cast<size_t>(height));
    LinearTapsAlong(rows.data(), q.v0, q.dvdy, top, height, level.height, sm.addressV);
    for (int32_t y = 0; y < height; ++y) {
        if (rows[y].first < 0 || rows[y].second < 0)
            return false;
    }
    uint32_t alphaOr = level.format == kFmtX8R8G8B8 ? 0xFF000000u : 0u;
    *centred = TapsOnTexelCentres(columns, rows, width, height);
    if (*centred) {
        thread_local std::vector<int32_t> centres;
        centres.resize(static_cast<size_t>(width));
        for (int32_t i = 0; i < width; ++i)
            centres[i] = columns[i].first;
        CentredQuadThroughKernel(s, left, top, width, height, level, centres.data(), rows, map,
                                 alphaOr);
        return true;
    }
    const RasterSurface& target = s.target.color;
    if (fused) {
        BilinearQuad k;
        k.writer = KernelSettings(s, &map, 0);
        k.writer.out =
            reinterpret_cast<uint32_t*>(target.bits + static_cast<intptr_t>(top) * target.pitch) +
            left;
        k.writer.outPitch = target.pitch / 4;
        k.writer.width = width;
        k.writer.height = height;
        k.texels = level.bits;
        k.texelPitch = level.pitch;
        k.rowLength = level.width;
        k.alphaOr = alphaOr;
        k.first = first.data();
        k.second = second.data();
        k.fx = weights.data();
        k.rows = rows.data();
        DrawBilinearQuad(k);
        return true;
    }
    // Two weighed texel rows, by texel row index.
    thread_local std::vector<uint16_t> weighed[2];
    int32_t held[2] = {-1, -1};
    for (std::vector<uint16_t>& h : weighed)
        h.resize(static_cast<size_t>(padded) * 4);
    auto weighedRow = [&](int32_t texelRow, int32_t keep) -> const uint16_t* {
        for (int slot = 0; slot < 2; ++slot) {
            if (held[slot] == texelRow)
                return weighed[slot].data();
        }
        int slot = held[0] == keep ? 1 : 0;
        const auto* texels = reinterpret_cast<const uint32_t*>(
            level.bits + static_cast<intptr_t>(texelRow) * level.pitch);
        BilinearHorizontal(weighed[slot].data(), texels, first.data(), second.data(),
                           weights.data(), padded, alphaOr, level.width);
        held[slot] = texelRow;
        return weighed[slot].data();
    };
    thread_local std::vector<uint32_t> filtered;
    filtered.resize(static_cast<size_t>(padded));
    const uint32_t* filteredRow = filtered.data();
    QuadTexels writer = KernelSettings(s, &map, 0);
    writer.texRows = &filteredRow;
    writer.width = width;
    writer.height = 1;
    writer.rowLength = width;
    uint32_t* previousOut = nullptr;
    for (int32_t y = 0; y < height; ++y) {
        const LinearTaps& r = rows[y];
        if (!straight) {
            // The filtered row of the row above serves again when it weighs the same texels.
            bool same = y > 0 && r.first == rows[y - 1].first && r.second == rows[y - 1].second &&
                        r.weight == rows[y - 1].weight;
            if (!same) {
                const uint16_t* h0 = weighedRow(r.first, r.second);
                const uint16_t* h1 = weighedRow(r.second, r.first);
                BilinearVertical(filtered.data(), h0, h1, r.weight, padded, 0);
            }
            KernelOnTarget(s, writer, left, top + y);
            continue;
        }
        uint32_t* out = reinterpret_cast<uint32_t*>(target.bits +
                                                    static_cast<intptr_t>(top + y) * target.pitch) +
                        left;
        // A row that weighs the same texels as the row above is the same row.
        if (y > 0 && r.first == rows[y - 1].first && r.second == rows[y - 1].second &&
            r.weight == rows[y - 1].weight) {
            std::memcpy(out, previousOut, static_cast<size_t>(width) * 4);
            previousOut = out;
            continue;
        }
        const uint16_t* h0 = weighedRow(r.first, r.second);
        const uint16_t* h1 = weighedRow(r.second, r.first);
        // The whole steps straight onto the target, the last part step through the row buffer.
        const int32_t whole = width & ~7;
        BilinearVertical(out, h0, h1, r.weight, whole, s.write.targetOr);
        if (whole < width) {
            BilinearVertical(filtered.data(), h0 + 4 * whole, h1 + 4 * whole, r.weight, 8,
                             s.write.targetOr);
            std::memcpy(out + whole, filtered.data(), static_cast<size_t>(width - whole) * 4);
        }
        previousOut = out;
    }
    return true;
}

// A quad sampled linearly: the taps and weights of each column and row are worked out once, by
// the sampler's own functions, and each pixel combines its four texels.
void RasterLinearQuadRows(const DrawSetup& s, const Quad& q, int32_t left, int32_t right,
                          int32_t top, int32_t bottom, const RasterSurface& level,
                          RowScratch* scratch) {
    const RasterSampler& sm = s.samplers[0];
    int32_t width = right - left;
    thread_local std::vector<LinearTaps> columns;
    columns.resize(static_cast<size_t>(width));
    LinearTapsAlong(columns.data(), q.u0, q.dudx, left, width, level.width, sm.addressU);
    const TexelMap& map = MapFor(s, scratch, q.diffuse, q.specular);
    const WriteMode& w = s.write;
    uint32_t depth = 0;
    if (s.depthTest)
        depth = QuantizeRasterDepth(s.target.depth.format, q.z + s.depthBias);
    const RasterSurface& target = s.target.color;
    int bytes = RasterBytesPerPixel(target.format);
    bool copyRows = !s.alphaTest && !s.depthTest && w.blendOff;
    bool centred = false;
    if (KernelsFit(s, &map) && IsArgb32(level.format) &&
        LinearQuadWithKernels(s, q, left, top, width, bottom - top, level, columns, map,
                              &centred)) {
        scratch->Took(RasterRoute::kLinearKernels);
        if (centred)
            scratch->Took(RasterRoute::kLinearCentred);
        return;
    }
    scratch->Took(RasterRoute::kQuadRows);
    LinearTaps previous{-2, -2, 0};
    uint8_t* previousRow = nullptr;
    auto fetch = [&](int32_t x, int32_t y) {
        return (x < 0 || y < 0) ? sm.borderColor : ReadRasterTexel(level, x, y);
    };
    for (int32_t py = top; py < bottom; ++py) {
        float v = static_cast<float>(q.v0 + q.dvdy * py);
        LinearTaps r = LinearTapsFor(v, level.height, sm.addressV);
        uint8_t* row = target.bits + static_cast<intptr_t>(py) * target.pitch;
        // Without blending a row that weighs the same texels as the row above is the same row.
        if (copyRows && previousRow != nullptr && r.first == previous.first &&
            r.second == previous.second && r.weight == previous.weight) {
            std::memcpy(row + static_cast<intptr_t>(left) * bytes,
                        previousRow + static_cast<intptr_t>(left) * bytes,
                        static_cast<size_t>(width) * bytes);
            continue;
        }
        previous = r;
        previousRow = row;
        for (int32_t i = 0; i < width; ++i) {
            const LinearTaps& c = columns[i];
            uint32_t texel = BilinearCombine(fetch(c.first, r.first), fetch(c.second, r.first),
                                             fetch(c.first, r.second), fetch(c.second, r.second),
                                             c.weight, r.weight);
            uint32_t colour = MapTexel(s, map, q.diffuse, q.specular, texel);
            int32_t px = left + i;
            if (s.alphaTest && !RasterCompare(s.alphaFunc, colour >> 24, s.alphaRef))
                continue;
            if (s.depthTest) {
                if (!RasterCompare(s.zFunc, depth, ReadRasterDepth(s.target.depth, px, py)))
                    continue;
                if (s.depthWrite)
                    WriteRasterDepth(s.target.depth, px, py, depth);
            }
            WriteColour(s, w, px, py, colour);
        }
    }
}

// A point-sampled quad of 32-bit texels copied or blended by the whole-quad kernel; false when
// a texel lies outside the texture (BORDER), which the rows below handle. scratch->columns
// holds the quad's texel columns.
bool QuadWithKernel(const DrawSetup& s, const Quad& q, int32_t left, int32_t top, int32_t width,
                    int32_t height, const RasterSurface& level, bool contiguous, uint32_t alphaOr,
                    const TexelMap& map, RowScratch* scratch) {
    const RasterSampler& sm = s.samplers[0];
    const int32_t* cols = scratch->columns.data();
    for (int32_t i = 0; i < (contiguous ? 1 : width); ++i) {
        if (cols[i] < 0)
            return false;
    }
    scratch->rows.resize(static_cast<size_t>(height));
    scratch->rowPointers.resize(static_cast<size_t>(height));
    int32_t* rows = scratch->rows.data();
    TexelIndices(q.v0, q.dvdy, top, height, level.height, sm.addressV, rows);
    for (int32_t y = 0; y < height; ++y) {
        if (rows[y] < 0)
            return false;
        scratch->rowPointers[y] = reinterpret_cast<const uint32_t*>(
            level.bits + static_cast<intptr_t>(rows[y]) * level.pitch);
    }
    TexelsThroughKernel(s, map, alphaOr, scratch->rowPointers.data(), contiguous ? nullptr : cols,
                        cols[0], left, top, width, height, level.width);
    return true;
}

void RasterQuadRows(const DrawSetup& s, const Quad& q, int32_t bandTop, int32_t bandBottom,
                    RowScratch* scratch) {
    std::vector<int32_t>* columns = &scratch->columns;
    const TexelMap* map = nullptr;  // textured quads only
    int32_t left = std::max(q.left, s.clip.left);
    int32_t right = std::min(q.right, s.clip.right);
    int32_t top = std::max({q.top, s.clip.top, bandTop});
    int32_t bottom = std::min({q.bottom, s.clip.bottom, bandBottom});
    if (left >= right || top >= bottom)
        return;
    int32_t width = right - left;
    const RasterSurface& target = s.target.color;
    bool textured = s.needTexture[0];
    bool contiguous = true;
    const RasterSampler& sm = s.samplers[0];
    const RasterSurface* level = nullptr;
    if (textured) {
        int32_t l = std::clamp(sm.baseLevel, 0, sm.texture->levelCount - 1);
        level = &sm.texture->levels[l];
        if (level->bits == nullptr || level->width <= 0 || level->height <= 0)
            return;
        if (IsLinearFilter(sm.magFilter)) {
            RasterLinearQuadRows(s, q, left, right, top, bottom, *level, scratch);
            return;
        }
        columns->resize(static_cast<size_t>(width));
        int32_t* cols = columns->data();
        contiguous = TexelIndices(q.u0, q.dudx, left, width, level->width, sm.addressU, cols);
        map = &MapFor(s, scratch, q.diffuse, q.specular);
    }
    uint32_t flatColour = 0;
    if (!textured) {
        RasterColor c = RunStageProgram(s.program, nullptr, q.diffuse, q.specular);
        flatColour = ArgbFromColor(c);
    }
    bool srcAlphaBlend = s.write.kernelBlend && s.write.blend == QuadBlend::kSrcAlpha;
    bool blendOff = s.write.blendOff;
    bool fastTexel = textured && IsArgb32(level->format);
    bool fastTarget = s.write.argbTarget;
    uint32_t alphaOr = (fastTexel && level->format == kFmtX8R8G8B8) ? 0xFF000000u : 0u;
    uint32_t targetOr = s.write.targetOr;
    if (g_fastQuads.load() && KernelsFit(s, textured ? map : nullptr)) {
        scratch->Took(RasterRoute::kQuadKernel);
        if (!textured) {
            FlatWithKernel(s, flatColour, left, top, width, bottom - top, scratch);
            return;
        }
        if (fastTexel && QuadWithKernel(s, q, left, top, width, bottom - top, *level, contiguous,
                                        alphaOr, *map, scratch)) {
            return;
        }
        // Other formats, and border texels: each row sampled into a row of texels first.
        scratch->colourRow.resize(static_cast<size_t>(width));
        uint32_t* texels = scratch->colourRow.data();
        const int32_t* cols = columns->data();
        for (int32_t py = top; py < bottom; ++py) {
            float v = static_cast<float>(q.v0 + q.dvdy * py);
            int32_t ty =
                AddressRasterTexel(RasterTexelIndex(v, level->height), level->height, sm.addressV);
            for (int32_t i = 0; i < width; ++i) {
                texels[i] =
                    (cols[i] < 0 || ty < 0) ? sm.borderColor : ReadRasterTexel(*level, cols[i], ty);
            }
            SampledRowWithKernel(s, *map, texels, left, py, width);
        }
        return;
    }
    scratch->Took(RasterRoute::kQuadRows);
    uint32_t depth = 0;
    if (s.depthTest)
        depth = QuantizeRasterDepth(s.target.depth.format, q.z + s.depthBias);
    bool simple = !s.alphaTest && !s.depthTest;
    int32_t lastSourceRow = -2;
    uint8_t* previousRow = nullptr;

    for (int32_t py = top; py < bottom; ++py) {
        uint8_t* row = target.bits + static_cast<intptr_t>(py) * target.pitch;
        const uint8_t* texRow = nullptr;
        int32_t ty = 0;
        if (textured) {
            float v = static_cast<float>(q.v0 + q.dvdy * py);
            ty = AddressRasterTexel(RasterTexelIndex(v, level->height), level->height, sm.addressV);
            texRow = ty >= 0 ? level->bits + static_cast<intptr_t>(ty) * level->pitch : nullptr;
        }
        // Without blending a row that reads the same texels as the row above is the same row.
        if (simple && blendOff && previousRow != nullptr && ty == lastSourceRow) {
            std::memcpy(
                row + static_cast<intptr_t>(left) * RasterBytesPerPixel(target.format),
                previousRow + static_cast<intptr_t>(left) * RasterBytesPerPixel(target.format),
                static_cast<size_t>(width) * RasterBytesPerPixel(target.format));
            continue;
        }
        lastSourceRow = ty;
        previousRow = row;
        if (simple && fastTexel && fastTarget && texRow != nullptr && map->identity &&
            (blendOff || srcAlphaBlend)) {
            uint32_t* out = reinterpret_cast<uint32_t*>(row) + left;
            const uint32_t* texels = reinterpret_cast<const uint32_t*>(texRow);
            const int32_t* cols = columns->data();
            bool border = sm.addressU == kAddressBorder;
            if (blendOff) {
                for (int32_t i = 0; i < width; ++i) {
                    uint32_t t =
                        (border && cols[i] < 0) ? sm.borderColor : (texels[cols[i]] | alphaOr);
                    out[i] = t | targetOr;
                }
            } else {
                for (int32_t i = 0; i < width; ++i) {
                    uint32_t t =
                        (border && cols[i] < 0) ? sm.borderColor : (texels[cols[i]] | alphaOr);
                    // The formula gives the source at alpha 255 and the destination at 0.
                    uint32_t a = t >> 24;
                    if (a == 0)
                        continue;
                    out[i] = (a == 255 ? t : BlendSrcAlpha(t, out[i] | targetOr)) | targetOr;
                }
            }
            continue;
        }
        for (int32_t i = 0; i < width; ++i) {
            int32_t px = left + i;
            uint32_t colour = flatColour;
            if (textured) {
                int32_t tx = (*columns)[i];
                uint32_t texel =
                    (tx < 0 || ty < 0) ? sm.borderColor : ReadRasterTexel(*level, tx, ty);
                colour = MapTexel(s, *map, q.diffuse, q.specular, texel);
            }
            if (s.alphaTest && !RasterCompare(s.alphaFunc, colour >> 24, s.alphaRef))
                continue;
            if (s.depthTest) {
                if (!RasterCompare(s.zFunc, depth, ReadRasterDepth(s.target.depth, px, py)))
                    continue;
                if (s.depthWrite)
                    WriteRasterDepth(s.target.depth, px, py, depth);
            }
            WriteColour(s, s.write, px, py, colour);
        }
        if (!simple)
            previousRow = nullptr;
    }
}

enum class ShadedState { kUnknown, kFits, kRefused };

// Whether the draw fits the shaded spans; the plan is compiled at the first triangle that asks,
// so that sprite draws never pay for it.
bool ShadedFits(const DrawSetup& s, ShadedState* state, ShadedPlan* plan) {
    if (*state == ShadedState::kUnknown) {
        *plan = ShadedPlan();
        *state = CompileShadedPlan(s, plan) ? ShadedState::kFits : ShadedState::kRefused;
    }
    return *state == ShadedState::kFits;
}

// A draw's plan for the pixel shader's vector blocks, compiled at its first triangle; null
// with the fast routes off.
struct ShaderPlanState {
    ShadedState state = ShadedState::kUnknown;
    ShaderBlockPlan plan;
};

const ShaderBlockPlan* ShaderPlanOf(const DrawSetup& s, ShaderPlanState* p) {
    if (p->state == ShadedState::kUnknown) {
        p->plan = ShaderBlockPlan();
        CompileShaderBlockPlan(s, &p->plan);
        p->state = ShadedState::kFits;
    }
    return p->state == ShadedState::kFits ? &p->plan : nullptr;
}

void RasterItems(const DrawSetup& s, const DrawWork& work, int32_t bandTop, int32_t bandBottom) {
    thread_local RowScratch scratch;
    scratch.mapValid = false;
    std::fill(std::begin(scratch.routes), std::end(scratch.routes), 0);
    bool spansFit = g_fastQuads.load() && QuadProgramFits(s);
    thread_local ShadedPlan plan;
    ShadedState shaded = g_fastQuads.load() ? ShadedState::kUnknown : ShadedState::kRefused;
    thread_local ShaderPlanState shaderPlan;
    shaderPlan.state = shaded;
    for (const Item& item : work.items) {
        if (item.quad) {
            RasterQuadRows(s, work.quads[item.index], bandTop, bandBottom, &scratch);
            continue;
        }
        const Triangle& t = work.triangles[item.index];
        if (s.pixelShader != nullptr) {
            RasterTriangleShaded(s, t, bandTop, bandBottom, ShaderPlanOf(s, &shaderPlan));
            scratch.Took(RasterRoute::kShaderBlocks);
            if (shaderPlan.state == ShadedState::kFits && t.perspective)
                scratch.Took(RasterRoute::kShaderVectors);
        } else if (spansFit && !t.perspective && t.uniformColour) {
            RasterTriangleSpans(s, t, bandTop, bandBottom, &scratch);
            scratch.Took(RasterRoute::kTriangleSpans);
        } else if (ShadedFits(s, &shaded, &plan)) {
            RasterShadedSpans(s, plan, t, bandTop, bandBottom);
            scratch.Took(RasterRoute::kShadedSpans);
        } else {
            RasterTriangleRows(s, t, bandTop, bandBottom);
            scratch.Took(RasterRoute::kTriangleRows);
        }
    }
    for (int i = 0; i < static_cast<int>(RasterRoute::kCount); ++i) {
        if (scratch.routes[i] != 0)
            g_routeCounts[i].fetch_add(scratch.routes[i], std::memory_order_relaxed);
    }
}

}  // namespace platform::raster_internal
