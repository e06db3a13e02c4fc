// The Direct3D 9 shader token stream as the public documentation describes it, under names of
// our own: the version token, instruction tokens (opcode in bits 0-15, opcode-specific control
// in 16-23, the count of following tokens in 24-27), parameter tokens (register number in
// bits 0-10, register type split over bits 28-30 and 11-12, relative addressing in bit 13;
// a destination's write mask in 16-19, result modifier in 20-23 and shift in 24-27; a source's
// swizzle in 16-23, two bits a channel from x up, and its modifier in 24-27; bit 31 set), DCL's
// usage token, comments and the end token.
#pragma once

#include <cstdint>

namespace platform::shader {

constexpr uint32_t kEndToken = 0x0000FFFFu;
constexpr uint32_t kVertexVersionBase = 0xFFFE0000u;
constexpr uint32_t kPixelVersionBase = 0xFFFF0000u;
constexpr uint32_t VertexVersion(uint32_t major, uint32_t minor) {
    return kVertexVersionBase | (major << 8) | minor;
}
constexpr uint32_t PixelVersion(uint32_t major, uint32_t minor) {
    return kPixelVersionBase | (major << 8) | minor;
}

enum Opcode : uint16_t {
    kOpNop = 0,
    kOpMov = 1,
    kOpAdd = 2,
    kOpSub = 3,
    kOpMad = 4,
    kOpMul = 5,
    kOpRcp = 6,
    kOpRsq = 7,
    kOpDp3 = 8,
    kOpDp4 = 9,
    kOpMin = 10,
    kOpMax = 11,
    kOpSlt = 12,
    kOpSge = 13,
    kOpExp = 14,
    kOpLog = 15,
    kOpLit = 16,
    kOpDst = 17,
    kOpLrp = 18,
    kOpFrc = 19,
    kOpM4x4 = 20,
    kOpM4x3 = 21,
    kOpM3x4 = 22,
    kOpM3x3 = 23,
    kOpM3x2 = 24,
    kOpCall = 25,
    kOpCallNz = 26,
    kOpLoop = 27,
    kOpRet = 28,
    kOpEndLoop = 29,
    kOpLabel = 30,
    kOpDcl = 31,
    kOpPow = 32,
    kOpCrs = 33,
    kOpSgn = 34,
    kOpAbs = 35,
    kOpNrm = 36,
    kOpSinCos = 37,
    kOpRep = 38,
    kOpEndRep = 39,
    kOpIf = 40,
    kOpElse = 42,
    kOpEndIf = 43,
    kOpMova = 46,
    kOpDefB = 47,
    kOpDefI = 48,
    kOpTexKill = 65,
    kOpTex = 66,  // texld in pixel shaders 2.0
    kOpExpP = 78,
    kOpLogP = 79,
    kOpDef = 81,
    kOpCmp = 88,
    kOpDp2Add = 90,
    kOpComment = 0xFFFE,
    kOpEnd = 0xFFFF,
};

// Register types (the five-bit value of a parameter token).
enum RegisterType : uint8_t {
    kRegTemp = 0,
    kRegInput = 1,
    kRegConst = 2,
    kRegAddress = 3,  // a0 in vertex shaders; t# (texture coordinates) in pixel shaders
    kRegRastOut = 4,  // oPos 0, oFog 1, oPts 2
    kRegAttrOut = 5,  // oD0, oD1
    kRegTexCrdOut = 6,
    kRegConstInt = 7,
    kRegColorOut = 8,
    kRegDepthOut = 9,
    kRegSampler = 10,
    kRegConstBool = 14,
    kRegLoop = 15,
    kRegLabel = 18,
};
constexpr uint8_t kRegTexture = kRegAddress;

enum SourceModifier : uint8_t {
    kSrcNone = 0,
    kSrcNegate = 1,
    kSrcBias = 2,
    kSrcBiasNegate = 3,
    kSrcSign = 4,
    kSrcSignNegate = 5,
    kSrcComplement = 6,
    kSrcX2 = 7,
    kSrcX2Negate = 8,
    kSrcAbs = 11,
    kSrcAbsNegate = 12,
};

constexpr uint32_t kResultSaturate = 1;
constexpr uint32_t kResultPartialPrecision = 2;
constexpr uint32_t kResultCentroid = 4;

// DCL usages (the declaration usage numbers) and sampler texture types.
enum Usage : uint8_t {
    kUsagePosition = 0,
    kUsageBlendWeight = 1,
    kUsageBlendIndices = 2,
    kUsageNormal = 3,
    kUsagePSize = 4,
    kUsageTexCoord = 5,
    kUsageTangent = 6,
    kUsageBinormal = 7,
    kUsageTessFactor = 8,
    kUsagePositionT = 9,
    kUsageColor = 10,
    kUsageFog = 11,
    kUsageDepth = 12,
    kUsageSample = 13,
};
constexpr uint32_t kSampler2D = 2;
constexpr uint32_t kSamplerCube = 3;
constexpr uint32_t kSamplerVolume = 4;

// texld's control bits: divide by w (texldp), bias the level of detail by w (texldb).
constexpr uint32_t kTexProject = 1;
constexpr uint32_t kTexBias = 2;

constexpr uint32_t kSwizzleIdentity = 0xE4;  // x y z w
constexpr uint32_t Swizzle(int x, int y, int z, int w) {
    return static_cast<uint32_t>(x | (y << 2) | (z << 4) | (w << 6));
}

// Token fields.
inline uint32_t TokenOpcode(uint32_t t) {
    return t & 0xFFFFu;
}
inline uint32_t TokenControl(uint32_t t) {
    return (t >> 16) & 0xFFu;
}
inline uint32_t TokenLength(uint32_t t) {
    return (t >> 24) & 0x0Fu;
}
inline uint32_t CommentLength(uint32_t t) {
    return (t >> 16) & 0x7FFFu;
}
inline uint32_t ParamRegister(uint32_t t) {
    return t & 0x7FFu;
}
inline uint32_t ParamType(uint32_t t) {
    return ((t >> 28) & 7u) | (((t >> 11) & 3u) << 3);
}
inline bool ParamRelative(uint32_t t) {
    return (t >> 13) & 1u;
}
inline uint32_t DestMask(uint32_t t) {
    return (t >> 16) & 0xFu;
}
inline uint32_t DestModifier(uint32_t t) {
    return (t >> 20) & 0xFu;
}
inline uint32_t DestShift(uint32_t t) {
    return (t >> 24) & 0xFu;
}
inline uint32_t SourceSwizzle(uint32_t t) {
    return (t >> 16) & 0xFFu;
}
inline uint32_t SourceModifierOf(uint32_t t) {
    return (t >> 24) & 0xFu;
}

inline uint32_t ParamToken(uint32_t type, uint32_t index) {
    return 0x80000000u | ((type & 7u) << 28) | (((type >> 3) & 3u) << 11) | (index & 0x7FFu);
}

}  // namespace platform::shader
