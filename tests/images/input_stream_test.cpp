// Input streams read through their own copy of the file operations.
#include "images/input_stream.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tessel {
namespace {

TEST(InputStream, ReadsThroughItsOwnCopyOfTheOperations) {
    const uint8_t data[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    MemoryStream* memory = OpenMemoryStream(data, sizeof(data));
    ASSERT_NE(memory, nullptr);
    StreamOps table = *GetMemoryStreamOps();
    InputStream stream;
    InitInputStream(&stream, &table, StreamHandleOf(memory));
    std::memset(&table, 0, sizeof(table));  // the record keeps its copy

    uint8_t buffer[4] = {};
    EXPECT_EQ(stream.ops.seek(stream.handle, 2, 0), 0);
    EXPECT_EQ(stream.ops.read(buffer, 2, 2, stream.handle), 2u);
    EXPECT_EQ(buffer[0], 3);
    EXPECT_EQ(buffer[3], 6);
    EXPECT_EQ(stream.ops.tell(stream.handle), 6);
    EXPECT_EQ(stream.ops.seek(stream.handle, -1, 2), 0);
    EXPECT_EQ(stream.ops.read(buffer, 1, 4, stream.handle), 1u);
    EXPECT_EQ(buffer[0], 10);
    EXPECT_EQ(stream.ops.read(buffer, 1, 1, stream.handle), 0u);
    EXPECT_NE(stream.ops.eof(stream.handle), 0);
    EXPECT_NE(stream.ops.idle(stream.handle), 0);
    EXPECT_EQ(stream.ops.close(stream.handle), 0);
}

}  // namespace
}  // namespace tessel
