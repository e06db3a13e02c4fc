// score.dat: the two high scores, the collection's unlocks and the counters
// behind them. A missing file reads as all zero. Unlocks are only ever set;
// nothing here changes during replay playback, which the callers see to.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr char kScoreFileName[] = "score.dat";
constexpr size_t kScoreFileBytes = 44;

// Index into ScoreFile::unlocks (the file's bytes 16 to 27, in this order);
// the collection shows entry i from unlock i.
enum ScoreUnlock {
    kUnlockTwoMinutesNoDeath,  // a 2minutes game ended with lives still 99
    kUnlockNoBomb,             // a game ended without a bomb
    kUnlockRescueBombs,        // 30 bombs released while hit
    kUnlockGiveUps,            // 50 give-ups
    kUnlockBossKills,          // 50 bosses killed
    kUnlockTenGames,
    kUnlockHundredGames,
    kUnlockLevel5,
    kUnlockLevel10,
    kUnlockLevel15,
    kUnlockTwoMinutesLevel5,
    kUnlockTwoMinutesLevel10,
    kScoreUnlockCount,
};

struct ScoreFile {
    int64_t highScores[2];  // by game mode: Endless, 2minutes
    uint8_t unlocks[kScoreUnlockCount];
    uint32_t rescueBombs;  // bombs released while hit
    uint32_t giveUps;      // from the pause menu
    uint32_t bossKills;
    uint32_t gamesStarted;
};

// The whole file; a failed open zeroes the record, a short file fills only
// the bytes it holds (the rest keep their value).
void LoadScoreFile(ScoreFile* record);
// A failed open or write drops the save: 0, or -1 then.
int SaveScoreFile(const ScoreFile& record);

void EncodeScoreFile(const ScoreFile& record, uint8_t bytes[kScoreFileBytes]);
void DecodeScoreFile(const uint8_t bytes[kScoreFileBytes], ScoreFile* record);

// The high score of a game mode; any mode other than 2minutes is Endless's.
int64_t ModeHighScore(const ScoreFile& record, int32_t mode);
void SetModeHighScore(ScoreFile* record, int32_t mode, int64_t score);

// The unlocks a finished live game earns, from how it ended.
void SetGameOverUnlocks(ScoreFile* record, int32_t mode, int32_t lives, int32_t bombsUsed,
                        int32_t level);
// The unlocks earned by the counters, granted when the collection is opened.
void SetCounterUnlocks(ScoreFile* record);
