// The 2x2 minors of a 4x4 matrix's top two and bottom two rows, in double,
// from which every cofactor of its inverse follows with few products
// (Laplace expansion by pairs of rows). Shared by the inverses that must give
// the same bits: each minor and the determinant are worked in one order.
#pragma once

#include "foundation/math/matrix.h"

namespace tessel {

struct RowPairMinors {
    double a[4][4];                 // the matrix in double
    double s0, s1, s2, s3, s4, s5;  // of rows 0 and 1
    double c0, c1, c2, c3, c4, c5;  // of rows 2 and 3
    double det;
};

inline RowPairMinors MinorsByRowPairs(const Mat4& in) {
    RowPairMinors m;
    double(&a)[4][4] = m.a;
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            a[row][col] = in.m[row][col];
        }
    }
    m.s0 = a[0][0] * a[1][1] - a[1][0] * a[0][1];
    m.s1 = a[0][0] * a[1][2] - a[1][0] * a[0][2];
    m.s2 = a[0][0] * a[1][3] - a[1][0] * a[0][3];
    m.s3 = a[0][1] * a[1][2] - a[1][1] * a[0][2];
    m.s4 = a[0][1] * a[1][3] - a[1][1] * a[0][3];
    m.s5 = a[0][2] * a[1][3] - a[1][2] * a[0][3];
    m.c5 = a[2][2] * a[3][3] - a[3][2] * a[2][3];
    m.c4 = a[2][1] * a[3][3] - a[3][1] * a[2][3];
    m.c3 = a[2][1] * a[3][2] - a[3][1] * a[2][2];
    m.c2 = a[2][0] * a[3][3] - a[3][0] * a[2][3];
    m.c1 = a[2][0] * a[3][2] - a[3][0] * a[2][2];
    m.c0 = a[2][0] * a[3][1] - a[3][0] * a[2][1];
    m.det = m.s0 * m.c5 - m.s1 * m.c4 + m.s2 * m.c3 + m.s3 * m.c2 - m.s4 * m.c1 + m.s5 * m.c0;
    return m;
}

// MatInverted's refusal: a determinant this near 0.
inline bool NearlySingular(double det) {
    return det > -1e-7 && det < 1e-7;
}

}  // namespace tessel
