// Triangle-list source vertices in the layout of the list's vertex type:
//   rigid      32 bytes: position, 1.0; normal, 0.0
//   4 bones    48 bytes: weights 0-3; position, 1.0; normal; bone slots 0-3
//   8 bones    64 bytes: weights 0-7; normal; slots 0-3; position; slots 4-7
//   free-form  the list's vertex size: position, 1.0; normal, 0.0; then
//              (bone frame, weight) pairs, unused ones (0xFFFFFFFF, 0.0)
// A bone slot is the bone's place in the list's bone table.
#include <cstring>

#include "models/util/mesh_utilities.h"

namespace tessel {

namespace {

constexpr uint32_t kWeightEnd = 0xFFFFFFFFu;

struct WeightPair {
    uint32_t bone;
    float weight;
};

const ModelMeshVertex* MeshVertex(const ModelMesh* mesh, int index) {
    return reinterpret_cast<const ModelMeshVertex*>(mesh->vertices + static_cast<size_t>(index) *
                                                                         mesh->vertexStride);
}

// A vertex carries at most this many weights into a source vertex.
constexpr int kMaxPairs = 256;

// The weight pairs of a position record, up to its end marker or the frame's
// largest count.
int ReadWeights(const ModelFrame* frame, int positionIndex, WeightPair* out) {
    const uint8_t* record =
        frame->positions + static_cast<size_t>(positionIndex) * frame->positionStride + 12;
    const int limit = frame->maxWeights < kMaxPairs ? frame->maxWeights : kMaxPairs;
    int count = 0;
    for (; count < limit; ++count) {
        WeightPair pair;
        std::memcpy(&pair, record + 8 * count, sizeof pair);
        if (pair.bone == kWeightEnd) {
            break;
        }
        out[count] = pair;
    }
    return count;
}

uint8_t BoneSlot(const ModelTriangleList* list, uint32_t boneFrame) {
    int slot = 0;
    while (slot < list->boneCount && static_cast<uint32_t>(list->bones[slot]) != boneFrame) {
        ++slot;
    }
    return static_cast<uint8_t>(slot);
}

void PutFloats(uint8_t* at, const float* values, int count) {
    std::memcpy(at, values, sizeof(float) * static_cast<size_t>(count));
}

void PutVec(uint8_t* at, const Vec3& v, float w, bool withW) {
    float values[4] = {v.x, v.y, v.z, w};
    PutFloats(at, values, withW ? 4 : 3);
}

void WriteSkinned(const ModelTriangleList* list, uint8_t* out, const Vec3& p, const Vec3& n,
                  const WeightPair* pairs, int pairCount) {
    const int limit = list->vertexType == 1 ? 4 : 8;
    float weights[8] = {};
    uint8_t slots[8] = {};
    for (int i = 0; i < pairCount && i < limit; ++i) {
        weights[i] = pairs[i].weight;
        slots[i] = BoneSlot(list, pairs[i].bone);
    }
    PutFloats(out, weights, limit);
    if (list->vertexType == 1) {
        PutVec(out + 16, p, 1.0f, true);
        PutVec(out + 32, n, 0.0f, false);
        std::memcpy(out + 44, slots, 4);
        return;
    }
    PutVec(out + 32, n, 0.0f, false);
    std::memcpy(out + 44, slots, 4);
    PutVec(out + 48, p, 0.0f, false);
    std::memcpy(out + 60, slots + 4, 4);
}

void WriteFreeForm(const ModelTriangleList* list, uint8_t* out, const Vec3& p, const Vec3& n,
                   const WeightPair* pairs, int pairCount) {
    PutVec(out, p, 1.0f, true);
    PutVec(out + 16, n, 0.0f, true);
    for (int i = 0; i < list->freeBoneCount; ++i) {
        WeightPair pair = i < pairCount ? pairs[i] : WeightPair{kWeightEnd, 0.0f};
        std::memcpy(out + 32 + 8 * i, &pair, sizeof pair);
    }
}

// One source vertex from a position, a normal and the position record's
// weights.
void WriteSourceVertex(const ModelTriangleList* list, uint8_t* out, const Vec3& p, const Vec3& n,
                       int positionIndex) {
    WeightPair pairs[kMaxPairs];
    int pairCount =
        list->vertexType == 0 ? 0 : ReadWeights(list->mesh->frame, positionIndex, pairs);
    switch (list->vertexType) {
        case 0:
            PutVec(out, p, 1.0f, true);
            PutVec(out + 16, n, 0.0f, true);
            break;
        case 1:
        case 2:
            WriteSkinned(list, out, p, n, pairs, pairCount);
            break;
        default:
            WriteFreeForm(list, out, p, n, pairs, pairCount);
            break;
    }
}

}  // namespace

int32_t SourceVertexBytes(const ModelTriangleList* list) {
    switch (list->vertexType) {
        case 0:
            return 32;
        case 1:
            return 48;
        case 2:
            return 64;
        default:
            return list->vertexSize;
    }
}

int GatherMeshVertices(ModelTriangleList* list) {
    const ModelMesh* mesh = list->mesh;
    const ModelFrame* frame = mesh->frame;
    const int32_t bytes = SourceVertexBytes(list);
    for (int i = 0; i < list->vertexCount; ++i) {
        const ModelMeshVertex* vertex = MeshVertex(mesh, list->meshVertexIndices[i]);
        Vec3 p;
        std::memcpy(
            &p,
            frame->positions + static_cast<size_t>(vertex->positionIndex) * frame->positionStride,
            sizeof p);
        const Vec3& n = frame->normals[vertex->normalIndex].normal;
        WriteSourceVertex(list, list->vertices + static_cast<size_t>(i) * bytes, p, n,
                          vertex->positionIndex);
    }
    return 0;
}

int GatherInstanceListVertices(ModelInstanceTriangleList* list) {
    const ModelTriangleList* base = list->base;
    const ModelMesh* mesh = base->mesh;
    const float* copies = list->mesh->shapeVertices;
    const int32_t bytes = SourceVertexBytes(base);
    for (int i = 0; i < base->vertexCount; ++i) {
        int meshIndex = base->meshVertexIndices[i];
        const float* entry = copies + 6 * meshIndex;
        Vec3 p{entry[0], entry[1], entry[2]};
        Vec3 n{entry[3], entry[4], entry[5]};
        WriteSourceVertex(base, list->vertices + static_cast<size_t>(i) * bytes, p, n,
                          MeshVertex(mesh, meshIndex)->positionIndex);
    }
    return 0;
}

}  // namespace tessel
