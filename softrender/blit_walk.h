// The row walk of the plain blit and its source fetches: where each source
// pixel, mask byte and destination pixel of a clipped rectangle is, read one
// pixel at a time from left to right and top to bottom. The walk knows
// nothing of blending: it hands each pixel to an operation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tessel::soft {

// One clipped draw: w x h pixels, each image's first pixel and the bytes to
// add at a row's end.
struct BlitCall {
    int width;
    int height;
    const uint8_t* src;
    ptrdiff_t srcSkip;
    uint8_t* dst;
    ptrdiff_t dstSkip;
    const uint8_t* mask;  // null without a blend mask
    ptrdiff_t maskSkip;
    const uint8_t* maskFactor;  // blend-mask byte -> factor
};

// A fetched source pixel: its colour in the destination's form, its alpha,
// and the value the transparent test compares.
struct Texel {
    uint32_t colour;
    uint32_t alpha;
    uint32_t key;
};

inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline uint32_t Load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline void Store32(uint8_t* p, uint32_t v) {
    std::memcpy(p, &v, 4);
}
inline void Store16(uint8_t* p, uint32_t v) {
    const uint16_t h = static_cast<uint16_t>(v);
    std::memcpy(p, &h, 2);
}

// 32-bit direct: the alpha is the top byte; the key is the whole pixel.
struct Fetch32 {
    static constexpr int kStep = 4;
    Texel operator()(const uint8_t* p) const {
        const uint32_t v = Load32(p);
        return {v, v >> 24, v};
    }
};

// RGB565 direct, 2 bytes (no alpha) or 4 (the colour, then the alpha byte);
// the key is the colour zero-extended, so a key above 0xFFFF never matches.
template <int Step>
struct Fetch565 {
    static constexpr int kStep = Step;
    Texel operator()(const uint8_t* p) const {
        const uint32_t v = Load16(p);
        return {v, Step == 4 ? uint32_t{p[2]} : 255u, v};
    }
};

// Paletted: one index byte; the colour comes from the source's palette (4-byte
// entries for 32-bit, RGB565 entries for 16-bit) and the key is the index.
template <int EntryBytes>
struct FetchPalette {
    static constexpr int kStep = 1;
    const uint8_t* palette;
    Texel operator()(const uint8_t* p) const {
        const uint32_t i = *p;
        const uint8_t* e = palette + EntryBytes * i;
        return {EntryBytes == 4 ? Load32(e) : Load16(e), 255u, i};
    }
};

// The transparent test: nothing, or the key equal to the transparent value.
struct NoKey {
    bool operator()(const Texel&) const { return false; }
};
struct Key {
    uint32_t value;
    bool operator()(const Texel& t) const { return t.key == value; }
};

// Rows top to bottom, pixels left to right; op(destination, texel, mask
// factor) writes or leaves the destination pixel.
template <int DstBytes, bool UseMask, class Fetch, class Skip, class Op>
void WalkBlit(const BlitCall& c, Fetch fetch, Skip skip, Op op) {
    const uint8_t* s = c.src;
    uint8_t* d = c.dst;
    const uint8_t* m = c.mask;
    for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
            const Texel t = fetch(s);
            if (!skip(t)) {
                op(d, t, UseMask ? uint32_t{c.maskFactor[*m]} : 0u);
            }
            s += Fetch::kStep;
            d += DstBytes;
            if constexpr (UseMask) {
                ++m;
            }
        }
        s += c.srcSkip;
        d += c.dstSkip;
        if constexpr (UseMask) {
            m += c.maskSkip;
        }
    }
}

// RGB565 rows two pixels at a time from each row's first pixel: a pair whose
// two texels are both drawn goes through pair(d0d1, s0s1); a texel drawn
// without its partner, and an odd row's last pixel, through lone(d, s).
template <class Fetch, class Skip, class Pair, class Lone>
void WalkPairs565(const BlitCall& c, Fetch fetch, Skip skip, Pair pair, Lone lone) {
    const uint8_t* s = c.src;
    uint8_t* d = c.dst;
    for (int y = 0; y < c.height; ++y) {
        int x = 0;
        for (; x + 1 < c.width; x += 2, s += 2 * Fetch::kStep, d += 4) {
            const Texel t0 = fetch(s);
            const Texel t1 = fetch(s + Fetch::kStep);
            const bool skip0 = skip(t0);
            const bool skip1 = skip(t1);
            if (!skip0 && !skip1) {
                const uint32_t both = pair(Load32(d), t0.colour | (t1.colour << 16));
                Store32(d, both);
            } else if (!skip0) {
                Store16(d, lone(Load16(d), t0.colour));
            } else if (!skip1) {
                Store16(d + 2, lone(Load16(d + 2), t1.colour));
            }
        }
        if (x < c.width) {
            const Texel t = fetch(s);
            if (!skip(t)) {
                Store16(d, lone(Load16(d), t.colour));
            }
            s += Fetch::kStep;
            d += 2;
        }
        s += c.srcSkip;
        d += c.dstSkip;
    }
}

}  // namespace tessel::soft
