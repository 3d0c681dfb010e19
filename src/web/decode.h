#pragma once
// Decoding the site's UTF-8 pages into the program's ANSI code page (GBK), by way of UTF-16.
// An invalid UTF-8 sequence becomes U+FFFD and then, like every character GBK lacks, "?".

#include "values/bytes.h"
#include "values/text.h"

// The text up to the first zero byte. When the last byte of `data` is below 0x7F (or `data` is
// empty), a zero byte is first appended to the caller's variable to end the text. Data that
// ends in 0x7F or above and holds no zero byte is converted whole.
Text Utf8ToAnsi(Bytes& data);

// UTF-16 code units in little-endian order, converted up to the first zero unit, or whole when
// there is none (a trailing odd byte is ignored). The empty value gives one blank.
Text WideToAnsi(const Bytes& wide);
