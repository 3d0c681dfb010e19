#include "web/http.h"

#include "platform/internet.h"
#include "platform/lifecycle.h"
#include "web/url.h"

namespace {

const Text kUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
const Text kAcceptLine = "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
                         "application/x-shockwave-flash, application/vnd.ms-excel, "
                         "application/vnd.ms-powerpoint, application/msword, */*\r\n";
constexpr uint32_t kTimeoutMilliseconds = 18000;
constexpr size_t kReadSize = 512;

// Closes its handle when it goes; an empty holder closes nothing.
class OpenHandle {
  public:
    explicit OpenHandle(Internet& internet) : internet_(internet) {}
    ~OpenHandle() {
        if (handle_ != InternetHandle::Null)
            internet_.Close(handle_);
    }
    OpenHandle(const OpenHandle&) = delete;
    OpenHandle& operator=(const OpenHandle&) = delete;

    void operator=(InternetHandle handle) { handle_ = handle; }
    InternetHandle get() const { return handle_; }
    explicit operator bool() const { return handle_ != InternetHandle::Null; }

  private:
    Internet& internet_;
    InternetHandle handle_ = InternetHandle::Null;
};

Bytes Request(const Text& address, Text* methodArg, const Text* proxy, Text* headersArg,
              const Text* dataArg, Text* responseHeaders) {
    Internet& internet = CurrentInternet();
    Text omittedMethod, omittedHeaders;
    const Text omittedData;
    Text& method = methodArg ? *methodArg : omittedMethod;
    Text& headers = headersArg ? *headersArg : omittedHeaders;
    const Text& data = dataArg ? *dataArg : omittedData;

    // Declared in reverse, so that every way out closes the session, then the connection, then
    // the request.
    OpenHandle request(internet), connection(internet), session(internet);
    if (proxy)
        session = internet.Open(kUserAgent.view(), InternetAccess::Proxy,
                                TextConcat("http=", *proxy).view());
    else
        session = internet.Open(kUserAgent.view(), InternetAccess::Direct, "");
    if (!session)
        return Bytes();

    connection = internet.Connect(session.get(), UrlHost(address).view(), UrlPort(address));
    if (!connection)
        return Bytes();

    if (!TextEqual(TextToUpper(method), "POST"))
        method = "GET";
    request =
        internet.OpenRequest(connection.get(), method.view(), UrlPath(address).view(), "HTTP/1.1");
    if (!request)
        return Bytes();

    internet.SetOption(request.get(), InternetOption::ConnectTimeout, kTimeoutMilliseconds);
    internet.SetOption(request.get(), InternetOption::ReceiveTimeout, kTimeoutMilliseconds);
    internet.SetOption(request.get(), InternetOption::SendTimeout, kTimeoutMilliseconds);

    if (TextFind(headers, "Accept: ", 1, true) == -1)
        headers = TextConcat(headers, kAcceptLine);
    if (TextFind(headers, "Referer: ", 1, true) == -1)
        headers = TextConcat(headers, "Referer: ", address, "\r\n");
    if (TextFind(headers, "Accept-Language: ", 1, true) == -1)
        headers = TextConcat(headers, "Accept-Language: zh-cn\r\n");

    if (TextEqual(method, "GET")) {
        internet.Send(request.get(), headers.view(), {});
    } else {
        if (!data.empty())
            headers = TextConcat(headers, "Content-Type: application/x-www-form-urlencoded\r\n",
                                 "Content-Length: ", IntToText(TextLength(data)), "\r\n");
        internet.Send(request.get(), headers.view(), data.view());
    }

    // A read that fails gives no bytes, so it ends the loop like the end of the body does.
    int32_t count = 1;
    Bytes body;
    while (count > 0) {
        PumpEvents();
        Bytes piece(internet.Read(request.get(), kReadSize));
        count = BytesLength(piece);
        body = BytesConcat(std::move(body), piece);
    }

    // Whole, however long: a fixed-size buffer would cut long headers or overrun.
    if (responseHeaders)
        *responseHeaders = Text(internet.RawResponseHeaders(request.get()));
    return body;
}

} // namespace

Text HttpRequestText(const Text& address, Text* method, const Text* proxy, Text* headers,
                     const Text* data, Text* responseHeaders) {
    return BytesToText(Request(address, method, proxy, headers, data, responseHeaders));
}

Bytes HttpRequestBytes(const Text& address, Text* method, const Text* proxy, Text* headers,
                       const Text* data, Text* responseHeaders) {
    return Request(address, method, proxy, headers, data, responseHeaders);
}
