// The vertex layouts of the 54 buffer kinds and the writing of a list's
// vertices in them. Strides: rigid 64 + 16s (the format code covers the first
// 32 + 16s bytes) or 56 + 16s with a normal map; 4 bones 52 + 16s or 76 + 16s;
// 8 bones 72 + 16s or 96 + 16s, s being the coordinate sets.
#include <cstring>

#include "models/buffers/model_buffers.h"

namespace tessel {

namespace {

constexpr int kSetsPerKind = kModelMaxTexCoordSets + 1;

const ModelMeshVertex* MeshVertexOf(const ModelMesh* mesh, int index) {
    return reinterpret_cast<const ModelMeshVertex*>(mesh->vertices + static_cast<size_t>(index) *
                                                                         mesh->vertexStride);
}

void PutVec(uint8_t* at, const Vec3& v) {
    std::memcpy(at, &v, sizeof v);
}

// Bone weights and slots from a skinned source vertex (48 or 64 bytes).
void CopySkin(const ModelTriangleList* list, int i, const ModelBufferLayout& layout, uint8_t* out) {
    const int32_t bytes = list->vertexType == 1 ? 48 : 64;
    const uint8_t* source = list->vertices + static_cast<size_t>(i) * bytes;
    std::memcpy(out + layout.weights, source, 4 * static_cast<size_t>(layout.boneCount));
    std::memcpy(out + layout.boneSlots, source + 44, 4);
    if (layout.boneCount == 8) {
        std::memcpy(out + layout.boneSlots + 4, source + 60, 4);
    }
}

void CopyTexCoords(const ModelMesh* mesh, const ModelMeshVertex* vertex,
                   const ModelBufferLayout& layout, uint8_t* out) {
    const auto* coords = reinterpret_cast<const uint8_t*>(vertex) + sizeof(ModelMeshVertex);
    const int components = mesh->texCoordComponents;
    for (int set = 0; set < layout.texCoordSets; ++set) {
        float uvw[4] = {0.0f, 0.0f, 1.0f, 1.0f};
        const uint8_t* from = coords + 4 * static_cast<size_t>(set * components);
        std::memcpy(&uvw[0], from, components >= 1 ? 4 : 0);
        std::memcpy(&uvw[1], from + 4, components >= 2 ? 4 : 0);
        std::memcpy(out + layout.texCoords + 16 * set, uvw, sizeof uvw);
    }
}

}  // namespace

int ModelBufferKind(const ModelTriangleList* list) {
    const ModelMesh* mesh = list->mesh;
    if (list->vertexType > 2 || mesh == nullptr || mesh->texCoordSetCount < 0 ||
        mesh->texCoordSetCount > kModelMaxTexCoordSets) {
        return -1;
    }
    const int normalMap = mesh->material != nullptr && mesh->material->normalLayerCount > 0 ? 1 : 0;
    return (list->vertexType * 2 + normalMap) * kSetsPerKind + mesh->texCoordSetCount;
}

ModelBufferLayout ModelBufferLayoutOf(int kind) {
    const int sets = kind % kSetsPerKind;
    const bool normalMap = (kind / kSetsPerKind) % 2 == 1;
    const int vertexType = kind / kSetsPerKind / 2;
    ModelBufferLayout layout = {};
    layout.boneCount = vertexType == 0 ? 0 : (vertexType == 1 ? 4 : 8);
    layout.texCoordSets = sets;
    int32_t at = 12;
    // The bone slots come first, then the weights, as the vertex declarations read them.
    layout.boneSlots = layout.boneCount > 0 ? at : -1;
    at += layout.boneCount;
    layout.weights = layout.boneCount > 0 ? at : -1;
    at += 4 * layout.boneCount;
    layout.normal = at;
    at += 12;
    layout.tangent = normalMap ? at : -1;
    layout.binormal = normalMap ? at + 12 : -1;
    at += normalMap ? 24 : 0;
    layout.diffuse = at;
    layout.specular = at + 4;
    layout.texCoords = at + 8;
    layout.stride = layout.texCoords + 16 * sets;
    if (vertexType == 0 && !normalMap) {
        // Room the rigid layout keeps behind the part its format code covers.
        layout.stride += 32;
        layout.fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR |
                     (static_cast<uint32_t>(sets) << D3DFVF_TEXCOUNT_SHIFT);
        for (int set = 0; set < sets; ++set) {
            layout.fvf |= D3DFVF_TEXCOORDSIZE4(set);
        }
    }
    return layout;
}

void WriteModelBufferVertices(const ModelTriangleList* list, const ModelBufferLayout& layout,
                              const Vec3* positions, const Vec3* normals, uint8_t* out) {
    const ModelMesh* mesh = list->mesh;
    const ModelFrame* frame = mesh->frame;
    for (int i = 0; i < list->vertexCount; ++i) {
        uint8_t* vertex = out + static_cast<size_t>(i) * layout.stride;
        const ModelMeshVertex* meshVertex = MeshVertexOf(mesh, list->meshVertexIndices[i]);
        PutVec(vertex, positions[i]);
        PutVec(vertex + layout.normal, normals[i]);
        if (layout.tangent >= 0) {
            const ModelNormal& record = frame->normals[meshVertex->normalIndex];
            PutVec(vertex + layout.tangent, record.tangent);
            PutVec(vertex + layout.binormal, record.binormal);
        }
        if (layout.boneCount > 0) {
            CopySkin(list, i, layout, vertex);
        }
        std::memcpy(vertex + layout.diffuse, &meshVertex->diffuse, 4);
        std::memcpy(vertex + layout.specular, &meshVertex->specular, 4);
        CopyTexCoords(mesh, meshVertex, layout, vertex);
    }
}

}  // namespace tessel
