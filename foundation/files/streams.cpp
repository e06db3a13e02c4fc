#include "foundation/files/streams.h"

#include <cstring>

#include "foundation/memory/memory.h"

namespace tessel {

namespace {

StreamOps fileStreamOps = {FsTell, FsSeek, FsRead, FsEof, FsIdle, FsClose};
StreamOps memoryStreamOps = {MemStreamTell, MemStreamSeek, MemStreamRead,
                             MemStreamEof,  MemStreamIdle, CloseMemoryStream};

MemoryStream* FromHandle(StreamHandle stream) {
    return reinterpret_cast<MemoryStream*>(stream);
}

}  // namespace

StreamOps* GetFileStreamOps() {
    return &fileStreamOps;
}

StreamOps* GetMemoryStreamOps() {
    return &memoryStreamOps;
}

MemoryStream* OpenMemoryStream(const void* data, uint32_t size) {
    auto* stream = static_cast<MemoryStream*>(AllocTracked(sizeof(MemoryStream), nullptr, 0));
    if (stream == nullptr) {
        return nullptr;
    }
    stream->data = static_cast<const uint8_t*>(data);
    stream->size = size;
    stream->position = 0;
    stream->endFlag = 0;
    return stream;
}

int CloseMemoryStream(StreamHandle stream) {
    FreeTracked(FromHandle(stream));
    return 0;
}

int32_t MemStreamTell(StreamHandle stream) {
    return FromHandle(stream)->position;
}

int MemStreamSeek(StreamHandle handle, int32_t offset, int origin) {
    MemoryStream* stream = FromHandle(handle);
    if (origin < 0 || origin > 2) {
        return -1;
    }
    stream->position = ClampedSeekTarget(stream->position, stream->size, offset, origin);
    stream->endFlag = 0;
    return 0;
}

uint32_t MemStreamRead(void* buffer, uint32_t size, uint32_t count, StreamHandle handle) {
    MemoryStream* stream = FromHandle(handle);
    if (size == 0 || count == 0) {
        return 0;  // nothing asked for: no bytes may land in the buffer
    }
    auto position = static_cast<uint32_t>(stream->position);
    if (position >= stream->size) {
        stream->endFlag = 1;
        return 0;
    }
    uint32_t left = stream->size - position;
    if (static_cast<uint64_t>(size) * count > left) {
        count = left / size;
    }
    if (count == 0) {
        // Less than one item left: the rest is copied and counts as one item.
        std::memcpy(buffer, stream->data + position, left);
        stream->position = static_cast<int32_t>(stream->size);
        stream->endFlag = 0;
        return 1;
    }
    uint32_t bytes = size * count;
    std::memcpy(buffer, stream->data + position, bytes);
    stream->position += static_cast<int32_t>(bytes);
    stream->endFlag = 0;
    return count;
}

int MemStreamEof(StreamHandle stream) {
    return FromHandle(stream)->endFlag;
}

int MemStreamIdle(StreamHandle /*stream*/) {
    return 1;
}

}  // namespace tessel
