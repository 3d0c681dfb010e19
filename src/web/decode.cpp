#include "web/decode.h"

#include <cstring>
#include <string>

#include "platform/codepage.h"

namespace {

// The units up to the first zero unit, or all of them.
Text UnitsToAnsi(std::u16string_view units) {
    return Text(Utf16ToGbk(units.substr(0, units.find(u'\0'))));
}

} // namespace

Text Utf8ToAnsi(Bytes& data) {
    double last = BytesReadInt32(BytesRight(data, 1));
    if (last - 127 < -0.0000001)
        data = BytesConcat(std::move(data), Bytes(std::string_view("\0", 1)));
    // Straight on to the second half: a page is a megabyte, and each copy of its wide form costs
    // more than the conversion itself.
    const std::u16string units = Utf8ToUtf16(data.view());
    return units.empty() ? BlankText(1) : UnitsToAnsi(units);
}

Text WideToAnsi(const Bytes& wide) {
    // Nothing to convert leaves the one-blank output buffer as it was.
    if (wide.empty())
        return BlankText(1);
    std::u16string units(wide.view().size() / 2, u'\0');
    std::memcpy(units.data(), wide.data(), units.size() * 2);
    return UnitsToAnsi(units);
}
