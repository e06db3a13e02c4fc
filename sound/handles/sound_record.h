// The record behind every sound handle, the buffers it plays through and the
// sources a stream sound refills its ring from.
#pragma once

#include <cstdint>

#include "foundation/base/list.h"
#include "platform/dsound.h"
#include "platform/mmreg.h"

namespace tessel {

constexpr int kSoundBufferSlots = 10;
constexpr int kStreamSourceSlots = 3;

// One secondary buffer; `valid` is 1 between a successful create or
// duplicate and its release.
struct SoundBuffer {
    int32_t valid;
    IDirectSoundBuffer* buffer;
};

// Where a stream sound reads its PCM from. The stream code fills these in;
// deleting a sound closes whatever is still open here.
struct StreamSoundSource {
    int32_t loopCount;  // extra plays; 255 = for ever back to the loop start
    int32_t kind;       // 0 a WAV image of the decoded PCM, 2 the file image, 3 the caller's stream
    void* fileImage;    // a tracked block holding the whole file, or null
    uint32_t fileImageSize;
    void* memoryStream;  // over fileImage; closed through closeMemoryStream
    void (*closeMemoryStream)(void* stream);
    int32_t loopStart;  // in samples
    void* decoder;      // the PCM decoder, closed through closeDecoder
    void (*closeDecoder)(void* decoder);
    void* ownedStream;  // a file the source keeps reading, closed through closeStream
    void (*closeStream)(void* stream);
    int64_t loopStartBytes;
};

// Where the writer went back to a loop start: once the play cursor passes
// `writePosition` the played position is the loop start again.
struct LoopWrap {
    int32_t writePosition;
    int32_t loopStartBytes;
};
// Wraps written but not yet heard. A loop shorter than the ring's fill queues
// several; past this many (loops of a few milliseconds) the newest is replaced
// and only the reported position runs ahead until the next wrap is heard.
constexpr int kLoopWrapSlots = 64;

enum SoundKind : int32_t { kMemorySound = 0, kStreamSound = 1 };

struct SoundRecord {
    int32_t check;
    SoundBuffer buffers[kSoundBufferSlots];
    WAVEFORMATEX format;
    int32_t kind;
    int32_t playType;
    int32_t sharedOwner;  // handle whose ring this sound plays through, -1 own
    int32_t sharerCount;  // stream sounds playing through this sound's ring
    int32_t currentUser;  // handle that last claimed the ring, -1 none
    int32_t deletePending;
    int32_t ringBytes;
    int32_t writeCursor;  // -800 = nothing written yet
    int32_t refillThreshold;
    StreamSoundSource sources[kStreamSourceSlots];
    int32_t sourceCount;
    int32_t currentSource;
    int32_t sourcePlays;
    int64_t sourcePosition;  // bytes read from the current source
    int64_t playedBytes;     // the position reported to the user
    int32_t lastPlayCursor;
    int64_t totalSamples;
    int32_t playing;
    int32_t ending;
    int32_t lastSourceReached;
    int32_t endPosition;    // where the last source's data ends in the ring
    int32_t endPlayCursor;  // the play cursor when that end was written
    LoopWrap wraps[kLoopWrapSlots];
    int32_t wrapFirst;
    int32_t wrapCount;
    ListNode streamNode;
    int32_t pcmBytes;
    void* pcm;
    int32_t* pcmShareCount;  // separately allocated; the PCM goes at 0
    int32_t bufferCount;
    int32_t lastBuffer;
    int32_t volume;
    int32_t pan;
    int32_t frequency;
};

}  // namespace tessel
