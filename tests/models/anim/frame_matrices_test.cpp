// The matrices of a model: placement by every rotation mode, world matrices
// down the frame tree, skinning, the change bits that limit the work, and
// the local matrices one or several attached animations give.
#include "models/anim/model_animation.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "models/instances/model_instances.h"
#include "tests/models/anim_fixture.h"
#include "tests/models/matrix_oracle.h"
#include "tests/models/model_base_builder.h"
#include "tests/models/model_test_support.h"

namespace tessel_test {
namespace {

constexpr double kTolerance = 2e-5;

// Frames: TurnedFrameTree.
class ModelMatricesTest : public ModelSystemTest {
  protected:
    void SetUp() override {
        ModelSystemTest::SetUp();
        base_.frames = TurnedFrameTree();
    }

    // The base stored and a model made of it; the test stops at a failure.
    tessel::ModelInstance* Make() {
        EXPECT_NE(base_.Store(), -1);
        handle_ = CreateTestModel(base_.handle());
        EXPECT_NE(handle_, -1);
        tessel::ModelInstance* model = tessel::GetModelInstance(handle_);
        if (model == nullptr) {
            throw std::runtime_error("no model");
        }
        return model;
    }

    M34 Default(int frame) const { return From(base_.base()->frames[frame].local); }

    // P of the model as placed with rotation mode 0 (Euler x, y, z).
    static M34 Placement(const tessel::ModelInstance* r) {
        const float* v = r->rotation;
        return Translation(r->position.x, r->position.y, r->position.z) *
               Scaling(r->scale.x, r->scale.y, r->scale.z) *
               Euler(0, tessel::Vec3{v[0], v[1], v[2]}, false);
    }

    TestBase base_;
    int handle_ = -1;
};

TEST_F(ModelMatricesTest, WithoutAnimationEachWorldIsItsParentsTimesItsDefault) {
    tessel::ModelInstance* model = Make();
    model->scale = tessel::Vec3{2.0f, 0.5f, 1.5f};
    model->rotation[0] = 0.1f;
    model->rotation[1] = 0.2f;
    model->rotation[2] = -0.3f;
    EXPECT_EQ(tessel::PlaceModel(handle_, 10.5f, -3.25f, 7.75f), 0);
    tessel::UpdateModelMatrices(model);

    const M34 p = Placement(model);
    ExpectMatrixNear(model->placement, p, kTolerance, "placement");
    const M34 w0 = p * Default(0);
    const M34 w1 = w0 * Default(1);
    const M34 w2 = w1 * Default(2);
    ExpectMatrixNear(model->frames[0].world, w0, kTolerance, "frame 0");
    ExpectMatrixNear(model->frames[1].world, w1, kTolerance, "frame 1");
    ExpectMatrixNear(model->frames[2].world, w2, kTolerance, "frame 2");
    ExpectMatrixNear(model->frames[3].world, p * Default(3), kTolerance, "frame 3");
    EXPECT_EQ(model->matricesValid, 1);
    for (int w = 0; w < model->changeBytes / 4; ++w) {
        EXPECT_EQ(model->changeBits[w], 0u);
    }
}

TEST_F(ModelMatricesTest, SkinningMatricesAreTheWorldTimesTheBindMatrix) {
    const tessel::Mat3x4 bind = {
        {{0.0f, -1.0f, 0.0f, 0.375f}, {1.0f, 0.0f, 0.0f, -1.625f}, {0.0f, 0.0f, 2.0f, 0.8125f}}};
    base_.skinBones = {{1, 1, bind, 0}, {1, 1, bind, 1}, {2, 2, bind, 0}};
    tessel::ModelInstance* model = Make();
    tessel::PlaceModel(handle_, -4.5f, 0.25f, 3.0f);
    tessel::UpdateModelMatrices(model);
    const M34 w1 = From(model->frames[1].world);
    const M34 w2 = From(model->frames[2].world);
    M34 moveOnly = Translation(bind.m[0][3], bind.m[1][3], bind.m[2][3]);
    ExpectMatrixNear(model->boneMatrices[0], w1 * From(bind), kTolerance, "full bind");
    ExpectMatrixNear(model->boneMatrices[1], w1 * moveOnly, kTolerance, "translation only");
    ExpectMatrixNear(model->boneMatrices[2], w2 * From(bind), kTolerance, "frame 2's bone");
}

// A mesh's frame refers to the bones that move it; each bone's matrix comes
// from the world of the frame the bone names, however the frames nest.
TEST_F(ModelMatricesTest, ASkinningMatrixFollowsItsBoneFrameNotTheMeshFrame) {
    const tessel::Mat3x4 bind = {
        {{1.0f, 0.0f, 0.0f, -0.5f}, {0.0f, 1.0f, 0.0f, 1.25f}, {0.0f, 0.0f, 1.0f, 0.0f}}};
    base_.skinBones = {{0, 2, bind, 1}, {3, 1, bind, 0}};
    tessel::ModelInstance* model = Make();
    tessel::UpdateModelMatrices(model);
    const M34 moveOnly = Translation(bind.m[0][3], bind.m[1][3], bind.m[2][3]);
    ExpectMatrixNear(model->boneMatrices[0], From(model->frames[2].world) * moveOnly, kTolerance,
                     "frame 2's bone, referred to by frame 0");
    ExpectMatrixNear(model->boneMatrices[1], From(model->frames[1].world) * From(bind), kTolerance,
                     "frame 1's bone, referred to by frame 3");
}

TEST_F(ModelMatricesTest, EveryRotationModeOfThePlacement) {
    tessel::ModelInstance* model = Make();
    const double q[4] = {0.18257418583505536, -0.36514837167011072, 0.54772255750516607,
                         0.73029674334022143};
    const struct {
        const char* what;
        int mode;
        std::vector<float> values;
        M34 rotation;
    } cases[] = {
        // The quaternion in the row-vector sense: the transpose of R(q).
        {"quaternion",
         tessel::kModelRotationQuaternion,
         {float(q[0]), float(q[1]), float(q[2]), float(q[3])},
         Transposed3(QuaternionRotation(q))},
        // Rows of a Mat4 turning x to y: the column form is its transpose.
        {"matrix rows",
         tessel::kModelRotationMatrix,
         {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0},
         M34{{{0, -1, 0, 0}, {1, 0, 0, 0}, {0, 0, 1, 0}}}},
        // Forward z, up y: the axes are the identity; the twist turns about z.
        {"axes and twist",
         tessel::kModelRotationAxes,
         {0, 0, 1, 0, 1, 0, 0.625f},
         RotationAbout(2, 0.625)},
        // Forward x, up z: x axis = up x forward = y.
        {"turned axes",
         tessel::kModelRotationAxes,
         {1, 0, 0, 0, 0, 1, 0},
         M34{{{0, 0, 1, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}}}},
        {"a mode the model cannot have", 7, {0.5f, 0.5f, 0.5f}, Identity34()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::fill(std::begin(model->rotation), std::end(model->rotation),
                  std::numeric_limits<float>::quiet_NaN());
        std::copy(c.values.begin(), c.values.end(), model->rotation);
        model->rotationMode = c.mode;
        model->scale = tessel::Vec3{1.5f, 0.75f, 2.0f};
        tessel::PlaceModel(handle_, model->position.x + 1.0f, 2.5f, -0.5f);
        tessel::UpdateModelMatrices(model);
        const M34 want =
            Translation(model->position.x, 2.5, -0.5) * Scaling(1.5, 0.75, 2.0) * c.rotation;
        ExpectMatrixNear(model->placement, want, kTolerance);
    }
}

TEST_F(ModelMatricesTest, AUserMatrixReplacesThePlacement) {
    tessel::ModelInstance* model = Make();
    model->userMatrixOn = 1;
    model->userMatrix = {
        {{0.5f, 0.0f, 0.0f, 3.25f}, {0.0f, 0.0f, -1.0f, 1.5f}, {0.0f, 1.0f, 0.0f, -2.75f}}};
    tessel::PlaceModel(handle_, 100.0f, 100.0f, 100.0f);
    tessel::UpdateModelMatrices(model);
    EXPECT_EQ(std::memcmp(&model->placement, &model->userMatrix, sizeof(tessel::Mat3x4)), 0);
    ExpectMatrixNear(model->frames[0].world, From(model->userMatrix) * Default(0), kTolerance);
}

TEST_F(ModelMatricesTest, AUserLocalMatrixReplacesTheFramesOwn) {
    tessel::ModelInstance* model = Make();
    tessel::UpdateModelMatrices(model);
    model->frames[1].userLocalOn = 1;
    model->frames[1].userLocal = {
        {{1.0f, 0.0f, 0.0f, 0.3125f}, {0.0f, 2.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f, -7.5f}}};
    tessel::MarkFrameChanged(model->frames[1].change, model->frames[1].changeBitWord);
    model->matricesValid = 0;
    tessel::UpdateModelMatrices(model);
    const M34 w1 = From(model->frames[0].world) * From(model->frames[1].userLocal);
    ExpectMatrixNear(model->frames[1].world, w1, kTolerance);
    ExpectMatrixNear(model->frames[2].world, w1 * Default(2), kTolerance, "its child");
}

TEST_F(ModelMatricesTest, ThePlacementAtItsOwnPositionKeepsTheMatricesValid) {
    tessel::ModelInstance* model = Make();
    tessel::PlaceModel(handle_, 1.25f, -2.5f, 3.75f);
    tessel::UpdateModelMatrices(model);
    ASSERT_EQ(model->matricesValid, 1);
    EXPECT_EQ(tessel::PlaceModel(handle_, 1.25f, -2.5f, 3.75f), 0);
    EXPECT_EQ(model->matricesValid, 1);
    EXPECT_EQ(model->changeBits[0], 0u);

    // A new position recomputes every frame.
    for (int f = 0; f < 4; ++f) {
        model->frames[f].world.m[0][0] = 99.0f;
    }
    EXPECT_EQ(tessel::PlaceModel(handle_, 1.25f, -2.5f, 3.875f), 0);
    EXPECT_EQ(model->matricesValid, 0);
    EXPECT_EQ(model->changeBits[0], 0xFFFFFFFFu);
    tessel::UpdateModelMatrices(model);
    ExpectMatrixNear(model->frames[2].world,
                     Placement(model) * Default(0) * Default(1) * Default(2), kTolerance);
    ExpectMatrixNear(model->frames[3].world, Placement(model) * Default(3), kTolerance);
}

TEST_F(ModelMatricesTest, APlacementAlreadyPendingSetsNoFurtherBits) {
    tessel::ModelInstance* model = Make();
    tessel::UpdateModelMatrices(model);
    model->changeBits[0] = 1u;
    tessel::PlaceModel(handle_, 5.5f, 0.0f, 0.0f);
    EXPECT_EQ(model->changeBits[0], 1u);
}

TEST_F(ModelMatricesTest, OnlyChangedFramesAndTheirSubtreesAreComputed) {
    tessel::ModelInstance* model = Make();
    tessel::UpdateModelMatrices(model);
    for (int f = 0; f < 4; ++f) {
        model->frames[f].world.m[2][3] = 1234.5f;
    }
    tessel::MarkFrameChanged(model->frames[1].change, model->frames[1].changeBitWord);
    // Frame 1's bit and its child's: bits 2 and 3.
    EXPECT_EQ(model->changeBits[0], 0xCu);
    model->matricesValid = 0;
    tessel::UpdateModelMatrices(model);
    EXPECT_EQ(model->frames[0].world.m[2][3], 1234.5f);
    EXPECT_EQ(model->frames[3].world.m[2][3], 1234.5f);
    EXPECT_NE(model->frames[1].world.m[2][3], 1234.5f);
    EXPECT_NE(model->frames[2].world.m[2][3], 1234.5f);
}

TEST(MarkFrameChanged, ASetBitStopsAndARunMarksTheSubtreeAcrossWords) {
    uint32_t masks[2] = {};
    tessel::FrameChangeDescriptor d;
    tessel::InitFrameChangeDescriptor(&d, masks, 30, 5);  // bits 30 to 34
    uint32_t bits[3] = {0, 0, 0};
    tessel::MarkFrameChanged(&d, &bits[d.wordIndex]);
    EXPECT_EQ(bits[0], 0xC0000000u);
    EXPECT_EQ(bits[1], 0x7u);
    bits[0] = 0x40000000u;
    bits[1] = 0;
    tessel::MarkFrameChanged(&d, &bits[0]);
    EXPECT_EQ(bits[1], 0u) << "the frame was marked already";
    tessel::FrameChangeDescriptor single;
    tessel::InitFrameChangeDescriptor(&single, nullptr, 37, 4);
    tessel::MarkFrameChanged(&single, &bits[single.wordIndex]);
    EXPECT_EQ(bits[1], 0x20u);
}

TEST(ComposeLocalMatrix, ComponentsAndAnOrderNoReaderGives) {
    tessel::FillSineTable();  // the model system's start fills it otherwise
    const tessel::Vec3 t{1.5f, -0.25f, 4.0f};
    const tessel::Vec3 s{2.0f, 0.5f, 3.0f};
    const tessel::Vec3 e{0.3f, -0.6f, 0.9f};
    const float q[4] = {0.0f, 0.6f, 0.0f, 0.8f};
    const double qd[4] = {0.0, 0.6, 0.0, 0.8};
    const struct {
        const char* what;
        uint32_t flags;
        int order;
        M34 want;
    } cases[] = {
        {"nothing", 0, 0, Identity34()},
        {"translation", tessel::kAnimTranslation, 0, Translation(1.5, -0.25, 4)},
        {"euler ZXY, scaled", tessel::kAnimEuler | tessel::kAnimScale | tessel::kAnimTranslation, 4,
         Translation(1.5, -0.25, 4) * Euler(4, e) * Scaling(2, 0.5, 3)},
        {"euler before quaternion", tessel::kAnimEuler | tessel::kAnimQuaternionColumns, 1,
         Euler(1, e)},
        {"column quaternion", tessel::kAnimQuaternionColumns, 0, QuaternionRotation(qd)},
        {"row quaternion", tessel::kAnimQuaternionRows, 0, Transposed3(QuaternionRotation(qd))},
        {"an order no reader gives", tessel::kAnimEuler | tessel::kAnimTranslation, 6,
         Translation(1.5, -0.25, 4)},
        {"a negative order", tessel::kAnimEuler, -1, Identity34()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        tessel::Mat3x4 out;
        std::fill(&out.m[0][0], &out.m[0][0] + 12, std::numeric_limits<float>::quiet_NaN());
        tessel::ComposeLocalMatrix3x4(&out, c.flags, &t, &s, c.order, &e, q);
        ExpectMatrixNear(out, c.want, 1e-6);
    }
}

}  // namespace
}  // namespace tessel_test
