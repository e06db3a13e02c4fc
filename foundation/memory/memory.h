// Tracked heap memory: every block the library allocates for itself carries a
// header that links it into one process-wide list, records who asked for it
// and keeps a guard copy of itself, so that leaks can be listed at shutdown
// and damaged headers found.
#pragma once

#include <cstdint>

namespace tessel {

struct TrackedBlockHeader {
    char name[16];  // the last 15 characters of the caller's source name
    uint16_t serial;
    uint16_t line;
    uint32_t size;  // bytes asked for, header not included
    TrackedBlockHeader* older;
    TrackedBlockHeader* newer;
};

// The header, then its guard copy; the caller's data follows at this offset,
// which keeps it aligned to 16 bytes.
constexpr uint32_t kTrackedDataOffset = 2 * sizeof(TrackedBlockHeader);
static_assert(kTrackedDataOffset % 16 == 0);

void* AllocTracked(uint32_t size, const char* name, int line);
void* AllocTrackedZeroed(uint32_t size, const char* name, int line);
// Bytes a block grows by are zero. On failure the old block stays valid.
void* ReallocTracked(void* block, uint32_t size, const char* name, int line);
void FreeTracked(void* block);

// 0 when every header equals its guard copy, -1 (and a log line) at the first
// damaged one.
int CheckTrackedBlocks();
void LogTrackedBlock(const TrackedBlockHeader* header);
// The leak report: every live block, newest first, and the totals.
void DumpTrackedBlocks();

// For tests: while on, every heap request of the tracker fails.
void SetTrackedHeapFailing(bool failing);
// For tests: the next `successes` heap requests succeed, every later one fails,
// until SetTrackedHeapFailing(false).
void SetTrackedHeapFailingAfter(int successes);
// Blocks currently allocated.
uint32_t TrackedBlockCount();

}  // namespace tessel
