// The shader machine: runs a compiled program (shader_program.h) over a block of kShaderLanes
// vertices or pixels at once. Every register holds one float per lane for each of its four
// components (structure of arrays), so each instruction is decoded once for the block and its
// arithmetic runs as plain loops over the lanes, which the compiler turns into SSE.
//
// Flow control in 2.0 is static (it depends on constants only), so all lanes follow one path.
// Arithmetic is IEEE single precision with the documented special cases (shader_machine.cpp
// lists them); the same on every optimisation level (no contraction, no fast-math).
#pragma once

#include <cstdint>

#include "platform/d3d9/shaders/shader_program.h"

namespace platform::shader {

constexpr int kShaderLanes = 8;

struct Lanes4 {
    alignas(32) float c[4][kShaderLanes];
};

// What one block reads and writes. Inputs are filled by the caller; outputs start as the caller
// leaves them: ResetOutputs clears them all, ResetBlock what a program writes.
struct ShaderRegisters {
    Lanes4 temps[kMaxTemps];
    Lanes4 inputs[kMaxVertexInputs];
    Lanes4 texCoords[kMaxTexCoords];
    Lanes4 outPos, outFog, outPts;
    Lanes4 outColor[2];
    Lanes4 outTex[kMaxTexCoords];
    Lanes4 outPixel[4];
    Lanes4 outDepth;
    int32_t address[4][kShaderLanes];
    bool killed[kShaderLanes];
};
void ResetOutputs(ShaderRegisters* r);
// Clears what one block of the program changes besides temporaries: the outputs it writes, a0
// and the texkill flags. Outputs it never writes keep what ResetOutputs left.
void ResetBlock(const ShaderProgram& program, ShaderRegisters* r);

// The constant registers a draw sees: the device's, with the program's DEF values in place.
struct ShaderConstants {
    float f[kVertexFloatConstants][4];
    int32_t i[kIntConstants][4];
    bool b[kBoolConstants];
};
void MergeConstants(const ShaderProgram& program, const float (*deviceFloats)[4], int floatCount,
                    const int32_t (*deviceInts)[4], const int* deviceBools, ShaderConstants* out);

// texld: samples `sampler` at the coordinates of the active lanes into out (r, g, b, a in
// 0..1). control carries texldp and texldb; source is the operand the coordinates came from
// (a t# register read directly lets the sampler take that set's derivatives).
class ShaderSampler {
  public:
    virtual void Sample(int sampler, const Operand& source, const Lanes4& coordinates,
                        uint32_t control, uint32_t activeMask, Lanes4* out) const = 0;

  protected:
    ~ShaderSampler() = default;
};

// Runs the program for the lanes in activeMask (bit i: lane i). Inactive lanes compute too but
// their results mean nothing.
void RunShader(const ShaderProgram& program, const ShaderConstants& constants,
               ShaderRegisters* registers, uint32_t activeMask, const ShaderSampler* sampler);

}  // namespace platform::shader
