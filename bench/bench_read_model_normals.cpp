// Normal generation of the read-model preparation on a 200,000-triangle
// mesh (a wavy height field of shared positions, triangulated quads), in
// faces per second; the goal is at least 5 M faces/s. Beside it, in the same
// run, the plainest smooth normals (each position's normalised sum of its
// faces' normals, no edges, no angle) on the same faces, to show what the
// fan walk costs over a bare accumulation.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "models/read/read_model.h"
#include "models/read/read_model_preparation.h"
#include "support/spread.h"

namespace {

constexpr int kColumns = 317;  // 317 x 316 quads = 200,344 triangles
constexpr int kRows = 316;

struct WavyMesh {
    std::vector<tessel::Vec3> positions;
    std::vector<tessel::ReadModelFace> faces;
    std::vector<tessel::ReadModelCorner> corners;  // three a face
};

// Shared by both benchmarks; normal generation rewrites only its own fields
// of the faces and their corners.
WavyMesh& Mesh() {
    static WavyMesh mesh = [] {
        WavyMesh m;
        for (int y = 0; y <= kRows; ++y) {
            for (int x = 0; x <= kColumns; ++x) {
                const float h = 0.3f * std::sin(x * 0.07f) * std::cos(y * 0.05f);
                m.positions.push_back(
                    tessel::Vec3{static_cast<float>(x), h, static_cast<float>(y)});
            }
        }
        auto at = [](int x, int y) { return y * (kColumns + 1) + x; };
        tessel::ReadModelFace face{};
        face.cornerCount = 3;
        for (int y = 0; y < kRows; ++y) {
            for (int x = 0; x < kColumns; ++x) {
                const int quad[4] = {at(x, y), at(x, y + 1), at(x + 1, y + 1), at(x + 1, y)};
                const int halves[2][3] = {{0, 1, 3}, {3, 1, 2}};
                for (const auto& half : halves) {
                    for (int k = 0; k < 3; ++k) {
                        tessel::ReadModelCorner corner{};
                        corner.position = quad[half[k]];
                        m.corners.push_back(corner);
                    }
                    m.faces.push_back(face);
                }
            }
        }
        for (size_t f = 0; f < m.faces.size(); ++f) {
            m.faces[f].corners = &m.corners[3 * f];
        }
        return m;
    }();
    return mesh;
}

void BM_GenerateReadModelNormals(benchmark::State& state) {
    WavyMesh& source = Mesh();
    std::vector<tessel::ReadModelFace>& faces = source.faces;
    std::vector<tessel::Vec3>& positions = source.positions;
    auto mesh = std::make_unique<tessel::ReadModelMesh>();
    mesh->faceCount = static_cast<int32_t>(faces.size());
    mesh->faces = faces.data();
    mesh->positionCount = static_cast<int32_t>(positions.size());
    mesh->positions = positions.data();
    for (auto _ : state) {
        tessel::ReadModel model;
        tessel::ReadModelClear(&model);
        if (!tessel::GenerateReadModelNormals(&model, mesh.get())) {
            state.SkipWithError("normal generation failed");
            break;
        }
        benchmark::DoNotOptimize(mesh->normals);
        tessel::ReadModelRelease(&model);
    }
    state.counters["faces/s"] = benchmark::Counter(
        static_cast<double>(faces.size()) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GenerateReadModelNormals)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainPositionNormalSums(benchmark::State& state) {
    const WavyMesh& source = Mesh();
    std::vector<tessel::Vec3> sums(source.positions.size());
    for (auto _ : state) {
        std::fill(sums.begin(), sums.end(), tessel::Vec3{0, 0, 0});
        for (const tessel::ReadModelFace& face : source.faces) {
            const tessel::Vec3& a = source.positions[face.corners[0].position];
            const tessel::Vec3& b = source.positions[face.corners[1].position];
            const tessel::Vec3& c = source.positions[face.corners[2].position];
            const tessel::Vec3 u{b.x - a.x, b.y - a.y, b.z - a.z};
            const tessel::Vec3 v{c.x - a.x, c.y - a.y, c.z - a.z};
            tessel::Vec3 n{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
            const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
            n = tessel::Vec3{n.x / length, n.y / length, n.z / length};
            for (int k = 0; k < 3; ++k) {
                tessel::Vec3& s = sums[face.corners[k].position];
                s = tessel::Vec3{s.x + n.x, s.y + n.y, s.z + n.z};
            }
        }
        for (tessel::Vec3& s : sums) {
            const float length = std::sqrt(s.x * s.x + s.y * s.y + s.z * s.z);
            s = tessel::Vec3{s.x / length, s.y / length, s.z / length};
        }
        benchmark::DoNotOptimize(sums.data());
    }
    state.counters["faces/s"] = benchmark::Counter(
        static_cast<double>(source.faces.size()) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlainPositionNormalSums)->Unit(benchmark::kMillisecond)->UseRealTime();

void PrintSummary(const benchspread::SpreadReporter& r) {
    benchspread::PrintSummaryHeader("M faces a second");
    benchspread::PrintFigureRow(
        "BM_GenerateReadModelNormals",
        benchspread::ScaledFigure(r, "BM_GenerateReadModelNormals", "faces/s", 1e-6), 5.0);
    benchspread::PrintSideBySideHeader("beside the plain sums", "ours M/s", "plain M/s");
    benchspread::PrintSideBySideFigures(r, "normals / plain sums", "BM_GenerateReadModelNormals",
                                        "BM_PlainPositionNormalSums", "faces/s", 1e-6,
                                        benchspread::RatioOf::kLeftOverRight, "%.2f");
}

}  // namespace

int main(int argc, char** argv) {
    return benchspread::RunWithSummary(argc, argv, PrintSummary);
}
