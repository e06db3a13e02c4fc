// Source images of every kind for the blit tests.
#include "softrender/blit_kit.h"

#include <gtest/gtest.h>

#include <cstring>

#include "graphics/memimg/blend_tables.h"

namespace tessel::kit {

SourceImage::SourceImage(Source kind, int width, int height, uint32_t transparent)
    : kind_(kind),
      image_(ColourTypeOf(kind), width, height, HasAlpha(kind) ? 1 : 0, IsPaletted(kind) ? 1 : 0,
             transparent) {}

void SourceImage::Set(int x, int y, uint32_t colour, uint32_t alpha) {
    switch (kind_) {
        case Source::k32:
            image_.Set(x, y, colour);
            return;
        case Source::k32Alpha:
            image_.Set(x, y, (colour & 0xFFFFFF) | (alpha << 24));
            return;
        case Source::k565:
            image_.Set(x, y, colour & 0xFFFF);
            return;
        case Source::k565Alpha:
            image_.Set(x, y, (colour & 0xFFFF) | (alpha << 16) | 0xA5000000u);
            return;
        case Source::kPal32:
        case Source::kPal565:
            SetIndex(x, y, static_cast<uint32_t>(x + 1));
            SetEntry(static_cast<uint32_t>(x + 1), colour);
            return;
    }
}

void SourceImage::SetIndex(int x, int y, uint32_t index) {
    image_.Set(x, y, index);
}

void SourceImage::SetEntry(uint32_t index, uint32_t colour) {
    uint8_t* palette = image_.base()->palette;
    if (kind_ == Source::kPal32) {
        std::memcpy(palette + 4 * index, &colour, 4);
    } else {
        const uint16_t v = static_cast<uint16_t>(colour);
        std::memcpy(palette + 2 * index, &v, 2);
    }
}

TightSource::TightSource(Source kind, int width, int height, uint8_t fill) {
    const int bytes = MemImgBytesPerPixel(ColourTypeOf(kind), HasAlpha(kind), IsPaletted(kind));
    made_ = MemImgCreate(&image_, width, height, width * bytes, 0, int(ColourTypeOf(kind)),
                         IsPaletted(kind), HasAlpha(kind), 0, nullptr) == 0 &&
            MemImgCreate(&mask_, width, height, width, 0, kMemImgGray8, 0, 0, 0, nullptr) == 0;
    if (made_) {
        std::memset(image_.pixels, fill, size_t(width) * bytes * height);
        std::memset(mask_.pixels, 0x80, size_t(width) * height);
    }
}

TightSource::~TightSource() {
    MemImgRelease(&image_);
    MemImgRelease(&mask_);
}

void IdentityFade() {
    MemImgBuildFadeTable(128, 255);
}

namespace {

std::vector<uint32_t> DrawExample(const ExampleRow& r, const ExampleDraw& draw) {
    const int width = static_cast<int>(r.d.size());
    SourceImage source(r.kind, width, 1, r.key);
    for (int x = 0; x < width; ++x) {
        source.Set(x, 0, r.s[x], r.a.empty() ? 255 : r.a[x]);
    }
    GuardedImage dest(ColourTypeOf(r.kind), width, 1);
    dest.SetPixels(r.d);
    GuardedImage mask(kMemImgGray8, width, 1);
    for (int x = 0; x < width; ++x) {
        mask.Set(x, 0, r.maskByte < 0 ? 0 : static_cast<uint32_t>(r.maskByte));
    }
    IdentityFade();
    SoftDrawState state = DefaultSoftDrawState(RECT{0, 0, width, 1});
    state.blendMode = r.mode;
    state.blendParam = r.p;
    state.brightness = r.brightness;
    draw(state, dest.image(), source.image(), r.trans, r.maskByte < 0 ? nullptr : mask.image());
    EXPECT_TRUE(dest.GuardsIntact());
    return dest.Pixels();
}

}  // namespace

void CheckExamples(const std::vector<ExampleRow>& rows, const ExampleDraw& draw) {
    for (const ExampleRow& r : rows) {
        SCOPED_TRACE(r.what);
        const std::vector<uint32_t> got = DrawExample(r, draw);
        ASSERT_EQ(got.size(), r.want.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i], r.want[i])
                << "pixel " << i << std::hex << " got " << got[i] << " want " << r.want[i];
        }
    }
}

}  // namespace tessel::kit
