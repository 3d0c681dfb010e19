#include "web/url.h"

#include <algorithm>

namespace {

const Text kScheme = "http://";

// The bytes between the scheme (when there is one) and the first "/" after it.
Text HostAndPort(const Text& address) {
    if (TextCompare(TextLeft(address, 7), kScheme, false) == 0) {
        int32_t slash = TextFind(address, "/", 8, true);
        if (slash <= 0)
            return TextReplaceAt(address, 1, 7);
        return TextMid(address, 8, static_cast<int32_t>(TruncateToInteger(slash - 8.0)));
    }
    int32_t slash = TextFind(address, "/", 1, true);
    if (slash <= 0)
        return address;
    return TextLeft(address, static_cast<int32_t>(TruncateToInteger(slash - 1.0)));
}

} // namespace

Text UrlHost(const Text& address) {
    Text part = HostAndPort(address);
    int32_t colon = TextFind(part, ":", 1, true);
    if (colon > 0)
        part = TextLeft(part, static_cast<int32_t>(TruncateToInteger(colon - 1.0)));
    return TextToLower(part);
}

int32_t UrlPort(const Text& address) {
    Text part = HostAndPort(address);
    int32_t colon = TextFind(part, ":", 1, true);
    Text port = "80";
    if (colon > 0) {
        double length = static_cast<double>(TextLength(part)) - colon;
        port = TextRight(part, static_cast<int32_t>(TruncateToInteger(length)));
    }
    // Clamped rather than wrapped, so that a huge number cannot turn into a valid port; the
    // connection rejects what is not a port.
    int64_t number = TruncateToInteger(TextToNumber(port));
    return static_cast<int32_t>(std::clamp<int64_t>(number, INT32_MIN, INT32_MAX));
}

Text UrlPath(const Text& address) {
    // The host is searched for in the whole address, scheme included, so a host such as "t"
    // is first found inside "http://".
    int32_t hostAt = TextFind(address, UrlHost(address), 1, true);
    int32_t slash = TextFind(address, "/", hostAt, true);
    if (slash <= 0)
        return "/";
    double length = static_cast<double>(TextLength(address)) - slash + 1;
    return TextRight(address, static_cast<int32_t>(TruncateToInteger(length)));
}
