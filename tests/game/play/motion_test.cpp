// Motion properties: speed and angle drive the velocity and a scaled vx drives them back.
#include "game/play/motion.h"

#include <gtest/gtest.h>

#include <cmath>

#include "game/math/angles.h"

namespace {

Motion MovingAt(double speed, double angle) {
    Motion motion{};
    motion.speed = speed;
    motion.SetAngle(angle);
    return motion;
}

TEST(Motion, SpeedAndAngleChangesRecomputeTheVelocityBitForBit) {
    Motion motion = MovingAt(2.75, 33.0);
    EXPECT_EQ(motion.vx, std::cos(-33.0 * kDegreesToRadians) * 2.75);
    EXPECT_EQ(motion.vy, std::sin(-33.0 * kDegreesToRadians) * 2.75);

    const struct {
        const char* name;
        void (*change)(Motion*);
        double speed;
        double angle;
    } cases[] = {
        {"set speed", [](Motion* m) { m->SetSpeed(4.5); }, 4.5, 33.0},
        {"add speed", [](Motion* m) { m->AddSpeed(0.1); }, 2.75 + 0.1, 33.0},
        {"subtract speed", [](Motion* m) { m->SubtractSpeed(0.02); }, 2.75 - 0.02, 33.0},
        {"multiply speed", [](Motion* m) { m->MultiplySpeed(0.8); }, 2.75 * 0.8, 33.0},
        {"set angle", [](Motion* m) { m->SetAngle(-71.5); }, 2.75, -71.5},
        {"add angle", [](Motion* m) { m->AddAngle(1.0); }, 2.75, 34.0},
        {"subtract angle", [](Motion* m) { m->SubtractAngle(2.0); }, 2.75, 31.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Motion changed = motion;
        c.change(&changed);
        EXPECT_EQ(changed.speed, c.speed);
        EXPECT_EQ(changed.angle, c.angle);
        EXPECT_EQ(changed.vx, PolarX(c.speed, c.angle));
        EXPECT_EQ(changed.vy, PolarY(c.speed, c.angle));
    }
}

TEST(Motion, ABounceMirrorsTheAngleAndKeepsTheSpeed) {
    Motion motion = MovingAt(3.0, 30.0);
    double vy = motion.vy;
    motion.MultiplyVx(-1.0);
    EXPECT_NEAR(motion.angle, 150.0, 1e-5);
    EXPECT_NEAR(motion.speed, 3.0, 1e-12);
    EXPECT_EQ(motion.vy, vy);
    EXPECT_EQ(motion.angle, RadToDeg(std::atan2(motion.vy, motion.vx)));
    EXPECT_EQ(motion.speed, std::sqrt(motion.vx * motion.vx + motion.vy * motion.vy));
}

TEST(Motion, AMoveAddsTheVelocityWholeOrScaled) {
    Motion motion = MovingAt(2.0, 0.0);
    motion.x = 10.0;
    motion.y = 20.0;
    motion.Advance();
    EXPECT_EQ(motion.x, 12.0);
    EXPECT_NEAR(motion.y, 20.0, 1e-12);
    motion.AdvanceScaled(0.5);
    EXPECT_EQ(motion.x, 13.0);
}

}  // namespace
