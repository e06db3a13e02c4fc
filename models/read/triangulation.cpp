// Polygons into triangles: a face of n corners keeps (c0, c1, c(n-1)) in its
// place and appends n - 3 triangles behind the existing faces, zig-zagging
// from both ends of the remaining strip, so readers' face numbers for the
// first triangle of each polygon stay valid.
#include <cstring>

#include "foundation/memory/log.h"
#include "models/read/read_model.h"
#include "models/read/read_model_preparation.h"
#include "models/util/model_containers.h"

namespace tessel {

namespace {

constexpr int kMinCorners = 3;

// Copies corner `from` of one face into corner `to` of another, through every
// index array of the face.
void CopyCorner(const ReadModelFace& source, int from, ReadModelFace* target, int to) {
    target->positionIndex[to] = source.positionIndex[from];
    target->normalIndex[to] = source.normalIndex[from];
    target->colourIndex[to] = source.colourIndex[from];
    for (int layer = 0; layer < kReadModelTexLayers; ++layer) {
        target->texCoordIndex[layer][to] = source.texCoordIndex[layer][from];
    }
}

void MakeTriangle(const ReadModelFace& source, int a, int b, int c, ReadModelFace* target) {
    CopyCorner(source, a, target, 0);
    CopyCorner(source, b, target, 1);
    CopyCorner(source, c, target, 2);
    target->materialIndex = source.materialIndex;
    target->cornerCount = 3;
    target->triangleCount = 1;
}

// Cuts the face held in `source` into `faces[at]` and the appended faces from
// `*next` on.
void CutPolygon(const ReadModelFace& source, ReadModelFace* faces, int at, int* next) {
    const int n = source.cornerCount;
    MakeTriangle(source, 0, 1, n - 1, &faces[at]);
    int made = 0;
    for (int j = 0; made < n - 3; ++j) {
        MakeTriangle(source, n - 1 - j, 1 + j, 2 + j, &faces[(*next)++]);
        if (++made == n - 3) {
            break;
        }
        MakeTriangle(source, n - 1 - j, 2 + j, n - 2 - j, &faces[(*next)++]);
        ++made;
    }
}

}  // namespace

bool TriangulateReadModel(ReadModel* model, ReadModelMesh* mesh) {
    int64_t extra = 0;
    for (int f = 0; f < mesh->faceCount; ++f) {
        const int corners = mesh->faces[f].cornerCount;
        if (corners < kMinCorners || corners > kReadModelFaceCorners) {
            WriteLogFormat("Read Model Error : 面 %d の頂点数 %d が扱える範囲 (3 から 32) の外です",
                           f, corners);
            return false;
        }
        extra += corners - 3;
    }
    if (extra == 0) {
        return true;
    }
    const uint64_t bytes = static_cast<uint64_t>(mesh->faceCount + extra) * sizeof(ReadModelFace);
    auto* faces = bytes > UINT32_MAX ? nullptr
                                     : static_cast<ReadModelFace*>(AllocChainedBlock(
                                           static_cast<uint32_t>(bytes), &model->blocks));
    if (faces == nullptr) {
        WriteLog(
            "Read Model Error : ３ポリ変換後のデータを格納するメモリ領域の確保に失敗しました\n");
        return false;
    }
    std::memcpy(faces, mesh->faces, sizeof(ReadModelFace) * static_cast<size_t>(mesh->faceCount));
    int next = mesh->faceCount;
    for (int f = 0; f < mesh->faceCount; ++f) {
        if (mesh->faces[f].cornerCount > 3) {
            CutPolygon(mesh->faces[f], faces, f, &next);
        }
    }
    mesh->faces = faces;
    mesh->faceCount = next;
    return true;
}

}  // namespace tessel
