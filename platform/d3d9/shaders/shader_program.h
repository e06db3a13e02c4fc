// A shader token stream checked and compiled once into the machine's own form: instructions with
// their operands decoded (register file, index, swizzle, modifier, relative addressing), jumps
// resolved (if/else/endif, rep/loop, call/label), DEF constants, and the DCL declarations that
// say which input each register takes and which samplers the pixel shader reads.
//
// Accepted: vertex shaders 1.1 and 2.0, pixel shaders 2.0. A refused stream names its reason
// (ShaderError) and the token index where it was found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3d9/shaders/shader_tokens.h"

namespace platform::shader {

enum class ShaderKind { kVertex, kPixel };

#define TESSEL_SHADER_ERRORS(X)                                                       \
    X(None, "no error")                                                               \
    X(NoEndToken, "the stream ends without an end token")                             \
    X(BadVersion, "a version token of a shader model the device does not run")        \
    X(UnknownOpcode, "an opcode the shader model does not have")                      \
    X(BadLength, "an instruction's length does not match its parameters")             \
    X(BadRegister, "a register type the instruction or the model does not take")      \
    X(RegisterOutOfRange, "a register number past the model's registers")             \
    X(BadModifier, "a write mask, swizzle or modifier the model does not take")       \
    X(BadFlowControl, "unbalanced or too deeply nested flow control, or a bad label") \
    X(BadDeclaration, "a DCL of a usage or sampler type the model does not take")     \
    X(TooLong, "more instructions than the machine keeps")

enum class ShaderError {
#define TESSEL_SHADER_ERROR_ID(name, text) k##name,
    TESSEL_SHADER_ERRORS(TESSEL_SHADER_ERROR_ID)
#undef TESSEL_SHADER_ERROR_ID
};
const char* ShaderErrorName(ShaderError error);
const char* ShaderErrorText(ShaderError error);

// Register files of the compiled form.
enum class File : uint8_t {
    kTemp,
    kInput,     // v#
    kConst,     // c#
    kAddress,   // a0 (vertex)
    kTexCoord,  // t# (pixel)
    kConstInt,  // i#
    kConstBool,
    kLoop,  // aL
    kSampler,
    kOutPos,  // oPos
    kOutFog,
    kOutPts,
    kOutColor,  // oD# (vertex)
    kOutTex,    // oT#
    kOutPixel,  // oC# (pixel)
    kOutDepth,
    kLabel,
    kNone,
};

struct Operand {
    File file = File::kNone;
    uint16_t index = 0;
    uint8_t swizzle[4] = {0, 1, 2, 3};
    uint8_t modifier = kSrcNone;
    // Relative addressing of constants: c[index + a0.component] or c[index + aL].
    File relative = File::kNone;
    uint8_t relativeComponent = 0;
};

struct Destination {
    File file = File::kNone;
    uint16_t index = 0;
    uint8_t mask = 0xF;
    bool saturate = false;
    int8_t shift = 0;  // result times 2^shift
};

struct Instruction {
    uint16_t op = kOpNop;
    uint32_t control = 0;
    Destination dst;
    Operand src[4];
    uint8_t sourceCount = 0;
    int32_t jump = -1;  // if: its else or endif; else: its endif; loops: the matching end;
                        // ends of loops: their start; call: the label's instruction
};

struct InputDeclaration {
    uint8_t usage = 0;
    uint8_t usageIndex = 0;
    uint16_t reg = 0;
    uint8_t mask = 0xF;
};

constexpr int kMaxTemps = 12;
constexpr int kMaxVertexInputs = 16;
constexpr int kVertexFloatConstants = 256;
constexpr int kPixelFloatConstants = 32;
constexpr int kIntConstants = 16;
constexpr int kBoolConstants = 16;
constexpr int kMaxTexCoords = 8;
constexpr int kMaxPixelSamplers = 16;
constexpr int kMaxInstructions = 4096;

struct FloatDefinition {
    uint16_t reg;
    float value[4];
};
struct IntDefinition {
    uint16_t reg;
    int32_t value[4];
};
struct BoolDefinition {
    uint16_t reg;
    bool value;
};

struct ShaderProgram {
    ShaderKind kind = ShaderKind::kVertex;
    uint32_t version = 0;
    std::vector<Instruction> code;  // the main program, then subroutines after their labels
    int32_t mainEnd = 0;            // the first instruction after the main program
    std::vector<int32_t> labels;    // instruction of label l, -1 if none
    std::vector<FloatDefinition> floatDefs;
    std::vector<IntDefinition> intDefs;
    std::vector<BoolDefinition> boolDefs;
    std::vector<InputDeclaration> inputs;           // vertex: v# by usage; pixel: v# and t# read
    uint32_t samplerTypes[kMaxPixelSamplers] = {};  // 0: not declared
    bool writesDepth = false;
    bool usesTexKill = false;
    bool writesFog = false;
    // The output registers the program writes: a block clears them before it runs, so that
    // components a mask leaves out read 0.
    std::vector<Destination> writtenOutputs;
    bool readsInput[kMaxVertexInputs] = {};  // pixel: v0, v1
    bool readsTexCoord[kMaxTexCoords] = {};  // pixel: t#
};

struct ShaderCompileResult {
    ShaderError error = ShaderError::kNone;
    size_t tokenIndex = 0;  // where the error was found
};

// Checks tokens[0..count) and compiles them; the stream must end with the end token within
// count. `expected` refuses a stream of the other kind.
ShaderCompileResult CompileShader(const uint32_t* tokens, size_t count, ShaderKind expected,
                                  ShaderProgram* program);

// How many tokens a stream holds up to and including its end token (skipping comments), at
// most `limit`; 0 when no end token lies within the limit.
size_t ShaderStreamLength(const uint32_t* tokens, size_t limit);

}  // namespace platform::shader
