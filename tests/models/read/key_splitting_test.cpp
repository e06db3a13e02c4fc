// Key normalisation over a model's animations: matrix keys into translation,
// quaternion rotation and (when needed) scale; vectors with a constant
// component into one-float sets; constant components merged back; and a
// model left whole when any allocation fails.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "models/read/read_model_preparation.h"
#include "tests/models/read_model_fixture.h"

namespace tessel_test {
namespace {

using Floats = std::vector<float>;

// A 4x3 matrix key as stored: the turn by angle about the axis (row-vector
// rows, the transpose of the column-vector rotation), every element scaled,
// then the translation.
Floats MatrixKeyAbout(const double (&axisIn)[3], double angle, float scale, float tx, float ty,
                      float tz) {
    const double length =
        std::sqrt(axisIn[0] * axisIn[0] + axisIn[1] * axisIn[1] + axisIn[2] * axisIn[2]);
    const double k[3] = {axisIn[0] / length, axisIn[1] / length, axisIn[2] / length};
    const double c = std::cos(angle), s = std::sin(angle);
    // Column-vector rotation: c I + s [k]x + (1 - c) k k^T.
    const double cross[3][3] = {{0, -k[2], k[1]}, {k[2], 0, -k[0]}, {-k[1], k[0], 0}};
    Floats key;
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const double r = (row == col ? c : 0) + s * cross[col][row] + (1 - c) * k[col] * k[row];
            key.push_back(static_cast<float>(r * scale));
        }
    }
    key.insert(key.end(), {tx, ty, tz});
    return key;
}

Floats MatrixKey(int axis, double angle, float scale, float tx, float ty, float tz) {
    double k[3] = {0, 0, 0};
    k[axis] = 1;
    return MatrixKeyAbout(k, angle, scale, tx, ty, tz);
}

// The turn's quaternion, sign chosen with w >= 0.
Floats AxisAngleQuaternion(const double (&axisIn)[3], double angle) {
    const double length =
        std::sqrt(axisIn[0] * axisIn[0] + axisIn[1] * axisIn[1] + axisIn[2] * axisIn[2]);
    const double s = std::sin(angle / 2) / length;
    return {static_cast<float>(axisIn[0] * s), static_cast<float>(axisIn[1] * s),
            static_cast<float>(axisIn[2] * s), static_cast<float>(std::cos(angle / 2))};
}

Floats AxisQuaternion(int axis, double angle) {
    double k[3] = {0, 0, 0};
    k[axis] = 1;
    return AxisAngleQuaternion(k, angle);
}

// q or -q; with `positive` (a component index) the one whose component
// there is positive, as the branch that computed it makes it.
void ExpectQuaternion(const float* got, Floats want, const std::string& where, int positive = -1) {
    if (positive >= 0) {
        if (want[positive] < 0) {
            for (float& w : want) {
                w = -w;
            }
        }
    } else if (got[3] < 0 || (got[3] == 0 && (got[0] + got[1] + got[2]) < 0)) {
        for (float& w : want) {
            w = -w;
        }
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(got[i], want[i], 2e-6) << where << " component " << i;
    }
}

tessel::ReadModelKeySet* AddMatrixKeys(ReadModelFixture& f, tessel::ReadModelAnim* anim,
                                       const std::vector<Floats>& keys, Floats times) {
    KeySetLayout layout;
    layout.kind = 2;
    layout.target = 15;
    layout.length = 3.0f;
    layout.times = std::move(times);
    for (const Floats& key : keys) {
        layout.values.insert(layout.values.end(), key.begin(), key.end());
    }
    return f.AddKeys(anim, layout);
}

struct QuaternionCase {
    double axis[3];
    double angle;
    int positive;  // the component its branch takes as sqrt(...) / 2: w, or x, y, z
};

void PrintTo(const QuaternionCase& c, std::ostream* out) {
    *out << "axis (" << c.axis[0] << ", " << c.axis[1] << ", " << c.axis[2] << ") angle "
         << c.angle;
}

class MatrixQuaternionCases : public ::testing::TestWithParam<QuaternionCase> {};

// Small angles take the trace branch, angles near a half turn the branch of
// their largest diagonal element (the middle one on a tie with the last).
TEST_P(MatrixQuaternionCases, AOneKeyMatrixBecomesItsQuaternion) {
    const QuaternionCase c = GetParam();
    ReadModelFixture f;
    tessel::ReadModelAnim* anim = f.AddAnim();
    AddMatrixKeys(f, anim, {MatrixKeyAbout(c.axis, c.angle, 1.0f, 1, 2, 3)}, {0.0f});
    tessel::SplitMatrixAnimKeys(&f.model);
    tessel::ReadModelKeySet* rotation = KeysWithTarget(anim, 0);
    ASSERT_NE(rotation, nullptr);
    EXPECT_EQ(rotation->kind, 7);
    ASSERT_EQ(rotation->keyCount, 1);
    ExpectQuaternion(static_cast<const float*>(rotation->values),
                     AxisAngleQuaternion(c.axis, c.angle), "angle " + std::to_string(c.angle),
                     c.positive);
    EXPECT_EQ(anim->animFlag, 0) << "3x3 keys turned into quaternions clear the flag";
    for (int target : {5, 6, 7, 8}) {
        EXPECT_EQ(KeysWithTarget(anim, target), nullptr) << "a pure rotation needs no scale";
    }
    tessel::ReadModelKeySet* move = KeysWithTarget(anim, 10);
    ASSERT_NE(move, nullptr);
    EXPECT_EQ(ValuesOf(move), (Floats{1, 2, 3}));
    EXPECT_EQ(f.model.keyDataBytes, KeyBytesOfSets(f.model));
}

// Oblique axes so that every element of each branch counts.
INSTANTIATE_TEST_SUITE_P(Cases, MatrixQuaternionCases,
                         ::testing::Values(QuaternionCase{{0.3, -0.5, 0.8}, 0.9, 3},
                                           QuaternionCase{{0.9, 0.3, -0.2}, 3.0, 0},
                                           QuaternionCase{{-0.2, 0.9, 0.35}, 3.0, 1},
                                           QuaternionCase{{0.3, 0.25, -0.9}, 3.0, 2},
                                           QuaternionCase{{0.1, -0.9, 0.3}, -2.9, 1},
                                           QuaternionCase{{0, 1, -1}, 3.141592653589793, 1},
                                           QuaternionCase{{1, -1, 0}, 3.141592653589793, 1},
                                           QuaternionCase{{0, 0, 1}, 0.5, 3},
                                           QuaternionCase{{1, 1, 1}, -2.0943951023931953, 3}));

// Three keys turning about Z at uneven times, moving on no line.
std::vector<Floats> TurningKeys(float scaleOfMiddle) {
    return {MatrixKey(2, 0.0, 1.0f, 1, 2, 3), MatrixKey(2, 0.5, scaleOfMiddle, 2, 5, 1),
            MatrixKey(2, 1.2, 1.0f, 7, 1, 4)};
}

TEST(KeySplittingTest, MatrixKeysBecomeTranslationAndRotationWithTheirTimes) {
    ReadModelFixture f;
    tessel::ReadModelAnim* anim = f.AddAnim();
    AddMatrixKeys(f, anim, TurningKeys(1.0f), {0.0f, 1.0f, 3.0f});
    ASSERT_EQ(f.model.keyDataBytes, 3 * 52);
    tessel::SplitMatrixAnimKeys(&f.model);
    ASSERT_EQ(KeySetsOf(anim).size(), 2u);
    tessel::ReadModelKeySet* move = KeySetsOf(anim)[0];
    tessel::ReadModelKeySet* turn = KeySetsOf(anim)[1];
    EXPECT_EQ(move->kind, 1);
    EXPECT_EQ(move->target, 10);
    EXPECT_EQ(ValuesOf(move), (Floats{1, 2, 3, 2, 5, 1, 7, 1, 4}));
    EXPECT_EQ(TimesOf(move), (Floats{0, 1, 3}));
    EXPECT_EQ(turn->kind, 7);
    EXPECT_EQ(turn->target, 0);
    EXPECT_EQ(turn->length, 3.0f);
    ASSERT_EQ(turn->keyCount, 3);
    EXPECT_EQ(TimesOf(turn), (Floats{0, 1, 3}));
    const double angles[3] = {0.0, 0.5, 1.2};
    for (int i = 0; i < 3; ++i) {
        ExpectQuaternion(static_cast<const float*>(turn->values) + 4 * i,
                         AxisQuaternion(2, angles[i]), "key " + std::to_string(i));
    }
    EXPECT_EQ(f.model.keyDataBytes, 3 * 16 + 3 * 20);
    ExpectKeyListsWhole(f.model);
}

TEST(KeySplittingTest, AScaleOfOnePointZeroZeroOneOnOneKeyAddsScaleKeys) {
    for (float scale : {1.001f, 0.998f}) {
        ReadModelFixture f;
        tessel::ReadModelAnim* anim = f.AddAnim();
        AddMatrixKeys(f, anim, TurningKeys(scale), {0.0f, 1.0f, 3.0f});
        tessel::SplitMatrixAnimKeys(&f.model);
        tessel::ReadModelKeySet* scales = KeysWithTarget(anim, 5);
        ASSERT_NE(scales, nullptr) << scale;
        EXPECT_EQ(scales->kind, 1);
        ASSERT_EQ(scales->keyCount, 3);
        EXPECT_EQ(TimesOf(scales), (Floats{0, 1, 3}));
        const Floats values = ValuesOf(scales);
        for (int i = 0; i < 9; ++i) {
            EXPECT_NEAR(values[i], i / 3 == 1 ? scale : 1.0f, 1e-6) << i;
        }
        ExpectQuaternion(static_cast<const float*>(KeysWithTarget(anim, 0)->values) + 4,
                         AxisQuaternion(2, 0.5), "the scaled key's rotation");
        EXPECT_EQ(f.model.keyDataBytes, KeyBytesOfSets(f.model));
    }
}

TEST(KeySplittingTest, AScaleJustInsideTheUnitBandAddsNone) {
    ReadModelFixture f;
    tessel::ReadModelAnim* anim = f.AddAnim();
    AddMatrixKeys(f, anim, TurningKeys(1.00009f), {0.0f, 1.0f, 3.0f});
    tessel::SplitMatrixAnimKeys(&f.model);
    EXPECT_EQ(KeysWithTarget(anim, 5), nullptr);
}

KeySetLayout TranslationKeys(Floats values) {
    KeySetLayout layout;
    layout.kind = 1;
    layout.target = 10;
    layout.length = 4.0f;
    layout.times = {0.0f, 1.0f, 3.0f, 4.0f};
    layout.values = std::move(values);
    return layout;
}

TEST(KeySplittingTest, AConstantYSplitsTheTranslationAndNoMergeFollows) {
    ReadModelFixture f;
    tessel::ReadModelAnim* anim = f.AddAnim();
    // Within 1e-6 of key 0 counts as constant.
    f.AddKeys(anim, TranslationKeys({0, 5, 1, 3, 5.0000005f, -2, 1, 5, 7, 8, 5, 0}));
    tessel::SplitMatrixAnimKeys(&f.model);
    const auto sets = KeySetsOf(anim);
    ASSERT_EQ(sets.size(), 3u);
    EXPECT_EQ(sets[0]->target, 11);
    EXPECT_EQ(sets[1]->target, 12);
    EXPECT_EQ(sets[2]->target, 13);
    for (auto* keys : sets) {
        EXPECT_EQ(keys->kind, 5);
    }
    EXPECT_EQ(ValuesOf(sets[0]), (Floats{0, 3, 1, 8}));
    EXPECT_EQ(TimesOf(sets[0]), (Floats{0, 1, 3, 4}));
    EXPECT_EQ(ValuesOf(sets[1]), (Floats{5}));
    EXPECT_EQ(sets[1]->hasTimeTable, 0);
    EXPECT_EQ(sets[1]->timeStep, 4.0f);
    EXPECT_EQ(sets[1]->startTime, 0.0f);
    EXPECT_EQ(ValuesOf(sets[2]), (Floats{1, -2, 7, 0}));
    EXPECT_EQ(f.model.keyDataBytes, 4 * 8 + 4 + 4 * 8);
    ExpectKeyListsWhole(f.model);
}

TEST(KeySplittingTest, ComponentsThinnedAlikeMergeBack) {
    ReadModelFixture f;
    tessel::ReadModelAnim* anim = f.AddAnim();
    // X stays within 1e-6 of its first key, so the set splits; each
    // component then thins to its two ends at the same times.
    f.AddKeys(anim, TranslationKeys({0, 0, 0, 0, 1, 2, 0, 3, 6, 5e-7f, 4, 8}));
    const int32_t setsBefore = f.model.keySetCount;
    tessel::SplitMatrixAnimKeys(&f.model);
    const auto sets = KeySetsOf(anim);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0]->kind, 1);
    EXPECT_EQ(sets[0]->target, 10);
    EXPECT_EQ(ValuesOf(sets[0]), (Floats{0, 0, 0, 5e-7f, 4, 8}));
    EXPECT_EQ(TimesOf(sets[0]), (Floats{0, 4}));
    EXPECT_EQ(f.model.keySetCount, setsBefore) << "the Y and Z sets left the model";
    EXPECT_EQ(f.model.keyDataBytes, 2 * 16);
    ExpectKeyListsWhole(f.model);
}

TEST(KeySplittingTest, AComponentOffByMoreThanTheToleranceIsNotConstant) {
    ReadModelFixture f;
    tessel::ReadModelAnim* anim = f.AddAnim();
    f.AddKeys(anim, TranslationKeys({0, 5, 1, 3, 5.000002f, -2, 1, 5, 7, 8, 5, 0}));
    tessel::SplitMatrixAnimKeys(&f.model);
    ASSERT_EQ(KeySetsOf(anim).size(), 1u);
    EXPECT_EQ(KeySetsOf(anim)[0]->keyCount, 4);
}

TEST(KeySplittingTest, OnlyTheLastPassThinsASetToMoreThanOneKey) {
    ReadModelFixture f;
    tessel::ReadModelAnim* anim = f.AddAnim();
    KeySetLayout layout;
    layout.kind = 5;
    layout.target = 11;
    layout.times = {0, 1, 3, 4};
    layout.values = {0, 2, 6, 8};
    tessel::ReadModelKeySet* keys = f.AddKeys(anim, layout);
    tessel::SplitMatrixAnimKeys(&f.model);
    EXPECT_EQ(ValuesOf(keys), (Floats{0, 8}));
    EXPECT_EQ(TimesOf(keys), (Floats{0, 4}));
    EXPECT_EQ(f.model.keyDataBytes, 16);
}

TEST(KeySplittingTest, OnlyTheFirstThreeByThreeSetOfAnAnimationBecomesQuaternions) {
    ReadModelFixture f;
    tessel::ReadModelAnim* anim = f.AddAnim();
    for (int i = 0; i < 2; ++i) {
        KeySetLayout layout;
        layout.kind = 3;
        layout.target = 17;
        layout.times = {0, 1, 3};
        for (int key = 0; key < 3; ++key) {
            const Floats m = MatrixKey(i, 0.4 * key * key, 1.0f, 0, 0, 0);
            layout.values.insert(layout.values.end(), m.begin(), m.begin() + 9);
        }
        f.AddKeys(anim, layout);
    }
    tessel::SplitMatrixAnimKeys(&f.model);
    const auto sets = KeySetsOf(anim);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0]->kind, 7);
    EXPECT_EQ(sets[1]->kind, 3);
    EXPECT_EQ(sets[1]->target, 17);
    EXPECT_EQ(f.model.keyDataBytes, KeyBytesOfSets(f.model));
}

TEST(KeySplittingTest, SetsWithoutTablesMergeWithEqualStepsAndNearStarts) {
    struct Case {
        float stepOfY;
        float startOfY;
        bool merged;
    };
    for (const Case& c :
         {Case{1.0f, 5e-8f, true}, Case{2.0f, 0.0f, false}, Case{1.0f, 1e-6f, false}}) {
        ReadModelFixture f;
        tessel::ReadModelAnim* anim = f.AddAnim();
        for (int axis = 0; axis < 3; ++axis) {
            KeySetLayout layout;
            layout.kind = 5;
            layout.target = 11 + axis;
            layout.step = axis == 1 ? c.stepOfY : 1.0f;
            layout.start = axis == 1 ? c.startOfY : 0.0f;
            layout.values = {1.0f + axis, 4, 2};
            f.AddKeys(anim, layout);
        }
        tessel::SplitMatrixAnimKeys(&f.model);
        EXPECT_EQ(KeySetsOf(anim).size(), c.merged ? 1u : 3u) << c.stepOfY << " " << c.startOfY;
        if (c.merged) {
            EXPECT_EQ(ValuesOf(KeySetsOf(anim)[0]), (Floats{1, 2, 3, 4, 4, 4, 2, 2, 2}));
            EXPECT_EQ(KeySetsOf(anim)[0]->hasTimeTable, 0);
        }
        EXPECT_EQ(f.model.keyDataBytes, KeyBytesOfSets(f.model));
    }
}

TEST(KeySplittingTest, KeptVectorKeysStayWhole) {
    ReadModelFixture f;
    tessel::ReadModelAnim* anim = f.AddAnim(1);
    f.AddKeys(anim, TranslationKeys({0, 5, 1, 3, 5, -2, 1, 5, 7, 8, 5, 0}));
    tessel::SplitMatrixAnimKeys(&f.model);
    ASSERT_EQ(KeySetsOf(anim).size(), 1u);
    EXPECT_EQ(KeySetsOf(anim)[0]->kind, 1);
    EXPECT_EQ(KeySetsOf(anim)[0]->keyCount, 4);
}

TEST(KeySplittingTest, ScaleAndRotationComponentsMergeOnlyWithEqualTiming) {
    ReadModelFixture f;
    tessel::ReadModelAnim* anim = f.AddAnim();
    KeySetLayout x;
    x.kind = 5;
    x.target = 6;
    x.times = {0, 1, 3};
    x.values = {1, 4, 2};
    f.AddKeys(anim, x);
    KeySetLayout y = x;
    y.target = 7;
    y.values = {2, 5, 3};
    f.AddKeys(anim, y);
    KeySetLayout z = x;
    z.target = 8;
    z.values = {3, 6, 1};
    f.AddKeys(anim, z);
    KeySetLayout turnX = x;
    turnX.target = 1;
    f.AddKeys(anim, turnX);
    KeySetLayout turnY = turnX;
    turnY.target = 2;
    turnY.times = {0, 1, 2};
    f.AddKeys(anim, turnY);
    KeySetLayout turnZ = turnX;
    turnZ.target = 3;
    f.AddKeys(anim, turnZ);
    tessel::SplitMatrixAnimKeys(&f.model);
    tessel::ReadModelKeySet* scale = KeysWithTarget(anim, 5);
    ASSERT_NE(scale, nullptr);
    EXPECT_EQ(scale->kind, 1);
    EXPECT_EQ(ValuesOf(scale), (Floats{1, 2, 3, 4, 5, 6, 2, 3, 1}));
    EXPECT_EQ(TimesOf(scale), (Floats{0, 1, 3}));
    EXPECT_EQ(KeysWithTarget(anim, 6), nullptr);
    EXPECT_EQ(KeysWithTarget(anim, 0), nullptr) << "rotation times differ: no merge";
    EXPECT_NE(KeysWithTarget(anim, 2), nullptr);
    EXPECT_EQ(KeySetsOf(anim).size(), 4u);
    EXPECT_EQ(f.model.keyDataBytes, KeyBytesOfSets(f.model));
    ExpectKeyListsWhole(f.model);
}

// Every allocation point in turn fails: each set is either done or left as
// it was, so the lists and the byte total always agree.
TEST(KeySplittingTest, AFailedAllocationAnywhereLeavesTheModelWhole) {
    for (int successes = 0; successes < 40; ++successes) {
        ReadModelFixture f;
        tessel::ReadModelAnim* anim = f.AddAnim();
        AddMatrixKeys(f, anim, TurningKeys(1.001f), {0.0f, 1.0f, 3.0f});
        tessel::ReadModelAnim* moving = f.AddAnim();
        f.AddKeys(moving, TranslationKeys({0, 5, 1, 3, 5, -2, 1, 5, 7, 8, 5, 0}));
        tessel::SetTrackedHeapFailingAfter(successes);
        tessel::SplitMatrixAnimKeys(&f.model);
        tessel::SetTrackedHeapFailing(false);
        EXPECT_EQ(f.model.keyDataBytes, KeyBytesOfSets(f.model)) << successes;
        ExpectKeyListsWhole(f.model);
        for (const tessel::ReadModelKeySet* k = f.model.firstKeySet; k != nullptr; k = k->next) {
            const bool known = (k->kind == 2 && k->target == 15) ||
                               (k->kind == 3 && k->target == 17) ||
                               (k->kind == 7 && k->target == 0) || (k->kind == 1) ||
                               (k->kind == 5 && k->target >= 11 && k->target <= 13) ||
                               (k->kind == 5 && k->target >= 6 && k->target <= 8);
            EXPECT_TRUE(known) << "kind " << int(k->kind) << " target " << int(k->target);
        }
    }
}

}  // namespace
}  // namespace tessel_test
