// Lines, line lists and box outlines: their pixel lists and clips, every blend mode against the
// oracle, guard bands, refusals.
#include "softrender/line.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <set>
#include <utility>
#include <vector>

#include "softrender/kit.h"
#include "softrender/oracle.h"

namespace tessel {
namespace {

using Points = std::set<std::pair<int, int>>;

// A naive model of where a line lands: the reject, the clip of each end
// point from the unclipped line's equations, the clamps, and then the k-th
// pixel at (x1 + sx k, y1 + sy floor(k ly / lx)) (axes exchanged when y is
// the longer one). Pixels in drawing order.
std::vector<std::pair<int, int>> ModelPixels(const RECT& a, int64_t x1, int64_t y1, int64_t x2,
                                             int64_t y2) {
    const int64_t L = a.left, T = a.top, R = a.right, B = a.bottom;
    if (std::min(y1, y2) >= B || std::min(x1, x2) >= R || std::max(y1, y2) < T ||
        std::max(x1, x2) < L) {
        return {};
    }
    auto trunc = [](double v) -> int64_t {
        const double t = std::trunc(v);
        return (t >= -2147483648.0 && t <= 2147483647.0) ? static_cast<int64_t>(t) : INT32_MIN;
    };
    const double xPerY = y1 == y2 ? 0.0 : double(x2 - x1) / double(y2 - y1);
    const double yPerX = x1 == x2 ? 0.0 : double(y2 - y1) / double(x2 - x1);
    const double ix = double(x1) - double(y1) * xPerY;
    const double iy = double(y1) - double(x1) * yPerX;
    if (x1 < L) {
        x1 = L, y1 = trunc(iy + double(L) * yPerX);
    } else if (x1 >= R) {
        x1 = R - 1, y1 = trunc(iy + double(R - 1) * yPerX);
    }
    if (x2 < L) {
        x2 = L - 1, y2 = trunc(iy + double(L - 1) * yPerX);
    } else if (x2 >= R) {
        x2 = R, y2 = trunc(iy + double(R) * yPerX);
    }
    if (y1 < T) {
        y1 = T, x1 = trunc(ix + double(T) * xPerY);
    } else if (y1 >= B) {
        y1 = B - 1, x1 = trunc(ix + double(B - 1) * xPerY);
    }
    if (y2 < T) {
        y2 = T - 1, x2 = trunc(ix + double(T - 1) * xPerY);
    } else if (y2 >= B) {
        y2 = B, x2 = trunc(ix + double(B) * xPerY);
    }
    x1 = x1 < L ? L : (x1 > R - 1 ? R - 1 : x1);
    y1 = y1 < T ? T : (y1 > B - 1 ? B - 1 : y1);
    x2 = x2 < L - 1 ? L - 1 : (x2 > R ? R : x2);
    y2 = y2 < T - 1 ? T - 1 : (y2 > B ? B : y2);
    const int64_t lx = std::llabs(x2 - x1), ly = std::llabs(y2 - y1);
    const int64_t sx = x2 < x1 ? -1 : 1, sy = y2 < y1 ? -1 : 1;
    std::vector<std::pair<int, int>> out;
    if (lx >= ly) {
        for (int64_t k = 0; k < lx; ++k) {
            out.emplace_back(int(x1 + sx * k), int(y1 + sy * (k * ly / lx)));
        }
    } else {
        for (int64_t k = 0; k < ly; ++k) {
            out.emplace_back(int(x1 + sx * (k * lx / ly)), int(y1 + sy * k));
        }
    }
    return out;
}

// Adds blue 1 at every pixel a draw visits, so a pixel's value counts its
// visits.
SoftDrawState Counting(const RECT& area) {
    SoftDrawState s = DefaultSoftDrawState(area);
    s.blendMode = kBlendAdd;
    s.blendParam = 255;
    return s;
}

// The pixels of a 32-bit counting image that were visited, each with its
// count.
std::vector<std::pair<std::pair<int, int>, uint32_t>> Visited(const kit::GuardedImage& image) {
    std::vector<std::pair<std::pair<int, int>, uint32_t>> out;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.Get(x, y) != 0) {
                out.push_back({{x, y}, image.Get(x, y)});
            }
        }
    }
    return out;
}

Points Drawn(const RECT& area, int w, int h, int x1, int y1, int x2, int y2) {
    kit::GuardedImage image(kMemImgRgb32, w, h);
    MemImgLine(Counting(area), image.image(), x1, y1, x2, y2, 1);
    EXPECT_TRUE(image.GuardsIntact());
    Points out;
    for (const auto& [at, count] : Visited(image)) {
        EXPECT_EQ(count, 1u) << "visited twice at " << at.first << "," << at.second;
        out.insert(at);
    }
    return out;
}

TEST(Line, DrawsTheStartAndStopsBeforeTheEnd) {
    struct Case {
        int x1, y1, x2, y2;
        Points want;
    };
    const Case cases[] = {
        {0, 0, 4, 0, {{0, 0}, {1, 0}, {2, 0}, {3, 0}}},
        {4, 0, 0, 0, {{4, 0}, {3, 0}, {2, 0}, {1, 0}}},
        {0, 0, 4, 1, {{0, 0}, {1, 0}, {2, 0}, {3, 0}}},
        {0,
         0,
         10,
         5,
         {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}, {6, 3}, {7, 3}, {8, 4}, {9, 4}}},
        {0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}}},
        {3, 3, 0, 0, {{3, 3}, {2, 2}, {1, 1}}},
        {2, 0, 3, 5, {{2, 0}, {2, 1}, {2, 2}, {2, 3}, {2, 4}}},
        {7, 6, 4, 1, {{7, 6}, {7, 5}, {6, 4}, {6, 3}, {5, 2}}},
        {5, 5, 5, 5, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x1 << "," << c.y1 << " to " << c.x2 << "," << c.y2);
        EXPECT_EQ(Drawn(RECT{0, 0, 12, 8}, 12, 8, c.x1, c.y1, c.x2, c.y2), c.want);
    }
}

TEST(Line, ClipsToTheDrawArea) {
    auto row = [](int from, int to, int y) {
        Points p;
        for (int x = from; x <= to; ++x) {
            p.insert({x, y});
        }
        return p;
    };
    Points column;
    for (int y = 0; y <= 99; ++y) {
        column.insert({5, y});
    }
    struct Case {
        int x1, y1, x2, y2;
        Points want;
    };
    const Case cases[] = {
        {-10, 5, 10, 5, row(0, 9, 5)},
        {90, 5, 200, 5, row(90, 99, 5)},
        {5, -20, 5, 300, column},
        {-30, -5, -1, 50, {}},     // wholly left
        {100, 0, 140, 60, {}},     // wholly right
        {0, -40, 90, -1, {}},      // wholly above
        {20, 100, 30, 400, {}},    // wholly below
        {-50, 300, -40, 200, {}},  // below and left
        // The start clipped onto y = -0.5, which truncates to row 0.
        {-1, -1, 1, 0, {{0, 0}}},
        // The end clipped onto y = -0.5 keeps row 0 as its own row.
        {2, 1, -2, -1, {{2, 1}, {1, 1}, {0, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x1 << "," << c.y1 << " to " << c.x2 << "," << c.y2);
        EXPECT_EQ(Drawn(RECT{0, 0, 100, 100}, 100, 100, c.x1, c.y1, c.x2, c.y2), c.want);
    }
}

// Random lines, areas, modes, parameters and brightness on both depths
// against the model's pixel list blended by the oracle's fill rules.
TEST(Line, MatchesTheModelInEveryModeAndClip) {
    kit::BiasedRandom random(909);
    constexpr int kW = 37, kH = 23;
    static constexpr uint32_t kModes[] = {0, 1, 2, 3, 4, 10, 11};
    for (int round = 0; round < 6000; ++round) {
        const uint32_t type = random.Below(2);
        kit::GuardedImage image(type, kW, kH);
        std::vector<uint32_t> want;
        for (int i = 0; i < kW * kH; ++i) {
            want.push_back(type == 1 ? random.Pixel32() : random.Pixel565());
        }
        image.SetPixels(want);
        const int left = random.Between(0, kW - 1), top = random.Between(0, kH - 1);
        const RECT area{left, top, random.Between(left + 1, kW), random.Between(top + 1, kH)};
        SoftDrawState state = DefaultSoftDrawState(area);
        state.blendMode = kModes[random.Below(7)];
        state.blendParam = int(random.Byte());
        if (random.Below(2) == 0) {
            state.brightness = random.Byte() << 16 | random.Byte() << 8 | random.Byte();
        }
        const uint32_t colour = type == 1 ? random.Pixel32() : random.Pixel565();
        const int reach = random.Below(4) == 0 ? 400 : 60;
        const int x1 = random.Between(-reach, reach), y1 = random.Between(-reach, reach);
        const int x2 = random.Between(-reach, reach), y2 = random.Between(-reach, reach);
        SCOPED_TRACE(testing::Message() << "round " << round << " type " << type << " mode "
                                        << state.blendMode << " p " << state.blendParam << " " << x1
                                        << "," << y1 << " to " << x2 << "," << y2);
        for (const auto& [x, y] : ModelPixels(area, x1, y1, x2, y2)) {
            uint32_t& d = want[size_t(y) * kW + x];
            d = (type == 1 ? oracle::Fill32(state.blendMode, state.blendParam, state.brightness, d,
                                            colour)
                           : oracle::Fill565(state.blendMode, state.blendParam, state.brightness, d,
                                             colour))
                    .value_or(d);
        }
        MemImgLine(state, image.image(), x1, y1, x2, y2, colour);
        ASSERT_EQ(image.Pixels(), want);
        ASSERT_TRUE(image.GuardsIntact());
    }
}

TEST(Line, EndPointsAtTheEndsOfTheIntegerRangeStayInTheArea) {
    const int kEnds[] = {INT_MIN, INT_MIN + 1, -1, 0, 7, INT_MAX - 1, INT_MAX};
    for (int x1 : kEnds) {
        for (int y1 : kEnds) {
            for (int x2 : kEnds) {
                for (int y2 : kEnds) {
                    SCOPED_TRACE(testing::Message()
                                 << x1 << "," << y1 << " to " << x2 << "," << y2);
                    kit::GuardedImage image(kMemImgRgb565, 16, 16);
                    MemImgLine(Counting(RECT{2, 3, 15, 11}), image.image(), x1, y1, x2, y2, 1);
                    ASSERT_TRUE(image.GuardsIntact());
                    for (int y = 0; y < 16; ++y) {
                        for (int x = 0; x < 16; ++x) {
                            const bool inside = x >= 2 && x < 15 && y >= 3 && y < 11;
                            ASSERT_LE(image.Get(x, y), inside ? 1u : 0u) << x << "," << y;
                        }
                    }
                }
            }
        }
    }
}

TEST(Line, ADrawAreaBeyondTheViewStopsAtItsEdge) {
    EXPECT_EQ(Drawn(RECT{-5, -5, 50, 50}, 6, 4, -3, 1, 40, 1),
              (Points{{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}}));
    EXPECT_EQ(Drawn(RECT{8, 0, 12, 4}, 6, 4, 0, 1, 40, 1), Points{});
}

TEST(Line, TheModeAndParameterDecideWhetherAndHowItDraws) {
    struct Case {
        uint32_t mode;
        int p;
        uint32_t want;  // the drawn pixels' value over 0x11223344
    };
    const Case cases[] = {
        {1, 255, 0x80FF0102u},  // stored whole, top byte included
        {1, 0, 0x11223344u},    {2, 0, 0x11223344u},
        {3, 0, 0x11223344u},    {5, 200, 0x11223344u},
        {7, 200, 0x11223344u},  {9, 200, 0x11223344u},
        {12, 200, 0x11223344u}, {0xFFFFFFFFu, 200, 0x11223344u},
        {10, 0, 0x11223344u},  // draws, and changes nothing
        {4, 0, 0x11210000u},   // multiplies whatever p is: (0x22, 0x33, 0x44) x (0xFF, 1, 2) >> 8
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " p " << c.p);
        kit::GuardedImage image(kMemImgRgb32, 6, 3);
        for (int x = 0; x < 6; ++x) {
            image.Set(x, 1, 0x11223344u);
        }
        SoftDrawState state = DefaultSoftDrawState(RECT{0, 0, 6, 3});
        state.blendMode = c.mode;
        state.blendParam = c.p;
        MemImgLine(state, image.image(), 0, 1, 6, 1, 0x80FF0102u);
        for (int x = 0; x < 6; ++x) {
            EXPECT_EQ(image.Get(x, 1), c.want) << x;
        }
    }
}

TEST(Line, RefusesDestinationsItCannotDrawOn) {
    struct Case {
        const char* what;
        uint32_t type;
        int alpha, palette;
    };
    const Case cases[] = {
        {"paletted 32-bit", 1, 0, 1},   {"paletted RGB565", 0, 0, 1},
        {"32-bit with alpha", 1, 1, 0}, {"RGB565 with alpha", 0, 1, 0},
        {"single channel 8", 2, 0, 0},  {"single channel 16", 3, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        kit::GuardedImage image(c.type, 8, 4, c.alpha, c.palette);
        MemImgLine(DefaultSoftDrawState(RECT{0, 0, 8, 4}), image.image(), 0, 0, 8, 4, 0xFFFFFFFFu);
        for (uint32_t v : image.Pixels()) {
            EXPECT_EQ(v, 0u);
        }
        EXPECT_TRUE(image.GuardsIntact());
    }
}

TEST(LineList, DrawsEachRecordAsItsOwnLine) {
    const MemImgLineRecord crossing[] = {
        {0, 2, 6, 2, 1, 0}, {3, 0, 3, 5, 1, 0}, {0, 0, 1, 0, 9, 0}};
    for (int count : {-1, 0}) {
        kit::GuardedImage image(kMemImgRgb32, 8, 6);
        MemImgLineList(Counting(RECT{0, 0, 8, 6}), image.image(), crossing, count);
        EXPECT_TRUE(Visited(image).empty()) << count;
    }
    kit::GuardedImage image(kMemImgRgb32, 8, 6);
    MemImgLineList(Counting(RECT{0, 0, 8, 6}), image.image(), crossing, 2);
    EXPECT_EQ(image.Get(3, 2), 2u);  // blended by both lines
    EXPECT_EQ(image.Get(0, 2), 1u);
    EXPECT_EQ(image.Get(3, 4), 1u);
    EXPECT_EQ(image.Get(0, 0), 0u);  // the third record is beyond the count
    EXPECT_EQ(Visited(image).size(), 6u + 5u - 1u);
}

TEST(BoxOutline, TheFourRecordsGoRoundTheBox) {
    MemImgLineRecord r[4];
    MemImgBoxOutlineRecords(10, 20, 14, 23, 0xABCD, 77, r);
    const int32_t want[4][4] = {
        {10, 20, 13, 20}, {13, 20, 13, 22}, {13, 22, 10, 22}, {10, 22, 10, 20}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ((std::vector<int32_t>{r[i].x1, r[i].y1, r[i].x2, r[i].y2}),
                  (std::vector<int32_t>(want[i], want[i] + 4)))
            << i;
        EXPECT_EQ(r[i].colour, 0xABCDu);
        EXPECT_EQ(r[i].extra, 77);
    }
}

// Counted with the add mode: the outline of a box at least two pixels each
// way is drawn once everywhere; thinner boxes as the four lines fall.
TEST(BoxOutline, DrawsEachOutlinePixelOnceWhenTheBoxIsTwoByTwoOrMore) {
    struct Case {
        int left, top, right, bottom;
        size_t pixels;
        uint32_t most;  // the largest visit count
    };
    const Case cases[] =
        {
            {10, 20, 14, 23, 10, 1}, {3, 4, 5, 6, 4, 1}, {0, 0, 30, 2, 60, 1},
            {5, 5, 6, 6, 0, 0},      {5, 2, 6, 7, 5, 2}, {2, 5, 7, 6, 5, 2},
            {14, 20, 10, 23, 14, 1},  // corners not reordered: a ring reaching one pixel further
        };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.left << "," << c.top << "," << c.right << "," << c.bottom);
        kit::GuardedImage image(kMemImgRgb32, 32, 32);
        MemImgLineRecord r[4];
        MemImgBoxOutlineRecords(c.left, c.top, c.right, c.bottom, 1, 255, r);
        MemImgLineList(Counting(RECT{0, 0, 32, 32}), image.image(), r, 4);
        const auto visited = Visited(image);
        EXPECT_EQ(visited.size(), c.pixels);
        uint32_t most = 0;
        for (const auto& v : visited) {
            most = std::max(most, v.second);
        }
        EXPECT_EQ(most, c.most);
    }
    // One pixel wide and more than two high: the inner pixels twice, the ends once.
    kit::GuardedImage image(kMemImgRgb32, 8, 8);
    MemImgLineRecord r[4];
    MemImgBoxOutlineRecords(5, 2, 6, 7, 1, 0, r);
    MemImgLineList(Counting(RECT{0, 0, 8, 8}), image.image(), r, 4);
    const uint32_t want[] = {1, 2, 2, 2, 1};
    for (int y = 2; y < 7; ++y) {
        EXPECT_EQ(image.Get(5, y), want[y - 2]) << y;
    }
}

}  // namespace
}  // namespace tessel
