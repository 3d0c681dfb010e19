#include "values/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/codepage.h"
#include "values/cuts.h"

namespace {

bool IsLeadByte(unsigned char c) {
    return c >= 0x80;
}

unsigned char FoldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
}

bool EqualFolded(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (FoldAscii(static_cast<unsigned char>(a[i])) !=
            FoldAscii(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// Moves a character-start cursor from `at` up to `target` or just past it. Runs of ASCII are
// crossed eight bytes at a time, since only bytes from 0x80 up change the stepping.
size_t AdvanceCursor(const unsigned char* p, size_t at, size_t target) {
    while (at < target) {
        uint64_t word;
        if (target - at >= 8) {
            std::memcpy(&word, p + at, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                at += 8;
                continue;
            }
        }
        at += IsLeadByte(p[at]) ? 2 : 1;
    }
    return at;
}

int32_t FindExact(std::string_view t, std::string_view sought, size_t from) {
    const auto* p = reinterpret_cast<const unsigned char*>(t.data());
    size_t cursor = from;
    size_t candidate = from;
    for (;;) {
        candidate = t.find(sought, candidate);
        if (candidate == std::string_view::npos)
            return -1;
        cursor = AdvanceCursor(p, cursor, candidate);
        if (cursor == candidate)
            return static_cast<int32_t>(candidate + 1);
        candidate = cursor; // the candidate was the second byte of a character
    }
}

int32_t FindFolded(std::string_view t, std::string_view sought, size_t from) {
    size_t at = from;
    while (t.size() - at >= sought.size()) {
        if (EqualFolded(t.data() + at, sought.data(), sought.size()))
            return static_cast<int32_t>(at + 1);
        if (IsLeadByte(static_cast<unsigned char>(t[at]))) {
            if (at + 1 >= t.size())
                return -1;
            at += 2;
        } else {
            at += 1;
        }
    }
    return -1;
}

// GBK's double-byte letters that have an upper-case form: full-width Latin, Greek, Cyrillic.
unsigned UpperGbkCharacter(unsigned c) {
    unsigned lead = c >> 8, trail = c & 0xFF;
    if (lead == 0xA3 && trail >= 0xE1 && trail <= 0xFA)
        return c - 0x20;
    if (lead == 0xA6 && trail >= 0xC1 && trail <= 0xD8)
        return c - 0x20;
    if (lead == 0xA7 && trail >= 0xD1 && trail <= 0xF1)
        return c - 0x30;
    return c;
}

Text MapAsciiLetters(const Text& t, char from, char to) {
    std::string out(t.view());
    for (size_t i = 0; i < out.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(out[i]);
        if (IsLeadByte(c)) {
            if (i + 1 >= out.size())
                break;
            ++i;
        } else if (c >= static_cast<unsigned char>(from) &&
                   c <= static_cast<unsigned char>(from + 25)) {
            out[i] = static_cast<char>(c - from + to);
        }
    }
    return Text(out);
}

} // namespace

Text GbkText(std::string_view utf8) {
    return Text(Utf8ToGbk(utf8));
}

int32_t TextLength(const Text& t) {
    return static_cast<int32_t>(t.view().size());
}

Text detail::ConcatViews(std::initializer_list<std::string_view> parts) {
    return Text(Join(parts));
}

bool TextEqual(const Text& a, const Text& b) {
    return a.view() == b.view();
}

int TextCompare(const Text& a, const Text& b, bool caseSensitive) {
    auto next = [](std::string_view s, size_t& i) {
        unsigned c = static_cast<unsigned char>(s[i++]);
        if (IsLeadByte(static_cast<unsigned char>(c)) && i < s.size())
            c = c << 8 | static_cast<unsigned char>(s[i++]);
        return c;
    };
    std::string_view x = a.view(), y = b.view();
    size_t i = 0, j = 0;
    while (i < x.size() && j < y.size()) {
        unsigned cx = next(x, i), cy = next(y, j);
        if (!caseSensitive) {
            cx = cx < 0x100 ? FoldAscii(static_cast<unsigned char>(cx)) : UpperGbkCharacter(cx);
            cy = cy < 0x100 ? FoldAscii(static_cast<unsigned char>(cy)) : UpperGbkCharacter(cy);
        }
        if (cx != cy)
            return cx < cy ? -1 : 1;
    }
    if (i < x.size())
        return 1;
    if (j < y.size())
        return -1;
    return 0;
}

Text TextLeft(const Text& t, int32_t n) {
    return Text(detail::CutLeft(t.view(), n));
}

Text TextRight(const Text& t, int32_t n) {
    return Text(detail::CutRight(t.view(), n));
}

Text TextMid(const Text& t, int32_t start, int32_t n) {
    std::string_view v = t.view();
    if (start < 1 || static_cast<size_t>(start) > v.size() || n <= 0)
        return Text();
    return Text(v.substr(static_cast<size_t>(start) - 1, static_cast<size_t>(n)));
}

int32_t TextFind(const Text& t, const Text& sought, int32_t start, bool ignoreCase) {
    std::string_view v = t.view();
    size_t from = start > 1 ? static_cast<size_t>(start) - 1 : 0;
    if (from >= v.size())
        return -1;
    if (sought.empty())
        return 1;
    return ignoreCase ? FindFolded(v, sought.view(), from) : FindExact(v, sought.view(), from);
}

Text TextReplaceAt(const Text& t, int32_t start, int32_t n, const Text& replacement) {
    std::string out(t.view());
    int64_t p = std::clamp<int64_t>(int64_t{start} - 1, 0, static_cast<int64_t>(out.size()));
    int64_t count = std::min<int64_t>(std::max(n, 0), static_cast<int64_t>(out.size()) - p);
    out.replace(static_cast<size_t>(p), static_cast<size_t>(count), replacement.view());
    return Text(out);
}

Text TextToUpper(const Text& t) {
    return MapAsciiLetters(t, 'a', 'A');
}

Text TextToLower(const Text& t) {
    return MapAsciiLetters(t, 'A', 'a');
}

double TextToNumber(const Text& t) {
    // Full-width digits, signs and letters read as their ASCII counterparts.
    std::string s;
    std::string_view v = t.view();
    s.reserve(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(v[i]);
        unsigned char d = i + 1 < v.size() ? static_cast<unsigned char>(v[i + 1]) : 0;
        if (c == 0xA3 && d >= 0xA1 && d <= 0xFE) {
            s += static_cast<char>(d - 0x80);
            ++i;
        } else if (c == 0xA1 && (d == 0xA1 || d == 0xAB || d == 0xEE || d == 0xEF)) {
            s += d == 0xA1 ? ' ' : d == 0xAB ? '~' : '*';
            ++i;
        } else {
            s += static_cast<char>(c);
        }
    }

    size_t i = s.find_first_not_of(" \t\n\v\f\r");
    if (i == std::string::npos)
        return 0;
    bool negative = false;
    if (s[i] == '+' || s[i] == '-')
        negative = s[i++] == '-';
    auto digits = [&](size_t at) {
        size_t end = at;
        while (end < s.size() && s[end] >= '0' && s[end] <= '9')
            ++end;
        return end;
    };
    size_t end = digits(i);
    bool any = end > i;
    if (end < s.size() && s[end] == '.') {
        size_t fraction = digits(end + 1);
        any = any || fraction > end + 1;
        end = fraction;
    }
    if (!any)
        return 0;
    if (end < s.size() && (s[end] == 'e' || s[end] == 'E')) {
        size_t e = end + 1;
        if (e < s.size() && (s[e] == '+' || s[e] == '-'))
            ++e;
        if (digits(e) > e)
            end = digits(e);
    }
    double value = 0;
    // from_chars ignores the locale, which Qt sets from the environment.
    std::from_chars(s.data() + i, s.data() + end, value);
    return negative ? -value : value;
}

Text IntToText(int64_t n) {
    return Text(std::to_string(n));
}

Text BlankText(int32_t n) {
    return n <= 0 ? Text() : Text(std::string(static_cast<size_t>(n), ' '));
}

int64_t TruncateToInteger(double x) {
    if (std::isnan(x))
        return 0;
    if (x >= 9223372036854775807.0)
        return std::numeric_limits<int64_t>::max();
    if (x <= -9223372036854775808.0)
        return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(x);
}
