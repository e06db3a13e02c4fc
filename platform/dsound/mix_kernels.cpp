// The mixing kernels: one voice's frames, resampled by linear
// interpolation with a 15-bit fraction, weighted by its Q16 channel gains
// and added into the stereo 32-bit pass. A voice at the device's own rate
// takes a straight path that gives the same sums without interpolating.
#include <cstring>

#include "platform/dsound/mixer_internal.h"

namespace platform::dsound {
namespace {

constexpr uint64_t kOne = uint64_t{1} << 32;

// Samples in 16-bit scale: 8-bit data is unsigned around 128.
struct Mono8 {
    static constexpr size_t kChannels = 1;
    static int32_t Left(const uint8_t* d, size_t i) { return (int32_t{d[i]} - 128) * 256; }
    static int32_t Right(const uint8_t* d, size_t i) { return Left(d, i); }
};
struct Stereo8 {
    static constexpr size_t kChannels = 2;
    static int32_t Left(const uint8_t* d, size_t i) { return (int32_t{d[2 * i]} - 128) * 256; }
    static int32_t Right(const uint8_t* d, size_t i) { return (int32_t{d[2 * i + 1]} - 128) * 256; }
};
struct Mono16 {
    static constexpr size_t kChannels = 1;
    static int32_t Left(const int16_t* d, size_t i) { return d[i]; }
    static int32_t Right(const int16_t* d, size_t i) { return d[i]; }
};
struct Stereo16 {
    static constexpr size_t kChannels = 2;
    static int32_t Left(const int16_t* d, size_t i) { return d[2 * i]; }
    static int32_t Right(const int16_t* d, size_t i) { return d[2 * i + 1]; }
};

int32_t Lerp(int32_t a, int32_t b, uint64_t position) {
    int32_t fraction = static_cast<int32_t>((position >> 17) & 0x7FFF);
    return a + (((b - a) * fraction) >> 15);
}

// `data` starts at the first frame mixed.
template <class Layout, class Sample>
void Direct(const Sample* data, size_t count, int32_t gl, int32_t gr, int32_t* acc) {
    for (size_t i = 0; i < count; ++i) {
        acc[2 * i] += (Layout::Left(data, i) * gl) >> 16;
        acc[2 * i + 1] += (Layout::Right(data, i) * gr) >> 16;
    }
}

template <class Layout, class Sample>
void Resampled(const Sample* data, uint64_t position, uint64_t step, int count, int32_t gl,
               int32_t gr, int32_t* acc) {
    for (int i = 0; i < count; ++i) {
        auto frame = static_cast<uint32_t>(position >> 32);
        int32_t left = Lerp(Layout::Left(data, frame), Layout::Left(data, frame + 1), position);
        int32_t right = Lerp(Layout::Right(data, frame), Layout::Right(data, frame + 1), position);
        acc[2 * i] += (left * gl) >> 16;
        acc[2 * i + 1] += (right * gr) >> 16;
        position += step;
    }
}

template <class Layout, class Sample>
void Span(const Sample* data, uint64_t position, uint64_t step, int count, int32_t gl, int32_t gr,
          int32_t* acc) {
    if (step == kOne && (position & (kOne - 1)) == 0) {
        size_t first = static_cast<size_t>(position >> 32) * Layout::kChannels;
        Direct<Layout>(data + first, static_cast<size_t>(count), gl, gr, acc);
        return;
    }
    Resampled<Layout>(data, position, step, count, gl, gr, acc);
}

template <class Layout, class Sample>
void Tail(const Sample* data, uint64_t position, uint64_t step, int count, uint32_t next,
          int32_t gl, int32_t gr, int32_t* acc) {
    for (int i = 0; i < count; ++i) {
        auto frame = static_cast<uint32_t>(position >> 32);
        int32_t left = Lerp(Layout::Left(data, frame), Layout::Left(data, next), position);
        int32_t right = Lerp(Layout::Right(data, frame), Layout::Right(data, next), position);
        acc[2 * i] += (left * gl) >> 16;
        acc[2 * i + 1] += (right * gr) >> 16;
        position += step;
    }
}

}  // namespace

void MixVoiceSpan(const Voice& voice, uint64_t position, uint64_t step, int count, int32_t* acc) {
    const uint8_t* bytes = voice.samples->Bytes();
    const int16_t* words = voice.samples->words.data();
    int32_t gl = voice.gainLeft;
    int32_t gr = voice.gainRight;
    if (gl == 0 && gr == 0) {
        return;
    }
    if (voice.bits == 8) {
        voice.channels == 1 ? Span<Mono8>(bytes, position, step, count, gl, gr, acc)
                            : Span<Stereo8>(bytes, position, step, count, gl, gr, acc);
        return;
    }
    voice.channels == 1 ? Span<Mono16>(words, position, step, count, gl, gr, acc)
                        : Span<Stereo16>(words, position, step, count, gl, gr, acc);
}

void MixVoiceTail(const Voice& voice, uint64_t position, uint64_t step, int count, uint32_t next,
                  int32_t* acc) {
    const uint8_t* bytes = voice.samples->Bytes();
    const int16_t* words = voice.samples->words.data();
    int32_t gl = voice.gainLeft;
    int32_t gr = voice.gainRight;
    if (voice.bits == 8) {
        voice.channels == 1 ? Tail<Mono8>(bytes, position, step, count, next, gl, gr, acc)
                            : Tail<Stereo8>(bytes, position, step, count, next, gl, gr, acc);
        return;
    }
    voice.channels == 1 ? Tail<Mono16>(words, position, step, count, next, gl, gr, acc)
                        : Tail<Stereo16>(words, position, step, count, next, gl, gr, acc);
}

}  // namespace platform::dsound
