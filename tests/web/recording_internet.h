#pragma once
// A fake Internet layer that records every call as one line of text, in order, and answers
// from a script: which opens fail, the body pieces and the response headers.

#include <deque>
#include <string>
#include <vector>

#include "platform/internet.h"

class RecordingInternet : public Internet {
  public:
    bool failOpen = false;
    bool failConnect = false;
    bool failRequest = false;
    std::deque<std::string> pieces; // what each read gives; empty once they are used up
    std::string responseHeaders;
    std::vector<std::string> calls;

    InternetHandle Open(std::string_view userAgent, InternetAccess access,
                        std::string_view proxyList) override {
        calls.push_back("Open " + std::string(userAgent) +
                        (access == InternetAccess::Proxy ? " proxy " : " direct ") +
                        std::string(proxyList));
        return failOpen ? InternetHandle::Null : InternetHandle{1};
    }
    InternetHandle Connect(InternetHandle session, std::string_view host, int32_t port) override {
        calls.push_back("Connect " + Name(session) + " " + std::string(host) + " " +
                        std::to_string(port));
        return failConnect ? InternetHandle::Null : InternetHandle{2};
    }
    InternetHandle OpenRequest(InternetHandle connection, std::string_view method,
                               std::string_view object, std::string_view version) override {
        calls.push_back("OpenRequest " + Name(connection) + " " + std::string(method) + " " +
                        std::string(object) + " " + std::string(version));
        return failRequest ? InternetHandle::Null : InternetHandle{3};
    }
    void SetOption(InternetHandle request, InternetOption option, uint32_t ms) override {
        static const char* const kNames[] = {"connect", "receive", "send"};
        calls.push_back("SetOption " + Name(request) + " " + kNames[static_cast<int>(option)] +
                        " " + std::to_string(ms));
    }
    bool Send(InternetHandle request, std::string_view headers, std::string_view data) override {
        calls.push_back("Send " + Name(request) + " [" + std::string(headers) + "] [" +
                        std::string(data) + "]");
        return true;
    }
    std::string Read(InternetHandle request, size_t size) override {
        calls.push_back("Read " + Name(request) + " " + std::to_string(size));
        if (pieces.empty())
            return {};
        std::string piece = pieces.front();
        pieces.pop_front();
        return piece;
    }
    std::string RawResponseHeaders(InternetHandle request) override {
        calls.push_back("RawResponseHeaders " + Name(request));
        return responseHeaders;
    }
    void Close(InternetHandle handle) override { calls.push_back("Close " + Name(handle)); }

  private:
    static std::string Name(InternetHandle handle) {
        static const char* const kNames[] = {"null", "session", "connection", "request"};
        return kNames[static_cast<int>(handle)];
    }
};
