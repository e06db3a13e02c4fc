// The MQO reader through the loading chain from memory: the whole input is
// the file, followed by the 0 byte the chain puts behind every file image.
// The model system's tables work without a device, so the chain runs to the
// model (or to the conversion's refusal of a texture it cannot load); a model
// that comes out is measured and deleted again.
#include <cstring>
#include <memory>

#include "foundation/memory/log.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_target.h"
#include "models/core/model_system.h"
#include "models/drawing/model_drawing.h"
#include "models/loading/model_loading.h"

TESSEL_FUZZ_TARGET(model_mqo) {
    static const bool ready = [] {
        tessel::EnableLogFile(0);
        tessel::g_models.initialised = 1;
        return true;
    }();
    (void)ready;
    std::unique_ptr<uint8_t[]> image(new uint8_t[size + 1]);
    if (size > 0) {
        std::memcpy(image.get(), data, size);
    }
    image[size] = 0;
    const int model =
        tessel::LoadModelFromImage("fuzz\\input.mqo", image.get(), static_cast<int32_t>(size));
    if (model >= 0) {
        tessel::Vec3 maximum = {};
        tessel::Vec3 minimum = {};
        tessel::MeasureModelBounds(model, &maximum, &minimum);
        uint32_t bits[2];
        std::memcpy(&bits[0], &maximum.x, 4);
        std::memcpy(&bits[1], &minimum.z, 4);
        tessel_fuzz::sink = tessel_fuzz::sink + bits[0] + bits[1];
        tessel::DeleteModelInstance(model);
    }
    return 0;
}
