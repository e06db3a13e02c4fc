// Reading MQO text into a read model: a 100,000-face grid (made here, CR LF
// line ends, one material, texture coordinates on every face) read whole,
// in bytes of text a second (goal: at least 100 MB/s). Beside it, for scale,
// a bare pass that only splits the same text into numbers with strtof.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "models/read/read_model.h"
#include "models/readers/mqo_reader.h"
#include "support/spread.h"

namespace {

// A grid of side x side quads over (side + 1)^2 vertices.
std::string GridText(int side) {
    std::string text =
        "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\n"
        "Material 1 {\r\n\t\"grid\" col(0.800 0.700 0.600 1.000) dif(0.800) amb(0.600) "
        "emi(0.000) spc(0.000) power(5.00)\r\n}\r\n"
        "Object \"grid\" {\r\n\tdepth 0\r\n\tvisible 15\r\n\tfacet 59.5\r\n";
    char line[200];
    const int row = side + 1;
    std::snprintf(line, sizeof line, "\tvertex %d {\r\n", row * row);
    text += line;
    for (int z = 0; z < row; ++z) {
        for (int x = 0; x < row; ++x) {
            std::snprintf(line, sizeof line, "\t\t%.4f %.4f %.4f\r\n", x * 10.0, (x * z % 7) * 0.5,
                          z * 10.0);
            text += line;
        }
    }
    std::snprintf(line, sizeof line, "\t}\r\n\tface %d {\r\n", side * side);
    text += line;
    for (int z = 0; z < side; ++z) {
        for (int x = 0; x < side; ++x) {
            const int a = z * row + x;
            std::snprintf(
                line, sizeof line,
                "\t\t4 V(%d %d %d %d) M(0) UV(%.5f %.5f %.5f %.5f %.5f %.5f %.5f %.5f)\r\n", a,
                a + 1, a + row + 1, a + row, x / double(side), z / double(side),
                (x + 1) / double(side), z / double(side), (x + 1) / double(side),
                (z + 1) / double(side), x / double(side), (z + 1) / double(side));
            text += line;
        }
    }
    return text + "\t}\r\n}\r\nEof\r\n";
}

const std::string& Grid() {
    static const std::string text = GridText(316);  // 99,856 faces
    return text;
}

void BM_ReadMqo(benchmark::State& state) {
    const std::string& text = Grid();
    const tessel::ModelLoadParams params = {
        text.c_str(), static_cast<int32_t>(text.size()), "grid.mqo", "grid", "/", nullptr};
    for (auto _ : state) {
        tessel::ReadModel model;
        tessel::ReadModelClear(&model);
        if (tessel::ReadMqoIntoModel(&params, &model) != 0) {
            state.SkipWithError("the grid did not read");
        }
        benchmark::DoNotOptimize(model.firstMesh);
        tessel::ReadModelRelease(&model);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReadMqo)->Unit(benchmark::kMillisecond);

void BM_StrtofScan(benchmark::State& state) {
    const std::string& text = Grid();
    for (auto _ : state) {
        const char* p = text.c_str();
        float sum = 0.0f;
        while (*p != '\0') {
            char* end = nullptr;
            const float v = std::strtof(p, &end);
            if (end == p) {
                ++p;
            } else {
                sum += v;
                p = end;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_StrtofScan)->Unit(benchmark::kMillisecond);

void PrintSummary(const benchspread::SpreadReporter& r) {
    benchspread::PrintSummaryHeader("MB of text a second");
    benchspread::PrintFigureRow(
        "BM_ReadMqo", benchspread::ScaledFigure(r, "BM_ReadMqo", "bytes_per_second", 1e-6), 100,
        false, "%.0f");
    benchspread::PrintSideBySideHeader("beside the bare scan", "read MB/s", "strtof MB/s");
    benchspread::PrintSideBySideFigures(r, "read / strtof scan", "BM_ReadMqo", "BM_StrtofScan",
                                        "bytes_per_second", 1e-6,
                                        benchspread::RatioOf::kLeftOverRight);
}

}  // namespace

int main(int argc, char** argv) {
    return benchspread::RunWithSummary(argc, argv, PrintSummary);
}
