// TextFind over a 1 MB result page in GBK, mostly ASCII markup around Chinese nicknames, against
// memmem (which ignores where characters begin) and against the plain loop that steps character
// by character and compares at each start, on the same bytes.

#include <cstring>
#include <string>

#include <benchmark/benchmark.h>

#include "values/text.h"

namespace {

constexpr size_t kPageSize = 1 << 20;

const Text& NearEnd() {
    static const Text sought = GbkText("//点击触发函数");
    return sought;
}

const Text& Absent() {
    static const Text sought = GbkText("没有会员符合您的搜索条件");
    return sought;
}

// The block end marker sits 64 bytes before the end.
const Text& Page() {
    static const Text page = [] {
        const Text nickname = GbkText("会员昵称");
        std::string bytes;
        for (int i = 0; bytes.size() < kPageSize; ++i) {
            const std::string id = std::to_string(100000 + i);
            bytes += "<li class=\"member\"><a href=\"http://www.example.com/member/" + id +
                     "?from=search\" target=\"_blank\"><img src=\"http://img.example.com/photo/" +
                     id + ".jpg\" alt=\"" + nickname.str() + id + "\" /></a></li>\n";
        }
        bytes.resize(kPageSize - 64, ' ');
        bytes += NearEnd().str();
        bytes.resize(kPageSize, ' ');
        return Text(bytes);
    }();
    return page;
}

int32_t PlainFind(std::string_view t, std::string_view sought) {
    for (size_t at = 0; at + sought.size() <= t.size();
         at += static_cast<unsigned char>(t[at]) >= 0x80 ? 2 : 1) {
        if (t[at] == sought[0] && std::memcmp(t.data() + at, sought.data(), sought.size()) == 0)
            return static_cast<int32_t>(at + 1);
    }
    return -1;
}

int32_t MemmemFind(std::string_view t, std::string_view sought) {
    const void* hit = memmem(t.data(), t.size(), sought.data(), sought.size());
    return hit ? static_cast<int32_t>(static_cast<const char*>(hit) - t.data() + 1) : -1;
}

template <class Find> void Run(benchmark::State& state, const Text& sought, Find find) {
    const int32_t expected = sought == NearEnd() ? static_cast<int32_t>(kPageSize - 63) : -1;
    for (auto _ : state) {
        int32_t at = find(Page(), sought);
        benchmark::DoNotOptimize(at);
        if (at != expected)
            state.SkipWithError("wrong position");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPageSize));
}

void TextFindNearEnd(benchmark::State& state) {
    Run(state, NearEnd(), [](const Text& t, const Text& s) { return TextFind(t, s); });
}
void TextFindAbsent(benchmark::State& state) {
    Run(state, Absent(), [](const Text& t, const Text& s) { return TextFind(t, s); });
}
void MemmemNearEnd(benchmark::State& state) {
    Run(state, NearEnd(),
        [](const Text& t, const Text& s) { return MemmemFind(t.view(), s.view()); });
}
void MemmemAbsent(benchmark::State& state) {
    Run(state, Absent(),
        [](const Text& t, const Text& s) { return MemmemFind(t.view(), s.view()); });
}
void PlainLoopNearEnd(benchmark::State& state) {
    Run(state, NearEnd(),
        [](const Text& t, const Text& s) { return PlainFind(t.view(), s.view()); });
}
void PlainLoopAbsent(benchmark::State& state) {
    Run(state, Absent(),
        [](const Text& t, const Text& s) { return PlainFind(t.view(), s.view()); });
}
BENCHMARK(TextFindNearEnd)->Unit(benchmark::kMicrosecond);
BENCHMARK(TextFindAbsent)->Unit(benchmark::kMicrosecond);
BENCHMARK(MemmemNearEnd)->Unit(benchmark::kMicrosecond);
BENCHMARK(MemmemAbsent)->Unit(benchmark::kMicrosecond);
BENCHMARK(PlainLoopNearEnd)->Unit(benchmark::kMicrosecond);
BENCHMARK(PlainLoopAbsent)->Unit(benchmark::kMicrosecond);

} // namespace
