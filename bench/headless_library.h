// What the library benchmarks share: the library started headless on one
// drawing path, as a windowed game that keeps drawing while inactive.
#pragma once

#include "foundation/runtime/main_window.h"
#include "foundation/runtime/startup.h"
#include "foundation/runtime/window_mode.h"
#include "graphics/device/graphics_device.h"
#include "graphics/settings/draw_settings.h"

namespace benchlib {

// True when the library started; new images are then made 32-bit. `bits` is
// the screen's depth, 0 for the library's default.
inline bool StartHeadlessLibrary(bool hardware, int bits = 0) {
    tessel::ChangeWindowMode(1);
    if (bits != 0) {
        tessel::SetScreenMode(640, 480, bits, 60);
    }
    // A headless window never becomes active; a game keeps drawing anyway.
    tessel::SetRunWhenInactive(1);
    tessel::SetUseHardwareOption(hardware ? 1 : 0);
    if (tessel::StartLibrary() != 0) {
        return false;
    }
    tessel::g_drawSettings.newImageColorDepth = 32;
    return true;
}

}  // namespace benchlib
