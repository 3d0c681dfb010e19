#pragma once
// An HTTP server on 127.0.0.1 for tests: it takes one connection at a time, records each
// request's raw bytes, answers with the reply the test scripted, and closes the connection.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class LoopbackServer {
  public:
    struct Reply {
        std::string bytes;
        // After the bytes, keep the connection open and silent until the client leaves or the
        // server stops.
        bool stall = false;
    };
    using Script = std::function<Reply(const std::string& request)>;

    explicit LoopbackServer(Script script);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by path.
    std::string Url(std::string_view path) const;
    std::vector<std::string> Requests() const;
    // True once `count` stalled replies have ended because the client closed the connection,
    // rather than the server giving up; waits a few seconds at most.
    bool WaitForStallsEndedByClient(int count) const;
    // True once `count` requests have arrived; gives up after `limit`.
    bool WaitForRequests(size_t count, std::chrono::milliseconds limit) const;

  private:
    void Serve();
    void Answer(int client);

    Script script_;
    int listener_ = -1;
    int wake_ = -1; // an eventfd that tells the serving thread to stop
    int port_ = 0;
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<std::string> requests_;
    int stallsEndedByClient_ = 0;
    std::thread thread_;
};

// A reply with a status line, the given header lines (each ending in CRLF), Content-Length and
// the body.
std::string HttpReply(std::string_view status, std::string_view headers, std::string_view body);

// A port on 127.0.0.1 that refuses connections for as long as this object lives.
class RefusingPort {
  public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    int port() const { return port_; }

  private:
    int socket_ = -1;
    int port_ = 0;
};
