#include "platform/codepage.h"

#include <atomic>
#include <bit>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <string>
#include <unistd.h>

#include "platform/lifecycle.h"

static_assert(std::endian::native == std::endian::little, "UTF-16 is handed to iconv as UTF-16LE");

namespace {

// The program cannot work without its code page. Reporting that converts the message, which
// may need the missing converter again: a second failure ends the process at once instead.
[[noreturn]] void ConverterMissing(const char* from, const char* to) {
    static std::atomic<bool> reporting{false};
    std::string message = std::string("iconv cannot convert from ") + from + " to " + to;
    if (reporting.exchange(true)) {
        message += "\n";
        (void)!write(STDERR_FILENO, message.data(), message.size());
        _exit(255);
    }
    FatalError(message);
}

// One iconv descriptor per direction and thread; iconv_open is far too slow to repeat per call.
class IconvHolder {
  public:
    IconvHolder(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            ConverterMissing(from, to);
    }
    ~IconvHolder() { iconv_close(cd_); }
    IconvHolder(const IconvHolder&) = delete;
    IconvHolder& operator=(const IconvHolder&) = delete;
    iconv_t get() const { return cd_; }

  private:
    iconv_t cd_;
};

// Runs iconv over the whole input into a string of maxOut bytes, which the caller sizes so that
// it cannot overflow. On a sequence iconv rejects, `skip` says how many input bytes to drop and
// `replacement` is written in their place. The result is built in its own type, since a page's
// worth of copying costs about as much as the conversion.
template <class Out, class Skip>
Out Convert(const IconvHolder& conv, std::string_view in, size_t maxOut,
            std::string_view replacement, Skip skip) {
    using Unit = typename Out::value_type;
    iconv(conv.get(), nullptr, nullptr, nullptr, nullptr);
    Out out(maxOut / sizeof(Unit), Unit{});
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    char* outPtr = reinterpret_cast<char*>(out.data());
    size_t outLeft = out.size() * sizeof(Unit);
    while (inLeft > 0) {
        if (iconv(conv.get(), &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1))
            break;
        if (errno != EILSEQ && errno != EINVAL)
            break; // E2BIG cannot happen with the callers' sizes; stop rather than loop
        size_t n = std::min(inLeft, skip(std::string_view(inPtr, inLeft)));
        inPtr += n;
        inLeft -= n;
        if (outLeft < replacement.size())
            break;
        std::memcpy(outPtr, replacement.data(), replacement.size());
        outPtr += replacement.size();
        outLeft -= replacement.size();
    }
    out.resize(out.size() - outLeft / sizeof(Unit));
    return out;
}

size_t SkipOneByte(std::string_view) {
    return 1;
}

// A rejected UTF-16 unit is a surrogate pair (one character GBK lacks) or a lone unit.
size_t SkipUtf16Character(std::string_view rest) {
    auto unit = [&](size_t i) {
        return static_cast<unsigned>(static_cast<unsigned char>(rest[i]) |
                                     static_cast<unsigned char>(rest[i + 1]) << 8);
    };
    if (rest.size() >= 4 && unit(0) >= 0xD800 && unit(0) < 0xDC00 && unit(2) >= 0xDC00 &&
        unit(2) < 0xE000)
        return 4;
    return 2;
}

constexpr std::string_view kReplacementUtf16("\xFD\xFF", 2); // U+FFFD, little-endian

std::string_view AsBytes(std::u16string_view wide) {
    return {reinterpret_cast<const char*>(wide.data()), wide.size() * 2};
}

} // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
    thread_local IconvHolder conv("UTF-16LE", "UTF-8");
    // Every input byte yields at most one code unit (a four-byte sequence yields two).
    return Convert<std::u16string>(conv, utf8, utf8.size() * 2, kReplacementUtf16, SkipOneByte);
}

std::string Utf16ToGbk(std::u16string_view wide) {
    thread_local IconvHolder conv("GBK", "UTF-16LE");
    return Convert<std::string>(conv, AsBytes(wide), wide.size() * 2, "?", SkipUtf16Character);
}

std::u16string GbkToUtf16(std::string_view gbk) {
    thread_local IconvHolder conv("UTF-16LE", "GBK");
    return Convert<std::u16string>(conv, gbk, gbk.size() * 2, kReplacementUtf16, SkipOneByte);
}

std::string Utf16ToUtf8(std::u16string_view wide) {
    thread_local IconvHolder conv("UTF-8", "UTF-16LE");
    return Convert<std::string>(conv, AsBytes(wide), wide.size() * 3, "\xEF\xBF\xBD",
                                SkipUtf16Character);
}

std::string GbkToUtf8(std::string_view gbk) {
    return Utf16ToUtf8(GbkToUtf16(gbk));
}

std::string Utf8ToGbk(std::string_view utf8) {
    return Utf16ToGbk(Utf8ToUtf16(utf8));
}
