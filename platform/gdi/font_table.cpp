// Font objects: CreateFontA resolves the face and sizes it, the table hands
// out checked ids, SelectObject and DeleteObject of a font come here, and
// GetTextMetricsA reads the metrics worked out at creation.
//
// Sizes follow Windows: the cell of a font is its face's Windows ascent plus
// descent (the OS/2 table's, else the horizontal header's), and a positive
// height asks for that cell, a negative one for the em. Glyphs then render at
// a whole number of pixels per em.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/gdi/font_table_internal.h"
#include "platform/kernel.h"
#include "platform/kernel/pathmap.h"

namespace platform::gdi {

namespace {

constexpr int kMaxHeight = 1024;  // larger glyphs would make runaway bitmaps
constexpr int kDefaultHeight = 16;
constexpr int kFaceNameBytes = 31;  // Windows keeps 32 bytes with the NUL
constexpr size_t kMaxFonts = 16384;
constexpr int kSyntheticBoldWeight = 600;

// Handle layout: a tag in the top byte that no user-space address has, the
// generation in bits 32-55, the slot in bits 0-31. Slot 0 is the stock font.
constexpr uintptr_t kFontTag = uintptr_t{0x7E} << 56;
constexpr uint32_t kGenerationMask = 0xFFFFFF;

struct Slot {
    std::unique_ptr<FontObject> font;
    uint32_t generation = 1;
};

std::vector<Slot>& Slots() {
    static auto* slots = new std::vector<Slot>(1);
    return *slots;
}

HGDIOBJ HandleOf(size_t slot, uint32_t generation) {
    return reinterpret_cast<HGDIOBJ>(kFontTag | uintptr_t{generation} << 32 | slot);
}

HGDIOBJ StockFontHandle() {
    return HandleOf(0, 1);
}

FT_Library FreeType() {
    static FT_Library library = [] {
        FT_Library made = nullptr;
        return FT_Init_FreeType(&made) == 0 ? made : nullptr;
    }();
    return library;
}

void CloseFont(FontObject* font) {
    if (font != nullptr && font->face != nullptr) {
        FT_Done_Face(font->face);
    }
    delete font;
}

struct FontCloser {
    void operator()(FontObject* font) const { CloseFont(font); }
};
using OwnedFont = std::unique_ptr<FontObject, FontCloser>;

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
        requested = kDefaultHeight;
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

struct FontRequest {
    int height;
    int weight;
    bool italic, underline, strikeOut;
    DWORD charSet;
    FaceRequest face;
};

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

OwnedFont OpenFont(const FontRequest& request) {
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
    OwnedFont font(new FontObject());
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

// Windows keeps the first 31 bytes of a face name; a double-byte character
// that would be cut in two is left out whole.
std::string TruncatedFaceName(const char* name) {
    std::string kept;
    for (size_t i = 0; name[i] != '\0';) {
        size_t length = IsDBCSLeadByte(static_cast<BYTE>(name[i])) && name[i + 1] != '\0' ? 2 : 1;
        if (kept.size() + length > kFaceNameBytes) {
            break;
        }
        kept.append(name + i, length);
        i += length;
    }
    return kept;
}

HGDIOBJ Register(OwnedFont font) {
    std::vector<Slot>& slots = Slots();
    for (size_t i = 1; i < slots.size(); ++i) {
        if (slots[i].font == nullptr) {
            slots[i].font.reset(font.release());
            return HandleOf(i, slots[i].generation);
        }
    }
    if (slots.size() >= kMaxFonts) {
        LogFontRefusal("CreateFontA: %zu fonts exist already", kMaxFonts - 1);
        return nullptr;
    }
    slots.emplace_back();
    slots.back().font.reset(font.release());
    return HandleOf(slots.size() - 1, slots.back().generation);
}

// The slot of a live handle (0 for the stock font), or -1.
long SlotOf(HGDIOBJ object) {
    if (!IsFontHandle(object)) {
        return -1;
    }
    auto value = reinterpret_cast<uintptr_t>(object);
    uint32_t slot = static_cast<uint32_t>(value);
    uint32_t generation = static_cast<uint32_t>(value >> 32) & kGenerationMask;
    const std::vector<Slot>& slots = Slots();
    if (slot >= slots.size() || slots[slot].generation != generation) {
        return -1;
    }
    return static_cast<long>(slot);
}

FontObject* StockFont() {
    Slot& stock = Slots()[0];
    if (stock.font == nullptr) {
        FontRequest request = {kDefaultHeight, 400, false, false, false, DEFAULT_CHARSET, {}};
        stock.font.reset(OpenFont(request).release());
    }
    return stock.font.get();
}

}  // namespace

void LogFontRefusal(const char* format, ...) {
    std::fputs("gdi: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

std::mutex& FontLock() {
    static auto* lock = new std::mutex();
    return *lock;
}

bool IsFontHandle(HGDIOBJ object) {
    return (reinterpret_cast<uintptr_t>(object) >> 56) == (kFontTag >> 56);
}

FontObject* FindFontLocked(HGDIOBJ object) {
    if (object == nullptr) {
        return StockFont();
    }
    long slot = SlotOf(object);
    if (slot < 0) {
        return nullptr;
    }
    return slot == 0 ? StockFont() : Slots()[static_cast<size_t>(slot)].font.get();
}

int CountFontsLocked() {
    const std::vector<Slot>& slots = Slots();
    return static_cast<int>(std::count_if(slots.begin() + 1, slots.end(),
                                          [](const Slot& slot) { return slot.font != nullptr; }));
}

BOOL DeleteFont(HGDIOBJ object) {
    std::lock_guard<std::mutex> guard(FontLock());
    long slot = SlotOf(object);
    if (slot < 0) {
        LogFontRefusal("DeleteObject: the font handle is stale or made up");
        return FALSE;
    }
    if (slot == 0) {
        return TRUE;  // the stock font stays
    }
    Slot& entry = Slots()[static_cast<size_t>(slot)];
    CloseFont(entry.font.release());
    entry.generation = (entry.generation + 1) & kGenerationMask;
    if (entry.generation == 0) {
        entry.generation = 1;
    }
    return TRUE;
}

HGDIOBJ SelectFont(HDC dc, HGDIOBJ font) {
    std::lock_guard<std::mutex> guard(FontLock());
    HGDIOBJ* selected = SelectedFontOf(dc);
    if (selected == nullptr) {
        LogFontRefusal("SelectObject: fonts go into memory contexts only");
        return nullptr;
    }
    if (SlotOf(font) < 0) {
        LogFontRefusal("SelectObject: the font handle is stale or made up");
        return nullptr;
    }
    HGDIOBJ previous = *selected != nullptr ? *selected : StockFontHandle();
    *selected = font;
    return previous;
}

}  // namespace platform::gdi

namespace gdi = platform::gdi;

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                  DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCSTR faceName) {
    (void)outPrecision, (void)clipPrecision, (void)quality;
    if (width != 0 || escapement != 0 || orientation != 0) {
        gdi::LogFontRefusal("CreateFontA: width, escapement and orientation must be 0");
        return nullptr;
    }
    if (height < -gdi::kMaxHeight || height > gdi::kMaxHeight) {
        gdi::LogFontRefusal("CreateFontA: height %d is beyond %d pixels", height, gdi::kMaxHeight);
        return nullptr;
    }
    gdi::FontRequest request = {
        height, std::clamp(weight, 0, 1000), italic != 0, underline != 0, strikeOut != 0, charSet,
        {}};
    if (request.weight == 0) {
        request.weight = 400;
    }
    std::string name = faceName != nullptr ? gdi::TruncatedFaceName(faceName) : std::string();
    request.face = {platform::Cp932ToUtf8(name), request.weight, request.italic, charSet,
                    (pitchAndFamily & 0x3u) == FIXED_PITCH};
    std::lock_guard<std::mutex> guard(gdi::FontLock());
    gdi::OwnedFont font = gdi::OpenFont(request);
    return font != nullptr ? gdi::Register(std::move(font)) : nullptr;
}

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics) {
    if (metrics == nullptr) {
        gdi::LogFontRefusal("GetTextMetricsA: no record to fill");
        return FALSE;
    }
    return gdi::WithSelectedFont(dc, "GetTextMetricsA",
                                 [metrics](gdi::FontObject& font) { *metrics = font.metrics; })
               ? TRUE
               : FALSE;
}
