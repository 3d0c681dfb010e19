// A result page's member block: 1 MB of markup with 2,000 member entries, GBK nicknames included,
// run through the member pattern and read the way the member-list reader reads it.

#include <benchmark/benchmark.h>

#include <string>

#include "platform/codepage.h"
#include "platform/regexp.h"

namespace {

constexpr std::string_view kMemberEntryPattern =
    R"re(href="(.*?)"\sonclick="[a-zA-Z]+\(\{'first_serv':'normal','uid':([1-9][0-9]{4,}),'sex':'(m|f)'\}\)" target="_blank"\>\<img src="(.*?)"\salt="(.*?)")re";

std::string MemberBlock() {
    const std::string nickname = Utf8ToGbk("会员昵称");
    std::string block;
    for (int i = 0; i < 2000; ++i) {
        const std::string id = std::to_string(100000 + i);
        block += "<li class=\"member\"><a href=\"http://www.example.com/member/" + id +
                 "?from=search\" onclick=\"viewProfile({'first_serv':'normal','uid':" + id +
                 ",'sex':'" + (i % 2 ? "f" : "m") +
                 "'})\" target=\"_blank\"><img src=\"http://img.example.com/photo/" + id +
                 ".jpg\" alt=\"" + nickname + id + "\" /></a>\n<p><a href=\"/m/" + id + "\">" +
                 nickname + "</a> " + std::string(220, ' ') + "</p></li>\n";
    }
    block.resize(1 << 20, ' ');
    return block;
}

void MemberBlockRun(benchmark::State& state) {
    const std::string block = MemberBlock();
    ObjectRef regex;
    CreateAutomationObject(regex, "VBScript.RegExp");
    for (auto _ : state) {
        RegExpPutPattern(regex, kMemberEntryPattern);
        RegExpPutGlobal(regex, true);
        RegExpPutIgnoreCase(regex, true);
        ObjectRef matches = RegExpExecute(regex, block);
        const int n = static_cast<int>(ObjectCount(matches));
        size_t bytes = 0;
        for (int i = 0; i < n; ++i) {
            ObjectRef sub = MatchSubMatches(MatchesItem(matches, i));
            for (int k : {0, 4, 2, 3, 2, 3})
                bytes += SubMatchesItem(sub, k).size();
        }
        benchmark::DoNotOptimize(bytes);
        if (n != 2000)
            state.SkipWithError("the block did not give 2000 entries");
    }
}
BENCHMARK(MemberBlockRun)->Unit(benchmark::kMillisecond);

} // namespace
