// Which pixels a triangle covers: the coverage tables, vertex order, the
// walk at negative coordinates and clipping.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "softrender/triangle.h"
#include "softrender/triangle_scene.h"

namespace tessel {
namespace {

using kit::Triangle;

constexpr uint32_t kMarked = 0x00ABCDEFu;

Triangle Tri(int x0, int y0, int x1, int y1, int x2, int y2) {
    return Triangle{{{x0, y0, 0, 0}, {x1, y1, 0, 0}, {x2, y2, 0, 0}}};
}

// Draws a solid copy of kMarked on a clear size x size image; returns it.
std::vector<uint32_t> Cover(const Triangle& t, int size, RECT area) {
    kit::TriScene s{};
    s.solid = true;
    s.dw = s.dh = size;
    s.area = area;
    s.dest.assign(size_t(size) * size, 0);
    s.colour = kMarked;
    s.triangles = {t};
    return kit::DrawTriScene(s);
}

struct Span {
    int first, last;  // -1, -1 for an empty row
};

std::vector<Span> Spans(const std::vector<uint32_t>& image, int size) {
    std::vector<Span> out;
    for (int y = 0; y < size; ++y) {
        Span s{-1, -1};
        for (int x = 0; x < size; ++x) {
            if (image[y * size + x] != 0) {
                s.first = s.first < 0 ? x : s.first;
                s.last = x;
            }
        }
        out.push_back(s);
    }
    return out;
}

TEST(TriangleCoverage, FollowsTheWorkedExamplesInEveryVertexOrder) {
    struct Case {
        const char* what;
        Triangle t;
        std::vector<Span> rows;  // rows 0 .. n-1; the rest stay empty
    };
    const std::vector<Case> cases = {
        {"right angle at the origin",
         Tri(0, 0, 10, 0, 0, 10),
         {{0, 10}, {0, 9}, {0, 8}, {0, 7}, {0, 6}, {0, 5}, {0, 4}, {0, 3}, {0, 2}, {0, 1}}},
        {"middle vertex right of the long side",
         Tri(0, 0, 10, 5, 0, 10),
         {{0, 0}, {0, 2}, {0, 4}, {0, 6}, {0, 8}, {0, 10}, {0, 8}, {0, 6}, {0, 4}, {0, 2}}},
        {"the mirrored case",
         Tri(10, 0, 0, 5, 10, 10),
         {{10, 10},
          {8, 10},
          {6, 10},
          {4, 10},
          {2, 10},
          {0, 10},
          {2, 10},
          {4, 10},
          {6, 10},
          {8, 10}}},
        {"flat bottom", Tri(4, 0, 0, 4, 8, 4), {{4, 4}, {3, 5}, {2, 6}, {1, 7}}},
    };
    constexpr int kSize = 16;
    for (const Case& c : cases) {
        std::array<int, 3> order{0, 1, 2};
        do {
            Triangle t{c.t[order[0]], c.t[order[1]], c.t[order[2]]};
            SCOPED_TRACE(testing::Message()
                         << c.what << ", order " << order[0] << order[1] << order[2]);
            const std::vector<Span> got = Spans(Cover(t, kSize, RECT{0, 0, kSize, kSize}), kSize);
            for (int y = 0; y < kSize; ++y) {
                const Span want = y < int(c.rows.size()) ? c.rows[y] : Span{-1, -1};
                EXPECT_EQ(got[y].first, want.first) << "row " << y;
                EXPECT_EQ(got[y].last, want.last) << "row " << y;
            }
        } while (std::next_permutation(order.begin(), order.end()));
    }
}

TEST(TriangleCoverage, CountsSixtyFivePixelsForTheRightAngleExample) {
    const std::vector<uint32_t> image = Cover(Tri(0, 0, 10, 0, 0, 10), 16, RECT{0, 0, 16, 16});
    EXPECT_EQ(std::count(image.begin(), image.end(), kMarked), 65);
}

TEST(TriangleCoverage, DegenerateTrianglesDrawNothing) {
    const Triangle cases[] = {Tri(0, 0, 4, 4, 8, 8), Tri(2, 3, 2, 3, 9, 1), Tri(1, 5, 7, 5, 12, 5),
                              Tri(3, 3, 3, 3, 3, 3), Tri(2, 0, 2, 6, 2, 9)};
    for (const Triangle& t : cases) {
        SCOPED_TRACE(testing::Message() << t[0].x << "," << t[0].y << " " << t[1].x << "," << t[1].y
                                        << " " << t[2].x << "," << t[2].y);
        const std::vector<uint32_t> image = Cover(t, 16, RECT{0, 0, 16, 16});
        EXPECT_EQ(std::count(image.begin(), image.end(), 0u), 256);
    }
}

// The top vertex above the area and a left side that changes segment on row
// 2: blended in mode 1, each pixel of rows 0 to 7 is blended exactly once.
TEST(TriangleWalk, BlendsEveryRowOnceWhenTheTopLiesAboveTheArea) {
    kit::TriScene s{};
    s.solid = true;
    s.dw = s.dh = 16;
    s.area = RECT{0, 0, 16, 16};
    s.dest.assign(256, 0x00404040u);
    s.colour = 0x00C0C0C0u;
    s.mode = kBlendAlpha;
    s.p = 128;
    s.triangles = {Tri(10, -3, 0, 2, 10, 8)};
    const std::vector<uint32_t> got = kit::DrawTriScene(s);
    const uint32_t once = 0x00808080u;  // (0xC0 - 0x40) x 128 / 256 + 0x40
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const uint32_t v = got[y * 16 + x];
            EXPECT_TRUE(v == 0x00404040u || v == once) << x << "," << y << std::hex << " " << v;
        }
        const bool drawn = got[y * 16 + 10] == once;
        EXPECT_EQ(drawn, y < 8) << "row " << y;
    }
    EXPECT_EQ(got[2 * 16 + 0], once) << "row 2 reaches the middle vertex";
    EXPECT_EQ(got, kit::ExpectTriScene(s));
}

TEST(TriangleWalk, ATriangleWhollyLeftOfTheAreaDrawsNothing) {
    const Triangle cases[] = {Tri(-6, 0, -1, 3, -6, 6), Tri(-1, 0, -1, 7, -9, 3),
                              Tri(-3, -2, -1, 9, -8, 4)};
    for (const Triangle& t : cases) {
        SCOPED_TRACE(testing::Message() << t[0].x << "," << t[0].y);
        const std::vector<uint32_t> image = Cover(t, 12, RECT{0, 0, 12, 12});
        EXPECT_EQ(std::count(image.begin(), image.end(), 0u), 144);
    }
    // The area's left edge inside the image: the same holds there.
    const std::vector<uint32_t> image = Cover(Tri(1, 0, 4, 3, 1, 6), 12, RECT{5, 0, 12, 12});
    EXPECT_EQ(std::count(image.begin(), image.end(), 0u), 144);
}

// Moving a triangle moves its pixels and nothing else, also across the
// image's top and left edges: no row or column is gained or lost at negative
// coordinates.
TEST(TriangleWalk, AMovedTriangleDrawsTheSamePixelsMoved) {
    kit::BiasedRandom random(31);
    constexpr int kSize = 24, kShift = 40, kBig = kSize + kShift;
    for (int round = 0; round < 400; ++round) {
        Triangle t = kit::RandomTriangle(random, 8, 8, kSize, kSize);
        for (MemImgTriVertex& v : t) {
            v.x -= kSize / 2;
            v.y -= kSize / 2;
        }
        Triangle moved = t;
        for (MemImgTriVertex& v : moved) {
            v.x += kShift;
            v.y += kShift;
        }
        SCOPED_TRACE(testing::Message() << "round " << round);
        const std::vector<uint32_t> small = Cover(t, kSize, RECT{0, 0, kSize, kSize});
        const std::vector<uint32_t> big = Cover(moved, kBig, RECT{0, 0, kBig, kBig});
        for (int y = 0; y < kSize; ++y) {
            for (int x = 0; x < kSize; ++x) {
                ASSERT_EQ(small[y * kSize + x], big[(y + kShift) * kBig + x + kShift])
                    << x << "," << y;
            }
        }
    }
}

// Textured random triangles in every mode: clipped to an area, each pixel
// inside the area is what the unclipped draw gives there, so a clipped span
// starts on the plane's value at the area's edge.
TEST(TriangleWalk, AClippedDrawEqualsTheUnclippedDrawInsideTheArea) {
    kit::BiasedRandom random(8);
    for (int round = 0; round < 600; ++round) {
        kit::TriScene s = kit::RandomTriScene(random, 9, 7, 20, 16);
        kit::RandomSettings(random, s);
        kit::TriScene whole = s;
        whole.area = RECT{0, 0, s.dw, s.dh};
        SCOPED_TRACE(testing::Message() << "round " << round);
        const std::vector<uint32_t> clipped = kit::DrawTriScene(s);
        const std::vector<uint32_t> full = kit::DrawTriScene(whole);
        for (int y = 0; y < s.dh; ++y) {
            for (int x = 0; x < s.dw; ++x) {
                const bool inside =
                    x >= s.area.left && x < s.area.right && y >= s.area.top && y < s.area.bottom;
                const size_t at = size_t(y) * s.dw + x;
                ASSERT_EQ(clipped[at], inside ? full[at] : s.dest[at]) << x << "," << y;
            }
        }
    }
}

}  // namespace
}  // namespace tessel
