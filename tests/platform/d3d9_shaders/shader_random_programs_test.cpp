// Random valid vertex programs from the assembler: the compiled form run a block at a time must
// give, bit for bit, what the plain per-instruction interpreter (plain_interpreter.h) gives
// each vertex on random inputs and constants.
#include <cstdio>
#include <random>
#include <string>

#include "plain_interpreter.h"
#include "shader_test_support.h"

namespace {

using namespace shadertest;

struct Generator {
    std::mt19937 rng;

    int Pick(int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); }

    float Value() {
        switch (Pick(8)) {
            case 0:
                return 0.0f;
            case 1:
                return Pick(2) ? 1.0f : -1.0f;
            case 2:
                return static_cast<float>(Pick(9) - 4) * 0.5f;
            case 3:
                return std::ldexp(static_cast<float>(Pick(1000)) - 500.0f, Pick(20) - 10);
            default:
                return std::uniform_real_distribution<float>(-4.0f, 4.0f)(rng);
        }
    }

    const char* Mask() {
        static const char* kMasks[] = {"x", "y", "z", "w", "xy", "xz", "yw", "xyz", "xyzw"};
        return kMasks[Pick(9)];
    }

    const char* Swizzle() {
        static const char* kSwizzles[] = {"xyzw", "xyzw", "x",    "y",    "z",
                                          "w",    "wzyx", "yzxw", "zwxy", "xxyy"};
        return kSwizzles[Pick(10)];
    }

    Src Source(bool addressed) {
        Src s;
        switch (Pick(addressed ? 4 : 3)) {
            case 0:
                s = R(Pick(8));
                break;
            case 1:
                s = V(Pick(4));
                break;
            case 2:
                s = C(Pick(16));
                break;
            default:
                s = C(Pick(16)).RelA0(Pick(2));
                break;
        }
        s = s.Swz(Swizzle());
        switch (Pick(6)) {
            case 0:
                s = s.Mod(kSrcNegate);
                break;
            case 1:
                s = s.Mod(kSrcAbs);
                break;
            case 2:
                s = s.Mod(kSrcAbsNegate);
                break;
            default:
                break;
        }
        return s;
    }

    std::vector<uint32_t> Program() {
        ShaderBuilder b = ShaderBuilder::Vertex();
        b.DclInput(kUsagePosition, 0, V(0));
        b.DclInput(kUsageNormal, 0, V(1));
        b.DclInput(kUsageColor, 0, V(2));
        b.DclInput(kUsageTexCoord, 0, V(3));
        if (Pick(2))
            b.Def(static_cast<uint32_t>(Pick(16)), Value(), Value(), Value(), Value());
        for (int r = 0; r < 8; ++r)
            b.Emit(kOpMov, R(r), {V(r % 4).Swz(Swizzle())});
        bool addressed = false;
        bool inRep = false;
        uint32_t reps = 0;
        int count = 4 + Pick(24);
        for (int k = 0; k < count; ++k) {
            if (!inRep && reps < 16 && Pick(12) == 0) {
                // Each loop its own integer register: DEFI values hold for the whole program.
                b.DefI(reps, 1 + Pick(3), 0, 0, 0);
                b.Emit(kOpRep, {I(reps++)});
                inRep = true;
            } else if (inRep && Pick(5) == 0) {
                b.Emit(kOpEndRep);
                inRep = false;
            }
            if (Pick(8) == 0) {
                b.Emit(kOpMova, A0().Mask("xy"), {Source(addressed)});
                addressed = true;
                continue;
            }
            static const Opcode kOps1[] = {kOpMov, kOpRcp, kOpRsq, kOpExp, kOpLog,
                                           kOpLit, kOpFrc, kOpAbs, kOpNrm, kOpSgn};
            static const Opcode kOps2[] = {kOpAdd, kOpSub, kOpMul, kOpDp3, kOpDp4, kOpMin,
                                           kOpMax, kOpSlt, kOpSge, kOpDst, kOpPow, kOpCrs};
            static const Opcode kOps3[] = {kOpMad, kOpLrp};
            Dst d = R(Pick(8)).Mask(Mask());
            if (Pick(6) == 0)
                d = d.Sat();
            int kind = Pick(10);
            if (kind < 3) {
                Opcode op = kOps1[Pick(10)];
                b.Emit(op, d, {Source(addressed)});
            } else if (kind < 8) {
                Opcode op = kOps2[Pick(12)];
                if (op == kOpCrs)
                    d = R(Pick(8)).Mask("xyz");
                b.Emit(op, d, {Source(addressed), Source(addressed)});
            } else if (kind < 9) {
                b.Emit(kOps3[Pick(2)], d,
                       {Source(addressed), Source(addressed), Source(addressed)});
            } else {
                static const Opcode kMatrices[] = {kOpM4x4, kOpM4x3, kOpM3x3};
                Opcode op = kMatrices[Pick(3)];
                b.Emit(op, R(Pick(8)).Mask(op == kOpM4x4 ? "xyzw" : "xyz"),
                       {Source(false), C(Pick(13))});
            }
        }
        if (inRep)
            b.Emit(kOpEndRep);
        if (Pick(4) == 0)
            b.Emit(kOpSinCos, R(0).Mask("xy"), {R(1).Swz("z"), C(0), C(1)});
        b.Emit(kOpMov, OPos(), {R(0)});
        for (int t = 0; t < 4; ++t)
            b.Emit(kOpMov, OT(t), {R(1 + t)});
        b.Emit(kOpMov, OD(0).Sat(), {R(5)});
        b.Emit(kOpMov, OD(1), {R(6)});
        return b.Finish();
    }
};

std::string Dump(const std::vector<uint32_t>& tokens) {
    std::string out;
    char buf[16];
    for (uint32_t t : tokens) {
        std::snprintf(buf, sizeof buf, " %08x", t);
        out += buf;
    }
    return out;
}

// FNV-1a over the bits of the outputs (NaNs of any payload counted as one).
void Mix(uint64_t* hash, const Vec4& v) {
    for (float f : v) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        if (f != f)
            bits = 0x7FC00000u;
        for (int i = 0; i < 4; ++i) {
            *hash ^= (bits >> (8 * i)) & 255u;
            *hash *= 1099511628211ull;
        }
    }
}

constexpr uint64_t kOutputHash = 2298834389256985130ull;

bool Same(const Vec4& a, const std::array<float, 4>& b) {
    for (int c = 0; c < 4; ++c) {
        if (!SameBits(a[c], b[c]))
            return false;
    }
    return true;
}

TEST(ShaderRandomPrograms, CompiledBlocksEqualThePlainInterpreter) {
    Generator gen{std::mt19937(20261210u)};
    int programs = 0, compared = 0;
    uint64_t hash = 14695981039346656037ull;
    for (int n = 0; n < 2000; ++n) {
        std::vector<uint32_t> tokens = gen.Program();
        ShaderProgram program = Compile(tokens, ShaderKind::kVertex);
        ASSERT_FALSE(::testing::Test::HasFailure()) << "program " << n;
        Block block;
        for (int r = 0; r < 16; ++r)
            block.SetConstant(r, {gen.Value(), gen.Value(), gen.Value(), gen.Value()});
        std::vector<PlainVertex> plain(kShaderLanes);
        for (int l = 0; l < kShaderLanes; ++l) {
            for (int r = 0; r < 4; ++r) {
                Vec4 v = {gen.Value(), gen.Value(), gen.Value(), gen.Value()};
                block.SetInput(r, l, v);
                plain[l].inputs[r] = v;
            }
        }
        block.Run(program);
        ++programs;
        for (int l = 0; l < kShaderLanes; ++l) {
            Mix(&hash, Block::Lane(block.regs.outPos, l));
            for (int t = 0; t < 4; ++t)
                Mix(&hash, Block::Lane(block.regs.outTex[t], l));
            for (int d = 0; d < 2; ++d)
                Mix(&hash, Block::Lane(block.regs.outColor[d], l));
        }
        for (int l = 0; l < kShaderLanes; ++l) {
            ASSERT_TRUE(RunPlain(tokens, block.constants.f, &plain[l])) << "program " << n;
            ASSERT_TRUE(Same(Block::Lane(block.regs.outPos, l), plain[l].pos))
                << "program " << n << " lane " << l;
            for (int t = 0; t < 4; ++t) {
                Vec4 got = Block::Lane(block.regs.outTex[t], l);
                ASSERT_TRUE(Same(got, plain[l].tex[t]))
                    << "program " << n << " lane " << l << " oT" << t << ": " << got[0] << " "
                    << got[1] << " " << got[2] << " " << got[3] << " plain " << plain[l].tex[t][0]
                    << " " << plain[l].tex[t][1] << " " << plain[l].tex[t][2] << " "
                    << plain[l].tex[t][3] << Dump(tokens);
            }
            for (int d = 0; d < 2; ++d) {
                ASSERT_TRUE(Same(Block::Lane(block.regs.outColor[d], l), plain[l].colour[d]))
                    << "program " << n << " lane " << l << " oD" << d;
            }
            ++compared;
        }
    }
    EXPECT_EQ(programs, 2000);
    EXPECT_EQ(compared, 2000 * kShaderLanes);
    // Every output bit of every program, recorded from the optimised build: the unoptimised
    // sanitizer build must compute the very same floats.
    EXPECT_EQ(hash, kOutputHash) << std::hex << hash;
}

}  // namespace
