// The debug text console's state lives in the system state, so every
// start-up begins with it cleared; its font's lost flag is the font's
// lost-flag pointer, which the font system sets when it deletes the font.
#include "foundation/runtime/debug_text.h"

#include <algorithm>
#include <cstring>

#include "foundation/runtime/main_window.h"
#include "foundation/runtime/system_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/fonts/font_handles.h"
#include "graphics/fonts/string_drawing.h"
#include "graphics/settings/draw_settings.h"

namespace tessel {

namespace {

constexpr int kDebugFontSize = 16;
constexpr int kDebugFontThickness = 4;
constexpr int kDebugFontType = 1;

// A font that cannot be made leaves the console marked lost, so that the
// next draw tries again instead of using handle -1.
void MakeDebugTextFont() {
    DebugTextState& d = g_system.debugText;
    if (d.setUp == 0) {
        StartDebugText();
        return;
    }
    if (d.fontLost == 0) {
        return;
    }
    d.fontHandle = CreateFontToHandle(nullptr, d.fontSize, kDebugFontThickness, kDebugFontType, -1,
                                      -1, 0, -1, -1);
    if (d.fontHandle == -1) {
        return;
    }
    d.fontLost = 0;
    SetFontLostFlagPointer(d.fontHandle, &d.fontLost);
}

}  // namespace

int StartDebugText() {
    DebugTextState& d = g_system.debugText;
    if (d.setUp != 0) {
        return 0;
    }
    if (QueryDirectDrawObject() == nullptr || GetMainWindow() == nullptr) {
        return -1;
    }
    d.setUp = 1;
    d.fontSize = kDebugFontSize;
    d.fontHandle = -1;
    d.fontLost = 1;
    MakeDebugTextFont();
    d.shown = 0;
    std::memset(d.lines, 0, sizeof d.lines);
    return 0;
}

int EndDebugText() {
    DebugTextState& d = g_system.debugText;
    if (d.setUp == 0) {
        return 0;
    }
    if (d.fontLost == 0) {
        ReleaseFontHandle(d.fontHandle);
    }
    d.fontLost = 1;
    d.fontHandle = -1;
    d.setUp = 0;
    return 0;
}

int IsDebugTextActive() {
    return g_system.debugText.shown;
}

int DrawDebugText() {
    MakeDebugTextFont();
    DebugTextState& d = g_system.debugText;
    int height = 0;
    QueryScreenSize(nullptr, &height);
    const int lines = std::min(height / kDebugFontSize, kDebugTextLines);
    const uint32_t white = ColorToScreenPixel(255, 255, 255);
    const uint32_t black = ColorToScreenPixel(0, 0, 0);
    for (int i = 0; i < lines; ++i) {
        d.lines[i][kDebugTextLineBytes - 1] = '\0';
        DrawStringToScreen(0, kDebugFontSize * i, d.lines[i], white, d.fontHandle, black, 0);
    }
    return 0;
}

}  // namespace tessel
