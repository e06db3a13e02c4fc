// Skin bones of a finished base: meshes of several frames often carry the
// same bone with the same bind matrix, and one matrix a frame is enough. Equal
// bones merge into the first, the kept ones are sorted by frame, their uses
// are regrouped and every frame reference follows its bone to its new place.
#include <cstring>
#include <utility>

#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "models/core/model_records.h"
#include "models/read/read_model_preparation.h"

namespace tessel {

namespace {

// Carved from one tracked block: a copy of the bones and of the uses, each
// old bone's new place and the old index of each kept bone.
struct MergeWork {
    void* block = nullptr;
    ModelSkinBone* bones = nullptr;
    ModelSkinBoneUse* uses = nullptr;
    int32_t* placeOf = nullptr;
    int32_t* kept = nullptr;
    int32_t* order = nullptr;        // the unsorted place of each sorted bone
    int32_t* sortedPlace = nullptr;  // the sorted place of each unsorted one

    ~MergeWork() { FreeTracked(block); }
};

bool AllocateWork(const ModelBase* base, MergeWork* work) {
    const auto bones = static_cast<uint64_t>(base->skinBoneCount);
    const auto uses =
        static_cast<uint64_t>(base->skinBoneUseCount > 0 ? base->skinBoneUseCount : 0);
    const uint64_t bytes = bones * (sizeof(ModelSkinBone) + 16) + uses * sizeof(ModelSkinBoneUse);
    work->block = bytes > UINT32_MAX ? nullptr : AllocTracked(static_cast<uint32_t>(bytes), "", 0);
    if (work->block == nullptr) {
        WriteLog(
            "Model Optimize Error : "
            "スキニングメッシュ情報最適化処理で使用するテンポラリバッファの確保に失敗しました\n");
        return false;
    }
    auto* at = static_cast<uint8_t*>(work->block);
    work->bones = reinterpret_cast<ModelSkinBone*>(at);
    at += bones * sizeof(ModelSkinBone);
    work->uses = reinterpret_cast<ModelSkinBoneUse*>(at);
    at += uses * sizeof(ModelSkinBoneUse);
    work->placeOf = reinterpret_cast<int32_t*>(at);
    work->kept = work->placeOf + bones;
    work->order = work->kept + bones;
    work->sortedPlace = work->order + bones;
    std::memcpy(work->bones, base->skinBones, bones * sizeof(ModelSkinBone));
    if (uses > 0) {
        std::memcpy(work->uses, base->skinBoneUses, uses * sizeof(ModelSkinBoneUse));
    }
    return true;
}

bool SameBone(const ModelSkinBone& a, const ModelSkinBone& b) {
    return a.boneFrame == b.boneFrame && std::memcmp(&a.bind, &b.bind, sizeof a.bind) == 0;
}

// The kept bones in order; placeOf gives each bone its kept position. Their
// number.
int MergeEqualBones(int count, MergeWork* work) {
    int keptCount = 0;
    for (int i = 0; i < count; ++i) {
        int place = 0;
        while (place < keptCount && !SameBone(work->bones[work->kept[place]], work->bones[i])) {
            ++place;
        }
        if (place == keptCount) {
            work->kept[keptCount++] = i;
        }
        work->placeOf[i] = place;
    }
    return keptCount;
}

// Exchange sort by frame: for each position every later bone of a smaller
// frame is swapped in. Turns placeOf into each old bone's sorted place; true
// when anything moved.
bool SortByFrame(int count, int keptCount, MergeWork* work) {
    for (int p = 0; p < keptCount; ++p) {
        work->order[p] = p;
    }
    bool moved = false;
    for (int p = 0; p < keptCount; ++p) {
        for (int q = p + 1; q < keptCount; ++q) {
            if (work->bones[work->kept[q]].boneFrame < work->bones[work->kept[p]].boneFrame) {
                std::swap(work->kept[p], work->kept[q]);
                std::swap(work->order[p], work->order[q]);
                moved = true;
            }
        }
    }
    for (int p = 0; p < keptCount; ++p) {
        work->sortedPlace[work->order[p]] = p;
    }
    for (int i = 0; i < count; ++i) {
        work->placeOf[i] = work->sortedPlace[work->placeOf[i]];
    }
    return moved;
}

// The uses of an old bone, as a run of the copied use array; empty when the
// bone's run does not lie inside the base's array.
void UseRun(const ModelBase* base, const ModelSkinBone& bone, const MergeWork& work,
            const ModelSkinBoneUse** first, int* count) {
    *first = nullptr;
    *count = 0;
    if (bone.useCount <= 0 || bone.uses == nullptr || base->skinBoneUses == nullptr) {
        return;
    }
    const auto at = reinterpret_cast<uintptr_t>(bone.uses);
    const auto start = reinterpret_cast<uintptr_t>(base->skinBoneUses);
    const uintptr_t size = sizeof(ModelSkinBoneUse);
    if (at < start || (at - start) % size != 0) {
        return;
    }
    const uint64_t offset = (at - start) / size;
    if (offset + static_cast<uint64_t>(bone.useCount) >
        static_cast<uint64_t>(base->skinBoneUseCount)) {
        return;
    }
    *first = work.uses + offset;
    *count = bone.useCount;
}

void PointReference(ModelBase* base, const ModelSkinBoneUse& use, ModelSkinBone* bone) {
    if (use.frame < 0 || use.frame >= base->frameCount || base->frameSkinBoneRefs == nullptr) {
        return;
    }
    const ModelFrame& frame = base->frames[use.frame];
    if (use.refPosition < 0 || use.refPosition >= frame.skinBoneRefCount) {
        return;
    }
    const int64_t slot = static_cast<int64_t>(frame.firstSkinBoneRef) + use.refPosition;
    if (slot < 0 || slot >= base->frameSkinBoneRefCount) {
        return;
    }
    base->frameSkinBoneRefs[slot] = bone;
}

// Writes the kept bones back in their new order with their uses regrouped
// behind one another, and points every frame reference at its bone.
void WriteBack(ModelBase* base, int count, int keptCount, const int32_t* newPlaceOfOld,
               const MergeWork& work) {
    int32_t written = 0;
    for (int place = 0; place < keptCount; ++place) {
        ModelSkinBone& bone = base->skinBones[place];
        bone = work.bones[work.kept[place]];
        bone.uses = base->skinBoneUses + written;
        bone.useCount = 0;
        for (int i = 0; i < count; ++i) {
            if (newPlaceOfOld[i] != place) {
                continue;
            }
            const ModelSkinBoneUse* uses = nullptr;
            int useCount = 0;
            UseRun(base, work.bones[i], work, &uses, &useCount);
            for (int u = 0; u < useCount; ++u) {
                base->skinBoneUses[written++] = uses[u];
                PointReference(base, uses[u], &bone);
            }
            bone.useCount += useCount;
        }
        if (bone.useCount == 0) {
            bone.uses = nullptr;
        }
    }
    base->skinBoneCount = keptCount;
}

void LinkFramesToBones(ModelBase* base) {
    for (int f = 0; f < base->frameCount; ++f) {
        base->frames[f].skinBoneCount = 0;
        base->frames[f].firstSkinBone = nullptr;
    }
    for (int b = 0; b < base->skinBoneCount; ++b) {
        ModelSkinBone& bone = base->skinBones[b];
        if (bone.boneFrame < 0 || bone.boneFrame >= base->frameCount) {
            continue;
        }
        ModelFrame& frame = base->frames[bone.boneFrame];
        if (frame.skinBoneCount++ == 0) {
            frame.firstSkinBone = &bone;
        }
    }
}

}  // namespace

int OptimiseSkinningMeshes(ModelBase* base) {
    if (base->skinBoneCount <= 0) {
        return 1;
    }
    MergeWork work;
    if (!AllocateWork(base, &work)) {
        return 0;
    }
    const int count = base->skinBoneCount;
    const int keptCount = MergeEqualBones(count, &work);
    const bool moved = SortByFrame(count, keptCount, &work);
    if (moved || keptCount < count) {
        WriteBack(base, count, keptCount, work.placeOf, work);
    }
    LinkFramesToBones(base);
    return 1;
}

}  // namespace tessel
