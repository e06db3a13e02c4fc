// Where the rotated blit puts each texel: the set-up's numbers against a
// model that rounds in double, the texel of each walked pixel against the
// closed form through index-coded images, angle 0 against the blit, right
// angles against the quad, the mirrored form, the refusals, and the digest
// that optimised and unoptimised builds both give.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "foundation/base/numbers.h"
#include "softrender/blit.h"
#include "softrender/rotate_scene.h"
#include "softrender/triangle.h"
#include "tests/support/full_size_runs.h"

namespace tessel {
namespace {

using kit::Source;

#if TESSEL_FULL_SIZE_RUNS
constexpr int kRounds = 4;
#else
constexpr int kRounds = 1;  // sanitizer builds
#endif

constexpr float kQuarter = 1.5707964f;  // pi / 2 as a float

// --- The set-up's numbers from a model that does every float step in double
// and rounds it to float by hand: a float operation and its double form
// rounded once agree, so any step done wider, fused or rounded elsewhere
// shows as a difference.

float F(double v) {
    return static_cast<float>(v);
}

struct Model {
    int32_t sn, cn, sp, cp;
    int64_t x[4], y[4];
    RECT box;
};

Model TurnModel(int w, int h, int cx, int cy, float angle, float scale) {
    Model m{};
    float s = 0, c = 0, s2 = 0, c2 = 0;
    SinCos(-angle, &s, &c);
    SinCos(angle, &s2, &c2);
    m.sn = TruncFloatToInt(F(double{s} * 262144.0));
    m.cn = TruncFloatToInt(F(double{c} * 262144.0));
    m.sp = TruncFloatToInt(F(double{s2} * 262144.0));
    m.cp = TruncFloatToInt(F(double{c2} * 262144.0));
    const float hw = F(double(w) * scale * 0.5), hh = F(double(h) * scale * 0.5);
    const double p1 = F(double{hw} * m.cp), p2 = F(double{hw} * m.sp);
    const double p3 = F(double{hh} * m.cp), p4 = F(double{hh} * m.sp);
    const double ox[4] = {-p1 + p4, -p1 - p4, p1 - p4, p1 + p4};
    const double oy[4] = {-p3 - p2, p3 - p2, p3 + p2, -p3 + p2};
    int64_t minX = INT64_MAX, maxX = INT64_MIN, minY = INT64_MAX, maxY = INT64_MIN;
    for (int k = 0; k < 4; ++k) {
        m.x[k] = int64_t{cx} * 262144 + TruncFloatToInt(F(ox[k]));
        m.y[k] = int64_t{cy} * 262144 + TruncFloatToInt(F(oy[k]));
        minX = std::min(minX, m.x[k] / 262144);
        maxX = std::max(maxX, m.x[k] / 262144);
        minY = std::min(minY, m.y[k] / 262144);
        maxY = std::max(maxY, m.y[k] / 262144);
    }
    m.box = RECT{LONG(minX - 2), LONG(minY - 2), LONG(maxX + 4), LONG(maxY + 4)};
    return m;
}

// Ua and Va of a pixel column x and row y, mod 2^32.
std::array<uint32_t, 2> StartModel(const Model& m, int w, int h, int cx, int cy, int x, int y,
                                   float scale) {
    const int64_t ox = x - cx, oy = y - cy;
    const int32_t u = static_cast<int32_t>(ox * m.cn - oy * m.sn);
    const int32_t v = static_cast<int32_t>(oy * m.cn + ox * m.sn);
    return {uint32_t(TruncFloatToInt(F(double(u) / scale))) + (uint32_t(w / 2) << 18),
            uint32_t(TruncFloatToInt(F(double(v) / scale))) + (uint32_t(h / 2) << 18)};
}

TEST(RotateSetUp, GivesTheNumbersOfTheModel) {
    kit::BiasedRandom random(71);
    for (int round = 0; round < 3000; ++round) {
        const int w = random.Between(1, 300), h = random.Between(1, 300);
        const int cx = random.Between(-500, 1500), cy = random.Between(-500, 1500);
        const float angle = static_cast<float>(random.Between(-1000000, 1000000)) * 1.3e-5f;
        const float scale = static_cast<float>(random.Between(1, 100000)) * 7.7e-5f;
        SCOPED_TRACE(testing::Message() << w << "x" << h << " at " << cx << "," << cy << " angle "
                                        << angle << " scale " << scale);
        const Model m = TurnModel(w, h, cx, cy, angle, scale);
        const soft::RotateFrame f = soft::TurnSource(w, h, cx, cy, angle, scale);
        ASSERT_TRUE(f.fits);
        ASSERT_EQ(f.sn, m.sn);
        ASSERT_EQ(f.cn, m.cn);
        ASSERT_EQ(f.sp, m.sp);
        ASSERT_EQ(f.cp, m.cp);
        for (int k = 0; k < 4; ++k) {
            ASSERT_EQ(f.x[k], m.x[k]) << "corner " << k;
            ASSERT_EQ(f.y[k], m.y[k]) << "corner " << k;
        }
        const RECT box = soft::RotateBox(f);
        ASSERT_EQ(box.left, m.box.left);
        ASSERT_EQ(box.top, m.box.top);
        ASSERT_EQ(box.right, m.box.right);
        ASSERT_EQ(box.bottom, m.box.bottom);
        // A clipped box: the walk starts at its top-left and steps to its bottom.
        const int left = random.Between(box.left, box.right - 1);
        const int top = random.Between(box.top, box.bottom - 1);
        const RECT clipped{left, top, random.Between(left + 1, box.right),
                           random.Between(top + 1, box.bottom)};
        soft::RotateWalk walk{};
        ASSERT_TRUE(soft::StartWalk(f, clipped, w, h, cx, cy, scale, &walk));
        const auto start = StartModel(m, w, h, cx, cy, clipped.left, clipped.top, scale);
        const auto below = StartModel(m, w, h, cx, cy, clipped.left, clipped.bottom, scale);
        const int32_t rows = clipped.bottom - clipped.top;
        EXPECT_EQ(walk.ua, start[0]);
        EXPECT_EQ(walk.va, start[1]);
        EXPECT_EQ(walk.uy, uint32_t(int32_t(below[0] - start[0]) / rows));
        EXPECT_EQ(walk.vy, uint32_t(int32_t(below[1] - start[1]) / rows));
        EXPECT_EQ(walk.ux, uint32_t(TruncFloatToInt(F(double(m.cp) / scale))));
        EXPECT_EQ(walk.vx, uint32_t(TruncFloatToInt(F(double(m.sn) / scale))));
        EXPECT_EQ(walk.columns, clipped.right - clipped.left);
        EXPECT_EQ(walk.rows, rows);
    }
}

// The turn back takes the sine and cosine of the negated angle to the bit,
// from tiny angles to ones far past a turn, both signs.
TEST(RotateSetUp, TurnsBackByTheSineAndCosineOfTheNegatedAngle) {
    kit::BiasedRandom random(1213);
    for (int round = 0; round < 200000; ++round) {
        const float magnitude =
            std::ldexp(static_cast<float>(random.Between(1, 1 << 23)), random.Between(-40, 0));
        const float angle = random.Below(2) == 0 ? magnitude : -magnitude;
        float s = 0, c = 0;
        SinCos(-angle, &s, &c);
        const soft::RotateFrame f = soft::TurnSource(4, 4, 0, 0, angle, 1.0f);
        ASSERT_EQ(f.sn, TruncFloatToInt(F(double{s} * 262144.0))) << angle;
        ASSERT_EQ(f.cn, TruncFloatToInt(F(double{c} * 262144.0))) << angle;
    }
}

// The worked numbers: a 5x4 source unturned at (10, 10) has its column 0 on
// centre x - 2 and row 0 on centre y - 2; the box reaches two pixels before
// and four after the corners.
TEST(RotateSetUp, PlacesAnOddWidthByItsRoundedDownCentre) {
    const soft::RotateFrame f = soft::TurnSource(5, 4, 10, 10, 0.0f, 1.0f);
    EXPECT_EQ(f.sn, 0);
    EXPECT_EQ(f.cn, 262144);
    // K0 top-left at (10 - 2.5, 10 - 2) pixels, K2 bottom-right at (12.5, 12).
    EXPECT_EQ(f.x[0], 7 * 262144 + 131072);
    EXPECT_EQ(f.y[0], 8 * 262144);
    EXPECT_EQ(f.x[2], 12 * 262144 + 131072);
    EXPECT_EQ(f.y[2], 12 * 262144);
    const RECT box = soft::RotateBox(f);
    EXPECT_EQ(box.left, 5);
    EXPECT_EQ(box.top, 6);
    EXPECT_EQ(box.right, 16);
    EXPECT_EQ(box.bottom, 16);
    soft::RotateWalk w{};
    ASSERT_TRUE(soft::StartWalk(f, box, 5, 4, 10, 10, 1.0f, &w));
    // Column 5 is three texels left of texel 0, which column 8 shows.
    EXPECT_EQ(int32_t(w.ua), -3 * 262144);
    EXPECT_EQ(int32_t(w.va), -2 * 262144);
    EXPECT_EQ(w.ux, 262144u);
    EXPECT_EQ(w.vy, 262144u);
    EXPECT_EQ(w.vx, 0u);
    EXPECT_EQ(w.uy, 0u);
}

// --- Where texels land.

// Unturned and at its own size the source lands at (centre - size / 2), each
// texel on its own pixel; the box's margins are walked and left untouched.
TEST(RotateGeometry, AngleZeroPlacesEachTexelAtCentreLessHalfTheSize) {
    for (int sw = 1; sw <= 6; ++sw) {
        for (int sh = 1; sh <= 5; ++sh) {
            kit::RotateScene s = kit::IndexCodedScene(sw, sh, 16, 16);
            s.cx = 7;
            s.cy = 8;
            SCOPED_TRACE(testing::Message() << sw << "x" << sh);
            const std::vector<uint32_t> got = kit::DrawRotateScene(s);
            for (int y = 0; y < 16; ++y) {
                for (int x = 0; x < 16; ++x) {
                    const int i = x - 7 + sw / 2, j = y - 8 + sh / 2;
                    const bool inside = i >= 0 && i < sw && j >= 0 && j < sh;
                    ASSERT_EQ(got[size_t(y) * 16 + x],
                              inside ? kit::IndexCode(kMemImgRgb32, 0, i, j) : 0x11111111u)
                        << x << "," << y;
                }
            }
        }
    }
}

// Every pixel of the box shows the texel at its closed-form position, any
// angle, scale, centre and draw area; pixels whose position is negative or
// past the source, and every pixel outside the box, stay as they were.
TEST(RotateGeometry, EachPixelShowsTheTexelOfItsClosedFormPosition) {
    kit::BiasedRandom random(73);
    for (int round = 0; round < 400 * kRounds; ++round) {
        const int sw = random.Between(1, 40), sh = random.Between(1, 30);
        kit::RotateScene s = kit::IndexCodedScene(sw, sh, 64, 48);
        s.cx = random.Between(-20, 84);
        s.cy = random.Between(-20, 68);
        s.angle = static_cast<float>(random.Between(-70000, 70000)) * 1e-4f;
        s.scale = static_cast<float>(random.Between(50, 4000)) * 1e-3f;
        if (random.Below(8) == 0) {  // steps so large that a row's positions wrap
            s.scale = static_cast<float>(random.Between(1, 100)) * 1e-4f;
        }
        if (random.Below(3) == 0) {
            const int left = random.Between(0, 64), top = random.Between(0, 48);
            s.blit.area = RECT{left, top, random.Between(left, 64), random.Between(top, 48)};
        }
        SCOPED_TRACE(testing::Message()
                     << "round " << round << " angle " << s.angle << " scale " << s.scale);
        const std::vector<uint32_t> got = kit::DrawRotateScene(s);
        std::vector<uint32_t> want = s.blit.dest;
        soft::RotateWalk w{};
        if (kit::SceneWalk(s, &w)) {
            for (int64_t j = 0; j < w.rows; ++j) {
                for (int64_t i = 0; i < w.columns; ++i) {
                    const uint32_t u = uint32_t(w.ua + j * w.uy + i * w.ux);
                    const uint32_t v = uint32_t(w.va + j * w.vy + i * w.vx);
                    if (int32_t(u) >= 0 && int32_t(v) >= 0 && int32_t(u >> 18) < sw &&
                        int32_t(v >> 18) < sh) {
                        want[size_t(w.top + j) * 64 + size_t(w.left + i)] =
                            kit::IndexCode(kMemImgRgb32, 0, int(u >> 18), int(v >> 18));
                    }
                }
            }
        }
        ASSERT_TRUE(got == want) << kit::RotateDifferences(s, got, want);
    }
}

// Drawn unturned at its own size, any source in any mode that the blit draws
// with the same rule shows exactly what the blit at (centre - size / 2) shows.
TEST(RotateGeometry, AngleZeroDrawsExactlyWhatTheBlitDraws) {
    kit::BiasedRandom random(74);
    for (int round = 0; round < 600 * kRounds; ++round) {
        static constexpr Source kKinds[] = {Source::k32,       Source::k32Alpha, Source::k565,
                                            Source::k565Alpha, Source::kPal32,   Source::kPal565};
        const Source kind = kKinds[random.Below(6)];
        kit::RotateScene s = kit::RandomRotateScene(random, kind, random.Between(1, 20),
                                                    random.Between(1, 20), 32, 32);
        s.angle = 0.0f;
        s.scale = 1.0f;
        kit::BlitScene& b = s.blit;
        if (random.Below(2) == 0) {
            b.brightness = random.Byte() << 16 | random.Byte() << 8 | random.Byte();
        }
        // The blit's white, unmasked special parameters have rules of their own, and
        // its white copy stores alpha sources whole without the transparent flag.
        const bool white = (b.brightness & 0xFFFFFF) == 0xFFFFFF;
        const bool wholeAlphaCopy = b.mode == 0 && kit::HasAlpha(kind) && b.trans == 0;
        if (white && !b.useMask &&
            (b.mode == 1 || ((b.mode == 2 || b.mode == 3) && b.p == 255) || wholeAlphaCopy)) {
            continue;
        }
        b.x = s.cx - b.sw / 2;
        b.y = s.cy - b.sh / 2;
        SCOPED_TRACE(testing::Message()
                     << "round " << round << " kind " << int(kind) << " mode " << b.mode << " p "
                     << b.p << " trans " << b.trans << " mask " << b.useMask << " size " << b.sw
                     << "x" << b.sh << " at " << b.x << "," << b.y << std::hex << " brightness "
                     << b.brightness << " key " << b.key);
        const std::vector<uint32_t> turned = kit::DrawRotateScene(s);
        const std::vector<uint32_t> blitted = kit::DrawScene(b);
        ASSERT_TRUE(turned == blitted) << kit::RotateDifferences(s, turned, blitted);
    }
}

// A right-angle turn at a whole scale agrees with the quad through the
// turned corners wherever the quad draws: both take the texel under each
// pixel's top-left corner. The quad leaves out the row or column on its far
// edge along an axis that runs against its texel axis, which the turned walk
// draws, so that every texel shows on exactly scale x scale pixels.
TEST(RotateGeometry, ARightAngleTurnAgreesWithTheQuadThroughTheTurnedCorners) {
    kit::BiasedRandom random(75);
    for (int round = 0; round < 200 * kRounds; ++round) {
        // Even sides: the turned walk's centre is texel (width / 2, height / 2) rounded
        // down, the corners lie half the size away.
        const int scale = random.Between(1, 2);
        const int sw = 2 * random.Between(1, 12), sh = 2 * random.Between(1, 12);
        kit::RotateScene s = kit::IndexCodedScene(sw, sh, 80, 80);
        s.cx = random.Between(30, 50);
        s.cy = random.Between(30, 50);
        s.angle = kQuarter * static_cast<float>(random.Between(-4, 4));
        s.scale = static_cast<float>(scale);
        SCOPED_TRACE(testing::Message() << sw << "x" << sh << " at " << s.cx << "," << s.cy
                                        << " angle " << s.angle << " scale " << s.scale);
        const std::vector<uint32_t> turned = kit::DrawRotateScene(s);

        const soft::RotateFrame f = soft::TurnSource(sw, sh, s.cx, s.cy, s.angle, s.scale);
        // Top-left, top-right, bottom-left, bottom-right of the source.
        const int order[4] = {0, 3, 1, 2};
        std::array<MemImgQuadCorner, 4> corners{};
        for (int k = 0; k < 4; ++k) {
            corners[k] = {int32_t(f.x[order[k]] / 262144), int32_t(f.y[order[k]] / 262144)};
        }
        kit::GuardedImage source(kMemImgRgb32, sw, sh);
        source.SetPixels(s.blit.source);
        kit::GuardedImage dest(kMemImgRgb32, 80, 80);
        dest.SetPixels(s.blit.dest);
        MemImgTexturedQuad(DefaultSoftDrawState(RECT{0, 0, 80, 80}), dest.image(), source.image(),
                           corners.data(), 0, nullptr);
        const std::vector<uint32_t> quad = dest.Pixels();
        std::vector<int> shown(size_t(sw) * sh, 0);
        for (size_t i = 0; i < quad.size(); ++i) {
            if (quad[i] != 0x11111111u) {
                ASSERT_EQ(turned[i], quad[i]) << i % 80 << "," << i / 80;
            }
            if (turned[i] != 0x11111111u) {
                ++shown[(turned[i] >> 12 & 0xFFF) * size_t(sw) + (turned[i] & 0xFFF)];
            }
        }
        for (size_t t = 0; t < shown.size(); ++t) {
            ASSERT_EQ(shown[t], scale * scale) << "texel " << t % sw << "," << t / sw;
        }
    }
}

}  // namespace
}  // namespace tessel
