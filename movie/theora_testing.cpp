// Test hooks of the Theora decoder.
#include "movie/theora_testing.h"

#include "movie/theora_internal.h"

namespace tessel {

TheoraIndexFacts TheoraIndexFactsOf(const TheoraDecoder* decoder) {
    TheoraIndexFacts facts{decoder->indexCount, decoder->indexCapacity, decoder->keyFlagCapacity,
                           decoder->frameCount, 0};
    for (int64_t f = 0; f < decoder->frameCount; ++f) {
        facts.keyFrames += decoder->keyFlags[f];
    }
    return facts;
}

int32_t TheoraStatusOf(const TheoraDecoder* decoder) {
    return decoder->status.load(std::memory_order_acquire);
}

std::vector<int64_t> TheoraStockFrames(const TheoraDecoder* decoder) {
    std::vector<int64_t> frames;
    for (int i = 0; i < decoder->stockSize; ++i) {
        const TheoraFrameSlot& slot = decoder->stock[i];
        if (slot.used.load(std::memory_order_acquire) != 0) {
            frames.push_back(slot.frame.load(std::memory_order_relaxed));
        }
    }
    return frames;
}

void TheoraHoldThread(TheoraDecoder* decoder, bool hold) {
    decoder->pauseRequest.store(hold ? 1 : 0, std::memory_order_release);
}

uint32_t TheoraWaiterCount(const TheoraDecoder* decoder) {
    return decoder->waiters.load(std::memory_order_acquire);
}

void TheoraWakeAllWaiters(TheoraDecoder* decoder) {
    decoder->news.fetch_add(1, std::memory_order_seq_cst);
    decoder->news.notify_all();
}

}  // namespace tessel
