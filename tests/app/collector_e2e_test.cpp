// The whole program against the demo site: the real window offscreen, a click on 按钮1, the
// site on loopback, photos on disk, the completion message, then a member's photo shown.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "app/gui_helpers.h"
#include "app/main_window.h"
#include "app/picture_box.h"
#include "app/program_main.h"
#include "collect/photo_store.h"
#include "collect/site.h"
#include "platform/codepage.h"
#include "support/demo_site_process.h"
#include "values/files.h"

namespace {

using demo_site::Row;

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<Row> ListedRows(MainWindow& window) {
    std::vector<Row> rows;
    for (int32_t r = 0; r < window.ListRowCount(); ++r) {
        auto cell = [&](int c) { return GbkToUtf8(window.ListGetCellText(r, c).view()); };
        rows.push_back({cell(0), cell(1), cell(2), cell(3)});
    }
    return rows;
}

QString CompletionText() {
    return QString::fromUtf8("查找完成");
}

bool CompletionShown() {
    QMessageBox* box = OpenMessageBox();
    return box && box->text() == CompletionText();
}

TEST(CollectorEndToEnd, ARunListsThePagesMembersStoresTheirPhotosAndShowsThem) {
    const std::string log = std::filesystem::temp_directory_path() /
                            ("velmora-e2e-" + std::to_string(getpid()) + ".log");
    // Page 2 has its markers out of order; pages above 4 have no results phrase.
    demo_site::SiteProcess site({"--pages", "4", "--members", "6", "--seed", "4242", "--log", log,
                                 "--fault", "markers-swapped@page=2"});
    ASSERT_GT(site.port(), 0);
    const std::vector<Row> expected = site.Expected();
    ASSERT_GT(expected.size(), 10u);
    SetSiteAddressesForTesting(Text("127.0.0.1:" + std::to_string(site.port())),
                               Text("http://profiles.example/ab/"));
    std::vector<std::string> stored;
    for (const Row& row : expected)
        stored.push_back(PhotoStorePath(Text(row.sex), Text(row.id)).str());

    static int argc = 1;
    static char name[] = "collector_e2e_test";
    static char* argv[] = {name, nullptr};
    int code = ProgramMain(argc, argv, [&](MainWindow& window) {
        auto* start = window.findChild<QPushButton*>(QString::fromUtf8("按钮1"));
        auto* label = window.findChild<QLabel*>(QString::fromUtf8("标签1"));
        auto* list = window.findChild<QTableWidget*>(QString::fromUtf8("超级列表框1"));
        auto* picture =
            static_cast<PictureBox*>(window.findChild<QWidget*>(QString::fromUtf8("图片框1")));

        for (int run = 1; run <= 2; ++run) {
            const QString labelBefore = label->text();
            start->click();
            // The click empties the list at once; the label waits for the run's first row.
            EXPECT_EQ(window.ListRowCount(), 0);
            EXPECT_EQ(label->text(), labelBefore);
            ASSERT_TRUE(PumpUntil(CompletionShown)) << "run " << run;
            EXPECT_FALSE(start->isEnabled()) << "disabled while the message is shown";
            EXPECT_EQ(ListedRows(window), expected);
            EXPECT_EQ(label->text(), QString::fromUtf8("当前共采集：%1条").arg(expected.size()));
            OpenMessageBox()->buttons().first()->click();
            EXPECT_TRUE(PumpUntil([&] { return start->isEnabled(); }));
        }

        // Selecting a row shows that member's stored photo.
        const int row = 3;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, 0)).center());
        ASSERT_TRUE(PumpUntil([&] { return !picture->image().isNull(); }));
        EXPECT_EQ(picture->image(),
                  DecodePicture(ReadFileBytes(Text(stored[row])), QSize(110, 135)));
        window.close();
    });
    EXPECT_EQ(code, 0);

    // Exactly 100 page requests per run, in order, each page's photos right after it.
    std::vector<std::string> pages;
    size_t photos = 0;
    for (const std::string& line : ReadLines(log)) {
        if (line.rfind("GET /result.php", 0) == 0)
            pages.push_back(line);
        else if (line.find("/photo/") != std::string::npos)
            ++photos;
    }
    ASSERT_EQ(pages.size(), 200u);
    for (int p = 1; p <= 100; ++p) {
        EXPECT_EQ(pages[p - 1], "GET " + demo_site::SearchPath + std::to_string(p));
        EXPECT_EQ(pages[p + 99], pages[p - 1]);
    }
    EXPECT_EQ(photos, 2 * expected.size());

    httplib::Client client = site.Client();
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::string address = expected[i].photo;
        auto served = client.Get(address.substr(address.find("/photo/")));
        ASSERT_TRUE(served);
        EXPECT_EQ(ReadFileBytes(Text(stored[i])).str(), served->body) << stored[i];
    }
    for (const auto& file : stored)
        std::filesystem::remove(file);
    std::filesystem::remove(log);
}

} // namespace
