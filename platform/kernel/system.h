// The system's identity and state as the library asks for them: the Windows
// version it reports, memory figures from the Linux kernel, debugger output
// and ending the process. Test hooks (a sink for debugger output) are in
// kernel_testing.h.
#pragma once

#include "platform/types.h"

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
};
using LPOSVERSIONINFOA = OSVERSIONINFOA*;

struct OSVERSIONINFOEXA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
};

#define VER_PLATFORM_WIN32_NT 2u
#define VER_NT_WORKSTATION 1u

// Reports Windows 7 (6.1), so the library takes its newest paths. Accepts
// either structure, told apart by dwOSVersionInfoSize as on Windows.
BOOL GetVersionExA(LPOSVERSIONINFOA info);

struct MEMORYSTATUS {
    DWORD dwLength;
    DWORD dwMemoryLoad;
    SIZE_T dwTotalPhys;
    SIZE_T dwAvailPhys;
    SIZE_T dwTotalPageFile;
    SIZE_T dwAvailPageFile;
    SIZE_T dwTotalVirtual;
    SIZE_T dwAvailVirtual;
};

struct MEMORYSTATUSEX {
    DWORD dwLength;
    DWORD dwMemoryLoad;
    DWORDLONG ullTotalPhys;
    DWORDLONG ullAvailPhys;
    DWORDLONG ullTotalPageFile;
    DWORDLONG ullAvailPageFile;
    DWORDLONG ullTotalVirtual;
    DWORDLONG ullAvailVirtual;
    DWORDLONG ullAvailExtendedVirtual;
};

void GlobalMemoryStatus(MEMORYSTATUS* status);
BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status);

// Debugger output. Goes to standard error only when TESSEL_DEBUG_OUTPUT is
// set, so that tests stay quiet; tests can also catch it with a sink.
void OutputDebugStringA(LPCSTR text);

[[noreturn]] void ExitProcess(UINT exitCode);
