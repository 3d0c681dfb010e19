#pragma once
// Bounded waits for widget tests: events keep being processed while the test waits.

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include <QApplication>
#include <QMessageBox>
#include <gtest/gtest.h>

constexpr std::chrono::seconds kPatience{10};

// Processes events until `ready` holds or the patience runs out; returns `ready()`.
inline bool PumpUntil(const std::function<bool()>& ready) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!ready() && std::chrono::steady_clock::now() < deadline)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    return ready();
}

// Runs `work` on a second thread while this, the user-interface thread, keeps serving it.
inline void RunOnWorker(const std::function<void()>& work) {
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        work();
        finished = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return finished.load(); })) << "the worker did not finish";
    worker.join();
    // Changes the worker queued without waiting are carried out before the test looks.
    QApplication::processEvents();
}

// The visible message box, once one is open.
inline QMessageBox* OpenMessageBox() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    }
    return nullptr;
}
