// The PMD and VMD writers (every field serialised little-endian in file
// order, texts NUL-padded to their fixed fields) and the walking character:
// boxes skinned to a bone tree, feet on IK chains through "ひざ" knees, a face
// plate carrying the morphs, and a treadmill walk that only moves the centre,
// the arms and the two IK targets, so the legs come from the solver.
#include "tools/lib/pmd_character.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace tessel {

namespace {

class ByteWriter {
  public:
    void U8(uint32_t v) { bytes_.push_back(static_cast<uint8_t>(v)); }
    void U16(uint32_t v) {
        U8(v & 0xFF);
        U8(v >> 8 & 0xFF);
    }
    void U32(uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void F32(float f) {
        uint32_t bits = 0;
        std::memcpy(&bits, &f, 4);
        U32(bits);
    }
    void Floats(const float* f, int n) {
        for (int i = 0; i < n; ++i) {
            F32(f[i]);
        }
    }
    // The text cut or NUL-padded to exactly `size` bytes.
    void Text(const std::string& text, size_t size) {
        for (size_t i = 0; i < size; ++i) {
            U8(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
        }
    }
    std::vector<uint8_t> Take() { return std::move(bytes_); }

  private:
    std::vector<uint8_t> bytes_;
};

void WriteVertex(ByteWriter* w, const PmdVertexDesc& v) {
    w->Floats(v.position, 3);
    w->Floats(v.normal, 3);
    w->Floats(v.uv, 2);
    w->U16(v.bones[0]);
    w->U16(v.bones[1]);
    w->U8(v.weight);
    w->U8(v.edge);
}

void WriteMaterial(ByteWriter* w, const PmdMaterialDesc& m) {
    w->Floats(m.diffuse, 4);
    w->F32(m.power);
    w->Floats(m.specular, 3);
    w->Floats(m.ambient, 3);
    w->U8(m.toon);
    w->U8(m.edge);
    w->U32(m.indexCount);
    w->Text(m.texture, 20);
}

void WriteBone(ByteWriter* w, const PmdBoneDesc& b) {
    w->Text(b.name, 20);
    w->U16(b.parent);
    w->U16(b.tail);
    w->U8(b.type);
    w->U16(b.ikParent);
    w->Floats(b.head, 3);
}

void WriteIk(ByteWriter* w, const PmdIkDesc& ik) {
    w->U16(ik.target);
    w->U16(ik.effector);
    w->U8(static_cast<uint32_t>(ik.chain.size()));
    w->U16(ik.iterations);
    w->F32(ik.limit);
    for (uint16_t bone : ik.chain) {
        w->U16(bone);
    }
}

void WriteMorph(ByteWriter* w, const PmdMorphDesc& m) {
    w->Text(m.name, 20);
    w->U32(static_cast<uint32_t>(m.entries.size()));
    w->U8(m.type);
    for (const PmdMorphEntryDesc& e : m.entries) {
        w->U32(e.index);
        w->Floats(e.position, 3);
    }
}

// The English section: model name, comment, one name per bone, one per
// morph after the base, one per bone display name.
void WriteEnglishNames(ByteWriter* w, const PmdModelDesc& m) {
    w->Text("walker", 20);
    w->Text("", 256);
    for (const PmdBoneDesc& b : m.bones) {
        w->Text("bone " + b.name.substr(0, 4), 20);
    }
    for (size_t i = 1; i < m.morphs.size(); ++i) {
        w->Text("morph", 20);
    }
    for (size_t i = 0; i < m.boneDisplayNames.size(); ++i) {
        w->Text("group", 50);
    }
}

void WriteBoneKey(ByteWriter* w, const VmdBoneKeyDesc& k) {
    w->Text(k.name, 15);
    w->U32(k.frame);
    w->Floats(k.position, 3);
    w->Floats(k.rotation, 4);
    // Each channel's four values at bytes 0, 4, 8, 12 of its 16; the bytes
    // between repeat them, as the value readers never look there.
    for (const VmdCurve& c : k.curves) {
        const uint8_t values[4] = {c.x1, c.y1, c.x2, c.y2};
        for (uint8_t v : values) {
            for (int r = 0; r < 4; ++r) {
                w->U8(v);
            }
        }
    }
}

}  // namespace

std::vector<uint8_t> WritePmd(const PmdModelDesc& m) {
    ByteWriter w;
    w.Text("Pmd", 3);
    w.F32(m.version);
    w.Text(m.name, 20);
    w.Text(m.comment, 256);
    w.U32(static_cast<uint32_t>(m.vertices.size()));
    for (const PmdVertexDesc& v : m.vertices) {
        WriteVertex(&w, v);
    }
    w.U32(static_cast<uint32_t>(m.indices.size()));
    for (uint16_t i : m.indices) {
        w.U16(i);
    }
    w.U32(static_cast<uint32_t>(m.materials.size()));
    for (const PmdMaterialDesc& material : m.materials) {
        WriteMaterial(&w, material);
    }
    w.U16(static_cast<uint32_t>(m.bones.size()));
    for (const PmdBoneDesc& b : m.bones) {
        WriteBone(&w, b);
    }
    w.U16(static_cast<uint32_t>(m.iks.size()));
    for (const PmdIkDesc& ik : m.iks) {
        WriteIk(&w, ik);
    }
    w.U16(static_cast<uint32_t>(m.morphs.size()));
    for (const PmdMorphDesc& morph : m.morphs) {
        WriteMorph(&w, morph);
    }
    w.U8(static_cast<uint32_t>(m.morphDisplay.size()));
    for (uint16_t d : m.morphDisplay) {
        w.U16(d);
    }
    w.U8(static_cast<uint32_t>(m.boneDisplayNames.size()));
    for (const std::string& name : m.boneDisplayNames) {
        w.Text(name, 50);
    }
    w.U32(static_cast<uint32_t>(m.boneDisplay.size()));
    for (const PmdBoneDisplayDesc& d : m.boneDisplay) {
        w.U16(d.bone);
        w.U8(d.group);
    }
    if (!m.writeEnglishFlag) {
        return w.Take();
    }
    w.U8(m.englishFlag);
    if (m.englishFlag != 0) {
        WriteEnglishNames(&w, m);
    }
    if (m.writeToonTable) {
        for (size_t i = 0; i < 10; ++i) {
            w.Text(i < m.toonNames.size() ? m.toonNames[i] : std::string(), 100);
        }
    }
    return w.Take();
}

std::vector<uint8_t> WriteVmd(const VmdMotionDesc& motion) {
    ByteWriter w;
    w.Text("Vocaloid Motion Data 0002", 30);
    w.Text(motion.modelName, 20);
    w.U32(static_cast<uint32_t>(motion.boneKeys.size()));
    for (const VmdBoneKeyDesc& k : motion.boneKeys) {
        WriteBoneKey(&w, k);
    }
    w.U32(static_cast<uint32_t>(motion.morphKeys.size()));
    for (const VmdMorphKeyDesc& k : motion.morphKeys) {
        w.Text(k.name, 15);
        w.U32(k.frame);
        w.F32(k.weight);
    }
    return w.Take();
}

// ---- the character

namespace {

constexpr uint16_t kNoBone = 0xFFFF;

// One corner's skinning: two bones and bone 0's percentage.
struct Skin {
    uint16_t bone0;
    uint16_t bone1;
    uint8_t weight;
};

struct Box {
    float low[3];
    float high[3];
    Skin top;     // corners at the high y
    Skin bottom;  // corners at the low y
};

// Eight corners, normals pointing out of the box's centre, and twelve
// triangles into `indices`.
void AddBox(PmdModelDesc* m, const Box& box, std::vector<uint16_t>* indices) {
    const auto first = static_cast<uint16_t>(m->vertices.size());
    for (int c = 0; c < 8; ++c) {
        PmdVertexDesc v = {};
        const int bits[3] = {c & 1, c >> 1 & 1, c >> 2 & 1};
        float length = 0.0f;
        for (int k = 0; k < 3; ++k) {
            v.position[k] = bits[k] != 0 ? box.high[k] : box.low[k];
            v.normal[k] = bits[k] != 0 ? 1.0f : -1.0f;
            length += v.normal[k] * v.normal[k];
        }
        for (float& n : v.normal) {
            n /= std::sqrt(length);
        }
        v.uv[0] = static_cast<float>(bits[0]);
        v.uv[1] = static_cast<float>(1 - bits[1]);
        const Skin& skin = bits[1] != 0 ? box.top : box.bottom;
        v.bones[0] = skin.bone0;
        v.bones[1] = skin.bone1;
        v.weight = skin.weight;
        v.edge = 0;
        m->vertices.push_back(v);
    }
    // Two triangles per side, corners named by their bits (x 1, y 2, z 4).
    static constexpr uint8_t kSides[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                             {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& s : kSides) {
        const uint8_t tri[6] = {s[0], s[1], s[2], s[0], s[2], s[3]};
        for (uint8_t corner : tri) {
            indices->push_back(static_cast<uint16_t>(first + corner));
        }
    }
}

// A quad facing -z at depth z, bound wholly to one bone; its corners in
// the order top left, top right, bottom left, bottom right.
void AddPlate(PmdModelDesc* m, float left, float right, float bottom, float top, float z,
              uint16_t bone, std::vector<uint16_t>* indices) {
    const auto first = static_cast<uint16_t>(m->vertices.size());
    const float corners[4][2] = {{left, top}, {right, top}, {left, bottom}, {right, bottom}};
    for (const auto& c : corners) {
        PmdVertexDesc v = {};
        v.position[0] = c[0];
        v.position[1] = c[1];
        v.position[2] = z;
        v.normal[2] = -1.0f;
        v.bones[0] = v.bones[1] = bone;
        v.weight = 100;
        v.edge = 1;
        m->vertices.push_back(v);
    }
    const uint16_t tri[6] = {0, 1, 2, 2, 1, 3};
    for (uint16_t corner : tri) {
        indices->push_back(static_cast<uint16_t>(first + corner));
    }
}

PmdBoneDesc Bone(const char* name, uint16_t parent, uint8_t type, float x, float y, float z) {
    return PmdBoneDesc{name, parent, 0, type, 0, {x, y, z}};
}

void AddBones(PmdModelDesc* m) {
    m->bones = {
        Bone("センター", kNoBone, 1, 0.0f, 8.0f, 0.0f),
        Bone("上半身", kWalkerCentre, 0, 0.0f, 9.0f, 0.0f),
        Bone("頭", kWalkerUpperBody, 0, 0.0f, 13.0f, 0.0f),
        Bone("左足", kWalkerCentre, 0, 1.0f, 8.0f, 0.0f),
        Bone("左ひざ", kWalkerLeftLeg, 0, 1.0f, 4.0f, 0.0f),
        Bone("左足首", kWalkerLeftKnee, 0, 1.0f, 0.5f, 0.0f),
        Bone("右足", kWalkerCentre, 0, -1.0f, 8.0f, 0.0f),
        Bone("右ひざ", kWalkerRightLeg, 0, -1.0f, 4.0f, 0.0f),
        Bone("右足首", kWalkerRightKnee, 0, -1.0f, 0.5f, 0.0f),
        Bone("左腕", kWalkerUpperBody, 0, 1.5f, 12.5f, 0.0f),
        Bone("右腕", kWalkerUpperBody, 0, -1.5f, 12.5f, 0.0f),
        Bone("左足ＩＫ", kNoBone, 2, 1.0f, 0.5f, 0.0f),
        Bone("右足ＩＫ", kNoBone, 2, -1.0f, 0.5f, 0.0f),
    };
    m->iks = {
        {kWalkerLeftFootIk, kWalkerLeftAnkle, 40, 0.5f, {kWalkerLeftKnee, kWalkerLeftLeg}},
        {kWalkerRightFootIk, kWalkerRightAnkle, 40, 0.5f, {kWalkerRightKnee, kWalkerRightLeg}},
    };
    m->boneDisplayNames = {"足"};
    m->boneDisplay = {{kWalkerLeftFootIk, 1}, {kWalkerRightFootIk, 1}};
}

PmdMaterialDesc Material(float r, float g, float b, uint8_t toon, uint8_t edge, size_t indices) {
    return PmdMaterialDesc{{r, g, b, 1.0f},
                           5.0f,
                           {0.1f, 0.1f, 0.1f},
                           {r * 0.5f, g * 0.5f, b * 0.5f},
                           toon,
                           edge,
                           static_cast<uint32_t>(indices),
                           ""};
}

// The face plate's eight vertices (eyes, then mouth) are the base morph;
// the blink closes the eyes, the mouth morph opens the mouth.
void AddMorphs(PmdModelDesc* m, uint16_t eyes, uint16_t mouth) {
    PmdMorphDesc base = {"base", 0, {}};
    for (uint16_t i = 0; i < 4; ++i) {
        const PmdVertexDesc& e = m->vertices[eyes + i];
        base.entries.push_back(
            {static_cast<uint32_t>(eyes + i), {e.position[0], e.position[1], e.position[2]}});
    }
    for (uint16_t i = 0; i < 4; ++i) {
        const PmdVertexDesc& v = m->vertices[mouth + i];
        base.entries.push_back(
            {static_cast<uint32_t>(mouth + i), {v.position[0], v.position[1], v.position[2]}});
    }
    PmdMorphDesc blink = {"まばたき", 1, {{0, {0.0f, -0.5f, 0.0f}}, {1, {0.0f, -0.5f, 0.0f}}}};
    PmdMorphDesc open = {"あ", 3, {{6, {0.0f, -0.375f, 0.0f}}, {7, {0.0f, -0.375f, 0.0f}}}};
    m->morphs = {base, blink, open};
    m->morphDisplay = {1, 2};
}

}  // namespace

PmdModelDesc WalkerModel() {
    PmdModelDesc m;
    m.name = "ウォーカー";
    m.comment = "A jointed figure for the model tests";
    AddBones(&m);
    std::vector<uint16_t> skin;
    std::vector<uint16_t> clothes;
    std::vector<uint16_t> shoes;
    std::vector<uint16_t> face;
    const Skin upper = {kWalkerUpperBody, kWalkerUpperBody, 100};
    AddBox(&m, {{-1.5f, 8.0f, -0.75f}, {1.5f, 13.0f, 0.75f}, upper, {kWalkerUpperBody, 0, 50}},
           &clothes);
    const Skin head = {kWalkerHead, kWalkerHead, 100};
    AddBox(&m, {{-1.0f, 13.0f, -1.0f}, {1.0f, 15.5f, 1.0f}, head, head}, &skin);
    for (int side = 0; side < 2; ++side) {
        const float s = side == 0 ? 1.0f : -1.0f;
        const auto leg = static_cast<uint16_t>(side == 0 ? kWalkerLeftLeg : kWalkerRightLeg);
        const auto knee = static_cast<uint16_t>(leg + 1);
        const auto ankle = static_cast<uint16_t>(leg + 2);
        const float in = s * 0.5f;
        const float out = s * 1.5f;
        AddBox(&m,
               {{std::min(in, out), 4.0f, -0.5f},
                {std::max(in, out), 8.0f, 0.5f},
                {leg, leg, 100},
                {leg, knee, 50}},
               &clothes);
        AddBox(&m,
               {{std::min(in, out), 0.5f, -0.5f},
                {std::max(in, out), 4.0f, 0.5f},
                {knee, leg, 75},
                {knee, ankle, 50}},
               &clothes);
        AddBox(&m,
               {{std::min(in, out), 0.0f, -1.5f},
                {std::max(in, out), 0.5f, 0.5f},
                {ankle, ankle, 100},
                {ankle, ankle, 100}},
               &shoes);
        const auto arm = static_cast<uint16_t>(side == 0 ? kWalkerLeftArm : kWalkerRightArm);
        const float armIn = s * 1.5f;
        const float armOut = s * 2.25f;
        AddBox(&m,
               {{std::min(armIn, armOut), 8.5f, -0.375f},
                {std::max(armIn, armOut), 13.0f, 0.375f},
                {arm, kWalkerUpperBody, 70},
                {arm, arm, 100}},
               &skin);
    }
    const auto eyes = static_cast<uint16_t>(m.vertices.size());
    AddPlate(&m, -0.75f, 0.75f, 14.25f, 14.75f, -1.0625f, kWalkerHead, &face);
    const auto mouth = static_cast<uint16_t>(m.vertices.size());
    AddPlate(&m, -0.375f, 0.375f, 13.5f, 13.75f, -1.0625f, kWalkerHead, &face);
    m.materials = {Material(1.0f, 0.8f, 0.65f, 0, 1, skin.size()),
                   Material(0.2f, 0.35f, 0.7f, 1, 1, clothes.size()),
                   Material(0.3f, 0.2f, 0.1f, 0xFF, 1, shoes.size()),
                   Material(0.1f, 0.1f, 0.1f, 0xFF, 0, face.size())};
    for (const auto* part : {&skin, &clothes, &shoes, &face}) {
        m.indices.insert(m.indices.end(), part->begin(), part->end());
    }
    AddMorphs(&m, eyes, mouth);
    m.toonNames = {"toon01.bmp", "toon02.bmp"};
    return m;
}

namespace {

VmdBoneKeyDesc Key(const char* name, uint32_t frame, float x, float y, float z) {
    VmdBoneKeyDesc k = {};
    k.name = name;
    k.frame = frame;
    k.position[0] = x;
    k.position[1] = y;
    k.position[2] = z;
    k.rotation[3] = 1.0f;
    return k;
}

// A key turned by `angle` radians about the x axis.
VmdBoneKeyDesc TurnKey(const char* name, uint32_t frame, float angle) {
    VmdBoneKeyDesc k = Key(name, frame, 0.0f, 0.0f, 0.0f);
    k.rotation[0] = std::sin(angle / 2.0f);
    k.rotation[3] = std::cos(angle / 2.0f);
    return k;
}

// One foot's target over a 30-frame step: on the ground sliding back from
// z -1.25 to 1.25 (the figure faces -z), then lifted and swung forward. The
// stride keeps each leg a little bent, where the solver holds the foot on
// its target closest.
void AddFootKeys(VmdMotionDesc* motion, const char* name, uint32_t phase) {
    const float stance[3][3] = {{0.0f, 0.0f, -1.25f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.25f}};
    const float swing[3] = {0.0f, 1.25f, 0.0f};
    for (uint32_t cycle = 0; cycle <= kWalkFrames; cycle += 30) {
        for (int s = 0; s < 3; ++s) {
            const uint32_t frame = cycle + phase + 7 * static_cast<uint32_t>(s);
            if (frame <= kWalkFrames) {
                motion->boneKeys.push_back(
                    Key(name, frame, stance[s][0], stance[s][1], stance[s][2]));
            }
        }
        const uint32_t lifted = cycle + phase + 22;
        if (lifted <= kWalkFrames) {
            VmdBoneKeyDesc k = Key(name, lifted, swing[0], swing[1], swing[2]);
            // The lift eases in and out.
            k.curves[1] = VmdCurve{64, 0, 64, 127};
            motion->boneKeys.push_back(k);
        }
    }
}

}  // namespace

VmdMotionDesc WalkerWalk() {
    VmdMotionDesc motion;
    motion.modelName = "ウォーカー";
    AddFootKeys(&motion, "左足ＩＫ", 0);
    AddFootKeys(&motion, "右足ＩＫ", 15);
    for (uint32_t f = 0; f <= kWalkFrames; f += 15) {
        // The centre dips at every foot fall, which bends both knees.
        VmdBoneKeyDesc centre = Key("センター", f, 0.0f, f % 30 == 0 ? -0.5f : -0.375f, 0.0f);
        centre.curves[1] = VmdCurve{40, 10, 88, 117};
        motion.boneKeys.push_back(centre);
        const float swing = (f / 15) % 2 == 0 ? 0.4f : -0.4f;
        motion.boneKeys.push_back(TurnKey("左腕", f, swing));
        motion.boneKeys.push_back(TurnKey("右腕", f, -swing));
    }
    return motion;
}

VmdMotionDesc WalkerBlink() {
    VmdMotionDesc motion;
    motion.modelName = "ウォーカー";
    const uint32_t frames[5] = {0, 20, 24, 28, 40};
    const float weights[5] = {0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
    for (int i = 0; i < 5; ++i) {
        motion.morphKeys.push_back({"まばたき", frames[i], weights[i]});
    }
    motion.morphKeys.push_back({"あ", 0, 0.25f});
    return motion;
}

namespace {

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file);
    return std::fclose(file) == 0 && written == bytes.size();
}

// A 24-bit bottom-up BMP of 8 x 32: a toon ramp from `dark` at the bottom
// row to white at the top.
std::vector<uint8_t> ToonRamp(uint8_t dark) {
    constexpr int kWidth = 8;
    constexpr int kHeight = 32;
    constexpr uint32_t kPixels = kWidth * kHeight * 3;
    ByteWriter w;
    w.Text("BM", 2);
    w.U32(54 + kPixels);
    w.U32(0);
    w.U32(54);
    w.U32(40);
    w.U32(kWidth);
    w.U32(kHeight);
    w.U16(1);
    w.U16(24);
    w.U32(0);
    w.U32(kPixels);
    w.U32(2835);
    w.U32(2835);
    w.U32(0);
    w.U32(0);
    for (int y = 0; y < kHeight; ++y) {
        const uint32_t level = y < kHeight / 2 ? dark : 255;
        for (int x = 0; x < kWidth; ++x) {
            w.U8(level);
            w.U8(level);
            w.U8(level);
        }
    }
    return w.Take();
}

}  // namespace

int WriteWalkerFiles(const std::string& directory) {
    const std::string stem = directory + "/" + kWalkerBaseName;
    const bool written = WriteFile(stem + ".pmd", WritePmd(WalkerModel())) &&
                         WriteFile(stem + "000.vmd", WriteVmd(WalkerWalk())) &&
                         WriteFile(stem + "001.vmd", WriteVmd(WalkerBlink())) &&
                         WriteFile(directory + "/toon01.bmp", ToonRamp(160)) &&
                         WriteFile(directory + "/toon02.bmp", ToonRamp(96));
    return written ? 0 : -1;
}

}  // namespace tessel
