// Where a quad's texels land: index-coded images drawn axis-aligned, mirrored,
// turned and clipped at negative coordinates, and the shared diagonal.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "softrender/triangle.h"
#include "softrender/triangle_scene.h"

namespace tessel {
namespace {
// An index-coded source drawn as an axis-aligned quad of its own size.
std::vector<uint32_t> DrawQuad(kit::GuardedImage& source, const std::array<MemImgQuadCorner, 4>& c,
                               int dw, int dh, RECT area, uint32_t mode = kBlendCopy, int p = 255) {
    kit::GuardedImage dest(kMemImgRgb32, dw, dh);
    SoftDrawState state = DefaultSoftDrawState(area);
    state.blendMode = mode;
    state.blendParam = p;
    MemImgTexturedQuad(state, dest.image(), source.image(), c.data(), 0, nullptr);
    EXPECT_TRUE(dest.GuardsIntact());
    return dest.Pixels();
}

std::array<MemImgQuadCorner, 4> Corners(int x, int y, int w, int h) {
    return {{{x, y}, {x + w, y}, {x, y + h}, {x + w, y + h}}};
}

TEST(TexturedQuad, MapsEachTexelOfAnAxisAlignedQuadToItsPixel) {
    constexpr int kW = 13, kH = 9, kSize = 32;
    kit::GuardedImage source(kMemImgRgb32, kW, kH);
    kit::FillIndexCoded(source);
    const int places[][2] = {{0, 0}, {3, 5}, {18, 22}, {-4, -3}, {-12, 7}, {25, -8}};
    for (const auto& at : places) {
        const int x0 = at[0], y0 = at[1];
        SCOPED_TRACE(testing::Message() << "at " << x0 << "," << y0);
        const std::vector<uint32_t> got =
            DrawQuad(source, Corners(x0, y0, kW, kH), kSize, kSize, RECT{0, 0, kSize, kSize});
        for (int y = 0; y < kSize; ++y) {
            for (int x = 0; x < kSize; ++x) {
                const int i = x - x0, j = y - y0;
                const bool inside = i >= 0 && i < kW && j >= 0 && j < kH;
                ASSERT_EQ(got[y * kSize + x], inside ? kit::IndexCode(kMemImgRgb32, 0, i, j) : 0u)
                    << x << "," << y << " (column " << x0 + kW << " stays untouched)";
            }
        }
    }
}

// Corners given top-right first draw the source mirrored; corners on one
// line draw nothing.
TEST(TexturedQuad, MirrorsWithMirroredCornersAndDrawsNothingOnALine) {
    constexpr int kW = 6, kH = 5, kSize = 16;
    kit::GuardedImage source(kMemImgRgb32, kW, kH);
    kit::FillIndexCoded(source);
    const int x0 = 3, y0 = 2;
    const std::array<MemImgQuadCorner, 4> mirrored = {
        {{x0 + kW, y0}, {x0, y0}, {x0 + kW, y0 + kH}, {x0, y0 + kH}}};
    const std::vector<uint32_t> got =
        DrawQuad(source, mirrored, kSize, kSize, RECT{0, 0, kSize, kSize});
    for (int j = 0; j < kH; ++j) {
        // Texel i lands at x0 + kW - i; texel 0's column is x0 + kW, i = kW falls outside.
        for (int i = 0; i < kW; ++i) {
            EXPECT_EQ(got[(y0 + j) * kSize + x0 + kW - i], kit::IndexCode(kMemImgRgb32, 0, i, j))
                << i << "," << j;
        }
        EXPECT_EQ(got[(y0 + j) * kSize + x0], 0u) << "row " << j;
    }
    const std::array<MemImgQuadCorner, 4> line = {{{1, 1}, {4, 4}, {7, 7}, {10, 10}}};
    const std::vector<uint32_t> none =
        DrawQuad(source, line, kSize, kSize, RECT{0, 0, kSize, kSize});
    EXPECT_EQ(std::count(none.begin(), none.end(), 0u), kSize * kSize);
}

// A turned and stretched quad lying partly above and left of the image shows
// at each pixel the texel that the same quad moved into view shows there: no
// seam along the diagonal, no shifted column.
TEST(TexturedQuad, ClippedAtNegativeCoordinatesShowsTheTexelsOfTheUnclippedQuad) {
    constexpr int kW = 11, kH = 7, kSize = 24, kShift = 30, kBig = kSize + kShift;
    kit::GuardedImage source(kMemImgRgb32, kW, kH);
    kit::FillIndexCoded(source);
    kit::BiasedRandom random(12);
    for (int round = 0; round < 300; ++round) {
        std::array<MemImgQuadCorner, 4> c{};
        const int x = random.Between(-12, 4), y = random.Between(-10, 4);
        const int dxw = random.Between(4, 20), dyw = random.Between(-6, 6);
        const int dxh = random.Between(-6, 6), dyh = random.Between(4, 16);
        c = {{{x, y}, {x + dxw, y + dyw}, {x + dxh, y + dyh}, {x + dxw + dxh, y + dyw + dyh}}};
        std::array<MemImgQuadCorner, 4> moved = c;
        for (MemImgQuadCorner& m : moved) {
            m.x += kShift;
            m.y += kShift;
        }
        SCOPED_TRACE(testing::Message() << "round " << round);
        const std::vector<uint32_t> clipped =
            DrawQuad(source, c, kSize, kSize, RECT{0, 0, kSize, kSize});
        const std::vector<uint32_t> whole =
            DrawQuad(source, moved, kBig, kBig, RECT{0, 0, kBig, kBig});
        for (int py = 0; py < kSize; ++py) {
            for (int px = 0; px < kSize; ++px) {
                ASSERT_EQ(clipped[py * kSize + px], whole[(py + kShift) * kBig + px + kShift])
                    << px << "," << py;
            }
        }
    }
}

// The two halves both draw the shared diagonal: blended, it shows twice.
TEST(TexturedQuad, BlendsTheSharedDiagonalTwice) {
    constexpr int kW = 8, kSize = 12;
    kit::GuardedImage source(kMemImgRgb32, kW, kW);
    for (int y = 0; y < kW; ++y) {
        for (int x = 0; x < kW; ++x) {
            source.Set(x, y, 0x00F0F0F0u);
        }
    }
    const std::vector<uint32_t> got = DrawQuad(source, Corners(2, 2, kW, kW), kSize, kSize,
                                               RECT{0, 0, kSize, kSize}, kBlendAdd, 16);
    // Add with p = 16 adds 15 once (0x0F0F0F) and, blended twice, 30 to blue and 29 to green and
    // red (their low bits are ORed, not added).
    for (int j = 0; j < kW; ++j) {
        int twice = 0;
        for (int i = 0; i < kW; ++i) {
            const uint32_t v = got[(2 + j) * kSize + 2 + i];
            EXPECT_TRUE(v == 0x000F0F0Fu || v == 0x001D1D1Eu)
                << i << "," << j << std::hex << " " << v;
            twice += v == 0x001D1D1Eu ? 1 : 0;
        }
        EXPECT_EQ(twice, j == 0 ? 0 : 1) << "row " << j;
    }
}

}  // namespace
}  // namespace tessel
