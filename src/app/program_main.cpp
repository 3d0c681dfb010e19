#include "app/program_main.h"

#include <atomic>
#include <memory>
#include <new>
#include <thread>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "app/main_window.h"
#include "app/member_actions.h"
#include "app/qt_text.h"
#include "app/ui_invoker.h"
#include "collect/collection_run.h"
#include "platform/lifecycle.h"
#include "platform/regexp.h"

namespace {

// Process-wide state of the life cycle; all of it is touched on the user-interface thread only,
// except where a comment says otherwise.
std::unique_ptr<ObjectRef> regexSlot;
std::atomic<bool> exitRoutineRegistered{false}; // read by a fatal error on any thread
void (*exitRoutineObserver)() = nullptr;
std::thread worker;
std::thread::id uiThread;
MainWindow* mainWindow = nullptr;

// The exit routine: runs at most once, however the process ends.
void ReleaseRegexObject() {
    if (!exitRoutineRegistered.exchange(false))
        return;
    if (exitRoutineObserver)
        exitRoutineObserver();
    regexSlot.reset();
}

// The first part of every end: nothing of the worker may touch the window, the object or a
// transfer after this. The worker returns promptly once every call it makes gives up, so it is
// joined, unless it is the thread whose fatal error is being handled.
void StopEverything(std::thread::id failedThread = {}) {
    MarkProcessEnding();
    CancelUiCalls();
    if (worker.joinable() && worker.get_id() != failedThread)
        worker.join();
    ReleaseRegexObject();
}

void OnMainWindowCreated() {
    if (!CreateAutomationObject(*regexSlot, "VBScript.RegExp"))
        mainWindow->ShowMessage(GbkText("正则表达式创建失败！"));
}

void ShowFatalBox(std::string_view message) {
    QMessageBox box(QMessageBox::Critical, ToQString(GbkText("错误")), ToQString(Text(message)),
                    QMessageBox::Ok);
    box.exec();
}

// A fatal error on any thread: the box, then the end sequence on the user-interface thread with
// exit status 255. A second fatal error while the first is handled ends the process at once.
[[noreturn]] void OnFatalError(std::string_view message) {
    static std::atomic<bool> handling{false};
    if (handling.exchange(true) || !qApp)
        _exit(255);
    const std::string copy(message);
    if (std::this_thread::get_id() == uiThread) {
        ShowFatalBox(copy);
        // A worker waiting for the task that failed can never finish: it is left to the exit.
        StopEverything(InsideUiCall() ? worker.get_id() : std::thread::id());
    } else {
        RunOnUiThread([&copy, failed = std::this_thread::get_id()] {
            ShowFatalBox(copy);
            StopEverything(failed);
            _exit(255);
        });
    }
    _exit(255);
}

// Room for the out-of-memory box, given back when an allocation fails.
std::unique_ptr<char[]> memoryReserve;

void OnOutOfMemory() {
    memoryReserve.reset();
    std::set_new_handler(nullptr);
    FatalError(GbkText("内存不足，程序无法继续运行。").view());
}

// Closing the main window ends the loop even while a message box of a run is still open.
class CloseWatcher : public QObject {
  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close)
            QCoreApplication::quit();
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void SetExitRoutineObserverForTesting(void (*observer)()) {
    exitRoutineObserver = observer;
}

int ProgramMain(int argc, char** argv, const std::function<void(MainWindow&)>& afterShown) {
    uiThread = std::this_thread::get_id();
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    memoryReserve = std::make_unique<char[]>(1 << 20);
    std::set_new_handler(OnOutOfMemory);
    SetFatalErrorHandler(OnFatalError);

    regexSlot = std::make_unique<ObjectRef>();
    exitRoutineRegistered = true;

    MainWindow window;
    mainWindow = &window;
    SetEventPump([] {
        if (OnUiThread())
            QCoreApplication::processEvents();
    });
    QObject::connect(&window, &MainWindow::WindowCreated, &window, OnMainWindowCreated);
    QObject::connect(&window, &MainWindow::StartClicked, &window,
                     [&window] { StartCollectionRun(window, *regexSlot, worker); });
    QObject::connect(&window, &MainWindow::OpenClicked, &window,
                     [&window] { OpenMemberProfile(window); });
    QObject::connect(&window, &MainWindow::RowFocused, &window,
                     [&window] { ShowMemberPhoto(window); });
    CloseWatcher closeWatcher;
    window.installEventFilter(&closeWatcher);
    window.ShowAfterCreated();

    if (afterShown)
        QTimer::singleShot(0, &window, [&window, &afterShown] { afterShown(window); });
    if (window.isVisible())
        QApplication::exec();

    StopEverything();
    SetEventPump(nullptr);
    // Boxes a run left open have no owner; they go before the application does.
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox*>(widget))
            delete widget;
    mainWindow = nullptr;
    return 0;
}
