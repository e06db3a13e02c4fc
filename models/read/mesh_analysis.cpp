// Analysis of one read mesh before the base is sized: which bones move each
// position and face, the face's skinning kind, its material group and, for
// 4- and 8-bone faces, the list of the group it is drawn in; then the mesh's
// share of every size total. Lists hold at most 54 bones and 21844
// triangles; a group holds at most 128 lists of each kind.
#include <cstring>

#include "foundation/memory/log.h"
#include "models/read/conversion_internal.h"

namespace tessel {

namespace {

constexpr int kSoftwareCornerBones = 9;

template <typename T>
T* ChainArray(ReadModel* model, int64_t count) {
    const int64_t bytes = static_cast<int64_t>(sizeof(T)) * (count > 0 ? count : 1);
    if (bytes > INT32_MAX) {
        return nullptr;
    }
    return static_cast<T*>(AllocChainedBlock(static_cast<uint32_t>(bytes), &model->blocks));
}

// Every index a face names lies in its array; false after a log line.
bool CheckFaces(const ReadModelMesh* mesh) {
    // The layers that have coordinates, found once and not for every corner.
    int layers[kReadModelTexLayers];
    int layerCount = 0;
    for (int layer = 0; layer < kReadModelTexLayers; ++layer) {
        if (mesh->texCoords[layer] != nullptr) {
            layers[layerCount++] = layer;
        }
    }
    for (int f = 0; f < mesh->faceCount; ++f) {
        const ReadModelFace& face = mesh->faces[f];
        bool ok = face.cornerCount == 3;
        for (int c = 0; ok && c < 3; ++c) {
            ok = face.corners[c].position >= 0 && face.corners[c].position < mesh->positionCount &&
                 face.corners[c].normal >= 0 && face.corners[c].normal < mesh->normalCount;
            if (ok && mesh->colours != nullptr) {
                ok = face.corners[c].colour >= 0 && face.corners[c].colour < mesh->colourCount;
            }
            for (int i = 0; ok && i < layerCount; ++i) {
                const int t = face.corners[c].texCoord[layers[i]];
                ok = t >= 0 && t < mesh->texCoordCounts[layers[i]];
            }
        }
        if (ok && mesh->materialCount > 0) {
            ok = face.materialIndex >= 0 && face.materialIndex < mesh->materialCount &&
                 mesh->materials[face.materialIndex] != nullptr;
        }
        if (!ok) {
            WriteLogFormat("Read Model Convert Error : 面 %d が範囲外の頂点データを指しています",
                           f);
            return false;
        }
    }
    return true;
}

int GroupOf(const ReadModelMesh* mesh, const ReadModelFace& face) {
    return mesh->materialCount > 0 ? face.materialIndex : 0;
}

// The set bits of a row, ascending.
int RowBits(const BitRowArray& array, int row, uint16_t* out) {
    const uint8_t* bytes = array.rows + static_cast<size_t>(row) * array.bytesPerRow;
    int count = 0;
    for (int i = 0; i < array.bytesPerRow - 1; ++i) {
        uint32_t b = bytes[i];
        while (b != 0) {
            out[count++] = static_cast<uint16_t>(i * 8 + __builtin_ctz(b));
            b &= b - 1;
        }
    }
    return count;
}

bool MarkWeights(ReadModel* model, ReadModelMesh* mesh, MeshWork* work) {
    const int bones = mesh->skinWeightCount;
    work->faceKind = ChainArray<uint8_t>(model, mesh->faceCount);
    work->faceBoneCount = ChainArray<uint16_t>(model, mesh->faceCount);
    if (work->faceKind == nullptr || work->faceBoneCount == nullptr) {
        return WriteLogFormat(
                   "Read Model Convert Error : "
                   "トライアングルタイプ配列格納用メモリの確保に失敗しました") == 0;
    }
    if (InitBitRowArray(&work->positionBones, bones, mesh->positionCount, &model->blocks) != 0) {
        return WriteLogFormat(
                   "Read Model Convert Error : "
                   "頂点へのボーンの影響に関するデータの初期化に失敗しました") == 0;
    }
    if (InitBitRowArray(&work->faceBones, bones, mesh->faceCount, &model->blocks) != 0) {
        return WriteLogFormat(
                   "Read Model Convert Error : "
                   "面へのボーンの影響に関するデータの初期化に失敗しました") == 0;
    }
    for (int b = 0; b < bones; ++b) {
        const ReadModelSkinWeight* weight = mesh->skinWeights[b];
        if (weight == nullptr || (weight->weightCount > 0 && weight->weights == nullptr)) {
            continue;
        }
        for (int i = 0; i < weight->weightCount; ++i) {
            const ReadModelSkinWeightPair& pair = weight->weights[i];
            if (!(pair.weight > 0.0f)) {
                continue;
            }
            if (pair.positionIndex < 0 || pair.positionIndex >= mesh->positionCount) {
                return WriteLogFormat(
                           "Read Model Convert Error : スキンウエイトが範囲外の頂点 %d "
                           "を指しています",
                           pair.positionIndex) == 0;
            }
            SetRowBit(&work->positionBones, pair.positionIndex, b);
        }
    }
    return true;
}

// Face rows, bone counts and kinds; the mesh's most bones on one position.
void ClassifyFaces(const ReadModelMesh* mesh, MeshWork* work, uint16_t* cornerBones) {
    const int rowBytes = work->positionBones.bytesPerRow;
    for (int p = 0; p < mesh->positionCount; ++p) {
        cornerBones[p] = static_cast<uint16_t>(CountBufferBits(
            work->positionBones.rows + static_cast<size_t>(p) * rowBytes, rowBytes));
    }
    for (int f = 0; f < mesh->faceCount; ++f) {
        const ReadModelFace& face = mesh->faces[f];
        uint8_t* row = work->faceBones.rows + static_cast<size_t>(f) * rowBytes;
        int most = 0;
        for (int c = 0; c < 3; ++c) {
            OrRowInto(&work->positionBones, face.corners[c].position, row);
            const int n = cornerBones[face.corners[c].position];
            most = n > most ? n : most;
        }
        work->faceBoneCount[f] = static_cast<uint16_t>(CountBufferBits(row, rowBytes));
        work->faceKind[f] = most == 0                     ? kFaceRigid
                            : most <= 4                   ? kFaceFourBones
                            : most < kSoftwareCornerBones ? kFaceEightBones
                                                          : kFaceSoftware;
    }
}

bool HasBone(const ListSlot& slot, int bone) {
    return (slot.members[bone >> 6] >> (bone & 63) & 1) != 0;
}

void AddBone(ListSlot* slot, int bone) {
    slot->bones[slot->boneCount++] = static_cast<uint16_t>(bone);
    slot->members[bone >> 6] |= uint64_t{1} << (bone & 63);
}

bool HasRoom(const ListSlot& slot) {
    return 3 * (slot.triangles + 1) < 65535;
}

// Adds the face's missing bones one by one; a list that fills up keeps those
// already added. True when the list now holds every bone of the face.
bool TakeBones(ListSlot* slot, const uint16_t* bones, int count) {
    for (int i = 0; i < count; ++i) {
        if (HasBone(*slot, bones[i])) {
            continue;
        }
        if (slot->boneCount == kListBoneLimit) {
            return false;
        }
        AddBone(slot, bones[i]);
    }
    return true;
}

// The list number of the face, or -1 when the group has no room left.
int PlaceFace(ReadModel* model, MaterialGroup* group, int kindSlot, int skinWeights,
              const uint16_t* bones, int count) {
    ListSlot* slots = group->slots[kindSlot];
    int& slotCount = group->slotCount[kindSlot];
    for (int l = 0; l < slotCount; ++l) {
        if (!HasRoom(slots[l])) {
            continue;
        }
        int i = 0;
        while (i < count && HasBone(slots[l], bones[i])) {
            ++i;
        }
        if (i == count) {
            return l;
        }
    }
    for (;;) {
        for (int l = 0; l < slotCount; ++l) {
            if (HasRoom(slots[l]) && TakeBones(&slots[l], bones, count)) {
                return l;
            }
        }
        if (slotCount == kListSlotLimit) {
            return -1;
        }
        ListSlot& fresh = slots[slotCount];
        fresh.members = ChainArray<uint64_t>(model, (skinWeights + 63) / 64);
        if (fresh.members == nullptr) {
            return -2;
        }
        ++slotCount;
    }
}

bool GroupFaces(ReadModel* model, ReadModelMesh* mesh, MeshWork* work) {
    const bool skinned = work->faceKind != nullptr;
    uint16_t bones[3 * 8];
    if (skinned) {
        work->faceList = ChainArray<uint16_t>(model, mesh->faceCount);
        if (work->faceList == nullptr) {
            return WriteLogFormat(
                       "Read Model Convert Error : "
                       "各面とトライアングルリストの関係を保存するメモリ領域の確保に失敗しまし"
                       "た") == 0;
        }
    }
    for (int f = 0; f < mesh->faceCount; ++f) {
        MaterialGroup* group = &work->groups[GroupOf(mesh, mesh->faces[f])];
        const uint8_t kind = skinned ? work->faceKind[f] : kFaceRigid;
        // Faces whose corners carry no weight are drawn rigid with the group.
        ++group->triangles[kind];
        if (kind == kFaceSoftware) {
            const int n = work->faceBoneCount[f];
            group->softwareBones = n > group->softwareBones ? n : group->softwareBones;
            continue;
        }
        if (kind == kFaceRigid) {
            continue;
        }
        const int count = RowBits(work->faceBones, f, bones);
        const int l = PlaceFace(model, group, kind - 1, mesh->skinWeightCount, bones, count);
        if (l == -2) {
            return WriteLogFormat(
                       "Read Model Convert Error : "
                       "トライアングルリストの情報を格納するメモリの確保に失敗しました") == 0;
        }
        if (l < 0) {
            return WriteLogFormat(
                       "Read Model Convert Error : マテリアル %d のトライアングルリストが %d "
                       "を超えました",
                       GroupOf(mesh, mesh->faces[f]), kListSlotLimit) == 0;
        }
        work->faceList[f] = static_cast<uint16_t>(l);
        ++group->slots[kind - 1][l].triangles;
    }
    return true;
}

int TexSetsOf(const ReadModelMesh* mesh, int group) {
    if (mesh->materialCount == 0) {
        return 1;
    }
    int sets = mesh->materials[group]->layers[0].count;
    sets = sets < 1 ? 1 : sets;
    return sets > kReadModelTexLayers ? kReadModelTexLayers : sets;
}

int64_t ListsFor(int64_t triangles) {
    return (3 * triangles + 65534) / 65535;
}

void SizeGroups(const ReadModelMesh* mesh, MeshWork* work, ConversionTotals* totals) {
    int mostBones = 0;
    for (int g = 0; g < work->groupCount; ++g) {
        MaterialGroup& group = work->groups[g];
        group.texSets = TexSetsOf(mesh, g);
        int need = group.softwareBones;
        need = group.slotCount[1] > 0 && need < 8 ? 8 : need;
        need = group.slotCount[0] > 0 && need < 4 ? 4 : need;
        group.bonesPerVertex = need;
        mostBones = need > mostBones ? need : mostBones;
        const int64_t t0 = group.triangles[0], t1 = group.triangles[1];
        const int64_t t2 = group.triangles[2], t3 = group.triangles[3];
        const int64_t all = t0 + t1 + t2 + t3;
        if (all == 0) {
            continue;
        }
        const int64_t softwareStride = AlignUp16((group.softwareBones + 4) * 8);
        totals->region[kRegionRigid] += 32 * 3 * t0;
        totals->region[kRegionFourBones] += 48 * 3 * t1;
        totals->region[kRegionEightBones] += 64 * 3 * t2;
        totals->region[kRegionSoftware] += AlignUp16(softwareStride * 3 * t3);
        totals->region[kRegionMaps] += 4 * 3 * all;
        totals->region[kRegionGathered] += 24 * 3 * all;
        totals->region[kRegionMeshVertices] += 3 * all * (20 + 8 * group.texSets);
        totals->region[kRegionTriangles] += 16 * all;
        group.rigidLists = static_cast<int32_t>(ListsFor(t0));
        group.softwareLists = static_cast<int32_t>(ListsFor(t3));
        totals->lists +=
            group.rigidLists + group.softwareLists + group.slotCount[0] + group.slotCount[1];
        totals->skinnedLists += group.slotCount[0] + group.slotCount[1];
        totals->indices += 3 * all;
        totals->meshes += 1;
        ++work->meshCount;
    }
    work->bonesPerVertex = mostBones;
    totals->region[kRegionNormals] += static_cast<int64_t>(sizeof(ModelNormal)) * mesh->normalCount;
    totals->skinWeights += mesh->skinWeightCount;
    if (mesh->triangleTotal > totals->largestTriangles) {
        totals->largestTriangles = mesh->triangleTotal;
    }
    if (mesh->positionCount > totals->largestPositions) {
        totals->largestPositions = mesh->positionCount;
    }
}

}  // namespace

bool AnalyseReadModelMesh(ReadModel* model, ReadModelMesh* mesh, ConversionTotals* totals) {
    if (!CheckFaces(mesh)) {
        return false;
    }
    auto* work = ChainArray<MeshWork>(model, 1);
    const int groupCount = mesh->materialCount > 0 ? mesh->materialCount : 1;
    MaterialGroup* groups =
        work == nullptr ? nullptr : ChainArray<MaterialGroup>(model, groupCount);
    ListSlot* slots = groups == nullptr
                          ? nullptr
                          : ChainArray<ListSlot>(model, int64_t{2} * kListSlotLimit * groupCount);
    if (slots == nullptr) {
        return WriteLogFormat(
                   "Read Model Convert Error : "
                   "マテリアル毎のポリゴンデータを格納するメモリの確保に失敗しました") == 0;
    }
    for (int g = 0; g < groupCount; ++g) {
        groups[g].slots[0] = slots + 2 * kListSlotLimit * g;
        groups[g].slots[1] = groups[g].slots[0] + kListSlotLimit;
    }
    work->groupCount = groupCount;
    work->groups = groups;
    mesh->groupTables = work;
    if (mesh->skinWeightCount > 0) {
        auto* cornerBones = ChainArray<uint16_t>(model, mesh->positionCount);
        if (cornerBones == nullptr || !MarkWeights(model, mesh, work)) {
            if (cornerBones == nullptr) {
                WriteLogFormat(
                    "Read Model Convert Error : "
                    "トライアングルタイプ配列格納用メモリの確保に失敗しました");
            }
            return false;
        }
        ClassifyFaces(mesh, work, cornerBones);
        mesh->boneBitTables = &work->positionBones;
    }
    if (!GroupFaces(model, mesh, work)) {
        return false;
    }
    SizeGroups(mesh, work, totals);
    return true;
}

}  // namespace tessel
