#include "foundation/math/matrix.h"
#include "foundation/base/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace tessel {
namespace {

using D4 = double[4][4];

constexpr double kPi = 3.14159265358979323846;

Mat4 Filled(float value) {
    Mat4 m;
    for (auto& row : m.m) {
        for (float& v : row) {
            v = value;
        }
    }
    return m;
}

Mat4 FromRows(std::initializer_list<std::initializer_list<float>> rows) {
    Mat4 m{};
    int r = 0;
    for (const auto& row : rows) {
        int c = 0;
        for (float v : row) {
            m.m[r][c++] = v;
        }
        ++r;
    }
    return m;
}

Mat4 RandomMatrix(std::mt19937& random, float low, float high) {
    std::uniform_real_distribution<float> value(low, high);
    Mat4 m;
    for (auto& row : m.m) {
        for (float& v : row) {
            v = value(random);
        }
    }
    return m;
}

void ExpectExact(const Mat4& actual, const Mat4& expected) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(actual.m[r][c], expected.m[r][c]) << "m" << r << c;
        }
    }
}

void ExpectNear(const Mat4& actual, const D4& expected, double tolerance) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            EXPECT_NEAR(actual.m[r][c], expected[r][c], tolerance) << "m" << r << c;
        }
    }
}

void ExpectNear(const Mat4& actual, const Mat4& expected, double tolerance) {
    D4 e;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            e[r][c] = expected.m[r][c];
        }
    }
    ExpectNear(actual, e, tolerance);
}

void ProductInDouble(const Mat4& a, const Mat4& b, D4& out) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            out[r][c] = 0.0;
            for (int k = 0; k < 4; ++k) {
                out[r][c] += static_cast<double>(a.m[r][k]) * b.m[k][c];
            }
        }
    }
}

bool SameBytes(const Mat4& a, const Mat4& b) {
    return std::memcmp(&a, &b, sizeof(Mat4)) == 0;
}

TEST(MatrixBuilders, PlaceTheirValuesExactly) {
    Mat4 m = Filled(7.0f);
    MatIdentity(&m);
    ExpectExact(m, FromRows({{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}));
    MatScale(&m, 2.5f, -3.0f, 0.125f);
    ExpectExact(m, FromRows({{2.5f, 0, 0, 0}, {0, -3, 0, 0}, {0, 0, 0.125f, 0}, {0, 0, 0, 1}}));
    MatTranslate(&m, 4.0f, -5.0f, 6.5f);
    ExpectExact(m, FromRows({{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {4, -5, 6.5f, 1}}));
    MatViewport(&m, 320.0f, 240.0f, 640.0f, 480.0f);
    ExpectExact(m, FromRows({{320, 0, 0, 0}, {0, -240, 0, 0}, {0, 0, 1, 0}, {320, 240, 0, 1}}));

    const Mat4 expectedAxes = FromRows({{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}, {10, 11, 12, 1}});
    ExpectExact(MatFromAxes({1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}), expectedAxes);
    Mat4 axes = Filled(7.0f);
    EXPECT_EQ(MatFromAxes(&axes, {1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}), &axes);
    ExpectExact(axes, expectedAxes);
}

TEST(MatrixBuilders, SingleAxisRotationsPlaceSineAndCosine) {
    const float angle = 0.7f;
    float s;
    float c;
    SinCos(angle, &s, &c);
    Mat4 m = Filled(7.0f);
    MatRotX(&m, angle);
    ExpectExact(m, FromRows({{1, 0, 0, 0}, {0, c, s, 0}, {0, -s, c, 0}, {0, 0, 0, 1}}));
    MatRotY(&m, angle);
    ExpectExact(m, FromRows({{c, 0, -s, 0}, {0, 1, 0, 0}, {s, 0, c, 0}, {0, 0, 0, 1}}));
    const Mat4 z = FromRows({{c, s, 0, 0}, {-s, c, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}});
    MatRotZ(&m, angle);
    ExpectExact(m, z);
    ExpectExact(MatRotZByValue(angle), z);
    Mat4 byValue = Filled(7.0f);
    EXPECT_EQ(MatRotZByValue(&byValue, angle), &byValue);
    ExpectExact(byValue, z);
    // Row vectors: RotZ turns the x axis towards +y.
    Vec3 x{1, 0, 0};
    Vec3TransformAffine(&x, &x, &z);
    EXPECT_FLOAT_EQ(x.x, c);
    EXPECT_FLOAT_EQ(x.y, s);
}

TEST(MatrixProduct, MatchesTheDoubleProductAndAllowsAliasing) {
    std::mt19937 random(1);
    for (int round = 0; round < 50; ++round) {
        const Mat4 a = RandomMatrix(random, -10, 10);
        const Mat4 b = RandomMatrix(random, -10, 10);
        D4 expected;
        ProductInDouble(a, b, expected);
        Mat4 out;
        EXPECT_EQ(MatMul(&out, &a, &b), 0);
        ExpectNear(out, expected, 1e-4);
        ExpectExact(MatMulByValue(a, b), out);
        Mat4 byValue;
        EXPECT_EQ(MatMulByValue(&byValue, a, b), &byValue);
        ExpectExact(byValue, out);
        Mat4 intoA = a;
        MatMul(&intoA, &intoA, &b);
        ExpectExact(intoA, out);
        Mat4 intoB = b;
        MatMul(&intoB, &a, &intoB);
        ExpectExact(intoB, out);
    }
    const Mat4 a = Filled(1.0f);
    EXPECT_EQ(MatMul(nullptr, &a, &a), 0);
}

TEST(MatrixProduct, TranslationComesLast) {
    Mat4 scale;
    Mat4 move;
    Mat4 both;
    MatScale(&scale, 2, 2, 2);
    MatTranslate(&move, 1, 2, 3);
    MatMul(&both, &scale, &move);
    const Vec3 p{1, 1, 1};
    Vec3 out;
    Vec3TransformAffine(&out, &p, &both);
    EXPECT_EQ(out.x, 3.0f);
    EXPECT_EQ(out.y, 4.0f);
    EXPECT_EQ(out.z, 5.0f);
}

TEST(MatrixTransposed, SwapsRowsAndColumnsInPlaceToo) {
    std::mt19937 random(2);
    const Mat4 a = RandomMatrix(random, -1, 1);
    Mat4 t;
    MatTransposed(&t, &a);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(t.m[r][c], a.m[c][r]);
        }
    }
    Mat4 inPlace = a;
    MatTransposed(&inPlace, &inPlace);
    ExpectExact(inPlace, t);
}

TEST(MatrixInverted, GivesTheIdentityWhenMultipliedBack) {
    std::mt19937 random(3);
    D4 identity = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    for (int round = 0; round < 50; ++round) {
        Mat4 a = RandomMatrix(random, -1, 1);
        for (int i = 0; i < 4; ++i) {
            a.m[i][i] += 3.0f;  // diagonally dominant, so well conditioned
        }
        Mat4 inverse;
        ASSERT_EQ(MatInverted(&inverse, &a), 0);
        Mat4 product;
        MatMul(&product, &a, &inverse);
        ExpectNear(product, identity, 1e-5);
        Mat4 inPlace = a;
        ASSERT_EQ(MatInverted(&inPlace, &inPlace), 0);
        ExpectExact(inPlace, inverse);
    }
    Mat4 rigid;
    Mat4 inverse;
    MatFromEulerXYZ(&rigid, 0.3f, -0.4f, 1.2f);
    rigid.m[3][0] = 5;
    rigid.m[3][1] = -6;
    rigid.m[3][2] = 7;
    ASSERT_EQ(MatInverted(&inverse, &rigid), 0);
    const Vec3 p{1, 2, 3};
    Vec3 there;
    Vec3 back;
    Vec3TransformAffine(&there, &p, &rigid);
    Vec3TransformAffine(&back, &there, &inverse);
    EXPECT_NEAR(back.x, 1, 1e-5);
    EXPECT_NEAR(back.y, 2, 1e-5);
    EXPECT_NEAR(back.z, 3, 1e-5);
}

TEST(MatrixInverted, RefusesNearlySingularMatricesAndLeavesOutAlone) {
    struct Case {
        float sx, sy, sz;
        int result;
    };
    const Case cases[] = {
        {2, 3, 0, -1},               // a scaling by 0
        {1e-3f, 1e-3f, 0.05f, -1},   // determinant 5e-8
        {-1e-3f, 1e-3f, 0.05f, -1},  // determinant -5e-8
        {1e-3f, 1e-3f, 0.2f, 0},     // determinant 2e-7
    };
    for (const Case& c : cases) {
        Mat4 m;
        MatScale(&m, c.sx, c.sy, c.sz);
        Mat4 out = Filled(9.0f);
        EXPECT_EQ(MatInverted(&out, &m), c.result) << c.sz;
        if (c.result == -1) {
            EXPECT_TRUE(SameBytes(out, Filled(9.0f)));
        }
    }
}

class Projection : public ::testing::Test {
  protected:
    void TearDown() override { SetProjectionScreenSize(0, 0); }
};

TEST_F(Projection, PerspectiveFollowsItsFormulas) {
    const float fov = 1.0f;
    float s;
    float c;
    SinCos(fov * 0.5f, &s, &c);
    Mat4 m = Filled(7.0f);
    ASSERT_EQ(MatPerspective(&m, fov, 1.0f, 100.0f, 0.75f), 0);
    Mat4 expected{};
    expected.m[0][0] = 0.75f * c / s;
    expected.m[1][1] = c / s;
    expected.m[2][2] = 100.0f / 99.0f;
    expected.m[3][2] = -(100.0f / 99.0f) * 1.0f;
    expected.m[2][3] = 1.0f;
    ExpectExact(m, expected);
    // The near plane maps to depth 0 and the far plane to depth 1 after the divide.
    for (float z : {1.0f, 100.0f}) {
        const Vec3 p{0, 0, z};
        Vec3 out;
        float w;
        Vec3TransformFull(&out, &w, &p, 1.0f, &m);
        EXPECT_NEAR(out.z / w, z == 1.0f ? 0.0 : 1.0, 1e-6);
    }
    // An aspect of exactly 0 is used as it stands.
    ASSERT_EQ(MatPerspective(&m, fov, 1.0f, 100.0f, 0.0f), 0);
    EXPECT_EQ(m.m[0][0], 0.0f);
}

TEST_F(Projection, NegativeAspectComesFromTheScreen) {
    Mat4 fromScreen;
    Mat4 given;
    ASSERT_EQ(MatPerspective(&fromScreen, 1.0f, 1, 10, -1.0f), 0);
    MatPerspective(&given, 1.0f, 1, 10, 480.0f / 640.0f);
    ExpectExact(fromScreen, given);
    SetProjectionScreenSize(800, 200);
    MatPerspective(&fromScreen, 1.0f, 1, 10, -1.0f);
    MatPerspective(&given, 1.0f, 1, 10, 0.25f);
    ExpectExact(fromScreen, given);
    MatOrtho(&fromScreen, 100.0f, 1, 10, -1.0f);
    MatOrtho(&given, 100.0f, 1, 10, 0.25f);
    ExpectExact(fromScreen, given);
}

TEST_F(Projection, OrthoFollowsItsFormulas) {
    Mat4 m = Filled(7.0f);
    ASSERT_EQ(MatOrtho(&m, 480.0f, 2.0f, 10.0f, 0.75f), 0);
    Mat4 expected{};
    expected.m[0][0] = 2.0f / (480.0f / 0.75f);
    expected.m[1][1] = 2.0f / 480.0f;
    expected.m[2][2] = 1.0f / 8.0f;
    expected.m[3][2] = 2.0f / -8.0f;
    expected.m[3][3] = 1.0f;
    ExpectExact(m, expected);
}

TEST_F(Projection, DegenerateProjectionsFailAndLeaveOutAlone) {
    struct Case {
        const char* name;
        bool ortho;
        float size, nearZ, farZ, aspect;
    };
    const Case cases[] = {
        {"perspective with near equal to far", false, 1.0f, 5.0f, 5.0f, 0.75f},
        {"perspective with planes 0.00005 apart", false, 1.0f, 5.0f, 5.00005f, 0.75f},
        {"perspective with a field of view of 0", false, 0.0f, 1.0f, 10.0f, 0.75f},
        {"ortho with near equal to far", true, 100.0f, 3.0f, 3.0f, 0.75f},
        {"ortho with aspect 0", true, 100.0f, 1.0f, 10.0f, 0.0f},
        {"ortho with view height 0", true, 0.0f, 1.0f, 10.0f, 0.75f},
    };
    for (const Case& c : cases) {
        Mat4 m = Filled(7.0f);
        const int result = c.ortho ? MatOrtho(&m, c.size, c.nearZ, c.farZ, c.aspect)
                                   : MatPerspective(&m, c.size, c.nearZ, c.farZ, c.aspect);
        EXPECT_EQ(result, -1) << c.name;
        EXPECT_TRUE(SameBytes(m, Filled(7.0f))) << c.name;
    }
}

TEST(LookAt, BuildsTheViewFromTheNormalisedAxes) {
    const Vec3 eye{1, 2, -5};
    const Vec3 target{3, 1, 4};
    const Vec3 up{0, 1, 0};
    Mat4 view;
    ASSERT_EQ(LookAtMatrix(&view, &eye, &target, &up), 0);
    // Straight double formulas: d = target - eye, right = up x d, up' = d x right.
    double d[3] = {target.x - eye.x, target.y - eye.y, target.z - eye.z};
    double right[3] = {up.y * d[2] - up.z * d[1], up.z * d[0] - up.x * d[2],
                       up.x * d[1] - up.y * d[0]};
    double trueUp[3] = {d[1] * right[2] - d[2] * right[1], d[2] * right[0] - d[0] * right[2],
                        d[0] * right[1] - d[1] * right[0]};
    double* axes[3] = {right, trueUp, d};
    D4 expected = {};
    for (int col = 0; col < 3; ++col) {
        double* a = axes[col];
        const double length = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
        for (double* v = a; v != a + 3; ++v) {
            *v /= length;
        }
        for (int row = 0; row < 3; ++row) {
            expected[row][col] = a[row];
        }
        expected[3][col] = -(eye.x * a[0] + eye.y * a[1] + eye.z * a[2]);
    }
    expected[3][3] = 1;
    ExpectNear(view, expected, 1e-6);
    // The target lies straight ahead of the eye.
    Vec3 seen;
    Vec3TransformAffine(&seen, &target, &view);
    EXPECT_NEAR(seen.x, 0, 1e-5);
    EXPECT_NEAR(seen.y, 0, 1e-5);
    EXPECT_GT(seen.z, 0);
}

using EulerBuilder = int (*)(Mat4*, float, float, float);
using EulerExtractor = int (*)(const Mat4*, float*, float*, float*);

struct EulerOrder {
    const char* name;
    EulerBuilder build;
    EulerExtractor extract;
};

const EulerOrder kOrders[] = {
    {"XYZ", MatFromEulerXYZ, EulerFromMatXYZ}, {"XZY", MatFromEulerXZY, EulerFromMatXZY},
    {"YXZ", MatFromEulerYXZ, EulerFromMatYXZ}, {"YZX", MatFromEulerYZX, EulerFromMatYZX},
    {"ZXY", MatFromEulerZXY, EulerFromMatZXY}, {"ZYX", MatFromEulerZYX, EulerFromMatZYX},
};

int AxisIndex(char axis) {
    return axis - 'X';
}

TEST(Euler, BuildersAreTheProductOfRotationsInNameOrder) {
    const float angles[3] = {0.4f, -1.1f, 2.3f};
    Mat4 single[3];
    MatRotX(&single[0], angles[0]);
    MatRotY(&single[1], angles[1]);
    MatRotZ(&single[2], angles[2]);
    for (const EulerOrder& order : kOrders) {
        SCOPED_TRACE(order.name);
        D4 firstTwo;
        ProductInDouble(single[AxisIndex(order.name[0])], single[AxisIndex(order.name[1])],
                        firstTwo);
        Mat4 firstTwoFloat;
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
                firstTwoFloat.m[r][c] = static_cast<float>(firstTwo[r][c]);
            }
        }
        D4 expected;
        ProductInDouble(firstTwoFloat, single[AxisIndex(order.name[2])], expected);
        Mat4 m;
        EXPECT_EQ(order.build(&m, angles[0], angles[1], angles[2]), 0);
        ExpectNear(m, expected, 1e-6);
    }
}

TEST(Euler, XyzBuilderMatchesItsClosedForm) {
    const double x = 0.3, y = -0.8, z = 1.9;
    const double sx = std::sin(x), cx = std::cos(x), sy = std::sin(y), cy = std::cos(y);
    const double sz = std::sin(z), cz = std::cos(z);
    const D4 expected = {{cy * cz, cy * sz, -sy, 0},
                         {sx * sy * cz - cx * sz, sx * sy * sz + cx * cz, sx * cy, 0},
                         {cx * sy * cz + sx * sz, cx * sy * sz - sx * cz, cx * cy, 0},
                         {0, 0, 0, 1}};
    Mat4 m;
    MatFromEulerXYZ(&m, 0.3f, -0.8f, 1.9f);
    ExpectNear(m, expected, 1e-6);
}

TEST(Euler, ExtractorsRebuildTheRotationOutsideTheGimbalCase) {
    const float firstAndLast[] = {-3.0f, -1.7f, -0.5f, 0.0f, 0.2f, 1.4f, 1.5707964f, 2.9f};
    const float middle[] = {-1.5f, -0.9f, -0.1f, 0.0f, 0.6f, 1.2f, 1.5f};
    for (const EulerOrder& order : kOrders) {
        SCOPED_TRACE(order.name);
        for (float first : firstAndLast) {
            for (float mid : middle) {
                for (float last : firstAndLast) {
                    float angles[3];
                    angles[AxisIndex(order.name[0])] = first;
                    angles[AxisIndex(order.name[1])] = mid;
                    angles[AxisIndex(order.name[2])] = last;
                    Mat4 m;
                    order.build(&m, angles[0], angles[1], angles[2]);
                    float x;
                    float y;
                    float z;
                    ASSERT_EQ(order.extract(&m, &x, &y, &z), 0);
                    const float found[3] = {x, y, z};
                    EXPECT_NEAR(found[AxisIndex(order.name[1])], mid, 1e-4);
                    Mat4 rebuilt;
                    order.build(&rebuilt, x, y, z);
                    ExpectNear(rebuilt, m, 2e-5);
                }
            }
        }
    }
}

TEST(Euler, GimbalCaseSetsTheFirstAngleToZeroAndStillRebuilds) {
    Mat4 m;
    MatFromEulerXYZ(&m, 0.3f, 1.5707964f, 0.2f);
    float x = 9;
    float y = 9;
    float z = 9;
    EXPECT_EQ(EulerFromMatXYZ(&m, &x, &y, &z), -1);
    EXPECT_EQ(x, 0.0f);
    EXPECT_NEAR(y, kPi / 2, 1e-6);

    for (const EulerOrder& order : kOrders) {
        for (float mid : {1.5707964f, -1.5707964f}) {
            SCOPED_TRACE(std::string(order.name) + (mid > 0 ? " +" : " -"));
            float angles[3];
            angles[AxisIndex(order.name[0])] = 0.5f;
            angles[AxisIndex(order.name[1])] = mid;
            angles[AxisIndex(order.name[2])] = -0.25f;
            order.build(&m, angles[0], angles[1], angles[2]);
            float found[3];
            ASSERT_EQ(order.extract(&m, &found[0], &found[1], &found[2]), -1);
            EXPECT_EQ(found[AxisIndex(order.name[0])], 0.0f);
            EXPECT_NEAR(found[AxisIndex(order.name[1])], mid, 1e-6);
            Mat4 rebuilt;
            order.build(&rebuilt, found[0], found[1], found[2]);
            ExpectNear(rebuilt, m, 1e-5);
            // Null outputs are skipped.
            EXPECT_EQ(order.extract(&m, nullptr, nullptr, nullptr), -1);
        }
    }
}

TEST(Euler, TheGimbalBandEndsExactlyAtItsBounds) {
    // The element that holds the middle angle's sine, per order.
    const int keyRow[] = {0, 0, 1, 1, 2, 2};
    const int keyCol[] = {2, 1, 2, 0, 1, 0};
    struct Case {
        float key;
        int result;
    };
    const Case cases[] = {
        {0.99999f, -1},   {std::nextafter(0.99999f, 0.0f), 0},
        {1.000001f, -1},  {std::nextafter(1.000001f, 2.0f), 0},
        {-0.99999f, -1},  {std::nextafter(-0.99999f, 0.0f), 0},
        {-1.000001f, -1}, {std::nextafter(-1.000001f, -2.0f), 0},
    };
    for (int o = 0; o < 6; ++o) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << kOrders[o].name << " " << c.key);
            Mat4 m;
            kOrders[o].build(&m, 0.5f, 0.2f, -0.25f);
            m.m[keyRow[o]][keyCol[o]] = c.key;
            float x;
            float y;
            float z;
            EXPECT_EQ(kOrders[o].extract(&m, &x, &y, &z), c.result);
        }
    }
}

TEST(Euler, TheMiddleAngleSurvivesALastAngleOfExactlyAQuarterTurn) {
    // With the last angle's cosine exactly 0 the middle cosine comes from the
    // elements that hold sin(last) instead.
    for (const EulerOrder& order : kOrders) {
        for (float last : {1.5707964f, -1.5707964f}) {
            SCOPED_TRACE(testing::Message() << order.name << " " << last);
            float angles[3];
            angles[AxisIndex(order.name[0])] = 0.7f;
            angles[AxisIndex(order.name[1])] = -0.4f;
            angles[AxisIndex(order.name[2])] = last;
            Mat4 m;
            order.build(&m, angles[0], angles[1], angles[2]);
            for (auto& row : m.m) {
                for (float& element : row) {
                    element = std::fabs(element) < 1e-6f ? 0.0f : element;
                }
            }
            float found[3];
            ASSERT_EQ(order.extract(&m, &found[0], &found[1], &found[2]), 0);
            EXPECT_NEAR(found[AxisIndex(order.name[1])], -0.4f, 1e-5);
            EXPECT_NEAR(found[AxisIndex(order.name[0])], 0.7f, 1e-5);
        }
    }
}

TEST(Vectors, ArithmeticMatchesDoubleFormulas) {
    const Vec3 a{1.5f, -2.25f, 3.0f};
    const Vec3 b{-0.5f, 4.0f, 2.0f};
    Vec3 out;
    Vec3Plus(&out, &a, &b);
    EXPECT_EQ(out.x, 1.0f);
    EXPECT_EQ(out.y, 1.75f);
    EXPECT_EQ(out.z, 5.0f);
    Vec3Minus(&out, &a, &b);
    EXPECT_EQ(out.x, 2.0f);
    EXPECT_EQ(out.y, -6.25f);
    EXPECT_EQ(out.z, 1.0f);
    Vec3Cross(&out, &a, &b);
    EXPECT_EQ(out.x, -2.25f * 2.0f - 3.0f * 4.0f);
    EXPECT_EQ(out.y, 3.0f * -0.5f - 1.5f * 2.0f);
    EXPECT_EQ(out.z, 1.5f * 4.0f - -2.25f * -0.5f);
    EXPECT_EQ(Vec3Dot(&a, &b), -0.75f - 9.0f + 6.0f);
    Vec3 inPlace = a;
    Vec3Cross(&inPlace, &inPlace, &b);
    EXPECT_EQ(inPlace.x, out.x);
    EXPECT_EQ(inPlace.z, out.z);
}

TEST(Vectors, LengthAndNormalisation) {
    EXPECT_EQ(Vec3Length(3, 4, 12), 13.0f);
    EXPECT_EQ(Vec3Length(0.0001f, 0, 0), 0.0f);
    EXPECT_EQ(Vec3Length(0, 0, 0), 0.0f);
    EXPECT_NEAR(Vec3Length(0.0004f, 0, 0), 0.0004f, 1e-9);
    const Vec3 v{3, 4, 12};
    Vec3 n;
    Vec3Normalise(&n, &v);
    EXPECT_FLOAT_EQ(n.x, 3.0f / 13.0f);
    EXPECT_FLOAT_EQ(n.y, 4.0f / 13.0f);
    EXPECT_FLOAT_EQ(n.z, 12.0f / 13.0f);
    const Vec3 byValue = Vec3Normalised(3, 4, 12);
    EXPECT_EQ(byValue.x, n.x);
    EXPECT_EQ(byValue.z, n.z);
    Vec3 out;
    EXPECT_EQ(Vec3Normalised(&out, 3, 4, 12), &out);
    EXPECT_EQ(out.y, n.y);
}

TEST(Vectors, TransformsMatchDoubleFormulas) {
    std::mt19937 random(5);
    const Mat4 m = RandomMatrix(random, -3, 3);
    const Vec3 p{0.5f, -1.25f, 2.0f};
    const double w = 0.5;
    double affine[3];
    double full[4];
    for (int c = 0; c < 4; ++c) {
        const double sum = p.x * static_cast<double>(m.m[0][c]) + p.y * m.m[1][c] + p.z * m.m[2][c];
        if (c < 3) {
            affine[c] = sum + m.m[3][c];
        }
        full[c] = sum + w * m.m[3][c];
    }
    Vec3 out = p;
    Vec3TransformAffine(&out, &out, &m);
    EXPECT_NEAR(out.x, affine[0], 1e-5);
    EXPECT_NEAR(out.y, affine[1], 1e-5);
    EXPECT_NEAR(out.z, affine[2], 1e-5);
    float wOut;
    out = p;
    Vec3TransformFull(&out, &wOut, &out, 0.5f, &m);
    EXPECT_NEAR(out.x, full[0], 1e-5);
    EXPECT_NEAR(out.y, full[1], 1e-5);
    EXPECT_NEAR(out.z, full[2], 1e-5);
    EXPECT_NEAR(wOut, full[3], 1e-5);
    Vec3TransformFull(&out, nullptr, &p, 0.5f, &m);
    EXPECT_NEAR(out.x, full[0], 1e-5);
}

TEST(ClipRect, ClampsEveryEdgeIntoTheClip) {
    struct Case {
        RECT in;
        RECT expected;
    };
    const RECT clip{0, 0, 100, 100};
    const Case cases[] = {
        {{10, 10, 50, 60}, {10, 10, 50, 60}},      // inside
        {{10, 10, 5, 20}, {10, 10, 10, 20}},       // reversed horizontally
        {{10, 30, 20, 5}, {10, 30, 20, 30}},       // reversed vertically
        {{-50, -50, -10, -10}, {0, 0, 0, 0}},      // wholly above and left
        {{150, 20, 200, 40}, {100, 20, 100, 40}},  // wholly right
        {{-20, -30, 120, 130}, {0, 0, 100, 100}},  // covers the clip
        {{90, 95, 110, 105}, {90, 95, 100, 100}},  // over the far corner
    };
    for (const Case& c : cases) {
        RECT r = c.in;
        EXPECT_EQ(ClipRectInPlace(&r, &clip), 0);
        EXPECT_EQ(r.left, c.expected.left);
        EXPECT_EQ(r.top, c.expected.top);
        EXPECT_EQ(r.right, c.expected.right);
        EXPECT_EQ(r.bottom, c.expected.bottom);
    }
}

}  // namespace
}  // namespace tessel
