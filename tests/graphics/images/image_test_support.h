// A library started on either drawing path for image tests, with pixel
// read-back of an image whichever store holds it, and small pictures made in
// memory.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "foundation/math/matrix.h"
#include "foundation/memory/memory.h"
#include "graphics/batch/vertex_batch.h"
#include "graphics/device/device_state.h"
#include "graphics/device/shader_pack.h"
#include "graphics/images/image_create.h"
#include "graphics/images/image_records.h"
#include "graphics/memimg/memimg.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "graphics/targets/draw_targets.h"
#include "graphics/textures/image_textures.h"
#include "images/base_image.h"
#include "platform/d3d9_testing.h"
#include "platform/types.h"
#include "softrender/draw_state.h"
#include "tests/graphics/device/graphics_test_support.h"

namespace tessel_test {

class ImageTest : public GraphicsTest {
  protected:
    // New images are 32-bit, so that colours compare exactly. Set after the
    // start, whose reset of the draw settings clears the option.
    void Start(bool hardware) {
        tessel::SetUseHardwareOption(hardware ? 1 : 0);
        ASSERT_EQ(tessel::StartLibrary(), 0);
        ASSERT_EQ(tessel::g_graphics.hardwareInUse, hardware ? 1 : 0);
        tessel::g_drawSettings.newImageColorDepth = 32;
    }
    void TearDown() override {
        GraphicsTest::TearDown();
        tessel::g_drawSettings.newImageColorDepth = 0;
        tessel::g_drawSettings.transparentColor = 0;
        tessel::g_drawSettings.transparentColorUseOff = 0;
        tessel::g_drawSettings.transparentColorKeying = 0;
        tessel::g_drawSettings.colorKeyTextureFormat = 1;
        tessel::g_drawSettings.drawableImageCreation = 0;
        tessel::g_drawSettings.drawableImageAlpha = 0;
        tessel::g_drawSettings.textureRequestFlag = 0;
        tessel::g_drawSettings.blendMaskImage = -1;
        tessel::SetNewTextureMipLevels(0, 0);
        tessel::SetPowerOfTwoTextures(1);
    }

    // The image's pixel as 0xAARRGGBB (alpha 0xFF for stores without alpha).
    static uint32_t Pixel(int handle, int x, int y) {
        const tessel::ImageRecord* image = tessel::GetImageRecord(handle);
        if (image == nullptr) {
            ADD_FAILURE() << "no image " << handle;
            return 0;
        }
        if (tessel::IsTextureSource(image->source)) {
            for (int i = 0; i < image->tileEntryCount; ++i) {
                const tessel::TileDrawEntry& e = image->tileEntries[i];
                if (x >= e.destX && x < e.destX + e.width && y >= e.destY &&
                    y < e.destY + e.height) {
                    return platform::ReadD3D9SurfacePixel(e.tile->surface, e.tileX + x - e.destX,
                                                          e.tileY + y - e.destY);
                }
            }
            ADD_FAILURE() << "no tile holds " << x << "," << y;
            return 0;
        }
        const tessel::MEMIMG& view = image->view;
        const tessel::MemImgBase* store = view.base;
        const uint8_t* p = view.pixels + y * store->pitch + x * store->format->bytes;
        const uint32_t value = tessel::LoadPixelValue(p, store->format->bytes);
        int r = 0, g = 0, b = 0, a = 0;
        tessel::DecodePixelColor(store->format, value, &r, &g, &b, &a);
        if (store->format->alphaWidth == 0) {
            a = 255;
        }
        return (uint32_t(a) << 24) | (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
    }

    // A 32-bit picture whose pixels come from colour(x, y) as 0xAARRGGBB.
    template <typename F>
    static tessel::BASEIMAGE MakeArgb(int width, int height, F colour, bool alpha = true) {
        tessel::BASEIMAGE image = {};
        if (alpha) {
            tessel::CreateArgbImageBuffer(width, height, &image);
        } else {
            tessel::CreateXrgbImageBuffer(width, height, &image);
        }
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const uint32_t c = colour(x, y);
                tessel::WriteImagePixel(&image, x, y, (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF,
                                        c >> 24);
            }
        }
        return image;
    }
};

// Runs a test body on both drawing paths.
class BothPathsImageTest : public ImageTest, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        ImageTest::SetUp();
        Start(GetParam());
    }
};

// On the software path the draws land in a memory image that stands in for
// the screen: a cleared 640 x 480 one of 32 bits, made the draw target here
// and released with DetachSoftScreen.
inline bool AttachSoftScreen(tessel::MEMIMG* target) {
    std::memset(target, 0, sizeof *target);
    if (tessel::MemImgCreateDefault(target, 640, 480, tessel::kMemImgRgb32) != 0) {
        return false;
    }
    tessel::MemImgFillRect(target, nullptr, 0);
    tessel::g_targets.currentSoftTarget = target;
    return true;
}

inline void DetachSoftScreen(tessel::MEMIMG* target) {
    tessel::g_targets.currentSoftTarget = nullptr;
    tessel::MemImgRelease(target);
}

// The drawn pixel as 0xRRGGBB: the device's back buffer's on the hardware
// path, once the batch is drawn, and TARGET's on the software path.
inline uint32_t ScreenPixel(bool hardware, const tessel::MEMIMG& target, int x, int y) {
    if (hardware) {
        tessel::FlushVertexBatch();
        return platform::ReadD3D9BackBufferPixel(tessel::g_graphics.device, x, y) & 0xFFFFFFu;
    }
    uint32_t v;
    std::memcpy(&v, target.pixels + y * target.base->pitch + x * 4, 4);
    return v & 0xFFFFFFu;
}

inline std::string PathName(const ::testing::TestParamInfo<bool>& info) {
    return info.param ? "Hardware" : "Software";
}

}  // namespace tessel_test
