// The routine over the libcurl layer, against servers on loopback that record the raw requests.

#include <gtest/gtest.h>

#include "loopback_server.h"
#include "platform/internet.h"
#include "support/short_timeouts.h"
#include "web/http.h"

namespace {

using namespace std::chrono_literals;
using Reply = LoopbackServer::Reply;

const std::string kAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
const std::string kAcceptLine =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
    "application/msword, */*\r\n";

std::string DefaultLines(const std::string& address) {
    return kAcceptLine + "Referer: " + address + "\r\nAccept-Language: zh-cn\r\n";
}

// A request as the server saw it, with the two lines the Internet layer adds taken apart.
struct SeenRequest {
    std::string requestLine;
    std::string host;
    std::string userAgent;
    std::string otherLines; // each with its CRLF, in the order sent
    std::string body;
};

SeenRequest Parse(const std::string& raw) {
    SeenRequest seen;
    size_t headEnd = raw.find("\r\n\r\n");
    size_t at = raw.find("\r\n");
    seen.requestLine = raw.substr(0, at);
    while (at < headEnd) {
        size_t next = raw.find("\r\n", at + 2);
        std::string line = raw.substr(at + 2, next - at - 2);
        if (line.starts_with("Host: "))
            seen.host = line.substr(6);
        else if (line.starts_with("User-Agent: "))
            seen.userAgent = line.substr(12);
        else
            seen.otherLines += line + "\r\n";
        at = next;
    }
    seen.body = raw.substr(headEnd + 4);
    return seen;
}

SeenRequest OnlyRequest(const LoopbackServer& server) {
    std::vector<std::string> requests = server.Requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? SeenRequest{} : Parse(requests.front());
}

LoopbackServer::Script Answer(std::string body) {
    return [body](const std::string&) { return Reply{HttpReply("200 OK", "", body)}; };
}

TEST(HttpTest, PlainGetSendsExactlyTheDefaultLines) {
    LoopbackServer server(Answer("hello"));
    const std::string address = server.Url("/page?a=1&b=2");

    EXPECT_EQ(HttpRequestText(Text(address)).str(), "hello");

    SeenRequest seen = OnlyRequest(server);
    EXPECT_EQ(seen.requestLine, "GET /page?a=1&b=2 HTTP/1.1");
    EXPECT_EQ(seen.host, "127.0.0.1:" + std::to_string(server.port()));
    EXPECT_EQ(seen.userAgent, kAgent);
    EXPECT_EQ(seen.otherLines, DefaultLines(address));
    EXPECT_EQ(seen.body, "");
}

TEST(HttpTest, PostSendsItsVerbAsGivenWithContentLinesAndData) {
    LoopbackServer server(Answer("posted"));
    const std::string address = server.Url("/form");
    Text method = "post";
    Text headers;
    const Text data = "a=1";

    EXPECT_EQ(HttpRequestText(Text(address), &method, nullptr, &headers, &data).str(), "posted");

    const std::string expectedLines = DefaultLines(address) +
                                      "Content-Type: application/x-www-form-urlencoded\r\n"
                                      "Content-Length: 3\r\n";
    SeenRequest seen = OnlyRequest(server);
    EXPECT_EQ(seen.requestLine, "post /form HTTP/1.1");
    EXPECT_EQ(seen.otherLines, expectedLines);
    EXPECT_EQ(seen.body, "a=1");
    EXPECT_EQ(method.str(), "post");
    EXPECT_EQ(headers.str(), expectedLines) << "the caller's headers hold what was sent";
}

TEST(HttpTest, PostWithoutDataSendsNoContentLinesAndNoBody) {
    LoopbackServer server(Answer("ok"));
    const std::string address = server.Url("/form");
    Text method = "POST";

    EXPECT_EQ(HttpRequestText(Text(address), &method).str(), "ok");

    SeenRequest seen = OnlyRequest(server);
    EXPECT_EQ(seen.requestLine, "POST /form HTTP/1.1");
    EXPECT_EQ(seen.otherLines, DefaultLines(address));
    EXPECT_EQ(seen.body, "");
}

class MethodBecomesGetTest : public testing::TestWithParam<const char*> {};

TEST_P(MethodBecomesGetTest, SendsGetWithoutTheDataAndSetsTheCallersMethod) {
    LoopbackServer server(Answer("ok"));
    const std::string address = server.Url("/x");
    Text method = GetParam();
    const Text data = "a=1";

    EXPECT_EQ(HttpRequestText(Text(address), &method, nullptr, nullptr, &data).str(), "ok");

    SeenRequest seen = OnlyRequest(server);
    EXPECT_EQ(seen.requestLine, "GET /x HTTP/1.1");
    EXPECT_EQ(seen.otherLines, DefaultLines(address));
    EXPECT_EQ(seen.body, "");
    EXPECT_EQ(method.str(), "GET");
}

INSTANTIATE_TEST_SUITE_P(Methods, MethodBecomesGetTest, testing::Values("PUT", "HEAD", "get", ""));

TEST(HttpTest, CallersHeaderLinesComeFirstAndSuppressOnlyTheDefaultsTheyName) {
    struct Case {
        std::string given;
        std::string expectedPrefix; // what the caller's lines become on the wire
        bool defaultAccept;
    };
    const Case cases[] = {
        // Already holding an Accept line: no default Accept line.
        {"ACCEPT: text/html\r\n", "ACCEPT: text/html\r\n", false},
        // No final CRLF: the first default line is joined to the caller's last line.
        {"X-Test: 1", "X-Test: 1", true},
        // An empty value goes out as it is, and an empty line is not taken as the end.
        {"X-Empty:\r\n\r\nX-After: 2\r\n", "X-Empty:\r\nX-After: 2\r\n", true},
    };
    for (const Case& c : cases) {
        LoopbackServer server(Answer("ok"));
        const std::string address = server.Url("/h");
        Text headers(c.given);

        HttpRequestText(Text(address), nullptr, nullptr, &headers);

        std::string rest = "Referer: " + address + "\r\nAccept-Language: zh-cn\r\n";
        std::string expected = c.expectedPrefix + (c.defaultAccept ? kAcceptLine : "") + rest;
        EXPECT_EQ(OnlyRequest(server).otherLines, expected) << c.given;
    }
}

TEST(HttpTest, ObjectNameBytesThatCannotStandOnTheRequestLineArePercentEncoded) {
    LoopbackServer server(Answer("ok"));

    HttpRequestText(Text(server.Url("/a b/\xD6\xD0#frag?q=1")));

    EXPECT_EQ(OnlyRequest(server).requestLine, "GET /a%20b/%D6%D0%23frag?q=1 HTTP/1.1");
}

TEST(HttpTest, BodyWithZeroByteIsCutAsTextAndWholeAsBytes) {
    const std::string body("ab\0cd", 5);
    LoopbackServer server(Answer(body));
    const Text address(server.Url("/zero"));

    EXPECT_EQ(HttpRequestText(address).str(), "ab");
    EXPECT_EQ(HttpRequestBytes(address).str(), body);
}

TEST(HttpTest, ErrorStatusBodyIsReturned) {
    LoopbackServer server(
        [](const std::string&) { return Reply{HttpReply("404 Not Found", "", "no such page")}; });
    EXPECT_EQ(HttpRequestText(Text(server.Url("/missing"))).str(), "no such page");
}

TEST(HttpTest, RedirectIsFollowedAndTheFinalHeadersAreGiven) {
    LoopbackServer server([](const std::string& request) {
        if (request.starts_with("GET /start "))
            return Reply{HttpReply("302 Found", "Location: /final\r\nConnection: close\r\n", "")};
        return Reply{HttpReply("200 OK", "X-Final: yes\r\n", "arrived")};
    });
    Text responseHeaders;

    Text body = HttpRequestText(Text(server.Url("/start")), nullptr, nullptr, nullptr, nullptr,
                                &responseHeaders);

    EXPECT_EQ(body.str(), "arrived");
    std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(Parse(requests[1]).requestLine, "GET /final HTTP/1.1");
    EXPECT_EQ(responseHeaders.str(),
              "HTTP/1.1 200 OK\r\nX-Final: yes\r\nContent-Length: 7\r\n\r\n");
}

TEST(HttpTest, ChunkedBodyIsDecoded) {
    LoopbackServer server([](const std::string&) {
        return Reply{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                     "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n"};
    });
    EXPECT_EQ(HttpRequestText(Text(server.Url("/chunked"))).str(), "hello world");
}

TEST(HttpTest, ResponseHeadersLongerThan1024BytesArriveWhole) {
    const std::string longValue(3000, 'v');
    LoopbackServer server([&](const std::string&) {
        return Reply{HttpReply("200 OK", "X-Long: " + longValue + "\r\n", "ok")};
    });
    Text responseHeaders;

    HttpRequestText(Text(server.Url("/")), nullptr, nullptr, nullptr, nullptr, &responseHeaders);

    EXPECT_EQ(responseHeaders.str(),
              "HTTP/1.1 200 OK\r\nX-Long: " + longValue + "\r\nContent-Length: 2\r\n\r\n");
}

TEST(HttpTest, ProxyGetsTheAbsoluteAddressAndTheSameLines) {
    LoopbackServer proxy(Answer("via proxy"));
    const std::string address = "http://velmora.invalid/x?y=1";
    const Text proxyAddress("127.0.0.1:" + std::to_string(proxy.port()));

    EXPECT_EQ(HttpRequestText(Text(address), nullptr, &proxyAddress).str(), "via proxy");

    SeenRequest seen = OnlyRequest(proxy);
    EXPECT_EQ(seen.requestLine, "GET http://velmora.invalid/x?y=1 HTTP/1.1");
    EXPECT_EQ(seen.host, "velmora.invalid");
    EXPECT_EQ(seen.otherLines, DefaultLines(address));
}

TEST(HttpTest, EmptyProxyGoesDirect) {
    LoopbackServer server(Answer("direct"));
    const Text noProxy;

    EXPECT_EQ(HttpRequestText(Text(server.Url("/d")), nullptr, &noProxy).str(), "direct");
    EXPECT_EQ(OnlyRequest(server).requestLine, "GET /d HTTP/1.1");
}

TEST(HttpTest, RequestsThatCannotBeMadeGiveTheEmptyResult) {
    RefusingPort refusing;
    LoopbackServer server(Answer("must not be asked"));
    const std::string port = std::to_string(server.port());
    const std::string addresses[] = {
        "http://127.0.0.1:" + std::to_string(refusing.port()) + "/",
        "http://127.0.0.1:70000/",
        "http://127.0.0.1:-1/",
        // Such a host must not turn into a user name in front of the real host.
        "http://nobody@127.0.0.1:" + port + "/",
        "",
    };
    for (const std::string& address : addresses) {
        EXPECT_TRUE(HttpRequestText(Text(address)).empty()) << address;
        EXPECT_TRUE(HttpRequestBytes(Text(address)).empty()) << address;
    }
    EXPECT_TRUE(server.Requests().empty());
}

class InstalledInternet {
  public:
    explicit InstalledInternet(Internet& internet) { SetInternetForTesting(&internet); }
    ~InstalledInternet() { SetInternetForTesting(nullptr); }
};

TEST(HttpTest, StalledServerEndsTheReadLoopWithWhatArrived) {
    ShortTimeouts internet(300);
    InstalledInternet installed(internet);
    LoopbackServer server([](const std::string&) {
        return Reply{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart", true};
    });

    EXPECT_EQ(HttpRequestText(Text(server.Url("/stall"))).str(), "part");
    EXPECT_TRUE(server.WaitForStallsEndedByClient(1));
    EXPECT_EQ(internet.asked, std::vector<uint32_t>(3, 18000u));
}

TEST(HttpTest, SilentServerGivesTheEmptyResult) {
    ShortTimeouts internet(300);
    InstalledInternet installed(internet);
    LoopbackServer server([](const std::string&) { return Reply{"", true}; });

    EXPECT_TRUE(HttpRequestBytes(Text(server.Url("/silent"))).empty());
    EXPECT_TRUE(server.WaitForStallsEndedByClient(1));
    EXPECT_EQ(internet.asked, std::vector<uint32_t>(3, 18000u));
}

TEST(HttpTest, BodyOverTheLimitIsDroppedWhole) {
    ShortTimeouts internet(300, 1000);
    InstalledInternet installed(internet);
    LoopbackServer server([](const std::string& request) {
        size_t size = request.starts_with("GET /at-limit ") ? 1000 : 1001;
        if (request.starts_with("GET /chunked "))
            return Reply{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                         "3e8\r\n" +
                         std::string(1000, 'x') + "\r\n1\r\ny\r\n0\r\n\r\n"};
        return Reply{HttpReply("200 OK", "", std::string(size, 'x'))};
    });

    EXPECT_EQ(HttpRequestBytes(Text(server.Url("/at-limit"))).str(), std::string(1000, 'x'));
    // Announced too long, and found too long only while it arrives.
    EXPECT_TRUE(HttpRequestBytes(Text(server.Url("/over-limit"))).empty());
    EXPECT_TRUE(HttpRequestBytes(Text(server.Url("/chunked"))).empty());
}

} // namespace
