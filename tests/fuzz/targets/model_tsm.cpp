// The TSM reader from memory: the whole input is the file, followed by the 0
// byte the chain puts behind every file image. The model system's tables
// work without a device, so a base that comes out is made a model as the
// chain makes one, measured and deleted again.
#include <cstring>
#include <memory>

#include "foundation/memory/log.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_target.h"
#include "fuzz/model_fuzzing.h"
#include "models/core/model_system.h"
#include "models/drawing/model_drawing.h"
#include "models/loading/model_loading.h"

TESSEL_FUZZ_TARGET(model_tsm) {
    tessel_fuzz::StartModelFuzzing();
    const std::unique_ptr<uint8_t[]> image = tessel_fuzz::EndedImage(data, size);
    const tessel::ModelLoadParams params = {
        image.get(), static_cast<int32_t>(size), "fuzz\\input.tsm", "input", "/fuzz", nullptr};
    const int base = tessel::ParseTsmModel(&params);
    if (base < 0) {
        return 0;
    }
    const int model = tessel::FinishModelLoad("fuzz\\input.tsm", base);
    tessel_fuzz::MeasureAndDelete(model);
    return 0;
}
