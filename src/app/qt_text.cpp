#include "app/qt_text.h"

#include "platform/codepage.h"

QString ToQString(const Text& text) {
    return QString::fromStdU16String(GbkToUtf16(text.view()));
}

Text FromQString(const QString& string) {
    return Text(Utf16ToGbk(
        std::u16string_view(reinterpret_cast<const char16_t*>(string.utf16()), string.size())));
}
