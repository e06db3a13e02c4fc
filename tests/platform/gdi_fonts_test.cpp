// GDI fonts: faces picked from the installed fonts, metrics in Windows' terms, and glyph bitmaps
// checked against FreeType's own rendering of the same face.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "platform/gdi_testing.h"

namespace {

constexpr const char* kGothic = "ＭＳ ゴシック";  // code page 932 in this file's strings
constexpr UINT kKanjiHyo = 0x955C;                // 表 in code page 932
constexpr UINT kHiraganaA = 0x82A0;               // あ
constexpr UINT kFullWidthSpace = 0x8140;
constexpr MAT2 kIdentity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};

// A glyph as FreeType itself renders it from the face's outline: one byte a pixel, 0/1 for
// monochrome and the coverage 0-255 for anti-aliased rendering.
struct OracleGlyph {
    int width = 0;
    int rows = 0;
    int left = 0;
    int top = 0;
    int advance = 0;
    std::vector<uint8_t> pixels;
};

class FreeTypeOracle {
  public:
    explicit FreeTypeOracle(const platform::GdiFontFace& face) {
        EXPECT_EQ(FT_Init_FreeType(&library_), 0);
        EXPECT_EQ(FT_New_Face(library_, face.file.c_str(), face.index, &face_), 0);
        EXPECT_EQ(FT_Select_Charmap(face_, FT_ENCODING_UNICODE), 0);
        EXPECT_EQ(FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(face.pixelsPerEm)), 0);
    }
    ~FreeTypeOracle() {
        FT_Done_Face(face_);
        FT_Done_FreeType(library_);
    }

    bool Covers(char32_t codePoint) const { return FT_Get_Char_Index(face_, codePoint) != 0; }

    // Windows' cell in font units: the OS/2 ascent and descent.
    int CellUnits() const {
        auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2));
        return os2->usWinAscent + os2->usWinDescent;
    }
    int AscentUnits() const {
        return static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2))->usWinAscent;
    }
    int UnitsPerEm() const { return face_->units_per_EM; }

    OracleGlyph Render(char32_t codePoint, bool mono) const {
        FT_Int32 flags = FT_LOAD_NO_BITMAP | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
        EXPECT_EQ(FT_Load_Glyph(face_, FT_Get_Char_Index(face_, codePoint), flags), 0);
        EXPECT_EQ(FT_Render_Glyph(face_->glyph, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL),
                  0);
        const FT_Bitmap& bitmap = face_->glyph->bitmap;
        OracleGlyph glyph;
        glyph.width = static_cast<int>(bitmap.width);
        glyph.rows = static_cast<int>(bitmap.rows);
        glyph.left = face_->glyph->bitmap_left;
        glyph.top = face_->glyph->bitmap_top;
        glyph.advance = static_cast<int>(std::lround(face_->glyph->advance.x / 64.0));
        for (int y = 0; y < glyph.rows; ++y) {
            const unsigned char* row = bitmap.buffer + y * bitmap.pitch;
            for (int x = 0; x < glyph.width; ++x) {
                glyph.pixels.push_back(mono ? (row[x / 8] >> (7 - x % 8)) & 1 : row[x]);
            }
        }
        return glyph;
    }

  private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

// What GetGlyphOutlineA answered: the size query, the fetch into a buffer of exactly that size
// followed by guard bytes, and the metrics.
struct FetchedGlyph {
    DWORD sizeQuery = 0;
    DWORD written = 0;
    GLYPHMETRICS metrics = {};
    std::vector<uint8_t> bytes;  // the bitmap, then 16 guard bytes
};

constexpr uint8_t kGuard = 0xA5;

class GdiFontTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dc_ = CreateCompatibleDC(nullptr);
        ASSERT_NE(dc_, nullptr);
        fontsBefore_ = platform::CountGdiFonts();
    }
    void TearDown() override {
        if (stock_ != nullptr) {
            EXPECT_EQ(SelectObject(dc_, stock_), selected_);
        }
        for (HFONT font : made_) {
            EXPECT_TRUE(DeleteObject(font));
        }
        EXPECT_TRUE(DeleteDC(dc_));
        EXPECT_EQ(platform::CountGdiFonts(), fontsBefore_);
    }

    HFONT Make(int height, const char* face = kGothic, int weight = 400, DWORD italic = 0,
               DWORD charSet = SHIFTJIS_CHARSET) {
        HFONT font = CreateFontA(height, 0, 0, 0, weight, italic, 0, 0, charSet, OUT_DEFAULT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, FIXED_PITCH, face);
        if (font != nullptr) {
            made_.push_back(font);
        }
        return font;
    }
    // Makes the font and selects it into the context.
    HFONT Use(int height, const char* face = kGothic, int weight = 400, DWORD italic = 0,
              DWORD charSet = SHIFTJIS_CHARSET) {
        HFONT font = Make(height, face, weight, italic, charSet);
        EXPECT_NE(font, nullptr);
        HGDIOBJ previous = SelectObject(dc_, font);
        EXPECT_NE(previous, nullptr);
        if (stock_ == nullptr) {
            stock_ = previous;
        }
        selected_ = font;
        return font;
    }
    platform::GdiFontFace FaceOf(HFONT font) {
        platform::GdiFontFace face;
        EXPECT_TRUE(platform::GetGdiFontFace(font, &face));
        return face;
    }
    TEXTMETRICA Metrics() {
        TEXTMETRICA metrics = {};
        EXPECT_TRUE(GetTextMetricsA(dc_, &metrics));
        return metrics;
    }
    FetchedGlyph Fetch(UINT code, UINT format) {
        FetchedGlyph glyph;
        glyph.sizeQuery =
            GetGlyphOutlineA(dc_, code, format, &glyph.metrics, 0, nullptr, &kIdentity);
        EXPECT_NE(glyph.sizeQuery, GDI_ERROR);
        if (glyph.sizeQuery == GDI_ERROR) {
            return glyph;
        }
        glyph.bytes.assign(glyph.sizeQuery + 16, kGuard);
        glyph.written = GetGlyphOutlineA(dc_, code, format, &glyph.metrics, glyph.sizeQuery,
                                         glyph.bytes.data(), &kIdentity);
        return glyph;
    }
    int Advance(UINT code) {
        GLYPHMETRICS metrics = {};
        EXPECT_NE(GetGlyphOutlineA(dc_, code, GGO_METRICS, &metrics, 0, nullptr, &kIdentity),
                  GDI_ERROR);
        return metrics.gmCellIncX;
    }

    HDC dc_ = nullptr;
    HGDIOBJ stock_ = nullptr;
    HGDIOBJ selected_ = nullptr;
    std::vector<HFONT> made_;
    int fontsBefore_ = 0;
};

DWORD StrideOf(const FetchedGlyph& glyph, UINT format) {
    UINT width = glyph.metrics.gmBlackBoxX;
    return format == GGO_BITMAP ? (width + 31) / 32 * 4 : (width + 3) / 4 * 4;
}

// Pixel x of row y, read with the row padding the formats promise; x may lie in the padding.
uint8_t PixelAt(const FetchedGlyph& glyph, UINT format, UINT x, UINT y) {
    const uint8_t* row = glyph.bytes.data() + y * StrideOf(glyph, format);
    return format == GGO_BITMAP ? (row[x / 8] >> (7 - x % 8)) & 1 : row[x];
}

std::vector<uint8_t> Unpack(const FetchedGlyph& glyph, UINT format) {
    std::vector<uint8_t> pixels;
    for (UINT y = 0; y < glyph.metrics.gmBlackBoxY; ++y) {
        for (UINT x = 0; x < glyph.metrics.gmBlackBoxX; ++x) {
            pixels.push_back(PixelAt(glyph, format, x, y));
        }
    }
    return pixels;
}

// What both formats share: the black box, origin and advance that FreeType reports, the padded
// size from the query and the fetch, clear padding, and nothing written past the bitmap.
void ExpectLaidOutLike(const FetchedGlyph& glyph, const OracleGlyph& expected, UINT format) {
    ASSERT_EQ(glyph.metrics.gmBlackBoxX, static_cast<UINT>(expected.width));
    ASSERT_EQ(glyph.metrics.gmBlackBoxY, static_cast<UINT>(expected.rows));
    EXPECT_EQ(glyph.metrics.gmptGlyphOrigin.x, expected.left);
    EXPECT_EQ(glyph.metrics.gmptGlyphOrigin.y, expected.top);
    EXPECT_EQ(glyph.metrics.gmCellIncX, expected.advance);
    EXPECT_EQ(glyph.metrics.gmCellIncY, 0);
    DWORD stride = StrideOf(glyph, format);
    EXPECT_EQ(glyph.sizeQuery, stride * glyph.metrics.gmBlackBoxY);
    EXPECT_EQ(glyph.written, glyph.sizeQuery);
    UINT rowPixels = format == GGO_BITMAP ? stride * 8 : stride;
    for (UINT y = 0; y < glyph.metrics.gmBlackBoxY; ++y) {
        for (UINT x = glyph.metrics.gmBlackBoxX; x < rowPixels; ++x) {
            ASSERT_EQ(PixelAt(glyph, format, x, y), 0) << "padding of row " << y << " at " << x;
        }
    }
    for (size_t i = glyph.sizeQuery; i < glyph.bytes.size(); ++i) {
        ASSERT_EQ(glyph.bytes[i], kGuard) << "byte " << i << " past the bitmap";
    }
}

struct GlyphCase {
    UINT code;
    char32_t codePoint;
};

const GlyphCase kGlyphCases[] = {
    {'A', U'A'},        {'g', U'g'},  {'.', U'.'}, {kHiraganaA, U'あ'},
    {kKanjiHyo, U'表'}, {0xB1, U'ｱ'},  // half-width katakana, a single byte of code page 932
};

TEST_F(GdiFontTest, CellHeightsAreKeptExactlyAndSplitByTheFacesAscent) {
    for (int height : {16, 12, 23, 40, 1, 0}) {
        SCOPED_TRACE(height);
        HFONT font = Use(height);
        TEXTMETRICA metrics = Metrics();
        int cell = height == 0 ? 16 : height;
        EXPECT_EQ(metrics.tmHeight, cell);
        EXPECT_EQ(metrics.tmAscent + metrics.tmDescent, metrics.tmHeight);
        FreeTypeOracle oracle(FaceOf(font));
        double ppem = static_cast<double>(cell) * oracle.UnitsPerEm() / oracle.CellUnits();
        EXPECT_NEAR(FaceOf(font).pixelsPerEm, std::max(1.0, ppem), 0.5);
        EXPECT_NEAR(metrics.tmAscent,
                    static_cast<double>(cell) * oracle.AscentUnits() / oracle.CellUnits(), 0.5);
        EXPECT_EQ(metrics.tmInternalLeading, cell - FaceOf(font).pixelsPerEm);
    }
}

TEST_F(GdiFontTest, NegativeHeightsAskForTheEm) {
    HFONT font = Use(-20);
    TEXTMETRICA metrics = Metrics();
    FreeTypeOracle oracle(FaceOf(font));
    EXPECT_EQ(FaceOf(font).pixelsPerEm, 20);
    EXPECT_NEAR(metrics.tmHeight, 20.0 * oracle.CellUnits() / oracle.UnitsPerEm(), 0.5);
    EXPECT_EQ(metrics.tmAscent + metrics.tmDescent, metrics.tmHeight);
}

TEST_F(GdiFontTest, FullWidthCharactersAdvanceTwiceAsFarInTheMonospacedDefaultFace) {
    for (int height : {16, 24, 33}) {
        SCOPED_TRACE(height);
        Use(height);
        int half = Advance('A');
        int full = Advance(kHiraganaA);
        EXPECT_GT(half, 0);
        EXPECT_NEAR(full, 2 * half, 1);
        EXPECT_EQ(Advance(kKanjiHyo), full);
        // The library sizes its glyph cells from the widest character.
        TEXTMETRICA metrics = Metrics();
        EXPECT_GE(metrics.tmMaxCharWidth, full);
        EXPECT_GT(metrics.tmAveCharWidth, 0);
        EXPECT_LE(metrics.tmAveCharWidth, metrics.tmMaxCharWidth);
        EXPECT_EQ(metrics.tmPitchAndFamily & 0x01, 0) << "the low bit marks variable pitch";
    }
}

TEST_F(GdiFontTest, JapaneseFaceNamesResolveToFacesCoveringKanjiAndKanaWithoutComplaint) {
    // The library's default face, its other spellings, its proportional sibling, and an
    // installed family under its Japanese name.
    for (const char* name :
         {kGothic, "MS Gothic", "ms gothic", "ｍｓ ゴシック", "ＭＳ Ｐゴシック", "IPAゴシック"}) {
        SCOPED_TRACE(name);
        testing::internal::CaptureStderr();
        HFONT font = Use(16, name);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        platform::GdiFontFace face = FaceOf(font);
        FreeTypeOracle oracle(face);
        EXPECT_TRUE(oracle.Covers(U'表')) << face.file;
        EXPECT_TRUE(oracle.Covers(U'あ')) << face.file;
        EXPECT_EQ(Metrics().tmCharSet, SHIFTJIS_CHARSET);
    }
}

TEST_F(GdiFontTest, MissingFacesFallBackToJapaneseCoverageWithALogLine) {
    struct Case {
        const char* face;
        DWORD charSet;
        const char* logged;  // null: no log line
    };
    const Case cases[] = {
        {"Tessel No Such Face", SHIFTJIS_CHARSET, "\"Tessel No Such Face\""},
        {"Tessel No Such Face", DEFAULT_CHARSET, "\"Tessel No Such Face\""},
        // Names keep 31 bytes; the double-byte character that would be cut is dropped whole.
        {"Tessel_Missing_Face_Padded_012表", SHIFTJIS_CHARSET,
         "\"Tessel_Missing_Face_Padded_012\" is installed"},
        {"", DEFAULT_CHARSET, nullptr},
        {nullptr, SHIFTJIS_CHARSET, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.face != nullptr ? c.face : "(null)");
        testing::internal::CaptureStderr();
        HFONT font = Make(16, c.face, 400, 0, c.charSet);
        std::string log = testing::internal::GetCapturedStderr();
        ASSERT_NE(font, nullptr);
        if (c.logged != nullptr) {
            EXPECT_NE(log.find(c.logged), std::string::npos) << log;
            EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
        } else {
            EXPECT_EQ(log, "");
        }
        FreeTypeOracle oracle(FaceOf(font));
        EXPECT_TRUE(oracle.Covers(U'あ')) << FaceOf(font).file;
    }
}

TEST_F(GdiFontTest, MonochromeBitmapsMatchFreeTypeBitForBitInPaddedRows) {
    for (int height : {16, 25}) {
        HFONT font = Use(height);
        FreeTypeOracle oracle(FaceOf(font));
        for (const GlyphCase& c : kGlyphCases) {
            SCOPED_TRACE(testing::Message()
                         << "height " << height << " code 0x" << std::hex << c.code);
            FetchedGlyph glyph = Fetch(c.code, GGO_BITMAP);
            OracleGlyph expected = oracle.Render(c.codePoint, true);
            ExpectLaidOutLike(glyph, expected, GGO_BITMAP);
            EXPECT_EQ(Unpack(glyph, GGO_BITMAP), expected.pixels);
        }
    }
}

TEST_F(GdiFontTest, GrayBitmapsHoldSeventeenLevelsNearestFreeTypesCoverage) {
    HFONT font = Use(21);
    FreeTypeOracle oracle(FaceOf(font));
    for (const GlyphCase& c : kGlyphCases) {
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << c.code);
        FetchedGlyph glyph = Fetch(c.code, GGO_GRAY4_BITMAP);
        OracleGlyph expected = oracle.Render(c.codePoint, false);
        ExpectLaidOutLike(glyph, expected, GGO_GRAY4_BITMAP);
        std::vector<uint8_t> levels = Unpack(glyph, GGO_GRAY4_BITMAP);
        bool sawFull = false, sawPartial = false;
        for (size_t i = 0; i < levels.size(); ++i) {
            ASSERT_LE(levels[i], 16) << "pixel " << i;
            // The level nearest the coverage: within half a step of 255 / 16.
            ASSERT_LE(std::abs(levels[i] * 255.0 / 16 - expected.pixels[i]), 255.0 / 32 + 1e-9)
                << "pixel " << i << " level " << int{levels[i]} << " coverage "
                << int{expected.pixels[i]};
            sawFull |= levels[i] == 16;
            sawPartial |= levels[i] > 0 && levels[i] < 16;
        }
        EXPECT_TRUE(sawFull);
        EXPECT_TRUE(sawPartial) << "anti-aliased edges have intermediate levels";
    }
}

TEST_F(GdiFontTest, SpacesAdvanceWithoutInk) {
    Use(16);
    for (UINT format : {GGO_BITMAP, GGO_GRAY4_BITMAP, GGO_METRICS}) {
        for (UINT code : {UINT{' '}, kFullWidthSpace}) {
            SCOPED_TRACE(testing::Message() << "format " << format << " code " << code);
            GLYPHMETRICS metrics = {};
            EXPECT_EQ(GetGlyphOutlineA(dc_, code, format, &metrics, 0, nullptr, &kIdentity), 0u);
            EXPECT_EQ(metrics.gmBlackBoxX, 0u);
            EXPECT_EQ(metrics.gmBlackBoxY, 0u);
            EXPECT_EQ(metrics.gmCellIncX, Advance(code == ' ' ? 'A' : kHiraganaA));
        }
    }
}

TEST_F(GdiFontTest, CharacterCodesAreReadInTheFontsCharacterSet) {
    struct Case {
        DWORD charSet;
        UINT hyo;  // 表 in the character set's code page
    };
    const Case cases[] = {{SHIFTJIS_CHARSET, 0x955C},
                          {DEFAULT_CHARSET, 0x955C},
                          {GB2312_CHARSET, 0xB1ED},
                          {CHINESEBIG5_CHARSET, 0xAAED},
                          {HANGEUL_CHARSET, 0xF8FA}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.charSet);
        HFONT font = Use(18, "IPAGothic", 400, 0, c.charSet);
        FreeTypeOracle oracle(FaceOf(font));
        FetchedGlyph glyph = Fetch(c.hyo, GGO_BITMAP);
        EXPECT_EQ(Unpack(glyph, GGO_BITMAP), oracle.Render(U'表', true).pixels);
    }
    // 0xB1ED is no double-byte character of code page 932.
    Use(18, "IPAGothic", 400, 0, SHIFTJIS_CHARSET);
    GLYPHMETRICS metrics;
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetGlyphOutlineA(dc_, 0xB1ED, GGO_BITMAP, &metrics, 0, nullptr, &kIdentity),
              GDI_ERROR);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("0xB1ED"), std::string::npos);
}

TEST_F(GdiFontTest, BoldAndItalicAreSynthesisedOverTheRegularFace) {
    Use(24);
    FetchedGlyph regular = Fetch('l', GGO_GRAY4_BITMAP);
    struct Case {
        int weight;
        DWORD italic;
        bool emboldened;
        bool oblique;
    };
    const Case cases[] = {{700, 0, true, false},
                          {600, 0, true, false},
                          {500, 0, false, false},
                          {0, 0, false, false},
                          {400, 1, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "weight " << c.weight << " italic " << c.italic);
        HFONT font = Use(24, kGothic, c.weight, c.italic);
        platform::GdiFontFace face = FaceOf(font);
        EXPECT_EQ(face.emboldened, c.emboldened);
        EXPECT_EQ(face.oblique, c.oblique);
        TEXTMETRICA metrics = Metrics();
        EXPECT_EQ(metrics.tmWeight, c.weight == 0 ? 400 : c.weight);
        EXPECT_EQ(metrics.tmItalic, c.italic);
        FetchedGlyph styled = Fetch('l', GGO_GRAY4_BITMAP);
        int widening = static_cast<int>(styled.metrics.gmBlackBoxX) -
                       static_cast<int>(regular.metrics.gmBlackBoxX);
        if (c.emboldened || c.oblique) {
            EXPECT_GE(widening, 1);
        } else {
            EXPECT_EQ(widening, 0);
        }
        EXPECT_EQ(styled.metrics.gmCellIncX, regular.metrics.gmCellIncX + (c.emboldened ? 1 : 0));
    }
}

TEST_F(GdiFontTest, BadGlyphRequestsAreRefusedWithGdiError) {
    Use(16);
    GLYPHMETRICS metrics;
    uint8_t buffer[4];
    const MAT2 doubled = {{0, 2}, {0, 0}, {0, 0}, {0, 2}};
    struct Case {
        const char* what;
        UINT code;
        UINT format;
        GLYPHMETRICS* metrics;
        DWORD size;
        void* buffer;
        const MAT2* matrix;
    };
    const Case cases[] = {
        {"buffer too small", kKanjiHyo, GGO_GRAY4_BITMAP, &metrics, 4, buffer, &kIdentity},
        {"outline format", 'A', 2, &metrics, 0, nullptr, &kIdentity},
        {"no metrics record", 'A', GGO_BITMAP, nullptr, 0, nullptr, &kIdentity},
        {"no matrix", 'A', GGO_BITMAP, &metrics, 0, nullptr, nullptr},
        {"scaling matrix", 'A', GGO_BITMAP, &metrics, 0, nullptr, &doubled},
        {"code beyond 16 bits", 0x1955C, GGO_BITMAP, &metrics, 0, nullptr, &kIdentity},
        {"two single bytes", 0x4142, GGO_BITMAP, &metrics, 0, nullptr, &kIdentity},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testing::internal::CaptureStderr();
        EXPECT_EQ(GetGlyphOutlineA(dc_, c.code, c.format, c.metrics, c.size, c.buffer, c.matrix),
                  GDI_ERROR);
        std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(log.rfind("gdi: GetGlyphOutlineA: ", 0), 0u) << log;
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetGlyphOutlineA(nullptr, 'A', GGO_BITMAP, &metrics, 0, nullptr, &kIdentity),
              GDI_ERROR);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("not a memory context"),
              std::string::npos);
}

TEST_F(GdiFontTest, CreateFontRefusesWhatItCannotServe) {
    struct Case {
        int height, width, escapement;
    };
    for (Case c : {Case{16, 8, 0}, Case{16, 0, 900}, Case{1025, 0, 0}, Case{-1025, 0, 0}}) {
        SCOPED_TRACE(testing::Message() << c.height << " " << c.width << " " << c.escapement);
        testing::internal::CaptureStderr();
        EXPECT_EQ(CreateFontA(c.height, c.width, c.escapement, 0, 400, 0, 0, 0, SHIFTJIS_CHARSET, 0,
                              0, 0, FIXED_PITCH, kGothic),
                  nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("gdi: CreateFontA: ", 0), 0u);
    }
    EXPECT_EQ(platform::CountGdiFonts(), fontsBefore_);
}

TEST_F(GdiFontTest, FontHandlesAreCheckedIdsThatGoStaleWhenDeleted) {
    // A fresh context holds the stock font, which survives DeleteObject.
    TEXTMETRICA stockMetrics = {};
    EXPECT_TRUE(GetTextMetricsA(dc_, &stockMetrics));
    HFONT first = Use(16);
    EXPECT_TRUE(DeleteObject(stock_));
    EXPECT_EQ(SelectObject(dc_, stock_), first);
    EXPECT_TRUE(GetTextMetricsA(dc_, &stockMetrics));
    EXPECT_EQ(SelectObject(dc_, first), stock_);

    // The font a context holds can be deleted; the context then refuses until another is put in.
    HFONT doomed = CreateFontA(20, 0, 0, 0, 400, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, 0, 0, kGothic);
    ASSERT_NE(doomed, nullptr);
    EXPECT_EQ(SelectObject(dc_, doomed), first);
    EXPECT_TRUE(DeleteObject(doomed));
    TEXTMETRICA metrics;
    GLYPHMETRICS glyph;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(GetTextMetricsA(dc_, &metrics));
    EXPECT_EQ(GetGlyphOutlineA(dc_, 'A', GGO_BITMAP, &glyph, 0, nullptr, &kIdentity), GDI_ERROR);
    EXPECT_FALSE(DeleteObject(doomed));
    EXPECT_EQ(SelectObject(dc_, doomed), nullptr);
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("deleted"), std::string::npos) << log;
    EXPECT_NE(log.find("stale"), std::string::npos) << log;

    // Nor is the id the slot's next font will have, before it exists.
    auto nextId =
        reinterpret_cast<HGDIOBJ>(reinterpret_cast<uintptr_t>(doomed) + (uintptr_t{1} << 32));
    testing::internal::CaptureStderr();
    EXPECT_EQ(SelectObject(dc_, nextId), nullptr);
    EXPECT_FALSE(DeleteObject(nextId));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("stale"), std::string::npos);

    // The slot is taken again under a new id; the old one stays refused.
    HFONT next = CreateFontA(20, 0, 0, 0, 400, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, 0, 0, kGothic);
    ASSERT_NE(next, nullptr);
    EXPECT_NE(next, doomed);
    platform::GdiFontFace face;
    EXPECT_FALSE(platform::GetGdiFontFace(doomed, &face));
    EXPECT_EQ(SelectObject(dc_, next), doomed);
    EXPECT_EQ(SelectObject(dc_, first), next);
    EXPECT_TRUE(DeleteObject(next));

    // A made-up value in a font handle's shape, and a context that is not a memory context.
    auto madeUp = reinterpret_cast<HGDIOBJ>((uintptr_t{0x7E} << 56) | (uintptr_t{77} << 32) | 3);
    testing::internal::CaptureStderr();
    EXPECT_EQ(SelectObject(dc_, madeUp), nullptr);
    EXPECT_FALSE(DeleteObject(madeUp));
    EXPECT_EQ(SelectObject(nullptr, first), nullptr);
    EXPECT_FALSE(GetTextMetricsA(nullptr, &metrics));
    testing::internal::GetCapturedStderr();
}

}  // namespace
