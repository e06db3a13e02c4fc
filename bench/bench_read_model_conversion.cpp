// The read-model conversion of a 100,352-triangle skinned mesh (a 224 x 224
// grid of quads over 32 bone frames, every position moved by two to four
// bones, normals given), in milliseconds per conversion; the goal is at most
// 50 ms. Each iteration converts a fresh read model, filled outside the
// timing, and releases the base outside it too.

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/headless_library.h"
#include "models/core/model_system.h"
#include "models/read/read_model.h"
#include "models/read/read_model_conversion.h"
#include "models/util/model_containers.h"

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
                        face.positionIndex[k] = quad[half[k]];
                        face.normalIndex[k] = quad[half[k]];
                    }
                    s.faces.push_back(face);
                }
            }
        }
        return s;
    }();
    return source;
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
    if (!benchlib::StartHeadlessLibrary(true) || tessel::g_models.initialised == 0) {
        state.SkipWithError("the library did not start");
        return;
    }
    Mesh();
    int lists = 0;
    for (auto _ : state) {
        state.PauseTiming();
        tessel::ReadModel model;
        Fill(&model);
        state.ResumeTiming();
        const int handle = tessel::ConvertReadModel(&model, nullptr, nullptr);
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
}

}  // namespace

BENCHMARK(BM_ConvertReadModel_100kSkinnedTriangles)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
