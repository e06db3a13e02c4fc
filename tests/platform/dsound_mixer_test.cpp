// The DirectSound mixer in test mode: cursors across a ring's wrap, one-shot
// ends, loops, the decibel law of volume and pan, resampling, duplicates and
// saturation, each checked sample for sample against values worked out here.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "tests/platform/dsound_fixture.h"

using namespace dsoundtest;

namespace {

// A ramp that differs from frame to frame and from channel to channel.
std::vector<int16_t> Ramp(int frames, int channels) {
    std::vector<int16_t> samples;
    for (int i = 0; i < frames; ++i) {
        samples.push_back(static_cast<int16_t>(i * 7 + 1));
        if (channels == 2) {
            samples.push_back(static_cast<int16_t>(-i * 5 - 3));
        }
    }
    return samples;
}

using Cursor = std::pair<DWORD, DWORD>;

TEST_F(DirectSoundTest, RingCursorsAndSamplesFollowTheWrap) {
    const int frames = 4000;
    std::vector<int16_t> data = Ramp(frames, 2);
    IDirectSoundBuffer* ring = Make16(2, 44100, data, 0x180E2u);
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(Cursors(ring), Cursor(0u, 0u));  // stopped: both at the start
    ASSERT_EQ(ring->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    EXPECT_EQ(Status(ring), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    // The write cursor leads by one 512-frame period.
    EXPECT_EQ(Cursors(ring), Cursor(0u, 512u * 4));

    std::vector<int16_t> out = Advance(3700);
    EXPECT_EQ(Cursors(ring), Cursor(3700u * 4, (3700u + 512 - frames) * 4));
    std::vector<int16_t> more = Advance(700);
    out.insert(out.end(), more.begin(), more.end());
    EXPECT_EQ(Cursors(ring), Cursor(400u * 4, 912u * 4));
    for (int k = 0; k < 4400; ++k) {
        ASSERT_EQ(out[2 * k], data[2 * (k % frames)]) << k;
        ASSERT_EQ(out[2 * k + 1], data[2 * (k % frames) + 1]) << k;
    }

    // A lock across the end comes in two parts; from the write cursor too.
    void* part1 = nullptr;
    void* part2 = nullptr;
    DWORD bytes1 = 0;
    DWORD bytes2 = 0;
    ASSERT_EQ(ring->Lock(15000, 3000, &part1, &bytes1, &part2, &bytes2, 0), DS_OK);
    EXPECT_EQ(bytes1, 1000u);
    EXPECT_EQ(bytes2, 2000u);
    EXPECT_EQ(static_cast<uint8_t*>(part1) - static_cast<uint8_t*>(part2), 15000);
    void* start = part2;
    ASSERT_EQ(ring->Unlock(part1, bytes1, part2, bytes2), DS_OK);
    ASSERT_EQ(ring->Lock(0, 100, &part1, &bytes1, &part2, &bytes2, DSBLOCK_FROMWRITECURSOR), DS_OK);
    EXPECT_EQ(static_cast<uint8_t*>(part1) - static_cast<uint8_t*>(start), 912 * 4);
    EXPECT_EQ(bytes1, 100u);
    EXPECT_EQ(part2, nullptr);
    EXPECT_EQ(bytes2, 0u);
    // Writing ahead of the write cursor is what the next passes play.
    *static_cast<int16_t*>(part1) = 12345;
    ASSERT_EQ(ring->Unlock(part1, bytes1, part2, bytes2), DS_OK);
    std::vector<int16_t> next = Advance(513);
    EXPECT_EQ(next[2 * 512], 12345);

    // At half the rate a pass reads half a period, and one frame more for
    // the interpolation between its last two frames.
    ASSERT_EQ(ring->SetFrequency(22050), DS_OK);
    ASSERT_EQ(ring->SetCurrentPosition(3999 * 4 + 3), DS_OK);  // rounded down to its frame
    EXPECT_EQ(Cursors(ring), Cursor(3999u * 4, 256u * 4));
    ASSERT_EQ(ring->SetFrequency(30000), DS_OK);  // 511 steps of 0.68 reach 347.6 frames on
    EXPECT_EQ(Cursors(ring), Cursor(3999u * 4, 348u * 4));
}

TEST_F(DirectSoundTest, LockRefusesRangesOutsideTheBuffer) {
    IDirectSoundBuffer* buffer = Make(Pcm(1, 16, 22050), 1000);
    void* part1 = nullptr;
    void* part2 = nullptr;
    DWORD bytes1 = 0;
    DWORD bytes2 = 0;
    EXPECT_EQ(buffer->Lock(1000, 10, &part1, &bytes1, &part2, &bytes2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Lock(0, 1001, &part1, &bytes1, &part2, &bytes2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Lock(0, 0, &part1, &bytes1, &part2, &bytes2, 0), DSERR_INVALIDPARAM);
    ASSERT_EQ(buffer->Lock(10, 0, &part1, &bytes1, &part2, &bytes2, DSBLOCK_ENTIREBUFFER), DS_OK);
    EXPECT_EQ(bytes1, 990u);
    EXPECT_EQ(bytes2, 10u);
    // Without a second part the lock ends at the buffer's end.
    ASSERT_EQ(buffer->Lock(900, 200, &part1, &bytes1, nullptr, nullptr, 0), DS_OK);
    EXPECT_EQ(bytes1, 100u);
    int16_t elsewhere = 0;
    EXPECT_EQ(buffer->Unlock(&elsewhere, 2, nullptr, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->SetCurrentPosition(1000), DSERR_INVALIDPARAM);
}

TEST_F(DirectSoundTest, OneShotEndsStopsAndRestsAtItsStart) {
    std::vector<int16_t> data = Ramp(1000, 1);
    IDirectSoundBuffer* shot = Make16(1, 44100, data);
    ASSERT_EQ(shot->Play(0, 0, 0), DS_OK);
    EXPECT_EQ(Status(shot), DSBSTATUS_PLAYING);
    Advance(600);
    EXPECT_EQ(Cursors(shot).first, 1200u);
    std::vector<int16_t> out = Advance(600);
    for (int k = 0; k < 400; ++k) {
        ASSERT_EQ(out[2 * k], data[600 + k]) << k;
        ASSERT_EQ(out[2 * k + 1], data[600 + k]) << k;
    }
    for (int k = 400; k < 600; ++k) {
        ASSERT_EQ(out[2 * k], 0) << k;
    }
    EXPECT_EQ(Status(shot), 0u);
    EXPECT_EQ(Cursors(shot), Cursor(0u, 0u));
    // Played again it starts from the top.
    ASSERT_EQ(shot->Play(0, 0, 0), DS_OK);
    EXPECT_EQ(Advance(1)[0], data[0]);
}

TEST_F(DirectSoundTest, LoopRepeatsAndStopKeepsThePosition) {
    std::vector<int16_t> data = Ramp(300, 1);
    IDirectSoundBuffer* loop = Make16(1, 44100, data);
    ASSERT_EQ(loop->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    std::vector<int16_t> out = Advance(1000);
    for (int k = 0; k < 1000; ++k) {
        ASSERT_EQ(out[2 * k], data[k % 300]) << k;
    }
    ASSERT_EQ(loop->Stop(), DS_OK);
    EXPECT_EQ(Status(loop), 0u);
    EXPECT_EQ(Cursors(loop), Cursor(100u * 2, 100u * 2));
    EXPECT_EQ(Advance(10), std::vector<int16_t>(20, 0));
    // Play without looping continues from there and ends at the buffer's end.
    ASSERT_EQ(loop->Play(0, 0, 0), DS_OK);
    out = Advance(201);
    EXPECT_EQ(out[0], data[100]);
    EXPECT_EQ(out[2 * 199], data[299]);
    EXPECT_EQ(out[2 * 200], 0);
    EXPECT_EQ(Status(loop), 0u);
}

struct LevelCase {
    LONG volume;
    LONG pan;
    int16_t sample;
};

TEST_F(DirectSoundTest, VolumeAndPanFollowTheDecibelLaw) {
    const LevelCase cases[] = {
        {0, 0, 23456},         {-600, 0, 23456},     {-1, 0, -32768},   {-2345, -777, 30001},
        {-1000, 2000, -12345}, {0, -10000, 20000},   {0, 10000, 20000}, {-10000, 0, 32767},
        {-9999, 0, 32767},     {-333, 4321, -32768}, {0, 1, 32767},
    };
    for (const LevelCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "volume " << c.volume << " pan " << c.pan);
        IDirectSoundBuffer* buffer = Make16(1, 44100, std::vector<int16_t>(64, c.sample));
        ASSERT_EQ(buffer->SetVolume(c.volume), DS_OK);
        ASSERT_EQ(buffer->SetPan(c.pan), DS_OK);
        ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
        std::vector<int16_t> out = Advance(64);
        LONG leftAttenuation = -c.volume + std::max<LONG>(c.pan, 0);
        LONG rightAttenuation = -c.volume + std::max<LONG>(-c.pan, 0);
        int32_t left = (c.sample * OracleGain(leftAttenuation)) >> 16;
        int32_t right = (c.sample * OracleGain(rightAttenuation)) >> 16;
        EXPECT_EQ(out[0], left);
        EXPECT_EQ(out[1], right);
        EXPECT_EQ(out[126], left);
        // Within a step of the exact amplitude.
        double exactLeft =
            leftAttenuation >= 10000 ? 0.0 : c.sample * std::pow(10.0, -leftAttenuation / 2000.0);
        EXPECT_NEAR(out[0], exactLeft, 1.5);
        buffer->Stop();
    }
}

TEST_F(DirectSoundTest, ControlsAreCheckedAndLimited) {
    IDirectSoundBuffer* full = Make(Pcm(1, 16, 22050), 100);
    EXPECT_EQ(full->SetVolume(1), DSERR_INVALIDPARAM);
    EXPECT_EQ(full->SetVolume(-10001), DSERR_INVALIDPARAM);
    EXPECT_EQ(full->SetPan(10001), DSERR_INVALIDPARAM);
    EXPECT_EQ(full->SetPan(-10001), DSERR_INVALIDPARAM);
    EXPECT_EQ(full->SetFrequency(99), DSERR_INVALIDPARAM);
    EXPECT_EQ(full->SetFrequency(100001), DSERR_INVALIDPARAM);
    EXPECT_EQ(full->SetFrequency(100000), DS_OK);
    EXPECT_EQ(full->Play(1, 0, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(full->Play(0, 1, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(full->SetFormat(nullptr), DSERR_INVALIDCALL);
    // The fallback flags of a memory sound, 0xC2, control volume and pan
    // but not the frequency.
    IDirectSoundBuffer* fallback = Make(Pcm(1, 16, 22050), 100, 0xC2u);
    EXPECT_EQ(fallback->SetFrequency(8000), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(fallback->SetPan(100), DS_OK);
    EXPECT_EQ(fallback->SetVolume(-100), DS_OK);
    IDirectSoundBuffer* bare = Make(Pcm(1, 16, 22050), 100, DSBCAPS_STATIC);
    EXPECT_EQ(bare->SetVolume(-100), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(bare->SetFrequency(8000), DSERR_CONTROLUNAVAIL);
}

struct LengthCase {
    DWORD ownRate;
    DWORD frequency;  // 0: the buffer's own rate
    int frames;
};

TEST_F(DirectSoundTest, ResampledLengthFollowsTheFrequency) {
    const LengthCase cases[] = {
        {22050, 0, 1000}, {44100, 0, 777},      {22050, 11025, 300},   {11025, 32000, 1001},
        {8000, 0, 123},   {44100, 48000, 4999}, {48000, 100000, 5000}, {22050, 100, 4},
    };
    for (const LengthCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.ownRate << " Hz at " << c.frequency);
        IDirectSoundBuffer* buffer = Make(Pcm(1, 8, c.ownRate), static_cast<DWORD>(c.frames));
        ASSERT_EQ(buffer->SetFrequency(c.frequency), DS_OK);
        DWORD rate = c.frequency != 0 ? c.frequency : c.ownRate;
        // Output frames until the position, stepping by rate / 44100 in 32.32
        // fixed point, passes the last frame.
        uint64_t step = (uint64_t{rate} << 32) / 44100;
        uint64_t expected = ((uint64_t(c.frames) << 32) + step - 1) / step;
        EXPECT_NEAR(static_cast<double>(expected), c.frames * 44100.0 / rate, 1.0);
        ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
        Advance(static_cast<int>(expected) - 1);
        EXPECT_EQ(Status(buffer), DSBSTATUS_PLAYING);
        Advance(1);
        EXPECT_EQ(Status(buffer), 0u);
    }
}

TEST_F(DirectSoundTest, ResamplingInterpolatesBetweenFrames) {
    const std::vector<int16_t> data = {1000, -3001, 32767, -32768, 5};
    IDirectSoundBuffer* buffer = Make16(1, 33075, data);  // three quarters of the device rate
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    std::vector<int16_t> out = Advance(8);
    uint64_t step = (uint64_t{33075} << 32) / 44100;
    uint64_t position = 0;
    for (int k = 0; k < 7; ++k, position += step) {
        size_t frame = position >> 32;
        int32_t a = data[frame];
        int32_t b = frame + 1 < data.size() ? data[frame + 1] : data[frame];
        int32_t fraction = static_cast<int32_t>((position >> 17) & 0x7FFF);
        int32_t expected = a + (((b - a) * fraction) >> 15);
        ASSERT_EQ(out[2 * k], expected) << k;
        double exact = a + (b - a) * ((position & 0xFFFFFFFFu) / 4294967296.0);
        EXPECT_NEAR(out[2 * k], exact, 1.5) << k;
    }
    EXPECT_EQ(out[14], 0);  // ended after seven frames

    // Looping, the last frame leads into the first: at 4.5 frames the
    // sample lies halfway from 5 back to 1000.
    buffer->SetFrequency(22050);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    out = Advance(12);
    EXPECT_EQ(out[2 * 8], 5);
    EXPECT_EQ(out[2 * 9], 5 + (((1000 - 5) * 16384) >> 15));
    EXPECT_EQ(out[2 * 10], 1000);
}

// Upward zero crossings of the left channel.
int RisingZeroCrossings(const std::vector<int16_t>& stereo) {
    int count = 0;
    for (size_t i = 2; i < stereo.size(); i += 2) {
        if (stereo[i - 2] < 0 && stereo[i] >= 0) {
            ++count;
        }
    }
    return count;
}

TEST_F(DirectSoundTest, FrequencyShiftsASinesPitch) {
    // 100 cycles of 1 kHz at 22050 Hz; played at 33075 Hz it sounds 1.5 kHz.
    std::vector<int16_t> sine(2205);
    for (size_t i = 0; i < sine.size(); ++i) {
        sine[i] = static_cast<int16_t>(std::lround(
            20000.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * (i + 0.25) / 22050.0)));
    }
    IDirectSoundBuffer* buffer = Make16(1, 22050, sine);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    EXPECT_NEAR(RisingZeroCrossings(Advance(44100)), 1000, 1);
    ASSERT_EQ(buffer->SetFrequency(33075), DS_OK);
    EXPECT_NEAR(RisingZeroCrossings(Advance(44100)), 1500, 1);
    ASSERT_EQ(buffer->SetFrequency(DSBFREQUENCY_ORIGINAL), DS_OK);
    EXPECT_NEAR(RisingZeroCrossings(Advance(44100)), 1000, 1);
}

TEST_F(DirectSoundTest, DuplicatesShareSamplesAndOutliveTheOriginal) {
    std::vector<int16_t> data = Ramp(256, 2);
    IDirectSoundBuffer* original = Make16(2, 44100, data);
    ASSERT_EQ(original->SetVolume(-600), DS_OK);
    ASSERT_EQ(original->SetCurrentPosition(40), DS_OK);
    ASSERT_EQ(original->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    IDirectSoundBuffer* copy = nullptr;
    IDirectSoundBuffer* second = nullptr;
    ASSERT_EQ(sound->DuplicateSoundBuffer(original, &copy), DS_OK);
    ASSERT_EQ(sound->DuplicateSoundBuffer(original, &second), DS_OK);
    buffers.push_back(second);
    // A new voice: stopped at the start, with the original's volume.
    EXPECT_EQ(Status(copy), 0u);
    EXPECT_EQ(Cursors(copy), Cursor(0u, 0u));
    buffers.erase(std::find(buffers.begin(), buffers.end(), original));
    EXPECT_EQ(original->Release(), 0u);

    // Samples written through one duplicate are the ones both play.
    void* part1 = nullptr;
    DWORD bytes1 = 0;
    ASSERT_EQ(copy->Lock(0, 4, &part1, &bytes1, nullptr, nullptr, 0), DS_OK);
    static_cast<int16_t*>(part1)[0] = -10000;
    ASSERT_EQ(copy->Unlock(part1, bytes1, nullptr, 0), DS_OK);
    ASSERT_EQ(second->Play(0, 0, 0), DS_OK);
    std::vector<int16_t> out = Advance(300);
    int32_t gain = OracleGain(600);
    EXPECT_EQ(out[0], (-10000 * gain) >> 16);
    for (int k = 1; k < 256; ++k) {
        ASSERT_EQ(out[2 * k], (data[2 * k] * gain) >> 16) << k;
        ASSERT_EQ(out[2 * k + 1], (data[2 * k + 1] * gain) >> 16) << k;
    }
    EXPECT_EQ(out[2 * 256], 0);

    // Both play at once, each its own voice.
    ASSERT_EQ(copy->SetVolume(0), DS_OK);
    ASSERT_EQ(second->SetVolume(0), DS_OK);
    ASSERT_EQ(copy->Play(0, 0, 0), DS_OK);
    ASSERT_EQ(second->Play(0, 0, 0), DS_OK);
    EXPECT_EQ(Advance(1)[0], -20000);
    copy->Release();
}

TEST_F(DirectSoundTest, DuplicatingThePrimaryBufferFails) {
    DSBUFFERDESC desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    IDirectSoundBuffer* primary = nullptr;
    ASSERT_EQ(sound->CreateSoundBuffer(&desc, &primary, nullptr), DS_OK);
    IDirectSoundBuffer* copy = reinterpret_cast<IDirectSoundBuffer*>(1);
    EXPECT_EQ(sound->DuplicateSoundBuffer(primary, &copy), DSERR_INVALIDCALL);
    EXPECT_EQ(copy, nullptr);
    primary->Release();
}

TEST_F(DirectSoundTest, ThirtyTwoLoudVoicesSaturate) {
    for (int i = 0; i < 32; ++i) {
        IDirectSoundBuffer* buffer = Make16(1, 44100, {30000, -30000, 1000, -1000});
        ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    }
    std::vector<int16_t> out = Advance(5);
    EXPECT_EQ(out[0], 32767);
    EXPECT_EQ(out[2], -32768);
    EXPECT_EQ(out[4], 32000);  // below the limit the sum is exact
    EXPECT_EQ(out[6], -32000);
    EXPECT_EQ(out[8], 0);
}

TEST_F(DirectSoundTest, EightBitSamplesAndDevicesKeepTheirLevels) {
    IDirectSoundBuffer* eight = Make(Pcm(2, 8, 44100), 8);
    const uint8_t samples[8] = {200, 0, 128, 255, 129, 127, 255, 255};
    Fill(eight, samples, 8);
    ASSERT_EQ(eight->Play(0, 0, 0), DS_OK);
    std::vector<int16_t> out = Advance(4);
    const int16_t expected[8] = {72 * 256, -128 * 256, 0,         127 * 256,
                                 256,      -256,       127 * 256, 127 * 256};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(out[i], expected[i]) << i;
    }

    // On an 8-bit mono device the channels are averaged, saturated and
    // stored unsigned.
    DSBUFFERDESC desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    IDirectSoundBuffer* primary = nullptr;
    ASSERT_EQ(sound->CreateSoundBuffer(&desc, &primary, nullptr), DS_OK);
    WAVEFORMATEX mono8 = Pcm(1, 8, 22050);
    ASSERT_EQ(primary->SetFormat(&mono8), DS_OK);
    primary->Release();
    IDirectSoundBuffer* loud = Make16(2, 22050, {30000, 30000, 1000, -3000, -30000, -30000});
    IDirectSoundBuffer* louder = Make16(2, 22050, {30000, 30000, 0, 0, -30000, -30000});
    ASSERT_EQ(loud->Play(0, 0, 0), DS_OK);
    ASSERT_EQ(louder->Play(0, 0, 0), DS_OK);
    uint8_t device[3] = {};
    ASSERT_EQ(platform::AdvanceDirectSoundMixer(sound, 3, device), 3);
    EXPECT_EQ(device[0], 255);
    EXPECT_EQ(device[1], ((-1000 >> 8) + 128));
    EXPECT_EQ(device[2], 0);
}

struct DescriptionCase {
    const char* what;
    WAVEFORMATEX format;
    DWORD bytes;
    DWORD flags;
    HRESULT expected;
};

TEST_F(DirectSoundTest, BufferDescriptionsAreChecked) {
    WAVEFORMATEX wrongAlign = Pcm(2, 16, 22050);
    wrongAlign.nBlockAlign = 2;
    WAVEFORMATEX compressed = Pcm(1, 16, 22050);
    compressed.wFormatTag = 2;
    const DescriptionCase cases[] = {
        {"mono 8-bit", Pcm(1, 8, 8000), 4, kEffectFlags, DS_OK},
        {"ring", Pcm(2, 16, 44100), 176400, 0x180E2u, DS_OK},
        {"lowest rate", Pcm(1, 16, 100), 100, kEffectFlags, DS_OK},
        {"highest rate", Pcm(2, 16, 100000), 400, kEffectFlags, DS_OK},
        {"too slow", Pcm(1, 16, 99), 100, kEffectFlags, DSERR_BADFORMAT},
        {"too fast", Pcm(1, 16, 100001), 100, kEffectFlags, DSERR_BADFORMAT},
        {"three channels", Pcm(3, 16, 22050), 120, kEffectFlags, DSERR_BADFORMAT},
        {"12 bits", Pcm(1, 12, 22050), 120, kEffectFlags, DSERR_BADFORMAT},
        {"wrong block", wrongAlign, 120, kEffectFlags, DSERR_BADFORMAT},
        {"compressed", compressed, 120, kEffectFlags, DSERR_BADFORMAT},
        {"too small", Pcm(1, 8, 22050), 3, kEffectFlags, DSERR_INVALIDPARAM},
        {"smaller than a frame", Pcm(2, 16, 22050), 4, kEffectFlags, DS_OK},
        {"too large", Pcm(1, 8, 22050), DSBSIZE_MAX + 1, kEffectFlags, DSERR_INVALIDPARAM},
        {"3D", Pcm(1, 16, 22050), 100, 0x10u, DSERR_INVALIDPARAM},
    };
    for (const DescriptionCase& c : cases) {
        SCOPED_TRACE(c.what);
        WAVEFORMATEX format = c.format;
        DSBUFFERDESC desc = {};
        desc.dwSize = sizeof(desc);
        desc.dwFlags = c.flags;
        desc.dwBufferBytes = c.bytes;
        desc.lpwfxFormat = &format;
        IDirectSoundBuffer* buffer = nullptr;
        EXPECT_EQ(sound->CreateSoundBuffer(&desc, &buffer, nullptr), c.expected);
        EXPECT_EQ(buffer != nullptr, c.expected == DS_OK);
        if (buffer != nullptr) {
            buffer->Release();
        }
    }
    DSBUFFERDESC noFormat = {};
    noFormat.dwSize = sizeof(noFormat);
    noFormat.dwBufferBytes = 100;
    IDirectSoundBuffer* buffer = nullptr;
    EXPECT_EQ(sound->CreateSoundBuffer(&noFormat, &buffer, nullptr), DSERR_INVALIDPARAM);
    noFormat.dwSize = 20;
    EXPECT_EQ(sound->CreateSoundBuffer(&noFormat, &buffer, nullptr), DSERR_INVALIDPARAM);
}

TEST_F(DirectSoundTest, NewBuffersHoldSilence) {
    IDirectSoundBuffer* eight = Make(Pcm(1, 8, 44100), 5);
    IDirectSoundBuffer* sixteen = Make(Pcm(2, 16, 44100), 20);
    ASSERT_EQ(eight->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    ASSERT_EQ(sixteen->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    EXPECT_EQ(Advance(12), std::vector<int16_t>(24, 0));
}

}  // namespace

namespace {

long long Underruns(IDirectSound8* sound) {
    return platform::GetDirectSoundUnderrunFrames(sound);
}

void WriteFrames(IDirectSoundBuffer* ring, DWORD frame, DWORD frames) {
    void* part1 = nullptr;
    void* part2 = nullptr;
    DWORD bytes1 = 0;
    DWORD bytes2 = 0;
    ASSERT_EQ(ring->Lock(frame * 4, frames * 4, &part1, &bytes1, &part2, &bytes2, 0), DS_OK);
    ASSERT_EQ(ring->Unlock(part1, bytes1, part2, bytes2), DS_OK);
}

}  // namespace

// A ring written while it plays counts every frame it plays that was not
// written since its last play; rings never written while playing, and loops
// of whole sounds, count nothing.
TEST_F(DirectSoundTest, StreamsCountFramesPlayedBeforeTheyWereWrittenAgain) {
    IDirectSoundBuffer* loop = Make16(2, 44100, Ramp(1000, 2), 0x180E2u);
    IDirectSoundBuffer* ring = Make16(2, 44100, Ramp(1000, 2), 0x180E2u);
    ASSERT_NE(loop, nullptr);
    ASSERT_NE(ring, nullptr);
    ASSERT_EQ(loop->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    ASSERT_EQ(ring->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    Advance(2500);  // both lap twice; nothing was written while playing
    EXPECT_EQ(Underruns(sound), 0);

    // The ring becomes a stream at frame 500; the writer keeps 300 frames
    // ahead of the play cursor, wrapping with it.
    WriteFrames(ring, 500, 300);
    for (int pass = 0; pass < 10; ++pass) {
        Advance(100);
        WriteFrames(ring, (800 + 100 * pass) % 1000, 100);
    }
    EXPECT_EQ(Underruns(sound), 0);
    // The writer stops: the 300 frames written are heard, then 37 stale ones.
    Advance(337);
    EXPECT_EQ(Underruns(sound), 37);
    // A write across the ring's end marks both parts.
    Advance(113);  // stale too; the cursor at frame 950
    EXPECT_EQ(Underruns(sound), 150);
    WriteFrames(ring, 950, 100);
    Advance(100);
    EXPECT_EQ(Underruns(sound), 150);
}
