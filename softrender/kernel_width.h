// How wide the software kernels that come in several forms draw: pixel by
// pixel, four pixels a step in SSE2, or eight in AVX2. The widest form the
// processor runs is taken once, at the first draw; TESSEL_SOFT_KERNELS
// (portable, sse2 or avx2) asks for a narrower one, and tests and benchmarks
// set each width in turn. Every width draws the same pixels.
#pragma once

namespace tessel::soft {

enum class KernelWidth : int { kPortable = 0, kSse2 = 1, kAvx2 = 2 };

// The widest form this processor runs.
KernelWidth WidestKernelWidth();

// The form the kernels draw with now.
KernelWidth CurrentKernelWidth();

// For tests and benchmarks: false, and nothing changes, when the processor
// lacks the width.
bool SetKernelWidth(KernelWidth width);

const char* KernelWidthName(KernelWidth width);

}  // namespace tessel::soft
