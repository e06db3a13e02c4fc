// The primary display's modes, the full-screen mode the program sets itself
// (the software path, and the Direct3D path in the 320x240 modes), the length
// of one display refresh and the wait for the vertical blank.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace tessel {

struct DisplayModeEntry {
    int32_t width;
    int32_t height;
    int32_t bits;
    int32_t refreshRate;
};

// The number of modes of 16 bits or more (the list is built when it does not
// exist).
int QueryDisplayModeCount();
// The entry, or all four fields -1 for an index outside the list.
DisplayModeEntry QueryDisplayMode(int index);
// 1 when a mode has that width, height and bits (any refresh rate), else 0.
int IsDisplayModeAvailable(int width, int height, int bits);
// (Re)builds the list in enumeration order; modes below 16 bits never enter.
void BuildDisplayModeList(int* count, DisplayModeEntry** list);
void FreeDisplayModeList();

// Switches the display to the screen settings; a refused refresh rate is
// dropped, a refused 320x240 becomes 640x480 with the 320x240 emulation. 0 or -1.
int SetFullScreenDisplayMode();

// Microseconds per display refresh; -1 while not measured.
int64_t QueryFrameInterval();
// Measures the refresh: the mean of the first ten consecutive intervals that
// each differ from the one before by less than 1 ms, within 60 blanks. 0.
int MeasureFrameInterval();
// Returns after the next vertical blank has begun, sleeping in 1 ms steps
// until about 3 ms before it is due.
void WaitVerticalBlank();

// Where the blanks and the time come from: by default DirectDraw's vertical
// blank, the library's microsecond clock and Sleep. Tests script them; null
// goes back to the default.
struct VerticalBlankClock {
    void (*waitForBlank)();
    int64_t (*readMicroseconds)();
    void (*sleep)(DWORD milliseconds);
};
void SetVerticalBlankClock(const VerticalBlankClock* clock);

}  // namespace tessel
