// The demo member-search site on 127.0.0.1: result pages, photos and profiles, with faults on
// request. See README.md beside this file.

#include "photo.h"
#include "site.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <getopt.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using namespace demo;

const char* const Usage = R"(Usage: velmora-demo-site [OPTION]...
Serves the demo member-search site on 127.0.0.1 until SIGINT or SIGTERM.

  --port N            port to listen on (default 8600; 0 picks a free port)
  --pages N           number of result pages (default 3); later pages hold no results
  --members N         members per result page (default 20)
  --seed N            seed of members, photos and fault draws (default 1)
  --photo-size WxH    size of the generated JPEG photos (default 220x270)
  --latency-ms N      delay before every response (default 0)
  --profile-prefix T  the 27 bytes in front of a member id in a profile link (default
                      "http://127.0.0.1:PORT/" and a path segment, e.g.
                      "http://127.0.0.1:8600/home/"); profiles are served under its path
  --log FILE          write "METHOD TARGET" of every request to FILE before answering it
  --fault SPEC        inject a fault; may be repeated, the first that applies wins:
                        KIND          every page or photo request the kind applies to
                        KIND:RATE     each page (by number) or photo (by member id) with
                                      probability RATE in 0..1, drawn from the seed
                        KIND@page=N   the request for result.php page N
                        KIND@photo=N  the photo of the N-th row of --list-expected
                      pages and photos: 404 drop stall garbage oversized redirect-loop
                      pages only:       huge-line invalid-utf8 markers-swapped
                      photos only:      bad-jpeg
  --list-expected     print the rows a collector lists from pages 1..100 under these
                      options, one a line: id, nickname, sex, photo address separated by
                      tabs, in UTF-8; then exit (needs a port other than 0)
  --help              show this text and exit
)";

// Set on SIGINT/SIGTERM; wakes every response that waits (latency, stall).
class Stopper {
  public:
    void Stop() {
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
        }
        wake_.notify_all();
    }
    // True when the server is stopping, possibly before the time is up.
    bool WaitFor(std::chrono::milliseconds time) {
        std::unique_lock lock(mutex_);
        return wake_.wait_for(lock, time, [this] { return stopped_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopped_ = false;
};

class PhotoCache {
  public:
    PhotoCache(int width, int height) : width_(width), height_(height) {}

    std::string Get(std::uint64_t id) {
        {
            std::lock_guard lock(mutex_);
            if (auto it = photos_.find(id); it != photos_.end()) {
                return it->second;
            }
        }
        // Encoded outside the lock so one huge photo does not hold up the others.
        std::string photo = EncodePhoto(width_, height_, id);
        std::lock_guard lock(mutex_);
        return photos_.emplace(id, std::move(photo)).first->second;
    }

  private:
    int width_;
    int height_;
    std::mutex mutex_;
    std::map<std::uint64_t, std::string> photos_;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

class RequestLog {
  public:
    explicit RequestLog(const std::string& path) {
        if (!path.empty()) {
            file_.reset(std::fopen(path.c_str(), "w"));
        }
    }
    bool failed(const std::string& path) const { return !path.empty() && !file_; }

    void Write(const httplib::Request& req) {
        if (!file_) {
            return;
        }
        std::lock_guard lock(mutex_);
        std::fprintf(file_.get(), "%s %s\n", req.method.c_str(), req.target.c_str());
        std::fflush(file_.get());
    }

  private:
    std::mutex mutex_;
    std::unique_ptr<std::FILE, FileCloser> file_;
};

// The library gives a handler no access to its socket; find it by the connection's two ports so
// that a stalled response notices when the client gives up.
int ConnectionSocket(int localPort, int remotePort) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        int fd = std::atoi(entry.path().filename().c_str());
        sockaddr_in local{};
        sockaddr_in peer{};
        socklen_t localSize = sizeof local;
        socklen_t peerSize = sizeof peer;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) == 0 &&
            getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) == 0 &&
            local.sin_family == AF_INET && ntohs(local.sin_port) == localPort &&
            ntohs(peer.sin_port) == remotePort) {
            return fd;
        }
    }
    return -1;
}

bool ClientGone(int fd) {
    pollfd p{fd, POLLRDHUP, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

const char* const HtmlType = "text/html; charset=utf-8";

struct Context {
    const Site& site;
    Stopper& stopper;
    PhotoCache& photos;
};

// Sends the first cut bytes, for a stall waits until the client goes or the server stops, then
// closes the connection with the body unfinished.
httplib::ContentProvider PartThenClose(std::string body, std::size_t cut, bool stall,
                                       const httplib::Request& req, Stopper& stopper) {
    return [body = std::move(body), cut, stall, localPort = req.local_port,
            remotePort = req.remote_port,
            &stopper](std::size_t, std::size_t, httplib::DataSink& sink) {
        sink.write(body.data(), cut);
        if (stall) {
            int fd = ConnectionSocket(localPort, remotePort);
            while (!stopper.WaitFor(std::chrono::milliseconds(100)) &&
                   !(fd >= 0 && ClientGone(fd))) {
            }
        }
        return false;
    };
}

const std::string& FillerChunk() {
    static const std::string chunk = [] {
        std::string text;
        while (text.size() < (64u << 10)) {
            text += "<p>填充内容填充内容填充内容</p>\n";
        }
        return text.substr(0, 64u << 10);
    }();
    return chunk;
}

// Sends body, or the transport fault that hits it; cut is where drop and stall break off.
void Respond(Context& ctx, const httplib::Request& req, httplib::Response& res, std::string body,
             const char* type, std::size_t cut, std::optional<FaultKind> fault, std::uint64_t key) {
    if (!fault) {
        res.set_content(std::move(body), type);
        return;
    }
    switch (*fault) {
    case FaultKind::NotFound:
        res.status = 404;
        res.set_content("<!DOCTYPE html>\n<html><head><title>404</title></head>"
                        "<body><h1>页面不存在</h1></body></html>\n",
                        HtmlType);
        return;
    case FaultKind::Drop:
    case FaultKind::Stall: {
        std::size_t length = body.size();
        res.set_content_provider(
            length, type,
            PartThenClose(std::move(body), cut, *fault == FaultKind::Stall, req, ctx.stopper));
        return;
    }
    case FaultKind::Garbage:
        res.set_content(GarbageBody(ctx.site.options().seed, key), type);
        return;
    case FaultKind::Oversized: {
        Stopper& stopper = ctx.stopper;
        res.set_content_provider(
            OversizedLength, type,
            [&stopper](std::size_t, std::size_t length, httplib::DataSink& sink) {
                const std::string& chunk = FillerChunk();
                return !stopper.WaitFor(std::chrono::milliseconds(0)) &&
                       sink.write(chunk.data(), std::min(length, chunk.size()));
            });
        return;
    }
    case FaultKind::RedirectLoop:
        res.status = 302;
        res.set_header("Location", req.target);
        res.set_content("<html><body>Moved</body></html>\n", HtmlType);
        return;
    default: // the kinds that change the body itself
        res.set_content(std::move(body), type);
        return;
    }
}

std::optional<std::uint64_t> Digits(std::string_view text) {
    std::uint64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

void Handle(Context& ctx, const httplib::Request& req, httplib::Response& res) {
    const Site& site = ctx.site;
    const std::string& path = req.path;
    if (path == "/result.php") {
        // A number too big for a page is no page at all, not one cut down to a real page.
        std::uint64_t number = Digits(req.get_param_value("p")).value_or(0);
        int page = number <= 1000000000 ? int(number) : 0;
        std::optional<FaultKind> fault = site.PageFault(page);
        std::string body = site.ResultPage(page);
        // Drop and stall break off inside the head, before the phrase, so what a client got
        // holds no members whatever it does with a cut-off body.
        std::size_t cut = body.find("</head>");
        if (fault == FaultKind::HugeLine) {
            body = HugeLinePage(body);
        } else if (fault == FaultKind::InvalidUtf8) {
            body = InvalidUtf8Page(body);
        } else if (fault == FaultKind::MarkersSwapped) {
            body = MarkersSwappedPage(body);
        }
        Respond(ctx, req, res, std::move(body), HtmlType, cut, fault, std::uint64_t(page));
        return;
    }
    if (path.starts_with("/photo/") && path.ends_with(".jpg")) {
        if (auto id = Digits(std::string_view(path).substr(7, path.size() - 11))) {
            std::optional<FaultKind> fault = site.PhotoFault(*id);
            std::string photo = ctx.photos.Get(*id);
            if (fault == FaultKind::BadJpeg) {
                photo = BadJpeg(photo, *id);
            }
            std::size_t cut = photo.size() / 2;
            Respond(ctx, req, res, std::move(photo), "image/jpeg", cut, fault, *id);
            return;
        }
    }
    std::string profiles = ProfilePath(site.options().profilePrefix);
    if (path.starts_with(profiles)) {
        if (auto id = Digits(std::string_view(path).substr(profiles.size()))) {
            std::string text = std::to_string(*id);
            res.set_content("<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
                            "<title>会员资料 " +
                                text + "</title></head><body><h1>会员 " + text +
                                "</h1><img src=\"" + site.PhotoAddress(*id) + "\"></body></html>\n",
                            HtmlType);
            return;
        }
    }
    Respond(ctx, req, res, {}, HtmlType, 0, FaultKind::NotFound, 0);
}

bool ParseNumber(const char* text, long long low, long long high, long long& value) {
    std::string_view view(text);
    auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    return error == std::errc() && end == view.data() + view.size() && value >= low &&
           value <= high;
}

bool ParseSize(const char* text, int& width, int& height) {
    std::string_view view(text);
    std::size_t x = view.find('x');
    long long w = 0;
    long long h = 0;
    if (x == std::string_view::npos ||
        !ParseNumber(std::string(view.substr(0, x)).c_str(), 1, 65500, w) ||
        !ParseNumber(std::string(view.substr(x + 1)).c_str(), 1, 65500, h)) {
        return false;
    }
    width = int(w);
    height = int(h);
    return true;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "velmora-demo-site: %s\nTry --help.\n", message.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    enum { Port = 1, Pages, Members, Seed, PhotoSize, Latency, Prefix, Log, FaultOpt, List, Help };
    const option longOptions[] = {
        {"port", required_argument, nullptr, Port},
        {"pages", required_argument, nullptr, Pages},
        {"members", required_argument, nullptr, Members},
        {"seed", required_argument, nullptr, Seed},
        {"photo-size", required_argument, nullptr, PhotoSize},
        {"latency-ms", required_argument, nullptr, Latency},
        {"profile-prefix", required_argument, nullptr, Prefix},
        {"log", required_argument, nullptr, Log},
        {"fault", required_argument, nullptr, FaultOpt},
        {"list-expected", no_argument, nullptr, List},
        {"help", no_argument, nullptr, Help},
        {nullptr, 0, nullptr, 0},
    };
    Options options;
    bool listExpected = false;
    long long n = 0;
    for (int opt; (opt = getopt_long(argc, argv, "", longOptions, nullptr)) != -1;) {
        switch (opt) {
        case Port:
            if (!ParseNumber(optarg, 0, 65535, n)) {
                return Fail("--port needs a number from 0 to 65535");
            }
            options.port = int(n);
            break;
        case Pages:
        case Members:
            if (!ParseNumber(optarg, 0, 100000, n)) {
                return Fail("--pages and --members need a number from 0 to 100000");
            }
            (opt == Pages ? options.pages : options.members) = int(n);
            break;
        case Seed:
            if (!ParseNumber(optarg, 0, std::numeric_limits<long long>::max(), n)) {
                return Fail("--seed needs a non-negative number");
            }
            options.seed = std::uint64_t(n);
            break;
        case PhotoSize:
            if (!ParseSize(optarg, options.photoWidth, options.photoHeight)) {
                return Fail("--photo-size needs WIDTHxHEIGHT, each from 1 to 65500");
            }
            break;
        case Latency:
            if (!ParseNumber(optarg, 0, 3600000, n)) {
                return Fail("--latency-ms needs a number of milliseconds");
            }
            options.latencyMs = int(n);
            break;
        case Prefix:
            options.profilePrefix = optarg;
            break;
        case Log:
            options.logFile = optarg;
            break;
        case FaultOpt:
            if (auto fault = ParseFault(optarg)) {
                options.faults.push_back(*fault);
            } else {
                return Fail(std::string("unknown or misplaced fault: ") + optarg);
            }
            break;
        case List:
            listExpected = true;
            break;
        case Help:
            std::fputs(Usage, stdout);
            return 0;
        default:
            return Fail("unknown option");
        }
    }
    if (optind < argc) {
        return Fail(std::string("unexpected argument: ") + argv[optind]);
    }
    const std::string& prefix = options.profilePrefix;
    if (!prefix.empty() && (prefix.size() != 27 || !prefix.starts_with("http://") ||
                            prefix.find('/', 7) == std::string::npos)) {
        return Fail("--profile-prefix must be an http:// address of exactly 27 bytes with a path");
    }

    if (listExpected) {
        if (options.port == 0) {
            return Fail("--list-expected needs the port the site listens on");
        }
        if (options.profilePrefix.empty()) {
            options.profilePrefix = DefaultProfilePrefix(options.port);
        }
        const Site site(options);
        for (const Row& row : site.ExpectedRows()) {
            std::printf("%s\t%s\t%s\t%s\n", row.id.c_str(), row.nickname.c_str(), row.sex.c_str(),
                        row.photo.c_str());
        }
        return 0;
    }

    // Signals are taken by sigwait below; every thread started later inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    RequestLog log(options.logFile);
    if (log.failed(options.logFile)) {
        return Fail("cannot write the log file " + options.logFile);
    }
    httplib::Server server;
    if (options.port == 0) {
        options.port = server.bind_to_any_port("127.0.0.1");
    } else if (!server.bind_to_port("127.0.0.1", options.port)) {
        options.port = -1;
    }
    if (options.port < 0) {
        return Fail("cannot listen on 127.0.0.1");
    }
    if (options.profilePrefix.empty()) {
        options.profilePrefix = DefaultProfilePrefix(options.port);
    }
    const Site site(options);
    Stopper stopper;
    PhotoCache photos(options.photoWidth, options.photoHeight);
    Context ctx{site, stopper, photos};
    const auto latency = std::chrono::milliseconds(options.latencyMs);

    server.set_pre_routing_handler([&](const httplib::Request& req, httplib::Response&) {
        log.Write(req);
        if (latency.count() > 0) {
            stopper.WaitFor(latency);
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.Get(R"(/.*)",
               [&](const httplib::Request& req, httplib::Response& res) { Handle(ctx, req, res); });

    std::printf("listening on 127.0.0.1:%d\n", options.port);
    std::fflush(stdout);

    std::atomic<bool> listening = true;
    std::thread listener([&] {
        server.listen_after_bind();
        listening = false;
        kill(getpid(), SIGTERM); // ends the sigwait below if listening fails on its own
    });
    int received = 0;
    sigwait(&stopSignals, &received);
    stopper.Stop();
    // A stop that comes before the listener has started is lost, so repeat it until it takes.
    while (listening) {
        server.stop();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    listener.join();
    return 0;
}
