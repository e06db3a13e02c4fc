// The object loop of the .x reader: the header, the template table, nodes
// and their references, skipping what we do not know, the nesting limit,
// and resolving references by name once the whole file is read.
//
// Routes: the template table and payload sizes (XTemplateType,
// XPayloadSize); nodes (AddXObject, StartXObjectTree, FreeXObjectTree);
// the loop (ParseXImage, ObjectLoop::Run, Object, Reference); references
// (AppendReference, ResolveReferences).
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "foundation/base/text.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "models/util/model_containers.h"
#include "models/xfile/x_parse_internal.h"

namespace tessel {

namespace {

constexpr int kHeaderBytes = 16;
constexpr int kTemplateNameBytes = 64;
constexpr int32_t kFirstReferenceCapacity = 32;

const char* const kTemplateNames[kXTypeCount] = {
    nullptr,
    nullptr,
    "Coords2d",
    "Matrix4x4",
    "ColorRGBA",
    "ColorRGB",
    "Material",
    "TextureFilename",
    "MeshFace",
    "MeshTextureCoords",
    "MeshNormals",
    "MeshMaterialList",
    "IndexedColor",
    "MeshVertexColors",
    "Mesh",
    "FrameTransformMatrix",
    "Frame",
    "FloatKeys",
    "TimedFloatKeys",
    "AnimationKey",
    "AnimationOption",
    "Animation",
    "AnimationSet",
    "XSkinMeshHeader",
    "SkinWeights",
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// Payloads are rounded so that the name behind them stays aligned.
uint32_t Rounded(size_t bytes) {
    return static_cast<uint32_t>((bytes + 7) & ~size_t{7});
}

const char* Printable(const char* name) {
    return name != nullptr ? name : "";
}

bool AppendReference(XObject* object, XObject* target, const char* name) {
    if (object->referenceCount == object->referenceCapacity) {
        const int32_t capacity = object->referenceCapacity == 0 ? kFirstReferenceCapacity
                                                                : object->referenceCapacity * 2;
        void* grown = ReallocTracked(object->references,
                                     static_cast<uint32_t>(capacity) * sizeof(XReference), "", 0);
        if (grown == nullptr) {
            WriteLogFormat(
                "Load XFile : 間接参照用ポインタを格納するメモリ領域の確保に失敗しました");
            return false;
        }
        object->references = static_cast<XReference*>(grown);
        object->referenceCapacity = capacity;
    }
    object->references[object->referenceCount++] = XReference{target, name, object->childCount};
    return true;
}

// Every named object by its name; the first of equal names wins.
using NameIndex = std::unordered_map<std::string_view, XObject*>;

void ResolveReferences(XObjectTree* tree) {
    NameIndex byName;
    for (XObject* o = tree->firstObject; o != nullptr; o = o->nextObject) {
        if (o->name[0] != '\0') {
            byName.emplace(o->name, o);
        }
    }
    for (XObject* o = tree->firstObject; o != nullptr; o = o->nextObject) {
        // Back links added below go behind the names; they are resolved.
        for (int32_t i = 0; i < o->referenceCount; ++i) {
            XReference& reference = o->references[i];
            if (reference.object != nullptr || reference.name == nullptr) {
                continue;
            }
            auto found = byName.find(reference.name);
            if (found == byName.end()) {
                WriteLogFormat("Load XFile : 間接参照が失敗しました");
                continue;
            }
            reference.object = found->second;
            if (found->second != o) {
                AppendReference(found->second, o, nullptr);
            }
        }
    }
}

class ObjectLoop {
  public:
    ObjectLoop(XTokens& in, XObjectTree* tree) : in_(in), tree_(tree) {}

    int Run() {
        stack_[0] = tree_->firstObject;
        depth_ = 1;
        while (true) {
            XSpan word;
            switch (in_.Next(&word)) {
                case XEvent::kEnd:
                    if (depth_ != 1) {
                        return WriteLogFormat("予期しない EOF です");
                    }
                    ResolveReferences(tree_);
                    return 0;
                case XEvent::kOpen:
                    if (!Reference()) {
                        return -1;
                    }
                    break;
                case XEvent::kClose:
                    // A stray closing brace at the top ends nothing.
                    depth_ -= depth_ > 1 ? 1 : 0;
                    break;
                case XEvent::kWord:
                    if (Object(word) != 0) {
                        return -1;
                    }
                    break;
                case XEvent::kTemplateKeyword:
                    in_.SkipObject(0);
                    break;
                case XEvent::kOther:
                    break;
            }
        }
    }

  private:
    XObject* Current() const { return stack_[depth_ - 1]; }

    bool Reference() {
        XSpan name;
        if (!in_.ReferenceBody(&name)) {
            in_.SkipObject(1);
            return true;
        }
        if (name.length == 0) {
            return true;  // names nothing
        }
        char* copy = XChainText(tree_, name);
        if (copy == nullptr) {
            WriteLogFormat(
                "Load XFile : 間接参照のオブジェクト名を保存するメモリ領域の確保に失敗しました");
            return false;
        }
        return AppendReference(Current(), nullptr, copy);
    }

    int Object(const XSpan& word) {
        char templateName[kTemplateNameBytes];
        const int length =
            word.length < kTemplateNameBytes - 1 ? word.length : kTemplateNameBytes - 1;
        std::memcpy(templateName, word.text, static_cast<size_t>(length));
        templateName[length] = '\0';
        const int type = word.length == length ? XTemplateType(templateName) : kXNone;
        if (type == kXNone) {
            in_.SkipObject(0);
            return 0;
        }
        XSpan nameSpan;
        if (!in_.ObjectHead(&nameSpan)) {
            return WriteLogFormat("Load XFile : オブジェクト %s の始まりの { がありません",
                                  XTemplateName(type));
        }
        char* name = XChainText(tree_, nameSpan);
        XObject* object = name == nullptr ? nullptr : AddXObject(type, name, Current(), tree_);
        if (object == nullptr) {
            return WriteLogFormat("Load XFile : オブジェクト %s ( %s ) の追加に失敗しました",
                                  XTemplateName(type), Printable(name));
        }
        if (depth_ >= kXMaxNesting) {
            WriteLogFormat("階層構造の限界数 %d を超えました", kXMaxNesting);
            return WriteLogFormat("Load XFile : オブジェクト %s ( %s ) のネストが深すぎます",
                                  XTemplateName(type), object->name);
        }
        stack_[depth_++] = object;
        XTemplateParser parse = XParserFor(type);
        if (parse != nullptr && !parse(in_, tree_, object)) {
            return WriteLogFormat(
                "Load XFile : オブジェクト %s ( %s ) 解析中にエラーが発生しました",
                XTemplateName(type), object->name);
        }
        in_.EndInts();
        return 0;
    }

    XTokens& in_;
    XObjectTree* tree_;
    XObject* stack_[kXMaxNesting] = {};
    int depth_ = 0;
};

}  // namespace

const char* XTemplateName(int type) {
    return type >= 0 && type < kXTypeCount ? kTemplateNames[type] : nullptr;
}

int XTemplateType(const char* name) {
    for (int type = 0; type < kXTypeCount; ++type) {
        if (kTemplateNames[type] != nullptr && CompareTextNoCase(name, kTemplateNames[type]) == 0) {
            return type;
        }
    }
    return kXNone;
}

uint32_t XPayloadSize(int type) {
    switch (type) {
        case kXMaterial:
            return Rounded(sizeof(XMaterialData));
        case kXTextureFilename:
            return Rounded(sizeof(XTextureFilenameData));
        case kXMeshFace:
            return Rounded(sizeof(XMeshFaceData));
        case kXMeshTextureCoords:
            return Rounded(sizeof(XTextureCoordsData));
        case kXMeshNormals:
            return Rounded(sizeof(XNormalsData));
        case kXMeshMaterialList:
            return Rounded(sizeof(XMaterialListData));
        case kXIndexedColor:
            return Rounded(sizeof(XIndexedColorData));
        case kXMeshVertexColors:
            return Rounded(sizeof(XVertexColoursData));
        case kXMesh:
            return Rounded(sizeof(XMeshData));
        case kXFrameTransformMatrix:
            return Rounded(sizeof(XMatrixData));
        case kXFrame:
            return Rounded(sizeof(XFrameData));
        case kXFloatKeys:
            return Rounded(sizeof(XFloatKeysData));
        case kXTimedFloatKeys:
            return Rounded(sizeof(XTimedFloatKeysData));
        case kXAnimationKey:
            return Rounded(sizeof(XAnimationKeyData));
        case kXAnimationOption:
            return Rounded(sizeof(XAnimationOptionData));
        case kXAnimation:
            return Rounded(sizeof(XAnimationData));
        case kXAnimationSet:
            return Rounded(sizeof(XAnimationSetData));
        case kXSkinMeshHeader:
            return Rounded(sizeof(XSkinHeaderData));
        case kXSkinWeights:
            return Rounded(sizeof(XSkinWeightsData));
        default:
            return 0;
    }
}

void* XChainArray(XObjectTree* tree, int64_t count, size_t itemBytes) {
    const int64_t items = count > 0 ? count : 1;
    if (count < 0 || items > static_cast<int64_t>(UINT32_MAX / itemBytes)) {
        return nullptr;
    }
    return AllocChainedBlock(static_cast<uint32_t>(items * static_cast<int64_t>(itemBytes)),
                             &tree->blocks);
}

char* XChainText(XObjectTree* tree, const XSpan& text) {
    auto* copy = static_cast<char*>(XChainArray(tree, int64_t{text.length} + 1, 1));
    if (copy != nullptr && text.length > 0) {
        std::memcpy(copy, text.text, static_cast<size_t>(text.length));
    }
    return copy;
}

XObject* AddXObject(int type, const char* name, XObject* parent, XObjectTree* tree) {
    const size_t nameBytes = name != nullptr ? std::strlen(name) : 0;
    const uint32_t payload = XPayloadSize(type);
    const size_t size = sizeof(XObject) + payload + nameBytes + 1;
    auto* block = static_cast<uint8_t*>(AllocTrackedZeroed(static_cast<uint32_t>(size), "", 0));
    if (block == nullptr) {
        WriteLogFormat("Load XFile : オブジェクトのメモリ領域の確保に失敗しました");
        return nullptr;
    }
    auto* object = reinterpret_cast<XObject*>(block);
    char* ownName = reinterpret_cast<char*>(block + sizeof(XObject) + payload);
    if (nameBytes > 0) {
        std::memcpy(ownName, name, nameBytes);
    }
    object->type = type;
    object->name = ownName;
    object->payloadSize = payload;
    object->parent = parent;
    if (parent != nullptr) {
        (parent->lastChild != nullptr ? parent->lastChild->nextSibling : parent->firstChild) =
            object;
        parent->lastChild = object;
        ++parent->childCount;
    }
    (tree->lastObject != nullptr ? tree->lastObject->nextObject : tree->firstObject) = object;
    tree->lastObject = object;
    tree->nameBytes += static_cast<int32_t>((nameBytes + 4) & ~size_t{3});
    tree->frameCount += type == kXFrame ? 1 : 0;
    tree->materialCount += type == kXMaterial ? 1 : 0;
    tree->meshCount += type == kXMesh ? 1 : 0;
    return object;
}

int StartXObjectTree(XObjectTree* tree) {
    std::memset(tree, 0, sizeof *tree);
    return AddXObject(kXFrame, "XTopFrame", nullptr, tree) != nullptr ? 0 : -1;
}

int ParseXImage(const void* image, int size, XObjectTree* tree) {
    const auto* bytes = static_cast<const uint8_t*>(image);
    if (image == nullptr || size < 4 || std::memcmp(bytes, "xof ", 4) != 0) {
        return -1;
    }
    const bool text = size >= kHeaderBytes && std::memcmp(bytes + 8, "txt ", 4) == 0;
    const bool binary = size >= kHeaderBytes && std::memcmp(bytes + 8, "bin ", 4) == 0;
    if (!text && !binary) {
        return WriteLog("対応している xファイル形式はテキスト形式と非圧縮バイナリ形式のみです\n");
    }
    if (tree->firstObject == nullptr && StartXObjectTree(tree) != 0) {
        return -1;
    }
    const bool doubleFloats = std::memcmp(bytes + 12, "0064", 4) == 0;
    XTokens in(bytes + kHeaderBytes, size - kHeaderBytes, binary, doubleFloats);
    ObjectLoop loop(in, tree);
    return loop.Run();
}

void FreeXObjectTree(XObjectTree* tree) {
    FreeChainedBlocks(&tree->blocks);
    XObject* object = tree->firstObject;
    while (object != nullptr) {
        XObject* next = object->nextObject;
        FreeTracked(object->references);
        FreeTracked(object);
        object = next;
    }
    std::memset(tree, 0, sizeof *tree);
}

}  // namespace tessel
