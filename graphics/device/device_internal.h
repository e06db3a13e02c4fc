// What the device's own files share: the format choice and the release of
// the objects that belong to one device.
#pragma once

#include "platform/d3d9.h"

namespace tessel {

constexpr UINT kBrightnessVolumeSide = 128;
// Texel (x, y, z) of the locked 128-cube: the colour (2x, 2y, 2z) at full
// brightness as B, G, R, 255 bytes; the darkest corner (all below 8) white.
void FillBrightnessVolume(const D3DLOCKED_BOX& box);

// Reads the back buffer's format, then chooses and logs the depth format and
// every texture format. 0, or -1 when a format that must exist is missing.
int ChooseDeviceFormats();
// Releases the objects made with the device and then the device itself.
void ReleaseDeviceObjects();

template <typename T>
void ReleaseComObject(T** object) {
    if (*object != nullptr) {
        (*object)->Release();
        *object = nullptr;
    }
}

}  // namespace tessel
