// Shows an MQO model turning: the camera circles it once every ten seconds,
// looking down on it from above, with the default light.
//
//   view_model [MODEL.mqo] [FRAMES] [--software]
//
// Without a model it shows the game's floor tile, which the build copies
// into the folder "example_model" beside the program. It runs until the
// window is closed, or for FRAMES frames (also taken from VIEW_MODEL_FRAMES).
// The software path has no 3D: there the model does not load.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "examples/example_options.h"
#include "examples/example_startup.h"
#include "examples/model_example.h"
#include "foundation/runtime/main_window.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/startup.h"
#include "foundation/runtime/window_mode.h"
#include "graphics/camera/camera.h"
#include "graphics/device/graphics_device.h"
#include "graphics/images/image_records.h"
#include "graphics/targets/draw_targets.h"
#include "models/drawing/model_drawing.h"
#include "models/loading/model_loading.h"

namespace {

constexpr char kDefaultModel[] = "example_model\\yuka.mqo";
constexpr float kDistance = 1100.0f;
constexpr float kPitch = 0.45f;  // radians below the horizon
constexpr double kTurnFrames = 600.0;

// The camera on its circle, looking at the model's centre.
void PlaceCamera(long frame) {
    const float turn = static_cast<float>(frame / kTurnFrames * 2.0 * 3.141592653589793);
    const float level = std::cos(kPitch) * kDistance;
    tessel::PlaceCameraByAngles(-level * std::sin(turn), std::sin(kPitch) * kDistance,
                                -level * std::cos(turn), kPitch, turn, 0.0f);
}

}  // namespace

int main(int argc, char** argv) {
    const ExampleOptions options =
        ReadExampleOptions(argc, argv, "VIEW_MODEL_FRAMES", kDefaultModel);
    const int model = StartModelExample(options, kDefaultModel, "Viewing a model");
    if (model == -1) {
        return 1;
    }
    tessel::Vec3 maximum = {};
    tessel::Vec3 minimum = {};
    tessel::MeasureModelBounds(model, &maximum, &minimum);
    std::printf("model from (%.1f, %.1f, %.1f) to (%.1f, %.1f, %.1f)\n", minimum.x, minimum.y,
                minimum.z, maximum.x, maximum.y, maximum.z);
    tessel::SetBackgroundRgb(24, 16, 40);
    const long frames = RunFrames(options.frames, [&](long frame) {
        tessel::EraseDrawTarget(nullptr);
        PlaceCamera(frame);
        tessel::SetCameraDepthRange(100.0f, 10000.0f);
        tessel::RenderModel(model);
    });
    tessel::EndLibrary();
    std::printf("%ld frames\n", frames);
    return 0;
}
