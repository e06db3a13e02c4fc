// The read model: the intermediate record the text-format readers fill while
// they parse (a tree of frames with meshes, materials and textures, shapes,
// skin weights and animations), later prepared and converted into one base.
// Every entry and text lies in one chain of zero-filled blocks and goes when
// the chain is freed; lists are doubly linked in creation order and every
// entry keeps its place in its model-wide list. A reader's life: clear, fill,
// convert, release.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/math/matrix.h"
#include "platform/types.h"

namespace tessel {

struct ReadModelFrame;
struct ReadModelMesh;
struct ReadModelMaterial;
struct ReadModelTexture;
struct ReadModelShape;
struct ReadModelSkinWeight;
struct ReadModelAnimSet;
struct ReadModelAnim;
struct ReadModelKeySet;
struct ModelFrame;

constexpr int kReadModelTexLayers = 8;
constexpr int kReadModelFaceCorners = 32;
constexpr int kReadModelMeshMaterials = 256;
constexpr int kReadModelMeshBones = 4096;
constexpr int kReadModelLayerTextures = 256;

struct ReadModelFrame {
    ReadModelFrame* prev;
    ReadModelFrame* next;
    int32_t index;
    char* name;
    int32_t meshGroupTotal;
    int32_t descendantCount;
    int32_t flag;
    Mat4 transform;
    Vec3 translation;
    Vec3 scale;
    Vec3 rotation;
    int32_t rotationOrder;
    float preRotation[4];
    void* attached;
    int32_t maxBonesPerVertex;
    float smoothingAngle;
    int32_t meshCount;
    ReadModelMesh* firstMesh;
    ReadModelMesh* lastMesh;
    int32_t shapeCount;
    ReadModelShape* firstShape;
    ReadModelShape* lastShape;
    ReadModelFrame* parent;
    ReadModelFrame* firstChild;
    ReadModelFrame* lastChild;
    ReadModelFrame* nextSibling;
    ReadModelFrame* prevSibling;
    ModelFrame* base;
};

// What one corner of a face names in its mesh's arrays.
struct ReadModelCorner {
    int32_t position;
    int32_t normal;
    int32_t colour;
    int32_t texCoord[kReadModelTexLayers];
};

// A face's corners lie apart from it, cornerCount records sized to the face,
// so that a triangle carries no room for the 32 corners a face may have.
struct ReadModelFace {
    int32_t cornerCount;
    int32_t triangleCount;
    ReadModelCorner* corners;
    int32_t materialIndex;
    Vec3 faceNormal;
};

struct ReadModelMesh {
    ReadModelMesh* prev;
    ReadModelMesh* next;
    int32_t index;
    int32_t faceCount;
    ReadModelFace* faces;
    int32_t positionCount;
    Vec3* positions;
    uint8_t* positionFlags;
    int32_t normalCount;
    Vec3* normals;
    uint8_t* normalFlags;
    int32_t colourCount;
    float (*colours)[4];
    int32_t texCoordCounts[kReadModelTexLayers];
    float (*texCoords[kReadModelTexLayers])[3];
    int32_t materialCount;
    ReadModelMaterial* materials[kReadModelMeshMaterials];
    int32_t skinWeightCount;
    ReadModelSkinWeight* skinWeights[kReadModelMeshBones];
    // Written by the conversion only.
    int32_t triangleTotal;
    void* groupTables;
    void* boneBitTables;
    int32_t hasShapes;
    ReadModelFrame* frame;
    ReadModelMesh* nextInFrame;
    ReadModelMesh* prevInFrame;
};

struct ReadModelTextureLayer {
    int32_t count;
    ReadModelTexture* textures[kReadModelLayerTextures];
};

struct ReadModelMaterial {
    ReadModelMaterial* prev;
    ReadModelMaterial* next;
    int32_t index;
    char* name;
    int32_t word;
    int32_t userWord;
    ReadModelTextureLayer layers[3];  // diffuse, then two further layers
    float ambient[4];
    float diffuse[4];
    float specular[4];
    float emissive[4];
    float power;
    int32_t toonTextureIndex;  // -1: none
    int32_t sphereTextureIndex;
    ReadModelTexture* toonTexture;  // null: use the index
    ReadModelTexture* sphereTexture;
    int32_t words[8];
    int32_t tailWords[2];
};

struct ReadModelTexture {
    ReadModelTexture* prev;
    ReadModelTexture* next;
    int32_t index;
    char* name;
    int32_t word;
    int32_t addressU;
    int32_t addressV;
    int32_t filterMode;
    char* colourFile;
    char* alphaFile;
    int32_t conversionFlags;
    float conversionValue;
    int32_t layerWord;
    int32_t reverseFlag;
};

struct ReadModelShapeVertex {
    int32_t positionIndex;
    Vec3 position;
    Vec3 normal;
};

struct ReadModelShape {
    ReadModelShape* prev;
    ReadModelShape* next;
    int32_t index;
    char* name;
    ReadModelMesh* mesh;
    int32_t hasNormals;
    int32_t vertexCount;
    ReadModelShapeVertex* vertices;
    int32_t* vertexMap;
    ReadModelFrame* frame;
    ReadModelShape* nextInFrame;
    ReadModelShape* prevInFrame;
};

struct ReadModelSkinWeightPair {
    int32_t positionIndex;
    float weight;
};

struct ReadModelSkinWeight {
    int32_t word;
    Mat4 offsetMatrix;
    int32_t word2;
    int32_t boneFrameIndex;  // -1: unresolved
    int32_t weightCount;
    ReadModelSkinWeightPair* weights;
};

struct ReadModelAnimSet {
    ReadModelAnimSet* prev;
    ReadModelAnimSet* next;
    int32_t index;
    char* name;
    float start;
    float timeBase;
    int32_t word;
    int32_t keepVectorKeys;
    int32_t animCount;
    ReadModelAnim* firstAnim;
    ReadModelAnim* lastAnim;
};

struct ReadModelAnim {
    ReadModelAnimSet* animSet;
    ReadModelAnim* prev;
    ReadModelAnim* next;
    int32_t index;
    char* targetName;
    int32_t targetIndex;
    float length;
    int32_t animFlag;
    int32_t keySetCount;
    ReadModelKeySet* firstKeySet;
    ReadModelKeySet* lastKeySet;
    ReadModelAnim* prevInSet;
    ReadModelAnim* nextInSet;
};

struct ReadModelKeySet {
    ReadModelKeySet* prev;
    ReadModelKeySet* next;
    int32_t index;
    uint8_t kind;
    uint8_t target;
    uint8_t hasTimeTable;
    int32_t sourceWord;
    float length;
    int32_t keyCount;
    float timeStep;  // without a time table: key i lies at step x i + start
    float startTime;
    float* times;  // with a time table
    void* values;
    ReadModelKeySet* prevInAnim;
    ReadModelKeySet* nextInAnim;
};

// Bytes of one key value of each kind.
int32_t ReadModelKeyValueBytes(int kind);

struct ReadModel {
    void* blocks;
    char* filePath;  // tracked copies made by the reader
    char* baseName;
    int32_t reverseWinding;
    int32_t ownSmoothing;
    int32_t keyDataBytes;
    int32_t noCullTranslucent;
    int32_t meshGroupTotal;
    int32_t frameBitBytes[2];
    int32_t frameCount;
    ReadModelFrame* firstFrame;
    ReadModelFrame* lastFrame;
    int32_t materialCount;
    ReadModelMaterial* firstMaterial;
    ReadModelMaterial* lastMaterial;
    int32_t textureCount;
    ReadModelTexture* firstTexture;
    ReadModelTexture* lastTexture;
    int32_t meshCount;
    ReadModelMesh* firstMesh;
    ReadModelMesh* lastMesh;
    int32_t shapeCount;
    ReadModelShape* firstShape;
    ReadModelShape* lastShape;
    int32_t attachedFrameCount;
    int32_t conversionTotals[8];
    int32_t animSetCount;
    ReadModelAnimSet* firstAnimSet;
    ReadModelAnimSet* lastAnimSet;
    int32_t animCount;
    ReadModelAnim* firstAnim;
    ReadModelAnim* lastAnim;
    int32_t keySetCount;
    ReadModelKeySet* firstKeySet;
    ReadModelKeySet* lastKeySet;
    int32_t furtherTotals[8];
    int32_t stringBytes;
    int32_t moreTotals[8];
    int32_t skinWeightCount;
};

int ReadModelClear(ReadModel* model);
int ReadModelRelease(ReadModel* model);
char* ReadModelCopyString(ReadModel* model, const char* text);
ReadModelFrame* ReadModelNewFrame(ReadModel* model, const char* name, ReadModelFrame* parent);
ReadModelMesh* ReadModelNewMesh(ReadModel* model, ReadModelFrame* frame);
ReadModelShape* ReadModelNewShape(ReadModel* model, const char* name, ReadModelFrame* frame);
int ReadModelRemoveMesh(ReadModel* model, ReadModelFrame* frame, ReadModelMesh* mesh);
ReadModelMaterial* ReadModelNewMaterial(ReadModel* model, const char* name);
// The n-th material (n below 1: the first); null when n is not below the
// material count.
ReadModelMaterial* ReadModelNthMaterial(ReadModel* model, int n);
ReadModelTexture* ReadModelNewTexture(ReadModel* model, const char* name, const char* colourFile,
                                      const char* alphaFile, int conversionFlags,
                                      float conversionValue, int reuse, int reverseFlag);
ReadModelSkinWeight* ReadModelNewSkinWeight(ReadModel* model);
// A zeroed array of `count` items (at least one) of `itemBytes` each in the
// model's block chain; null when it is too large or cannot be had (the
// caller names what it was reading).
void* ReadModelChainArray(ReadModel* model, int64_t count, size_t itemBytes);
// Zeroed corner records for `count` corners in the model's chain; null when
// they cannot be had (the caller names what it was reading).
ReadModelCorner* ReadModelNewCorners(ReadModel* model, int64_t count);
ReadModelAnimSet* ReadModelNewAnimSet(ReadModel* model, const char* name);
ReadModelAnim* ReadModelNewAnim(ReadModel* model, ReadModelAnimSet* animSet);
ReadModelKeySet* ReadModelNewKeySet(ReadModel* model, ReadModelAnim* anim);

// out = scale x rotation (in the order's axes) x pre-rotation x translation,
// row vectors. 0, or -1 for an order above 5 (out then holds the scale).
int ComposeFrameMatrix(const Vec3* rotation, const Vec3* scale, const Vec3* translation,
                       const float* preRotation, Mat4* out, int rotationOrder);
// The whole file through the file layer, tried under its bare name when the
// path does not open; a tracked block the caller frees. 0 or -1.
int ReadModelFileWhole(const WCHAR* path, void** outImage, int* outSize);

}  // namespace tessel
