#pragma once
// Message boxes from Windows message-box flags: the button group in the low four bits, the icon
// in the next four.

#include <cstdint>
#include <optional>

#include <QMessageBox>

#include "values/text.h"

// Sets the box's text, caption ("信息：" when none is given), buttons (the first is the default
// one) and icon.
void SetUpMessageBox(QMessageBox& box, const Text& text, int32_t type,
                     const std::optional<Text>& caption);

// The Windows identifier of the button that closed the box, minus 1: OK 0, Cancel 1, Abort 2,
// Retry 3, Ignore 4, Yes 5, No 6; -1 while no button has closed it.
int32_t MessageBoxResult(const QMessageBox& box);
