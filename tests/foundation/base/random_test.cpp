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

// The seeding fills the state from a 69069 linear congruential sequence, two
// steps per word (high halves); these first outputs were computed apart from
// this code, from the published algorithm.
TEST(MtRandom, SeedsGiveTheirKnownFirstOutputs) {
    struct Case {
        uint32_t seed;
        uint32_t first[5];
        uint32_t afterTheFirstBlock[3];  // outputs 624 to 626
    };
    const Case cases[] = {
        {4357,
         {0xAAE64AC3u, 0x5E7C47DAu, 0xB98E8121u, 0xB010F327u, 0x92DA86B4u},
         {589403970u, 1044672925u, 1965277612u}},
        {0,
         {0x1C75C7C9u, 0xDA9649C5u, 0x84E243E5u, 0xA75C2A2Fu, 0xAA8796B4u},
         {899856095u, 1355199074u, 835156042u}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seed);
        MtSeed(c.seed);
        for (uint32_t expected : c.first) {
            EXPECT_EQ(MtNext(), expected);
        }
        for (int i = 5; i < kMtStateWords - 1; ++i) {
            MtNext();
        }
        for (uint32_t expected : c.afterTheFirstBlock) {
            EXPECT_EQ(MtNext(), expected);
        }
    }
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
