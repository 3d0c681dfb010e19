#include "web/decode.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

struct DecodeCase {
    std::string data;
    std::string text;      // the result
    bool zeroByteAppended; // to the caller's variable
};

const DecodeCase kCases[] = {
    {""s, ""s, true},
    {"abc"s, "abc"s, true},
    {"abc\n"s, "abc\n"s, true},
    {"abc\0"s, "abc"s, true},
    {"ab\0cd"s, "ab"s, true},
    {"abc~"s, "abc~"s, true},
    // From 0x7F up nothing is appended, and the data is converted whole.
    {"abc\x7F"s, "abc\x7F"s, false},
    {"\xE4\xB8\xAD\xE6\x96\x87"s, "\xD6\xD0\xCE\xC4"s, false}, // 中文
    {"\xE4\xB8\xAD\xE6\x96\x87!"s, "\xD6\xD0\xCE\xC4!"s, true},
    {"\xE4\xB8\xAD\0\xE6\x96\x87"s, "\xD6\xD0"s, false},
    // A character GBK lacks, and invalid UTF-8 (through U+FFFD), become "?".
    {"a\xF0\x9F\x98\x80z"s, "a?z"s, true},
    {"a\xFFz"s, "a?z"s, true},
    {"a\xC3(z"s, "a?(z"s, true},
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << testing::PrintToString(c.data);
}

class Utf8ToAnsiTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(Utf8ToAnsiTest, ConvertsToGbkUpToTheFirstZeroByte) {
    const DecodeCase& c = GetParam();
    Bytes data(c.data);

    EXPECT_EQ(Utf8ToAnsi(data).str(), c.text);
    EXPECT_EQ(data.str(), c.zeroByteAppended ? c.data + '\0' : c.data);
}

INSTANTIATE_TEST_SUITE_P(Pages, Utf8ToAnsiTest, testing::ValuesIn(kCases));

TEST(Utf8ToAnsiTest, CutSequenceAtTheEndIsReplacedWithoutReadingPastTheData) {
    Bytes data("ab\xE4\xB8");
    std::string text = Utf8ToAnsi(data).str();
    EXPECT_TRUE(text.starts_with("ab?")) << text;
    EXPECT_EQ(text.find_first_not_of('?', 2), std::string::npos) << text;
    EXPECT_EQ(data.str(), "ab\xE4\xB8");
}

TEST(WideToAnsiTest, StopsAtTheFirstZeroUnitOrConvertsEverything) {
    EXPECT_EQ(WideToAnsi(Bytes("a\0\0\0b\0"s)).str(), "a");
    EXPECT_EQ(WideToAnsi(Bytes("a\0-N\0\0"s)).str(), "a\xD6\xD0"); // U+4E2D 中
    EXPECT_EQ(WideToAnsi(Bytes("a\0b\0"s)).str(), "ab");
    EXPECT_EQ(WideToAnsi(Bytes("a\0b"s)).str(), "a") << "a trailing odd byte is ignored";
    EXPECT_EQ(WideToAnsi(Bytes()).str(), " ");
}

} // namespace
