// The loaders' size limit, for sides up to the 32-bit values a header holds.
#include "images/stream_reading.h"

#include <gtest/gtest.h>

#include "images/image_test_support.h"

namespace tessel_test {
namespace {

TEST(ImageSizeLimit, HoldsForSidesWhoseProductOverflowsSixtyFourBits) {
    struct Case {
        int64_t width;
        int64_t height;
        bool takeable;
    };
    const Case cases[] = {
        {16384, 16384, true},
        {16385, 16384, false},
        {1, 268435456, true},
        {1, 268435457, false},
        {0, 5, false},
        {5, -1, false},
        // Two 32-bit sides: their product wraps past 2^63, once to a small
        // or negative number that passed for a small image.
        {0xFFFFFFFF, 0xFFFFFFFF, false},
        {0xCAC9CACA, 0xCAC9CACA, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        EXPECT_EQ(tessel::IsTakeableSize(c.width, c.height), c.takeable);
    }
}

// The raw BGRA header gives its sides as 32-bit values, the one loader that
// reached the limit with both above 2^31.
TEST(ImageSizeLimit, BgraFileClaimingTwoHugeSidesIsRefused) {
    Bytes file = {'B', 'G', 'R', 'A'};
    PutLe32(&file, 0x08080808);
    PutLe32(&file, 0xCAC9CACA);
    PutLe32(&file, 0xCAC9CACA);
    file.resize(file.size() + 64, 0x11);
    Decoded d;
    Decode(file, &d, tessel::ReadBgraImage);
    EXPECT_EQ(d.result, -1);
    EXPECT_EQ(d.image.pixels, nullptr);
}

}  // namespace
}  // namespace tessel_test
