// The TSM animation records: key sets with their packed counts, times and
// values decoded into the base's key data, animation sets, and animations
// entered in the table of set x frame. Key data, key-set runs and table
// places are checked against what the header sized.
#include <cstring>

#include "models/tsm/tsm_reader_internal.h"

namespace tessel {

namespace {

using namespace tsm_header;

constexpr float kTwoPi = 6.2831855f;
constexpr float kPi = 3.1415927f;

int ValueFloats(uint8_t kind) {
    switch (kind) {
        case 0:
        case 7:
            return 4;
        case 1:
            return 3;
        case 5:
            return 1;
        default:
            return 0;
    }
}

float* TakeKeyFloats(TsmReader* r, int64_t count) {
    if (count * 4 > r->keyEnd - r->keyCursor) {
        return nullptr;
    }
    auto* at = reinterpret_cast<float*>(r->keyCursor);
    r->keyCursor += 4 * count;
    return at;
}

bool ReadQuantiser(TsmCursor* in, float* base, float* step) {
    const uint8_t first = TsmReadU8(in);
    const uint8_t second = TsmReadU8(in);
    return DecodeTsmQuantiser(first, second, base, step) == 0;
}

bool ReadKeyCount(TsmCursor* in, uint16_t flags, int32_t* count) {
    if ((flags & kTsmKeyCountByte) != 0) {
        *count = TsmReadU8(in);
    } else if ((flags & kTsmKeyCount16) != 0) {
        *count = TsmReadU16(in);
    } else {
        const uint32_t stored = TsmReadU32(in);
        *count = stored > 0x7FFFFFFFu ? 0 : static_cast<int32_t>(stored);
    }
    return *count > 0;
}

bool ReadTimes(TsmCursor* in, uint16_t flags, ModelKeySet* set, float* times) {
    if ((flags & kTsmKeyEven) != 0) {
        set->hasTimeTable = 0;
        set->startTime = (flags & kTsmKeyStart16) != 0     ? static_cast<float>(TsmReadU16(in))
                         : (flags & kTsmKeyStartZero) != 0 ? 0.0f
                                                           : TsmReadFloat(in);
        set->timeStep =
            (flags & kTsmKeyStep16) != 0 ? static_cast<float>(TsmReadU16(in)) : TsmReadFloat(in);
        return true;
    }
    set->hasTimeTable = 1;
    set->times = times;
    if (times == nullptr) {
        return false;
    }
    float base = 0.0f;
    float step = 1.0f;
    const bool quantised = (flags & kTsmKeyTimesQuantised) != 0;
    if (quantised && !ReadQuantiser(in, &base, &step)) {
        return false;
    }
    for (int32_t k = 0; k < set->keyCount && in->ok != 0; ++k) {
        times[k] = quantised ? static_cast<float>(TsmReadU16(in)) * step + base : TsmReadFloat(in);
    }
    return true;
}

bool ReadValues(TsmCursor* in, uint16_t flags, int64_t floats, float* values) {
    if ((flags & kTsmKeyValuesPacked) == 0) {
        for (int64_t i = 0; i < floats && in->ok != 0; ++i) {
            values[i] = TsmReadFloat(in);
        }
        return true;
    }
    const bool angles = (flags & (kTsmKeyAngle | kTsmKeyAngleSigned)) != 0;
    float base = 0.0f;
    float step = 1.0f;
    if (!angles && !ReadQuantiser(in, &base, &step)) {
        return false;
    }
    for (int64_t i = 0; i < floats && in->ok != 0; ++i) {
        const float stored = static_cast<float>(TsmReadU16(in));
        if (!angles) {
            values[i] = stored * step + base;
        } else {
            const float angle = stored * kTwoPi / 65535.0f;
            values[i] = (flags & kTsmKeyAngleSigned) != 0 ? angle - kPi : angle;
        }
    }
    return true;
}

bool FillKeySet(TsmReader* r, uint32_t at, ModelKeySet* set) {
    set->kind = TsmGetByte(r, at);
    set->target = TsmGetByte(r, at + 1);
    const uint16_t flags = TsmGetHalf(r, at + 2);
    const int floatsPerKey = ValueFloats(set->kind);
    if (r->ok == 0 || floatsPerKey == 0) {
        return false;
    }
    TsmCursor in = TsmCursorAt(r->body, TsmGetWord(r, at + 4));
    if (set->target == kTsmShapeWeightTarget) {
        set->shapeIndex = static_cast<int16_t>(TsmReadU16(&in));
        if (set->shapeIndex < 0 || set->shapeIndex >= r->base->shapeCount) {
            return false;
        }
    }
    if ((flags & kTsmKeyOne) != 0) {
        set->keyCount = 1;
        set->timeStep = 1.0f;
        set->startTime = 0.0f;
        set->hasTimeTable = 0;
    } else if (!ReadKeyCount(&in, flags, &set->keyCount)) {
        return false;
    }
    set->values = TakeKeyFloats(r, int64_t{floatsPerKey} * set->keyCount);
    float* times =
        (flags & (kTsmKeyOne | kTsmKeyEven)) == 0 ? TakeKeyFloats(r, set->keyCount) : nullptr;
    if (set->values == nullptr ||
        ((flags & kTsmKeyOne) == 0 && !ReadTimes(&in, flags, set, times))) {
        return false;
    }
    return ReadValues(&in, flags, int64_t{floatsPerKey} * set->keyCount,
                      static_cast<float*>(set->values)) &&
           in.ok != 0;
}

bool FillKeySets(TsmReader* r) {
    ModelBase* base = r->base;
    base->keySetCount = static_cast<int32_t>(HeaderWord(r, kKeySetCount));
    const uint32_t first = HeaderWord(r, kFirstKeySet);
    const uint32_t stride = HeaderWord(r, kKeySetStride);
    if (base->keySetCount > 0 && TsmRangeInside(r->body, first, base->keySetCount, stride) == 0) {
        return TsmBad("キーセット");
    }
    for (int32_t i = 0; i < base->keySetCount; ++i) {
        if (!FillKeySet(r, first + stride * i, &base->keySets[i])) {
            return TsmBad("キーセット");
        }
    }
    base->keyDataUsed = static_cast<int32_t>(r->keyCursor - static_cast<uint8_t*>(base->keyData));
    return true;
}

bool FillAnimSet(TsmReader* r, uint32_t at, ModelAnimSet* set) {
    ModelBase* base = r->base;
    set->length = TsmGetFloat(r, at + 0x10);
    const uint32_t count = TsmGetWord(r, at + 0x14);
    const int32_t first = TsmPositionOf(TsmGetWord(r, at + 0x18), HeaderWord(r, kFirstAnim),
                                        HeaderWord(r, kAnimStride), base->animCount);
    const uint32_t flags = TsmGetWord(r, at + 0x2c);
    set->additive = (flags & 1) != 0 ? 1 : 0;
    set->matrixMode = (flags & 2) != 0 ? 1 : 0;
    if (!TsmRunInside(first, count, base->animCount)) {
        return false;
    }
    set->animCount = static_cast<int32_t>(count);
    set->anims = count > 0 ? &base->anims[first] : nullptr;
    return TsmName(r, TsmGetWord(r, at + 0x08), &set->name);
}

bool FillAnim(TsmReader* r, uint32_t at, ModelAnim* anim) {
    ModelBase* base = r->base;
    const int32_t set =
        TsmIndexOf(r, TsmGetWord(r, at + 0x04), 0x0c, kTsmAnimSetSize, base->animSetCount);
    anim->frame = static_cast<int32_t>(TsmGetWord(r, at + 0x08));
    const uint32_t count = TsmGetWord(r, at + 0x0c);
    anim->flag = static_cast<int32_t>(TsmGetWord(r, at + 0x10));
    const int32_t first = TsmPositionOf(TsmGetWord(r, at + 0x18), HeaderWord(r, kFirstKeySet),
                                        kTsmKeySetRefStride, base->keySetCount);
    if (set < 0 || anim->frame < 0 || anim->frame >= base->frameCount ||
        !TsmRunInside(first, count, base->keySetCount)) {
        return false;
    }
    anim->keySetCount = static_cast<int32_t>(count);
    anim->keySets = count > 0 ? &base->keySets[first] : nullptr;
    base->animTable[int64_t{set} * base->frameCount + anim->frame] = anim;
    return true;
}

}  // namespace

bool TsmFillAnimations(TsmReader* r) {
    ModelBase* base = r->base;
    base->animSetCount = static_cast<int32_t>(HeaderWord(r, kAnimSetCount));
    base->animCount = static_cast<int32_t>(HeaderWord(r, kAnimCount));
    const uint32_t first = HeaderWord(r, kFirstAnim);
    const uint32_t stride = HeaderWord(r, kAnimStride);
    if (!FillKeySets(r) ||
        !TsmWalkChain(r, HeaderWord(r, kFirstAnimSet), base->animSetCount, kTsmAnimSetSize, 0x0c,
                      "アニメーションセット", [r, base](uint32_t at, int32_t index) {
                          return FillAnimSet(r, at, &base->animSets[index]);
                      })) {
        return false;
    }
    if (base->animCount > 0 && TsmRangeInside(r->body, first, base->animCount, stride) == 0) {
        return TsmBad("アニメーション");
    }
    for (int32_t i = 0; i < base->animCount; ++i) {
        if (!FillAnim(r, first + stride * i, &base->anims[i])) {
            return TsmBad("アニメーション");
        }
    }
    return true;
}

}  // namespace tessel
