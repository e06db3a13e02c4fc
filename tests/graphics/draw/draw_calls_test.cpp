// The public drawing calls on both paths, read back by pixel: placement, mirroring, parts, pivots,
// masks and boxes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "foundation/math/matrix.h"
#include "graphics/batch/vertex_batch.h"
#include "graphics/device/device_state.h"
#include "graphics/device/shader_pack.h"
#include "graphics/draw/draw_calls.h"
#include "graphics/memimg/memimg.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "graphics/targets/draw_targets.h"
#include "platform/types.h"
#include "softrender/draw_state.h"
#include "tests/graphics/images/image_test_support.h"

using namespace tessel;

namespace {

// Non-round colours so that a shifted or mirrored pixel never matches by chance.
uint32_t Pattern(int x, int y) {
    return 0xFF000000u | (uint32_t(x * 7 + 13) << 16) | (uint32_t(y * 11 + 5) << 8) |
           uint32_t((x * y + 41) & 0xFF);
}

class DrawCallsTest : public tessel_test::BothPathsImageTest {
  protected:
    void SetUp() override {
        BothPathsImageTest::SetUp();
        if (!GetParam()) {
            ASSERT_TRUE(tessel_test::AttachSoftScreen(&target_));
        }
    }
    void TearDown() override {
        if (!GetParam()) {
            tessel_test::DetachSoftScreen(&target_);
        }
        SetImageBlendMode(0, 255);
        SetImageBrightness(255, 255, 255);
        BothPathsImageTest::TearDown();
    }
    int MakeImage(int w, int h) {
        BASEIMAGE base = MakeArgb(w, h, Pattern, false);
        const int handle = CreateImageFromBaseImage(&base);
        ReleaseImageBuffer(&base);
        return handle;
    }
    // The drawn pixel as 0xRRGGBB.
    uint32_t Screen(int x, int y) { return tessel_test::ScreenPixel(GetParam(), target_, x, y); }
    // A box colour in the target's pixel format: the screen's on the device,
    // the 32-bit test target's on the software path.
    uint32_t BoxColour(int r, int g, int b) {
        return GetParam() ? ColorToScreenPixel(uint8_t(r), uint8_t(g), uint8_t(b))
                          : uint32_t(r << 16 | g << 8 | b);
    }
    void ClearScreen() { FillBoxArea(0, 0, 640, 480, ColorToScreenPixel(0, 0, 0)); }
    MEMIMG target_;
};

TEST_P(DrawCallsTest, AnImageAtAPointReproducesItselfPixelForPixel) {
    const int h = MakeImage(32, 32);
    ASSERT_NE(h, -1);
    ClearScreen();
    ASSERT_EQ(DrawImageAt(20, 30, h, 0), 0);
    for (int y = -1; y <= 32; ++y) {
        for (int x = -1; x <= 32; ++x) {
            const bool inside = x >= 0 && x < 32 && y >= 0 && y < 32;
            ASSERT_EQ(Screen(20 + x, 30 + y), inside ? Pattern(x, y) & 0xFFFFFF : 0u)
                << x << "," << y;
        }
    }
}

TEST_P(DrawCallsTest, SwappedCornersAndTheMirroredCallsDrawTheImageMirrored) {
    const int h = MakeImage(8, 4);
    struct Case {
        const char* name;
        int (*draw)(int);
    };
    const Case cases[] = {
        {"stretched", [](int image) { return DrawImageStretched(28, 10, 20, 14, image, 0); }},
        {"mirrored", [](int image) { return DrawImageMirrored(20, 10, image, 0); }},
        {"mirrored float", [](int image) { return DrawImageMirroredF(20.0f, 10.0f, image, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearScreen();
        ASSERT_EQ(c.draw(h), 0);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 8; ++x) {
                ASSERT_EQ(Screen(20 + x, 10 + y), Pattern(7 - x, y) & 0xFFFFFF) << x << "," << y;
            }
        }
        EXPECT_EQ(Screen(19, 10), 0u);
        EXPECT_EQ(Screen(28, 10), 0u);
    }
}

TEST_P(DrawCallsTest, APartDrawsOnlyItsSourceColumnsAndLeavesTheDrawAreaAsItWas) {
    const int h = MakeImage(32, 16);
    SetClipRegion(0, 0, 400, 300);
    const RECT before = g_drawSettings.drawArea;
    for (int mirror = 0; mirror < 2; ++mirror) {
        SCOPED_TRACE(mirror);
        ClearScreen();
        ASSERT_EQ(DrawImagePart(100, 100, 8, 0, 16, 16, h, 0, mirror), 0);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const int source = mirror ? 8 + 15 - x : 8 + x;
                ASSERT_EQ(Screen(100 + x, 100 + y), Pattern(source, y) & 0xFFFFFF) << x << "," << y;
            }
            ASSERT_EQ(Screen(99, 100 + y), 0u);
            ASSERT_EQ(Screen(116, 100 + y), 0u);
        }
        EXPECT_EQ(std::memcmp(&g_drawSettings.drawArea, &before, sizeof before), 0);
        EXPECT_EQ(g_drawSettings.drawAreaF[2], 400.0f);
    }
}

TEST_P(DrawCallsTest, APivotAtAngleZeroAndScaleOneDrawsAsAtAPoint) {
    const int h = MakeImage(16, 16);
    ClearScreen();
    ASSERT_EQ(DrawImagePivotRotatedF(50.0f, 60.0f, 3.0f, 4.0f, 1.0, 0.0, h, 0, 0), 0);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            ASSERT_EQ(Screen(47 + x, 56 + y), Pattern(x, y) & 0xFFFFFF) << x << "," << y;
        }
    }
    EXPECT_EQ(Screen(46, 56), 0u);
}

TEST_P(DrawCallsTest, ABoxFillsItsOrderedCornersAndNothingElse) {
    ClearScreen();
    const uint32_t red = BoxColour(200, 30, 7);
    ASSERT_EQ(FillBoxArea(50, 50, 10, 10, red), 0);
    EXPECT_EQ(Screen(10, 10), 0xC81E07u);
    EXPECT_EQ(Screen(49, 49), 0xC81E07u);
    EXPECT_EQ(Screen(50, 50), 0u);
    EXPECT_EQ(Screen(9, 10), 0u);
    ASSERT_EQ(DrawBoxShape(100, 100, 104, 103, red, 0), 0);
    EXPECT_EQ(Screen(101, 101), 0u) << "an outline leaves its inside";
    EXPECT_EQ(Screen(103, 101), 0xC81E07u);
}

TEST_P(DrawCallsTest, ABlendMaskSmallerThanTheImageRefusesEveryCheckedDraw) {
    const int h = MakeImage(16, 16);
    const int small = MakeImage(8, 16);
    g_drawSettings.blendMaskImage = small;
    EXPECT_EQ(DrawImageAt(0, 0, h, 0), -1);
    EXPECT_EQ(DrawImageAtF(0, 0, h, 0), -1);
    EXPECT_EQ(DrawImageStretched(0, 0, 5, 5, h, 0), -1);
    EXPECT_EQ(DrawImageRotatedF(20, 20, 1.0, 0.3, h, 0, 0), -1);
    g_drawSettings.blendMaskImage = -1;
}

TEST_P(DrawCallsTest, BadHandlesAreRefusedEvenByTheLeanRotatedForm) {
    const int h = MakeImage(4, 4);
    ASSERT_EQ(ReleaseImageHandle(h), 0);
    const int bad[] = {h, -1, 12345, kImageHandleKind | 30000, kImageHandleKind | 0xFFFF};
    for (int handle : bad) {
        SCOPED_TRACE(handle);
        EXPECT_EQ(DrawImageRotatedAltF(10, 10, 1.0, 0.5, handle), -1);
        EXPECT_EQ(DrawImageAt(10, 10, handle, 0), -1);
        EXPECT_EQ(DrawImageMirrored(10, 10, handle, 0), -1);
    }
}

TEST_P(DrawCallsTest, AnEmptyDrawAreaDrawsNothing) {
    const int h = MakeImage(4, 4);
    ClearScreen();
    SetClipRegion(10, 10, 10, 20);
    EXPECT_EQ(DrawImageAt(10, 10, h, 0), 0);
    EXPECT_EQ(FillBoxArea(0, 0, 30, 30, ColorToScreenPixel(255, 255, 255)), 0);
    SetClipRegionWhole();
    EXPECT_EQ(Screen(10, 10), 0u);
}

TEST_P(DrawCallsTest, APolygonListDrawsOnlyOnTheHardwarePath) {
    ClearScreen();
    const PolygonVertex strip[4] = {{10, 10, 0, 0, 0x30, 0x60, 0x90, 0xFF},
                                    {30, 10, 0, 0, 0x30, 0x60, 0x90, 0xFF},
                                    {10, 30, 0, 0, 0x30, 0x60, 0x90, 0xFF},
                                    {30, 30, 0, 0, 0x30, 0x60, 0x90, 0xFF}};
    EXPECT_EQ(DrawPolygonList(strip, 4, 5, kNoPolygonImage, 0, 0), 0);
    EXPECT_EQ(Screen(20, 20), GetParam() ? 0x906030u : 0u);
    EXPECT_EQ(Screen(35, 20), 0u);
    EXPECT_EQ(DrawPolygonList(strip, 4, 5, 12345, 0, 0), -1);
    EXPECT_EQ(DrawPolygonList(strip, 0, 5, kNoPolygonImage, 0, 0), -1);
    EXPECT_EQ(DrawPolygonList(strip, 4, 9, kNoPolygonImage, 0, 0), -1);
}

TEST_P(DrawCallsTest, AnImageOnFourCornersOfItsOwnSizeReproducesItselfAndATrapezoidStaysInside) {
    const int h = MakeImage(16, 16);
    ClearScreen();
    // Top-left, top-right, bottom-right, bottom-left.
    ASSERT_EQ(DrawImageQuadF(20, 20, 36, 20, 36, 36, 20, 36, h, 0), 0);
    for (int y = -1; y <= 16; ++y) {
        for (int x = -1; x <= 16; ++x) {
            const bool inside = x >= 0 && x < 16 && y >= 0 && y < 16;
            ASSERT_EQ(Screen(20 + x, 20 + y), inside ? Pattern(x, y) & 0xFFFFFF : 0u)
                << x << "," << y;
        }
    }
    ASSERT_EQ(DrawImageQuadF(120, 100, 140, 100, 150, 130, 110, 130, h, 0), 0);
    const int inside[][2] = {{130, 101}, {130, 115}, {115, 128}, {146, 128}};
    for (const auto& p : inside) {
        EXPECT_NE(Screen(p[0], p[1]), 0u) << p[0] << "," << p[1];
    }
    const int outside[][2] = {{112, 102}, {146, 102}, {130, 99}, {130, 131}};
    for (const auto& p : outside) {
        EXPECT_EQ(Screen(p[0], p[1]), 0u) << p[0] << "," << p[1];
    }
    EXPECT_EQ(DrawImageQuadF(20, 20, 36, 20, 36, 36, 20, 36, 12345, 0), -1);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, DrawCallsTest, ::testing::Bool(), tessel_test::PathName);

using SoftwareDrawTest = tessel_test::ImageTest;

TEST_F(SoftwareDrawTest, AFloatPointIsTruncatedOnTheSoftwarePath) {
    Start(false);
    MEMIMG target = {};
    ASSERT_EQ(MemImgCreateDefault(&target, 64, 64, kMemImgRgb32), 0);
    MemImgFillRect(&target, nullptr, 0);
    g_targets.currentSoftTarget = &target;
    BASEIMAGE base = MakeArgb(4, 4, Pattern, false);
    const int h = CreateImageFromBaseImage(&base);
    ReleaseImageBuffer(&base);
    EXPECT_EQ(DrawImageAtF(10.9f, -0.9f, h, 0), 0);
    uint32_t at = 0, before = 0;
    std::memcpy(&at, target.pixels + 10 * 4, 4);
    std::memcpy(&before, target.pixels + 9 * 4, 4);
    EXPECT_EQ(at & 0xFFFFFF, Pattern(0, 0) & 0xFFFFFF);
    EXPECT_EQ(before & 0xFFFFFF, 0u);
    g_targets.currentSoftTarget = nullptr;
    MemImgRelease(&target);
}

using HardwareDrawTest = tessel_test::ImageTest;
using BothPathsDrawTest = tessel_test::ImageTest;

// The caller's u, v run over the image, which sits in the top-left of a larger texture; the
// vertex colours, tinted by the brightness, modulate it.
TEST_F(HardwareDrawTest, APolygonListMapsImageRelativeCoordinatesAndTintsByItsVertices) {
    Start(true);
    BASEIMAGE base = MakeArgb(24, 20, Pattern, false);
    const int h = CreateImageFromBaseImage(&base);
    ReleaseImageBuffer(&base);
    const ImageRecord* record = GetImageRecord(h);
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(record->tileEntryCount, 1);
    ASSERT_EQ(record->tileEntries[0].tile->textureWidth, 32) << "the image must not fill it";
    auto strip = [](uint8_t r, uint8_t g, uint8_t b) {
        std::vector<PolygonVertex> v = {{9.5f, 9.5f, 0, 0, b, g, r, 0xFF},
                                        {33.5f, 9.5f, 1, 0, b, g, r, 0xFF},
                                        {9.5f, 29.5f, 0, 1, b, g, r, 0xFF},
                                        {33.5f, 29.5f, 1, 1, b, g, r, 0xFF}};
        return v;
    };
    auto screen = [](int x, int y) {
        FlushVertexBatch();
        return platform::ReadD3D9BackBufferPixel(g_graphics.device, x, y) & 0xFFFFFFu;
    };
    std::vector<PolygonVertex> white = strip(0xFF, 0xFF, 0xFF);
    ASSERT_EQ(DrawPolygonList(white.data(), 4, 5, h, 0, 1), 0);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 24; ++x) {
            ASSERT_EQ(screen(10 + x, 10 + y), Pattern(x, y) & 0xFFFFFF) << x << "," << y;
        }
    }
    // Without the flag u, v run over the whole texture: u = 12.5 / 24 reads column 16.
    ASSERT_EQ(DrawPolygonList(white.data(), 4, 5, h, 0, 0), 0);
    EXPECT_EQ(screen(22, 10), Pattern(16, 0) & 0xFFFFFF);
    // Red 0xC0 under a brightness of 128 becomes 0xC0 * 128 / 255 = 96 (truncated); the
    // texture is then modulated with rounding.
    SetImageBrightness(128, 255, 255);
    std::vector<PolygonVertex> tinted = strip(0xC0, 0x40, 0xFF);
    ASSERT_EQ(DrawPolygonList(tinted.data(), 4, 5, h, 0, 1), 0);
    SetImageBrightness(255, 255, 255);
    auto modulate = [](uint32_t c, uint32_t k) { return (c * k + 127) / 255; };
    for (int y = 0; y < 20; y += 7) {
        for (int x = 0; x < 24; x += 5) {
            const uint32_t p = Pattern(x, y);
            const uint32_t want = modulate((p >> 16) & 0xFF, 96) << 16 |
                                  modulate((p >> 8) & 0xFF, 0x40) << 8 | (p & 0xFF);
            ASSERT_EQ(screen(10 + x, 10 + y), want) << x << "," << y;
        }
    }
}

// Outside blend mode 0 a parameter below 255 makes a polygon list
// translucent: each vertex alpha a becomes a x parameter / 255, truncated; the
// colours stay under a white brightness. Mode 0 keeps the alpha.
TEST_F(HardwareDrawTest, APolygonListScalesItsAlphaByTheBlendParameter) {
    Start(true);
    const struct {
        int mode;
        int param;
        uint8_t alpha;
        uint8_t sent;
    } cases[] = {{1, 100, 200, 78}, {1, 255, 200, 200}, {2, 37, 255, 37}, {0, 100, 200, 200}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " param " << c.param);
        SetImageBlendMode(c.mode, c.param);
        std::vector<PolygonVertex> strip = {{10, 10, 0, 0, 50, 100, 201, c.alpha},
                                            {40, 10, 0, 0, 50, 100, 201, c.alpha},
                                            {10, 40, 0, 0, 50, 100, 201, c.alpha},
                                            {40, 40, 0, 0, 50, 100, 201, c.alpha}};
        platform::ClearD3D9Trace();
        platform::SetD3D9TraceRecording(true);
        ASSERT_EQ(DrawPolygonList(strip.data(), 4, 5, kNoPolygonImage, 0, 0), 0);
        platform::SetD3D9TraceRecording(false);
        std::vector<uint8_t> vertices;
        for (const platform::D3D9TraceEntry& entry : platform::D3D9Trace()) {
            if (entry.method == "DrawPrimitiveUP") {
                vertices = entry.vertices;
            }
        }
        ASSERT_EQ(vertices.size(), 4u * 28u);
        for (int i = 0; i < 4; ++i) {
            const uint8_t* colour = &vertices[static_cast<size_t>(i) * 28 + 16];
            EXPECT_EQ(colour[0], 50) << i;
            EXPECT_EQ(colour[1], 100) << i;
            EXPECT_EQ(colour[2], 201) << i;
            EXPECT_EQ(colour[3], c.sent) << i;
        }
    }
    SetImageBlendMode(0, 255);
}

// An image wider than the largest texture is drawn tile by tile, each tile's corners found on
// the quad's edges. With bilinear filtering, a one-colour image added onto black must give
// every pixel inside the quad its colour exactly once: no seam left open between tiles, none
// covered twice, no padding texel filtered in. Drawn as a rectangle (two triangles a tile)
// and as a trapezoid (a 7 x 7 grid a tile).
TEST_F(HardwareDrawTest, ABilinearFreeQuadOfSeveralTilesCoversEachPixelOnce) {
    platform::D3D9Profile profile = platform::DefaultD3D9Profile();
    profile.maxTextureWidth = 256;
    profile.maxTextureHeight = 256;
    platform::SetD3D9Profile(profile);
    Start(true);
    BASEIMAGE base = MakeArgb(
        300, 40, [](int, int) { return 0xFF3C5A78u; }, false);
    const int h = CreateImageFromBaseImage(&base);
    ReleaseImageBuffer(&base);
    ASSERT_GE(GetImageRecord(h)->tileEntryCount, 2);
    auto screen = [](int x, int y) {
        FlushVertexBatch();
        return platform::ReadD3D9BackBufferPixel(g_graphics.device, x, y) & 0xFFFFFFu;
    };
    SetImageFilterMode(1);
    struct Shape {
        const char* name;
        float x[4], y[4];        // top-left, top-right, bottom-right, bottom-left
        int left(int y) const {  // the first pixel inside on row y, a pixel in from the edge
            const float t = (float(y) - this->y[0]) / (this->y[3] - this->y[0]);
            return int(std::ceil(x[0] + (x[3] - x[0]) * t)) + 1;
        }
        int right(int y) const {
            const float t = (float(y) - this->y[1]) / (this->y[2] - this->y[1]);
            return int(std::floor(x[1] + (x[2] - x[1]) * t)) - 1;
        }
    };
    const Shape shapes[] = {
        {"rectangle", {10, 310, 310, 10}, {100, 100, 140, 140}},
        {"trapezoid", {40, 300, 330, 12}, {200, 200, 250, 250}},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        FillBoxArea(0, 0, 640, 480, ColorToScreenPixel(0, 0, 0));
        SetImageBlendMode(2, 255);
        ASSERT_EQ(DrawImageQuadF(shape.x[0], shape.y[0], shape.x[1], shape.y[1], shape.x[2],
                                 shape.y[2], shape.x[3], shape.y[3], h, 0),
                  0);
        SetImageBlendMode(0, 255);
        int checked = 0;
        for (int y = int(shape.y[0]) + 1; y < int(shape.y[3]) - 1; ++y) {
            for (int x = shape.left(y); x <= shape.right(y); ++x) {
                ASSERT_EQ(screen(x, y), 0x3C5A78u) << x << "," << y;
                ++checked;
            }
        }
        EXPECT_GT(checked, 9000);
    }
    SetImageFilterMode(0);
}

// One scene on both paths: pixel for pixel the same but where the paths are meant to differ:
// a float position (truncated by the software path, placed by its fraction on the device), a
// polygon list (drawn on the device alone), and blends, whose channels the software tables
// truncate where the device rounds (one step at most).
TEST_F(BothPathsDrawTest, OneSceneDiffersOnlyWhereThePathsAreMeantTo) {
    struct Region {
        int left, top, right, bottom;
        bool Holds(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    };
    const Region floatDraw = {400, 300, 433, 333};
    const Region polygon = {500, 400, 541, 441};
    const Region blends[2] = {{30, 40, 70, 80}, {220, 210, 252, 242}};
    std::vector<uint32_t> screens[2];
    for (int hardware = 0; hardware < 2; ++hardware) {
        SCOPED_TRACE(hardware ? "hardware" : "software");
        Start(hardware != 0);
        MEMIMG target = {};
        if (!hardware) {
            ASSERT_EQ(MemImgCreateDefault(&target, 640, 480, kMemImgRgb32), 0);
            g_targets.currentSoftTarget = &target;
        }
        auto colour = [&](int r, int g, int b) {
            return hardware ? ColorToScreenPixel(uint8_t(r), uint8_t(g), uint8_t(b))
                            : uint32_t(r << 16 | g << 8 | b);
        };
        BASEIMAGE picture = MakeArgb(32, 32, Pattern, false);
        const int big = CreateImageFromBaseImage(&picture);
        ReleaseImageBuffer(&picture);
        BASEIMAGE smaller = MakeArgb(16, 16, Pattern, false);
        const int small = CreateImageFromBaseImage(&smaller);
        ReleaseImageBuffer(&smaller);
        FillBoxArea(0, 0, 640, 480, colour(0, 0, 0));
        ASSERT_EQ(DrawImageAt(20, 30, big, 0), 0);
        ASSERT_EQ(DrawImageStretched(100, 40, 132, 72, small, 0), 0);
        ASSERT_EQ(DrawImageStretched(180, 40, 164, 56, small, 0), 0);  // mirrored
        ASSERT_EQ(DrawImagePart(250, 40, 4, 2, 10, 12, big, 0, 0), 0);
        ASSERT_EQ(FillBoxArea(200, 200, 260, 240, colour(200, 30, 7)), 0);
        ASSERT_EQ(DrawBoxOutline(300, 50, 340, 90, colour(10, 220, 40)), 0);
        SetImageBlendMode(1, 128);
        ASSERT_EQ(FillBoxArea(30, 40, 70, 80, colour(40, 200, 90)), 0);
        SetImageBlendMode(2, 200);
        ASSERT_EQ(DrawImageAt(220, 210, big, 0), 0);
        SetImageBlendMode(0, 255);
        ASSERT_EQ(DrawImageAtF(400.7f, 300.2f, big, 0), 0);
        const PolygonVertex strip[4] = {{500, 400, 0, 0, 0x30, 0x60, 0x90, 0xFF},
                                        {540, 400, 0, 0, 0x30, 0x60, 0x90, 0xFF},
                                        {500, 440, 0, 0, 0x30, 0x60, 0x90, 0xFF},
                                        {540, 440, 0, 0, 0x30, 0x60, 0x90, 0xFF}};
        ASSERT_EQ(DrawPolygonList(strip, 4, 5, kNoPolygonImage, 0, 0), 0);
        std::vector<uint32_t>& out = screens[hardware];
        if (hardware) {
            FlushVertexBatch();
        }
        for (int y = 0; y < 480; ++y) {
            for (int x = 0; x < 640; ++x) {
                uint32_t v = 0;
                if (hardware) {
                    v = platform::ReadD3D9BackBufferPixel(g_graphics.device, x, y);
                } else {
                    std::memcpy(&v, target.pixels + y * target.base->pitch + x * 4, 4);
                }
                out.push_back(v & 0xFFFFFFu);
            }
        }
        g_targets.currentSoftTarget = nullptr;
        EndLibrary();
        if (!hardware) {
            MemImgRelease(&target);
        }
    }
    auto withinAStep = [](uint32_t a, uint32_t b) {
        for (int shift = 0; shift < 24; shift += 8) {
            const int d = int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF);
            if (d < -1 || d > 1) {
                return false;
            }
        }
        return true;
    };
    int differences[3] = {};
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            const size_t i = size_t(y) * 640 + x;
            if (screens[0][i] == screens[1][i]) {
                continue;
            }
            if (blends[0].Holds(x, y) || blends[1].Holds(x, y)) {
                ASSERT_TRUE(withinAStep(screens[0][i], screens[1][i]))
                    << "a blend differs by more than rounding at " << x << "," << y << ": "
                    << std::hex << screens[0][i] << " and " << screens[1][i];
                ++differences[2];
                continue;
            }
            const bool meant = floatDraw.Holds(x, y) || polygon.Holds(x, y);
            ASSERT_TRUE(meant) << "the paths differ at " << x << "," << y << ": " << std::hex
                               << screens[0][i] << " and " << screens[1][i];
            ++differences[polygon.Holds(x, y) ? 1 : 0];
        }
    }
    EXPECT_GT(differences[0], 0) << "the float position lands alike on both paths";
    EXPECT_EQ(differences[1], 40 * 40) << "the polygon list covers 500..539, 400..439";
    EXPECT_GT(differences[2], 0) << "the blends' rounding is alike on both paths";
}

}  // namespace

namespace {

// A subtract draw on a device with and without the blend-operation capability.
class SubtractPassesTest : public tessel_test::ImageTest,
                           public ::testing::WithParamInterface<bool> {};

TEST_P(SubtractPassesTest, SubtractingLeavesTheSamePixelsAndRestoresTheSettingsExactly) {
    platform::D3D9Profile profile = platform::DefaultD3D9Profile();
    if (!GetParam()) {
        profile.primitiveMiscCaps &= ~D3DPMISCCAPS_BLENDOP;
    }
    platform::SetD3D9Profile(profile);
    Start(true);
    ASSERT_EQ(g_graphics.blendOpSupported, GetParam() ? 1 : 0);
    BASEIMAGE base = MakeArgb(
        8, 8, [](int x, int) { return x < 4 ? 0xFF327805u : 0xFFFFFFFFu; }, false);
    const int h = CreateImageFromBaseImage(&base);
    ReleaseImageBuffer(&base);
    FillBoxArea(0, 0, 640, 480, ColorToScreenPixel(200, 100, 40));
    SetImageBlendMode(3, 255);
    SetImageBrightness(255, 255, 255);
    ASSERT_EQ(DrawImageAt(10, 10, h, 0), 0);
    EXPECT_EQ(g_drawSettings.blendMode, 3);
    EXPECT_EQ(g_drawSettings.blendParam, 255);
    FlushVertexBatch();
    auto at = [](int x, int y) {
        return platform::ReadD3D9BackBufferPixel(g_graphics.device, x, y) & 0xFFFFFF;
    };
    EXPECT_EQ(at(10, 10), 0x960023u) << "200-50, 100-120 held at 0, 40-5";
    EXPECT_EQ(at(17, 17), 0u) << "white takes everything";
    EXPECT_EQ(at(9, 10), 0xC86428u) << "outside the image, inverted twice or never";
    EXPECT_EQ(at(18, 18), 0xC86428u);

    // The passes alone: the brightness and parameter come back, the boxes
    // were drawn white.
    SetImageBlendMode(3, 128);
    SetImageBrightness(32, 64, 128);
    const uint32_t combined = g_drawSettings.combinedDrawColor;
    const RECT r = {0, 0, 4, 4};
    SubtractBlendPrePass(&r);
    EXPECT_EQ(g_drawSettings.blendMode, 5);
    EXPECT_EQ(g_drawSettings.blendParam, 128);
    EXPECT_EQ(g_drawSettings.brightness, 0x204080u);
    SubtractBlendPostPass(&r);
    EXPECT_EQ(g_drawSettings.blendMode, 3);
    EXPECT_EQ(g_drawSettings.blendParam, 128);
    EXPECT_EQ(g_drawSettings.brightness, 0x204080u);
    EXPECT_EQ(g_drawSettings.combinedDrawColor, combined);
    SetImageBlendMode(0, 255);
    SetImageBrightness(255, 255, 255);
}

INSTANTIATE_TEST_SUITE_P(BlendOp, SubtractPassesTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("WithBlendOp")
                                               : std::string("WithoutBlendOp");
                         });

}  // namespace
