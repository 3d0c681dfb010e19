#include "values/bytes.h"

#include "values/cuts.h"

int32_t BytesLength(const Bytes& d) {
    return static_cast<int32_t>(d.view().size());
}

Bytes BytesLeft(const Bytes& d, int32_t n) {
    return Bytes(detail::CutLeft(d.view(), n));
}

Bytes BytesRight(const Bytes& d, int32_t n) {
    return Bytes(detail::CutRight(d.view(), n));
}

Bytes BlankBytes(int32_t n) {
    return n <= 0 ? Bytes() : Bytes(std::string(static_cast<size_t>(n), '\0'));
}

Bytes detail::ConcatByteViews(std::initializer_list<std::string_view> parts) {
    return Bytes(Join(parts));
}

Bytes BytesConcat(Bytes&& first, const Bytes& second) {
    Bytes out(std::move(first));
    out.bytes_.append(second.view());
    return out;
}

Text BytesToText(const Bytes& d) {
    return Text(d.view());
}

Bytes TextToBytes(const Text& t) {
    return Bytes(t.view());
}

int32_t BytesReadInt32(const Bytes& d) {
    uint32_t value = 0;
    std::string_view v = d.view();
    for (size_t i = 0; i < std::min<size_t>(v.size(), 4); ++i)
        value |= static_cast<uint32_t>(static_cast<unsigned char>(v[i])) << (8 * i);
    return static_cast<int32_t>(value);
}
