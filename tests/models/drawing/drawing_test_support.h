// Helpers of the model drawing tests: one directional light the only one on, and a ramp image
// of 256 by 8 made from a rule giving each column's channels.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "graphics/camera/camera.h"
#include "graphics/images/image_create.h"

namespace tessel_test {

// A new directional light along the direction, every other light switched off; its record.
inline tessel::LightRecord* OnlyDirectionalLight(float x, float y, float z) {
    const int light = tessel::CreateDirectionalLight(x, y, z);
    EXPECT_NE(light, -1);
    for (int32_t i = 0; i < tessel::g_lights.end; ++i) {
        if (tessel::g_lights.slots[i] != nullptr) {
            tessel::g_lights.slots[i]->enabled = 0;
        }
    }
    tessel::LightRecord* record = tessel::GetLightRecord(light);
    EXPECT_NE(record, nullptr);
    if (record != nullptr) {
        record->enabled = 1;
    }
    return record;
}

// A ramp's channel c (0 red, 1 green, 2 blue) at column t.
using RampRule = int (*)(int t, int c);

// Columns that differ in all three channels.
inline int DistinctRamp(int t, int c) {
    return c == 0 ? t : (c == 1 ? 255 - t : t * 37 & 0xFF);
}

// The ramp as an uncompressed 24-bit TGA in memory, loaded; its image handle, or -1.
inline int MakeRamp(RampRule rule) {
    std::vector<uint8_t> tga(18 + 256 * 8 * 3, 0);
    tga[2] = 2;
    tga[13] = 1;  // width 256
    tga[14] = 8;  // height 8
    tga[16] = 24;
    tga[17] = 0x20;
    for (int y = 0; y < 8; ++y) {
        for (int t = 0; t < 256; ++t) {
            uint8_t* p = &tga[18 + (y * 256 + t) * 3];
            for (int c = 0; c < 3; ++c) {
                p[2 - c] = static_cast<uint8_t>(rule(t, c));
            }
        }
    }
    return tessel::LoadImageSourceToNewHandle(tga.data(), static_cast<int>(tga.size()), nullptr, 0,
                                              0, 0);
}

}  // namespace tessel_test
