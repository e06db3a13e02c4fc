// Posing the bones of a motion frame by frame: each bone's baked key at the
// frame, then the IK chains by cyclic coordinate descent, knees bending one
// way only.
#include <emmintrin.h>

#include <cmath>
#include <cstring>

#include "foundation/base/numbers.h"
#include "foundation/math/matrix_minors.h"
#include "models/math/model_math.h"
#include "models/pmd/pmd_pose_math.h"
#include "models/pmd/vmd_internal.h"

namespace tessel {

namespace {

constexpr int kIkIterationCeiling = 10000;
// Chains up to this length keep each bone's world inverse between steps.
constexpr int kCachedChainBones = 16;
constexpr float kKneeKick = 0.2f;
constexpr float kKneeSideLimit = 0.05235988274216652f;

Vec3 WorldPosition(const PmdBoneWork* bone) {
    return Vec3{bone->world.m[3][0], bone->world.m[3][1], bone->world.m[3][2]};
}

float SquaredDistance(const Vec3& a, const Vec3& b) {
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz;
}

// The foundation's Vec3Dot, Vec3Cross and Vec3Normalise, the same sums in
// double precision, where the solver's inner steps can inline them.
float Dot(const Vec3& a, const Vec3& b) {
    const double sum = static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y +
                       static_cast<double>(a.z) * b.z;
    return static_cast<float>(sum);
}

Vec3 Cross(const Vec3& a, const Vec3& b) {
    const double ax = a.x, ay = a.y, az = a.z;
    const double bx = b.x, by = b.y, bz = b.z;
    return Vec3{static_cast<float>(ay * bz - az * by), static_cast<float>(az * bx - ax * bz),
                static_cast<float>(ax * by - ay * bx)};
}

// Two of the three lanes go as a double pair: each lane the very result of
// its own scalar operations.
Vec3 Normalised(const Vec3& v) {
    const double x = v.x, y = v.y, z = v.z;
    const double length = std::sqrt(x * x + y * y + z * z);
    const __m128 xy = _mm_cvtpd_ps(_mm_div_pd(_mm_set_pd(y, x), _mm_set1_pd(length)));
    return Vec3{_mm_cvtss_f32(xy), _mm_cvtss_f32(_mm_shuffle_ps(xy, xy, 1)),
                static_cast<float>(z / length)};
}

Vec3 TransformAffine(const Vec3& point, const Mat4& m) {
    const double p[3] = {point.x, point.y, point.z};
    __m128d xy = _mm_mul_pd(_mm_set1_pd(p[0]), _mm_set_pd(m.m[0][1], m.m[0][0]));
    xy = _mm_add_pd(xy, _mm_mul_pd(_mm_set1_pd(p[1]), _mm_set_pd(m.m[1][1], m.m[1][0])));
    xy = _mm_add_pd(xy, _mm_mul_pd(_mm_set1_pd(p[2]), _mm_set_pd(m.m[2][1], m.m[2][0])));
    xy = _mm_add_pd(xy, _mm_set_pd(m.m[3][1], m.m[3][0]));
    const __m128 floats = _mm_cvtpd_ps(xy);
    const float z =
        static_cast<float>(p[0] * m.m[0][2] + p[1] * m.m[1][2] + p[2] * m.m[2][2] + m.m[3][2]);
    return Vec3{_mm_cvtss_f32(floats), _mm_cvtss_f32(_mm_shuffle_ps(floats, floats, 1)), z};
}

__m128d Pair(double low, double high) {
    return _mm_set_pd(high, low);
}

// a x - b y + c z, lane by lane.
__m128d Cofactors(__m128d a, __m128d x, __m128d b, __m128d y, __m128d c, __m128d z) {
    return _mm_add_pd(_mm_sub_pd(_mm_mul_pd(a, x), _mm_mul_pd(b, y)), _mm_mul_pd(c, z));
}

void StorePair(float* low, float* high, __m128d v) {
    const __m128 floats = _mm_cvtpd_ps(v);
    *low = _mm_cvtss_f32(floats);
    *high = _mm_cvtss_f32(_mm_shuffle_ps(floats, floats, 1));
}

// The foundation's MatInverted for the three columns a point's transform
// reads, with pairs of entries in the two lanes of a double pair: each lane
// takes its entry's products and sums in MatInverted's order (x - (-y) is
// x + y exactly), so each entry has its very bits. Column 3 is left unset.
// -1 when the determinant is as near 0 as MatInverted refuses.
int InvertedForPoints(Mat4* out, const Mat4& in) {
    const RowPairMinors m = MinorsByRowPairs(in);
    if (NearlySingular(m.det)) {
        return -1;
    }
    const double(&a)[4][4] = m.a;
    const double s0 = m.s0, s1 = m.s1, s2 = m.s2, s3 = m.s3, s4 = m.s4, s5 = m.s5;
    const double c0 = m.c0, c1 = m.c1, c2 = m.c2, c3 = m.c3, c4 = m.c4, c5 = m.c5;
    const double det = m.det;
    const __m128d inv = _mm_set1_pd(1.0 / det);
    const __m128d c5s = _mm_set1_pd(c5), c4s = _mm_set1_pd(c4), c3s = _mm_set1_pd(c3);
    const __m128d c2s = _mm_set1_pd(c2), c1s = _mm_set1_pd(c1), c0s = _mm_set1_pd(c0);
    // Columns 0 and 1 of each row.
    const __m128d row0 = Cofactors(Pair(a[1][1], -a[0][1]), c5s, Pair(a[1][2], -a[0][2]), c4s,
                                   Pair(a[1][3], -a[0][3]), c3s);
    const __m128d row1 = Cofactors(Pair(-a[1][0], a[0][0]), c5s, Pair(-a[1][2], a[0][2]), c2s,
                                   Pair(-a[1][3], a[0][3]), c1s);
    const __m128d row2 = Cofactors(Pair(a[1][0], -a[0][0]), c4s, Pair(a[1][1], -a[0][1]), c2s,
                                   Pair(a[1][3], -a[0][3]), c0s);
    const __m128d row3 = Cofactors(Pair(-a[1][0], a[0][0]), c3s, Pair(-a[1][1], a[0][1]), c1s,
                                   Pair(-a[1][2], a[0][2]), c0s);
    // Column 2 of rows 0 and 1, then of rows 2 and 3.
    const __m128d upper =
        Cofactors(Pair(a[3][1], -a[3][0]), _mm_set1_pd(s5), Pair(a[3][2], -a[3][2]), Pair(s4, s2),
                  Pair(a[3][3], -a[3][3]), Pair(s3, s1));
    const __m128d lower = Cofactors(Pair(a[3][0], -a[3][0]), Pair(s4, s3), Pair(a[3][1], -a[3][1]),
                                    Pair(s2, s1), Pair(a[3][3], -a[3][2]), _mm_set1_pd(s0));
    StorePair(&out->m[0][0], &out->m[0][1], _mm_mul_pd(row0, inv));
    StorePair(&out->m[1][0], &out->m[1][1], _mm_mul_pd(row1, inv));
    StorePair(&out->m[2][0], &out->m[2][1], _mm_mul_pd(row2, inv));
    StorePair(&out->m[3][0], &out->m[3][1], _mm_mul_pd(row3, inv));
    StorePair(&out->m[0][2], &out->m[1][2], _mm_mul_pd(upper, inv));
    StorePair(&out->m[2][2], &out->m[3][2], _mm_mul_pd(lower, inv));
    return 0;
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
        pmd_pose::BoneMatrix(ChainBone(bones, chain, j));
    }
    pmd_pose::BoneMatrix(chain->effector);
}

void AddToXAngle(PmdQuat* rotation, float amount, const ExactSinCos& sinCos) {
    Vec3 angles;
    EulerFromQuat(&angles, rotation);
    QuatFromEuler(rotation, angles.x + amount, angles.y, angles.z, sinCos);
}

// A chain bone's world inverse and the target's direction in its space,
// kept while its world matrix stays as it is.
struct ChainBoneFrame {
    int state;        // 0: to compute; 1: held; -1: the world matrix has no inverse
    bool targetAway;  // the target is not at the bone's origin
    Mat4 inverse;
    Vec3 targetDirection;
};

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
    // The chain's bones are distinct, none is the effector and none hangs from
    // the effector or from a bone below it in the chain. Updating the chain
    // from a bone down then changes no bone it updated before, so a step that
    // turns nothing needs no update, a bone's world (and its inverse) holds
    // until a step at or above it turns, and no one reads the effector's
    // rotation rows before the solve ends.
    bool orderly;
    // In an orderly solve: a step of this iteration changed its bone's
    // rotation bits.
    bool turned;
    ExactSinCos sinCos;
    ChainBoneFrame frames[kCachedChainBones];
};

// What besides the pose an iteration may change.
struct IkFlags {
    int32_t budget;
    uint8_t kneePending, kneeDone, stuckBendDone, unused;
};

IkFlags Flags(const IkSolve& solve) {
    return IkFlags{solve.budget, solve.kneePending, solve.kneeDone, solve.stuckBendDone, 0};
}

bool OrderlyChain(PmdBoneWork* bones, const PmdIkChain* chain) {
    if (chain->chainLength > kCachedChainBones) {
        return false;
    }
    for (int i = 0; i < chain->chainLength; ++i) {
        const PmdBoneWork* bone = ChainBone(bones, chain, i);
        if (bone == chain->effector || bone->parent == chain->effector) {
            return false;
        }
        for (int below = 0; below < i; ++below) {
            const PmdBoneWork* other = ChainBone(bones, chain, below);
            if (other == bone || bone->parent == other) {
                return false;
            }
        }
    }
    return true;
}

// The bone's world inverse and the target's direction in its space, held
// across steps in an orderly solve; null when the world has no inverse.
const ChainBoneFrame* BoneFrame(IkSolve* solve, const PmdBoneWork* bone, int j,
                                ChainBoneFrame* scratch) {
    ChainBoneFrame* frame = solve->orderly ? &solve->frames[j] : scratch;
    if (solve->orderly && frame->state != 0) {
        return frame->state == 1 ? frame : nullptr;
    }
    if (InvertedForPoints(&frame->inverse, bone->world) != 0) {
        frame->state = -1;
        return nullptr;
    }
    frame->state = 1;
    const Vec3 local = TransformAffine(solve->target, frame->inverse);
    frame->targetAway = !(Dot(local, local) <= 0.0f);
    frame->targetDirection = frame->targetAway ? Normalised(local) : local;
    return frame;
}

bool KneeKickDue(const IkSolve& solve, bool belowKnee) {
    return belowKnee && solve.kneePending && !solve.kneeDone;
}

// A knee keeps its x angle at or below 1e-4, turns little about y and not
// at all about z; meeting the x limit asks the bone above for a kick.
void HoldKnee(IkSolve* solve, PmdQuat* rotation) {
    pmd_pose::Normalize(rotation);
    Vec3 angles;
    EulerXYFromQuat(&angles, rotation);
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
    pmd_pose::Normalize(&bone->poseRotation);
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
StepEnd TurnBone(IkSolve* solve, int j, PmdBoneWork* bone, bool belowKnee, const Vec3& effector) {
    ChainBoneFrame scratch;
    const ChainBoneFrame* frame = BoneFrame(solve, bone, j, &scratch);
    if (frame == nullptr) {
        return StepEnd::kUpdate;
    }
    Vec3 localEffector = TransformAffine(effector, frame->inverse);
    if (!frame->targetAway || Dot(localEffector, localEffector) <= 0.0f) {
        return StepEnd::kUpdate;
    }
    const Vec3& localTarget = frame->targetDirection;
    localEffector = Normalised(localEffector);
    // The angle from both the sine and the cosine: acos of a float dot
    // product cannot tell angles below about 3e-4 from 0, which would leave
    // an effector some thousandths of a leg's length off its target.
    Vec3 axis = Cross(localEffector, localTarget);
    const float axisSquared = Dot(axis, axis);
    const float sineLength = std::sqrt(axisSquared);
    float angle = static_cast<float>(Atan2F(sineLength, Dot(localTarget, localEffector)));
    const float limit = solve->chain->angleLimit;
    angle = angle < -limit ? -limit : (angle > limit ? limit : angle);
    const float still = belowKnee && !solve->stuckBendDone ? 0.001f : 1e-6f;
    if (angle > -still && angle < still) {
        return belowKnee ? StepEnd::kDistance : StepEnd::kUpdate;
    }
    if (axisSquared < 1e-13f) {
        return StepEnd::kKick;
    }
    axis = Normalised(axis);
    float sine, cosineHalf;
    solve->sinCos(angle * 0.5f, &sine, &cosineHalf);
    PmdQuat turned = pmd_pose::Multiply(
        bone->poseRotation, PmdQuat{axis.x * sine, axis.y * sine, axis.z * sine, cosineHalf});
    if (KneeKickDue(*solve, belowKnee)) {
        pmd_pose::Normalize(&turned);
        AddToXAngle(&turned, kKneeKick, solve->sinCos);
        solve->kneePending = false;
        solve->kneeDone = true;
    } else if (bone->knee != 0) {
        HoldKnee(solve, &turned);
    }
    pmd_pose::Normalize(&turned);
    bone->poseRotation = turned;
    solve->moved = true;
    return StepEnd::kUpdate;
}

// After chain bone j turned: the world matrices of bones j down to 0 and
// the effector's position.
void UpdateOrderlyChainFrom(IkSolve* solve, int j) {
    for (int i = j; i >= 0; --i) {
        pmd_pose::BoneMatrix(ChainBone(solve->bones, solve->chain, i));
        solve->frames[i].state = 0;
    }
    pmd_pose::BonePosition(solve->chain->effector);
}

void StepBone(IkSolve* solve, int j) {
    PmdBoneWork* bone = ChainBone(solve->bones, solve->chain, j);
    const bool belowKnee = j > 0 && ChainBone(solve->bones, solve->chain, j - 1)->knee != 0;
    const Vec3 effector = WorldPosition(solve->chain->effector);
    const PmdQuat before = bone->poseRotation;
    const float gap = SquaredDistance(solve->target, effector);
    StepEnd end = gap < 1e-9f ? StepEnd::kStuck : TurnBone(solve, j, bone, belowKnee, effector);
    if (end == StepEnd::kDistance) {
        end = gap < 1e-5f ? StepEnd::kKick : StepEnd::kStuck;
    }
    if (end == StepEnd::kStuck) {
        StuckTest(solve, bone, belowKnee);
    } else if (end == StepEnd::kKick && KneeKickDue(*solve, belowKnee)) {
        KickAboveKnee(solve, bone);
    }
    if (!solve->orderly) {
        UpdateChainFrom(solve->bones, solve->chain, j);
        return;
    }
    // The same rotation bits give the same matrices: nothing to update.
    if (std::memcmp(&before, &bone->poseRotation, sizeof before) != 0) {
        solve->turned = true;
        UpdateOrderlyChainFrom(solve, j);
    }
}

// An orderly iteration that changed no rotation's bits and left the knee
// flags and the budget as they were leaves the whole state as it found it:
// every iteration after it would do the very same, so the solve's result is
// already there.
bool RepeatsForever(const IkFlags& start, const IkSolve& end) {
    const IkFlags now = Flags(end);
    return end.orderly && !end.turned && std::memcmp(&start, &now, sizeof now) == 0;
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
    IkSolve solve{bones,
                  chain,
                  WorldPosition(chain->target),
                  chain->iterations,
                  false,
                  false,
                  false,
                  false,
                  OrderlyChain(bones, chain),
                  false,
                  ExactSinCos(),
                  {}};
    if (chain->knee != 0) {
        solve.budget += 100;
    }
    UpdateChainFrom(bones, chain, chain->chainLength - 1);
    chain->iterationsRun = 0;
    for (int iteration = 0; iteration < solve.budget && iteration < kIkIterationCeiling;
         ++iteration) {
        ++chain->iterationsRun;
        const IkFlags start = Flags(solve);
        solve.moved = false;
        solve.turned = false;
        for (int j = 0; j < chain->chainLength; ++j) {
            StepBone(&solve, j);
        }
        if (!solve.moved) {
            break;
        }
        if (RepeatsForever(start, solve)) {
            chain->iterationsRun =
                solve.budget < kIkIterationCeiling ? solve.budget : kIkIterationCeiling;
            break;
        }
    }
    if (solve.orderly) {
        pmd_pose::BoneMatrix(chain->effector);
    }
    return 0;
}

}  // namespace tessel
