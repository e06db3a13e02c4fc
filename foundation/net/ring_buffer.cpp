// The byte ring: read and peek, growth, release and folding.
#include "foundation/net/ring_buffer.h"

#include <cstring>

#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"

namespace tessel {

namespace {

constexpr int64_t kGrowthSlack = 1000;
constexpr int64_t kLargestCapacity = 0x7FFFFFFF;

}  // namespace

void RingBufferFoldPositions(RingBuffer* ring) {
    if (ring->readPosition == ring->capacity) {
        ring->readPosition = 0;
    }
    if (ring->writePosition == ring->capacity) {
        ring->writePosition = 0;
    }
}

int RingBufferRead(RingBuffer* ring, void* destination, int32_t count, int peek) {
    if (count < 0) {
        return WriteLogFormat("リングバッファから読む量が負です(%d byte)", count);
    }
    RingBufferFoldPositions(ring);
    if (count > ring->stored) {
        return -1;
    }
    if (count == 0) {
        return 0;
    }
    auto* out = static_cast<uint8_t*>(destination);
    int32_t first = ring->capacity - ring->readPosition;
    if (first > count) {
        first = count;
    }
    std::memcpy(out, ring->storage + ring->readPosition, static_cast<size_t>(first));
    std::memcpy(out + first, ring->storage, static_cast<size_t>(count - first));
    if (peek == 0) {
        ring->readPosition += count;
        if (ring->readPosition >= ring->capacity) {
            ring->readPosition -= ring->capacity;
        }
        ring->stored -= count;
    }
    return 0;
}

int RingBufferReserve(RingBuffer* ring, int32_t count) {
    if (count < 0) {
        return WriteLogFormat("リングバッファに確保する量が負です(%d byte)", count);
    }
    RingBufferFoldPositions(ring);
    if (static_cast<int64_t>(ring->capacity) >= static_cast<int64_t>(ring->stored) + count) {
        return 0;
    }
    int64_t capacity = static_cast<int64_t>(ring->stored) * 3 / 2 + count + kGrowthSlack;
    // A ring that cannot grow keeps what it holds: its bytes are still
    // somebody's data.
    auto* storage = capacity <= kLargestCapacity
                        ? static_cast<uint8_t*>(
                              AllocTracked(static_cast<uint32_t>(capacity), __FILE__, __LINE__))
                        : nullptr;
    if (storage == nullptr) {
        return WriteLogFormat(
            "リングバッファの再確保に失敗しました(確保しようとしたサイズ %lld byte)",
            static_cast<long long>(capacity));
    }
    int32_t first = ring->capacity - ring->readPosition;
    if (first > ring->stored) {
        first = ring->stored;
    }
    if (ring->stored > 0) {
        std::memcpy(storage, ring->storage + ring->readPosition, static_cast<size_t>(first));
        std::memcpy(storage + first, ring->storage, static_cast<size_t>(ring->stored - first));
    }
    if (ring->storage != nullptr) {
        FreeTracked(ring->storage);
    }
    ring->storage = storage;
    ring->capacity = static_cast<int32_t>(capacity);
    ring->readPosition = 0;
    ring->writePosition = ring->stored;
    return 0;
}

int RingBufferRelease(RingBuffer* ring) {
    if (ring->storage != nullptr) {
        FreeTracked(ring->storage);
    }
    *ring = RingBuffer{};
    return 0;
}

}  // namespace tessel
