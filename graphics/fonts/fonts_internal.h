// What the font files share among themselves (and with their tests): the
// table and settings, the cache layout rules and the composition of one glyph
// bitmap into a cache cell.
#pragma once

#include <cstdint>

#include "graphics/fonts/font_handles.h"
#include "graphics/memimg/memimg.h"
#include "images/base_image.h"

namespace tessel {

// What a font is made of, enough to make it again.
struct FontRecipe {
    char face[kFontFaceSize];
    int32_t size;
    int32_t thickness;
    int32_t type;
    int32_t charSet;
    int32_t edgeSize;
    int32_t italic;
};

// The default font's recipe and spacing, its handle and the check counter.
struct FontSettings {
    FontRecipe recipe;
    int32_t spacing;
    int32_t defaultFont;  // handle, -1 none
    uint32_t nextCheck;
};

struct FontTable {
    FontRecord* slots[kFontSlots];
};

extern FontSettings g_fontSettings;
extern FontTable g_fonts;

// The handle of the font in a slot, -1 for an empty slot.
int FontHandleInSlot(int slot);

// The hardware cache's size for a cell: from 512 x 512 the shorter side
// doubles until ten cells fit; at most kMaxGlyphSlots cells are used.
struct CacheLayout {
    int width;
    int height;
    int slots;
};
CacheLayout HardwareCacheLayout(int cellSize);
// The software cache's cell count: 0x50000 bytes' worth of cells, 20 to
// kMaxGlyphSlots.
int SoftwareCacheSlots(int cellSize);

// A glyph bitmap as GetGlyphOutlineA gives it: rows top first, padded to 4
// bytes; one bit a pixel (top bit leftmost) or one byte of level 0-16.
struct GlyphBitmap {
    const uint8_t* bits;
    int width;
    int height;
    int pitch;
    bool gray;
};

// Whether the edge of the given size around a covered pixel reaches the
// offset (dx, dy) from it.
bool EdgeMaskCovers(int edgeSize, int dx, int dy);

// Writes the glyph into a software cell (cellSize square; bytes per row
// `pitch`), in the form the font type keeps: type 0 bits, type 1 bytes of 1
// (glyph) and 2 (edge), type 2 level - 1, type 3 level - 1 in the low and the
// edge's level - 1 in the high nibble. Clipped to the cell.
void ComposeSoftGlyph(const GlyphBitmap& glyph, int type, int edgeSize, uint8_t* cell, int pitch,
                      int cellSize);
// Writes the glyph into the 16-bit cache picture at (x, y), its edge at
// (x + edgeHalfX, y); white with the glyph's coverage in alpha. Clipped to a
// cellSize square and to the picture.
void ComposeHardGlyph(const GlyphBitmap& glyph, int type, int edgeSize, BASEIMAGE* cache, int x,
                      int y, int cellSize, int edgeHalfX);
// The 16-bit cache pixel of grey level 0-16: opaque white with the level in
// its alpha, 0 for level 0.
uint16_t GrayLevelPixel(const PixelFormatDesc& format, int level);

// Where a cell lies in the cache (hardware: one pixel in from the corner).
void CellOrigin(const FontRecord& font, int cell, int* x, int* y);

// Where a glyph's cell goes: horizontal, its top-left pixel at (x, y);
// vertical (turned a quarter clockwise), its top row down the column x from
// row y, the following rows in the columns to the left.
struct SoftGlyphPlacement {
    int x;
    int y;
    bool vertical;
};
// The text's colours as 0x00RRGGBB.
struct SoftTextColours {
    uint32_t colour;
    uint32_t edge;
};
// Writes a software-cache glyph into the target within the clip.
void DrawSoftGlyph(const FontRecord& font, const GlyphSlot& slot, const SoftGlyphPlacement& place,
                   const SoftTextColours& colours, MEMIMG* target, const RECT& clip);

}  // namespace tessel
