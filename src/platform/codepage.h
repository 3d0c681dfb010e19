#pragma once
// Conversions between UTF-8, UTF-16 and GBK, the program's fixed ANSI code page (936).
// Invalid input never fails a conversion: an undecodable sequence becomes U+FFFD, and a
// character that GBK lacks becomes "?".

#include <string>
#include <string_view>

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToGbk(std::u16string_view wide);
std::u16string GbkToUtf16(std::string_view gbk);
std::string Utf16ToUtf8(std::u16string_view wide);

std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);
