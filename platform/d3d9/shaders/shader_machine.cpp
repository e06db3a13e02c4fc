// The shader machine (shader_machine.h).
//
// Routes: RunShader walks the program once a block, following the static flow control
// (if/else on booleans, rep and loop on integer constants, call/callnz/ret) itself and handing
// every other instruction to Execute, which fetches the sources of all lanes (Fetch: register,
// relative address per lane, swizzle, modifier), computes the result over the lanes and stores
// it through the write mask and saturate (Store). Matrix instructions, lit, nrm, mova, texkill
// and texld have helpers of their own.
//
// Special cases, as documented for the instructions:
// - scalar instructions (rcp, rsq, exp, log, pow, expp, logp, sincos) read the source's last
//   swizzled component, which a replicate swizzle makes any of them;
// - rcp: 1 / x, exactly 1 for 1 and +infinity for 0; rsq: 1 / sqrt(|x|), 1 for 1, +infinity for 0;
// - log: log2 |x|, -FLT_MAX for 0; exp: 2^x; pow: |a|^b;
// - lit: (1, max(x, 0), x > 0 and y > 0 ? y^w : 0, 1) with w clamped to +-127.9961;
// - dst: (1, a.y b.y, a.z, b.w); lrp: a (b - c) + c; frc: x - floor(x); nrm: v / sqrt(v.v),
//   v FLT_MAX when v.v is 0; sincos: (cos, sin) into x and y;
// - min: a < b ? a : b; max: a >= b ? a : b; slt, sge: 1 or 0; cmp: a >= 0 ? b : c;
// - mova rounds to the nearest integer (halves upward); saturate clamps to 0..1 (NaN to 0).
// Relative addressing outside 0..255 reads (0, 0, 0, 0). rep and loop take their count from
// i#.x within 0..255, loop its aL start from i#.y within 0..255 and step from i#.z within
// -128..127, as documented. A run stops after 65,536 executed
// instructions, the documented most a 2.0 shader may execute.
#include "platform/d3d9/shaders/shader_machine.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

namespace platform::shader {
namespace {

constexpr int L = kShaderLanes;
constexpr int kExecutedLimit = 65536;
constexpr int kCallDepth = 4;

struct Context {
    const ShaderProgram& program;
    const ShaderConstants& k;
    ShaderRegisters& r;
    uint32_t active;
    const ShaderSampler* sampler;
    int32_t loopCounter;  // aL of the innermost loop
};

void Broadcast(const float v[4], Lanes4* out) {
    for (int c = 0; c < 4; ++c) {
        for (int l = 0; l < L; ++l)
            out->c[c][l] = v[c];
    }
}

const Lanes4* RegisterOf(ShaderRegisters& r, File file, int index) {
    switch (file) {
        case File::kTemp:
            return &r.temps[index];
        case File::kInput:
            return &r.inputs[index];
        case File::kTexCoord:
            return &r.texCoords[index];
        default:
            return nullptr;
    }
}

// The operand's register (at index + offset), swizzled, with its modifier applied.
void Fetch(const Context& x, const Operand& s, int offset, Lanes4* out) {
    Lanes4 raw;
    const Lanes4* base = nullptr;
    if (s.file == File::kConst) {
        int index = s.index + offset;
        if (s.relative == File::kNone) {
            // A matrix instruction's rows may run past the last constant: they read zeros.
            static const float kZero[4] = {};
            Broadcast(index < kVertexFloatConstants ? x.k.f[index] : kZero, &raw);
        } else {
            for (int l = 0; l < L; ++l) {
                int at = index + (s.relative == File::kLoop ? x.loopCounter
                                                            : x.r.address[s.relativeComponent][l]);
                bool inside = at >= 0 && at < kVertexFloatConstants;
                for (int c = 0; c < 4; ++c)
                    raw.c[c][l] = inside ? x.k.f[at][c] : 0.0f;
            }
        }
        base = &raw;
    } else {
        base = RegisterOf(x.r, s.file, s.index + offset);
    }
    for (int c = 0; c < 4; ++c)
        std::memcpy(out->c[c], base->c[s.swizzle[c]], sizeof out->c[c]);
    float* v = &out->c[0][0];
    constexpr int n = 4 * L;
    switch (s.modifier) {
        case kSrcNegate:
            for (int i = 0; i < n; ++i)
                v[i] = -v[i];
            break;
        case kSrcBias:
            for (int i = 0; i < n; ++i)
                v[i] = v[i] - 0.5f;
            break;
        case kSrcBiasNegate:
            for (int i = 0; i < n; ++i)
                v[i] = -(v[i] - 0.5f);
            break;
        case kSrcSign:
            for (int i = 0; i < n; ++i)
                v[i] = 2.0f * v[i] - 1.0f;
            break;
        case kSrcSignNegate:
            for (int i = 0; i < n; ++i)
                v[i] = -(2.0f * v[i] - 1.0f);
            break;
        case kSrcComplement:
            for (int i = 0; i < n; ++i)
                v[i] = 1.0f - v[i];
            break;
        case kSrcX2:
            for (int i = 0; i < n; ++i)
                v[i] = 2.0f * v[i];
            break;
        case kSrcX2Negate:
            for (int i = 0; i < n; ++i)
                v[i] = -(2.0f * v[i]);
            break;
        case kSrcAbs:
            for (int i = 0; i < n; ++i)
                v[i] = std::fabs(v[i]);
            break;
        case kSrcAbsNegate:
            for (int i = 0; i < n; ++i)
                v[i] = -std::fabs(v[i]);
            break;
        default:
            break;
    }
}

Lanes4* DestinationOf(ShaderRegisters& r, const Destination& d) {
    switch (d.file) {
        case File::kTemp:
            return &r.temps[d.index];
        case File::kOutPos:
            return &r.outPos;
        case File::kOutFog:
            return &r.outFog;
        case File::kOutPts:
            return &r.outPts;
        case File::kOutColor:
            return &r.outColor[d.index];
        case File::kOutTex:
            return &r.outTex[d.index];
        case File::kOutPixel:
            return &r.outPixel[d.index];
        case File::kOutDepth:
            return &r.outDepth;
        default:
            return nullptr;
    }
}

float Saturate(float v) {
    if (!(v > 0.0f))
        return 0.0f;
    return v < 1.0f ? v : 1.0f;
}

void Store(Context& x, const Destination& d, const Lanes4& value) {
    Lanes4* out = DestinationOf(x.r, d);
    if (out == nullptr)
        return;
    for (int c = 0; c < 4; ++c) {
        if (!(d.mask & (1u << c)))
            continue;
        if (d.saturate) {
            for (int l = 0; l < L; ++l)
                out->c[c][l] = Saturate(value.c[c][l]);
        } else {
            std::memcpy(out->c[c], value.c[c], sizeof out->c[c]);
        }
    }
}

float Rcp(float v) {
    if (v == 1.0f)
        return 1.0f;
    if (v == 0.0f)
        return INFINITY;
    return 1.0f / v;
}

float Rsq(float v) {
    float a = std::fabs(v);
    if (a == 1.0f)
        return 1.0f;
    if (a == 0.0f)
        return INFINITY;
    return 1.0f / std::sqrt(a);
}

float Log2(float v) {
    float a = std::fabs(v);
    return a != 0.0f ? std::log2(a) : -FLT_MAX;
}

float Pow(float a, float b) {
    return std::pow(std::fabs(a), b);
}

// One scalar result a lane, replicated into every component.
template <class F>
void Scalar(const Lanes4& a, Lanes4* out, F f) {
    for (int l = 0; l < L; ++l) {
        float v = f(a.c[3][l]);
        for (int c = 0; c < 4; ++c)
            out->c[c][l] = v;
    }
}

template <class F>
void Each(const Lanes4& a, Lanes4* out, F f) {
    for (int c = 0; c < 4; ++c) {
        for (int l = 0; l < L; ++l)
            out->c[c][l] = f(a.c[c][l]);
    }
}

template <class F>
void Each2(const Lanes4& a, const Lanes4& b, Lanes4* out, F f) {
    for (int c = 0; c < 4; ++c) {
        for (int l = 0; l < L; ++l)
            out->c[c][l] = f(a.c[c][l], b.c[c][l]);
    }
}

template <class F>
void Each3(const Lanes4& a, const Lanes4& b, const Lanes4& d, Lanes4* out, F f) {
    for (int c = 0; c < 4; ++c) {
        for (int l = 0; l < L; ++l)
            out->c[c][l] = f(a.c[c][l], b.c[c][l], d.c[c][l]);
    }
}

void Dot(const Lanes4& a, const Lanes4& b, int n, float out[L]) {
    for (int l = 0; l < L; ++l) {
        float s = a.c[0][l] * b.c[0][l];
        for (int c = 1; c < n; ++c)
            s = s + a.c[c][l] * b.c[c][l];
        out[l] = s;
    }
}

void Replicate(const float v[L], Lanes4* out) {
    for (int c = 0; c < 4; ++c)
        std::memcpy(out->c[c], v, sizeof out->c[c]);
}

// m4x4 and its kin: rows rows of src1, src1 + 1, ..., each dotted over n components.
void Matrix(const Context& x, const Instruction& in, int n, int rows, Lanes4* out) {
    Lanes4 a, row;
    Fetch(x, in.src[0], 0, &a);
    for (int c = 0; c < 4; ++c) {
        for (int l = 0; l < L; ++l)
            out->c[c][l] = 0.0f;
    }
    for (int i = 0; i < rows; ++i) {
        Fetch(x, in.src[1], i, &row);
        Dot(a, row, n, out->c[i]);
    }
}

void Lit(const Lanes4& a, Lanes4* out) {
    const float kMaxPower = 127.9961f;
    for (int l = 0; l < L; ++l) {
        float sx = a.c[0][l], sy = a.c[1][l], power = a.c[3][l];
        if (power < -kMaxPower)
            power = -kMaxPower;
        if (power > kMaxPower)
            power = kMaxPower;
        out->c[0][l] = 1.0f;
        out->c[1][l] = 0.0f;
        out->c[2][l] = 0.0f;
        out->c[3][l] = 1.0f;
        if (sx > 0.0f) {
            out->c[1][l] = sx;
            if (sy > 0.0f)
                out->c[2][l] = std::pow(sy, power);
        }
    }
}

void Normalise(const Lanes4& a, Lanes4* out) {
    float d[L];
    Dot(a, a, 3, d);
    for (int l = 0; l < L; ++l) {
        float f = d[l] != 0.0f ? 1.0f / std::sqrt(d[l]) : FLT_MAX;
        for (int c = 0; c < 4; ++c)
            out->c[c][l] = a.c[c][l] * f;
    }
}

void Mova(Context& x, const Destination& d, const Lanes4& a) {
    for (int c = 0; c < 4; ++c) {
        if (!(d.mask & (1u << c)))
            continue;
        for (int l = 0; l < L; ++l) {
            float v = std::floor(a.c[c][l] + 0.5f);
            // Far outside the constants any index reads zeros; keep it in int range.
            if (!(v > -65536.0f))
                v = -65536.0f;
            if (v > 65536.0f)
                v = 65536.0f;
            x.r.address[c][l] = static_cast<int32_t>(v);
        }
    }
}

void TexKill(Context& x, const Destination& d) {
    const Lanes4* reg = d.file == File::kTemp ? &x.r.temps[d.index] : &x.r.texCoords[d.index];
    for (int l = 0; l < L; ++l) {
        if (reg->c[0][l] < 0.0f || reg->c[1][l] < 0.0f || reg->c[2][l] < 0.0f)
            x.r.killed[l] = true;
    }
}

// Executes one arithmetic instruction.
void Execute(Context& x, const Instruction& in) {
    Lanes4 a, b, d, out;
    if (in.sourceCount > 0 && in.op != kOpM4x4 && in.op != kOpM4x3 && in.op != kOpM3x4 &&
        in.op != kOpM3x3 && in.op != kOpM3x2) {
        Fetch(x, in.src[0], 0, &a);
        if (in.sourceCount > 1 && in.op != kOpTex)
            Fetch(x, in.src[1], 0, &b);
        if (in.sourceCount > 2 && in.op != kOpSinCos)
            Fetch(x, in.src[2], 0, &d);
    }
    switch (in.op) {
        case kOpMov:
            out = a;
            break;
        case kOpAdd:
            Each2(a, b, &out, [](float p, float q) { return p + q; });
            break;
        case kOpSub:
            Each2(a, b, &out, [](float p, float q) { return p - q; });
            break;
        case kOpMul:
            Each2(a, b, &out, [](float p, float q) { return p * q; });
            break;
        case kOpMad:
            Each3(a, b, d, &out, [](float p, float q, float r) { return p * q + r; });
            break;
        case kOpLrp:
            Each3(a, b, d, &out, [](float p, float q, float r) { return p * (q - r) + r; });
            break;
        case kOpMin:
            Each2(a, b, &out, [](float p, float q) { return p < q ? p : q; });
            break;
        case kOpMax:
            Each2(a, b, &out, [](float p, float q) { return p >= q ? p : q; });
            break;
        case kOpSlt:
            Each2(a, b, &out, [](float p, float q) { return p < q ? 1.0f : 0.0f; });
            break;
        case kOpSge:
            Each2(a, b, &out, [](float p, float q) { return p >= q ? 1.0f : 0.0f; });
            break;
        case kOpCmp:
            Each3(a, b, d, &out, [](float p, float q, float r) { return p >= 0.0f ? q : r; });
            break;
        case kOpFrc:
            Each(a, &out, [](float p) { return p - std::floor(p); });
            break;
        case kOpAbs:
            Each(a, &out, [](float p) { return std::fabs(p); });
            break;
        case kOpSgn:
            Each(a, &out, [](float p) { return p > 0.0f ? 1.0f : (p < 0.0f ? -1.0f : 0.0f); });
            break;
        case kOpRcp:
            Scalar(a, &out, Rcp);
            break;
        case kOpRsq:
            Scalar(a, &out, Rsq);
            break;
        case kOpExp:
            Scalar(a, &out, [](float p) { return std::exp2(p); });
            break;
        case kOpLog:
        case kOpLogP:
            Scalar(a, &out, Log2);
            break;
        case kOpExpP:
            for (int l = 0; l < L; ++l) {
                float w = a.c[3][l], f = std::floor(w);
                out.c[0][l] = std::exp2(f);
                out.c[1][l] = w - f;
                out.c[2][l] = std::exp2(w);
                out.c[3][l] = 1.0f;
            }
            break;
        case kOpPow:
            for (int l = 0; l < L; ++l) {
                float v = Pow(a.c[3][l], b.c[3][l]);
                for (int c = 0; c < 4; ++c)
                    out.c[c][l] = v;
            }
            break;
        case kOpDp3:
        case kOpDp4: {
            float s[L];
            Dot(a, b, in.op == kOpDp3 ? 3 : 4, s);
            Replicate(s, &out);
            break;
        }
        case kOpDp2Add: {
            float s[L];
            for (int l = 0; l < L; ++l)
                s[l] = a.c[0][l] * b.c[0][l] + a.c[1][l] * b.c[1][l] + d.c[3][l];
            Replicate(s, &out);
            break;
        }
        case kOpLit:
            Lit(a, &out);
            break;
        case kOpDst:
            for (int l = 0; l < L; ++l) {
                out.c[0][l] = 1.0f;
                out.c[1][l] = a.c[1][l] * b.c[1][l];
                out.c[2][l] = a.c[2][l];
                out.c[3][l] = b.c[3][l];
            }
            break;
        case kOpCrs:
            for (int l = 0; l < L; ++l) {
                out.c[0][l] = a.c[1][l] * b.c[2][l] - a.c[2][l] * b.c[1][l];
                out.c[1][l] = a.c[2][l] * b.c[0][l] - a.c[0][l] * b.c[2][l];
                out.c[2][l] = a.c[0][l] * b.c[1][l] - a.c[1][l] * b.c[0][l];
                out.c[3][l] = 0.0f;
            }
            break;
        case kOpNrm:
            Normalise(a, &out);
            break;
        case kOpSinCos:
            for (int l = 0; l < L; ++l) {
                float v = a.c[3][l];
                out.c[0][l] = std::cos(v);
                out.c[1][l] = std::sin(v);
                out.c[2][l] = 0.0f;
                out.c[3][l] = 0.0f;
            }
            break;
        case kOpM4x4:
            Matrix(x, in, 4, 4, &out);
            break;
        case kOpM4x3:
            Matrix(x, in, 4, 3, &out);
            break;
        case kOpM3x4:
            Matrix(x, in, 3, 4, &out);
            break;
        case kOpM3x3:
            Matrix(x, in, 3, 3, &out);
            break;
        case kOpM3x2:
            Matrix(x, in, 3, 2, &out);
            break;
        case kOpMova:
            Mova(x, in.dst, a);
            return;
        case kOpTexKill:
            TexKill(x, in.dst);
            return;
        case kOpTex:
            if (x.sampler == nullptr) {
                for (int c = 0; c < 4; ++c) {
                    for (int l = 0; l < L; ++l)
                        out.c[c][l] = 0.0f;
                }
            } else {
                x.sampler->Sample(in.src[1].index, in.src[0], a, in.control, x.active, &out);
            }
            break;
        default:
            return;
    }
    Store(x, in.dst, out);
}

struct LoopFrame {
    int32_t start;
    int32_t remaining;
    int32_t counter;
    int32_t step;
};

}  // namespace

void ResetOutputs(ShaderRegisters* r) {
    auto zero = [](Lanes4* v) { std::memset(v, 0, sizeof *v); };
    zero(&r->outPos);
    zero(&r->outFog);
    zero(&r->outPts);
    for (Lanes4& v : r->outColor)
        zero(&v);
    for (Lanes4& v : r->outTex)
        zero(&v);
    for (Lanes4& v : r->outPixel)
        zero(&v);
    zero(&r->outDepth);
    std::memset(r->address, 0, sizeof r->address);
    std::memset(r->killed, 0, sizeof r->killed);
}

void ResetBlock(const ShaderProgram& program, ShaderRegisters* r) {
    for (const Destination& d : program.writtenOutputs) {
        Lanes4* out = DestinationOf(*r, d);
        if (out != nullptr)
            std::memset(out, 0, sizeof *out);
    }
    std::memset(r->address, 0, sizeof r->address);
    std::memset(r->killed, 0, sizeof r->killed);
}

void MergeConstants(const ShaderProgram& program, const float (*deviceFloats)[4], int floatCount,
                    const int32_t (*deviceInts)[4], const int* deviceBools, ShaderConstants* out) {
    std::memset(out, 0, sizeof *out);
    if (deviceFloats != nullptr) {
        int n = floatCount < kVertexFloatConstants ? floatCount : kVertexFloatConstants;
        std::memcpy(out->f, deviceFloats, sizeof(float) * 4 * static_cast<size_t>(n));
    }
    if (deviceInts != nullptr)
        std::memcpy(out->i, deviceInts, sizeof out->i);
    if (deviceBools != nullptr) {
        for (int i = 0; i < kBoolConstants; ++i)
            out->b[i] = deviceBools[i] != 0;
    }
    for (const FloatDefinition& d : program.floatDefs)
        std::memcpy(out->f[d.reg], d.value, sizeof d.value);
    for (const IntDefinition& d : program.intDefs)
        std::memcpy(out->i[d.reg], d.value, sizeof d.value);
    for (const BoolDefinition& d : program.boolDefs)
        out->b[d.reg] = d.value;
}

void RunShader(const ShaderProgram& program, const ShaderConstants& constants,
               ShaderRegisters* registers, uint32_t activeMask, const ShaderSampler* sampler) {
    Context x{program, constants, *registers, activeMask, sampler, 0};
    LoopFrame loops[8];
    int loopDepth = 0;
    int32_t calls[kCallDepth];
    int callDepth = 0;
    const std::vector<Instruction>& code = program.code;
    int32_t pc = 0;
    int32_t end = program.mainEnd;
    int executed = 0;
    while (pc < static_cast<int32_t>(code.size()) && ++executed <= kExecutedLimit) {
        if (callDepth == 0 && pc >= end)
            return;
        const Instruction& in = code[pc];
        switch (in.op) {
            case kOpIf:
                pc = constants.b[in.src[0].index] ? pc + 1 : in.jump + 1;
                continue;
            case kOpElse:
                pc = in.jump + 1;
                continue;
            case kOpRep:
            case kOpLoop: {
                const int32_t* i = constants.i[in.src[in.op == kOpRep ? 0 : 1].index];
                int32_t count = i[0] < 0 ? 0 : (i[0] > 255 ? 255 : i[0]);
                if (count == 0 || loopDepth == 8) {
                    pc = in.jump + 1;
                    continue;
                }
                // The documented ranges: start 0..255, step -128..127.
                int32_t start = std::clamp(i[1], 0, 255), step = std::clamp(i[2], -128, 127);
                loops[loopDepth++] = {pc, count, start, step};
                x.loopCounter = start;
                ++pc;
                continue;
            }
            case kOpEndRep:
            case kOpEndLoop: {
                LoopFrame& f = loops[loopDepth - 1];
                if (--f.remaining > 0) {
                    f.counter += f.step;
                    x.loopCounter = f.counter;
                    pc = f.start + 1;
                    continue;
                }
                --loopDepth;
                x.loopCounter = loopDepth > 0 ? loops[loopDepth - 1].counter : 0;
                ++pc;
                continue;
            }
            case kOpCall:
            case kOpCallNz:
                if (callDepth < kCallDepth && (in.op == kOpCall || constants.b[in.src[1].index])) {
                    calls[callDepth++] = pc + 1;
                    pc = in.jump + 1;
                } else {
                    ++pc;
                }
                continue;
            case kOpRet:
                if (callDepth == 0)
                    return;
                pc = calls[--callDepth];
                continue;
            case kOpEndIf:
            case kOpLabel:
            case kOpNop:
                ++pc;
                continue;
            default:
                Execute(x, in);
                ++pc;
                continue;
        }
    }
}

}  // namespace platform::shader
