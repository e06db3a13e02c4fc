// Draws Japanese and Latin text in a window with the library's fonts: plain,
// with an edge, anti-aliased, widened by character spacing and vertical, on
// the back screen each frame. With a number as its argument (or in
// TEXT_FRAMES) it stops by itself after that many frames; with "--software"
// it draws without Direct3D.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "examples/example_options.h"
#include "foundation/runtime/main_window.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/startup.h"
#include "foundation/runtime/window_mode.h"
#include "graphics/device/graphics_device.h"
#include "graphics/fonts/font_handles.h"
#include "graphics/fonts/string_drawing.h"
#include "graphics/images/image_records.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/targets/draw_targets.h"

namespace {

struct Fonts {
    int plain;
    int edged;
    int smooth;
    int vertical;
};

Fonts MakeFonts() {
    Fonts fonts = {};
    fonts.plain = tessel::CreateFontToHandle(nullptr, 20, -1, 0, -1, -1, 0);
    fonts.edged = tessel::CreateFontToHandle(nullptr, 28, 8, tessel::kFontEdge, -1, 2, 0);
    fonts.smooth = tessel::CreateFontToHandle(nullptr, 32, -1, tessel::kFontAntialiased, -1, -1, 0);
    fonts.vertical = tessel::CreateFontToHandle(
        nullptr, 24, -1, tessel::kFontAntialiased | tessel::kFontEdge, -1, 1, 0);
    tessel::SetFontCharSpacing(4, fonts.vertical);
    return fonts;
}

void DrawFrame(const Fonts& fonts, long frame) {
    using tessel::ColorToScreenPixel;
    const uint32_t white = ColorToScreenPixel(255, 255, 255);
    const uint32_t yellow = ColorToScreenPixel(255, 230, 80);
    const uint32_t navy = ColorToScreenPixel(16, 24, 96);
    tessel::DrawStringToScreen(20, 20, "Tessel fonts: plain 20 px", white, fonts.plain, 0, 0);
    tessel::DrawStringToScreen(20, 60, "縁取り文字 Edged text", yellow, fonts.edged, navy, 0);
    tessel::DrawStringToScreen(20, 110, "なめらかな文字 Smooth", white, fonts.smooth, 0, 0);
    // A line that fades in and out through the blend.
    const int level = static_cast<int>(frame * 4 % 512);
    tessel::SetImageBlendMode(1, level < 256 ? level : 511 - level);
    tessel::DrawStringToScreen(20, 170, "半透明の文字列 Blended once", white, fonts.smooth, 0, 0);
    tessel::SetImageBlendMode(0, 255);
    tessel::DrawStringToScreen(560, 20, "縦書きの文字", white, fonts.vertical, navy, 1);
}

}  // namespace

int main(int argc, char** argv) {
    const ExampleOptions options = ReadExampleOptions(argc, argv, "TEXT_FRAMES");
    tessel::ChangeWindowMode(1);
    tessel::SetWindowTitle("Text");
    tessel::SetBackgroundRgb(40, 40, 48);
    if (options.software) {
        tessel::SetUseHardwareOption(0);
    }
    if (tessel::StartLibrary() != 0) {
        std::fprintf(stderr, "the library did not start; see Log.txt\n");
        return 1;
    }
    const Fonts fonts = MakeFonts();
    tessel::SelectDrawTarget(tessel::kBackScreen);
    long frames = 0;
    while (tessel::PumpMessages() == 0) {
        tessel::EraseDrawTarget(nullptr);
        DrawFrame(fonts, frames);
        tessel::PresentBackScreen();
        ++frames;
        if (options.frames > 0 && frames >= options.frames) {
            break;
        }
    }
    tessel::EndLibrary();
    std::printf("%ld frames\n", frames);
    return 0;
}
