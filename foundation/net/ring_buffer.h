// A growable ring of bytes. The stored bytes run from the read position,
// wrapping at the capacity, to the write position; a position equal to the
// capacity means 0, and every operation folds it first. The connection layer
// receives and sends through rings; the sound service reads rings of its own.
#pragma once

#include <cstdint>

namespace tessel {

struct RingBuffer {
    uint8_t* storage;  // tracked memory, null until the first growth
    int32_t readPosition;
    int32_t writePosition;
    int32_t stored;
    int32_t capacity;
};

// Copies `count` bytes out, across the wrap point; without `peek` they are
// removed. 0, or -1 (nothing changed) when fewer than `count` are stored.
int RingBufferRead(RingBuffer* ring, void* destination, int32_t count, int peek);
// Makes room for `count` more bytes. A full ring grows to
// stored * 3 / 2 + count + 1000 bytes, its bytes moved to the start. -1 when
// the growth fails; the ring then keeps its storage and its bytes.
int RingBufferReserve(RingBuffer* ring, int32_t count);
// Frees the storage and clears every field. Returns 0.
int RingBufferRelease(RingBuffer* ring);
void RingBufferFoldPositions(RingBuffer* ring);

}  // namespace tessel
