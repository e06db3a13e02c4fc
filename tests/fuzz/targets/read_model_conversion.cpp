// The whole read-model conversion on a model spelled out by the input as a
// reader would fill it, with whatever indices, materials, bones and shapes
// the bytes give: byte 0 the switches (bit 0 reversed winding, bit 1 own
// smoothing, bit 2 no culling of translucent meshes, bit 3 the mesh has no
// normals of its own); a position count and three signed bytes (/ 16) each;
// a material count (% 4); a face count and per face its corner count, that
// many signed position indices (at most 32 read) and a material byte; a bone
// count (% 16) and per bone a signed frame index, a pair count and per pair a
// position byte and a weight byte (/ 64); a shape switch and, with it, a
// count of (position byte, three signed delta bytes). The base that comes out
// is walked through every list and released.
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_target.h"
#include "fuzz/read_model_bytes.h"
#include "models/core/model_system.h"
#include "models/math/model_math.h"
#include "models/read/read_model.h"
#include "models/read/read_model_conversion.h"
#include "models/util/model_containers.h"

namespace {

using tessel_fuzz::ByteReader;
using tessel_fuzz::ChainArray;

// The model tables without a device: the conversion needs no drawing.
void StartModelTables() {
    if (tessel::g_models.initialised != 0) {
        return;
    }
    tessel::FillSineTable();
    tessel::g_models.defaultSmoothingAngle = 1.5620697f;
    tessel::g_models.initialised = 1;
}

bool FillMesh(tessel::ReadModel* model, tessel::ReadModelMesh* mesh, bool normals, ByteReader* in) {
    const int positions = in->Byte();
    mesh->positionCount = positions;
    mesh->positions = ChainArray<tessel::Vec3>(model, positions);
    if (normals) {
        mesh->normalCount = positions;
        mesh->normals = ChainArray<tessel::Vec3>(model, positions);
    }
    if (mesh->positions == nullptr || (normals && mesh->normals == nullptr)) {
        return false;
    }
    for (int i = 0; i < positions; ++i) {
        mesh->positions[i] =
            tessel::Vec3{in->Signed() / 16.0f, in->Signed() / 16.0f, in->Signed() / 16.0f};
        if (normals) {
            mesh->normals[i] = tessel::Vec3{0.0f, 1.0f, 0.0f};
        }
    }
    const int materials = in->Byte() % 4;
    for (int m = 0; m < materials; ++m) {
        mesh->materials[mesh->materialCount++] = tessel::ReadModelNewMaterial(model, "m");
    }
    const int faces = in->Byte();
    mesh->faceCount = faces;
    mesh->faces = ChainArray<tessel::ReadModelFace>(model, faces);
    if (mesh->faces == nullptr) {
        return false;
    }
    for (int f = 0; f < faces; ++f) {
        tessel::ReadModelFace& face = mesh->faces[f];
        face.cornerCount = in->Byte();
        face.corners = tessel::ReadModelNewCorners(model, face.cornerCount);
        if (face.corners == nullptr) {
            return false;
        }
        for (int k = 0; k < face.cornerCount && k < tessel::kReadModelFaceCorners; ++k) {
            face.corners[k].position = in->Signed();
            face.corners[k].normal = face.corners[k].position;
        }
        face.materialIndex = in->Byte() % 5;
    }
    return true;
}

void FillBones(tessel::ReadModel* model, tessel::ReadModelMesh* mesh, ByteReader* in) {
    const int bones = in->Byte() % 16;
    for (int b = 0; b < bones; ++b) {
        tessel::ReadModelSkinWeight* weight = tessel::ReadModelNewSkinWeight(model);
        if (weight == nullptr) {
            return;
        }
        tessel::MatTranslate(&weight->offsetMatrix, 0.25f * b, 0.0f, 0.0f);
        weight->boneFrameIndex = in->Signed() % 3;
        weight->weightCount = in->Byte() % 32;
        weight->weights = ChainArray<tessel::ReadModelSkinWeightPair>(model, weight->weightCount);
        if (weight->weights == nullptr) {
            return;
        }
        for (int i = 0; i < weight->weightCount; ++i) {
            weight->weights[i].positionIndex = in->Byte();
            weight->weights[i].weight = in->Signed() / 64.0f;
        }
        mesh->skinWeights[mesh->skinWeightCount++] = weight;
    }
}

void FillShape(tessel::ReadModel* model, tessel::ReadModelFrame* frame, tessel::ReadModelMesh* mesh,
               ByteReader* in) {
    if ((in->Byte() & 1) == 0) {
        return;
    }
    tessel::ReadModelShape* shape = tessel::ReadModelNewShape(model, "shape", frame);
    if (shape == nullptr) {
        return;
    }
    shape->mesh = mesh;
    shape->hasNormals = 1;
    shape->vertexCount = in->Byte() % 16;
    shape->vertices = ChainArray<tessel::ReadModelShapeVertex>(model, shape->vertexCount);
    if (shape->vertices == nullptr) {
        shape->vertexCount = 0;
        return;
    }
    for (int i = 0; i < shape->vertexCount; ++i) {
        shape->vertices[i].positionIndex = in->Byte();
        shape->vertices[i].position =
            tessel::Vec3{in->Signed() / 16.0f, in->Signed() / 16.0f, in->Signed() / 16.0f};
    }
}

// Every list's indices, source vertices and mesh vertices, read once.
void WalkBase(const tessel::ModelBase* base) {
    for (int l = 0; l < base->triangleListCount; ++l) {
        const tessel::ModelTriangleList& list = base->triangleLists[l];
        tessel_fuzz::sink = tessel_fuzz::sink +
                            tessel_fuzz::SumBytes(reinterpret_cast<const uint8_t*>(list.indices),
                                                  2 * static_cast<uint64_t>(list.indexCount));
        tessel_fuzz::sink =
            tessel_fuzz::sink +
            tessel_fuzz::SumBytes(list.vertices, static_cast<uint64_t>(list.vertexCount) *
                                                     static_cast<uint64_t>(list.vertexSize));
        for (int v = 0; v < list.vertexCount; ++v) {
            const uint8_t* record =
                list.mesh->vertices +
                static_cast<size_t>(list.meshVertexIndices[v]) * list.mesh->vertexStride;
            tessel_fuzz::sink = tessel_fuzz::sink + record[0];
        }
    }
}

}  // namespace

TESSEL_FUZZ_TARGET(read_model_conversion) {
    StartModelTables();
    ByteReader in(data, size);
    tessel::ReadModel model;
    tessel::ReadModelClear(&model);
    const uint8_t switches = in.Byte();
    model.reverseWinding = switches & 1;
    model.ownSmoothing = (switches >> 1) & 1;
    model.noCullTranslucent = (switches >> 2) & 1;
    tessel::ReadModelFrame* root = tessel::ReadModelNewFrame(&model, "root", nullptr);
    tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&model, "frame", root);
    tessel::ReadModelMesh* mesh =
        frame == nullptr ? nullptr : tessel::ReadModelNewMesh(&model, frame);
    if (mesh != nullptr && FillMesh(&model, mesh, (switches & 8) == 0, &in)) {
        FillBones(&model, mesh, &in);
        FillShape(&model, frame, mesh, &in);
        const int handle = tessel::ConvertReadModel(&model, nullptr, nullptr);
        const tessel::ModelBase* base = tessel::GetModelBase(handle);
        if (base != nullptr) {
            WalkBase(base);
            tessel::ReleaseModelBase(handle);
        }
    }
    tessel::ReadModelRelease(&model);
    return 0;
}
