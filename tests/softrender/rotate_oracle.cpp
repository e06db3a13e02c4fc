// The rotated blit's pixel rules, one field at a time, as its tables state
// them: the short-cuts, the transparent test and alpha shortcuts, the lit
// source, the weighted step, the contributions of add and subtract and the
// finer green of mode 11.
#include "softrender/rotate_oracle.h"

#include "softrender/oracle.h"
#include "softrender/triangle_oracle.h"

namespace tessel::oracle {

namespace {

int64_t FloorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

bool IsWhite(uint32_t brightness) {
    return (brightness & 0xFFFFFF) == 0xFFFFFF;
}

}  // namespace

std::optional<uint32_t> Rotate32(const RotatePixel& in, uint32_t d, uint32_t s) {
    if (!in.paletted) {
        const TexturedPixel t{in.mode, in.p,     in.brightness, in.mask,
                              in.f,    in.trans, in.key,        in.alphaSource};
        return Textured32(t, d, s);
    }
    if (ShortCutMode(in.mode, in.p, in.paletted) < 0 || (in.trans && in.index == in.key)) {
        return std::nullopt;
    }
    if (in.mode == 3 && in.p == 0) {
        return SubChannels32(d, 0);  // the contribution is 0 whatever the factors
    }
    const TexturedPixel t{in.mode, in.p, in.brightness, in.mask, in.f, false, 0, false};
    return Textured32(t, d, s);
}

std::optional<uint32_t> Rotate565(const RotatePixel& in, uint32_t d, uint32_t s, uint32_t a) {
    const int64_t mode = ShortCutMode(in.mode, in.p, in.paletted);
    if (mode < 0) {
        return std::nullopt;
    }
    bool useA = false;
    if (in.paletted || !in.alphaSource) {
        if (in.trans && (in.paletted ? in.index : s) == in.key) {
            return std::nullopt;
        }
    } else if (!in.trans) {
        useA = true;
    } else {
        if (a == 0 && mode != 4 && mode != 11) {
            return std::nullopt;
        }
        useA = a != 255;
    }
    const bool white = IsWhite(in.brightness);
    if (mode == 0 && white && !in.mask && !useA) {
        return s & 0xFFFF;
    }
    // Fields red, green, blue; brightness bytes 2, 1, 0.
    const int shift[3] = {11, 5, 0};
    const int width[3] = {5, 6, 5};
    const int bright[3] = {2, 1, 0};
    const int n = (in.mask ? 1 : 0) + (useA ? 1 : 0);
    const int64_t w = (in.mask ? in.f : 1) * (useA ? a : 1);
    const int64_t p = in.p;
    int64_t out[3] = {0, 0, 0};
    int64_t contribution[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        const int64_t top = (int64_t{1} << width[i]) - 1;
        const int64_t sf = (s >> shift[i]) & top;
        const int64_t df = (d >> shift[i]) & top;
        auto lit = [&](int64_t x) {
            return white ? x : Scale((in.brightness >> (8 * bright[i])) & 0xFF, x);
        };
        const int64_t x = lit(mode == 10 ? top - sf : sf);
        const int64_t whole = int64_t{1} << (8 * (n + 1));
        switch (mode) {
            case 0:
                out[i] = n == 0 ? x : df + FloorDiv((x - df) * w, int64_t{1} << (8 * n));
                break;
            case 1:
            case 10:
                out[i] = n == 0 ? df + Delta(p, x - df) : df + FloorDiv((x - df) * p * w, whole);
                break;
            case 4:
                out[i] = FloorDiv(df * x * w, int64_t{1} << (width[i] + 8 * n));
                break;
            case 11: {
                const int64_t m = FloorDiv(x * df, int64_t{1} << width[i]);
                if (n == 0) {
                    out[i] = df + Delta(p, m - df);
                } else if (i == 1 && !in.mask && white && useA) {
                    const int64_t product = FloorDiv(sf * df, 2), weight = a * p;
                    out[i] =
                        FloorDiv(32 * df * (65536 - weight) + product * weight, int64_t{1} << 21);
                } else {
                    out[i] = df + FloorDiv((m - df) * p * w, whole);
                }
                break;
            }
            default:  // 2 and 3
                if (!in.mask && !useA) {
                    contribution[i] = Scale(p, x);
                } else if (!in.mask) {
                    contribution[i] = Scale(p, lit(FloorDiv(sf * a, 256)));
                } else if (!useA) {
                    contribution[i] = Scale(p, FloorDiv(x * in.f, 256));
                } else {
                    contribution[i] = Scale(p, FloorDiv(x * in.f * a, 65536));
                }
                break;
        }
    }
    if (mode == 2 || mode == 3) {
        const uint32_t c =
            static_cast<uint32_t>(contribution[0] << 11 | contribution[1] << 5 | contribution[2]);
        return mode == 2 ? AddFields565(d, c) : SubFields565(d, c);
    }
    return static_cast<uint32_t>(out[0] << 11 | out[1] << 5 | out[2]);
}

}  // namespace tessel::oracle
