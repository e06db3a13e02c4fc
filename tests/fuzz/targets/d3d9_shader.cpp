// Shader token streams as CreateVertexShader and CreatePixelShader take them: the first byte
// chooses the kind (even: vertex, odd: pixel), the rest are little-endian tokens. The stream is
// measured and checked within its bytes, and a stream that compiles runs on one block of the
// machine (zero constants, every input 0.5), so that what passes the checks is safe to run.
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_target.h"
#include "platform/d3d9/shaders/shader_machine.h"
#include "platform/d3d9/shaders/shader_program.h"

namespace {

class GreySampler final : public platform::shader::ShaderSampler {
  public:
    void Sample(int, const platform::shader::Operand&, const platform::shader::Lanes4& at, uint32_t,
                uint32_t, platform::shader::Lanes4* out) const override {
        for (int c = 0; c < 4; ++c) {
            for (int l = 0; l < platform::shader::kShaderLanes; ++l)
                out->c[c][l] = at.c[c][l] * 0.25f;
        }
    }
};

}  // namespace

TESSEL_FUZZ_TARGET(d3d9_shader) {
    using namespace platform::shader;
    if (size < 1)
        return 0;
    ShaderKind kind = (data[0] & 1) ? ShaderKind::kPixel : ShaderKind::kVertex;
    std::vector<uint32_t> tokens((size - 1) / 4);
    if (!tokens.empty())
        std::memcpy(tokens.data(), data + 1, tokens.size() * 4);
    tessel_fuzz::ExactCopy copy(reinterpret_cast<const uint8_t*>(tokens.data()), tokens.size() * 4);
    const uint32_t* exact = reinterpret_cast<const uint32_t*>(copy.bytes.get());
    size_t length = ShaderStreamLength(exact, tokens.size());
    ShaderProgram program;
    ShaderCompileResult result = CompileShader(exact, tokens.size(), kind, &program);
    tessel_fuzz::sink =
        tessel_fuzz::sink + static_cast<uint32_t>(length) + static_cast<uint32_t>(result.error);
    if (result.error != ShaderError::kNone)
        return 0;
    static ShaderConstants constants;
    MergeConstants(program, nullptr, 0, nullptr, nullptr, &constants);
    static ShaderRegisters regs;
    for (int r = 0; r < kMaxVertexInputs; ++r) {
        for (int c = 0; c < 4; ++c) {
            for (int l = 0; l < kShaderLanes; ++l)
                regs.inputs[r].c[c][l] = 0.5f;
        }
    }
    ResetOutputs(&regs);
    GreySampler sampler;
    RunShader(program, constants, &regs, (1u << kShaderLanes) - 1, &sampler);
    uint32_t bits = 0;
    for (int l = 0; l < kShaderLanes; ++l) {
        uint32_t lane;
        std::memcpy(&lane, &regs.outPos.c[0][l], 4);
        bits ^= lane + static_cast<uint32_t>(regs.killed[l]);
    }
    tessel_fuzz::sink = tessel_fuzz::sink + bits;
    return 0;
}
