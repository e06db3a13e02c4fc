// Tangent frames of a mesh's normal records. Each triangle's tangent and
// binormal come from its edges in position and texture space; the sums at each
// record are made orthonormal around the tangent. A record whose sum vanishes
// gets a zero vector instead of the NaN a division by its length would give.
#include <cstring>

#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "models/util/mesh_utilities.h"

namespace tessel {

namespace {

const ModelMeshVertex* MeshVertex(const ModelMesh* mesh, int index) {
    return reinterpret_cast<const ModelMeshVertex*>(mesh->vertices + static_cast<size_t>(index) *
                                                                         mesh->vertexStride);
}

const float* VertexTexCoords(const ModelMeshVertex* vertex) {
    return reinterpret_cast<const float*>(vertex + 1);
}

Vec3 PositionOf(const ModelFrame* frame, int index) {
    Vec3 p;
    std::memcpy(&p, frame->positions + static_cast<size_t>(index) * frame->positionStride,
                sizeof p);
    return p;
}

float Axis(const Vec3& v, int axis) {
    return axis == 0 ? v.x : (axis == 1 ? v.y : v.z);
}

void SetAxis(Vec3* v, int axis, float value) {
    (axis == 0 ? v->x : (axis == 1 ? v->y : v->z)) = value;
}

// The unit vector, or zero for a zero vector.
Vec3 NormalisedOrZero(const Vec3& v) {
    if (v.x == 0.0f && v.y == 0.0f && v.z == 0.0f) {
        return Vec3{0.0f, 0.0f, 0.0f};
    }
    return Vec3Normalised(v.x, v.y, v.z);
}

struct TriangleFrame {
    Vec3 tangent;
    Vec3 binormal;
};

TriangleFrame FrameOfTriangle(const ModelMesh* mesh, const ModelMeshVertex* const corner[3]) {
    const ModelFrame* frame = mesh->frame;
    Vec3 p[3];
    float u[3];
    float v[3];
    for (int i = 0; i < 3; ++i) {
        p[i] = PositionOf(frame, corner[i]->positionIndex);
        const float* uv = VertexTexCoords(corner[i]);
        bool hasCoords = mesh->texCoordSetCount > 0 && mesh->texCoordComponents >= 2;
        u[i] = hasCoords ? uv[0] : 0.0f;
        v[i] = hasCoords ? uv[1] : 0.0f;
    }
    float du1 = u[1] - u[0];
    float dv1 = v[1] - v[0];
    float du2 = u[2] - u[0];
    float dv2 = v[2] - v[0];
    float det = du1 * dv2 - dv1 * du2;
    TriangleFrame out = {};
    for (int axis = 0; axis < 3; ++axis) {
        float e1 = Axis(p[1], axis) - Axis(p[0], axis);
        float e2 = Axis(p[2], axis) - Axis(p[0], axis);
        float c1 = e2 * dv1 - dv2 * e1;
        float c2 = du2 * e1 - du1 * e2;
        // A texture mapping without area has no direction to divide out: the
        // axis counts as degenerate, as a vanishing edge does.
        if (c1 * c1 + det * det + c2 * c2 >= 1e-7f && det != 0.0f) {
            SetAxis(&out.tangent, axis, -c1 / det);
            SetAxis(&out.binormal, axis, -c2 / det);
        } else {
            SetAxis(&out.tangent, axis, 1.0f);
            SetAxis(&out.binormal, axis, 0.0f);
        }
    }
    return out;
}

void AddTriangleFrame(ModelNormal* normals, const ModelMeshVertex* const corner[3],
                      const TriangleFrame& t) {
    for (int i = 0; i < 3; ++i) {
        ModelNormal& record = normals[corner[i]->normalIndex];
        Vec3Plus(&record.tangent, &record.tangent, &t.tangent);
        Vec3Plus(&record.binormal, &record.binormal, &t.binormal);
    }
}

}  // namespace

int RebuildTangentFrames(ModelMesh* mesh) {
    ModelFrame* frame = mesh->frame;
    auto* marks = static_cast<uint8_t*>(AllocTrackedZeroed(
        static_cast<uint32_t>(frame->normalCount > 0 ? frame->normalCount : 1), "", 0));
    if (marks == nullptr) {
        return WriteLog("頂点の接線と従法線の作成作業に必要なメモリ領域の確保に失敗しました\n");
    }
    for (int i = 0; i < mesh->vertexCount; ++i) {
        int32_t n = MeshVertex(mesh, i)->normalIndex;
        marks[n] = 1;
        frame->normals[n].tangent = Vec3{0.0f, 0.0f, 0.0f};
        frame->normals[n].binormal = Vec3{0.0f, 0.0f, 0.0f};
    }
    for (int l = 0; l < mesh->triangleListCount; ++l) {
        const ModelTriangleList& list = mesh->triangleLists[l];
        for (int i = 0; i + 2 < list.indexCount; i += 3) {
            const ModelMeshVertex* corner[3];
            for (int k = 0; k < 3; ++k) {
                corner[k] = MeshVertex(mesh, list.meshVertexIndices[list.indices[i + k]]);
            }
            AddTriangleFrame(frame->normals, corner, FrameOfTriangle(mesh, corner));
        }
    }
    for (int n = 0; n < frame->normalCount; ++n) {
        if (marks[n] == 0) {
            continue;
        }
        ModelNormal& record = frame->normals[n];
        Vec3 t = NormalisedOrZero(record.tangent);
        Vec3 cross;
        Vec3Cross(&cross, &t, &record.binormal);
        Vec3 n2 = NormalisedOrZero(cross);
        Vec3Cross(&cross, &n2, &t);
        record.tangent = t;
        record.binormal = NormalisedOrZero(cross);
    }
    FreeTracked(marks);
    return 0;
}

}  // namespace tessel
