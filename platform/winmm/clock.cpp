// The multimedia timer's millisecond clock and its resolution calls.
#include <time.h>

#include "platform/winmm.h"

DWORD timeGetTime() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                              static_cast<uint64_t>(now.tv_nsec) / 1'000'000u);
}

namespace {
constexpr UINT kPeriodMin = 1;
constexpr UINT kPeriodMax = 1'000'000;
}  // namespace

MMRESULT timeBeginPeriod(UINT period) {
    return (period >= kPeriodMin && period <= kPeriodMax) ? TIMERR_NOERROR : TIMERR_NOCANDO;
}

MMRESULT timeEndPeriod(UINT period) {
    return (period >= kPeriodMin && period <= kPeriodMax) ? TIMERR_NOERROR : TIMERR_NOCANDO;
}

MMRESULT timeGetDevCaps(LPTIMECAPS caps, UINT size) {
    if (caps == nullptr || size < sizeof(TIMECAPS)) {
        return TIMERR_NOCANDO;
    }
    caps->wPeriodMin = kPeriodMin;
    caps->wPeriodMax = kPeriodMax;
    return TIMERR_NOERROR;
}
