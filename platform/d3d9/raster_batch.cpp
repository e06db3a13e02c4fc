// Kept draws: solid triangle draws set up at once and rasterised later, on bands of rows across
// the pool's threads. Each band replays every kept draw that reaches it, in the order the draws
// came, clipped to its rows; a pixel's result depends only on the draws before it, so the
// pixels equal the immediate draws' whatever the bands.
//
// A kept draw carries its compiled set-up and copies of the texture views it samples (the
// device rebuilds its views for every draw); the texels themselves stay where they are, which
// is why whatever changes or frees them flushes the batch first.
#include "platform/d3d9/raster_draw_internal.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <utility>

namespace platform {

struct RasterBatch::Kept {
    struct Draw {
        raster_internal::DrawSetup setup;
        RasterTexture textures[kRasterStageCount];
        raster_internal::DrawWork work;
        int32_t top = 0, bottom = 0;  // the rows its items touch
    };

    // Grown, never shrunk: a draw's vectors keep their room for the next frame's.
    std::vector<std::unique_ptr<Draw>> draws;
    // Each kept draw's rows again, side by side, so that a band passes over the draws that miss
    // it without reading them.
    std::vector<std::pair<int32_t, int32_t>> rows;
    size_t used = 0;
    size_t items = 0;
    RasterTarget target;
    int32_t top = 0, bottom = 0;

    Draw& Next() {
        if (used == draws.size())
            draws.push_back(std::make_unique<Draw>());
        return *draws[used];
    }
    void Replay();
};

namespace raster_internal {
namespace {

std::atomic<uint64_t> g_keptDraws{0};
std::atomic<bool> g_batchesEnabled{true};

// A draw of more primitives is drawn at once (split by rows when it is large enough), and a
// batch is replayed when it holds this many draws or items: their memory stays bounded.
constexpr uint32_t kMaxKeptPrimitives = 64;
constexpr size_t kMaxKeptDraws = 4096;
constexpr size_t kMaxKeptItems = 16384;
// A draw's room past this many triangles is given back after its replay, so that a few large
// draws do not leave every slot large.
constexpr size_t kKeptTriangleRoom = 4;
// Bands per thread: several, so that a thread whose bands are busy does not hold up the rest.
constexpr int kBandsPerThread = 4;
constexpr int32_t kMinBandRows = 8;

bool SameSurface(const RasterSurface& a, const RasterSurface& b) {
    return a.bits == b.bits && a.width == b.width && a.height == b.height && a.pitch == b.pitch &&
           a.format == b.format;
}

bool SameTarget(const RasterTarget& a, const RasterTarget& b) {
    return SameSurface(a.color, b.color) && SameSurface(a.depth, b.depth);
}

bool Keepable(const DrawSetup& s, const RasterDrawCall& call) {
    bool triangles = call.primitiveType == kPrimTriangleList ||
                     call.primitiveType == kPrimTriangleStrip ||
                     call.primitiveType == kPrimTriangleFan;
    if (!triangles || call.primitiveCount > kMaxKeptPrimitives || s.fillMode == kFillPoint ||
        s.fillMode == kFillWireframe || s.pixelShader != nullptr) {
        return false;
    }
    if (SamplesOwnTarget(s))
        return false;
    // The stages sample the first four; the copies kept are theirs.
    for (int i = kRasterStageCount; i < kRasterSamplerCount; ++i) {
        if (s.samplers[i].texture != nullptr)
            return false;
    }
    return true;
}

// Points the set-up at the draw's own copies of its texture views.
void KeepTextures(RasterBatch::Kept::Draw* draw) {
    DrawSetup& s = draw->setup;
    for (int i = 0; i < kRasterStageCount; ++i) {
        const RasterTexture* texture = s.samplers[i].texture;
        if (texture == nullptr)
            continue;
        draw->textures[i] = *texture;
        s.samplers[i].texture = &draw->textures[i];
        if (s.pointLevel[i] != nullptr)
            s.pointLevel[i] = &draw->textures[i].levels[s.pointLevel[i] - texture->levels];
    }
}

}  // namespace

bool SamplesOwnTarget(const DrawSetup& s) {
    for (const RasterSampler& sampler : s.samplers) {
        const RasterTexture* texture = sampler.texture;
        for (int i = 0; texture != nullptr && i < texture->levelCount; ++i) {
            const uint8_t* bits = texture->levels[i].bits;
            if (bits != nullptr && (bits == s.target.color.bits || bits == s.target.depth.bits))
                return true;
        }
    }
    return false;
}

bool KeepInBatch(RasterBatch::Kept* kept, const DrawSetup& s, const RasterDrawCall& call) {
    if (!g_batchesEnabled.load(std::memory_order_relaxed) || RasterThreadCount() <= 1 ||
        !Keepable(s, call)) {
        kept->Replay();
        return false;
    }
    if (kept->used > 0 && !SameTarget(kept->target, s.target))
        kept->Replay();
    RasterBatch::Kept::Draw& draw = kept->Next();
    draw.setup = s;
    BuildTriangleWork(draw.setup, call, &draw.work);
    CoveredRows(draw.setup, draw.work, &draw.top, &draw.bottom);
    if (draw.top >= draw.bottom)
        return true;  // nothing to draw: the slot is taken again by the next
    KeepTextures(&draw);
    if (kept->used == 0) {
        kept->target = s.target;
        kept->top = draw.top;
        kept->bottom = draw.bottom;
    }
    kept->top = std::min(kept->top, draw.top);
    kept->bottom = std::max(kept->bottom, draw.bottom);
    if (kept->rows.size() < kept->used + 1)
        kept->rows.resize(kept->used + 1);
    kept->rows[kept->used] = {draw.top, draw.bottom};
    ++kept->used;
    kept->items += draw.work.items.size();
    if (kept->items >= kMaxKeptItems || kept->used >= kMaxKeptDraws)
        kept->Replay();
    return true;
}

}  // namespace raster_internal

void RasterBatch::Kept::Replay() {
    if (used == 0)
        return;
    int32_t height = bottom - top;
    int threads = std::max(
        1, std::min(raster_internal::RasterThreadCount(), height / raster_internal::kMinBandRows));
    int bands = std::max(1, std::min(threads * raster_internal::kBandsPerThread,
                                     height / raster_internal::kMinBandRows));
    std::atomic<int> next{0};
    std::function<void(int)> job = [&](int) {
        for (int band = next.fetch_add(1); band < bands; band = next.fetch_add(1)) {
            int32_t bandTop =
                top + static_cast<int32_t>(static_cast<int64_t>(height) * band / bands);
            int32_t bandBottom =
                top + static_cast<int32_t>(static_cast<int64_t>(height) * (band + 1) / bands);
            for (size_t i = 0; i < used; ++i) {
                int32_t from = std::max(bandTop, rows[i].first);
                int32_t to = std::min(bandBottom, rows[i].second);
                if (from < to)
                    raster_internal::RasterItems(draws[i]->setup, draws[i]->work, from, to);
            }
        }
    };
    raster_internal::g_keptDraws.fetch_add(used, std::memory_order_relaxed);
    if (threads <= 1)
        job(0);
    else
        raster_internal::RunOnWorkers(threads, job);
    for (size_t i = 0; i < used; ++i) {
        raster_internal::DrawWork& work = draws[i]->work;
        if (work.triangles.capacity() > raster_internal::kKeptTriangleRoom)
            std::vector<raster_internal::Triangle>().swap(work.triangles);
    }
    used = 0;
    items = 0;
}

namespace {

// Every live batch, for the test switches and counters (SettleRasterBatches).
struct LiveBatches {
    std::mutex mutex;
    std::vector<RasterBatch*> batches;
};
LiveBatches& Live() {
    static LiveBatches live;
    return live;
}

}  // namespace

RasterBatch::RasterBatch() : kept_(std::make_unique<Kept>()) {
    LiveBatches& live = Live();
    std::lock_guard<std::mutex> lock(live.mutex);
    live.batches.push_back(this);
}

RasterBatch::~RasterBatch() {
    {
        LiveBatches& live = Live();
        std::lock_guard<std::mutex> lock(live.mutex);
        live.batches.erase(std::find(live.batches.begin(), live.batches.end(), this));
    }
    Flush();
}

void SettleRasterBatches() {
    LiveBatches& live = Live();
    std::lock_guard<std::mutex> lock(live.mutex);
    for (RasterBatch* batch : live.batches)
        batch->Flush();
}

void RasterBatch::Flush() {
    kept_->Replay();
}

void SetRasterBatchesEnabled(bool enabled) {
    SettleRasterBatches();
    raster_internal::g_batchesEnabled.store(enabled);
}

uint64_t RasterKeptDrawCount() {
    return raster_internal::g_keptDraws.load();
}

bool RasterBatch::Pending() const {
    return kept_->used > 0;
}

}  // namespace platform
