// What the movie table's files share: the table, the clock the frames follow
// and the graph half of opening and closing.
#pragma once

#include <cstdint>

#include "movie/playback/movie_record.h"

namespace tessel {

struct MovieTable {
    MovieRecord* slots[100];
    int32_t count;
    uint32_t nextCheck;  // 0 to 2047
};
extern MovieTable g_movies;

// Microseconds for movies without sound (the library's clock unless a test
// set its own).
uint64_t MovieClockNow();

// Builds the graph that renders `path` into a MovieFrameRenderer, through a
// temporary copy when the graph cannot read the path itself. 0 or -1 (with
// its log line), leaving nothing behind.
int MovieOpenWithFilterGraph(MovieRecord* record, const char* path, int* widthOut, int* heightOut);
// Releases whatever graph interfaces the record holds, the renderer last.
void ReleaseMovieGraph(MovieRecord* record);

}  // namespace tessel
