// The software-kernel test kit: guarded images, biased values, dumps.
#include "softrender/kit.h"

#include <cstdlib>
#include <cstring>

#include "graphics/memimg/blend_tables.h"
#include "images/image_writer.h"

namespace tessel::kit {

GuardedImage::GuardedImage(uint32_t colorType, int width, int height, int alpha, int palette,
                           uint32_t transparent) {
    EnsureTables();
    bytes_ = MemImgBytesPerPixel(colorType, alpha, palette ? 1 : 0);
    pitch_ = bytes_ * width + kRowBand;
    buffer_.resize(static_cast<size_t>(2 * kImageBand + pitch_ * height));
    for (size_t i = 0; i < buffer_.size(); ++i) {
        buffer_[i] = Canary(i);
    }
    MemImgCreate(&image_, width, height, pitch_, transparent, static_cast<int>(colorType), palette,
                 alpha, 0, buffer_.data() + kImageBand);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Set(x, y, 0);
        }
    }
}

GuardedImage::~GuardedImage() {
    MemImgRelease(&image_);
}

const uint8_t* GuardedImage::At(int x, int y) const {
    return buffer_.data() + kImageBand + static_cast<size_t>(y) * pitch_ +
           static_cast<size_t>(x) * bytes_;
}

uint32_t GuardedImage::Get(int x, int y) const {
    uint32_t v = 0;
    std::memcpy(&v, At(x, y), static_cast<size_t>(bytes_));
    return v;
}

void GuardedImage::Set(int x, int y, uint32_t value) {
    std::memcpy(const_cast<uint8_t*>(At(x, y)), &value, static_cast<size_t>(bytes_));
}

std::vector<uint32_t> GuardedImage::Pixels() const {
    std::vector<uint32_t> out;
    for (int y = 0; y < image_.height; ++y) {
        for (int x = 0; x < image_.width; ++x) {
            out.push_back(Get(x, y));
        }
    }
    return out;
}

void GuardedImage::SetPixels(const std::vector<uint32_t>& pixels) {
    size_t i = 0;
    for (int y = 0; y < image_.height; ++y) {
        for (int x = 0; x < image_.width; ++x) {
            Set(x, y, pixels[i++]);
        }
    }
}

bool GuardedImage::GuardsIntact() const {
    const size_t row = static_cast<size_t>(bytes_) * image_.width;
    for (size_t i = 0; i < buffer_.size(); ++i) {
        const bool inImage = i >= kImageBand && i < buffer_.size() - kImageBand;
        if (inImage && (i - kImageBand) % pitch_ < row) {
            continue;
        }
        if (buffer_[i] != Canary(i)) {
            return false;
        }
    }
    return true;
}

uint32_t BiasedRandom::Byte() {
    static constexpr uint32_t kTurns[] = {0, 1, 2, 127, 128, 129, 253, 254, 255};
    if (rng_() % 2 == 0) {
        return kTurns[rng_() % 9];
    }
    return rng_() & 0xFF;
}

uint32_t BiasedRandom::Field(int bits) {
    static constexpr uint32_t kTurns5[] = {0, 1, 2, 15, 16, 29, 30, 31};
    static constexpr uint32_t kTurns6[] = {0, 1, 2, 30, 31, 32, 33, 61, 62, 63};
    if (rng_() % 2 == 0) {
        return bits == 5 ? kTurns5[rng_() % 8] : kTurns6[rng_() % 10];
    }
    return rng_() & ((1u << bits) - 1);
}

uint32_t BiasedRandom::Pixel32() {
    return (Byte() << 24) | (Byte() << 16) | (Byte() << 8) | Byte();
}

uint32_t BiasedRandom::Pixel565() {
    return (Field(5) << 11) | (Field(6) << 5) | Field(5);
}

uint32_t IndexCode(uint32_t colorType, int paletted, int x, int y) {
    if (paletted) {
        return static_cast<uint32_t>(x + 16 * y) & 0xFF;
    }
    if (colorType == kMemImgRgb32) {
        return 0x5A000000u | (static_cast<uint32_t>(y) << 12) | static_cast<uint32_t>(x);
    }
    return ((static_cast<uint32_t>(y) & 0xFF) << 8) | (static_cast<uint32_t>(x) & 0xFF);
}

void FillIndexCoded(GuardedImage& image) {
    const MemImgBase* base = image.base();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            image.Set(x, y, IndexCode(base->colorType, static_cast<int>(base->paletted), x, y));
        }
    }
}

void DumpPng(const MEMIMG* image, const std::string& name) {
    const char* dir = std::getenv("TESSEL_SOFT_DUMP");
    if (dir == nullptr || !MemImgIsValid(image)) {
        return;
    }
    BASEIMAGE out{};
    if (CreateXrgbImageBuffer(image->width, image->height, &out) != 0) {
        return;
    }
    const MemImgBase* base = image->base;
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x) {
            const uint8_t* p = image->pixels + y * base->pitch + x * base->format->bytes;
            uint32_t v = LoadPixelValue(p, base->format->bytes);
            if (base->colorType == kMemImgRgb565) {
                v = (((v >> 11) & 31) * 255 / 31) << 16 | (((v >> 5) & 63) * 255 / 63) << 8 |
                    (v & 31) * 255 / 31;
            }
            const int32_t at = y * out.pitch + x * 4;
            std::memcpy(out.pixels + at, &v, 4);
        }
    }
    const std::string path = std::string(dir) + "/" + name + ".png";
    SaveImageAsPng(path.c_str(), &out, 6);
    ReleaseImageBuffer(&out);
}

void EnsureTables() {
    static const bool built = [] {
        MemImgBuildBlendTables();
        return true;
    }();
    (void)built;
}

}  // namespace tessel::kit
