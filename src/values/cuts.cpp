#include "values/cuts.h"

#include <algorithm>

std::string_view detail::CutLeft(std::string_view v, int32_t n) {
    return n <= 0 ? std::string_view() : v.substr(0, static_cast<size_t>(n));
}

std::string_view detail::CutRight(std::string_view v, int32_t n) {
    if (n <= 0)
        return {};
    return v.substr(v.size() - std::min(v.size(), static_cast<size_t>(n)));
}

std::string detail::Join(std::initializer_list<std::string_view> parts) {
    size_t total = 0;
    for (auto part : parts)
        total += part.size();
    std::string out;
    out.reserve(total);
    for (auto part : parts)
        out.append(part);
    return out;
}
