// What changes a model between frames: its placement, and the shape update
// that deforms its vertex copies by its shape weights and refills its own
// vertex buffers from them.
#include <cstring>

#include "foundation/memory/log.h"
#include "models/buffers/model_buffers.h"
#include "models/core/model_system.h"
#include "models/instances/model_instances.h"
#include "models/util/mesh_utilities.h"

namespace tessel {

namespace {

// A weight below this moves no vertex.
constexpr float kShapeWeightFloor = 1e-7f;

const ModelMeshVertex* MeshVertexOf(const ModelMesh* mesh, int index) {
    return reinterpret_cast<const ModelMeshVertex*>(mesh->vertices + static_cast<size_t>(index) *
                                                                         mesh->vertexStride);
}

// The copies back to the base's positions and normals.
void ResetCopies(const ModelInstanceMesh* mesh) {
    const ModelMesh* base = mesh->base;
    const ModelFrame* frame = base->frame;
    for (int32_t i = 0; i < base->vertexCount; ++i) {
        const ModelMeshVertex* vertex = MeshVertexOf(base, i);
        float* entry = mesh->shapeVertices + 6 * static_cast<size_t>(i);
        std::memcpy(
            entry,
            frame->positions + static_cast<size_t>(vertex->positionIndex) * frame->positionStride,
            12);
        std::memcpy(entry + 3, &frame->normals[vertex->normalIndex].normal, 12);
    }
}

void AddShape(ModelInstance* record, const ModelShape& shape, float weight) {
    ModelBase* base = record->base;
    for (int32_t s = 0; s < shape.shapeMeshCount; ++s) {
        const ModelShapeMesh& shapeMesh = base->shapeMeshes[shape.firstShapeMesh + s];
        const ModelInstanceMesh& mesh = record->meshes[shapeMesh.mesh - base->meshes];
        if (mesh.shapeVertices == nullptr) {
            continue;
        }
        for (int32_t d = 0; d < shapeMesh.vertexCount; ++d) {
            const ModelShapeDelta& delta = shapeMesh.data[d];
            if (delta.meshVertex < 0 || delta.meshVertex >= mesh.base->vertexCount) {
                continue;
            }
            float* entry = mesh.shapeVertices + 6 * static_cast<size_t>(delta.meshVertex);
            entry[0] += weight * delta.position.x;
            entry[1] += weight * delta.position.y;
            entry[2] += weight * delta.position.z;
            entry[3] += weight * delta.normal.x;
            entry[4] += weight * delta.normal.y;
            entry[5] += weight * delta.normal.z;
        }
    }
}

// The list's vertices from the mesh's copies, into the model's own buffer
// and the model's own source vertices.
void RefillList(const ModelInstanceMesh* mesh, ModelInstanceTriangleList* list) {
    const ModelTriangleList* base = list->base;
    if (list->vertices != nullptr) {
        GatherInstanceListVertices(list);
    }
    if (list->deviceBuffer == nullptr || base->bufferBlock == nullptr) {
        return;
    }
    const ModelBufferLayout layout = ModelBufferLayoutOf(ModelBufferKind(base));
    const uint32_t bytes = static_cast<uint32_t>(layout.stride) * base->vertexCount;
    void* out = nullptr;
    if (FAILED(list->deviceBuffer->Lock(0, bytes, &out, D3DLOCK_DISCARD))) {
        WriteLogFormat("Model shape error : a model's vertex buffer could not be locked");
        return;
    }
    Vec3 positions[256];
    Vec3 normals[256];
    // In runs, so that a long list needs no heap.
    ModelTriangleList run = *base;
    for (int32_t first = 0; first < base->vertexCount; first += 256) {
        const int32_t count = base->vertexCount - first < 256 ? base->vertexCount - first : 256;
        for (int32_t i = 0; i < count; ++i) {
            const float* entry =
                mesh->shapeVertices + 6 * static_cast<size_t>(base->meshVertexIndices[first + i]);
            positions[i] = Vec3{entry[0], entry[1], entry[2]};
            normals[i] = Vec3{entry[3], entry[4], entry[5]};
        }
        run.vertexCount = count;
        run.meshVertexIndices = base->meshVertexIndices + first;
        run.vertices = base->vertices != nullptr
                           ? base->vertices + static_cast<size_t>(first) * SourceVertexBytes(base)
                           : nullptr;
        WriteModelBufferVertices(
            &run, layout, positions, normals,
            static_cast<uint8_t*>(out) + static_cast<size_t>(first) * layout.stride);
    }
    list->deviceBuffer->Unlock();
}

void ApplyFrameShapes(ModelInstance* record, ModelInstanceFrame* frame) {
    const ModelFrame* base = frame->base;
    for (int32_t k = 0; k < base->shapeCount; ++k) {
        const ModelShapeWeight& weight = frame->shapeWeights[k];
        if (weight.weight >= kShapeWeightFloor) {
            AddShape(record, record->base->shapes[weight.shape], weight.weight);
        }
    }
    for (int32_t m = 0; m < base->meshCount; ++m) {
        ModelInstanceMesh* mesh = &frame->firstMesh[m];
        if (mesh->base->hasShape == 0 || mesh->shapeVertices == nullptr) {
            continue;
        }
        for (int32_t n = 0; n < mesh->base->triangleListCount; ++n) {
            RefillList(mesh, &mesh->triangleLists[n]);
        }
    }
}

}  // namespace

int PlaceModel(int modelHandle, float x, float y, float z) {
    ModelInstance* record = g_models.initialised != 0 ? GetModelInstance(modelHandle) : nullptr;
    if (record == nullptr) {
        return -1;
    }
    if (record->position.x == x && record->position.y == y && record->position.z == z) {
        return 0;
    }
    record->position = Vec3{x, y, z};
    record->matricesValid = 0;
    if ((record->changeBits[0] & 1u) == 0) {
        std::memset(record->changeBits, 0xFF, static_cast<size_t>(record->changeBytes));
    }
    return 0;
}

int UpdateModelShapes(int modelHandle) {
    ModelInstance* record = g_models.initialised != 0 ? GetModelInstance(modelHandle) : nullptr;
    if (record == nullptr || record->shapesChanged == 0) {
        return 0;
    }
    record->shapesChanged = 0;
    ModelBase* base = record->base;
    for (int32_t i = 0; i < base->meshCount; ++i) {
        ModelInstanceMesh& mesh = record->meshes[i];
        if (mesh.base->hasShape != 0 && mesh.shapeVertices != nullptr &&
            mesh.frame->shapesChanged != 0) {
            ResetCopies(&mesh);
        }
    }
    for (int32_t f = 0; f < base->frameCount; ++f) {
        ModelInstanceFrame& frame = record->frames[f];
        if (frame.hasShapes == 0 || frame.shapesChanged == 0) {
            continue;
        }
        frame.shapesChanged = 0;
        ApplyFrameShapes(record, &frame);
    }
    return 0;
}

}  // namespace tessel
