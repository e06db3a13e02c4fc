// Attached animations evaluated at chosen times: key timing (between keys,
// before the first, past the last, timed tables), one animation's whole
// pose, blends of several, slerp on the short arc, the fall-back to matrix
// interpolation for large Euler steps, the matrix path's per-axis rotation,
// additive sets, shape-weight keys and the detaching of an animation.
#include <cmath>
#include <stdexcept>

#include "models/anim/model_animation.h"
#include "models/instances/model_instances.h"
#include "tests/models/anim_fixture.h"
#include "tests/models/matrix_oracle.h"
#include "tests/models/model_base_builder.h"
#include "tests/models/model_test_support.h"

namespace tessel_test {
namespace {

constexpr double kTolerance = 2e-5;

TestKeySet Keys(uint8_t kind, uint8_t target, std::vector<float> values, float step = 1.0f) {
    TestKeySet keys;
    keys.kind = kind;
    keys.target = target;
    keys.values = std::move(values);
    keys.step = step;
    return keys;
}

// Frames: TurnedFrameTree.
class FrameAnimationTest : public ModelSystemTest {
  protected:
    void SetUp() override {
        ModelSystemTest::SetUp();
        base_.frames = TurnedFrameTree();
    }

    void AddSet(std::vector<TestAnim> anims, int additive = 0, int matrixMode = 0) {
        TestAnimSet set;
        set.anims = std::move(anims);
        set.additive = additive;
        set.matrixMode = matrixMode;
        base_.animSets.push_back(std::move(set));
    }

    tessel::ModelInstance* Make() {
        EXPECT_NE(base_.Store(), -1);
        handle_ = CreateTestModel(base_.handle());
        tessel::ModelInstance* model = tessel::GetModelInstance(handle_);
        if (model == nullptr) {
            throw std::runtime_error("no model");
        }
        tessel::PlaceModel(handle_, 2.5f, -1.25f, 6.0f);
        return model;
    }

    // The state of the first animated frame of the animation in a slot.
    static tessel::ModelFrameAnimState& State(tessel::ModelInstance* model, int slot = 0) {
        return model->attachSlots[slot].anim->states[0];
    }
    M34 Default(int frame) const { return From(base_.base()->frames[frame].local); }
    static M34 Placement(const tessel::ModelInstance* model) { return From(model->placement); }

    TestBase base_;
    int handle_ = -1;
};

TEST_F(FrameAnimationTest, OneAnimationAtRateHalfGivesItsWholePose) {
    AddSet({{1, {Keys(1, 10, {1.0f, 2.0f, 3.0f, 2.5f, -1.0f, 4.25f}, 2.0f)}}});
    tessel::ModelInstance* model = Make();
    AttachAnim(model, 0, 0, 0.5f, 0.5f);
    tessel::UpdateModelMatrices(model);

    // t = 0.25 between the keys; the frame keeps its own turn about y.
    const tessel::ModelFrameAnimState& state = State(model);
    EXPECT_EQ(state.flags, tessel::kAnimTranslation | tessel::kAnimEuler);
    EXPECT_FLOAT_EQ(state.translation.x, 1.375f);
    EXPECT_FLOAT_EQ(state.translation.y, 1.25f);
    EXPECT_FLOAT_EQ(state.translation.z, 3.3125f);
    const M34 local = Translation(1.375, 1.25, 3.3125) * Euler(0, {0.0f, 0.4f, 0.0f});
    const M34 w1 = Placement(model) * Default(0) * local;
    ExpectMatrixNear(model->frames[1].world, w1, kTolerance, "the animated frame");
    ExpectMatrixNear(model->frames[2].world, w1 * Default(2), kTolerance, "its child");
    ExpectMatrixNear(model->frames[3].world, Placement(model) * Default(3), kTolerance,
                     "an unanimated root");
}

TEST_F(FrameAnimationTest, SeveralAnimationsAddTheirStepsFromTheDefaultByRate) {
    AddSet({{1, {Keys(1, 10, {1.0f, 2.0f, 3.0f, 2.5f, -1.0f, 4.25f}, 2.0f)}}});
    AddSet({{1, {Keys(1, 0, {0.1f, 0.2f, 0.3f, 0.5f, 0.6f, 0.7f})}}});
    const struct {
        float rate1;
        float rate2;
    } cases[] = {{1.0f, 1.0f}, {0.75f, 0.3125f}};
    tessel::ModelInstance* model = Make();
    AttachAnim(model, 0, 0, 1.0f, 0.5f);
    AttachAnim(model, 1, 2, 1.0f, 0.25f);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate1);
        model->attachTable[1 * model->attachSlotCapacity + 0].rate = c.rate1;
        model->attachTable[1 * model->attachSlotCapacity + 2].rate = c.rate2;
        SeekAnim(model, 0, 0.5f);
        tessel::UpdateModelMatrices(model);
        const M34 d = Default(1);
        const M34 l1 = Translation(1.375, 1.25, 3.3125) * Euler(0, {0.0f, 0.4f, 0.0f});
        const M34 l2 = Translation(0.5, 3.125, -1.0) * Euler(0, {0.2f, 0.3f, 0.4f});
        M34 sum;
        for (int r = 0; r < 3; ++r) {
            for (int k = 0; k < 4; ++k) {
                sum.m[r][k] = d.m[r][k] + (l1.m[r][k] - d.m[r][k]) * c.rate1 +
                              (l2.m[r][k] - d.m[r][k]) * c.rate2;
            }
            const double length = std::sqrt(sum.m[r][0] * sum.m[r][0] + sum.m[r][1] * sum.m[r][1] +
                                            sum.m[r][2] * sum.m[r][2]);
            for (int k = 0; k < 3; ++k) {
                sum.m[r][k] /= length;
            }
        }
        ExpectMatrixNear(model->frames[1].world, Placement(model) * Default(0) * sum, kTolerance);
    }
}

TEST_F(FrameAnimationTest, ASlerpTakesTheShortArc) {
    const double h = std::sqrt(0.75);
    const struct {
        const char* what;
        uint8_t kind;
        std::vector<float> k1;
        uint32_t flag;
        bool transposed;
    } cases[] = {
        {"dot -0.5, column sense",
         7,
         {0.0f, 0.0f, float(h), -0.5f},
         tessel::kAnimQuaternionColumns,
         false},
        {"dot 0.5, row sense", 0, {0.0f, 0.0f, float(h), 0.5f}, tessel::kAnimQuaternionRows, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestBase fresh;
        fresh.frames = base_.frames;
        base_ = fresh;
        std::vector<float> values = {0.0f, 0.0f, 0.0f, 1.0f};
        values.insert(values.end(), c.k1.begin(), c.k1.end());
        AddSet({{1, {Keys(c.kind, 0, values)}}});
        tessel::ModelInstance* model = Make();
        AttachAnim(model, 0, 0, 1.0f, 0.25f);
        tessel::UpdateModelMatrices(model);

        const double theta = std::acos(0.5);
        const double a = std::sin(0.75 * theta) / std::sin(theta);
        const double b = std::sin(0.25 * theta) / std::sin(theta);
        // Towards k1, or on the short arc towards -k1: 15 of 60 degrees about
        // z, whose sign k1 chooses.
        const double sign = c.k1[3] < 0 ? -1.0 : 1.0;
        const double q[4] = {0.0, 0.0, sign * b * h, a + 0.5 * b};
        const tessel::ModelFrameAnimState& state = State(model);
        EXPECT_EQ(state.flags, c.flag | tessel::kAnimTranslation) << "the Euler flag goes";
        for (int k = 0; k < 4; ++k) {
            EXPECT_NEAR(state.quaternion[k], q[k], 1e-6) << k;
        }
        const M34 turn = c.transposed ? Transposed3(QuaternionRotation(q)) : QuaternionRotation(q);
        ExpectMatrixNear(model->frames[1].world,
                         Placement(model) * Default(0) * Translation(0.5, 3.125, -1.0) * turn,
                         kTolerance);
        tessel::DeleteModelInstance(handle_);
    }
}

TEST_F(FrameAnimationTest, EqualQuaternionKeysGiveTheFirst) {
    AddSet({{3, {Keys(7, 0, {0.0f, 0.6f, 0.0f, 0.8f, 0.0f, 0.6f, 0.0f, 0.8f})}}});
    tessel::ModelInstance* model = Make();
    AttachAnim(model, 0, 0, 1.0f, 0.5f);
    tessel::UpdateModelMatrices(model);
    const tessel::ModelFrameAnimState& state = State(model);
    EXPECT_EQ(state.quaternion[1], 0.6f);
    EXPECT_EQ(state.quaternion[3], 0.8f);
}

TEST_F(FrameAnimationTest, AnEulerStepBeyondAQuarterTurnSwitchesToMatrices) {
    const float quarter = 1.5707964f;
    const struct {
        const char* what;
        uint8_t kind;
        uint8_t target;
        float step;
        bool matrices;
    } cases[] = {
        {"vector, a quarter turn", 1, 0, quarter, false},
        {"vector, just past it", 1, 0, std::nextafter(quarter, 2.0f), true},
        {"vector, backwards past it", 1, 0, -1.6f, true},
        {"z alone, a quarter turn", 5, 3, quarter, false},
        {"z alone, past it", 5, 3, 1.6f, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestBase fresh;
        fresh.frames = base_.frames;
        base_ = fresh;
        const tessel::Vec3 k0{0.25f, -0.5f, 0.125f};
        const tessel::Vec3 k1{0.25f, -0.5f, 0.125f + c.step};
        if (c.kind == 1) {
            AddSet({{3, {Keys(1, 0, {k0.x, k0.y, k0.z, k1.x, k1.y, k1.z})}}});
        } else {
            AddSet({{3, {Keys(5, 3, {k0.z, k1.z})}}});
        }
        tessel::ModelInstance* model = Make();
        AttachAnim(model, 0, 0, 1.0f, 0.5f);
        tessel::UpdateModelMatrices(model);
        const tessel::ModelFrameAnimState& state = State(model);
        M34 local;
        if (!c.matrices) {
            const tessel::Vec3 half{c.kind == 1 ? k0.x : 0.0f, c.kind == 1 ? k0.y : 0.0f,
                                    k0.z + c.step * 0.5f};
            EXPECT_EQ(state.flags, tessel::kAnimEuler);
            local = Euler(0, half);
        } else if (c.kind == 1) {
            EXPECT_EQ(state.flags, tessel::kAnimMatrix);
            const M34 m0 = Euler(0, k0);
            const M34 m1 = Euler(0, k1);
            for (int r = 0; r < 3; ++r) {
                for (int k = 0; k < 4; ++k) {
                    local.m[r][k] = m0.m[r][k] + (m1.m[r][k] - m0.m[r][k]) * 0.5;
                }
            }
        } else {
            // One axis keyed: its sine and cosine interpolated, not renormalised.
            EXPECT_EQ(state.flags, tessel::kAnimMatrix);
            const double s = (std::sin(TableAngle(k0.z)) + std::sin(TableAngle(k1.z))) / 2;
            const double co = (std::cos(TableAngle(k0.z)) + std::cos(TableAngle(k1.z))) / 2;
            local = M34{{{co, -s, 0, 0}, {s, co, 0, 0}, {0, 0, 1, 0}}};
        }
        ExpectMatrixNear(model->frames[3].world, Placement(model) * local, kTolerance);
        tessel::DeleteModelInstance(handle_);
    }
}

TEST_F(FrameAnimationTest, TheFallBackRedoesTheWholeAnimationFromItsFirstFrame) {
    // Frame 1 only moves and comes first; frame 3 turns past a quarter turn.
    AddSet({{1, {Keys(1, 10, {1.0f, 2.0f, 3.0f, 2.0f, 2.0f, 3.0f})}},
            {3, {Keys(1, 0, {0.0f, 0.0f, 0.0f, 0.0f, 2.0f, 0.0f})}}});
    tessel::ModelInstance* model = Make();
    AttachAnim(model, 0, 0, 1.0f, 0.5f);
    tessel::UpdateModelMatrices(model);
    const tessel::ModelAttachedAnim* anim = model->attachSlots[0].anim;
    EXPECT_EQ(anim->states[0].flags, tessel::kAnimMatrix);
    EXPECT_EQ(anim->states[1].flags, tessel::kAnimMatrix);
    EXPECT_EQ(anim->evaluated, 1);
    const M34 local = Translation(1.5, 2.0, 3.0) * Euler(0, {0.0f, 0.4f, 0.0f});
    ExpectMatrixNear(model->frames[1].world, Placement(model) * Default(0) * local, kTolerance);
}

TEST_F(FrameAnimationTest, TheMatrixPathTurnsEachAxisInTheFramesOrder) {
    // Frame 1 turns 0.4 about y (order XYZ) and z is keyed; x keeps its
    // default of 0. Scale keys scale the columns.
    base_.frames[1].rotation = {0.3f, 0.4f, 0.0f};
    base_.frames[1].order = 4;
    AddSet({{1, {Keys(5, 3, {0.2f, 0.9f}), Keys(1, 5, {2.0f, 1.0f, 0.5f, 2.0f, 3.0f, 0.5f})}}}, 0,
           1);
    tessel::ModelInstance* model = Make();
    AttachAnim(model, 0, 0, 1.0f, 0.75f);
    tessel::UpdateModelMatrices(model);
    const double s = std::sin(TableAngle(0.2f)) +
                     (std::sin(TableAngle(0.9f)) - std::sin(TableAngle(0.2f))) * 0.75;
    const double c = std::cos(TableAngle(0.2f)) +
                     (std::cos(TableAngle(0.9f)) - std::cos(TableAngle(0.2f))) * 0.75;
    const M34 rz = M34{{{c, -s, 0, 0}, {s, c, 0, 0}, {0, 0, 1, 0}}};
    // ZXY: z first, then x, then y.
    const M34 turn = RotationAbout(1, TableAngle(0.4f)) * RotationAbout(0, TableAngle(0.3f)) * rz;
    const M34 local = Translation(0.5, 3.125, -1.0) * turn * Scaling(2.0, 2.5, 0.5);
    EXPECT_EQ(State(model).flags, tessel::kAnimMatrix);
    ExpectMatrixNear(model->frames[1].world, Placement(model) * Default(0) * local, kTolerance);
}

TEST_F(FrameAnimationTest, TheMatrixPathInterpolatesQuaternionMatricesAndKeepsDefaultTurns) {
    const double h = std::sqrt(0.5);
    AddSet({{1, {Keys(1, 10, {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f})}},
            {3, {Keys(7, 0, {0.0f, 0.0f, 0.0f, 1.0f, float(h), 0.0f, 0.0f, float(h)})}}},
           0, 1);
    tessel::ModelInstance* model = Make();
    AttachAnim(model, 0, 0, 1.0f, 0.25f);
    tessel::UpdateModelMatrices(model);
    // Frame 1 has no rotation keys: its default turn; frame 3 blends the
    // identity with a quarter turn about x element by element.
    ExpectMatrixNear(
        model->frames[1].world,
        Placement(model) * Default(0) * Translation(1, 1, 1) * Euler(0, {0.0f, 0.4f, 0.0f}),
        kTolerance, "default turn");
    const double q1[4] = {h, 0, 0, h};
    const M34 m1 = QuaternionRotation(q1);
    M34 blend = Identity34();
    for (int r = 0; r < 3; ++r) {
        for (int k = 0; k < 3; ++k) {
            blend.m[r][k] += (m1.m[r][k] - blend.m[r][k]) * 0.25;
        }
    }
    ExpectMatrixNear(model->frames[3].world, Placement(model) * blend, kTolerance, "quaternions");
}

TEST_F(FrameAnimationTest, KeyTimesBeforeBetweenAndPastTheKeys) {
    TestKeySet keys = Keys(1, 10, {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 7.0f, 8.0f, 10.0f});
    keys.times = {0.0f, 0.5f, 2.0f};
    AddSet({{3, {keys}}});
    const struct {
        float time;
        tessel::Vec3 want;
    } cases[] = {
        {-3.0f, {1.0f, 2.0f, 3.0f}},  // before the first: t below 0 counts as 0
        {0.5f, {4.0f, 5.0f, 6.0f}},
        {1.25f, {5.5f, 6.5f, 8.0f}},  // halfway through the second span
        {7.5f, {7.0f, 8.0f, 10.0f}},  // past the last: it holds
    };
    tessel::ModelInstance* model = Make();
    AttachAnim(model, 0, 0, 1.0f, 0.0f);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.time);
        SeekAnim(model, 0, c.time);
        tessel::UpdateModelMatrices(model);
        EXPECT_FLOAT_EQ(State(model).translation.x, c.want.x);
        EXPECT_FLOAT_EQ(State(model).translation.y, c.want.y);
        EXPECT_FLOAT_EQ(State(model).translation.z, c.want.z);
        ExpectMatrixNear(model->frames[3].world,
                         Placement(model) * Translation(c.want.x, c.want.y, c.want.z), kTolerance);
    }
}

TEST_F(FrameAnimationTest, UniformKeysStartAtTheirStartTime) {
    TestKeySet keys = Keys(5, 12, {-1.0f, 3.0f}, 4.0f);
    keys.start = 10.0f;
    AddSet({{3, {keys}}});
    tessel::ModelInstance* model = Make();
    AttachAnim(model, 0, 0, 1.0f, 11.0f);
    tessel::UpdateModelMatrices(model);
    EXPECT_FLOAT_EQ(State(model).translation.y, 0.0f);
    EXPECT_EQ(State(model).flags, 0u) << "a zero translation sets no flag";
    SeekAnim(model, 0, 13.0f);
    tessel::UpdateModelMatrices(model);
    EXPECT_FLOAT_EQ(State(model).translation.y, 2.0f);
    EXPECT_EQ(State(model).flags, tessel::kAnimTranslation);
}

TEST_F(FrameAnimationTest, AdditiveKeysAddToTheFramesOwnTransform) {
    AddSet({{1,
             {Keys(1, 10, {0.25f, 0.5f, -1.0f, 0.25f, 0.5f, -1.0f}), Keys(5, 2, {0.125f, 0.125f}),
              Keys(5, 6, {0.5f, 0.5f})}}},
           1);
    tessel::ModelInstance* model = Make();
    AttachAnim(model, 0, 0, 1.0f, 0.0f);
    tessel::UpdateModelMatrices(model);
    const tessel::ModelFrameAnimState& state = State(model);
    EXPECT_FLOAT_EQ(state.translation.x, 0.75f);
    EXPECT_FLOAT_EQ(state.translation.y, 3.625f);
    EXPECT_FLOAT_EQ(state.translation.z, -2.0f);
    EXPECT_FLOAT_EQ(state.rotation.y, 0.525f);
    EXPECT_FLOAT_EQ(state.scale.x, 1.5f);
}

TEST_F(FrameAnimationTest, AShapeWeightChangeBelowTheStepSetsNoFlags) {
    base_.lists = {{3, 0, 4, 2, 1, false, true}};
    base_.shapes = {{3, 0, {{1, {0.5f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}}}}};
    const float w0 = 0.25f;
    const float small = std::nextafter(std::nextafter(w0, 1.0f), 1.0f);  // 6e-8 more
    const float large = std::nextafter(
        std::nextafter(std::nextafter(std::nextafter(small, 1.0f), 1.0f), 1.0f), 1.0f);
    TestKeySet keys = Keys(5, 18, {w0, small, large});
    keys.shapeIndex = 0;
    AddSet({{3, {keys}}});
    tessel::ModelInstance* model = Make();
    tessel::ModelInstanceFrame& frame = model->frames[3];
    AttachAnim(model, 0, 0, 1.0f, 0.0f);
    frame.shapesChanged = 0;
    model->shapesChanged = 0;
    tessel::UpdateModelMatrices(model);
    EXPECT_EQ(frame.shapeWeights[0].weight, w0);
    EXPECT_EQ(frame.shapesChanged, 1);
    EXPECT_EQ(model->shapesChanged, 1);
    EXPECT_EQ(State(model).cursors[0].value, w0);

    frame.shapesChanged = 0;
    model->shapesChanged = 0;
    SeekAnim(model, 0, 1.0f);
    tessel::UpdateModelMatrices(model);
    EXPECT_EQ(frame.shapeWeights[0].weight, small);
    EXPECT_EQ(frame.shapesChanged, 0);
    EXPECT_EQ(model->shapesChanged, 0);

    SeekAnim(model, 0, 2.0f);
    tessel::UpdateModelMatrices(model);
    ASSERT_GE(large - small, 1e-7f);
    EXPECT_EQ(frame.shapeWeights[0].weight, large);
    EXPECT_EQ(frame.shapesChanged, 1);
    EXPECT_EQ(model->shapesChanged, 1);
}

TEST_F(FrameAnimationTest, ValidMatricesStayEvenWhenTheTimeMoved) {
    AddSet({{3, {Keys(1, 10, {1.0f, 2.0f, 3.0f, 5.0f, 6.0f, 7.0f})}}});
    tessel::ModelInstance* model = Make();
    AttachAnim(model, 0, 0, 1.0f, 0.0f);
    tessel::UpdateModelMatrices(model);
    const tessel::Mat3x4 before = model->frames[3].world;
    SeekAnim(model, 0, 0.5f);
    model->matricesValid = 1;
    tessel::UpdateModelMatrices(model);
    EXPECT_EQ(std::memcmp(&model->frames[3].world, &before, sizeof before), 0);
    EXPECT_EQ(model->attachSlots[0].anim->evaluated, 0);
}

TEST_F(FrameAnimationTest, DetachingAnAnimationGivesTheFramesBackTheirDefaults) {
    AddSet({{1, {Keys(1, 10, {1.0f, 2.0f, 3.0f, 5.0f, 6.0f, 7.0f})}}});
    tessel::ModelInstance* model = Make();
    AttachAnim(model, 0, 1, 1.0f, 0.5f);
    tessel::UpdateModelMatrices(model);
    const uint32_t blocks = tessel::TrackedBlockCount();
    EXPECT_EQ(tessel::DetachModelAnim(handle_, 1), 0);
    EXPECT_EQ(tessel::TrackedBlockCount(), blocks - 1);
    EXPECT_EQ(model->attachedAnimCount, 0);
    EXPECT_EQ(model->attachTable[1 * model->attachSlotCapacity + 1].inUse, 0);
    EXPECT_EQ(model->matricesValid, 0);
    tessel::UpdateModelMatrices(model);
    const M34 w1 = Placement(model) * Default(0) * Default(1);
    ExpectMatrixNear(model->frames[1].world, w1, kTolerance, "the frame");
    ExpectMatrixNear(model->frames[2].world, w1 * Default(2), kTolerance, "its child");
    // A free slot detaches nothing but still asks for new matrices.
    model->matricesValid = 1;
    EXPECT_EQ(tessel::DetachModelAnim(handle_, 0), 0);
    EXPECT_EQ(model->matricesValid, 0);
    EXPECT_EQ(model->animationsEvaluated, 0);
    const struct {
        int handle;
        int slot;
    } bad[] = {
        {handle_, -1}, {handle_, kTestAttachSlots}, {WithCheck(handle_, CheckOf(handle_) + 1), 0}};
    for (const auto& b : bad) {
        EXPECT_EQ(tessel::DetachModelAnim(b.handle, b.slot), -1) << b.slot;
    }
}

TEST_F(FrameAnimationTest, AnAnimationOfAFrameTheModelLacksChangesNothing) {
    AddSet({{42, {Keys(1, 10, {1.0f, 2.0f, 3.0f})}}, {3, {Keys(1, 10, {4.0f, 5.0f, 6.0f})}}});
    tessel::ModelInstance* model = Make();
    AttachAnim(model, 0, 0, 1.0f, 0.0f);
    tessel::UpdateModelMatrices(model);
    EXPECT_EQ(model->attachSlots[0].anim->states[0].target, nullptr);
    ExpectMatrixNear(model->frames[3].world, Placement(model) * Translation(4, 5, 6), kTolerance);
}

}  // namespace
}  // namespace tessel_test
