// The stretch kernels of both depths, direct and paletted sources: the rule
// engines of the blit walked by the 16.16 stretch walk. Against the blit, the
// stretch keeps only the whole-pixel copies and mode 11's finer green among
// the white-only variants (no halving, mix, dropped-low-bits add or pair
// loops), lets alpha 0 skip in every mode when the transparent flag is on, and
// blends an alpha source by its alpha in copy mode with the flag off.
#include "softrender/blit_internal.h"
#include "softrender/rules32.h"
#include "softrender/rules565.h"
#include "softrender/stretch_internal.h"

namespace tessel::soft {

int g_stretchUseFastPaths = 1;

namespace {

// An alpha source with the transparent flag on skips its alpha-0 pixels.
struct ZeroAlpha {
    bool operator()(const Texel& t) const { return t.alpha == 0; }
};

struct Depth32 {
    using Consts = Consts32;
    using Direct = Fetch32;
    using WithAlpha = Fetch32;
    static constexpr int kBytes = 4;
    static uint32_t Load(const uint8_t* p) { return Load32(p); }
    static void Store(uint8_t* p, uint32_t v) { Store32(p, v); }
    static uint32_t Add(uint32_t d, uint32_t v) { return PackedAdd32(d, v); }
    static uint32_t Subtract(uint32_t d, uint32_t v) { return PackedSub32(d, v); }
    template <uint32_t Mode, bool Mask, bool Alpha, bool FineGreen>
    static uint32_t Blend(uint32_t d, uint32_t s, uint32_t a, uint32_t f, const Consts& k) {
        return Blend32<Mode, Mask, Alpha>(d, s, a, f, k);
    }
};

struct Depth565 {
    using Consts = Consts565;
    using Direct = Fetch565<2>;
    using WithAlpha = Fetch565<4>;
    static constexpr int kBytes = 2;
    static uint32_t Load(const uint8_t* p) { return Load16(p); }
    static void Store(uint8_t* p, uint32_t v) { Store16(p, v); }
    static uint32_t Add(uint32_t d, uint32_t v) { return PackedAdd565(d, v); }
    static uint32_t Subtract(uint32_t d, uint32_t v) { return PackedSub565(d, v); }
    template <uint32_t Mode, bool Mask, bool Alpha, bool FineGreen>
    static uint32_t Blend(uint32_t d, uint32_t s, uint32_t a, uint32_t f, const Consts& k) {
        return Blend565<Mode, Mask, Alpha, FineGreen>(d, s, a, f, k);
    }
};

// One kernel. Whole: the white, unmasked copy stores the source pixel whole
// wherever no alpha factor applies. FineGreen: mode 11's white, unmasked rule
// with alpha.
template <class D, uint32_t Mode, bool Mask, AlphaUse A, bool Strict, bool Whole, bool FineGreen,
          class Fetch, class Skip>
void Kernel(const StretchSetup& s, const typename D::Consts& k, Fetch fetch, Skip skip) {
    WalkStretch<D::kBytes, Strict, Mask>(
        s.call, fetch, skip, [&k](uint8_t* dp, const Texel& t, uint32_t f) {
            if constexpr (A != AlphaUse::kNone) {
                if (A == AlphaUse::kAlways || t.alpha != 255) {
                    D::Store(dp, D::template Blend<Mode, Mask, true, FineGreen>(
                                     D::Load(dp), t.colour, t.alpha, f, k));
                    return;
                }
            }
            if constexpr (Whole) {
                D::Store(dp, t.colour);
            } else {
                D::Store(dp, D::template Blend<Mode, Mask, false, false>(D::Load(dp), t.colour, 0,
                                                                         f, k));
            }
        });
}

// Modes 2 and 3 without a mask: the value added or subtracted depends on the
// source pixel alone, so it is worked out once per source pixel (the add onto
// 0 is that value itself) and each destination pixel only takes the packed
// add or subtract.
template <class D, uint32_t Mode, AlphaUse A, bool Strict, class Fetch, class Skip>
void AddOrSubtract(const StretchSetup& s, const typename D::Consts& k, Fetch fetch, Skip skip) {
    const auto value = [fetch, &k](const uint8_t* p) {
        Texel t = fetch(p);
        const bool alpha = A == AlphaUse::kAlways || (A == AlphaUse::kKeyed && t.alpha != 255);
        t.colour =
            alpha ? D::template Blend<kBlendAdd, false, true, false>(0, t.colour, t.alpha, 0, k)
                  : D::template Blend<kBlendAdd, false, false, false>(0, t.colour, 0, 0, k);
        return t;
    };
    WalkStretch<D::kBytes, Strict, false>(
        s.call, value, skip, [](uint8_t* dp, const Texel& t, uint32_t) {
            const uint32_t d = D::Load(dp);
            D::Store(dp, Mode == kBlendAdd ? D::Add(d, t.colour) : D::Subtract(d, t.colour));
        });
}

template <class D, class Fetch, class Skip>
void ByMode(const StretchSetup& s, const typename D::Consts& k, Fetch fetch, Skip skip,
            AlphaUse alpha) {
    WithRule(s.mode, s.call.mask != nullptr, alpha, [&]<uint32_t Mode, bool Mask, AlphaUse A>() {
        constexpr bool kMayWalkStrictly =
            !Mask && A == AlphaUse::kNone && (Mode == kBlendCopy || Mode == kBlendSubtract);
        constexpr bool kMayCopyWhole = Mode == kBlendCopy && !Mask && A != AlphaUse::kAlways;
        constexpr bool kMayFineGreen = Mode == kBlendMultiplyAlpha && !Mask && A != AlphaUse::kNone;
        if constexpr ((Mode == kBlendAdd || Mode == kBlendSubtract) && !Mask) {
            if (s.strict) {
                return AddOrSubtract<D, Mode, A, true>(s, k, fetch, skip);
            }
            return AddOrSubtract<D, Mode, A, false>(s, k, fetch, skip);
        }
        if constexpr (kMayWalkStrictly) {
            if (s.strict) {
                return Kernel<D, Mode, Mask, A, true, Mode == kBlendCopy, false>(s, k, fetch, skip);
            }
        }
        if constexpr (kMayCopyWhole || kMayFineGreen) {
            if (k.white) {
                return Kernel<D, Mode, Mask, A, false, kMayCopyWhole, kMayFineGreen>(s, k, fetch,
                                                                                     skip);
            }
        }
        Kernel<D, Mode, Mask, A, false, false, false>(s, k, fetch, skip);
    });
}

// Fetch and skip policies by source kind, then the mode's kernel.
template <class D>
void ByKind(const StretchSetup& s, const typename D::Consts& k) {
    if (s.palette != nullptr) {
        const FetchPalette<D::kBytes> fetch{s.palette};
        // A transparent value above 255 matches no index.
        if (s.trans && s.key <= 255) {
            return ByMode<D>(s, k, fetch, Key{s.key}, AlphaUse::kNone);
        }
        return ByMode<D>(s, k, fetch, NoKey{}, AlphaUse::kNone);
    }
    if (s.alphaSource) {
        const typename D::WithAlpha fetch{};
        if (s.trans) {
            return ByMode<D>(s, k, fetch, ZeroAlpha{}, AlphaUse::kKeyed);
        }
        return ByMode<D>(s, k, fetch, NoKey{}, AlphaUse::kAlways);
    }
    const auto run = [&](auto fetch) {
        if (s.trans) {
            return ByMode<D>(s, k, fetch, Key{s.key}, AlphaUse::kNone);
        }
        ByMode<D>(s, k, fetch, NoKey{}, AlphaUse::kNone);
    };
    if constexpr (D::kBytes == 2) {
        if (s.srcBytes == 4) {
            return run(Fetch565<4>{});  // an RGB565 store of 4 bytes a pixel, alpha flag off
        }
    }
    run(typename D::Direct{});
}

bool TryFastPath(const StretchSetup& s, bool white, int dstBytes) {
    return g_stretchUseFastPaths != 0 && white && s.call.mask == nullptr &&
           StretchFastPath(s, dstBytes);
}

}  // namespace

void Stretch32(const StretchSetup& s) {
    const Consts32 k = MakeConsts32(*s.tables, s.p, s.brightness);
    if (TryFastPath(s, k.white, 4)) {
        return;
    }
    ByKind<Depth32>(s, k);
}

void Stretch565(const StretchSetup& s) {
    const Consts565 k = MakeConsts565(*s.tables, s.p, s.brightness);
    if (TryFastPath(s, k.white, 2)) {
        return;
    }
    ByKind<Depth565>(s, k);
}

}  // namespace tessel::soft
