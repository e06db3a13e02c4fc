// Number helpers. Floats are 32-bit, doubles 64-bit.
#pragma once

#include <cstdint>

namespace tessel {

// Sine and cosine of an angle in radians, computed together in extended
// precision and narrowed to float.
void SinCos(float angle, float* sine, float* cosine);

// Absolute value; the most negative value stays as it is.
int32_t AbsInt(int32_t v);
// A value below 0 negated; 0, -0 and NaN unchanged.
float AbsFloat(float v);

// Conversion to int32 rounding toward zero, whatever the rounding mode. A
// value outside the int32 range, and NaN, gives INT32_MIN (0x80000000), as
// the processor's truncating conversion does.
int32_t TruncFloatToInt(float v);
int32_t TruncDoubleToInt(double v);
// The same for the four values of a rectangle.
void TruncDouble4ToInt4(const double values[4], int32_t out[4]);

float SqrtFloat(float v);
// Float arguments, double results.
double PowF(float x, float y);
double Atan2F(float y, float x);
double AsinF(float v);
double AcosF(float v);

// The full product of a and b as four 32-bit words, lowest first.
void MulU64To128(uint64_t a, uint64_t b, uint32_t out[4]);
// The quotient of a 128-bit dividend (four 32-bit words, lowest first) by a
// 64-bit divisor. Returns 0; -1 with quotient 0 when the divisor is 0, and
// -1 with quotient UINT64_MAX when the quotient does not fit in 64 bits.
int DivU128By64(const uint32_t dividend[4], uint64_t divisor, uint64_t* quotient);

}  // namespace tessel
