// Starts the library in a window and runs its frame loop until the window is
// closed, then ends the library. With a number as its argument (or in
// HELLO_WINDOW_FRAMES) it stops by itself after that many frames.
#include <cstdio>
#include <cstdlib>

#include "foundation/runtime/main_window.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/startup.h"
#include "foundation/runtime/window_mode.h"
#include "platform/kernel.h"

namespace {

// 0 means run until the window is closed.
long FrameLimit(int argc, char** argv) {
    const char* text = argc > 1 ? argv[1] : std::getenv("HELLO_WINDOW_FRAMES");
    return text != nullptr ? std::strtol(text, nullptr, 10) : 0;
}

}  // namespace

int main(int argc, char** argv) {
    long limit = FrameLimit(argc, argv);
    tessel::ChangeWindowMode(1);
    tessel::SetWindowTitle("Hello Window");
    tessel::SetBackgroundRgb(32, 48, 96);
    if (tessel::StartLibrary() != 0) {
        std::fprintf(stderr, "the library did not start; see Log.txt\n");
        return 1;
    }
    long frames = 0;
    while (tessel::PumpMessages() == 0) {
        ++frames;
        if (limit > 0 && frames >= limit) {
            break;
        }
        // Nothing is drawn yet, so nothing waits for the display either; a
        // frame's worth of sleep keeps the loop from spinning.
        Sleep(16);
    }
    tessel::EndLibrary();
    std::printf("%ld frames\n", frames);
    return 0;
}
