// Stand-ins for the library calls of the game whose library part is not
// built yet: sounds and music, and 3D models. Each answers as that part of
// the library does when it is not started: a setter takes its value and
// changes nothing, a load, a play or a stop gives -1 (so the game runs
// silent and without its floor). When the part lands, start-up binds its function in place of
// the stand-in of the same name and the stand-in goes.
#pragma once

#include <cstdint>

namespace pending_library {

// Sounds and music: no sound loads, so every slot plays nothing.
int SetSoundLoadMode(int mode);
int LoadSoundFile(const char* path, int bufferCount, int unused);
int SetLoopPointMs(int64_t milliseconds, int sound);
int PlaySoundHandle(int sound, int playType, int fromStart);
int StopSoundHandle(int sound);
int SetSoundPositionSamples(int64_t samples, int sound);

// Models: no model loads, so the floor draws nothing (the texture filter
// call is the library's own, which refuses a handle that names no model).
int LoadModel(const char* path);

}  // namespace pending_library
