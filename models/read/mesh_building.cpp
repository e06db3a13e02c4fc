// Building one read mesh into its frame of the base: its normals and
// weighted positions appended to the frame's, its skin bones, one mesh per
// material group with vertex records shared between equal corners, the
// group's triangle lists (rigid, 4-bone, 8-bone, software) with their index
// arrays and source vertices, and the shape meshes of shapes aimed at it.
// Routes: AppendNormals, AppendPositions, AppendSkinBones, BuildGroupMesh
// (MakeVertexRecords, then BuildLists with FillList), BuildShapeMeshes.
#include <cstring>

#include "foundation/memory/log.h"
#include "models/base/base_processing.h"
#include "models/math/model_math.h"
#include "models/read/conversion_internal.h"
#include "models/util/mesh_utilities.h"

namespace tessel {

namespace {

constexpr uint32_t kNoBone = 0xFFFFFFFFu;

struct MeshContext {
    BuildState* state;
    ReadModelFrame* readFrame;
    ModelFrame* frame;
    ReadModelMesh* mesh;
    MeshWork* work;
    int32_t positionOffset;
    int32_t normalOffset;
    int32_t refOffset;
    int32_t firstMesh;  // the base mesh of group 0
};

bool OutOfRoom() {
    WriteLogFormat("Read Model Convert Error : 頂点データの見積もりを超えました");
    return false;
}

bool AppendNormals(MeshContext* c) {
    const ReadModelMesh* mesh = c->mesh;
    auto* out = reinterpret_cast<ModelNormal*>(TakeRegion(
        c->state, kRegionNormals, static_cast<int64_t>(sizeof(ModelNormal)) * mesh->normalCount));
    if (out == nullptr && mesh->normalCount > 0) {
        return OutOfRoom();
    }
    for (int i = 0; i < mesh->normalCount; ++i) {
        out[i] = ModelNormal{mesh->normals[i], {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}};
    }
    c->frame->normalCount += mesh->normalCount;
    return true;
}

// Position, then the (bone, weight) pairs of the bones that move it in bone
// order, the bone numbered by its place in the frame's skin-bone references;
// a record with room left ends with (-1, 0). The pairs are written bone by
// bone straight from the skin weights; a position named twice by one bone
// keeps the later weight.
bool AppendPositions(MeshContext* c) {
    const ReadModelMesh* mesh = c->mesh;
    const int stride = c->frame->positionStride;
    uint8_t* out =
        TakeRegion(c->state, kRegionPositions, static_cast<int64_t>(stride) * mesh->positionCount);
    if (out == nullptr && mesh->positionCount > 0) {
        return OutOfRoom();
    }
    const int limit = c->frame->maxWeights;
    int32_t* counts = c->state->temp;
    for (int p = 0; p < mesh->positionCount; ++p) {
        std::memcpy(out + static_cast<size_t>(p) * stride, &mesh->positions[p], 12);
        counts[p] = 0;
    }
    for (int b = 0; b < mesh->skinWeightCount && limit > 0; ++b) {
        const ReadModelSkinWeight* weight = mesh->skinWeights[b];
        const uint32_t bone = static_cast<uint32_t>(c->refOffset + b);
        const int pairs = weight->weights != nullptr ? weight->weightCount : 0;
        for (int i = 0; i < pairs; ++i) {
            const ReadModelSkinWeightPair& pair = weight->weights[i];
            if (!(pair.weight > 0.0f)) {
                continue;
            }
            uint8_t* record = out + static_cast<size_t>(pair.positionIndex) * stride + 12;
            int32_t& n = counts[pair.positionIndex];
            uint32_t last = 0;
            if (n > 0) {
                std::memcpy(&last, record + 8 * (n - 1), 4);
            }
            if (n > 0 && last == bone) {
                std::memcpy(record + 8 * (n - 1) + 4, &pair.weight, 4);
                continue;
            }
            if (n == limit) {
                continue;
            }
            std::memcpy(record + 8 * n, &bone, 4);
            std::memcpy(record + 8 * n + 4, &pair.weight, 4);
            ++n;
        }
    }
    const float zero = 0.0f;
    for (int p = 0; p < mesh->positionCount; ++p) {
        if (counts[p] < limit) {
            uint8_t* record = out + static_cast<size_t>(p) * stride + 12 + 8 * counts[p];
            std::memcpy(record, &kNoBone, 4);
            std::memcpy(record + 4, &zero, 4);
        }
    }
    c->frame->positionCount += mesh->positionCount;
    return true;
}

bool IsIdentity3x3(const Mat3x4& m) {
    for (int r = 0; r < 3; ++r) {
        for (int k = 0; k < 3; ++k) {
            if (m.m[r][k] != (r == k ? 1.0f : 0.0f)) {
                return false;
            }
        }
    }
    return true;
}

bool AppendSkinBones(MeshContext* c) {
    ModelBase* base = c->state->base;
    for (int b = 0; b < c->mesh->skinWeightCount; ++b) {
        const ReadModelSkinWeight* weight = c->mesh->skinWeights[b];
        if (weight == nullptr || weight->boneFrameIndex < 0 ||
            weight->boneFrameIndex >= base->frameCount) {
            WriteLogFormat(
                "Read Model Convert Error : フレーム %s "
                "のスキニングメッシュのスキンウエイト情報で一致するノードの無いリンク情報がありまし"
                "た",
                c->frame->name);
            return false;
        }
        const int32_t at = c->state->skinBoneFill++;
        ModelSkinBone& bone = base->skinBones[at];
        Transpose4x4To3x4(&bone.bind, &weight->offsetMatrix);
        bone.boneFrame = weight->boneFrameIndex;
        bone.translationOnly = IsIdentity3x3(bone.bind) ? 1 : 0;
        bone.useCount = 1;
        bone.uses = &base->skinBoneUses[at];
        bone.uses->frame = c->frame->index;
        bone.uses->refPosition = -1;
        base->frameSkinBoneRefs[base->frameSkinBoneRefCount++] = &bone;
        ++c->frame->skinBoneRefCount;
    }
    base->skinBoneCount = c->state->skinBoneFill;
    base->skinBoneUseCount = c->state->skinBoneFill;
    return true;
}

uint8_t ColourByte(float c) {
    if (c >= 1.0f) {
        return 255;
    }
    if (c < 0.0f || !(c == c)) {
        return 0;
    }
    return static_cast<uint8_t>(c * 255.0f);
}

uint32_t CornerColour(const ReadModelMesh* mesh, const ReadModelFace& face, int corner) {
    if (mesh->colours == nullptr) {
        return 0xFFFFFFFFu;
    }
    const float* rgba = mesh->colours[face.corners[corner].colour];
    return static_cast<uint32_t>(ColourByte(rgba[3])) << 24 |
           static_cast<uint32_t>(ColourByte(rgba[0])) << 16 |
           static_cast<uint32_t>(ColourByte(rgba[1])) << 8 | ColourByte(rgba[2]);
}

// Work arrays of one group, carved from the conversion's temporary buffer.
struct GroupTemp {
    int32_t* heads;         // per position: its latest record, -1 none
    int32_t* next;          // per record: the previous record of its position
    int32_t* listVertexOf;  // per record: its number in the current list
    int32_t* listStamp;     // per record: the list that numbered it
};

GroupTemp CarveTemp(const MeshContext* c) {
    GroupTemp t;
    int32_t* at = c->state->temp;
    const int64_t records = 3 * static_cast<int64_t>(c->mesh->triangleTotal);
    t.heads = at;
    t.next = at + c->mesh->positionCount;
    t.listVertexOf = t.next + records;
    t.listStamp = t.listVertexOf + records;
    return t;
}

// The mesh vertex of one corner: an equal record made from the same
// position is reused.
int32_t VertexRecord(MeshContext* c, ModelMesh* out, GroupTemp* t, const ReadModelFace& face,
                     int corner, int sets, uint8_t* scratch) {
    const ReadModelMesh* mesh = c->mesh;
    const int position = face.corners[corner].position;
    ModelMeshVertex v;
    v.positionIndex = c->positionOffset + position;
    v.normalIndex = c->normalOffset + face.corners[corner].normal;
    v.diffuse = CornerColour(mesh, face, corner);
    v.specular = 0;
    v.flag = mesh->positionFlags != nullptr ? mesh->positionFlags[position] : 0;
    std::memcpy(scratch, &v, sizeof v);
    for (int s = 0; s < sets; ++s) {
        float uv[2] = {0.0f, 0.0f};
        if (mesh->texCoords[s] != nullptr) {
            const float* entry = mesh->texCoords[s][face.corners[corner].texCoord[s]];
            uv[0] = entry[0];
            uv[1] = entry[1];
        }
        std::memcpy(scratch + 20 + 8 * s, uv, 8);
    }
    if ((v.diffuse >> 24) != 0xFF) {
        out->translucentColours = 1;
    }
    const int stride = out->vertexStride;
    for (int32_t r = t->heads[position]; r != -1; r = t->next[r]) {
        if (std::memcmp(out->vertices + static_cast<size_t>(r) * stride, scratch, stride) == 0) {
            return r;
        }
    }
    const int32_t r = out->vertexCount++;
    std::memcpy(out->vertices + static_cast<size_t>(r) * stride, scratch, stride);
    t->next[r] = t->heads[position];
    t->heads[position] = r;
    return r;
}

bool MakeVertexRecords(MeshContext* c, int g, ModelMesh* out, GroupTemp* t) {
    const ReadModelMesh* mesh = c->mesh;
    const MaterialGroup& group = c->work->groups[g];
    const int64_t triangles = static_cast<int64_t>(group.triangles[0]) + group.triangles[1] +
                              group.triangles[2] + group.triangles[3];
    out->vertexStride = 20 + 8 * group.texSets;
    out->vertices = TakeRegion(c->state, kRegionMeshVertices, 3 * triangles * out->vertexStride);
    out->triangles = reinterpret_cast<ModelMeshTriangle*>(
        TakeRegion(c->state, kRegionTriangles, 16 * triangles));
    if (out->vertices == nullptr || out->triangles == nullptr) {
        return OutOfRoom();
    }
    uint8_t scratch[20 + 8 * kReadModelTexLayers];
    const bool reverse = c->state->model->reverseWinding != 0;
    for (int f = 0; f < mesh->faceCount; ++f) {
        const ReadModelFace& face = mesh->faces[f];
        if ((mesh->materialCount > 0 ? face.materialIndex : 0) != g) {
            continue;
        }
        ModelMeshTriangle& tri = out->triangles[out->triangleCount++];
        for (int k = 0; k < 3; ++k) {
            const int corner = reverse && k > 0 ? 3 - k : k;
            tri.words[k] = VertexRecord(c, out, t, face, corner, group.texSets, scratch);
        }
        const int kind = c->work->faceKind != nullptr ? c->work->faceKind[f] : kFaceRigid;
        const int list = c->work->faceList != nullptr ? c->work->faceList[f] : 0;
        tri.words[3] = kind | list << 16;
    }
    // Only the records made stay taken.
    c->state->regionFill[kRegionMeshVertices] -=
        (3 * triangles - out->vertexCount) * static_cast<int64_t>(out->vertexStride);
    // The chains go with the group; the next group starts from clean heads.
    for (int32_t r = 0; r < out->vertexCount; ++r) {
        const auto* v = reinterpret_cast<const ModelMeshVertex*>(
            out->vertices + static_cast<size_t>(r) * out->vertexStride);
        t->heads[v->positionIndex - c->positionOffset] = -1;
    }
    return true;
}

// What one list takes: triangles of a kind, of a list number (-1: any), up
// to a count.
struct ListPick {
    int kind;
    int number;
    int vertexType;
    int stride;
};

// Fills one list from the mesh's triangles from `first` on; the index of the
// first triangle not taken.
bool FillList(MeshContext* c, ModelMesh* mesh, GroupTemp* t, const ListPick& pick, int* first,
              int softwareBones) {
    BuildState* s = c->state;
    ModelBase* base = s->base;
    ModelTriangleList& list = base->triangleLists[s->listFill];
    const int32_t serial = s->listFill++;
    list.mesh = mesh;
    list.vertexType = static_cast<uint16_t>(pick.vertexType);
    list.vertexSize = static_cast<uint16_t>(pick.stride);
    list.indices = base->indexArea + 2 * static_cast<int64_t>(s->indexFill);
    // Count first: the regions are carved to the list's exact vertex count.
    int taken = 0;
    int vertexCount = 0;
    int end = *first;
    for (; end < mesh->triangleCount; ++end) {
        const ModelMeshTriangle& tri = mesh->triangles[end];
        if ((tri.words[3] & 0xFFFF) != pick.kind ||
            (pick.number >= 0 && (tri.words[3] >> 16) != pick.number)) {
            continue;
        }
        if (pick.number < 0 && taken == kListTriangleLimit) {
            break;
        }
        for (int k = 0; k < 3; ++k) {
            const int32_t r = tri.words[k];
            if (t->listStamp[r] != serial) {
                t->listStamp[r] = serial;
                t->listVertexOf[r] = vertexCount++;
            }
            list.indices[3 * taken + k] = static_cast<uint16_t>(t->listVertexOf[r]);
        }
        ++taken;
    }
    *first = end;
    list.indexCount = static_cast<uint16_t>(3 * taken);
    list.filteredIndices = list.indices + list.indexCount;
    s->indexFill += 3 * taken;
    list.vertexCount = vertexCount;
    list.freeBoneCount = pick.vertexType == 3 ? softwareBones : 0;
    list.vertices = TakeRegion(s, kRegionRigid + pick.vertexType,
                               static_cast<int64_t>(pick.stride) * vertexCount);
    list.meshVertexIndices =
        reinterpret_cast<uint32_t*>(TakeRegion(s, kRegionMaps, 4 * int64_t{vertexCount}));
    list.positions =
        reinterpret_cast<Vec3*>(TakeRegion(s, kRegionGathered, 24 * int64_t{vertexCount}));
    if (vertexCount > 0 && (list.vertices == nullptr || list.meshVertexIndices == nullptr ||
                            list.positions == nullptr)) {
        return OutOfRoom();
    }
    list.normals = list.positions + vertexCount;
    for (int32_t r = 0; r < mesh->vertexCount; ++r) {
        if (t->listStamp[r] == serial) {
            list.meshVertexIndices[t->listVertexOf[r]] = static_cast<uint32_t>(r);
        }
    }
    const ModelFrame* frame = mesh->frame;
    for (int i = 0; i < vertexCount; ++i) {
        const auto* v = reinterpret_cast<const ModelMeshVertex*>(
            mesh->vertices + static_cast<size_t>(list.meshVertexIndices[i]) * mesh->vertexStride);
        std::memcpy(
            &list.positions[i],
            frame->positions + static_cast<size_t>(v->positionIndex) * frame->positionStride, 12);
        list.normals[i] = frame->normals[v->normalIndex].normal;
    }
    GatherMeshVertices(&list);
    FilterFlaggedTriangles(&list);
    ++mesh->triangleListCount;
    return true;
}

void SetListBones(MeshContext* c, ModelTriangleList* list, const ListSlot& slot) {
    BuildState* s = c->state;
    int32_t* bones = s->listBones + kListBoneLimit * static_cast<int64_t>(s->skinnedListFill++);
    for (int i = 0; i < kListBoneLimit; ++i) {
        bones[i] = i < slot.boneCount ? c->refOffset + slot.bones[i] : -1;
    }
    list->bones = bones;
    list->boneCount = slot.boneCount;
}

bool BuildLists(MeshContext* c, int g, ModelMesh* mesh, GroupTemp* t) {
    const MaterialGroup& group = c->work->groups[g];
    mesh->triangleLists = c->state->base->triangleLists + c->state->listFill;
    for (int i = 0; i < mesh->vertexCount; ++i) {
        t->listStamp[i] = -1;
    }
    for (int first = 0, n = 0; n < group.rigidLists; ++n) {
        if (!FillList(c, mesh, t, {kFaceRigid, -1, 0, 32}, &first, 0)) {
            return false;
        }
    }
    for (int kind = 0; kind < 2; ++kind) {
        for (int l = 0; l < group.slotCount[kind]; ++l) {
            int first = 0;
            ModelTriangleList* list = &c->state->base->triangleLists[c->state->listFill];
            const ListPick pick{kind + 1, l, kind + 1, kind == 0 ? 48 : 64};
            // The bones first: gathering looks up each weight's slot.
            SetListBones(c, list, group.slots[kind][l]);
            if (!FillList(c, mesh, t, pick, &first, 0)) {
                return false;
            }
        }
    }
    const int stride = static_cast<int>(AlignUp16((group.softwareBones + 4) * 8));
    for (int first = 0, n = 0; n < group.softwareLists; ++n) {
        if (!FillList(c, mesh, t, {kFaceSoftware, -1, 3, stride}, &first, group.softwareBones)) {
            return false;
        }
    }
    return true;
}

// Shape meshes of the frame's shapes aimed at this read mesh, one per base
// mesh that has a vertex the shape moves.
bool BuildShapeMeshes(MeshContext* c, int meshCount) {
    BuildState* s = c->state;
    ModelBase* base = s->base;
    for (ReadModelShape* shape = c->readFrame->firstShape; shape != nullptr;
         shape = shape->nextInFrame) {
        if (shape->mesh != c->mesh || shape->vertexMap == nullptr) {
            continue;
        }
        ModelShape& record = base->shapes[shape->index];
        for (int m = 0; m < meshCount; ++m) {
            ModelMesh& mesh = base->meshes[c->firstMesh + m];
            auto* data = reinterpret_cast<ModelShapeDelta*>(
                TakeRegion(s, kRegionShapeData,
                           static_cast<int64_t>(sizeof(ModelShapeDelta)) * mesh.vertexCount));
            if (data == nullptr && mesh.vertexCount > 0) {
                return OutOfRoom();
            }
            int count = 0;
            for (int v = 0; v < mesh.vertexCount; ++v) {
                const auto* vertex = reinterpret_cast<const ModelMeshVertex*>(
                    mesh.vertices + static_cast<size_t>(v) * mesh.vertexStride);
                const int at = shape->vertexMap[vertex->positionIndex - c->positionOffset];
                if (at < 0) {
                    continue;
                }
                const ReadModelShapeVertex& sv = shape->vertices[at];
                data[count++] = ModelShapeDelta{
                    v, sv.position, shape->hasNormals != 0 ? sv.normal : Vec3{0.0f, 0.0f, 0.0f}};
            }
            // Only what was written stays taken.
            s->regionFill[kRegionShapeData] -=
                static_cast<int64_t>(sizeof(ModelShapeDelta)) * (mesh.vertexCount - count);
            if (count == 0) {
                continue;
            }
            ModelShapeMesh& shapeMesh = base->shapeMeshes[s->shapeMeshFill];
            shapeMesh.mesh = &mesh;
            shapeMesh.vertexCount = count;
            shapeMesh.data = data;
            if (record.shapeMeshCount++ == 0) {
                record.firstShapeMesh = s->shapeMeshFill;
            }
            ++s->shapeMeshFill;
            base->shapeMeshCount = s->shapeMeshFill;
            if (mesh.hasShape != 0) {
                continue;
            }
            mesh.hasShape = 1;
            base->shapeEntryBytes += 24 * mesh.vertexCount;
            for (int l = 0; l < mesh.triangleListCount; ++l) {
                const ModelTriangleList& list = mesh.triangleLists[l];
                base->shapeVertexBytes[list.vertexType] += list.vertexSize * list.vertexCount;
            }
        }
    }
    return true;
}

}  // namespace

bool BuildReadModelMesh(BuildState* state, ReadModelFrame* readFrame, ModelFrame* frame,
                        ReadModelMesh* mesh) {
    auto* work = static_cast<MeshWork*>(mesh->groupTables);
    if (work == nullptr) {
        return true;
    }
    ModelBase* base = state->base;
    MeshContext c{state,
                  readFrame,
                  frame,
                  mesh,
                  work,
                  frame->positionCount,
                  frame->normalCount,
                  frame->skinBoneRefCount,
                  state->meshFill};
    // The bones first: they refuse a skin weight of no frame before its pairs
    // are read.
    if (!AppendNormals(&c) || !AppendSkinBones(&c) || !AppendPositions(&c)) {
        return false;
    }
    GroupTemp t = CarveTemp(&c);
    for (int p = 0; p < mesh->positionCount; ++p) {
        t.heads[p] = -1;
    }
    int made = 0;
    for (int g = 0; g < work->groupCount; ++g) {
        const MaterialGroup& group = work->groups[g];
        if (group.triangles[0] + group.triangles[1] + group.triangles[2] + group.triangles[3] ==
            0) {
            continue;
        }
        ModelMesh& out = base->meshes[state->meshFill++];
        base->meshCount = state->meshFill;
        if (frame->meshCount++ == 0) {
            frame->meshes = &out;
        }
        out.frame = frame;
        InitFrameChangeDescriptor(&out.drawChange, nullptr, state->changeCounter++, 1);
        out.material =
            mesh->materialCount > 0 ? &base->materials[mesh->materials[g]->index] : nullptr;
        out.texCoordSetCount = group.texSets;
        out.texCoordComponents = 2;
        out.initiallyVisible = 1;
        out.cullMode = 1;
        if (!MakeVertexRecords(&c, g, &out, &t) || !BuildLists(&c, g, &out, &t)) {
            return false;
        }
        ++made;
    }
    return BuildShapeMeshes(&c, made);
}

}  // namespace tessel
