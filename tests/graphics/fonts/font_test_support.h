// A library started for font tests on either path with a 32-bit screen, so
// that drawn colours read back exactly; pixel read-back of the frame and the
// glyph bitmaps GDI gives for a font, as an oracle independent of the cache.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graphics/batch/vertex_batch.h"
#include "graphics/draw/draw_calls.h"
#include "graphics/fonts/fonts_internal.h"
#include "graphics/fonts/string_drawing_internal.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/targets/draw_targets.h"
#include "platform/gdi.h"
#include "tests/graphics/images/image_test_support.h"

namespace tessel_test {

class FontTest : public ImageTest {
  protected:
    void StartOn(bool hardware) {
        tessel::SetScreenMode(640, 480, 32, 60);
        Start(hardware);
        tessel::SetClipRegion(0, 0, 640, 480);
    }
    void TearDown() override {
        tessel::SetImageBlendMode(0, 255);
        tessel::SetImageBrightness(255, 255, 255);
        ImageTest::TearDown();
    }

    static uint32_t White() { return tessel::ColorToScreenPixel(255, 255, 255); }
    static uint32_t Red() { return tessel::ColorToScreenPixel(255, 0, 0); }

    static void ClearScreen() {
        tessel::FillBoxArea(0, 0, 640, 480, tessel::ColorToScreenPixel(0, 0, 0));
    }
    // The frame's pixel as 0xRRGGBB.
    static uint32_t Screen(int x, int y) {
        if (tessel::g_graphics.hardwareInUse != 0) {
            tessel::FlushVertexBatch();
            return platform::ReadD3D9BackBufferPixel(tessel::g_graphics.device, x, y) & 0xFFFFFFu;
        }
        const tessel::MEMIMG* screen = tessel::CurrentSoftTarget();
        uint32_t v;
        std::memcpy(&v, screen->pixels + y * screen->base->pitch + x * 4, 4);
        return v & 0xFFFFFFu;
    }

    // A glyph as GDI renders it for the font: level 0-16 per pixel.
    struct Glyph {
        GLYPHMETRICS metrics = {};
        int ascent = 0;
        std::vector<int> levels;
        int At(int x, int y) const {
            return levels[static_cast<size_t>(y) * metrics.gmBlackBoxX + x];
        }
    };
    static Glyph GdiGlyph(int handle, UINT code, bool gray) {
        Glyph glyph;
        const tessel::FontRecord* font = tessel::GetFontRecord(handle);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ previous = SelectObject(dc, font->gdiFont);
        TEXTMETRICA tm = {};
        GetTextMetricsA(dc, &tm);
        glyph.ascent = tm.tmAscent;
        const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
        const UINT format = gray ? GGO_GRAY4_BITMAP : GGO_BITMAP;
        const DWORD size =
            GetGlyphOutlineA(dc, code, format, &glyph.metrics, 0, nullptr, &identity);
        std::vector<uint8_t> bits(size + 4);
        GetGlyphOutlineA(dc, code, format, &glyph.metrics, size, bits.data(), &identity);
        const int w = static_cast<int>(glyph.metrics.gmBlackBoxX);
        const int h = static_cast<int>(glyph.metrics.gmBlackBoxY);
        const int pitch = ((gray ? w * 8 : w) + 31) / 32 * 4;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const uint8_t* row = bits.data() + y * pitch;
                glyph.levels.push_back(gray ? row[x] : ((row[x / 8] >> (7 - x % 8)) & 1) * 16);
            }
        }
        SelectObject(dc, previous);
        DeleteDC(dc);
        return glyph;
    }
};

class BothPathsFontTest : public FontTest, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        FontTest::SetUp();
        StartOn(GetParam());
    }
};

}  // namespace tessel_test
