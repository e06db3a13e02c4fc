// How far two pixels lie apart: the largest difference of their red, green and blue. The one
// measure of the tests that hold two drawings or two conversions within a step of each other.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace tessel_test {

inline int ChannelGap(uint32_t a, uint32_t b) {
    int gap = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        gap = std::max(gap, std::abs(static_cast<int>((a >> shift) & 255) -
                                     static_cast<int>((b >> shift) & 255)));
    }
    return gap;
}

}  // namespace tessel_test
