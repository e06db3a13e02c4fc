// The stand-ins' answers: what each library part gives while it is not
// started.
#include "game/startup/pending_library_calls.h"

namespace pending_library {

int LoadModel(const char*) {
    return -1;
}

}  // namespace pending_library
