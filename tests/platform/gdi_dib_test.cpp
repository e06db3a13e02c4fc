// DIB blits and brushes into a window's framebuffer.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "dib_test_support.h"
#include "platform/gdi.h"
#include "platform/gdi_testing.h"
#include "platform/window.h"
#include "popup_window.h"

namespace {

class GdiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = windowtest::MakePopupWindow("GdiDibTest", "gdi", 16, 12);
        ASSERT_NE(window_, nullptr);
        dc_ = GetDC(window_);
        ASSERT_NE(dc_, nullptr);
        Paint(0x777777);
    }

    void TearDown() override {
        ReleaseDC(window_, dc_);
        DestroyWindow(window_);
    }

    void Paint(uint32_t pixel) {
        platform::WindowFramebuffer fb;
        ASSERT_TRUE(platform::LockWindowFramebuffer(window_, &fb));
        for (int i = 0; i < fb.width * fb.height; ++i) {
            fb.pixels[i] = pixel;
        }
        platform::UnlockWindowFramebuffer(window_, false);
    }

    uint32_t Pixel(int x, int y) {
        platform::WindowFramebuffer fb;
        EXPECT_TRUE(platform::LockWindowFramebuffer(window_, &fb));
        uint32_t pixel = fb.pixels[y * fb.pitch / 4 + x];
        platform::UnlockWindowFramebuffer(window_, false);
        return pixel;
    }

    HWND window_ = nullptr;
    HDC dc_ = nullptr;
};

// A 32-bit DIB whose pixel at image row r (from the top), column c is
// 0x00rr00cc, with its three masks after the header.
struct Dib32 {
    dibtest::DibHeader header;
    std::vector<uint32_t> pixels;

    Dib32(int width, int height, bool topDown)
        : header(width, topDown ? -height : height, 32, BI_BITFIELDS,
                 {0xFF0000, 0x00FF00, 0x0000FF}) {
        pixels.resize(static_cast<size_t>(width) * height);
        for (int r = 0; r < height; ++r) {
            int memoryRow = topDown ? r : height - 1 - r;
            for (int c = 0; c < width; ++c) {
                pixels[static_cast<size_t>(memoryRow) * width + c] =
                    static_cast<uint32_t>(r << 16 | c);
            }
        }
    }
    const BITMAPINFO* Info() const { return header.Info(); }
};

uint32_t At(int row, int column) {
    return static_cast<uint32_t>(row << 16 | column);
}

TEST_F(GdiTest, StretchDIBitsCountsTheSourceYFromTheBottomForEveryDib) {
    for (bool topDown : {true, false}) {
        Paint(0x777777);
        Dib32 dib(8, 6, topDown);
        // Source x 2, y 1 from the bottom, 4 x 3: image rows 6 - 1 - 3 = 2 to 4.
        ASSERT_EQ(StretchDIBits(dc_, 1, 2, 4, 3, 2, 1, 4, 3, dib.pixels.data(), dib.Info(),
                                DIB_RGB_COLORS, SRCCOPY),
                  3);
        for (int y = 0; y < 12; ++y) {
            for (int x = 0; x < 16; ++x) {
                bool inside = x >= 1 && x < 5 && y >= 2 && y < 5;
                ASSERT_EQ(Pixel(x, y), inside ? At(2 + y - 2, 2 + x - 1) : 0x777777u)
                    << (topDown ? "top-down " : "bottom-up ") << x << ", " << y;
            }
        }
    }
}

TEST_F(GdiTest, StretchDIBitsStretchesByPointSampling) {
    Dib32 dib(8, 6, true);
    // The library's 320x240 emulation: the top-left quarter, y = H / 2 from
    // the bottom, doubled over the whole area.
    ASSERT_EQ(StretchDIBits(dc_, 0, 0, 16, 12, 0, 3, 4, 3, dib.pixels.data(), dib.Info(),
                            DIB_RGB_COLORS, SRCCOPY),
              3);
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 16; ++x) {
            ASSERT_EQ(Pixel(x, y), At(y / 4, x / 4)) << x << ", " << y;
        }
    }
    // Doubling the whole image onto a part of the window, cut at its edge.
    Paint(0);
    ASSERT_EQ(StretchDIBits(dc_, 4, 4, 16, 12, 0, 0, 8, 6, dib.pixels.data(), dib.Info(),
                            DIB_RGB_COLORS, SRCCOPY),
              6);
    EXPECT_EQ(Pixel(4, 4), At(0, 0));
    EXPECT_EQ(Pixel(15, 11), At(3, 5));
    EXPECT_EQ(Pixel(3, 3), 0u);
}

TEST_F(GdiTest, SetDIBitsToDevicePlacesTheWholeImage) {
    Dib32 dib(8, 6, true);
    ASSERT_EQ(SetDIBitsToDevice(dc_, 0, 0, 8, 6, 0, 0, 0, 6, dib.pixels.data(), dib.Info(),
                                DIB_RGB_COLORS),
              6);
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 16; ++x) {
            bool inside = x < 8 && y < 6;
            ASSERT_EQ(Pixel(x, y), inside ? At(y, x) : 0x777777u) << x << ", " << y;
        }
    }
    // A part, with the source's lower-left corner counted from the bottom.
    Dib32 bottomUp(8, 6, false);
    Paint(0);
    ASSERT_EQ(SetDIBitsToDevice(dc_, 10, 1, 3, 2, 4, 3, 0, 6, bottomUp.pixels.data(),
                                bottomUp.Info(), DIB_RGB_COLORS),
              6);
    EXPECT_EQ(Pixel(10, 1), At(1, 4));
    EXPECT_EQ(Pixel(12, 2), At(2, 6));
    EXPECT_EQ(Pixel(13, 2), 0u);
}

TEST_F(GdiTest, SixteenBitDibsWidenByBitReplication) {
    dibtest::DibHeader dib(2, -1, 16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F});
    const uint16_t pixels[2] = {static_cast<uint16_t>(1 << 11 | 33 << 5 | 31), 0xFFFF};
    ASSERT_EQ(
        StretchDIBits(dc_, 0, 0, 2, 1, 0, 0, 2, 1, pixels, dib.Info(), DIB_RGB_COLORS, SRCCOPY), 1);
    EXPECT_EQ(Pixel(0, 0), 0x0886FFu);
    EXPECT_EQ(Pixel(1, 0), 0xFFFFFFu);

    // Plain 16-bit pixels are 5-5-5.
    dib.Header().biCompression = BI_RGB;
    const uint16_t rgb555[2] = {static_cast<uint16_t>(16 << 10 | 1 << 5 | 3), 0};
    ASSERT_EQ(SetDIBitsToDevice(dc_, 4, 0, 2, 1, 0, 0, 0, 1, rgb555, dib.Info(), DIB_RGB_COLORS),
              1);
    EXPECT_EQ(Pixel(4, 0), 0x840818u);

    // What the layer cannot draw is refused.
    dib.Header().biBitCount = 2;
    EXPECT_EQ(
        StretchDIBits(dc_, 0, 0, 2, 1, 0, 0, 2, 1, pixels, dib.Info(), DIB_RGB_COLORS, SRCCOPY), 0);
    EXPECT_EQ(
        StretchDIBits(nullptr, 0, 0, 2, 1, 0, 0, 2, 1, pixels, dib.Info(), DIB_RGB_COLORS, SRCCOPY),
        0);
}

TEST_F(GdiTest, BitFieldMasksThatAreNotOneRunOfBitsAreRefused) {
    struct Case {
        int bits;
        std::vector<uint32_t> masks;
    };
    const Case cases[] = {
        {16, {0xF800, 0x07E0, 0x801F}},
        {16, {0x7C00, 0x03E0, 0x0015}},
        {32, {0x80FF0000, 0x0000FF00, 0x000000FF}},
        {32, {0x00FF0000, 0x0000F0F0, 0x000000FF}},
    };
    const uint32_t pixels[2] = {0xFFFFFFFFu, 0xFFFFFFFFu};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits, masks " << std::hex << c.masks[0]
                                        << " " << c.masks[1] << " " << c.masks[2]);
        dibtest::DibHeader dib(2, -1, c.bits, BI_BITFIELDS, c.masks);
        Paint(0x777777);
        EXPECT_EQ(
            StretchDIBits(dc_, 0, 0, 2, 1, 0, 0, 2, 1, pixels, dib.Info(), DIB_RGB_COLORS, SRCCOPY),
            0);
        EXPECT_EQ(
            SetDIBitsToDevice(dc_, 0, 0, 2, 1, 0, 0, 0, 1, pixels, dib.Info(), DIB_RGB_COLORS), 0);
        EXPECT_EQ(Pixel(0, 0), 0x777777u);
    }
}

TEST_F(GdiTest, PaintContextsDrawIntoTheSameFramebuffer) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    ASSERT_NE(dc, nullptr);
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    RECT rect = {0, 0, 2, 2};
    EXPECT_NE(FillRect(dc, &rect, brush), 0);
    EndPaint(window_, &paint);
    DeleteObject(brush);
    EXPECT_EQ(Pixel(1, 1), 0x010203u);
    // A context without a window has no framebuffer here.
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(FillRect(screen, &rect, GetStockObject(BLACK_BRUSH)), 0);
    ReleaseDC(nullptr, screen);
}

TEST_F(GdiTest, FillRectPaintsWithTheBrush) {
    HBRUSH brush = CreateSolidBrush(RGB(0x10, 0x20, 0x30));
    RECT rect = {2, 3, 5, 4};
    ASSERT_NE(FillRect(dc_, &rect, brush), 0);
    EXPECT_EQ(Pixel(2, 3), 0x102030u);
    EXPECT_EQ(Pixel(4, 3), 0x102030u);
    EXPECT_EQ(Pixel(5, 3), 0x777777u);
    EXPECT_EQ(Pixel(2, 4), 0x777777u);
    RECT beyond = {14, 10, 40, 40};
    ASSERT_NE(FillRect(dc_, &beyond, GetStockObject(BLACK_BRUSH)), 0);
    EXPECT_EQ(Pixel(15, 11), 0u);
    RECT all = {0, 0, 16, 12};
    ASSERT_NE(FillRect(dc_, &all, GetStockObject(NULL_BRUSH)), 0);
    EXPECT_EQ(Pixel(2, 3), 0x102030u);
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_EQ(FillRect(dc_, &all, brush), 0);
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH)));
    EXPECT_NE(FillRect(dc_, &rect, GetStockObject(WHITE_BRUSH)), 0);
    EXPECT_EQ(Pixel(2, 3), 0xFFFFFFu);
}

// Every pixel of the window and of a 24-bit memory section, as 0x00RRGGBB.
std::vector<uint32_t> Snapshot(HWND window, const uint8_t* section, int width, int height) {
    std::vector<uint32_t> pixels;
    platform::WindowFramebuffer fb;
    EXPECT_TRUE(platform::LockWindowFramebuffer(window, &fb));
    for (int y = 0; y < fb.height; ++y) {
        for (int x = 0; x < fb.width; ++x) {
            pixels.push_back(fb.pixels[y * fb.pitch / 4 + x]);
        }
    }
    platform::UnlockWindowFramebuffer(window, false);
    const int stride = (width * 3 + 3) & ~3;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = section + y * stride + x * 3;
            pixels.push_back(uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
        }
    }
    return pixels;
}

// Blits whose widths agree write each row as one run, and standard 32-bit
// rows are read four pixels at a time: the same pixels as reading each through
// its masks and writing it through the column table, for sources and destinations cut at every
// edge, bands of scan lines, rows repeated or dropped by a height stretch,
// and 32-, 24- and 16-bit sources, into the window and a memory section.
TEST_F(GdiTest, UnstretchedRowsWrittenAsRunsMatchThePixelByPixelWrite) {
    HDC memory = CreateCompatibleDC(nullptr);
    ASSERT_NE(memory, nullptr);
    dibtest::DibHeader sectionInfo(13, -9, 24, BI_RGB);
    void* sectionBits = nullptr;
    HBITMAP section =
        CreateDIBSection(memory, sectionInfo.Info(), DIB_RGB_COLORS, &sectionBits, nullptr, 0);
    ASSERT_NE(section, nullptr);
    HGDIOBJ old = SelectObject(memory, section);
    std::mt19937 random(61);
    auto between = [&](int lo, int hi) { return lo + static_cast<int>(random() % (hi - lo + 1)); };
    for (int round = 0; round < 400; ++round) {
        const int width = between(1, 20), height = between(1, 14);
        const int bitCount = round % 3 == 0 ? 16 : (round % 3 == 1 ? 24 : 32);
        const bool topDown = between(0, 1) == 1;
        dibtest::DibHeader header(width, topDown ? -height : height, bitCount,
                                  bitCount == 24 ? BI_RGB : BI_BITFIELDS,
                                  bitCount == 16 ? std::vector<uint32_t>{0xF800, 0x07E0, 0x001F}
                                                 : std::vector<uint32_t>{0xFF0000, 0xFF00, 0xFF});
        std::vector<uint8_t> bits(static_cast<size_t>((width * bitCount + 31) / 32 * 4 * height));
        for (uint8_t& b : bits) {
            b = static_cast<uint8_t>(random());
        }
        const int xDest = between(-8, 18), yDest = between(-6, 14), runWidth = between(1, 24);
        const int xSrc = between(-6, width + 4), ySrc = between(-4, height + 3);
        const int destHeight = between(1, 16);
        const int srcHeight = between(0, 2) == 0 ? between(1, 16) : destHeight;
        const int startScan = between(0, height), scanLines = between(1, height + 2);
        const bool setBits = between(0, 1) == 1;
        SCOPED_TRACE(testing::Message() << "round " << round);
        std::vector<uint32_t> drawn[2];
        for (int runs = 0; runs < 2; ++runs) {
            platform::g_dibRunCopies = runs;
            Paint(0x777777);
            std::memset(sectionBits, 0x55, static_cast<size_t>((13 * 3 + 3) / 4 * 4 * 9));
            for (HDC dc : {dc_, memory}) {
                if (setBits) {
                    SetDIBitsToDevice(dc, xDest, yDest, static_cast<DWORD>(runWidth),
                                      static_cast<DWORD>(destHeight), xSrc, ySrc,
                                      static_cast<UINT>(startScan), static_cast<UINT>(scanLines),
                                      bits.data(), header.Info(), DIB_RGB_COLORS);
                } else {
                    StretchDIBits(dc, xDest, yDest, runWidth, destHeight, xSrc, ySrc, runWidth,
                                  srcHeight, bits.data(), header.Info(), DIB_RGB_COLORS, SRCCOPY);
                }
            }
            drawn[runs] = Snapshot(window_, static_cast<const uint8_t*>(sectionBits), 13, 9);
        }
        platform::g_dibRunCopies = 1;
        ASSERT_EQ(drawn[1], drawn[0]);
    }
    SelectObject(memory, old);
    EXPECT_TRUE(DeleteObject(section));
    EXPECT_TRUE(DeleteDC(memory));
}

}  // namespace
