// Helpers of the shader machine tests: compile a builder's stream (failing the test on a
// refusal) and run it on one block with chosen constants and inputs.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "platform/d3d9/shaders/shader_builder.h"
#include "platform/d3d9/shaders/shader_machine.h"
#include "platform/d3d9/shaders/shader_program.h"

namespace shadertest {

using namespace platform::shader;

using Vec4 = std::array<float, 4>;

inline ShaderProgram Compile(const std::vector<uint32_t>& tokens, ShaderKind kind) {
    ShaderProgram program;
    ShaderCompileResult r = CompileShader(tokens.data(), tokens.size(), kind, &program);
    EXPECT_EQ(r.error, ShaderError::kNone)
        << ShaderErrorName(r.error) << " at token " << r.tokenIndex;
    return program;
}

// One block: constants zero unless set, inputs zero unless set.
struct Block {
    ShaderConstants constants{};
    ShaderRegisters regs{};

    Block() {
        std::memset(&constants, 0, sizeof constants);
        std::memset(&regs, 0, sizeof regs);
    }
    void SetConstant(int reg, Vec4 v) {
        for (int c = 0; c < 4; ++c)
            constants.f[reg][c] = v[c];
    }
    void SetInput(int reg, int lane, Vec4 v) {
        for (int c = 0; c < 4; ++c)
            regs.inputs[reg].c[c][lane] = v[c];
    }
    void SetInputAll(int reg, Vec4 v) {
        for (int l = 0; l < kShaderLanes; ++l)
            SetInput(reg, l, v);
    }
    void Run(const ShaderProgram& program, const ShaderSampler* sampler = nullptr) {
        MergeConstants(program, constants.f, kVertexFloatConstants, constants.i, nullptr, &merged);
        for (int i = 0; i < kBoolConstants; ++i)
            merged.b[i] = merged.b[i] || constants.b[i];
        ResetOutputs(&regs);
        RunShader(program, merged, &regs, (1u << kShaderLanes) - 1, sampler);
    }
    static Vec4 Lane(const Lanes4& r, int lane) {
        return {r.c[0][lane], r.c[1][lane], r.c[2][lane], r.c[3][lane]};
    }

    ShaderConstants merged{};
};

// Float equality that also takes NaN to equal NaN and tells -0 from +0 apart.
inline bool SameBits(float a, float b) {
    if (a != a && b != b)
        return true;
    uint32_t x, y;
    std::memcpy(&x, &a, 4);
    std::memcpy(&y, &b, 4);
    return x == y;
}

}  // namespace shadertest
