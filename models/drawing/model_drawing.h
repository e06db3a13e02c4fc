// Drawing models: one mesh on the device (materials, texture stages, the
// processor's skinning into the fixed-function path's vertex copies), and the
// public render call with its view test, draw-settings propagation and the
// measuring of a model's boxes.
#pragma once

#include <cstdint>

#include "models/core/model_records.h"
#include "platform/d3d9.h"

namespace tessel {

// Where the drawing code reads the mesh and material words the loaders fill.
// Mesh flags: the diffuse and specular colours come from the vertices.
constexpr int32_t kMeshDiffuseFromVertex = 0x1;
constexpr int32_t kMeshSpecularFromVertex = 0x2;
// A mesh's cull mode goes to the device as it is; a material's
// words[0] its blend mode, words[1] and words[2] its outline widths (float
// bits).
inline int MeshCullMode(const ModelMesh* mesh) {
    return mesh->cullMode;
}
inline int32_t MaterialBlendMode(const ModelMaterial* material) {
    return material != nullptr ? material->words[0] : 0;
}

// The blend factors of one mesh and its opacity.
struct MeshBlendBlock {
    int32_t on;
    int32_t srcBlend;
    int32_t destBlend;
    int32_t blendOp;
    float opacity;
};

// The vertex formats of the fixed-function copies by texture-coordinate set
// count: position, normal, two colours, then the sets and two spare sets.
constexpr int kCopyFormatCount = 7;
constexpr uint32_t kCopyFvfBase = 0xD2;
extern const uint32_t kCopyFvfSets[kCopyFormatCount];

// The outline pass's vertex format: position and diffuse colour.
constexpr uint32_t kOutlineFvf = 0x42;

void DrawModelMesh(ModelInstanceMesh* mesh);
// The blend factors of a material blend mode; modes without factors of their
// own draw unblended.
void BlendFor(int mode, MeshBlendBlock* blend);

// Toon materials (kinds 1 and 2) on the fixed-function path. The base
// material's words[1] and words[2] hold its two outline widths (float bits);
// the model material's toonWords[0] its own outline width and toonWords[1]
// the least width in pixels an outline keeps.
// Each factor is its channel over the largest; all 1 for black or grey.
void NormaliseColorToMax(float r, float g, float b, float out[3]);
// Lights each vertex of a list's copy with the enabled lights (world: the
// frame's for rigid lists, null when the copy is in world space already) and
// writes its colours and the two spare texture-coordinate sets.
void EvaluateToonVertices(const ModelInstanceMesh* mesh, const ModelTriangleList* list,
                          uint8_t* copy, int normalise, const Mat3x4* world);
float MaterialOutlineWidth(const ModelMaterial* material, int which);
// A toon mesh whose base material has an outline width above 1e-6.
bool HasOutline(const ModelInstanceMesh* mesh);
// The model's outline width, widened so that it spans at least the least
// width in pixels at the frame's origin.
float OutlineThickness(const ModelInstanceMesh* mesh);
void ApplyOutlineMaterial(MeshBlendBlock* blend, const ModelInstanceMesh* mesh, float thickness);
// The outline vertices of a list, made on first use; null when they cannot
// be made.
uint8_t* BuildOutlineBuffer(ModelTriangleList* list);
void WriteOutlineVertices(const ModelInstanceMesh* mesh, const ModelTriangleList* list,
                          const uint8_t* copy, uint8_t* out, float thickness);
// The mesh's terms of the built-in shader indices (added to the graphics
// layer's selectors): vertex colours, second texture, specular, normal map,
// the toon variants.
struct MeshShaderTerms {
    int32_t vertex;
    int32_t pixel;
    // False when an image the mesh's shaders sample cannot be had (a normal map or a toon ramp
    // without its image): the fixed-function path draws such a mesh as it would without it.
    bool imagesPresent = true;
};
// Toon meshes through the built-in shaders: the registers their shaders read
// (the scene's, material's and lights' ambient, the counts that run the lit
// vertex shaders' toon blocks, pixel registers 6 to 8), set with the mesh's
// texture stages; the counts back to 0 after the mesh's lists.
void ApplyToonShaderConstants(const ModelInstanceMesh* mesh);
void EndToonShaderDraw();
// The outline vertex shader's index for the current fog: (96 + fog) x 512.
int OutlineVertexShaderIndex();
// Material, cull mode, lighting switches and the blend block of a mesh; the
// shader terms when terms is not null.
void ApplyMeshMaterial(ModelInstanceMesh* mesh, MeshBlendBlock* blend, int* specularOn,
                       MeshShaderTerms* terms = nullptr);
// Textures of stages 0 to 5 with their addressing and filters. The shader
// path (shaderPath 1) also sets the texture transform's registers and puts
// the white texture on stage 0 of a mesh without a texture, since its pixel
// shaders always read that stage.
void ApplyMeshTextureStages(ModelInstanceMesh* mesh, int shaderPath, const MeshBlendBlock& blend);
// The default white texture, made again when its image is gone; -1 when it
// cannot be made.
int DefaultWhiteTexture();
// The fixed-function copy of a list's vertices, made on first use; null
// when it cannot be made.
uint8_t* BuildListCopyBuffer(ModelTriangleList* list);

// 0 when drawn or invisible, -1 for a bad handle or no model system.
int RenderModel(int modelHandle);
void BeginModelDrawState(ModelInstance* record);
// 1 when the box of eight points lies wholly outside the view.
int TestBoxInFrustum(const Vec3 corners[8]);
void PropagateDrawSettings(ModelInstanceFrame* frame, ModelInstanceMesh* mesh);
// Measures the boxes once per base and reports the whole-model box
// (maximum first); either output may be null. 0, or -1 for a bad handle.
int MeasureModelBounds(int modelHandle, Vec3* maximum, Vec3* minimum);

// The device world transform holds the identity (skinned lists set it once
// per model draw).
extern int32_t g_modelWorldIsIdentity;

}  // namespace tessel
