// The kernels' width: the processor's widest at the start, a narrower one
// when the environment names it, and the setter's refusal of widths the
// processor lacks.
#include "softrender/kernel_width.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/spawn_self.h"

namespace tessel {
namespace {

using soft::KernelWidth;

constexpr const char* kHelper = "TESSEL_TEST_KERNEL_WIDTH_HELPER";

// Run again as its own process: ends with the width it started with as its
// exit code.
TEST(KernelWidthHelper, EndsWithTheWidthItStartedWith) {
    if (std::getenv(kHelper) == nullptr) {
        GTEST_SKIP() << "runs as a helper process only";
    }
    std::_Exit(static_cast<int>(soft::CurrentKernelWidth()));
}

int WidthStartedWith(const std::string& asked) {
    std::vector<std::string> environment{std::string(kHelper) + "=1"};
    environment.push_back("TESSEL_SOFT_KERNELS=" + asked);
    const pid_t pid =
        tessel_test::SpawnSelf("KernelWidthHelper.EndsWithTheWidthItStartedWith", environment);
    return pid < 0 ? -1 : tessel_test::WaitExit(pid);
}

TEST(KernelWidth, StartsAtTheWidthTheEnvironmentNamesOrTheWidest) {
    const int widest = static_cast<int>(soft::WidestKernelWidth());
    EXPECT_EQ(WidthStartedWith("portable"), 0);
    EXPECT_EQ(WidthStartedWith("sse2"), 1);
    EXPECT_EQ(WidthStartedWith(""), widest);
    EXPECT_EQ(WidthStartedWith("avx512"), widest);
    if (widest == static_cast<int>(KernelWidth::kAvx2)) {
        EXPECT_EQ(WidthStartedWith("avx2"), widest);
    }
}

TEST(KernelWidth, TakesEveryWidthTheProcessorRunsAndRefusesWiderOnes) {
    const KernelWidth kept = soft::CurrentKernelWidth();
    for (int w = 0; w <= static_cast<int>(soft::WidestKernelWidth()); ++w) {
        ASSERT_TRUE(soft::SetKernelWidth(static_cast<KernelWidth>(w)));
        EXPECT_EQ(soft::CurrentKernelWidth(), static_cast<KernelWidth>(w));
    }
    ASSERT_TRUE(soft::SetKernelWidth(KernelWidth::kPortable));
    const KernelWidth beyond =
        static_cast<KernelWidth>(static_cast<int>(soft::WidestKernelWidth()) + 1);
    EXPECT_FALSE(soft::SetKernelWidth(beyond));
    EXPECT_FALSE(soft::SetKernelWidth(static_cast<KernelWidth>(-1)));
    EXPECT_EQ(soft::CurrentKernelWidth(), KernelWidth::kPortable);
    soft::SetKernelWidth(kept);
}

}  // namespace
}  // namespace tessel
