// The DirectX .x reader: a text or uncompressed binary file is parsed into a
// tree of objects, one per data object of a template we know, each holding
// its parsed values; the tree is then turned into a read model. Payload
// arrays and reference names live in the tree's block chain, the nodes are
// tracked blocks of their own; FreeXObjectTree releases both.
#pragma once

#include <cstdint>

namespace tessel {

struct ReadModel;
struct ReadModelFrame;
struct ReadModelMaterial;

// Object types: the position of the template in the reader's table.
enum XObjectType : int32_t {
    kXNone = 0,
    kXCoords2d = 2,
    kXMatrix4x4 = 3,
    kXColorRGBA = 4,
    kXColorRGB = 5,
    kXMaterial = 6,
    kXTextureFilename = 7,
    kXMeshFace = 8,
    kXMeshTextureCoords = 9,
    kXMeshNormals = 10,
    kXMeshMaterialList = 11,
    kXIndexedColor = 12,
    kXMeshVertexColors = 13,
    kXMesh = 14,
    kXFrameTransformMatrix = 15,
    kXFrame = 16,
    kXFloatKeys = 17,
    kXTimedFloatKeys = 18,
    kXAnimationKey = 19,
    kXAnimationOption = 20,
    kXAnimation = 21,
    kXAnimationSet = 22,
    kXSkinMeshHeader = 23,
    kXSkinWeights = 24,
    kXTypeCount = 29,
};

constexpr int kXMaxFaceCorners = 32;
constexpr int kXMaxNesting = 64;

struct XObject;

// A reference written as a name in braces, or (name null) an object that
// refers to this one, added when references are resolved. order: the number
// of children the object had when the reference was read, so children and
// references can be taken in file order.
struct XReference {
    XObject* object;
    const char* name;
    int32_t order;
};

struct XObject {
    int32_t type;
    const char* name;  // "" when the object has none
    uint32_t payloadSize;
    XObject* parent;
    XObject* firstChild;
    XObject* lastChild;
    XObject* nextSibling;
    int32_t childCount;
    int32_t referenceCount;
    int32_t referenceCapacity;
    XReference* references;  // a tracked array
    XObject* nextObject;     // the tree's object list, in creation order
};

// Faces are kept flat: per face its corner count, then that many indices.
struct XFaceList {
    int32_t faceCount;
    int32_t wordCount;
    int32_t* words;
};

struct XMaterialData {
    float faceColour[4];
    float power;
    float specular[3];
    float emissive[3];
    XObject* texture;
    int32_t number;
    ReadModelMaterial* converted;
};

struct XTextureFilenameData {
    const char* fileName;
};

struct XMeshFaceData {
    int32_t count;
    int32_t indices[kXMaxFaceCorners];
};

struct XTextureCoordsData {
    int32_t count;
    float* uv;
};

struct XNormalsData {
    int32_t normalCount;
    float* normals;  // x, y, z
    XFaceList faces;
};

struct XMaterialListData {
    int32_t materialCount;
    int32_t faceCount;
    int32_t* faceMaterials;
    int32_t linkedCount;
    XObject** materials;
};

struct XIndexedColour {
    int32_t index;
    float rgba[4];
};

struct XIndexedColorData {
    XIndexedColour colour;
};

struct XVertexColoursData {
    int32_t count;
    XIndexedColour* colours;
};

struct XMeshData {
    int32_t vertexCount;
    float* positions;  // x, y, z
    XFaceList faces;
    XObject* materialList;
    XObject* texCoords;
    XObject* normals;
    XObject* vertexColours;
    int32_t skinCount;
    XObject** skins;
    XObject* frame;
    ReadModelFrame* ownFrame;  // the child frame a named mesh gets
};

struct XMatrixData {
    float m[16];
};

struct XFrameData {
    XObject* matrix;
    int32_t meshCount;
    XObject** meshes;
    int32_t number;
    ReadModelFrame* converted;
};

struct XFloatKeysData {
    int32_t count;
    float* values;
};

struct XTimedFloatKeysData {
    int32_t time;
    int32_t count;
    float* values;
};

struct XTimedKey {
    int32_t time;
    int32_t valueCount;
    float* values;
};

struct XAnimationKeyData {
    int32_t keyType;
    int32_t keyCount;
    XTimedKey* keys;
    float length;
};

struct XAnimationOptionData {
    int32_t openClosed;
    int32_t positionQuality;
};

struct XAnimationData {
    int32_t keyCount;
    XObject** keys;
    XObject* target;
    float length;
};

struct XAnimationSetData {
    int32_t animationCount;
    XObject** animations;
    float length;
};

struct XSkinHeaderData {
    uint16_t maxWeightsPerVertex;
    uint16_t maxWeightsPerFace;
    uint16_t boneCount;
};

struct XSkinWeightsData {
    const char* frameName;
    int32_t weightCount;
    int32_t* vertices;
    float* weights;
    float offset[16];
    XObject* frame;
};

// The payload behind the node's fixed part.
template <typename T>
T* XPayload(XObject* object) {
    return reinterpret_cast<T*>(object + 1);
}
template <typename T>
const T* XPayload(const XObject* object) {
    return reinterpret_cast<const T*>(object + 1);
}

struct XObjectTree {
    XObject* firstObject;  // the root, a "Frame" named "XTopFrame"
    XObject* lastObject;
    void* blocks;
    int32_t frameCount;
    int32_t materialCount;
    int32_t meshCount;
    int32_t keyBytes;
    int32_t nameBytes;
};

// Allocates, zero-fills and links a node as the parent's last child and last
// in the object list; null after a log line.
XObject* AddXObject(int type, const char* name, XObject* parent, XObjectTree* tree);
// Clears the tree and makes its root; 0, or -1 after a log line.
int StartXObjectTree(XObjectTree* tree);
// Parses the whole file under the tree's root. -1 without a log line when the
// image is not a .x file, -1 after a log line when it is a broken one.
int ParseXImage(const void* image, int size, XObjectTree* tree);
// 0, or -1 after a log line.
int ConvertXToReadModel(XObjectTree* tree, ReadModel* model);
void FreeXObjectTree(XObjectTree* tree);

}  // namespace tessel
