// What the rasteriser's files share: the compiled state of one draw, the attributes a vertex
// carries through set-up, triangles and quads as the routes take them, and the entry points
// each file offers the others. Private to platform/d3d9.
//
// The files, by concern:
// - raster_setup.cpp: a draw's states compiled once (CompileSetup, the write mode), the
//   state defaults, the test switches and the route counts;
// - raster_coverage.cpp: which pixels a primitive covers (triangle edges and attribute planes,
//   points, lines);
// - raster_pipeline.cpp: the per-pixel path (depth, stages, alpha test, blend, write) and the
//   general triangle walk that feeds it;
// - raster_routes.cpp: the fast routes (axis-aligned quads, affine spans, the kernels) and the
//   choice among the routes (RasterItems);
// - raster_shaded_spans.cpp: the route of 3D triangles (perspective, Gouraud, mipmaps, depth,
//   fog) by spans, bit for bit the per-pixel path's pixels;
// - raster_projective_internal.h: the single-precision arithmetic of perspective triangles'
//   pixels, which every path that shades them shares;
// - raster_lanes_internal.h: what the routes that shade 3D triangles share in vector lanes;
// - raster_draw.cpp: primitive assembly, clipping, bands across threads, the entry.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/d3d9/raster_draw.h"
#include "platform/d3d9/raster_kernels.h"
#include "platform/d3d9/raster_pixel.h"
#include "platform/d3d9/raster_sample.h"
#include "platform/d3d9/raster_texel.h"

namespace platform::raster_internal {

constexpr double kGuardBand = 2097152.0;  // 2^21 pixels: keeps the edge arithmetic in int64
constexpr double kClipGuard = 16.0;       // clip-space guard band, in viewport half-sizes
constexpr int kSubPixel = 256;

extern std::atomic<int> g_threadSetting;
extern std::atomic<bool> g_fastQuads;
extern std::atomic<uint64_t> g_routeCounts[static_cast<int>(RasterRoute::kCount)];

// ---------------------------------------------------------------------------------------------
// Per-draw set-up

enum Attr {
    kAttrZ,
    kAttrRhw,
    kAttrDiffuse,  // 4: r, g, b, a
    kAttrSpecular = kAttrDiffuse + 4,
    kAttrTex = kAttrSpecular + 4,                    // u0, v0, u1, v1, ... for each set
    kAttrTexQ = kAttrTex + 2 * kRasterTexCoordSets,  // q of each set (projected sets only)
    kAttrCount = kAttrTexQ + kRasterTexCoordSets,
};

// Where the fog factor of a pixel comes from.
enum class FogSource {
    kNone,
    kVertex,  // the interpolated alpha of the specular colour
    kTable,   // the pixel's depth (z, or w when fogFromW) through the table mode's formula
};

struct DrawSetup {
    RasterTarget target;
    RasterRect clip;  // inclusive left/top, exclusive right/bottom
    RasterStageProgram program;
    RasterBlendSetup blend;
    RasterSampler samplers[kRasterSamplerCount];  // the stages use the first four
    bool needTexture[kRasterStageCount] = {};
    uint32_t texSet[kRasterStageCount] = {};
    bool anyTexture = false;
    bool alphaTest = false;
    uint32_t alphaFunc = kCmpAlways;
    uint32_t alphaRef = 0;
    bool depthTest = false;
    bool depthWrite = false;
    uint32_t zFunc = kCmpLessEqual;
    float depthBias = 0.0f;
    float slopeScaleBias = 0.0f;  // times the triangle's largest depth slope, added to its depth
    FogSource fog = FogSource::kNone;
    uint32_t fogTableMode = kFogNone;
    bool fogFromW = false;
    float fogStart = 0.0f, fogEnd = 1.0f, fogDensity = 1.0f;
    RasterColor fogColor;
    bool texProjected[kRasterTexCoordSets] = {};
    uint32_t fillMode = kFillSolid;
    bool flat = false;
    uint32_t cull = kCullNone;
    bool lastPixel = true;
    RasterViewport viewport;
    // Per stage: the level to point-sample directly (32-bit, no level of detail), or null.
    const RasterSurface* pointLevel[kRasterStageCount] = {};
    bool texSetUsed[kRasterTexCoordSets] = {};
    // The attribute planes a triangle's pixels read; the others are left unset.
    bool planeUsed[kAttrCount] = {};
    const RasterPixelShader* pixelShader = nullptr;  // set: the shader route shades every pixel
    struct Write {
        bool blendOff;
        bool kernelBlend;  // blending off or a blend the kernels compute (blend says which)
        QuadBlend blend;
        bool argbTarget;
        bool rowTarget;  // a 16-bit target the kernels reach through widened rows
        bool direct;     // per-pixel writes blend (or copy) in place on the 32-bit target
        uint32_t targetOr;
    } write = {};
};

RasterRect Intersect(RasterRect a, RasterRect b);
bool IsEmpty(const RasterRect& r);
inline bool IsLinearFilter(uint32_t filter) {
    return filter == kFilterLinear || filter == kFilterAnisotropic;
}
void CompileSetup(const RasterTarget& target, const RasterStates& states, DrawSetup* s);

// ---------------------------------------------------------------------------------------------
// Shading one pixel

struct PixelInputs {
    float z = 0.0f;
    float slopeBias = 0.0f;  // the triangle's slope-scaled depth bias
    float w = 1.0f;          // eye distance, for table fog from w
    int32_t fogAlpha = 255;  // the vertex fog factor in 1/255 (255: no fog)
    RasterColor diffuse;
    RasterColor specular;
    float u[kRasterTexCoordSets] = {};
    float v[kRasterTexCoordSets] = {};
    float lod[kRasterStageCount] = {};
};

// How a finished colour goes onto the target, read once a draw.
using WriteMode = DrawSetup::Write;

uint32_t ReadTargetPixel(const RasterSurface& color, int32_t x, int32_t y);
bool IsArgb32(uint32_t format);

inline void WriteColour(const DrawSetup& s, const WriteMode& w, int32_t px, int32_t py,
                        uint32_t colour) {
    const RasterSurface& target = s.target.color;
    if (w.direct) {
        uint32_t* out =
            reinterpret_cast<uint32_t*>(target.bits + static_cast<intptr_t>(py) * target.pitch) +
            px;
        if (w.blendOff) {
            *out = colour | w.targetOr;
            return;
        }
        // No shortcut for alpha 0 and 255 here: across a turned sprite it mispredicts.
        *out = BlendQuadPixel(w.blend, colour, *out | w.targetOr) | w.targetOr;
        return;
    }
    if (!w.blendOff)
        colour = BlendRasterPixel(s.blend, colour, ReadTargetPixel(target, px, py));
    WriteRasterPixel(target, px, py, colour);
}

void ShadeAndWrite(const DrawSetup& s, int32_t x, int32_t y, const PixelInputs& in);
// The fog factor of table fog at depth d in 1/255: LINEAR (end - d) / (end - start), EXP
// e^-(density d), EXP2 e^-((density d)^2), clamped to 0..1 and rounded.
int32_t TableFogAlpha(const DrawSetup& s, double d);
// c f + fog (1 - f) per colour channel with f = alpha / 255, rounded; alpha is kept.
RasterColor ApplyFog(const RasterColor& c, const RasterColor& fog, int32_t alpha);
// Inline: every shaded pixel rounds four to eight channels.
inline int32_t RoundChannel(double v) {
    if (!(v > 0.0))
        return 0;
    if (v >= 255.0)
        return 255;
    return static_cast<int32_t>(v + 0.5);  // positive: truncation is floor
}
// The level of detail of a texture from the screen derivatives of its coordinates.
double LodFor(double dudx, double dvdx, double dudy, double dvdy, const RasterTexture& tex);

// ---------------------------------------------------------------------------------------------
// Vertices in screen space with their attributes as floats

struct ScreenVertex {
    double x = 0.0;
    double y = 0.0;
    double attr[kAttrCount] = {};
};

void ColourToAttrs(uint32_t argb, double* out);
void VertexAttrs(const RasterVertex& v, double* attr);
ScreenVertex ScreenFromRaster(const RasterVertex& v);
void ScreenFromRaster(const RasterVertex& v, ScreenVertex* s);  // writes every field

// ---------------------------------------------------------------------------------------------
// Triangles

struct Plane {
    double a = 0.0;
    double b = 0.0;
    double c = 0.0;
    double At(double x, double y) const { return a * x + b * y + c; }
};

// A plane in single precision, as perspective triangles read their attributes
// (raster_projective_internal.h).
struct FloatPlane {
    float a = 0.0f, b = 0.0f, c = 0.0f;
};

struct Edge {
    int64_t dx, dy, x0, y0, bias;
};

struct Triangle {
    Edge edges[3];
    int32_t top, bottom;  // rows, inclusive
    bool perspective;
    float slopeBias;  // SLOPESCALEDEPTHBIAS times the larger of |dz/dx| and |dz/dy|
    Plane planes[kAttrCount];
    FloatPlane fplanes[kAttrCount];  // set for perspective triangles
    RasterColor flatDiffuse;
    RasterColor flatSpecular;
    bool uniformColour;  // every pixel takes flatDiffuse and flatSpecular
};

inline int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
    int64_t q = a / b;
    if ((a % b != 0) && (a < 0))
        --q;
    return q;
}
inline int64_t CeilDiv(int64_t a, int64_t b) {
    return -FloorDiv(-a, b);
}

inline int64_t Snap(double v) {
    return static_cast<int64_t>(std::floor(v * kSubPixel + 0.5));
}

inline bool InGuardBand(const ScreenVertex& v) {
    return std::fabs(v.x) < kGuardBand && std::fabs(v.y) < kGuardBand;
}

// Inline, so that a triangle's set-up works out what its planes share (the determinant and
// the edge vectors) once.
inline Plane MakePlane(const double* xs, const double* ys, double a0, double a1, double a2) {
    double det = (xs[1] - xs[0]) * (ys[2] - ys[0]) - (xs[2] - xs[0]) * (ys[1] - ys[0]);
    Plane p;
    p.a = ((a1 - a0) * (ys[2] - ys[0]) - (a2 - a0) * (ys[1] - ys[0])) / det;
    p.b = ((a2 - a0) * (xs[1] - xs[0]) - (a1 - a0) * (xs[2] - xs[0])) / det;
    p.c = a0 - p.a * xs[0] - p.b * ys[0];
    return p;
}
bool SetupTriangle(const DrawSetup& s, const ScreenVertex* in[3], uint32_t flatDiffuse,
                   uint32_t flatSpecular, Triangle* t);
bool TriangleSpan(const Triangle& t, int32_t py, int64_t* left, int64_t* right);
// Row py of the triangle within the clip rectangle (which may leave it empty); false when the
// row misses the triangle.
inline bool ClippedTriangleSpan(const Triangle& t, const RasterRect& clip, int32_t py,
                                int64_t* left, int64_t* right) {
    if (!TriangleSpan(t, py, left, right)) {
        return false;
    }
    *left = std::max<int64_t>(*left, clip.left);
    *right = std::min<int64_t>(*right, clip.right - 1);
    return true;
}
void RasterTriangleRows(const DrawSetup& s, const Triangle& t, int32_t bandTop, int32_t bandBottom);
void DrawPoint(const DrawSetup& s, const ScreenVertex& v);
void DrawLine(const DrawSetup& s, const ScreenVertex& a, const ScreenVertex& b);

// ---------------------------------------------------------------------------------------------
// Axis-aligned textured quads

struct Quad {
    int32_t left, top, right, bottom;  // pixels, exclusive right/bottom
    double u0, dudx;                   // u at pixel column px: u0 + dudx * px
    double v0, dvdy;
    RasterColor diffuse;
    RasterColor specular;
    float z;
};

bool QuadProgramFits(const DrawSetup& s);
bool MakeQuad(const DrawSetup& s, const RasterVertex* v[6], Quad* q);

// ---------------------------------------------------------------------------------------------
// Clip space

struct ClipVertex {
    double pos[4];  // x, y, z, w
    double attr[kAttrCount];
};

struct Item {
    bool quad;
    uint32_t index;
};

struct DrawWork {
    std::vector<Triangle> triangles;
    std::vector<Quad> quads;
    std::vector<Item> items;
    std::vector<ClipVertex> polygon;
    std::vector<ScreenVertex> projected;
    ScreenVertex screen[3];  // a screen-space triangle's corners, filled in place
    int64_t pixelEstimate = 0;
};

// What the per-pixel path offers the other routes: the depth test (false: rejected;
// *quantised receives the new depth), the level of detail of a set's derivatives, and a set's
// coordinates at a pixel with, when asked, their derivatives.
bool DepthPasses(const DrawSetup& s, int32_t x, int32_t y, float z, float slopeBias,
                 uint32_t* quantised);
double LodFor(double dudx, double dvdx, double dudy, double dvdy, const RasterTexture& tex);
struct SetAtPixel {
    double u, v;
    double dudx, dudy, dvdx, dvdy;
};
SetAtPixel CoordinatesAt(const DrawSetup& s, const Triangle& t, int set, double x, double y,
                         double w, bool derivatives);

// ---------------------------------------------------------------------------------------------
// Pixel shaders (shaders/pixel_route.cpp)

// The set-up of a draw with a pixel shader: its samplers and the planes it reads, in place of
// the texture stages'. Its triangles: RasterTriangleShaded (raster_shaded_spans_internal.h).
void CompileShadedSetup(const RasterStates& states, DrawSetup* s);
// One pixel of a point or line through the pixel shader.
void ShadeOnePixel(const DrawSetup& s, int32_t x, int32_t y, const PixelInputs& in);

// Runs the quads and triangles of a draw on rows bandTop .. bandBottom - 1, each by its route.
void RasterItems(const DrawSetup& s, const DrawWork& work, int32_t bandTop, int32_t bandBottom);

// ---------------------------------------------------------------------------------------------
// Threads and batches (raster_draw.cpp, raster_batch.cpp)

// The threads a draw or a batch may use: the test switch, else TESSEL_D3D9_THREADS, else the
// machine's (at most four).
int RasterThreadCount();
// Runs job(0) .. job(count - 1), job(0) on the caller's thread, the others on the pool's.
void RunOnWorkers(int count, const std::function<void(int)>& job);
// The rows a draw's items touch, within its clip rectangle.
void CoveredRows(const DrawSetup& s, const DrawWork& work, int32_t* top, int32_t* bottom);
// The quads and triangles of a solid triangle draw, set up (the draw's fill mode is solid).
void BuildTriangleWork(const DrawSetup& s, const RasterDrawCall& call, DrawWork* work);
// Whether a draw samples a texture whose levels share memory with its target: it reads pixels
// it (or a kept draw) writes, which only the order of one thread gets right.
bool SamplesOwnTarget(const DrawSetup& s);
// Keeps the draw in the batch (true), or flushes the batch and leaves the draw to be drawn at
// once (false).
bool KeepInBatch(RasterBatch::Kept* kept, const DrawSetup& s, const RasterDrawCall& call);

}  // namespace platform::raster_internal
