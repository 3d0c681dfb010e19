#include "web/decode.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/codepage.h"

Text Utf8ToAnsi(Bytes& data) {
    double last = BytesReadInt32(BytesRight(data, 1));
    if (last - 127 < -0.0000001)
        data = BytesConcat(std::move(data), Bytes(std::string_view("\0", 1)));
    std::u16string units = Utf8ToUtf16(data.view());
    std::string wide(units.size() * 2, '\0');
    std::memcpy(wide.data(), units.data(), wide.size());
    return WideToAnsi(Bytes(std::move(wide)));
}

Text WideToAnsi(const Bytes& wide) {
    // Nothing to convert leaves the one-blank output buffer as it was.
    if (wide.empty())
        return BlankText(1);
    std::u16string units(wide.view().size() / 2, u'\0');
    std::memcpy(units.data(), wide.data(), units.size() * 2);
    units.resize(std::min(units.size(), units.find(u'\0')));
    return Text(Utf16ToGbk(units));
}
