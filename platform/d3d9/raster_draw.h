// The CPU rasteriser: draws points, lines and triangles with Direct3D 9's rules.
//
// - Pixel centres lie at whole coordinates. Positions are snapped to 1/256 pixel; a pixel is
//   inside a triangle when its centre is, a centre on an edge counting only for top and left
//   edges (a top edge is horizontal with the triangle below it, a left edge has the triangle on
//   its right). So a box from whole (x1, y1) to (x2, y2) covers x1..x2-1 and y1..y2-1, and two
//   triangles sharing an edge cover each pixel once.
// - Attributes are interpolated at pixel centres, perspective-correct by rhw (affine when the
//   three rhw are equal). Gouraud colours round to nearest; flat shading takes the colour of the
//   first vertex of each triangle (lists: 3k; strips: vertex k of triangle k; fans: vertex k + 1).
// - Points light the pixel at (floor(x + 0.5), floor(y + 0.5)). Lines light, along their major
//   axis, the pixels whose centres lie in [start, end) (the end pixel too with LASTPIXEL),
//   the minor coordinate rounded to nearest (halves downward); flat lines take their first vertex.
// - Pixels outside the viewport, the target, and (with SCISSORTESTENABLE) the scissor rectangle
//   are not touched. CULLMODE CW removes triangles that run clockwise on the screen, CCW those
//   that run counter-clockwise.
// - Clip-space vertices (untransformed geometry) are clipped against the near (z >= 0) and far
//   (z <= w) planes and a guard band, divided by w and mapped by the viewport:
//   x' = X + (1 + x / w) W / 2, y' = Y + (1 - y / w) H / 2, z' = MinZ + z / w (MaxZ - MinZ).
// - Per pixel: depth test (skipping the pixel early changes nothing), texture stages, specular
//   add, alpha test, depth write, fog, blending and the colour write (arithmetic:
//   raster_pixel.h). The depth tested and written is z + DEPTHBIAS + SLOPESCALEDEPTHBIAS times
//   the larger of the triangle's |dz/dx| and |dz/dy|.
// - Fog (FOGENABLE): with a table mode, the factor f of the pixel's depth (z, or the eye
//   distance w = 1 / rhw when the projection is not affine) by the mode's formula; otherwise,
//   where the vertices carry one, the interpolated specular alpha / 255. f is rounded to 1/255
//   and each colour channel becomes round((c a + fog (255 - a)) / 255), a = 255 f.
// - Projected texture sets are divided by their interpolated q at each pixel (perspective-
//   correct like the others); the level of detail follows the divided coordinates.
// - FILLMODE POINT draws the corners of each triangle that culling leaves, WIREFRAME its edges
//   as lines without their last pixel (clipped triangles: the clipped polygon's).
//
// Axis-aligned quads (two list triangles forming a rectangle) with an affine mapping that
// follows the axes and one colour, and affine one-colour triangles, take faster routes with
// the same pixels; so do the common blends and alpha tests (raster_kernels.h).
// Large draws may be split by rows across threads; each pixel is still processed by one thread
// in primitive order, so the result equals a single-threaded draw.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/d3d9/raster_types.h"

namespace platform {

enum class RasterSpace {
    kScreen,  // x, y in pixels, z, rhw as given (pre-transformed vertices)
    kClip,    // x, y, z, w of the clip-space position, w stored in the rhw field
};

struct RasterDrawCall {
    uint32_t primitiveType = kPrimTriangleList;
    uint32_t primitiveCount = 0;
    const RasterVertex* vertices = nullptr;
    uint32_t vertexCount = 0;
    const uint32_t* indices = nullptr;  // null: vertices in order
    RasterSpace space = RasterSpace::kScreen;
};

// Vertices a primitive count needs for a primitive type (0 for an unknown type), in 64 bits so
// that a huge count cannot wrap into a small one.
uint64_t RasterVertexCountFor(uint32_t primitiveType, uint32_t primitiveCount);

void DrawRasterPrimitives(const RasterTarget& target, const RasterStates& states,
                          const RasterDrawCall& call);

// Small draws, each far too small to split, go to one thread. A batch instead keeps solid
// triangle draws (their set-up done, their texture views copied) and replays them at Flush on
// bands of rows across the threads, each band in submission order, so the pixels equal the
// immediate draws'. Points, lines, outlines, pixel shaders, draws that sample their own target
// and a single thread draw at once, after the kept ones. A draw to another target flushes first;
// everything else that reads or writes pixels the kept draws touch or sample (locks, copies,
// clears, presentation, releases) must flush before it does.
class RasterBatch {
  public:
    RasterBatch();
    ~RasterBatch();  // flushes
    RasterBatch(const RasterBatch&) = delete;
    RasterBatch& operator=(const RasterBatch&) = delete;

    void Flush();
    bool Pending() const;

    struct Kept;

  private:
    friend void DrawRasterPrimitives(const RasterTarget&, const RasterStates&,
                                     const RasterDrawCall&, RasterBatch*);
    std::unique_ptr<Kept> kept_;
};

// Flushes every batch; the test switches and route counts below do so first, as the routes of
// kept draws are taken when they run. Call from the thread that draws.
void SettleRasterBatches();
// Kept draws replayed since the program started, so that a test can tell the batches ran.
uint64_t RasterKeptDrawCount();

// As above, through the batch when there is one (null: at once).
void DrawRasterPrimitives(const RasterTarget& target, const RasterStates& states,
                          const RasterDrawCall& call, RasterBatch* batch);

// Test switches: the number of threads that may share a draw or a batch (0: chosen from the
// machine, or TESSEL_D3D9_THREADS when set; 1: none, every draw at once) and whether
// axis-aligned quads take the fast route.
void SetRasterThreadCount(int count);
// Whether devices keep small draws for the threads (on by default); off, each draw is drawn at
// once, large ones split by rows.
void SetRasterBatchesEnabled(bool enabled);
void SetRasterFastQuadsEnabled(bool enabled);

// The routes a quad or triangle can take (raster_draw.cpp maps them), counted for tests, so
// that a comparison of the fast and plain routes can tell that the fast one ran.
enum class RasterRoute {
    kQuadKernel,     // point-sampled or untextured quad, whole-quad kernel
    kLinearKernels,  // linear quad, two-pass bilinear kernels
    kLinearCentred,  // of those, taps on texel centres: the quad kernel (counted in both)
    kQuadRows,       // quad row by row through the texel table and per-pixel writes
    kTriangleSpans,  // affine one-colour triangle by spans (the kernels where they fit)
    kLinearSpans,    // of those, linear 32-bit texels onto a 32-bit target: one fused kernel
    kTriangleRows,   // the general per-pixel path
    kShadedSpans,    // 3D triangle by spans: perspective, Gouraud, mipmaps, depth, fog
    kShaderBlocks,   // a pixel shader over blocks of pixels (shaders/pixel_route.cpp)
    kShaderVectors,  // of those, perspective triangles' blocks in vector lanes (counted in both)
    kCount,
};
const char* RasterRouteName(RasterRoute route);
uint64_t RasterRouteCount(RasterRoute route);  // since the last reset
void ResetRasterRouteCounts();

}  // namespace platform
