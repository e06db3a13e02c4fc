// The MQO reader's entry in the loading chain: read, convert, release.
#include "foundation/memory/log.h"
#include "models/core/model_system.h"
#include "models/loading/model_loading.h"
#include "models/readers/mqo_reader.h"

namespace tessel {

int LoadMqoModel(const ModelLoadParams* params) {
    ReadModel model;
    ReadModelClear(&model);
    return ConvertAndReleaseReadModel(ReadMqoIntoModel(params, &model), &model, params);
}

}  // namespace tessel
