// The refill of a stream sound's ring: how much to write and where, reading
// the sources into the locked range, going on to the next play of a source
// or the next source, and the silence after the end until the play cursor
// has heard it all.
//
// Routes: RefillStreamSound -> RefillPlaying (the first fill, then top-ups
// while the play cursor is past the threshold) or RefillEnding (silence, then
// the stop); both -> FillFromSources / FillSilence through a RingWriter ->
// FinishPass (the write cursor and the next threshold).
#include <algorithm>
#include <cstring>

#include "sound/buffers/sound_buffer.h"
#include "sound/decoders/pcm_decoder.h"
#include "sound/sound_system_internal.h"
#include "sound/streams/stream_internal.h"
#include "sound/streams/stream_sound.h"

namespace tessel {
namespace {

constexpr int32_t kNothingWritten = -800;

// The locked range of the ring, in its one or two parts, and how much of it
// has been written.
struct RingWriter {
    uint8_t* part[2];
    DWORD size[2];
    DWORD done;
    int32_t start;
    int32_t ring;

    DWORD Remaining() const { return size[0] + size[1] - done; }
    int32_t Position() const { return static_cast<int32_t>((start + done) % ring); }
    // The contiguous room at the write position.
    uint8_t* Span(DWORD* room) const {
        if (done < size[0]) {
            *room = size[0] - done;
            return part[0] + done;
        }
        *room = size[1] - (done - size[0]);
        return part[1] + (done - size[0]);
    }
};

// The stretch from the threshold forward to the write cursor, through the
// ring's end when the write cursor lies below the threshold.
bool InStretch(int32_t play, int32_t threshold, int32_t write) {
    if (threshold <= write)
        return play >= threshold && play <= write;
    return play >= threshold || play <= write;
}

// How much to write when the play cursor is at `play`: an eighth of a second
// while three eighths or more are buffered, else up to three eighths.
int32_t TopUpBytes(const StreamUnits& u, int32_t play, int32_t threshold, int32_t write) {
    int64_t w = write;
    int64_t p = play;
    if (write < threshold) {
        if (play <= write)
            p += u.ring;
        w += u.ring;
    }
    const int64_t ahead = (w - p) * 512 / u.perSecond;
    if (ahead >= 192)
        return StepBytes(u);
    return RoundDownToBlock((192 - ahead) * u.perSecond / 512, u.block);
}

// Unsigned 8-bit samples rest at their midpoint; 16-bit ones at 0.
void FillSilence(const SoundRecord* record, RingWriter* writer, int32_t bytes) {
    const int value = record->format.wBitsPerSample == 8 ? 0x80 : 0;
    DWORD left = std::min<DWORD>(static_cast<DWORD>(bytes), writer->Remaining());
    while (left > 0) {
        DWORD room = 0;
        uint8_t* at = writer->Span(&room);
        const DWORD take = std::min(room, left);
        std::memset(at, value, take);
        writer->done += take;
        left -= take;
    }
}

void QueueLoopWrap(SoundRecord* record, int32_t writePosition, int64_t loopStartBytes) {
    int slot;
    if (record->wrapCount < kLoopWrapSlots) {
        slot = (record->wrapFirst + record->wrapCount) % kLoopWrapSlots;
        ++record->wrapCount;
    } else {
        slot = (record->wrapFirst + kLoopWrapSlots - 1) % kLoopWrapSlots;
    }
    record->wraps[slot].writePosition = writePosition;
    record->wraps[slot].loopStartBytes = static_cast<int32_t>(loopStartBytes);
}

// The current source has nothing more: its next play, the next source, or
// the end (silence follows, and -1 says the data is over).
int AdvanceStreamSource(SoundRecord* record, RingWriter* writer, int32_t play) {
    StreamSoundSource& source = record->sources[record->currentSource];
    ++record->sourcePlays;
    if (source.loopCount == 255 && record->playType == 3) {
        record->sourcePosition = source.loopStartBytes;
        QueueLoopWrap(record, writer->Position(), source.loopStartBytes);
        SeekCurrentSource(record);
        return 0;
    }
    record->sourcePosition = 0;
    if (record->sourcePlays <= static_cast<int8_t>(source.loopCount)) {
        SeekCurrentSource(record);
        return 0;
    }
    record->sourcePlays = 0;
    if (record->currentSource + 1 < record->sourceCount) {
        ++record->currentSource;
        SeekCurrentSource(record);
        return 0;
    }
    record->lastSourceReached = 1;
    if (record->playType == 3) {
        record->currentSource = 0;
        QueueLoopWrap(record, writer->Position(), 0);
        SeekCurrentSource(record);
        return 0;
    }
    record->ending = 1;
    record->endPosition = writer->Position();
    record->endPlayCursor = play;
    FillSilence(record, writer, StepBytes(UnitsOf(record)));
    return -1;
}

// Reads the sources straight into the locked range until it is full or the
// data is over. A loop shorter than the range is written again and again,
// each wrap queued for the position, so the ring never runs dry on it.
void FillFromSources(SoundRecord* record, RingWriter* writer, int32_t play) {
    int emptyTurns = 0;
    while (writer->Remaining() > 0 && record->ending == 0) {
        auto* decoder = static_cast<PcmDecoder*>(record->sources[record->currentSource].decoder);
        if (decoder == nullptr)
            return;
        DWORD room = 0;
        uint8_t* at = writer->Span(&room);
        const int32_t got = ReadDecoder(decoder, at, room);
        if (got > 0) {
            writer->done += static_cast<DWORD>(got);
            record->sourcePosition += got;
            emptyTurns = 0;
            continue;
        }
        // Every source came round empty: nothing to play anywhere.
        if (++emptyTurns > record->sourceCount + 1)
            return;
        if (AdvanceStreamSource(record, writer, play) != 0)
            return;
    }
}

// Locks `bytes` at `offset`, writes them through `fill`, unlocks; the bytes
// written, or -1 when the ring cannot be locked.
template <class Fill>
int32_t WriteRing(SoundBuffer* ring, const StreamUnits& u, int32_t offset, int32_t bytes,
                  Fill fill) {
    RingWriter writer = {};
    void* part1 = nullptr;
    void* part2 = nullptr;
    DWORD size1 = 0;
    DWORD size2 = 0;
    if (SoundBufferLock(static_cast<DWORD>(offset), static_cast<DWORD>(bytes), ring, &part1, &size1,
                        &part2, &size2) != 0)
        return -1;
    writer.part[0] = static_cast<uint8_t*>(part1);
    writer.part[1] = static_cast<uint8_t*>(part2);
    writer.size[0] = size1;
    writer.size[1] = part2 != nullptr ? size2 : 0;
    writer.start = offset;
    writer.ring = u.ring;
    fill(&writer);
    SoundBufferUnlock(ring, part1, size1, part2, size2);
    return static_cast<int32_t>(writer.done);
}

// The write cursor moves on past what was written; the next top-up is due
// once the play cursor is within three quarters of a second of it.
void FinishPass(SoundRecord* record, const StreamUnits& u, int64_t write) {
    if (write >= u.ring)
        write -= u.ring;
    record->writeCursor = static_cast<int32_t>(write);
    const int64_t threeQuarters = int64_t{u.perSecond} * 192 / 256;
    const auto lead = static_cast<int32_t>((threeQuarters + u.block - 1) / u.block * u.block);
    int32_t threshold = record->writeCursor - lead;
    if (threshold < 0)
        threshold += u.ring;
    record->refillThreshold = threshold;
}

int32_t PlayCursor(SoundBuffer* ring) {
    DWORD play = 0;
    SoundBufferPlayCursor(ring, &play);
    return static_cast<int32_t>(play);
}

bool RingPlays(SoundBuffer* ring) {
    DWORD status = 0;
    return SoundBufferStatus(ring, &status) == 0 && (status & DSBSTATUS_PLAYING) != 0;
}

int RefillPlaying(SoundRecord* record, SoundBuffer* ring, const StreamUnits& u) {
    const int32_t play = PlayCursor(ring);
    int32_t offset;
    int32_t amount;
    if (RingPlays(ring)) {
        if (record->writeCursor == kNothingWritten ||
            !InStretch(play, record->refillThreshold, record->writeCursor))
            return -1;
        offset = record->writeCursor;
        amount = TopUpBytes(u, play, record->refillThreshold, record->writeCursor);
    } else {
        if (record->writeCursor != kNothingWritten)
            return 0;
        offset = 0;
        amount = FirstFillBytes(u);
    }
    if (amount <= 0)
        return -1;
    const int32_t written = WriteRing(ring, u, offset, amount, [&](RingWriter* writer) {
        FillFromSources(record, writer, play);
    });
    if (written < 0)
        return 0;
    FinishPass(record, u, int64_t{offset} + written);
    return 0;
}

// The cursor has heard the end when it lies beyond it, coming from before it
// or round the ring's end.
bool PassedEnd(int32_t play, int32_t end, int32_t playAtEnd) {
    return play > end && (playAtEnd <= end || playAtEnd > play);
}

int RefillEnding(SoundRecord* record, SoundBuffer* ring, const StreamUnits& u) {
    const int32_t play = PlayCursor(ring);
    if (PassedEnd(play, record->endPosition, record->endPlayCursor)) {
        SoundBufferStop(ring);
        // The ring starts again from 0, so the position heard reads 0 too.
        SoundBufferSetPosition(ring, 0);
        ResetStreamCounters(record);
        record->playing = 0;
        return 0;
    }
    if (!InStretch(play, record->refillThreshold, record->writeCursor))
        return -1;
    const int32_t written =
        WriteRing(ring, u, record->writeCursor, StepBytes(u),
                  [&](RingWriter* writer) { FillSilence(record, writer, StepBytes(u)); });
    if (written < 0)
        return 0;
    FinishPass(record, u, int64_t{record->writeCursor} + written);
    return 0;
}

int RefillLocked(int handle) {
    SoundRecord* record = StreamRecordFromHandle(handle);
    SoundBuffer* ring = nullptr;
    if (record == nullptr || record->playing == 0 ||
        ClaimSharedStreamBuffer(handle, record, &ring, 0) != 0)
        return 0;
    TrackStreamPosition(handle, record, -1);
    const StreamUnits u = UnitsOf(record);
    if (record->ending != 0)
        return RefillEnding(record, ring, u);
    return RefillPlaying(record, ring, u);
}

}  // namespace

int RefillStreamSound(int handle) {
    LockSound();
    const int result = RefillLocked(handle);
    UnlockSound();
    return result;
}

}  // namespace tessel
