#pragma once

#include "platform/types.h"

BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
DWORD GetTickCount();
void GetLocalTime(SYSTEMTIME* time);
void GetSystemTime(SYSTEMTIME* time);

// Processor identification and the time-stamp counter.
BOOL CpuidAvailable();
void CpuidQuery(DWORD leaf, DWORD registers[4]);  // EAX, EBX, ECX, EDX
ULONGLONG ReadTimeStampCounter();
