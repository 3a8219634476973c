#include <gtest/gtest.h>

#include "support/ByteOrder.h"

namespace box {
namespace {

TEST(ByteOrder, ReadsLittleEndianAndNeverPastTheEnd) {
    const std::string bytes("\x01\x02\x03\x04\xFF", 5);
    std::uint32_t v = 7;
    EXPECT_TRUE(ReadLe32(bytes, 0, v));
    EXPECT_EQ(v, 0x04030201u);
    EXPECT_TRUE(ReadLe16(bytes, 3, v));
    EXPECT_EQ(v, 0xFF04u);
    EXPECT_TRUE(ReadLe8(bytes, 4, v));
    EXPECT_EQ(v, 0xFFu);

    // A read that would leave the buffer fails and leaves the value alone,
    // also where at + size would wrap around.
    v = 7;
    EXPECT_FALSE(ReadLe32(bytes, 2, v));
    EXPECT_FALSE(ReadLe16(bytes, 4, v));
    EXPECT_FALSE(ReadLe8(bytes, 5, v));
    EXPECT_FALSE(ReadLe32(bytes, SIZE_MAX - 1, v));
    EXPECT_EQ(v, 7u);

    EXPECT_EQ(Le32At(bytes, 1), 0xFF040302u);
    EXPECT_EQ(Le32At(bytes, 2), 0u);
    EXPECT_EQ(Le16At(bytes, SIZE_MAX), 0u);
    EXPECT_EQ(Le16At({}, 0), 0u);
}

TEST(ByteOrder, WritesAppendOrStoreAndGrowInsteadOfOverrunning) {
    std::string out;
    AppendLe16(out, 0x1234);
    AppendLe32(out, 0xA1B2C3D4);
    AppendLe64(out, 0x0102030405060708ull);
    EXPECT_EQ(out, std::string("\x34\x12\xD4\xC3\xB2\xA1\x08\x07\x06\x05\x04\x03\x02\x01", 14));

    StoreLe16(out, 0, 0xBEEF);
    EXPECT_EQ(Le16At(out, 0), 0xBEEFu);
    EXPECT_EQ(out.size(), 14u);

    // Past the end the buffer grows with zero bytes.
    std::string small("ab");
    StoreLe32(small, 4, 0x11223344);
    EXPECT_EQ(small, std::string("ab\0\0\x44\x33\x22\x11", 8));
    StoreLe64(small, 6, 1);
    EXPECT_EQ(small.size(), 14u);
    EXPECT_EQ(Le32At(small, 6), 1u);
}

}  // namespace
}  // namespace box
