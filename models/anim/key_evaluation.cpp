// Evaluating an attached animation at its current time. The component path
// interpolates translation, scale, Euler angles (linearly) and quaternions
// (slerp on the short arc) and leaves the composition to the matrix update;
// an Euler key pair that turns more than a quarter turn on an axis would
// interpolate badly that way, so the whole animation then falls back to the
// matrix path, which interpolates whole rotation matrices element by element.
#include <cmath>

#include "foundation/base/numbers.h"
#include "models/anim/model_animation.h"

namespace tessel {

namespace {

constexpr float kQuarterTurn = 1.5707964f;
constexpr float kShapeWeightStep = 1e-7f;

struct KeyPair {
    const float* k0;
    const float* k1;
    float t;
};

int ValueFloats(uint8_t kind) {
    return kind == 0 || kind == 7 ? 4 : (kind == 1 ? 3 : 1);
}

float KeyTime(const ModelKeySet* set, int32_t k) {
    return set->hasTimeTable != 0 ? set->times[k]
                                  : set->startTime + static_cast<float>(k) * set->timeStep;
}

// The key at the cursor, the next one and the position between them. The
// last key holds: its next key is key 0 with t = 0.
KeyPair PairAt(const ModelKeyCursor& cursor, float time) {
    const ModelKeySet* set = cursor.keySet;
    const int32_t n = set->keyCount;
    int32_t i = cursor.keyIndex < 0 ? 0 : (cursor.keyIndex >= n ? n - 1 : cursor.keyIndex);
    const auto* values = static_cast<const float*>(set->values);
    const int floats = ValueFloats(set->kind);
    KeyPair pair = {values + static_cast<size_t>(i) * floats, values, 0.0f};
    if (i == n - 1) {
        return pair;
    }
    pair.k1 = values + static_cast<size_t>(i + 1) * floats;
    const float span = KeyTime(set, i + 1) - KeyTime(set, i);
    // Two keys at one time: the cursor stands on the later one, so a zero
    // span never divides.
    const float t = span != 0.0f ? (time - KeyTime(set, i)) / span : 0.0f;
    pair.t = t < 0.0f || std::isnan(t) ? 0.0f : t;
    return pair;
}

float Lerp(float a, float b, float t) {
    return a + (b - a) * t;
}

// The dot product of a key pair and, when the slerp turns, the angle of the
// short arc between the keys with its sine and cosine.
ModelSlerpArc ArcBetween(const KeyPair& p, const ExactSinCos& sinCos) {
    ModelSlerpArc arc = {p.k0, p.k1, 0.0f, 0.0f, 0.0f, 0.0f};
    const float d = p.k0[0] * p.k1[0] + p.k0[1] * p.k1[1] + p.k0[2] * p.k1[2] + p.k0[3] * p.k1[3];
    arc.dot = d;
    if (1.0f - d * d <= 0.0f || d > 1.0f) {
        return arc;
    }
    // A negative dot product means k1's opposite is nearer: take the short arc.
    arc.theta = static_cast<float>(AcosF(d >= 0.0f ? d : -d));
    sinCos(arc.theta, &arc.sinTheta, &arc.cosTheta);
    return arc;
}

// The arc of the cursor's key pair: the one kept while the time moved
// between the same two keys, or computed afresh (and kept, under the modes
// it may be kept in).
ModelSlerpArc ArcOf(ModelKeyCursor* cursor, const KeyPair& p, const ExactSinCos& sinCos) {
    if (!sinCos.DefaultModes()) {
        return ArcBetween(p, sinCos);
    }
    ModelSlerpArc& kept = cursor->arc;
    if (kept.k0 != p.k0 || kept.k1 != p.k1) {
        kept = ArcBetween(p, sinCos);
    }
    return kept;
}

void Slerp(ModelKeyCursor* cursor, const KeyPair& p, const ExactSinCos& sinCos, float* out) {
    const ModelSlerpArc arc = ArcOf(cursor, p, sinCos);
    const float d = arc.dot;
    if (1.0f - d * d <= 0.0f || d > 1.0f) {
        for (int c = 0; c < 4; ++c) {
            out[c] = p.k0[c];
        }
        return;
    }
    // sin((1 - t)theta) = sin(theta)cos(t theta) - cos(theta)sin(t theta):
    // one evaluation a time instead of two, on the per-frame path.
    float sinSecond;
    float cosSecond;
    sinCos(p.t * arc.theta, &sinSecond, &cosSecond);
    const float sinFirst = arc.sinTheta * cosSecond - arc.cosTheta * sinSecond;
    const float a = sinFirst / arc.sinTheta;
    const float b = (d >= 0.0f ? sinSecond : -sinSecond) / arc.sinTheta;
    for (int c = 0; c < 4; ++c) {
        out[c] = a * p.k0[c] + b * p.k1[c];
    }
}

bool StepTooLarge(float k0, float k1) {
    const float step = k1 - k0;
    return step < -kQuarterTurn || step > kQuarterTurn;
}

float* Component(Vec3* v, int axis) {
    return axis == 0 ? &v->x : (axis == 1 ? &v->y : &v->z);
}

// The frame's own transform, or no transform for a state without a frame.
// Read in place: a copy built field by field and then read back whole stalls
// on every state.
struct Defaults {
    const Vec3& translation;
    const Vec3& scale;
    const Vec3& rotation;
    const float* quaternion;
};

constexpr Vec3 kNoMove = {0.0f, 0.0f, 0.0f};
constexpr Vec3 kNoScale = {1.0f, 1.0f, 1.0f};
constexpr float kNoTurn[4] = {0.0f, 0.0f, 0.0f, 1.0f};

Defaults DefaultsOf(const ModelFrameAnimState* state) {
    if (state->target == nullptr) {
        return Defaults{kNoMove, kNoScale, kNoMove, kNoTurn};
    }
    const ModelFrame* frame = state->target->base;
    return Defaults{frame->translation, frame->scale, frame->rotation, frame->quaternion};
}

void StoreShapeWeight(ModelFrameAnimState* state, ModelKeyCursor* cursor, float value) {
    cursor->value = value;
    ModelInstanceFrame* frame = state->target;
    if (cursor->shapeIndex < 0 || frame == nullptr ||
        cursor->shapeIndex >= frame->base->shapeCount) {
        return;
    }
    float& weight = frame->shapeWeights[cursor->shapeIndex].weight;
    if (frame->shapesChanged == 0 && std::fabs(value - weight) >= kShapeWeightStep) {
        frame->shapesChanged = 1;
        frame->model->shapesChanged = 1;
    }
    weight = value;
}

void MarkTarget(ModelFrameAnimState* state) {
    if (state->target != nullptr) {
        state->target->model->matricesValid = 0;
        MarkFrameChanged(state->target->change, state->target->changeBitWord);
    }
}

bool IsZero(const Vec3& v) {
    return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f;
}

// ---------------------------------------------------------------- component path

// One key set into the state's components; false when its rotation step asks
// for the matrix path.
bool ApplyComponentKeys(ModelFrameAnimState* state, ModelKeyCursor* cursor, float time,
                        bool additive, const Defaults& d, const ExactSinCos& sinCos,
                        int* lastQuaternionKind) {
    const ModelKeySet* set = cursor->keySet;
    const KeyPair p = PairAt(*cursor, time);
    if (set->kind == 0 || set->kind == 7) {
        Slerp(cursor, p, sinCos, state->quaternion);
        *lastQuaternionKind = set->kind;
        return true;
    }
    if (set->kind == 1) {
        const Vec3 v{Lerp(p.k0[0], p.k1[0], p.t), Lerp(p.k0[1], p.k1[1], p.t),
                     Lerp(p.k0[2], p.k1[2], p.t)};
        Vec3* out = nullptr;
        const Vec3* base = nullptr;
        if (set->target == 0) {
            if (StepTooLarge(p.k0[0], p.k1[0]) || StepTooLarge(p.k0[1], p.k1[1]) ||
                StepTooLarge(p.k0[2], p.k1[2])) {
                return false;
            }
            out = &state->rotation;
            base = &d.rotation;
        } else if (set->target == 5) {
            out = &state->scale;
            base = &d.scale;
        } else if (set->target == 10) {
            out = &state->translation;
            base = &d.translation;
        }
        if (out != nullptr) {
            *out = additive ? Vec3{base->x + v.x, base->y + v.y, base->z + v.z} : v;
        }
        return true;
    }
    if (set->kind != 5) {
        return true;
    }
    const float v = Lerp(p.k0[0], p.k1[0], p.t);
    const int target = set->target;
    Vec3* out = nullptr;
    const Vec3* base = nullptr;
    int axis = 0;
    if (target >= 1 && target <= 3) {
        if (StepTooLarge(p.k0[0], p.k1[0])) {
            return false;
        }
        out = &state->rotation;
        base = &d.rotation;
        axis = target - 1;
    } else if (target >= 6 && target <= 8) {
        out = &state->scale;
        base = &d.scale;
        axis = target - 6;
    } else if (target >= 11 && target <= 13) {
        out = &state->translation;
        base = &d.translation;
        axis = target - 11;
    } else if (target == 18) {
        StoreShapeWeight(state, cursor, v);
    }
    if (out != nullptr) {
        *Component(out, axis) = additive ? *Component(const_cast<Vec3*>(base), axis) + v : v;
    }
    return true;
}

void StoreComponentFlags(ModelFrameAnimState* state, int lastQuaternionKind) {
    const Vec3& s = state->scale;
    const float* q = state->quaternion;
    uint32_t flags = 0;
    flags |= IsZero(state->translation) ? 0 : kAnimTranslation;
    flags |= s.x == 1.0f && s.y == 1.0f && s.z == 1.0f ? 0 : kAnimScale;
    flags |= IsZero(state->rotation) ? 0 : kAnimEuler;
    // Without quaternion keys the frame's rotation is its Euler angles.
    const bool turned = q[0] != 0.0f || q[1] != 0.0f || q[2] != 0.0f || q[3] != 1.0f;
    if (lastQuaternionKind >= 0 && turned) {
        flags |= lastQuaternionKind == 0 ? kAnimQuaternionRows : kAnimQuaternionColumns;
        flags &= ~kAnimEuler;
    }
    state->flags = flags;
}

bool EvaluateComponents(ModelAttachedAnim* anim) {
    const bool additive = anim->set->additive == 1;
    const ExactSinCos sinCos;
    for (int32_t i = 0; i < anim->set->animCount; ++i) {
        ModelFrameAnimState* state = &anim->states[i];
        state->flags = 0;
        const Defaults d = DefaultsOf(state);
        state->translation = d.translation;
        state->scale = d.scale;
        state->rotation = d.rotation;
        for (int c = 0; c < 4; ++c) {
            state->quaternion[c] = d.quaternion[c];
        }
        int lastQuaternionKind = -1;
        for (int32_t k = 0; k < state->anim->keySetCount; ++k) {
            ModelKeyCursor* cursor = &state->cursors[k];
            if (cursor->keySet->keyCount <= 0) {
                continue;
            }
            if (!ApplyComponentKeys(state, cursor, anim->time, additive, d, sinCos,
                                    &lastQuaternionKind)) {
                return false;
            }
        }
        StoreComponentFlags(state, lastQuaternionKind);
        MarkTarget(state);
    }
    return true;
}

// ---------------------------------------------------------------- matrix path

void AddScaled(Mat3x4* m, const Mat3x4& m0, const Mat3x4& m1, float t) {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            m->m[r][c] = m0.m[r][c] + (m1.m[r][c] - m0.m[r][c]) * t;
        }
        m->m[r][3] = 0.0f;
    }
}

void QuaternionMatrix(Mat3x4* out, const float* q, uint8_t kind) {
    if (kind == 0) {
        Mat3x4FromQuaternionRows(out, q);
    } else {
        Mat3x4FromQuaternion(out, q);
    }
}

// What the key sets of one state give the matrix path.
struct MatrixKeys {
    bool euler = false;
    KeyPair eulerPair = {};
    bool quaternion = false;
    KeyPair quaternionPair = {};
    uint8_t quaternionKind = 0;
    bool axis[3] = {false, false, false};
    KeyPair axisPair[3] = {};
};

void CollectMatrixKeys(ModelFrameAnimState* state, float time, MatrixKeys* keys) {
    for (int32_t k = 0; k < state->anim->keySetCount; ++k) {
        ModelKeyCursor* cursor = &state->cursors[k];
        const ModelKeySet* set = cursor->keySet;
        if (set->keyCount <= 0) {
            continue;
        }
        const KeyPair p = PairAt(*cursor, time);
        if (set->kind == 0 || set->kind == 7) {
            keys->quaternion = true;
            keys->quaternionPair = p;
            keys->quaternionKind = set->kind;
        } else if (set->kind == 1) {
            const Vec3 v{Lerp(p.k0[0], p.k1[0], p.t), Lerp(p.k0[1], p.k1[1], p.t),
                         Lerp(p.k0[2], p.k1[2], p.t)};
            if (set->target == 0) {
                keys->euler = true;
                keys->eulerPair = p;
            } else if (set->target == 5) {
                state->scale = v;
            } else if (set->target == 10) {
                state->translation = v;
            }
        } else if (set->kind == 5) {
            const float v = Lerp(p.k0[0], p.k1[0], p.t);
            const int target = set->target;
            if (target >= 1 && target <= 3) {
                keys->axis[target - 1] = true;
                keys->axisPair[target - 1] = p;
            } else if (target >= 6 && target <= 8) {
                *Component(&state->scale, target - 6) = v;
            } else if (target >= 11 && target <= 13) {
                *Component(&state->translation, target - 11) = v;
            } else if (target == 18) {
                StoreShapeWeight(state, cursor, v);
            }
        }
    }
}

// Sine and cosine of one axis: from its default angle, or interpolated
// between the table values of its two key angles (not renormalised).
void AxisSinCos(const MatrixKeys& keys, int axis, float angle, float* s, float* c) {
    if (!keys.axis[axis]) {
        SinCosLookup(angle, s, c);
        return;
    }
    const KeyPair& p = keys.axisPair[axis];
    float s0;
    float c0;
    float s1;
    float c1;
    SinCosLookup(p.k0[0], &s0, &c0);
    SinCosLookup(p.k1[0], &s1, &c1);
    *s = s0 + (s1 - s0) * p.t;
    *c = c0 + (c1 - c0) * p.t;
}

void PerAxisRotation(const MatrixKeys& keys, int order, const Vec3& defaults, Mat3x4* out) {
    const float angles[3] = {defaults.x, defaults.y, defaults.z};
    Mat3x4 single[3];
    for (int axis = 0; axis < 3; ++axis) {
        float s;
        float c;
        AxisSinCos(keys, axis, angles[axis], &s, &c);
        Mat3x4& m = single[axis];
        m = Mat3x4{};
        const int a = (axis + 1) % 3;
        const int b = (axis + 2) % 3;
        m.m[axis][axis] = 1.0f;
        m.m[a][a] = c;
        m.m[a][b] = -s;
        m.m[b][a] = s;
        m.m[b][b] = c;
    }
    // The axis named first turns the point first, so it stands rightmost.
    static const int kOrders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0},
                                      {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};
    if (order < 0 || order > 5) {
        *out = Mat3x4{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}};
        return;
    }
    const int* o = kOrders[order];
    Mat3x4 second;
    MultiplyMatrix3x4(&single[o[1]], &second, &single[o[0]]);
    MultiplyMatrix3x4(&single[o[2]], out, &second);
}

void EvaluateStateMatrix(ModelFrameAnimState* state, float time) {
    const Defaults d = DefaultsOf(state);
    state->translation = d.translation;
    state->scale = d.scale;
    MatrixKeys keys;
    CollectMatrixKeys(state, time, &keys);
    Mat3x4& m = state->matrix;
    if (keys.euler) {
        const KeyPair& p = keys.eulerPair;
        Mat3x4 m0;
        Mat3x4 m1;
        Mat3x4FromEulerOrder(&m0, state->rotationOrder, Vec3{p.k0[0], p.k0[1], p.k0[2]});
        Mat3x4FromEulerOrder(&m1, state->rotationOrder, Vec3{p.k1[0], p.k1[1], p.k1[2]});
        AddScaled(&m, m0, m1, p.t);
    } else if (keys.quaternion) {
        Mat3x4 m0;
        Mat3x4 m1;
        QuaternionMatrix(&m0, keys.quaternionPair.k0, keys.quaternionKind);
        QuaternionMatrix(&m1, keys.quaternionPair.k1, keys.quaternionKind);
        AddScaled(&m, m0, m1, keys.quaternionPair.t);
    } else if (!keys.axis[0] && !keys.axis[1] && !keys.axis[2]) {
        if (IsZero(d.rotation)) {
            m = Mat3x4{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}};
        } else {
            Mat3x4FromEulerOrder(&m, state->rotationOrder, d.rotation);
        }
    } else {
        PerAxisRotation(keys, state->rotationOrder, d.rotation, &m);
    }
    m.m[0][3] = state->translation.x;
    m.m[1][3] = state->translation.y;
    m.m[2][3] = state->translation.z;
    const Vec3& s = state->scale;
    if (s.x != 1.0f || s.y != 1.0f || s.z != 1.0f) {
        const float scale[3] = {s.x, s.y, s.z};
        for (auto& row : m.m) {
            for (int k = 0; k < 3; ++k) {
                row[k] *= scale[k];
            }
        }
    }
    state->flags = kAnimMatrix;
    MarkTarget(state);
}

void EvaluateMatrices(ModelAttachedAnim* anim) {
    for (int32_t i = 0; i < anim->set->animCount; ++i) {
        EvaluateStateMatrix(&anim->states[i], anim->time);
    }
}

}  // namespace

int UpdateFrameMatrices(ModelAttachedAnim* anim) {
    if (anim->evaluated != 0) {
        return 0;
    }
    if (anim->set->matrixMode != 0 || !EvaluateComponents(anim)) {
        EvaluateMatrices(anim);
    }
    anim->evaluated = 1;
    return 0;
}

}  // namespace tessel
