#include <gtest/gtest.h>

#include <cmath>

#include "values/text.h"

namespace {

struct MidCase {
    const char* t;
    int start, n;
    const char* expected;
};

TEST(TextCut, MidLeftRightFollowTheEdgeRules) {
    const MidCase mids[] = {
        {"abcdef", 0, 3, ""},  {"abcdef", -2, 3, ""}, {"abcdef", 5, 10, "ef"},
        {"abcdef", 7, 1, ""},  {"abcdef", 2, 0, ""},  {"abcdef", 2, 3, "bcd"},
        {"abcdef", 6, 1, "f"}, {"", 1, 1, ""},
    };
    for (const auto& c : mids)
        EXPECT_EQ(TextMid(c.t, c.start, c.n), Text(c.expected)) << c.t << " " << c.start << " " << c.n;

    EXPECT_EQ(TextLeft("abc", 5), Text("abc"));
    EXPECT_EQ(TextLeft("abc", -1), Text());
    EXPECT_EQ(TextLeft("abc", 2), Text("ab"));
    EXPECT_EQ(TextRight("abc", 0), Text());
    EXPECT_EQ(TextRight("abcdef", 2), Text("ef"));
    EXPECT_EQ(TextRight("abc", 9), Text("abc"));
}

struct FindCase {
    std::string t, sought;
    int start;
    bool ignoreCase;
    int expected;
};

TEST(TextFind, PositionsStartsAndCharacterStepping) {
    const FindCase cases[] = {
        {"abcabc", "c", 1, false, 3},
        {"abcabc", "c", 4, false, 6},
        {"abcabc", "c", 0, false, 3},
        {"abcabc", "c", -5, false, 3},
        {"abcabc", "c", 7, false, -1},
        {"abc", "x", 1, false, -1},
        {"abc", "abcd", 1, false, -1},
        // The empty text is found at 1 whenever a byte is scanned, even from a later start.
        {"abc", "", 1, false, 1},
        {"abc", "", 3, false, 1},
        {"abc", "", 4, false, -1},
        {"", "", 1, false, -1},
        // 0x41 after 0xB0 is the second byte of a character, never a match start.
        {"\xB0\x41\x41", "A", 1, false, 3},
        {"\xB0\x41", "A", 1, false, -1},
        // A lead byte as the last byte ends the scan.
        {"a\xB0", "\xB0", 1, false, 2},
        {"\xB0\xB0\xB0\x41", "\xB0\x41", 1, false, 3},
        {"\xB0\xB0\xB0\xB0\x41", "\xB0\x41", 1, false, -1},
        {"x\xB0\xB0\xB0\x41", "\xB0\x41", 1, false, 4},
        // The scan counts characters from its own first byte, whatever lies there.
        {"\xB0\x41\x41", "A", 2, false, 2},
        // A long ASCII run before the match is crossed word by word.
        {std::string(37, 'a') + "\xC4\xE3" + "b", "b", 1, false, 40},
        {std::string(40, 'a') + "\xC4" + "b" + "b", "b", 1, false, 43},
        // Case folding covers ASCII letters only.
        {"Accept: x", "ACCEPT: ", 1, true, 1},
        {"aCcEpT-lAnGuAgE: zh", "accept-language: ", 1, true, 1},
        {"Accept: x", "ACCEPT: ", 1, false, -1},
        {"\xA3\xC1", "\xA3\xE1", 1, true, -1}, // full-width A against full-width a
        {"\xB0\x41\x61", "a", 1, true, 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TextFind(Text(c.t), Text(c.sought), c.start, c.ignoreCase), c.expected)
            << "'" << c.t << "' '" << c.sought << "' from " << c.start;
}

TEST(TextFind, MatchesAPlainCharacterSteppingLoopOnMixedText) {
    // A reference scan written straight from the stepping rule, over text that mixes ASCII and
    // double-byte characters at every alignment.
    auto reference = [](const std::string& t, const std::string& s) {
        for (size_t at = 0; t.size() - at >= s.size();) {
            if (t.compare(at, s.size(), s) == 0)
                return static_cast<int>(at + 1);
            if (static_cast<unsigned char>(t[at]) >= 0x80) {
                if (at + 1 >= t.size())
                    return -1;
                at += 2;
            } else {
                at += 1;
            }
        }
        return -1;
    };
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1664525 + 1013904223; };
    const char alphabet[] = {'a', 'b', 'A', '\x80', '\xB0', '\xC1', '/'};
    for (int round = 0; round < 2000; ++round) {
        std::string t, s;
        size_t length = next() % 40;
        for (size_t i = 0; i < length; ++i)
            t += alphabet[next() % sizeof alphabet];
        size_t soughtLength = 1 + next() % 3;
        for (size_t i = 0; i < soughtLength; ++i)
            s += alphabet[next() % sizeof alphabet];
        ASSERT_EQ(TextFind(Text(t), Text(s)), reference(t, s)) << round;
    }
}

TEST(TextReplaceAt, DropsAndInserts) {
    EXPECT_EQ(TextReplaceAt("http://abc", 1, 7), Text("abc"));
    EXPECT_EQ(TextReplaceAt("abc", 1, 7), Text());
    EXPECT_EQ(TextReplaceAt("abcdef", 3, 2, "XY"), Text("abXYef"));
    EXPECT_EQ(TextReplaceAt("abc", 9, 2, "Z"), Text("abcZ"));
    EXPECT_EQ(TextReplaceAt("abc", -3, 1), Text("bc"));
    EXPECT_EQ(TextReplaceAt("abc", 2, -1, "Z"), Text("aZbc"));
}

TEST(TextCase, OnlyAsciiLettersChange) {
    EXPECT_EQ(TextToUpper("post"), Text("POST"));
    EXPECT_EQ(TextToLower("AbC:8080"), Text("abc:8080"));
    // 0xB0 0x61: the second byte is left as it is.
    EXPECT_EQ(TextToUpper("\xB0\x61x"), Text("\xB0\x61X"));
    EXPECT_EQ(TextToLower("\xB0\x41X"), Text("\xB0\x41x"));
    EXPECT_EQ(TextToUpper("a\xB0"), Text("A\xB0"));
}

TEST(TextCompare, CaseInsensitiveComparesByCharacters) {
    EXPECT_EQ(TextCompare("HTTP://", "http://", false), 0);
    EXPECT_NE(TextCompare("HTTP://", "http://", true), 0);
    EXPECT_EQ(TextCompare("\xA3\xE1", "\xA3\xC1", false), 0); // full-width a and A
    EXPECT_LT(TextCompare("abc", "abd", false), 0);
    EXPECT_GT(TextCompare("abcd", "abc", false), 0);
    EXPECT_LT(TextCompare("", "a", false), 0);
    EXPECT_EQ(TextCompare("", "", false), 0);
    EXPECT_TRUE(TextEqual("a", "a"));
    EXPECT_FALSE(TextEqual("a", "A"));
}

TEST(TextNumbers, ToNumberIntToTextAndTruncation) {
    const std::pair<std::string, double> numbers[] = {
        {"", 0},          {"8080", 8080},     {" 8080", 8080}, {"80ab", 80},  {"80/x", 80},
        {"abc", 0},       {"\xA3\xB8\xA3\xB0", 80}, {"\xA1\xA1" "81", 81}, {"-12.5e1x", -125},
        {"8080.7", 8080.7}, {".5", 0.5},      {"+3", 3},       {"-", 0},      {"1e", 1},
        {"\t\n 7", 7},
    };
    for (const auto& [t, expected] : numbers)
        EXPECT_DOUBLE_EQ(TextToNumber(Text(t)), expected) << t;

    EXPECT_EQ(IntToText(0), Text("0"));
    EXPECT_EQ(IntToText(-12), Text("-12"));
    EXPECT_EQ(IntToText(100), Text("100"));

    EXPECT_EQ(TruncateToInteger(2.9), 2);
    EXPECT_EQ(TruncateToInteger(-2.9), -2);
    EXPECT_EQ(TruncateToInteger(80.9), 80);
    EXPECT_EQ(TruncateToInteger(std::nan("")), 0);
    EXPECT_EQ(TruncateToInteger(1e300), INT64_MAX);
}

TEST(TextValues, NeverHoldAZeroByteAndConcatJoins) {
    EXPECT_EQ(Text(std::string_view("a\0b", 3)), Text("a"));
    EXPECT_EQ(TextLength(Text(std::string_view("\0b", 2))), 0);
    EXPECT_EQ(TextConcat(Text("a"), Text(), "b", Text("cd")), Text("abcd"));
    EXPECT_EQ(BlankText(3), Text("   "));
    EXPECT_EQ(BlankText(-3), Text());
    EXPECT_EQ(GbkText("人"), Text("\xC8\xCB"));
}

} // namespace
