// Skin-bone merging on a finished base laid out by hand: equal bones merge,
// the rest are exchange-sorted by frame, uses and frame references follow,
// and frames learn the bones that name them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "foundation/memory/memory.h"
#include "models/core/model_records.h"
#include "models/read/read_model_preparation.h"
#include "tests/foundation/files/files_test_support.h"

namespace tessel_test {
namespace {

using tessel::ModelSkinBone;
using tessel::ModelSkinBoneUse;

tessel::Mat3x4 Bind(float a, float tx) {
    return tessel::Mat3x4{{{a, 0, 0, tx}, {0, 1, 0, 0}, {0, 0, 1, 0}}};
}

// Two mesh frames (0 and 1) whose meshes use bones on frames 2, 1 and 0,
// laid out as the conversion makes them: one use a bone, the references of
// each mesh frame in a run.
class SkinBaseFixture {
  public:
    // Frame 0 refers to bones 0 and 1, frame 1 to bones 2, 3 and 4. Bone 2
    // repeats bone 0; bone 3 differs from bone 1 only by a negative zero;
    // bone 4 has bone 0's matrix on another frame.
    SkinBaseFixture() {
        tessel::Mat3x4 negativeZero = Bind(2, 0);
        negativeZero.m[0][1] = -0.0f;
        bones = {Bone(2, Bind(1, 5)), Bone(1, Bind(2, 0)), Bone(2, Bind(1, 5)),
                 Bone(1, negativeZero), Bone(0, Bind(1, 5))};
        bones[4].translationOnly = 1;
        uses = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {1, 2}};
        for (size_t i = 0; i < bones.size(); ++i) {
            bones[i].useCount = 1;
            bones[i].uses = &uses[i];
            refs.push_back(&bones[i]);
        }
        frames.resize(3);
        for (int i = 0; i < 3; ++i) {
            frames[i] = tessel::ModelFrame{};
            frames[i].index = i;
        }
        frames[0].skinBoneRefCount = 2;
        frames[0].firstSkinBoneRef = 0;
        frames[1].skinBoneRefCount = 3;
        frames[1].firstSkinBoneRef = 2;
        base.frameCount = 3;
        base.frames = frames.data();
        base.skinBoneCount = static_cast<int32_t>(bones.size());
        base.skinBones = bones.data();
        base.skinBoneUseCount = static_cast<int32_t>(uses.size());
        base.skinBoneUses = uses.data();
        base.frameSkinBoneRefCount = static_cast<int32_t>(refs.size());
        base.frameSkinBoneRefs = refs.data();
    }

    // Puts `replacement` in place of the bones, with one use and one
    // reference each, in order.
    void SetBones(std::vector<ModelSkinBone> replacement) {
        bones = std::move(replacement);
        for (size_t i = 0; i < bones.size(); ++i) {
            bones[i].useCount = 1;
            bones[i].uses = &uses[i];
            refs[i] = &bones[i];
        }
        const auto count = static_cast<int32_t>(bones.size());
        base.skinBones = bones.data();
        base.skinBoneCount = count;
        base.skinBoneUseCount = count;
        base.frameSkinBoneRefCount = count;
    }

    static ModelSkinBone Bone(int frame, const tessel::Mat3x4& bind) {
        ModelSkinBone bone{};
        bone.bind = bind;
        bone.boneFrame = frame;
        return bone;
    }

    int Slot(const ModelSkinBone* bone) const { return static_cast<int>(bone - bones.data()); }

    std::vector<ModelSkinBone> bones;
    std::vector<ModelSkinBoneUse> uses;
    std::vector<ModelSkinBone*> refs;
    std::vector<tessel::ModelFrame> frames;
    tessel::ModelBase base{};
};

using Uses = std::vector<std::pair<int, int>>;

// A bone's uses as (frame, reference position) pairs.
Uses UsesOf(const ModelSkinBone& bone) {
    Uses uses;
    for (int i = 0; i < bone.useCount; ++i) {
        uses.emplace_back(bone.uses[i].frame, bone.uses[i].refPosition);
    }
    return uses;
}

TEST(SkinBoneMergeTest, EqualBonesMergeAndTheRestAreExchangeSortedByFrame) {
    SkinBaseFixture s;
    const std::vector<ModelSkinBone> before = s.bones;
    ASSERT_EQ(tessel::OptimiseSkinningMeshes(&s.base), 1);
    ASSERT_EQ(s.base.skinBoneCount, 4);
    // Kept: 0 (frame 2), 1 (frame 1), 3 (frame 1), 4 (frame 0); the exchange
    // sort puts 3 before 1.
    const int oldOfNew[4] = {4, 3, 1, 0};
    for (int slot = 0; slot < 4; ++slot) {
        EXPECT_EQ(s.bones[slot].boneFrame, before[oldOfNew[slot]].boneFrame) << slot;
        EXPECT_EQ(
            std::memcmp(&s.bones[slot].bind, &before[oldOfNew[slot]].bind, sizeof(tessel::Mat3x4)),
            0)
            << slot;
    }
    EXPECT_EQ(s.bones[0].translationOnly, 1);
    EXPECT_EQ(UsesOf(s.bones[0]), (Uses{{1, 2}}));
    EXPECT_EQ(UsesOf(s.bones[1]), (Uses{{1, 1}}));
    EXPECT_EQ(UsesOf(s.bones[2]), (Uses{{0, 1}}));
    EXPECT_EQ(UsesOf(s.bones[3]), (Uses{{0, 0}, {1, 0}})) << "the merged bone's use joined";
    EXPECT_EQ(s.bones[0].uses, s.uses.data()) << "uses are regrouped in the bones' order";
    std::vector<int> refSlots;
    for (ModelSkinBone* ref : s.refs) {
        refSlots.push_back(s.Slot(ref));
    }
    EXPECT_EQ(refSlots, (std::vector<int>{3, 2, 3, 1, 0}));
    const int counts[3] = {1, 2, 1};
    const int firsts[3] = {0, 1, 3};
    for (int f = 0; f < 3; ++f) {
        EXPECT_EQ(s.frames[f].skinBoneCount, counts[f]) << f;
        EXPECT_EQ(s.Slot(s.frames[f].firstSkinBone), firsts[f]) << f;
    }
}

TEST(SkinBoneMergeTest, SortedDistinctBonesStayAndFramesStillLearnTheirRuns) {
    SkinBaseFixture s;
    s.SetBones({s.Bone(0, Bind(1, 0)), s.Bone(2, Bind(1, 1)), s.Bone(2, Bind(1, 2))});
    s.frames[1].skinBoneRefCount = 1;
    const std::vector<ModelSkinBoneUse> uses = s.uses;
    ASSERT_EQ(tessel::OptimiseSkinningMeshes(&s.base), 1);
    EXPECT_EQ(s.base.skinBoneCount, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(s.bones[i].uses, &s.uses[i]);
        EXPECT_EQ(s.refs[i], &s.bones[i]);
    }
    EXPECT_EQ(s.frames[0].skinBoneCount, 1);
    EXPECT_EQ(s.frames[0].firstSkinBone, &s.bones[0]);
    EXPECT_EQ(s.frames[1].skinBoneCount, 0);
    EXPECT_EQ(s.frames[1].firstSkinBone, nullptr);
    EXPECT_EQ(s.frames[2].skinBoneCount, 2);
    EXPECT_EQ(s.frames[2].firstSkinBone, &s.bones[1]);
}

TEST(SkinBoneMergeTest, DistinctBonesOutOfOrderAreSortedWithTheirReferences) {
    SkinBaseFixture s;
    s.SetBones({s.Bone(2, Bind(1, 0)), s.Bone(0, Bind(1, 1))});
    s.frames[1].skinBoneRefCount = 0;
    ASSERT_EQ(tessel::OptimiseSkinningMeshes(&s.base), 1);
    EXPECT_EQ(s.bones[0].boneFrame, 0);
    EXPECT_EQ(s.bones[1].boneFrame, 2);
    EXPECT_EQ(UsesOf(s.bones[0]), (Uses{{0, 1}}));
    EXPECT_EQ(s.refs[0], &s.bones[1]);
    EXPECT_EQ(s.refs[1], &s.bones[0]);
}

TEST(SkinBoneMergeTest, NoBonesIsNothingToDo) {
    SkinBaseFixture s;
    s.base.skinBoneCount = 0;
    EXPECT_EQ(tessel::OptimiseSkinningMeshes(&s.base), 1);
    EXPECT_EQ(s.frames[2].skinBoneCount, 0);
}

TEST(SkinBoneMergeTest, NoMemoryLeavesTheBonesWithALogLine) {
    LogScope log;
    SkinBaseFixture s;
    tessel::SetTrackedHeapFailing(true);
    EXPECT_EQ(tessel::OptimiseSkinningMeshes(&s.base), 0);
    tessel::SetTrackedHeapFailing(false);
    EXPECT_EQ(s.base.skinBoneCount, 5);
    EXPECT_EQ(s.refs[2], &s.bones[2]);
    EXPECT_NE(
        log.Text().find("Model Optimize Error : スキニングメッシュ情報最適化処理で使用するテンポ"
                        "ラリバッファの確保に失敗しました\r\n"),
        std::string::npos)
        << log.Text();
}

// Uses that point outside the base's arrays are skipped, never followed.
TEST(SkinBoneMergeTest, UsesOutsideTheirArraysAreSkipped) {
    SkinBaseFixture s;
    s.uses[1] = {7, 0};       // no such frame
    s.uses[3] = {1, 9};       // no such reference
    s.bones[4].useCount = 3;  // runs past the use array
    ASSERT_EQ(tessel::OptimiseSkinningMeshes(&s.base), 1);
    EXPECT_EQ(s.base.skinBoneCount, 4);
    EXPECT_EQ(s.bones[0].useCount, 0);
    EXPECT_EQ(s.bones[0].uses, nullptr);
}

}  // namespace
}  // namespace tessel_test
