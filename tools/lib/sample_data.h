// Data made in code for tests and benchmarks of the compressors: pictures,
// text and noise with the character of a game's files, reproducible by seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessel {

// A 32-bit BGRA picture: a sky gradient by rows, flat shapes with outlines,
// a tiled texture and sparse noise.
std::vector<uint8_t> MakeSampleImage(int width, int height, uint32_t seed);
// Sentences of a small vocabulary, with line breaks and numbers.
std::vector<uint8_t> MakeSampleText(size_t size, uint32_t seed);
// Uniform random bytes: what compressed or encrypted data looks like.
std::vector<uint8_t> MakeRandomBytes(size_t size, uint32_t seed);

}  // namespace tessel
