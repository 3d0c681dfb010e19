// Decoding arbitrary bytes as a UTF-8 page into GBK text.

#include <algorithm>
#include <string>

#include "check.h"
#include "web/decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string original(reinterpret_cast<const char*>(data), size);
    Bytes page(original);
    const Text text = Utf8ToAnsi(page);
    const std::string_view t = text.view();
    FUZZ_CHECK(HoldsNoZeroByte(t));

    // The zero byte is appended exactly when the data does not end in 0x7F or above.
    const bool terminated = original.empty() || static_cast<unsigned char>(original.back()) < 0x7F;
    FUZZ_CHECK(page.str() == (terminated ? original + '\0' : original));

    // Every input byte gives at most one character (a bad byte becomes "?", a four-byte
    // sequence one "?"), and a character of two or more UTF-8 bytes gives at most two GBK bytes.
    const std::string_view before = std::string_view(original).substr(0, original.find('\0'));
    FUZZ_CHECK(t.size() <= before.size());
    if (std::all_of(before.begin(), before.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        FUZZ_CHECK(t == before);

    const Text wide = WideToAnsi(Bytes(original));
    FUZZ_CHECK(HoldsNoZeroByte(wide.view()));
    FUZZ_CHECK(original.empty() ? wide == Text(" ") : wide.view().size() <= original.size());
    return 0;
}
