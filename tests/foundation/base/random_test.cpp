// The random generator against a reference generator, block by block.
#include "foundation/base/random.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

namespace tessel {
namespace {

// The standard library's MT19937 twists and tempers the same way; fed our
// state with its index at the block end, its next 624 outputs are the block
// that our regeneration must produce.
std::mt19937 ReferenceFromState(const uint32_t* state) {
    std::stringstream text;
    for (int i = 0; i < kMtStateWords; ++i) {
        text << state[i] << ' ';
    }
    text << kMtStateWords;
    std::mt19937 reference;
    text >> reference;
    return reference;
}

TEST(MtRandom, BlocksMatchTheReferenceGeneratorForSeveralSeeds) {
    for (uint32_t seed : {0u, 1u, 4357u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        MtSeed(seed);
        for (int round = 0; round < 3; ++round) {
            uint32_t before[kMtStateWords];
            std::copy(g_mt.state, g_mt.state + kMtStateWords, before);
            std::mt19937 reference = ReferenceFromState(before);
            MtRegenerate();
            for (int i = 0; i < kMtStateWords; ++i) {
                ASSERT_EQ(g_mt.block[i], reference()) << "seed " << seed << " word " << i;
            }
        }
    }
}

TEST(MtRandom, PairwiseRoutineIsBitIdenticalToThePlainOne) {
    for (int useMmx : {0, 1}) {
        MtSeed(12345);
        g_mt.hasMmx = useMmx;
        uint32_t blocks[4][kMtStateWords];
        for (auto& block : blocks) {
            MtRegenerate();
            std::copy(g_mt.block, g_mt.block + kMtStateWords, block);
        }
        static uint32_t first[4][kMtStateWords];
        if (useMmx == 0) {
            std::copy(&blocks[0][0], &blocks[0][0] + 4 * kMtStateWords, &first[0][0]);
        } else {
            for (int b = 0; b < 4; ++b) {
                for (int i = 0; i < kMtStateWords; ++i) {
                    ASSERT_EQ(blocks[b][i], first[b][i]);
                }
            }
        }
    }
}

TEST(MtRandom, NextRefillsAfterTheBlock) {
    MtSeed(99);
    uint32_t firstBlock[kMtStateWords];
    std::copy(g_mt.block, g_mt.block + kMtStateWords, firstBlock);
    for (int i = 0; i < kMtStateWords; ++i) {
        ASSERT_EQ(MtNext(), firstBlock[i]);
    }
    std::mt19937 reference = ReferenceFromState(g_mt.state);
    EXPECT_EQ(MtNext(), reference());
    EXPECT_EQ(g_mt.readIndex, 1);
}

}  // namespace
}  // namespace tessel
