// Fast paths of the stretch blit for white, unmasked draws: the whole-pixel
// copy (the game's final frame) gathers each source row once through a table
// of column offsets and copies the finished destination row to the rows that
// show the same source row; keyed copies, copies of sources with alpha and
// the alpha blend of mode 1 gather each source row once into a scratch row
// and hand it to the blit's fast paths, whose rules those draws share. Each
// gives the bits of the general kernels, as a differential test checks.
#include <tmmintrin.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "softrender/blit_fast_internal.h"
#include "softrender/stretch_internal.h"

namespace tessel::soft {

namespace {

// Calls fn(source row, first destination row, rows) for each run of
// destination rows that show one source row.
template <bool Strict, class Fn>
void ForEachSourceRow(const StretchCall& c, Fn fn) {
    const uint8_t* srcRow = c.src;
    const uint8_t* noMask = nullptr;
    int32_t ay = c.ay0;
    for (int y = 0; y < c.height;) {
        int rows = 1;
        while (y + rows < c.height) {
            ay -= kStretchOne;
            if (ay <= 0) {
                break;
            }
            ++rows;
        }
        fn(srcRow, y, rows);
        y += rows;
        if (y < c.height) {
            AdvanceAxis<Strict, false>(ay, c.ry, srcRow, c.srcRowStep, noMask, 0);
        }
    }
}

// The colours of one destination row, Bytes bytes a pixel, from a direct
// source (EntryBytes 0) or through a palette of EntryBytes-byte entries.
template <int Bytes, int EntryBytes>
void GatherRow(uint8_t* out, const uint8_t* srcRow, const ptrdiff_t* offsets, int width,
               const uint8_t* palette) {
    for (int x = 0; x < width; ++x, out += Bytes) {
        const uint8_t* at = srcRow + offsets[x];
        if constexpr (EntryBytes != 0) {
            at = palette + EntryBytes * ptrdiff_t{*at};
        }
        std::memcpy(out, at, Bytes);
    }
}

// The gather of 32-bit pixels four at a time: each block of four destination
// pixels whose source pixels lie within four neighbours takes one 16-byte
// load and a byte shuffle. A block whose load would reach past the row's
// shown pixels, or whose pixels lie further apart (shrinking), goes pixel by
// pixel. The shuffle needs SSSE3, asked of the processor once.
class Gather32 {
  public:
    Gather32(const ptrdiff_t* offsets, int width) : offsets_(offsets), width_(width) {
        static const bool kShuffles = __builtin_cpu_supports("ssse3");
        if (!kShuffles || width < 4) {
            return;
        }
        const auto [low, high] = std::minmax_element(offsets, offsets + width);
        blocks_.resize(size_t(width / 4));
        for (size_t b = 0; b < blocks_.size(); ++b) {
            const ptrdiff_t* at = offsets + 4 * b;
            const ptrdiff_t base = *std::min_element(at, at + 4);
            Block& block = blocks_[b];
            block.base = base;
            if (*std::max_element(at, at + 4) - base > 12 || base + 12 > *high || base < *low) {
                block.base = kByPixel;
                continue;
            }
            for (int i = 0; i < 4; ++i) {
                for (int byte = 0; byte < 4; ++byte) {
                    block.shuffle[4 * i + byte] = static_cast<uint8_t>(at[i] - base + byte);
                }
            }
        }
    }

    void Row(uint8_t* out, const uint8_t* srcRow) const {
        if (blocks_.empty()) {
            return GatherRow<4, 0>(out, srcRow, offsets_, width_, nullptr);
        }
        Shuffled(out, srcRow);
        const int done = 4 * int(blocks_.size());
        GatherRow<4, 0>(out + 4 * done, srcRow, offsets_ + done, width_ - done, nullptr);
    }

  private:
    static constexpr ptrdiff_t kByPixel = PTRDIFF_MIN;
    struct Block {
        alignas(16) uint8_t shuffle[16];
        ptrdiff_t base;
    };

    __attribute__((target("ssse3"))) void Shuffled(uint8_t* out, const uint8_t* srcRow) const {
        const ptrdiff_t* offsets = offsets_;
        for (const Block& block : blocks_) {
            if (block.base == kByPixel) {
                GatherRow<4, 0>(out, srcRow, offsets, 4, nullptr);
            } else {
                const __m128i pixels =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(srcRow + block.base));
                const __m128i order =
                    _mm_load_si128(reinterpret_cast<const __m128i*>(block.shuffle));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(pixels, order));
            }
            out += 16;
            offsets += 4;
        }
    }

    const ptrdiff_t* offsets_;
    int width_;
    std::vector<Block> blocks_;
};

uint8_t* DestRow(const StretchCall& c, int y, int bytes) {
    return c.dst + ptrdiff_t{y} * (c.dstSkip + ptrdiff_t{bytes} * c.width);
}

// The white, unmasked, unkeyed copy: whole pixels (or palette entries).
template <bool Strict, int Bytes, int EntryBytes>
void CopyRows(const StretchSetup& s, const ptrdiff_t* offsets) {
    const StretchCall& c = s.call;
    const size_t rowBytes = size_t(c.width) * Bytes;
    const Gather32 wide(offsets, Bytes == 4 && EntryBytes == 0 ? c.width : 0);
    ForEachSourceRow<Strict>(c, [&](const uint8_t* srcRow, int y, int rows) {
        uint8_t* first = DestRow(c, y, Bytes);
        if (Bytes == 4 && EntryBytes == 0) {
            wide.Row(first, srcRow);
        } else {
            GatherRow<Bytes, EntryBytes>(first, srcRow, offsets, c.width, s.palette);
        }
        for (int i = 1; i < rows; ++i) {
            std::memcpy(DestRow(c, y + i, Bytes), first, rowBytes);
        }
    });
}

// Draws whose rule the blit's fast path shares: each source row gathered once
// and drawn onto every destination row that shows it.
template <bool Strict, int Bytes>
bool ThroughBlitRows(const StretchSetup& s, const ptrdiff_t* offsets) {
    const StretchCall& c = s.call;
    std::vector<uint8_t> scratch(size_t(c.width) * Bytes);
    BlitSetup blit{};
    static_cast<DrawRule&>(blit) = s;
    blit.srcBytes = Bytes;
    blit.call.width = c.width;
    blit.call.src = scratch.data();
    blit.call.srcSkip = -ptrdiff_t{Bytes} * c.width;  // every row reads the scratch row again
    blit.call.dstSkip = c.dstSkip;
    bool drawn = true;
    const Gather32 wide(offsets, Bytes == 4 ? c.width : 0);
    ForEachSourceRow<Strict>(c, [&](const uint8_t* srcRow, int y, int rows) {
        if (Bytes == 4) {
            wide.Row(scratch.data(), srcRow);
        } else {
            GatherRow<Bytes, 0>(scratch.data(), srcRow, offsets, c.width, nullptr);
        }
        blit.call.height = rows;
        blit.call.dst = DestRow(c, y, Bytes);
        drawn = drawn && (Bytes == 4 ? FastPath32(blit) : FastPath565(blit));
    });
    return drawn;
}

// The draws whose rules the blit's fast paths share with the stretch.
bool SharedWithBlit(const StretchSetup& s, bool rgb32) {
    if (s.palette != nullptr) {
        return false;
    }
    if (!rgb32) {
        return s.mode == kBlendCopy && !s.alphaSource;
    }
    if (s.alphaSource) {
        return s.mode == kBlendCopy && s.trans;
    }
    return s.mode == kBlendCopy || (s.mode == kBlendAlpha && s.p != 128);
}

template <bool Strict>
bool Choose(const StretchSetup& s, bool rgb32) {
    const bool copy = s.mode == kBlendCopy && !s.alphaSource && !s.trans;
    if (!copy && !SharedWithBlit(s, rgb32)) {
        return false;
    }
    const StretchCall& c = s.call;
    std::vector<ptrdiff_t> offsets(size_t(c.width));
    ColumnOffsets<Strict>(c, offsets.data());
    if (copy && s.palette != nullptr) {
        rgb32 ? CopyRows<Strict, 4, 4>(s, offsets.data())
              : CopyRows<Strict, 2, 2>(s, offsets.data());
        return true;
    }
    if (copy) {
        rgb32 ? CopyRows<Strict, 4, 0>(s, offsets.data())
              : CopyRows<Strict, 2, 0>(s, offsets.data());
        return true;
    }
    return rgb32 ? ThroughBlitRows<Strict, 4>(s, offsets.data())
                 : ThroughBlitRows<Strict, 2>(s, offsets.data());
}

}  // namespace

bool StretchFastPath(const StretchSetup& s, int dstBytes) {
    return s.strict ? Choose<true>(s, dstBytes == 4) : Choose<false>(s, dstBytes == 4);
}

}  // namespace tessel::soft
