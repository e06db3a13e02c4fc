// The MQO reader's entry in the loading chain: read, convert, release.
#include "foundation/memory/log.h"
#include "models/core/model_system.h"
#include "models/read/read_model_conversion.h"
#include "models/readers/mqo_reader.h"

namespace tessel {

int LoadMqoModel(const ModelLoadParams* params) {
    ReadModel model;
    ReadModelClear(&model);
    int result = ReadMqoIntoModel(params, &model);
    if (result == 0) {
        result = ConvertReadModel(&model, params->directory, params->callbacks);
        if (result < -1) {
            ReleaseModelBase(result);
            result = -1;
        }
    } else {
        result = -1;
    }
    ReadModelRelease(&model);
    return result;
}

}  // namespace tessel
