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

// A frame's position records as far as they are written: each position,
// then its (bone, weight) pairs up to the end marker; the slots behind the
// marker are never written and so are left out.
std::string DescribePositions(const tessel::ModelFrame& f) {
    std::string out;
    const int pairs = (f.positionStride - 12) / 8;
    for (int p = 0; p < f.positionCount; ++p) {
        const uint8_t* record = f.positions + static_cast<size_t>(p) * f.positionStride;
        out += Bytes(record, 12);
        for (int k = 0; k < pairs; ++k) {
            out += Bytes(record + 12 + 8 * k, 8);
            uint32_t bone = 0;
            std::memcpy(&bone, record + 12 + 8 * k, 4);
            if (bone == 0xFFFFFFFFu) {
                break;
            }
        }
    }
    return out;
}

// What a base holds: its counts, frames with their matrices, positions and
// normals, meshes with their vertices and triangles, material colours and
// the key bytes.
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
        const tessel::ModelFrame& f = b.frames[i];
        out += std::string(f.name != nullptr ? f.name : "") + " " +
               std::to_string(f.parent != nullptr ? f.parent->index : -1) + " " +
               std::to_string(f.positionCount) + " " + std::to_string(f.normalCount) + "\n";
        out += Bytes(&f.local, sizeof f.local);
        out += DescribePositions(f);
        out += Bytes(f.normals, static_cast<size_t>(f.normalCount) * sizeof(tessel::ModelNormal));
    }
    for (int i = 0; i < b.meshCount; ++i) {
        const tessel::ModelMesh& m = b.meshes[i];
        out += std::to_string(m.frame->index) + " " + std::to_string(m.vertexCount) + " " +
               std::to_string(m.triangleCount) + "\n";
        out += Bytes(m.vertices, static_cast<size_t>(m.vertexCount) * m.vertexStride);
        out += Bytes(m.triangles, static_cast<size_t>(m.triangleCount) * sizeof *m.triangles);
    }
    for (int i = 0; i < b.materialCount; ++i) {
        const tessel::ModelMaterial& m = b.materials[i];
        out += std::string(m.name != nullptr ? m.name : "") + "\n";
        out += Bytes(m.diffuse, sizeof m.diffuse) + Bytes(m.specular, sizeof m.specular) +
               Bytes(m.emissive, sizeof m.emissive) + Bytes(&m.power, sizeof m.power);
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
