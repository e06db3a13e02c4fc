// The memory budget of a decoded image: a few bytes of header claiming a
// picture of hundreds of millions of pixels must not make a loader clear
// and convert hundreds of megabytes. Every pixel counts at 32 bits, what it
// becomes once converted for drawing, whatever the file stores. A scope may
// tighten the budget, and bound the sides, for the loads of one thread.
#include "foundation/memory/log.h"
#include "images/image_loader.h"
#include "images/stream_reading.h"

namespace tessel {

namespace {

constexpr int64_t kBytesPerCountedPixel = 4;
constexpr int64_t kLargestBudget = kMaxImagePixels * kBytesPerCountedPixel;

int64_t imageMemoryBudget = kDefaultImageMemoryBudget;

// The scope's limits on this thread; 0 for none.
thread_local int64_t t_scopeBytes = 0;
thread_local int64_t t_scopeSide = 0;

int64_t BudgetInForce() {
    return t_scopeBytes != 0 && t_scopeBytes < imageMemoryBudget ? t_scopeBytes : imageMemoryBudget;
}

}  // namespace

ImageLimitScope::ImageLimitScope(int64_t bytes, int64_t longestSide)
    : keptBytes_(t_scopeBytes), keptSide_(t_scopeSide) {
    t_scopeBytes = bytes;
    t_scopeSide = longestSide;
}

ImageLimitScope::~ImageLimitScope() {
    t_scopeBytes = keptBytes_;
    t_scopeSide = keptSide_;
}

int SetImageMemoryBudget(int64_t bytes) {
    if (bytes < kBytesPerCountedPixel || bytes > kLargestBudget) {
        return WriteLogFormat("画像のメモリの上限 %lld byte は 4 から %lld byte の外です",
                              static_cast<long long>(bytes),
                              static_cast<long long>(kLargestBudget));
    }
    imageMemoryBudget = bytes;
    return 0;
}

int64_t GetImageMemoryBudget() {
    return imageMemoryBudget;
}

bool IsWithinImageBudget(int64_t width, int64_t height) {
    if (!IsTakeableSize(width, height)) {
        return false;
    }
    const int64_t budget = BudgetInForce();
    if (width * height > budget / kBytesPerCountedPixel) {
        WriteLogFormat("画像の大きさ %lld x %lld がメモリの上限 %lld byte を超えています",
                       static_cast<long long>(width), static_cast<long long>(height),
                       static_cast<long long>(budget));
        return false;
    }
    if (t_scopeSide != 0 && (width > t_scopeSide || height > t_scopeSide)) {
        WriteLogFormat("画像の大きさ %lld x %lld が一辺の上限 %lld を超えています",
                       static_cast<long long>(width), static_cast<long long>(height),
                       static_cast<long long>(t_scopeSide));
        return false;
    }
    return true;
}

}  // namespace tessel
