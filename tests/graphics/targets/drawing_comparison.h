// Two drawings of one scene compared pixel by pixel, for the tests that draw a scene two ways
// (the shader path against the fixed pipeline): the pixels both drew, those of them more than
// one step apart in a channel, the largest step, and the pixels only one of them drew.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "tests/support/channel_gap.h"

namespace tessel_test {

struct DrawingComparison {
    int drawn = 0;   // neither drawing left the background there
    int off = 0;     // of those, more than one step apart
    int worst = 0;   // the largest step of those
    int oneWay = 0;  // one drawing drew, the other left the background
};

inline DrawingComparison CompareDrawings(const std::vector<uint32_t>& a,
                                         const std::vector<uint32_t>& b, uint32_t background) {
    DrawingComparison c;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] == background || b[i] == background) {
            c.oneWay += a[i] != b[i] ? 1 : 0;
            continue;
        }
        ++c.drawn;
        const int d = ChannelGap(a[i], b[i]);
        c.worst = std::max(c.worst, d);
        c.off += d > 1 ? 1 : 0;
    }
    return c;
}

}  // namespace tessel_test
