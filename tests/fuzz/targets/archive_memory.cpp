// An archive held in memory: opened in place over the input, listed and read
// whole.
#include "fuzz/archive_walk.h"
#include "fuzz/fuzz_target.h"

TESSEL_FUZZ_TARGET(archive_memory) {
    tessel_fuzz::ExactCopy copy(data, size);
    tessel::ArchiveState state;
    tessel::ArchiveStateClear(&state);
    if (tessel::ArchiveOpenInMemory(&state, copy.bytes.get(), static_cast<uint32_t>(size),
                                    nullptr) == 0) {
        tessel_fuzz::WalkWholeArchive(&state);
    }
    return 0;
}
