// A model's own dynamic vertex buffers: one per triangle list that its shapes
// deform and that lies in a base block, filled by the shape update before the
// next draw.
#include "foundation/memory/log.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "models/buffers/model_buffers.h"
#include "models/core/model_system.h"

namespace tessel {

namespace {

bool WantsOwnBuffer(const ModelTriangleList* list, bool device, bool shaders) {
    if (list->bufferBlock == nullptr) {
        return false;
    }
    return list->vertexType == 0 ? device : shaders;
}

void BuildMeshBuffers(ModelInstance* record, ModelInstanceFrame* frame, const ModelMesh* mesh,
                      bool device, bool shaders) {
    ModelBase* base = record->base;
    for (int32_t n = 0; n < mesh->triangleListCount; ++n) {
        const ModelTriangleList* list = &mesh->triangleLists[n];
        ModelInstanceTriangleList& own = record->triangleLists[list - base->triangleLists];
        if (own.deviceBuffer != nullptr || !WantsOwnBuffer(list, device, shaders)) {
            continue;
        }
        const uint32_t bytes = static_cast<uint32_t>(list->bufferBlock->stride) * list->vertexCount;
        own.deviceBuffer = CreateDeviceVertexBuffer(bytes, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
                                                    list->bufferBlock->fvf, D3DPOOL_DEFAULT);
        if (own.deviceBuffer == nullptr) {
            // The list is then drawn from the model's copy of its vertices.
            WriteLogFormat(
                "Model buffer error : a model's vertex buffer of %u bytes could not be "
                "created",
                bytes);
            continue;
        }
        record->shapesChanged = 1;
        frame->shapesChanged = 1;
    }
}

}  // namespace

int BuildModelInstanceBuffers(int modelHandle) {
    if (g_models.initialised == 0) {
        return -1;
    }
    ModelInstance* record = GetModelInstance(modelHandle);
    if (record == nullptr) {
        return -1;
    }
    const bool device = g_graphics.hardwareInUse != 0 && g_graphics.device != nullptr;
    const bool shaders = device && g_graphics.vertexShader20 != 0;
    if (!device) {
        return 0;
    }
    ModelBase* base = record->base;
    for (int32_t f = 0; f < base->frameCount; ++f) {
        const ModelFrame& frame = base->frames[f];
        if (frame.shapeCount <= 0) {
            continue;
        }
        for (int32_t m = 0; m < frame.meshCount; ++m) {
            const ModelMesh* mesh = &frame.meshes[m];
            if (mesh->hasShape != 0) {
                BuildMeshBuffers(record, &record->frames[f], mesh, device, shaders);
            }
        }
    }
    return 0;
}

int ReleaseModelBuffers(int modelHandle) {
    ModelInstance* record = GetModelInstance(modelHandle);
    if (record == nullptr) {
        return -1;
    }
    for (int32_t i = 0; i < record->base->triangleListCount; ++i) {
        ModelInstanceTriangleList& own = record->triangleLists[i];
        if (own.deviceBuffer != nullptr) {
            own.deviceBuffer->Release();
            own.deviceBuffer = nullptr;
        }
    }
    return 0;
}

}  // namespace tessel
