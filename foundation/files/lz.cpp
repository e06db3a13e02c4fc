#include "foundation/files/lz.h"

#include <climits>
#include <cstring>

#include "foundation/memory/log.h"

namespace tessel {
namespace {

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

void Store64(uint8_t* p, uint64_t v) {
    std::memcpy(p, &v, 8);
}

void Copy16(uint8_t* to, const uint8_t* from) {
    uint8_t chunk[16];
    std::memcpy(chunk, from, 16);
    std::memcpy(to, chunk, 16);
}

int Corrupt(const char* why) {
    WriteLogFormat("LZ 圧縮データの展開に失敗しました : %s", why);
    return -1;
}

// Copies a match whose bounds the caller has checked: from lies inside the
// output already written, op + length inside the output buffer. Where the
// buffer leaves room, whole 16- or 8-byte chunks are copied past the match
// end (the bytes there are written again later or lie beyond the decoded data
// but inside the buffer); otherwise the copy doubles its run, which equals the
// byte-by-byte overlapping copy.
void CopyMatch(uint8_t* op, const uint8_t* from, uint32_t length, uint32_t distance,
               const uint8_t* oend) {
    const size_t room = static_cast<size_t>(oend - op);
    // A long match that does not overlap what it writes is one plain copy.
    if (length >= 64 && distance >= length) {
        std::memcpy(op, from, length);
        return;
    }
    if (distance >= 16 && room >= static_cast<size_t>(length) + 16) {
        for (uint32_t i = 0; i < length; i += 16) {
            Copy16(op + i, from + i);
        }
        return;
    }
    if (distance >= 8 && room >= static_cast<size_t>(length) + 8) {
        for (uint32_t i = 0; i < length; i += 8) {
            Store64(op + i, Load64(from + i));
        }
        return;
    }
    if (distance == 1) {
        std::memset(op, *from, length);
        return;
    }
    uint32_t run = distance;
    while (length > run) {
        std::memcpy(op, from, run);
        op += run;
        length -= run;
        run *= 2;
    }
    std::memcpy(op, from, length);
}

// Returns the offset of the first byte equal to the escape in an 8-byte word,
// or 8 when there is none.
int EscapeIndex(uint64_t word, uint64_t escapes) {
    const uint64_t x = word ^ escapes;
    const uint64_t found = (x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull;
    if (found == 0) {
        return 8;
    }
    return __builtin_ctzll(found) >> 3;
}

int DecodeBody(const uint8_t* ip, const uint8_t* iend, uint8_t escape, uint8_t* dst,
               uint8_t* oend) {
    uint8_t* op = dst;
    const uint64_t escapes = 0x0101010101010101ull * escape;
    uint32_t previousDistance = 0;
    for (;;) {
        // Literals, eight at a time while both buffers have room for a whole word.
        while (iend - ip >= 8 && oend - op >= 8) {
            const uint64_t word = Load64(ip);
            const int literals = EscapeIndex(word, escapes);
            Store64(op, word);
            op += literals;
            ip += literals;
            if (literals < 8) {
                break;
            }
        }
        while (ip < iend && *ip != escape) {
            if (op == oend) {
                return Corrupt("リテラルが展開後のサイズを超える");
            }
            *op++ = *ip++;
        }
        if (ip == iend) {
            break;
        }
        if (iend - ip < 2) {
            return Corrupt("本体の末尾にエスケープバイト");
        }
        const uint32_t code = ip[1];
        ip += 2;
        if (code == escape) {
            if (op == oend) {
                return Corrupt("リテラルが展開後のサイズを超える");
            }
            *op++ = escape;
            continue;
        }
        const uint32_t c = code > escape ? code - 1 : code;
        uint32_t length = c >> 3;
        const uint32_t fieldBytes = (c & 4 ? 1 : 0) + ((c & 3) == 3 ? 0 : (c & 3) + 1);
        if (static_cast<size_t>(iend - ip) < fieldBytes) {
            return Corrupt("一致コードが本体の末尾で切れている");
        }
        if (c & 4) {
            length |= static_cast<uint32_t>(*ip++) << 5;
        }
        length += 4;
        uint32_t distance;
        switch (c & 3) {
            case 0:
                distance = static_cast<uint32_t>(ip[0]) + 1;
                ip += 1;
                break;
            case 1:
                distance = (static_cast<uint32_t>(ip[0]) | static_cast<uint32_t>(ip[1]) << 8) + 1;
                ip += 2;
                break;
            case 2:
                distance = (static_cast<uint32_t>(ip[0]) | static_cast<uint32_t>(ip[1]) << 8 |
                            static_cast<uint32_t>(ip[2]) << 16) +
                           1;
                ip += 3;
                break;
            default:
                distance = previousDistance + 1;
                break;
        }
        previousDistance = distance;
        if (distance > static_cast<size_t>(op - dst)) {
            return Corrupt("一致が出力の先頭より前を指す");
        }
        if (length > static_cast<size_t>(oend - op)) {
            return Corrupt("一致が展開後のサイズを超える");
        }
        CopyMatch(op, op - distance, length, distance, oend);
        op += length;
    }
    if (op != oend) {
        return Corrupt("展開後のサイズに届く前に本体が尽きた");
    }
    return 0;
}

}  // namespace

int LzExpand(const void* src, void* dst) {
    const uint8_t* header = static_cast<const uint8_t*>(src);
    // Asking for the size reads the header alone, whatever its encoded size says.
    const uint32_t srcSize = dst == nullptr ? kLzHeaderSize : ReadU32(header + 4);
    return LzExpand(src, srcSize, dst, ReadU32(header));
}

int LzExpand(const void* src, uint32_t srcSize, void* dst, uint32_t dstCapacity) {
    if (srcSize < kLzHeaderSize) {
        return Corrupt("ブロックがヘッダより短い");
    }
    const uint8_t* header = static_cast<const uint8_t*>(src);
    const uint32_t decodedSize = ReadU32(header);
    const uint32_t encodedSize = ReadU32(header + 4);
    if (decodedSize > static_cast<uint32_t>(INT_MAX)) {
        return Corrupt("展開後のサイズが大きすぎる");
    }
    if (dst == nullptr) {
        return static_cast<int>(decodedSize);
    }
    if (encodedSize < kLzHeaderSize || encodedSize > srcSize) {
        return Corrupt("圧縮サイズがブロックの範囲外");
    }
    if (decodedSize > dstCapacity) {
        return Corrupt("出力バッファが展開後のサイズより小さい");
    }
    uint8_t* out = static_cast<uint8_t*>(dst);
    if (DecodeBody(header + kLzHeaderSize, header + encodedSize, header[8], out,
                   out + decodedSize) != 0) {
        return -1;
    }
    return static_cast<int>(decodedSize);
}

}  // namespace tessel
