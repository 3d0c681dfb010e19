#pragma once
// The demo site as a child process on an ephemeral loopback port, for tests that need a whole
// site: start it, read its port, ask it for the rows a collector should list, stop it.

#include <httplib.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace demo_site {

using namespace std::chrono_literals;

inline const std::string SearchPath = "/result.php?t=0&y=0&m=1&s=0&re=1&d=&p=";

struct Row {
    std::string id, nickname, sex, photo;
    bool operator==(const Row&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Row& r) {
    return out << r.id << " | " << r.nickname << " | " << r.sex << " | " << r.photo;
}

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) {
            close(fd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

// Reads the child's stdout until it closes or, with firstLine, until the first line; bounded.
inline std::string ReadOutput(int fd, bool firstLine) {
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) {
            continue;
        }
        char buffer[4096];
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        out.append(buffer, std::size_t(n));
        if (firstLine && out.find('\n') != std::string::npos) {
            break;
        }
    }
    return out;
}

// Waits up to 20 s for the child; kills it if it does not end. Returns the exit code or -1.
inline int Reap(pid_t pid) {
    for (int i = 0; i < 200; ++i) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(100ms);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

inline pid_t Spawn(const std::vector<std::string>& args, int& stdoutFd) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<char*> argv;
    std::string exe = DEMO_SITE_EXE;
    argv.push_back(exe.data());
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    stdoutFd = pipeFds[0];
    return pid;
}

// Runs the tool to its end: exit code and stdout.
inline std::pair<int, std::string> RunTool(const std::vector<std::string>& args) {
    int fd = -1;
    pid_t pid = Spawn(args, fd);
    Fd out(fd);
    if (pid < 0) {
        return {-1, {}};
    }
    std::string text = ReadOutput(fd, false);
    return {Reap(pid), text};
}

inline std::vector<Row> ParseRows(const std::string& text) {
    std::vector<Row> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        Row r;
        std::istringstream fields(line);
        std::getline(fields, r.id, '\t');
        std::getline(fields, r.nickname, '\t');
        std::getline(fields, r.sex, '\t');
        std::getline(fields, r.photo, '\t');
        rows.push_back(r);
    }
    return rows;
}

// One running site; stopped with SIGTERM when the test ends.
class SiteProcess {
  public:
    explicit SiteProcess(std::vector<std::string> args) : args_(std::move(args)) {
        std::vector<std::string> all = {"--port", "0"};
        all.insert(all.end(), args_.begin(), args_.end());
        int fd = -1;
        pid_ = Spawn(all, fd);
        Fd out(fd);
        std::string line = ReadOutput(fd, true);
        const std::string expected = "listening on 127.0.0.1:";
        if (pid_ > 0 && line.starts_with(expected)) {
            port_ = std::stoi(line.substr(expected.size()));
        }
    }
    ~SiteProcess() { Stop(SIGTERM); }
    SiteProcess(const SiteProcess&) = delete;
    SiteProcess& operator=(const SiteProcess&) = delete;

    int port() const { return port_; }

    // Exit code after the signal, -1 when it had to be killed.
    int Stop(int signal) {
        if (pid_ <= 0) {
            return -1;
        }
        kill(pid_, signal);
        int code = Reap(pid_);
        pid_ = -1;
        return code;
    }

    std::vector<Row> Expected() const {
        std::vector<std::string> all = {"--list-expected", "--port", std::to_string(port_)};
        all.insert(all.end(), args_.begin(), args_.end());
        auto [code, text] = RunTool(all);
        EXPECT_EQ(code, 0);
        return ParseRows(text);
    }

    httplib::Client Client() const {
        httplib::Client client("127.0.0.1", port_);
        client.set_read_timeout(20, 0);
        return client;
    }

    httplib::Result Page(int page) const { return Client().Get(SearchPath + std::to_string(page)); }

  private:
    std::vector<std::string> args_;
    pid_t pid_ = -1;
    int port_ = 0;
};

} // namespace demo_site
