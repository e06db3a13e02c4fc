// Sound effects requested during a frame play once a frame at most every second frame; music
// commands pass in order.
#include "game/loop/sound_requests.h"

#include <gtest/gtest.h>

#include "game/startup/game_sounds.h"
#include "tests/game/loop/frame_recorder.h"

namespace {

class SoundRequestTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < kSoundSlots; ++i) {
            SoundSlots[i] = SoundRequestSlot{0x10000100 + i, 0, 0};
        }
        MusicTrack1 = 0x10000201;
        MusicTrack2 = 0x10000202;
        ClearMusicRequests();
    }

    // The frames (from 0) in which slot 7's sound played, requesting it in
    // the frames `asked` says.
    std::vector<int> PlayedFrames(const std::vector<bool>& asked) {
        std::vector<int> played;
        for (size_t frame = 0; frame < asked.size(); ++frame) {
            if (asked[frame]) {
                RequestSound(7);
                RequestSound(7);  // twice in one frame is one request
            }
            size_t before = bound_.recorder.calls.size();
            FlushSoundRequests();
            if (bound_.recorder.calls.size() > before) {
                EXPECT_EQ(bound_.recorder.calls.back(), "PlaySound(268435719,1,1)");
                played.push_back(static_cast<int>(frame));
            }
        }
        return played;
    }

    game_test::BoundFrameRecorder bound_;
};

TEST_F(SoundRequestTest, ASlotPlaysAtMostEverySecondFrame) {
    // Requested in two consecutive frames: once.
    EXPECT_EQ(PlayedFrames({true, true, false, false}), (std::vector<int>{0}));
    // Every frame: every second frame.
    EXPECT_EQ(PlayedFrames({true, true, true, true, true, true}), (std::vector<int>{0, 2, 4}));
    // Every second frame: each time.
    EXPECT_EQ(PlayedFrames({true, false, true, false, true}), (std::vector<int>{0, 2, 4}));
}

TEST_F(SoundRequestTest, ARequestDroppedInARestIsNotKeptForLater) {
    EXPECT_EQ(PlayedFrames({true, true, false, true}), (std::vector<int>{0, 3}));
    EXPECT_EQ(SoundSlots[7].requested, 0);
}

TEST_F(SoundRequestTest, SlotsPlayInSlotOrderAndOutOfRangeSlotsAreIgnored) {
    RequestSound(21);
    RequestSound(0);
    RequestSound(-1);
    RequestSound(22);
    SoundSlots[5].sound = -1;  // a file that did not load: the call fails silently
    RequestSound(5);
    FlushSoundRequests();
    EXPECT_EQ(bound_.recorder.calls,
              (std::vector<std::string>{"PlaySound(268435712,1,1)", "PlaySound(-1,1,1)",
                                        "PlaySound(268435733,1,1)"}));
}

TEST_F(SoundRequestTest, MusicCommandsRewindAndPlayOrStopTheirTrack) {
    RequestMusic(2, kMusicPlayFromStart);
    RequestMusic(1, kMusicStop);
    RequestMusic(2, kMusicStop);
    FlushMusicRequests();
    EXPECT_EQ(bound_.recorder.calls,
              (std::vector<std::string>{"SetSoundPositionSamples(0,268435970)",
                                        "PlaySound(268435970,3,0)", "StopSound(268435969)",
                                        "StopSound(268435970)"}));
    EXPECT_EQ(FrameMusicRequests.count, 0);
}

}  // namespace
