// The settings one game is played with. With the per-frame button masks they
// determine a game completely, which is what lets a replay repeat it.
#pragma once

#include <cstdint>

enum GameMode : int32_t {
    kModeEndless = 0,     // until the lives run out
    kModeTwoMinutes = 1,  // against the clock; a death costs time, not a life
};

struct PlaySettings {
    int64_t score;      // compared signed
    int64_t highScore;  // of this game's mode
    int32_t mode;       // a GameMode
    int32_t lives;
    int32_t bombs;
    uint32_t seed;  // of the play generator
    int32_t level;  // 0 to kMaxLevel
};

constexpr int32_t kMaxLevel = 30;
// What a game starts with; no game ever holds more lives than 2minutes gives.
constexpr int32_t kEndlessStartLives = 2;
constexpr int32_t kTwoMinutesStartLives = 99;
constexpr int32_t kStartBombs = 2;
