// Triangle scenes drawn through the kernels and through the oracle.
#include "softrender/triangle_scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "softrender/blit_kit.h"

namespace tessel::kit {

namespace {

uint32_t RandomColour(BiasedRandom& random, uint32_t type) {
    return type == kMemImgRgb32 ? random.Pixel32() : random.Pixel565();
}

// The oracle of the scene's family for one texel (as stored) onto d.
std::optional<uint32_t> TexturedPixel(const TriScene& s, const oracle::TexturedPixel& in,
                                      uint32_t d, uint32_t texel) {
    const bool wide = s.destType == kMemImgRgb32;
    if (s.paletted) {
        const uint32_t entry = s.palette[texel];
        return wide ? oracle::TexturedPaletted32(in, d, texel, entry)
                    : oracle::TexturedPaletted565(in, d, texel, entry);
    }
    if (wide) {
        return oracle::Textured32(in, d, texel);
    }
    return oracle::Textured565(in, d, texel & 0xFFFF, (texel >> 16) & 0xFF);
}

}  // namespace

Triangle RandomTriangle(BiasedRandom& random, int sw, int sh, int dw, int dh) {
    Triangle t{};
    for (MemImgTriVertex& v : t) {
        v.x = random.Between(-dw / 2, dw + dw / 2);
        v.y = random.Between(-dh / 2, dh + dh / 2);
        v.u = random.Between(-2, sw + 2);
        v.v = random.Between(-2, sh + 2);
    }
    return t;
}

TriScene CoverScene(BiasedRandom& random, int size) {
    TriScene s = RandomTriScene(random, size, size, size, size);
    s.area = RECT{0, 0, size, size};
    s.triangles = {
        Triangle{{{0, 0, 0, 0}, {2 * size, 0, 2 * size, 0}, {0, 2 * size, 0, 2 * size}}}};
    return s;
}

uint32_t NonWhiteBrightness(BiasedRandom& random) {
    uint32_t brightness = 0;
    do {
        brightness = random.Byte() << 16 | random.Byte() << 8 | random.Byte();
    } while (brightness == 0xFFFFFF);
    return brightness;
}

void RandomSettings(BiasedRandom& random, TriScene& s) {
    s.mode = kDrawnModes[random.Below(7)];
    s.p = static_cast<int>(random.Byte());
    s.trans = static_cast<int>(random.Below(3));
    s.useMask = random.Below(2) == 1;
    s.brightness = 0xFFFFFF;
    if (random.Below(2) == 0) {
        s.brightness = random.Byte() << 16 | random.Byte() << 8 | random.Byte();
    }
}

TriScene RandomTriScene(BiasedRandom& random, int sw, int sh, int dw, int dh) {
    TriScene s{};
    s.sw = sw;
    s.sh = sh;
    s.dw = dw;
    s.dh = dh;
    const int left = random.Between(0, dw), top = random.Between(0, dh);
    s.area = RECT{left, top, random.Between(left, dw), random.Between(top, dh)};
    if (random.Below(3) == 0) {
        s.area = RECT{0, 0, dw, dh};
    }
    s.triangles.push_back(RandomTriangle(random, sw, sh, dw, dh));
    s.alphaSource = random.Below(2) == 1;
    s.key = random.Pixel32();
    s.colour = random.Pixel32();
    for (int i = 0; i < sw * sh; ++i) {
        uint32_t v = random.Below(4) == 0 ? s.key : random.Pixel32();
        if (s.alphaSource && random.Below(3) == 0) {
            v = (v & 0xFFFFFF) | (random.Below(2) ? 0xFF000000u : 0u);
        }
        s.source.push_back(v);
        s.mask.push_back(random.Byte());
    }
    for (int i = 0; i < dw * dh; ++i) {
        s.dest.push_back(RandomColour(random, kMemImgRgb32));
    }
    return s;
}

void UseSourceKind(BiasedRandom& random, TriScene& s, uint32_t type, bool paletted, bool alpha) {
    s.destType = type;
    s.paletted = paletted;
    s.alphaSource = alpha && !paletted;
    s.source.clear();
    s.palette.clear();
    const bool wide = type == kMemImgRgb32;
    if (paletted) {
        s.key = random.Below(8) == 0 ? 256 + random.Below(1000) : random.Byte();
        for (int i = 0; i < 256; ++i) {
            s.palette.push_back(RandomColour(random, type));
        }
    } else {
        s.key = RandomColour(random, type);
        if (!wide && random.Below(8) == 0) {
            s.key |= 0x10000;  // beyond 16 bits: matches no texel
        }
    }
    for (int i = 0; i < s.sw * s.sh; ++i) {
        uint32_t v = random.Below(4) == 0 ? s.key : RandomColour(random, type);
        if (paletted) {
            v = random.Below(4) == 0 ? s.key & 0xFF : random.Byte();
        } else if (!wide) {
            v &= 0xFFFF;
        }
        if (s.alphaSource) {
            uint32_t a = random.Below(3) == 0 ? (random.Below(2) ? 255 : 0) : random.Byte();
            v = wide ? (v & 0xFFFFFF) | (a << 24) : v | (a << 16) | (random.Byte() << 24);
        }
        s.source.push_back(v);
    }
    for (uint32_t& d : s.dest) {
        d = RandomColour(random, type);
    }
}

std::vector<uint32_t> DrawTriScene(const TriScene& s) {
    GuardedImage source(s.destType, s.sw, s.sh, s.alphaSource ? 1 : 0, s.paletted ? 1 : 0, s.key);
    if (!s.solid) {
        source.SetPixels(s.source);
    }
    for (size_t i = 0; i < s.palette.size(); ++i) {
        const size_t entry = s.destType == kMemImgRgb32 ? 4 : 2;
        std::memcpy(source.base()->palette + entry * i, &s.palette[i], entry);
    }
    GuardedImage dest(s.destType, s.dw, s.dh);
    std::vector<uint32_t> start = s.dest;
    if (s.destType == kMemImgRgb565) {
        for (uint32_t& v : start) {
            v &= 0xFFFF;
        }
    }
    dest.SetPixels(start);
    GuardedImage mask(kMemImgGray8, s.sw, s.sh);
    if (s.useMask) {
        mask.SetPixels(s.mask);
    }
    IdentityFade();
    const SoftDrawState state{s.mode, s.p, s.brightness, s.area, &g_blendTables};
    for (const Triangle& t : s.triangles) {
        MemImgTexturedTriangle(state, dest.image(), s.solid ? nullptr : source.image(), t.data(),
                               s.trans, s.useMask ? mask.image() : nullptr, s.colour);
    }
    EXPECT_TRUE(dest.GuardsIntact());
    EXPECT_TRUE(source.GuardsIntact());
    return dest.Pixels();
}

std::vector<uint32_t> ExpectTriScene(const TriScene& s) {
    std::vector<uint32_t> out = s.dest;
    if (s.destType == kMemImgRgb565) {
        for (uint32_t& v : out) {
            v &= 0xFFFF;
        }
    }
    oracle::TexturedPixel in{s.mode, s.p,          s.brightness, s.useMask,
                             0,      s.trans != 0, s.key,        s.alphaSource};
    const int64_t left = std::max<int64_t>(s.area.left, 0);
    const int64_t right = std::min<int64_t>(s.area.right, s.dw);
    const int64_t top = std::max<int64_t>(s.area.top, 0);
    const int64_t bottom = std::min<int64_t>(s.area.bottom, s.dh);
    for (const Triangle& t : s.triangles) {
        const oracle::TriPlaneModel plane = oracle::TrianglePlane(t.data());
        if (!s.solid && !plane.fits) {
            continue;
        }
        for (const oracle::TriRow& row : oracle::TriangleRows(t.data())) {
            if (row.y < top || row.y >= bottom) {
                continue;
            }
            for (int64_t x = std::max(row.left, left); x <= std::min(row.right, right - 1); ++x) {
                uint32_t& d = out[row.y * s.dw + x];
                if (s.solid) {
                    d = (s.destType == kMemImgRgb32 ? oracle::Solid32 : oracle::Solid565)(
                            s.mode, s.p, s.brightness, d, s.colour)
                            .value_or(d);
                    continue;
                }
                const uint32_t u = plane.U(x, row.y), v = plane.V(x, row.y);
                if (u >= uint32_t(s.sw) << 18 || v >= uint32_t(s.sh) << 18) {
                    continue;
                }
                const size_t at = (v >> 18) * size_t(s.sw) + (u >> 18);
                in.m = s.mask[at];
                d = TexturedPixel(s, in, d, s.source[at]).value_or(d);
            }
        }
    }
    return out;
}

void CheckTriScene(const TriScene& s) {
    const std::vector<uint32_t> got = DrawTriScene(s);
    const std::vector<uint32_t> want = ExpectTriScene(s);
    ASSERT_TRUE(got == want) << Differences(s, got, want);
}

std::string Differences(const TriScene& s, const std::vector<uint32_t>& got,
                        const std::vector<uint32_t>& want) {
    std::ostringstream out;
    int shown = 0;
    for (size_t i = 0; i < got.size() && shown < 6; ++i) {
        if (got[i] != want[i]) {
            out << i % s.dw << "," << i / s.dw << std::hex << " got " << got[i] << " want "
                << want[i] << " dest " << s.dest[i] << std::dec << "\n";
            ++shown;
        }
    }
    return out.str();
}

}  // namespace tessel::kit
