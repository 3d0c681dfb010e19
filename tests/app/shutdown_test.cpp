#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "app/main_window.h"
#include "app/ui_invoker.h"
#include "gui_helpers.h"
#include "platform/lifecycle.h"

namespace {

// Cancelling cannot be undone, so this is a program of its own.
TEST(Shutdown, CancelWakesWaitersAndLaterCallsReturnAtOnce) {
    MainWindow window;
    window.ShowAfterCreated();
    ASSERT_EQ(window.ListInsertRow(Text("kept")), 0);

    // The box stays open: only the cancel can release the worker.
    std::atomic<int> step{0};
    std::atomic<int32_t> inserted{-100};
    std::atomic<int32_t> answer{-100};
    std::thread worker([&] {
        answer = window.ShowMessage(Text("open at shutdown"));
        step = 1;
        inserted = window.ListInsertRow(Text("late"));
        step = 2;
    });
    ASSERT_TRUE(PumpUntil([] { return OpenMessageBox() != nullptr; }));
    EXPECT_EQ(step.load(), 0);

    MarkProcessEnding();
    CancelUiCalls();
    worker.join(); // returns without the user-interface thread's help
    EXPECT_EQ(answer.load(), -1);
    EXPECT_EQ(inserted.load(), -1);

    RunOnWorker([&] {
        EXPECT_EQ(window.ListRowCount(), 0);
        EXPECT_EQ(window.ListGetCellText(0, 0), Text());
        EXPECT_EQ(window.ListInsertRow(Text("later")), -1);
        EXPECT_EQ(window.ShowMessage(Text("later")), -1);
    });
    EXPECT_EQ(window.ListRowCount(), 1) << "only the user-interface thread still acts";
    delete OpenMessageBox();
}

} // namespace
