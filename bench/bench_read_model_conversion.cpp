// The read-model conversion of a 100,352-triangle skinned mesh (a 224 x 224
// grid of quads over 32 bone frames, every position moved by two to four
// bones, normals given), in milliseconds per conversion; the goal is at most
// 50 ms. Each iteration converts a fresh read model, filled outside the
// timing, and releases the base outside it too. Beside it, the floor of
// merely writing as many fresh pages as the conversion faults in.

#include <benchmark/benchmark.h>

#include <sys/mman.h>
#include <sys/resource.h>
#include <time.h>

#include <cstring>
#include <vector>

#include "bench/headless_library.h"
#include "models/core/model_system.h"
#include "models/read/read_model.h"
#include "models/read/read_model_conversion.h"
#include "models/util/model_containers.h"
#include "support/spread.h"

namespace {

constexpr int kGrid = 224;
constexpr int kBones = 32;

template <typename T>
T* Chain(tessel::ReadModel* model, const std::vector<T>& items) {
    auto* copy = static_cast<T*>(
        tessel::AllocChainedBlock(static_cast<uint32_t>(sizeof(T) * items.size()), &model->blocks));
    std::memcpy(copy, items.data(), sizeof(T) * items.size());
    return copy;
}

struct Source {
    std::vector<tessel::Vec3> positions;
    std::vector<tessel::Vec3> normals;
    std::vector<tessel::ReadModelFace> faces;
    std::vector<tessel::ReadModelCorner> corners;  // three a face
    std::vector<std::vector<tessel::ReadModelSkinWeightPair>> weights;
};

const Source& Mesh() {
    static Source source = [] {
        Source s;
        const int side = kGrid + 1;
        s.weights.resize(kBones);
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const int p = y * side + x;
                s.positions.push_back({0.5f * x, 0.25f * (x % 7), 0.5f * y});
                s.normals.push_back({0.0f, 1.0f, 0.0f});
                // Bands along x: two to four neighbouring bones a position.
                const int first = (x * kBones) / side;
                const int count = 2 + (x + y) % 3;
                for (int k = 0; k < count; ++k) {
                    const int bone = (first + k) % kBones;
                    s.weights[bone].push_back({p, 1.0f / static_cast<float>(count)});
                }
            }
        }
        tessel::ReadModelFace face{};
        face.cornerCount = 3;
        for (int y = 0; y < kGrid; ++y) {
            for (int x = 0; x < kGrid; ++x) {
                const int quad[4] = {y * side + x, (y + 1) * side + x, (y + 1) * side + x + 1,
                                     y * side + x + 1};
                const int halves[2][3] = {{0, 1, 3}, {3, 1, 2}};
                for (const auto& half : halves) {
                    for (int k = 0; k < 3; ++k) {
                        tessel::ReadModelCorner corner{};
                        corner.position = quad[half[k]];
                        corner.normal = quad[half[k]];
                        s.corners.push_back(corner);
                    }
                    s.faces.push_back(face);
                }
            }
        }
        return s;
    }();
    return source;
}

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Fresh pages the thread has touched so far: on a loaded virtual machine a
// page fault costs tens of microseconds, so this count explains the time.
double ThreadFaults() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_minflt);
}

void Fill(tessel::ReadModel* model) {
    const Source& s = Mesh();
    tessel::ReadModelClear(model);
    tessel::ReadModelFrame* root = tessel::ReadModelNewFrame(model, "body", nullptr);
    tessel::ReadModelFrame* parent = root;
    for (int b = 0; b < kBones; ++b) {
        parent = tessel::ReadModelNewFrame(model, "bone", parent);
        parent->translation = {0.5f, 0.0f, 0.0f};
    }
    tessel::ReadModelMesh* mesh = tessel::ReadModelNewMesh(model, root);
    mesh->positionCount = static_cast<int32_t>(s.positions.size());
    mesh->positions = Chain(model, s.positions);
    mesh->normalCount = static_cast<int32_t>(s.normals.size());
    mesh->normals = Chain(model, s.normals);
    mesh->faceCount = static_cast<int32_t>(s.faces.size());
    mesh->faces = Chain(model, s.faces);
    tessel::ReadModelCorner* corners = Chain(model, s.corners);
    for (int32_t f = 0; f < mesh->faceCount; ++f) {
        mesh->faces[f].corners = corners + 3 * f;
    }
    for (int b = 0; b < kBones; ++b) {
        tessel::ReadModelSkinWeight* w = tessel::ReadModelNewSkinWeight(model);
        tessel::MatTranslate(&w->offsetMatrix, -0.5f * b, 0.0f, 0.0f);
        w->boneFrameIndex = 1 + b;
        w->weightCount = static_cast<int32_t>(s.weights[b].size());
        w->weights = Chain(model, s.weights[b]);
        mesh->skinWeights[mesh->skinWeightCount++] = w;
    }
}

void BM_ConvertReadModel_100kSkinnedTriangles(benchmark::State& state) {
    // A title of its own: a library program already running elsewhere on the
    // machine would otherwise count as this one started twice.
    tessel::SetWindowTitle("bench_read_model_conversion");
    if (!benchlib::StartHeadlessLibrary(true) || tessel::g_models.initialised == 0) {
        state.SkipWithError("the library did not start");
        return;
    }
    Mesh();
    int lists = 0;
    double threadSeconds = 0.0;
    double faults = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        tessel::ReadModel model;
        Fill(&model);
        state.ResumeTiming();
        const double start = ThreadSeconds();
        const double faultsBefore = ThreadFaults();
        const int handle = tessel::ConvertReadModel(&model, nullptr, nullptr);
        threadSeconds += ThreadSeconds() - start;
        faults += ThreadFaults() - faultsBefore;
        state.PauseTiming();
        if (handle == -1) {
            state.SkipWithError("the conversion failed");
            tessel::ReadModelRelease(&model);
            break;
        }
        lists = tessel::GetModelBase(handle)->triangleListCount;
        tessel::ReleaseModelBase(handle);
        tessel::ReadModelRelease(&model);
        state.ResumeTiming();
    }
    state.counters["triangles"] = static_cast<double>(Mesh().faces.size());
    state.counters["lists"] = lists;
    // The converting thread's own processor time: on a busy machine the wall
    // clock also counts the time other programs held the processor.
    state.counters["thread_ms"] =
        state.iterations() > 0 ? 1000.0 * threadSeconds / static_cast<double>(state.iterations())
                               : 0.0;
    state.counters["page_faults"] =
        state.iterations() > 0 ? faults / static_cast<double>(state.iterations()) : 0.0;
}

// The floor beside it: writing as many fresh pages as one conversion faults
// in (3,643 of 4 KB, counted above), with nothing else done.
void BM_FreshPagesOfOneConversion(benchmark::State& state) {
    constexpr size_t kBytes = size_t{3643} * 4096;
    double threadSeconds = 0.0;
    for (auto _ : state) {
        const double start = ThreadSeconds();
        // Straight from the system, as a large tracked block is: fresh pages
        // every time.
        auto* block = static_cast<char*>(
            mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        std::memset(block, 1, kBytes);
        benchmark::DoNotOptimize(block);
        munmap(block, kBytes);
        threadSeconds += ThreadSeconds() - start;
    }
    state.counters["thread_ms"] =
        state.iterations() > 0 ? 1000.0 * threadSeconds / static_cast<double>(state.iterations())
                               : 0.0;
}

}  // namespace

BENCHMARK(BM_ConvertReadModel_100kSkinnedTriangles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FreshPagesOfOneConversion)->Unit(benchmark::kMillisecond)->UseRealTime();

namespace {

void PrintSummary(const benchspread::SpreadReporter& r) {
    const benchspread::Samples ours =
        r.Get("BM_ConvertReadModel_100kSkinnedTriangles", "thread_ms");
    const benchspread::Samples floor = r.Get("BM_FreshPagesOfOneConversion", "thread_ms");
    benchspread::PrintSummaryHeader("thread ms a conversion");
    benchspread::PrintFigureRow("BM_ConvertReadModel_100kSkinnedTriangles", ours, 50, true, "%.1f");
    benchspread::PrintSideBySideHeader("beside its fresh pages", "ms", "pages ms",
                                       "conversion/pages [spread]");
    benchspread::PrintSideBySideRow("conversion / fresh pages", ours, floor,
                                    benchspread::Ratios(ours, floor), 0, "%.1f");
}

}  // namespace

int main(int argc, char** argv) {
    return benchspread::RunWithSummary(argc, argv, PrintSummary);
}
