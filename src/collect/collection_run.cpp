#include "collect/collection_run.h"

#include <system_error>

#include "collect/member_block.h"
#include "collect/site.h"
#include "platform/lifecycle.h"
#include "web/decode.h"
#include "web/http.h"

void StartCollectionRun(MainControls& window, const ObjectRef& regex, std::thread& worker) {
    window.ButtonSetDisabled(true);
    window.ListClear();
    if (worker.joinable())
        worker.join();
    try {
        worker = std::thread([&window, &regex] { CollectionRun(window, regex); });
    } catch (const std::system_error&) {
        window.ButtonSetDisabled(false);
    }
}

void CollectionRun(MainControls& window, const ObjectRef& regex) {
    static const Text resultsPhrase = GbkText("人符合您的搜索条件");
    static const Text blockStart = GbkText("<!-- 普通会员 -->");
    static const Text blockEnd = GbkText("//点击触发函数");

    Text page;
    for (int32_t number = 1; number <= 100; ++number) {
        if (ProcessIsEnding())
            return;
        Bytes data =
            TextToBytes(HttpRequestText(TextConcat(SearchAddressPrefix(), IntToText(number))));
        page = Utf8ToAnsi(data);
        if (TextFind(page, resultsPhrase) == -1)
            continue;
        const int32_t start = TextFind(page, blockStart);
        const int32_t end = TextFind(page, blockEnd);
        const auto length = static_cast<int32_t>(TruncateToInteger(double(end) - double(start)));
        ParseMemberBlock(window, regex, TextMid(page, start, length));
    }
    if (ProcessIsEnding())
        return;
    window.ShowMessage(GbkText("查找完成"));
    window.ButtonSetDisabled(false);
}
