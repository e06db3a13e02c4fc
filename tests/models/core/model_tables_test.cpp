// The base and model tables: growth, the wrapping search, check numbers,
// deletion, and the system's start and end with the library.
#include "tests/models/model_test_support.h"

namespace tessel_test {
namespace {

using ModelTablesTest = ModelSystemTest;

TEST_F(ModelTablesTest, TheFirstReservationGrowsEachTableTo1024SlotsAndTakesSlotZero) {
    EXPECT_EQ(tessel::g_models.bases.capacity, 0);
    EXPECT_EQ(tessel::g_models.models.capacity, 0);
    EXPECT_EQ(tessel::NewModelBaseHandle(), 0x08000000);
    EXPECT_EQ(tessel::NewModelHandle(), 0x50000000);
    EXPECT_EQ(tessel::g_models.bases.capacity, 1024);
    EXPECT_EQ(tessel::g_models.models.capacity, 1024);
    EXPECT_EQ(tessel::g_models.bases.count, 1);
    EXPECT_EQ(tessel::g_models.models.count, 1);
}

TEST_F(ModelTablesTest, TheSearchWrapsFromTheLastSlotToAFreeOneNearTheStart) {
    for (int i = 0; i < 1024; ++i) {
        ASSERT_EQ(tessel::NewModelBaseHandle(), 0x08000000 | i);
        ASSERT_EQ(tessel::NewModelHandle() & 0xFFFF, i);
    }
    ASSERT_EQ(tessel::ReleaseModelBase(0x08000000 | 5), 0);
    ASSERT_EQ(tessel::DeleteModelInstance(0x50000000 | 7), 0);
    EXPECT_EQ(tessel::NewModelBaseHandle(), 0x08000000 | 5);
    EXPECT_EQ(tessel::NewModelHandle() & 0xFFFF, 7);
    EXPECT_EQ(tessel::g_models.bases.capacity, 1024) << "a free slot was there; no growth";
    EXPECT_EQ(tessel::NewModelBaseHandle(), 0x08000000 | 1024) << "full again: it grows";
    EXPECT_EQ(tessel::g_models.bases.capacity, 2048);
}

TEST_F(ModelTablesTest, TheModelTableStopsAt65536Slots) {
    for (int i = 0; i < 65536; ++i) {
        ASSERT_NE(tessel::NewModelHandle(), -1) << i;
    }
    EXPECT_EQ(tessel::NewModelHandle(), -1);
    EXPECT_EQ(tessel::g_models.models.capacity, 65536);
    ASSERT_EQ(tessel::DeleteModelInstance(0x50000000 | 65535), 0);
    EXPECT_EQ(tessel::NewModelHandle(), 0x50000000 | 65535);
}

TEST_F(ModelTablesTest, TheCheckCounterComesBackToZeroAfter2048Creations) {
    int base = MakeTestBase();
    ASSERT_NE(base, -1);
    int keeper = MakeTestModel(base);  // keeps the base alive across deletions
    ASSERT_EQ(CheckOf(keeper), 0);
    for (int i = 1; i <= 2048; ++i) {
        int model = MakeTestModel(base);
        ASSERT_NE(model, -1);
        ASSERT_EQ(CheckOf(model), i % 2048) << i;
        ASSERT_EQ(tessel::GetModelInstance(model)->check, i % 2048);
        ASSERT_EQ(tessel::DeleteModelInstance(model), 0);
    }
    EXPECT_EQ(tessel::g_models.models.checkCounter, 1);
}

TEST_F(ModelTablesTest, DeletingAModelTwiceFailsTheSecondTime) {
    int model = MakeTestModel(MakeTestBase());
    ASSERT_NE(model, -1);
    EXPECT_EQ(tessel::DeleteModelInstance(model), 0);
    EXPECT_EQ(tessel::DeleteModelInstance(model), -1);
    EXPECT_EQ(tessel::g_models.models.count, 0);
    EXPECT_EQ(tessel::g_models.bases.count, 0) << "the last model freed its base";
}

TEST_F(ModelTablesTest, AHandleWithAnotherCheckNumberOrKindIsRefused) {
    int base = MakeTestBase();
    int keeper = MakeTestModel(base);
    int model = MakeTestModel(base);
    ASSERT_EQ(CheckOf(model), 1);
    const struct {
        const char* what;
        int handle;
    } cases[] = {
        {"check of another model", WithCheck(model, 0)},
        {"check never given", WithCheck(model, 2047)},
        {"base kind", (model & 0xFFFF) | 0x08000000},
        {"image kind", (model & 0x07FFFFFF) | 0x08000000},
        {"slot beyond the table", WithCheck(0x50000000 | 4000, 1)},
        {"failure value", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(tessel::GetModelInstance(c.handle), nullptr);
        EXPECT_EQ(tessel::DeleteModelInstance(c.handle), -1);
    }
    EXPECT_EQ(tessel::g_models.models.count, 2);
    EXPECT_NE(tessel::GetModelInstance(model), nullptr);
    EXPECT_EQ(tessel::DeleteModelInstance(model), 0);
    EXPECT_EQ(tessel::DeleteModelInstance(keeper), 0);
}

TEST_F(ModelTablesTest, AReservedSlotIsFreedWithoutAnyRecordRead) {
    int model = tessel::NewModelHandle();
    int base = tessel::NewModelBaseHandle();
    EXPECT_EQ(tessel::GetModelInstance(model), nullptr);
    EXPECT_EQ(tessel::GetModelBase(base), nullptr);
    EXPECT_EQ(tessel::DeleteModelInstance(WithCheck(model, 77)), 0);
    EXPECT_EQ(tessel::ReleaseModelBase(base), 0);
    EXPECT_EQ(tessel::g_models.models.count, 0);
    EXPECT_EQ(tessel::g_models.bases.count, 0);
    EXPECT_EQ(tessel::ReleaseModelBase(base), -1);
}

TEST_F(ModelTablesTest, DeletingModelsUnlinksThemFromTheirBaseInAnyOrder) {
    int base = MakeTestBase();
    int a = MakeTestModel(base);
    int b = MakeTestModel(base);
    int c = MakeTestModel(base);
    tessel::ModelBase* record = tessel::GetModelBase(base);
    ASSERT_EQ(record->instanceCount, 3);
    EXPECT_EQ(record->newestInstance, tessel::GetModelInstance(c));
    EXPECT_EQ(record->oldestInstance, tessel::GetModelInstance(a));
    ASSERT_EQ(tessel::DeleteModelInstance(b), 0);
    EXPECT_EQ(record->instanceCount, 2);
    EXPECT_EQ(record->referenceCount, 2);
    EXPECT_EQ(tessel::GetModelInstance(c)->nextOlder, tessel::GetModelInstance(a));
    EXPECT_EQ(tessel::GetModelInstance(a)->nextNewer, tessel::GetModelInstance(c));
    ASSERT_EQ(tessel::DeleteModelInstance(c), 0);
    EXPECT_EQ(record->newestInstance, tessel::GetModelInstance(a));
    ASSERT_EQ(tessel::DeleteModelInstance(a), 0);
    EXPECT_EQ(tessel::GetModelBase(base), nullptr);
}

// Bases with textures, image handles, owned arrays and extra blocks; models
// with check numbers other than 0 and texture images of their own.
TEST_F(ModelTablesTest, EndingTheSystemFreesEveryModelAndBaseAndLeavesNoBlock) {
    const uint32_t before = tessel::TrackedBlockCount();
    for (int i = 0; i < 3; ++i) {
        MakeTestModel(MakeTestBase());  // checks 0 to 2: the counter has moved on
    }
    int shared = MakeTestBase({.frames = 3, .textures = 2, .separateTextures = true});
    tessel::GetModelBase(shared)->textures[1].imageHandle = tessel::CreateBlankImage(8, 8);
    int own = MakeTestModel(shared);
    MakeTestModel(shared);
    ASSERT_EQ(CheckOf(own), 3);
    tessel::ModelInstanceTexture& texture = tessel::GetModelInstance(own)->textures[0];
    texture.modelOwn = 1;
    texture.ownColourImage = tessel::AllocTracked(10, "", 0);
    texture.ownColourFile = TrackedText("own.png");
    texture.imageHandle = tessel::CreateBlankImage(4, 4);
    int lonely = MakeTestBase({.textures = 1});  // a base no model uses
    tessel::NewModelHandle();                    // reserved, never filled
    tessel::NewModelBaseHandle();
    ASSERT_NE(lonely, -1);
    const int images = tessel::GetImageRecord(texture.imageHandle) != nullptr ? 2 : 0;
    ASSERT_EQ(images, 2);

    EXPECT_EQ(tessel::EndModelSystem(), 0);
    EXPECT_EQ(tessel::g_models.initialised, 0);
    EXPECT_EQ(tessel::g_models.bases.slots, nullptr);
    EXPECT_EQ(tessel::g_models.models.slots, nullptr);
    EXPECT_EQ(tessel::g_models.bases.capacity, 0);
    EXPECT_EQ(tessel::TrackedBlockCount(), before) << "a block outlived the model system";
    EXPECT_EQ(tessel::EndModelSystem(), 0) << "a second end does nothing";
}

TEST_F(ModelTablesTest, EveryCallFailsAfterTheEndAndTheHooksDoNothing) {
    int model = MakeTestModel(MakeTestBase());
    ASSERT_EQ(tessel::EndModelSystem(), 0);
    EXPECT_EQ(tessel::NewModelHandle(), -1);
    EXPECT_EQ(tessel::NewModelBaseHandle(), -1);
    EXPECT_EQ(tessel::DeleteModelInstance(model), -1);
    EXPECT_EQ(tessel::ReleaseModelBase(0x08000000), -1);
    EXPECT_EQ(tessel::ReleaseAllModelBuffers(), 0);
    EXPECT_EQ(tessel::RebuildAllModelBuffers(), 0);
}

TEST_F(ModelTablesTest, ALostDeviceReleasesAndRebuildsWithTheTablesIntact) {
    int model = MakeTestModel(MakeTestBase());
    platform::LoseD3D9Devices();
    Activate();
    ASSERT_EQ(tessel::IsGraphicsDeviceLost(), 0);
    EXPECT_NE(tessel::GetModelInstance(model), nullptr);
    EXPECT_EQ(tessel::g_models.initialised, 1);
}

// The library starts the system only on the hardware path and ends it.
class ModelSystemLifeTest : public ImageTest {};

TEST_F(ModelSystemLifeTest, TheLibraryStartsTheSystemWithDirect3DAndEndsIt) {
    const struct {
        bool hardware;
        int initialised;
    } cases[] = {{true, 1}, {false, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hardware ? "hardware" : "software");
        Start(c.hardware);
        EXPECT_EQ(tessel::g_models.initialised, c.initialised);
        EXPECT_EQ(tessel::NewModelHandle() != -1, c.hardware);
        EXPECT_EQ(tessel::InitModelSystem(), 0);
        EXPECT_EQ(tessel::g_models.initialised, c.initialised) << "a second start changes nothing";
        ASSERT_EQ(tessel::EndLibrary(), 0);
        EXPECT_EQ(tessel::g_models.initialised, 0);
        EXPECT_EQ(tessel::g_models.models.slots, nullptr);
    }
}

}  // namespace
}  // namespace tessel_test
