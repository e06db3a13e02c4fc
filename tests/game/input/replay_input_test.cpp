// Recording live frames into a replay, playing it back after a save and a
// load, and the end of the replay's 216000 masks.
#include "game/input/replay_input.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "tests/game/game_folder_support.h"

namespace {

class ReplayInput : public game_test::GameFolder {};

// A pseudo-random but fixed run of live buttons.
uint16_t LiveButtons(int frame) {
    uint32_t x = static_cast<uint32_t>(frame) * 2654435761u;
    return static_cast<uint16_t>((x >> 13) & 0x047F);  // buttons 0-6 and pause
}

TEST_F(ReplayInput, ALoadedReplayPlaysTheRecordedGameStateFrameForFrame) {
    MakeFolder("replay");
    const int frames = 5000;
    auto recorded = std::make_unique<ReplayFile>();
    InputState live, game;
    ConstructInputState(&live);
    ConstructInputState(&game);
    std::vector<InputState> liveGame;
    for (int frame = 0; frame < frames; ++frame) {
        ApplyButtonMask(&live, LiveButtons(frame));  // stands in for the devices
        FeedLiveFrame(&game, live, &recorded->state, frame);
        liveGame.push_back(game);
    }
    PlaySettings final = {123456, 0, kModeEndless, -1, 0, 777, 4};
    FillReplayFile(final, recorded->state, std::tm{}, recorded.get());
    ASSERT_EQ(SaveReplayFile(*recorded, "replay\\vn_rep02.rpl"), 0);

    auto loaded = std::make_unique<ReplayFile>();
    ASSERT_EQ(LoadReplayFile(loaded.get(), "replay\\vn_rep02.rpl"), 0);
    EXPECT_EQ(memcmp(loaded->state.masks, recorded->state.masks, sizeof loaded->state.masks), 0);
    // From a state as fresh as the recording's, every field follows.
    InputState played;
    ConstructInputState(&played);
    for (int frame = 0; frame < frames; ++frame) {
        FeedReplayFrame(&played, loaded->state, frame);
        ASSERT_EQ(memcmp(&played, &liveGame[frame], sizeof played), 0) << frame;
    }
    // The game's state is never reset between games: after another game the
    // hold counters differ, but every held test still follows the masks.
    ApplyButtonMask(&played, 0xFFFF);
    for (int frame = 0; frame < frames; ++frame) {
        FeedReplayFrame(&played, loaded->state, frame);
        ASSERT_EQ(played.currentButtons, liveGame[frame].currentButtons) << frame;
    }
}

TEST(ReplayMasks, RecordingAndReadingStopAtTheLastMask) {
    auto replay = std::make_unique<ReplayFile>();
    ReplayState& state = replay->state;
    const int32_t last = kReplayMaskCount - 1;
    RecordButtonMask(&state, last, 0x0123);
    EXPECT_EQ(RecordedButtonMask(state, last), 0x0123);
    // Past the end (and before the start) nothing is written, and 0 is read.
    uint32_t seedAfter = 0x5EED5EED;
    state.savedSeed = seedAfter;
    for (int32_t frame : {kReplayMaskCount, kReplayMaskCount + 1, -1, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(frame);
        RecordButtonMask(&state, frame, 0xFFFF);
        EXPECT_EQ(RecordedButtonMask(state, frame), 0);
    }
    EXPECT_EQ(state.masks[last], 0x0123);
    EXPECT_EQ(state.masks[0], 0);
    EXPECT_EQ(state.savedSeed, seedAfter);

    // A live game past 60 minutes still plays; its frames are just not kept.
    InputState live, game;
    ConstructInputState(&live);
    ConstructInputState(&game);
    ApplyButtonMask(&live, 0x0010);
    FeedLiveFrame(&game, live, &state, kReplayMaskCount);
    EXPECT_TRUE(IsShotHeld(game));
    EXPECT_EQ(state.masks[last], 0x0123);
    FeedReplayFrame(&game, state, kReplayMaskCount);
    EXPECT_EQ(game.currentButtons, 0);
}

}  // namespace
