#include <gtest/gtest.h>

#include <filesystem>

#include "collect/member_block.h"
#include "support/fixture_site.h"
#include "support/recording_controls.h"
#include "values/files.h"

namespace {

// This test program lives in a directory without the m/ and f/ store directories.
TEST(MissingStore, RowsAreListedAndNoFileIsWritten) {
    FixtureSite site;
    site.Serve("/photo/1.jpg", "jpeg");
    ObjectRef regex;
    ASSERT_TRUE(CreateAutomationObject(regex, "VBScript.RegExp"));
    RecordingControls window;
    ParseMemberBlock(
        window, regex,
        Text("<a href=\"http://127.0.0.1:8600/home/91001?x\" onclick=\"go({'first_serv':"
             "'normal','uid':91001,'sex':'f'})\" target=\"_blank\"><img src=\"" +
             site.Base() + "/photo/1.jpg\" alt=\"n\">"));
    ASSERT_EQ(window.rows.size(), 1u);
    EXPECT_EQ(site.Requests().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(RunDirectory().str() + "/f"));
}

} // namespace
