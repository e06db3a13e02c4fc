// Read models for the conversion tests and benchmark, built the way a reader
// fills them: frames with meshes of triangles whose corners name positions,
// normals, colours and texture coordinates, materials, skin weights and
// shapes. Every array lies in the read model's chain.
#pragma once

#include <cstring>
#include <vector>

#include "models/read/read_model.h"
#include "models/util/model_containers.h"
#include "tests/models/read_model_chain.h"

namespace tessel_test {

struct TriangleCorners {
    int p[3];
    int material = 0;
    int colour[3] = {0, 0, 0};
    int uv[3] = {0, 0, 0};
};

class ConversionModel {
  public:
    ConversionModel() { tessel::ReadModelClear(&model); }
    ~ConversionModel() { tessel::ReadModelRelease(&model); }
    ConversionModel(const ConversionModel&) = delete;
    ConversionModel& operator=(const ConversionModel&) = delete;

    template <typename T>
    T* Chain(const std::vector<T>& items) {
        return ChainCopy(&model, items);
    }

    // A mesh with one normal per position (its own index), no colours and no
    // texture coordinates unless set later.
    tessel::ReadModelMesh* AddMesh(tessel::ReadModelFrame* frame,
                                   const std::vector<tessel::Vec3>& positions,
                                   const std::vector<TriangleCorners>& triangles) {
        tessel::ReadModelMesh* mesh = tessel::ReadModelNewMesh(&model, frame);
        mesh->positionCount = static_cast<int32_t>(positions.size());
        mesh->positions = Chain(positions);
        std::vector<tessel::Vec3> normals;
        for (size_t i = 0; i < positions.size(); ++i) {
            normals.push_back(tessel::Vec3{0.0f, 0.6f, 0.8f});
        }
        mesh->normalCount = mesh->positionCount;
        mesh->normals = Chain(normals);
        std::vector<tessel::ReadModelFace> faces(triangles.size());
        for (size_t f = 0; f < triangles.size(); ++f) {
            std::memset(&faces[f], 0, sizeof faces[f]);
            faces[f].cornerCount = 3;
            faces[f].corners = tessel::ReadModelNewCorners(&model, 3);
            for (int k = 0; k < 3; ++k) {
                faces[f].corners[k].position = triangles[f].p[k];
                faces[f].corners[k].normal = triangles[f].p[k];
                faces[f].corners[k].colour = triangles[f].colour[k];
                faces[f].corners[k].texCoord[0] = triangles[f].uv[k];
            }
            faces[f].materialIndex = triangles[f].material;
        }
        mesh->faceCount = static_cast<int32_t>(faces.size());
        mesh->faces = Chain(faces);
        return mesh;
    }

    // A bone of the mesh moving the positions with their weights.
    tessel::ReadModelSkinWeight* AddBone(tessel::ReadModelMesh* mesh, int boneFrame,
                                         const std::vector<tessel::ReadModelSkinWeightPair>& pairs,
                                         float bindX = 0.0f) {
        tessel::ReadModelSkinWeight* weight = tessel::ReadModelNewSkinWeight(&model);
        tessel::MatTranslate(&weight->offsetMatrix, bindX, 0.0f, 0.0f);
        weight->boneFrameIndex = boneFrame;
        weight->weightCount = static_cast<int32_t>(pairs.size());
        weight->weights = Chain(pairs);
        mesh->skinWeights[mesh->skinWeightCount++] = weight;
        return weight;
    }

    tessel::ReadModel model;
};

// A strip of n triangles over n + 2 positions along x.
inline std::vector<tessel::Vec3> StripPositions(int triangles) {
    std::vector<tessel::Vec3> positions;
    for (int i = 0; i < triangles + 2; ++i) {
        positions.push_back(tessel::Vec3{0.5f * (i / 2) + 0.125f, (i % 2) * 1.25f, 0.375f});
    }
    return positions;
}
inline std::vector<TriangleCorners> StripTriangles(int triangles) {
    std::vector<TriangleCorners> out;
    for (int i = 0; i < triangles; ++i) {
        TriangleCorners t{};
        t.p[0] = i;
        t.p[1] = i + 1 + i % 2;
        t.p[2] = i + 2 - i % 2;
        out.push_back(t);
    }
    return out;
}

}  // namespace tessel_test
