// The HTTP routine against the curl command-line tool on one 10 MB body over loopback, and the
// page decoding of a 1 MB page against the two iconv passes it is made of. Prints the routine's
// time as a multiple of the tool's at the end.

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <iconv.h>
#include <spawn.h>
#include <sys/wait.h>

#include "loopback_server.h"
#include "web/decode.h"
#include "web/http.h"

extern char** environ;

namespace {

constexpr size_t kBodySize = 10 << 20;

LoopbackServer& Server() {
    static LoopbackServer server([](const std::string&) {
        static const std::string reply = HttpReply("200 OK", "", std::string(kBodySize, 'x'));
        return LoopbackServer::Reply{reply};
    });
    return server;
}

double routineSeconds = 0;
double toolSeconds = 0;

// Runs the loop and gives the mean wall time of one iteration.
template <class Body> double Timed(benchmark::State& state, Body body) {
    auto begin = std::chrono::steady_clock::now();
    for (auto _ : state)
        body();
    std::chrono::duration<double> total = std::chrono::steady_clock::now() - begin;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBodySize));
    return total.count() / static_cast<double>(state.iterations());
}

void HttpRequestBytes10MB(benchmark::State& state) {
    const Text address(Server().Url("/big"));
    routineSeconds = Timed(state, [&] {
        Bytes body = HttpRequestBytes(address);
        if (body.view().size() != kBodySize)
            state.SkipWithError("short body");
        benchmark::DoNotOptimize(body);
    });
}
BENCHMARK(HttpRequestBytes10MB)->Unit(benchmark::kMillisecond)->UseRealTime();

void CurlTool10MB(benchmark::State& state) {
    std::string url = Server().Url("/big");
    char* argv[] = {const_cast<char*>("curl"),
                    const_cast<char*>("-s"),
                    const_cast<char*>("-o"),
                    const_cast<char*>("/dev/null"),
                    url.data(),
                    nullptr};
    toolSeconds = Timed(state, [&] {
        pid_t pid;
        int status = 0;
        if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv, environ) != 0 ||
            waitpid(pid, &status, 0) != pid || status != 0)
            state.SkipWithError("curl failed");
    });
}
BENCHMARK(CurlTool10MB)->Unit(benchmark::kMillisecond)->UseRealTime();

// A result page's mix: markup in ASCII around Chinese nicknames.
const std::string& Utf8Page() {
    static const std::string page = [] {
        std::string bytes;
        while (bytes.size() < (1 << 20))
            bytes += "<li><a href=\"/u/12345\">\xE5\xB0\x8F\xE7\xBE\x8E</a> \xE5\xA5\xB3 28</li>\n";
        return bytes;
    }();
    return page;
}

void Utf8ToAnsi1MB(benchmark::State& state) {
    const Bytes source(Utf8Page());
    Bytes data;
    for (auto _ : state) {
        state.PauseTiming();
        data = source; // the routine appends to its argument
        state.ResumeTiming();
        benchmark::DoNotOptimize(Utf8ToAnsi(data));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Utf8Page().size()));
}
BENCHMARK(Utf8ToAnsi1MB)->Unit(benchmark::kMillisecond);

struct Iconv {
    Iconv(const char* to, const char* from) : cd(iconv_open(to, from)) {}
    ~Iconv() { iconv_close(cd); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    iconv_t cd;
};

// Size of what iconv wrote into `out`, from `in` as a whole.
size_t Pass(const Iconv& conv, std::string_view in, std::string& out) {
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    iconv(conv.cd, &inPtr, &inLeft, &outPtr, &outLeft);
    return out.size() - outLeft;
}

// The floor of that decoding: the same two conversions, straight into buffers made beforehand.
void IconvPasses1MB(benchmark::State& state) {
    const std::string& page = Utf8Page();
    const Iconv toWide("UTF-16LE", "UTF-8"), toGbk("GBK", "UTF-16LE");
    if (toWide.cd == reinterpret_cast<iconv_t>(-1) || toGbk.cd == reinterpret_cast<iconv_t>(-1)) {
        state.SkipWithError("no converter");
        return;
    }
    std::string wide(page.size() * 2, '\0'), gbk(page.size() * 2, '\0');
    for (auto _ : state) {
        const size_t wideSize = Pass(toWide, page, wide);
        benchmark::DoNotOptimize(Pass(toGbk, std::string_view(wide).substr(0, wideSize), gbk));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(IconvPasses1MB)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (routineSeconds > 0 && toolSeconds > 0)
        std::printf("HttpRequestBytes / curl tool, 10 MB on loopback: %.2f\n",
                    routineSeconds / toolSeconds);
}
