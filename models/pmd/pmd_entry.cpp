// The PMD reader's entry in the loading chain: read (motions included),
// convert, release. Bytes that are not PMD pass on without a log line.
#include "models/core/model_system.h"
#include "models/loading/model_loading.h"
#include "models/pmd/pmd_reader.h"

namespace tessel {

int LoadPmdModel(const ModelLoadParams* params) {
    ReadModel model;
    ReadModelClear(&model);
    return ConvertAndReleaseReadModel(ReadPmdIntoModel(params, &model), &model, params);
}

}  // namespace tessel
