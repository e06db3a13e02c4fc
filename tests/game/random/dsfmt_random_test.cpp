// The play generator against a model written here from the algorithm's description.
#include "game/random/dsfmt_random.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace {

// The model keeps the state as the description does: 768 32-bit words, four
// per 128-bit word, and shifts, swaps and masks them 32 bits at a time. It
// shares no code with the generator.
struct ModelDsfmt {
    std::array<uint32_t, 768> w{};
    int index = 382;

    // Lane k of the state as a 64-bit value.
    uint64_t Lane(int k) const { return (uint64_t{w[2 * k + 1]} << 32) | w[2 * k]; }

    void Seed(uint32_t seed) {
        w[0] = seed;
        for (uint32_t i = 1; i < 768; ++i) {
            w[i] = 1812433253u * (w[i - 1] ^ (w[i - 1] >> 30)) + i;
        }
        // The high word of each of the 382 state doubles gets 0x3FF in its top 12 bits.
        for (int k = 0; k < 382; ++k) {
            w[2 * k + 1] = (w[2 * k + 1] & 0x000FFFFFu) | 0x3FF00000u;
        }
        // Parity of (lung ^ FIX) & PCV over all 128 bits; even parity flips the
        // lowest PCV bit, bit 0 of the lung's second 64-bit half.
        const uint32_t fix[4] = {0xb32f4329u, 0x90014964u, 0x0dc82880u, 0x3d84e1acu};
        const uint32_t pcv[4] = {0x0dc82880u, 0x3d84e1acu, 0x00000001u, 0x00000000u};
        uint32_t fold = 0;
        for (int j = 0; j < 4; ++j) {
            fold ^= (w[764 + j] ^ fix[j]) & pcv[j];
        }
        int parity = 0;
        for (int bit = 0; bit < 32; ++bit) {
            parity ^= (fold >> bit) & 1;
        }
        if (parity == 0) {
            w[766] ^= 1u;
        }
        index = 382;
    }

    // One 128-bit step: word r = recursion of (r, b, lung), as four 32-bit words.
    static void Step(uint32_t* r, const uint32_t* b, uint32_t* lung) {
        const uint32_t msk[4] = {0xfffffb3fu, 0x000ffaffu, 0xfc90fffdu, 0x000ffdffu};
        uint32_t x[4];
        // Each 64-bit lane of r shifted left by 19, built from its two halves.
        uint32_t shifted[4] = {r[0] << 19, (r[1] << 19) | (r[0] >> 13), r[2] << 19,
                               (r[3] << 19) | (r[2] >> 13)};
        // The old lung with its four 32-bit words in reverse order.
        uint32_t reversed[4] = {lung[3], lung[2], lung[1], lung[0]};
        for (int j = 0; j < 4; ++j) {
            x[j] = shifted[j] ^ reversed[j] ^ b[j];
        }
        // Each 64-bit lane of the new lung shifted right by 12.
        uint32_t down[4] = {(x[0] >> 12) | (x[1] << 20), x[1] >> 12, (x[2] >> 12) | (x[3] << 20),
                            x[3] >> 12};
        for (int j = 0; j < 4; ++j) {
            lung[j] = x[j];
            r[j] = down[j] ^ (x[j] & msk[j]) ^ r[j];
        }
    }

    void Refill() {
        uint32_t lung[4] = {w[764], w[765], w[766], w[767]};
        for (int i = 0; i < 191; ++i) {
            int partner = i + 117 < 191 ? i + 117 : i + 117 - 191;
            Step(&w[4 * i], &w[4 * partner], lung);
        }
        std::memcpy(&w[764], lung, sizeof lung);
    }

    double Next() {
        if (index == 382) {
            Refill();
            index = 0;
        }
        return std::bit_cast<double>(Lane(index++)) - 1.0;
    }
};

uint32_t SeedWord(const DsfmtRandom& g, int i) {
    uint64_t lane = g.lanes[i / 2];
    return static_cast<uint32_t>(i % 2 == 0 ? lane : lane >> 32);
}

void ExpectSameState(const DsfmtRandom& g, const ModelDsfmt& model) {
    for (int i = 0; i < 768; ++i) {
        ASSERT_EQ(SeedWord(g, i), model.w[i]) << "32-bit word " << i;
    }
    EXPECT_EQ(g.index, model.index);
}

const uint32_t kSeeds[] = {0u, 1u, 4357u, 0x12345678u, 0xFFFFFFFFu};

TEST(DsfmtRandom, SeedingMatchesTheModelWordForWord) {
    for (uint32_t seed : kSeeds) {
        SCOPED_TRACE(seed);
        DsfmtRandom g(0);
        SeedRandom(&g, seed);
        ModelDsfmt model;
        model.Seed(seed);
        ExpectSameState(g, model);
        EXPECT_EQ(g.index, 382) << "a fresh generator refills before its first value";
    }
}

TEST(DsfmtRandom, FirstRefillMatchesTheModel) {
    for (uint32_t seed : kSeeds) {
        SCOPED_TRACE(seed);
        DsfmtRandom g(seed);
        ModelDsfmt model;
        model.Seed(seed);
        RefillRandom(&g);
        model.Refill();
        ExpectSameState(g, model);
    }
}

TEST(DsfmtRandom, DrawsFollowTheModelAcrossManyRefills) {
    for (uint32_t seed : kSeeds) {
        SCOPED_TRACE(seed);
        DsfmtRandom g(seed);
        ModelDsfmt model;
        model.Seed(seed);
        // The 383rd value is the first of the second refill; 100000 values
        // span 262 refills.
        for (int n = 0; n < 100000; ++n) {
            double expected = model.Next();
            double got = NextRandomUnit(&g);
            ASSERT_EQ(std::bit_cast<uint64_t>(got), std::bit_cast<uint64_t>(expected))
                << "value " << n;
            ASSERT_GE(got, 0.0);
            ASSERT_LT(got, 1.0);
        }
        ExpectSameState(g, model);
    }
}

TEST(DsfmtRandom, FirstValueComesFromTheFirstRefillAndTheStateRunsOutAfter382) {
    DsfmtRandom g(4357);
    DsfmtRandom refilled(4357);
    RefillRandom(&refilled);
    EXPECT_EQ(NextRandomUnit(&g), std::bit_cast<double>(refilled.lanes[0]) - 1.0);
    for (int n = 1; n < 382; ++n) {
        NextRandomUnit(&g);
    }
    EXPECT_EQ(g.index, 382);
    RefillRandom(&refilled);
    EXPECT_EQ(NextRandomUnit(&g), std::bit_cast<double>(refilled.lanes[0]) - 1.0);
    EXPECT_EQ(g.index, 1);
}

// Frozen from the model above: a change of the generator changes every replay.
TEST(DsfmtRandom, GoldenValuesStayFrozen) {
    struct Golden {
        uint32_t seed;
        int position;  // 0-based count of values drawn before this one
        uint64_t bits;
    };
    const Golden golden[] = {
        {0u, 0, 0x3F9F50A1F7690680ULL},                // 0.030581026769374464
        {0u, 1, 0x3FCB482E9812CA00ULL},                // 0.21314032006701211
        {0u, 381, 0x3FD350D243C8714CULL},              // 0.30180794352942963
        {0u, 382, 0x3FEA2D5C1BAC3696ULL},              // 0.81803708462548985
        {1u, 0, 0x3FBE8E02F87F0A60ULL},                // 0.11935442511370686
        {4357u, 0, 0x3FE5AF53E32205BCULL},             // 0.67765230523962527
        {4357u, 999, 0x3FD57DCD81584328ULL},           // 0.33580339080167443
        {0xFFFFFFFFu, 0, 0x3FDFF578B73678B8ULL},       // 0.49935739414093971
        {0xFFFFFFFFu, 100000, 0x3FD9994F072739ACULL},  // 0.39998222063595779
    };
    for (const Golden& entry : golden) {
        SCOPED_TRACE(testing::Message() << "seed " << entry.seed << " value " << entry.position);
        DsfmtRandom g(entry.seed);
        double value = 0.0;
        for (int n = 0; n <= entry.position; ++n) {
            value = NextRandomUnit(&g);
        }
        EXPECT_EQ(std::bit_cast<uint64_t>(value), entry.bits);
    }
}

TEST(DsfmtRandom, PlayHelpersScaleThePlayGeneratorsValues) {
    SeedRandom(&PlayRandom, 7);
    DsfmtRandom twin(7);
    for (int n = 0; n < 2000; ++n) {
        double unit = NextRandomUnit(&twin);
        int die = RandomInt(6);
        ASSERT_EQ(die, static_cast<int>(6 * unit));
        ASSERT_GE(die, 0);
        ASSERT_LE(die, 5);
        ASSERT_EQ(RandomReal(360.0), NextRandomUnit(&twin) * 360.0);
    }
}

TEST(DsfmtRandom, RandomIntNeverReachesNEvenForTheLargestUnit) {
    // The largest value the generator can give is 2 - 2^-52 minus 1.
    DsfmtRandom g(0);
    g.index = 0;
    g.lanes[0] = 0x3FFFFFFFFFFFFFFFULL;
    double unit = NextRandomUnit(&g);
    EXPECT_LT(unit, 1.0);
    for (int n : {1, 2, 6, 255, 1000000}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(static_cast<int>(n * unit), n - 1);
    }
}

TEST(DsfmtRandom, GlobalGeneratorsAreSeededInConstructionOrder) {
    DsfmtRandom expectedB(0xFFFFFFFEu);
    DsfmtRandom expectedC(1);
    EXPECT_EQ(std::memcmp(AuxRandomB.lanes, expectedB.lanes, sizeof expectedB.lanes), 0);
    EXPECT_EQ(std::memcmp(AuxRandomC.lanes, expectedC.lanes, sizeof expectedC.lanes), 0);
}

}  // namespace
