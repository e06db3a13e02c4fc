// The DirectSound mixer against SDL_mixer, side by side: 32 looping voices
// (a mix of rates, widths, volumes and pans) mixed into 44.1 kHz 16-bit
// stereo in 512-frame passes; the counter cpu_s_per_audio_s is the CPU time
// one second of audio costs. SDL_mixer plays the same 32 chunks, converted
// to the device's format when they load (as it converts every chunk), and
// its pass is timed inside its own callback on SDL's dummy driver, from its
// music hook (run before the channels) to its post-mix hook (run after).
// Also one 16-bit stereo voice at its own rate (samples per second), and
// the latency from Play to the voice's first frame in a 512-frame callback.
#include <SDL.h>
#include <SDL_mixer.h>
#include <benchmark/benchmark.h>
#include <sched.h>
#include <time.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/dsound.h"
#include "platform/dsound_testing.h"
#include "platform/kernel.h"
#include "support/spread.h"

namespace {

constexpr int kVoices = 32;
constexpr int kPass = 512;
constexpr int kDeviceRate = 44100;

struct VoiceSetup {
    DWORD rate;
    int channels;
    int bits;
    LONG volume;  // hundredths of a decibel
    LONG pan;
};

// Rates, widths, volumes and pans spread over the 32 voices.
VoiceSetup SetupOf(int i) {
    static const DWORD rates[] = {44100, 22050, 11025, 32000, 48000, 44100, 22050, 8000};
    VoiceSetup setup;
    setup.rate = rates[i % 8];
    setup.channels = 1 + (i / 8) % 2;
    setup.bits = i % 3 == 2 ? 8 : 16;
    setup.volume = -(i * 97) % 2400;
    setup.pan = ((i * 1237) % 8001) - 4000;
    return setup;
}

WAVEFORMATEX FormatOf(const VoiceSetup& setup) {
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(setup.channels);
    format.wBitsPerSample = static_cast<WORD>(setup.bits);
    format.nSamplesPerSec = setup.rate;
    format.nBlockAlign = static_cast<WORD>(setup.channels * setup.bits / 8);
    format.nAvgBytesPerSec = setup.rate * format.nBlockAlign;
    return format;
}

// Two seconds of a tone of the voice's own pitch, in its format.
std::vector<uint8_t> SamplesOf(const VoiceSetup& setup, int i) {
    int frames = static_cast<int>(setup.rate) * 2;
    std::vector<uint8_t> bytes;
    double hz = 220.0 + 37.0 * i;
    for (int f = 0; f < frames; ++f) {
        for (int c = 0; c < setup.channels; ++c) {
            double v = 0.4 * std::sin(2.0 * M_PI * hz * (f + 0.5 * c) / setup.rate);
            if (setup.bits == 8) {
                bytes.push_back(static_cast<uint8_t>(std::lround(v * 127.0) + 128));
            } else {
                auto s = static_cast<int16_t>(std::lround(v * 32767.0));
                bytes.push_back(static_cast<uint8_t>(s & 0xFF));
                bytes.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
            }
        }
    }
    return bytes;
}

double ThreadCpuSeconds() {
    timespec now = {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

double WallSeconds() {
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

IDirectSound8* CreateSound() {
    void* object = nullptr;
    if (CoCreateInstance(CLSID_DirectSound8, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectSound8,
                         &object) != S_OK) {
        return nullptr;
    }
    auto* sound = static_cast<IDirectSound8*>(object);
    if (sound->Initialize(nullptr) != DS_OK ||
        sound->SetCooperativeLevel(nullptr, DSSCL_PRIORITY) != DS_OK) {
        sound->Release();
        return nullptr;
    }
    return sound;
}

IDirectSoundBuffer* CreateBuffer(IDirectSound8* sound, const VoiceSetup& setup,
                                 const std::vector<uint8_t>& samples) {
    WAVEFORMATEX format = FormatOf(setup);
    DSBUFFERDESC desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = 0x80E2u;
    desc.dwBufferBytes = static_cast<DWORD>(samples.size());
    desc.lpwfxFormat = &format;
    IDirectSoundBuffer* buffer = nullptr;
    if (sound->CreateSoundBuffer(&desc, &buffer, nullptr) != DS_OK) {
        return nullptr;
    }
    void* part = nullptr;
    DWORD bytes = 0;
    buffer->Lock(0, 0, &part, &bytes, nullptr, nullptr, DSBLOCK_ENTIREBUFFER);
    std::memcpy(part, samples.data(), bytes);
    buffer->Unlock(part, bytes, nullptr, 0);
    buffer->SetVolume(setup.volume);
    buffer->SetPan(setup.pan);
    return buffer;
}

void ReportAudio(benchmark::State& state, int64_t frames) {
    state.counters["cpu_s_per_audio_s"] =
        benchmark::Counter(static_cast<double>(frames) / kDeviceRate,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void DirectSoundMix32(benchmark::State& state) {
    platform::SetDirectSoundTestMode(true);
    IDirectSound8* sound = CreateSound();
    if (sound == nullptr) {
        state.SkipWithError("no DirectSound object");
        return;
    }
    std::vector<IDirectSoundBuffer*> buffers;
    for (int i = 0; i < kVoices; ++i) {
        VoiceSetup setup = SetupOf(i);
        buffers.push_back(CreateBuffer(sound, setup, SamplesOf(setup, i)));
        buffers.back()->Play(0, 0, DSBPLAY_LOOPING);
    }
    std::vector<int16_t> out(2 * kPass);
    for (auto _ : state) {
        platform::AdvanceDirectSoundMixer(sound, kPass, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    ReportAudio(state, state.iterations() * kPass);
    for (IDirectSoundBuffer* buffer : buffers) {
        buffer->Release();
    }
    sound->Release();
    platform::SetDirectSoundTestMode(false);
}
BENCHMARK(DirectSoundMix32);

// SDL_mixer's pass, timed between its two hooks on its callback thread.
struct MixerTiming {
    double start = 0;
    std::atomic<int> passes{0};
    std::atomic<double> last{0};
};
MixerTiming mixerTiming;

void MusicHook(void*, Uint8*, int) {
    mixerTiming.start = ThreadCpuSeconds();
}

void PostMix(void*, Uint8*, int) {
    mixerTiming.last = ThreadCpuSeconds() - mixerTiming.start;
    ++mixerTiming.passes;
}

// A chunk in the device's format, converted as SDL_mixer converts on load.
Mix_Chunk* ChunkOf(const VoiceSetup& setup, const std::vector<uint8_t>& samples) {
    SDL_AudioCVT cvt;
    SDL_AudioFormat from = setup.bits == 16 ? AUDIO_S16LSB : AUDIO_U8;
    if (SDL_BuildAudioCVT(&cvt, from, static_cast<Uint8>(setup.channels),
                          static_cast<int>(setup.rate), AUDIO_S16SYS, 2, kDeviceRate) < 0) {
        return nullptr;
    }
    cvt.len = static_cast<int>(samples.size());
    cvt.buf = static_cast<Uint8*>(SDL_malloc(static_cast<size_t>(cvt.len) * cvt.len_mult));
    std::memcpy(cvt.buf, samples.data(), samples.size());
    SDL_ConvertAudio(&cvt);
    Mix_Chunk* chunk = Mix_QuickLoad_RAW(cvt.buf, static_cast<Uint32>(cvt.len_cvt));
    if (chunk != nullptr) {
        chunk->allocated = 1;  // SDL_mixer frees the converted samples
    }
    return chunk;
}

void SdlMixerMix32(benchmark::State& state) {
    if (Mix_OpenAudioDevice(kDeviceRate, AUDIO_S16SYS, 2, kPass, nullptr, 0) != 0) {
        state.SkipWithError("SDL_mixer opens no device");
        return;
    }
    Mix_AllocateChannels(kVoices);
    std::vector<Mix_Chunk*> chunks;
    for (int i = 0; i < kVoices; ++i) {
        VoiceSetup setup = SetupOf(i);
        chunks.push_back(ChunkOf(setup, SamplesOf(setup, i)));
        int volume = static_cast<int>(std::lround(128.0 * std::pow(10.0, setup.volume / 2000.0)));
        Mix_Volume(i, volume);
        auto left = static_cast<Uint8>(
            std::lround(255.0 * std::pow(10.0, -std::max<LONG>(setup.pan, 0) / 2000.0)));
        auto right = static_cast<Uint8>(
            std::lround(255.0 * std::pow(10.0, -std::max<LONG>(-setup.pan, 0) / 2000.0)));
        Mix_SetPanning(i, left, right);
        Mix_PlayChannel(i, chunks.back(), -1);
    }
    Mix_HookMusic(MusicHook, nullptr);
    Mix_SetPostMix(PostMix, nullptr);
    int seen = mixerTiming.passes;
    for (auto _ : state) {
        while (mixerTiming.passes == seen) {
            Sleep(1);
        }
        seen = mixerTiming.passes;
        state.SetIterationTime(mixerTiming.last);
    }
    ReportAudio(state, state.iterations() * kPass);
    Mix_SetPostMix(nullptr, nullptr);
    Mix_HookMusic(nullptr, nullptr);
    Mix_HaltChannel(-1);
    for (Mix_Chunk* chunk : chunks) {
        Mix_FreeChunk(chunk);
    }
    Mix_CloseAudio();
}
BENCHMARK(SdlMixerMix32)->UseManualTime()->Iterations(300);

// One 16-bit stereo voice at the device's rate: samples mixed per second.
void DirectSoundOneVoice(benchmark::State& state) {
    platform::SetDirectSoundTestMode(true);
    IDirectSound8* sound = CreateSound();
    VoiceSetup setup = {kDeviceRate, 2, 16, -300, 1200};
    IDirectSoundBuffer* buffer = CreateBuffer(sound, setup, SamplesOf(setup, 3));
    buffer->Play(0, 0, DSBPLAY_LOOPING);
    const int frames = 4096;
    std::vector<int16_t> out(2 * frames);
    for (auto _ : state) {
        platform::AdvanceDirectSoundMixer(sound, frames, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * frames * 2);
    buffer->Release();
    sound->Release();
    platform::SetDirectSoundTestMode(false);
}
BENCHMARK(DirectSoundOneVoice);

// From Play to the first frame of the voice in the device's callback, on a
// 512-frame device buffer: the play cursor moves in the pass that mixed it.
void DirectSoundPlayLatency(benchmark::State& state) {
    platform::SetDirectSoundTestMode(false);
    platform::SetDirectSoundPeriodFrames(kPass);
    IDirectSound8* sound = CreateSound();
    if (sound == nullptr) {
        state.SkipWithError("no audio device");
        return;
    }
    VoiceSetup setup = {kDeviceRate, 2, 16, 0, 0};
    IDirectSoundBuffer* buffer = CreateBuffer(sound, setup, SamplesOf(setup, 0));
    double worst = 0;
    for (auto _ : state) {
        buffer->Stop();
        buffer->SetCurrentPosition(0);
        double start = WallSeconds();
        buffer->Play(0, 0, DSBPLAY_LOOPING);
        DWORD play = 0;
        do {
            sched_yield();  // leave the CPU to the device's thread
            buffer->GetCurrentPosition(&play, nullptr);
        } while (play == 0);
        double latency = WallSeconds() - start;
        worst = std::max(worst, latency);
        state.SetIterationTime(latency);
    }
    state.counters["worst_ms"] = worst * 1000.0;
    buffer->Release();
    sound->Release();
}
BENCHMARK(DirectSoundPlayLatency)->UseManualTime()->Iterations(100)->Unit(benchmark::kMillisecond);

// SDL_mixer's CPU time for a second of audio over ours: above 1, ours mixes
// cheaper.
void PrintSummary(const benchspread::SpreadReporter& r) {
    benchspread::PrintSideBySideHeader("ms CPU a second of audio", "ours", "SDL_mixer",
                                       "SDL_mixer/ours [spread]");
    benchspread::PrintSideBySideFigures(r, "32 voices", "DirectSoundMix32", "SdlMixerMix32",
                                        "cpu_s_per_audio_s", 1e3,
                                        benchspread::RatioOf::kRightOverLeft, "%.2f");
    benchspread::PrintSummaryHeader("Play to the first frame, ms");
    benchspread::PrintFigureRow(
        "DirectSoundPlayLatency",
        benchspread::ScaledFigure(r, "DirectSoundPlayLatency", "real_seconds", 1e3), 0, true);
}

}  // namespace

int main(int argc, char** argv) {
    // The peer and the latency run on SDL's dummy driver unless told otherwise.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    return benchspread::RunWithSummary(argc, argv, PrintSummary);
}
