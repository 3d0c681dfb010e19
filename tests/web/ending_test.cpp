// Marking the process as ending cannot be undone, so this test has an executable of its own.

#include <gtest/gtest.h>

#include "loopback_server.h"
#include "platform/lifecycle.h"
#include "web/http.h"

namespace {

using namespace std::chrono_literals;

TEST(HttpEndingTest, TransferInProgressIsAbortedWithTheEmptyResult) {
    // Left alone, this transfer would end after the 18 s receive time-out with "part".
    LoopbackServer server([](const std::string&) {
        return LoopbackServer::Reply{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart", true};
    });
    std::thread ender([&] {
        if (server.WaitForRequests(1, 10s))
            MarkProcessEnding();
    });

    Bytes body = HttpRequestBytes(Text(server.Url("/slow")));
    ender.join();

    EXPECT_TRUE(ProcessIsEnding());
    EXPECT_TRUE(body.empty());
    // Later requests are not even sent.
    EXPECT_TRUE(HttpRequestBytes(Text(server.Url("/later"))).empty());
    EXPECT_EQ(server.Requests().size(), 1u);
}

} // namespace
