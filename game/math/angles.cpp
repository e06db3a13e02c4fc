// Kept out of line so that every caller gets the library's cos and sin, never
// a compile-time evaluation of them that could differ in the last bit.
#include "game/math/angles.h"

#include <cmath>

double DegToRad(double degrees) {
    return -degrees * kDegreesToRadians;
}

double CompassDegToRad(double degrees) {
    return (450.0 - degrees) * kDegreesToRadians;
}

double RadToDeg(double radians) {
    return -radians * kRadiansToDegrees;
}

double PolarX(double r, double degrees) {
    return std::cos(DegToRad(degrees)) * r;
}

double PolarY(double r, double degrees) {
    return std::sin(DegToRad(degrees)) * r;
}

double PolarXRad(double r, double radians) {
    return std::cos(radians) * r;
}

double PolarYRad(double r, double radians) {
    return std::sin(radians) * r;
}

double AbsValue(double x) {
    return x >= 0.0 ? x : -x;
}
