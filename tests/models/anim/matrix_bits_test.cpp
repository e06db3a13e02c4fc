// The exact bits of a model's matrices over a varied animation: the other
// animation tests compare against double-precision oracles within a
// tolerance, so a faster route through the same arithmetic could drift by a
// rounding there unseen. Here every world and skinning matrix of a skeleton,
// at many times, is hashed and compared with the hash the arithmetic has
// always given. A change of the hash means the results changed; if that was
// meant, the new value goes here with the reason.
#include <cstring>

#include "models/anim/model_animation.h"
#include "models/instances/model_instances.h"
#include "tests/models/anim_fixture.h"
#include "tests/models/model_base_builder.h"
#include "tests/models/model_test_support.h"

namespace tessel_test {
namespace {

constexpr int kChains = 3;
constexpr int kChainLength = 5;
constexpr int kKeys = 9;

// Values with no round pattern, from a small generator, so that every
// multiplication rounds.
class Values {
  public:
    float Next(float low, float high) {
        state_ = state_ * 1664525u + 1013904223u;
        const float unit = static_cast<float>(state_ >> 8) / 16777216.0f;
        return low + (high - low) * unit;
    }

  private:
    uint32_t state_ = 12345u;
};

// Unit quaternions, the signs of consecutive keys mixed so that both arcs of
// the slerp are taken, some pairs nearly equal, some a large turn apart.
TestKeySet QuaternionKeys(uint8_t kind, Values& v) {
    TestKeySet keys;
    keys.kind = kind;
    keys.target = 0;
    for (int k = 0; k < kKeys; ++k) {
        float q[4] = {v.Next(-1, 1), v.Next(-1, 1), v.Next(-1, 1), v.Next(-1, 1)};
        if (k % 3 == 2) {
            // Nearly the previous key: a small angle.
            for (int c = 0; c < 4; ++c) {
                q[c] = keys.values[keys.values.size() - 4 + c] + v.Next(-0.01f, 0.01f);
            }
        }
        const float length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
        for (float& c : q) {
            keys.values.push_back(c / length);
        }
    }
    return keys;
}

TestKeySet VectorKeys(uint8_t target, float low, float high, Values& v) {
    TestKeySet keys;
    keys.kind = 1;
    keys.target = target;
    for (int k = 0; k < kKeys * 3; ++k) {
        keys.values.push_back(v.Next(low, high));
    }
    return keys;
}

TestKeySet AxisKeys(uint8_t target, float low, float high, Values& v) {
    TestKeySet keys;
    keys.kind = 5;
    keys.target = target;
    for (int k = 0; k < kKeys; ++k) {
        keys.values.push_back(v.Next(low, high));
    }
    return keys;
}

// A timed table with uneven gaps.
void TimeUnevenly(TestKeySet& keys) {
    float time = 0.0f;
    for (int k = 0; k < kKeys; ++k) {
        keys.times.push_back(time);
        time += k % 2 == 0 ? 0.625f : 1.375f;
    }
}

uint64_t HashBits(uint64_t hash, const tessel::Mat3x4& m) {
    for (const auto& row : m.m) {
        for (float value : row) {
            uint32_t bits = 0;
            std::memcpy(&bits, &value, sizeof bits);
            for (int b = 0; b < 4; ++b) {
                hash = (hash ^ ((bits >> (8 * b)) & 0xFFu)) * 1099511628211ull;
            }
        }
    }
    return hash;
}

class MatrixBitsTest : public ModelSystemTest {};

// Three animations blended on a skeleton of three chains: slerps of both
// quaternion senses (timed and uniform keys), translations, scales, Euler
// vectors and single axes on the component path, and a set that falls back
// to the matrix path with its per-axis rotations.
TEST_F(MatrixBitsTest, AVariedBlendGivesTheSameBitsAsAlways) {
    Values v;
    TestBase base;
    base.frames = {
        TestFrame{-1, {0.5f, -1.25f, 2.0f}, {1.0f, 1.0f, 1.0f}, {0.1f, 0.2f, 0.3f}, 0, 1}};
    for (int chain = 0; chain < kChains; ++chain) {
        for (int j = 0; j < kChainLength; ++j) {
            TestFrame frame;
            frame.parent = j == 0 ? 0 : static_cast<int>(base.frames.size()) - 1;
            frame.translation = {v.Next(-1, 1), v.Next(0.5f, 2), v.Next(-1, 1)};
            frame.rotation = {v.Next(-0.5f, 0.5f), v.Next(-0.5f, 0.5f), v.Next(-0.5f, 0.5f)};
            frame.scale = j == 2 ? tessel::Vec3{1.25f, 0.75f, 1.0f} : tessel::Vec3{1, 1, 1};
            frame.order = (chain * kChainLength + j) % 6;
            base.frames.push_back(frame);
        }
    }
    const int frames = static_cast<int>(base.frames.size());
    for (int f = 0; f < frames; ++f) {
        tessel::Mat3x4 bind = {{{1, 0, 0, v.Next(-1, 1)}, {0, 1, 0, v.Next(-3, 0)}, {0, 0, 1, 0}}};
        base.skinBones.push_back({f, f, bind, f % 4 == 3 ? 1 : 0});
    }
    TestAnimSet slerps;
    TestAnimSet eulers;
    TestAnimSet fallBack;
    for (int f = 1; f < frames; ++f) {
        TestKeySet rows = QuaternionKeys(0, v);
        if (f % 2 == 0) {
            TimeUnevenly(rows);
        }
        slerps.anims.push_back({f, {rows, VectorKeys(10, -0.5f, 0.5f, v)}});
        if (f % 3 == 0) {
            eulers.anims.push_back({f,
                                    {VectorKeys(0, -0.6f, 0.6f, v), AxisKeys(7, 0.8f, 1.2f, v),
                                     AxisKeys(12, -0.25f, 0.25f, v)}});
        } else {
            eulers.anims.push_back({f,
                                    {QuaternionKeys(7, v), AxisKeys(2, -0.7f, 0.7f, v),
                                     VectorKeys(5, 0.9f, 1.1f, v)}});
        }
        if (f % 4 == 1) {
            fallBack.anims.push_back({f,
                                      {AxisKeys(1, -3.0f, 3.0f, v), AxisKeys(3, -0.4f, 0.4f, v),
                                       VectorKeys(10, -0.2f, 0.2f, v)}});
        }
    }
    base.animSets = {slerps, eulers, fallBack};
    ASSERT_NE(base.Store(), -1);
    const int handle = CreateTestModel(base.handle());
    tessel::ModelInstance* model = tessel::GetModelInstance(handle);
    ASSERT_NE(model, nullptr);
    tessel::PlaceModel(handle, 2.5f, -1.25f, 6.0f);
    AttachAnim(model, 0, 0, 0.75f, 0.0f);
    AttachAnim(model, 1, 1, 0.3125f, 0.0f);
    AttachAnim(model, 2, 2, 0.5f, 0.0f);

    ASSERT_EQ(model->base->skinBoneCount, frames);
    uint64_t hash = 14695981039346656037ull;
    for (float time = 0.0f; time < kKeys + 0.5f; time += 0.2875f) {
        for (int slot = 0; slot < 3; ++slot) {
            SeekAnim(model, slot, time);
        }
        tessel::UpdateModelMatrices(model);
        for (int f = 0; f < frames; ++f) {
            hash = HashBits(hash, model->frames[f].world);
        }
        for (int b = 0; b < model->base->skinBoneCount; ++b) {
            hash = HashBits(hash, model->boneMatrices[b]);
        }
    }
    EXPECT_EQ(model->attachSlots[2].anim->states[0].flags, tessel::kAnimMatrix)
        << "the third set keeps to the matrix path";
    EXPECT_EQ(hash, 0x874ce64be1c23f31ull) << std::hex << "0x" << hash;
    tessel::DeleteModelInstance(handle);
}

}  // namespace
}  // namespace tessel_test
