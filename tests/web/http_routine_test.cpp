// The routine's calls on the Internet layer, seen through a recording fake.

#include <algorithm>

#include <gtest/gtest.h>

#include "platform/lifecycle.h"
#include "recording_internet.h"
#include "web/http.h"

namespace {

const std::string kAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
const std::string kAcceptLine =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
    "application/msword, */*\r\n";

RecordingInternet* recorder = nullptr;

class HttpRoutineTest : public testing::Test {
  protected:
    void SetUp() override {
        recorder = &internet;
        SetInternetForTesting(&internet);
        SetEventPump([] { recorder->calls.push_back("PumpEvents"); });
    }
    void TearDown() override {
        SetEventPump(nullptr);
        SetInternetForTesting(nullptr);
        recorder = nullptr;
    }
    RecordingInternet internet;
};

TEST_F(HttpRoutineTest, PlainGetCallsTheLayerInOrderAndClosesSessionFirst) {
    internet.pieces = {"ab", "cd"};
    Bytes body = HttpRequestBytes("http://Host:81/p?q=1");

    EXPECT_EQ(body.str(), "abcd");
    const std::vector<std::string> expected = {
        "Open " + kAgent + " direct ",
        "Connect session host 81",
        "OpenRequest connection GET /p?q=1 HTTP/1.1",
        "SetOption request connect 18000",
        "SetOption request receive 18000",
        "SetOption request send 18000",
        "Send request [" + kAcceptLine + "Referer: http://Host:81/p?q=1\r\n" +
            "Accept-Language: zh-cn\r\n] []",
        "PumpEvents",
        "Read request 512",
        "PumpEvents",
        "Read request 512",
        "PumpEvents",
        "Read request 512",
        "Close session",
        "Close connection",
        "Close request",
    };
    EXPECT_EQ(internet.calls, expected);
}

TEST_F(HttpRoutineTest, GivenProxyOpensProxyAccessEvenWhenEmpty) {
    const Text emptyProxy;
    HttpRequestText("http://h/", nullptr, &emptyProxy);
    const Text proxy = "10.0.0.1:3128";
    HttpRequestText("http://h/", nullptr, &proxy);

    std::vector<std::string> opens;
    for (const std::string& call : internet.calls) {
        if (call.starts_with("Open "))
            opens.push_back(call);
    }
    const std::vector<std::string> expected = {"Open " + kAgent + " proxy http=",
                                               "Open " + kAgent + " proxy http=10.0.0.1:3128"};
    EXPECT_EQ(opens, expected);
}

TEST_F(HttpRoutineTest, ResponseHeadersAreQueriedOnlyWhenAskedFor) {
    internet.responseHeaders = "HTTP/1.1 200 OK\r\nX: " + std::string(3000, 'y') + "\r\n\r\n";
    HttpRequestText("http://h/");
    EXPECT_EQ(std::find(internet.calls.begin(), internet.calls.end(), "RawResponseHeaders request"),
              internet.calls.end());

    Text received = "old";
    HttpRequestText("http://h/", nullptr, nullptr, nullptr, nullptr, &received);
    EXPECT_EQ(received.str(), internet.responseHeaders);
}

// Each failed open closes exactly what was opened before it, session first, and leaves the
// caller's variables as the routine had them at that point.
struct FailureCase {
    const char* name;
    bool failOpen, failConnect, failRequest;
    std::vector<std::string> closes;
    const char* methodAfter;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class HttpRoutineFailureTest : public HttpRoutineTest,
                               public testing::WithParamInterface<FailureCase> {};

TEST_P(HttpRoutineFailureTest, ClosesWhatWasOpenedAndGivesTheEmptyResult) {
    const FailureCase& c = GetParam();
    internet.failOpen = c.failOpen;
    internet.failConnect = c.failConnect;
    internet.failRequest = c.failRequest;
    internet.pieces = {"never read"};
    Text method = "PUT";
    Text headers = "X: 1\r\n";
    Text responseHeaders = "untouched";

    Text body = HttpRequestText("http://h/", &method, nullptr, &headers, nullptr, &responseHeaders);

    EXPECT_TRUE(body.empty());
    std::vector<std::string> closes;
    for (const std::string& call : internet.calls) {
        if (call.starts_with("Close"))
            closes.push_back(call);
        EXPECT_FALSE(call.starts_with("Send") || call.starts_with("Read")) << call;
    }
    EXPECT_EQ(closes, c.closes);
    EXPECT_EQ(method.str(), c.methodAfter);
    EXPECT_EQ(headers.str(), "X: 1\r\n");
    EXPECT_EQ(responseHeaders.str(), "untouched");
}

INSTANTIATE_TEST_SUITE_P(
    Opens, HttpRoutineFailureTest,
    testing::Values(
        FailureCase{"Session", true, false, false, {}, "PUT"},
        FailureCase{"Connection", false, true, false, {"Close session"}, "PUT"},
        FailureCase{"Request", false, false, true, {"Close session", "Close connection"}, "GET"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
