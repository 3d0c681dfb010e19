#pragma once
// Hands work from any thread to the user-interface thread and waits for it, as SendMessage does.
// A plain mutex and condition variable carry the hand-over; the Qt event loop is woken once
// whenever the queue goes from empty to non-empty. Unlike a blocking queued connection, every
// wait can be cancelled for shutdown.

#include <cstdint>
#include <functional>
#include <optional>

#include <QObject>

// The user-interface thread's end of the hand-over. While one exists, calls from other threads
// are carried out by the event loop of the thread that created it; it is created once, with the
// main window.
class UiCallPump : public QObject {
  public:
    UiCallPump();
    ~UiCallPump() override;
    UiCallPump(const UiCallPump&) = delete;
    UiCallPump& operator=(const UiCallPump&) = delete;

  protected:
    void customEvent(QEvent* event) override;
};

// Runs `task` on the user-interface thread and returns once it has run; on that thread itself it
// runs at once. Returns false, without running the task, when calls have been cancelled or no
// pump exists.
bool RunOnUiThread(const std::function<void()>& task);

// Queues `task` behind every earlier call and returns without waiting; on the user-interface
// thread it runs at once. A posted task is dropped, unrun, when calls are cancelled. For changes
// whose caller needs no result: the order of all calls is kept either way.
void PostToUiThread(std::function<void()> task);

// True while the user-interface thread runs a task whose caller waits for it.
bool InsideUiCall();

// True on the thread of the pump.
bool OnUiThread();

// Called by the end sequence after MarkProcessEnding(): wakes every waiting caller (their calls
// return false) and makes later calls from other threads return false at once. Calls on the
// user-interface thread still run.
void CancelUiCalls();

// A value that the user-interface thread delivers later to a caller waiting on another thread,
// such as the button that closed a message box.
class UiAnswer {
  public:
    void Deliver(int32_t value);
    // The delivered value, or nothing once calls have been cancelled.
    std::optional<int32_t> Wait();

  private:
    std::optional<int32_t> value_;
};
