// The read model's construction calls: depth-first frames, list entries and
// their defaults, texture probing and sharing, text sizes, the frame matrix
// and whole-file reads.
#include "models/read/read_model.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "foundation/base/text.h"
#include "foundation/memory/memory.h"
#include "tests/foundation/files/files_test_support.h"

namespace tessel_test {
namespace {

using FileBytes = std::vector<uint8_t>;

class ReadModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        before_ = tessel::TrackedBlockCount();
        tessel::ReadModelClear(&model_);
    }
    void TearDown() override {
        tessel::ReadModelRelease(&model_);
        EXPECT_EQ(tessel::TrackedBlockCount(), before_) << "the release left a block";
    }
    std::vector<tessel::ReadModelFrame*> FrameOrder() const {
        std::vector<tessel::ReadModelFrame*> order;
        for (tessel::ReadModelFrame* f = model_.firstFrame; f != nullptr; f = f->next) {
            order.push_back(f);
        }
        return order;
    }

    tessel::ReadModel model_;
    uint32_t before_ = 0;
};

TEST_F(ReadModelTest, AChildGoesBeforeTheNextRootAndFramesAreRenumbered) {
    auto* root1 = tessel::ReadModelNewFrame(&model_, "root1", nullptr);
    auto* root2 = tessel::ReadModelNewFrame(&model_, "root2", nullptr);
    auto* child = tessel::ReadModelNewFrame(&model_, "child", root1);
    using Order = std::vector<tessel::ReadModelFrame*>;
    EXPECT_EQ(FrameOrder(), (Order{root1, child, root2}));
    EXPECT_EQ(root1->index, 0);
    EXPECT_EQ(child->index, 1);
    EXPECT_EQ(root2->index, 2);
    EXPECT_EQ(model_.frameCount, 3);
    EXPECT_EQ(model_.lastFrame, root2);
    EXPECT_EQ(child->parent, root1);
    EXPECT_EQ(root1->firstChild, child);
    EXPECT_EQ(root1->lastChild, child);
    EXPECT_STREQ(child->name, "child");
}

TEST_F(ReadModelTest, ASecondChildGoesAfterTheFirstChildsLastDescendant) {
    auto* a = tessel::ReadModelNewFrame(&model_, "a", nullptr);
    auto* b = tessel::ReadModelNewFrame(&model_, "b", a);
    auto* c = tessel::ReadModelNewFrame(&model_, "c", b);
    auto* d = tessel::ReadModelNewFrame(&model_, "d", c);
    auto* e = tessel::ReadModelNewFrame(&model_, "e", a);
    auto* f = tessel::ReadModelNewFrame(&model_, "f", b);
    using Order = std::vector<tessel::ReadModelFrame*>;
    EXPECT_EQ(FrameOrder(), (Order{a, b, c, d, f, e}));
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(FrameOrder()[i]->index, i);
    }
    EXPECT_EQ(model_.lastFrame, e) << "inserted after the last frame, it became the last";
    EXPECT_EQ(b->nextSibling, e);
    EXPECT_EQ(e->prevSibling, b);
    EXPECT_EQ(b->lastChild, f);
    EXPECT_EQ(c->nextSibling, f);
    for (auto* frame = model_.lastFrame; frame != nullptr; frame = frame->prev) {
        if (frame->prev != nullptr) {
            EXPECT_EQ(frame->prev->next, frame);
        }
    }
}

TEST_F(ReadModelTest, NewEntriesCarryTheirDefaults) {
    auto* frame = tessel::ReadModelNewFrame(&model_, "f", nullptr);
    EXPECT_EQ(frame->flag, 1);
    EXPECT_EQ(frame->transform.m[0][0], 1.0f);
    EXPECT_EQ(frame->transform.m[3][0], 0.0f);
    EXPECT_EQ(frame->scale.z, 1.0f);
    EXPECT_EQ(frame->preRotation[3], 1.0f);
    EXPECT_EQ(frame->smoothingAngle, 1.5207964f);
    auto* material = tessel::ReadModelNewMaterial(&model_, "m");
    EXPECT_EQ(material->diffuse[3], 1.0f);
    EXPECT_EQ(material->ambient[0], 0.0f);
    EXPECT_EQ(material->toonTextureIndex, -1);
    EXPECT_EQ(material->sphereTextureIndex, -1);
    EXPECT_EQ(material->words[0], 2);
    EXPECT_EQ(material->words[1], 1);
    EXPECT_EQ(material->words[3], 0);
    EXPECT_EQ(material->tailWords[0], 1);
    EXPECT_EQ(material->tailWords[1], 255);
    auto* set = tessel::ReadModelNewAnimSet(&model_, "set");
    auto* anim = tessel::ReadModelNewAnim(&model_, set);
    auto* keys1 = tessel::ReadModelNewKeySet(&model_, anim);
    auto* keys2 = tessel::ReadModelNewKeySet(&model_, anim);
    EXPECT_EQ(keys1->hasTimeTable, 1);
    EXPECT_EQ(anim->animSet, set);
    EXPECT_EQ(set->firstAnim, anim);
    EXPECT_EQ(anim->keySetCount, 2);
    EXPECT_EQ(keys1->nextInAnim, keys2);
    EXPECT_EQ(keys2->index, 1);
    EXPECT_EQ(model_.keySetCount, 2);
    EXPECT_NE(tessel::ReadModelNewSkinWeight(&model_), nullptr);
    EXPECT_EQ(model_.skinWeightCount, 1);
    const int kinds[][2] = {{0, 16}, {1, 12}, {2, 48}, {3, 36}, {4, 4}, {6, 4}, {7, 16}};
    for (const auto& k : kinds) {
        EXPECT_EQ(tessel::ReadModelKeyValueBytes(k[0]), k[1]) << k[0];
    }
}

TEST_F(ReadModelTest, MeshesAndShapesJoinTheModelAndTheirFrame) {
    auto* frame = tessel::ReadModelNewFrame(&model_, "f", nullptr);
    auto* m0 = tessel::ReadModelNewMesh(&model_, frame);
    auto* m1 = tessel::ReadModelNewMesh(&model_, nullptr);
    auto* m2 = tessel::ReadModelNewMesh(&model_, frame);
    EXPECT_EQ(m2->index, 2);
    EXPECT_EQ(m1->frame, nullptr);
    EXPECT_EQ(frame->meshCount, 2);
    EXPECT_EQ(m0->nextInFrame, m2);
    auto* shape = tessel::ReadModelNewShape(&model_, "smile", frame);
    EXPECT_EQ(frame->firstShape, shape);
    EXPECT_EQ(model_.shapeCount, 1);
    EXPECT_STREQ(shape->name, "smile");
    tessel::ReadModelRemoveMesh(&model_, frame, m0);
    EXPECT_EQ(model_.meshCount, 2);
    EXPECT_EQ(frame->meshCount, 1);
    EXPECT_EQ(model_.firstMesh, m1);
    EXPECT_EQ(frame->firstMesh, m2);
    EXPECT_EQ(frame->lastMesh, m2);
    EXPECT_EQ(m2->index, 2) << "indices are not renumbered";
}

TEST_F(ReadModelTest, TheNthMaterialIsLookedUpWithinTheList) {
    auto* a = tessel::ReadModelNewMaterial(&model_, "a");
    auto* b = tessel::ReadModelNewMaterial(&model_, "b");
    const struct {
        int n;
        tessel::ReadModelMaterial* expected;
    } cases[] = {{-3, a}, {0, a}, {1, b}, {2, nullptr}, {1000, nullptr}};
    for (const auto& c : cases) {
        EXPECT_EQ(tessel::ReadModelNthMaterial(&model_, c.n), c.expected) << c.n;
    }
    tessel::ReadModel empty;
    tessel::ReadModelClear(&empty);
    EXPECT_EQ(tessel::ReadModelNthMaterial(&empty, 0), nullptr);
}

TEST_F(ReadModelTest, CopiedTextsCountTheirLengthPlusOneInWholeWords) {
    EXPECT_STREQ(tessel::ReadModelCopyString(&model_, "ab"), "ab");
    EXPECT_EQ(model_.stringBytes, 4);
    EXPECT_STREQ(tessel::ReadModelCopyString(&model_, "abcd"), "abcd");
    EXPECT_EQ(model_.stringBytes, 12);
    tessel::ReadModelCopyString(&model_, "");
    EXPECT_EQ(model_.stringBytes, 16);
}

TEST_F(ReadModelTest, ReleaseFreesTheChainAndTheTrackedTexts) {
    model_.filePath = static_cast<char*>(tessel::AllocTracked(8, "", 0));
    model_.baseName = static_cast<char*>(tessel::AllocTracked(8, "", 0));
    tessel::ReadModelNewFrame(&model_, "f", nullptr);
    tessel::ReadModelNewTexture(&model_, "t", "c.png", nullptr, 0, 0.0f, 1, 0);
    tessel::ReadModelRelease(&model_);
    EXPECT_EQ(model_.blocks, nullptr);
    EXPECT_EQ(model_.filePath, nullptr);
    EXPECT_EQ(model_.baseName, nullptr);
    EXPECT_EQ(tessel::TrackedBlockCount(), before_);
}

TEST_F(ReadModelTest, WithoutMemoryEntriesAreNullAndNothingIsLinked) {
    tessel::ReadModelNewFrame(&model_, "kept", nullptr);
    tessel::SetTrackedHeapFailing(true);
    EXPECT_EQ(tessel::ReadModelNewFrame(&model_, "lost", nullptr), nullptr);
    EXPECT_EQ(tessel::ReadModelNewMaterial(&model_, "lost"), nullptr);
    EXPECT_EQ(tessel::ReadModelCopyString(&model_, "lost"), nullptr);
    tessel::SetTrackedHeapFailing(false);
    EXPECT_EQ(model_.frameCount, 1);
    EXPECT_EQ(model_.materialCount, 0);
    EXPECT_EQ(model_.stringBytes, 8);
}

// ------------------------------------------------------------- textures

class ReadModelTextureTest : public ReadModelTest {
  protected:
    void SetUp() override {
        ReadModelTest::SetUp();
        WriteWholeFile(dir_.Linux("here.png"), FileBytes{1, 2, 3});
        mkdir(dir_.Linux("img").c_str(), 0755);
        WriteWholeFile(dir_.Linux("img/there.png"), FileBytes{4, 5, 6});
    }
    ScratchDirectory dir_;
};

TEST_F(ReadModelTextureTest, TheSameFilesShareATextureWhenReuseIsAsked) {
    auto* t1 = tessel::ReadModelNewTexture(&model_, "t1", "here.png", nullptr, 3, 0.5f, 1, 7);
    ASSERT_NE(t1, nullptr);
    EXPECT_EQ(t1->addressU, 1);
    EXPECT_EQ(t1->addressV, 1);
    EXPECT_EQ(t1->filterMode, 2);
    EXPECT_EQ(t1->conversionFlags, 3);
    EXPECT_EQ(t1->conversionValue, 0.5f);
    EXPECT_EQ(t1->reverseFlag, 1);
    EXPECT_EQ(t1->alphaFile, nullptr);
    const struct {
        const char* what;
        const char* colour;
        const char* alpha;
        int reuse;
        bool shared;
    } cases[] = {
        {"equal colour file", "here.png", nullptr, 1, true},
        {"reuse not asked", "here.png", nullptr, 0, false},
        {"a different alpha file", "here.png", "img/there.png", 1, false},
        {"no colour file", nullptr, nullptr, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto* t =
            tessel::ReadModelNewTexture(&model_, "t2", c.colour, c.alpha, 9, 2.0f, c.reuse, 0);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t == t1, c.shared);
    }
    EXPECT_STREQ(t1->name, "t1") << "a shared texture keeps its name";
    EXPECT_EQ(model_.textureCount, 4);
    EXPECT_EQ(model_.lastTexture->index, 3);
    auto* again =
        tessel::ReadModelNewTexture(&model_, "t3", "here.png", "img/there.png", 0, 0.0f, 1, 0);
    EXPECT_EQ(again->index, 2) << "the first entry with both files";
}

TEST_F(ReadModelTextureTest, AFileFoundOnlyUnderItsBareNameIsStoredAsTheBareName) {
    const struct {
        const char* given;
        std::string stored;
    } cases[] = {
        {"textures/sub/here.png", "here.png"},
        {"img/there.png", "img/there.png"},
        {"gone/missing.png", "gone/missing.png"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        auto* t = tessel::ReadModelNewTexture(&model_, "t", c.given, nullptr, 0, 0.0f, 0, 0);
        ASSERT_NE(t, nullptr);
        std::string stored = t->colourFile;
        std::replace(stored.begin(), stored.end(), '\\', '/');
        EXPECT_EQ(stored, c.stored);
    }
}

TEST_F(ReadModelTextureTest, AWholeFileIsReadUnderItsPathOrItsBareName) {
    const struct {
        const char16_t* path;
        int result;
        FileBytes bytes;
    } cases[] = {
        {u"img/there.png", 0, {4, 5, 6}},
        {u"elsewhere\\here.png", 0, {1, 2, 3}},
        {u"img/missing.png", -1, {}},
    };
    for (const auto& c : cases) {
        void* image = nullptr;
        int size = -5;
        ASSERT_EQ(tessel::ReadModelFileWhole(reinterpret_cast<const WCHAR*>(c.path), &image, &size),
                  c.result);
        if (c.result == 0) {
            ASSERT_EQ(size, static_cast<int>(c.bytes.size()));
            EXPECT_EQ(FileBytes(static_cast<uint8_t*>(image), static_cast<uint8_t*>(image) + size),
                      c.bytes);
            tessel::FreeTracked(image);
        } else {
            EXPECT_EQ(image, nullptr);
        }
    }
}

// ------------------------------------------------------------ frame matrix

// The point moved by scale, then each axis turn of the order, then the
// pre-rotation, then the translation, one matrix at a time.
tessel::Vec3 StepByStep(tessel::Vec3 p, const tessel::Vec3& r, const tessel::Vec3& s,
                        const tessel::Vec3& t, const char* axes) {
    p = {p.x * s.x, p.y * s.y, p.z * s.z};
    for (const char* a = axes; *a != 0; ++a) {
        tessel::Mat4 turn;
        if (*a == 'X') {
            tessel::MatRotX(&turn, r.x);
        } else if (*a == 'Y') {
            tessel::MatRotY(&turn, r.y);
        } else {
            tessel::MatRotZ(&turn, r.z);
        }
        tessel::Vec3TransformAffine(&p, &p, &turn);
    }
    return {p.x + t.x, p.y + t.y, p.z + t.z};
}

TEST(ComposeFrameMatrixTest, ScaleThenTheOrdersAxesThenTranslation) {
    const char* orders[] = {"XYZ", "XZY", "YZX", "YXZ", "ZXY", "ZYX"};
    const tessel::Vec3 r{0.4f, -1.2f, 2.5f};
    const tessel::Vec3 s{1.5f, 0.5f, 2.0f};
    const tessel::Vec3 t{3.0f, -4.0f, 5.0f};
    const tessel::Vec3 p{0.7f, -0.3f, 1.1f};
    for (int order = 0; order < 6; ++order) {
        SCOPED_TRACE(orders[order]);
        tessel::Mat4 m;
        ASSERT_EQ(tessel::ComposeFrameMatrix(&r, &s, &t, nullptr, &m, order), 0);
        tessel::Vec3 got;
        tessel::Vec3TransformAffine(&got, &p, &m);
        tessel::Vec3 expected = StepByStep(p, r, s, t, orders[order]);
        EXPECT_NEAR(got.x, expected.x, 1e-5);
        EXPECT_NEAR(got.y, expected.y, 1e-5);
        EXPECT_NEAR(got.z, expected.z, 1e-5);
    }
}

TEST(ComposeFrameMatrixTest, APreRotationTurnsAfterTheOrdersAxes) {
    const tessel::Vec3 r{0.0f, 0.0f, 0.0f};
    const tessel::Vec3 s{1.0f, 1.0f, 1.0f};
    const tessel::Vec3 t{0.0f, 0.0f, 0.0f};
    const float pre[4] = {0.3f, 0.2f, -0.1f, 1.0f};
    tessel::Mat4 m;
    ASSERT_EQ(tessel::ComposeFrameMatrix(&r, &s, &t, pre, &m, 0), 0);
    tessel::Mat4 expected;
    tessel::MatFromEulerXYZ(&expected, 0.3f, 0.2f, -0.1f);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            EXPECT_NEAR(m.m[i][j], expected.m[i][j], 1e-6);
        }
    }
}

TEST(ComposeFrameMatrixTest, AnOrderAbove5FailsWithTheScaleMatrix) {
    const tessel::Vec3 r{1.0f, 1.0f, 1.0f};
    const tessel::Vec3 s{2.0f, 3.0f, 4.0f};
    const tessel::Vec3 t{5.0f, 6.0f, 7.0f};
    tessel::Mat4 m;
    EXPECT_EQ(tessel::ComposeFrameMatrix(&r, &s, &t, nullptr, &m, 6), -1);
    tessel::Mat4 scale;
    tessel::MatScale(&scale, 2.0f, 3.0f, 4.0f);
    EXPECT_EQ(std::memcmp(&m, &scale, sizeof m), 0);
}

}  // namespace
}  // namespace tessel_test
