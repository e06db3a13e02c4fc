// The PMD reader's working records, shared by the model reader and the motion
// reader: one per bone (its pose, its world matrix and the keys a motion bakes
// for it) and one per IK chain; the motion reader that bakes bone keys and IK
// chains into one key per frame; the quaternion helpers of the pose.
#pragma once

#include <cstdint>

#include "foundation/math/matrix.h"
#include "models/read/read_model.h"

namespace tessel {

class ExactSinCos;

// x, y, z, w: the vector part first, as the read model's rotation keys hold it.
struct PmdQuat {
    float x, y, z, w;
};

struct VmdNameEntry;  // the motion reader's own
struct VmdBoneKey;

struct PmdBoneWork {
    const uint8_t* record;  // the bone's 39 bytes in the model image
    uint32_t recordOffset;  // their place in the image
    ReadModelFrame* frame;
    // The parent bone's record, null for a bone at the top. The model reader
    // sets it with the frame; the world matrices follow it.
    PmdBoneWork* parent;
    // Per motion, set by the motion reader while it bakes (null outside it):
    // the bone's animation, its baked keys (in the read model's blocks), the
    // name-table entry and the key cursor.
    ReadModelAnim* anim;
    Vec3* bakedTranslations;
    PmdQuat* bakedRotations;
    float* translationTimes;
    float* rotationTimes;
    int32_t bakedCount;
    VmdNameEntry* entry;
    VmdBoneKey* cursor;
    int32_t boneType;
    int32_t inChain;    // 1: an IK effector or chain bone
    int32_t fixedPose;  // 1: a chain bone the motion has no keys for
    int32_t knee;       // 1: a knee, bending one way only
    Mat4 world;
    Vec3 poseTranslation;
    PmdQuat poseRotation;
    Vec3 head;  // model space
};

struct PmdIkChain {
    const uint8_t* record;  // the IK record in the model image
    PmdBoneWork* target;    // the bone whose position the chain reaches for
    PmdBoneWork* effector;  // the bone that must reach it
    uint16_t knee;          // 1: the target, the effector or a chain bone is a knee
    uint16_t iterations;
    float angleLimit;  // radians per step
    float measuredLength;
    int32_t chainLength;
    // chainLength little-endian u16 bone indices in the image, from the
    // effector's parent upward; the model reader checks each against its
    // bone count (the motion reader checks them again).
    const uint8_t* chainBones;
    PmdIkChain* prev;
    PmdIkChain* next;
    int32_t iterationsRun;  // by the last solve
};

// The bone index of chain bone j.
inline int PmdChainBone(const PmdIkChain* chain, int j) {
    return chain->chainBones[2 * j] | (chain->chainBones[2 * j + 1] << 8);
}

// The largest frame number a motion may name: beyond it the bake's key
// arrays would reach gigabytes.
constexpr uint32_t kVmdLastFrameLimit = 1000000;
// The bone keys one motion may bake in all (36 bytes each): about 300 MB,
// a 100-bone character for 46 minutes at 30 frames a second.
constexpr uint32_t kVmdBakedKeyLimit = 1u << 23;
// Distinct bone names and morph names a motion may hold.
constexpr int kVmdNameEntries = 2048;

// Adds the motion in the image as the animation set `setName`: bone keys
// baked to one key per frame (chain bones posed by the IK solve at every
// frame), morph keys as shape-weight key sets. 0; -1 without a log line when
// the image is not a motion file; -1 after one log line on any other failure,
// and then the read model holds nothing of the set.
int LoadVmdMotion(ReadModel* model, const char* setName, const uint8_t* image, uint32_t imageSize,
                  PmdBoneWork* bones, int boneCount, PmdIkChain* firstChain);

// Clears every bone's per-motion links (the baked keys live in the read
// model's blocks and go with it).
void ReleasePmdBoneKeys(PmdBoneWork* bones, int boneCount);

// Sets the bone's pose to its baked key value at frame f.
void LoadPmdBoneKeyPose(PmdBoneWork* bone, uint32_t f);
// Every knee chain's measured length: the effector's and every chain bone's
// but the last pose translation lengths, summed.
void MeasurePmdIkChains(PmdIkChain* list, PmdBoneWork* bones);
// Solves every chain of the list in list order. 0.
int ApplyPmdIk(uint32_t f, PmdIkChain* list, PmdBoneWork* bones);
// One cyclic-coordinate-descent solve of the chain at the current pose. 0.
int SolveIkChain(PmdBoneWork* bones, PmdIkChain* chain);

// world = pose matrix x parent's world (the pose matrix alone at the top).
void UpdatePmdBoneMatrix(PmdBoneWork* bone);
// Only the world matrix's translation row, from the pose translation and
// the parent's world: the bits UpdatePmdBoneMatrix gives it.
void UpdatePmdBonePosition(PmdBoneWork* bone);
// Every bone's, in file order: a bone listed before its parent takes the
// parent's matrix of the update before. 0.
int UpdatePmdBoneMatrices(int boneCount, PmdBoneWork* bones);

// The rotation matrix of a unit quaternion for row vectors, zero translation.
void PmdQuatToMatrix(Mat4* out, const PmdQuat* q);
// Divides the four components by their length.
void QuatNormalize(PmdQuat* q);
// The rotation of the three angles (radians) that EulerFromQuat gives back.
void QuatFromEuler(PmdQuat* out, float x, float y, float z);
// The same with sines and cosines from the caller's evaluator (the same bits).
void QuatFromEuler(PmdQuat* out, float x, float y, float z, const ExactSinCos& sinCos);
// The angles of a unit quaternion; at the y angle's limits z is 0.
void EulerFromQuat(Vec3* out, const PmdQuat* q);
// EulerFromQuat's x and y; z is 0.
void EulerXYFromQuat(Vec3* out, const PmdQuat* q);
// a (x) b, Hamilton's product: the rotation b, then a.
PmdQuat QuatMultiply(const PmdQuat& a, const PmdQuat& b);

}  // namespace tessel
