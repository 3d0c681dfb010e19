#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/shell.h"

namespace {

namespace fs = std::filesystem;

// Browser programs that are shell scripts in a directory of their own, which is all of PATH.
class BrowserProgramsTest : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/velmora-shell-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        savedPath_ = std::getenv("PATH");
        if (const char* browser = std::getenv("BROWSER"))
            savedBrowser_ = browser;
        setenv("PATH", dir_.c_str(), 1);
        unsetenv("BROWSER");
    }
    void TearDown() override {
        setenv("PATH", savedPath_.c_str(), 1);
        if (savedBrowser_)
            setenv("BROWSER", savedBrowser_->c_str(), 1);
        fs::remove_all(dir_);
    }
    // A program that writes its argument count and arguments, one a line, to <name>.args.
    void AddProgram(const std::string& name, int exitStatus) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path) << "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '" << path
                            << ".args'\nexit " << exitStatus << "\n";
        chmod(path.c_str(), 0755);
    }
    std::string ArgumentsOf(const std::string& name) {
        std::ifstream in(dir_ + "/" + name + ".args");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static std::optional<bool> Open(const std::string& gbkAddress) {
        auto answer = std::make_shared<std::promise<bool>>();
        std::future<bool> opened = answer->get_future();
        OpenWebAddress(gbkAddress, [answer](bool ok) { answer->set_value(ok); });
        if (opened.wait_for(std::chrono::seconds(10)) != std::future_status::ready)
            return std::nullopt;
        return opened.get();
    }

    std::string dir_;
    std::string savedPath_;
    std::optional<std::string> savedBrowser_;
};

TEST_F(BrowserProgramsTest, AddressReachesTheProgramAsOneArgument) {
    AddProgram("xdg-open", 0);
    const std::string address = "http://profile.example/a b\"c';d $(x)&" + Utf8ToGbk("张");
    EXPECT_EQ(Open(address), true);
    EXPECT_EQ(ArgumentsOf("xdg-open"), "1\n" + GbkToUtf8(address) + "\n");
}

TEST_F(BrowserProgramsTest, FallsBackInOrderUntilOneSucceeds) {
    AddProgram("xdg-open", 3);
    AddProgram("my-browser", 1);
    AddProgram("x-www-browser", 0);
    setenv("BROWSER", "my-browser", 1);
    EXPECT_EQ(Open("http://okrane.example/"), true);
    for (const char* program : {"xdg-open", "my-browser", "x-www-browser"})
        EXPECT_EQ(ArgumentsOf(program), "1\nhttp://okrane.example/\n") << program;
}

TEST_F(BrowserProgramsTest, FailsWhenNoProgramSucceeds) {
    AddProgram("xdg-open", 1); // x-www-browser is missing altogether
    EXPECT_EQ(Open("http://okrane.example/"), false);
    EXPECT_FALSE(ArgumentsOf("xdg-open").empty());
}

} // namespace
