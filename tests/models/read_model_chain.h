// Copies of test arrays chained to a read model's blocks, where a reader puts
// what it reads, so that releasing the model frees them.
#pragma once

#include <cstring>
#include <vector>

#include "models/read/read_model.h"
#include "models/util/model_containers.h"

namespace tessel_test {

// Null for no items, as a reader leaves an absent array.
template <typename T>
T* ChainCopy(tessel::ReadModel* model, const std::vector<T>& items) {
    if (items.empty()) {
        return nullptr;
    }
    auto* copy = static_cast<T*>(
        tessel::AllocChainedBlock(static_cast<uint32_t>(sizeof(T) * items.size()), &model->blocks));
    std::memcpy(copy, items.data(), sizeof(T) * items.size());
    return copy;
}

}  // namespace tessel_test
