// The memory budget of a decoded image: a few bytes of header claiming a
// picture of hundreds of millions of pixels must not make a loader clear
// and convert hundreds of megabytes. Every pixel counts at 32 bits, what it
// becomes once converted for drawing, whatever the file stores.
#include "foundation/memory/log.h"
#include "images/image_loader.h"
#include "images/stream_reading.h"

namespace tessel {

namespace {

constexpr int64_t kBytesPerCountedPixel = 4;
constexpr int64_t kLargestBudget = kMaxImagePixels * kBytesPerCountedPixel;

int64_t imageMemoryBudget = kDefaultImageMemoryBudget;

}  // namespace

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
    if (width * height > imageMemoryBudget / kBytesPerCountedPixel) {
        WriteLogFormat("画像の大きさ %lld x %lld がメモリの上限 %lld byte を超えています",
                       static_cast<long long>(width), static_cast<long long>(height),
                       static_cast<long long>(imageMemoryBudget));
        return false;
    }
    return true;
}

}  // namespace tessel
