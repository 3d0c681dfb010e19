// One operation on a control from a worker, handed over to the user-interface thread and waited
// for, against the least such a hand-over can cost: the same round trip between two threads
// through a mutex and a condition variable alone. A collection run waits once per member.

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <QApplication>
#include <QEventLoop>
#include <benchmark/benchmark.h>

#include "app/main_window.h"

namespace {

MainWindow* window = nullptr;

void ControlCall(benchmark::State& state) {
    QEventLoop loop;
    // The benchmark's loop runs on the worker, as a run's calls do; this thread serves them.
    std::thread worker([&] {
        for (auto _ : state)
            benchmark::DoNotOptimize(window->ListGetCellText(0, 0));
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
}
BENCHMARK(ControlCall)->Unit(benchmark::kMicrosecond)->UseRealTime();

void PlainHandOver(benchmark::State& state) {
    std::mutex mutex;
    std::condition_variable changed;
    bool asked = false, answered = false, stop = false;
    int served = 0;
    std::thread server([&] {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return asked || stop; });
            if (stop)
                return;
            asked = false;
            ++served;
            answered = true;
            changed.notify_all();
        }
    });
    for (auto _ : state) {
        std::unique_lock lock(mutex);
        asked = true;
        changed.notify_all();
        changed.wait(lock, [&] { return answered; });
        answered = false;
    }
    {
        std::lock_guard lock(mutex);
        stop = true;
    }
    changed.notify_all();
    server.join();
    benchmark::DoNotOptimize(served);
}
BENCHMARK(PlainHandOver)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    MainWindow mainWindow;
    mainWindow.ShowAfterCreated();
    window = &mainWindow;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
