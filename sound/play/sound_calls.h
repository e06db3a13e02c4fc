// Loading and playing sounds: a sound file or a file image becomes a sound
// handle, decoded whole into memory (played by 1 to 10 buffers in turn, so
// that one effect overlaps itself) or streamed; then play, stop, state, loop
// points, positions and lengths. Each call returns -1 for a bad handle.
#pragma once

#include <cstdint>

namespace tessel {

// Load modes.
constexpr int kLoadWhole = 0;      // decoded whole into memory (streamed past 180 s)
constexpr int kLoadFileImage = 2;  // streamed from the file kept whole in memory
constexpr int kLoadFromFile = 3;   // streamed straight from the open file

// Play types.
constexpr int kPlayAndWait = 0;
constexpr int kPlayOnce = 1;
constexpr int kPlayLooping = 3;

// Modes above 3 are refused (-1); 1 is taken as 0. 0.
int SetSoundLoadMode(int mode);
int GetSoundLoadMode();

// A new sound handle, or -1. A buffer count above 10 is taken as 10;
// `shareHandle` names a stream sound whose ring a new stream sound plays
// through (-1: none).
int LoadSoundFile(const char* path, int bufferCount, int shareHandle);
int LoadSoundFromFile(const char* path, int bufferCount, int shareHandle);
// The same from a file image in memory, which the caller keeps; a buffer
// count above 10 is refused.
int LoadSoundFromImage(const void* image, int size, int bufferCount, int shareHandle);

// 0 or -1. Play type 0 returns once the sound has ended or the message pump
// reports quit.
int PlaySoundHandle(int handle, int playType, int fromTop);
int StopSoundHandle(int handle);
// 1 while the sound plays, else 0.
int IsSoundPlaying(int handle);

// Loops for ever back to `samples` when played looping; -1 clears the loop
// point. A memory sound becomes a stream sound under the same handle. 0 or
// -1 (a point at or past the end, or a sound of two or more sources).
int SetLoopPointSamples(int64_t samples, int handle);
int SetLoopPointMs(int64_t ms, int handle);

int SetSoundPositionSamples(int64_t samples, int handle);
int SetSoundPositionBytes(int64_t bytes, int handle);
int GetSoundPositionMs(int handle);
int64_t GetSoundLengthSamples(int handle);
int64_t GetSoundLengthMs(int handle);

// The whole file in one new tracked block the caller frees. 0 or -1.
int ReadWholeFile(const char* path, void** block, uint32_t* size);
// Rebuilds a memory sound as a one-source stream sound under the same handle
// (a stream sound stays as it is). 0 or -1.
int ConvertToStreamSound(int handle);

}  // namespace tessel
