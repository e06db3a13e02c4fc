// One frame with one mesh and one triangle list, laid out in vectors as a
// loader lays them out in a base: positions with their weight pairs, normal
// records, mesh vertices with one set of texture coordinates, and a list
// whose vertices are the mesh's in order.
#pragma once

#include <cstring>
#include <vector>

#include "models/core/model_records.h"

namespace tessel_test {

struct MeshCorner {
    tessel::Vec3 position;
    float u;
    float v;
    std::vector<std::pair<uint32_t, float>> weights;  // (bone frame, weight)
    uint32_t flag = 0;
};

class MeshFixture {
  public:
    // triangles: three corner indices each. maxWeights sizes the position
    // records.
    MeshFixture(std::vector<MeshCorner> corners, std::vector<uint16_t> triangles,
                int maxWeights = 0)
        : corners_(std::move(corners)), triangles_(std::move(triangles)) {
        const int n = static_cast<int>(corners_.size());
        frame.maxWeights = maxWeights;
        frame.positionStride = 12 + 8 * maxWeights;
        frame.positionCount = n;
        positions_.assign(static_cast<size_t>(frame.positionStride) * n, 0);
        normals_.assign(static_cast<size_t>(n), tessel::ModelNormal{});
        for (int i = 0; i < n; ++i) {
            uint8_t* record = positions_.data() + static_cast<size_t>(i) * frame.positionStride;
            std::memcpy(record, &corners_[i].position, 12);
            for (int k = 0; k < maxWeights; ++k) {
                uint32_t bone = 0xFFFFFFFFu;
                float weight = 0.0f;
                if (k < static_cast<int>(corners_[i].weights.size())) {
                    bone = corners_[i].weights[k].first;
                    weight = corners_[i].weights[k].second;
                }
                std::memcpy(record + 12 + 8 * k, &bone, 4);
                std::memcpy(record + 16 + 8 * k, &weight, 4);
            }
            normals_[i].normal = tessel::Vec3{0.0f, 0.0f, 1.0f};
        }
        frame.positions = positions_.data();
        frame.normalCount = n;
        frame.normals = normals_.data();
        frame.meshCount = 1;
        frame.meshes = &mesh;

        mesh.frame = &frame;
        mesh.texCoordSetCount = 1;
        mesh.texCoordComponents = 2;
        mesh.vertexStride = 28;
        mesh.vertexCount = n;
        vertices_.assign(static_cast<size_t>(28) * n, 0);
        for (int i = 0; i < n; ++i) {
            tessel::ModelMeshVertex vertex = {i, i, 0xFFFFFFFFu, 0, corners_[i].flag};
            uint8_t* at = vertices_.data() + 28 * i;
            std::memcpy(at, &vertex, sizeof vertex);
            std::memcpy(at + 20, &corners_[i].u, 4);
            std::memcpy(at + 24, &corners_[i].v, 4);
        }
        mesh.vertices = vertices_.data();
        mesh.triangleListCount = 1;
        mesh.triangleLists = &list;

        list.mesh = &mesh;
        list.vertexCount = n;
        for (int i = 0; i < n; ++i) {
            meshIndices_.push_back(static_cast<uint32_t>(i));
        }
        list.meshVertexIndices = meshIndices_.data();
        list.indexCount = static_cast<uint16_t>(triangles_.size());
        list.indices = triangles_.data();
        filtered_.assign(triangles_.size() + 1, 0xEEEE);
        list.filteredIndices = filtered_.data();
    }

    // Room for the list's source vertices of a type and vertex size.
    void PrepareList(int vertexType, int vertexSize, std::vector<int32_t> bones,
                     int freeBoneCount = 0) {
        bones_ = std::move(bones);
        list.vertexType = static_cast<uint16_t>(vertexType);
        list.vertexSize = static_cast<uint16_t>(vertexSize);
        list.boneCount = static_cast<int32_t>(bones_.size());
        list.bones = bones_.data();
        list.freeBoneCount = freeBoneCount;
        listVertices_.assign(static_cast<size_t>(vertexSize) * list.vertexCount + 64, 0xCD);
        list.vertices = listVertices_.data();
    }

    const uint8_t* ListVertex(int i) const {
        return listVertices_.data() + static_cast<size_t>(list.vertexSize) * i;
    }

    tessel::ModelFrame frame = {};
    tessel::ModelMesh mesh = {};
    tessel::ModelTriangleList list = {};

  private:
    std::vector<MeshCorner> corners_;
    std::vector<uint16_t> triangles_;
    std::vector<uint8_t> positions_;
    std::vector<tessel::ModelNormal> normals_;
    std::vector<uint8_t> vertices_;
    std::vector<uint32_t> meshIndices_;
    std::vector<uint16_t> filtered_;
    std::vector<int32_t> bones_;
    std::vector<uint8_t> listVertices_;
};

}  // namespace tessel_test
