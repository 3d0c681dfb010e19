#pragma once
// Bytes: an owned byte sequence of explicit length; zero bytes may occur.

#include <cstdint>
#include <string>
#include <string_view>

#include "values/text.h"

class Bytes {
public:
    Bytes() = default;
    explicit Bytes(std::string_view bytes) : bytes_(bytes) {}
    explicit Bytes(const char* bytes) : bytes_(bytes) {}
    explicit Bytes(std::string&& bytes) : bytes_(std::move(bytes)) {}

    std::string_view view() const { return bytes_; }
    const std::string& str() const { return bytes_; }
    const char* data() const { return bytes_.data(); }
    bool empty() const { return bytes_.empty(); }

    friend bool operator==(const Bytes&, const Bytes&) = default;

private:
    friend Bytes BytesConcat(Bytes&& first, const Bytes& second);
    std::string bytes_;
};

int32_t BytesLength(const Bytes& d);
Bytes BytesLeft(const Bytes& d, int32_t n);
Bytes BytesRight(const Bytes& d, int32_t n);
Bytes BlankBytes(int32_t n);

namespace detail {
Bytes ConcatByteViews(std::initializer_list<std::string_view> parts);
}

template <class... Rest>
Bytes BytesConcat(const Bytes& first, const Bytes& second, const Rest&... rest) {
    return detail::ConcatByteViews({first.view(), second.view(), rest.view()...});
}
// Appends to a value the caller gives up, so a body gathered piece by piece costs linear time.
Bytes BytesConcat(Bytes&& first, const Bytes& second);

Text BytesToText(const Bytes& d);
Bytes TextToBytes(const Text& t);
// Little-endian signed 32-bit integer in the first four bytes; missing high bytes count as zero.
int32_t BytesReadInt32(const Bytes& d);
