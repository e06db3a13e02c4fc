// The run tables: the builder's bytes, the run-table blit against the oracle and the texts'
// numbers, where it agrees with and differs from the plain keyed blit, and when it is taken.
#include "softrender/run_table.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "softrender/blit.h"
#include "softrender/blit_scene.h"

namespace tessel {
namespace {

using kit::Source;

constexpr Source kKinds[] = {Source::k32,       Source::k32Alpha, Source::k565,
                             Source::k565Alpha, Source::kPal32,   Source::kPal565};

// Lends a store a run-table buffer of the size creation gives, and takes it
// back before the store is freed.
class LentTable {
  public:
    explicit LentTable(MemImgBase* base)
        : base_(base), bytes_(size_t(base->width + 5) * base->height, 0xEE) {
        base_->runTable = bytes_.data();
    }
    ~LentTable() { base_->runTable = nullptr; }
    // The table up to its last row end.
    std::vector<uint8_t> Rows() const {
        std::vector<uint8_t> out;
        for (int rows = 0; rows < base_->height; ++rows) {
            do {
                out.push_back(bytes_[out.size()]);
            } while (out.back() != kRunRowEnd);
        }
        return out;
    }

  private:
    MemImgBase* base_;
    std::vector<uint8_t> bytes_;
};

// The table the builder makes of a scene's source.
std::vector<uint8_t> BuiltTable(const kit::BlitScene& s) {
    kit::SourceImage source(s.kind, s.sw, s.sh, s.key);
    for (int i = 0; i < s.sw * s.sh; ++i) {
        source.guarded().Set(i % s.sw, i / s.sw, s.source[i]);
    }
    LentTable table(source.guarded().base());
    EXPECT_EQ(MemImgBuildRunTable(source.image()), 0);
    EXPECT_EQ(source.guarded().base()->runTableValid, 1u);
    return table.Rows();
}

// Random runs of every kind, 1 to 64 long, that add up to each row's width.
std::vector<uint8_t> RandomTable(kit::BiasedRandom& random, int sw, int sh) {
    std::vector<uint8_t> table;
    for (int y = 0; y < sh; ++y) {
        for (int x = 0; x < sw;) {
            const int n = std::min(sw - x, random.Below(3) == 0 ? 64 : random.Between(1, 64));
            table.push_back(uint8_t(random.Below(3) << 6 | (n - 1)));
            x += n;
        }
        table.push_back(kRunRowEnd);
    }
    return table;
}

TEST(RunTableBuilder, ClassesEachPixelAndCutsRunsAfter64) {
    struct Case {
        const char* what;
        Source kind;
        uint32_t key;
        std::vector<uint32_t> row;  // stored values, repeated to width 130 from the last
        std::vector<uint8_t> want;
    };
    const uint32_t a0 = 0x00123456, a255 = 0xFF123456, a9 = 0x09123456;
    const Case cases[] = {
        {"all opaque", Source::k32, 5, {7}, {0x7F, 0x7F, 0x41, 0xC0}},
        {"all keyed", Source::k32, 7, {7}, {0x3F, 0x3F, 0x01, 0xC0}},
        {"the key compares the top byte",
         Source::k32,
         0x01000007,
         {0x01000007, 7},
         {0x00, 0x7F, 0x7F, 0x40, 0xC0}},
        {"alpha classes",
         Source::k32Alpha,
         0,
         {a0, a255, a9, a9, a255},
         {0x00, 0x40, 0x81, 0x7F, 0x7D, 0xC0}},
        {"RGB565 key", Source::k565, 0x1234, {0x1234, 0x1235}, {0x00, 0x7F, 0x7F, 0x40, 0xC0}},
        {"an RGB565 key above 16 bits matches nothing",
         Source::k565,
         0x11234,
         {0x1234},
         {0x7F, 0x7F, 0x41, 0xC0}},
        {"RGB565 alpha byte",
         Source::k565Alpha,
         0,
         {0x00FFFF, 0xFF0000, 0x800000},
         {0x00, 0x40, 0xBF, 0xBF, 0xC0}},
        {"palette index", Source::kPal32, 3, {3, 4, 3}, {0x00, 0x40, 0x3F, 0x3F, 0xC0}},
        {"RGB565 palette index", Source::kPal565, 200, {9}, {0x7F, 0x7F, 0x41, 0xC0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        kit::SourceImage source(c.kind, 130, 2, c.key);
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 130; ++x) {
                source.guarded().Set(x, y, c.row[std::min<size_t>(x, c.row.size() - 1)]);
            }
        }
        LentTable table(source.guarded().base());
        ASSERT_EQ(MemImgBuildRunTable(source.image()), 0);
        std::vector<uint8_t> want = c.want;
        want.insert(want.end(), c.want.begin(), c.want.end());
        EXPECT_EQ(table.Rows(), want);
    }
}

TEST(RunTableBuilder, RefusesWhatItCannotBuild) {
    kit::GuardedImage noBuffer(kMemImgRgb32, 4, 4);
    EXPECT_EQ(MemImgBuildRunTable(noBuffer.image()), -1);
    EXPECT_EQ(noBuffer.base()->runTableValid, 0u);
    kit::GuardedImage grey(kMemImgGray16, 4, 4);
    LentTable table(grey.base());
    EXPECT_EQ(MemImgBuildRunTable(grey.image()), -1);
    MEMIMG empty{};
    EXPECT_EQ(MemImgBuildRunTable(&empty), -1);
    // A store made with its planes has a buffer of its own.
    MEMIMG made{};
    ASSERT_EQ(MemImgCreate(&made, 70, 3, -1, 0, 1, 0, 1, 1, nullptr), 0);
    EXPECT_EQ(MemImgBuildRunTable(&made), 0);
    MemImgRelease(&made);
}

// A scene whose whole source lies in the area and the destination, drawn
// with trans 1 through a table.
kit::BlitScene WholeScene(kit::BiasedRandom& random, Source kind, int sw, int sh) {
    kit::BlitScene s = kit::RandomScene(random, kind, sw, sh, sw + random.Between(0, 5),
                                        sh + random.Between(0, 3));
    s.x = random.Between(0, s.dw - sw);
    s.y = random.Between(0, s.dh - sh);
    s.area = RECT{0, 0, s.dw, s.dh};
    s.trans = 1;
    static constexpr int kSpecial[] = {0, 128, 255, 252, 100};
    if (random.Below(3) == 0) {
        s.p = kSpecial[random.Below(5)];
    }
    if (random.Below(2) == 0) {
        s.brightness = random.Byte() << 16 | random.Byte() << 8 | random.Byte();
    }
    return s;
}

void CheckScene(const kit::BlitScene& s) {
    ASSERT_EQ(kit::DrawScene(s), kit::ExpectScene(s));
}

class RunTableBlit : public ::testing::TestWithParam<Source> {};

TEST_P(RunTableBlit, BuiltTablesMatchTheOracle) {
    kit::BiasedRandom random(static_cast<uint32_t>(GetParam()) + 300);
    for (int round = 0; round < 3000; ++round) {
        kit::BlitScene s =
            WholeScene(random, GetParam(), random.Between(1, 70), random.Between(1, 4));
        s.runTable = BuiltTable(s);
        SCOPED_TRACE(testing::Message()
                     << "round " << round << " mode " << s.mode << " p " << s.p << " mask "
                     << s.useMask << std::hex << " brightness " << s.brightness);
        ASSERT_NO_FATAL_FAILURE(CheckScene(s));
    }
}

// Tables that disagree with the pixels show that the run kind alone picks
// the rule: alpha runs over any alpha, opaque runs over alpha 0.
TEST_P(RunTableBlit, HandBuiltTablesMatchTheOracle) {
    kit::BiasedRandom random(static_cast<uint32_t>(GetParam()) + 400);
    for (int round = 0; round < 3000; ++round) {
        kit::BlitScene s =
            WholeScene(random, GetParam(), random.Between(1, 140), random.Between(1, 4));
        s.runTable = RandomTable(random, s.sw, s.sh);
        SCOPED_TRACE(testing::Message() << "round " << round << " mode " << s.mode << " p " << s.p
                                        << " mask " << s.useMask);
        ASSERT_NO_FATAL_FAILURE(CheckScene(s));
    }
}

// Runs of 64 then 1 of each kind, and rows with nothing but skip runs: each
// run starts where the one before ended and every row is walked. Any byte
// with both top bits set ends a row.
TEST_P(RunTableBlit, SixtyFourPixelRunsAndSkippedRowsKeepTheirPlace) {
    kit::BiasedRandom random(static_cast<uint32_t>(GetParam()) + 500);
    const std::vector<std::vector<uint8_t>> rows = {
        {0x3F, 0x40, 0xC0}, {0x7F, 0x00, 0xC0}, {0xBF, 0x80, 0xC0}, {0x7F, 0x80, 0xC0},
        {0x3F, 0x00, 0xC0}, {0xBF, 0x40, 0xFF}, {0x3F, 0x00, 0xC0}, {0x40, 0x3F, 0xD5}};
    for (uint32_t mode : {0u, 1u, 4u}) {
        SCOPED_TRACE(mode);
        kit::BlitScene s = WholeScene(random, GetParam(), 65, int(rows.size()));
        s.mode = mode;
        for (const auto& r : rows) {
            s.runTable.insert(s.runTable.end(), r.begin(), r.end());
        }
        ASSERT_NO_FATAL_FAILURE(CheckScene(s));
    }
    kit::BlitScene skips = WholeScene(random, GetParam(), 20, 3);
    skips.runTable = {0x13, 0xC0, 0x13, 0xC0, 0x13, 0xC0};
    EXPECT_EQ(kit::DrawScene(skips), skips.dest);
}

// Where the texts say the two paths agree (no white special value, no
// alpha-0 pixel in mode 4, trans exactly 1), the table changes nothing.
TEST_P(RunTableBlit, DrawsWhatThePlainKeyedBlitDrawsWhereTheyAgree) {
    const Source kind = GetParam();
    kit::BiasedRandom random(static_cast<uint32_t>(kind) + 600);
    int compared = 0;
    for (int round = 0; round < 4000; ++round) {
        kit::BlitScene s = WholeScene(random, kind, random.Between(1, 70), random.Between(1, 4));
        const bool white = (s.brightness & 0xFFFFFF) == 0xFFFFFF;
        const bool special = white && !s.useMask && !kit::HasAlpha(kind) &&
                             ((s.mode == 1 && (s.p == 128 || kit::ColourTypeOf(kind) == 0)) ||
                              ((s.mode == 2 || s.mode == 3) && s.p == 255));
        if (special || (kit::HasAlpha(kind) && s.mode == 4)) {
            continue;
        }
        const std::vector<uint32_t> plain = kit::DrawScene(s);
        s.runTable = BuiltTable(s);
        ASSERT_EQ(kit::DrawScene(s), plain)
            << "round " << round << " mode " << s.mode << " p " << s.p;
        ++compared;
    }
    EXPECT_GT(compared, 2000);
}

INSTANTIATE_TEST_SUITE_P(EverySourceKind, RunTableBlit, ::testing::ValuesIn(kKinds));

uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b, uint32_t top = 0) {
    return (top << 24) | (r << 16) | (g << 8) | b;
}
uint32_t C(uint32_t r, uint32_t g, uint32_t b) {
    return (r << 11) | (g << 5) | b;
}
constexpr uint32_t kWhite = 0xFFFFFF;

// One row drawn through a table; want is the run-table result, plain the
// plain keyed blit's where the texts give it.
struct Example {
    const char* what;
    Source kind;
    uint32_t mode;
    int p;
    uint32_t brightness;
    int maskByte;                // -1: no mask
    std::vector<uint32_t> d, s;  // s: stored values, or palette entries for paletted sources
    std::vector<uint8_t> table;
    std::vector<uint32_t> want, plain;
};

std::vector<uint32_t> DrawExample(const Example& e, bool withTable) {
    kit::BlitScene s{};
    s.kind = e.kind;
    s.sw = s.dw = int(e.d.size());
    s.sh = s.dh = 1;
    s.area = RECT{0, 0, s.dw, 1};
    s.mode = e.mode;
    s.p = e.p;
    s.brightness = e.brightness;
    s.trans = 1;
    s.key = 0xFFFFFFFF;  // matches nothing: the table alone skips
    s.useMask = e.maskByte >= 0;
    s.dest = e.d;
    s.mask.assign(e.d.size(), uint32_t(std::max(e.maskByte, 0)));
    if (kit::IsPaletted(e.kind)) {
        s.palette.assign(256, 0);
        for (size_t i = 0; i < e.s.size(); ++i) {
            s.source.push_back(uint32_t(i + 1));
            s.palette[i + 1] = e.s[i];
        }
    } else {
        s.source = e.s;
    }
    if (withTable) {
        s.runTable = e.table;
    }
    EXPECT_EQ(kit::ExpectScene(s), kit::DrawScene(s)) << "the oracle disagrees";
    return kit::DrawScene(s);
}

TEST(RunTableBlitExamples, TheTextsNumbersHold) {
    const std::vector<uint8_t> opaque1 = {0x40, 0xC0}, opaque2 = {0x41, 0xC0};
    const std::vector<uint8_t> alpha1 = {0x80, 0xC0}, skip1 = {0x00, 0xC0};
    const Example examples[] = {
        // 32-bit
        {"mode 1 at 128 moves 1 toward 1 and keeps the top byte",
         Source::k32,
         1,
         128,
         kWhite,
         -1,
         {Rgb(1, 1, 1, 0x77)},
         {Rgb(1, 1, 1, 0x22)},
         opaque1,
         {Rgb(1, 1, 1, 0x77)},
         {Rgb(0, 0, 0, 0)}},
        {"mode 2 at 255 keeps the low bits of green and red",
         Source::k32,
         2,
         255,
         kWhite,
         -1,
         {Rgb(1, 1, 0), Rgb(2, 2, 0)},
         {Rgb(1, 1, 0), Rgb(2, 2, 0)},
         opaque2,
         {Rgb(1, 1, 0), Rgb(4, 4, 0)},
         {Rgb(0, 0, 0), Rgb(4, 4, 0)}},
        {"mode 0 white: opaque runs copy whole, alpha runs keep the top byte",
         Source::k32Alpha,
         0,
         0,
         kWhite,
         -1,
         {Rgb(0, 0, 0, 0x11), Rgb(0, 0, 0, 0x11)},
         {Rgb(200, 100, 50, 255), Rgb(200, 100, 50, 128)},
         {0x40, 0x80, 0xC0},
         {Rgb(200, 100, 50, 255), Rgb(100, 50, 25, 0x11)},
         {}},
        {"paletted mode 0 white copies the whole entry",
         Source::kPal32,
         0,
         0,
         kWhite,
         -1,
         {Rgb(9, 9, 9, 0x33)},
         {Rgb(1, 2, 3, 0xEE)},
         opaque1,
         {Rgb(1, 2, 3, 0xEE)},
         {Rgb(1, 2, 3, 0xEE)}},
        {"paletted mode 0 non-white keeps the top byte",
         Source::kPal32,
         0,
         0,
         0xFFFFFE,
         -1,
         {Rgb(9, 9, 9, 0x33)},
         {Rgb(1, 2, 3, 0xEE)},
         opaque1,
         {Rgb(1, 2, 2, 0x33)},
         {}},
        {"paletted mode 3 at 0 sets the low bits of green and red",
         Source::kPal32,
         3,
         0,
         kWhite,
         -1,
         {Rgb(10, 10, 10, 0x44)},
         {Rgb(50, 50, 50)},
         opaque1,
         {Rgb(11, 11, 10, 0)},
         {Rgb(11, 11, 10, 0)}},
        {"direct mode 3 at 0 draws nothing",
         Source::k32,
         3,
         0,
         kWhite,
         -1,
         {Rgb(10, 10, 10, 0x44)},
         {Rgb(50, 50, 50)},
         opaque1,
         {Rgb(10, 10, 10, 0x44)},
         {}},
        {"mode 4: an alpha-0 pixel in a skip run stays",
         Source::k32Alpha,
         4,
         9,
         kWhite,
         -1,
         {Rgb(50, 60, 70, 1)},
         {Rgb(9, 9, 9, 0)},
         skip1,
         {Rgb(50, 60, 70, 1)},
         {Rgb(0, 0, 0, 1)}},
        {"mode 4 with mask factor 0 clears the channels",
         Source::k32,
         4,
         9,
         kWhite,
         0,
         {Rgb(50, 60, 70, 5)},
         {Rgb(9, 9, 9)},
         opaque1,
         {Rgb(0, 0, 0, 5)},
         {}},
        {"an alpha run at mode 1, 255 runs mode 0",
         Source::k32Alpha,
         1,
         255,
         kWhite,
         -1,
         {Rgb(0, 0, 0)},
         {Rgb(255, 255, 255, 128)},
         alpha1,
         {Rgb(127, 127, 127)},
         {}},
        {"a source without alpha draws an alpha run opaque",
         Source::k32,
         0,
         0,
         kWhite,
         -1,
         {0},
         {Rgb(1, 2, 3, 4)},
         alpha1,
         {Rgb(1, 2, 3, 4)},
         {}},
        {"so does a paletted source",
         Source::kPal32,
         1,
         100,
         kWhite,
         -1,
         {Rgb(0, 0, 0, 9)},
         {Rgb(255, 255, 255)},
         alpha1,
         {Rgb(99, 99, 99, 9)},
         {}},
        // RGB565
        {"565 mode 1 at 128: green 1 over 1 stays 1",
         Source::k565,
         1,
         128,
         kWhite,
         -1,
         {C(0, 1, 0)},
         {C(0, 1, 0)},
         opaque1,
         {C(0, 1, 0)},
         {C(0, 0, 0)}},
        {"565 mode 1 at 100: green 63 over 0 gives 24",
         Source::k565,
         1,
         100,
         kWhite,
         -1,
         {C(0, 0, 0)},
         {C(0, 63, 0)},
         opaque1,
         {C(0, 24, 0)},
         {C(0, 25, 0)}},
        {"565 mode 1 at 252: green 63 over 0 gives 62",
         Source::k565,
         1,
         252,
         kWhite,
         -1,
         {C(0, 0, 0)},
         {C(0, 63, 0)},
         opaque1,
         {C(0, 62, 0)},
         {C(0, 63, 0)}},
        {"565 mode 2 at 255: green 1 plus 1 gives 1 in every pixel",
         Source::k565,
         2,
         255,
         kWhite,
         -1,
         {C(0, 1, 0), C(0, 1, 0)},
         {C(0, 1, 0), C(0, 1, 0)},
         opaque2,
         {C(0, 1, 0), C(0, 1, 0)},
         {C(0, 0, 0), C(0, 0, 0)}},
        {"565 mode 2 at 255: green 2 plus 2 gives 4",
         Source::k565,
         2,
         255,
         kWhite,
         -1,
         {C(0, 2, 0)},
         {C(0, 2, 0)},
         opaque1,
         {C(0, 4, 0)},
         {}},
        {"565 mode 2: blue 31 saturates and sets green's low bit",
         Source::k565,
         2,
         255,
         kWhite,
         -1,
         {C(0, 0, 31)},
         {C(0, 0, 1)},
         opaque1,
         {C(0, 1, 31)},
         {}},
        {"565 paletted mode 3 at 0",
         Source::kPal565,
         3,
         0,
         kWhite,
         -1,
         {0xFFFF, 0x0000},
         {C(5, 5, 5), C(5, 5, 5)},
         opaque2,
         {0xFFDF, 0x0800},
         {0xFFDF, 0x0800}},
        {"565 mode 3 at 255: blue 4 minus 0 stays 4 in every pixel",
         Source::k565,
         3,
         255,
         kWhite,
         -1,
         {C(0, 0, 4), C(0, 0, 4)},
         {0, 0},
         opaque2,
         {C(1, 0, 4), C(1, 0, 4)},
         {C(1, 0, 4), C(1, 0, 5)}},
        {"565 mode 2 alpha run: the alpha before the brightness",
         Source::k565Alpha,
         2,
         255,
         0xFFFF80,
         -1,
         {C(0, 0, 0)},
         {C(0, 0, 31) | 200u << 16},
         alpha1,
         {C(0, 0, 12)},
         {C(0, 0, 12)}},
        {"565 mode 3 alpha run: the alpha before the brightness",
         Source::k565Alpha,
         3,
         255,
         0xFFFF80,
         -1,
         {C(0, 0, 20)},
         {C(0, 0, 31) | 200u << 16},
         alpha1,
         {C(1, 0, 8)},
         {}},
        {"565 mode 11 alpha run, white: the finer green",
         Source::k565Alpha,
         11,
         255,
         kWhite,
         -1,
         {C(0, 44, 0)},
         {C(0, 1, 0) | 254u << 16},
         alpha1,
         {C(0, 1, 0)},
         {C(0, 1, 0)}},
        {"565 mode 11 alpha run, red brightness 254",
         Source::k565Alpha,
         11,
         255,
         0xFEFFFF,
         -1,
         {C(0, 44, 0)},
         {C(0, 1, 0) | 254u << 16},
         alpha1,
         {C(0, 0, 0)},
         {}},
        {"565 mode 0 alpha run of 128: green 0 toward 63 gives 31",
         Source::k565Alpha,
         0,
         0,
         kWhite,
         -1,
         {C(0, 0, 0)},
         {C(0, 63, 0) | 128u << 16},
         alpha1,
         {C(0, 31, 0)},
         {}},
        {"565 mode 0 with blue brightness 254",
         Source::k565,
         0,
         0,
         0xFFFFFE,
         -1,
         {0},
         {C(31, 63, 31)},
         opaque1,
         {C(31, 63, 30)},
         {}},
        {"565 mode 10 at 0 changes nothing",
         Source::k565,
         10,
         0,
         kWhite,
         -1,
         {C(3, 4, 5)},
         {C(9, 9, 9)},
         opaque1,
         {C(3, 4, 5)},
         {}},
        {"565 mode 4: an alpha-0 pixel in a skip run stays",
         Source::k565Alpha,
         4,
         9,
         kWhite,
         -1,
         {C(5, 5, 5)},
         {C(9, 9, 9)},
         skip1,
         {C(5, 5, 5)},
         {0}},
    };
    for (const Example& e : examples) {
        SCOPED_TRACE(e.what);
        EXPECT_EQ(DrawExample(e, true), e.want);
        if (!e.plain.empty()) {
            EXPECT_EQ(DrawExample(e, false), e.plain);
        }
    }
}

// Mode 1 at 128, white, shows the path: 1 over 1 stays 1 through the table
// and halves to 0 in the general kernels.
TEST(RunTableBlit, IsTakenOnlyForWholeUnclippedSourcesWithTransExactlyOne) {
    struct Case {
        const char* what;
        int trans;
        RECT area;
        bool view;
        uint32_t want;
    };
    const Case cases[] = {
        {"whole, trans 1", 1, {0, 0, 8, 4}, false, 1},
        {"trans 2", 2, {0, 0, 8, 4}, false, 0},
        {"clipped by one pixel", 1, {0, 0, 4, 4}, false, 0},
        {"a view of part of the image", 1, {0, 0, 8, 4}, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        kit::GuardedImage src(kMemImgRgb32, 4, 2), dst(kMemImgRgb32, 8, 4);
        for (int i = 0; i < 8; ++i) {
            src.Set(i % 4, i / 4, Rgb(1, 1, 1));
            dst.Set(i % 4, i / 4, Rgb(1, 1, 1));
        }
        LentTable table(src.base());
        ASSERT_EQ(MemImgBuildRunTable(src.image()), 0);
        MEMIMG view{};
        MemImgMakeView(&view, src.image(), 1, 0, 3, 2);
        SoftDrawState state = DefaultSoftDrawState(c.area);
        state.blendMode = kBlendAlpha;
        state.blendParam = 128;
        MemImgBlit(state, dst.image(), c.view ? &view : src.image(), 1, 0, c.trans, nullptr);
        MemImgRelease(&view);
        EXPECT_EQ(dst.Get(1, 0), Rgb(c.want, c.want, c.want));
        EXPECT_EQ(dst.Get(3, 1), Rgb(c.want, c.want, c.want));
        EXPECT_TRUE(dst.GuardsIntact());
    }
}

}  // namespace
}  // namespace tessel
