// Stream sounds on a test-mode device: WAV images made here, sounds made from
// them, and the ring read and steered directly (its play cursor set by the
// test, the mixer advanced by the test), with no sound thread running.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "sound/buffers/sound_buffer.h"
#include "sound/handles/sound_table.h"
#include "sound/streams/stream_sound.h"
#include "tests/sound/decoder_test_support.h"
#include "tests/sound/sound_fixture.h"

namespace streamtest {

// 16-bit PCM whose every sample differs from its neighbours: left i * 7 + 1,
// right -i * 5 - 3 (mono: the left one).
inline std::vector<uint8_t> Ramp16(int frames, int channels) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < frames; ++i) {
        sound_test::PutLe16(&bytes, static_cast<uint16_t>(i * 7 + 1));
        if (channels == 2)
            sound_test::PutLe16(&bytes, static_cast<uint16_t>(-i * 5 - 3));
    }
    return bytes;
}

// 8-bit mono PCM that never holds the midpoint 0x80.
inline std::vector<uint8_t> Ramp8(int frames) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < frames; ++i)
        bytes.push_back(static_cast<uint8_t>(i % 100 + 1));
    return bytes;
}

inline std::vector<uint8_t> Wav(int channels, int rate, int bits, const std::vector<uint8_t>& pcm) {
    std::vector<uint8_t> chunks;
    const int block = channels * bits / 8;
    sound_test::PutChunk(&chunks, "fmt ", sound_test::PcmFormat(channels, rate, bits, block, true));
    sound_test::PutChunk(&chunks, "data", pcm);
    return sound_test::Riff(chunks);
}

class StreamTest : public soundtest::SoundTest {
  protected:
    // A new stream sound with one source of this WAV image; -1 on failure.
    static int MakeStream(const std::vector<uint8_t>& wav, int loopCount = 0, int share = -1,
                          int mode = tessel::kSourceFileImage) {
        const int handle = tessel::AddSoundData(-1);
        if (tessel::AddStreamSourceMemory(wav.data(), static_cast<uint32_t>(wav.size()), loopCount,
                                          handle, mode, share) != 0) {
            tessel::DeleteSoundHandle(handle);
            return -1;
        }
        return handle;
    }

    static tessel::SoundRecord* Record(int handle) { return tessel::SoundRecordFromHandle(handle); }

    // The ring's buffer (its owner's when shared).
    static IDirectSoundBuffer* Ring(int handle) {
        tessel::SoundRecord* record = Record(handle);
        if (record->sharedOwner != -1)
            record = Record(record->sharedOwner);
        return record->buffers[0].buffer;
    }

    static void SetCursor(int handle, DWORD bytes) {
        ASSERT_EQ(Ring(handle)->SetCurrentPosition(bytes), DS_OK);
    }

    static DWORD PlayCursor(int handle) {
        DWORD play = 0;
        Ring(handle)->GetCurrentPosition(&play, nullptr);
        return play;
    }

    // `bytes` of the ring from `offset`, across its end; read without
    // counting as written.
    static std::vector<uint8_t> RingBytes(int handle, DWORD offset, DWORD bytes) {
        void* part1 = nullptr;
        void* part2 = nullptr;
        DWORD size1 = 0;
        DWORD size2 = 0;
        std::vector<uint8_t> out;
        if (Ring(handle)->Lock(offset, bytes, &part1, &size1, &part2, &size2, 0) != DS_OK) {
            ADD_FAILURE() << "lock";
            return out;
        }
        out.assign(static_cast<uint8_t*>(part1), static_cast<uint8_t*>(part1) + size1);
        if (part2 != nullptr)
            out.insert(out.end(), static_cast<uint8_t*>(part2),
                       static_cast<uint8_t*>(part2) + size2);
        Ring(handle)->Unlock(part1, 0, part2, 0);
        return out;
    }

    // Writes `value` over the whole ring, as earlier sound would have left it.
    static void Soil(int handle, uint8_t value) {
        void* part1 = nullptr;
        void* part2 = nullptr;
        DWORD size1 = 0;
        DWORD size2 = 0;
        ASSERT_EQ(Ring(handle)->Lock(0, 0, &part1, &size1, &part2, &size2, DSBLOCK_ENTIREBUFFER),
                  DS_OK);
        std::memset(part1, value, size1);
        Ring(handle)->Unlock(part1, size1, part2, size2);
    }

    // The next frames of the 16-bit stereo device.
    std::vector<int16_t> Mix(int frames) {
        std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
        EXPECT_EQ(platform::AdvanceDirectSoundMixer(real, frames, out.data()), frames * 4);
        return out;
    }

    static std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t from, size_t n) {
        return std::vector<uint8_t>(bytes.begin() + static_cast<long>(from),
                                    bytes.begin() + static_cast<long>(from + n));
    }
};

}  // namespace streamtest
