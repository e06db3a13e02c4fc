// The stand-ins' answers: what each library part gives while it is not
// started.
#include "game/startup/pending_library_calls.h"

#include "graphics/images/image_create.h"

namespace pending_library {

namespace {
int drawableImageCreation = 0;
}

int SetTransparentColorKeying(int) {
    return 0;
}
int SetVerticalBlankWait(int) {
    return 0;
}
int SetImageFilterMode(int) {
    return 0;
}
int SetNewImageColorDepth(int) {
    return 0;
}
int SetZBufferWrite(int) {
    return 0;
}
int SetDrawableImageCreation(int on) {
    drawableImageCreation = on;
    return 0;
}
int CreateBlankImage(int width, int height) {
    return drawableImageCreation != 0 ? tessel::CreateDrawableImage(width, height)
                                      : tessel::CreateBlankImage(width, height);
}

int SelectDrawTarget(int) {
    return 0;
}
int DrawImageStretched(int, int, int, int, int, int) {
    return 0;
}
int PresentScreenPublic() {
    return 0;
}

int SetSoundLoadMode(int) {
    return 0;
}
int LoadSoundFile(const char*, int, int) {
    return -1;
}
int SetLoopPointMs(int64_t, int) {
    return -1;
}

int LoadModel(const char*) {
    return -1;
}
int SetModelTextureFilter(int, int, int) {
    return -1;
}

}  // namespace pending_library
