// One mesh on the device: the material and blend of the mesh, its texture
// stages, and per triangle list one indexed draw, either through the built-in
// shaders from the model's device buffers (skinned on the device from the
// bone registers) or through the fixed-function path from a copy of the
// vertices in memory (rigid lists under the frame's world transform, skinned
// lists moved into world space by the processor).
#include <cstring>

#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "graphics/batch/vertex_batch.h"
#include "graphics/camera/camera.h"
#include "graphics/device/device_state.h"
#include "graphics/device/shader_pack.h"
#include "graphics/drawstate/draw_state.h"
#include "graphics/images/image_create.h"
#include "graphics/images/image_records.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/state/render_state_cache.h"
#include "models/core/model_system.h"
#include "models/drawing/model_drawing.h"
#include "models/math/model_math.h"
#include "models/textures/model_textures.h"

namespace tessel {

const uint32_t kCopyFvfSets[kCopyFormatCount] = {0xA0200,   0x2A0300,   0xAA0400,  0x2AA0500,
                                                 0xAAA0600, 0x2AAA0700, 0xAAAA0800};

int32_t g_modelWorldIsIdentity = 0;

namespace {

constexpr int kMaxListBones = 54;

struct CopyVertex {
    float position[3];
    float normal[3];
    uint32_t diffuse;
    uint32_t specular;
};
static_assert(sizeof(CopyVertex) == 32);

int CopyStride(const ModelMesh* mesh) {
    return (mesh->texCoordSetCount + 4) * 16;
}

void SetColour(D3DCOLORVALUE* out, const float* in, const float* factors, bool scaled) {
    out->r = scaled ? in[0] * factors[0] : in[0];
    out->g = scaled ? in[1] * factors[1] : in[1];
    out->b = scaled ? in[2] * factors[2] : in[2];
    out->a = scaled ? in[3] * factors[3] : in[3];
}

}  // namespace

void BlendFor(int mode, MeshBlendBlock* blend) {
    blend->on = 1;
    blend->blendOp = D3DBLENDOP_ADD;
    switch (mode) {
        case 0: {
            const BlendTableRow& row = BlendRowFor(g_drawSettings.blendMode);
            blend->on = row.blendOn;
            blend->srcBlend = row.srcBlend;
            blend->destBlend = row.destBlend;
            blend->blendOp = row.blendOp;
            break;
        }
        case 1:
        case 10:
            blend->srcBlend = D3DBLEND_SRCALPHA;
            blend->destBlend = D3DBLEND_INVSRCALPHA;
            break;
        case 2:
            blend->srcBlend = D3DBLEND_SRCALPHA;
            blend->destBlend = D3DBLEND_ONE;
            break;
        case 4:
        case 11:
            blend->srcBlend = D3DBLEND_ZERO;
            blend->destBlend = D3DBLEND_SRCCOLOR;
            break;
        default:
            // Modes without factors of their own draw unblended.
            blend->on = 0;
            blend->srcBlend = D3DBLEND_ONE;
            blend->destBlend = D3DBLEND_ZERO;
            break;
    }
}

namespace {

// The image a model texture draws with: the model's own, else its base's.
int TextureImage(const ModelInstanceMesh* mesh, int32_t index) {
    const ModelInstance* model = mesh->frame->model;
    if (index < 0 || index >= model->base->textureCount) {
        return -1;
    }
    const ModelInstanceTexture& texture = model->textures[index];
    return texture.imageHandle != -1 ? texture.imageHandle : texture.base->imageHandle;
}

// A texture without an address mode of its own repeats.
int AddressMode(int32_t mode) {
    return mode >= 1 && mode <= 5 ? mode : static_cast<int>(D3DTADDRESS_WRAP);
}

void ApplyTextureFilter(int stage, int mode) {
    static constexpr int kFilters[3][3] = {
        {D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE},
        {D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_NONE},
        {D3DTEXF_ANISOTROPIC, D3DTEXF_LINEAR, D3DTEXF_LINEAR},
    };
    const int* f = kFilters[mode >= 0 && mode <= 2 ? mode : 0];
    SetSamplerFilterState(stage, kFilterKindMin, f[0]);
    SetSamplerFilterState(stage, kFilterKindMag, f[1]);
    SetSamplerFilterState(stage, kFilterKindMip, f[2]);
}

// The matrix of one bone slot of a list; null for a slot past the list's
// bones or the frame's run.
const Mat3x4* BoneOfSlot(const ModelInstanceFrame* frame, const ModelTriangleList* list, int slot) {
    if (slot < 0 || slot >= list->boneCount || list->bones == nullptr) {
        return nullptr;
    }
    const int32_t ref = list->bones[slot];
    if (ref < 0 || ref >= frame->base->skinBoneRefCount) {
        return nullptr;
    }
    return frame->skinBoneRefs[ref];
}

void AddWeighted(Mat3x4* sum, const Mat3x4* bone, float weight) {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            sum->m[r][c] += bone->m[r][c] * weight;
        }
    }
}

void WriteSkinned(uint8_t* out, const Mat3x4& m, const float* position, const float* normal) {
    auto* v = reinterpret_cast<CopyVertex*>(out);
    for (int r = 0; r < 3; ++r) {
        v->position[r] =
            m.m[r][0] * position[0] + m.m[r][1] * position[1] + m.m[r][2] * position[2] + m.m[r][3];
        v->normal[r] = m.m[r][0] * normal[0] + m.m[r][1] * normal[1] + m.m[r][2] * normal[2];
    }
}

// The blend of up to `count` (slot, weight) pairs: bone 0 alone when its
// weight is exactly 1, else the sum over the first and every non-zero weight.
template <typename SlotOf>
bool BlendBones(const ModelInstanceFrame* frame, const ModelTriangleList* list,
                const float* weights, int count, SlotOf slotOf, Mat3x4* out) {
    if (weights[0] == 1.0f) {
        const Mat3x4* bone = BoneOfSlot(frame, list, slotOf(0));
        if (bone == nullptr) {
            return false;
        }
        *out = *bone;
        return true;
    }
    *out = Mat3x4{};
    for (int i = 0; i < count; ++i) {
        if (i > 0 && weights[i] == 0.0f) {
            continue;
        }
        const Mat3x4* bone = BoneOfSlot(frame, list, slotOf(i));
        if (bone == nullptr) {
            return false;
        }
        AddWeighted(out, bone, weights[i]);
    }
    return true;
}

const uint8_t* SourceVertices(const ModelInstanceMesh* mesh, int listIndex) {
    const ModelInstanceTriangleList& own = mesh->triangleLists[listIndex];
    if (mesh->base->hasShape != 0 && own.vertices != nullptr) {
        return own.vertices;
    }
    return mesh->base->triangleLists[listIndex].vertices;
}

void SkinFourOrEight(const ModelInstanceMesh* mesh, int listIndex, uint8_t* copy) {
    const ModelTriangleList* list = &mesh->base->triangleLists[listIndex];
    const uint8_t* source = SourceVertices(mesh, listIndex);
    const bool eight = list->vertexType == 2;
    const int stride = eight ? 64 : 48;
    for (int32_t i = 0; i < list->vertexCount; ++i) {
        const uint8_t* v = source + static_cast<size_t>(i) * stride;
        const auto* weights = reinterpret_cast<const float*>(v);
        const float* position = reinterpret_cast<const float*>(v + (eight ? 48 : 16));
        const float* normal = reinterpret_cast<const float*>(v + (eight ? 32 : 32));
        const uint8_t* slots = v + (eight ? 44 : 44);
        auto slotOf = [slots, v, eight](int k) {
            return static_cast<int>(k < 4 ? slots[k] : v[60 + (k - 4)]);
        };
        Mat3x4 m;
        if (!BlendBones(mesh->frame, list, weights, eight ? 8 : 4, slotOf, &m)) {
            continue;
        }
        WriteSkinned(copy + static_cast<size_t>(i) * list->copyStride, m, position, normal);
    }
}

// Free-form lists name bones by their place in the frame's whole run.
void SkinFreeForm(const ModelInstanceMesh* mesh, int listIndex, uint8_t* copy) {
    const ModelTriangleList* list = &mesh->base->triangleLists[listIndex];
    const ModelInstanceFrame* frame = mesh->frame;
    const uint8_t* source = SourceVertices(mesh, listIndex);
    const int32_t runLength = frame->base->skinBoneRefCount;
    const int pairs = list->freeBoneCount;
    for (int32_t i = 0; i < list->vertexCount; ++i) {
        const uint8_t* v = source + static_cast<size_t>(i) * list->vertexSize;
        const auto* position = reinterpret_cast<const float*>(v);
        const auto* normal = reinterpret_cast<const float*>(v + 16);
        Mat3x4 m = {};
        bool any = false;
        for (int k = 0; k < pairs; ++k) {
            uint32_t bone;
            float weight;
            std::memcpy(&bone, v + 32 + 8 * k, 4);
            std::memcpy(&weight, v + 36 + 8 * k, 4);
            if (bone == 0xFFFFFFFFu) {
                break;
            }
            // A later zero weight moves nothing, whatever bone it names.
            if (weight == 0.0f && k > 0) {
                continue;
            }
            if (bone >= static_cast<uint32_t>(runLength)) {
                any = false;
                break;
            }
            if (k == 0 && weight == 1.0f) {
                m = *frame->skinBoneRefs[bone];
                any = true;
                break;
            }
            AddWeighted(&m, frame->skinBoneRefs[bone], weight);
            any = true;
        }
        if (any) {
            WriteSkinned(copy + static_cast<size_t>(i) * list->copyStride, m, position, normal);
        }
    }
}

void CopyShapePositions(const ModelInstanceMesh* mesh, int listIndex, uint8_t* copy) {
    const ModelTriangleList* list = &mesh->base->triangleLists[listIndex];
    const uint8_t* source = SourceVertices(mesh, listIndex);
    for (int32_t i = 0; i < list->vertexCount; ++i) {
        std::memcpy(copy + static_cast<size_t>(i) * list->copyStride, source + 32 * i, 12);
    }
}

void UseWorldOfFrame(ModelInstanceFrame* frame) {
    if (frame->world4Current == 0) {
        Transpose3x4To4x4(&frame->matrix, &frame->world);
        frame->world4Current = 1;
    }
    SetWorldTransformDirect(&frame->matrix);
    g_modelWorldIsIdentity = 0;
}

void UseIdentityWorld() {
    if (g_modelWorldIsIdentity != 0) {
        return;
    }
    Mat4 identity = {};
    MatIdentity(&identity);
    SetWorldTransformDirect(&identity);
    g_modelWorldIsIdentity = 1;
}

void DropShaders() {
    DeviceStateCache& c = g_stateCache;
    IDirect3DDevice9* device = g_graphics.device;
    if (c.vertexShader != nullptr) {
        device->SetVertexShader(nullptr);
        c.vertexShader = nullptr;
        c.declaration = nullptr;
        c.lastFvf = 0;
    }
    if (c.pixelShader != nullptr) {
        device->SetPixelShader(nullptr);
        c.pixelShader = nullptr;
    }
}

bool IsToon(const ModelInstanceMesh* mesh) {
    const ModelInstanceMaterial* material = mesh->material;
    return material != nullptr && material->base != nullptr &&
           (material->base->kind == 1 || material->base->kind == 2);
}

// An axis of the matrix is not of unit length, so transformed normals need
// scaling back.
bool AxesOffUnit(const Mat3x4& m) {
    for (int axis = 0; axis < 3; ++axis) {
        const float square =
            m.m[0][axis] * m.m[0][axis] + m.m[1][axis] * m.m[1][axis] + m.m[2][axis] * m.m[2][axis];
        if (square < 0.999f || square > 1.001f) {
            return true;
        }
    }
    return false;
}

bool BonesOffUnit(const ModelInstanceFrame* frame, const ModelTriangleList* list) {
    if (list->vertexType == 3) {
        for (int32_t k = 0; k < frame->base->skinBoneRefCount; ++k) {
            if (AxesOffUnit(*frame->skinBoneRefs[k])) {
                return true;
            }
        }
        return false;
    }
    for (int slot = 0; slot < list->boneCount; ++slot) {
        const Mat3x4* bone = BoneOfSlot(frame, list, slot);
        if (bone != nullptr && AxesOffUnit(*bone)) {
            return true;
        }
    }
    return false;
}

// 0 when the list was prepared for its draw, -1 when it is skipped.
int PrepareList(ModelInstanceMesh* mesh, int listIndex, uint8_t** copyOut) {
    ModelTriangleList* list = &mesh->base->triangleLists[listIndex];
    if (list->vertexType > 3) {
        return -1;
    }
    uint8_t* copy = BuildListCopyBuffer(list);
    if (copy == nullptr) {
        return -1;
    }
    const bool toon = IsToon(mesh);
    if (list->vertexType == 0) {
        UseWorldOfFrame(mesh->frame);
        if (mesh->base->hasShape != 0) {
            CopyShapePositions(mesh, listIndex, copy);
        }
        if (toon) {
            const Mat3x4& world = mesh->frame->world;
            EvaluateToonVertices(mesh, list, copy, AxesOffUnit(world) ? 1 : 0, &world);
        }
    } else {
        UseIdentityWorld();
        if (list->vertexType == 3) {
            SkinFreeForm(mesh, listIndex, copy);
        } else {
            SkinFourOrEight(mesh, listIndex, copy);
        }
        if (toon) {
            EvaluateToonVertices(mesh, list, copy, BonesOffUnit(mesh->frame, list) ? 1 : 0,
                                 nullptr);
        }
    }
    *copyOut = copy;
    return 0;
}

// The diffuse ramp of a toon mesh: its image and the copy's texture-
// coordinate set that carries the lit brightness; image -1: no ramp.
struct ToonRampStage {
    int image;
    int texCoordSet;
    // The shader path's stages 4 and 5: the specular ramp and the brightness volume the
    // graphics layer keeps (-1, null: none).
    int specularImage = -1;
    IDirect3DBaseTexture9* brightness = nullptr;
};

// The images of stage 1 (the second texture) and stage 2 (the normal map, or white for a toon
// mesh without one); -1 for none.
struct MeshMapStages {
    int second = -1;
    int normal = -1;
};

// Binds one material texture's addressing and filter to a stage; its image, or -1.
int BindMaterialTexture(const ModelInstanceMesh* mesh, int32_t textureIndex, int stage) {
    const int image = TextureImage(mesh, textureIndex);
    if (image == -1) {
        return -1;
    }
    const ModelInstanceTexture& texture = mesh->frame->model->textures[textureIndex];
    SetTexAddressingUVW(AddressMode(texture.addressU), AddressMode(texture.addressV),
                        D3DTADDRESS_WRAP, stage);
    ApplyTextureFilter(stage, texture.filterMode);
    return image;
}

MeshMapStages BindMapStages(const ModelInstanceMesh* mesh) {
    MeshMapStages maps;
    const ModelInstanceMaterial* material = mesh->material;
    if (material == nullptr) {
        return maps;
    }
    if (material->diffuseLayerCount > 1) {
        maps.second = BindMaterialTexture(mesh, material->diffuseLayers[1].texture, 1);
    }
    const ModelMaterial* base = material->base;
    if (base != nullptr && base->normalLayerCount > 0) {
        maps.normal = BindMaterialTexture(mesh, base->normalLayers[0].texture, 2);
    }
    if (maps.normal == -1 && IsToon(mesh)) {
        maps.normal = DefaultWhiteTexture();
    }
    return maps;
}

// Stage 1 multiplies the colour by the second texture, read at the first coordinate set as
// the normal map's stage is (the shaders read no other set); the normal map itself only lights
// on the shader path, so stage 2 holds it with its operations off.
void AddMapStages(const MeshMapStages& maps, StageProgram* program) {
    StageProgramEntry& s1 = program->stages[1];
    if (maps.second != -1) {
        s1.imageHandle = maps.second;
        s1.texCoordIndex = 0;
        s1.colorArg1 = D3DTA_TEXTURE;
        s1.colorOp = D3DTOP_MODULATE;
    }
    program->stages[2].imageHandle = maps.normal;
}

// The stage program of a mesh draw: stage 0 the image (or none) times the
// vertex colour, stage 1 the opacity into the alpha through the texture
// factor, the rest off. A toon ramp passes stage 2 through and multiplies
// the colour by the ramp's texel on stage 3.
void ApplyStageProgram(int image, const MeshBlendBlock& blend, const ToonRampStage* ramp = nullptr,
                       const MeshMapStages& maps = MeshMapStages()) {
    StageProgram program = {};
    program.alphaBlendEnable = blend.on;
    program.srcBlend = blend.srcBlend;
    program.destBlend = blend.destBlend;
    program.blendOp = blend.blendOp;
    float opacity = blend.opacity < 0.0f ? 0.0f : (blend.opacity > 1.0f ? 1.0f : blend.opacity);
    program.textureFactor = static_cast<uint32_t>(opacity * 255.0f) << 24 | 0xFFFFFFu;
    StageProgramEntry& s0 = program.stages[0];
    s0.imageHandle = image;
    s0.texCoordIndex = 0;
    s0.colorArg1 = D3DTA_TEXTURE;
    s0.colorArg2 = D3DTA_DIFFUSE;
    s0.colorOp = image != -1 ? D3DTOP_MODULATE : D3DTOP_SELECTARG2;
    s0.alphaArg1 = D3DTA_TEXTURE;
    s0.alphaArg2 = D3DTA_DIFFUSE;
    s0.alphaOp = image != -1 ? D3DTOP_MODULATE : D3DTOP_SELECTARG2;
    StageProgramEntry& s1 = program.stages[1];
    s1.imageHandle = -1;
    s1.texCoordIndex = 1;
    s1.colorArg1 = D3DTA_CURRENT;
    s1.colorArg2 = D3DTA_CURRENT;
    s1.colorOp = D3DTOP_SELECTARG1;
    s1.alphaArg1 = D3DTA_CURRENT;
    s1.alphaArg2 = D3DTA_TFACTOR;
    s1.alphaOp = D3DTOP_MODULATE;
    for (int s = 2; s < kSamplerStageCount; ++s) {
        StageProgramEntry& e = program.stages[s];
        e.imageHandle = -1;
        e.texCoordIndex = s;
        e.alphaArg1 = e.alphaArg2 = e.colorArg1 = e.colorArg2 = -1;
        e.alphaOp = e.colorOp = D3DTOP_DISABLE;
    }
    program.stageCount = 2;
    AddMapStages(maps, &program);
    if (ramp != nullptr && ramp->image != -1) {
        StageProgramEntry& s2 = program.stages[2];
        s2.colorArg1 = s2.alphaArg1 = D3DTA_CURRENT;
        s2.colorArg2 = s2.alphaArg2 = D3DTA_CURRENT;
        s2.colorOp = s2.alphaOp = D3DTOP_SELECTARG1;
        StageProgramEntry& s3 = program.stages[3];
        s3.imageHandle = ramp->image;
        s3.texCoordIndex = ramp->texCoordSet;
        s3.colorArg1 = D3DTA_TEXTURE;
        s3.colorArg2 = D3DTA_CURRENT;
        s3.colorOp = D3DTOP_MODULATE;
        s3.alphaArg1 = s3.alphaArg2 = D3DTA_CURRENT;
        s3.alphaOp = D3DTOP_SELECTARG1;
        program.stageCount = 4;
        if (ramp->specularImage != -1) {
            // The pixel shaders read stages 4 and 5 themselves; the stages only pass through.
            for (int s = 4; s < 6; ++s) {
                StageProgramEntry& e = program.stages[s];
                e.colorArg1 = e.alphaArg1 = e.colorArg2 = e.alphaArg2 = D3DTA_CURRENT;
                e.colorOp = e.alphaOp = D3DTOP_SELECTARG1;
            }
            program.stages[4].imageHandle = ramp->specularImage;
            program.stages[5].texture = ramp->brightness;
            program.stageCount = 6;
        }
        // The ramp reads the copy's spare set, not the set of its stage
        // number, so the stages keep the program's indices.
        ApplyImageTextureState(&program, 0, 1);
        return;
    }
    ApplyImageTextureState(&program, 0, 1);
    // Stage i reads set i, unless the second texture reads the first.
    if (maps.second == -1) {
        ResetTexCoordIndices();
    }
}

// The default ramps: slot -1 the four-step ramp from its embedded image,
// slot -2 the grey ramp, each made on first use with the transparent colour
// off and made again when its handle no longer answers; -1 for any other slot
// or when it cannot be made.
int DefaultToonRamp(int32_t slot) {
    if (slot != -1 && slot != -2) {
        return -1;
    }
    int32_t& handle = slot == -1 ? g_models.rampTexture : g_models.greyRampTexture;
    int width = 0;
    int height = 0;
    if (handle != -1 && QueryImageSize(handle, &width, &height) == 0) {
        return handle;
    }
    if (slot == -2) {
        handle = CreateGreyRampImage();
        return handle;
    }
    const bool keyed = g_drawSettings.transparentColorUseOff == 0;
    SetTransparentColorUse(0);
    handle = LoadImageSourceToNewHandle(RampTextureTga(), kRampTextureTgaSize, nullptr, 0, 0, 0);
    SetTransparentColorUse(keyed ? 1 : 0);
    return handle;
}

}  // namespace

int DefaultWhiteTexture() {
    int width = 0;
    int height = 0;
    if (g_models.whiteTexture != -1 &&
        QueryImageSize(g_models.whiteTexture, &width, &height) == 0) {
        return g_models.whiteTexture;
    }
    const bool keyed = g_drawSettings.transparentColorUseOff == 0;
    SetTransparentColorUse(0);
    g_models.whiteTexture =
        LoadImageSourceToNewHandle(WhiteTextureTga(), kWhiteTextureTgaSize, nullptr, 0, 0, 0);
    SetTransparentColorUse(keyed ? 1 : 0);
    return g_models.whiteTexture;
}

namespace {

// A toon ramp slot's image: -1 and -2 the default ramps.
int RampImage(const ModelInstanceMesh* mesh, int32_t slot) {
    return slot < 0 ? DefaultToonRamp(slot) : TextureImage(mesh, slot);
}

void PointClamped(int stage) {
    SetTexAddressingUVW(D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP, D3DTADDRESS_CLAMP, stage);
    ApplyTextureFilter(stage, 0);
}

// The ramp a toon kind 1 mesh shades with on the fixed-function path, read
// at the first of the copy's two spare sets (point sampled, clamped so that
// a brightness of 1 or more takes the last texel).
ToonRampStage ToonRampOf(const ModelInstanceMesh* mesh) {
    ToonRampStage ramp = {-1, 0};
    const ModelInstanceMaterial* material = mesh->material;
    if (material == nullptr || material->base == nullptr || material->base->kind != 1) {
        return ramp;
    }
    ramp.image = RampImage(mesh, material->toonTextures[0]);
    ramp.texCoordSet = mesh->base->texCoordSetCount;
    if (ramp.image != -1) {
        PointClamped(3);
    }
    return ramp;
}

// The shader path's toon stages, for both kinds: stage 3 the diffuse ramp, 4
// the specular ramp, 5 the graphics layer's brightness volume, each point
// sampled and clamped.
ToonRampStage ToonShaderStagesOf(const ModelInstanceMesh* mesh) {
    ToonRampStage ramp = {-1, 0};
    if (!IsToon(mesh)) {
        return ramp;
    }
    const ModelInstanceMaterial* material = mesh->material;
    ramp.image = RampImage(mesh, material->toonTextures[0]);
    ramp.specularImage = RampImage(mesh, material->toonTextures[1]);
    ramp.brightness = g_graphics.maxBrightnessVolume;
    ramp.texCoordSet = 3;
    if (ramp.image == -1 || ramp.specularImage == -1) {
        // A ramp that cannot be had leaves the stages as an untextured mesh's.
        return ToonRampStage{-1, 0};
    }
    for (int stage = 3; stage < 6; ++stage) {
        PointClamped(stage);
    }
    return ramp;
}

MeshShaderTerms ShaderTermsOf(const ModelInstanceMesh* mesh, bool specularOn) {
    MeshShaderTerms t = {0, 0};
    const ModelInstanceMaterial* material = mesh->material;
    const ModelMaterial* base = material != nullptr ? material->base : nullptr;
    const int kind = base != nullptr ? base->kind : 0;
    if (kind == 1) {
        t.pixel += 13824;
        if (material->toonSelectors[0] == 2) {
            t.pixel += 6912;
        }
        const bool specularRamp = material->toonSelectors[1] == 1 && specularOn;
        if (specularRamp) {
            t.pixel += 3456;
        }
        t.imagesPresent = RampImage(mesh, material->toonTextures[0]) != -1 &&
                          (!specularRamp || RampImage(mesh, material->toonTextures[1]) != -1);
    } else if (kind == 2) {
        t.pixel += 27648;
    }
    const int32_t flags = mesh->base->flags;
    const int colours = ((flags & kMeshDiffuseFromVertex) != 0 ? 4 : 0) +
                        ((flags & kMeshSpecularFromVertex) != 0 ? 2 : 0) + (specularOn ? 1 : 0);
    t.vertex += colours;
    t.pixel += colours;
    // A second texture without an image leaves the colour alone, as the fixed path's stage 1.
    if (material != nullptr && material->diffuseLayerCount > 1 &&
        TextureImage(mesh, material->diffuseLayers[1].texture) != -1) {
        t.pixel += 216;
    }
    // A normal map's lists lie in buffers with the tangent frame, which only the vertex shaders
    // of the tangent-frame layout read.
    if (base != nullptr && base->normalLayerCount > 0) {
        t.vertex += 2048;
        t.pixel += 864;
        t.imagesPresent =
            t.imagesPresent && TextureImage(mesh, base->normalLayers[0].texture) != -1;
    }
    return t;
}

// The three registers of each bone of a list from 94 on (a slot the frame
// lacks moves nothing: zero rows).
void UploadBones(const ModelInstanceFrame* frame, const ModelTriangleList* list) {
    static float rows[kMaxListBones * 3][4];
    const int count = list->boneCount < kMaxListBones ? list->boneCount : kMaxListBones;
    for (int slot = 0; slot < count; ++slot) {
        const Mat3x4* bone = BoneOfSlot(frame, list, slot);
        if (bone != nullptr) {
            std::memcpy(rows[3 * slot], bone->m, sizeof(bone->m));
        } else {
            std::memset(rows[3 * slot], 0, sizeof(float) * 12);
        }
    }
    if (count > 0) {
        SetVertexShaderConstF(94, &rows[0][0], 3 * count);
    }
}

// Which path the texture stages were last set for in this mesh draw.
enum class StagesFor { kNone, kFixed, kShaders };

bool HasDeviceBuffers(const ModelInstanceMesh* mesh, const ModelTriangleList* list) {
    const ModelBufferBlock* block = list->bufferBlock;
    if (list->vertexType > 2 || block == nullptr || block->vertexBuffer == nullptr ||
        block->indexBuffer == nullptr) {
        return false;
    }
    // The declarations read one coordinate set, which a skinned vertex
    // without sets does not have.
    return list->vertexType == 0 || mesh->base->texCoordSetCount >= 1;
}

int SkinTerm(const ModelTriangleList* list) {
    return list->vertexType == 1 ? 8192 : (list->vertexType == 2 ? 16384 : 0);
}

// The list's device buffers on the stream and the index stream, its world or
// bones in the registers from 94; the base vertex its draws pass.
INT BindListBuffers(ModelInstanceMesh* mesh, int listIndex) {
    ModelTriangleList* list = &mesh->base->triangleLists[listIndex];
    const ModelBufferBlock* block = list->bufferBlock;
    IDirect3DDevice9* device = g_graphics.device;
    IDirect3DVertexBuffer9* own = mesh->triangleLists[listIndex].deviceBuffer;
    IDirect3DVertexBuffer9* vertices = own != nullptr ? own : block->vertexBuffer;
    const auto stride = static_cast<uint32_t>(block->stride);
    if (g_stateCache.streamSource != vertices || g_stateCache.streamStride != stride) {
        device->SetStreamSource(0, vertices, 0, stride);
        g_stateCache.streamSource = vertices;
        g_stateCache.streamStride = stride;
    }
    if (g_stateCache.indexBuffer != block->indexBuffer) {
        device->SetIndices(block->indexBuffer);
        g_stateCache.indexBuffer = block->indexBuffer;
    }
    if (list->vertexType == 0) {
        SetVertexShaderConstF(94, &mesh->frame->world.m[0][0], 3);
    } else {
        UploadBones(mesh->frame, list);
    }
    FlushShaderConstants(0);
    return own != nullptr ? 0 : list->firstVertex;
}

// Draws one list through the built-in shaders from the model's device
// buffers; false (nothing drawn) when the list has no buffers or its shaders
// cannot be selected, which leaves the list to the fixed-function path.
bool DrawListWithShaders(ModelInstanceMesh* mesh, int listIndex, const MeshShaderTerms& indices,
                         const MeshBlendBlock& blend, StagesFor* stages) {
    ModelTriangleList* list = &mesh->base->triangleLists[listIndex];
    if (!indices.imagesPresent || !HasDeviceBuffers(mesh, list)) {
        return false;
    }
    if (SelectBuiltInVertexShader(indices.vertex + SkinTerm(list)) == 0 ||
        SelectBuiltInPixelShader(indices.pixel) == 0) {
        return false;
    }
    if (*stages != StagesFor::kShaders) {
        ApplyMeshTextureStages(mesh, 1, blend);
        *stages = StagesFor::kShaders;
    }
    const INT baseVertex = BindListBuffers(mesh, listIndex);
    g_graphics.device->DrawIndexedPrimitive(
        D3DPT_TRIANGLELIST, baseVertex, 0, static_cast<UINT>(list->vertexCount),
        static_cast<UINT>(list->firstIndex), static_cast<UINT>(list->indexCount / 3));
    return true;
}

// The outline triangles of a list through the outline vertex shader, from
// the device index buffer, where they follow the list's own indices; false
// when the list has no buffers or the shaders cannot be selected.
bool DrawOutlineWithShaders(ModelInstanceMesh* mesh, int listIndex, const MeshBlendBlock& blend,
                            StagesFor* stages) {
    ModelTriangleList* list = &mesh->base->triangleLists[listIndex];
    if (ShaderPathOn == 0 || !HasDeviceBuffers(mesh, list)) {
        return false;
    }
    if (SelectBuiltInVertexShader(OutlineVertexShaderIndex() + SkinTerm(list)) == 0 ||
        SelectBuiltInPixelShader(PixelShaderSelector) == 0) {
        return false;
    }
    if (*stages != StagesFor::kShaders) {
        // Its pixel shader reads stage 0: the white texture, times the colour.
        ApplyStageProgram(DefaultWhiteTexture(), blend);
        *stages = StagesFor::kShaders;
    }
    const INT baseVertex = BindListBuffers(mesh, listIndex);
    g_graphics.device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, baseVertex, 0,
                                            static_cast<UINT>(list->vertexCount),
                                            static_cast<UINT>(list->firstIndex + list->indexCount),
                                            static_cast<UINT>(list->filteredIndexCount / 3));
    return true;
}

// The outline pass over every list with outline triangles, through the
// outline vertex shader where it can be, else from the copy's positions
// pushed out along its normals, in the outline colour. freshCopies: the
// copies hold this draw's positions (no list went through the shaders).
void DrawOutlines(ModelInstanceMesh* mesh, bool freshCopies) {
    const float thickness = OutlineThickness(mesh);
    MeshBlendBlock blend = {};
    ApplyOutlineMaterial(&blend, mesh, thickness);
    StagesFor stages = StagesFor::kNone;
    const ModelMesh* base = mesh->base;
    for (int32_t i = 0; i < base->triangleListCount; ++i) {
        ModelTriangleList* list = &base->triangleLists[i];
        if (list->filteredIndexCount < 3 || list->filteredIndices == nullptr ||
            list->vertexType > 3) {
            continue;
        }
        if (DrawOutlineWithShaders(mesh, i, blend, &stages)) {
            continue;
        }
        uint8_t* copy = list->copyVertices;
        if ((copy == nullptr || !freshCopies) && PrepareList(mesh, i, &copy) != 0) {
            continue;
        }
        uint8_t* out = BuildOutlineBuffer(list);
        if (out == nullptr) {
            continue;
        }
        if (stages != StagesFor::kFixed) {
            ApplyStageProgram(-1, blend);
            stages = StagesFor::kFixed;
        }
        DropShaders();
        g_stateCache.streamSource = nullptr;
        g_stateCache.indexBuffer = nullptr;
        if (list->vertexType == 0) {
            UseWorldOfFrame(mesh->frame);
        } else {
            UseIdentityWorld();
        }
        WriteOutlineVertices(mesh, list, copy, out, thickness);
        SetCachedFvf(kOutlineFvf);
        g_graphics.device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, list->vertexCount,
                                                  list->filteredIndexCount / 3,
                                                  list->filteredIndices, D3DFMT_INDEX16, out, 16);
    }
}

}  // namespace

uint8_t* BuildListCopyBuffer(ModelTriangleList* list) {
    if (list->copyVertices != nullptr) {
        return list->copyVertices;
    }
    const ModelMesh* mesh = list->mesh;
    const int sets = mesh->texCoordSetCount;
    if (sets < 0 || sets >= kCopyFormatCount) {
        WriteLogFormat("Model draw error : a mesh with %d texture coordinate sets cannot be drawn",
                       sets);
        return nullptr;
    }
    const int stride = CopyStride(mesh);
    auto* copy = static_cast<uint8_t*>(AllocTrackedZeroed(
        static_cast<size_t>(list->vertexCount > 0 ? list->vertexCount : 0) * stride + 16, __FILE__,
        __LINE__));
    if (copy == nullptr) {
        return nullptr;
    }
    for (int32_t i = 0; i < list->vertexCount; ++i) {
        uint8_t* out = copy + static_cast<size_t>(i) * stride;
        auto* v = reinterpret_cast<CopyVertex*>(out);
        const uint32_t mv = list->meshVertexIndices != nullptr ? list->meshVertexIndices[i] : 0;
        if (mesh->vertices != nullptr && mv < static_cast<uint32_t>(mesh->vertexCount)) {
            const uint8_t* record = mesh->vertices + static_cast<size_t>(mv) * mesh->vertexStride;
            const auto* head = reinterpret_cast<const ModelMeshVertex*>(record);
            v->diffuse = head->diffuse;
            v->specular = head->specular;
            const auto* uv = reinterpret_cast<const float*>(record + sizeof(ModelMeshVertex));
            for (int s = 0; s < sets; ++s) {
                float* set = reinterpret_cast<float*>(out + 32 + 16 * s);
                set[0] = uv[s * mesh->texCoordComponents];
                set[1] = mesh->texCoordComponents > 1 ? uv[s * mesh->texCoordComponents + 1] : 0.0f;
                set[2] = 1.0f;
                set[3] = 1.0f;
            }
        }
        if (list->vertexType == 0 && list->vertices != nullptr) {
            const auto* source = reinterpret_cast<const float*>(list->vertices + 32 * i);
            std::memcpy(v->position, source, 12);
            std::memcpy(v->normal, source + 4, 12);
        }
    }
    list->copyStride = stride;
    list->copyVertices = copy;
    return copy;
}

void ApplyMeshMaterial(ModelInstanceMesh* mesh, MeshBlendBlock* blend, int* specularOn,
                       MeshShaderTerms* terms) {
    const ModelInstanceMaterial* material = mesh->material;
    const ModelMesh* base = mesh->base;
    static constexpr float kWhite[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    static constexpr float kZero[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    const float* diffuse = material != nullptr ? material->diffuse : kWhite;
    const float* ambient = material != nullptr ? material->ambient : kZero;
    const float* specular = material != nullptr ? material->specular : kZero;
    const float* emissive = material != nullptr ? material->emissive : kZero;
    // The settings combined down the frame tree, not the mesh's own.
    const bool scaled = mesh->effective.hasFactors != 0;
    const float* f = mesh->effective.colourFactors;
    D3DMATERIAL9 block = {};
    SetColour(&block.Diffuse, diffuse, f, scaled);
    SetColour(&block.Ambient, ambient, f + 4, scaled);
    SetColour(&block.Specular, specular, f + 8, scaled);
    SetColour(&block.Emissive, emissive, f + 12, scaled);
    block.Power = material != nullptr ? material->power : 0.0f;
    ApplyMaterialBlock(&block);
    SetCullModeState(MeshCullMode(base));
    BlendFor(MaterialBlendMode(material != nullptr ? material->base : nullptr), blend);
    blend->opacity = mesh->effective.opacity;
    const bool specularFromVertex = (base->flags & kMeshSpecularFromVertex) != 0;
    const bool on = specularFromVertex || block.Specular.r > 1e-5f || block.Specular.g > 1e-5f ||
                    block.Specular.b > 1e-5f;
    // Toon meshes are lit on the processor: the device takes the vertex
    // colours as the evaluation left them, with lighting and specular off.
    const bool toon = IsToon(mesh);
    *specularOn = on && !toon ? 1 : 0;
    SetSpecularState(*specularOn);
    SetDiffuseFromVertexColor(toon || (base->flags & kMeshDiffuseFromVertex) != 0 ? 1 : 0);
    SetSpecularFromVertexColor(toon || specularFromVertex ? 1 : 0);
    // The caller's lighting setting decides; a mesh never switches it on
    // behind the caller's back.
    SetLightingSwitch(g_lights.lightingOff == 0 && !toon ? 1 : 0);
    if (terms != nullptr) {
        // Toon shaders light the highlight themselves, whatever the device's
        // specular switch says.
        *terms = ShaderTermsOf(mesh, on && (!toon || ShaderPathOn != 0));
    }
}

void ApplyMeshTextureStages(ModelInstanceMesh* mesh, int shaderPath, const MeshBlendBlock& blend) {
    const ModelInstanceMaterial* material = mesh->material;
    for (int stage = 0; stage < 4; ++stage) {
        SetTextureTransformState(0, nullptr, stage);
    }
    int image = -1;
    int32_t textureIndex = -1;
    if (material != nullptr && material->diffuseLayerCount > 0) {
        textureIndex = material->diffuseLayers[0].texture;
        image = TextureImage(mesh, textureIndex);
    }
    if (image != -1) {
        const ModelInstanceTexture& texture = mesh->frame->model->textures[textureIndex];
        SetTexAddressingUVW(AddressMode(texture.addressU), AddressMode(texture.addressV),
                            D3DTADDRESS_WRAP, 0);
        ApplyTextureFilter(0, texture.filterMode);
    }
    if (shaderPath != 0) {
        // No frame carries a texture transform of its own yet: the identity.
        static const float kIdentityRows[2][4] = {{1.0f, 0.0f, 0.0f, 0.0f},
                                                  {0.0f, 1.0f, 0.0f, 0.0f}};
        SetVertexShaderConstF(88, &kIdentityRows[0][0], 2);
        if (image == -1) {
            image = DefaultWhiteTexture();
        }
    }
    const MeshMapStages maps = BindMapStages(mesh);
    if (shaderPath != 0 && IsToon(mesh)) {
        const ToonRampStage ramp = ToonShaderStagesOf(mesh);
        ApplyStageProgram(image, blend, &ramp, maps);
        ApplyToonShaderConstants(mesh);
        return;
    }
    const ToonRampStage ramp = ToonRampOf(mesh);
    ApplyStageProgram(image, blend, &ramp, maps);
}

void DrawModelMesh(ModelInstanceMesh* mesh) {
    IDirect3DDevice9* device = g_graphics.device;
    if (device == nullptr) {
        return;
    }
    // The shader indices start from the light setup of the 3D drawing, taken
    // before a toon material switches lighting off: its shaders light the
    // toon sums themselves from those lights.
    SetLightingSwitch(g_lights.lightingOff == 0 ? 1 : 0);
    const MeshShaderTerms bases = {VertexShaderSelector, PixelShaderSelector};
    MeshBlendBlock blend = {};
    int specularOn = 0;
    MeshShaderTerms terms = {0, 0};
    ApplyMeshMaterial(mesh, &blend, &specularOn, &terms);
    const MeshShaderTerms indices = {bases.vertex + terms.vertex, bases.pixel + terms.pixel,
                                     terms.imagesPresent};
    const ModelMesh* base = mesh->base;
    const bool shaders = ShaderPathOn != 0;
    bool anyOnShaders = false;
    StagesFor stages = StagesFor::kNone;
    for (int32_t i = 0; i < base->triangleListCount; ++i) {
        ModelTriangleList* list = &base->triangleLists[i];
        if (list->indexCount < 3 || list->indices == nullptr) {
            continue;
        }
        if (shaders && DrawListWithShaders(mesh, i, indices, blend, &stages)) {
            anyOnShaders = true;
            continue;
        }
        uint8_t* copy = nullptr;
        if (PrepareList(mesh, i, &copy) != 0) {
            continue;
        }
        if (stages != StagesFor::kFixed) {
            ApplyMeshTextureStages(mesh, 0, blend);
            stages = StagesFor::kFixed;
        }
        DropShaders();
        g_stateCache.streamSource = nullptr;
        g_stateCache.indexBuffer = nullptr;
        SetCachedFvf(kCopyFvfBase | kCopyFvfSets[base->texCoordSetCount]);
        device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, list->vertexCount,
                                       list->indexCount / 3, list->indices, D3DFMT_INDEX16, copy,
                                       list->copyStride);
    }
    if (shaders && IsToon(mesh)) {
        EndToonShaderDraw();
    }
    if (HasOutline(mesh)) {
        DrawOutlines(mesh, !anyOnShaders);
    }
    SetLightingSwitch(g_lights.lightingOff == 0 ? 1 : 0);
}

}  // namespace tessel
