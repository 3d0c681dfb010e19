#include "platform/regexp.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include "platform/codepage.h"
#include "platform/lifecycle.h"

static_assert(sizeof(PCRE2_UCHAR) == sizeof(char16_t));

namespace {

template <auto Free> struct FreeWith {
    template <class T> void operator()(T* p) const { Free(p); }
};
using CompileContext = std::unique_ptr<pcre2_compile_context, FreeWith<pcre2_compile_context_free>>;
using Code = std::unique_ptr<pcre2_code, FreeWith<pcre2_code_free>>;
using MatchContext = std::unique_ptr<pcre2_match_context, FreeWith<pcre2_match_context_free>>;
using MatchData = std::unique_ptr<pcre2_match_data, FreeWith<pcre2_match_data_free>>;
using JitStack = std::unique_ptr<pcre2_jit_stack, FreeWith<pcre2_jit_stack_free>>;

// Bounds one search, so that a pattern that backtracks without end gives up instead of hanging.
constexpr uint32_t kMatchLimit = 10'000'000;
// A repeated group takes JIT stack for every repetition; the default 32 KiB would end a search
// over a long line after a few thousand. The stack grows up to this size only when needed.
constexpr size_t kJitStackStart = 32 * 1024;
constexpr size_t kJitStackMax = 64 * 1024 * 1024;

std::atomic<bool> failCreation{false};

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::ranges::equal(a, b, [&](char x, char y) { return lower(x) == lower(y); });
}

PCRE2_SPTR Units(const std::u16string& text) {
    return reinterpret_cast<PCRE2_SPTR>(text.data());
}

class RegExp final : public AutomationObject {
  public:
    std::u16string pattern;
    bool global = false;
    bool ignoreCase = false;
    int compileCount = 0;

    // The code for the current settings, compiled only when they differ from the last compiled
    // ones; null when the pattern is invalid.
    const pcre2_code* Compiled() {
        if (compiled_ && compiledPattern_ == pattern && compiledIgnoreCase_ == ignoreCase)
            return code_.get();
        ++compileCount;
        code_.reset();
        compiled_ = false;
        CompileContext context(pcre2_compile_context_create(nullptr));
        if (!context)
            return nullptr;
        // "." stops at a line feed only; a carriage return is an ordinary character.
        pcre2_set_newline(context.get(), PCRE2_NEWLINE_LF);
        // An unknown escape such as "\q" stands for the letter itself.
        pcre2_set_compile_extra_options(context.get(), PCRE2_EXTRA_BAD_ESCAPE_IS_LITERAL);
        // Code units are the characters (the subject comes from GBK, which has no surrogates):
        // no validity check of the subject, and "\s" is exactly [ \f\n\r\t\v]. Backslash-u,
        // "$" and a reference to an unset group behave as the scripting engines have them.
        uint32_t options = PCRE2_NEVER_UTF | PCRE2_ALT_BSUX | PCRE2_DOLLAR_ENDONLY |
                           PCRE2_MATCH_UNSET_BACKREF | (ignoreCase ? PCRE2_CASELESS : 0);
        int error = 0;
        PCRE2_SIZE errorOffset = 0;
        code_.reset(pcre2_compile(Units(pattern), pattern.size(), options, &error, &errorOffset,
                                  context.get()));
        // Without the JIT the interpreter still gives the same results, only slower.
        if (code_)
            pcre2_jit_compile(code_.get(), PCRE2_JIT_COMPLETE);
        compiledPattern_ = pattern;
        compiledIgnoreCase_ = ignoreCase;
        compiled_ = true;
        return code_.get();
    }

  private:
    Code code_;
    std::u16string compiledPattern_;
    bool compiledIgnoreCase_ = false;
    bool compiled_ = false;
};

// Keeps the subject and the capture offsets; the texts are converted only when asked for.
class MatchCollection final : public AutomationObject {
  public:
    std::u16string subject;
    uint32_t groups = 0;
    size_t count = 0;
    std::vector<PCRE2_SIZE> spans; // groups start/end pairs per match, PCRE2_UNSET when unset
};

class Match final : public AutomationObject {
  public:
    Match(std::shared_ptr<const MatchCollection> m, size_t i) : matches(std::move(m)), index(i) {}
    std::shared_ptr<const MatchCollection> matches;
    size_t index;
};

class SubMatches final : public AutomationObject {
  public:
    SubMatches(std::shared_ptr<const MatchCollection> m, size_t i)
        : matches(std::move(m)), index(i) {}
    std::shared_ptr<const MatchCollection> matches;
    size_t index;
};

} // namespace

bool CreateAutomationObject(ObjectRef& slot, std::string_view name) {
    // No class is registered under an identifier in braces, so only the class name creates.
    if (failCreation.load() || !EqualIgnoringAsciiCase(name, "VBScript.RegExp"))
        return false;
    slot = std::make_shared<RegExp>();
    return true;
}

void FailAutomationCreationForTesting(bool fail) {
    failCreation.store(fail);
}

void RegExpPutPattern(const ObjectRef& regex, std::string_view gbkPattern) {
    if (auto* re = dynamic_cast<RegExp*>(regex.get()))
        re->pattern = GbkToUtf16(gbkPattern);
}

void RegExpPutGlobal(const ObjectRef& regex, bool value) {
    if (auto* re = dynamic_cast<RegExp*>(regex.get()))
        re->global = value;
}

void RegExpPutIgnoreCase(const ObjectRef& regex, bool value) {
    if (auto* re = dynamic_cast<RegExp*>(regex.get()))
        re->ignoreCase = value;
}

ObjectRef RegExpExecute(const ObjectRef& regex, std::string_view gbkSubject) {
    auto* re = dynamic_cast<RegExp*>(regex.get());
    if (!re)
        return {};
    const pcre2_code* code = re->Compiled();
    if (!code)
        return {};
    MatchData data(pcre2_match_data_create_from_pattern(code, nullptr));
    MatchContext context(pcre2_match_context_create(nullptr));
    JitStack stack(pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr));
    if (!data || !context || !stack)
        return {};
    pcre2_set_match_limit(context.get(), kMatchLimit);
    pcre2_jit_stack_assign(context.get(), nullptr, stack.get());

    auto matches = std::make_shared<MatchCollection>();
    matches->subject = GbkToUtf16(gbkSubject);
    pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &matches->groups);
    const PCRE2_SIZE length = matches->subject.size();
    PCRE2_SIZE start = 0;
    while (start <= length && !ProcessIsEnding()) {
        // Below zero: no further match, or a limit reached; either way the collection ends here.
        if (pcre2_match(code, Units(matches->subject), length, start, 0, data.get(),
                        context.get()) < 0)
            break;
        const PCRE2_SIZE* offsets = pcre2_get_ovector_pointer(data.get());
        matches->spans.insert(matches->spans.end(), offsets + 2, offsets + 2 + 2 * matches->groups);
        ++matches->count;
        if (!re->global)
            break;
        // The next search starts where this match ended, one character on after an empty one.
        start = offsets[1] > offsets[0] ? offsets[1] : offsets[0] + 1;
    }
    return matches;
}

double ObjectCount(const ObjectRef& collection) {
    if (auto* matches = dynamic_cast<const MatchCollection*>(collection.get()))
        return static_cast<double>(matches->count);
    if (auto* sub = dynamic_cast<const SubMatches*>(collection.get()))
        return sub->matches->groups;
    return 0;
}

ObjectRef MatchesItem(const ObjectRef& matches, double index) {
    auto collection = std::dynamic_pointer_cast<const MatchCollection>(matches);
    // The index is rounded to an integer the way an automation argument is converted.
    const double i = std::nearbyint(index);
    if (!collection || !(i >= 0 && i < static_cast<double>(collection->count)))
        return {};
    return std::make_shared<Match>(collection, static_cast<size_t>(i));
}

ObjectRef MatchSubMatches(const ObjectRef& match) {
    auto* m = dynamic_cast<const Match*>(match.get());
    if (!m)
        return {};
    return std::make_shared<SubMatches>(m->matches, m->index);
}

std::string SubMatchesItem(const ObjectRef& subMatches, int32_t index) {
    auto* sub = dynamic_cast<const SubMatches*>(subMatches.get());
    if (!sub || index < 0 || static_cast<uint32_t>(index) >= sub->matches->groups)
        return {};
    const MatchCollection& m = *sub->matches;
    const PCRE2_SIZE* span = &m.spans[(sub->index * m.groups + index) * 2];
    if (span[0] == PCRE2_UNSET)
        return {};
    return Utf16ToGbk(std::u16string_view(m.subject).substr(span[0], span[1] - span[0]));
}

int RegExpCompileCountForTesting(const ObjectRef& regex) {
    auto* re = dynamic_cast<const RegExp*>(regex.get());
    return re ? re->compileCount : 0;
}
