// The layout of a TSM body: where the header keeps each count and offset,
// the file size of every record kind, the packing flags of meshes, triangle
// lists and key sets. The reader and our own writer share it, so a record
// the writer lays out is the record the reader expects.
#pragma once

#include <cstdint>

namespace tessel {

// Body header words (file-relative offsets, as every offset of the body).
namespace tsm_header {
constexpr uint32_t kFlags = 0x08;
constexpr uint32_t kDataBlockSize = 0x10;  // two words: first, second
constexpr uint32_t kDataBlockOffset = 0x18;
constexpr uint32_t kFrameCount = 0x20;
constexpr uint32_t kFirstFrame = 0x24;
constexpr uint32_t kTopFrameCount = 0x28;
constexpr uint32_t kFirstTopFrame = 0x2c;
constexpr uint32_t kLastTopFrame = 0x30;
constexpr uint32_t kSkinRefCount = 0x34;
constexpr uint32_t kSkinRefs = 0x38;
constexpr uint32_t kMaterialCount = 0x3c;
constexpr uint32_t kFirstMaterial = 0x40;
constexpr uint32_t kTextureCount = 0x44;
constexpr uint32_t kFirstTexture = 0x48;
constexpr uint32_t kMeshCount = 0x4c;
constexpr uint32_t kFirstMesh = 0x50;
constexpr uint32_t kFurtherCount = 0x54;
constexpr uint32_t kFirstFurther = 0x58;
constexpr uint32_t kSkinBoneCount = 0x5c;
constexpr uint32_t kSkinBones = 0x60;
constexpr uint32_t kUseCount = 0x64;
constexpr uint32_t kUses = 0x68;
constexpr uint32_t kListCount = 0x6c;
constexpr uint32_t kFirstList = 0x70;
constexpr uint32_t kRigidVertices = 0x7c;
constexpr uint32_t kFourBoneVertices = 0x80;
constexpr uint32_t kEightBoneVertices = 0x84;
constexpr uint32_t kFreeFormBytes = 0x88;
constexpr uint32_t kPositionBytes = 0x8c;
constexpr uint32_t kNormalCount = 0x90;
constexpr uint32_t kMeshVertexBytes = 0x94;
constexpr uint32_t kTriangleCount = 0x98;
constexpr uint32_t kIndexEntryCount = 0x9c;
constexpr uint32_t kIndexCount = 0xa0;
constexpr uint32_t kFileWords = 0xa4;  // two words
constexpr uint32_t kNameBlockSize = 0xac;
constexpr uint32_t kNameBlock = 0xb0;
constexpr uint32_t kKeyDataBytes = 0xb4;
constexpr uint32_t kKeySetCount = 0xc0;
constexpr uint32_t kKeySetStride = 0xc4;
constexpr uint32_t kFirstKeySet = 0xc8;
constexpr uint32_t kAnimCount = 0xcc;
constexpr uint32_t kAnimStride = 0xd0;
constexpr uint32_t kFirstAnim = 0xd4;
constexpr uint32_t kAnimSetCount = 0xd8;
constexpr uint32_t kFirstAnimSet = 0xdc;
constexpr uint32_t kShapeSection = 0xf0;
constexpr uint32_t kSize = 0xf4;
}  // namespace tsm_header

// Shape section words, from the section's offset.
namespace tsm_shapes {
constexpr uint32_t kShapeCount = 0x08;
constexpr uint32_t kFirstShape = 0x0c;
constexpr uint32_t kShapeMeshCount = 0x10;
constexpr uint32_t kFirstShapeMesh = 0x14;
constexpr uint32_t kDeltaCount = 0x18;
constexpr uint32_t kEntryCount = 0x28;  // 24-byte entries each model reserves
constexpr uint32_t kDeltaStride = 0x2c;
constexpr uint32_t kCopyCounts = 0x30;  // rigid, 4-bone, 8-bone vertices, then bytes
constexpr uint32_t kSize = 0x40;
}  // namespace tsm_shapes

// File sizes of the records (the last field read, plus its width).
constexpr uint32_t kTsmFrameSize = 0xdc;
constexpr uint32_t kTsmMaterialSize = 0x2cc;
constexpr uint32_t kTsmToonSize = 0x2c;
constexpr uint32_t kTsmFurtherSize = 0x64;
constexpr uint32_t kTsmTextureSize = 0x38;
constexpr uint32_t kTsmMeshSize = 0x4c;
constexpr uint32_t kTsmSkinBoneSize = 84;
constexpr uint32_t kTsmShapeSize = 0x1c;
constexpr uint32_t kTsmShapeMeshSize = 0x1c;
constexpr uint32_t kTsmListSize = 0x1c;
constexpr uint32_t kTsmKeySetRefStride = 20;  // references count key sets 20 bytes apart
constexpr uint32_t kTsmKeySetSize = 8;
constexpr uint32_t kTsmAnimSize = 0x1c;
constexpr uint32_t kTsmAnimSetSize = 0x30;
constexpr uint32_t kTsmDeltaSize = 28;
constexpr int kTsmMaterialLayerStride = 24;
constexpr uint32_t kTsmDiffuseLayers = 0x58;  // count, then eight layers
constexpr uint32_t kTsmSpecularLayers = 0x11c;
constexpr uint32_t kTsmNormalLayers = 0x1e0;

// Mesh packing flags (mesh word 0x3c).
constexpr uint32_t kTsmMeshIndexWidth = 0x03;  // 1 byte, 2 16 bits, 3 32 bits
constexpr uint32_t kTsmMeshPackedTexCoords = 0x10;
constexpr uint32_t kTsmMeshSharedColours = 0x20;
constexpr uint32_t kTsmMeshFlagBits = 0x40;

// Triangle-list packing flags (16 bits at list 0x12).
constexpr uint16_t kTsmListVertexIndexWidth = 0x03;  // 0 byte, 1 16 bits, 2 32 bits
constexpr uint16_t kTsmListIndexWidth = 0x0c;        // 0 byte, 1 16 bits

// Key-set flags (16 bits at key set 0x02).
constexpr uint16_t kTsmKeyOne = 0x0001;
constexpr uint16_t kTsmKeyCountByte = 0x0002;
constexpr uint16_t kTsmKeyCount16 = 0x0004;
constexpr uint16_t kTsmKeyEven = 0x0008;
constexpr uint16_t kTsmKeyStart16 = 0x0010;
constexpr uint16_t kTsmKeyStartZero = 0x0020;
constexpr uint16_t kTsmKeyStep16 = 0x0040;
constexpr uint16_t kTsmKeyTimesQuantised = 0x0080;
constexpr uint16_t kTsmKeyValuesPacked = 0x0100;
constexpr uint16_t kTsmKeyAngleSigned = 0x0200;
constexpr uint16_t kTsmKeyAngle = 0x0400;
constexpr uint8_t kTsmShapeWeightTarget = 18;

// The further records of a base in memory: a name and twenty-two words.
struct ModelFurtherRecord {
    char* name;
    int32_t words[22];
};

}  // namespace tessel
