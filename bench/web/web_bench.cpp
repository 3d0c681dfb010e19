// The HTTP routine against the curl command-line tool on one 10 MB body over loopback, and the
// page decoding of a 1 MB page. Prints the routine's time as a multiple of the tool's at the end.

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
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
void Utf8ToAnsi1MB(benchmark::State& state) {
    std::string page;
    while (page.size() < (1 << 20))
        page += "<li><a href=\"/u/12345\">\xE5\xB0\x8F\xE7\xBE\x8E</a> \xE5\xA5\xB3 28</li>\n";
    const Bytes source(page);
    for (auto _ : state) {
        Bytes data = source; // the routine appends to its argument
        benchmark::DoNotOptimize(Utf8ToAnsi(data));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(Utf8ToAnsi1MB)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (routineSeconds > 0 && toolSeconds > 0)
        std::printf("HttpRequestBytes / curl tool, 10 MB on loopback: %.2f\n",
                    routineSeconds / toolSeconds);
}
