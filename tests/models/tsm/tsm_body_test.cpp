// The TSM envelope and the packed value decoders: the magic in every byte,
// the expansion behind four bytes, bounded reads, packed positions, skin
// weight lists, normals and the key quantiser with its table limit.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "foundation/memory/memory.h"
#include "models/tsm/tsm_body.h"
#include "tests/foundation/files/files_test_support.h"
#include "tools/lib/lz_compress.h"

namespace {

using tessel::TsmBody;
using tessel::TsmCursor;

std::vector<uint8_t> TsmImage(const std::vector<uint8_t>& body) {
    std::vector<uint8_t> packed;
    EXPECT_EQ(tessel::LzCompress(body.data(), body.size(), &packed), 0);
    std::vector<uint8_t> image(4 + packed.size());
    std::memcpy(image.data(), "TSM1", 4);
    std::memcpy(image.data() + 4, packed.data(), packed.size());
    return image;
}

TsmBody BodyOver(std::vector<uint8_t>* bytes) {
    return {bytes->data(), static_cast<uint32_t>(bytes->size())};
}

TEST(TsmEnvelope, ExpandsTheBodyFourBytesBehindTheStart) {
    std::vector<uint8_t> body(64);
    for (size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<uint8_t>(i * 7);
    }
    const std::vector<uint8_t> image = TsmImage(body);
    TsmBody expanded;
    ASSERT_EQ(tessel::ExpandTsmBody(image.data(), static_cast<int32_t>(image.size()), &expanded),
              0);
    EXPECT_EQ(expanded.end, 68u);
    EXPECT_EQ(std::memcmp(expanded.block + 4, body.data(), body.size()), 0);
    int ok = 1;
    EXPECT_EQ(tessel::TsmWord(expanded, 4, &ok), 0x150E0700u);
    EXPECT_EQ(ok, 1);
    tessel::FreeTsmBody(&expanded);
}

TEST(TsmEnvelope, AMagicWrongInAnyByteIsNotTsmAndAllocatesNothing) {
    const std::vector<uint8_t> good = TsmImage(std::vector<uint8_t>(32, 1));
    for (int at = 0; at < 4; ++at) {
        std::vector<uint8_t> image = good;
        image[at] ^= 0x20;
        const uint32_t blocks = tessel::TrackedBlockCount();
        TsmBody body;
        EXPECT_EQ(tessel::ExpandTsmBody(image.data(), static_cast<int32_t>(image.size()), &body),
                  -1)
            << at;
        EXPECT_EQ(tessel::TrackedBlockCount(), blocks) << at;
        EXPECT_EQ(body.block, nullptr);
    }
    TsmBody body;
    EXPECT_EQ(tessel::ExpandTsmBody(good.data(), 3, &body), -1);
}

TEST(TsmBodyReads, RangesOutsideTheBodyAndOffsetZeroAreRefused) {
    std::vector<uint8_t> bytes(40);
    const TsmBody body = BodyOver(&bytes);
    EXPECT_EQ(tessel::TsmRangeInside(body, 0, 1, 4), 0);
    EXPECT_EQ(tessel::TsmRangeInside(body, 4, 9, 4), 1);
    EXPECT_EQ(tessel::TsmRangeInside(body, 4, 10, 4), 0);
    EXPECT_EQ(tessel::TsmRangeInside(body, 36, 1, 4), 1);
    EXPECT_EQ(tessel::TsmRangeInside(body, 37, 1, 4), 0);
    EXPECT_EQ(tessel::TsmRangeInside(body, 8, 0x40000000u, 0x10), 0);
    EXPECT_EQ(tessel::TsmRangeInside(body, 0xFFFFFFFFu, 1, 1), 0);
    int ok = 1;
    tessel::TsmWord(body, 37, &ok);
    EXPECT_EQ(ok, 0);
    TsmCursor cursor = tessel::TsmCursorAt(body, 38);
    EXPECT_EQ(tessel::TsmReadU16(&cursor), 0);
    EXPECT_EQ(cursor.ok, 1);
    EXPECT_EQ(tessel::TsmReadU8(&cursor), 0);
    EXPECT_EQ(cursor.ok, 0);
}

TEST(TsmDecoding, PackedPositionsSpanBaseToBasePlusRange) {
    EXPECT_EQ(tessel::DecodeTsmPackedCoordinate(0, -3.25f, 10.5f), -3.25f);
    EXPECT_EQ(tessel::DecodeTsmPackedCoordinate(60000, -3.25f, 10.5f), -3.25f + 10.5f);
    EXPECT_EQ(tessel::DecodeTsmPackedCoordinate(30000, 1.0f, 4.0f), 3.0f);
}

struct WeightCase {
    uint16_t flags;
    std::vector<uint8_t> bytes;
    int maxWeights;
    int count;
    std::vector<int32_t> bones;
    std::vector<float> weights;
    size_t consumed;
};

TEST(TsmDecoding, SkinWeightListsEndAtTheMarkerOrTheMaximum) {
    const std::vector<WeightCase> cases = {
        // A first index of 0xFF: no weights, and nothing after the marker.
        {0, {0xFF, 0x80}, 4, 0, {-1}, {}, 1},
        {0, {2, 0xFF, 5, 51, 0xFF}, 4, 2, {2, 5, -1}, {1.0f, 51 / 255.0f}, 5},
        {0, {1, 10, 2, 20}, 2, 2, {1, 2}, {10 / 255.0f, 20 / 255.0f}, 4},
        {tessel::kTsmWideBoneIndex, {0xFF, 0xFF}, 4, 0, {-1}, {}, 2},
        {tessel::kTsmWideBoneIndex, {0x00, 0x01, 0xFF}, 1, 1, {256}, {1.0f}, 3},
        {tessel::kTsmWideWeight,
         {3, 0xFF, 0xFF, 4, 0x00, 0x80, 0xFF},
         4,
         2,
         {3, 4, -1},
         {1.0f, 32768 / 65535.0f},
         7},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const WeightCase& c = cases[i];
        std::vector<uint8_t> bytes(4 + c.bytes.size());
        std::memcpy(bytes.data() + 4, c.bytes.data(), c.bytes.size());
        const TsmBody body = BodyOver(&bytes);
        TsmCursor cursor = tessel::TsmCursorAt(body, 4);
        int32_t bones[8] = {7, 7, 7, 7, 7, 7, 7, 7};
        float weights[8] = {};
        EXPECT_EQ(tessel::DecodeTsmWeights(&cursor, c.flags, c.maxWeights, bones, weights), c.count)
            << i;
        EXPECT_EQ(cursor.ok, 1) << i;
        EXPECT_EQ(static_cast<size_t>(cursor.at - bytes.data() - 4), c.consumed) << i;
        for (size_t k = 0; k < c.bones.size(); ++k) {
            EXPECT_EQ(bones[k], c.bones[k]) << i << " " << k;
        }
        for (size_t k = 0; k < c.weights.size(); ++k) {
            EXPECT_EQ(weights[k], c.weights[k]) << i << " " << k;
        }
    }
}

TEST(TsmDecoding, AWeightListCutByTheBodyEndClearsTheCursor) {
    std::vector<uint8_t> bytes = {0, 0, 0, 0, 2};
    const TsmBody body = BodyOver(&bytes);
    TsmCursor cursor = tessel::TsmCursorAt(body, 4);
    int32_t bones[4];
    float weights[4];
    tessel::DecodeTsmWeights(&cursor, 0, 4, bones, weights);
    EXPECT_EQ(cursor.ok, 0);
}

TEST(TsmDecoding, NormalsInTheirThreeWidths) {
    // 1.0f is 0x3F800000.
    std::vector<uint8_t> bytes = {0, 0, 0,    0,    0x7F, 0x81, 0x00, 0xFF, 0x7F, 0x01, 0x80, 0, 0,
                                  0, 0, 0x80, 0x3F, 0,    0,    0,    0,    0,    0,    0,    0};
    const TsmBody body = BodyOver(&bytes);
    TsmCursor cursor = tessel::TsmCursorAt(body, 4);
    float n[3] = {9, 9, 9};
    tessel::DecodeTsmNormal(&cursor, 0, n);
    EXPECT_EQ(n[0], 9.0f);
    tessel::DecodeTsmNormal(&cursor, 1, n);
    EXPECT_EQ(n[0], 1.0f);
    EXPECT_EQ(n[1], -1.0f);
    EXPECT_EQ(n[2], 0.0f);
    tessel::DecodeTsmNormal(&cursor, 2, n);
    EXPECT_EQ(n[0], 1.0f);
    EXPECT_EQ(n[1], -1.0f);
    EXPECT_EQ(n[2], 0.0f);
    tessel::DecodeTsmNormal(&cursor, 3, n);
    EXPECT_EQ(n[0], 1.0f);
    EXPECT_EQ(cursor.ok, 1);
}

struct QuantiserCase {
    uint8_t first;
    uint8_t second;
    float base;
    float step;
};

TEST(TsmDecoding, QuantiserBasesAndStepsFromTheirTables) {
    const std::vector<QuantiserCase> cases = {
        {0x80, 0x01, 0.0f, 1.0f},          // base 0, step 1 x 10^0
        {0x02, 0x13, 100.0f, 30.0f},       // +10^2, 3 x 10^1
        {0x42, 0x13, -100.0f, 30.0f},      // minus
        {0x21, 0x92, 0.1f, 2 * 0.1f},      // table half 2 for the base, step half 2
        {0x6F, 0xF5, -1e-15f, 5 * 1e-7f},  // the last entries of both tables
        {0x0F, 0x70, 1e15f, 0.0f},         // a step count of 0
        {0xC5, 0x7F, 0.0f, 15 * 1e7f},     // bit 7 wins over the sign and index
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        float base = -7;
        float step = -7;
        ASSERT_EQ(tessel::DecodeTsmQuantiser(cases[i].first, cases[i].second, &base, &step), 0)
            << i;
        EXPECT_EQ(base, cases[i].base) << i;
        EXPECT_EQ(step, cases[i].step) << i;
    }
}

TEST(TsmDecoding, AQuantiserIndexOf32OrMoreIsRefused) {
    float base;
    float step;
    // Bit 5 with low bits 16 to 31 points past the 32-entry table.
    for (const uint8_t first : {0x30, 0x3F, 0x70}) {
        EXPECT_EQ(tessel::DecodeTsmQuantiser(first, 0x01, &base, &step), -1) << int(first);
    }
    EXPECT_EQ(tessel::DecodeTsmQuantiser(0x2F, 0x01, &base, &step), 0);
    EXPECT_EQ(tessel::DecodeTsmQuantiser(0xB0, 0x01, &base, &step), 0);
}

// A block whose header claims more than 2732 bytes per packed byte is
// refused before anything is allocated; one that claims exactly that many is
// asked for (the failing heap then shows the attempt in the log).
TEST(TsmEnvelope, AClaimPastTheExpansionCapAllocatesNothing) {
    constexpr uint32_t kPacked = 12;  // header and three literal bytes
    struct Case {
        uint32_t claimed;
        bool asked;
    };
    for (const Case c : {Case{kPacked * 2732 + 1, false}, Case{kPacked * 2732, true}}) {
        tessel_test::LogScope log;
        std::vector<uint8_t> image = {'T', 'S', 'M', '1'};
        for (uint32_t word : {c.claimed, kPacked}) {
            for (int k = 0; k < 4; ++k) {
                image.push_back(static_cast<uint8_t>(word >> (8 * k)));
            }
        }
        image.insert(image.end(), {0xEE, 'a', 'b', 'c'});
        tessel::SetTrackedHeapFailing(true);
        TsmBody body;
        const int result =
            tessel::ExpandTsmBody(image.data(), static_cast<int32_t>(image.size()), &body);
        tessel::SetTrackedHeapFailing(false);
        EXPECT_EQ(result, -1) << c.claimed;
        EXPECT_EQ(log.Text().find("圧縮データを解凍するためのメモリ領域の確保に失敗しました") !=
                      std::string::npos,
                  c.asked)
            << c.claimed << ": " << log.Text();
    }
}

}  // namespace
