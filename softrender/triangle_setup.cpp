// The triangle's set-up: range test, conversion to 14.18 with the half-pixel
// offset, the x and y orders, the texture gradients (in double, rounded as
// stated) and the two sides. This translation unit builds with
// -ffp-contract=off like every other, so the gradients and the side test are
// the same in every build.
#include <utility>

#include "foundation/base/numbers.h"
#include "softrender/triangle_walk.h"

namespace tessel::soft {

namespace {

constexpr int32_t kLowest = -8192;
constexpr int32_t kHighest = 8191;

bool InRange(int64_t v) {
    return v >= kLowest && v <= kHighest;
}

// Every coordinate and every difference of two vertices' x or y must fit, so
// that each 14.18 value and difference does.
bool FitsFixedPoint(const MemImgTriVertex* v) {
    for (int i = 0; i < 3; ++i) {
        if (!InRange(v[i].x) || !InRange(v[i].y) || !InRange(v[i].u) || !InRange(v[i].v)) {
            return false;
        }
        for (int j = 0; j < 3; ++j) {
            if (!InRange(int64_t{v[i].x} - v[j].x) || !InRange(int64_t{v[i].y} - v[j].y)) {
                return false;
            }
        }
    }
    return true;
}

// Index lists ordered by key with the exchanges of a plain selection pass:
// equal keys are never exchanged.
void Order(const int32_t* key, int order[3]) {
    order[0] = 0;
    order[1] = 1;
    order[2] = 2;
    for (int i = 0; i < 2; ++i) {
        for (int j = i + 1; j < 3; ++j) {
            if (key[order[j]] < key[order[i]]) {
                std::swap(order[i], order[j]);
            }
        }
    }
}

// numerator x 2^18 / d truncated; false when it does not fit in 32 bits.
bool Gradient(int32_t numerator, int32_t d, uint32_t* out) {
    const double q = static_cast<double>(numerator) * 262144.0 / static_cast<double>(d);
    if (!(q > -2147483649.0 && q < 2147483648.0)) {
        return false;
    }
    *out = static_cast<uint32_t>(TruncDoubleToInt(q));
    return true;
}

// From P, the first vertex in x order, toward Q and S; false when the three
// are collinear.
bool Plane(const MemImgTriVertex* v, const int xo[3], TriPlane* out) {
    const MemImgTriVertex& p = v[xo[0]];
    const MemImgTriVertex& q = v[xo[1]];
    const MemImgTriVertex& s = v[xo[2]];
    const int32_t dx1 = q.x - p.x, dy1 = q.y - p.y, du1 = q.u - p.u, dv1 = q.v - p.v;
    const int32_t dx2 = s.x - p.x, dy2 = s.y - p.y, du2 = s.u - p.u, dv2 = s.v - p.v;
    const int32_t d = dy1 * dx2 - dy2 * dx1;
    if (d == 0) {
        return false;
    }
    TriPlane& plane = *out;
    plane = TriPlane{};
    plane.x0 = p.x;  // the floor of x x 2^18 + 2^17
    plane.y0 = p.y;
    plane.u0 = static_cast<uint32_t>(p.u) << kFixBits;
    plane.v0 = static_cast<uint32_t>(p.v) << kFixBits;
    plane.fits = Gradient(dy1 * du2 - dy2 * du1, d, &plane.ux) &&
                 Gradient(du1 * dx2 - dx1 * du2, d, &plane.uy) &&
                 Gradient(dy1 * dv2 - dy2 * dv1, d, &plane.vx) &&
                 Gradient(dv1 * dx2 - dv2 * dx1, d, &plane.vy);
    return true;
}

TriSide OneSegment(int32_t x, int32_t toX, int32_t rows) {
    return TriSide{x, (toX - x) / rows, rows, true, 0, 0, 0, 0};
}

TriSide TwoSegments(int32_t x, int32_t midX, int32_t rows, int32_t secondX, int32_t toX,
                    int32_t secondRows, int32_t secondRow) {
    return TriSide{x,          (midX - x) / rows, rows,
                   false,      secondX,           (toX - secondX) / secondRows,
                   secondRows, secondRow};
}

}  // namespace

bool SetUpTriangle(const MemImgTriVertex* v, TriGeometry* out) {
    if (!FitsFixedPoint(v)) {
        return false;
    }
    int32_t X[3], Y[3];
    for (int i = 0; i < 3; ++i) {
        X[i] = v[i].x * kFixOne + kFixOne / 2;
        Y[i] = v[i].y * kFixOne + kFixOne / 2;
    }
    int xo[3], yo[3];
    Order(X, xo);
    Order(Y, yo);
    if (!Plane(v, xo, &out->plane)) {
        return false;
    }

    const int t = yo[0], m = yo[1], b = yo[2];
    const int32_t rowsTB = v[b].y - v[t].y;
    const int32_t rowsTM = v[m].y - v[t].y;
    const int32_t rowsMB = v[b].y - v[m].y;
    if (Y[t] == Y[m]) {
        const int l = X[t] <= X[m] ? t : m;
        const int r = l == t ? m : t;
        out->left = OneSegment(X[l], X[b], rowsTB);
        out->right = OneSegment(X[r], X[b], rowsTB);
        out->firstRow = FixFloor(Y[l]);
        return true;
    }
    out->firstRow = FixFloor(Y[t]);
    if (Y[m] == Y[b]) {
        const int l = X[m] <= X[b] ? m : b;
        const int r = l == m ? b : m;
        out->left = OneSegment(X[t], X[l], rowsTB);
        out->right = OneSegment(X[t], X[r], rowsTB);
        return true;
    }
    // The long side's and the upper short side's x change per row, in double.
    const double perRow = 1.0 / 262144.0;
    const double slopeLong =
        static_cast<double>(X[b] - X[t]) / (static_cast<double>(Y[b] - Y[t]) * perRow);
    const double slopeShort =
        static_cast<double>(X[m] - X[t]) / (static_cast<double>(Y[m] - Y[t]) * perRow);
    if (slopeLong <= slopeShort) {
        // The middle vertex lies right of the long side; the right side's
        // second segment starts one 2^-18 of a pixel right of it.
        out->left = OneSegment(X[t], X[b], rowsTB);
        out->right = TwoSegments(X[t], X[m], rowsTM, X[m] + 1, X[b], rowsMB, 0);
    } else {
        out->left = TwoSegments(X[t], X[m], rowsTM, X[m], X[b], rowsMB, FixFloor(Y[m]));
        out->right = OneSegment(X[t], X[b], rowsTB);
    }
    return true;
}

}  // namespace tessel::soft
