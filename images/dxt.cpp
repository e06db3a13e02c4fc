#include "images/dxt.h"

#include <cstddef>

#include "foundation/memory/memory.h"

namespace tessel {

namespace {

struct Color {
    uint32_t r;
    uint32_t g;
    uint32_t b;
    uint32_t a;
};

Color ExpandEndpoint(uint32_t v) {
    return Color{((v >> 11) & 31) * 255 / 31, ((v >> 5) & 63) * 255 / 63, (v & 31) * 255 / 31, 255};
}

// The four colours of a colour half. DXT1 blocks whose first endpoint is not
// greater than the second use three colours and a transparent fourth code.
void BuildColorTable(const uint8_t* half, bool dxt1, Color table[4]) {
    uint32_t v0 = half[0] | (uint32_t{half[1]} << 8);
    uint32_t v1 = half[2] | (uint32_t{half[3]} << 8);
    Color c0 = ExpandEndpoint(v0);
    Color c1 = ExpandEndpoint(v1);
    table[0] = c0;
    table[1] = c1;
    if (!dxt1 || v0 > v1) {
        table[2] = Color{(2 * c0.r + c1.r) / 3, (2 * c0.g + c1.g) / 3, (2 * c0.b + c1.b) / 3, 255};
        table[3] = Color{(c0.r + 2 * c1.r) / 3, (c0.g + 2 * c1.g) / 3, (c0.b + 2 * c1.b) / 3, 255};
        return;
    }
    Color average{(c0.r + c1.r) / 2, (c0.g + c1.g) / 2, (c0.b + c1.b) / 2, 255};
    table[2] = average;
    table[3] = average;
    table[3].a = 0;
}

void DecodeColorHalf(const uint8_t* half, bool dxt1, Color pixels[16]) {
    Color table[4];
    BuildColorTable(half, dxt1, table);
    uint32_t codes =
        half[4] | (uint32_t{half[5]} << 8) | (uint32_t{half[6]} << 16) | (uint32_t{half[7]} << 24);
    for (int k = 0; k < 16; ++k) {
        pixels[k] = table[(codes >> (2 * k)) & 3];
    }
}

void DecodeExplicitAlpha(const uint8_t* half, Color pixels[16]) {
    for (int k = 0; k < 16; ++k) {
        uint32_t nibble = (half[k / 2] >> (4 * (k % 2))) & 15;
        pixels[k].a = nibble * 255 / 15;
    }
}

void DecodeInterpolatedAlpha(const uint8_t* half, Color pixels[16]) {
    uint32_t a0 = half[0];
    uint32_t a1 = half[1];
    uint32_t table[8] = {a0, a1};
    if (a0 > a1) {
        for (uint32_t k = 1; k <= 6; ++k) {
            table[k + 1] = ((7 - k) * a0 + k * a1) / 7;
        }
    } else {
        for (uint32_t k = 1; k <= 4; ++k) {
            table[k + 1] = ((5 - k) * a0 + k * a1) / 5;
        }
        table[6] = 0;
        table[7] = 255;
    }
    uint64_t codes = 0;
    for (int k = 0; k < 6; ++k) {
        codes |= uint64_t{half[2 + k]} << (8 * k);
    }
    for (int k = 0; k < 16; ++k) {
        pixels[k].a = table[(codes >> (3 * k)) & 7];
    }
}

// Premultiplied colour back to straight colour. A pixel without alpha has no
// colour left to recover and becomes 0; rounding may overshoot, so clamp.
void Unpremultiply(Color pixels[16]) {
    for (int k = 0; k < 16; ++k) {
        Color& c = pixels[k];
        if (c.a == 0) {
            c.r = c.g = c.b = 0;
            continue;
        }
        uint32_t r = c.r * 255 / c.a;
        uint32_t g = c.g * 255 / c.a;
        uint32_t b = c.b * 255 / c.a;
        c.r = r > 255 ? 255 : r;
        c.g = g > 255 ? 255 : g;
        c.b = b > 255 ? 255 : b;
    }
}

void DecodeBlock(const uint8_t* block, uint32_t kind, Color pixels[16]) {
    if (kind == kPixelsDxt1) {
        DecodeColorHalf(block, true, pixels);
        return;
    }
    DecodeColorHalf(block + 8, false, pixels);
    if (kind == kPixelsDxt2 || kind == kPixelsDxt3) {
        DecodeExplicitAlpha(block, pixels);
    } else {
        DecodeInterpolatedAlpha(block, pixels);
    }
    if (kind == kPixelsDxt2 || kind == kPixelsDxt4) {
        Unpremultiply(pixels);
    }
}

}  // namespace

int DecodeDxtImage(BASEIMAGE* image) {
    uint32_t kind = image->format.compressedKind;
    if (kind == kPixelsPlain) {
        return 0;
    }
    if (kind > kPixelsDxt5 || image->width < 0 || image->height < 0 || image->pixels == nullptr) {
        return -1;
    }
    uint64_t pitch = static_cast<uint64_t>(image->width) * 4;
    uint64_t size = pitch * static_cast<uint64_t>(image->height);
    if (pitch > 0x7FFFFFFF || size > 0xFFFFFFFFu) {
        return -1;
    }
    uint8_t* out =
        static_cast<uint8_t*>(AllocTracked(static_cast<uint32_t>(size), __FILE__, __LINE__));
    if (out == nullptr) {
        return -1;
    }
    int blockBytes = kind == kPixelsDxt1 ? 8 : 16;
    int blocksPerRow = (image->width + 3) / 4;
    int blockRows = (image->height + 3) / 4;
    const uint8_t* block = image->pixels;
    Color pixels[16];
    for (int by = 0; by < blockRows; ++by) {
        for (int bx = 0; bx < blocksPerRow; ++bx, block += blockBytes) {
            DecodeBlock(block, kind, pixels);
            for (int k = 0; k < 16; ++k) {
                int x = bx * 4 + k % 4;
                int y = by * 4 + k / 4;
                if (x >= image->width || y >= image->height) {
                    continue;
                }
                uint8_t* p = out + static_cast<ptrdiff_t>(y) * static_cast<ptrdiff_t>(pitch) +
                             static_cast<ptrdiff_t>(x) * 4;
                p[0] = static_cast<uint8_t>(pixels[k].b);
                p[1] = static_cast<uint8_t>(pixels[k].g);
                p[2] = static_cast<uint8_t>(pixels[k].r);
                p[3] = static_cast<uint8_t>(pixels[k].a);
            }
        }
    }
    FreeTracked(image->pixels);
    image->pixels = out;
    image->pitch = static_cast<int32_t>(pitch);
    image->mipCount = 0;  // the new block holds the first level only
    SetPixelFormatArgb32(&image->format);
    return 0;
}

}  // namespace tessel
