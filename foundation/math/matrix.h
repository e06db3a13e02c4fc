// The library's 3D math: left-handed, row vectors. A point is the row
// (x, y, z, 1) multiplied from the left, the translation is the fourth row,
// and "A then B" is the product A x B. Angles are radians.
#pragma once

#include "platform/types.h"

namespace tessel {

struct Vec3 {
    float x, y, z;
};

// Row by row: m[r][c] is row r, column c; the translation is m[3][0..2].
struct Mat4 {
    float m[4][4];
};

// The draw screen's size, from which projections with a negative aspect take
// theirs (height / width). Graphics sets it whenever the screen size changes;
// 0 means not set yet, which counts as 640 by 480.
void SetProjectionScreenSize(int width, int height);

int MatIdentity(Mat4* out);
// out = a x b; out may be a or b; a null out does nothing.
int MatMul(Mat4* out, const Mat4* a, const Mat4* b);
Mat4 MatMulByValue(Mat4 a, Mat4 b);
Mat4* MatMulByValue(Mat4* out, Mat4 a, Mat4 b);
int MatScale(Mat4* out, float sx, float sy, float sz);
int MatTranslate(Mat4* out, float x, float y, float z);
int MatRotX(Mat4* out, float angle);
int MatRotY(Mat4* out, float angle);
int MatRotZ(Mat4* out, float angle);
Mat4 MatRotZByValue(float angle);
Mat4* MatRotZByValue(Mat4* out, float angle);
// out may be in.
int MatTransposed(Mat4* out, const Mat4* in);
// -1 and out untouched when the determinant is within 1e-7 of zero; out may be in.
int MatInverted(Mat4* out, const Mat4* in);
// aspect = height / width; below 0 it comes from the draw screen's size.
// -1 and out untouched when far equals near or the field of view is ~0.
int MatPerspective(Mat4* out, float fov, float nearZ, float farZ, float aspect);
// -1 and out untouched when far equals near, or the view height or the aspect is 0.
int MatOrtho(Mat4* out, float viewHeight, float nearZ, float farZ, float aspect);
int MatViewport(Mat4* out, float x, float y, float width, float height);
Mat4 MatFromAxes(Vec3 xAxis, Vec3 yAxis, Vec3 zAxis, Vec3 position);
Mat4* MatFromAxes(Mat4* out, Vec3 xAxis, Vec3 yAxis, Vec3 zAxis, Vec3 position);
int LookAtMatrix(Mat4* out, const Vec3* eye, const Vec3* target, const Vec3* up);

// The product of the single-axis rotations in the order of the letters, so the
// point turns about the first axis named first.
int MatFromEulerXYZ(Mat4* out, float x, float y, float z);
int MatFromEulerXZY(Mat4* out, float x, float y, float z);
int MatFromEulerYXZ(Mat4* out, float x, float y, float z);
int MatFromEulerYZX(Mat4* out, float x, float y, float z);
int MatFromEulerZXY(Mat4* out, float x, float y, float z);
int MatFromEulerZYX(Mat4* out, float x, float y, float z);

// Angles that the builder of the same order turns back into the matrix. In
// the gimbal case (middle angle +-pi/2) the first angle is 0, the outputs are
// written all the same and the result is -1. Each output may be null.
int EulerFromMatXYZ(const Mat4* m, float* x, float* y, float* z);
int EulerFromMatXZY(const Mat4* m, float* x, float* y, float* z);
int EulerFromMatYXZ(const Mat4* m, float* x, float* y, float* z);
int EulerFromMatYZX(const Mat4* m, float* x, float* y, float* z);
int EulerFromMatZXY(const Mat4* m, float* x, float* y, float* z);
int EulerFromMatZYX(const Mat4* m, float* x, float* y, float* z);

int Vec3Plus(Vec3* out, const Vec3* a, const Vec3* b);
int Vec3Minus(Vec3* out, const Vec3* a, const Vec3* b);
int Vec3Cross(Vec3* out, const Vec3* a, const Vec3* b);
float Vec3Dot(const Vec3* a, const Vec3* b);
// No test for zero length: the caller knows its vector is not null.
int Vec3Normalise(Vec3* out, const Vec3* v);
Vec3 Vec3Normalised(float x, float y, float z);
Vec3* Vec3Normalised(Vec3* out, float x, float y, float z);
// 0 when the squared length is below 1e-7.
float Vec3Length(float x, float y, float z);
// point x m with w = 1; out may be point.
int Vec3TransformAffine(Vec3* out, const Vec3* point, const Mat4* m);
// (point, wIn) x m; wOut may be null; out may be point.
int Vec3TransformFull(Vec3* out, float* wOut, const Vec3* point, float wIn, const Mat4* m);

// Makes a reversed rectangle empty, then clamps its edges into clip. Always 0.
int ClipRectInPlace(RECT* r, const RECT* clip);

}  // namespace tessel
