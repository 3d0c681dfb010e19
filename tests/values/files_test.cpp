#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "values/files.h"

namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/velmora-files-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }
    Text PathOf(const std::string& name) const { return Text(dir_ + "/" + name); }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_))
            names.push_back(e.path().filename().string());
        return names;
    }
    std::string dir_;
};

TEST_F(FilesTest, ReadGivesEmptyOnEveryFailure) {
    EXPECT_EQ(ReadFileBytes(Text()), Bytes());
    EXPECT_EQ(ReadFileBytes(PathOf("missing")), Bytes());
    EXPECT_EQ(ReadFileBytes(PathOf("nodir/x.jpg")), Bytes());
    std::ofstream(dir_ + "/empty").close();
    EXPECT_EQ(ReadFileBytes(PathOf("empty")), Bytes());
    EXPECT_EQ(ReadFileBytes(Text(dir_)), Bytes()); // a directory
}

TEST_F(FilesTest, WriteCreatesReplacesAndLeavesNoTemporary) {
    using namespace std::string_view_literals;
    Bytes data("\xFF\xD8\0jpeg"sv);
    ASSERT_TRUE(WriteFileBytes(PathOf("a.jpg"), data));
    EXPECT_EQ(ReadFileBytes(PathOf("a.jpg")), data);
    ASSERT_TRUE(WriteFileBytes(PathOf("a.jpg"), Bytes("new")));
    EXPECT_EQ(ReadFileBytes(PathOf("a.jpg")), Bytes("new"));
    ASSERT_TRUE(WriteFileBytes(PathOf("empty.jpg"), Bytes()));
    EXPECT_TRUE(fs::exists(dir_ + "/empty.jpg"));
    EXPECT_EQ(fs::file_size(dir_ + "/empty.jpg"), 0u);
    auto names = Entries();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.jpg", "empty.jpg"}));
    // Created with the ordinary permissions, not the private ones of a temporary file.
    struct stat info {};
    ASSERT_EQ(stat((dir_ + "/a.jpg").c_str(), &info), 0);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

TEST_F(FilesTest, FailedWriteCreatesNothingAndKeepsTheOldContent) {
    EXPECT_FALSE(WriteFileBytes(Text(), Bytes("x")));
    EXPECT_FALSE(WriteFileBytes(PathOf("nodir/x.jpg"), Bytes("x")));
    EXPECT_FALSE(fs::exists(dir_ + "/nodir"));

    ASSERT_TRUE(WriteFileBytes(PathOf("keep.jpg"), Bytes("old")));
    fs::create_directory(dir_ + "/dir.jpg");
    EXPECT_FALSE(WriteFileBytes(PathOf("dir.jpg"), Bytes("x"))); // rename over a directory fails
    if (geteuid() != 0) {
        // Root writes anywhere; an unwritable directory shows the failure for other users.
        chmod(dir_.c_str(), 0500);
        EXPECT_FALSE(WriteFileBytes(PathOf("keep.jpg"), Bytes("new")));
        chmod(dir_.c_str(), 0700);
    }
    EXPECT_EQ(ReadFileBytes(PathOf("keep.jpg")), Bytes("old"));
    auto names = Entries();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"dir.jpg", "keep.jpg"}));
}

TEST_F(FilesTest, GbkFileNamesReachTheFileSystemAsUtf8) {
    Text name = TextConcat(Text(dir_), "/", GbkText("相片.jpg"));
    ASSERT_TRUE(WriteFileBytes(name, Bytes("x")));
    EXPECT_TRUE(fs::exists(fs::path(dir_) / "相片.jpg"));
    EXPECT_EQ(ReadFileBytes(name), Bytes("x"));
}

TEST(RunDirectory, IsTheDirectoryOfTheExecutable) {
    const Text& dir = RunDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(dir.view().back(), '/');
    EXPECT_EQ(fs::path(dir.str()), fs::canonical("/proc/self/exe").parent_path());
    EXPECT_EQ(&RunDirectory(), &dir);
}

} // namespace
