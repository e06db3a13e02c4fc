// Loading a 100,000-triangle text .x model (a grid mesh with normals and
// texture coordinates, written by the tests' own writer) from memory: our
// whole load into a model base, its first stages alone (the object tree,
// then the read model), and beside them in the same run Assimp's importer
// reading the same bytes. The goal is to stay ahead of Assimp.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "bench/headless_library.h"
#include "models/core/model_system.h"
#include "models/loading/model_loading.h"
#include "models/read/read_model.h"
#include "models/xfile/x_reader.h"
#include "support/spread.h"
#include "tests/models/xfile/x_sample_models.h"

#ifdef TESSEL_BENCH_ASSIMP
#include <assimp/scene.h>
#include <assimp/Importer.hpp>
#endif

namespace {

constexpr int kTriangles = 100000;

const std::vector<uint8_t>& TextModel() {
    static const std::vector<uint8_t> file =
        tessel_test::GridModel(tessel_test::XForm::kText, kTriangles);
    return file;
}

// The whole reader: file image to model base (the base is released again).
void BM_LoadXModel(benchmark::State& state) {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    // A title of its own keeps other headless programs from counting as a
    // second copy of this one.
    tessel::SetWindowTitle("bench_x_reader");
    if (!benchlib::StartHeadlessLibrary(true) || tessel::g_models.initialised == 0) {
        state.SkipWithError("the library did not start");
        return;
    }
    const std::vector<uint8_t>& file = TextModel();
    const tessel::ModelLoadParams params = {
        file.data(), static_cast<int32_t>(file.size()), "grid.x", "grid", ".", nullptr};
    for (auto _ : state) {
        const int base = tessel::LoadXModel(&params);
        if (base < 0) {
            state.SkipWithError("the model did not load");
            break;
        }
        tessel::ReleaseModelBase(base);
    }
    state.SetItemsProcessed(state.iterations() * kTriangles);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_LoadXModel)->Unit(benchmark::kMillisecond);

void BM_XReaderParseAndConvert(benchmark::State& state) {
    const std::vector<uint8_t>& file = TextModel();
    for (auto _ : state) {
        tessel::XObjectTree tree;
        tessel::ReadModel model;
        tessel::ReadModelClear(&model);
        tessel::StartXObjectTree(&tree);
        const int parsed = tessel::ParseXImage(file.data(), static_cast<int>(file.size()), &tree);
        const int converted = parsed == 0 ? tessel::ConvertXToReadModel(&tree, &model) : -1;
        if (converted != 0 || model.firstMesh == nullptr ||
            model.firstMesh->faceCount < kTriangles) {
            state.SkipWithError("the model did not load");
        }
        benchmark::DoNotOptimize(model.firstMesh);
        tessel::FreeXObjectTree(&tree);
        tessel::ReadModelRelease(&model);
    }
    state.SetItemsProcessed(state.iterations() * kTriangles);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_XReaderParseAndConvert)->Unit(benchmark::kMillisecond);

// The first stage alone: the file into its object tree.
void BM_XReaderParseOnly(benchmark::State& state) {
    const std::vector<uint8_t>& file = TextModel();
    for (auto _ : state) {
        tessel::XObjectTree tree;
        tessel::StartXObjectTree(&tree);
        if (tessel::ParseXImage(file.data(), static_cast<int>(file.size()), &tree) != 0) {
            state.SkipWithError("the model did not parse");
        }
        benchmark::DoNotOptimize(tree.lastObject);
        tessel::FreeXObjectTree(&tree);
    }
    state.SetItemsProcessed(state.iterations() * kTriangles);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_XReaderParseOnly)->Unit(benchmark::kMillisecond);

#ifdef TESSEL_BENCH_ASSIMP
void BM_AssimpReadFromMemory(benchmark::State& state) {
    const std::vector<uint8_t>& file = TextModel();
    for (auto _ : state) {
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFileFromMemory(file.data(), file.size(), 0, "x");
        if (scene == nullptr || scene->mNumMeshes == 0 ||
            scene->mMeshes[0]->mNumFaces < static_cast<unsigned>(kTriangles)) {
            state.SkipWithError("Assimp did not load the model");
        }
        benchmark::DoNotOptimize(scene);
    }
    state.SetItemsProcessed(state.iterations() * kTriangles);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_AssimpReadFromMemory)->Unit(benchmark::kMillisecond);
#endif

// Assimp's time over each of ours: above 1, ours is ahead (the goal for the
// whole load).
void PrintSummary(const benchspread::SpreadReporter& r) {
    benchspread::PrintSideBySideHeader("ms a model, CPU", "ours", "Assimp", "Assimp/ours [spread]");
    const benchspread::Samples assimp =
        benchspread::Scaled(r.Get("BM_AssimpReadFromMemory", "cpu_seconds"), 1e3);
    const std::pair<const char*, double> rows[] = {
        {"BM_LoadXModel", 1.0}, {"BM_XReaderParseAndConvert", 0}, {"BM_XReaderParseOnly", 0}};
    for (const auto& [name, goal] : rows) {
        const benchspread::Samples ours = benchspread::Scaled(r.Get(name, "cpu_seconds"), 1e3);
        benchspread::PrintSideBySideRow(name, ours, assimp, benchspread::Ratios(assimp, ours), goal,
                                        "%.1f");
    }
}

}  // namespace

int main(int argc, char** argv) {
    return benchspread::RunWithSummary(argc, argv, PrintSummary);
}
