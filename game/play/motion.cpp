// Replays depend on every bit of these results, so the velocity goes through
// the game's own polar helpers and their single-precision angle factors.
#include "game/play/motion.h"

#include <cmath>

#include "game/math/angles.h"

void RecomputeVelocity(Motion* motion) {
    motion->vx = PolarX(motion->speed, motion->angle);
    motion->vy = PolarY(motion->speed, motion->angle);
}

void Motion::Launch(double atX, double atY, double withSpeed, double degrees) {
    x = atX;
    y = atY;
    speed = withSpeed;
    SetAngle(degrees);
}

void Motion::SetSpeed(double value) {
    speed = value;
    RecomputeVelocity(this);
}

void Motion::AddSpeed(double delta) {
    SetSpeed(speed + delta);
}

void Motion::SubtractSpeed(double delta) {
    SetSpeed(speed - delta);
}

void Motion::MultiplySpeed(double factor) {
    SetSpeed(speed * factor);
}

void Motion::SetAngle(double degrees) {
    angle = degrees;
    RecomputeVelocity(this);
}

void Motion::AddAngle(double degrees) {
    SetAngle(angle + degrees);
}

void Motion::SubtractAngle(double degrees) {
    SetAngle(angle - degrees);
}

void Motion::MultiplyVx(double factor) {
    vx *= factor;
    angle = RadToDeg(std::atan2(vy, vx));
    speed = std::sqrt(vx * vx + vy * vy);
}

void Motion::Advance() {
    x += vx;
    y += vy;
}

void Motion::AdvanceScaled(double factor) {
    x += vx * factor;
    y += vy * factor;
}
