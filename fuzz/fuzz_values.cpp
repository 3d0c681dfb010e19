// The Text and Bytes operations against plain reference loops written from their rules.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "check.h"
#include "values/bytes.h"
#include "values/text.h"

namespace {

bool IsLead(char c) {
    return static_cast<unsigned char>(c) >= 0x80;
}
char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c;
}

// Byte by byte from the start position, stepping over two-byte characters.
int32_t ReferenceFind(std::string_view t, std::string_view sought, int32_t start, bool ignoreCase) {
    const size_t from = start > 1 ? static_cast<size_t>(start) - 1 : 0;
    if (from >= t.size())
        return -1;
    if (sought.empty())
        return 1;
    for (size_t at = from; t.size() - at >= sought.size();) {
        bool same = true;
        for (size_t i = 0; same && i < sought.size(); ++i)
            same =
                ignoreCase ? FoldAscii(t[at + i]) == FoldAscii(sought[i]) : t[at + i] == sought[i];
        if (same)
            return static_cast<int32_t>(at + 1);
        if (IsLead(t[at]) && at + 1 >= t.size())
            return -1;
        at += IsLead(t[at]) ? 2 : 1;
    }
    return -1;
}

std::string ReferenceCase(std::string_view t, bool upper) {
    std::string out(t);
    for (size_t i = 0; i < out.size(); ++i) {
        if (IsLead(out[i]))
            ++i; // the second byte of the character is never a letter of its own
        else if (upper && out[i] >= 'a' && out[i] <= 'z')
            out[i] = static_cast<char>(out[i] - 0x20);
        else if (!upper && out[i] >= 'A' && out[i] <= 'Z')
            out[i] = static_cast<char>(out[i] + 0x20);
    }
    return out;
}

int Sign(int x) {
    return (x > 0) - (x < 0);
}

void CheckText(const Text& t) {
    FUZZ_CHECK(HoldsNoZeroByte(t.view()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string rawA = input.ConsumeRandomLengthString(4096);
    const std::string rawB = input.ConsumeRandomLengthString(64);
    // Positions near the text are the interesting ones; the full range still gets a share.
    auto position = [&] {
        return input.ConsumeBool() ? input.ConsumeIntegralInRange<int32_t>(-3, 80)
                                   : input.ConsumeIntegral<int32_t>();
    };
    const int32_t start = position();
    const int32_t n = position();
    const bool ignoreCase = input.ConsumeBool();
    const auto number = input.ConsumeIntegral<int64_t>();
    const auto bits = input.ConsumeIntegral<uint64_t>();
    const int32_t blank = input.ConsumeIntegralInRange<int32_t>(-5, 300);

    const Text t(rawA);
    const Text sought(rawB);
    CheckText(t);
    CheckText(sought);
    const std::string_view v = t.view();
    FUZZ_CHECK(v == std::string_view(rawA).substr(0, rawA.find('\0')));
    const auto length = static_cast<int64_t>(v.size());
    FUZZ_CHECK(TextLength(t) == length);

    FUZZ_CHECK(TextFind(t, sought, start, ignoreCase) ==
               ReferenceFind(v, sought.view(), start, ignoreCase));
    FUZZ_CHECK(TextFind(t, sought) == ReferenceFind(v, sought.view(), 1, false));

    const Text left = TextLeft(t, n), right = TextRight(t, n), mid = TextMid(t, start, n);
    const size_t count = n <= 0 ? 0 : std::min<size_t>(v.size(), static_cast<size_t>(n));
    FUZZ_CHECK(left.view() == v.substr(0, count));
    FUZZ_CHECK(right.view() == v.substr(v.size() - count));
    if (start < 1 || start > length || n <= 0)
        FUZZ_CHECK(mid.empty());
    else
        FUZZ_CHECK(mid.view() == v.substr(static_cast<size_t>(start) - 1, static_cast<size_t>(n)));

    const Text replaced = TextReplaceAt(t, start, n, sought);
    CheckText(replaced);
    const int64_t p = std::clamp<int64_t>(int64_t{start} - 1, 0, length);
    const int64_t removed = std::min<int64_t>(std::max(n, 0), length - p);
    FUZZ_CHECK(TextLength(replaced) == length - removed + TextLength(sought));
    FUZZ_CHECK(replaced.view() == std::string(v.substr(0, static_cast<size_t>(p))) +
                                      std::string(sought.view()) +
                                      std::string(v.substr(static_cast<size_t>(p + removed))));

    const Text upper = TextToUpper(t), lower = TextToLower(t);
    FUZZ_CHECK(upper.view() == ReferenceCase(v, true));
    FUZZ_CHECK(lower.view() == ReferenceCase(v, false));
    FUZZ_CHECK(TextToLower(upper) == lower);

    for (bool caseSensitive : {true, false}) {
        FUZZ_CHECK(TextCompare(t, t, caseSensitive) == 0);
        FUZZ_CHECK(Sign(TextCompare(t, sought, caseSensitive)) ==
                   -Sign(TextCompare(sought, t, caseSensitive)));
    }
    FUZZ_CHECK((TextCompare(t, sought, true) == 0) == TextEqual(t, sought));
    FUZZ_CHECK(TextCompare(upper, lower, false) == 0);

    const Text joined = TextConcat(t, sought, t);
    FUZZ_CHECK(joined.str() == t.str() + sought.str() + t.str());

    FUZZ_CHECK(!std::isnan(TextToNumber(t)));
    FUZZ_CHECK(TextToNumber(IntToText(number)) == static_cast<double>(number));

    FUZZ_CHECK(BlankText(blank).view() == std::string(std::max(blank, 0), ' '));
    FUZZ_CHECK(BlankBytes(blank).view() == std::string(std::max(blank, 0), '\0'));

    double x;
    std::memcpy(&x, &bits, sizeof x);
    const int64_t truncated = TruncateToInteger(x);
    if (std::isnan(x))
        FUZZ_CHECK(truncated == 0);
    else if (std::fabs(x) < 9.2e18)
        FUZZ_CHECK(static_cast<double>(truncated) == std::trunc(x));
    else
        FUZZ_CHECK((truncated > 0) == (x > 0) &&
                   std::fabs(static_cast<double>(truncated)) >= 9.2e18);

    // Bytes keep zero bytes.
    const Bytes a(rawA), b(rawB);
    FUZZ_CHECK(BytesLength(a) == static_cast<int64_t>(rawA.size()));
    const size_t bytesCount = n <= 0 ? 0 : std::min<size_t>(rawA.size(), static_cast<size_t>(n));
    FUZZ_CHECK(BytesLeft(a, n).view() == std::string_view(rawA).substr(0, bytesCount));
    FUZZ_CHECK(BytesRight(a, n).view() == std::string_view(rawA).substr(rawA.size() - bytesCount));
    FUZZ_CHECK(BytesConcat(a, b, a).str() == rawA + rawB + rawA);
    FUZZ_CHECK(BytesConcat(Bytes(rawA), b).str() == rawA + rawB);
    FUZZ_CHECK(BytesToText(a) == t);
    FUZZ_CHECK(TextToBytes(t).view() == v);
    uint32_t low = 0;
    std::memcpy(&low, rawA.data(), std::min<size_t>(rawA.size(), 4)); // little-endian machine
    FUZZ_CHECK(BytesReadInt32(a) == static_cast<int32_t>(low));
    return 0;
}
