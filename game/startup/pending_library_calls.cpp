// The stand-ins' answers: what each library part gives while it is not
// started.
#include "game/startup/pending_library_calls.h"

namespace pending_library {

int SetSoundLoadMode(int) {
    return 0;
}
int LoadSoundFile(const char*, int, int) {
    return -1;
}
int SetLoopPointMs(int64_t, int) {
    return -1;
}
int PlaySoundHandle(int, int, int) {
    return -1;
}
int StopSoundHandle(int) {
    return -1;
}
int SetSoundPositionSamples(int64_t, int) {
    return -1;
}

int LoadModel(const char*) {
    return -1;
}

}  // namespace pending_library
