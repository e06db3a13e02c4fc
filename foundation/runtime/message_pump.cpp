#include "foundation/runtime/message_pump.h"

#include "foundation/base/numbers.h"
#include "foundation/net/connections.h"
#include "foundation/runtime/input.h"
#include "foundation/runtime/public_call_lock.h"
#include "foundation/runtime/system_state.h"
#include "foundation/runtime/window_mode.h"
#include "foundation/text_input/text_input.h"
#include "movie/playback/movie_calls.h"
#include "platform/kernel.h"
#include "platform/window.h"
#include "platform/winmm.h"
#include "sound/system/sound_system.h"

namespace tessel {

namespace {

// A flood of messages must not stall a frame.
constexpr int kMessagesPerCall = 5;

// Set while the text-input update runs: what it sets off (the input
// method's open-status change pumps messages) must not start a frame inside
// the frame.
int textInputUpdating = 0;

bool WaitsWhileInactive() {
    return g_system.active == 0 && g_system.runWhenInactive == 0;
}

bool MayLeave() {
    return g_system.closePosted != 0 || g_system.active != 0 || g_system.runWhenInactive != 0;
}

uint64_t ScaleToMicroseconds(uint64_t ticks, uint64_t ticksPerSecond) {
    uint32_t product[4];
    MulU64To128(ticks, 1000000, product);
    uint64_t quotient = 0;
    DivU128By64(product, ticksPerSecond, &quotient);
    return quotient;
}

enum class PassEnd { kNoMessage, kFifthMessage, kQuitMessageHeld };

// Takes and dispatches the thread's messages until none is left, the fifth
// of this call is dispatched, or a message arrives after the program was
// told to end (taken from the queue, not dispatched).
PassEnd RunMessagePass(int* counted, int* dispatched) {
    MSG msg;
    for (;;) {
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE) ||
            !PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            return PassEnd::kNoMessage;
        }
        if (msg.message == WM_ACTIVATEAPP && g_system.windowMode != 0) {
            g_system.active = static_cast<int32_t>(msg.wParam);
        }
        if (g_system.quit != 0) {
            return PassEnd::kQuitMessageHeld;
        }
        if (msg.message == WM_QUIT) {
            g_system.quit = 1;
        }
        // The library has no accelerator table to translate through.
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        ++*dispatched;
        if (++*counted == kMessagesPerCall) {
            *counted = 0;
            return PassEnd::kFifthMessage;
        }
    }
}

}  // namespace

int PumpMessages() {
    LockPublicCall();
    int result = PumpMessagesInner();
    UnlockPublicCall();
    return result;
}

int PumpMessagesInner() {
    if (textInputUpdating != 0) {
        return 0;
    }
    if (g_system.mainWindow == nullptr) {
        return g_system.quit != 0 ? -1 : 0;
    }
    bool onWindowThread = GetCurrentThreadId() == g_system.windowThreadId;
    int counted = 0;
    bool firstPass = true;
    bool previousPassDone = false;  // it dispatched nothing, or the fifth message
    for (;;) {
        if (MayLeave() && (g_system.quit != 0 || (!firstPass && previousPassDone))) {
            break;
        }
        if (WaitsWhileInactive()) {
            Sleep(1);
        }
        int dispatched = 0;
        PassEnd end = RunMessagePass(&counted, &dispatched);
        if (end == PassEnd::kQuitMessageHeld) {
            break;
        }
        previousPassDone = dispatched == 0 || end == PassEnd::kFifthMessage;
        firstPass = false;
        if (WaitsWhileInactive()) {
            PumpNetworkMessages(1);
            MovieRedrawAll();
            Sleep(1);
        }
        if (g_system.quit != 0 || !onWindowThread) {
            break;
        }
    }
    // In full screen the cursor keeps the visibility the library wants (while
    // Direct3D draws, only below the top 60 rows, once that layer exists).
    if (onWindowThread && g_system.windowMode == 0) {
        ApplyCursorVisibility(g_system.cursorWanted);
    }
    // The per-frame polls: music, the keyboard, the pads' vibration timers,
    // the connections and text input.
    RefreshMusicState();
    RefreshKeyboardStateAfterMessages();
    TickPadVibration();
    PumpNetworkMessages(1);
    textInputUpdating = 1;
    UpdateTextInput();
    textInputUpdating = 0;
    return g_system.quit != 0 ? -1 : 0;
}

bool PumpHoldsUntilActivation() {
    return textInputUpdating == 0 && g_system.mainWindow != nullptr &&
           GetCurrentThreadId() == g_system.windowThreadId && !MayLeave() && g_system.quit == 0;
}

void WaitWhileInactive() {
    // Without a window nothing can make it active: waiting would never end.
    if (g_system.mainWindow == nullptr) {
        return;
    }
    if (g_system.inPaint != 0 || g_system.active != 0 ||
        (g_system.runWhenInactive != 0 && g_system.windowMode != 0)) {
        return;
    }
    while (g_system.active == 0) {
        if (PumpMessagesInner() != 0) {
            return;
        }
    }
}

int ReadMillisecondClock() {
    return static_cast<int>(timeGetTime() & 0x7FFFFFFFu);
}

uint64_t ReadMicrosecondClock(int useTimeStampCounter) {
    if (g_system.info.hasTimeStampCounter != 0 && useTimeStampCounter == 1 &&
        g_system.started != 0 && g_system.info.timeStampTicksPerSecond != 0) {
        return ScaleToMicroseconds(ReadTimeStampCounter(), g_system.info.timeStampTicksPerSecond);
    }
    if (g_system.usePerformanceCounter == 0 || g_system.performanceFrequency == 0) {
        return static_cast<uint64_t>(timeGetTime()) * 1000;
    }
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return ScaleToMicroseconds(static_cast<uint64_t>(count.QuadPart),
                               g_system.performanceFrequency);
}

namespace {

void SplitSystemTime(const SYSTEMTIME& time, int* year, int* month, int* day, int* hour,
                     int* minute, int* second) {
    *year = time.wYear;
    *month = time.wMonth;
    *day = time.wDay;
    *hour = time.wHour;
    *minute = time.wMinute;
    *second = time.wSecond;
}

}  // namespace

int GetLocalDateTime(int* year, int* month, int* day, int* hour, int* minute, int* second) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    SplitSystemTime(now, year, month, day, hour, minute, second);
    return 0;
}

int ConvertFileTimeToDateTime(const FILETIME* fileTime, int* year, int* month, int* day, int* hour,
                              int* minute, int* second) {
    FILETIME local;
    SYSTEMTIME time;
    if (fileTime == nullptr || !FileTimeToLocalFileTime(fileTime, &local) ||
        !FileTimeToSystemTime(&local, &time)) {
        return -1;
    }
    SplitSystemTime(time, year, month, day, hour, minute, second);
    return 0;
}

}  // namespace tessel
