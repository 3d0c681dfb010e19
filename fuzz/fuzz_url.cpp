// Cutting arbitrary addresses into host, port and path.

#include <string>

#include "check.h"
#include "web/url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Text address(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string_view a = address.view();

    const Text host = UrlHost(address);
    const std::string_view h = host.view();
    FUZZ_CHECK(HoldsNoZeroByte(h));
    // A "/" or ":" may only hide as the second byte of a two-byte character.
    for (size_t i = 0; i < h.size(); i += static_cast<unsigned char>(h[i]) >= 0x80 ? 2 : 1)
        FUZZ_CHECK(h[i] != '/' && h[i] != ':');
    // The host is the address's own bytes after the scheme, with only ASCII capitals lowered.
    const bool scheme = TextCompare(TextLeft(address, 7), "http://", false) == 0;
    const std::string_view source = a.substr(scheme ? 7 : 0);
    FUZZ_CHECK(h.size() <= source.size());
    for (size_t i = 0; i < h.size(); ++i) {
        const char from = source[i];
        FUZZ_CHECK(h[i] == from || (from >= 'A' && from <= 'Z' && h[i] == from + 0x20));
    }

    (void)UrlPort(address);

    const Text path = UrlPath(address);
    const std::string_view p = path.view();
    FUZZ_CHECK(!p.empty() && p[0] == '/');
    FUZZ_CHECK(p == "/" || a.ends_with(p));
    return 0;
}
