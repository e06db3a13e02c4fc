// StartLibrary and EndLibrary: the steps that bring the library up in the
// order the rest relies on (the movie decoder's tables, archives and file
// calls, the start directory, the log, the desktop's colour check, the
// performance counter, the system report of operating system, processor and
// instruction sets, the stream calls, the composition module, COM, then the
// window, input, sound, graphics, text input and the model tables) and take
// it down in reverse. A failed step undoes the ones before it. Also the fatal
// exit with its log line.
#include "foundation/runtime/startup.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "foundation/base/text.h"
#include "foundation/files/archive_fs.h"
#include "foundation/files/file_ops.h"
#include "foundation/files/streams.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "foundation/net/connections.h"
#include "foundation/runtime/debug_text.h"
#include "foundation/runtime/input.h"
#include "foundation/runtime/main_window.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/public_call_lock.h"
#include "foundation/runtime/system_state.h"
#include "foundation/runtime/window_mode.h"
#include "foundation/text_input/text_input.h"
#include "graphics/device/display_modes.h"
#include "graphics/device/graphics_device.h"
#include "graphics/images/image_records.h"
#include "graphics/restore/image_restore.h"
#include "graphics/targets/draw_targets.h"
#include "images/soft_image.h"
#include "models/core/model_system.h"
#include "movie/theora_decoder.h"
#include "platform/com.h"
#include "platform/kernel.h"
#include "platform/window.h"
#include "platform/winmm.h"
#include "sound/system/sound_system.h"

namespace tessel {

namespace {

constexpr char kLibraryVersion[] = "3.04";
// The window over which the time-stamp ticks are counted, in performance-counter ticks:
// 10 ms of a counter of 100 ns or finer resolution measures the rate to 1 part in 10^5,
// closer than 100 ms of the millisecond clock did, in a tenth of the start-up time.
constexpr int64_t kSpeedSampleDivisor = 100;  // a hundredth of a second

// ------------------------------------------------------------ the banner

// The OS name after "Windows", and its code; null for a version this
// library does not know (the code then stays as it was).
const char* OsWord(const OSVERSIONINFOA& version, int32_t* code) {
    const DWORD platformWin32s = 0;
    const DWORD platformWindows = 1;
    if (version.dwPlatformId == platformWin32s) {
        *code = kOsWindows31;
        return "3.1";
    }
    if (version.dwPlatformId == platformWindows) {
        switch (version.dwMinorVersion) {
            case 0:
                *code = kOsWindows95;
                return version.szCSDVersion[0] == 'C' ? "95OSR2" : "95";
            case 10:
                *code = kOsWindows98;
                return version.szCSDVersion[0] == 'A' ? "98SE" : "98";
            case 90:
                *code = kOsWindowsMe;
                return "Me";
            default:
                return nullptr;
        }
    }
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) {
        return nullptr;
    }
    switch (version.dwMajorVersion) {
        case 3:
            *code = kOsWindowsNt351;
            return "NT 3.51";
        case 4:
            *code = kOsWindowsNt4;
            return "4.0";
        case 5:
            if (version.dwMinorVersion == 0) {
                *code = kOsWindows2000;
                return "2000";
            }
            if (version.dwMinorVersion == 1) {
                *code = kOsWindowsXp;
                return "XP";
            }
            return nullptr;
        case 6:
            if (version.dwMinorVersion == 0) {
                *code = kOsWindowsVista;
                return "Vista";
            }
            if (version.dwMinorVersion == 1) {
                *code = kOsWindows7;
                return "7";
            }
            return nullptr;
        default:
            return nullptr;
    }
}

void LogOperatingSystem() {
    WriteLog("ＯＳ  ");
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExA(&version);
    char name[64] = "Windows";
    const char* word = OsWord(version, &g_system.info.osCode);
    if (word != nullptr) {
        AppendText(name, word);
    }
    std::snprintf(g_system.info.osText, sizeof(g_system.info.osText), "%s ( Build %d %s )", name,
                  static_cast<int>(version.dwBuildNumber), version.szCSDVersion);
    WriteLogFormat("%s", g_system.info.osText);
}

struct CpuReport {
    int level;  // 0 no CPUID, 1 no MMX, 3 MMX, 4 SSE, 5 SSE2
    char vendor[13];
    char brand[49];
};

CpuReport IdentifyCpu() {
    CpuReport report = {};
    if (!CpuidAvailable()) {
        return report;
    }
    DWORD regs[4];
    CpuidQuery(0, regs);
    std::memcpy(report.vendor, &regs[1], 4);
    std::memcpy(report.vendor + 4, &regs[3], 4);
    std::memcpy(report.vendor + 8, &regs[2], 4);
    CpuidQuery(1, regs);
    DWORD features = regs[3];
    g_system.info.hasTimeStampCounter = (features >> 4) & 1;
    report.level = 1;
    if ((features >> 23) & 1) {
        report.level = 3;
        if ((features >> 25) & 1) {
            report.level = 4;
            if ((features >> 26) & 1) {
                report.level = 5;
            }
        }
    }
    CpuidQuery(0x80000000u, regs);
    if (regs[0] >= 0x80000004u) {
        for (DWORD leaf = 0; leaf < 3; ++leaf) {
            CpuidQuery(0x80000002u + leaf, regs);
            std::memcpy(report.brand + 16 * leaf, regs, 16);
        }
    }
    return report;
}

// Counts time-stamp ticks over 10 ms of the performance counter (the monotonic clock), or
// over 100 ms of the millisecond clock where there is no performance counter.
void MeasureCpuSpeed() {
    uint64_t ticksPerSecond = 0;
    LARGE_INTEGER frequency;
    frequency.QuadPart = 0;
    if (QueryPerformanceFrequency(&frequency) != 0 && frequency.QuadPart >= kSpeedSampleDivisor) {
        const int64_t window = frequency.QuadPart / kSpeedSampleDivisor;
        LARGE_INTEGER start;
        LARGE_INTEGER now;
        QueryPerformanceCounter(&start);
        ULONGLONG before = ReadTimeStampCounter();
        do {
            QueryPerformanceCounter(&now);
        } while (now.QuadPart - start.QuadPart < window);
        ULONGLONG ticks = ReadTimeStampCounter() - before;
        // Ticks of a few seconds at most times a frequency below 2^32 stay inside 64 bits.
        ticksPerSecond = ticks * static_cast<uint64_t>(frequency.QuadPart) /
                         static_cast<uint64_t>(now.QuadPart - start.QuadPart);
    } else {
        ULONGLONG before = ReadTimeStampCounter();
        DWORD start = timeGetTime() & 0x7FFFFFFFu;
        while (((timeGetTime() & 0x7FFFFFFFu) - start) < 100) {
        }
        ticksPerSecond = (ReadTimeStampCounter() - before) * 10;
    }
    g_system.info.cpuMhz = static_cast<int32_t>(ticksPerSecond / 1000000);
    g_system.info.timeStampTicksPerSecond = ticksPerSecond;
    WriteLogFormat("ＣＰＵ動作速度：大体%.2fGHz", g_system.info.cpuMhz / 1000.0);
}

void LogInstructionSets(int level) {
    if (level == 0) {
        WriteLog("ＣＰＵＩＤ命令は使えません\n");
        return;
    }
    if (level < 3) {
        WriteLog("ＭＭＸは使えません\n");
        return;
    }
    g_system.info.hasMmx = 1;
    WriteLog("ＭＭＸ命令を使用します\n");
    if (level >= 4) {
        g_system.info.hasSse = 1;
        WriteLog("ＳＳＥ命令が使用可能です\n");
    }
    if (level >= 5) {
        g_system.info.hasSse2 = 1;
        WriteLog("ＳＳＥ２命令が使用可能です\n");
    }
}

void LogCpuNames(const CpuReport& report) {
    if (report.level == 0) {
        return;
    }
    WriteLog("ＣＰＵベンダ：");
    for (int part = 0; part < 3; ++part) {
        char four[5] = {};
        std::memcpy(four, report.vendor + 4 * part, 4);
        WriteLog(four);
    }
    WriteLog("\n");
    if (report.brand[0] != '\0') {
        WriteLogFormat("ＣＰＵ名：%s", report.brand);
        CopyTextN(g_system.info.cpuName, report.brand, sizeof(g_system.info.cpuName) - 1);
    }
}

// ------------------------------------------------------ start-up steps

int DesktopColorBits() {
    HDC screen = GetDC(nullptr);
    int bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    ReleaseDC(nullptr, screen);
    return bits;
}

void ResetStreamOps() {
    *GetFileStreamOps() = {FsTell, FsSeek, FsRead, FsEof, FsIdle, FsClose};
    *GetMemoryStreamOps() = {MemStreamTell, MemStreamSeek, MemStreamRead,
                             MemStreamEof,  MemStreamIdle, CloseMemoryStream};
}

void LoadCompositionModule() {
    if (g_system.compositionModule != nullptr) {
        return;
    }
    g_system.compositionModule = LoadLibraryA("dwmapi.dll");
    if (g_system.compositionModule != nullptr) {
        g_system.enableComposition =
            GetProcAddress(g_system.compositionModule, "DwmEnableComposition");
    }
}

void StartCom() {
    if (g_system.comStarted != 0) {
        return;
    }
    WriteLog("ＣＯＭの初期化... ");
    if (SUCCEEDED(CoInitialize(nullptr))) {
        WriteLog("成功しました\n");
        g_system.comStarted = 1;
    } else {
        WriteLog("ＣＯＭの初期化に失敗しました\n");
    }
}

void RememberStartDirectory() {
    char directory[260] = "";
    CurrentFileOps.getCurrentDir(directory);
    SetLogStartDirectory(directory);
}

// Takes down whatever start-up brought up. Each step does nothing for what
// is not running, so this also undoes a start-up that failed half-way.
void TakeDownLibrary() {
    EndDebugText();
    EndNetwork();
    ReleaseDirectPlayHandle();
    EndModelSystem();
    TerminateGraphicsSystem();
    EndInputSystem();
    // The sound thread stops first, while the window still answers the
    // pump its stop handshake runs.
    EndSoundSystem();
    DestroyMainWindow();
    if (g_system.comStarted != 0) {
        CoUninitialize();
        WriteLog("ＣＯＭを終了... 完了\n");
        g_system.comStarted = 0;
    }
    DeleteAllSoftImages();
    g_system.started = 0;
    while (PumpMessagesInner() == 0 && g_system.windowClosed == 0 && g_system.quit == 0) {
    }
    CurrentFileOps.setCurrentDir(GetLogStartDirectory());
    PurgeArchivesAtExit();
    DumpTrackedBlocks();
    if (g_system.compositionModule != nullptr) {
        FreeLibrary(g_system.compositionModule);
        g_system.compositionModule = nullptr;
        g_system.enableComposition = nullptr;
    }
}

// A full-screen size that no display mode offers starts in window mode,
// except 320x240 on the hardware path, which is served as 640x480 with only
// its top-left quarter drawn.
void CheckFullScreenSize() {
    if (g_system.windowMode != 0) {
        return;
    }
    int width = 0;
    int height = 0;
    QueryScreenSize(&width, &height);
    bool offered = false;
    for (int i = 0; i < QueryDisplayModeCount() && !offered; ++i) {
        DisplayModeEntry mode = QueryDisplayMode(i);
        offered = mode.width == width && mode.height == height;
    }
    bool halfSize = width == 320 && height == 240;
    if (!offered && !(halfSize && QueryUseHardwareOption() != 0)) {
        ChangeWindowMode(1);
    }
    if (halfSize && g_system.windowMode == 0) {
        SetScreenHalfSize();
    }
}

int FailStart() {
    TakeDownLibrary();
    g_system.starting = 0;
    return -1;
}

}  // namespace

int LogSystemInfo() {
    WriteLog("システムの情報を出力します\n");
    IndentLog();
    char versionLine[64];
    std::snprintf(versionLine, sizeof(versionLine), "Tessel Ver%s\n", kLibraryVersion);
    WriteLog(versionLine);
    LogOperatingSystem();

    TIMECAPS caps = {};
    timeGetDevCaps(&caps, sizeof(caps));
    timeBeginPeriod(caps.wPeriodMin);

    CpuReport cpu = IdentifyCpu();
    if (g_system.info.hasTimeStampCounter != 0) {
        MeasureCpuSpeed();
    }
    LogInstructionSets(cpu.level);
    LogCpuNames(cpu);
    OutdentLog();
    return 0;
}

int StartLibraryInner() {
    if (g_system.started != 0) {
        return 0;
    }
    g_system.starting = 1;
    CheckFullScreenSize();
    TheoraBuildYuvTables();
    PurgeArchivesAtExit();
    InstallFileOps(nullptr);
    RememberStartDirectory();
    StartLogFile();

    if ((g_system.windowMode != 0 && DesktopColorBits() == 24) || QueryScreenColorDepth() == 24) {
        WriteLog("Tesselは２４ビットカラーモードに対応していません");
        WriteLog("\n");
        g_system.starting = 0;
        return -1;
    }

    LARGE_INTEGER frequency;
    frequency.QuadPart = 0;
    QueryPerformanceFrequency(&frequency);
    g_system.performanceFrequency = static_cast<uint64_t>(frequency.QuadPart);
    g_system.usePerformanceCounter = frequency.QuadPart != 0 ? 1 : 0;

    LogSystemInfo();
    ResetStreamOps();
    LoadCompositionModule();
    SetRestoreCallback(nullptr);
    StartCom();

    if (CreateMainWindow() != 0) {
        return FailStart();
    }
    if (StartInputSystem() != 0) {
        return FailStart();
    }
    // The library runs silent when sound cannot start.
    StartSoundSystem();
    if (InitGraphicsSystem() < 0) {
        return FailStart();
    }
    StartTextInput();
    g_system.started = 1;
    if (g_system.windowMode == 0) {
        BringWindowToFront(g_system.mainWindow, 1);
    }
    // The debug text starts before the draw targets, the model tables after
    // them. Selecting the back screen and then the front one leaves the
    // front screen's refresh timer running and the camera set for the
    // screen, as a program finds them after every start.
    StartDebugText();
    SelectDrawTarget(kBackScreen);
    SelectDrawTarget(kFrontScreen);
    InitModelSystem();
    g_system.starting = 0;
    return 0;
}

int EndLibraryInner() {
    if (g_system.started == 0) {
        return 0;
    }
    g_system.ending = 1;
    TakeDownLibrary();
    return 0;
}

int StartLibrary() {
    if (g_system.started != 0) {
        return 0;
    }
    LockPublicCall();
    int result = StartLibraryInner();
    UnlockPublicCall();
    return result;
}

int EndLibrary() {
    if (g_system.started == 0) {
        return 0;
    }
    LockPublicCall();
    EndLibraryInner();
    UnlockPublicCall();
    TearDownPublicCallLock();
    return 0;
}

void AbortWithLog(const char* text) {
    WriteLog(text);
    WriteLog("\n");
    EndLibraryInner();
    TearDownPublicCallLock();
    ExitProcess(static_cast<UINT>(-1));
}

void AbortWithLogFormat(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    AbortWithLog(text);
}

}  // namespace tessel
