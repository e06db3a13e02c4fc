// The readers of the chain that are not part of the library yet. Each
// answers as a reader does for bytes that are not its format: -1 without a
// log line, so the chain goes on. A reader that lands replaces its entry
// here with its own file.
#include "models/loading/model_loading.h"

namespace tessel {

int LoadPmdModel(const ModelLoadParams*) {
    return -1;
}

}  // namespace tessel
