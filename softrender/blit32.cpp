// The blit's 32-bit kernels, direct and paletted sources: the variant is
// chosen once per call (white-only variants first, then the rule engine
// instantiated for mode, mask and the use of alpha) and the row walk runs it.
#include "softrender/blit_fast_internal.h"
#include "softrender/blit_internal.h"
#include "softrender/rules32.h"
#include "softrender/texel32_internal.h"

namespace tessel::soft {

namespace {

template <uint32_t Mode, bool Mask, AlphaUse A, class Fetch, class Skip>
void Generic32(const BlitSetup& s, const Consts32& k, Fetch fetch, Skip skip) {
    WalkBlit<4, Mask>(s.call, fetch, skip, [&k](uint8_t* dp, const Texel& t, uint32_t f) {
        PutTexel32<Mode, Mask, A>(dp, t, f, k);
    });
}

template <class Fetch, class Skip>
void ByMode32(const BlitSetup& s, const Consts32& k, Fetch fetch, Skip skip, AlphaUse alpha) {
    WithRule(s.mode, s.call.mask != nullptr, alpha, [&]<uint32_t Mode, bool Mask, AlphaUse A>() {
        Generic32<Mode, Mask, A>(s, k, fetch, skip);
    });
}

// The white-only variants without a mask; false when none applies.
template <class Fetch, class Skip>
bool WhiteVariant32(const BlitSetup& s, Fetch fetch, Skip skip, bool alphaSource) {
    auto run = [&](auto rule) {
        WalkBlit<4, false>(s.call, fetch, skip, [rule](uint8_t* dp, const Texel& t, uint32_t) {
            Store32(dp, rule(Load32(dp), t.colour));
        });
        return true;
    };
    if (s.mode == kBlendCopy && (!alphaSource || !s.trans)) {
        return run(CopyWhole32);
    }
    if (alphaSource) {
        return false;
    }
    if (s.mode == kBlendAlpha && s.p == 128) {
        return run(Halve32);
    }
    if (s.mode == kBlendAdd && s.p == 255) {
        return run(AddWhole32);
    }
    return false;
}

template <class Fetch, class Skip>
void Choose32(const BlitSetup& s, const Consts32& k, Fetch fetch, Skip skip, AlphaUse alpha) {
    if (k.white && s.call.mask == nullptr &&
        WhiteVariant32(s, fetch, skip, alpha != AlphaUse::kNone)) {
        return;
    }
    ByMode32(s, k, fetch, skip, alpha);
}

}  // namespace

void Blit32(const BlitSetup& s) {
    const Consts32 k = MakeConsts32(*s.tables, s.p, s.brightness);
    if (s.palette != nullptr) {
        const FetchPalette<4> fetch{s.palette};
        // A transparent value above 255 matches no index.
        if (s.trans && s.key <= 255) {
            return Choose32(s, k, fetch, Key{s.key}, AlphaUse::kNone);
        }
        return Choose32(s, k, fetch, NoKey{}, AlphaUse::kNone);
    }
    if (k.white && s.call.mask == nullptr && FastPath32(s)) {
        return;
    }
    if (s.alphaSource) {
        return Choose32(s, k, Fetch32{}, NoKey{}, s.trans ? AlphaUse::kKeyed : AlphaUse::kAlways);
    }
    if (s.trans) {
        return Choose32(s, k, Fetch32{}, Key{s.key}, AlphaUse::kNone);
    }
    Choose32(s, k, Fetch32{}, NoKey{}, AlphaUse::kNone);
}

}  // namespace tessel::soft
