// Our own writer of PMD models and VMD motions, and the small character made
// with it: a jointed figure whose legs stand in IK chains with knees, with a
// blink and a mouth morph and toon materials, and its two motions (a walk
// that moves the IK targets, a blink). Tests, seeds and the examples build
// their files from these descriptions; texts are code page 932.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessel {

struct PmdVertexDesc {
    float position[3];
    float normal[3];
    float uv[2];
    uint16_t bones[2];
    uint8_t weight;  // percent of bone 0
    uint8_t edge;
};

struct PmdMaterialDesc {
    float diffuse[4];
    float power;
    float specular[3];
    float ambient[3];
    uint8_t toon;  // 0xFF: none
    uint8_t edge;
    uint32_t indexCount;
    std::string texture;  // at most 20 bytes
};

struct PmdBoneDesc {
    std::string name;  // at most 20 bytes
    uint16_t parent;   // 0xFFFF: none
    uint16_t tail;
    uint8_t type;
    uint16_t ikParent;
    float head[3];
};

struct PmdIkDesc {
    uint16_t target;
    uint16_t effector;
    uint16_t iterations;
    float limit;                  // in units of pi
    std::vector<uint16_t> chain;  // from the effector's parent upward
};

struct PmdMorphEntryDesc {
    uint32_t index;
    float position[3];
};

struct PmdMorphDesc {
    std::string name;
    uint8_t type;
    std::vector<PmdMorphEntryDesc> entries;
};

struct PmdBoneDisplayDesc {
    uint16_t bone;
    uint8_t group;
};

struct PmdModelDesc {
    float version = 1.0f;
    std::string name;
    std::string comment;
    std::vector<PmdVertexDesc> vertices;
    std::vector<uint16_t> indices;
    std::vector<PmdMaterialDesc> materials;
    std::vector<PmdBoneDesc> bones;
    std::vector<PmdIkDesc> iks;
    std::vector<PmdMorphDesc> morphs;  // morph 0 is the base
    std::vector<uint16_t> morphDisplay;
    std::vector<std::string> boneDisplayNames;
    std::vector<PmdBoneDisplayDesc> boneDisplay;
    // Files may end before the English names or before the toon table.
    bool writeEnglishFlag = true;
    uint8_t englishFlag = 1;
    bool writeToonTable = true;
    std::vector<std::string> toonNames;  // up to 10, 100 bytes each
};

// A Bezier curve of one channel of a bone key, each value 0 to 127.
struct VmdCurve {
    uint8_t x1 = 20;
    uint8_t y1 = 20;
    uint8_t x2 = 107;
    uint8_t y2 = 107;
};

struct VmdBoneKeyDesc {
    std::string name;  // at most 15 bytes
    uint32_t frame;
    float position[3];
    float rotation[4];   // x, y, z, w
    VmdCurve curves[4];  // X, Y, Z, rotation
};

struct VmdMorphKeyDesc {
    std::string name;
    uint32_t frame;
    float weight;
};

struct VmdMotionDesc {
    std::string modelName;
    std::vector<VmdBoneKeyDesc> boneKeys;
    std::vector<VmdMorphKeyDesc> morphKeys;
};

std::vector<uint8_t> WritePmd(const PmdModelDesc& model);
std::vector<uint8_t> WriteVmd(const VmdMotionDesc& motion);

// The character's bones, by index in its bone list.
enum WalkerBone : uint16_t {
    kWalkerCentre,
    kWalkerUpperBody,
    kWalkerHead,
    kWalkerLeftLeg,
    kWalkerLeftKnee,
    kWalkerLeftAnkle,
    kWalkerRightLeg,
    kWalkerRightKnee,
    kWalkerRightAnkle,
    kWalkerLeftArm,
    kWalkerRightArm,
    kWalkerLeftFootIk,
    kWalkerRightFootIk,
    kWalkerBoneCount
};

// The file names of the character and its motions: "walker.pmd" finds
// "walker000.vmd" (the walk) and "walker001.vmd" (the blink).
constexpr const char* kWalkerBaseName = "walker";
constexpr int kWalkFrames = 60;

PmdModelDesc WalkerModel();
VmdMotionDesc WalkerWalk();
VmdMotionDesc WalkerBlink();

// Writes walker.pmd, walker000.vmd and walker001.vmd into an existing
// directory; 0, or -1 when a file cannot be written.
int WriteWalkerFiles(const std::string& directory);

}  // namespace tessel
