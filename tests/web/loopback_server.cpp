#include "loopback_server.h"

#include <arpa/inet.h>
#include <cctype>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Every wait of the server is bounded, so a test that goes wrong fails instead of hanging.
constexpr int kReadLimitMs = 5000;
constexpr int kStallLimitMs = 30000;

int BoundLoopbackSocket(int& port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        throw std::runtime_error("bind failed");
    }
    port = ntohs(address.sin_port);
    return fd;
}

// Waits until fd is readable; false when the server is told to stop or the limit passes.
bool WaitReadable(int fd, int wake, int limitMs) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
    if (poll(fds, 2, limitMs) <= 0)
        return false;
    return (fds[1].revents & POLLIN) == 0;
}

size_t ContentLength(const std::string& head) {
    for (size_t at = head.find("\r\n"); at != std::string::npos; at = head.find("\r\n", at + 2)) {
        static constexpr std::string_view kName = "content-length:";
        std::string name = head.substr(at + 2, kName.size());
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (name == kName)
            return std::stoul(head.substr(at + 2 + kName.size()));
    }
    return 0;
}

} // namespace

LoopbackServer::LoopbackServer(Script script) : script_(std::move(script)) {
    listener_ = BoundLoopbackSocket(port_);
    wake_ = eventfd(0, EFD_CLOEXEC);
    if (listen(listener_, 16) != 0 || wake_ < 0)
        throw std::runtime_error("listen failed");
    thread_ = std::thread([this] { Serve(); });
}

LoopbackServer::~LoopbackServer() {
    uint64_t one = 1;
    (void)!write(wake_, &one, sizeof one);
    thread_.join();
    close(listener_);
    close(wake_);
}

std::string LoopbackServer::Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<std::string> LoopbackServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool LoopbackServer::WaitForStallsEndedByClient(int count) const {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::milliseconds(kReadLimitMs),
                             [&] { return stallsEndedByClient_ >= count; });
}

bool LoopbackServer::WaitForRequests(size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, limit, [&] { return requests_.size() >= count; });
}

void LoopbackServer::Serve() {
    for (;;) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN))
            return;
        int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        Answer(client);
        close(client);
    }
}

void LoopbackServer::Answer(int client) {
    std::string request;
    size_t headEnd = std::string::npos;
    size_t total = 0;
    char buffer[16384];
    while (headEnd == std::string::npos || request.size() < total) {
        if (!WaitReadable(client, wake_, kReadLimitMs))
            return;
        ssize_t n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
            return;
        request.append(buffer, static_cast<size_t>(n));
        if (headEnd == std::string::npos) {
            headEnd = request.find("\r\n\r\n");
            if (headEnd != std::string::npos)
                total = headEnd + 4 + ContentLength(request.substr(0, headEnd));
        }
    }
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    arrived_.notify_all();

    Reply reply = script_(request);
    std::string_view rest = reply.bytes;
    while (!rest.empty()) {
        ssize_t n = send(client, rest.data(), rest.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return; // the client gave up
        rest.remove_prefix(static_cast<size_t>(n));
    }
    // Readable means the client closed its end (or sent more, which a test never does).
    if (reply.stall && WaitReadable(client, wake_, kStallLimitMs)) {
        {
            std::lock_guard lock(mutex_);
            ++stallsEndedByClient_;
        }
        arrived_.notify_all();
    }
}

std::string HttpReply(std::string_view status, std::string_view headers, std::string_view body) {
    return "HTTP/1.1 " + std::string(status) + "\r\n" + std::string(headers) +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
}

RefusingPort::RefusingPort() {
    socket_ = BoundLoopbackSocket(port_);
}

RefusingPort::~RefusingPort() {
    close(socket_);
}
