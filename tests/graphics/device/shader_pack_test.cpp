// The built-in shader pack: the decision at device creation, the code tables of a pack, the
// lazily made shaders and their selection through the cache, and the 54 vertex declarations.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "foundation/memory/memory.h"
#include "graphics/device/device_state.h"
#include "graphics/device/shader_pack.h"
#include "tests/graphics/device/graphics_test_support.h"
#include "tools/lib/archive_pack.h"
#include "tools/lib/lz_compress.h"

using namespace tessel;
using tessel_test::GraphicsTest;

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

platform::D3D9Profile ShaderProfile(DWORD vertex, DWORD pixel) {
    platform::D3D9Profile profile = platform::DefaultD3D9Profile();
    profile.vertexShaderVersion = vertex;
    profile.pixelShaderVersion = pixel;
    return profile;
}

class ShaderPackTest : public GraphicsTest {
  protected:
    void TearDown() override {
        GraphicsTest::TearDown();
        SetShaderPackSourceForTesting(nullptr, 0);
        CloseShaderPack();
    }
    void StartWithShaders() {
        platform::SetD3D9Profile(ShaderProfile(D3DVS_VERSION(2, 0), D3DPS_VERSION(2, 0)));
        ASSERT_EQ(StartLibrary(), 0);
        ASSERT_EQ(ShaderPathOn, 1);
    }
};

TEST_F(ShaderPackTest, PixelShaders14NeverLoadThePackAndSayTheShadersAreNotUsed) {
    platform::SetD3D9Profile(ShaderProfile(D3DVS_VERSION(2, 0), D3DPS_VERSION(1, 4)));
    ASSERT_EQ(StartLibrary(), 0);
    EXPECT_EQ(g_graphics.hardwareInUse, 1);
    EXPECT_EQ(ShaderPathOn, 0);
    EXPECT_EQ(ShaderDataForTesting(), nullptr);
    EXPECT_EQ(VertexDeclarationAt(0), nullptr);
    EXPECT_TRUE(Contains(Log(), "プログラマブルシェーダーを使用しません"));
    EXPECT_FALSE(Contains(Log(), "プログラマブルシェーダーを使用します"));
    EXPECT_EQ(SelectBuiltInVertexShader(32774), 0);
}

TEST_F(ShaderPackTest, Shaders20TakeTheShaderPathWithTheTwoTestShadersMade) {
    platform::SetD3D9TraceRecording(true);
    StartWithShaders();
    EXPECT_NE(ShaderDataForTesting(), nullptr);
    EXPECT_TRUE(Contains(Log(), "プログラマブルシェーダーを使用します"));
    EXPECT_EQ(platform::D3D9CallCount("CreateVertexShader"), 1);
    EXPECT_EQ(platform::D3D9CallCount("CreatePixelShader"), 1);
    for (int slot = 0; slot < kVertexDeclarationCount; ++slot) {
        EXPECT_NE(VertexDeclarationAt(slot), nullptr) << slot;
    }
    // c0 of both shader kinds, kept in the shadows and sent.
    EXPECT_EQ(g_stateCache.vertexConstants[0][1], 1.0f);
    EXPECT_EQ(g_stateCache.pixelConstants[0][3], 2.0f);
    platform::SetD3D9TraceRecording(false);
}

TEST_F(ShaderPackTest, APackThatCannotBeUnpackedSwitchesThePathOffWithItsLogLines) {
    static const uint8_t kBroken[16] = {1, 2, 3};
    SetShaderPackSourceForTesting(kBroken, sizeof kBroken);
    platform::SetD3D9Profile(ShaderProfile(D3DVS_VERSION(2, 0), D3DPS_VERSION(2, 0)));
    ASSERT_EQ(StartLibrary(), 0);
    EXPECT_EQ(ShaderPathOn, 0);
    const std::string log = Log();
    EXPECT_TRUE(Contains(log, "シェーダーコードを展開するメモリ領域の確保に失敗しました\r\n\r\n"));
    EXPECT_TRUE(Contains(log, "プログラマブルシェーダーを使用しません"));
}

// A pack of the library's form: the size table, then the blobs, LZ-packed, in an archive
// under the default key, LZ-packed again.
std::vector<uint8_t> MakePack(const std::vector<std::pair<int, uint16_t>>& sizes,
                              uint32_t extraBytes = 0) {
    std::vector<uint8_t> data(kShaderSizeTableBytes, 0);
    uint32_t total = 0;
    for (auto [slot, size] : sizes) {
        data[2 * slot] = static_cast<uint8_t>(size & 0xFF);
        data[2 * slot + 1] = static_cast<uint8_t>(size >> 8);
        total += size;
    }
    for (uint32_t i = 0; i < total + extraBytes; ++i) {
        data.push_back(static_cast<uint8_t>(i * 7 + 1));
    }
    std::vector<uint8_t> packed;
    EXPECT_EQ(LzCompress(data.data(), data.size(), &packed), 0);
    ArchiveBuilder archive;
    EXPECT_EQ(archive.AddFile(kShaderPackEntryName, packed.data(), packed.size()), 0);
    ArchivePackOptions options;
    options.compress = false;
    std::vector<uint8_t> image;
    EXPECT_EQ(archive.Build(options, &image), 0);
    std::vector<uint8_t> pack;
    EXPECT_EQ(LzCompress(image.data(), image.size(), &pack), 0);
    return pack;
}

TEST_F(ShaderPackTest, TheCodePointersLandAtTheRunningOffsetsVertexGroupsFirst) {
    // Slots out of order in the list: the table is walked in slot order.
    const std::vector<uint8_t> pack = MakePack({{kVertexShaderSlots + 3, 20},
                                                {7, 12},
                                                {5, 8},
                                                {kVertexShaderSlots - 1, 4},
                                                {kVertexShaderSlots + kPixelShaderSlots - 1, 6}});
    SetShaderPackSourceForTesting(pack.data(), static_cast<uint32_t>(pack.size()));
    ASSERT_EQ(LoadShaderPack(), 1);
    const uint8_t* code = ShaderDataForTesting() + kShaderSizeTableBytes;
    EXPECT_EQ(VertexShaderCode(5), code);
    EXPECT_EQ(VertexShaderCode(7), code + 8);
    EXPECT_EQ(VertexShaderCode(kVertexShaderSlots - 1), code + 20);
    EXPECT_EQ(PixelShaderCode(3), code + 24);
    EXPECT_EQ(PixelShaderCode(kPixelShaderSlots - 1), code + 44);
    EXPECT_EQ(VertexShaderCode(6), nullptr);
    EXPECT_EQ(PixelShaderCode(0), nullptr);
    // Loaded once: a second call keeps the same data.
    const uint8_t* data = ShaderDataForTesting();
    EXPECT_EQ(LoadShaderPack(), 1);
    EXPECT_EQ(ShaderDataForTesting(), data);
}

TEST_F(ShaderPackTest, SizesThatReachPastTheDataLoadNothing) {
    const std::vector<uint8_t> pack = MakePack({{5, 8}});
    std::vector<uint8_t> data(kShaderSizeTableBytes, 0);
    data[10] = 200;  // slot 5 claims 200 bytes, 3 follow
    data.insert(data.end(), {1, 2, 3});
    std::vector<uint8_t> packed;
    ASSERT_EQ(LzCompress(data.data(), data.size(), &packed), 0);
    ArchiveBuilder archive;
    ASSERT_EQ(archive.AddFile(kShaderPackEntryName, packed.data(), packed.size()), 0);
    ArchivePackOptions options;
    options.compress = false;
    std::vector<uint8_t> image;
    ASSERT_EQ(archive.Build(options, &image), 0);
    std::vector<uint8_t> bad;
    ASSERT_EQ(LzCompress(image.data(), image.size(), &bad), 0);
    const uint32_t blocks = TrackedBlockCount();
    SetShaderPackSourceForTesting(bad.data(), static_cast<uint32_t>(bad.size()));
    EXPECT_EQ(LoadShaderPack(), 0);
    EXPECT_EQ(ShaderDataForTesting(), nullptr);
    EXPECT_EQ(VertexShaderCode(5), nullptr);
    EXPECT_EQ(TrackedBlockCount(), blocks);
    // A pack whose archive lacks the file loads nothing either.
    ArchiveBuilder other;
    ASSERT_EQ(other.AddFile("Other.bin", packed.data(), packed.size()), 0);
    ASSERT_EQ(other.Build(options, &image), 0);
    ASSERT_EQ(LzCompress(image.data(), image.size(), &bad), 0);
    SetShaderPackSourceForTesting(bad.data(), static_cast<uint32_t>(bad.size()));
    EXPECT_EQ(LoadShaderPack(), 0);
    EXPECT_EQ(TrackedBlockCount(), blocks);
    SetShaderPackSourceForTesting(pack.data(), static_cast<uint32_t>(pack.size()));
    EXPECT_EQ(LoadShaderPack(), 1);
}

TEST_F(ShaderPackTest, AnAbsentIndexMakesNoDeviceCallAndTheSameIndexTwiceSetsItOnce) {
    StartWithShaders();
    platform::SetD3D9TraceRecording(true);
    const int creates = platform::D3D9CallCount("CreateVertexShader");
    const int sets = platform::D3D9CallCount("SetVertexShader");
    IDirect3DVertexShader9* current = g_stateCache.vertexShader;
    // Index 8: a light's type with lighting off, never formed, no shader.
    EXPECT_EQ(SelectBuiltInVertexShader(8), 0);
    EXPECT_EQ(SelectBuiltInVertexShader(98304), 0);
    EXPECT_EQ(SelectBuiltInVertexShader(-1), 0);
    EXPECT_EQ(platform::D3D9CallCount("CreateVertexShader"), creates);
    EXPECT_EQ(platform::D3D9CallCount("SetVertexShader"), sets);
    EXPECT_EQ(g_stateCache.vertexShader, current);
    EXPECT_EQ(SelectBuiltInPixelShader(8), 0);
    // 29088: lighting with a directional and a point light.
    EXPECT_EQ(SelectBuiltInVertexShader(29088), 1);
    EXPECT_EQ(SelectBuiltInVertexShader(29088), 1);
    EXPECT_EQ(platform::D3D9CallCount("CreateVertexShader"), creates + 1);
    EXPECT_EQ(platform::D3D9CallCount("SetVertexShader"), sets + 1);
    // Rigid, plain layout, one set: declaration slot 1.
    EXPECT_EQ(g_stateCache.declaration, VertexDeclarationAt(1));
    // Eight bones: slot (0 x 3 + 2) x 9 + 1.
    EXPECT_EQ(SelectBuiltInVertexShader(29088 + 16384), 1);
    EXPECT_EQ(g_stateCache.declaration, VertexDeclarationAt(19));
    const int pixelSets = platform::D3D9CallCount("SetPixelShader");
    EXPECT_EQ(SelectBuiltInPixelShader(2328), 1);
    EXPECT_EQ(SelectBuiltInPixelShader(2328), 1);
    EXPECT_EQ(platform::D3D9CallCount("SetPixelShader"), pixelSets + 1);
    platform::SetD3D9TraceRecording(false);
}

TEST_F(ShaderPackTest, ReleasingTheShadersUnsetsThemAndTheyAreMadeAgainOnTheNextSelect) {
    StartWithShaders();
    ASSERT_EQ(SelectBuiltInVertexShader(29088), 1);
    ASSERT_EQ(SelectBuiltInPixelShader(2328), 1);
    const int creates = platform::D3D9CallCount("CreateVertexShader");
    EXPECT_EQ(ReleaseBuiltInShaders(), 0);
    EXPECT_EQ(g_stateCache.vertexShader, nullptr);
    EXPECT_EQ(g_stateCache.declaration, nullptr);
    EXPECT_EQ(SelectBuiltInVertexShader(29088), 1);
    EXPECT_EQ(SelectBuiltInPixelShader(2328), 1);
    EXPECT_EQ(platform::D3D9CallCount("CreateVertexShader"), creates + 1);
    EXPECT_NE(g_stateCache.vertexShader, nullptr);
    EXPECT_NE(g_stateCache.pixelShader, nullptr);
}

TEST_F(ShaderPackTest, FlushingTheConstantsOfAnotherModeUploadsTheWholeSetOnce) {
    StartWithShaders();
    const int sends = platform::D3D9CallCount("SetVertexShaderConstantF");
    EXPECT_EQ(FlushShaderConstants(0), 0);
    EXPECT_EQ(platform::D3D9CallCount("SetVertexShaderConstantF"), sends);
    EXPECT_EQ(FlushShaderConstants(1), 0);
    EXPECT_EQ(FlushShaderConstants(0), 0);
    EXPECT_EQ(platform::D3D9CallCount("SetVertexShaderConstantF"), sends + 1);
    EXPECT_EQ(FlushShaderConstants(0), 0);
    EXPECT_EQ(platform::D3D9CallCount("SetVertexShaderConstantF"), sends + 1);
}

// The declarations of the table: every element on stream 0 with the default method, the base
// list of the layout and skin, then one four-float set per texture-coordinate set.
struct Element {
    int offset;
    int type;
    int usage;
    int index;
};

TEST(VertexDeclarations, TheElementListsFollowTheTableOfLayoutsAndSkins) {
    const int F3 = D3DDECLTYPE_FLOAT3, F4 = D3DDECLTYPE_FLOAT4, UB = D3DDECLTYPE_UBYTE4;
    const int C = D3DDECLTYPE_D3DCOLOR;
    const int P = D3DDECLUSAGE_POSITION, N = D3DDECLUSAGE_NORMAL, K = D3DDECLUSAGE_COLOR;
    const int BI = D3DDECLUSAGE_BLENDINDICES, BW = D3DDECLUSAGE_BLENDWEIGHT;
    struct Case {
        int layout, skin;
        std::vector<Element> base;
        int texStart;
    };
    const Case cases[] = {
        {0, 0, {{0, F3, P, 0}, {12, F3, N, 0}, {24, C, K, 0}, {28, C, K, 1}}, 32},
        {0,
         1,
         {{0, F3, P, 0},
          {12, UB, BI, 0},
          {16, F4, BW, 0},
          {32, F3, N, 0},
          {44, C, K, 0},
          {48, C, K, 1}},
         52},
        {0,
         2,
         {{0, F3, P, 0},
          {12, UB, BI, 0},
          {16, UB, BI, 1},
          {20, F4, BW, 0},
          {36, F4, BW, 1},
          {52, F3, N, 0},
          {64, C, K, 0},
          {68, C, K, 1}},
         72},
        {1,
         0,
         {{0, F3, P, 0},
          {12, F3, N, 0},
          {24, F3, N, 1},
          {36, F3, N, 2},
          {48, C, K, 0},
          {52, C, K, 1}},
         56},
        {1,
         1,
         {{0, F3, P, 0},
          {12, UB, BI, 0},
          {16, F4, BW, 0},
          {32, F3, N, 0},
          {44, F3, N, 1},
          {56, F3, N, 2},
          {68, C, K, 0},
          {72, C, K, 1}},
         76},
        {1,
         2,
         {{0, F3, P, 0},
          {12, UB, BI, 0},
          {16, UB, BI, 1},
          {20, F4, BW, 0},
          {36, F4, BW, 1},
          {52, F3, N, 0},
          {64, F3, N, 1},
          {76, F3, N, 2},
          {88, C, K, 0},
          {92, C, K, 1}},
         96},
    };
    for (const Case& c : cases) {
        for (int sets = 0; sets <= 8; ++sets) {
            D3DVERTEXELEMENT9 elements[kMaxDeclarationElements];
            const int n = BuildVertexDeclarationElements(c.layout, c.skin, sets, elements);
            const int base = static_cast<int>(c.base.size());
            ASSERT_EQ(n, base + sets) << c.layout << " " << c.skin << " " << sets;
            for (int i = 0; i < n; ++i) {
                Element want = i < base ? c.base[i]
                                        : Element{c.texStart + 16 * (i - base), F4,
                                                  D3DDECLUSAGE_TEXCOORD, i - base};
                const D3DVERTEXELEMENT9& e = elements[i];
                EXPECT_EQ(e.Stream, 0);
                EXPECT_EQ(e.Method, D3DDECLMETHOD_DEFAULT);
                EXPECT_EQ(e.Offset, want.offset) << c.layout << c.skin << sets << " #" << i;
                EXPECT_EQ(e.Type, want.type) << c.layout << c.skin << sets << " #" << i;
                EXPECT_EQ(e.Usage, want.usage) << c.layout << c.skin << sets << " #" << i;
                EXPECT_EQ(e.UsageIndex, want.index) << c.layout << c.skin << sets << " #" << i;
            }
            EXPECT_EQ(elements[n].Stream, 0xFF);
            EXPECT_EQ(elements[n].Type, D3DDECLTYPE_UNUSED);
        }
    }
}

}  // namespace
