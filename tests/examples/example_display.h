// What the example tests on a virtual display share: starting an example with
// its frame count, finding where its window lies, and screenshots read pixel
// by pixel as "r,g,b".
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/support/virtual_display.h"

namespace tessel_test {

// Runs PROGRAM on DISPLAY for FRAMES frames, its output thrown away.
inline pid_t StartExample(const std::string& program, const std::string& display, long frames,
                          bool software) {
    const std::string name = program.substr(program.find_last_of('/') + 1);
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("DISPLAY", display.c_str(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        // Library tests running beside this one hold windows of the same
        // class; a namespace of its own keeps them from counting as a first
        // instance of the example.
        setenv("TESSEL_INSTANCE_NAMESPACE", (name + "-" + std::to_string(getpid())).c_str(), 1);
        // The X client libraries keep allocations to the end; they are not ours.
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        const std::string count = std::to_string(frames);
        execl(program.c_str(), program.c_str(), count.c_str(), software ? "--software" : nullptr,
              static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// A pixel of the screenshot as "r,g,b".
inline std::string PixelOf(const std::string& png, int x, int y) {
    const std::string at = "p{" + std::to_string(x) + "," + std::to_string(y) + "}";
    return CommandOutput("convert '" + png + "' -format '%[fx:int(255*" + at +
                         ".r+0.5)],%[fx:int(255*" + at + ".g+0.5)],%[fx:int(255*" + at +
                         ".b+0.5)]' info:");
}

// Screenshots until `showing` holds for the shot, that is until a drawn frame
// shows what the caller waits for (start-up measures the clocks for up to a
// second after the window shows; a movie's frames come from threads of their
// own); false when none does within thirty seconds (sanitizer builds on a busy
// machine are slow).
template <typename Showing>
bool TakeScreenshotOnce(const std::string& display, const std::string& shot, Showing showing) {
    const DWORD start = timeGetTime();
    while (timeGetTime() - start < 30000) {
        unlink(shot.c_str());
        OnDisplay(display, "timeout 20 import -window root '" + shot + "'");
        if (access(shot.c_str(), R_OK) == 0 && showing(shot)) {
            return true;
        }
        Sleep(100);
    }
    return false;
}

// Screenshots until the pixel at (x, y) is RGB.
inline bool TakeScreenshotOnceShowing(const std::string& display, const std::string& shot, int x,
                                      int y, const std::string& rgb) {
    return TakeScreenshotOnce(display, shot,
                              [&](const std::string& png) { return PixelOf(png, x, y) == rgb; });
}

// The window's upper-left corner on the screen, -1 where xwininfo did not say;
// info is what it said.
struct WindowCorner {
    int left = -1;
    int top = -1;
    std::string info;
};

inline WindowCorner FindWindowCorner(const std::string& display, const std::string& window) {
    WindowCorner corner;
    corner.info = OnDisplay(display, "xwininfo -id " + window);
    const auto field = [&](const std::string& name) {
        const size_t at = corner.info.find(name);
        return at == std::string::npos ? -1 : std::atoi(corner.info.c_str() + at + name.size());
    };
    corner.left = field("Absolute upper-left X:");
    corner.top = field("Absolute upper-left Y:");
    return corner;
}

}  // namespace tessel_test
