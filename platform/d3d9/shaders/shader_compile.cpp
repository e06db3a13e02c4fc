// Checking and compiling a token stream (shader_program.h).
//
// Routes: CompileShader reads the version, then each instruction (CompileInstruction): its
// opcode must belong to the model (OpcodeInfo), its length must equal the parameters it takes
// (plus one token for each relatively addressed source), each parameter must name a register
// file and number the position takes (DecodeDestination, DecodeSource). DCL and DEF fill the
// declarations and constants; flow control is matched afterwards (MatchFlowControl).
#include <cstring>

#include "platform/d3d9/shaders/shader_program.h"

namespace platform::shader {
namespace {

struct OpcodeInfo {
    bool known = false;
    bool vertex = false;
    bool pixel = false;
    bool hasDestination = false;
    uint8_t sources = 0;
};

OpcodeInfo Info(uint32_t op) {
    auto both = [](bool dst, int n) { return OpcodeInfo{true, true, true, dst, uint8_t(n)}; };
    auto vs = [](bool dst, int n) { return OpcodeInfo{true, true, false, dst, uint8_t(n)}; };
    auto ps = [](bool dst, int n) { return OpcodeInfo{true, false, true, dst, uint8_t(n)}; };
    switch (op) {
        case kOpNop:
            return both(false, 0);
        case kOpMov:
        case kOpRcp:
        case kOpRsq:
        case kOpExp:
        case kOpLog:
        case kOpFrc:
        case kOpAbs:
        case kOpNrm:
            return both(true, 1);
        case kOpLit:
        case kOpSgn:
        case kOpMova:
        case kOpExpP:
        case kOpLogP:
            return vs(true, 1);
        case kOpAdd:
        case kOpSub:
        case kOpMul:
        case kOpDp3:
        case kOpDp4:
        case kOpMin:
        case kOpMax:
        case kOpPow:
        case kOpCrs:
        case kOpM4x4:
        case kOpM4x3:
        case kOpM3x4:
        case kOpM3x3:
        case kOpM3x2:
            return both(true, 2);
        case kOpSlt:
        case kOpSge:
        case kOpDst:
            return vs(true, 2);
        case kOpMad:
        case kOpLrp:
        case kOpSinCos:
            return both(true, 3);
        case kOpCmp:
        case kOpDp2Add:
            return ps(true, 3);
        case kOpTex:
            return ps(true, 2);
        case kOpTexKill:
            return ps(true, 0);
        case kOpCall:
        case kOpRep:
        case kOpIf:
        case kOpLabel:
            return vs(false, 1);
        case kOpCallNz:
        case kOpLoop:
            return vs(false, 2);
        case kOpRet:
        case kOpEndLoop:
        case kOpEndRep:
        case kOpElse:
        case kOpEndIf:
            return vs(false, 0);
        default:
            return {};
    }
}

struct Reader {
    const uint32_t* tokens;
    size_t count;
    ShaderKind kind;
    ShaderProgram* program;
    ShaderCompileResult result;

    bool Fail(ShaderError error, size_t at) {
        if (result.error == ShaderError::kNone) {
            result.error = error;
            result.tokenIndex = at;
        }
        return false;
    }
    bool Vertex() const { return kind == ShaderKind::kVertex; }
};

// The register file and highest number a register type names in this model, as a source or
// destination; File::kNone when the model has no such register there.
struct FileRange {
    File file = File::kNone;
    uint32_t count = 0;
};

FileRange SourceFile(ShaderKind kind, uint32_t type, uint32_t index) {
    bool vs = kind == ShaderKind::kVertex;
    switch (type) {
        case kRegTemp:
            return {File::kTemp, kMaxTemps};
        case kRegInput:
            return {File::kInput, vs ? uint32_t(kMaxVertexInputs) : 2u};
        case kRegConst:
            return {File::kConst, vs ? uint32_t(kVertexFloatConstants) : kPixelFloatConstants};
        case kRegAddress:
            return vs ? FileRange{File::kAddress, 1} : FileRange{File::kTexCoord, kMaxTexCoords};
        case kRegConstInt:
            return vs ? FileRange{File::kConstInt, kIntConstants} : FileRange{};
        case kRegConstBool:
            return vs ? FileRange{File::kConstBool, kBoolConstants} : FileRange{};
        case kRegLoop:
            return vs ? FileRange{File::kLoop, 1} : FileRange{};
        case kRegSampler:
            return vs ? FileRange{} : FileRange{File::kSampler, kMaxPixelSamplers};
        case kRegLabel:
            return vs ? FileRange{File::kLabel, 16} : FileRange{};
        default:
            (void)index;
            return {};
    }
}

FileRange DestinationFile(ShaderKind kind, uint32_t type, uint32_t index) {
    bool vs = kind == ShaderKind::kVertex;
    switch (type) {
        case kRegTemp:
            return {File::kTemp, kMaxTemps};
        case kRegAddress:  // t# only as texkill's operand (CheckDestination)
            return vs ? FileRange{File::kAddress, 1} : FileRange{File::kTexCoord, kMaxTexCoords};
        case kRegRastOut:
            if (!vs)
                return {};
            if (index == 0)
                return {File::kOutPos, 1};
            if (index == 1)
                return {File::kOutFog, 2};
            return {File::kOutPts, 3};
        case kRegAttrOut:
            return vs ? FileRange{File::kOutColor, 2} : FileRange{};
        case kRegTexCrdOut:
            return vs ? FileRange{File::kOutTex, kMaxTexCoords} : FileRange{};
        case kRegColorOut:
            return vs ? FileRange{} : FileRange{File::kOutPixel, 4};
        case kRegDepthOut:
            return vs ? FileRange{} : FileRange{File::kOutDepth, 1};
        default:
            return {};
    }
}

// Index within its file (the RASTOUT registers are files of one register each).
uint16_t IndexInFile(File file, uint32_t index) {
    if (file == File::kOutFog || file == File::kOutPts)
        return 0;
    return static_cast<uint16_t>(index);
}

bool DecodeDestination(Reader& r, size_t at, Destination* d) {
    uint32_t t = r.tokens[at];
    if (!(t & 0x80000000u))
        return r.Fail(ShaderError::kBadLength, at);
    uint32_t type = ParamType(t), index = ParamRegister(t);
    FileRange range = DestinationFile(r.kind, type, index);
    if (range.file == File::kNone)
        return r.Fail(ShaderError::kBadRegister, at);
    if (index >= range.count)
        return r.Fail(ShaderError::kRegisterOutOfRange, at);
    if (ParamRelative(t))
        return r.Fail(ShaderError::kBadModifier, at);
    uint32_t mask = DestMask(t);
    uint32_t modifier = DestModifier(t);
    if (mask == 0 || DestShift(t) != 0 ||
        (modifier & ~(kResultSaturate | kResultPartialPrecision | kResultCentroid)) != 0) {
        return r.Fail(ShaderError::kBadModifier, at);
    }
    d->file = range.file;
    d->index = IndexInFile(range.file, index);
    d->mask = static_cast<uint8_t>(mask);
    d->saturate = (modifier & kResultSaturate) != 0;
    return true;
}

bool ModifierKnown(uint32_t m) {
    return m <= kSrcX2Negate || m == kSrcAbs || m == kSrcAbsNegate;
}

// Decodes the source at `*at`, and its relative-address token after it; advances *at.
bool DecodeSource(Reader& r, size_t* at, size_t end, Operand* s) {
    uint32_t t = r.tokens[*at];
    if (!(t & 0x80000000u))
        return r.Fail(ShaderError::kBadLength, *at);
    uint32_t type = ParamType(t), index = ParamRegister(t);
    FileRange range = SourceFile(r.kind, type, index);
    if (range.file == File::kNone)
        return r.Fail(ShaderError::kBadRegister, *at);
    if (index >= range.count)
        return r.Fail(ShaderError::kRegisterOutOfRange, *at);
    if (!ModifierKnown(SourceModifierOf(t)))
        return r.Fail(ShaderError::kBadModifier, *at);
    s->file = range.file;
    s->index = static_cast<uint16_t>(index);
    s->modifier = static_cast<uint8_t>(SourceModifierOf(t));
    uint32_t swizzle = SourceSwizzle(t);
    for (int c = 0; c < 4; ++c)
        s->swizzle[c] = static_cast<uint8_t>((swizzle >> (2 * c)) & 3u);
    ++*at;
    if (!ParamRelative(t))
        return true;
    // Relative addressing: constants only, in vertex shaders, through a0 or aL.
    if (!r.Vertex() || range.file != File::kConst)
        return r.Fail(ShaderError::kBadModifier, *at - 1);
    if (*at >= end)
        return r.Fail(ShaderError::kBadLength, *at);
    uint32_t a = r.tokens[*at];
    uint32_t aType = ParamType(a);
    if (!(a & 0x80000000u) || (aType != kRegAddress && aType != kRegLoop) || ParamRegister(a) != 0)
        return r.Fail(ShaderError::kBadRegister, *at);
    s->relative = aType == kRegAddress ? File::kAddress : File::kLoop;
    s->relativeComponent = static_cast<uint8_t>(SourceSwizzle(a) & 3u);
    ++*at;
    return true;
}

bool CheckSources(Reader& r, const Instruction& in, size_t at) {
    auto is = [&](int i, File f) { return in.src[i].file == f; };
    auto isValue = [&](int i) {
        File f = in.src[i].file;
        return f == File::kTemp || f == File::kInput || f == File::kConst || f == File::kTexCoord;
    };
    switch (in.op) {
        case kOpRep:
            return is(0, File::kConstInt) || r.Fail(ShaderError::kBadRegister, at);
        case kOpLoop:
            return (is(0, File::kLoop) && is(1, File::kConstInt)) ||
                   r.Fail(ShaderError::kBadRegister, at);
        case kOpIf:
            return is(0, File::kConstBool) || r.Fail(ShaderError::kBadRegister, at);
        case kOpCall:
        case kOpLabel:
            return is(0, File::kLabel) || r.Fail(ShaderError::kBadRegister, at);
        case kOpCallNz:
            return (is(0, File::kLabel) && is(1, File::kConstBool)) ||
                   r.Fail(ShaderError::kBadRegister, at);
        case kOpTex:
            return ((is(0, File::kTexCoord) || is(0, File::kTemp)) && is(1, File::kSampler)) ||
                   r.Fail(ShaderError::kBadRegister, at);
        default:
            for (int i = 0; i < in.sourceCount; ++i) {
                if (!isValue(i))
                    return r.Fail(ShaderError::kBadRegister, at);
            }
            return true;
    }
}

bool CheckDestination(Reader& r, const Instruction& in, size_t at) {
    bool address = in.dst.file == File::kAddress;
    if ((in.op == kOpMova) != address)
        return r.Fail(ShaderError::kBadRegister, at);
    bool texKill = in.op == kOpTexKill;
    if (texKill && in.dst.file != File::kTemp && in.dst.file != File::kTexCoord)
        return r.Fail(ShaderError::kBadRegister, at);
    if (!texKill && in.dst.file == File::kTexCoord)
        return r.Fail(ShaderError::kBadRegister, at);
    return true;
}

bool CompileDeclaration(Reader& r, size_t at, size_t end) {
    if (end - at != 2)
        return r.Fail(ShaderError::kBadLength, at);
    uint32_t usageToken = r.tokens[at];
    uint32_t t = r.tokens[at + 1];
    if (!(usageToken & 0x80000000u) || !(t & 0x80000000u))
        return r.Fail(ShaderError::kBadLength, at);
    uint32_t type = ParamType(t), index = ParamRegister(t);
    ShaderProgram& p = *r.program;
    if (type == kRegSampler && !r.Vertex()) {
        uint32_t textureType = (usageToken >> 27) & 0xFu;
        if (textureType != kSampler2D && textureType != kSamplerCube &&
            textureType != kSamplerVolume) {
            return r.Fail(ShaderError::kBadDeclaration, at);
        }
        if (index >= kMaxPixelSamplers)
            return r.Fail(ShaderError::kRegisterOutOfRange, at + 1);
        p.samplerTypes[index] = textureType;
        return true;
    }
    InputDeclaration d;
    d.usage = static_cast<uint8_t>(usageToken & 0x1Fu);
    d.usageIndex = static_cast<uint8_t>((usageToken >> 16) & 0xFu);
    d.reg = static_cast<uint16_t>(index);
    d.mask = static_cast<uint8_t>(DestMask(t));
    if (r.Vertex()) {
        if (type != kRegInput)
            return r.Fail(ShaderError::kBadRegister, at + 1);
        if (index >= kMaxVertexInputs)
            return r.Fail(ShaderError::kRegisterOutOfRange, at + 1);
        if (d.usage > kUsageSample)
            return r.Fail(ShaderError::kBadDeclaration, at);
        p.inputs.push_back(d);
        return true;
    }
    // Pixel inputs: v0, v1 (colours) and t0..t7.
    if (type == kRegInput) {
        if (index >= 2)
            return r.Fail(ShaderError::kRegisterOutOfRange, at + 1);
        p.readsInput[index] = true;
    } else if (type == kRegTexture) {
        if (index >= kMaxTexCoords)
            return r.Fail(ShaderError::kRegisterOutOfRange, at + 1);
        p.readsTexCoord[index] = true;
    } else {
        return r.Fail(ShaderError::kBadRegister, at + 1);
    }
    p.inputs.push_back(d);
    return true;
}

bool CompileDefinition(Reader& r, uint32_t op, size_t at, size_t end) {
    size_t values = op == kOpDefB ? 1 : 4;
    if (end - at != 1 + values)
        return r.Fail(ShaderError::kBadLength, at);
    uint32_t t = r.tokens[at];
    uint32_t type = ParamType(t), index = ParamRegister(t);
    uint32_t want = op == kOpDef ? kRegConst : (op == kOpDefI ? kRegConstInt : kRegConstBool);
    if (!(t & 0x80000000u) || type != want)
        return r.Fail(ShaderError::kBadRegister, at);
    FileRange range = SourceFile(r.kind, type, index);
    if (range.file == File::kNone)
        return r.Fail(ShaderError::kBadRegister, at);
    if (index >= range.count)
        return r.Fail(ShaderError::kRegisterOutOfRange, at);
    ShaderProgram& p = *r.program;
    if (op == kOpDef) {
        FloatDefinition d{static_cast<uint16_t>(index), {}};
        std::memcpy(d.value, r.tokens + at + 1, 16);
        p.floatDefs.push_back(d);
    } else if (op == kOpDefI) {
        IntDefinition d{static_cast<uint16_t>(index), {}};
        std::memcpy(d.value, r.tokens + at + 1, 16);
        p.intDefs.push_back(d);
    } else {
        p.boolDefs.push_back({static_cast<uint16_t>(index), r.tokens[at + 1] != 0});
    }
    return true;
}

bool CompileInstruction(Reader& r, size_t at, uint32_t token, size_t end) {
    uint32_t op = TokenOpcode(token);
    if (op == kOpDcl)
        return CompileDeclaration(r, at + 1, end);
    if (op == kOpDef || op == kOpDefI || op == kOpDefB) {
        if (op != kOpDef && !r.Vertex())
            return r.Fail(ShaderError::kUnknownOpcode, at);
        return CompileDefinition(r, op, at + 1, end);
    }
    OpcodeInfo info = Info(op);
    if (!info.known || !(r.Vertex() ? info.vertex : info.pixel))
        return r.Fail(ShaderError::kUnknownOpcode, at);
    if (token & 0x90000000u)  // predication and bit 31 belong to later models
        return r.Fail(ShaderError::kBadModifier, at);
    Instruction in;
    in.op = static_cast<uint16_t>(op);
    in.control = TokenControl(token);
    size_t p = at + 1;
    if (info.hasDestination) {
        if (p >= end)
            return r.Fail(ShaderError::kBadLength, at);
        if (!DecodeDestination(r, p, &in.dst))
            return false;
        ++p;
    }
    // vertex sincos takes two constants beside its source; the pixel form in 2.0 does too.
    for (int i = 0; i < info.sources; ++i) {
        if (p >= end)
            return r.Fail(ShaderError::kBadLength, at);
        if (!DecodeSource(r, &p, end, &in.src[i]))
            return false;
    }
    if (p != end)
        return r.Fail(ShaderError::kBadLength, at);
    in.sourceCount = info.sources;
    if (op == kOpTex && (in.control & ~(kTexProject | kTexBias)) != 0)
        return r.Fail(ShaderError::kBadModifier, at);
    if (op != kOpTex && op != kOpIf && in.control != 0)
        return r.Fail(ShaderError::kBadModifier, at);
    if (op == kOpIf && in.control != 0)  // if with a comparison belongs to later models
        return r.Fail(ShaderError::kUnknownOpcode, at);
    if (op == kOpSinCos && (in.dst.mask & 0xC) != 0)
        return r.Fail(ShaderError::kBadModifier, at);
    if (info.hasDestination && !CheckDestination(r, in, at + 1))
        return false;
    if (!CheckSources(r, in, at))
        return false;
    ShaderProgram& prog = *r.program;
    if (in.dst.file == File::kOutDepth)
        prog.writesDepth = true;
    if (in.dst.file == File::kOutFog)
        prog.writesFog = true;
    if (op == kOpTexKill)
        prog.usesTexKill = true;
    for (int i = 0; i < in.sourceCount; ++i) {
        if (in.src[i].file == File::kTexCoord)
            prog.readsTexCoord[in.src[i].index] = true;
        if (in.src[i].file == File::kInput && !r.Vertex())
            prog.readsInput[in.src[i].index] = true;
    }
    if (op == kOpTexKill && in.dst.file == File::kTexCoord)
        prog.readsTexCoord[in.dst.index] = true;
    bool output = in.dst.file >= File::kOutPos && in.dst.file <= File::kOutDepth;
    if (info.hasDestination && output) {
        bool known = false;
        for (const Destination& d : prog.writtenOutputs)
            known = known || (d.file == in.dst.file && d.index == in.dst.index);
        if (!known)
            prog.writtenOutputs.push_back(in.dst);
    }
    if (prog.code.size() >= static_cast<size_t>(kMaxInstructions))
        return r.Fail(ShaderError::kTooLong, at);
    prog.code.push_back(in);
    return true;
}

// Pairs if/else/endif, rep/endrep and loop/endloop; finds the main program's end (its first
// ret outside any block) and each label.
bool MatchFlowControl(Reader& r) {
    ShaderProgram& p = *r.program;
    p.labels.assign(16, -1);
    p.mainEnd = static_cast<int32_t>(p.code.size());
    struct Open {
        uint16_t op;
        int32_t at;
    };
    std::vector<Open> stack;
    int loops = 0;
    bool inSubroutine = false;
    for (int32_t i = 0; i < static_cast<int32_t>(p.code.size()); ++i) {
        Instruction& in = p.code[i];
        switch (in.op) {
            case kOpIf:
            case kOpRep:
            case kOpLoop:
                if (in.op != kOpIf && ++loops > 4)
                    return r.Fail(ShaderError::kBadFlowControl, 0);
                if (stack.size() >= 24)
                    return r.Fail(ShaderError::kBadFlowControl, 0);
                stack.push_back({in.op, i});
                break;
            case kOpElse:
                if (stack.empty() || stack.back().op != kOpIf)
                    return r.Fail(ShaderError::kBadFlowControl, 0);
                p.code[stack.back().at].jump = i;
                stack.back() = {kOpElse, i};
                break;
            case kOpEndIf:
                if (stack.empty() || (stack.back().op != kOpIf && stack.back().op != kOpElse))
                    return r.Fail(ShaderError::kBadFlowControl, 0);
                p.code[stack.back().at].jump = i;
                stack.pop_back();
                break;
            case kOpEndRep:
            case kOpEndLoop: {
                uint16_t want = in.op == kOpEndRep ? kOpRep : kOpLoop;
                if (stack.empty() || stack.back().op != want)
                    return r.Fail(ShaderError::kBadFlowControl, 0);
                p.code[stack.back().at].jump = i;
                in.jump = stack.back().at;
                stack.pop_back();
                --loops;
                break;
            }
            case kOpRet:
                if (!stack.empty())
                    return r.Fail(ShaderError::kBadFlowControl, 0);
                if (!inSubroutine && p.mainEnd == static_cast<int32_t>(p.code.size()))
                    p.mainEnd = i;
                inSubroutine = false;
                break;
            case kOpLabel:
                // Labels begin subroutines, after the main program's ret.
                if (!stack.empty() || p.mainEnd == static_cast<int32_t>(p.code.size()) ||
                    p.labels[in.src[0].index] >= 0) {
                    return r.Fail(ShaderError::kBadFlowControl, 0);
                }
                p.labels[in.src[0].index] = i;
                inSubroutine = true;
                break;
            default:
                break;
        }
    }
    if (!stack.empty())
        return r.Fail(ShaderError::kBadFlowControl, 0);
    for (Instruction& in : p.code) {
        if (in.op != kOpCall && in.op != kOpCallNz)
            continue;
        int32_t target = p.labels[in.src[0].index];
        if (target < 0)
            return r.Fail(ShaderError::kBadFlowControl, 0);
        in.jump = target;
    }
    return true;
}

}  // namespace

const char* ShaderErrorName(ShaderError error) {
    switch (error) {
#define TESSEL_SHADER_ERROR_NAME(name, text) \
    case ShaderError::k##name:               \
        return #name;
        TESSEL_SHADER_ERRORS(TESSEL_SHADER_ERROR_NAME)
#undef TESSEL_SHADER_ERROR_NAME
    }
    return "?";
}

const char* ShaderErrorText(ShaderError error) {
    switch (error) {
#define TESSEL_SHADER_ERROR_TEXT(name, text) \
    case ShaderError::k##name:               \
        return text;
        TESSEL_SHADER_ERRORS(TESSEL_SHADER_ERROR_TEXT)
#undef TESSEL_SHADER_ERROR_TEXT
    }
    return "?";
}

size_t ShaderStreamLength(const uint32_t* tokens, size_t limit) {
    if (limit == 0)
        return 0;
    size_t i = 1;  // past the version token
    while (i < limit) {
        uint32_t t = tokens[i];
        if (t == kEndToken)
            return i + 1;
        size_t skip = TokenOpcode(t) == kOpComment ? CommentLength(t) : TokenLength(t);
        i += 1 + skip;
    }
    return 0;
}

ShaderCompileResult CompileShader(const uint32_t* tokens, size_t count, ShaderKind expected,
                                  ShaderProgram* program) {
    *program = ShaderProgram{};
    Reader r{tokens, count, expected, program, {}};
    if (count == 0) {
        r.Fail(ShaderError::kNoEndToken, 0);
        return r.result;
    }
    uint32_t want = expected == ShaderKind::kVertex ? VertexVersion(2, 0) : PixelVersion(2, 0);
    if (tokens[0] != want) {
        r.Fail(ShaderError::kBadVersion, 0);
        return r.result;
    }
    program->kind = expected;
    program->version = tokens[0];
    size_t i = 1;
    for (;;) {
        if (i >= count) {
            r.Fail(ShaderError::kNoEndToken, i);
            return r.result;
        }
        uint32_t t = tokens[i];
        if (t == kEndToken)
            break;
        if (TokenOpcode(t) == kOpComment) {
            i += 1 + CommentLength(t);
            continue;
        }
        if (t & 0x80000000u) {
            r.Fail(ShaderError::kBadLength, i);
            return r.result;
        }
        size_t end = i + 1 + TokenLength(t);
        if (end > count) {
            r.Fail(ShaderError::kNoEndToken, count);
            return r.result;
        }
        if (!CompileInstruction(r, i, t, end))
            return r.result;
        i = end;
    }
    MatchFlowControl(r);
    return r.result;
}

}  // namespace platform::shader
