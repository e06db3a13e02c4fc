// The blit's RGB565 kernels, direct (2-byte, or 4-byte with alpha) and
// paletted sources: white-only variants first (whole copies, the halving and
// 6-bit mix of mode 1, the pair loops of modes 2 and 3 at 255), then the rule
// engine instantiated for mode, mask and the use of alpha.
#include "softrender/blit_internal.h"
#include "softrender/rules565.h"

namespace tessel::soft {

namespace {

// As in the 32-bit kernels: alpha not used, a factor of every pixel, or
// deciding per pixel (0 skips except in mode 4, 255 drops the factor).
enum class AlphaUse { kNone, kAlways, kKeyed };

template <uint32_t Mode, bool Mask, AlphaUse A, bool FineGreen, class Fetch, class Skip>
void Generic565(const BlitSetup& s, const Consts565& k, Fetch fetch, Skip skip) {
    WalkBlit<2, Mask>(s.call, fetch, skip, [&k](uint8_t* dp, const Texel& t, uint32_t f) {
        const uint32_t d = Load16(dp);
        if constexpr (A == AlphaUse::kKeyed) {
            if (t.alpha == 0 && Mode != kBlendMultiply) {
                return;
            }
            if (t.alpha == 255) {
                Store16(dp, Blend565<Mode, Mask, false>(d, t.colour, 0, f, k));
                return;
            }
        }
        Store16(dp,
                Blend565<Mode, Mask, A != AlphaUse::kNone, FineGreen>(d, t.colour, t.alpha, f, k));
    });
}

template <uint32_t Mode, class Fetch, class Skip>
void ByFlags565(const BlitSetup& s, const Consts565& k, Fetch fetch, Skip skip, AlphaUse alpha) {
    const bool mask = s.call.mask != nullptr;
    // Mode 11's white rule with alpha keeps a finer green.
    constexpr bool kMode11 = Mode == kBlendMultiplyAlpha;
    const bool fine = kMode11 && k.white && !mask;
    switch (alpha) {
        case AlphaUse::kNone:
            return mask ? Generic565<Mode, true, AlphaUse::kNone, false>(s, k, fetch, skip)
                        : Generic565<Mode, false, AlphaUse::kNone, false>(s, k, fetch, skip);
        case AlphaUse::kAlways:
            if (mask) {
                return Generic565<Mode, true, AlphaUse::kAlways, false>(s, k, fetch, skip);
            }
            return fine ? Generic565<Mode, false, AlphaUse::kAlways, kMode11>(s, k, fetch, skip)
                        : Generic565<Mode, false, AlphaUse::kAlways, false>(s, k, fetch, skip);
        case AlphaUse::kKeyed:
            if (mask) {
                return Generic565<Mode, true, AlphaUse::kKeyed, false>(s, k, fetch, skip);
            }
            return fine ? Generic565<Mode, false, AlphaUse::kKeyed, kMode11>(s, k, fetch, skip)
                        : Generic565<Mode, false, AlphaUse::kKeyed, false>(s, k, fetch, skip);
    }
}

template <class Fetch, class Skip>
void ByMode565(const BlitSetup& s, const Consts565& k, Fetch fetch, Skip skip, AlphaUse alpha) {
    switch (s.mode) {
        case kBlendCopy:
            return ByFlags565<kBlendCopy>(s, k, fetch, skip, alpha);
        case kBlendAlpha:
            return ByFlags565<kBlendAlpha>(s, k, fetch, skip, alpha);
        case kBlendAdd:
            return ByFlags565<kBlendAdd>(s, k, fetch, skip, alpha);
        case kBlendSubtract:
            return ByFlags565<kBlendSubtract>(s, k, fetch, skip, alpha);
        case kBlendMultiply:
            return ByFlags565<kBlendMultiply>(s, k, fetch, skip, alpha);
        case kBlendInvert:
            return ByFlags565<kBlendInvert>(s, k, fetch, skip, alpha);
        case kBlendMultiplyAlpha:
            return ByFlags565<kBlendMultiplyAlpha>(s, k, fetch, skip, alpha);
        default:
            return;
    }
}

// The white-only variants without a mask; false when none applies.
template <class Fetch, class Skip>
bool WhiteVariant565(const BlitSetup& s, const Consts565& k, Fetch fetch, Skip skip,
                     bool alphaSource) {
    auto run = [&](auto rule) {
        WalkBlit<2, false>(s.call, fetch, skip, [rule](uint8_t* dp, const Texel& t, uint32_t) {
            Store16(dp, rule(Load16(dp), t.colour));
        });
        return true;
    };
    if (s.mode == kBlendCopy && (!alphaSource || !s.trans)) {
        return run(CopyWhole565);
    }
    if (alphaSource) {
        return false;
    }
    if (s.mode == kBlendAlpha) {
        if (s.p == 128) {
            return run(Halve565);
        }
        const uint8_t(*mix)[64] = k.mix;
        return run([mix](uint32_t d, uint32_t c) { return MixWhite565(d, c, mix); });
    }
    if (s.mode == kBlendAdd && s.p == 255) {
        WalkPairs565(s.call, fetch, skip, PairAdd565, PackedAddDropLow565);
        return true;
    }
    if (s.mode == kBlendSubtract && s.p == 255) {
        WalkPairs565(s.call, fetch, skip, PairSub565, PackedSub565);
        return true;
    }
    return false;
}

template <class Fetch, class Skip>
void Choose565(const BlitSetup& s, const Consts565& k, Fetch fetch, Skip skip, AlphaUse alpha) {
    if (k.white && s.call.mask == nullptr &&
        WhiteVariant565(s, k, fetch, skip, alpha != AlphaUse::kNone)) {
        return;
    }
    ByMode565(s, k, fetch, skip, alpha);
}

}  // namespace

void Blit565(const BlitSetup& s) {
    const BlendTables& t = *s.tables;
    Consts565 k{};
    k.p = s.p;
    k.scaleP = ScaleRow(t, s.p);
    k.delta = DeltaRow(t, s.p);
    k.mix = MixBlock(t, s.p);
    k.white = IsWhite(s.brightness);
    for (int i = 0; i < 3; ++i) {
        k.bright[i] = ScaleRow(t, k.white ? 255 : (s.brightness >> (8 * i)) & 0xFF);
    }
    if (s.palette != nullptr) {
        const FetchPalette<2> fetch{s.palette};
        if (s.trans && s.key <= 255) {
            return Choose565(s, k, fetch, Key{s.key}, AlphaUse::kNone);
        }
        return Choose565(s, k, fetch, NoKey{}, AlphaUse::kNone);
    }
    if (s.alphaSource) {
        return Choose565(s, k, Fetch565<4>{}, NoKey{},
                         s.trans ? AlphaUse::kKeyed : AlphaUse::kAlways);
    }
    const auto run = [&](auto fetch) {
        if (s.trans) {
            return Choose565(s, k, fetch, Key{s.key}, AlphaUse::kNone);
        }
        Choose565(s, k, fetch, NoKey{}, AlphaUse::kNone);
    };
    if (s.srcBytes == 4) {
        return run(Fetch565<4>{});
    }
    run(Fetch565<2>{});
}

}  // namespace tessel::soft
