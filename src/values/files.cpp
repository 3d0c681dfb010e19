#include "values/files.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/codepage.h"

namespace {

// Closes a file descriptor when it goes out of scope.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // Closes now and tells whether the close succeeded (a delayed write error shows here).
    bool Close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// The last "/" of a GBK path, stepping over double-byte characters so that a second byte is
// never taken for the separator.
size_t LastSeparator(std::string_view path) {
    size_t last = std::string_view::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        if (static_cast<unsigned char>(path[i]) >= 0x80)
            ++i;
        else if (path[i] == '/')
            last = i;
    }
    return last;
}

Text ComputeRunDirectory() {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0)
        return Text();
    Text program(Utf8ToGbk(std::string_view(buffer, static_cast<size_t>(n))));
    size_t separator = LastSeparator(program.view());
    if (separator == std::string_view::npos)
        return Text();
    return Text(program.view().substr(0, separator));
}

} // namespace

std::string FileSystemPath(const Text& path) {
    return GbkToUtf8(path.view());
}

const Text& RunDirectory() {
    static const Text directory = ComputeRunDirectory();
    return directory;
}

bool FileExists(const Text& path) {
    struct stat info {};
    return !path.empty() && ::stat(FileSystemPath(path).c_str(), &info) == 0;
}

Bytes ReadFileBytes(const Text& path) {
    if (path.empty())
        return Bytes();
    FileDescriptor file(::open(FileSystemPath(path).c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size <= 0)
        return Bytes();
    std::string content(static_cast<size_t>(info.st_size), '\0');
    size_t got = 0;
    while (got < content.size()) {
        ssize_t n = ::read(file.get(), content.data() + got, content.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Bytes();
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    content.resize(got);
    return Bytes(std::move(content));
}

bool WriteFileBytes(const Text& path, const Bytes& data) {
    if (path.empty())
        return false;
    std::string target = FileSystemPath(path);
    size_t slash = target.rfind('/');
    std::string directory =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);

    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = directory + "." + name + ".tmp-" + std::to_string(::getpid()) + "-" +
                    std::to_string(counter++);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    FileDescriptor file(fd);
    if (file.get() < 0)
        return false;
    bool written = WriteAll(file.get(), data.view());
    bool closed = file.Close();
    if (!written || !closed || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}
