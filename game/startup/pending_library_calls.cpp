// The stand-ins' answers: what each library part gives while it is not
// started.
#include "game/startup/pending_library_calls.h"

namespace pending_library {

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
