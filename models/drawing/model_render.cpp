// The public render call: matrices and shapes brought up to date, the
// model's draw states set once, then per frame the draw settings combined
// down the tree, the frame's box tested against the view and each visible
// mesh drawn. Also the once-per-base measuring of the boxes the test uses.
#include <cstring>
#include <vector>

#include "graphics/batch/vertex_batch.h"
#include "graphics/camera/camera.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "models/anim/model_animation.h"
#include "models/core/model_system.h"
#include "models/drawing/model_drawing.h"
#include "models/instances/model_instances.h"
#include "models/math/model_math.h"

namespace tessel {

namespace {

constexpr float kFarBox = 1e8f;

// ---- draw-settings change bits
bool BitSet(const uint32_t* word, const FrameChangeDescriptor* d) {
    return (*word & d->singleMask) != 0;
}

void ClearBit(uint32_t* word, const FrameChangeDescriptor* d) {
    *word &= ~d->singleMask;
}

// A frame's subtree bits: its mask run, or its single bit.
void ClearSubtree(ModelInstance* model, const FrameChangeDescriptor* d) {
    if (d->maskWords == nullptr) {
        model->drawChangeBits[d->wordIndex] &= ~d->singleMask;
        return;
    }
    for (int32_t w = 0; w < d->runWords; ++w) {
        model->drawChangeBits[d->wordIndex + w] &= ~d->maskWords[w];
    }
}

// A child's effective settings from its own and its parent's effective ones.
void Combine(ModelDrawSettings* child, const ModelDrawSettings& own,
             const ModelDrawSettings& parent) {
    if (parent.hasFactors == 0) {
        child->hasFactors = own.hasFactors;
    } else {
        for (int i = 0; i < 16; ++i) {
            child->colourFactors[i] = own.hasFactors != 0
                                          ? parent.colourFactors[i] * own.colourFactors[i]
                                          : parent.colourFactors[i];
        }
        child->hasFactors = 1;
    }
    child->opacity = own.opacity * parent.opacity;
    child->visible = (own.visible != 0 && parent.visible != 0) ? 1 : 0;
}

const ModelDrawSettings& ParentSettings(const ModelInstanceFrame* frame) {
    return frame->parent != nullptr ? frame->parent->effective : frame->model->draw;
}

void CombineMeshes(ModelInstanceFrame* frame) {
    for (int32_t i = 0; i < frame->base->meshCount; ++i) {
        ModelInstanceMesh* mesh = frame->firstMesh + i;
        mesh->effective = mesh->draw;
        Combine(&mesh->effective, mesh->draw, frame->effective);
        ClearBit(mesh->drawBitWord, mesh->drawChange);
    }
}

void WalkFrom(ModelInstanceFrame* start, bool withSiblings) {
    std::vector<ModelInstanceFrame*> stack;
    stack.push_back(start);
    while (!stack.empty()) {
        ModelInstanceFrame* frame = stack.back();
        stack.pop_back();
        frame->effective = frame->draw;
        Combine(&frame->effective, frame->draw, ParentSettings(frame));
        CombineMeshes(frame);
        if (frame->nextSibling != nullptr && (withSiblings || frame != start)) {
            stack.push_back(frame->nextSibling);
        }
        if (frame->firstChild != nullptr) {
            stack.push_back(frame->firstChild);
        }
    }
}

// ---- the view test
void CornersOf(const Vec3& maximum, const Vec3& minimum, const Mat3x4& world, Vec3 out[8]) {
    for (int i = 0; i < 8; ++i) {
        const Vec3 p = {(i & 1) != 0 ? maximum.x : minimum.x, (i & 2) != 0 ? maximum.y : minimum.y,
                        (i & 4) != 0 ? maximum.z : minimum.z};
        TransformPoint3x4(&world, &out[i], &p);
    }
}

// ---- measuring
void Widen(Vec3* maximum, Vec3* minimum, const Vec3& p) {
    maximum->x = p.x > maximum->x ? p.x : maximum->x;
    maximum->y = p.y > maximum->y ? p.y : maximum->y;
    maximum->z = p.z > maximum->z ? p.z : maximum->z;
    minimum->x = p.x < minimum->x ? p.x : minimum->x;
    minimum->y = p.y < minimum->y ? p.y : minimum->y;
    minimum->z = p.z < minimum->z ? p.z : minimum->z;
}

void ResetBox(Vec3* maximum, Vec3* minimum) {
    *maximum = Vec3{-kFarBox, -kFarBox, -kFarBox};
    *minimum = Vec3{kFarBox, kFarBox, kFarBox};
}

const Mat3x4* SlotMatrix(const ModelInstanceFrame& frame, const ModelTriangleList& list, int slot) {
    if (slot < 0 || slot >= list.boneCount || list.bones == nullptr) {
        return nullptr;
    }
    const int32_t ref = list.bones[slot];
    return ref >= 0 && ref < frame.base->skinBoneRefCount ? frame.skinBoneRefs[ref] : nullptr;
}

// The world position of one source vertex; false when a bone is missing.
bool WorldOfVertex(const ModelInstanceFrame& frame, const ModelTriangleList& list, int32_t i,
                   Vec3* local, Vec3* world) {
    const uint8_t* v = list.vertices + static_cast<size_t>(i) * list.vertexSize;
    const auto* f = reinterpret_cast<const float*>(v);
    if (list.vertexType == 0) {
        *local = Vec3{f[0], f[1], f[2]};
        TransformPoint3x4(&frame.world, world, local);
        return true;
    }
    Mat3x4 m = {};
    if (list.vertexType == 1 || list.vertexType == 2) {
        const bool eight = list.vertexType == 2;
        const auto* p = reinterpret_cast<const float*>(v + (eight ? 48 : 16));
        *local = Vec3{p[0], p[1], p[2]};
        for (int k = 0; k < (eight ? 8 : 4); ++k) {
            if (f[k] == 0.0f && k > 0) {
                continue;
            }
            const int slot = k < 4 ? v[44 + k] : v[60 + k - 4];
            const Mat3x4* bone = SlotMatrix(frame, list, slot);
            if (bone == nullptr) {
                return false;
            }
            for (int r = 0; r < 3; ++r) {
                for (int c = 0; c < 4; ++c) {
                    m.m[r][c] += bone->m[r][c] * f[k];
                }
            }
        }
    } else {
        *local = Vec3{f[0], f[1], f[2]};
        for (int k = 0; k < list.freeBoneCount; ++k) {
            uint32_t bone;
            float weight;
            std::memcpy(&bone, v + 32 + 8 * k, 4);
            std::memcpy(&weight, v + 36 + 8 * k, 4);
            if (bone == 0xFFFFFFFFu) {
                break;
            }
            if (bone >= static_cast<uint32_t>(frame.base->skinBoneRefCount)) {
                return false;
            }
            for (int r = 0; r < 3; ++r) {
                for (int c = 0; c < 4; ++c) {
                    m.m[r][c] += frame.skinBoneRefs[bone]->m[r][c] * weight;
                }
            }
        }
    }
    TransformPoint3x4(&m, world, local);
    return true;
}

void MeasureFrame(ModelInstance* model, int32_t index) {
    ModelBase* base = model->base;
    ModelFrame& frame = base->frames[index];
    const ModelInstanceFrame& instance = model->frames[index];
    if (frame.meshCount <= 0) {
        frame.boundsMax = Vec3{0.0f, 0.0f, 0.0f};
        frame.boundsMin = Vec3{0.0f, 0.0f, 0.0f};
        return;
    }
    ResetBox(&frame.boundsMax, &frame.boundsMin);
    for (int32_t m = 0; m < frame.meshCount; ++m) {
        ModelMesh& mesh = frame.meshes[m];
        ResetBox(&mesh.boundsMax, &mesh.boundsMin);
        for (int32_t l = 0; l < mesh.triangleListCount; ++l) {
            const ModelTriangleList& list = mesh.triangleLists[l];
            if (list.vertices == nullptr || list.vertexType > 3) {
                continue;
            }
            for (int32_t i = 0; i < list.vertexCount; ++i) {
                Vec3 local;
                Vec3 world;
                if (WorldOfVertex(instance, list, i, &local, &world)) {
                    Widen(&mesh.boundsMax, &mesh.boundsMin, local);
                    Widen(&base->boundsMax, &base->boundsMin, world);
                }
            }
        }
        Widen(&frame.boundsMax, &frame.boundsMin, mesh.boundsMax);
        Widen(&frame.boundsMax, &frame.boundsMin, mesh.boundsMin);
    }
}

ModelInstance* DrawableModel(int modelHandle) {
    if (g_models.initialised == 0) {
        return nullptr;
    }
    return GetModelInstance(modelHandle);
}

}  // namespace

void PropagateDrawSettings(ModelInstanceFrame* frame, ModelInstanceMesh* mesh) {
    if (frame == nullptr) {
        if (mesh != nullptr) {
            mesh->effective = mesh->draw;
            Combine(&mesh->effective, mesh->draw, mesh->frame->effective);
            ClearBit(mesh->drawBitWord, mesh->drawChange);
        }
        return;
    }
    ModelInstance* model = frame->model;
    if ((model->drawChangeBits[0] & 1u) != 0) {
        std::memset(model->drawChangeBits, 0, static_cast<size_t>(model->drawChangeBytes));
        if (model->rootCount > 0) {
            WalkFrom(model->roots[0], true);
        }
        return;
    }
    ModelInstanceFrame* top = frame;
    for (ModelInstanceFrame* f = frame; f != nullptr; f = f->parent) {
        if (BitSet(f->drawBitWord, f->drawChange)) {
            top = f;
        }
    }
    ClearSubtree(model, top->drawChange);
    WalkFrom(top, false);
}

int TestBoxInFrustum(const Vec3 corners[8]) {
    UpdateViewProjectionCache();
    const Mat4& m = g_drawSettings.camera.viewProjection;
    const float* area = g_drawSettings.drawAreaF;
    uint32_t all = 0x3F;
    for (int i = 0; i < 8; ++i) {
        const Vec3& p = corners[i];
        float out[4];
        for (int c = 0; c < 4; ++c) {
            out[c] = p.x * m.m[0][c] + p.y * m.m[1][c] + p.z * m.m[2][c] + m.m[3][c];
        }
        float sx = out[0] / out[3];
        float sy = out[1] / out[3];
        const float sz = out[2] / out[3];
        if (out[3] < 0.0f) {
            sx = -sx;
            sy = -sy;
        }
        uint32_t code = 0;
        code |= sx < area[0] ? 2u : (sx > area[2] ? 1u : 0u);
        code |= sy < area[1] ? 8u : (sy > area[3] ? 4u : 0u);
        code |= sz < 0.0f ? 32u : (sz > 1.0f ? 16u : 0u);
        if (code == 0) {
            return 0;
        }
        all &= code;
    }
    return all != 0 ? 1 : 0;
}

void BeginModelDrawState(ModelInstance* record) {
    FlushVertexBatchPublic();
    ApplyLightsToDevice();
    g_modelWorldIsIdentity = 0;
    EnsureSceneBegun();
    // The model's depth states, set at creation to 1, 1, less-or-equal and 0.
    SetZEnableState(record->animWordsOne[0]);
    SetZWriteState(record->animWordsOne[1]);
    SetZFuncState(record->animWordFour);
    SetDepthBiasState(record->animWordZero);
    SetShadeModeState(D3DSHADE_GOURAUD);
    ApplyFogEnableState();
    // The draw settings start with the linear formula without telling the
    // device, which would then take every vertex's specular alpha (0 in
    // model vertices) as its fog and draw the model in the fog colour alone.
    SetFogModeState(g_drawSettings.fogFormula);
    for (int stage = 0; stage < 3; ++stage) {
        SetSamplerMaxAnisotropy(stage, record->animWordTwo);
    }
    SetFillModeState(record->animByte != 0 ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
    // The next 2D draw must set its texture states again.
    g_stateCache.programDirty = 1;
    g_stateCache.textureDirty = 1;
}

int RenderModel(int modelHandle) {
    ModelInstance* model = DrawableModel(modelHandle);
    if (model == nullptr) {
        return -1;
    }
    if (model->draw.visible == 0) {
        return 0;
    }
    if (model->matricesValid == 0) {
        UpdateModelMatrices(model);
    }
    if (model->base->shapeMeshCount > 0) {
        UpdateModelShapes(modelHandle);
    }
    if (g_graphics.device == nullptr) {
        return 0;
    }
    BeginModelDrawState(model);
    for (int32_t i = 0; i < model->base->frameCount; ++i) {
        ModelInstanceFrame* frame = &model->frames[i];
        const ModelFrame* base = frame->base;
        if (base->meshCount <= 0) {
            continue;
        }
        if (BitSet(frame->drawBitWord, frame->drawChange) || (model->drawChangeBits[0] & 1u) != 0) {
            PropagateDrawSettings(frame, nullptr);
        }
        if (frame->effective.visible == 0) {
            continue;
        }
        if (base->word5 == 0) {
            Vec3 corners[8];
            CornersOf(base->boundsMax, base->boundsMin, frame->world, corners);
            if (TestBoxInFrustum(corners) == 1) {
                continue;
            }
        }
        for (int32_t m = 0; m < base->meshCount; ++m) {
            ModelInstanceMesh* mesh = frame->firstMesh + m;
            if (BitSet(mesh->drawBitWord, mesh->drawChange)) {
                PropagateDrawSettings(nullptr, mesh);
            }
            if (mesh->effective.visible != 0) {
                DrawModelMesh(mesh);
            }
        }
    }
    return 0;
}

int MeasureModelBounds(int modelHandle, Vec3* maximum, Vec3* minimum) {
    ModelInstance* model = DrawableModel(modelHandle);
    if (model == nullptr) {
        return -1;
    }
    ModelBase* base = model->base;
    if (base->boundsMeasured == 0) {
        UpdateModelMatrices(model);
        ResetBox(&base->boundsMax, &base->boundsMin);
        for (int32_t i = 0; i < base->frameCount; ++i) {
            MeasureFrame(model, i);
        }
        base->boundsMeasured = 1;
    }
    if (maximum != nullptr) {
        *maximum = base->boundsMax;
    }
    if (minimum != nullptr) {
        *minimum = base->boundsMin;
    }
    return 0;
}

}  // namespace tessel
