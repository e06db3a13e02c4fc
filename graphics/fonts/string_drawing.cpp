// Laying out and drawing strings. DrawStringToScreen decides the path (the
// font's cache is a texture or not) and runs the mask and subtract steps;
// DrawStringCore walks the pen over the characters, measuring or drawing each
// from the glyph cache; DrawStringSoftware draws through a work image where a
// blend must apply to the whole string once, so that glyphs that overlap do
// not blend twice.
// Routes: DrawStringToScreen -> DrawStringHardware | DrawStringSoftware ->
// DrawStringCore -> (hardware) DrawImagePart / DrawImageQuadF, (software)
// DrawSoftGlyph.
// Not here: the software path's per-pixel rules (soft_glyphs.cpp) or the
// glyph cache itself; strings are not wrapped.
#include "graphics/fonts/string_drawing_internal.h"

#include <cstring>
#include <optional>

#include "foundation/math/matrix.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "foundation/runtime/message_pump.h"
#include "graphics/device/device_state.h"
#include "graphics/draw/draw_calls.h"
#include "graphics/fonts/fonts_internal.h"
#include "graphics/images/image_records.h"
#include "graphics/mask/mask_screen.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/targets/draw_targets.h"
#include "softrender/blit.h"

namespace tessel {

namespace {

constexpr int kStaticStringBytes = 256;
constexpr int kFullWidthSpace = 0x4081;

struct TextColours {
    uint32_t colour;  // 0x00RRGGBB, the brightness applied
    uint32_t edge;
};

uint32_t Tinted(uint32_t pixel) {
    int r = 0;
    int g = 0;
    int b = 0;
    ScreenPixelToColor(pixel, &r, &g, &b);
    const uint32_t bright = g_drawSettings.brightness;
    const auto scale = [](int channel, uint32_t by) {
        return static_cast<uint32_t>(channel) * (by & 0xFF) / 255;
    };
    return (scale(r, bright >> 16) << 16) | (scale(g, bright >> 8) << 8) | scale(b, bright);
}

// The entries of the string: a static buffer for short strings.
struct StringEntries {
    CharEntry* entries = nullptr;
    bool tracked = false;
    bool Take(int length) {
        static CharEntry shortString[kStaticStringBytes];
        if (length <= kStaticStringBytes) {
            entries = shortString;
            return true;
        }
        entries = static_cast<CharEntry*>(
            AllocTracked(static_cast<uint32_t>(length) * 3u, __FILE__, __LINE__));
        tracked = entries != nullptr;
        return tracked;
    }
    ~StringEntries() {
        if (tracked) {
            FreeTracked(entries);
        }
    }
};

// The slot of a character, rendered again when it left the cache meanwhile.
const GlyphSlot* FindGlyph(FontRecord* font, int handle, const CharEntry& entry) {
    const int index = CodeMapIndex(entry);
    if (font->codeMap[index].cached == 0) {
        RenderGlyphToCache(handle, 1, &entry);
    }
    const CodeMapEntry& found = font->codeMap[index];
    return found.cached != 0 ? &font->slots[found.slot] : nullptr;
}

bool DrawsNothing(const CharEntry& entry, const GlyphSlot& slot) {
    const int index = CodeMapIndex(entry);
    return index == 0x20 || index == kFullWidthSpace || slot.width == 0 || slot.height == 0;
}

// The hardware path's settings that a string changes for its glyphs.
struct HardwareTextState {
    uint32_t brightness = g_drawSettings.brightness;
    int32_t blendMask = g_drawSettings.blendMaskImage;
    int32_t maskLevel = g_drawSettings.maskLevel;
    int32_t maskRange = g_drawSettings.maskRange;
    HardwareTextState() {
        if (blendMask != -1) {
            SetBlendMaskImage(-1, maskLevel, maskRange);
        }
    }
    ~HardwareTextState() {
        if (blendMask != -1) {
            SetBlendMaskImage(blendMask, maskLevel, maskRange);
        }
        SetImageBrightnessPacked(brightness);
    }
};

// The whole cache image turned a quarter clockwise, so that the cell lands
// with its top row on the column left of `right` and its left column on row
// `top`; clipped to the glyph's own rectangle.
void DrawTurnedCell(int image, int cellX, int cellY, const GlyphSlot& slot, int right, int top) {
    const ImageRecord* record = GetImageRecord(image);
    if (record == nullptr) {
        return;
    }
    DrawSettings& s = g_drawSettings;
    const RECT kept = s.drawArea;
    const RECT keptRequest = s.requestedArea;
    RECT turned = {right - slot.height, top, right, top + slot.width};
    ClipRectInPlace(&turned, &kept);
    if (turned.right > turned.left && turned.bottom > turned.top) {
        SetClipRegion(turned.left, turned.top, turned.right, turned.bottom);
        const auto X = [&](float v) { return float(right) - (v - float(cellY)) - 0.5f; };
        const auto Y = [&](float u) { return float(top) + (u - float(cellX)) - 0.5f; };
        const float w = float(record->width);
        const float h = float(record->height);
        DrawImageQuadF(X(0), Y(0), X(0), Y(w), X(h), Y(w), X(h), Y(0), image, 1);
        SetClipRegion(kept.left, kept.top, kept.right, kept.bottom);
        s.requestedArea = keptRequest;
    }
}

void DrawHardwareGlyph(const FontRecord& font, const GlyphSlot& slot, int x, int y, int pen,
                       const TextColours& colours, bool vertical) {
    int cellX = 0;
    int cellY = 0;
    CellOrigin(font, slot.cell, &cellX, &cellY);
    const bool edge = (font.type & kFontEdge) != 0 && font.edgeCacheImage != -1;
    const int images[2] = {font.edgeCacheImage, font.cacheImage};
    const uint32_t tints[2] = {colours.edge, colours.colour};
    for (int layer = edge ? 0 : 1; layer < 2; ++layer) {
        SetImageBrightnessPacked(tints[layer]);
        if (vertical) {
            DrawTurnedCell(images[layer], cellX, cellY, slot, x + font.textHeight - slot.drawY,
                           y + pen + slot.drawX);
        } else {
            DrawImagePart(x + pen + slot.drawX, y + slot.drawY, cellX, cellY, slot.width,
                          slot.height, images[layer], 1, 0);
        }
    }
}

void FillSize(SIZE* size, double pen, int textHeight, bool vertical) {
    if (size == nullptr) {
        return;
    }
    const LONG length = static_cast<LONG>(pen);
    *size = vertical ? SIZE{textHeight, length} : SIZE{length, textHeight};
}

// The work image's transparent value: 0 with alpha, else the first value
// from the current one that neither colour of the text takes.
uint32_t WorkTransparent(MEMIMG* work, bool alpha, uint32_t colour, uint32_t edge) {
    if (alpha) {
        return 0;
    }
    const bool sixteen = work->base->colorType == kMemImgRgb565;
    const auto pixel = [&](uint32_t rgb) {
        if (!sixteen) {
            return rgb;
        }
        return (((rgb >> 19) & 31) << 11) | (((rgb >> 10) & 63) << 5) | ((rgb >> 3) & 31);
    };
    const uint32_t limit = sixteen ? 0xFFFFu : 0xFFFFFFu;
    uint32_t value = work->base->transparent & limit;
    while (value == pixel(colour) || value == pixel(edge)) {
        value = (value + 1) & limit;
    }
    return value;
}

}  // namespace

int DrawStringCore(int mode, int x, int y, const char* text, uint32_t colour, MEMIMG* target,
                   const RECT* clip, int handle, uint32_t edgeColour, int length, int vertical,
                   SIZE* size) {
    FontRecord* font = GetFontRecord(handle);
    if (font == nullptr) {
        return -1;
    }
    const TextColours colours = {Tinted(colour), Tinted(edgeColour)};
    FillSize(size, 0, font->textHeight, vertical != 0);
    if (text == nullptr || text[0] == '\0') {
        return 0;
    }
    const int whole = static_cast<int>(std::strlen(text));
    if (length < 0 || length > whole) {
        length = whole;
    }
    StringEntries buffer;
    int count = 0;
    if (!buffer.Take(length) ||
        PrepareStringGlyphs(text, handle, length, buffer.entries, &count) != 0) {
        return -1;
    }
    const bool hardware = target == nullptr;
    double pen = 0;
    if (mode == kStringMeasure) {
        for (int i = 0; i < count; ++i) {
            const GlyphSlot* slot = FindGlyph(font, handle, buffer.entries[i]);
            pen += (slot != nullptr ? slot->advance : 0) + font->spacing;
        }
        FillSize(size, pen, font->textHeight, vertical != 0);
        return static_cast<int>(pen);
    }
    const RECT area = clip != nullptr ? *clip : g_drawSettings.drawArea;
    std::optional<HardwareTextState> kept;
    if (hardware) {
        kept.emplace();
    }
    int result = 0;
    for (int i = 0; i < count; ++i) {
        const GlyphSlot* slot = FindGlyph(font, handle, buffer.entries[i]);
        if (slot == nullptr) {
            WriteLog("テキストキャッシュの作成に失敗しました");
            WriteLog("\n");
            result = -1;
            break;
        }
        if (!DrawsNothing(buffer.entries[i], *slot)) {
            const int at = static_cast<int>(pen);
            if (hardware) {
                DrawHardwareGlyph(*font, *slot, x, y, at, colours, vertical != 0);
            } else if (vertical != 0) {
                DrawSoftGlyph(*font, *slot,
                              {x + font->textHeight - 1 - slot->drawY, y + at + slot->drawX, true},
                              {colours.colour, colours.edge}, target, area);
            } else {
                DrawSoftGlyph(*font, *slot, {x + at + slot->drawX, y + slot->drawY, false},
                              {colours.colour, colours.edge}, target, area);
            }
        }
        pen += slot->advance + font->spacing;
    }
    kept.reset();
    if (result != 0) {
        return result;
    }
    FillSize(size, pen, font->textHeight, vertical != 0);
    return static_cast<int>(pen);
}

int DrawStringHardware(int x, int y, uint32_t colour, uint32_t edgeColour, int vertical, int handle,
                       const char* text) {
    const FontRecord* font = GetFontRecord(handle);
    if (font == nullptr || font->hardware == 0) {
        return 0;
    }
    RebuildFontCacheImages(handle);
    const RECT area = g_drawSettings.drawArea;
    DrawStringCore(kStringDraw, x, y, text, colour, nullptr, &area, handle, edgeColour, -1,
                   vertical, nullptr);
    return 0;
}

int DrawStringSoftware(const char* text, uint32_t colour, int handle, uint32_t edgeColour,
                       int vertical, int x, int y) {
    const FontRecord* font = GetFontRecord(handle);
    MEMIMG* target = CurrentSoftTarget();
    if (font == nullptr || target == nullptr) {
        return 0;
    }
    SIZE size = {};
    DrawStringCore(kStringMeasure, x, y, text, colour, target, nullptr, handle, edgeColour, -1,
                   vertical, &size);
    const DrawSettings& s = g_drawSettings;
    const bool antialiased = (font->type & kFontAntialiased) != 0;
    if (!antialiased && (s.blendMode == 0 || (s.blendMode == 1 && s.blendParam == 255))) {
        const RECT area = s.drawArea;
        DrawStringCore(kStringDraw, x, y, text, colour, target, &area, handle, edgeColour, -1,
                       vertical, nullptr);
        return 0;
    }
    MEMIMG* work = antialiased ? &g_targets.workImageAlpha : &g_targets.workImage;
    if (MemImgIsValid(work) == 0) {
        return 0;
    }
    RECT workArea = {0, 0, size.cx, size.cy};
    const RECT screen = {0, 0, work->width, work->height};
    ClipRectInPlace(&workArea, &screen);
    work->base->transparent =
        WorkTransparent(work, antialiased, Tinted(colour), Tinted(edgeColour));
    MemImgFillRect(work, &workArea, work->base->transparent);
    DrawStringCore(kStringDraw, 0, 0, text, colour, work, &workArea, handle, edgeColour, -1,
                   vertical, nullptr);
    SoftDrawState state = CurrentSoftDrawState();
    state.brightness = 0xFFFFFF;
    RECT blitArea = {x, y, x + size.cx, y + size.cy};
    ClipRectInPlace(&blitArea, &s.drawArea);
    state.drawArea = blitArea;
    MemImgBlit(state, target, work, x, y, 1, SoftBlendMask());
    return 0;
}

int DrawStringToScreen(int x, int y, const char* text, uint32_t colour, int handle,
                       uint32_t edgeColour, int vertical) {
    const DrawSettings& s = g_drawSettings;
    if (text == nullptr || text[0] == '\0' || s.drawAreaEmpty != 0) {
        return 0;
    }
    const FontRecord* font = GetFontRecord(handle);
    if (font == nullptr) {
        return WriteLog("フォントハンドル値が異常です\n");
    }
    const bool texture = font->hardware != 0;
    WaitWhileInactive();
    const bool mask = s.maskEnabled != 0;
    RECT rect = {};
    if ((s.blendMode == 3 && texture) || mask || s.drawTarget == kFrontScreen) {
        rect = vertical != 0 ? RECT{x, y, x + font->size + 3, s.drawArea.bottom}
                             : RECT{x, y, s.drawArea.right, y + font->size + 3};
        if (rect.left >= s.drawArea.right) {
            return 0;
        }
    }
    if (mask) {
        MaskBeforeDraw(&rect);
    }
    int result = 0;
    if (s.blendMode == 3 && g_graphics.blendOpSupported == 0 && texture) {
        SubtractBlendPrePass(&rect);
        result = DrawStringHardware(x, y, colour, edgeColour, vertical, handle, text);
        SubtractBlendPostPass(&rect);
    } else if (texture) {
        result = DrawStringHardware(x, y, colour, edgeColour, vertical, handle, text);
    } else {
        result = DrawStringSoftware(text, colour, handle, edgeColour, vertical, x, y);
    }
    if (mask) {
        MaskAfterDraw(&rect);
    }
    return result;
}

}  // namespace tessel
