// The library's functions behind the start-up table.
#include "game/startup/startup_calls.h"

#include "foundation/files/archive_fs.h"
#include "foundation/files/file_ops.h"
#include "foundation/memory/log.h"
#include "foundation/runtime/main_window.h"
#include "foundation/runtime/startup.h"
#include "foundation/runtime/window_mode.h"
#include "graphics/device/graphics_device.h"
#include "graphics/draw/draw_calls.h"
#include "graphics/images/image_create.h"
#include "graphics/images/image_records.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/targets/draw_targets.h"
#include "graphics/textures/texture_formats.h"
#include "images/image_loader.h"
#include "models/loading/model_loading.h"
#include "models/textures/model_textures.h"
#include "platform/window.h"
#include "sound/play/sound_calls.h"

namespace {

int AskYesNo(const char* text, const char* caption) {
    return MessageBoxA(nullptr, text, caption, MB_YESNO);
}
int LoadImage(const char* path) {
    return tessel::LoadImageFile(path, 0);
}
int ReleaseImage(int image) {
    return tessel::ReleaseImageHandle(image, 0);
}
int CreateBlankImage(int width, int height) {
    return tessel::CreateBlankImage(width, height);
}

const StartupCalls kLibraryCalls = {
    &tessel::SetArchiveUse,
    &tessel::SetRunWhenInactive,
    &tessel::EnableLogFile,
    &tessel::SetTransparentColorKeying,
    &tessel::SetPowerOfTwoTextures,
    &tessel::SetWindowStyleIndex,
    &tessel::SetWindowIcon,
    &tessel::SetWindowTitle,
    &tessel::SetDesktopCompositionOff,
    &AskYesNo,
    &tessel::ChangeWindowMode,
    &tessel::SetScreenMode,
    &tessel::StartLibrary,
    &tessel::SetArchiveSuffixOption,
    &tessel::SetArchiveKeyOption,
    &tessel::SetVerticalBlankWait,
    &tessel::SetImageFilterMode,
    &tessel::SetNewImageColorDepth,
    &tessel::SetImageLoadOption,
    &tessel::SetZBufferWrite,
    &tessel::SelectDrawTarget,
    &tessel::DrawImageStretched,
    &tessel::PresentScreenPublic,
    &LoadImage,
    &tessel::CreateSubImageHandle,
    &tessel::QueryImageSize,
    &ReleaseImage,
    &tessel::SetDrawableImageCreation,
    &CreateBlankImage,
    &tessel::LoadModel,
    &tessel::SetModelTextureFilter,
    &tessel::SetSoundLoadMode,
    &tessel::LoadSoundFile,
    &tessel::SetLoopPointMs,
};

const StartupCalls* boundCalls = nullptr;

}  // namespace

const StartupCalls& LibraryStartupCalls() {
    return kLibraryCalls;
}

void BindStartupCalls(const StartupCalls* calls) {
    boundCalls = calls;
}

const StartupCalls& CurrentStartupCalls() {
    return boundCalls != nullptr ? *boundCalls : kLibraryCalls;
}
