// The software kernels' width: the processor's widest unless the environment
// asks for less, read once; tests set it directly.
#include "softrender/kernel_width.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "foundation/memory/log.h"

namespace tessel::soft {

namespace {

constexpr int kUnread = -1;
std::atomic<int> g_width{kUnread};

constexpr const char* kNames[] = {"portable", "sse2", "avx2"};

// The width the environment names, or the widest when it names none this
// processor runs (one log line says why).
KernelWidth WidthFromEnvironment() {
    const KernelWidth widest = WidestKernelWidth();
    const char* asked = std::getenv("TESSEL_SOFT_KERNELS");
    if (asked == nullptr || *asked == '\0') {
        return widest;
    }
    for (int i = 0; i <= static_cast<int>(widest); ++i) {
        if (std::strcmp(asked, kNames[i]) == 0) {
            return static_cast<KernelWidth>(i);
        }
    }
    WriteLogFormat("TESSEL_SOFT_KERNELS=%s はこのプロセッサで使えません: %s で描きます\n", asked,
                   KernelWidthName(widest));
    return widest;
}

}  // namespace

KernelWidth WidestKernelWidth() {
    static const KernelWidth widest =
        __builtin_cpu_supports("avx2") ? KernelWidth::kAvx2 : KernelWidth::kSse2;
    return widest;
}

KernelWidth CurrentKernelWidth() {
    int width = g_width.load(std::memory_order_relaxed);
    if (width == kUnread) {
        width = static_cast<int>(WidthFromEnvironment());
        int expected = kUnread;
        if (!g_width.compare_exchange_strong(expected, width, std::memory_order_relaxed)) {
            width = expected;  // a setter or another first draw came first
        }
    }
    return static_cast<KernelWidth>(width);
}

bool SetKernelWidth(KernelWidth width) {
    if (static_cast<int>(width) < 0 || width > WidestKernelWidth()) {
        return false;
    }
    g_width.store(static_cast<int>(width), std::memory_order_relaxed);
    return true;
}

const char* KernelWidthName(KernelWidth width) {
    const int i = static_cast<int>(width);
    return i >= 0 && i <= 2 ? kNames[i] : "?";
}

}  // namespace tessel::soft
