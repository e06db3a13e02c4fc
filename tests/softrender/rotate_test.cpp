// The rotated blit against the oracle: every source kind, mode and flag set
// over whole sources turned and scaled; random scenes with clipping and
// guard bands; nothing read past a source or mask.
#include "softrender/rotate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "softrender/kernel_width.h"
#include "softrender/rotate_internal.h"
#include "softrender/rotate_scene.h"
#include "tests/support/full_size_runs.h"

namespace tessel {
namespace {

using kit::Source;

#if TESSEL_FULL_SIZE_RUNS
constexpr int kRounds = 6;
#else
constexpr int kRounds = 1;  // sanitizer builds
#endif

constexpr Source kKinds[] = {Source::k32,       Source::k32Alpha, Source::k565,
                             Source::k565Alpha, Source::kPal32,   Source::kPal565};
constexpr uint32_t kModes[] = {0, 1, 2, 3, 4, 10, 11};

void CheckScene(const kit::RotateScene& s) {
    const std::vector<uint32_t> got = kit::DrawRotateScene(s);
    const std::vector<uint32_t> want = kit::ExpectRotateScene(s);
    ASSERT_TRUE(got == want) << kit::RotateDifferences(s, got, want);
}

class RotatedSpans : public ::testing::TestWithParam<Source> {};

// The whole source lands inside the destination, so every texel's rule runs
// many times per draw.
TEST_P(RotatedSpans, MatchTheOracleForEveryModeAndFlagSet) {
    const Source kind = GetParam();
    kit::BiasedRandom random(static_cast<uint32_t>(kind) + 300);
    constexpr int kSource = 24, kDest = 80;
    for (uint32_t mode : kModes) {
        for (int flags = 0; flags < 8; ++flags) {
            const bool mask = flags & 1, white = flags & 2, trans = flags & 4;
            SCOPED_TRACE(testing::Message() << "mode " << mode << " mask " << mask << " white "
                                            << white << " trans " << trans);
            for (int round = 0; round < 4 + kRounds; ++round) {
                kit::RotateScene s =
                    kit::RandomRotateScene(random, kind, kSource, kSource - 5, kDest, kDest);
                s.cx = s.cy = kDest / 2;
                s.blit.area = RECT{0, 0, kDest, kDest};
                s.blit.mode = mode;
                s.blit.useMask = mask;
                s.blit.trans = trans ? 1 + round % 2 : 0;
                static constexpr int kSpecial[] = {0, 1, 128, 255};
                s.blit.p = round < 4 ? kSpecial[round] : int(random.Byte());
                if (!white) {
                    do {
                        s.blit.brightness =
                            random.Byte() << 16 | random.Byte() << 8 | random.Byte();
                    } while (s.blit.brightness == 0xFFFFFF);
                }
                ASSERT_NO_FATAL_FAILURE(CheckScene(s))
                    << "p " << s.blit.p << std::hex << " brightness " << s.blit.brightness
                    << " key " << s.blit.key << std::dec << " angle " << s.angle << " scale "
                    << s.scale;
            }
        }
    }
}

std::string KindName(const testing::TestParamInfo<Source>& info) {
    static const char* const kNames[] = {"Direct32", "Alpha32", "Direct565",
                                         "Alpha565", "Pal32",   "Pal565"};
    return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(EveryKind, RotatedSpans, ::testing::ValuesIn(kKinds), KindName);

// Sources of every size from one pixel, centres off every edge, any draw
// area: the destination matches the oracle and no guard band changes.
TEST(RotateBlit, RandomScenesMatchTheOracleInsideTheirClip) {
    kit::BiasedRandom random(2027);
    for (int round = 0; round < 300 * kRounds; ++round) {
        const Source kind = kKinds[random.Below(6)];
        kit::RotateScene s =
            kit::RandomRotateScene(random, kind, random.Between(1, 21), random.Between(1, 17),
                                   random.Between(1, 40), random.Between(1, 40));
        if (random.Below(4) == 0) {
            s.blit.area = RECT{0, 0, s.blit.dw, s.blit.dh};
        }
        SCOPED_TRACE(testing::Message() << "round " << round);
        ASSERT_NO_FATAL_FAILURE(CheckScene(s));
    }
}

// The rows narrowed to their run inside the source and the white, unmasked
// 32-bit blends draw what the plain walk, testing every pixel, and the rule
// engine draw; scales down to a ten-thousandth make the positions of a row
// wrap, where the narrowing hands the row to the plain walk.
TEST(RotateBlit, NarrowedRowsAndWhiteBlendsDrawWhatThePlainWalkAndTheRulesDraw) {
    kit::BiasedRandom random(2029);
    for (int round = 0; round < 300 * kRounds; ++round) {
        const Source kind = kKinds[random.Below(6)];
        kit::RotateScene s = kit::RandomRotateScene(random, kind, random.Between(1, 30),
                                                    random.Between(1, 30), 48, 48);
        if (random.Below(3) == 0) {
            s.scale = static_cast<float>(random.Between(1, 100)) * 1e-4f;
        }
        if (random.Below(2) == 0) {
            s.blit.brightness = 0xFFFFFF;
            s.blit.useMask = false;
            s.blit.mode = random.Below(2);
        }
        SCOPED_TRACE(testing::Message() << "round " << round << " scale " << s.scale);
        const std::vector<uint32_t> fast = kit::DrawRotateScene(s);
        soft::g_rotateNarrowRows = 0;
        soft::g_rotateWhiteVariants = 0;
        const std::vector<uint32_t> plain = kit::DrawRotateScene(s);
        soft::g_rotateNarrowRows = 1;
        soft::g_rotateWhiteVariants = 1;
        ASSERT_TRUE(fast == plain) << kit::RotateDifferences(s, fast, plain);
    }
}

// Sets a kernel width for a scope and puts the one before back.
class WidthScope {
  public:
    explicit WidthScope(soft::KernelWidth width) : kept_(soft::CurrentKernelWidth()) {
        EXPECT_TRUE(soft::SetKernelWidth(width));
    }
    ~WidthScope() { soft::SetKernelWidth(kept_); }
    WidthScope(const WidthScope&) = delete;
    WidthScope& operator=(const WidthScope&) = delete;

  private:
    soft::KernelWidth kept_;
};

// Every kernel width this processor runs, narrowest first.
std::vector<soft::KernelWidth> Widths() {
    std::vector<soft::KernelWidth> widths;
    for (int w = 0; w <= static_cast<int>(soft::WidestKernelWidth()); ++w) {
        widths.push_back(static_cast<soft::KernelWidth>(w));
    }
    return widths;
}

// The scene drawn at every kernel width the processor runs, its rows narrowed
// to their runs and stepped whole: each draws what the pixel-by-pixel step
// draws, and the oracle agrees.
void CheckWideSpans(const kit::RotateScene& s) {
    std::vector<uint32_t> single;
    {
        const WidthScope portable(soft::KernelWidth::kPortable);
        single = kit::DrawRotateScene(s);
    }
    for (soft::KernelWidth width : Widths()) {
        const WidthScope scope(width);
        for (int narrow : {1, 0}) {
            soft::g_rotateNarrowRows = narrow;
            const std::vector<uint32_t> wide = kit::DrawRotateScene(s);
            soft::g_rotateNarrowRows = 1;
            ASSERT_TRUE(wide == single)
                << soft::KernelWidthName(width) << (narrow ? "" : ", rows stepped whole")
                << kit::RotateDifferences(s, wide, single);
        }
    }
    CheckScene(s);
}

// One scene in four shrunk to a ten-thousandth to a hundredth, where a row's
// positions can leave their line and wrap.
void SometimesTiny(kit::BiasedRandom& random, kit::RotateScene* s) {
    if (random.Below(4) == 0) {
        s->scale = static_cast<float>(random.Between(1, 100)) * 1e-4f;
    }
}

// The keyed copy of a 32-bit alpha source, several pixels at a time, draws
// what the pixel-by-pixel step draws: runs of every length and phase, scales
// that repeat texels and skip them or wrap a row, alpha 0, 255 and between.
TEST(RotateBlit, AlphaSpritesDrawnSeveralPixelsAtATimeMatchThePixelByPixelStep) {
    kit::BiasedRandom random(7321);
    for (int round = 0; round < 200 * kRounds; ++round) {
        kit::RotateScene s = kit::RandomRotateScene(random, Source::k32Alpha, random.Between(1, 40),
                                                    random.Between(1, 40), 64, 64);
        SometimesTiny(random, &s);
        s.blit.brightness = 0xFFFFFF;
        s.blit.useMask = false;
        s.blit.mode = 0;
        s.blit.trans = 1;
        SCOPED_TRACE(testing::Message() << "round " << round << " scale " << s.scale);
        ASSERT_NO_FATAL_FAILURE(CheckWideSpans(s));
    }
}

// The keyed rules of modes 0 and 2 from a 32-bit alpha source, several pixels
// at a time under any brightness and parameter (the game's tinted and glowing
// sprites), draw what the pixel-by-pixel step draws, and the oracle agrees.
TEST(RotateBlit, TintedAndAddedAlphaSpritesDrawnSeveralAtATimeMatchThePixelByPixelStep) {
    kit::BiasedRandom random(4021);
    for (int round = 0; round < 200 * kRounds; ++round) {
        kit::RotateScene s = kit::RandomRotateScene(random, Source::k32Alpha, random.Between(1, 40),
                                                    random.Between(1, 40), 64, 64);
        SometimesTiny(random, &s);
        s.blit.useMask = false;
        s.blit.mode = round % 2 == 0 ? kBlendAdd : kBlendCopy;
        s.blit.trans = 1;
        s.blit.brightness = random.Below(4) == 0
                                ? 0xFFFFFF
                                : (random.Byte() << 16) | (random.Byte() << 8) | random.Byte();
        SCOPED_TRACE(testing::Message() << "round " << round << " mode " << s.blit.mode << " p "
                                        << s.blit.p << " brightness " << std::hex
                                        << s.blit.brightness << std::dec << " scale " << s.scale);
        ASSERT_NO_FATAL_FAILURE(CheckWideSpans(s));
    }
}

// The game's bullets: cells of one sheet (views whose rows lie the sheet's
// pitch apart) with per-pixel alpha, turned and scaled onto a 32-bit target
// as the tinted body (mode 0), the glow and the core (mode 2, tinted or
// white, p 255 or any): every kernel width draws what the pixel-by-pixel
// step draws, rows narrowed or stepped whole.
TEST(RotateBlit, SheetCellsDrawnAtEveryKernelWidthMatchThePixelByPixelStep) {
    kit::BiasedRandom random(6151);
    kit::EnsureTables();
    MEMIMG sheet{};
    constexpr int kSheetWidth = 96, kSheetHeight = 80, kDest = 72;
    ASSERT_EQ(
        MemImgCreate(&sheet, kSheetWidth, kSheetHeight, -1, 0, kMemImgRgb32, 0, 1, 0, nullptr), 0);
    for (int y = 0; y < kSheetHeight; ++y) {
        for (int x = 0; x < kSheetWidth; ++x) {
            const uint32_t alpha = random.Below(3) == 0 ? 0 : random.Byte();
            const uint32_t v =
                alpha << 24 | (random.Byte() << 16) | (random.Byte() << 8) | random.Byte();
            std::memcpy(sheet.pixels + y * sheet.base->pitch + x * 4, &v, 4);
        }
    }
    for (int round = 0; round < 60 * kRounds; ++round) {
        const int w = random.Between(1, 40), h = random.Between(1, 40);
        MEMIMG cell{};
        MemImgMakeView(&cell, &sheet, random.Between(0, kSheetWidth - w),
                       random.Between(0, kSheetHeight - h), w, h);
        kit::GuardedImage dest(kMemImgRgb32, kDest, kDest);
        std::vector<uint32_t> start(size_t(kDest) * kDest);
        for (uint32_t& v : start) {
            v = (random.Byte() << 24) | (random.Byte() << 16) | (random.Byte() << 8) |
                random.Byte();
        }
        SoftDrawState state = DefaultSoftDrawState(RECT{0, 0, kDest, kDest});
        state.blendMode = round % 3 == 0 ? kBlendCopy : kBlendAdd;
        state.blendParam = round % 2 == 0 ? 255 : static_cast<int>(random.Byte());
        state.brightness = round % 4 == 0
                               ? 0xFFFFFF
                               : (random.Byte() << 16) | (random.Byte() << 8) | random.Byte();
        const float angle = static_cast<float>(random.Between(-31416, 31416)) * 1e-4f;
        const float scale = static_cast<float>(random.Between(500, 2500)) * 1e-3f;
        const int cx = random.Between(-8, kDest + 8), cy = random.Between(-8, kDest + 8);
        std::vector<uint32_t> single;
        for (soft::KernelWidth width : Widths()) {
            const WidthScope scope(width);
            for (int narrow : {1, 0}) {
                soft::g_rotateNarrowRows = narrow;
                dest.SetPixels(start);
                MemImgRotateBlit(state, dest.image(), &cell, cx, cy, angle, scale, 1, 0, nullptr);
                soft::g_rotateNarrowRows = 1;
                ASSERT_TRUE(dest.GuardsIntact());
                if (width == soft::KernelWidth::kPortable && narrow == 1) {
                    single = dest.Pixels();
                }
                ASSERT_TRUE(dest.Pixels() == single)
                    << "round " << round << " " << soft::KernelWidthName(width)
                    << (narrow ? "" : ", rows stepped whole") << " mode " << state.blendMode
                    << " p " << state.blendParam << std::hex << " brightness " << state.brightness;
            }
        }
        MemImgRelease(&cell);
    }
    MemImgRelease(&sheet);
}

// Sources and masks of their exact size with nothing around them: under the
// sanitizer any read past either fails.
TEST(RotateBlit, ReadsNothingBeyondTheSourceOrTheMask) {
    kit::BiasedRandom random(48);
    kit::EnsureTables();
    for (int round = 0; round < 400; ++round) {
        const int sw = random.Between(1, 9), sh = random.Between(1, 5);
        const Source kind = kKinds[random.Below(6)];
        const uint32_t type = kit::ColourTypeOf(kind);
        const int alpha = kit::HasAlpha(kind) ? 1 : 0, paletted = kit::IsPaletted(kind) ? 1 : 0;
        const int bytes = MemImgBytesPerPixel(type, alpha, paletted);
        MEMIMG src{}, mask{};
        ASSERT_EQ(MemImgCreate(&src, sw, sh, sw * bytes, 0, static_cast<int>(type), paletted, alpha,
                               0, nullptr),
                  0);
        ASSERT_EQ(MemImgCreate(&mask, sw, sh, sw, 0, kMemImgGray8, 0, 0, 0, nullptr), 0);
        std::memset(src.pixels, 0x11 * (round % 7 + 1), size_t(sw) * bytes * sh);
        std::memset(mask.pixels, 0x80, size_t(sw) * sh);
        kit::GuardedImage dest(type, 12, 8);
        static constexpr uint32_t kSomeModes[] = {0, 1, 2, 3, 4, 10, 11};
        SoftDrawState state = DefaultSoftDrawState(RECT{0, 0, 12, 8});
        state.blendMode = kSomeModes[random.Below(7)];
        state.blendParam = static_cast<int>(random.Byte());
        const float angle = static_cast<float>(random.Between(-700, 700)) * 0.01f;
        const float scale = static_cast<float>(random.Between(100, 4000)) * 0.001f;
        MemImgRotateBlit(state, dest.image(), &src, random.Between(-4, 16), random.Between(-4, 12),
                         angle, scale, static_cast<int>(random.Below(2)), 0,
                         random.Below(2) ? &mask : nullptr);
        EXPECT_TRUE(dest.GuardsIntact());
        MemImgRelease(&src);
        MemImgRelease(&mask);
    }
}

// The white, unmasked copy and mode 1 of 2-byte RGB565 sources, eight pixels
// at a time, draw what the pixel-by-pixel step draws: runs of every length
// and phase, keyed or not, any parameter, and the oracle agrees.
TEST(RotateBlit, Rgb565CopiesAndMode1DrawnEightPixelsAtATimeMatchThePixelByPixelStep) {
    kit::BiasedRandom random(4417);
    for (int round = 0; round < 300 * kRounds; ++round) {
        kit::RotateScene s = kit::RandomRotateScene(random, Source::k565, random.Between(1, 40),
                                                    random.Between(1, 40), 64, 64);
        if (random.Below(3) == 0) {
            s.scale = static_cast<float>(random.Between(1, 100)) * 1e-2f;
        }
        s.blit.brightness = 0xFFFFFF;
        s.blit.useMask = false;
        s.blit.mode = random.Below(2);
        SCOPED_TRACE(testing::Message() << "round " << round << " mode " << s.blit.mode << " p "
                                        << s.blit.p << " trans " << s.blit.trans);
        ASSERT_NO_FATAL_FAILURE(CheckWideSpans(s));
    }
}

// An image turned onto itself reads texels that earlier pixels of the same
// draw have written: the spans that draw several pixels at a time stand
// aside, so both switches draw the same.
TEST(RotateBlit, AnImageTurnedOntoItselfDrawsTheSameWithAndWithoutTheWideSpans) {
    kit::BiasedRandom random(9013);
    kit::EnsureTables();
    for (int round = 0; round < 200; ++round) {
        const bool wide = random.Below(2) == 0;
        const int size = random.Between(12, 40);
        const uint32_t key = wide ? 0 : 0x1234;
        MEMIMG image{};
        ASSERT_EQ(MemImgCreate(&image, size, size, -1, key, wide ? kMemImgRgb32 : kMemImgRgb565, 0,
                               wide ? 1 : 0, 0, nullptr),
                  0);
        std::vector<uint8_t> start(size_t(image.base->pitch) * size);
        for (size_t i = 0; i < start.size(); ++i) {
            start[i] = random.Below(4) == 0 ? 0x12 : static_cast<uint8_t>(random.Byte());
        }
        SoftDrawState state = DefaultSoftDrawState(RECT{0, 0, size, size});
        state.blendMode = wide ? kBlendCopy : random.Below(2);
        state.blendParam = static_cast<int>(random.Byte());
        // Near the identity, texels are read just behind the pixels drawn.
        const bool near = random.Below(2) == 0;
        const int turn = near ? 1 : 700;
        const float angle = static_cast<float>(random.Between(-turn, turn)) * 0.01f;
        const float scale =
            static_cast<float>(near ? random.Between(900, 1100) : random.Between(500, 2000)) *
            0.001f;
        // Centres a few pixels right of the middle read pixels just drawn.
        const int cx = near ? size / 2 + random.Between(-1, 4) : random.Between(0, size);
        const int cy = near ? size / 2 + random.Between(-1, 1) : random.Between(0, size);
        std::vector<uint8_t> single;
        for (soft::KernelWidth width : Widths()) {
            const WidthScope scope(width);
            std::memcpy(image.pixels, start.data(), start.size());
            MemImgRotateBlit(state, &image, &image, cx, cy, angle, scale, 1, 0, nullptr);
            const std::vector<uint8_t> drawn(image.pixels, image.pixels + start.size());
            if (width == soft::KernelWidth::kPortable) {
                single = drawn;
            }
            EXPECT_TRUE(drawn == single) << "round " << round << (wide ? " 32-bit" : " RGB565")
                                         << " " << soft::KernelWidthName(width);
        }
        MemImgRelease(&image);
    }
}

}  // namespace
}  // namespace tessel
