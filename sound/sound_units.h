// Conversions between milliseconds and sample frames, through 64 bits so
// that long sounds at high rates do not overflow; both truncate.
#pragma once

#include <cstdint>

namespace tessel {

inline int MillisecondsToSamples(int ms, int rate) {
    return static_cast<int>(int64_t{ms} * rate / 1000);
}

inline int SamplesToMilliseconds(int samples, int rate) {
    if (rate == 0)
        return 0;
    return static_cast<int>(int64_t{samples} * 1000 / rate);
}

}  // namespace tessel
