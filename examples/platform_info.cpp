// Prints what the platform layer reports about this machine.
#include <cstdio>
#include <cstring>

#include "platform/kernel.h"
#include "platform/winmm.h"

int main() {
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExA(&version);
    std::printf("Windows %u.%u build %u %s\n", version.dwMajorVersion, version.dwMinorVersion,
                version.dwBuildNumber, version.szCSDVersion);

    DWORD regs[4];
    char vendor[13] = {};
    CpuidQuery(0, regs);
    std::memcpy(vendor, &regs[1], 4);
    std::memcpy(vendor + 4, &regs[3], 4);
    std::memcpy(vendor + 8, &regs[2], 4);
    std::printf("CPU vendor %s\n", vendor);

    MEMORYSTATUSEX memory;
    memory.dwLength = sizeof(memory);
    GlobalMemoryStatusEx(&memory);
    std::printf("physical memory %llu MB total, %llu MB free\n",
                static_cast<unsigned long long>(memory.ullTotalPhys >> 20),
                static_cast<unsigned long long>(memory.ullAvailPhys >> 20));
    std::printf("code page %u, clock %u ms\n", GetACP(), timeGetTime());
    return 0;
}
