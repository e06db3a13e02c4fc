// The decoder record and the steps its files share. The words the window
// thread and the decode thread both touch are atomics: a request or status
// is stored with release and read with acquire, and a stock slot is
// published (used = 1, release) only after its planes are copied (stripe by
// stripe during the decode, or whole after it).
#pragma once

#include <ogg/ogg.h>
#include <theora/theora.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "movie/theora_decoder.h"
#include "platform/types.h"

namespace tessel {

enum TheoraStatus : int32_t {
    kTheoraIdle = 0,  // the stock holds every frame it should
    kTheoraWorking = 1,
    kTheoraSeeking = 2,
    kTheoraExited = 3,
    kTheoraPaused = 4,
};

// Index and key-frame flags grow by this many entries.
constexpr int32_t kTheoraIndexStep = 1000;
// The largest encoded frame side the decoder takes: HD video fits, and no
// header can make it reserve more than a few hundred megabytes.
constexpr uint32_t kTheoraMaxFrameSide = 2048;
constexpr uint32_t kTheoraReadBlock = 4096;

// One page after which frame packets came out.
struct TheoraPageIndexEntry {
    uint32_t offset;  // of the page start in the file
    int64_t firstFrame;
    int32_t keyFrame;  // 1 when a key-frame packet completed on the page
    int32_t frameCount;
};

// One decoded frame kept for the window thread; planes in rows of the
// strides below (top row first).
struct TheoraFrameSlot {
    std::atomic<int32_t> used;
    std::atomic<int64_t> frame;
    uint8_t* y;
    uint8_t* u;
    uint8_t* v;
    int32_t yWidth;
    int32_t yHeight;
    int32_t yStride;
    int32_t uvWidth;
    int32_t uvHeight;
    int32_t uvStride;
};

// Bytes between field groups that different threads write, so that no cache
// line holds fields of both: the record is only 16-byte aligned, so a gap of a
// whole line keeps the groups apart wherever it lands.
constexpr size_t kTheoraLineGap = 64;

// The fields are grouped by the thread that writes them.
struct TheoraDecoder {
    // Written by the window thread, read by the decode thread.
    std::atomic<int32_t> pauseRequest;
    std::atomic<int32_t> exitRequest;
    std::atomic<int32_t> seekRequest;
    std::atomic<int64_t> seekTarget;
    // The frame to show: written by the window thread, read by both.
    std::atomic<int64_t> currentFrame;
    // How many window-thread waits are asleep or about to sleep on `news`;
    // the thread wakes them only when there are any.
    std::atomic<uint32_t> waiters;
    uint8_t windowWrittenGap[kTheoraLineGap];

    // Written by the thread.
    std::atomic<int32_t> status;
    // Written by the thread: the file ran out where frames were expected.
    std::atomic<int32_t> endFlag;
    // Counts what the window thread may wait for: a published slot, a seek
    // served, the end flag, the thread's exit. The waiter sleeps on it.
    std::atomic<uint32_t> news;
    uint8_t threadWrittenGap[kTheoraLineGap];

    // Set while opening, then only read.
    HANDLE thread;
    DWORD threadId;

    FileOps fileOps;
    FileHandle file;

    theora_info info;
    theora_comment comment;

    int32_t serial;
    int32_t headerCount;

    TheoraPageIndexEntry* index;
    int32_t indexCount;
    int32_t indexCapacity;
    uint8_t* keyFlags;
    int64_t keyFlagCapacity;
    int64_t frameCount;

    TheoraFrameSlot* stock;
    int32_t stockSize;
    uint8_t readOnlyGap[kTheoraLineGap];

    // The thread's own once it runs.
    ogg_sync_state sync;
    ogg_page page;
    ogg_stream_state stream;
    ogg_packet packet;
    bool streamReady;  // the stream state was set up and needs clearing

    theora_state state;
    bool stateReady;  // theora_decode_init succeeded

    // The frame the decoder produced last (-1 before any).
    int64_t decodedFrame;

    // The slot the frame being stocked goes to (null outside a stocking
    // decode); the slot its last packet's stripes are copied into as the
    // decoder finishes them, and the topmost row copied so far (kStripeNone
    // before the first stripe, kStripeFailed when the copy gave up); the
    // frame the stripes completed (-1 when none did) and the slot that holds
    // it.
    TheoraFrameSlot* stripeTarget;
    TheoraFrameSlot* stripeSlot;
    int32_t stripeTop;
    int64_t stripeFrame;
    TheoraFrameSlot* stripeFilled;
    uint8_t decoderOwnGap[kTheoraLineGap];

    // The window thread's own.
    BASEIMAGE rgbImage;
    IDirect3DSurface9* yuvSurface;
    D3DFORMAT yuvFourCc;
    int32_t rgbValid;
    int32_t surfaceValid;
};

constexpr int32_t kStripeNone = 0x7FFFFFFF;
constexpr int32_t kStripeFailed = -1;

// Asks the decoder to hand each finished stripe of a frame to the thread's
// stripe copy; a decoder that cannot leaves every copy to the whole-frame
// path.
void TheoraEnableStripeCopy(TheoraDecoder* decoder);
// Around one packet's decode: arms the stripe copy into `slot`, and after
// the decode notes `frame` as copied when the stripes covered it whole.
void TheoraArmStripeCopy(TheoraDecoder* decoder, TheoraFrameSlot* slot);
void TheoraEndStripeCopy(TheoraDecoder* decoder, int64_t frame);
// Puts the frame decoded last into the slot, from its stripes or whole from
// the decoder's picture, and publishes it. False when the decoder has no
// picture to give or the slot no memory.
bool TheoraStockDecodedFrame(TheoraDecoder* decoder, TheoraFrameSlot& slot);
// Reads up to n more bytes of the file into the sync state; the bytes read.
uint32_t TheoraReadMore(TheoraDecoder* decoder, uint32_t n);
// Produces n more frames (frames before the last key frame among them are
// consumed without decoding): 1 when the last was a key frame, 0 when not,
// -1 when the file ended first.
int TheoraDecodeFrames(TheoraDecoder* decoder, int64_t n);
DWORD TheoraDecodeThread(LPVOID parameter);
// Counts news for the window thread, waking it when it waits.
void TheoraAnnounce(TheoraDecoder* decoder);
// The window thread's sleep until the news count differs from `seen`.
void TheoraAwaitNews(TheoraDecoder* decoder, uint32_t seen);
// (Re)creates the device surface when Direct3D is in use.
void TheoraCreateYuvSurface(TheoraDecoder* decoder);
void TheoraReleaseYuvSurface(TheoraDecoder* decoder);

}  // namespace tessel
