// The encoder of the library's LZ block format (foundation/files/lz.h): what the
// archive packer, the shader pack and test fixtures compress with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessel {

constexpr int kLzMinLevel = 1;
constexpr int kLzMaxLevel = 9;
constexpr int kLzDefaultLevel = 6;
// The largest input one block takes: the decoder reports sizes as int.
constexpr size_t kLzMaxInput = 0x7F000000u;

// Replaces *out with one whole block (header and body) holding src. Higher
// levels search longer match chains. -1 when the input is too large for a
// block (nothing written), else 0.
int LzCompress(const void* src, size_t size, std::vector<uint8_t>* out,
               int level = kLzDefaultLevel);

}  // namespace tessel
