// The kit every software-kernel test uses: memory images with guard bands
// around each row and the whole image, index-coded sources, biased random
// values and a PNG dump for a human look.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "graphics/memimg/memimg.h"

namespace tessel::kit {

// A MEMIMG over a caller buffer that holds canary bytes before the image,
// after it, and after every row (the pitch is the row plus a band). The
// tables are built on first use.
class GuardedImage {
  public:
    GuardedImage(uint32_t colorType, int width, int height, int alpha = 0, int palette = 0,
                 uint32_t transparent = 0);
    ~GuardedImage();
    GuardedImage(const GuardedImage&) = delete;
    GuardedImage& operator=(const GuardedImage&) = delete;

    MEMIMG* image() { return &image_; }
    MemImgBase* base() { return image_.base; }
    int width() const { return image_.width; }
    int height() const { return image_.height; }
    int bytes() const { return bytes_; }

    uint32_t Get(int x, int y) const;
    void Set(int x, int y, uint32_t value);
    std::vector<uint32_t> Pixels() const;
    void SetPixels(const std::vector<uint32_t>& pixels);
    // True when no byte outside the pixel rows changed.
    bool GuardsIntact() const;

  private:
    static constexpr int kImageBand = 64;
    static constexpr int kRowBand = 13;  // odd, so rows fall on every alignment
    std::vector<uint8_t> buffer_;
    MEMIMG image_{};
    int bytes_ = 0;
    int pitch_ = 0;
    uint8_t Canary(size_t at) const { return static_cast<uint8_t>(at * 37 + 0x5B); }
    const uint8_t* At(int x, int y) const;
};

// Random values biased toward the ends and the middle, where the rules turn.
class BiasedRandom {
  public:
    explicit BiasedRandom(uint32_t seed) : rng_(seed) {}
    uint32_t Byte();
    uint32_t Field(int bits);  // a 5- or 6-bit field
    uint32_t Pixel32();        // top byte included
    uint32_t Pixel565();
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(rng_() % n); }
    int Between(int low, int high) {
        return low + static_cast<int>(rng_() % uint32_t(high - low + 1));
    }

  private:
    std::mt19937 rng_;
};

// A pixel value that encodes its own position, so a drawn copy shows which
// source pixel landed where.
uint32_t IndexCode(uint32_t colorType, int paletted, int x, int y);
void FillIndexCoded(GuardedImage& image);

// Writes the image as a PNG into $TESSEL_SOFT_DUMP when that is set.
void DumpPng(const MEMIMG* image, const std::string& name);

// Makes sure the blend tables exist; the kernels need them.
void EnsureTables();

}  // namespace tessel::kit
