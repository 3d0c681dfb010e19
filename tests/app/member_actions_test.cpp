#include <filesystem>
#include <string>
#include <vector>

#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "app/member_actions.h"
#include "app/picture_box.h"
#include "collect/photo_store.h"
#include "collect/site.h"
#include "gui_helpers.h"
#include "jpeg_fixture.h"
#include "platform/shell.h"
#include "values/files.h"

namespace {

// The window with the member actions wired as the program wires them, and a store of photos
// under identifiers no other test uses.
class MemberActionsTest : public testing::Test {
  protected:
    void SetUp() override {
        QObject::connect(&window_, &MainWindow::RowFocused, [this] { ShowMemberPhoto(window_); });
        QObject::connect(&window_, &MainWindow::OpenClicked,
                         [this] { OpenMemberProfile(window_); });
        window_.ShowAfterCreated();
    }
    void TearDown() override {
        for (const auto& file : files_)
            std::filesystem::remove(file);
        SetWebAddressOpener(nullptr);
    }
    // A listed member; `photo` is what the store holds for it (nothing when null).
    void AddMember(const std::string& id, const std::string& sex, const std::string* photo) {
        const int32_t row = window_.ListInsertRow(Text(id));
        window_.ListSetCellText(row, 2, Text(sex));
        const Text path = PhotoStorePath(Text(sex), Text(id));
        files_.push_back(path.str());
        if (photo) {
            ASSERT_TRUE(WriteFileBytes(path, Bytes(std::string_view(*photo))));
        }
    }
    QTableWidget* List() {
        return window_.findChild<QTableWidget*>(QString::fromUtf8("超级列表框1"));
    }
    const QImage& Shown() {
        return static_cast<PictureBox*>(window_.findChild<QWidget*>(QString::fromUtf8("图片框1")))
            ->image();
    }
    void ClickRow(int row) {
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {},
                          List()->visualRect(List()->model()->index(row, 0)).center());
        QApplication::processEvents();
    }
    static QImage Expected(const std::string& jpeg) {
        return DecodePicture(Bytes(std::string_view(jpeg)), QSize(110, 135));
    }

    MainWindow window_;
    std::vector<std::string> files_;
};

TEST_F(MemberActionsTest, TheSelectedMembersStoredPhotoIsShownOrTheBoxCleared) {
    const std::string large = EncodeJpeg({300, 400});
    const std::string small = EncodeJpeg({40, 50});
    const std::string empty;
    const std::string notAPicture = "<html>404</html>";
    AddMember("9100001", "f", &large);
    AddMember("9100002", "F", &small); // stored under f
    AddMember("9100003", "m", nullptr);
    AddMember("9100004", "m", &empty);
    AddMember("9100005", "f", &notAPicture);

    ClickRow(0);
    ASSERT_FALSE(Shown().isNull());
    EXPECT_EQ(Shown(), Expected(large)); // its top-left 110 x 135
    EXPECT_EQ(Shown().size(), QSize(110, 135));

    QTest::keyClick(List(), Qt::Key_Down);
    QApplication::processEvents();
    EXPECT_EQ(Shown(), Expected(small));
    EXPECT_EQ(Shown().size(), QSize(40, 50));

    // The current row again: no event, so a photo changed meanwhile is not read.
    ASSERT_TRUE(
        WriteFileBytes(PhotoStorePath(Text("f"), Text("9100002")), Bytes(std::string_view(large))));
    ClickRow(1);
    EXPECT_EQ(Shown(), Expected(small));

    for (int row : {2, 3, 4}) {
        ClickRow(0);
        ASSERT_FALSE(Shown().isNull());
        ClickRow(row);
        EXPECT_TRUE(Shown().isNull()) << "row " << row;
    }
}

TEST_F(MemberActionsTest, TheProfileButtonOpensPrefixAndIdentifierAsOneAddress) {
    std::vector<std::string> opened;
    SetWebAddressOpener([&](const std::string& address, OpenDone done) {
        opened.push_back(address);
        done(true);
    });
    auto* open = window_.findChild<QPushButton*>(QString::fromUtf8("按钮2"));
    const std::string prefix = ProfileAddressPrefix().str();
    ASSERT_EQ(prefix.size(), 27u);

    open->click();
    AddMember("9200001", "f", nullptr);
    AddMember("a b\"c';rm -rf x", "f", nullptr);
    ClickRow(0);
    open->click();
    ClickRow(1);
    open->click();
    EXPECT_EQ(opened,
              (std::vector<std::string>{prefix, prefix + "9200001", prefix + "a b\"c';rm -rf x"}));
}

} // namespace
