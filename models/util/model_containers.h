// Small containers the model loaders share: chains of zero-filled blocks
// freed all at once, rows of bits with a used flag per row, and the change-bit
// descriptor of a frame.
#pragma once

#include <cstdint>

namespace tessel {

// A chain is named by its head word, which its owner keeps; 0 is empty.
// size zero-filled bytes that the chain owns, or null after a log line.
void* AllocChainedBlock(uint32_t size, void** chainHead);
// Frees every block of the chain and clears the head.
void FreeChainedBlocks(void** chainHead);

// rowCount rows of bitCount bits; each row ends in its used byte, and behind
// the rows lies one 32-bit word per row for the caller.
struct BitRowArray {
    int32_t rowsInUse;
    int32_t rowCount;
    int32_t bitCount;
    int32_t bytesPerRow;  // (bitCount + 7) / 8 + 1
    uint8_t* rows;
    uint32_t* rowWords;
};

int InitBitRowArray(BitRowArray* array, int bitCount, int rowCount, void** chainHead);
int SetRowBit(BitRowArray* array, int row, int bit);
// The row without its used byte; the buffer's used-byte position becomes 0.
int CopyRowOut(const BitRowArray* array, int row, uint8_t* buffer);
// The whole row, used byte included; counts the row when it was unused.
int CopyRowIn(BitRowArray* array, int row, const uint8_t* buffer);
int OrRowInto(const BitRowArray* array, int row, uint8_t* buffer);
// Set bits in the first bytesPerRow - 1 bytes.
int CountBufferBits(const uint8_t* buffer, int bytesPerRow);
// The indices of the row's set bits in ascending order; their number.
int ListRowBits(const BitRowArray* array, int row, uint16_t* out);

struct FrameChangeDescriptor {
    int32_t wordIndex;
    uint32_t* maskWords;  // null: none
    int32_t runWords;
    uint32_t singleMask;
};

// With mask words, sets bitCount bits from firstBit's place on, spilling into
// the following words, which the caller gives zeroed.
void InitFrameChangeDescriptor(FrameChangeDescriptor* descriptor, uint32_t* maskWords, int firstBit,
                               int bitCount);

}  // namespace tessel
