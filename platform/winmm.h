// Windows multimedia services: the millisecond clock and timer resolution.
#pragma once

#include "platform/types.h"

using MMRESULT = UINT;

#define TIMERR_NOERROR 0u
#define TIMERR_NOCANDO 97u

struct TIMECAPS {
    UINT wPeriodMin;
    UINT wPeriodMax;
};
using LPTIMECAPS = TIMECAPS*;

// Milliseconds of the monotonic clock, wrapping at 2^32 as on Windows.
DWORD timeGetTime();
// The resolution is always 1 ms here; the calls check their argument and
// keep Windows' pairing rule but change nothing.
MMRESULT timeBeginPeriod(UINT period);
MMRESULT timeEndPeriod(UINT period);
MMRESULT timeGetDevCaps(LPTIMECAPS caps, UINT size);
