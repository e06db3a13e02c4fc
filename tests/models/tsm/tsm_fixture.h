// Models for the TSM round trips and the fuzz seeds: an MQO file of a plate
// and a triangle, and a read model filled as a reader fills one, with two
// frames (a rigid strip in the root, a skinned strip of two materials with a
// shape in the child) and an animation of the child.
#pragma once

#include <utility>
#include <vector>

#include "models/read/read_model.h"
#include "tests/models/read/conversion_fixture.h"

namespace tessel_test {

// A plate and, in a child object, a triangle, each face both ways round.
inline constexpr char kPlateMqo[] =
    "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\n"
    "Material 2 {\r\n\t\"plate\" col(0.5 0.25 1 1) dif(1) amb(0.5)\r\n"
    "\t\"tip\" col(1 0.75 0.25 1) dif(0.8) amb(0.25)\r\n}\r\n"
    "Object \"tile\" {\r\n\tdepth 0\r\n\tvisible 15\r\n\tfacet 59.5\r\n"
    "\tvertex 4 {\r\n\t\t100 100 0\r\n\t\t300 100 0\r\n\t\t300 250 0\r\n"
    "\t\t100 250 0\r\n\t}\r\n\tface 2 {\r\n\t\t4 V(0 1 2 3) M(0)\r\n\t\t4 V(3 2 1 0) M(0)\r\n"
    "\t}\r\n}\r\n"
    "Object \"tip\" {\r\n\tdepth 1\r\n\tvisible 15\r\n\tfacet 59.5\r\n"
    "\tvertex 3 {\r\n\t\t350 100 0\r\n\t\t500 120 0\r\n\t\t420 300 0\r\n\t}\r\n"
    "\tface 2 {\r\n\t\t3 V(0 1 2) M(1)\r\n\t\t3 V(2 1 0) M(1)\r\n\t}\r\n}\r\n"
    "Eof\r\n";

// The model at scale times its size in pixels.
inline void FillSkinnedModel(ConversionModel& m, float scale) {
    tessel::ReadModelFrame* root = tessel::ReadModelNewFrame(&m.model, "root", nullptr);
    tessel::ReadModelFrame* child = tessel::ReadModelNewFrame(&m.model, "child", root);
    root->flag = 1;
    child->flag = 1;
    auto strip = [scale](int triangles, float x0, float y0) {
        std::vector<tessel::Vec3> positions;
        for (int i = 0; i < triangles + 2; ++i) {
            positions.push_back(
                tessel::Vec3{scale * (x0 + 40.0f * (i / 2)), scale * (y0 + (i % 2) * 90.0f), 0.0f});
        }
        return positions;
    };
    auto bothWays = [](int count) {
        std::vector<TriangleCorners> triangles = StripTriangles(count);
        for (int i = 0; i < count; ++i) {
            TriangleCorners back = triangles[i];
            std::swap(back.p[1], back.p[2]);
            triangles.push_back(back);
        }
        return triangles;
    };
    m.AddMesh(root, strip(5, 60.0f, 60.0f), bothWays(5));
    std::vector<TriangleCorners> triangles = bothWays(6);
    triangles[2].material = 1;
    triangles[9].material = 1;
    tessel::ReadModelMesh* mesh = m.AddMesh(child, strip(6, 300.0f, 200.0f), triangles);
    for (int i = 0; i < 2; ++i) {
        tessel::ReadModelMaterial* material = tessel::ReadModelNewMaterial(&m.model, "mat");
        material->diffuse[0] = 0.25f + 0.5f * i;
        material->diffuse[1] = 0.5f;
        material->diffuse[2] = 1.0f - 0.5f * i;
        material->diffuse[3] = 1.0f;
        mesh->materials[mesh->materialCount++] = material;
    }
    // Weights of whole 65535ths, which the file's 16-bit weights keep exactly.
    auto w = [](int n) { return static_cast<float>(n) / 65535.0f; };
    m.AddBone(mesh, 0, {{0, w(32768)}, {1, 1.0f}, {2, w(16384)}, {7, 1.0f}}, 10.0f);
    m.AddBone(mesh, 1, {{0, w(32767)}, {2, w(49151)}, {3, 1.0f}}, -20.0f);
    // Nine bones on position 5 put its triangles in a free-form list.
    for (int b = 0; b < 9; ++b) {
        m.AddBone(mesh, b % 2, {{5, w(7281)}}, 2.0f * b);
    }
    tessel::ReadModelShape* shape = tessel::ReadModelNewShape(&m.model, "smile", child);
    shape->mesh = mesh;
    shape->hasNormals = 1;
    std::vector<tessel::ReadModelShapeVertex> moved = {
        {2, {30.0f, 0.0f, 0.0f}, {0.0f, 0.1f, 0.0f}}, {6, {0.0f, 45.0f, 0.0f}, {0.0f, 0.0f, 0.2f}}};
    shape->vertexCount = 2;
    shape->vertices = m.Chain(moved);
    tessel::ReadModelAnimSet* set = tessel::ReadModelNewAnimSet(&m.model, "walk");
    tessel::ReadModelAnim* anim = tessel::ReadModelNewAnim(&m.model, set);
    anim->targetIndex = 1;
    anim->length = 2.0f;
    tessel::ReadModelKeySet* keys = tessel::ReadModelNewKeySet(&m.model, anim);
    keys->kind = 1;
    keys->target = 10;
    keys->keyCount = 3;
    keys->hasTimeTable = 1;
    keys->times = m.Chain(std::vector<float>{0.0f, 0.5f, 2.0f});
    keys->values =
        m.Chain(std::vector<float>{0.0f, 0.0f, 0.0f, 1.0f, 2.0f, 3.0f, 7.0f, -5.0f, 0.25f});
    m.model.keyDataBytes += 3 * 16;
}

}  // namespace tessel_test
