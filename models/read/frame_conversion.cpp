// A frame's transform matrix as the parts the runtime composes: the
// translation row, one scale per row and the Euler angles of the first
// rotation order that rebuilds the normalised matrix.
#include <cmath>

#include "models/read/conversion_internal.h"

namespace tessel {

namespace {

using EulerFrom = int (*)(const Mat4*, float*, float*, float*);
using EulerTo = int (*)(Mat4*, float, float, float);

struct OrderTry {
    EulerFrom from;
    EulerTo to;
    int order;  // the numbering of ComposeFrameMatrix
};

constexpr OrderTry kOrders[] = {
    {EulerFromMatXYZ, MatFromEulerXYZ, 0}, {EulerFromMatXZY, MatFromEulerXZY, 1},
    {EulerFromMatYXZ, MatFromEulerYXZ, 3}, {EulerFromMatYZX, MatFromEulerYZX, 2},
    {EulerFromMatZXY, MatFromEulerZXY, 4}, {EulerFromMatZYX, MatFromEulerZYX, 5},
};

constexpr float kMatchTolerance = 1e-5f;

bool Same3x3(const Mat4& a, const Mat4& b) {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            if (!(std::fabs(a.m[r][c] - b.m[r][c]) < kMatchTolerance)) {
                return false;
            }
        }
    }
    return true;
}

bool IsIdentity3x3(const Mat4& m) {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            if (m.m[r][c] != (r == c ? 1.0f : 0.0f)) {
                return false;
            }
        }
    }
    return true;
}

// The rotation part with each row made unit length.
Mat4 Normalised(const Mat4& transform) {
    Mat4 n;
    MatIdentity(&n);
    for (int r = 0; r < 3; ++r) {
        const float* row = transform.m[r];
        const float length = std::sqrt(row[0] * row[0] + row[1] * row[1] + row[2] * row[2]);
        for (int c = 0; c < 3; ++c) {
            // A zero row stays zero; no order matches it and XYZ is taken.
            n.m[r][c] = length > 0.0f ? row[c] / length : 0.0f;
        }
    }
    return n;
}

bool OutsideUnit(float v) {
    return v < 0.99999f || v > 1.00001f;
}

}  // namespace

void DecomposeFrameTransform(const ReadModelFrame* readFrame, ModelFrame* frame) {
    const Mat4& t = readFrame->transform;
    if (t.m[3][0] != 0.0f || t.m[3][1] != 0.0f || t.m[3][2] != 0.0f) {
        frame->translation = Vec3{t.m[3][0], t.m[3][1], t.m[3][2]};
    }
    const Mat4 normalised = Normalised(t);
    Mat4 scale = t;
    if (!IsIdentity3x3(normalised)) {
        Mat4 rotation;
        Vec3 angles{0.0f, 0.0f, 0.0f};
        int order = -1;
        for (const OrderTry& k : kOrders) {
            k.from(&normalised, &angles.x, &angles.y, &angles.z);
            k.to(&rotation, angles.x, angles.y, angles.z);
            if (Same3x3(rotation, normalised)) {
                order = k.order;
                break;
            }
        }
        if (order == -1) {
            order = 0;
            EulerFromMatXYZ(&normalised, &angles.x, &angles.y, &angles.z);
            MatFromEulerXYZ(&rotation, angles.x, angles.y, angles.z);
        }
        frame->rotation = angles;
        frame->rotationOrder = order;
        Mat4 inverse;
        MatIdentity(&inverse);
        MatInverted(&inverse, &rotation);
        MatMul(&scale, &t, &inverse);
    }
    if (OutsideUnit(scale.m[0][0]) || OutsideUnit(scale.m[1][1]) || OutsideUnit(scale.m[2][2])) {
        frame->scale = Vec3{scale.m[0][0], scale.m[1][1], scale.m[2][2]};
    }
}

}  // namespace tessel
