// The rasteriser's entry: primitive assembly (which vertices make each triangle, which is the
// flat-shading vertex), clipping of clip-space primitives against the near, far and guard-band
// planes, pairing of list triangles into quads, and the hand-over of a draw's items to bands of
// rows across threads. Set-up, coverage, the per-pixel path and the fast routes are in their own
// files (raster_draw_internal.h lists them).
//
// Not here: stencil, anti-aliasing, dithering; texture stages beyond the first four.
#include "platform/d3d9/raster_draw_internal.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

namespace platform {
namespace raster_internal {
namespace {

ClipVertex ClipFromRaster(const RasterVertex& v) {
    ClipVertex c;
    c.pos[0] = v.x;
    c.pos[1] = v.y;
    c.pos[2] = v.z;
    c.pos[3] = v.rhw;
    VertexAttrs(v, c.attr);
    return c;
}

// Signed distance to each clip plane; inside when >= 0.
constexpr int kClipPlaneCount = 6;
double PlaneDistance(const ClipVertex& v, int plane) {
    const double* p = v.pos;
    switch (plane) {
        case 0:
            return p[2];  // near: z >= 0
        case 1:
            return p[3] - p[2];  // far: z <= w
        case 2:
            return p[0] + kClipGuard * p[3];
        case 3:
            return kClipGuard * p[3] - p[0];
        case 4:
            return p[1] + kClipGuard * p[3];
        default:
            return kClipGuard * p[3] - p[1];
    }
}

ClipVertex LerpClip(const ClipVertex& a, const ClipVertex& b, double t) {
    ClipVertex r;
    for (int i = 0; i < 4; ++i)
        r.pos[i] = a.pos[i] + (b.pos[i] - a.pos[i]) * t;
    for (int k = 0; k < kAttrCount; ++k)
        r.attr[k] = a.attr[k] + (b.attr[k] - a.attr[k]) * t;
    return r;
}

// Sutherland-Hodgman against every plane; the polygon stays in `poly`.
void ClipPolygon(std::vector<ClipVertex>* poly) {
    std::vector<ClipVertex> out;
    for (int plane = 0; plane < kClipPlaneCount && !poly->empty(); ++plane) {
        out.clear();
        size_t n = poly->size();
        for (size_t i = 0; i < n; ++i) {
            const ClipVertex& a = (*poly)[i];
            const ClipVertex& b = (*poly)[(i + 1) % n];
            double da = PlaneDistance(a, plane);
            double db = PlaneDistance(b, plane);
            if (da >= 0)
                out.push_back(a);
            if ((da >= 0) != (db >= 0))
                out.push_back(LerpClip(a, b, da / (da - db)));
        }
        poly->swap(out);
    }
}

bool ClipVertexInside(const ClipVertex& v) {
    for (int plane = 0; plane < kClipPlaneCount; ++plane) {
        if (!(PlaneDistance(v, plane) >= 0))
            return false;
    }
    return v.pos[3] > 0.0;
}

ScreenVertex ProjectClip(const DrawSetup& s, const ClipVertex& c) {
    ScreenVertex v;
    double w = c.pos[3];
    double rhw = w != 0.0 ? 1.0 / w : 0.0;
    const RasterViewport& vp = s.viewport;
    v.x = vp.x + (1.0 + c.pos[0] * rhw) * vp.width * 0.5;
    v.y = vp.y + (1.0 - c.pos[1] * rhw) * vp.height * 0.5;
    std::memcpy(v.attr, c.attr, sizeof v.attr);
    v.attr[kAttrZ] = vp.minZ + c.pos[2] * rhw * (static_cast<double>(vp.maxZ) - vp.minZ);
    v.attr[kAttrRhw] = rhw;
    return v;
}

// ---------------------------------------------------------------------------------------------
// Primitive assembly

struct TriangleRef {
    uint32_t v[3];
    uint32_t provoking;  // first vertex of the triangle as the primitive type orders it
};

bool TriangleAt(uint32_t type, uint32_t k, TriangleRef* t) {
    switch (type) {
        case kPrimTriangleList:
            *t = {{3 * k, 3 * k + 1, 3 * k + 2}, 3 * k};
            return true;
        case kPrimTriangleStrip:
            // Odd triangles swap their last two vertices to keep the winding of the strip.
            if (k & 1) {
                *t = {{k, k + 2, k + 1}, k};
            } else {
                *t = {{k, k + 1, k + 2}, k};
            }
            return true;
        case kPrimTriangleFan:
            *t = {{0, k + 1, k + 2}, k + 1};
            return true;
        default:
            return false;
    }
}

// kernelSpans: the triangle's spans will likely go through the quad kernel, a few times the
// per-pixel speed, which the estimate that decides on threads counts.
void AddTriangle(const DrawSetup& s, const ScreenVertex* v[3], uint32_t flatDiffuse,
                 uint32_t flatSpecular, bool kernelSpans, DrawWork* work) {
    // Set up in place: a triangle is large, and a 3D draw adds thousands.
    Triangle& t = work->triangles.emplace_back();
    if (!SetupTriangle(s, v, flatDiffuse, flatSpecular, &t)) {
        work->triangles.pop_back();
        return;
    }
    work->items.push_back({false, static_cast<uint32_t>(work->triangles.size() - 1)});
    int64_t minX = std::min({t.edges[0].x0, t.edges[1].x0, t.edges[2].x0});
    int64_t maxX = std::max({t.edges[0].x0, t.edges[1].x0, t.edges[2].x0});
    int64_t width = std::min<int64_t>((maxX - minX) / kSubPixel + 1, s.clip.right - s.clip.left);
    int64_t area = static_cast<int64_t>(t.bottom - t.top + 1) * width;
    bool spans = kernelSpans && !t.perspective && t.uniformColour;
    // A shaded pixel (perspective divide, colours, filtered texels, depth) costs tens of times
    // a copied one: a few thousand of them pay for a hand-over to another thread.
    bool shaded = t.perspective || !t.uniformColour;
    work->pixelEstimate += spans ? area / 4 : (shaded ? area * 32 : area);
}

// ---------------------------------------------------------------------------------------------
// Threads

class RasterWorkers {
  public:
    ~RasterWorkers() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : threads_)
            t.join();
    }

    // Runs job(band) for bands 0..count-1, band 0 on the caller's thread.
    void Run(int count, const std::function<void(int)>& job) {
        std::lock_guard<std::mutex> oneDrawAtATime(runMutex_);
        Ensure(count - 1);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job_ = &job;
            nextBand_ = 1;
            bandCount_ = count;
            pending_ = count - 1;
            ++generation_;
        }
        wake_.notify_all();
        job(0);
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return pending_ == 0; });
        job_ = nullptr;
    }

  private:
    void Ensure(int workers) {
        while (static_cast<int>(threads_.size()) < workers) {
            threads_.emplace_back([this] { Loop(); });
        }
    }

    void Loop() {
        uint64_t seen = 0;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock,
                       [&] { return quit_ || (generation_ != seen && nextBand_ < bandCount_); });
            if (quit_)
                return;
            int band = nextBand_++;
            if (nextBand_ >= bandCount_)
                seen = generation_;
            const std::function<void(int)>* job = job_;
            lock.unlock();
            (*job)(band);
            lock.lock();
            if (--pending_ == 0)
                done_.notify_all();
        }
    }

    std::mutex runMutex_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::vector<std::thread> threads_;
    const std::function<void(int)>* job_ = nullptr;
    uint64_t generation_ = 0;
    int nextBand_ = 0;
    int bandCount_ = 0;
    int pending_ = 0;
    bool quit_ = false;
};

RasterWorkers& Workers() {
    static RasterWorkers workers;
    return workers;
}

int ThreadsFor(int64_t pixelEstimate, int32_t rows) {
    int setting = g_threadSetting.load();
    int threads = RasterThreadCount();
    // A band below ~128k pixels costs more to hand over than it saves on a busy machine.
    constexpr int64_t kPixelsPerThread = 128 * 1024;
    if (setting <= 0)
        threads = static_cast<int>(std::min<int64_t>(threads, pixelEstimate / kPixelsPerThread));
    threads = std::min(threads, rows / 8);
    return std::max(threads, 1);
}

}  // namespace

int RasterThreadCount() {
    int setting = g_threadSetting.load();
    if (setting > 0)
        return setting;
    // Asked once: the library reads it from system files on every call, which cost more than
    // a small draw.
    static const int kDefault = [] {
        const char* text = std::getenv("TESSEL_D3D9_THREADS");
        int asked = text != nullptr ? std::atoi(text) : 0;
        if (asked > 0)
            return std::min(asked, 64);
        return std::min(static_cast<int>(std::thread::hardware_concurrency()), 4);
    }();
    return std::max(kDefault, 1);
}

void RunOnWorkers(int count, const std::function<void(int)>& job) {
    Workers().Run(count, job);
}

// The rows the items of a draw touch, so that each band of a small or distant mesh gets a
// share of its rows rather than of the whole target.
void CoveredRows(const DrawSetup& s, const DrawWork& work, int32_t* top, int32_t* bottom) {
    int32_t lo = s.clip.bottom, hi = s.clip.top;
    for (const Triangle& t : work.triangles) {
        lo = std::min(lo, t.top);
        hi = std::max(hi, t.bottom + 1);
    }
    for (const Quad& q : work.quads) {
        lo = std::min(lo, q.top);
        hi = std::max(hi, q.bottom);
    }
    *top = std::max(lo, s.clip.top);
    *bottom = std::min(hi, s.clip.bottom);
}

namespace {

void RunItems(const DrawSetup& s, const DrawWork& work) {
    int32_t first, last;
    CoveredRows(s, work, &first, &last);
    if (first >= last)
        return;
    int32_t rows = last - first;
    int threads = SamplesOwnTarget(s) ? 1 : ThreadsFor(work.pixelEstimate, rows);
    if (threads <= 1) {
        RasterItems(s, work, s.clip.top, s.clip.bottom);
        return;
    }
    std::function<void(int)> job = [&](int band) {
        int32_t top = first + static_cast<int32_t>(static_cast<int64_t>(rows) * band / threads);
        int32_t bottom =
            first + static_cast<int32_t>(static_cast<int64_t>(rows) * (band + 1) / threads);
        RasterItems(s, work, top, bottom);
    };
    Workers().Run(threads, job);
}

// ---------------------------------------------------------------------------------------------
// Draw calls

bool FetchIndex(const RasterDrawCall& call, uint32_t i, uint32_t* out) {
    uint32_t index = call.indices != nullptr ? call.indices[i] : i;
    if (index >= call.vertexCount)
        return false;
    *out = index;
    return true;
}

// FILLMODE POINT and WIREFRAME: the vertices, or the edges as lines, of the triangles that
// culling leaves (clipped ones as the polygon clipping made). An edge runs from one vertex up to
// the next without its last pixel, so each vertex of the outline is lit once. Flat shading
// gives the whole outline the colours of the triangle's first vertex.
void DrawTriangleOutlines(const DrawSetup& s, const RasterDrawCall& call) {
    DrawSetup edges = s;
    edges.lastPixel = false;
    std::vector<ClipVertex> poly;
    std::vector<ScreenVertex> outline;
    for (uint32_t k = 0; k < call.primitiveCount; ++k) {
        TriangleRef ref;
        if (!TriangleAt(call.primitiveType, k, &ref))
            return;
        uint32_t idx[3], provoking;
        if (!FetchIndex(call, ref.v[0], &idx[0]) || !FetchIndex(call, ref.v[1], &idx[1]) ||
            !FetchIndex(call, ref.v[2], &idx[2]) || !FetchIndex(call, ref.provoking, &provoking)) {
            continue;
        }
        outline.clear();
        if (call.space == RasterSpace::kScreen) {
            for (int i = 0; i < 3; ++i)
                outline.push_back(ScreenFromRaster(call.vertices[idx[i]]));
        } else {
            poly.clear();
            for (int i = 0; i < 3; ++i)
                poly.push_back(ClipFromRaster(call.vertices[idx[i]]));
            ClipPolygon(&poly);
            for (const ClipVertex& c : poly)
                outline.push_back(ProjectClip(s, c));
        }
        if (outline.size() < 3)
            continue;
        const ScreenVertex &a = outline[0], &b = outline[1], &c = outline[2];
        double area = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
        if (area == 0.0 || (s.cull == kCullCw && area > 0) || (s.cull == kCullCcw && area < 0))
            continue;
        if (s.flat) {
            for (ScreenVertex& v : outline) {
                ColourToAttrs(call.vertices[provoking].diffuse, v.attr + kAttrDiffuse);
                ColourToAttrs(call.vertices[provoking].specular, v.attr + kAttrSpecular);
            }
        }
        size_t n = outline.size();
        for (size_t i = 0; i < n; ++i) {
            if (s.fillMode == kFillPoint)
                DrawPoint(s, outline[i]);
            else
                DrawLine(edges, outline[i], outline[(i + 1) % n]);
        }
    }
}

}  // namespace

void BuildTriangleWork(const DrawSetup& s, const RasterDrawCall& call, DrawWork* out) {
    DrawWork& work = *out;
    work.triangles.clear();
    work.quads.clear();
    work.items.clear();
    work.pixelEstimate = 0;
    work.triangles.reserve(std::min<size_t>(call.primitiveCount, size_t{1} << 20));
    bool quadsFit = g_fastQuads.load() && call.space == RasterSpace::kScreen &&
                    call.primitiveType == kPrimTriangleList && QuadProgramFits(s);
    bool plainCopies = s.write.blendOff && !s.alphaTest && !s.depthTest &&
                       !(s.needTexture[0] && IsLinearFilter(s.samplers[0].magFilter));
    bool kernelQuads = s.write.direct && !s.depthTest;
    bool kernelSpans = kernelQuads && g_fastQuads.load() && QuadProgramFits(s) &&
                       !(s.needTexture[0] && IsLinearFilter(s.samplers[0].magFilter));
    ScreenVertex* screen = work.screen;
    for (uint32_t k = 0; k < call.primitiveCount; ++k) {
        if (quadsFit && k + 1 < call.primitiveCount) {
            const RasterVertex* v[6];
            bool ok = true;
            for (uint32_t i = 0; i < 6 && ok; ++i) {
                uint32_t index;
                ok = FetchIndex(call, 3 * k + i, &index);
                if (ok)
                    v[i] = &call.vertices[index];
            }
            Quad q;
            if (ok && MakeQuad(s, v, &q)) {
                work.items.push_back({true, static_cast<uint32_t>(work.quads.size())});
                int64_t area = static_cast<int64_t>(q.right - q.left) * (q.bottom - q.top);
                // A plain point-sampled copy runs at memory speed, and a quad for the whole-quad
                // kernels at a few times the per-pixel speed; handing them to threads pays
                // only in bulk.
                work.pixelEstimate += plainCopies ? area / 32 : (kernelQuads ? area / 4 : area);
                work.quads.push_back(q);
                ++k;
                continue;
            }
        }
        TriangleRef ref;
        if (!TriangleAt(call.primitiveType, k, &ref))
            return;
        uint32_t idx[3], provoking;
        if (!FetchIndex(call, ref.v[0], &idx[0]) || !FetchIndex(call, ref.v[1], &idx[1]) ||
            !FetchIndex(call, ref.v[2], &idx[2]) || !FetchIndex(call, ref.provoking, &provoking)) {
            continue;
        }
        const RasterVertex& pv = call.vertices[provoking];
        if (call.space == RasterSpace::kScreen) {
            // Every field is written here: filled in place, they are not cleared first.
            const ScreenVertex* p[3] = {&screen[0], &screen[1], &screen[2]};
            for (int i = 0; i < 3; ++i)
                ScreenFromRaster(call.vertices[idx[i]], &screen[i]);
            AddTriangle(s, p, pv.diffuse, pv.specular, kernelSpans, &work);
            continue;
        }
        std::vector<ClipVertex>& poly = work.polygon;
        poly.clear();
        bool inside = true;
        for (int i = 0; i < 3; ++i) {
            poly.push_back(ClipFromRaster(call.vertices[idx[i]]));
            inside = inside && ClipVertexInside(poly.back());
        }
        // A triangle inside every plane comes out of the clipper as it went in.
        if (!inside)
            ClipPolygon(&poly);
        if (poly.size() < 3)
            continue;
        std::vector<ScreenVertex>& projected = work.projected;
        projected.clear();
        for (const ClipVertex& c : poly)
            projected.push_back(ProjectClip(s, c));
        for (size_t i = 1; i + 1 < projected.size(); ++i) {
            const ScreenVertex* p[3] = {&projected[0], &projected[i], &projected[i + 1]};
            AddTriangle(s, p, pv.diffuse, pv.specular, kernelSpans, &work);
        }
    }
}

namespace {

void DrawTriangles(const DrawSetup& s, const RasterDrawCall& call) {
    if (s.fillMode == kFillPoint || s.fillMode == kFillWireframe) {
        DrawTriangleOutlines(s, call);
        return;
    }
    thread_local DrawWork work;
    BuildTriangleWork(s, call, &work);
    RunItems(s, work);
}

void DrawPoints(const DrawSetup& s, const RasterDrawCall& call) {
    for (uint32_t k = 0; k < call.primitiveCount; ++k) {
        uint32_t index;
        if (!FetchIndex(call, k, &index))
            continue;
        const RasterVertex& v = call.vertices[index];
        if (call.space == RasterSpace::kScreen) {
            DrawPoint(s, ScreenFromRaster(v));
            continue;
        }
        ClipVertex c = ClipFromRaster(v);
        if (ClipVertexInside(c))
            DrawPoint(s, ProjectClip(s, c));
    }
}

// Clips a clip-space segment; false when nothing is left.
bool ClipSegment(ClipVertex* a, ClipVertex* b) {
    for (int plane = 0; plane < kClipPlaneCount; ++plane) {
        double da = PlaneDistance(*a, plane);
        double db = PlaneDistance(*b, plane);
        if (da < 0 && db < 0)
            return false;
        if (da < 0)
            *a = LerpClip(*a, *b, da / (da - db));
        if (db < 0)
            *b = LerpClip(*a, *b, da / (da - db));
    }
    return a->pos[3] > 0.0 && b->pos[3] > 0.0;
}

void DrawLines(const DrawSetup& s, const RasterDrawCall& call) {
    for (uint32_t k = 0; k < call.primitiveCount; ++k) {
        uint32_t first = call.primitiveType == kPrimLineList ? 2 * k : k;
        uint32_t ia, ib;
        if (!FetchIndex(call, first, &ia) || !FetchIndex(call, first + 1, &ib))
            continue;
        if (call.space == RasterSpace::kScreen) {
            DrawLine(s, ScreenFromRaster(call.vertices[ia]), ScreenFromRaster(call.vertices[ib]));
            continue;
        }
        ClipVertex a = ClipFromRaster(call.vertices[ia]);
        ClipVertex b = ClipFromRaster(call.vertices[ib]);
        uint32_t flatDiffuse = call.vertices[ia].diffuse;
        if (!ClipSegment(&a, &b))
            continue;
        ScreenVertex sa = ProjectClip(s, a);
        ScreenVertex sb = ProjectClip(s, b);
        ColourToAttrs(flatDiffuse, sa.attr + kAttrDiffuse);  // flat lines keep the first colour
        DrawLine(s, sa, sb);
    }
}

}  // namespace
}  // namespace raster_internal

using namespace raster_internal;

void DrawRasterPrimitives(const RasterTarget& target, const RasterStates& states,
                          const RasterDrawCall& call) {
    DrawRasterPrimitives(target, states, call, nullptr);
}

void DrawRasterPrimitives(const RasterTarget& target, const RasterStates& states,
                          const RasterDrawCall& call, RasterBatch* batch) {
    if (call.vertices == nullptr || call.primitiveCount == 0)
        return;
    if (target.color.bits == nullptr || RasterBytesPerPixel(target.color.format) == 0)
        return;
    DrawSetup s;
    CompileSetup(target, states, &s);
    if (IsEmpty(s.clip))
        return;
    if (batch != nullptr && KeepInBatch(batch->kept_.get(), s, call))
        return;
    switch (call.primitiveType) {
        case kPrimPointList:
            DrawPoints(s, call);
            break;
        case kPrimLineList:
        case kPrimLineStrip:
            DrawLines(s, call);
            break;
        case kPrimTriangleList:
        case kPrimTriangleStrip:
        case kPrimTriangleFan:
            DrawTriangles(s, call);
            break;
        default:
            break;
    }
}

}  // namespace platform
