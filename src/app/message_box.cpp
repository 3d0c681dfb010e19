#include "app/message_box.h"

#include <vector>

#include "app/qt_text.h"

namespace {

using Button = QMessageBox::StandardButton;

std::vector<Button> ButtonsOf(int32_t type) {
    switch (type & 0xF) {
    case 1: // MB_OKCANCEL
        return {QMessageBox::Ok, QMessageBox::Cancel};
    case 2: // MB_ABORTRETRYIGNORE
        return {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore};
    case 3: // MB_YESNOCANCEL
        return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    case 4: // MB_YESNO
        return {QMessageBox::Yes, QMessageBox::No};
    case 5: // MB_RETRYCANCEL
        return {QMessageBox::Retry, QMessageBox::Cancel};
    default: // MB_OK, and the groups this program never uses
        return {QMessageBox::Ok};
    }
}

QMessageBox::Icon IconOf(int32_t type) {
    switch (type & 0xF0) {
    case 0x10: // MB_ICONERROR
        return QMessageBox::Critical;
    case 0x20: // MB_ICONQUESTION
        return QMessageBox::Question;
    case 0x30: // MB_ICONWARNING
        return QMessageBox::Warning;
    case 0x40: // MB_ICONINFORMATION
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

void SetUpMessageBox(QMessageBox& box, const Text& text, int32_t type,
                     const std::optional<Text>& caption) {
    box.setWindowTitle(caption ? ToQString(*caption) : QStringLiteral(u"信息："));
    box.setTextFormat(Qt::PlainText);
    box.setText(ToQString(text));
    box.setIcon(IconOf(type));
    const std::vector<Button> buttons = ButtonsOf(type);
    for (Button button : buttons)
        box.addButton(button);
    box.setDefaultButton(buttons.front());
    // Closing the box counts as Cancel where there is one, and as OK in an OK-only box.
    if (buttons.size() == 1)
        box.setEscapeButton(QMessageBox::Ok);
    else if (box.button(QMessageBox::Cancel))
        box.setEscapeButton(QMessageBox::Cancel);
}

int32_t MessageBoxResult(const QMessageBox& box) {
    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Ok:
        return 0;
    case QMessageBox::Cancel:
        return 1;
    case QMessageBox::Abort:
        return 2;
    case QMessageBox::Retry:
        return 3;
    case QMessageBox::Ignore:
        return 4;
    case QMessageBox::Yes:
        return 5;
    case QMessageBox::No:
        return 6;
    default:
        return -1;
    }
}
