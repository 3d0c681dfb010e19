// A result page's member block: 1 MB of markup with 2,000 member entries, GBK nicknames included,
// run through the member pattern and read the way the member-list reader reads it; against PCRE2's
// JIT alone on the same block, already in UTF-16, with no captures taken out.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

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

template <auto Free> struct FreeWith {
    template <class T> void operator()(T* p) const { Free(p); }
};

// Compiled the way the regular-expression object compiles the pattern.
void PcreJitAlone(benchmark::State& state) {
    const std::u16string subject = GbkToUtf16(MemberBlock());
    const std::u16string pattern = GbkToUtf16(kMemberEntryPattern);
    std::unique_ptr<pcre2_compile_context, FreeWith<pcre2_compile_context_free>> compile(
        pcre2_compile_context_create(nullptr));
    pcre2_set_newline(compile.get(), PCRE2_NEWLINE_LF);
    pcre2_set_compile_extra_options(compile.get(), PCRE2_EXTRA_BAD_ESCAPE_IS_LITERAL);
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    std::unique_ptr<pcre2_code, FreeWith<pcre2_code_free>> code(
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                      PCRE2_NEVER_UTF | PCRE2_ALT_BSUX | PCRE2_DOLLAR_ENDONLY |
                          PCRE2_MATCH_UNSET_BACKREF | PCRE2_CASELESS,
                      &error, &errorOffset, compile.get()));
    if (!code || pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE) != 0) {
        state.SkipWithError("no JIT code");
        return;
    }
    std::unique_ptr<pcre2_match_data, FreeWith<pcre2_match_data_free>> data(
        pcre2_match_data_create_from_pattern(code.get(), nullptr));
    std::unique_ptr<pcre2_jit_stack, FreeWith<pcre2_jit_stack_free>> stack(
        pcre2_jit_stack_create(32 * 1024, 64 * 1024 * 1024, nullptr));
    std::unique_ptr<pcre2_match_context, FreeWith<pcre2_match_context_free>> context(
        pcre2_match_context_create(nullptr));
    pcre2_jit_stack_assign(context.get(), nullptr, stack.get());
    const auto* units = reinterpret_cast<PCRE2_SPTR>(subject.data());
    for (auto _ : state) {
        int n = 0;
        PCRE2_SIZE start = 0;
        while (pcre2_jit_match(code.get(), units, subject.size(), start, 0, data.get(),
                               context.get()) >= 0) {
            ++n;
            start = pcre2_get_ovector_pointer(data.get())[1];
        }
        benchmark::DoNotOptimize(n);
        if (n != 2000)
            state.SkipWithError("the block did not give 2000 entries");
    }
}
BENCHMARK(PcreJitAlone)->Unit(benchmark::kMillisecond);

} // namespace
