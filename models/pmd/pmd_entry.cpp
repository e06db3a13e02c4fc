// The PMD reader's entry in the loading chain: read (motions included),
// convert, release. Bytes that are not PMD pass on without a log line.
#include "models/core/model_system.h"
#include "models/pmd/pmd_reader.h"
#include "models/read/read_model_conversion.h"

namespace tessel {

int LoadPmdModel(const ModelLoadParams* params) {
    ReadModel model;
    ReadModelClear(&model);
    int result = ReadPmdIntoModel(params, &model);
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
