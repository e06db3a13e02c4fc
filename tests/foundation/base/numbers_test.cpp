// Number conversions: truncations, roundings and their out-of-range answers.
#include "foundation/base/numbers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace tessel {
namespace {

constexpr int kRoundingModes[] = {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO};

// Runs the body under each rounding mode and checks the mode is left alone.
template <typename Body>
void UnderEveryRoundingMode(Body body) {
    const int saved = std::fegetround();
    for (int mode : kRoundingModes) {
        ASSERT_EQ(std::fesetround(mode), 0);
        SCOPED_TRACE("rounding mode " + std::to_string(mode));
        body();
        EXPECT_EQ(std::fegetround(), mode);
    }
    std::fesetround(saved);
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(Numbers, TruncDoubleToIntTowardZeroAndIndefiniteOutOfRange) {
    struct Case {
        double value;
        int32_t expected;
    };
    const Case cases[] = {
        {0.0, 0},
        {-0.0, 0},
        {0.5, 0},
        {-0.5, 0},
        {0.9999999, 0},
        {1.5, 1},
        {-1.5, -1},
        {2.5, 2},
        {-2.5, -2},
        {1.9999999, 1},
        {-1.9999999, -1},
        {123456.789, 123456},
        {2147483647.0, INT32_MAX},
        {2147483647.999, INT32_MAX},
        {-2147483648.0, INT32_MIN},
        {-2147483648.999, INT32_MIN},
        {2147483648.0, INT32_MIN},
        {-2147483649.0, INT32_MIN},
        {4294967296.0, INT32_MIN},
        {1e300, INT32_MIN},
        {-1e300, INT32_MIN},
        {kInf, INT32_MIN},
        {-kInf, INT32_MIN},
        {kNaN, INT32_MIN},
        {-kNaN, INT32_MIN},
        {std::numeric_limits<double>::denorm_min(), 0},
    };
    UnderEveryRoundingMode([&] {
        for (const Case& c : cases) {
            volatile double value = c.value;
            EXPECT_EQ(TruncDoubleToInt(value), c.expected) << c.value;
        }
    });
}

TEST(Numbers, TruncFloatToIntTowardZeroAndIndefiniteOutOfRange) {
    struct Case {
        float value;
        int32_t expected;
    };
    const Case cases[] = {
        {0.0f, 0},
        {-0.0f, 0},
        {0.75f, 0},
        {-0.75f, 0},
        {1.5f, 1},
        {-1.5f, -1},
        {-2.999f, -2},
        {16777217.0f, 16777216},      // rounded to a float already
        {2147483520.0f, 2147483520},  // the largest float below 2^31
        {2147483648.0f, INT32_MIN},   // 2^31
        {-2147483648.0f, INT32_MIN},  // -2^31 itself is in range
        {-2147483904.0f, INT32_MIN},  // the next float below
        {3e38f, INT32_MIN},
        {std::numeric_limits<float>::infinity(), INT32_MIN},
        {-std::numeric_limits<float>::infinity(), INT32_MIN},
        {std::numeric_limits<float>::quiet_NaN(), INT32_MIN},
    };
    UnderEveryRoundingMode([&] {
        for (const Case& c : cases) {
            volatile float value = c.value;
            EXPECT_EQ(TruncFloatToInt(value), c.expected) << c.value;
        }
    });
}

TEST(Numbers, TruncDouble4ToInt4ConvertsEachValue) {
    UnderEveryRoundingMode([] {
        const double values[4] = {-0.5, 10.99, -7.7, kNaN};
        int32_t out[4] = {1, 1, 1, 1};
        TruncDouble4ToInt4(values, out);
        EXPECT_EQ(out[0], 0);
        EXPECT_EQ(out[1], 10);
        EXPECT_EQ(out[2], -7);
        EXPECT_EQ(out[3], INT32_MIN);
    });
}

TEST(Numbers, AbsIntAndAbsFloat) {
    EXPECT_EQ(AbsInt(-5), 5);
    EXPECT_EQ(AbsInt(5), 5);
    EXPECT_EQ(AbsInt(0), 0);
    EXPECT_EQ(AbsInt(INT32_MIN), INT32_MIN);
    EXPECT_EQ(AbsInt(INT32_MIN + 1), INT32_MAX);

    EXPECT_EQ(AbsFloat(-1.5f), 1.5f);
    EXPECT_EQ(AbsFloat(2.0f), 2.0f);
    EXPECT_EQ(AbsFloat(-std::numeric_limits<float>::infinity()),
              std::numeric_limits<float>::infinity());
    // -0 and NaN come back bit for bit.
    for (float value : {-0.0f, 0.0f, std::numeric_limits<float>::quiet_NaN(),
                        -std::numeric_limits<float>::quiet_NaN()}) {
        float result = AbsFloat(value);
        EXPECT_EQ(std::memcmp(&result, &value, sizeof(float)), 0) << value;
    }
}

TEST(Numbers, SinCosAndRuntimeFunctions) {
    float s = 2.0f, c = 2.0f;
    SinCos(0.0f, &s, &c);
    EXPECT_EQ(s, 0.0f);
    EXPECT_EQ(c, 1.0f);
    SinCos(static_cast<float>(M_PI / 2), &s, &c);
    EXPECT_EQ(s, 1.0f);
    EXPECT_NEAR(c, 0.0f, 1e-7f);
    SinCos(static_cast<float>(-M_PI / 6), &s, &c);
    EXPECT_FLOAT_EQ(s, -0.5f);
    EXPECT_FLOAT_EQ(c, static_cast<float>(std::sqrt(3.0) / 2));

    EXPECT_EQ(SqrtFloat(16.0f), 4.0f);
    EXPECT_TRUE(std::isnan(SqrtFloat(-1.0f)));
    EXPECT_EQ(PowF(2.0f, 10.0f), 1024.0);
    EXPECT_EQ(PowF(0.1f, 1.0f), static_cast<double>(0.1f));  // float argument, double result
    EXPECT_DOUBLE_EQ(Atan2F(1.0f, 1.0f), M_PI / 4);
    EXPECT_DOUBLE_EQ(Atan2F(0.0f, -1.0f), M_PI);
    EXPECT_DOUBLE_EQ(AsinF(1.0f), M_PI / 2);
    EXPECT_DOUBLE_EQ(AcosF(-1.0f), M_PI);
    EXPECT_TRUE(std::isnan(AcosF(2.0f)));
}

// SinCos keeps the pairs it computed last; whatever it keeps, every answer is
// the extended-precision pair of that angle, under the rounding mode in force.
TEST(Numbers, SinCosAnswersEveryAngleAsComputedAfreshThroughItsKeptPairs) {
    auto fresh = [](float angle, float* s, float* c) {
        const long double a = angle;
        *s = static_cast<float>(std::sin(a));
        *c = static_cast<float>(std::cos(a));
    };
    auto same = [](float a, float b) { return std::memcmp(&a, &b, sizeof(float)) == 0; };
    // More angles than it keeps, so that many share a place; each asked again
    // forward, backward and interleaved with a neighbour one bit apart.
    std::vector<float> angles = {0.0f, -0.0f, 1.0f, -1.0f, 1e-30f, 1e30f};
    for (int i = 0; i < 3000; ++i) {
        angles.push_back(static_cast<float>(i) * 0.0021f - 3.1f);
    }
    auto check = [&](float angle) {
        float s = 0.0f, c = 0.0f, es = 0.0f, ec = 0.0f;
        SinCos(angle, &s, &c);
        fresh(angle, &es, &ec);
        ASSERT_TRUE(same(s, es) && same(c, ec)) << angle;
    };
    for (int pass = 0; pass < 2; ++pass) {
        for (float angle : angles) {
            check(angle);
            check(std::nextafter(angle, 10.0f));
        }
        std::reverse(angles.begin(), angles.end());
    }
    UnderEveryRoundingMode([&] {
        for (int i = 0; i < 64; ++i) {
            check(0.1234567f * static_cast<float>(i));
        }
    });
}

TEST(Numbers, MulU64To128AndDivU128By64) {
    struct Case {
        uint64_t a;
        uint64_t b;
        uint32_t words[4];
    };
    const Case cases[] = {
        {0, 12345, {0, 0, 0, 0}},
        {1, 1, {1, 0, 0, 0}},
        {0xFFFFFFFFull, 0xFFFFFFFFull, {0x00000001, 0xFFFFFFFE, 0, 0}},
        {UINT64_MAX, UINT64_MAX, {0x00000001, 0x00000000, 0xFFFFFFFE, 0xFFFFFFFF}},
        {0x123456789ABCDEF0ull, 0x10, {0x9ABCDEF0u << 4, 0x23456789, 0x1, 0}},
        {1ull << 63, 2, {0, 0, 1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.a << " * " << c.b);
        uint32_t words[4] = {9, 9, 9, 9};
        MulU64To128(c.a, c.b, words);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(words[i], c.words[i]) << "word " << i;
        }
        if (c.b != 0) {
            uint64_t quotient = 0;
            EXPECT_EQ(DivU128By64(words, c.b, &quotient), 0);
            EXPECT_EQ(quotient, c.a);
        }
    }

    // The clock conversion: ticks * 1000000 / frequency, far past 64 bits.
    const uint64_t ticks = 0x0123456789ABCDEFull;
    const uint64_t frequency = 3'000'000'000ull;
    uint32_t product[4];
    MulU64To128(ticks, 1'000'000, product);
    uint64_t microseconds = 0;
    EXPECT_EQ(DivU128By64(product, frequency, &microseconds), 0);
    unsigned __int128 exact = static_cast<unsigned __int128>(ticks) * 1'000'000 / frequency;
    EXPECT_EQ(microseconds, static_cast<uint64_t>(exact));

    const uint32_t remainder[4] = {7, 0, 0, 0};
    uint64_t quotient = 5;
    EXPECT_EQ(DivU128By64(remainder, 8, &quotient), 0);
    EXPECT_EQ(quotient, 0u);
}

TEST(Numbers, DivU128By64RefusesZeroAndOverflow) {
    const uint32_t dividend[4] = {1, 2, 3, 4};
    uint64_t quotient = 5;
    EXPECT_EQ(DivU128By64(dividend, 0, &quotient), -1);
    EXPECT_EQ(quotient, 0u);
    EXPECT_EQ(DivU128By64(dividend, 1, &quotient), -1);  // 2^96 and more over 1
    EXPECT_EQ(quotient, UINT64_MAX);
    const uint32_t fits[4] = {0, 0, 0xFFFFFFFF, 0};  // (2^32 - 1) * 2^64
    EXPECT_EQ(DivU128By64(fits, 0x100000000ull, &quotient), 0);
    EXPECT_EQ(quotient, 0xFFFFFFFF00000000ull);
}

}  // namespace
}  // namespace tessel
