// Reading one file of an archive as a stream: stored data straight from the
// archive (in memory or through its file), compressed data decoded whole at
// open.
#include <cstring>

#include "foundation/files/archive.h"
#include "foundation/files/archive_internal.h"
#include "foundation/files/lz.h"
#include "foundation/files/streams.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "platform/kernel.h"

namespace tessel {

using namespace archive_detail;

namespace {

enum : int32_t { kNothingPending = 0, kCompressedLoadPending = 1, kPlainReadPending = 2 };

// The largest file a compressed entry can hold: the block decoder reports
// sizes as int, so a larger claim could only be mistaken for its -1.
constexpr uint32_t kLargestDecodedFile = 0x7FFFFFFF;

// Decodes a whole compressed file into the stream's decoded buffer. On
// damage the stream is left empty, so reads give nothing.
int DecodeInto(ArchiveStream* stream, const uint8_t* source, uint32_t storedSize) {
    const int decoded = LzExpand(source, storedSize, stream->decoded, stream->size);
    if (decoded < 0 || static_cast<uint32_t>(decoded) != stream->size) {
        FreeTracked(stream->decoded);
        stream->decoded = nullptr;
        stream->size = 0;
        return Damaged(ArchiveLog::CannotExpand);
    }
    return 0;
}

// The block's own header must claim the entry's size; checked before the
// buffer for that size is taken, so a few damaged bytes cannot ask for
// gigabytes.
bool BlockClaimsEntrySize(const uint8_t* block, uint32_t storedSize, uint32_t size) {
    const int claimed = LzExpand(block, storedSize, nullptr, 0);
    return claimed >= 0 && static_cast<uint32_t>(claimed) == size;
}

bool AllocDecoded(ArchiveStream* stream) {
    stream->decoded = static_cast<uint8_t*>(AllocTracked(stream->size, __FILE__, __LINE__));
    if (stream->decoded == nullptr) {
        LogArchive(ArchiveLog::NoMemoryForExpanding);
        return false;
    }
    return true;
}

void WaitForStream(ArchiveStream* stream) {
    if (!stream->asynchronous) {
        return;
    }
    while (stream->pending != kNothingPending && ArchiveStreamIdle(stream) == 0) {
        Sleep(1);
    }
}

// An asynchronous open starts the read of the block and decodes it when the
// read is done (ArchiveStreamIdle); the others decode at once.
int OpenCompressed(ArchiveStream* stream, ArchiveState* state, uint32_t storedSize) {
    if (stream->size > kLargestDecodedFile) {
        return Damaged(ArchiveLog::DecodedTooLarge);
    }
    if (state->inMemory) {
        const uint8_t* block = state->image + stream->dataOffset;
        if (!BlockClaimsEntrySize(block, storedSize, stream->size)) {
            return Damaged(ArchiveLog::DecodedSizeMismatch);
        }
        return AllocDecoded(stream) ? DecodeInto(stream, block, storedSize) : -1;
    }
    stream->compressed = static_cast<uint8_t*>(AllocTracked(storedSize, __FILE__, __LINE__));
    if (stream->compressed == nullptr) {
        LogArchive(ArchiveLog::NoMemoryForCompressedRead);
        return -1;
    }
    FileHandle async = stream->asynchronous ? ArchiveAsyncFile(state) : 0;
    if (async != 0) {
        if (!AllocDecoded(stream)) {
            FreeTracked(stream->compressed);
            stream->compressed = nullptr;
            return -1;
        }
        PlainFsSeek(async, static_cast<int32_t>(stream->dataOffset), 0);
        PlainFsRead(stream->compressed, 1, storedSize, async);
        stream->pending = kCompressedLoadPending;
        stream->pendingOffset = stream->dataOffset;
        stream->pendingSize = storedSize;
        return 0;
    }
    const int got = ArchiveReadAt(state->directFile, stream->compressed, storedSize,
                                  stream->dataOffset, state->key);
    int result = -1;
    if (got != static_cast<int>(storedSize)) {
        Damaged(ArchiveLog::CompressedUnreadable);
    } else if (!BlockClaimsEntrySize(stream->compressed, storedSize, stream->size)) {
        Damaged(ArchiveLog::DecodedSizeMismatch);
    } else if (AllocDecoded(stream)) {
        result = DecodeInto(stream, stream->compressed, storedSize);
    }
    FreeTracked(stream->compressed);
    stream->compressed = nullptr;
    return result;
}

}  // namespace

int ArchiveStreamOpen(ArchiveStream* stream, ArchiveState* state, const char* path,
                      int asynchronous) {
    WaitForLoad(state);
    const uint8_t* entry = ArchiveFindFile(state, path);
    if (entry == nullptr) {
        return -1;
    }
    uint32_t dataOffset = 0;
    uint32_t stored = 0;
    if (!EntryDataRange(state, entry, &dataOffset, &stored)) {
        return -1;
    }
    std::memset(stream, 0, sizeof(*stream));
    stream->archive = state;
    stream->entry = entry;
    stream->asynchronous = asynchronous ? 1 : 0;
    stream->dataOffset = dataOffset;
    stream->size = LoadU32(entry + kEntrySize);
    if (!EntryIsCompressed(state, entry) || stream->size == 0) {
        return 0;
    }
    if (OpenCompressed(stream, state, stored) != 0) {
        std::memset(stream, 0, sizeof(*stream));
        return -1;
    }
    return 0;
}

uint32_t ArchiveStreamRead(ArchiveStream* stream, void* buffer, uint32_t count) {
    WaitForStream(stream);
    if (stream->endFlag) {
        return 0;
    }
    const uint32_t position = static_cast<uint32_t>(stream->position);
    if (position >= stream->size) {
        stream->endFlag = 1;
        return 0;
    }
    const uint32_t left = stream->size - position;
    uint32_t n = count < left ? count : left;
    ArchiveState* state = stream->archive;
    if (stream->decoded != nullptr) {
        std::memcpy(buffer, stream->decoded + position, n);
    } else if (state->inMemory) {
        std::memcpy(buffer, state->image + stream->dataOffset + position, n);
    } else {
        const uint32_t offset = stream->dataOffset + position;
        FileHandle async = stream->asynchronous ? ArchiveAsyncFile(state) : 0;
        if (async != 0) {
            if (static_cast<uint32_t>(PlainFsTell(async)) != offset) {
                PlainFsSeek(async, static_cast<int32_t>(offset), 0);
            }
            PlainFsRead(buffer, 1, n, async);
            stream->pending = kPlainReadPending;
            stream->pendingOffset = offset;
            stream->pendingTarget = buffer;
            stream->pendingSize = n;
        } else {
            // A file cut short since the open delivers only what is there.
            const int got = ArchiveReadAt(state->directFile, buffer, n, offset, state->key);
            n = got < 0 ? 0 : static_cast<uint32_t>(got);
            if (n == 0) {
                stream->endFlag = 1;
                return 0;
            }
        }
    }
    stream->position = static_cast<int32_t>(position + n);
    stream->endFlag = 0;
    return n;
}

int ArchiveStreamSeek(ArchiveStream* stream, int32_t offset, int origin) {
    WaitForStream(stream);
    stream->position = ClampedSeekTarget(stream->position, stream->size, offset, origin);
    stream->endFlag = 0;
    return 0;
}

int32_t ArchiveStreamTell(ArchiveStream* stream) {
    WaitForStream(stream);
    return stream->position;
}

int ArchiveStreamEof(ArchiveStream* stream) {
    WaitForStream(stream);
    return stream->endFlag ? -1 : 0;
}

int ArchiveStreamIdle(ArchiveStream* stream) {
    if (!stream->asynchronous || stream->pending == kNothingPending) {
        return 1;
    }
    ArchiveState* state = stream->archive;
    if (!PlainFsIdle(state->file)) {
        return 0;
    }
    if (stream->pending == kCompressedLoadPending) {
        ArchiveXorAt(stream->pendingSize, stream->compressed, stream->pendingOffset, state->key);
        DecodeInto(stream, stream->compressed, stream->pendingSize);
        FreeTracked(stream->compressed);
        stream->compressed = nullptr;
    } else {
        ArchiveXorAt(stream->pendingSize, stream->pendingTarget, stream->pendingOffset, state->key);
    }
    stream->pending = kNothingPending;
    return 1;
}

int ArchiveStreamClose(ArchiveStream* stream) {
    WaitForStream(stream);
    if (stream->decoded != nullptr) {
        FreeTracked(stream->decoded);
    }
    if (stream->compressed != nullptr) {
        FreeTracked(stream->compressed);
    }
    std::memset(stream, 0, sizeof(*stream));
    return 0;
}

}  // namespace tessel
