// The pixel arithmetic of the CPU device: stage operations, blending, compares, texel formats,
// sampling. Expectations are worked out by hand or from the documented formulas in doubles.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "d3d9_raster_fixture.h"
#include "platform/d3d9/raster_pixel.h"
#include "platform/d3d9/raster_sample.h"

namespace {

using namespace raster_test;

struct OpCase {
    uint32_t op;
    int a1, a2, s;
    int expected;
};

TEST(RasterStageOps, EveryOperationMatchesItsFormula) {
    const OpCase cases[] = {
        {kTopSelectArg1, 200, 100, 0, 200},
        {kTopSelectArg2, 200, 100, 0, 100},
        {kTopModulate, 200, 100, 0, 78},  // 20000 / 255 = 78.43
        {kTopModulate, 255, 255, 0, 255},
        {kTopModulate, 128, 128, 0, 64},     // 16384 / 255 = 64.25
        {kTopModulate2x, 200, 100, 0, 157},  // 156.86
        {kTopModulate2x, 128, 128, 0, 129},  // 128.50
        {kTopModulate4x, 100, 100, 0, 157},  // 156.86
        {kTopModulate4x, 200, 100, 0, 255},  // saturates
        {kTopAdd, 100, 60, 0, 160},
        {kTopAdd, 200, 100, 0, 255},
        {kTopAddSigned, 200, 100, 0, 172},
        {kTopAddSigned, 10, 20, 0, 0},
        {kTopAddSigned, 250, 250, 0, 255},
        {kTopSubtract, 200, 100, 0, 100},
        {kTopSubtract, 50, 100, 0, 0},
        {kTopBlendDiffuseAlpha, 200, 100, 64, 125},  // (12800 + 19100) / 255 = 125.1
        {kTopBlendTextureAlpha, 200, 100, 255, 200},
        {kTopBlendCurrentAlpha, 200, 100, 0, 100},
        {kTopBlendFactorAlpha, 0, 255, 128, 127},  // 127.0
    };
    for (const OpCase& c : cases) {
        EXPECT_EQ(StageOpChannel(c.op, c.a1, c.a2, c.s), c.expected)
            << "op " << c.op << " args " << c.a1 << ", " << c.a2 << ", " << c.s;
    }
}

struct StageFixture : ::testing::Test {
    RasterStates states;
    RasterStageProgram program;
    RasterColor tex[4];
    RasterColor diffuse = ColorFromArgb(0x80402010u);
    RasterColor specular = ColorFromArgb(0x11223344u);

    void SetUp() override {
        SetDefaultRasterStates(&states);
        tex[0] = ColorFromArgb(0xC0FF8000u);
        tex[1] = ColorFromArgb(0x20102030u);
    }
    uint32_t Run() {
        CompileStageProgram(states, &program);
        return ArgbFromColor(RunStageProgram(program, tex, diffuse, specular));
    }
    void Stage(int i, uint32_t cop, uint32_t c1, uint32_t c2, uint32_t aop, uint32_t a1,
               uint32_t a2) {
        states.stage[i][kTssColorOp] = cop;
        states.stage[i][kTssColorArg1] = c1;
        states.stage[i][kTssColorArg2] = c2;
        states.stage[i][kTssAlphaOp] = aop;
        states.stage[i][kTssAlphaArg1] = a1;
        states.stage[i][kTssAlphaArg2] = a2;
    }
};

TEST_F(StageFixture, DefaultStageModulatesTextureByDiffuseAndTakesTextureAlpha) {
    // r: 255 * 64 / 255 = 64; g: 128 * 32 / 255 = 16.06; b: 0; alpha from the texture.
    EXPECT_EQ(Run(), 0xC0401000u);
}

TEST_F(StageFixture, DisabledFirstStageGivesDiffuse) {
    Stage(0, kTopDisable, kTaTexture, kTaCurrent, kTopDisable, kTaTexture, kTaCurrent);
    EXPECT_EQ(Run(), 0x80402010u);
}

TEST_F(StageFixture, CurrentAtStageZeroIsDiffuseAndDisabledStageEndsCascade) {
    Stage(0, kTopSelectArg1, kTaCurrent, kTaDiffuse, kTopSelectArg1, kTaCurrent, kTaDiffuse);
    Stage(1, kTopDisable, kTaTexture, kTaCurrent, kTopSelectArg1, kTaTexture, kTaCurrent);
    Stage(2, kTopSelectArg1, kTaTFactor, kTaCurrent, kTopSelectArg1, kTaTFactor, kTaCurrent);
    EXPECT_EQ(Run(), 0x80402010u);
}

TEST_F(StageFixture, ModifiersComplementAndAlphaReplicate) {
    Stage(0, kTopSelectArg1, kTaTexture | kTaComplement, kTaDiffuse, kTopSelectArg1,
          kTaDiffuse | kTaComplement, kTaDiffuse);
    EXPECT_EQ(Run(), 0x7F007FFFu);
    Stage(0, kTopSelectArg1, kTaTexture | kTaAlphaReplicate, kTaDiffuse, kTopSelectArg1, kTaTexture,
          kTaDiffuse);
    EXPECT_EQ(Run(), 0xC0C0C0C0u);
    Stage(0, kTopSelectArg1, kTaTexture | kTaAlphaReplicate | kTaComplement, kTaDiffuse,
          kTopSelectArg1, kTaTexture, kTaDiffuse);
    EXPECT_EQ(Run(), 0xC03F3F3Fu);
}

TEST_F(StageFixture, TFactorSpecularAndTwoStages) {
    states.render[kRsTextureFactor] = 0x40FFFFFFu;
    Stage(0, kTopSelectArg1, kTaTexture, kTaDiffuse, kTopSelectArg1, kTaTexture, kTaDiffuse);
    // Stage 1 fades toward the factor by the current alpha (0xC0 = 192):
    // r = (255 * 192 + 255 * 63) / 255 = 255; g = (128 * 192 + 255 * 63) / 255 = 159.4;
    // b = (0 + 255 * 63) / 255 = 63.
    Stage(1, kTopBlendCurrentAlpha, kTaCurrent, kTaTFactor, kTopSelectArg1, kTaCurrent, kTaTFactor);
    EXPECT_EQ(Run(), 0xC0FF9F3Fu);
    Stage(1, kTopAdd, kTaCurrent, kTaSpecular, kTopModulate, kTaCurrent, kTaTFactor);
    // r: 255 + 0x22 -> 255; g: 128 + 0x33 = 179; b: 0 + 0x44 = 68; a: 192 * 64 / 255 = 48.2.
    EXPECT_EQ(Run(), 0x30FFB344u);
}

TEST_F(StageFixture, AlphaDisabledUnderLiveColourKeepsCurrentAlpha) {
    Stage(0, kTopSelectArg1, kTaTexture, kTaDiffuse, kTopDisable, kTaTexture, kTaDiffuse);
    EXPECT_EQ(Run(), 0x80FF8000u);
}

TEST_F(StageFixture, ResultToTempLeavesCurrentAndTempIsReadLater) {
    Stage(0, kTopSelectArg1, kTaTexture, kTaDiffuse, kTopSelectArg1, kTaTexture, kTaDiffuse);
    states.stage[0][kTssResultArg] = kTaTemp;
    Stage(1, kTopAdd, kTaCurrent, kTaTemp, kTopSelectArg1, kTaTemp, kTaCurrent);
    // current is still diffuse after stage 0: r 0x40 + 0xFF -> 255, g 0x20 + 0x80 = 0xA0,
    // b 0x10 + 0 = 0x10; alpha from temp 0xC0.
    EXPECT_EQ(Run(), 0xC0FFA010u);
    // Without the cap the result goes to current and TEMP reads 0.
    states.argTempCap = false;
    EXPECT_EQ(Run(), 0x00FF8000u);
}

TEST_F(StageFixture, SpecularEnableAddsSpecularColour) {
    Stage(0, kTopSelectArg1, kTaDiffuse, kTaDiffuse, kTopSelectArg1, kTaDiffuse, kTaDiffuse);
    states.render[kRsSpecularEnable] = 1;
    EXPECT_EQ(Run(), 0x80625354u);  // 0x40+0x22, 0x20+0x33, 0x10+0x44; alpha untouched
}

// Reference blend in doubles, straight from the documented formula.
int RefBlend(uint32_t op, int s, int fs, int d, int fd) {
    double v;
    switch (op) {
        case kBlendOpSubtract:
            v = std::max(0.0, (s * fs - d * fd) / 255.0);
            break;
        case kBlendOpRevSubtract:
            v = std::max(0.0, (d * fd - s * fs) / 255.0);
            break;
        case kBlendOpMin:
            return std::min(s, d);
        case kBlendOpMax:
            return std::max(s, d);
        default:
            v = (s * fs + d * fd) / 255.0;
            break;
    }
    return std::min(255, static_cast<int>(std::floor(v + 0.5)));
}

int RefFactor(uint32_t f, int ch, bool alpha, RasterColor s, RasterColor d) {
    int sc[4] = {s.r, s.g, s.b, s.a};
    int dc[4] = {d.r, d.g, d.b, d.a};
    switch (f) {
        case kBlendZero:
            return 0;
        case kBlendOne:
            return 255;
        case kBlendSrcColor:
            return sc[ch];
        case kBlendInvSrcColor:
            return 255 - sc[ch];
        case kBlendSrcAlpha:
            return s.a;
        case kBlendInvSrcAlpha:
            return 255 - s.a;
        case kBlendDestAlpha:
            return d.a;
        case kBlendInvDestAlpha:
            return 255 - d.a;
        case kBlendDestColor:
            return dc[ch];
        case kBlendInvDestColor:
            return 255 - dc[ch];
        default:
            return alpha ? 255 : std::min(s.a, 255 - d.a);  // SRCALPHASAT
    }
}

TEST(RasterBlend, EveryFactorAndOperationOnKnownPixels) {
    // In the second pair the destination alpha is above 255 minus the source alpha, so
    // SRCALPHASAT differs from SRCALPHA there.
    const uint32_t pairs[][2] = {{0x80C04020u, 0x4010806Fu}, {0x80C04020u, 0xC010806Fu}};
    for (const auto& pair : pairs) {
        const uint32_t src = pair[0];
        const uint32_t dst = pair[1];
        SCOPED_TRACE(dst);
        RasterColor s = ColorFromArgb(src), d = ColorFromArgb(dst);
        for (uint32_t op = kBlendOpAdd; op <= kBlendOpMax; ++op) {
            for (uint32_t fs = kBlendZero; fs <= kBlendSrcAlphaSat; ++fs) {
                for (uint32_t fd = kBlendZero; fd <= kBlendSrcAlphaSat; ++fd) {
                    RasterBlendSetup b;
                    b.enabled = true;
                    b.srcBlend = fs;
                    b.destBlend = fd;
                    b.op = op;
                    RasterColor out = ColorFromArgb(BlendRasterPixel(b, src, dst));
                    int got[4] = {out.r, out.g, out.b, out.a};
                    int sc[4] = {s.r, s.g, s.b, s.a}, dc[4] = {d.r, d.g, d.b, d.a};
                    for (int ch = 0; ch < 4; ++ch) {
                        bool alpha = ch == 3;
                        int want = RefBlend(op, sc[ch], RefFactor(fs, ch, alpha, s, d), dc[ch],
                                            RefFactor(fd, ch, alpha, s, d));
                        ASSERT_EQ(got[ch], want)
                            << "op " << op << " src " << fs << " dest " << fd << " channel " << ch;
                    }
                }
            }
        }
    }
}

TEST(RasterBlend, HandWorkedCases) {
    RasterBlendSetup b;
    b.enabled = true;
    b.srcBlend = kBlendSrcAlpha;
    b.destBlend = kBlendInvSrcAlpha;
    // r: (192 * 128 + 16 * 127) / 255 = 104.3; alpha: (128 * 128 + 64 * 127) / 255 = 96.1.
    EXPECT_EQ(BlendRasterPixel(b, 0x80C04020u, 0x40108000u) >> 16, 0x6068u);
    // Subtract through the inverted destination: white minus 0.25 ends at 0.75.
    b.srcBlend = kBlendInvDestColor;
    b.destBlend = kBlendZero;
    EXPECT_EQ(BlendRasterPixel(b, 0xFFFFFFFFu, 0xFFFFFFFFu) & 0xFFFFFF, 0u);
    b.op = kBlendOpRevSubtract;
    b.srcBlend = kBlendSrcAlpha;
    b.destBlend = kBlendOne;
    EXPECT_EQ(BlendRasterPixel(b, 0xFF404040u, 0xFFFFFFFFu) & 0xFFFFFF, 0xBFBFBFu);
    EXPECT_EQ(BlendRasterPixel(b, 0xFF808080u, 0xFF1A1A1Au) & 0xFFFFFF, 0u);  // never below 0
}

TEST(RasterBlend, WithoutCapTheOperationIsAddAndWriteMaskKeepsChannels) {
    RasterStates st;
    SetDefaultRasterStates(&st);
    st.render[kRsAlphaBlendEnable] = 1;
    st.render[kRsDestBlend] = kBlendOne;
    st.render[kRsBlendOp] = kBlendOpRevSubtract;
    st.blendOpCap = false;
    RasterBlendSetup b;
    CompileBlendSetup(st, &b);
    EXPECT_EQ(BlendRasterPixel(b, 0xFF101010u, 0xFF202020u), 0xFF303030u);
    st.render[kRsColorWriteEnable] = 0x1 | 0x8;
    CompileBlendSetup(st, &b);
    EXPECT_EQ(BlendRasterPixel(b, 0xFF101010u, 0xFF202020u), 0xFF302020u);
}

TEST(RasterCompare, AllEightFunctions) {
    // For (a, b) = (1, 2), (2, 2), (3, 2).
    for (int f = 0; f < 8; ++f) {
        for (uint32_t a = 1; a <= 3; ++a) {
            EXPECT_EQ(RasterCompare(kCompareFunctions[f], a, 2), kComparePasses[f][a - 1])
                << f << " " << a;
        }
    }
}

TEST(RasterTexel, SixteenBitFormatsWidenByBitReplication) {
    const struct Case {
        uint32_t format, stored, argb;
    } cases[] = {
        {kFmtR5G6B5, 0xF800, 0xFFFF0000u},
        {kFmtR5G6B5, 0x0841, 0xFF080808u},  // 1, 2, 1 widen to 8, 8, 8
        {kFmtX1R5G5B5, 0x7FFF, 0xFFFFFFFFu},
        {kFmtX1R5G5B5, 0x4210, 0xFF848484u},  // 16 -> 128 | 4 = 132
        {kFmtA1R5G5B5, 0x8000, 0xFF000000u},
        {kFmtA1R5G5B5, 0x7C00, 0x00FF0000u},
        {kFmtA4R4G4B4, 0x8F1A, 0x88FF11AAu},
        {kFmtX8R8G8B8, 0x00123456, 0xFF123456u},
        {kFmtA8R8G8B8, 0x00123456, 0x00123456u},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeRasterPixel(c.format, c.stored), c.argb) << std::hex << c.stored;
    }
}

TEST(RasterTexel, NarrowingKeepsTopBitsAndWidenedValuesComeBack) {
    EXPECT_EQ(EncodeRasterPixel(kFmtR5G6B5, 0xFFFF0000u), 0xF800u);
    EXPECT_EQ(EncodeRasterPixel(kFmtR5G6B5, 0xFF808080u), (16u << 11) | (32u << 5) | 16u);
    EXPECT_EQ(EncodeRasterPixel(kFmtR5G6B5, 0xFF0F0F0Fu), (1u << 11) | (3u << 5) | 1u);
    EXPECT_EQ(EncodeRasterPixel(kFmtA1R5G5B5, 0x7F000000u), 0u);
    EXPECT_EQ(EncodeRasterPixel(kFmtA1R5G5B5, 0x80000000u), 0x8000u);
    for (uint32_t v = 0; v < 0x10000; v += 7) {
        ASSERT_EQ(EncodeRasterPixel(kFmtR5G6B5, DecodeRasterPixel(kFmtR5G6B5, v)), v);
        ASSERT_EQ(EncodeRasterPixel(kFmtA4R4G4B4, DecodeRasterPixel(kFmtA4R4G4B4, v)), v);
        ASSERT_EQ(EncodeRasterPixel(kFmtA1R5G5B5, DecodeRasterPixel(kFmtA1R5G5B5, v)), v);
    }
}

TEST(RasterTexel, Dxt1FourAndThreeColourBlocks) {
    // c0 = red (0xF800) > c1 = blue (0x001F): four colours.
    uint8_t block[8] = {0x00, 0xF8, 0x1F, 0x00, 0, 0, 0, 0};
    // texel 0 -> 0, texel 1 -> 1, texel 2 -> 2, texel 3 -> 3 (row 0), rest 0.
    block[4] = 0 | (1 << 2) | (2 << 4) | (3 << 6);
    uint32_t out[16];
    DecodeDxtBlock(kFmtDxt1, block, out);
    EXPECT_EQ(out[0], 0xFFFF0000u);
    EXPECT_EQ(out[1], 0xFF0000FFu);
    EXPECT_EQ(out[2], 0xFFAA0055u);  // (2 * 255 + 0) / 3 = 170, (0 + 255) / 3 = 85
    EXPECT_EQ(out[3], 0xFF5500AAu);
    EXPECT_EQ(out[5], 0xFFFF0000u);
    // Swapped end points: three colours and transparent black.
    uint8_t three[8] = {0x1F, 0x00, 0x00, 0xF8, 0, 0, 0, 0};
    three[4] = (2 << 0) | (3 << 2);
    DecodeDxtBlock(kFmtDxt1, three, out);
    EXPECT_EQ(out[0], 0xFF7F007Fu);  // (255 + 0) / 2 = 127
    EXPECT_EQ(out[1], 0x00000000u);
}

TEST(RasterTexel, Dxt3AndDxt5Alpha) {
    uint8_t b3[16] = {0x10, 0xF2};  // texels 0..3 alpha nibbles 0, 1, 2, F
    b3[8] = 0xFF;
    b3[9] = 0xFF;  // colour white (c0 = c1: four colours in DXT3)
    uint32_t out[16];
    DecodeDxtBlock(kFmtDxt3, b3, out);
    EXPECT_EQ(out[0], 0x00FFFFFFu);
    EXPECT_EQ(out[1], 0x11FFFFFFu);
    EXPECT_EQ(out[2], 0x22FFFFFFu);
    EXPECT_EQ(out[3], 0xFFFFFFFFu);
    uint8_t b5[16] = {200, 10};
    // indices: texel 0 -> 0, texel 1 -> 1, texel 2 -> 2, texel 3 -> 7
    uint64_t bits = 0 | (1ull << 3) | (2ull << 6) | (7ull << 9);
    for (int i = 0; i < 6; ++i)
        b5[2 + i] = static_cast<uint8_t>(bits >> (8 * i));
    DecodeDxtBlock(kFmtDxt5, b5, out);
    EXPECT_EQ(out[0] >> 24, 200u);
    EXPECT_EQ(out[1] >> 24, 10u);
    EXPECT_EQ(out[2] >> 24, 172u);  // (6 * 200 + 10) / 7 = 172.9
    EXPECT_EQ(out[3] >> 24, 37u);   // (200 + 60) / 7 = 37.1
    b5[0] = 10;
    b5[1] = 200;  // six-alpha mode: codes 6 and 7 are 0 and 255
    bits = (6ull << 0) | (7ull << 3) | (2ull << 6);
    for (int i = 0; i < 6; ++i)
        b5[2 + i] = static_cast<uint8_t>(bits >> (8 * i));
    DecodeDxtBlock(kFmtDxt5, b5, out);
    EXPECT_EQ(out[0] >> 24, 0u);
    EXPECT_EQ(out[1] >> 24, 255u);
    EXPECT_EQ(out[2] >> 24, 48u);  // (4 * 10 + 200) / 5 = 48
}

TEST(RasterTexel, DepthQuantisesPerFormat) {
    EXPECT_EQ(QuantizeRasterDepth(kFmtD16, 0.5f), 32768u);
    EXPECT_EQ(QuantizeRasterDepth(kFmtD16, 2.0f), 65535u);
    EXPECT_EQ(QuantizeRasterDepth(kFmtD24X8, 1.0f), 0xFFFFFFu);
    EXPECT_EQ(QuantizeRasterDepth(kFmtD32, -1.0f), 0u);
}

TEST(RasterSample, AddressModes) {
    struct Case {
        uint32_t mode;
        int index, expected;
    } cases[] = {
        {kAddressWrap, -1, 3},   {kAddressWrap, 4, 0},        {kAddressWrap, 9, 1},
        {kAddressMirror, -1, 0}, {kAddressMirror, 4, 3},      {kAddressMirror, 5, 2},
        {kAddressMirror, 8, 0},  {kAddressMirror, -5, 3},     {kAddressClamp, -7, 0},
        {kAddressClamp, 9, 3},   {kAddressBorder, -1, -1},    {kAddressBorder, 4, -1},
        {kAddressBorder, 2, 2},  {kAddressMirrorOnce, -2, 1}, {kAddressMirrorOnce, 6, 3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AddressRasterTexel(c.index, 4, c.mode), c.expected)
            << "mode " << c.mode << " index " << c.index;
    }
}

struct SampleFixture : ::testing::Test {
    Texture tex{4, 4, kFmtA8R8G8B8};
    RasterStates states;
    RasterSampler sampler;
    void SetUp() override {
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 4; ++x)
                tex.Set(x, y, 0xFF000000u | (x * 64) << 16 | (y * 64));
        }
        SetDefaultRasterStates(&states);
        states.textures[0] = &tex.texture;
        Compile();
    }
    void Compile() { CompileRasterSampler(states, 0, &sampler); }
};

TEST_F(SampleFixture, PointTakesFloorOfCoordinateTimesSize) {
    EXPECT_EQ(SampleRaster(sampler, 0.26f, 0.74f, 0), 0xFF400080u);
    EXPECT_EQ(SampleRaster(sampler, 1.26f, -0.01f, 0), 0xFF4000C0u);  // wrap
    states.sampler[0][kSampAddressU] = kAddressBorder;
    states.sampler[0][kSampBorderColor] = 0x12345678u;
    Compile();
    EXPECT_EQ(SampleRaster(sampler, 1.26f, 0.5f, 0), 0x12345678u);
}

TEST_F(SampleFixture, LinearWeighsFourTexelsInSteps) {
    states.sampler[0][kSampMagFilter] = kFilterLinear;
    states.sampler[0][kSampMinFilter] = kFilterLinear;
    Compile();
    // u W - 0.5 = 1.0 exactly: texel 1 alone.
    EXPECT_EQ(SampleRaster(sampler, 1.5f / 4, 0.5f / 4, 0), 0xFF400000u);
    // Halfway between columns 1 and 2 (64 and 128): 96; rows 0 and 1 (0, 64): 32.
    EXPECT_EQ(SampleRaster(sampler, 2.0f / 4, 1.0f / 4, 0), 0xFF600020u);
    // A quarter of the way: fx = 64 -> (64 * 192 + 128 * 64 + 128) / 256 = 80.
    EXPECT_EQ(SampleRaster(sampler, 1.75f / 4, 0.5f / 4, 0) >> 16 & 255, 80u);
}

TEST_F(SampleFixture, MipSelection) {
    Texture small(2, 2, kFmtA8R8G8B8);
    for (int i = 0; i < 4; ++i)
        small.Set(i & 1, i >> 1, 0xFF0000FFu);
    RasterTexture chain = tex.texture;
    chain.levelCount = 2;
    chain.levels[1] = small.texture.levels[0];
    states.textures[0] = &chain;
    states.sampler[0][kSampMipFilter] = kFilterPoint;
    Compile();
    EXPECT_TRUE(sampler.needsLod);
    EXPECT_EQ(SampleRaster(sampler, 0.1f, 0.1f, 0.0f), 0xFF000000u);  // magnified: level 0
    EXPECT_EQ(SampleRaster(sampler, 0.1f, 0.1f, 0.4f), 0xFF000000u);  // rounds to level 0
    EXPECT_EQ(SampleRaster(sampler, 0.1f, 0.1f, 0.6f), 0xFF0000FFu);  // level 1
    EXPECT_EQ(SampleRaster(sampler, 0.1f, 0.1f, 5.0f), 0xFF0000FFu);  // past the chain
    states.sampler[0][kSampMipFilter] = kFilterLinear;
    Compile();
    // Halfway between black and blue: (0 * 128 + 255 * 128 + 128) >> 8 = 128.
    EXPECT_EQ(SampleRaster(sampler, 0.1f, 0.1f, 0.5f), 0xFF000080u);
}

}  // namespace
