// The motion reader: bone and morph keys of a motion file into an animation
// set of the PMD reader's read model.
#include "models/pmd/pmd_work.h"

namespace tessel {

int LoadVmdMotion(ReadModel* model, const char* setName, const uint8_t* image, uint32_t imageSize,
                  PmdBoneWork* bones, int boneCount, PmdIkChain* firstChain) {
    return -1;
}

void ReleasePmdBoneKeys(PmdBoneWork* bones, int boneCount) {}

void LoadPmdBoneKeyPose(PmdBoneWork* bone, uint32_t f) {}

void MeasurePmdIkChains(PmdIkChain* list, PmdBoneWork* bones) {}

int ApplyPmdIk(uint32_t f, PmdIkChain* list, PmdBoneWork* bones) {
    return 0;
}

int SolveIkChain(PmdBoneWork* bones, PmdIkChain* chain) {
    return 0;
}

}  // namespace tessel
