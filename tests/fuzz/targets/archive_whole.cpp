// An archive file read whole into memory at open, then listed and read.
#include "fuzz/archive_walk.h"
#include "fuzz/fuzz_target.h"

TESSEL_FUZZ_TARGET(archive_whole) {
    static tessel_fuzz::ScratchFile file;
    const char* path = file.Hold(data, size);
    tessel::ArchiveState state;
    tessel::ArchiveStateClear(&state);
    if (path != nullptr && tessel::ArchiveOpenImage(&state, path, nullptr, 0) == 0) {
        tessel_fuzz::WalkWholeArchive(&state);
    }
    return 0;
}
