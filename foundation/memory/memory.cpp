#include "foundation/memory/memory.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/memory/log.h"
#include "platform/kernel.h"

namespace tessel {

namespace {

struct TrackedBlock {
    TrackedBlockHeader header;
    TrackedBlockHeader guard;
};
static_assert(sizeof(TrackedBlock) == kTrackedDataOffset);

// The tracker's state belongs to the process, not to one run of the library:
// blocks allocated before start-up or after shutdown stay listed.
struct Tracker {
    TrackedBlock* head = nullptr;
    TrackedBlock sentinel{};
    uint32_t totalSize = 0;
    uint32_t blockCount = 0;
    uint16_t serialCounter = 0;
    bool heapFailing = false;
};

Tracker tracker;

// Made in place: a critical section may not be copied once initialised.
CRITICAL_SECTION& MemoryLock() {
    static CRITICAL_SECTION lock;
    static const bool made = [] {
        InitializeCriticalSection(&lock);
        return true;
    }();
    (void)made;
    return lock;
}

class LockGuard {
  public:
    LockGuard() { EnterCriticalSection(&MemoryLock()); }
    ~LockGuard() { LeaveCriticalSection(&MemoryLock()); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;
};

TrackedBlock* BlockOf(void* data) {
    return reinterpret_cast<TrackedBlock*>(static_cast<char*>(data) - kTrackedDataOffset);
}

void* DataOf(TrackedBlock* block) {
    return reinterpret_cast<char*>(block) + kTrackedDataOffset;
}

TrackedBlock* Older(const TrackedBlock* block) {
    return reinterpret_cast<TrackedBlock*>(block->header.older);
}

TrackedBlock* Newer(const TrackedBlock* block) {
    return reinterpret_cast<TrackedBlock*>(block->header.newer);
}

void RefreshGuard(TrackedBlock* block) {
    if (block != nullptr) {
        std::memcpy(&block->guard, &block->header, sizeof(TrackedBlockHeader));
    }
}

void StoreName(TrackedBlockHeader* header, const char* name) {
    std::memset(header->name, 0, sizeof(header->name));
    if (name == nullptr) {
        return;
    }
    size_t length = std::strlen(name);
    const char* tail = length > 15 ? name + (length - 15) : name;
    std::memcpy(header->name, tail, std::strlen(tail));
}

void StampCaller(TrackedBlockHeader* header, const char* name, int line) {
    StoreName(header, name);
    header->line = static_cast<uint16_t>(line);
    header->serial = tracker.serialCounter;
    ++tracker.serialCounter;
}

bool IsEnd(const TrackedBlock* block) {
    return block == nullptr || block == &tracker.sentinel;
}

void LogBlock(TrackedBlock* block) {
    LogTrackedBlock(&block->header);
}

}  // namespace

void SetTrackedHeapFailing(bool failing) {
    LockGuard lock;
    tracker.heapFailing = failing;
}

void* AllocTracked(uint32_t size, const char* name, int line) {
    LockGuard lock;
    void* memory =
        tracker.heapFailing ? nullptr : std::malloc(static_cast<size_t>(size) + kTrackedDataOffset);
    if (memory == nullptr) {
        DumpTrackedBlocks();
        CheckTrackedBlocks();
        return nullptr;
    }
    auto* block = static_cast<TrackedBlock*>(memory);
    block->header.size = size;
    StampCaller(&block->header, name, line);
    if (tracker.head == nullptr) {
        tracker.head = &tracker.sentinel;
    }
    tracker.head->header.newer = &block->header;
    block->header.older = &tracker.head->header;
    block->header.newer = nullptr;
    tracker.head = block;
    RefreshGuard(block);
    RefreshGuard(Older(block));
    tracker.totalSize += size;
    tracker.blockCount += 1;
    if (size == 0) {
        WriteLog("mem alloc  ");
        LogBlock(block);
    }
    return DataOf(block);
}

void* AllocTrackedZeroed(uint32_t size, const char* name, int line) {
    void* data = AllocTracked(size, name, line);
    if (data != nullptr) {
        std::memset(data, 0, size);
    }
    return data;
}

void* ReallocTracked(void* data, uint32_t size, const char* name, int line) {
    LockGuard lock;
    if (data == nullptr) {
        return AllocTracked(size, name, line);
    }
    uint32_t oldSize = BlockOf(data)->header.size;
    bool wasHead = BlockOf(data) == tracker.head;
    void* memory =
        tracker.heapFailing
            ? nullptr
            : std::realloc(BlockOf(data), static_cast<size_t>(size) + kTrackedDataOffset);
    if (memory == nullptr) {
        DumpTrackedBlocks();
        return nullptr;
    }
    auto* block = static_cast<TrackedBlock*>(memory);
    if (size > oldSize) {
        // The heap of the original zeroed what a block grew by; callers rely on it.
        std::memset(static_cast<char*>(DataOf(block)) + oldSize, 0, size - oldSize);
    }
    StampCaller(&block->header, name, line);
    Older(block)->header.newer = &block->header;
    if (Newer(block) != nullptr) {
        Newer(block)->header.older = &block->header;
    }
    if (wasHead) {
        tracker.head = block;
    }
    tracker.totalSize = tracker.totalSize - oldSize + size;
    block->header.size = size;
    RefreshGuard(block);
    RefreshGuard(Older(block));
    RefreshGuard(Newer(block));
    if (size == 0) {
        WriteLog("mem realloc  ");
        LogBlock(block);
    }
    return DataOf(block);
}

void FreeTracked(void* data) {
    if (data == nullptr) {
        return;
    }
    LockGuard lock;
    TrackedBlock* block = BlockOf(data);
    tracker.totalSize -= block->header.size;
    tracker.blockCount -= 1;
    TrackedBlock* older = Older(block);
    TrackedBlock* newer = Newer(block);
    if (older != nullptr) {
        older->header.newer = block->header.newer;
    }
    if (newer != nullptr) {
        newer->header.older = block->header.older;
    }
    if (block == tracker.head) {
        tracker.head = older;
    }
    RefreshGuard(newer);
    RefreshGuard(older);
    if (block->header.size == 0) {
        WriteLog("mem free  ");
        LogBlock(block);
    }
    std::free(block);
}

int CheckTrackedBlocks() {
    LockGuard lock;
    for (TrackedBlock* block = tracker.head; !IsEnd(block); block = Older(block)) {
        if (std::memcmp(&block->header, &block->guard, sizeof(TrackedBlockHeader)) != 0) {
            WriteLog("以下のメモリ確保情報が破損しました");
            LogBlock(block);
            return -1;
        }
    }
    return 0;
}

void LogTrackedBlock(const TrackedBlockHeader* header) {
    char line[260];
    const auto* data = reinterpret_cast<const unsigned char*>(header) + kTrackedDataOffset;
    char name[16];
    std::memcpy(name, header->name, sizeof(name));
    name[15] = '\0';  // a damaged header must not run the text off its field
    int length =
        std::snprintf(line, sizeof(line),
                      "\tsize:%d(%.3fkb)  file:%s  line:%d  ID:%d  addr:%016" PRIxPTR "  data:<",
                      static_cast<int>(header->size), static_cast<double>(header->size) / 1024.0,
                      name, static_cast<int>(header->line), static_cast<int>(header->serial),
                      reinterpret_cast<uintptr_t>(data));
    uint32_t shown = header->size < 16 ? header->size : 16;
    size_t at = static_cast<size_t>(length);
    for (uint32_t i = 0; i < shown; ++i) {
        unsigned char c = data[i];
        line[at++] = (c < 0x20 || c >= 0x80) ? '.' : static_cast<char>(c);
    }
    std::memcpy(line + at, "> [", 3);
    at += 3;
    for (uint32_t i = 0; i < shown; ++i) {
        std::snprintf(line + at, sizeof(line) - at, "%02x ", data[i]);
        at += 3;
    }
    if (shown > 0) {
        --at;  // the closing bracket takes the last pair's blank
    }
    std::memcpy(line + at, "]\n", 3);
    WriteLog(line);
}

void DumpTrackedBlocks() {
    LockGuard lock;
    WriteLog("\n");
    WriteLog("Alloc memory dump\n");
    for (TrackedBlock* block = tracker.head; !IsEnd(block); block = Older(block)) {
        LogBlock(block);
    }
    WriteLogFormat("\tTotal size:%d(%.3fkb)  Alloc num:%d", static_cast<int>(tracker.totalSize),
                   static_cast<double>(static_cast<int>(tracker.totalSize)) / 1024.0,
                   static_cast<int>(tracker.blockCount));
    WriteLog("\n");
}

}  // namespace tessel
