// Device buffers of bases and models, read back through the CPU device: the
// vertex layout of each kind, list-relative indices, blocks that fill up,
// building twice, release and rebuild (also across a lost device, drawn and
// compared pixel by pixel), injected device failures, and the models' own
// buffers of shape-deformed lists.
#include "models/buffers/model_buffers.h"

#include <cstring>
#include <vector>

#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "platform/d3d9_testing.h"
#include "tests/foundation/files/files_test_support.h"
#include "tests/graphics/device/graphics_test_support.h"
#include "tests/models/model_base_builder.h"
#include "tests/models/model_test_support.h"
#include "tests/models/unlit_block_draw.h"

namespace tessel_test {
namespace {

template <typename Buffer>
std::vector<uint8_t> ReadBuffer(Buffer* buffer, size_t bytes) {
    void* data = nullptr;
    EXPECT_EQ(buffer->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
    std::vector<uint8_t> out(static_cast<const uint8_t*>(data),
                             static_cast<const uint8_t*>(data) + bytes);
    buffer->Unlock();
    return out;
}

std::vector<uint8_t> VertexBytes(const tessel::ModelBufferBlock* block) {
    return ReadBuffer(block->vertexBuffer, static_cast<size_t>(block->vertexCount) * block->stride);
}
std::vector<uint16_t> IndexWords(const tessel::ModelBufferBlock* block) {
    std::vector<uint8_t> bytes =
        ReadBuffer(block->indexBuffer, 2 * static_cast<size_t>(block->indexCount));
    std::vector<uint16_t> words(block->indexCount);
    std::memcpy(words.data(), bytes.data(), bytes.size());
    return words;
}

template <typename T>
T At(const std::vector<uint8_t>& bytes, size_t offset) {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

void ExpectVec(const std::vector<uint8_t>& bytes, size_t offset, tessel::Vec3 want,
               const char* what) {
    EXPECT_EQ(At<float>(bytes, offset), want.x) << what;
    EXPECT_EQ(At<float>(bytes, offset + 4), want.y) << what;
    EXPECT_EQ(At<float>(bytes, offset + 8), want.z) << what;
}

// Where each part of a vertex lies, written out per kind; -1: absent.
struct Layout {
    int stride, weights, bones, slots, normal, tangent, diffuse, specular, sets, setCount;
};

// One list's vertices in its block, part by part.
void ExpectListVertices(const tessel::ModelTriangleList& list, int listNumber, const Layout& l) {
    SCOPED_TRACE(listNumber);
    ASSERT_NE(list.bufferBlock, nullptr);
    ASSERT_EQ(list.bufferBlock->stride, l.stride);
    const std::vector<uint8_t> bytes = VertexBytes(list.bufferBlock);
    for (int i = 0; i < list.vertexCount; ++i) {
        const size_t v = static_cast<size_t>(list.firstVertex + i) * l.stride;
        ExpectVec(bytes, v, TestPosition(listNumber, i), "position");
        ExpectVec(bytes, v + l.normal, TestNormal(listNumber, i), "normal");
        if (l.tangent >= 0) {
            ExpectVec(bytes, v + l.tangent, {1.0f + i, 0.25f, -0.5f}, "tangent");
            ExpectVec(bytes, v + l.tangent + 12, {-0.375f, 2.0f + i, 0.75f}, "binormal");
        }
        if (l.weights >= 0) {
            EXPECT_EQ(At<float>(bytes, v + l.weights), 0.75f);
            EXPECT_EQ(At<float>(bytes, v + l.weights + 4), 0.25f);
            for (int k = 2; k < l.bones; ++k) {
                EXPECT_EQ(At<float>(bytes, v + l.weights + 4 * k), 0.0f) << k;
            }
            EXPECT_EQ(bytes[v + l.slots], 0);
            EXPECT_EQ(bytes[v + l.slots + 1], 1);
        }
        EXPECT_EQ(At<uint32_t>(bytes, v + l.diffuse), TestDiffuse(listNumber, i));
        EXPECT_EQ(At<uint32_t>(bytes, v + l.specular), TestSpecular(listNumber, i));
        for (int s = 0; s < l.setCount; ++s) {
            const size_t at = v + l.sets + 16 * s;
            EXPECT_EQ(At<float>(bytes, at), TestU(i, s)) << "set " << s;
            EXPECT_EQ(At<float>(bytes, at + 4), TestV(i, s));
            EXPECT_EQ(At<float>(bytes, at + 8), 1.0f);
            EXPECT_EQ(At<float>(bytes, at + 12), 1.0f);
        }
    }
}

// Two rigid lists of one kind, then a rigid list with a normal map, a
// 4-bone and an 8-bone list with a normal map.
class ModelBufferTest : public ModelSystemTest {
  protected:
    void SetUp() override {
        ImageTest::SetUp();
        platform::D3D9Profile profile = platform::DefaultD3D9Profile();
        profile.vertexShaderVersion = Shaders() ? D3DVS_VERSION(2, 0) : D3DVS_VERSION(1, 1);
        profile.pixelShaderVersion = Shaders() ? D3DPS_VERSION(2, 0) : D3DPS_VERSION(1, 4);
        platform::SetD3D9Profile(profile);
        Start(true);
        ASSERT_EQ(tessel::g_graphics.vertexShader20, Shaders() ? 1 : 0);
        base_.frames = {{-1}, {0}};
        base_.lists = {{0, 0, 4, 2, 1},
                       {0, 0, 5, 3, 1},
                       {1, 0, 3, 1, 2, true},
                       {1, 1, 4, 2, 1},
                       {1, 2, 3, 1, 0, true}};
    }
    void TearDown() override {
        ModelSystemTest::TearDown();
        platform::ResetD3D9Profile();
    }
    virtual bool Shaders() const { return true; }

    const tessel::ModelTriangleList& List(int n) const { return base_.base()->triangleLists[n]; }

    TestBase base_;
};

class ModelBufferWithoutShadersTest : public ModelBufferTest {
  protected:
    bool Shaders() const override { return false; }
};

TEST_F(ModelBufferTest, EachKindHasItsLayout) {
    ASSERT_NE(base_.Store(), -1);
    ASSERT_EQ(tessel::BuildModelBaseBuffers(base_.handle(), 1), 0);
    tessel::ModelBase* base = base_.base();
    EXPECT_EQ(base->buffersBuilt, 1);
    EXPECT_EQ(base->rebuildFlag, 1);
    EXPECT_EQ(base->bufferBlockCount, 4);
    for (int kind : {1, 11, 19, 45}) {
        EXPECT_EQ(base->kindBlockCount[kind], 1) << kind;
    }
    const Layout rigid = {80, -1, 0, -1, 12, -1, 24, 28, 32, 1};
    const Layout normalMap = {88, -1, 0, -1, 12, 24, 48, 52, 56, 2};
    const Layout fourBones = {68, 16, 4, 12, 32, -1, 44, 48, 52, 1};
    const Layout eightBones = {96, 20, 8, 12, 52, 64, 88, 92, 96, 0};
    ExpectListVertices(List(0), 0, rigid);
    ExpectListVertices(List(1), 1, rigid);
    ExpectListVertices(List(2), 2, normalMap);
    ExpectListVertices(List(3), 3, fourBones);
    ExpectListVertices(List(4), 4, eightBones);
    EXPECT_EQ(List(0).bufferBlock->fvf, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE |
                                            D3DFVF_SPECULAR | D3DFVF_TEX1 |
                                            D3DFVF_TEXCOORDSIZE4(0));
    EXPECT_EQ(List(2).bufferBlock->fvf, 0u);
    EXPECT_EQ(List(3).bufferBlock->fvf, 0u);
}

TEST_F(ModelBufferTest, IndicesStayRelativeToTheirListBehindEachOther) {
    ASSERT_NE(base_.Store(), -1);
    ASSERT_EQ(tessel::BuildModelBaseBuffers(base_.handle(), 1), 0);
    const tessel::ModelTriangleList& first = List(0);
    const tessel::ModelTriangleList& second = List(1);
    ASSERT_EQ(first.bufferBlock, second.bufferBlock);
    EXPECT_EQ(first.firstVertex, 0);
    EXPECT_EQ(second.firstVertex, 4);
    EXPECT_EQ(first.firstIndex, 0);
    EXPECT_EQ(second.firstIndex, 6 + 3);
    EXPECT_EQ(first.bufferBlock->vertexCount, 9);
    EXPECT_EQ(first.bufferBlock->indexCount, 6 + 3 + 9 + 3);
    const std::vector<uint16_t> want = {0, 1, 2, 1, 3, 2, 2, 1, 0, 0, 1,
                                        2, 1, 3, 2, 2, 3, 4, 2, 1, 0};
    EXPECT_EQ(IndexWords(first.bufferBlock), want);
}

TEST_F(ModelBufferWithoutShadersTest, OnlyRigidListsWithoutNormalMapsGetBuffers) {
    ASSERT_NE(base_.Store(), -1);
    ASSERT_EQ(tessel::BuildModelBaseBuffers(base_.handle(), 1), 0);
    tessel::ModelBase* base = base_.base();
    EXPECT_EQ(base->bufferBlockCount, 1);
    EXPECT_EQ(base->kindBlockCount[1], 1);
    for (int kind : {11, 19, 45}) {
        EXPECT_EQ(base->kindBlockCount[kind], 0) << kind;
        EXPECT_EQ(base->kindFirstBlock[kind], nullptr) << kind;
    }
    for (int n = 2; n < 5; ++n) {
        EXPECT_EQ(List(n).bufferBlock, nullptr) << n;
    }
    EXPECT_NE(List(1).bufferBlock, nullptr);
}

TEST_F(ModelBufferTest, BuildingTwiceDoesNothingTheSecondTime) {
    ASSERT_NE(base_.Store(), -1);
    ASSERT_EQ(tessel::BuildModelBaseBuffers(base_.handle(), 1), 0);
    const tessel::ModelBufferBlock* block = List(0).bufferBlock;
    const int created = platform::D3D9CallCount("CreateVertexBuffer");
    const uint32_t blocks = tessel::TrackedBlockCount();
    EXPECT_EQ(tessel::BuildModelBaseBuffers(base_.handle(), 0), 0);
    EXPECT_EQ(platform::D3D9CallCount("CreateVertexBuffer"), created);
    EXPECT_EQ(tessel::TrackedBlockCount(), blocks);
    EXPECT_EQ(List(0).bufferBlock, block);
    EXPECT_EQ(base_.base()->rebuildFlag, 1) << "the flag of the build that ran";
}

TEST_F(ModelBufferTest, AFailedDeviceCallReleasesEveryBlock) {
    ASSERT_NE(base_.Store(), -1);
    const uint32_t blocks = tessel::TrackedBlockCount();
    for (platform::D3D9FailPoint point : {platform::D3D9FailPoint::CreateVertexBuffer,
                                          platform::D3D9FailPoint::CreateIndexBuffer}) {
        LogScope log;
        platform::FailNextD3D9Calls(point, 1);
        EXPECT_EQ(tessel::BuildModelBaseBuffers(base_.handle(), 1), -1);
        tessel::ModelBase* base = base_.base();
        EXPECT_EQ(base->buffersBuilt, 0);
        EXPECT_EQ(base->bufferBlockCount, 0);
        for (int kind = 0; kind < tessel::kModelBufferKinds; ++kind) {
            EXPECT_EQ(base->kindBlockCount[kind], 0);
            EXPECT_EQ(base->kindFirstBlock[kind], nullptr);
            EXPECT_EQ(base->kindLastBlock[kind], nullptr);
        }
        for (int n = 0; n < 5; ++n) {
            EXPECT_EQ(List(n).bufferBlock, nullptr);
        }
        EXPECT_EQ(tessel::TrackedBlockCount(), blocks);
        EXPECT_NE(log.Text().find("Model buffer error : a"), std::string::npos);
    }
    // A later build succeeds.
    EXPECT_EQ(tessel::BuildModelBaseBuffers(base_.handle(), 1), 0);
    EXPECT_EQ(base_.base()->bufferBlockCount, 4);
}

TEST_F(ModelBufferTest, BadHandlesAreRefused) {
    ASSERT_NE(base_.Store(), -1);
    const int model = CreateTestModel(base_.handle());
    EXPECT_EQ(tessel::BuildModelBaseBuffers(model, 1), -1);
    EXPECT_EQ(tessel::BuildModelBaseBuffers(base_.handle() + 1, 1), -1);
    EXPECT_EQ(tessel::ReleaseModelBaseBuffers(model), -1);
    EXPECT_EQ(tessel::ReleaseModelBaseBuffers(0x08000000 | 5000), -1);
    EXPECT_EQ(tessel::BuildModelInstanceBuffers(base_.handle()), -1);
    EXPECT_EQ(tessel::BuildModelInstanceBuffers(WithCheck(model, CheckOf(model) + 1)), -1);
    EXPECT_EQ(tessel::ReleaseModelBuffers(model & ~0x50000000), -1);
    EXPECT_EQ(tessel::ReleaseModelBaseBuffers(base_.handle()), 0) << "nothing built";
    // Without a device nothing is built and nothing fails.
    tessel::g_graphics.hardwareInUse = 0;
    EXPECT_EQ(tessel::BuildModelBaseBuffers(base_.handle(), 1), 0);
    EXPECT_EQ(tessel::BuildModelInstanceBuffers(model), 0);
    tessel::g_graphics.hardwareInUse = 1;
    EXPECT_EQ(base_.base()->buffersBuilt, 0);
}

// A block that reaches the vertex limit passes its last list to a new block.
class ModelBufferBlockTest : public ModelSystemTest {};

TEST_F(ModelBufferBlockTest, ABlockTakesNoListOnceItHoldsTheVertexLimit) {
    const struct {
        int lastList;
        int blocks;
    } cases[] = {{5, 1}, {6, 2}};  // six lists of 65535 leave room for 6 below the limit
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lastList);
        TestBase base;
        base.lists.assign(6, TestList{0, 0, 65535, 1, 0});
        base.lists.push_back(TestList{0, 0, c.lastList, 1, 0});
        ASSERT_NE(base.Store(), -1);
        ASSERT_EQ(tessel::BuildModelBaseBuffers(base.handle(), 1), 0);
        tessel::ModelBase* b = base.base();
        EXPECT_EQ(b->kindBlockCount[0], c.blocks);
        EXPECT_EQ(b->bufferBlockCount, c.blocks);
        const tessel::ModelBufferBlock* first = b->kindFirstBlock[0];
        for (int n = 0; n < 6; ++n) {
            EXPECT_EQ(b->triangleLists[n].bufferBlock, first);
            EXPECT_EQ(b->triangleLists[n].firstVertex, 65535 * n);
        }
        const tessel::ModelTriangleList& last = b->triangleLists[6];
        EXPECT_EQ(last.bufferBlock, b->kindLastBlock[0]);
        EXPECT_EQ(last.firstVertex, c.blocks == 2 ? 0 : 6 * 65535);
        EXPECT_LE(last.firstVertex + last.vertexCount, last.bufferBlock->vertexCount);
        EXPECT_EQ(first->vertexCount, 6 * 65535 + (c.blocks == 1 ? c.lastList : 0));
        if (c.blocks == 2) {
            EXPECT_EQ(first->next, b->kindLastBlock[0]);
            EXPECT_EQ(b->kindLastBlock[0]->prev, first);
            ExpectVec(VertexBytes(last.bufferBlock), 64 * 2, TestPosition(6, 2), "last list");
        }
        EXPECT_EQ(tessel::ReleaseModelBase(base.handle()), 0);
    }
}

// A base with a shape-deformed rigid list and a model of it.
class ModelOwnBufferTest : public ModelBufferTest {
  protected:
    void SetUp() override {
        ModelBufferTest::SetUp();
        base_.lists[0].shape = true;
        base_.lists[3].shape = true;
        base_.shapes = {{0, 0, {{1, {0.5f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}}}},
                        {1, 3, {{0, {0.0f, 0.25f, 0.0f}, {0.0f, 0.0f, 0.0f}}}}};
    }
};

// Draws the rigid block with the device and samples the back buffer.
std::vector<uint32_t> DrawBlock(const tessel::ModelBufferBlock* block, int indexCount) {
    IDirect3DDevice9* device = BeginUnlitBlockDraw(block, 0xFFFFFFFFu);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, indexCount / 3), D3D_OK);
    IDirect3DSurface9* target = EndUnlitBlockDraw(device);
    std::vector<uint32_t> pixels;
    for (int y = 0; y < 480; y += 2) {
        for (int x = 0; x < 640; x += 2) {
            pixels.push_back(platform::ReadD3D9SurfacePixel(target, x, y));
        }
    }
    target->Release();
    return pixels;
}

TEST_F(ModelOwnBufferTest, ALostDeviceGivesBackTheSameBuffersAndPixels) {
    ASSERT_NE(base_.Store(), -1);
    ASSERT_EQ(tessel::BuildModelBaseBuffers(base_.handle(), 1), 0);
    const int handle = CreateTestModel(base_.handle());
    tessel::ModelInstance* model = tessel::GetModelInstance(handle);
    ASSERT_NE(model, nullptr);
    ASSERT_NE(model->triangleLists[0].deviceBuffer, nullptr);
    std::vector<std::vector<uint8_t>> before;
    for (int n = 0; n < 5; ++n) {
        before.push_back(VertexBytes(List(n).bufferBlock));
    }
    const std::vector<uint16_t> indices = IndexWords(List(0).bufferBlock);
    const std::vector<uint32_t> drawn = DrawBlock(List(0).bufferBlock, 6);
    size_t marked = 0;
    for (uint32_t p : drawn) {
        marked += (p & 0xFFFFFF) != 0xFFFFFF ? 1 : 0;
    }
    EXPECT_GT(marked, 10u) << "the list drew something";

    platform::LoseD3D9Devices();
    GraphicsTest::Activate();
    ASSERT_EQ(tessel::IsGraphicsDeviceLost(), 0);
    ASSERT_EQ(base_.base()->buffersBuilt, 1);
    for (int n = 0; n < 5; ++n) {
        EXPECT_EQ(VertexBytes(List(n).bufferBlock), before[n]) << n;
    }
    EXPECT_EQ(IndexWords(List(0).bufferBlock), indices);
    EXPECT_NE(model->triangleLists[0].deviceBuffer, nullptr) << "the model's own comes back";
    EXPECT_EQ(DrawBlock(List(0).bufferBlock, 6), drawn);
}

TEST_F(ModelOwnBufferTest, ModelBuffersFollowTheirBases) {
    ASSERT_NE(base_.Store(), -1);
    ASSERT_EQ(tessel::BuildModelBaseBuffers(base_.handle(), 1), 0);
    const int handle = CreateTestModel(base_.handle());
    tessel::ModelInstance* model = tessel::GetModelInstance(handle);
    ASSERT_NE(model, nullptr);
    // The rigid list and the skinned one (shaders present) of shaped frames.
    for (int n : {0, 3}) {
        const tessel::ModelInstanceTriangleList& own = model->triangleLists[n];
        ASSERT_NE(own.deviceBuffer, nullptr) << n;
        EXPECT_EQ(model->frames[List(n).mesh->frame->index].shapesChanged, 1);
    }
    EXPECT_EQ(model->triangleLists[1].deviceBuffer, nullptr) << "not shaped";
    EXPECT_EQ(model->shapesChanged, 1);
    const int created = platform::D3D9CallCount("CreateVertexBuffer");
    EXPECT_EQ(tessel::BuildModelInstanceBuffers(handle), 0);
    EXPECT_EQ(platform::D3D9CallCount("CreateVertexBuffer"), created) << "it has them";

    EXPECT_EQ(tessel::ReleaseModelBaseBuffers(base_.handle()), 0);
    EXPECT_EQ(model->triangleLists[0].deviceBuffer, nullptr);
    EXPECT_EQ(model->triangleLists[3].deviceBuffer, nullptr);
    EXPECT_EQ(List(0).bufferBlock, nullptr);
    EXPECT_EQ(List(0).firstVertex, 0);
    EXPECT_EQ(base_.base()->buffersBuilt, 0);
    EXPECT_EQ(tessel::BuildModelInstanceBuffers(handle), 0);
    EXPECT_EQ(model->triangleLists[0].deviceBuffer, nullptr) << "no block, no buffer";
    EXPECT_EQ(tessel::BuildModelBaseBuffers(base_.handle(), 0), 0);
    EXPECT_NE(model->triangleLists[0].deviceBuffer, nullptr);
    EXPECT_NE(model->triangleLists[3].deviceBuffer, nullptr);
    EXPECT_EQ(tessel::ReleaseModelBuffers(handle), 0);
    EXPECT_EQ(model->triangleLists[0].deviceBuffer, nullptr);
}

}  // namespace
}  // namespace tessel_test
