// Key thinning: which keys go, the time form the set is left with and the
// key-data bytes that follow it.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "models/read/read_model_preparation.h"
#include "tests/models/read_model_fixture.h"

namespace tessel_test {
namespace {

using Floats = std::vector<float>;

TEST(KeyThinningTest, EqualKeysWithATableThinToOneKeyTimedByTheLength) {
    ReadModelFixture f;
    tessel::ReadModelAnim* anim = f.AddAnim();
    KeySetLayout layout;
    layout.kind = 1;
    layout.length = 10.0f;
    layout.times = {0.0f, 1.0f, 3.0f, 7.0f, 10.0f};
    for (int i = 0; i < 5; ++i) {
        layout.values.insert(layout.values.end(), {1.5f, 2.5f, -3.0f});
    }
    tessel::ReadModelKeySet* keys = f.AddKeys(anim, layout);
    ASSERT_EQ(f.model.keyDataBytes, 5 * 16);
    tessel::ThinKeySet(&f.model, keys, 1);
    EXPECT_EQ(keys->keyCount, 1);
    EXPECT_EQ(keys->hasTimeTable, 0);
    EXPECT_EQ(keys->timeStep, 10.0f);
    EXPECT_EQ(keys->startTime, 0.0f);
    EXPECT_EQ(ValuesOf(keys), (Floats{1.5f, 2.5f, -3.0f}));
    EXPECT_EQ(f.model.keyDataBytes, 12) << "80 + (1 - 5) x 16 - 4";
}

TEST(KeyThinningTest, EqualKeysWithAStepThinToOneKeyTimedByTheLength) {
    ReadModelFixture f;
    KeySetLayout layout;
    layout.kind = 5;
    layout.target = 11;
    layout.length = 6.0f;
    layout.step = 2.0f;
    layout.start = 1.0f;
    layout.values = {4.25f, 4.25f, 4.25f, 4.25f};
    tessel::ReadModelKeySet* keys = f.AddKeys(f.AddAnim(), layout);
    tessel::ThinKeySet(&f.model, keys, 0);
    EXPECT_EQ(keys->keyCount, 1);
    EXPECT_EQ(keys->hasTimeTable, 0);
    EXPECT_EQ(keys->timeStep, 6.0f);
    EXPECT_EQ(keys->startTime, 0.0f);
    EXPECT_EQ(f.model.keyDataBytes, 4) << "16 + (1 - 4) x 4";
}

// Kind 3 keys (nine floats, the first one varying): thinning pays even for
// a few keys kept, so the kept keys show the interpolation rule.
struct ThinCase {
    std::string name;
    Floats times;  // empty: step 1 from 0
    Floats firsts;
    uint8_t onlyToSingle;
    Floats keptFirsts;
    Floats keptTimes;  // empty: the set ends without a table
};

void PrintTo(const ThinCase& c, std::ostream* out) {
    *out << c.name;
}

class KeyThinningCases : public ::testing::TestWithParam<ThinCase> {};

TEST_P(KeyThinningCases, KeepsTheKeysInterpolationMisses) {
    const ThinCase& c = GetParam();
    ReadModelFixture f;
    KeySetLayout layout;
    layout.kind = 3;
    layout.target = 17;
    layout.length = 9.0f;
    layout.times = c.times;
    for (float first : c.firsts) {
        layout.values.insert(layout.values.end(), {first, 0, 0, 0, 1, 0, 0, 0, 1});
    }
    tessel::ReadModelKeySet* keys = f.AddKeys(f.AddAnim(), layout);
    tessel::ThinKeySet(&f.model, keys, c.onlyToSingle);
    Floats firsts;
    for (int i = 0; i < keys->keyCount; ++i) {
        firsts.push_back(static_cast<const float*>(keys->values)[9 * i]);
    }
    EXPECT_EQ(firsts, c.keptFirsts);
    EXPECT_EQ(TimesOf(keys), c.keptTimes);
    EXPECT_EQ(f.model.keyDataBytes, KeyBytesOfSets(f.model));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KeyThinningCases,
    ::testing::Values(
        // On the line through uneven times: only the ends stay.
        ThinCase{"LineThroughATable", {0, 1, 3, 4}, {0, 2, 6, 8}, 0, {0, 8}, {0, 4}},
        // The same asked only to reach one key: nothing changes.
        ThinCase{"OnlyToSingleKeepsTwo", {0, 1, 3, 4}, {0, 2, 6, 8}, 1, {0, 2, 6, 8}, {0, 1, 3, 4}},
        // 1.5e-5 off the line is kept, 0.5e-5 is dropped.
        ThinCase{"ToleranceKeeps", {0, 1, 3}, {1, 1.000015f, 1}, 0, {1, 1.000015f, 1}, {0, 1, 3}},
        ThinCase{"ToleranceDrops", {0, 1, 3}, {1, 1.000005f, 1}, 0, {1}, {}},
        // The last key goes only when it equals the one kept key exactly.
        ThinCase{"LastKeyNotExactlyEqual", {0, 1, 3}, {1, 1, 1.000001f}, 0, {1, 1.000001f}, {0, 3}},
        // Without a table the times are the step's: after a dropped key the
        // next one is weighed at 2/3 of the way, not halfway.
        ThinCase{"StepTimesAfterADroppedKey", {}, {0, 0.5f, 1, 2}, 0, {0, 1, 2}, {0, 2, 3}},
        ThinCase{"StepRampThinsToItsEnds", {}, {0, 1, 2, 3, 4, 4}, 0, {0, 4, 4}, {0, 4, 5}}),
    [](const ::testing::TestParamInfo<ThinCase>& info) { return info.param.name; });

TEST(KeyThinningTest, AnEvenTableThatIsNotThinnedBecomesAStep) {
    ReadModelFixture f;
    KeySetLayout layout;
    layout.kind = 5;
    layout.target = 11;
    layout.times = {1.0f, 3.0f, 5.0f, 7.0f};
    layout.values = {0.0f, 5.0f, 1.0f, 7.0f};
    tessel::ReadModelKeySet* keys = f.AddKeys(f.AddAnim(), layout);
    tessel::ThinKeySet(&f.model, keys, 1);
    EXPECT_EQ(keys->keyCount, 4);
    EXPECT_EQ(keys->hasTimeTable, 0);
    EXPECT_EQ(keys->timeStep, 2.0f);
    EXPECT_EQ(keys->startTime, 1.0f);
    EXPECT_EQ(f.model.keyDataBytes, 16) << "the table's 4 bytes a key went";
}

TEST(KeyThinningTest, TwoKeysWithATableAreNotEvenAndKeepIt) {
    ReadModelFixture f;
    KeySetLayout layout;
    layout.kind = 5;
    layout.target = 11;
    layout.times = {0.0f, 2.0f};
    layout.values = {0.0f, 1.0f};
    tessel::ReadModelKeySet* keys = f.AddKeys(f.AddAnim(), layout);
    tessel::ThinKeySet(&f.model, keys, 0);
    EXPECT_EQ(keys->hasTimeTable, 1);
    EXPECT_EQ(TimesOf(keys), (Floats{0.0f, 2.0f}));
    EXPECT_EQ(f.model.keyDataBytes, 16);
}

TEST(KeyThinningTest, KindsWithoutThinningAndFailedAllocationsLeaveTheSet) {
    for (bool failing : {false, true}) {
        ReadModelFixture f;
        KeySetLayout layout;
        layout.kind = failing ? 5 : 4;
        layout.target = 18;
        layout.times = {0.0f, 1.0f, 2.0f};
        layout.values = {3.0f, 3.0f, 3.0f};
        tessel::ReadModelKeySet* keys = f.AddKeys(f.AddAnim(), layout);
        void* values = keys->values;
        tessel::SetTrackedHeapFailing(failing);
        tessel::ThinKeySet(&f.model, keys, 0);
        tessel::SetTrackedHeapFailing(false);
        EXPECT_EQ(keys->keyCount, 3) << failing;
        EXPECT_EQ(keys->values, values);
        EXPECT_EQ(keys->hasTimeTable, 1);
        EXPECT_EQ(f.model.keyDataBytes, 24);
    }
}

}  // namespace
}  // namespace tessel_test
