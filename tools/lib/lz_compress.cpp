#include "tools/lib/lz_compress.h"

#include <algorithm>
#include <cstring>

#include "foundation/files/lz.h"

namespace tessel {
namespace {

constexpr uint32_t kMinMatch = 4;
constexpr uint32_t kMaxShortLength = 35;  // without the extension byte
constexpr uint32_t kMaxLength = 8195;
constexpr uint32_t kMaxDistance = 1u << 24;
constexpr int kHashBits = 17;
constexpr uint32_t kNoPosition = 0xFFFFFFFFu;

struct LevelSettings {
    int maxChain;         // candidates examined per position
    uint32_t niceLength;  // a match this long ends the search and the lazy look-ahead
};

constexpr LevelSettings kLevels[kLzMaxLevel + 1] = {
    {0, 0},    {4, 16},    {8, 32},     {16, 64},     {32, 128},
    {64, 256}, {128, 512}, {256, 1024}, {1024, 4096}, {4096, kMaxLength},
};

struct Match {
    uint32_t length = 0;
    uint32_t distance = 0;
    int gain = 0;  // bytes saved against sending the same bytes as literals
};

uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void AppendU32(std::vector<uint8_t>* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out->push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

// The least frequent byte value costs the least as the escape.
uint8_t ChooseEscape(const uint8_t* data, size_t size) {
    size_t counts[256] = {};
    for (size_t i = 0; i < size; ++i) {
        ++counts[data[i]];
    }
    return static_cast<uint8_t>(std::min_element(counts, counts + 256) - counts);
}

// Whether a match of this length may use the "previous distance + 1" form:
// that form with the extension byte and all five low length bits set would
// need the code value 255 after the escape shift, which does not exist.
bool RepeatFormFits(uint32_t length) {
    return length <= kMaxShortLength || ((length - kMinMatch) & 31) != 31;
}

uint32_t MatchCost(uint32_t length, uint32_t distance, uint32_t previousDistance) {
    uint32_t cost = 2 + (length > kMaxShortLength ? 1 : 0);
    if (distance == previousDistance + 1 && RepeatFormFits(length)) {
        return cost;
    }
    if (distance <= 0x100) {
        return cost + 1;
    }
    if (distance <= 0x10000) {
        return cost + 2;
    }
    return cost + 3;
}

class Encoder {
  public:
    Encoder(const uint8_t* data, uint32_t size, int level)
        : data_(data),
          size_(size),
          settings_(kLevels[std::clamp(level, kLzMinLevel, kLzMaxLevel)]),
          escape_(ChooseEscape(data, size)),
          head_(size_t{1} << kHashBits, kNoPosition),
          previous_(size),
          escapesBefore_(size_t{size} + 1) {
        for (uint32_t i = 0; i < size; ++i) {
            escapesBefore_[i + 1] = escapesBefore_[i] + (data[i] == escape_ ? 1 : 0);
        }
    }

    void Run(std::vector<uint8_t>* out) {
        out_ = out;
        out->clear();
        out->reserve(kLzHeaderSize + size_ + size_ / 64 + 16);
        AppendU32(out, size_);
        AppendU32(out, 0);  // the encoded size, filled in at the end
        out->push_back(escape_);
        EncodeBody();
        const uint32_t encodedSize = static_cast<uint32_t>(out->size());
        for (int i = 0; i < 4; ++i) {
            (*out)[4 + i] = static_cast<uint8_t>(encodedSize >> (8 * i));
        }
    }

  private:
    uint32_t Hash(uint32_t pos) const {
        return (Load32(data_ + pos) * 2654435761u) >> (32 - kHashBits);
    }

    void Insert(uint32_t pos) {
        if (pos + kMinMatch > size_) {
            return;
        }
        const uint32_t h = Hash(pos);
        previous_[pos] = head_[h];
        head_[h] = pos;
    }

    uint32_t LiteralCost(uint32_t pos, uint32_t length) const {
        return length + (escapesBefore_[pos + length] - escapesBefore_[pos]);
    }

    uint32_t CommonLength(uint32_t pos, uint32_t candidate, uint32_t limit) const {
        const uint8_t* a = data_ + pos;
        const uint8_t* b = data_ + candidate;
        uint32_t n = 0;
        while (n + 8 <= limit) {
            uint64_t x;
            uint64_t y;
            std::memcpy(&x, a + n, 8);
            std::memcpy(&y, b + n, 8);
            if (x != y) {
                return n + (__builtin_ctzll(x ^ y) >> 3);
            }
            n += 8;
        }
        while (n < limit && a[n] == b[n]) {
            ++n;
        }
        return n;
    }

    void Consider(Match* best, uint32_t pos, uint32_t length, uint32_t distance) const {
        if (length < kMinMatch) {
            return;
        }
        const int gain = static_cast<int>(LiteralCost(pos, length)) -
                         static_cast<int>(MatchCost(length, distance, previousDistance_));
        if (gain > best->gain) {
            *best = Match{length, distance, gain};
        }
    }

    // The most profitable match at pos among the hash chain and the
    // "previous distance + 1" candidate; gain 0 when none pays.
    Match FindMatch(uint32_t pos) const {
        Match best;
        const uint32_t limit = std::min(kMaxLength, size_ - pos);
        if (limit < kMinMatch) {
            return best;
        }
        const uint32_t repeat = previousDistance_ + 1;
        if (repeat <= pos && repeat <= kMaxDistance) {
            Consider(&best, pos, CommonLength(pos, pos - repeat, limit), repeat);
        }
        uint32_t candidate = head_[Hash(pos)];
        for (int chain = settings_.maxChain; chain > 0 && candidate != kNoPosition; --chain) {
            const uint32_t distance = pos - candidate;
            if (distance > kMaxDistance) {
                break;
            }
            // A candidate can only win by reaching past the best length so far.
            if (best.length < limit && data_[candidate + best.length] == data_[pos + best.length]) {
                Consider(&best, pos, CommonLength(pos, candidate, limit), distance);
                if (best.length >= settings_.niceLength || best.length == limit) {
                    break;
                }
            }
            candidate = previous_[candidate];
        }
        return best;
    }

    void EmitLiteral(uint32_t pos) {
        const uint8_t b = data_[pos];
        out_->push_back(b);
        if (b == escape_) {
            out_->push_back(b);
        }
    }

    void EmitMatch(uint32_t length, uint32_t distance) {
        const uint32_t lengthField = length - kMinMatch;
        uint32_t code = (lengthField & 31) << 3;
        if (length > kMaxShortLength) {
            code |= 4;
        }
        const bool repeat = distance == previousDistance_ + 1 && RepeatFormFits(length);
        const uint32_t d = distance - 1;
        if (repeat) {
            code |= 3;
        } else if (distance <= 0x100) {
            code |= 0;
        } else if (distance <= 0x10000) {
            code |= 1;
        } else {
            code |= 2;
        }
        out_->push_back(escape_);
        out_->push_back(static_cast<uint8_t>(code >= escape_ ? code + 1 : code));
        if (length > kMaxShortLength) {
            out_->push_back(static_cast<uint8_t>(lengthField >> 5));
        }
        if (!repeat) {
            out_->push_back(static_cast<uint8_t>(d));
            if (distance > 0x100) {
                out_->push_back(static_cast<uint8_t>(d >> 8));
            }
            if (distance > 0x10000) {
                out_->push_back(static_cast<uint8_t>(d >> 16));
            }
        }
        previousDistance_ = distance;
    }

    // Every position before pos goes into the chains, and pos itself not
    // yet, so that a search never finds the position it starts from.
    void InsertUpTo(uint32_t pos) {
        for (; inserted_ < pos; ++inserted_) {
            Insert(inserted_);
        }
    }

    void EncodeBody() {
        uint32_t pos = 0;
        while (pos < size_) {
            InsertUpTo(pos);
            Match match = FindMatch(pos);
            // Lazy matching: while the next position offers more, send this
            // byte as a literal and move on.
            while (match.gain > 0 && match.length < settings_.niceLength && pos + 1 < size_) {
                InsertUpTo(pos + 1);
                const Match next = FindMatch(pos + 1);
                if (next.gain <= match.gain) {
                    break;
                }
                EmitLiteral(pos);
                ++pos;
                match = next;
            }
            if (match.gain <= 0) {
                EmitLiteral(pos);
                ++pos;
                continue;
            }
            EmitMatch(match.length, match.distance);
            pos += match.length;
        }
    }

    const uint8_t* data_;
    uint32_t size_;
    LevelSettings settings_;
    uint8_t escape_;
    std::vector<uint32_t> head_;
    std::vector<uint32_t> previous_;
    std::vector<uint32_t> escapesBefore_;
    std::vector<uint8_t>* out_ = nullptr;
    uint32_t previousDistance_ = 0;
    uint32_t inserted_ = 0;
};

}  // namespace

int LzCompress(const void* src, size_t size, std::vector<uint8_t>* out, int level) {
    if (size > kLzMaxInput) {
        return -1;
    }
    Encoder encoder(static_cast<const uint8_t*>(src), static_cast<uint32_t>(size), level);
    encoder.Run(out);
    return 0;
}

}  // namespace tessel
