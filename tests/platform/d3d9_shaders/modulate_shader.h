// The pixel shader that does what a stage modulating its texture by the diffuse colour does:
// the texel of stage 0 at the first set times v0, into oC0. Tests and benchmarks set it beside
// that fixed stage; programs that go on past it start from its builder.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3d9/shaders/shader_builder.h"

namespace shadertest {

// The program written, not yet finished.
inline platform::shader::ShaderBuilder ModulateBuilder() {
    using namespace platform::shader;
    ShaderBuilder b = ShaderBuilder::Pixel();
    b.DclPixelInput(T(0));
    b.DclPixelInput(V(0));
    b.DclSampler(0);
    b.Emit(kOpTex, R(0), {T(0), S(0)});
    b.Emit(kOpMul, OC(0), {R(0), V(0)});
    return b;
}

inline std::vector<uint32_t> ModulatePixelShader() {
    return ModulateBuilder().Finish();
}

}  // namespace shadertest
