// The matrices of a model: its placement from position, rotation and scale,
// each changed frame's world matrix from its parent's and its local matrix
// (default, user-given, one animation's pose or a blend of several), the
// skinning matrices of the frame's bones, and the change bits that keep the
// work to the frames that changed.
#include <emmintrin.h>

#include <cmath>

#include "foundation/base/numbers.h"
#include "models/anim/model_animation.h"

namespace tessel {

namespace {

void Identity3x4(Mat3x4* out) {
    *out = Mat3x4{};
    out->m[0][0] = 1.0f;
    out->m[1][1] = 1.0f;
    out->m[2][2] = 1.0f;
}

// R for the model's rotation mode, in the row-vector sense of Mat4.
void PlacementRotation(const ModelInstance* record, Mat4* r) {
    const float* v = record->rotation;
    switch (record->rotationMode) {
        case kModelRotationEuler:
            MatFromEulerXYZ(r, v[0], v[1], v[2]);
            return;
        case kModelRotationQuaternion: {
            Mat3x4 rows;
            Mat3x4FromQuaternionRows(&rows, v);
            Transpose3x4To4x4(r, &rows);
            return;
        }
        case kModelRotationMatrix:
            MatIdentity(r);
            for (int row = 0; row < 3; ++row) {
                for (int c = 0; c < 4; ++c) {
                    r->m[row][c] = v[row * 4 + c];
                }
            }
            return;
        case kModelRotationAxes: {
            const Vec3 forward{v[0], v[1], v[2]};
            const Vec3 up{v[3], v[4], v[5]};
            Vec3 xAxis;
            Vec3Cross(&xAxis, &up, &forward);
            const Mat4 axes = MatFromAxes(xAxis, up, forward, Vec3{0.0f, 0.0f, 0.0f});
            *r = MatMulByValue(MatRotZByValue(v[6]), axes);
            return;
        }
        default:
            // A mode the model cannot have been given: no rotation.
            MatIdentity(r);
            return;
    }
}

void UpdatePlacement(ModelInstance* record) {
    if (record->userMatrixOn != 0) {
        record->placement = record->userMatrix;
        return;
    }
    Mat4 t;
    Mat4 s;
    Mat4 r;
    MatTranslate(&t, record->position.x, record->position.y, record->position.z);
    MatScale(&s, record->scale.x, record->scale.y, record->scale.z);
    PlacementRotation(record, &r);
    Mat4 rs;
    Mat4 rst;
    MatMul(&rs, &r, &s);
    MatMul(&rst, &rs, &t);
    Transpose4x4To3x4(&record->placement, &rst);
}

// The local matrix a state gives: its evaluated matrix, or its components
// composed into `scratch`.
const Mat3x4* StateLocal(ModelFrameAnimState* state, Mat3x4* scratch) {
    if ((state->flags & kAnimMatrix) != 0) {
        return &state->matrix;
    }
    ComposeLocalMatrix3x4(scratch, state->flags, &state->translation, &state->scale,
                          state->rotationOrder, &state->rotation, state->quaternion);
    return scratch;
}

bool Contributes(const ModelBlendEntry& entry) {
    return entry.inUse != 0 && entry.rate != 0.0f && entry.state != nullptr;
}

// Lane `lane` of v in the three lanes of a row's linear part, one in the
// translation's lane.
template <int lane>
__m128 RowFactor(__m128 v) {
    const __m128 linear = _mm_castsi128_ps(_mm_set_epi32(0, -1, -1, -1));
    const __m128 spread = _mm_shuffle_ps(v, v, _MM_SHUFFLE(lane, lane, lane, lane));
    return _mm_or_ps(_mm_and_ps(linear, spread), _mm_andnot_ps(linear, _mm_set1_ps(1.0f)));
}

// The three rows' linear parts scaled to unit length; the translations stay
// (times one, which keeps every value's bits). The squares are summed in
// each row's order, ((x^2 + y^2) + z^2), lane by lane after a transpose, and
// the vector square root and division round as the single ones do.
void NormaliseRows(__m128 rows[3]) {
    __m128 c0 = _mm_mul_ps(rows[0], rows[0]);
    __m128 c1 = _mm_mul_ps(rows[1], rows[1]);
    __m128 c2 = _mm_mul_ps(rows[2], rows[2]);
    __m128 c3 = _mm_setzero_ps();
    _MM_TRANSPOSE4_PS(c0, c1, c2, c3);
    // Lane 3 holds no row; its quotient goes unused.
    const __m128 inverses =
        _mm_div_ps(_mm_set1_ps(1.0f), _mm_sqrt_ps(_mm_add_ps(_mm_add_ps(c0, c1), c2)));
    rows[0] = _mm_mul_ps(rows[0], RowFactor<0>(inverses));
    rows[1] = _mm_mul_ps(rows[1], RowFactor<1>(inverses));
    rows[2] = _mm_mul_ps(rows[2], RowFactor<2>(inverses));
}

// One row of a local matrix its composition has just written float by
// float: read the same way, the reads take the values straight from the
// writes, where one wide read would wait for them to reach the cache.
__m128 LoadWrittenRow(const float* row) {
    return _mm_set_ps(row[3], row[2], row[1], row[0]);
}

// D + the sum of (L_i - D) x rate_i over the contributing entries of a
// frame's row, rows of the linear part made unit length. Four columns at
// once, each element through the same operations as one at a time (a step
// times a rate of 1 is the step itself).
void BlendLocals(ModelBlendEntry* row, int32_t capacity, const Mat3x4& d, Mat3x4* out) {
    const __m128 defaults[3] = {_mm_loadu_ps(d.m[0]), _mm_loadu_ps(d.m[1]), _mm_loadu_ps(d.m[2])};
    __m128 sum[3] = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
    for (int32_t slot = 0; slot < capacity; ++slot) {
        if (!Contributes(row[slot])) {
            continue;
        }
        ModelFrameAnimState* state = row[slot].state;
        const Mat3x4* local = StateLocal(state, &state->work);
        const __m128 rate = _mm_set1_ps(row[slot].rate);
        for (int r = 0; r < 3; ++r) {
            const __m128 step = _mm_sub_ps(LoadWrittenRow(local->m[r]), defaults[r]);
            sum[r] = _mm_add_ps(sum[r], _mm_mul_ps(step, rate));
        }
    }
    __m128 rows[3] = {_mm_add_ps(sum[0], defaults[0]), _mm_add_ps(sum[1], defaults[1]),
                      _mm_add_ps(sum[2], defaults[2])};
    NormaliseRows(rows);
    for (int r = 0; r < 3; ++r) {
        _mm_storeu_ps(out->m[r], rows[r]);
    }
}

// The world matrix of a frame whose model has animations attached.
void AnimatedWorld(ModelInstance* record, int32_t index, const Mat3x4& parent, Mat3x4* world) {
    const ModelFrame* base = record->frames[index].base;
    const int32_t capacity = record->attachSlotCapacity;
    ModelBlendEntry* row = record->attachTable + static_cast<size_t>(index) * capacity;
    int count = 0;
    ModelBlendEntry* only = nullptr;
    for (int32_t slot = 0; slot < capacity; ++slot) {
        if (Contributes(row[slot])) {
            only = &row[slot];
            ++count;
        }
    }
    if (count == 0) {
        if (base->matrixKind == 0) {
            *world = parent;
        } else if (base->matrixKind == 1) {
            Mat3x4MulTranslation(&parent, &base->local, world);
        } else {
            MultiplyMatrix3x4(&parent, world, &base->local);
        }
        return;
    }
    if (count == 1) {
        // One animation gives its whole pose, whatever its rate.
        Mat3x4 scratch;
        MultiplyMatrix3x4(&parent, world, StateLocal(only->state, &scratch));
        return;
    }
    Mat3x4 local;
    BlendLocals(row, capacity, base->local, &local);
    MultiplyMatrix3x4(&parent, world, &local);
}

// The skinning matrices of the bones this frame moves: its run of skin bones
// (sorted by bone frame), not the references of the meshes it carries.
void UpdateSkinning(ModelInstanceFrame* frame) {
    const ModelFrame* base = frame->base;
    ModelInstance* model = frame->model;
    const ModelBase* owner = model->base;
    for (int32_t k = 0; k < base->skinBoneCount; ++k) {
        const ModelSkinBone* bone = base->firstSkinBone + k;
        Mat3x4* out = &model->boneMatrices[bone - owner->skinBones];
        if (bone->translationOnly == 0) {
            MultiplyMatrix3x4(&frame->world, out, &bone->bind);
        } else {
            Mat3x4MulTranslation(&frame->world, &bone->bind, out);
        }
    }
}

void UpdateFrame(ModelInstance* record, int32_t index) {
    ModelInstanceFrame& frame = record->frames[index];
    frame.secondCached = 0;
    const Mat3x4& parent = frame.parent != nullptr ? frame.parent->world : record->placement;
    if (frame.userLocalOn != 0) {
        MultiplyMatrix3x4(&parent, &frame.world, &frame.userLocal);
    } else if (record->attachedAnimCount == 0) {
        MultiplyMatrix3x4(&parent, &frame.world, &frame.base->local);
    } else {
        AnimatedWorld(record, index, parent, &frame.world);
    }
    frame.world4Current = 0;
    UpdateSkinning(&frame);
}

}  // namespace

void UpdateModelMatrices(ModelInstance* record) {
    if (record->matricesValid != 0) {
        return;
    }
    if (record->animationsEvaluated == 0) {
        EvaluateAttachedAnims(record);
    }
    if ((record->changeBits[0] & 1u) != 0) {
        UpdatePlacement(record);
    }
    const ModelBase* base = record->base;
    for (int32_t i = 0; i < base->frameCount; ++i) {
        const ModelInstanceFrame& frame = record->frames[i];
        if ((*frame.changeBitWord & frame.change->singleMask) != 0) {
            UpdateFrame(record, i);
        }
    }
    for (int32_t w = 0; w < record->changeBytes / 4; ++w) {
        record->changeBits[w] = 0;
    }
    record->matricesValid = 1;
}

void EvaluateAttachedAnims(ModelInstance* record) {
    for (int32_t slot = 0; slot < record->attachSlotCapacity; ++slot) {
        ModelAttachSlot& attach = record->attachSlots[slot];
        if (attach.inUse != 0 && attach.anim != nullptr && attach.anim->evaluated == 0) {
            UpdateFrameMatrices(attach.anim);
        }
    }
    record->animationsEvaluated = 1;
}

void ComposeLocalMatrix3x4(Mat3x4* out, uint32_t flags, const Vec3* translation, const Vec3* scale,
                           int rotationOrder, const Vec3* rotation, const float* quaternion) {
    if ((flags & kAnimEuler) != 0) {
        Mat3x4FromEulerOrder(out, rotationOrder, *rotation);
    } else if ((flags & kAnimQuaternionRows) != 0) {
        Mat3x4FromQuaternionRows(out, quaternion);
    } else if ((flags & kAnimQuaternionColumns) != 0) {
        Mat3x4FromQuaternion(out, quaternion);
    } else {
        Identity3x4(out);
    }
    const bool moves = (flags & kAnimTranslation) != 0;
    out->m[0][3] = moves ? translation->x : 0.0f;
    out->m[1][3] = moves ? translation->y : 0.0f;
    out->m[2][3] = moves ? translation->z : 0.0f;
    if ((flags & kAnimScale) != 0) {
        const float s[3] = {scale->x, scale->y, scale->z};
        for (auto& row : out->m) {
            for (int k = 0; k < 3; ++k) {
                row[k] *= s[k];
            }
        }
    }
}

void MarkFrameChanged(const FrameChangeDescriptor* descriptor, uint32_t* changeWord) {
    if ((*changeWord & descriptor->singleMask) != 0) {
        return;
    }
    if (descriptor->maskWords == nullptr) {
        *changeWord |= descriptor->singleMask;
        return;
    }
    for (int32_t w = 0; w < descriptor->runWords; ++w) {
        changeWord[w] |= descriptor->maskWords[w];
    }
}

void Mat3x4FromQuaternion(Mat3x4* out, const float* q) {
    const float x = q[0];
    const float y = q[1];
    const float z = q[2];
    const float w = q[3];
    *out = Mat3x4{
        {{1.0f - 2.0f * (y * y + z * z), 2.0f * (x * y - w * z), 2.0f * (x * z + w * y), 0.0f},
         {2.0f * (x * y + w * z), 1.0f - 2.0f * (x * x + z * z), 2.0f * (y * z - w * x), 0.0f},
         {2.0f * (x * z - w * y), 2.0f * (y * z + w * x), 1.0f - 2.0f * (x * x + y * y), 0.0f}}};
}

// The product of the quaternion's left and right multiplication matrices
// [[w,-z,y,-x],[z,w,-x,-y],[-y,x,w,-z],[x,y,z,w]] x [[w,-z,y,x],[z,w,-x,y],
// [-y,x,w,z],[-x,-y,-z,w]] in the row-vector sense of Mat4, written out: its
// linear part has the diagonal w^2 + x^2 - y^2 - z^2 and so on, which for a
// quaternion that is not of unit length differs from 1 - 2(y^2 + z^2).
void Mat3x4FromQuaternionRows(Mat3x4* out, const float* q) {
    const float x = q[0];
    const float y = q[1];
    const float z = q[2];
    const float w = q[3];
    const float ww = w * w;
    const float xx = x * x;
    const float yy = y * y;
    const float zz = z * z;
    *out = Mat3x4{{{ww + xx - yy - zz, 2.0f * (x * y + w * z), 2.0f * (x * z - w * y), 0.0f},
                   {2.0f * (x * y - w * z), ww - xx + yy - zz, 2.0f * (y * z + w * x), 0.0f},
                   {2.0f * (x * z + w * y), 2.0f * (y * z - w * x), ww - xx - yy + zz, 0.0f}}};
}

void Mat3x4FromEulerOrder(Mat3x4* out, int order, const Vec3& angles) {
    switch (order) {
        case 0:
            Mat3x4FromEulerXYZ(out, angles.x, angles.y, angles.z);
            return;
        case 1:
            Mat3x4FromEulerXZY(out, angles.x, angles.y, angles.z);
            return;
        case 2:
            Mat3x4FromEulerYZX(out, angles.x, angles.y, angles.z);
            return;
        case 3:
            Mat3x4FromEulerYXZ(out, angles.x, angles.y, angles.z);
            return;
        case 4:
            Mat3x4FromEulerZXY(out, angles.x, angles.y, angles.z);
            return;
        case 5:
            Mat3x4FromEulerZYX(out, angles.x, angles.y, angles.z);
            return;
        default:
            // An order no reader gives: no rotation rather than garbage.
            Identity3x4(out);
            return;
    }
}

}  // namespace tessel
