#pragma once
// The one crossing between the program's GBK Text and Qt's UTF-16 strings.

#include <QString>

#include "values/text.h"

QString ToQString(const Text& text);
Text FromQString(const QString& string);
