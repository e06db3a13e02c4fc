// The .x reader's entry in the loading chain: the file into its object tree,
// the tree into a read model, the read model into a model base; the tree and
// the read model are released whatever the outcome.
#include <cstring>

#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "models/core/model_system.h"
#include "models/loading/model_loading.h"
#include "models/read/read_model.h"
#include "models/read/read_model_conversion.h"
#include "models/xfile/x_reader.h"

namespace tessel {

namespace {

char* TrackedCopy(const char* text) {
    const char* source = text != nullptr ? text : "";
    const size_t n = std::strlen(source);
    auto* copy = static_cast<char*>(AllocTracked(static_cast<uint32_t>(n + 1), __FILE__, __LINE__));
    if (copy != nullptr) {
        std::memcpy(copy, source, n + 1);
    }
    return copy;
}

}  // namespace

int LoadXModel(const ModelLoadParams* params) {
    const auto* bytes = static_cast<const uint8_t*>(params->image);
    // Not a .x file: the chain goes on without a word from us.
    if (bytes == nullptr || params->size < 4 || std::memcmp(bytes, "xof ", 4) != 0) {
        return -1;
    }
    ReadModel model;
    ReadModelClear(&model);
    XObjectTree tree;
    int result = StartXObjectTree(&tree);
    model.filePath = TrackedCopy(params->path);
    model.baseName = TrackedCopy(params->baseName);
    if (model.filePath == nullptr || model.baseName == nullptr) {
        result = WriteLogFormat("Load XFile : ファイル名を保存するメモリ領域の確保に失敗しました");
    }
    if (result == 0) {
        result = ParseXImage(params->image, params->size, &tree);
    }
    if (result == 0) {
        result = ConvertXToReadModel(&tree, &model);
    }
    result = ConvertAndReleaseReadModel(result, &model, params);
    FreeXObjectTree(&tree);
    return result;
}

}  // namespace tessel
