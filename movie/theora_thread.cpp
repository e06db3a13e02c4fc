// The decode thread: it answers exit, pause and seek requests, and keeps the
// frame stock filled with the frames from the one to show onwards, rewinding
// the file at the end of the movie.
//
// Routes: TheoraDecodeThread -> SeekTo (a posted seek) or KeepStock ->
// TheoraDecodeFrames (stripes copied into the slot, theora_slot_copy.cpp) ->
// TheoraStockDecodedFrame. Each stock slot's frame number is
// always the frame whose picture it holds: decoding counts every frame packet
// from the last one produced, and a rewind starts the count before frame 0.
#include <algorithm>

#include "movie/theora_internal.h"
#include "platform/kernel.h"

namespace tessel {

namespace {

// Once the thread runs it is the status word's writer: a round that keeps
// the status leaves the window thread's copy of its cache line alone.
void SetStatus(TheoraDecoder* d, int32_t status) {
    if (d->status.load(std::memory_order_relaxed) != status) {
        d->status.store(status, std::memory_order_release);
    }
}

int64_t Wrap(int64_t value, int64_t n) {
    const int64_t r = value % n;
    return r < 0 ? r + n : r;
}

// Starts reading at the page of index entry i. The number of the frame
// before the first packet that will come out.
int64_t RestartAtEntry(TheoraDecoder* d, int32_t i) {
    ogg_sync_reset(&d->sync);
    ogg_stream_reset(&d->stream);
    const TheoraPageIndexEntry& entry = d->index[i];
    d->fileOps.seek(d->file, static_cast<int32_t>(entry.offset), 0);
    d->stripeFrame = -1;
    int64_t before = entry.firstFrame - 1;
    if (i == 0) {
        return before;
    }
    while (ogg_sync_pageout(&d->sync, &d->page) != 1) {
        if (TheoraReadMore(d, kTheoraReadBlock) == 0) {
            return before;
        }
    }
    // The packet that ends on a continued page lost its start: libogg drops
    // it, and it was the entry's first frame.
    if (ogg_page_continued(&d->page) != 0) {
        ++before;
    }
    ogg_stream_pagein(&d->stream, &d->page);
    return before;
}

// The index entry to start from so that the decoder reaches frame t through
// a key frame: the first entry holding t, then back past entries without a
// key frame, then one more for the start of the key frame's packet.
int32_t EntryBefore(const TheoraDecoder* d, int64_t t) {
    int32_t i = 0;
    while (i < d->indexCount && d->index[i].firstFrame + d->index[i].frameCount <= t) {
        ++i;
    }
    if (i == d->indexCount) {
        return -1;
    }
    if (i > 0) {
        --i;
        while (i > 0 && d->index[i].keyFrame == 0) {
            --i;
        }
        if (i > 0) {
            --i;
        }
    }
    return i;
}

void ClearStock(TheoraDecoder* d) {
    for (int i = 0; i < d->stockSize; ++i) {
        d->stock[i].used.store(0, std::memory_order_relaxed);
    }
}

// Serves a posted seek; false when the movie has no frame to seek to.
bool SeekTo(TheoraDecoder* d) {
    const int64_t target = d->seekTarget.load(std::memory_order_acquire);
    const int32_t entry = EntryBefore(d, target);
    if (entry < 0) {
        return false;
    }
    d->decodedFrame = RestartAtEntry(d, entry);
    int result = 0;
    if (target > d->decodedFrame) {
        result = TheoraDecodeFrames(d, target - d->decodedFrame);
    }
    ClearStock(d);
    d->endFlag.store(result < 0 ? 1 : 0, std::memory_order_release);
    d->seekRequest.store(0, std::memory_order_release);
    TheoraAnnounce(d);
    return true;
}

int FindSlot(const TheoraDecoder* d, int64_t frame) {
    for (int i = 0; i < d->stockSize; ++i) {
        const TheoraFrameSlot& slot = d->stock[i];
        if (slot.used.load(std::memory_order_relaxed) != 0 &&
            slot.frame.load(std::memory_order_relaxed) == frame) {
            return i;
        }
    }
    return -1;
}

int FreeSlot(const TheoraDecoder* d) {
    for (int i = 0; i < d->stockSize; ++i) {
        if (d->stock[i].used.load(std::memory_order_relaxed) == 0) {
            return i;
        }
    }
    return -1;
}

// Produces frame `target` from the last decoded one, rewinding the file when
// the movie's end lies between them. False when the file ran out.
bool DecodeUpTo(TheoraDecoder* d, int64_t target) {
    if (target <= d->decodedFrame) {
        d->decodedFrame = RestartAtEntry(d, 0);
    }
    return TheoraDecodeFrames(d, target - d->decodedFrame) >= 0;
}

// The frame the stock should get next, or -1 when it holds all it should:
// the frame to show, else the first missing frame of the window after the
// frame decoded last (frames that are in the stock are decoded past).
int64_t NextWantedFrame(const TheoraDecoder* d, int64_t c) {
    if (FindSlot(d, c) < 0) {
        return c;
    }
    const int64_t n = d->frameCount;
    const int64_t window = std::min<int64_t>(d->stockSize, n);
    const int64_t lastAhead = d->decodedFrame < 0 ? window : Wrap(d->decodedFrame - c, n);
    for (int64_t ahead = lastAhead < window ? lastAhead + 1 : 1; ahead < window; ++ahead) {
        const int64_t frame = Wrap(c + ahead, n);
        if (FindSlot(d, frame) < 0) {
            return frame;
        }
    }
    return -1;
}

// One round of keeping the stock: frees the slots outside the window of
// stockSize frames from the frame to show, then decodes one frame more.
// False when nothing was to do.
bool KeepStock(TheoraDecoder* d) {
    const int64_t c = d->currentFrame.load(std::memory_order_acquire);
    const int64_t n = d->frameCount;
    if (c < 0) {
        return false;
    }
    if (d->endFlag.load(std::memory_order_relaxed) == 0) {
        for (int i = 0; i < d->stockSize; ++i) {
            TheoraFrameSlot& slot = d->stock[i];
            if (slot.used.load(std::memory_order_relaxed) != 0 &&
                Wrap(slot.frame.load(std::memory_order_relaxed) - c, n) >= d->stockSize) {
                slot.used.store(0, std::memory_order_relaxed);
            }
        }
    }
    const int free = FreeSlot(d);
    if (free < 0) {
        SetStatus(d, kTheoraIdle);
        return false;
    }
    const int64_t last = d->decodedFrame;
    const bool lastWanted = last >= 0 && FindSlot(d, last) < 0 && Wrap(last - c, n) < d->stockSize;
    if (!lastWanted) {
        const int64_t wanted = NextWantedFrame(d, c);
        if (wanted < 0) {
            SetStatus(d, kTheoraIdle);
            return false;
        }
        SetStatus(d, kTheoraWorking);
        d->stripeTarget = &d->stock[free];
        const bool decoded = DecodeUpTo(d, wanted);
        d->stripeTarget = nullptr;
        if (!decoded) {
            d->endFlag.store(1, std::memory_order_release);
            TheoraAnnounce(d);
            return false;
        }
    }
    SetStatus(d, kTheoraWorking);
    if (!TheoraStockDecodedFrame(d, d->stock[free])) {
        // This frame cannot come: the window thread stops waiting for it.
        d->endFlag.store(1, std::memory_order_release);
        TheoraAnnounce(d);
        return false;
    }
    return true;
}

// The next packet of the Theora stream; false when the file has ended.
bool NextPacket(TheoraDecoder* d) {
    while (true) {
        const int got = ogg_stream_packetout(&d->stream, &d->packet);
        if (got > 0) {
            return true;
        }
        if (got < 0) {
            continue;  // a gap in the stream; the next packet follows it
        }
        if (ogg_sync_pageout(&d->sync, &d->page) == 1) {
            ogg_stream_pagein(&d->stream, &d->page);
            continue;
        }
        if (d->fileOps.eof(d->file) != 0 || TheoraReadMore(d, kTheoraReadBlock) == 0) {
            return false;
        }
    }
}

}  // namespace

int TheoraDecodeFrames(TheoraDecoder* decoder, int64_t n) {
    TheoraDecoder* d = decoder;
    // The last key frame among the frames to produce: the ones before it
    // need no decoding.
    int64_t key = -1;
    for (int64_t f = d->decodedFrame + 1; f <= d->decodedFrame + n && f < d->frameCount; ++f) {
        if (f >= 0 && d->keyFlags[f] != 0) {
            key = f;
        }
    }
    int lastKey = 0;
    for (int64_t i = 0; i < n; ++i) {
        int kind = -1;
        while (kind < 0) {
            if (!NextPacket(d)) {
                return -1;
            }
            kind = theora_packet_iskeyframe(&d->packet);
        }
        const int64_t frame = d->decodedFrame + 1;
        if (key < 0 || key <= frame) {
            // Only the last frame is stocked: its stripes go to the slot.
            TheoraArmStripeCopy(d, i == n - 1 ? d->stripeTarget : nullptr);
            theora_decode_packetin(&d->state, &d->packet);
            TheoraEndStripeCopy(d, frame);
        } else {
            d->stripeFrame = -1;
        }
        d->decodedFrame = frame;
        lastKey = kind == 1 ? 1 : 0;
    }
    return lastKey;
}

void TheoraAnnounce(TheoraDecoder* decoder) {
    // Sequentially consistent with the waiter's count and its second look at
    // `news` (TheoraAwaitNews): either the waiter sees this count, or this
    // sees the waiter and wakes it. Nobody waiting costs no system call.
    decoder->news.fetch_add(1, std::memory_order_seq_cst);
    if (decoder->waiters.load(std::memory_order_seq_cst) != 0) {
        decoder->news.notify_all();
    }
}

void TheoraAwaitNews(TheoraDecoder* decoder, uint32_t seen) {
    decoder->waiters.fetch_add(1, std::memory_order_seq_cst);
    if (decoder->news.load(std::memory_order_seq_cst) == seen) {
        decoder->news.wait(seen, std::memory_order_acquire);
    }
    decoder->waiters.fetch_sub(1, std::memory_order_relaxed);
}

DWORD TheoraDecodeThread(LPVOID parameter) {
    TheoraDecoder* d = static_cast<TheoraDecoder*>(parameter);
    while (true) {
        if (d->exitRequest.load(std::memory_order_acquire) == 1) {
            SetStatus(d, kTheoraExited);
            TheoraAnnounce(d);
            return 0;
        }
        if (d->pauseRequest.load(std::memory_order_acquire) == 1) {
            SetStatus(d, kTheoraPaused);
            Sleep(1);
            continue;
        }
        if (d->seekRequest.load(std::memory_order_acquire) == 1) {
            SetStatus(d, kTheoraSeeking);
            if (!SeekTo(d)) {
                SetStatus(d, kTheoraExited);
                TheoraAnnounce(d);
                return 0;
            }
            continue;
        }
        // A round that stocked a frame goes straight on (giving up the time
        // slice there costs whole slices on a busy machine); a full stock
        // waits a millisecond rather than spinning on the processor.
        if (!KeepStock(d)) {
            Sleep(1);
        }
    }
}

}  // namespace tessel
