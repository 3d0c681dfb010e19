#include <gtest/gtest.h>

#include "values/bytes.h"

namespace {

Bytes B(std::string_view s) { return Bytes(s); }

TEST(Bytes, CutsConcatAndConversions) {
    using namespace std::string_view_literals;
    EXPECT_EQ(BytesLeft(B("a\0bc"sv), 3), B("a\0b"sv));
    EXPECT_EQ(BytesLeft(B("abc"), 0), Bytes());
    EXPECT_EQ(BytesRight(B("abc"), 5), B("abc"));
    EXPECT_EQ(BytesRight(B("abc"), -1), Bytes());
    EXPECT_EQ(BlankBytes(0), Bytes());
    EXPECT_EQ(BlankBytes(2), B("\0\0"sv));
    EXPECT_EQ(BytesConcat(B("a"), Bytes(), B("\0"sv)), B("a\0"sv));
    EXPECT_EQ(BytesConcat(Bytes(), Bytes()), Bytes());
    Bytes body;
    for (int i = 0; i < 3; ++i)
        body = BytesConcat(std::move(body), B("xy"));
    EXPECT_EQ(body, B("xyxyxy"));

    EXPECT_EQ(BytesToText(B("a\0b"sv)), Text("a"));
    EXPECT_EQ(BytesToText(Bytes()), Text());
    EXPECT_EQ(TextToBytes("abc"), B("abc"));
    EXPECT_EQ(BytesLength(TextToBytes(Text())), 0);
}

TEST(Bytes, ReadInt32TakesMissingHighBytesAsZero) {
    using namespace std::string_view_literals;
    EXPECT_EQ(BytesReadInt32(Bytes()), 0);
    EXPECT_EQ(BytesReadInt32(BytesRight(B("ab\xFF"), 1)), 255);
    EXPECT_EQ(BytesReadInt32(B("\x01\x02"sv)), 0x0201);
    EXPECT_EQ(BytesReadInt32(B("\xFF\xFF\xFF\xFF\x05")), -1);
    EXPECT_EQ(BytesReadInt32(B("\x78\x56\x34\x12")), 0x12345678);
}

} // namespace
