// Streams: the six operations through which the image loaders, the sound and
// movie decoders and the model readers consume data, over files of the file
// layer or over memory.
#pragma once

#include <cstdint>

#include "foundation/files/file_ops.h"

namespace tessel {

// A file handle or a MemoryStream address, as the operations expect.
using StreamHandle = uintptr_t;

struct StreamOps {
    int32_t (*tell)(StreamHandle stream);
    int (*seek)(StreamHandle stream, int32_t offset, int origin);
    uint32_t (*read)(void* buffer, uint32_t size, uint32_t count, StreamHandle stream);
    int (*eof)(StreamHandle stream);
    int (*idle)(StreamHandle stream);
    int (*close)(StreamHandle stream);
};

// Data in memory read as a stream; the data belongs to the caller.
struct MemoryStream {
    const uint8_t* data;
    uint32_t size;
    int32_t position;
    int32_t endFlag;  // set when a read finds nothing left
};

// The file instance (FsTell, FsSeek, FsRead, FsEof, FsIdle, FsClose) and the
// memory instance.
StreamOps* GetFileStreamOps();
StreamOps* GetMemoryStreamOps();

// A tracked record; null when memory runs out.
MemoryStream* OpenMemoryStream(const void* data, uint32_t size);
int CloseMemoryStream(StreamHandle stream);
int32_t MemStreamTell(StreamHandle stream);
// The target is clamped to 0..size; the end flag is cleared.
int MemStreamSeek(StreamHandle stream, int32_t offset, int origin);
// Whole items; when less than one item is left, the bytes left are copied and
// 1 is returned. A size or count of 0 reads nothing.
uint32_t MemStreamRead(void* buffer, uint32_t size, uint32_t count, StreamHandle stream);
int MemStreamEof(StreamHandle stream);
int MemStreamIdle(StreamHandle stream);

// Where a seek lands: offset from the start (origin 0 or any other), the
// position (1) or the end (2), clamped to 0..size.
inline int32_t ClampedSeekTarget(int32_t position, uint32_t size, int32_t offset, int origin) {
    int64_t target = offset;
    if (origin == 1) {
        target += position;
    } else if (origin == 2) {
        target += size;
    }
    if (target > static_cast<int64_t>(size)) {
        target = size;
    }
    if (target < 0) {
        target = 0;
    }
    return static_cast<int32_t>(target);
}

inline StreamHandle StreamHandleOf(MemoryStream* stream) {
    return reinterpret_cast<StreamHandle>(stream);
}

}  // namespace tessel
