// Start-up's sounds on the running library with the data folder the build
// generates, played through SDL's dummy audio driver: every effect and both
// streamed tracks load, the tracks take their loop points, and the log shows
// the sound system up and no failure.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "game/data/game_data.h"
#include "game/startup/game_sounds.h"
#include "game/startup/init_game.h"
#include "game/startup/startup_calls.h"
#include "sound/play/sound_calls.h"
#include "tests/graphics/device/graphics_test_support.h"

namespace {

// What each loop point call returned, in call order.
std::vector<int> loopPointResults;

int RecordLoopPoint(int64_t milliseconds, int sound) {
    const int result = tessel::SetLoopPointMs(milliseconds, sound);
    loopPointResults.push_back(result);
    return result;
}

class GeneratedSounds : public tessel_test::GraphicsTest {
  protected:
    void SetUp() override {
        GraphicsTest::SetUp();
        loopPointResults.clear();
        calls_ = LibraryStartupCalls();
        calls_.enableLogFile = [](int) { return 0; };  // the log stays on
        calls_.setLoopPointMs = RecordLoopPoint;
        BindStartupCalls(&calls_);
    }
    void TearDown() override {
        BindStartupCalls(nullptr);
        GraphicsTest::TearDown();
        for (SoundRequestSlot& slot : SoundSlots) {
            slot = SoundRequestSlot{};
        }
        MusicTrack1 = MusicTrack2 = -1;
    }

    void LinkData(const char* folder) const {
        const std::string data = VANTREL_GAME_DATA_DIR;
        ASSERT_EQ(symlink((data + "/" + folder).c_str(), dir().Linux(folder).c_str()), 0);
    }

    StartupCalls calls_{};
};

TEST_F(GeneratedSounds, EveryEffectAndBothLoopingTracksLoad) {
    LinkData("image");
    LinkData("sound");
    std::memset(&GameData, 0, sizeof GameData);
    ASSERT_EQ(InitGame(ConfigWord{}), 0);

    for (int i = 0; i < kSoundSlots; ++i) {
        SCOPED_TRACE(kSoundSlotNames[i]);
        EXPECT_NE(SoundSlots[i].sound, -1);
        // A real sound of some length: a handle that only looks valid has none.
        EXPECT_GT(tessel::GetSoundLengthSamples(SoundSlots[i].sound), 0);
        EXPECT_EQ(tessel::IsSoundPlaying(SoundSlots[i].sound), 0);
    }
    // Each track is longer than the point it loops back to, so the point holds.
    ASSERT_NE(MusicTrack1, -1);
    ASSERT_NE(MusicTrack2, -1);
    EXPECT_NE(MusicTrack1, MusicTrack2);
    EXPECT_GT(tessel::GetSoundLengthMs(MusicTrack1), kTrack1LoopMs);
    EXPECT_GT(tessel::GetSoundLengthMs(MusicTrack2), kTrack2LoopMs);
    EXPECT_EQ(loopPointResults, (std::vector<int>{0, 0}));

    const std::string log = Log();
    EXPECT_NE(log.find("DirectSound の初期化は正常に終了しました"), std::string::npos) << log;
    for (const char* failure : {"失敗", "がありません", "越えました", "出来ません", "いっぱい"}) {
        EXPECT_EQ(log.find(failure), std::string::npos) << failure << "\n" << log;
    }
}

// The same check made blind: without the sound folder every load fails, and
// the log says so, so the clean log above means something.
TEST_F(GeneratedSounds, WithoutTheSoundFolderTheLogShowsTheFailures) {
    LinkData("image");
    std::memset(&GameData, 0, sizeof GameData);
    ASSERT_EQ(InitGame(ConfigWord{}), 0);
    for (const SoundRequestSlot& slot : SoundSlots) {
        EXPECT_EQ(slot.sound, -1);
    }
    EXPECT_EQ(MusicTrack1, -1);
    EXPECT_EQ(MusicTrack2, -1);
    EXPECT_EQ(loopPointResults, (std::vector<int>{-1, -1}));
    EXPECT_NE(Log().find("失敗"), std::string::npos);
}

}  // namespace
