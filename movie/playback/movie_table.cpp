// The movie table: 100 slots, handles with an 11-bit check number, the
// frame hook, closing a movie, and the calls for movies drawn straight into
// the window (which no movie is).
#include <cstring>

#include "foundation/files/file_ops.h"
#include "foundation/memory/memory.h"
#include "foundation/runtime/message_pump.h"
#include "movie/playback/movie_calls.h"
#include "movie/playback/movie_internal.h"
#include "movie/playback/movie_testing.h"
#include "platform/kernel.h"
#include "sound/handles/sound_table.h"

namespace tessel {

MovieTable g_movies = {};

namespace {

constexpr int32_t kMovieKind = 0x18000000;
constexpr int32_t kKindMask = 0x78000000;

MovieClock g_testClock = nullptr;

}  // namespace

uint64_t MovieClockNow() {
    return g_testClock != nullptr ? g_testClock() : ReadMicrosecondClock(0);
}

void SetMovieClockForTest(MovieClock clock) {
    g_testClock = clock;
}

int OpenMovieCountForTest() {
    return g_movies.count;
}

MovieRecord* MovieRecordFromHandle(int handle) {
    if (handle < 0 || (handle & kKindMask) != kMovieKind) {
        return nullptr;
    }
    const int slot = handle & 0xFFFF;
    if (slot >= kMovieSlots) {
        return nullptr;
    }
    MovieRecord* record = g_movies.slots[slot];
    if (record == nullptr || (record->check << 16) != static_cast<uint32_t>(handle & 0x07FF0000)) {
        return nullptr;
    }
    return record;
}

int MovieDispose(int handle) {
    MovieRecord* record = MovieRecordFromHandle(handle);
    if (record == nullptr) {
        return -1;
    }
    if (record->theora != 0) {
        TheoraClose(record->decoder);
        FsClose(record->file);
        DeleteSoundHandle(record->sound);
        record->decoder = nullptr;
        record->file = 0;
        record->sound = -1;
        record->theora = 0;
    }
    // The graph goes first: it may hold the temporary copy open, and its
    // streaming thread writes the renderer's buffer that the record borrows.
    ReleaseMovieGraph(record);
    if (record->tempCopy != 0) {
        DeleteFileW(record->path);
        record->tempCopy = 0;
    }
    g_movies.slots[handle & 0xFFFF] = nullptr;
    --g_movies.count;
    FreeTracked(record);
    return 0;
}

int MovieSetFrameHook(int handle, MovieFrameHook hook, int32_t value) {
    MovieRecord* record = MovieRecordFromHandle(handle);
    if (record == nullptr) {
        return -1;
    }
    record->hook = hook;
    record->hookValue = value;
    return 0;
}

int MovieDrawToWindow(int /*x*/, int /*y*/, int /*scale*/, int handle, int /*show*/) {
    return MovieRecordFromHandle(handle) == nullptr ? -1 : 0;
}

int MovieRedrawAll() {
    return 0;
}

}  // namespace tessel
