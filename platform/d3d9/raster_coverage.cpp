// Which pixels a primitive covers and what it carries to them: screen vertices with their
// attributes, a triangle's snapped edges and attribute planes (SetupTriangle), the columns of
// one of its rows (TriangleSpan), and the pixels of points and lines.
#include "platform/d3d9/raster_draw_internal.h"

#include <algorithm>
#include <cmath>

namespace platform::raster_internal {

void ColourToAttrs(uint32_t argb, double* out) {
    out[0] = (argb >> 16) & 255;
    out[1] = (argb >> 8) & 255;
    out[2] = argb & 255;
    out[3] = argb >> 24;
}

void VertexAttrs(const RasterVertex& v, double* attr) {
    attr[kAttrZ] = v.z;
    attr[kAttrRhw] = v.rhw;
    ColourToAttrs(v.diffuse, attr + kAttrDiffuse);
    ColourToAttrs(v.specular, attr + kAttrSpecular);
    for (int set = 0; set < kRasterTexCoordSets; ++set) {
        attr[kAttrTex + 2 * set] = v.tex[set][0];
        attr[kAttrTex + 2 * set + 1] = v.tex[set][1];
        attr[kAttrTexQ + set] = v.texQ[set];
    }
}

void ScreenFromRaster(const RasterVertex& v, ScreenVertex* s) {
    s->x = v.x;
    s->y = v.y;
    VertexAttrs(v, s->attr);
}

ScreenVertex ScreenFromRaster(const RasterVertex& v) {
    ScreenVertex s;
    ScreenFromRaster(v, &s);
    return s;
}

// Sets up a triangle; false when it is culled, degenerate or outside the guard band.
bool SetupTriangle(const DrawSetup& s, const ScreenVertex* in[3], uint32_t flatDiffuse,
                   uint32_t flatSpecular, Triangle* t) {
    for (int i = 0; i < 3; ++i) {
        if (!InGuardBand(*in[i]))
            return false;
    }
    int64_t X[3], Y[3];
    for (int i = 0; i < 3; ++i) {
        X[i] = Snap(in[i]->x);
        Y[i] = Snap(in[i]->y);
    }
    int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
    if (area == 0)
        return false;
    // area > 0: clockwise on the screen (y grows downward).
    if (s.cull == kCullCw && area > 0)
        return false;
    if (s.cull == kCullCcw && area < 0)
        return false;
    const ScreenVertex* v[3] = {in[0], in[1], in[2]};
    if (area < 0) {
        std::swap(v[1], v[2]);
        std::swap(X[1], X[2]);
        std::swap(Y[1], Y[2]);
    }
    int64_t minY = std::min({Y[0], Y[1], Y[2]});
    int64_t maxY = std::max({Y[0], Y[1], Y[2]});
    t->top = static_cast<int32_t>(std::max<int64_t>(CeilDiv(minY, kSubPixel), s.clip.top));
    t->bottom =
        static_cast<int32_t>(std::min<int64_t>(FloorDiv(maxY, kSubPixel), s.clip.bottom - 1));
    if (t->top > t->bottom)
        return false;
    for (int i = 0; i < 3; ++i) {
        int j = (i + 1) % 3;
        Edge& e = t->edges[i];
        e.dx = X[j] - X[i];
        e.dy = Y[j] - Y[i];
        e.x0 = X[i];
        e.y0 = Y[i];
        bool topLeft = (e.dy == 0 && e.dx > 0) || e.dy < 0;
        e.bias = topLeft ? 0 : 1;
    }
    double xs[3], ys[3];
    for (int i = 0; i < 3; ++i) {
        xs[i] = static_cast<double>(X[i]) / kSubPixel;
        ys[i] = static_cast<double>(Y[i]) / kSubPixel;
    }
    double rhw0 = v[0]->attr[kAttrRhw];
    t->perspective = !(rhw0 == v[1]->attr[kAttrRhw] && rhw0 == v[2]->attr[kAttrRhw]);
    // The attributes of perspective triangles (all but depth and rhw) are read from float
    // planes only; these are made with one reciprocal of the determinant.
    const double e1x = xs[1] - xs[0], e1y = ys[1] - ys[0];
    const double e2x = xs[2] - xs[0], e2y = ys[2] - ys[0];
    const double inverseDet = 1.0 / (e1x * e2y - e2x * e1y);
    for (int k = 0; k < kAttrCount; ++k) {
        if (!s.planeUsed[k])
            continue;
        if (t->perspective && k >= kAttrDiffuse) {
            double a0 = v[0]->attr[k] * v[0]->attr[kAttrRhw];
            double d1 = v[1]->attr[k] * v[1]->attr[kAttrRhw] - a0;
            double d2 = v[2]->attr[k] * v[2]->attr[kAttrRhw] - a0;
            double pa = (d1 * e2y - d2 * e1y) * inverseDet;
            double pb = (d2 * e1x - d1 * e2x) * inverseDet;
            double pc = a0 - pa * xs[0] - pb * ys[0];
            t->fplanes[k] = {static_cast<float>(pa), static_cast<float>(pb),
                             static_cast<float>(pc)};
            continue;
        }
        t->planes[k] = MakePlane(xs, ys, v[0]->attr[k], v[1]->attr[k], v[2]->attr[k]);
        if (t->perspective) {
            const Plane& p = t->planes[k];
            t->fplanes[k] = {static_cast<float>(p.a), static_cast<float>(p.b),
                             static_cast<float>(p.c)};
        }
    }
    t->slopeBias = 0.0f;
    if (s.slopeScaleBias != 0.0f && s.planeUsed[kAttrZ]) {
        const Plane& pz = t->planes[kAttrZ];
        t->slopeBias =
            static_cast<float>(s.slopeScaleBias * std::max(std::fabs(pz.a), std::fabs(pz.b)));
    }
    t->flatDiffuse = ColorFromArgb(flatDiffuse);
    t->flatSpecular = ColorFromArgb(flatSpecular);
    t->uniformColour = true;
    if (!s.flat) {
        int last = s.program.usesSpecular ? kAttrSpecular + 4 : kAttrDiffuse + 4;
        for (int k = kAttrDiffuse; k < last; ++k) {
            t->uniformColour = t->uniformColour && v[0]->attr[k] == v[1]->attr[k] &&
                               v[0]->attr[k] == v[2]->attr[k];
        }
    }
    return true;
}

// The pixel columns of row py inside the triangle, before clipping; false when none.
bool TriangleSpan(const Triangle& t, int32_t py, int64_t* left, int64_t* right) {
    int64_t lo = INT64_MIN / 4;
    int64_t hi = INT64_MAX / 4;
    int64_t sampleY = static_cast<int64_t>(py) * kSubPixel;
    for (const Edge& e : t.edges) {
        // E(px) = dx (py - y0) - dy (px - x0) = c - dy * 256 * px
        int64_t c = e.dx * (sampleY - e.y0) + e.dy * e.x0;
        if (e.dy == 0) {
            if (c < e.bias)
                return false;
        } else if (e.dy < 0) {
            lo = std::max(lo, CeilDiv(e.bias - c, -e.dy * kSubPixel));
        } else {
            hi = std::min(hi, FloorDiv(c - e.bias, e.dy * kSubPixel));
        }
    }
    *left = lo;
    *right = hi;
    return lo <= hi;
}

// What a point or line pixel reads beside its colours: texture coordinates (projected sets
// divided by their q), the fog factor and the eye distance.
void PointExtras(const DrawSetup& s, const double* attr, PixelInputs* in) {
    for (int set = 0; set < kRasterTexCoordSets; ++set) {
        double q = s.texProjected[set] ? attr[kAttrTexQ + set] : 1.0;
        double inverse = q != 0.0 ? 1.0 / q : 0.0;
        in->u[set] = static_cast<float>(attr[kAttrTex + 2 * set] * inverse);
        in->v[set] = static_cast<float>(attr[kAttrTex + 2 * set + 1] * inverse);
    }
    in->fogAlpha = RoundChannel(attr[kAttrSpecular + 3]);
    double rhw = attr[kAttrRhw];
    in->w = static_cast<float>(rhw != 0.0 ? 1.0 / rhw : 0.0);
}

void DrawPoint(const DrawSetup& s, const ScreenVertex& v) {
    double fx = std::floor(v.x + 0.5);
    double fy = std::floor(v.y + 0.5);
    if (!(fx >= s.clip.left && fx < s.clip.right && fy >= s.clip.top && fy < s.clip.bottom))
        return;
    PixelInputs in;
    in.z = static_cast<float>(v.attr[kAttrZ]);
    in.diffuse = {RoundChannel(v.attr[kAttrDiffuse]), RoundChannel(v.attr[kAttrDiffuse + 1]),
                  RoundChannel(v.attr[kAttrDiffuse + 2]), RoundChannel(v.attr[kAttrDiffuse + 3])};
    in.specular = {RoundChannel(v.attr[kAttrSpecular]), RoundChannel(v.attr[kAttrSpecular + 1]),
                   RoundChannel(v.attr[kAttrSpecular + 2]),
                   RoundChannel(v.attr[kAttrSpecular + 3])};
    PointExtras(s, v.attr, &in);
    ShadeAndWrite(s, static_cast<int32_t>(fx), static_cast<int32_t>(fy), in);
}

void DrawLine(const DrawSetup& s, const ScreenVertex& a, const ScreenVertex& b) {
    if (!InGuardBand(a) || !InGuardBand(b))
        return;
    double dx = b.x - a.x;
    double dy = b.y - a.y;
    bool xMajor = std::fabs(dx) >= std::fabs(dy);
    double major0 = xMajor ? a.x : a.y;
    double major1 = xMajor ? b.x : b.y;
    double length = major1 - major0;
    if (length == 0.0)
        return;
    // Pixel centres c with start <= c < end along the major axis (end included with LASTPIXEL).
    double step = length > 0 ? 1.0 : -1.0;
    int64_t first, last;
    if (length > 0) {
        first = static_cast<int64_t>(std::ceil(major0 - 0.5));
        last = static_cast<int64_t>(std::ceil(major1 - 0.5)) - 1;
    } else {
        first = static_cast<int64_t>(std::floor(major0 + 0.5));
        last = static_cast<int64_t>(std::floor(major1 + 0.5)) + 1;
    }
    if (s.lastPixel)
        last += static_cast<int64_t>(step);
    PixelInputs in;
    RasterColor flatD = {RoundChannel(a.attr[kAttrDiffuse]), RoundChannel(a.attr[kAttrDiffuse + 1]),
                         RoundChannel(a.attr[kAttrDiffuse + 2]),
                         RoundChannel(a.attr[kAttrDiffuse + 3])};
    RasterColor flatS = {
        RoundChannel(a.attr[kAttrSpecular]), RoundChannel(a.attr[kAttrSpecular + 1]),
        RoundChannel(a.attr[kAttrSpecular + 2]), RoundChannel(a.attr[kAttrSpecular + 3])};
    for (int64_t m = first; length > 0 ? m <= last : m >= last; m += static_cast<int64_t>(step)) {
        double t = (static_cast<double>(m) - major0) / length;
        double minor = xMajor ? a.y + dy * t : a.x + dx * t;
        int64_t mi = static_cast<int64_t>(std::ceil(minor - 0.5));
        int64_t px = xMajor ? m : mi;
        int64_t py = xMajor ? mi : m;
        if (px < s.clip.left || px >= s.clip.right || py < s.clip.top || py >= s.clip.bottom) {
            continue;
        }
        double attr[kAttrCount];
        for (int k = 0; k < kAttrCount; ++k)
            attr[k] = a.attr[k] + (b.attr[k] - a.attr[k]) * t;
        in.z = static_cast<float>(attr[kAttrZ]);
        if (s.flat) {
            in.diffuse = flatD;
            in.specular = flatS;
        } else {
            in.diffuse = {RoundChannel(attr[kAttrDiffuse]), RoundChannel(attr[kAttrDiffuse + 1]),
                          RoundChannel(attr[kAttrDiffuse + 2]),
                          RoundChannel(attr[kAttrDiffuse + 3])};
            in.specular = {RoundChannel(attr[kAttrSpecular]), RoundChannel(attr[kAttrSpecular + 1]),
                           RoundChannel(attr[kAttrSpecular + 2]),
                           RoundChannel(attr[kAttrSpecular + 3])};
        }
        PointExtras(s, attr, &in);
        if (s.flat)
            in.fogAlpha = flatS.a;
        ShadeAndWrite(s, static_cast<int32_t>(px), static_cast<int32_t>(py), in);
    }
}

}  // namespace platform::raster_internal
