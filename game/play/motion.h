// The motion of a pooled object, bullet or enemy: position, speed, angle and
// velocity, kept consistent. Setting the speed or the angle recomputes the
// velocity; scaling the horizontal velocity (a bounce off a wall) recomputes
// the angle and the speed. Angles are degrees, 90 straight up the screen.
//
// Records derive from Motion so that `x` and `y` are their first fields, where
// the hit tests and the behaviours read them.
#pragma once

struct Motion {
    double x;
    double y;
    double speed;  // pixels per frame
    double angle;  // degrees, counter-clockwise, 90 up
    double vx;     // pixels per frame
    double vy;
    double spare[7];  // read by no code of the game

    // A spawned record's start: place and speed stored, the angle set so that
    // the velocity follows.
    void Launch(double atX, double atY, double withSpeed, double degrees);

    void SetSpeed(double value);
    void AddSpeed(double delta);
    void SubtractSpeed(double delta);
    void MultiplySpeed(double factor);

    void SetAngle(double degrees);
    void AddAngle(double degrees);
    void SubtractAngle(double degrees);

    // vx x factor, then the angle and the speed follow from the velocity.
    void MultiplyVx(double factor);

    // One frame's move by the velocity.
    void Advance();
    // A move by the velocity scaled (appearing and vanishing records move slower).
    void AdvanceScaled(double factor);
};

// The velocity from the current speed and angle.
void RecomputeVelocity(Motion* motion);
