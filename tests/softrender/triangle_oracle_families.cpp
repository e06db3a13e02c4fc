// The triangle oracle's pixel rules for RGB565 targets and paletted sources,
// one switch per family, every field or channel computed in 64-bit from its
// rules table: the 32-bit target with a paletted source, the RGB565 target
// with a paletted source and with a direct source.
#include "softrender/oracle.h"
#include "softrender/triangle_oracle.h"

namespace tessel::oracle {

namespace {

int64_t Floor(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

bool White(uint32_t brightness) {
    return (brightness & 0xFFFFFF) == 0xFFFFFF;
}

int64_t Byte(uint32_t v, int k) {
    return (v >> (8 * k)) & 0xFF;
}

// RGB565 fields in the order blue, green, red, so that field i takes the
// brightness byte i.
constexpr int kShift[3] = {0, 5, 11};
constexpr int kWidth[3] = {5, 6, 5};

int64_t Field(uint32_t v, int i) {
    return (v >> kShift[i]) & ((int64_t{1} << kWidth[i]) - 1);
}

uint32_t Join(const int64_t (&f)[3]) {
    return static_cast<uint32_t>(f[0] | (f[1] << 5) | (f[2] << 11));
}

// Modes without a loop draw nothing; mode 1 at 255 is the copy; modes 1 and 2
// (and, for direct sources, 3) at parameter 0 draw nothing. -1: nothing.
int64_t RunMode(uint32_t mode, int p, bool subtractAtZero) {
    if (!(mode <= 4 || mode == 10 || mode == 11)) {
        return -1;
    }
    if (mode == 1 && p == 255) {
        return 0;
    }
    if ((mode == 1 || mode == 2 || (mode == 3 && !subtractAtZero)) && p == 0) {
        return -1;
    }
    return mode;
}

// The mix of x over d with weight w and shift k: (d 2^k + (x - d) w) >> k.
int64_t Mix(int64_t d, int64_t x, int64_t w, int k) {
    return Floor(d * (int64_t{1} << k) + (x - d) * w, int64_t{1} << k);
}

}  // namespace

std::optional<uint32_t> TexturedPaletted32(const TexturedPixel& in, uint32_t d, uint32_t index,
                                           uint32_t entry) {
    const int64_t mode = RunMode(in.mode, in.p, true);
    if (mode < 0 || (in.trans && index == in.key)) {
        return std::nullopt;
    }
    const bool white = White(in.brightness);
    if (mode == 0 && white && !in.mask) {
        return entry;
    }
    const int64_t p = in.p, f = in.m;
    int64_t c[3], x[3];
    for (int k = 0; k < 3; ++k) {
        const int64_t e = mode == 10 ? 255 - Byte(entry, k) : Byte(entry, k);
        c[k] = white ? e : Scale(Byte(in.brightness, k), e);
        x[k] = in.mask ? Floor(c[k] * f * p, 65536) : Scale(p, c[k]);
    }
    if (mode == 2 || mode == 3) {
        const uint32_t packed = static_cast<uint32_t>(x[0] | (x[1] << 8) | (x[2] << 16));
        return mode == 2 ? AddChannels32(d, packed) : SubChannels32(d, packed);
    }
    uint32_t out = d & 0xFF000000u;
    for (int k = 0; k < 3; ++k) {
        const int64_t dk = Byte(d, k);
        int64_t r = 0;
        switch (mode) {
            case 0:
                r = in.mask ? Mix(dk, c[k], f, 8) : c[k];
                break;
            case 4:
                r = in.mask ? Floor(c[k] * f * dk, 65536) : Floor(dk * c[k], 256);
                break;
            default: {  // 1, 10 and 11 differ only in what they move toward
                const int64_t target = mode == 11 ? Floor(c[k] * dk, 256) : c[k];
                r = in.mask ? Mix(dk, target, f * p, 16) : Mix(dk, target, p, 8);
                break;
            }
        }
        out |= static_cast<uint32_t>(r) << (8 * k);
    }
    return out;
}

std::optional<uint32_t> TexturedPaletted565(const TexturedPixel& in, uint32_t d, uint32_t index,
                                            uint32_t entry) {
    const int64_t mode = RunMode(in.mode, in.p, true);
    if (mode < 0 || (in.trans && index == in.key)) {
        return std::nullopt;
    }
    const uint32_t s = entry & 0xFFFF;
    const bool white = White(in.brightness);
    if (mode == 0 && white && !in.mask) {
        return s;
    }
    const int64_t p = in.p, f = in.m;
    int64_t c[3], x[3], out[3];
    for (int i = 0; i < 3; ++i) {
        const int64_t top = (int64_t{1} << kWidth[i]) - 1;
        const int64_t e = mode == 10 ? top - Field(s, i) : Field(s, i);
        c[i] = white ? e : Scale(Byte(in.brightness, i), e);
        x[i] = Scale(p, in.mask ? Floor(c[i] * f, 256) : c[i]);
    }
    if (mode == 2 || mode == 3) {
        const uint32_t packed = Join(x);
        return mode == 2 ? AddFields565(d, packed) : SubFields565(d, packed);
    }
    for (int i = 0; i < 3; ++i) {
        const int64_t dx = Field(d, i);
        const int64_t whole = int64_t{1} << kWidth[i];
        switch (mode) {
            case 0:
                out[i] = in.mask ? Mix(dx, c[i], f, 8) : c[i];
                break;
            case 4:
                out[i] = in.mask ? Floor(dx * c[i] * f, whole * 256) : Floor(dx * c[i], whole);
                break;
            default: {
                const int64_t target = mode == 11 ? Floor(c[i] * dx, whole) : c[i];
                out[i] = in.mask ? Mix(dx, target, f * p, 16) : dx + Delta(p, target - dx);
                break;
            }
        }
    }
    return Join(out);
}

std::optional<uint32_t> Textured565(const TexturedPixel& in, uint32_t d, uint32_t colour,
                                    uint32_t alpha) {
    const int64_t mode = RunMode(in.mode, in.p, false);
    if (mode < 0) {
        return std::nullopt;
    }
    const uint32_t s = colour & 0xFFFF;
    const int64_t a = alpha;
    bool useA = false;
    if (!in.alphaSource) {
        if (in.trans && s == in.key) {
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
    const bool white = White(in.brightness);
    if (mode == 0 && white && !in.mask && !useA) {
        return s;
    }
    const int64_t p = in.p, f = in.m;
    // The factors other than p: their product and how many.
    const int64_t w = (in.mask ? f : 1) * (useA ? a : 1);
    const int n = (in.mask ? 1 : 0) + (useA ? 1 : 0);
    auto bright = [&](int i, int64_t v) { return white ? v : Scale(Byte(in.brightness, i), v); };
    int64_t out[3];
    if (mode == 2 || mode == 3) {
        int64_t e[3];
        for (int i = 0; i < 3; ++i) {
            const int64_t sx = Field(s, i);
            if (useA && !in.mask) {
                e[i] = Scale(p, bright(i, Floor(sx * a, 256)));  // the alpha before the brightness
            } else {
                e[i] = Scale(p, Floor(bright(i, sx) * w, int64_t{1} << (8 * n)));
            }
        }
        return mode == 2 ? AddFields565(d, Join(e)) : SubFields565(d, Join(e));
    }
    for (int i = 0; i < 3; ++i) {
        const int64_t dx = Field(d, i), sx = Field(s, i);
        const int64_t top = (int64_t{1} << kWidth[i]) - 1;
        const int64_t t = bright(i, mode == 10 ? top - sx : sx);
        switch (mode) {
            case 0:
                out[i] = n == 0 ? t : Mix(dx, t, w, 8 * n);
                break;
            case 4:
                out[i] = Floor(dx * t * w, int64_t{1} << (kWidth[i] + 8 * n));
                break;
            default: {
                const int64_t target = mode == 11 ? Floor(t * dx, top + 1) : t;
                if (n == 0) {
                    out[i] = dx + Delta(p, target - dx);
                } else if (mode == 11 && white && !in.mask && i == 1) {
                    // Green in place, five more bits of the product kept.
                    out[i] = Floor(dx * (int64_t{1} << 21) + (Floor(sx * dx, 2) - 32 * dx) * a * p,
                                   int64_t{1} << 21);
                } else {
                    out[i] = Mix(dx, target, w * p, 8 * (n + 1));
                }
                break;
            }
        }
    }
    return Join(out);
}

}  // namespace tessel::oracle
