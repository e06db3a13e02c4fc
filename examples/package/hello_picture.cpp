// The smallest whole program on the installed library: start it in a window,
// load a picture, draw it turning with a line of text under it, present each
// frame, and end when the window is closed (or after FRAMES frames).
//
//   hello_picture PICTURE [FRAMES]
//
// Narrow strings are code page 932 (build with -fexec-charset=CP932, as the
// package's target and tessel.pc ask), so Japanese text works as it is.
#include <cstdio>
#include <cstdlib>

#include "foundation/memory/log.h"
#include "foundation/runtime/main_window.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/startup.h"
#include "foundation/runtime/window_mode.h"
#include "graphics/draw/draw_calls.h"
#include "graphics/fonts/font_handles.h"
#include "graphics/fonts/string_drawing.h"
#include "graphics/images/image_create.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/targets/draw_targets.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: hello_picture PICTURE [FRAMES]\n");
        return 2;
    }
    const long frames = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 0;

    tessel::EnableLogFile(0);  // no Log.txt in the working folder
    tessel::ChangeWindowMode(1);
    tessel::SetWindowTitle("Hello picture");
    if (tessel::StartLibrary() != 0) {
        return 1;
    }
    const int picture = tessel::LoadImageFile(argv[1], 0);
    if (picture == -1) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        tessel::EndLibrary();
        return 1;
    }
    const uint32_t white = tessel::ColorToScreenPixel(255, 255, 255);
    const int font = tessel::QueryDefaultFontHandle();
    tessel::SelectDrawTarget(tessel::kBackScreen);
    long frame = 0;
    while (tessel::PumpMessages() == 0 && (frames == 0 || frame < frames)) {
        tessel::EraseDrawTarget(nullptr);
        tessel::DrawImageRotatedF(320.0f, 200.0f, 2.0, frame * 0.02, picture, 1, 0);
        tessel::DrawStringToScreen(240, 400, "こんにちは, Tessel", white, font, 0, 0);
        tessel::PresentScreenPublic();
        ++frame;
    }
    tessel::EndLibrary();
    std::printf("%ld frames\n", frame);
    return 0;
}
