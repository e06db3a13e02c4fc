// What the read-model targets share: the input read as a stream of bytes that
// runs on as zeros past its end, and arrays chained to the model's blocks the
// way a reader allocates them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "models/read/read_model.h"
#include "models/util/model_containers.h"

namespace tessel_fuzz {

class ByteReader {
  public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    int8_t Signed() { return static_cast<int8_t>(Byte()); }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// At least one element, so that a count of zero still gets a block.
template <typename T>
T* ChainArray(tessel::ReadModel* model, int count) {
    return static_cast<T*>(tessel::AllocChainedBlock(
        static_cast<uint32_t>(sizeof(T) * static_cast<uint32_t>(count > 0 ? count : 1)),
        &model->blocks));
}

}  // namespace tessel_fuzz
