// Angle conversions and polar offsets with the game's screen conventions.
#include "game/math/angles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

TEST(GameAngles, FactorsAreTheSinglePrecisionValuesOfTheExactRatios) {
    EXPECT_EQ(kDegreesToRadians, static_cast<double>(static_cast<float>(std::numbers::pi / 180)));
    EXPECT_EQ(kRadiansToDegrees, static_cast<double>(static_cast<float>(180 / std::numbers::pi)));
}

TEST(GameAngles, NinetyDegreesPointsUpTheScreen) {
    EXPECT_NEAR(DegToRad(90.0), -1.5708, 1e-4);
    EXPECT_EQ(DegToRad(90.0), -90.0 * 0.01745329238474369);
    EXPECT_NEAR(PolarY(10.0, 90.0), -10.0, 1e-6);
    EXPECT_NEAR(PolarX(10.0, 90.0), 0.0, 1e-6);
    // 0 is right, 180 left, 270 down.
    EXPECT_NEAR(PolarX(10.0, 0.0), 10.0, 1e-6);
    EXPECT_NEAR(PolarX(10.0, 180.0), -10.0, 1e-6);
    EXPECT_NEAR(PolarY(10.0, 270.0), 10.0, 1e-6);
}

TEST(GameAngles, PolarOffsetsUseTheNegatedRadianAngle) {
    const double cases[][2] = {{3.5, 33.0}, {250.0, 1.0}, {40.0, -123.25}, {0.75, 400.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "r " << c[0] << " d " << c[1]);
        double radians = -c[1] * 0.01745329238474369;
        EXPECT_EQ(PolarX(c[0], c[1]), std::cos(radians) * c[0]);
        EXPECT_EQ(PolarY(c[0], c[1]), std::sin(radians) * c[0]);
        EXPECT_EQ(PolarXRad(c[0], radians), PolarX(c[0], c[1]));
        EXPECT_EQ(PolarYRad(c[0], radians), PolarY(c[0], c[1]));
    }
}

TEST(GameAngles, AnAimFromScreenOffsetsComesBackAsAGameAngle) {
    // Up and to the right on screen (y grows downwards) is 45 degrees.
    EXPECT_NEAR(RadToDeg(std::atan2(-1.0, 1.0)), 45.0, 1e-5);
    EXPECT_NEAR(RadToDeg(std::atan2(1.0, -1.0)), -135.0, 1e-5);
    EXPECT_NEAR(RadToDeg(DegToRad(77.0)), 77.0, 1e-5);
}

TEST(GameAngles, CompassTurnIsMeasuredFromFourHundredFiftyDegrees) {
    EXPECT_EQ(CompassDegToRad(90.0), 360.0 * 0.01745329238474369);
    EXPECT_EQ(CompassDegToRad(450.0), 0.0);
    EXPECT_EQ(CompassDegToRad(-30.0), 480.0 * 0.01745329238474369);
}

TEST(GameAngles, AbsValueDropsTheSign) {
    EXPECT_EQ(AbsValue(-2.5), 2.5);
    EXPECT_EQ(AbsValue(2.5), 2.5);
    EXPECT_EQ(AbsValue(0.0), 0.0);
}

}  // namespace
