// The hardware primitives' vertices as the device receives them, and boxes read back by pixel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "graphics/batch/vertex_batch.h"
#include "graphics/device/device_state.h"
#include "graphics/draw/draw_calls.h"
#include "graphics/draw/hw_primitives.h"
#include "graphics/settings/draw_settings.h"
#include "tests/graphics/images/image_test_support.h"

using namespace tessel;

namespace {

class HwPrimitivesTest : public tessel_test::ImageTest {
  protected:
    void SetUp() override {
        ImageTest::SetUp();
        Start(true);
    }
    void TearDown() override {
        platform::SetD3D9TraceRecording(false);
        ImageTest::TearDown();
    }
    int MakeImage(int w, int h) {
        BASEIMAGE base = MakeArgb(
            w, h, [](int x, int y) { return ((x + y) % 2) != 0 ? 0xFFFFFFFFu : 0xFF000000u; });
        const int handle = CreateImageFromBaseImage(&base);
        ReleaseImageBuffer(&base);
        return handle;
    }
    static void Record() {
        FlushVertexBatch();
        platform::SetD3D9TraceRecording(true);
        platform::ClearD3D9Trace();
    }
    static int IndexOfMethod(const std::string& method) {
        const std::vector<platform::D3D9TraceEntry> trace = platform::D3D9Trace();
        for (size_t i = 0; i < trace.size(); ++i) {
            if (trace[i].method == method) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    // The vertices of every draw since Record, at the given stride.
    template <typename V>
    static std::vector<V> Drawn() {
        FlushVertexBatch();
        std::vector<V> all;
        for (const platform::D3D9TraceEntry& e : platform::D3D9Trace()) {
            if ((e.method != "DrawPrimitiveUP" && e.method != "DrawIndexedPrimitiveUP") ||
                e.vertices.empty()) {
                continue;
            }
            for (size_t at = 0; at + sizeof(V) <= e.vertices.size(); at += sizeof(V)) {
                V v;
                std::memcpy(&v, e.vertices.data() + at, sizeof(V));
                all.push_back(v);
            }
        }
        return all;
    }
};

TEST_F(HwPrimitivesTest, AnImageAtTheDrawAreaCornerIsAnchoredHalfAPixelUpLeft) {
    const int h = MakeImage(32, 16);
    ASSERT_NE(h, -1);
    SetClipRegion(10, 20, 200, 100);
    Record();
    ASSERT_EQ(HwDrawImageQuad(GetImageRecord(h), 10, 20, 10.0f, 20.0f, 0, 1), 0);
    std::vector<VertexTex2D> v = Drawn<VertexTex2D>();
    ASSERT_EQ(v.size(), 6u);
    const float xs[6] = {9.5f, 41.5f, 9.5f, 41.5f, 9.5f, 41.5f};
    const float ys[6] = {19.5f, 19.5f, 35.5f, 35.5f, 35.5f, 19.5f};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(v[i].x, xs[i]);
        EXPECT_EQ(v[i].y, ys[i]);
        EXPECT_EQ(v[i].z, g_drawSettings.drawDepth);
    }
    EXPECT_EQ(v[0].color, g_drawSettings.combinedDrawColor);
    EXPECT_EQ(v[3].color, g_drawSettings.combinedDrawColor);
    EXPECT_EQ(v[0].u, 0.0f);
}

TEST_F(HwPrimitivesTest, AClippedImageAdvancesItsTextureAndAnImageOutsideAddsNothing) {
    const int h = MakeImage(32, 16);
    SetClipRegion(10, 20, 200, 100);
    const TileDrawEntry& e = GetImageRecord(h)->tileEntries[0];
    Record();
    ASSERT_EQ(HwDrawImageQuad(GetImageRecord(h), 3, 30, 3.0f, 30.0f, 0, 1), 0);
    std::vector<VertexTex2D> v = Drawn<VertexTex2D>();
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[0].x, 10.0f);
    EXPECT_FLOAT_EQ(v[0].u, 7.5f / static_cast<float>(e.tile->textureWidth));
    EXPECT_EQ(v[2].x, 10.0f) << "bottom-left clamped too";
    EXPECT_EQ(v[4].x, v[2].x) << "the fifth vertex copies the third";
    EXPECT_EQ(v[1].x, 34.5f) << "the right edge inside stays";

    const int outside[][2] = {{-32, 30}, {200, 30}, {50, 4}, {50, 100}};
    for (const auto& p : outside) {
        SCOPED_TRACE(p[0] * 1000 + p[1]);
        Record();
        EXPECT_EQ(HwDrawImageQuad(GetImageRecord(h), p[0], p[1], float(p[0]), float(p[1]), 0, 1),
                  0);
        EXPECT_TRUE(Drawn<VertexTex2D>().empty());
    }
}

TEST_F(HwPrimitivesTest, ATurnedImageLandsByItsSizeParityAndPositionFraction) {
    const int odd = MakeImage(31, 31);
    const int even = MakeImage(32, 32);
    const double quarter = 1.5707963267948966;
    struct Case {
        int handle;
        float x, y;
        float tlx, tly;  // the top-left vertex after any snap
    };
    const Case cases[] = {
        // Odd about a whole point: half coordinates already, not snapped.
        {odd, 100.0f, 100.0f, 115.5f, 84.5f},
        // Even about a whole point: anchored at 99.5 with offsets 16.
        {even, 100.0f, 100.0f, 115.5f, 83.5f},
        // Fraction in x: 26.0 snapped to 25.5, y 4.5 left.
        {odd, 10.5f, 20.0f, 25.5f, 4.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        Record();
        ASSERT_EQ(HwDrawImageRotated(GetImageRecord(c.handle), c.x, c.y, 1.0, quarter, 0, 0), 0);
        std::vector<VertexTex2D> v = Drawn<VertexTex2D>();
        ASSERT_EQ(v.size(), 6u);
        EXPECT_NEAR(v[0].x, c.tlx, 1e-4);
        EXPECT_NEAR(v[0].y, c.tly, 1e-4);
    }
    Record();
    EXPECT_EQ(HwDrawImageRotated(GetImageRecord(odd), 50.0f, 50.0f, 0.0, 0.5, 0, 0), -1);
    EXPECT_TRUE(Drawn<VertexTex2D>().empty());
}

// Where a turned image's top-left, top-right and bottom-left vertices land,
// worked out from the placement rules: the centre and anchor by position
// fraction, scale and size parity, the turn, then the half-pixel snap of a
// fractional position or of a right-angle turn of an odd side.
struct TurnedCorners {
    float x[3], y[3];
    bool snapped;
};

TurnedCorners ExpectedTurn(int w, int h, float x, float y, double scale, double angle) {
    const double a = 0.06981317007977318;
    const double pi = 3.141592653589793;
    const float s = std::sin(static_cast<float>(angle));
    const float c = std::cos(static_cast<float>(angle));
    const int pw = w % 2, ph = h % 2;
    const bool fractional =
        std::fabs(x - std::trunc(x)) >= 0.00001f || std::fabs(y - std::trunc(y)) >= 0.00001f;
    float ox = w * 0.5f, oy = h * 0.5f, px = x, py = y;
    if (!fractional && scale == 1.0) {
        if (pw == 0 && ph == 0) {
            ox = static_cast<float>(w / 2), oy = static_cast<float>(h / 2);
            px = x - 0.5f, py = y - 0.5f;
        } else if (pw != ph) {
            ox -= pw == 0 ? 0.5f : 0.0f;
            oy -= ph == 0 ? 0.5f : 0.0f;
        }
    } else if (!fractional) {
        px = x - 0.5f, py = y - 0.5f;
    }
    bool window = angle < -a || angle > 2 * pi + a;
    for (int k = 0; k <= 4; ++k) {
        window = window || (angle > k * pi / 2 - a && angle < k * pi / 2 + a);
    }
    const bool candidate = !fractional && (pw == 1 || ph == 1) && window;
    TurnedCorners out{};
    const int corners[3][2] = {{0, 0}, {w, 0}, {0, h}};
    for (int i = 0; i < 3; ++i) {
        const float qx = static_cast<float>(scale) * (corners[i][0] - ox);
        const float qy = static_cast<float>(scale) * (corners[i][1] - oy);
        out.x[i] = px + c * qx - s * qy;
        out.y[i] = py + s * qx + c * qy;
    }
    const auto whole = [](float v) {
        const float f = std::fabs(v - std::trunc(v));
        return f < 0.001f || f > 0.999f;
    };
    const auto snap = [&](float* v, bool asked) {
        if (asked && (std::fabs(v[0] - v[2]) < 0.01f || std::fabs(v[0] - v[1]) < 0.01f) &&
            whole(v[0])) {
            for (int i = 0; i < 3; ++i) {
                v[i] -= 0.5f;
            }
            out.snapped = true;
        }
    };
    snap(out.x, fractional || (candidate && pw != 0));
    snap(out.y, fractional || (candidate && ph != 0));
    return out;
}

TEST_F(HwPrimitivesTest, TurnedImagesOfEveryParityLandWhereThePlacementRulesPutThem) {
    const double pi = 3.141592653589793;
    const int sizes[][2] = {{31, 31}, {31, 32}, {32, 31}, {32, 32}};
    const double scales[] = {1.0, 2.0, 3.0, 0.5};
    const double angles[] = {pi / 2, pi, 3 * pi / 2, 0.5};
    const float points[][2] = {{100.0f, 100.0f}, {10.5f, 20.0f}, {60.0f, 40.5f}};
    int snaps = 0;
    int plain = 0;
    for (const auto& size : sizes) {
        const int h = MakeImage(size[0], size[1]);
        ASSERT_NE(h, -1);
        for (double scale : scales) {
            for (double angle : angles) {
                for (const auto& p : points) {
                    SCOPED_TRACE(testing::Message()
                                 << size[0] << "x" << size[1] << " scale " << scale << " angle "
                                 << angle << " at " << p[0] << "," << p[1]);
                    const TurnedCorners want =
                        ExpectedTurn(size[0], size[1], p[0], p[1], scale, angle);
                    (want.snapped ? snaps : plain) += 1;
                    Record();
                    ASSERT_EQ(HwDrawImageRotated(GetImageRecord(h), p[0], p[1], scale, angle, 0, 0),
                              0);
                    std::vector<VertexTex2D> v = Drawn<VertexTex2D>();
                    ASSERT_EQ(v.size(), 6u);
                    for (int i = 0; i < 3; ++i) {
                        EXPECT_NEAR(v[i].x, want.x[i], 2e-3) << "vertex " << i;
                        EXPECT_NEAR(v[i].y, want.y[i], 2e-3) << "vertex " << i;
                    }
                }
            }
        }
    }
    EXPECT_GT(snaps, 10);
    EXPECT_GT(plain, 10);

    // A slanted image whose top-left vertex happens to fall on a whole pixel
    // has no vertical edge there, so nothing snaps.
    const int odd = MakeImage(31, 31);
    const float c = std::cos(0.5f), s = std::sin(0.5f);
    const float x = 100.0f - (c * -15.5f - s * -15.5f);
    const TurnedCorners want = ExpectedTurn(31, 31, x, 20.25f, 1.0, 0.5);
    ASSERT_FALSE(want.snapped);
    ASSERT_NEAR(want.x[0], 100.0f, 1e-4);
    Record();
    ASSERT_EQ(HwDrawImageRotated(GetImageRecord(odd), x, 20.25f, 1.0, 0.5, 0, 0), 0);
    std::vector<VertexTex2D> v = Drawn<VertexTex2D>();
    ASSERT_EQ(v.size(), 6u);
    EXPECT_NEAR(v[0].x, want.x[0], 2e-3);
}

// Turning about a pivot: the centre is the pivot's point (x, y) plus the
// image's centre seen from the pivot, scaled and turned; the offset is worked
// in double and rounded to float once, the turn in float. The draw must equal
// the centred turn at that centre vertex for vertex, bit for bit.
TEST_F(HwPrimitivesTest, APivotTurnDrawsTheCentredTurnAtTheTurnedPivotOffset) {
    const struct {
        int w, h;
        float x, y, px, py;
        double scale, angle;
        int mirror;
    } cases[] = {
        {31, 20, 200.0f, 150.0f, 3.3f, 17.9f, 1.0, 0.7, 0},
        {32, 32, 20.25f, 9.5f, 1.24f, 30.1f, 1.7, -2.1, 0},
        {17, 45, 300.0f, 200.0f, 8.5f, 40.2f, 0.6, 1.5707963267948966, 1},
        {40, 12, 6.0f, 4.0f, 0.87f, -5.75f, 2.3, 4.0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " angle " << c.angle);
        const int handle = MakeImage(c.w, c.h);
        ASSERT_NE(handle, -1);
        const float ox = static_cast<float>((c.w * 0.5 - static_cast<double>(c.px)) * c.scale);
        const float oy = static_cast<float>((c.h * 0.5 - static_cast<double>(c.py)) * c.scale);
        const float s = static_cast<float>(std::sin(static_cast<double>(float(c.angle))));
        const float co = static_cast<float>(std::cos(static_cast<double>(float(c.angle))));
        const float cx = c.x + co * ox - s * oy;
        const float cy = c.y + s * ox + co * oy;

        Record();
        ASSERT_EQ(HwDrawImageRotated(GetImageRecord(handle), cx, cy, c.scale, c.angle, 0, c.mirror),
                  0);
        const std::vector<VertexTex2D> want = Drawn<VertexTex2D>();
        Record();
        ASSERT_EQ(
            DrawImagePivotRotatedF(c.x, c.y, c.px, c.py, c.scale, c.angle, handle, 0, c.mirror), 0);
        const std::vector<VertexTex2D> got = Drawn<VertexTex2D>();
        ASSERT_EQ(got.size(), 6u);
        ASSERT_EQ(want.size(), 6u);
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(got[i].x, want[i].x) << "vertex " << i;
            EXPECT_EQ(got[i].y, want[i].y) << "vertex " << i;
        }
        // The top-left corner lies where the turn takes it from the pivot,
        // give or take the half-pixel anchor and snap. A mirror flips the
        // image inside its own box, so the point that lands on (x, y) is
        // then the pivot's mirror image, w - px.
        const float sx = c.mirror != 0 ? -float(c.scale) : float(c.scale);
        const float pivot = c.mirror != 0 ? float(c.w) - c.px : c.px;
        const float qx = sx * -pivot, qy = float(c.scale) * -c.py;
        EXPECT_NEAR(got[0].x, c.x + co * qx - s * qy, 1.01);
        EXPECT_NEAR(got[0].y, c.y + s * qx + co * qy, 1.01);
    }
}

TEST_F(HwPrimitivesTest, AnUnturnedImageKeepsItsAxesAndAMirrorSwapsLeftAndRight) {
    const int even = MakeImage(32, 32);
    Record();
    ASSERT_EQ(HwDrawImageRotated(GetImageRecord(even), 100.0f, 100.0f, 1.0, 0.0, 0, 1), 0);
    std::vector<VertexTex2D> v = Drawn<VertexTex2D>();
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[0].x, 115.5f);
    EXPECT_EQ(v[1].x, 83.5f);
    EXPECT_EQ(v[0].y, 83.5f);
}

TEST_F(HwPrimitivesTest, AStretchedImageMirrorsWhenItsCornersAreSwapped) {
    const int h = MakeImage(16, 8);
    Record();
    ASSERT_EQ(
        HwDrawImageStretched(100, 10, 68, 26, 100.0f, 10.0f, 68.0f, 26.0f, GetImageRecord(h), 0, 1),
        0);
    std::vector<VertexTex2D> v = Drawn<VertexTex2D>();
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[0].x, 99.5f);
    EXPECT_EQ(v[1].x, 67.5f);
    EXPECT_EQ(v[2].y, 25.5f);
    EXPECT_EQ(HwDrawImageStretched(5, 5, 5, 9, 5, 5, 5, 9, GetImageRecord(h), 0, 1), -1);
}

// A stretched image that crosses the draw area's edge is clamped against the
// area shifted by -0.5, so the clamped edge keeps the half-pixel shift of the
// unclamped ones, and its texture advances by the stretched step.
TEST_F(HwPrimitivesTest, AStretchedImageClippedAtTheDrawAreaKeepsItsHalfPixelShift) {
    const int h = MakeImage(16, 8);
    const TileDrawEntry& e = GetImageRecord(h)->tileEntries[0];
    const float tw = static_cast<float>(e.tile->textureWidth);
    SetClipRegion(10, 20, 200, 100);
    struct Case {
        int x1, x2;
        float left, right;  // the drawn x of the left and right vertices
        float u0, u1;
    };
    const Case cases[] = {
        // Crossing the left edge: clamped at 9.5, 10 screen pixels (2.5 texels) in.
        {0, 64, 9.5f, 63.5f, 2.5f / tw, 16.0f / tw},
        // Crossing the right edge: 213.5 clamped at 199.5, 14 screen pixels (3.5 texels) short.
        {150, 214, 149.5f, 199.5f, 0.0f, 12.5f / tw},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x1);
        Record();
        ASSERT_EQ(HwDrawImageStretched(c.x1, 30, c.x2, 38, float(c.x1), 30.0f, float(c.x2), 38.0f,
                                       GetImageRecord(h), 0, 1),
                  0);
        std::vector<VertexTex2D> v = Drawn<VertexTex2D>();
        ASSERT_EQ(v.size(), 6u);
        EXPECT_EQ(v[0].x, c.left);
        EXPECT_EQ(v[1].x, c.right);
        EXPECT_EQ(v[0].y, 29.5f);
        EXPECT_FLOAT_EQ(v[0].u, c.u0);
        EXPECT_FLOAT_EQ(v[1].u, c.u1);
    }
    SetClipRegionWhole();
}

// In copy mode a colour-keyed image stretched under bilinear filtering is
// blended by its alpha (the key's edge filters smoothly); under nearest
// filtering it keeps its key: alpha test GREATER 16, no blending.
TEST_F(HwPrimitivesTest, AKeyedImageStretchedInCopyModeBlendsOnlyUnderBilinearFiltering) {
    BASEIMAGE base = MakeArgb(
        16, 8, [](int x, int y) { return ((x + y) % 2) != 0 ? 0xFFFFFFFFu : 0xFF000000u; }, false);
    const int h = CreateImageFromBaseImage(&base);
    ReleaseImageBuffer(&base);
    ASSERT_NE(h, -1);
    ASSERT_EQ(GetImageRecord(h)->source->request.colorKey, 1);
    SetImageBlendMode(0, 255);
    const struct {
        int filter;
        DWORD blend, test;
    } cases[] = {{kFilterBilinear, 1, 0}, {kFilterNearest, 0, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.filter);
        SetImageFilterMode(c.filter);
        ASSERT_EQ(HwDrawImageStretched(10, 10, 42, 26, 10.0f, 10.0f, 42.0f, 26.0f,
                                       GetImageRecord(h), 1, 1),
                  0);
        FlushVertexBatch();
        DWORD blend = 0, test = 0, ref = 0;
        g_graphics.device->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
        g_graphics.device->GetRenderState(D3DRS_ALPHATESTENABLE, &test);
        g_graphics.device->GetRenderState(D3DRS_ALPHAREF, &ref);
        EXPECT_EQ(blend, c.blend);
        EXPECT_EQ(test, c.test);
        if (c.test != 0) {
            EXPECT_EQ(ref, 16u);
        }
    }
    SetImageFilterMode(kFilterNearest);
}

TEST_F(HwPrimitivesTest, FilledBoxesAreOrderedClippedAndColouredByTheBrightness) {
    Record();
    EXPECT_EQ(HwFillBox(10, 10, 10, 50, ColorToScreenPixel(255, 255, 255)), 0);
    EXPECT_TRUE(Drawn<VertexColor2D>().empty());

    Record();
    EXPECT_EQ(HwFillBox(50, 50, 10, 10, ColorToScreenPixel(255, 255, 255)), 0);
    std::vector<VertexColor2D> v = Drawn<VertexColor2D>();
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[0].x, 10.0f);
    EXPECT_EQ(v[0].y, 10.0f);
    EXPECT_EQ(v[3].x, 50.0f);
    EXPECT_EQ(v[3].y, 50.0f);
    EXPECT_EQ(v[0].color, g_drawSettings.combinedDrawColor);

    SetImageBrightness(128, 128, 128);
    Record();
    EXPECT_EQ(HwFillBox(-5, -5, 20, 20, ColorToScreenPixel(255, 255, 255)), 0);
    v = Drawn<VertexColor2D>();
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[0].x, 0.0f) << "clipped to the draw area";
    EXPECT_EQ(v[0].color & 0xFFFFFF, 0x808080u);
    EXPECT_EQ(v[3].color & 0xFFFFFF, 0x808080u);
}

TEST_F(HwPrimitivesTest, AnOutlineCoversItsBorderPixelsEachOnce) {
    Record();
    ASSERT_EQ(HwDrawBoxOutline(4, 3, 0, 0, ColorToScreenPixel(255, 0, 0)), 0);
    std::vector<VertexColor2D> v = Drawn<VertexColor2D>();
    ASSERT_EQ(v.size(), 24u);
    std::multiset<std::pair<int, int>> covered;
    for (int band = 0; band < 4; ++band) {
        const VertexColor2D& tl = v[band * 6];
        const VertexColor2D& br = v[band * 6 + 3];
        for (int y = int(tl.y); y < int(br.y); ++y) {
            for (int x = int(tl.x); x < int(br.x); ++x) {
                covered.insert({x, y});
            }
        }
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(v[band * 6 + i].color, v[0].color) << "every vertex coloured";
        }
    }
    const std::multiset<std::pair<int, int>> expected = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {3, 1},
                                                         {0, 1}, {0, 2}, {3, 2}, {1, 2}, {2, 2}};
    EXPECT_EQ(covered, expected);
}

TEST_F(HwPrimitivesTest, APolygonListIsDrawnAtOnceWithTheCallersVertices) {
    VertexTex2D tri[3] = {};
    for (int i = 0; i < 3; ++i) {
        tri[i] = {float(10 + i * 5), float(20 + (i % 2) * 7), 0.2f, 1.0f, 0xFF102030u + i, 0, 0};
    }
    Record();
    ASSERT_EQ(HwDrawPolygonList(tri, 3, D3DPT_TRIANGLELIST, 0, nullptr), 0);
    std::vector<VertexTex2D> v = Drawn<VertexTex2D>();
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(std::memcmp(v.data(), tri, sizeof(tri)), 0);
}

TEST_F(HwPrimitivesTest, ANearParallelogramIsTwoTrianglesAndATrapezoidASevenBySevenGrid) {
    const int h = MakeImage(16, 16);
    const ImageRecord* r = GetImageRecord(h);
    // Opposite edges differ by less than a pixel: six vertices at the corners as given.
    const QuadPoint parallelogram[4] = {{10, 10}, {40.5f, 12}, {14, 40}, {44.9f, 42}};
    Record();
    ASSERT_EQ(DrawImageQuadCore(parallelogram, r, 0), 0);
    std::vector<VertexTex2D> v = Drawn<VertexTex2D>();
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[0].x, 10.0f);
    EXPECT_EQ(v[3].x, 44.9f);
    EXPECT_EQ(IndexOfMethod("DrawIndexedPrimitiveUP"), -1);

    const QuadPoint trapezoid[4] = {{20, 10}, {40, 10}, {10, 40}, {50, 40}};
    Record();
    ASSERT_EQ(DrawImageQuadCore(trapezoid, r, 0), 0);
    v = Drawn<VertexTex2D>();
    ASSERT_EQ(v.size(), 64u) << "an 8 x 8 grid of vertices";
    EXPECT_EQ(v[0].x, 20.0f);
    EXPECT_EQ(v[7].x, 40.0f);
    EXPECT_EQ(v[56].x, 10.0f);
    EXPECT_EQ(v[63].x, 50.0f);
    EXPECT_FLOAT_EQ(v[8].y, 10.0f + 30.0f / 7.0f);
    EXPECT_FLOAT_EQ(v[9].x,
                    20.0f - 10.0f / 7.0f + (40.0f + 10.0f / 7.0f - 20.0f + 10.0f / 7.0f) / 7.0f);
    EXPECT_NE(IndexOfMethod("DrawIndexedPrimitiveUP"), -1);
}

TEST_F(HwPrimitivesTest, UnderABlendMaskFreeCornersAreWholeAndDrawnAsAStripThroughTwoMaps) {
    const int h = MakeImage(16, 16);
    const int mask = MakeImage(64, 64);
    g_drawSettings.blendMaskImage = mask;
    const QuadPoint corners[4] = {{10.7f, 10.2f}, {40, 10}, {10, 30}, {50, 40}};
    Record();
    ASSERT_EQ(DrawImageQuadCore(corners, GetImageRecord(h), 0), 0);
    g_drawSettings.blendMaskImage = -1;
    const std::vector<platform::D3D9TraceEntry> trace = platform::D3D9Trace();
    const platform::D3D9TraceEntry* strip = nullptr;
    for (const platform::D3D9TraceEntry& e : trace) {
        if (e.method == "DrawPrimitiveUP" && e.arguments.rfind("5, 2,", 0) == 0) {
            strip = &e;
        }
    }
    ASSERT_NE(strip, nullptr);
    const size_t stride = strip->vertices.size() / 4;
    const float expected[4][2] = {{9.5f, 9.5f}, {39.5f, 9.5f}, {9.5f, 29.5f}, {49.5f, 39.5f}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        float xy[2];
        std::memcpy(xy, strip->vertices.data() + i * stride, sizeof xy);
        EXPECT_EQ(xy[0], expected[i][0]);
        EXPECT_EQ(xy[1], expected[i][1]);
    }
}

// A masked free quad of an image cut into several tiles: each tile corner on
// or above the image's diagonal (bottom-left to top-right) goes through the
// upper-left map, every other corner through the lower-right map
// BR + (X - w)(BR - BL) / w + (Y - h)(BR - TR) / h, corners shifted by -0.5.
// The strip carries the mask set (X / mask width, Y / mask height) and the
// tile's own texture set, and winds one way.
TEST_F(HwPrimitivesTest, AMaskedMultiTileFreeQuadPlacesLowerCornersThroughTheLowerRightMap) {
    const int32_t keptMax = g_graphics.maxTextureSize;
    g_graphics.maxTextureSize = 16;
    const int h = MakeImage(40, 24);
    g_graphics.maxTextureSize = keptMax;
    ASSERT_NE(h, -1);
    const ImageRecord* r = GetImageRecord(h);
    ASSERT_GT(r->tileEntryCount, 3);
    const int mask = MakeImage(64, 64);
    ASSERT_EQ(SetBlendMaskImage(mask, 128, 0), 0);
    const float w = 40.0f, hh = 24.0f;
    // Clockwise, then mirrored left-right (which turns the strip round).
    const int quads[][8] = {{12, 10, 61, 14, 9, 47, 70, 53}, {70, 10, 12, 14, 61, 47, 9, 53}};
    int lowerCorners = 0;
    int swapped = 0;
    for (const auto& c : quads) {
        SCOPED_TRACE(c[0]);
        Record();
        ASSERT_EQ(HwDrawImageFreeQuadAligned(c, r, 0), 0);
        std::vector<const platform::D3D9TraceEntry*> strips;
        const std::vector<platform::D3D9TraceEntry> trace = platform::D3D9Trace();
        for (const platform::D3D9TraceEntry& e : trace) {
            if (e.method == "DrawPrimitiveUP" && e.arguments.rfind("5, 2,", 0) == 0) {
                strips.push_back(&e);
            }
        }
        ASSERT_EQ(strips.size(), static_cast<size_t>(r->tileEntryCount));
        const float tlx = float(c[0]) - 0.5f, tly = float(c[1]) - 0.5f;
        const float trx = float(c[2]) - 0.5f, try_ = float(c[3]) - 0.5f;
        const float blx = float(c[4]) - 0.5f, bly = float(c[5]) - 0.5f;
        const float brx = float(c[6]) - 0.5f, bry = float(c[7]) - 0.5f;
        for (int t = 0; t < r->tileEntryCount; ++t) {
            SCOPED_TRACE(t);
            const TileDrawEntry& e = r->tileEntries[t];
            ASSERT_EQ(strips[t]->vertices.size(), 4 * sizeof(VertexTex2D2));
            float px[4], py[4], u[4], v[4];
            int X[4], Y[4];
            for (int k = 0; k < 4; ++k) {
                X[k] = e.destX + ((k & 1) != 0 ? e.width : 0);
                Y[k] = e.destY + ((k & 2) != 0 ? e.height : 0);
                const float fx = float(X[k]), fy = float(Y[k]);
                if (X[k] * 24 + Y[k] * 40 <= 40 * 24) {
                    px[k] = tlx + fx * (trx - tlx) / w + fy * (blx - tlx) / hh;
                    py[k] = tly + fx * (try_ - tly) / w + fy * (bly - tly) / hh;
                } else {
                    px[k] = brx + (fx - w) * (brx - blx) / w + (fy - hh) * (brx - trx) / hh;
                    py[k] = bry + (fx - w) * (bry - bly) / w + (fy - hh) * (bry - try_) / hh;
                    ++lowerCorners;
                }
                u[k] = float(e.tileX + ((k & 1) != 0 ? e.width : 0)) / float(e.tile->textureWidth);
                v[k] =
                    float(e.tileY + ((k & 2) != 0 ? e.height : 0)) / float(e.tile->textureHeight);
            }
            const float d1 = (px[1] - px[0]) * (py[2] - py[0]) - (py[1] - py[0]) * (px[2] - px[0]);
            const float d2 = (px[2] - px[3]) * (py[1] - py[3]) - (py[2] - py[3]) * (px[1] - px[3]);
            int order[4] = {0, 1, 2, 3};
            if (d1 < 0.0f || (d1 == 0.0f && d2 <= 0.0f)) {
                std::swap(order[1], order[2]);
                ++swapped;
            }
            for (int i = 0; i < 4; ++i) {
                SCOPED_TRACE(i);
                VertexTex2D2 got;
                std::memcpy(&got, strips[t]->vertices.data() + i * sizeof got, sizeof got);
                const int k = order[i];
                EXPECT_EQ(got.x, px[k]);
                EXPECT_EQ(got.y, py[k]);
                EXPECT_EQ(got.u1, float(X[k]) / 64.0f);
                EXPECT_EQ(got.v1, float(Y[k]) / 64.0f);
                EXPECT_FLOAT_EQ(got.u2, u[k]);
                EXPECT_FLOAT_EQ(got.v2, v[k]);
                EXPECT_EQ(got.color, g_drawSettings.combinedDrawColor);
            }
        }
    }
    EXPECT_EQ(SetBlendMaskImage(-1, 0, 0), 0);
    EXPECT_GT(lowerCorners, 8);
    EXPECT_EQ(swapped, r->tileEntryCount) << "only the mirrored quad turns round";
}

TEST_F(HwPrimitivesTest, EveryPrimitiveRefusesALostDevice) {
    const int h = MakeImage(8, 8);
    g_graphics.deviceLost = 1;
    const ImageRecord* r = GetImageRecord(h);
    EXPECT_EQ(HwDrawImageQuad(r, 0, 0, 0, 0, 0, 1), -1);
    EXPECT_EQ(HwDrawImageStretched(0, 0, 5, 5, 0, 0, 5, 5, r, 0, 1), -1);
    EXPECT_EQ(HwDrawImageRotated(r, 5, 5, 1.0, 0.0, 0, 0), -1);
    EXPECT_EQ(HwFillBox(0, 0, 5, 5, 0), -1);
    EXPECT_EQ(HwDrawBoxOutline(0, 0, 5, 5, 0), -1);
    g_graphics.deviceLost = 0;
}

}  // namespace
