// The motion reader: bone keys baked to one key per frame along their curves,
// IK chains solved at every frame with knees bending one way, morph keys as
// shape-weight key sets, and the refusals of broken or hostile files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "foundation/memory/memory.h"
#include "models/pmd/vmd_internal.h"
#include "tests/models/pmd/pmd_rig.h"

namespace {

using tessel::PmdQuat;
using tessel::ReadModelAnim;
using tessel::ReadModelAnimSet;
using tessel::ReadModelKeySet;
using tessel::Vec3;
using tessel_test::PmdRig;
using tessel_test::VmdCurve;
using tessel_test::VmdWriter;

const ReadModelKeySet* Translations(const ReadModelAnim* anim) {
    return anim->firstKeySet;
}
const ReadModelKeySet* Rotations(const ReadModelAnim* anim) {
    return anim->firstKeySet->nextInAnim;
}
const Vec3& TranslationKey(const ReadModelAnim* anim, int k) {
    return static_cast<const Vec3*>(Translations(anim)->values)[k];
}
const PmdQuat& RotationKey(const ReadModelAnim* anim, int k) {
    return static_cast<const PmdQuat*>(Rotations(anim)->values)[k];
}

// The y of the curve with control points (x1, y1), (x2, y2) (bytes / 127) at
// x = t, by bisection in double precision.
double CurveAt(VmdCurve c, double t) {
    auto coordinate = [](double p1, double p2, double s) {
        return 3 * (1 - s) * (1 - s) * s * p1 + 3 * (1 - s) * s * s * p2 + s * s * s;
    };
    double low = 0.0, high = 1.0;
    for (int i = 0; i < 60; ++i) {
        const double mid = 0.5 * (low + high);
        (coordinate(c.x1 / 127.0, c.x2 / 127.0, mid) < t ? low : high) = mid;
    }
    return coordinate(c.y1 / 127.0, c.y2 / 127.0, 0.5 * (low + high));
}

TEST(VmdMotion, TwoKeysTenFramesApartBakeElevenEvenlySpacedKeys) {
    PmdRig rig;
    rig.AddBone("arm", -1, {0.5f, 2.25f, -1.0f});
    rig.AddBone("flipped", -1, {0.0f, 0.0f, 0.0f});
    const float turn = 0.7f;
    VmdWriter motion;
    motion.Bone("arm", 0, {0.0f, 0.0f, 0.0f});
    motion.Bone("arm", 10, {7.3f, -1.9f, 0.6f}, {std::sin(turn), 0.0f, 0.0f, std::cos(turn)});
    // The same turn written as its negation blends the shorter way all the same.
    motion.Bone("flipped", 0, {0.0f, 0.0f, 0.0f});
    motion.Bone("flipped", 10, {0, 0, 0}, {-std::sin(turn), 0.0f, 0.0f, -std::cos(turn)});
    ASSERT_EQ(rig.Load(motion.Bytes()), 0);

    ASSERT_EQ(rig.model.animSetCount, 1);
    const ReadModelAnimSet* set = rig.model.firstAnimSet;
    EXPECT_STREQ(set->name, "Anim000");
    EXPECT_EQ(set->timeBase, 10.0f);
    const ReadModelAnim* anim = rig.Anim(set, "arm");
    ASSERT_NE(anim, nullptr);
    ASSERT_EQ(anim->keySetCount, 2);
    EXPECT_EQ(Translations(anim)->kind, 1);
    EXPECT_EQ(Translations(anim)->target, 0x0A);
    EXPECT_EQ(Rotations(anim)->kind, 7);
    ASSERT_EQ(Translations(anim)->keyCount, 11);
    ASSERT_EQ(Rotations(anim)->keyCount, 11);
    EXPECT_EQ(rig.model.keyDataBytes, 2 * 11 * 36);
    const ReadModelAnim* flipped = rig.Anim(set, "flipped");
    ASSERT_NE(flipped, nullptr);
    for (int g = 0; g <= 10; ++g) {
        SCOPED_TRACE(g);
        EXPECT_EQ(Translations(anim)->times[g], static_cast<float>(g));
        const float t = static_cast<float>(g) / 10.0f;
        const Vec3& v = TranslationKey(anim, g);
        EXPECT_EQ(v.x, 0.5f + 7.3f * t);
        EXPECT_EQ(v.y, 2.25f + -1.9f * t);
        EXPECT_EQ(v.z, -1.0f + 0.6f * t);
        // The blend of the two rotations at t, made unit length, turns by t of the way
        // only approximately; its x over w follows the straight line between them.
        const PmdQuat& q = RotationKey(anim, g);
        EXPECT_NEAR(q.x / q.w, t * std::sin(turn) / ((1 - t) + t * std::cos(turn)), 1e-5);
        EXPECT_NEAR(q.x * q.x + q.w * q.w, 1.0f, 1e-6);
        const PmdQuat& f = RotationKey(flipped, g);
        if (g < 10) {
            EXPECT_EQ(f.x, q.x);
            EXPECT_EQ(f.w, q.w);
        }
    }
}

// Each channel follows its own curve, and each segment the curve of the key
// where it starts.
TEST(VmdMotion, EachChannelFollowsTheCurveOfTheSegmentsFirstKey) {
    PmdRig rig;
    rig.AddBone("arm", -1, {0.0f, 0.0f, 0.0f});
    const VmdCurve easeIn{100, 10, 120, 60};
    const VmdCurve easeOut{10, 90, 40, 127};
    const VmdCurve line{};
    VmdWriter motion;
    motion.BoneCurves("arm", 0, {0, 0, 0}, {0, 0, 0, 1}, {easeIn, easeOut, line, line});
    motion.BoneCurves("arm", 8, {8, 8, 8}, {0, 0, 0, 1}, {line, line, easeOut, line});
    motion.BoneCurves("arm", 16, {16, 16, 16}, {0, 0, 0, 1}, {easeOut, easeOut, easeOut, line});
    ASSERT_EQ(rig.Load(motion.Bytes()), 0);
    const ReadModelAnim* anim = rig.Anim(rig.model.firstAnimSet, "arm");
    ASSERT_NE(anim, nullptr);
    ASSERT_EQ(Translations(anim)->keyCount, 17);
    for (int g = 0; g <= 16; ++g) {
        SCOPED_TRACE(g);
        const bool first = g < 8;
        const double t = (g % 8) / 8.0;
        const double base = first ? 0.0 : 8.0;
        const Vec3& v = TranslationKey(anim, g);
        if (g == 16) {
            EXPECT_EQ(v.x, 16.0f);
            continue;
        }
        EXPECT_NEAR(v.x, base + 8 * (first ? CurveAt(easeIn, t) : t), 2e-3);
        EXPECT_NEAR(v.y, base + 8 * (first ? CurveAt(easeOut, t) : t), 2e-3);
        EXPECT_NEAR(v.z, base + 8 * (first ? t : CurveAt(easeOut, t)), 2e-3);
    }
}

TEST(VmdMotion, KeysAllAtFrameZeroGiveOneKeyPerBone) {
    PmdRig rig;
    rig.AddBone("a", -1, {1.0f, 2.0f, 3.0f});
    rig.AddBone("b", 0, {1.0f, 4.0f, 3.0f});
    VmdWriter motion;
    motion.Bone("a", 0, {0.25f, 0, 0});
    motion.Bone("b", 0, {0.5f, 0, 0});
    motion.Bone("b", 0, {0.75f, 0, 0});  // the later of equal frames wins
    ASSERT_EQ(rig.Load(motion.Bytes()), 0);
    const ReadModelAnimSet* set = rig.model.firstAnimSet;
    EXPECT_EQ(set->start, 0.0f);
    EXPECT_EQ(set->timeBase, 0.0f);
    for (const char* name : {"a", "b"}) {
        const ReadModelAnim* anim = rig.Anim(set, name);
        ASSERT_NE(anim, nullptr) << name;
        EXPECT_EQ(Translations(anim)->keyCount, 1) << name;
        EXPECT_EQ(Rotations(anim)->keyCount, 1) << name;
        EXPECT_EQ(Translations(anim)->times[0], 0.0f) << name;
    }
    EXPECT_EQ(TranslationKey(rig.Anim(set, "a"), 0).x, 1.25f);
    EXPECT_EQ(TranslationKey(rig.Anim(set, "b"), 0).x, 0.75f);
}

// A two-bone leg: thigh at 10, knee at 5 (slightly forward), ankle at 0, the
// target an IK bone at the ankle; one 40-iteration knee chain.
void BuildLeg(PmdRig* rig, float kneeZ = -0.05f) {
    rig->AddBone("thigh", -1, {0.0f, 10.0f, 0.0f});
    rig->AddBone("knee", 0, {0.0f, 5.0f, kneeZ}, true);
    rig->AddBone("ankle", 1, {0.0f, 0.0f, 0.0f});
    rig->AddBone("footIK", -1, {0.0f, 0.0f, 0.0f});
    rig->AddBone("tail", -1, {0.0f, 9.0f, 1.0f});
    rig->AddChain(3, 2, {1, 0}, 40, 0.5f * 3.1415927f);
}

// The chain bones' world positions at frame f from the baked keys.
void PoseFromKeys(PmdRig* rig, const ReadModelAnimSet* set, int f) {
    for (tessel::PmdBoneWork& bone : rig->bones) {
        const ReadModelAnim* anim = rig->Anim(set, bone.frame->name);
        bone.poseTranslation = bone.frame->translation;
        bone.poseRotation = {0, 0, 0, 1};
        if (anim == nullptr) {
            continue;
        }
        const ReadModelKeySet* keys = Translations(anim);
        int k = 0;
        while (k + 1 < keys->keyCount && keys->times[k + 1] <= static_cast<float>(f)) {
            ++k;
        }
        bone.poseTranslation = TranslationKey(anim, k);
        bone.poseRotation = RotationKey(anim, k);
    }
    tessel::UpdatePmdBoneMatrices(static_cast<int>(rig->bones.size()), rig->bones.data());
}

float Gap(const tessel::PmdBoneWork& a, const tessel::PmdBoneWork& b) {
    const float dx = a.world.m[3][0] - b.world.m[3][0];
    const float dy = a.world.m[3][1] - b.world.m[3][1];
    const float dz = a.world.m[3][2] - b.world.m[3][2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

TEST(VmdMotion, ChainBonesWithoutKeysStillGetAKeyForEveryFrame) {
    PmdRig rig;
    BuildLeg(&rig);
    VmdWriter motion;
    motion.Bone("footIK", 0, {0.0f, 1.0f, 1.0f});
    motion.Bone("footIK", 7, {0.0f, 2.0f, 1.5f});
    motion.Bone("tail", 3, {0.0f, 0.0f, 0.0f});
    ASSERT_EQ(rig.Load(motion.Bytes()), 0);
    const ReadModelAnimSet* set = rig.model.firstAnimSet;
    EXPECT_EQ(set->timeBase, 7.0f);
    for (const char* name : {"thigh", "knee", "ankle"}) {
        const ReadModelAnim* anim = rig.Anim(set, name);
        ASSERT_NE(anim, nullptr) << name;
        EXPECT_EQ(anim->length, 7.0f) << name;
        ASSERT_EQ(Translations(anim)->keyCount, 8) << name;
        for (int f = 0; f <= 7; ++f) {
            EXPECT_EQ(Rotations(anim)->times[f], static_cast<float>(f)) << name;
        }
    }
    // The bone outside the chains keeps its one key.
    EXPECT_EQ(Translations(rig.Anim(set, "tail"))->keyCount, 1);
    // The solver posed the chain: the ankle follows the target.
    for (int f = 0; f <= 7; ++f) {
        PoseFromKeys(&rig, set, f);
        EXPECT_LT(Gap(rig.bones[2], rig.bones[3]), 1e-2f) << f;
    }
    EXPECT_LT(RotationKey(rig.Anim(set, "knee"), 0).w, 0.999f) << "the knee bent";
}

struct KneeCase {
    const char* name;
    Vec3 target;  // relative to the straight leg's ankle
    float kneeZ = -0.05f;
};

class KneeChain : public testing::TestWithParam<KneeCase> {};

// Whether the target lies ahead of or behind the leg, the knee bends the one
// way: its x angle stays at or below 1e-4, and the thigh makes up the rest.
TEST_P(KneeChain, ReachesAReachableTargetBendingTheKneeOneWay) {
    PmdRig rig;
    BuildLeg(&rig, GetParam().kneeZ);
    VmdWriter motion;
    motion.Bone("footIK", 0, GetParam().target);
    ASSERT_EQ(rig.Load(motion.Bytes()), 0);
    const ReadModelAnimSet* set = rig.model.firstAnimSet;
    PoseFromKeys(&rig, set, 0);
    EXPECT_LT(Gap(rig.bones[2], rig.bones[3]), 1e-2f);
    Vec3 angles;
    tessel::EulerFromQuat(&angles, &RotationKey(rig.Anim(set, "knee"), 0));
    EXPECT_LT(angles.x, -0.1f) << "bent, the one way";
    EXPECT_NEAR(angles.z, 0.0f, 1e-5f);
    EXPECT_LE(std::fabs(angles.y), 0.0524f);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, KneeChain,
    testing::Values(KneeCase{"ahead", {0.0f, 3.0f, 2.0f}}, KneeCase{"behind", {0.0f, 3.0f, -2.0f}},
                    KneeCase{"below", {0.0f, 2.5f, 0.0f}}, KneeCase{"aside", {1.5f, 3.0f, 1.5f}},
                    KneeCase{"behind_aside", {-1.0f, 3.5f, -1.5f}},
                    // A straight leg bends only by the stuck rule.
                    KneeCase{"below_straight", {0.0f, 2.5f, 0.0f}, 0.0f},
                    // A knee bent back at rest meets its limit at once; the
                    // thigh's kick lets it come round.
                    KneeCase{"bent_back_at_rest", {0.0f, 7.5f, 0.0f}, 0.5f}),
    [](const testing::TestParamInfo<KneeCase>& info) { return std::string(info.param.name); });

// A knee whose shin lies level, reaching for a target beside and below it,
// would turn about y and bend past its limit; it turns about y by 3 degrees
// at most, never about z, and meets its limit at every iteration.
TEST(VmdMotion, AKneeTurnsAboutYByThreeDegreesAtMost) {
    PmdRig rig;
    rig.AddBone("knee", -1, {0.0f, 5.0f, 0.0f}, true);
    rig.AddBone("ankle", 0, {0.0f, 5.0f, 5.0f});
    rig.AddBone("footIK", -1, {0.0f, 5.0f, 5.0f});
    rig.AddChain(2, 1, {0}, 10, 3.1415927f);
    ASSERT_EQ(rig.Load(VmdWriter().Bone("footIK", 0, {3.0f, -2.0f, -1.0f}).Bytes()), 0);
    Vec3 angles;
    tessel::EulerFromQuat(&angles, &RotationKey(rig.Anim(rig.model.firstAnimSet, "knee"), 0));
    EXPECT_LE(std::fabs(angles.y), 0.0524f);
    EXPECT_NEAR(angles.z, 0.0f, 1e-3f);
    EXPECT_LE(angles.x, 1e-4f);
    // No bone above the knee can be kicked, so it meets its limit at every
    // iteration; the extra iterations for that come once.
    EXPECT_LE(rig.chains[0].iterationsRun, 10 + 100 + 10);
}

TEST(VmdMotion, MorphKeysBecomeShapeWeightKeySetsAndUnknownMorphsAreDropped) {
    PmdRig rig;
    rig.AddShape("blink");
    rig.AddShape("smile");
    VmdWriter motion;
    motion.Morph("smile", 3, 0.5f);
    motion.Morph("wink", 9, 1.0f);
    motion.Morph("blink", 5, 1.0f);
    motion.Morph("blink", 0, 0.25f);
    ASSERT_EQ(rig.Load(motion.Bytes()), 0);
    const ReadModelAnimSet* set = rig.model.firstAnimSet;
    EXPECT_EQ(set->timeBase, 9.0f) << "the dropped morph's frames still count";
    const ReadModelAnim* anim = rig.Anim(set, "Mesh");
    ASSERT_NE(anim, nullptr);
    EXPECT_EQ(anim->targetIndex, 0);
    EXPECT_EQ(anim->length, 5.0f);
    ASSERT_EQ(anim->keySetCount, 2);
    const ReadModelKeySet* smile = anim->firstKeySet;
    const ReadModelKeySet* blink = smile->nextInAnim;
    EXPECT_EQ(smile->kind, 5);
    EXPECT_EQ(smile->target, 0x12);
    EXPECT_EQ(smile->sourceWord, 1);
    EXPECT_EQ(blink->sourceWord, 0);
    ASSERT_EQ(blink->keyCount, 2);
    EXPECT_EQ(blink->times[0], 0.0f);
    EXPECT_EQ(static_cast<const float*>(blink->values)[0], 0.25f);
    EXPECT_EQ(blink->times[1], 5.0f);
    EXPECT_EQ(static_cast<const float*>(blink->values)[1], 1.0f);
    EXPECT_EQ(rig.model.keyDataBytes, 3 * 8);
}

TEST(VmdMotion, ABoneNameOfSixteenBytesNeverMatches) {
    PmdRig rig;
    rig.AddBone("fifteen_bytes_x", -1, {0, 0, 0});
    rig.AddBone("sixteen_bytes_xy", -1, {0, 0, 0});
    VmdWriter motion;
    motion.Bone("fifteen_bytes_x", 0, {1, 0, 0});
    motion.Bone("sixteen_bytes_xy", 0, {1, 0, 0});  // cut to its first 15 bytes
    ASSERT_EQ(rig.Load(motion.Bytes()), 0);
    EXPECT_NE(rig.Anim(rig.model.firstAnimSet, "fifteen_bytes_x"), nullptr);
    EXPECT_EQ(rig.Anim(rig.model.firstAnimSet, "sixteen_bytes_xy"), nullptr);
    EXPECT_EQ(rig.model.firstAnimSet->animCount, 1);
}

// A failure anywhere after the set is added takes back the set, its
// animations and key sets; the model keeps what it had.
TEST(VmdMotion, AMotionFailingPartWayLeavesNoSet) {
    PmdRig rig;
    BuildLeg(&rig);
    rig.AddShape("blink");
    VmdWriter first;
    first.Bone("thigh", 0, {0, 0, 0});
    ASSERT_EQ(rig.Load(first.Bytes(), "Anim000"), 0);
    VmdWriter second;
    second.Bone("footIK", 0, {0.0f, 1.0f, 1.0f}).Bone("footIK", 4, {0.0f, 2.0f, 0.0f});
    second.Morph("blink", 2, 1.0f);
    const std::vector<uint8_t> image = second.Bytes();
    const tessel::ReadModel before = rig.model;
    int failures = 0;
    for (int successes = 0; successes < 200; ++successes) {
        tessel::SetTrackedHeapFailingAfter(successes);
        const int result = rig.Load(image, "Anim001");
        tessel::SetTrackedHeapFailing(false);
        if (result == 0) {
            break;
        }
        ++failures;
        SCOPED_TRACE(successes);
        ASSERT_EQ(rig.model.animSetCount, before.animSetCount);
        ASSERT_EQ(rig.model.lastAnimSet, before.lastAnimSet);
        EXPECT_EQ(rig.model.lastAnimSet->next, nullptr);
        EXPECT_EQ(rig.model.animCount, before.animCount);
        EXPECT_EQ(rig.model.lastAnim->next, nullptr);
        EXPECT_EQ(rig.model.keySetCount, before.keySetCount);
        EXPECT_EQ(rig.model.lastKeySet->next, nullptr);
        EXPECT_EQ(rig.model.keyDataBytes, before.keyDataBytes);
        EXPECT_EQ(rig.model.stringBytes, before.stringBytes);
        for (const tessel::PmdBoneWork& bone : rig.bones) {
            EXPECT_EQ(bone.anim, nullptr);
        }
    }
    EXPECT_GT(failures, 8) << "the sweep reached past the set's creation";
    ASSERT_EQ(rig.model.animSetCount, 2);
    EXPECT_STREQ(rig.model.lastAnimSet->name, "Anim001");
    EXPECT_EQ(rig.model.animCount,
              before.animCount + 5);  // the target, three chain bones, the morphs
}

TEST(VmdMotion, NotAMotionFileIsRefusedAndAddsNothing) {
    PmdRig rig;
    rig.AddBone("a", -1, {0, 0, 0});
    std::vector<uint8_t> image = VmdWriter().Bone("a", 0, {0, 0, 0}).Bytes();
    image[24] = '1';  // "...0001"
    EXPECT_EQ(rig.Load(image), -1);
    image[24] = '2';
    image[25] = 'x';  // the magic's 0 byte
    EXPECT_EQ(rig.Load(image), -1);
    EXPECT_EQ(rig.Load(std::vector<uint8_t>(image.begin(), image.begin() + 20)), -1);
    EXPECT_EQ(rig.model.animSetCount, 0);
}

// Every cut of a motion file short of its end is refused, whatever section
// it cuts.
TEST(VmdMotion, EveryTruncatedFileIsRefused) {
    PmdRig rig;
    BuildLeg(&rig);
    rig.AddShape("blink");
    const std::vector<uint8_t> image = VmdWriter()
                                           .Bone("thigh", 0, {0, 0, 0})
                                           .Bone("knee", 3, {0, 0, 0})
                                           .Morph("blink", 2, 1)
                                           .Bytes();
    for (size_t size = 0; size < image.size(); ++size) {
        EXPECT_EQ(rig.Load(std::vector<uint8_t>(image.begin(), image.begin() + size)), -1) << size;
    }
    EXPECT_EQ(rig.model.animSetCount, 0);
    EXPECT_EQ(rig.Load(image), 0);
}

struct HostileCase {
    const char* name;
    std::vector<uint8_t> image;
    int result;
};

std::vector<uint8_t> ManyNames(int count, bool morphs) {
    VmdWriter writer;
    for (int i = 0; i < count; ++i) {
        const std::string name = "n" + std::to_string(i);
        morphs ? (void)writer.Morph(name, 0, 1.0f) : (void)writer.Bone(name, 0, {0, 0, 0});
    }
    return writer.Bytes();
}

std::vector<uint8_t> WithCount(std::vector<uint8_t> image, size_t at, uint32_t count) {
    for (int i = 0; i < 4; ++i) {
        image[at + static_cast<size_t>(i)] = static_cast<uint8_t>(count >> (8 * i));
    }
    return image;
}

class HostileMotion : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileMotion, IsRefusedOrReadWithinItsBounds) {
    PmdRig rig;
    BuildLeg(&rig);
    EXPECT_EQ(rig.Load(GetParam().image), GetParam().result);
    EXPECT_EQ(rig.model.animSetCount, GetParam().result == 0 ? 1 : 0);
}

const std::vector<uint8_t> kOneKey = VmdWriter().Bone("thigh", 5, {0, 0, 0}).Bytes();

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileMotion,
    testing::Values(
        HostileCase{"bone_frame_past_the_cap", VmdWriter().Bone("tail", 1000001, {0, 0, 0}).Bytes(),
                    -1},
        HostileCase{"morph_frame_past_the_cap", VmdWriter().Morph("m", 0xFFFFFFFFu, 1).Bytes(), -1},
        HostileCase{"bone_names_filling_the_table", ManyNames(2048, false), 0},
        HostileCase{"bone_names_past_the_table", ManyNames(2049, false), -1},
        HostileCase{"morph_names_past_the_table", ManyNames(2049, true), -1},
        HostileCase{"bone_count_past_the_end", WithCount(kOneKey, 50, 2), -1},
        HostileCase{"bone_count_wrapping", WithCount(kOneKey, 50, 0xFFFFFFFFu), -1},
        HostileCase{"morph_count_past_the_end", WithCount(kOneKey, 54 + 111, 0x0B21642Cu), -1}),
    [](const testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

// The largest frame allowed bakes its keys (a bone outside any chain, so the
// solver does not run a million times).
// A chain bone's keys span the whole motion: before its first key it holds
// that key's value, after its last the last one's. The effector is a chain
// bone the solver does not turn, so its keys stay as baked.
TEST(VmdMotion, AChainBonesKeysReachFromFrameZeroToTheLast) {
    PmdRig rig;
    BuildLeg(&rig);
    VmdWriter motion;
    motion.Bone("ankle", 3, {0.0f, 0.5f, 0.0f});
    motion.Bone("ankle", 6, {0.0f, 2.0f, 0.0f});
    motion.Bone("tail", 8, {0.0f, 0.0f, 0.0f});
    ASSERT_EQ(rig.Load(motion.Bytes()), 0);
    const ReadModelAnim* anim = rig.Anim(rig.model.firstAnimSet, "ankle");
    ASSERT_NE(anim, nullptr);
    EXPECT_EQ(anim->length, 8.0f);
    EXPECT_EQ(Translations(anim)->length, 6.0f);
    ASSERT_EQ(Translations(anim)->keyCount, 9);
    const float rest = rig.bones[2].frame->translation.y;
    const float expected[9] = {0.5f, 0.5f, 0.5f, 0.5f, 1.0f, 1.5f, 2.0f, 2.0f, 2.0f};
    for (int f = 0; f <= 8; ++f) {
        EXPECT_EQ(Translations(anim)->times[f], static_cast<float>(f));
        EXPECT_NEAR(TranslationKey(anim, f).y, rest + expected[f], 1e-6f) << f;
    }
}

TEST(VmdMotion, TheLargestFrameAllowedBakes) {
    PmdRig rig;
    rig.AddBone("tail", -1, {0, 0, 0});
    ASSERT_EQ(
        rig.Load(
            VmdWriter().Bone("tail", 999999, {0, 0, 0}).Bone("tail", 1000000, {1, 0, 0}).Bytes()),
        0);
    const ReadModelAnim* anim = rig.Anim(rig.model.firstAnimSet, "tail");
    ASSERT_NE(anim, nullptr);
    EXPECT_EQ(Translations(anim)->keyCount, 2);
    EXPECT_EQ(rig.model.firstAnimSet->timeBase, 1000000.0f);
}

// Each bone's keys stay under the frame cap, yet nine bones of a million
// keys each would bake 324 MB: more than the motion may bake in all.
TEST(VmdMotion, AMotionBakingMoreKeysThanTheLimitIsRefused) {
    PmdRig rig;
    VmdWriter motion;
    for (int b = 0; b < 9; ++b) {
        const std::string name = "bone" + std::to_string(b);
        rig.AddBone(name, -1, {0, 0, 0});
        motion.Bone(name, 0, {0, 0, 0}).Bone(name, 999999, {1, 0, 0});
    }
    EXPECT_EQ(rig.Load(motion.Bytes()), -1);
    EXPECT_EQ(rig.model.animSetCount, 0);
}

TEST(VmdMotion, AChainNamingABoneOutsideTheModelIsRefused) {
    PmdRig rig;
    BuildLeg(&rig);
    rig.chainBytes.front()[2] = 5;  // the thigh's index becomes 5, one past the bones
    EXPECT_EQ(rig.Load(kOneKey), -1);
    EXPECT_EQ(rig.model.animSetCount, 0);
}

// The small legged character's walk: at every frame each ankle, posed by the
// baked keys alone, stands on its foot's IK target.
TEST(VmdMotion, TheWalkingCharactersFeetStayOnTheirTargets) {
    PmdRig rig;
    tessel_test::BuildLeggedRig(&rig);
    const uint32_t frames = 120;
    ASSERT_EQ(rig.Load(tessel_test::WalkMotion(frames)), 0);
    const ReadModelAnimSet* set = rig.model.firstAnimSet;
    EXPECT_EQ(set->timeBase, static_cast<float>(frames));
    float worst = 0.0f;
    for (uint32_t f = 0; f <= frames; ++f) {
        PoseFromKeys(&rig, set, static_cast<int>(f));
        worst = std::fmax(worst, Gap(rig.bones[3], rig.bones[4]));
        worst = std::fmax(worst, Gap(rig.bones[7], rig.bones[8]));
    }
    EXPECT_LT(worst, 1e-3f);
}

// 64-bit FNV-1a of bytes, on from `hash`.
void MixBits(uint64_t* hash, const void* data, size_t bytes) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < bytes; ++i) {
        *hash = (*hash ^ p[i]) * 1099511628211ull;
    }
}

constexpr uint64_t kHashStart = 14695981039346656037ull;

// The bits of every baked key of the set, times and values, in set order.
uint64_t BakedKeysHash(const ReadModelAnimSet* set) {
    uint64_t hash = kHashStart;
    for (const ReadModelAnim* a = set->firstAnim; a != nullptr; a = a->nextInSet) {
        const ReadModelKeySet* keys[2] = {Translations(a), Rotations(a)};
        for (int k = 0; k < 2; ++k) {
            const size_t count = static_cast<size_t>(keys[k]->keyCount);
            MixBits(&hash, keys[k]->times, count * sizeof(float));
            MixBits(&hash, keys[k]->values, count * (k == 0 ? sizeof(Vec3) : sizeof(PmdQuat)));
        }
    }
    return hash;
}

// The bits a bake leaves in the bones and chains: poses, world matrices,
// measured lengths and iteration counts.
uint64_t LeftBehindHash(const PmdRig& rig) {
    uint64_t hash = kHashStart;
    for (const tessel::PmdBoneWork& bone : rig.bones) {
        MixBits(&hash, &bone.poseTranslation, sizeof bone.poseTranslation);
        MixBits(&hash, &bone.poseRotation, sizeof bone.poseRotation);
        MixBits(&hash, &bone.world, sizeof bone.world);
    }
    for (const tessel::PmdIkChain& chain : rig.chains) {
        MixBits(&hash, &chain.measuredLength, sizeof chain.measuredLength);
        MixBits(&hash, &chain.iterationsRun, sizeof chain.iterationsRun);
    }
    return hash;
}

// A leg whose target sweeps ahead, below out of reach, behind, and up beside
// the thigh: reachable, unreachable and stuck-straight frames in one motion.
std::vector<uint8_t> LegSweepMotion() {
    const VmdCurve eased{64, 0, 64, 127};
    return VmdWriter()
        .Bone("footIK", 0, {0.0f, 3.0f, 2.0f}, {0, 0, 0, 1}, eased)
        .Bone("footIK", 10, {0.0f, -1.5f, 0.3f}, {0, 0, 0, 1}, eased)
        .Bone("footIK", 20, {0.0f, 3.0f, -2.0f}, {0, 0, 0, 1}, eased)
        .Bone("footIK", 30, {1.5f, 8.0f, 1.5f}, {0, 0, 0, 1}, eased)
        .Bytes();
}

void BuildOneLeg(PmdRig* rig) {
    BuildLeg(rig);
}

// A knee bent back at rest: it meets its limit at once and the thigh is
// kicked.
void BuildBentBackLeg(PmdRig* rig) {
    BuildLeg(rig, 0.5f);
}

// A knee alone in its chain, its shin level: never kicked, at its limit at
// every iteration.
void BuildLevelShin(PmdRig* rig) {
    rig->AddBone("knee", -1, {0.0f, 5.0f, 0.0f}, true);
    rig->AddBone("ankle", 0, {0.0f, 5.0f, 5.0f});
    rig->AddBone("footIK", -1, {0.0f, 5.0f, 5.0f});
    rig->AddChain(2, 1, {0}, 10, 3.1415927f);
}

// A leg with a toe chain after it whose toe hangs from the leg chain's
// effector: the toe chain starts from the ankle's whole world matrix.
void BuildLegWithToe(PmdRig* rig) {
    rig->AddBone("thigh", -1, {0.0f, 10.0f, 0.0f});
    rig->AddBone("knee", 0, {0.0f, 5.0f, -0.05f}, true);
    rig->AddBone("ankle", 1, {0.0f, 0.0f, 0.0f});
    rig->AddBone("footIK", -1, {0.0f, 0.0f, 0.0f});
    rig->AddBone("toe", 2, {0.0f, 0.0f, 1.0f});
    rig->AddBone("toeTip", 4, {0.0f, 0.0f, 2.0f});
    rig->AddBone("toeIK", -1, {0.0f, 0.0f, 2.0f});
    rig->AddChain(3, 2, {1, 0}, 40, 0.5f * 3.1415927f);
    rig->AddChain(6, 5, {4}, 10, 1.0f);
}

// The leg's chain listed from the thigh down: the thigh's update comes after
// the knee's, which took the thigh's world of before.
void BuildLegListedDownward(PmdRig* rig) {
    rig->AddBone("thigh", -1, {0.0f, 10.0f, 0.0f});
    rig->AddBone("knee", 0, {0.0f, 5.0f, -0.05f}, true);
    rig->AddBone("ankle", 1, {0.0f, 0.0f, 0.0f});
    rig->AddBone("footIK", -1, {0.0f, 0.0f, 0.0f});
    rig->AddChain(3, 2, {0, 1}, 40, 0.5f * 3.1415927f);
}

std::vector<uint8_t> ToeMotion() {
    return VmdWriter()
        .Bone("footIK", 0, {0.0f, 3.0f, 2.0f})
        .Bone("footIK", 10, {0.5f, 2.0f, -1.0f})
        .Bone("toeIK", 0, {0.0f, 3.5f, 2.5f})
        .Bone("toeIK", 10, {0.3f, 2.0f, -0.5f})
        .Bytes();
}

struct PinnedBake {
    const char* name;
    void (*build)(PmdRig* rig);
    std::vector<uint8_t> (*motion)();
    uint64_t hash;
};

void PrintTo(const PinnedBake& bake, std::ostream* out) {
    *out << bake.name;
}

class VmdPinnedBakes : public testing::TestWithParam<PinnedBake> {};

// The solver's results are pinned bit for bit: a faster solve must bake the
// very same keys.
TEST_P(VmdPinnedBakes, BakeTheSameBits) {
    PmdRig rig;
    GetParam().build(&rig);
    ASSERT_EQ(rig.Load(GetParam().motion()), 0);
    EXPECT_EQ(BakedKeysHash(rig.model.firstAnimSet), GetParam().hash)
        << std::hex << BakedKeysHash(rig.model.firstAnimSet);
}

std::vector<PinnedBake> PinnedBakes() {
    return {PinnedBake{"walk120", tessel_test::BuildLeggedRig,
                       [] { return tessel_test::WalkMotion(120); }, 0x08cb607d6fb486d6ull},
            PinnedBake{"walk1000", tessel_test::BuildLeggedRig,
                       [] { return tessel_test::WalkMotion(1000); }, 0x6935ddab25778316ull},
            PinnedBake{"unreachable200", tessel_test::BuildLeggedRig,
                       [] { return tessel_test::UnreachableMotion(200); }, 0xc57adcc05a2aeae6ull},
            PinnedBake{"legSweep", BuildOneLeg, LegSweepMotion, 0x8ca25e7dd90b472eull},
            PinnedBake{"bentBack", BuildBentBackLeg,
                       [] {
                           return VmdWriter().Bone("footIK", 0, {0.0f, 7.5f, 0.0f}).Bytes();
                       },
                       0xdc65f033ec78208eull},
            PinnedBake{"levelShin", BuildLevelShin,
                       [] {
                           return VmdWriter().Bone("footIK", 0, {3.0f, -2.0f, -1.0f}).Bytes();
                       },
                       0xf211618206288a36ull},
            PinnedBake{"toe", BuildLegWithToe, ToeMotion, 0x07515d546330ce5full},
            PinnedBake{"listedDownward", BuildLegListedDownward, LegSweepMotion,
                       0x05bfdf2e454b60d2ull}};
}

INSTANTIATE_TEST_SUITE_P(Motions, VmdPinnedBakes, testing::ValuesIn(PinnedBakes()),
                         [](const testing::TestParamInfo<PinnedBake>& info) {
                             return std::string(info.param.name);
                         });

// Bakes in the scope run on `workers` threads, starting at most
// `threadStarts` threads each.
class ForcedBakeWorkers {
  public:
    explicit ForcedBakeWorkers(int workers, int threadStarts = -1) {
        tessel::ForceVmdIkBakeWorkers(workers, threadStarts);
    }
    ~ForcedBakeWorkers() { tessel::ForceVmdIkBakeWorkers(0); }
    ForcedBakeWorkers(const ForcedBakeWorkers&) = delete;
    ForcedBakeWorkers& operator=(const ForcedBakeWorkers&) = delete;
};

struct BakeWorkers {
    int workers;
    int threadStarts;  // -1: as many as the workers ask for
};

class VmdPinnedBakesOnWorkers : public testing::TestWithParam<std::tuple<PinnedBake, BakeWorkers>> {
};

// Parts of the frames baked on several threads, and on fewer when threads
// do not start, bake the bits of a bake on one thread.
TEST_P(VmdPinnedBakesOnWorkers, BakeTheSameBits) {
    const PinnedBake& bake = std::get<0>(GetParam());
    const BakeWorkers& workers = std::get<1>(GetParam());
    PmdRig rig;
    bake.build(&rig);
    const std::vector<uint8_t> motion = bake.motion();
    ForcedBakeWorkers forced(workers.workers, workers.threadStarts);
    ASSERT_EQ(rig.Load(motion), 0);
    EXPECT_EQ(BakedKeysHash(rig.model.firstAnimSet), bake.hash)
        << std::hex << BakedKeysHash(rig.model.firstAnimSet);
    const int frames = static_cast<int>(rig.model.firstAnimSet->timeBase) + 1;
    EXPECT_EQ(tessel::VmdIkBakeWorkersOfLastBake(), std::min(workers.workers, frames));
}

INSTANTIATE_TEST_SUITE_P(
    Motions, VmdPinnedBakesOnWorkers,
    testing::Combine(testing::ValuesIn(PinnedBakes()),
                     testing::Values(BakeWorkers{1, -1}, BakeWorkers{2, -1}, BakeWorkers{3, -1},
                                     BakeWorkers{8, -1}, BakeWorkers{4, 0}, BakeWorkers{5, 2})),
    [](const testing::TestParamInfo<std::tuple<PinnedBake, BakeWorkers>>& info) {
        const BakeWorkers& workers = std::get<1>(info.param);
        std::string name = std::string(std::get<0>(info.param).name) + "_" +
                           std::to_string(workers.workers) + "workers";
        if (workers.threadStarts >= 0) {
            name += "_" + std::to_string(workers.threadStarts) + "started";
        }
        return name;
    });

// Eight keys of the foot's target at frame 20, its last; the tail's key
// makes the motion 40 frames long. The target's cursor steps one key a frame:
// from frame 21 to 27 it is still short of the last key and points past the
// baked keys, and the target keeps the pose of the frame before. A part
// starting there must find the cursor and the pose where a bake on one
// thread has them.
std::vector<uint8_t> LaggingTargetMotion() {
    VmdWriter motion;
    motion.Bone("footIK", 0, {0.0f, 3.0f, 2.0f}).Bone("tail", 40, {0.0f, 1.0f, 0.0f});
    for (int k = 0; k < 8; ++k) {
        const float step = 0.1f * static_cast<float>(k);
        motion.Bone("footIK", 20, {step, 1.5f + step, -1.0f});
    }
    return motion.Bytes();
}

// Bakes on 2 to 8 threads bake the keys of a bake on one and leave the bones
// and chains as it leaves them, under the rounding modes as they are.
void ExpectWorkersBakeAsOne(const std::vector<uint8_t>& motion) {
    PmdRig whole;
    BuildLeg(&whole);
    {
        ForcedBakeWorkers one(1);
        ASSERT_EQ(whole.Load(motion), 0);
    }
    const uint64_t expected = BakedKeysHash(whole.model.firstAnimSet);
    for (int workers = 2; workers <= 8; ++workers) {
        SCOPED_TRACE(workers);
        PmdRig rig;
        BuildLeg(&rig);
        ForcedBakeWorkers forced(workers);
        ASSERT_EQ(rig.Load(motion), 0);
        EXPECT_EQ(tessel::VmdIkBakeWorkersOfLastBake(), workers);
        EXPECT_EQ(BakedKeysHash(rig.model.firstAnimSet), expected);
        EXPECT_EQ(LeftBehindHash(rig), LeftBehindHash(whole));
    }
}

// Every worker count from 2 to 8 has parts starting between frames 21 and 27.
TEST(VmdIkBake, PartsStartingWhereACursorLagsBakeTheBitsOfOneThread) {
    ExpectWorkersBakeAsOne(LaggingTargetMotion());
}

// The workers compute under the caller's rounding.
TEST(VmdIkBake, WorkersRoundAsTheirCallerDoes) {
    const int saved = std::fegetround();
    ASSERT_EQ(std::fesetround(FE_UPWARD), 0);
    ExpectWorkersBakeAsOne(LegSweepMotion());
    std::fesetround(saved);
}

// A frame that reads what the frame before it left: a thigh whose parent, a
// swaying hip, comes after it takes the hip's world of the frame before; a
// knee without a frame of its own, or not marked as a chain bone, keeps the
// pose its last solve gave it. Such bakes stay on the calling thread.
void ListHipAfterThigh(PmdRig* rig) {
    const int hip = rig->AddBone("hip", -1, {0.0f, 11.0f, 0.0f});
    rig->bones[0].parent = &rig->bones[static_cast<size_t>(hip)];
}

void DropKneeFrame(PmdRig* rig) {
    rig->bones[1].frame = nullptr;
}

void UnmarkKnee(PmdRig* rig) {
    rig->bones[1].inChain = 0;
}

std::vector<uint8_t> SwayingHipMotion() {
    const VmdCurve eased{64, 0, 64, 127};
    return VmdWriter()
        .Bone("hip", 0, {0.0f, 0.0f, 0.0f})
        .Bone("hip", 40, {0.3f, -0.5f, 0.6f}, {0.2f, 0.0f, 0.0f, 0.98f})
        .Bone("footIK", 0, {0.0f, 3.0f, 2.0f}, {0, 0, 0, 1}, eased)
        .Bone("footIK", 20, {0.0f, -1.5f, 0.3f}, {0, 0, 0, 1}, eased)
        .Bone("footIK", 40, {0.5f, 3.0f, -2.0f}, {0, 0, 0, 1}, eased)
        .Bytes();
}

struct CarriedCase {
    const char* name;
    void (*change)(PmdRig* rig);
};

class VmdIkBakeCarried : public testing::TestWithParam<CarriedCase> {};

TEST_P(VmdIkBakeCarried, StaysOnTheCallingThread) {
    const std::vector<uint8_t> motion = SwayingHipMotion();
    auto bake = [&](PmdRig* rig, int workers) {
        BuildLeg(rig);
        GetParam().change(rig);
        ForcedBakeWorkers forced(workers);
        EXPECT_EQ(rig->Load(motion), 0);
        return BakedKeysHash(rig->model.firstAnimSet);
    };
    PmdRig whole;
    const uint64_t expected = bake(&whole, 1);
    PmdRig rig;
    EXPECT_EQ(bake(&rig, 4), expected);
    EXPECT_EQ(tessel::VmdIkBakeWorkersOfLastBake(), 1);
}

INSTANTIATE_TEST_SUITE_P(Rigs, VmdIkBakeCarried,
                         testing::Values(CarriedCase{"hipAfterThigh", ListHipAfterThigh},
                                         CarriedCase{"kneeWithoutFrame", DropKneeFrame},
                                         CarriedCase{"kneeNotMarked", UnmarkKnee}),
                         [](const testing::TestParamInfo<CarriedCase>& info) {
                             return std::string(info.param.name);
                         });

// A short walk's few solves are not worth a thread; a long one's are.
TEST(VmdIkBake, OnlyALongBakeGoesToThreads) {
    PmdRig shortWalk;
    tessel_test::BuildLeggedRig(&shortWalk);
    ASSERT_EQ(shortWalk.Load(tessel_test::WalkMotion(120)), 0);
    EXPECT_EQ(tessel::VmdIkBakeWorkersOfLastBake(), 1);
    if (sysconf(_SC_NPROCESSORS_ONLN) < 2) {
        GTEST_SKIP() << "one processor";
    }
    PmdRig longWalk;
    tessel_test::BuildLeggedRig(&longWalk);
    ASSERT_EQ(longWalk.Load(tessel_test::WalkMotion(1000)), 0);
    EXPECT_GT(tessel::VmdIkBakeWorkersOfLastBake(), 1);
}

}  // namespace
