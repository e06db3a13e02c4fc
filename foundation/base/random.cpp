#include "foundation/base/random.h"

#include <cstring>

#include "platform/kernel.h"

namespace tessel {

MtGenerator g_mt;

namespace {

constexpr int kN = kMtStateWords;
constexpr int kM = 397;
constexpr uint32_t kMatrix = 0x9908B0DFu;
constexpr uint32_t kUpper = 0x80000000u;
constexpr uint32_t kLower = 0x7FFFFFFFu;

inline uint32_t Twist(uint32_t current, uint32_t next, uint32_t far) {
    uint32_t y = (current & kUpper) | (next & kLower);
    return far ^ (y >> 1) ^ ((y & 1u) ? kMatrix : 0u);
}

inline uint32_t Temper(uint32_t y) {
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
}

void TemperBlock() {
    for (int i = 0; i < kN; ++i) {
        g_mt.block[i] = Temper(g_mt.state[i]);
    }
    g_mt.readIndex = 0;
}

}  // namespace

int CpuHasMmx() {
    if (!CpuidAvailable()) {
        return 0;
    }
    DWORD regs[4];
    CpuidQuery(0, regs);
    if (regs[0] == 0) {
        return 0;
    }
    CpuidQuery(1, regs);
    return (regs[3] >> 23) & 1u;
}

void MtSeed(uint32_t seed) {
    uint32_t x = seed;
    for (int i = 0; i < kN; ++i) {
        uint32_t word = x & 0xFFFF0000u;
        x = 69069u * x + 1u;
        word |= x >> 16;
        x = 69069u * x + 1u;
        g_mt.state[i] = word;
    }
    if (!g_mt.mmxTested) {
        g_mt.hasMmx = CpuHasMmx();
        g_mt.mmxTested = 1;
    }
    MtRegenerate();
}

void MtRegenerate() {
    if (g_mt.hasMmx) {
        MtRegenerateMmx();
        return;
    }
    uint32_t* s = g_mt.state;
    for (int i = 0; i < kN; ++i) {
        s[i] = Twist(s[i], s[i + 1], s[(i + kM) % kN]);
        if (i == 0) {
            s[kN] = s[0];  // the last word pairs with the new word 0
        }
    }
    TemperBlock();
}

// Two words per step, as the 64-bit registers did it. It equals the plain
// loop because no word of a pair reads the other word of the same pair.
void MtRegenerateMmx() {
    uint32_t* s = g_mt.state;
    for (int i = 0; i < kN; i += 2) {
        uint64_t current = static_cast<uint64_t>(s[i]) | static_cast<uint64_t>(s[i + 1]) << 32;
        uint64_t next = static_cast<uint64_t>(s[i + 1]) | static_cast<uint64_t>(s[i + 2]) << 32;
        uint64_t far = static_cast<uint64_t>(s[(i + kM) % kN]) |
                       static_cast<uint64_t>(s[(i + 1 + kM) % kN]) << 32;
        constexpr uint64_t upper2 = 0x8000000080000000ull;
        constexpr uint64_t lower2 = 0x7FFFFFFF7FFFFFFFull;
        uint64_t y = (current & upper2) | (next & lower2);
        uint64_t odd = y & 0x0000000100000001ull;
        uint64_t mag = (odd * 0xFFFFFFFFull) & (static_cast<uint64_t>(kMatrix) << 32 | kMatrix);
        uint64_t shifted = (y >> 1) & lower2;  // per-lane shift: no bit crosses lanes
        uint64_t result = far ^ shifted ^ mag;
        s[i] = static_cast<uint32_t>(result);
        s[i + 1] = static_cast<uint32_t>(result >> 32);
        if (i == 0) {
            s[kN] = s[0];
        }
    }
    TemperBlock();
}

uint32_t MtNext() {
    if (g_mt.readIndex >= kN) {
        MtRegenerate();
    }
    return g_mt.block[g_mt.readIndex++];
}

}  // namespace tessel
