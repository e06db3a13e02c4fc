// DIB blits into a window's framebuffer or a memory context's DIB section:
// StretchDIBits and SetDIBitsToDevice read 1-, 4-, 8-, 16-, 24- and 32-bit
// DIBs (bit-field masks included) pixel by pixel into X8R8G8B8, stretching
// by point sampling and clipping to the target.
// Not here: raster operations other than SRCCOPY, compressed DIBs,
// DIB_PAL_COLORS, smoothing.
#include <emmintrin.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/gdi/dib_section_internal.h"
#include "platform/gdi/framebuffer_dc_internal.h"
#include "platform/gdi_testing.h"

namespace platform {

int g_dibRunCopies = 1;

}  // namespace platform

namespace platform::gdi {

namespace {

// One colour channel of a pixel: where its bits are, and what 8-bit value
// each of its values widens to.
struct ChannelMask {
    uint32_t mask = 0;
    int shift = 0;
    int dropped = 0;  // low bits of a channel wider than 8 bits
    uint8_t widened[256] = {};
};

// An n-bit channel widened to 8 bits by repeating its bits (5-6-5 as
// hardware widens it); wider channels keep their top 8 bits.
uint32_t Widen(uint32_t value, int width) {
    uint32_t result = 0;
    int bits = 0;
    while (bits < 8) {
        result = (result << width) | value;
        bits += width;
    }
    return result >> (bits - 8);
}

// A mask is one run of set bits (or none); any other mask would index past
// the widening table.
bool IsOneRun(uint32_t mask) {
    if (mask == 0) {
        return true;
    }
    uint32_t run = mask >> __builtin_ctz(mask);
    return (run & (run + 1)) == 0;
}

void MakeChannel(uint32_t mask, ChannelMask* channel) {
    channel->mask = mask;
    if (mask == 0) {
        return;
    }
    channel->shift = __builtin_ctz(mask);
    int width = __builtin_popcount(mask);
    channel->dropped = width > 8 ? width - 8 : 0;
    int kept = width - channel->dropped;
    for (uint32_t v = 0; v < (1u << kept); ++v) {
        channel->widened[v] = static_cast<uint8_t>(Widen(v, kept));
    }
}

inline uint32_t Take(const ChannelMask& c, uint32_t pixel) {
    return c.widened[((pixel & c.mask) >> c.shift) >> c.dropped];
}

// How to read the pixels of one DIB.
class DibReader {
  public:
    bool Open(const void* bits, const BITMAPINFO* info) {
        if (bits == nullptr || info == nullptr) {
            return false;
        }
        const BITMAPINFOHEADER& header = info->bmiHeader;
        if (header.biWidth <= 0 || header.biHeight == 0 || header.biPlanes != 1) {
            return false;
        }
        bits_ = static_cast<const uint8_t*>(bits);
        width_ = header.biWidth;
        topDown_ = header.biHeight < 0;
        height_ = topDown_ ? -header.biHeight : header.biHeight;
        bitCount_ = header.biBitCount;
        if (bitCount_ != 1 && bitCount_ != 4 && bitCount_ != 8 && bitCount_ != 16 &&
            bitCount_ != 24 && bitCount_ != 32) {
            return false;
        }
        stride_ = ((width_ * bitCount_ + 31) / 32) * 4;
        if (bitCount_ <= 8) {
            return OpenPalette(info);
        }
        uint32_t masks[3];
        if (header.biCompression == BI_BITFIELDS && bitCount_ != 24) {
            // The three masks follow the header.
            std::memcpy(masks, reinterpret_cast<const uint8_t*>(info) + header.biSize,
                        sizeof masks);
        } else if (header.biCompression == BI_RGB) {
            if (bitCount_ == 16) {
                masks[0] = 0x7C00;
                masks[1] = 0x03E0;
                masks[2] = 0x001F;
            } else {
                masks[0] = 0xFF0000;
                masks[1] = 0x00FF00;
                masks[2] = 0x0000FF;
            }
        } else {
            return false;
        }
        if (!IsOneRun(masks[0]) || !IsOneRun(masks[1]) || !IsOneRun(masks[2])) {
            return false;
        }
        MakeChannel(masks[0], &red_);
        MakeChannel(masks[1], &green_);
        MakeChannel(masks[2], &blue_);
        standard32_ =
            bitCount_ == 32 && masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF;
        return true;
    }

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool TopDown() const { return topDown_; }

    // The bytes of the row that holds image row `fromTop` (0 = the top row)
    // when `bits` starts with memory row `firstMemoryRow` of the image.
    const uint8_t* Row(int fromTop, int firstMemoryRow) const {
        int memoryRow = topDown_ ? fromTop : height_ - 1 - fromTop;
        return bits_ + static_cast<ptrdiff_t>(memoryRow - firstMemoryRow) * stride_;
    }

    // 0x00RRGGBB of pixel x of a row.
    uint32_t Pixel(const uint8_t* row, int x) const {
        uint32_t value;
        if (bitCount_ <= 8) {
            return PaletteColour(row, x);
        }
        if (bitCount_ == 16) {
            const uint8_t* p = row + x * 2;
            value = static_cast<uint32_t>(p[0] | (p[1] << 8));
        } else if (bitCount_ == 24) {
            const uint8_t* p = row + x * 3;
            return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
        } else {
            std::memcpy(&value, row + x * 4, 4);
        }
        return Take(red_, value) << 16 | Take(green_, value) << 8 | Take(blue_, value);
    }

    // Pixels [left, left + count) of a row as 0x00RRGGBB.
    void DecodeRow(const uint8_t* row, int left, int count, uint32_t* out) const {
        if (standard32_ && g_dibRunCopies != 0) {
            // Four pixels at a time: the compiler cannot prove `out` apart from the row.
            const uint8_t* in = row + static_cast<ptrdiff_t>(left) * 4;
            const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
            int i = 0;
            for (; i + 4 <= count; i += 4) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i * 4));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_and_si128(v, colour));
            }
            for (; i < count; ++i) {
                uint32_t value;
                std::memcpy(&value, in + i * 4, 4);
                out[i] = value & 0x00FFFFFFu;
            }
            return;
        }
        for (int i = 0; i < count; ++i) {
            out[i] = Pixel(row, left + i);
        }
    }

  private:
    // The colour table follows the header: biClrUsed entries, or all that
    // the bit count can index when it is 0 (or claims more than that).
    bool OpenPalette(const BITMAPINFO* info) {
        const BITMAPINFOHEADER& header = info->bmiHeader;
        if (header.biCompression != BI_RGB) {
            return false;
        }
        uint32_t indexable = 1u << bitCount_;
        paletteSize_ =
            header.biClrUsed != 0 && header.biClrUsed < indexable ? header.biClrUsed : indexable;
        palette_ = reinterpret_cast<const uint8_t*>(info) + header.biSize;
        return true;
    }

    // Indices pack from the high bits of each byte; an index past the table is black.
    uint32_t PaletteColour(const uint8_t* row, int x) const {
        int bitOffset = x * bitCount_;
        int shift = 8 - bitCount_ - bitOffset % 8;
        uint32_t index = (row[bitOffset / 8] >> shift) & ((1u << bitCount_) - 1);
        if (index >= paletteSize_) {
            return 0;
        }
        RGBQUAD entry;
        std::memcpy(&entry, palette_ + index * sizeof(RGBQUAD), sizeof entry);
        return uint32_t{entry.rgbRed} << 16 | uint32_t{entry.rgbGreen} << 8 | entry.rgbBlue;
    }

    const uint8_t* palette_ = nullptr;
    uint32_t paletteSize_ = 0;
    const uint8_t* bits_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    bool topDown_ = false;
    int bitCount_ = 0;
    int stride_ = 0;
    bool standard32_ = false;
    ChannelMask red_;
    ChannelMask green_;
    ChannelMask blue_;
};

inline int PointSample(int d, int n, int m) {
    return static_cast<int>((static_cast<int64_t>(2 * d + 1) * n) / (2 * static_cast<int64_t>(m)));
}

// The source rectangle has its lower-left corner at (xSrc, ySrc) counted
// from the image's bottom-left; only rows [firstRow, endRow) counted from the
// top are present in memory (a band of SetDIBitsToDevice).
struct Blit {
    int xDest, yDest, destWidth, destHeight;
    int xSrc, ySrc, srcWidth, srcHeight;
    int firstRow, endRow, firstMemoryRow;
};

// The target is a window's framebuffer or a memory context's DIB section.
template <class Target>
void Copy(Target& target, const DibReader& dib, const Blit& b) {
    int x0 = std::max(b.xDest, 0);
    int x1 = std::min(b.xDest + b.destWidth, target.Width());
    int y0 = std::max(b.yDest, 0);
    int y1 = std::min(b.yDest + b.destHeight, target.Height());
    if (x0 >= x1 || y0 >= y1) {
        return;
    }
    // The top row of the source rectangle, counted from the image's top.
    int topRow = dib.Height() - b.ySrc - b.srcHeight;
    // Source columns outside the image are left out; each source row is
    // decoded once, however many destination rows show it.
    int left = std::max(b.xSrc, 0);
    int right = std::min(b.xSrc + b.srcWidth, dib.Width());
    if (left >= right) {
        return;
    }
    std::vector<int> columns(static_cast<size_t>(x1 - x0));
    for (int x = x0; x < x1; ++x) {
        columns[x - x0] = b.xSrc + PointSample(x - b.xDest, b.srcWidth, b.destWidth) - left;
    }
    // Unstretched, destination column x shows decoded column x - b.xDest + b.xSrc - left (the
    // point sample of column d of n over n is d), so the columns inside the image are one run.
    const bool unstretched = b.srcWidth == b.destWidth && g_dibRunCopies != 0;
    const int runStart = std::max(x0, b.xDest - b.xSrc + left);
    const int runEnd = std::min(x1, b.xDest - b.xSrc + right);
    std::vector<uint32_t> decoded(static_cast<size_t>(right - left));
    int decodedRow = -1;
    for (int y = y0; y < y1; ++y) {
        int row = topRow + PointSample(y - b.yDest, b.srcHeight, b.destHeight);
        if (row < b.firstRow || row >= b.endRow || row < 0 || row >= dib.Height()) {
            continue;
        }
        if (unstretched && runStart < runEnd) {
            // Straight into a framebuffer row; through the decoded row into a section's bytes.
            const int first = left + columns[runStart - x0];
            uint32_t* direct = target.DirectRow(y);
            if (direct != nullptr) {
                dib.DecodeRow(dib.Row(row, b.firstMemoryRow), first, runEnd - runStart,
                              direct + runStart);
                continue;
            }
            dib.DecodeRow(dib.Row(row, b.firstMemoryRow), first, runEnd - runStart,
                          decoded.data());
            target.WriteRun(y, runStart, decoded.data(), runEnd - runStart);
            continue;
        }
        if (unstretched) {
            continue;
        }
        if (row != decodedRow) {
            dib.DecodeRow(dib.Row(row, b.firstMemoryRow), left, right - left, decoded.data());
            decodedRow = row;
        }
        auto out = target.RowWriter(y);
        int span = right - left;
        for (int x = x0; x < x1; ++x) {
            int column = columns[x - x0];
            if (column >= 0 && column < span) {
                out(x, decoded[column]);
            }
        }
    }
    target.MarkChanged();
}

}  // namespace

}  // namespace platform::gdi

int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                  int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage,
                  DWORD rop) {
    platform::gdi::DibReader dib;
    if (destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0 ||
        usage != DIB_RGB_COLORS || rop != SRCCOPY || !dib.Open(bits, info)) {
        return 0;
    }
    platform::gdi::Blit blit = {xDest,    yDest,     destWidth, destHeight,   xSrc, ySrc,
                                srcWidth, srcHeight, 0,         dib.Height(), 0};
    platform::gdi::DibSectionTarget section(dc);
    if (section.IsOpen()) {
        platform::gdi::Copy(section, dib, blit);
        return srcHeight;
    }
    platform::gdi::FramebufferDC target(dc);
    if (!target.IsOpen()) {
        return 0;
    }
    platform::gdi::Copy(target, dib, blit);
    return srcHeight;
}

int SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc, int ySrc,
                      UINT startScan, UINT scanLines, const void* bits, const BITMAPINFO* info,
                      UINT colorUse) {
    platform::gdi::DibReader dib;
    if (width == 0 || height == 0 || scanLines == 0 || colorUse != DIB_RGB_COLORS ||
        width > 0x7FFFFFFF || height > 0x7FFFFFFF || !dib.Open(bits, info)) {
        return 0;
    }
    // The band holds scan lines startScan.. in the bitmap's own row order:
    // from the bottom for a bottom-up bitmap, from the top for a top-down one.
    int h = dib.Height();
    int first = static_cast<int>(std::min<UINT>(startScan, static_cast<UINT>(h)));
    int end = static_cast<int>(std::min<UINT>(startScan + scanLines, static_cast<UINT>(h)));
    int firstRow = dib.TopDown() ? first : h - end;
    int endRow = dib.TopDown() ? end : h - first;
    int firstMemoryRow = first;
    platform::gdi::Blit blit = {xDest,    yDest,  static_cast<int>(width), static_cast<int>(height),
                                xSrc,     ySrc,   static_cast<int>(width), static_cast<int>(height),
                                firstRow, endRow, firstMemoryRow};
    platform::gdi::DibSectionTarget section(dc);
    if (section.IsOpen()) {
        platform::gdi::Copy(section, dib, blit);
        return static_cast<int>(scanLines);
    }
    platform::gdi::FramebufferDC target(dc);
    if (!target.IsOpen()) {
        return 0;
    }
    platform::gdi::Copy(target, dib, blit);
    return static_cast<int>(scanLines);
}
