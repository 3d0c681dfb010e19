#pragma once
// A scripted web site on loopback for the collection tests: it answers each path with the body
// it was given (404 and an empty body otherwise) and records every request target in order.

#include <httplib.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FixtureSite {
  public:
    FixtureSite() {
        server_.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard lock(mutex_);
            requests_.push_back(request.target);
            auto found = bodies_.find(request.target);
            if (found == bodies_.end())
                found = bodies_.find(request.path);
            if (found == bodies_.end()) {
                response.status = 404;
                return;
            }
            response.status = found->second.status;
            const std::string& body = found->second.body;
            if (found->second.announced <= body.size()) {
                response.set_content(body, "application/octet-stream");
                return;
            }
            // Announces more than it sends, then closes the connection.
            response.set_content_provider(found->second.announced, "application/octet-stream",
                                          [body](size_t offset, size_t, httplib::DataSink& sink) {
                                              if (offset < body.size())
                                                  sink.write(body.data() + offset,
                                                             body.size() - offset);
                                              return offset < body.size();
                                          });
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // Bounded: listen_after_bind sets the flag almost at once.
        for (int i = 0; i < 500 && !server_.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~FixtureSite() {
        server_.stop();
        thread_.join();
    }

    std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }

    // `target` is a path, or a path with its query to answer only that request.
    void Serve(const std::string& target, std::string body, int status = 200) {
        std::lock_guard lock(mutex_);
        const size_t size = body.size();
        bodies_[target] = {status, std::move(body), size};
    }
    // Announces `announced` bytes, sends only `body`, and drops the connection.
    void ServeCut(const std::string& target, std::string body, size_t announced) {
        std::lock_guard lock(mutex_);
        bodies_[target] = {200, std::move(body), announced};
    }
    std::vector<std::string> Requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }

  private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    struct Answer {
        int status;
        std::string body;
        size_t announced;
    };
    std::map<std::string, Answer> bodies_;
    std::vector<std::string> requests_;
};
