// The system's identity and state: the version reported, memory figures
// from /proc/meminfo, debugger output (to a test's sink or, when asked, to
// standard error) and ExitProcess.
#include "platform/kernel/system.h"
#include "platform/kernel_testing.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

const char kServicePack[] = "Service Pack 1";

struct MemInfo {
    uint64_t total = 0;
    uint64_t available = 0;
    uint64_t swapTotal = 0;
    uint64_t swapFree = 0;
};

MemInfo ReadMemInfo() {
    MemInfo info;
    FILE* file = std::fopen("/proc/meminfo", "r");
    if (file == nullptr) {
        return info;
    }
    char line[256];
    while (std::fgets(line, sizeof(line), file) != nullptr) {
        unsigned long long kib = 0;
        if (std::sscanf(line, "MemTotal: %llu kB", &kib) == 1) {
            info.total = kib * 1024;
        } else if (std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1) {
            info.available = kib * 1024;
        } else if (std::sscanf(line, "SwapTotal: %llu kB", &kib) == 1) {
            info.swapTotal = kib * 1024;
        } else if (std::sscanf(line, "SwapFree: %llu kB", &kib) == 1) {
            info.swapFree = kib * 1024;
        }
    }
    std::fclose(file);
    return info;
}

DWORD MemoryLoad(const MemInfo& info) {
    if (info.total == 0) {
        return 0;
    }
    return static_cast<DWORD>((info.total - info.available) * 100 / info.total);
}

// A 32-bit process sees 2 GiB of user address space; the library's banner
// reports what the original process would have seen.
constexpr uint64_t kVirtualSpace = 0x7FFE0000ull;

std::mutex sinkLock;
platform::DebugOutputSink debugSink = nullptr;
void* debugSinkContext = nullptr;

}  // namespace

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    if (info == nullptr) {
        return FALSE;
    }
    DWORD size = info->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) {
        return FALSE;
    }
    info->dwMajorVersion = 6;
    info->dwMinorVersion = 1;
    info->dwBuildNumber = 7601;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
    std::memcpy(info->szCSDVersion, kServicePack, sizeof(kServicePack));
    if (size == sizeof(OSVERSIONINFOEXA)) {
        auto* ex = reinterpret_cast<OSVERSIONINFOEXA*>(info);
        ex->wServicePackMajor = 1;
        ex->wServicePackMinor = 0;
        ex->wSuiteMask = 0;
        ex->wProductType = VER_NT_WORKSTATION;
        ex->wReserved = 0;
    }
    return TRUE;
}

void GlobalMemoryStatus(MEMORYSTATUS* status) {
    MemInfo info = ReadMemInfo();
    status->dwLength = sizeof(MEMORYSTATUS);
    status->dwMemoryLoad = MemoryLoad(info);
    status->dwTotalPhys = info.total;
    status->dwAvailPhys = info.available;
    status->dwTotalPageFile = info.total + info.swapTotal;
    status->dwAvailPageFile = info.available + info.swapFree;
    status->dwTotalVirtual = kVirtualSpace;
    status->dwAvailVirtual = kVirtualSpace;
}

BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status) {
    if (status == nullptr || status->dwLength != sizeof(MEMORYSTATUSEX)) {
        return FALSE;
    }
    MemInfo info = ReadMemInfo();
    status->dwMemoryLoad = MemoryLoad(info);
    status->ullTotalPhys = info.total;
    status->ullAvailPhys = info.available;
    status->ullTotalPageFile = info.total + info.swapTotal;
    status->ullAvailPageFile = info.available + info.swapFree;
    status->ullTotalVirtual = kVirtualSpace;
    status->ullAvailVirtual = kVirtualSpace;
    status->ullAvailExtendedVirtual = 0;
    return TRUE;
}

void OutputDebugStringA(LPCSTR text) {
    if (text == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(sinkLock);
        if (debugSink != nullptr) {
            debugSink(text, debugSinkContext);
            return;
        }
    }
    if (std::getenv("TESSEL_DEBUG_OUTPUT") != nullptr) {
        std::fputs(text, stderr);
    }
}

void ExitProcess(UINT exitCode) {
    std::fflush(nullptr);
    std::exit(static_cast<int>(exitCode));
}

namespace platform {
void SetDebugOutputSink(DebugOutputSink sink, void* context) {
    std::lock_guard<std::mutex> guard(sinkLock);
    debugSink = sink;
    debugSinkContext = context;
}
}  // namespace platform
