// Refused token streams with their reasons, at the compiler and through the device's
// CreateVertexShader / CreatePixelShader (which name the refusal); the shader versions the caps
// report in the default profile and without shaders; vertex declarations the device does not
// read.
#include <cstdlib>

#include "platform/d3d9_fixture.h"
#include "shader_device_fixture.h"
#include "shader_test_support.h"

namespace {

using namespace shadertest;

struct Refused {
    const char* name;
    std::vector<uint32_t> tokens;
    ShaderKind kind;
    ShaderError error;
};

uint32_t Instruction(uint32_t op, uint32_t length) {
    return op | (length << 24);
}

std::vector<Refused> RefusedStreams() {
    std::vector<Refused> r;
    const uint32_t vs = VertexVersion(2, 0), ps = PixelVersion(2, 0);
    uint32_t r0 = ParamToken(kRegTemp, 0) | (0xFu << 16);
    uint32_t c0 = ParamToken(kRegConst, 0) | (kSwizzleIdentity << 16);
    r.push_back({"no end token", ShaderBuilder::Vertex().Emit(kOpMov, R(0), {C(0)}).Tokens(),
                 ShaderKind::kVertex, ShaderError::kNoEndToken});
    r.push_back({"empty", {}, ShaderKind::kVertex, ShaderError::kNoEndToken});
    r.push_back({"vertex 1.1",
                 {VertexVersion(1, 1), kEndToken},
                 ShaderKind::kVertex,
                 ShaderError::kBadVersion});
    r.push_back({"vertex 3.0",
                 {VertexVersion(3, 0), kEndToken},
                 ShaderKind::kVertex,
                 ShaderError::kBadVersion});
    r.push_back(
        {"pixel stream as vertex", {ps, kEndToken}, ShaderKind::kVertex, ShaderError::kBadVersion});
    r.push_back({"unknown opcode",
                 {vs, Instruction(77, 2), r0, c0, kEndToken},
                 ShaderKind::kVertex,
                 ShaderError::kUnknownOpcode});
    r.push_back({"texld in a vertex shader",
                 {vs, Instruction(kOpTex, 3), r0, c0, c0, kEndToken},
                 ShaderKind::kVertex,
                 ShaderError::kUnknownOpcode});
    r.push_back({"slt in a pixel shader",
                 ShaderBuilder::Pixel().Emit(kOpSlt, R(0), {C(0), C(1)}).Finish(),
                 ShaderKind::kPixel, ShaderError::kUnknownOpcode});
    r.push_back({"length too short",
                 {vs, Instruction(kOpAdd, 2), r0, c0, kEndToken},
                 ShaderKind::kVertex,
                 ShaderError::kBadLength});
    r.push_back({"length too long",
                 {vs, Instruction(kOpMov, 3), r0, c0, c0, kEndToken},
                 ShaderKind::kVertex,
                 ShaderError::kBadLength});
    r.push_back({"length past the end",
                 {vs, Instruction(kOpMov, 9), r0, c0, kEndToken},
                 ShaderKind::kVertex,
                 ShaderError::kNoEndToken});
    r.push_back({"temp r12", ShaderBuilder::Vertex().Emit(kOpMov, R(12), {C(0)}).Finish(),
                 ShaderKind::kVertex, ShaderError::kRegisterOutOfRange});
    r.push_back({"c256", ShaderBuilder::Vertex().Emit(kOpMov, R(0), {C(256)}).Finish(),
                 ShaderKind::kVertex, ShaderError::kRegisterOutOfRange});
    r.push_back({"pixel c32", ShaderBuilder::Pixel().Emit(kOpMov, R(0), {C(32)}).Finish(),
                 ShaderKind::kPixel, ShaderError::kRegisterOutOfRange});
    r.push_back({"oT8", ShaderBuilder::Vertex().Emit(kOpMov, OT(8), {C(0)}).Finish(),
                 ShaderKind::kVertex, ShaderError::kRegisterOutOfRange});
    r.push_back({"v16", ShaderBuilder::Vertex().Emit(kOpMov, R(0), {V(16)}).Finish(),
                 ShaderKind::kVertex, ShaderError::kRegisterOutOfRange});
    r.push_back({"write to a constant",
                 ShaderBuilder::Vertex().Emit(kOpMov, Dst{kRegConst, 0}, {C(1)}).Finish(),
                 ShaderKind::kVertex, ShaderError::kBadRegister});
    r.push_back({"oC0 in a vertex shader",
                 ShaderBuilder::Vertex().Emit(kOpMov, OC(0), {C(1)}).Finish(), ShaderKind::kVertex,
                 ShaderError::kBadRegister});
    r.push_back({"mov to a0", ShaderBuilder::Vertex().Emit(kOpMov, A0(), {C(1)}).Finish(),
                 ShaderKind::kVertex, ShaderError::kBadRegister});
    r.push_back(
        {"relative through a temp",
         {vs, Instruction(kOpMov, 3), r0, c0 | (1u << 13), ParamToken(kRegTemp, 0), kEndToken},
         ShaderKind::kVertex,
         ShaderError::kBadRegister});
    r.push_back({"empty write mask",
                 ShaderBuilder::Vertex().Emit(kOpMov, R(0).Mask(""), {C(0)}).Finish(),
                 ShaderKind::kVertex, ShaderError::kBadModifier});
    r.push_back({"result shift",
                 {vs, Instruction(kOpMov, 2), r0 | (1u << 24), c0, kEndToken},
                 ShaderKind::kVertex,
                 ShaderError::kBadModifier});
    r.push_back({"source modifier dz",
                 {vs, Instruction(kOpMov, 2), r0, c0 | (9u << 24), kEndToken},
                 ShaderKind::kVertex,
                 ShaderError::kBadModifier});
    r.push_back(
        {"relative in a pixel shader",
         {ps, Instruction(kOpMov, 3), r0, c0 | (1u << 13), ParamToken(kRegAddress, 0), kEndToken},
         ShaderKind::kPixel,
         ShaderError::kBadModifier});
    r.push_back({"endif without if", ShaderBuilder::Vertex().Emit(kOpEndIf).Finish(),
                 ShaderKind::kVertex, ShaderError::kBadFlowControl});
    r.push_back({"rep without endrep", ShaderBuilder::Vertex().Emit(kOpRep, {I(0)}).Finish(),
                 ShaderKind::kVertex, ShaderError::kBadFlowControl});
    r.push_back({"call of a missing label",
                 ShaderBuilder::Vertex().Emit(kOpCall, {Label(3)}).Emit(kOpRet).Finish(),
                 ShaderKind::kVertex, ShaderError::kBadFlowControl});
    {
        ShaderBuilder b = ShaderBuilder::Vertex();
        for (int i = 0; i < 5; ++i)
            b.Emit(kOpRep, {I(0)});
        for (int i = 0; i < 5; ++i)
            b.Emit(kOpEndRep);
        r.push_back({"loops nested five deep", b.Finish(), ShaderKind::kVertex,
                     ShaderError::kBadFlowControl});
    }
    r.push_back({"sampler of an unknown type", ShaderBuilder::Pixel().DclSampler(0, 7).Finish(),
                 ShaderKind::kPixel, ShaderError::kBadDeclaration});
    r.push_back({"dcl of an unknown usage", ShaderBuilder::Vertex().DclInput(20, 0, V(0)).Finish(),
                 ShaderKind::kVertex, ShaderError::kBadDeclaration});
    return r;
}

TEST(ShaderRefusals, EachStreamIsRefusedForItsReason) {
    for (const Refused& k : RefusedStreams()) {
        ShaderProgram program;
        ShaderCompileResult r = CompileShader(k.tokens.data(), k.tokens.size(), k.kind, &program);
        EXPECT_STREQ(ShaderErrorName(r.error), ShaderErrorName(k.error)) << k.name;
    }
}

TEST(ShaderRefusals, CommentsAreSkippedEvenWhenTheyHoldAnEndToken) {
    std::vector<uint32_t> tokens = ShaderBuilder::Vertex()
                                       .Comment({kEndToken, 0x12345678u})
                                       .Emit(kOpMov, OPos(), {C(0)})
                                       .Finish();
    ShaderProgram program;
    EXPECT_EQ(CompileShader(tokens.data(), tokens.size(), ShaderKind::kVertex, &program).error,
              ShaderError::kNone);
    EXPECT_EQ(program.code.size(), 1u);
    EXPECT_EQ(ShaderStreamLength(tokens.data(), tokens.size()), tokens.size());
}

class ShaderDeviceRefusals : public ShaderDeviceTest {};
// The profile word that takes the shaders away, as a program run with it sees the device.
class ShaderlessProfile : public d3d9test::DeviceTest {
  protected:
    void SetUp() override {
        setenv("TESSEL_D3D9_PROFILE", "noshaders", 1);
        DeviceTest::SetUp();
    }
    void TearDown() override {
        unsetenv("TESSEL_D3D9_PROFILE");
        DeviceTest::TearDown();
    }
};

TEST_F(ShaderlessProfile, ReportsVersionsBelowTwoAndRefusesTwo) {
    D3DCAPS9 caps{};
    ASSERT_EQ(device_->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_LT(caps.VertexShaderVersion, D3DVS_VERSION(2, 0));
    EXPECT_LT(caps.PixelShaderVersion, D3DPS_VERSION(2, 0));
    std::vector<uint32_t> tokens = ShaderBuilder::Vertex().Emit(kOpMov, OPos(), {C(0)}).Finish();
    IDirect3DVertexShader9* vs = nullptr;
    EXPECT_REFUSED(ShaderVersion, device_->CreateVertexShader(tokens.data(), &vs));
    EXPECT_EQ(vs, nullptr);
    std::vector<uint32_t> pixel = ShaderBuilder::Pixel().Emit(kOpMov, OC(0), {C(0)}).Finish();
    IDirect3DPixelShader9* ps = nullptr;
    EXPECT_REFUSED(ShaderVersion, device_->CreatePixelShader(pixel.data(), &ps));
}

TEST_F(ShaderDeviceRefusals, TheShaderProfileReportsTwoAndTakesTwo) {
    D3DCAPS9 caps{};
    ASSERT_EQ(device_->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_EQ(caps.VertexShaderVersion, D3DVS_VERSION(2, 0));
    EXPECT_EQ(caps.PixelShaderVersion, D3DPS_VERSION(2, 0));
    std::vector<uint32_t> tokens = ShaderBuilder::Vertex().Emit(kOpMov, OPos(), {C(0)}).Finish();
    IDirect3DVertexShader9* vs = nullptr;
    ASSERT_EQ(device_->CreateVertexShader(tokens.data(), &vs), D3D_OK);
    ASSERT_EQ(device_->SetVertexShader(vs), D3D_OK);
    ASSERT_EQ(device_->SetVertexShader(nullptr), D3D_OK);
    vs->Release();
}

TEST_F(ShaderDeviceRefusals, CreateNamesTheReason) {
    struct D {
        std::vector<uint32_t> tokens;
        platform::D3D9Refusal reason;
    };
    uint32_t r0 = ParamToken(kRegTemp, 0) | (0xFu << 16);
    uint32_t c0 = ParamToken(kRegConst, 0) | (kSwizzleIdentity << 16);
    const D kCases[] = {
        {{VertexVersion(2, 0), Instruction(200, 2), r0, c0, kEndToken},
         platform::D3D9Refusal::ShaderOpcode},
        {ShaderBuilder::Vertex().Emit(kOpMov, R(40), {C(0)}).Finish(),
         platform::D3D9Refusal::ShaderRegisterRange},
        {{VertexVersion(2, 0), Instruction(kOpMov, 1), r0, kEndToken},
         platform::D3D9Refusal::ShaderLength},
        {ShaderBuilder::Vertex().Emit(kOpMov, Dst{kRegConst, 0}, {C(1)}).Finish(),
         platform::D3D9Refusal::ShaderRegister},
        {ShaderBuilder::Vertex().Emit(kOpMov, R(0).Mask(""), {C(0)}).Finish(),
         platform::D3D9Refusal::ShaderModifier},
        {ShaderBuilder::Vertex().Emit(kOpElse).Finish(), platform::D3D9Refusal::ShaderFlowControl},
    };
    for (const D& k : kCases) {
        IDirect3DVertexShader9* vs = nullptr;
        uint64_t before = platform::D3D9RefusalCount();
        HRESULT hr = device_->CreateVertexShader(k.tokens.data(), &vs);
        d3d9test::CheckRefusal(hr, before, k.reason, platform::D3D9RefusalName(k.reason));
        EXPECT_EQ(vs, nullptr);
    }
    std::vector<uint32_t> pixel = ShaderBuilder::Pixel().DclSampler(0, 9).Finish();
    IDirect3DPixelShader9* ps = nullptr;
    EXPECT_REFUSED(ShaderDeclaration, device_->CreatePixelShader(pixel.data(), &ps));
    std::vector<uint32_t> vertexAsPixel =
        ShaderBuilder::Vertex().Emit(kOpMov, OPos(), {C(0)}).Finish();
    EXPECT_REFUSED(ShaderVersion, device_->CreatePixelShader(vertexAsPixel.data(), &ps));
    EXPECT_REFUSED(NullArgument, device_->CreatePixelShader(nullptr, &ps));
}

TEST_F(ShaderDeviceRefusals, DeclarationsTakeTheElementTypesTheDeviceReads) {
    const D3DVERTEXELEMENT9 good[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BLENDWEIGHT, 0},
        {0, 28, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
        {0, 32, D3DDECLTYPE_UBYTE4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BLENDINDICES, 0},
        D3DDECL_END()};
    IDirect3DVertexDeclaration9* decl = nullptr;
    ASSERT_EQ(device_->CreateVertexDeclaration(good, &decl), D3D_OK);
    decl->Release();
    const D3DVERTEXELEMENT9 shortType[] = {
        {0, 0, 6 /* SHORT2 */, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
    EXPECT_REFUSED(BadDeclarationElement, device_->CreateVertexDeclaration(shortType, &decl));
    const D3DVERTEXELEMENT9 stream1[] = {
        {1, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
    EXPECT_REFUSED(BadDeclarationElement, device_->CreateVertexDeclaration(stream1, &decl));
}

TEST_F(ShaderDeviceRefusals, IntegerAndBooleanConstantsRoundTrip) {
    const int ints[8] = {1, 2, 3, 4, -5, 6, 7, 8};
    ASSERT_EQ(device_->SetVertexShaderConstantI(14, ints, 2), D3D_OK);
    int back[8] = {};
    ASSERT_EQ(device_->GetVertexShaderConstantI(14, back, 2), D3D_OK);
    EXPECT_EQ(std::vector<int>(back, back + 8), std::vector<int>(ints, ints + 8));
    EXPECT_REFUSED(IndexOutOfRange, device_->SetVertexShaderConstantI(15, ints, 2));
    ASSERT_EQ(device_->SetPixelShaderConstantI(0, ints, 1), D3D_OK);
    ASSERT_EQ(device_->GetPixelShaderConstantI(0, back, 1), D3D_OK);
    EXPECT_EQ(back[3], 4);
    const BOOL bools[2] = {TRUE, FALSE};
    ASSERT_EQ(device_->SetPixelShaderConstantB(14, bools, 2), D3D_OK);
    BOOL bback[2] = {};
    ASSERT_EQ(device_->GetPixelShaderConstantB(14, bback, 2), D3D_OK);
    EXPECT_EQ(bback[0], TRUE);
    EXPECT_REFUSED(IndexOutOfRange, device_->SetPixelShaderConstantB(15, bools, 2));
}

}  // namespace
