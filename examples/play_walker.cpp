// Plays our walking PMD character: its walk (motion 0, whose leg poses the
// loader baked from IK targets) and its blink (motion 1) loop at 30 frames a
// second while the camera stands before it, a little to its left.
//
//   play_walker [MODEL.pmd] [FRAMES] [--software]
//
// Without a model it shows the walker, which the build writes into the
// folder "example_walker" beside the program. It runs until the window is
// closed, or for FRAMES frames (also taken from PLAY_WALKER_FRAMES). The
// library evaluates attached animations but leaves attaching them and
// moving them in time to its callers: this program does both for its two
// motions. The software path has no 3D: there the model does not load.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "examples/example_options.h"
#include "examples/example_startup.h"
#include "examples/model_example.h"
#include "foundation/memory/memory.h"
#include "foundation/runtime/main_window.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/startup.h"
#include "foundation/runtime/window_mode.h"
#include "graphics/camera/camera.h"
#include "graphics/device/graphics_device.h"
#include "graphics/images/image_records.h"
#include "graphics/targets/draw_targets.h"
#include "models/core/model_records.h"
#include "models/core/model_system.h"
#include "models/drawing/model_drawing.h"
#include "models/loading/model_loading.h"
#include "tools/lib/attach_motion.h"

namespace {

constexpr char kDefaultModel[] = "example_walker\\walker.pmd";
constexpr int kSlots = 2;
constexpr double kFramesPerSecond = 30.0;
constexpr double kScreenRate = 60.0;

}  // namespace

int main(int argc, char** argv) {
    const ExampleOptions options =
        ReadExampleOptions(argc, argv, "PLAY_WALKER_FRAMES", kDefaultModel);
    const int model = StartModelExample(options, kDefaultModel, "Playing a walking character");
    if (model == -1) {
        return 1;
    }
    tessel::ModelInstance* record = tessel::GetModelInstance(model);
    const int motions = record->base->animSetCount < kSlots ? record->base->animSetCount : kSlots;
    for (int m = 0; m < motions; ++m) {
        if (!tessel::AttachMotion(record, m, m, 1.0f, 0.0f, kSlots)) {
            std::fprintf(stderr, "motion %d could not be attached\n", m);
        }
    }
    std::printf("%d motions playing\n", motions);
    tessel::SetBackgroundRgb(40, 48, 64);
    const long frames = RunFrames(options.frames, [&](long frame) {
        tessel::EraseDrawTarget(nullptr);
        tessel::PlaceCameraByAngles(-12.0f, 10.0f, -30.0f, 0.1f, 0.38f, 0.0f);
        tessel::SetCameraDepthRange(1.0f, 1000.0f);
        const double seconds = static_cast<double>(frame) / kScreenRate;
        for (int m = 0; m < motions; ++m) {
            if (record->attachSlots == nullptr || record->attachSlots[m].anim == nullptr) {
                continue;
            }
            const double length = record->base->animSets[m].length;
            const double at = std::fmod(seconds * kFramesPerSecond, length > 0.0 ? length : 1.0);
            tessel::SeekMotion(record, m, static_cast<float>(at));
        }
        tessel::RenderModel(model);
    });
    tessel::EndLibrary();
    std::printf("%ld frames\n", frames);
    return 0;
}
