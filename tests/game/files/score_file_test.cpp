// score.dat: its bytes after a run of events, its unlock rules and its damage.
#include "game/files/score_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "game/play/play_settings.h"
#include "tests/game/game_folder_support.h"

namespace {

using game_test::Bytes;
using game_test::PutLe;

class ScoreFileTest : public game_test::GameFolder {};

// A few sessions: three games, one of them a flawless 2minutes run to level
// 10, two give-ups, one rescue bomb, four bosses.
TEST_F(ScoreFileTest, FieldsLandAtTheirOffsetsAfterScriptedEvents) {
    ScoreFile record{};
    LoadScoreFile(&record);  // no file yet
    for (int game = 0; game < 3; ++game) {
        ++record.gamesStarted;
    }
    record.giveUps += 2;
    ++record.rescueBombs;
    record.bossKills += 4;
    SetModeHighScore(&record, kModeEndless, 0x0000012345678901LL);
    SetModeHighScore(&record, kModeTwoMinutes, 0x7102030405060708LL);
    SetGameOverUnlocks(&record, kModeTwoMinutes, kTwoMinutesStartLives, 0, 10);
    SetCounterUnlocks(&record);
    ASSERT_EQ(SaveScoreFile(record), 0);

    Bytes bytes;
    ASSERT_TRUE(Read("score.dat", &bytes));
    const Bytes expected = {
        0x01, 0x89, 0x67, 0x45, 0x23, 0x01, 0x00, 0x00,  // Endless
        0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x71,  // 2minutes
        1,    1,    0,    0,    0,    0,    0,    1,     // no death, no bomb, ..., level 5
        1,    0,    1,    1,                             // level 10, 15; 2minutes 5, 10
        0x01, 0x00, 0x00, 0x00,                          // rescue bombs
        0x02, 0x00, 0x00, 0x00,                          // give-ups
        0x04, 0x00, 0x00, 0x00,                          // boss kills
        0x03, 0x00, 0x00, 0x00,                          // games started
    };
    EXPECT_EQ(bytes, expected);

    ScoreFile again{};
    LoadScoreFile(&again);
    EXPECT_EQ(ModeHighScore(again, kModeEndless), 0x0000012345678901LL);
    EXPECT_EQ(ModeHighScore(again, kModeTwoMinutes), 0x7102030405060708LL);
    EXPECT_EQ(again.gamesStarted, 3u);
    EXPECT_EQ(again.unlocks[kUnlockTwoMinutesLevel10], 1);
}

TEST_F(ScoreFileTest, GameOverUnlocksFollowHowTheGameEnded) {
    struct Case {
        int32_t mode, lives, bombsUsed, level;
        std::vector<ScoreUnlock> earned;
    };
    const Case cases[] = {
        {kModeEndless, 99, 1, 4, {}},
        {kModeEndless, -1, 0, 5, {kUnlockNoBomb, kUnlockLevel5}},
        {kModeTwoMinutes, 98, 3, 9, {kUnlockLevel5, kUnlockTwoMinutesLevel5}},
        {kModeTwoMinutes,
         99,
         2,
         15,
         {kUnlockTwoMinutesNoDeath, kUnlockLevel5, kUnlockLevel10, kUnlockLevel15,
          kUnlockTwoMinutesLevel5, kUnlockTwoMinutesLevel10}},
        {kModeEndless, 2, 1, 14, {kUnlockLevel5, kUnlockLevel10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " lives " << c.lives << " bombs "
                                        << c.bombsUsed << " level " << c.level);
        ScoreFile record{};
        SetGameOverUnlocks(&record, c.mode, c.lives, c.bombsUsed, c.level);
        for (int u = 0; u < kScoreUnlockCount; ++u) {
            bool earned = std::find(c.earned.begin(), c.earned.end(), u) != c.earned.end();
            EXPECT_EQ(record.unlocks[u], earned ? 1 : 0) << "unlock " << u;
        }
    }
}

TEST_F(ScoreFileTest, CounterUnlocksAtTheirThresholdsAndNothingIsEverCleared) {
    ScoreFile record{};
    record.rescueBombs = 29;
    record.giveUps = 49;
    record.bossKills = 49;
    record.gamesStarted = 9;
    SetCounterUnlocks(&record);
    for (int u = 0; u < kScoreUnlockCount; ++u) {
        EXPECT_EQ(record.unlocks[u], 0) << u;
    }
    record.rescueBombs = 30;
    record.giveUps = 50;
    record.bossKills = 50;
    record.gamesStarted = 99;
    SetCounterUnlocks(&record);
    EXPECT_EQ(record.unlocks[kUnlockRescueBombs], 1);
    EXPECT_EQ(record.unlocks[kUnlockGiveUps], 1);
    EXPECT_EQ(record.unlocks[kUnlockBossKills], 1);
    EXPECT_EQ(record.unlocks[kUnlockTenGames], 1);
    EXPECT_EQ(record.unlocks[kUnlockHundredGames], 0);
    record.gamesStarted = 100;
    SetCounterUnlocks(&record);
    EXPECT_EQ(record.unlocks[kUnlockHundredGames], 1);

    // Set unlocks stay when nothing earns them again.
    ScoreFile kept = record;
    kept.rescueBombs = kept.giveUps = kept.bossKills = kept.gamesStarted = 0;
    SetCounterUnlocks(&kept);
    SetGameOverUnlocks(&kept, kModeEndless, 0, 5, 0);
    EXPECT_EQ(memcmp(kept.unlocks, record.unlocks, sizeof kept.unlocks), 0);
}

TEST_F(ScoreFileTest, MissingZeroesShortFillsWhatItHoldsLongReadsFortyFourBytes) {
    ScoreFile record{};
    record.highScores[0] = 5;
    record.gamesStarted = 77;
    LoadScoreFile(&record);
    EXPECT_EQ(record.highScores[0], 0);
    EXPECT_EQ(record.gamesStarted, 0u);

    // Ten bytes: all of the Endless score and the low half-word of 2minutes.
    record.highScores[1] = 0x1111111111111111LL;
    record.gamesStarted = 77;
    Write("score.dat", {0x10, 0, 0, 0, 0, 0, 0, 0, 0xAB, 0xCD});
    LoadScoreFile(&record);
    EXPECT_EQ(record.highScores[0], 0x10);
    EXPECT_EQ(record.highScores[1], 0x111111111111CDABLL);
    EXPECT_EQ(record.gamesStarted, 77u);

    Bytes longer(60, 0xEE);
    PutLe(&longer, 40, 12, 4);
    Write("score.dat", longer);
    LoadScoreFile(&record);
    EXPECT_EQ(record.gamesStarted, 12u);
    EXPECT_EQ(record.unlocks[0], 0xEE);
    EXPECT_EQ(record.highScores[0], static_cast<int64_t>(0xEEEEEEEEEEEEEEEEULL));
}

TEST_F(ScoreFileTest, ASaveThatCannotOpenIsDropped) {
    MakeFolder("score.dat");  // a folder in the file's place
    ScoreFile record{};
    record.gamesStarted = 1;
    EXPECT_EQ(SaveScoreFile(record), -1);
}

}  // namespace
