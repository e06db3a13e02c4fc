// The software mixer behind DirectSound: voices (one per secondary buffer,
// duplicates sharing their samples) mixed in 32 bits into one device format
// and saturated there. One lock guards every voice; the device's callback
// holds it while it mixes, so a buffer released on another thread waits for
// the pass to end.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/types.h"

namespace platform::dsound {

// The device's format: what the mixer writes.
struct DeviceFormat {
    DWORD rate = 44100;
    int channels = 2;
    int bits = 16;
    int FrameBytes() const { return channels * bits / 8; }
};

// The samples of a buffer, shared by its duplicates. Kept as 16-bit words
// so that 16-bit kernels read them with their own type; Lock hands out the
// bytes (always at least `size`, the last word padded).
struct SampleStore {
    std::vector<int16_t> words;
    DWORD size = 0;
    uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(words.data()); }
    const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(words.data()); }
};

// Positions are frames in 32.32 fixed point: the integer part is the next
// frame mixed, the fraction how far resampling has moved past it.
struct Voice {
    std::shared_ptr<SampleStore> samples;
    int channels = 1;
    int bits = 16;
    DWORD blockAlign = 2;
    DWORD ownRate = 22050;
    uint32_t frames = 0;
    DWORD controls = 0;

    bool playing = false;
    bool looping = false;
    uint64_t position = 0;
    DWORD frequency = 22050;
    LONG volume = 0;
    LONG pan = 0;
    int32_t gainLeft = 65536;  // Q16
    int32_t gainRight = 65536;

    // A buffer written while it plays is a stream: from then on each frame
    // is marked when written and cleared when played, and a frame played
    // unmarked is an underrun (the writer fell behind the play cursor).
    bool streamed = false;
    std::vector<uint8_t> fresh;
};

// Marks the frames a write of `bytes` at byte `offset` covers, making the
// voice a stream when it plays. Callers hold the mixer's lock.
void MarkWritten(Voice& voice, DWORD offset, DWORD bytes);

// Q16 gain of an attenuation in hundredths of a decibel; 100 dB is silence.
int32_t GainOfAttenuation(LONG hundredthsOfDecibel);
// Both channel gains of a volume and a pan.
void ChannelGains(LONG volume, LONG pan, int32_t* left, int32_t* right);

class Mixer {
  public:
    // Frames mixed in one pass at most; longer requests run several passes.
    static constexpr int kPassFrames = 4096;

    explicit Mixer(int periodFrames)
        : periodFrames_(periodFrames), acc_(2 * static_cast<size_t>(kPassFrames)) {}

    std::mutex& Lock() { return lock_; }

    // Callers hold Lock().
    void Attach(Voice* voice);
    void Detach(Voice* voice);
    const DeviceFormat& Format() const { return format_; }
    void SetFormat(const DeviceFormat& format) { format_ = format; }
    int PeriodFrames() const { return periodFrames_; }
    void SetPeriodFrames(int frames) { periodFrames_ = frames; }
    // Byte offsets of a voice's play and write cursors.
    void Cursors(const Voice& voice, DWORD* play, DWORD* write) const;

    // Mixes `frames` frames of every playing voice into `out`, in the
    // device's format; takes the lock.
    void Mix(uint8_t* out, int frames);
    // Frames of streams played without having been written since their last
    // play. Callers hold Lock().
    uint64_t UnderrunFrames() const { return underrunFrames_; }

  private:
    void MixVoice(Voice& voice, int32_t* acc, int frames);
    void ConsumeFrames(Voice& voice, uint32_t first, uint32_t end);
    void Store(const int32_t* acc, uint8_t* out, int frames) const;

    std::mutex lock_;
    DeviceFormat format_;
    int periodFrames_;
    std::vector<Voice*> voices_;
    std::vector<int32_t> acc_;
    uint64_t underrunFrames_ = 0;
};

// The mixing kernels: add `count` frames of a voice, starting at 32.32
// position `position` and stepping by `step`, into stereo 32-bit `acc`.
// Reads only frames whose successor lies inside the samples (the caller
// keeps the last frame for MixVoiceTail).
void MixVoiceSpan(const Voice& voice, uint64_t position, uint64_t step, int count, int32_t* acc);
// The same for frames whose successor is `next` (frame 0 of a looping
// buffer, the frame itself at the end of a one-shot).
void MixVoiceTail(const Voice& voice, uint64_t position, uint64_t step, int count, uint32_t next,
                  int32_t* acc);

}  // namespace platform::dsound
