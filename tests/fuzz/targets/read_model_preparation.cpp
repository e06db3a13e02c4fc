// The preparation a reader's read model goes through, on a model spelled out
// by the input as a reader would fill it from a file, with whatever corner
// counts, indices, key kinds and times the bytes give: byte 0 the switches
// (bit 0 reversed winding), byte 1 the smoothing angle (x pi / 128, 0 the
// default); a position count and three signed bytes (/ 16) each; a face
// count and per face its corner count and that many signed position indices
// (at most 32 read); a key-set count and per set its kind, target, table
// switch, key count, then one signed byte (/ 8) per value float and, with a
// table, one signed byte (/ 4) per time. The keys are normalised, the mesh
// triangulated and its normals generated, and every normal read.
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_target.h"
#include "fuzz/read_model_bytes.h"
#include "models/read/read_model.h"
#include "models/read/read_model_preparation.h"
#include "models/util/model_containers.h"

namespace {

using tessel_fuzz::ByteReader;
using tessel_fuzz::ChainArray;

bool FillMesh(tessel::ReadModel* model, tessel::ReadModelMesh* mesh, ByteReader* in) {
    const int positions = in->Byte();
    mesh->positionCount = positions;
    mesh->positions = ChainArray<tessel::Vec3>(model, positions);
    if (mesh->positions == nullptr) {
        return false;
    }
    for (int i = 0; i < positions; ++i) {
        mesh->positions[i] =
            tessel::Vec3{in->Signed() / 16.0f, in->Signed() / 16.0f, in->Signed() / 16.0f};
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
        }
    }
    return true;
}

void FillKeys(tessel::ReadModel* model, tessel::ReadModelAnim* anim, ByteReader* in) {
    const int sets = in->Byte() % 17;
    for (int s = 0; s < sets; ++s) {
        tessel::ReadModelKeySet* keys = tessel::ReadModelNewKeySet(model, anim);
        if (keys == nullptr) {
            return;
        }
        keys->kind = in->Byte() % 8;
        keys->target = in->Byte();
        keys->hasTimeTable = in->Byte() & 1;
        keys->keyCount = in->Byte() % 33;
        keys->length = 8.0f;
        keys->timeStep = 1.0f;
        const int floats = tessel::ReadModelKeyValueBytes(keys->kind) / 4;
        auto* values = ChainArray<float>(model, keys->keyCount * floats);
        auto* times = ChainArray<float>(model, keys->keyCount);
        if (values == nullptr || times == nullptr) {
            return;
        }
        for (int i = 0; i < keys->keyCount * floats; ++i) {
            values[i] = in->Signed() / 8.0f;
        }
        for (int i = 0; keys->hasTimeTable != 0 && i < keys->keyCount; ++i) {
            times[i] = in->Signed() / 4.0f;
        }
        keys->values = values;
        keys->times = keys->hasTimeTable != 0 ? times : nullptr;
        model->keyDataBytes += keys->keyCount * (floats * 4 + (keys->hasTimeTable != 0 ? 4 : 0));
    }
}

}  // namespace

TESSEL_FUZZ_TARGET(read_model_preparation) {
    ByteReader in(data, size);
    tessel::ReadModel model;
    tessel::ReadModelClear(&model);
    model.reverseWinding = in.Byte() & 1;
    tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&model, "frame", nullptr);
    tessel::ReadModelMesh* mesh = tessel::ReadModelNewMesh(&model, frame);
    tessel::ReadModelAnimSet* set = tessel::ReadModelNewAnimSet(&model, "set");
    tessel::ReadModelAnim* anim = set == nullptr ? nullptr : tessel::ReadModelNewAnim(&model, set);
    if (frame != nullptr) {
        frame->smoothingAngle = in.Byte() * 3.1415927f / 128.0f;
    }
    if (mesh != nullptr && anim != nullptr && FillMesh(&model, mesh, &in)) {
        FillKeys(&model, anim, &in);
        tessel::SplitMatrixAnimKeys(&model);
        for (const tessel::ReadModelKeySet* k = model.firstKeySet; k != nullptr; k = k->next) {
            const int floats = tessel::ReadModelKeyValueBytes(k->kind) / 4;
            tessel_fuzz::sink =
                tessel_fuzz::sink +
                tessel_fuzz::SumBytes(static_cast<const uint8_t*>(k->values),
                                      static_cast<uint64_t>(k->keyCount) * floats * 4);
            if (k->hasTimeTable != 0 && k->times != nullptr) {
                tessel_fuzz::sink =
                    tessel_fuzz::sink +
                    tessel_fuzz::SumBytes(reinterpret_cast<const uint8_t*>(k->times),
                                          static_cast<uint64_t>(k->keyCount) * 4);
            }
        }
        if (tessel::TriangulateReadModel(&model, mesh) &&
            tessel::GenerateReadModelNormals(&model, mesh)) {
            for (int f = 0; f < mesh->faceCount; ++f) {
                for (int c = 0; c < 3; ++c) {
                    const tessel::Vec3& n = mesh->normals[mesh->faces[f].corners[c].normal];
                    uint32_t bits = 0;
                    std::memcpy(&bits, &n.x, 4);
                    tessel_fuzz::sink = tessel_fuzz::sink + bits;
                }
            }
        }
    }
    tessel::ReadModelRelease(&model);
    return 0;
}
