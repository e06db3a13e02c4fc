// Replays repeat their games: generated games recorded, saved, loaded and played back hash alike.
#include "game/play/replay_check.h"

#include <gtest/gtest.h>

#include <memory>

#include "game/play/play_state.h"
#include "game/play/stand_in_tables.h"

namespace {

class ReplayCheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PrepareStandInPlay();
        GameScoreFile = ScoreFile{};
    }
};

TEST_F(ReplayCheckTest, GeneratedGamesReplayWithIdenticalHashesEveryFrame) {
    // The tool runs a thousand such games; these cover both modes, drawing on
    // and off, and start levels up to 30.
    const struct {
        uint32_t game;
        bool draw;
    } cases[] = {{0, true}, {1, false}, {4, false}, {6, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.game);
        ReplayCheckSummary summary{};
        EXPECT_EQ(
            CheckReplayOfGame(GeneratedGameSettings(c.game), c.game + 1, 3000, c.draw, &summary),
            -1);
        EXPECT_GT(summary.played, 300);
    }
}

TEST_F(ReplayCheckTest, AGameFightsBackAndScores) {
    auto replay = std::make_unique<ReplayFile>();
    ReplayCheckRun run =
        RecordScriptedGame(GeneratedGameSettings(0), MakeMaskScript(1), 3000, false, replay.get());
    // The first generated game (also replayed above) beats a boss, which
    // raises the level and reshuffles the waves, before its clock runs out.
    EXPECT_GT(run.hashes.size(), 2000u);
    EXPECT_LT(run.hashes.size(), 3000u);
    EXPECT_EQ(run.finalSettings.level, 1);
    EXPECT_GT(run.finalSettings.score, 10000);  // enemies shot, items taken
    EXPECT_LT(run.finalSettings.lives, 99);     // and bullets hit the player
}

TEST_F(ReplayCheckTest, OneChangedMaskMakesThePlaybackDiffer) {
    auto replay = std::make_unique<ReplayFile>();
    ReplayCheckRun live =
        RecordScriptedGame(GeneratedGameSettings(2), MakeMaskScript(3), 800, false, replay.get());
    ASSERT_EQ(live.hashes.size(), 800u);
    replay->state.masks[500] ^= 1u << kButtonLeft;
    ReplayCheckRun back = PlayBackReplay(*replay, 800, false);
    ASSERT_EQ(back.hashes.size(), 800u);
    for (int i = 0; i < 500; ++i) {
        ASSERT_EQ(back.hashes[i], live.hashes[i]) << i;
    }
    EXPECT_NE(back.hashes[500], live.hashes[500]);
}

}  // namespace
