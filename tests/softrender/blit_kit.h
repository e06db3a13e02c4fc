// Drawing one or two pixels, or whole random scenes, through the blit, for the
// blit's example tables and its differential tests.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "softrender/blit.h"
#include "softrender/kit.h"

namespace tessel::kit {

// Source kinds of the blit.
enum class Source { k32, k32Alpha, k565, k565Alpha, kPal32, kPal565 };

inline uint32_t ColourTypeOf(Source s) {
    return (s == Source::k32 || s == Source::k32Alpha || s == Source::kPal32) ? 1u : 0u;
}
inline bool IsPaletted(Source s) {
    return s == Source::kPal32 || s == Source::kPal565;
}
inline bool HasAlpha(Source s) {
    return s == Source::k32Alpha || s == Source::k565Alpha;
}

// A source image of the kind whose pixels are given as colour (and alpha).
// Paletted sources get index x + 1 at column x with the colour as its entry,
// so a key of x + 1 makes column x transparent.
class SourceImage {
  public:
    SourceImage(Source kind, int width, int height, uint32_t transparent);
    void Set(int x, int y, uint32_t colour, uint32_t alpha = 255);
    // Paletted sources: the raw index and the palette entry.
    void SetIndex(int x, int y, uint32_t index);
    void SetEntry(uint32_t index, uint32_t colour);
    MEMIMG* image() { return image_.image(); }
    GuardedImage& guarded() { return image_; }

  private:
    Source kind_;
    GuardedImage image_;
};

// A source of the kind and a mask of its size whose stores end with their
// last pixel, so that under the sanitizer build any read past them shows.
// Every source byte is `fill`, every mask byte 0x80.
class TightSource {
  public:
    TightSource(Source kind, int width, int height, uint8_t fill);
    ~TightSource();
    TightSource(const TightSource&) = delete;
    TightSource& operator=(const TightSource&) = delete;
    bool made() const { return made_; }
    MEMIMG* image() { return &image_; }
    MEMIMG* mask() { return &mask_; }

  private:
    MEMIMG image_{};
    MEMIMG mask_{};
    bool made_ = false;
};

// Makes mask byte m give factor m.
void IdentityFade();

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr int kNoMask = -1;

// One numeric example of a kernel: a one-row source of s (alpha a, 255 when
// empty) drawn onto d in one mode, parameter and brightness gives want.
struct ExampleRow {
    const char* what;
    Source kind;
    uint32_t mode;
    int p;
    uint32_t brightness;
    int trans;
    uint32_t key;
    int maskByte;  // the mask factor (identity fade), or kNoMask
    std::vector<uint32_t> d, s, a, want;
};

// The kernel under test, drawing the whole one-row source onto the
// destination of its width.
using ExampleDraw = std::function<void(const SoftDrawState& state, MEMIMG* dest,
                                       const MEMIMG* source, int trans, const MEMIMG* mask)>;

// Draws every row through the kernel and checks its pixels and guards.
void CheckExamples(const std::vector<ExampleRow>& rows, const ExampleDraw& draw);

}  // namespace tessel::kit
