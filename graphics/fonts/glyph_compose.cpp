// Composing one glyph bitmap into a cell of a font's cache, with the edge
// (outline) the font may have: on the software path in the compact form the
// string drawing reads, on the hardware path as white pixels whose alpha is
// the coverage, the edge in a second picture half beside the glyphs.
// Every write is clipped to the cell, so a glyph larger than the cell the
// font's metrics promised never reaches a neighbouring cell.
#include <algorithm>
#include <cstring>

#include "graphics/fonts/fonts_internal.h"

namespace tessel {

namespace {

// Rows from the top of the masks of edge sizes 2 to 4; '1' marks.
const char* const kMask2[] = {"01110", "11111", "11111", "11111", "01110"};
const char* const kMask3[] = {"0001000", "0111110", "0111110", "1111111",
                              "0111110", "0111110", "0001000"};
const char* const kMask4[] = {"001111100", "011111110", "111111111", "111111111", "111111111",
                              "111111111", "111111111", "011111110", "001111100"};

// Level 0-16 of a glyph pixel; a 1-bit pixel counts as full.
int LevelAt(const GlyphBitmap& glyph, int x, int y) {
    const uint8_t* row = glyph.bits + static_cast<ptrdiff_t>(y) * glyph.pitch;
    if (glyph.gray) {
        return std::min<int>(row[x], 16);
    }
    return (row[x / 8] & (0x80 >> (x % 8))) != 0 ? 16 : 0;
}

// Calls visit(dx, dy) for each offset the edge around a covered pixel marks.
template <typename Visit>
void ForEachEdgeOffset(int edgeSize, Visit visit) {
    for (int dy = -edgeSize; dy <= edgeSize; ++dy) {
        for (int dx = -edgeSize; dx <= edgeSize; ++dx) {
            if (EdgeMaskCovers(edgeSize, dx, dy)) {
                visit(dx, dy);
            }
        }
    }
}

int EdgeOf(int type, int edgeSize) {
    return (type & kFontEdge) != 0 && edgeSize > 0 ? edgeSize : 0;
}

// The part of a cellSize square at (x, y) that lies inside a picture.
struct Box {
    int left;
    int top;
    int right;
    int bottom;
    bool Holds(int px, int py) const {
        return px >= left && px < right && py >= top && py < bottom;
    }
};

Box CellBox(int x, int y, int cellSize, int width, int height) {
    return Box{std::max(x, 0), std::max(y, 0), std::min(x + cellSize, width),
               std::min(y + cellSize, height)};
}

uint16_t Load16(const BASEIMAGE& image, int x, int y) {
    uint16_t value;
    std::memcpy(&value, image.pixels + static_cast<ptrdiff_t>(y) * image.pitch + x * 2, 2);
    return value;
}

void Store16(BASEIMAGE* image, int x, int y, uint16_t value) {
    std::memcpy(image->pixels + static_cast<ptrdiff_t>(y) * image->pitch + x * 2, &value, 2);
}

int LevelOfPixel(const PixelFormatDesc& format, uint16_t pixel) {
    if (pixel == 0) {
        return 0;
    }
    const int shift = format.alphaShift + format.alphaWidth - 4;
    return static_cast<int>((uint32_t{pixel} + 1) >> shift);
}

uint16_t OpaqueWhite(const PixelFormatDesc& format) {
    return static_cast<uint16_t>(format.redMask | format.greenMask | format.blueMask |
                                 format.alphaMask);
}

void ComposeSoftBits(const GlyphBitmap& glyph, int edge, uint8_t* cell, int pitch, int cellSize) {
    for (int y = 0; y < glyph.height; ++y) {
        for (int x = 0; x < glyph.width; ++x) {
            const int cx = edge + x;
            const int cy = edge + y;
            if (LevelAt(glyph, x, y) != 0 && cx < cellSize && cy < cellSize) {
                cell[cy * pitch + cx / 8] |= static_cast<uint8_t>(0x80 >> (cx % 8));
            }
        }
    }
}

}  // namespace

bool EdgeMaskCovers(int edgeSize, int dx, int dy) {
    const int ax = dx < 0 ? -dx : dx;
    const int ay = dy < 0 ? -dy : dy;
    if (edgeSize < 1 || ax > edgeSize || ay > edgeSize) {
        return false;
    }
    switch (edgeSize) {
        case 1:
            return ax + ay == 1;
        case 2:
            return kMask2[dy + 2][dx + 2] == '1';
        case 3:
            return kMask3[dy + 3][dx + 3] == '1';
        case 4:
            return kMask4[dy + 4][dx + 4] == '1';
        default:
            return true;
    }
}

uint16_t GrayLevelPixel(const PixelFormatDesc& format, int level) {
    if (level <= 0) {
        return 0;
    }
    const int shift = format.alphaShift + format.alphaWidth - 4;
    return static_cast<uint16_t>((static_cast<uint32_t>(level) << shift) - 1);
}

void ComposeSoftGlyph(const GlyphBitmap& glyph, int type, int edgeSize, uint8_t* cell, int pitch,
                      int cellSize) {
    const int edge = EdgeOf(type, edgeSize);
    if (type == 0) {
        ComposeSoftBits(glyph, edge, cell, pitch, cellSize);
        return;
    }
    auto at = [&](int cx, int cy) -> uint8_t* {
        return cx >= 0 && cy >= 0 && cx < cellSize && cy < cellSize ? cell + cy * pitch + cx
                                                                    : nullptr;
    };
    for (int y = 0; y < glyph.height; ++y) {
        for (int x = 0; x < glyph.width; ++x) {
            const int level = LevelAt(glyph, x, y);
            uint8_t* p = at(edge + x, edge + y);
            if (level == 0 || p == nullptr) {
                continue;
            }
            *p = type == 1 ? 1 : static_cast<uint8_t>(level - 1);
        }
    }
    if (edge == 0) {
        return;
    }
    // The edge goes in after every glyph pixel, so that it never covers one.
    for (int y = 0; y < glyph.height; ++y) {
        for (int x = 0; x < glyph.width; ++x) {
            const int level = LevelAt(glyph, x, y);
            if (level == 0) {
                continue;
            }
            ForEachEdgeOffset(edge, [&](int dx, int dy) {
                uint8_t* p = at(edge + x + dx, edge + y + dy);
                if (p == nullptr) {
                    return;
                }
                if (type == 1) {
                    *p = *p == 0 ? 2 : *p;
                    return;
                }
                const int spread = std::max((*p >> 4), level - 1);
                *p = static_cast<uint8_t>((spread << 4) | (*p & 0x0F));
            });
        }
    }
}

void ComposeHardGlyph(const GlyphBitmap& glyph, int type, int edgeSize, BASEIMAGE* cache, int x,
                      int y, int cellSize, int edgeHalfX) {
    const PixelFormatDesc& format = cache->format;
    const int edge = EdgeOf(type, edgeSize);
    const Box glyphBox = CellBox(x, y, cellSize, cache->width, cache->height);
    const Box edgeBox = CellBox(x + edgeHalfX, y, cellSize, cache->width, cache->height);
    const uint16_t white = OpaqueWhite(format);
    for (int gy = 0; gy < glyph.height; ++gy) {
        for (int gx = 0; gx < glyph.width; ++gx) {
            const int level = LevelAt(glyph, gx, gy);
            const int px = x + edge + gx;
            const int py = y + edge + gy;
            if (level == 0) {
                continue;
            }
            if (glyphBox.Holds(px, py)) {
                Store16(cache, px, py, glyph.gray ? GrayLevelPixel(format, level) : white);
            }
            if (edge == 0) {
                continue;
            }
            ForEachEdgeOffset(edge, [&](int dx, int dy) {
                const int ex = px + edgeHalfX + dx;
                const int ey = py + dy;
                if (!edgeBox.Holds(ex, ey)) {
                    return;
                }
                if (!glyph.gray) {
                    Store16(cache, ex, ey, white);
                    return;
                }
                const int under = LevelOfPixel(format, Load16(*cache, ex, ey));
                const int combined = (256 - (16 - under) * (16 - level)) >> 4;
                Store16(cache, ex, ey, GrayLevelPixel(format, combined));
            });
        }
    }
}

void CellOrigin(const FontRecord& font, int cell, int* x, int* y) {
    const int column = cell / font.cellsPerColumn;
    const int row = cell % font.cellsPerColumn;
    const int inset = font.hardware != 0 ? 1 : 0;
    *x = font.cellSize * column + inset;
    *y = font.cellSize * row + inset;
}

}  // namespace tessel
