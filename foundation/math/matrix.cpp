// The library's matrix calls: identities, products (summed in double so
// each element is rounded once), scaling, translation, rotations about one
// axis or an arbitrary one, projections and views, and Euler angles in each
// of the six axis orders both ways. The order's table below says where each
// order reads its angles, with a separate route for the gimbal case.
// Not here: vectors' own arithmetic beyond what a matrix call needs.
#include "foundation/math/matrix.h"
#include "foundation/math/matrix_minors.h"

#include <cmath>

#include "foundation/base/numbers.h"

namespace tessel {
namespace {

constexpr float kHalfPi = 1.5707963267948966f;

int g_screenWidth = 0;
int g_screenHeight = 0;

Mat4 Zero() {
    return Mat4{};
}

Mat4 Identity() {
    Mat4 m{};
    for (int i = 0; i < 4; ++i) {
        m.m[i][i] = 1.0f;
    }
    return m;
}

// Sums are kept in double so that a product carries one rounding per element.
Mat4 Product(const Mat4& a, const Mat4& b) {
    Mat4 r;
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) {
                sum += static_cast<double>(a.m[row][k]) * b.m[k][col];
            }
            r.m[row][col] = static_cast<float>(sum);
        }
    }
    return r;
}

float ResolveAspect(float aspect) {
    if (aspect >= 0.0f) {
        return aspect;
    }
    const int width = g_screenWidth != 0 ? g_screenWidth : 640;
    const int height = g_screenHeight != 0 ? g_screenHeight : 480;
    return static_cast<float>(height) / static_cast<float>(width);
}

// A rotation in the plane of axes a and b, turning a towards b: cosines on
// (a, a) and (b, b), the sine on (a, b) and its negation on (b, a).
Mat4 PlaneRotation(float angle, int a, int b) {
    float s;
    float c;
    SinCos(angle, &s, &c);
    Mat4 m = Identity();
    m.m[a][a] = c;
    m.m[a][b] = s;
    m.m[b][a] = -s;
    m.m[b][b] = c;
    return m;
}

Mat4 RotX(float angle) {
    return PlaneRotation(angle, 1, 2);
}

Mat4 RotY(float angle) {
    return PlaneRotation(angle, 2, 0);
}

Mat4 RotZ(float angle) {
    return PlaneRotation(angle, 0, 1);
}

Mat4 RotAbout(char axis, float x, float y, float z) {
    switch (axis) {
        case 'X':
            return RotX(x);
        case 'Y':
            return RotY(y);
        default:
            return RotZ(z);
    }
}

int FromEuler(Mat4* out, const char* order, float x, float y, float z) {
    const Mat4 first = RotAbout(order[0], x, y, z);
    const Mat4 second = RotAbout(order[1], x, y, z);
    const Mat4 third = RotAbout(order[2], x, y, z);
    *out = Product(Product(first, second), third);
    return 0;
}

// Where each order finds its angles. The middle angle's sine is the key
// element (sign included); its cosine is one element divided by cos(last), or
// another divided by sin(last) when cos(last) is nearly 0. The first and last
// angles are atan2 of a pair of elements, each possibly negated; the gimbal
// case (first angle 0) finds the last angle from a pair of its own.
struct ElementRef {
    int row, col;
    double sign;
};

struct EulerScheme {
    char first, middle, last;
    ElementRef key;
    ElementRef firstSin, firstCos;
    ElementRef lastSin, lastCos;
    ElementRef middleCosOverLastCos, middleCosOverLastSin;
    ElementRef gimbalLastSin, gimbalLastCos;
};

double Element(const Mat4* m, ElementRef e) {
    return e.sign * m->m[e.row][e.col];
}

bool IsGimbal(float key) {
    return (key >= 0.99999f && key <= 1.000001f) || (key >= -1.000001f && key <= -0.99999f);
}

void StoreAngle(char axis, float value, float* x, float* y, float* z) {
    float* target = axis == 'X' ? x : (axis == 'Y' ? y : z);
    if (target != nullptr) {
        *target = value;
    }
}

int ToEuler(const Mat4* m, const EulerScheme& s, float* x, float* y, float* z) {
    const double middleSin = Element(m, s.key);
    if (IsGimbal(m->m[s.key.row][s.key.col])) {
        StoreAngle(s.first, 0.0f, x, y, z);
        StoreAngle(s.middle, middleSin > 0.5 ? kHalfPi : -kHalfPi, x, y, z);
        const double last = std::atan2(Element(m, s.gimbalLastSin), Element(m, s.gimbalLastCos));
        StoreAngle(s.last, static_cast<float>(last), x, y, z);
        return -1;
    }
    const double first = std::atan2(Element(m, s.firstSin), Element(m, s.firstCos));
    const double last = std::atan2(Element(m, s.lastSin), Element(m, s.lastCos));
    const double lastCos = std::cos(last);
    const double middleCos = std::fabs(lastCos) < 1e-6
                                 ? Element(m, s.middleCosOverLastSin) / std::sin(last)
                                 : Element(m, s.middleCosOverLastCos) / lastCos;
    const double middle = std::atan2(middleSin, middleCos);
    StoreAngle(s.first, static_cast<float>(first), x, y, z);
    StoreAngle(s.middle, static_cast<float>(middle), x, y, z);
    StoreAngle(s.last, static_cast<float>(last), x, y, z);
    return 0;
}

// Read off the six products RotA x RotB x RotC of the single-axis rotations.
// Columns: the axes in order; the key element; the first angle's sine and
// cosine; the last angle's sine and cosine; the middle cosine times cos(last)
// and times sin(last); the last angle's sine and cosine in the gimbal case.
// clang-format off
constexpr EulerScheme kXYZ = {'X', 'Y', 'Z', {0, 2, -1},
    {1, 2, 1}, {2, 2, 1},  {0, 1, 1}, {0, 0, 1},  {0, 0, 1}, {0, 1, 1},  {1, 0, -1}, {1, 1, 1}};
constexpr EulerScheme kXZY = {'X', 'Z', 'Y', {0, 1, 1},
    {2, 1, -1}, {1, 1, 1}, {0, 2, -1}, {0, 0, 1}, {0, 0, 1}, {0, 2, -1}, {2, 0, 1},  {2, 2, 1}};
constexpr EulerScheme kYXZ = {'Y', 'X', 'Z', {1, 2, 1},
    {0, 2, -1}, {2, 2, 1}, {1, 0, -1}, {1, 1, 1}, {1, 1, 1}, {1, 0, -1}, {0, 1, 1},  {0, 0, 1}};
constexpr EulerScheme kYZX = {'Y', 'Z', 'X', {1, 0, -1},
    {2, 0, 1}, {0, 0, 1},  {1, 2, 1}, {1, 1, 1},  {1, 1, 1}, {1, 2, 1},  {2, 1, -1}, {2, 2, 1}};
constexpr EulerScheme kZXY = {'Z', 'X', 'Y', {2, 1, -1},
    {0, 1, 1}, {1, 1, 1},  {2, 0, 1}, {2, 2, 1},  {2, 2, 1}, {2, 0, 1},  {0, 2, -1}, {0, 0, 1}};
constexpr EulerScheme kZYX = {'Z', 'Y', 'X', {2, 0, 1},
    {1, 0, -1}, {0, 0, 1}, {2, 1, -1}, {2, 2, 1}, {2, 2, 1}, {2, 1, -1}, {1, 2, 1},  {1, 1, 1}};
// clang-format on

}  // namespace

void SetProjectionScreenSize(int width, int height) {
    g_screenWidth = width;
    g_screenHeight = height;
}

int MatIdentity(Mat4* out) {
    *out = Identity();
    return 0;
}

int MatMul(Mat4* out, const Mat4* a, const Mat4* b) {
    if (out == nullptr) {
        return 0;
    }
    *out = Product(*a, *b);
    return 0;
}

Mat4 MatMulByValue(Mat4 a, Mat4 b) {
    return Product(a, b);
}

Mat4* MatMulByValue(Mat4* out, Mat4 a, Mat4 b) {
    *out = Product(a, b);
    return out;
}

int MatScale(Mat4* out, float sx, float sy, float sz) {
    *out = Identity();
    out->m[0][0] = sx;
    out->m[1][1] = sy;
    out->m[2][2] = sz;
    return 0;
}

int MatTranslate(Mat4* out, float x, float y, float z) {
    *out = Identity();
    out->m[3][0] = x;
    out->m[3][1] = y;
    out->m[3][2] = z;
    return 0;
}

int MatRotX(Mat4* out, float angle) {
    *out = RotX(angle);
    return 0;
}

int MatRotY(Mat4* out, float angle) {
    *out = RotY(angle);
    return 0;
}

int MatRotZ(Mat4* out, float angle) {
    *out = RotZ(angle);
    return 0;
}

Mat4 MatRotZByValue(float angle) {
    return RotZ(angle);
}

Mat4* MatRotZByValue(Mat4* out, float angle) {
    *out = RotZ(angle);
    return out;
}

int MatTransposed(Mat4* out, const Mat4* in) {
    Mat4 r;
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            r.m[row][col] = in->m[col][row];
        }
    }
    *out = r;
    return 0;
}

int MatInverted(Mat4* out, const Mat4* in) {
    const RowPairMinors m = MinorsByRowPairs(*in);
    if (NearlySingular(m.det)) {
        return -1;
    }
    const double(&a)[4][4] = m.a;
    const double s0 = m.s0, s1 = m.s1, s2 = m.s2, s3 = m.s3, s4 = m.s4, s5 = m.s5;
    const double c0 = m.c0, c1 = m.c1, c2 = m.c2, c3 = m.c3, c4 = m.c4, c5 = m.c5;
    const double det = m.det;
    const double inv = 1.0 / det;
    double r[4][4];
    r[0][0] = (a[1][1] * c5 - a[1][2] * c4 + a[1][3] * c3) * inv;
    r[0][1] = (-a[0][1] * c5 + a[0][2] * c4 - a[0][3] * c3) * inv;
    r[0][2] = (a[3][1] * s5 - a[3][2] * s4 + a[3][3] * s3) * inv;
    r[0][3] = (-a[2][1] * s5 + a[2][2] * s4 - a[2][3] * s3) * inv;
    r[1][0] = (-a[1][0] * c5 + a[1][2] * c2 - a[1][3] * c1) * inv;
    r[1][1] = (a[0][0] * c5 - a[0][2] * c2 + a[0][3] * c1) * inv;
    r[1][2] = (-a[3][0] * s5 + a[3][2] * s2 - a[3][3] * s1) * inv;
    r[1][3] = (a[2][0] * s5 - a[2][2] * s2 + a[2][3] * s1) * inv;
    r[2][0] = (a[1][0] * c4 - a[1][1] * c2 + a[1][3] * c0) * inv;
    r[2][1] = (-a[0][0] * c4 + a[0][1] * c2 - a[0][3] * c0) * inv;
    r[2][2] = (a[3][0] * s4 - a[3][1] * s2 + a[3][3] * s0) * inv;
    r[2][3] = (-a[2][0] * s4 + a[2][1] * s2 - a[2][3] * s0) * inv;
    r[3][0] = (-a[1][0] * c3 + a[1][1] * c1 - a[1][2] * c0) * inv;
    r[3][1] = (a[0][0] * c3 - a[0][1] * c1 + a[0][2] * c0) * inv;
    r[3][2] = (-a[3][0] * s3 + a[3][1] * s1 - a[3][2] * s0) * inv;
    r[3][3] = (a[2][0] * s3 - a[2][1] * s1 + a[2][2] * s0) * inv;
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            out->m[row][col] = static_cast<float>(r[row][col]);
        }
    }
    return 0;
}

int MatPerspective(Mat4* out, float fov, float nearZ, float farZ, float aspect) {
    aspect = ResolveAspect(aspect);
    float s;
    float c;
    SinCos(fov * 0.5f, &s, &c);
    if (std::fabs(farZ - nearZ) < 0.0001f || std::fabs(s) < 0.0001f) {
        return -1;
    }
    Mat4 r = Zero();
    r.m[0][0] = aspect * c / s;
    r.m[1][1] = c / s;
    r.m[2][2] = farZ / (farZ - nearZ);
    r.m[3][2] = -r.m[2][2] * nearZ;
    r.m[2][3] = 1.0f;
    *out = r;
    return 0;
}

int MatOrtho(Mat4* out, float viewHeight, float nearZ, float farZ, float aspect) {
    aspect = ResolveAspect(aspect);
    // A zero aspect or height would put an infinity or a flat axis into the
    // projection; refuse them like coinciding planes.
    if (std::fabs(nearZ - farZ) < 0.0001f || aspect == 0.0f || viewHeight == 0.0f) {
        return -1;
    }
    Mat4 r = Zero();
    r.m[0][0] = 2.0f / (viewHeight / aspect);
    r.m[1][1] = 2.0f / viewHeight;
    r.m[2][2] = 1.0f / (farZ - nearZ);
    r.m[3][2] = nearZ / (nearZ - farZ);
    r.m[3][3] = 1.0f;
    *out = r;
    return 0;
}

int MatViewport(Mat4* out, float x, float y, float width, float height) {
    Mat4 r = Zero();
    r.m[0][0] = width / 2.0f;
    r.m[1][1] = -height / 2.0f;
    r.m[2][2] = 1.0f;
    r.m[3][0] = x;
    r.m[3][1] = y;
    r.m[3][3] = 1.0f;
    *out = r;
    return 0;
}

Mat4 MatFromAxes(Vec3 xAxis, Vec3 yAxis, Vec3 zAxis, Vec3 position) {
    const Vec3 rows[4] = {xAxis, yAxis, zAxis, position};
    Mat4 r;
    for (int row = 0; row < 4; ++row) {
        r.m[row][0] = rows[row].x;
        r.m[row][1] = rows[row].y;
        r.m[row][2] = rows[row].z;
        r.m[row][3] = row == 3 ? 1.0f : 0.0f;
    }
    return r;
}

Mat4* MatFromAxes(Mat4* out, Vec3 xAxis, Vec3 yAxis, Vec3 zAxis, Vec3 position) {
    *out = MatFromAxes(xAxis, yAxis, zAxis, position);
    return out;
}

int LookAtMatrix(Mat4* out, const Vec3* eye, const Vec3* target, const Vec3* up) {
    Vec3 d;
    Vec3 right;
    Vec3 trueUp;
    Vec3Minus(&d, target, eye);
    Vec3Cross(&right, up, &d);
    Vec3Cross(&trueUp, &d, &right);
    Vec3Normalise(&d, &d);
    Vec3Normalise(&right, &right);
    Vec3Normalise(&trueUp, &trueUp);
    const Vec3 columns[3] = {right, trueUp, d};
    Mat4 r = Zero();
    for (int col = 0; col < 3; ++col) {
        r.m[0][col] = columns[col].x;
        r.m[1][col] = columns[col].y;
        r.m[2][col] = columns[col].z;
        r.m[3][col] = -Vec3Dot(eye, &columns[col]);
    }
    r.m[3][3] = 1.0f;
    *out = r;
    return 0;
}

int MatFromEulerXYZ(Mat4* out, float x, float y, float z) {
    return FromEuler(out, "XYZ", x, y, z);
}

int MatFromEulerXZY(Mat4* out, float x, float y, float z) {
    return FromEuler(out, "XZY", x, y, z);
}

int MatFromEulerYXZ(Mat4* out, float x, float y, float z) {
    return FromEuler(out, "YXZ", x, y, z);
}

int MatFromEulerYZX(Mat4* out, float x, float y, float z) {
    return FromEuler(out, "YZX", x, y, z);
}

int MatFromEulerZXY(Mat4* out, float x, float y, float z) {
    return FromEuler(out, "ZXY", x, y, z);
}

int MatFromEulerZYX(Mat4* out, float x, float y, float z) {
    return FromEuler(out, "ZYX", x, y, z);
}

int EulerFromMatXYZ(const Mat4* m, float* x, float* y, float* z) {
    return ToEuler(m, kXYZ, x, y, z);
}

int EulerFromMatXZY(const Mat4* m, float* x, float* y, float* z) {
    return ToEuler(m, kXZY, x, y, z);
}

int EulerFromMatYXZ(const Mat4* m, float* x, float* y, float* z) {
    return ToEuler(m, kYXZ, x, y, z);
}

int EulerFromMatYZX(const Mat4* m, float* x, float* y, float* z) {
    return ToEuler(m, kYZX, x, y, z);
}

int EulerFromMatZXY(const Mat4* m, float* x, float* y, float* z) {
    return ToEuler(m, kZXY, x, y, z);
}

int EulerFromMatZYX(const Mat4* m, float* x, float* y, float* z) {
    return ToEuler(m, kZYX, x, y, z);
}

int Vec3Plus(Vec3* out, const Vec3* a, const Vec3* b) {
    *out = Vec3{a->x + b->x, a->y + b->y, a->z + b->z};
    return 0;
}

int Vec3Minus(Vec3* out, const Vec3* a, const Vec3* b) {
    *out = Vec3{a->x - b->x, a->y - b->y, a->z - b->z};
    return 0;
}

int Vec3Cross(Vec3* out, const Vec3* a, const Vec3* b) {
    const double ax = a->x, ay = a->y, az = a->z;
    const double bx = b->x, by = b->y, bz = b->z;
    *out = Vec3{static_cast<float>(ay * bz - az * by), static_cast<float>(az * bx - ax * bz),
                static_cast<float>(ax * by - ay * bx)};
    return 0;
}

float Vec3Dot(const Vec3* a, const Vec3* b) {
    const double sum = static_cast<double>(a->x) * b->x + static_cast<double>(a->y) * b->y +
                       static_cast<double>(a->z) * b->z;
    return static_cast<float>(sum);
}

int Vec3Normalise(Vec3* out, const Vec3* v) {
    const double x = v->x, y = v->y, z = v->z;
    const double length = std::sqrt(x * x + y * y + z * z);
    *out = Vec3{static_cast<float>(x / length), static_cast<float>(y / length),
                static_cast<float>(z / length)};
    return 0;
}

Vec3 Vec3Normalised(float x, float y, float z) {
    const Vec3 v{x, y, z};
    Vec3 r;
    Vec3Normalise(&r, &v);
    return r;
}

Vec3* Vec3Normalised(Vec3* out, float x, float y, float z) {
    *out = Vec3Normalised(x, y, z);
    return out;
}

float Vec3Length(float x, float y, float z) {
    const double squared =
        static_cast<double>(x) * x + static_cast<double>(y) * y + static_cast<double>(z) * z;
    if (squared < 1e-7) {
        return 0.0f;
    }
    return static_cast<float>(std::sqrt(squared));
}

int Vec3TransformAffine(Vec3* out, const Vec3* point, const Mat4* m) {
    const double p[3] = {point->x, point->y, point->z};
    float r[3];
    for (int col = 0; col < 3; ++col) {
        r[col] = static_cast<float>(p[0] * m->m[0][col] + p[1] * m->m[1][col] +
                                    p[2] * m->m[2][col] + m->m[3][col]);
    }
    *out = Vec3{r[0], r[1], r[2]};
    return 0;
}

int Vec3TransformFull(Vec3* out, float* wOut, const Vec3* point, float wIn, const Mat4* m) {
    const double p[4] = {point->x, point->y, point->z, wIn};
    float r[4];
    for (int col = 0; col < 4; ++col) {
        r[col] = static_cast<float>(p[0] * m->m[0][col] + p[1] * m->m[1][col] +
                                    p[2] * m->m[2][col] + p[3] * m->m[3][col]);
    }
    *out = Vec3{r[0], r[1], r[2]};
    if (wOut != nullptr) {
        *wOut = r[3];
    }
    return 0;
}

namespace {

LONG Clamp(LONG v, LONG low, LONG high) {
    if (v > high) {
        return high;
    }
    if (v < low) {
        return low;
    }
    return v;
}

}  // namespace

int ClipRectInPlace(RECT* r, const RECT* clip) {
    if (r->right < r->left) {
        r->right = r->left;
    }
    if (r->bottom < r->top) {
        r->bottom = r->top;
    }
    r->bottom = Clamp(r->bottom, clip->top, clip->bottom);
    r->top = Clamp(r->top, clip->top, clip->bottom);
    r->right = Clamp(r->right, clip->left, clip->right);
    r->left = Clamp(r->left, clip->left, clip->right);
    return 0;
}

}  // namespace tessel
