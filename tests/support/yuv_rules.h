// The colour-conversion rules the YUV tests share, written out here apart
// from the code they check: the decoder's 4:2:0 table rule and the measure of
// how far two pixels lie apart.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "tests/support/channel_gap.h"

namespace yuv_rules {

inline int Clamp(int v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

// The 4:2:0 rule: 14-bit fixed point, the division truncating toward zero.
inline uint32_t TableRule(int y, int u, int v) {
    const int l = (y - 16) * 19070;
    const int r = Clamp((l + (v - 128) * 26148) / 16384);
    const int g = Clamp((l - (u - 128) * 6406 - (v - 128) * 13320) / 16384);
    const int b = Clamp((l + (u - 128) * 33062) / 16384);
    return 0xFF000000u | static_cast<uint32_t>(r << 16 | g << 8 | b);
}

// The largest difference of one colour channel between two pixels.
using tessel_test::ChannelGap;

}  // namespace yuv_rules
