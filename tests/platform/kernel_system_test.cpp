// System information, modules, debugger output, clocks and processor
// identification.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/kernel.h"
#include "platform/kernel_testing.h"
#include "platform/winmm.h"

namespace {

TEST(KernelSystem, GetVersionExReportsWindows7InEitherStructure) {
    // The sizes a Windows caller would pass.
    EXPECT_EQ(sizeof(OSVERSIONINFOA), 148u);
    EXPECT_EQ(sizeof(OSVERSIONINFOEXA), 156u);

    OSVERSIONINFOA plain;
    std::memset(&plain, 0xCC, sizeof(plain));
    plain.dwOSVersionInfoSize = sizeof(plain);
    ASSERT_TRUE(GetVersionExA(&plain));
    EXPECT_EQ(plain.dwMajorVersion, 6u);
    EXPECT_EQ(plain.dwMinorVersion, 1u);
    EXPECT_EQ(plain.dwPlatformId, VER_PLATFORM_WIN32_NT);
    EXPECT_LT(std::strlen(plain.szCSDVersion), sizeof(plain.szCSDVersion));

    OSVERSIONINFOEXA ex;
    std::memset(&ex, 0xCC, sizeof(ex));
    ex.dwOSVersionInfoSize = sizeof(ex);
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&ex)));
    EXPECT_EQ(ex.dwMajorVersion, 6u);
    EXPECT_EQ(ex.dwMinorVersion, 1u);
    EXPECT_EQ(ex.wProductType, VER_NT_WORKSTATION);
    EXPECT_EQ(ex.wServicePackMajor, 1);
}

TEST(KernelSystem, GetVersionExRefusesAWrongSize) {
    for (DWORD size : {0u, 147u, 149u, 155u, 157u, 1000u}) {
        OSVERSIONINFOEXA info;
        std::memset(&info, 0, sizeof(info));
        info.dwOSVersionInfoSize = size;
        EXPECT_FALSE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info))) << size;
        EXPECT_EQ(info.dwMajorVersion, 0u) << "filled in despite the wrong size";
    }
    EXPECT_FALSE(GetVersionExA(nullptr));
}

TEST(KernelSystem, GlobalMemoryStatusGivesPlausibleValues) {
    MEMORYSTATUS status;
    std::memset(&status, 0, sizeof(status));
    GlobalMemoryStatus(&status);
    EXPECT_EQ(status.dwLength, sizeof(MEMORYSTATUS));
    EXPECT_LE(status.dwMemoryLoad, 100u);
    EXPECT_GE(status.dwTotalPhys, SIZE_T{64} << 20);
    EXPECT_LE(status.dwAvailPhys, status.dwTotalPhys);
    EXPECT_GE(status.dwTotalPageFile, status.dwTotalPhys);
    EXPECT_LE(status.dwAvailPageFile, status.dwTotalPageFile);
    EXPECT_GT(status.dwTotalVirtual, 0u);
    EXPECT_LE(status.dwAvailVirtual, status.dwTotalVirtual);

    MEMORYSTATUSEX ex;
    std::memset(&ex, 0, sizeof(ex));
    ex.dwLength = sizeof(ex);
    ASSERT_TRUE(GlobalMemoryStatusEx(&ex));
    EXPECT_LE(ex.dwMemoryLoad, 100u);
    EXPECT_EQ(ex.ullTotalPhys, status.dwTotalPhys);
    EXPECT_LE(ex.ullAvailPhys, ex.ullTotalPhys);
    EXPECT_GE(ex.ullTotalPageFile, ex.ullTotalPhys);
    EXPECT_LE(ex.ullAvailVirtual, ex.ullTotalVirtual);

    ex.dwLength = sizeof(ex) - 8;
    EXPECT_FALSE(GlobalMemoryStatusEx(&ex));
    EXPECT_FALSE(GlobalMemoryStatusEx(nullptr));
}

int g_firstCalls = 0;
void FirstEntry() {
    ++g_firstCalls;
}
void SecondEntry() {}

const PlatformExport kTestExports[] = {
    {"FirstEntry", FirstEntry},
    {"SecondEntry", SecondEntry},
    {nullptr, nullptr},
};
const PlatformExport kOtherExports[] = {
    {"FirstEntry", SecondEntry},
    {nullptr, nullptr},
};

TEST(KernelModules, LoadLibraryFindsRegisteredModulesByAnySpelling) {
    platform::RegisterModule("kerneltest_a.dll", kTestExports);
    platform::RegisterModule("KernelTest_A.DLL", kOtherExports);  // the first table stays

    for (const char* name : {"kerneltest_a.dll", "KERNELTEST_A.DLL", "kerneltest_a",
                             "C:\\Windows\\System32\\kerneltest_a.dll", "sub/kerneltest_a.dll"}) {
        SCOPED_TRACE(name);
        HMODULE module = LoadLibraryA(name);
        ASSERT_NE(module, nullptr);
        FARPROC entry = GetProcAddress(module, "FirstEntry");
        ASSERT_EQ(entry, reinterpret_cast<FARPROC>(FirstEntry));
        g_firstCalls = 0;
        entry();
        EXPECT_EQ(g_firstCalls, 1);
        EXPECT_EQ(GetModuleHandleA("kerneltest_a.dll"), module);
        EXPECT_TRUE(FreeLibrary(module));
    }
}

TEST(KernelModules, MissingEntriesAndModulesFail) {
    platform::RegisterModule("kerneltest_b.dll", kTestExports);
    HMODULE module = LoadLibraryA("kerneltest_b.dll");
    ASSERT_NE(module, nullptr);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(module, "NoSuchEntry"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(GetProcAddress(module, "firstentry"), nullptr);  // names are case-sensitive
    // An ordinal is a small number in place of the name pointer.
    EXPECT_EQ(GetProcAddress(module, reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(1))), nullptr);
    EXPECT_EQ(GetProcAddress(nullptr, "FirstEntry"), nullptr);
    EXPECT_EQ(GetProcAddress(module, nullptr), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(GetModuleHandleA("kerneltest_b.dll"), nullptr) << "no longer loaded";
    EXPECT_FALSE(FreeLibrary(nullptr));

    SetLastError(0);
    EXPECT_EQ(LoadLibraryA("kerneltest_never_registered.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
}

TEST(KernelModules, AnAbsentModuleCannotBeLoaded) {
    platform::RegisterModule("kerneltest_c.dll", kTestExports);
    platform::SetModuleAbsent("KERNELTEST_C", true);
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA("kerneltest_c.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(GetModuleHandleA("kerneltest_c.dll"), nullptr);

    platform::SetModuleAbsent("kerneltest_c.dll", false);
    HMODULE module = LoadLibraryA("kerneltest_c.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_NE(GetProcAddress(module, "SecondEntry"), nullptr);
    FreeLibrary(module);
}

void CollectDebugText(const char* text, void* context) {
    static_cast<std::string*>(context)->append(text);
}

TEST(KernelDebugOutput, GoesToTheSinkOrQuietlyNowhere) {
    std::string collected;
    platform::SetDebugOutputSink(CollectDebugText, &collected);
    OutputDebugStringA("first ");
    OutputDebugStringA(nullptr);
    OutputDebugStringA("second\n");
    platform::SetDebugOutputSink(nullptr, nullptr);
    EXPECT_EQ(collected, "first second\n");

    // Without a sink: standard error only when the switch asks for it.
    unsetenv("TESSEL_DEBUG_OUTPUT");
    testing::internal::CaptureStderr();
    OutputDebugStringA("quiet\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    setenv("TESSEL_DEBUG_OUTPUT", "1", 1);
    testing::internal::CaptureStderr();
    OutputDebugStringA("loud\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "loud\n");
    unsetenv("TESSEL_DEBUG_OUTPUT");
    EXPECT_EQ(collected, "first second\n");
}

TEST(KernelClocks, PerformanceCounterIsMonotonicAtItsFrequency) {
    LARGE_INTEGER frequency;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(frequency.QuadPart, 10'000'000);

    LARGE_INTEGER previous;
    ASSERT_TRUE(QueryPerformanceCounter(&previous));
    EXPECT_GE(previous.QuadPart, 0);
    // Counted from process start, so count * 1000000 stays far from overflow.
    EXPECT_LT(previous.QuadPart, frequency.QuadPart * 24 * 3600);
    for (int i = 0; i < 100000; ++i) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        ASSERT_GE(now.QuadPart, previous.QuadPart);
        previous = now;
    }

    LARGE_INTEGER before, after;
    QueryPerformanceCounter(&before);
    DWORD startMs = timeGetTime();
    Sleep(30);
    QueryPerformanceCounter(&after);
    DWORD elapsedMs = timeGetTime() - startMs;
    EXPECT_GE(after.QuadPart - before.QuadPart, frequency.QuadPart * 29 / 1000);
    EXPECT_GE(elapsedMs, 29u);
}

TEST(KernelClocks, TimerResolutionCallsCheckTheirArguments) {
    TIMECAPS caps{0, 0};
    EXPECT_EQ(timeGetDevCaps(&caps, sizeof(caps)), TIMERR_NOERROR);
    EXPECT_EQ(caps.wPeriodMin, 1u);
    EXPECT_GE(caps.wPeriodMax, caps.wPeriodMin);
    EXPECT_EQ(timeGetDevCaps(nullptr, sizeof(caps)), TIMERR_NOCANDO);
    EXPECT_EQ(timeGetDevCaps(&caps, sizeof(caps) - 1), TIMERR_NOCANDO);

    EXPECT_EQ(timeBeginPeriod(caps.wPeriodMin), TIMERR_NOERROR);
    EXPECT_EQ(timeEndPeriod(caps.wPeriodMin), TIMERR_NOERROR);
    EXPECT_EQ(timeBeginPeriod(0), TIMERR_NOCANDO);
    EXPECT_EQ(timeEndPeriod(0), TIMERR_NOCANDO);
    EXPECT_EQ(timeBeginPeriod(caps.wPeriodMax + 1), TIMERR_NOCANDO);
}

TEST(KernelProcessor, CpuidReportsAVendorAndTheBaseFeatures) {
    ASSERT_TRUE(CpuidAvailable());
    DWORD regs[4];
    CpuidQuery(0, regs);
    EXPECT_GE(regs[0], 1u) << "highest standard leaf";
    char vendor[13] = {};
    std::memcpy(vendor, &regs[1], 4);
    std::memcpy(vendor + 4, &regs[3], 4);
    std::memcpy(vendor + 8, &regs[2], 4);
    for (char c : std::string(vendor, 12)) {
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "vendor " << vendor;
    }
    const std::vector<std::string> known = {"GenuineIntel",    "AuthenticAMD", "HygonGenuine",
                                            "CentaurHauls",    "  Shanghai  ", "TCGTCGTCGTCG",
                                            "KVMKVMKVM\0\0\0", "Microsoft Hv", "VMwareVMware"};
    bool isKnown = false;
    for (const std::string& name : known) {
        isKnown =
            isKnown || std::memcmp(vendor, name.data(), std::min<size_t>(name.size(), 12)) == 0;
    }
    EXPECT_TRUE(isKnown) << "vendor " << vendor;

    // Every x86-64 processor has MMX, SSE and SSE2 (leaf 1, EDX bits 23, 25, 26).
    CpuidQuery(1, regs);
    EXPECT_TRUE(regs[3] & (1u << 23));
    EXPECT_TRUE(regs[3] & (1u << 25));
    EXPECT_TRUE(regs[3] & (1u << 26));

    CpuidQuery(0x80000000u, regs);
    if (regs[0] >= 0x80000004u) {
        char name[49] = {};
        for (DWORD leaf = 0; leaf < 3; ++leaf) {
            CpuidQuery(0x80000002u + leaf, regs);
            std::memcpy(name + 16 * leaf, regs, 16);
        }
        EXPECT_GT(std::strlen(name), 0u);
    }

    ULONGLONG first = ReadTimeStampCounter();
    Sleep(1);
    EXPECT_GT(ReadTimeStampCounter(), first);
}

}  // namespace
