// The library's one block of global state: the window, the library's life
// flags and what start-up learnt about the machine. Every start-up clears it,
// keeping only what outlives a start: the options a program sets before
// starting, the machine's description and the library's own modules.
// (The log, tracked memory and the public-call lock keep their state in
// their own modules, so a reset cannot touch them.)
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace tessel {

// What the start-up banner found out about the machine.
struct SystemInfo {
    char osText[512];
    int32_t osCode;
    char cpuName[256];
    int32_t cpuMhz;
    int32_t hasTimeStampCounter;
    int32_t hasMmx;
    int32_t hasSse;
    int32_t hasSse2;
    uint64_t timeStampTicksPerSecond;
};

enum : int32_t {
    kOsWindows31 = 0,
    kOsWindows95 = 1,
    kOsWindows98 = 2,
    kOsWindowsMe = 3,
    kOsWindowsNt351 = 0x104,
    kOsWindowsNt4 = 0x105,
    kOsWindows2000 = 0x106,
    kOsWindowsXp = 0x107,
    kOsWindowsVista = 0x108,
    kOsWindows7 = 0x109,
};

constexpr int kWindowTextSize = 257;  // 256 characters and the terminator

constexpr int kDebugTextLines = 80;
constexpr int kDebugTextLineBytes = 255;

// The on-screen debug text: its font and its lines.
struct DebugTextState {
    int32_t setUp;
    int32_t fontSize;
    int32_t fontHandle;  // -1 none
    int32_t fontLost;    // 1 while there is no valid font
    int32_t shown;
    char lines[kDebugTextLines][kDebugTextLineBytes];
};

struct SystemState {
    // ---- kept across the reset of every start-up
    // Options a program may set before start-up.
    int32_t windowMode;  // 1 window, 0 full screen
    int32_t runWhenInactive;
    char title[kWindowTextSize];
    int32_t iconId;  // 0: the platform's default application icon
    int32_t backgroundSet;
    uint8_t backgroundRed;
    uint8_t backgroundGreen;
    uint8_t backgroundBlue;
    int32_t styleIndex;
    int32_t visibleStyle;
    char className[kWindowTextSize];
    SystemInfo info;
    double windowScaleX;
    double windowScaleY;
    uint32_t codePage;  // beside the character-set code of foundation/charset.h
    HMODULE compositionModule;
    FARPROC enableComposition;
    int32_t started;
    int32_t starting;
    // COM is started before the window's reset runs, and ended at shutdown
    // only when this says it was started; clearing it would leave COM running.
    int32_t comStarted;

    // ---- cleared at every start-up
    int32_t usePerformanceCounter;
    uint64_t performanceFrequency;
    uint32_t timerPeriod;  // the smallest timer period, begun at start-up

    HWND mainWindow;
    HINSTANCE instance;
    DWORD windowThreadId;
    RECT clientRect;  // in screen coordinates
    RECT windowRect;

    int32_t active;
    int32_t closePosted;
    int32_t windowClosed;
    int32_t quit;
    int32_t ending;  // 1 while the library shuts down, 4 after the user closed the window
    int32_t modeChanging;
    int32_t displayChanged;
    int32_t creating;
    int32_t inPaint;

    int32_t cursorWanted;  // 1 shown, 0 hidden
    int32_t cursorShown;

    int32_t desktopWidth;
    int32_t desktopHeight;
    int32_t desktopBits;
    uint64_t memoryTotal;
    uint64_t memoryFree;

    int32_t compositionOff;

    DebugTextState debugText;
};

extern SystemState g_system;

// Clears the block, keeping its first part (the fields above the line).
void ResetSystemState();

}  // namespace tessel
