// The whole-quad kernels, vector and portable forms, bit for bit against the per-pixel formulas.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <vector>

#include "d3d9_raster_fixture.h"
#include "platform/d3d9/raster_kernels.h"
#include "platform/d3d9/raster_pixel.h"
#include "platform/d3d9/raster_sample.h"

namespace {

using namespace platform;

struct VectorGuard {
    ~VectorGuard() { SetRasterVectorKernelsEnabled(true); }
};

RasterBlendSetup SrcAlphaBlend() {
    RasterBlendSetup b;
    b.enabled = true;
    b.srcBlend = kBlendSrcAlpha;
    b.destBlend = kBlendInvSrcAlpha;
    b.op = kBlendOpAdd;
    return b;
}

// A 256 x 256 target drawn whole from 256 texel rows of 256.
QuadTexels WholeSquare(std::vector<uint32_t>* target, const std::vector<const uint32_t*>& rows) {
    QuadTexels q;
    q.out = target->data();
    q.outPitch = 256;
    q.texRows = rows.data();
    q.width = 256;
    q.height = 256;
    q.rowLength = 256;
    return q;
}

// Every alpha, source and destination byte: red takes the row as source and the column as
// destination, the other channels mix them, so each (alpha, source, destination) triple meets
// the kernel in some channel. The reference is the per-pixel blend.
TEST(RasterKernels, BlendMatchesTheReferenceOnEveryAlphaSourceAndDestination) {
    VectorGuard guard;
    const RasterBlendSetup reference = SrcAlphaBlend();
    std::vector<uint32_t> texels(256 * 256);
    std::vector<const uint32_t*> rows(256);
    std::vector<uint32_t> target(256 * 256);
    for (bool vector : {true, false}) {
        SetRasterVectorKernelsEnabled(vector);
        // The portable form is plain C++; a sample of alphas is enough for it.
        for (uint32_t a = 0; a < 256; a += vector ? 1 : 15) {
            SCOPED_TRACE(testing::Message() << "alpha " << a << (vector ? " vector" : " portable"));
            for (uint32_t y = 0; y < 256; ++y) {
                rows[y] = &texels[y * 256];
                for (uint32_t x = 0; x < 256; ++x) {
                    texels[y * 256 + x] = a << 24 | y << 16 | x << 8 | ((x + y) & 255);
                    target[y * 256 + x] = (x ^ y) << 24 | x << 16 | y << 8 | (x * 7 & 255);
                }
            }
            std::vector<uint32_t> before = target;
            QuadTexels q = WholeSquare(&target, rows);
            q.blend = QuadBlend::kSrcAlpha;
            DrawQuadTexels(q);
            for (size_t i = 0; i < target.size(); ++i) {
                uint32_t want = BlendRasterPixel(reference, texels[i], before[i]);
                ASSERT_EQ(target[i], want) << "pixel " << i;
            }
        }
    }
}

// The other blends, tints and alpha tests the kernels compute, over every source and
// destination byte (a sample of alphas), against the per-pixel blend, MODULATE and compare.
TEST(RasterKernels, BlendsTintsAndAlphaTestsMatchThePerPixelArithmetic) {
    VectorGuard guard;
    struct Blend {
        QuadBlend kind;
        uint32_t src, dest, op;
    };
    const Blend blends[] = {
        {QuadBlend::kAdd, kBlendSrcAlpha, kBlendOne, kBlendOpAdd},
        {QuadBlend::kRevSubtract, kBlendSrcAlpha, kBlendOne, kBlendOpRevSubtract},
        {QuadBlend::kMultiply, kBlendZero, kBlendSrcColor, kBlendOpAdd},
        {QuadBlend::kMultiply, kBlendDestColor, kBlendZero, kBlendOpAdd},
        {QuadBlend::kInvert, kBlendInvDestColor, kBlendZero, kBlendOpAdd},
        {QuadBlend::kSrcAlpha, kBlendSrcAlpha, kBlendInvSrcAlpha, kBlendOpAdd},
        {QuadBlend::kCopy, kBlendOne, kBlendZero, kBlendOpAdd},
    };
    // Whole-channel tints (a mask), tints that multiply, and a constant alpha.
    const uint32_t tints[][2] = {
        {0xFFFFFFFFu, 0}, {0x00FFFFFFu, 0xFF000000u}, {0x80FF4001u, 0}, {0x00C0A0FFu, 0x37000000u}};
    std::vector<uint32_t> texels(256 * 256), target(256 * 256);
    std::vector<const uint32_t*> rows(256);
    for (const Blend& b : blends) {
        RasterBlendSetup reference;
        reference.enabled = b.kind != QuadBlend::kCopy;
        reference.srcBlend = b.src;
        reference.destBlend = b.dest;
        reference.op = b.op;
        for (bool vector : {true, false}) {
            SetRasterVectorKernelsEnabled(vector);
            for (uint32_t a = 0; a < 256; a += vector ? 17 : 85) {
                for (size_t t = 0; t < std::size(tints); ++t) {
                    // Every function meets texel alphas equal to the reference, on either side.
                    const uint32_t func = raster_test::kCompareFunctions[(a / 17 + t) % 8];
                    const uint32_t ref = t == 0 ? a : 0x55;
                    SCOPED_TRACE(testing::Message()
                                 << "blend " << static_cast<int>(b.kind) << " src " << b.src
                                 << " alpha " << a << " tint " << t << " test " << func
                                 << (vector ? " vector" : " portable"));
                    for (uint32_t y = 0; y < 256; ++y) {
                        rows[y] = &texels[y * 256];
                        for (uint32_t x = 0; x < 256; ++x) {
                            texels[y * 256 + x] = (a ^ (x & 3)) << 24 | y << 16 | x << 8 | (x ^ y);
                            target[y * 256 + x] = (x ^ y) << 24 | x << 16 | y << 8 | (255 - y);
                        }
                    }
                    std::vector<uint32_t> before = target;
                    QuadTexels q = WholeSquare(&target, rows);
                    q.tint = tints[t][0];
                    q.constant = tints[t][1];
                    q.blend = b.kind;
                    q.alphaFunc = func;
                    q.alphaRef = ref;
                    DrawQuadTexels(q);
                    for (size_t i = 0; i < target.size(); ++i) {
                        // The texel through MODULATE by the tint, then the constant.
                        RasterColor c = ColorFromArgb(texels[i]), k = ColorFromArgb(q.tint);
                        c = {DivRound255(c.r * k.r), DivRound255(c.g * k.g), DivRound255(c.b * k.b),
                             DivRound255(c.a * k.a)};
                        uint32_t colour = ArgbFromColor(c) | q.constant;
                        uint32_t want = RasterCompare(func, colour >> 24, ref)
                                            ? BlendRasterPixel(reference, colour, before[i])
                                            : before[i];
                        ASSERT_EQ(target[i], want) << "pixel " << i;
                    }
                }
            }
        }
    }
}

// SRCALPHA / INVSRCALPHA where every pixel comes out opaque (the constant's alpha 255, or the
// texels' OR and the tint both keeping alpha 255), as the game's layers are drawn, and the
// cases one alpha short of that. Each against the per-pixel arithmetic, with and without the
// texels' OR and the target's X bits.
TEST(RasterKernels, OpaqueSourcesUnderTheAlphaBlendMatchThePerPixelArithmetic) {
    VectorGuard guard;
    const RasterBlendSetup reference = SrcAlphaBlend();
    const uint32_t alphaOrs[] = {0, 0xFF000000u, 0xFE000000u};
    const uint32_t tints[] = {0xFFFFFFFFu, 0xFEFFFFFFu, 0x00FFFFFFu, 0xFF80FF40u};
    const uint32_t constants[] = {0, 0xFE000000u, 0xFF000000u};
    std::vector<uint32_t> texels(256 * 256), target(256 * 256);
    std::vector<const uint32_t*> rows(256);
    for (uint32_t y = 0; y < 256; ++y) {
        rows[y] = &texels[y * 256];
        for (uint32_t x = 0; x < 256; ++x)
            texels[y * 256 + x] = (x * 37 + y) << 24 | y << 16 | x << 8 | (x ^ y);
    }
    for (bool vector : {true, false}) {
        SetRasterVectorKernelsEnabled(vector);
        for (uint32_t alphaOr : alphaOrs) {
            for (uint32_t tint : tints) {
                for (uint32_t constant : constants) {
                    for (uint32_t targetOr : {0u, 0xFF000000u}) {
                        SCOPED_TRACE(testing::Message()
                                     << std::hex << "alphaOr " << alphaOr << " tint " << tint
                                     << " constant " << constant << " targetOr " << targetOr
                                     << (vector ? " vector" : " portable"));
                        for (uint32_t y = 0; y < 256; ++y) {
                            for (uint32_t x = 0; x < 256; ++x)
                                target[y * 256 + x] = (x ^ y) << 24 | x << 16 | y << 8 | (255 - y);
                        }
                        std::vector<uint32_t> before = target;
                        QuadTexels q = WholeSquare(&target, rows);
                        q.alphaOr = alphaOr;
                        q.tint = tint;
                        q.constant = constant;
                        q.targetOr = targetOr;
                        q.blend = QuadBlend::kSrcAlpha;
                        DrawQuadTexels(q);
                        for (size_t i = 0; i < target.size(); ++i) {
                            RasterColor c = ColorFromArgb(texels[i] | alphaOr);
                            RasterColor k = ColorFromArgb(tint);
                            c = {DivRound255(c.r * k.r), DivRound255(c.g * k.g),
                                 DivRound255(c.b * k.b), DivRound255(c.a * k.a)};
                            uint32_t colour = ArgbFromColor(c) | constant;
                            uint32_t want =
                                BlendRasterPixel(reference, colour, before[i] | targetOr) |
                                targetOr;
                            ASSERT_EQ(target[i], want) << "pixel " << i;
                        }
                    }
                }
            }
        }
    }
}

// Copies and blends with contiguous, enlarged (permuted), shrunk and mirrored (gathered)
// columns, X8R8G8B8 texels and targets, and widths that leave a remainder.
TEST(RasterKernels, EveryColumnLayoutReadsTheListedTexels) {
    VectorGuard guard;
    std::mt19937 rng(41);
    const int kRowLength = 53;
    std::vector<uint32_t> texels(kRowLength * 5);
    for (uint32_t& t : texels)
        t = rng();
    struct Layout {
        const char* what;
        int width;
        int (*column)(int x);
    };
    const Layout layouts[] = {
        {"contiguous", 45, [](int x) { return x + 3; }},
        {"twice as wide", 101, [](int x) { return x / 2; }},
        {"three halves", 77, [](int x) { return x * 2 / 3 + 1; }},
        {"halved", 26, [](int x) { return 2 * x; }},
        {"mirrored", 40, [](int x) { return 52 - x; }},
    };
    for (const Layout& l : layouts) {
        for (bool blend : {false, true}) {
            for (uint32_t orBits : {0u, 0xFF000000u}) {
                SCOPED_TRACE(testing::Message()
                             << l.what << (blend ? " blended" : " copied") << " or " << orBits);
                std::vector<int32_t> cols(l.width);
                for (int x = 0; x < l.width; ++x)
                    cols[x] = l.column(x);
                const uint32_t* rows[4] = {&texels[0], &texels[2 * kRowLength],
                                           &texels[2 * kRowLength], &texels[4 * kRowLength]};
                std::vector<uint32_t> results[2];
                for (int vector = 0; vector < 2; ++vector) {
                    SetRasterVectorKernelsEnabled(vector != 0);
                    std::vector<uint32_t> target(4 * 128, 0x80706050u);
                    for (size_t i = 0; i < target.size(); ++i)
                        target[i] ^= static_cast<uint32_t>(i * 0x01030507u);
                    QuadTexels q;
                    q.out = target.data() + 3;
                    q.outPitch = 128;
                    q.texRows = rows;
                    q.cols = cols.data();
                    q.width = l.width;
                    q.height = 4;
                    q.rowLength = kRowLength;
                    q.alphaOr = orBits;
                    q.targetOr = orBits;
                    q.blend = blend ? QuadBlend::kSrcAlpha : QuadBlend::kCopy;
                    std::vector<uint32_t> before = target;
                    DrawQuadTexels(q);
                    for (int y = 0; y < 4; ++y) {
                        for (int x = 0; x < 128; ++x) {
                            uint32_t got = target[y * 128 + x];
                            uint32_t old = before[y * 128 + x];
                            if (x < 3 || x >= 3 + l.width) {
                                ASSERT_EQ(got, old) << "outside at " << x << ", " << y;
                                continue;
                            }
                            uint32_t texel = rows[y][cols[x - 3]] | orBits;
                            uint32_t want =
                                (blend ? BlendRasterPixel(SrcAlphaBlend(), texel, old | orBits)
                                       : texel) |
                                orBits;
                            ASSERT_EQ(got, want) << x << ", " << y;
                        }
                    }
                    results[vector] = target;
                }
                EXPECT_EQ(results[0], results[1]);
            }
        }
    }
}

// Every horizontal and vertical weight, random texels: the two passes give BilinearCombine,
// whether the taps are scattered (gathered), run along the row (loaded and permuted) or run
// into its end (where a load of eight would leave the row).
TEST(RasterKernels, BilinearPassesGiveTheFourWeightSum) {
    VectorGuard guard;
    std::mt19937 rng(18);
    const int kWidth = 259;  // every weight, and a remainder past the last eight
    const int kRowLength = kWidth + 1;
    std::vector<uint32_t> row0(kRowLength), row1(kRowLength);
    for (int i = 0; i < kRowLength; ++i) {
        row0[i] = rng();
        row1[i] = rng();
    }
    std::vector<uint16_t> fx(4 * kWidth);
    for (int i = 0; i < kWidth; ++i) {
        for (int c = 0; c < 4; ++c)
            fx[4 * i + c] = static_cast<uint16_t>(i & 255);
    }
    struct Taps {
        const char* name;
        int firstShift;   // first[i] = min(i + firstShift, kWidth)
        int secondShift;  // second[i] likewise, or scattered when negative
    };
    const Taps kTaps[] = {{"scattered", 0, -1}, {"along the row to its end", 5, 6}};
    for (const Taps& taps : kTaps) {
        std::vector<int32_t> first(kWidth), second(kWidth);
        for (int i = 0; i < kWidth; ++i) {
            first[i] = std::min(i + taps.firstShift, kWidth);
            second[i] = taps.secondShift < 0 ? (i * 7 + 1) % kRowLength
                                             : std::min(i + taps.secondShift, kWidth);
        }
        for (bool vector : {true, false}) {
            SetRasterVectorKernelsEnabled(vector);
            for (uint32_t orBits : {0u, 0xFF000000u}) {
                std::vector<uint16_t> h0(4 * kWidth), h1(4 * kWidth);
                BilinearHorizontal(h0.data(), row0.data(), first.data(), second.data(), fx.data(),
                                   kWidth, orBits, kRowLength);
                BilinearHorizontal(h1.data(), row1.data(), first.data(), second.data(), fx.data(),
                                   kWidth, orBits, kRowLength);
                std::vector<uint32_t> out(kWidth);
                for (uint32_t fy = 0; fy < 256; ++fy) {
                    SCOPED_TRACE(testing::Message()
                                 << taps.name << ", fy " << fy << (vector ? " vector" : " portable")
                                 << " or " << orBits);
                    BilinearVertical(out.data(), h0.data(), h1.data(), fy, kWidth, orBits);
                    for (int i = 0; i < kWidth; ++i) {
                        uint32_t want =
                            BilinearCombine(row0[first[i]] | orBits, row0[second[i]] | orBits,
                                            row1[first[i]] | orBits, row1[second[i]] | orBits,
                                            fx[4 * i], fy) |
                            orBits;
                        ASSERT_EQ(out[i], want) << "column " << i;
                    }
                }
            }
        }
    }
}

// The taps along a quad's axis, four at a time, against the per-pixel LinearTapsFor of the
// quads' own expression: every address mode, scales from shrinking to enlarging, coordinates
// running off both edges, and steps that overflow to infinity or give NaN.
TEST(RasterKernels, TapsAlongAnAxisAreThoseOfEachPixel) {
    VectorGuard guard;
    std::mt19937 rng(40);
    std::uniform_real_distribution<double> offset(-3.0, 3.0), scale(-0.2, 0.2);
    struct Axis {
        double a0, step;
    };
    std::vector<Axis> axes = {{0.5 / 37, 1.0 / 37},
                              {-0.013, 1.0 / 64},
                              {1e300, 1e300},
                              {0.0, std::numeric_limits<double>::quiet_NaN()},
                              {-1e9, 3e8}};
    for (int i = 0; i < 200; ++i)
        axes.push_back({offset(rng), scale(rng)});
    const uint32_t modes[] = {kAddressWrap, kAddressMirror, kAddressClamp, kAddressBorder,
                              kAddressMirrorOnce};
    for (const Axis& axis : axes) {
        for (uint32_t mode : modes) {
            for (int32_t size : {1, 37, 64}) {
                const int32_t first = static_cast<int32_t>(rng() % 200) - 100;
                const int32_t count = static_cast<int32_t>(rng() % 70);
                SCOPED_TRACE(testing::Message()
                             << "a0 " << axis.a0 << " step " << axis.step << " mode " << mode
                             << " size " << size << " from " << first << " count " << count);
                for (bool vector : {true, false}) {
                    SetRasterVectorKernelsEnabled(vector);
                    std::vector<LinearTaps> taps(static_cast<size_t>(count));
                    LinearTapsAlong(taps.data(), axis.a0, axis.step, first, count, size, mode);
                    for (int32_t i = 0; i < count; ++i) {
                        LinearTaps want = LinearTapsFor(
                            static_cast<float>(axis.a0 + axis.step * (first + i)), size, mode);
                        ASSERT_EQ(taps[i].first, want.first) << "pixel " << i;
                        ASSERT_EQ(taps[i].second, want.second) << "pixel " << i;
                        ASSERT_EQ(taps[i].weight, want.weight) << "pixel " << i;
                    }
                }
            }
        }
    }
}

// The fused linear spans kernel against its portable form on spans whose coordinates the
// route's random quads rarely reach: u and v passing through zero by tiny steps (where the
// vector form's short tap expression meets the long one's roundings), crossing texel edges
// exactly, staying inside, running off the level, and far off it; each address mode, every
// span length to past two steps, each blend.
TEST(RasterKernels, LinearSpansGiveTheirPortablePixelsAtTinyAndFarCoordinates) {
    VectorGuard guard;
    std::mt19937 rng(77);
    const int32_t tw = 8, th = 5;
    std::vector<uint32_t> texels(tw * th);
    for (uint32_t& t : texels)
        t = rng();
    struct Axis {
        double a, c;
    };
    // The x at which u passes zero is 20; a: the step a pixel. The last puts every tap
    // position on a whole number.
    const Axis axes[] = {{1e-13, -2e-12}, {-3e-11, 6e-10},
                         {1e-7, -2e-6},   {1.0 / 64, -20.0 / 64},
                         {0.01, 0.3},     {-0.02, 0.9},
                         {1e8, -2e9},     {0.0, 0.0625},
                         {0.0, 1e12},     {2.0 / 4096, 1001.0 / 4096}};
    const uint32_t modes[] = {kAddressClamp, kAddressWrap, kAddressMirror, kAddressBorder};
    const QuadBlend blends[] = {QuadBlend::kCopy, QuadBlend::kSrcAlpha, QuadBlend::kAdd,
                                QuadBlend::kInvert};
    for (const Axis& au : axes) {
        for (const Axis& av : axes) {
            for (uint32_t mode : modes) {
                SCOPED_TRACE(testing::Message() << "u " << au.a << " " << au.c << " v " << av.a
                                                << " " << av.c << " mode " << mode);
                LinearSpans spans;
                spans.sampling = {au.a,
                                  0.0,
                                  au.c,
                                  av.a,
                                  0.0,
                                  av.c,
                                  reinterpret_cast<const uint8_t*>(texels.data()),
                                  tw,
                                  tw,
                                  th,
                                  mode,
                                  mode,
                                  0u,
                                  0x80402010u};
                spans.writer.blend = blends[rng() % 4];
                spans.writer.tint = rng() % 2 == 0 ? 0xFFFFFFFFu : 0xC0FF8040u;
                std::vector<LinearSpanRow> rows;
                for (int32_t n = 1; n <= 19; ++n)
                    rows.push_back({n - 1, 20 - n / 2, n, 0.0, 0.0});
                spans.rows = rows.data();
                spans.rowCount = static_cast<int32_t>(rows.size());
                std::vector<uint32_t> start(40 * 19);
                for (uint32_t& p : start)
                    p = rng();
                std::vector<uint32_t> out[2] = {start, start};
                for (int v = 0; v < 2; ++v) {
                    SetRasterVectorKernelsEnabled(v == 0);
                    spans.writer.out = out[v].data();
                    spans.writer.outPitch = 40;
                    DrawLinearSpans(spans);
                }
                ASSERT_EQ(out[0], out[1]);
                ASSERT_NE(out[0], start);
            }
        }
    }
}

}  // namespace
