// Each instruction of the shader machine against its documented definition on chosen values,
// with the special cases (rcp of 0, rsq of a negative, log of 0, lit's clamps), swizzles,
// write masks, source modifiers and saturate.
#include <cfloat>
#include <cmath>

#include "shader_test_support.h"

namespace {

using namespace shadertest;

constexpr float kInf = INFINITY;

struct Case {
    const char* name;
    Opcode op;
    int sources;
    Vec4 a, b, c;
    Vec4 expected;
    const char* mask = "xyzw";
};

// op oT0, c0, c1, c2 on every lane; oT0's untouched components stay 0.
Vec4 RunOp(const Case& k) {
    ShaderBuilder b = ShaderBuilder::Vertex();
    if (k.sources == 1)
        b.Emit(k.op, OT(0).Mask(k.mask), {C(0)});
    else if (k.sources == 2)
        b.Emit(k.op, OT(0).Mask(k.mask), {C(0), C(1)});
    else
        b.Emit(k.op, OT(0).Mask(k.mask), {C(0), C(1), C(2)});
    ShaderProgram p = Compile(b.Finish(), ShaderKind::kVertex);
    Block block;
    block.SetConstant(0, k.a);
    block.SetConstant(1, k.b);
    block.SetConstant(2, k.c);
    block.Run(p);
    Vec4 lane0 = Block::Lane(block.regs.outTex[0], 0);
    Vec4 lane7 = Block::Lane(block.regs.outTex[0], kShaderLanes - 1);
    EXPECT_EQ(lane0, lane7) << k.name << ": lanes differ";
    return lane0;
}

const Case kCases[] = {
    {"mov", kOpMov, 1, {1.5f, -2, 3, 4}, {}, {}, {1.5f, -2, 3, 4}},
    {"add", kOpAdd, 2, {1, 2, 3, 4}, {0.5f, -1, 10, -4}, {}, {1.5f, 1, 13, 0}},
    {"sub", kOpSub, 2, {1, 2, 3, 4}, {0.5f, -1, 10, -4}, {}, {0.5f, 3, -7, 8}},
    {"mul", kOpMul, 2, {1, 2, 3, 4}, {0.5f, -1, 10, -4}, {}, {0.5f, -2, 30, -16}},
    {"mad", kOpMad, 3, {1, 2, 3, 4}, {2, 3, 4, 5}, {1, -1, 0.5f, 0}, {3, 5, 12.5f, 20}},
    {"dp3", kOpDp3, 2, {1, 2, 3, 100}, {4, 5, 6, 100}, {}, {32, 32, 32, 32}},
    {"dp4", kOpDp4, 2, {1, 2, 3, 4}, {4, 5, 6, 7}, {}, {60, 60, 60, 60}},
    {"rcp", kOpRcp, 1, {0, 0, 0, 4}, {}, {}, {0.25f, 0.25f, 0.25f, 0.25f}},
    {"rcp of 0", kOpRcp, 1, {9, 9, 9, 0}, {}, {}, {kInf, kInf, kInf, kInf}},
    {"rcp of -0", kOpRcp, 1, {9, 9, 9, -0.0f}, {}, {}, {kInf, kInf, kInf, kInf}},
    {"rsq", kOpRsq, 1, {0, 0, 0, 16}, {}, {}, {0.25f, 0.25f, 0.25f, 0.25f}},
    {"rsq of negative", kOpRsq, 1, {0, 0, 0, -4}, {}, {}, {0.5f, 0.5f, 0.5f, 0.5f}},
    {"rsq of 0", kOpRsq, 1, {0, 0, 0, 0}, {}, {}, {kInf, kInf, kInf, kInf}},
    {"min", kOpMin, 2, {1, -2, 3, 4}, {2, -3, 3, -4}, {}, {1, -3, 3, -4}},
    {"max", kOpMax, 2, {1, -2, 3, 4}, {2, -3, 3, -4}, {}, {2, -2, 3, 4}},
    {"slt", kOpSlt, 2, {1, 2, 3, -1}, {2, 2, 1, 0}, {}, {1, 0, 0, 1}},
    {"sge", kOpSge, 2, {1, 2, 3, -1}, {2, 2, 1, 0}, {}, {0, 1, 1, 0}},
    {"exp", kOpExp, 1, {0, 0, 0, 3}, {}, {}, {8, 8, 8, 8}},
    {"exp negative", kOpExp, 1, {0, 0, 0, -2}, {}, {}, {0.25f, 0.25f, 0.25f, 0.25f}},
    {"log", kOpLog, 1, {0, 0, 0, 8}, {}, {}, {3, 3, 3, 3}},
    {"log of negative", kOpLog, 1, {0, 0, 0, -0.5f}, {}, {}, {-1, -1, -1, -1}},
    {"log of 0", kOpLog, 1, {0, 0, 0, 0}, {}, {}, {-FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX}},
    {"pow", kOpPow, 2, {0, 0, 0, -2}, {0, 0, 0, 3}, {}, {8, 8, 8, 8}},
    {"lit lit", kOpLit, 1, {0.5f, 0.25f, 0, 2}, {}, {}, {1, 0.5f, 0.0625f, 1}},
    {"lit facing away", kOpLit, 1, {-0.5f, 0.25f, 0, 2}, {}, {}, {1, 0, 0, 1}},
    {"lit no highlight", kOpLit, 1, {0.5f, -0.25f, 0, 2}, {}, {}, {1, 0.5f, 0, 1}},
    {"lit power clamped",
     kOpLit,
     1,
     {1, 0.5f, 0, 200},
     {},
     {},
     {1, 1, std::pow(0.5f, 127.9961f), 1}},
    {"dst", kOpDst, 2, {9, 2, 3, 9}, {9, 5, 9, 7}, {}, {1, 10, 3, 7}},
    {"lrp", kOpLrp, 3, {0.25f, 0, 1, 0.5f}, {4, 4, 4, 4}, {0, 8, 2, -4}, {1, 8, 4, 0}},
    {"frc", kOpFrc, 1, {1.25f, -1.25f, 3, -0.5f}, {}, {}, {0.25f, 0.75f, 0, 0.5f}},
    {"abs", kOpAbs, 1, {-1, 2, -0.0f, -3}, {}, {}, {1, 2, 0, 3}},
    {"sgn", kOpSgn, 1, {-5, 0, 0.25f, -0.0f}, {}, {}, {-1, 0, 1, 0}},
    {"nrm", kOpNrm, 1, {3, 0, 4, 10}, {}, {}, {0.6f, 0, 0.8f, 2}},
    {"crs", kOpCrs, 2, {1, 0, 0, 5}, {0, 1, 0, 5}, {}, {0, 0, 1, 0}, "xyz"},
    {"crs general", kOpCrs, 2, {1, 2, 3, 0}, {4, 5, 6, 0}, {}, {-3, 6, -3, 0}, "xyz"},
    {"sincos", kOpSinCos, 3, {0, 0, 0, 0}, {}, {}, {1, 0, 0, 0}, "xy"},
    {"sincos y only", kOpSinCos, 3, {0, 0, 0, 0}, {}, {}, {0, 0, 0, 0}, "y"},
    {"mask xz", kOpMov, 1, {1, 2, 3, 4}, {}, {}, {1, 0, 3, 0}, "xz"},
};

TEST(ShaderInstructions, EachFollowsItsDefinition) {
    for (const Case& k : kCases) {
        Vec4 got = RunOp(k);
        for (int c = 0; c < 4; ++c) {
            EXPECT_TRUE(SameBits(got[c], k.expected[c]) ||
                        (got[c] == k.expected[c] && got[c] == 0.0f))
                << k.name << " component " << c << ": " << got[c] << " expected " << k.expected[c];
        }
    }
}

TEST(ShaderInstructions, SinCosOfAQuarterTurn) {
    ShaderBuilder b = ShaderBuilder::Vertex();
    b.Emit(kOpSinCos, OT(0).Mask("xy"), {C(0).Swz("z"), C(1), C(2)});
    ShaderProgram p = Compile(b.Finish(), ShaderKind::kVertex);
    Block block;
    block.SetConstant(0, {0, 0, 0.5235988f, 0});  // pi / 6
    block.Run(p);
    Vec4 r = Block::Lane(block.regs.outTex[0], 3);
    EXPECT_FLOAT_EQ(r[0], std::cos(0.5235988f));
    EXPECT_FLOAT_EQ(r[1], 0.5f);
}

TEST(ShaderInstructions, MatrixInstructionsDotWithConsecutiveRows) {
    struct M {
        Opcode op;
        const char* mask;
        Vec4 expected;
    };
    // Rows c1..c4 = (1,2,3,4), (5,6,7,8), (9,10,11,12), (13,14,15,16); v = (1, 0, -1, 2).
    const M kMatrices[] = {
        {kOpM4x4, "xyzw", {6, 14, 22, 30}}, {kOpM4x3, "xyz", {6, 14, 22, 0}},
        {kOpM3x3, "xyz", {-2, -2, -2, 0}},  {kOpM3x4, "xyzw", {-2, -2, -2, -2}},
        {kOpM3x2, "xy", {-2, -2, 0, 0}},
    };
    for (const M& m : kMatrices) {
        ShaderBuilder b = ShaderBuilder::Vertex();
        b.Emit(m.op, OT(0).Mask(m.mask), {C(0), C(1)});
        ShaderProgram p = Compile(b.Finish(), ShaderKind::kVertex);
        Block block;
        block.SetConstant(0, {1, 0, -1, 2});
        for (int r = 0; r < 4; ++r) {
            float f = 4.0f * r;
            block.SetConstant(1 + r, {f + 1, f + 2, f + 3, f + 4});
        }
        block.Run(p);
        EXPECT_EQ(Block::Lane(block.regs.outTex[0], 0), m.expected) << m.op;
    }
}

TEST(ShaderInstructions, MatrixRowsPastTheLastConstantReadZeros) {
    ShaderBuilder b = ShaderBuilder::Vertex();
    b.Emit(kOpM4x4, OT(0), {C(0), C(254)});
    ShaderProgram p = Compile(b.Finish(), ShaderKind::kVertex);
    Block block;
    block.SetConstant(0, {1, 2, 3, 4});
    block.SetConstant(1, {100, 100, 100, 100});
    block.SetConstant(254, {1, 0, 0, 0});
    block.SetConstant(255, {0, 1, 0, 0});
    block.Run(p);
    EXPECT_EQ(Block::Lane(block.regs.outTex[0], 0), (Vec4{1, 2, 0, 0}));
}

TEST(ShaderInstructions, SwizzlesAndSourceModifiers) {
    struct S {
        Src src;
        Vec4 expected;
    };
    const Vec4 kValue = {0.25f, -0.5f, 0.75f, 2.0f};
    const S kSources[] = {
        {C(0).Swz("wzyx"), {2, 0.75f, -0.5f, 0.25f}},
        {C(0).Swz("y"), {-0.5f, -0.5f, -0.5f, -0.5f}},
        {C(0).Swz("xy"), {0.25f, -0.5f, -0.5f, -0.5f}},
        {-C(0), {-0.25f, 0.5f, -0.75f, -2}},
        {C(0).Abs(), {0.25f, 0.5f, 0.75f, 2}},
        {C(0).Mod(kSrcAbsNegate), {-0.25f, -0.5f, -0.75f, -2}},
        {C(0).Mod(kSrcBias), {-0.25f, -1, 0.25f, 1.5f}},
        {C(0).Mod(kSrcSign), {-0.5f, -2, 0.5f, 3}},
        {C(0).Mod(kSrcComplement), {0.75f, 1.5f, 0.25f, -1}},
        {C(0).Mod(kSrcX2), {0.5f, -1, 1.5f, 4}},
        {C(0).Mod(kSrcX2Negate), {-0.5f, 1, -1.5f, -4}},
        {C(0).Mod(kSrcBiasNegate), {0.25f, 1, -0.25f, -1.5f}},
        {C(0).Mod(kSrcSignNegate), {0.5f, 2, -0.5f, -3}},
    };
    for (const S& s : kSources) {
        ShaderBuilder b = ShaderBuilder::Vertex();
        b.Emit(kOpMov, OT(0), {s.src});
        ShaderProgram p = Compile(b.Finish(), ShaderKind::kVertex);
        Block block;
        block.SetConstant(0, kValue);
        block.Run(p);
        EXPECT_EQ(Block::Lane(block.regs.outTex[0], 0), s.expected)
            << "swizzle " << s.src.swizzle << " modifier " << s.src.modifier;
    }
}

TEST(ShaderInstructions, SaturateClampsToZeroOneAndNaNToZero) {
    ShaderBuilder b = ShaderBuilder::Vertex();
    b.Emit(kOpMul, OT(0).Sat(), {C(0), C(1)});
    ShaderProgram p = Compile(b.Finish(), ShaderKind::kVertex);
    Block block;
    block.SetConstant(0, {-2, 0.5f, 3, INFINITY});
    block.SetConstant(1, {1, 1, 1, 0});  // inf * 0: NaN
    block.Run(p);
    EXPECT_EQ(Block::Lane(block.regs.outTex[0], 0), (Vec4{0, 0.5f, 1, 0}));
}

TEST(ShaderInstructions, TemporariesCarryLanesApart) {
    ShaderBuilder b = ShaderBuilder::Vertex();
    b.DclInput(kUsagePosition, 0, V(0));
    b.Emit(kOpMul, R(3), {V(0), V(0)});
    b.Emit(kOpAdd, OT(1), {R(3), C(0)});
    ShaderProgram p = Compile(b.Finish(), ShaderKind::kVertex);
    Block block;
    block.SetConstant(0, {1, 1, 1, 1});
    for (int l = 0; l < kShaderLanes; ++l)
        block.SetInput(0, l, {float(l), float(-l), 0.5f, 2});
    block.Run(p);
    for (int l = 0; l < kShaderLanes; ++l) {
        float sq = float(l) * float(l);
        EXPECT_EQ(Block::Lane(block.regs.outTex[1], l), (Vec4{sq + 1, sq + 1, 1.25f, 5})) << l;
    }
}

TEST(ShaderInstructions, DefinedConstantsOverrideTheDevicesAndIntegersDriveRep) {
    ShaderBuilder b = ShaderBuilder::Vertex();
    b.Def(5, 0.5f, 1, 2, 4);
    b.DefI(0, 3, 0, 0, 0);
    b.Emit(kOpMov, R(0), {C(6)});
    b.Emit(kOpRep, {I(0)});
    b.Emit(kOpAdd, R(0), {R(0), C(5)});
    b.Emit(kOpEndRep);
    b.Emit(kOpMov, OT(0), {R(0)});
    ShaderProgram p = Compile(b.Finish(), ShaderKind::kVertex);
    Block block;
    block.SetConstant(5, {100, 100, 100, 100});
    block.SetConstant(6, {1, 1, 1, 1});
    block.Run(p);
    EXPECT_EQ(Block::Lane(block.regs.outTex[0], 0), (Vec4{2.5f, 4, 7, 13}));
}

// o T0 = c0 plus c[aL] over the passes of loop aL, i0 = (count, start, step).
ShaderProgram LoopSumProgram(int count, int start, int step) {
    ShaderBuilder b = ShaderBuilder::Vertex();
    b.DefI(0, count, start, step, 0);
    b.Emit(kOpMov, R(0), {C(0)});
    b.Emit(kOpLoop, {AL(), I(0)});
    b.Emit(kOpAdd, R(0), {R(0), C(0).RelLoop()});
    b.Emit(kOpEndLoop);
    b.Emit(kOpMov, OT(0), {R(0)});
    return Compile(b.Finish(), ShaderKind::kVertex);
}

TEST(ShaderInstructions, LoopCounterAddressesConstants) {
    // loop aL, i0 with (count 3, start 2, step 2): sums c2, c4, c6.
    ShaderProgram p = LoopSumProgram(3, 2, 2);
    Block block;
    for (int i = 1; i < 8; ++i)
        block.SetConstant(i, {float(1 << i), 0, 0, 0});
    block.Run(p);
    EXPECT_EQ(Block::Lane(block.regs.outTex[0], 0)[0], 4.0f + 16.0f + 64.0f);
}

TEST(ShaderInstructions, LoopRangesAreClampedAsDocumented) {
    // count 300 -> 255, start 1000 -> 255, step 2^31 - 1 -> 127: the first pass reads c255,
    // the rest run past the constants and read zeros (without overflowing aL).
    ShaderProgram p = LoopSumProgram(300, 1000, 0x7FFFFFFF);
    Block block;
    block.SetConstant(255, {7, 0, 0, 0});
    block.SetConstant(0, {0.5f, 0, 0, 0});
    block.Run(p);
    EXPECT_EQ(Block::Lane(block.regs.outTex[0], 0)[0], 7.5f);
}

TEST(ShaderInstructions, StaticBranchesAndSubroutinesFollowTheBooleans) {
    ShaderBuilder b = ShaderBuilder::Vertex();
    b.Emit(kOpMov, R(0), {C(0)});
    b.Emit(kOpIf, {B(0)});
    b.Emit(kOpAdd, R(0), {R(0), C(1)});
    b.Emit(kOpElse);
    b.Emit(kOpAdd, R(0), {R(0), C(2)});
    b.Emit(kOpEndIf);
    b.Emit(kOpCallNz, {Label(1), B(1)});
    b.Emit(kOpCall, {Label(2)});
    b.Emit(kOpMov, OT(0), {R(0)});
    b.Emit(kOpRet);
    b.Emit(kOpLabel, {Label(1)});
    b.Emit(kOpMul, R(0), {R(0), C(3)});
    b.Emit(kOpRet);
    b.Emit(kOpLabel, {Label(2)});
    b.Emit(kOpAdd, R(0), {R(0), C(4)});
    b.Emit(kOpRet);
    ShaderProgram p = Compile(b.Finish(), ShaderKind::kVertex);
    for (int bits = 0; bits < 4; ++bits) {
        Block block;
        block.SetConstant(0, {1, 1, 1, 1});
        block.SetConstant(1, {10, 10, 10, 10});
        block.SetConstant(2, {20, 20, 20, 20});
        block.SetConstant(3, {3, 3, 3, 3});
        block.SetConstant(4, {0.5f, 0.5f, 0.5f, 0.5f});
        block.constants.b[0] = (bits & 1) != 0;
        block.constants.b[1] = (bits & 2) != 0;
        block.Run(p);
        float v = 1 + ((bits & 1) ? 10 : 20);
        if (bits & 2)
            v *= 3;
        v += 0.5f;
        EXPECT_EQ(Block::Lane(block.regs.outTex[0], 0)[0], v) << bits;
    }
}

TEST(ShaderInstructions, MovaRoundsToNearestAndAddressesPerLane) {
    ShaderBuilder b = ShaderBuilder::Vertex();
    b.DclInput(kUsageBlendIndices, 0, V(1));
    b.Emit(kOpMova, A0().Mask("x"), {V(1).Swz("x")});
    b.Emit(kOpMov, OT(0), {C(10).RelA0(0)});
    ShaderProgram p = Compile(b.Finish(), ShaderKind::kVertex);
    Block block;
    for (int i = 0; i < 20; ++i)
        block.SetConstant(i, {float(i), 0, 0, 0});
    const float kIndex[kShaderLanes] = {0.0f, 1.49f, 1.5f, -0.5f, -0.51f, 2.5f, 300.0f, -11.0f};
    const float kExpect[kShaderLanes] = {10, 11, 12, 10, 9, 13, 0, 0};  // outside: zeros
    for (int l = 0; l < kShaderLanes; ++l)
        block.SetInput(1, l, {kIndex[l], 0, 0, 0});
    block.Run(p);
    for (int l = 0; l < kShaderLanes; ++l)
        EXPECT_EQ(Block::Lane(block.regs.outTex[0], l)[0], kExpect[l]) << kIndex[l];
}

// Pixel instructions: cmp, dp2add, texkill, texld through a sampler that reports what it got.
class RecordingSampler final : public ShaderSampler {
  public:
    void Sample(int sampler, const Operand& source, const Lanes4& coordinates, uint32_t control,
                uint32_t activeMask, Lanes4* out) const override {
        lastSampler = sampler;
        lastControl = control;
        lastSource = source.file;
        for (int l = 0; l < kShaderLanes; ++l) {
            for (int c = 0; c < 4; ++c)
                out->c[c][l] = coordinates.c[c][l] * 0.5f;
        }
        (void)activeMask;
    }
    mutable int lastSampler = -1;
    mutable uint32_t lastControl = 99;
    mutable File lastSource = File::kNone;
};

TEST(ShaderInstructions, PixelCmpDp2AddTexldAndTexkill) {
    ShaderBuilder b = ShaderBuilder::Pixel();
    b.DclPixelInput(T(0));
    b.DclSampler(2);
    b.Emit(kOpCmp, R(0), {C(0), C(1), C(2)});
    b.Emit(kOpDp2Add, R(1), {C(1), C(2), C(0).Swz("w")});
    b.Emit(kOpTex, R(2), {T(0), S(2)}, kTexProject);
    b.Emit(kOpTexKill, T(0).Mask("xyzw"), {});
    b.Emit(kOpAdd, OC(0), {R(0), R(1)});
    b.Emit(kOpMov, OC(1), {R(2)});
    ShaderProgram p = Compile(b.Finish(), ShaderKind::kPixel);
    Block block;
    block.SetConstant(0, {1, -1, 0, -0.5f});
    block.SetConstant(1, {2, 3, 4, 5});
    block.SetConstant(2, {6, 7, 8, 9});
    for (int l = 0; l < kShaderLanes; ++l) {
        for (int c = 0; c < 4; ++c)
            block.regs.texCoords[0].c[c][l] = (c == 2 && l == 5) ? -0.001f : 1.0f + c;
    }
    RecordingSampler sampler;
    block.Run(p, &sampler);
    // cmp: (2, 7, 4, 9); dp2add: 2*6 + 3*7 - 0.5 = 32.5.
    EXPECT_EQ(Block::Lane(block.regs.outPixel[0], 0), (Vec4{34.5f, 39.5f, 36.5f, 41.5f}));
    EXPECT_EQ(Block::Lane(block.regs.outPixel[1], 0), (Vec4{0.5f, 1, 1.5f, 2}));
    EXPECT_EQ(sampler.lastSampler, 2);
    EXPECT_EQ(sampler.lastControl, kTexProject);
    EXPECT_EQ(sampler.lastSource, File::kTexCoord);
    for (int l = 0; l < kShaderLanes; ++l)
        EXPECT_EQ(block.regs.killed[l], l == 5) << l;
}

}  // namespace
