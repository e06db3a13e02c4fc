// A small generator for looks only: the turn of a bullet's pulse rings. Play
// never reads it, so drawing can take values from it without changing the
// course of a game or a replay, which draw from the play generator alone.
#pragma once

#include <cstdint>

constexpr int32_t kDrawRandomMax = 32767;

struct DrawRandom {
    uint32_t state = 0x2545F491u;
};

// The next value, 0 to kDrawRandomMax.
int32_t NextDrawRandom(DrawRandom* generator);
