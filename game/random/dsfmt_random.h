// The game's random generators: the double-precision SIMD-oriented Fast
// Mersenne Twister of period 2^19937 - 1 (dSFMT-19937, version 2 parameters),
// written from its published description. All randomness of play comes from
// `PlayRandom`; a replay re-runs exactly because one seed gives one sequence,
// so every step here is integer arithmetic and one exact subtraction.
#pragma once

#include <cstdint>

constexpr int kDsfmtStateWords = 191;                        // 128-bit words, the lung not counted
constexpr int kDsfmtStateDoubles = 2 * kDsfmtStateWords;     // 382 values per refill
constexpr int kDsfmtSeedWords = 4 * (kDsfmtStateWords + 1);  // 768 32-bit words, lung included

struct DsfmtRandom {
    // Seeds with a counter shared by every generator built this way: it starts
    // at 0xFFFFFFFF and goes down by one per construction.
    DsfmtRandom();
    explicit DsfmtRandom(uint32_t seed);

    // The next state value to hand out; kDsfmtStateDoubles asks for a refill first.
    int32_t index;
    // Cleared on seeding and not otherwise used.
    int32_t reserved[3];
    // Two 64-bit lanes per 128-bit word, then the lung's two lanes. Seeding
    // works on the 32-bit view: 32-bit word 2k is the low half of lane k.
    alignas(16) uint64_t lanes[2 * (kDsfmtStateWords + 1)];
};

// Constructed before the game's entry point, in this order: PlayRandom (first
// seed 0xFFFFFFFF), AuxRandomB (0xFFFFFFFE), AuxRandomC (1). Only PlayRandom is
// drawn from.
extern DsfmtRandom PlayRandom;
extern DsfmtRandom AuxRandomB;
extern DsfmtRandom AuxRandomC;

// Initialisation by a 32-bit seed; the next draw refills first.
void SeedRandom(DsfmtRandom* generator, uint32_t seed);
// Regenerates all 191 state words (the whole-array step) and keeps the index.
void RefillRandom(DsfmtRandom* generator);
// The next value in [0, 1), refilling when the state is used up.
double NextRandomUnit(DsfmtRandom* generator);

// An integer in [0, n) from PlayRandom: (int)(n x unit), truncated.
int RandomInt(int n);
// A double in [0, x) from PlayRandom: unit x x.
double RandomReal(double x);
