// Loading a .x file our own writer made into a tree and a read model, and a
// plain-text account of a read model, so that two read models can be
// compared whole (floats written exactly, as hex).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/memory/memory.h"
#include "models/read/read_model.h"
#include "models/xfile/x_reader.h"
#include "tests/models/xfile/x_sample_models.h"
#include "tests/models/xfile/x_writer.h"

namespace tessel_test {

// A file parsed into a tree and, when that worked, converted; everything is
// released, and the tracked blocks checked gone, at the end.
class XLoad {
  public:
    explicit XLoad(const std::vector<uint8_t>& bytes, bool convert = true) {
        before_ = tessel::TrackedBlockCount();
        tessel::ReadModelClear(&model);
        tessel::StartXObjectTree(&tree);
        parsed = tessel::ParseXImage(bytes.data(), static_cast<int>(bytes.size()), &tree);
        if (parsed == 0 && convert) {
            converted = tessel::ConvertXToReadModel(&tree, &model);
        }
    }
    ~XLoad() {
        tessel::FreeXObjectTree(&tree);
        tessel::ReadModelRelease(&model);
        EXPECT_EQ(tessel::TrackedBlockCount(), before_) << "a block outlived the load";
    }
    XLoad(const XLoad&) = delete;
    XLoad& operator=(const XLoad&) = delete;

    tessel::ReadModelFrame* Frame(const std::string& name) const {
        for (tessel::ReadModelFrame* f = model.firstFrame; f != nullptr; f = f->next) {
            if (f->name != nullptr && name == f->name) {
                return f;
            }
        }
        return nullptr;
    }

    tessel::XObjectTree tree{};
    tessel::ReadModel model{};
    int parsed = -1;
    int converted = -1;

  private:
    uint32_t before_ = 0;
};

inline std::string Hex(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%a ", static_cast<double>(v));
    return text;
}

inline std::string Floats(const float* v, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += Hex(v[i]);
    }
    return out;
}

inline std::string Name(const char* name) {
    return name != nullptr ? std::string("'") + name + "'" : "(none)";
}

// Every field a reader fills, in list order.
inline std::string DescribeReadModel(const tessel::ReadModel& m) {
    std::string out;
    for (const tessel::ReadModelTexture* t = m.firstTexture; t != nullptr; t = t->next) {
        out += "texture " + Name(t->name) + " " + Name(t->colourFile) + "\n";
    }
    for (const tessel::ReadModelMaterial* x = m.firstMaterial; x != nullptr; x = x->next) {
        out += "material " + Name(x->name) + Floats(x->ambient, 4) + Floats(x->diffuse, 4) +
               Floats(x->specular, 4) + Floats(x->emissive, 4) + Hex(x->power) +
               std::to_string(x->layers[0].count) +
               (x->layers[0].count > 0 ? " tex " + std::to_string(x->layers[0].textures[0]->index)
                                       : "") +
               "\n";
    }
    for (const tessel::ReadModelFrame* f = m.firstFrame; f != nullptr; f = f->next) {
        out += "frame " + std::to_string(f->index) + Name(f->name) + " parent " +
               std::to_string(f->parent != nullptr ? f->parent->index : -1) + " " +
               Floats(&f->transform.m[0][0], 16) + "\n";
        for (const tessel::ReadModelMesh* x = f->firstMesh; x != nullptr; x = x->nextInFrame) {
            out += " mesh " + std::to_string(x->index) + " materials";
            for (int i = 0; i < x->materialCount; ++i) {
                out += " " + std::to_string(x->materials[i]->index);
            }
            out += "\n  positions " + Floats(&x->positions[0].x, 3 * x->positionCount);
            out += "\n  normals " +
                   (x->normals != nullptr ? Floats(&x->normals[0].x, 3 * x->normalCount) : "");
            out += "\n  uv " + std::to_string(x->texCoordCounts[0]) + " ";
            for (int i = 0; i < x->texCoordCounts[0]; ++i) {
                out += Floats(x->texCoords[0][i], 3);
            }
            out += "\n  colours ";
            for (int i = 0; i < x->colourCount; ++i) {
                out += Floats(x->colours[i], 4);
            }
            for (int i = 0; i < x->faceCount; ++i) {
                const tessel::ReadModelFace& face = x->faces[i];
                out += "\n  face " + std::to_string(face.cornerCount) + " m" +
                       std::to_string(face.materialIndex) + ":";
                for (int k = 0; k < face.cornerCount; ++k) {
                    out += " " + std::to_string(face.corners[k].position) + "/" +
                           std::to_string(face.corners[k].normal) + "/" +
                           std::to_string(face.corners[k].texCoord[0]) + "/" +
                           std::to_string(face.corners[k].colour);
                }
            }
            for (int s = 0; s < x->skinWeightCount; ++s) {
                const tessel::ReadModelSkinWeight* w = x->skinWeights[s];
                out += "\n  skin bone " + std::to_string(w->boneFrameIndex) + " " +
                       Floats(&w->offsetMatrix.m[0][0], 16);
                for (int i = 0; i < w->weightCount; ++i) {
                    out += std::to_string(w->weights[i].positionIndex) + ":" +
                           Hex(w->weights[i].weight);
                }
            }
            out += "\n";
        }
    }
    for (const tessel::ReadModelAnimSet* s = m.firstAnimSet; s != nullptr; s = s->next) {
        out += "set " + Name(s->name) + Hex(s->start) + Hex(s->timeBase) + "\n";
        for (const tessel::ReadModelAnim* a = s->firstAnim; a != nullptr; a = a->nextInSet) {
            out += " anim " + Name(a->targetName) + std::to_string(a->targetIndex) + " " +
                   Hex(a->length) + "\n";
            for (const tessel::ReadModelKeySet* k = a->firstKeySet; k != nullptr;
                 k = k->nextInAnim) {
                const int floats = tessel::ReadModelKeyValueBytes(k->kind) / 4;
                out += "  keys " + std::to_string(k->kind) + "/" + std::to_string(k->target) + " " +
                       Hex(k->length) + Floats(k->times, k->keyCount) + "| " +
                       Floats(static_cast<const float*>(k->values), k->keyCount * floats) + "\n";
            }
        }
    }
    out += "keyDataBytes " + std::to_string(m.keyDataBytes) + "\n";
    return out;
}

}  // namespace tessel_test
