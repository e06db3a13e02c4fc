// What every example does around its main loop: it moves into its own folder,
// where the build put the files it reads, wherever it was started from, and
// paces its frames to about sixty a second when the display does not; the
// drawing examples share the loop itself.
#pragma once

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include "foundation/runtime/message_pump.h"
#include "graphics/images/image_records.h"
#include "graphics/targets/draw_targets.h"
#include "platform/kernel.h"

// Says on stderr why it failed, so that main only has to end.
inline bool MoveToProgramFolder() {
    char path[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length > 0) {
        std::string folder(path, static_cast<size_t>(length));
        folder.erase(folder.find_last_of('/'));
        if (chdir(folder.c_str()) == 0) {
            return true;
        }
    }
    std::fprintf(stderr, "cannot find the program's own folder\n");
    return false;
}

// Sleeps out what is left of a 16 ms frame since *last, then marks the time.
inline void WaitForNextFrame(DWORD* last) {
    const DWORD frameTime = 16;
    const DWORD spent = GetTickCount() - *last;
    if (spent < frameTime) {
        Sleep(frameTime - spent);
    }
    *last = GetTickCount();
}

// Draws and presents frames on the back screen, about sixty a second, until
// the window is closed or, with a LIMIT above 0, LIMIT frames are shown; how
// many were. drawFrame is given the frame's number.
template <typename DrawFrame>
long RunFrames(long limit, DrawFrame drawFrame) {
    tessel::SelectDrawTarget(tessel::kBackScreen);
    long frame = 0;
    DWORD last = GetTickCount();
    while (tessel::PumpMessages() == 0) {
        drawFrame(frame);
        tessel::PresentScreenPublic();
        ++frame;
        if (limit > 0 && frame >= limit) {
            break;
        }
        WaitForNextFrame(&last);
    }
    return frame;
}
