// A font's glyph cache: emptying it, making its texture images again after
// they were lost, rendering characters into the next cells of the ring, and
// turning a string into character entries with every missing glyph rendered
// in one batch.
// Routes: PrepareStringGlyphs -> RenderGlyphToCache -> RenderOne per
// character: evict the ring's next slot, clear its cell, fetch the bitmap
// (spaces: metrics only), compose it (glyph_compose.cpp) and, on the
// hardware path, upload the cell to the cache image.
// Not here: how a bitmap becomes cache pixels, or drawing from the cache.
#include <algorithm>
#include <bitset>
#include <cstdint>
#include <cstring>

#include "foundation/base/text.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "foundation/runtime/startup.h"
#include "graphics/fonts/fonts_internal.h"
#include "graphics/images/image_create.h"
#include "graphics/images/image_records.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/textures/image_textures.h"

namespace tessel {

namespace {

constexpr int kStaticStringBytes = 256;
constexpr int kFullWidthSpace = 0x4081;  // bytes 0x81 0x40

bool IsSpace(int code) {
    return code == 0x20 || code == kFullWidthSpace;
}

// The image options a cache image is made with, kept for the caller's.
struct SavedImageOptions {
    int32_t blankImageAlpha = g_drawSettings.blankImageAlpha;
    int32_t newImageColorDepth = g_drawSettings.newImageColorDepth;
    int32_t colorKeyTextureFormat = g_drawSettings.colorKeyTextureFormat;
    int32_t drawableImageCreation = g_drawSettings.drawableImageCreation;
    void Restore() const {
        g_drawSettings.blankImageAlpha = blankImageAlpha;
        g_drawSettings.newImageColorDepth = newImageColorDepth;
        g_drawSettings.colorKeyTextureFormat = colorKeyTextureFormat;
        g_drawSettings.drawableImageCreation = drawableImageCreation;
    }
};

void ReleaseCacheImages(FontRecord* font) {
    if (font->edgeCacheImage != -1) {
        ReleaseImageHandle(font->edgeCacheImage);
    }
    if (font->cacheImage != -1) {
        ReleaseImageHandle(font->cacheImage);
    }
    font->edgeCacheImage = -1;
    font->cacheImage = -1;
}

// The cell in the cache picture (and in its edge half) emptied.
void ClearHardwareCell(FontRecord* font, int x, int y) {
    BASEIMAGE& base = font->cacheBase;
    const int halves = (font->type & kFontEdge) != 0 ? 2 : 1;
    for (int half = 0; half < halves; ++half) {
        const int left = x + half * font->cacheWidth;
        const int width = std::min(font->cellSize, base.width - left);
        const int height = std::min(font->cellSize, base.height - y);
        if (width > 0 && height > 0) {
            ClearImageBufferRect(&base, left, y, width, height);
        }
    }
}

void UploadCell(FontRecord* font, int handle, int x, int y) {
    const int halves = (font->type & kFontEdge) != 0 ? 2 : 1;
    for (int half = 0; half < halves; ++half) {
        const int left = x + half * font->cacheWidth;
        ImageUpload upload = {};
        upload.handle = handle;
        upload.base = &font->cacheBase;
        upload.sourceRect = RECT{left, y, std::min(left + font->cellSize, font->cacheBase.width),
                                 std::min(y + font->cellSize, font->cacheBase.height)};
        upload.destX = left;
        upload.destY = y;
        UploadImageToTexture(upload);
    }
}

// A buffer for glyph bitmaps that grows as the glyphs need it.
struct GlyphBuffer {
    uint8_t* bytes = nullptr;
    uint32_t size = 0;
    uint8_t* Reserve(uint32_t wanted) {
        if (wanted <= size) {
            return bytes;
        }
        FreeTracked(bytes);
        bytes = static_cast<uint8_t*>(AllocTracked(wanted, __FILE__, __LINE__));
        if (bytes == nullptr) {
            AbortWithLog("アンチエイリアス文字取得用バッファの確保に失敗しました");
        }
        size = wanted;
        return bytes;
    }
    ~GlyphBuffer() { FreeTracked(bytes); }
};

int RowPitch(UINT format, int width) {
    const int bits = format == GGO_BITMAP ? width : width * 8;
    return (bits + 31) / 32 * 4;
}

// Renders one character into the slot at the ring's position. false when
// its outline could not be had (the position stays).
bool RenderOne(FontRecord* font, HDC dc, const TEXTMETRICA& metrics, const CharEntry& entry,
               GlyphBuffer* buffer) {
    GlyphSlot& slot = font->slots[font->nextSlot];
    if (slot.used != 0) {
        font->codeMap[slot.owner] = CodeMapEntry{0, -1};
        slot.used = 0;
        slot.owner = -1;
    }
    int x = 0;
    int y = 0;
    CellOrigin(*font, slot.cell, &x, &y);
    if (font->hardware != 0) {
        ClearHardwareCell(font, x, y);
    } else {
        std::memset(font->softCache + static_cast<ptrdiff_t>(y) * font->softPitch, 0,
                    static_cast<size_t>(font->cellSize) * font->softPitch);
    }
    const int index = CodeMapIndex(entry);
    const UINT code = entry.bytes[1] != 0 ? entry.bytes[0] * 256u + entry.bytes[1] : entry.bytes[0];
    const UINT format = font->type < 2 ? GGO_BITMAP : GGO_GRAY4_BITMAP;
    const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    GLYPHMETRICS gm = {};
    const bool space = IsSpace(index);
    const DWORD needed =
        GetGlyphOutlineA(dc, code, space ? GGO_METRICS : format, &gm, 0, nullptr, &identity);
    if (needed == GDI_ERROR) {
        WriteLog("GetGlyphOutline 関数が失敗しました\n");
        return false;
    }
    const int edge = (font->type & kFontEdge) != 0 ? font->edgeSize : 0;
    slot.drawX = static_cast<int16_t>(gm.gmptGlyphOrigin.x);
    slot.drawY = static_cast<int16_t>(metrics.tmAscent - gm.gmptGlyphOrigin.y);
    slot.advance = static_cast<int16_t>(gm.gmCellIncX + 2 * edge);
    slot.width = 0;
    slot.height = 0;
    if (!space) {
        const int pitch = RowPitch(format, static_cast<int>(gm.gmBlackBoxX));
        uint8_t* bits = buffer->Reserve(needed + 2u * static_cast<uint32_t>(pitch) + 4u);
        if (needed != 0 &&
            GetGlyphOutlineA(dc, code, format, &gm, needed, bits, &identity) == GDI_ERROR) {
            WriteLog("GetGlyphOutline 関数が失敗しました\n");
            return false;
        }
        const int width = needed != 0 ? static_cast<int>(gm.gmBlackBoxX) : 0;
        const int height = needed != 0 ? static_cast<int>(gm.gmBlackBoxY) : 0;
        const GlyphBitmap glyph = {bits, width, height, pitch, format == GGO_GRAY4_BITMAP};
        if (font->hardware != 0) {
            ComposeHardGlyph(glyph, font->type, font->edgeSize, &font->cacheBase, x, y,
                             font->cellSize, font->cacheWidth);
            UploadCell(font, font->cacheImage, x, y);
        } else {
            ComposeSoftGlyph(glyph, font->type, font->edgeSize,
                             font->softCache + static_cast<ptrdiff_t>(y) * font->softPitch,
                             font->softPitch, font->cellSize);
        }
        if (width != 0 && height != 0) {
            slot.width = static_cast<int16_t>(width + 2 * edge);
            slot.height = static_cast<int16_t>(height + 2 * edge);
        }
    }
    font->codeMap[index] = CodeMapEntry{1, font->nextSlot};
    slot.owner = index;
    slot.used = 1;
    font->nextSlot = font->nextSlot + 1 >= font->slotCount ? 0 : font->nextSlot + 1;
    return true;
}

// The entries of a string, and whether the caller must free them.
struct EntryBuffer {
    CharEntry* entries = nullptr;
    bool tracked = false;
    ~EntryBuffer() {
        if (tracked) {
            FreeTracked(entries);
        }
    }
};

}  // namespace

int ResetGlyphCache(int handle) {
    FontRecord* font = GetFontRecord(handle);
    if (font == nullptr) {
        return -1;
    }
    for (CodeMapEntry& entry : font->codeMap) {
        entry = CodeMapEntry{0, -1};
    }
    for (int i = 0; i <= kMaxGlyphSlots; ++i) {
        font->slots[i] = GlyphSlot{};
        font->slots[i].cell = i < font->slotCount ? i : -1;
        font->slots[i].owner = -1;
    }
    font->nextSlot = 0;
    return 0;
}

// The drawable-image option is kept off too: a drawable cache would take the
// drawable images' alpha option instead of the glyphs' coverage.
int RebuildFontCacheImages(int handle) {
    FontRecord* font = GetFontRecord(handle);
    if (font == nullptr) {
        return -1;
    }
    if (font->hardware == 0 || font->rebuild != 1) {
        return 0;
    }
    font->rebuild = 0;
    ReleaseCacheImages(font);
    const bool antialiased = (font->type & kFontAntialiased) != 0;
    const bool edge = (font->type & kFontEdge) != 0;
    const SavedImageOptions saved;
    g_drawSettings.blankImageAlpha = antialiased ? 1 : 0;
    g_drawSettings.colorKeyTextureFormat = antialiased ? 0 : 1;
    g_drawSettings.newImageColorDepth = 16;
    g_drawSettings.drawableImageCreation = 0;
    font->cacheImage = CreateBlankImage((edge ? 2 : 1) * font->cacheWidth, font->cacheHeight);
    if (font->cacheImage != -1 && edge) {
        font->edgeCacheImage = CreateSubImageHandle(font->cacheWidth, 0, font->cacheWidth,
                                                    font->cacheHeight, font->cacheImage);
    }
    saved.Restore();
    if (font->cacheImage == -1 || (edge && font->edgeCacheImage == -1)) {
        ReleaseCacheImages(font);
        font->rebuild = 1;
        return -1;
    }
    SetImageLostFlag(font->cacheImage, &font->rebuild);
    FillImageWithColor(font->cacheImage, 255, 255, 255, 0);
    ResetGlyphCache(handle);
    return 0;
}

GlyphSlot* RenderGlyphToCache(int handle, int count, const CharEntry* entries) {
    FontRecord* font = GetFontRecord(handle);
    if (font == nullptr || entries == nullptr || count < 1) {
        return nullptr;
    }
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) {
        AbortWithLog("テキストキャッシュサーフェスのＤＣの取得に失敗しました");
    }
    HGDIOBJ previous = SelectObject(dc, font->gdiFont);
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    GlyphBuffer buffer;
    GlyphSlot* last = nullptr;
    for (int i = 0; i < count; ++i) {
        const int slot = font->nextSlot;
        last = RenderOne(font, dc, metrics, entries[i], &buffer) ? &font->slots[slot] : nullptr;
    }
    SelectObject(dc, previous);
    DeleteDC(dc);
    return last;
}

int PrepareStringGlyphs(const char* text, int handle, int length, CharEntry* entries, int* count) {
    FontRecord* font = GetFontRecord(handle);
    if (font == nullptr) {
        return -1;
    }
    const int whole = text != nullptr ? static_cast<int>(std::strlen(text)) : 0;
    if (length < 0 || length > whole) {
        length = whole;
    }
    static CharEntry staticEntries[kStaticStringBytes];
    static CharEntry staticMissing[kStaticStringBytes];
    static std::bitset<kCodeMapSize> collected;
    EntryBuffer own;
    CharEntry* out = entries != nullptr ? entries : staticEntries;
    CharEntry* missing = staticMissing;
    if (length > kStaticStringBytes) {
        // One block holds both lists, each with an entry for every byte: a
        // string of single-byte characters none of which is cached fills both.
        constexpr uint32_t kListBytes = sizeof(CharEntry);
        if (static_cast<uint32_t>(length) > UINT32_MAX / (2u * kListBytes)) {
            return WriteLog("文字列が長すぎます\n");
        }
        const size_t listBytes = static_cast<size_t>(length) * kListBytes;
        const auto bytes = static_cast<uint32_t>(2u * listBytes);
        uint8_t* block = static_cast<uint8_t*>(AllocTracked(bytes, __FILE__, __LINE__));
        if (block == nullptr) {
            return WriteLog("文字列の文字の変換用メモリの確保に失敗しました\n");
        }
        own.entries = reinterpret_cast<CharEntry*>(block);
        own.tracked = true;
        missing = reinterpret_cast<CharEntry*>(block + listBytes);
        if (entries == nullptr) {
            out = own.entries;
        }
    }
    int characters = 0;
    int missingCount = 0;
    for (int i = 0; i < length;) {
        const auto first = static_cast<uint8_t>(text[i]);
        uint8_t second = 0;
        if (IsLeadByte(text + i, font->charSet) != 0 && i + 1 < length) {
            second = static_cast<uint8_t>(text[i + 1]);
            i += 2;
        } else {
            i += 1;
        }
        const CharEntry entry = {{first, second, 0}};
        out[characters++] = entry;
        const int index = CodeMapIndex(entry);
        if (font->codeMap[index].cached == 0 && !collected[index] &&
            missingCount < font->slotCount) {
            collected[index] = true;
            missing[missingCount++] = entry;
        }
    }
    for (int i = 0; i < missingCount; ++i) {
        collected[CodeMapIndex(missing[i])] = false;
    }
    if (missingCount > 0) {
        RenderGlyphToCache(handle, missingCount, missing);
    }
    if (count != nullptr) {
        *count = characters;
    }
    return 0;
}

}  // namespace tessel
