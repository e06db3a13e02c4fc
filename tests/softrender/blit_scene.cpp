// Random blit scenes, drawn through the blit and through the oracle.
#include "softrender/blit_scene.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tessel::kit {

namespace {

uint32_t RandomColour(BiasedRandom& random, Source kind) {
    return ColourTypeOf(kind) == 1 ? random.Pixel32() : random.Pixel565();
}

// The stored value of a source pixel of colour and alpha.
uint32_t Stored(Source kind, uint32_t colour, uint32_t alpha) {
    switch (kind) {
        case Source::k32Alpha:
            return (colour & 0xFFFFFF) | (alpha << 24);
        case Source::k565Alpha:
            return (colour & 0xFFFF) | (alpha << 16);
        default:
            return colour;
    }
}

}  // namespace

BlitScene RandomScene(BiasedRandom& random, Source kind, int sw, int sh, int dw, int dh) {
    BlitScene s{};
    s.kind = kind;
    s.sw = sw;
    s.sh = sh;
    s.dw = dw;
    s.dh = dh;
    s.x = random.Between(-sw, dw);
    s.y = random.Between(-sh, dh);
    const int left = random.Between(0, dw), top = random.Between(0, dh);
    s.area = RECT{left, top, random.Between(left, dw), random.Between(top, dh)};
    static constexpr uint32_t kModes[] = {0, 1, 2, 3, 4, 10, 11};
    s.mode = kModes[random.Below(7)];
    s.p = static_cast<int>(random.Byte());
    s.brightness = 0xFFFFFF;
    s.trans = static_cast<int>(random.Below(3));  // 0, 1 or 2
    s.useMask = random.Below(2) == 1;
    if (IsPaletted(kind)) {
        for (int i = 0; i < 256; ++i) {
            s.palette.push_back(RandomColour(random, kind));
        }
        s.key = random.Below(8) == 0 ? 256 + random.Below(4) : random.Below(256);
    } else {
        s.key = RandomColour(random, kind);
    }
    for (int i = 0; i < sw * sh; ++i) {
        if (IsPaletted(kind)) {
            s.source.push_back(random.Below(4) == 0 ? (s.key & 0xFF) : random.Below(256));
            continue;
        }
        const uint32_t colour = random.Below(4) == 0 ? s.key : RandomColour(random, kind);
        const uint32_t alpha = random.Below(3) == 0 ? (random.Below(2) ? 255 : 0) : random.Byte();
        s.source.push_back(Stored(kind, colour, alpha));
    }
    for (int i = 0; i < dw * dh; ++i) {
        s.dest.push_back(RandomColour(random, kind));
    }
    for (int i = 0; i < sw * sh; ++i) {
        s.mask.push_back(random.Byte());
    }
    return s;
}

std::vector<uint32_t> DrawScene(const BlitScene& s) {
    return DrawSceneWith(s,
                         [&s](const SoftDrawState& state, MEMIMG* dest, MEMIMG* src, MEMIMG* mask) {
                             MemImgBlit(state, dest, src, s.x, s.y, s.trans, mask);
                         });
}

std::vector<uint32_t> DrawSceneWith(const BlitScene& s, const SceneDraw& draw) {
    SourceImage source(s.kind, s.sw, s.sh, s.key);
    for (int y = 0; y < s.sh; ++y) {
        for (int x = 0; x < s.sw; ++x) {
            source.guarded().Set(x, y, s.source[y * s.sw + x]);
        }
    }
    for (size_t i = 0; i < s.palette.size(); ++i) {
        source.SetEntry(static_cast<uint32_t>(i), s.palette[i]);
    }
    GuardedImage dest(ColourTypeOf(s.kind), s.dw, s.dh);
    dest.SetPixels(s.dest);
    GuardedImage mask(kMemImgGray8, s.sw, s.sh);
    mask.SetPixels(s.mask);
    IdentityFade();
    std::vector<uint8_t> table = s.runTable;
    if (!table.empty()) {
        source.guarded().base()->runTable = table.data();
        source.guarded().base()->runTableValid = 1;
    }
    SoftDrawState state = DefaultSoftDrawState(s.area);
    state.blendMode = s.mode;
    state.blendParam = s.p;
    state.brightness = s.brightness;
    draw(state, dest.image(), source.image(), s.useMask ? mask.image() : nullptr);
    source.guarded().base()->runTable = nullptr;  // the table is ours, not the store's
    EXPECT_TRUE(dest.GuardsIntact());
    EXPECT_TRUE(source.guarded().GuardsIntact());
    return dest.Pixels();
}

oracle::BlitPixel SettingsOf(const BlitScene& s) {
    return SettingsAs<oracle::BlitPixel>(s);
}

SourceTexel TexelOf(const BlitScene& s, int sx, int sy) {
    const uint32_t v = s.source[size_t(sy) * s.sw + sx];
    switch (s.kind) {
        case Source::kPal32:
        case Source::kPal565:
            return {s.palette[v], 255, v};
        case Source::k32Alpha:
            return {v, v >> 24, v};
        case Source::k565Alpha:
            return {v & 0xFFFF, (v >> 16) & 0xFF, v};
        default:
            return {v, 255, v};
    }
}

std::vector<uint32_t> ExpectScene(const BlitScene& s) {
    std::vector<uint32_t> out = s.dest;
    oracle::BlitPixel in = SettingsOf(s);
    const int left = std::max({s.x, int(s.area.left), 0});
    const int right = std::min({s.x + s.sw, int(s.area.right), s.dw});
    const int top = std::max({s.y, int(s.area.top), 0});
    const int bottom = std::min({s.y + s.sh, int(s.area.bottom), s.dh});
    // The run table serves an unclipped draw with trans exactly 1.
    const bool runs =
        !s.runTable.empty() && s.trans == 1 && right - left == s.sw && bottom - top == s.sh;
    const std::vector<int> kinds = runs ? RunKinds(s.runTable, s.sw, s.sh) : std::vector<int>{};
    for (int y = top; y < bottom; ++y) {
        std::vector<uint32_t> d, colour, alpha, factor, index;
        for (int x = left; x < right; ++x) {
            const SourceTexel t = TexelOf(s, x - s.x, y - s.y);
            d.push_back(s.dest[y * s.dw + x]);
            index.push_back(t.stored);
            factor.push_back(s.mask[(y - s.y) * s.sw + (x - s.x)]);  // the identity fade
            colour.push_back(t.colour);
            alpha.push_back(t.alpha);
        }
        std::vector<uint32_t> row;
        if (runs) {
            for (size_t i = 0; i < d.size(); ++i) {
                in.f = factor[i];
                in.index = index[i];
                in.run = kinds[size_t(y - s.y) * s.sw + i];
                const auto v = ColourTypeOf(s.kind) == 1
                                   ? oracle::Blit32(in, d[i], colour[i], alpha[i])
                                   : oracle::Blit565(in, d[i], colour[i], alpha[i]);
                row.push_back(v.value_or(d[i]));
            }
        } else if (ColourTypeOf(s.kind) == 0) {
            row = oracle::BlitRow565(in, d, colour, alpha, factor, index);
        } else {
            for (size_t i = 0; i < d.size(); ++i) {
                in.f = factor[i];
                in.index = index[i];
                row.push_back(oracle::Blit32(in, d[i], colour[i], alpha[i]).value_or(d[i]));
            }
        }
        for (int x = left; x < right; ++x) {
            out[y * s.dw + x] = row[x - left];
        }
    }
    return out;
}

std::vector<int> RunKinds(const std::vector<uint8_t>& table, int sw, int sh) {
    std::vector<int> kinds;
    size_t at = 0;
    for (int y = 0; y < sh; ++y) {
        for (uint8_t run = table[at++]; run < 0xC0; run = table[at++]) {
            kinds.insert(kinds.end(), (run & 0x3F) + 1, run >> 6);
        }
        kinds.resize(size_t(y + 1) * sw, 0);  // a table that falls short skips the rest
    }
    return kinds;
}

}  // namespace tessel::kit
