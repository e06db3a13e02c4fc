// What the model loaders' fuzz targets share: the model tables made ready
// without a device, the input copied with the 0 byte the loading chain puts
// behind every file image, and a model that comes out measured and deleted.
#pragma once

#include <cstring>
#include <memory>

#include "foundation/memory/log.h"
#include "fuzz/fuzz_support.h"
#include "models/core/model_system.h"
#include "models/drawing/model_drawing.h"

namespace tessel_fuzz {

inline void StartModelFuzzing() {
    static const bool ready = [] {
        tessel::EnableLogFile(0);
        tessel::g_models.initialised = 1;
        return true;
    }();
    (void)ready;
}

inline std::unique_ptr<uint8_t[]> EndedImage(const uint8_t* data, size_t size) {
    std::unique_ptr<uint8_t[]> image(new uint8_t[size + 1]);
    if (size > 0) {
        std::memcpy(image.get(), data, size);
    }
    image[size] = 0;
    return image;
}

// Measures the model (so its frames, matrices and bounds are read) and
// deletes it; nothing for -1.
inline void MeasureAndDelete(int model) {
    if (model < 0) {
        return;
    }
    tessel::Vec3 maximum = {};
    tessel::Vec3 minimum = {};
    tessel::MeasureModelBounds(model, &maximum, &minimum);
    uint32_t bits[2];
    std::memcpy(&bits[0], &maximum.x, 4);
    std::memcpy(&bits[1], &minimum.z, 4);
    sink = sink + bits[0] + bits[1];
    tessel::DeleteModelInstance(model);
}

}  // namespace tessel_fuzz
