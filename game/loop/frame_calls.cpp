// The library's functions behind the frame loop's table.
#include "game/loop/frame_calls.h"

#include "foundation/runtime/input.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/startup.h"
#include "game/draw/draw_queue.h"
#include "game/draw/library_draw_calls.h"
#include "game/files/replay_file.h"
#include "game/input/input_state.h"
#include "game/startup/pending_library_calls.h"
#include "graphics/draw/draw_calls.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/targets/draw_targets.h"
#include "platform/kernel/sync.h"

namespace {

void SleepMilliseconds(int milliseconds) {
    if (milliseconds > 0) {
        Sleep(static_cast<DWORD>(milliseconds));
    }
}
int EraseWholeTarget() {
    return tessel::EraseDrawTarget(nullptr);
}
// Until the queues' flush lands the requests are dropped undrawn, so that
// they never pile up from frame to frame.
void DropDrawQueue(DrawQueue* queue) {
    ClearDrawQueue(queue);
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
    &DropDrawQueue,
    &tessel::SetImageBlendMode,
    &tessel::SetImageBrightness,
    &tessel::ColorToScreenPixel,
    &tessel::DrawBoxShape,
    &tessel::DrawImagePart,
    &tessel::DrawImageStretched,
    &pending_library::PlaySoundHandle,
    &pending_library::StopSoundHandle,
    &pending_library::SetSoundPositionSamples,
    &tessel::EndLibrary,
};

void SetBlendMode(int32_t mode, int32_t parameter) {
    tessel::SetImageBlendMode(mode, parameter);
}
void SetBlendModeOnly(int32_t mode) {
    tessel::SetImageBlendModeOnly(mode);
}
void DrawRotated(float x, float y, double scale, double angle, int32_t image, int32_t transparent,
                 int32_t mirror) {
    tessel::DrawImageRotatedF(x, y, scale, angle, image, transparent, mirror);
}
void DrawRotatedAlt(float x, float y, double scale, double angle, int32_t image) {
    tessel::DrawImageRotatedAltF(x, y, scale, angle, image);
}

const LibraryDrawCalls kBulletDrawCalls = {
    &SetBlendMode, &SetBlendModeOnly, &tessel::SetImageBrightnessPackedRaw,
    &DrawRotated,  &DrawRotatedAlt,
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

const LibraryDrawCalls& LibraryBulletDrawCalls() {
    return kBulletDrawCalls;
}
