#include "platform/regexp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/lifecycle.h"

namespace {

constexpr std::string_view kMemberEntryPattern =
    R"re(href="(.*?)"\sonclick="[a-zA-Z]+\(\{'first_serv':'normal','uid':([1-9][0-9]{4,}),'sex':'(m|f)'\}\)" target="_blank"\>\<img src="(.*?)"\salt="(.*?)")re";
static_assert(kMemberEntryPattern.size() == 147);

using Groups = std::vector<std::string>;

ObjectRef NewRegExp() {
    ObjectRef regex;
    EXPECT_TRUE(CreateAutomationObject(regex, "VBScript.RegExp"));
    return regex;
}

// Every match of the collection with the texts of all its sub-matches, read through the same
// calls the member-list reader makes.
std::vector<Groups> AllGroups(const ObjectRef& matches) {
    std::vector<Groups> result;
    for (int i = 0; i < static_cast<int>(ObjectCount(matches)); ++i) {
        ObjectRef sub = MatchSubMatches(MatchesItem(matches, i));
        Groups groups;
        for (int k = 0; k < static_cast<int>(ObjectCount(sub)); ++k)
            groups.push_back(SubMatchesItem(sub, k));
        result.push_back(groups);
    }
    return result;
}

std::vector<Groups> Search(std::string_view pattern, std::string_view subject, bool global = true,
                           bool ignoreCase = true) {
    ObjectRef regex = NewRegExp();
    RegExpPutPattern(regex, pattern);
    RegExpPutGlobal(regex, global);
    RegExpPutIgnoreCase(regex, ignoreCase);
    return AllGroups(RegExpExecute(regex, subject));
}

std::string Entry(std::string_view href, std::string_view uid, std::string_view sex,
                  std::string_view src, std::string_view alt) {
    return std::string("<li><a href=\"") + std::string(href) +
           "\" onclick=\"viewProfile({'first_serv':'normal','uid':" + std::string(uid) +
           ",'sex':'" + std::string(sex) + "'})\" target=\"_blank\"><img src=\"" +
           std::string(src) + "\" alt=\"" + std::string(alt) + "\" /></a></li>";
}

// An entry whose href and uid belong to member n.
std::string Member(int n, std::string_view sex = "m") {
    const std::string id = std::to_string(n);
    return Entry("/u/" + id + "?from=list", id, sex, "/p/" + id + ".jpg", "nick" + id);
}

Groups MemberGroups(int n, std::string_view sex = "m") {
    const std::string id = std::to_string(n);
    return {"/u/" + id + "?from=list", id, std::string(sex), "/p/" + id + ".jpg", "nick" + id};
}

struct EntryCase {
    const char* name;
    std::string block;
    std::vector<Groups> expected;
};

void PrintTo(const EntryCase& c, std::ostream* os) {
    *os << c.name;
}

class MemberEntryPattern : public testing::TestWithParam<EntryCase> {};

TEST_P(MemberEntryPattern, FindsTheEntriesWithTheirGroups) {
    EXPECT_EQ(Search(kMemberEntryPattern, GetParam().block), GetParam().expected);
}

const std::string kValid = Member(24680); // follows every rejected line: the scan goes on

INSTANTIATE_TEST_SUITE_P(
    Cases, MemberEntryPattern,
    testing::Values(
        EntryCase{"ValidEntriesInOrder",
                  "<ul>\n" + Member(10000) + "\n" + Member(123456789, "f") + "\r\n" +
                      Member(55555) + Member(66666, "f") + "\n</ul>",
                  {MemberGroups(10000), MemberGroups(123456789, "f"), MemberGroups(55555),
                   MemberGroups(66666, "f")}},
        EntryCase{"UidOfFourDigits",
                  Entry("/u/1234?a", "1234", "m", "p.jpg", "x") + "\n" + kValid,
                  {MemberGroups(24680)}},
        EntryCase{"UidWithLeadingZero",
                  Entry("/u/012345?a", "012345", "m", "p.jpg", "x") + "\n" + kValid,
                  {MemberGroups(24680)}},
        EntryCase{"SexOtherThanMOrF",
                  Entry("/u/1?a", "12345", "x", "p.jpg", "x") + "\n" +
                      Entry("/u/2?a", "12345", "mf", "p.jpg", "x") + "\n" +
                      Entry("/u/3?a", "12345", "", "p.jpg", "x") + "\n" + kValid,
                  {MemberGroups(24680)}},
        EntryCase{"UpperCaseWordsAndSex",
                  "<A HREF=\"/U/77777?A\" ONCLICK=\"VIEW({'FIRST_SERV':'NORMAL','UID':77777,"
                  "'SEX':'F'})\" TARGET=\"_BLANK\"><IMG SRC=\"/P/7.JPG\" ALT=\"BIG\"></A>",
                  {{"/U/77777?A", "77777", "F", "/P/7.JPG", "BIG"}}},
        EntryCase{"LineFeedInsideAValue",
                  Entry("/u/1?a\nb", "12345", "m", "p.jpg", "x") + "\n" +
                      Entry("/u/2?a", "12345", "m", "p.jpg", "first\nsecond") + "\n" + kValid,
                  {MemberGroups(24680)}},
        EntryCase{"CarriageReturnInsideAValue",
                  Entry("/u/1?a\rb", "12345", "m", "p.jpg", "x\ry"),
                  {{"/u/1?a\rb", "12345", "m", "p.jpg", "x\ry"}}},
        // "\s" is one character of [ \f\n\r\t\v], a line feed included.
        EntryCase{"EachWhiteSpaceCharacter",
                  "href=\"a\"\nonclick=\"f({'first_serv':'normal','uid':12345,'sex':'m'})\" "
                  "target=\"_blank\"><img src=\"b\"\talt=\"c\"\n"
                  "href=\"d\"\vonclick=\"f({'first_serv':'normal','uid':12345,'sex':'m'})\" "
                  "target=\"_blank\"><img src=\"e\"\falt=\"g\"\n"
                  "href=\"h\"\ronclick=\"f({'first_serv':'normal','uid':12345,'sex':'m'})\" "
                  "target=\"_blank\"><img src=\"i\" alt=\"j\"",
                  {{"a", "12345", "m", "b", "c"},
                   {"d", "12345", "m", "e", "g"},
                   {"h", "12345", "m", "i", "j"}}},
        EntryCase{"OtherSpacingIsNoWhiteSpace",
                  "href=\"a\"  onclick=\"f({'first_serv':'normal','uid':12345,'sex':'m'})\" "
                  "target=\"_blank\"><img src=\"b\" alt=\"c\"\n"
                  "href=\"a\"" +
                      Utf8ToGbk("\u3000") +
                      "onclick=\"f({'first_serv':'normal','uid':12345,'sex':'m'})\" "
                      "target=\"_blank\"><img src=\"b\" alt=\"c\"\n" +
                      kValid,
                  {MemberGroups(24680)}},
        EntryCase{"BrokenEntryThenValidOnTheSameLine",
                  Entry("/u/1?a", "123", "m", "p1.jpg", "one") + Member(98765, "f"),
                  {{"/u/1?a\" onclick=\"viewProfile({'first_serv':'normal','uid':123,'sex':'m'})"
                    "\" target=\"_blank\"><img src=\"p1.jpg\" alt=\"one\" /></a></li><li><a "
                    "href=\"/u/98765?from=list",
                    "98765", "f", "/p/98765.jpg", "nick98765"}}},
        EntryCase{"BrokenEntryThenValidOnTheNextLine",
                  Entry("/u/1?a", "123", "m", "p1.jpg", "one") + "\n" + kValid,
                  {MemberGroups(24680)}},
        EntryCase{"GbkNicknames",
                  Entry("/u/1?a", "12345", "m", "p.jpg", Utf8ToGbk("张三丰")) +
                      Entry("/u/2?a", "12346", "f", Utf8ToGbk("图/乗.jpg"), Utf8ToGbk("“小明”乗")),
                  {{"/u/1?a", "12345", "m", "p.jpg", Utf8ToGbk("张三丰")},
                   {"/u/2?a", "12346", "f", Utf8ToGbk("图/乗.jpg"), Utf8ToGbk("“小明”乗")}}},
        EntryCase{"NoEntry", "<ul><li>nothing here</li></ul>", {}},
        EntryCase{"EmptyBlock", "", {}}),
    [](const testing::TestParamInfo<EntryCase>& info) { return info.param.name; });

struct PatternCase {
    const char* name;
    const char* pattern;
    std::string subject;
    bool global;
    bool ignoreCase;
    std::vector<Groups> expected;
};

void PrintTo(const PatternCase& c, std::ostream* os) {
    *os << c.name;
}

class GeneralPattern : public testing::TestWithParam<PatternCase> {};

TEST_P(GeneralPattern, MatchesAsTheScriptingEngineDoes) {
    const PatternCase& c = GetParam();
    EXPECT_EQ(Search(c.pattern, c.subject, c.global, c.ignoreCase), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GeneralPattern,
    testing::Values(
        PatternCase{"FirstMatchOnlyWithoutGlobal", "(a.)", "a1 a2 a3", false, false, {{"a1"}}},
        PatternCase{"CaseMattersWithoutIgnoreCase", "(ab)", "AB ab Ab", true, false, {{"ab"}}},
        PatternCase{"NonOverlapping", "(aa)", "aaaaa", true, false, {{"aa"}, {"aa"}}},
        PatternCase{
            "EmptyMatchesAdvanceOneCharacter", "(a*)", "baa", true, false, {{""}, {"aa"}, {""}}},
        PatternCase{"UnmatchedGroupsAreEmpty",
                    "(x)?(y)|(z)",
                    "yz",
                    true,
                    false,
                    {{"", "y", ""}, {"", "", "z"}}},
        PatternCase{"DotStopsOnlyAtLineFeed", "(.+)", "a\rb\nc", true, false, {{"a\rb"}, {"c"}}},
        PatternCase{"DotIsOneCharacter",
                    "(.)",
                    Utf8ToGbk("中a文"),
                    true,
                    false,
                    {{Utf8ToGbk("中")}, {"a"}, {Utf8ToGbk("文")}}},
        PatternCase{"UnknownEscapeIsLiteral", R"((\q\>))", "q>", true, false, {{"q>"}}},
        PatternCase{
            "UnicodeEscape", R"((\u4e2d))", Utf8ToGbk("文中"), true, false, {{Utf8ToGbk("中")}}},
        PatternCase{"DollarOnlyAtTheEnd", "(a)$", "a\n", true, false, {}}),
    [](const testing::TestParamInfo<PatternCase>& info) { return info.param.name; });

TEST(RegExp, InvalidPatternGivesTheEmptyReference) {
    ObjectRef regex = NewRegExp();
    RegExpPutPattern(regex, "(a");
    EXPECT_EQ(RegExpExecute(regex, "a"), nullptr);
    // The object stays usable once the pattern is valid again.
    RegExpPutPattern(regex, "(a)");
    EXPECT_EQ(ObjectCount(RegExpExecute(regex, "a")), 1);
}

TEST(RegExp, EmptyAndWrongKindReferencesGiveEmptyResults) {
    const ObjectRef empty;
    RegExpPutPattern(empty, "(a)");
    RegExpPutGlobal(empty, true);
    RegExpPutIgnoreCase(empty, true);
    EXPECT_EQ(RegExpExecute(empty, "a"), nullptr);
    EXPECT_EQ(ObjectCount(empty), 0);
    EXPECT_EQ(MatchesItem(empty, 0), nullptr);
    EXPECT_EQ(MatchSubMatches(empty), nullptr);
    EXPECT_EQ(SubMatchesItem(empty, 0), "");

    ObjectRef regex = NewRegExp();
    RegExpPutPattern(regex, "(a)(b)");
    RegExpPutGlobal(regex, true);
    ObjectRef matches = RegExpExecute(regex, "ab ab");
    ObjectRef match = MatchesItem(matches, 1);
    ObjectRef sub = MatchSubMatches(match);
    ASSERT_EQ(SubMatchesItem(sub, 1), "b");

    // Each call on an object that lacks the member.
    EXPECT_EQ(ObjectCount(regex), 0);
    EXPECT_EQ(ObjectCount(match), 0);
    EXPECT_EQ(RegExpExecute(matches, "ab"), nullptr);
    EXPECT_EQ(MatchesItem(sub, 0), nullptr);
    EXPECT_EQ(MatchesItem(regex, 0), nullptr);
    EXPECT_EQ(MatchSubMatches(matches), nullptr);
    EXPECT_EQ(MatchSubMatches(sub), nullptr);
    EXPECT_EQ(SubMatchesItem(match, 0), "");
    EXPECT_EQ(SubMatchesItem(matches, 0), "");
    RegExpPutPattern(matches, "x");
    RegExpPutGlobal(sub, false);
    EXPECT_EQ(ObjectCount(matches), 2);
    EXPECT_EQ(ObjectCount(sub), 2);

    // Indexes out of range.
    EXPECT_EQ(MatchesItem(matches, -1), nullptr);
    EXPECT_EQ(MatchesItem(matches, 2), nullptr);
    EXPECT_EQ(MatchesItem(matches, NAN), nullptr);
    EXPECT_EQ(MatchesItem(matches, INFINITY), nullptr);
    EXPECT_EQ(SubMatchesItem(sub, -1), "");
    EXPECT_EQ(SubMatchesItem(sub, 2), "");
}

TEST(RegExp, ResultsOutliveTheObjectsTheyCameFrom) {
    ObjectRef regex = NewRegExp();
    RegExpPutPattern(regex, "(b+)");
    ObjectRef matches = RegExpExecute(regex, "abbc");
    ObjectRef sub = MatchSubMatches(MatchesItem(matches, 0));
    RegExpPutPattern(regex, "(c)");
    ASSERT_NE(RegExpExecute(regex, "c"), nullptr);
    regex.reset();
    matches.reset();
    EXPECT_EQ(SubMatchesItem(sub, 0), "bb");
}

TEST(RegExp, SamePatternAndCaseSettingAreNotRecompiled) {
    ObjectRef regex = NewRegExp();
    for (int i = 0; i < 3; ++i) {
        RegExpPutPattern(regex, kMemberEntryPattern);
        RegExpPutGlobal(regex, true);
        RegExpPutIgnoreCase(regex, true);
        EXPECT_EQ(ObjectCount(RegExpExecute(regex, Member(12345))), 1);
    }
    EXPECT_EQ(RegExpCompileCountForTesting(regex), 1);

    // Global only steers the search; a pattern set and set back before Execute is unchanged.
    RegExpPutGlobal(regex, false);
    RegExpPutPattern(regex, "(x)");
    RegExpPutPattern(regex, kMemberEntryPattern);
    EXPECT_EQ(ObjectCount(RegExpExecute(regex, Member(12345) + Member(12346))), 1);
    EXPECT_EQ(RegExpCompileCountForTesting(regex), 1);

    // A changed letter-case setting is compiled and takes effect.
    RegExpPutIgnoreCase(regex, false);
    std::string upper = Member(12345);
    upper.replace(upper.find("href"), 4, "HREF");
    EXPECT_EQ(ObjectCount(RegExpExecute(regex, upper)), 0);
    EXPECT_EQ(RegExpCompileCountForTesting(regex), 2);
    RegExpPutPattern(regex, "(x)");
    EXPECT_EQ(ObjectCount(RegExpExecute(regex, "x")), 1);
    EXPECT_EQ(RegExpCompileCountForTesting(regex), 3);
}

TEST(RegExp, EmptyMatchingPatternsTerminate) {
    const std::pair<const char*, double> cases[] = {
        {"", 5}, {"()", 5}, {"(?=a)", 4}, {"\\b", 2}, {"(x*)*", 5}};
    for (const auto& [pattern, count] : cases) {
        ObjectRef regex = NewRegExp();
        RegExpPutPattern(regex, pattern);
        RegExpPutGlobal(regex, true);
        EXPECT_EQ(ObjectCount(RegExpExecute(regex, "aaaa")), count) << pattern;
    }
}

TEST(RegExp, RunawayBacktrackingEndsTheCollectionWithTheMatchesSoFar) {
    // The second search backtracks through 2^40 ways of splitting the a's before it could reach
    // the last "ab"; the limit stops it and the collection keeps the first match.
    ObjectRef regex = NewRegExp();
    RegExpPutPattern(regex, "((a+)+b)");
    RegExpPutGlobal(regex, true);
    ObjectRef matches = RegExpExecute(regex, "ab " + std::string(40, 'a') + "! ab");
    ASSERT_EQ(ObjectCount(matches), 1);
    EXPECT_EQ(SubMatchesItem(MatchSubMatches(MatchesItem(matches, 0)), 0), "ab");
}

TEST(RegExp, GroupsSpanVeryLongLines) {
    const std::string longHref = "/u/1?" + std::string(2'000'000, 'x');
    const std::string block = Entry(longHref, "12345", "m", "p.jpg", "n") + Member(54321);
    EXPECT_EQ(Search(kMemberEntryPattern, block),
              (std::vector<Groups>{{longHref, "12345", "m", "p.jpg", "n"}, MemberGroups(54321)}));

    std::string repeats;
    for (int i = 0; i < 100'000; ++i)
        repeats += "abc";
    EXPECT_EQ(Search("((?:ab|c)*)", repeats, false), std::vector<Groups>{{repeats}});
}

TEST(CreateAutomationObject, CreatesOnlyTheRegExpClass) {
    ObjectRef slot;
    EXPECT_TRUE(CreateAutomationObject(slot, "vbscript.REGEXP"));
    ASSERT_NE(slot, nullptr);
    const ObjectRef first = slot;
    for (const char* name : {"VBScript.RegExp2", "", "Scripting.Dictionary",
                             "{00000000-0000-0000-0000-000000000000}"}) {
        EXPECT_FALSE(CreateAutomationObject(slot, name)) << name;
        EXPECT_EQ(slot, first) << name;
    }
    EXPECT_TRUE(CreateAutomationObject(slot, "VBScript.RegExp"));
    EXPECT_NE(slot, first);
}

TEST(CreateAutomationObject, FailsWhileTheSeamSaysSo) {
    ObjectRef slot;
    FailAutomationCreationForTesting(true);
    EXPECT_FALSE(CreateAutomationObject(slot, "VBScript.RegExp"));
    EXPECT_EQ(slot, nullptr);
    FailAutomationCreationForTesting(false);
    EXPECT_TRUE(CreateAutomationObject(slot, "VBScript.RegExp"));
}

TEST(RegExpDeathTest, EndingProcessStopsTheSearch) {
    // Marking the process as ending cannot be undone, so it happens in a child process.
    EXPECT_EXIT(
        {
            ObjectRef regex = NewRegExp();
            RegExpPutPattern(regex, "(a)");
            RegExpPutGlobal(regex, true);
            const bool before = ObjectCount(RegExpExecute(regex, "aaa")) == 3;
            MarkProcessEnding();
            ObjectRef matches = RegExpExecute(regex, "aaa");
            std::exit(before && matches && ObjectCount(matches) == 0 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
