// The blit's RGB565 kernels, direct (2-byte, or 4-byte with alpha) and
// paletted sources: white-only variants first (whole copies, the halving and
// 6-bit mix of mode 1, the pair loops of modes 2 and 3 at 255), then the rule
// engine instantiated for mode, mask and the use of alpha.
#include "softrender/blit_fast_internal.h"
#include "softrender/blit_internal.h"
#include "softrender/rules565.h"
#include "softrender/texel565_internal.h"

namespace tessel::soft {

namespace {

template <uint32_t Mode, bool Mask, AlphaUse A, bool FineGreen, class Fetch, class Skip>
void Generic565(const BlitSetup& s, const Consts565& k, Fetch fetch, Skip skip) {
    WalkBlit<2, Mask>(s.call, fetch, skip, [&k](uint8_t* dp, const Texel& t, uint32_t f) {
        PutTexel565<Mode, Mask, A, FineGreen>(dp, t, f, k);
    });
}

// Mode 11's white, unmasked rule with alpha keeps a finer green.
template <class Fetch, class Skip>
void ByMode565(const BlitSetup& s, const Consts565& k, Fetch fetch, Skip skip, AlphaUse alpha) {
    WithRule(s.mode, s.call.mask != nullptr, alpha, [&]<uint32_t Mode, bool Mask, AlphaUse A>() {
        if constexpr (Mode == kBlendMultiplyAlpha && !Mask && A != AlphaUse::kNone) {
            if (k.white) {
                return Generic565<Mode, Mask, A, true>(s, k, fetch, skip);
            }
        }
        Generic565<Mode, Mask, A, false>(s, k, fetch, skip);
    });
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
    const Consts565 k = MakeConsts565(*s.tables, s.p, s.brightness);
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
    if (k.white && s.call.mask == nullptr && FastPath565(s)) {
        return;
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
