#include "app/ui_invoker.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <QCoreApplication>
#include <QEvent>

namespace {

const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// A call waited for borrows its caller's task; a posted one owns its task and is deleted once
// it has run or been dropped.
struct Call {
    enum class State { Queued, Running, Done, Dropped };
    const std::function<void()>* task = nullptr;
    State state = State::Queued;
    std::function<void()> owned;
    bool posted = false;
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
        for (Call* call : queue) {
            if (call->posted)
                delete call;
            else
                call->state = Call::State::Dropped;
        }
        queue.clear();
        changed.notify_all();
    }

    // Under the lock: the pump cannot be destroyed meanwhile.
    void Enqueue(Call* call) {
        queue.push_back(call);
        if (!wakePosted) {
            wakePosted = true;
            QCoreApplication::postEvent(pump, new QEvent(kWakeEvent));
        }
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

namespace {
// How deep the user-interface thread is inside tasks that callers on other threads wait for.
thread_local int runningHandOvers = 0;
} // namespace

bool InsideUiCall() {
    return runningHandOvers > 0;
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
        ++runningHandOvers;
        (*call->task)();
        --runningHandOvers;
        lock.lock();
        if (call->posted) {
            delete call;
            continue;
        }
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
    Call call;
    call.task = &task;
    h.Enqueue(&call);
    // A running call is waited for even when cancelled: its task refers to this frame.
    h.changed.wait(lock, [&] {
        return call.state == Call::State::Done || call.state == Call::State::Dropped;
    });
    return call.state == Call::State::Done;
}

void PostToUiThread(std::function<void()> task) {
    HandOver& h = TheHandOver();
    std::unique_lock lock(h.mutex);
    if (!h.pump)
        return;
    if (std::this_thread::get_id() == h.uiThread) {
        lock.unlock();
        task();
        return;
    }
    if (h.cancelled)
        return;
    auto* call = new Call;
    call->owned = std::move(task);
    call->task = &call->owned;
    call->posted = true;
    h.Enqueue(call);
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
