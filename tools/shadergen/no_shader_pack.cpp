// The library as the shader generator links it: without a shader pack, which it is about to
// make.
#include <cstdint>

namespace tessel {

extern const uint32_t kBuiltInShaderPackSize;
extern const unsigned char kBuiltInShaderPack[];
const uint32_t kBuiltInShaderPackSize = 0;
const unsigned char kBuiltInShaderPack[1] = {0};

}  // namespace tessel
