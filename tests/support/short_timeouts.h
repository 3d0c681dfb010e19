#pragma once
// The libcurl layer with every time-out the routine sets cut short, so that a stalled server
// costs a test moments; the program itself keeps its 18000 ms.

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/internet.h"

class ShortTimeouts final : public Internet {
  public:
    explicit ShortTimeouts(uint32_t timeoutMs, size_t maxBody = kMaxResponseBody)
        : timeoutMs_(timeoutMs), real_(NewCurlInternet(maxBody)) {}

    InternetHandle Open(std::string_view userAgent, InternetAccess access,
                        std::string_view proxyList) override {
        return real_->Open(userAgent, access, proxyList);
    }
    InternetHandle Connect(InternetHandle session, std::string_view host, int32_t port) override {
        return real_->Connect(session, host, port);
    }
    InternetHandle OpenRequest(InternetHandle connection, std::string_view method,
                               std::string_view object, std::string_view version) override {
        return real_->OpenRequest(connection, method, object, version);
    }
    void SetOption(InternetHandle request, InternetOption option, uint32_t ms) override {
        asked.push_back(ms);
        real_->SetOption(request, option, std::min(ms, timeoutMs_));
    }
    bool Send(InternetHandle request, std::string_view headers, std::string_view data) override {
        return real_->Send(request, headers, data);
    }
    std::string Read(InternetHandle request, size_t size) override {
        return real_->Read(request, size);
    }
    std::string RawResponseHeaders(InternetHandle request) override {
        return real_->RawResponseHeaders(request);
    }
    void Close(InternetHandle handle) override { real_->Close(handle); }

    // The time-outs the routine asked for, in order.
    std::vector<uint32_t> asked;

  private:
    uint32_t timeoutMs_;
    std::unique_ptr<Internet> real_;
};
