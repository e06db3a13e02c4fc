// The blended fill: the rules' worked examples, the rectangle rules, the refusals,
// and random fills against the oracle with the guard bands intact.
#include "softrender/blend_fill.h"

#include <gtest/gtest.h>

#include "softrender/kit.h"
#include "softrender/oracle.h"

namespace tessel {
namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b, uint32_t top = 0) {
    return (top << 24) | (r << 16) | (g << 8) | b;
}
uint32_t Rgb565(uint32_t r, uint32_t g, uint32_t b) {
    return (r << 11) | (g << 5) | b;
}

SoftDrawState State(uint32_t mode, int p, uint32_t brightness, const RECT& area) {
    SoftDrawState s = DefaultSoftDrawState(area);
    s.blendMode = mode;
    s.blendParam = p;
    s.brightness = brightness;
    return s;
}

// One pixel of the given depth filled over the whole 1x1 image.
uint32_t FillOne(uint32_t colorType, uint32_t mode, int p, uint32_t brightness, uint32_t d,
                 uint32_t colour) {
    kit::GuardedImage image(colorType, 1, 1);
    image.Set(0, 0, d);
    MemImgBlendFill(State(mode, p, brightness, RECT{0, 0, 1, 1}), image.image(), nullptr, colour);
    EXPECT_TRUE(image.GuardsIntact());
    return image.Get(0, 0);
}

struct Example {
    const char* what;
    uint32_t colorType, mode;
    int p;
    uint32_t brightness, d, colour, want;
};

TEST(BlendFill, TheWorkedExamplesHold) {
    const Example examples[] = {
        {"mode 1 at 255 stores the colour, top byte too", 1, 1, 255, kWhite, Rgb(1, 2, 3, 4),
         Rgb(9, 8, 7, 0xEE), Rgb(9, 8, 7, 0xEE)},
        {"mode 1 at 0 changes nothing", 1, 1, 0, kWhite, Rgb(1, 2, 3, 4), Rgb(9, 8, 7),
         Rgb(1, 2, 3, 4)},
        {"mode 4 at 0 still multiplies", 1, 4, 0, kWhite, Rgb(200, 100, 255, 9), Rgb(128, 255, 255),
         Rgb(100, 99, 254, 9)},
        {"mode 10 at 0 keeps the pixel", 1, 10, 0, kWhite, Rgb(5, 6, 7, 8), Rgb(0, 0, 0),
         Rgb(5, 6, 7, 8)},
        {"mode 11 at 0 keeps the pixel", 1, 11, 0, kWhite, Rgb(5, 6, 7, 8), Rgb(0, 0, 0),
         Rgb(5, 6, 7, 8)},
        {"32-bit alpha floors over 256", 1, 1, 128, kWhite, Rgb(0, 0, 0), Rgb(255, 255, 255),
         Rgb(127, 127, 127)},
        {"16-bit alpha truncates over 255", 0, 1, 128, kWhite, Rgb565(0, 0, 0), Rgb565(31, 0, 0),
         Rgb565(15, 0, 0)},
        {"add: green and red at half precision", 1, 2, 255, kWhite, Rgb(1, 1, 1), Rgb(1, 1, 1),
         Rgb(1, 1, 2)},
        {"add: blue saturates into green's low bit", 1, 2, 255, kWhite, Rgb(0, 0, 255),
         Rgb(0, 0, 1), Rgb(0, 1, 255)},
        {"add: red without saturation", 1, 2, 255, kWhite, Rgb(255, 0, 0), Rgb(1, 0, 0),
         Rgb(255, 0, 0, 0)},
        {"add: red saturating sets the top byte", 1, 2, 255, kWhite, Rgb(255, 0, 0), Rgb(2, 0, 0),
         Rgb(255, 0, 0, 1)},
        {"subtract: low bits follow the borrows", 1, 3, 255, kWhite, Rgb(128, 128, 128, 7),
         Rgb(1, 1, 1), Rgb(129, 129, 127, 0)},
        {"subtract: blue borrowing", 1, 3, 255, kWhite, Rgb(0, 0, 0, 3), Rgb(0, 0, 1),
         Rgb(1, 0, 0, 0)},
        {"16-bit subtract of black turns white", 0, 3, 1, kWhite, Rgb565(31, 63, 31),
         Rgb565(0, 0, 0), Rgb565(31, 62, 31)},
        {"16-bit add at 255", 0, 2, 255, kWhite, Rgb565(1, 1, 1), Rgb565(1, 1, 1), Rgb565(1, 1, 2)},
        {"brightness 255 255 255 is white", 1, 0, 0, Rgb(255, 255, 255), 0, Rgb(255, 255, 255, 3),
         Rgb(255, 255, 255, 3)},
        {"brightness 255 255 254 dims all three", 1, 0, 0, Rgb(255, 255, 254), 0,
         Rgb(255, 255, 255, 3), Rgb(254, 254, 253, 3)},
        {"mode 7 changes nothing", 1, 7, 128, kWhite, Rgb(1, 2, 3), Rgb(9, 9, 9), Rgb(1, 2, 3)},
        {"mode 12 changes nothing", 0, 12, 128, kWhite, 0x1234, 0xFFFF, 0x1234},
        {"mode -1 changes nothing", 1, 0xFFFFFFFFu, 128, kWhite, Rgb(1, 2, 3), Rgb(9, 9, 9),
         Rgb(1, 2, 3)},
    };
    for (const Example& e : examples) {
        SCOPED_TRACE(e.what);
        EXPECT_EQ(FillOne(e.colorType, e.mode, e.p, e.brightness, e.d, e.colour), e.want);
    }
}

TEST(BlendFill, ExclusiveCornersAndReversedRectanglesFillTheSamePixels) {
    struct Case {
        RECT rect;
        int changed;
    };
    const Case cases[] = {
        {{2, 3, 5, 4}, 3},     {{5, 4, 2, 3}, 3},           {{5, 3, 2, 4}, 3}, {{2, 3, 2, 9}, 0},
        {{-9, -9, -1, 20}, 0}, {{-9, -9, 100, 100}, 7 * 5},  // the draw area cuts it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rect.left << "," << c.rect.top << "," << c.rect.right
                                        << "," << c.rect.bottom);
        kit::GuardedImage image(1, 8, 6);
        MemImgBlendFill(State(0, 255, kWhite, RECT{1, 1, 8, 6}), image.image(), &c.rect, 0xCAFEu);
        int changed = 0;
        for (int y = 0; y < 6; ++y) {
            for (int x = 0; x < 8; ++x) {
                changed += image.Get(x, y) != 0;
            }
        }
        EXPECT_EQ(changed, c.changed);
        EXPECT_TRUE(image.GuardsIntact());
        if (c.changed == 3) {
            EXPECT_EQ(image.Get(2, 3), 0xCAFEu);
            EXPECT_EQ(image.Get(4, 3), 0xCAFEu);
        }
    }
}

TEST(BlendFill, RefusedDestinationsStayUntouched) {
    struct Case {
        const char* what;
        uint32_t colorType;
        int alpha, palette;
    };
    const Case cases[] = {
        {"paletted", 1, 0, 1},          {"alpha", 1, 1, 0},
        {"16-bit alpha", 0, 1, 0},      {"single channel 8", 2, 0, 0},
        {"single channel 16", 3, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        kit::GuardedImage image(c.colorType, 4, 4, c.alpha, c.palette);
        MemImgBlendFill(State(0, 255, kWhite, RECT{0, 0, 4, 4}), image.image(), nullptr,
                        0xFFFFFFFF);
        for (uint32_t v : image.Pixels()) {
            EXPECT_EQ(v, 0u);
        }
        EXPECT_TRUE(image.GuardsIntact());
    }
}

TEST(BlendFill, ADrawAreaLargerThanTheViewStopsAtTheView) {
    kit::GuardedImage image(0, 5, 3);
    const RECT rect{-5, -5, 20, 20};
    MemImgBlendFill(State(2, 200, kWhite, RECT{-10, -10, 40, 40}), image.image(), &rect, 0xFFFF);
    EXPECT_TRUE(image.GuardsIntact());
    EXPECT_EQ(image.Get(4, 2), oracle::Fill565(2, 200, kWhite, 0, 0xFFFF).value());
}

// Random rectangles, modes, parameters and brightness on both depths; every
// pixel inside must be the oracle's, every pixel outside unchanged.
TEST(BlendFill, RandomFillsMatchTheOracle) {
    kit::BiasedRandom random(2024);
    const uint32_t modes[] = {0, 1, 2, 3, 4, 5, 9, 10, 11, 12};
    for (int round = 0; round < 3000; ++round) {
        const uint32_t colorType = random.Below(2);
        const int width = random.Between(1, 37);
        const int height = random.Between(1, 9);
        kit::GuardedImage image(colorType, width, height);
        std::vector<uint32_t> before;
        for (int i = 0; i < width * height; ++i) {
            before.push_back(colorType == 1 ? random.Pixel32() : random.Pixel565());
        }
        image.SetPixels(before);
        const uint32_t mode = modes[random.Below(10)];
        const int p = static_cast<int>(random.Byte());
        const uint32_t brightness =
            random.Below(3) == 0 ? kWhite
                                 : (random.Byte() << 16 | random.Byte() << 8 | random.Byte());
        const uint32_t colour = colorType == 1 ? random.Pixel32() : random.Pixel565();
        const RECT area{random.Between(0, width - 1), random.Between(0, height - 1), 0, 0};
        const RECT clip{area.left, area.top, random.Between(area.left, width),
                        random.Between(area.top, height)};
        const RECT rect{random.Between(-3, width + 3), random.Between(-3, height + 3),
                        random.Between(-3, width + 3), random.Between(-3, height + 3)};
        SCOPED_TRACE(testing::Message()
                     << "round " << round << " type " << colorType << " mode " << mode << " p " << p
                     << " brightness " << std::hex << brightness << " colour " << colour);
        MemImgBlendFill(State(mode, p, brightness, clip), image.image(), &rect, colour);
        ASSERT_TRUE(image.GuardsIntact());
        const int left = std::max({std::min(rect.left, rect.right), clip.left, LONG{0}});
        const int right = std::min({std::max(rect.left, rect.right), clip.right, LONG(width)});
        const int top = std::max({std::min(rect.top, rect.bottom), clip.top, LONG{0}});
        const int bottom = std::min({std::max(rect.top, rect.bottom), clip.bottom, LONG(height)});
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const uint32_t d = before[y * width + x];
                std::optional<uint32_t> want = d;
                if (x >= left && x < right && y >= top && y < bottom) {
                    want = colorType == 1 ? oracle::Fill32(mode, p, brightness, d, colour)
                                          : oracle::Fill565(mode, p, brightness, d, colour);
                }
                ASSERT_EQ(image.Get(x, y), want.value_or(d)) << "at " << x << "," << y;
            }
        }
    }
}

TEST(BlendFill, EveryParameterAndModeMatchesTheOracleOnEveryDestinationValue) {
    // The RGB565 fill on all 65,536 destination values for a spread of colours
    // and parameters, so each field table entry is reached.
    kit::BiasedRandom random(99);
    kit::GuardedImage image(0, 256, 256);
    std::vector<uint32_t> all(65536);
    for (uint32_t i = 0; i < 65536; ++i) {
        all[i] = i;
    }
    for (uint32_t mode : {1u, 2u, 3u, 4u, 10u, 11u}) {
        for (int round = 0; round < 6; ++round) {
            const int p = static_cast<int>(random.Byte());
            const uint32_t colour = random.Pixel565();
            const uint32_t brightness = round % 2 ? kWhite : 0x80FF7F;
            image.SetPixels(all);
            MemImgBlendFill(State(mode, p, brightness, RECT{0, 0, 256, 256}), image.image(),
                            nullptr, colour);
            for (uint32_t i = 0; i < 65536; ++i) {
                ASSERT_EQ(image.Get(i % 256, i / 256),
                          oracle::Fill565(mode, p, brightness, i, colour).value_or(i))
                    << "mode " << mode << " p " << p << " d " << i;
            }
        }
    }
    EXPECT_TRUE(image.GuardsIntact());
    kit::DumpPng(image.image(), "fill565_last");
}

}  // namespace
}  // namespace tessel
