// Angle conversions and polar offsets with the game's conventions: angles in
// degrees, counter-clockwise on screen, 90 pointing up. Screen y grows
// downwards, so a game angle turns into a negated radian angle. The factors are
// the single-precision values of pi/180 and 180/pi, used in double, because
// replays depend on every bit of the results.
#pragma once

constexpr double kDegreesToRadians = 0.01745329238474369;
constexpr double kRadiansToDegrees = 57.295780181884766;

// -d x pi/180: a game angle as a screen-space radian angle.
double DegToRad(double degrees);
// (450 - d) x pi/180: the turn the image drawing calls take for a game angle.
double CompassDegToRad(double degrees);
// -r x 180/pi: a screen-space radian angle (from atan2 of screen offsets) as a game angle.
double RadToDeg(double radians);

// The offset of distance r at game angle d: PolarY(10, 90) is -10, up on screen.
double PolarX(double r, double degrees);
double PolarY(double r, double degrees);
// The same for a screen-space radian angle.
double PolarXRad(double r, double radians);
double PolarYRad(double r, double radians);

double AbsValue(double x);
