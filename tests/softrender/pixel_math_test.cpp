// The pixel arithmetic against the channel-by-channel statements of its rules.
#include "softrender/pixel_math.h"

#include <gtest/gtest.h>

#include "softrender/kit.h"
#include "softrender/oracle.h"
#include "tests/support/full_size_runs.h"

namespace tessel {
namespace {

using namespace soft;

// Every destination value meets every 7th source value, the phase moving with
// the destination, so each field meets every pair of values under every carry;
// sanitizer builds take every 61st.
#if TESSEL_FULL_SIZE_RUNS
constexpr uint32_t kSourceStride = 7;
#else
constexpr uint32_t kSourceStride = 61;
#endif

TEST(PixelMath, Rgb565AddAndSubtractMatchTheirFieldStatementsAcrossAllValues) {
    uint64_t mismatches = 0;
    for (uint32_t d = 0; d < 0x10000; ++d) {
        for (uint32_t s = d % kSourceStride; s < 0x10000; s += kSourceStride) {
            mismatches += PackedAdd565(d, s) != oracle::AddFields565(d, s);
            mismatches += PackedAddDropLow565(d, s) != oracle::AddFields565(d, s, false);
            mismatches += PackedSub565(d, s) != oracle::SubFields565(d, s);
        }
        if (mismatches != 0) {
            FAIL() << "first mismatch with destination " << std::hex << d;
        }
    }
}

// Each 32-bit channel meets every pair of byte values with random neighbours,
// so every carry and borrow into and out of it is reached.
TEST(PixelMath, ThirtyTwoBitAddAndSubtractMatchTheirChannelStatements) {
    kit::BiasedRandom random(7);
    for (int channel = 0; channel < 3; ++channel) {
        SCOPED_TRACE(channel);
        for (uint32_t a = 0; a < 256; ++a) {
            for (uint32_t b = 0; b < 256; ++b) {
                for (int round = 0; round < 4; ++round) {
                    const uint32_t keep = ~(0xFFu << (8 * channel));
                    const uint32_t d = (random.Pixel32() & keep) | (a << (8 * channel));
                    const uint32_t s =
                        (random.Pixel32() & keep & 0x00FFFFFF) | (b << (8 * channel));
                    ASSERT_EQ(PackedAdd32(d, s), oracle::AddChannels32(d, s))
                        << std::hex << d << " " << s;
                    ASSERT_EQ(PackedAddDropLow32(d, s), oracle::AddChannels32(d, s, false))
                        << std::hex << d << " " << s;
                    ASSERT_EQ(PackedSub32(d, s), oracle::SubChannels32(d, s))
                        << std::hex << d << " " << s;
                }
            }
        }
    }
}

TEST(PixelMath, SubtractIgnoresTheTopBytesOfBothOperands) {
    kit::BiasedRandom random(11);
    for (int i = 0; i < 200000; ++i) {
        const uint32_t d = random.Pixel32();
        const uint32_t s = random.Pixel32();
        ASSERT_EQ(PackedSub32(d, s), PackedSub32(d & 0xFFFFFF, s & 0xFFFFFF));
        ASSERT_EQ(PackedAdd32(d, s), PackedAdd32(d & 0xFFFFFF, s & 0xFFFFFF));
    }
}

TEST(PixelMath, PairRulesCarryFromTheFirstRedIntoTheSecondBlue) {
    kit::BiasedRandom random(3);
    for (int i = 0; i < 4000000; ++i) {
        const uint32_t d = random.Pixel565() | (random.Pixel565() << 16);
        const uint32_t s = random.Pixel565() | (random.Pixel565() << 16);
        ASSERT_EQ(PairAdd565(d, s), oracle::AddPair565(d, s)) << std::hex << d << " " << s;
        ASSERT_EQ(PairSub565(d, s), oracle::SubPair565(d, s)) << std::hex << d << " " << s;
    }
    // The second red's carry leaves the word: red saturates, nothing wraps.
    EXPECT_EQ(PairAdd565(0xF8000000u, 0xF8000000u) >> 27, 31u);
    // The first red borrowing takes one from the second blue.
    EXPECT_EQ(PairSub565(0x00040000u, 0x0000F800u) >> 16, Pack565(1, 0, 4));
    EXPECT_EQ(PairSub565(0x00040000u, 0x00000000u) >> 16, Pack565(1, 0, 5));
}

TEST(PixelMath, InterpolationFloorsTowardMinusInfinityForEveryEightBitCase) {
    for (uint32_t d = 0; d < 256; ++d) {
        for (uint32_t t = 0; t < 256; ++t) {
            for (uint32_t w = 0; w < 256; ++w) {
                const int64_t exact = int64_t(d) * 256 + (int64_t(t) - int64_t(d)) * w;
                const int64_t floor = exact >= 0 ? exact / 256 : -((-exact + 255) / 256);
                ASSERT_EQ(Interpolate(d, t, w, 8), static_cast<uint32_t>(floor));
            }
        }
    }
}

TEST(PixelMath, InterpolationWithThreeFactorsStaysExactAboveTwoToTheThirtyOne) {
    kit::BiasedRandom random(5);
    for (int i = 0; i < 2000000; ++i) {
        const uint32_t d = random.Byte(), t = random.Byte();
        const uint32_t w3 = random.Byte() * random.Byte() * random.Byte();
        const uint32_t w2 = random.Byte() * random.Byte();
        const int64_t e3 = int64_t(d) * (1 << 24) + (int64_t(t) - d) * w3;
        const int64_t e2 = int64_t(d) * (1 << 16) + (int64_t(t) - d) * w2;
        ASSERT_EQ(Interpolate(d, t, w3, 24), static_cast<uint32_t>(e3 >> 24))
            << d << " " << t << " " << w3;
        ASSERT_EQ(Interpolate(d, t, w2, 16), static_cast<uint32_t>(e2 >> 16));
    }
    EXPECT_EQ(Interpolate(255, 0, 255u * 255 * 255, 24), 2u);  // 255 - ceil(252.0...)
    EXPECT_EQ(ScaleDown(255, 255u * 255 * 255, 24), 252u);
}

// Every weight with every pair of channel values, each pair put in a
// different channel with random neighbours, against the floor statement.
TEST(PixelMath, ThreeChannelMixIsTheFloorInterpolationOfEachChannel) {
    kit::BiasedRandom random(13);
    for (uint32_t w = 0; w < 256; ++w) {
        for (uint32_t a = 0; a < 256; ++a) {
#if TESSEL_FULL_SIZE_RUNS
            constexpr uint32_t kStep = 3;
#else
            constexpr uint32_t kStep = 29;  // sanitizer builds
#endif
            for (uint32_t b = 0; b < 256; b += kStep) {
                const int ch = static_cast<int>((a + b + w) % 3);
                const uint32_t d = (random.Pixel32() & ~(0xFFu << 8 * ch)) | a << 8 * ch;
                const uint32_t s = (random.Pixel32() & ~(0xFFu << 8 * ch)) | b << 8 * ch;
                uint32_t want = d & 0xFF000000u;
                for (int k = 0; k < 3; ++k) {
                    const int64_t dk = (d >> 8 * k) & 0xFF, sk = (s >> 8 * k) & 0xFF;
                    const int64_t v = dk * 256 + (sk - dk) * int64_t{w};
                    want |= static_cast<uint32_t>(v >> 8) << 8 * k;  // v >= 0: the floor
                }
                ASSERT_EQ(MixChannels32(d, s, w), want) << std::hex << d << " " << s << " " << w;
            }
        }
    }
}

TEST(PixelMath, WhiteIsTheLowThreeBytesAllSet) {
    EXPECT_TRUE(IsWhite(0xFFFFFF));
    EXPECT_TRUE(IsWhite(0x12FFFFFF));
    EXPECT_FALSE(IsWhite(0xFFFFFE));
    EXPECT_FALSE(IsWhite(0xFEFFFF));
}

}  // namespace
}  // namespace tessel
