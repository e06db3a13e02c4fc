// The shader assembler (shader_builder.h).
#include "platform/d3d9/shaders/shader_builder.h"

#include <cstring>

namespace platform::shader {
namespace {

int LetterIndex(char c) {
    switch (c) {
        case 'x':
        case 'r':
            return 0;
        case 'y':
        case 'g':
            return 1;
        case 'z':
        case 'b':
            return 2;
        default:
            return 3;
    }
}

}  // namespace

Src Src::Swz(const char* letters) const {
    Src s = *this;
    size_t n = std::strlen(letters);
    uint32_t swizzle = 0;
    int last = 0;
    for (size_t c = 0; c < 4; ++c) {
        if (c < n)
            last = LetterIndex(letters[c]);
        swizzle |= static_cast<uint32_t>(last) << (2 * c);
    }
    s.swizzle = swizzle;
    return s;
}

Src Src::Mod(uint32_t m) const {
    Src s = *this;
    s.modifier = m;
    return s;
}

Src Src::operator-() const {
    return Mod(modifier == kSrcNegate ? kSrcNone : kSrcNegate);
}

Src Src::RelA0(int component) const {
    Src s = *this;
    s.relative = component;
    return s;
}

Src Src::RelLoop() const {
    Src s = *this;
    s.relative = 4;
    return s;
}

Dst Dst::Mask(const char* letters) const {
    Dst d = *this;
    d.mask = 0;
    for (const char* p = letters; *p != 0; ++p)
        d.mask |= 1u << LetterIndex(*p);
    return d;
}

Dst Dst::Sat() const {
    Dst d = *this;
    d.modifier |= kResultSaturate;
    return d;
}

ShaderBuilder ShaderBuilder::Vertex() {
    return WithVersion(VertexVersion(2, 0));
}

ShaderBuilder ShaderBuilder::Pixel() {
    return WithVersion(PixelVersion(2, 0));
}

ShaderBuilder ShaderBuilder::WithVersion(uint32_t versionToken) {
    ShaderBuilder b;
    b.tokens_.push_back(versionToken);
    return b;
}

void ShaderBuilder::Instruction(uint32_t op, uint32_t control,
                                const std::vector<uint32_t>& params) {
    tokens_.push_back(op | ((control & 0xFFu) << 16) |
                      (static_cast<uint32_t>(params.size() & 0xFu) << 24));
    tokens_.insert(tokens_.end(), params.begin(), params.end());
}

void ShaderBuilder::AppendSource(const Src& s, std::vector<uint32_t>* out) {
    uint32_t t = ParamToken(s.type, s.index) | (s.swizzle << 16) | ((s.modifier & 0xFu) << 24);
    if (s.relative >= 0)
        t |= 1u << 13;
    out->push_back(t);
    if (s.relative == 4) {
        out->push_back(ParamToken(kRegLoop, 0) | (kSwizzleIdentity << 16));
    } else if (s.relative >= 0) {
        uint32_t c = static_cast<uint32_t>(s.relative);
        out->push_back(ParamToken(kRegAddress, 0) | (Swizzle(c, c, c, c) << 16));
    }
}

uint32_t ShaderBuilder::DestinationToken(const Dst& d) {
    return ParamToken(d.type, d.index) | ((d.mask & 0xFu) << 16) | ((d.modifier & 0xFu) << 20);
}

ShaderBuilder& ShaderBuilder::Emit(Opcode op, const Dst& dst, std::initializer_list<Src> sources,
                                   uint32_t control) {
    std::vector<uint32_t> params{DestinationToken(dst)};
    for (const Src& s : sources)
        AppendSource(s, &params);
    Instruction(op, control, params);
    return *this;
}

ShaderBuilder& ShaderBuilder::Emit(Opcode op, std::initializer_list<Src> sources) {
    std::vector<uint32_t> params;
    for (const Src& s : sources)
        AppendSource(s, &params);
    Instruction(op, 0, params);
    return *this;
}

ShaderBuilder& ShaderBuilder::DclInput(uint32_t usage, uint32_t usageIndex, const Dst& reg) {
    Instruction(
        kOpDcl, 0,
        {0x80000000u | (usage & 0x1Fu) | ((usageIndex & 0xFu) << 16), DestinationToken(reg)});
    return *this;
}

ShaderBuilder& ShaderBuilder::DclPixelInput(const Dst& reg) {
    Instruction(kOpDcl, 0, {0x80000000u, DestinationToken(reg)});
    return *this;
}

ShaderBuilder& ShaderBuilder::DclSampler(uint32_t sampler, uint32_t textureType) {
    Instruction(kOpDcl, 0,
                {0x80000000u | ((textureType & 0xFu) << 27), DestinationToken(S(sampler))});
    return *this;
}

ShaderBuilder& ShaderBuilder::Def(uint32_t reg, float x, float y, float z, float w) {
    float v[4] = {x, y, z, w};
    std::vector<uint32_t> params{DestinationToken(C(reg))};
    for (float f : v) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        params.push_back(bits);
    }
    Instruction(kOpDef, 0, params);
    return *this;
}

ShaderBuilder& ShaderBuilder::DefI(uint32_t reg, int32_t x, int32_t y, int32_t z, int32_t w) {
    Instruction(kOpDefI, 0,
                {DestinationToken(I(reg)), static_cast<uint32_t>(x), static_cast<uint32_t>(y),
                 static_cast<uint32_t>(z), static_cast<uint32_t>(w)});
    return *this;
}

ShaderBuilder& ShaderBuilder::DefB(uint32_t reg, bool value) {
    Instruction(kOpDefB, 0, {DestinationToken(B(reg)), value ? 1u : 0u});
    return *this;
}

ShaderBuilder& ShaderBuilder::Comment(std::initializer_list<uint32_t> words) {
    tokens_.push_back(kOpComment | (static_cast<uint32_t>(words.size()) << 16));
    tokens_.insert(tokens_.end(), words.begin(), words.end());
    return *this;
}

ShaderBuilder& ShaderBuilder::Raw(uint32_t token) {
    tokens_.push_back(token);
    return *this;
}

std::vector<uint32_t> ShaderBuilder::Finish() const {
    std::vector<uint32_t> out = tokens_;
    out.push_back(kEndToken);
    return out;
}

}  // namespace platform::shader
