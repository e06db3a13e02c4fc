// Opening a font: the face fontconfig picks, opened by FreeType and sized,
// with its metrics in Windows' terms.
//
// Sizes follow Windows: the cell of a font is its face's Windows ascent plus
// descent (the OS/2 table's, else the horizontal header's), and a positive
// height asks for that cell, a negative one for the em. Glyphs then render at
// a whole number of pixels per em.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>

#include "platform/gdi/font_table_internal.h"

namespace platform::gdi {

namespace {

constexpr int kSyntheticBoldWeight = 600;

FT_Library FreeType() {
    static FT_Library library = [] {
        FT_Library made = nullptr;
        return FT_Init_FreeType(&made) == 0 ? made : nullptr;
    }();
    return library;
}

int64_t RoundedRatio(int64_t value, int64_t numerator, int64_t denominator) {
    int64_t product = value * numerator;
    return product >= 0 ? (product + denominator / 2) / denominator
                        : -((-product + denominator / 2) / denominator);
}

// The face's Windows cell in font units: ascent above and descent below the
// baseline.
struct CellUnits {
    int ascent;
    int descent;
};

CellUnits CellOf(FT_Face face) {
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        return {os2->usWinAscent, os2->usWinDescent};
    }
    if (face->ascender - face->descender > 0) {
        return {face->ascender, -face->descender};
    }
    return {face->units_per_EM * 4 / 5, face->units_per_EM / 5};
}

// Pixels per em, cell height and ascent for the height CreateFontA was given.
struct CellSize {
    int pixelsPerEm;
    int height;
    int ascent;
};

CellSize SizeCell(int requested, FT_Face face) {
    CellUnits cell = CellOf(face);
    int64_t cellUnits = cell.ascent + cell.descent;
    int64_t em = face->units_per_EM;
    if (requested == 0) {
        requested = kDefaultFontHeight;
    }
    if (requested > 0) {
        int ppem = static_cast<int>(std::max<int64_t>(1, RoundedRatio(requested, em, cellUnits)));
        return {ppem, requested, static_cast<int>(RoundedRatio(requested, cell.ascent, cellUnits))};
    }
    int ppem = -requested;
    return {ppem, static_cast<int>(RoundedRatio(ppem, cellUnits, em)),
            static_cast<int>(RoundedRatio(ppem, cell.ascent, em))};
}

// Windows reads these flags backwards: the low bit set means variable pitch.
BYTE PitchAndFamilyOf(const ResolvedFace& face) {
    constexpr BYTE kVariablePitch = 0x01, kVector = 0x02, kTrueType = 0x04;
    constexpr BYTE kModern = 0x30, kSwiss = 0x20;
    BYTE flags = kVector | kTrueType;
    return face.monospaced ? (flags | kModern) : (flags | kVariablePitch | kSwiss);
}

UINT CodePageOf(DWORD charSet) {
    switch (charSet) {
        case HANGEUL_CHARSET:
            return 949;
        case GB2312_CHARSET:
            return 936;
        case CHINESEBIG5_CHARSET:
            return 950;
        default:
            return 932;
    }
}

int WeightOfFace(FT_Face face) {
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 != nullptr && os2->version != 0xFFFF && os2->usWeightClass != 0) {
        return os2->usWeightClass;
    }
    return (face->style_flags & FT_STYLE_FLAG_BOLD) != 0 ? 700 : 400;
}

void FillMetrics(FontObject& font, const FontRequest& request, const CellSize& cell) {
    FT_Face face = font.face;
    auto scaled = [&](int64_t units) {
        return static_cast<LONG>(RoundedRatio(units, cell.pixelsPerEm, face->units_per_EM));
    };
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
    LONG bolder = font.embolden ? 1 : 0;
    LONG maxWidth = scaled(face->max_advance_width) + bolder;
    LONG average = os2 != nullptr && os2->xAvgCharWidth > 0 ? scaled(os2->xAvgCharWidth) + bolder
                                                            : (maxWidth + 1) / 2;
    TEXTMETRICA& m = font.metrics;
    m.tmHeight = cell.height;
    m.tmAscent = cell.ascent;
    m.tmDescent = cell.height - cell.ascent;
    m.tmInternalLeading = std::max(0, cell.height - cell.pixelsPerEm);
    m.tmExternalLeading = hhea != nullptr ? std::max<LONG>(0, scaled(hhea->Line_Gap)) : 0;
    m.tmAveCharWidth = average;
    m.tmMaxCharWidth = maxWidth;
    m.tmWeight = request.weight;
    m.tmOverhang = 0;
    m.tmDigitizedAspectX = 96;
    m.tmDigitizedAspectY = 96;
    m.tmFirstChar = 0x20;
    m.tmLastChar = 0xFF;
    m.tmDefaultChar = '?';
    m.tmBreakChar = 0x20;
    m.tmItalic = request.italic ? 1 : 0;
    m.tmUnderlined = request.underline ? 1 : 0;
    m.tmStruckOut = request.strikeOut ? 1 : 0;
    m.tmPitchAndFamily = PitchAndFamilyOf(font.resolved);
    m.tmCharSet =
        static_cast<BYTE>(request.charSet == DEFAULT_CHARSET ? SHIFTJIS_CHARSET : request.charSet);
}

}  // namespace

std::unique_ptr<FontObject> OpenFont(const FontRequest& request) {
    std::optional<ResolvedFace> resolved = ResolveFace(request.face);
    if (!resolved) {
        LogFontRefusal("CreateFontA: no scalable font is installed");
        return nullptr;
    }
    if (resolved->substituted) {
        LogFontRefusal("CreateFontA: no font \"%s\" is installed; \"%s\" stands in",
                       request.face.name.c_str(), resolved->family.c_str());
    }
    FT_Library library = FreeType();
    auto font = std::make_unique<FontObject>();
    font->resolved = *resolved;
    if (library == nullptr ||
        FT_New_Face(library, resolved->file.c_str(), resolved->index, &font->face) != 0) {
        font->face = nullptr;
        LogFontRefusal("CreateFontA: FreeType cannot open \"%s\"", resolved->file.c_str());
        return nullptr;
    }
    if (!FT_IS_SCALABLE(font->face) || FT_Select_Charmap(font->face, FT_ENCODING_UNICODE) != 0) {
        LogFontRefusal("CreateFontA: \"%s\" has no scalable Unicode outlines",
                       resolved->file.c_str());
        return nullptr;
    }
    CellSize cell = SizeCell(request.height, font->face);
    if (FT_Set_Pixel_Sizes(font->face, 0, static_cast<FT_UInt>(cell.pixelsPerEm)) != 0) {
        LogFontRefusal("CreateFontA: \"%s\" cannot be sized to %d pixels", resolved->file.c_str(),
                       cell.pixelsPerEm);
        return nullptr;
    }
    font->pixelsPerEm = cell.pixelsPerEm;
    // fontconfig reports the asked-for style once it would synthesise it, so
    // the face itself says what it has.
    font->embolden =
        request.weight >= kSyntheticBoldWeight && WeightOfFace(font->face) < kSyntheticBoldWeight;
    font->oblique = request.italic && (font->face->style_flags & FT_STYLE_FLAG_ITALIC) == 0;
    font->codePage = CodePageOf(request.charSet);
    FillMetrics(*font, request, cell);
    return font;
}

}  // namespace platform::gdi
