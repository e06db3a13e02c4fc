// Locating and bounding the PMD sections. Counts come from the file, so each
// is weighed against the bytes left before its records are stepped over;
// offsets are kept in 64 bits so no count can wrap them. The lists after the
// morphs are only stepped over on the way to the toon names: a file that
// ends inside them simply has no toon-name table.
#include "models/pmd/pmd_layout.h"

#include "foundation/memory/log.h"

namespace tessel {

namespace {

constexpr int kPmdCountsStart = 283;
constexpr uint32_t kVersionOne = 0x3F800000u;
constexpr int kEnglishHeadBytes = 20 + 256;
constexpr int kBoneDisplayNameBytes = 50;

class SectionWalk {
  public:
    SectionWalk(const uint8_t* image, int32_t size)
        : image_(image), size_(static_cast<uint64_t>(size)) {}

    const uint8_t* Here() const { return image_ + at_; }
    uint64_t Left() const { return at_ <= size_ ? size_ - at_ : 0; }
    bool Has(uint64_t bytes) const { return bytes <= Left(); }
    // Steps over `bytes` when they lie inside the image.
    bool Skip(uint64_t bytes) {
        if (!Has(bytes)) {
            return false;
        }
        at_ += bytes;
        return true;
    }
    // A count of `width` bytes followed by count records of `record` bytes;
    // false when either does not fit.
    bool Counted(int width, uint64_t record, uint32_t* count, const uint8_t** records) {
        if (!Has(static_cast<uint64_t>(width))) {
            return false;
        }
        const uint8_t* p = Here();
        *count = width == 1 ? p[0] : width == 2 ? PmdU16(p) : PmdU32(p);
        at_ += static_cast<uint64_t>(width);
        *records = Here();
        return Skip(record * *count);
    }

  private:
    const uint8_t* image_;
    uint64_t size_;
    uint64_t at_ = kPmdCountsStart;
};

int Truncated(const char* section) {
    WriteLogFormat("PMD Load Error : %s がファイルの終わりを越えています", section);
    return -1;
}

int OutOfRange(const char* what, uint32_t record, uint32_t value) {
    WriteLogFormat("PMD Load Error : No.%u の%sが範囲外の番号 %u を指しています", record, what,
                   value);
    return -1;
}

int CheckVertices(const PmdLayout& l) {
    for (uint32_t v = 0; v < l.vertexCount && l.boneCount != 0; ++v) {
        const uint8_t* record = l.vertices + static_cast<size_t>(kPmdVertexBytes) * v;
        for (int k = 0; k < 2; ++k) {
            const uint16_t bone = PmdU16(record + 32 + 2 * k);
            if (bone >= l.boneCount) {
                return OutOfRange("頂点のボーン", v, bone);
            }
        }
    }
    return 0;
}

int CheckIndices(const PmdLayout& l) {
    const uint32_t corners = l.indexCount / 3 * 3;
    for (uint32_t i = 0; i < corners; ++i) {
        const uint16_t vertex = PmdU16(l.indices + 2 * i);
        if (vertex >= l.vertexCount) {
            return OutOfRange("頂点インデックス", i, vertex);
        }
    }
    return 0;
}

// The materials take the faces in order; together they may take no more
// faces than there are.
int CheckMaterials(const PmdLayout& l) {
    const uint32_t faces = l.indexCount / 3;
    uint32_t taken = 0;
    for (uint32_t m = 0; m < l.materialCount; ++m) {
        const uint8_t* record = l.materials + static_cast<size_t>(kPmdMaterialBytes) * m;
        const uint8_t toon = record[44];
        if (toon != kPmdNoToon && toon >= kPmdToonNames) {
            return OutOfRange("マテリアルのトゥーン", m, toon);
        }
        const uint32_t n = PmdU32(record + 46);
        if (n == 0) {
            continue;
        }
        const uint32_t mine = (n - 1) / 3 + 1;
        if (mine > faces - taken) {
            return OutOfRange("マテリアルの面", m, taken + mine);
        }
        taken += mine;
    }
    return 0;
}

int CheckBones(const PmdLayout& l) {
    for (uint32_t b = 0; b < l.boneCount; ++b) {
        const uint16_t parent = PmdU16(l.bones + static_cast<size_t>(kPmdBoneBytes) * b + 20);
        if (parent != kPmdNoBone && parent >= l.boneCount) {
            return OutOfRange("ボーンの親", b, parent);
        }
    }
    return 0;
}

int LocateIks(SectionWalk* walk, PmdLayout* l) {
    if (!walk->Has(2)) {
        return Truncated("ＩＫ");
    }
    l->ikCount = PmdU16(walk->Here());
    walk->Skip(2);
    l->iks = walk->Here();
    for (uint32_t k = 0; k < l->ikCount; ++k) {
        const uint8_t* ik = walk->Here();
        if (!walk->Has(kPmdIkHeadBytes) || !walk->Skip(NextPmdIk(ik) - ik)) {
            return Truncated("ＩＫ");
        }
        const uint16_t ends[2] = {PmdU16(ik), PmdU16(ik + 2)};
        for (uint16_t bone : ends) {
            if (bone >= l->boneCount) {
                return OutOfRange("ＩＫのボーン", k, bone);
            }
        }
        for (int c = 0; c < ik[4]; ++c) {
            const uint16_t bone = PmdU16(ik + kPmdIkHeadBytes + 2 * c);
            if (bone >= l->boneCount) {
                return OutOfRange("ＩＫのボーン", k, bone);
            }
        }
    }
    return 0;
}

// Base entries name mesh vertices; the other morphs' entries name base
// entries.
int LocateMorphs(SectionWalk* walk, PmdLayout* l) {
    if (!walk->Has(2)) {
        return Truncated("表情");
    }
    l->morphCount = PmdU16(walk->Here());
    walk->Skip(2);
    l->morphs = walk->Here();
    uint32_t baseEntries = 0;
    for (uint32_t s = 0; s < l->morphCount; ++s) {
        const uint8_t* morph = walk->Here();
        if (!walk->Has(kPmdMorphHeadBytes)) {
            return Truncated("表情");
        }
        const uint32_t entries = PmdU32(morph + 20);
        walk->Skip(kPmdMorphHeadBytes);
        const uint8_t* first = walk->Here();
        if (!walk->Skip(static_cast<uint64_t>(kPmdMorphEntryBytes) * entries)) {
            return Truncated("表情");
        }
        const uint32_t limit = s == 0 ? l->vertexCount : baseEntries;
        for (uint32_t e = 0; e < entries; ++e) {
            const uint32_t index = PmdU32(first + static_cast<size_t>(kPmdMorphEntryBytes) * e);
            if (index >= limit) {
                return OutOfRange("表情の頂点", s, index);
            }
        }
        if (s == 0) {
            baseEntries = entries;
        }
    }
    return 0;
}

// The display lists, the English names and then the toon names, each only
// as far as the file reaches.
void LocateToonNames(SectionWalk* walk, PmdLayout* l) {
    l->toonNames = nullptr;
    uint32_t count = 0;
    const uint8_t* records = nullptr;
    uint32_t boneDisplayNames = 0;
    if (!walk->Counted(1, 2, &count, &records) ||
        !walk->Counted(1, kBoneDisplayNameBytes, &boneDisplayNames, &records) ||
        !walk->Counted(4, 3, &count, &records)) {
        return;
    }
    if (walk->Has(1)) {
        const uint8_t english = *walk->Here();
        walk->Skip(1);
        // A model without morphs has no morph names here: one per morph
        // after the base.
        const uint64_t morphNames = l->morphCount > 0 ? l->morphCount - 1 : 0;
        const uint64_t bytes = kEnglishHeadBytes + uint64_t{kPmdNameBytes} * l->boneCount +
                               uint64_t{kPmdNameBytes} * morphNames +
                               uint64_t{kBoneDisplayNameBytes} * boneDisplayNames;
        if (english != 0 && !walk->Skip(bytes)) {
            return;
        }
    }
    if (walk->Has(uint64_t{kPmdToonNames} * kPmdToonNameBytes)) {
        l->toonNames = walk->Here();
    }
}

}  // namespace

int LocatePmdSections(const uint8_t* image, int32_t size, PmdLayout* out) {
    *out = PmdLayout{};
    if (image == nullptr || size < 3 || std::memcmp(image, "Pmd", 3) != 0) {
        return -2;
    }
    if (size < 7) {
        return Truncated("ヘッダ");
    }
    if (PmdU32(image + 3) != kVersionOne) {
        WriteLogFormat("PMD Load Error : バージョン１．０以外は読み込めません");
        return -1;
    }
    if (size < kPmdCountsStart) {
        return Truncated("ヘッダ");
    }
    SectionWalk walk(image, size);
    if (!walk.Counted(4, kPmdVertexBytes, &out->vertexCount, &out->vertices)) {
        return Truncated("頂点データ");
    }
    if (!walk.Counted(4, 2, &out->indexCount, &out->indices)) {
        return Truncated("頂点インデックス");
    }
    if (!walk.Counted(4, kPmdMaterialBytes, &out->materialCount, &out->materials)) {
        return Truncated("マテリアル");
    }
    if (!walk.Counted(2, kPmdBoneBytes, &out->boneCount, &out->bones)) {
        return Truncated("ボーン");
    }
    if (LocateIks(&walk, out) != 0 || LocateMorphs(&walk, out) != 0) {
        return -1;
    }
    if (CheckVertices(*out) != 0 || CheckIndices(*out) != 0 || CheckMaterials(*out) != 0 ||
        CheckBones(*out) != 0) {
        return -1;
    }
    LocateToonNames(&walk, out);
    return 0;
}

}  // namespace tessel
