// Stream sounds: up to three sources played one after another through one
// looping ring of about a second, which the sound thread tops up every 30 ms
// with PCM decoded from the current source. Every call here takes the sound
// lock except IsStreamPlaying.
#pragma once

#include <cstdint>

#include "images/input_stream.h"

namespace tessel {

// How a source keeps its data.
enum StreamSourceKind : int32_t {
    kSourceDecodedImage = 0,  // decoded whole, kept as a WAV image in memory
    kSourceFileImage = 2,     // the compressed file kept whole in memory
    kSourceOwnStream = 3,     // decoded straight from the caller's stream
};

// Adds a source read from `stream` (from its start) to the stream sound
// `handle`, which plays it `loopCount` extra times (255: for ever back to its
// loop start, when played looping). The first source fixes the format and
// makes the ring, or plays through the ring of `shareHandle` when that is a
// stream sound of the same format with its own ring. `ownsStream` (may be
// null) receives 1 when the caller may close the stream now, 0 when the
// source keeps reading it. 0 or -1.
int AddSreamSound(const InputStream* stream, int loopCount, int handle, int kind, int* ownsStream,
                  int shareHandle);
// The same over a file opened through the file layer; a source that keeps
// reading it closes it when the sound goes. 0 or -1.
int AddStreamSourceFile(const char* path, int loopCount, int handle, int mode, int shareHandle);
// The same over a file image in memory, which the source copies. 0 or -1.
int AddStreamSourceMemory(const void* image, uint32_t size, int loopCount, int handle, int mode,
                          int shareHandle);

// 1 while the ring plays for this sound, 0 when it does not or another sound
// holds the shared ring; -1 for a bad handle.
int IsStreamPlaying(int handle);
// Writes the first three quarters of a second into the ring of a sound that
// is not playing. 0 or -1.
int PrimeStreamSound(int handle);
// Plays: 0 once and wait, 1 once, 3 looping. A sound that plays already
// continues unless `fromTop`. 0 or -1.
int StartStreamPlayback(int handle, int playType, int fromTop);
// Stops the ring, keeping the position for a later play. 0 or -1.
int HaltStreamPlayback(int handle);
// The position heard, in ms, at most the sound's length; -1 for a bad handle.
int GetStreamPositionMs(int handle);
// Moves a one-source sound to `bytes`; a playing sound goes on from there.
// 0 or -1.
int SetStreamPlayOffset(int bytes, int handle);
// One top-up of the ring: 0 when written or nothing is due, -1 when the play
// cursor has not reached the refill threshold yet.
int RefillStreamSound(int handle);

// The whole stream from its start in one new tracked block. 0 or -1.
int ReadWholeStream(const InputStream* stream, void** block, uint32_t* size);

}  // namespace tessel
