// A plain shader interpreter for the tests: it reads the token stream itself, one vertex at a
// time and one instruction after the other, with each instruction written out from its
// documented definition. The random-program test holds the machine's compiled block runs to it.
// Vertex shaders only, arithmetic, mova with relative constants, rep with DEFI.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace shadertest {

struct PlainVertex {
    std::array<std::array<float, 4>, 16> inputs{};
    std::array<float, 4> pos{};
    std::array<std::array<float, 4>, 8> tex{};
    std::array<std::array<float, 4>, 2> colour{};
};

// Runs tokens (from the version token to the end token) on one vertex with constants c[256].
// False for a token it does not know.
bool RunPlain(const std::vector<uint32_t>& tokens, const float (*constants)[4],
              PlainVertex* vertex);

}  // namespace shadertest
