// Draws a frame of pictures and boxes every frame and presents it: a ball and
// a tile loaded from the folder "example_pictures", which is not there beside
// the program; the archive example_pictures.dat that the build packs stands
// in for it. The ball is drawn plain, stretched, turning and blended, over
// filled and outlined boxes, with captions in Latin and Japanese letters.
//
//   draw_images [FRAMES] [--software]
//
// It runs until the window is closed, or for FRAMES frames (also taken from
// DRAW_IMAGES_FRAMES); --software draws without the Direct3D device.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "examples/example_options.h"
#include "examples/example_startup.h"
#include "foundation/files/archive_fs.h"
#include "foundation/runtime/main_window.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/startup.h"
#include "foundation/runtime/window_mode.h"
#include "graphics/device/graphics_device.h"
#include "graphics/draw/draw_calls.h"
#include "graphics/fonts/font_handles.h"
#include "graphics/fonts/string_drawing.h"
#include "graphics/images/image_create.h"
#include "graphics/images/image_records.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/targets/draw_targets.h"
#include "platform/kernel.h"

namespace {

struct Pictures {
    int ball = -1;
    int tile = -1;
    int font = -1;  // an edged, smoothed face for the captions
};

uint32_t Rgb(int red, int green, int blue) {
    return tessel::ColorToScreenPixel(red, green, blue);
}

// Boxes that do not move: a row of colours and a frame around the tiles.
void DrawBoxes() {
    tessel::FillBoxArea(20, 20, 80, 60, Rgb(224, 60, 60));
    tessel::FillBoxArea(100, 20, 160, 60, Rgb(60, 200, 90));
    tessel::FillBoxArea(180, 20, 240, 60, Rgb(70, 110, 230));
    tessel::FillBoxArea(260, 20, 320, 60, Rgb(240, 210, 60));
    tessel::DrawBoxOutline(18, 88, 302, 252, Rgb(255, 255, 255));
    tessel::DrawBoxOutline(340, 88, 620, 252, Rgb(160, 160, 160));
}

void DrawFrame(const Pictures& p, long frame) {
    tessel::SetBackgroundRgb(24, 28, 48);
    tessel::EraseDrawTarget(nullptr);
    DrawBoxes();
    const double turn = frame * 0.03;

    // Plain, and stretched to three sizes.
    tessel::DrawImageAt(30, 100, p.tile, 0);
    tessel::DrawImageStretched(80, 100, 290, 240, p.tile, 0);
    tessel::DrawImageAt(40, 110, p.ball, 1);
    tessel::DrawImageStretched(120, 120, 152, 152, p.ball, 1);
    tessel::DrawImageStretched(170, 110, 290, 230, p.ball, 1);

    // Turning, at two scales.
    tessel::DrawImageRotatedF(420.0f, 170.0f, 1.5, turn, p.tile, 0, 0);
    tessel::DrawImageRotatedF(550.0f, 170.0f, 1.0, -turn * 2.0, p.ball, 1, 0);

    // Blended: half see-through over a box, then added light.
    tessel::FillBoxArea(20, 290, 300, 450, Rgb(200, 60, 140));
    tessel::SetImageBlendMode(1, 128);
    tessel::DrawImageStretched(40, 310, 280, 430, p.tile, 0);
    tessel::SetImageBlendMode(2, 255);
    const float sweep = static_cast<float>(std::sin(turn) * 90.0);
    tessel::DrawImageRotatedF(160.0f + sweep, 370.0f, 1.2, 0.0, p.ball, 1, 0);
    tessel::SetImageBlendMode(0, 0);

    // A ball rolling across the bottom right.
    const int x = 340 + static_cast<int>((frame * 3) % 240);
    tessel::FillBoxArea(340, 420, 620, 450, Rgb(90, 90, 110));
    tessel::DrawImageRotatedF(static_cast<float>(x + 16), 400.0f, 0.5, turn * 4.0, p.ball, 1, 0);

    // Captions in Latin and Japanese letters.
    tessel::DrawStringToScreen(344, 270, "Pictures, boxes", Rgb(255, 255, 255), p.font,
                               Rgb(40, 40, 90), 0);
    tessel::DrawStringToScreen(344, 304, "毎フレーム描画", Rgb(255, 230, 150), p.font,
                               Rgb(40, 40, 90), 0);
}

}  // namespace

int main(int argc, char** argv) {
    const ExampleOptions options = ReadExampleOptions(argc, argv, "DRAW_IMAGES_FRAMES");
    if (!MoveToProgramFolder()) {
        return 1;
    }
    // Archives are named FOLDER.dat here, as the game names its own.
    tessel::SetArchiveSuffixOption("dat");
    tessel::ChangeWindowMode(1);
    tessel::SetWindowTitle("Drawing images");
    // A 32-bit screen, so that the shading shows without banding.
    tessel::SetScreenMode(640, 480, 32, 60);
    tessel::SetUseHardwareOption(options.software ? 0 : 1);
    if (tessel::StartLibrary() != 0) {
        std::fprintf(stderr, "the library did not start; see Log.txt\n");
        return 1;
    }
    Pictures pictures;
    pictures.ball = tessel::LoadImageFile("example_pictures\\ball.png", 0);
    pictures.tile = tessel::LoadImageFile("example_pictures\\tile.png", 0);
    if (pictures.ball == -1 || pictures.tile == -1) {
        std::fprintf(stderr, "the pictures did not load; see Log.txt\n");
        tessel::EndLibrary();
        return 1;
    }
    pictures.font = tessel::CreateFontToHandle(
        nullptr, 22, -1, tessel::kFontAntialiased | tessel::kFontEdge, -1, 2, 0);
    const long frames = RunFrames(options.frames, [&](long frame) { DrawFrame(pictures, frame); });
    tessel::EndLibrary();
    std::printf("%ld frames\n", frames);
    return 0;
}
