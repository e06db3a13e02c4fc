// Writing one cached glyph of a software-cache font into a memory image: the
// cell's bits or bytes become pixels of the text colour, the edge colour, or
// (anti-aliased fonts) a colour with a coverage alpha. A target with alpha
// takes colour and alpha as they are, so that the work image of the string
// drawing can blend the whole string at once; a target without alpha has the
// colour blended over it by that alpha. 32-bit and RGB565 targets; other
// colour types draw nothing.
#include <cstring>

#include "foundation/math/matrix.h"
#include "graphics/fonts/fonts_internal.h"

namespace tessel {

namespace {

struct Rgba {
    uint32_t rgb;  // 0x00RRGGBB
    uint32_t alpha;
};

uint32_t Channel(uint32_t rgb, int shift) {
    return (rgb >> shift) & 0xFF;
}

// The anti-aliased edged rule: glyph level g and edge level e, each 0-15.
bool MixGlyphOverEdge(uint32_t g, uint32_t e, uint32_t colour, uint32_t edge, Rgba* out) {
    if (g == 0 && e == 0) {
        return false;
    }
    if (g == 0) {
        *out = {edge, e * 16};
        return true;
    }
    if (g == 15) {
        *out = {colour, 255};
        return true;
    }
    const uint32_t a = (16 * g + (15 - g) * e) & 0xFF;
    const int32_t weight = static_cast<int32_t>((g << 12) / a);
    uint32_t rgb = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int32_t c = static_cast<int32_t>(Channel(colour, shift));
        const int32_t d = static_cast<int32_t>(Channel(edge, shift));
        const int32_t mixed = d + (((c - d) * weight) >> 8);
        rgb |= static_cast<uint32_t>(mixed & 0xFF) << shift;
    }
    *out = {rgb, a};
    return true;
}

// What the cell holds at (i, j) as a colour and alpha; false for nothing.
bool CellPixel(const FontRecord& font, const uint8_t* cell, int i, int j,
               const SoftTextColours& colours, Rgba* out) {
    const uint8_t* row = cell + static_cast<ptrdiff_t>(j) * font.softPitch;
    switch (font.type) {
        case 0:
            if ((row[i / 8] & (0x80 >> (i % 8))) == 0) {
                return false;
            }
            *out = {colours.colour, 255};
            return true;
        case 1:
            if (row[i] == 0) {
                return false;
            }
            *out = {row[i] == 1 ? colours.colour : colours.edge, 255};
            return true;
        case 2:
            if (row[i] == 0) {
                return false;
            }
            *out = {colours.colour, row[i] * 16u};
            return true;
        default:
            return MixGlyphOverEdge(row[i] & 0x0F, row[i] >> 4, colours.colour, colours.edge, out);
    }
}

uint32_t BlendChannels(uint32_t over, uint32_t under, uint32_t alpha) {
    uint32_t rgb = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const uint32_t mixed =
            (Channel(over, shift) * alpha + Channel(under, shift) * (255 - alpha) + 127) / 255;
        rgb |= mixed << shift;
    }
    return rgb;
}

uint16_t To565(uint32_t rgb) {
    return static_cast<uint16_t>(((Channel(rgb, 16) >> 3) << 11) | ((Channel(rgb, 8) >> 2) << 5) |
                                 (Channel(rgb, 0) >> 3));
}

uint32_t From565(uint16_t pixel) {
    const uint32_t r = ((pixel >> 11) & 31) * 255 / 31;
    const uint32_t g = ((pixel >> 5) & 63) * 255 / 63;
    const uint32_t b = (pixel & 31) * 255 / 31;
    return (r << 16) | (g << 8) | b;
}

void WritePixel(MEMIMG* target, int x, int y, const Rgba& pixel) {
    const MemImgBase* base = target->base;
    const bool alpha = base->alphaFlag == 1;
    uint8_t* p = target->pixels + static_cast<ptrdiff_t>(y) * base->pitch;
    if (base->colorType == kMemImgRgb32) {
        p += x * 4;
        uint32_t value = pixel.rgb;
        if (alpha) {
            value |= pixel.alpha << 24;
        } else if (pixel.alpha != 255) {
            uint32_t under;
            std::memcpy(&under, p, 4);
            value = BlendChannels(pixel.rgb, under & 0xFFFFFF, pixel.alpha);
        }
        std::memcpy(p, &value, 4);
        return;
    }
    p += x * (alpha ? 4 : 2);
    uint16_t value = To565(pixel.rgb);
    if (alpha) {
        p[2] = static_cast<uint8_t>(pixel.alpha);
    } else if (pixel.alpha != 255) {
        uint16_t under;
        std::memcpy(&under, p, 2);
        value = To565(BlendChannels(pixel.rgb, From565(under), pixel.alpha));
    }
    std::memcpy(p, &value, 2);
}

}  // namespace

void DrawSoftGlyph(const FontRecord& font, const GlyphSlot& slot, const SoftGlyphPlacement& place,
                   const SoftTextColours& colours, MEMIMG* target, const RECT& clip) {
    if (MemImgIsValid(target) == 0 || font.softCache == nullptr) {
        return;
    }
    const uint32_t type = target->base->colorType;
    if (type != kMemImgRgb32 && type != kMemImgRgb565) {
        return;
    }
    RECT area = clip;
    const RECT whole = {0, 0, target->width, target->height};
    ClipRectInPlace(&area, &whole);
    int cellX = 0;
    int cellY = 0;
    CellOrigin(font, slot.cell, &cellX, &cellY);
    const uint8_t* cell = font.softCache + static_cast<ptrdiff_t>(cellY) * font.softPitch;
    const int width = slot.width < font.cellSize ? slot.width : font.cellSize;
    const int height = slot.height < font.cellSize ? slot.height : font.cellSize;
    for (int j = 0; j < height; ++j) {
        for (int i = 0; i < width; ++i) {
            const int x = place.vertical ? place.x - j : place.x + i;
            const int y = place.vertical ? place.y + i : place.y + j;
            if (x < area.left || x >= area.right || y < area.top || y >= area.bottom) {
                continue;
            }
            Rgba pixel;
            if (CellPixel(font, cell, i, j, colours, &pixel)) {
                WritePixel(target, x, y, pixel);
            }
        }
    }
}

}  // namespace tessel
