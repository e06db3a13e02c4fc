// The library started, ended and started again in one process: the second
// start loads and plays sounds as the first did, whatever load mode and Ogg
// sample width the program left set when it ended the library (the game
// leaves streaming set, for its music).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/dsound_testing.h"
#include "sound/decoders/ogg_decoder.h"
#include "sound/handles/sound_table.h"
#include "sound/play/sound_calls.h"
#include "sound/sound_system_internal.h"
#include "tests/foundation/runtime/library_test_support.h"
#include "tests/sound/streams/stream_fixture.h"

namespace {

using namespace tessel;

constexpr int kFrames = 2205;  // 50 ms at 44100 Hz

class SoundRestart : public tessel_test::LibraryTest {
  protected:
    void SetUp() override {
        // The mixer runs when the test asks, so that the sound is heard whole.
        platform::SetDirectSoundTestMode(true);
        LibraryTest::SetUp();
    }
    void TearDown() override {
        LibraryTest::TearDown();
        SetSoundLoadMode(kLoadWhole);
        SetOggSampleWidth(2);
        platform::SetDirectSoundTestMode(false);
    }
};

// A short stereo ramp loaded from a WAV image in the load mode of a fresh
// start becomes a memory sound, played once and heard sample for sample.
void LoadAndHearAMemorySound() {
    const std::vector<uint8_t> pcm = streamtest::Ramp16(kFrames, 2);
    const std::vector<uint8_t> wav = streamtest::Wav(2, 44100, 16, pcm);
    const int handle = LoadSoundFromImage(wav.data(), static_cast<int>(wav.size()), 1, -1);
    ASSERT_NE(handle, -1);
    const SoundRecord* record = SoundRecordFromHandle(handle);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->kind, kMemorySound);
    ASSERT_EQ(PlaySoundHandle(handle, kPlayOnce, 1), 0);
    std::vector<uint8_t> heard(pcm.size());
    ASSERT_EQ(platform::AdvanceDirectSoundMixer(g_soundSystem.sound, kFrames, heard.data()),
              kFrames * 4);
    EXPECT_EQ(std::memcmp(heard.data(), pcm.data(), pcm.size()), 0);
    EXPECT_EQ(DeleteSoundHandle(handle), 0);
}

TEST_F(SoundRestart, ASecondStartLoadsAndPlaysAsTheFirstWhateverWasLeftSet) {
    struct Left {
        int loadMode;
        int oggWidth;
    };
    const Left cases[] = {{kLoadFileImage, 2}, {kLoadFromFile, 1}, {kLoadWhole, 1}};
    for (const Left& left : cases) {
        SCOPED_TRACE(testing::Message()
                     << "load mode " << left.loadMode << ", Ogg width " << left.oggWidth);
        ASSERT_EQ(StartLibrary(), 0);
        ASSERT_NE(g_soundSystem.sound, nullptr);
        LoadAndHearAMemorySound();
        ASSERT_EQ(SetSoundLoadMode(left.loadMode), 0);
        SetOggSampleWidth(left.oggWidth);
        ASSERT_EQ(EndLibrary(), 0);

        ASSERT_EQ(StartLibrary(), 0);
        ASSERT_NE(g_soundSystem.sound, nullptr);
        EXPECT_EQ(GetSoundLoadMode(), kLoadWhole);
        EXPECT_EQ(GetOggSampleWidth(), 2);
        LoadAndHearAMemorySound();
        ASSERT_EQ(EndLibrary(), 0);
    }
}

}  // namespace
