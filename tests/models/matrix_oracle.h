// Double-precision matrices that check the model runtime's float ones: the
// same transforms written out from their definitions, for column vectors
// (rows of three linear elements and a translation). Angles go through the
// same 65536-step quantisation as the runtime's sine table.
#pragma once

#include <gtest/gtest.h>

#include <cmath>

#include "models/math/model_math.h"

namespace tessel_test {

struct M34 {
    double m[3][4];
};

inline M34 Identity34() {
    return M34{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}};
}

inline M34 From(const tessel::Mat3x4& a) {
    M34 out;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            out.m[r][c] = a.m[r][c];
        }
    }
    return out;
}

// a b: b applied to a point first.
inline M34 operator*(const M34& a, const M34& b) {
    M34 out;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            double sum = c == 3 ? a.m[r][3] : 0.0;
            for (int k = 0; k < 3; ++k) {
                sum += a.m[r][k] * b.m[k][c];
            }
            out.m[r][c] = sum;
        }
    }
    return out;
}

// The angle the sine table really turns by.
inline double TableAngle(float angle) {
    const double step = 2.0 * 3.14159265358979323846 / 65536.0;
    return std::nearbyint(static_cast<double>(angle) * 10430.3779296875) * step;
}

inline M34 Translation(double x, double y, double z) {
    return M34{{{1, 0, 0, x}, {0, 1, 0, y}, {0, 0, 1, z}}};
}
inline M34 Scaling(double x, double y, double z) {
    return M34{{{x, 0, 0, 0}, {0, y, 0, 0}, {0, 0, z, 0}}};
}
inline M34 RotationAbout(int axis, double angle) {
    const double s = std::sin(angle);
    const double c = std::cos(angle);
    M34 m = Identity34();
    const int a = (axis + 1) % 3;
    const int b = (axis + 2) % 3;
    m.m[a][a] = c;
    m.m[a][b] = -s;
    m.m[b][a] = s;
    m.m[b][b] = c;
    return m;
}
// Orders 0 XYZ, 1 XZY, 2 YZX, 3 YXZ, 4 ZXY, 5 ZYX: the first axis turns the
// point first. Table angles when `table` is set.
inline M34 Euler(int order, tessel::Vec3 angles, bool table = true) {
    static const int kAxes[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0},
                                    {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};
    const float v[3] = {angles.x, angles.y, angles.z};
    M34 out = Identity34();
    for (int i = 0; i < 3; ++i) {
        const int axis = kAxes[order][i];
        const double a = table ? TableAngle(v[axis]) : v[axis];
        out = RotationAbout(axis, a) * out;
    }
    return out;
}
// The rotation of a quaternion (x, y, z, w) for column vectors.
inline M34 QuaternionRotation(const double* q) {
    const double x = q[0], y = q[1], z = q[2], w = q[3];
    return M34{{{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y), 0},
                {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x), 0},
                {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y), 0}}};
}
inline M34 Transposed3(const M34& a) {
    M34 out = a;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            out.m[r][c] = a.m[c][r];
        }
    }
    return out;
}

inline void ExpectMatrixNear(const tessel::Mat3x4& got, const M34& want, double tolerance,
                             const char* what = "") {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            EXPECT_NEAR(got.m[r][c], want.m[r][c], tolerance)
                << what << " [" << r << "][" << c << "]";
        }
    }
}

}  // namespace tessel_test
