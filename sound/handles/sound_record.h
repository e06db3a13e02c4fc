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

// Where a stream sound reads its PCM from. The stream thread fills these in;
// deleting a sound closes whatever is still open here.
struct StreamSoundSource {
    void* decoder;  // the PCM decoder, closed through closeDecoder
    void (*closeDecoder)(void* decoder);
    void* fileImage;    // a tracked block holding the whole file, or null
    int32_t kind;       // 3: the decoder reads an input stream it owns
    void* ownedStream;  // closed through closeStream when owned
    void (*closeStream)(void* stream);
    void* memoryStream;  // closed through closeMemoryStream
    void (*closeMemoryStream)(void* stream);
    int32_t loopStart;  // in samples, -1 = none
    int32_t loopCount;
};

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
    int32_t refillPosition;
    StreamSoundSource sources[kStreamSourceSlots];
    int32_t sourceCount;
    int32_t currentSource;
    int32_t sourcePlays;
    int64_t sourcePosition;
    int64_t playedBytes;
    int32_t lastPlayCursor;
    int32_t loopWrapBytes;
    int32_t playing;
    int32_t ending;
    int32_t lastSourceReached;
    int32_t loopWrapPending;
    uint8_t ownsStream[kStreamSourceSlots];
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
