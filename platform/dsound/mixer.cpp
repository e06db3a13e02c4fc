// The mixer's passes: each playing voice advances through its samples
// (wrapping when it loops, stopping at its end when it does not), adds its
// frames into a 32-bit stereo pass, and the pass is saturated into the
// device's format. Also the decibel law and the cursors.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/dsound/mixer_internal.h"

namespace platform::dsound {
namespace {

constexpr uint64_t kOne = uint64_t{1} << 32;

uint64_t StepOf(const Voice& voice, DWORD deviceRate) {
    return (uint64_t{voice.frequency} << 32) / deviceRate;
}

int32_t Clamp16(int32_t value) {
    return std::min<int32_t>(32767, std::max<int32_t>(-32768, value));
}

// Output frames before `position` reaches `limit`, at most `room`.
int FramesUntil(uint64_t position, uint64_t limit, uint64_t step, int room) {
    uint64_t frames = (limit - position + step - 1) / step;
    return static_cast<int>(std::min<uint64_t>(frames, static_cast<uint64_t>(room)));
}

}  // namespace

int32_t GainOfAttenuation(LONG hundredthsOfDecibel) {
    if (hundredthsOfDecibel >= 10000) {
        return 0;
    }
    if (hundredthsOfDecibel <= 0) {
        return 65536;
    }
    return static_cast<int32_t>(
        std::lround(65536.0 * std::pow(10.0, -hundredthsOfDecibel / 2000.0)));
}

void ChannelGains(LONG volume, LONG pan, int32_t* left, int32_t* right) {
    // A pan to the right attenuates the left channel, and the other way round.
    *left = GainOfAttenuation(-volume + std::max<LONG>(pan, 0));
    *right = GainOfAttenuation(-volume + std::max<LONG>(-pan, 0));
}

void Mixer::Attach(Voice* voice) {
    voices_.push_back(voice);
}

void Mixer::Detach(Voice* voice) {
    voices_.erase(std::remove(voices_.begin(), voices_.end(), voice), voices_.end());
}

void Mixer::Cursors(const Voice& voice, DWORD* play, DWORD* write) const {
    auto frame = static_cast<uint32_t>(voice.position >> 32);
    uint32_t writeFrame = frame;
    if (voice.playing) {
        // The next pass reads up to the frame under its last position, and
        // the one after it where it interpolates; the write cursor follows.
        uint64_t step = StepOf(voice, format_.rate);
        uint64_t last = voice.position + static_cast<uint64_t>(periodFrames_ - 1) * step;
        bool interpolates = step != kOne || (voice.position & (kOne - 1)) != 0;
        uint64_t ahead = (last >> 32) + (interpolates ? 2 : 1);
        writeFrame = static_cast<uint32_t>(ahead % voice.frames);
    }
    if (play != nullptr) {
        *play = frame * voice.blockAlign;
    }
    if (write != nullptr) {
        *write = writeFrame * voice.blockAlign;
    }
}

void MarkWritten(Voice& voice, DWORD offset, DWORD bytes) {
    if (bytes == 0) {
        return;
    }
    if (!voice.streamed) {
        if (!voice.playing) {
            return;
        }
        // What was written before the stream began counts as written.
        voice.streamed = true;
        voice.fresh.assign(voice.frames, 1);
    }
    uint32_t first = offset / voice.blockAlign;
    uint32_t end = std::min<uint32_t>((offset + bytes + voice.blockAlign - 1) / voice.blockAlign,
                                      voice.frames);
    if (first < end) {
        std::fill(voice.fresh.begin() + first, voice.fresh.begin() + end, uint8_t{1});
    }
}

void Mixer::ConsumeFrames(Voice& voice, uint32_t first, uint32_t end) {
    end = std::min(end, voice.frames);
    for (uint32_t frame = first; frame < end; ++frame) {
        underrunFrames_ += voice.fresh[frame] == 0 ? 1 : 0;
        voice.fresh[frame] = 0;
    }
}

void Mixer::MixVoice(Voice& voice, int32_t* acc, int frames) {
    uint64_t step = StepOf(voice, format_.rate);
    uint64_t end = uint64_t{voice.frames} << 32;
    uint64_t lastFrame = uint64_t{voice.frames - 1} << 32;
    int done = 0;
    while (done < frames && voice.playing) {
        uint64_t position = voice.position;
        int count;
        if (position < lastFrame) {
            count = FramesUntil(position, lastFrame, step, frames - done);
            MixVoiceSpan(voice, position, step, count, acc + 2 * done);
        } else {
            count = FramesUntil(position, end, step, frames - done);
            uint32_t next = voice.looping ? 0 : voice.frames - 1;
            MixVoiceTail(voice, position, step, count, next, acc + 2 * done);
        }
        done += count;
        voice.position = position + static_cast<uint64_t>(count) * step;
        if (voice.streamed) {
            ConsumeFrames(voice, static_cast<uint32_t>(position >> 32),
                          static_cast<uint32_t>(voice.position >> 32));
        }
        if (voice.position < end) {
            continue;
        }
        if (voice.looping) {
            voice.position %= end;
        } else {
            // A one-shot that played out rests at its start, ready to play again.
            voice.playing = false;
            voice.position = 0;
        }
    }
}

void Mixer::Store(const int32_t* acc, uint8_t* out, int frames) const {
    if (format_.bits == 16) {
        auto* words = reinterpret_cast<int16_t*>(out);
        if (format_.channels == 2) {
            for (int i = 0; i < 2 * frames; ++i) {
                words[i] = static_cast<int16_t>(Clamp16(acc[i]));
            }
        } else {
            for (int i = 0; i < frames; ++i) {
                words[i] = static_cast<int16_t>(Clamp16((acc[2 * i] + acc[2 * i + 1]) >> 1));
            }
        }
        return;
    }
    if (format_.channels == 2) {
        for (int i = 0; i < 2 * frames; ++i) {
            out[i] = static_cast<uint8_t>((Clamp16(acc[i]) >> 8) + 128);
        }
    } else {
        for (int i = 0; i < frames; ++i) {
            out[i] = static_cast<uint8_t>((Clamp16((acc[2 * i] + acc[2 * i + 1]) >> 1) >> 8) + 128);
        }
    }
}

void Mixer::Mix(uint8_t* out, int frames) {
    std::lock_guard<std::mutex> guard(lock_);
    int frameBytes = format_.FrameBytes();
    while (frames > 0) {
        int pass = std::min(frames, kPassFrames);
        std::fill(acc_.begin(), acc_.begin() + 2 * pass, 0);
        for (Voice* voice : voices_) {
            if (voice->playing) {
                MixVoice(*voice, acc_.data(), pass);
            }
        }
        Store(acc_.data(), out, pass);
        out += static_cast<size_t>(pass) * frameBytes;
        frames -= pass;
    }
}

}  // namespace platform::dsound
