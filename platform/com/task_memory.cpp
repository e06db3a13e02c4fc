// Task memory, counted so that tests can see a block nobody freed.
#include <atomic>
#include <cstdlib>

#include "platform/com.h"
#include "platform/com_testing.h"

namespace {

std::atomic<long> outstandingBlocks{0};

}  // namespace

LPVOID CoTaskMemAlloc(SIZE_T size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr) {
        ++outstandingBlocks;
    }
    return block;
}

void CoTaskMemFree(LPVOID block) {
    if (block == nullptr) {
        return;
    }
    --outstandingBlocks;
    std::free(block);
}

namespace platform {

long TaskMemoryBlocksOutstanding() {
    return outstandingBlocks.load();
}

}  // namespace platform
