// Models made from a base: the check number their handle carries, the layout
// of frames, child lists, meshes, materials, textures and bits, refusals of
// bad handles, out of memory at creation, the shape update, and the per-model
// blocks that deletion frees.
#include "models/instances/model_instances.h"

#include "models/buffers/model_buffers.h"

#include <cstring>
#include <stdexcept>

#include "models/util/model_containers.h"
#include "tests/foundation/files/files_test_support.h"
#include "tests/models/anim_fixture.h"
#include "tests/models/model_base_builder.h"
#include "tests/models/model_test_support.h"

namespace tessel_test {
namespace {

// Frames: 0 a root with children 1 and 2, 3 a child of 2, 4 a second root
// hidden at creation. Lists: a rigid one on frame 1 and a hidden one on 2.
class ModelInstanceTest : public ModelSystemTest {
  protected:
    void SetUp() override {
        ModelSystemTest::SetUp();
        base_.frames = {{-1}, {0}, {0}, {2}, {-1}};
        base_.frames[4].flags = 0;
        base_.lists = {{1}, {2}};
        base_.lists[1].visible = 0;
    }

    TestBase base_;
};

TEST_F(ModelInstanceTest, TheFirstModelCarriesTheCheckItsHandleNamed) {
    ASSERT_NE(base_.Store(), -1);
    for (int i = 0; i < 3; ++i) {
        const int handle = tessel::NewModelHandle();
        ASSERT_EQ(tessel::CreateModelFromBase(handle, base_.handle()), 0);
        const tessel::ModelInstance* model = tessel::GetModelInstance(handle);
        ASSERT_NE(model, nullptr) << i;
        EXPECT_EQ(model->check, CheckOf(handle));
        EXPECT_EQ(model->check, i);
    }
    EXPECT_EQ(base_.base()->referenceCount, 3);
    EXPECT_EQ(base_.base()->instanceCount, 3);
}

TEST_F(ModelInstanceTest, FramesListsMeshesAndBitsAreLaidOutFromTheBase) {
    base_.skinBones = {{3, 1, {}, 0}, {1, 0, {}, 0}};
    ASSERT_NE(base_.Store(), -1);
    tessel::ModelBase* base = base_.base();
    tessel::ModelTexture texture = {};
    texture.imageHandle = -1;
    texture.addressU = 3;
    texture.filterMode = 2;
    texture.conversionValue = 0.375f;
    base->textureCount = 1;
    base->textures = &texture;
    // A base measured before: creation does not bring the matrices up to
    // date, so the bits stay as creation set them.
    base->boundsMeasured = 1;
    const int handle = CreateTestModel(base_.handle());
    const tessel::ModelInstance* model = tessel::GetModelInstance(handle);
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(base->newestInstance, model);
    EXPECT_EQ(base->oldestInstance, model);

    EXPECT_EQ(model->rootCount, 2);
    EXPECT_EQ(model->roots[0], &model->frames[0]);
    EXPECT_EQ(model->roots[1], &model->frames[4]);
    const tessel::ModelInstanceFrame* f = model->frames;
    EXPECT_EQ(f[0].childCount, 2);
    EXPECT_EQ(f[0].children[0], &f[1]);
    EXPECT_EQ(f[0].children[1], &f[2]);
    EXPECT_EQ(f[2].childCount, 1);
    EXPECT_EQ(f[2].children[0], &f[3]);
    EXPECT_EQ(f[0].children, model->roots + 2) << "child lists follow the root list";
    EXPECT_EQ(f[2].children, model->roots + 4);
    EXPECT_EQ(f[2].indexInParent, 1);
    EXPECT_EQ(f[4].indexInParent, 1);
    EXPECT_EQ(f[3].parent, &f[2]);
    EXPECT_EQ(f[1].nextSibling, &f[2]);
    EXPECT_EQ(f[2].prevSibling, &f[1]);
    EXPECT_EQ(f[0].firstChild, &f[1]);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(f[i].tag, tessel::kModelFrameTag);
        EXPECT_EQ(f[i].modelHandle, handle);
        EXPECT_EQ(f[i].model, model);
        EXPECT_EQ(f[i].base, &base->frames[i]);
        EXPECT_EQ(f[i].draw.visible, i == 4 ? 0 : 1) << i;
        EXPECT_EQ(f[i].changeBitWord, &model->changeBits[0]);
        EXPECT_EQ(f[i].matrix.m[3][3], 1.0f);
    }
    EXPECT_EQ(f[0].firstMesh, nullptr);
    EXPECT_EQ(f[1].firstMesh, &model->meshes[0]);
    EXPECT_EQ(f[2].firstMesh, &model->meshes[1]);
    EXPECT_EQ(model->meshes[1].frame, &f[2]);
    EXPECT_EQ(model->meshes[0].draw.visible, 1);
    EXPECT_EQ(model->meshes[1].draw.visible, 0);
    EXPECT_EQ(model->meshes[1].material, &model->materials[1]);
    EXPECT_EQ(model->materials[1].diffuse[0], 1.5f);
    EXPECT_EQ(model->meshes[1].triangleLists, &model->triangleLists[1]);
    EXPECT_EQ(model->triangleLists[1].mesh, &model->meshes[1]);
    EXPECT_EQ(model->triangleLists[1].base, &base->triangleLists[1]);
    EXPECT_EQ(model->meshes[0].words[0], -1);
    EXPECT_EQ(model->meshes[0].draw.colourFactors[15], 1.0f);
    EXPECT_EQ(model->meshes[0].draw.opacity, 1.0f);
    // Frame 1's run names bone 1, frame 3's bone 0: each the model's matrix.
    EXPECT_EQ(f[1].skinBoneRefs[0], &model->boneMatrices[1]);
    EXPECT_EQ(f[3].skinBoneRefs[0], &model->boneMatrices[0]);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(model->boneMatrices) % 16, 0u);

    EXPECT_EQ(model->textures[0].base, &texture);
    EXPECT_EQ(model->textures[0].imageHandle, -1);
    EXPECT_EQ(model->textures[0].addressU, 3);
    EXPECT_EQ(model->textures[0].filterMode, 2);
    EXPECT_EQ(model->textures[0].conversionValue, 0.375f);

    EXPECT_EQ(model->changeBytes, 4);
    EXPECT_EQ(model->drawChangeBytes, 4);
    EXPECT_EQ(model->changeBits[0], 0xFFFFFFFFu);
    EXPECT_EQ(model->drawChangeBits[0], 0xFFFFFFFFu);
    EXPECT_EQ(model->scale.y, 1.0f);
    EXPECT_EQ(model->shapesChanged, 1);
    EXPECT_EQ(model->animationsEvaluated, 1);
    EXPECT_EQ(model->draw.visible, 1);
    EXPECT_EQ(model->animWordFour, 4);
    EXPECT_EQ(model->animWordTwo, 2);
    EXPECT_EQ(model->animWordsOne[1], 1);
    // The base goes with its last model; the texture owns nothing to free.
    EXPECT_EQ(tessel::DeleteModelInstance(handle), 0);
}

TEST_F(ModelInstanceTest, BadHandlesAreRefusedAndChangeNothing) {
    ASSERT_NE(base_.Store(), -1);
    const int taken = CreateTestModel(base_.handle());
    ASSERT_NE(taken, -1);
    const int reserved = tessel::NewModelHandle();
    const struct {
        const char* what;
        int model;
        int base;
    } cases[] = {
        {"a model handle as the base", reserved, taken},
        {"an empty base slot", reserved, base_.handle() + 1},
        {"a base slot past the limit", reserved, 0x08000000 | 0x100001},
        {"a slot holding a model", taken, base_.handle()},
        {"a free model slot", (reserved & ~0xFFFF) | 700, base_.handle()},
        {"a base handle as the model", base_.handle(), base_.handle()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(tessel::CreateModelFromBase(c.model, c.base), -1);
        EXPECT_EQ(base_.base()->referenceCount, 1);
        EXPECT_EQ(base_.base()->instanceCount, 1);
    }
    EXPECT_EQ(tessel::PlaceModel(reserved, 1.0f, 2.0f, 3.0f), -1);
    EXPECT_EQ(tessel::PlaceModel(WithCheck(taken, CheckOf(taken) + 1), 1.0f, 2.0f, 3.0f), -1);
    EXPECT_EQ(tessel::UpdateModelShapes(reserved), 0);
    EXPECT_EQ(tessel::FreeModelFrameBlock(taken, -2), -1);
    EXPECT_EQ(tessel::FreeModelFrameBlock(taken, 5), -1);
    EXPECT_EQ(tessel::FreeModelWorkBuffer(taken, 5, 0), -1);
    EXPECT_EQ(tessel::FreeModelWorkBuffer(taken, 0, 2), -1);
    EXPECT_EQ(tessel::FreeModelWorkBuffer(reserved, 0, 0), -1);
    EXPECT_EQ(tessel::FreeModelFrameBlock(taken, 4), 0) << "nothing to free";
}

TEST_F(ModelInstanceTest, OutOfMemoryAtCreationLinksNothing) {
    ASSERT_NE(base_.Store(), -1);
    const int handle = tessel::NewModelHandle();
    const uint32_t blocks = tessel::TrackedBlockCount();
    LogScope log;
    tessel::SetTrackedHeapFailingAfter(0);
    EXPECT_EQ(tessel::CreateModelFromBase(handle, base_.handle()), -1);
    tessel::SetTrackedHeapFailing(false);
    EXPECT_EQ(tessel::TrackedBlockCount(), blocks);
    EXPECT_EQ(tessel::g_models.models.slots[handle & 0xFFFF], tessel::kModelSlotReserved);
    EXPECT_EQ(base_.base()->referenceCount, 0);
    EXPECT_EQ(base_.base()->instanceCount, 0);
    EXPECT_EQ(base_.base()->newestInstance, nullptr);
    EXPECT_EQ(tessel::g_models.models.checkCounter, 0);
    EXPECT_NE(log.Text().find("Model create error : out of memory"), std::string::npos);
    // The reservation still stands, and serves once memory is back.
    EXPECT_EQ(tessel::CreateModelFromBase(handle, base_.handle()), 0);
    EXPECT_EQ(base_.base()->referenceCount, 1);
}

TEST_F(ModelInstanceTest, ChangeBitsPastTheBitArraysAreRefused) {
    ASSERT_NE(base_.Store(), -1);
    base_.base()->frames[3].change.wordIndex = 1;
    const int handle = tessel::NewModelHandle();
    LogScope log;
    EXPECT_EQ(tessel::CreateModelFromBase(handle, base_.handle()), -1);
    EXPECT_NE(log.Text().find("change bits reach past"), std::string::npos);
    EXPECT_EQ(base_.base()->instanceCount, 0);
}

TEST_F(ModelInstanceTest, DeletionFreesAttachedBlocksWorkBuffersAndAnimations) {
    TestAnimSet set;
    set.anims = {{1, {TestKeySet{}}}};
    set.anims[0].keySets[0].values = {1.0f, 2.0f, 3.0f};
    base_.animSets = {set};
    ASSERT_NE(base_.Store(), -1);
    // The reservation grows the model table, which stays.
    const int handle = tessel::NewModelHandle();
    const uint32_t blocks = tessel::TrackedBlockCount();
    ASSERT_EQ(tessel::CreateModelFromBase(handle, base_.handle()), 0);
    tessel::ModelInstance* model = tessel::GetModelInstance(handle);
    ASSERT_NE(model, nullptr);
    AttachAnim(model, 0, 2, 1.0f, 0.0f);
    for (void** head : {&model->attachedBlock, &model->frames[3].attachedBlock}) {
        *head = tessel::AllocTrackedZeroed(16, "", 0);
        tessel::AllocChainedBlock(24, static_cast<void**>(*head));
        tessel::AllocChainedBlock(8, static_cast<void**>(*head));
    }
    model->workBuffers[0] = tessel::AllocTracked(8, "", 0);
    model->frames[2].workBuffers[1] = tessel::AllocTracked(8, "", 0);

    const uint32_t withAll = tessel::TrackedBlockCount();
    EXPECT_EQ(tessel::FreeModelFrameBlock(handle, 3), 0);
    EXPECT_EQ(tessel::TrackedBlockCount(), withAll - 3);
    EXPECT_EQ(model->frames[3].attachedBlock, nullptr);
    EXPECT_EQ(tessel::FreeModelWorkBuffer(handle, 2, 0), 0);
    EXPECT_EQ(model->frames[2].workBuffers[1], nullptr);
    EXPECT_EQ(tessel::FreeModelWorkBuffer(handle, -1, 0), 0);
    EXPECT_NE(model->workBuffers[0], nullptr) << "kind 0 is the second word";
    EXPECT_EQ(tessel::DeleteModelInstance(handle), 0);
    // The base went with its last model.
    EXPECT_EQ(tessel::TrackedBlockCount(), blocks - 1);
    EXPECT_EQ(tessel::GetModelBase(base_.handle()), nullptr);
}

// Shapes: frame 1's rigid list is deformed by two shapes of its frame.
class ModelShapeTest : public ModelInstanceTest {
  protected:
    void SetUp() override {
        ModelInstanceTest::SetUp();
        base_.lists[0].shape = true;
        base_.shapes = {{1, 0, {{1, {1e6f, 0.0f, -2e6f}, {0.0f, 4e5f, 0.0f}}}},
                        {1, 0, {{2, {0.0f, 0.5f, 0.0f}, {0.0f, 0.0f, 0.25f}}}}};
    }
};

TEST_F(ModelShapeTest, AWeightOfTheFloorMovesAndOneJustBelowDoesNot) {
    ASSERT_NE(base_.Store(), -1);
    ASSERT_EQ(tessel::BuildModelBaseBuffers(base_.handle(), 1), 0);
    const int handle = CreateTestModel(base_.handle());
    tessel::ModelInstance* model = tessel::GetModelInstance(handle);
    ASSERT_NE(model, nullptr);
    tessel::ModelInstanceFrame& frame = model->frames[1];
    ASSERT_EQ(frame.hasShapes, 1);
    ASSERT_NE(model->triangleLists[0].deviceBuffer, nullptr) << "a rigid list gets its own buffer";
    const tessel::Vec3 p1 = TestPosition(0, 1);
    const tessel::Vec3 n1 = TestNormal(0, 1);
    const struct {
        float weight;
        bool moves;
    } cases[] = {{1e-7f, true}, {0.99e-7f, false}, {0.25f, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.weight);
        frame.shapeWeights[0].weight = c.weight;
        frame.shapeWeights[1].weight = 0.5f;
        frame.shapesChanged = 1;
        model->shapesChanged = 1;
        EXPECT_EQ(tessel::UpdateModelShapes(handle), 0);
        EXPECT_EQ(model->shapesChanged, 0);
        EXPECT_EQ(frame.shapesChanged, 0);
        const float* entry = model->meshes[0].shapeVertices + 6;
        const float w = c.moves ? c.weight : 0.0f;
        EXPECT_EQ(entry[0], p1.x + w * 1e6f);
        EXPECT_EQ(entry[2], p1.z + w * -2e6f);
        EXPECT_EQ(entry[4], n1.y + w * 4e5f);
        const float* second = model->meshes[0].shapeVertices + 12;
        EXPECT_EQ(second[1], TestPosition(0, 2).y + 0.5f * 0.5f) << "the other shape";
        EXPECT_EQ(second[5], TestNormal(0, 2).z + 0.5f * 0.25f);
        // The model's own buffer and source vertices follow the copies.
        void* bytes = nullptr;
        ASSERT_EQ(model->triangleLists[0].deviceBuffer->Lock(0, 0, &bytes, D3DLOCK_READONLY),
                  D3D_OK);
        float inBuffer[3];
        std::memcpy(inBuffer, static_cast<uint8_t*>(bytes) + 80, 12);  // vertex 1, stride 80
        model->triangleLists[0].deviceBuffer->Unlock();
        EXPECT_EQ(inBuffer[0], entry[0]);
        EXPECT_EQ(inBuffer[2], entry[2]);
        float source[3];
        std::memcpy(source, model->triangleLists[0].vertices + 32, 12);
        EXPECT_EQ(source[0], entry[0]);
    }
    // Without the model's flag nothing is redone.
    frame.shapeWeights[0].weight = 0.75f;
    frame.shapesChanged = 1;
    EXPECT_EQ(tessel::UpdateModelShapes(handle), 0);
    EXPECT_EQ(frame.shapesChanged, 1);
}

}  // namespace
}  // namespace tessel_test
