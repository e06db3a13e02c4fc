// The records of the model system. A ModelBase is the shared, read-only data
// of one loaded model file (frames, meshes, materials, textures, triangle
// lists, skin bones, shapes, animations); a ModelInstance is one placed copy
// of a base with its own matrices and per-mesh, per-material and per-texture
// state. Readers lay a base out in one tracked block (record, texts, arrays)
// plus one block of vertex data; an instance is one tracked block with all its
// arrays. Pointers inside a record point into those blocks unless an owned
// flag says the array is a block of its own.
#pragma once

#include <cstdint>

#include "foundation/math/matrix.h"
#include "models/math/model_math.h"
#include "models/util/model_containers.h"
#include "platform/d3d9.h"

namespace tessel {

struct ModelBase;
struct ModelInstance;
struct ModelFrame;
struct ModelMesh;
struct ModelMaterial;
struct ModelTriangleList;
struct ModelSkinBone;
struct ModelShape;
struct ModelBufferBlock;
struct ModelInstanceFrame;
struct ModelInstanceMesh;
struct ModelInstanceMaterial;
struct ModelShapeWeight;

constexpr int kModelBufferKinds = 54;
constexpr int kModelMaterialLayers = 8;

// A normal record of a frame: the normal and the tangent frame built on it.
struct ModelNormal {
    Vec3 normal;
    Vec3 tangent;
    Vec3 binormal;
};
static_assert(sizeof(ModelNormal) == 36);

// Each vertex of a mesh, followed by its texture coordinates (sets x
// components floats); the mesh's stride is 20 + 4 x sets x components.
struct ModelMeshVertex {
    int32_t positionIndex;
    int32_t normalIndex;
    uint32_t diffuse;
    uint32_t specular;
    uint32_t flag;  // non-zero: triangles touching it stay out of the filtered list
};
static_assert(sizeof(ModelMeshVertex) == 20);

// A triangle of a mesh: three mesh vertices and, from the read-model
// conversion, its skinning kind (low half) and list number (high half).
struct ModelMeshTriangle {
    int32_t words[4];
};

struct ModelDrawSettings {
    uint8_t visible;
    uint8_t hasFactors;
    uint8_t spare[2];
    float colourFactors[16];
    float opacity;
};

struct ModelMaterialLayer {
    int32_t texture;
    int32_t layerWord;
    int32_t words[2];
};

struct ModelTexture {
    int32_t nameOwned;
    char* name;
    int32_t word3;
    int32_t alphaFileOwned;
    char* alphaFile;
    int32_t word6;
    void* alphaImage;  // the whole alpha file, kept for device resets
    int32_t alphaImageSize;
    int32_t colourFileOwned;
    char* colourFile;
    int32_t word11;
    void* colourImage;  // the whole colour file
    int32_t colourImageSize;
    int32_t width;
    int32_t height;
    int32_t semiTransparent;
    int32_t conversionFlags;
    float conversionValue;
    int32_t imageHandle;
    int32_t words20To23[4];
    int32_t word24;
    int32_t addressU;
    int32_t addressV;
    int32_t filterMode;
    int32_t flagByte;
    int32_t words29To30[2];
};

struct ModelMaterial {
    char* name;
    int32_t word;
    int32_t kind;  // 0 ordinary, 1 and 2 toon kinds
    float diffuse[4];
    float ambient[4];
    float specular[4];
    float emissive[4];
    float power;
    int32_t diffuseLayerCount;
    ModelMaterialLayer diffuseLayers[kModelMaterialLayers];
    int32_t specularLayerCount;
    ModelMaterialLayer specularLayers[kModelMaterialLayers];
    int32_t normalLayerCount;
    ModelMaterialLayer normalLayers[kModelMaterialLayers];
    int32_t toonDiffuseTexture;  // -1: the default ramp
    int32_t toonSpecularTexture;
    int32_t toonSelectors[2];
    int32_t toonWords[2];
    float outlineColour[4];
    int32_t words[5];
};

// Device buffers shared by the triangle lists of one buffer kind of a base.
struct ModelBufferBlock {
    IDirect3DVertexBuffer9* vertexBuffer;
    IDirect3DIndexBuffer9* indexBuffer;
    int32_t vertexCount;
    int32_t indexCount;
    uint8_t* lockedVertices;  // while the block is filled
    uint16_t* lockedIndices;
    uint32_t fvf;  // rigid kinds without normal map; 0: drawn through declarations
    int32_t stride;
    ModelBufferBlock* next;
    ModelBufferBlock* prev;
};

struct ModelTriangleList {
    ModelMesh* mesh;
    uint16_t vertexType;  // 0 rigid, 1 up to 4 bones, 2 up to 8 bones, 3 free-form
    uint16_t vertexSize;
    int32_t word;
    int32_t vertexCount;
    int32_t freeBoneCount;  // free-form: the most weights a vertex carries
    int32_t boneCount;
    int32_t* bones;               // bone frame indices; a bone slot is a position here
    uint32_t* meshVertexIndices;  // 32-bit: a mesh may hold more than 65535 vertex records
    int32_t meshVertexIndicesOwned;
    Vec3* positions;  // gathered positions and normals
    Vec3* normals;
    int32_t gatheredOwned;
    uint8_t* vertices;  // source vertices in the layout of the vertex type
    int32_t verticesOwned;
    uint16_t indexCount;
    uint16_t* indices;
    uint16_t filteredIndexCount;
    uint16_t* filteredIndices;
    ModelBufferBlock* bufferBlock;
    int32_t firstVertex;  // also the base vertex its draws pass
    int32_t firstIndex;
    // The fixed-function path's vertices, made on first draw (tracked; the
    // base release frees it): position, normal, two colours, then four
    // floats per texture-coordinate set and two spare sets.
    uint8_t* copyVertices;
    int32_t copyStride;
    // The outline pass's vertices on the fixed-function path (tracked, made
    // on first outline draw): position and diffuse colour, 16 bytes each.
    uint8_t* outlineVertices;
};

struct ModelMesh {
    ModelFrame* frame;
    ModelMaterial* material;
    FrameChangeDescriptor drawChange;  // one bit in the draw-change bits
    int32_t word;
    int32_t fileWords[4];
    int32_t flags;
    int32_t triangleListCount;
    ModelTriangleList* triangleLists;
    uint8_t initiallyVisible;
    uint8_t byte;
    uint8_t hasShape;
    int32_t texCoordSetCount;
    int32_t texCoordComponents;
    int32_t vertexCount;
    int32_t vertexStride;
    uint8_t* vertices;  // ModelMeshVertex records of vertexStride bytes
    int32_t verticesOwned;
    int32_t triangleCount;
    ModelMeshTriangle* triangles;
    int32_t cullMode;            // 0 none, 1 counter-clockwise, 2 clockwise
    uint8_t translucentColours;  // a vertex colour's alpha is below 255
    // The mesh's own box in frame coordinates, written by the measuring.
    Vec3 boundsMax;
    Vec3 boundsMin;
};

struct ModelFrame {
    ModelBase* base;
    int32_t words1[2];
    char* name;
    int32_t index;
    // The frame's bits, each with its descendants' when the descriptor has a
    // run: in the draw-change bits, and in changeBits (from bit 1; bit 0 is
    // the model's placement).
    FrameChangeDescriptor drawChange;
    FrameChangeDescriptor change;
    ModelFrame* parent;
    ModelFrame* firstChild;
    ModelFrame* lastChild;
    ModelFrame* nextSibling;
    ModelFrame* prevSibling;
    int32_t word4;
    Mat3x4 world;
    Mat3x4 inverseWorld;
    int32_t matrixKind;  // 0 identity, 1 translation, 2 general
    Mat3x4 local;
    Vec3 translation;
    Vec3 scale;
    int32_t rotationOrder;
    Vec3 rotation;
    float quaternion[4];  // x, y, z, w
    Vec3 boundsMin;
    Vec3 boundsMax;
    int32_t word5;
    uint32_t flags;  // bit 0: visible at creation
    int32_t fileWords[3];
    int32_t meshCount;
    ModelMesh* meshes;
    int32_t words6[2];
    int32_t skinBoneCount;  // the run of skin bones naming this frame
    ModelSkinBone* firstSkinBone;
    int32_t skinBoneRefCount;
    int32_t firstSkinBoneRef;
    void* further;
    int32_t maxWeights;
    float smoothingAngle;
    int32_t recomputeNormals;
    int32_t positionCount;
    int32_t positionStride;  // 12 + 8 x maxWeights
    uint8_t* positions;      // x, y, z, then (bone frame, weight) pairs ended by 0xFFFFFFFF
    int32_t normalCount;
    ModelNormal* normals;
    int32_t normalsOwned;
    int32_t shapeCount;
    ModelShape* firstShape;
};

// A frame whose meshes a skin bone deforms, and the bone's place in that
// frame's run of skin-bone references.
struct ModelSkinBoneUse {
    int32_t frame;
    int32_t refPosition;
};

struct ModelSkinBone {
    Mat3x4 bind;  // mesh space into the bone's space
    int32_t boneFrame;
    int32_t translationOnly;  // the bind's 3x3 part is the identity
    int32_t useCount;
    ModelSkinBoneUse* uses;  // a run of the base's use array
};

struct ModelShape {
    ModelFrame* frame;
    char* name;
    int32_t shapeMeshCount;
    int32_t firstShapeMesh;
};

// One vertex a shape moves: the mesh vertex, its position and normal deltas.
struct ModelShapeDelta {
    int32_t meshVertex;
    Vec3 position;
    Vec3 normal;
};
static_assert(sizeof(ModelShapeDelta) == 28);

struct ModelShapeMesh {
    ModelMesh* mesh;
    int32_t vertexCount;
    ModelShapeDelta* data;
    int32_t dataOwned;
};

// Key kinds: 0 and 7 quaternions (x, y, z, w; 0 in the row-vector sense, 7 in
// the column-vector sense), 1 three floats, 5 one float. Targets: 0 rotation,
// 1 to 3 rotation about x, y, z, 5 scale, 6 to 8 one axis of it, 10
// translation, 11 to 13 one axis of it, 18 a shape weight.
struct ModelKeySet {
    uint8_t kind;
    uint8_t target;
    uint8_t hasTimeTable;  // 0: keys at startTime + k x timeStep
    int16_t shapeIndex;
    int32_t keyCount;
    float timeStep;
    float startTime;
    float* times;
    void* values;
};

struct ModelAnim {
    int32_t frame;
    int32_t keySetCount;
    ModelKeySet* keySets;
    int32_t flag;
};

struct ModelAnimSet {
    char* name;
    float length;
    int32_t animCount;
    ModelAnim* anims;
    int32_t additive;    // 1: keys add to the frame's own transform
    int32_t matrixMode;  // non-zero: always interpolate whole matrices
};

// The second block of a base: 16-byte aligned sub-arrays and their fill
// counts while a reader loads.
struct ModelVertexBlock {
    void* block;
    int32_t size;
    uint8_t* positions;
    ModelNormal* normals;
    uint8_t* meshVertices;
    uint8_t* listVertices;
    int32_t positionFill;
    int32_t normalFill;
    int32_t meshVertexFill;
    int32_t listVertexFill;
};

struct ModelBase {
    int32_t handle;
    int32_t instanceCount;
    ModelInstance* newestInstance;
    ModelInstance* oldestInstance;
    uint32_t flags;
    char* name;
    char* filePath;
    char* directory;
    int32_t referenceCount;
    void* byteBlocks[2];
    int32_t byteBlockSizes[2];
    int32_t frameCount;
    ModelFrame* frames;
    int32_t topFrameCount;
    ModelFrame* firstTopFrame;
    ModelFrame* lastTopFrame;
    int32_t frameSkinBoneRefCount;
    ModelSkinBone** frameSkinBoneRefs;
    int32_t materialCount;
    ModelMaterial* materials;
    int32_t textureCount;
    ModelTexture* textures;
    int32_t texturesSeparate;  // the texture array is a block of its own
    int32_t meshCount;
    ModelMesh* meshes;
    int32_t readerRecordCount;
    void* readerRecords;
    int32_t skinBoneCount;
    ModelSkinBone* skinBones;
    int32_t skinBoneUseCount;
    ModelSkinBoneUse* skinBoneUses;
    int32_t shapeCount;
    ModelShape* shapes;
    int32_t shapeMeshCount;
    ModelShapeMesh* shapeMeshes;
    int32_t shapeVertexBytes[4];  // rigid, 4-bone, 8-bone vertices and raw bytes
    int32_t shapeEntryBytes;
    int32_t triangleListCount;
    ModelTriangleList* triangleLists;
    ModelVertexBlock vertexBlock;
    uint16_t* indexArea;
    int32_t fileWords[2];
    void* nameBlock;
    int32_t nameBlockSize;
    void* keyData;
    int32_t keyDataUsed;
    int32_t keySetCount;
    ModelKeySet* keySets;
    int32_t animCount;
    ModelAnim* anims;
    int32_t animSetCount;
    ModelAnimSet* animSets;
    ModelAnim** animTable;  // [set x frame count + frame]
    int32_t bufferBlockCount;
    int32_t buffersBuilt;
    int32_t kindBlockCount[kModelBufferKinds];
    ModelBufferBlock* kindFirstBlock[kModelBufferKinds];
    ModelBufferBlock* kindLastBlock[kModelBufferKinds];
    int32_t rebuildFlag;
    void* extraBlocks;  // each holds the link to the next in its second word
    // The whole model's box in world coordinates at measuring time, and
    // whether it was measured (once per base).
    Vec3 boundsMax;
    Vec3 boundsMin;
    int32_t boundsMeasured;
};

struct ModelInstanceTexture {
    ModelTexture* base;
    char* colourFile;  // the base texture's references
    char* alphaFile;
    void* ownColourImage;  // the model's own files once its texture is replaced
    int32_t ownColourImageSize;
    void* ownAlphaImage;
    int32_t ownAlphaImageSize;
    char* ownColourFile;
    char* ownAlphaFile;
    int32_t conversionFlags;
    float conversionValue;
    int32_t modelOwn;
    int32_t imageHandle;  // -1: draw with the base texture's image
    int32_t words20To21[2];
    int32_t zeroWords[2];
    int32_t word24;
    int32_t addressU;
    int32_t addressV;
    int32_t filterMode;
};

struct ModelInstanceTriangleList {
    ModelInstanceMesh* mesh;
    ModelTriangleList* base;
    IDirect3DVertexBuffer9* deviceBuffer;  // the model's own, for shape-deformed lists
    int32_t deviceWord;
    uint8_t* vertices;  // the model's own source vertices of the list
};

struct ModelInstanceMesh {
    ModelInstanceFrame* frame;
    ModelMesh* base;
    ModelInstanceMaterial* material;
    const FrameChangeDescriptor* drawChange;
    uint32_t* drawBitWord;
    ModelDrawSettings draw;       // as set on the mesh
    ModelDrawSettings effective;  // combined with its frame's, what drawing reads
    float* shapeVertices;  // 24-byte entries: position and normal per mesh vertex
    ModelInstanceTriangleList* triangleLists;
    int32_t words[2];
    uint8_t byte;
};

struct ModelInstanceMaterial {
    ModelMaterial* base;
    float diffuse[4];
    float ambient[4];
    float specular[4];
    float emissive[4];
    float power;
    int32_t diffuseLayerCount;
    ModelMaterialLayer diffuseLayers[kModelMaterialLayers];
    int32_t specularLayerCount;
    ModelMaterialLayer specularLayers[kModelMaterialLayers];
    int32_t toonTextures[2];
    int32_t toonSelectors[2];
    float toonWords[2];
    float outlineColour[4];
    int32_t words[5];
};

constexpr uint32_t kModelFrameTag = 0x5F4D5246;

struct ModelInstanceFrame {
    uint32_t tag;
    int32_t modelHandle;
    ModelInstance* model;
    int32_t indexInParent;
    ModelFrame* base;
    ModelInstanceFrame* parent;
    ModelInstanceFrame* firstChild;
    ModelInstanceFrame* nextSibling;
    ModelInstanceFrame* prevSibling;
    int32_t childCount;
    ModelInstanceFrame** children;
    const FrameChangeDescriptor* change;
    uint32_t* changeBitWord;
    Mat4 matrix;  // the world matrix as a Mat4, current while world4Current
    Mat3x4 world;
    uint8_t world4Current;
    uint8_t secondCached;  // a second matrix the drawing code derives
    uint8_t userLocalOn;
    Mat3x4 userLocal;  // replaces every other local transform while on
    Mat3x4** skinBoneRefs;
    ModelInstanceMesh* firstMesh;
    ModelShapeWeight* shapeWeights;
    uint8_t hasShapes;
    uint8_t shapesChanged;
    const FrameChangeDescriptor* drawChange;
    uint32_t* drawBitWord;
    ModelDrawSettings draw;       // as set on the frame
    ModelDrawSettings effective;  // combined down the tree
    void* workBuffers[2];
    void* attachedBlock;
};

// A shape's weight in a model's frame; the shape is the base's shape index.
struct ModelShapeWeight {
    int32_t shape;
    float weight;
};
static_assert(sizeof(ModelShapeWeight) == 8);

// What a slerp between two quaternion keys computes once for the pair, the
// same at every time between them: their dot product and the angle of the
// short arc with its sine and cosine. Kept only under the default
// floating-point modes, under which it was computed.
struct ModelSlerpArc {
    const float* k0;  // the pair it holds; null: none
    const float* k1;
    float dot;
    float theta;
    float sinTheta;
    float cosTheta;
};

// Where one key set of an attached animation stands: the key at or before the
// animation's time, the value a shape-weight key gave last, and the arc of
// the quaternion pair evaluated last. Attaching zeroes it.
struct ModelKeyCursor {
    const ModelKeySet* keySet;
    int32_t shapeIndex;  // -1: none
    float value;
    int32_t keyIndex;
    ModelSlerpArc arc;
};

// Flags of a frame's animation state: which components the keys gave.
constexpr uint32_t kAnimTranslation = 0x1;
constexpr uint32_t kAnimScale = 0x2;
constexpr uint32_t kAnimEuler = 0x4;
constexpr uint32_t kAnimQuaternionRows = 0x8;
constexpr uint32_t kAnimMatrix = 0x10;
constexpr uint32_t kAnimQuaternionColumns = 0x20;

// One animated frame of an attached animation, evaluated at its time.
struct ModelFrameAnimState {
    const ModelAnim* anim;
    ModelInstanceFrame* target;  // null: the frame does not exist in the model
    uint32_t flags;
    Vec3 scale;
    Vec3 translation;
    int32_t rotationOrder;
    Vec3 rotation;
    float quaternion[4];
    Mat3x4 matrix;  // the matrix path's result
    Mat3x4 work;    // the local matrix while blending
    ModelKeyCursor* cursors;
};

// An animation set attached to a model: one tracked block holding the record,
// its states and their cursors.
struct ModelAttachedAnim {
    const ModelAnimSet* set;
    uint8_t evaluated;  // the current time is evaluated
    float time;
    ModelFrameAnimState* states;  // one per ModelAnim of the set
};

struct ModelAttachSlot {
    uint8_t inUse;
    ModelAttachedAnim* anim;
};

// The share of one attach slot in one frame: table[frame x capacity + slot].
struct ModelBlendEntry {
    uint8_t inUse;
    float rate;
    ModelFrameAnimState* state;
};

// How a model is turned: rotation modes of ModelInstance.
constexpr int32_t kModelRotationEuler = 0;       // x, y, z
constexpr int32_t kModelRotationQuaternion = 1;  // x, y, z, w
constexpr int32_t kModelRotationMatrix = 2;      // the first three rows of a Mat4
constexpr int32_t kModelRotationAxes = 3;        // forward, up, twist angle

struct ModelInstance {
    int32_t zero;
    int32_t check;
    ModelInstance* nextOlder;
    ModelInstance* nextNewer;
    int32_t baseHandle;
    ModelBase* base;
    uint32_t* drawChangeBits;
    uint32_t* changeBits;
    int32_t drawChangeBytes;
    int32_t changeBytes;
    Vec3 position;
    int32_t rotationMode;
    float rotation[12];
    Vec3 scale;
    uint8_t userMatrixOn;
    Mat3x4 userMatrix;  // replaces position, rotation and scale while on
    Mat3x4 placement;   // model space to world space
    uint8_t matricesValid;
    ModelInstanceFrame* frames;
    int32_t rootCount;
    ModelInstanceFrame** roots;
    Mat3x4** frameSkinBoneRefs;
    Mat3x4* boneMatrices;
    ModelShapeWeight* shapeWeights;
    float* shapeEntries;  // 24 bytes per entry: position and normal
    uint8_t shapesChanged;
    ModelInstanceTriangleList* triangleLists;
    ModelInstanceMesh* meshes;
    ModelInstanceMaterial* materials;
    ModelInstanceTexture* textures;
    int32_t texturesSeparate;
    void* shapeVertexCopies[4];  // rigid, 4-bone, 8-bone vertices and raw bytes
    void* workBuffers[2];        // kinds 1 and 0 of the whole model
    void* attachedBlock;
    int32_t attachedAnimCount;
    int32_t attachSlotCapacity;
    ModelAttachSlot* attachSlots;
    ModelBlendEntry* attachTable;
    uint8_t animationsEvaluated;
    ModelDrawSettings draw;
    int32_t animWordsOne[2];
    int32_t animWordFour;
    int32_t animWordZero;
    uint8_t animByte;
    int32_t animWordTwo;
};

}  // namespace tessel
