// The TSM records after frames and textures: materials with their toon
// records, further records, meshes with their packed vertex data, shapes and
// shape meshes, skin bones and triangle lists; then every mesh's triangle
// records, the normals of frames that ask for them recomputed, and the
// tangent frames. Each reference is checked to name a record of its array
// and each vertex, normal, bone and index to lie inside what it indexes.
#include <cstring>

#include "foundation/math/matrix.h"
#include "models/drawing/model_drawing.h"
#include "models/tsm/tsm_reader_internal.h"
#include "models/util/mesh_utilities.h"

namespace tessel {

namespace {

using namespace tsm_header;

bool TextureIndexValid(const TsmReader* r, int32_t index) {
    return index >= -1 && index < r->base->textureCount;
}

bool FillLayers(TsmReader* r, uint32_t at, int32_t* count, ModelMaterialLayer* layers) {
    *count = static_cast<int32_t>(TsmGetWord(r, at));
    if (*count < 0 || *count > kModelMaterialLayers) {
        return false;
    }
    for (int i = 0; i < *count; ++i) {
        const uint32_t layer = at + 4 + kTsmMaterialLayerStride * i;
        layers[i].texture = static_cast<int32_t>(TsmGetWord(r, layer));
        layers[i].layerWord = static_cast<int32_t>(TsmGetWord(r, layer + 4));
        if (!TextureIndexValid(r, layers[i].texture)) {
            return false;
        }
    }
    return true;
}

bool FillToon(TsmReader* r, uint32_t toon, ModelMaterial* m) {
    if (toon == 0) {
        m->kind = 0;
        m->toonDiffuseTexture = -1;
        m->toonSpecularTexture = -1;
        m->toonSelectors[0] = 2;
        m->toonSelectors[1] = 1;
        m->outlineColour[3] = 1.0f;
        return true;
    }
    if (!TsmRecordInside(r, toon, kTsmToonSize)) {
        return false;
    }
    m->kind = static_cast<int32_t>(TsmGetWord(r, toon));
    m->toonDiffuseTexture = static_cast<int32_t>(TsmGetWord(r, toon + 0x04));
    m->toonSpecularTexture = static_cast<int32_t>(TsmGetWord(r, toon + 0x08));
    m->toonSelectors[0] = static_cast<int32_t>(TsmGetWord(r, toon + 0x0c));
    m->toonSelectors[1] = static_cast<int32_t>(TsmGetWord(r, toon + 0x10));
    m->toonWords[0] = static_cast<int32_t>(TsmGetWord(r, toon + 0x14));
    for (int k = 0; k < 4; ++k) {
        m->outlineColour[k] = TsmGetFloat(r, toon + 0x18 + 4 * k);
    }
    m->toonWords[1] = static_cast<int32_t>(TsmGetWord(r, toon + 0x28));
    return m->kind >= 0 && m->kind <= 2 && TextureIndexValid(r, m->toonDiffuseTexture) &&
           TextureIndexValid(r, m->toonSpecularTexture);
}

bool FillMaterial(TsmReader* r, uint32_t at, ModelMaterial* m) {
    float* colours[4] = {m->diffuse, m->ambient, m->specular, m->emissive};
    for (int c = 0; c < 4; ++c) {
        for (int k = 0; k < 4; ++k) {
            colours[c][k] = TsmGetFloat(r, at + 0x10 + 16 * c + 4 * k);
        }
    }
    m->power = TsmGetFloat(r, at + 0x50);
    m->word = static_cast<int32_t>(TsmGetWord(r, at + 0x54));
    for (int k = 0; k < 5; ++k) {
        m->words[k] = static_cast<int32_t>(TsmGetWord(r, at + 0x2a4 + 4 * k));
    }
    return TsmName(r, TsmGetWord(r, at + 0x08), &m->name) &&
           FillLayers(r, at + kTsmDiffuseLayers, &m->diffuseLayerCount, m->diffuseLayers) &&
           FillLayers(r, at + kTsmSpecularLayers, &m->specularLayerCount, m->specularLayers) &&
           FillLayers(r, at + kTsmNormalLayers, &m->normalLayerCount, m->normalLayers) &&
           FillToon(r, TsmGetWord(r, at + 0x2c8), m);
}

bool FillFurther(TsmReader* r, uint32_t at, ModelFurtherRecord* f) {
    for (int k = 0; k < 22; ++k) {
        f->words[k] = static_cast<int32_t>(TsmGetWord(r, at + 0x0c + 4 * k));
    }
    return TsmName(r, TsmGetWord(r, at + 0x08), &f->name);
}

uint32_t ReadIndex(TsmCursor* in, int width) {
    switch (width) {
        case 1:
            return TsmReadU8(in);
        case 2:
            return TsmReadU16(in);
        default:
            return TsmReadU32(in);
    }
}

// The mesh's vertex records: position and normal indices of its frame,
// colours (shared or each its own), texture coordinates, then flag bits.
bool DecodeMeshVertices(TsmReader* r, uint32_t data, uint32_t flags, ModelMesh* mesh) {
    const int width = static_cast<int>(flags & kTsmMeshIndexWidth);
    if (width == 0 || mesh->vertexCount == 0) {
        return mesh->vertexCount == 0;
    }
    const ModelFrame* frame = mesh->frame;
    TsmCursor in = TsmCursorAt(r->body, data);
    const bool shared = (flags & kTsmMeshSharedColours) != 0;
    uint32_t colours[2] = {0, 0};
    if (shared) {
        colours[0] = TsmReadU32(&in);
        colours[1] = TsmReadU32(&in);
    }
    const int coords = mesh->texCoordSetCount * mesh->texCoordComponents;
    for (int32_t v = 0; v < mesh->vertexCount && in.ok != 0; ++v) {
        uint8_t* record = mesh->vertices + size_t(v) * mesh->vertexStride;
        ModelMeshVertex vertex = {};
        vertex.positionIndex = static_cast<int32_t>(ReadIndex(&in, width == 3 ? 4 : width));
        vertex.normalIndex = static_cast<int32_t>(ReadIndex(&in, width == 3 ? 4 : width));
        vertex.diffuse = shared ? colours[0] : TsmReadU32(&in);
        vertex.specular = shared ? colours[1] : TsmReadU32(&in);
        if (static_cast<uint32_t>(vertex.positionIndex) >=
                static_cast<uint32_t>(frame->positionCount) ||
            static_cast<uint32_t>(vertex.normalIndex) >=
                static_cast<uint32_t>(frame->normalCount)) {
            return false;
        }
        if ((vertex.diffuse >> 24) != 0xFF) {
            mesh->translucentColours = 1;
        }
        std::memcpy(record, &vertex, sizeof vertex);
        for (int c = 0; c < coords; ++c) {
            const float value = (flags & kTsmMeshPackedTexCoords) != 0
                                    ? static_cast<float>(TsmReadU16(&in)) / 65535.0f
                                    : TsmReadFloat(&in);
            std::memcpy(record + 20 + 4 * c, &value, 4);
        }
    }
    if ((flags & kTsmMeshFlagBits) != 0) {
        uint8_t bits = 0;
        for (int32_t v = 0; v < mesh->vertexCount; ++v) {
            if (v % 8 == 0) {
                bits = TsmReadU8(&in);
            }
            const uint32_t flag = (bits >> (7 - v % 8)) & 1;
            std::memcpy(mesh->vertices + size_t(v) * mesh->vertexStride + 16, &flag, 4);
        }
    }
    return in.ok != 0;
}

bool FillMesh(TsmReader* r, uint32_t at, ModelMesh* mesh) {
    ModelBase* base = r->base;
    const int32_t frame =
        TsmIndexOf(r, TsmGetWord(r, at + 0x0c), 0x0c, kTsmFrameSize, base->frameCount);
    const int32_t material =
        TsmIndexOf(r, TsmGetWord(r, at + 0x10), 0x0c, kTsmMaterialSize, base->materialCount);
    const uint32_t listCount = TsmGetWord(r, at + 0x30);
    const int32_t list =
        TsmIndexOf(r, TsmGetWord(r, at + 0x34), 0x08, kTsmListSize, base->triangleListCount);
    if (frame < 0 || material == -2 || !TsmRunInside(list, listCount, base->triangleListCount)) {
        return false;
    }
    mesh->frame = &base->frames[frame];
    mesh->material = material >= 0 ? &base->materials[material] : nullptr;
    InitFrameChangeDescriptor(&mesh->drawChange, nullptr,
                              static_cast<int>(TsmGetWord(r, at + 0x14) & 0x7FFFFFFF), 1);
    mesh->word = static_cast<int32_t>(TsmGetWord(r, at + 0x1c));
    mesh->flags = static_cast<int32_t>(TsmGetWord(r, at + 0x20));
    mesh->fileWords[0] = static_cast<int32_t>(TsmGetWord(r, at + 0x24));
    mesh->fileWords[1] = static_cast<int32_t>(TsmGetWord(r, at + 0x28));
    mesh->byte = TsmGetByte(r, at + 0x2c);
    mesh->hasShape = TsmGetByte(r, at + 0x2d);
    mesh->triangleListCount = static_cast<int32_t>(listCount);
    mesh->triangleLists = listCount > 0 ? &base->triangleLists[list] : nullptr;
    mesh->initiallyVisible = TsmGetByte(r, at + 0x38);
    mesh->cullMode = TsmGetByte(r, at + 0x39);
    mesh->texCoordSetCount = TsmGetByte(r, at + 0x3a);
    mesh->texCoordComponents = TsmGetByte(r, at + 0x3b);
    const uint32_t flags = TsmGetWord(r, at + 0x3c);
    const uint32_t vertices = TsmGetWord(r, at + 0x40);
    const uint32_t triangles = TsmGetWord(r, at + 0x44);
    // The drawing has vertex formats for up to six coordinate sets.
    if (mesh->cullMode > 2 || mesh->texCoordSetCount >= kCopyFormatCount ||
        mesh->texCoordComponents > 4 || vertices > r->body.end || triangles > r->body.end) {
        return false;
    }
    mesh->vertexCount = static_cast<int32_t>(vertices);
    mesh->vertexStride = 20 + 4 * mesh->texCoordSetCount * mesh->texCoordComponents;
    mesh->vertices =
        TsmTakeArea(r, kTsmAreaMeshVertices, int64_t{mesh->vertexStride} * mesh->vertexCount);
    // The triangle records are filled once every list is known.
    mesh->triangles = reinterpret_cast<ModelMeshTriangle*>(
        TsmTakeArea(r, kTsmAreaTriangles, 16 * int64_t{triangles}));
    // Until the records are filled the count is the room reserved.
    mesh->triangleCount = static_cast<int32_t>(triangles);
    return r->ok != 0 && DecodeMeshVertices(r, TsmGetWord(r, at + 0x48), flags, mesh);
}

bool FillShape(TsmReader* r, uint32_t at, ModelShape* shape) {
    ModelBase* base = r->base;
    const int32_t frame =
        TsmIndexOf(r, TsmGetWord(r, at + 0x10), 0x0c, kTsmFrameSize, base->frameCount);
    const uint32_t count = TsmGetWord(r, at + 0x14);
    const int32_t first =
        TsmIndexOf(r, TsmGetWord(r, at + 0x18), 0x08, kTsmShapeMeshSize, base->shapeMeshCount);
    if (frame == -2 || !TsmRunInside(first, count, base->shapeMeshCount)) {
        return false;
    }
    shape->frame = frame >= 0 ? &base->frames[frame] : nullptr;
    shape->shapeMeshCount = static_cast<int32_t>(count);
    shape->firstShapeMesh = first >= 0 ? first : 0;
    return TsmName(r, TsmGetWord(r, at + 0x08), &shape->name);
}

bool FillShapeMesh(TsmReader* r, uint32_t at, ModelShapeMesh* shapeMesh) {
    ModelBase* base = r->base;
    const int32_t mesh =
        TsmIndexOf(r, TsmGetWord(r, at + 0x0c), 0x08, kTsmMeshSize, base->meshCount);
    const uint32_t count = TsmGetWord(r, at + 0x14);
    const uint32_t stride = ShapeWord(r, tsm_shapes::kDeltaStride);
    // The models' shape copies exist only for meshes marked as shaped.
    if (mesh < 0 || base->meshes[mesh].hasShape == 0 || count > r->body.end) {
        return false;
    }
    shapeMesh->mesh = &base->meshes[mesh];
    shapeMesh->vertexCount = static_cast<int32_t>(count);
    shapeMesh->data = reinterpret_cast<ModelShapeDelta*>(
        TsmTakeArea(r, kTsmAreaShapeDeltas, int64_t{sizeof(ModelShapeDelta)} * count));
    const uint32_t deltas = TsmGetWord(r, at + 0x18);
    if (r->ok == 0 || (count > 0 && TsmRangeInside(r->body, deltas, count, stride) == 0)) {
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        ModelShapeDelta& d = shapeMesh->data[i];
        const uint32_t from = deltas + i * stride;
        d.meshVertex = static_cast<int32_t>(TsmGetWord(r, from));
        float* parts = &d.position.x;
        for (int k = 0; k < 6; ++k) {
            parts[k] = TsmGetFloat(r, from + 4 + 4 * k);
        }
        if (static_cast<uint32_t>(d.meshVertex) >=
            static_cast<uint32_t>(shapeMesh->mesh->vertexCount)) {
            return false;
        }
    }
    return true;
}

bool FillSkinBones(TsmReader* r) {
    ModelBase* base = r->base;
    const uint32_t first = HeaderWord(r, kSkinBones);
    if (base->skinBoneCount > 0 &&
        TsmRangeInside(r->body, first, base->skinBoneCount, kTsmSkinBoneSize) == 0) {
        return TsmBad("スキンボーン");
    }
    for (int32_t b = 0; b < base->skinBoneCount; ++b) {
        ModelSkinBone& bone = base->skinBones[b];
        const uint32_t at = first + kTsmSkinBoneSize * b;
        float* bind = &bone.bind.m[0][0];
        for (int k = 0; k < 12; ++k) {
            bind[k] = TsmGetFloat(r, at + 0x10 + 4 * k);
        }
        bone.boneFrame = static_cast<int32_t>(TsmGetWord(r, at + 0x0c));
        bone.translationOnly = static_cast<int32_t>(TsmGetWord(r, at + 0x40));
        const uint32_t uses = TsmGetWord(r, at + 0x44);
        const int32_t use = uses == 0
                                ? 0
                                : TsmPositionOf(TsmGetWord(r, at + 0x48), HeaderWord(r, kUses), 8,
                                                base->skinBoneUseCount);
        if (bone.boneFrame < 0 || bone.boneFrame >= base->frameCount ||
            !TsmRunInside(use, uses, base->skinBoneUseCount)) {
            return TsmBad("スキンボーン");
        }
        bone.useCount = static_cast<int32_t>(uses);
        bone.uses = uses > 0 ? &base->skinBoneUses[use] : nullptr;
    }
    return true;
}

// The list's bone table (skinned lists) or bone count (free-form), its
// mesh vertex indices and its indices.
bool DecodeList(TsmReader* r, uint32_t data, uint16_t flags, ModelTriangleList* list,
                int32_t listIndex) {
    const ModelMesh* mesh = list->mesh;
    TsmCursor in = TsmCursorAt(r->body, data);
    list->bones = r->listBones + int64_t{kTsmListBones} * listIndex;
    for (int i = 0; i < kTsmListBones; ++i) {
        list->bones[i] = -1;
    }
    if (list->vertexType == 1 || list->vertexType == 2) {
        list->boneCount = TsmReadU16(&in);
        if (list->boneCount > kTsmListBones) {
            return false;
        }
        for (int i = 0; i < list->boneCount; ++i) {
            list->bones[i] = TsmReadU16(&in);
            if (list->bones[i] >= mesh->frame->skinBoneRefCount) {
                return false;
            }
        }
    } else if (list->vertexType == 3) {
        list->freeBoneCount = TsmReadU16(&in);
        // The gathering carries at most 256 weights a vertex.
        if (list->freeBoneCount > 256) {
            return false;
        }
        list->vertexSize = static_cast<uint16_t>(((list->freeBoneCount + 4) * 8 + 15) & ~15);
    }
    const int vertexWidth = 1 << (flags & kTsmListVertexIndexWidth);
    const int indexWidth = ((flags & kTsmListIndexWidth) >> 2) == 0 ? 1 : 2;
    if (vertexWidth > 4) {
        return false;
    }
    for (int32_t v = 0; v < list->vertexCount; ++v) {
        list->meshVertexIndices[v] = ReadIndex(&in, vertexWidth);
        if (list->meshVertexIndices[v] >= static_cast<uint32_t>(mesh->vertexCount)) {
            return false;
        }
    }
    for (int i = 0; i < list->indexCount; ++i) {
        list->indices[i] = static_cast<uint16_t>(ReadIndex(&in, indexWidth));
        if (list->indices[i] >= list->vertexCount) {
            return false;
        }
    }
    return in.ok != 0;
}

bool FillList(TsmReader* r, uint32_t at, int32_t index) {
    ModelBase* base = r->base;
    ModelTriangleList* list = &base->triangleLists[index];
    const int32_t mesh =
        TsmIndexOf(r, TsmGetWord(r, at + 0x0c), 0x08, kTsmMeshSize, base->meshCount);
    list->vertexType = TsmGetHalf(r, at + 0x10);
    const uint16_t flags = TsmGetHalf(r, at + 0x12);
    list->vertexCount = TsmGetHalf(r, at + 0x14);
    list->indexCount = TsmGetHalf(r, at + 0x16);
    if (mesh < 0 || list->vertexType > 3 || list->indexCount % 3 != 0 ||
        list->indexCount > HeaderWord(r, kIndexCount) - static_cast<uint32_t>(r->indexFill)) {
        return false;
    }
    list->mesh = &base->meshes[mesh];
    static const uint16_t kSizes[3] = {32, 48, 64};
    list->vertexSize = list->vertexType < 3 ? kSizes[list->vertexType] : 0;
    list->indices = base->indexArea + r->indexFill;
    list->filteredIndices = base->indexArea + HeaderWord(r, kIndexCount) + r->indexFill;
    r->indexFill += list->indexCount;
    list->meshVertexIndices = reinterpret_cast<uint32_t*>(
        TsmTakeArea(r, kTsmAreaIndexEntries, 4 * int64_t{list->vertexCount}));
    list->positions =
        reinterpret_cast<Vec3*>(TsmTakeArea(r, kTsmAreaGathered, 24 * int64_t{list->vertexCount}));
    list->normals = list->positions != nullptr ? list->positions + list->vertexCount : nullptr;
    if (r->ok == 0 || !DecodeList(r, TsmGetWord(r, at + 0x18), flags, list, index)) {
        return false;
    }
    list->vertices = TsmTakeArea(r, kTsmAreaRigid + list->vertexType,
                                 int64_t{list->vertexSize} * list->vertexCount);
    return r->ok != 0;
}

// Every frame's meshes name it, every mesh's lists name their mesh: the
// models index a mesh's lists and shape copies through the mesh.
bool RunsAgree(const ModelBase* base) {
    for (int32_t i = 0; i < base->frameCount; ++i) {
        const ModelFrame& frame = base->frames[i];
        for (int32_t m = 0; m < frame.meshCount; ++m) {
            if (frame.meshes[m].frame != &frame) {
                return false;
            }
        }
    }
    for (int32_t i = 0; i < base->meshCount; ++i) {
        const ModelMesh& mesh = base->meshes[i];
        for (int32_t l = 0; l < mesh.triangleListCount; ++l) {
            if (mesh.triangleLists[l].mesh != &mesh) {
                return false;
            }
        }
    }
    for (int32_t i = 0; i < base->triangleListCount; ++i) {
        if (base->triangleLists[i].mesh == nullptr) {
            return false;
        }
    }
    return true;
}

// One record per triangle of each of the mesh's lists: its three mesh
// vertices, then its list's vertex type and place in the mesh.
bool FillTriangles(ModelMesh* mesh) {
    const int32_t capacity = mesh->triangleCount;
    mesh->triangleCount = 0;
    for (int32_t l = 0; l < mesh->triangleListCount; ++l) {
        const ModelTriangleList& list = mesh->triangleLists[l];
        for (int i = 0; i + 2 < list.indexCount; i += 3) {
            if (mesh->triangleCount == capacity) {
                return false;
            }
            ModelMeshTriangle& t = mesh->triangles[mesh->triangleCount++];
            for (int k = 0; k < 3; ++k) {
                t.words[k] = static_cast<int32_t>(list.meshVertexIndices[list.indices[i + k]]);
            }
            t.words[3] = list.vertexType | l << 16;
        }
    }
    return true;
}

const ModelMeshVertex* VertexOf(const ModelMesh& mesh, int32_t index) {
    return reinterpret_cast<const ModelMeshVertex*>(mesh.vertices +
                                                    size_t(index) * mesh.vertexStride);
}

Vec3 PositionOf(const ModelFrame& frame, int32_t index) {
    Vec3 p;
    std::memcpy(&p, frame.positions + size_t(index) * frame.positionStride, sizeof p);
    return p;
}

void RecomputeNormals(ModelFrame* frame) {
    for (int32_t n = 0; n < frame->normalCount; ++n) {
        frame->normals[n].normal = Vec3{0.0f, 0.0f, 0.0f};
    }
    for (int32_t m = 0; m < frame->meshCount; ++m) {
        const ModelMesh& mesh = frame->meshes[m];
        for (int32_t t = 0; t < mesh.triangleCount; ++t) {
            const ModelMeshVertex* v[3];
            Vec3 p[3];
            for (int k = 0; k < 3; ++k) {
                v[k] = VertexOf(mesh, mesh.triangles[t].words[k]);
                p[k] = PositionOf(*frame, v[k]->positionIndex);
            }
            const Vec3 a{p[1].x - p[0].x, p[1].y - p[0].y, p[1].z - p[0].z};
            const Vec3 b{p[2].x - p[0].x, p[2].y - p[0].y, p[2].z - p[0].z};
            Vec3 cross;
            Vec3Cross(&cross, &a, &b);
            const Vec3 unit = Vec3Normalised(cross.x, cross.y, cross.z);
            for (int k = 0; k < 3; ++k) {
                Vec3& n = frame->normals[v[k]->normalIndex].normal;
                n = Vec3{n.x + unit.x, n.y + unit.y, n.z + unit.z};
            }
        }
    }
    for (int32_t n = 0; n < frame->normalCount; ++n) {
        Vec3& normal = frame->normals[n].normal;
        normal = Vec3Normalised(normal.x, normal.y, normal.z);
    }
}

bool FinishMeshes(TsmReader* r) {
    ModelBase* base = r->base;
    if (!RunsAgree(base)) {
        return TsmBad("メッシュ");
    }
    for (int32_t i = 0; i < base->meshCount; ++i) {
        if (!FillTriangles(&base->meshes[i])) {
            return TsmBad("メッシュ");
        }
    }
    for (int32_t i = 0; i < base->frameCount; ++i) {
        if (base->frames[i].recomputeNormals != 0) {
            RecomputeNormals(&base->frames[i]);
        }
    }
    for (int32_t i = 0; i < base->meshCount; ++i) {
        if (RebuildTangentFrames(&base->meshes[i]) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool TsmFillRecords(TsmReader* r) {
    ModelBase* base = r->base;
    auto* further = static_cast<ModelFurtherRecord*>(base->readerRecords);
    const uint32_t section = HeaderWord(r, kShapeSection);
    return TsmWalkChain(
               r, HeaderWord(r, kFirstMaterial), base->materialCount, kTsmMaterialSize, 0x0c,
               "マテリアル",
               [&](uint32_t at, int32_t i) { return FillMaterial(r, at, &base->materials[i]); }) &&
           TsmWalkChain(r, HeaderWord(r, kFirstFurther), base->readerRecordCount, kTsmFurtherSize,
                        0x0c, "拡張情報",
                        [&](uint32_t at, int32_t i) { return FillFurther(r, at, &further[i]); }) &&
           TsmWalkChain(
               r, HeaderWord(r, kFirstMesh), base->meshCount, kTsmMeshSize, 0x08, "メッシュ",
               [&](uint32_t at, int32_t i) { return FillMesh(r, at, &base->meshes[i]); }) &&
           (section == 0 || (TsmWalkChain(r, ShapeWord(r, tsm_shapes::kFirstShape),
                                          base->shapeCount, kTsmShapeSize, 0x0c, "シェイプ",
                                          [&](uint32_t at, int32_t i) {
                                              return FillShape(r, at, &base->shapes[i]);
                                          }) &&
                             TsmWalkChain(r, ShapeWord(r, tsm_shapes::kFirstShapeMesh),
                                          base->shapeMeshCount, kTsmShapeMeshSize, 0x08, "シェイプ",
                                          [&](uint32_t at, int32_t i) {
                                              return FillShapeMesh(r, at, &base->shapeMeshes[i]);
                                          }))) &&
           FillSkinBones(r) &&
           TsmWalkChain(r, HeaderWord(r, kFirstList), base->triangleListCount, kTsmListSize, 0x08,
                        "トライアングルリスト",
                        [&](uint32_t at, int32_t i) { return FillList(r, at, i); }) &&
           FinishMeshes(r);
}

}  // namespace tessel
