// .x models written by our own writer in any of its forms, for the tests,
// the fuzz seeds and the benchmark.
#pragma once

#include <cstdint>
#include <vector>

#include "tests/models/xfile/x_writer.h"

namespace tessel_test {

// A frame with a matrix holding a named mesh with every part (normals, uv,
// a material list of a child material with a texture and a reference to a
// top-level one, vertex colours, skin weights), a child frame with an
// unnamed mesh, and an animation set whose keys are of every type.
inline void WriteFullModel(XWriter& w) {
    w.Begin("Material", "Shared")
        .Floats({0.25, 0.5, 0.75, 0.125, 8.0, 0.5, 0.25, 1.0, 0.0, 0.125, 0.375})
        .End();
    w.Begin("Frame", "Body");
    w.Begin("FrameTransformMatrix")
        .Floats({1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 3, 0, 4.5, -5.25, 6, 1})
        .End();
    w.Begin("Mesh", "BodyMesh");
    w.Ints({5}).Floats({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0.5, 0.5, 1.5});
    w.Ints({3, 4, 0, 1, 2, 3, 3, 0, 2, 4, 3, 1, 4, 2});
    w.Begin("MeshNormals").Ints({2}).Floats({0, 0, 1, 0, 0, -1});
    w.Ints({3, 4, 0, 0, 0, 0, 3, 1, 1, 1, 3, 0, 1, 0}).End();
    w.Begin("MeshTextureCoords").Ints({5}).Floats({0, 0, 1, 0, 1, 1, 0, 1, 0.5, 0.25}).End();
    w.Begin("MeshMaterialList").Ints({2, 3, 1, 0, 1});
    w.Begin("Material", "Skin").Floats({1, 0.5, 0.25, 0.5, 16, 0.125, 0.25, 0.5, 0, 0, 0});
    w.Begin("TextureFilename").String("skin.png").End();
    w.End();
    w.Reference("Shared");
    w.End();
    w.Begin("MeshVertexColors")
        .Ints({2, 1})
        .Floats({1, 0, 0, 1})
        .Ints({3})
        .Floats({0, 0.5, 1, 0.25})
        .End();
    w.Begin("XSkinMeshHeader").Ints({1, 1, 1}).End();
    w.Begin("SkinWeights")
        .String("Arm")
        .Ints({2, 1, 4})
        .Floats({0.25, 0.75, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -1, -2, -3, 1})
        .End();
    w.End();  // BodyMesh
    w.Begin("Frame", "Arm");
    w.Begin("Mesh").Ints({3}).Floats({0, 0, 0, 0, 1, 0, 0, 0, 1}).Ints({1, 3, 0, 1, 2}).End();
    w.End();  // Arm
    w.End();  // Body
    w.Begin("AnimationSet", "Walk");
    w.Begin("Animation");
    w.Reference("Arm");
    w.Begin("AnimationKey")
        .Ints({0, 2, 0, 4})
        .Floats({0.5, 0.25, 0.125, 1})
        .Ints({10, 4})
        .Floats({1, 0, 0, 0})
        .End();
    w.Begin("AnimationKey").Ints({1, 1, 5, 3}).Floats({2, 3, 4}).End();
    w.Begin("AnimationKey")
        .Ints({2, 2, 0, 3})
        .Floats({1, 2, 3})
        .Ints({20, 3})
        .Floats({4, 5, 6})
        .End();
    w.Begin("AnimationKey")
        .Ints({4, 1, 7, 16})
        .Floats({1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 1})
        .End();
    w.End();  // Animation
    w.End();  // AnimationSet
}

inline std::vector<uint8_t> FullModel(XForm form) {
    XWriter w(form);
    WriteFullModel(w);
    return w.data();
}

// A grid mesh of about `triangles` triangles with normals and texture
// coordinates, in one frame, as a modelling tool would export it.
inline std::vector<uint8_t> GridModel(XForm form, int triangles) {
    int side = 1;
    while (2 * side * side < triangles) {
        ++side;
    }
    const int vertices = (side + 1) * (side + 1);
    std::vector<double> positions;
    std::vector<double> uv;
    for (int y = 0; y <= side; ++y) {
        for (int x = 0; x <= side; ++x) {
            positions.insert(positions.end(), {x * 0.125, (x * y % 7) * 0.0625, y * 0.125});
            uv.insert(uv.end(), {x / static_cast<double>(side), y / static_cast<double>(side)});
        }
    }
    std::vector<std::vector<int32_t>> faces;
    std::vector<std::vector<int32_t>> normalFaces;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const int a = y * (side + 1) + x;
            faces.push_back({a, a + side + 1, a + 1});
            faces.push_back({a + 1, a + side + 1, a + side + 2});
            normalFaces.push_back({0, 0, 0});
            normalFaces.push_back({0, 0, 0});
        }
    }
    XWriter w(form);
    w.Begin("Frame", "Grid").Begin("Mesh", "GridMesh");
    w.Ints({vertices}).Vectors(positions, 3).Faces(faces);
    w.Begin("MeshNormals").Ints({1}).Vectors({0, 1, 0}, 3).Faces(normalFaces).End();
    w.Begin("MeshTextureCoords").Ints({vertices}).Vectors(uv, 2).End();
    w.End().End();
    return w.data();
}

}  // namespace tessel_test
