#pragma once
// Text: an owned byte string in the program's ANSI code page (GBK) that never holds a zero byte.
// Positions are 1-based and count bytes; a search that finds nothing gives -1. The operations
// never fail: positions and lengths outside the value give an empty or shortened result.

#include <cstdint>
#include <string>
#include <string_view>

class Text {
public:
    Text() = default;
    // From raw bytes, cut before the first zero byte. A literal must be ASCII: fixed Chinese
    // texts are UTF-8 in the source and go through GbkText.
    Text(const char* bytes) : Text(std::string_view(bytes)) {}
    explicit Text(std::string_view bytes) : bytes_(bytes.substr(0, bytes.find('\0'))) {}

    std::string_view view() const { return bytes_; }
    const std::string& str() const { return bytes_; }
    const char* c_str() const { return bytes_.c_str(); }
    bool empty() const { return bytes_.empty(); }

    friend bool operator==(const Text&, const Text&) = default;

private:
    std::string bytes_;
};

// A fixed text of the program, written in UTF-8 in the source, as GBK bytes.
Text GbkText(std::string_view utf8);

int32_t TextLength(const Text& t);

namespace detail {
inline std::string_view ViewOf(const Text& t) { return t.view(); }
inline std::string_view ViewOf(const char* s) { return s; }
Text ConcatViews(std::initializer_list<std::string_view> parts);
} // namespace detail

// The arguments joined in order, measured first and built in one allocation.
template <class... Rest>
Text TextConcat(const Text& first, const Text& second, const Rest&... rest) {
    return detail::ConcatViews({first.view(), second.view(), detail::ViewOf(rest)...});
}

bool TextEqual(const Text& a, const Text& b);
// Character by character in GBK; without case sensitivity ASCII letters and the double-byte
// Latin, Greek and Cyrillic letters compare by their upper-case forms.
int TextCompare(const Text& a, const Text& b, bool caseSensitive);

Text TextLeft(const Text& t, int32_t n);
Text TextRight(const Text& t, int32_t n);
Text TextMid(const Text& t, int32_t start, int32_t n);

// Matches only where a character begins, counting from the first byte scanned: a byte of 0x80
// or above takes the byte after it along.
int32_t TextFind(const Text& t, const Text& sought, int32_t start = 1, bool ignoreCase = false);

Text TextReplaceAt(const Text& t, int32_t start, int32_t n, const Text& replacement = Text());

Text TextToUpper(const Text& t);
Text TextToLower(const Text& t);

double TextToNumber(const Text& t);
Text IntToText(int64_t n);
Text BlankText(int32_t n);

// The double x rounded toward zero; a value outside the 64-bit range is clamped, a NaN gives 0.
int64_t TruncateToInteger(double x);
