// Bone rigs and motion files for the motion reader's tests, seeds and
// benchmark: a read model with a "Mesh" frame and bone frames beside it, the
// bone work and IK chain records the PMD reader would make for them, and a
// small writer of motion files (our own bytes).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "models/pmd/pmd_work.h"
#include "models/read/read_model.h"

namespace tessel_test {

// Curve bytes x1, y1, x2, y2 of one channel.
struct VmdCurve {
    int8_t x1 = 20, y1 = 20, x2 = 107, y2 = 107;  // the straight line
};

class VmdWriter {
  public:
    VmdWriter() {
        const char magic[] = "Vocaloid Motion Data 0002";
        head_.assign(30, 0);
        std::memcpy(head_.data(), magic, sizeof magic);
        head_.resize(50, 0);  // model name
    }

    // One curve for all four channels.
    VmdWriter& Bone(const std::string& name, uint32_t frame, tessel::Vec3 position,
                    tessel::PmdQuat rotation = {0.0f, 0.0f, 0.0f, 1.0f}, VmdCurve curve = {}) {
        return BoneCurves(name, frame, position, rotation, {curve, curve, curve, curve});
    }
    VmdWriter& BoneCurves(const std::string& name, uint32_t frame, tessel::Vec3 position,
                          tessel::PmdQuat rotation, const std::vector<VmdCurve>& curves) {
        std::vector<uint8_t> key(111, 0);
        Name(key.data(), name);
        U32(key.data() + 15, frame);
        const float values[7] = {position.x, position.y, position.z, rotation.x,
                                 rotation.y, rotation.z, rotation.w};
        std::memcpy(key.data() + 19, values, sizeof values);
        for (int channel = 0; channel < 4; ++channel) {
            const VmdCurve& c = curves[static_cast<size_t>(channel)];
            const int8_t bytes[4] = {c.x1, c.y1, c.x2, c.y2};
            for (int i = 0; i < 4; ++i) {
                key[static_cast<size_t>(47 + 16 * channel + 4 * i)] =
                    static_cast<uint8_t>(bytes[i]);
            }
        }
        bones_.insert(bones_.end(), key.begin(), key.end());
        ++boneCount_;
        return *this;
    }
    VmdWriter& Morph(const std::string& name, uint32_t frame, float weight) {
        std::vector<uint8_t> key(23, 0);
        Name(key.data(), name);
        U32(key.data() + 15, frame);
        std::memcpy(key.data() + 19, &weight, 4);
        morphs_.insert(morphs_.end(), key.begin(), key.end());
        ++morphCount_;
        return *this;
    }

    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> out = head_;
        uint8_t count[4];
        U32(count, boneCount_);
        out.insert(out.end(), count, count + 4);
        out.insert(out.end(), bones_.begin(), bones_.end());
        U32(count, morphCount_);
        out.insert(out.end(), count, count + 4);
        out.insert(out.end(), morphs_.begin(), morphs_.end());
        return out;
    }

  private:
    static void Name(uint8_t* out, const std::string& name) {
        std::memcpy(out, name.data(), name.size() < 15 ? name.size() : 15);
    }
    static void U32(uint8_t* out, uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            out[i] = static_cast<uint8_t>(v >> (8 * i));
        }
    }
    std::vector<uint8_t> head_, bones_, morphs_;
    uint32_t boneCount_ = 0, morphCount_ = 0;
};

// A read model with a "Mesh" frame first and bone frames made parents first,
// as the PMD reader makes them.
class PmdRig {
  public:
    PmdRig() {
        tessel::ReadModelClear(&model);
        mesh = tessel::ReadModelNewFrame(&model, "Mesh", nullptr);
    }
    ~PmdRig() { tessel::ReadModelRelease(&model); }
    PmdRig(const PmdRig&) = delete;
    PmdRig& operator=(const PmdRig&) = delete;

    // Bones must be added before any chain; a parent before its children.
    int AddBone(const std::string& name, int parent, tessel::Vec3 head, bool knee = false) {
        const int index = static_cast<int>(bones.size());
        tessel::ReadModelFrame* parentFrame =
            parent >= 0 ? bones[static_cast<size_t>(parent)].frame : nullptr;
        tessel::PmdBoneWork work{};
        work.frame = tessel::ReadModelNewFrame(&model, name.c_str(), parentFrame);
        tessel::Vec3 from =
            parent >= 0 ? bones[static_cast<size_t>(parent)].head : tessel::Vec3{0, 0, 0};
        work.frame->translation = {head.x - from.x, head.y - from.y, head.z - from.z};
        work.head = head;
        work.knee = knee ? 1 : 0;
        work.poseTranslation = work.frame->translation;
        work.poseRotation = {0.0f, 0.0f, 0.0f, 1.0f};
        parents.push_back(parent);
        bones.push_back(work);
        Relink();
        return index;
    }
    void AddShape(const std::string& name) {
        tessel::ReadModelNewShape(&model, name.c_str(), mesh);
    }

    // chain: from the effector's parent upward.
    void AddChain(int target, int effector, const std::vector<int>& chain, int iterations,
                  float limit) {
        std::vector<uint8_t>& indices = chainBytes.emplace_back();
        for (int b : chain) {
            indices.push_back(static_cast<uint8_t>(b));
            indices.push_back(static_cast<uint8_t>(b >> 8));
        }
        tessel::PmdIkChain record{};
        record.target = &bones[static_cast<size_t>(target)];
        record.effector = &bones[static_cast<size_t>(effector)];
        record.iterations = static_cast<uint16_t>(iterations);
        record.angleLimit = limit;
        record.chainLength = static_cast<int32_t>(chain.size());
        record.chainBones = indices.data();
        bool knee = record.target->knee != 0 || record.effector->knee != 0;
        bones[static_cast<size_t>(effector)].inChain = 1;
        for (int b : chain) {
            knee = knee || bones[static_cast<size_t>(b)].knee != 0;
            bones[static_cast<size_t>(b)].inChain = 1;
        }
        record.knee = knee ? 1 : 0;
        chains.push_back(record);
        for (size_t i = 0; i < chains.size(); ++i) {
            chains[i].prev = i > 0 ? &chains[i - 1] : nullptr;
            chains[i].next = i + 1 < chains.size() ? &chains[i + 1] : nullptr;
        }
    }
    tessel::PmdIkChain* FirstChain() { return chains.empty() ? nullptr : &chains.front(); }

    int Load(const std::vector<uint8_t>& image, const char* set = "Anim000") {
        return tessel::LoadVmdMotion(&model, set, image.data(), static_cast<uint32_t>(image.size()),
                                     bones.data(), static_cast<int>(bones.size()), FirstChain());
    }

    // The animation of the named frame in the set; null when there is none.
    const tessel::ReadModelAnim* Anim(const tessel::ReadModelAnimSet* set,
                                      const std::string& name) const {
        for (const tessel::ReadModelAnim* a = set->firstAnim; a != nullptr; a = a->nextInSet) {
            if (name == a->targetName) {
                return a;
            }
        }
        return nullptr;
    }

    tessel::ReadModel model;
    tessel::ReadModelFrame* mesh;
    std::vector<tessel::PmdBoneWork> bones;
    std::vector<int> parents;
    std::deque<std::vector<uint8_t>> chainBytes;
    std::vector<tessel::PmdIkChain> chains;

  private:
    void Relink() {
        for (size_t b = 0; b < bones.size(); ++b) {
            bones[b].parent = parents[b] >= 0 ? &bones[static_cast<size_t>(parents[b])] : nullptr;
        }
    }
};

// A small legged character: a centre, two legs of thigh, knee and ankle with
// an IK target bone each (knee chains, 40 iterations), an upper body with a
// neck and a head. Indices of the left leg: thigh 1, knee 2, ankle 3, target 4.
inline void BuildLeggedRig(PmdRig* rig) {
    const int centre = rig->AddBone("centre", -1, {0.0f, 10.0f, 0.0f});
    for (float side : {1.0f, -1.0f}) {
        const std::string prefix = side > 0 ? "left" : "right";
        const int thigh = rig->AddBone(prefix + "Thigh", centre, {side, 9.5f, 0.0f});
        const int knee = rig->AddBone(prefix + "Knee", thigh, {side, 5.25f, -0.1f}, true);
        const int ankle = rig->AddBone(prefix + "Ankle", knee, {side, 1.0f, 0.0f});
        rig->AddBone(prefix + "FootIK", -1, {side, 1.0f, 0.0f});
        (void)ankle;
    }
    const int upper = rig->AddBone("upperBody", centre, {0.0f, 11.0f, 0.0f});
    const int neck = rig->AddBone("neck", upper, {0.0f, 15.0f, 0.0f});
    rig->AddBone("head", neck, {0.0f, 16.0f, 0.0f});
    for (int leg = 0; leg < 2; ++leg) {
        const int thigh = 1 + 4 * leg;
        rig->AddChain(thigh + 3, thigh + 2, {thigh + 1, thigh}, 40, 0.5f * 3.1415927f);
    }
}

// A walk of `frames` frames: the centre bobs and moves forward, the feet's
// IK targets step in turn (lifted mid-step), the upper body turns; keys
// every 10 frames with an eased curve.
inline std::vector<uint8_t> WalkMotion(uint32_t frames) {
    VmdWriter writer;
    const VmdCurve eased{64, 0, 64, 127};
    for (uint32_t f = 0; f <= frames; f += 10) {
        const float phase = static_cast<float>(f) * 0.05f;
        const float stride = 0.8f * std::sin(phase);
        writer.Bone("centre", f, {0.0f, -0.6f - 0.2f * std::cos(2 * phase), 0.02f * f},
                    {0, 0, 0, 1}, eased);
        writer.Bone("leftFootIK", f,
                    {0.0f, 0.3f * std::fmax(0.0f, std::sin(phase)), 0.02f * f + stride},
                    {0, 0, 0, 1}, eased);
        writer.Bone("rightFootIK", f,
                    {0.0f, 0.3f * std::fmax(0.0f, -std::sin(phase)), 0.02f * f - stride},
                    {0, 0, 0, 1}, eased);
        const float turn = 0.1f * std::sin(phase);
        writer.Bone("upperBody", f, {0, 0, 0}, {0.0f, std::sin(turn), 0.0f, std::cos(turn)});
    }
    return writer.Bytes();
}

// Both feet's IK targets out of reach below the legged character, drifting
// apart over `frames` frames.
inline std::vector<uint8_t> UnreachableMotion(uint32_t frames) {
    VmdWriter writer;
    for (uint32_t f : {0u, frames}) {
        const float forward = 0.002f * static_cast<float>(f);
        writer.Bone("leftFootIK", f, {0.0f, -4.0f, forward});
        writer.Bone("rightFootIK", f, {0.0f, -4.0f, -forward});
    }
    return writer.Bytes();
}

}  // namespace tessel_test
