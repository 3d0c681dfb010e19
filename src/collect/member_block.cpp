#include "collect/member_block.h"

#include "collect/photo_store.h"
#include "platform/lifecycle.h"
#include "values/files.h"
#include "web/http.h"

const char MemberEntryPattern[] =
    R"re(href="(.*?)"\sonclick="[a-zA-Z]+\(\{'first_serv':'normal','uid':([1-9][0-9]{4,}),'sex':'(m|f)'\}\)" target="_blank"\>\<img src="(.*?)"\salt="(.*?)")re";

namespace {
Text SubMatchText(const ObjectRef& subMatches, int32_t index) {
    return Text(SubMatchesItem(subMatches, index));
}

int32_t LastRow(MainControls& window) {
    return static_cast<int32_t>(TruncateToInteger(double(window.ListRowCount()) - 1));
}

// A photo cut short (the connection dropped or went silent) arrives shorter than its response
// announced; it counts as a failed download, so it never replaces a whole photo.
bool ArrivedWhole(const Bytes& data, const Text& responseHeaders) {
    static const Text name = "\r\nContent-Length:";
    const int32_t at = TextFind(responseHeaders, name, 1, true);
    if (at == -1)
        return true;
    const double announced = TextToNumber(TextMid(responseHeaders, at + TextLength(name), 40));
    return BytesLength(data) >= announced;
}
} // namespace

void ParseMemberBlock(MainControls& window, const ObjectRef& regex, const Text& block) {
    RegExpPutPattern(regex, MemberEntryPattern);
    RegExpPutGlobal(regex, true);
    RegExpPutIgnoreCase(regex, true);
    const ObjectRef matches = RegExpExecute(regex, block.view());
    const int64_t n = TruncateToInteger(ObjectCount(matches));
    static const Text countPrefix = GbkText("当前共采集：");
    static const Text countSuffix = GbkText("条");

    ObjectRef holder;
    Text id;
    for (int64_t i = 1; i <= n; ++i) {
        // Once the program is ending the window and the store are no longer ours to change.
        if (ProcessIsEnding())
            return;
        holder = MatchesItem(matches, double(i - 1));
        holder = MatchSubMatches(holder);
        const int64_t k = TruncateToInteger(ObjectCount(holder));
        if (k > 0) {
            id = MemberIdFromLink(SubMatchText(holder, 0));
            window.ListInsertRow(id);
        }
        if (k > 1)
            window.ListSetCellText(LastRow(window), 1, SubMatchText(holder, 4));
        if (k > 2)
            window.ListSetCellText(LastRow(window), 2, SubMatchText(holder, 2));
        if (k > 3)
            window.ListSetCellText(LastRow(window), 3, SubMatchText(holder, 3));
        window.LabelSetCaption(
            TextConcat(countPrefix, IntToText(window.ListRowCount()), countSuffix));

        const Text path = PhotoStorePath(SubMatchText(holder, 2), id);
        Text responseHeaders;
        const Bytes data = HttpRequestBytes(SubMatchText(holder, 3), nullptr, nullptr, nullptr,
                                            nullptr, &responseHeaders);
        if (ProcessIsEnding())
            return;
        StorePhoto(path, ArrivedWhole(data, responseHeaders) ? data : Bytes());
    }
}

Text MemberIdFromLink(const Text& link) {
    const int32_t q = TextFind(link, "?");
    const auto length = static_cast<int32_t>(TruncateToInteger(double(q) - 28));
    return TextMid(link, 28, length);
}
