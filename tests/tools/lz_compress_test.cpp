// The LZ packer: round trips at every level, and that it compresses.
#include "tools/lib/lz_compress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "foundation/files/lz.h"
#include "tools/lib/sample_data.h"

namespace tessel {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes RandomBytes(size_t size, uint32_t seed) {
    return MakeRandomBytes(size, seed);
}

Bytes SampleText(size_t size) {
    return MakeSampleText(size, 7);
}

Bytes SampleImage(int width, int height) {
    return MakeSampleImage(width, height, 11);
}

Bytes Compress(const Bytes& data, int level = kLzDefaultLevel) {
    Bytes packed;
    EXPECT_EQ(LzCompress(data.data(), data.size(), &packed, level), 0);
    return packed;
}

// Expands through exactly sized heap copies so that the sanitizer watches.
Bytes Expand(const Bytes& packed, int* result) {
    std::unique_ptr<uint8_t[]> src(new uint8_t[packed.size()]);
    std::memcpy(src.get(), packed.data(), packed.size());
    const uint32_t srcSize = static_cast<uint32_t>(packed.size());
    const int size = LzExpand(src.get(), srcSize, nullptr, 0);
    if (size < 0) {
        *result = size;
        return {};
    }
    std::unique_ptr<uint8_t[]> dst(new uint8_t[size]);
    *result = LzExpand(src.get(), srcSize, dst.get(), static_cast<uint32_t>(size));
    return Bytes(dst.get(), dst.get() + size);
}

struct Code {
    int kind;  // 0-2 distance field bytes - 1, 3 the previous distance + 1
    uint32_t length;
    uint32_t distance;
};

// Lists the matches of a block, read straight from the format's rules.
std::vector<Code> Matches(const Bytes& block) {
    std::vector<Code> codes;
    const uint8_t escape = block[8];
    uint32_t previous = 0;
    size_t i = kLzHeaderSize;
    while (i < block.size()) {
        if (block[i] != escape) {
            ++i;
            continue;
        }
        const uint32_t c = block[i + 1];
        i += 2;
        if (c == escape) {
            continue;
        }
        const uint32_t cp = c > escape ? c - 1 : c;
        uint32_t length = cp >> 3;
        if (cp & 4) {
            length |= static_cast<uint32_t>(block[i++]) << 5;
        }
        uint32_t distance = previous + 1;
        const int kind = static_cast<int>(cp & 3);
        if (kind < 3) {
            uint32_t d = 0;
            for (int b = 0; b <= kind; ++b) {
                d |= static_cast<uint32_t>(block[i++]) << (8 * b);
            }
            distance = d + 1;
        }
        previous = distance;
        codes.push_back({kind, length + 4, distance});
    }
    return codes;
}

uint32_t HeaderWord(const Bytes& block, int offset) {
    return block[offset] | block[offset + 1] << 8 | block[offset + 2] << 16 |
           static_cast<uint32_t>(block[offset + 3]) << 24;
}

void ExpectRoundTrip(const Bytes& data, int level = kLzDefaultLevel) {
    const Bytes packed = Compress(data, level);
    ASSERT_GE(packed.size(), kLzHeaderSize);
    EXPECT_EQ(HeaderWord(packed, 0), data.size());
    EXPECT_EQ(HeaderWord(packed, 4), packed.size());
    int result;
    const Bytes back = Expand(packed, &result);
    ASSERT_EQ(result, static_cast<int>(data.size()));
    EXPECT_TRUE(back == data);
}

TEST(LzCompress, VariedDataExpandsBackUnchanged) {
    Bytes allValues;
    for (int round = 0; round < 40; ++round) {
        for (int v = 0; v < 256; ++v) {
            allValues.push_back(static_cast<uint8_t>(v * 7 + round));
        }
    }
    Bytes runs;
    for (int i = 0; i < 300; ++i) {
        runs.insert(runs.end(), static_cast<size_t>(1 + i % 50), static_cast<uint8_t>(i % 3));
    }
    Bytes textWithRandom = SampleText(20000);
    const Bytes noise = RandomBytes(5000, 3);
    textWithRandom.insert(textWithRandom.begin() + 9000, noise.begin(), noise.end());
    const struct {
        const char* name;
        Bytes data;
    } cases[] = {
        {"empty", {}},
        {"one byte", {0x42}},
        {"four equal bytes", Bytes(4, 0)},
        {"a long run", Bytes(100000, 0xAB)},
        {"short runs", runs},
        {"text", SampleText(50000)},
        {"random", RandomBytes(70000, 1)},
        {"image", SampleImage(128, 96)},
        {"every byte value, so that the escape occurs", allValues},
        {"text around random bytes", textWithRandom},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectRoundTrip(c.data);
    }
}

TEST(LzCompress, EveryLevelRoundTrips) {
    const Bytes text = SampleText(30000);
    size_t fastest = 0;
    size_t best = 0;
    for (int level = kLzMinLevel; level <= kLzMaxLevel; ++level) {
        SCOPED_TRACE(level);
        ExpectRoundTrip(text, level);
        const size_t size = Compress(text, level).size();
        fastest = level == kLzMinLevel ? size : fastest;
        best = size;
    }
    EXPECT_LE(best, fastest);
}

TEST(LzCompress, ActuallyCompresses) {
    EXPECT_LT(Compress(Bytes(1000000, 0)).size(), 1000u);
    EXPECT_LT(Compress(SampleText(100000)).size(), 50000u);
    EXPECT_LT(Compress(SampleImage(256, 256)).size(), 256u * 256 * 4 / 4);
    // Incompressible data grows only by the escapes and the header.
    EXPECT_LT(Compress(RandomBytes(100000, 2)).size(), 100000u + 100000u / 128);
}

TEST(LzCompress, TheLeastFrequentByteIsTheEscape) {
    Bytes data = SampleText(5000);
    const Bytes packed = Compress(data);
    size_t counts[256] = {};
    for (uint8_t b : data) {
        ++counts[b];
    }
    EXPECT_EQ(counts[packed[8]], *std::min_element(counts, counts + 256));
}

TEST(LzCompress, LongestMatchesAndFarthestDistance) {
    // A random block repeated: matches run to the longest length.
    const Bytes block = RandomBytes(20000, 4);
    Bytes repeated = block;
    repeated.insert(repeated.end(), block.begin(), block.end());
    ExpectRoundTrip(repeated);
    const std::vector<Code> longCodes = Matches(Compress(repeated));
    ASSERT_FALSE(longCodes.empty());
    EXPECT_EQ(longCodes.front().length, 8195u);
    for (const Code& code : longCodes) {
        EXPECT_LE(code.length, 8195u);
    }

    // The same random piece 16 MiB apart, zeros between.
    constexpr uint32_t kFarthest = 1u << 24;
    const Bytes piece = RandomBytes(4096, 5);
    Bytes far(kFarthest + piece.size());
    std::copy(piece.begin(), piece.end(), far.begin());
    std::copy(piece.begin(), piece.end(), far.begin() + kFarthest);
    ExpectRoundTrip(far, 1);
    const std::vector<Code> farCodes = Matches(Compress(far, 1));
    const bool usesFarthest = std::any_of(farCodes.begin(), farCodes.end(), [](const Code& c) {
        return c.distance == kFarthest && c.kind == 2;
    });
    EXPECT_TRUE(usesFarthest);
    // One step beyond the window the piece must go out as literals.
    Bytes tooFar(kFarthest + 1 + piece.size());
    std::copy(piece.begin(), piece.end(), tooFar.begin());
    std::copy(piece.begin(), piece.end(), tooFar.begin() + kFarthest + 1);
    for (const Code& c : Matches(Compress(tooFar, 1))) {
        EXPECT_LE(c.distance, kFarthest);
    }
}

TEST(LzCompress, UsesThePreviousDistancePlusOneCode) {
    // S, then S[0..20), a stray byte, then S[20..20+n): the second copy lies
    // one byte further back than the first.
    const Bytes s = RandomBytes(2000, 6);
    for (uint32_t secondLength : {20u, 40u, 67u, 99u}) {
        SCOPED_TRACE(secondLength);
        Bytes data = s;
        data.insert(data.end(), s.begin(), s.begin() + 20);
        data.push_back(static_cast<uint8_t>(s[20] ^ 0x55));
        data.insert(data.end(), s.begin() + 20, s.begin() + 20 + secondLength);
        ExpectRoundTrip(data);
        const std::vector<Code> codes = Matches(Compress(data));
        ASSERT_GE(codes.size(), 2u);
        EXPECT_EQ(codes[0].distance, 2000u);
        EXPECT_EQ(codes.back().distance, 2001u);
        // Lengths 67 and 99 would need a code value that the repeat form
        // lacks; the encoder then sends one byte more as a literal.
        EXPECT_EQ(codes.back().kind, 3);
        EXPECT_NE((codes.back().length - 4) & 31, 31u);
    }
}

TEST(LzCompress, EveryEscapeValueRoundTrips) {
    // Each byte value in turn is made the rarest, so that code values of all
    // kinds and lengths meet the escape shift from either side.
    for (int escape = 0; escape < 256; escape += 5) {
        SCOPED_TRACE(escape);
        std::mt19937 random(static_cast<uint32_t>(escape));
        Bytes data;
        for (int round = 0; round < 4; ++round) {
            Bytes values;
            for (int v = 0; v < 256; ++v) {
                if (v != escape) {
                    values.push_back(static_cast<uint8_t>(v));
                }
            }
            std::shuffle(values.begin(), values.end(), random);
            data.insert(data.end(), values.begin(), values.end());
        }
        while (data.size() < 30000) {
            const size_t length = 4 + random() % 120;
            const size_t from = random() % (data.size() - length);
            data.insert(data.end(), data.begin() + from, data.begin() + from + length);
            uint8_t stray = static_cast<uint8_t>(random());
            if (stray == escape) {
                ++stray;
            }
            data.push_back(stray);
        }
        data.push_back(static_cast<uint8_t>(escape));
        ExpectRoundTrip(data);
        EXPECT_EQ(Compress(data)[8], escape);
    }
}

}  // namespace
}  // namespace tessel
