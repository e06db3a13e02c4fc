// The sine table and its index rule, the Mat3x4 products, the Euler builders
// against products of single-axis rotations, and the transposes.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "foundation/base/numbers.h"
#include "models/math/model_math.h"

namespace tessel_test {
namespace {

using tessel::Mat3x4;

class ModelMathTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { tessel::FillSineTable(); }
};

// round(angle x 65536 / 2pi) mod 65536 with ties to even, in one rounding.
uint32_t OracleIndex(float angle) {
    long double scaled = static_cast<long double>(angle) * 10430.3779296875L;
    long double rounded = std::nearbyintl(scaled);
    return static_cast<uint32_t>(static_cast<int64_t>(rounded)) & 0xFFFFu;
}

TEST_F(ModelMathTest, TableEntriesAreSinesOfTheirSinglePrecisionAngles) {
    const float* table = tessel::SineTableEntries();
    for (int i : {0, 1, 4095, 16384, 32768, 40000, 49152, 65535}) {
        SCOPED_TRACE(i);
        float angle = static_cast<float>(i) * 3.1415927410125732f;
        angle *= 2.0f;
        angle *= 1.0f / 65536.0f;
        float sine = 0.0f;
        float cosine = 0.0f;
        tessel::SinCos(angle, &sine, &cosine);
        EXPECT_EQ(table[i], sine);
        EXPECT_NEAR(table[i], std::sin(static_cast<double>(i) * 2.0 * M_PI / 65536.0), 1e-6);
    }
}

TEST_F(ModelMathTest, AngleZeroGivesSineZeroAndCosineOneExactly) {
    float s = -1.0f;
    float c = -1.0f;
    tessel::SinCosLookup(0.0f, &s, &c);
    EXPECT_EQ(s, 0.0f);
    EXPECT_EQ(c, 1.0f);
}

TEST_F(ModelMathTest, MinusHalfPiIsIndex49152) {
    const float angle = -1.5707963705062866f;
    EXPECT_EQ(tessel::SineTableIndex(angle), 49152u);
    float s = 0.0f;
    float c = 1.0f;
    tessel::SinCosLookup(angle, &s, &c);
    EXPECT_EQ(s, -1.0f);
    EXPECT_NEAR(c, 0.0f, 1e-7);
}

TEST_F(ModelMathTest, TheIndexIsTheRoundedScaledAngleModuloOneTurn) {
    std::mt19937 random(58);
    std::uniform_real_distribution<float> angles(-400.0f, 400.0f);
    for (int i = 0; i < 20000; ++i) {
        float angle = angles(random);
        ASSERT_EQ(tessel::SineTableIndex(angle), OracleIndex(angle)) << angle;
    }
    // Ties at half steps go to the even index.
    const float halfStep = 0.5f / 10430.3779296875f;
    EXPECT_EQ(tessel::SineTableIndex(0.3f), OracleIndex(0.3f));
    EXPECT_EQ(tessel::SineTableIndex(halfStep), OracleIndex(halfStep));
}

TEST_F(ModelMathTest, AnglesOneTurnApartShareTheirIndex) {
    const float turn = 6.2831854820251465f;
    for (float angle : {0.0f, 0.25f, -1.0f, 3.0f, -3.0f, 100.0f}) {
        SCOPED_TRACE(angle);
        EXPECT_EQ(tessel::SineTableIndex(angle), tessel::SineTableIndex(angle + turn));
        EXPECT_EQ(tessel::SineTableIndex(angle), tessel::SineTableIndex(angle - turn));
    }
}

// ---------------------------------------------------------------- matrices

Mat3x4 Sample(float seed) {
    Mat3x4 m;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            m.m[r][c] = seed + 0.37f * r - 0.61f * c + 0.05f * r * c;
        }
    }
    return m;
}

TEST_F(ModelMathTest, ProductsFollowTheirFormulas) {
    const Mat3x4 a = Sample(0.5f);
    const Mat3x4 b = Sample(-1.25f);
    Mat3x4 product;
    tessel::MultiplyMatrix3x4(&a, &product, &b);
    Mat3x4 translated;
    tessel::Mat3x4MulTranslation(&a, &b, &translated);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            SCOPED_TRACE(testing::Message() << r << "," << c);
            float expected = a.m[r][0] * b.m[0][c] + a.m[r][1] * b.m[1][c] + a.m[r][2] * b.m[2][c];
            if (c == 3) {
                expected += a.m[r][3];
            }
            EXPECT_EQ(product.m[r][c], expected);
            EXPECT_EQ(translated.m[r][c], c == 3 ? expected : a.m[r][c]);
        }
    }
    // b applied first: transforming by the product equals transforming twice.
    const tessel::Vec3 p{0.25f, -2.0f, 1.5f};
    tessel::Vec3 once;
    tessel::Vec3 twice;
    tessel::Vec3 viaProduct;
    tessel::TransformPoint3x4(&b, &once, &p);
    tessel::TransformPoint3x4(&a, &twice, &once);
    tessel::TransformPoint3x4(&product, &viaProduct, &p);
    EXPECT_NEAR(viaProduct.x, twice.x, 1e-4);
    EXPECT_NEAR(viaProduct.y, twice.y, 1e-4);
    EXPECT_NEAR(viaProduct.z, twice.z, 1e-4);
}

uint32_t Bits(float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Every element to the bit as the plain formula rounds it, zeros' signs
// included: a's rows of negative values against b's columns of +0 give -0,
// which adding a's translation of zero to every column would make +0.
TEST_F(ModelMathTest, ProductsAreTheFormulaToTheBitWithTheSignsOfZeros) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(-3.0f, 3.0f);
    for (int round = 0; round < 200; ++round) {
        Mat3x4 a;
        Mat3x4 b;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 4; ++c) {
                a.m[r][c] = value(random);
                b.m[r][c] = value(random);
            }
        }
        if (round % 2 == 0) {
            a.m[1][0] = -1.5f;
            a.m[1][1] = -0.25f;
            a.m[1][2] = -2.0f;
            a.m[1][3] = 0.0f;
            for (int r = 0; r < 3; ++r) {
                b.m[r][round % 8 / 2] = 0.0f;
            }
        }
        Mat3x4 product;
        tessel::MultiplyMatrix3x4(&a, &product, &b);
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 4; ++c) {
                float expected =
                    a.m[r][0] * b.m[0][c] + a.m[r][1] * b.m[1][c] + a.m[r][2] * b.m[2][c];
                if (c == 3) {
                    expected += a.m[r][3];
                }
                ASSERT_EQ(Bits(product.m[r][c]), Bits(expected))
                    << "round " << round << " element " << r << "," << c;
            }
        }
        if (round % 2 == 0 && round % 8 != 6) {
            EXPECT_TRUE(std::signbit(product.m[1][round % 8 / 2])) << "round " << round;
        }
    }
}

constexpr int kRoundingModes[] = {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO};

// The quick sine and cosine give the library's values bit for bit: angles
// in and out of its range, zeros of both signs, denormals, the angles next to
// a quarter turn (a cosine of -4e-8 there), non-finite ones, and every
// rounding mode, under which the library's own evaluation rounds otherwise.
TEST_F(ModelMathTest, TheQuickSineAndCosineAreTheLibrarysToTheBit) {
    std::vector<float> angles = {0.0f,
                                 -0.0f,
                                 1e-40f,
                                 -1e-40f,
                                 1e-30f,
                                 0x1p-30f,
                                 std::nextafter(0x1p-30f, 0.0f),
                                 1.5707963f,
                                 1.5707964f,
                                 -1.5707964f,
                                 3.1415927f,
                                 64.0f,
                                 std::nextafter(64.0f, 100.0f),
                                 -64.0f,
                                 1000.0f,
                                 1e30f,
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::quiet_NaN()};
    std::mt19937 random(11);
    std::uniform_real_distribution<float> wide(-70.0f, 70.0f);
    std::uniform_real_distribution<float> arc(0.0f, 1.5707964f);
    for (int i = 0; i < 20000; ++i) {
        angles.push_back(wide(random));
        angles.push_back(arc(random));
    }
    const int saved = std::fegetround();
    for (int mode : kRoundingModes) {
        ASSERT_EQ(std::fesetround(mode), 0);
        const tessel::ExactSinCos quick;
        EXPECT_EQ(quick.DefaultModes(), mode == FE_TONEAREST);
        int wrong = 0;
        for (float angle : angles) {
            float sine = 0.0f;
            float cosine = 0.0f;
            float librarySine = 0.0f;
            float libraryCosine = 0.0f;
            quick(angle, &sine, &cosine);
            tessel::SinCos(angle, &librarySine, &libraryCosine);
            if (Bits(sine) != Bits(librarySine) || Bits(cosine) != Bits(libraryCosine)) {
                if (++wrong <= 5) {
                    ADD_FAILURE() << "mode " << mode << " angle " << std::hexfloat << angle;
                }
            }
        }
        EXPECT_EQ(wrong, 0) << "mode " << mode;
    }
    std::fesetround(saved);
}

// The single-axis rotations for column vectors from the table's values, in
// double precision.
struct M3 {
    double m[3][3];
};

M3 Mul(const M3& a, const M3& b) {
    M3 out = {};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            for (int k = 0; k < 3; ++k) {
                out.m[r][c] += a.m[r][k] * b.m[k][c];
            }
        }
    }
    return out;
}

M3 Axis(char axis, float angle) {
    float s = 0.0f;
    float c = 0.0f;
    tessel::SinCosLookup(angle, &s, &c);
    switch (axis) {
        case 'X':
            return M3{{{1, 0, 0}, {0, c, -s}, {0, s, c}}};
        case 'Y':
            return M3{{{c, 0, s}, {0, 1, 0}, {-s, 0, c}}};
        default:
            return M3{{{c, -s, 0}, {s, c, 0}, {0, 0, 1}}};
    }
}

using Builder = void (*)(Mat3x4*, float, float, float);

struct EulerCase {
    const char* order;
    Builder build;
};

const EulerCase kEulerCases[] = {
    {"XYZ", tessel::Mat3x4FromEulerXYZ}, {"XZY", tessel::Mat3x4FromEulerXZY},
    {"YXZ", tessel::Mat3x4FromEulerYXZ}, {"YZX", tessel::Mat3x4FromEulerYZX},
    {"ZXY", tessel::Mat3x4FromEulerZXY}, {"ZYX", tessel::Mat3x4FromEulerZYX},
};

TEST_F(ModelMathTest, EachEulerBuilderAtZeroIsTheIdentity) {
    for (const EulerCase& e : kEulerCases) {
        SCOPED_TRACE(e.order);
        Mat3x4 m;
        std::memset(&m, 0x7F, sizeof m);
        e.build(&m, 0.0f, 0.0f, 0.0f);
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 4; ++c) {
                EXPECT_EQ(m.m[r][c], r == c ? 1.0f : 0.0f) << r << "," << c;
            }
        }
    }
}

TEST_F(ModelMathTest, EachEulerBuilderIsTheProductOfItsAxesInItsOrder) {
    const float angles[][3] = {
        {0.3f, -1.1f, 2.2f}, {-2.9f, 0.7f, -0.45f}, {1.5707964f, 0.2f, 0.9f}};
    for (const EulerCase& e : kEulerCases) {
        for (const auto& a : angles) {
            SCOPED_TRACE(testing::Message()
                         << e.order << " " << a[0] << " " << a[1] << " " << a[2]);
            auto angleOf = [&](char axis) { return a[axis - 'X']; };
            // The first letter turns the point first, so it stands rightmost.
            M3 expected = Mul(
                Axis(e.order[2], angleOf(e.order[2])),
                Mul(Axis(e.order[1], angleOf(e.order[1])), Axis(e.order[0], angleOf(e.order[0]))));
            Mat3x4 m;
            e.build(&m, a[0], a[1], a[2]);
            for (int r = 0; r < 3; ++r) {
                for (int c = 0; c < 3; ++c) {
                    EXPECT_NEAR(m.m[r][c], expected.m[r][c], 1e-6) << r << "," << c;
                }
                EXPECT_EQ(m.m[r][3], 0.0f);
            }
        }
    }
}

TEST_F(ModelMathTest, TheTransposesAreInverseAndDescribeTheSameTransform) {
    const Mat3x4 start = Sample(0.75f);
    tessel::Mat4 wide;
    tessel::Transpose3x4To4x4(&wide, &start);
    EXPECT_EQ(wide.m[0][3], 0.0f);
    EXPECT_EQ(wide.m[1][3], 0.0f);
    EXPECT_EQ(wide.m[2][3], 0.0f);
    EXPECT_EQ(wide.m[3][3], 1.0f);
    Mat3x4 back;
    tessel::Transpose4x4To3x4(&back, &wide);
    EXPECT_EQ(std::memcmp(&back, &start, sizeof back), 0);

    // The row-vector matrix and the column-vector one move a point alike.
    const tessel::Vec3 p{1.5f, -0.5f, 2.0f};
    tessel::Vec3 rowResult;
    tessel::Vec3 columnResult;
    tessel::Vec3TransformAffine(&rowResult, &p, &wide);
    tessel::TransformPoint3x4(&start, &columnResult, &p);
    EXPECT_NEAR(rowResult.x, columnResult.x, 1e-5);
    EXPECT_NEAR(rowResult.y, columnResult.y, 1e-5);
    EXPECT_NEAR(rowResult.z, columnResult.z, 1e-5);
}

}  // namespace
}  // namespace tessel_test
