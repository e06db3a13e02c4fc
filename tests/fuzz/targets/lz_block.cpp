// LZ blocks: the size query, then the decoding into a buffer of exactly the
// claimed size, through the checked form and through the form that trusts
// the header once the header is known to fit the input.
#include <vector>

#include "foundation/files/lz.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_target.h"

namespace {

// Larger claims are left to the size query: decoding them proves nothing
// more and takes the time of filling the buffer.
constexpr uint32_t kLargestDecode = 16u << 20;

uint32_t HeaderWord(const uint8_t* bytes, int at) {
    return bytes[at] | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
}

}  // namespace

TESSEL_FUZZ_TARGET(lz_block) {
    tessel_fuzz::ExactCopy copy(data, size);
    const uint32_t srcSize = static_cast<uint32_t>(size);
    const int claimed = tessel::LzExpand(copy.bytes.get(), srcSize, nullptr, 0);
    if (claimed < 0 || static_cast<uint32_t>(claimed) > kLargestDecode) {
        return 0;
    }
    const uint32_t decoded = static_cast<uint32_t>(claimed);
    std::unique_ptr<uint8_t[]> out(new uint8_t[decoded > 0 ? decoded : 1]);
    if (tessel::LzExpand(copy.bytes.get(), srcSize, out.get(), decoded) == claimed) {
        tessel_fuzz::sink = tessel_fuzz::sink + tessel_fuzz::SumBytes(out.get(), decoded);
    }
    if (decoded > 0) {
        tessel::LzExpand(copy.bytes.get(), srcSize, out.get(), decoded - 1);
    }
    const uint32_t encoded = HeaderWord(copy.bytes.get(), 4);
    if (encoded <= srcSize && tessel::LzExpand(copy.bytes.get(), out.get()) == claimed) {
        tessel_fuzz::sink = tessel_fuzz::sink + tessel_fuzz::SumBytes(out.get(), decoded);
    }
    return 0;
}
