// The motion reader: the bone and morph keys of a motion file into one
// animation set of the PMD reader's read model. Bones bake to one key per
// frame; the bones of IK chains are solved at every frame from 0 to the last,
// so that the converted model plays the motion without IK of its own. A
// motion that fails part-way leaves nothing of its set in the read model.
#include <cstring>

#include "foundation/base/bytes.h"
#include "foundation/base/text.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"
#include "models/pmd/vmd_internal.h"
#include "models/util/model_containers.h"

namespace tessel {

namespace {

constexpr char kVmdMagic[] = "Vocaloid Motion Data 0002";
constexpr uint32_t kVmdMagicBytes = 26;  // the text and its 0 byte
constexpr int kTranslationWord = 0x0A01;
constexpr int kRotationWord = 0x0007;
constexpr int kMorphWord = 0x1205;
constexpr int32_t kBoneKeyBytes = 36;  // two times, a translation and a rotation
constexpr int32_t kMorphKeyBytes = 8;

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

float ReadF32(const uint8_t* p) {
    const uint32_t bits = ReadU32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

struct NameTable {
    VmdNameEntry* entries;
    int count;
    int lastHit;  // keys of one name usually follow each other
};

// Where the read model's lists stood before the motion, to take back all it
// added when it fails.
struct ModelMark {
    int32_t animSetCount, animCount, keySetCount, keyDataBytes, stringBytes;
    ReadModelAnimSet* lastAnimSet;
    ReadModelAnim* lastAnim;
    ReadModelKeySet* lastKeySet;
};

struct VmdRead {
    ReadModel* model;
    PmdBoneWork* bones;
    int boneCount;
    PmdIkChain* chains;
    const uint8_t* boneKeyBytes;
    uint32_t boneKeyCount;
    const uint8_t* morphKeyBytes;
    uint32_t morphKeyCount;
    NameTable boneNames;
    NameTable morphNames;
    VmdBoneKey* boneKeys;
    VmdMorphKey* morphKeys;
    int32_t* boneOfFrame;  // by frame index; -1: not a bone
    uint32_t lastFrame;
    ReadModelAnimSet* set;
};

ModelMark MarkModel(const ReadModel* model) {
    return ModelMark{model->animSetCount, model->animCount,   model->keySetCount,
                     model->keyDataBytes, model->stringBytes, model->lastAnimSet,
                     model->lastAnim,     model->lastKeySet};
}

template <typename T>
void CutList(T* last, int32_t count, T** first, T** modelLast, int32_t* modelCount) {
    *modelLast = last;
    *modelCount = count;
    if (last != nullptr) {
        last->next = nullptr;
    } else {
        *first = nullptr;
    }
}

// The set, its animations and key sets were the last entries of their lists;
// their blocks stay in the chain until the read model goes.
void CutBackTo(ReadModel* model, const ModelMark& mark) {
    CutList(mark.lastAnimSet, mark.animSetCount, &model->firstAnimSet, &model->lastAnimSet,
            &model->animSetCount);
    CutList(mark.lastAnim, mark.animCount, &model->firstAnim, &model->lastAnim, &model->animCount);
    CutList(mark.lastKeySet, mark.keySetCount, &model->firstKeySet, &model->lastKeySet,
            &model->keySetCount);
    model->keyDataBytes = mark.keyDataBytes;
    model->stringBytes = mark.stringBytes;
}

template <typename T>
T* Tracked(uint64_t count, const char* line) {
    const uint64_t bytes = (count > 0 ? count : 1) * sizeof(T);
    T* array = nullptr;
    if (bytes <= UINT32_MAX) {
        array =
            static_cast<T*>(AllocTrackedZeroed(static_cast<uint32_t>(bytes), __FILE__, __LINE__));
    }
    if (array == nullptr) {
        WriteLog(line);
    }
    return array;
}

template <typename T>
T* ModelArray(ReadModel* model, int64_t count, const char* line) {
    auto* array = static_cast<T*>(ReadModelChainArray(model, count, sizeof(T)));
    if (array == nullptr) {
        WriteLog(line);
    }
    return array;
}

void FreeRead(VmdRead* read) {
    FreeTracked(read->boneNames.entries);
    FreeTracked(read->morphNames.entries);
    FreeTracked(read->boneKeys);
    FreeTracked(read->morphKeys);
    FreeTracked(read->boneOfFrame);
}

// The two key sections lie inside the image.
bool LocateSections(VmdRead* read, const uint8_t* image, uint32_t size) {
    const char* line = "VMD Load Error : ファイルの大きさがキーの数に足りません\n";
    if (size < kVmdHeaderBytes) {
        WriteLog(line);
        return false;
    }
    read->boneKeyCount = ReadU32(image + 50);
    const uint64_t morphCountAt = kVmdHeaderBytes + uint64_t{read->boneKeyCount} * kVmdBoneKeyBytes;
    if (morphCountAt + 4 > size) {
        WriteLog(line);
        return false;
    }
    read->boneKeyBytes = image + kVmdHeaderBytes;
    read->morphKeyCount = ReadU32(image + morphCountAt);
    const uint64_t end = morphCountAt + 4 + uint64_t{read->morphKeyCount} * kVmdMorphKeyBytes;
    if (end > size) {
        WriteLog(line);
        return false;
    }
    read->morphKeyBytes = image + morphCountAt + 4;
    return true;
}

// Every chain names bones of the model.
bool ChainsInBounds(const VmdRead* read) {
    const PmdBoneWork* end = read->bones + read->boneCount;
    for (const PmdIkChain* chain = read->chains; chain != nullptr; chain = chain->next) {
        bool ends = chain->target >= read->bones && chain->target < end &&
                    chain->effector >= read->bones && chain->effector < end;
        for (int j = 0; ends && j < chain->chainLength; ++j) {
            ends = PmdChainBone(chain, j) < read->boneCount;
        }
        if (!ends) {
            WriteLog("VMD Load Error : ＩＫ情報のボーン番号が不正です\n");
            return false;
        }
    }
    return true;
}

// The entry of the name, a new one at the end when there is none; null
// after a log line when the table is full.
VmdNameEntry* FindOrAddName(NameTable* table, const uint8_t* name) {
    if (table->lastHit < table->count &&
        CompareMemory(table->entries[table->lastHit].name, name, kVmdNameBytes) == 0) {
        return &table->entries[table->lastHit];
    }
    for (int i = 0; i < table->count; ++i) {
        if (CompareMemory(table->entries[i].name, name, kVmdNameBytes) == 0) {
            table->lastHit = i;
            return &table->entries[i];
        }
    }
    if (table->count >= kVmdNameEntries) {
        WriteLogFormat("VMD Load Error : 名前の数が %d を超えています", kVmdNameEntries);
        return nullptr;
    }
    VmdNameEntry* entry = &table->entries[table->count];
    std::memcpy(entry->name, name, kVmdNameBytes);
    entry->name[kVmdNameBytes] = 0;
    entry->smallest = 0xFFFFFFFFu;
    table->lastHit = table->count++;
    return entry;
}

// Behind the last key whose frame is not above the new one's, so that keys of
// equal frames keep their file order.
template <typename Key>
void InsertKey(VmdNameEntry* entry, Key* key) {
    Key* before = static_cast<Key*>(entry->lastKey);
    while (before != nullptr && before->frame > key->frame) {
        before = before->prev;
    }
    key->prev = before;
    key->next = before != nullptr ? before->next : static_cast<Key*>(entry->firstKey);
    if (key->next != nullptr) {
        key->next->prev = key;
    } else {
        entry->lastKey = key;
    }
    if (before != nullptr) {
        before->next = key;
    } else {
        entry->firstKey = key;
    }
    ++entry->keyCount;
    entry->largest = key->frame > entry->largest ? key->frame : entry->largest;
    entry->smallest = key->frame < entry->smallest ? key->frame : entry->smallest;
}

bool FrameInRange(uint32_t frame) {
    if (frame <= kVmdLastFrameLimit) {
        return true;
    }
    WriteLogFormat("VMD Load Error : フレーム番号 %u が上限 %u を超えています", frame,
                   kVmdLastFrameLimit);
    return false;
}

void FillBoneKey(VmdBoneKey* key, const uint8_t* p) {
    key->position = Vec3{ReadF32(p + 19), ReadF32(p + 23), ReadF32(p + 27)};
    key->rotation = PmdQuat{ReadF32(p + 31), ReadF32(p + 35), ReadF32(p + 39), ReadF32(p + 43)};
    const uint8_t* block = p + 47;
    int8_t values[16];
    for (int i = 0; i < 16; ++i) {
        values[i] = static_cast<int8_t>(block[4 * i]);
        key->curve[i] = static_cast<float>(values[i] / 127.0 * 3.0);
    }
    for (int channel = 0; channel < 4; ++channel) {
        const int8_t* c = values + 4 * channel;
        key->linear[channel] = c[0] == c[1] && c[2] == c[3] ? 1 : 0;
    }
}

bool ReadBoneKeys(VmdRead* read) {
    read->boneNames.entries = Tracked<VmdNameEntry>(
        kVmdNameEntries, "VMD Load Error : ノード情報格納用のメモリの確保に失敗しました\n");
    if (read->boneNames.entries == nullptr) {
        return false;
    }
    if (read->boneKeyCount == 0) {
        return true;
    }
    read->boneKeys = Tracked<VmdBoneKey>(
        read->boneKeyCount,
        "PMD Load Error : アニメーションキーを格納するメモリの確保に失敗しました\n");
    if (read->boneKeys == nullptr) {
        return false;
    }
    for (uint32_t i = 0; i < read->boneKeyCount; ++i) {
        const uint8_t* p = read->boneKeyBytes + uint64_t{i} * kVmdBoneKeyBytes;
        VmdBoneKey* key = &read->boneKeys[i];
        key->frame = ReadU32(p + kVmdNameBytes);
        VmdNameEntry* entry =
            FrameInRange(key->frame) ? FindOrAddName(&read->boneNames, p) : nullptr;
        if (entry == nullptr) {
            return false;
        }
        FillBoneKey(key, p);
        InsertKey(entry, key);
    }
    return true;
}

bool ReadMorphKeys(VmdRead* read) {
    read->morphNames.entries = Tracked<VmdNameEntry>(
        kVmdNameEntries, "VMD Load Error : ノード情報格納用のメモリの確保に失敗しました\n");
    if (read->morphNames.entries == nullptr) {
        return false;
    }
    if (read->morphKeyCount == 0) {
        return true;
    }
    read->morphKeys = Tracked<VmdMorphKey>(
        read->morphKeyCount, "PMD Load Error : 表情キーを格納するメモリの確保に失敗しました\n");
    if (read->morphKeys == nullptr) {
        return false;
    }
    for (uint32_t i = 0; i < read->morphKeyCount; ++i) {
        const uint8_t* p = read->morphKeyBytes + uint64_t{i} * kVmdMorphKeyBytes;
        VmdMorphKey* key = &read->morphKeys[i];
        key->frame = ReadU32(p + kVmdNameBytes);
        VmdNameEntry* entry =
            FrameInRange(key->frame) ? FindOrAddName(&read->morphNames, p) : nullptr;
        if (entry == nullptr) {
            return false;
        }
        key->weight = ReadF32(p + 19);
        InsertKey(entry, key);
    }
    return true;
}

uint32_t LargestFrame(const NameTable& table, uint32_t from) {
    for (int i = 0; i < table.count; ++i) {
        from = table.entries[i].largest > from ? table.entries[i].largest : from;
    }
    return from;
}

bool MapFramesToBones(VmdRead* read) {
    const int32_t frames = read->model->frameCount;
    read->boneOfFrame =
        Tracked<int32_t>(static_cast<uint64_t>(frames > 0 ? frames : 1),
                         "VMD Load Error : ノード情報格納用のメモリの確保に失敗しました\n");
    if (read->boneOfFrame == nullptr) {
        return false;
    }
    for (int32_t i = 0; i < frames; ++i) {
        read->boneOfFrame[i] = -1;
    }
    for (int b = 0; b < read->boneCount; ++b) {
        const ReadModelFrame* frame = read->bones[b].frame;
        if (frame != nullptr && frame->index >= 0 && frame->index < frames &&
            read->boneOfFrame[frame->index] < 0) {
            read->boneOfFrame[frame->index] = b;
        }
    }
    return true;
}

// The bone whose frame's whole name is the entry's, the first such frame in
// the model's list; null when there is none.
PmdBoneWork* BoneOfName(const VmdRead* read, const char* name) {
    for (const ReadModelFrame* f = read->model->firstFrame; f != nullptr; f = f->next) {
        if (f->name == nullptr || CompareText(f->name, name) != 0) {
            continue;
        }
        const bool mapped = f->index >= 0 && f->index < read->model->frameCount;
        const int32_t bone = mapped ? read->boneOfFrame[f->index] : -1;
        return bone >= 0 ? &read->bones[bone] : nullptr;
    }
    return nullptr;
}

ReadModelKeySet* NewKeySet(ReadModel* model, ReadModelAnim* anim, int word, float length,
                           int32_t keyCount, const char* line) {
    ReadModelKeySet* keys = ReadModelNewKeySet(model, anim);
    if (keys == nullptr) {
        WriteLog(line);
        return nullptr;
    }
    keys->kind = static_cast<uint8_t>(word & 0xFF);
    keys->target = static_cast<uint8_t>(word >> 8);
    keys->hasTimeTable = 1;
    keys->length = length;
    keys->keyCount = keyCount;
    return keys;
}

// The bone's animation and its two key sets of keyCount keys, the bone's
// baked arrays pointing into them.
bool AddBoneAnimation(VmdRead* read, PmdBoneWork* bone, float animLength, float setLength,
                      int32_t keyCount, const char* translationLine, const char* rotationLine) {
    ReadModel* model = read->model;
    ReadModelAnim* anim = ReadModelNewAnim(model, read->set);
    char* name = anim != nullptr ? ReadModelCopyString(model, bone->frame->name) : nullptr;
    if (name == nullptr) {
        WriteLog("PMD Load Error : アニメーションの追加に失敗しました\n");
        return false;
    }
    anim->targetName = name;
    anim->targetIndex = bone->frame->index;
    anim->length = animLength;
    ReadModelKeySet* translations =
        NewKeySet(model, anim, kTranslationWord, setLength, keyCount, translationLine);
    ReadModelKeySet* rotations =
        translations != nullptr
            ? NewKeySet(model, anim, kRotationWord, setLength, keyCount, rotationLine)
            : nullptr;
    if (rotations == nullptr) {
        return false;
    }
    const char* timeLine =
        "PMD Load Error : アニメーションキータイムを格納するメモリ領域の確保に失敗しました\n";
    const char* valueLine =
        "PMD Load Error : アニメーションキーを格納するメモリ領域の確保に失敗しました\n";
    translations->times = ModelArray<float>(model, keyCount, timeLine);
    rotations->times =
        translations->times != nullptr ? ModelArray<float>(model, keyCount, timeLine) : nullptr;
    auto* positions =
        rotations->times != nullptr ? ModelArray<Vec3>(model, keyCount, valueLine) : nullptr;
    auto* turns = positions != nullptr ? ModelArray<PmdQuat>(model, keyCount, valueLine) : nullptr;
    if (turns == nullptr) {
        return false;
    }
    translations->values = positions;
    rotations->values = turns;
    model->keyDataBytes += keyCount * kBoneKeyBytes;
    bone->anim = anim;
    bone->translationTimes = translations->times;
    bone->rotationTimes = rotations->times;
    bone->bakedTranslations = positions;
    bone->bakedRotations = turns;
    bone->bakedCount = keyCount;
    return true;
}

// The keys the bake would make, counted before anything is allocated: the
// frame cap bounds one bone's keys, this bounds them all (a chain bone named
// by the motion is counted twice, which errs on the safe side).
bool BakedKeysWithinLimit(const VmdRead* read) {
    const uint64_t perChainBone = uint64_t{read->lastFrame} + 1;
    uint64_t total = 0;
    for (int i = 0; i < read->boneNames.count; ++i) {
        const VmdNameEntry* entry = &read->boneNames.entries[i];
        const PmdBoneWork* bone = BoneOfName(read, entry->name);
        if (bone != nullptr) {
            total += bone->inChain != 0 ? perChainBone : entry->largest - entry->smallest + 1;
        }
    }
    for (int b = 0; b < read->boneCount; ++b) {
        total += read->bones[b].inChain != 0 ? perChainBone : 0;
    }
    if (total <= kVmdBakedKeyLimit) {
        return true;
    }
    WriteLogFormat("VMD Load Error : 展開するキーの数 %llu が上限 %u を超えています",
                   static_cast<unsigned long long>(total), kVmdBakedKeyLimit);
    return false;
}

bool BakeBoneEntries(VmdRead* read) {
    const char* translationLine =
        "PMD Load Error : アニメーション座標キーセットの追加に失敗しました\n";
    const char* rotationLine =
        "PMD Load Error : アニメーション回転キーセットの追加に失敗しました\n";
    const float last = static_cast<float>(read->lastFrame);
    for (int i = 0; i < read->boneNames.count; ++i) {
        VmdNameEntry* entry = &read->boneNames.entries[i];
        PmdBoneWork* bone = BoneOfName(read, entry->name);
        if (bone == nullptr || bone->anim != nullptr) {
            continue;
        }
        const bool chain = bone->inChain != 0;
        const float largest = static_cast<float>(entry->largest);
        const uint32_t span = chain ? read->lastFrame : entry->largest - entry->smallest;
        if (!AddBoneAnimation(read, bone, chain ? last : largest, largest,
                              static_cast<int32_t>(span + 1), translationLine, rotationLine)) {
            return false;
        }
        bone->entry = entry;
        BakeVmdBoneKeys(bone, entry, read->lastFrame);
    }
    return true;
}

// Bones the motion does not name: outside the chains they keep the rest
// pose; chain bones start every frame's solve from it, their keys the solve's.
bool PoseUnnamedBones(VmdRead* read) {
    const char* line = "PMD Load Error : アニメーションキーセットの追加に失敗しました\n";
    const float last = static_cast<float>(read->lastFrame);
    const int32_t keyCount = static_cast<int32_t>(read->lastFrame + 1);
    for (int b = 0; b < read->boneCount; ++b) {
        PmdBoneWork* bone = &read->bones[b];
        if (bone->anim != nullptr) {
            bone->cursor = static_cast<VmdBoneKey*>(bone->entry->firstKey);
            continue;
        }
        if (bone->frame == nullptr) {
            continue;
        }
        if (bone->inChain == 0) {
            bone->poseTranslation = bone->frame->translation;
            bone->poseRotation = PmdQuat{0.0f, 0.0f, 0.0f, 1.0f};
            continue;
        }
        bone->fixedPose = 1;
        if (!AddBoneAnimation(read, bone, last, last, keyCount, line, line)) {
            return false;
        }
    }
    return true;
}

// The position of the named shape in the list of the model's first frame
// (the model's "Mesh"); -1 when there is none.
int32_t ShapePosition(const ReadModel* model, const char* name) {
    const ReadModelFrame* mesh = model->firstFrame;
    int32_t position = 0;
    for (const ReadModelShape* s = mesh != nullptr ? mesh->firstShape : nullptr; s != nullptr;
         s = s->nextInFrame, ++position) {
        if (s->name != nullptr && CompareText(s->name, name) == 0) {
            return position;
        }
    }
    return -1;
}

bool AddMorphKeys(ReadModel* model, ReadModelAnim* anim, const VmdNameEntry* entry, int32_t shape) {
    const float largest = static_cast<float>(entry->largest);
    anim->length = largest > anim->length ? largest : anim->length;
    const auto count = static_cast<int32_t>(entry->keyCount);
    ReadModelKeySet* keys =
        NewKeySet(model, anim, kMorphWord, largest, count,
                  "PMD Load Error : アニメーション表情キーセットの追加に失敗しました\n");
    if (keys == nullptr) {
        return false;
    }
    keys->sourceWord = shape;
    const char* line =
        "PMD Load Error : アニメーションキーを格納するメモリ領域の確保に失敗しました\n";
    keys->times = ModelArray<float>(model, count, line);
    auto* weights = keys->times != nullptr ? ModelArray<float>(model, count, line) : nullptr;
    if (weights == nullptr) {
        return false;
    }
    keys->values = weights;
    int32_t k = 0;
    for (auto* key = static_cast<const VmdMorphKey*>(entry->firstKey); key != nullptr;
         key = key->next, ++k) {
        keys->times[k] = static_cast<float>(key->frame);
        weights[k] = key->weight;
    }
    model->keyDataBytes += count * kMorphKeyBytes;
    return true;
}

bool AddMorphAnimation(VmdRead* read) {
    if (read->morphKeyCount == 0) {
        return true;
    }
    ReadModel* model = read->model;
    ReadModelAnim* anim = ReadModelNewAnim(model, read->set);
    char* name = anim != nullptr ? ReadModelCopyString(model, "Mesh") : nullptr;
    if (name == nullptr) {
        WriteLog("PMD Load Error : アニメーションの追加に失敗しました\n");
        return false;
    }
    anim->targetName = name;
    anim->targetIndex = 0;
    anim->length = 0.0f;
    for (int i = 0; i < read->morphNames.count; ++i) {
        const VmdNameEntry* entry = &read->morphNames.entries[i];
        const int32_t shape = ShapePosition(model, entry->name);
        if (shape >= 0 && !AddMorphKeys(model, anim, entry, shape)) {
            return false;
        }
    }
    return true;
}

bool ReadMotion(VmdRead* read, const char* setName, const uint8_t* image, uint32_t imageSize) {
    if (!LocateSections(read, image, imageSize) || !ChainsInBounds(read) || !ReadBoneKeys(read) ||
        !ReadMorphKeys(read) || !MapFramesToBones(read)) {
        return false;
    }
    read->lastFrame = LargestFrame(read->morphNames, LargestFrame(read->boneNames, 0));
    if (!BakedKeysWithinLimit(read)) {
        return false;
    }
    read->set = ReadModelNewAnimSet(read->model, setName);
    if (read->set == nullptr) {
        WriteLog("PMD Load Error : アニメーションセットの追加に失敗しました\n");
        return false;
    }
    read->set->start = 0.0f;
    read->set->timeBase = static_cast<float>(read->lastFrame);
    if (!BakeBoneEntries(read) || !PoseUnnamedBones(read)) {
        return false;
    }
    BakeVmdIk(read->bones, read->boneCount, read->chains, read->lastFrame);
    return AddMorphAnimation(read);
}

}  // namespace

void ReleasePmdBoneKeys(PmdBoneWork* bones, int boneCount) {
    for (int b = 0; b < boneCount; ++b) {
        PmdBoneWork* bone = &bones[b];
        bone->anim = nullptr;
        bone->bakedTranslations = nullptr;
        bone->bakedRotations = nullptr;
        bone->translationTimes = nullptr;
        bone->rotationTimes = nullptr;
        bone->bakedCount = 0;
        bone->entry = nullptr;
        bone->cursor = nullptr;
        bone->fixedPose = 0;
    }
}

int LoadVmdMotion(ReadModel* model, const char* setName, const uint8_t* image, uint32_t imageSize,
                  PmdBoneWork* bones, int boneCount, PmdIkChain* firstChain) {
    if (imageSize < kVmdMagicBytes || CompareMemory(image, kVmdMagic, kVmdMagicBytes) != 0) {
        return -1;
    }
    ReleasePmdBoneKeys(bones, boneCount);
    VmdRead read{};
    read.model = model;
    read.bones = bones;
    read.boneCount = boneCount;
    read.chains = firstChain;
    const ModelMark mark = MarkModel(model);
    const bool loaded = ReadMotion(&read, setName, image, imageSize);
    FreeRead(&read);
    ReleasePmdBoneKeys(bones, boneCount);
    if (!loaded) {
        CutBackTo(model, mark);
        return -1;
    }
    return 0;
}

}  // namespace tessel
