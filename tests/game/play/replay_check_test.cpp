// Replays repeat their games: generated games recorded, saved, loaded and played back hash alike.
#include "game/play/replay_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "game/play/game_scene.h"
#include "game/play/play_state.h"
#include "game/play/stand_in_tables.h"

namespace {

class ReplayCheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PrepareStandInPlay();
        GameScoreFile = ScoreFile{};
    }
    void TearDown() override { SetReplayCheckFrameHook(nullptr); }
};

uint64_t Scatter(uint64_t key) {
    return (key * 0x9E3779B97F4A7C15ull) >> 40;
}

// The enemies updated in an order that follows their addresses, as a set keyed
// by pointer would give it.
void OrderEnemiesByAddress(GameScene* scene) {
    auto& order = scene->enemies.order;
    std::stable_sort(order.begin(), order.end(), [](const Enemy* a, const Enemy* b) {
        return Scatter(reinterpret_cast<uintptr_t>(a)) < Scatter(reinterpret_cast<uintptr_t>(b));
    });
}

// The same kind of shuffle keyed by the record's index: nothing in it depends
// on where the scene lies.
void OrderEnemiesByIndex(GameScene* scene) {
    auto& order = scene->enemies.order;
    const Enemy* first = scene->enemies.records.data();
    std::stable_sort(order.begin(), order.end(), [first](const Enemy* a, const Enemy* b) {
        return Scatter(static_cast<uint64_t>(a - first) + 1) <
               Scatter(static_cast<uint64_t>(b - first) + 1);
    });
}

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

// The proof must catch play that depends on addresses: the playback runs at
// other addresses than the live game, so an update order planted to follow
// them breaks the replay, while the same shuffle by index does not.
TEST_F(ReplayCheckTest, AnUpdateOrderThatFollowsAddressesBreaksTheReplay) {
    const struct {
        const char* name;
        void (*hook)(GameScene* scene);
        bool repeats;
    } cases[] = {{"by index", OrderEnemiesByIndex, true},
                 {"by address", OrderEnemiesByAddress, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetReplayCheckFrameHook(c.hook);
        ReplayCheckSummary summary{};
        const int32_t first = CheckReplayOfGame(GeneratedGameSettings(0), 1, 1500, false, &summary);
        SetReplayCheckFrameHook(nullptr);
        EXPECT_GT(summary.played, 300);
        EXPECT_EQ(first == -1, c.repeats) << "first differing frame " << first;
    }
}

}  // namespace
