// LZ expansion: every code kind, sizes, and damaged data refused within bounds.
#include "foundation/files/lz.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "foundation/files/files_test_support.h"

namespace tessel {
namespace {

using Bytes = std::vector<uint8_t>;

// Writes blocks by hand, one code at a time, so that each code kind can be
// tried on its own.
class BlockBuilder {
  public:
    explicit BlockBuilder(uint8_t escape) : escape_(escape) {}

    BlockBuilder& Literal(uint8_t b) {
        body_.push_back(b);
        if (b == escape_) {
            body_.push_back(b);
        }
        return *this;
    }

    BlockBuilder& Literals(const std::string& text) {
        for (char ch : text) {
            Literal(static_cast<uint8_t>(ch));
        }
        return *this;
    }

    // kind: 0 one-byte, 1 two-byte, 2 three-byte distance field, 3 none.
    BlockBuilder& Match(uint32_t length, int kind, uint32_t distance = 0) {
        const uint32_t field = length - 4;
        uint32_t c = (field & 31) << 3 | static_cast<uint32_t>(kind);
        if (length > 35) {
            c |= 4;
        }
        body_.push_back(escape_);
        body_.push_back(static_cast<uint8_t>(c >= escape_ ? c + 1 : c));
        if (length > 35) {
            body_.push_back(static_cast<uint8_t>(field >> 5));
        }
        const uint32_t d = distance - 1;
        const int fieldBytes = kind == 3 ? 0 : kind + 1;
        for (int i = 0; i < fieldBytes; ++i) {
            body_.push_back(static_cast<uint8_t>(d >> (8 * i)));
        }
        return *this;
    }

    BlockBuilder& Raw(std::initializer_list<uint8_t> bytes) {
        body_.insert(body_.end(), bytes);
        return *this;
    }

    Bytes Build(uint32_t decodedSize) const {
        Bytes block(kLzHeaderSize);
        const uint32_t encodedSize = static_cast<uint32_t>(kLzHeaderSize + body_.size());
        for (int i = 0; i < 4; ++i) {
            block[i] = static_cast<uint8_t>(decodedSize >> (8 * i));
            block[4 + i] = static_cast<uint8_t>(encodedSize >> (8 * i));
        }
        block[8] = escape_;
        block.insert(block.end(), body_.begin(), body_.end());
        return block;
    }

  private:
    uint8_t escape_;
    Bytes body_;
};

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// Decodes through exactly sized heap copies, so that the sanitizer sees any
// step outside the block or the output.
struct Decoded {
    int result;
    Bytes output;
};

Decoded Expand(const Bytes& block, uint32_t capacity) {
    std::unique_ptr<uint8_t[]> src(new uint8_t[block.size()]);
    std::copy(block.begin(), block.end(), src.get());
    std::unique_ptr<uint8_t[]> dst(new uint8_t[capacity]);
    const int result =
        LzExpand(src.get(), static_cast<uint32_t>(block.size()), dst.get(), capacity);
    return {result, Bytes(dst.get(), dst.get() + (result > 0 ? result : 0))};
}

Decoded ExpandTrustingHeader(const Bytes& block) {
    const int size = LzExpand(block.data(), nullptr);
    std::unique_ptr<uint8_t[]> dst(new uint8_t[size]);
    const int result = LzExpand(block.data(), dst.get());
    return {result, Bytes(dst.get(), dst.get() + (result > 0 ? result : 0))};
}

// The byte-at-a-time copy that the run-doubling decoder must equal.
Bytes Repeat(const std::string& start, uint32_t distance, uint32_t length) {
    Bytes out = Text(start);
    for (uint32_t i = 0; i < length; ++i) {
        out.push_back(out[out.size() - distance]);
    }
    return out;
}

struct CodeCase {
    std::string name;
    Bytes block;
    Bytes expected;
};

std::vector<CodeCase> CodeCases() {
    std::vector<CodeCase> cases;
    auto add = [&](const std::string& name, const BlockBuilder& b, const Bytes& expected) {
        cases.push_back({name, b.Build(static_cast<uint32_t>(expected.size())), expected});
    };
    add("two escapes are the escape byte", BlockBuilder(0x41).Raw({0x41, 0x41}), Text("A"));
    add("plain literals", BlockBuilder(0xFF).Literals("hello"), Text("hello"));
    add("distance 1 length 10 repeats the last byte",
        BlockBuilder(0xFF).Literals("ab").Match(10, 0, 1), Text("abbbbbbbbbbb"));
    add("one-byte distance field, longest",
        BlockBuilder(0xFF).Literals("xyzw").Literals(std::string(252, 'q')).Match(4, 0, 256),
        Text("xyzw" + std::string(252, 'q') + "xyzw"));
    add("two-byte distance field",
        BlockBuilder(0xFF).Literals("abcd").Literals(std::string(300, '-')).Match(4, 1, 304),
        Text("abcd" + std::string(300, '-') + "abcd"));
    add("three-byte distance field",
        BlockBuilder(0xFF)
            .Literals("wxyz")
            .Match(8195, 0, 1)
            .Match(8195, 0, 1)
            .Match(8195, 0, 1)
            .Match(8195, 0, 1)
            .Match(8195, 0, 1)
            .Match(8195, 0, 1)
            .Match(8195, 0, 1)
            .Match(8195, 0, 1)
            .Match(4, 2, 65564),
        Text("wxyz" + std::string(65560, 'z') + "wxyz"));
    add("longest short length", BlockBuilder(0xFF).Literals("ab").Match(35, 0, 2),
        Repeat("ab", 2, 35));
    add("length extension byte, shortest", BlockBuilder(0xFF).Literals("abc").Match(36, 0, 3),
        Repeat("abc", 3, 36));
    add("length extension byte, longest", BlockBuilder(0xFF).Literals("abcde").Match(8195, 0, 5),
        Repeat("abcde", 5, 8195));
    add("previous-distance code before any match takes distance 1",
        BlockBuilder(0xFF).Literals("xy").Match(5, 3), Text("xyyyyyy"));
    add("previous-distance code adds one to the last distance",
        BlockBuilder(0xFF).Literals("abcdef").Match(4, 0, 2).Match(4, 3), [] {
            Bytes out = Repeat("abcdef", 2, 4);
            for (int i = 0; i < 4; ++i) {
                out.push_back(out[out.size() - 3]);
            }
            return out;
        }());
    add("previous-distance code with the length extension",
        BlockBuilder(0xFF).Literals("0123456789").Match(4, 0, 7).Match(40, 3), [] {
            Bytes out = Repeat("0123456789", 7, 4);
            for (int i = 0; i < 40; ++i) {
                out.push_back(out[out.size() - 8]);
            }
            return out;
        }());
    // Escape 0x20: c = 0x21 stands for c' = 0x20 (length 8, one-byte
    // distance); c = 0x1F is c' = 0x1F itself (length 7, extension byte,
    // previous distance + 1).
    add("code just above the escape drops by one",
        BlockBuilder(0x20).Literals("abc").Raw({0x20, 0x21, 0x02}), Repeat("abc", 3, 8));
    add("code just below the escape stays",
        BlockBuilder(0x20).Literals("abc").Raw({0x20, 0x1F, 0x00}), Repeat("abc", 1, 7));
    add("escape 0 shifts every code", BlockBuilder(0x00).Literals("abc").Raw({0x00, 0x01, 0x02}),
        Repeat("abc", 3, 4));
    add("escape 255 shifts none", BlockBuilder(0xFF).Literals("abc").Raw({0xFF, 0x00, 0x02}),
        Repeat("abc", 3, 4));
    for (uint32_t distance : {2u, 3u, 5u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 33u}) {
        const std::string start =
            std::string("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ").substr(0, distance);
        add("overlapping copy at distance " + std::to_string(distance),
            BlockBuilder(0xFF).Literals(start).Match(300, 0, distance).Literals("end"), [&] {
                Bytes out = Repeat(start, distance, 300);
                out.insert(out.end(), {'e', 'n', 'd'});
                return out;
            }());
    }
    return cases;
}

TEST(LzExpand, EachCodeKindDecodesAsTheByteAtATimeCopy) {
    for (const CodeCase& c : CodeCases()) {
        SCOPED_TRACE(c.name);
        const Decoded bounded = Expand(c.block, static_cast<uint32_t>(c.expected.size()));
        EXPECT_EQ(bounded.result, static_cast<int>(c.expected.size()));
        EXPECT_EQ(bounded.output, c.expected);
        const Decoded trusting = ExpandTrustingHeader(c.block);
        EXPECT_EQ(trusting.result, static_cast<int>(c.expected.size()));
        EXPECT_EQ(trusting.output, c.expected);
    }
}

TEST(LzExpand, LargerOutputBufferKeepsBytesPastTheDecodedSize) {
    const Bytes block = BlockBuilder(0xFF).Literals("abcdefghijklmnopq").Match(40, 0, 17).Build(57);
    Bytes out(200, 0xEE);
    ASSERT_EQ(LzExpand(block.data(), static_cast<uint32_t>(block.size()), out.data(), 200), 57);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 57), Repeat("abcdefghijklmnopq", 17, 40));
    for (size_t i = 57; i < out.size(); ++i) {
        ASSERT_EQ(out[i], 0xEE) << i;
    }
}

TEST(LzExpand, SizeOnlyCallsReturnTheDecodedSizeAndTouchNothing) {
    const Bytes block = BlockBuilder(0xFF).Literals("abc").Match(4, 0, 3).Build(7);
    EXPECT_EQ(LzExpand(block.data(), nullptr), 7);
    // A caller may read just the header to learn the size.
    EXPECT_EQ(LzExpand(block.data(), kLzHeaderSize, nullptr, 0), 7);
    EXPECT_EQ(LzExpand(block.data(), kLzHeaderSize - 1, nullptr, 0), -1);
    // The header alone answers, whatever its encoded-size field holds.
    for (uint32_t encoded : {0u, 1u, 8u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(encoded);
        Bytes header(block.begin(), block.begin() + kLzHeaderSize);
        header[4] = uint8_t(encoded);
        header[5] = uint8_t(encoded >> 8);
        header[6] = uint8_t(encoded >> 16);
        header[7] = uint8_t(encoded >> 24);
        EXPECT_EQ(LzExpand(header.data(), nullptr), 7);
    }
}

TEST(LzExpand, EmptyBlockDecodesToNothing) {
    const Bytes block = BlockBuilder(0x00).Build(0);
    uint8_t out = 0x5A;
    EXPECT_EQ(LzExpand(block.data(), &out), 0);
    EXPECT_EQ(LzExpand(block.data(), kLzHeaderSize, &out, 1), 0);
    EXPECT_EQ(out, 0x5A);
}

TEST(LzExpand, CorruptBlocksFail) {
    struct Case {
        const char* name;
        Bytes block;
        uint32_t capacity;
    };
    Bytes shortEncoded = BlockBuilder(0xFF).Literals("ab").Build(2);
    shortEncoded[4] = 8;
    Bytes longEncoded = BlockBuilder(0xFF).Literals("ab").Build(2);
    longEncoded[4] = 12;
    Bytes hugeDecoded = BlockBuilder(0xFF).Literals("ab").Build(0x80000000u);
    const Case cases[] = {
        {"empty body with a decoded size", BlockBuilder(0xFF).Build(5), 5},
        {"body ends before the decoded size", BlockBuilder(0xFF).Literals("abc").Build(4), 4},
        {"literals past the decoded size", BlockBuilder(0xFF).Literals("abcde").Build(4), 4},
        {"escaped literal past the decoded size", BlockBuilder(0x61).Literals("ba").Build(1), 1},
        {"match past the decoded size", BlockBuilder(0xFF).Literals("ab").Match(5, 0, 1).Build(6),
         6},
        {"match before the output start", BlockBuilder(0xFF).Literals("ab").Match(4, 0, 3).Build(6),
         6},
        {"first match before the output start", BlockBuilder(0xFF).Match(4, 0, 1).Build(4), 4},
        {"escape as the last body byte", BlockBuilder(0xFF).Literals("ab").Raw({0xFF}).Build(3), 3},
        {"missing length extension", BlockBuilder(0xFF).Literals("ab").Raw({0xFF, 0x04}).Build(40),
         40},
        {"missing distance byte", BlockBuilder(0xFF).Literals("ab").Raw({0xFF, 0x00}).Build(6), 6},
        {"half a two-byte distance",
         BlockBuilder(0xFF).Literals("ab").Raw({0xFF, 0x01, 0x00}).Build(6), 6},
        {"two thirds of a three-byte distance",
         BlockBuilder(0xFF).Literals("ab").Raw({0xFF, 0x02, 0x00, 0x00}).Build(6), 6},
        {"encoded size below the header", shortEncoded, 2},
        {"encoded size past the block", longEncoded, 2},
        {"decoded size past the output buffer", BlockBuilder(0xFF).Literals("abc").Build(3), 2},
        {"decoded size beyond an int", hugeDecoded, 2},
        {"block shorter than a header", Bytes{1, 0, 0, 0, 10, 0, 0}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Expand(c.block, c.capacity).result, -1);
    }
    EXPECT_EQ(LzExpand(hugeDecoded.data(), nullptr), -1);
}

TEST(LzExpand, AFailureWritesOneLogLineNamingTheCause) {
    tessel_test::LogScope log;
    const Bytes block = BlockBuilder(0xFF).Literals("ab").Match(4, 0, 3).Build(6);
    EXPECT_EQ(Expand(block, 6).result, -1);
    EXPECT_EQ(log.Text(), "T:LZ 圧縮データの展開に失敗しました : 一致が出力の先頭より前を指す\r\n");
}

// A block of every code kind, used whole and in pieces.
Bytes MixedBlock(uint32_t* decodedSize) {
    BlockBuilder b(0x6E);
    b.Literals("nonsense in nine lines")
        .Match(12, 0, 9)
        .Literals("n")
        .Match(40, 3)
        .Literals(std::string(300, '.'))
        .Match(20, 1, 330)
        .Match(5, 3)
        .Literals("end");
    const uint32_t size = 22 + 12 + 1 + 40 + 300 + 20 + 5 + 3;
    *decodedSize = size;
    return b.Build(size);
}

TEST(LzExpand, TheMixedBlockDecodes) {
    uint32_t size;
    const Bytes block = MixedBlock(&size);
    EXPECT_EQ(Expand(block, size).result, static_cast<int>(size));
}

TEST(LzExpand, EveryTruncationFailsWithinBounds) {
    uint32_t size;
    const Bytes block = MixedBlock(&size);
    for (size_t length = 0; length < block.size(); ++length) {
        SCOPED_TRACE(length);
        Bytes cut(block.begin(), block.begin() + length);
        EXPECT_EQ(Expand(cut, size).result, -1);
        if (length >= kLzHeaderSize) {
            // The same piece with a header that agrees with it.
            for (int i = 0; i < 4; ++i) {
                cut[4 + i] = static_cast<uint8_t>(length >> (8 * i));
            }
            EXPECT_EQ(Expand(cut, size).result, -1);
            EXPECT_EQ(ExpandTrustingHeader(cut).result, -1);
        }
    }
}

TEST(LzExpand, FlippedBytesFailOrDecodeWithinBounds) {
    uint32_t size;
    const Bytes block = MixedBlock(&size);
    std::mt19937 random(20261209);
    int failures = 0;
    for (int round = 0; round < 4000; ++round) {
        Bytes damaged = block;
        const int flips = 1 + static_cast<int>(random() % 3);
        // Most rounds leave the header alone so that the body gets decoded.
        const size_t from = round % 4 == 0 ? 0 : kLzHeaderSize;
        for (int i = 0; i < flips; ++i) {
            damaged[from + random() % (damaged.size() - from)] ^=
                static_cast<uint8_t>(1 + random() % 255);
        }
        const Decoded bounded = Expand(damaged, size);
        EXPECT_TRUE(bounded.result == -1 || bounded.result <= static_cast<int>(size));
        failures += bounded.result == -1 ? 1 : 0;
        if (from == kLzHeaderSize) {
            const Decoded trusting = ExpandTrustingHeader(damaged);
            EXPECT_EQ(trusting.result, bounded.result);
        }
    }
    // Most damage is caught; a flipped literal decodes to a different byte.
    EXPECT_GT(failures, 400);
}

}  // namespace
}  // namespace tessel
