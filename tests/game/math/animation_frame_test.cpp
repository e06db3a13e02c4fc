// The animation cell that shows at a frame.
#include "game/math/animation_frame.h"

#include <gtest/gtest.h>

namespace {

TEST(AnimationFrame, CellIndexWrapsTheTruncatedProductIntoTheRecord) {
    const struct {
        int first, count, frame;
        double speed;
        int index;
    } cases[] = {
        {10, 16, 0, 0.25, 10},       // the first cell
        {10, 16, 17, 0.25, 14},      // 4.25 truncates to 4
        {10, 16, 64, 0.25, 10},      // 16 wraps to 0
        {10, 16, 67, 0.25, 10},      // 16.75 truncates before wrapping
        {10, 16, 71, 0.25, 11},      // 17.75
        {3, 5, 9, 0.12, 4},          // 1.08
        {3, 5, 3, 0.3333, 3},        // 0.9999 truncates to 0
        {100, 6, 200, 1.0, 102},     // 200 mod 6 = 2
        {7, 0, 55, 0.5, 7},          // a record of no cells holds one image
        {7, -3, 5, 1.0, 7},          // nor does a negative count pick another
        {7, 1, 55, 0.5, 7},          // one cell
        {0, 4, 2147483647, 4.0, 0},  // beyond int: 8589934588 mod 4 = 0
        {0, 4, -5, 1.0, 3},          // never before the record's first cell
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.first << " " << c.count << " " << c.frame << " " << c.speed);
        EXPECT_EQ(AnimationCellIndex(c.first, c.count, c.frame, c.speed), c.index);
    }
}

}  // namespace
