// Clocks: the performance counter (the monotonic clock in nanoseconds),
// the tick count, local and UTC calendar time, and the processor's
// identification and time-stamp counter. The millisecond clock of the
// multimedia timer is in winmm.h.
#pragma once

#include "platform/types.h"

struct tm;

BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
DWORD GetTickCount();
void GetLocalTime(SYSTEMTIME* time);
void GetSystemTime(SYSTEMTIME* time);

namespace platform {

// A broken-down calendar time and the nanoseconds into its second as a SYSTEMTIME.
void FillSystemTime(const struct tm& parts, long nanoseconds, SYSTEMTIME* time);

}  // namespace platform

// Processor identification and the time-stamp counter.
BOOL CpuidAvailable();
void CpuidQuery(DWORD leaf, DWORD registers[4]);  // EAX, EBX, ECX, EDX
ULONGLONG ReadTimeStampCounter();
