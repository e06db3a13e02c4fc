// The performance counter, tick count and calendar times from the Linux
// clocks, and the processor's identification and time-stamp counter.
#include "platform/kernel/time.h"

#include "platform/winmm.h"

#include <cpuid.h>
#include <time.h>
#include <x86intrin.h>

namespace {

constexpr LONGLONG kCounterFrequency = 10'000'000;  // 100 ns ticks, as Windows commonly reports

struct timespec Monotonic() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

// The counter starts near zero at process start, so that callers that
// multiply it before dividing (count * 1000000 / frequency) stay far from
// overflow, however long the machine has been up.
const struct timespec processStart = Monotonic();

}  // namespace

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    struct timespec now = Monotonic();
    LONGLONG ns = (static_cast<LONGLONG>(now.tv_sec) - processStart.tv_sec) * 1'000'000'000LL +
                  (now.tv_nsec - processStart.tv_nsec);
    count->QuadPart = ns / (1'000'000'000LL / kCounterFrequency);
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    frequency->QuadPart = kCounterFrequency;
    return TRUE;
}

DWORD GetTickCount() {
    return timeGetTime();
}

namespace platform {

void FillSystemTime(const struct tm& parts, long nanoseconds, SYSTEMTIME* time) {
    time->wYear = static_cast<WORD>(parts.tm_year + 1900);
    time->wMonth = static_cast<WORD>(parts.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(parts.tm_wday);
    time->wDay = static_cast<WORD>(parts.tm_mday);
    time->wHour = static_cast<WORD>(parts.tm_hour);
    time->wMinute = static_cast<WORD>(parts.tm_min);
    time->wSecond = static_cast<WORD>(parts.tm_sec);
    time->wMilliseconds = static_cast<WORD>(nanoseconds / 1'000'000);
}

}  // namespace platform

void GetLocalTime(SYSTEMTIME* time) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm parts;
    localtime_r(&now.tv_sec, &parts);
    platform::FillSystemTime(parts, now.tv_nsec, time);
}

void GetSystemTime(SYSTEMTIME* time) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm parts;
    gmtime_r(&now.tv_sec, &parts);
    platform::FillSystemTime(parts, now.tv_nsec, time);
}

// Every x86-64 processor has CPUID.
BOOL CpuidAvailable() {
    return TRUE;
}

void CpuidQuery(DWORD leaf, DWORD registers[4]) {
    unsigned int a = 0, b = 0, c = 0, d = 0;
    __cpuid_count(leaf, 0, a, b, c, d);
    registers[0] = a;
    registers[1] = b;
    registers[2] = c;
    registers[3] = d;
}

ULONGLONG ReadTimeStampCounter() {
    return __rdtsc();
}
