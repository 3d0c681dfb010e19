#pragma once
// A broken invariant aborts, so that libFuzzer keeps the input that broke it. Unlike assert it
// stays on in optimised builds.

#include <cstdio>
#include <cstdlib>
#include <string_view>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

inline bool HoldsNoZeroByte(std::string_view s) {
    return s.find('\0') == std::string_view::npos;
}

inline bool HoldsControlByte(std::string_view s) {
    for (char c : s) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return true;
    }
    return false;
}
