// The PMD reader with its motions and in the loading chain: motion files
// found by number until one is missing (through the callbacks and through
// the file layer), the walking character's feet held on their IK targets by
// the baked keys, and the character loaded from its files and drawn on the
// processor-backed device.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "foundation/memory/memory.h"
#include "graphics/camera/camera.h"
#include "graphics/settings/draw_settings.h"
#include "models/core/model_system.h"
#include "models/drawing/model_drawing.h"
#include "models/loading/model_loading.h"
#include "models/pmd/pmd_reader.h"
#include "tests/graphics/targets/target_test_support.h"
#include "tests/models/model_test_support.h"
#include "tools/lib/pmd_character.h"

namespace tessel_test {
namespace {

using tessel::ReadModel;
using tessel::ReadModelAnim;
using tessel::ReadModelFrame;
using tessel::ReadModelKeySet;

// Files the callbacks serve by name, and the names asked for.
struct FileShelf {
    std::map<std::string, std::vector<uint8_t>> files;
    std::vector<std::string> asked;
    int released = 0;

    static int Load(const char* name, void** image, int* size, void* context) {
        auto* shelf = static_cast<FileShelf*>(context);
        shelf->asked.push_back(name);
        auto found = shelf->files.find(name);
        if (found == shelf->files.end()) {
            return -1;
        }
        *image = found->second.data();
        *size = static_cast<int>(found->second.size());
        return 0;
    }
    static void Release(void*, void* context) { ++static_cast<FileShelf*>(context)->released; }
};

class PmdMotionRead : public ::testing::Test {
  protected:
    PmdMotionRead() { before_ = tessel::TrackedBlockCount(); }
    ~PmdMotionRead() override {
        tessel::ReadModelRelease(&model_);
        EXPECT_EQ(tessel::TrackedBlockCount(), before_);
    }

    int Read(const tessel::PmdModelDesc& desc) {
        tessel::ReadModelClear(&model_);
        image_ = tessel::WritePmd(desc);
        const size_t size = image_.size();
        image_.push_back(0);
        callbacks_ = {&FileShelf::Load, &FileShelf::Release, &shelf_};
        const tessel::ModelLoadParams params = {image_.data(), static_cast<int32_t>(size),
                                                "walker.pmd",  "walker",
                                                nullptr,       &callbacks_};
        return tessel::ReadPmdIntoModel(&params, &model_);
    }

    ReadModelFrame* Frame(const char* name) {
        for (ReadModelFrame* f = model_.firstFrame; f != nullptr; f = f->next) {
            if (std::strcmp(f->name, name) == 0) {
                return f;
            }
        }
        return nullptr;
    }

    ReadModel model_ = {};
    FileShelf shelf_;
    tessel_test::LogScope log_;

  private:
    tessel::ModelFileCallbacks callbacks_ = {};
    std::vector<uint8_t> image_;
    size_t before_ = 0;
};

TEST_F(PmdMotionRead, MotionsAreFoundByNumberUntilOneIsMissing) {
    shelf_.files["walker000.vmd"] = tessel::WriteVmd(tessel::WalkerWalk());
    shelf_.files["walker002.vmd"] = tessel::WriteVmd(tessel::WalkerBlink());
    ASSERT_EQ(Read(tessel::WalkerModel()), 0) << log_.Text();
    ASSERT_EQ(model_.animSetCount, 1);
    EXPECT_STREQ(model_.firstAnimSet->name, "Anim000");
    EXPECT_EQ(shelf_.asked, (std::vector<std::string>{"walker000.vmd", "walker001.vmd"}));
    EXPECT_EQ(shelf_.released, 1);
    // Both present: two sets, in number order.
    shelf_ = FileShelf{};
    shelf_.files["walker000.vmd"] = tessel::WriteVmd(tessel::WalkerWalk());
    shelf_.files["walker001.vmd"] = tessel::WriteVmd(tessel::WalkerBlink());
    tessel::ReadModelRelease(&model_);
    ASSERT_EQ(Read(tessel::WalkerModel()), 0) << log_.Text();
    ASSERT_EQ(model_.animSetCount, 2);
    EXPECT_STREQ(model_.lastAnimSet->name, "Anim001");
}

TEST_F(PmdMotionRead, ARefusedMotionEndsTheSearchAndTheModelStillReads) {
    shelf_.files["walker000.vmd"] = tessel::WriteVmd(tessel::WalkerWalk());
    std::vector<uint8_t> foreign = tessel::WriteVmd(tessel::WalkerBlink());
    foreign[0] = 'v';
    shelf_.files["walker001.vmd"] = foreign;
    shelf_.files["walker002.vmd"] = tessel::WriteVmd(tessel::WalkerBlink());
    ASSERT_EQ(Read(tessel::WalkerModel()), 0) << log_.Text();
    ASSERT_EQ(model_.animSetCount, 1);
    EXPECT_EQ(shelf_.asked.size(), 2u);
    EXPECT_EQ(shelf_.released, 2);
}

// ---- the walk, evaluated from the baked keys

// The key of a set at frame f: the one with that time, or the nearest end.
const float* KeyAt(const ReadModelKeySet* keys, float f, int width) {
    int k = 0;
    while (k + 1 < keys->keyCount && keys->times[k + 1] <= f) {
        ++k;
    }
    return static_cast<const float*>(keys->values) + static_cast<size_t>(width) * k;
}

// Row-vector rotation of the unit quaternion (x, y, z, w).
tessel::Mat4 RotationRows(const float* q) {
    const float x = q[0];
    const float y = q[1];
    const float z = q[2];
    const float w = q[3];
    tessel::Mat4 m = {};
    m.m[0][0] = 1 - 2 * (y * y + z * z);
    m.m[0][1] = 2 * (x * y + z * w);
    m.m[0][2] = 2 * (x * z - y * w);
    m.m[1][0] = 2 * (x * y - z * w);
    m.m[1][1] = 1 - 2 * (x * x + z * z);
    m.m[1][2] = 2 * (y * z + x * w);
    m.m[2][0] = 2 * (x * z + y * w);
    m.m[2][1] = 2 * (y * z - x * w);
    m.m[2][2] = 1 - 2 * (x * x + y * y);
    m.m[3][3] = 1.0f;
    return m;
}

// Every frame's world matrix at frame f of the set: a frame with an
// animation takes its keys, the others their rest translation.
std::map<const ReadModelFrame*, tessel::Mat4> PoseAt(const ReadModel& model,
                                                     const tessel::ReadModelAnimSet* set, float f) {
    std::map<const ReadModelFrame*, const ReadModelAnim*> anims;
    for (const ReadModelAnim* a = set->firstAnim; a != nullptr; a = a->nextInSet) {
        for (const ReadModelFrame* frame = model.firstFrame; frame != nullptr;
             frame = frame->next) {
            if (frame->index == a->targetIndex) {
                anims[frame] = a;
            }
        }
    }
    std::map<const ReadModelFrame*, tessel::Mat4> world;
    // Frames come parents first.
    for (const ReadModelFrame* frame = model.firstFrame; frame != nullptr; frame = frame->next) {
        tessel::Mat4 local;
        tessel::MatIdentity(&local);
        tessel::Vec3 t = frame->translation;
        auto found = anims.find(frame);
        if (found != anims.end()) {
            for (const ReadModelKeySet* k = found->second->firstKeySet; k != nullptr;
                 k = k->nextInAnim) {
                if (k->kind == 7) {
                    local = RotationRows(KeyAt(k, f, 4));
                } else if (k->kind == 1) {
                    const float* v = KeyAt(k, f, 3);
                    t = tessel::Vec3{v[0], v[1], v[2]};
                }
            }
        }
        local.m[3][0] = t.x;
        local.m[3][1] = t.y;
        local.m[3][2] = t.z;
        if (frame->parent != nullptr) {
            tessel::MatMul(&local, &local, &world[frame->parent]);
        }
        world[frame] = local;
    }
    return world;
}

// The walk keeps each leg a little bent (a stride of 2.5 under a hip 7.5
// from its ankle): there every foot stays on its target within 1e-3 (3.2e-5
// at worst). Without the solve the feet miss by up to 1.25.
constexpr float kFootTolerance = 1e-3f;

TEST_F(PmdMotionRead, TheWalkersFeetStayOnTheirIkTargets) {
    shelf_.files["walker000.vmd"] = tessel::WriteVmd(tessel::WalkerWalk());
    ASSERT_EQ(Read(tessel::WalkerModel()), 0) << log_.Text();
    ASSERT_EQ(model_.animSetCount, 1) << log_.Text();
    const char* pairs[2][2] = {{"左足首", "左足ＩＫ"}, {"右足首", "右足ＩＫ"}};
    float worst = 0.0f;
    float travel = 0.0f;
    for (int f = 0; f <= tessel::kWalkFrames; ++f) {
        auto world = PoseAt(model_, model_.firstAnimSet, static_cast<float>(f));
        for (const auto& pair : pairs) {
            const tessel::Mat4& foot = world[Frame(pair[0])];
            const tessel::Mat4& target = world[Frame(pair[1])];
            const float d = std::hypot(foot.m[3][0] - target.m[3][0], foot.m[3][1] - target.m[3][1],
                                       foot.m[3][2] - target.m[3][2]);
            EXPECT_LT(d, kFootTolerance) << pair[0] << " at frame " << f;
            worst = std::max(worst, d);
            travel = std::max(travel, std::fabs(target.m[3][2]));
        }
    }
    // Every chain bone and effector, keyed or not, bakes a key per frame.
    for (const char* name : {"左足首", "左ひざ", "左足", "右足首"}) {
        const ReadModelAnim* anim = model_.firstAnimSet->firstAnim;
        while (anim != nullptr && anim->targetIndex != Frame(name)->index) {
            anim = anim->nextInSet;
        }
        ASSERT_NE(anim, nullptr) << name;
        ASSERT_NE(anim->firstKeySet, nullptr) << name;
        EXPECT_EQ(anim->firstKeySet->keyCount, tessel::kWalkFrames + 1) << name;
    }
    // The targets did move: the legs were solved, not left at rest.
    EXPECT_GT(travel, 1.0f);
    RecordProperty("worst_foot_distance", std::to_string(worst));
}

// One chain bone, one iteration: the angle limit (0.75 pi a step) lets the
// single step turn the arm the quarter turn to its target.
TEST_F(PmdMotionRead, TheAngleLimitIsInUnitsOfPi) {
    tessel::PmdModelDesc m;
    tessel::PmdVertexDesc v = {};
    v.weight = 100;
    m.vertices = {v, v, v};
    m.indices = {0, 1, 2};
    m.materials = {{{1, 1, 1, 1}, 1, {0, 0, 0}, {0, 0, 0}, 0xFF, 0, 3, ""}};
    m.bones = {{"arm", 0xFFFF, 0, 0, 0, {0, 0, 0}},
               {"hand", 0, 0, 0, 0, {0, 1, 0}},
               {"aim", 0xFFFF, 0, 2, 0, {1, 0, 0}}};
    m.iks = {{2, 1, 1, 0.75f, {0}}};
    tessel::VmdMotionDesc motion;
    tessel::VmdBoneKeyDesc key = {};
    key.name = "aim";
    key.rotation[3] = 1.0f;
    motion.boneKeys = {key};
    shelf_.files["walker000.vmd"] = tessel::WriteVmd(motion);
    ASSERT_EQ(Read(m), 0) << log_.Text();
    ASSERT_EQ(model_.animSetCount, 1) << log_.Text();
    auto world = PoseAt(model_, model_.firstAnimSet, 0.0f);
    const tessel::Mat4& hand = world[Frame("hand")];
    EXPECT_NEAR(hand.m[3][0], 1.0f, 1e-4f);
    EXPECT_NEAR(hand.m[3][1], 0.0f, 1e-4f);
}

// ---- through the chain, from files

class PmdLoadModelTest : public ModelSystemTest {
  protected:
    void SetUp() override {
        ModelSystemTest::SetUp();
        ASSERT_EQ(tessel::WriteWalkerFiles(dir().path()), 0);
    }
    std::string WalkerPath() { return dir().Windows() + "\\walker.pmd"; }
};

TEST_F(PmdLoadModelTest, TheWalkerLoadsWithItsMotionsAndDraws) {
    const size_t blocks = tessel::TrackedBlockCount();
    const int model = tessel::LoadModel(WalkerPath().c_str());
    ASSERT_GE(model, 0) << Log();
    const tessel::ModelInstance* record = tessel::GetModelInstance(model);
    ASSERT_NE(record, nullptr);
    const tessel::ModelBase* base = record->base;
    EXPECT_EQ(base->frameCount, 1 + tessel::kWalkerBoneCount);
    EXPECT_EQ(base->materialCount, 4);
    ASSERT_EQ(base->animSetCount, 2);
    EXPECT_STREQ(base->animSets[0].name, "Anim000");
    EXPECT_STREQ(base->animSets[1].name, "Anim001");
    tessel::Vec3 maximum = {};
    tessel::Vec3 minimum = {};
    ASSERT_EQ(tessel::MeasureModelBounds(model, &maximum, &minimum), 0);
    EXPECT_FLOAT_EQ(maximum.y, 15.5f);
    EXPECT_FLOAT_EQ(minimum.y, 0.0f);
    EXPECT_FLOAT_EQ(maximum.x, 2.25f);
    // Seen from the front, 40 before its waist with the 60-degree view: about
    // 10.4 pixels a unit, so the chest (y 11) lies 31 pixels above the
    // centre, the head (y 14) 62, and y 17 above the head 94.
    ASSERT_EQ(tessel::SelectDrawTarget(tessel::kBackScreen), 0);
    tessel::EnableLighting3D(0);
    tessel::PlaceCameraByAngles(0.0f, 8.0f, -40.0f, 0.0f, 0.0f, 0.0f);
    tessel::SetCameraDepthRange(1.0f, 1000.0f);
    Paint(RECT{0, 0, 640, 480}, 0x102030);
    ASSERT_EQ(tessel::RenderModel(model), 0);
    EXPECT_NE(TargetPixel(320, 209), 0x102030u);
    EXPECT_NE(TargetPixel(320, 178), 0x102030u);
    EXPECT_EQ(TargetPixel(320, 146), 0x102030u);
    EXPECT_EQ(TargetPixel(20, 20), 0x102030u);
    EXPECT_EQ(TargetPixel(620, 460), 0x102030u);
    EXPECT_EQ(tessel::DeleteModelInstance(model), 0);
    EXPECT_LE(tessel::TrackedBlockCount(), blocks + 64);
}

// Models at the edges of what the file allows still convert: no faces, no
// bones, no materials, or morphs whose base names no vertex.
TEST_F(PmdLoadModelTest, DegenerateModelsConvert) {
    struct Case {
        const char* name;
        void (*shape)(tessel::PmdModelDesc*);
    };
    const Case cases[] = {
        {"no faces",
         [](tessel::PmdModelDesc* m) {
             m->indices.clear();
             for (tessel::PmdMaterialDesc& material : m->materials) {
                 material.indexCount = 0;
             }
         }},
        {"no bones",
         [](tessel::PmdModelDesc* m) {
             m->bones.clear();
             m->iks.clear();
             m->boneDisplay.clear();
         }},
        {"no materials", [](tessel::PmdModelDesc* m) { m->materials.clear(); }},
        {"empty base morph",
         [](tessel::PmdModelDesc* m) {
             m->morphs = {{"base", 0, {}}, {"none", 1, {}}};
         }},
        {"no vertices",
         [](tessel::PmdModelDesc* m) {
             m->vertices.clear();
             m->indices.clear();
             m->materials.clear();
             m->morphs.clear();
         }},
    };
    for (const Case& c : cases) {
        tessel::PmdModelDesc m = tessel::WalkerModel();
        c.shape(&m);
        const std::vector<uint8_t> bytes = tessel::WritePmd(m);
        const int model = tessel::LoadModelFromImage("edge.pmd", bytes.data(),
                                                     static_cast<int32_t>(bytes.size()));
        EXPECT_GE(model, 0) << c.name << "\n" << Log();
        if (model >= 0) {
            EXPECT_EQ(tessel::RenderModel(model), 0) << c.name;
            EXPECT_EQ(tessel::DeleteModelInstance(model), 0) << c.name;
        }
    }
}

TEST_F(PmdLoadModelTest, ForeignAndBrokenFilesLeaveNothingBehind) {
    std::vector<uint8_t> broken = tessel::WritePmd(tessel::WalkerModel());
    const size_t blocks = tessel::TrackedBlockCount();
    // Not "Pmd": -1 from the reader without a line.
    std::vector<uint8_t> foreign = broken;
    foreign[2] = 'D';
    foreign.push_back(0);
    const tessel::ModelLoadParams params = {
        foreign.data(), static_cast<int32_t>(foreign.size() - 1), "x.pmd", "x", nullptr, nullptr};
    const size_t logLength = Log().size();
    EXPECT_EQ(tessel::LoadPmdModel(&params), -1);
    EXPECT_EQ(Log().size(), logLength) << Log();
    EXPECT_EQ(tessel::TrackedBlockCount(), blocks);
    broken.resize(600);
    EXPECT_EQ(tessel::LoadModelFromImage("broken.pmd", broken.data(),
                                         static_cast<int32_t>(broken.size())),
              -1);
    EXPECT_NE(Log().find("PMD Load Error"), std::string::npos) << Log();
    EXPECT_EQ(tessel::TrackedBlockCount(), blocks);
}

}  // namespace
}  // namespace tessel_test
