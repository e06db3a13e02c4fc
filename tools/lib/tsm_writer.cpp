// WriteTsmModel: the header and every fixed-size record are laid out first
// (their offsets follow from the counts alone), then each record is filled
// while its packed data (positions, mesh vertices, list tables, shape
// deltas, key data) is appended behind them; the frames' change masks form
// the two data blocks and the names the name block, both placed last.
#include "tools/lib/tsm_writer.h"

#include <cmath>
#include <cstring>
#include <string>

#include "foundation/files/lz.h"
#include "tools/lib/lz_compress.h"

namespace tessel {

namespace {

using namespace tsm_header;

class Body {
  public:
    Body() : bytes_(4, 0) {}
    uint32_t Reserve(uint32_t size) {
        Align();
        const auto at = static_cast<uint32_t>(bytes_.size());
        bytes_.resize(bytes_.size() + size, 0);
        return at;
    }
    uint32_t Here() {
        Align();
        return static_cast<uint32_t>(bytes_.size());
    }
    void Word(uint32_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k) {
            bytes_[at + k] = static_cast<uint8_t>(v >> (8 * k));
        }
    }
    void Half(uint32_t at, uint16_t v) {
        bytes_[at] = static_cast<uint8_t>(v);
        bytes_[at + 1] = static_cast<uint8_t>(v >> 8);
    }
    void Byte(uint32_t at, uint8_t v) { bytes_[at] = v; }
    void Float(uint32_t at, float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        Word(at, bits);
    }
    void Add8(uint8_t v) { bytes_.push_back(v); }
    void Add16(uint16_t v) {
        Add8(static_cast<uint8_t>(v));
        Add8(static_cast<uint8_t>(v >> 8));
    }
    void Add32(uint32_t v) {
        Add16(static_cast<uint16_t>(v));
        Add16(static_cast<uint16_t>(v >> 16));
    }
    void AddFloat(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        Add32(bits);
    }
    void AddIndex(uint32_t v, int bytes) {
        if (bytes == 1) {
            Add8(static_cast<uint8_t>(v));
        } else if (bytes == 2) {
            Add16(static_cast<uint16_t>(v));
        } else {
            Add32(v);
        }
    }
    void AddBytes(const void* data, size_t size) {
        const auto* p = static_cast<const uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + size);
    }
    std::vector<uint8_t>& bytes() { return bytes_; }

  private:
    void Align() {
        while (bytes_.size() % 4 != 0) {
            bytes_.push_back(0);
        }
    }
    std::vector<uint8_t> bytes_;
};

struct Offsets {
    uint32_t frames, materials, toons, textures, meshes, skinBones, uses, refs, lists, shapeSection,
        shapes, shapeMeshes, keySets, anims, animSets;
};

struct Writer {
    const ModelBase* base;
    const TsmWriteOptions* options;
    Body body;
    Offsets at;
    std::string names = std::string(1, '\0');
    std::vector<uint32_t> masks[2];
};

uint32_t Name(Writer* w, const char* text) {
    if (text == nullptr || text[0] == 0) {
        return 0;
    }
    const auto at = static_cast<uint32_t>(w->names.size());
    w->names.append(text);
    w->names.push_back('\0');
    return at;
}

template <typename T>
uint32_t OffsetOf(uint32_t first, uint32_t size, const T* array, const T* record) {
    return record == nullptr ? 0 : first + size * static_cast<uint32_t>(record - array);
}

uint32_t FrameAt(const Writer* w, const ModelFrame* f) {
    return OffsetOf(w->at.frames, kTsmFrameSize, w->base->frames, f);
}
uint32_t MeshAt(const Writer* w, const ModelMesh* m) {
    return OffsetOf(w->at.meshes, kTsmMeshSize, w->base->meshes, m);
}
uint32_t ListAt(const Writer* w, const ModelTriangleList* l) {
    return OffsetOf(w->at.lists, kTsmListSize, w->base->triangleLists, l);
}
uint32_t Next(uint32_t first, uint32_t size, int32_t i, int32_t count) {
    return i + 1 < count ? first + size * static_cast<uint32_t>(i + 1) : 0;
}

uint32_t Aligned4(uint32_t size) {
    return (size + 3) & ~3u;
}

void LayOut(Writer* w) {
    const ModelBase* b = w->base;
    Body& body = w->body;
    body.Reserve(kSize - 4);
    auto n = [](int32_t count) { return static_cast<uint32_t>(count > 0 ? count : 0); };
    w->at.frames = body.Reserve(kTsmFrameSize * n(b->frameCount));
    w->at.materials = body.Reserve(Aligned4(kTsmMaterialSize) * n(b->materialCount));
    w->at.toons = body.Reserve(kTsmToonSize * n(b->materialCount));
    w->at.textures = body.Reserve(kTsmTextureSize * n(b->textureCount));
    w->at.meshes = body.Reserve(kTsmMeshSize * n(b->meshCount));
    w->at.skinBones = body.Reserve(kTsmSkinBoneSize * n(b->skinBoneCount));
    w->at.uses = body.Reserve(8 * n(b->skinBoneUseCount));
    w->at.refs = body.Reserve(4 * n(b->frameSkinBoneRefCount));
    w->at.lists = body.Reserve(kTsmListSize * n(b->triangleListCount));
    const bool shapes = b->shapeCount > 0;
    w->at.shapeSection = shapes ? body.Reserve(tsm_shapes::kSize) : 0;
    w->at.shapes = body.Reserve(kTsmShapeSize * n(b->shapeCount));
    w->at.shapeMeshes = body.Reserve(kTsmShapeMeshSize * n(b->shapeMeshCount));
    w->at.keySets = body.Reserve(kTsmKeySetRefStride * n(b->keySetCount));
    w->at.anims = body.Reserve(kTsmAnimSize * n(b->animCount));
    w->at.animSets = body.Reserve(kTsmAnimSetSize * n(b->animSetCount));
}

uint32_t BitOf(const FrameChangeDescriptor& d) {
    uint32_t bit = 0;
    while (bit < 31 && (d.singleMask >> bit) != 1) {
        ++bit;
    }
    return static_cast<uint32_t>(d.wordIndex) * 32 + bit;
}

// The descriptor's bit and run, and its mask words gathered in one of the
// data blocks (their place there, patched to an offset at the end).
void PutDescriptor(Writer* w, uint32_t at, const FrameChangeDescriptor& d, int block) {
    Body& body = w->body;
    body.Word(at, BitOf(d));
    body.Word(at + 8, static_cast<uint32_t>(d.runWords));
    if (d.maskWords == nullptr) {
        return;
    }
    std::vector<uint32_t>& masks = w->masks[block];
    body.Word(at + 4, 0x80000000u | static_cast<uint32_t>(4 * masks.size()));
    masks.insert(masks.end(), d.maskWords, d.maskWords + d.runWords);
}

uint16_t Quantise01(float value, float scale) {
    const float stored = std::round(value * scale);
    return static_cast<uint16_t>(stored < 0.0f ? 0.0f : stored > 65535.0f ? 65535.0f : stored);
}

// Positions, then the weight pairs of each, then the normals.
void PutPositions(Writer* w, const ModelFrame& f) {
    Body& body = w->body;
    const uint16_t flags = w->options->frameFlags;
    const bool packed = (flags & kTsmPackedPositions) != 0;
    float ranges[6] = {};
    std::vector<float> xyz(3 * static_cast<size_t>(f.positionCount));
    for (int32_t p = 0; p < f.positionCount; ++p) {
        std::memcpy(&xyz[3 * p], f.positions + static_cast<size_t>(p) * f.positionStride, 12);
    }
    for (int k = 0; packed && k < 3; ++k) {
        float low = f.positionCount > 0 ? xyz[k] : 0.0f;
        float high = low;
        for (int32_t p = 0; p < f.positionCount; ++p) {
            low = std::fmin(low, xyz[3 * p + k]);
            high = std::fmax(high, xyz[3 * p + k]);
        }
        ranges[2 * k] = low;
        ranges[2 * k + 1] = high - low;
        body.AddFloat(ranges[2 * k]);
        body.AddFloat(ranges[2 * k + 1]);
    }
    for (int32_t p = 0; p < f.positionCount; ++p) {
        for (int k = 0; k < 3; ++k) {
            const float v = xyz[3 * p + k];
            const float range = ranges[2 * k + 1];
            if (packed) {
                body.Add16(
                    range == 0.0f ? 0 : Quantise01((v - ranges[2 * k]) / range, kTsmPositionScale));
            } else {
                body.AddFloat(v);
            }
        }
    }
    for (int32_t p = 0; p < f.positionCount && (flags & kTsmNoWeights) == 0; ++p) {
        const uint8_t* pairs = f.positions + static_cast<size_t>(p) * f.positionStride + 12;
        for (int i = 0; i < f.maxWeights; ++i) {
            int32_t bone;
            float weight;
            std::memcpy(&bone, pairs + 8 * i, 4);
            std::memcpy(&weight, pairs + 8 * i + 4, 4);
            const bool end = bone < 0;
            if ((flags & kTsmWideBoneIndex) != 0) {
                body.Add16(end ? 0xFFFF : static_cast<uint16_t>(bone));
            } else {
                body.Add8(end ? 0xFF : static_cast<uint8_t>(bone));
            }
            if (end) {
                break;
            }
            if ((flags & kTsmWideWeight) != 0) {
                body.Add16(Quantise01(weight, 65535.0f));
            } else {
                body.Add8(static_cast<uint8_t>(Quantise01(weight, 255.0f)));
            }
        }
    }
    for (int32_t n = 0; n < f.normalCount; ++n) {
        const float* v = &f.normals[n].normal.x;
        for (int k = 0; k < 3; ++k) {
            switch (flags & kTsmNormalBits) {
                case 1:
                    body.Add8(static_cast<uint8_t>(static_cast<int8_t>(std::round(v[k] * 127.0f))));
                    break;
                case 2:
                    body.Add16(
                        static_cast<uint16_t>(static_cast<int16_t>(std::round(v[k] * 32767.0f))));
                    break;
                case 3:
                    body.AddFloat(v[k]);
                    break;
                default:
                    break;
            }
        }
    }
}

void PutFrame(Writer* w, int32_t i) {
    const ModelBase* b = w->base;
    const ModelFrame& f = b->frames[i];
    Body& body = w->body;
    const uint32_t at = FrameAt(w, &f);
    body.Word(at + 0x04, Next(w->at.frames, kTsmFrameSize, i, b->frameCount));
    body.Word(at + 0x08, Name(w, f.name));
    body.Word(at + 0x0c, static_cast<uint32_t>(i));
    PutDescriptor(w, at + 0x10, f.drawChange, 0);
    body.Word(at + 0x1c, static_cast<uint32_t>(f.word4));
    PutDescriptor(w, at + 0x20, f.change, 1);
    body.Word(at + 0x2c, static_cast<uint32_t>(f.word5));
    body.Word(at + 0x30, static_cast<uint32_t>(f.words1[0]));
    body.Word(at + 0x34, static_cast<uint32_t>(f.words1[1]));
    const ModelFrame* links[5] = {f.parent, f.firstChild, f.lastChild, f.nextSibling,
                                  f.prevSibling};
    for (int k = 0; k < 5; ++k) {
        body.Word(at + 0x38 + 4 * k, FrameAt(w, links[k]));
    }
    const float* parts[3] = {&f.translation.x, &f.scale.x, &f.rotation.x};
    for (int p = 0; p < 3; ++p) {
        for (int k = 0; k < 3; ++k) {
            body.Float(at + 0x4c + 12 * p + 4 * k, parts[p][k]);
        }
    }
    body.Word(at + 0x70, static_cast<uint32_t>(f.rotationOrder));
    for (int k = 0; k < 4; ++k) {
        body.Float(at + 0x74 + 4 * k, f.quaternion[k]);
    }
    body.Word(at + 0x84, f.flags);
    for (int k = 0; k < 3; ++k) {
        body.Word(at + 0x88 + 4 * k, static_cast<uint32_t>(f.fileWords[k]));
    }
    body.Word(at + 0x94, static_cast<uint32_t>(f.meshCount));
    body.Word(at + 0x98, f.meshCount > 0 ? MeshAt(w, f.meshes) : 0);
    body.Word(at + 0x9c, static_cast<uint32_t>(f.skinBoneCount));
    body.Word(at + 0xa0, OffsetOf(w->at.skinBones, kTsmSkinBoneSize, b->skinBones,
                                  f.skinBoneCount > 0 ? f.firstSkinBone : nullptr));
    body.Word(at + 0xa4, static_cast<uint32_t>(f.skinBoneRefCount));
    body.Word(at + 0xa8, f.skinBoneRefCount > 0
                             ? w->at.refs + 4 * static_cast<uint32_t>(f.firstSkinBoneRef)
                             : 0);
    body.Half(at + 0xb0, w->options->frameFlags);
    body.Half(at + 0xb2, static_cast<uint16_t>(f.maxWeights));
    body.Float(at + 0xb4, f.smoothingAngle);
    body.Word(at + 0xb8, w->options->recomputeNormals ? 1 : 0);
    body.Word(at + 0xbc, static_cast<uint32_t>(f.positionCount));
    body.Word(at + 0xc0, static_cast<uint32_t>(f.normalCount));
    if (f.positionCount > 0 || f.normalCount > 0) {
        body.Word(at + 0xc4, body.Here());
        PutPositions(w, f);
    }
    if (f.shapeCount > 0) {
        const uint32_t list = body.Reserve(8);
        body.Word(list, static_cast<uint32_t>(f.shapeCount));
        body.Word(list + 4, OffsetOf(w->at.shapes, kTsmShapeSize, b->shapes, f.firstShape));
        body.Word(at + 0xd8, list);
    }
}

void PutLayers(Writer* w, uint32_t at, int32_t count, const ModelMaterialLayer* layers) {
    w->body.Word(at, static_cast<uint32_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        w->body.Word(at + 4 + kTsmMaterialLayerStride * i,
                     static_cast<uint32_t>(layers[i].texture));
        w->body.Word(at + 8 + kTsmMaterialLayerStride * i,
                     static_cast<uint32_t>(layers[i].layerWord));
    }
}

void PutMaterial(Writer* w, int32_t i) {
    const ModelMaterial& m = w->base->materials[i];
    Body& body = w->body;
    const uint32_t stride = Aligned4(kTsmMaterialSize);
    const uint32_t at = w->at.materials + stride * static_cast<uint32_t>(i);
    body.Word(at + 0x04, Next(w->at.materials, stride, i, w->base->materialCount));
    body.Word(at + 0x08, Name(w, m.name));
    body.Word(at + 0x0c, static_cast<uint32_t>(i));
    const float* colours[4] = {m.diffuse, m.ambient, m.specular, m.emissive};
    for (int c = 0; c < 4; ++c) {
        for (int k = 0; k < 4; ++k) {
            body.Float(at + 0x10 + 16 * c + 4 * k, colours[c][k]);
        }
    }
    body.Float(at + 0x50, m.power);
    body.Word(at + 0x54, static_cast<uint32_t>(m.word));
    PutLayers(w, at + kTsmDiffuseLayers, m.diffuseLayerCount, m.diffuseLayers);
    PutLayers(w, at + kTsmSpecularLayers, m.specularLayerCount, m.specularLayers);
    PutLayers(w, at + kTsmNormalLayers, m.normalLayerCount, m.normalLayers);
    for (int k = 0; k < 5; ++k) {
        body.Word(at + 0x2a4 + 4 * k, static_cast<uint32_t>(m.words[k]));
    }
    const uint32_t toon = w->at.toons + kTsmToonSize * static_cast<uint32_t>(i);
    body.Word(at + 0x2c8, toon);
    body.Word(toon, static_cast<uint32_t>(m.kind));
    body.Word(toon + 0x04, static_cast<uint32_t>(m.toonDiffuseTexture));
    body.Word(toon + 0x08, static_cast<uint32_t>(m.toonSpecularTexture));
    body.Word(toon + 0x0c, static_cast<uint32_t>(m.toonSelectors[0]));
    body.Word(toon + 0x10, static_cast<uint32_t>(m.toonSelectors[1]));
    body.Word(toon + 0x14, static_cast<uint32_t>(m.toonWords[0]));
    for (int k = 0; k < 4; ++k) {
        body.Float(toon + 0x18 + 4 * k, m.outlineColour[k]);
    }
    body.Word(toon + 0x28, static_cast<uint32_t>(m.toonWords[1]));
}

void PutTexture(Writer* w, int32_t i) {
    const ModelTexture& t = w->base->textures[i];
    Body& body = w->body;
    const uint32_t at = w->at.textures + kTsmTextureSize * static_cast<uint32_t>(i);
    body.Word(at + 0x04, Next(w->at.textures, kTsmTextureSize, i, w->base->textureCount));
    body.Word(at + 0x08, Name(w, t.name));
    body.Word(at + 0x10, Name(w, t.colourFile));
    body.Word(at + 0x14, Name(w, t.alphaFile));
    body.Word(at + 0x18, static_cast<uint32_t>(t.conversionFlags));
    body.Float(at + 0x1c, t.conversionValue);
    body.Word(at + 0x20, static_cast<uint32_t>(t.addressU));
    body.Word(at + 0x24, static_cast<uint32_t>(t.addressV));
    body.Word(at + 0x28, static_cast<uint32_t>(t.filterMode));
    body.Byte(at + 0x34, static_cast<uint8_t>(t.flagByte));
}

int IndexBytes(uint32_t width) {
    return width == 3 ? 4 : static_cast<int>(width);
}

void PutMeshVertices(Writer* w, const ModelMesh& m) {
    Body& body = w->body;
    const uint32_t flags = w->options->meshFlags;
    const int width = IndexBytes(flags & kTsmMeshIndexWidth);
    auto vertex = [&m](int32_t v) {
        return reinterpret_cast<const ModelMeshVertex*>(m.vertices +
                                                        static_cast<size_t>(v) * m.vertexStride);
    };
    if ((flags & kTsmMeshSharedColours) != 0) {
        body.Add32(m.vertexCount > 0 ? vertex(0)->diffuse : 0);
        body.Add32(m.vertexCount > 0 ? vertex(0)->specular : 0);
    }
    const int coords = m.texCoordSetCount * m.texCoordComponents;
    for (int32_t v = 0; v < m.vertexCount; ++v) {
        const ModelMeshVertex* record = vertex(v);
        body.AddIndex(static_cast<uint32_t>(record->positionIndex), width);
        body.AddIndex(static_cast<uint32_t>(record->normalIndex), width);
        if ((flags & kTsmMeshSharedColours) == 0) {
            body.Add32(record->diffuse);
            body.Add32(record->specular);
        }
        for (int c = 0; c < coords; ++c) {
            float value;
            std::memcpy(&value, reinterpret_cast<const uint8_t*>(record) + 20 + 4 * c, 4);
            if ((flags & kTsmMeshPackedTexCoords) != 0) {
                body.Add16(Quantise01(value, 65535.0f));
            } else {
                body.AddFloat(value);
            }
        }
    }
    if ((flags & kTsmMeshFlagBits) != 0) {
        for (int32_t v = 0; v < m.vertexCount; v += 8) {
            uint8_t bits = 0;
            for (int k = 0; k < 8 && v + k < m.vertexCount; ++k) {
                bits |= static_cast<uint8_t>((vertex(v + k)->flag != 0 ? 1 : 0) << (7 - k));
            }
            body.Add8(bits);
        }
    }
}

void PutMesh(Writer* w, int32_t i) {
    const ModelBase* b = w->base;
    const ModelMesh& m = b->meshes[i];
    Body& body = w->body;
    const uint32_t at = MeshAt(w, &m);
    body.Word(at + 0x04, Next(w->at.meshes, kTsmMeshSize, i, b->meshCount));
    body.Word(at + 0x08, static_cast<uint32_t>(i));
    body.Word(at + 0x0c, FrameAt(w, m.frame));
    body.Word(at + 0x10,
              m.material == nullptr
                  ? 0
                  : w->at.materials + Aligned4(kTsmMaterialSize) *
                                          static_cast<uint32_t>(m.material - b->materials));
    body.Word(at + 0x14, BitOf(m.drawChange));
    body.Word(at + 0x1c, static_cast<uint32_t>(m.word));
    body.Word(at + 0x20, static_cast<uint32_t>(m.flags));
    body.Word(at + 0x24, static_cast<uint32_t>(m.fileWords[0]));
    body.Word(at + 0x28, static_cast<uint32_t>(m.fileWords[1]));
    body.Byte(at + 0x2c, m.byte);
    body.Byte(at + 0x2d, m.hasShape);
    body.Word(at + 0x30, static_cast<uint32_t>(m.triangleListCount));
    body.Word(at + 0x34, m.triangleListCount > 0 ? ListAt(w, m.triangleLists) : 0);
    body.Byte(at + 0x38, m.initiallyVisible);
    body.Byte(at + 0x39, static_cast<uint8_t>(m.cullMode));
    body.Byte(at + 0x3a, static_cast<uint8_t>(m.texCoordSetCount));
    body.Byte(at + 0x3b, static_cast<uint8_t>(m.texCoordComponents));
    body.Word(at + 0x3c, w->options->meshFlags);
    body.Word(at + 0x40, static_cast<uint32_t>(m.vertexCount));
    body.Word(at + 0x44, static_cast<uint32_t>(m.triangleCount));
    body.Word(at + 0x48, body.Here());
    PutMeshVertices(w, m);
}

void PutSkinBones(Writer* w) {
    const ModelBase* b = w->base;
    Body& body = w->body;
    for (int32_t i = 0; i < b->skinBoneCount; ++i) {
        const ModelSkinBone& bone = b->skinBones[i];
        const uint32_t at = w->at.skinBones + kTsmSkinBoneSize * static_cast<uint32_t>(i);
        body.Word(at + 0x04, Next(w->at.skinBones, kTsmSkinBoneSize, i, b->skinBoneCount));
        body.Word(at + 0x0c, static_cast<uint32_t>(bone.boneFrame));
        const float* bind = &bone.bind.m[0][0];
        for (int k = 0; k < 12; ++k) {
            body.Float(at + 0x10 + 4 * k, bind[k]);
        }
        body.Word(at + 0x40, static_cast<uint32_t>(bone.translationOnly));
        body.Word(at + 0x44, static_cast<uint32_t>(bone.useCount));
        body.Word(at + 0x48, bone.useCount > 0 ? w->at.uses + 8 * static_cast<uint32_t>(
                                                                      bone.uses - b->skinBoneUses)
                                               : 0);
    }
    for (int32_t i = 0; i < b->skinBoneUseCount; ++i) {
        body.Word(w->at.uses + 8 * i, static_cast<uint32_t>(b->skinBoneUses[i].frame));
        body.Word(w->at.uses + 8 * i + 4, static_cast<uint32_t>(b->skinBoneUses[i].refPosition));
    }
    for (int32_t i = 0; i < b->frameSkinBoneRefCount; ++i) {
        body.Word(w->at.refs + 4 * i, OffsetOf(w->at.skinBones, kTsmSkinBoneSize, b->skinBones,
                                               b->frameSkinBoneRefs[i]));
    }
}

void PutList(Writer* w, int32_t i) {
    const ModelBase* b = w->base;
    const ModelTriangleList& l = b->triangleLists[i];
    Body& body = w->body;
    const uint32_t at = ListAt(w, &l);
    const uint16_t flags = w->options->listFlags;
    body.Word(at + 0x04, Next(w->at.lists, kTsmListSize, i, b->triangleListCount));
    body.Word(at + 0x08, static_cast<uint32_t>(i));
    body.Word(at + 0x0c, MeshAt(w, l.mesh));
    body.Half(at + 0x10, l.vertexType);
    body.Half(at + 0x12, flags);
    body.Half(at + 0x14, static_cast<uint16_t>(l.vertexCount));
    body.Half(at + 0x16, l.indexCount);
    body.Word(at + 0x18, body.Here());
    if (l.vertexType == 1 || l.vertexType == 2) {
        body.Add16(static_cast<uint16_t>(l.boneCount));
        for (int32_t k = 0; k < l.boneCount; ++k) {
            body.Add16(static_cast<uint16_t>(l.bones[k]));
        }
    } else if (l.vertexType == 3) {
        body.Add16(static_cast<uint16_t>(l.freeBoneCount));
    }
    const int vertexWidth = 1 << (flags & kTsmListVertexIndexWidth);
    const int indexWidth = (flags & kTsmListIndexWidth) != 0 ? 2 : 1;
    for (int32_t v = 0; v < l.vertexCount; ++v) {
        body.AddIndex(l.meshVertexIndices[v], vertexWidth);
    }
    for (int k = 0; k < l.indexCount; ++k) {
        body.AddIndex(l.indices[k], indexWidth);
    }
}

void PutShapes(Writer* w) {
    const ModelBase* b = w->base;
    Body& body = w->body;
    if (w->at.shapeSection == 0) {
        return;
    }
    const uint32_t s = w->at.shapeSection;
    int32_t deltas = 0;
    for (int32_t i = 0; i < b->shapeMeshCount; ++i) {
        deltas += b->shapeMeshes[i].vertexCount;
    }
    body.Word(s + tsm_shapes::kShapeCount, static_cast<uint32_t>(b->shapeCount));
    body.Word(s + tsm_shapes::kFirstShape, w->at.shapes);
    body.Word(s + tsm_shapes::kShapeMeshCount, static_cast<uint32_t>(b->shapeMeshCount));
    body.Word(s + tsm_shapes::kFirstShapeMesh, b->shapeMeshCount > 0 ? w->at.shapeMeshes : 0);
    body.Word(s + tsm_shapes::kDeltaCount, static_cast<uint32_t>(deltas));
    body.Word(s + tsm_shapes::kEntryCount, static_cast<uint32_t>(b->shapeEntryBytes / 24));
    body.Word(s + tsm_shapes::kDeltaStride, kTsmDeltaSize);
    const int32_t per[4] = {32, 48, 64, 1};
    for (int k = 0; k < 4; ++k) {
        body.Word(s + tsm_shapes::kCopyCounts + 4 * k,
                  static_cast<uint32_t>(b->shapeVertexBytes[k] / per[k]));
    }
    for (int32_t i = 0; i < b->shapeCount; ++i) {
        const ModelShape& shape = b->shapes[i];
        const uint32_t at = w->at.shapes + kTsmShapeSize * static_cast<uint32_t>(i);
        body.Word(at + 0x04, Next(w->at.shapes, kTsmShapeSize, i, b->shapeCount));
        body.Word(at + 0x08, Name(w, shape.name));
        body.Word(at + 0x0c, static_cast<uint32_t>(i));
        body.Word(at + 0x10, FrameAt(w, shape.frame));
        body.Word(at + 0x14, static_cast<uint32_t>(shape.shapeMeshCount));
        body.Word(at + 0x18, shape.shapeMeshCount > 0
                                 ? w->at.shapeMeshes + kTsmShapeMeshSize * static_cast<uint32_t>(
                                                                               shape.firstShapeMesh)
                                 : 0);
    }
    for (int32_t i = 0; i < b->shapeMeshCount; ++i) {
        const ModelShapeMesh& sm = b->shapeMeshes[i];
        const uint32_t at = w->at.shapeMeshes + kTsmShapeMeshSize * static_cast<uint32_t>(i);
        body.Word(at + 0x04, Next(w->at.shapeMeshes, kTsmShapeMeshSize, i, b->shapeMeshCount));
        body.Word(at + 0x08, static_cast<uint32_t>(i));
        body.Word(at + 0x0c, MeshAt(w, sm.mesh));
        body.Word(at + 0x14, static_cast<uint32_t>(sm.vertexCount));
        body.Word(at + 0x18, body.Here());
        body.AddBytes(sm.data, sizeof(ModelShapeDelta) * static_cast<size_t>(sm.vertexCount));
    }
}

int KeyFloats(uint8_t kind) {
    return kind == 0 || kind == 7 ? 4 : kind == 1 ? 3 : 1;
}

uint16_t Quantised(float value, const uint8_t quantiser[2]) {
    float base = 0.0f;
    float step = 1.0f;
    DecodeTsmQuantiser(quantiser[0], quantiser[1], &base, &step);
    return step == 0.0f ? 0 : Quantise01((value - base) / step, 1.0f);
}

void PutKeyData(Writer* w, const ModelKeySet& k, uint16_t flags) {
    Body& body = w->body;
    const TsmWriteOptions& o = *w->options;
    if (k.target == kTsmShapeWeightTarget) {
        body.Add16(static_cast<uint16_t>(k.shapeIndex));
    }
    if ((flags & kTsmKeyOne) == 0) {
        body.AddIndex(static_cast<uint32_t>(k.keyCount), (flags & kTsmKeyCountByte) != 0 ? 1
                                                         : (flags & kTsmKeyCount16) != 0 ? 2
                                                                                         : 4);
        if ((flags & kTsmKeyEven) != 0) {
            if ((flags & kTsmKeyStart16) != 0) {
                body.Add16(static_cast<uint16_t>(k.startTime));
            } else if ((flags & kTsmKeyStartZero) == 0) {
                body.AddFloat(k.startTime);
            }
            if ((flags & kTsmKeyStep16) != 0) {
                body.Add16(static_cast<uint16_t>(k.timeStep));
            } else {
                body.AddFloat(k.timeStep);
            }
        } else {
            if ((flags & kTsmKeyTimesQuantised) != 0) {
                body.Add8(o.timeQuantiser[0]);
                body.Add8(o.timeQuantiser[1]);
            }
            for (int32_t i = 0; i < k.keyCount; ++i) {
                if ((flags & kTsmKeyTimesQuantised) != 0) {
                    body.Add16(Quantised(k.times[i], o.timeQuantiser));
                } else {
                    body.AddFloat(k.times[i]);
                }
            }
        }
    }
    const auto* values = static_cast<const float*>(k.values);
    const int64_t floats = int64_t{KeyFloats(k.kind)} * k.keyCount;
    const bool packed = (flags & kTsmKeyValuesPacked) != 0;
    const bool angles = (flags & (kTsmKeyAngle | kTsmKeyAngleSigned)) != 0;
    if (packed && !angles) {
        body.Add8(o.valueQuantiser[0]);
        body.Add8(o.valueQuantiser[1]);
    }
    for (int64_t i = 0; i < floats; ++i) {
        if (!packed) {
            body.AddFloat(values[i]);
        } else if (angles) {
            const float shifted =
                (flags & kTsmKeyAngleSigned) != 0 ? values[i] + 3.1415927f : values[i];
            body.Add16(Quantise01(shifted / 6.2831855f, 65535.0f));
        } else {
            body.Add16(Quantised(values[i], o.valueQuantiser));
        }
    }
}

// The options' flags as they apply to one key set.
uint16_t KeyFlags(const TsmWriteOptions& o, const ModelKeySet& k) {
    if (o.singleKeyShort && k.keyCount == 1 && k.hasTimeTable == 0 && k.timeStep == 1.0f &&
        k.startTime == 0.0f) {
        return kTsmKeyOne |
               (o.keyFlags & (kTsmKeyValuesPacked | kTsmKeyAngle | kTsmKeyAngleSigned));
    }
    uint16_t flags = o.keyFlags & ~(kTsmKeyOne | kTsmKeyEven);
    if (k.hasTimeTable == 0) {
        flags = (flags & ~kTsmKeyTimesQuantised) | kTsmKeyEven;
    } else {
        flags &= ~(kTsmKeyStart16 | kTsmKeyStartZero | kTsmKeyStep16);
    }
    return flags;
}

void PutAnimations(Writer* w) {
    const ModelBase* b = w->base;
    Body& body = w->body;
    for (int32_t i = 0; i < b->keySetCount; ++i) {
        const ModelKeySet& k = b->keySets[i];
        const uint32_t at = w->at.keySets + kTsmKeySetRefStride * static_cast<uint32_t>(i);
        const uint16_t flags = KeyFlags(*w->options, k);
        body.Byte(at, k.kind);
        body.Byte(at + 1, k.target);
        body.Half(at + 2, flags);
        body.Word(at + 4, body.Here());
        PutKeyData(w, k, flags);
    }
    for (int32_t s = 0; s < b->animSetCount; ++s) {
        const ModelAnimSet& set = b->animSets[s];
        const uint32_t at = w->at.animSets + kTsmAnimSetSize * static_cast<uint32_t>(s);
        body.Word(at + 0x04, Next(w->at.animSets, kTsmAnimSetSize, s, b->animSetCount));
        body.Word(at + 0x08, Name(w, set.name));
        body.Word(at + 0x0c, static_cast<uint32_t>(s));
        body.Float(at + 0x10, set.length);
        body.Word(at + 0x14, static_cast<uint32_t>(set.animCount));
        body.Word(at + 0x18,
                  set.animCount > 0 ? OffsetOf(w->at.anims, kTsmAnimSize, b->anims, set.anims) : 0);
        body.Word(at + 0x2c, (set.additive != 0 ? 1u : 0u) | (set.matrixMode != 0 ? 2u : 0u));
        for (int32_t a = 0; a < set.animCount; ++a) {
            const ModelAnim& anim = set.anims[a];
            const uint32_t to = OffsetOf(w->at.anims, kTsmAnimSize, b->anims, &anim);
            body.Word(to + 0x04, at);
            body.Word(to + 0x08, static_cast<uint32_t>(anim.frame));
            body.Word(to + 0x0c, static_cast<uint32_t>(anim.keySetCount));
            body.Word(to + 0x10, static_cast<uint32_t>(anim.flag));
            body.Word(to + 0x18, anim.keySetCount > 0 ? OffsetOf(w->at.keySets, kTsmKeySetRefStride,
                                                                 b->keySets, anim.keySets)
                                                      : 0);
        }
    }
}

// The mask words' places become offsets once the data blocks are placed.
void PlaceBlocks(Writer* w) {
    Body& body = w->body;
    uint32_t blockAt[2];
    for (int k = 0; k < 2; ++k) {
        blockAt[k] = body.Here();
        for (uint32_t word : w->masks[k]) {
            body.Add32(word);
        }
        body.Word(kDataBlockSize + 4 * k, static_cast<uint32_t>(4 * w->masks[k].size()));
        body.Word(kDataBlockOffset + 4 * k, w->masks[k].empty() ? 0 : blockAt[k]);
    }
    for (int32_t i = 0; i < w->base->frameCount; ++i) {
        const uint32_t at = FrameAt(w, &w->base->frames[i]);
        for (int k = 0; k < 2; ++k) {
            int32_t stored;
            std::memcpy(&stored, body.bytes().data() + at + 0x14 + 0x10 * k, 4);
            if (stored != 0) {
                body.Word(at + 0x14 + 0x10 * k,
                          blockAt[k] + (static_cast<uint32_t>(stored) & 0x7FFFFFFFu));
            }
        }
    }
}

void PutHeader(Writer* w) {
    const ModelBase* b = w->base;
    Body& body = w->body;
    auto n = [](int32_t count) { return static_cast<uint32_t>(count > 0 ? count : 0); };
    body.Word(kFlags, b->flags);
    body.Word(kFrameCount, n(b->frameCount));
    body.Word(kFirstFrame, b->frameCount > 0 ? w->at.frames : 0);
    body.Word(kTopFrameCount, n(b->topFrameCount));
    body.Word(kFirstTopFrame, FrameAt(w, b->firstTopFrame));
    body.Word(kLastTopFrame, FrameAt(w, b->lastTopFrame));
    body.Word(kSkinRefCount, n(b->frameSkinBoneRefCount));
    body.Word(kSkinRefs, w->at.refs);
    body.Word(kMaterialCount, n(b->materialCount));
    body.Word(kFirstMaterial, w->at.materials);
    body.Word(kTextureCount, n(b->textureCount));
    body.Word(kFirstTexture, w->at.textures);
    body.Word(kMeshCount, n(b->meshCount));
    body.Word(kFirstMesh, w->at.meshes);
    body.Word(kSkinBoneCount, n(b->skinBoneCount));
    body.Word(kSkinBones, w->at.skinBones);
    body.Word(kUseCount, n(b->skinBoneUseCount));
    body.Word(kUses, w->at.uses);
    body.Word(kListCount, n(b->triangleListCount));
    body.Word(kFirstList, w->at.lists);
    uint32_t kinds[4] = {};
    uint32_t entries = 0;
    uint32_t indices = 0;
    for (int32_t i = 0; i < b->triangleListCount; ++i) {
        const ModelTriangleList& l = b->triangleLists[i];
        kinds[l.vertexType < 3 ? l.vertexType : 3] +=
            l.vertexType < 3 ? n(l.vertexCount) : n(l.vertexCount) * l.vertexSize;
        entries += n(l.vertexCount);
        indices += l.indexCount;
    }
    uint32_t positionBytes = 0;
    uint32_t normals = 0;
    for (int32_t i = 0; i < b->frameCount; ++i) {
        positionBytes += n(b->frames[i].positionCount) * n(b->frames[i].positionStride);
        normals += n(b->frames[i].normalCount);
    }
    uint32_t meshBytes = 0;
    uint32_t triangles = 0;
    for (int32_t i = 0; i < b->meshCount; ++i) {
        meshBytes += n(b->meshes[i].vertexCount) * n(b->meshes[i].vertexStride);
        triangles += n(b->meshes[i].triangleCount);
    }
    body.Word(kRigidVertices, kinds[0]);
    body.Word(kFourBoneVertices, kinds[1]);
    body.Word(kEightBoneVertices, kinds[2]);
    body.Word(kFreeFormBytes, kinds[3]);
    body.Word(kPositionBytes, positionBytes);
    body.Word(kNormalCount, normals);
    body.Word(kMeshVertexBytes, meshBytes);
    body.Word(kTriangleCount, triangles);
    body.Word(kIndexEntryCount, entries);
    body.Word(kIndexCount, indices);
    body.Word(kFileWords, static_cast<uint32_t>(b->fileWords[0]));
    body.Word(kFileWords + 4, static_cast<uint32_t>(b->fileWords[1]));
    uint32_t keyBytes = 0;
    for (int32_t i = 0; i < b->keySetCount; ++i) {
        const ModelKeySet& k = b->keySets[i];
        keyBytes += 4 * n(k.keyCount) * (KeyFloats(k.kind) + (k.hasTimeTable != 0 ? 1 : 0));
    }
    body.Word(kKeyDataBytes, keyBytes);
    body.Word(kKeySetCount, n(b->keySetCount));
    body.Word(kKeySetStride, kTsmKeySetRefStride);
    body.Word(kFirstKeySet, w->at.keySets);
    body.Word(kAnimCount, n(b->animCount));
    body.Word(kAnimStride, kTsmAnimSize);
    body.Word(kFirstAnim, w->at.anims);
    body.Word(kAnimSetCount, n(b->animSetCount));
    body.Word(kFirstAnimSet, w->at.animSets);
    body.Word(kShapeSection, w->at.shapeSection);
}

}  // namespace

int WriteTsmModel(const ModelBase* base, const TsmWriteOptions& options,
                  std::vector<uint8_t>* file) {
    Writer w;
    w.base = base;
    w.options = &options;
    LayOut(&w);
    for (int32_t i = 0; i < base->frameCount; ++i) {
        PutFrame(&w, i);
    }
    for (int32_t i = 0; i < base->materialCount; ++i) {
        PutMaterial(&w, i);
    }
    for (int32_t i = 0; i < base->textureCount; ++i) {
        PutTexture(&w, i);
    }
    for (int32_t i = 0; i < base->meshCount; ++i) {
        PutMesh(&w, i);
    }
    PutSkinBones(&w);
    for (int32_t i = 0; i < base->triangleListCount; ++i) {
        PutList(&w, i);
    }
    PutShapes(&w);
    PutAnimations(&w);
    PlaceBlocks(&w);
    PutHeader(&w);
    const uint32_t names = w.body.Here();
    w.body.AddBytes(w.names.data(), w.names.size());
    w.body.Word(kNameBlockSize, static_cast<uint32_t>(w.names.size()));
    w.body.Word(kNameBlock, names);
    return PackTsmBody(w.body.bytes(), file);
}

int PackTsmBody(const std::vector<uint8_t>& body, std::vector<uint8_t>* file, int level) {
    std::vector<uint8_t> packed;
    if (body.size() < 4 || LzCompress(body.data() + 4, body.size() - 4, &packed, level) != 0) {
        return -1;
    }
    file->assign({'T', 'S', 'M', '1'});
    file->insert(file->end(), packed.begin(), packed.end());
    return 0;
}

int ExpandTsmFile(const std::vector<uint8_t>& file, std::vector<uint8_t>* body) {
    if (file.size() < 4) {
        return -1;
    }
    const auto packedSize = static_cast<uint32_t>(file.size() - 4);
    const int size = LzExpand(file.data() + 4, packedSize, nullptr, 0xFFFFFFF0u);
    if (size < 0) {
        return -1;
    }
    body->assign(4 + static_cast<size_t>(size), 0);
    return LzExpand(file.data() + 4, packedSize, body->data() + 4, static_cast<uint32_t>(size)) ==
                   size
               ? 0
               : -1;
}

}  // namespace tessel
