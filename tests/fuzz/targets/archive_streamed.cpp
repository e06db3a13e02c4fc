// An archive file whose tables are kept in memory and whose files are read
// from the file as they are asked for.
#include "fuzz/archive_walk.h"
#include "fuzz/fuzz_target.h"

TESSEL_FUZZ_TARGET(archive_streamed) {
    static tessel_fuzz::ScratchFile file;
    const char* path = file.Hold(data, size);
    tessel::ArchiveState state;
    tessel::ArchiveStateClear(&state);
    if (path != nullptr && tessel::ArchiveOpenStreamed(&state, path, nullptr) == 0) {
        tessel_fuzz::WalkWholeArchive(&state);
    }
    return 0;
}
