// TSM files through ParseTsmModel and the loading chain: a magic wrong in any
// byte, packed positions at both ends of their range, a position whose
// first bone is the end marker, key sets in many packings with their
// quantisers, the refused quantiser index, round trips through our writer
// (an MQO model, and a skinned model with shapes and an animation) drawing
// as their originals do, and every word of a valid body damaged in turn.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/files/file_ops.h"
#include "foundation/memory/memory.h"
#include "graphics/camera/camera.h"
#include "graphics/targets/draw_targets.h"
#include "images/base_image.h"
#include "models/buffers/model_buffers.h"
#include "models/core/model_system.h"
#include "models/drawing/model_drawing.h"
#include "models/instances/model_instances.h"
#include "models/loading/model_loading.h"
#include "models/read/read_model_conversion.h"
#include "models/textures/model_textures.h"
#include "models/tsm/tsm_layout.h"
#include "tests/foundation/files/files_test_support.h"
#include "tests/graphics/targets/target_test_support.h"
#include "tests/models/model_test_support.h"
#include "tests/models/read/conversion_fixture.h"
#include "tests/models/tsm/tsm_fixture.h"
#include "tools/lib/lz_compress.h"
#include "tools/lib/tsm_writer.h"

namespace tessel_test {
namespace {

std::vector<uint8_t> Bytes(const char* text) {
    return std::vector<uint8_t>(text, text + std::strlen(text));
}

class TsmModelTest : public ModelSystemTest {
  protected:
    void SetUp() override {
        ModelSystemTest::SetUp();
        ASSERT_EQ(tessel::SelectDrawTarget(tessel::kBackScreen), 0);
        char current[tessel::kModelDirectoryBytes] = "";
        tessel::FsGetCurrentDir(current);
        directory_ = current;
    }
    void TearDown() override {
        for (int model : models_) {
            tessel::DeleteModelInstance(model);
        }
        ModelSystemTest::TearDown();
    }

    // A model loaded through the chain from the bytes, kept until the end.
    int Load(const char* path, std::vector<uint8_t> bytes) {
        const auto size = static_cast<int32_t>(bytes.size());
        bytes.push_back(0);
        const int model = tessel::LoadModelFromImage(path, bytes.data(), size);
        if (model >= 0) {
            models_.push_back(model);
        }
        return model;
    }
    // ParseTsmModel alone: the base handle or -1.
    int Parse(const std::vector<uint8_t>& file, const char* directory = nullptr) {
        const tessel::ModelLoadParams params = {
            file.data(),
            static_cast<int32_t>(file.size()),
            "m.tsm",
            "m",
            directory != nullptr ? directory : directory_.c_str(),
            nullptr};
        return tessel::ParseTsmModel(&params);
    }
    tessel::ModelBase* BaseOf(int model) { return tessel::GetModelInstance(model)->base; }
    std::vector<uint8_t> Written(const tessel::ModelBase* base,
                                 const tessel::TsmWriteOptions& options = {}) {
        std::vector<uint8_t> file;
        EXPECT_EQ(tessel::WriteTsmModel(base, options, &file), 0);
        return file;
    }
    // The skinned model converted, made a model as the chain makes one.
    // At a small scale it covers a few pixels only, drawing fast.
    int SkinnedModel(float scale = 1.0f) {
        ConversionModel m;
        FillSkinnedModel(m, scale);
        const int base = tessel::ConvertReadModel(&m.model, directory_.c_str(), nullptr);
        if (base == -1) {
            return -1;
        }
        const int model = tessel::FinishModelLoad("skin.x", base);
        if (model >= 0) {
            models_.push_back(model);
        }
        return model;
    }
    // Every pixel of the back screen after drawing the model alone.
    std::vector<uint32_t> Drawn(int model) {
        Paint(RECT{0, 0, 640, 480}, kBackground);
        EXPECT_EQ(tessel::RenderModel(model), 0);
        std::vector<uint32_t> pixels;
        tessel::BASEIMAGE view = {};
        const RECT rect = {0, 0, 640, 480};
        if (tessel::LockScreenRect(&rect, &view) != 0) {
            ADD_FAILURE() << "no screen lock";
            return pixels;
        }
        for (int y = 0; y < 480; ++y) {
            for (int x = 0; x < 640; ++x) {
                int r = 0, g = 0, b = 0, a = 0;
                tessel::ReadImagePixel(&view, x, y, &r, &g, &b, &a);
                pixels.push_back(uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b));
            }
        }
        tessel::ReleaseScreenLock();
        return pixels;
    }
    void ExpectSameDrawing(int original, int copy) {
        const std::vector<uint32_t> a = Drawn(original);
        const std::vector<uint32_t> b = Drawn(copy);
        ASSERT_EQ(a.size(), b.size());
        size_t drawn = 0;
        size_t differing = 0;
        size_t first = a.size();
        for (size_t i = 0; i < a.size(); ++i) {
            drawn += a[i] != kBackground ? 1 : 0;
            if (a[i] != b[i]) {
                first = differing++ == 0 ? i : first;
            }
        }
        EXPECT_GT(drawn, 1000u) << "the original draws almost nothing";
        EXPECT_EQ(differing, 0u) << "first at " << first % 640 << "," << first / 640;
    }

    static constexpr uint32_t kBackground = 0x102030;
    std::string directory_;

  private:
    std::vector<int> models_;
};

// ------------------------------------------------------------ the envelope

TEST_F(TsmModelTest, AMagicWrongInAnyByteIsNotTsmSilentlyAndAllocatesNothing) {
    const int mqo = Load("plate.mqo", Bytes(kPlateMqo));
    ASSERT_GE(mqo, 0) << Log();
    const std::vector<uint8_t> good = Written(BaseOf(mqo));
    const int handle = Parse(good);
    ASSERT_GE(handle, 0) << Log();
    tessel::ReleaseModelBase(handle);
    const size_t logged = Log().size();
    for (int at = 0; at < 4; ++at) {
        for (const uint8_t bits : {0x01, 0x20, 0x80}) {
            std::vector<uint8_t> file = good;
            file[at] ^= bits;
            const uint32_t blocks = tessel::TrackedBlockCount();
            EXPECT_EQ(Parse(file), -1) << at;
            EXPECT_EQ(tessel::TrackedBlockCount(), blocks) << at;
        }
    }
    EXPECT_EQ(Log().size(), logged) << Log();
}

// ------------------------------------------------------- positions, weights

TEST_F(TsmModelTest, PackedPositionsDecodeFromBaseToBasePlusRange) {
    const int mqo = Load("plate.mqo", Bytes(kPlateMqo));
    ASSERT_GE(mqo, 0) << Log();
    tessel::TsmWriteOptions options;
    options.frameFlags |= tessel::kTsmPackedPositions;
    const std::vector<uint8_t> file = Written(BaseOf(mqo), options);
    // The packed values of the plate's frame: its corners store 0 and 60000.
    std::vector<uint8_t> body;
    ASSERT_EQ(tessel::ExpandTsmFile(file, &body), 0);
    uint32_t frame;
    std::memcpy(&frame, &body[tessel::tsm_header::kFirstFrame], 4);
    uint32_t data;
    std::memcpy(&data, &body[frame + 0xc4], 4);
    float ranges[6];
    std::memcpy(ranges, &body[data], sizeof ranges);
    EXPECT_EQ(ranges[0], 100.0f);
    EXPECT_EQ(ranges[1], 200.0f);
    uint16_t stored[12];
    std::memcpy(stored, &body[data + 24], sizeof stored);
    EXPECT_EQ(stored[0], 0);
    EXPECT_EQ(stored[3], 60000);
    EXPECT_EQ(stored[7], 60000);

    const int tsm = Load("plate.tsm", file);
    ASSERT_GE(tsm, 0) << Log();
    const tessel::ModelFrame& from = BaseOf(mqo)->frames[0];
    const tessel::ModelFrame& to = BaseOf(tsm)->frames[0];
    ASSERT_EQ(to.positionCount, from.positionCount);
    for (int p = 0; p < to.positionCount; ++p) {
        float a[3];
        float b[3];
        std::memcpy(a, from.positions + static_cast<size_t>(p) * from.positionStride, 12);
        std::memcpy(b, to.positions + static_cast<size_t>(p) * to.positionStride, 12);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(b[k], a[k]) << p << "," << k;
        }
    }
    ExpectSameDrawing(mqo, tsm);
}

TEST_F(TsmModelTest, AFirstBoneIndexOfTheEndMarkerGivesThePositionNoWeights) {
    const int skinned = SkinnedModel();
    ASSERT_GE(skinned, 0) << Log();
    tessel::ModelBase* base = BaseOf(skinned);
    tessel::ModelFrame& child = base->frames[1];
    ASSERT_GE(child.maxWeights, 2);
    // Position 0 of the child loses its pairs: the narrow index 0xFF leads.
    const int32_t end = -1;
    std::memcpy(child.positions + 12, &end, 4);
    tessel::TsmWriteOptions options;
    options.frameFlags = 3;
    const int tsm = Load("skin.tsm", Written(base, options));
    ASSERT_GE(tsm, 0) << Log();
    const tessel::ModelFrame& read = BaseOf(tsm)->frames[1];
    int32_t bone;
    std::memcpy(&bone, read.positions + 12, 4);
    EXPECT_EQ(bone, -1);
    // Position 1 keeps its bone and weight (1/255 steps: 1.0 stays exact).
    float weight;
    std::memcpy(&bone, read.positions + read.positionStride + 12, 4);
    std::memcpy(&weight, read.positions + read.positionStride + 16, 4);
    EXPECT_EQ(bone, 0);
    EXPECT_EQ(weight, 1.0f);
    // The skinned list's source vertex of position 0 carries no weight.
    const tessel::ModelBase* readBase = BaseOf(tsm);
    bool found = false;
    for (int l = 0; l < readBase->triangleListCount; ++l) {
        const tessel::ModelTriangleList& list = readBase->triangleLists[l];
        if (list.vertexType != 1 || list.mesh->frame != &read) {
            continue;
        }
        for (int v = 0; v < list.vertexCount; ++v) {
            const auto* record = reinterpret_cast<const tessel::ModelMeshVertex*>(
                list.mesh->vertices +
                static_cast<size_t>(list.meshVertexIndices[v]) * list.mesh->vertexStride);
            if (record->positionIndex != 0) {
                continue;
            }
            float weights[4];
            std::memcpy(weights, list.vertices + 48 * v, sizeof weights);
            EXPECT_EQ(weights[0], 0.0f);
            EXPECT_EQ(weights[1], 0.0f);
            found = true;
        }
    }
    EXPECT_TRUE(found) << "no 4-bone vertex of position 0";
}

// ------------------------------------------------------------------- keys

struct KeyCase {
    const char* name;
    uint16_t flags;
    bool singleKeyShort;
    uint8_t timeQuantiser[2];
    uint8_t valueQuantiser[2];
    uint8_t kind;
    std::vector<float> times;  // empty: no table, keys at start + k x step
    float start;
    float step;
    std::vector<float> values;
    std::vector<float> expectedTimes;
    std::vector<float> expectedValues;
    float tolerance;  // 0: exact
};

TEST_F(TsmModelTest, KeySetsInEveryPackingDecodeTheirTimesAndValues) {
    using namespace tessel;
    const std::vector<KeyCase> cases = {
        {"floats, a time table, a 32-bit count",
         0,
         false,
         {0x80, 0x11},
         {0x80, 0x11},
         1,
         {0.0f, 1.5f, 4.0f},
         0.0f,
         1.0f,
         {1, 2, 3, 4, 5, 6, 7, 8, 9.5f},
         {0.0f, 1.5f, 4.0f},
         {1, 2, 3, 4, 5, 6, 7, 8, 9.5f},
         0.0f},
        // Times: base 0, step 5 x 0.1; values: base -10, step 0.5.
        {"a byte count, quantised times and values",
         kTsmKeyCountByte | kTsmKeyTimesQuantised | kTsmKeyValuesPacked,
         false,
         {0x80, 0x95},
         {0x41, 0x95},
         1,
         {0.0f, 1.5f, 4.0f},
         0.0f,
         1.0f,
         {-10.0f, -9.5f, 0.0f, 2.5f, 7.0f, 20.5f, -4.0f, 0.5f, 100.0f},
         {0.0f, 1.5f, 4.0f},
         {-10.0f, -9.5f, 0.0f, 2.5f, 7.0f, 20.5f, -4.0f, 0.5f, 100.0f},
         0.0f},
        // Base +100 (index 2), step 3 x 10.
        {"a 16-bit count, positive base, large step",
         kTsmKeyCount16 | kTsmKeyTimesQuantised | kTsmKeyValuesPacked,
         false,
         {0x02, 0x13},
         {0x02, 0x13},
         5,
         {100.0f, 160.0f},
         0.0f,
         1.0f,
         {130.0f, 400.0f},
         {100.0f, 160.0f},
         {130.0f, 400.0f},
         0.0f},
        // Base 10^-3 (index 16 + 3) of the small half, step 1 x 10^-3.
        {"a small base from the table's second half",
         kTsmKeyValuesPacked,
         false,
         {0x80, 0x11},
         {0x23, 0xB1},
         5,
         {0.0f, 1.0f},
         0.0f,
         1.0f,
         {0.001f, 0.501f},
         {0.0f, 1.0f},
         {0.001f, 0.501f},
         1e-6f},
        {"even keys, 16-bit start and step, angles",
         kTsmKeyCount16 | kTsmKeyStart16 | kTsmKeyStep16 | kTsmKeyValuesPacked | kTsmKeyAngle,
         false,
         {0x80, 0x11},
         {0x80, 0x11},
         1,
         {},
         3.0f,
         2.0f,
         {0.0f, 1.0f, 6.0f, 3.1f, 2.0f, 0.5f},
         {},
         {0.0f, 1.0f, 6.0f, 3.1f, 2.0f, 0.5f},
         1e-4f},
        {"even keys, 16-bit start, float step",
         kTsmKeyStart16,
         false,
         {0x80, 0x11},
         {0x80, 0x11},
         5,
         {},
         12.0f,
         0.75f,
         {1.0f, 2.0f},
         {},
         {1.0f, 2.0f},
         0.0f},
        {"even keys, float start, 16-bit step",
         kTsmKeyStep16,
         false,
         {0x80, 0x11},
         {0x80, 0x11},
         5,
         {},
         0.25f,
         7.0f,
         {1.0f, 2.0f},
         {},
         {1.0f, 2.0f},
         0.0f},
        {"even keys from zero, float step, signed angles",
         kTsmKeyStartZero | kTsmKeyValuesPacked | kTsmKeyAngleSigned,
         false,
         {0x80, 0x11},
         {0x80, 0x11},
         1,
         {},
         0.0f,
         0.25f,
         {-3.0f, 0.0f, 3.0f, -1.0f, 1.5f, -0.5f},
         {},
         {-3.0f, 0.0f, 3.0f, -1.0f, 1.5f, -0.5f},
         1e-4f},
        {"even quaternion keys, float start and step",
         0,
         false,
         {0x80, 0x11},
         {0x80, 0x11},
         7,
         {},
         0.5f,
         1.5f,
         {0, 0, 0, 1, 0.5f, 0.5f, 0.5f, 0.5f},
         {},
         {0, 0, 0, 1, 0.5f, 0.5f, 0.5f, 0.5f},
         0.0f},
        {"one key without count or times",
         kTsmKeyValuesPacked,
         true,
         {0x80, 0x11},
         {0x80, 0xA1},
         5,
         {},
         0.0f,
         1.0f,
         {0.75f},
         {},
         {0.75f},
         1e-6f},
    };
    const int skinned = SkinnedModel();
    ASSERT_GE(skinned, 0) << Log();
    tessel::ModelBase* base = BaseOf(skinned);
    ASSERT_EQ(base->keySetCount, 1);
    const tessel::ModelKeySet saved = base->keySets[0];
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        const int floats = c.kind == 1 ? 3 : c.kind == 5 ? 1 : 4;
        std::vector<float> times = c.times;
        std::vector<float> values = c.values;
        tessel::ModelKeySet& keys = base->keySets[0];
        keys.kind = c.kind;
        keys.keyCount = static_cast<int32_t>(values.size()) / floats;
        keys.hasTimeTable = times.empty() ? 0 : 1;
        keys.times = times.empty() ? nullptr : times.data();
        keys.startTime = c.start;
        keys.timeStep = c.step;
        keys.values = values.data();
        tessel::TsmWriteOptions options;
        options.keyFlags = c.flags;
        options.singleKeyShort = c.singleKeyShort;
        std::memcpy(options.timeQuantiser, c.timeQuantiser, 2);
        std::memcpy(options.valueQuantiser, c.valueQuantiser, 2);
        const std::vector<uint8_t> file = Written(base, options);
        const int handle = Parse(file);
        ASSERT_GE(handle, 0) << Log();
        const tessel::ModelKeySet& read = tessel::GetModelBase(handle)->keySets[0];
        EXPECT_EQ(read.kind, c.kind);
        EXPECT_EQ(read.keyCount, keys.keyCount);
        EXPECT_EQ(read.hasTimeTable, keys.hasTimeTable);
        if (read.hasTimeTable == 0) {
            EXPECT_EQ(read.startTime, c.start);
            EXPECT_EQ(read.timeStep, c.step);
        }
        for (size_t k = 0; k < c.expectedTimes.size() && read.hasTimeTable != 0; ++k) {
            EXPECT_EQ(read.times[k], c.expectedTimes[k]) << k;
        }
        const auto* got = static_cast<const float*>(read.values);
        for (size_t k = 0; k < c.expectedValues.size(); ++k) {
            EXPECT_NEAR(got[k], c.expectedValues[k], c.tolerance) << k;
        }
        tessel::ReleaseModelBase(handle);
    }
    base->keySets[0] = saved;
}

TEST_F(TsmModelTest, AQuantiserIndexOf32OrMoreFailsTheLoad) {
    const int skinned = SkinnedModel();
    ASSERT_GE(skinned, 0) << Log();
    tessel::TsmWriteOptions options;
    options.keyFlags = tessel::kTsmKeyTimesQuantised;
    const size_t blocks = tessel::TrackedBlockCount();
    for (const uint8_t first : {0x30, 0x3F}) {
        options.timeQuantiser[0] = first;
        EXPECT_EQ(Parse(Written(BaseOf(skinned), options)), -1) << int(first);
        EXPECT_EQ(tessel::TrackedBlockCount(), blocks);
    }
    EXPECT_NE(Log().find("TSM LoadModel Error : キーセット のデータが壊れています"),
              std::string::npos)
        << Log();
    options.timeQuantiser[0] = 0x2F;
    const int handle = Parse(Written(BaseOf(skinned), options));
    EXPECT_GE(handle, 0) << Log();
    tessel::ReleaseModelBase(handle);
}

TEST_F(TsmModelTest, AFailureAtAnyAllocationLeavesNothingBehind) {
    const int skinned = SkinnedModel();
    ASSERT_GE(skinned, 0) << Log();
    const std::vector<uint8_t> file = Written(BaseOf(skinned));
    tessel::ReleaseModelBase(Parse(file));  // the base table grows once and stays
    bool loaded = false;
    int attempts = 0;
    for (int successes = 0; !loaded && successes < 100; ++successes) {
        ++attempts;
        const uint32_t before = tessel::TrackedBlockCount();
        const int32_t slots = tessel::g_models.bases.count;
        tessel::SetTrackedHeapFailingAfter(successes);
        const int handle = Parse(file);
        tessel::SetTrackedHeapFailing(false);
        if (handle >= 0) {
            loaded = true;
            tessel::ReleaseModelBase(handle);
        }
        EXPECT_EQ(tessel::TrackedBlockCount(), before) << successes;
        EXPECT_EQ(tessel::g_models.bases.count, slots) << successes;
    }
    EXPECT_TRUE(loaded);
    EXPECT_GE(attempts, 5) << "the body, base, work bytes, vertex block and tangent work";
    EXPECT_NE(Log().find(
                  "TSM LoadModel Error : 圧縮データを解凍するためのメモリ領域の確保に失敗しました"),
              std::string::npos)
        << Log();
}

// --------------------------------------------------------------- textures

TEST_F(TsmModelTest, TexturesAreReadBesideTheModelAndABrokenOneFailsWithItsName) {
    const std::vector<uint8_t> ramp(tessel::RampTextureTga(),
                                    tessel::RampTextureTga() + tessel::kRampTextureTgaSize);
    // Beside the model, not in the current directory.
    mkdir(dir().Linux("models").c_str(), 0755);
    WriteWholeFile(dir().Linux("models/skin.tga"), ramp);
    const std::string directory = dir().Windows() + "\\models";
    ConversionModel m;
    tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
    tessel::ReadModelMesh* mesh = m.AddMesh(frame, StripPositions(1), StripTriangles(1));
    tessel::ReadModelMaterial* material = tessel::ReadModelNewMaterial(&m.model, "m");
    material->layers[0].count = 1;
    material->layers[0].textures[0] =
        tessel::ReadModelNewTexture(&m.model, "skin", "skin.tga", nullptr, 0, 0.1f, 1, 0);
    mesh->materials[mesh->materialCount++] = material;
    const int original = tessel::ConvertReadModel(&m.model, directory.c_str(), nullptr);
    ASSERT_NE(original, -1) << Log();
    const std::vector<uint8_t> file = Written(tessel::GetModelBase(original));
    tessel::ReleaseModelBase(original);

    const int handle = Parse(file, directory.c_str());
    ASSERT_GE(handle, 0) << Log();
    const tessel::ModelBase* base = tessel::GetModelBase(handle);
    const tessel::ModelTexture& t = base->textures[0];
    EXPECT_STREQ(t.name, "skin");
    EXPECT_STREQ(t.colourFile, "skin.tga");
    EXPECT_EQ(t.alphaFile, nullptr);
    EXPECT_EQ(t.colourImageSize, tessel::kRampTextureTgaSize);
    EXPECT_EQ(t.width, 256);
    EXPECT_NE(t.imageHandle, -1);
    EXPECT_EQ(t.filterMode, 2);
    EXPECT_EQ(base->materials[0].diffuseLayerCount, 1);
    EXPECT_EQ(base->materials[0].diffuseLayers[0].texture, 0);
    tessel::ReleaseModelBase(handle);

    WriteWholeFile(dir().Linux("models/skin.tga"), std::string("not an image"));
    const uint32_t blocks = tessel::TrackedBlockCount();
    EXPECT_EQ(Parse(file, directory.c_str()), -1);
    EXPECT_EQ(tessel::TrackedBlockCount(), blocks);
    EXPECT_NE(Log().find("TSM LoadModel Error : テクスチャ skin の読み込みに失敗しました"),
              std::string::npos)
        << Log();
}

// ------------------------------------------------------ drawing's limits

TEST_F(TsmModelTest, AFreeFormBoneCountWhoseVertexSizePassesSixteenBitsIsRefused) {
    const int skinned = SkinnedModel();
    ASSERT_GE(skinned, 0) << Log();
    std::vector<uint8_t> body;
    ASSERT_EQ(tessel::ExpandTsmFile(Written(BaseOf(skinned)), &body), 0);
    uint32_t list;
    std::memcpy(&list, &body[tessel::tsm_header::kFirstList], 4);
    uint32_t freeForm = 0;
    for (; list != 0; std::memcpy(&list, &body[list + 4], 4)) {
        if (body[list + 0x10] == 3) {
            freeForm = list;
        }
    }
    ASSERT_NE(freeForm, 0u);
    uint32_t data;
    std::memcpy(&data, &body[freeForm + 0x18], 4);
    // (8188 + 4) x 8 bytes a vertex would wrap the 16-bit size to 0.
    const uint16_t bones = 8188;
    std::memcpy(&body[data], &bones, 2);
    std::vector<uint8_t> file;
    ASSERT_EQ(tessel::PackTsmBody(body, &file), 0);
    EXPECT_EQ(Parse(file), -1);
    EXPECT_NE(Log().find("TSM LoadModel Error : トライアングルリスト のデータが壊れています"),
              std::string::npos)
        << Log();
}

TEST_F(TsmModelTest, MoreTextureCoordinateSetsThanTheDrawingHasFormatsForAreRefused) {
    const int mqo = Load("plate.mqo", Bytes(kPlateMqo));
    ASSERT_GE(mqo, 0) << Log();
    tessel::ModelBase* base = BaseOf(mqo);
    tessel::ModelMesh& mesh = base->meshes[0];
    const tessel::ModelMesh saved = mesh;
    for (const int sets : {6, 7}) {
        // The mesh's records again with room for the sets, coordinates 0.
        const int stride = 20 + 8 * sets;
        std::vector<uint8_t> records(static_cast<size_t>(stride) * saved.vertexCount);
        for (int v = 0; v < saved.vertexCount; ++v) {
            std::memcpy(&records[static_cast<size_t>(v) * stride],
                        saved.vertices + static_cast<size_t>(v) * saved.vertexStride, 20);
        }
        mesh.texCoordSetCount = sets;
        mesh.texCoordComponents = 2;
        mesh.vertexStride = stride;
        mesh.vertices = records.data();
        const std::vector<uint8_t> file = Written(base);
        mesh = saved;
        const int handle = Parse(file);
        EXPECT_EQ(handle >= 0, sets == 6) << sets << Log();
        tessel::ReleaseModelBase(handle);
    }
}

// ------------------------------------------------------------ round trips

TEST_F(TsmModelTest, AnMqoModelWrittenAsTsmLoadsAndDrawsAsTheMqo) {
    const int mqo = Load("plate.mqo", Bytes(kPlateMqo));
    ASSERT_GE(mqo, 0) << Log();
    const tessel::ModelBase* from = BaseOf(mqo);
    ASSERT_EQ(from->frameCount, 2);
    const int tsm = Load("plate.tsm", Written(from));
    ASSERT_GE(tsm, 0) << Log();
    const tessel::ModelBase* to = BaseOf(tsm);
    EXPECT_EQ(to->frameCount, 2);
    EXPECT_EQ(to->meshCount, from->meshCount);
    EXPECT_EQ(to->triangleListCount, from->triangleListCount);
    EXPECT_STREQ(to->frames[1].name, from->frames[1].name);
    EXPECT_EQ(to->frames[1].parent, &to->frames[0]);
    EXPECT_STREQ(to->name, "plate");
    ExpectSameDrawing(mqo, tsm);
    // Narrow widths everywhere still draw the same.
    tessel::TsmWriteOptions narrow;
    narrow.frameFlags = 2 | tessel::kTsmNoWeights;
    narrow.meshFlags = 1 | tessel::kTsmMeshSharedColours | tessel::kTsmMeshFlagBits;
    narrow.listFlags = 0;
    const int small = Load("plate.tsm", Written(from, narrow));
    ASSERT_GE(small, 0) << Log();
    const std::vector<uint32_t> a = Drawn(mqo);
    const std::vector<uint32_t> b = Drawn(small);
    size_t differing = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        differing += a[i] != b[i] ? 1 : 0;
    }
    // Normals of 1/32767 steps may move an edge pixel's shade, no more.
    EXPECT_LT(differing, 64u);
}

TEST_F(TsmModelTest, ASkinnedModelWithShapesAndAnAnimationRoundTrips) {
    const int original = SkinnedModel();
    ASSERT_GE(original, 0) << Log();
    const tessel::ModelBase* from = BaseOf(original);
    ASSERT_EQ(from->shapeCount, 1);
    ASSERT_GT(from->skinBoneCount, 0);
    int kinds = 0;
    for (int l = 0; l < from->triangleListCount; ++l) {
        kinds |= 1 << from->triangleLists[l].vertexType;
    }
    ASSERT_EQ(kinds, 0b1011) << "rigid, 4-bone and free-form lists";
    const int tsm = Load("skin.tsm", Written(from));
    ASSERT_GE(tsm, 0) << Log();
    const tessel::ModelBase* to = BaseOf(tsm);
    EXPECT_EQ(to->skinBoneCount, from->skinBoneCount);
    EXPECT_EQ(to->frameSkinBoneRefCount, from->frameSkinBoneRefCount);
    ASSERT_EQ(to->shapeMeshCount, from->shapeMeshCount);
    for (int i = 0; i < to->shapeMeshCount; ++i) {
        ASSERT_EQ(to->shapeMeshes[i].vertexCount, from->shapeMeshes[i].vertexCount);
        EXPECT_EQ(std::memcmp(to->shapeMeshes[i].data, from->shapeMeshes[i].data,
                              sizeof(tessel::ModelShapeDelta) * to->shapeMeshes[i].vertexCount),
                  0);
        EXPECT_EQ(to->shapeMeshes[i].mesh - to->meshes, from->shapeMeshes[i].mesh - from->meshes);
    }
    ASSERT_EQ(to->animSetCount, 1);
    EXPECT_STREQ(to->animSets[0].name, "walk");
    EXPECT_EQ(to->animSets[0].length, from->animSets[0].length);
    ASSERT_EQ(to->animSets[0].animCount, 1);
    EXPECT_EQ(to->animTable[1], &to->anims[0]);
    ASSERT_EQ(to->keySetCount, from->keySetCount);
    const tessel::ModelKeySet& a = from->keySets[0];
    const tessel::ModelKeySet& b = to->keySets[0];
    ASSERT_EQ(b.keyCount, a.keyCount);
    EXPECT_EQ(b.hasTimeTable, a.hasTimeTable);
    EXPECT_EQ(std::memcmp(b.values, a.values, 12 * static_cast<size_t>(a.keyCount)), 0);
    if (a.hasTimeTable != 0) {
        EXPECT_EQ(std::memcmp(b.times, a.times, 4 * static_cast<size_t>(a.keyCount)), 0);
    }
    ExpectSameDrawing(original, tsm);
    // With the shape at full weight both move alike.
    for (const int model : {original, tsm}) {
        tessel::ModelInstance* record = tessel::GetModelInstance(model);
        tessel::ModelInstanceFrame& child = record->frames[1];
        ASSERT_EQ(child.hasShapes, 1);
        child.shapeWeights[0].weight = 1.0f;
        child.shapesChanged = 1;
        record->shapesChanged = 1;
        ASSERT_EQ(tessel::UpdateModelShapes(model), 0);
    }
    ExpectSameDrawing(original, tsm);
}

// ------------------------------------------------------------ damage

// What a loaded base must hold for its readers never to index outside its
// arrays: every run, index and reference lands inside what it names.
void ExpectBaseHolds(const tessel::ModelBase& b) {
    auto inside = [](const void* p, const void* first, int64_t count, size_t size) {
        const auto* at = static_cast<const uint8_t*>(p);
        const auto* start = static_cast<const uint8_t*>(first);
        return at >= start && at < start + count * static_cast<int64_t>(size) &&
               (at - start) % static_cast<int64_t>(size) == 0;
    };
    for (int f = 0; f < b.frameCount; ++f) {
        const tessel::ModelFrame& frame = b.frames[f];
        SCOPED_TRACE("frame " + std::to_string(f));
        if (frame.parent != nullptr) {
            EXPECT_LT(frame.parent->index, f);
        }
        EXPECT_LE(int64_t{frame.firstSkinBoneRef} + frame.skinBoneRefCount,
                  b.frameSkinBoneRefCount);
        for (int m = 0; m < frame.meshCount; ++m) {
            ASSERT_TRUE(inside(&frame.meshes[m], b.meshes, b.meshCount, sizeof(tessel::ModelMesh)));
            EXPECT_EQ(frame.meshes[m].frame, &frame);
        }
        for (int p = 0; p < frame.positionCount; ++p) {
            for (int k = 0; k < frame.maxWeights; ++k) {
                int32_t bone;
                std::memcpy(
                    &bone,
                    frame.positions + static_cast<size_t>(p) * frame.positionStride + 12 + 8 * k,
                    4);
                if (bone < 0) {
                    break;
                }
                EXPECT_LT(bone, frame.skinBoneRefCount) << p;
            }
        }
    }
    for (int i = 0; i < b.frameSkinBoneRefCount; ++i) {
        EXPECT_TRUE(inside(b.frameSkinBoneRefs[i], b.skinBones, b.skinBoneCount,
                           sizeof(tessel::ModelSkinBone)));
    }
    for (int i = 0; i < b.meshCount; ++i) {
        const tessel::ModelMesh& mesh = b.meshes[i];
        SCOPED_TRACE("mesh " + std::to_string(i));
        ASSERT_TRUE(inside(mesh.frame, b.frames, b.frameCount, sizeof(tessel::ModelFrame)));
        for (int v = 0; v < mesh.vertexCount; ++v) {
            const auto* vertex = reinterpret_cast<const tessel::ModelMeshVertex*>(
                mesh.vertices + static_cast<size_t>(v) * mesh.vertexStride);
            EXPECT_LT(static_cast<uint32_t>(vertex->positionIndex),
                      static_cast<uint32_t>(mesh.frame->positionCount));
            EXPECT_LT(static_cast<uint32_t>(vertex->normalIndex),
                      static_cast<uint32_t>(mesh.frame->normalCount));
        }
        for (int l = 0; l < mesh.triangleListCount; ++l) {
            EXPECT_EQ(mesh.triangleLists[l].mesh, &mesh);
        }
    }
    for (int i = 0; i < b.triangleListCount; ++i) {
        const tessel::ModelTriangleList& list = b.triangleLists[i];
        SCOPED_TRACE("list " + std::to_string(i));
        ASSERT_TRUE(inside(list.mesh, b.meshes, b.meshCount, sizeof(tessel::ModelMesh)));
        for (int v = 0; v < list.vertexCount; ++v) {
            EXPECT_LT(list.meshVertexIndices[v], static_cast<uint32_t>(list.mesh->vertexCount));
        }
        for (int k = 0; k < list.indexCount; ++k) {
            EXPECT_LT(list.indices[k], list.vertexCount);
        }
        for (int k = 0; k < list.boneCount; ++k) {
            EXPECT_LT(list.bones[k], list.mesh->frame->skinBoneRefCount);
        }
    }
    for (int i = 0; i < b.shapeMeshCount; ++i) {
        const tessel::ModelShapeMesh& shape = b.shapeMeshes[i];
        ASSERT_TRUE(inside(shape.mesh, b.meshes, b.meshCount, sizeof(tessel::ModelMesh)));
        for (int v = 0; v < shape.vertexCount; ++v) {
            EXPECT_LT(static_cast<uint32_t>(shape.data[v].meshVertex),
                      static_cast<uint32_t>(shape.mesh->vertexCount));
        }
    }
    for (int i = 0; i < b.animCount; ++i) {
        EXPECT_LT(static_cast<uint32_t>(b.anims[i].frame), static_cast<uint32_t>(b.frameCount));
        if (b.anims[i].keySetCount > 0) {
            EXPECT_TRUE(
                inside(b.anims[i].keySets, b.keySets, b.keySetCount, sizeof(tessel::ModelKeySet)));
            EXPECT_LE(b.anims[i].keySets - b.keySets + b.anims[i].keySetCount, b.keySetCount);
        }
    }
}

// Every word of the body set in turn to values an offset or count must not
// take: each load is refused or gives a base that makes a drawable model.
TEST_F(TsmModelTest, EveryWordOfAValidBodyDamagedInTurnIsRefusedOrLoads) {
    const int original = SkinnedModel(0.02f);
    ASSERT_GE(original, 0) << Log();
    std::vector<uint8_t> body;
    ASSERT_EQ(tessel::ExpandTsmFile(Written(BaseOf(original)), &body), 0);
    const auto end = static_cast<uint32_t>(body.size());
    int loaded = 0;
    for (uint32_t at = 4; at + 4 <= end; at += 4) {
        uint32_t word;
        std::memcpy(&word, &body[at], 4);
        for (const uint32_t bad : {0xFFFFFFF0u, end - 2, word + 4}) {
            std::vector<uint8_t> damaged = body;
            std::memcpy(&damaged[at], &bad, 4);
            std::vector<uint8_t> file;
            ASSERT_EQ(tessel::PackTsmBody(damaged, &file, tessel::kLzMinLevel), 0);
            const int handle = Parse(file);
            if (handle < 0) {
                continue;
            }
            ++loaded;
            const tessel::ModelBase* base = tessel::GetModelBase(handle);
            ExpectBaseHolds(*base);
            if (HasFailure()) {
                ADD_FAILURE() << "word at " << at << " set to " << bad;
                return;
            }
            // Every base becomes a model; one in eight is drawn as well, which
            // keeps the sanitizer run short.
            const int model = tessel::FinishModelLoad("damaged.tsm", handle);
            if (model >= 0) {
                if (loaded % 8 == 0) {
                    tessel::RenderModel(model);
                }
                tessel::DeleteModelInstance(model);
            }
        }
    }
    EXPECT_GT(loaded, 0) << "words no reader checks (names, colours) should still load";
}

}  // namespace
}  // namespace tessel_test
