// A DirectSound object in test mode (no device, no thread) with helpers to
// make, fill and mix buffers, for the mixer's tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/dsound.h"
#include "platform/dsound_testing.h"

namespace dsoundtest {

// The buffer flags the library's effects use: static, volume, pan, frequency.
constexpr DWORD kEffectFlags = 0x80E2u;

inline WAVEFORMATEX Pcm(int channels, int bits, DWORD rate) {
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(channels);
    format.wBitsPerSample = static_cast<WORD>(bits);
    format.nSamplesPerSec = rate;
    format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    format.nAvgBytesPerSec = rate * format.nBlockAlign;
    return format;
}

// The mixer's gain of an attenuation, from the decibel law written out
// again here: Q16, rounded, 100 dB and more silent.
inline int32_t OracleGain(LONG attenuation) {
    if (attenuation >= 10000) {
        return 0;
    }
    return static_cast<int32_t>(std::lround(65536.0 * std::pow(10.0, -attenuation / 2000.0)));
}

class DirectSoundTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::SetDirectSoundTestMode(true);
        platform::SetDirectSoundPeriodFrames(512);
        void* object = nullptr;
        ASSERT_EQ(CoCreateInstance(CLSID_DirectSound8, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IDirectSound8, &object),
                  S_OK);
        sound = static_cast<IDirectSound8*>(object);
        ASSERT_EQ(sound->Initialize(nullptr), DS_OK);
        ASSERT_EQ(sound->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DS_OK);
    }
    void TearDown() override {
        for (IDirectSoundBuffer* buffer : buffers) {
            buffer->Release();
        }
        if (sound != nullptr) {
            sound->Release();
        }
        platform::SetDirectSoundTestMode(false);
    }

    IDirectSoundBuffer* Make(const WAVEFORMATEX& format, DWORD bytes, DWORD flags = kEffectFlags) {
        WAVEFORMATEX copy = format;
        DSBUFFERDESC desc = {};
        desc.dwSize = sizeof(desc);
        desc.dwFlags = flags;
        desc.dwBufferBytes = bytes;
        desc.lpwfxFormat = &copy;
        IDirectSoundBuffer* buffer = nullptr;
        EXPECT_EQ(sound->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);
        if (buffer != nullptr) {
            buffers.push_back(buffer);
        }
        return buffer;
    }

    // A buffer holding these 16-bit samples (interleaved when stereo).
    IDirectSoundBuffer* Make16(int channels, DWORD rate, const std::vector<int16_t>& samples,
                               DWORD flags = kEffectFlags) {
        auto bytes = static_cast<DWORD>(samples.size() * 2);
        IDirectSoundBuffer* buffer = Make(Pcm(channels, 16, rate), bytes, flags);
        if (buffer != nullptr) {
            Fill(buffer, samples.data(), bytes);
        }
        return buffer;
    }

    static void Fill(IDirectSoundBuffer* buffer, const void* data, DWORD bytes) {
        void* part1 = nullptr;
        void* part2 = nullptr;
        DWORD bytes1 = 0;
        DWORD bytes2 = 0;
        ASSERT_EQ(buffer->Lock(0, bytes, &part1, &bytes1, &part2, &bytes2, 0), DS_OK);
        ASSERT_EQ(bytes1, bytes);
        std::memcpy(part1, data, bytes);
        ASSERT_EQ(buffer->Unlock(part1, bytes1, part2, bytes2), DS_OK);
    }

    // The next `frames` frames of the 16-bit stereo device, interleaved.
    std::vector<int16_t> Advance(int frames) {
        std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
        EXPECT_EQ(platform::AdvanceDirectSoundMixer(sound, frames, out.data()), frames * 4);
        return out;
    }

    static DWORD Status(IDirectSoundBuffer* buffer) {
        DWORD status = 0xFFFFFFFFu;
        EXPECT_EQ(buffer->GetStatus(&status), DS_OK);
        return status;
    }

    static std::pair<DWORD, DWORD> Cursors(IDirectSoundBuffer* buffer) {
        DWORD play = 0xFFFFFFFFu;
        DWORD write = 0xFFFFFFFFu;
        EXPECT_EQ(buffer->GetCurrentPosition(&play, &write), DS_OK);
        return {play, write};
    }

    IDirectSound8* sound = nullptr;
    std::vector<IDirectSoundBuffer*> buffers;
};

}  // namespace dsoundtest
