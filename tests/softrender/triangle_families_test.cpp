// The textured triangle families of RGB565 targets and paletted sources
// against the oracle (every mode and flag set, random scenes with clipping
// and guard bands), their texel mapping against the 32-bit family's, and
// nothing read past a source, its palette or a mask.
#include <gtest/gtest.h>

#include <cstring>

#include "softrender/blit_kit.h"
#include "softrender/triangle.h"
#include "softrender/triangle_scene.h"
#include "tests/support/full_size_runs.h"

namespace tessel {
namespace {

using kit::Triangle;

#if TESSEL_FULL_SIZE_RUNS
constexpr int kRounds = 1;
#else
constexpr int kRounds = 0;  // sanitizer builds: a few scenes per case only
#endif

using kit::CheckTriScene;
using kit::kDrawnModes;

struct Kind {
    const char* name;
    uint32_t type;
    bool paletted;
    bool alpha;
};

constexpr Kind kKinds[] = {
    {"paletted onto 32-bit", kMemImgRgb32, true, false},
    {"paletted onto RGB565", kMemImgRgb565, true, false},
    {"RGB565", kMemImgRgb565, false, false},
    {"RGB565 with alpha", kMemImgRgb565, false, true},
};

// One triangle over the whole destination whose texels are u = x, v = y, so
// every texel is drawn once through the rule under test.
TEST(TexturedTriangleFamilies, MatchTheOracleForEveryModeAndFlagSet) {
    kit::BiasedRandom random(2201);
    constexpr int kSize = 40;
    for (const Kind& kind : kKinds) {
        for (uint32_t mode : kDrawnModes) {
            for (int flags = 0; flags < 8; ++flags) {
                const bool mask = flags & 1, white = flags & 2, trans = flags & 4;
                SCOPED_TRACE(testing::Message()
                             << kind.name << ", mode " << mode << " mask " << mask << " white "
                             << white << " trans " << trans);
                for (int round = 0; round <= 4 + 8 * kRounds; ++round) {
                    kit::TriScene s = kit::CoverScene(random, kSize);
                    kit::UseSourceKind(random, s, kind.type, kind.paletted, kind.alpha);
                    s.mode = mode;
                    s.useMask = mask;
                    s.trans = trans ? 1 : 0;
                    static constexpr int kSpecial[] = {0, 1, 128, 254, 255};
                    s.p = round < 5 ? kSpecial[round] : int(random.Byte());
                    if (!white) {
                        s.brightness = kit::NonWhiteBrightness(random);
                    }
                    ASSERT_NO_FATAL_FAILURE(CheckTriScene(s))
                        << "p " << s.p << std::hex << " brightness " << s.brightness << " key "
                        << s.key;
                }
            }
        }
    }
}

TEST(TexturedTriangleFamilies, RandomScenesOfOneToThreeTrianglesMatchTheOracle) {
    kit::BiasedRandom random(2202);
    for (const Kind& kind : kKinds) {
        for (int round = 0; round < 300 + 1200 * kRounds; ++round) {
            kit::TriScene s =
                kit::RandomTriScene(random, random.Between(1, 9), random.Between(1, 7),
                                    random.Between(1, 21), random.Between(1, 17));
            kit::RandomSettings(random, s);
            kit::UseSourceKind(random, s, kind.type, kind.paletted, kind.alpha);
            const int more = int(random.Below(3));
            for (int i = 0; i < more; ++i) {
                s.triangles.push_back(kit::RandomTriangle(random, s.sw, s.sh, s.dw, s.dh));
            }
            SCOPED_TRACE(testing::Message() << kind.name << ", round " << round << " mode "
                                            << s.mode << " p " << s.p << " trans " << s.trans);
            ASSERT_NO_FATAL_FAILURE(CheckTriScene(s));
        }
    }
}

// A source of each kind whose texel (x, y) shows as 1 + x + 16 y after a
// white copy (paletted: index x + 16 y with that entry; with alpha: opaque
// under the transparent flag) lands where the 32-bit direct source's does.
TEST(TexturedTriangleFamilies, MapTexelsExactlyAsTheThirtyTwoBitFamily) {
    struct Coded {
        const char* name;
        uint32_t type;
        bool paletted;
        bool alpha;
    };
    constexpr Coded kCoded[] = {{"32-bit", kMemImgRgb32, false, false},
                                {"32-bit with alpha", kMemImgRgb32, false, true},
                                {"paletted onto 32-bit", kMemImgRgb32, true, false},
                                {"paletted onto RGB565", kMemImgRgb565, true, false},
                                {"RGB565", kMemImgRgb565, false, false},
                                {"RGB565 with alpha", kMemImgRgb565, false, true}};
    kit::BiasedRandom random(2203);
    constexpr int kDw = 26, kDh = 20;
    for (int round = 0; round < 400; ++round) {
        const int sw = random.Between(1, 16), sh = random.Between(1, 16);
        kit::TriScene base{};
        base.sw = sw;
        base.sh = sh;
        base.dw = kDw;
        base.dh = kDh;
        base.area = RECT{random.Between(0, 6), random.Between(0, 6), random.Between(12, kDw),
                         random.Between(10, kDh)};
        base.triangles = {kit::RandomTriangle(random, sw, sh, kDw, kDh)};
        base.dest.assign(size_t(kDw) * kDh, 0);
        base.mask.assign(size_t(sw) * sh, 0);
        base.trans = 1;
        base.key = 0x7FFFFFFFu;  // matches no texel of any kind
        std::vector<uint32_t> reference;
        for (const Coded& c : kCoded) {
            SCOPED_TRACE(testing::Message() << "round " << round << ", " << c.name);
            kit::TriScene s = base;
            s.destType = c.type;
            s.paletted = c.paletted;
            s.alphaSource = c.alpha;
            if (c.paletted) {
                for (uint32_t i = 0; i < 256; ++i) {
                    s.palette.push_back(i + 1);
                }
            }
            for (int y = 0; y < sh; ++y) {
                for (int x = 0; x < sw; ++x) {
                    const uint32_t code = uint32_t(1 + x + 16 * y);
                    const uint32_t opaque = c.type == kMemImgRgb32 ? 0xFF000000u : 0x00FF0000u;
                    s.source.push_back(c.paletted ? code - 1 : code | (c.alpha ? opaque : 0));
                }
            }
            std::vector<uint32_t> got = kit::DrawTriScene(s);
            for (uint32_t& v : got) {
                v &= 0xFFFF;  // a 32-bit source with alpha also copies its alpha byte
            }
            if (reference.empty()) {
                reference = got;
                continue;
            }
            ASSERT_TRUE(got == reference) << kit::Differences(s, got, reference);
        }
    }
}

// Sources, palettes and masks with rows of their exact width: under the
// address sanitizer any read past one of them fails.
TEST(TexturedTriangleFamilies, ReadNothingBeyondTheSourceOrTheMask) {
    kit::BiasedRandom random(2204);
    kit::EnsureTables();
    for (const Kind& kind : kKinds) {
        for (int round = 0; round < 200; ++round) {
            const int sw = random.Between(1, 9), sh = random.Between(1, 5);
            const int bytes = MemImgBytesPerPixel(kind.type, kind.alpha, kind.paletted);
            MEMIMG src{}, mask{};
            ASSERT_EQ(MemImgCreate(&src, sw, sh, sw * bytes, random.Byte(), int(kind.type),
                                   kind.paletted, kind.alpha, 0, nullptr),
                      0);
            ASSERT_EQ(MemImgCreate(&mask, sw, sh, sw, 0, kMemImgGray8, 0, 0, 0, nullptr), 0);
            for (int i = 0; i < sw * bytes * sh; ++i) {
                src.pixels[i] = uint8_t(random.Byte());
            }
            std::memset(mask.pixels, 0x80, size_t(sw) * sh);
            kit::GuardedImage dest(kind.type, 12, 8);
            kit::TriScene settings{};
            kit::RandomSettings(random, settings);
            const SoftDrawState state{settings.mode, settings.p, settings.brightness,
                                      RECT{0, 0, 12, 8}, &g_blendTables};
            const Triangle t = kit::RandomTriangle(random, sw, sh, 12, 8);
            MemImgTexturedTriangle(state, dest.image(), &src, t.data(), settings.trans,
                                   settings.useMask ? &mask : nullptr, 0);
            EXPECT_TRUE(dest.GuardsIntact());
            MemImgRelease(&src);
            MemImgRelease(&mask);
        }
    }
}

// A paletted base that lost its palette draws nothing rather than reading
// through a null pointer.
TEST(TexturedTriangleFamilies, DrawNothingFromAPalettedSourceWithoutItsPalette) {
    for (uint32_t type : {kMemImgRgb32, kMemImgRgb565}) {
        kit::GuardedImage source(type, 4, 4, 0, 1);
        kit::GuardedImage dest(type, 8, 8);
        dest.SetPixels(std::vector<uint32_t>(64, 0x1234));
        uint8_t* palette = source.base()->palette;
        source.base()->palette = nullptr;
        const Triangle t{{{0, 0, 0, 0}, {8, 0, 4, 0}, {0, 8, 0, 4}}};
        MemImgTexturedTriangle(DefaultSoftDrawState(RECT{0, 0, 8, 8}), dest.image(), source.image(),
                               t.data(), 0, nullptr, 0);
        source.base()->palette = palette;
        EXPECT_EQ(dest.Pixels(), std::vector<uint32_t>(64, 0x1234)) << "type " << type;
    }
}

}  // namespace
}  // namespace tessel
