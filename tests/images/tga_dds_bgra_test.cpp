// The TGA, DDS and BGRA loaders over files made here.
#include <gtest/gtest.h>

#include "images/image_loader.h"
#include "images/image_test_support.h"

namespace tessel_test {
namespace {

constexpr int kW = 3;
constexpr int kH = 2;

// A true-colour pixel of the picture as stored with `bytes` bytes.
void StorePixel(Bytes* out, uint32_t argb, int bytes) {
    uint32_t r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    if (bytes == 2) {
        PutLe16(out, (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3) | 0x8000);
        return;
    }
    out->push_back(static_cast<uint8_t>(b));
    out->push_back(static_cast<uint8_t>(g));
    out->push_back(static_cast<uint8_t>(r));
    if (bytes == 4) {
        out->push_back(static_cast<uint8_t>(argb >> 24));
    }
}

uint32_t PictureArgb(int x, int y) {
    return TestColour(x, y) | uint32_t(0x40 + x * 16 + y * 64) << 24;
}

// What the loader gives back for a pixel stored with `bytes` bytes (read
// through the image's format: no alpha channel reads as 0).
uint32_t Expected(int x, int y, int bytes) {
    uint32_t c = PictureArgb(x, y);
    if (bytes == 2) {
        auto five = [](uint32_t v) { return ((v >> 3) * 255) / 31; };
        return five((c >> 16) & 0xFF) << 16 | five((c >> 8) & 0xFF) << 8 | five(c & 0xFF);
    }
    return bytes == 3 ? (c & 0xFFFFFF) : c;
}

// Pixels in the file's order for an origin corner.
Bytes StoredPicture(int bytes, bool bottomUp, bool rightToLeft) {
    Bytes out;
    for (int row = 0; row < kH; ++row) {
        int y = bottomUp ? kH - 1 - row : row;
        for (int column = 0; column < kW; ++column) {
            int x = rightToLeft ? kW - 1 - column : column;
            StorePixel(&out, PictureArgb(x, y), bytes);
        }
    }
    return out;
}

// Run-length packets: a repeat packet for the first pixel if it repeats,
// else raw packets of at most two pixels, to mix both kinds.
Bytes RunLength(const Bytes& values, int valueBytes) {
    Bytes out;
    size_t count = values.size() / valueBytes;
    size_t i = 0;
    while (i < count) {
        size_t run = std::min<size_t>(2, count - i);
        out.push_back(static_cast<uint8_t>(run - 1));
        out.insert(out.end(), values.begin() + i * valueBytes,
                   values.begin() + (i + run) * valueBytes);
        i += run;
        if (i < count) {  // one repeat packet of a single pixel
            out.push_back(0x80);
            out.insert(out.end(), values.begin() + i * valueBytes,
                       values.begin() + (i + 1) * valueBytes);
            ++i;
        }
    }
    return out;
}

void ExpectPicture(Decoded& d, int bytes) {
    ASSERT_EQ(d.result, 0);
    ASSERT_EQ(d.image.width, kW);
    ASSERT_EQ(d.image.height, kH);
    EXPECT_EQ(d.image.pitch, kW * bytes);
    EXPECT_EQ(d.image.format.bits, bytes * 8);
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            EXPECT_EQ(d.At(x, y), Expected(x, y, bytes)) << x << "," << y;
        }
    }
}

TEST(TgaReader, TrueColourImagesOfEveryDepthOriginAndPacking) {
    for (int bytes : {2, 3, 4}) {
        for (int corner = 0; corner < 4; ++corner) {
            for (bool runLength : {false, true}) {
                bool bottomUp = (corner & 1) == 0;
                bool rightToLeft = (corner & 2) != 0;
                SCOPED_TRACE(testing::Message() << bytes << " bytes, corner " << corner
                                                << (runLength ? ", run-length" : ""));
                TgaRecipe recipe;
                recipe.type = runLength ? 10 : 2;
                recipe.width = kW;
                recipe.height = kH;
                recipe.pixelBits = bytes * 8;
                recipe.descriptor = (bottomUp ? 0 : 0x20) | (rightToLeft ? 0x10 : 0);
                recipe.id = {'i', 'd'};
                Bytes stored = StoredPicture(bytes, bottomUp, rightToLeft);
                recipe.data = runLength ? RunLength(stored, bytes) : stored;
                recipe.footer = runLength;
                Decoded d;
                Decode(MakeTga(recipe), &d, tessel::ReadTgaImage);
                ExpectPicture(d, bytes);
                if (bytes == 2) {
                    EXPECT_EQ(d.image.format.alphaWidth, 0);
                    EXPECT_EQ(d.image.format.unusedMask, 0x8000u);
                }
            }
        }
    }
}

TEST(TgaReader, ColourMappedImagesTakeTheirEntries) {
    for (bool runLength : {false, true}) {
        TgaRecipe recipe;
        recipe.type = runLength ? 9 : 1;
        recipe.width = kW;
        recipe.height = kH;
        recipe.pixelBits = 8;
        recipe.mapFirst = 10;  // entries 10..15 hold the six colours
        recipe.mapLength = 6;
        recipe.mapBits = 32;
        for (int i = 0; i < kW * kH; ++i) {
            StorePixel(&recipe.map, PictureArgb(i % kW, i / kW), 4);
        }
        Bytes indices;
        for (int y = 0; y < kH; ++y) {  // bottom-up rows
            for (int x = 0; x < kW; ++x) {
                indices.push_back(static_cast<uint8_t>(10 + (kH - 1 - y) * kW + x));
            }
        }
        recipe.descriptor = 0;
        recipe.data = runLength ? RunLength(indices, 1) : indices;
        Decoded d;
        Decode(MakeTga(recipe), &d, tessel::ReadTgaImage);
        ExpectPicture(d, 4);
    }
}

TEST(TgaReader, RefusesBadHeadersMapsAndShortData) {
    TgaRecipe good;
    good.type = 10;
    good.width = kW;
    good.height = kH;
    good.pixelBits = 24;
    good.data = RunLength(StoredPicture(3, false, false), 3);
    {
        Decoded d;
        Decode(MakeTga(good), &d, tessel::ReadTgaImage);
        ASSERT_EQ(d.result, 0);
    }
    std::vector<TgaRecipe> bad(7, good);
    bad[0].yOrigin = 5;
    bad[1].type = 3;
    bad[2].pixelBits = 15;
    bad[3].width = 8193;
    bad[4].data.pop_back();  // run-length data that ends early
    bad[5].type = 9;         // a map reaching past entry 255
    bad[5].mapFirst = 200;
    bad[5].mapLength = 57;
    bad[5].mapBits = 24;
    bad[5].map.assign(57 * 3, 0);
    bad[6].type = 2;  // plain data cut short
    bad[6].data = StoredPicture(3, false, false);
    bad[6].data.pop_back();
    for (size_t i = 0; i < bad.size(); ++i) {
        Decoded d;
        Decode(MakeTga(bad[i]), &d, tessel::ReadTgaImage);
        EXPECT_NE(d.result, 0) << i;
        EXPECT_EQ(d.image.pixels, nullptr) << i;
    }
}

TEST(TgaReader, APacketPastTheLastPixelIsCut) {
    TgaRecipe recipe;
    recipe.type = 10;
    recipe.width = 2;
    recipe.height = 1;
    recipe.pixelBits = 24;
    recipe.data = {0xFF, 1, 2, 3};  // 128 repeats of one pixel
    Decoded d;
    Decode(MakeTga(recipe), &d, tessel::ReadTgaImage);
    ASSERT_EQ(d.result, 0);
    EXPECT_EQ(d.Rgb(1, 0), 0x030201u);
}

TEST(TgaReader, TopLeftAndBottomLeftOriginsGiveTheSamePixels) {
    TgaRecipe top;
    top.width = kW;
    top.height = kH;
    top.pixelBits = 32;
    top.descriptor = 0x28;
    top.data = StoredPicture(4, false, false);
    TgaRecipe bottom = top;
    bottom.descriptor = 0x08;
    bottom.data = StoredPicture(4, true, false);
    Decoded a, b;
    Decode(MakeTga(top), &a, tessel::ReadTgaImage);
    Decode(MakeTga(bottom), &b, tessel::ReadTgaImage);
    ASSERT_EQ(a.result, 0);
    ASSERT_EQ(b.result, 0);
    EXPECT_EQ(std::memcmp(a.image.pixels, b.image.pixels, kW * kH * 4), 0);
}

// ------------------------------------------------------------------ DDS
Bytes Sequence(size_t n) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) {
        out[i] = static_cast<uint8_t>(i * 7 + 1);
    }
    return out;
}

TEST(DdsReader, CompressedMipLevelsAreSizedFromTheirOwnSides) {
    struct Case {
        uint32_t width, height, mips;
        const char* fourCc;
        uint32_t bytes;
    };
    const Case cases[] = {
        {256, 256, 9, "DXT1", 32768 + 8192 + 2048 + 512 + 128 + 32 + 8 + 8 + 8},
        {2, 2, 2, "DXT1", 8 + 8},  // smaller than a block
        {8, 4, 4, "DXT5", 32 + 16 + 16 + 16},
        {16, 4, 3, "DXT1", 32 + 16 + 8},  // each level's own width and height
        {6, 6, 0, "DXT3", 4 * 16},        // no mip flags: one level
    };
    for (const Case& c : cases) {
        DdsRecipe recipe;
        recipe.width = c.width;
        recipe.height = c.height;
        recipe.mipCount = c.mips;
        if (c.mips > 0) {
            recipe.flags |= 0x20000;
            recipe.caps |= 0x400008;
        }
        recipe.pixelFlags = 4;
        recipe.fourCc = FourCcOf(c.fourCc);
        recipe.data = Sequence(c.bytes);
        Bytes file = MakeDds(recipe);
        Decoded d;
        Decode(file, &d, tessel::ReadDdsImage);
        ASSERT_EQ(d.result, 0) << c.fourCc << " " << c.width;
        EXPECT_EQ(d.image.width, int(c.width));
        EXPECT_EQ(d.image.pitch, 0);
        EXPECT_EQ(d.image.mipCount, int(c.mips));
        EXPECT_EQ(d.image.format.compressedKind, uint32_t(c.fourCc[3] - '0'));
        EXPECT_EQ(d.image.format.bits, c.fourCc[3] == '1' ? 4 : 8);
        EXPECT_EQ(std::memcmp(d.image.pixels, recipe.data.data(), c.bytes), 0);
        // One byte less and the file is refused.
        file.pop_back();
        Decoded cut;
        Decode(file, &cut, tessel::ReadDdsImage);
        EXPECT_NE(cut.result, 0);
    }
}

TEST(DdsReader, PlainPixelsThroughMasksAndFormatCodes) {
    DdsRecipe argb;
    argb.width = 2;
    argb.height = 2;
    argb.pixelFlags = 0x41;
    argb.rgbBits = 32;
    argb.masks[0] = 0xFF0000;
    argb.masks[1] = 0xFF00;
    argb.masks[2] = 0xFF;
    argb.masks[3] = 0xFF000000;
    argb.data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    Decoded a;
    Decode(MakeDds(argb), &a, tessel::ReadDdsImage);
    ASSERT_EQ(a.result, 0);
    EXPECT_EQ(a.image.pitch, 8);
    EXPECT_EQ(a.At(1, 1), 0x100F0E0Du);

    // Colour without the alpha flag: taken through its masks, no alpha.
    DdsRecipe xrgb = argb;
    xrgb.pixelFlags = 0x40;
    Decoded x;
    Decode(MakeDds(xrgb), &x, tessel::ReadDdsImage);
    ASSERT_EQ(x.result, 0);
    EXPECT_EQ(x.image.format.alphaWidth, 0);
    EXPECT_EQ(x.At(1, 1), 0x000F0E0Du);

    // A format code in the FourCC field: 23 is 5-6-5; the header's pitch
    // (flag 0x8) gives padded rows, further levels are tight.
    DdsRecipe code;
    code.width = 2;
    code.height = 2;
    code.flags |= 0x8 | 0x20000;
    code.caps |= 0x400008;
    code.mipCount = 2;
    code.pitch = 6;
    code.pixelFlags = 4;
    code.fourCc = 23;
    code.data = {0x00, 0xF8, 0xE0, 0x07, 0, 0, 0x1F, 0x00, 0xFF, 0xFF, 0, 0, 0x34, 0x12};
    Decoded c;
    Decode(MakeDds(code), &c, tessel::ReadDdsImage);
    ASSERT_EQ(c.result, 0);
    EXPECT_EQ(c.image.pitch, 6);
    EXPECT_EQ(c.image.format.greenMask, 0x7E0u);
    EXPECT_EQ(c.Rgb(0, 0), 0xFF0000u);
    EXPECT_EQ(c.Rgb(1, 0), 0x00FF00u);
    EXPECT_EQ(c.Rgb(0, 1), 0x0000FFu);
    EXPECT_EQ(c.image.pixels[13], 0x12);  // the 1 x 1 level, read whole
}

TEST(DdsReader, RefusesOtherMagicsFourCcsAndDepths) {
    DdsRecipe recipe;
    recipe.width = 4;
    recipe.height = 4;
    recipe.pixelFlags = 4;
    recipe.fourCc = FourCcOf("ATI2");
    recipe.data = Sequence(16);
    Bytes unknown = MakeDds(recipe);
    recipe.fourCc = FourCcOf("DXT1");
    Bytes magic = MakeDds(recipe);
    magic[2] = 'X';
    Bytes empty = MakeDds(recipe);
    empty[12] = empty[13] = 0;  // height 0
    recipe.pixelFlags = 0x40;
    recipe.rgbBits = 12;
    Bytes depth = MakeDds(recipe);
    for (const Bytes* file : {&unknown, &magic, &empty, &depth}) {
        Decoded d;
        Decode(*file, &d, tessel::ReadDdsImage);
        EXPECT_NE(d.result, 0);
        EXPECT_EQ(d.image.pixels, nullptr);
    }
}

// ------------------------------------------------------------------ BGRA
Bytes MakeBgra(uint32_t layout, uint32_t width, uint32_t height, const Bytes& data) {
    Bytes out = {'B', 'G', 'R', 'A'};
    PutLe32(&out, layout);
    PutLe32(&out, width);
    PutLe32(&out, height);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

TEST(BgraReader, EightAndSixteenBitChannels) {
    Bytes eight = {1, 2, 3, 4, 5, 6, 7, 8};
    Decoded a;
    Decode(MakeBgra(0x08080808, 2, 1, eight), &a, tessel::ReadBgraImage);
    ASSERT_EQ(a.result, 0);
    EXPECT_EQ(a.image.pitch, 8);
    EXPECT_EQ(a.At(1, 0), 0x08070605u);
    EXPECT_EQ(a.image.format.unusedMask, 0u);

    Bytes sixteen;
    for (int i = 0; i < 8; ++i) {
        PutLe16(&sixteen, uint32_t(0x11 * (i + 1)) << 8 | 0x77);
    }
    Decoded b;
    Decode(MakeBgra(0x10101010, 1, 2, sixteen), &b, tessel::ReadBgraImage);
    ASSERT_EQ(b.result, 0);
    EXPECT_EQ(b.At(0, 0), 0x44332211u);
    EXPECT_EQ(b.At(0, 1), 0x88776655u);

    for (const Bytes& bad : {MakeBgra(0x08080800, 2, 1, eight), MakeBgra(0x08080808, 3, 1, eight),
                             MakeBgra(0x10101010, 1, 2, eight)}) {
        Decoded d;
        Decode(bad, &d, tessel::ReadBgraImage);
        EXPECT_NE(d.result, 0);
    }
}

}  // namespace
}  // namespace tessel_test
