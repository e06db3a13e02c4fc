// The TSM envelope, the bounded body reads and the packed value decoders.
#include "models/tsm/tsm_body.h"

#include <cstring>

#include "foundation/files/lz.h"
#include "foundation/memory/log.h"
#include "foundation/memory/memory.h"

namespace tessel {

namespace {

const uint8_t kTsmMagic[kTsmMagicSize] = {'T', 'S', 'M', '1'};

// No three codes of the LZ format expand to more than 8195 bytes, so a
// header that claims more than this many bytes per packed byte is lying and
// must not make the reader allocate what it claims.
constexpr uint64_t kLzMostExpansion = 2732;

// Entries 0 to 15: 1 up to 10^15; 16 to 31: 1 down to 10^-15.
const float kQuantiserBases[32] = {
    1e0f,  1e1f,  1e2f,  1e3f,  1e4f,   1e5f,   1e6f,   1e7f,   1e8f,   1e9f,   1e10f,
    1e11f, 1e12f, 1e13f, 1e14f, 1e15f,  1e0f,   1e-1f,  1e-2f,  1e-3f,  1e-4f,  1e-5f,
    1e-6f, 1e-7f, 1e-8f, 1e-9f, 1e-10f, 1e-11f, 1e-12f, 1e-13f, 1e-14f, 1e-15f,
};
// Entries 0 to 7: 1 up to 10^7; 8 to 15: 1 down to 10^-7.
const float kQuantiserSteps[16] = {
    1e0f, 1e1f,  1e2f,  1e3f,  1e4f,  1e5f,  1e6f,  1e7f,
    1e0f, 1e-1f, 1e-2f, 1e-3f, 1e-4f, 1e-5f, 1e-6f, 1e-7f,
};

}  // namespace

int IsTsmImage(const void* image, int32_t size) {
    if (image == nullptr || size < static_cast<int32_t>(kTsmMagicSize)) {
        return 0;
    }
    return std::memcmp(image, kTsmMagic, kTsmMagicSize) == 0 ? 1 : 0;
}

int ExpandTsmBody(const void* image, int32_t size, TsmBody* body) {
    body->block = nullptr;
    body->end = 0;
    if (IsTsmImage(image, size) == 0) {
        return -1;
    }
    const uint8_t* packed = static_cast<const uint8_t*>(image) + kTsmMagicSize;
    const uint32_t packedSize = static_cast<uint32_t>(size) - kTsmMagicSize;
    const int expanded = LzExpand(packed, packedSize, nullptr, 0xFFFFFFFFu - kTsmMagicSize);
    if (expanded < 0 ||
        static_cast<uint64_t>(expanded) > static_cast<uint64_t>(packedSize) * kLzMostExpansion) {
        return -1;
    }
    const uint32_t total = static_cast<uint32_t>(expanded) + kTsmMagicSize;
    uint8_t* block = static_cast<uint8_t*>(AllocTracked(total, __FILE__, __LINE__));
    if (block == nullptr) {
        WriteLogFormat(
            "TSM LoadModel Error : 圧縮データを解凍するためのメモリ領域の確保に失敗しました");
        return -1;
    }
    std::memset(block, 0, kTsmMagicSize);
    if (LzExpand(packed, packedSize, block + kTsmMagicSize, static_cast<uint32_t>(expanded)) !=
        expanded) {
        FreeTracked(block);
        return -1;
    }
    body->block = block;
    body->end = total;
    return 0;
}

void FreeTsmBody(TsmBody* body) {
    if (body->block != nullptr) {
        FreeTracked(body->block);
    }
    body->block = nullptr;
    body->end = 0;
}

int TsmRangeInside(const TsmBody& body, uint32_t offset, uint64_t count, uint64_t stride) {
    if (offset < kTsmMagicSize || offset > body.end) {
        return 0;
    }
    if (stride != 0 && count > (body.end - offset) / stride) {
        return 0;
    }
    return 1;
}

uint32_t TsmWord(const TsmBody& body, uint32_t offset, int* ok) {
    if (TsmRangeInside(body, offset, 1, 4) == 0) {
        *ok = 0;
        return 0;
    }
    const uint8_t* p = body.block + offset;
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

TsmCursor TsmCursorAt(const TsmBody& body, uint32_t offset) {
    if (TsmRangeInside(body, offset, 0, 0) == 0) {
        return {nullptr, nullptr, 0};
    }
    return {body.block + offset, body.block + body.end, 1};
}

namespace {

// The next n bytes, or null (ok cleared) when they reach past the end.
const uint8_t* Take(TsmCursor* cursor, uint32_t n) {
    if (cursor->ok == 0 || static_cast<uint64_t>(cursor->end - cursor->at) < n) {
        cursor->ok = 0;
        return nullptr;
    }
    const uint8_t* p = cursor->at;
    cursor->at += n;
    return p;
}

}  // namespace

uint8_t TsmReadU8(TsmCursor* cursor) {
    const uint8_t* p = Take(cursor, 1);
    return p == nullptr ? 0 : p[0];
}

uint16_t TsmReadU16(TsmCursor* cursor) {
    const uint8_t* p = Take(cursor, 2);
    return p == nullptr ? 0 : static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t TsmReadU32(TsmCursor* cursor) {
    const uint8_t* p = Take(cursor, 4);
    if (p == nullptr) {
        return 0;
    }
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

float TsmReadFloat(TsmCursor* cursor) {
    const uint32_t bits = TsmReadU32(cursor);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

int DecodeTsmQuantiser(uint8_t first, uint8_t second, float* base, float* step) {
    if ((first & 0x80) != 0) {
        *base = 0.0f;
    } else {
        const int index = ((first >> 5) & 1) * 16 + (first & 0x1F);
        if (index >= 32) {
            return -1;
        }
        *base = (first & 0x40) != 0 ? -kQuantiserBases[index] : kQuantiserBases[index];
    }
    const int stepIndex = (second >> 7) * 8 + ((second >> 4) & 7);
    *step = static_cast<float>(second & 0x0F) * kQuantiserSteps[stepIndex];
    return 0;
}

float DecodeTsmPackedCoordinate(uint16_t value, float base, float range) {
    return static_cast<float>(value) * range / kTsmPositionScale + base;
}

int DecodeTsmWeights(TsmCursor* cursor, uint16_t flags, int maxWeights, int32_t* bones,
                     float* weights) {
    int count = 0;
    while (count < maxWeights) {
        int32_t bone;
        if ((flags & kTsmWideBoneIndex) != 0) {
            const uint16_t stored = TsmReadU16(cursor);
            bone = stored == 0xFFFF ? -1 : stored;
        } else {
            const uint8_t stored = TsmReadU8(cursor);
            bone = stored == 0xFF ? -1 : stored;
        }
        if (cursor->ok == 0) {
            return count;
        }
        bones[count] = bone;
        if (bone < 0) {
            return count;
        }
        if ((flags & kTsmWideWeight) != 0) {
            const uint16_t stored = TsmReadU16(cursor);
            weights[count] = stored == 0xFFFF ? 1.0f : static_cast<float>(stored) / 65535.0f;
        } else {
            const uint8_t stored = TsmReadU8(cursor);
            weights[count] = stored == 0xFF ? 1.0f : static_cast<float>(stored) / 255.0f;
        }
        ++count;
    }
    return count;
}

void DecodeTsmNormal(TsmCursor* cursor, uint16_t flags, float out[3]) {
    switch (flags & kTsmNormalBits) {
        case 1:
            for (int i = 0; i < 3; ++i) {
                out[i] = static_cast<float>(static_cast<int8_t>(TsmReadU8(cursor))) / 127.0f;
            }
            break;
        case 2:
            for (int i = 0; i < 3; ++i) {
                out[i] = static_cast<float>(static_cast<int16_t>(TsmReadU16(cursor))) / 32767.0f;
            }
            break;
        case 3:
            for (int i = 0; i < 3; ++i) {
                out[i] = TsmReadFloat(cursor);
            }
            break;
        default:
            break;
    }
}

}  // namespace tessel
