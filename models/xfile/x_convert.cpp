// Turning a parsed .x object tree into a read model, in passes over the
// object list: links between objects (materials of a list, parts of a mesh,
// meshes of a frame, keys and targets of animations), then materials,
// frames, meshes and animation sets. Indices from the file are checked here
// against the arrays they name, so the read model only ever holds indices
// that stay inside their mesh.
//
// Routes: links (LinkObjects, LinkAnimationSet); materials (ConvertMaterial);
// frames (ConvertFrame); meshes (ConvertMesh with its faces, skin weights
// and vertex colours); animation sets (ConvertAnimationSet, ConvertKeys).
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "foundation/base/text.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "models/read/read_model.h"
#include "models/util/model_containers.h"
#include "models/xfile/x_parse_internal.h"

namespace tessel {

namespace {

using FrameIndex = std::unordered_map<std::string_view, XObject*>;

XObject* FirstChild(const XObject* object, int type) {
    for (XObject* c = object->firstChild; c != nullptr; c = c->nextSibling) {
        if (c->type == type) {
            return c;
        }
    }
    return nullptr;
}

int32_t CountChildren(const XObject* object, int type) {
    int32_t count = 0;
    for (const XObject* c = object->firstChild; c != nullptr; c = c->nextSibling) {
        count += c->type == type ? 1 : 0;
    }
    return count;
}

// Children and references of the type in file order (references the object
// made, not those made to it); their number. The first `room` go to out.
int32_t CollectInOrder(const XObject* object, int type, XObject** out, int32_t room) {
    int32_t count = 0;
    int32_t r = 0;
    int32_t k = 0;
    for (XObject* c = object->firstChild;; c = c->nextSibling, ++k) {
        for (; r < object->referenceCount && (c == nullptr || object->references[r].order <= k);
             ++r) {
            const XReference& reference = object->references[r];
            if (reference.name != nullptr && reference.object != nullptr &&
                reference.object->type == type) {
                if (count < room) {
                    out[count] = reference.object;
                }
                ++count;
            }
        }
        if (c == nullptr) {
            return count;
        }
        if (c->type == type) {
            if (count < room) {
                out[count] = c;
            }
            ++count;
        }
    }
}

XObject* FirstInOrder(const XObject* object, int type) {
    XObject* first = nullptr;
    CollectInOrder(object, type, &first, 1);
    return first;
}

template <typename T>
T* TreeArray(XObjectTree* tree, int64_t count, const char* line) {
    auto* array = static_cast<T*>(XChainArray(tree, count, sizeof(T)));
    if (array == nullptr) {
        WriteLogFormat("%s", line);
    }
    return array;
}

template <typename T>
T* ModelArray(ReadModel* model, int64_t count, const char* line) {
    auto* array = static_cast<T*>(ReadModelChainArray(model, count, sizeof(T)));
    if (array == nullptr) {
        WriteLogFormat("%s", line);
    }
    return array;
}

bool LinkMaterialList(XObjectTree* tree, XObject* object) {
    auto* list = XPayload<XMaterialListData>(object);
    const int32_t found = CollectInOrder(object, kXMaterial, nullptr, 0);
    if (found != list->materialCount) {
        WriteLogFormat(
            "Load XFile : マテリアルリストのマテリアル数( %d )と実際のマテリアルの数( %d )が違いま"
            "した",
            list->materialCount, found);
        return false;
    }
    if (found > kReadModelMeshMaterials) {
        WriteLogFormat(
            "Load XFile : 一つのメッシュで使えるマテリアルの最大数 %d を超えました( %d )",
            kReadModelMeshMaterials, found);
        return false;
    }
    list->materials = TreeArray<XObject*>(
        tree, found,
        "Load XFile : メッシュに関連付けられているマテリアルを格納するメモリ領域の確保に失敗しま"
        "した");
    if (list->materials == nullptr) {
        return false;
    }
    list->linkedCount = CollectInOrder(object, kXMaterial, list->materials, found);
    return true;
}

bool LinkMesh(XObjectTree* tree, XObject* object) {
    auto* mesh = XPayload<XMeshData>(object);
    mesh->materialList = FirstChild(object, kXMeshMaterialList);
    mesh->texCoords = FirstChild(object, kXMeshTextureCoords);
    if (mesh->texCoords != nullptr &&
        XPayload<XTextureCoordsData>(mesh->texCoords)->count != mesh->vertexCount) {
        WriteLogFormat("Load XFile : テクスチャ座標の数( %d )と頂点座標の数( %d )が違いました",
                       XPayload<XTextureCoordsData>(mesh->texCoords)->count, mesh->vertexCount);
        return false;
    }
    mesh->normals = FirstChild(object, kXMeshNormals);
    if (mesh->normals != nullptr &&
        XPayload<XNormalsData>(mesh->normals)->faces.faceCount != mesh->faces.faceCount) {
        WriteLogFormat("Load XFile : メッシュリストの面の数( %d )と法線の面の数( %d )が違いました",
                       mesh->faces.faceCount,
                       XPayload<XNormalsData>(mesh->normals)->faces.faceCount);
        return false;
    }
    mesh->vertexColours = FirstChild(object, kXMeshVertexColors);
    mesh->skinCount = CountChildren(object, kXSkinWeights);
    if (mesh->skinCount > kReadModelMeshBones) {
        WriteLogFormat("Load XFile : 一つのメッシュで使えるボーンの最大数 %d を超えました( %d )",
                       kReadModelMeshBones, mesh->skinCount);
        return false;
    }
    mesh->skins = TreeArray<XObject*>(
        tree, mesh->skinCount,
        "Load XFile : スキンウエイトデータを格納するメモリの確保に失敗しました");
    if (mesh->skins == nullptr) {
        return false;
    }
    int32_t n = 0;
    for (XObject* c = object->firstChild; c != nullptr; c = c->nextSibling) {
        if (c->type == kXSkinWeights) {
            mesh->skins[n++] = c;
        }
    }
    return true;
}

bool LinkFrame(XObjectTree* tree, XObject* object, int32_t number) {
    auto* frame = XPayload<XFrameData>(object);
    frame->matrix = FirstChild(object, kXFrameTransformMatrix);
    frame->number = number;
    frame->meshCount = CountChildren(object, kXMesh);
    frame->meshes = TreeArray<XObject*>(
        tree, frame->meshCount,
        "Load XFile : メッシュアドレス配列を格納するメモリの確保に失敗しました");
    if (frame->meshes == nullptr) {
        return false;
    }
    int32_t n = 0;
    for (XObject* c = object->firstChild; c != nullptr; c = c->nextSibling) {
        if (c->type == kXMesh) {
            frame->meshes[n++] = c;
            XPayload<XMeshData>(c)->frame = object;
        }
    }
    return true;
}

bool LinkAnimation(XObjectTree* tree, XObject* object) {
    auto* animation = XPayload<XAnimationData>(object);
    animation->keyCount = CountChildren(object, kXAnimationKey);
    animation->keys = TreeArray<XObject*>(
        tree, animation->keyCount,
        "Load XFile : アニメーションキーアドレス配列を格納するメモリの確保に失敗しました");
    if (animation->keys == nullptr) {
        return false;
    }
    int32_t n = 0;
    for (XObject* c = object->firstChild; c != nullptr; c = c->nextSibling) {
        if (c->type == kXAnimationKey) {
            animation->keys[n++] = c;
            const float length = XPayload<XAnimationKeyData>(c)->length;
            animation->length = length > animation->length ? length : animation->length;
        }
    }
    animation->target = FirstInOrder(object, kXFrame);
    return true;
}

bool LinkAnimationSet(XObjectTree* tree, XObject* object) {
    auto* set = XPayload<XAnimationSetData>(object);
    set->animationCount = CollectInOrder(object, kXAnimation, nullptr, 0);
    set->animations = TreeArray<XObject*>(
        tree, set->animationCount,
        "Load XFile : アニメーションアドレス配列を格納するメモリの確保に失敗しました");
    if (set->animations == nullptr) {
        return false;
    }
    CollectInOrder(object, kXAnimation, set->animations, set->animationCount);
    for (int32_t i = 0; i < set->animationCount; ++i) {
        const float length = XPayload<XAnimationData>(set->animations[i])->length;
        set->length = length > set->length ? length : set->length;
    }
    return true;
}

bool LinkObjects(XObjectTree* tree) {
    FrameIndex frames;
    for (XObject* o = tree->firstObject; o != nullptr; o = o->nextObject) {
        if (o->type == kXFrame) {
            frames.emplace(o->name, o);
        }
    }
    int32_t materialNumber = 0;
    int32_t frameNumber = 0;
    for (XObject* o = tree->firstObject; o != nullptr; o = o->nextObject) {
        bool linked = true;
        switch (o->type) {
            case kXMaterial: {
                auto* material = XPayload<XMaterialData>(o);
                XObject* texture = FirstChild(o, kXTextureFilename);
                texture = texture != nullptr ? texture : FirstInOrder(o, kXTextureFilename);
                material->texture = texture;
                material->number = materialNumber++;
                break;
            }
            case kXMeshMaterialList:
                linked = LinkMaterialList(tree, o);
                break;
            case kXMesh:
                linked = LinkMesh(tree, o);
                break;
            case kXFrame:
                linked = LinkFrame(tree, o, frameNumber++);
                break;
            case kXAnimation:
                linked = LinkAnimation(tree, o);
                break;
            case kXSkinWeights: {
                auto* skin = XPayload<XSkinWeightsData>(o);
                auto found = frames.find(skin->frameName);
                skin->frame = found != frames.end() ? found->second : nullptr;
                break;
            }
            default:
                break;
        }
        if (!linked) {
            return false;
        }
    }
    for (XObject* o = tree->firstObject; o != nullptr; o = o->nextObject) {
        if (o->type == kXAnimationSet && !LinkAnimationSet(tree, o)) {
            return false;
        }
    }
    return true;
}

bool ConvertMaterial(ReadModel* model, XObject* object) {
    auto* data = XPayload<XMaterialData>(object);
    ReadModelMaterial* material = ReadModelNewMaterial(model, object->name);
    if (material == nullptr) {
        WriteLogFormat("Load XFile : マテリアルオブジェクトの追加に失敗しました");
        return false;
    }
    data->converted = material;
    if (data->texture != nullptr) {
        const char* file = XPayload<XTextureFilenameData>(data->texture)->fileName;
        ReadModelTexture* texture = ReadModelNewTexture(model, file, file, nullptr, 0, 0.1f, 1, 0);
        if (texture == nullptr) {
            WriteLogFormat("Load XFile : テクスチャオブジェクトの追加に失敗しました");
            return false;
        }
        material->layers[0].count = 1;
        material->layers[0].textures[0] = texture;
    }
    for (int i = 0; i < 3; ++i) {
        material->ambient[i] = 0.0f;
        material->diffuse[i] = data->faceColour[i];
        material->specular[i] = data->specular[i];
        material->emissive[i] = data->emissive[i];
    }
    material->ambient[3] = 0.0f;
    material->diffuse[3] = 1.0f;
    material->specular[3] = 0.0f;
    material->emissive[3] = 0.0f;
    material->power = data->power;
    return true;
}

// The read-model frame of the nearest enclosing frame; null at the top.
ReadModelFrame* EnclosingFrame(const XObject* object) {
    for (const XObject* p = object->parent; p != nullptr; p = p->parent) {
        if (p->type == kXFrame) {
            return XPayload<XFrameData>(p)->converted;
        }
    }
    return nullptr;
}

bool ConvertFrame(ReadModel* model, XObject* object) {
    auto* data = XPayload<XFrameData>(object);
    ReadModelFrame* frame = ReadModelNewFrame(model, object->name, EnclosingFrame(object));
    if (frame == nullptr) {
        WriteLogFormat("Load XFile : フレームオブジェクトの追加に失敗しました");
        return false;
    }
    data->converted = frame;
    if (data->matrix != nullptr) {
        std::memcpy(frame->transform.m, XPayload<XMatrixData>(data->matrix)->m, 16 * sizeof(float));
    }
    for (int32_t i = 0; i < data->meshCount; ++i) {
        XObject* mesh = data->meshes[i];
        if (mesh->name[0] == '\0') {
            continue;
        }
        XPayload<XMeshData>(mesh)->ownFrame = ReadModelNewFrame(model, mesh->name, frame);
        if (XPayload<XMeshData>(mesh)->ownFrame == nullptr) {
            WriteLogFormat("Load XFile : フレームオブジェクトの追加に失敗しました");
            return false;
        }
    }
    return true;
}

bool ConvertMeshMaterials(ReadModel* model, const XMeshData* data, ReadModelMesh* mesh) {
    if (data->materialList == nullptr) {
        mesh->materials[0] = ReadModelNewMaterial(model, "Normal");
        if (mesh->materials[0] == nullptr) {
            WriteLogFormat("Load XFile : マテリアルオブジェクトの追加に失敗しました");
            return false;
        }
        mesh->materialCount = 1;
        return true;
    }
    const auto* list = XPayload<XMaterialListData>(data->materialList);
    for (int32_t i = 0; i < list->linkedCount; ++i) {
        mesh->materials[i] = XPayload<XMaterialData>(list->materials[i])->converted;
    }
    mesh->materialCount = list->linkedCount;
    return true;
}

bool ConvertSkinWeights(ReadModel* model, const XMeshData* data, ReadModelMesh* mesh) {
    for (int32_t s = 0; s < data->skinCount; ++s) {
        const auto* skin = XPayload<XSkinWeightsData>(data->skins[s]);
        ReadModelSkinWeight* weight = ReadModelNewSkinWeight(model);
        if (weight == nullptr) {
            WriteLogFormat(
                "Load XFile : スキニングメッシュウエイト情報を格納するメモリ領域の確保に"
                "失敗しました");
            return false;
        }
        mesh->skinWeights[mesh->skinWeightCount++] = weight;
        std::memcpy(weight->offsetMatrix.m, skin->offset, 16 * sizeof(float));
        const ReadModelFrame* bone =
            skin->frame != nullptr ? XPayload<XFrameData>(skin->frame)->converted : nullptr;
        weight->boneFrameIndex = bone != nullptr ? bone->index : -1;
        weight->weightCount = skin->weightCount;
        weight->weights = ModelArray<ReadModelSkinWeightPair>(
            model, skin->weightCount,
            "Load XFile : スキニングメッシュウエイト値を格納するメモリ領域の確保に失敗しました");
        if (weight->weights == nullptr) {
            return false;
        }
        for (int32_t i = 0; i < skin->weightCount; ++i) {
            if (skin->vertices[i] < 0 || skin->vertices[i] >= data->vertexCount) {
                WriteLogFormat(
                    "Load XFile : スキンウエイトの頂点インデックス %d が頂点の数( %d )を"
                    "超えています",
                    skin->vertices[i], data->vertexCount);
                return false;
            }
            weight->weights[i] = ReadModelSkinWeightPair{skin->vertices[i], skin->weights[i]};
        }
    }
    return true;
}

bool ConvertVertexArrays(ReadModel* model, const XMeshData* data, ReadModelMesh* mesh) {
    mesh->positionCount = data->vertexCount;
    mesh->positions = ModelArray<Vec3>(model, data->vertexCount,
                                       "Load XFile : 頂点座標を格納するメモリの確保に失敗しました");
    if (mesh->positions == nullptr) {
        return false;
    }
    std::memcpy(mesh->positions, data->positions, static_cast<size_t>(data->vertexCount) * 12u);
    if (data->normals != nullptr && XPayload<XNormalsData>(data->normals)->normalCount > 0) {
        const auto* normals = XPayload<XNormalsData>(data->normals);
        mesh->normalCount = normals->normalCount;
        mesh->normals = ModelArray<Vec3>(model, normals->normalCount,
                                         "Load XFile : 法線を格納するメモリの確保に失敗しました");
        if (mesh->normals == nullptr) {
            return false;
        }
        std::memcpy(mesh->normals, normals->normals,
                    static_cast<size_t>(normals->normalCount) * 12u);
    }
    if (data->texCoords != nullptr) {
        const auto* coords = XPayload<XTextureCoordsData>(data->texCoords);
        mesh->texCoordCounts[0] = coords->count;
        mesh->texCoords[0] = ModelArray<float[3]>(
            model, coords->count, "Load XFile : ＵＶ座標を格納するメモリの確保に失敗しました");
        if (mesh->texCoords[0] == nullptr) {
            return false;
        }
        for (int32_t i = 0; i < coords->count; ++i) {
            mesh->texCoords[0][i][0] = coords->uv[2 * i];
            mesh->texCoords[0][i][1] = coords->uv[2 * i + 1];
        }
    }
    return true;
}

bool IndexFault(const char* what, int32_t index, int32_t count) {
    WriteLogFormat("Load XFile : %sのインデックス %d が%sの数( %d )を超えています", what, index,
                   what, count);
    return false;
}

// Corners of all faces: each face's list is its count and as many indices.
int64_t CornerTotal(const XMeshData* data) {
    return int64_t{data->faces.wordCount} - data->faces.faceCount;
}

bool ConvertFaces(ReadModel* model, const XMeshData* data, ReadModelMesh* mesh) {
    mesh->faceCount = data->faces.faceCount;
    mesh->faces =
        ModelArray<ReadModelFace>(model, data->faces.faceCount,
                                  "Load XFile : 面情報を格納するメモリ領域の確保に失敗しました");
    ReadModelCorner* nextCorners =
        mesh->faces != nullptr ? ReadModelNewCorners(model, CornerTotal(data)) : nullptr;
    if (nextCorners == nullptr) {
        if (mesh->faces != nullptr) {
            WriteLogFormat("Load XFile : 面情報を格納するメモリ領域の確保に失敗しました");
        }
        return false;
    }
    const XNormalsData* normals =
        mesh->normals != nullptr ? XPayload<XNormalsData>(data->normals) : nullptr;
    const XMaterialListData* list =
        data->materialList != nullptr ? XPayload<XMaterialListData>(data->materialList) : nullptr;
    const bool perFace = list != nullptr && list->faceCount == data->faces.faceCount;
    const int32_t* word = data->faces.words;
    const int32_t* normalWord = normals != nullptr ? normals->faces.words : nullptr;
    for (int32_t f = 0; f < data->faces.faceCount; ++f) {
        ReadModelFace& face = mesh->faces[f];
        face.cornerCount = *word++;
        face.corners = nextCorners;
        nextCorners += face.cornerCount;
        for (int32_t k = 0; k < face.cornerCount; ++k) {
            const int32_t index = *word++;
            if (index < 0 || index >= data->vertexCount) {
                return IndexFault("頂点", index, data->vertexCount);
            }
            face.corners[k].position = index;
            face.corners[k].texCoord[0] = index;
        }
        if (normalWord != nullptr) {
            const int32_t corners = *normalWord++;
            for (int32_t k = 0; k < corners; ++k) {
                const int32_t index = *normalWord++;
                if (index < 0 || index >= normals->normalCount) {
                    return IndexFault("法線", index, normals->normalCount);
                }
                if (k < face.cornerCount) {
                    face.corners[k].normal = index;
                }
            }
        }
        face.materialIndex = perFace ? list->faceMaterials[f] : 0;
    }
    return true;
}

// n colours and a white one at n, which every corner takes first; a corner
// then takes the last colour given for its position. Remembering that per
// position keeps this linear.
bool ConvertVertexColours(ReadModel* model, const XMeshData* data, ReadModelMesh* mesh) {
    const auto* colours = XPayload<XVertexColoursData>(data->vertexColours);
    const int32_t n = colours->count;
    mesh->colourCount = n + 1;
    mesh->colours = ModelArray<float[4]>(
        model, int64_t{n} + 1, "Load XFile : 頂点カラーを格納するメモリの確保に失敗しました");
    int32_t* byPosition = static_cast<int32_t*>(AllocTracked(
        static_cast<uint32_t>(data->vertexCount > 0 ? data->vertexCount : 1) * 4u, "", 0));
    if (mesh->colours == nullptr || byPosition == nullptr) {
        FreeTracked(byPosition);
        WriteLogFormat("Load XFile : 頂点カラーを格納するメモリの確保に失敗しました");
        return false;
    }
    for (int32_t v = 0; v < data->vertexCount; ++v) {
        byPosition[v] = n;
    }
    for (int c = 0; c < 4; ++c) {
        mesh->colours[n][c] = 1.0f;
    }
    for (int32_t i = 0; i < n; ++i) {
        const XIndexedColour& colour = colours->colours[i];
        std::memcpy(mesh->colours[i], colour.rgba, sizeof colour.rgba);
        if (colour.index >= 0 && colour.index < data->vertexCount) {
            byPosition[colour.index] = i;
        }
    }
    for (int32_t f = 0; f < mesh->faceCount; ++f) {
        ReadModelFace& face = mesh->faces[f];
        for (int32_t k = 0; k < face.cornerCount; ++k) {
            face.corners[k].colour = byPosition[face.corners[k].position];
        }
    }
    FreeTracked(byPosition);
    return true;
}

bool ConvertMesh(ReadModel* model, XObject* object, ReadModelFrame* frame) {
    const auto* data = XPayload<XMeshData>(object);
    ReadModelMesh* mesh = ReadModelNewMesh(model, frame);
    if (mesh == nullptr) {
        WriteLogFormat("Load XFile : メッシュオブジェクトの追加に失敗しました");
        return false;
    }
    return ConvertMeshMaterials(model, data, mesh) && ConvertSkinWeights(model, data, mesh) &&
           ConvertVertexArrays(model, data, mesh) && ConvertFaces(model, data, mesh) &&
           (data->vertexColours == nullptr || ConvertVertexColours(model, data, mesh));
}

bool ConvertFrameMeshes(ReadModel* model, XObject* object) {
    const auto* frame = XPayload<XFrameData>(object);
    for (int32_t i = 0; i < frame->meshCount; ++i) {
        XObject* mesh = frame->meshes[i];
        ReadModelFrame* target = XPayload<XMeshData>(mesh)->ownFrame;
        if (target == nullptr && object->parent == nullptr) {
            target = ReadModelNewFrame(model, mesh->name[0] != '\0' ? mesh->name : "Mesh", nullptr);
            if (target == nullptr) {
                WriteLogFormat("Load XFile : フレームオブジェクトの追加に失敗しました");
                return false;
            }
        } else if (target == nullptr) {
            target = frame->converted;
        }
        if (!ConvertMesh(model, mesh, target)) {
            return false;
        }
    }
    return true;
}

// Key types of the file: 0 rotation, 1 scale, 2 position, 3 and 4 matrix.
int KeyWord(int32_t keyType) {
    switch (keyType) {
        case 0:
            return 0x0000;
        case 1:
            return 0x0501;
        case 2:
            return 0x0A01;
        case 3:
        case 4:
            return 0x0F02;
        default:
            return -1;
    }
}

void KeyValue(int32_t keyType, const float* in, float* out) {
    if (keyType == 0) {
        // The file gives w, x, y, z; the read model keeps x, y, z, w.
        out[0] = in[1];
        out[1] = in[2];
        out[2] = in[3];
        out[3] = in[0];
    } else if (keyType == 1 || keyType == 2) {
        std::memcpy(out, in, 3 * sizeof(float));
    } else {
        for (int row = 0; row < 4; ++row) {
            std::memcpy(out + 3 * row, in + 4 * row, 3 * sizeof(float));
        }
    }
}

bool ConvertKeys(ReadModel* model, const XAnimationKeyData* data, ReadModelAnim* anim) {
    const int word = KeyWord(data->keyType);
    if (word < 0) {
        return true;  // a key type we do not play
    }
    ReadModelKeySet* keys = ReadModelNewKeySet(model, anim);
    if (keys == nullptr) {
        WriteLogFormat("Load XFile : アニメーションキーセットオブジェクトの追加に失敗しました");
        return false;
    }
    keys->kind = static_cast<uint8_t>(word & 0xFF);
    keys->target = static_cast<uint8_t>(word >> 8);
    keys->length = data->length;
    keys->keyCount = data->keyCount;
    const int32_t valueBytes = ReadModelKeyValueBytes(keys->kind);
    const char* line = "Load XFile : アニメーションキーを格納するメモリ領域の確保に失敗しました";
    keys->times = ModelArray<float>(model, data->keyCount, line);
    auto* values = keys->times == nullptr
                       ? nullptr
                       : ModelArray<float>(model, int64_t{data->keyCount} * (valueBytes / 4), line);
    if (values == nullptr) {
        return false;
    }
    keys->values = values;
    for (int32_t i = 0; i < data->keyCount; ++i) {
        keys->times[i] = static_cast<float>(data->keys[i].time);
        KeyValue(data->keyType, data->keys[i].values, values + i * (valueBytes / 4));
    }
    model->keyDataBytes += data->keyCount * (valueBytes + 4);
    return true;
}

bool ConvertAnimationSet(ReadModel* model, XObject* object) {
    const auto* data = XPayload<XAnimationSetData>(object);
    ReadModelAnimSet* set = ReadModelNewAnimSet(model, object->name);
    if (set == nullptr) {
        WriteLogFormat("Load XFile : アニメーションセットオブジェクトの追加に失敗しました");
        return false;
    }
    set->start = 0.0f;
    set->timeBase = data->length;
    for (int32_t a = 0; a < data->animationCount; ++a) {
        const auto* animation = XPayload<XAnimationData>(data->animations[a]);
        const ReadModelFrame* target = animation->target != nullptr
                                           ? XPayload<XFrameData>(animation->target)->converted
                                           : nullptr;
        if (target == nullptr) {
            continue;
        }
        ReadModelAnim* anim = ReadModelNewAnim(model, set);
        char* name = anim != nullptr ? ReadModelCopyString(model, target->name) : nullptr;
        if (name == nullptr) {
            WriteLogFormat("Load XFile : アニメーションオブジェクトの追加に失敗しました");
            return false;
        }
        anim->targetName = name;
        anim->targetIndex = target->index;
        anim->length = animation->length;
        for (int32_t k = 0; k < animation->keyCount; ++k) {
            if (!ConvertKeys(model, XPayload<XAnimationKeyData>(animation->keys[k]), anim)) {
                return false;
            }
        }
    }
    return true;
}

template <typename Step>
bool ForEachOfType(XObjectTree* tree, int type, Step step) {
    for (XObject* o = tree->firstObject; o != nullptr; o = o->nextObject) {
        if (o->type == type && !step(o)) {
            return false;
        }
    }
    return true;
}

}  // namespace

int ConvertXToReadModel(XObjectTree* tree, ReadModel* model) {
    if (!LinkObjects(tree)) {
        return -1;
    }
    const bool converted =
        ForEachOfType(tree, kXMaterial, [&](XObject* o) { return ConvertMaterial(model, o); }) &&
        ForEachOfType(tree, kXFrame,
                      [&](XObject* o) { return o->parent == nullptr || ConvertFrame(model, o); }) &&
        ForEachOfType(tree, kXFrame, [&](XObject* o) { return ConvertFrameMeshes(model, o); }) &&
        ForEachOfType(tree, kXAnimationSet,
                      [&](XObject* o) { return ConvertAnimationSet(model, o); });
    return converted ? 0 : -1;
}

}  // namespace tessel
