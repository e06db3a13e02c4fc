// The library's own Mersenne Twister (MT19937, 1998 seeding). The game has
// generators of its own; this one serves the library.
#pragma once

#include <cstdint>

namespace tessel {

constexpr int kMtStateWords = 624;

struct MtGenerator {
    // One word past the state holds a copy of word 0 while a block is made.
    uint32_t state[kMtStateWords + 1];
    uint32_t block[kMtStateWords];
    int readIndex;
    int hasMmx;
    int mmxTested;
};

extern MtGenerator g_mt;

// Fills the state from the seed, tests the processor, makes the first block.
void MtSeed(uint32_t seed);
// Makes the next block of 624 outputs and sets the read index to 0.
void MtRegenerate();
// The same block computed two words at a time; bit-identical to the plain form.
void MtRegenerateMmx();
// 1 when the processor reports MMX (CPUID leaf 1, EDX bit 23).
int CpuHasMmx();
// The next output, refilling the block after 624 reads.
uint32_t MtNext();

}  // namespace tessel
