#include "platform/shell.h"

#include <cerrno>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "platform/codepage.h"

extern char** environ;

namespace {

WebAddressOpener installedOpener;

// True when `program` could be started and exited with status 0.
bool RunToSuccess(const std::string& program, const std::string& argument) {
    std::string programArg = program;
    std::string addressArg = argument;
    char* argv[] = {programArg.data(), addressArg.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void OpenWithBrowserPrograms(const std::string& address, OpenDone done) {
    std::vector<std::string> programs{"xdg-open"};
    if (const char* browser = std::getenv("BROWSER"); browser && *browser)
        programs.emplace_back(browser);
    programs.emplace_back("x-www-browser");
    // A browser may keep its launcher running until it is closed, so the wait has its own thread.
    std::thread([address, programs = std::move(programs), done = std::move(done)] {
        for (const std::string& program : programs) {
            if (RunToSuccess(program, address)) {
                done(true);
                return;
            }
        }
        done(false);
    }).detach();
}

} // namespace

void OpenWebAddress(std::string_view gbkAddress, OpenDone done) {
    const std::string address = GbkToUtf8(gbkAddress);
    if (installedOpener)
        installedOpener(address, std::move(done));
    else
        OpenWithBrowserPrograms(address, std::move(done));
}

void SetWebAddressOpener(WebAddressOpener opener) {
    installedOpener = std::move(opener);
}
