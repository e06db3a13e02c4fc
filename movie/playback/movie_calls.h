// Movie handles: open a movie file (the built-in Theora decoder first, else
// a media graph), bring its frame up to date from the draws that show it,
// pause and resume every movie with the window, and close it. All of it runs
// on the window thread.
#pragma once

#include <cstdint>

#include "movie/playback/movie_record.h"

namespace tessel {

constexpr int kMovieSlots = 100;

// A movie handle, or -1; the frame size goes to the outputs that are not
// null. `mode` has no effect on opening.
int OpenMovie(const char* path, int* widthOut, int* heightOut, int mode);
// Null for anything that is not a live movie handle.
MovieRecord* MovieRecordFromHandle(int handle);
// 0, or -1 for a bad handle.
int MovieDispose(int handle);
// Brings the current frame up to date and calls the hook. Always 0.
int MovieAdvanceFrame(int handle, int unused);
int MovieSetFrameHook(int handle, MovieFrameHook hook, int32_t value);
// Starts a movie that is not playing from its current frame (play type 0 is
// taken as 1). 0, or -1 for a bad handle.
int MoviePlay(int handle, int playType);
// Nothing draws straight into the window, so this only checks the handle.
int MovieDrawToWindow(int x, int y, int scale, int handle, int show);
int MoviePauseAll();
int MovieResumeAll();
int MovieRedrawAll();

}  // namespace tessel
