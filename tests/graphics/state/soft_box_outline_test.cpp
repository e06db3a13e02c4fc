// The software box outline: the lines it hands to the line kernel cover each
// outline pixel exactly once, so an adding blend shows no double corner.
#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

#include "graphics/state/soft_box_outline.h"

using namespace tessel;

namespace {

using Hits = std::map<std::pair<int, int>, int>;

std::vector<pending::MemImgLineRecord> g_received;

void Receive(const pending::MemImgLineRecord* records, int count) {
    g_received.assign(records, records + count);
}

// The kernel's contract for the axis-aligned lines an outline uses: from
// the first end up to but not including the second, each pixel counted as
// an adding blend would.
void AddLine(const pending::MemImgLineRecord& line, Hits* hits) {
    ASSERT_TRUE(line.x1 == line.x2 || line.y1 == line.y2) << "an outline line is not straight";
    int dx = line.x2 > line.x1 ? 1 : line.x2 < line.x1 ? -1 : 0;
    int dy = line.y2 > line.y1 ? 1 : line.y2 < line.y1 ? -1 : 0;
    for (int x = line.x1, y = line.y1; x != line.x2 || y != line.y2; x += dx, y += dy) {
        ++(*hits)[{x, y}];
    }
}

Hits ExpectedOutline(int x1, int y1, int x2, int y2) {
    Hits hits;
    for (int y = y1; y < y2; ++y) {
        for (int x = x1; x < x2; ++x) {
            if (x == x1 || x == x2 - 1 || y == y1 || y == y2 - 1) {
                hits[{x, y}] = 1;
            }
        }
    }
    return hits;
}

class SoftBoxOutlineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_received.clear();
        pending::lineListSink = Receive;
    }
    void TearDown() override {
        pending::lineListSink = nullptr;
        pending::blendParam = 255;
    }
};

TEST_F(SoftBoxOutlineTest, TheOutlineCoversEachOfItsPixelsOnce) {
    struct Box {
        int x1, y1, x2, y2;
    };
    const Box boxes[] = {{10, 20, 17, 25}, {0, 0, 2, 2}, {-3, 4, 5, 6},   {3, 3, 4, 9},
                         {3, 3, 9, 4},     {5, 5, 6, 6}, {100, 7, 101, 8}};
    for (const Box& b : boxes) {
        SCOPED_TRACE(testing::Message() << b.x1 << "," << b.y1 << " - " << b.x2 << "," << b.y2);
        ASSERT_EQ(SoftDrawBoxOutline(b.x1, b.y1, b.x2, b.y2, 0x123456), 0);
        Hits hits;
        for (const pending::MemImgLineRecord& line : g_received) {
            EXPECT_EQ(line.color, 0x123456);
            AddLine(line, &hits);
        }
        EXPECT_EQ(hits, ExpectedOutline(b.x1, b.y1, b.x2, b.y2));
    }
}

TEST_F(SoftBoxOutlineTest, FourLinesGoRoundTheBoxAndCarryTheBlendParameter) {
    pending::blendParam = 77;
    SoftDrawBoxOutline(10, 20, 17, 25, 9);
    ASSERT_EQ(g_received.size(), 4u);
    const int expected[4][4] = {
        {10, 20, 16, 20}, {16, 20, 16, 24}, {16, 24, 10, 24}, {10, 24, 10, 20}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const pending::MemImgLineRecord& line = g_received[i];
        EXPECT_EQ(line.x1, expected[i][0]);
        EXPECT_EQ(line.y1, expected[i][1]);
        EXPECT_EQ(line.x2, expected[i][2]);
        EXPECT_EQ(line.y2, expected[i][3]);
        EXPECT_EQ(line.blendParam, 77);
    }
}

}  // namespace
