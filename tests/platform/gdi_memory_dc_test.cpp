// Memory device contexts, DIB sections, and DIB blits of every source layout
// converted into a 24-bit section.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "dib_test_support.h"
#include "platform/gdi.h"

namespace {

// A source DIB: header, then a colour table or three masks, then its rows.
struct SourceDib {
    dibtest::DibHeader header;
    std::vector<uint8_t> bits;
    const BITMAPINFO* Info() const { return header.Info(); }
};

SourceDib MakeSource(int width, int height, int bitCount, DWORD compression,
                     const std::vector<uint32_t>& table, int clrUsed = 0) {
    SourceDib dib{dibtest::DibHeader(width, height, bitCount, compression, table, clrUsed), {}};
    int rows = height < 0 ? -height : height;
    dib.bits.assign(static_cast<size_t>((width * bitCount + 31) / 32 * 4 * rows), 0);
    return dib;
}

// A memory context with a top-down 24-bit section of width x height.
class MemoryDcTest : public ::testing::Test {
  protected:
    void Make(int width, int height) {
        dc_ = CreateCompatibleDC(nullptr);
        ASSERT_NE(dc_, nullptr);
        dibtest::DibHeader info(width, -height, 24, BI_RGB);
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(dc_, info.Info(), DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(bitmap_, nullptr);
        pixels_ = static_cast<uint8_t*>(bits);
        stride_ = (width * 3 + 3) & ~3;
        old_ = SelectObject(dc_, bitmap_);
        ASSERT_NE(old_, nullptr);
    }
    void TearDown() override {
        if (dc_ != nullptr) {
            SelectObject(dc_, old_);
            EXPECT_TRUE(DeleteObject(bitmap_));
            EXPECT_TRUE(DeleteDC(dc_));
        }
    }
    // 0x00RRGGBB of a section pixel, rows from the top.
    uint32_t At(int x, int y) const {
        const uint8_t* p = pixels_ + y * stride_ + x * 3;
        return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
    }
    int Blit(const SourceDib& dib, int width, int height) {
        return SetDIBitsToDevice(dc_, 0, 0, width, height, 0, 0, 0, height, dib.bits.data(),
                                 dib.Info(), DIB_RGB_COLORS);
    }

    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    uint8_t* pixels_ = nullptr;
    int stride_ = 0;
};

TEST_F(MemoryDcTest, PaletteDibsOfOneFourAndEightBitsPickTheirTableEntries) {
    Make(9, 2);
    const std::vector<uint32_t> table = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x123456};
    // Bottom-up: the first row in memory is the image's bottom row.
    SourceDib one = MakeSource(9, 2, 1, BI_RGB, {0x000000, 0xABCDEF});
    one.bits[0] = 0x80;  // bottom row: pixel 0 set
    one.bits[4] = 0x01;  // top row: pixel 7 set
    one.bits[5] = 0x80;  // top row: pixel 8 set
    EXPECT_EQ(Blit(one, 9, 2), 2);
    EXPECT_EQ(At(0, 1), 0xABCDEFu);
    EXPECT_EQ(At(1, 1), 0u);
    EXPECT_EQ(At(7, 0), 0xABCDEFu);
    EXPECT_EQ(At(8, 0), 0xABCDEFu);
    EXPECT_EQ(At(6, 0), 0u);

    SourceDib four = MakeSource(9, -2, 4, BI_RGB, table, 5);  // top-down
    four.bits[0] = 0x12;                                      // pixels 0, 1 of the top row
    four.bits[4] = 0x40;                                      // pixel 8 of the top row
    four.bits[8] = 0x3F;  // bottom row: index 3, then 15 (past the table: black)
    EXPECT_EQ(Blit(four, 9, 2), 2);
    EXPECT_EQ(At(0, 0), 0xFF0000u);
    EXPECT_EQ(At(1, 0), 0x00FF00u);
    EXPECT_EQ(At(8, 0), 0x123456u);
    EXPECT_EQ(At(0, 1), 0x0000FFu);
    EXPECT_EQ(At(1, 1), 0u);

    // biClrUsed limits the table: index 4 lies past a table of 4 entries.
    SourceDib eight = MakeSource(9, -2, 8, BI_RGB, table, 4);
    eight.bits[0] = 3;
    eight.bits[1] = 4;
    EXPECT_EQ(Blit(eight, 9, 2), 2);
    EXPECT_EQ(At(0, 0), 0x0000FFu);
    EXPECT_EQ(At(1, 0), 0u);
}

TEST_F(MemoryDcTest, SixteenBitDibsWidenFiveFiveFiveAndBitFieldChannels) {
    Make(2, 1);
    SourceDib rgb555 = MakeSource(2, 1, 16, BI_RGB, {});
    const uint16_t p555[2] = {0x7FFF, (0x10 << 10) | (0x01 << 5) | 0x1F};
    std::memcpy(rgb555.bits.data(), p555, 4);
    EXPECT_EQ(Blit(rgb555, 2, 1), 1);
    EXPECT_EQ(At(0, 0), 0xFFFFFFu);
    EXPECT_EQ(At(1, 0), 0x8408FFu);  // 10000 -> 10000100, 00001 -> 00001000

    SourceDib rgb565 = MakeSource(2, 1, 16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F});
    const uint16_t p565[2] = {0xF800, 0x07E0 | 0x0001};
    std::memcpy(rgb565.bits.data(), p565, 4);
    EXPECT_EQ(Blit(rgb565, 2, 1), 1);
    EXPECT_EQ(At(0, 0), 0xFF0000u);
    EXPECT_EQ(At(1, 0), 0x00FF08u);
}

TEST_F(MemoryDcTest, TwentyFourAndThirtyTwoBitDibsCopyTheirColours) {
    Make(2, 2);
    SourceDib rgb24 = MakeSource(2, 2, 24, BI_RGB, {});
    const uint8_t bottom[6] = {1, 2, 3, 4, 5, 6};
    const uint8_t top[6] = {7, 8, 9, 10, 11, 12};
    std::memcpy(rgb24.bits.data(), bottom, 6);
    std::memcpy(rgb24.bits.data() + 8, top, 6);
    EXPECT_EQ(Blit(rgb24, 2, 2), 2);
    EXPECT_EQ(At(0, 0), 0x090807u);
    EXPECT_EQ(At(1, 1), 0x060504u);

    SourceDib rgb32 = MakeSource(2, -2, 32, BI_RGB, {});
    const uint32_t px[4] = {0xFF112233, 0x00445566, 0x80778899, 0x00AABBCC};
    std::memcpy(rgb32.bits.data(), px, 16);
    EXPECT_EQ(Blit(rgb32, 2, 2), 2);
    EXPECT_EQ(At(0, 0), 0x112233u);
    EXPECT_EQ(At(1, 1), 0xAABBCCu);

    SourceDib fields = MakeSource(1, 1, 32, BI_BITFIELDS, {0x000000FF, 0x0000FF00, 0x00FF0000});
    const uint32_t abgr = 0x00332211;
    std::memcpy(fields.bits.data(), &abgr, 4);
    EXPECT_EQ(Blit(fields, 1, 1), 1);
    EXPECT_EQ(At(0, 0), 0x112233u);
}

TEST(MemoryDc, SelectionDeletionAndRefusals) {
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    dibtest::DibHeader info(4, 4, 8, BI_RGB);  // only 24 and 32 bits make sections
    void* bits = &info;
    EXPECT_EQ(CreateDIBSection(dc, info.Info(), DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(bits, nullptr);
    info.Header().biBitCount = 32;
    HBITMAP first = CreateDIBSection(dc, info.Info(), DIB_RGB_COLORS, &bits, nullptr, 0);
    HBITMAP second = CreateDIBSection(dc, info.Info(), DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);

    HGDIOBJ stock = SelectObject(dc, first);
    ASSERT_NE(stock, nullptr);
    EXPECT_FALSE(DeleteObject(first));  // selected: Windows keeps it
    HDC other = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(other, first), nullptr);  // one context at a time
    EXPECT_EQ(SelectObject(dc, second), first);
    EXPECT_TRUE(DeleteObject(first));
    EXPECT_EQ(SelectObject(dc, first), nullptr);  // deleted
    HBRUSH brush = CreateSolidBrush(0);
    EXPECT_EQ(SelectObject(dc, brush), nullptr);
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_EQ(SelectObject(dc, stock), second);
    EXPECT_FALSE(DeleteObject(stock));

    // Deleting the context lets go of what was selected.
    EXPECT_EQ(SelectObject(other, second), stock);
    EXPECT_TRUE(DeleteDC(other));
    EXPECT_TRUE(DeleteObject(second));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc));
}

}  // namespace
