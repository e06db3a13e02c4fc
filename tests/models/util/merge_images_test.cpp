// A texture's images from its files: white for a missing colour file, height
// maps turned into normal maps, sides grown to powers of two, both images
// turned.
#include "images/image_loader.h"
#include "models/util/mesh_utilities.h"
#include "tests/images/image_test_support.h"
#include "tests/models/model_test_support.h"

namespace tessel_test {
namespace {

using MergeImagesTest = ModelSystemTest;

// A 24-bit PNG whose pixels come from colour(x, y) as 0xRRGGBB.
template <typename F>
Bytes RgbPng(int width, int height, F colour) {
    PngRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint32_t c = colour(x, y);
            recipe.rows.push_back(static_cast<uint8_t>(c >> 16));
            recipe.rows.push_back(static_cast<uint8_t>(c >> 8));
            recipe.rows.push_back(static_cast<uint8_t>(c));
        }
    }
    return MakePng(recipe);
}

uint32_t Rgb(tessel::BASEIMAGE* image, int x, int y) {
    int r = 0, g = 0, b = 0;
    tessel::ReadImagePixel(image, x, y, &r, &g, &b, nullptr);
    return (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

// The normal-map rule in double precision with its own normalisation.
uint32_t NormalOracle(int here, int right, int below, float scale) {
    float s = scale < 1e-6f ? 1e-6f : scale;
    float hx = static_cast<float>(right - here) / 255.0f;
    float hy = static_cast<float>(below - here) / 255.0f;
    double x = -hx * s;
    double y = -hy * s;
    double z = static_cast<double>(s * s);
    double length =
        std::sqrt(static_cast<double>(static_cast<float>(x)) * static_cast<float>(x) +
                  static_cast<double>(static_cast<float>(y)) * static_cast<float>(y) + z * z);
    auto channel = [&](double c) {
        float unit = static_cast<float>(c / length);
        return static_cast<uint32_t>(static_cast<int>((unit + 1.0f) * 127.5f));
    };
    return (channel(static_cast<float>(x)) << 16) | (channel(static_cast<float>(y)) << 8) |
           channel(z);
}

TEST_F(MergeImagesTest, AFlatHeightMapIsTheUpNormal) {
    Bytes flat = RgbPng(4, 4, [](int, int) { return 0x808080u; });
    tessel::BASEIMAGE colour = {};
    tessel::BASEIMAGE alpha = {};
    ASSERT_EQ(
        tessel::MergeColorAndAlphaImages(&colour, &alpha, flat.data(),
                                         static_cast<int>(flat.size()), nullptr, 0, 1, 2.0f, 0),
        0);
    EXPECT_EQ(alpha.pixels, nullptr);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(Rgb(&colour, x, y), 0x7F7FFFu) << x << "," << y;
        }
    }
    tessel::ReleaseImageBuffer(&colour);
}

TEST_F(MergeImagesTest, SlopesFollowTheNormalRuleWrappingAtTheEdges) {
    auto height = [](int x, int y) { return (x * 37 + y * y * 11) & 0xFF; };
    Bytes map = RgbPng(8, 4, [&](int x, int y) { return uint32_t(height(x, y)) << 16 | 0x1234; });
    for (float scale : {1.0f, 3.5f, 0.0f}) {
        SCOPED_TRACE(scale);
        tessel::BASEIMAGE colour = {};
        tessel::BASEIMAGE alpha = {};
        ASSERT_EQ(
            tessel::MergeColorAndAlphaImages(&colour, &alpha, map.data(),
                                             static_cast<int>(map.size()), nullptr, 0, 1, scale, 0),
            0);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 8; ++x) {
                uint32_t expected = NormalOracle(height(x, y), height((x + 1) % 8, y),
                                                 height(x, (y + 1) % 4), scale);
                ASSERT_EQ(Rgb(&colour, x, y), expected) << x << "," << y;
            }
        }
        tessel::ReleaseImageBuffer(&colour);
    }
}

TEST_F(MergeImagesTest, SidesThatAreNotPowersOfTwoGrowToTheNextOnes) {
    const struct {
        int width, height, maxSide;
        int expectedWidth, expectedHeight;
    } cases[] = {
        {300, 200, 4096, 512, 256}, {256, 64, 4096, 256, 64}, {300, 200, 512, 256, 256},
        {33, 16, 0, 64, 16},  // a device that reports nothing counts as 256
        {300, 200, 0, 128, 128},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " max " << c.maxSide);
        tessel::g_graphics.deviceCaps.MaxTextureWidth = static_cast<DWORD>(c.maxSide);
        tessel::g_graphics.deviceCaps.MaxTextureHeight = static_cast<DWORD>(c.maxSide);
        Bytes file =
            RgbPng(c.width, c.height, [](int x, int y) { return uint32_t(x ^ y) * 0x10101u; });
        tessel::BASEIMAGE colour = {};
        tessel::BASEIMAGE alpha = {};
        ASSERT_EQ(tessel::MergeColorAndAlphaImages(&colour, &alpha, file.data(),
                                                   static_cast<int>(file.size()), file.data(),
                                                   static_cast<int>(file.size()), 0, 0.0f, 0),
                  0);
        EXPECT_EQ(colour.width, c.expectedWidth);
        EXPECT_EQ(colour.height, c.expectedHeight);
        EXPECT_EQ(alpha.width, c.expectedWidth);
        EXPECT_EQ(alpha.height, c.expectedHeight);
        tessel::ReleaseImageBuffer(&colour);
        tessel::ReleaseImageBuffer(&alpha);
    }
}

TEST_F(MergeImagesTest, WithoutAColourFileTheColourIsOpaqueWhiteOfTheAlphaSize) {
    Bytes alphaFile = RgbPng(4, 2, [](int x, int) { return uint32_t(x) * 0x404040u; });
    tessel::BASEIMAGE colour = {};
    tessel::BASEIMAGE alpha = {};
    ASSERT_EQ(tessel::MergeColorAndAlphaImages(&colour, &alpha, nullptr, 0, alphaFile.data(),
                                               static_cast<int>(alphaFile.size()), 0, 0.0f, 0),
              0);
    EXPECT_EQ(colour.width, 4);
    EXPECT_EQ(colour.height, 2);
    EXPECT_EQ(colour.format.bits, 32);
    EXPECT_EQ(Rgb(&colour, 3, 1), 0xFFFFFFu);
    EXPECT_EQ(colour.pixels[0], 0xFF);
    EXPECT_EQ(colour.pixels[3], 0xFF);
    EXPECT_EQ(Rgb(&alpha, 2, 0), 0x808080u);
    tessel::ReleaseImageBuffer(&colour);
    tessel::ReleaseImageBuffer(&alpha);
}

TEST_F(MergeImagesTest, TheRotateFlagTurnsBothImages) {
    auto colourOf = [](int x, int y) { return uint32_t(x * 40 + 1) << 16 | uint32_t(y * 60 + 2); };
    Bytes file = RgbPng(4, 2, colourOf);
    tessel::BASEIMAGE colour = {};
    tessel::BASEIMAGE alpha = {};
    ASSERT_EQ(tessel::MergeColorAndAlphaImages(&colour, &alpha, file.data(),
                                               static_cast<int>(file.size()), file.data(),
                                               static_cast<int>(file.size()), 0, 0.0f, 1),
              0);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(Rgb(&colour, x, y), colourOf(3 - x, 1 - y)) << x << "," << y;
            EXPECT_EQ(Rgb(&alpha, x, y), colourOf(3 - x, 1 - y)) << x << "," << y;
        }
    }
    tessel::ReleaseImageBuffer(&colour);
    tessel::ReleaseImageBuffer(&alpha);
}

TEST_F(MergeImagesTest, AFileThatDoesNotDecodeFailsAndLeavesNothingMade) {
    Bytes good = RgbPng(3, 3, [](int, int) { return 0x102030u; });
    const Bytes bad = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
    const uint32_t before = tessel::TrackedBlockCount();
    const struct {
        const char* what;
        const Bytes* colour;
        const Bytes* alpha;
    } cases[] = {
        {"bad colour", &bad, &good}, {"bad alpha", &good, &bad}, {"no file", nullptr, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        tessel::BASEIMAGE colour = {};
        tessel::BASEIMAGE alpha = {};
        EXPECT_EQ(tessel::MergeColorAndAlphaImages(
                      &colour, &alpha, c.colour ? c.colour->data() : nullptr,
                      c.colour ? static_cast<int>(c.colour->size()) : 0,
                      c.alpha ? c.alpha->data() : nullptr,
                      c.alpha ? static_cast<int>(c.alpha->size()) : 0, 0, 0.0f, 0),
                  -1);
        EXPECT_EQ(colour.pixels, nullptr);
        EXPECT_EQ(alpha.pixels, nullptr);
        EXPECT_EQ(tessel::TrackedBlockCount(), before);
    }
}

}  // namespace
}  // namespace tessel_test
