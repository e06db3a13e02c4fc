// The oracle's rules, one channel at a time, as the rules tables state them.
//
// Routes: the table entries (Scale, Delta, Mix6, FadeEntry); the packed add
// and subtract channel by channel (AddChannels32, SubChannels32, AddFields565,
// SubFields565, the pair forms); the fill (Fill32, Fill565); the blit
// (Blit32, Blit565 per pixel, BlitRow565 for a row with its pair loops), and
// through the same two the stretch's pixel (BlitPixel::stretch). It does not
// clip, address images or read tables: the tests do the geometry and
// every value here is computed from its definition in 64-bit.
#include "softrender/oracle.h"

#include <algorithm>

namespace tessel::oracle {

namespace {

int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) {
        --q;
    }
    return q;
}

uint32_t Channel(uint32_t v, int k) {
    return (v >> (8 * k)) & 0xFF;
}

struct Fields {
    int64_t r, g, b;
};

Fields Split565(uint32_t v) {
    return {(v >> 11) & 31, (v >> 5) & 63, v & 31};
}

uint32_t Join565(int64_t r, int64_t g, int64_t b) {
    return static_cast<uint32_t>((r << 11) | (g << 5) | b);
}

bool IsWhite(uint32_t brightness) {
    return (brightness & 0xFFFFFF) == 0xFFFFFF;
}

}  // namespace

int64_t Scale(int64_t r, int64_t i) {
    return FloorDiv(i * r, 255);
}

int64_t Delta(int64_t p, int64_t d) {
    return d * p / 255;
}

int64_t Mix6(int64_t q, int64_t a, int64_t b) {
    return FloorDiv(a * q + b * (63 - q), 63);
}

int64_t FadeEntry(int level, int range, int m) {
    const int64_t d = range + 1;
    const int64_t b = 256 - ((65536 / d + 256) * level) / 256;
    return std::clamp<int64_t>(m * 256 / d + b, 0, 255);
}

uint32_t AddChannels32(uint32_t d, uint32_t s, bool low) {
    const uint32_t db = Channel(d, 0), sb = Channel(s, 0);
    const bool blueOver = db + sb > 255;
    const uint32_t blue = std::min<uint32_t>(db + sb, 255);
    bool carry = blueOver;
    uint32_t out[2];
    for (int k = 1; k <= 2; ++k) {
        const uint32_t dk = Channel(d, k), sk = Channel(s, k);
        const uint32_t h = (dk >> 1) + (sk >> 1);
        if (h >= 128) {
            out[k - 1] = 255;
            carry = true;
        } else {
            const uint32_t lowBits = low ? ((dk & 1) | (sk & 1)) : 0;
            out[k - 1] = 2 * h | lowBits | (carry ? 1 : 0);
            carry = false;
        }
    }
    return ((carry ? 1u : 0u) << 24) | (out[1] << 16) | (out[0] << 8) | blue;
}

uint32_t SubChannels32(uint32_t d, uint32_t s) {
    const uint32_t db = Channel(d, 0), sb = Channel(s, 0);
    bool borrow = db < sb;
    const uint32_t blue = borrow ? 0 : db - sb;
    uint32_t out[2];
    for (int k = 1; k <= 2; ++k) {
        const uint32_t dk = Channel(d, k), sk = Channel(s, k);
        if ((dk >> 1) < (sk >> 1)) {
            out[k - 1] = 0;
            borrow = true;
        } else {
            out[k - 1] = 2 * ((dk >> 1) - (sk >> 1)) + (borrow ? 0 : 1);
            borrow = false;
        }
    }
    return (out[1] << 16) | (out[0] << 8) | blue;
}

uint32_t AddFields565(uint32_t d, uint32_t s, bool low) {
    const Fields a = Split565(d), b = Split565(s);
    const bool blueOver = a.b + b.b > 31;
    const int64_t blue = std::min<int64_t>(a.b + b.b, 31);
    const int64_t gl = (low ? ((a.g & 1) | (b.g & 1)) : 0) | (blueOver ? 1 : 0);
    const int64_t gh = (a.g >> 1) + (b.g >> 1);
    const bool greenOver = gh >= 32;
    const int64_t green = greenOver ? (62 | gl) : (2 * gh | gl);
    const int64_t rh = (a.r >> 1) + (b.r >> 1);
    const int64_t rl = (low ? ((a.r & 1) | (b.r & 1)) : 0) | (greenOver ? 1 : 0);
    const int64_t red = rh >= 16 ? 31 : (2 * rh | rl);
    return Join565(red, green, blue);
}

uint32_t SubFields565(uint32_t d, uint32_t s) {
    const Fields a = Split565(d), b = Split565(s);
    const int64_t blue = a.b >= b.b ? a.b - b.b : 0;
    const int64_t g = (a.g >> 1) - (b.g >> 1);
    const bool greenBorrow = g < 0;
    const int64_t green = greenBorrow ? 0 : 2 * g;
    const int64_t r = (a.r >> 1) - (b.r >> 1);
    const int64_t red = r < 0 ? 0 : 2 * r + (greenBorrow ? 0 : 1);
    return Join565(red, green, blue);
}

uint32_t AddPair565(uint32_t d, uint32_t s) {
    const uint32_t first = AddFields565(d & 0xFFFF, s & 0xFFFF, false);
    const Fields a0 = Split565(d & 0xFFFF), b0 = Split565(s & 0xFFFF);
    const bool redOver = (a0.r >> 1) + (b0.r >> 1) >= 16;
    // The second pixel: its blue at half precision with the first red's carry.
    const Fields a = Split565(d >> 16), b = Split565(s >> 16);
    const int64_t bh = (a.b >> 1) + (b.b >> 1);
    const bool blueOver = bh >= 16;
    const int64_t blue = blueOver ? 31 : 2 * bh + (redOver ? 1 : 0);
    const int64_t gh = (a.g >> 1) + (b.g >> 1);
    const bool greenOver = gh >= 32;
    const int64_t green = 2 * std::min<int64_t>(31, gh) + (blueOver ? 1 : 0);
    const int64_t rh = (a.r >> 1) + (b.r >> 1);
    const int64_t red = rh >= 16 ? 31 : 2 * rh + (greenOver ? 1 : 0);
    return first | (Join565(red, green, blue) << 16);
}

uint32_t SubPair565(uint32_t d, uint32_t s) {
    const uint32_t first = SubFields565(d & 0xFFFF, s & 0xFFFF);
    const Fields a0 = Split565(d & 0xFFFF), b0 = Split565(s & 0xFFFF);
    const bool redBorrow = (a0.r >> 1) < (b0.r >> 1);
    const Fields a = Split565(d >> 16), b = Split565(s >> 16);
    const int64_t bv = (a.b | 1) - (b.b & ~int64_t{1}) - (redBorrow ? 1 : 0);
    const bool blueBorrow = bv < 0;
    const int64_t blue = blueBorrow ? 0 : bv;
    const int64_t g = (a.g >> 1) - (b.g >> 1);
    const bool greenBorrow = g < 0;
    const int64_t green = greenBorrow ? 0 : 2 * g;
    const int64_t r = (a.r >> 1) - (b.r >> 1);
    const int64_t red = r < 0 ? 0 : 2 * r + (greenBorrow ? 0 : 1);
    (void)blueBorrow;
    return first | (Join565(red, green, blue) << 16);
}

std::optional<uint32_t> Fill32(uint32_t mode, int p, uint32_t brightness, uint32_t d,
                               uint32_t colour) {
    if (mode == 1 && p == 255) {
        mode = 0;
    }
    if ((mode == 1 || mode == 2 || mode == 3) && p == 0) {
        return std::nullopt;
    }
    uint32_t c = colour;
    if (!IsWhite(brightness)) {
        c = colour & 0xFF000000u;
        for (int k = 0; k < 3; ++k) {
            c |= ((Channel(colour, k) * Channel(brightness, k)) >> 8) << (8 * k);
        }
    }
    uint32_t out = d & 0xFF000000u;
    uint32_t s = 0;
    switch (mode) {
        case 0:
            return c;
        case 2:
        case 3:
            for (int k = 0; k < 3; ++k) {
                s |= static_cast<uint32_t>(Scale(p, Channel(c, k))) << (8 * k);
            }
            return mode == 2 ? AddChannels32(d, s) : SubChannels32(d, s);
        case 1:
        case 4:
        case 10:
        case 11:
            for (int k = 0; k < 3; ++k) {
                const int64_t dk = Channel(d, k), ck = Channel(c, k);
                int64_t v = 0;
                if (mode == 1) {
                    v = FloorDiv(dk * 256 + (ck - dk) * p, 256);
                } else if (mode == 4) {
                    v = FloorDiv(dk * ck, 256);
                } else if (mode == 10) {
                    v = FloorDiv(dk * 256 + ((255 - ck) - dk) * p, 256);
                } else {
                    const int64_t t = FloorDiv(dk * ck, 256);
                    v = FloorDiv(dk * 256 + (t - dk) * p, 256);
                }
                out |= static_cast<uint32_t>(v) << (8 * k);
            }
            return out;
        default:
            return std::nullopt;
    }
}

std::optional<uint32_t> Fill565(uint32_t mode, int p, uint32_t brightness, uint32_t d,
                                uint32_t colour) {
    if (mode == 1 && p == 255) {
        mode = 0;
    }
    if ((mode == 1 || mode == 2 || mode == 3) && p == 0) {
        return std::nullopt;
    }
    Fields c = Split565(colour);
    if (!IsWhite(brightness)) {
        c.r = (c.r * Channel(brightness, 2)) >> 8;
        c.g = (c.g * Channel(brightness, 1)) >> 8;
        c.b = (c.b * Channel(brightness, 0)) >> 8;
    }
    const Fields dd = Split565(d);
    const int64_t dv[3] = {dd.r, dd.g, dd.b};
    const int64_t cv[3] = {c.r, c.g, c.b};
    const int bits[3] = {5, 6, 5};
    int64_t out[3] = {0, 0, 0};
    switch (mode) {
        case 0:
            return Join565(c.r, c.g, c.b);
        case 2:
        case 3: {
            const uint32_t s = Join565(Scale(p, c.r), Scale(p, c.g), Scale(p, c.b));
            return mode == 2 ? AddFields565(d, s) : SubFields565(d, s);
        }
        case 1:
        case 4:
        case 10:
        case 11:
            for (int i = 0; i < 3; ++i) {
                const int64_t top = (int64_t{1} << bits[i]) - 1;
                const int64_t x = dv[i];
                const int64_t y = cv[i];
                if (mode == 1) {
                    out[i] = x + Delta(p, y - x);
                } else if (mode == 4) {
                    out[i] = FloorDiv(x * y, int64_t{1} << bits[i]);
                } else if (mode == 10) {
                    out[i] = x + Delta(p, (top - y) - x);
                } else {
                    out[i] = x + Delta(p, FloorDiv(x * y, int64_t{1} << bits[i]) - x);
                }
            }
            return Join565(out[0], out[1], out[2]);
        default:
            return std::nullopt;
    }
}

}  // namespace tessel::oracle

namespace tessel::oracle {

namespace {

// The transparent test: nullopt when the pixel is skipped, else whether its
// alpha is a factor of the rule. zeroSkips: alpha 0 skips in this mode.
std::optional<bool> AlphaFactor(const BlitPixel& in, uint32_t s, uint32_t a, bool zeroSkips) {
    if (in.run >= 0) {  // the run's kind decides; the alpha counts in alpha runs of alpha sources
        if (in.run == 0) {
            return std::nullopt;
        }
        return in.run == 2 && in.alphaSource && !in.paletted;
    }
    if (in.paletted || !in.alphaSource) {
        const uint32_t compared = in.paletted ? in.index : s;
        if (in.trans && compared == in.key) {
            return std::nullopt;
        }
        return false;
    }
    if (!in.trans) {
        return true;
    }
    if (a == 0 && zeroSkips) {
        return std::nullopt;
    }
    return a != 255;
}

int64_t Bright(uint32_t brightness, int ch, int64_t x) {
    return IsWhite(brightness) ? x : Scale(Channel(brightness, ch), x);
}

}  // namespace

std::optional<uint32_t> Blit32(const BlitPixel& in, uint32_t d, uint32_t s, uint32_t a) {
    const int64_t mode = ShortCutMode(in.mode, in.p, in.paletted);
    if (mode < 0) {
        return std::nullopt;
    }
    const bool white = IsWhite(in.brightness);
    const std::optional<bool> useAlpha = AlphaFactor(in, s, a, mode <= 3 || in.stretch);
    if (!useAlpha) {
        return std::nullopt;
    }
    const bool useA = *useAlpha;
    if (!in.mask && white && (in.stretch || in.run >= 0)) {
        if (mode == 0 && !useA) {
            return s;
        }
    } else if (!in.mask && white) {
        if (mode == 0 && (!in.alphaSource || !in.trans || a == 255)) {
            return s;
        }
        if (!in.alphaSource && mode == 1 && in.p == 128) {
            uint32_t out = 0;
            for (int ch = 0; ch < 3; ++ch) {
                out |= ((Channel(d, ch) >> 1) + (Channel(s, ch) >> 1)) << (8 * ch);
            }
            return out;
        }
        if (!in.alphaSource && mode == 2 && in.p == 255) {
            return AddChannels32(d, s, false);
        }
    }
    const int n = (in.mask ? 1 : 0) + (useA ? 1 : 0);
    const int64_t w = (in.mask ? in.f : 1) * (useA ? a : 1);
    const int64_t p = in.p;
    if (mode == 2 || mode == 3) {
        uint32_t v = 0;
        for (int ch = 0; ch < 3; ++ch) {
            const int64_t c = Bright(in.brightness, ch, Channel(s, ch));
            const int64_t vk =
                n == 0 ? Scale(p, c) : FloorDiv(c * w * p, int64_t{1} << (8 * (1 + n)));
            v |= static_cast<uint32_t>(vk) << (8 * ch);
        }
        return mode == 2 ? AddChannels32(d, v) : SubChannels32(d, v);
    }
    uint32_t out = d & 0xFF000000u;
    for (int ch = 0; ch < 3; ++ch) {
        const int64_t dk = Channel(d, ch), sk = Channel(s, ch);
        const int64_t c = Bright(in.brightness, ch, sk);
        const int64_t whole = int64_t{1} << (8 * (1 + n));
        int64_t r = 0;
        switch (mode) {
            case 0:
                r = n == 0 ? c : dk + FloorDiv((c - dk) * w, int64_t{1} << (8 * n));
                break;
            case 1:
                r = dk + FloorDiv((c - dk) * p * w, whole);
                break;
            case 4:
                r = FloorDiv(dk * c * w, whole);
                break;
            case 10:
                r = dk + FloorDiv((Bright(in.brightness, ch, 255 - sk) - dk) * p * w, whole);
                break;
            default:
                r = dk + FloorDiv((FloorDiv(dk * c, 256) - dk) * p * w, whole);
                break;
        }
        out |= static_cast<uint32_t>(r) << (8 * ch);
    }
    return out;
}

std::optional<uint32_t> Blit565(const BlitPixel& in, uint32_t d, uint32_t s, uint32_t a) {
    const int64_t mode = ShortCutMode(in.mode, in.p, in.paletted);
    if (mode < 0) {
        return std::nullopt;
    }
    const bool white = IsWhite(in.brightness);
    const std::optional<bool> useAlpha = AlphaFactor(in, s, a, mode != 4 || in.stretch);
    if (!useAlpha) {
        return std::nullopt;
    }
    const bool useA = *useAlpha;
    const Fields sf = Split565(s), df = Split565(d);
    const int64_t sv[3] = {sf.b, sf.g, sf.r};
    const int64_t dv[3] = {df.b, df.g, df.r};
    const int bits[3] = {5, 6, 5};
    if (!in.mask && white && in.run >= 0 && mode == 0 && !useA) {
        return s;
    }
    if (!in.mask && white && in.run < 0 && !in.stretch) {
        if (mode == 0 && (!in.alphaSource || !in.trans)) {
            return s;
        }
        if (!in.alphaSource && mode == 1) {
            int64_t out[3];
            for (int i = 0; i < 3; ++i) {
                out[i] = in.p == 128 ? (sv[i] >> 1) + (dv[i] >> 1) : Mix6(in.p / 4, sv[i], dv[i]);
            }
            return Join565(out[2], out[1], out[0]);
        }
    }
    const int n = (in.mask ? 1 : 0) + (useA ? 1 : 0);
    const int64_t w = (in.mask ? in.f : 1) * (useA ? a : 1);
    const int64_t p = in.p;
    int64_t out[3];
    if (mode == 2 || mode == 3) {
        for (int i = 0; i < 3; ++i) {
            const int64_t c = Bright(in.brightness, i, sv[i]);
            int64_t x = 0;
            if (!in.mask && !useA) {
                x = c;
            } else if (!in.mask) {
                x = Bright(in.brightness, i, FloorDiv(sv[i] * a, 256));
            } else if (!useA) {
                x = FloorDiv(c * in.f, 256);
            } else {
                x = FloorDiv(c * a * in.f, 65536);
            }
            out[i] = Scale(p, x);
        }
        const uint32_t u = Join565(out[2], out[1], out[0]);
        return mode == 2 ? AddFields565(d, u) : SubFields565(d, u);
    }
    for (int i = 0; i < 3; ++i) {
        const int64_t dx = dv[i], sx = sv[i];
        const int64_t top = (int64_t{1} << bits[i]) - 1;
        const int64_t c = Bright(in.brightness, i, sx);
        const int64_t whole = int64_t{1} << (8 * (1 + n));
        int64_t t = c;
        if (mode == 10) {
            t = Bright(in.brightness, i, top - sx);
        } else if (mode == 11) {
            t = FloorDiv(c * dx, int64_t{1} << bits[i]);
        }
        switch (mode) {
            case 0:
                out[i] = n == 0 ? c : dx + FloorDiv((c - dx) * w, int64_t{1} << (8 * n));
                break;
            case 4:
                out[i] = FloorDiv(dx * c * w, int64_t{1} << (bits[i] + 8 * n));
                break;
            default:
                if (n == 0) {
                    out[i] = dx + Delta(p, t - dx);
                } else if (mode == 11 && white && !in.mask && i == 1) {
                    const int64_t m = FloorDiv(sx * dx, 2);
                    out[i] = dx + FloorDiv((m - 32 * dx) * a * p, int64_t{1} << 21);
                } else {
                    out[i] = dx + FloorDiv((t - dx) * p * w, whole);
                }
                break;
        }
    }
    return Join565(out[2], out[1], out[0]);
}

std::vector<uint32_t> BlitRow565(BlitPixel in, const std::vector<uint32_t>& d,
                                 const std::vector<uint32_t>& s, const std::vector<uint32_t>& a,
                                 const std::vector<uint32_t>& f,
                                 const std::vector<uint32_t>& index) {
    std::vector<uint32_t> out = d;
    const size_t n = d.size();
    const bool pairs = (in.mode == 2 || in.mode == 3) && in.p == 255 && !in.mask &&
                       IsWhite(in.brightness) && !in.alphaSource && in.run < 0;
    if (!pairs) {
        for (size_t x = 0; x < n; ++x) {
            in.f = f[x];
            in.index = index[x];
            out[x] = Blit565(in, d[x], s[x], a[x]).value_or(d[x]);
        }
        return out;
    }
    auto keyed = [&](size_t x) {
        return in.trans && (in.paletted ? index[x] == in.key : s[x] == in.key);
    };
    auto lone = [&](size_t x) {
        out[x] = in.mode == 2 ? AddFields565(d[x], s[x], false) : SubFields565(d[x], s[x]);
    };
    size_t x = 0;
    for (; x + 1 < n; x += 2) {
        const bool k0 = keyed(x), k1 = keyed(x + 1);
        if (!k0 && !k1) {
            const uint32_t dd = d[x] | (d[x + 1] << 16), ss = s[x] | (s[x + 1] << 16);
            const uint32_t r = in.mode == 2 ? AddPair565(dd, ss) : SubPair565(dd, ss);
            out[x] = r & 0xFFFF;
            out[x + 1] = r >> 16;
        } else if (!k0) {
            lone(x);
        } else if (!k1) {
            lone(x + 1);
        }
    }
    if (x < n && !keyed(x)) {
        lone(x);
    }
    return out;
}

int64_t ShortCutMode(uint32_t mode, int p, bool paletted) {
    if (!(mode <= 4 || mode == 10 || mode == 11)) {
        return -1;
    }
    if (mode == 1 && p == 255) {
        return 0;
    }
    if ((mode == 1 || mode == 2) && p == 0) {
        return -1;
    }
    if (mode == 3 && p == 0 && !paletted) {
        return -1;
    }
    return mode;
}

}  // namespace tessel::oracle
