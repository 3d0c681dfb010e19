#pragma once
// The Internet layer that the HTTP routine is written against: a session, a connection to one
// host and port, and a request on it, each an open handle that its owner closes. The shape is
// that of the Windows Internet functions, so that the routine reads the same on either side;
// the implementation here is libcurl, bound when it is first used.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// A session, connection or request; the null handle is what a failed open gives.
enum class InternetHandle : std::uintptr_t { Null = 0 };

enum class InternetAccess { Direct, Proxy };
enum class InternetOption { ConnectTimeout, ReceiveTimeout, SendTimeout };

class Internet {
  public:
    virtual ~Internet() = default;

    // With Proxy access, proxyList is "http=" followed by the proxy (host, optional ":port")
    // for http addresses; "http=" alone names none, and such requests go direct.
    virtual InternetHandle Open(std::string_view userAgent, InternetAccess access,
                                std::string_view proxyList) = 0;
    // Nothing is sent yet; a host or port that cannot be reached makes the send fail. Port 0
    // stands for the default port 80.
    virtual InternetHandle Connect(InternetHandle session, std::string_view host, int32_t port) = 0;
    // Every request goes to the server: nothing is cached.
    virtual InternetHandle OpenRequest(InternetHandle connection, std::string_view method,
                                       std::string_view object, std::string_view version) = 0;
    virtual void SetOption(InternetHandle request, InternetOption option,
                           uint32_t milliseconds) = 0;
    // headers: lines that each end in CRLF. They go out as they are, beside only the Host line
    // and the user agent. Data is sent as the request body when it is not empty.
    virtual bool Send(InternetHandle request, std::string_view headers, std::string_view data) = 0;
    // The next piece of the response body, at most `size` bytes; empty at its end and after
    // any failure.
    virtual std::string Read(InternetHandle request, size_t size) = 0;
    // The status line and header lines of the final response, each ending in CRLF, then the
    // empty line; empty when no response arrived.
    virtual std::string RawResponseHeaders(InternetHandle request) = 0;
    // Handles are independent: any order of closing is safe.
    virtual void Close(InternetHandle handle) = 0;
};

// A hostile server must not exhaust memory: a longer body is dropped whole.
constexpr size_t kMaxResponseBody = size_t{256} << 20;

// The libcurl layer. A transfer that stalls past the receive (or, while the request is still
// going out, the send) time-out ends with what has arrived; one with a body over
// maxBody bytes, or cut short because the process is ending, gives no body at all.
std::unique_ptr<Internet> NewCurlInternet(size_t maxBody = kMaxResponseBody);

// The layer the program's routines use: the libcurl one, unless a test installed another.
Internet& CurrentInternet();
// For tests; nullptr puts the libcurl layer back.
void SetInternetForTesting(Internet* internet);

// Looks a function up by name in a shared library, loading the library on first need; it stays
// loaded. A missing library or function ends the program through FatalError naming both.
void* BindLibraryFunction(const char* library, const char* function);
