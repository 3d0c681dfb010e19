#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "collect/member_block.h"
#include "collect/photo_store.h"
#include "support/fixture_site.h"
#include "support/recording_controls.h"
#include "values/files.h"

namespace {

namespace fs = std::filesystem;

const std::string profilePrefix = "http://127.0.0.1:8600/home/"; // 27 bytes

// One member entry in the site's form, in UTF-8.
std::string Entry(const std::string& id, const std::string& sex, const std::string& photo,
                  const std::string& nick, const std::string& uid = "12345") {
    return "<a href=\"" + profilePrefix + id +
           "?from=search\" onclick=\"showMember({'first_serv':"
           "'normal','uid':" +
           uid + ",'sex':'" + sex + "'})\" target=\"_blank\"><img src=\"" + photo + "\" alt=\"" +
           nick + "\"></a>\n";
}

std::string StoreFile(const std::string& sex, const std::string& id) {
    return RunDirectory().str() + "/" + sex + "/" + id + ".jpg";
}

class MemberBlockTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(CreateAutomationObject(regex_, "VBScript.RegExp")); }
    void TearDown() override {
        for (const auto& file : written_)
            fs::remove(file);
    }
    // A photo served by the fixture site; its store file is removed after the test.
    std::string Photo(const std::string& sex, const std::string& id, const std::string& body) {
        site_.Serve("/photo/" + id + ".jpg", body);
        written_.push_back(StoreFile(sex, id));
        return site_.Base() + "/photo/" + id + ".jpg";
    }
    void Parse(const std::string& utf8Block) {
        ParseMemberBlock(window_, regex_, GbkText(utf8Block));
    }

    FixtureSite site_;
    RecordingControls window_;
    ObjectRef regex_;
    std::vector<std::string> written_;
};

std::string ReadFile(const std::string& path) {
    return ReadFileBytes(Text(path)).str();
}

TEST_F(MemberBlockTest, EntriesBecomeRowsInOrderWithTheCountAndThePhotos) {
    const std::string block = "<!-- 普通会员 -->\n<ul>" +
                              Entry("71001", "f", Photo("f", "71001", "photo one"), "小雨") +
                              Entry("71002", "m", Photo("m", "71002", "photo two"), "阿明") +
                              // The upper-case sex is listed as written and stored under f.
                              Entry("71003", "F", Photo("f", "71003", "photo three"), "Lily & Co");
    Parse(block);

    ASSERT_EQ(window_.rows.size(), 3u);
    EXPECT_EQ(window_.rows[0], (std::vector<Text>{Text("71001"), GbkText("小雨"), Text("f"),
                                                  Text(site_.Base() + "/photo/71001.jpg")}));
    EXPECT_EQ(window_.rows[1][0], Text("71002"));
    EXPECT_EQ(window_.rows[1][1], GbkText("阿明"));
    EXPECT_EQ(window_.rows[2][1], Text("Lily & Co"));
    EXPECT_EQ(window_.rows[2][2], Text("F"));
    EXPECT_EQ(window_.labels,
              (std::vector<Text>{GbkText("当前共采集：1条"), GbkText("当前共采集：2条"),
                                 GbkText("当前共采集：3条")}));
    // Each row is written whole and counted before its photo is fetched.
    EXPECT_EQ(std::vector<std::string>(window_.calls.begin(), window_.calls.begin() + 5),
              (std::vector<std::string>{"ListInsertRow 71001", "ListSetCellText 0 1",
                                        "ListSetCellText 0 2", "ListSetCellText 0 3",
                                        "LabelSetCaption"}));
    EXPECT_EQ(site_.Requests(), (std::vector<std::string>{"/photo/71001.jpg", "/photo/71002.jpg",
                                                          "/photo/71003.jpg"}));
    EXPECT_EQ(ReadFile(StoreFile("f", "71001")), "photo one");
    EXPECT_EQ(ReadFile(StoreFile("m", "71002")), "photo two");
    EXPECT_EQ(ReadFile(StoreFile("f", "71003")), "photo three");
}

TEST_F(MemberBlockTest, NoEntryMeansNoRowNoLabelAndNoRequest) {
    const std::string photo = site_.Base() + "/photo/x.jpg";
    for (const std::string& block :
         {std::string(), std::string("<!-- 普通会员 --> nothing here"),
          Entry("71010", "f", photo, "a", "1234"),  // uid too short
          Entry("71011", "f", photo, "b", "01234"), // uid with a leading zero
          Entry("71012", "x", photo, "c")}) {       // no such sex
        Parse(block);
    }
    ObjectRef empty;
    ParseMemberBlock(window_, empty, GbkText(Entry("71013", "f", photo, "d")));
    EXPECT_TRUE(window_.calls.empty());
    EXPECT_TRUE(site_.Requests().empty());
}

TEST_F(MemberBlockTest, AFailedDownloadKeepsTheStoredPhotoAndMarksAMissingOne) {
    const std::string photo = Photo("f", "71020", "new photo");
    ASSERT_TRUE(WriteFileBytes(Text(StoreFile("f", "71020")), Bytes("old photo")));
    Parse(Entry("71020", "f", photo, "a"));
    EXPECT_EQ(ReadFile(StoreFile("f", "71020")), "new photo");

    site_.Serve("/photo/71020.jpg", "");
    Parse(Entry("71020", "f", photo, "a"));
    EXPECT_EQ(ReadFile(StoreFile("f", "71020")), "new photo");

    // A photo cut short counts as failed: the whole one stays.
    site_.ServeCut("/photo/71020.jpg", "half of a", 5000);
    Parse(Entry("71020", "f", photo, "a"));
    EXPECT_EQ(ReadFile(StoreFile("f", "71020")), "new photo");

    // Nothing stored yet: the failed download leaves an empty file, as before.
    written_.push_back(StoreFile("m", "71021"));
    Parse(Entry("71021", "m", site_.Base() + "/photo/missing.jpg", "b"));
    ASSERT_TRUE(fs::exists(StoreFile("m", "71021")));
    EXPECT_EQ(fs::file_size(StoreFile("m", "71021")), 0u);
    EXPECT_EQ(window_.rows.size(), 4u);
}

TEST_F(MemberBlockTest, AnIdentifierThatLeavesTheStoreIsListedButNeverWritten) {
    const std::string outside = RunDirectory().str() + "/escaped.jpg";
    for (const std::string id : {"../escaped", "..\\escaped", "a/../../escaped", "ab\x01"}) {
        Parse(Entry(id, "f", Photo("f", "esc", "evil"), "e"));
    }
    EXPECT_EQ(window_.rows.size(), 4u);
    EXPECT_EQ(window_.rows[0][0], Text("../escaped"));
    EXPECT_FALSE(fs::exists(outside));
    EXPECT_FALSE(fs::exists(RunDirectory().str() + "/f/..\\escaped.jpg"));
    EXPECT_EQ(PhotoStorePath(Text("f"), Text("../escaped")), Text());
}

TEST(MemberIdFromLink, TakesTheBytesBetweenThePrefixAndTheFirstQuestionMark) {
    const struct {
        std::string link;
        std::string id;
    } cases[] = {
        {profilePrefix + "123456?from=search", "123456"},
        {profilePrefix + "123456?a?b", "123456"},
        {profilePrefix + "123456", ""}, // no "?"
        {profilePrefix + "?x", ""},     // the only "?" is the 28th byte
        {"http://a/?b", ""},            // the "?" lies inside the prefix
        {"short", ""},
        {"", ""},
        {std::string(27, 'x') + "\xD6\xD0?", "\xD6\xD0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MemberIdFromLink(Text(c.link)), Text(c.id)) << c.link;
}

TEST(PhotoStorePath, LowerCasesTheSexAndRefusesNamesOutsideTheStore) {
    const std::string dir = RunDirectory().str();
    EXPECT_EQ(PhotoStorePath(Text("F"), Text("123")), Text(dir + "/f/123.jpg"));
    EXPECT_EQ(PhotoStorePath(Text("m"), Text("")), Text(dir + "/m/.jpg"));
    for (const char* id : {"a/b", "a\\b", "a\nb", "\x7F"})
        EXPECT_EQ(PhotoStorePath(Text("f"), Text(id)), Text()) << id;
    EXPECT_EQ(PhotoStorePath(Text(""), Text("123")), Text());
    for (const char* sex : {"../f", ".", ".."})
        EXPECT_EQ(PhotoStorePath(Text(sex), Text("123")), Text()) << sex;
}

} // namespace
