// Decoding a three-minute Ogg Vorbis track to 16-bit PCM through the sound
// decoder chain (memory stream, vorbisfile callbacks, the chain's output
// block) against ov_read straight from libvorbisfile over the same bytes in
// memory, in one run.
#include <benchmark/benchmark.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "foundation/files/streams.h"
#include "sound/decoders/pcm_decoder.h"
#include "support/spread.h"
#include "tools/lib/gamedata/synth.h"

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 180;
// What one refill of a streamed sound asks for.
constexpr uint32_t kReadBytes = 8192;

// Chords over a bass line with a little noise: a track the encoder spends
// its usual effort on.
std::vector<uint8_t> MakeTrack() {
    const size_t frames = static_cast<size_t>(kRate) * kSeconds;
    std::vector<float> left(frames);
    std::vector<float> right(frames);
    uint32_t noise = 1;
    for (size_t i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / kRate;
        int bar = static_cast<int>(t / 2.0) % 4;
        double root = 110.0 * std::pow(2.0, (bar * 5 % 12) / 12.0);
        double chord = tessel::gamedata::SineWave(root * 2 * t) +
                       tessel::gamedata::SineWave(root * 2.5 * t) +
                       tessel::gamedata::SineWave(root * 3 * t);
        noise = noise * 1664525u + 1013904223u;
        double hiss = (static_cast<int32_t>(noise >> 16) - 32768) / 32768.0;
        double bass = tessel::gamedata::SineWave(root * t) * (1.0 - std::fmod(t, 0.5));
        left[i] = static_cast<float>(0.2 * chord + 0.3 * bass + 0.02 * hiss);
        right[i] = static_cast<float>(0.2 * chord - 0.25 * bass + 0.02 * hiss);
    }
    return tessel::gamedata::EncodeOggVorbis(left, right, kRate, 0.4f);
}

const std::vector<uint8_t>& Track() {
    static const std::vector<uint8_t> track = MakeTrack();
    return track;
}

void ReportAudio(benchmark::State& state, int64_t bytes) {
    state.SetBytesProcessed(bytes);
    state.counters["audio_s_per_s"] =
        benchmark::Counter(static_cast<double>(bytes) / (kRate * 4), benchmark::Counter::kIsRate);
}

void BM_ChainDecode(benchmark::State& state) {
    const std::vector<uint8_t>& track = Track();
    std::vector<uint8_t> buffer(kReadBytes);
    int64_t total = 0;
    for (auto _ : state) {
        tessel::MemoryStream* memory =
            tessel::OpenMemoryStream(track.data(), static_cast<uint32_t>(track.size()));
        tessel::InputStream stream;
        tessel::InitInputStream(&stream, tessel::GetMemoryStreamOps(),
                                tessel::StreamHandleOf(memory));
        tessel::PcmDecoder decoder;
        if (tessel::OpenDecoder(&stream, &decoder) != 0) {
            state.SkipWithError("the chain did not open the track");
            break;
        }
        int32_t got;
        while ((got = tessel::ReadDecoder(&decoder, buffer.data(), kReadBytes)) > 0) {
            total += got;
            benchmark::DoNotOptimize(buffer.data());
        }
        tessel::CloseDecoder(&decoder);
        tessel::CloseMemoryStream(tessel::StreamHandleOf(memory));
    }
    ReportAudio(state, total);
}
BENCHMARK(BM_ChainDecode)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

struct MemoryReader {
    const std::vector<uint8_t>* bytes;
    size_t at;
};

size_t ReaderRead(void* out, size_t size, size_t count, void* source) {
    auto* reader = static_cast<MemoryReader*>(source);
    size_t n = std::min(size * count, reader->bytes->size() - reader->at);
    std::memcpy(out, reader->bytes->data() + reader->at, n);
    reader->at += n;
    return size == 0 ? 0 : n / size;
}

int ReaderSeek(void* source, ogg_int64_t offset, int whence) {
    auto* reader = static_cast<MemoryReader*>(source);
    ogg_int64_t size = static_cast<ogg_int64_t>(reader->bytes->size());
    ogg_int64_t base = whence == SEEK_CUR   ? static_cast<ogg_int64_t>(reader->at)
                       : whence == SEEK_END ? size
                                            : 0;
    reader->at = static_cast<size_t>(std::clamp<ogg_int64_t>(base + offset, 0, size));
    return 0;
}

long ReaderTell(void* source) {
    return static_cast<long>(static_cast<MemoryReader*>(source)->at);
}

void BM_OvReadDirect(benchmark::State& state) {
    const std::vector<uint8_t>& track = Track();
    std::vector<char> buffer(kReadBytes);
    int64_t total = 0;
    for (auto _ : state) {
        MemoryReader reader{&track, 0};
        OggVorbis_File vorbis;
        ov_callbacks callbacks = {ReaderRead, ReaderSeek, nullptr, ReaderTell};
        if (ov_open_callbacks(&reader, &vorbis, nullptr, 0, callbacks) != 0) {
            state.SkipWithError("libvorbisfile did not open the track");
            break;
        }
        int section = 0;
        long got;
        while ((got = ov_read(&vorbis, buffer.data(), static_cast<int>(kReadBytes), 0, 2, 1,
                              &section)) > 0) {
            total += got;
            benchmark::DoNotOptimize(buffer.data());
        }
        ov_clear(&vorbis);
    }
    ReportAudio(state, total);
}
BENCHMARK(BM_OvReadDirect)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void PrintSummary(const benchspread::SpreadReporter& r) {
    benchspread::PrintSideBySideHeader("seconds of audio a second", "chain", "ov_read",
                                       "chain/ov_read [spread]");
    const benchspread::Samples chain = r.Get("BM_ChainDecode", "audio_s_per_s");
    const benchspread::Samples direct = r.Get("BM_OvReadDirect", "audio_s_per_s");
    benchspread::PrintSideBySideRow("three-minute track", chain, direct,
                                    benchspread::Ratios(chain, direct));
}

}  // namespace

int main(int argc, char** argv) {
    return benchspread::RunWithSummary(argc, argv, PrintSummary);
}
