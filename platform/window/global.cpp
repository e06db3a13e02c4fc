// Global memory blocks, as the clipboard hands them over. A block is one
// allocation: a header with its size and lock count, then the bytes.
#include <cstdlib>
#include <cstring>

#include "platform/kernel.h"
#include "platform/window.h"

namespace {

constexpr uint32_t kMagic = 0x474C4F42;  // "GLOB"

struct GlobalHeader {
    uint32_t magic;
    uint32_t locks;
    size_t size;
    alignas(16) unsigned char data[1];
};

GlobalHeader* HeaderOf(HGLOBAL memory) {
    auto header = static_cast<GlobalHeader*>(memory);
    return header != nullptr && header->magic == kMagic ? header : nullptr;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
    size_t total = offsetof(GlobalHeader, data) + (bytes == 0 ? 1 : bytes);
    auto header = static_cast<GlobalHeader*>(std::malloc(total));
    if (header == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    header->magic = kMagic;
    header->locks = 0;
    header->size = bytes;
    if ((flags & GMEM_ZEROINIT) != 0) {
        std::memset(header->data, 0, bytes);
    }
    return header;
}

LPVOID GlobalLock(HGLOBAL memory) {
    GlobalHeader* header = HeaderOf(memory);
    if (header == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    ++header->locks;
    return header->data;
}

BOOL GlobalUnlock(HGLOBAL memory) {
    GlobalHeader* header = HeaderOf(memory);
    if (header == nullptr || header->locks == 0) {
        return FALSE;
    }
    return --header->locks != 0 ? TRUE : FALSE;
}

SIZE_T GlobalSize(HGLOBAL memory) {
    GlobalHeader* header = HeaderOf(memory);
    return header != nullptr ? header->size : 0;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
    GlobalHeader* header = HeaderOf(memory);
    if (header == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return memory;
    }
    header->magic = 0;
    std::free(header);
    return nullptr;
}
