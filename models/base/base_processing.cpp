// Frame matrices and the filtered index lists of a base.
#include "models/base/base_processing.h"

#include "models/read/read_model.h"

namespace tessel {

namespace {

bool IsZero(const Vec3& v) {
    // -0.0 compares equal to 0.0, so a negative zero counts as zero.
    return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f;
}

bool IsUnit(const Vec3& v) {
    return v.x == 1.0f && v.y == 1.0f && v.z == 1.0f;
}

Mat4 LocalMatrix(ModelFrame* frame) {
    Mat4 local;
    if (IsZero(frame->rotation) && IsUnit(frame->scale)) {
        if (IsZero(frame->translation)) {
            frame->matrixKind = 0;
            MatIdentity(&local);
        } else {
            frame->matrixKind = 1;
            MatTranslate(&local, frame->translation.x, frame->translation.y, frame->translation.z);
        }
        return local;
    }
    frame->matrixKind = 2;
    ComposeFrameMatrix(&frame->rotation, &frame->scale, &frame->translation, nullptr, &local,
                       frame->rotationOrder);
    return local;
}

bool IsFlagged(const ModelTriangleList* list, uint16_t listVertex) {
    const ModelMesh* mesh = list->mesh;
    const auto* vertex = reinterpret_cast<const ModelMeshVertex*>(
        mesh->vertices +
        static_cast<size_t>(list->meshVertexIndices[listVertex]) * mesh->vertexStride);
    return vertex->flag != 0;
}

}  // namespace

void ComputeFrameMatrices(ModelBase* base) {
    for (int32_t i = 0; i < base->frameCount; ++i) {
        ModelFrame* frame = &base->frames[i];
        Mat4 local = LocalMatrix(frame);
        Transpose4x4To3x4(&frame->local, &local);
        Mat4 world = local;
        if (frame->parent != nullptr) {
            Mat4 parentWorld;
            Transpose3x4To4x4(&parentWorld, &frame->parent->world);
            MatMul(&world, &local, &parentWorld);
        }
        Transpose4x4To3x4(&frame->world, &world);
        // A world without an inverse (a zero scale) keeps the identity there.
        Mat4 inverse;
        MatIdentity(&inverse);
        MatInverted(&inverse, &world);
        Transpose4x4To3x4(&frame->inverseWorld, &inverse);
    }
}

void FilterFlaggedTriangles(ModelTriangleList* list) {
    uint16_t kept = 0;
    for (int i = 0; i + 2 < list->indexCount; i += 3) {
        const uint16_t* triangle = list->indices + i;
        if (IsFlagged(list, triangle[0]) || IsFlagged(list, triangle[1]) ||
            IsFlagged(list, triangle[2])) {
            continue;
        }
        list->filteredIndices[kept] = triangle[0];
        list->filteredIndices[kept + 1] = triangle[1];
        list->filteredIndices[kept + 2] = triangle[2];
        kept = static_cast<uint16_t>(kept + 3);
    }
    list->filteredIndexCount = kept;
}

}  // namespace tessel
