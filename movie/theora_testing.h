// What tests read of a Theora decoder beyond its interface: the page index
// and key-frame flags, the thread's status and the frames in its stock; and
// the hand-over's levers: holding the thread, the count of waiters.
#pragma once

#include <cstdint>
#include <vector>

#include "movie/theora_decoder.h"

namespace tessel {

struct TheoraIndexFacts {
    int32_t entries;
    int32_t capacity;
    int64_t keyFlagCapacity;
    int64_t frames;
    int64_t keyFrames;  // frames flagged as key frames
};

TheoraIndexFacts TheoraIndexFactsOf(const TheoraDecoder* decoder);
// The status word: 0 idle, 1 working, 2 seeking, 3 exited, 4 paused.
int32_t TheoraStatusOf(const TheoraDecoder* decoder);
// The frame numbers of the used stock slots, in slot order.
std::vector<int64_t> TheoraStockFrames(const TheoraDecoder* decoder);
// Holds the thread in its pause (it then stocks nothing) or lets it go on.
void TheoraHoldThread(TheoraDecoder* decoder, bool hold);
// How many window-thread waits are counted as waiting for news.
uint32_t TheoraWaiterCount(const TheoraDecoder* decoder);
// Counts news and wakes every waiter whatever the count: frees a wait that a
// broken hand-over left asleep.
void TheoraWakeAllWaiters(TheoraDecoder* decoder);

}  // namespace tessel
