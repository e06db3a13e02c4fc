// Frame animation and the matrices of a model. Every frame of a model has a
// world matrix that drawing and skinning read; it is brought up to date
// lazily: a model's matricesValid flag and one change bit per frame (a
// changed frame marks its whole subtree) decide what is computed again.
// Attached animations are evaluated at their current time into per-frame
// states, either component by component or, when their keys turn too far in
// one step, as interpolated whole matrices.
#pragma once

#include <cstdint>

#include "models/core/model_records.h"

namespace tessel {

// Every frame's world matrix and every skinning matrix of the model; nothing
// when matricesValid is set.
void UpdateModelMatrices(ModelInstance* record);
// Evaluates every attached animation whose time is not evaluated yet.
void EvaluateAttachedAnims(ModelInstance* record);
// All key sets of one attached animation at its current time, into its frame
// states. 0.
int UpdateFrameMatrices(ModelAttachedAnim* anim);
// A local matrix from the components that flags select: translation x
// rotation x scale for column vectors; the identity where nothing is set.
void ComposeLocalMatrix3x4(Mat3x4* out, uint32_t flags, const Vec3* translation, const Vec3* scale,
                           int rotationOrder, const Vec3* rotation, const float* quaternion);
// Marks a frame and its subtree in the model's changeBits (word: the word of
// changeBits that holds the frame's bit).
void MarkFrameChanged(const FrameChangeDescriptor* descriptor, uint32_t* changeWord);

// The rotation of a quaternion (x, y, z, w) for column vectors, and its
// transpose (the same rotation in the row-vector sense of Mat4).
void Mat3x4FromQuaternion(Mat3x4* out, const float* q);
void Mat3x4FromQuaternionRows(Mat3x4* out, const float* q);
// The Euler builder of a rotation order (0 XYZ, 1 XZY, 2 YZX, 3 YXZ, 4 ZXY,
// 5 ZYX, first letter first); any other order gives the identity.
void Mat3x4FromEulerOrder(Mat3x4* out, int order, const Vec3& angles);

}  // namespace tessel
