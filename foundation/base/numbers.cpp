#include "foundation/base/numbers.h"

#include <cfenv>
#include <cmath>
#include <cstring>

namespace tessel {

namespace {

// The open interval of doubles that truncate into int32. Out of it, and for
// NaN (every comparison false), the x86 truncating conversion gives the
// "integer indefinite" value; in C++ the conversion would be undefined.
constexpr double kBelowInt32Min = -2147483649.0;
constexpr double kAboveInt32Max = 2147483648.0;
constexpr int32_t kIntegerIndefinite = INT32_MIN;

// The pairs computed last, by the angle's bits and the rounding mode they
// were computed under: a frame turns each sprite's images by one angle
// several times over (a bullet's glow, body and core), and the extended
// precision pair costs more than the rest of a small sprite's vertices.
struct SinCosEntry {
    uint32_t bits;
    int32_t modePlusOne;  // 0: never filled
    float sine;
    float cosine;
};
constexpr int kSinCosSlotBits = 10;
thread_local SinCosEntry t_sinCos[1u << kSinCosSlotBits];

SinCosEntry& SinCosSlot(uint32_t bits) {
    return t_sinCos[(bits * 0x9E3779B1u) >> (32 - kSinCosSlotBits)];
}

}  // namespace

void SinCos(float angle, float* sine, float* cosine) {
    uint32_t bits = 0;
    std::memcpy(&bits, &angle, sizeof bits);
    const int32_t modePlusOne = std::fegetround() + 1;
    SinCosEntry& entry = SinCosSlot(bits);
    if (entry.bits != bits || entry.modePlusOne != modePlusOne) {
        const long double a = angle;
        entry = SinCosEntry{bits, modePlusOne, static_cast<float>(std::sin(a)),
                            static_cast<float>(std::cos(a))};
    }
    *sine = entry.sine;
    *cosine = entry.cosine;
}

int32_t AbsInt(int32_t v) {
    return v < 0 ? static_cast<int32_t>(0u - static_cast<uint32_t>(v)) : v;
}

float AbsFloat(float v) {
    return v < 0.0f ? -v : v;
}

// C++ conversion truncates toward zero whatever the rounding mode is, so the
// mode needs no switching here.
int32_t TruncDoubleToInt(double v) {
    if (!(v > kBelowInt32Min && v < kAboveInt32Max)) {
        return kIntegerIndefinite;
    }
    return static_cast<int32_t>(v);
}

int32_t TruncFloatToInt(float v) {
    return TruncDoubleToInt(static_cast<double>(v));
}

void TruncDouble4ToInt4(const double values[4], int32_t out[4]) {
    for (int i = 0; i < 4; ++i) {
        out[i] = TruncDoubleToInt(values[i]);
    }
}

float SqrtFloat(float v) {
    return std::sqrt(v);
}

double PowF(float x, float y) {
    return std::pow(static_cast<double>(x), static_cast<double>(y));
}

double Atan2F(float y, float x) {
    return std::atan2(static_cast<double>(y), static_cast<double>(x));
}

double AsinF(float v) {
    return std::asin(static_cast<double>(v));
}

double AcosF(float v) {
    return std::acos(static_cast<double>(v));
}

void MulU64To128(uint64_t a, uint64_t b, uint32_t out[4]) {
    unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<uint32_t>(product >> (32 * i));
    }
}

int DivU128By64(const uint32_t dividend[4], uint64_t divisor, uint64_t* quotient) {
    if (divisor == 0) {
        *quotient = 0;
        return -1;
    }
    unsigned __int128 value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 32) | dividend[i];
    }
    unsigned __int128 result = value / divisor;
    if ((result >> 64) != 0) {
        *quotient = UINT64_MAX;
        return -1;
    }
    *quotient = static_cast<uint64_t>(result);
    return 0;
}

}  // namespace tessel
