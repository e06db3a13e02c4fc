// The TSM reader from memory: the whole input is the file, followed by the 0
// byte the chain puts behind every file image. The model system's tables
// work without a device, so a base that comes out is made a model as the
// chain makes one, measured and deleted again.
#include <cstring>
#include <memory>

#include "foundation/memory/log.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_target.h"
#include "models/core/model_system.h"
#include "models/drawing/model_drawing.h"
#include "models/loading/model_loading.h"

TESSEL_FUZZ_TARGET(model_tsm) {
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
    const tessel::ModelLoadParams params = {
        image.get(), static_cast<int32_t>(size), "fuzz\\input.tsm", "input", "/fuzz", nullptr};
    const int base = tessel::ParseTsmModel(&params);
    if (base < 0) {
        return 0;
    }
    const int model = tessel::FinishModelLoad("fuzz\\input.tsm", base);
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
