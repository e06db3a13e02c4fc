// Opening and closing a Theora movie: the Ogg check, the three header
// packets, the page index with its key-frame flags, the frame stock and the
// thread; and the movie's information.
//
// Routes: TheoraOpen -> ReadHeaders -> start the thread (paused) ->
// BuildPageIndex -> the RGB image, the YUV surface and the stock ->
// TheoraSeek to frame 0 and the first conversion. Every failure after the
// record exists ends in TheoraClose.
#include <cstring>
#include <new>

#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "movie/theora_internal.h"
#include "platform/kernel.h"

namespace tessel {

namespace {

// "Theora ..." failure lines.
constexpr char kNoDecoderMemory[] = "Theora ムービーデコード処理用のメモリ確保に失敗しました\n";
constexpr char kNoThread[] = "Theora ムービーデコード用スレッドの作成に失敗しました\n";
constexpr char kNoIndexMemory[] = "Theora ページ情報格納用メモリの確保に失敗しました\n";
constexpr char kNoKeyFlagMemory[] = "Theora キーフレーム情報格納用メモリの確保に失敗しました\n";
constexpr char kNoImageMemory[] =
    "Theora ムービーデコードフレームストック用画像バッファの確保に失敗しました\n";
constexpr char kNoStockMemory[] =
    "Theora ムービーデコードフレームストック用のメモリ確保に失敗しました\n";
constexpr char kBadFrameSize[] = "Theora ムービーのフレームサイズが扱えない大きさです\n";
constexpr char kNoDecoderInit[] = "Theora デコーダの初期化に失敗しました\n";
constexpr char kNoFrames[] = "Theora ムービーにフレームがありません\n";

// The next page of the sync state, reading more of the file as needed;
// false at the end of the file.
bool NextPage(TheoraDecoder* d) {
    while (ogg_sync_pageout(&d->sync, &d->page) != 1) {
        if (TheoraReadMore(d, kTheoraReadBlock) == 0) {
            return false;
        }
    }
    return true;
}

// The first pages: finds the beginning-of-stream page whose first packet is
// a Theora identification header. Header count 1 when found.
void IdentifyStream(TheoraDecoder* d) {
    if (TheoraReadMore(d, kTheoraReadBlock) == 0) {
        return;
    }
    while (true) {
        if (ogg_sync_pageout(&d->sync, &d->page) != 1) {
            if (TheoraReadMore(d, kTheoraReadBlock) == 0) {
                return;
            }
            continue;
        }
        if (ogg_page_bos(&d->page) == 0) {
            // The first page after the headers' pages; the stream (if any) takes it.
            if (d->headerCount > 0) {
                ogg_stream_pagein(&d->stream, &d->page);
            }
            return;
        }
        ogg_stream_state test;
        ogg_stream_init(&test, ogg_page_serialno(&d->page));
        ogg_stream_pagein(&test, &d->page);
        ogg_packet packet;
        if (d->headerCount == 0 && ogg_stream_packetout(&test, &packet) == 1 &&
            theora_decode_header(&d->info, &d->comment, &packet) == 0) {
            std::memcpy(&d->stream, &test, sizeof(test));
            d->streamReady = true;
            d->serial = ogg_page_serialno(&d->page);
            d->headerCount = 1;
            return;
        }
        ogg_stream_clear(&test);
    }
}

// 1 when all three headers are in, -1 otherwise.
int ReadHeaders(TheoraDecoder* d) {
    IdentifyStream(d);
    if (d->headerCount == 0) {
        return -1;
    }
    while (d->headerCount < 3) {
        const int got = ogg_stream_packetout(&d->stream, &d->packet);
        if (got < 0) {
            return -1;
        }
        if (got > 0) {
            if (theora_decode_header(&d->info, &d->comment, &d->packet) != 0) {
                return -1;
            }
            ++d->headerCount;
            continue;
        }
        if (!NextPage(d)) {
            return -1;
        }
        ogg_stream_pagein(&d->stream, &d->page);
    }
    return 1;
}

// Appends an index entry for the page at `offset`; false when the index
// could not grow.
bool AppendIndexEntry(TheoraDecoder* d, uint32_t offset) {
    if (d->indexCount == d->indexCapacity) {
        const int32_t capacity = d->indexCapacity + kTheoraIndexStep;
        void* grown = ReallocTracked(
            d->index, static_cast<uint32_t>(capacity) * sizeof(TheoraPageIndexEntry), "", 0);
        if (grown == nullptr) {
            return false;
        }
        d->index = static_cast<TheoraPageIndexEntry*>(grown);
        d->indexCapacity = capacity;
    }
    d->index[d->indexCount++] = {offset, d->frameCount, 0, 0};
    return true;
}

bool GrowKeyFlags(TheoraDecoder* d) {
    const int64_t capacity = d->keyFlagCapacity + kTheoraIndexStep;
    if (capacity > UINT32_MAX) {
        return false;
    }
    void* grown = ReallocTracked(d->keyFlags, static_cast<uint32_t>(capacity), "", 0);
    if (grown == nullptr) {
        return false;
    }
    d->keyFlags = static_cast<uint8_t*>(grown);
    d->keyFlagCapacity = capacity;
    return true;
}

// Counts the frames of the whole file page by page; 0 or a log line's -1.
int BuildPageIndex(TheoraDecoder* d) {
    d->index = static_cast<TheoraPageIndexEntry*>(
        AllocTracked(kTheoraIndexStep * sizeof(TheoraPageIndexEntry), "", 0));
    if (d->index == nullptr) {
        return WriteLog(kNoIndexMemory);
    }
    d->indexCapacity = kTheoraIndexStep;
    d->keyFlags = static_cast<uint8_t*>(AllocTracked(kTheoraIndexStep, "", 0));
    if (d->keyFlags == nullptr) {
        return WriteLog(kNoKeyFlagMemory);
    }
    d->keyFlagCapacity = kTheoraIndexStep;
    d->frameCount = 0;

    uint64_t nextPageOffset = 0;
    uint32_t lastPageOffset = 0;
    bool newPage = false;
    while (true) {
        const int got = ogg_stream_packetout(&d->stream, &d->packet);
        if (got == 0) {
            if (!NextPage(d)) {
                return 0;
            }
            lastPageOffset = static_cast<uint32_t>(nextPageOffset);
            nextPageOffset += static_cast<uint64_t>(d->page.header_len) + d->page.body_len;
            newPage = true;
            ogg_stream_pagein(&d->stream, &d->page);
            continue;
        }
        if (got < 0 || theora_packet_iskeyframe(&d->packet) < 0) {
            continue;
        }
        if (newPage) {
            newPage = false;
            if (!AppendIndexEntry(d, lastPageOffset)) {
                return WriteLog(kNoIndexMemory);
            }
        }
        if (d->frameCount == d->keyFlagCapacity && !GrowKeyFlags(d)) {
            return WriteLog(kNoKeyFlagMemory);
        }
        const bool key = theora_packet_iskeyframe(&d->packet) == 1;
        d->keyFlags[d->frameCount] = key ? 1 : 0;
        TheoraPageIndexEntry& last = d->index[d->indexCount - 1];
        if (key) {
            last.keyFrame = 1;
        }
        ++d->frameCount;
        ++last.frameCount;
    }
}

bool FrameSizeUsable(const theora_info& info) {
    return info.width > 0 && info.height > 0 && info.width <= kTheoraMaxFrameSide &&
           info.height <= kTheoraMaxFrameSide;
}

// The decoder's stock of frames, each slot empty.
int CreateStock(TheoraDecoder* d, int stockSize) {
    const uint32_t bytes = static_cast<uint32_t>(stockSize) * sizeof(TheoraFrameSlot);
    void* block = AllocTrackedZeroed(bytes, "", 0);
    if (block == nullptr) {
        return WriteLog(kNoStockMemory);
    }
    d->stock = static_cast<TheoraFrameSlot*>(block);
    for (int i = 0; i < stockSize; ++i) {
        new (&d->stock[i]) TheoraFrameSlot{};
    }
    d->stockSize = stockSize;
    return 0;
}

TheoraDecoder* NewDecoder(const FileOps* fileOps, FileHandle file) {
    void* block = AllocTrackedZeroed(sizeof(TheoraDecoder), "", 0);
    if (block == nullptr) {
        WriteLog(kNoDecoderMemory);
        return nullptr;
    }
    TheoraDecoder* d = new (block) TheoraDecoder{};
    d->headerCount = 0;
    d->currentFrame.store(-1, std::memory_order_relaxed);
    d->decodedFrame = -1;
    d->stripeFrame = -1;
    ogg_sync_init(&d->sync);
    theora_info_init(&d->info);
    theora_comment_init(&d->comment);
    d->fileOps = *fileOps;
    d->file = file;
    return d;
}

// Everything after the headers; 0, or -1 once the cause is logged.
int FinishOpen(TheoraDecoder* d, int stockSize) {
    if (!FrameSizeUsable(d->info)) {
        return WriteLog(kBadFrameSize);
    }
    d->pauseRequest.store(1, std::memory_order_release);
    d->status.store(kTheoraIdle, std::memory_order_release);
    d->thread = CreateThread(nullptr, 0, TheoraDecodeThread, d, 0, &d->threadId);
    if (d->thread == nullptr) {
        return WriteLog(kNoThread);
    }
    if (theora_decode_init(&d->state, &d->info) != 0) {
        return WriteLog(kNoDecoderInit);
    }
    d->stateReady = true;
    TheoraEnableStripeCopy(d);
    ogg_sync_reset(&d->sync);
    ogg_stream_reset(&d->stream);
    d->fileOps.seek(d->file, 0, 0);
    if (BuildPageIndex(d) != 0) {
        return -1;
    }
    if (d->frameCount == 0) {
        return WriteLog(kNoFrames);
    }
    d->index[0].offset = 0;
    TheoraCreateYuvSurface(d);
    if (CreateXrgbImageBuffer(static_cast<int>(d->info.width), static_cast<int>(d->info.height),
                              &d->rgbImage) != 0) {
        return WriteLog(kNoImageMemory);
    }
    return CreateStock(d, stockSize);
}

void FreeSlotPlanes(TheoraFrameSlot& slot) {
    FreeTracked(slot.y);
    FreeTracked(slot.u);
    FreeTracked(slot.v);
    slot.y = slot.u = slot.v = nullptr;
}

void StopThread(TheoraDecoder* d) {
    if (d->thread == nullptr) {
        return;
    }
    d->exitRequest.store(1, std::memory_order_release);
    while (d->status.load(std::memory_order_acquire) != kTheoraExited) {
        Sleep(1);
    }
    // The thread may still be on its way out; the record outlives it.
    WaitForSingleObject(d->thread, INFINITE);
    CloseHandle(d->thread);
    d->thread = nullptr;
}

}  // namespace

uint32_t TheoraReadMore(TheoraDecoder* decoder, uint32_t n) {
    char* buffer = ogg_sync_buffer(&decoder->sync, static_cast<long>(n));
    if (buffer == nullptr) {
        return 0;
    }
    const uint32_t got = decoder->fileOps.read(buffer, 1, n, decoder->file);
    ogg_sync_wrote(&decoder->sync, static_cast<long>(got));
    return got;
}

TheoraDecoder* TheoraOpen(const FileOps* fileOps, FileHandle file, int stockSize) {
    char magic[4] = {};
    if (fileOps == nullptr || fileOps->read(magic, 1, 4, file) != 4 ||
        std::memcmp(magic, "OggS", 4) != 0) {
        return nullptr;
    }
    fileOps->seek(file, 0, 0);
    TheoraDecoder* d = NewDecoder(fileOps, file);
    if (d == nullptr) {
        return nullptr;
    }
    if (ReadHeaders(d) != 1) {
        TheoraClose(d);
        return nullptr;
    }
    if (stockSize < 1 || FinishOpen(d, stockSize) != 0) {
        TheoraClose(d);
        return nullptr;
    }
    TheoraSeek(d, 0);
    TheoraUpdateImage(d, 1, 1);
    return d;
}

void TheoraClose(TheoraDecoder* decoder) {
    if (decoder == nullptr) {
        return;
    }
    StopThread(decoder);
    if (decoder->stock != nullptr) {
        for (int i = 0; i < decoder->stockSize; ++i) {
            FreeSlotPlanes(decoder->stock[i]);
        }
        FreeTracked(decoder->stock);
    }
    TheoraReleaseYuvSurface(decoder);
    FreeTracked(decoder->index);
    FreeTracked(decoder->keyFlags);
    ReleaseImageBuffer(&decoder->rgbImage);
    if (decoder->streamReady) {
        ogg_stream_clear(&decoder->stream);
    }
    if (decoder->stateReady) {
        theora_clear(&decoder->state);
    }
    theora_comment_clear(&decoder->comment);
    theora_info_clear(&decoder->info);
    ogg_sync_clear(&decoder->sync);
    decoder->~TheoraDecoder();
    FreeTracked(decoder);
}

int TheoraQueryInfo(const TheoraDecoder* decoder, TheoraMovieInfo* info) {
    info->framesPerSecond = static_cast<double>(decoder->info.fps_numerator) /
                            static_cast<double>(decoder->info.fps_denominator);
    info->frameCount = static_cast<int32_t>(static_cast<uint32_t>(decoder->frameCount));
    info->width = static_cast<int32_t>(decoder->info.width);
    info->height = static_cast<int32_t>(decoder->info.height);
    return 0;
}

}  // namespace tessel
