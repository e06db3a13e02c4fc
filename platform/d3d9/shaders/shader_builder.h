// A small assembler that emits shader token streams, so that tests, tools and the library's
// shader generator never write token numbers by hand:
//
//   ShaderBuilder b = ShaderBuilder::Vertex();
//   b.DclInput(kUsagePosition, 0, V(0));
//   b.Emit(kOpM4x4, OPos(), {V(0), C(0)});
//   b.Emit(kOpMov, OD(0).Sat(), {-C(4).Swz("wzyx")});
//   std::vector<uint32_t> tokens = b.Finish();
//
// Registers come from the helpers below; a register converts to a source (swizzle, negation
// and the other modifiers, relative addressing) or a destination (write mask, saturate).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "platform/d3d9/shaders/shader_tokens.h"

namespace platform::shader {

struct Src {
    uint32_t type = kRegTemp;
    uint32_t index = 0;
    uint32_t swizzle = kSwizzleIdentity;
    uint32_t modifier = kSrcNone;
    int relative = -1;  // component of a0 (0..3), or 4 for aL; -1: none

    // "x", "xyzw", "wzyx", "rgba": missing letters repeat the last one.
    Src Swz(const char* letters) const;
    Src Mod(uint32_t m) const;
    Src Abs() const { return Mod(kSrcAbs); }
    Src operator-() const;
    // c[index + a0.component] or c[index + aL].
    Src RelA0(int component) const;
    Src RelLoop() const;
};

struct Dst {
    uint32_t type = kRegTemp;
    uint32_t index = 0;
    uint32_t mask = 0xF;
    uint32_t modifier = 0;

    Dst Mask(const char* letters) const;
    Dst Sat() const;
};

struct Reg {
    uint32_t type;
    uint32_t index;
    operator Src() const { return Src{type, index}; }
    operator Dst() const { return Dst{type, index}; }
    Src Swz(const char* letters) const { return Src(*this).Swz(letters); }
    Src operator-() const { return -Src(*this); }
    Src Abs() const { return Src(*this).Abs(); }
    Src Mod(uint32_t m) const { return Src(*this).Mod(m); }
    Src RelA0(int component) const { return Src(*this).RelA0(component); }
    Src RelLoop() const { return Src(*this).RelLoop(); }
    Dst Mask(const char* letters) const { return Dst(*this).Mask(letters); }
    Dst Sat() const { return Dst(*this).Sat(); }
};

inline Reg R(uint32_t n) {
    return {kRegTemp, n};
}
inline Reg V(uint32_t n) {
    return {kRegInput, n};
}
inline Reg C(uint32_t n) {
    return {kRegConst, n};
}
inline Reg A0() {
    return {kRegAddress, 0};
}
inline Reg T(uint32_t n) {
    return {kRegTexture, n};
}
inline Reg S(uint32_t n) {
    return {kRegSampler, n};
}
inline Reg I(uint32_t n) {
    return {kRegConstInt, n};
}
inline Reg B(uint32_t n) {
    return {kRegConstBool, n};
}
inline Reg Label(uint32_t n) {
    return {kRegLabel, n};
}
inline Reg AL() {
    return {kRegLoop, 0};
}
inline Reg OPos() {
    return {kRegRastOut, 0};
}
inline Reg OFog() {
    return {kRegRastOut, 1};
}
inline Reg OPts() {
    return {kRegRastOut, 2};
}
inline Reg OD(uint32_t n) {
    return {kRegAttrOut, n};
}
inline Reg OT(uint32_t n) {
    return {kRegTexCrdOut, n};
}
inline Reg OC(uint32_t n) {
    return {kRegColorOut, n};
}
inline Reg ODepth() {
    return {kRegDepthOut, 0};
}

class ShaderBuilder {
  public:
    static ShaderBuilder Vertex();  // vs_2_0
    static ShaderBuilder Pixel();   // ps_2_0
    static ShaderBuilder WithVersion(uint32_t versionToken);

    // An instruction with a destination and its sources; control fills bits 16-23 (texldp).
    ShaderBuilder& Emit(Opcode op, const Dst& dst, std::initializer_list<Src> sources,
                        uint32_t control = 0);
    // An instruction without a destination (flow control).
    ShaderBuilder& Emit(Opcode op, std::initializer_list<Src> sources = {});
    ShaderBuilder& DclInput(uint32_t usage, uint32_t usageIndex, const Dst& reg);
    ShaderBuilder& DclPixelInput(const Dst& reg);  // v# or t# of a pixel shader
    ShaderBuilder& DclSampler(uint32_t sampler, uint32_t textureType = kSampler2D);
    ShaderBuilder& Def(uint32_t reg, float x, float y, float z, float w);
    ShaderBuilder& DefI(uint32_t reg, int32_t x, int32_t y, int32_t z, int32_t w);
    ShaderBuilder& DefB(uint32_t reg, bool value);
    ShaderBuilder& Comment(std::initializer_list<uint32_t> words);
    // Any token as it is, for streams that must be wrong.
    ShaderBuilder& Raw(uint32_t token);

    // The stream with its end token.
    std::vector<uint32_t> Finish() const;
    const std::vector<uint32_t>& Tokens() const { return tokens_; }

  private:
    void Instruction(uint32_t op, uint32_t control, const std::vector<uint32_t>& params);
    static void AppendSource(const Src& s, std::vector<uint32_t>* out);
    static uint32_t DestinationToken(const Dst& d);

    std::vector<uint32_t> tokens_;
};

}  // namespace platform::shader
