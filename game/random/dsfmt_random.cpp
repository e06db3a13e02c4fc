// dSFMT-19937 as published: seeding through the 32-bit view, the initial mask
// that puts every state value in [1, 2), the period certification, and the
// whole-array recursion that mixes word i with word i + 117 and the lung.
#include "game/random/dsfmt_random.h"

#include <bit>

namespace {

constexpr int kPos1 = 117;
constexpr int kShiftLeft = 19;  // SL1, per 64-bit lane
constexpr int kShiftRight = 12;
constexpr uint64_t kMask[2] = {0x000ffafffffffb3fULL, 0x000ffdfffc90fffdULL};
constexpr uint64_t kFix[2] = {0x90014964b32f4329ULL, 0x3d84e1ac0dc82880ULL};
constexpr uint64_t kPcv[2] = {0x3d84e1ac0dc82880ULL, 0x0000000000000001ULL};
constexpr uint64_t kMantissaBits = 0x000FFFFFFFFFFFFFULL;
constexpr uint64_t kExponentOfOne = 0x3FF0000000000000ULL;
constexpr int kLung = 2 * kDsfmtStateWords;  // first lane of the lung

// The counter shared by default-constructed generators; constant-initialised,
// so it is ready before any generator's constructor runs.
constinit uint32_t g_nextConstructionSeed = 0xFFFFFFFFu;

void SetSeedWord(DsfmtRandom* generator, int i, uint32_t value) {
    uint64_t& lane = generator->lanes[i / 2];
    if (i % 2 == 0) {
        lane = (lane & 0xFFFFFFFF00000000ULL) | value;
    } else {
        lane = (lane & 0x00000000FFFFFFFFULL) | (static_cast<uint64_t>(value) << 32);
    }
}

uint64_t SwapHalves(uint64_t lane) {
    return (lane >> 32) | (lane << 32);
}

// When the parity of (lung xor FIX) & PCV is even the sequence could fall into
// a short cycle; flipping the lowest set bit of PCV in the lung prevents it.
void CertifyPeriod(DsfmtRandom* generator) {
    generator->reserved[0] = generator->reserved[1] = generator->reserved[2] = 0;
    uint64_t* lung = &generator->lanes[kLung];
    uint64_t inner = ((lung[0] ^ kFix[0]) & kPcv[0]) ^ ((lung[1] ^ kFix[1]) & kPcv[1]);
    if (std::popcount(inner) % 2 == 1) {
        return;
    }
    for (int lane = 1; lane >= 0; --lane) {
        if (kPcv[lane] != 0) {
            lung[lane] ^= kPcv[lane] & (~kPcv[lane] + 1);
            return;
        }
    }
}

// One step of the recursion: word `a` becomes a function of itself, word `b`
// and the lung, which carries from step to step.
void Recur(uint64_t* a, const uint64_t* b, uint64_t* lung) {
    uint64_t oldLung[2] = {lung[0], lung[1]};
    for (int lane = 0; lane < 2; ++lane) {
        lung[lane] = (a[lane] << kShiftLeft) ^ SwapHalves(oldLung[1 - lane]) ^ b[lane];
    }
    for (int lane = 0; lane < 2; ++lane) {
        a[lane] = (lung[lane] >> kShiftRight) ^ (lung[lane] & kMask[lane]) ^ a[lane];
    }
}

}  // namespace

DsfmtRandom::DsfmtRandom() {
    SeedRandom(this, g_nextConstructionSeed--);
}

DsfmtRandom::DsfmtRandom(uint32_t seed) {
    SeedRandom(this, seed);
}

// One translation unit holds all three, so their construction order is fixed.
DsfmtRandom PlayRandom;
DsfmtRandom AuxRandomB;
DsfmtRandom AuxRandomC(1);

void SeedRandom(DsfmtRandom* generator, uint32_t seed) {
    uint32_t word = seed;
    SetSeedWord(generator, 0, word);
    for (int i = 1; i < kDsfmtSeedWords; ++i) {
        word = 1812433253u * (word ^ (word >> 30)) + static_cast<uint32_t>(i);
        SetSeedWord(generator, i, word);
    }
    for (int i = 0; i < kDsfmtStateDoubles; ++i) {
        generator->lanes[i] = (generator->lanes[i] & kMantissaBits) | kExponentOfOne;
    }
    CertifyPeriod(generator);
    generator->index = kDsfmtStateDoubles;
}

void RefillRandom(DsfmtRandom* generator) {
    uint64_t* lanes = generator->lanes;
    uint64_t lung[2] = {lanes[kLung], lanes[kLung + 1]};
    for (int i = 0; i < kDsfmtStateWords; ++i) {
        int partner = (i + kPos1) % kDsfmtStateWords;
        Recur(&lanes[2 * i], &lanes[2 * partner], lung);
    }
    lanes[kLung] = lung[0];
    lanes[kLung + 1] = lung[1];
}

double NextRandomUnit(DsfmtRandom* generator) {
    if (generator->index >= kDsfmtStateDoubles || generator->index < 0) {
        RefillRandom(generator);
        generator->index = 0;
    }
    double value = std::bit_cast<double>(generator->lanes[generator->index]);
    ++generator->index;
    return value - 1.0;
}

int RandomInt(int n) {
    return static_cast<int>(n * NextRandomUnit(&PlayRandom));
}

double RandomReal(double x) {
    return NextRandomUnit(&PlayRandom) * x;
}
