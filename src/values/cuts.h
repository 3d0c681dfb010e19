#pragma once
// The byte cutting and joining that Text and Bytes share.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace detail {
// n <= 0: empty; otherwise the first (last) min(n, length) bytes.
std::string_view CutLeft(std::string_view v, int32_t n);
std::string_view CutRight(std::string_view v, int32_t n);
// The parts joined in order, measured first and built in one allocation.
std::string Join(std::initializer_list<std::string_view> parts);
} // namespace detail
