// Rendering models on the processor-backed device: a quad laid out by hand
// drawn at its exact pixels in its vertex colour, invisible models making no
// device call, the view test's outcodes, draw settings combined down the
// frame tree, the measured boxes and the processor's skinning.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>

#include "graphics/camera/camera.h"
#include "graphics/settings/draw_settings.h"
#include "models/anim/model_animation.h"
#include "models/drawing/model_drawing.h"
#include "models/instances/model_instances.h"
#include "platform/d3d9_testing.h"
#include "tests/graphics/targets/target_test_support.h"
#include "tests/models/model_base_builder.h"
#include "tests/models/model_test_support.h"

namespace tessel_test {
namespace {

constexpr uint32_t kQuadColour = 0xFF3A6C9E;

class ModelRenderTest : public ModelSystemTest {
  protected:
    void SetUp() override {
        ModelSystemTest::SetUp();
        ASSERT_EQ(tessel::SelectDrawTarget(tessel::kBackScreen), 0);
        tessel::EnableLighting3D(0);
    }
    void TearDown() override {
        platform::SetD3D9TraceRecording(false);
        ModelSystemTest::TearDown();
    }

    // A base description that lives until the library has ended: the stored
    // base points into it, and the library frees the base at its end.
    TestBase& NewBase() { return bases_.emplace_back(); }

    // Frames as given, each with one rigid quad list whose corners are
    // (left, top), (right, top), (left, bottom), (right, bottom) at z.
    int MakeQuadModel(TestBase* base, float left, float top, float right, float bottom,
                      float z = 0.0f) {
        for (size_t f = 0; f < base->frames.size(); ++f) {
            base->lists.push_back(TestList{static_cast<int>(f)});
        }
        if (base->Store() == -1) {
            return -1;
        }
        tessel::ModelBase* b = base->base();
        const float corners[4][3] = {
            {left, top, z}, {right, top, z}, {left, bottom, z}, {right, bottom, z}};
        for (int l = 0; l < b->triangleListCount; ++l) {
            tessel::ModelTriangleList& list = b->triangleLists[l];
            tessel::ModelMesh& mesh = *list.mesh;
            for (int i = 0; i < 4; ++i) {
                float* v = reinterpret_cast<float*>(list.vertices + 32 * i);
                std::memcpy(v, corners[i], 12);
                v[3] = 1.0f;
                v[4] = 0.0f;
                v[5] = 0.0f;
                v[6] = -1.0f;
                auto* record = reinterpret_cast<tessel::ModelMeshVertex*>(
                    mesh.vertices + static_cast<size_t>(mesh.vertexStride) * i);
                record->diffuse = kQuadColour;
            }
        }
        const int handle = tessel::NewModelHandle();
        if (tessel::CreateModelFromBase(handle, base->handle()) != 0) {
            return -1;
        }
        return handle;
    }

  private:
    std::deque<TestBase> bases_;
};

TEST_F(ModelRenderTest, AQuadIsDrawnAtItsPixelsInItsVertexColour) {
    TestBase& base = NewBase();
    const int model = MakeQuadModel(&base, 16.0f, 16.0f, 48.0f, 40.0f);
    ASSERT_NE(model, -1);
    // The target's own camera shows z = 0 pixel for pixel with y growing
    // upwards from the bottom edge: the quad covers x 16..47, y 440..463.
    tessel::Vec3 corner = {};
    tessel::UpdateViewProjectionCache();
    tessel::WorldToScreenPoint(&corner, tessel::Vec3{16.0f, 16.0f, 0.0f});
    ASSERT_NEAR(corner.y, 464.0f, 1e-3f);
    Paint(RECT{0, 0, 640, 480}, 0x102030);
    ASSERT_EQ(tessel::RenderModel(model), 0);
    const uint32_t colour = kQuadColour & 0xFFFFFF;
    EXPECT_EQ(TargetPixel(17, 441), colour);
    EXPECT_EQ(TargetPixel(46, 462), colour);
    EXPECT_EQ(TargetPixel(30, 452), colour);
    EXPECT_EQ(TargetPixel(14, 450), 0x102030u);
    EXPECT_EQ(TargetPixel(49, 450), 0x102030u);
    EXPECT_EQ(TargetPixel(30, 438), 0x102030u);
    EXPECT_EQ(TargetPixel(30, 465), 0x102030u);
    // Placed 100 to the right, it draws there.
    Paint(RECT{0, 0, 640, 480}, 0x102030);
    ASSERT_EQ(tessel::PlaceModel(model, 100.0f, 0.0f, 0.0f), 0);
    ASSERT_EQ(tessel::RenderModel(model), 0);
    EXPECT_EQ(TargetPixel(30, 452), 0x102030u);
    EXPECT_EQ(TargetPixel(130, 452), colour);
}

TEST_F(ModelRenderTest, BadHandlesAndInvisibleModels) {
    TestBase& base = NewBase();
    const int model = MakeQuadModel(&base, 16.0f, 16.0f, 48.0f, 40.0f);
    ASSERT_NE(model, -1);
    EXPECT_EQ(tessel::RenderModel(WithCheck(model, CheckOf(model) + 1)), -1);
    EXPECT_EQ(tessel::RenderModel(-1), -1);
    tessel::GetModelInstance(model)->draw.visible = 0;
    platform::ClearD3D9Trace();
    platform::SetD3D9TraceRecording(true);
    EXPECT_EQ(tessel::RenderModel(model), 0);
    platform::SetD3D9TraceRecording(false);
    EXPECT_TRUE(platform::D3D9Trace().empty()) << platform::D3D9Trace()[0].method;
    tessel::g_models.initialised = 0;
    EXPECT_EQ(tessel::RenderModel(model), -1);
    tessel::g_models.initialised = 1;
}

TEST_F(ModelRenderTest, HidingAParentHidesItsDescendants) {
    TestBase& base = NewBase();
    base.frames = {{-1}, {0}, {1}, {-1}};
    const int model = MakeQuadModel(&base, 16.0f, 16.0f, 48.0f, 40.0f);
    ASSERT_NE(model, -1);
    tessel::ModelInstance* record = tessel::GetModelInstance(model);
    ASSERT_EQ(tessel::RenderModel(model), 0);
    const int before = platform::D3D9CallCount("DrawIndexedPrimitiveUP");
    ASSERT_EQ(tessel::RenderModel(model), 0);
    EXPECT_EQ(platform::D3D9CallCount("DrawIndexedPrimitiveUP") - before, 4);
    // Hide frame 1 and mark it changed: frames 1 and 2 go, 0 and 3 stay.
    tessel::ModelInstanceFrame& hidden = record->frames[1];
    hidden.draw.visible = 0;
    *hidden.drawBitWord |= hidden.drawChange->singleMask;
    const int middle = platform::D3D9CallCount("DrawIndexedPrimitiveUP");
    ASSERT_EQ(tessel::RenderModel(model), 0);
    EXPECT_EQ(platform::D3D9CallCount("DrawIndexedPrimitiveUP") - middle, 2);
    EXPECT_EQ(record->frames[2].effective.visible, 0);
    EXPECT_EQ(record->frames[2].firstMesh->effective.visible, 0);
    EXPECT_EQ(record->frames[3].effective.visible, 1);
    EXPECT_EQ(*hidden.drawBitWord & hidden.drawChange->singleMask, 0u);
}

TEST_F(ModelRenderTest, FactorsAndOpacityMultiplyDownTheTree) {
    TestBase& base = NewBase();
    base.frames = {{-1}, {0}};
    const int model = MakeQuadModel(&base, 16.0f, 16.0f, 48.0f, 40.0f);
    ASSERT_NE(model, -1);
    tessel::ModelInstance* record = tessel::GetModelInstance(model);
    tessel::ModelInstanceFrame& parent = record->frames[0];
    tessel::ModelInstanceFrame& child = record->frames[1];
    parent.draw.hasFactors = 1;
    parent.draw.colourFactors[0] = 0.5f;
    parent.draw.opacity = 0.75f;
    child.draw.hasFactors = 1;
    child.draw.colourFactors[0] = 0.25f;
    child.draw.colourFactors[5] = 3.0f;
    child.draw.opacity = 0.5f;
    tessel::ModelInstanceMesh* mesh = child.firstMesh;
    mesh->draw.opacity = 0.5f;
    record->drawChangeBits[0] |= 1u;  // the model-wide bit
    tessel::PropagateDrawSettings(&child, nullptr);
    EXPECT_FLOAT_EQ(child.effective.colourFactors[0], 0.125f);
    EXPECT_FLOAT_EQ(child.effective.colourFactors[5], 3.0f);
    EXPECT_FLOAT_EQ(child.effective.opacity, 0.375f);
    EXPECT_EQ(child.effective.hasFactors, 1);
    EXPECT_FLOAT_EQ(mesh->effective.opacity, 0.1875f);
    EXPECT_FLOAT_EQ(mesh->effective.colourFactors[0], 0.125f);
    EXPECT_EQ(record->drawChangeBits[0], 0u);
    // Without factors of its own a child takes a copy of its parent's.
    child.draw.hasFactors = 0;
    *child.drawBitWord |= child.drawChange->singleMask;
    tessel::PropagateDrawSettings(&child, nullptr);
    EXPECT_FLOAT_EQ(child.effective.colourFactors[0], 0.5f);
    EXPECT_FLOAT_EQ(child.effective.colourFactors[5], 1.0f);
}

// The draw reads the combined settings: a parent frame's opacity fades the
// child's quad under an alpha-blending material.
TEST_F(ModelRenderTest, AParentsOpacityFadesTheDrawnMesh) {
    TestBase& base = NewBase();
    base.frames = {{-1}, {0}};
    const int model = MakeQuadModel(&base, 16.0f, 16.0f, 48.0f, 40.0f);
    ASSERT_NE(model, -1);
    for (int m = 0; m < base.base()->materialCount; ++m) {
        base.base()->materials[m].words[0] = 1;  // alpha blending
    }
    tessel::ModelInstance* record = tessel::GetModelInstance(model);
    record->frames[0].draw.opacity = 0.5f;
    record->frames[0].firstMesh->draw.visible = 0;  // only the child's quad draws
    record->drawChangeBits[0] |= 1u;
    Paint(RECT{0, 0, 640, 480}, 0x000000);
    ASSERT_EQ(tessel::RenderModel(model), 0);
    EXPECT_FLOAT_EQ(record->frames[1].firstMesh->effective.opacity, 0.5f);
    // Alpha 127 of 255 over black: each channel about half its value.
    const uint32_t pixel = TargetPixel(30, 452);
    for (int shift = 0; shift <= 16; shift += 8) {
        const int full = static_cast<int>(kQuadColour >> shift & 0xFF);
        const int got = static_cast<int>(pixel >> shift & 0xFF);
        EXPECT_NEAR(got, full * 127 / 255, 1) << "channel at bit " << shift;
    }
}

TEST_F(ModelRenderTest, BoundsAreMeasuredOncePerBase) {
    TestBase& base = NewBase();
    base.frames = {{-1}, {0}};
    base.frames[1].translation = {10.0f, 0.0f, 0.0f};
    const int model = MakeQuadModel(&base, 16.0f, 8.0f, 48.0f, 40.0f, 2.5f);
    ASSERT_NE(model, -1);
    tessel::ModelBase* b = base.base();
    // Creation measured the boxes from the vertices as they were then.
    ASSERT_EQ(b->boundsMeasured, 1);
    b->boundsMeasured = 0;
    tessel::Vec3 maximum = {};
    tessel::Vec3 minimum = {};
    ASSERT_EQ(tessel::MeasureModelBounds(model, &maximum, &minimum), 0);
    EXPECT_FLOAT_EQ(maximum.x, 58.0f);
    EXPECT_FLOAT_EQ(minimum.x, 16.0f);
    EXPECT_FLOAT_EQ(maximum.y, 40.0f);
    EXPECT_FLOAT_EQ(minimum.y, 8.0f);
    EXPECT_FLOAT_EQ(maximum.z, 2.5f);
    EXPECT_FLOAT_EQ(b->frames[1].boundsMax.x, 48.0f);  // frame coordinates
    EXPECT_FLOAT_EQ(b->frames[1].boundsMin.z, 2.5f);
    // Measured once: a changed vertex does not move the box.
    reinterpret_cast<float*>(b->triangleLists[0].vertices)[0] = -500.0f;
    ASSERT_EQ(tessel::MeasureModelBounds(model, nullptr, &minimum), 0);
    EXPECT_FLOAT_EQ(minimum.x, 16.0f);
    EXPECT_EQ(tessel::MeasureModelBounds(-1, nullptr, nullptr), -1);
}

TEST_F(ModelRenderTest, CreationMeasuresTheFirstModelOfABase) {
    TestBase& base = NewBase();
    base.frames = {{-1}, {0}};
    base.frames[1].translation = {0.0f, 5.0f, 0.0f};
    ASSERT_NE(MakeQuadModel(&base, 1.0f, 2.0f, 3.0f, 4.0f), -1);
    tessel::ModelBase* b = base.base();
    EXPECT_EQ(b->boundsMeasured, 1);
    EXPECT_FLOAT_EQ(b->boundsMax.y, 9.0f);
    EXPECT_FLOAT_EQ(b->frames[1].boundsMax.y, 4.0f);
}

TEST_F(ModelRenderTest, AFrameWhollyOutsideTheViewIsSkipped) {
    TestBase& base = NewBase();
    base.frames = {{-1}, {-1}};
    const int model = MakeQuadModel(&base, 16.0f, 16.0f, 48.0f, 40.0f);
    ASSERT_NE(model, -1);
    tessel::ModelInstance* record = tessel::GetModelInstance(model);
    ASSERT_EQ(tessel::RenderModel(model), 0);
    // Frame 1's box moved wholly left of the screen.
    record->base->frames[1].boundsMax.x = -200.0f;
    record->base->frames[1].boundsMin.x = -300.0f;
    int before = platform::D3D9CallCount("DrawIndexedPrimitiveUP");
    ASSERT_EQ(tessel::RenderModel(model), 0);
    EXPECT_EQ(platform::D3D9CallCount("DrawIndexedPrimitiveUP") - before, 1);
    // Never tested: drawn again.
    record->base->frames[1].word5 = 1;
    before = platform::D3D9CallCount("DrawIndexedPrimitiveUP");
    ASSERT_EQ(tessel::RenderModel(model), 0);
    EXPECT_EQ(platform::D3D9CallCount("DrawIndexedPrimitiveUP") - before, 2);
}

// The view test over a view-projection that is the identity (or flips W),
// so that corners are screen points already.
class FrustumTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = tessel::g_drawSettings;
        tessel::CameraSettings& c = tessel::g_drawSettings.camera;
        c.viewProjection = {};
        for (int i = 0; i < 4; ++i) {
            c.viewProjection.m[i][i] = 1.0f;
        }
        c.cacheValid = 1;
        const float area[4] = {0.0f, 0.0f, 100.0f, 80.0f};
        std::memcpy(tessel::g_drawSettings.drawAreaF, area, sizeof area);
    }
    void TearDown() override { tessel::g_drawSettings = saved_; }

    static int Test(std::initializer_list<tessel::Vec3> points) {
        tessel::Vec3 corners[8];
        int i = 0;
        for (const tessel::Vec3& p : points) {
            corners[i++] = p;
        }
        for (; i < 8; ++i) {
            corners[i] = corners[i - 1];
        }
        return tessel::TestBoxInFrustum(corners);
    }

  private:
    tessel::DrawSettings saved_;
};

TEST_F(FrustumTest, Outcodes) {
    struct Case {
        std::initializer_list<tessel::Vec3> points;
        int outside;
    };
    const tessel::Vec3 in = {50.0f, 40.0f, 0.5f};
    EXPECT_EQ(Test({{-5, 10, 0.5f}, {-1, 90, 2}, in}), 0) << "one corner inside";
    EXPECT_EQ(Test({{-5, 10, 0.5f}, {-1, 90, 2}, {-0.5f, -3, -1}}), 1) << "all left";
    EXPECT_EQ(Test({{105, 10, 0.5f}, {101, 40, 0.5f}}), 1) << "all right";
    EXPECT_EQ(Test({{50, -1, 0.5f}, {10, -20, 0.5f}}), 1) << "all above";
    EXPECT_EQ(Test({{50, 81, 0.5f}, {10, 90, 0.5f}}), 1) << "all below";
    EXPECT_EQ(Test({{50, 40, -0.5f}, {10, 30, -0.1f}}), 1) << "all in front of the near plane";
    EXPECT_EQ(Test({{50, 40, 1.5f}, {10, 30, 1.01f}}), 1) << "all past the far plane";
    // Corners outside on different sides, none inside: drawn.
    EXPECT_EQ(Test({{-10, -10, 0.5f}, {110, -10, 0.5f}, {-10, 90, 0.5f}, {110, 90, 0.5f}}), 0);
    EXPECT_EQ(Test({{-10, 40, 0.5f}, {110, 40, 0.5f}}), 0) << "straddling";
    // The edges themselves are inside.
    EXPECT_EQ(Test({{0, 0, 0}, {-1, -1, -1}}), 0);
    EXPECT_EQ(Test({{100, 80, 1}, {101, 81, 2}}), 0);
}

TEST_F(FrustumTest, PointsBehindTheCameraHaveXAndYNegated) {
    // W = -1: X / W is -50, negated back to 50, inside.
    tessel::g_drawSettings.camera.viewProjection.m[3][3] = -1.0f;
    EXPECT_EQ(Test({{50.0f, 40.0f, -0.5f}}), 0);
    // Without the negation it would lie left of the area; a point whose
    // negated x is left is outside.
    EXPECT_EQ(Test({{-50.0f, 40.0f, -0.5f}}), 1);
}

}  // namespace
}  // namespace tessel_test
