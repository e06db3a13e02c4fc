// The rotated blit's set-up: sines and cosines in 14.18, the turned corners,
// the box and the start of the walk. Every product and quotient of floats is
// rounded to float before the next step and every conversion to an integer
// truncates toward zero; this translation unit builds with -ffp-contract=off
// like every other, so the numbers are the same in every build.
#include <limits>

#include "foundation/base/numbers.h"
#include "softrender/rotate_internal.h"

namespace tessel::soft {

namespace {

constexpr float kFixScale = 262144.0f;

bool FitsInt32(int64_t v) {
    return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

// A float offset from the centre in 14.18: the conversion's out-of-range
// value (INT32_MIN) stands for 8192 or more pixels and is refused.
bool Offset(float value, int32_t* out) {
    *out = TruncFloatToInt(value);
    return *out != std::numeric_limits<int32_t>::min();
}

// The integer rounded once to double, divided, then rounded to float.
int32_t DivideByScale(int32_t value, float scale) {
    const double q = static_cast<double>(value) / static_cast<double>(scale);
    return TruncFloatToInt(static_cast<float>(q));
}

// 14.18 whole pixels, truncated toward zero.
int32_t WholePixels(int64_t v) {
    return static_cast<int32_t>(v / kFixOne);
}

}  // namespace

RotateFrame TurnSource(int32_t width, int32_t height, int32_t centreX, int32_t centreY, float angle,
                       float scale) {
    RotateFrame f{};
    // The extended-precision sine is odd and the cosine even to the last bit
    // (and so is the rounding to float), so -angle's pair comes from angle's
    // without a second evaluation, a tenth of a small sprite's draw.
    float sine = 0, cosine = 0;
    SinCos(angle, &sine, &cosine);
    f.sn = TruncFloatToInt(-sine * kFixScale);
    f.cn = TruncFloatToInt(cosine * kFixScale);
    f.sp = TruncFloatToInt(sine * kFixScale);
    f.cp = TruncFloatToInt(cosine * kFixScale);

    const float hw = static_cast<float>(static_cast<uint32_t>(width)) * scale * 0.5f;
    const float hh = static_cast<float>(static_cast<uint32_t>(height)) * scale * 0.5f;
    const float p1 = hw * static_cast<float>(f.cp);
    const float p2 = hw * static_cast<float>(f.sp);
    const float p3 = hh * static_cast<float>(f.cp);
    const float p4 = hh * static_cast<float>(f.sp);
    // (+-hw, +-hh) turned: x' = x cos - y sin, y' = x sin + y cos.
    const float offsetX[4] = {-p1 + p4, -p1 - p4, p1 - p4, p1 + p4};
    const float offsetY[4] = {-p3 - p2, p3 - p2, p3 + p2, -p3 + p2};
    const int64_t baseX = int64_t{centreX} * kFixOne;
    const int64_t baseY = int64_t{centreY} * kFixOne;
    f.fits = true;
    for (int k = 0; k < 4; ++k) {
        int32_t dx = 0, dy = 0;
        const bool near = Offset(offsetX[k], &dx) && Offset(offsetY[k], &dy);
        f.fits = f.fits && near;
        f.x[k] = baseX + dx;
        f.y[k] = baseY + dy;
    }
    return f;
}

RECT RotateBox(const RotateFrame& f) {
    int32_t minX = WholePixels(f.x[0]), maxX = minX;
    int32_t minY = WholePixels(f.y[0]), maxY = minY;
    for (int k = 1; k < 4; ++k) {
        const int32_t x = WholePixels(f.x[k]), y = WholePixels(f.y[k]);
        minX = x < minX ? x : minX;
        maxX = x > maxX ? x : maxX;
        minY = y < minY ? y : minY;
        maxY = y > maxY ? y : maxY;
    }
    return RECT{minX - 2, minY - 2, maxX + 4, maxY + 4};
}

bool StartWalk(const RotateFrame& f, const RECT& clipped, int32_t width, int32_t height,
               int32_t centreX, int32_t centreY, float scale, RotateWalk* out) {
    RotateWalk& w = *out;
    w = RotateWalk{};
    w.left = clipped.left;
    w.top = clipped.top;
    w.columns = clipped.right - clipped.left;
    w.rows = clipped.bottom - clipped.top;
    const int64_t ox = int64_t{clipped.left} - centreX;
    const int64_t oy = int64_t{clipped.top} - centreY;
    const int64_t oyBelow = int64_t{clipped.bottom} - centreY;
    const int64_t uTop = ox * f.cn - oy * f.sn;
    const int64_t vTop = oy * f.cn + ox * f.sn;
    const int64_t uBelow = ox * f.cn - oyBelow * f.sn;
    const int64_t vBelow = oyBelow * f.cn + ox * f.sn;
    if (!FitsInt32(uTop) || !FitsInt32(vTop) || !FitsInt32(uBelow) || !FitsInt32(vBelow)) {
        return false;
    }
    // The source's centre pixel, halved unsigned.
    const uint32_t centreU = (static_cast<uint32_t>(width) >> 1) << kFixBits;
    const uint32_t centreV = (static_cast<uint32_t>(height) >> 1) << kFixBits;
    w.ua = static_cast<uint32_t>(DivideByScale(static_cast<int32_t>(uTop), scale)) + centreU;
    w.va = static_cast<uint32_t>(DivideByScale(static_cast<int32_t>(vTop), scale)) + centreV;
    const uint32_t ub =
        static_cast<uint32_t>(DivideByScale(static_cast<int32_t>(uBelow), scale)) + centreU;
    const uint32_t vb =
        static_cast<uint32_t>(DivideByScale(static_cast<int32_t>(vBelow), scale)) + centreV;
    w.ux = static_cast<uint32_t>(TruncFloatToInt(static_cast<float>(f.cp) / scale));
    w.vx = static_cast<uint32_t>(TruncFloatToInt(static_cast<float>(f.sn) / scale));
    w.uy = static_cast<uint32_t>(static_cast<int32_t>(ub - w.ua) / w.rows);
    w.vy = static_cast<uint32_t>(static_cast<int32_t>(vb - w.va) / w.rows);
    w.uLimit = static_cast<uint32_t>(width) << kFixBits;
    w.vLimit = static_cast<uint32_t>(height) << kFixBits;
    return true;
}

}  // namespace tessel::soft
