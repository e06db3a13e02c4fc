// Posing the bones of a motion frame by frame: each bone's baked key at the
// frame, then the IK chains by cyclic coordinate descent, knees bending one
// way only.
#include "foundation/base/numbers.h"
#include "models/math/model_math.h"
#include "models/pmd/vmd_internal.h"

namespace tessel {

namespace {

constexpr int kIkIterationCeiling = 10000;
constexpr float kKneeKick = 0.2f;
constexpr float kKneeSideLimit = 0.05235988274216652f;

Vec3 WorldPosition(const PmdBoneWork* bone) {
    return Vec3{bone->world.m[3][0], bone->world.m[3][1], bone->world.m[3][2]};
}

float SquaredDistance(const Vec3& a, const Vec3& b) {
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz;
}

void SetBakedPose(PmdBoneWork* bone, int32_t index) {
    if (index < 0 || index >= bone->bakedCount) {
        return;
    }
    bone->poseTranslation = bone->bakedTranslations[index];
    bone->poseRotation = bone->bakedRotations[index];
}

PmdBoneWork* ChainBone(PmdBoneWork* bones, const PmdIkChain* chain, int j) {
    return &bones[PmdChainBone(chain, j)];
}

// World matrices of chain bones `from` down to 0, then the effector's.
void UpdateChainFrom(PmdBoneWork* bones, const PmdIkChain* chain, int from) {
    for (int j = from; j >= 0; --j) {
        UpdatePmdBoneMatrix(ChainBone(bones, chain, j));
    }
    UpdatePmdBoneMatrix(chain->effector);
}

void AddToXAngle(PmdQuat* rotation, float amount, const ExactSinCos& sinCos) {
    Vec3 angles;
    EulerFromQuat(&angles, rotation);
    QuatFromEuler(rotation, angles.x + amount, angles.y, angles.z, sinCos);
}

// The state of one solve that the knee rules share across its steps.
struct IkSolve {
    PmdBoneWork* bones;
    const PmdIkChain* chain;
    Vec3 target;
    int budget;
    bool kneePending;
    bool kneeDone;
    bool stuckBendDone;
    // A rotation was written in this iteration. An iteration that writes none
    // leaves the pose, the flags and the budget as they were, so every later
    // one would do the same nothing: the solve may end there.
    bool moved;
    ExactSinCos sinCos;
};

bool KneeKickDue(const IkSolve& solve, bool belowKnee) {
    return belowKnee && solve.kneePending && !solve.kneeDone;
}

// A knee keeps its x angle at or below 1e-4, turns little about y and not
// at all about z; meeting the x limit asks the bone above for a kick.
void HoldKnee(IkSolve* solve, PmdQuat* rotation) {
    QuatNormalize(rotation);
    Vec3 angles;
    EulerFromQuat(&angles, rotation);
    if (angles.x > 1e-4f) {
        angles.x = 1e-4f;
        // The extra iterations come once, when the limit is first met: a knee
        // with no chain bone above it is never kicked, and adding them at every
        // meeting would run its solve to the ceiling at every frame.
        if (!solve->kneePending && !solve->kneeDone) {
            solve->budget += 10;
        }
        solve->kneePending = true;
    }
    angles.y = angles.y < -kKneeSideLimit ? -kKneeSideLimit
                                          : (angles.y > kKneeSideLimit ? kKneeSideLimit : angles.y);
    QuatFromEuler(rotation, angles.x, angles.y, 0.0f, solve->sinCos);
}

// The kick of the bone above a knee that met its limit.
void KickAboveKnee(IkSolve* solve, PmdBoneWork* bone) {
    AddToXAngle(&bone->poseRotation, kKneeKick, solve->sinCos);
    QuatNormalize(&bone->poseRotation);
    solve->moved = true;
    solve->kneePending = false;
    solve->kneeDone = true;
}

// A chain reaching for a target nearer than its length, yet stuck straight,
// bends once.
void StuckTest(IkSolve* solve, PmdBoneWork* bone, bool belowKnee) {
    const PmdBoneWork* last = ChainBone(solve->bones, solve->chain, solve->chain->chainLength - 1);
    const float reach = SqrtFloat(SquaredDistance(WorldPosition(last), solve->target));
    if (!solve->stuckBendDone && solve->chain->measuredLength > reach) {
        AddToXAngle(&bone->poseRotation, kKneeKick, solve->sinCos);
        solve->moved = true;
        solve->budget += 10;
        solve->stuckBendDone = true;
    }
    if (KneeKickDue(*solve, belowKnee)) {
        KickAboveKnee(solve, bone);
    }
}

enum class StepEnd { kUpdate, kDistance, kStuck, kKick };

// The rotation of one chain bone toward the target; what is left to do.
StepEnd TurnBone(IkSolve* solve, PmdBoneWork* bone, bool belowKnee, const Vec3& effector) {
    Mat4 inverse;
    if (MatInverted(&inverse, &bone->world) != 0) {
        return StepEnd::kUpdate;
    }
    Vec3 localTarget, localEffector;
    Vec3TransformAffine(&localTarget, &solve->target, &inverse);
    Vec3TransformAffine(&localEffector, &effector, &inverse);
    if (Vec3Dot(&localTarget, &localTarget) <= 0.0f ||
        Vec3Dot(&localEffector, &localEffector) <= 0.0f) {
        return StepEnd::kUpdate;
    }
    Vec3Normalise(&localTarget, &localTarget);
    Vec3Normalise(&localEffector, &localEffector);
    // The angle from both the sine and the cosine: acos of a float dot
    // product cannot tell angles below about 3e-4 from 0, which would leave
    // an effector some thousandths of a leg's length off its target.
    Vec3 axis;
    Vec3Cross(&axis, &localEffector, &localTarget);
    const float sineLength = SqrtFloat(Vec3Dot(&axis, &axis));
    float angle = static_cast<float>(Atan2F(sineLength, Vec3Dot(&localTarget, &localEffector)));
    const float limit = solve->chain->angleLimit;
    angle = angle < -limit ? -limit : (angle > limit ? limit : angle);
    const float still = belowKnee && !solve->stuckBendDone ? 0.001f : 1e-6f;
    if (angle > -still && angle < still) {
        return belowKnee ? StepEnd::kDistance : StepEnd::kUpdate;
    }
    if (Vec3Dot(&axis, &axis) < 1e-13f) {
        return StepEnd::kKick;
    }
    Vec3Normalise(&axis, &axis);
    float sine, cosineHalf;
    solve->sinCos(angle * 0.5f, &sine, &cosineHalf);
    PmdQuat turned = QuatMultiply(bone->poseRotation,
                                  PmdQuat{axis.x * sine, axis.y * sine, axis.z * sine, cosineHalf});
    if (KneeKickDue(*solve, belowKnee)) {
        QuatNormalize(&turned);
        AddToXAngle(&turned, kKneeKick, solve->sinCos);
        solve->kneePending = false;
        solve->kneeDone = true;
    } else if (bone->knee != 0) {
        HoldKnee(solve, &turned);
    }
    QuatNormalize(&turned);
    bone->poseRotation = turned;
    solve->moved = true;
    return StepEnd::kUpdate;
}

void StepBone(IkSolve* solve, int j) {
    PmdBoneWork* bone = ChainBone(solve->bones, solve->chain, j);
    const bool belowKnee = j > 0 && ChainBone(solve->bones, solve->chain, j - 1)->knee != 0;
    const Vec3 effector = WorldPosition(solve->chain->effector);
    const float gap = SquaredDistance(solve->target, effector);
    StepEnd end = gap < 1e-9f ? StepEnd::kStuck : TurnBone(solve, bone, belowKnee, effector);
    if (end == StepEnd::kDistance) {
        end = gap < 1e-5f ? StepEnd::kKick : StepEnd::kStuck;
    }
    if (end == StepEnd::kStuck) {
        StuckTest(solve, bone, belowKnee);
    } else if (end == StepEnd::kKick && KneeKickDue(*solve, belowKnee)) {
        KickAboveKnee(solve, bone);
    }
    UpdateChainFrom(solve->bones, solve->chain, j);
}

}  // namespace

void LoadPmdBoneKeyPose(PmdBoneWork* bone, uint32_t f) {
    if (bone->inChain != 0) {
        if (bone->fixedPose == 0) {
            SetBakedPose(bone, static_cast<int32_t>(f));
            return;
        }
        bone->poseTranslation = bone->frame->translation;
        bone->poseRotation = PmdQuat{0.0f, 0.0f, 0.0f, 1.0f};
        return;
    }
    VmdBoneKey* key = bone->cursor;
    if (bone->anim == nullptr || key == nullptr) {
        return;
    }
    if (key->next != nullptr && key->next->frame <= f) {
        key = key->next;
        bone->cursor = key;
    }
    if (key->next != nullptr && key->frame < f) {
        SetBakedPose(bone, key->firstBaked + static_cast<int32_t>(f - key->frame));
        return;
    }
    SetBakedPose(bone, key->firstBaked);
}

void MeasurePmdIkChains(PmdIkChain* list, PmdBoneWork* bones) {
    for (PmdIkChain* chain = list; chain != nullptr; chain = chain->next) {
        if (chain->knee == 0) {
            continue;
        }
        const Vec3& t = chain->effector->poseTranslation;
        float length = Vec3Length(t.x, t.y, t.z);
        for (int j = 0; j + 1 < chain->chainLength; ++j) {
            const Vec3& b = ChainBone(bones, chain, j)->poseTranslation;
            length += Vec3Length(b.x, b.y, b.z);
        }
        chain->measuredLength = length;
    }
}

int ApplyPmdIk(uint32_t f, PmdIkChain* list, PmdBoneWork* bones) {
    for (PmdIkChain* chain = list; chain != nullptr; chain = chain->next) {
        SolveIkChain(bones, chain);
    }
    return 0;
}

int SolveIkChain(PmdBoneWork* bones, PmdIkChain* chain) {
    if (chain->chainLength <= 0) {
        return 0;
    }
    IkSolve solve{
        bones, chain,        WorldPosition(chain->target), chain->iterations, false, false, false,
        false, ExactSinCos()};
    if (chain->knee != 0) {
        solve.budget += 100;
    }
    UpdateChainFrom(bones, chain, chain->chainLength - 1);
    chain->iterationsRun = 0;
    for (int iteration = 0; iteration < solve.budget && iteration < kIkIterationCeiling;
         ++iteration) {
        ++chain->iterationsRun;
        solve.moved = false;
        for (int j = 0; j < chain->chainLength; ++j) {
            StepBone(&solve, j);
        }
        if (!solve.moved) {
            break;
        }
    }
    return 0;
}

}  // namespace tessel
