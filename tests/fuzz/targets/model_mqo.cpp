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
#include "fuzz/model_fuzzing.h"
#include "models/core/model_system.h"
#include "models/drawing/model_drawing.h"
#include "models/loading/model_loading.h"

TESSEL_FUZZ_TARGET(model_mqo) {
    tessel_fuzz::StartModelFuzzing();
    const std::unique_ptr<uint8_t[]> image = tessel_fuzz::EndedImage(data, size);
    const int model =
        tessel::LoadModelFromImage("fuzz\\input.mqo", image.get(), static_cast<int32_t>(size));
    tessel_fuzz::MeasureAndDelete(model);
    return 0;
}
