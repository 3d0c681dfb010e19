#include "platform/internet.h"

#include <atomic>
#include <chrono>
#include <curl/curl.h>
#include <dlfcn.h>

#include "platform/lifecycle.h"

void* BindLibraryFunction(const char* library, const char* function) {
    // dlopen counts references, so a library that is already loaded is only looked up again.
    void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        FatalError(std::string("Cannot load ") + library + ", needed for the function " + function);
    void* address = dlsym(handle, function);
    if (!address)
        FatalError(std::string("The library ") + library + " has no function " + function);
    return address;
}

namespace {

constexpr const char* kCurlLibrary = "libcurl.so.4";

// The libcurl functions this layer calls, bound together the first time any of them is needed.
struct CurlFunctions {
    decltype(&curl_global_init) globalInit;
    decltype(&curl_easy_init) easyInit;
    decltype(&curl_easy_setopt) easySetopt;
    decltype(&curl_easy_cleanup) easyCleanup;
    decltype(&curl_easy_getinfo) easyGetinfo;
    decltype(&curl_slist_append) slistAppend;
    decltype(&curl_slist_free_all) slistFreeAll;
    decltype(&curl_multi_init) multiInit;
    decltype(&curl_multi_add_handle) multiAddHandle;
    decltype(&curl_multi_remove_handle) multiRemoveHandle;
    decltype(&curl_multi_perform) multiPerform;
    decltype(&curl_multi_poll) multiPoll;
    decltype(&curl_multi_info_read) multiInfoRead;
    decltype(&curl_multi_cleanup) multiCleanup;
};

template <class F> void Bind(F& slot, const char* name) {
    slot = reinterpret_cast<F>(BindLibraryFunction(kCurlLibrary, name));
}

const CurlFunctions& Curl() {
    static const CurlFunctions functions = [] {
        CurlFunctions f;
        Bind(f.globalInit, "curl_global_init");
        Bind(f.easyInit, "curl_easy_init");
        Bind(f.easySetopt, "curl_easy_setopt");
        Bind(f.easyCleanup, "curl_easy_cleanup");
        Bind(f.easyGetinfo, "curl_easy_getinfo");
        Bind(f.slistAppend, "curl_slist_append");
        Bind(f.slistFreeAll, "curl_slist_free_all");
        Bind(f.multiInit, "curl_multi_init");
        Bind(f.multiAddHandle, "curl_multi_add_handle");
        Bind(f.multiRemoveHandle, "curl_multi_remove_handle");
        Bind(f.multiPerform, "curl_multi_perform");
        Bind(f.multiPoll, "curl_multi_poll");
        Bind(f.multiInfoRead, "curl_multi_info_read");
        Bind(f.multiCleanup, "curl_multi_cleanup");
        // Once, before any thread makes a handle: libcurl's global set-up is not thread-safe.
        f.globalInit(CURL_GLOBAL_DEFAULT);
        return f;
    }();
    return functions;
}

struct EasyDeleter {
    void operator()(CURL* easy) const { Curl().easyCleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { Curl().multiCleanup(multi); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { Curl().slistFreeAll(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

// An easy handle added to a multi handle for the life of this object; it must go before the
// multi handle is cleaned up.
class Attachment {
  public:
    Attachment(CURLM* multi, CURL* easy) : multi_(multi), easy_(easy) {
        Curl().multiAddHandle(multi, easy);
    }
    ~Attachment() { Curl().multiRemoveHandle(multi_, easy_); }
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

  private:
    CURLM* multi_;
    CURL* easy_;
};

using Clock = std::chrono::steady_clock;

// How often a waiting transfer looks at the end-of-process mark and its stall time-out.
constexpr int kPollMilliseconds = 50;
constexpr long kMaxRedirects = 10;

struct Object {
    virtual ~Object() = default;
};

struct Session : Object {
    std::string userAgent;
    std::string proxy; // empty: direct
};

struct Connection : Object {
    Session session;
    std::string host;
    int32_t port = 0;
};

struct Request : Object {
    Connection connection;
    std::string method;
    std::string object;
    long httpVersion = CURL_HTTP_VERSION_1_1;
    uint32_t connectTimeout = 0; // 0: no limit
    uint32_t receiveTimeout = 0;
    uint32_t sendTimeout = 0;
    std::string body;
    size_t readAt = 0;
    std::string responseHeaders;
};

InternetHandle ToHandle(Object* object) {
    return static_cast<InternetHandle>(reinterpret_cast<std::uintptr_t>(object));
}

template <class T> T* From(InternetHandle handle) {
    return dynamic_cast<T*>(reinterpret_cast<Object*>(static_cast<std::uintptr_t>(handle)));
}

bool IsHostCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

// A host that could change the meaning of the address built from it ("a@b", "a?b") is not
// looked up at all.
bool IsPlainHost(std::string_view host) {
    if (host.empty())
        return false;
    for (char c : host) {
        if (!IsHostCharacter(c))
            return false;
    }
    return true;
}

// The object name as it goes on the request line: bytes that cannot stand there raw are
// percent-encoded, and "#" too, which would otherwise cut the rest off as a fragment.
std::string RequestTarget(std::string_view object) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    if (object.empty() || object.front() != '/')
        out += '/';
    for (char c : object) {
        auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '#') {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

// libcurl's header list from CRLF-terminated lines, with its own default lines switched off.
HeaderList HeaderLines(std::string_view headers) {
    const CurlFunctions& curl = Curl();
    curl_slist* list = nullptr;
    auto append = [&](const std::string& line) {
        if (curl_slist* longer = curl.slistAppend(list, line.c_str()))
            list = longer;
    };
    // An empty value tells libcurl not to send its own line of that name.
    for (const char* name : {"Accept:", "Expect:", "Content-Type:", "Proxy-Connection:"})
        append(name);
    while (!headers.empty()) {
        size_t end = headers.find("\r\n");
        std::string line(headers.substr(0, end));
        headers.remove_prefix(end == std::string_view::npos ? headers.size() : end + 2);
        if (line.empty())
            continue; // an empty line would end the request's header block early
        // A line whose value is empty would tell libcurl to drop that header; "Name;" is its
        // way of sending "Name:" with nothing after it.
        size_t colon = line.find(':');
        if (colon != std::string::npos && line.find_first_not_of(" \t", colon + 1) == line.npos)
            line = line.substr(0, colon) + ";";
        append(line);
    }
    return HeaderList(list);
}

// What the callbacks of one transfer share.
struct Transfer {
    CURL* easy = nullptr;
    std::string body;
    std::string headers;
    size_t maxBody = 0;
    bool tooLarge = false;
    bool started = false; // the connection is made and the request is going out
    bool sending = false;
    curl_off_t sent = 0;
    Clock::time_point lastByte = Clock::now();

    static size_t OnBody(char* data, size_t size, size_t count, void* self) {
        auto* t = static_cast<Transfer*>(self);
        size_t n = size * count;
        t->lastByte = Clock::now();
        if (t->body.empty()) {
            // Sized once from the announced length, instead of growing by copies.
            curl_off_t announced = -1;
            Curl().easyGetinfo(t->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
            if (announced > 0 && static_cast<uint64_t>(announced) <= t->maxBody)
                t->body.reserve(static_cast<size_t>(announced));
            else if (announced > 0)
                return t->Abandon();
        }
        if (n > t->maxBody - t->body.size())
            return t->Abandon();
        t->body.append(data, n);
        return n;
    }

    // Too large: no part of it is kept, and returning 0 ends the transfer.
    size_t Abandon() {
        tooLarge = true;
        return 0;
    }

    static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
        auto* t = static_cast<Transfer*>(self);
        std::string_view line(data, size * count);
        t->lastByte = Clock::now();
        // Only the final response's headers count, not those of a redirect or of a
        // "100 Continue".
        if (line.starts_with("HTTP/"))
            t->headers.clear();
        t->headers.append(line);
        return line.size();
    }

    static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t toSend, curl_off_t sent) {
        auto* t = static_cast<Transfer*>(self);
        if (sent != t->sent)
            t->lastByte = Clock::now();
        t->sent = sent;
        t->sending = sent < toSend;
        return 0;
    }

    // The stall clock starts when the request goes out; until then the connect time-out rules.
    static int OnRequestStart(void* self, char*, char*, int, int) {
        auto* t = static_cast<Transfer*>(self);
        t->started = true;
        t->lastByte = Clock::now();
        return CURL_PREREQFUNC_OK;
    }
};

class CurlInternet final : public Internet {
  public:
    explicit CurlInternet(size_t maxBody) : maxBody_(maxBody) {}

    InternetHandle Open(std::string_view userAgent, InternetAccess access,
                        std::string_view proxyList) override {
        Curl(); // binds libcurl now, so that a missing library shows at the first request
        auto session = std::make_unique<Session>();
        session->userAgent = userAgent;
        if (access == InternetAccess::Proxy && proxyList.starts_with("http="))
            session->proxy = proxyList.substr(5);
        return ToHandle(session.release());
    }

    InternetHandle Connect(InternetHandle sessionHandle, std::string_view host,
                           int32_t port) override {
        Session* session = From<Session>(sessionHandle);
        if (!session)
            return InternetHandle::Null;
        auto connection = std::make_unique<Connection>();
        connection->session = *session;
        connection->host = host;
        connection->port = port == 0 ? 80 : port;
        return ToHandle(connection.release());
    }

    InternetHandle OpenRequest(InternetHandle connectionHandle, std::string_view method,
                               std::string_view object, std::string_view version) override {
        Connection* connection = From<Connection>(connectionHandle);
        if (!connection)
            return InternetHandle::Null;
        auto request = std::make_unique<Request>();
        request->connection = *connection;
        request->method = method;
        request->object = object;
        if (version == "HTTP/1.0")
            request->httpVersion = CURL_HTTP_VERSION_1_0;
        return ToHandle(request.release());
    }

    void SetOption(InternetHandle requestHandle, InternetOption option,
                   uint32_t milliseconds) override {
        Request* request = From<Request>(requestHandle);
        if (!request)
            return;
        switch (option) {
        case InternetOption::ConnectTimeout:
            request->connectTimeout = milliseconds;
            break;
        case InternetOption::ReceiveTimeout:
            request->receiveTimeout = milliseconds;
            break;
        case InternetOption::SendTimeout:
            request->sendTimeout = milliseconds;
            break;
        }
    }

    bool Send(InternetHandle requestHandle, std::string_view headers,
              std::string_view data) override {
        Request* request = From<Request>(requestHandle);
        if (!request)
            return false;
        request->body.clear();
        request->readAt = 0;
        request->responseHeaders.clear();
        const Connection& connection = request->connection;
        if (!IsPlainHost(connection.host) || connection.port < 1 || connection.port > 65535 ||
            ProcessIsEnding())
            return false;
        return Perform(*request, headers, data);
    }

    std::string Read(InternetHandle requestHandle, size_t size) override {
        Request* request = From<Request>(requestHandle);
        if (!request || request->readAt >= request->body.size())
            return {};
        std::string piece = request->body.substr(request->readAt, size);
        request->readAt += piece.size();
        return piece;
    }

    std::string RawResponseHeaders(InternetHandle requestHandle) override {
        Request* request = From<Request>(requestHandle);
        return request ? request->responseHeaders : std::string();
    }

    void Close(InternetHandle handle) override {
        delete reinterpret_cast<Object*>(static_cast<std::uintptr_t>(handle));
    }

  private:
    bool Perform(Request& request, std::string_view headers, std::string_view data) {
        const CurlFunctions& curl = Curl();
        const Connection& connection = request.connection;
        const std::string url = "http://" + connection.host + ":" +
                                std::to_string(connection.port) + RequestTarget(request.object);
        HeaderList headerList = HeaderLines(headers);
        EasyHandle easy(curl.easyInit());
        MultiHandle multi(curl.multiInit());
        if (!easy || !multi)
            return false;

        CURL* e = easy.get();
        Transfer transfer;
        transfer.easy = e;
        transfer.maxBody = maxBody_;
        curl.easySetopt(e, CURLOPT_NOSIGNAL, 1L);
        // Abandoning a transfer at shutdown must not wait for a host-name lookup to finish.
        curl.easySetopt(e, CURLOPT_QUICK_EXIT, 1L);
        curl.easySetopt(e, CURLOPT_URL, url.c_str());
        curl.easySetopt(e, CURLOPT_PROTOCOLS_STR, "http");
        curl.easySetopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http");
        curl.easySetopt(e, CURLOPT_FOLLOWLOCATION, 1L);
        curl.easySetopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
        curl.easySetopt(e, CURLOPT_PATH_AS_IS, 1L);
        curl.easySetopt(e, CURLOPT_HTTP_VERSION, request.httpVersion);
        curl.easySetopt(e, CURLOPT_HTTP_CONTENT_DECODING, 0L);
        curl.easySetopt(e, CURLOPT_USERAGENT, connection.session.userAgent.c_str());
        // An empty proxy also keeps the environment's proxy settings out.
        curl.easySetopt(e, CURLOPT_PROXY, connection.session.proxy.c_str());
        curl.easySetopt(e, CURLOPT_NOPROXY, "");
        curl.easySetopt(e, CURLOPT_HTTPHEADER, headerList.get());
        curl.easySetopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeout));
        if (!data.empty()) {
            curl.easySetopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(data.size()));
            curl.easySetopt(e, CURLOPT_POSTFIELDS, data.data());
        }
        // libcurl's own verbs for GET and for POST with a body keep its redirect handling.
        if (request.method != "GET" && !(request.method == "POST" && !data.empty()))
            curl.easySetopt(e, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        curl.easySetopt(e, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
        curl.easySetopt(e, CURLOPT_WRITEDATA, &transfer);
        curl.easySetopt(e, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
        curl.easySetopt(e, CURLOPT_HEADERDATA, &transfer);
        curl.easySetopt(e, CURLOPT_NOPROGRESS, 0L);
        curl.easySetopt(e, CURLOPT_XFERINFOFUNCTION, &Transfer::OnProgress);
        curl.easySetopt(e, CURLOPT_XFERINFODATA, &transfer);
        curl.easySetopt(e, CURLOPT_PREREQFUNCTION, &Transfer::OnRequestStart);
        curl.easySetopt(e, CURLOPT_PREREQDATA, &transfer);

        bool ending = false;
        CURLcode result = CURLE_OPERATION_TIMEDOUT; // unless the transfer reports its end
        {
            Attachment attachment(multi.get(), e);
            for (;;) {
                int running = 0;
                if (curl.multiPerform(multi.get(), &running) != CURLM_OK)
                    break;
                if (running == 0) {
                    int queued = 0;
                    while (CURLMsg* message = curl.multiInfoRead(multi.get(), &queued)) {
                        if (message->msg == CURLMSG_DONE)
                            result = message->data.result;
                    }
                    break;
                }
                if (ProcessIsEnding()) {
                    ending = true;
                    break;
                }
                // Measured from the last byte, not averaged: a slow but steady server is not
                // cut off, a silent one is.
                uint32_t limit = transfer.sending ? request.sendTimeout : request.receiveTimeout;
                if (transfer.started && limit > 0 &&
                    Clock::now() - transfer.lastByte >= std::chrono::milliseconds(limit))
                    break;
                curl.multiPoll(multi.get(), nullptr, 0, kPollMilliseconds, nullptr);
            }
        }
        // A stalled or failed transfer keeps what arrived; these two keep nothing.
        if (transfer.tooLarge || ending)
            transfer.body.clear();
        request.body = std::move(transfer.body);
        request.responseHeaders = std::move(transfer.headers);
        return result == CURLE_OK;
    }

    size_t maxBody_;
};

std::atomic<Internet*> installedInternet{nullptr};

} // namespace

std::unique_ptr<Internet> NewCurlInternet(size_t maxBody) {
    return std::make_unique<CurlInternet>(maxBody);
}

Internet& CurrentInternet() {
    if (Internet* installed = installedInternet.load())
        return *installed;
    // Never destroyed: a worker thread may still be inside a request when the process exits.
    static Internet* const curlInternet = NewCurlInternet().release();
    return *curlInternet;
}

void SetInternetForTesting(Internet* internet) {
    installedInternet.store(internet);
}
