#include "app/ui_invoker.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <QCoreApplication>
#include <QEvent>

namespace {

const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

struct Call {
    enum class State { Queued, Running, Done, Dropped };
    const std::function<void()>* task;
    State state = State::Queued;
};

struct HandOver {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Call*> queue;
    UiCallPump* pump = nullptr;
    std::thread::id uiThread;
    bool wakePosted = false;
    bool cancelled = false;

    // Callers' calls never run once dropped; they see it and return.
    void DropQueued() {
        for (Call* call : queue)
            call->state = Call::State::Dropped;
        queue.clear();
        changed.notify_all();
    }
};

// Never destroyed: a worker may still be calling while the process runs its exit handlers.
HandOver& TheHandOver() {
    static HandOver* handOver = new HandOver;
    return *handOver;
}

} // namespace

UiCallPump::UiCallPump() {
    HandOver& h = TheHandOver();
    std::lock_guard lock(h.mutex);
    h.pump = this;
    h.uiThread = std::this_thread::get_id();
}

UiCallPump::~UiCallPump() {
    HandOver& h = TheHandOver();
    std::lock_guard lock(h.mutex);
    if (h.pump != this)
        return;
    h.DropQueued();
    h.pump = nullptr;
    h.wakePosted = false;
}

void UiCallPump::customEvent(QEvent* event) {
    if (event->type() != kWakeEvent)
        return;
    HandOver& h = TheHandOver();
    std::unique_lock lock(h.mutex);
    h.wakePosted = false;
    // One call at a time, so a call that arrives meanwhile posts its own wake-up.
    while (!h.queue.empty()) {
        Call* call = h.queue.front();
        h.queue.pop_front();
        call->state = Call::State::Running;
        lock.unlock();
        (*call->task)();
        lock.lock();
        call->state = Call::State::Done;
        h.changed.notify_all();
    }
}

bool RunOnUiThread(const std::function<void()>& task) {
    HandOver& h = TheHandOver();
    std::unique_lock lock(h.mutex);
    if (!h.pump)
        return false;
    if (std::this_thread::get_id() == h.uiThread) {
        lock.unlock();
        task();
        return true;
    }
    if (h.cancelled)
        return false;
    Call call{&task};
    h.queue.push_back(&call);
    if (!h.wakePosted) {
        h.wakePosted = true;
        // Under the lock: the pump cannot be destroyed meanwhile.
        QCoreApplication::postEvent(h.pump, new QEvent(kWakeEvent));
    }
    // A running call is waited for even when cancelled: its task refers to this frame.
    h.changed.wait(lock, [&] {
        return call.state == Call::State::Done || call.state == Call::State::Dropped;
    });
    return call.state == Call::State::Done;
}

bool OnUiThread() {
    HandOver& h = TheHandOver();
    std::lock_guard lock(h.mutex);
    return h.pump && std::this_thread::get_id() == h.uiThread;
}

void CancelUiCalls() {
    HandOver& h = TheHandOver();
    std::lock_guard lock(h.mutex);
    h.cancelled = true;
    h.DropQueued();
}

void UiAnswer::Deliver(int32_t value) {
    HandOver& h = TheHandOver();
    std::lock_guard lock(h.mutex);
    value_ = value;
    h.changed.notify_all();
}

std::optional<int32_t> UiAnswer::Wait() {
    HandOver& h = TheHandOver();
    std::unique_lock lock(h.mutex);
    h.changed.wait(lock, [&] { return value_.has_value() || h.cancelled; });
    return value_;
}
