// score.dat: its byte layout and the rules of its unlocks.
#include "game/files/score_file.h"

#include "game/files/game_file.h"
#include "game/files/record_fields.h"
#include "game/play/play_settings.h"

namespace {

int ModeIndex(int32_t mode) {
    return mode == kModeTwoMinutes ? 1 : 0;
}

void Unlock(ScoreFile* record, ScoreUnlock unlock, bool earned) {
    if (earned) {
        record->unlocks[unlock] = 1;
    }
}

}  // namespace

void EncodeScoreFile(const ScoreFile& record, uint8_t bytes[kScoreFileBytes]) {
    FieldWriter out{bytes};
    out.I64(record.highScores[0]);
    out.I64(record.highScores[1]);
    out.Raw(record.unlocks, kScoreUnlockCount);
    out.U32(record.rescueBombs);
    out.U32(record.giveUps);
    out.U32(record.bossKills);
    out.U32(record.gamesStarted);
}

void DecodeScoreFile(const uint8_t bytes[kScoreFileBytes], ScoreFile* record) {
    FieldReader in{bytes};
    record->highScores[0] = in.I64();
    record->highScores[1] = in.I64();
    in.Raw(record->unlocks, kScoreUnlockCount);
    record->rescueBombs = in.U32();
    record->giveUps = in.U32();
    record->bossKills = in.U32();
    record->gamesStarted = in.U32();
}

void LoadScoreFile(ScoreFile* record) {
    uint8_t bytes[kScoreFileBytes];
    EncodeScoreFile(*record, bytes);
    if (ReadGameFile(kScoreFileName, bytes, sizeof bytes) < 0) {
        *record = ScoreFile{};
        return;
    }
    DecodeScoreFile(bytes, record);
}

int SaveScoreFile(const ScoreFile& record) {
    uint8_t bytes[kScoreFileBytes];
    EncodeScoreFile(record, bytes);
    return WriteGameFile(kScoreFileName, bytes, sizeof bytes);
}

int64_t ModeHighScore(const ScoreFile& record, int32_t mode) {
    return record.highScores[ModeIndex(mode)];
}

void SetModeHighScore(ScoreFile* record, int32_t mode, int64_t score) {
    record->highScores[ModeIndex(mode)] = score;
}

void SetGameOverUnlocks(ScoreFile* record, int32_t mode, int32_t lives, int32_t bombsUsed,
                        int32_t level) {
    bool twoMinutes = mode == kModeTwoMinutes;
    Unlock(record, kUnlockTwoMinutesNoDeath, twoMinutes && lives == kTwoMinutesStartLives);
    Unlock(record, kUnlockNoBomb, bombsUsed == 0);
    Unlock(record, kUnlockLevel5, level >= 5);
    Unlock(record, kUnlockLevel10, level >= 10);
    Unlock(record, kUnlockLevel15, level >= 15);
    Unlock(record, kUnlockTwoMinutesLevel5, twoMinutes && level >= 5);
    Unlock(record, kUnlockTwoMinutesLevel10, twoMinutes && level >= 10);
}

void SetCounterUnlocks(ScoreFile* record) {
    Unlock(record, kUnlockRescueBombs, record->rescueBombs >= 30);
    Unlock(record, kUnlockGiveUps, record->giveUps >= 50);
    Unlock(record, kUnlockBossKills, record->bossKills >= 50);
    Unlock(record, kUnlockTenGames, record->gamesStarted >= 10);
    Unlock(record, kUnlockHundredGames, record->gamesStarted >= 100);
}
