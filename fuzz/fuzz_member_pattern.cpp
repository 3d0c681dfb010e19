// The member pattern, as the collection compiles it, over arbitrary blocks.

#include <string>

#include "check.h"
#include "collect/member_block.h"
#include "platform/codepage.h"
#include "platform/regexp.h"
#include "values/text.h"

namespace {

bool IsUid(std::string_view s) {
    if (s.size() < 5 || s[0] < '1' || s[0] > '9')
        return false;
    return s.find_first_not_of("0123456789") == std::string_view::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One object for the whole run, as the program keeps one.
    static const ObjectRef regex = [] {
        ObjectRef r;
        FUZZ_CHECK(CreateAutomationObject(r, "VBScript.RegExp"));
        return r;
    }();
    const Text block(std::string_view(reinterpret_cast<const char*>(data), size));
    RegExpPutPattern(regex, MemberEntryPattern);
    RegExpPutGlobal(regex, true);
    RegExpPutIgnoreCase(regex, true);
    const ObjectRef matches = RegExpExecute(regex, block.view());
    FUZZ_CHECK(matches != nullptr);

    // Captures come back through UTF-16, where bytes that are no GBK become "?"; for valid
    // GBK this is the block itself.
    const std::string subject = Utf16ToGbk(GbkToUtf16(block.view()));
    const double count = ObjectCount(matches);
    FUZZ_CHECK(count >= 0 && count == static_cast<double>(static_cast<size_t>(count)));
    for (double i = 0; i < count; ++i) {
        const ObjectRef sub = MatchSubMatches(MatchesItem(matches, i));
        FUZZ_CHECK(ObjectCount(sub) == 5);
        for (int32_t k = 0; k < 5; ++k) {
            const std::string capture = SubMatchesItem(sub, k);
            FUZZ_CHECK(HoldsNoZeroByte(capture));
            FUZZ_CHECK(subject.find(capture) != std::string::npos);
        }
        FUZZ_CHECK(IsUid(SubMatchesItem(sub, 1)));
        const std::string sex = SubMatchesItem(sub, 2);
        FUZZ_CHECK(sex == "m" || sex == "f" || sex == "M" || sex == "F");
        FUZZ_CHECK(SubMatchesItem(sub, 5).empty() && SubMatchesItem(sub, -1).empty());
    }
    FUZZ_CHECK(MatchesItem(matches, count) == nullptr);
    return 0;
}
