// The .x reader in the loading chain: the same model written as text and as
// binary (4- and 8-byte floats) gives equal bases, foreign bytes pass on
// without a line, and a broken file leaves nothing behind.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/memory/memory.h"
#include "models/core/model_system.h"
#include "models/drawing/model_drawing.h"
#include "models/loading/model_loading.h"
#include "tests/models/model_test_support.h"
#include "tests/models/xfile/x_sample_models.h"

namespace tessel_test {
namespace {

class XLoadModelTest : public ModelSystemTest {
  protected:
    int Load(const std::vector<uint8_t>& file, const char* path = "model.x") {
        std::vector<uint8_t> image = file;
        image.push_back(0);  // the chain's images end in one 0 byte not counted
        const tessel::ModelLoadParams params = {
            image.data(), static_cast<int32_t>(file.size()), path, "model", ".", nullptr};
        return tessel::LoadXModel(&params);
    }
};

std::string Bytes(const void* p, size_t n) {
    return n == 0 || p == nullptr ? std::string() : std::string(static_cast<const char*>(p), n);
}

// What a base holds: its counts, frames and key bytes. The vertex block is
// left out: its position records differ between loads of equal read models.
std::string DescribeBase(const tessel::ModelBase& b) {
    std::string out = std::to_string(b.frameCount) + " " + std::to_string(b.topFrameCount) + " " +
                      std::to_string(b.materialCount) + " " + std::to_string(b.textureCount) + " " +
                      std::to_string(b.meshCount) + " " + std::to_string(b.skinBoneCount) + " " +
                      std::to_string(b.skinBoneUseCount) + " " +
                      std::to_string(b.triangleListCount) + " " + std::to_string(b.keySetCount) +
                      " " + std::to_string(b.animCount) + " " + std::to_string(b.animSetCount) +
                      " " + std::to_string(b.keyDataUsed) + " " +
                      std::to_string(b.vertexBlock.size) + "\n";
    for (int i = 0; i < b.frameCount; ++i) {
        out += std::string(b.frames[i].name != nullptr ? b.frames[i].name : "") + " " +
               std::to_string(b.frames[i].parent != nullptr ? b.frames[i].parent->index : -1) +
               "\n";
    }
    out += Bytes(b.keyData, static_cast<size_t>(b.keyDataUsed));
    return out;
}

TEST_F(XLoadModelTest, TheSameModelAsTextAndAsBinaryLoadsToTheSameBase) {
    const int text = Load(FullModel(XForm::kText));
    ASSERT_GE(text, 0) << Log();
    const tessel::ModelBase* textBase = tessel::GetModelBase(text);
    ASSERT_NE(textBase, nullptr);
    EXPECT_EQ(textBase->frameCount, 3);
    EXPECT_EQ(textBase->animSetCount, 1);
    EXPECT_GT(textBase->keySetCount, 0);
    for (XForm form : {XForm::kBinary, XForm::kBinary64}) {
        const int binary = Load(FullModel(form));
        ASSERT_GE(binary, 0) << Log();
        EXPECT_EQ(DescribeBase(*tessel::GetModelBase(binary)), DescribeBase(*textBase));
        tessel::ReleaseModelBase(binary);
    }
    tessel::ReleaseModelBase(text);
}

TEST_F(XLoadModelTest, ForeignBytesPassOnQuietlyAndBrokenFilesLeaveNothing) {
    const size_t blocks = tessel::TrackedBlockCount();
    const int bases = tessel::g_models.bases.count;
    const size_t logLength = Log().size();
    const std::string mqo = "Metasequoia Document\r\n";
    EXPECT_EQ(Load(std::vector<uint8_t>(mqo.begin(), mqo.end())), -1);
    EXPECT_EQ(Log().size(), logLength);
    const std::string broken = "xof 0303txt 0032\nFrame A { Mesh { 3; 0;0;0;, 1;0;0;; } }";
    EXPECT_EQ(Load(std::vector<uint8_t>(broken.begin(), broken.end())), -1);
    EXPECT_NE(Log().find("Load XFile : オブジェクト Mesh (  ) 解析中にエラーが発生しました"),
              std::string::npos)
        << Log();
    EXPECT_EQ(tessel::TrackedBlockCount(), blocks);
    EXPECT_EQ(tessel::g_models.bases.count, bases);
}

TEST_F(XLoadModelTest, AGridFileBecomesAModelThroughTheChain) {
    const std::vector<uint8_t> grid = GridModel(XForm::kText, 50);
    const int model =
        tessel::LoadModelFromImage("grid.x", grid.data(), static_cast<int32_t>(grid.size()));
    ASSERT_GE(model, 0) << Log();
    tessel::Vec3 maximum = {};
    tessel::Vec3 minimum = {};
    ASSERT_EQ(tessel::MeasureModelBounds(model, &maximum, &minimum), 0);
    EXPECT_FLOAT_EQ(maximum.x, 0.625f);  // 5 x 5 quads of 0.125
    EXPECT_FLOAT_EQ(minimum.z, 0.0f);
    EXPECT_EQ(tessel::DeleteModelInstance(model), 0);
}

}  // namespace
}  // namespace tessel_test
