// Copying a rectangle between two pixel formats. Routes, tried in this
// order for each call: (1) two different palettes matched colour by colour,
// (2) into an 8-bit destination (indices copied, or colours matched into
// the palette), (3) the same format on both sides (rows copied, with key
// and mirror), (4) a colour key turned into alpha bits, (5) a fixed pair of
// common formats as a template over the pair, (6) the generic rule, one
// pixel at a time through each field's width, with ordered or carried
// dithering. g_convertUseFixedPairs = 0 sends (5) to (6) for comparison.
// Not here: clipping (the caller keeps both rectangles inside), scaling.
#include "images/convert.h"

#include <cstddef>
#include <cstring>

namespace tessel {

int g_convertUseFixedPairs = 1;

namespace {

constexpr uint8_t kOrderedDither[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};

uint32_t PaletteValue(const PaletteEntry& e) {
    return e.blue | (uint32_t{e.green} << 8) | (uint32_t{e.red} << 16) | (uint32_t{e.alpha} << 24);
}

// Everything one call works with, prepared once.
struct ConvertJob {
    uint8_t* dst;
    ptrdiff_t dstPitch;
    PixelFormatDesc dstFormat;
    const uint8_t* src;
    ptrdiff_t srcPitch;
    PixelFormatDesc srcFormat;
    const uint8_t* alpha;
    ptrdiff_t alphaPitch;
    PixelFormatDesc alphaFormat;
    int dstX;
    int dstY;
    int left;
    int top;
    int width;
    int height;
    bool mirror;
    bool colorKey;
    uint32_t keyColor;
    int ditherMode;
    bool alphaOnly;
    bool redAsAlpha;
    bool transparentCopy;
    bool paletteRemap;
    bool alphaFilled;     // the destination's alpha comes from the source or an alpha image
    bool alphaFromImage;  // ... from the alpha image
};

const uint8_t* SourcePixel(const ConvertJob& job, int i, int j) {
    return job.src + (job.top + j) * job.srcPitch +
           static_cast<ptrdiff_t>(job.left + i) * job.srcFormat.bytes;
}

const uint8_t* AlphaPixel(const ConvertJob& job, int i, int j) {
    return job.alpha + (job.top + j) * job.alphaPitch +
           static_cast<ptrdiff_t>(job.left + i) * job.alphaFormat.bytes;
}

// Destination of the rectangle's column i, honouring the mirror.
uint8_t* DestPixel(const ConvertJob& job, int i, int j) {
    int column = job.mirror ? job.width - 1 - i : i;
    return job.dst + (job.dstY + j) * job.dstPitch +
           static_cast<ptrdiff_t>(job.dstX + column) * job.dstFormat.bytes;
}

// The value of a pixel as the generic rule sees it: palette sources give their
// entry as blue, green, red, alpha bytes.
uint32_t ReadColorValue(const PixelFormatDesc& format, const uint8_t* p) {
    if (format.bytes == 1) {
        return PaletteValue(format.palette[p[0]]);
    }
    return LoadPixelValue(p, format.bytes);
}

uint32_t ColorMask(const PixelFormatDesc& f) {
    return f.redMask | f.greenMask | f.blueMask;
}

// The key colour's red, green and blue fields in the source format (palette
// sources: those of the entry the key matches).
uint32_t KeyFieldsInSource(const ConvertJob& job) {
    const PixelFormatDesc& f = job.srcFormat;
    uint32_t key = job.keyColor;
    uint32_t encoded = EncodePixelColor(&f, (key >> 16) & 255, (key >> 8) & 255, key & 255, 0);
    if (f.bytes == 1) {
        encoded = PaletteValue(f.palette[encoded & 255]);
    }
    return encoded & ColorMask(f);
}

// Width conversion of the generic rule for a field that gains bits: the new
// low bits repeat the value's scale, so that full intensity stays full.
uint32_t WidenField(uint32_t v, int from, int to) {
    if (from == 0) {
        return 0;
    }
    int gain = to - from;
    return (v << gain) + v * LowBitsMask(gain) / LowBitsMask(from);
}

uint32_t ToEightBits(uint32_t v, int width) {
    if (width >= 8) {
        return v >> (width - 8);
    }
    return WidenField(v, width, 8);
}

// ---------------------------------------------------------------------------
// Path 1: two palettes matched colour by colour.

int RemapPalette(const ConvertJob& job) {
    uint8_t map[256];
    for (int k = 0; k < 256; ++k) {
        const PaletteEntry& e = job.srcFormat.palette[k];
        map[k] = static_cast<uint8_t>(EncodePixelColor(&job.dstFormat, e.red, e.green, e.blue, 0));
    }
    for (int j = 0; j < job.height; ++j) {
        for (int i = 0; i < job.width; ++i) {
            *DestPixel(job, i, j) = map[*SourcePixel(job, i, j)];
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Path 2: into an 8-bit destination.

int CopyIndices(const ConvertJob& job) {
    int highest = 0;
    for (int j = 0; j < job.height; ++j) {
        const uint8_t* src = SourcePixel(job, 0, j);
        if (!job.mirror) {
            std::memcpy(DestPixel(job, 0, j), src, static_cast<size_t>(job.width));
        }
        for (int i = 0; i < job.width; ++i) {
            if (src[i] > highest) {
                highest = src[i];
            }
            if (job.mirror) {
                *DestPixel(job, i, j) = src[i];
            }
        }
    }
    return highest;
}

// Fields of any width are brought to 8 bits before the palette match, which
// expects 0..255 channels. This path neither keys nor mirrors: a transparent
// copy into a palette writes every pixel.
int MatchIntoPalette(const ConvertJob& job) {
    const PixelFormatDesc& s = job.srcFormat;
    uint32_t lastRaw = 0;
    uint8_t lastIndex = 0;
    bool haveLast = false;
    for (int j = 0; j < job.height; ++j) {
        for (int i = 0; i < job.width; ++i) {
            uint32_t raw = LoadPixelValue(SourcePixel(job, i, j), s.bytes);
            if (!haveLast || raw != lastRaw) {
                int r = static_cast<int>(ToEightBits((raw & s.redMask) >> s.redShift, s.redWidth));
                int g = static_cast<int>(
                    ToEightBits((raw & s.greenMask) >> s.greenShift, s.greenWidth));
                int b =
                    static_cast<int>(ToEightBits((raw & s.blueMask) >> s.blueShift, s.blueWidth));
                int a = static_cast<int>(
                    ToEightBits((raw & s.alphaMask) >> s.alphaShift, s.alphaWidth));
                lastIndex = static_cast<uint8_t>(EncodePixelColor(&job.dstFormat, r, g, b, a));
                lastRaw = raw;
                haveLast = true;
            }
            *DestPixel(job, i, j) = lastIndex;
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Path 3: the same format on both sides.

bool SameFormat(const ConvertJob& job) {
    const PixelFormatDesc& d = job.dstFormat;
    const PixelFormatDesc& s = job.srcFormat;
    return !job.colorKey && job.alpha == nullptr && !job.alphaOnly && !job.redAsAlpha &&
           d.bits == s.bits && d.redMask == s.redMask && d.greenMask == s.greenMask &&
           d.blueMask == s.blueMask && d.alphaMask == s.alphaMask;
}

int CopySameFormat(const ConvertJob& job) {
    int bytes = job.srcFormat.bytes;
    if (!job.mirror && !job.transparentCopy) {
        for (int j = 0; j < job.height; ++j) {
            std::memcpy(DestPixel(job, 0, j), SourcePixel(job, 0, j),
                        static_cast<size_t>(job.width) * bytes);
        }
        return 0;
    }
    uint32_t byteMask = LowBitsMask(bytes * 8);
    for (int j = 0; j < job.height; ++j) {
        for (int i = 0; i < job.width; ++i) {
            const uint8_t* src = SourcePixel(job, i, j);
            uint32_t raw = LoadPixelValue(src, bytes);
            if (job.transparentCopy && (raw & byteMask) == job.keyColor) {
                continue;
            }
            StorePixelValue(DestPixel(job, i, j), bytes, raw);
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Path 4: the colour key turned into the destination's alpha bits.

bool KeyIntoAlpha(const ConvertJob& job) {
    const PixelFormatDesc& d = job.dstFormat;
    const PixelFormatDesc& s = job.srcFormat;
    return !job.transparentCopy && d.alphaWidth != 0 && job.colorKey && !job.alphaOnly &&
           !job.redAsAlpha && d.bits == s.bits && d.redMask == s.redMask &&
           d.greenMask == s.greenMask && d.blueMask == s.blueMask;
}

int CopyKeyIntoAlpha(const ConvertJob& job) {
    const PixelFormatDesc& d = job.dstFormat;
    uint32_t key = job.keyColor;
    uint32_t keyValue = EncodePixelColor(&d, (key >> 16) & 255, (key >> 8) & 255, key & 255, 255);
    // Only the colour bits decide; whatever else the pixel holds plays no part.
    uint32_t colorMask = ColorMask(d);
    uint32_t keyColorBits = keyValue & colorMask;
    int bytes = d.bytes;
    for (int j = 0; j < job.height; ++j) {
        for (int i = 0; i < job.width; ++i) {
            uint32_t raw = LoadPixelValue(SourcePixel(job, i, j), bytes);
            uint32_t out =
                (raw & colorMask) == keyColorBits ? raw & ~d.alphaMask : raw | d.alphaMask;
            StorePixelValue(DestPixel(job, i, j), bytes, out);
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Path 5: fixed pairs. Channels go through 8 bits with zero low bits: narrowing
// drops bits, widening shifts left.

enum class Fixed { kOther, kPal8, kRgb565, kRgb555, kArgb1555, kRgb24, kXrgb32, kArgb32 };

Fixed ClassifyFixed(const PixelFormatDesc& f) {
    if (f.bytes == 1) {
        return Fixed::kPal8;
    }
    uint32_t r = f.redMask;
    uint32_t g = f.greenMask;
    uint32_t b = f.blueMask;
    uint32_t a = f.alphaMask;
    if (f.bits == 16 && r == 0xF800 && g == 0x7E0 && b == 0x1F && a == 0) {
        return Fixed::kRgb565;
    }
    if (f.bits == 16 && r == 0x7C00 && g == 0x3E0 && b == 0x1F) {
        if (a == 0) {
            return Fixed::kRgb555;
        }
        return a == 0x8000 ? Fixed::kArgb1555 : Fixed::kOther;
    }
    bool rgb8 = r == 0xFF0000 && g == 0xFF00 && b == 0xFF;
    if (f.bits == 24 && rgb8 && a == 0) {
        return Fixed::kRgb24;
    }
    if (f.bits == 32 && rgb8) {
        if (a == 0) {
            return Fixed::kXrgb32;
        }
        return a == 0xFF000000u ? Fixed::kArgb32 : Fixed::kOther;
    }
    return Fixed::kOther;
}

struct Rgb8 {
    uint32_t r;
    uint32_t g;
    uint32_t b;
    uint32_t colorBits;  // the raw red, green and blue fields, for the key
};

template <Fixed S>
inline Rgb8 LoadFixed(const uint8_t* p, const PaletteEntry* palette) {
    if constexpr (S == Fixed::kPal8) {
        const PaletteEntry& e = palette[p[0]];
        return {e.red, e.green, e.blue, PaletteValue(e) & 0xFFFFFFu};
    } else if constexpr (S == Fixed::kRgb565) {
        uint32_t v = p[0] | (uint32_t{p[1]} << 8);
        return {(v >> 8) & 0xF8, (v >> 3) & 0xFC, (v << 3) & 0xF8, v};
    } else if constexpr (S == Fixed::kRgb555) {
        uint32_t v = p[0] | (uint32_t{p[1]} << 8);
        return {(v >> 7) & 0xF8, (v >> 2) & 0xF8, (v << 3) & 0xF8, v & 0x7FFF};
    } else if constexpr (S == Fixed::kRgb24) {
        return {p[2], p[1], p[0], p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16)};
    } else {
        // Any 32-bit source with 8-bit colour bytes; its top byte plays no part.
        return {p[2], p[1], p[0], p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16)};
    }
}

// `fill` holds the bits the destination gets outside its colour channels.
template <Fixed D>
inline void StoreFixed(uint8_t* p, const Rgb8& c, uint32_t fill) {
    if constexpr (D == Fixed::kRgb565) {
        uint32_t v = ((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3);
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
    } else if constexpr (D == Fixed::kRgb555 || D == Fixed::kArgb1555) {
        uint32_t v = ((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3) | fill;
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
    } else if constexpr (D == Fixed::kRgb24) {
        p[0] = static_cast<uint8_t>(c.b);
        p[1] = static_cast<uint8_t>(c.g);
        p[2] = static_cast<uint8_t>(c.r);
    } else {
        p[0] = static_cast<uint8_t>(c.b);
        p[1] = static_cast<uint8_t>(c.g);
        p[2] = static_cast<uint8_t>(c.r);
        p[3] = static_cast<uint8_t>(fill >> 24);
    }
}

template <Fixed S, Fixed D>
void RunFixedPair(const ConvertJob& job) {
    constexpr int kSrcBytes = S == Fixed::kPal8
                                  ? 1
                                  : (S == Fixed::kRgb24                             ? 3
                                     : (S == Fixed::kRgb565 || S == Fixed::kRgb555) ? 2
                                                                                    : 4);
    constexpr int kDstBytes = D == Fixed::kRgb24                             ? 3
                              : (D == Fixed::kXrgb32 || D == Fixed::kArgb32) ? 4
                                                                             : 2;
    constexpr uint32_t kOutside = kDstBytes == 4 ? 0xFF000000u : (kDstBytes == 2 ? 0x8000u : 0u);
    // 5-6-5 sources leave the outside bits 0; every other source sets them.
    constexpr uint32_t kPlainFill = S == Fixed::kRgb565 ? 0u : kOutside;
    const PaletteEntry* palette = job.srcFormat.palette;
    uint32_t keyFields = job.colorKey ? KeyFieldsInSource(job) : 0;
    for (int j = 0; j < job.height; ++j) {
        const uint8_t* src = SourcePixel(job, 0, j);
        uint8_t* dst = DestPixel(job, 0, j);
        for (int i = 0; i < job.width; ++i) {
            Rgb8 c = LoadFixed<S>(src + i * kSrcBytes, palette);
            uint32_t fill = kPlainFill;
            if (job.colorKey) {
                fill = c.colorBits == keyFields ? 0u : kOutside;
            }
            StoreFixed<D>(dst + i * kDstBytes, c, fill);
        }
    }
}

template <Fixed S>
bool RunFixedFrom(Fixed d, const ConvertJob& job) {
    switch (d) {
        case Fixed::kRgb565:
            RunFixedPair<S, Fixed::kRgb565>(job);
            return true;
        case Fixed::kRgb555:
            RunFixedPair<S, Fixed::kRgb555>(job);
            return true;
        case Fixed::kArgb1555:
            RunFixedPair<S, Fixed::kArgb1555>(job);
            return true;
        case Fixed::kRgb24:
            RunFixedPair<S, Fixed::kRgb24>(job);
            return true;
        case Fixed::kXrgb32:
            RunFixedPair<S, Fixed::kXrgb32>(job);
            return true;
        case Fixed::kArgb32:
            RunFixedPair<S, Fixed::kArgb32>(job);
            return true;
        default:
            return false;
    }
}

bool FixedPairApplies(Fixed s, Fixed d, const ConvertJob& job) {
    if (job.colorKey) {
        bool keyedSource =
            s == Fixed::kPal8 || s == Fixed::kRgb24 || s == Fixed::kRgb565 || s == Fixed::kRgb555;
        return keyedSource && (d == Fixed::kArgb1555 || d == Fixed::kArgb32);
    }
    bool plainDest = d == Fixed::kRgb565 || d == Fixed::kRgb555 || d == Fixed::kXrgb32;
    if ((s == Fixed::kPal8 || s == Fixed::kRgb24) && plainDest) {
        return true;
    }
    if (job.alphaFilled) {
        return false;
    }
    // A 32-bit source with 8-bit colour bytes counts as XRGB whatever its top byte.
    bool xrgbSource = s == Fixed::kXrgb32 || s == Fixed::kArgb32;
    return (xrgbSource && d == Fixed::kRgb565) ||
           (s == Fixed::kRgb565 &&
            (d == Fixed::kRgb24 || d == Fixed::kXrgb32 || d == Fixed::kRgb555)) ||
           (s == Fixed::kRgb555 && d == Fixed::kRgb565);
}

bool TryFixedPair(const ConvertJob& job) {
    if (!g_convertUseFixedPairs || job.ditherMode != kDitherNone || job.alphaOnly ||
        job.redAsAlpha || job.mirror || job.alpha != nullptr || job.transparentCopy) {
        return false;
    }
    Fixed s = ClassifyFixed(job.srcFormat);
    Fixed d = ClassifyFixed(job.dstFormat);
    if (!FixedPairApplies(s, d, job)) {
        return false;
    }
    switch (s) {
        case Fixed::kPal8:
            return RunFixedFrom<Fixed::kPal8>(d, job);
        case Fixed::kRgb565:
            return RunFixedFrom<Fixed::kRgb565>(d, job);
        case Fixed::kRgb555:
            return RunFixedFrom<Fixed::kRgb555>(d, job);
        case Fixed::kRgb24:
            return RunFixedFrom<Fixed::kRgb24>(d, job);
        case Fixed::kXrgb32:
        case Fixed::kArgb32:
            return RunFixedFrom<Fixed::kXrgb32>(d, job);
        default:
            return false;
    }
}

// ---------------------------------------------------------------------------
// Path 6: the generic rule, one pixel at a time.

// One channel's way from its source field to its destination field.
struct ChannelPlan {
    int from;        // source width
    int to;          // destination width
    int shift;       // destination shift
    uint32_t max;    // destination maximum
    uint32_t carry;  // running sum of dropped bits (carried dither)
};

ChannelPlan MakePlan(int from, int to, int shift) {
    return ChannelPlan{from, to, shift, LowBitsMask(to), 0};
}

// The dither mode is a template argument so that each mode gets its own loop.
template <int kMode>
uint32_t ConvertField(uint32_t v, ChannelPlan& plan, bool convert, uint32_t threshold16) {
    uint32_t out = v;
    if (convert && plan.from > plan.to) {
        int dropped = plan.from - plan.to;
        uint32_t lost = v & LowBitsMask(dropped);
        out = v >> dropped;
        if (kMode == kDitherOrdered) {
            if (lost > ((threshold16 << dropped) >> 4)) {
                ++out;
            }
        } else if (kMode == kDitherCarried) {
            plan.carry += lost;
            if (plan.carry > LowBitsMask(dropped)) {
                plan.carry -= LowBitsMask(dropped) + 1;
                ++out;
            }
        }
    } else if (convert && plan.from < plan.to) {
        out = WidenField(v, plan.from, plan.to);
    }
    return out > plan.max ? plan.max : out;
}

enum class AlphaSource { kNone, kImage, kRed, kKey, kFull, kSource };

template <int kMode>
int ConvertGeneric(ConvertJob& job) {
    const PixelFormatDesc& s = job.srcFormat;
    const PixelFormatDesc& d = job.dstFormat;
    const PixelFormatDesc& a = job.alphaFormat;
    bool convert = s.redWidth != d.redWidth || s.greenWidth != d.greenWidth ||
                   (job.alphaFromImage && a.redWidth != d.alphaWidth);
    ChannelPlan red = MakePlan(s.redWidth, d.redWidth, d.redShift);
    ChannelPlan green = MakePlan(s.greenWidth, d.greenWidth, d.greenShift);
    ChannelPlan blue = MakePlan(s.blueWidth, d.blueWidth, d.blueShift);

    AlphaSource alphaSource = AlphaSource::kNone;
    ChannelPlan alpha = MakePlan(0, d.alphaWidth, d.alphaShift);
    if (d.alphaWidth != 0) {
        if (job.alphaFromImage) {
            alphaSource = AlphaSource::kImage;
            alpha.from = a.redWidth;
        } else if (job.redAsAlpha) {
            alphaSource = AlphaSource::kRed;
            alpha.from = s.redWidth;
        } else if (job.colorKey) {
            alphaSource = AlphaSource::kKey;
        } else if (s.alphaWidth == 0) {
            alphaSource = AlphaSource::kFull;
        } else {
            alphaSource = AlphaSource::kSource;
            alpha.from = s.alphaWidth;
        }
    }
    uint32_t keyFields = job.colorKey ? KeyFieldsInSource(job) : 0;
    uint32_t srcColorMask = ColorMask(s);
    uint32_t unusedFill = (d.bytes == 2 || d.bytes == 4) ? d.unusedMask : 0;

    for (int j = 0; j < job.height; ++j) {
        for (int i = 0; i < job.width; ++i) {
            const uint8_t* srcPixel = SourcePixel(job, i, j);
            uint32_t raw = ReadColorValue(s, srcPixel);
            // A palette source's raw value is its entry, so the key names a colour.
            if (job.transparentCopy && raw == job.keyColor) {
                continue;
            }
            uint32_t threshold16 = kOrderedDither[(i & 3) + (j & 3) * 4];
            uint32_t r = (raw & s.redMask) >> s.redShift;
            uint32_t g = (raw & s.greenMask) >> s.greenShift;
            uint32_t b = (raw & s.blueMask) >> s.blueShift;
            uint32_t out = 0;
            if (!job.alphaOnly) {
                if (d.redWidth != 0) {
                    out |= ConvertField<kMode>(r, red, convert, threshold16) << red.shift;
                }
                if (d.greenWidth != 0) {
                    out |= ConvertField<kMode>(g, green, convert, threshold16) << green.shift;
                }
                if (d.blueWidth != 0) {
                    out |= ConvertField<kMode>(b, blue, convert, threshold16) << blue.shift;
                }
            }
            switch (alphaSource) {
                case AlphaSource::kNone:
                    break;
                case AlphaSource::kImage: {
                    uint32_t av = ReadColorValue(a, AlphaPixel(job, i, j));
                    av = (av & a.redMask) >> a.redShift;
                    out |= ConvertField<kMode>(av, alpha, convert, threshold16) << alpha.shift;
                    break;
                }
                case AlphaSource::kRed:
                    out |= ConvertField<kMode>(r, alpha, convert, threshold16) << alpha.shift;
                    break;
                case AlphaSource::kKey:
                    out |= ((raw & srcColorMask) == keyFields ? 0u : alpha.max) << alpha.shift;
                    break;
                case AlphaSource::kFull:
                    out |= alpha.max << alpha.shift;
                    break;
                case AlphaSource::kSource: {
                    uint32_t av = (raw & s.alphaMask) >> s.alphaShift;
                    out |= ConvertField<kMode>(av, alpha, convert, threshold16) << alpha.shift;
                    break;
                }
            }
            StorePixelValue(DestPixel(job, i, j), d.bytes, out | unusedFill);
        }
    }
    return 0;
}

}  // namespace

int ConvertImagePixels(const ConvertImageDesc& desc) {
    ConvertJob job;
    job.dst = static_cast<uint8_t*>(desc.dstPixels);
    job.dstPitch = desc.dstPitch;
    job.dstFormat = *desc.dstFormat;
    job.src = static_cast<const uint8_t*>(desc.srcPixels);
    job.srcPitch = desc.srcPitch;
    job.srcFormat = *desc.srcFormat;
    job.alpha = static_cast<const uint8_t*>(desc.alphaPixels);
    job.alphaPitch = desc.alphaPitch;
    if (desc.alphaFormat != nullptr) {
        job.alphaFormat = *desc.alphaFormat;
    } else {
        std::memset(&job.alphaFormat, 0, sizeof(job.alphaFormat));
    }
    job.dstX = desc.dstX;
    job.dstY = desc.dstY;
    job.left = desc.srcRect.left;
    job.top = desc.srcRect.top;
    job.width = desc.srcRect.right - desc.srcRect.left;
    job.height = desc.srcRect.bottom - desc.srcRect.top;
    job.mirror = desc.mirror;
    job.colorKey = desc.colorKey;
    job.keyColor = desc.keyColor;
    job.ditherMode = desc.ditherMode;
    job.alphaOnly = desc.alphaOnly;
    job.redAsAlpha = desc.redAsAlpha;
    job.transparentCopy = desc.transparentCopy;
    job.paletteRemap = desc.paletteRemap;

    bool dstHasAlpha = job.dstFormat.alphaWidth != 0;
    bool srcHasAlpha = job.srcFormat.alphaWidth != 0;
    bool haveAlphaImage = job.alpha != nullptr;
    job.alphaFilled = dstHasAlpha && (haveAlphaImage || srcHasAlpha);
    job.alphaFromImage = dstHasAlpha && haveAlphaImage && !srcHasAlpha;
    if (job.alphaFilled || !dstHasAlpha || job.redAsAlpha) {
        job.colorKey = false;
    }
    if (job.mirror) {
        job.transparentCopy = false;
    }
    if (job.width <= 0 || job.height <= 0) {
        return -1;
    }

    const PixelFormatDesc& d = job.dstFormat;
    const PixelFormatDesc& s = job.srcFormat;
    if (job.paletteRemap && s.bytes == 1 && d.bytes == 1 &&
        std::memcmp(s.palette, d.palette, sizeof(s.palette)) != 0) {
        return RemapPalette(job);
    }
    if (d.bytes == 1) {
        if (s.bytes != 1) {
            return MatchIntoPalette(job);
        }
        if (!job.alphaOnly && !job.transparentCopy) {
            return CopyIndices(job);
        }
    }
    if (SameFormat(job)) {
        return CopySameFormat(job);
    }
    if (KeyIntoAlpha(job)) {
        return CopyKeyIntoAlpha(job);
    }
    if (TryFixedPair(job)) {
        return 0;
    }
    switch (job.ditherMode) {
        case kDitherOrdered:
            return ConvertGeneric<kDitherOrdered>(job);
        case kDitherCarried:
            return ConvertGeneric<kDitherCarried>(job);
        default:
            return ConvertGeneric<kDitherNone>(job);
    }
}

}  // namespace tessel
