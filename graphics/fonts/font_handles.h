// Font handles: a GDI font together with a cache of its rendered characters.
// Each character is rendered once into a cell of the font's cache (a texture
// image on the hardware path, a block of bits or bytes on the software path)
// and drawn from there many times. The cache is a first-in first-out ring, so
// the oldest glyph goes without a search when a new one needs its cell. Up to
// 40 fonts exist at once; a lost device or a screen-mode change re-creates
// them with their handle values kept.
#pragma once

#include <cstdint>

#include "images/base_image.h"
#include "platform/gdi.h"

namespace tessel {

constexpr int kFontSlots = 40;
constexpr int32_t kFontHandleKind = 0x20000000;
constexpr uint32_t kFontCheckLimit = 2048;
constexpr int kMaxGlyphSlots = 2024;
constexpr int kCodeMapSize = 65536;
constexpr int kFontFaceSize = 256;

// Font type bits.
constexpr int32_t kFontEdge = 1;
constexpr int32_t kFontAntialiased = 2;

// One cell of a font's cache and the glyph it holds.
struct GlyphSlot {
    uint8_t used;
    int16_t drawX;    // where the bitmap's left column lies relative to the pen
    int16_t drawY;    // where its top row lies below the text's top
    int16_t advance;  // with an edge, 2 x edge size larger
    int32_t cell;     // which cell of the cache
    int16_t width;    // of the bitmap (0 for spaces), 2 x edge size larger with an edge
    int16_t height;
    int32_t owner;  // the code-map index of the character it holds, -1 none
};

// A character code's place in the cache.
struct CodeMapEntry {
    uint32_t cached;  // not 0 while the glyph is in the cache
    int32_t slot;     // index into the font's glyph slots, -1 none
};

struct FontRecord {
    uint32_t check;
    int* lostFlag;  // written 0 when set and 1 when the font is deleted
    GlyphSlot slots[kMaxGlyphSlots + 1];
    int32_t nextSlot;  // the slot the next rendered glyph takes
    int32_t slotCount;
    // Software cache: one column of square cells.
    uint8_t* softCache;
    int32_t softPitch;
    int32_t softBits;  // 1 or 8
    CodeMapEntry codeMap[kCodeMapSize];
    char face[kFontFaceSize];  // empty when the default face was used
    int32_t thickness;
    int32_t size;
    int32_t textHeight;
    int32_t italic;
    int32_t spacing;
    int32_t cellSize;
    HFONT gdiFont;
    int32_t type;
    int32_t charSet;  // index 0-4
    int32_t edgeSize;
    int32_t cacheWidth;  // of the hardware cache, without the edge half
    int32_t cacheHeight;
    int32_t cellsPerColumn;
    int32_t cacheImage;  // image handles, -1 none
    int32_t edgeCacheImage;
    int32_t rebuild;  // 1 when the cache images must be made again
    BASEIMAGE cacheBase;
    int32_t hardware;
};

// A character of a string: its first byte, its second (0 for a single-byte
// character) and a 0 byte.
struct CharEntry {
    uint8_t bytes[3];
};

// The code-map index of a character entry.
inline int CodeMapIndex(const CharEntry& entry) {
    return entry.bytes[0] | (entry.bytes[1] << 8);
}

// Face null or empty takes the default face; -1 in a number takes its
// default; slot and check -1 take the next free ones. The handle or -1.
int CreateFontToHandle(const char* face, int size, int thickness, int type, int charSet,
                       int edgeSize, int italic, int slot = -1, int check = -1);
int ReleaseFontHandle(int handle);
FontRecord* GetFontRecord(int handle);
int IsFontHandleValid(int handle);
// Each output may be null; the face needs kFontFaceSize bytes. 0 or -1.
int QueryFontInfo(char* face, int* size, int* thickness, int handle);
int QueryFontSize(int handle);
int SetFontCharSpacing(int spacing, int handle);
int SetFontLostFlagPointer(int handle, int* flag);
int QueryDefaultFontHandle();

// The glyph cache.
int ResetGlyphCache(int handle);
int RebuildFontCacheImages(int handle);
// Renders the characters into the next cells; the last one's slot or null.
GlyphSlot* RenderGlyphToCache(int handle, int count, const CharEntry* entries);
// Splits the string (length -1: all of it) into character entries, when
// asked, and renders every character not yet cached. 0 or -1.
int PrepareStringGlyphs(const char* text, int handle, int length, CharEntry* entries, int* count);

// The font system's life.
int ResetFontState();
int InitFontSystem();
int RebuildFontState();
int UpdateDefaultFont();
int SetDefaultFontSize(const char* face, int size, int thickness);
int RecreateAllFonts();

}  // namespace tessel
