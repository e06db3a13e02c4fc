// The library's functions behind the frame loop's table.
#include "game/loop/frame_calls.h"

#include "foundation/runtime/input.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/startup.h"
#include "game/draw/draw_flush.h"
#include "game/files/replay_file.h"
#include "game/input/input_state.h"
#include "graphics/camera/camera.h"
#include "graphics/draw/draw_calls.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/targets/draw_targets.h"
#include "models/drawing/model_drawing.h"
#include "models/instances/model_instances.h"
#include "platform/kernel/sync.h"
#include "sound/play/sound_calls.h"

namespace {

void SleepMilliseconds(int milliseconds) {
    if (milliseconds > 0) {
        Sleep(static_cast<DWORD>(milliseconds));
    }
}
int EraseWholeTarget() {
    return tessel::EraseDrawTarget(nullptr);
}

const FrameCalls kLibraryCalls = {
    &tessel::PumpMessages,
    &UpdateInput,
    &tessel::ReadMillisecondClock,
    &SleepMilliseconds,
    &tessel::IsKeyPressed,
    &LocalTimeNow,
    &tessel::SelectDrawTarget,
    &EraseWholeTarget,
    &tessel::PresentScreenPublic,
    &tessel::SaveDrawScreen,
    &FlushDrawQueue,
    &tessel::SetImageBlendMode,
    &tessel::SetImageBrightness,
    &tessel::ColorToScreenPixel,
    &tessel::DrawBoxShape,
    &tessel::DrawImagePart,
    &tessel::DrawImageStretched,
    &tessel::PlaySoundHandle,
    &tessel::StopSoundHandle,
    &tessel::SetSoundPositionSamples,
    &tessel::EndLibrary,
    &tessel::SetFogSwitch,
    &tessel::SetFogTint,
    &tessel::SetFogRange,
    &tessel::PlaceCameraByAngles,
    &tessel::SetCameraDepthRange,
    &tessel::PlaceModel,
    &tessel::RenderModel,
};

const FrameCalls* boundCalls = nullptr;

}  // namespace

const FrameCalls& LibraryFrameCalls() {
    return kLibraryCalls;
}

void BindFrameCalls(const FrameCalls* calls) {
    boundCalls = calls;
}

const FrameCalls& CurrentFrameCalls() {
    return boundCalls != nullptr ? *boundCalls : kLibraryCalls;
}
