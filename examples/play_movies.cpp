// Plays two movies as images, side by side, looping: an Ogg Theora clip with
// a tone for its sound, decoded by the library's own decoder, and an AVI clip
// of MPEG-4 video played through the media graph. Both lie in the folder
// "example_movies" beside the program (the build makes them: the Theora clip
// with our encoder tool, the AVI with FFmpeg's encoder). Every draw of a
// movie image shows the frame due at that moment.
//
//   play_movies [FRAMES] [--software]
//
// It runs until the window is closed, or for FRAMES frames (also taken from
// PLAY_MOVIES_FRAMES); --software draws without the Direct3D device.
#include <cstdio>

#include "examples/example_options.h"
#include "examples/example_startup.h"
#include "foundation/runtime/main_window.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/startup.h"
#include "foundation/runtime/window_mode.h"
#include "graphics/device/graphics_device.h"
#include "graphics/draw/draw_calls.h"
#include "graphics/images/image_create.h"
#include "graphics/images/image_records.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/targets/draw_targets.h"
#include "platform/kernel.h"
#include "sound/play/sound_calls.h"

namespace {

struct Movies {
    int theora = -1;
    int graph = -1;
};

void DrawFrame(const Movies& movies) {
    tessel::SetBackgroundRgb(24, 28, 48);
    tessel::EraseDrawTarget(nullptr);
    tessel::FillBoxArea(16, 16, 312, 256, tessel::ColorToScreenPixel(60, 60, 80));
    tessel::FillBoxArea(328, 16, 624, 256, tessel::ColorToScreenPixel(60, 60, 80));
    // Each at twice its size, the Theora clip left, the graph's clip right.
    tessel::DrawImageStretched(24, 24, 24 + 2 * 128, 24 + 2 * 96, movies.theora, 0);
    tessel::DrawImageStretched(336, 24, 336 + 2 * 128, 24 + 2 * 96, movies.graph, 0);
}

}  // namespace

int main(int argc, char** argv) {
    const ExampleOptions options = ReadExampleOptions(argc, argv, "PLAY_MOVIES_FRAMES");
    if (!MoveToProgramFolder()) {
        return 1;
    }
    tessel::ChangeWindowMode(1);
    tessel::SetWindowTitle("Playing movies");
    tessel::SetScreenMode(640, 480, 32, 60);
    tessel::SetUseHardwareOption(options.software ? 0 : 1);
    if (tessel::StartLibrary() != 0) {
        std::fprintf(stderr, "the library did not start; see Log.txt\n");
        return 1;
    }
    Movies movies;
    movies.theora = tessel::LoadImageFile("example_movies\\clip.ogv", 0);
    movies.graph = tessel::LoadImageFile("example_movies\\clip.avi", 0);
    if (movies.theora == -1 || movies.graph == -1) {
        std::fprintf(stderr, "the movies did not load; see Log.txt\n");
        tessel::EndLibrary();
        return 1;
    }
    tessel::PlayMovieImage(movies.theora, tessel::kPlayLooping);
    tessel::PlayMovieImage(movies.graph, tessel::kPlayLooping);
    const long frames = RunFrames(options.frames, [&](long) { DrawFrame(movies); });
    tessel::EndLibrary();
    std::printf("%ld frames\n", frames);
    return 0;
}
