// The model runtime's geometry: a table of 65536 sines that replaces the maths
// library on the per-frame paths, and Mat3x4, a compact affine matrix acting
// on column vectors (three rows of three linear elements and a translation;
// the row (0, 0, 0, 1) is implied). A Mat3x4 and the library's Mat4 that
// describe one transform are transposes of each other.
#pragma once

#include <cstdint>

#include "foundation/math/matrix.h"

namespace tessel {

struct Mat3x4 {
    float m[3][4];
};

constexpr int kSineTableSize = 65536;

// Fills the table; the model system's start calls it once.
void FillSineTable();
// Entry i: the sine of the float angle i * 2pi / 65536.
const float* SineTableEntries();

// The table index of an angle: round(angle * 65536 / 2pi) modulo 65536, exact
// while |angle| stays below about 402 radians.
uint32_t SineTableIndex(float angle);
void SinCosLookup(float angle, float* sine, float* cosine);

// Exactly the library's SinCos, bit for bit, at a fraction of its cost on
// the per-frame paths: a double-precision evaluation is rounded to float
// wherever its error cannot reach a float rounding boundary, which is nearly
// always; near one, under other rounding or precision modes and for extreme
// angles, the library's own extended-precision evaluation answers. Reading
// the modes costs about as much as the evaluation, so they are read once, on
// construction, for a run of evaluations that changes no mode.
class ExactSinCos {
  public:
    ExactSinCos();
    // The floating-point modes are the default ones, under which the quick
    // route runs and results may be kept.
    bool DefaultModes() const { return defaultModes_; }
    void operator()(float angle, float* sine, float* cosine) const;

  private:
    bool defaultModes_;
};

// out = M p + t; out may not be point.
void TransformPoint3x4(const Mat3x4* matrix, Vec3* out, const Vec3* point);
// out = a b (b applied first); out may be neither input.
void MultiplyMatrix3x4(const Mat3x4* a, Mat3x4* out, const Mat3x4* b);
// out = a T, T the translation by b's translation column; b's linear part is
// not read.
void Mat3x4MulTranslation(const Mat3x4* a, const Mat3x4* b, Mat3x4* out);

// The rotation turning a point about the first named axis first; zero
// translation.
void Mat3x4FromEulerXYZ(Mat3x4* out, float x, float y, float z);
void Mat3x4FromEulerXZY(Mat3x4* out, float x, float y, float z);
void Mat3x4FromEulerYXZ(Mat3x4* out, float x, float y, float z);
void Mat3x4FromEulerYZX(Mat3x4* out, float x, float y, float z);
void Mat3x4FromEulerZXY(Mat3x4* out, float x, float y, float z);
void Mat3x4FromEulerZYX(Mat3x4* out, float x, float y, float z);

void Transpose4x4To3x4(Mat3x4* out, const Mat4* in);
void Transpose3x4To4x4(Mat4* out, const Mat3x4* in);

}  // namespace tessel
