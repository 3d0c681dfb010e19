#include <atomic>
#include <set>
#include <thread>

#include <QAbstractButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "gui_helpers.h"
#include "platform/codepage.h"

namespace {

using Button = QMessageBox::StandardButton;

struct BoxCase {
    const char* name;
    int32_t type;
    std::set<Button> buttons;
    QMessageBox::Icon icon;
    Button press; // QMessageBox::NoButton: close the box with Escape
    int32_t result;
};

const BoxCase kCases[] = {
    {"OkOnly", 0, {QMessageBox::Ok}, QMessageBox::NoIcon, QMessageBox::Ok, 0},
    {"OkOnlyClosed", 0x40, {QMessageBox::Ok}, QMessageBox::Information, QMessageBox::NoButton, 0},
    {"OkCancel",
     1,
     {QMessageBox::Ok, QMessageBox::Cancel},
     QMessageBox::NoIcon,
     QMessageBox::Cancel,
     1},
    {"OkCancelClosed",
     0x31,
     {QMessageBox::Ok, QMessageBox::Cancel},
     QMessageBox::Warning,
     QMessageBox::NoButton,
     1},
    {"AbortRetryIgnore",
     0x12,
     {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore},
     QMessageBox::Critical,
     QMessageBox::Ignore,
     4},
    {"YesNoCancel",
     0x23,
     {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel},
     QMessageBox::Question,
     QMessageBox::Yes,
     5},
    {"YesNo", 4, {QMessageBox::Yes, QMessageBox::No}, QMessageBox::NoIcon, QMessageBox::No, 6},
    {"RetryCancel",
     5,
     {QMessageBox::Retry, QMessageBox::Cancel},
     QMessageBox::NoIcon,
     QMessageBox::Retry,
     3},
};

class ShowMessageTest : public testing::TestWithParam<std::tuple<BoxCase, bool>> {
  protected:
    // Checks the open box against the case and closes it as the case says.
    void Answer(QMessageBox* box, const BoxCase& c, bool fromWorker) {
        std::set<Button> buttons;
        for (QAbstractButton* b : box->buttons())
            buttons.insert(box->standardButton(b));
        EXPECT_EQ(buttons, c.buttons);
        EXPECT_EQ(box->icon(), c.icon);
        EXPECT_EQ(box->text(), QString::fromUtf16(u"采集完成 & 退出"));
        EXPECT_EQ(box->windowTitle(), QString::fromUtf16(u"信息："));
        // From the worker the window stays usable; on the user-interface thread it is modal.
        EXPECT_EQ(box->windowModality(), fromWorker ? Qt::NonModal : Qt::ApplicationModal);
        if (c.press == QMessageBox::NoButton)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->button(c.press)->click();
    }

    MainWindow window_;
    const Text text_ = Text(Utf8ToGbk("采集完成 & 退出"));
};

TEST_P(ShowMessageTest, ResultNamesTheClosingButton) {
    const auto& [c, fromWorker] = GetParam();
    window_.ShowAfterCreated();
    if (fromWorker) {
        std::atomic<int32_t> result{-100};
        std::thread worker([&] { result = window_.ShowMessage(text_, c.type); });
        QMessageBox* box = nullptr;
        ASSERT_TRUE(PumpUntil([&] { return (box = OpenMessageBox()) != nullptr; }));
        EXPECT_EQ(result.load(), -100) << "the worker did not wait for the box";
        Answer(box, c, true);
        EXPECT_TRUE(PumpUntil([&] { return result.load() != -100; }));
        worker.join();
        EXPECT_EQ(result.load(), c.result);
    } else {
        QTimer answerer;
        bool answered = false;
        QObject::connect(&answerer, &QTimer::timeout, [&] {
            if (QMessageBox* box = OpenMessageBox(); box && !answered) {
                answered = true;
                Answer(box, c, false);
            }
        });
        answerer.start(10);
        QTimer::singleShot(kPatience, &answerer, [] {
            if (QMessageBox* box = OpenMessageBox())
                box->done(0); // give up rather than hang
        });
        EXPECT_EQ(window_.ShowMessage(text_, c.type), c.result);
        EXPECT_TRUE(answered);
    }
    EXPECT_TRUE(PumpUntil([] { return OpenMessageBox() == nullptr; }));
}

INSTANTIATE_TEST_SUITE_P(Types, ShowMessageTest,
                         testing::Combine(testing::ValuesIn(kCases), testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "FromWorker" : "FromUiThread");
                         });

TEST(ShowMessage, GivenCaptionReplacesTheDefault) {
    MainWindow window;
    std::atomic<int32_t> result{-100};
    std::thread worker([&] { result = window.ShowMessage(Text("x"), 0, Text(Utf8ToGbk("标题"))); });
    QMessageBox* box = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (box = OpenMessageBox()) != nullptr; }));
    EXPECT_EQ(box->windowTitle(), QString::fromUtf16(u"标题"));
    box->button(QMessageBox::Ok)->click();
    EXPECT_TRUE(PumpUntil([&] { return result.load() != -100; }));
    worker.join();
    EXPECT_EQ(result.load(), 0);
}

} // namespace
