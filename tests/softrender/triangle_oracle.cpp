// The triangle oracle: coverage and texel positions in closed form, and the
// per-pixel rules of the solid and 32-bit textured families, channel by
// channel in 64-bit.
#include "softrender/triangle_oracle.h"

#include <algorithm>
#include <array>

#include "softrender/oracle.h"

namespace tessel::oracle {

namespace {

constexpr int64_t kOne = 262144;

int64_t FloorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

bool Fits(int64_t v) {
    return v >= -8192 && v <= 8191;
}

bool InRange(const MemImgTriVertex* v) {
    for (int i = 0; i < 3; ++i) {
        if (!Fits(v[i].x) || !Fits(v[i].y) || !Fits(v[i].u) || !Fits(v[i].v)) {
            return false;
        }
        for (int j = 0; j < 3; ++j) {
            if (!Fits(int64_t{v[i].x} - v[j].x) || !Fits(int64_t{v[i].y} - v[j].y)) {
                return false;
            }
        }
    }
    return true;
}

// Indices ordered by key; equal keys keep their argument order.
std::array<int, 3> Sorted(const int64_t* key) {
    std::array<int, 3> order{0, 1, 2};
    std::stable_sort(order.begin(), order.end(), [key](int a, int b) { return key[a] < key[b]; });
    return order;
}

uint32_t Channel(uint32_t v, int k) {
    return (v >> (8 * k)) & 0xFF;
}

bool IsWhite(uint32_t brightness) {
    return (brightness & 0xFFFFFF) == 0xFFFFFF;
}

}  // namespace

std::vector<TriRow> TriangleRows(const MemImgTriVertex* v) {
    if (!InRange(v)) {
        return {};
    }
    int64_t X[3], Y[3];
    for (int i = 0; i < 3; ++i) {
        X[i] = v[i].x * kOne + kOne / 2;
        Y[i] = v[i].y * kOne + kOne / 2;
    }
    const int64_t cross = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
    if (cross == 0) {
        return {};
    }
    const std::array<int, 3> yo = Sorted(Y);
    const int t = yo[0], m = yo[1], b = yo[2];
    const int64_t rows = (Y[b] - Y[t]) / kOne;
    const int64_t upper = (Y[m] - Y[t]) / kOne;
    const int64_t lower = rows - upper;
    // x of a segment from x0 toward x1 over n rows, r rows down.
    auto along = [](int64_t x0, int64_t x1, int64_t n, int64_t r) {
        return x0 + r * ((x1 - x0) / n);
    };
    std::vector<TriRow> out;
    for (int64_t r = 0; r < rows; ++r) {
        int64_t left = 0, right = 0;
        if (Y[t] == Y[m]) {
            const int l = X[t] <= X[m] ? t : m;
            const int rr = l == t ? m : t;
            left = along(X[l], X[b], rows, r);
            right = along(X[rr], X[b], rows, r);
        } else if (Y[m] == Y[b]) {
            const int l = X[m] <= X[b] ? m : b;
            const int rr = l == m ? b : m;
            left = along(X[t], X[l], rows, r);
            right = along(X[t], X[rr], rows, r);
        } else if ((X[b] - X[t]) * (Y[m] - Y[t]) <= (X[m] - X[t]) * (Y[b] - Y[t])) {
            // The middle vertex right of the long side.
            left = along(X[t], X[b], rows, r);
            right =
                r < upper ? along(X[t], X[m], upper, r) : along(X[m] + 1, X[b], lower, r - upper);
        } else {
            left = r < upper ? along(X[t], X[m], upper, r) : along(X[m], X[b], lower, r - upper);
            right = along(X[t], X[b], rows, r);
        }
        out.push_back({FloorDiv(Y[t], kOne) + r, FloorDiv(left, kOne), FloorDiv(right, kOne)});
    }
    return out;
}

uint32_t TriPlaneModel::U(int64_t x, int64_t y) const {
    return static_cast<uint32_t>((x - x0) * ux + (y - y0) * uy + u0);
}

uint32_t TriPlaneModel::V(int64_t x, int64_t y) const {
    return static_cast<uint32_t>((x - x0) * vx + (y - y0) * vy + v0);
}

TriPlaneModel TrianglePlane(const MemImgTriVertex* v) {
    int64_t xs[3] = {v[0].x, v[1].x, v[2].x};
    const std::array<int, 3> xo = Sorted(xs);
    const MemImgTriVertex &p = v[xo[0]], &q = v[xo[1]], &s = v[xo[2]];
    const int64_t dx1 = q.x - p.x, dy1 = q.y - p.y, du1 = q.u - p.u, dv1 = q.v - p.v;
    const int64_t dx2 = s.x - p.x, dy2 = s.y - p.y, du2 = s.u - p.u, dv2 = s.v - p.v;
    const double d = static_cast<double>(dy1 * dx2 - dy2 * dx1);
    TriPlaneModel m{};
    m.x0 = p.x;
    m.y0 = p.y;
    m.u0 = int64_t{p.u} * kOne;
    m.v0 = int64_t{p.v} * kOne;
    m.fits = d != 0;
    auto gradient = [&](int64_t numerator) -> int64_t {
        const double g = static_cast<double>(numerator) * 262144.0 / d;
        m.fits = m.fits && g > -2147483649.0 && g < 2147483648.0;
        return m.fits ? static_cast<int64_t>(g) : 0;
    };
    m.ux = gradient(dy1 * du2 - dy2 * du1);
    m.uy = gradient(du1 * dx2 - dx1 * du2);
    m.vx = gradient(dy1 * dv2 - dy2 * dv1);
    m.vy = gradient(dv1 * dx2 - dv2 * dx1);
    return m;
}

std::optional<uint32_t> Textured32(const TexturedPixel& in, uint32_t d, uint32_t texel) {
    int64_t mode = in.mode;
    if (!(mode <= 4 || mode == 10 || mode == 11)) {
        return std::nullopt;
    }
    if (mode == 1 && in.p == 255) {
        mode = 0;
    }
    if (mode >= 1 && mode <= 3 && in.p == 0) {
        return std::nullopt;
    }
    const int64_t a = texel >> 24;
    bool useA = false;
    if (!in.alphaSource) {
        if (in.trans && texel == in.key) {
            return std::nullopt;
        }
    } else if (!in.trans) {
        useA = true;
    } else {
        if (a == 0 && mode <= 3) {
            return std::nullopt;
        }
        useA = a != 255;
    }
    const bool white = IsWhite(in.brightness);
    if (mode == 0 && white && !in.mask && !useA) {
        return texel;
    }
    // The factors of the weight and how many there are.
    int64_t w = 1;
    int n = 0;
    if (mode != 0 && mode != 4) {
        w *= in.p;
        ++n;
    }
    if (in.mask) {
        w *= in.m;
        ++n;
    }
    if (useA) {
        w *= a;
        ++n;
    }
    const int64_t whole = int64_t{1} << (8 * n);
    auto treated = [&](int ch, int64_t s) {
        return white ? s : Scale(Channel(in.brightness, ch), s);
    };
    auto mix = [&](int64_t x, int64_t dk) { return FloorDiv(x * w + dk * (whole - w), whole); };
    if (mode == 2 || mode == 3) {
        uint32_t e = 0;
        for (int ch = 0; ch < 3; ++ch) {
            const int64_t t = treated(ch, Channel(texel, ch));
            const int64_t ek = n == 1 ? Scale(in.p, t) : FloorDiv(t * w, whole);
            e |= static_cast<uint32_t>(ek) << (8 * ch);
        }
        return mode == 2 ? AddChannels32(d, e) : SubChannels32(d, e);
    }
    uint32_t out = d & 0xFF000000u;
    for (int ch = 0; ch < 3; ++ch) {
        const int64_t s = Channel(texel, ch), dk = Channel(d, ch);
        int64_t r = 0;
        switch (mode) {
            case 0:
                r = n == 0 ? treated(ch, s) : mix(treated(ch, s), dk);
                break;
            case 1:
                r = mix(treated(ch, s), dk);
                break;
            case 4:
                r = FloorDiv(dk * treated(ch, s) * w, int64_t{256} << (8 * n));
                break;
            case 10:
                r = mix(treated(ch, 255 - s), dk);
                break;
            default:
                r = mix(FloorDiv(treated(ch, s) * dk, 256), dk);
                break;
        }
        out |= static_cast<uint32_t>(r) << (8 * ch);
    }
    return out;
}

std::optional<uint32_t> Solid32(uint32_t mode, int p, uint32_t brightness, uint32_t d,
                                uint32_t colour) {
    uint32_t c = colour & 0xFF000000u;
    for (int ch = 0; ch < 3; ++ch) {
        c |= static_cast<uint32_t>(Scale(Channel(brightness, ch), Channel(colour, ch))) << (8 * ch);
    }
    // With the colour prepared, the spans follow the fill's rules table.
    return Fill32(mode, p, 0xFFFFFF, d, c);
}

std::optional<uint32_t> Solid565(uint32_t mode, int p, uint32_t brightness, uint32_t d,
                                 uint32_t colour) {
    const uint32_t c =
        static_cast<uint32_t>(Scale(Channel(brightness, 2), (colour >> 11) & 31) << 11 |
                              Scale(Channel(brightness, 1), (colour >> 5) & 63) << 5 |
                              Scale(Channel(brightness, 0), colour & 31));
    return Fill565(mode, p, 0xFFFFFF, d, c);
}

}  // namespace tessel::oracle
