// One whole collection run of the real program against a site on loopback, timed from the click on
// the start button to the moment the completion message shows. Meanwhile a 1 ms timer on the
// user-interface thread records the longest gap between its firings: the longest stall of the
// event loop. Usage: bench_collection_run HOST:PORT. Prints one "name value" line per figure.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "app/main_window.h"
#include "app/program_main.h"
#include "collect/site.h"

namespace {

using Clock = std::chrono::steady_clock;

// A run that has not finished by then is reported as failed rather than waited for.
constexpr std::chrono::seconds kPatience{300};

QMessageBox* VisibleMessageBox() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    }
    return nullptr;
}

long long Micros(Clock::duration d) {
    return std::chrono::duration_cast<std::chrono::microseconds>(d).count();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s HOST:PORT\n", argv[0]);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    SetSiteAddressesForTesting(Text(argv[1]), Text("http://profiles.example/ab/"));

    Clock::time_point clicked, shown;
    Clock::duration longestGap{};
    bool completed = false;
    int rows = -1;
    int programArgc = 1;
    char* programArgv[] = {argv[0], nullptr};
    ProgramMain(programArgc, programArgv, [&](MainWindow& window) {
        auto* probe = new QTimer(&window);
        probe->setTimerType(Qt::PreciseTimer);
        probe->setInterval(1);
        QObject::connect(probe, &QTimer::timeout, &window,
                         [&, probe, last = Clock::now()]() mutable {
                             const Clock::time_point now = Clock::now();
                             longestGap = std::max(longestGap, now - last);
                             last = now;
                             QMessageBox* box = VisibleMessageBox();
                             if (!box && now - clicked < kPatience)
                                 return;
                             shown = now;
                             probe->stop();
                             rows = window.ListRowCount();
                             if (box) {
                                 completed = box->text() == QString::fromUtf8("查找完成");
                                 box->buttons().first()->click();
                             }
                             window.close();
                         });
        clicked = Clock::now();
        window.findChild<QPushButton*>(QString::fromUtf8("按钮1"))->click();
        probe->start();
    });

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("run_us %lld\n", Micros(shown - clicked));
    std::printf("stall_us %lld\n", Micros(longestGap));
    std::printf("rows %d\n", rows);
    std::printf("peak_rss_kb %ld\n", usage.ru_maxrss);
    return completed ? 0 : 1;
}
