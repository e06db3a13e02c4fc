// A 640x480 Theora clip decoded and every frame converted to B, G, R, X, in
// frames per second: the movie decoder (its thread decoding ahead, the
// window thread converting) beside libtheora's own decoder followed by
// libyuv's I420-to-ARGB conversion, in the same run. Then the conversion
// alone, ours beside libyuv's, in pixels per second. The two pipelines also
// report the processor time a frame costs, all threads counted.
#include <benchmark/benchmark.h>
#include <libyuv/convert_argb.h>

#include <ctime>
#include <utility>
#include <vector>

#include "movie/theora_decoder.h"
#include "movie/yuv_convert.h"
#include "support/spread.h"
#include "tests/movie/movie_test_support.h"
#include "tools/lib/theora_clip.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kFrames = 120;

// A drifting gradient under a moving block and a little noise: pictures
// that change every frame as a game's movie does.
void PaintScene(int frame, tessel::ClipPicture& p) {
    uint32_t seed = 977u * static_cast<uint32_t>(frame) + 1u;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            seed = seed * 1103515245u + 12345u;
            int luma = 40 + ((x + 3 * frame) * 160 / p.width) + static_cast<int>(seed >> 29);
            const int bx = (frame * 7) % (p.width - 96);
            if (x >= bx && x < bx + 96 && y >= 180 && y < 300) {
                luma = 220;
            }
            p.y[static_cast<size_t>(y) * p.width + x] = static_cast<uint8_t>(luma);
        }
    }
    for (int y = 0; y < p.chromaHeight; ++y) {
        for (int x = 0; x < p.chromaWidth; ++x) {
            const size_t at = static_cast<size_t>(y) * p.chromaWidth + x;
            p.u[at] = static_cast<uint8_t>(96 + (y + frame) % 64);
            p.v[at] = static_cast<uint8_t>(160 - (x + frame) % 64);
        }
    }
}

const std::vector<uint8_t>& Clip() {
    static const std::vector<uint8_t> clip = [] {
        tessel::TheoraClipOptions recipe;
        recipe.width = kWidth;
        recipe.height = kHeight;
        recipe.frames = kFrames;
        recipe.keyFrameInterval = 30;
        recipe.quality = 40;
        return tessel::EncodeTheoraClip(recipe, PaintScene);
    }();
    return clip;
}

// Processor time of every thread of the process, in milliseconds: the work a
// frame costs whatever else the machine runs, beside the frames per second,
// which a loaded machine bends.
double ProcessCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

void ReportFrames(benchmark::State& state, double cpuMsAtStart) {
    const double frames = static_cast<double>(state.iterations());
    state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["cpu_ms/frame"] = (ProcessCpuMs() - cpuMsAtStart) / frames;
}

void BM_MovieDecoder(benchmark::State& state) {
    tessel::TheoraBuildYuvTables();
    tessel_test::MemoryFile file{Clip(), 0};
    tessel::TheoraDecoder* decoder = tessel_test::OpenMemoryClip(file, 10);
    if (decoder == nullptr) {
        state.SkipWithError("the clip did not open");
        return;
    }
    const double cpuMs = ProcessCpuMs();
    for (auto _ : state) {
        tessel::TheoraAdvance(decoder, 1);
        tessel::TheoraUpdateImage(decoder, 1, 0);
        benchmark::DoNotOptimize(tessel::TheoraRgbImage(decoder)->pixels[0]);
    }
    ReportFrames(state, cpuMs);
    tessel::TheoraClose(decoder);
}
BENCHMARK(BM_MovieDecoder)->UseRealTime()->Unit(benchmark::kMillisecond);

// libtheora's decoder over the clip's packets, looping at the end, each
// frame converted by libyuv.
class PeerPipeline {
  public:
    PeerPipeline() : argb_(static_cast<size_t>(kWidth) * kHeight * 4) {
        ogg_sync_state sync;
        ogg_sync_init(&sync);
        char* buffer = ogg_sync_buffer(&sync, static_cast<long>(Clip().size()));
        std::memcpy(buffer, Clip().data(), Clip().size());
        ogg_sync_wrote(&sync, static_cast<long>(Clip().size()));
        ogg_stream_state stream;
        ogg_page page;
        ogg_packet packet;
        bool started = false;
        while (ogg_sync_pageout(&sync, &page) == 1) {
            if (!started) {
                ogg_stream_init(&stream, ogg_page_serialno(&page));
                started = true;
            }
            ogg_stream_pagein(&stream, &page);
            while (ogg_stream_packetout(&stream, &packet) == 1) {
                packets_.emplace_back(packet.packet, packet.packet + packet.bytes);
                flags_.push_back({packet.b_o_s, packet.e_o_s});
            }
        }
        ogg_stream_clear(&stream);
        ogg_sync_clear(&sync);
        th_info_init(&info_);
        th_comment_init(&comment_);
        for (next_ = 0; next_ < 3; ++next_) {
            ogg_packet header = Packet(next_);
            th_decode_headerin(&info_, &comment_, &setup_, &header);
        }
        decoder_ = th_decode_alloc(&info_, setup_);
    }
    ~PeerPipeline() {
        th_decode_free(decoder_);
        th_setup_free(setup_);
        th_comment_clear(&comment_);
        th_info_clear(&info_);
    }
    void NextFrame() {
        if (next_ == packets_.size()) {
            next_ = 3;  // every loop starts at the first frame, a key frame
        }
        ogg_packet packet = Packet(next_++);
        th_decode_packetin(decoder_, &packet, nullptr);
        th_ycbcr_buffer frame;
        th_decode_ycbcr_out(decoder_, frame);
        libyuv::I420ToARGB(frame[0].data, frame[0].stride, frame[1].data, frame[1].stride,
                           frame[2].data, frame[2].stride, argb_.data(), kWidth * 4, kWidth,
                           kHeight);
    }
    const uint8_t* Pixels() const { return argb_.data(); }

  private:
    ogg_packet Packet(size_t i) {
        ogg_packet p{};
        p.packet = packets_[i].data();
        p.bytes = static_cast<long>(packets_[i].size());
        p.b_o_s = flags_[i].first;
        p.e_o_s = flags_[i].second;
        p.packetno = static_cast<ogg_int64_t>(i);
        p.granulepos = -1;
        return p;
    }
    std::vector<std::vector<uint8_t>> packets_;
    std::vector<std::pair<long, long>> flags_;
    size_t next_ = 0;
    th_info info_;
    th_comment comment_;
    th_setup_info* setup_ = nullptr;
    th_dec_ctx* decoder_ = nullptr;
    std::vector<uint8_t> argb_;
};

void BM_LibtheoraWithLibyuv(benchmark::State& state) {
    PeerPipeline peer;
    const double cpuMs = ProcessCpuMs();
    for (auto _ : state) {
        peer.NextFrame();
        benchmark::DoNotOptimize(peer.Pixels()[0]);
    }
    ReportFrames(state, cpuMs);
}
BENCHMARK(BM_LibtheoraWithLibyuv)->UseRealTime()->Unit(benchmark::kMillisecond);

// The conversion alone, on one decoded frame of the clip.
const tessel_test::OracleFrame& OneFrame() {
    static const tessel_test::OracleFrame frame = tessel_test::DecodeAllFrames(Clip())[17];
    return frame;
}

void ReportPixels(benchmark::State& state) {
    state.counters["Gpx/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kWidth * kHeight / 1e9,
                           benchmark::Counter::kIsRate);
}

using Convert420 = void (*)(const tessel::YuvPlanes&, int, int, uint8_t*, int);

void ConvertWith(benchmark::State& state, Convert420 convert) {
    tessel::TheoraBuildYuvTables();
    const tessel_test::OracleFrame& f = OneFrame();
    const tessel::YuvPlanes planes{f.y.data(), f.u.data(), f.v.data(), f.yWidth, f.yHeight,
                                   f.yWidth,   f.uvWidth,  f.uvHeight, f.uvWidth};
    std::vector<uint8_t> out(static_cast<size_t>(kWidth) * kHeight * 4);
    for (auto _ : state) {
        convert(planes, kWidth, kHeight, out.data(), kWidth * 4);
        benchmark::DoNotOptimize(out[0]);
    }
    ReportPixels(state);
}

// The route the processor picks (AVX2 where it has it).
void BM_ConvertFrame(benchmark::State& state) {
    ConvertWith(state, tessel::ConvertYuv420ToBgrx);
}
BENCHMARK(BM_ConvertFrame)->Unit(benchmark::kMicrosecond);

// The route of a processor without AVX2.
void BM_ConvertFrameSse2(benchmark::State& state) {
    ConvertWith(state, tessel::ConvertYuv420ToBgrxSse2);
}
BENCHMARK(BM_ConvertFrameSse2)->Unit(benchmark::kMicrosecond);

void BM_ConvertFramePortable(benchmark::State& state) {
    ConvertWith(state, tessel::ConvertYuv420ToBgrxPortable);
}
BENCHMARK(BM_ConvertFramePortable)->Unit(benchmark::kMicrosecond);

void BM_LibyuvI420ToArgb(benchmark::State& state) {
    const tessel_test::OracleFrame& f = OneFrame();
    std::vector<uint8_t> out(static_cast<size_t>(kWidth) * kHeight * 4);
    for (auto _ : state) {
        libyuv::I420ToARGB(f.y.data(), f.yWidth, f.u.data(), f.uvWidth, f.v.data(), f.uvWidth,
                           out.data(), kWidth * 4, kWidth, kHeight);
        benchmark::DoNotOptimize(out[0]);
    }
    ReportPixels(state);
}
BENCHMARK(BM_LibyuvI420ToArgb)->Unit(benchmark::kMicrosecond);

void PrintSummary(const benchspread::SpreadReporter& r) {
    benchspread::PrintSummaryHeader("frames per second");
    benchspread::PrintFigureRow("movie decoder", r.Get("BM_MovieDecoder", "fps"), 0, false, "%.0f");
    benchspread::PrintFigureRow("libtheora + libyuv", r.Get("BM_LibtheoraWithLibyuv", "fps"), 0,
                                false, "%.0f");
    benchspread::PrintSummaryHeader("processor ms a frame, all threads");
    benchspread::PrintFigureRow("movie decoder", r.Get("BM_MovieDecoder", "cpu_ms/frame"), 0, true,
                                "%.3f");
    benchspread::PrintFigureRow("libtheora + libyuv",
                                r.Get("BM_LibtheoraWithLibyuv", "cpu_ms/frame"), 0, true, "%.3f");
    benchspread::PrintSummaryHeader("ours over the peer [spread]", "ratio");
    benchspread::PrintRateRatio(r, "decoder fps / libtheora + libyuv fps", "BM_MovieDecoder",
                                "BM_LibtheoraWithLibyuv", "fps", 1.0);
    benchspread::PrintRateRatio(r, "conversion Gpx/s / libyuv Gpx/s", "BM_ConvertFrame",
                                "BM_LibyuvI420ToArgb", "Gpx/s");
    benchspread::PrintSummaryHeader("conversion, Gpx/s");
    // The routes of x86-64 processors have the goal; the portable one and
    // libyuv's are the scale.
    const std::pair<const char*, double> rows[] = {{"BM_ConvertFrame", 1.0},
                                                   {"BM_ConvertFrameSse2", 1.0},
                                                   {"BM_ConvertFramePortable", 0},
                                                   {"BM_LibyuvI420ToArgb", 0}};
    for (const auto& [name, goal] : rows) {
        benchspread::PrintFigureRow(name, r.Get(name, "Gpx/s"), goal);
    }
}

}  // namespace

int main(int argc, char** argv) {
    return benchspread::RunWithSummary(argc, argv, PrintSummary);
}
