// Baking the IK chains' keys: every frame is posed afresh from the baked
// keys, its knee chains measured, its chains solved and its chain bones' keys
// stored. A frame reads nothing that the solves of the frames before it
// wrote; it follows them only through the key cursors of the bones outside
// the chains, which step at most one key a frame. So a long bake goes to
// worker threads in runs of consecutive frames, each run with its own copy of
// the bones and chains, the cursors walked beforehand to where each run
// starts: every key comes out with the bits of a bake on one thread.
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "foundation/memory/memory.h"
#include "models/pmd/vmd_internal.h"
#include "platform/kernel.h"

namespace tessel {

namespace {

// Past this many threads a shared machine gives little more.
constexpr int kMostBakeRuns = 8;
// Chain solves a run must hold to pay for its thread: a walk frame's two
// knee chains take some 80 microseconds, a thread's start some 50.
constexpr uint64_t kChainFramesPerRun = 128;

std::atomic<int> g_forcedRuns{0};
std::atomic<int> g_threadStartLimit{-1};
std::atomic<int> g_lastBakeRuns{0};

void BakeFrame(uint32_t f, PmdBoneWork* bones, int boneCount, PmdIkChain* chains) {
    for (int b = 0; b < boneCount; ++b) {
        LoadPmdBoneKeyPose(&bones[b], f);
    }
    MeasurePmdIkChains(chains, bones);
    UpdatePmdBoneMatrices(boneCount, bones);
    if (chains != nullptr) {
        ApplyPmdIk(f, chains, bones);
    }
    for (int b = 0; b < boneCount; ++b) {
        PmdBoneWork* bone = &bones[b];
        if (bone->inChain == 0 || bone->anim == nullptr) {
            continue;
        }
        bone->translationTimes[f] = static_cast<float>(f);
        bone->rotationTimes[f] = static_cast<float>(f);
        bone->bakedTranslations[f] = bone->poseTranslation;
        bone->bakedRotations[f] = bone->poseRotation;
    }
}

// Frames first to end - 1 on one set of bones and chains.
struct BakeRun {
    PmdBoneWork* bones;
    int boneCount;
    PmdIkChain* chains;
    uint32_t first;
    uint32_t end;
};

void BakeFrames(const BakeRun& run) {
    for (uint32_t f = run.first; f < run.end; ++f) {
        BakeFrame(f, run.bones, run.boneCount, run.chains);
    }
}

// A thread starts under its creator's rounding and precision modes, so a
// worker computes as the calling thread would.
DWORD BakeOnWorker(LPVOID parameter) {
    BakeFrames(*static_cast<const BakeRun*>(parameter));
    return 0;
}

int CountChains(const PmdIkChain* chains) {
    int count = 0;
    for (; chains != nullptr; chains = chains->next) {
        ++count;
    }
    return count;
}

// Whether frame f's keys follow from the cursors' state alone: every bone's
// parent comes before it (so each frame's matrices are all its own), and
// every bone a solve turns is a chain bone that each frame poses afresh.
bool FramesStandAlone(const PmdBoneWork* bones, int boneCount, const PmdIkChain* chains,
                      uint32_t lastFrame) {
    for (int b = 0; b < boneCount; ++b) {
        const PmdBoneWork& bone = bones[b];
        if (bone.parent != nullptr && !(bone.parent >= bones && bone.parent < &bone)) {
            return false;
        }
        const bool posedAfresh =
            bone.fixedPose != 0 || static_cast<int64_t>(bone.bakedCount) > int64_t{lastFrame};
        if (bone.inChain != 0 && !posedAfresh) {
            return false;
        }
    }
    for (const PmdIkChain* chain = chains; chain != nullptr; chain = chain->next) {
        for (int j = 0; j < chain->chainLength; ++j) {
            if (bones[PmdChainBone(chain, j)].inChain == 0) {
                return false;
            }
        }
    }
    return true;
}

int BakeRunCount(uint32_t frames, int chainCount) {
    const int forced = g_forcedRuns.load();
    uint64_t runs = static_cast<uint64_t>(forced);
    if (forced <= 0) {
        const long processors = sysconf(_SC_NPROCESSORS_ONLN);
        runs = uint64_t{frames} * static_cast<uint64_t>(chainCount) / kChainFramesPerRun;
        runs = processors > 0 && static_cast<uint64_t>(processors) < runs
                   ? static_cast<uint64_t>(processors)
                   : runs;
    }
    runs = runs < kMostBakeRuns ? runs : kMostBakeRuns;
    runs = runs < frames ? runs : frames;
    return runs > 0 ? static_cast<int>(runs) : 1;
}

// Copies `count` bones, their parents pointing into the copy.
void CopyBones(PmdBoneWork* to, const PmdBoneWork* from, int count) {
    std::memcpy(to, from, sizeof(PmdBoneWork) * static_cast<size_t>(count));
    for (int b = 0; b < count; ++b) {
        to[b].parent = from[b].parent != nullptr ? to + (from[b].parent - from) : nullptr;
    }
}

// Copies the chain but its links, its bones those of `toBones`.
void CopyChain(PmdIkChain* to, const PmdIkChain* from, PmdBoneWork* toBones,
               const PmdBoneWork* fromBones) {
    PmdIkChain* const prev = to->prev;
    PmdIkChain* const next = to->next;
    *to = *from;
    to->prev = prev;
    to->next = next;
    to->target = toBones + (from->target - fromBones);
    to->effector = toBones + (from->effector - fromBones);
}

// A run's own bones and chains, the chains an array linked in list order.
void CopyRig(const BakeRun& shared, PmdBoneWork* bones, PmdIkChain* chains) {
    CopyBones(bones, shared.bones, shared.boneCount);
    int i = 0;
    for (const PmdIkChain* c = shared.chains; c != nullptr; c = c->next, ++i) {
        chains[i].prev = i > 0 ? &chains[i - 1] : nullptr;
        chains[i].next = c->next != nullptr ? &chains[i + 1] : nullptr;
        CopyChain(&chains[i], c, bones, shared.bones);
    }
}

// The state the bake leaves behind: that of the last run's last frame.
void KeepLastRun(const BakeRun& shared, const BakeRun& last) {
    CopyBones(shared.bones, last.bones, shared.boneCount);
    PmdIkChain* to = shared.chains;
    for (const PmdIkChain* c = last.chains; c != nullptr; c = c->next, to = to->next) {
        CopyChain(to, c, shared.bones, last.bones);
    }
}

// Advances the cursors and poses of the bones outside the chains over
// frames first to end - 1, as the frames' poses would.
void WalkCursors(PmdBoneWork* bones, int boneCount, uint32_t first, uint32_t end) {
    for (uint32_t f = first; f < end; ++f) {
        for (int b = 0; b < boneCount; ++b) {
            if (bones[b].inChain == 0) {
                LoadPmdBoneKeyPose(&bones[b], f);
            }
        }
    }
}

HANDLE StartWorker(BakeRun* run, int started) {
    const int limit = g_threadStartLimit.load();
    if (limit >= 0 && started >= limit) {
        return nullptr;
    }
    return CreateThread(nullptr, 0, BakeOnWorker, run, 0, nullptr);
}

// Run 0 on the calling thread, the others on threads; the calling thread
// takes over the runs whose thread did not start.
void RunAll(BakeRun* runs, int count) {
    HANDLE threads[kMostBakeRuns] = {};
    int started = 0;
    for (int k = 1; k < count; ++k) {
        threads[k] = StartWorker(&runs[k], started);
        started += threads[k] != nullptr ? 1 : 0;
    }
    for (int k = 0; k < count; ++k) {
        if (threads[k] == nullptr) {
            BakeFrames(runs[k]);
        }
    }
    for (int k = 1; k < count; ++k) {
        if (threads[k] != nullptr) {
            WaitForSingleObject(threads[k], INFINITE);
            CloseHandle(threads[k]);
        }
    }
}

// false, having done nothing, when the runs' copies find no memory.
bool BakeInRuns(const BakeRun& shared, int chainCount, int count) {
    const uint64_t perRun = sizeof(PmdBoneWork) * static_cast<uint64_t>(shared.boneCount) +
                            sizeof(PmdIkChain) * static_cast<uint64_t>(chainCount);
    const uint64_t bytes = perRun * static_cast<uint64_t>(count);
    void* block = bytes > 0 && bytes <= UINT32_MAX
                      ? AllocTracked(static_cast<uint32_t>(bytes), __FILE__, __LINE__)
                      : nullptr;
    if (block == nullptr) {
        return false;
    }
    auto* bones = static_cast<PmdBoneWork*>(block);
    auto* chains = reinterpret_cast<PmdIkChain*>(bones + shared.boneCount * count);
    BakeRun runs[kMostBakeRuns];
    const uint64_t frames = shared.end;
    for (int k = 0; k < count; ++k) {
        const auto first = static_cast<uint32_t>(frames * static_cast<uint64_t>(k) / count);
        const auto end = static_cast<uint32_t>(frames * static_cast<uint64_t>(k + 1) / count);
        WalkCursors(shared.bones, shared.boneCount, k > 0 ? runs[k - 1].first : 0, first);
        PmdBoneWork* runBones = bones + shared.boneCount * k;
        PmdIkChain* runChains = chainCount > 0 ? chains + chainCount * k : nullptr;
        runs[k] = BakeRun{runBones, shared.boneCount, runChains, first, end};
        CopyRig(shared, runBones, runChains);
    }
    RunAll(runs, count);
    KeepLastRun(shared, runs[count - 1]);
    FreeTracked(block);
    return true;
}

}  // namespace

void BakeVmdIk(PmdBoneWork* bones, int boneCount, PmdIkChain* chains, uint32_t lastFrame) {
    const BakeRun all{bones, boneCount, chains, 0, lastFrame + 1};
    const int chainCount = CountChains(chains);
    const int count = FramesStandAlone(bones, boneCount, chains, lastFrame)
                          ? BakeRunCount(all.end, chainCount)
                          : 1;
    const bool inRuns = count > 1 && BakeInRuns(all, chainCount, count);
    if (!inRuns) {
        BakeFrames(all);
    }
    g_lastBakeRuns.store(inRuns ? count : 1);
}

void ForceVmdIkBakeRuns(int runs, int threadStarts) {
    g_forcedRuns.store(runs);
    g_threadStartLimit.store(threadStarts);
}

int VmdIkBakeRunsOfLastBake() {
    return g_lastBakeRuns.load();
}

}  // namespace tessel
