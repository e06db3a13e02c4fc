// What the two .x fuzz targets share: a file made of the header the target
// stands for and the input as its body, parsed, converted, and every array
// of the read model it gave read to its end.
#pragma once

#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "models/read/read_model.h"
#include "models/xfile/x_reader.h"

namespace tessel_fuzz {

inline void SumFloats(const void* values, uint64_t count) {
    sink = sink + SumBytes(static_cast<const uint8_t*>(values), count * 4);
}

inline void UseReadModel(const tessel::ReadModel& model) {
    for (const tessel::ReadModelMesh* m = model.firstMesh; m != nullptr; m = m->next) {
        SumFloats(m->positions, 3u * static_cast<uint64_t>(m->positionCount));
        SumFloats(m->normals,
                  m->normals != nullptr ? 3u * static_cast<uint64_t>(m->normalCount) : 0);
        SumFloats(m->colours,
                  m->colours != nullptr ? 4u * static_cast<uint64_t>(m->colourCount) : 0);
        for (int f = 0; f < m->faceCount; ++f) {
            const tessel::ReadModelFace& face = m->faces[f];
            for (int k = 0; k < face.cornerCount; ++k) {
                sink =
                    sink + static_cast<uint32_t>(m->positions[face.corners[k].position].x != 0.0f);
                if (m->normals != nullptr) {
                    sink =
                        sink + static_cast<uint32_t>(m->normals[face.corners[k].normal].y != 0.0f);
                }
                if (m->colours != nullptr) {
                    sink =
                        sink + static_cast<uint32_t>(m->colours[face.corners[k].colour][0] != 0.0f);
                }
                if (m->texCoords[0] != nullptr) {
                    sink = sink + static_cast<uint32_t>(
                                      m->texCoords[0][face.corners[k].texCoord[0]][0] != 0.0f);
                }
            }
            sink = sink + static_cast<uint32_t>(m->materials[face.materialIndex] != nullptr);
        }
        for (int s = 0; s < m->skinWeightCount; ++s) {
            SumFloats(m->skinWeights[s]->weights,
                      2u * static_cast<uint64_t>(m->skinWeights[s]->weightCount));
        }
    }
    for (const tessel::ReadModelKeySet* k = model.firstKeySet; k != nullptr; k = k->next) {
        SumFloats(k->times, static_cast<uint64_t>(k->keyCount));
        SumFloats(k->values, static_cast<uint64_t>(k->keyCount) *
                                 (tessel::ReadModelKeyValueBytes(k->kind) / 4));
    }
}

inline int LoadXBody(const char* header, const uint8_t* data, size_t size) {
    std::vector<uint8_t> joined(header, header + 16);
    joined.insert(joined.end(), data, data + size);
    ExactCopy exact(joined.data(), joined.size());
    tessel::XObjectTree tree;
    tessel::ReadModel model;
    tessel::ReadModelClear(&model);
    if (tessel::StartXObjectTree(&tree) == 0 &&
        tessel::ParseXImage(exact.bytes.get(), static_cast<int>(exact.size), &tree) == 0 &&
        tessel::ConvertXToReadModel(&tree, &model) == 0) {
        UseReadModel(model);
    }
    tessel::FreeXObjectTree(&tree);
    tessel::ReadModelRelease(&model);
    return 0;
}

}  // namespace tessel_fuzz
