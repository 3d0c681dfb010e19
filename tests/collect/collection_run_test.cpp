#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "collect/collection_run.h"
#include "collect/site.h"
#include "support/fixture_site.h"
#include "support/recording_controls.h"
#include "values/files.h"

namespace {

const std::string query = "/result.php?t=0&y=0&m=1&s=0&re=1&d=&p=";

std::string Entry(const std::string& id, const std::string& photo) {
    return "<a href=\"http://127.0.0.1:8600/home/" + id +
           "?f=1\" onclick=\"go({'first_serv':"
           "'normal','uid':55555,'sex':'m'})\" target=\"_blank\"><img src=\"" +
           photo + "\" alt=\"n" + id + "\">";
}

class CollectionRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(CreateAutomationObject(regex_, "VBScript.RegExp"));
        SetSiteAddressesForTesting(Text(site_.Host()), Text("http://127.0.0.1:8600/home/"));
    }
    void TearDown() override {
        for (const auto& id : ids_)
            std::filesystem::remove(RunDirectory().str() + "/m/" + id + ".jpg");
    }
    std::string Member(const std::string& id) {
        ids_.push_back(id);
        site_.Serve("/photo/" + id + ".jpg", "jpeg " + id);
        return Entry(id, site_.Base() + "/photo/" + id + ".jpg");
    }
    std::vector<std::string> ListedIds() {
        std::vector<std::string> ids;
        for (const auto& row : window_.rows)
            ids.push_back(row[0].str());
        return ids;
    }

    FixtureSite site_;
    RecordingControls window_;
    ObjectRef regex_;
    std::vector<std::string> ids_;
};

const std::string phrase = "共 3 人符合您的搜索条件";
const std::string start = "<!-- 普通会员 -->";
const std::string end = "//点击触发函数";

TEST_F(CollectionRunTest, WalksAHundredPagesAndListsOnlyTheBlocksOfResultPages) {
    site_.Serve(query + "1", "<html>" + phrase + start + Member("81001") + Member("81002") +
                                 "<script>" + end + "</script>" + Member("81009"));
    // No phrase: skipped although it holds an entry between the markers.
    site_.Serve(query + "2", start + Member("81003") + end);
    // The first end marker lies before the start marker: an empty block.
    site_.Serve(query + "3", phrase + end + start + Member("81004") + end);
    // No start marker.
    site_.Serve(query + "4", phrase + Member("81005") + end);
    site_.Serve(query + "100", phrase + "\n" + start + Member("81006") + end);
    // An error body still counts as the page it is.
    site_.Serve(query + "50", phrase + start + Member("81007") + end, 500);

    CollectionRun(window_, regex_);

    std::vector<std::string> pages;
    for (const auto& target : site_.Requests())
        if (target.rfind("/result.php", 0) == 0)
            pages.push_back(target);
    ASSERT_EQ(pages.size(), 100u);
    for (int p = 1; p <= 100; ++p)
        EXPECT_EQ(pages[p - 1], query + std::to_string(p));
    EXPECT_EQ(ListedIds(), (std::vector<std::string>{"81001", "81002", "81007", "81006"}));
    EXPECT_EQ(ReadFileBytes(Text(RunDirectory().str() + "/m/81006.jpg")), Bytes("jpeg 81006"));
    ASSERT_GE(window_.calls.size(), 2u);
    EXPECT_EQ(window_.calls[window_.calls.size() - 2],
              "ShowMessage " + GbkText("查找完成").str() + " 0");
    EXPECT_EQ(window_.calls.back(), "ButtonSetDisabled 0");
}

TEST_F(CollectionRunTest, ASiteThatAnswersNothingStillEndsWithTheMessage) {
    CollectionRun(window_, regex_);
    EXPECT_EQ(site_.Requests().size(), 100u);
    EXPECT_EQ(window_.calls,
              (std::vector<std::string>{"ShowMessage " + GbkText("查找完成").str() + " 0",
                                        "ButtonSetDisabled 0"}));
}

TEST_F(CollectionRunTest, TheClickDisablesClearsAndRunsOneWorker) {
    window_.ListInsertRow(Text("old"));
    window_.calls.clear();
    std::thread worker;
    StartCollectionRun(window_, regex_, worker);
    ASSERT_TRUE(worker.joinable());
    worker.join();
    ASSERT_GE(window_.calls.size(), 2u);
    EXPECT_EQ(window_.calls[0], "ButtonSetDisabled 1");
    EXPECT_EQ(window_.calls[1], "ListClear");
    EXPECT_TRUE(window_.rows.empty());
    EXPECT_EQ(window_.calls.back(), "ButtonSetDisabled 0");
}

} // namespace
