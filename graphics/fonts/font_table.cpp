// The font table: making a font (its GDI font with the face fall-backs, its
// cell size from the font's metrics, its cache on the hardware or the
// software path), deleting it, the handle check and the small queries.
// Routes: CreateFontToHandle -> ChooseSlot, BuildFont -> CreateWithFallBacks,
// MeasureFont, then SetUpHardwareCache (falling back to SetUpSoftwareCache
// when the texture cannot be made) or SetUpSoftwareCache; any failure ends in
// DiscardFont, which ReleaseFontHandle uses too.
// Not here: rendering glyphs (glyph_cache.cpp), the default font and the
// re-creation of all fonts (font_life.cpp), drawing (string_drawing.cpp).
#include <cstring>

#include "foundation/base/charset.h"
#include "foundation/base/text.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/fonts/fonts_internal.h"
#include "graphics/images/image_records.h"
#include "graphics/textures/texture_formats.h"

namespace tessel {

FontSettings g_fontSettings = {{}, 0, -1, 0};
FontTable g_fonts;

namespace {

// The largest cell a font may ask for: a software cache of its minimum 20
// cells then stays below 21 MB, and a hardware cache within 2048 x 2048.
constexpr int kMaxCellSize = 1024;

const char kDefaultFace[] = "ＭＳ ゴシック";

constexpr DWORD kGdiCharSets[] = {DEFAULT_CHARSET, SHIFTJIS_CHARSET, HANGEUL_CHARSET,
                                  CHINESEBIG5_CHARSET, GB2312_CHARSET};

int MakeFontHandle(uint32_t check, int slot) {
    return static_cast<int>(static_cast<uint32_t>(kFontHandleKind) | (check << 16) |
                            static_cast<uint32_t>(slot));
}

HFONT CreateGdiFont(const char* face, int size, int thickness, int italic, DWORD charSet) {
    return CreateFontA(size, 0, 0, 0, thickness * 100, static_cast<DWORD>(italic), 0, 0, charSet,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, FIXED_PITCH,
                       face);
}

// A named face tries the font's character set, then the default and then the
// Japanese one; the default face also drops italic before it gives up.
HFONT CreateWithFallBacks(FontRecord* font, const char* face) {
    const DWORD charSet = kGdiCharSets[font->charSet];
    if (face != nullptr && face[0] != '\0') {
        for (DWORD set : {charSet, DEFAULT_CHARSET, SHIFTJIS_CHARSET}) {
            if (HFONT made = CreateGdiFont(face, font->size, font->thickness, font->italic, set)) {
                return made;
            }
        }
        WriteLog("指定のフォントの作成に失敗しました\n");
        return nullptr;
    }
    if (HFONT made =
            CreateGdiFont(kDefaultFace, font->size, font->thickness, font->italic, charSet)) {
        return made;
    }
    if (HFONT made = CreateGdiFont(kDefaultFace, font->size, font->thickness, 0, DEFAULT_CHARSET)) {
        return made;
    }
    if (HFONT made = CreateGdiFont(nullptr, font->size, font->thickness, 0, DEFAULT_CHARSET)) {
        return made;
    }
    WriteLog("フォントの作成に失敗しました\n");
    return nullptr;
}

// Cell size and text height from the font's metrics. false without a DC.
bool MeasureFont(FontRecord* font) {
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) {
        WriteLog("ＤＣの取得に失敗しました\n");
        return false;
    }
    HGDIOBJ previous = SelectObject(dc, font->gdiFont);
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    const int edge = (font->type & kFontEdge) != 0 ? font->edgeSize : 0;
    int cell = metrics.tmMaxCharWidth + 2 + 2 * edge;
    cell = (cell + 7) / 8 * 8;
    int height = metrics.tmHeight + 2 * edge;
    height += height & 1;
    font->textHeight = height;
    font->cellSize = height > cell ? height : cell;
    SelectObject(dc, previous);
    DeleteDC(dc);
    return true;
}

int CacheFormatIndex(const FontRecord& font) {
    TextureFormatRequest request = {};
    request.hardware = 1;
    request.alpha = (font.type & kFontAntialiased) != 0;
    request.colorKey = request.alpha == 0;
    request.colorBits = 16;
    return PickTextureFormatIndex(request);
}

bool SetUpSoftwareCache(FontRecord* font) {
    font->softBits = font->type == 0 ? 1 : 8;
    font->slotCount = SoftwareCacheSlots(font->cellSize);
    font->cellsPerColumn = font->slotCount;
    font->softPitch = (font->cellSize * font->softBits + 7) / 8;
    const uint32_t bytes = static_cast<uint32_t>(font->slotCount) *
                           static_cast<uint32_t>(font->cellSize) *
                           static_cast<uint32_t>(font->softPitch);
    font->softCache = static_cast<uint8_t*>(AllocTrackedZeroed(bytes, __FILE__, __LINE__));
    if (font->softCache == nullptr) {
        WriteLog("フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle");
        WriteLog("\n");
        return false;
    }
    return true;
}

// The texture cache, or the software one when the texture cannot be made.
bool SetUpHardwareCache(FontRecord* font, int handle) {
    const CacheLayout layout = HardwareCacheLayout(font->cellSize);
    font->cacheWidth = layout.width;
    font->cacheHeight = layout.height;
    font->slotCount = layout.slots;
    font->cellsPerColumn = layout.height / font->cellSize;
    font->rebuild = 1;
    if (RebuildFontCacheImages(handle) != 0) {
        WriteLog("テクスチャ文字キャッシュの作成に失敗しました\n");
        font->hardware = 0;
        return SetUpSoftwareCache(font);
    }
    const PixelFormatDesc* format = TextureFormatDescriptor(CacheFormatIndex(*font));
    BASEIMAGE& base = font->cacheBase;
    base.format = *format;
    base.width = ((font->type & kFontEdge) != 0 ? 2 : 1) * font->cacheWidth;
    base.height = font->cacheHeight;
    base.pitch = format->bytes * base.width;
    base.pixels = static_cast<uint8_t*>(
        AllocTrackedZeroed(static_cast<uint32_t>(base.pitch) * static_cast<uint32_t>(base.height),
                           __FILE__, __LINE__));
    if (base.pixels == nullptr) {
        WriteLog("文字キャッシュ基本イメージ用のメモリの確保に失敗しました\n");
        return false;
    }
    return true;
}

// Everything a record holds, then the record and its slot.
void DiscardFont(int slot) {
    FontRecord* font = g_fonts.slots[slot];
    if (font->gdiFont != nullptr) {
        DeleteObject(font->gdiFont);
    }
    FreeTracked(font->softCache);
    if (font->edgeCacheImage != -1) {
        ReleaseImageHandle(font->edgeCacheImage);
    }
    if (font->cacheImage != -1) {
        ReleaseImageHandle(font->cacheImage);
    }
    FreeTracked(font->cacheBase.pixels);
    if (font->lostFlag != nullptr) {
        *font->lostFlag = 1;
    }
    FreeTracked(font);
    g_fonts.slots[slot] = nullptr;
}

// The slot a new font takes, or -1 with the reason logged.
int ChooseSlot(int wanted) {
    if (wanted != -1) {
        if (wanted < 0 || wanted >= kFontSlots || g_fonts.slots[wanted] != nullptr) {
            return WriteLogFormat("フォントハンドルのスロット %d は使えません", wanted);
        }
        return wanted;
    }
    for (int slot = 0; slot < kFontSlots; ++slot) {
        if (g_fonts.slots[slot] == nullptr) {
            return slot;
        }
    }
    return WriteLogFormat("作成できるフォントハンドル数 %d の限界を超えました", kFontSlots);
}

uint32_t TakeCheck(int wanted) {
    if (wanted != -1) {
        return static_cast<uint32_t>(wanted);
    }
    const uint32_t check = g_fontSettings.nextCheck;
    g_fontSettings.nextCheck = check + 1 >= kFontCheckLimit ? 0 : check + 1;
    return check;
}

// Builds the record in its slot; false once anything failed (the caller
// discards what was made).
bool BuildFont(FontRecord* font, int handle, const char* face) {
    font->gdiFont = CreateWithFallBacks(font, face);
    if (font->gdiFont == nullptr || !MeasureFont(font)) {
        return false;
    }
    if (font->cellSize > kMaxCellSize) {
        WriteLogFormat("フォントの文字の大きさ %d が大きすぎます", font->cellSize);
        return false;
    }
    if (font->hardware != 0) {
        return SetUpHardwareCache(font, handle);
    }
    return SetUpSoftwareCache(font);
}

}  // namespace

int FontHandleInSlot(int slot) {
    if (slot < 0 || slot >= kFontSlots || g_fonts.slots[slot] == nullptr) {
        return -1;
    }
    return MakeFontHandle(g_fonts.slots[slot]->check, slot);
}

CacheLayout HardwareCacheLayout(int cellSize) {
    CacheLayout layout = {512, 512, (512 / cellSize) * (512 / cellSize)};
    while (layout.slots < 10) {
        if (layout.width > layout.height) {
            layout.height *= 2;
        } else {
            layout.width *= 2;
        }
        layout.slots = (layout.height / cellSize) * (layout.width / cellSize);
    }
    if (layout.slots > kMaxGlyphSlots) {
        layout.slots = kMaxGlyphSlots;
    }
    return layout;
}

int SoftwareCacheSlots(int cellSize) {
    const int slots = 0x50000 / (cellSize * cellSize);
    if (slots < 20) {
        return 20;
    }
    return slots > kMaxGlyphSlots ? kMaxGlyphSlots : slots;
}

int CreateFontToHandle(const char* face, int size, int thickness, int type, int charSet,
                       int edgeSize, int italic, int slot, int check) {
    type = type == -1 ? 0 : type;
    type |= edgeSize > 1 ? kFontEdge : 0;
    size = size == -1 ? 16 : size;
    thickness = thickness == -1 ? 6 : thickness;
    edgeSize = edgeSize == -1 ? 1 : edgeSize;
    charSet = charSet == -1 ? LibraryCharSet : charSet;
    if (type < 0 || type > 3 || edgeSize < 0 || charSet < 0 || charSet > 4 ||
        (check != -1 && (check < 0 || check >= static_cast<int>(kFontCheckLimit)))) {
        return WriteLogFormat(
            "フォントの作成に不正な値が渡されました (種類 %d 縁 %d 文字セット %d)", type, edgeSize,
            charSet);
    }
    slot = ChooseSlot(slot);
    if (slot < 0) {
        return -1;
    }
    auto* font =
        static_cast<FontRecord*>(AllocTrackedZeroed(sizeof(FontRecord), __FILE__, __LINE__));
    if (font == nullptr) {
        return WriteLog("フォント管理用メモリ領域の確保に失敗しました\n");
    }
    g_fonts.slots[slot] = font;
    font->cacheImage = -1;
    font->edgeCacheImage = -1;
    if (QueryScreenColorDepth() == 8) {
        type &= ~kFontAntialiased;
    }
    font->type = type;
    font->size = size;
    font->thickness = thickness;
    font->edgeSize = edgeSize;
    font->italic = italic;
    font->charSet = charSet;
    font->check = TakeCheck(check);
    font->hardware = g_graphics.hardwareInUse != 0 ? 1 : 0;
    if (face != nullptr) {
        CopyTextN(font->face, face, kFontFaceSize - 1);
    }
    const int handle = FontHandleInSlot(slot);
    if (!BuildFont(font, handle, face)) {
        DiscardFont(slot);
        return -1;
    }
    ResetGlyphCache(handle);
    font->lostFlag = nullptr;
    return handle;
}

FontRecord* GetFontRecord(int handle) {
    if (handle < 0 || (handle & 0x78000000) != kFontHandleKind) {
        return nullptr;
    }
    const int slot = handle & 0xFFFF;
    if (slot >= kFontSlots) {
        return nullptr;
    }
    FontRecord* font = g_fonts.slots[slot];
    if (font == nullptr || static_cast<int>(font->check << 16) != (handle & 0x07FF0000)) {
        return nullptr;
    }
    return font;
}

int IsFontHandleValid(int handle) {
    return GetFontRecord(handle) != nullptr ? 1 : 0;
}

int ReleaseFontHandle(int handle) {
    if (GetFontRecord(handle) == nullptr) {
        return -1;
    }
    DiscardFont(handle & 0xFFFF);
    return 0;
}

int QueryFontInfo(char* face, int* size, int* thickness, int handle) {
    const FontRecord* font = GetFontRecord(handle);
    if (font == nullptr) {
        return -1;
    }
    if (face != nullptr) {
        CopyText(face, font->face);
    }
    if (size != nullptr) {
        *size = font->size;
    }
    if (thickness != nullptr) {
        *thickness = font->thickness;
    }
    return 0;
}

int QueryFontSize(int handle) {
    const FontRecord* font = GetFontRecord(handle);
    return font != nullptr ? font->size : -1;
}

int SetFontCharSpacing(int spacing, int handle) {
    FontRecord* font = GetFontRecord(handle);
    if (font == nullptr) {
        return -1;
    }
    font->spacing = spacing;
    return 0;
}

int SetFontLostFlagPointer(int handle, int* flag) {
    FontRecord* font = GetFontRecord(handle);
    if (font == nullptr) {
        return -1;
    }
    font->lostFlag = flag;
    if (flag != nullptr) {
        *flag = 0;
    }
    return 0;
}

int QueryDefaultFontHandle() {
    return g_fontSettings.defaultFont;
}

}  // namespace tessel
