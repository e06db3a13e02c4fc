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

void MakeTriangle(const ReadModelFace& source, int a, int b, int c, ReadModelFace* target,
                  ReadModelCorner* corners) {
    corners[0] = source.corners[a];
    corners[1] = source.corners[b];
    corners[2] = source.corners[c];
    target->corners = corners;
    target->materialIndex = source.materialIndex;
    target->cornerCount = 3;
    target->triangleCount = 1;
}

// Cuts the face `faces[at]` into the appended faces from `*next` on, their
// corners taken from `*corners`, and then into its own first triangle, which
// keeps the polygon's corner records.
void CutPolygon(ReadModelFace* faces, int at, int* next, ReadModelCorner** corners) {
    const ReadModelFace& source = faces[at];
    const int n = source.cornerCount;
    int made = 0;
    for (int j = 0; made < n - 3; ++j) {
        MakeTriangle(source, n - 1 - j, 1 + j, 2 + j, &faces[(*next)++], *corners);
        *corners += 3;
        if (++made == n - 3) {
            break;
        }
        MakeTriangle(source, n - 1 - j, 2 + j, n - 2 - j, &faces[(*next)++], *corners);
        *corners += 3;
        ++made;
    }
    ReadModelFace& first = faces[at];
    first.corners[2] = first.corners[n - 1];
    first.cornerCount = 3;
    first.triangleCount = 1;
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
    ReadModelCorner* corners = faces != nullptr ? ReadModelNewCorners(model, 3 * extra) : nullptr;
    if (corners == nullptr) {
        WriteLog(
            "Read Model Error : ３ポリ変換後のデータを格納するメモリ領域の確保に失敗しました\n");
        return false;
    }
    std::memcpy(faces, mesh->faces, sizeof(ReadModelFace) * static_cast<size_t>(mesh->faceCount));
    int next = mesh->faceCount;
    for (int f = 0; f < mesh->faceCount; ++f) {
        if (faces[f].cornerCount > 3) {
            CutPolygon(faces, f, &next, &corners);
        }
    }
    mesh->faces = faces;
    mesh->faceCount = next;
    return true;
}

}  // namespace tessel
