// Baking the IK chains' keys: every frame is posed afresh from the baked
// keys, its knee chains measured, its chains solved and its chain bones' keys
// stored. A frame reads nothing that the solves of the frames before it
// wrote; it follows them only through the key cursors of the bones outside
// the chains, which step at most one key a frame. So a long bake is cut into
// parts of consecutive frames, the cursors walked beforehand to where each
// part starts, and worker threads, each with its own copy of the bones and
// chains, take the parts in turn: every key comes out with the bits of a
// bake on one thread, whichever worker bakes it.
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "foundation/memory/memory.h"
#include "models/pmd/vmd_internal.h"

namespace tessel {

namespace {

// Past this many threads a shared machine gives little more.
constexpr int kMostBakeWorkers = 8;
// Chain solves a worker must have to pay for its thread: a walk frame's two
// knee chains take some 80 microseconds, a thread's start some 50.
constexpr uint64_t kChainFramesPerWorker = 128;
// Parts per worker: on a loaded machine a thread that starts late or loses
// its processor leaves its parts to the others.
constexpr int kPartsPerWorker = 8;
// The parts' starting states, and the workers' copies of the bones and
// chains, stop multiplying past these.
constexpr uint64_t kMostPartStartBytes = 16u << 20;
constexpr uint64_t kMostCopyBytes = 64u << 20;

std::atomic<int> g_forcedWorkers{0};
std::atomic<int> g_threadStartLimit{-1};
std::atomic<int> g_lastBakeWorkers{0};

void BakeFrames(PmdBoneWork* bones, int boneCount, PmdIkChain* chains, uint32_t first,
                uint32_t end) {
    for (uint32_t f = first; f < end; ++f) {
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
}

int CountChains(const PmdIkChain* chains) {
    int count = 0;
    for (; chains != nullptr; chains = chains->next) {
        ++count;
    }
    return count;
}

// Whether frame f's keys follow from the cursors and poses of the bones
// outside the chains alone: every bone's parent comes before it (so each
// frame's matrices are all its own), and every bone a solve turns is a chain
// bone that each frame poses afresh.
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

uint64_t Smaller(uint64_t a, uint64_t b) {
    return a < b ? a : b;
}

int WorkerCount(uint32_t frames, int chainCount) {
    const int forced = g_forcedWorkers.load();
    uint64_t workers = static_cast<uint64_t>(forced);
    if (forced <= 0) {
        const long processors = sysconf(_SC_NPROCESSORS_ONLN);
        workers = uint64_t{frames} * static_cast<uint64_t>(chainCount) / kChainFramesPerWorker;
        workers = processors > 0 ? Smaller(workers, static_cast<uint64_t>(processors)) : workers;
    }
    workers = Smaller(Smaller(workers, kMostBakeWorkers), frames);
    return workers > 0 ? static_cast<int>(workers) : 1;
}

// What a part's first frame finds of each bone from the frames before it.
struct BoneStart {
    VmdBoneKey* cursor;
    Vec3 poseTranslation;
    PmdQuat poseRotation;
};

// The bake's parts, read by every worker; the next part not yet taken.
struct PartPlan {
    const BoneStart* starts;  // boneCount a part
    const uint32_t* firsts;   // a part's first frame; the last is the frame count
    int boneCount;
    int partCount;
    std::atomic<int> next;
};

struct Worker {
    PartPlan* plan;
    PmdBoneWork* bones;
    PmdIkChain* chains;
    bool tookLastPart;
};

void* TakeParts(void* parameter) {
    auto* worker = static_cast<Worker*>(parameter);
    PartPlan* plan = worker->plan;
    for (int part = plan->next.fetch_add(1); part < plan->partCount;
         part = plan->next.fetch_add(1)) {
        const BoneStart* starts = plan->starts + static_cast<size_t>(plan->boneCount) * part;
        for (int b = 0; b < plan->boneCount; ++b) {
            worker->bones[b].cursor = starts[b].cursor;
            worker->bones[b].poseTranslation = starts[b].poseTranslation;
            worker->bones[b].poseRotation = starts[b].poseRotation;
        }
        BakeFrames(worker->bones, plan->boneCount, worker->chains, plan->firsts[part],
                   plan->firsts[part + 1]);
        worker->tookLastPart = worker->tookLastPart || part + 1 == plan->partCount;
    }
    return nullptr;
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

// A worker's own bones and chains, the chains an array linked in list order.
void CopyRig(Worker* worker, PmdBoneWork* bones, int boneCount, const PmdIkChain* chains) {
    CopyBones(worker->bones, bones, boneCount);
    int i = 0;
    for (const PmdIkChain* c = chains; c != nullptr; c = c->next, ++i) {
        PmdIkChain* copy = &worker->chains[i];
        copy->prev = i > 0 ? copy - 1 : nullptr;
        copy->next = c->next != nullptr ? copy + 1 : nullptr;
        CopyChain(copy, c, worker->bones, bones);
    }
}

// The state the bake leaves behind: that of the last part's last frame.
void KeepLastPart(const Worker& last, PmdBoneWork* bones, int boneCount, PmdIkChain* chains) {
    CopyBones(bones, last.bones, boneCount);
    PmdIkChain* to = chains;
    for (const PmdIkChain* c = last.chains; c != nullptr; c = c->next, to = to->next) {
        CopyChain(to, c, bones, last.bones);
    }
}

// Each part's first frame and what it finds of the bones: the cursors and
// poses of the bones outside the chains walked over the frames before it,
// as the frames' poses would walk them.
void PlanParts(PmdBoneWork* bones, int boneCount, uint32_t frames, BoneStart* starts,
               uint32_t* firsts, int partCount) {
    uint32_t walked = 0;
    for (int part = 0; part <= partCount; ++part) {
        firsts[part] = static_cast<uint32_t>(uint64_t{frames} * static_cast<uint64_t>(part) /
                                             static_cast<uint64_t>(partCount));
    }
    for (int part = 0; part < partCount; ++part) {
        for (; walked < firsts[part]; ++walked) {
            for (int b = 0; b < boneCount; ++b) {
                if (bones[b].inChain == 0) {
                    LoadPmdBoneKeyPose(&bones[b], walked);
                }
            }
        }
        BoneStart* start = starts + static_cast<size_t>(boneCount) * part;
        for (int b = 0; b < boneCount; ++b) {
            start[b] = BoneStart{bones[b].cursor, bones[b].poseTranslation, bones[b].poseRotation};
        }
    }
}

int PartCount(uint32_t frames, int boneCount, int workers) {
    const uint64_t startBytes = sizeof(BoneStart) * static_cast<uint64_t>(boneCount);
    uint64_t parts = static_cast<uint64_t>(workers) * kPartsPerWorker;
    parts = startBytes > 0 ? Smaller(parts, kMostPartStartBytes / startBytes) : parts;
    parts = parts > static_cast<uint64_t>(workers) ? parts : static_cast<uint64_t>(workers);
    return static_cast<int>(Smaller(parts, frames));
}

// Worker 0 is the calling thread; the others start on threads of their own
// while they can. The parts of threads that did not start are left to those
// that did.
void RunWorkers(Worker* workers, int count) {
    pthread_t threads[kMostBakeWorkers];
    bool started[kMostBakeWorkers] = {};
    const int limit = g_threadStartLimit.load();
    int starts = 0;
    for (int w = 1; w < count && (limit < 0 || starts < limit); ++w) {
        started[w] = pthread_create(&threads[w], nullptr, TakeParts, &workers[w]) == 0;
        starts += started[w] ? 1 : 0;
    }
    TakeParts(&workers[0]);
    for (int w = 1; w < count; ++w) {
        if (started[w]) {
            pthread_join(threads[w], nullptr);
        }
    }
}

// Bytes rounded up to whole pairs of cache lines: each worker writes its
// poses, matrices and iteration counts all the time, and a line two workers
// share would pass between their processors at every write.
uint64_t Apart(uint64_t bytes) {
    constexpr uint64_t kLinePair = 128;
    return (bytes + kLinePair - 1) / kLinePair * kLinePair;
}

// The workers that baked, at most workerCount; 0, having done nothing, when
// fewer than two fit the copies' bounds or their copies find no memory.
int BakeInParts(PmdBoneWork* bones, int boneCount, PmdIkChain* chains, uint32_t frames,
                int workerCount) {
    const int chainCount = CountChains(chains);
    const uint64_t chainsAt = sizeof(PmdBoneWork) * static_cast<uint64_t>(boneCount);
    const uint64_t perWorker = Apart(chainsAt + sizeof(PmdIkChain) * chainCount);
    workerCount = static_cast<int>(Smaller(static_cast<uint64_t>(workerCount),
                                           kMostCopyBytes / (perWorker > 0 ? perWorker : 1)));
    if (workerCount < 2 || boneCount <= 0) {
        return 0;
    }
    const int partCount = PartCount(frames, boneCount, workerCount);
    const uint64_t startsAt = perWorker * static_cast<uint64_t>(workerCount);
    const uint64_t firstsAt = startsAt + sizeof(BoneStart) * static_cast<uint64_t>(boneCount) *
                                             static_cast<uint64_t>(partCount);
    const uint64_t bytes = firstsAt + sizeof(uint32_t) * (static_cast<uint64_t>(partCount) + 1);
    auto* block =
        static_cast<uint8_t*>(AllocTracked(static_cast<uint32_t>(bytes), __FILE__, __LINE__));
    if (block == nullptr) {
        return 0;
    }
    auto* starts = reinterpret_cast<BoneStart*>(block + startsAt);
    auto* firsts = reinterpret_cast<uint32_t*>(block + firstsAt);
    Worker workers[kMostBakeWorkers];
    for (int w = 0; w < workerCount; ++w) {
        uint8_t* own = block + perWorker * static_cast<uint64_t>(w);
        workers[w] =
            Worker{nullptr, reinterpret_cast<PmdBoneWork*>(own),
                   chainCount > 0 ? reinterpret_cast<PmdIkChain*>(own + chainsAt) : nullptr, false};
        CopyRig(&workers[w], bones, boneCount, chains);
    }
    PlanParts(bones, boneCount, frames, starts, firsts, partCount);
    PartPlan plan{starts, firsts, boneCount, partCount, {0}};
    for (int w = 0; w < workerCount; ++w) {
        workers[w].plan = &plan;
    }
    RunWorkers(workers, workerCount);
    for (int w = 0; w < workerCount; ++w) {
        if (workers[w].tookLastPart) {
            KeepLastPart(workers[w], bones, boneCount, chains);
        }
    }
    FreeTracked(block);
    return workerCount;
}

}  // namespace

void BakeVmdIk(PmdBoneWork* bones, int boneCount, PmdIkChain* chains, uint32_t lastFrame) {
    const uint32_t frames = lastFrame + 1;
    const int workers = FramesStandAlone(bones, boneCount, chains, lastFrame)
                            ? WorkerCount(frames, CountChains(chains))
                            : 1;
    const int baked = workers > 1 ? BakeInParts(bones, boneCount, chains, frames, workers) : 0;
    if (baked == 0) {
        BakeFrames(bones, boneCount, chains, 0, frames);
    }
    g_lastBakeWorkers.store(baked > 0 ? baked : 1);
}

void ForceVmdIkBakeWorkers(int workers, int threadStarts) {
    g_forcedWorkers.store(workers);
    g_threadStartLimit.store(threadStarts);
}

int VmdIkBakeWorkersOfLastBake() {
    return g_lastBakeWorkers.load();
}

}  // namespace tessel
