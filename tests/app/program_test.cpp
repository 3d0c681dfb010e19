// The program's life cycle, driven through ProgramMain itself: every test runs in a process of
// its own, and the ends that exit the process run in death-test children.

#include <gtest/gtest.h>

#include <cstdio>
#include <new>
#include <random>
#include <thread>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "app/gui_helpers.h"
#include "app/main_window.h"
#include "app/program_main.h"
#include "app/qt_text.h"
#include "collect/site.h"
#include "platform/lifecycle.h"
#include "platform/regexp.h"
#include "support/demo_site_process.h"

namespace {

// Message boxes as the program showed them, closed by the watcher below.
struct SeenBox {
    QString caption;
    QString text;
    bool windowVisible;
};
std::vector<SeenBox> seenBoxes;
bool answerBoxes = false;

// From the moment the application exists, answers every box the program shows with its first
// button, noting what it showed and whether the main window was already visible.
void WatchForBoxes() {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [] {
        if (!answerBoxes)
            return;
        QMessageBox* box = OpenMessageBox();
        if (!box)
            return;
        bool windowVisible = false;
        for (QWidget* widget : QApplication::topLevelWidgets())
            windowVisible |= qobject_cast<MainWindow*>(widget) && widget->isVisible();
        seenBoxes.push_back({box->windowTitle(), box->text(), windowVisible});
        // Seen from a child process only through its error output.
        fprintf(stderr, "box: %s\n", box->text().toUtf8().constData());
        box->buttons().first()->click();
    });
    timer->start(10);
}
Q_COREAPP_STARTUP_FUNCTION(WatchForBoxes)

int exitRoutineRuns = 0;
void CountExitRoutine() {
    ++exitRoutineRuns;
    fprintf(stderr, "exit routine #%d\n", exitRoutineRuns);
}

int RunProgram(const std::function<void(MainWindow&)>& afterShown) {
    static int argc = 1;
    static char name[] = "program_test";
    static char* argv[] = {name, nullptr};
    SetExitRoutineObserverForTesting(CountExitRoutine);
    return ProgramMain(argc, argv, afterShown);
}

QPushButton* Button(MainWindow& window, const char* name) {
    return window.findChild<QPushButton*>(QString::fromUtf8(name));
}

TEST(StartUp, AFailedRegexObjectIsReportedBeforeTheWindowAppears) {
    FailAutomationCreationForTesting(true);
    answerBoxes = true;
    bool visibleAfterBox = false;
    int code = RunProgram([&](MainWindow& window) {
        visibleAfterBox = window.isVisible();
        window.close();
    });
    EXPECT_EQ(code, 0);
    ASSERT_EQ(seenBoxes.size(), 1u);
    EXPECT_EQ(seenBoxes[0].text, QString::fromUtf8("正则表达式创建失败！"));
    EXPECT_EQ(seenBoxes[0].caption, QString::fromUtf8("信息："));
    EXPECT_FALSE(seenBoxes[0].windowVisible);
    EXPECT_TRUE(visibleAfterBox);
    EXPECT_EQ(exitRoutineRuns, 1);
}

TEST(StartUp, WithoutTheObjectARunListsNothingAndStillCompletes) {
    demo_site::SiteProcess site({"--pages", "2", "--members", "3"});
    ASSERT_GT(site.port(), 0);
    SetSiteAddressesForTesting(Text("127.0.0.1:" + std::to_string(site.port())),
                               Text("http://profiles.example/ab/"));
    FailAutomationCreationForTesting(true);
    answerBoxes = true;
    int rows = -1;
    RunProgram([&](MainWindow& window) {
        Button(window, "按钮1")->click();
        EXPECT_TRUE(PumpUntil([] { return seenBoxes.size() == 2; }));
        rows = window.ListRowCount();
        window.close();
    });
    ASSERT_EQ(seenBoxes.size(), 2u);
    EXPECT_EQ(seenBoxes[1].text, QString::fromUtf8("查找完成"));
    EXPECT_EQ(rows, 0);
}

TEST(EndSequence, ClosingTheWindowReturnsZeroAfterOneExitRoutine) {
    bool created = false;
    int code = RunProgram([&](MainWindow& window) {
        created = true;
        window.close();
    });
    EXPECT_TRUE(created);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(exitRoutineRuns, 1);
    EXPECT_TRUE(ProcessIsEnding());
}

// The box names the error; then the exit routine runs once and the process ends with 255.
const char* const fatalEnd = "box: disk on fire.*exit routine #1[^#]*$";

TEST(FatalErrorDeathTest, OnTheUserInterfaceThread) {
    EXPECT_EXIT(
        {
            answerBoxes = true;
            RunProgram([](MainWindow&) { FatalError("disk on fire"); });
            std::exit(0);
        },
        testing::ExitedWithCode(255), fatalEnd);
}

TEST(FatalErrorDeathTest, OnAnotherThread) {
    EXPECT_EXIT(
        {
            answerBoxes = true;
            RunProgram(
                [](MainWindow&) { std::thread([] { FatalError("disk on fire"); }).detach(); });
            std::exit(0);
        },
        testing::ExitedWithCode(255), fatalEnd);
}

TEST(FatalErrorDeathTest, OutOfMemoryEndsTheSameWay) {
    EXPECT_EXIT(
        {
            answerBoxes = true;
            // What operator new does when an allocation fails.
            RunProgram([](MainWindow&) { std::get_new_handler()(); });
            std::exit(0);
        },
        testing::ExitedWithCode(255), "box: .*exit routine #1[^#]*$");
}

TEST(EndSequenceDeathTest, ClosingTheWindowDuringARunEndsAtOnceWithZero) {
    demo_site::SiteProcess site({"--pages", "40", "--members", "20", "--seed", "7", "--fault",
                                 "stall@page=30", "--latency-ms", "2"});
    ASSERT_GT(site.port(), 0);
    std::mt19937 random(20261211);
    for (int round = 0; round < 12; ++round) {
        const int delay = std::uniform_int_distribution<int>(0, 400)(random);
        EXPECT_EXIT(
            {
                SetSiteAddressesForTesting(Text("127.0.0.1:" + std::to_string(site.port())),
                                           Text("http://profiles.example/ab/"));
                int code = RunProgram([delay](MainWindow& window) {
                    Button(window, "按钮1")->click();
                    QTimer::singleShot(delay, &window, [&window] { window.close(); });
                });
                std::exit(code);
            },
            testing::ExitedWithCode(0), "exit routine #1[^#]*$")
            << "closed " << delay << " ms after the click";
    }
}

} // namespace
