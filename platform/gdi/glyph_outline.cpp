// GetGlyphOutlineA: one character of the selected font rendered by FreeType
// from its outline (embedded bitmaps are not used), monochrome for GGO_BITMAP
// and anti-aliased then brought to 17 levels for GGO_GRAY4_BITMAP, with its
// metrics in Windows' terms. Other formats and transforms are refused.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H

#include <cstring>
#include <optional>

#include "platform/gdi/font_table_internal.h"
#include "platform/kernel.h"

namespace platform::gdi {

namespace {

constexpr FT_Pos kBoldStroke = 64;  // one pixel in 26.6

bool IsIdentity(const MAT2* matrix) {
    auto is = [](const FIXED& value, SHORT whole) {
        return value.fract == 0 && value.value == whole;
    };
    return matrix != nullptr && is(matrix->eM11, 1) && is(matrix->eM12, 0) && is(matrix->eM21, 0) &&
           is(matrix->eM22, 1);
}

// The Unicode character of a code of the font's code page: one byte, or a
// double-byte character as lead x 256 + trail.
std::optional<char32_t> CodePointOf(UINT character, UINT codePage) {
    if (character > 0xFFFF) {
        return std::nullopt;
    }
    char bytes[2];
    int length = 0;
    if (character > 0xFF) {
        bytes[length++] = static_cast<char>(character >> 8);
    }
    bytes[length++] = static_cast<char>(character);
    WCHAR wide[2];
    if (MultiByteToWideChar(codePage, 0, bytes, length, wide, 2) != 1) {
        return std::nullopt;  // not one character, e.g. two single bytes
    }
    return char32_t{wide[0]};
}

// Levels 0-16 from FreeType's 0-255 coverage, to the nearest level.
BYTE GrayLevel(BYTE coverage) {
    return static_cast<BYTE>((coverage * 16 + 127) / 255);
}

DWORD RowBytes(UINT format, unsigned width) {
    unsigned bits = format == GGO_BITMAP ? width : width * 8;
    return (bits + 31) / 32 * 4;
}

// Copies the rendered bitmap top row first into rows padded to 4 bytes.
void StoreBitmap(const FT_Bitmap& bitmap, UINT format, BYTE* out) {
    DWORD stride = RowBytes(format, bitmap.width);
    const unsigned char* top = bitmap.buffer;
    if (bitmap.pitch < 0) {
        top -= static_cast<ptrdiff_t>(bitmap.pitch) * (bitmap.rows - 1);
    }
    std::memset(out, 0, static_cast<size_t>(stride) * bitmap.rows);
    for (unsigned y = 0; y < bitmap.rows; ++y) {
        const unsigned char* source = top + static_cast<ptrdiff_t>(bitmap.pitch) * y;
        BYTE* row = out + static_cast<size_t>(stride) * y;
        for (unsigned x = 0; x < bitmap.width; ++x) {
            if (format == GGO_GRAY4_BITMAP) {
                row[x] = GrayLevel(source[x]);
            } else if (source[x / 8] & (0x80 >> (x % 8))) {
                row[x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
            }
        }
    }
}

// Loads, styles and renders the glyph into the face's slot. `inked` tells
// whether the outline has any points: monochrome rendering gives an empty
// outline a blank pixel, while a space has no black box here.
bool RenderInto(FontObject& font, char32_t codePoint, UINT format, bool* inked) {
    FT_Face face = font.face;
    bool mono = format == GGO_BITMAP;
    FT_Int32 flags = FT_LOAD_NO_BITMAP | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
    if (FT_Load_Glyph(face, FT_Get_Char_Index(face, codePoint), flags) != 0) {
        return false;
    }
    FT_GlyphSlot slot = face->glyph;
    *inked = slot->outline.n_points > 0;
    if (font.oblique) {
        FT_GlyphSlot_Oblique(slot);
    }
    if (font.embolden && *inked) {
        FT_Outline_EmboldenXY(&slot->outline, kBoldStroke, 0);
    }
    if (font.embolden && slot->advance.x != 0) {
        slot->advance.x += kBoldStroke;
    }
    return FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) == 0;
}

DWORD GlyphOutline(FontObject& font, UINT character, UINT format, GLYPHMETRICS* metrics,
                   DWORD bufferSize, void* buffer) {
    std::optional<char32_t> codePoint = CodePointOf(character, font.codePage);
    if (!codePoint) {
        LogFontRefusal("GetGlyphOutlineA: 0x%X is no character of code page %u", character,
                       font.codePage);
        return GDI_ERROR;
    }
    bool inked = false;
    if (!RenderInto(font, *codePoint, format, &inked)) {
        LogFontRefusal("GetGlyphOutlineA: FreeType cannot render U+%04X", *codePoint);
        return GDI_ERROR;
    }
    FT_GlyphSlot slot = font.face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    inked = inked && bitmap.width > 0 && bitmap.rows > 0;
    metrics->gmBlackBoxX = inked ? bitmap.width : 0;
    metrics->gmBlackBoxY = inked ? bitmap.rows : 0;
    metrics->gmptGlyphOrigin = {inked ? slot->bitmap_left : 0, inked ? slot->bitmap_top : 0};
    metrics->gmCellIncX = static_cast<SHORT>((slot->advance.x + 32) >> 6);
    metrics->gmCellIncY = 0;
    if (format == GGO_METRICS) {
        return 0;
    }
    DWORD size = inked ? RowBytes(format, bitmap.width) * bitmap.rows : 0;
    if (buffer == nullptr || bufferSize == 0) {
        return size;
    }
    if (bufferSize < size) {
        LogFontRefusal("GetGlyphOutlineA: the bitmap needs %u bytes, the buffer holds %u", size,
                       bufferSize);
        return GDI_ERROR;
    }
    if (inked) {
        StoreBitmap(bitmap, format, static_cast<BYTE*>(buffer));
    }
    return size;
}

}  // namespace

}  // namespace platform::gdi

DWORD GetGlyphOutlineA(HDC dc, UINT character, UINT format, GLYPHMETRICS* metrics, DWORD bufferSize,
                       void* buffer, const MAT2* matrix) {
    namespace gdi = platform::gdi;
    if (format != GGO_METRICS && format != GGO_BITMAP && format != GGO_GRAY4_BITMAP) {
        gdi::LogFontRefusal("GetGlyphOutlineA: format %u is not served", format);
        return GDI_ERROR;
    }
    if (metrics == nullptr) {
        gdi::LogFontRefusal("GetGlyphOutlineA: no metrics record to fill");
        return GDI_ERROR;
    }
    if (!gdi::IsIdentity(matrix)) {
        gdi::LogFontRefusal("GetGlyphOutlineA: only the identity transform is served");
        return GDI_ERROR;
    }
    DWORD result = GDI_ERROR;
    gdi::WithSelectedFont(dc, "GetGlyphOutlineA", [&](gdi::FontObject& font) {
        result = gdi::GlyphOutline(font, character, format, metrics, bufferSize, buffer);
    });
    return result;
}
