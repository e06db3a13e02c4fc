// Chained blocks, bit rows and the frame change descriptor.
#include "models/util/model_containers.h"

#include <cstring>

#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"

namespace tessel {

namespace {

// Ahead of the caller's bytes: where they start, the chain's previous head
// and the running total of the chain's bytes.
struct ChainHeader {
    void* data;
    ChainHeader* previous;
    uint32_t total;
};

ChainHeader* HeaderOfHead(void* head) {
    return static_cast<ChainHeader*>(head);
}

uint8_t* RowAt(const BitRowArray* array, int row) {
    return array->rows + static_cast<size_t>(row) * static_cast<size_t>(array->bytesPerRow);
}

}  // namespace

void* AllocChainedBlock(uint32_t size, void** chainHead) {
    constexpr uint32_t kHeaderBytes = (sizeof(ChainHeader) + 15u) & ~15u;
    if (size > UINT32_MAX - kHeaderBytes) {
        WriteLog(
            "メモリアドレス保存データ＋実際のデータを保存するメモリ領域の確保に失敗しました\n");
        return nullptr;
    }
    auto* header = static_cast<ChainHeader*>(AllocTrackedZeroed(size + kHeaderBytes, "", 0));
    if (header == nullptr) {
        WriteLog(
            "メモリアドレス保存データ＋実際のデータを保存するメモリ領域の確保に失敗しました\n");
        return nullptr;
    }
    ChainHeader* previous = HeaderOfHead(*chainHead);
    header->data = reinterpret_cast<uint8_t*>(header) + kHeaderBytes;
    header->previous = previous;
    header->total = size + (previous == nullptr ? 0 : previous->total);
    *chainHead = header;
    return header->data;
}

void FreeChainedBlocks(void** chainHead) {
    ChainHeader* block = HeaderOfHead(*chainHead);
    while (block != nullptr) {
        ChainHeader* previous = block->previous;
        FreeTracked(block);
        block = previous;
    }
    *chainHead = nullptr;
}

int InitBitRowArray(BitRowArray* array, int bitCount, int rowCount, void** chainHead) {
    int32_t bytesPerRow = (bitCount + 7) / 8 + 1;
    // The row words sit behind the rows, on a word boundary of their own.
    uint64_t rowBytes =
        (static_cast<uint64_t>(bytesPerRow) * static_cast<uint64_t>(rowCount) + 3) & ~uint64_t{3};
    uint64_t size = rowBytes + 4 * static_cast<uint64_t>(rowCount);
    void* block = nullptr;
    if (bitCount >= 0 && rowCount >= 0 && size <= UINT32_MAX / 2) {
        block = AllocChainedBlock(static_cast<uint32_t>(size), chainHead);
    }
    if (block == nullptr) {
        return WriteLog("ビットデータを格納するメモリの確保に失敗しました\n");
    }
    array->rowsInUse = 0;
    array->rowCount = rowCount;
    array->bitCount = bitCount;
    array->bytesPerRow = bytesPerRow;
    array->rows = static_cast<uint8_t*>(block);
    array->rowWords = reinterpret_cast<uint32_t*>(array->rows + rowBytes);
    return 0;
}

int SetRowBit(BitRowArray* array, int row, int bit) {
    uint8_t* bytes = RowAt(array, row);
    uint8_t& used = bytes[array->bytesPerRow - 1];
    if (used == 0) {
        used = 1;
        ++array->rowsInUse;
    }
    bytes[bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
    return 0;
}

int CopyRowOut(const BitRowArray* array, int row, uint8_t* buffer) {
    std::memcpy(buffer, RowAt(array, row), static_cast<size_t>(array->bytesPerRow - 1));
    buffer[array->bytesPerRow - 1] = 0;
    return 0;
}

int CopyRowIn(BitRowArray* array, int row, const uint8_t* buffer) {
    uint8_t* bytes = RowAt(array, row);
    if ((bytes[array->bytesPerRow - 1] & 1) == 0) {
        ++array->rowsInUse;
    }
    std::memcpy(bytes, buffer, static_cast<size_t>(array->bytesPerRow));
    return 0;
}

int OrRowInto(const BitRowArray* array, int row, uint8_t* buffer) {
    const uint8_t* bytes = RowAt(array, row);
    for (int i = 0; i < array->bytesPerRow - 1; ++i) {
        buffer[i] |= bytes[i];
    }
    return 0;
}

int CountBufferBits(const uint8_t* buffer, int bytesPerRow) {
    int count = 0;
    for (int i = 0; i < bytesPerRow - 1; ++i) {
        count += __builtin_popcount(buffer[i]);
    }
    return count;
}

int ListRowBits(const BitRowArray* array, int row, uint16_t* out) {
    const uint8_t* bytes = RowAt(array, row);
    int count = 0;
    for (int bit = 0; bit < array->bitCount; ++bit) {
        if ((bytes[bit / 8] >> (bit % 8)) & 1) {
            out[count++] = static_cast<uint16_t>(bit);
        }
    }
    return count;
}

void InitFrameChangeDescriptor(FrameChangeDescriptor* descriptor, uint32_t* maskWords, int firstBit,
                               int bitCount) {
    int offset = firstBit % 32;
    descriptor->wordIndex = firstBit / 32;
    descriptor->maskWords = maskWords;
    descriptor->runWords = (offset + bitCount + 31) / 32;
    descriptor->singleMask = 1u << offset;
    if (maskWords == nullptr) {
        return;
    }
    maskWords[0] = 0;
    for (int i = 0; i < bitCount; ++i) {
        int bit = offset + i;
        maskWords[bit / 32] |= 1u << (bit % 32);
    }
}

}  // namespace tessel
